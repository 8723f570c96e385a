// The declaration settings: class tables, character flags at set-up, the
// raised limits and the buffers they size, the public tables.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "sgml/lex/chclass.h"
#include "sgml/parser_state.h"
#include "sgml_support.h"

namespace {

TEST(ClassTables, ReferenceSyntaxClasses) {
  sgml_parser_reset();
  struct Case {
    const uint8_t* table;
    const char* name;
    int c;
    int cls;
  };
  // From the class lists of each recognition mode.
  const Case cases[] = {
      {ContentClass, "content", '7', 1},      {ContentClass, "content", '.', 2},
      {ContentClass, "content", 'q', 3},      {ContentClass, "content", ' ', 4},
      {ContentClass, "content", 11, 5},       {ContentClass, "content", 8, 14},
      {ContentClass, "content", 26, 6},       {ContentClass, "content", 28, 7},
      {ContentClass, "content", 10, 8},       {ContentClass, "content", 13, 9},
      {ContentClass, "content", '"', 18},     {ContentClass, "content", '<', 26},
      {ContentClass, "content", '@', 0},      {ContentClass, "content", 200, 0},
      {LitContentClass, "lit-content", '!', 18}, {LitContentClass, "lit-content", '%', 21},
      {LitContentClass, "lit-content", '<', 25}, {LitContentClass, "lit-content", '"', 0},
      {GroupClass, "group", '-', 1},          {GroupClass, "group", 'Z', 2},
      {GroupClass, "group", 13, 3},           {GroupClass, "group", 9, 4},
      {GroupClass, "group", 8, 5},            {GroupClass, "group", '|', 17},
      {GroupClass, "group", ';', 23},         {GroupClass, "group", '<', 0},
      {LiteralClass, "literal", ':', 2},      {LiteralClass, "literal", '?', 2},
      {LiteralClass, "literal", '!', 14},     {LiteralClass, "literal", '<', 20},
      {LiteralClass, "literal", 8, 5},        {MarkupClass, "markup", '.', 1},
      {MarkupClass, "markup", '5', 2},        {MarkupClass, "markup", 13, 4},
      {MarkupClass, "markup", '-', 9},        {MarkupClass, "markup", '=', 22},
      {SdClass, "sd", '$', 1},                {SdClass, "sd", 200, 1},
      {SdClass, "sd", 254, 1},                {SdClass, "sd", 255, 5},
      {SdClass, "sd", '@', 0},                {SdClass, "sd", '-', 9},
      {SdClass, "sd", '>', 12},               {SdClass, "sd", 8, 5},
      {NameClass, "name", 13, 1},             {NameClass, "name", 9, 2},
      {NameClass, "name", '.', 3},            {NameClass, "name", 'a', 4},
      {NameClass, "name", '0', 5},            {NameClass, "name", 28, 6},
      {NameClass, "name", '_', 0},
  };
  for (const Case& k : cases) {
    EXPECT_EQ(k.table[k.c], k.cls) << k.name << " table, character " << k.c;
  }
  for (int t = 0; t < 6; ++t) {
    EXPECT_EQ(ClassTables[t][255], kNonSgmlClass) << "table " << t;
    EXPECT_EQ(ClassTables[t][254], t == 5 ? 1 : 0) << "table " << t;
  }
  EXPECT_EQ(ClassTables[6], NameClass);
  EXPECT_EQ(ClassTables[7], nullptr);
  EXPECT_EQ(NameCase['a'], 'A');
  EXPECT_EQ(NameCase['z'], 'Z');
  EXPECT_EQ(NameCase['A'], 'A');
  EXPECT_EQ(NameCase[172], 173);
  EXPECT_EQ(NameCase[224], 224);
}

TEST(CharClassSetup, FlagsAndEscapeClass) {
  parser_setup(SwitchRecord{});
  const SgmlSettings& s = sgml_settings();
  for (int c = 0; c < 256; ++c) {
    bool special = c == 0 || c == 1 || c == 8 || c == 26 || (c >= 28 && c <= 31);
    bool significant = c == 9 || c == 10 || c == 13 ||
                       (c >= 32 && c <= 126 && c != '$' && c != '\\' && c != '`');
    bool shunned = c < 32 || c == 127 || c == 255;
    EXPECT_EQ((s.char_flags[c] & kCharSpecial) != 0, special) << c;
    EXPECT_EQ((s.char_flags[c] & kCharSignificant) != 0, significant) << c;
    EXPECT_EQ((s.char_flags[c] & kCharShunned) != 0, shunned) << c;
    EXPECT_EQ(s.char_flags[c] & kCharNonSgml, 0) << c;
  }
  EXPECT_EQ(ContentClass[31], kEscapeClass);
  EXPECT_EQ(LitContentClass[31], kEscapeClass);
  EXPECT_EQ(LiteralClass[31], kEscapeClass);
  EXPECT_EQ(GroupClass[31], kNonSgmlClass);
  EXPECT_EQ(MarkupClass[31], kNonSgmlClass);
  parser_teardown();
}

TEST(CharClassSetup, OtherSpecialCharactersFromTheSwitchRecord) {
  SwitchRecord sw;
  sw.param_drop1 = 2;
  sw.param_drop2 = 3;
  sw.escape = 4;
  parser_setup(sw);
  const SgmlSettings& s = sgml_settings();
  for (int c : {2, 3, 4}) EXPECT_NE(s.char_flags[c] & kCharSpecial, 0) << c;
  for (int c : {29, 30, 31}) EXPECT_EQ(s.char_flags[c] & kCharSpecial, 0) << c;
  EXPECT_EQ(ContentClass[4], kEscapeClass);
  parser_teardown();
}

// A stand-in for the entity manager's stack.
std::vector<int> fake_stack;
void resize_fake_stack(int32_t entries) { fake_stack.resize(static_cast<size_t>(entries)); }

TEST(RaiseLimits, BuffersSizedAndContentKept) {
  parser_setup(SwitchRecord{});
  // Initial quantities: ENTLVL 16, max(240 + 960, 240, 960) + 1, 80 + 2.
  EXPECT_EQ(entity_stack_entries(), 17);
  EXPECT_EQ(token_buffer().size(), 1201u);
  EXPECT_EQ(name_buffer().size(), 82u);

  entity_stack_resizer_set(resize_fake_stack);
  fake_stack.assign(17, 0);
  fake_stack[0] = 4242;  // the open document entity
  std::strcpy(token_buffer().data(), "APPINFO text");
  std::strcpy(name_buffer().data(), "NAME");
  sgml_raise_limits();
  EXPECT_EQ(entity_stack_entries(), 33);
  EXPECT_EQ(fake_stack.size(), 33u);
  EXPECT_EQ(fake_stack[0], 4242);
  EXPECT_EQ(token_buffer().size(), 1985u);
  EXPECT_STREQ(token_buffer().data(), "APPINFO text");
  EXPECT_EQ(name_buffer().size(), 82u);
  EXPECT_STREQ(name_buffer().data(), "NAME");
  entity_stack_resizer_set(nullptr);

  const SgmlSettings& s = sgml_settings();
  for (const CapacityEntry& c : s.capacities) EXPECT_EQ(c.limit, 2000000) << c.name;
  ASSERT_EQ(s.quantity_set.size(), static_cast<size_t>(kQuantityCount));
  const int32_t raised[kQuantityCount] = {100, 960, 960, 32, 32, 32, 100, 96,
                                          32, 1024, 80, 2, 1024, 960, 1000};
  for (int q = 0; q < kQuantityCount; ++q) {
    EXPECT_EQ(s.quantities[q].value, raised[q]) << s.quantities[q].name;
    EXPECT_EQ(s.quantity_set[q], 1) << s.quantities[q].name;
  }
  parser_teardown();
}

TEST(PublicTables, ExactKeysOnly) {
  const auto* limits = static_cast<const int32_t*>(
      public_table_lookup(PublicCapacitySets, "ISO 8879:1986//CAPACITY Reference//EN"));
  ASSERT_NE(limits, nullptr);
  for (int i = 0; i < kCapacityCount; ++i) EXPECT_EQ(limits[i], 35000);
  EXPECT_EQ(public_table_lookup(PublicCapacitySets, "ISO 8879:1986//CAPACITY Reference//E"),
            nullptr);
  EXPECT_EQ(public_table_lookup(PublicCapacitySets, ""), nullptr);

  for (const char* seven : {"ESC 2/5 4/0", "ESC 2/8 4/2"}) {
    const auto* map = static_cast<const int16_t*>(public_table_lookup(KnownBaseSets, seven));
    ASSERT_NE(map, nullptr) << seven;
    EXPECT_EQ(map[0], 0);
    EXPECT_EQ(map[127], 127);
    EXPECT_EQ(map[128], -1);
    EXPECT_EQ(map[255], -1);
  }
  const auto* full = static_cast<const int16_t*>(public_table_lookup(KnownBaseSets, "ESC 2/13 4/1"));
  ASSERT_NE(full, nullptr);
  EXPECT_EQ(full[200], 200);
  EXPECT_EQ(public_table_lookup(KnownBaseSets, "ESC 2/13 4/2"), nullptr);
}

TEST(DeclNumberText, OneStaticBuffer) {
  const char* a = decl_number_text(2147483647L);
  EXPECT_STREQ(a, "2147483647");
  const char* b = decl_number_text(-35000);
  EXPECT_EQ(a, b);
  EXPECT_STREQ(b, "-35000");
}

}  // namespace
