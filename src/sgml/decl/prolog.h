// The prolog: the loop that reads markup declarations from the first
// character of the document entity to where the document instance starts,
// the DOCTYPE declaration with its internal and external subsets, the
// declarations of the subset (ENTITY, NOTATION, SHORTREF, USEMAP, ELEMENT,
// ATTLIST), marked sections, the -i names, the document element set-up and
// the checks at the end of the prolog.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sgml/entities/entity.h"
#include "sgml/input/extid.h"
#include "sgml/lex/lex.h"
#include "sgml/entities/tables.h"
#include "sgml/sgml.h"

// State of the prolog of the current document.
struct PrologState {
  ParseControlBlock* block = nullptr;  // PRO, MDS or MSIGNORE
  int markup = 0;                      // markup seen before (declarations, PIs)
  bool doctype = false;                // a DOCTYPE declaration began
  bool in_subset = false;              // between DSO and the end of the subsets
  bool external_pending = false;       // the external subset is still to be read
  bool external_only = false;          // no internal subset: end with *DTDENT
  bool external_open = false;          // *DTDENT is being read
  unsigned char doctype_name[256] = {};  // counted
  int ms_open = 0;                     // open marked sections
  int ms_ignore = 0;                   // nesting inside an ignored section
  bool ended = false;
  int start_code = 0;                  // what started the instance (a PrologResult)
  bool char_ref_start = false;         // started by "&#": a character reference, data
};
extern inline PrologState& prolog;  // in sgml_parser (parser_state.h)

// What parse_prolog returns. The pull loop reads the processing
// instruction as it reads one in content, and hands the others that start
// the instance to instance_begin.
enum PrologResult : int {
  PROLOG_END = LEX_END_OF_INPUT,  // 19: the end (or -p stops after the prolog)
  PROLOG_DATA_STARTS = 21,        // data starts the instance
  PROLOG_MS_STARTS = CON_MS_START,  // 25: a marked section starts it
  PROLOG_PI = CON_PI,             // 27: a processing instruction (its text still to be read)
  PROLOG_MARKUP_STARTS = 37,      // a tag or other markup starts it
  PROLOG_APPINFO = 76,            // an APPINFO literal
  PROLOG_REFERENCE_STARTS = PRO_REFERENCE_STARTS,  // 77: a reference starts it
};

// Resets the prolog for a new document (blocks in state 0, PRO).
void prolog_reset();
// Runs the prolog; returns a PrologResult.
int parse_prolog();
// A comment declaration "<!--...-->", or the empty one "<!>", after its
// "<!" (in the prolog and in content alike).
void comment_declaration();

// Declarations (the declaration name has been read).
void md_doctype_start();
void md_doctype_end();
void md_element();
void md_attlist();
void decl_entity();
void decl_notation();
void decl_shortref();
void decl_usemap();
// Marked sections: start after "<![" (returns the block to go on with),
// end after "]]>" (1 when an ignored section ended).
ParseControlBlock* marked_section_start(ParseControlBlock* block);
int marked_section_end();

// What decl_extid read.
struct ExternalIdRead {
  bool ok = false;  // false after a message (the declaration is then ended)
  int next = 0;     // code of the parameter read after it (already in the buffer)
  ExternalId id;
  // A general entity's data kind (kw_data_kind: CDATA 1, NDATA 2, SDATA 3,
  // SUBDOC 4; 0 none), its notation and the data attributes given.
  int data_kind = 0;
  NotationRecord* notation = nullptr;
  AttributeList* data_atts = nullptr;
};
// External identifier: the keyword (SYSTEM or PUBLIC) has just been read
// into buffer. kind: ExternalKind; name: the entity, notation or document
// type it identifies. For a general entity the data kind and notation may
// follow.
ExternalIdRead decl_extid(unsigned char* buffer, const unsigned char* name, int kind);

// The document element set-up and the end-of-prolog checks.
void doc_element_setup();
// The trace of an element type's definition (declaration or element
// trace on): its map is shown as "#CURRENT" when it has none.
void etd_trace(const ElementTypeDef* etd);
void prolog_end_checks();
// -i names become parameter entities with the text "INCLUDE".
void include_names_define();

// new text open + text + close (text_len characters), NUL-terminated.
unsigned char* entity_text_wrap(const unsigned char* text, int32_t text_len, const char* open,
                                const char* close, int32_t* out_len);

// ---------------------------------------------------------------------------
// Shared by the declaration readers.

// Buffers of the prolog: a parameter buffer for names, keywords and
// literals (LITLEN and NAMELEN with room) and a second literal buffer.
unsigned char* md_buffer();
unsigned char* md_buffer2();
int md_buffer_size();

// The reference reserved name that a keyword read in a declaration stands
// for (after a NAMES replacement the replacement counts as its reference
// name, and a replaced reference name is no longer a keyword); null when
// the name is not a reserved name in effect. counted names.
const char* reserved_reference(const unsigned char* counted);
bool keyword_is(const unsigned char* counted, const char* reference);

// Starts a declaration: keyword for messages, parameter count 0, entity
// level recorded.
void md_begin(int keyword);
void md_subject(const unsigned char* counted);
// Reads the next parameter into buffer (literals through LITP).
int md_param(unsigned char* buffer, int fold);
// The declaration trace of one parameter step: "MDPARM" with the
// declaration's keyword and subject, the parameter count, the code of the
// parameter just read and the step ("1: entity nm").
void md_trace(int code, const char* step);
// The declaration ends here: code is the parameter just read, which must
// be MDC (P126 otherwise); the entity level must be where it began (P37).
void md_end(int code);
// A "terminated" error ended the declaration: the rest up to its MDC is
// passed over quietly. code is the parameter just read.
void md_skip(int code);
// Reads a group from its "(" (already stepped back) to its ")" and its
// occurrence indicator, and passes over it (for skipping). false when it
// stopped at an incorrect character (P9 given; the enclosing block reads
// it again).
bool md_skip_group();
// Set by the group readers when they stopped at an incorrect character;
// cleared when a declaration or group starts.
extern inline bool& md_group_stopped;  // in sgml_parser (parser_state.h)
// The data attributes of an ENTITY declaration after its "[" up to "]";
// false when the declaration was ended by an error.
bool data_attributes_read(NotationRecord* notation, AttributeList** out);
// The short-reference delimiters 1 to 32 of the reference concrete syntax
// ("B" a blank sequence), and the names messages give delimiters 1 to 8.
extern const char* const ShortRefDelims[33];
extern const char* const ShortRefNames[9];
// Indexes of the delimiters that the content parser finds by their shape
// (record ends, blanks) or looks up by name.
enum ShortRefIndex : int {
  SR_TAB = 1,
  SR_RE = 2,
  SR_RS = 3,
  SR_RS_B = 4,
  SR_RS_RE = 5,
  SR_RS_B_RE = 6,
  SR_B_RE = 7,
  SR_SPACE = 8,
  SR_BB = 9,
  SR_HYPHEN = 19,
  SR_HYPHENS = 20,
  SR_RSQB = 26,
};

// Groups of declarations; each reads from the "(" that parse_md_param
// stepped back.
// Element types of a name group (each defined when new) into list: the
// number of entries + 1, or 0 when the declaration ended (the message
// given; see md_skip_after_group).
int parse_name_group(std::vector<ElementTypeDef*>* list);
// Notations of a notation group (each defined as referenced when new).
int parse_notation_group(std::vector<NotationRecord*>* list);
// A content model in the model buffer (valid until the next call):
// keyword 0 reads a model group and its occurrence indicator (and runs
// the ambiguity check when the switch record asks for it); otherwise the
// model is the header alone with the keyword's flags. null when the
// declaration ended.
ContentModel* parse_model(int keyword);
// A copy of a model in storage of its exact size.
ContentModel* model_copy(const ContentModel* model);
// After a group reader ended the declaration: the rest of it is passed
// over, unless the reader stopped at an incorrect character (P9), which
// the enclosing block reads again.
void md_skip_after_group(unsigned char* buffer);
// A parameter that names element types, code just read into buffer: a
// name (defined when new; the declaration's subject when subject is set)
// or a name group; otherwise P121. false when the declaration ended (the
// rest passed over).
bool md_element_types(int code, unsigned char* buffer, std::vector<ElementTypeDef*>* out,
                      bool subject);
bool md_notations(int code, unsigned char* buffer, std::vector<NotationRecord*>* out,
                  bool subject);
// The map of "#EMPTY": no short reference is mapped. Made on first use;
// the content parser asks for it at every step, hence inline.
extern inline ShortRefMap*& empty_map_record;  // in sgml_parser (parser_state.h)
ShortRefMap* empty_map_make();
inline ShortRefMap* empty_map() {
  return empty_map_record != nullptr ? empty_map_record : empty_map_make();
}
// The name a trace shows for a map in force: "#EMPTY" for none.
const char* map_trace_name(const ShortRefMap* map);
// The entity trace of a map (label "SHORTREF", "USEMAP", "STACK"): its
// name and record and what it is for (owner), then each delimiter it maps.
void srmap_trace(const char* label, const ShortRefMap* map, const char* owner);
