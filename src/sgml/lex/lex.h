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
#include <optional>

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
  int data_code;        // content blocks: code of a character-reference data character (CON_)
  // A state in which a space or tab is passed over as data, -1 for none:
  // set by the content parser around its engine calls while the map in
  // force maps no blank short reference (the blank would only come back
  // to it to be taken as data).
  int blank_data_state;
  // Per state, per class: 1 where the class keeps the state with nothing
  // to do (ACT_IGNORE), so that a run of such characters is passed over in
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
// SHORTTAG NO: in CONM, CONE, CONR and CONC the empty-tag codes
// CON_EMPTY_END_TAG and CON_EMPTY_START_TAG become the action the same
// state gives the class of '_'.
void lex_shorttag_off();
// The NET switch: while at least one open element has a NET-enabling start
// tag, the NET character "/" has the NET class 17 in the content and
// literal-content tables; otherwise its own class 16.
void lex_net_switch(bool enabled);

// States of the content blocks that the content parser steps into itself
// (lexrows.cpp pins them): data goes on (CONM, CONR, CONC, MSRCDATA,
// MSCDATA), and the state after an RS (CONM, CONE).
constexpr int kContentDataState = 1;
constexpr int kContentAfterRsState = 3;

// Starts a block over in state 0.
inline void pcb_reset(ParseControlBlock* pcb) {
  pcb->state = 0;
  pcb->prev_state = 0;
  pcb->last_class = 0;
  pcb->last_action = 0;
}

// Engine actions: what a row tells the engine to do with the character
// just read. lex_engine handles these itself; every other value in an
// action row is a token code that it returns to the caller (the code
// families below; lexrows.cpp explains each in its block).
enum LexAction : uint8_t {
  ACT_CHAR_REF_NAME = 1,      // "&#" and a letter: function character reference
  ACT_CHAR_REF_NUMBER = 2,    // "&#" and a digit: numeric character reference
  ACT_NONSGML = 3,            // non-SGML character: P60 and LEX_ESCAPE (the marker 1: P152)
  ACT_EE_IN_MARKUP = 4,       // entity end inside markup: P8, then as ACT_ENTITY_END
  ACT_ENTITY_REF = 5,         // "&" and a name in content
  ACT_REFILL = 6,             // end of buffer: refill and go on
  ACT_INVALID = 7,            // P9, step back one, return LEX_INVALID
  ACT_LENGTH_ERROR = 8,       // P3
  ACT_IGNORE = 9,             // nothing to do: read on
  ACT_BACK_INVALID = 10,      // step back, P9, step back, return LEX_INVALID_BACK
  ACT_PARAM_REF = 11,         // "%" and a name: parameter entity reference
  ACT_BACK_TWO = 12,          // step back two
  ACT_BACK_ONE = 13,          // step back one
  ACT_BACK_RETURN = 14,       // step back one and return LEX_STEPPED_BACK
  ACT_ENTITY_END = 15,        // entity end: LEX_ENTITY_END
  ACT_RS = 16,                // RS: count the line
  ACT_TEXT_REF = 17,          // "&" and a name in a literal or RCDATA
  ACT_NONSGML_IN_MARKUP = 18, // P4, the character ignored
  ACT_BACK_TEXT_REF = 61,     // step back one, then as ACT_TEXT_REF
  ACT_BACK_LENGTH_ERROR = 64, // step back one, P3
};
// The highest engine action: the engine returns every row value above it
// at once.
constexpr int kLastEngineAction = ACT_BACK_LENGTH_ERROR;
// Whether a row value reaches the caller as a token code: the engine
// handles 1 to 18, 61 and 64 itself.
constexpr bool lex_returns(int code) {
  return code > ACT_NONSGML_IN_MARKUP && code != ACT_BACK_TEXT_REF &&
         code != ACT_BACK_LENGTH_ERROR && code < 256;
}

// Codes the engine itself returns, whatever the block.
enum LexCode : int {
  LEX_ESCAPE = ACT_NONSGML,             // 3: non-SGML character or reference below 33
  LEX_INVALID = ACT_INVALID,            // 7
  LEX_INVALID_BACK = ACT_BACK_INVALID,  // 10
  LEX_STEPPED_BACK = ACT_BACK_RETURN,   // 14: the character is read again
  LEX_ENTITY_END = ACT_ENTITY_END,      // 15
  LEX_ENTITY_OPENED = ACT_TEXT_REF,     // 17
  LEX_END_OF_INPUT = 19,
  LEX_REREAD = 20,       // a character from a numeric reference, in a block without data code
  LEX_DATA_ENTITY = 62,  // a data entity or an echoed reference: its text is in lex_data
  LEX_PI_ENTITY = 63,    // a PI entity: its text is in lex_data
};

// Codes of the content blocks CONM, CONE, CONR, CONC and of the marked
// section blocks MSRCDATA, MSCDATA, MSIGNORE (besides the LEX_ codes).
// Those that the content parser hands on as they are equal their TOK_
// token (instance.h).
enum ContentCode : int {
  CON_DATA_END = 21,         // data ends before the current character (after
                             // ACT_CHAR_REF_NUMBER: one data character)
  CON_END_TAG = 22,          // ETAGO and a name start
  CON_DECLARATION = 23,      // MDO and a name start
  CON_COMMENT = 24,          // MDO and "-" or MDC
  CON_MS_START = 25,         // "<![" (MSIGNORE: a nested section)
  CON_MS_END = 26,           // "]]>"
  CON_PI = 27,               // PIO "<?"
  CON_RE = 28,
  CON_START_TAG = 29,        // STAGO and a name start
  CON_RS = 30,
  CON_DATA_START = 35,       // data starts at the current character
  CON_BLANK = 36,            // a blank where data would start (short references)
  CON_ELEMENT_DATA = 37,     // CONE: a data character in element content
  CON_NET = 41,
  CON_EMPTY_END_TAG = 42,    // "</>"
  CON_EMPTY_START_TAG = 43,  // "<>"
  CON_RCDATA_END_TAG = 45,   // CONR, CONC: ETAGO and a name start
  CON_RS_RE = 47,            // RE right after RS
  CON_SR_HYPHENS = 48,       // "--" short reference
  CON_SR_BEFORE = 49,        // one-character short reference before the current character
  CON_SR_AT = 50,            // one-character short reference at the current character
  CON_DATA_BUFFER_END = 74,  // end of buffer inside data
};

// Codes of the prolog blocks PRO and MDS.
enum PrologCode : int {
  PRO_SUBSET_DECLARATION = 23,  // MDS: "<!" and a name start
  PRO_COMMENT = 24,             // "<!" and "-" or ">"
  PRO_MS_START = CON_MS_START,  // 25, MDS: "<![" (MSIGNORE gives it to the prolog too)
  PRO_MS_END = CON_MS_END,      // 26, MDS: "]]>" (the same)
  PRO_PI = 27,                  // "<?"
  PRO_INVALID_RUN = 31,         // MDS: a run of characters not allowed in the subset ended
  PRO_DECLARATION = 32,         // PRO: "<!" and a name start
  PRO_DSC = 33,                 // MDS: DSC before the current character
  PRO_TAG_STARTS = 34,          // PRO: a tag starts the instance
  PRO_DATA_STARTS = 38,         // PRO: a data character starts the instance
  PRO_DATA = 39,                // PRO: another data character
  PRO_DATA_END = 40,            // PRO: the data ended before the current character
  PRO_MS_STARTS = 75,           // PRO: "<![" starts the instance
  PRO_REFERENCE_STARTS = 77,    // PRO: "&" and a name start or "#" starts the instance
};

// Codes of the group blocks GRCM, GRNT, GRNM, of GRCS (occurrence
// indicator), ENTREF (reference end) and EAL (data attribute list).
enum GroupCode : int {
  G_INVALID = LEX_INVALID,
  G_NONE = LEX_STEPPED_BACK,  // GRCS: no occurrence indicator; ENTREF: no reference close
  G_GRPC = 20,
  G_REFC = 20,                // ENTREF: ";" or RE taken
  G_GRPO = 21,
  G_NAME = 22,
  G_NAME_TOKEN = 23,
  G_RNI_NAME = 24,
  G_AND = 25,
  G_OR = 26,
  G_SEQ = 27,
  G_OPT = 28,
  G_PLUS = 29,
  G_REP = 30,
  EAL_DSC = 20,               // EAL: "]"
  EAL_NAME = 22,
  EAL_NAME_TOKEN = 23,
  EAL_LIT = 31,
  EAL_LITA = 32,
  EAL_VI = 34,                // a character of class 0 (the caller checks it is "=")
};

// The connectors and occurrence indicators follow each other: readers
// that only pass over them test the range G_AND..G_REP.
static_assert(G_OR == G_AND + 1 && G_SEQ == G_AND + 2 && G_OPT == G_AND + 3 &&
              G_PLUS == G_AND + 4 && G_REP == G_AND + 5);

// Codes of the tag blocks STAG and ETAG (ETAG: IN_TAG_TAGC, IN_TAG_UNCLOSED
// and IN_TAG_INVALID only).
enum TagCode : int {
  IN_TAG_TAGC = 20,      // ">"
  IN_TAG_NET = 22,       // "/"
  IN_TAG_NAME = 23,      // a name start
  IN_TAG_VI = 24,        // "="
  IN_TAG_TOKEN = 25,     // a digit, "." or "-": an unquoted value
  IN_TAG_LIT = 26,
  IN_TAG_UNCLOSED = 27,  // "<": an unclosed tag
  IN_TAG_LITA = 28,
  IN_TAG_INVALID = 29,   // a character that cannot appear in a tag
};

// Codes of the literal blocks LITP, LITC, LITR, LITT, LITV.
enum LiteralCode : int {
  LIT_CHAR_REF = LEX_REREAD,  // a character given by a character reference: data
  LIT_DATA = 21,              // a data character (the current one)
  LIT_SPACE = 22,             // LITR: a record end or separator character, read as a space
  LIT_NOT_MINIMUM = 25,       // LITV: a character that is not minimum data
};

// Codes of the VAL rows, which parse_attr_value walks itself.
enum ValueCode : int {
  VAL_INVALID = ACT_BACK_RETURN,  // an invalid character
  VAL_TOKEN_END = 21,             // a token ends at a blank or record character
  VAL_TOKEN_START = 35,
};

// Codes of the SD block (parameters of the SGML declaration).
enum SdCode : int {
  SDC_INVALID = LEX_INVALID,
  SDC_MDC = 20,
  SDC_LIT = 21,
  SDC_LITA = 22,
  SDC_NUMBER = 23,    // a digit: a number starts
  SDC_NAME = 24,      // a letter: a name starts
  SDC_BAD_DATA = 25,  // a data character that cannot appear here
};

// The codes written in rows must reach the caller (and fit a row byte).
static_assert(lex_returns(CON_DATA_END) && lex_returns(CON_END_TAG) &&
              lex_returns(CON_DECLARATION) && lex_returns(CON_COMMENT) &&
              lex_returns(CON_MS_START) && lex_returns(CON_MS_END) && lex_returns(CON_PI) &&
              lex_returns(CON_RE) && lex_returns(CON_START_TAG) && lex_returns(CON_RS) &&
              lex_returns(CON_DATA_START) && lex_returns(CON_BLANK) &&
              lex_returns(CON_ELEMENT_DATA) && lex_returns(CON_NET) &&
              lex_returns(CON_EMPTY_END_TAG) && lex_returns(CON_EMPTY_START_TAG) &&
              lex_returns(CON_RCDATA_END_TAG) && lex_returns(CON_RS_RE) &&
              lex_returns(CON_SR_HYPHENS) && lex_returns(CON_SR_BEFORE) &&
              lex_returns(CON_SR_AT) && lex_returns(CON_DATA_BUFFER_END));
static_assert(lex_returns(PRO_SUBSET_DECLARATION) && lex_returns(PRO_COMMENT) &&
              lex_returns(PRO_PI) && lex_returns(PRO_INVALID_RUN) &&
              lex_returns(PRO_DECLARATION) && lex_returns(PRO_DSC) &&
              lex_returns(PRO_TAG_STARTS) && lex_returns(PRO_DATA_STARTS) &&
              lex_returns(PRO_DATA) && lex_returns(PRO_DATA_END) &&
              lex_returns(PRO_MS_STARTS) && lex_returns(PRO_REFERENCE_STARTS));
static_assert(lex_returns(G_GRPC) && lex_returns(G_GRPO) && lex_returns(G_NAME) &&
              lex_returns(G_NAME_TOKEN) && lex_returns(G_RNI_NAME) && lex_returns(G_AND) &&
              lex_returns(G_OR) && lex_returns(G_SEQ) && lex_returns(G_OPT) &&
              lex_returns(G_PLUS) && lex_returns(G_REP) && lex_returns(EAL_LIT) &&
              lex_returns(EAL_LITA) && lex_returns(EAL_VI));
static_assert(lex_returns(IN_TAG_TAGC) && lex_returns(IN_TAG_NET) && lex_returns(IN_TAG_NAME) &&
              lex_returns(IN_TAG_VI) && lex_returns(IN_TAG_TOKEN) && lex_returns(IN_TAG_LIT) &&
              lex_returns(IN_TAG_UNCLOSED) && lex_returns(IN_TAG_LITA) &&
              lex_returns(IN_TAG_INVALID));
static_assert(lex_returns(LIT_DATA) && lex_returns(LIT_SPACE) && lex_returns(LIT_NOT_MINIMUM));
static_assert(lex_returns(SDC_MDC) && lex_returns(SDC_LIT) && lex_returns(SDC_LITA) &&
              lex_returns(SDC_NUMBER) && lex_returns(SDC_NAME) && lex_returns(SDC_BAD_DATA));

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

// What the engine does at an RS it passes over (ACT_RS), for callers
// that receive the RS as a code (CON_RS in content): one more line, a new
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
// (sgml.h DATA_NO_RESCAN, DATA_SDATA, DATA_EXTERNAL; DATA_SDATA for a PI
// entity).
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
  MD_INVALID = LEX_INVALID,  // 7: a character that cannot start a parameter (P9 given)
  MD_END = 19,       // never returned: the end of input is fatal P133
  MD_MDC = 20,       // ">" (stepped back: the caller reads it again)
  MD_DSO = 21,       // "["
  MD_DSC = 22,       // "]"
  MD_LITERAL = 23,   // a literal, text in the buffer (length in md_param_length)
  MD_LITA = 24,      // row code only: LITA, returned as MD_LITERAL
  MD_PERO = 25,      // "%" followed by a separator (ENTITY %)
  MD_NAME = 26,      // a name (counted) in the buffer
  MD_NAME_TOKEN = 27,
  MD_NUMBER = 28,    // a number token
  MD_GROUP = 29,     // "(" (stepped back: the group reader reads it)
  MD_PLUS = 30,      // "+"
  MD_RNI_NAME = 31,  // "#" and a name (counted, without the "#")
  MD_MINUS = 32,     // "-" before "(" (the "(" is stepped back)
  MD_GRPO = 33,      // row code only: "(", returned as MD_GROUP
};
static_assert(lex_returns(MD_MDC) && lex_returns(MD_DSO) && lex_returns(MD_DSC) &&
              lex_returns(MD_LITERAL) && lex_returns(MD_LITA) && lex_returns(MD_PERO) &&
              lex_returns(MD_NAME) && lex_returns(MD_NAME_TOKEN) && lex_returns(MD_NUMBER) &&
              lex_returns(MD_PLUS) && lex_returns(MD_RNI_NAME) && lex_returns(MD_MINUS) &&
              lex_returns(MD_GRPO));

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
struct AttrValueTokens {
  // The message to give, if any: P14 (invalid character), P15 (token too
  // long), P16 (too many tokens), P17 (wrong kind of token) or P25 (empty).
  std::optional<ParserMessage> problem;
  int tokens = 0;  // tokens found (0 after P14 and P15, which stop the walk)
};
AttrValueTokens parse_attr_value(const unsigned char* value, int length, int declared_value,
                                 unsigned char* out, int out_size);

// Character references by function name: the character, or -1.
int char_ref_function(const unsigned char* name);
