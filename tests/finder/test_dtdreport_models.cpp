// The DTD reports over content models: groups nested two deep with every
// connector and occurrence indicator, #PCDATA in mixed content, exception
// groups (written for model groups, not for declared content), the level
// walk's depth-first depths, repeated children in the query lines, the
// Indent lines of the style specification and a notation attribute.
//
// The same DTD is put into the element table in two ways: built directly
// (the records as the parser makes them) and parsed from its text.
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "dtd_support.h"
#include "finder/dtdreport.h"
#include "report_reference.h"
#include "sgml/entities/attlist.h"
#include "sgml/instance/model.h"
#include "sgml/parser_state.h"

namespace {

// DOC is the example model: an omissible end tag, a sequence of A and an
// optional repeated OR group of B and C, inclusion X. B nests an AND group
// two deep and reaches X three levels down before DOC's inclusion does. E
// has declared content with exceptions: they are neither written nor
// followed, so Y is not reached. Z is not reached either and names A twice.
const char kModels[] =
    "<!DOCTYPE doc [\n"
    "<!ELEMENT doc - O (a, (b|c)*) +(x)>\n"
    "<!ELEMENT a - - (#PCDATA)>\n"
    "<!ELEMENT b - - ((d+, (e & f)?)+, x?)>\n"
    "<!ELEMENT c - - (#PCDATA|a|d)*>\n"
    "<!ELEMENT d - O EMPTY>\n"
    "<!ELEMENT e - - ANY -(x) +(y)>\n"
    "<!ELEMENT f - - CDATA>\n"
    "<!ELEMENT x - - RCDATA>\n"
    "<!ELEMENT y - O EMPTY>\n"
    "<!ELEMENT z - - (a, b*, a) -(d) +(x)>\n"
    "<!NOTATION gif SYSTEM \"gif\">\n"
    "<!NOTATION png SYSTEM \"png\">\n"
    "<!ATTLIST a fmt NOTATION (gif|png) #IMPLIED>\n"
    "]>\n"
    "<doc>\n";

// The parser defines each name where it first meets it.
const std::vector<std::string> kDefined = {"DOC", "A", "B", "C", "X", "D",
                                           "E",   "F", "Y", "Z", "*DOC"};

// ---------------------------------------------------------------------------
// The records built directly.

unsigned char* counted_copy(const std::string& name) {
  auto* c = static_cast<unsigned char*>(sgml_calloc(name.size() + 2));
  c[0] = static_cast<unsigned char>(name.size() + 2);
  std::memcpy(c + 1, name.c_str(), name.size() + 1);
  return c;
}

ElementTypeDef* element(const std::string& name) {
  std::vector<unsigned char> c(name.size() + 2);
  c[0] = static_cast<unsigned char>(name.size() + 2);
  std::memcpy(c.data() + 1, name.c_str(), name.size() + 1);
  return etd_define(c.data());
}

// A token: flags (type and occurrence bits), members of a group, the
// element's name.
struct Token {
  uint8_t flags;
  uint32_t members;
  const char* name;
};
Token elem(const char* name, uint8_t indicator = 0) { return {static_cast<uint8_t>(MODEL_ELEMENT | indicator), 0, name}; }
Token group(uint8_t type, uint32_t members, uint8_t indicator = 0) {
  return {static_cast<uint8_t>(type | indicator), members, nullptr};
}
const Token kPcdata = {MODEL_PCDATA_FLAGS, 0, nullptr};

ContentModel* model(uint8_t header, std::initializer_list<Token> tokens) {
  auto* m = static_cast<ContentModel*>(sgml_calloc(sizeof(ContentModel) * (tokens.size() + 1)));
  m[0].flags = header;
  m[0].count = static_cast<uint32_t>(tokens.size());
  size_t i = 1;
  for (const Token& t : tokens) {
    m[i].flags = t.flags;
    m[i].count = t.members;
    if (t.name != nullptr) m[i].etd = element(t.name);
    ++i;
  }
  return m;
}
ContentModel* declared(uint8_t keyword) { return model(keyword, {}); }

ElementTypeDef** name_group(std::initializer_list<const char*> names) {
  auto** g = static_cast<ElementTypeDef**>(sgml_calloc(sizeof(ElementTypeDef*) * (names.size() + 1)));
  size_t i = 0;
  for (const char* n : names) g[i++] = element(n);
  return g;
}

void build_models() {
  // Flags: 0x80 declared, 0x40 start tag omissible, 0x04 end tag omissible.
  element("DOC");
  etd_set(element("DOC"), 0x84,
          model(0x40, {group(MODEL_SEQ, 2), elem("A"), group(MODEL_OR, 2, MODEL_IND_REP),
                       elem("B"), elem("C")}),
          nullptr, name_group({"X"}), nullptr);
  etd_set(element("A"), 0x80, model(0xA0, {group(MODEL_SEQ, 1), kPcdata}), nullptr, nullptr, nullptr);
  etd_set(element("B"), 0x80,
          model(0x40, {group(MODEL_SEQ, 2), group(MODEL_SEQ, 2, MODEL_IND_PLUS), elem("D", MODEL_IND_PLUS),
                       group(MODEL_AND, 2, MODEL_IND_OPT), elem("E"), elem("F"), elem("X", MODEL_IND_OPT)}),
          nullptr, nullptr, nullptr);
  etd_set(element("C"), 0x80,
          model(0xE0, {group(MODEL_OR, 3, MODEL_IND_REP), kPcdata, elem("A"), elem("D")}), nullptr,
          nullptr, nullptr);
  etd_set(element("D"), 0x84, declared(48), nullptr, nullptr, nullptr);
  etd_set(element("E"), 0x80, declared(200), name_group({"X"}), name_group({"Y"}), nullptr);
  etd_set(element("F"), 0x80, declared(34), nullptr, nullptr, nullptr);
  etd_set(element("X"), 0x80, declared(36), nullptr, nullptr, nullptr);
  etd_set(element("Y"), 0x84, declared(48), nullptr, nullptr, nullptr);
  etd_set(element("Z"), 0x80,
          model(0x40, {group(MODEL_SEQ, 3), elem("A"), elem("B", MODEL_IND_REP), elem("A")}),
          name_group({"D"}), name_group({"X"}), nullptr);
  auto* atts = static_cast<AttributeList*>(sgml_calloc(sizeof(AttributeList) * 4));
  atts[0].count = 3;
  atts[0].normalized = 1;
  atts[1] = AttributeList{counted_copy("FMT"), 0x10, 1, 2, 0, 0, nullptr, nullptr, 0, 0};
  atts[2] = AttributeList{counted_copy("GIF"), 0, 1, 0, 0, 0, nullptr, nullptr, 0, 0};
  atts[3] = AttributeList{counted_copy("PNG"), 0, 1, 0, 0, 0, nullptr, nullptr, 0, 0};
  element("A")->attributes = atts;
  etd_set(element("*DOC"), 0x10, model(0x40, {group(MODEL_SEQ, 1), elem("DOC")}), nullptr, nullptr,
          nullptr);
}

class DtdModels : public DtdFixture, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    DtdFixture::SetUp();
    if (GetParam()) {
      parse(kModels);
      ASSERT_EQ(error_count(), 0) << messages_;
    } else {
      for (const std::string& n : kDefined) element(n);
      build_models();
    }
  }
};

TEST_P(DtdModels, DtdReportWritesGroupsAndExceptions) {
  const std::string want =
      "<!ELEMENT A        - - \t(#PCDATA)>\n"
      "<!ATTLIST A        \tFMT          NOTATION (GIF|PNG) #IMPLIED>\n"
      "<!ELEMENT B        - - \t(\n\t\t\t (D+,\n\t\t\t  (E&F)?)+,X?)>\n"
      "<!ELEMENT C        - - \t(#PCDATA|A|D)*>\n"
      "<!ELEMENT D        - O \tEMPTY>\n"
      "<!ELEMENT DOC      - O \t(A,\n\t\t\t (B|C)*)\n\t\t\t\t+(X)>\n"
      "<!ELEMENT E        - - \tANY>\n"
      "<!ELEMENT F        - - \tCDATA>\n"
      "<!ELEMENT X        - - \tRCDATA>\n"
      "<!ELEMENT Y        - O \tEMPTY>\n"
      "<!ELEMENT Z        - - \t(A,B*,A)\n\t\t\t\t+(X)\n\t\t\t\t-(D)>\n";
  EXPECT_EQ(output(dtd_mode_all), want);
  EXPECT_TRUE(reports_.empty());
  EXPECT_EQ(output([] { dtd_mode("doc"); }),
            "<!ELEMENT DOC      - O \t(A,\n\t\t\t (B|C)*)\n\t\t\t\t+(X)>\n");
}

TEST_P(DtdModels, QueryListsEveryElementToken) {
  // Z names A twice: two pairs of lines. DOC's inclusion is not a token.
  EXPECT_EQ(output([] { query_mode("z"); }),
            "region \"Z\"\nregion \"Z-T\"\n"
            "region \"Z\" incl region \"A\"\nregion \"A\" within region \"Z\"\n"
            "region \"Z\" incl region \"B\"\nregion \"B\" within region \"Z\"\n"
            "region \"Z\" incl region \"A\"\nregion \"A\" within region \"Z\"\n");
  EXPECT_EQ(output([] { query_mode("doc"); }),
            "region \"DOC\"\nregion \"DOC-T\"\n"
            "region \"DOC\" incl region \"A\"\nregion \"A\" within region \"DOC\"\n"
            "region \"DOC\" incl region \"B\"\nregion \"B\" within region \"DOC\"\n"
            "region \"DOC\" incl region \"C\"\nregion \"C\" within region \"DOC\"\n");
  // Nested tokens in order, #PCDATA skipped; a notation group counts once.
  EXPECT_EQ(output([] { query_mode("b"); }),
            "region \"B\"\nregion \"B-T\"\n"
            "region \"B\" incl region \"D\"\nregion \"D\" within region \"B\"\n"
            "region \"B\" incl region \"E\"\nregion \"E\" within region \"B\"\n"
            "region \"B\" incl region \"F\"\nregion \"F\" within region \"B\"\n"
            "region \"B\" incl region \"X\"\nregion \"X\" within region \"B\"\n");
  EXPECT_EQ(output([] { query_mode("a"); }),
            "region \"A\"\nregion \"A-T\"\n"
            "region \"A-FMT\"\nregion \"A-FMT\" within region \"A-T\"\n"
            "region \"A-T\" incl region \"A-FMT\"\n");
}

// The depths worked by hand: *DOC 0; DOC 1; DOC's tokens A, B, C and its
// inclusion X in that order at 2 -- but B comes first and reaches D, E, F
// and X at 3, so X keeps 3; C's A and D are set already; E's exceptions
// are not followed, so Y stays -1, and nothing reaches Z.
const std::vector<std::pair<std::string, int>> kDepths = {
    {"*DOC", 0}, {"DOC", 1}, {"A", 2}, {"B", 2}, {"C", 2}, {"D", 3},
    {"E", 3},    {"F", 3},   {"X", 3}, {"Y", -1}, {"Z", -1}};

int depth_of(const std::string& name) {
  for (const auto& [n, d] : kDepths)
    if (n == name) return d;
  return -99;
}

TEST_P(DtdModels, LevelsFollowTheFirstPathInWalkOrder) {
  std::vector<std::pair<std::string, int>> walk;
  for (const std::string& n : walk_order(kDefined)) walk.emplace_back(n, depth_of(n));
  EXPECT_EQ(output(level_mode), level_text(walk));
  EXPECT_TRUE(reports_.empty());
  EXPECT_EQ(output(root_mode), "{DefaultRegion DOC}\n");
  EXPECT_EQ(output(elist_mode), "A\nB\nC\nD\nDOC\nE\nF\nX\nY\nZ\n");
}

TEST_P(DtdModels, SpecIndentsElementsTwoLevelsDown) {
  std::vector<std::pair<std::string, bool>> elements;
  for (const char* e : {"A", "B", "C", "D", "DOC", "E", "F", "X", "Y", "Z"})
    elements.emplace_back(e, depth_of(e) >= 2);
  EXPECT_EQ(output(spec_mode), spec_text(elements));
}

TEST_P(DtdModels, UndeclaredElementOfAModelIsReportedOnce) {
  // W is named in B's model but never declared: the walk reaches it, gives
  // its depth and 220016; the dtd and query reports skip it with 220016.
  ElementTypeDef* b = element("B");
  ContentModel* m = b->model;
  m[7].etd = element("W");  // X? becomes W?
  std::vector<std::pair<std::string, int>> walk;
  std::vector<std::string> defined = kDefined;
  defined.push_back("W");
  for (const std::string& n : walk_order(defined))
    walk.emplace_back(n, n == "W" ? 3 : n == "X" ? 2 : depth_of(n));
  EXPECT_EQ(output(level_mode), level_text(walk));
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_EQ(reports_[0].severity, 2);
  EXPECT_EQ(reports_[0].text, "220016: (W) element does not exist in DTD");
  for (auto mode : {dtd_mode_all, query_mode_all}) {
    const std::string out = output(mode);
    EXPECT_EQ(out.find("region \"W-T\""), std::string::npos);
    EXPECT_EQ(out.find("ELEMENT W"), std::string::npos);
    ASSERT_EQ(reports_.size(), 1u);
    EXPECT_EQ(reports_[0].text, "220016: (W) element does not exist in DTD");
  }
}

INSTANTIATE_TEST_SUITE_P(Built, DtdModels, ::testing::Values(false));
INSTANTIATE_TEST_SUITE_P(Parsed, DtdModels, ::testing::Values(true));

}  // namespace
