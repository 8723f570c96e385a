// Region entries merged into data dictionaries: where a new Regions section
// and a new Region go, replacement in place, FastRegion entries, and the
// reports for values and tags the builder does not take.
#include <gtest/gtest.h>

#include <string>

#include "dd/dd.h"
#include "dd/scratch.h"
#include "support/recorded_reports.h"

namespace {

class RegionEntry : public ScratchDir {
 protected:
  MadNode* read_text(const std::string& text) {
    write_file(path("in.dd"), text);
    MadNode* root = addpadd(path("in.dd").c_str());
    EXPECT_NE(root, nullptr);
    return root;
  }
  std::string written(const MadNode* root) {
    EXPECT_EQ(addutwrdd(path("out.dd").c_str(), root), 0);
    return read_file(path("out.dd"));
  }
  // The tag names of DB's tag children in order.
  static std::string sections(const MadNode* root) {
    std::string out;
    for (const MadNode* c = root->child->child; c; c = c->next)
      if (c->kind == MAD_TAG) out += std::string(out.empty() ? "" : " ") + DdTagTable[c->tag_id].name;
    return out;
  }
  FileInfo file(const char* name, uint32_t offset) {
    FileInfo f{};
    f.sys_name = const_cast<char*>(name);
    f.major = f.minor = -1;
    f.offset = offset;
    f.mod_date = 7;
    return f;
  }
};

const char kOneText[] =
    "<DB>\n"
    "\n"
    " <Text>\n"
    "  <Name>T</Name>\n"
    "  <Files>\n"
    "   <File>\n"
    "    <SysName>t.txt</SysName>\n"
    "    <ModDate>100</ModDate>\n"
    "    <Offset>0</Offset>\n"
    "   </File>\n"
    "  </Files>\n"
    " </Text>\n"
    "</DB>\n";

TEST_F(RegionEntry, NewRegionGivesTheWrittenLayout) {
  MadNode* root = read_text(kOneText);
  FileInfo f = file("r.rgn", 512);
  // The callers' order; the anchors put the entries in their own order.
  EXPECT_EQ(addmdmr(root, "para",
                    {{DD_Name, "para"}, {DD_File, &f}, {DD_Count, 10L}, {DD_Desc, "paragraphs"},
                     {DD_Type, "pairs"}}),
            0);
  const std::string expected = std::string(kOneText, sizeof kOneText - 1 - 6) +
                               "\n"
                               " <Regions>\n"
                               "\n"
                               "  <Region>\n"
                               "   <Name>para</Name>\n"
                               "   <Desc>paragraphs</Desc>\n"
                               "   <File>\n"
                               "    <SysName>r.rgn</SysName>\n"
                               "    <ModDate>7</ModDate>\n"
                               "    <Offset>512</Offset>\n"
                               "   </File>\n"
                               "   <Count>10</Count>\n"
                               "   <Type>pairs</Type>\n"
                               "  </Region>\n"
                               " </Regions>\n"
                               "</DB>\n";
  const std::string first = written(root);
  EXPECT_EQ(first, expected);

  // A second identical merge changes nothing.
  EXPECT_EQ(addmdmr(root, "para",
                    {{DD_Name, "para"}, {DD_File, &f}, {DD_Count, 10L}, {DD_Desc, "paragraphs"},
                     {DD_Type, "pairs"}}),
            0);
  EXPECT_EQ(written(root), first);
  madmtfr(root);
}

TEST_F(RegionEntry, NewRegionsSectionPlacement) {
  struct Case {
    const char* dd;
    const char* expected;
  } cases[] = {
      {"<DB><Text></Text><Indices></Indices><Indices></Indices><Locks></Locks></DB>",
       "Text Indices Indices Regions Locks"},
      {"<DB><Locks></Locks><Text></Text><Display></Display></DB>", "Locks Text Regions Display"},
      {"<DB><Locks></Locks><Grammar></Grammar></DB>", "Regions Locks Grammar"},
  };
  for (const Case& k : cases) {
    MadNode* root = read_text(k.dd);
    FileInfo f = file("r.rgn", 0);
    EXPECT_EQ(addmdmr(root, "r", {{DD_Name, "r"}, {DD_File, &f}}), 0);
    EXPECT_EQ(sections(root), k.expected) << k.dd;
    madmtfr(root);
  }
}

TEST_F(RegionEntry, ExistingRegionIsUpdatedInPlace) {
  const char* dd =
      "<DB>\n\n <Regions>\n\n  <Region>\n   <Name>a</Name>\n   <Desc>old</Desc>\n"
      "# kept comment\n   <File>\n    <SysName>old.rgn</SysName>\n   </File>\n"
      "   <Count>1</Count>\n   <Type>contig</Type>\n   <FastRegion>\n"
      "    <IndexName>w</IndexName>\n   </FastRegion>\n  </Region>\n\n  <Region>\n"
      "   <Name>b</Name>\n  </Region>\n\n  <UpdateCmd>u</UpdateCmd>\n </Regions>\n</DB>\n";
  MadNode* root = read_text(dd);
  FileInfo f = file("new.rgn", 40);
  EXPECT_EQ(addmdmr(root, "a",
                    {{DD_Name, "a"}, {DD_File, &f}, {DD_Count, 3L}, {DD_Desc, "new"},
                     {DD_Type, "pairs"}}),
            0);
  FileInfo g = file("c.rgn", 0);
  EXPECT_EQ(addmdmr(root, "c", {{DD_Name, "c"}, {DD_File, &g}}), 0);
  EXPECT_EQ(written(root),
            "<DB>\n\n <Regions>\n\n  <Region>\n   <Name>a</Name>\n   <Desc>new</Desc>\n"
            "# kept comment\n   <File>\n    <SysName>new.rgn</SysName>\n    <ModDate>7</ModDate>\n"
            "    <Offset>40</Offset>\n   </File>\n   <Count>3</Count>\n   <Type>pairs</Type>\n"
            "   <FastRegion>\n    <IndexName>w</IndexName>\n   </FastRegion>\n  </Region>\n\n"
            "  <Region>\n   <Name>b</Name>\n  </Region>\n\n  <Region>\n   <Name>c</Name>\n"
            "   <File>\n    <SysName>c.rgn</SysName>\n    <ModDate>7</ModDate>\n"
            "    <Offset>0</Offset>\n   </File>\n  </Region>\n\n  <UpdateCmd>u</UpdateCmd>\n"
            " </Regions>\n</DB>\n");
  madmtfr(root);
}

TEST_F(RegionEntry, FastRegionsAreKeyedByIndexName) {
  MadNode* root = read_text("<DB><Regions><Region><Name>a</Name></Region></Regions></DB>");
  FileInfo f = file("f.rgn", 8);
  f.fragmented = 1;
  f.frg_dir = const_cast<char*>("/frg");
  f.major = 2;
  f.minor = 0;
  f.mod_date = 4294967295u;
  EXPECT_EQ(addmdmr(root, "a", {{DD_FastRegion, "w1", &f}}), 0);
  EXPECT_EQ(addmdmr(root, "a", {{DD_FastRegion, "w2", &f}}), 0);
  f.offset = 16;
  EXPECT_EQ(addmdmr(root, "a", {{DD_FastRegion, "w1", &f}}), 0);
  // The first FastRegion goes to the front; inside a new one the File (placed
  // by Desc or Name, neither there) goes before the IndexName.
  const std::string frg = "<SysName>f.rgn</SysName><FrgDir>/frg</FrgDir><Major>2</Major>"
                          "<Minor>0</Minor><ModDate>4294967295</ModDate>";
  std::string out = written(root);
  std::string flat;
  for (char c : out)
    if (c != '\n' && c != ' ') flat += c;
  EXPECT_EQ(flat, "<DB><Regions><Region><FastRegion><File>" + frg +
                      "<Offset>16</Offset></File><IndexName>w1</IndexName></FastRegion>"
                      "<FastRegion><File>" + frg +
                      "<Offset>8</Offset></File><IndexName>w2</IndexName></FastRegion>"
                      "<Name>a</Name></Region></Regions></DB>");
  madmtfr(root);
}

TEST_F(RegionEntry, ValuesAndTagsItDoesNotTake) {
  ReportRecorder rec;
  MadNode* root = read_text(kOneText);
  EXPECT_EQ(addmdmr(root, "r", {{DD_Name, "r"}, {DD_Type, "ranges"}}), 0);
  ASSERT_EQ(rec.reports().size(), 1u);
  EXPECT_EQ(rec.reports()[0].severity, 15);
  EXPECT_EQ(rec.reports()[0].text, "40007: addmdmr: Illegal value for region type: ranges.");
  const std::string before = written(root);
  EXPECT_NE(before.find("<Type>ranges</Type>"), std::string::npos);  // added all the same

  recorded_reports().clear();
  EXPECT_EQ(addmdmr(root, "s", {{DD_Name, "s"}, {DD_Grammar, "x"}}), 15);
  EXPECT_EQ(addmdmr(root, "s", {{DD_Name, "s"}, {DD_Display, "x"}}), 15);
  ASSERT_EQ(rec.reports().size(), 2u);
  EXPECT_EQ(rec.reports()[0].text, "10002: addmdmr:  Can't handle Grammar tags.");
  EXPECT_EQ(rec.reports()[1].text, "10006: addmdmr:  Invalid tag value 47.");
  for (const RecordedReport& r : rec.reports()) EXPECT_EQ(r.severity, 15);
  EXPECT_EQ(written(root), before);  // nothing merged
  madmtfr(root);
}

}  // namespace
