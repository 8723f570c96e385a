// Building sets: addresses from the filtered lengths (full mode) or the
// file sizes (fast mode), members that cannot be read, groups that find
// nothing, prefixes, directories reached twice, the written-out text, user
// fields too long for a stream buffer, and progress reports.
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "set_support.h"
#include "support/recorded_reports.h"

namespace {

using settest::Group;

class SetBuildTest : public settest::SetTest {
 protected:
  // Starts a build: an empty set opened for adding groups.
  MfsReader* Start() {
    EXPECT_EQ(1, mfs_create_empty(PITAS_VERSION, "", base_.c_str()));
    return mfs_file_open("", base_.c_str(), 0);
  }
  static int Add(MfsReader* r, const std::string& dir, const char* pattern, const char* search,
                 int recursive = 0) {
    const char* lists[3] = {search, "", ""};
    return mfs_add_groups(r, dir.c_str(), pattern, "F", nullptr, lists, 1, recursive);
  }
  // {start, end} of every member of the set at base_.
  std::vector<std::pair<int32_t, int32_t>> Ranges() {
    std::vector<std::pair<int32_t, int32_t>> out;
    MfsHandle* h = mfs_open("", base_.c_str());
    if (!h) return out;
    for (int32_t i = 0; i < mfs_member_count(h); ++i) {
      const MfsMapEntry* e = mfs_get_entry(h, i);
      if (e) out.push_back({e->start, e->end});
    }
    mfs_close(h);
    return out;
  }
  using Ranges_t = std::vector<std::pair<int32_t, int32_t>>;
};

TEST_F(SetBuildTest, AddressesFromLengths) {
  Put("m/a.txt", std::string(100, 'a'));
  Put("m/b.txt", "");
  Put("m/c.txt", std::string(50, 'c'));
  struct Case {
    const char* search;
    bool fast;
    Ranges_t ranges;
  };
  const Case cases[] = {
      {"", false, {{0, 99}, {100, 99}, {100, 149}}},
      {"", true, {{0, 99}, {100, 99}, {100, 149}}},
      {"double", false, {{0, 199}, {200, 199}, {200, 299}}},
      {"half", false, {{0, 49}, {50, 49}, {50, 74}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.search) + (c.fast ? " fast" : " full"));
    MfsReader* r = Start();
    ASSERT_NE(nullptr, r);
    EXPECT_EQ(1, Add(r, dir_ + "/m", "*.txt", c.search));
    ASSERT_EQ(1, c.fast ? mfs_build_fast(r, nullptr, PITAS_VERSION)
                        : mfs_build_full(r, nullptr, PITAS_VERSION));
    mfs_file_close(r);
    EXPECT_EQ(c.ranges, Ranges());
  }
}

TEST_F(SetBuildTest, UnreadableMembersGetLengthZeroAndAMessage) {
  ReportRecorder recorder;
  Put("m/a.txt", "aaaa");
  const std::string gone = Put("m/b.txt", "bbbbbb");
  Put("m/c.txt", "cc");
  for (bool fast : {false, true}) {
    SCOPED_TRACE(fast ? "fast" : "full");
    if (access(gone.c_str(), F_OK) != 0) Put("m/b.txt", "bbbbbb");
    MfsReader* r = Start();
    ASSERT_NE(nullptr, r);
    Add(r, dir_ + "/m", "*.txt", "");
    ASSERT_EQ(0, std::remove(gone.c_str()));  // gone after the group was expanded
    recorded_reports().clear();
    ASSERT_EQ(1, fast ? mfs_build_fast(r, nullptr, PITAS_VERSION)
                      : mfs_build_full(r, nullptr, PITAS_VERSION));
    mfs_file_close(r);
    ASSERT_EQ(1u, recorded_reports().size());
    EXPECT_EQ(1, recorded_reports()[0].severity);
    EXPECT_EQ("75047: MFS filter chain problem at processing file '" + gone + "'",
              recorded_reports()[0].text);
    EXPECT_EQ((Ranges_t{{0, 3}, {4, 3}, {4, 5}}), Ranges());
  }
  // A failing shell command: length 0, and no temporary file left.
  Put("m/b.txt", "bbbbbb");
  MfsReader* r = Start();
  ASSERT_NE(nullptr, r);
  Add(r, dir_ + "/m", "b.txt", "sys(exit 3)");
  Add(r, dir_ + "/m", "[ac].txt", "");
  recorded_reports().clear();
  ASSERT_EQ(1, mfs_build_full(r, nullptr, PITAS_VERSION));
  mfs_file_close(r);
  EXPECT_EQ((Ranges_t{{0, 3}, {4, 3}, {4, 5}}), Ranges());
  ASSERT_EQ(1u, recorded_reports().size());
  EXPECT_EQ(1, recorded_reports()[0].severity);
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(SetBuildTest, GroupsThatFindNothingAndDirectoriesReachedTwice) {
  Put("m/a.txt", "aaaa");
  Put("shared/s.txt", "ss");
  ASSERT_EQ(0, symlink((dir_ + "/shared").c_str(), (dir_ + "/m/one").c_str()));
  ASSERT_EQ(0, symlink((dir_ + "/shared").c_str(), (dir_ + "/m/two").c_str()));
  ReportRecorder recorder;
  MfsReader* r = Start();
  ASSERT_NE(nullptr, r);
  EXPECT_EQ(0, Add(r, dir_ + "/m", "*.none", ""));
  EXPECT_EQ(0, r->handle->map->count());
  EXPECT_EQ(0, Add(r, dir_ + "/missing", "*", ""));
  EXPECT_EQ("60004: Unable to open directory: " + dir_ + "/missing.", recorded_reports().back().text);
  // Two links to one directory are two places, not a loop.
  mfs_set_prefix(r->handle, "x\\y\\");
  EXPECT_EQ(1, Add(r, dir_ + "/m", "*.txt", "", 1));
  ASSERT_EQ(3, r->handle->map->count());
  EXPECT_EQ("x/y/" + dir_ + "/m/a.txt", r->handle->map->rows[0].file);
  EXPECT_EQ("x/y/" + dir_ + "/m/one/s.txt", r->handle->map->rows[1].file);
  EXPECT_EQ("x/y/" + dir_ + "/m/two/s.txt", r->handle->map->rows[2].file);
  mfs_file_close(r);
}

TEST_F(SetBuildTest, WrittenTextAndLongUserFields) {
  const std::string a = Put("m/a.txt", settest::Text(5000, 1));
  const std::string b = Put("m/b.txt", settest::Text(3, 2));
  const std::string fields(10000, 'u');
  mfstest::WriteFile(base_ + ".dat", "<VQUserData><VQFile>" + a + "</VQFile><VQFields>" + fields +
                                         "</VQFields></VQUserData>\n");
  ReportRecorder recorder;
  MfsReader* r = Start();
  ASSERT_NE(nullptr, r);
  Add(r, dir_ + "/m", "*.txt", "double|meta");
  const std::string out_path = dir_ + "/out.txt";
  VqStream* out = vqio_fopen(out_path.c_str(), "w");
  ASSERT_NE(nullptr, out);
  ASSERT_EQ(1, mfs_build_fast(r, out, PITAS_VERSION));  // with out, every member is read
  vqio_fclose(out);
  mfs_file_close(r);
  settest::Expect ea{a, settest::Text(5000, 1), {0, 1, 1}, "F", nullptr, true, fields, "double|meta"};
  settest::Expect eb{b, settest::Text(3, 2), {0, 1, 1}, "F", nullptr, false, "", "double|meta"};
  const std::string want = settest::Filtered(ea.search, ea) + settest::Filtered(eb.search, eb);
  EXPECT_EQ(want, mfstest::ReadFile(out_path));
  EXPECT_EQ(want, settest::ReadLogical(base_));
  EXPECT_EQ(settest::ExpectFiles({ea, eb}).fmp, mfstest::ReadFile(base_ + ".fmp"));
}

TEST_F(SetBuildTest, ProgressReports) {
  Put("m/sub/a.txt", std::string(3 << 20, 'a'));
  ReportRecorder recorder;
  MfsReader* r = Start();
  ASSERT_NE(nullptr, r);
  mfs_set_verbose(1);
  Add(r, dir_ + "/m", "*.txt", "", 1);
  ASSERT_EQ(1, mfs_build_full(r, nullptr, PITAS_VERSION));
  mfs_set_verbose(0);
  mfs_file_close(r);
  std::vector<std::string> texts;
  for (const RecordedReport& rep : recorded_reports()) texts.push_back(rep.text);
  const std::vector<std::string> want = {
      "75016:   Computing directory '" + dir_ + "/m'",
      "75016:   Computing directory '" + dir_ + "/m/sub'",
      "75018:   Expanding directory '" + dir_ + "/m'",
      "75018:   Expanding directory '" + dir_ + "/m/sub'",
      "75014:   Computing address for 1.00 Meg",
      "75014:   Computing address for 2.00 Meg",
      "75014:   Computing address for 3.00 Meg",
      "75015:   Computing address for 3.00 Meg in total",
  };
  EXPECT_EQ(want, texts);
}

TEST_F(SetBuildTest, TextsThatCannotBeStoredInTheFileMap) {
  Put("m/a.txt", "aa");
  const std::string odd = Put("m/a<b.txt", "odd");
  Put("m/c.txt", "ccc");
  ReportRecorder recorder;
  // A member name with a tag opener is left out, with a message.
  MfsReader* r = Start();
  ASSERT_NE(nullptr, r);
  EXPECT_EQ(1, Add(r, dir_ + "/m", "*.txt", ""));
  ASSERT_EQ(1u, recorded_reports().size());
  EXPECT_EQ("75047: MFS filter chain problem at processing file '" + odd + "'",
            recorded_reports()[0].text);
  ASSERT_EQ(1, mfs_build_full(r, nullptr, PITAS_VERSION));
  mfs_file_close(r);
  EXPECT_EQ("aaccc", settest::ReadLogical(base_));
  // A display format with one makes entries that do not read back, and a
  // filter list with one (a shell filter that strips markup) a filter-list
  // file that does not: the build fails instead of writing a set that ends
  // early or whose members fail when read.
  struct Case {
    const char* fmt;
    const char* search;
    int severity;
    std::string report;
  };
  const Case cases[] = {
      {"a<b", "", 15, "75011: Cannot write file map table '" + base_ + ".fmp'"},
      {"F", "sys(sed 's/<[^>]*>//g')", 16, "75012: Cannot write filterlist table '" + base_ + ".lmp'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.report);
    recorded_reports().clear();
    r = Start();
    ASSERT_NE(nullptr, r);
    const char* lists[3] = {c.search, "", ""};
    mfs_add_groups(r, (dir_ + "/m").c_str(), "[ac].txt", c.fmt, nullptr, lists, 1, 0);
    EXPECT_EQ(0, mfs_build_full(r, nullptr, PITAS_VERSION));
    mfs_file_close(r);
    ASSERT_FALSE(recorded_reports().empty());
    EXPECT_EQ(c.severity, recorded_reports().back().severity);
    EXPECT_EQ(c.report, recorded_reports().back().text);
  }
}

// A full disk while the set files are written: each file's message.
TEST_F(SetBuildTest, WriteFailuresAreReported) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  Put("m/a.txt", "aa");
  for (const auto& [ext, message] : {std::pair{".fmp", 75011}, {".lmp", 75012}, {".xmp", 75010}}) {
    SCOPED_TRACE(ext);
    ReportRecorder recorder;
    MfsReader* r = Start();
    ASSERT_NE(nullptr, r);
    Add(r, dir_ + "/m", "*.txt", "flat");
    const std::string file = base_ + ext;
    ASSERT_EQ(0, std::remove(file.c_str()));
    ASSERT_EQ(0, symlink("/dev/full", file.c_str()));
    EXPECT_EQ(0, mfs_build_full(r, nullptr, PITAS_VERSION));
    mfs_file_close(r);
    ASSERT_FALSE(recorded_reports().empty());
    EXPECT_EQ(16, recorded_reports().back().severity);
    EXPECT_EQ(std::to_string(message) + ": Cannot write " +
                  (message == 75010 ? "file compiled map table '"
                                    : message == 75011 ? "file map table '" : "filterlist table '") +
                  file + "'",
              recorded_reports().back().text);
    ASSERT_EQ(0, std::remove(file.c_str()));
  }
}

TEST_F(SetBuildTest, CreatingAndRemovingSetFiles) {
  ReportRecorder recorder;
  const std::string nowhere = dir_ + "/no/such/dir/set";
  EXPECT_EQ(0, mfs_create("", nowhere.c_str(), 0, PITAS_VERSION));
  ASSERT_EQ(1u, recorded_reports().size());
  EXPECT_EQ("75002: Cannot create file map table '" + nowhere + ".fmp'", recorded_reports()[0].text);
  EXPECT_EQ(16, recorded_reports()[0].severity);
  mfs_reset_state();

  recorded_reports().clear();
  ASSERT_EQ(1, mfs_create("", base_.c_str(), 0, PITAS_VERSION));
  ASSERT_EQ(1, mfs_destroy("", base_.c_str()));
  EXPECT_TRUE(recorded_reports().empty());
  for (const char* ext : {".fmp", ".xmp", ".lmp"}) EXPECT_NE(0, access((base_ + ext).c_str(), F_OK));
  EXPECT_EQ(0, mfs_destroy("", base_.c_str()));
  std::vector<std::string> texts;
  for (const RecordedReport& r : recorded_reports()) texts.push_back(r.text);
  EXPECT_EQ((std::vector<std::string>{
                "75005: Cannot destroy file map table '" + base_ + ".fmp'",
                "75004: Cannot destroy file compiled map table '" + base_ + ".xmp'",
                "75006: Cannot destroy filterlist table '" + base_ + ".lmp'"}),
            texts);
  mfs_reset_state();

  recorded_reports().clear();
  MfsReader* r = Start();
  ASSERT_NE(nullptr, r);
  EXPECT_EQ(0, mfs_build_user_data(r, nowhere.c_str()));
  mfs_file_close(r);
  ASSERT_EQ(1u, recorded_reports().size());
  EXPECT_EQ("75034: Unable to create user data file '" + nowhere + ".dat'.",
            recorded_reports()[0].text);
}

}  // namespace
