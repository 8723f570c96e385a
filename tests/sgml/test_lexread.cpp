// Readers after the lexical engine: the attribute value tokenizer, literals
// and their normalization, read from internal entity text.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "sgml/entities/attlist.h"
#include "sgml/entities/entity.h"
#include "sgml/lex/lex.h"
#include "sgml/messages/message.h"
#include "sgml/entities/tables.h"
#include "sgml/parser_state.h"
#include "counted_name.h"
#include "sgml_support.h"

namespace {

class Readers : public ::testing::Test {
 protected:
  void SetUp() override {
    parser_setup(SwitchRecord{});
    sgml_raise_limits();
  }
  void TearDown() override { parser_teardown(); }
  // Opens text as the only entity (an internal one at level 0).
  void open_text(const std::string& text) {
    EntityRecord* rec = entdef(counted("*TEXT").data(), ENT_TEXT,
                               reinterpret_cast<const unsigned char*>(text.data()),
                               static_cast<int32_t>(text.size()));
    ASSERT_EQ(entopen(rec), 0);
  }
};

TEST_F(Readers, AttributeValueResultsByDeclaredValue) {
  struct Case {
    const char* value;
    int declared;
    int result;
    int tokens;
  };
  const Case cases[] = {
      {"abc", DV_NAME, 0, 1},       {"a b", DV_NAME, 16, 2},
      {"", DV_NAME, 25, 0},         {"   ", DV_NMTOKEN, 25, 0},
      {"a$b", DV_NAME, 14, 0},      {"1abc", DV_NAME, 17, 1},
      {"-x", DV_NMTOKEN, 0, 1},     {"12", DV_NUMBER, 0, 1},
      {"12a", DV_NUMBER, 17, 1},    {"7up", DV_NUTOKEN, 0, 1},
      {"up7", DV_NUTOKEN, 17, 1},   {"a b c", DV_NAMES, 0, 3},
      {"1 2 x", DV_NUMBERS, 17, 3}, {" a\tb\r\nc ", DV_IDREFS, 0, 3},
      {".5 x", DV_NMTOKENS, 0, 2},  {"x y", DV_GROUP_TOKENS, 0, 2},
      {"a b", DV_ID, 16, 2},        {"n1", DV_ENTITY, 0, 1},
  };
  unsigned char out[512];
  for (const Case& k : cases) {
    const AttrValueTokens t = parse_attr_value(reinterpret_cast<const unsigned char*>(k.value),
                                               static_cast<int>(std::strlen(k.value)), k.declared,
                                               out, sizeof out);
    const int r = t.problem ? *t.problem : 0;
    EXPECT_EQ(r, k.result) << "\"" << k.value << "\" as " << k.declared;
    if (r != 14) {
      EXPECT_EQ(t.tokens, k.tokens) << k.value;
    }
  }
  // A token longer than NAMELEN (80) is too long.
  std::string long_token(81, 'a');
  EXPECT_EQ(parse_attr_value(reinterpret_cast<const unsigned char*>(long_token.data()), 81,
                             DV_NAME, out, sizeof out)
                .problem,
            P15_ATTRIBUTE_VALUE_DEFAULTED_TOKEN_TOO_LONG);
  // Tokens come back counted, folded, one after the other.
  const char* v = " ab  cd ";
  const AttrValueTokens two =
      parse_attr_value(reinterpret_cast<const unsigned char*>(v), 8, DV_NAMES, out, sizeof out);
  ASSERT_FALSE(two.problem);
  EXPECT_EQ(two.tokens, 2);
  const unsigned char want[] = {4, 'A', 'B', 0, 4, 'C', 'D', 0};
  EXPECT_EQ(std::memcmp(out, want, sizeof want), 0);
}

TEST_F(Readers, LiteralAndItsNormalizedForm) {
  // The opening delimiter is taken as read; RE stands for a line end. A
  // parameter literal keeps record ends and tabs.
  open_text("  a \r\n b&#SPACE;&#TAB;c\"rest");
  unsigned char raw[64];
  int n = parse_literal(raw, &pcb_litp, 63, '"');
  EXPECT_EQ(std::string(reinterpret_cast<char*>(raw), n), "  a \r b \tc");
  unsigned char norm[64];
  literal_keep_leading = 0;
  int left = literal_normalize(norm, 63);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(norm)), "a b c");
  EXPECT_EQ(left, 63 - 5);
  literal_keep_leading = 1;
  literal_normalize(norm, 63);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(norm)), " a b c");
  literal_keep_leading = 0;
  EXPECT_EQ(error_count(), 0);
}

TEST_F(Readers, AttributeValueLiteralsReadSeparatorsAsSpaces) {
  // CDATA (LITR): RS dropped, RE and tab (typed or referenced by name) a
  // space; a numeric reference to 13 or 9 stays an escape pair. A
  // tokenized value (LITT) keeps them for the tokenizer.
  const char* text = "a\r\nb&#RE;c&#TAB;d\te&#RS;f&#13;&#9;\"";
  open_text(text);
  unsigned char raw[64];
  int n = parse_literal(raw, &pcb_litr, 63, '"');
  EXPECT_EQ(std::string(reinterpret_cast<char*>(raw), n), "a b c d ef\037M\037I");
  entity_close_all();
  open_text(text);
  n = parse_literal(raw, &pcb_litt, 63, '"');
  EXPECT_EQ(std::string(reinterpret_cast<char*>(raw), n), "a\rb\rc\td\tef\037M\037I");
  EXPECT_EQ(error_count(), 0);
}

TEST_F(Readers, CharacterReferencesInLiterals) {
  // A reference to the delimiter is data; one below 33 is an escape pair.
  open_text("a&#34;b&#1;\"");
  unsigned char raw[64];
  int n = parse_literal(raw, &pcb_litr, 63, '"');
  ASSERT_EQ(n, 5);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(raw), 3), "a\"b");
  EXPECT_EQ(raw[3], 31);
  EXPECT_EQ(raw[4], 65);  // 64 + 1
}

TEST_F(Readers, AnEscapePairIsNeverSplitAtTheLimit) {
  // Four characters fit: "abc" and then the pair of &#1; does not.
  open_text("abc&#1;d\"");
  unsigned char raw[16];
  int n = parse_literal(raw, &pcb_litr, 4, '"');
  EXPECT_EQ(n, 3);
  unsigned char norm[16];
  literal_normalize(norm, 15);
  EXPECT_STREQ(reinterpret_cast<char*>(norm), "abc");
}

TEST_F(Readers, NamesAreFoldedAndCutAtNamelen) {
  std::string text = std::string(81, 'n') + " x";
  open_text(text);
  ASSERT_EQ(lex_engine(&pcb_md), MD_NAME);
  unsigned char name[256];
  parse_name(name, 1);
  EXPECT_EQ(name[0], 82);
  EXPECT_EQ(name[1], 'N');
  EXPECT_EQ(name[80], 'N');
  EXPECT_EQ(error_count(), 1);  // P3, once
  ASSERT_EQ(lex_engine(&pcb_md), MD_NAME);
  EXPECT_EQ(lex_current_char(), 'x');
}

}  // namespace
