// Document input: what doc_read delivers from plain files, lists, data
// dictionary texts (plain, fragmented, multi-file), suspension and
// resumption at any point, read errors, offsets past 2^31 - 1, and the
// fatal reports of a bad data dictionary.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "frgac/frg_fixture.h"
#include "sgml/input/docin.h"
#include "sgml/parser_state.h"
#include "sgml_support.h"
#include "support/recorded_reports.h"

namespace {

struct Buffer {
  int new_file;
  std::string chars;
};

constexpr int kBufferSize = 514;

// Options for a run: start position and end limit.
void setup(int32_t start = 0, int32_t end = 0) {
  parser_setup(SwitchRecord{});
  sgml_options().start_position = start;
  sgml_options().end_limit = end;
  offsets_reset();
}

std::string list_of(const std::vector<std::string>& names) {
  std::string list;
  for (const std::string& n : names) list += n + '\0';
  return list + '\0';
}

// Reads until a buffer holds the end-of-text character 26 or an error.
std::vector<Buffer> read_all(DocHandle* h, int* last = nullptr) {
  std::vector<Buffer> out;
  unsigned char b[kBufferSize + 3];
  for (int i = 0; i < 100000; ++i) {
    int nf = 0;
    int n = doc_read(h, b, &nf);
    if (last != nullptr) *last = n;
    if (n < 0) break;
    out.push_back({nf, std::string(reinterpret_cast<char*>(b), static_cast<size_t>(n))});
    if (out.back().chars.find('\x1a') != std::string::npos) break;
  }
  return out;
}

// The characters of the buffers without their end-of-buffer characters.
std::string stream_of(const std::vector<Buffer>& buffers) {
  std::string s;
  for (const Buffer& b : buffers) {
    for (char c : b.chars) {
      if (c != '\x1c') s.push_back(c);
    }
  }
  return s;
}

// The character stream worked out from the rules: every record starts with
// RS, an LF becomes RE, flagged bytes (0, 1, 8, 13, 26, 28 and the escape
// character) the marker 1, the text ends with 26.
std::string expected_stream(const std::vector<std::string>& files, unsigned char escape = 31) {
  std::string s;
  for (const std::string& text : files) {
    bool start = true;
    for (unsigned char c : text) {
      if (start) s.push_back('\n');
      start = false;
      if (c == '\n') {
        s.push_back('\r');
        start = true;
      } else if (c == 0 || c == 1 || c == 8 || c == 13 || c == 26 || c == 28 || c == escape) {
        s.push_back('\x01');
      } else {
        s.push_back(static_cast<char>(c));
      }
    }
  }
  return s + '\x1a';
}

// A text of records of 0 to 1,200 bytes, some of them longer than a buffer.
std::string record_text(uint32_t seed, size_t length) {
  std::mt19937 rng(seed);
  std::string t;
  while (t.size() < length) {
    size_t record = rng() % 4 == 0 ? rng() % 1200 : rng() % 60;
    for (size_t i = 0; i < record; ++i) t.push_back(static_cast<char>(32 + rng() % 95));
    if (rng() % 7 == 0) t.push_back(static_cast<char>(rng() % 32));
    t.push_back('\n');
  }
  return t;
}

// Reads with a suspension and resumption after a random number of the
// buffer's characters at random buffers; the characters delivered.
std::string read_suspended(DocHandle* h, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s;
  unsigned char b[kBufferSize + 3];
  for (int i = 0; i < 100000; ++i) {
    int nf = 0;
    int n = doc_read(h, b, &nf);
    if (n <= 0) break;
    std::string chars(reinterpret_cast<char*>(b), static_cast<size_t>(n));
    if (chars.find('\x1a') != std::string::npos) {
      for (char c : chars) {
        if (c != '\x1c') s.push_back(c);
      }
      break;
    }
    int body = n - 1;  // characters before the closing 28
    if (body > 0 && rng() % 3 == 0) {
      int consumed = static_cast<int>(rng() % (static_cast<unsigned>(body) + 1));
      if (rng() % 4 == 0) consumed = 0;
      s.append(chars, 0, static_cast<size_t>(consumed));
      doc_suspend(h, consumed);
      EXPECT_EQ(doc_resume(h), 0);
      continue;
    }
    for (char c : chars) {
      if (c != '\x1c') s.push_back(c);
    }
  }
  return s;
}

class DocInput : public ::testing::Test {
 protected:
  void SetUp() override { setup(); }
  // Opens the document and reads its first two buffers.
  DocHandle* open_and_read_two(const std::string& path) {
    DocHandle* h = nullptr;
    EXPECT_EQ(doc_open(list_of({path}).c_str(), &h, true), 1);
    unsigned char b[kBufferSize + 3];
    int nf;
    doc_read(h, b, &nf);
    doc_read(h, b, &nf);
    return h;
  }
  std::string write(const std::string& name, const std::string& text) {
    std::string path = dir_.path + "/" + name;
    write_file(path, text);
    return path;
  }
  TempDir dir_;
};

TEST_F(DocInput, RecordsAndBuffersAsTheRulesSay) {
  std::string a = write("a", "a\nb");
  DocHandle* h = nullptr;
  ASSERT_EQ(doc_open(list_of({a}).c_str(), &h, true), 1);
  auto buffers = read_all(h);
  ASSERT_EQ(buffers.size(), 4u);
  EXPECT_EQ(buffers[0].chars, "\x1c");
  EXPECT_EQ(buffers[1].chars, "\na\r\x1c");
  EXPECT_EQ(buffers[2].chars, "\nb\x1c");
  EXPECT_EQ(buffers[3].chars, "\x1a");
  doc_close(h);  // the file was closed at its end: closed once only
  EXPECT_STREQ(doc_name(nullptr), a.c_str());
}

TEST_F(DocInput, LongRecordSplitsIntoFullBuffers) {
  std::string line(1200, 'x');
  std::string a = write("long", line + "\n");
  DocHandle* h = nullptr;
  ASSERT_EQ(doc_open(list_of({a}).c_str(), &h, true), 1);
  unsigned char b[kBufferSize + 3];
  int nf;
  ASSERT_EQ(doc_read(h, b, &nf), 1);
  // RS and 512 characters, then 513, then the last 175 and RE.
  struct Want {
    int n;
    int32_t offset;
  };
  for (Want w : {Want{514, 0}, Want{514, 512}, Want{177, 1025}}) {
    EXPECT_EQ(doc_read(h, b, &nf), w.n);
    EXPECT_EQ(doc_offsets.buffer_file, w.offset);
    EXPECT_EQ(b[w.n - 1], 28);
  }
  EXPECT_EQ(b[175], 13);  // 175 characters, then RE where the LF stood
  doc_close(h);
}

TEST_F(DocInput, EveryByteValueAtEveryPlaceOfARecord) {
  // Each byte value but LF after 0 to 17 printable bytes and before 0 to 9
  // more: the runs of printable bytes are taken several at a time, and a
  // byte outside them must stop the run wherever it lies.
  std::string text;
  for (int lead = 0; lead < 18; ++lead) {
    for (int b = 0; b < 256; ++b) {
      if (b == '\n') continue;
      text += std::string(static_cast<size_t>(lead), static_cast<char>('a' + lead));
      text.push_back(static_cast<char>(b));
      text += std::string(static_cast<size_t>(b % 10), '~');
      text.push_back('\n');
    }
  }
  text += "last record without LF\t\x80\xff";
  std::string px = write("bytes", text);
  DocHandle* h = nullptr;
  ASSERT_EQ(doc_open(list_of({px}).c_str(), &h, true), 1);
  EXPECT_EQ(stream_of(read_all(h)), expected_stream({text}));
  doc_close(h);
  // An escape character among the printable ones is flagged as well.
  SwitchRecord sw;
  sw.escape = '~';
  parser_setup(sw);
  ASSERT_EQ(doc_open(list_of({px}).c_str(), &h, true), 1);
  EXPECT_EQ(stream_of(read_all(h)), expected_stream({text}, '~'));
  doc_close(h);
}

TEST_F(DocInput, SuspendAndResumeAnywhereOnFilesAndLists) {
  std::string x = record_text(1, 20000), y = record_text(2, 5000);
  std::string px = write("x", x), py = write("y", y);
  for (uint32_t seed = 1; seed <= 20; ++seed) {
    setup();
    DocHandle* h = nullptr;
    ASSERT_EQ(doc_open(list_of({px, py}).c_str(), &h, true), 1);
    EXPECT_EQ(read_suspended(h, seed), expected_stream({x, y})) << seed;
    doc_close(h);
  }
}

TEST_F(DocInput, StandardInputEndsOnceAndStaysEnded) {
  std::string px = write("in", "s\n");
  int saved = dup(0);
  int fd = ::open(px.c_str(), O_RDONLY);
  dup2(fd, 0);
  ::close(fd);
  vqio_clearerr(vqio_stdin);
  DocHandle* h = nullptr;
  ASSERT_EQ(doc_open(list_of({"vq_stdin"}).c_str(), &h, true), 1);
  EXPECT_EQ(doc_stream(h), vqio_stdin);
  EXPECT_EQ(stream_of(read_all(h)), expected_stream({"s\n"}));
  // The stream was dropped, not closed; reading on gives the end again.
  unsigned char b[kBufferSize + 3];
  int nf;
  EXPECT_EQ(doc_read(h, b, &nf), 1);
  EXPECT_EQ(b[0], 26);
  doc_close(h);
  dup2(saved, 0);
  ::close(saved);
  vqio_clearerr(vqio_stdin);
}

TEST_F(DocInput, SuspendedEntityClosedWithoutResuming) {
  std::string px = write("x", "abc\ndef\n");
  DocHandle* h = open_and_read_two(px);
  doc_suspend(h, 2);
  EXPECT_EQ(doc_stream(h), nullptr);
  doc_close(h);
  EXPECT_STREQ(doc_name(nullptr), px.c_str());
}

TEST_F(DocInput, ReadErrorMidFile) {
  DocHandle* h = open_and_read_two(write("big", record_text(3, 200000)));
  // The descriptor goes away under the stream: the next refill fails.
  close(vqio_fileno(doc_stream(h)));
  int last = 0;
  auto buffers = read_all(h, &last);
  EXPECT_EQ(last, -1);
  for (const Buffer& buf : buffers) EXPECT_EQ(buf.chars.find('\x1a'), std::string::npos);
  doc_close(h);
}

TEST_F(DocInput, BadDocuments) {
  DocHandle* h = nullptr;
  EXPECT_EQ(doc_open(list_of({dir_.path + "/missing"}).c_str(), &h, true), -1);
  EXPECT_EQ(errno, ENOENT);
  doc_close(h);
  EXPECT_EQ(doc_open(list_of({dir_.path}).c_str(), &h, true), -1);
  EXPECT_EQ(errno, EISDIR);
  doc_close(h);
  EXPECT_EQ(doc_open("", &h, true), -1);
  EXPECT_EQ(h, nullptr);
  // A later name of a list that cannot be opened fails the read.
  std::string px = write("x", "x\n");
  ASSERT_EQ(doc_open(list_of({px, dir_.path + "/missing"}).c_str(), &h, true), 1);
  int last = 0;
  read_all(h, &last);
  EXPECT_EQ(last, -1);
  doc_close(h);
}

TEST_F(DocInput, StdinAndDdNamesAreFileNamesForOtherEntities) {
  std::string px = write("vq_stdin", "v\n");
  ASSERT_EQ(chdir(dir_.path.c_str()), 0);
  DocHandle* h = nullptr;
  ASSERT_EQ(doc_open(list_of({"vq_stdin"}).c_str(), &h, false), 1);
  EXPECT_NE(doc_stream(h), vqio_stdin);
  EXPECT_EQ(stream_of(read_all(h)), expected_stream({"v\n"}));
  doc_close(h);
  write("bad.dd", "not a data dictionary\n");
  ASSERT_EQ(doc_open(list_of({"bad.dd"}).c_str(), &h, false), 1);
  EXPECT_EQ(stream_of(read_all(h)), expected_stream({"not a data dictionary\n"}));
  doc_close(h);
  ASSERT_EQ(chdir("/"), 0);
}

// A data dictionary naming one text file.
std::string plain_dd(const std::string& file) {
  return "<DB>\n <Text>\n  <Files>\n   <File>\n    <SysName>" + file +
         "</SysName>\n   </File>\n  </Files>\n </Text>\n</DB>\n";
}

TEST_F(DocInput, PlainDdTextWindow) {
  // Lines of 49 letters and LF: the LF of the fourth line stands at 199.
  std::string text;
  for (char c : std::string("abcdef")) text += std::string(49, c) + "\n";
  write("text.txt", text);
  std::string dd = write("plain.dd", plain_dd(dir_.path + "/text.txt"));
  setup(100, 200);
  DocHandle* h = nullptr;
  ASSERT_EQ(doc_open(list_of({dd}).c_str(), &h, true), 1);
  auto buffers = read_all(h);
  ASSERT_EQ(buffers.size(), 3u);
  EXPECT_EQ(buffers[1].chars, "\n" + std::string(49, 'c') + "\r\x1c");
  EXPECT_EQ(buffers[2].chars, "\n" + std::string(49, 'd') + "\x1a\x1c");
  EXPECT_EQ(doc_offsets.buffer_file, 150);
  doc_close(h);
  // A negative start position fails.
  setup(-1, 0);
  EXPECT_EQ(doc_open(list_of({dd}).c_str(), &h, true), -1);
  doc_close(h);
}

TEST_F(DocInput, EndLimitInsideALongRecordAndCarriageReturnsAsBlanks) {
  // One record of 300 letters: the limit 230 falls inside it, after the
  // first buffer of 512 characters would have ended; 30 to 229 are read.
  std::string line;
  for (int i = 0; i < 300; ++i) line.push_back(static_cast<char>('a' + i % 26));
  write("long.txt", line + "\n");
  std::string dd = write("long.dd", plain_dd(dir_.path + "/long.txt"));
  setup(30, 230);
  DocHandle* h = nullptr;
  ASSERT_EQ(doc_open(list_of({dd}).c_str(), &h, true), 1);
  auto buffers = read_all(h);
  ASSERT_EQ(buffers.size(), 2u);
  EXPECT_EQ(buffers[1].chars, "\n" + line.substr(30, 200) + "\x1a\x1c");
  doc_close(h);
  // With carriage returns read as blanks (-K) a CR inside a record, at
  // its start or before its LF is a space, never the non-SGML marker.
  setup();
  std::string px = write("cr", "a\rb\r\n\rc\r\r\n");
  sgml_options().carriage_return_blank = true;
  ASSERT_EQ(doc_open(list_of({px}).c_str(), &h, true), 1);
  EXPECT_EQ(stream_of(read_all(h)), "\na b \r\n c  \r\x1a");
  sgml_options().carriage_return_blank = false;
  doc_close(h);
}

TEST_F(DocInput, FragmentedTextSuspendsAndResumes) {
  // Random bytes (records of any length, every kind of byte) in pieces of
  // up to 700 bytes laid with junk between them over five fragment files.
  frgfix::Text t = frgfix::make_text(30000, 700, 77, false);
  const std::string& text = t.logical;
  frgfix::Directory d;
  d.a = t.a;
  d.logical_length = static_cast<int32_t>(text.size());
  frgfix::lay_fragments(t.physical, 5, dir_.path, 3, &d);
  frgfix::write_file(dir_.path + "/frg.1.0", frgfix::build_directory(d));
  std::string dd = write("frg.dd", "<DB>\n <Text>\n  <Files>\n   <File>\n    <SysName>frg</SysName>\n"
                                   "    <FrgDir>" + dir_.path + "</FrgDir>\n    <Major>1</Major>\n"
                                   "    <Minor>0</Minor>\n   </File>\n  </Files>\n </Text>\n</DB>\n");
  for (uint32_t seed = 1; seed <= 10; ++seed) {
    setup(100, 0);  // the start position is not applied to a fragmented text
    DocHandle* h = nullptr;
    ASSERT_EQ(doc_open(list_of({dd}).c_str(), &h, true), 1);
    FrgacText* f = nullptr;
    EXPECT_EQ(doc_fragment_handle(h, &f), 1);
    EXPECT_EQ(cur_fragment_handle(&f), 1);
    EXPECT_EQ(read_suspended(h, seed), expected_stream({text})) << seed;
    doc_close(h);
  }
}

TEST_F(DocInput, MultiFileSetSuspendsAndResumes) {
  std::string text = record_text(6, 12000);
  ASSERT_EQ(mkdir((dir_.path + "/members").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir_.path + "/set").c_str(), 0755), 0);
  write("members/part1.txt", text.substr(0, 5003));
  write("members/part2.txt", text.substr(5003, 4000));
  write("members/part3.txt", text.substr(9003));
  write("mfs.dd",
        "<DB>\n <Text>\n  <MfsFiles>\n   <FileMap>set/sample</FileMap>\n   <FilterChain>\n"
        "    <SearchView>mfsio</SearchView>\n    <DisplayView>mfsio</DisplayView>\n"
        "    <RawView>mfsio</RawView>\n    <DisplayFmt>sgml</DisplayFmt>\n    <FileGroup>\n"
        "     <MfsDir>members</MfsDir>\n     <MfsFile>*.txt</MfsFile>\n"
        "     <MfsExpand>0</MfsExpand>\n    </FileGroup>\n   </FilterChain>\n  </MfsFiles>\n"
        " </Text>\n</DB>\n");
  ASSERT_EQ(chdir(dir_.path.c_str()), 0);
  std::string build = std::string(VQ_BIN_DIR) + "/tests/mfsset_driver build mfs.dd";
  ASSERT_EQ(std::system(build.c_str()), 0);
  for (uint32_t seed = 1; seed <= 10; ++seed) {
    setup();
    DocHandle* h = nullptr;
    ASSERT_EQ(doc_open(list_of({"mfs.dd"}).c_str(), &h, true), 1);
    MfsReader* r = nullptr;
    EXPECT_EQ(doc_mfs_reader(h, &r), 1);
    EXPECT_EQ(read_suspended(h, seed), expected_stream({text})) << seed;
    doc_close(h);
  }
  // -S 100 -E 200: the characters at offsets 100 to 199.
  setup(100, 200);
  DocHandle* h = nullptr;
  ASSERT_EQ(doc_open(list_of({"mfs.dd"}).c_str(), &h, true), 1);
  // Record characters aside, exactly the text's bytes at 100 to 199.
  auto strip = [](const std::string& chars) {
    std::string out;
    for (char c : chars) {
      if (c != '\n' && c != '\r' && c != '\x1a') out.push_back(c);
    }
    return out;
  };
  std::string want = strip(stream_of(read_all(h)));
  std::string body = strip(expected_stream({text.substr(100, 100)}));
  EXPECT_EQ(want, body);
  doc_close(h);
  ASSERT_EQ(chdir("/"), 0);
}

TEST_F(DocInput, OffsetsPastTheLargestAreAnError) {
  std::string big = dir_.path + "/big.txt";
  {
    int fd = ::open(big.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, (int64_t{1} << 31) + 1000), 0);
    ::close(fd);
  }
  std::string dd = write("big.dd", plain_dd(big));
  setup(2147483600, 0);
  DocHandle* h = nullptr;
  ASSERT_EQ(doc_open(list_of({dd}).c_str(), &h, true), 1);
  int last = 0;
  auto buffers = read_all(h, &last);
  EXPECT_EQ(last, -1);
  EXPECT_EQ(errno, EOVERFLOW);
  ASSERT_EQ(buffers.size(), 1u);  // the first, end-of-buffer only, read
  doc_close(h);
}

TEST_F(DocInput, BadDataDictionariesAreFatal) {
  ReportRecorder recorder;
  std::string none = write("none.dd", "<DB>\n <Indices>\n </Indices>\n</DB>\n");
  DocHandle* h = nullptr;
  EXPECT_EQ(doc_open(list_of({none}).c_str(), &h, true), -1);
  ASSERT_FALSE(recorded_reports().empty());
  EXPECT_EQ(recorded_reports().back().severity, 9);
  EXPECT_EQ(recorded_reports().back().text,
            "40018: No text file specified in data dictionary '" + none + "'.");
  doc_close(h);
  recorded_reports().clear();
  std::string refused = write("refused.dd", "<DB>\n <Text>\n  <Name>x</Name>\n </Text>\n</DB>\n");
  EXPECT_EQ(doc_open(list_of({refused}).c_str(), &h, true), -1);
  ASSERT_GE(recorded_reports().size(), 2u);  // the getter's own report, then 40006
  EXPECT_EQ(recorded_reports().back().severity, 9);
  EXPECT_EQ(recorded_reports().back().text,
            "40006: Cannot read the text files of data dictionary '" + refused + "'.");
  doc_close(h);
}

}  // namespace
