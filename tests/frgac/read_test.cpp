// Reading fragmented texts made by the fixture builder: every byte at every
// address, bulk mapping, seeking, and the edges of the logical and physical
// address spaces, over one and several fragments, both byte orders and both
// remap modes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "frg_fixture.h"
#include "frgac/frgac.h"
#include "support/recorded_reports.h"
#include "temp_dir.h"

namespace {

struct Case {
  const char* name;
  size_t length;     // logical length
  size_t max_piece;  // longest piece between two pairs
  int pieces;        // fragment records (0: one file, no records)
  bool big_endian;
  unsigned long estimate;  // 0: paged table (remap mode 1)
  int32_t per_block;
};

// Large tables have 1000+ pairs; per_block is chosen so that the last block
// is neither full nor a single pair.
const Case kCases[] = {
    {"one_native_paged", 3000, 40, 0, false, 0, 16},
    {"one_native_whole", 3000, 40, 0, false, 1 << 30, 16},
    {"one_swapped_paged", 3000, 40, 0, true, 0, 16},
    {"one_swapped_whole", 3000, 40, 0, true, 1 << 30, 16},
    {"several_native_paged", 40000, 60, 4, false, 0, 16},
    {"several_native_whole", 40000, 60, 4, false, 1 << 30, 16},
    {"several_swapped_paged", 40000, 60, 5, true, 0, 7},
    {"several_swapped_whole", 40000, 60, 5, true, 1 << 30, 7},
    {"one_large_pieces_paged", 20000, 3000, 0, false, 0, 3},
    {"several_one_pair_per_block", 5000, 30, 3, false, 0, 1},
    {"several_pieces_span_buffer", 20000, 2000, 6, true, 0, 4},
};

class FrgacRead : public ::testing::TestWithParam<Case> {
 protected:
  void SetUp() override {
    start_io();
    const Case& c = GetParam();
    text = frgfix::make_text(c.length, c.max_piece, 1234 + static_cast<uint32_t>(c.length));
    frgfix::Directory d;
    d.a = text.a;
    d.logical_length = static_cast<int32_t>(c.length);
    d.per_block = c.per_block;
    d.big_endian = c.big_endian;
    frgfix::lay_fragments(text.physical, c.pieces, dir.path, 99, &d);
    frgfix::write_file(dir.path + "/frg.1.0", frgfix::build_directory(d));
    ASSERT_EQ(frgac_open("text.sys", dir.path.c_str(), 1, 0, c.estimate, 1, &t, 0), 0);
  }
  void TearDown() override { frgac_close(&t); }

  TempDir dir;
  frgfix::Text text;
  FrgacText t;
};

TEST_P(FrgacRead, OpensInTheExpectedModeAndOrder) {
  const Case& c = GetParam();
  EXPECT_EQ(t.swapped, c.big_endian ? 1 : 0);
  EXPECT_EQ(t.remap_mode, c.estimate ? FRGAC_REMAP_WHOLE : FRGAC_REMAP_BLOCKS);
  EXPECT_EQ(t.header[FRG_LOGICAL_LENGTH], static_cast<int32_t>(c.length));
  EXPECT_EQ(t.header[FRG_PAIRS_A], static_cast<int32_t>(text.a.size()));
}

TEST_P(FrgacRead, SequentialReadGivesTheLogicalText) {
  std::string got;
  for (int ch; (ch = frgacgc(&t)) != -1;) got += static_cast<char>(ch);
  ASSERT_EQ(got.size(), text.logical.size());
  EXPECT_TRUE(got == text.logical);
  EXPECT_EQ(frgacgc(&t), -1);  // stays at the end
}

TEST_P(FrgacRead, MappingOfEveryAddressAndTheOutsideOnes) {
  const int32_t length = static_cast<int32_t>(text.logical.size());
  std::vector<int32_t> addresses;
  for (int32_t a = 0; a <= length + 2; ++a) addresses.push_back(a);
  addresses.push_back(-7);
  addresses.push_back(INT32_MAX);
  // Out of order too, so a paged table has to load blocks back and forth.
  for (int32_t a = length + 1; a >= 1; a -= 37) addresses.push_back(a);
  std::vector<int32_t> mapped = addresses;
  EXPECT_EQ(frgacma(&t, mapped.data(), static_cast<long>(mapped.size())), 4);
  for (size_t i = 0; i < addresses.size(); ++i) {
    int32_t a = addresses[i];
    if (a < 1 || a > length + 1) {
      EXPECT_EQ(mapped[i], FRGAC_UNMAPPED) << "address " << a;
    } else {
      ASSERT_EQ(mapped[i], text.physical_of[a]) << "address " << a;
      if (a <= length) {
        EXPECT_EQ(text.physical[mapped[i]], text.logical[a - 1]);
      }
    }
  }
}

TEST_P(FrgacRead, SeekThenReadMatchesAtEveryKindOfAddress) {
  const long length = static_cast<long>(text.logical.size());
  std::vector<long> starts = {1, 2, length, length - 1, length / 2};
  for (const auto& pair : text.a)  // every pair boundary and the byte before it
    if (pair.first <= length) {
      starts.push_back(pair.first);
      if (pair.first > 1) starts.push_back(pair.first - 1);
    }
  for (long a : starts) {
    ASSERT_EQ(frgacsk(&t, a), a);
    size_t want = std::min<size_t>(700, static_cast<size_t>(length - a + 1));
    std::string got;
    for (size_t k = 0; k < want; ++k) got += static_cast<char>(frgacgc(&t));
    ASSERT_TRUE(got == text.logical.substr(a - 1, want)) << "from address " << a;
    if (a == length) {
      EXPECT_EQ(frgacgc(&t), -1);
    }
  }
}

TEST_P(FrgacRead, PhysicalReadsAcrossFragmentsAndPastTheEnd) {
  const long physical = static_cast<long>(text.physical.size());
  for (long p : {0L, 1L, physical / 3, physical - 1000, physical - 5}) {
    if (p < 0) continue;
    std::vector<unsigned char> buffer(1200, 0);
    long want = 1200, real = std::min(want, physical - p);
    ASSERT_EQ(frgacrf(&t, p, want, buffer.data()), real) << "at " << p;
    EXPECT_TRUE(std::string(buffer.begin(), buffer.begin() + real) == text.physical.substr(p, real));
    for (long k = real; k < want; ++k) ASSERT_EQ(buffer[k], ' ');
  }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, FrgacRead, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A text made the way the index builder describes a plain file: one fragment,
// table A {1, -1}, {size + 1, -1}, no records.
TEST(FrgacPlain, SingleFileTextWithTheBuildersTable) {
  start_io();
  TempDir dir;
  std::string body = "0123456789abcdefghijklmnopqrstuvwxyz";
  frgfix::Directory d;
  d.a = {{1, -1}, {static_cast<int32_t>(body.size() + 1), -1}};
  d.logical_length = static_cast<int32_t>(body.size());
  frgfix::lay_fragments(body, 0, dir.path, 1, &d);
  frgfix::write_file(dir.path + "/frg.1.0", frgfix::build_directory(d));
  FrgacText t;
  ASSERT_EQ(frgac_open("plain", dir.path.c_str(), 1, 0, 65535, 1, &t, 0), 0);
  std::string got;
  for (int ch; (ch = frgacgc(&t)) != -1;) got += static_cast<char>(ch);
  EXPECT_EQ(got, body);
  int32_t map[] = {0, 1, 36, 37, 38};
  EXPECT_EQ(frgacma(&t, map, 5), 2);
  EXPECT_EQ(map[0], FRGAC_UNMAPPED);
  EXPECT_EQ(map[1], 0);
  EXPECT_EQ(map[2], 35);
  EXPECT_EQ(map[3], 36);
  EXPECT_EQ(map[4], FRGAC_UNMAPPED);
  frgac_close(&t);
}

TEST(FrgacPlain, InvalidSeekReportsAndKeepsThePosition) {
  start_io();
  TempDir dir;
  std::string body = "abcdefghij";
  frgfix::Directory d;
  d.a = {{1, -1}, {11, -1}};
  d.logical_length = 10;
  frgfix::lay_fragments(body, 0, dir.path, 1, &d);
  frgfix::write_file(dir.path + "/frg.1.0", frgfix::build_directory(d));
  FrgacText t;
  ASSERT_EQ(frgac_open("plain", dir.path.c_str(), 1, 0, 65535, 1, &t, 0), 0);
  ASSERT_EQ(frgacsk(&t, 4), 4);
  EXPECT_EQ(frgacgc(&t), 'd');
  ReportRecorder recorder;
  for (long bad : {0L, 11L, -3L}) {
    recorded_reports().clear();
    EXPECT_EQ(frgacsk(&t, bad), 4);
    ASSERT_EQ(recorder.reports().size(), 1u);
    EXPECT_EQ(recorder.reports()[0].severity, 11);
    EXPECT_EQ(recorder.reports()[0].text,
              "frgacsk: Invalid logical address (" + std::to_string(bad) + ").");
  }
  EXPECT_EQ(frgacgc(&t), 'd');  // the buffer was emptied; reading restarts at 4
  EXPECT_EQ(frgacgc(&t), 'e');
  frgac_close(&t);
}

TEST(FrgacPlain, MajorAndMinorChecks) {
  start_io();
  TempDir dir;
  frgfix::Directory d;
  d.a = {{1, -1}, {4, -1}};
  d.logical_length = 3;
  d.major = 2;
  d.minor = 5;
  frgfix::lay_fragments("xyz", 0, dir.path, 1, &d);
  frgfix::write_file(dir.path + "/frg.2.5", frgfix::build_directory(d));
  frgfix::write_file(dir.path + "/frg.2.-1", frgfix::build_directory(d));
  frgfix::write_file(dir.path + "/frg.0.0", frgfix::build_directory(d));
  FrgacText t;
  EXPECT_EQ(frgac_open("s", dir.path.c_str(), 2, 5, 65535, 1, &t, 0), 0);
  EXPECT_EQ(frgac_open("s", dir.path.c_str(), 2, -1, 65535, 1, &t, 0), 0);  // any minor
  EXPECT_EQ(frgac_open("s", dir.path.c_str(), 0, 0, 65535, 1, &t, 0), 0);   // any at all
  ReportRecorder recorder;
  d.minor = 6;
  frgfix::write_file(dir.path + "/frg.2.5", frgfix::build_directory(d));
  EXPECT_EQ(frgac_open("sys.txt", dir.path.c_str(), 2, 5, 65535, 1, &t, 0), FRGAC_FAIL);
  ASSERT_EQ(recorder.reports().size(), 1u);
  EXPECT_EQ(recorder.reports()[0].severity, 15);
  EXPECT_EQ(recorder.reports()[0].text, "frgac_open:Major = 2 and Minor = 6 on sys.txt");
  recorded_reports().clear();
  EXPECT_EQ(frgac_open("sys.txt", dir.path.c_str(), 3, 3, 65535, 1, &t, 0), FRGAC_FAIL);
  ASSERT_EQ(recorder.reports().size(), 1u);
  EXPECT_EQ(recorder.reports()[0].severity, 16);
  EXPECT_EQ(recorder.reports()[0].text, "Failed to open '" + dir.path + "/frg.3.3'.");
  frgac_close(&t);
}

}  // namespace

namespace {

// Update access opens the fragments read-write and reads them without the
// read-ahead window; the text read is the same.
TEST(FrgacUpdate, UpdateAccessReadsTheSameText) {
  start_io();
  TempDir dir;
  frgfix::Text text = frgfix::make_text(30000, 700, 11);
  frgfix::Directory d;
  d.a = text.a;
  d.logical_length = 30000;
  d.per_block = 5;
  frgfix::lay_fragments(text.physical, 4, dir.path, 3, &d);
  frgfix::write_file(dir.path + "/frg.1.0", frgfix::build_directory(d));
  FrgacText t;
  ASSERT_EQ(frgac_open("u", dir.path.c_str(), 1, 0, 0, FRGAC_UPDATE, &t, 1), 0);
  EXPECT_EQ(t.cache_flag, 0);
  std::string got;
  for (int ch; (ch = frgacgc(&t)) != -1;) got += static_cast<char>(ch);
  EXPECT_TRUE(got == text.logical);
  ASSERT_EQ(frgacsk(&t, 12345), 12345);
  EXPECT_EQ(frgacgc(&t), static_cast<unsigned char>(text.logical[12344]));
  frgac_close(&t);
}

}  // namespace
