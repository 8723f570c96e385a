// The parser's pull interface: the region finder sets the parser up
// (sgml_set_switches, switches.h), opens the document entity, then pulls
// one parse event at a time until the end of the document, and ends the
// run with the capacity report. Between events it may ask about entities,
// open elements, locations and the error count, and it reads the byte
// offsets that the parser keeps on the open-element stack.
//
// There is one parse per process. The parser's state is one record,
// sgml_parser (parser_state.h); sgml_parser_reset makes it as at program
// start and frees what the parser allocated.
// Pointers handed out (names, texts, lists) point into parser storage and
// stay valid until the next call that parses.
//
// How the parser is laid out, stage by stage, from bytes to events:
//
//   input/     bytes into characters: opens the text behind an external
//              entity (file, list of files, data dictionary, filter input),
//              finds the files of an external identifier, and reads one
//              record at a time with its RS and RE (doc_read).
//   entities/  the entity stack every character is read through, and the
//              tables of declarations (element types, attributes, entities,
//              notations, maps) with the settings they depend on.
//   lex/       characters into tokens: the table-driven lexical engine, its
//              rows and character classes, and the readers of names,
//              literals and attribute values.
//   sgmldecl/  tokens of an SGML declaration into settings.
//   decl/      tokens of the prolog into declarations: the prolog loop and
//              one reader per markup declaration, marked sections.
//   instance/  tokens of the document instance into events: the content
//              parser, the open-element stack, start-tag attributes, the
//              record-end driver, content models and their context and
//              ambiguity checks.
//   messages/  the numbered parser messages and the trace output.
//
// This folder keeps the pull interface (this header, pull.cpp), the
// run's options (options.h), the read-only view of the declared DTD
// (dtd.h), the state record (parser_state.h), the set-up call
// (switches.h) and the end-of-run report (capacity.cpp).
//
// Names that cross this interface are counted names: a length byte that
// counts itself, the characters and the NUL, then the characters and the
// NUL (the characters start at name + 1).
#pragma once

#include <cstdint>

#include "sgml/options.h"
#include "sgml/switches.h"

struct AttributeList;
struct DataEntity;
struct ElementTypeDef;
struct DocHandle;
struct FrgacText;
struct MfsReader;
struct VqStream;

// Codes returned by the next-event calls.
enum ParseEvent : int {
  PARSE_END = 0,         // end of the document (or of the prolog with -p)
  PARSE_DATA = 1,        // character data: EventDataRecord
  PARSE_START_TAG = 2,   // start tag, given or implied: EventTagRecord
  PARSE_END_TAG = 3,     // end tag, given or implied: EventTagRecord
  PARSE_RECORD_END = 4,  // record end in content: EventDataRecord flags only
  PARSE_PI = 5,          // processing instruction: EventDataRecord
                         // (also the extended call's end-of-prolog event)
  PARSE_APPINFO = 6,     // APPINFO literal of the SGML declaration
};

// Data flags.
enum : int32_t {
  DATA_NOT_ALLOWED = 1,  // data where the content allows none (P10 given)
  DATA_NO_RESCAN = 2,    // internal CDATA text, or an echoed "&name;"
  DATA_SDATA = 4,        // internal SDATA text; for a PI: a PI entity
  DATA_EXTERNAL = 8,     // text is the DataEntity record of an external data entity
};

struct EventDataRecord {
  int32_t flags = 0;
  int32_t length = 0;
  const unsigned char* text = nullptr;  // not NUL-terminated in general
};

// Tag kinds.
enum : int32_t {
  TAG_ORDINARY = 0,
  TAG_EMPTY = 1,     // "<>" or "</>"
  TAG_NET = 2,       // end tag given by a null end tag
  TAG_IMPLIED = 4,   // start tag omitted; end tag implied by a start tag or data
  TAG_ENCLOSING = 5, // ended by the end tag of an enclosing element or the end of input
};

// Open-element flags (the flags word of a tag event).
enum : uint8_t {
  OPEN_NOT_ALLOWED = 1,  // P1 was given where it started
  OPEN_NET = 2,          // its start tag enabled the null end tag
  OPEN_INCLUDED = 4,     // accepted only through an inclusion exception
  OPEN_EMPTY = 8,        // declared content EMPTY
};

struct EventTagRecord {
  int32_t flags = 0;                       // flags of the open-element entry
  int32_t kind = 0;                        // tag kind
  const unsigned char* name = nullptr;     // element type name (counted)
  // Start tag: the attribute list (null when the type has none; the
  // declared list for kinds 1 and 4; else the list with the tag's values).
  const AttributeList* attributes = nullptr;
  // End tag: the name of the element current after the close.
  const unsigned char* current = nullptr;
  // The element type named by the markup that produced the event (one of
  // the pseudo types for data, "<>" and "</>" or NET).
  const ElementTypeDef* named = nullptr;
  int32_t net_count = 0;                   // open elements with NET enabled
  const unsigned char* map_name = nullptr; // short-reference map in force, null for none
};

// The open-element stack: level 0 is the pseudo element "*DOC", the
// document element is level 1. Offsets are those of the document input
// (the character read last); after an end-tag event the entry of the
// element just closed is still in place at level + 1.
struct OpenElement {
  uint8_t status;          // kept by the content checks
  uint8_t flags;           // OPEN_*
  ElementTypeDef* etd;
  struct ShortRefMap* map; // map in force (the empty map when none)
  int32_t start;           // offset of its "<" (implied: see the parser)
  int32_t end;             // offset of its last character
  int32_t start_length;    // TAGC offset minus start; 0 when implied
};
// Current level (0 before the document element).
int open_element_level();
// Entry at level (0 .. TAGLVL), or null out of range.
const OpenElement* open_element_at(int level);
// Count of elements still to be closed by an enclosing end tag or by the
// end of the input.
int open_elements_to_close();

// Capacity report of sgml_end_capacity: 17 entries each, in the order
// TOTALCAP, ENTCAP, ... LKNMCAP.
enum { CAPACITY_ENTRIES = 17 };
struct CapacityReport {
  const char* const* names = nullptr;
  const uint8_t* weights = nullptr;
  const int32_t* counts = nullptr;
  const int32_t* limits = nullptr;
};

// The parser as at program start, what it allocated freed: called before
// a run (the switch record and options stay; set the switches after it).
void sgml_parser_reset();
// Defines the document entity "*SGMLDOC" on the NUL-separated file list
// (ended by an empty name) and opens it: 0, -1 when it cannot be defined,
// else the negative result of opening it. Reports nothing itself.
int sgml_open_document(const char* file_list);
// Parse on to the next event; fill the records and return its code.
// After 0 every call returns 0 again.
int sgml_next_event(EventDataRecord* data, EventTagRecord* tag);
// The same, except that in filter mode or meta processing the call that
// ends the prolog returns 5 at once with the records untouched; the event
// that ended the prolog comes with the next call.
int sgml_next_event_ext(EventDataRecord* data, EventTagRecord* tag);
// While set, the next-event calls pass over data and record-end events
// (parsed and checked as ever, the records left untouched) and return the
// next event of another kind: for a caller that looks only at tags.
void sgml_events_tags_only(bool tags_only);
// Ends the run: pops every open entity, counts the capacities (with the
// child figures of capacity_max_merge), reports P162 for each exceeded
// limit and fills the report.
void sgml_end_capacity(CapacityReport* report);
// Keeps, per capacity, the larger of the stored child figure and values[i].
void capacity_max_merge(const int32_t* values);

// The region finder's start of a document: parses the prolog with the
// prolog-only switch (one extended call), then sets content parsing up
// with "*DOC" pushed. What started the instance (data, a marked section)
// is kept for the first content call.
void start_document();
// Per-document reset between the documents of one run (meta processing):
// the parse-ended, end-of-input and pending-token flags, the current
// entity's line and column, the content block's state and the content
// state of "*DOC" (the next document element is accepted). IDs are kept.
void reset_doc_state();
// The next document of the same input (filter mode, meta documents): the
// document entity's buffer counted as read and refilled from its source.
// 0, or -1 when nothing more can be read.
int document_buffer_refill();
// Filter mode, after a document: the open-element level set back to 0.
void open_element_level_clear();
// Meta processing, after reset_doc_state: moves the document entity's
// multi-file text to the byte at position (a logical address of the set)
// and refills its buffer from there, starting a new record. 0, or -1 when
// the document entity reads no multi-file set or the position lies outside
// it.
int document_seek(int32_t position);

// What a general entity name stands for (the values are the numbers the
// parser's test driver shows).
enum class EntityKind : int32_t {
  Undeclared = -1,
  Other = -2,          // declared, of another kind
  ExternalData = 1,    // external data entity: data
  InternalCdata = 2,   // internal CDATA text: text, text_length
  InternalSdata = 3,   // internal SDATA text: text, text_length
};
struct EntityInfo {
  EntityKind kind = EntityKind::Undeclared;
  const DataEntity* data = nullptr;
  const unsigned char* text = nullptr;  // text_length characters (a NUL follows)
  int32_t text_length = 0;
};
EntityInfo sgml_entity_info(const unsigned char* name);
// The previous value of the entity's written mark, now set; -1 when undeclared.
int sgml_entity_mark(const unsigned char* name);
int32_t sgml_error_count();
// Characters of the name of the element open at level; null out of range.
const char* open_element_name(int level);
// Nonzero while the prolog is parsed.
int in_prolog();

struct EntityLocation {
  int32_t external;
  long line;
  long column;
  int32_t saved_char;
  const char* name;
  DocHandle* doc;
};
// 1 and *out filled (when out is not null) for a level 0 .. current, else 0.
int entity_location(int level, EntityLocation* out);
// 1 with the line and file name of the innermost external entity; 0 none.
int current_file_location(long* out_line, const char** out_name);
// 1 when the NUL-terminated names are equal ignoring case, else 0.
int name_equal_nocase(const char* a, const char* b);
// Copies a NUL-terminated name into counted form (at most NAMELEN
// characters; fold: as the parser folds general names).
void make_counted_name(const char* src, unsigned char* dst, int fold);
// The characters of a counted name as a C string.
inline const char* name_chars(const unsigned char* counted) {
  return reinterpret_cast<const char*>(counted + 1);
}

// ---------------------------------------------------------------------------
// Document input, as the region finder reads it.

// The name the front end gives standard input.
constexpr const char kDocStdinName[] = "vq_stdin";
// The handle's current file name; for null the last closed name.
const char* doc_name(const DocHandle* handle);
// The next byte of filter-mode input, or -1 (end of input or a control
// byte 2, 3 or 4).
int filter_getc(VqStream* stream);
VqStream* doc_stream(const DocHandle* handle);
int doc_fragment_handle(const DocHandle* handle, FrgacText** out);
int doc_mfs_reader(const DocHandle* handle, MfsReader** out);
// The last fragmented text and multi-file reader opened through a data
// dictionary.
int cur_fragment_handle(FrgacText** out);
int cur_mfs_reader(MfsReader** out);
// The byte offsets the document input keeps, all to -1.
void offsets_reset();
// The file offset of the current buffer's first file character (-1 before
// the first buffer).
int32_t doc_buffer_file_offset();

// ---------------------------------------------------------------------------
// Settings

// Every capacity limit to 2000000, the raised quantities, all quantities
// marked set, the buffers sized again.
void sgml_raise_limits();
// Writes the SGML declaration in effect.
void sgmldecl_write(VqStream* stream);
// Whether general names are folded to upper case (NAMECASE GENERAL); the
// front end's -C turns it off before the parser is set up.
void sgml_namecase_general_set(bool fold);

// The words of the parse state that the region finder sets or reads.
struct PullState {
  int32_t in_prolog = 1;
  int32_t pending = 0;       // an action code is held for the next call
  int32_t pending_code = 0;
  int32_t finished = 0;      // 0 was returned
  // Set while a caller wants only tags: data and record-end events are
  // taken and passed over inside the pull call (see sgml_events_tags_only).
  int32_t tags_only = 0;
};
PullState& pull_state();
