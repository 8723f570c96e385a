// Region mode after the pass: temporary records, region files laid out in
// region-number order, entries in element-level order, the replace rerun,
// the merge (-J), the size limits, and failures that leave the data
// dictionary and the region files as they were. Expected bytes are built
// from the file layout by hand.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <csignal>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <tuple>
#include <string>
#include <utility>
#include <vector>

#include "finder/regions.h"
#include "support/recorded_reports.h"
#include "support/scratch.h"

namespace {

std::string word(uint32_t w) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((w >> (8 * i)) & 0xff);
  return s;
}

std::string header() {
  std::string h = word(1) + word(0x01020304) + word(1) + word(0) + word(0) + word(50300) +
                  word(0) + word(0x0A0D0A00);
  h.resize(512, '\0');
  return h;
}

using Pairs = std::vector<std::pair<int32_t, int32_t>>;

std::string pairs(const Pairs& p) {
  std::string s;
  for (const auto& [a, b] : p) s += word(static_cast<uint32_t>(a)) + word(static_cast<uint32_t>(b));
  return s;
}

// One Region entry of the data dictionary as the writer lays it out.
struct Entry {
  std::string name;
  std::string file;
  long offset;
  long count;
};

// The (Name, SysName, Offset, Count) of every Region, in file order.
std::vector<Entry> entries_of(const std::string& dd) {
  std::vector<Entry> out;
  size_t at = 0;
  auto value = [&](const std::string& tag, size_t from, size_t limit) {
    const size_t a = dd.find("<" + tag + ">", from);
    if (a == std::string::npos || a > limit) return std::string();
    const size_t b = dd.find("</" + tag + ">", a);
    return dd.substr(a + tag.size() + 2, b - a - tag.size() - 2);
  };
  while ((at = dd.find("<Region>", at)) != std::string::npos) {
    const size_t end = dd.find("</Region>", at);
    out.push_back({value("Name", at, end), value("SysName", at, end),
                   std::stol(value("Offset", at, end)), std::stol(value("Count", at, end))});
    at = end;
  }
  return out;
}

const char* kEmptyDd = "<DB>\n</DB>\n";

class RegionFiles : public ScratchDir {
 protected:
  void SetUp() override {
    ScratchDir::SetUp();
    setenv("TAVREL_TMPDIR", dir_.c_str(), 1);
    options.dd_file = path("coll.dd");
    options.base = path("coll");
    options.levels = {{"*DOC", 0}, {"DOC", 1}, {"P", 2}};
  }
  void TearDown() override {
    temp_set_remove(&run.temp);
    unsetenv("TAVREL_TMPDIR");
    ScratchDir::TearDown();
  }
  void begin() {
    run = RegionRun{};
    ASSERT_EQ(temp_set_open(&run.temp), 0);
  }
  void rec(int kind, const char* name, int64_t s, int64_t e) {
    ASSERT_EQ(region_record_write(&run, kind, name, s, e), 0) << name;
  }
  int finish() {
    EXPECT_EQ(temp_set_close(&run.temp), 0);
    const int status = region_write_files(options, &run);
    temp_set_remove(&run.temp);
    return status;
  }
  // The records of the worked example's document, as the pass makes them.
  void worked_example() {
    begin();
    rec(REGION_START_TAG, "DOC", 122, 126);
    rec(REGION_ATTRIBUTE, "ID", 138, 138);
    rec(REGION_ATTRIBUTE, "TYPE", 136, 136);
    rec(REGION_START_TAG, "P", 127, 138);
    rec(REGION_ELEMENT, "P", 127, 144);
    rec(REGION_START_TAG, "DOC", 145, 149);
    rec(REGION_ATTRIBUTE, "ID", 152, 152);
    rec(REGION_ATTRIBUTE, "TYPE", 152, 152);
    rec(REGION_START_TAG, "P", 150, 152);
    rec(REGION_ELEMENT, "P", 150, 157);
    rec(REGION_ELEMENT, "DOC", 145, 163);
    rec(REGION_ELEMENT, "DOC", 122, 169);
  }
  std::vector<std::string> tmp_files() {
    std::vector<std::string> names;
    FILE* p = popen(("ls " + dir_ + " | grep TAG").c_str(), "r");
    char line[512];
    while (p && fgets(line, sizeof line, p)) names.push_back(line);
    if (p) pclose(p);
    return names;
  }

  RegionWriteOptions options;
  RegionRun run;
};

TEST_F(RegionFiles, WorkedExampleLaysOutRegionsAndEntersThemByLevel) {
  write_file(path("coll.dd"), kEmptyDd);
  worked_example();
  EXPECT_EQ(run.entries.size(), 7u);
  ASSERT_EQ(finish(), 0);
  const std::string expected =
      header() + pairs({{122, 126}, {145, 149}}) + pairs({{138, 138}, {152, 152}}) +
      pairs({{136, 136}, {152, 152}}) + pairs({{127, 138}, {150, 152}}) +
      pairs({{127, 144}, {150, 157}}) + pairs({{145, 163}}) + pairs({{122, 169}});
  EXPECT_EQ(expected.size(), 608u);
  EXPECT_EQ(read_file(path("coll0.rgn")), expected);
  const std::string rgn = path("coll0.rgn");
  const std::vector<Entry> got = entries_of(read_file(path("coll.dd")));
  const std::vector<Entry> want = {{"DOC", rgn, 88, 2},  {"P", rgn, 64, 4},     {"DOC-T", rgn, 0, 4},
                                   {"DOC1", rgn, 80, 2}, {"A-ID", rgn, 16, 4},  {"A-TYPE", rgn, 32, 4},
                                   {"P-T", rgn, 48, 4}};
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(got[i].name, want[i].name) << i;
    EXPECT_EQ(got[i].file, want[i].file) << i;
    EXPECT_EQ(got[i].offset, want[i].offset) << i;
    EXPECT_EQ(got[i].count, want[i].count) << i;
  }
  const std::string dd = read_file(path("coll.dd"));
  EXPECT_NE(dd.find("<Name>DOC1</Name>\n   <Desc>DOC1</Desc>"), std::string::npos);
  EXPECT_NE(dd.find("<Type>pairs</Type>"), std::string::npos);
  EXPECT_TRUE(tmp_files().empty());
}

TEST_F(RegionFiles, NestingNumbersElementsOfOneNameByDepth) {
  begin();
  // <E><E><E></E></E><E></E></E><E></E>
  rec(REGION_START_TAG, "E", 0, 2);
  rec(REGION_START_TAG, "E", 3, 5);
  rec(REGION_START_TAG, "E", 6, 8);
  rec(REGION_ELEMENT, "E", 6, 12);
  rec(REGION_ELEMENT, "E", 3, 16);
  rec(REGION_START_TAG, "E", 17, 19);
  rec(REGION_ELEMENT, "E", 17, 23);
  rec(REGION_ELEMENT, "E", 0, 27);
  rec(REGION_START_TAG, "E", 28, 30);
  rec(REGION_ELEMENT, "E", 28, 34);
  // An end tag of an element whose start tag made no region: the bare name.
  rec(REGION_ELEMENT, "F", 40, 44);
  std::vector<std::pair<std::string, int64_t>> got;
  for (const RegionEntry& e : run.entries) got.emplace_back(e.name, e.word_count);
  const std::vector<std::pair<std::string, int64_t>> want = {
      {"E-T", 10}, {"E2", 2}, {"E1", 4}, {"E", 4}, {"F", 2}};
  EXPECT_EQ(got, want);
}

// The pass may hand different names at one address: each record is named
// by the characters it is given.
TEST_F(RegionFiles, NamesGivenAtOneAddressAreTakenByTheirCharacters) {
  begin();
  char name[8];
  const auto at = [&](const char* text) { return std::strcpy(name, text); };
  // <E><F a=..><E></E></F></E>
  rec(REGION_START_TAG, at("E"), 0, 2);
  rec(REGION_ATTRIBUTE, at("A"), 6, 7);
  rec(REGION_START_TAG, at("F"), 3, 8);
  rec(REGION_START_TAG, at("E"), 9, 11);
  rec(REGION_ELEMENT, at("E"), 9, 15);
  rec(REGION_ELEMENT, at("F"), 3, 19);
  rec(REGION_ELEMENT, at("E"), 0, 23);
  std::vector<std::pair<std::string, int64_t>> got;
  for (const RegionEntry& e : run.entries) got.emplace_back(e.name, e.word_count);
  const std::vector<std::pair<std::string, int64_t>> want = {
      {"E-T", 4}, {"A-A", 2}, {"F-T", 2}, {"E1", 2}, {"F", 2}, {"E", 2}};
  EXPECT_EQ(got, want);
}

// The pass takes a remembered address as its name while one document's
// events are pulled; each document starts by forgetting the addresses, so
// a name that a later document gives at an address of an earlier one's is
// still taken by its characters.
TEST_F(RegionFiles, EachDocumentTakesTheNamesItGivesAnew) {
  begin();
  char name[8];
  const auto at = [&](const char* text) { return std::strcpy(name, text); };
  region_names_in_place(&run, true);  // document 1: <E></E>
  rec(REGION_START_TAG, at("E"), 0, 2);
  rec(REGION_ELEMENT, at("E"), 0, 6);
  region_names_in_place(&run, false);
  region_names_in_place(&run, true);  // document 2: <F></F>, same address
  rec(REGION_START_TAG, at("F"), 7, 9);
  rec(REGION_ELEMENT, at("F"), 7, 13);
  region_names_in_place(&run, false);
  std::vector<std::pair<std::string, int64_t>> got;
  for (const RegionEntry& e : run.entries) got.emplace_back(e.name, e.word_count);
  const std::vector<std::pair<std::string, int64_t>> want = {
      {"E-T", 2}, {"E", 2}, {"F-T", 2}, {"F", 2}};
  EXPECT_EQ(got, want);
}

TEST_F(RegionFiles, NamesUpTo2047AndThe2048thIsRefused) {
  ReportRecorder recorder;
  begin();
  for (int i = 0; i < 2047; ++i)
    ASSERT_EQ(region_record_write(&run, REGION_ATTRIBUTE, ("N" + std::to_string(i)).c_str(), i, i),
              0);
  // Every one of them is found again.
  ASSERT_EQ(region_record_write(&run, REGION_ATTRIBUTE, "N1500", 1, 1), 0);
  EXPECT_EQ(run.entries.size(), 2047u);
  EXPECT_EQ(region_record_write(&run, REGION_ATTRIBUTE, "NEW", 1, 1), -2);
  ASSERT_FALSE(recorder.reports().empty());
  EXPECT_EQ(recorder.reports().back().text, "220004: too many regions (>2048)");
  EXPECT_EQ(recorder.reports().back().severity, 15);
}

TEST_F(RegionFiles, TenthTemporaryFileIsRefused) {
  ReportRecorder recorder;
  begin();
  run.temp.file_limit = 24;  // three records a file
  int status = 0;
  int written = 0;
  while (status == 0) {
    status = region_record_write(&run, REGION_ATTRIBUTE, "X", written, written);
    if (status == 0) ++written;
  }
  EXPECT_EQ(status, -2);
  EXPECT_EQ(written, 30);
  EXPECT_EQ(run.temp.names.size(), 10u);
  ASSERT_FALSE(recorder.reports().empty());
  EXPECT_EQ(recorder.reports().back().text, "220004: too many regions (>30)");
}

TEST_F(RegionFiles, TemporaryFolderThatIsMissingOrAFileGivesNoSet) {
  setenv("TAVREL_TMPDIR", path("missing").c_str(), 1);
  TempRecordSet set;
  EXPECT_EQ(temp_set_open(&set), -1);
  EXPECT_EQ(set.failed_name.rfind(path("missing") + "/TAG0.", 0), 0u);
  write_file(path("plain"), "x");
  setenv("TAVREL_TMPDIR", path("plain").c_str(), 1);
  TempRecordSet set2;
  EXPECT_EQ(temp_set_open(&set2), -1);
  EXPECT_NE(set2.failed_errno, 0);
}

TEST_F(RegionFiles, RegionFileLimitMovesOnWithoutSplittingABlock) {
  write_file(path("coll.dd"), kEmptyDd);
  options.file_limit = 512 + 16;  // passed once more than 16 data bytes are used
  begin();
  rec(REGION_ATTRIBUTE, "A", 0, 1);
  rec(REGION_ATTRIBUTE, "A", 2, 3);
  rec(REGION_ATTRIBUTE, "A", 4, 5);  // A: 24 bytes, passes the limit by its end
  rec(REGION_ATTRIBUTE, "B", 6, 7);
  rec(REGION_ATTRIBUTE, "C", 8, 9);
  ASSERT_EQ(finish(), 0);
  EXPECT_EQ(read_file(path("coll0.rgn")), header() + pairs({{0, 1}, {2, 3}, {4, 5}}));
  EXPECT_EQ(read_file(path("coll1.rgn")), header() + pairs({{6, 7}, {8, 9}}));
  std::vector<Entry> got = entries_of(read_file(path("coll.dd")));
  std::sort(got.begin(), got.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[1].name, "A-B");
  EXPECT_EQ(got[1].file, path("coll1.rgn"));
  EXPECT_EQ(got[1].offset, 0);
  EXPECT_EQ(got[2].file, path("coll1.rgn"));
  EXPECT_EQ(got[2].offset, 8);
}

TEST_F(RegionFiles, SecondRunReplacesSameNamesAndPacksTheOthers) {
  write_file(path("coll.dd"), kEmptyDd);
  begin();
  rec(REGION_ATTRIBUTE, "A", 1, 2);
  rec(REGION_ATTRIBUTE, "B", 3, 4);
  rec(REGION_ATTRIBUTE, "B", 5, 6);
  rec(REGION_ATTRIBUTE, "C", 7, 8);
  ASSERT_EQ(finish(), 0);
  // A at 0, B at 8, C at 24. The second run names B and D.
  begin();
  rec(REGION_ATTRIBUTE, "D", 10, 11);
  rec(REGION_ATTRIBUTE, "B", 12, 13);
  ASSERT_EQ(finish(), 0);
  EXPECT_EQ(read_file(path("coll0.rgn")),
            header() + pairs({{1, 2}}) + pairs({{7, 8}}) + pairs({{10, 11}}) + pairs({{12, 13}}));
  std::vector<std::pair<std::string, long>> got;
  for (const Entry& e : entries_of(read_file(path("coll.dd")))) got.emplace_back(e.name, e.offset);
  std::sort(got.begin(), got.end());
  const std::vector<std::pair<std::string, long>> want = {
      {"A-A", 0}, {"A-B", 24}, {"A-C", 8}, {"A-D", 16}};
  EXPECT_EQ(got, want);
}

TEST_F(RegionFiles, ListedRegionFileThatIsMissingLosesItsEntries) {
  write_file(path("coll.dd"),
             "<DB>\n <Regions>\n  <Region>\n   <Name>OLD</Name>\n   <File>\n    <SysName>" +
                 path("gone.rgn") +
                 "</SysName>\n    <Offset>0</Offset>\n   </File>\n   <Count>2</Count>\n"
                 "   <Type>pairs</Type>\n  </Region>\n </Regions>\n</DB>\n");
  begin();
  rec(REGION_ATTRIBUTE, "A", 1, 2);
  ASSERT_EQ(finish(), 0);
  const std::vector<Entry> got = entries_of(read_file(path("coll.dd")));
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].name, "A-A");
}

TEST_F(RegionFiles, EntryBeyondItsFileIsRefusedAndNothingChanges) {
  ReportRecorder recorder;
  write_file(path("coll0.rgn"), header() + pairs({{1, 2}}));
  const std::string dd =
      "<DB>\n <Regions>\n  <Region>\n   <Name>OLD</Name>\n   <File>\n    <SysName>" +
      path("coll0.rgn") +
      "</SysName>\n    <Offset>0</Offset>\n   </File>\n   <Count>4</Count>\n"
      "   <Type>pairs</Type>\n  </Region>\n </Regions>\n</DB>\n";
  write_file(path("coll.dd"), dd);
  for (bool merge : {false, true}) {
    options.merge = merge;
    begin();
    rec(REGION_ATTRIBUTE, "A", 1, 2);
    EXPECT_EQ(finish(), 1);
    EXPECT_EQ(read_file(path("coll.dd")), dd);
    EXPECT_EQ(read_file(path("coll0.rgn")), header() + pairs({{1, 2}}));
  }
  bool beyond = false;
  for (const RecordedReport& r : recorder.reports())
    if (r.text.rfind("200063:", 0) == 0) beyond = true;
  EXPECT_TRUE(beyond);
  EXPECT_EQ(system(("ls -a " + dir_ + " | grep -q '\\.new$'").c_str()) == 0, false);
}

// Temporary records that do not agree with the words counted as they were
// written (a record added, one cut off, one of no region of the run) are
// refused: 60028, status 1, nothing changed.
TEST_F(RegionFiles, DamagedTemporaryRecordsAreRefusedAndNothingChanges) {
  write_file(path("coll.dd"), kEmptyDd);
  worked_example();
  ASSERT_EQ(finish(), 0);
  const std::string dd = read_file(path("coll.dd"));
  const std::string rgn = read_file(path("coll0.rgn"));
  const auto record = [](int32_t region, int32_t start, int32_t end) {
    return word(static_cast<uint32_t>(region)) + word(static_cast<uint32_t>(start)) +
           word(static_cast<uint32_t>(end));
  };
  const std::vector<std::pair<const char*, int>> damages = {
      {"added", 0}, {"cut off", 1}, {"of no region", 2}};
  for (const auto& [what, how] : damages) {
    ReportRecorder recorder;
    worked_example();
    ASSERT_EQ(temp_set_close(&run.temp), 0);
    const std::string temp = run.temp.names[0];
    std::string bytes = read_file(temp);
    if (how == 0) bytes += record(0, 200, 201);
    if (how == 1) bytes.resize(bytes.size() - REGION_TEMP_RECORD_BYTES);
    if (how == 2) bytes += record(7, 200, 201);
    write_file(temp, bytes);
    EXPECT_EQ(region_write_files(options, &run), 1) << what;
    temp_set_remove(&run.temp);
    EXPECT_EQ(read_file(path("coll.dd")), dd) << what;
    EXPECT_EQ(read_file(path("coll0.rgn")), rgn) << what;
    ASSERT_FALSE(recorder.reports().empty()) << what;
    EXPECT_EQ(recorder.reports().back().text.substr(0, 6), "60028:") << what;
  }
}

TEST_F(RegionFiles, DamagedDataDictionaryIsRefused) {
  ReportRecorder recorder;
  write_file(path("coll.dd"), "<DB>\n <Regions>\n  <Region>\n</DB>\n");
  EXPECT_EQ(region_dd_check(options.dd_file), 1);
  bool seen = false;
  for (const RecordedReport& r : recorder.reports())
    if (r.text.rfind("40032:", 0) == 0) seen = true;
  EXPECT_TRUE(seen);
}

// A write that fails part way (the file size limit) in either path leaves
// the data dictionary and the region file as they were, and no new file.
TEST_F(RegionFiles, FailedWriteChangesNothingInEitherPath) {
  write_file(path("coll.dd"), kEmptyDd);
  begin();
  for (int i = 0; i < 40; ++i) rec(REGION_ATTRIBUTE, "A", 10 * i, 10 * i + 1);
  rec(REGION_ATTRIBUTE, "B", 1, 2);
  ASSERT_EQ(finish(), 0);
  const std::string dd = read_file(path("coll.dd"));
  const std::string rgn = read_file(path("coll0.rgn"));
  for (bool merge : {false, true}) {
    options.merge = merge;
    begin();
    for (int i = 0; i < 40; ++i) rec(REGION_ATTRIBUTE, "B", 1000 + 10 * i, 1001 + 10 * i);
    ASSERT_EQ(temp_set_close(&run.temp), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ReportRecorder recorder;
      signal(SIGXFSZ, SIG_IGN);
      struct rlimit limit = {700, 700};
      setrlimit(RLIMIT_FSIZE, &limit);
      _exit(region_write_files(options, &run) == 1 ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    temp_set_remove(&run.temp);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << merge;
    EXPECT_EQ(read_file(path("coll.dd")), dd) << merge;
    EXPECT_EQ(read_file(path("coll0.rgn")), rgn) << merge;
    EXPECT_NE(system(("ls -a " + dir_ + " | grep -q 'rgn\\.'").c_str()), 0) << merge;
  }
}

// ---------------------------------------------------------------------------
// Merging (-J)

class RegionMerge : public RegionFiles {
 protected:
  // The old file: P-T (0,3)(10,13)(20,23), P (0,8)(10,18), X (100,101) at
  // the end of the data (a region the runs do not name).
  void old_file() {
    write_file(path("coll.dd"), kEmptyDd);
    old_records();
    ASSERT_EQ(finish(), 0);
    options.merge = true;
  }
  void old_records() {
    begin();
    rec(REGION_START_TAG, "P", 0, 3);
    rec(REGION_ELEMENT, "P", 0, 8);
    rec(REGION_START_TAG, "P", 10, 13);
    rec(REGION_ELEMENT, "P", 10, 18);
    rec(REGION_START_TAG, "P", 20, 23);
    rec(REGION_ATTRIBUTE, "X", 100, 101);
  }
};

TEST_F(RegionMerge, RerunOfTheSameRecordsGivesTheSameFile) {
  old_file();
  const std::string before = read_file(path("coll0.rgn"));
  old_records();
  ASSERT_EQ(finish(), 0);
  EXPECT_EQ(read_file(path("coll0.rgn")), before);
}

TEST_F(RegionMerge, NewPairsReplaceTheOldOnesTheyMeet) {
  old_file();
  begin();
  // P-T: (10,13) equal to an old pair; (22,30) overlaps (20,23); (40,41) new.
  // P: (8,9) starts where the old (0,8) ends: that one goes.
  rec(REGION_START_TAG, "P", 10, 13);
  rec(REGION_ELEMENT, "P", 8, 9);
  rec(REGION_START_TAG, "P", 22, 30);
  rec(REGION_START_TAG, "P", 40, 41);
  // A region new to the file.
  rec(REGION_ATTRIBUTE, "N", 50, 51);
  ASSERT_EQ(finish(), 0);
  // Old order P-T, P, A-X; then A-N.
  EXPECT_EQ(read_file(path("coll0.rgn")),
            header() + pairs({{0, 3}, {10, 13}, {22, 30}, {40, 41}}) +
                pairs({{8, 9}, {10, 18}}) + pairs({{100, 101}}) + pairs({{50, 51}}));
  std::vector<std::tuple<std::string, long, long>> got;
  for (const Entry& e : entries_of(read_file(path("coll.dd"))))
    got.emplace_back(e.name, e.offset, e.count);
  std::sort(got.begin(), got.end());
  const std::vector<std::tuple<std::string, long, long>> want = {
      {"A-N", 56, 2}, {"A-X", 48, 2}, {"P", 32, 4}, {"P-T", 0, 8}};
  EXPECT_EQ(got, want);
}

TEST_F(RegionMerge, AddedPairsAfterTheOldOnesAreAppendedAcrossTemporaryFiles) {
  old_file();
  begin();
  run.temp.file_limit = 12;  // two records a file
  for (int i = 0; i < 5; ++i) rec(REGION_START_TAG, "P", 1000 + 10 * i, 1003 + 10 * i);
  EXPECT_EQ(run.temp.names.size(), 3u);
  ASSERT_EQ(finish(), 0);
  EXPECT_EQ(read_file(path("coll0.rgn")),
            header() +
                pairs({{0, 3}, {10, 13}, {20, 23}, {1000, 1003}, {1010, 1013}, {1020, 1023},
                       {1030, 1033}, {1040, 1043}}) +
                pairs({{0, 8}, {10, 18}}) + pairs({{100, 101}}));
}

// Regions of many pairs: long runs of kept old pairs, pairs dropped at
// every step of the way, pairs between old ones and after them. For old
// and new pairs both ascending and without overlaps among themselves the
// rule comes down to: every new pair, and every old pair that meets none
// of them (an old end equal to a new start counts as meeting), in start
// order.
TEST_F(RegionMerge, LongRegionsMergeAsTheRuleSaysAtEveryPlace) {
  const auto merged = [](const Pairs& old, const Pairs& added) {
    Pairs out = added;
    for (const auto& o : old) {
      bool meets = false;
      for (const auto& n : added) meets = meets || (o.first <= n.second && n.first <= o.second);
      if (!meets) out.push_back(o);
    }
    std::sort(out.begin(), out.end());
    return out;
  };
  // A: 40000 pairs, more than any buffer holds; B: 3000 pairs.
  Pairs old_a, old_b, new_a, new_b;
  for (int32_t i = 0; i < 40000; ++i) old_a.emplace_back(10 * i, 10 * i + 5);
  for (int32_t i = 0; i < 3000; ++i) old_b.emplace_back(10 * i, 10 * i + 5);
  // A: one pair inside the first old one, one starting where an old one in
  // the middle ends, one within the last, one after all.
  new_a = {{3, 4}, {200005, 200006}, {399991, 399992}, {500000, 500001}};
  // B: every seventh old pair met at its end, a pair in every eleventh gap.
  for (int32_t i = 0; i < 3000; ++i) {
    if (i % 7 == 0) new_b.emplace_back(10 * i + 5, 10 * i + 6);
    if (i % 11 == 0) new_b.emplace_back(10 * i + 7, 10 * i + 8);
  }
  write_file(path("coll.dd"), kEmptyDd);
  begin();
  for (const auto& [s, e] : old_a) rec(REGION_ATTRIBUTE, "A", s, e);
  for (const auto& [s, e] : old_b) rec(REGION_ATTRIBUTE, "B", s, e);
  ASSERT_EQ(finish(), 0);
  options.merge = true;
  begin();
  for (size_t i = 0; i < std::max(new_a.size(), new_b.size()); ++i) {
    if (i < new_a.size()) rec(REGION_ATTRIBUTE, "A", new_a[i].first, new_a[i].second);
    if (i < new_b.size()) rec(REGION_ATTRIBUTE, "B", new_b[i].first, new_b[i].second);
  }
  ASSERT_EQ(finish(), 0);
  const Pairs a = merged(old_a, new_a), b = merged(old_b, new_b);
  EXPECT_EQ(read_file(path("coll0.rgn")), header() + pairs(a) + pairs(b));
  std::vector<std::tuple<std::string, long, long>> got;
  for (const Entry& e : entries_of(read_file(path("coll.dd"))))
    got.emplace_back(e.name, e.offset, e.count);
  std::sort(got.begin(), got.end());
  const long a_bytes = 8 * static_cast<long>(a.size());
  const std::vector<std::tuple<std::string, long, long>> want = {
      {"A-A", 0, 2 * static_cast<long>(a.size())}, {"A-B", a_bytes, 2 * static_cast<long>(b.size())}};
  EXPECT_EQ(got, want);
}

// A block of an odd count (a damaged entry) keeps its lone lowest word
// below the merged pairs: nothing of the old file is lost.
TEST_F(RegionMerge, BlockOfAnOddCountKeepsItsLoneWord) {
  write_file(path("coll0.rgn"), header() + word(5) + word(10) + word(12));
  write_file(path("coll.dd"), "<DB>\n <Regions>\n  <Region>\n   <Name>A-A</Name>\n   <File>\n"
                              "    <SysName>" + path("coll0.rgn") + "</SysName>\n"
                              "    <Offset>0</Offset>\n   </File>\n   <Count>3</Count>\n"
                              "   <Type>pairs</Type>\n  </Region>\n </Regions>\n</DB>\n");
  options.merge = true;
  begin();
  rec(REGION_ATTRIBUTE, "A", 1, 2);
  ASSERT_EQ(finish(), 0);
  EXPECT_EQ(read_file(path("coll0.rgn")), header() + word(5) + pairs({{1, 2}, {10, 12}}));
  const std::vector<Entry> got = entries_of(read_file(path("coll.dd")));
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].count, 5);
}

TEST_F(RegionMerge, RunWithoutRegionsChangesNothing) {
  old_file();
  const std::string rgn = read_file(path("coll0.rgn"));
  const std::string dd = read_file(path("coll.dd"));
  begin();
  ASSERT_EQ(finish(), 0);
  EXPECT_EQ(read_file(path("coll0.rgn")), rgn);
  EXPECT_EQ(read_file(path("coll.dd")), dd);
}

TEST_F(RegionMerge, WithoutAnExistingRegionFileWritesAsWithoutMerge) {
  write_file(path("coll.dd"), kEmptyDd);
  options.merge = true;
  begin();
  rec(REGION_ATTRIBUTE, "A", 1, 2);
  ASSERT_EQ(finish(), 0);
  EXPECT_EQ(read_file(path("coll0.rgn")), header() + pairs({{1, 2}}));
  EXPECT_EQ(entries_of(read_file(path("coll.dd"))).size(), 1u);
}

TEST_F(RegionMerge, RegionInALaterRegionFileStopsTheMerge) {
  ReportRecorder recorder;
  write_file(path("coll.dd"), kEmptyDd);
  options.file_limit = 512;
  begin();
  rec(REGION_ATTRIBUTE, "A", 1, 2);
  rec(REGION_ATTRIBUTE, "B", 3, 4);
  ASSERT_EQ(finish(), 0);  // A in coll0.rgn, B in coll1.rgn
  const std::string dd = read_file(path("coll.dd"));
  const std::string rgn0 = read_file(path("coll0.rgn"));
  options.merge = true;
  begin();
  rec(REGION_ATTRIBUTE, "B", 5, 6);
  EXPECT_EQ(finish(), 1);
  EXPECT_EQ(read_file(path("coll.dd")), dd);
  EXPECT_EQ(read_file(path("coll0.rgn")), rgn0);
  ASSERT_FALSE(recorder.reports().empty());
  EXPECT_EQ(recorder.reports().back().text,
            "220018: Cannot merge: region 'A-B' lies in region file '" + path("coll1.rgn") +
                "', not in '" + path("coll0.rgn") + "'; nothing was changed.");
}

}  // namespace
