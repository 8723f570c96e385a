// Every report of the getters, from the faulty entries of cases.dd: exact
// text and severity. Each case is run twice: under a handler that stops at
// the first fatal report, as the programs' printers do (nothing may leak
// then), and under one that returns, where the getter goes on, makes every
// report in order and gives no half-read result.
#include "addgi/getter_support.h"

namespace {

struct Case {
  int32_t entry;  // DD_Text: addgiti; DD_Region: addgiri
  const char* name;
  std::vector<std::pair<int, std::string>> reports;  // {severity, text}
};

std::string missing(const char* id, const char* path) {
  return std::string("40009: ") + id + ": Data dictionary tag '" + path + "' is missing or empty.";
}
std::string not_numeric(const char* id, const char* path, const char* value) {
  return std::string("40025: ") + id + ": Data dictionary tag '" + path + "' contains '" + value +
         "'; should be numeric.";
}
std::string all_or_none(const char* sys_name) {
  return std::string("40011: addgiti: Data dictionary requires data for all of <FrgDir>, ") +
         "<Major>, <Minor> tags or none of them for <SysName> '" + sys_name + "'.";
}

const Case kCases[] = {
    {DD_Text, "no-sysname", {{9, missing("addgifi", "<File><SysName>")}}},
    {DD_Text, "empty-sysname", {{9, missing("addgifi", "<File><SysName>")}}},
    {DD_Text, "major-without-minor", {{9, all_or_none("t1")}}},
    {DD_Text, "numbers-without-frgdir", {{9, all_or_none("t2")}}},
    {DD_Text, "negative-major", {{9, all_or_none("t3")}}},
    {DD_Text, "offset-12x", {{9, not_numeric("addgifi", "<File><Offset>", "12x")}}},
    {DD_Text, "major-x", {{9, not_numeric("addgifi", "<File><Major>", "x")}}},
    {DD_Text, "minor-two-numbers", {{9, not_numeric("addgifi", "<File><Minor>", "1 2")}}},
    {DD_Text, "moddate-negative", {{9, not_numeric("addgifi", "<File><ModDate>", "-1")}}},
    {DD_Text,
     "moddate-beyond-32-bits",
     {{9, not_numeric("addgifi", "<File><ModDate>", "4294967296")}}},
    // The failed number is the only report: the all-or-none rule is not
    // applied to a record whose numbers could not be read.
    {DD_Text,
     "major-beyond-32-bits",
     {{9, not_numeric("addgifi", "<File><Major>", "2147483648")}}},
    {DD_Text, "neither", {{9, "40022: addgiti: Either <Files> or <MfsFiles> must be specified"}}},
    {DD_Text, "empty-files", {{9, missing("addgiti", "<Files><File>")}}},
    {DD_Text, "mfs-no-filemap", {{9, missing("addgimf", "FileMap")}}},
    {DD_Text, "mfs-no-chain", {{9, missing("addgimf", "FilterChain")}}},
    {DD_Text,
     "mfs-chain-without-values",
     {{9, missing("addgimf", "<FilterChain><SearchView>")},
      {9, missing("addgimf", "DisplayView")},
      {9, missing("addgimf", "RawView")},
      {9, missing("addgimf", "DisplayFmt")}}},
    {DD_Text, "mfs-no-group", {{9, missing("addgimf", "FileGroup")}}},
    {DD_Text,
     "mfs-group-without-values",
     {{9, missing("addgimf", "<FileGroup><MfsDir>")},
      {9, missing("addgimf", "MfsFile")},
      {9, missing("addgimf", "MfsExpand")}}},
    {DD_Region, "no-count", {{9, missing("addgiri", "<Region><Count>")}}},
    {DD_Region, "count-x", {{9, not_numeric("addgiri", "<Region><Count>", "x")}}},
    {DD_Region, "no-type", {{9, missing("addgiri", "<Region><Type>")}}},
    {DD_Region, "no-file", {{15, "40000: addgifi: Bad args."}}},
    {DD_Region, "file-without-sysname", {{9, missing("addgifi", "<File><SysName>")}}},
};

MadNode* run(const Case& k, MadNode* entry, Outputs& out) {
  return k.entry == DD_Text ? out.text(entry) : out.region(entry);
}

TEST(GetterErrors, FatalReportStopsAtTheFirst) {
  Tree tree = load_fixture("cases.dd");
  for (const Case& k : kCases) {
    SCOPED_TRACE(k.name);
    MadNode* entry = entry_named(tree.get(), k.entry, k.name);
    FatalRecorder rec;
    Outputs out;
    bool stopped = false;
    try {
      run(k, entry, out);
    } catch (const FatalReport&) {
      stopped = true;
    }
    EXPECT_TRUE(stopped);
    ASSERT_EQ(rec.reports().size(), 1u);
    EXPECT_EQ(rec.reports()[0].severity, k.reports[0].first);
    EXPECT_EQ(rec.reports()[0].text, k.reports[0].second);
  }
}

TEST(GetterErrors, ReturningHandlerGetsEveryReportAndNoResult) {
  Tree tree = load_fixture("cases.dd");
  for (const Case& k : kCases) {
    SCOPED_TRACE(k.name);
    MadNode* entry = entry_named(tree.get(), k.entry, k.name);
    ReportRecorder rec;
    Outputs out;
    EXPECT_EQ(run(k, entry, out), nullptr);
    EXPECT_EQ(out.name, nullptr);
    EXPECT_EQ(out.desc, nullptr);
    EXPECT_EQ(out.list, nullptr);
    EXPECT_EQ(out.count, 0);
    ASSERT_EQ(rec.reports().size(), k.reports.size());
    for (size_t i = 0; i < k.reports.size(); ++i) {
      EXPECT_EQ(rec.reports()[i].severity, k.reports[i].first);
      EXPECT_EQ(rec.reports()[i].text, k.reports[i].second);
    }
  }
}

TEST(GetterErrors, BothFilesAndMfsFilesReportsAndReadsFiles) {
  Tree tree = load_fixture("cases.dd");
  MadNode* entry = entry_named(tree.get(), DD_Text, "both");
  ReportRecorder rec;
  Outputs out;
  EXPECT_EQ(out.text(entry), entry);
  ASSERT_EQ(rec.reports().size(), 1u);
  EXPECT_EQ(rec.reports()[0].severity, 9);
  EXPECT_EQ(rec.reports()[0].text,
            "40005: addgiti: Either <Files> or <MfsFiles> can be specified, but not both");
  ASSERT_EQ(out.count, 1);
  expect_plain(out.list[0], {0, "from-files", nullptr, -1, -1, 0, 0}, "both");
}

// addgifi and addgimf by themselves go on and return what they could read,
// with null in the missing fields, and the severity as their result.
TEST(GetterErrors, ListGettersKeepPartialRecords) {
  Tree tree = load_fixture("cases.dd");
  ReportRecorder rec;

  FileInfo* list = nullptr;
  int32_t count = 0;
  MadNode* files = madatgc(entry_named(tree.get(), DD_Text, "no-sysname"), DD_Files);
  EXPECT_EQ(addgifi(files, &list, &count), 9);
  ASSERT_EQ(count, 1);
  EXPECT_EQ(list[0].sys_name, nullptr);
  EXPECT_EQ(list[0].mod_date, 5u);
  addgi_files_free(list, count);

  list = nullptr;
  count = 0;
  MadNode* mfs = madatgc(entry_named(tree.get(), DD_Text, "mfs-chain-without-values"), DD_MfsFiles);
  EXPECT_EQ(addgimf(mfs, &list, &count), 9);
  ASSERT_EQ(count, 1);
  ASSERT_EQ(list[0].chain_count, 1);
  const FilterChainInfo& chain = list[0].chains[0];
  EXPECT_EQ(chain.search_view, nullptr);
  EXPECT_EQ(chain.display_view, nullptr);
  EXPECT_EQ(chain.raw_view, nullptr);
  EXPECT_EQ(chain.display_fmt, nullptr);
  ASSERT_EQ(chain.group_count, 1);
  EXPECT_STREQ(chain.groups[0].mfs_expand, "e");
  addgi_files_free(list, count);
  EXPECT_EQ(rec.reports().size(), 1u + 4u);
}

// A Region read without its file outputs does not read its File entries,
// so a Region without File is not refused then.
TEST(GetterErrors, RegionFilesAreReadOnlyWhenAskedFor) {
  Tree tree = load_fixture("cases.dd");
  MadNode* region = entry_named(tree.get(), DD_Region, "no-file");
  ReportRecorder rec;
  long count = 0;
  int32_t pairs = 0;
  EXPECT_EQ(addgiri(region, nullptr, nullptr, &count, &pairs, nullptr, nullptr), region);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(pairs, 1);
  EXPECT_TRUE(rec.reports().empty());
}

TEST(GetterErrors, BadArguments) {
  Tree tree = load_fixture("collection.dd");
  Tree set = load_fixture("mfs.dd");
  MadNode* text = madatgc(madatgc(tree.get(), DD_DB), DD_Text);
  MadNode* files = madatgc(text, DD_Files);
  MadNode* mfs = madatgc(madatgc(madatgc(set.get(), DD_DB), DD_Text), DD_MfsFiles);
  FileInfo* list = nullptr;
  int32_t count = 0;
  long number = 0;
  int32_t pairs = 0;
  struct Call {
    const char* what;
    int (*call)(MadNode*, MadNode*, MadNode*, FileInfo**, int32_t*, long*, int32_t*);
    const char* text;
  } calls[] = {
      {"addgiti on Files",
       [](MadNode*, MadNode* f, MadNode*, FileInfo** l, int32_t* c, long*, int32_t*) {
         return addgiti(f, nullptr, nullptr, l, c) ? 1 : 0;
       },
       "40000: addgiti: Bad args."},
      {"addgiti on null",
       [](MadNode*, MadNode*, MadNode*, FileInfo** l, int32_t* c, long*, int32_t*) {
         return addgiti(nullptr, nullptr, nullptr, l, c) ? 1 : 0;
       },
       "40000: addgiti: Bad args."},
      {"addgifi on Text",
       [](MadNode* t, MadNode*, MadNode*, FileInfo** l, int32_t* c, long*, int32_t*) {
         return addgifi(t, l, c) == 15 ? 0 : 1;
       },
       "40000: addgifi: Bad args."},
      {"addgifi without outputs",
       [](MadNode*, MadNode* f, MadNode*, FileInfo**, int32_t*, long*, int32_t*) {
         return addgifi(f, nullptr, nullptr) == 15 ? 0 : 1;
       },
       "40000: addgifi: Bad args."},
      {"addgimf on Files",
       [](MadNode*, MadNode* f, MadNode*, FileInfo** l, int32_t* c, long*, int32_t*) {
         return addgimf(f, l, c) == 15 ? 0 : 1;
       },
       "40000: addgimf: Bad args."},
      {"addgimf without list",
       [](MadNode*, MadNode*, MadNode* m, FileInfo**, int32_t* c, long*, int32_t*) {
         return addgimf(m, nullptr, c) == 15 ? 0 : 1;
       },
       "40000: addgimf: Bad args."},
      {"addgiri on Text",
       [](MadNode* t, MadNode*, MadNode*, FileInfo** l, int32_t* c, long* n, int32_t* p) {
         return addgiri(t, nullptr, nullptr, n, p, l, c) ? 1 : 0;
       },
       "40000: addgiri: Bad args."},
  };
  for (const Call& k : calls) {
    SCOPED_TRACE(k.what);
    ReportRecorder rec;
    EXPECT_EQ(k.call(text, files, mfs, &list, &count, &number, &pairs), 0);
    EXPECT_EQ(list, nullptr);
    EXPECT_EQ(count, 0);
    ASSERT_EQ(rec.reports().size(), 1u);
    EXPECT_EQ(rec.reports()[0].severity, 15);
    EXPECT_EQ(rec.reports()[0].text, k.text);
  }
}

// Under the programs' printer a getter error ends the program with status
// 1 and the message without its number on standard error.
TEST(GetterErrorsDeathTest, PrinterEndsTheProgram) {
  Tree tree = load_fixture("cases.dd");
  MadNode* entry = entry_named(tree.get(), DD_Text, "offset-12x");
  EXPECT_EXIT(
      {
        set_error_handler(print_message);
        Outputs out;
        out.text(entry);
      },
      ::testing::ExitedWithCode(1),
      "^addgifi: Data dictionary tag '<File><Offset>' contains '12x'; should be numeric\\.\n$");
}

}  // namespace
