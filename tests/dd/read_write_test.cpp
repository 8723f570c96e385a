// Reading and writing data dictionaries: byte-for-byte round trips of the
// canonical layout, selective reads, and the check before <DB>.
#include <gtest/gtest.h>

#include <string>

#include "dd/dd.h"
#include "dd/scratch.h"
#include "madat/madat.h"
#include "support/recorded_reports.h"

namespace {

using ReadWrite = ScratchDir;

// Reads in with the sections given, writes to out; the written text.
std::string round_trip(const std::string& in, const std::string& out,
                       std::initializer_list<int32_t> sections) {
  MadNode* root = addpadd(in.c_str(), sections);
  EXPECT_NE(root, nullptr);
  EXPECT_EQ(addutwrdd(out.c_str(), root), 0);
  madmtfr(root);
  return read_file(out);
}

TEST_F(ReadWrite, CanonicalLayoutRoundTripsByteForByte) {
  ReportRecorder rec;
  const std::string original = read_file(fixture("canonical.dd"));
  ASSERT_FALSE(original.empty());
  const std::string in = path("in.dd");
  write_file(in, original);
  EXPECT_EQ(round_trip(in, path("out.dd"), {}), original);
  EXPECT_EQ(round_trip(in, path("out.dd"), {DD_Regions, DD_Indices}), original);
  for (int32_t section : {DD_Text, DD_Regions, DD_Indices, DD_Locks, DD_Grammar, DD_Display,
                          DD_Thesaurus})
    EXPECT_EQ(round_trip(in, path("out.dd"), {section}), original) << section;
  // Rewriting the file in place gives the same bytes too.
  EXPECT_EQ(round_trip(in, in, {}), original);
  EXPECT_TRUE(rec.reports().empty());
}

TEST_F(ReadWrite, SelectiveReadKeepsOtherSectionsRaw) {
  const std::string in = fixture("canonical.dd");
  MadNode* root = addpadd(in.c_str(), {DD_Regions});
  ASSERT_NE(root, nullptr);
  MadNode* db = madatgc(root, DD_DB);
  MadNode* text = madatgc(db, DD_Text);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->child, nullptr);
  EXPECT_EQ(std::string(text->value).rfind("\n  <Name>Sample</Name>\n  <Desc>", 0), 0u);
  MadNode* regions = madatgc(db, DD_Regions);
  ASSERT_NE(madatgc(regions, DD_Region), nullptr);
  madmtfr(root);

  // A later full read in the same process parses every section again.
  root = addpadd(in.c_str());
  ASSERT_NE(root, nullptr);
  text = madatgc(madatgc(root, DD_DB), DD_Text);
  EXPECT_EQ(std::string(madatgv(madatgc(text, DD_Name))), "Sample");
  madmtfr(root);
}

TEST_F(ReadWrite, ANulByteFailsTheReadInsteadOfCuttingASection) {
  // Read selectively, the Text section is one raw value; a NUL byte in its
  // comment used to end that value, so writing the dictionary back dropped
  // the text's Files entry.
  const std::string text = std::string(
      "<DB>\n\n <Text>\n  <Name>T</Name>\n# a\0b\n  <Files>\n   <File>\n"
      "    <SysName>t.txt</SysName>\n    <ModDate>100</ModDate>\n    <Offset>0</Offset>\n"
      "   </File>\n  </Files>\n </Text>\n</DB>\n", 173);
  write_file(path("nul.dd"), text);
  ReportRecorder rec;
  EXPECT_EQ(addpadd(path("nul.dd").c_str(), {DD_Regions}), nullptr);
  EXPECT_EQ(addpadd(path("nul.dd").c_str()), nullptr);
  EXPECT_EQ(read_file(path("nul.dd")), text);
}

TEST_F(ReadWrite, HeaderCommentsAreRootNodesBeforeDB) {
  MadNode* root = addpadd(fixture("canonical.dd").c_str());
  ASSERT_NE(root, nullptr);
  const MadNode* c = root->child;
  ASSERT_EQ(c->kind, MAD_COMMENT);
  EXPECT_EQ(std::string(c->value), "# A data dictionary in the layout the writer gives it.\n");
  ASSERT_EQ(c->next->kind, MAD_COMMENT);
  EXPECT_EQ(std::string(c->next->value), "#   Header comments stand before <DB>.");
  EXPECT_EQ(c->next->next->tag_id, DD_DB);
  madmtfr(root);
}

// A comment first in DB makes DB's end tag follow its last child directly;
// a comment last in DB must still end its line.
TEST_F(ReadWrite, CommentLastInDBKeepsItsLine) {
  ReportRecorder rec;
  const std::string text =
      "<DB>\n# first\n\n <Text>\n  <Name>n</Name>\n </Text>\n# last\n</DB>\n";
  write_file(path("c.dd"), text);
  EXPECT_EQ(round_trip(path("c.dd"), path("out.dd"), {}), text);
  EXPECT_EQ(round_trip(path("out.dd"), path("out2.dd"), {}), text);
  EXPECT_TRUE(rec.reports().empty());
}

TEST_F(ReadWrite, PrologueIsOneStreamAcrossPieces) {
  ReportRecorder rec;
  struct Case {
    std::string prologue;
  } cases[] = {
      {std::string(197, ' ') + "<DB>"},                // <DB> across the 199-byte piece end
      {"#" + std::string(250, 'x') + "\n<DB>"},        // a comment longer than a piece
      {"\n\n  \t# c\n   # d\n" + std::string(198, ' ') + "\n<DB>"},
  };
  for (const Case& k : cases) {
    write_file(path("p.dd"), k.prologue + "\n</DB>\n");
    MadNode* root = addpadd(path("p.dd").c_str());
    EXPECT_NE(root, nullptr);
    madmtfr(root);
  }
  EXPECT_TRUE(rec.reports().empty());
}

TEST_F(ReadWrite, FiveHundredCommentLinesBeforeDB) {
  ReportRecorder rec;
  std::string comments;
  for (int i = 0; i < 500; ++i) comments += "# line\n";
  write_file(path("500.dd"), comments + "<DB>\n</DB>\n");
  MadNode* root = addpadd(path("500.dd").c_str());
  EXPECT_NE(root, nullptr);
  madmtfr(root);
  EXPECT_TRUE(rec.reports().empty());

  write_file(path("501.dd"), comments + "# one too many\n<DB>\n</DB>\n");
  root = addpadd(path("501.dd").c_str());
  madmtfr(root);
  ASSERT_FALSE(rec.reports().empty());
  EXPECT_EQ(rec.reports()[0].severity, 11);
  EXPECT_EQ(rec.reports()[0].text,
            "10008: \naddpadd: Not allowed to have more than 500 lines of comments before\n"
            "the <DB> tag in data dictionary '" + path("501.dd") + "'");
}

}  // namespace
