// Shared by the files of the SGML declaration parser: the parameter
// reader, the keyword tests and the pieces the sections share.
#pragma once

#include <cstdint>
#include <string>

struct ParseControlBlock;

// Kinds of declaration parameter.
enum SdKind : int {
  kSdInvalid = 7,   // a character that cannot start a parameter (stepped back)
  kSdMdc = 20,      // ">"
  kSdLiteral = 21,  // a literal; text in token_buffer() and sd_param.text
  kSdNumber = 23,   // a number; value in sd_param.number
  kSdName = 24,     // a name, folded to upper case
};

// The parameter read last.
struct SdParam {
  int kind = kSdInvalid;
  std::string text;    // name, literal or the digits of a number
  int64_t number = 0;  // saturated at 2^31 - 1
};
extern inline SdParam& sd_param;  // in sgml_parser (parser_state.h)

// Reads the next parameter. literal_block names the table literals are
// read through (LITV or LITP); null allows none (P165, the delimiter is
// given back). The end of the input is fatal (P161).
const SdParam& sd_read(ParseControlBlock* literal_block);
// The current parameter is the name keyword (P118 or P120 otherwise).
bool sd_check(const char* keyword);
// Reads the next parameter without literals and checks it.
bool sd_expect(const char* keyword);
bool sd_is_name(const char* name);
// The current parameter, or the next one read, is a name (P120 otherwise).
bool sd_need_name();
bool sd_read_name();
// Reads a number (P167 otherwise).
bool sd_read_number(int64_t* value);
// "ISO 8879-1986" at the head of a literal becomes "ISO 8879:1986" (P163).
void sd_repair_iso(std::string* text);
// True when the document entity has ended (only after a section failed:
// the reader itself ends the run at the end of the input).
bool sd_input_ended();

// Character-set description codes (besides system character numbers).
enum : int32_t {
  kDescUnused = -1,
  kDescLiteral = -2,
  kDescNone = -3,
  kDescUnknownBase = -4,
};
// A character set description from the current parameter into table.
bool sd_charset_description(int32_t table[256]);
// The syntax-reference character set of an explicit concrete syntax.
extern inline int32_t (&syntax_reference_set)[256];  // in sgml_parser (parser_state.h)
// The system character of a syntax-reference character number, or -1 after
// its message.
int sd_map_syntax_char(int64_t n);

// The explicit concrete syntax after SYNTAX (current parameter: its first
// keyword).
bool sd_explicit_syntax();

// What the NAMING section built, applied when every section succeeded.
struct NamingCopies {
  bool built = false;
  uint8_t classes[256];
  uint8_t namecase[256];
};
extern inline NamingCopies& naming_copies;  // in sgml_parser (parser_state.h)
// Applies the character flags and the naming classes to the lexical class
// tables.
void sd_apply_characters();
