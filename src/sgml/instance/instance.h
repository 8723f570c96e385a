// The document instance inside the parser: the open-element stack, the
// content parser that turns the tokens of the content blocks into events,
// the record-end driver, and the words they share with the pull interface.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sgml/lex/lex.h"
#include "sgml/instance/model.h"
#include "sgml/sgml.h"
#include "sgml/entities/tables.h"
#include "sgml/messages/trace.h"

struct EntityEntry;

// Content tokens and action codes shared with the pull interface. The
// content blocks' codes that parse_content hands on as they are are those
// codes themselves.
enum : int {
  TOK_END = LEX_END_OF_INPUT,  // 19
  TOK_REREAD = 20,  // driver: release the held record end, then the token
  TOK_DATA = 21,
  TOK_END_TAG = 22,
  TOK_MD = CON_DECLARATION,    // 23
  TOK_COMMENT = CON_COMMENT,   // 24
  TOK_MS_START = CON_MS_START, // 25
  TOK_MS_END = CON_MS_END,     // 26
  TOK_PI = CON_PI,             // 27
  TOK_RE = CON_RE,             // 28
  TOK_START_TAG = 29,
  TOK_RS = CON_RS,             // 30
  TOK_IGNORED = 31,
};

struct InstanceState {
  std::vector<OpenElement> stack;           // TAGLVL + 1 entries
  std::vector<ContextState> positions;      // one per level
  int level = 0;
  // The levels, lowest first, whose element types have exclusions or
  // inclusions: the exception searches look at these only. element_pop
  // drops the closed level; entries above the current level left by other
  // ways of lowering it are stale, passed over, and dropped by the next push.
  std::vector<int> exception_levels;
  std::vector<int> exclusion_levels;        // the same for exclusions only
  ParseControlBlock* block = nullptr;       // content block in use
  bool special_block = false;               // a marked section holds its own block
  // Words of the tags in hand.
  ElementTypeDef* start_etd = nullptr;      // element type of the start tag in hand
  ElementTypeDef* named = nullptr;          // the type named by the markup (event word)
  int start_kind = 0;
  int end_kind = 0;
  ElementTypeDef* end_named = nullptr;
  // Content state.
  bool parse_ended = false;                 // the document element was ended
  bool input_ended = false;                 // everything closed at the end of input
  bool token_pending = false;               // a token waits for a retry
  int pending_token = 0;
  bool empty_started = false;               // an EMPTY element was just pushed
  bool empty_mark = false;                  // the element in hand is EMPTY
  bool net_mark = false;                    // the start tag in hand enabled NET
  bool included_mark = false;
  bool not_allowed_mark = false;
  bool saved_empty = false, saved_net = false;
  int saved_kind = 0;                       // kind of the tag that implied a start tag
  ElementTypeDef* saved_start_etd = nullptr;
  bool just_implied = false;                // the current element was just implied
  bool pi_entity = false;                   // the PI in hand is a PI entity's text
  int to_close = 0;                         // levels to close by an end tag / end of input
  int close_last_kind = 0;                  // kind of the last of them
  int net_count = 0;
  bool data_seen = false;
  bool re_refused = false;                  // a record end was refused (P10 later)
  int32_t data_flags = 0;
  const unsigned char* data_text = nullptr;
  int32_t data_length = 0;
  bool refill_pending = false;              // data ended at a buffer end
  // What the instance began with, to be acted on before the first token:
  // TOK_MS_START "<![", TOK_DATA a character reference (the document
  // element's start tag is implied as before data); 0 nothing.
  int start_pending = 0;
  int rcdata_level = -1;                    // entity level of an RCDATA element
  int ms_rcdata_level = -1;                 // and of an RCDATA marked section
  int32_t start_tag_length = 0;
  int32_t tag_start = 0;                    // offset of the "<" of the start tag in hand
  int32_t implied_start = 0;                // start offset for an implied start tag
  // Record-end driver.
  struct DriverLevel {
    int state;
  };
  std::vector<DriverLevel> driver;
  int driver_level = 0;
  bool set_up = false;
  unsigned char root_name[260] = {};        // counted document name of filter/meta
};
extern inline InstanceState& inst;  // in sgml_parser (parser_state.h)

// Pseudo element types for data, "<>" and "</>" / NET. The one for data
// is asked for at every data token: its record is made once and read
// in place.
extern inline ElementTypeDef*& pseudo_data_record;  // in sgml_parser (parser_state.h)
ElementTypeDef* pseudo_data_make();
inline ElementTypeDef* pseudo_data() {
  return pseudo_data_record != nullptr ? pseudo_data_record : pseudo_data_make();
}
ElementTypeDef* pseudo_empty_start();
ElementTypeDef* pseudo_empty_end();

// Content set-up: the stacks for TAGLVL; the attribute working list stays.
void content_setup();
// Pushes type (flags from the marks in hand); offsets from the words of
// the tag in hand.
void element_push(ElementTypeDef* type);
// Closes the current element; pending is the pending markup length.
void element_pop(int32_t pending);
// The next content token (TOK_*, or a code of the lexical engine). An RS
// never comes out: the record-end driver, which ignores it, is stepped
// with it here.
int parse_content();
int content_action(int token);
ParseControlBlock* content_pcb_select(int content_flags);
// The block of element content (no #PCDATA: separators between tags) or of
// mixed content, for content flags that are neither CDATA nor RCDATA.
inline ParseControlBlock* element_content_block(int content_flags) {
  return (content_flags & CONTENT_DECLARED) == 0 && !(content_flags & CONTENT_MIXED) ? &pcb_cone
                                                                                     : &pcb_conm;
}
// The exception level of type among the open elements.
int exception_level(ElementTypeDef* type);
// Levels between the current element and the open element of type, or -1.
int open_element_find(ElementTypeDef* type);
void exclusion_check();
// Record-end driver: the token in, the action out. Stepped once per
// content token, so the table step is inline; what is rare (a level of its
// own for an element accepted through an inclusion, the trace) is in
// redriver.cpp.
namespace driver_tables {
// Token columns, by token - TOK_END: data, end tag, markup declaration,
// comment declaration, marked section start, marked section end,
// processing instruction, record end, start tag, RS, end of input; -1 for
// tokens the driver passes through.
inline constexpr int8_t kColumn[] = {
    10,  // TOK_END
    -1,  // TOK_REREAD
    0,   // TOK_DATA
    1,   // TOK_END_TAG
    2,   // TOK_MD
    3,   // TOK_COMMENT
    4,   // TOK_MS_START
    5,   // TOK_MS_END
    6,   // TOK_PI
    7,   // TOK_RE
    8,   // TOK_START_TAG
    9,   // TOK_RS
};
static_assert(TOK_RS - TOK_END + 1 == sizeof kColumn);
// Next state by state (0, 2, 4, 6, 8 as rows 0 to 4) and column. State 6
// holds a record end that data or a proper subelement would make data;
// state 8 holds it after markup (a declaration, a processing instruction,
// a marked section boundary, an included element) began the record now
// read. The record end of such a record is ignored and the one held stays
// held (8 to 6): when only an end tag follows, it is dropped.
inline constexpr int8_t kNext[5][11] = {
    {4, 4, 0, 0, 0, 0, 0, 2, 0, 2, 0},
    {4, 4, 0, 0, 0, 0, 0, 6, 0, 2, 0},
    {4, 4, 4, 4, 4, 4, 4, 6, 0, 2, 0},
    {4, 4, 8, 8, 8, 8, 8, 6, 0, 6, 0},
    {4, 4, 8, 8, 8, 8, 8, 6, 0, 6, 0},
};
}  // namespace driver_tables
// A start tag of an element accepted only through an inclusion: the level
// it came at is not stepped (the element is not a proper subelement), a
// level of its own begins in state 0. Returns the token.
int sgml_driver_included_start(int column);
// After the table step: the level of an included element dropped at its
// end, and the step traced (stepped: the state the table gave the level
// the token came at).
void sgml_driver_after(int token, int before, int column, int stepped, int action);
inline int sgml_driver_step(int token) {
  // One table look-up decides whether the driver takes the token at all.
  const auto index = static_cast<unsigned>(token - TOK_END);
  if (index >= sizeof driver_tables::kColumn) return token;
  const int column = driver_tables::kColumn[index];
  if (column < 0 || inst.driver.empty()) return token;
  if (token == TOK_START_TAG && (inst.stack[inst.level].flags & OPEN_INCLUDED))
    return sgml_driver_included_start(column);
  int& state = inst.driver[static_cast<size_t>(inst.driver_level)].state;
  const int before = state;
  int action = token;
  if (before <= 4) {
    if (token == TOK_RE || token == TOK_RS) action = TOK_IGNORED;
  } else if (token == TOK_DATA || token == TOK_START_TAG) {
    action = TOK_REREAD;
  } else if (token == TOK_RS || (token == TOK_RE && before == 8)) {
    action = TOK_IGNORED;
  }
  const int stepped = driver_tables::kNext[static_cast<unsigned>(before) / 2][column];
  state = stepped;
  if ((token == TOK_END_TAG && inst.driver_level > 0) || trace_on.state)
    sgml_driver_after(token, before, column, stepped, action);
  return action;
}
// The driver stepped with an RS, which it always ignores: as
// sgml_driver_step(TOK_RS) without the token's look-up.
void sgml_driver_rs();
void driver_reset();
// The content flags of an element type (header flags of its model; CONTENT_ANY
// ANY when it has no model).
inline int element_content_flags(const ElementTypeDef* etd) {
  if (etd == nullptr || etd->model == nullptr) return CONTENT_ANY;
  return etd->model[0].flags;
}
// Selects the content block of the current element (unless a marked
// section holds its own). Called per tag, so inline: element and mixed
// content are chosen here, CDATA and RCDATA (which set more words) by
// content_pcb_select.
inline void content_block_current() {
  if (inst.special_block) return;
  const int flags = element_content_flags(inst.stack[inst.level].etd);
  ParseControlBlock* pcb = flags & (CONTENT_CDATA | CONTENT_RCDATA) ? content_pcb_select(flags)
                                                                    : element_content_block(flags);
  if (pcb != inst.block) {
    inst.block = pcb;
    pcb_reset(pcb);
  }
}
// The instance begins: trace, set-up, "*DOC" pushed, its block selected.
void instance_begin(int start_code);
// Reads a processing instruction's text into the token buffer.
int32_t pi_read(const unsigned char** text);
// The attribute specification list of a start tag of etd, from after its
// GI to the end of the tag: the working list gets the values given and
// their offsets. Returns what ended the tag (IN_TAG_TAGC, IN_TAG_NET,
// IN_TAG_UNCLOSED, IN_TAG_INVALID, LEX_INVALID or LEX_INVALID_BACK after
// an invalid character the engine reported, LEX_END_OF_INPUT); *net is set
// for a NET-enabling start tag.
int parse_attributes(ElementTypeDef* etd, bool* net);
// The checks of the values in effect after the tag (required, NOTATION,
// ENTITY, ID).
void att_defaults(ElementTypeDef* etd);
// Whether the start tag just read gave a value to a #CONREF attribute (a
// content reference).
bool att_content_reference();
// The working list of the tag just read, or null.
const AttributeList* att_working_list();
// Index of the attribute named name (counted) among the first count
// entries of the working list (group tokens skipped), 0 when none; of the
// attribute whose group holds the counted token.
int att_find_name(int count, const unsigned char* name);
int att_find_token(int count, const unsigned char* token);
// Per-document reset of the instance words.
void instance_reset();
// A new model of declared content ANY (for types the parser defines "O O ANY").
ContentModel* any_model();
// Message layout: names of the open elements from level 1 up.
void message_open_elements(std::vector<std::string>* out);
