// Directory files whose words do not hold together are refused with a
// numbered report, never read out of bounds: one valid file, one damage
// per case.
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "frg_fixture.h"
#include "frgac/frgac.h"
#include "support/recorded_reports.h"
#include "temp_dir.h"

namespace {

// A valid text of several fragments: 300 pairs in blocks of 8.
struct Valid {
  TempDir dir;
  frgfix::Text text = frgfix::make_text(3000, 20, 7);
  frgfix::Directory d;
  frgfix::Layout layout;
  std::string bytes;
  Valid() {
    start_io();
    d.a = text.a;
    d.logical_length = 3000;
    d.per_block = 8;
    frgfix::lay_fragments(text.physical, 4, dir.path, 5, &d);
    bytes = frgfix::build_directory(d, &layout);
  }
  void word(size_t offset, int32_t value) { frgfix::put_word(bytes, offset, value, false); }
  std::string path() const { return dir.path + "/frg.1.0"; }
};

struct Damage {
  const char* name;
  unsigned long estimate;  // 0 paged, else whole tables
  std::function<void(Valid&)> apply;
  const char* report;  // start of the expected report text
};


const Damage kDamages[] = {
    {"short_header", 0, [](Valid& v) { v.bytes.resize(40); }, "50001: frgac_open: Directory file"},
    {"pairs_per_block_zero", 0, [](Valid& v) { v.word(4 * FRG_PAIRS_PER_BLOCK, 0); },
     "50002: frgac_open: Directory file"},
    {"no_pairs_in_table_a", 0, [](Valid& v) { v.word(4 * FRG_PAIRS_A, 0); }, "50002: frgac_open"},
    {"negative_logical_length", 1 << 30, [](Valid& v) { v.word(4 * FRG_LOGICAL_LENGTH, -4); },
     "50002: frgac_open"},
    {"negative_record_count", 1 << 30, [](Valid& v) { v.word(4 * FRG_RECORD_COUNT, -2); },
     "50002: frgac_open"},
    {"table_a_beyond_the_file", 1 << 30,
     [](Valid& v) { v.word(4 * FRG_OFFSET_A, static_cast<int32_t>(v.bytes.size()) - 16); },
     "50003: frgac_open"},
    {"huge_table_a", 1 << 30, [](Valid& v) { v.word(4 * FRG_PAIRS_A, 0x7fffff00); }, "50003: frgac_open"},
    {"negative_names_offset", 0, [](Valid& v) { v.word(4 * FRG_OFFSET_NAMES, -8); },
     "50003: frgac_open"},
    {"records_beyond_the_file", 0, [](Valid& v) { v.word(4 * FRG_RECORD_COUNT, 1000); },
     "50003: frgac_open"},
    {"block_index_too_long", 0,
     [](Valid& v) { v.word(4 * FRG_BLOCKS_A, frgfix::blocks_of(v.d.a.size(), 8) + 1); },
     "50004: frgac_open"},
    {"block_index_short", 0,
     [](Valid& v) { v.word(4 * FRG_BLOCKS_A, frgfix::blocks_of(v.d.a.size(), 8) - 1); },
     "50004: frgac_open"},
    {"table_unsorted_whole", 1 << 30, [](Valid& v) { v.word(v.layout.a + 8 * 20, 5000); },
     "50005: frgac_open"},
    {"block_index_unsorted", 0, [](Valid& v) { v.word(v.layout.index_a + 4 * 3, 1); },
     "50005: frgac_open"},
    {"first_pair_after_1_whole", 1 << 30, [](Valid& v) { v.word(v.layout.a, 2); },
     "50006: frgac_open"},
    {"first_pair_after_1_paged", 0,
     [](Valid& v) {
       v.word(v.layout.a, 2);
       v.word(v.layout.index_a, 2);
     },
     "50006: frgac_open"},
    {"last_pair_inside_the_text", 0,
     [](Valid& v) { v.word(v.layout.a + 8 * (v.d.a.size() - 1), 3000); }, "50007: frgac_open"},
    {"names_text_without_last_nul", 0,
     [](Valid& v) { v.word(4 * FRG_NAMES_LENGTH, static_cast<int32_t>(v.layout.records - v.layout.names) - 1); },
     "50008: frgac_read_file_fragments"},
    {"names_text_not_all_used", 0, [](Valid& v) { v.word(4 * FRG_NAME_COUNT, 1); },
     "frgac_read_file_fragments: not all Name text used."},
    {"record_names_a_missing_fragment", 0, [](Valid& v) { v.word(v.layout.records + 16 * 2 + 12, 3); },
     "50009: frgac_read_file_fragments"},
    {"record_negative_name_index", 0, [](Valid& v) { v.word(v.layout.records + 12, -1); },
     "50009: frgac_read_file_fragments"},
    {"records_overlap", 0,
     [](Valid& v) { v.word(v.layout.records + 16 + 4, v.d.records[1].length + 1); },
     "50010: frgac_read_file_fragments"},
    {"records_end_short", 0, [](Valid& v) { v.word(4 * FRG_PHYSICAL_LENGTH, v.d.physical_length + 1); },
     "50010: frgac_read_file_fragments"},
};

class FrgacChecks : public ::testing::TestWithParam<Damage> {};

TEST_P(FrgacChecks, RefusedWithANumberedReport) {
  Valid v;
  GetParam().apply(v);
  frgfix::write_file(v.path(), v.bytes);
  ReportRecorder recorder;
  FrgacText t;
  EXPECT_EQ(frgac_open("sys", v.dir.path.c_str(), 1, 0, GetParam().estimate, 1, &t, 0), FRGAC_FAIL);
  ASSERT_EQ(recorder.reports().size(), 1u);
  EXPECT_EQ(recorder.reports()[0].severity, 15);
  EXPECT_EQ(recorder.reports()[0].text.rfind(GetParam().report, 0), 0u)
      << recorder.reports()[0].text;
  EXPECT_EQ(t.fd, -1);  // nothing left open
}

INSTANTIATE_TEST_SUITE_P(Damages, FrgacChecks, ::testing::ValuesIn(kDamages),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FrgacChecksText, ExactTextOfAReport) {
  Valid v;
  v.word(v.layout.records + 16 * 2 + 12, 3);
  frgfix::write_file(v.path(), v.bytes);
  ReportRecorder recorder;
  FrgacText t;
  EXPECT_EQ(frgac_open("sys", v.dir.path.c_str(), 1, 0, 0, 1, &t, 0), FRGAC_FAIL);
  ASSERT_EQ(recorder.reports().size(), 1u);
  EXPECT_EQ(recorder.reports()[0].text,
            "50009: frgac_read_file_fragments: Directory file '" + v.path() +
                "': fragment record 2 names fragment 3, but there are 3 names.");
}

// Words that are only used in the paged mode do not stop a whole-table open.
TEST(FrgacChecksText, PairsPerBlockUnusedWithWholeTables) {
  Valid v;
  v.word(4 * FRG_PAIRS_PER_BLOCK, 0);
  frgfix::write_file(v.path(), v.bytes);
  FrgacText t;
  ASSERT_EQ(frgac_open("sys", v.dir.path.c_str(), 1, 0, 1 << 30, 1, &t, 0), 0);
  std::string got;
  for (int ch; (ch = frgacgc(&t)) != -1;) got += static_cast<char>(ch);
  EXPECT_TRUE(got == v.text.logical);
  frgac_close(&t);
}

// A paged table is checked block by block as it is loaded: a bad block is
// reported, its addresses do not map, and the other blocks still do.
TEST(FrgacChecksText, BadBlockFoundWhenLoaded) {
  struct {
    const char* name;
    size_t pair;         // pair whose position is damaged
    int32_t position;    // new position
    const char* report;
  } const cases[] = {
      {"unsorted inside block 2", 8 * 2 + 3, 1, "50005: frgacma"},
      {"block 3 starts elsewhere", 8 * 3, 0, "50011: frgacma"},
  };
  for (const auto& c : cases) {
    Valid v;
    int32_t in_bad = v.d.a[c.pair + 1].first;  // an address covered by the damaged block
    v.word(v.layout.a + 8 * c.pair, c.position);
    frgfix::write_file(v.path(), v.bytes);
    FrgacText t;
    ASSERT_EQ(frgac_open("sys", v.dir.path.c_str(), 1, 0, 0, 1, &t, 0), 0) << c.name;
    ReportRecorder recorder;
    int32_t map[] = {1, in_bad, 3000};
    EXPECT_EQ(frgacma(&t, map, 3), 1) << c.name;
    EXPECT_EQ(map[0], v.text.physical_of[1]);
    EXPECT_EQ(map[1], FRGAC_UNMAPPED);
    EXPECT_EQ(map[2], v.text.physical_of[3000]);
    ASSERT_GE(recorder.reports().size(), 1u);
    EXPECT_EQ(recorder.reports()[0].severity, 15);
    EXPECT_EQ(recorder.reports()[0].text.rfind(c.report, 0), 0u) << recorder.reports()[0].text;
    frgac_close(&t);
  }
}

TEST(FrgacChecksText, NegativePhysicalAddressIsReportedNotRead) {
  Valid v;
  v.word(v.layout.a + 4, -5);  // logical 1 would map to physical -4
  frgfix::write_file(v.path(), v.bytes);
  FrgacText t;
  ASSERT_EQ(frgac_open("sys", v.dir.path.c_str(), 1, 0, 1 << 30, 1, &t, 0), 0);
  ReportRecorder recorder;
  int32_t map[] = {1};
  EXPECT_EQ(frgacma(&t, map, 1), 1);
  EXPECT_EQ(frgacgc(&t), -1);
  ASSERT_EQ(recorder.reports().size(), 1u);
  EXPECT_EQ(recorder.reports()[0].text, "50012: frgacrf: Physical address -4 of 'sys' is negative.");
  frgac_close(&t);
}

TEST(FrgacChecksText, MissingFragmentFileAndReadBeyondTheRecords) {
  Valid v;
  frgfix::write_file(v.path(), v.bytes);
  FrgacText t;
  ASSERT_EQ(frgac_open("sys", v.dir.path.c_str(), 1, 0, 0, 1, &t, 0), 0);
  ReportRecorder recorder;
  long left = 0;
  EXPECT_EQ(frgacrl(&t, v.d.physical_length, &left), FRGAC_FAIL);
  ASSERT_EQ(recorder.reports().size(), 1u);
  EXPECT_EQ(recorder.reports()[0].severity, 15);
  EXPECT_EQ(recorder.reports()[0].text, "frgacrl: Attempt to read beyond end of source text.");
  recorded_reports().clear();
  unlink(v.d.names[0].c_str());
  EXPECT_EQ(frgacgc(&t), -1);
  ASSERT_EQ(recorder.reports().size(), 1u);
  EXPECT_EQ(recorder.reports()[0].severity, 16);
  EXPECT_EQ(recorder.reports()[0].text, "Failed to open '" + v.d.names[0] + "'.");
  frgac_close(&t);
}

// A fragment file shorter than its record says: the read-ahead reports the
// short read of the bytes wanted, and the reader gives -1.
TEST(FrgacChecksText, FragmentFileShorterThanItsRecord) {
  Valid v;
  frgfix::write_file(v.path(), v.bytes);
  ASSERT_EQ(truncate(v.d.names[0].c_str(), 20), 0);
  FrgacText t;
  ASSERT_EQ(frgac_open("sys", v.dir.path.c_str(), 1, 0, 0, 1, &t, 0), 0);
  ReportRecorder recorder;
  std::string got;
  for (int ch; (ch = frgacgc(&t)) != -1;) got += static_cast<char>(ch);
  EXPECT_LT(got.size(), 20u);
  EXPECT_EQ(got, v.text.logical.substr(0, got.size()));
  ASSERT_EQ(recorder.reports().size(), 1u);
  EXPECT_EQ(recorder.reports()[0].severity, 16);
  EXPECT_EQ(recorder.reports()[0].text.rfind("frgacsr: Read failure in file ", 0), 0u)
      << recorder.reports()[0].text;
  frgac_close(&t);
}

}  // namespace
