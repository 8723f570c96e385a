// The lexical engine: one table-driven loop that reads every character of
// the parser through the entity stack, and the readers that take names,
// tokens, blank runs, declaration parameters and literals after it.
//
// A parse-control block is one recognition mode: a character class table,
// rows of next states and actions (two rows per state, indexed by class)
// and the block's own current state. The rows are data, laid out and
// explained in lexrows.cpp; the engine (lexengine.cpp) looks up the class
// and the two row entries per character and either handles the action
// itself (references, entity ends, buffer ends, character references,
// errors) or returns it to the caller as a token code.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sgml/entities/entity.h"
#include "sgml/messages/message.h"

enum { LEX_MAX_CLASSES = 28 };
using LexRow = uint8_t[LEX_MAX_CLASSES];

struct ParseControlBlock {
  const char* name;     // "CONM" ...
  int state_index;      // ParseState of the block (message state names)
  uint8_t* classes;     // character class table
  LexRow* rows;         // 2 * states rows: next state, action
  int states;
  int prev_state;
  int last_class;
  int last_action;
  int state;
  int data_code;        // content blocks: code of a character-reference data character
  // A state in which a space or tab is passed over as data, -1 for none:
  // set by the content parser around its engine calls while the map in
  // force maps no blank short reference (the blank would only come back
  // to it to be taken as data).
  int blank_data_state;
  // Per state, per class: 1 where the class keeps the state with nothing
  // to do (action 9), so that a run of such characters is passed over in
  // one loop (states * LEX_MAX_CLASSES, made from the rows).
  const uint8_t* runs;
};

// The 27 blocks.
extern ParseControlBlock pcb_conm, pcb_cone, pcb_conr, pcb_conc, pcb_pro, pcb_mds, pcb_grcm,
    pcb_grcs, pcb_grnt, pcb_grnm, pcb_entref, pcb_litp, pcb_litc, pcb_litr, pcb_litv, pcb_litt,
    pcb_md, pcb_mdc, pcb_mdi, pcb_msrcdata, pcb_mscdata, pcb_msignore, pcb_stag, pcb_etag,
    pcb_val, pcb_eal, pcb_sd;
// The blocks in the order above, then null.
extern ParseControlBlock* const LexBlocks[28];
// The block named name ("CONM"), or null.
ParseControlBlock* lex_block_by_name(const char* name);

// Builds the rows of every block from their descriptions (idempotent; the
// engine calls it on first use). lex_rows_reset rebuilds them (undoing the
// SHORTTAG NO patch) and puts every block back in state 0.
void lex_rows_reset();
extern bool lex_rows_built;
inline void lex_rows_setup() {
  if (!lex_rows_built) lex_rows_reset();
}
// SHORTTAG NO: in CONM, CONE, CONR and CONC the empty-tag actions 42 and 43
// become the action the same state gives the class of '_'.
void lex_shorttag_off();
// The NET switch: while at least one open element has a NET-enabling start
// tag, the NET character "/" has the NET class 17 in the content and
// literal-content tables; otherwise its own class 16.
void lex_net_switch(bool enabled);

// Starts a block over in state 0.
inline void pcb_reset(ParseControlBlock* pcb) {
  pcb->state = 0;
  pcb->prev_state = 0;
  pcb->last_class = 0;
  pcb->last_action = 0;
}

// Token codes of the blocks (see lexrows.cpp for what each stands for).
enum LexCode : int {
  LEX_ESCAPE = 3,        // non-SGML character or reference below 33: escape pair
  LEX_ENTITY_END = 15,
  LEX_ENTITY_OPENED = 17,
  LEX_END_OF_INPUT = 19,
  LEX_REREAD = 20,
  LEX_LITERAL_SPACE = 22,  // LITR: a record end or separator character, read as a space
  LEX_DATA_ENTITY = 62,
  LEX_PI_ENTITY = 63,
};

// Runs the block from its current state until an action it returns.
int lex_engine(ParseControlBlock* pcb);

// The character read last (0 when no entity is open).
inline unsigned char lex_current_char() { return entity_top ? *entity_top->ptr : 0; }
// Pointer to the character read last in the innermost entity.
inline unsigned char* lex_current_ptr() { return entity_top ? entity_top->ptr : nullptr; }
// Moves the read pointer of the entity back by n characters (never before
// the start of an internal entity's text, nor before the characters an
// external one keeps in front of its buffer).
inline void entity_step_back(EntityEntry* e, int n) {
  unsigned char* lowest = e->type > ENT_CDATA ? e->buffer : e->start - 1;
  if (e->ptr - lowest < n)
    e->ptr = lowest;
  else
    e->ptr -= n;
}
// The same for the innermost entity.
inline void lex_step_back(int n) {
  if (entity_top) entity_step_back(entity_top, n);
}

// The characters after the current one that the block would hand out one
// by one as code from the state it is in, up to one equal to stop: at most
// room of them are read and copied to out, and the block, the read pointer
// and the offset are left as the last of these steps leaves them. Returns
// how many (none while the state trace is on: every step is traced).
int lex_take_run(ParseControlBlock* pcb, int code, int stop, unsigned char* out, int room);

// What the engine does at an RS it passes over (action 16), for callers
// that receive the RS as a code (30 in content): one more line, a new
// column.
inline void lex_count_record() {
  EntityEntry* e = entity_top;
  if (!e) return;
  ++e->line;
  e->column_base = -(e->ptr - e->start) - 1;
}

// The escape pair of the last LEX_ESCAPE: the escape character and the
// offset character. lex_escape_char gives (escape offset + c) mod 256.
const unsigned char* lex_escape_pair();
unsigned char escape_char(int c);

// The data text set for the next data event by an entity reference
// (entity data, PI entities, echoed references): text, length, flags
// (2 not rescanned, 4 SDATA, 8 external data entity; 4 for a PI entity).
struct LexData {
  const unsigned char* text;
  int32_t length;
  int32_t flags;
};
extern inline LexData& lex_data;  // in sgml_parser (parser_state.h)

// ---------------------------------------------------------------------------
// Readers

// Name buffer of counted names: NAMELEN + 2 bytes at least.
// fold: 0 none, 1 general name case (through NameCase when NAMECASE
// GENERAL is on), 2 entity name case (when NAMECASE ENTITY is on).
void parse_name(unsigned char* buffer, int fold);
// Characters of name class min_class or above into a NUL-terminated
// buffer, at most max_length; returns the length.
int parse_token(unsigned char* buffer, int min_class, int max_length);
// A run of blanks (space, tab) from the current character; returns its
// length (the data length).
int read_blank_run(unsigned char* buffer, int max_length);
// Leading characters of class min_class or above of a NUL-terminated string
// into counted form, at most NAMELEN, folded when fold is set.
void copy_name_token(unsigned char* dst, const unsigned char* src, int min_class, int fold);

// Codes of parse_md_param (see lexrows.cpp).
enum MdCode : int {
  MD_INVALID = 7,    // a character that cannot start a parameter (P9 given)
  MD_END = 19,       // never returned: the end of input is fatal P133
  MD_MDC = 20,       // ">" (stepped back: the caller reads it again)
  MD_DSO = 21,       // "["
  MD_DSC = 22,       // "]"
  MD_LITERAL = 23,   // a literal, text in the buffer (length in md_param_length)
  MD_PERO = 25,      // "%" followed by a separator (ENTITY %)
  MD_NAME = 26,      // a name (counted) in the buffer
  MD_NAME_TOKEN = 27,
  MD_NUMBER = 28,    // a number token
  MD_GROUP = 29,     // "(" (stepped back: the group reader reads it)
  MD_PLUS = 30,      // "+"
  MD_RNI_NAME = 31,  // "#" and a name (counted, without the "#")
  MD_MINUS = 32,     // "-" before "(" (the "(" is stepped back)
};
struct MdState {
  int level;        // entity level where the declaration began
  int length;       // characters of the last literal or token
};
extern inline MdState& md_state;  // in sgml_parser (parser_state.h)
// fold as parse_name; literal_block null reads literals as system data
// (LITC); max_length bounds a literal's text.
int parse_md_param(unsigned char* buffer, int fold, ParseControlBlock* literal_block,
                   int max_length);
// Reads a literal whose opening delimiter (delimiter) was just read, up to
// the same delimiter, into buffer (max_length characters at most; escape
// pairs kept whole). Returns the raw length (NUL added). P134 past the limit.
// In LITR (the literal of a CDATA attribute value) each record end and
// separator character is stored as a space.
int parse_literal(unsigned char* buffer, ParseControlBlock* literal_block, int max_length,
                  int delimiter);
// Characters the last parse_literal stored (escape pairs count two).
extern inline int& literal_length;  // in sgml_parser (parser_state.h)
// The fatal message parse_literal gives at the end of the input (92; the
// SGML declaration makes it 161 while it reads).
extern inline int& literal_end_message;  // in sgml_parser (parser_state.h)
// Normalizes the last literal into out (at most space characters): RS
// dropped, each run of separators kept as its first character, leading
// separators dropped unless keep_leading; returns the space left.
extern inline int& literal_keep_leading;  // in sgml_parser (parser_state.h)
int literal_normalize(unsigned char* out, int space);

// Attribute value tokenizer: splits value (length characters) by the
// declared value (a DeclaredValue from DV_NOTATION to DV_NUTOKENS, or
// DV_GROUP_TOKENS for a name token group) into counted tokens back to back
// in out (out_size bytes), folded by the
// entity name case for ENTITY and ENTITIES, else by the general name case.
// Returns 0 or the message to give: P14 (invalid character), P15 (token too
// long), P16 (too many tokens), P17 (wrong kind of token) or P25 (empty);
// *tokens gets the number of tokens.
int parse_attr_value(const unsigned char* value, int length, int declared_value,
                     unsigned char* out, int out_size, int* tokens);

// Character references by function name: the character, or -1.
int char_ref_function(const unsigned char* name);
