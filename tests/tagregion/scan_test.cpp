// The finding over plain texts: tag position records against pairs worked
// out by hand from the rules (0-based, both ends inclusive: an element from
// its start tag's "<" to its end tag's ">", a start tag from "<" to ">", an
// attribute value over its own bytes).
#include "support.h"

namespace {

using Pairs = std::vector<std::pair<uint32_t, uint32_t>>;

// Slots: a 0, b 1, A-id 2, A-n 3, b-T 4, c-T 5.
const char* const kNames =
    "<region><element>a</element><element>b</element></region>\n"
    "<region><att>id</att><att>n</att></region>\n"
    "<region><tag>b</tag><tag>c</tag></region>\n";

struct Case {
  const char* what;
  std::string text;
  int slot;
  Pairs want;
};

TEST(Scan, ElementPairsByHand) {
  pt::Scratch s;
  TagNameLists lists = pt::lists_from(s, kNames);
  const std::vector<Case> cases = {
      {"one element", "<a>x</a>", 0, {{0, 7}}},
      {"same name nested and repeated", "<a><a></a><a></a></a>", 0, {{0, 20}, {3, 9}, {10, 16}}},
      {"outer never closed keeps closed inner", "<a><a>x</a><a>y</a>", 0, {{3, 10}, {11, 18}}},
      {"nothing closed", "<a><a>", 0, {}},
      {"stray end tag first", "</a><a></a>", 0, {{4, 10}}},
      {"bytes 0 and 255 are text", std::string("\xff<a>\0\xff</a>", 10), 0, {{1, 9}}},
      {"malformed tag before", "<a <a>x</a>", 0, {{3, 10}}},
      {"unknown tags are text", "<z><a></z></a>", 0, {{3, 13}}},
      {"end tag with a blank is another name", "<a></a ></a>", 0, {{0, 11}}},
      {"tag-only name, start and end tags", "<c>t</c>", 5, {{0, 2}, {4, 7}}},
      {"start-tag region of an element", "<b><b></b></b>", 4, {{0, 2}, {3, 5}}},
  };
  for (const Case& c : cases) {
    ReportRecorder quiet;
    EXPECT_EQ(pt::pairs_of(pt::scan_plain(s, c.text, lists), c.slot), c.want) << c.what;
  }
}

TEST(Scan, SixtyNestedInstancesAllGetTheirEnds) {
  pt::Scratch s;
  TagNameLists lists = pt::lists_from(s, kNames);
  std::string text;
  for (int i = 0; i < 60; ++i) text += "<a>";
  for (int i = 0; i < 60; ++i) text += "</a>";
  // Instance i starts at 3i; the j-th end tag (at 180 + 4j) closes
  // instance 59 - j, so instance i ends at 180 + 4(59 - i) + 3.
  Pairs want;
  for (uint32_t i = 0; i < 60; ++i) want.push_back({3 * i, 419 - 4 * i});
  EXPECT_EQ(pt::pairs_of(pt::scan_plain(s, text, lists), 0), want);
}

TEST(Scan, AttributeValuesSpanTheirOwnBytes) {
  pt::Scratch s;
  TagNameLists lists = pt::lists_from(s, kNames);
  //            0         1         2
  //            0123456789012345678901234
  std::string t = "<b id=\"xy\" k=1 n=v12></b>";
  std::vector<pt::Record> want = {{4, 0},  {4, 20}, {2, 7}, {2, 8},
                                  {3, 17}, {3, 19}, {1, 0}, {1, 24}};
  EXPECT_EQ(pt::scan_plain(s, t, lists), want);

  // An empty quoted value gives the pair (q + 1, q), q its opening quote.
  EXPECT_EQ(pt::pairs_of(pt::scan_plain(s, "<b id=\"\">", lists), 2), (Pairs{{7, 6}}));
  // Quoted values may hold blanks and delimiters.
  EXPECT_EQ(pt::pairs_of(pt::scan_plain(s, "<b id=\"a </b> c\">", lists), 2),
            (Pairs{{7, 14}}));
  // A blank after "=" starts an unquoted value that runs to its closing
  // quote, as the tokenizer reads it.
  EXPECT_EQ(pt::pairs_of(pt::scan_plain(s, "<b id= \"xy\">", lists), 2), (Pairs{{6, 10}}));
  // Attributes of unlisted tags and of end tags give nothing.
  EXPECT_TRUE(pt::pairs_of(pt::scan_plain(s, "<z id=\"q\"></b id=x>", lists), 2).empty());
}

TEST(Scan, StrayEndTagAndMangledTagReports) {
  pt::Scratch s;
  TagNameLists lists = pt::lists_from(s, kNames);
  {
    ReportRecorder r;
    EXPECT_TRUE(pt::scan_plain(s, "x</a>", lists).empty());
    ASSERT_EQ(r.reports().size(), 1u);
    EXPECT_EQ(r.reports()[0].severity, 2);
    EXPECT_EQ(r.reports()[0].text, "80009: Trying to pop unpushed tag a, input offset 2 stack: ");
  }
  {
    ReportRecorder r;
    pt::scan_plain(s, "ab<a <a></a>", lists, 1);
    ASSERT_EQ(r.reports().size(), 1u);
    EXPECT_EQ(r.reports()[0].text, "80004: Mangled tag error at offset 3");
  }
  {
    ReportRecorder r;  // without the trace flag mangled tags are silent
    pt::scan_plain(s, "ab<a <a></a>", lists, 0);
    EXPECT_TRUE(r.reports().empty());
  }
}

TEST(Scan, NoTextRecordReports40018) {
  pt::Scratch s;
  TagNameLists lists = pt::lists_from(s, kNames);
  ReportRecorder r;
  EXPECT_EQ(md_find("names.txt", &lists, nullptr, 0, "db.dd", 0, nullptr), 1);
  ASSERT_EQ(r.reports().size(), 1u);
  EXPECT_EQ(r.reports()[0].severity, 9);
  EXPECT_EQ(r.reports()[0].text, "40018: No text file specified in data dictionary 'db.dd'.");
}

TEST(Scan, MissingTextFailsWithoutRecords) {
  pt::Scratch s;
  TagNameLists lists = pt::lists_from(s, kNames);
  FileInfo info{};
  std::string missing = s.path("missing.sgm");
  info.sys_name = missing.data();
  EXPECT_EQ(md_find("names.txt", &lists, &info, 1, "db.dd", 0, nullptr), 1);
}

}  // namespace
