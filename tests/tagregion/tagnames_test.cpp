// The tag name file: both forms, slots, limits and refusals.
#include "support.h"

namespace {

std::vector<std::string> rows(const TagNameList& l) {
  return std::vector<std::string>(l.names.begin(), l.names.begin() + l.count);
}

TEST(TagNames, PlainListTrimsAndSkipsEmptyLines) {
  pt::Scratch s;
  TagNameLists l = pt::lists_from(s, "para\n\n \t note \r\n");
  EXPECT_EQ(rows(l.elements), (std::vector<std::string>{"para", "note"}));
  EXPECT_EQ(l.elements.slots, (std::vector<int32_t>{0, 1}));
  EXPECT_EQ(l.elements.third, (std::vector<int32_t>{5, 5}));
  EXPECT_EQ(l.attributes.count, 0);
  EXPECT_EQ(l.tags.count, 0);
}

TEST(TagNames, TaggedFormSlotsAndTagOnlyNames) {
  pt::Scratch s;
  TagNameLists l = pt::lists_from(
      s,
      "<docs>\n"
      " <region><name>x</name><element> p </element><desc>d</desc><element>q</element></region>\n"
      " <region><att>id</att></region>\n"
      " <region><tag>q</tag><element>ignored</element><tag>img</tag></region>\n"
      "</docs>\n");
  EXPECT_EQ(rows(l.elements), (std::vector<std::string>{"p", "q"}));
  EXPECT_EQ(rows(l.attributes), (std::vector<std::string>{"id"}));
  EXPECT_EQ(rows(l.tags), (std::vector<std::string>{"q", "img"}));
  EXPECT_EQ(l.attributes.slots, (std::vector<int32_t>{2}));
  EXPECT_EQ(l.tags.slots, (std::vector<int32_t>{3, 4}));
  // q is an element (slot 1); img is scanned after the elements, E stays 2.
  EXPECT_EQ(l.tags.third, (std::vector<int32_t>{1, -1}));
  EXPECT_EQ(l.elements.count, 2);
  EXPECT_EQ(l.elements.names, (std::vector<std::string>{"p", "q", "img"}));
  EXPECT_EQ(l.elements.slots, (std::vector<int32_t>{0, 1, 4}));
  EXPECT_EQ(l.elements.third, (std::vector<int32_t>{2, 2, 4}));
}

TEST(TagNames, ListFullWarnsOnceAndDropsTheRest) {
  pt::Scratch s;
  std::string text;
  for (int i = 0; i < 256; ++i) text += "n" + std::to_string(i) + "\n";
  ReportRecorder r;
  TagNameLists l = pt::lists_from(s, text);
  EXPECT_EQ(l.elements.count, 254);
  EXPECT_EQ(l.elements.names.back(), "n253");
  // Only the first warning of a run is given (another test may have had it).
  ASSERT_LE(r.reports().size(), 1u);
  if (!r.reports().empty()) {
    EXPECT_EQ(r.reports()[0].severity, 2);
    EXPECT_EQ(r.reports()[0].text, "80031: More than 254 regions defined. Remainder ignored.");
  }
}

struct Refusal {
  const char* what;
  std::string text;
  int severity;
  std::string report;
};

TEST(TagNames, RefusedFilesReportBeforeAnythingChanges) {
  pt::Scratch s;
  std::string many;
  for (int i = 0; i < 200; ++i) many += "<region><element>e" + std::to_string(i) + "</element></region>";
  for (int i = 0; i < 55; ++i) many += "<region><att>a" + std::to_string(i) + "</att></region>";
  std::string path = s.path("names.txt");
  const std::vector<Refusal> cases = {
      {"unclosed region", "<region><element>a</element>\n", 9,
       "80002: Error in name file '" + path + "'.  Last tag processed correctly: 'None yet'"},
      {"entry that is no region", "<region><att>x</att></region><name>y</name>", 9,
       "80002: Error in name file '" + path + "'.  Last tag processed correctly: 'x'"},
      {"region without names", "<region><desc>d</desc></region>", 9,
       "80002: Error in name file '" + path + "'.  Last tag processed correctly: 'None yet'"},
      {"255 names in all", many, 9,
       "80003: Too many regions in name file '" + path + "': 255 names in all, at most 254."},
      {"element twice", "a\nb\na\n", 6,
       "80028: There is a duplicated tag definition in the tags file \"" + path + "\""},
      {"name with a delimiter", "<region><att>a/b</att></region>", 9,
       "80000: Can't define tags, status 9"},
      {"name over 256 bytes", std::string(257, 'n') + "\n", 9,
       "80000: Can't define tags, status 9"},
      {"tag-list name twice", "<region><element>a</element></region><region><tag>a</tag><tag>a</tag></region>", 6,
       "80028: There is a duplicated tag definition in the tags file \"" + path + "\""},
  };
  for (const Refusal& c : cases) {
    s.write("names.txt", c.text);
    ReportRecorder r;
    TagNameLists l;
    region_load_tagnames(path.c_str(), &l);
    bool found = false;
    for (const RecordedReport& rep : r.reports())
      if (rep.severity == c.severity && rep.text == c.report) found = true;
    EXPECT_TRUE(found) << c.what << (r.reports().empty() ? "" : ": " + r.reports()[0].text);
  }
}

TEST(TagNames, MissingFileIsAnOpenFailure) {
  pt::Scratch s;
  TagNameLists l;
  EXPECT_EQ(region_load_tagnames(s.path("none").c_str(), &l), 1);
}

}  // namespace
