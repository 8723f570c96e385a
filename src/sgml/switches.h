// The switch record: the options of one run that the region finder hands to
// the parser once, at set-up, and the set-up call that takes it.
//
// The parser keeps its own copy of the record (sgml_switches()) and never
// writes the caller's. Text fields point to storage the caller keeps for
// the whole run (normally argv).
#pragma once

#include <nl_types.h>

#include <cstdint>
#include <vector>

struct SwitchRecord {
  int32_t duplicate_warnings = 0;       // -d: P68 for duplicate ENTITY / USEMAP
  int32_t default_entity_warnings = 0;  // -r: P45 when the default entity is used
  int32_t buffer_size = 514;            // entity read-buffer size
  // Four special characters.
  uint8_t param_drop1 = 29;    // left out of message parameters
  uint8_t param_drop2 = 30;    // left out of message parameters
  uint8_t escape = 31;         // introduces an escaped character pair in data
  uint8_t escape_offset = 64;  // escaped c is kept as (offset + c) mod 256
  int32_t entity_chain = 0;        // -e: messages show the open entities
  int32_t open_elements = 0;       // -g: messages show the open elements
  int32_t ambiguity_check = 1;     // check content models for ambiguity
  int32_t undefined_elements = 0;  // -u: P140 for element types never declared
  const char* program_name = nullptr;    // message prefix (none: no prefix)
  const char* instance_trace = nullptr;  // -x letters
  const char* prolog_trace = nullptr;    // -y letters
  // Front-end words; the parser reads these through ParserOptions (options.h).
  const char* mode = nullptr;           // -m text
  const char* output_name = nullptr;    // -o
  const char* document_name = nullptr;  // set by no option
  const char* dd_name = nullptr;        // -D
  const char* meta_file = nullptr;      // -M
  const char* group = nullptr;          // -G
  int32_t namecase = 1;                 // -C sets 0
  int32_t start_position = 0;           // -S
  int32_t end_limit = 0;                // -E
  int32_t entity_echo = 1;              // -R
  int32_t meta = 0;                     // -M or -G
  nl_catd catalogue = reinterpret_cast<nl_catd>(-1);  // message catalogue, -1 when none
  int32_t subdoc_levels = 0;  // subdocument levels above this document
  int32_t prolog_only = 0;    // -p: stop after the prolog
  const char* const* include_entities = nullptr;  // -i names, null-terminated
};

// Delimiter table returned by sgml_set_switches, for writing markup back:
// counted strings (length byte counting itself, the characters and the
// NUL), except dso, a plain string; then the short-reference delimiters of
// the concrete syntax.
struct ShortRefDelimiter {
  const char* text;  // the delimiter ("B" a blank sequence); null ends the list
  int32_t number;    // 1 to 32
};
struct DelimiterTable {
  const unsigned char* cro;        // "&#"
  const char* dso;                 // "["
  const unsigned char* ero;        // "&"
  const unsigned char* etago;      // "</"
  const unsigned char* lit;        // the double quote
  const unsigned char* lita;       // the single quote
  const unsigned char* mdc;        // ">"
  const unsigned char* mdo;        // "<!"
  const unsigned char* msc_mdc;    // "]]>"
  const unsigned char* ms_start;   // "<!["
  const unsigned char* ms_cdata;   // "<![CDATA["
  const unsigned char* ms_rcdata;  // "<![RCDATA["
  const unsigned char* pic;        // ">"
  const unsigned char* pio;        // "<?"
  const unsigned char* refc;       // ";"
  const unsigned char* stago;      // "<"
  const unsigned char* tagc;       // ">"
  const unsigned char* vi;         // "="
  // Two fixed words of the table's layout (3 and 2) between the counted
  // delimiters and the short-reference delimiters; nothing reads them.
  int32_t fixed_word_3;
  int32_t fixed_word_2;
  const char* shortref_head;       // "" (first pair: text, 32, count)
  int32_t shortref_size;           // 32
  int32_t shortref_count;          // delimiters that follow
  ShortRefDelimiter shortrefs[33]; // the delimiters, then {null, 0}
};
// The table (filled once).
const DelimiterTable* sgml_delimiter_table();
// The parser's copy of switch word 25 (the region finder's start of a
// document sets it).
void sgml_prolog_only_set(int32_t value);

// Copies the record, allocates the entity read buffer (buffer_size + 3
// bytes), gives
// the escape character its own class in the content, literal-content and
// literal class tables, then runs trace_pro, message_setup,
// doc_input_setup and char_class_setup in that order.
const DelimiterTable* sgml_set_switches(const SwitchRecord* switches);

// The parser's copy of the record (defaults until sgml_set_switches).
const SwitchRecord& sgml_switches();

// The entity manager's read buffer (buffer_size + 3 bytes; the buffer is
// used from its fourth byte on). Empty until sgml_set_switches.
std::vector<unsigned char>& sgml_entity_buffer();
