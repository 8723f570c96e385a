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
    {DIGITS, 1}, {".", 2},  {LETTERS, 3}, {" ", 4},   {"\r", 9},  {"\t", 10}, {"&", 13},
    {"\b", 14}, {"-", 15}, {"/", 16},    {"\"", 18}, {"!", 20},  {"]", 21},  {"[", 22},
    {"?", 23},   {"#", 24}, {">", 25},    {"<", 26},   {nullptr, 0}};
constexpr ClassRun kLitContentRuns[] = {
    {DIGITS, 1}, {".", 2},  {LETTERS, 3}, {" ", 4},  {"\r", 9}, {"\t", 10}, {"&", 13},
    {"\b", 14}, {"-", 15}, {"/", 16},    {"!", 18}, {"]", 19}, {"[", 20},  {"%", 21},
    {"?", 22},   {"#", 23}, {">", 24},    {"<", 25}, {nullptr, 0}};
constexpr ClassRun kGroupRuns[] = {
    {"-." DIGITS, 1}, {LETTERS, 2}, {"\r", 3}, {"\t ", 4}, {"&", 9},  {")", 10}, {"(", 11},
    {"\"", 12},       {"'", 13},    {"]", 14},  {"[", 15},   {"?", 16}, {"|", 17}, {"%", 18},
    {"+", 19},        {"*", 20},    {"#", 21},  {",", 22},   {";", 23}, {nullptr, 0}};
constexpr ClassRun kLiteralRuns[] = {
    {DIGITS, 1}, {"'()+,-./:=?", 2}, {LETTERS, 3}, {" ", 4},  {"\r", 9}, {"\t", 10},
    {"&", 13},   {"!", 14},          {"]", 15},    {"[", 16}, {"%", 17},  {"#", 18},
    {">", 19},   {"<", 20},          {nullptr, 0}};
constexpr ClassRun kMarkupRuns[] = {
    {".", 1},  {DIGITS, 2}, {LETTERS, 3}, {"\t\r ", 4}, {"-", 9},  {"/", 10}, {"(", 11},
    {"\"", 12}, {"'", 13},   {"[", 14},    {"]", 15},     {"%", 16}, {"+", 17}, {";", 18},
    {"#", 19}, {">", 20},   {"<", 21},    {"=", 22},     {nullptr, 0}};
constexpr ClassRun kSdRuns[] = {
    {"$\\`", 1}, {DIGITS, 2}, {LETTERS, 3}, {"\t\r ", 4}, {"-", 9},   {"\"", 10},
    {"'", 11},   {">", 12},   {nullptr, 0}};

// A delimiter table: all 0, the non-SGML class, 0 and 26, 28, RS, then the
// table's runs.
void build(uint8_t* table, const ClassRun* runs, bool backspace_non_sgml) {
  std::memset(table, 0, 256);
  for (unsigned char c : kNonSgml) table[c] = kNonSgmlClass;
  if (backspace_non_sgml) table[8] = kNonSgmlClass;
  table[0] = 6;
  table[26] = 6;
  table[28] = 7;
  table[10] = 8;
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
  for (int c = 128; c <= 254; ++c) SdClass[c] = 1;  // other data characters
  build_name();
  build_namecase();
}
