// Expansion of a region file for new values per tag: the layout it makes,
// the entries it rewrites, the room that backward writers then fill
// exactly, its refusals, and a failure part way. Also the tag-record count.
#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <sys/resource.h>
#include <vector>

#include "dd/dd.h"
#include "region/fixture.h"
#include "region/region.h"
#include "support/recorded_reports.h"

using namespace region_test;

namespace {

std::string tag_records(const std::vector<std::pair<int, int>>& runs) {
  std::string s;
  for (const auto& [tag, n] : runs)
    for (int i = 0; i < n; ++i) s += static_cast<char>(tag) + word(static_cast<uint32_t>(i));
  return s;
}

// Region file: a [0,16), b [16,24), a hole [24,32), c [32,56); the
// dictionary lists them as c, a, b.
class Expansion : public Scratch {
 protected:
  void SetUp() override {
    Scratch::SetUp();
    rgn_ = path("r.rgn");
    file_bytes_ = region_header() + region_values(1, 4) + region_values(2, 2) +
                  std::string(8, '\xEE') + region_values(3, 6);
    write_file(rgn_, file_bytes_);
    specs_ = {{"c", "", rgn_, 32, 6}, {"a", "aa", rgn_, 0, 4}, {"b", "", rgn_, 16, 2, "contig"}};
    write_file(path("in.dd"), dd_text(specs_));
    tree_ = addpadd(path("in.dd").c_str());
    ASSERT_NE(tree_, nullptr);
    // Tags b, new1, a, new2 get 3, 2, 1 and 0 records; tag 7 has no name;
    // three stray bytes end the file.
    write_file(path("tags"), tag_records({{0, 1}, {1, 2}, {7, 5}, {2, 1}, {0, 2}}) + "xyz");
    tags_ = vqio_fopen(path("tags").c_str(), "r");
    region_ = vqio_fopen(rgn_.c_str(), "r+");
    ASSERT_NE(tags_, nullptr);
    ASSERT_NE(region_, nullptr);
  }
  void TearDown() override {
    region_expand_free(&list_);
    region_list_free(list_.file_count, list_.files);
    vqio_fclose(tags_);
    vqio_fclose(region_);
    madmtfr(tree_);
    Scratch::TearDown();
  }
  int expand(const std::vector<const char*>& names) {
    return region_expand(&list_, tags_, region_, tree_, rgn_.c_str(), names.data(),
                         static_cast<int32_t>(names.size()));
  }
  std::string tree_text() {
    EXPECT_EQ(addutwrdd(path("out.dd").c_str(), tree_), 0);
    return read_file(path("out.dd"));
  }
  std::string rgn_, file_bytes_;
  std::vector<Spec> specs_;
  MadNode* tree_ = nullptr;
  VqStream* tags_ = nullptr;
  VqStream* region_ = nullptr;
  RegionExpansion list_{};
};

TEST_F(Expansion, MakesRoomThatBackwardWritersFillExactly) {
  ASSERT_EQ(expand({"b", "new1", "a", "new2"}), 0);
  // Growth: a +1, b +3 values, so the data end 56 becomes 72; from the top:
  // c [48,72), b [28,48), a [8,28); new1 [72,80), new2 at 80 with nothing.
  struct Want {
    const char* name;
    const char* region;  // null: new
    uint32_t offset;
    long count;
    int64_t write_position;
  } want[] = {{"b", "b", 28, 5, 28}, {"new1", nullptr, 72, 2, -1}, {"a", "a", 8, 5, 8},
              {"new2", nullptr, 80, 0, -1}};
  ASSERT_EQ(list_.tag_count, 4);
  for (int t = 0; t < 4; ++t) {
    const RegionExpandRecord& r = list_.tags[t];
    EXPECT_STREQ(r.name, want[t].name);
    EXPECT_EQ(r.second_name, nullptr);
    if (want[t].region) {
      ASSERT_NE(r.region, nullptr) << t;
      EXPECT_STREQ(r.region->name, want[t].region);
    } else {
      EXPECT_EQ(r.region, nullptr) << t;
    }
    EXPECT_EQ(r.new_offset, want[t].offset) << t;
    EXPECT_EQ(r.new_count, want[t].count) << t;
    EXPECT_EQ(r.write_position, want[t].write_position) << t;
  }
  // The existing regions' entries have their new offsets, their old counts
  // and their own types.
  std::vector<Spec> moved = specs_;
  moved[0].offset = 48;
  moved[1].offset = 8;
  moved[2].offset = 28;
  for (Spec& s : moved) s.mod_date = mtime_text(rgn_);
  EXPECT_EQ(tree_text(), dd_text(moved));

  // The caller fills each block's room from its end: value k of a region
  // tagged T is T * 1000 + k, as in the old data.
  const int fd = vqio_fileno(region_);
  const uint32_t region_tag[] = {2, 5, 1, 6};
  for (int t = 0; t < 4; ++t) {
    RegionExpandRecord& r = list_.tags[t];
    const long old = r.region ? r.region->count : 0;
    const off_t low = 512 + r.new_offset + 4 * old;
    r.writer = revio_open(rgn_.c_str(), "w", fd, low, 512 + r.new_offset + 4 * r.new_count - 1);
    for (long k = r.new_count - 1; k >= old; --k)
      ASSERT_EQ(revio_put_int(static_cast<int32_t>(region_tag[t] * 1000 + k), r.writer), 0);
    // The room is full: one more value would reach the block below.
    EXPECT_EQ(revio_put_int(0, r.writer), -1);
    ASSERT_EQ(revio_flush(r.writer), 0);
    EXPECT_EQ(r.writer->position, low);
  }
  region_expand_free(&list_);  // closes the writers
  EXPECT_EQ(list_.tag_count, 0);
  // Below a's block the bytes it left behind stay (the old hole moved there).
  EXPECT_EQ(read_file(rgn_), region_header() + region_values(1, 2) + region_values(1, 5) +
                                 region_values(2, 5) + region_values(3, 6) + region_values(5, 2));
}

TEST_F(Expansion, RegionsWithoutNewValuesOnlyMove) {
  ASSERT_EQ(expand({"zzz"}), 0);  // tag 0 names a new region
  // No region of the file grows: c [32,56), b [24,32), a [8,24); the new
  // one's three values go after them.
  EXPECT_EQ(list_.tags[0].region, nullptr);
  EXPECT_EQ(list_.tags[0].new_offset, 56u);
  EXPECT_EQ(list_.tags[0].new_count, 3);
  EXPECT_EQ(read_file(rgn_), region_header() + region_values(1, 2) + region_values(1, 4) +
                                 region_values(2, 2) + region_values(3, 6));
}

TEST_F(Expansion, AnEmptyRegionInsideAnotherDoesNotHideTheDataEnd) {
  // e holds no values and lies at 40, inside c [32,56): the data end is
  // still 56. Taking e's end (40) as the data end moved a below offset 0,
  // over the header.
  std::vector<Spec> specs = specs_;
  specs.push_back({"e", "", rgn_, 40, 0});
  write_file(path("in.dd"), dd_text(specs));
  madmtfr(tree_);
  tree_ = addpadd(path("in.dd").c_str());
  ASSERT_NE(tree_, nullptr);
  ASSERT_EQ(expand({"b", "new1", "a"}), 0);
  // As without e (a +1, b +3 values: c [48,72), b [28,48), a [8,28)), and e
  // goes to the new data end, 72, where new1's values go too.
  EXPECT_EQ(list_.tags[1].new_offset, 72u);
  EXPECT_EQ(read_file(rgn_), region_header() + region_values(1, 2) + region_values(1, 4) +
                                 std::string(4, '\xEE') + region_values(2, 2) +
                                 region_values(3, 3, 1) + region_values(3, 6));
  specs[0].offset = 48;
  specs[1].offset = 8;
  specs[2].offset = 28;
  specs[3].offset = 72;
  for (Spec& s : specs) s.mod_date = mtime_text(rgn_);
  EXPECT_EQ(tree_text(), dd_text(specs));
}

TEST_F(Expansion, RefusalsChangeNothing) {
  ReportRecorder rec;
  EXPECT_EQ(region_expand(&list_, tags_, region_, tree_, path("none.rgn").c_str(), nullptr, 0), -1);
  EXPECT_TRUE(rec.reports().empty());
  region_list_free(list_.file_count, list_.files);
  list_ = {};

  EXPECT_EQ(expand({"a", "b", "a"}), 15);
  ASSERT_EQ(rec.reports().size(), 1u);
  EXPECT_EQ(rec.reports()[0].text, "200068: Region file '" + rgn_ + "': two tags name the region 'a'.");
  region_list_free(list_.file_count, list_.files);
  list_ = {};

  // A truncated region file.
  recorded_reports().clear();
  const std::string cut = file_bytes_.substr(0, file_bytes_.size() - 1);
  write_file(rgn_, cut);
  EXPECT_EQ(expand({"a"}), 15);
  ASSERT_EQ(rec.reports().size(), 1u);
  EXPECT_EQ(rec.reports()[0].text,
            "200063: Region file '" + rgn_ +
                "': region 'c' (offset 32, count 6) lies beyond the end of the file (567 bytes).");
  EXPECT_EQ(read_file(rgn_), cut);
  EXPECT_EQ(tree_text(), dd_text(specs_));
}

TEST_F(Expansion, AFailurePartWayIsReportedAndTheEntriesStay) {
  ReportRecorder rec;
  // The file may not grow past 570 bytes, so moving c up to end at 584
  // fails part way.
  struct rlimit old_limit;
  getrlimit(RLIMIT_FSIZE, &old_limit);
  struct rlimit limit = old_limit;
  limit.rlim_cur = 570;
  void (*old_handler)(int) = signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &limit);
  const int status = expand({"a", "b"});
  setrlimit(RLIMIT_FSIZE, &old_limit);
  signal(SIGXFSZ, old_handler);

  EXPECT_EQ(status, 16);
  ASSERT_EQ(rec.reports().size(), 2u);
  EXPECT_EQ(rec.reports()[0].severity, 16);
  EXPECT_EQ(rec.reports()[0].text, "60027: Unable to write region file '" + rgn_ + "'.");
  EXPECT_EQ(rec.reports()[1].severity, 16);
  EXPECT_EQ(rec.reports()[1].text, "200066: Region file '" + rgn_ +
                                       "' was left partly moved; its data dictionary entries "
                                       "were not rewritten.");
  EXPECT_EQ(tree_text(), dd_text(specs_));
  const RegionListFile& f = list_.files[list_.current_file];
  EXPECT_EQ(f.regions[0].offset, 0u);
  EXPECT_EQ(f.regions[2].offset, 32u);
}

TEST_F(Expansion, TagCountCountsWholeRecordsPerTagNumber) {
  long counts[8];
  EXPECT_EQ(tag_count(tags_, 8, counts), 11);
  const long expected[8] = {3, 2, 1, 0, 0, 0, 0, 5};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(counts[i], expected[i]) << i;
  long two[2];
  EXPECT_EQ(tag_count(tags_, 2, two), 11);  // counted again from the start
  EXPECT_EQ(two[0], 3);
  EXPECT_EQ(two[1], 2);
}

}  // namespace
