// Every report of reading a data dictionary, from small malformed files:
// exact text and severity, and the grammar's decisions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dd/dd.h"
#include "dd/scratch.h"
#include "msg/msg.h"
#include "support/recorded_reports.h"

namespace {

using Errors = ScratchDir;

std::vector<RecordedReport> reports_of_reading(const std::string& path,
                                               std::initializer_list<int32_t> sections = {}) {
  ReportRecorder rec;
  MadNode* root = addpadd(path.c_str(), sections);
  madmtfr(root);
  return rec.reports();
}

TEST_F(Errors, MalformedFilesReportExactTexts) {
  struct Case {
    const char* file;
    std::vector<std::pair<int, std::string>> expected;  // {severity, text}; %P is the path
  } cases[] = {
      {"unclosed.dd",
       {{0, "madiopa: Line 3, File ended before closing tag (Text)"},
        {0, "madiopa: Line 1, File ended before closing tag (DB)"},
        {9, "10005: \naddpadd: Error parsing data dictionary file '%P'."}}},
      {"mismatched.dd",
       {{0, "madiopa: Line 4, End tag (Desc) does not match start tag (Name)"},
        {9, "10005: \naddpadd: Error parsing data dictionary file '%P'."}}},
      {"text_before_db.dd",
       {{11, "10004: \naddpadd: There appears to be an error in data dictionary '%P'"}}},
      {"no_db.dd",
       {{11, "10007: \naddpadd: File '%P' doesn't look like a data dictionary"},
        {9, "10005: \naddpadd: Error parsing data dictionary file '%P'."}}},
      {"refused_tag.dd",
       {{13, "madiopa: Line 6, tag id Name is invalid here"},
        {9, "10005: \naddpadd: Error parsing data dictionary file '%P'."}}},
      {"unclosed_comment_tag.dd",
       {{0, "madiopa: Line 1, File ended before closing tag (DB)"},
        {9, "10005: \naddpadd: Error parsing data dictionary file '%P'."}}},
      {"missing.dd", {{16, "10003: \naddpadd: Unable to open data dictionary file '%P'."}}},
  };
  for (const Case& k : cases) {
    const std::string file = fixture(k.file);
    const std::vector<RecordedReport> got = reports_of_reading(file);
    ASSERT_EQ(got.size(), k.expected.size()) << k.file;
    for (size_t i = 0; i < got.size(); ++i) {
      std::string text = k.expected[i].second;
      const size_t at = text.find("%P");
      if (at != std::string::npos) text.replace(at, 2, file);
      EXPECT_EQ(got[i].severity, k.expected[i].first) << k.file;
      EXPECT_EQ(got[i].text, text) << k.file;
    }
  }
}

TEST_F(Errors, TagBeforeAnySectionFallsThroughInEveryParse) {
  write_file(path("ok.dd"), "<DB>\n\n <Regions>\n </Regions>\n</DB>\n");
  write_file(path("bad.dd"), "<DB>\n<Name>x</Name>\n</DB>\n");
  const std::vector<std::pair<int, std::string>> expected = {
      {15, "30003: addpagc: Fell through case with 0."},
      {13, "madiopa: Line 2, tag id Name is invalid here"},
      {9, "10005: \naddpadd: Error parsing data dictionary file '" + path("bad.dd") + "'."},
  };
  // The same reports whatever was parsed before: the section is reset.
  for (int round = 0; round < 2; ++round) {
    EXPECT_TRUE(reports_of_reading(path("ok.dd")).empty());
    const std::vector<RecordedReport> got = reports_of_reading(path("bad.dd"));
    ASSERT_EQ(got.size(), expected.size());
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].severity, expected[i].first);
      EXPECT_EQ(got[i].text, expected[i].second);
    }
  }
}

TEST_F(Errors, SelectiveReadOfANonSection) {
  const std::vector<RecordedReport> got = reports_of_reading(fixture("canonical.dd"), {DD_Name});
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].severity, 15);
  EXPECT_EQ(got[0].text,
            "40024: \naddpadd: Tag Name is not at the top level and thus can't be selectively "
            "parsed.");
}

// The grammar, tag by tag: open tags from outermost to innermost.
TEST(Grammar, WhichTagMayStandWhere) {
  ReportRecorder rec;
  struct Case {
    std::vector<int32_t> open;
    int32_t tag;
    int allowed;
  } cases[] = {
      {{}, DD_DB, 1},
      {{DD_DB}, DD_DB, 0},
      {{DD_DB}, DD_Text, 1},
      {{DD_DB, DD_Text}, DD_AuditTrail, 1},
      {{DD_DB, DD_Text, DD_AuditTrail}, DD_SysName, 1},
      {{DD_DB, DD_Text, DD_Files}, DD_SysName, 0},
      {{DD_DB, DD_Text}, DD_Name, 1},
      {{DD_DB}, DD_Name, 0},
      {{DD_DB}, DD_Indices, 1},
      {{DD_DB, DD_Indices, DD_Index, DD_LongestMatch}, DD_Resolution, 1},
      {{DD_DB, DD_Indices, DD_Index}, DD_Resolution, 0},
      {{DD_DB, DD_Indices, DD_Index, DD_Mappings, DD_Map, DD_To}, DD_CharRange, 1},
      {{DD_DB, DD_Indices, DD_Index}, DD_NumberChars, 0},
      {{DD_DB, DD_Indices, DD_Index}, DD_NumberIndexPts, 0},
      {{DD_DB, DD_Indices, DD_Index, DD_FastFind, DD_FastFindWordList}, DD_File, 1},
      {{DD_DB}, DD_Regions, 1},
      {{DD_DB, DD_Regions, DD_Region, DD_File}, DD_Desc, 1},
      {{DD_DB, DD_Regions, DD_Region, DD_FastRegion}, DD_IndexName, 1},
      {{DD_DB, DD_Regions, DD_Region}, DD_IndexName, 0},
      {{DD_DB, DD_Regions}, DD_UpdateCmd, 1},
      {{DD_DB, DD_Regions, DD_Region}, DD_Text, 0},  // a section inside a section
      {{DD_DB}, DD_Locks, 1},
      {{DD_DB, DD_Locks, DD_Lock}, DD_Count, 1},
      {{DD_DB, DD_Locks}, DD_Count, 0},
      {{DD_DB}, DD_Grammar, 1},
      {{DD_DB, DD_Grammar}, DD_Name, 0},
      {{DD_DB, DD_Text}, DD_Thesaurus, 1},
  };
  TedStack* stack = tedstcr();
  for (const Case& k : cases) {
    stack->count = 0;
    for (int32_t id : k.open) {
      // Meeting the open section tags makes their section current.
      addpagc(id, stack);
      tedstps(stack, id);
    }
    EXPECT_EQ(addpagc(k.tag, stack) != 0, k.allowed != 0)
        << DdTagTable[k.tag].name << " under " << k.open.size() << " tags";
  }
  tedstfr(stack);
  EXPECT_TRUE(rec.reports().empty());
}

// Under the programs' printer a severity of 3 or more ends the program with
// status 1 after printing the text without its number.
TEST(Printer, MissingFileEndsTheProgram) {
  start_io();
  EXPECT_EXIT(
      {
        set_error_handler(print_message);
        addpadd("/nonexistent/dir/x.dd");
      },
      ::testing::ExitedWithCode(1),
      "\naddpadd: Unable to open data dictionary file '/nonexistent/dir/x.dd'.\\[No such file");
}

}  // namespace
