// The writer side of fragmented texts: a plain file described as one
// fragment, the directory file's bytes word by word (worked out from the
// layout), the reader on what was written, several fragments with their
// records, the other byte order, failures, and the rename through an
// intermediate file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "frgac/frgac.h"
#include "support/recorded_reports.h"
#include "temp_dir.h"

namespace {

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void spit(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

// Word i of a byte string, little- or big-endian.
int32_t word_at(const std::string& bytes, size_t offset, bool big_endian = false) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) {
    const uint32_t b = static_cast<unsigned char>(bytes.at(offset + i));
    v |= b << (big_endian ? 24 - 8 * i : 8 * i);
  }
  return static_cast<int32_t>(v);
}

std::vector<int32_t> words(const std::string& bytes, size_t offset, size_t count,
                           bool big_endian = false) {
  std::vector<int32_t> out;
  for (size_t i = 0; i < count; ++i) out.push_back(word_at(bytes, offset + 4 * i, big_endian));
  return out;
}

// The whole logical text, byte by byte.
std::string read_all(FrgacText* t) {
  std::string read;
  for (int c; (c = frgacgc(t)) != -1;) read.push_back(static_cast<char>(c));
  return read;
}

struct Reports {
  Reports() {
    recorded_reports().clear();
    set_error_handler(record_report);
  }
  ~Reports() { set_error_handler(nullptr); }
};

class FrgWrite : public ::testing::Test {
 protected:
  void SetUp() override { start_io(); }
  TempDir dir;
  std::string at(const char* name) const { return dir.path + "/" + name; }
  // Writes the plain file p with the content, describes it in the new
  // directory frg with the flags, and writes frg/frg.1.0; its bytes.
  std::string describe(const std::string& content, int flags, bool swapped = false) {
    spit(at("p"), content);
    EXPECT_EQ(mkdir(at("frg").c_str(), 0777), 0);
    FrgacText t;
    EXPECT_EQ(frgaccr(at("p").c_str(), at("frg").c_str(), &t, flags), 0);
    t.swapped = swapped ? 1 : 0;
    EXPECT_EQ(frgaccl(&t, 1), 0);
    return slurp(at("frg") + "/frg.1.0");
  }
};

// Every header word, table A, block index A and the names of the file
// that describes a plain file of 10 bytes, from the layout: header at 0,
// table A (2 pairs) at 76, no table B, block index A (1 entry) at 92, no
// block index B, the names text at 96.
TEST_F(FrgWrite, PlainFileAsOneFragmentHasTheLayoutWordForWord) {
  const std::string plain = at("index.idx");
  spit(plain, "0123456789");
  const std::string frg = at("index.idx.frg");
  ASSERT_EQ(mkdir(frg.c_str(), 0777), 0);
  Reports reports;
  FrgacText t;
  ASSERT_EQ(frgaccr(plain.c_str(), frg.c_str(), &t, FRG_TABLE_A), 0);
  EXPECT_EQ(t.header[FRG_MINOR], -1);
  ASSERT_EQ(frgaccl(&t, 1), 0);
  EXPECT_TRUE(recorded_reports().empty());
  EXPECT_TRUE(t.names.empty());
  EXPECT_TRUE(t.table_a.empty());

  const std::string bytes = slurp(frg + "/frg.1.0");
  const int32_t names_length = static_cast<int32_t>(plain.size()) + 1;
  const std::vector<int32_t> header = {
      1, 1, 0, 2, 0, 10, 10, 1, 0, 1024, 76, 92, 92, 96, 1, 96, 1, 0, names_length};
  ASSERT_EQ(bytes.size(), 96u + static_cast<size_t>(names_length));
  EXPECT_EQ(words(bytes, 0, 19), header);
  EXPECT_EQ(words(bytes, 76, 4), (std::vector<int32_t>{1, -1, 11, -1}));
  EXPECT_EQ(words(bytes, 92, 1), std::vector<int32_t>{1});
  EXPECT_EQ(bytes.substr(96), plain + std::string(1, '\0'));
}

// The reader sees the plain file's bytes at logical addresses 1..size, and
// address a maps to physical a - 1 (size + 1 included).
TEST_F(FrgWrite, ReaderReadsTheDescribedFile) {
  std::string text;
  for (int i = 0; i < 3000; ++i) text.push_back(static_cast<char>('a' + i % 26));
  const std::string plain = at("t.txt");
  spit(plain, text);
  const std::string frg = at("frg");
  ASSERT_EQ(mkdir(frg.c_str(), 0777), 0);
  FrgacText w;
  ASSERT_EQ(frgaccr(plain.c_str(), frg.c_str(), &w, FRG_TABLE_A), 0);
  ASSERT_EQ(frgaccl(&w, 1), 0);

  for (unsigned long estimate : {0ul, 65535ul}) {
    FrgacText r;
    ASSERT_EQ(frgac_open(plain.c_str(), frg.c_str(), 1, 0, estimate, FRGAC_READ, &r, 0), 0);
    EXPECT_EQ(read_all(&r), text);
    int32_t addresses[] = {1, 1500, 3000, 3001};
    EXPECT_EQ(frgacma(&r, addresses, 4), 0);
    EXPECT_EQ(std::vector<int32_t>(addresses, addresses + 4),
              (std::vector<int32_t>{0, 1499, 2999, 3000}));
    frgac_close(&r);
  }
}

// Several fragments: records follow the names, block indexes hold the
// first position of every block of pairs, and the reader reads the
// logical text across the fragment files.
TEST_F(FrgWrite, SeveralFragmentsWithRecordsAndBlocks) {
  const std::string f0 = at("f0"), f1 = at("f1");
  spit(f0, "HELLO ");
  spit(f1, "xxWORLD");
  const std::string frg = at("frg");
  ASSERT_EQ(mkdir(frg.c_str(), 0777), 0);
  FrgacText t;
  t.directory = frg;
  t.file_name = "two";
  int32_t* h = t.header;
  h[FRG_FLAGS] = FRG_TABLE_A;
  h[FRG_MAJOR] = 3;
  h[FRG_MINOR] = 4;  // written as minor 5
  h[FRG_PHYSICAL_LENGTH] = 13;
  h[FRG_LOGICAL_LENGTH] = 11;
  h[FRG_PAIRS_PER_BLOCK] = 2;
  t.names = {f0, f1};
  t.records = {{0, 6, 0, 0}, {6, 7, 0, 1}};
  // "HELLO " is physical 0-5; "WORLD" physical 8-12 (after "xx").
  t.table_a = {{1, -1}, {7, 1}, {12, 1}};
  ASSERT_EQ(frgaccl(&t, 1), 0);

  const std::string bytes = slurp(frg + "/frg.3.5");
  const int32_t names_length = static_cast<int32_t>(f0.size() + f1.size() + 2);
  // Table A 3 pairs at 76 (24 bytes), block index A 2 entries at 100, the
  // names at 108, the records after them.
  const std::vector<int32_t> header = {1,  3, 5,   3,   0, 13, 11,          2, 0, 2,
                                       76, 100, 100, 108, 2, 108, 2, 108 + names_length,
                                       names_length};
  EXPECT_EQ(words(bytes, 0, 19), header);
  EXPECT_EQ(words(bytes, 100, 2), (std::vector<int32_t>{1, 12}));
  EXPECT_EQ(words(bytes, static_cast<size_t>(108 + names_length), 8),
            (std::vector<int32_t>{0, 6, 0, 0, 6, 7, 0, 1}));

  FrgacText r;
  ASSERT_EQ(frgac_open("two", frg.c_str(), 3, 5, 0, FRGAC_READ, &r, 0), 0);
  EXPECT_EQ(read_all(&r), "HELLO WORLD");
  frgac_close(&r);
}

// With the swap flag every word goes out in the other byte order; the
// reader's vote finds it and reads the same text.
TEST_F(FrgWrite, SwappedRecordIsWrittenInTheOtherByteOrder) {
  const std::string bytes = describe("abcdef", FRG_TABLE_A, true);
  EXPECT_EQ(words(bytes, 0, 7, true), (std::vector<int32_t>{1, 1, 0, 2, 0, 6, 6}));
  EXPECT_EQ(words(bytes, 76, 4, true), (std::vector<int32_t>{1, -1, 7, -1}));

  FrgacText r;
  ASSERT_EQ(frgac_open(at("p").c_str(), at("frg").c_str(), 1, 0, 0, FRGAC_READ, &r, 0), 0);
  EXPECT_EQ(r.swapped, 1);
  EXPECT_EQ(read_all(&r), "abcdef");
  frgac_close(&r);
}

// Table B maps physical to logical: {0, 1} and {size, 1}.
TEST_F(FrgWrite, TableBOnly) {
  const std::string bytes = describe("abcd", FRG_TABLE_B);
  const std::string plain = at("p");
  // No table A: table B at 76, its block index at 92, the names at 96.
  EXPECT_EQ(words(bytes, 0, 19),
            (std::vector<int32_t>{2, 1, 0, 0, 2, 4, 4, 0, 1, 1024, 76, 76, 92, 92, 1, 96, 1, 0,
                                  static_cast<int32_t>(plain.size() + 1)}));
  EXPECT_EQ(words(bytes, 76, 4), (std::vector<int32_t>{0, 1, 4, 1}));
  EXPECT_EQ(words(bytes, 92, 1), std::vector<int32_t>{0});
}

TEST_F(FrgWrite, Failures) {
  Reports reports;
  FrgacText t;
  const std::string missing = at("missing");
  EXPECT_EQ(frgaccr(missing.c_str(), at("frg").c_str(), &t, FRG_TABLE_A), FRGAC_FAIL);
  ASSERT_EQ(recorded_reports().size(), 1u);
  EXPECT_EQ(recorded_reports()[0].severity, 16);
  EXPECT_EQ(recorded_reports()[0].text, "frgaccr: Failed to obtain file size of " + missing + ".");

  // A directory that does not exist: the directory file cannot be made.
  const std::string plain = at("p");
  spit(plain, "abc");
  ASSERT_EQ(frgaccr(plain.c_str(), at("no-such-dir").c_str(), &t, FRG_TABLE_A), 0);
  EXPECT_EQ(frgaccl(&t, 1), FRGAC_FAIL);
  EXPECT_TRUE(t.names.empty());
  EXPECT_FALSE(std::filesystem::exists(at("no-such-dir")));

  // Without update nothing is written, and the record is released.
  const std::string frg = at("frg");
  ASSERT_EQ(mkdir(frg.c_str(), 0777), 0);
  ASSERT_EQ(frgaccr(plain.c_str(), frg.c_str(), &t, FRG_TABLE_A), 0);
  EXPECT_EQ(frgaccl(&t, 0), 0);
  EXPECT_TRUE(std::filesystem::is_empty(frg));
  EXPECT_TRUE(t.table_a.empty());
}

// The rename replaces the target with the source's content, leaves neither
// the source nor an intermediate file, and refuses a missing source.
TEST_F(FrgWrite, RenameThroughAnIntermediateFile) {
  Reports reports;
  struct Case {
    const char* name;
    bool target_exists;
  } const cases[] = {{"target absent", false}, {"target present", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string from = at("new.dd"), to = at("db.dd");
    std::filesystem::remove(to);
    spit(from, "new text");
    if (c.target_exists) spit(to, "old text");
    EXPECT_EQ(frgacrn(from.c_str(), to.c_str()), 0);
    EXPECT_EQ(slurp(to), "new text");
    EXPECT_FALSE(std::filesystem::exists(from));
    size_t entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path)) {
      (void)e;
      ++entries;
    }
    EXPECT_EQ(entries, 1u);
  }
  EXPECT_TRUE(recorded_reports().empty());

  const std::string gone = at("gone"), to = at("db.dd");
  EXPECT_EQ(frgacrn(gone.c_str(), to.c_str()), 16);
  ASSERT_EQ(recorded_reports().size(), 1u);
  EXPECT_EQ(recorded_reports()[0].severity, 3);
  EXPECT_EQ(recorded_reports()[0].text,
            "Rename '" + gone + "' to '" + to + " but '" + gone + "' does not exist.");
  EXPECT_EQ(slurp(to), "new text");
}

// A failed step after the old target was moved aside puts it back: here
// the source is a directory, which cannot be hard-linked.
TEST_F(FrgWrite, FailedRenameKeepsTheTarget) {
  Reports reports;
  const std::string from = at("adir"), to = at("db.dd");
  ASSERT_EQ(mkdir(from.c_str(), 0777), 0);
  spit(to, "old text");
  EXPECT_EQ(frgacrn(from.c_str(), to.c_str()), 16);
  EXPECT_EQ(slurp(to), "old text");
  ASSERT_FALSE(recorded_reports().empty());
  EXPECT_EQ(recorded_reports().back().severity, 2);
  EXPECT_EQ(recorded_reports().back().text.rfind("Rename from '" + from + "' to '" + to, 0), 0u);
  size_t entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.path)) {
    (void)e;
    ++entries;
  }
  EXPECT_EQ(entries, 2u);
}

}  // namespace
