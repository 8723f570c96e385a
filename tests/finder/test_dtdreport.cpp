// The DTD reports over small DTDs: every report's text worked out by hand,
// the order of equal depths from the element table's walk order and the
// utilities' quicksort, the element limit and the names that are not
// declared.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "dtd_support.h"
#include "finder/dtdreport.h"

namespace {

// name padded with blanks to width (the reports' "%-Ns").
std::string padded(const std::string& name, size_t width) {
  return name.size() >= width ? name : name + std::string(width - name.size(), ' ');
}

// The bucket of an element name as the table's hash gives it, worked
// independently: over the counted name (length byte = characters + 2, then
// the characters), h = h * 16 + c, the top nibble folded back and cleared.
int reference_bucket(const std::string& name) {
  std::vector<unsigned char> bytes;
  bytes.push_back(static_cast<unsigned char>(name.size() + 2));
  bytes.insert(bytes.end(), name.begin(), name.end());
  uint64_t h = 0;
  for (unsigned char c : bytes) {
    h = ((h << 4) + c) & 0xFFFFFFFFull;
    const uint64_t top = h >> 28;
    if (top != 0) h = (h ^ (top << 4)) & 0x0FFFFFFFull;
  }
  return static_cast<int>(h % 211);
}

// The walk order of the element table: buckets 0 to 210, and in a bucket
// the name defined last first. defined: names in the order the parser
// first met them.
std::vector<std::string> walk_order(const std::vector<std::string>& defined) {
  std::vector<std::string> out;
  for (int b = 0; b < 211; ++b)
    for (auto it = defined.rbegin(); it != defined.rend(); ++it)
      if (reference_bucket(*it) == b) out.push_back(*it);
  return out;
}

// The quicksort of the utilities, step by step as the format describes it:
// the pivot is the key standing at lo at each comparison.
void reference_sort(std::vector<std::pair<std::string, int>>& a, int lo, int hi) {
  int i = lo, j = hi;
  for (;;) {
    while (a[i].second < a[lo].second && i < hi) ++i;
    while (a[lo].second < a[j].second && j > lo) --j;
    if (i > j) break;
    std::swap(a[i], a[j]);
    ++i;
    --j;
    if (i > j) break;
  }
  if (lo < j) reference_sort(a, lo, j);
  if (i < hi) reference_sort(a, i, hi);
}

// The level report expected for names with their depths, given in walk order.
std::string level_text(std::vector<std::pair<std::string, int>> walk) {
  if (!walk.empty()) reference_sort(walk, 0, static_cast<int>(walk.size()) - 1);
  std::string out;
  for (const auto& [name, depth] : walk) {
    if (name == "*DOC") continue;
    char line[300];
    std::snprintf(line, sizeof line, "%-20s level %2d\n", name.c_str(), depth);
    out += line;
  }
  return out;
}

// Declared content of each kind, each minimization, and attribute lists
// with every declared value but NOTATION and every kind of default.
const char kDeclared[] =
    "<!DOCTYPE doc [\n"
    "<!ELEMENT doc - O ANY>\n"
    "<!ELEMENT o O O ANY>\n"
    "<!ELEMENT e - O EMPTY>\n"
    "<!ELEMENT r - - RCDATA>\n"
    "<!ELEMENT c - O CDATA>\n"
    "<!ENTITY pic SYSTEM \"pic.gif\" NDATA gif>\n"
    "<!NOTATION gif SYSTEM \"gif\">\n"
    "<!ATTLIST doc\n"
    "  id ID #IMPLIED\n"
    "  title CDATA 'say \"hi\"'\n"
    "  kind (a|b|c) #REQUIRED\n"
    "  ref IDREF #CONREF\n"
    "  lang NAME #CURRENT\n"
    "  ver CDATA #FIXED \"1.0\"\n"
    "  ent ENTITY #IMPLIED\n"
    "  ents ENTITIES #IMPLIED\n"
    "  refs IDREFS #IMPLIED\n"
    "  names NAMES \"x y\"\n"
    "  tok NMTOKEN tok1\n"
    "  toks NMTOKENS #IMPLIED\n"
    "  num NUMBER 12\n"
    "  nums NUMBERS #IMPLIED\n"
    "  nut NUTOKEN 1a\n"
    "  nuts NUTOKENS #IMPLIED\n"
    "  size (small|big) big\n"
    "  plain CDATA \"text\">\n"
    "<!ATTLIST e n CDATA #IMPLIED>\n"
    "]>\n"
    "<doc></doc>\n";

// The attributes of DOC in kDeclared with what follows the padded name.
const std::vector<std::pair<std::string, std::string>> kDocAttributes = {
    {"ID", "ID  #IMPLIED"},
    {"TITLE", "CDATA  \"say \"hi\"\""},
    {"KIND", "(A|B|C) #REQUIRED"},
    {"REF", "IDREF  #CONREF"},
    {"LANG", "NAME  #CURRENT"},
    {"VER", "CDATA  #FIXED"},
    {"ENT", "ENTITY  #IMPLIED"},
    {"ENTS", "ENTITIES  #IMPLIED"},
    {"REFS", "IDREFS  #IMPLIED"},
    {"NAMES", "NAMES  X Y"},
    {"TOK", "NMTOKEN  TOK1"},
    {"TOKS", "NMTOKENS  #IMPLIED"},
    {"NUM", "NUMBER  12"},
    {"NUMS", "NUMBERS  #IMPLIED"},
    {"NUT", "NUTOKEN  1A"},
    {"NUTS", "NUTOKENS  #IMPLIED"},
    {"SIZE", "(SMALL|BIG) BIG"},
    {"PLAIN", "CDATA  \"text\""},
};


// The style specification's fixed text around the tag entries: the font
// block and the head of the standard specification, then (after its tag
// entries) the head of the tag-view specification, then its end.
const char kSpecFonts[] =
    "\n# Font declarations\n#"
    "\n<Font>\n\t<Name>-adobe-times-medium-r-normal--14-*</Name>\n\t<Family>Times</Family>"
    "\n\t<Type>Roman</Type>\n\t<Size>14</Size>\n</Font>"
    "\n<Font>\n\t<Name>-adobe-times-medium-r-normal--12-*</Name>\n\t<Family>Times</Family>"
    "\n\t<Type>Roman</Type>\n\t<Size>12</Size>\n</Font>"
    "\n<Font>\n\t<Name>-adobe-times-bold-r-normal--14-*</Name>\n\t<Family>Times</Family>"
    "\n\t<Type>Bold</Type>\n\t<Size>14</Size>\n</Font>"
    "\n<Font>\n\t<Name>-adobe-times-bold-r-normal--12-*</Name>\n\t<Family>Times</Family>"
    "\n\t<Type>Bold</Type>\n\t<Size>12</Size>\n</Font>"
    "\n<Font>\n\t<Name>-adobe-times-medium-i-normal--14-*</Name>\n\t<Family>Times</Family>"
    "\n\t<Type>Italic</Type>\n\t<Size>14</Size>\n</Font>"
    "\n<Font>\n\t<Name>-adobe-times-medium-i-normal--12-*</Name>\n\t<Family>Times</Family>"
    "\n\t<Type>Italic</Type>\n\t<Size>12</Size>\n</Font>"
    "\n"
    "\n# Default Specification\n#\n<Spec>\n\t<Name>Standard</Name>\n\t<Family>Times</Family>"
    "\n\t<Type>Roman</Type>\n\t<Size>14</Size>\n\t<PrText>on</PrText>\n\t<PrTag>off</PrTag>"
    "\n\t<PrUndef>off</PrUndef>\n\t<Tabs>3 6 9 12 15 18 21 24 27 30 33 36 39 42 45</Tabs>\n";
const char kSpecViewHead[] =
    "\n</Spec>"
    "\n# View Tags Default Specification\n#\n<Spec>\n\t<Name>View Tags</Name>"
    "\n\t<Family>Times</Family>\n\t<Type>Roman</Type>\n\t<Size>14</Size>\n\t<PrText>on</PrText>"
    "\n\t<PrTag>on</PrTag>\n\t<PrUndef>on</PrUndef>\n\t<TagFormat>\n\t\t<Size>12</Size>"
    "\n\t\t<Colour>ForestGreen</Colour>\n\t\t<Highlight>on</Highlight>\n\t</TagFormat>"
    "\n\t<Tabs>3 6 9 12 15 18 21 24 27 30 33 36 39 42 45</Tabs>\n";
const char kSpecEnd[] = "\n</Spec>\n";

// The style specification of elements given in name order with whether
// their depth is 2 or more.
std::string spec_text(const std::vector<std::pair<std::string, bool>>& elements) {
  std::string out = kSpecFonts;
  for (const auto& [e, deep] : elements) {
    out += "\n\t<Tag><Name>" + e + "</Name>";
    if (deep) out += "\n\t\t<Indent>+1</Indent>";
    out += "\n\t\t<BlankLines>0</BlankLines>\n\t</Tag>\n\t<Tag><Name>/" + e + "</Name>";
    if (deep) out += "\n\t\t<Indent>-1</Indent>";
    out += "\n\t</Tag>";
  }
  out += kSpecViewHead;
  for (const auto& [e, deep] : elements)
    out += "\n\t<Tag><Name>" + e + "</Name>\n\t\t<BlankLines>0</BlankLines>\n\t</Tag>" +
           "\n\t<Tag><Name>/" + e + "</Name>\n\t</Tag>";
  return out + kSpecEnd;
}

class DtdReport : public DtdFixture {};

TEST_F(DtdReport, DeclaredContentAndAttributeDefinitions) {
  parse(kDeclared);
  ASSERT_EQ(error_count(), 0) << messages_;
  std::string want =
      "<!ELEMENT C        - O \tCDATA>\n"
      "<!ELEMENT DOC      - O \tANY>\n"
      "<!ATTLIST DOC      ";
  for (size_t i = 0; i < kDocAttributes.size(); ++i)
    want += (i == 0 ? "\t" : "\n\t\t\t") + padded(kDocAttributes[i].first, 12) + " " +
            kDocAttributes[i].second;
  want += ">\n";
  want +=
      "<!ELEMENT E        - O \tEMPTY>\n"
      "<!ATTLIST E        \tN            CDATA  #IMPLIED>\n"
      "<!ELEMENT O        O O \tANY>\n"
      "<!ELEMENT R        - - \tRCDATA>\n";
  EXPECT_EQ(output(dtd_mode_all), want);
  EXPECT_TRUE(reports_.empty());
  // One element, named in any case.
  EXPECT_EQ(output([] { dtd_mode("r"); }), "<!ELEMENT R        - - \tRCDATA>\n");
}

TEST_F(DtdReport, QueryLinesOfAttributes) {
  parse(kDeclared);
  std::string want = "region \"C\"\nregion \"C-T\"\nregion \"DOC\"\nregion \"DOC-T\"\n";
  // A name token group counts once: its tokens are stepped over.
  for (const auto& [a, rest] : kDocAttributes)
    want += "region \"A-" + a + "\"\nregion \"A-" + a + "\" within region \"DOC-T\"\n" +
            "region \"DOC-T\" incl region \"A-" + a + "\"\n";
  want +=
      "region \"E\"\nregion \"E-T\"\n"
      "region \"A-N\"\nregion \"A-N\" within region \"E-T\"\nregion \"E-T\" incl region \"A-N\"\n"
      "region \"O\"\nregion \"O-T\"\n"
      "region \"R\"\nregion \"R-T\"\n";
  EXPECT_EQ(output(query_mode_all), want);
  EXPECT_EQ(output([] { query_mode("e"); }),
            "region \"E\"\nregion \"E-T\"\n"
            "region \"A-N\"\nregion \"A-N\" within region \"E-T\"\n"
            "region \"E-T\" incl region \"A-N\"\n");
}

TEST_F(DtdReport, ElementListRootAndLevels) {
  parse(kDeclared);
  EXPECT_EQ(output(elist_mode), "C\nDOC\nE\nO\nR\n");
  EXPECT_EQ(output(root_mode), "{DefaultRegion DOC}\n");
  // Declared content leads nowhere: only the document element is reached.
  std::vector<std::pair<std::string, int>> walk;
  for (const std::string& n : walk_order({"DOC", "O", "E", "R", "C", "*DOC"}))
    walk.emplace_back(n, n == "*DOC" ? 0 : n == "DOC" ? 1 : -1);
  EXPECT_EQ(output(level_mode), level_text(walk));
  EXPECT_TRUE(reports_.empty());
}

TEST_F(DtdReport, StyleSpecificationWithoutIndents) {
  // No element lies two levels down: no Indent lines.
  parse(kDeclared);
  EXPECT_EQ(output(spec_mode), spec_text({{"C", false}, {"DOC", false}, {"E", false}, {"O", false}, {"R", false}}));
  EXPECT_TRUE(reports_.empty());
}

TEST_F(DtdReport, ServicesListAndFindNames) {
  parse(kDeclared);
  std::vector<SortStrPair> pairs(kDtdElementLimit);
  int count = -5;
  list_element_pairs(kDtdElementLimit, &count, pairs.data());
  ASSERT_EQ(count, 6);
  const char* sorted[] = {"*DOC", "C", "DOC", "E", "O", "R"};
  for (int i = 0; i < count; ++i) {
    EXPECT_STREQ(pairs[i].string, sorted[i]);
    EXPECT_EQ(pairs[i].word, reference_bucket(sorted[i])) << sorted[i];
  }
  std::vector<const char*> names(kDtdElementLimit);
  std::vector<int32_t> depths(kDtdElementLimit);
  element_levels(kDtdElementLimit, &count, names.data(), depths.data());
  ASSERT_EQ(count, 6);
  EXPECT_STREQ(names[4], "*DOC");
  EXPECT_EQ(depths[4], 0);
  EXPECT_STREQ(names[5], "DOC");
  EXPECT_EQ(depths[5], 1);

  const char* list[] = {"A", "B", "A", "C"};
  EXPECT_EQ(find_name_index("A", 4, list), 0);
  EXPECT_EQ(find_name_index("C", 4, list), 3);
  EXPECT_EQ(find_name_index("a", 4, list), -1);
  EXPECT_EQ(find_name_index("A", 0, list), -1);

  EXPECT_EQ(element_exists("doc"), 1);
  EXPECT_EQ(element_exists("E"), 1);
  EXPECT_EQ(element_exists("nothing"), 0);
}

TEST_F(DtdReport, NamedButUndeclaredElementsAreSkipped) {
  // GHOST is named by an attribute list only: it is listed, but the dtd
  // and query reports skip it with 220016, as do the one-element forms
  // for it and for a name never met.
  parse("<!DOCTYPE doc [\n<!ELEMENT doc - - EMPTY>\n<!ATTLIST ghost a CDATA #IMPLIED>\n]>\n");
  EXPECT_EQ(output(elist_mode), "DOC\nGHOST\n");
  // The parser makes the end tag of an EMPTY element omissible.
  EXPECT_EQ(output(dtd_mode_all), "<!ELEMENT DOC      - O \tEMPTY>\n");
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_EQ(reports_[0].severity, 2);
  EXPECT_EQ(reports_[0].text, "220016: (GHOST) element does not exist in DTD");
  EXPECT_EQ(output(query_mode_all), "region \"DOC\"\nregion \"DOC-T\"\n");
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_EQ(reports_[0].text, "220016: (GHOST) element does not exist in DTD");
  for (auto mode : {dtd_mode, query_mode}) {
    EXPECT_EQ(output([&] { mode("ghost"); }), "");
    ASSERT_EQ(reports_.size(), 1u);
    EXPECT_EQ(reports_[0].text, "220016: (ghost) element does not exist in DTD");
    EXPECT_EQ(output([&] { mode("nothing"); }), "");
    ASSERT_EQ(reports_.size(), 1u);
    EXPECT_EQ(reports_[0].text, "220016: (nothing) element does not exist in DTD");
  }
  EXPECT_EQ(element_exists("ghost"), 0);
  // GHOST is not reached from the document element: level -1, no report.
  std::vector<std::pair<std::string, int>> walk;
  for (const std::string& n : walk_order({"DOC", "GHOST", "*DOC"}))
    walk.emplace_back(n, n == "*DOC" ? 0 : n == "DOC" ? 1 : -1);
  EXPECT_EQ(output(level_mode), level_text(walk));
  EXPECT_TRUE(reports_.empty());
  // These reports do not count as parser errors.
  EXPECT_EQ(error_count(), 0);
}

TEST_F(DtdReport, RootWithoutTheDocumentPseudoElement) {
  // Nothing parsed: the table is empty.
  EXPECT_EQ(output(root_mode), "");
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_EQ(reports_[0].severity, 2);
  EXPECT_EQ(reports_[0].text, "220016: (*DOC) element does not exist in DTD");
  EXPECT_EQ(output(elist_mode), "");
  EXPECT_EQ(output(level_mode), "");
  EXPECT_EQ(output(spec_mode), spec_text({}));
}

// A DTD of `elements` element types counting "*DOC": DOC and E1, E2, ...
std::string generated_dtd(int elements) {
  std::string text = "<!DOCTYPE doc [\n<!ELEMENT doc - - EMPTY>\n";
  for (int i = 1; i <= elements - 2; ++i)
    text += "<!ELEMENT e" + std::to_string(i) + " - O EMPTY>\n";
  return text + "]>\n";
}

size_t lines(const std::string& text) { return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')); }

TEST_F(DtdReport, AtTheElementLimitEverythingIsReported) {
  parse(generated_dtd(kDtdElementLimit));
  ASSERT_EQ(error_count(), 0) << messages_;
  const std::string elist = output(elist_mode);
  EXPECT_EQ(lines(elist), 2047u);
  EXPECT_EQ(elist.substr(0, 16), "DOC\nE1\nE10\nE100\n");
  EXPECT_EQ(lines(output(level_mode)), 2047u);
  EXPECT_EQ(lines(output(dtd_mode_all)), 2047u);
  EXPECT_EQ(lines(output(query_mode_all)), 2 * 2047u);
  const std::string spec = output(spec_mode);
  EXPECT_NE(spec.find("\n\t<Tag><Name>/E2046</Name>\n\t</Tag>\n\t<Tag><Name>E205</Name>"), std::string::npos);
  EXPECT_TRUE(reports_.empty());
}

TEST_F(DtdReport, OverTheElementLimitTheListsAreEmpty) {
  parse(generated_dtd(kDtdElementLimit + 1));
  ASSERT_EQ(error_count(), 0) << messages_;
  const std::string too_many = "220015: too many elements in DTD (>2048)";
  for (auto mode : {elist_mode, level_mode, dtd_mode_all, query_mode_all}) {
    EXPECT_EQ(output(mode), "");
    ASSERT_EQ(reports_.size(), 1u);
    EXPECT_EQ(reports_[0].severity, 2);
    EXPECT_EQ(reports_[0].text, too_many);
  }
  // spec still writes its fixed text; the list and the levels each report.
  EXPECT_EQ(output(spec_mode), spec_text({}));
  ASSERT_EQ(reports_.size(), 2u);
  EXPECT_EQ(reports_[1].text, too_many);
  std::vector<const char*> names(kDtdElementLimit);
  std::vector<int32_t> depths(kDtdElementLimit);
  int count = 7;
  output([&] { element_levels(kDtdElementLimit, &count, names.data(), depths.data()); });
  EXPECT_EQ(count, 0);
  // The one-element forms need no list.
  EXPECT_EQ(output([] { dtd_mode("e5"); }), "<!ELEMENT E5       - O \tEMPTY>\n");
  EXPECT_EQ(error_count(), 0);
}

}  // namespace
