// Region entries of the data dictionary: removing a file's regions,
// rewriting entries (types kept, regions with a negative count left out),
// entries the getters refuse, and the name-file report.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dd/dd.h"
#include "region/fixture.h"
#include "region/region.h"
#include "support/recorded_reports.h"

using namespace region_test;

namespace {

class DdEntries : public Scratch {
 protected:
  void read(const std::string& dd) {
    write_file(path("in.dd"), dd);
    tree_ = addpadd(path("in.dd").c_str());
    ASSERT_NE(tree_, nullptr);
    region_list_build(tree_, &count_, &files_);
  }
  std::string tree_text() {
    EXPECT_EQ(addutwrdd(path("out.dd").c_str(), tree_), 0);
    return read_file(path("out.dd"));
  }
  void TearDown() override {
    region_list_free(count_, files_);
    if (tree_) madmtfr(tree_);
    Scratch::TearDown();
  }
  MadNode* tree_ = nullptr;
  int32_t count_ = 0;
  RegionListFile* files_ = nullptr;
};

TEST_F(DdEntries, RemovingAFileTakesOnlyItsRegions) {
  const std::vector<Spec> specs = {
      {"a", "", "one.rgn", 0, 2}, {"x", "", "two.rgn", 0, 2}, {"b", "", "one.rgn", 8, 2}};
  read(dd_text(specs));
  ASSERT_EQ(count_, 2);
  region_dd_remove(tree_, &files_[0]);
  EXPECT_EQ(tree_text(), dd_text({specs[1]}));
}

TEST_F(DdEntries, RewritingKeepsTypesAndSkipsNegativeCounts) {
  write_file(path("r.rgn"), region_header() + region_values(1, 6));
  const std::string rgn = path("r.rgn");
  std::vector<Spec> specs = {{"p", "pp", rgn, 0, 2, "contig"}, {"q", "", rgn, 8, 4, "pairs"}};
  read(dd_text(specs));
  ASSERT_EQ(count_, 1);
  RegionListFile& f = files_[0];
  f.regions[0].offset = 16;  // p
  f.regions[1].offset = 0;   // q
  f.regions[1].count = -1;   // not to be written
  EXPECT_EQ(region_write_dd(tree_, &f), 0);
  specs[0].offset = 16;
  specs[0].mod_date = mtime_text(rgn);
  EXPECT_EQ(tree_text(), dd_text(specs));
}

TEST_F(DdEntries, AMissingRegionFileIsDatedMinusOne) {
  std::vector<Spec> specs = {{"p", "", path("gone.rgn"), 0, 0}};
  read(dd_text(specs));
  EXPECT_EQ(region_write_dd(tree_, &files_[0]), 0);
  specs[0].mod_date = "4294967295";
  EXPECT_EQ(tree_text(), dd_text(specs));
}

TEST_F(DdEntries, RegionsTheGettersRefuseAreLeftOut) {
  ReportRecorder rec;
  read("<DB><Regions><Region><Name>nofile</Name><Count>2</Count><Type>pairs</Type></Region>"
       "<Region><Name>ok</Name><File><SysName>r.rgn</SysName></File><Count>2</Count>"
       "<Type>pairs</Type></Region></Regions></DB>");
  ASSERT_EQ(count_, 1);
  ASSERT_EQ(files_[0].count, 1);
  EXPECT_STREQ(files_[0].regions[0].name, "ok");
  ASSERT_EQ(rec.reports().size(), 1u);
  EXPECT_EQ(rec.reports()[0].text, "40000: addgifi: Bad args.");
}

TEST_F(DdEntries, NameFileErrorReport) {
  ReportRecorder rec;
  region_name_file_error("tags.txt", "para");
  ASSERT_EQ(rec.reports().size(), 1u);
  EXPECT_EQ(rec.reports()[0].severity, 9);
  EXPECT_EQ(rec.reports()[0].text,
            "80002: Error in name file 'tags.txt'.  Last tag processed correctly: 'para'");
}

}  // namespace
