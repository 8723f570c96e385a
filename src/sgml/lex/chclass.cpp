// The character class tables of the reference concrete syntax, built from
// the class lists of each recognition mode.
#include "sgml/lex/chclass.h"

#include <cstring>

CharClassTable ContentClass;
CharClassTable LitContentClass;
CharClassTable GroupClass;
CharClassTable LiteralClass;
CharClassTable MarkupClass;
CharClassTable SdClass;
CharClassTable NameClass;
uint8_t NameCase[256];

uint8_t* const ClassTables[8] = {ContentClass, LitContentClass, GroupClass, LiteralClass,
                                 MarkupClass,  SdClass,         NameClass,  nullptr};

namespace {

using namespace lexclass;

#define DIGITS "0123456789"
#define LETTERS "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"

// The characters of one class in a table.
struct ClassRun {
  const char* chars;
  uint8_t cls;
};

// Non-SGML characters of the reference syntax (8 is added in the tables
// that do not give it a class of its own).
constexpr unsigned char kNonSgml[] = {1,  2,  3,  4,  5,  6,  7,  11, 12, 14, 15, 16, 17,
                                      18, 19, 20, 21, 22, 23, 24, 25, 27, 29, 30, 31, 127, 255};

// Classes 5 to 8 of the six delimiter tables, then the table's own runs.
constexpr ClassRun kContentRuns[] = {
    {DIGITS, content::DIGIT}, {".", content::DOT}, {LETTERS, content::LETTER},
    {" ", content::SPACE}, {"\r", content::RE}, {"\t", content::TAB}, {"&", content::ERO},
    {"\b", content::BS}, {"-", content::HYPHEN}, {"/", content::SLASH}, {"\"", content::QUOT},
    {"!", content::EXCL}, {"]", content::RSQB}, {"[", content::LSQB}, {"?", content::QUES},
    {"#", content::NUM}, {">", content::GT}, {"<", content::LT}, {nullptr, 0}};
constexpr ClassRun kLitContentRuns[] = {
    {DIGITS, litcon::DIGIT}, {".", litcon::DOT}, {LETTERS, litcon::LETTER}, {" ", litcon::SPACE},
    {"\r", litcon::RE}, {"\t", litcon::TAB}, {"&", litcon::ERO}, {"\b", litcon::BS},
    {"-", litcon::HYPHEN}, {"/", litcon::SLASH}, {"!", litcon::EXCL}, {"]", litcon::RSQB},
    {"[", litcon::LSQB}, {"%", litcon::PERO}, {"?", litcon::QUES}, {"#", litcon::NUM},
    {">", litcon::GT}, {"<", litcon::LT}, {nullptr, 0}};
constexpr ClassRun kGroupRuns[] = {
    {"-." DIGITS, group::NMCHAR}, {LETTERS, group::LETTER}, {"\r", group::RE},
    {"\t ", group::BLANK}, {"&", group::AND}, {")", group::GRPC}, {"(", group::GRPO},
    {"\"", group::LIT}, {"'", group::LITA}, {"]", group::RSQB}, {"[", group::LSQB},
    {"?", group::OPT}, {"|", group::OR}, {"%", group::PERO}, {"+", group::PLUS}, {"*", group::REP},
    {"#", group::RNI}, {",", group::SEQ}, {";", group::REFC}, {nullptr, 0}};
constexpr ClassRun kLiteralRuns[] = {
    {DIGITS, literal::DIGIT}, {"'()+,-./:=?", literal::MINPUNCT}, {LETTERS, literal::LETTER},
    {" ", literal::SPACE}, {"\r", literal::RE}, {"\t", literal::TAB}, {"&", literal::ERO},
    {"!", literal::EXCL}, {"]", literal::RSQB}, {"[", literal::LSQB}, {"%", literal::PERO},
    {"#", literal::NUM}, {">", literal::GT}, {"<", literal::LT}, {nullptr, 0}};
constexpr ClassRun kMarkupRuns[] = {
    {".", markup::DOT}, {DIGITS, markup::DIGIT}, {LETTERS, markup::LETTER},
    {"\t\r ", markup::BLANK}, {"-", markup::HYPHEN}, {"/", markup::SLASH}, {"(", markup::GRPO},
    {"\"", markup::LIT}, {"'", markup::LITA}, {"[", markup::DSO}, {"]", markup::DSC},
    {"%", markup::PERO}, {"+", markup::PLUS}, {";", markup::REFC}, {"#", markup::RNI},
    {">", markup::GT}, {"<", markup::LT}, {"=", markup::VI}, {nullptr, 0}};
constexpr ClassRun kSdRuns[] = {
    {"$\\`", sd::DATA}, {DIGITS, sd::DIGIT}, {LETTERS, sd::LETTER}, {"\t\r ", sd::SEP},
    {"-", sd::HYPHEN}, {"\"", sd::LIT}, {"'", sd::LITA}, {">", sd::GT}, {nullptr, 0}};

// A delimiter table: all 0, the non-SGML class, 0 and 26 entity end, 28
// end of buffer, RS (the same classes in all six), then the table's runs.
void build(uint8_t* table, const ClassRun* runs, bool backspace_non_sgml) {
  std::memset(table, 0, 256);
  for (unsigned char c : kNonSgml) table[c] = kNonSgmlClass;
  if (backspace_non_sgml) table[8] = kNonSgmlClass;
  table[0] = content::EE;
  table[26] = content::EE;
  table[28] = content::EOB;
  table[10] = content::RS;
  for (const ClassRun* r = runs; r->chars != nullptr; ++r) {
    for (const char* p = r->chars; *p != '\0'; ++p) table[static_cast<unsigned char>(*p)] = r->cls;
  }
}

void build_name() {
  uint8_t* t = NameClass;
  std::memset(t, 0, 256);
  t[10] = t[13] = kNameRecord;
  t[9] = t[32] = kNameSeparator;
  t['-'] = t['.'] = kNameChar;
  for (const char* p = LETTERS; *p != '\0'; ++p) t[static_cast<unsigned char>(*p)] = kNameStart;
  for (const char* p = DIGITS; *p != '\0'; ++p) t[static_cast<unsigned char>(*p)] = kNameDigit;
  t[28] = kNameBufferEnd;
}

void build_namecase() {
  for (int c = 0; c < 256; ++c) NameCase[c] = static_cast<uint8_t>(c);
  for (int c = 'a'; c <= 'z'; ++c) NameCase[c] = static_cast<uint8_t>(c - 'a' + 'A');
  NameCase[172] = 173;
}

// The tables hold their reference values from program start.
struct InitTables {
  InitTables() { char_tables_reset(); }
} init_tables;

}  // namespace

void char_tables_reset() {
  build(ContentClass, kContentRuns, false);
  build(LitContentClass, kLitContentRuns, false);
  build(GroupClass, kGroupRuns, true);
  build(LiteralClass, kLiteralRuns, true);
  build(MarkupClass, kMarkupRuns, true);
  build(SdClass, kSdRuns, true);
  for (int c = 128; c <= 254; ++c) SdClass[c] = sd::DATA;  // other data characters
  build_name();
  build_namecase();
}
