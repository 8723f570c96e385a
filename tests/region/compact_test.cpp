// Compaction and packing of region files in place, with the data-dictionary
// entries they rewrite; inconsistent or truncated files are refused
// unchanged; moves of overlapping ranges of any size.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "dd/dd.h"
#include "region/fixture.h"
#include "region/region.h"
#include "support/recorded_reports.h"

using namespace region_test;

namespace {

// The fixture file: a [0,16) b [16,24), a hole [24,40), c [40,56), k [56,68)
// (type contig); the dictionary lists them out of order, with a region of
// another file between them.
class Compaction : public Scratch {
 protected:
  void SetUp() override {
    Scratch::SetUp();
    rgn_ = path("a.rgn");
    other_ = path("other.rgn");
    file_bytes_ = region_header() + region_values(1, 4) + region_values(2, 2) +
                  std::string(16, '\xEE') + region_values(3, 4) + region_values(4, 3);
    write_file(rgn_, file_bytes_);
    write_file(other_, region_header() + region_values(9, 2));
    specs_ = {{"c", "cee", rgn_, 40, 4},
              {"a", "", rgn_, 0, 4},
              {"z", "", other_, 0, 2},
              {"k", "", rgn_, 56, 3, "contig"},
              {"b", "bee", rgn_, 16, 2}};
    write_file(dd(), dd_text(specs_));
  }
  void TearDown() override {
    region_list_free(count_, files_);
    if (tree_) madmtfr(tree_);
    Scratch::TearDown();
  }
  std::string dd() const { return path("test.dd"); }
  // Reads the dictionary and returns the entry of the fixture file.
  RegionListFile* entry() {
    tree_ = addpadd(dd().c_str());
    EXPECT_NE(tree_, nullptr);
    region_list_build(tree_, &count_, &files_);
    const int32_t f = region_list_find(rgn_.c_str(), count_, files_);
    EXPECT_GE(f, 0);
    return f >= 0 ? &files_[f] : nullptr;
  }
  // The dictionary expected after the fixture file's regions were given new
  // offsets and counts (by name); their ModDate is the file's.
  std::string expected_dd(const std::vector<std::pair<std::string, std::pair<uint32_t, long>>>& moved) {
    std::vector<Spec> specs = specs_;
    for (Spec& s : specs)
      for (const auto& m : moved)
        if (s.name == m.first) {
          s.offset = m.second.first;
          s.count = m.second.second;
          s.mod_date = mtime_text(rgn_);
        }
    return dd_text(specs);
  }
  std::string rgn_, other_, file_bytes_;
  std::vector<Spec> specs_;
  MadNode* tree_ = nullptr;
  int32_t count_ = 0;
  RegionListFile* files_ = nullptr;
};

TEST_F(Compaction, EmptyingEveryRegionLeavesTheHeader) {
  RegionListFile* f = entry();
  ASSERT_EQ(region_file_compact(f, -1, nullptr), 0);
  EXPECT_EQ(read_file(rgn_), region_header());
  for (int32_t i = 0; i < f->count; ++i) {
    EXPECT_EQ(f->regions[i].offset, 0u) << f->regions[i].name;
    EXPECT_EQ(f->regions[i].count, 0) << f->regions[i].name;
  }
}

TEST_F(Compaction, EmptyingOneRegionMovesTheLaterOnesDown) {
  RegionListFile* f = entry();
  const char* names[] = {"b"};
  ASSERT_EQ(region_file_compact(f, 1, names), 0);
  // b's 8 bytes and the 16-byte hole are gone.
  EXPECT_EQ(read_file(rgn_),
            region_header() + region_values(1, 4) + region_values(3, 4) + region_values(4, 3));
  ASSERT_EQ(region_write_dd_file(dd().c_str(), tree_, f), 0);
  EXPECT_EQ(read_file(dd()),
            expected_dd({{"a", {0, 4}}, {"b", {16, 0}}, {"c", {16, 4}}, {"k", {32, 3}}}));
  EXPECT_EQ(read_file(other_), region_header() + region_values(9, 2));
}

TEST_F(Compaction, PackingClosesTheHolesAndRewritesTheEntries) {
  ASSERT_EQ(region_file_pack(dd().c_str(), rgn_.c_str()), 0);
  EXPECT_EQ(read_file(rgn_), region_header() + region_values(1, 4) + region_values(2, 2) +
                                 region_values(3, 4) + region_values(4, 3));
  EXPECT_EQ(read_file(dd()),
            expected_dd({{"a", {0, 4}}, {"b", {16, 2}}, {"c", {24, 4}}, {"k", {40, 3}}}));
  // Packing a packed file changes nothing but the dates.
  ASSERT_EQ(region_file_pack(dd().c_str(), rgn_.c_str()), 0);
  EXPECT_EQ(read_file(dd()),
            expected_dd({{"a", {0, 4}}, {"b", {16, 2}}, {"c", {24, 4}}, {"k", {40, 3}}}));
}

TEST_F(Compaction, PackingATreeUpdatesOnlyTheTree) {
  tree_ = addpadd(dd().c_str());
  ASSERT_EQ(region_file_pack_tree(tree_, rgn_.c_str()), 0);
  EXPECT_EQ(read_file(dd()), dd_text(specs_));
  ASSERT_EQ(addutwrdd(path("out.dd").c_str(), tree_), 0);
  EXPECT_EQ(read_file(path("out.dd")),
            expected_dd({{"a", {0, 4}}, {"b", {16, 2}}, {"c", {24, 4}}, {"k", {40, 3}}}));
}

TEST_F(Compaction, PackingAFileNotListedOrMissingDoesNothing) {
  ReportRecorder rec;
  EXPECT_EQ(region_file_pack(dd().c_str(), path("unlisted.rgn").c_str()), 0);
  unlink(rgn_.c_str());
  EXPECT_EQ(region_file_pack(dd().c_str(), rgn_.c_str()), 0);
  EXPECT_EQ(read_file(dd()), dd_text(specs_));
  EXPECT_TRUE(rec.reports().empty());
}

// Inconsistent entries or files: the first fault is reported, nothing moves
// and the dictionary stays as it was.
TEST_F(Compaction, InconsistentFilesAreRefusedUnchanged) {
  struct Case {
    const char* what;
    std::string file;      // the region file's bytes
    std::vector<Spec> dd;  // the fixture file's regions
    std::string report;
  };
  const std::string head = "200063: Region file '" + rgn_ + "': ";
  const std::vector<Case> cases = {
      {"truncated", file_bytes_.substr(0, file_bytes_.size() - 4), specs_,
       head + "region 'k' (offset 56, count 3) lies beyond the end of the file (576 bytes)."},
      {"offset past the end", file_bytes_,
       {{"a", "", rgn_, 0, 4}, {"b", "", rgn_, 4000000000u, 0}},
       head + "region 'b' (offset 4000000000, count 0) lies beyond the end of the file (580 bytes)."},
      {"negative count", file_bytes_,
       {{"a", "", rgn_, 0, 4}, {"b", "", rgn_, 16, -2}},
       "200064: Region file '" + rgn_ + "': region 'b' has a negative count (-2)."},
      {"overlap", file_bytes_,
       {{"a", "", rgn_, 0, 4}, {"b", "", rgn_, 12, 2}, {"c", "", rgn_, 20, 1}},
       "200062: Found an overlap in big region file '" + rgn_ + "':\n  Region 'b' overlaps region 'a'"},
      // 4 x count wraps in 64 bits to 4 bytes, which would seem to fit.
      {"count beyond any file", file_bytes_,
       {{"a", "", rgn_, 0, 4}, {"b", "", rgn_, 16, 4611686018427387905L}},
       head + "region 'b' (offset 16, count 4611686018427387905) lies beyond the end of the file "
              "(580 bytes)."},
      {"short header", region_header().substr(0, 500), {{"a", "", rgn_, 0, 0}},
       "200065: Region file '" + rgn_ + "' is shorter than its 512-byte header."},
  };
  for (const Case& k : cases) {
    ReportRecorder rec;
    write_file(rgn_, k.file);
    write_file(dd(), dd_text(k.dd));
    EXPECT_EQ(region_file_pack(dd().c_str(), rgn_.c_str()), 15) << k.what;
    ASSERT_EQ(rec.reports().size(), 1u) << k.what;
    EXPECT_EQ(rec.reports()[0].severity, 15) << k.what;
    EXPECT_EQ(rec.reports()[0].text, k.report) << k.what;
    EXPECT_EQ(read_file(rgn_), k.file) << k.what;
    EXPECT_EQ(read_file(dd()), dd_text(k.dd)) << k.what;

    // Compaction refuses the same entry the same way.
    recorded_reports().clear();
    RegionListFile* f = entry();
    const std::vector<RegionListEntry> before(f->regions, f->regions + f->count);
    EXPECT_EQ(region_file_compact(f, -1, nullptr), 15) << k.what;
    EXPECT_EQ(read_file(rgn_), k.file) << k.what;
    for (int32_t i = 0; i < f->count; ++i) {
      EXPECT_EQ(f->regions[i].offset, before[i].offset) << k.what;
      EXPECT_EQ(f->regions[i].count, before[i].count) << k.what;
    }
    region_list_free(count_, files_);
    madmtfr(tree_);
    files_ = nullptr;
    tree_ = nullptr;
    count_ = 0;
  }
}

TEST_F(Compaction, AFileThatCannotBeOpenedIsReported) {
  ReportRecorder rec;
  RegionListFile* f = entry();
  unlink(rgn_.c_str());
  EXPECT_EQ(region_file_compact(f, -1, nullptr), 11);
  ASSERT_EQ(rec.reports().size(), 1u);
  EXPECT_EQ(rec.reports()[0].severity, 11);
  EXPECT_EQ(rec.reports()[0].text, "60032: Unable to open file: " + rgn_ + ".");
  EXPECT_EQ(f->regions[0].count, 4);
}

// Moves of overlapping ranges larger than one step, in both directions and
// by distances that are not multiples of a step.
TEST_F(Compaction, MovesOfOverlappingRangesKeepEveryByte) {
  std::string bytes(3 * 1048576 + 777, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xff);
  struct Case {
    bool up;
    off_t start, end, to;  // to: destination (down) or destination end (up)
  } cases[] = {
      {false, 4, 3 * 1048576 + 777, 0},
      {false, 1048576 + 5, 3 * 1048576, 3},
      {true, 0, 3 * 1048576, 3 * 1048576 + 12},
      {true, 100, 2 * 1048576 + 100, 3 * 1048576 + 777},
      {false, 0, 16, 8},  // a higher destination given to move_down
  };
  for (const Case& k : cases) {
    write_file(rgn_, bytes);
    const int fd = vqio_open(rgn_.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    const int status = k.up ? region_move_up(rgn_.c_str(), fd, k.to, k.start, k.end)
                            : region_move_down(rgn_.c_str(), fd, k.to, k.start, k.end);
    EXPECT_EQ(status, 0);
    vqio_close(fd);
    std::string expected = bytes;
    const off_t n = k.end - k.start;
    const off_t dest = k.up ? k.to - n : k.to;
    if (static_cast<size_t>(dest + n) > expected.size()) expected.resize(dest + n, '\0');
    expected.replace(dest, n, bytes.substr(k.start, n));
    EXPECT_TRUE(read_file(rgn_) == expected) << k.start << " " << k.end << " " << k.to;
  }
}

TEST_F(Compaction, AMoveThatCannotWriteIsReported) {
  ReportRecorder rec;
  const int fd = vqio_open(rgn_.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(region_move_down(rgn_.c_str(), fd, 512, 512 + 16, 512 + 68), 16);
  vqio_close(fd);
  ASSERT_EQ(rec.reports().size(), 1u);
  EXPECT_EQ(rec.reports()[0].severity, 16);
  EXPECT_EQ(rec.reports()[0].text, "60027: Unable to write region file '" + rgn_ + "'.");
  EXPECT_EQ(read_file(rgn_), file_bytes_);
}

}  // namespace
