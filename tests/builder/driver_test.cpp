// The command line, the memory budget, set-up and the index file name.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "addgi/addgi.h"
#include "builder/builder.h"
#include "builder/fatal_reports.h"
#include "dd/scratch.h"
#include "mfs/mfs.h"
#include "pitas/pitas.h"
#include "pitst/pitst.h"

namespace {

BuildOptions* parse(std::vector<std::string> args) {
  args.insert(args.begin(), "vexabld");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  return ReadArgsB(static_cast<int>(args.size()), argv.data());
}

std::string fatal_text(const std::vector<std::string>& args) {
  return fatal_of([&] { delete parse(args); }).text;
}

const char kUsage[] =
    "Usage: vexabld [-v] [-r] [-m memory k|m] [-d region-name]\n"
    "       [-i int-name] [-s merge-name]\n"
    "       [ -t text-name [-o out-name] [-c isolatin|none|basic|sgml] ] |\n"
    "       [ [-I index-name] -D data-dictionary-name ]";

TEST(CommandLine, DerivedNames) {
  FatalRecorder recorder;
  struct Case {
    std::vector<std::string> args;
    std::string base, index, dd, log, int_name, merge_name;
  };
  const Case cases[] = {
      {{"-t", "text"}, "out", "out.idx", "out.dd", "out.log", "out", "out"},
      {{"-t", "text", "-o", "dir/x"}, "dir/x", "dir/x.idx", "dir/x.dd", "dir/x.log", "dir/x", "dir/x"},
      {{"-t", "text", "-i", "work", "-s", "skip"}, "out", "out.idx", "out.dd", "out.log", "work", "skip"},
      {{"-D", "db.dd"}, "db", "", "db.dd", "db.log", "db", "db"},
      {{"-D", "db"}, "db", "", "db.dd", "db.log", "db", "db"},
      {{"-D", "d/x.dd.bak"}, "d/x.dd.bak", "", "d/x.dd.bak.dd", "d/x.dd.bak.log", "d/x.dd.bak", "d/x.dd.bak"},
      {{"-D", "db.dd", "-o", "new"}, "new", "new.idx", "new.dd", "new.log", "new", "new"},
  };
  for (const Case& c : cases) {
    BuildOptions* o = parse(c.args);
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->out_base, c.base) << c.args[1];
    EXPECT_EQ(o->index_file.value_or(""), c.index) << c.args[1];
    EXPECT_EQ(o->dd_update, c.dd) << c.args[1];
    EXPECT_EQ(o->log_file, c.log) << c.args[1];
    EXPECT_EQ(o->int_name, c.int_name) << c.args[1];
    EXPECT_EQ(o->merge_name, c.merge_name) << c.args[1];
    EXPECT_EQ(o->memory, 512000);
    delete o;
  }
}

TEST(CommandLine, OptionValues) {
  FatalRecorder recorder;
  BuildOptions* o = parse({"-v", "-r", "-d", "para", "-I", "words", "-p", "pts", "-t", "a b",
                           "-c", "IsoLatin", "-m", "1.5m"});
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(o->verbose, 1);
  EXPECT_EQ(o->restart, 1);
  EXPECT_EQ(o->region_name.value_or(""), "para");
  EXPECT_EQ(o->index_name.value_or(""), "words");
  EXPECT_EQ(o->points_file.value_or(""), "pts");
  EXPECT_EQ(o->text_name.value_or(""), "a b");
  EXPECT_EQ(o->base_map, BASE_MAP_ISOLATIN);
  EXPECT_EQ(o->memory, 1572864);
  delete o;
  // A value option at the end is skipped without its value; -c then stays sgml.
  o = parse({"-t", "text", "-c"});
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(o->base_map, BASE_MAP_SGML);
  EXPECT_FALSE(o->map_given);
  delete o;
  // Values that look like options are taken as values.
  o = parse({"-t", "-v"});
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(o->text_name.value_or(""), "-v");
  EXPECT_EQ(o->verbose, 0);
  delete o;
}

TEST(CommandLine, MemoryValues) {
  FatalRecorder recorder;
  struct Case {
    const char* value;
    int64_t bytes;
  };
  const Case cases[] = {
      {"500k", 512000},  {"500K", 512000}, {"2m", 2097152}, {"2M", 2097152}, {"0.5m", 524288},
      {"1000.9k", 1024921}, {"64mb", 67108864},
      // 64-bit arithmetic: 3 GiB does not wrap; the cap keeps the text
      // buffer within 32-bit offsets.
      {"3072m", 3221225472}, {"1e9m", 409600 + 2 * int64_t{2147483647}},
  };
  for (const Case& c : cases) {
    BuildOptions* o = parse({"-t", "x", "-m", c.value});
    ASSERT_NE(o, nullptr) << c.value;
    EXPECT_EQ(o->memory, c.bytes) << c.value;
    delete o;
  }
  for (const char* bad : {"600", "k", "", "m2", "nanm", "5g"}) {
    EXPECT_EQ(fatal_text({"-t", "x", "-m", bad}), "90044: Invalid -M argument.") << bad;
  }
}

TEST(CommandLine, Refusals) {
  FatalRecorder recorder;
  struct Case {
    std::vector<std::string> args;
    int severity;
    std::string text;
  };
  const Case cases[] = {
      {{"-t"}, 9, std::string("100029: ") + kUsage},
      {{}, 9, std::string("100029: ") + kUsage},
      {{"-x", "y"}, 3, std::string("100030: ") + kUsage},
      {{"-t", "text", "file"}, 3, std::string("100030: ") + kUsage},
      {{"-t", "text", "-ver2"}, 3, std::string("100030: ") + kUsage},
      {{"-t", "x", "-c", "latin"}, 9,
       "100028: Unreconized base charmap argument 'latin'.  \nValid arguments are 'isolatin', "
       "'basic', 'sgml', and 'none'.\nUsing 'sgml'."},
      {{"-D", "d", "-t", "x", "-c", "none"}, 9,
       "100006: options -t (text-to-index) and -D (data dictionary which contans text "
       "specification) cannot be used together."},
      {{"-D", "d", "-c", "none"}, 9,
       "100004:   Options -D and -c may not be used together.\n  To specify a builtin charmap "
       "specify\n   -c [isolatin|none|basic|sgml  -t text-name."},
      {{"-o", "x", "-c", "basic"}, 9,
       "100017: No text file specified in Data Dictionary or on command line."},
      {{"-o", "x", "-t"}, 9, "100017: No text file specified in Data Dictionary or on command line."},
  };
  for (const Case& c : cases) {
    FatalReport r = fatal_of([&] { delete parse(c.args); });
    EXPECT_EQ(r.severity, c.severity);
    EXPECT_EQ(r.text, c.text);
  }
}

class Driver : public ScratchDir {
 protected:
  void SetUp() override {
    ScratchDir::SetUp();
    char here[4096];
    ASSERT_NE(getcwd(here, sizeof here), nullptr);
    cwd_ = here;
    ASSERT_EQ(chdir(dir_.c_str()), 0);
  }
  void TearDown() override {
    BuildState& st = build_state();
    if (st.options != nullptr) CleanUp();
    EXPECT_EQ(chdir(cwd_.c_str()), 0);
    ScratchDir::TearDown();
  }
  // Options, budget and set-up as the driver runs them.
  int set_up(const std::vector<std::string>& args) {
    build_state().options = parse(args);
    if (build_state().options == nullptr || Initialize() != 0) return 0;
    return ::SetUp();
  }
  std::string cwd_;
};

TEST_F(Driver, MemoryBudget) {
  FatalRecorder recorder;
  write_file("t.txt", "text");
  ASSERT_EQ(set_up({"-t", "t.txt", "-m", "500k"}), 1);
  BuildState& st = build_state();
  EXPECT_EQ(st.usable, 102400);
  EXPECT_EQ(st.buffer_size, 51200);
  EXPECT_EQ(st.point_slots, 12800);
  EXPECT_NE(st.text_buffer, nullptr);
  EXPECT_NE(st.points, nullptr);
  CleanUp();
  FatalReport r = fatal_of([&] { set_up({"-t", "t.txt", "-m", "499k"}); });
  EXPECT_EQ(r.severity, 14);
  EXPECT_EQ(r.text, "100013: Vexabld requires a memory allocation of at least 500K.");
  CleanUp();
}

// A text that needs more than 20 passes at the budget given is warned
// about at set-up, with the budget that builds it in one pass; one that
// needs 20 is not. A pass holds its buffer (half the budget above 409600
// bytes) less 1001 characters; one pass needs 409600 bytes and four per
// text byte and 2048 more, rounded up to whole kilobytes.
TEST_F(Driver, ManyPassesAreWarnedWithTheBudgetOfOnePass) {
  struct Case {
    const char* memory;
    off_t text_bytes;
    const char* warning;  // "" none
  };
  const Case cases[] = {
      // 500k: buffer 51200, 50199 characters a pass.
      {"500k", 20 * 50199, ""},
      {"500k", 20 * 50199 + 1,
       "100038: The text 't.txt' needs about 21 passes at this memory budget (vexabld does not "
       "size its budget to the machine, and many passes take long); -m 4330k builds it in one "
       "pass."},
      // 1m: buffer 319488, 318487 characters a pass.
      {"1m", 20 * 318487, ""},
      {"1m", 20 * 318487 + 1,
       "100038: The text 't.txt' needs about 21 passes at this memory budget (vexabld does not "
       "size its budget to the machine, and many passes take long); -m 25290k builds it in one "
       "pass."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.memory) + " " + std::to_string(c.text_bytes));
    FatalRecorder recorder;
    write_file("t.txt", "");
    ASSERT_EQ(truncate("t.txt", c.text_bytes), 0);
    ASSERT_EQ(set_up({"-t", "t.txt", "-m", c.memory}), 1);
    std::vector<std::string> warnings;
    for (const RecordedReport& r : recorder.reports())
      if (r.severity == 2) warnings.push_back(r.text);
    EXPECT_EQ(warnings, c.warning[0] != '\0' ? std::vector<std::string>{c.warning}
                                             : std::vector<std::string>{});
    CleanUp();
  }
}

TEST_F(Driver, TextRecordOfTheCommandLine) {
  FatalRecorder recorder;
  write_file("t.txt", std::string(1234, 'a'));
  ASSERT_EQ(set_up({"-t", "t.txt", "-c", "basic", "-I", "mine"}), 1);
  BuildState& st = build_state();
  ASSERT_EQ(st.control->text_count, 1);
  const FileInfo& t = st.control->texts[0];
  EXPECT_STREQ(t.sys_name, "t.txt");
  EXPECT_EQ(t.fragmented, 0);
  EXPECT_EQ(t.offset, 0u);
  EXPECT_EQ(t.multi_file, 0);
  EXPECT_EQ(st.text_size, 1234);
  EXPECT_EQ(st.pass_end, 0);
  EXPECT_EQ(st.control->index_name, "mine");
  EXPECT_EQ(st.control->class_count, 3);  // basic: blank, printable, the rest
  EXPECT_EQ(st.control->map['A'], 'a');
  // No work file yet: they are made once set-up has succeeded.
  EXPECT_NE(access("out.i0", F_OK), 0);
  EXPECT_NE(access("out.log", F_OK), 0);
  ASSERT_EQ(CreateWorkFiles(), 0);
  EXPECT_EQ(read_file("out.i0"), "");
  // The log starts with the fingerprint of the build's rules alone.
  const std::string log = read_file("out.log");
  EXPECT_EQ(log.rfind("Control ", 0), 0u) << log;
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
}

TEST_F(Driver, MissingTextAndPointsFile) {
  FatalRecorder recorder;
  FatalReport r = fatal_of([&] { set_up({"-t", "nofile"}); });
  EXPECT_EQ(r.severity, 16);
  EXPECT_EQ(r.text, "60006: Unable to open file: nofile.");
  CleanUp();
  write_file("t.txt", "x");
  r = fatal_of([&] { set_up({"-t", "t.txt", "-p", "nopoints"}); });
  EXPECT_EQ(r.text, "60006: Unable to open file: nopoints.");
  CleanUp();
  // The points stream starts one word in.
  write_file("pts", std::string(12, '\0'));
  ASSERT_EQ(set_up({"-t", "t.txt", "-p", "pts", "-v"}), 1);
  EXPECT_EQ(vqio_ftell(build_state().points_stream), 4);
  const auto& reports = recorder.reports();
  ASSERT_GE(reports.size(), 2u);
  EXPECT_EQ(reports[reports.size() - 2].text, "100031: Using default Data Dictionary information.");
  EXPECT_EQ(reports.back().text, "100032: Using pts for index points.");
}

TEST_F(Driver, WorkFilesThatCannotBeMadeLeaveNothing) {
  FatalRecorder recorder;
  write_file("t.txt", "x");
  ASSERT_EQ(set_up({"-t", "t.txt", "-o", "nodir/x"}), 1);
  // The log comes first: it is locked before any other work file is made.
  FatalReport r = fatal_of([&] { CreateWorkFiles(); });
  EXPECT_EQ(r.severity, 16);
  EXPECT_EQ(r.text, "100001: Can't open log file nodir/x.log.");
  CleanUp();
  ASSERT_EQ(set_up({"-t", "t.txt", "-o", "x", "-i", "nodir/w"}), 1);
  set_error_handler(record_report);  // returns, so the clean-up can be seen
  EXPECT_EQ(CreateWorkFiles(), 16);
  EXPECT_EQ(recorder.reports().back().text, "60006: Unable to open file: nodir/w.i0.");
  EXPECT_NE(access("x.log", F_OK), 0);
}

const char kDd[] =
    "<DB>\n"
    " <Text><Files><File><SysName>t.txt</SysName><Offset>100</Offset></File></Files></Text>\n"
    " <Indices>\n"
    "  <Index><Name>a</Name><File><SysName>a.idx</SysName></File></Index>\n"
    "  <Index><Name>b</Name><File><ModDate>1</ModDate></File></Index>\n"
    "  <Index><Name>c</Name></Index>\n"
    " </Indices>\n"
    " <Regions>\n"
    "  <Region><Name>para</Name><File><SysName>r.rgn</SysName></File><Count>8</Count>"
    "<Type>pairs</Type></Region>\n"
    "  <Region><Name>flat</Name><File><SysName>r.rgn</SysName></File><Count>2</Count>"
    "<Type>contig</Type></Region>\n"
    "  <Region><Name>empty</Name><File><SysName>r.rgn</SysName></File><Count>0</Count>"
    "<Type>pairs</Type></Region>\n"
    " </Regions>\n"
    "</DB>\n";

std::string region_file(const std::vector<int32_t>& values) {
  uint32_t header[128] = {1, 0x01020304, 1, 0, 0, 50300, 0, 0x0A0D0A00};
  std::string bytes(reinterpret_cast<const char*>(header), sizeof header);
  bytes.append(reinterpret_cast<const char*>(values.data()), values.size() * 4);
  return bytes;
}

TEST_F(Driver, DataDictionarySetUpAndIndexFileName) {
  FatalRecorder recorder;
  write_file("db.dd", kDd);
  write_file("t.txt", std::string(50, 'w'));
  // Unordered regions are put in order and nested ones joined; touching
  // ones stay apart.
  write_file("r.rgn", region_file({40, 60, 0, 9, 5, 7, 10, 20}));
  FatalReport f = fatal_of([&] { EXPECT_EQ(set_up({"-D", "db.dd", "-d", "para", "-v"}), 1); });
  ASSERT_EQ(f.severity, -1) << f.text;
  BuildState& st = build_state();
  EXPECT_EQ(st.text_size, 150);  // 50 bytes after an offset of 100
  EXPECT_EQ(st.pass_end, 100);   // the first pass starts at position 101
  EXPECT_EQ(st.control->index_name, "a");
  EXPECT_EQ(recorder.reports().back().text, "100033: Using db.dd for control.");
  ASSERT_NE(st.regions, nullptr);
  EXPECT_EQ(st.region_count, 3);
  EXPECT_EQ(std::vector<int32_t>(st.regions->buffer + 1, st.regions->buffer + 7),
            (std::vector<int32_t>{1, 10, 11, 21, 41, 61}));
  ASSERT_EQ(IndexNameFromDD("db.dd", nullptr), 0);
  EXPECT_EQ(st.options->index_file.value_or(""), "a.idx");
  EXPECT_EQ(st.options->dd_update, "db.dd");
  CleanUp();

  // -o keeps its own index file name.
  ASSERT_EQ(set_up({"-D", "db.dd", "-o", "mine"}), 1);
  ASSERT_EQ(IndexNameFromDD("db.dd", nullptr), 0);
  EXPECT_EQ(build_state().options->index_file.value_or(""), "mine.idx");
  CleanUp();

  // Index entries without the file name. A <File> without <SysName> is
  // already refused when the entry is read.
  FatalReport r = fatal_of([&] { set_up({"-D", "db.dd", "-I", "b"}); });
  EXPECT_EQ(r.text, "40009: addgifi: Data dictionary tag '<File><SysName>' is missing or empty.");
  CleanUp();
  ASSERT_EQ(set_up({"-D", "db.dd", "-I", "c"}), 1);
  r = fatal_of([&] { IndexNameFromDD("db.dd", "c"); });
  EXPECT_EQ(r.severity, 3);
  EXPECT_EQ(r.text,
            "100011:   Index c has no <File> region associated with it.\n  This is needed to "
            "determine the filename of the index to be generated.");
  CleanUp();
  write_file("noindex.dd", "<DB>\n <Text><Files><File><SysName>t.txt</SysName></File></Files></Text>\n</DB>\n");
  ASSERT_EQ(set_up({"-D", "noindex.dd"}), 1);
  r = fatal_of([&] { IndexNameFromDD("noindex.dd", nullptr); });
  EXPECT_EQ(r.text,
            "100008:   The default index (first index in data dictionary) has no <File> region "
            "associated with it.\n  This region is needed to determine the filename of the index "
            "to be generated.");
}

TEST_F(Driver, RegionSetRefusals) {
  FatalRecorder recorder;
  write_file("db.dd", kDd);
  write_file("t.txt", std::string(50, 'w'));
  struct Case {
    std::vector<int32_t> values;
    const char* region;
    int severity;
    std::string text;
  };
  const Case cases[] = {
      {{0, 9, 10, 20, 30, 40, 50, 150}, "flat", 13, "100024: Region file must be of type 'pairs'."},
      {{0, 9}, "empty", 13, "100023: Region file is empty."},
      {{-1, 9, 10, 20, 30, 40, 50, 150}, "para", 13, "140000: Pair regions 'para' have invalid endpoints."},
      {{0, 9, 10, 20, 30, 40, 50, 151}, "para", 13, "140000: Pair regions 'para' have invalid endpoints."},
      {{0, 9, 20, 10, 30, 40, 50, 150}, "para", 13, "140000: Pair regions 'para' have invalid endpoints."},
      {{0, 9, 10, 20, 30, 40, 50, 150}, "nosuch", 9, "40017: No information for region nosuch in the data dictionary."},
  };
  for (const Case& c : cases) {
    write_file("r.rgn", region_file(c.values));
    FatalReport r = fatal_of([&] { set_up({"-D", "db.dd", "-d", c.region}); });
    EXPECT_EQ(r.severity, c.severity) << c.region;
    EXPECT_EQ(r.text, c.text) << c.region;
    CleanUp();
  }
  // A Count beyond the file's values is refused before its list is made
  // (the largest counts would overflow or ask for gigabytes).
  write_file("r.rgn", region_file({0, 9, 10, 20, 30, 40, 50, 150}));
  for (const char* count : {"9", "10", "500000000", "2147483646", "2147483647"}) {
    std::string dd = kDd;
    const std::string eight = "<Count>8</Count>";
    dd.replace(dd.find(eight), eight.size(), std::string("<Count>") + count + "</Count>");
    write_file("db.dd", dd);
    FatalReport r = fatal_of([&] { set_up({"-D", "db.dd", "-d", "para"}); });
    EXPECT_EQ(r.severity, 15) << count;
    EXPECT_EQ(r.text, "pitstgr: botch1.") << count;
    CleanUp();
  }
  write_file("db.dd", kDd);
  // An end equal to the text size is accepted.
  write_file("r.rgn", region_file({0, 9, 11, 20, 30, 40, 50, 150}));
  ASSERT_EQ(set_up({"-D", "db.dd", "-d", "para"}), 1);
  EXPECT_EQ(build_state().region_count, 4);
}

// A text file that changes between set-up and the index (new bytes, or
// the same size rewritten) ends the build before the index is written:
// the passes describe the old text. The work files go with it.
TEST_F(Driver, TextChangedWhileIndexed) {
  FatalRecorder recorder;
  for (const bool same_size : {false, true}) {
    SCOPED_TRACE(same_size);
    write_file("t.txt", "some words of a text to index\n");
    ASSERT_EQ(set_up({"-t", "t.txt", "-o", "out"}), 1);
    ASSERT_EQ(CreateWorkFiles(), 0);
    int32_t count = 0;
    ASSERT_EQ(BuildPass(1, &count), 1);
    CountSkips(1, count);
    FinalPass(1, 0);
    write_file("t.txt", same_size ? "some words of a TEXT to index\n" : "some more words of a text\n");
    const timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, "t.txt", times, 0), 0);
    FatalReport r = fatal_of([&] { WriteIndex(1); });
    EXPECT_EQ(r.severity, 15);
    EXPECT_EQ(r.text, "The text 't.txt' changed while it was being indexed; the index was not written.");
    for (const char* name : {"out.idx", "out.log", "out.i0", "out.m1", "out.t1"})
      EXPECT_NE(access(name, F_OK), 0) << name;
    CleanUp();
  }
}

// A multi-file text is opened at set-up and its logical length taken.
TEST_F(Driver, MultiFileTextSize) {
  FatalRecorder recorder;
  ASSERT_EQ(mkdir("m", 0777), 0);
  write_file("m/a.txt", "0123456789");
  write_file("m/b.txt", "abcde");
  ASSERT_EQ(mkdir("set", 0777), 0);
  const std::string base = dir_ + "/set/coll";
  ASSERT_TRUE(mfs_create_empty(PITAS_VERSION, "", base.c_str()));
  MfsReader* r = mfs_file_open("", base.c_str(), 0);
  ASSERT_NE(r, nullptr);
  const char* lists[3] = {"", "", ""};
  mfs_add_groups(r, (dir_ + "/m").c_str(), "*.txt", "F", nullptr, lists, 1, 0);
  ASSERT_TRUE(mfs_build_full(r, nullptr, PITAS_VERSION));
  mfs_file_close(r);
  write_file("db.dd",
             "<DB>\n <Text><MfsFiles><FileMap>" + base +
                 "</FileMap><FilterChain><SearchView>mfsio</SearchView>"
                 "<DisplayView>mfsio</DisplayView><RawView>mfsio</RawView><DisplayFmt>F</DisplayFmt>"
                 "<FileGroup><MfsDir>m</MfsDir><MfsFile>*.txt</MfsFile><MfsExpand>0</MfsExpand>"
                 "</FileGroup></FilterChain></MfsFiles></Text>\n"
                 " <Indices><Index><Name>a</Name><File><SysName>a.idx</SysName></File></Index></Indices>\n"
                 "</DB>\n");
  ASSERT_EQ(set_up({"-D", "db.dd"}), 1);
  BuildState& st = build_state();
  EXPECT_EQ(st.control->texts[0].multi_file, 1);
  EXPECT_NE(st.mfs, nullptr);
  EXPECT_EQ(st.text_size, 15);
  EXPECT_EQ(st.pass_end, 0);
  CleanUp();
  mfs_reset_state();
}

TEST_F(Driver, DataDictionaryWithoutText) {
  FatalRecorder recorder;
  write_file("db.dd", "<DB>\n <Indices><Index><Name>a</Name></Index></Indices>\n</DB>\n");
  FatalReport r = fatal_of([&] { set_up({"-D", "db.dd"}); });
  EXPECT_EQ(r.severity, 15);
  EXPECT_EQ(r.text, "40020: Data dictionary does not contain information about the text.");
}

}  // namespace
