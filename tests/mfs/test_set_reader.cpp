// The reader over a small set: missing, changed and damaged files give
// their numbered messages; positions stay exact after every kind of read,
// a failed seek leaves the reader as it was, and a new reader never takes
// an old one's position; display views, spans and member names.
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/time.h>
#include <vector>

#include "set_support.h"
#include "support/recorded_reports.h"

namespace {

using settest::Group;

class SetReaderTest : public settest::SetTest {
 protected:
  // Members a (10 bytes), b (20), an empty one and c (5), read plainly in
  // the search view and doubled in the display view.
  void SetUp() override {
    SetTest::SetUp();
    a_ = Put("m/a.txt", settest::Text(10, 1));
    b_ = Put("m/b.txt", settest::Text(20, 2));
    Put("m/b2.txt", "");
    c_ = Put("m/c.txt", settest::Text(5, 3));
    text_ = settest::Text(10, 1) + settest::Text(20, 2) + settest::Text(5, 3);
    ASSERT_EQ(1, settest::Build(base_, {{dir_ + "/m", "*.txt", "F", nullptr,
                                         {"", "double", "half"}, 1, 0}}));
  }
  // Texts of the reports recorded so far, severity first.
  std::vector<std::string> Reports() const {
    std::vector<std::string> out;
    for (const RecordedReport& r : recorded_reports())
      out.push_back(std::to_string(r.severity) + " " + r.text);
    return out;
  }
  std::string a_, b_, c_, text_;
};

TEST_F(SetReaderTest, MissingMemberIsReportedWhereItIsRead) {
  ReportRecorder recorder;
  ASSERT_EQ(0, std::remove(b_.c_str()));
  MfsReader* r = mfs_file_open("", base_.c_str(), 0);
  ASSERT_NE(nullptr, r);
  // A positioned read into the member.
  EXPECT_EQ(-1, mfs_file_seek(r, 12));
  EXPECT_EQ(std::vector<std::string>{"13 75036: Unable to open MFS file '" + b_ + "'."}, Reports());
  // A read that continues into it from the member before.
  recorded_reports().clear();
  ASSERT_EQ(0, mfs_file_seek(r, 0));
  char got[40];
  EXPECT_EQ(10, mfs_file_read(r, got, sizeof got));
  EXPECT_EQ(std::vector<std::string>{"13 75047: MFS filter chain problem at processing file '" +
                                     b_ + "'"},
            Reports());
  mfs_file_close(r);
}

TEST_F(SetReaderTest, ChangedMemberIsAWarningWhenChecked) {
  ReportRecorder recorder;
  struct timeval times[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(0, utimes(a_.c_str(), times));
  for (int check : {0, 1}) {
    recorded_reports().clear();
    mfs_set_check_changed(check);
    EXPECT_EQ(text_, settest::ReadLogical(base_));
    if (check) {
      EXPECT_EQ(std::vector<std::string>{"2 75026: Text file '" + a_ +
                                         "' has been CHANGED since last mfs built"},
                Reports());
    } else {
      EXPECT_TRUE(Reports().empty());
    }
  }
  mfs_set_check_changed(0);
}

TEST_F(SetReaderTest, DamagedMapFilesAreReported) {
  const std::string fmp = base_ + ".fmp", xmp = base_ + ".xmp", lmp = base_ + ".lmp";
  const std::string fmp0 = mfstest::ReadFile(fmp), xmp0 = mfstest::ReadFile(xmp),
                    lmp0 = mfstest::ReadFile(lmp);
  std::string same_size = fmp0;  // a start that no longer agrees with the compiled map
  same_size.replace(same_size.find("<VQStart>10<"), 12, "<VQStart>11<");
  std::string other_type = xmp0;
  other_type[0] = 1;
  struct Case {
    const char* what;
    std::string file, bytes;
    std::string report;
  };
  const Case cases[] = {
      {"file map one byte longer", fmp, fmp0 + " ",
       "15 75019: File map '" + fmp + "' has been CHANGED since last mfs built"},
      {"filter lists edited", lmp, lmp0 + "\n",
       "15 75021: Filter list '" + lmp + "' has been CHANGED since last mfs built"},
      {"compiled map cut in a pair", xmp, xmp0.substr(0, xmp0.size() - 4),
       "15 75013: Compiled file map '" + xmp + "' has been CHANGED since last mfs built"},
      {"compiled map without a pair", xmp, xmp0.substr(0, xmp0.size() - 8),
       "15 75013: Compiled file map '" + xmp + "' has been CHANGED since last mfs built"},
      {"compiled map cut in its block", xmp, xmp0.substr(0, 700),
       "15 75013: Compiled file map '" + xmp + "' has been CHANGED since last mfs built"},
      {"compiled map of another type", xmp, other_type,
       "13 60048: Unexpected data file type: " + xmp},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ReportRecorder recorder;
    mfstest::WriteFile(c.file, c.bytes);
    EXPECT_EQ(nullptr, mfs_file_open("", base_.c_str(), 0));
    ASSERT_FALSE(Reports().empty());
    EXPECT_EQ(c.report, Reports().back());
    mfstest::WriteFile(c.file, c.file == fmp ? fmp0 : c.file == xmp ? xmp0 : lmp0);
  }
  {
    SCOPED_TRACE("entry changed, size kept");
    ReportRecorder recorder;
    mfstest::WriteFile(fmp, same_size);
    MfsReader* r = mfs_file_open("", base_.c_str(), 0);
    ASSERT_NE(nullptr, r);
    EXPECT_EQ(-1, mfs_file_seek(r, 12));
    EXPECT_EQ(std::vector<std::string>{"15 75019: File map '" + fmp +
                                       "' has been CHANGED since last mfs built"},
              Reports());
    mfs_file_close(r);
    mfstest::WriteFile(fmp, fmp0);
  }
  // Missing files (a missing filter-list file fails the size check first).
  for (const auto& [name, what] : {std::pair{xmp, 75007}, {fmp, 75008}, {lmp, 75021}}) {
    ReportRecorder recorder;
    const std::string keep = mfstest::ReadFile(name);
    ASSERT_EQ(0, std::remove(name.c_str()));
    EXPECT_EQ(nullptr, mfs_file_open("", base_.c_str(), 0));
    ASSERT_FALSE(Reports().empty());
    EXPECT_NE(std::string::npos, Reports().back().find(" " + std::to_string(what) + ": ")) << Reports().back();
    mfstest::WriteFile(name, keep);
  }
  EXPECT_EQ(text_, settest::ReadLogical(base_));
}

TEST_F(SetReaderTest, PositionsAreExactAfterEveryRead) {
  const auto at = [this](int32_t k) { return static_cast<unsigned char>(text_[static_cast<size_t>(k)]); };
  MfsReader* r = mfs_file_open("", base_.c_str(), 0);
  ASSERT_NE(nullptr, r);
  // A fresh reader: seek(0) gives the address itself.
  EXPECT_EQ(0, mfs_file_seek(r, 0));
  EXPECT_EQ(at(0), mfs_file_peek(r));
  EXPECT_EQ(at(0), mfs_file_getc(r));
  // The address getc is about to deliver: nothing to do.
  EXPECT_EQ(0, mfs_file_seek(r, 1));
  EXPECT_EQ(at(1), mfs_file_getc(r));
  // A positioned read leaves the reader after the bytes it read.
  char got[12];
  EXPECT_EQ(12, mfs_file_read_at(r, 5, got, sizeof got));
  EXPECT_EQ(text_.substr(5, 12), std::string(got, sizeof got));
  EXPECT_EQ(17, mfs_file_tell(r));
  EXPECT_EQ(at(17), mfs_file_getc(r));
  EXPECT_EQ(17, mfs_file_seek(r, 17));
  EXPECT_EQ(at(17), mfs_file_getc(r));
  // A failed seek leaves the reader where it was.
  EXPECT_EQ(-1, mfs_file_seek(r, 35));
  EXPECT_EQ(18, mfs_file_tell(r));
  std::string rest;
  for (int c; (c = mfs_file_getc(r)) != -1;) rest += static_cast<char>(c);
  EXPECT_EQ(text_.substr(18), rest);
  EXPECT_EQ(35, mfs_file_tell(r));
  // Spans and member lengths do not move the reader.
  ASSERT_EQ(3, mfs_file_seek(r, 3));
  EXPECT_EQ(20, mfs_file_span_size(r, 10, 20));
  EXPECT_EQ(15, mfs_file_span_size(r, 5, 15));
  EXPECT_EQ(20, mfs_member_length(r->handle, 15));
  EXPECT_STREQ(a_.c_str(), mfs_file_member_name(r));
  EXPECT_EQ(at(3), mfs_file_getc(r));
  rest.clear();
  for (int c; (c = mfs_file_getc(r)) != -1;) rest += static_cast<char>(c);
  EXPECT_EQ(text_.substr(4), rest);
  mfs_file_close(r);
}

// Positioned reads that go on where the last one stopped (the index
// builder reads a set in blocks this way) read the member's chain as it
// stands: a shell filter runs once, not once per block. A read elsewhere
// still positions afresh.
TEST_F(SetReaderTest, ReadsThatGoOnReadTheOpenChain) {
  const std::string runs = dir_ + "/runs", base = dir_ + "/set/shell";
  const std::string text = settest::Text(10000, 4);
  Put("s/big.txt", text);
  const std::string list = "sys(echo run >> '" + runs + "'; cat)";
  ASSERT_EQ(1, settest::Build(base, {{dir_ + "/s", "*.txt", "F", nullptr, {list, "", ""}, 1, 0}}));
  std::remove(runs.c_str());
  MfsReader* r = mfs_file_open("", base.c_str(), 0);
  ASSERT_NE(nullptr, r);
  std::string got;
  std::vector<char> block(1000);
  for (int32_t k = 0; k < 10000; k += 1000) {
    const long n = mfs_file_read_at(r, k, block.data(), 1000);
    ASSERT_EQ(1000, n);
    got.append(block.data(), 1000);
  }
  EXPECT_EQ(text, got);
  EXPECT_EQ("run\n", mfstest::ReadFile(runs));
  ASSERT_EQ(10, mfs_file_read_at(r, 42, block.data(), 10));
  EXPECT_EQ(text.substr(42, 10), std::string(block.data(), 10));
  EXPECT_EQ("run\nrun\n", mfstest::ReadFile(runs));
  mfs_file_close(r);
}

TEST_F(SetReaderTest, NewReaderDoesNotTakeTheOldPosition) {
  MfsReader* r = mfs_file_open("", base_.c_str(), 0);
  ASSERT_NE(nullptr, r);
  ASSERT_EQ(14, mfs_file_seek(r, 14));
  mfs_file_getc(r);
  EXPECT_EQ(15, mfs_current_address());
  mfs_file_close(r);
  EXPECT_EQ(-1, mfs_current_address());
  r = mfs_file_open("", base_.c_str(), 0);
  ASSERT_NE(nullptr, r);
  EXPECT_EQ(15, mfs_file_seek(r, 15));
  EXPECT_EQ(15, mfs_file_tell(r));
  EXPECT_EQ(static_cast<unsigned char>(text_[15]), mfs_file_getc(r));
  mfs_file_close(r);
  // Without a seek a fresh reader has nothing to give.
  r = mfs_file_open("", base_.c_str(), 0);
  ASSERT_NE(nullptr, r);
  EXPECT_EQ(-1, mfs_file_getc(r));
  mfs_file_close(r);
}

TEST_F(SetReaderTest, DisplayViewReadsMemberChainsFromAPositionedStart) {
  MfsReader* r = mfs_file_open("", base_.c_str(), 0);
  ASSERT_NE(nullptr, r);
  // Positioned in the search view at the address the display view is then
  // sought to: the seek still reads in the new view.
  ASSERT_EQ(12, mfs_file_seek(r, 12));
  ASSERT_EQ(1, mfs_file_set_view(r, MFS_VIEW_DISPLAY));
  // The doubled text of b from its offset 2, then of c.
  ASSERT_EQ(12, mfs_file_seek(r, 12));
  std::string got;
  for (int c; (c = mfs_file_getc(r)) != -1;) got += static_cast<char>(c);
  EXPECT_EQ(settest::Doubled(settest::Text(20, 2)).substr(2) +
                settest::Doubled(settest::Text(5, 3)),
            got);
  // One positioned read per choice of view.
  EXPECT_EQ(-1, mfs_file_seek(r, 3));
  mfs_file_set_view(r, MFS_VIEW_RAW);
  ASSERT_EQ(3, mfs_file_seek(r, 3));
  EXPECT_EQ(static_cast<unsigned char>(settest::Halved(settest::Text(10, 1))[3]), mfs_file_getc(r));
  mfs_file_close(r);
}

TEST_F(SetReaderTest, SetsWithoutBytes) {
  const std::string empty_base = dir_ + "/set/empty";
  ASSERT_EQ(1, mfs_create_empty(PITAS_VERSION, "", empty_base.c_str()));
  Put("z/e1.txt", "");
  Put("z/e2.txt", "");
  const std::string none_base = dir_ + "/set/none";
  ASSERT_EQ(1, settest::Build(none_base, {{dir_ + "/z", "*.txt", "F", nullptr, {"", "", ""}, 1, 0}}));
  for (const std::string& base : {empty_base, none_base}) {
    MfsReader* r = mfs_file_open("", base.c_str(), 0);
    ASSERT_NE(nullptr, r) << base;
    EXPECT_EQ(0, mfs_file_length(r));
    EXPECT_EQ(-1, mfs_file_seek(r, 0));
    EXPECT_EQ(-1, mfs_file_getc(r));
    mfs_file_close(r);
  }
  // The empty set's compiled map: header, block with no pairs.
  const std::vector<uint32_t> w = settest::Words(mfstest::ReadFile(empty_base + ".xmp"));
  ASSERT_EQ(256u, w.size());
  EXPECT_EQ(0u, w[130]);  // empty file map
  EXPECT_EQ(0u, w[131]);  // empty filter lists
  EXPECT_EQ(0u, w[132]);
  EXPECT_EQ("", mfstest::ReadFile(empty_base + ".fmp"));
}

// Each handle reads its own file map: a second set opened (or failing to
// open) beside the first leaves the first one's entries alone.
TEST_F(SetReaderTest, HandlesKeepTheirOwnFileMaps) {
  const std::string other = dir_ + "/set/other";
  const std::string x = Put("n/x.txt", "xyz");
  ASSERT_EQ(1, settest::Build(other, {{dir_ + "/n", "*.txt", "F", nullptr, {"", "", ""}, 1, 0}}));
  ReportRecorder recorder;
  MfsHandle* first = mfs_open("", base_.c_str());
  ASSERT_NE(nullptr, first);
  EXPECT_EQ(nullptr, mfs_open("", (dir_ + "/set/none").c_str()));  // 75007
  MfsHandle* second = mfs_open("", other.c_str());
  ASSERT_NE(nullptr, second);
  for (int round = 0; round < 2; ++round) {
    const MfsMapEntry* e = mfs_get_entry(first, 1);
    ASSERT_NE(nullptr, e);
    EXPECT_EQ(b_, e->file);
    e = mfs_get_entry(second, 0);
    ASSERT_NE(nullptr, e);
    EXPECT_EQ(x, e->file);
  }
  mfs_close(second);
  const MfsMapEntry* e = mfs_get_entry(first, 2);
  ASSERT_NE(nullptr, e);
  EXPECT_EQ(dir_ + "/m/b2.txt", e->file);
  mfs_close(first);
  ASSERT_EQ(1u, recorded_reports().size());
  EXPECT_EQ(0u, recorded_reports()[0].text.find("75007: "));
}

TEST_F(SetReaderTest, DumpAndMapTableLookups) {
  MfsHandle* h = mfs_open("", base_.c_str());
  ASSERT_NE(nullptr, h);
  const std::string path = dir_ + "/dump.txt";
  VqStream* out = vqio_fopen(path.c_str(), "w");
  ASSERT_NE(nullptr, out);
  mfs_dump_map(h, out);
  vqio_fclose(out);
  mfs_close(h);
  // Lists 0 (""), 1 ("double"), 2 ("half"); members a, b, b2, c.
  auto row = [](const char* id, const char* start, const char* end, const std::string& file,
                const char* sv, const char* dv, const char* rv, const char* fmt) {
    std::string f = file;
    if (f.size() < 40) f.append(40 - f.size(), ' ');
    auto right = [](const char* t, size_t w) {
      return std::string(w > std::strlen(t) ? w - std::strlen(t) : 0, ' ') + t;
    };
    return right(id, 4) + " " + right(start, 6) + " " + right(end, 6) + " " + f + " " +
           right(sv, 2) + " " + right(dv, 2) + " " + right(rv, 2) + " " + right(fmt, 5) + "\n";
  };
  const std::string want = row("ID", "START", "END", "FILENAME", "SV", "DV", "RV", "FMT") +
                           row("0", "0", "9", a_, "0", "1", "2", "F") +
                           row("1", "10", "29", b_, "0", "1", "2", "F") +
                           row("2", "30", "29", dir_ + "/m/b2.txt", "0", "1", "2", "F") +
                           row("3", "30", "34", c_, "0", "1", "2", "F");
  EXPECT_EQ(want, mfstest::ReadFile(path));

  // The whole-entry table used while building.
  VqStream* fmp = vqio_fopen((base_ + ".fmp").c_str(), "r");
  ASSERT_NE(nullptr, fmp);
  MfsMapTable* map = mfs_map_new(10, 10);
  mfs_map_load(map, fmp);
  vqio_fclose(fmp);
  ASSERT_EQ(4, map->count());
  const char* file = nullptr;
  int32_t offset = -1;
  ASSERT_EQ(1, mfs_map_locate(map, 30, &file, &offset));
  EXPECT_EQ(c_, file);
  EXPECT_EQ(0, offset);
  ASSERT_EQ(1, mfs_map_locate(map, 29, &file, &offset));
  EXPECT_EQ(b_, file);
  EXPECT_EQ(19, offset);
  EXPECT_EQ(0, mfs_map_locate(map, 35, &file, &offset));
  EXPECT_EQ(1, mfs_map_bsearch_name(map, b_.c_str()));
  EXPECT_EQ(3, mfs_map_index_name(map, c_.c_str()));
  EXPECT_EQ(-1, mfs_map_bsearch_name(map, "nothing"));
  EXPECT_EQ(nullptr, mfs_map_find_name(map, "nothing"));
  mfs_map_free(map);
}

}  // namespace
