// Stream edge cases: modes, positions, failures reported as failures, update
// streams that change direction, push-back, buffering, temporary files and
// command streams.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "io_support.h"

namespace {

using iotest::ReadFile;
using iotest::ScopedIoFaults;
using iotest::TempDir;
using iotest::WriteFile;

class Streams : public ::testing::Test {
 protected:
  void SetUp() override { iotest::EnsureStarted(); }

  // A stream over a file that holds content.
  VqStream* Open(const std::string& content, const char* mode, const char* name = "f") {
    std::string path = dir_.file(name);
    WriteFile(path, content);
    VqStream* s = vqio_fopen(path.c_str(), mode);
    EXPECT_NE(s, nullptr);
    return s;
  }
  std::string Contents(const char* name = "f") { return ReadFile(dir_.file(name)); }

  TempDir dir_;
};

std::string Alphabet() { return "abcdefghijklmnopqrstuvwxyz"; }

// ---------------------------------------------------------------------------
// Modes

TEST_F(Streams, ModeStringsChooseOpenAndStreamFlags) {
  struct Case {
    const char* mode;
    bool opens;
    int access;  // O_ACCMODE part
    bool append;
    uint16_t flags;
  };
  const Case cases[] = {
      {"r", true, O_RDONLY, false, VQ_READ},    {"w", true, O_WRONLY, false, VQ_WRITE},
      {"a", true, O_WRONLY, true, VQ_WRITE},    {"r+", true, O_RDWR, false, VQ_UPDATE},
      {"rb+", true, O_RDWR, false, VQ_UPDATE},  {"r+b", true, O_RDWR, false, VQ_UPDATE},
      {"rt", true, O_RDONLY, false, VQ_READ},   {"w+", true, O_RDWR, false, VQ_UPDATE},
      {"a+", true, O_RDWR, true, VQ_UPDATE},    {"r++x", true, O_RDWR, false, VQ_UPDATE},
      {"rw", false, 0, false, 0},               {"x", false, 0, false, 0},
      {"", false, 0, false, 0},                 {"r+x", false, 0, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    WriteFile(dir_.file("m"), "data");
    errno = 0;
    VqStream* s = vqio_fopen(dir_.file("m").c_str(), c.mode);
    if (!c.opens) {
      EXPECT_EQ(s, nullptr);
      EXPECT_EQ(errno, EINVAL);
      continue;
    }
    ASSERT_NE(s, nullptr);
    int fl = fcntl(vqio_fileno(s), F_GETFL);
    EXPECT_EQ(fl & O_ACCMODE, c.access);
    EXPECT_EQ((fl & O_APPEND) != 0, c.append);
    EXPECT_EQ(s->flags, c.flags);
    EXPECT_STREQ(s->name, dir_.file("m").c_str());
    EXPECT_EQ(vqio_fclose(s), 0);
  }
  EXPECT_EQ(vqio_fopen(dir_.file("missing").c_str(), "r"), nullptr);
  EXPECT_EQ(errno, ENOENT);
}

TEST_F(Streams, NullStreamsFailWithEinval) {
  char buf[4];
  struct Case {
    const char* what;
    long result;
    long expected;
  };
  errno = 0;
  const Case cases[] = {
      {"fclose", vqio_fclose(nullptr), -1},      {"fgetc", vqio_fgetc(nullptr), -1},
      {"fputc", vqio_fputc('x', nullptr), -1},   {"fflush", vqio_fflush(nullptr), -1},
      {"fseek", vqio_fseek(nullptr, 0, 0), -1},  {"ftell", vqio_ftell(nullptr), -1},
      {"fileno", vqio_fileno(nullptr), -1},      {"fputs", vqio_fputs("x", nullptr), -1},
      {"fread", static_cast<long>(vqio_fread(buf, 1, 1, nullptr)), 0},
      {"fwrite", static_cast<long>(vqio_fwrite(buf, 1, 1, nullptr)), 0},
      {"fgets", vqio_fgets(buf, 4, nullptr) == nullptr ? 0 : 1, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(c.result, c.expected) << c.what;
  EXPECT_EQ(errno, EINVAL);
}

TEST_F(Streams, WrongDirectionFailsWithEinval) {
  VqStream* r = Open("abc", "r");
  errno = 0;
  EXPECT_EQ(vqio_fputc('x', r), -1);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(vqio_fwrite("x", 1, 1, r), 0u);
  EXPECT_EQ(vqio_fflush(r), -1);
  vqio_fclose(r);
  VqStream* w = Open("", "w", "g");
  char c;
  errno = 0;
  EXPECT_EQ(vqio_fgetc(w), -1);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(vqio_fread(&c, 1, 1, w), 0u);
  vqio_fclose(w);
}

// ---------------------------------------------------------------------------
// Positions

TEST_F(Streams, SeeksFromEachOriginOverATwelveByteFile) {
  VqStream* s = Open("0123456789ab", "r");
  errno = 0;
  EXPECT_EQ(vqio_fseek(s, -1, SEEK_SET), -1);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(vqio_fseek(s, 0, 3), -1);
  EXPECT_EQ(vqio_fseek(s, -4, SEEK_END), 0);
  EXPECT_EQ(vqio_ftell(s), 8);
  EXPECT_EQ(vqio_fseek(s, -4, SEEK_CUR), 0);
  EXPECT_EQ(vqio_ftell(s), 4);
  EXPECT_EQ(vqio_fgetc(s), '4');
  EXPECT_EQ(vqio_fseek(s, 2, SEEK_CUR), 0);  // corrected by the read-ahead
  EXPECT_EQ(vqio_fgetc(s), '7');
  vqio_fpos_t pos = 0;
  EXPECT_EQ(vqio_fgetpos(s, &pos), 0);
  EXPECT_EQ(pos, 8);
  vqio_rewind(s);
  EXPECT_EQ(vqio_fgetc(s), '0');
  EXPECT_EQ(vqio_fsetpos(s, &pos), 0);
  EXPECT_EQ(vqio_fgetc(s), '8');
  vqio_fclose(s);
}

TEST_F(Streams, EveryFailedSeekReportsMinusOne) {
  VqStream* s = Open("0123456789ab", "r");
  // Beyond the largest offset: the written behaviour reported 0 here.
  EXPECT_EQ(vqio_fseek(s, LONG_MAX, SEEK_END), -1);
  EXPECT_NE(vqio_ferror(s), 0);
  EXPECT_EQ(vqio_fseek(s, -20, SEEK_END), -1);
  vqio_fclose(s);
  VqStream* p = vqio_popen("true", "r");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(vqio_fseek(p, 0, SEEK_SET), -1);
  vqio_pclose(p);
}

TEST_F(Streams, WrittenBytesReadBackAfterASeekOnAnUpdateStream) {
  VqStream* s = Open("", "w+");
  std::string text;
  for (int i = 0; i < 100; ++i) text += Alphabet();  // crosses buffer ends
  ASSERT_EQ(vqio_fwrite(text.data(), 1, text.size(), s), text.size());
  EXPECT_EQ(vqio_fseek(s, 0, SEEK_SET), 0);
  std::string back(text.size(), '\0');
  EXPECT_EQ(vqio_fread(back.data(), 1, back.size(), s), back.size());
  EXPECT_EQ(back, text);
  EXPECT_EQ(vqio_fgetc(s), -1);
  EXPECT_NE(vqio_feof(s), 0);
  vqio_fclose(s);
}

// ---------------------------------------------------------------------------
// Failed writes are failures

TEST_F(Streams, FlushAndCloseReportAWriteOnAFullDevice) {
  VqStream* s = vqio_fopen("/dev/full", "w");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(vqio_fputs("hello", s), 'o');  // buffered so far
  EXPECT_EQ(vqio_fflush(s), -1);
  EXPECT_NE(vqio_ferror(s), 0);
  EXPECT_EQ(vqio_fclose(s), 0);  // the failed bytes were dropped: nothing fails here

  s = vqio_fopen("/dev/full", "w");
  ASSERT_NE(s, nullptr);
  vqio_fputs("hello", s);
  EXPECT_EQ(vqio_fclose(s), -1);

  s = vqio_fopen("/dev/full", "w");
  std::string block(5000, 'x');  // past the buffer: written directly
  EXPECT_LT(vqio_fwrite(block.data(), 1, block.size(), s), block.size());
  EXPECT_NE(vqio_ferror(s), 0);
  vqio_fclose(s);
}

TEST_F(Streams, PutwReportsARefusedWrite) {
  WriteFile(dir_.file("ro"), "");
  int fd = open(dir_.file("ro").c_str(), O_RDONLY);
  VqStream* s = vqio_fdopen(fd, "w");
  ASSERT_NE(s, nullptr);
  int calls = 0, result = 0;
  while (calls < 300 && (result = vqio_putw(calls, s)) == 0) ++calls;
  EXPECT_EQ(result, -1);
  EXPECT_EQ(calls, VQ_BUFSIZ / 4);  // the word that overflows the buffer fails
  EXPECT_NE(vqio_ferror(s), 0);
  EXPECT_EQ(vqio_fclose(s), -1);  // the failing word's bytes are still pending

  fd = open(dir_.file("ro").c_str(), O_RDONLY);
  s = vqio_fdopen(fd, "w");
  vqio_setvbuf(s, nullptr, VQ_IONBF, 0);
  EXPECT_EQ(vqio_putw(7, s), -1);
  vqio_fclose(s);
}

TEST_F(Streams, ShortAndInterruptedTransfersAreCompleted) {
  std::string text;
  for (int i = 0; i < 300; ++i) text += Alphabet();
  {
    ScopedIoFaults faults;
    ScopedIoFaults::log().write_limit = 7;
    ScopedIoFaults::log().interrupt = true;
    VqStream* s = vqio_fopen(dir_.file("w").c_str(), "w");
    ASSERT_NE(s, nullptr);
    vqio_fputs(text.substr(0, 100).c_str(), s);
    EXPECT_EQ(vqio_fwrite(text.data() + 100, 1, text.size() - 100, s), text.size() - 100);
    EXPECT_EQ(vqio_fclose(s), 0);
  }
  EXPECT_EQ(ReadFile(dir_.file("w")), text);
  {
    ScopedIoFaults faults;
    ScopedIoFaults::log().read_limit = 5;
    ScopedIoFaults::log().interrupt = true;
    VqStream* s = vqio_fopen(dir_.file("w").c_str(), "r");
    std::string back(text.size(), '\0');
    EXPECT_EQ(vqio_fgetc(s), 'a');
    EXPECT_EQ(vqio_fread(back.data() + 1, 1, back.size() - 1, s), back.size() - 1);
    back[0] = 'a';
    EXPECT_EQ(back, text);
    vqio_fclose(s);
  }
}

TEST_F(Streams, TransferSizeOverflowIsRefused) {
  VqStream* s = Open("abc", "r+");
  char buf[4];
  size_t half = SIZE_MAX / 2 + 1;
  errno = 0;
  EXPECT_EQ(vqio_fread(buf, half, 2, s), 0u);
  EXPECT_EQ(errno, EOVERFLOW);
  errno = 0;
  EXPECT_EQ(vqio_fwrite(buf, 2, half, s), 0u);
  EXPECT_EQ(errno, EOVERFLOW);
  vqio_fclose(s);
  EXPECT_EQ(Contents(), "abc");
}

TEST_F(Streams, FailuresCallTheErrorHookWithTheOperation) {
  static std::string ops;
  ops.clear();
  auto hook = [](const char*, int op, VqStream*) {
    ops += static_cast<char>(op);
    return 0;
  };
  WriteFile(dir_.file("x"), "abc");
  int wfd = open(dir_.file("x").c_str(), O_WRONLY);
  VqStream* r = vqio_fdopen(wfd, "r");  // the descriptor refuses reads
  r->error_hook = hook;
  EXPECT_EQ(vqio_fgetc(r), -1);
  EXPECT_NE(vqio_ferror(r), 0);
  close(wfd);  // behind the stream's back: its close fails
  EXPECT_EQ(vqio_fclose(r), -1);
  VqStream* w = vqio_fopen("/dev/full", "w");
  w->error_hook = hook;
  vqio_fputc('x', w);
  vqio_fflush(w);
  vqio_fclose(w);
  EXPECT_EQ(ops, "rcw");
}

// ---------------------------------------------------------------------------
// Update streams change direction without losing or mixing bytes

TEST_F(Streams, WritingAfterReadingLandsAtTheReadersPosition) {
  VqStream* s = Open("abcdefgh", "r+");
  EXPECT_EQ(vqio_fgetc(s), 'a');
  EXPECT_EQ(vqio_fgetc(s), 'b');
  EXPECT_EQ(vqio_fputc('X', s), 'X');  // no seek in between
  EXPECT_EQ(vqio_fgetc(s), 'd');       // nor here
  EXPECT_EQ(vqio_ftell(s), 4);
  EXPECT_EQ(vqio_fclose(s), 0);
  EXPECT_EQ(Contents(), "abXdefgh");
}

TEST_F(Streams, ReadingAfterWritingSeesTheWrittenBytes) {
  VqStream* s = Open("", "w+");
  vqio_fputs("hello", s);
  EXPECT_EQ(vqio_fgetc(s), -1);  // at the end, after the written bytes
  EXPECT_EQ(vqio_fseek(s, 1, SEEK_SET), 0);
  char buf[8] = {};
  EXPECT_EQ(vqio_fread(buf, 1, 4, s), 4u);
  EXPECT_STREQ(buf, "ello");
  EXPECT_EQ(vqio_fwrite("!", 1, 1, s), 1u);
  vqio_fclose(s);
  EXPECT_EQ(Contents(), "hello!");
}

TEST_F(Streams, FlushOfAReadingUpdateStreamGivesBackItsReadAhead) {
  VqStream* s = Open("abcdef", "r+");
  EXPECT_EQ(vqio_fgetc(s), 'a');
  EXPECT_EQ(vqio_fflush(s), 0);
  EXPECT_EQ(lseek(vqio_fileno(s), 0, SEEK_CUR), 1);
  EXPECT_EQ(vqio_fputc('Z', s), 'Z');
  vqio_fclose(s);
  EXPECT_EQ(Contents(), "aZcdef");
}

// ---------------------------------------------------------------------------
// Push-back

TEST_F(Streams, UngetcTakesBackOnlyBytesOfThePresentBuffer) {
  VqStream* s = Open("abc", "r");
  EXPECT_EQ(vqio_ungetc('z', s), -1);  // nothing read yet
  EXPECT_EQ(vqio_fgetc(s), 'a');       // the refill's first byte
  EXPECT_EQ(vqio_ungetc(-1, s), -1);
  EXPECT_EQ(vqio_ungetc('z', s), 'z');
  EXPECT_EQ(vqio_ftell(s), 0);
  EXPECT_EQ(vqio_fgetc(s), 'z');
  EXPECT_EQ(vqio_fgetc(s), 'b');
  vqio_fclose(s);
}

TEST_F(Streams, ARelativeSeekAfterUngetcCountsThePushedBackByte) {
  std::string bytes;
  for (int i = 0; i < 200; ++i) bytes += static_cast<char>(i);
  VqStream* s = Open(bytes, "r");
  vqio_fseek(s, 100, SEEK_SET);
  vqio_fgetc(s);
  vqio_fgetc(s);
  EXPECT_EQ(vqio_ungetc('x', s), 'x');
  EXPECT_EQ(vqio_ftell(s), 101);
  EXPECT_EQ(vqio_fseek(s, -10, SEEK_CUR), 0);
  EXPECT_EQ(vqio_fgetc(s), 91);
  vqio_fclose(s);
}

TEST_F(Streams, UnbufferedReadAfterUngetcFillsTheCallersBytesInOrder) {
  VqStream* s = Open(Alphabet(), "r");
  ASSERT_EQ(vqio_setvbuf(s, nullptr, VQ_IONBF, 0), 0);
  EXPECT_EQ(vqio_fgetc(s), 'a');
  EXPECT_EQ(vqio_ungetc('a', s), 'a');
  char buf[11] = {};
  EXPECT_EQ(vqio_fread(buf, 1, 10, s), 10u);
  EXPECT_STREQ(buf, "abcdefghij");
  vqio_fclose(s);
}

TEST_F(Streams, UngetcNeverWritesIntoAStringStream) {
  // A string stream over read-only memory, as the scan engine builds one.
  static const char text[] = "hello";
  VqStream s{};
  s.flags = VQ_READ | VQ_STRING;
  s.fd = -1;
  s.base = s.current = reinterpret_cast<unsigned char*>(const_cast<char*>(text));
  s.count = 5;
  s.size = 5;
  EXPECT_EQ(vqio_getc(&s), 'h');
  EXPECT_EQ(vqio_ungetc('h', &s), 'h');
  EXPECT_EQ(vqio_ungetc('q', &s), -1);  // already at the start
  EXPECT_EQ(vqio_getc(&s), 'h');
  EXPECT_EQ(vqio_ungetc('X', &s), 'X');  // would fault if it stored
  EXPECT_STREQ(text, "hello");
  char rest[8] = {};
  EXPECT_EQ(vqio_fread(rest, 1, 8, &s), 5u);
  EXPECT_STREQ(rest, "hello");
  EXPECT_EQ(vqio_getc(&s), -1);
  EXPECT_NE(vqio_feof(&s), 0);
}

// ---------------------------------------------------------------------------
// Lines and words

TEST_F(Streams, FgetsSplitsLinesAtTheGivenLength) {
  VqStream* s = Open("one\nlonger line\nlast", "r");
  char buf[8];
  errno = 0;
  EXPECT_EQ(vqio_fgets(buf, 0, s), nullptr);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(vqio_fgets(nullptr, 8, s), nullptr);
  const char* expected[] = {"one\n", "longer ", "line\n", "last"};
  for (const char* e : expected) {
    ASSERT_NE(vqio_fgets(buf, sizeof buf, s), nullptr);
    EXPECT_STREQ(buf, e);
  }
  EXPECT_EQ(vqio_fgets(buf, sizeof buf, s), nullptr);
  vqio_fclose(s);
}

TEST_F(Streams, WordsAreFourHostOrderBytesAndMinusOneAtTheEnd) {
  VqStream* s = Open("", "w+");
  EXPECT_EQ(vqio_putw(0x01020304, s), 0);
  EXPECT_EQ(vqio_putw(-1, s), 0);
  vqio_fputc(9, s);
  vqio_rewind(s);
  EXPECT_EQ(vqio_getw(s), 0x01020304);
  EXPECT_EQ(vqio_getw(s), -1);  // a stored -1 ...
  EXPECT_EQ(vqio_feof(s), 0);   // ... is told apart by the end-of-file flag
  EXPECT_EQ(vqio_getw(s), -1);  // one byte short
  EXPECT_NE(vqio_feof(s), 0);
  vqio_fclose(s);
  EXPECT_EQ(Contents(), std::string("\x04\x03\x02\x01\xff\xff\xff\xff\x09", 9));
}

TEST_F(Streams, FputsAndPutsReturnTheLastByte) {
  VqStream* s = Open("", "w");
  EXPECT_EQ(vqio_fputs("", s), 0);
  EXPECT_EQ(vqio_fputs("xyz", s), 'z');
  vqio_fclose(s);
  EXPECT_EQ(Contents(), "xyz");
}

// ---------------------------------------------------------------------------
// Buffering

TEST_F(Streams, BufferModesDecideWhenBytesGoOut) {
  errno = 0;
  VqStream* s = Open("", "w");
  EXPECT_EQ(vqio_setvbuf(s, nullptr, 3, 0), -1);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(vqio_setvbuf(s, nullptr, VQ_IOFBF, 0), -1);
  ScopedIoFaults faults;
  auto& writes = ScopedIoFaults::log().writes;

  ASSERT_EQ(vqio_setvbuf(s, nullptr, VQ_IOLBF, 0), 0);
  vqio_fputs("ab\ncd", s);
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0].second, 3u);

  writes.clear();
  char user[16];
  ASSERT_EQ(vqio_setvbuf(s, user, VQ_IOFBF, sizeof user), 0);  // "cd" goes out first
  for (int i = 0; i < 40; ++i) vqio_fputc('x', s);
  std::vector<size_t> sizes;
  for (auto& w : writes) sizes.push_back(w.second);
  EXPECT_EQ(sizes, (std::vector<size_t>{2, 16, 16}));

  writes.clear();
  vqio_setbuf(s, nullptr);  // unbuffered: the 8 pending bytes, then each byte
  vqio_fputc('y', s);
  vqio_fputc('z', s);
  sizes.clear();
  for (auto& w : writes) sizes.push_back(w.second);
  EXPECT_EQ(sizes, (std::vector<size_t>{8, 1, 1}));
  EXPECT_EQ(vqio_fclose(s), 0);
  EXPECT_EQ(Contents(), "ab\ncd" + std::string(40, 'x') + "yz");
}

TEST_F(Streams, StandardErrorWritesEachByteAtOnce) {
  ScopedIoFaults faults;
  vqio_fputc(' ', vqio_stderr);
  vqio_fputc('\n', vqio_stderr);
  auto& writes = ScopedIoFaults::log().writes;
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[0], std::make_pair(2, size_t{1}));
  EXPECT_EQ(writes[1], std::make_pair(2, size_t{1}));
}

TEST_F(Streams, FullBuffersGoOutInBlocksOfTheBufferSize) {
  ScopedIoFaults faults;
  VqStream* s = Open("", "w");
  for (int i = 0; i < 3 * VQ_BUFSIZ + 5; ++i) vqio_putc('q', s);
  vqio_fclose(s);
  std::vector<size_t> sizes;
  for (auto& w : ScopedIoFaults::log().writes) sizes.push_back(w.second);
  size_t b = VQ_BUFSIZ;
  EXPECT_EQ(sizes, (std::vector<size_t>{b, b, b, 5}));
}

// ---------------------------------------------------------------------------
// Closing variants and walking

TEST_F(Streams, FdcloseKeepsTheDescriptorAndFabortDropsPendingBytes) {
  int fd = open(dir_.file("d").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  VqStream* s = vqio_fdopen(fd, "w");
  vqio_fputs("kept", s);
  EXPECT_EQ(vqio_fdclose(s), 0);
  EXPECT_NE(fcntl(fd, F_GETFD), -1);
  s = vqio_fdopen(fd, "a");
  vqio_fputs(" dropped", s);
  EXPECT_EQ(vqio_fabort(s), 0);
  vqio_fputs("!", s);
  EXPECT_EQ(vqio_fclose(s), 0);
  EXPECT_EQ(fcntl(fd, F_GETFD), -1);
  EXPECT_EQ(Contents("d"), "kept!");
}

TEST_F(Streams, FwalkVisitsThePoolThenTheListNewestFirst) {
  VqStream* a = Open("", "w", "a");
  VqStream* b = Open("", "w", "b");
  static std::vector<VqStream*> seen;
  seen.clear();
  vqio_fwalk([](VqStream* s) {
    seen.push_back(s);
    return 0;
  });
  ASSERT_GE(seen.size(), 5u);
  EXPECT_EQ(seen[0], vqio_stdin);
  EXPECT_EQ(seen[1], vqio_stdout);
  EXPECT_EQ(seen[2], vqio_stderr);
  EXPECT_EQ(seen[3], b);
  EXPECT_EQ(seen[4], a);
  vqio_fclose(a);
  vqio_fclose(b);
}

TEST_F(Streams, FreopenMovesTheStreamToAnotherFile) {
  VqStream* s = Open("first", "r");
  int old_fd = vqio_fileno(s);
  WriteFile(dir_.file("second"), "second");
  EXPECT_EQ(vqio_freopen(dir_.file("second").c_str(), "r", s), s);
  EXPECT_EQ(vqio_fgetc(s), 's');
  EXPECT_STREQ(s->name, dir_.file("second").c_str());
  if (vqio_fileno(s) != old_fd) {
    EXPECT_EQ(fcntl(old_fd, F_GETFD), -1);
  }
  vqio_fclose(s);
}

// ---------------------------------------------------------------------------
// Temporary files and commands

class TempNames : public Streams {
 protected:
  void SetUp() override {
    Streams::SetUp();
    for (const char* v : {"tmpdir", "TMPDIR"}) {
      const char* old = std::getenv(v);
      saved_.push_back(old ? std::string(old) : std::string("\x01"));
      unsetenv(v);
    }
  }
  void TearDown() override {
    const char* vars[] = {"tmpdir", "TMPDIR"};
    for (int i = 0; i < 2; ++i) {
      if (saved_[i] != "\x01") {
        setenv(vars[i], saved_[i].c_str(), 1);
      } else {
        unsetenv(vars[i]);
      }
    }
  }
  std::vector<std::string> saved_;
};

TEST_F(TempNames, TempnamTakesTheFirstFreeCounter) {
  WriteFile(dir_.file("0"), "");
  WriteFile(dir_.file("1"), "");
  WriteFile(dir_.file("p0"), "");
  struct Case {
    std::string directory;
    const char* prefix;
    std::string expected;
  };
  const Case cases[] = {
      {dir_.path(), nullptr, dir_.path() + "/2"},
      {dir_.path() + "/", nullptr, dir_.path() + "/2"},
      {dir_.path(), "p", dir_.path() + "/p1"},
  };
  for (const Case& c : cases) {
    char* name = vqio_tempnam(c.directory.c_str(), c.prefix);
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name, c.expected);
    std::free(name);
  }
}

TEST_F(TempNames, EnvironmentDirectoriesComeFirstAndMissingOnesAreSkipped) {
  TempDir other;
  setenv("tmpdir", (dir_.path() + "/missing").c_str(), 1);
  setenv("TMPDIR", other.path().c_str(), 1);
  char* name = vqio_tempnam(dir_.path().c_str(), "t");
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(name, other.path() + "/t0");
  std::free(name);
  unsetenv("tmpdir");
  unsetenv("TMPDIR");
  name = vqio_tempnam((dir_.path() + "/missing").c_str(), "t");
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(std::string(name).rfind("/tmp/t", 0), 0u);  // there is no /usr/tmp
  std::free(name);
}

TEST_F(TempNames, TmpfileIsPrivateExclusiveAndNeverFollowsAPlantedLink) {
  setenv("TMPDIR", dir_.path().c_str(), 1);
  std::string target = dir_.file("target");
  ASSERT_EQ(symlink(target.c_str(), dir_.file("0").c_str()), 0);  // dangling
  VqStream* s = vqio_tmpfile();
  ASSERT_NE(s, nullptr);
  struct stat st;
  ASSERT_EQ(fstat(vqio_fileno(s), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(st.st_nlink, 0u);  // removed at once
  EXPECT_NE(access(target.c_str(), F_OK), 0);
  vqio_fputs("scratch", s);
  vqio_rewind(s);
  char buf[8] = {};
  EXPECT_EQ(vqio_fread(buf, 1, 7, s), 7u);
  EXPECT_STREQ(buf, "scratch");
  EXPECT_EQ(vqio_fclose(s), 0);
}

TEST_F(Streams, CommandStreamsReadAndWriteAChildsStandardStreams) {
  VqStream* in = vqio_popen("printf 'hi\\n'; exit 3", "r");
  ASSERT_NE(in, nullptr);
  char buf[8];
  ASSERT_NE(vqio_fgets(buf, sizeof buf, in), nullptr);
  EXPECT_STREQ(buf, "hi\n");
  int status = vqio_pclose(in);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 3);

  std::string out = dir_.file("out");
  VqStream* to = vqio_popen(("cat > '" + out + "'").c_str(), "w");
  ASSERT_NE(to, nullptr);
  vqio_fputs("through the pipe", to);
  EXPECT_EQ(vqio_pclose(to), 0);
  EXPECT_EQ(ReadFile(out), "through the pipe");

  VqStream* plain = Open("x", "r");
  EXPECT_EQ(vqio_pclose(plain), -1);  // not a command stream
  EXPECT_EQ(vqio_popen("true", "x"), nullptr);
}

}  // namespace
