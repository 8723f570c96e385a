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
#include "report_reference.h"
#include "sgml/parser_state.h"

namespace {

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
  // The dispatcher's forms: the options record's document element, when
  // it names one, selects the one-element report.
  sgml_options().document_name = "ghost";
  EXPECT_EQ(output(dtd_mode_run), "");
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_EQ(reports_[0].text, "220016: (ghost) element does not exist in DTD");
  EXPECT_EQ(output(query_mode_run), "");
  ASSERT_EQ(reports_.size(), 1u);
  sgml_options().document_name = "doc";
  EXPECT_EQ(output(query_mode_run), "region \"DOC\"\nregion \"DOC-T\"\n");
  sgml_options().document_name.clear();
  EXPECT_EQ(output(dtd_mode_run), "<!ELEMENT DOC      - O \tEMPTY>\n");
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_EQ(reports_[0].text, "220016: (GHOST) element does not exist in DTD");
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
