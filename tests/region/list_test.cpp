// Grouping a data dictionary's regions by region file, the contiguity check
// and the queries on the lists.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dd/dd.h"
#include "region/fixture.h"
#include "region/region.h"
#include "support/recorded_reports.h"

using namespace region_test;

namespace {

class RegionList : public Scratch {
 protected:
  // Reads the dictionary text and groups its regions.
  int32_t build(const std::string& dd) {
    write_file(path("in.dd"), dd);
    tree_ = addpadd(path("in.dd").c_str());
    EXPECT_NE(tree_, nullptr);
    return region_list_build(tree_, &count_, &files_);
  }
  void TearDown() override {
    region_list_free(count_, files_);
    if (tree_) madmtfr(tree_);
    Scratch::TearDown();
  }
  // "name@offset+count" per region of file f.
  std::string layout(int32_t f) const {
    std::string s;
    for (int32_t i = 0; i < files_[f].count; ++i) {
      const RegionListEntry& r = files_[f].regions[i];
      s += (s.empty() ? "" : " ") + std::string(r.name) + "@" + std::to_string(r.offset) + "+" +
           std::to_string(r.count);
    }
    return s;
  }
  MadNode* tree_ = nullptr;
  int32_t count_ = 0;
  RegionListFile* files_ = nullptr;
};

TEST_F(RegionList, GroupsByFileAndSortsByOffsetThenCount) {
  ReportRecorder rec;
  const std::string a = path("a.rgn"), b = path("b.rgn");
  std::string dd = dd_text({{"p", "", a, 40, 2},
                            {"q", "queue", a, 0, 6, "contig"},
                            {"r", "", b, 0, 4},
                            {"s", "", a, 24, 4},
                            {"t", "", a, 24, 0}});
  // A region with two files is refused and left out.
  const std::string two_files =
      "\n  <Region>\n   <Name>two</Name>\n   <File>\n    <SysName>" + a +
      "</SysName>\n   </File>\n   <File>\n    <SysName>" + b +
      "</SysName>\n   </File>\n   <Count>2</Count>\n   <Type>pairs</Type>\n  </Region>\n";
  dd.insert(dd.find(" </Regions>"), two_files);

  EXPECT_EQ(build(dd), 2);
  ASSERT_EQ(count_, 2);
  EXPECT_EQ(files_[0].name, a);
  EXPECT_EQ(layout(0), "q@0+6 t@24+0 s@24+4 p@40+2");
  EXPECT_EQ(files_[1].name, b);
  EXPECT_EQ(layout(1), "r@0+4");
  EXPECT_STREQ(files_[0].regions[0].desc, "queue");
  EXPECT_STREQ(files_[0].regions[0].type, "contig");
  EXPECT_EQ(files_[0].regions[1].desc, nullptr);
  EXPECT_STREQ(files_[0].regions[1].type, "pairs");
  ASSERT_EQ(rec.reports().size(), 1u);
  EXPECT_EQ(rec.reports()[0].severity, 16);
  EXPECT_EQ(rec.reports()[0].text, "40028: Cannot handle regions with more than one file");

  EXPECT_EQ(region_list_check(count_, files_), 1);
  EXPECT_EQ(region_list_end(&files_[0]), 48);
  EXPECT_EQ(region_list_end(&files_[1]), 16);
  EXPECT_EQ(region_index("s", &files_[0]), 2);
  EXPECT_EQ(region_index("r", &files_[0]), -1);
}

TEST_F(RegionList, NoRegionsGiveNoFiles) {
  EXPECT_EQ(build(dd_text({})), 0);
  EXPECT_EQ(files_, nullptr);
}

TEST_F(RegionList, OneFileNamedTwoWaysIsOneEntry) {
  write_file(path("a.rgn"), region_header());
  const std::string a = path("a.rgn"), other = dir_ + "/./a.rgn";
  EXPECT_EQ(build(dd_text({{"x", "", a, 8, 2}, {"y", "", other, 0, 2}})), 1);
  EXPECT_EQ(layout(0), "y@0+2 x@8+2");
  EXPECT_EQ(region_list_find(other.c_str(), count_, files_), 0);
  EXPECT_EQ(region_list_find(a.c_str(), count_, files_), 0);
  EXPECT_EQ(region_list_find(path("b.rgn").c_str(), count_, files_), -1);
}

TEST_F(RegionList, FindNeedsAnExistingFile) {
  EXPECT_EQ(build(dd_text({{"x", "", path("gone.rgn"), 0, 2}})), 1);
  EXPECT_EQ(region_list_find(path("gone.rgn").c_str(), count_, files_), -1);
}

TEST_F(RegionList, CheckReportsEveryHoleAndOverlap) {
  ReportRecorder rec;
  const std::string a = path("a.rgn");
  // u [0,8) then a hole before v [16,24), w overlaps v, x follows w exactly.
  build(dd_text({{"u", "", a, 0, 2}, {"v", "", a, 16, 2}, {"w", "", a, 20, 2}, {"x", "", a, 28, 1}}));
  EXPECT_EQ(region_list_check(count_, files_), 0);
  ASSERT_EQ(rec.reports().size(), 2u);
  EXPECT_EQ(rec.reports()[0].text, "200061: Found a hole in big region file '" + a +
                                       "':\n  Region 'v' does not directly follow region 'u'");
  EXPECT_EQ(rec.reports()[1].text, "200062: Found an overlap in big region file '" + a +
                                       "':\n  Region 'w' overlaps region 'v'");
  for (const RecordedReport& r : rec.reports()) EXPECT_EQ(r.severity, 15);
}

TEST_F(RegionList, AHugeCountOverlapsWhatFollowsInsteadOfWrapping) {
  ReportRecorder rec;
  const std::string a = path("a.rgn");
  // 4 x (2^62 + 1) wraps in 64 bits to 4, which is exactly where v begins.
  build(dd_text({{"u", "", a, 0, 4611686018427387905L}, {"v", "", a, 4, 1}}));
  EXPECT_EQ(region_list_check(count_, files_), 0);
  ASSERT_EQ(rec.reports().size(), 1u);
  EXPECT_EQ(rec.reports()[0].text, "200062: Found an overlap in big region file '" + a +
                                       "':\n  Region 'v' overlaps region 'u'");
}

TEST_F(RegionList, DumpPrintsEveryFileAndRegion) {
  build(dd_text({{"b", "", "one.rgn", 8, 3}, {"a", "", "one.rgn", 0, 2}, {"c", "", "two.rgn", 0, 0}}));
  testing::internal::CaptureStdout();
  EXPECT_EQ(region_list_dump(count_, files_), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "File: one.rgn\n  Region: a offset: 0 count: 2\n  Region: b offset: 8 count: 3\n"
            "File: two.rgn\n  Region: c offset: 0 count: 0\n");
}

TEST(RegionCompare, OrdersByOffsetThenCount) {
  RegionListEntry x{nullptr, nullptr, 8, 2, nullptr}, y{nullptr, nullptr, 8, 3, nullptr},
      z{nullptr, nullptr, 4, 9, nullptr};
  EXPECT_LT(region_compare(&x, &y), 0);
  EXPECT_GT(region_compare(&y, &x), 0);
  EXPECT_GT(region_compare(&x, &z), 0);
  EXPECT_EQ(region_compare(&x, &x), 0);
}

}  // namespace
