// The content model reader: the compiled layout of models read from text
// (token types, member counts, occurrence bits, the header's content
// flags), the groups made optional by their members, and name groups.
// Expected layouts are worked out by hand from the model rules.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sgml/entities/entity.h"
#include "sgml/lex/lex.h"
#include "sgml/messages/message.h"
#include "sgml/instance/model.h"
#include "sgml/decl/prolog.h"
#include "sgml/entities/tables.h"
#include "sgml/parser_state.h"
#include "sgml_support.h"

namespace {

class ModelReader : public ScratchDir {
 protected:
  void SetUp() override {
    ScratchDir::SetUp();
    parser_setup_bare();
  }

  // Opens text as the document and starts an ELEMENT declaration.
  void open(const std::string& text) {
    const std::string file = path("m.txt");
    write_file(file, text + ">\n");
    std::string list = file + std::string(2, '\0');
    ASSERT_EQ(entity_open_document(list.data()), 0);
    md_begin(kKwELEMENT);
  }

  // The model of text ("(" first), as "flags/count/name" per token.
  std::vector<std::string> model(const std::string& text) {
    open(text);
    std::vector<std::string> out;
    const ContentModel* m = parse_model(0);
    if (m != nullptr) {
      for (uint32_t i = 0; i <= m[0].count; ++i) {
        char line[64];
        const bool element = i > 0 && model_type(&m[i]) == MODEL_ELEMENT;
        std::snprintf(line, sizeof line, "%02x/%u%s%s", m[i].flags,
                      element ? 0u : static_cast<unsigned>(m[i].count),
                      element ? "/" : "", element ? name_chars(m[i].etd->name) : "");
        out.push_back(line);
      }
    }
    entity_close_all();
    return out;
  }
};

using Tokens = std::vector<std::string>;

TEST_F(ModelReader, TokensInDeclaredOrderWithTheirIndicators) {
  // Header: element tokens 0x40; group 1 SEQ of 4; "?" 0xA0, "+" 0x50,
  // "*" 0xF0 over the element type 4; the nested group of one member is
  // a SEQ, required, then "?".
  EXPECT_EQ(model("(a?, b+, c*, (d)?)"),
            (Tokens{"40/6", "02/4", "a4/0/A", "54/0/B", "f4/0/C", "a2/1", "04/0/D"}));
  // A single element: a SEQ group of one member.
  EXPECT_EQ(model("(a)"), (Tokens{"40/2", "02/1", "04/0/A"}));
  // A nested group's members follow it before the next member.
  EXPECT_EQ(model("(a,(b|c)+,d)"),
            (Tokens{"40/6", "02/3", "04/0/A", "51/2", "04/0/B", "04/0/C", "04/0/D"}));
  EXPECT_EQ(model("(a&b)"), (Tokens{"40/3", "03/2", "04/0/A", "04/0/B"}));
}

TEST_F(ModelReader, ContentFlagsOfTheHeader) {
  // Mixed 0x80, element tokens 0x40, #PCDATA first 0x20; #PCDATA tokens
  // 0xC0; the OR group with an optional member is optional (0x80), then
  // "*" adds 0x70.
  EXPECT_EQ(model("(#PCDATA|a)*"), (Tokens{"e0/3", "f1/2", "c0/0", "04/0/A"}));
  EXPECT_EQ(model("(#PCDATA)"), (Tokens{"a0/2", "82/1", "c0/0"}));
  EXPECT_EQ(model("(a,#PCDATA)"), (Tokens{"c0/3", "02/2", "04/0/A", "c0/0"}));
  EXPECT_EQ(model("(#pcdata)"), (Tokens{"a0/2", "82/1", "c0/0"}));
}

TEST_F(ModelReader, GroupsMadeOptionalByTheirMembers) {
  // OR with an optional member: optional; SEQ of optional members only:
  // optional; SEQ of an optional and a required member: required. Only
  // 0x80 is added, not the declared bit.
  EXPECT_EQ(model("(x,(a?|b),y)")[3], "81/2");
  EXPECT_EQ(model("(x,(a?,b?),y)")[3], "82/2");
  EXPECT_EQ(model("(x,(a?,b),y)")[3], "02/2");
  EXPECT_EQ(model("(x,(a?&b?),y)")[3], "83/2");
  EXPECT_EQ(model("(x,(a|b),y)")[3], "01/2");
  // "?" on a group already optional adds only the declared bit.
  EXPECT_EQ(model("(x,(a?|b)?,y)")[3], "a1/2");
}

TEST_F(ModelReader, ConflictingConnectorsKeepTheFirst) {
  Tokens m;
  const std::string err = stderr_of([&] { m = model("(a, b | c & d)"); });
  EXPECT_EQ(m, (Tokens{"40/5", "02/4", "04/0/A", "04/0/B", "04/0/C", "04/0/D"}));
  EXPECT_NE(err.find("Content model token 3: connectors conflict"), std::string::npos) << err;
  EXPECT_NE(err.find("Content model token 4: connectors conflict"), std::string::npos) << err;
}

TEST_F(ModelReader, DeclaredContentIsTheHeaderAlone) {
  open("");
  const ContentModel* m = parse_model(48);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m[0].flags, 48);
  EXPECT_EQ(m[0].count, 0u);
  ContentModel* copy = model_copy(m);
  EXPECT_EQ(copy[0].flags, 48);
  entity_close_all();
}

TEST_F(ModelReader, NameGroupsDefineTheirTypesOnce) {
  open("(b|a, b & c)");
  std::vector<ElementTypeDef*> list;
  int n = 0;
  const std::string err = stderr_of([&] { n = parse_name_group(&list); });
  EXPECT_EQ(n, 4);
  EXPECT_NE(err.find("Group token 3: duplicate name or name token \"B\" ignored"),
            std::string::npos)
      << err;
  ASSERT_EQ(list.size(), 3u);
  EXPECT_STREQ(name_chars(list[0]->name), "B");
  EXPECT_STREQ(name_chars(list[1]->name), "A");
  EXPECT_STREQ(name_chars(list[2]->name), "C");
  EXPECT_EQ(list[0], etd_find(list[0]->name));
  entity_close_all();

  open("(n1|n2)");
  std::vector<NotationRecord*> notations;
  EXPECT_EQ(parse_notation_group(&notations), 3);
  ASSERT_EQ(notations.size(), 2u);
  EXPECT_EQ(notations[0]->referenced, 1);
  EXPECT_EQ(notations[1], notation_find(notations[1]->name));
  entity_close_all();
}

}  // namespace

namespace {

// A NAMES replacement of PCDATA: the replacement is the keyword of the
// model, and PCDATA itself no longer is (P116).
TEST_F(ModelReader, PcdataKeywordAfterANamesReplacement) {
  auto& names = sgml_settings().reserved_names;
  size_t at = 0;
  while (std::string(ReservedNames[at]) != "PCDATA") ++at;
  names[at] = "TEXT";
  EXPECT_EQ(model("(#text|a)*"), (Tokens{"e0/3", "f1/2", "c0/0", "04/0/A"}));
  Tokens m;
  const std::string err = stderr_of([&] { m = model("(#PCDATA|a)*"); });
  EXPECT_TRUE(m.empty());
  EXPECT_NE(err.find("Content model token 2: PCDATA invalid; declaration terminated"),
            std::string::npos)
      << err;
}

}  // namespace
