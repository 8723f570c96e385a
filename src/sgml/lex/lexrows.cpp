// The state rows of the 27 recognition blocks, as data, and the note that
// explains them.
//
// HOW THE ROWS WORK
//
// Each block has states 0..n-1. For state s the engine reads row 2s (next
// state) and row 2s+1 (action) at the class of the character just read.
// A row is described below as a list of steps {state, class, next, action};
// class ANY gives the step of every class the list does not name. Unless a
// list says otherwise, the end-of-buffer class (7; 6 in the name class
// table) keeps the state and takes action 6 (refill and go on), so that a
// delimiter may run across two buffers.
//
// Engine actions (handled inside lex_engine, never returned):
//   1 "&#" and a letter: function character reference     2 "&#" and a digit
//   3 non-SGML character (returned as 3 unless it is the marker 1: P152)
//   4 entity end in markup: P8, then as 15      5 "&" and a name in content
//   6 end of buffer: refill    7 P9, step back one, return 7
//   8 P3   9 ignore the character   10 step back, P9, step back, return
//   11 "%" and a name: parameter entity reference    12 step back two
//   13 step back one   14 step back one and return 14   15 entity end
//   16 RS: count the line   17 "&" and a name in a literal or RCDATA
//   18 P4 (non-SGML character in markup, ignored)   61 step back, then 17
//   64 step back, P3
// Every other action is returned to the caller as the token code.
//
// Step back: the read pointer points at the character read last, so
// stepping back one makes the engine read the current character again and
// stepping back two makes it read the previous one again. A candidate
// delimiter that turns out not to be one is re-read this way: the states
// BACK (step back two more after re-reading the middle character of a
// three-character candidate) and DATAFORCE (the first character of the
// failed candidate is data) chain the step-backs, never more than three
// characters. External entities keep the last characters of the previous
// buffer in front of the next one, so a chain may cross a buffer end;
// internal texts never step back before their start.
//
// "Current character" below is the character the read pointer is on when
// the code is returned; "the caller steps back one" means it calls
// lex_step_back(1) so that the engine reads that character again.
//
// CONTENT BLOCKS: CONM (mixed content), CONE (element content), CONR
// (RCDATA), CONC (CDATA); and MSRCDATA, MSCDATA (RCDATA and CDATA marked
// sections), which follow the same data protocol.
//   Data is handed out as runs that lie inside one buffer of one entity:
//   35 data starts at the current character (the block is then in DATA);
//   21 the data ends before the current character; the caller steps back
//      one (the character is read again in state 0). When the block's last
//      action is 2, 21 means instead: the current character is one data
//      character given by a numeric character reference (it is data, never
//      a delimiter, and is not read again);
//   74 end of buffer inside data: the data ends before the current
//      character (the end-of-buffer character); the caller refills the
//      entity (entpop) and goes on in state 0;
//   37 (CONE) a data character in element content (the current
//      character): the caller switches to CONM and steps back one; after
//      action 2 it is one data character from a character reference.
//   3  a non-SGML character or a character reference below 33: the escape
//      pair of lex_escape_pair() is two characters of data.
//   Markup and references (the current character is the one named):
//   22 ETAGO and a name start: the first character of the GI (parse_name,
//      then ETAG); 45 the same in CONR and CONC, where the caller checks
//      that the GI names an open element (P57 otherwise);
//   23 MDO and a name start: the first character of the name (parse_name);
//   24 MDO followed by "-" or by MDC: the current character is that "-"
//      or ">"; for "-" the caller steps back one and reads the comment
//      declaration with parse_md_param; ">" is the empty declaration;
//   25 MDO DSO "<![": the current character is the "[" (marked section
//      start; the caller reads the status keywords with parse_md_param);
//   26 MSC MDC "]]>" (marked section end), current character ">";
//   27 PIO "<?": current character "?" (the caller reads the PI text with
//      parse_literal over LITC up to PIC ">");
//   28 RE; 30 RS (the caller counts the line);
//   29 STAGO and a name start: the first character of the GI;
//   41 NET (only while the NET character has its NET class 17);
//   42 "</>" and 43 "<>" (current character ">"); SHORTTAG NO turns them
//      into data (lex_shorttag_off);
//   62 a data entity was referenced (lex_data holds its text), 63 a PI
//      entity (text in lex_data), 17 an entity was opened in RCDATA
//      content or an RCDATA marked section, 15 an entity ended (already
//      popped), 19 end of input.
//   Short references (CONM and CONE only; the caller looks in the map of
//   the open element and treats an unmapped one as data, or as a record
//   end for delimiters 1 to 5):
//   36 a blank (space, tab, or the space once SPACE is mapped) where data
//      would start: the caller reads the run with read_blank_run; a run
//      followed by RE is "B RE" (7), after an RS "RS B" (4) or with the RE
//      "RS B RE" (6); a run of two or more is BB (9); a lone tab TAB (1),
//      a lone space SPACE (8). Data runs end before every blank, so every
//      blank sequence is seen;
//   47 RE right after RS: "RS RE" (5); the RS came as 30 before it;
//   48 "--" (20), current character the second "-";
//   49 a one-character delimiter ("-" or "]") is the character before the
//      current one; the caller looks it up and steps back one;
//   50 a one-character delimiter at the current character (double quote,
//      "#", "[", and every character a map gave class 27).
//   Codes 20, 31 to 34, 38 to 40, 44, 46, 51 to 57, 61, 64 to 73, 75 to 77
//   are not returned by the content blocks.
//
// PROLOG BLOCKS: PRO (outside declarations), MDS (declaration subset).
//   Separators (space, tab, RE) are passed over, RS counted.
//   15 entity end, 19 end of input, 27 PIO "<?" (current "?"),
//   24 "<!" and "-" or ">" as in content (comment declaration),
//   32 (PRO) "<!" and a name start: the first character of the name;
//   23 (MDS) the same in the subset;
//   25 (MDS) "<![": marked section start (current "[");
//   26 (MDS) "]]>": marked section end;
//   33 (MDS) DSC: the "]" is the character before the current one; the
//      caller steps back one (and one more to have the DSC read again);
//   31 (MDS) a run of characters that cannot appear in the subset has
//      ended before the current character: P44, the caller steps back one;
//   34 (PRO) "<" and a name start, "/", NET or ">": the instance starts
//      with a tag; the caller steps back two (the prolog returns 37);
//   77 (PRO) "&" and a name start or "#": the instance starts with a
//      reference; the caller steps back two;
//   75 (PRO) "<![": the instance starts with a marked section;
//   38 (PRO) a data character starts the instance (the current
//      character); 39 another data character (blanks included); 40 the
//      data has ended before the current character (the caller steps back
//      one). 37 is not produced by the rows (the prolog turns 34 into it).
//   Parameter entity references "%name;" in MDS are opened by the engine.
//
// DECLARATION PARAMETERS: MD, MDC, MDI (one set of rows; three blocks so
// that each keeps its own state and message name). parse_md_param turns
// their codes into its own (lex.h MdCode):
//   20 MDC ">"; 21 DSO "["; 22 DSC "]"; 23 LIT and 24 LITA (the literal is
//   read by parse_literal with the caller's literal block, LITC when none);
//   25 PERO followed by a blank or RS (ENTITY %); 26 a name start (the
//   first character; parse_name); 27 a name token that starts with "." or
//   "-" (parse_token); 28 a digit: a number token (parse_token); 30 "+";
//   31 RNI and a name start (the first character of the name); 32 "-"
//   followed by "(" (current "(", the caller steps back one); 33 GRPO "("
//   (the caller steps back one and returns 29, group open); 7 a character
//   that cannot start a parameter (P9, stepped back: the declaration ends
//   and the character is read again by the enclosing block). Comments
//   "-- ... --" between parameters are separators, as are blanks and RE;
//   RS is counted. "%name;" opens the parameter entity; 15 an entity
//   ended; 19 end of input (fatal P133 in parse_md_param).
//
// GROUPS: GRCM (content model), GRNT (name tokens), GRNM (names): one set
// of rows.
//   20 GRPC ")"; 21 GRPO "("; 22 a letter: a name (first character);
//   23 a digit, "-" or ".": a name token; 24 RNI and a letter ("#PCDATA":
//   first character of the name); 25 AND "&"; 26 OR "|"; 27 SEQ ",";
//   28 OPT "?"; 29 PLUS "+"; 30 REP "*"; 7 another character (P9, stepped
//   back); blanks, RE passed over; "%name;" opened; 15; 19.
//   GRCS (occurrence indicator after a model group): 28 "?", 29 "+",
//   30 "*"; 14 anything else (stepped back: no indicator).
//   ENTREF (reference end): ";" or RE consumed (20); any other character
//   is stepped back (14) and belongs to what follows.
//   EAL (data attribute list of an ENTITY declaration, after its "["):
//   20 "]"; 22 a name start; 23 a name token; 31 LIT; 32 LITA; 34 a
//   character of class 0 (the caller checks it is VI "="); 7 other.
//
// LITERALS: LITP (parameter literal), LITR and LITT (attribute value
// literals), LITV (minimum literal), LITC (system data: processing
// instructions, system identifiers). parse_literal acts on:
//   21 a data character (the current character; it closes the literal
//      when it equals the opening delimiter and lies in the literal's own
//      entity); 20 a character given by a character reference (always
//      data, F12); 3 an escape pair (lex_escape_pair); 25 (LITV) a
//      character that is not minimum data: it closes the literal when it
//      is the delimiter, else P63 and it is dropped; 17 an entity was
//      opened (LITR, LITT: "&name;"), 62 a data entity or an echoed
//      reference (lex_data), 63 a PI entity (P59); 15; 19 (fatal P92);
//      22 (LITR only) a record end or separator character: a space.
//   RS is dropped (counted); "&#" references are resolved in LITP, LITR,
//   LITT; "%name;" is opened in LITP; "&name;" stays text in LITP.
//
// MARKED SECTIONS: MSRCDATA and MSCDATA follow the content data protocol
// (35, 21, 74, 3, 28, 30) with 26 for "]]>" and, in MSRCDATA, 17, 62, 63
// for entity references and character references as in CONR. MSIGNORE
// passes over everything and returns only 25 ("<![": a nested section),
// 26 ("]]>"), 15 and 19.
//
// TAGS: STAG (after the GI of a start tag): 20 TAGC ">"; 22 NET "/";
//   23 a name start (attribute name, or a value given without its name:
//   parse_name); 24 VI "="; 25 a digit, "." or "-" (an unquoted value:
//   parse_token); 26 LIT; 28 LITA; 27 "<": an unclosed tag (the caller
//   steps back one so that the "<" is read again); 29 a character that
//   cannot appear in a tag (current character): the caller reports P9 and
//   ends the tag, stepping back one. Blanks, RE passed over; an entity end
//   is P8 and 15. ETAG (after the GI of an end tag): 20, 27, 29 as in STAG.
//
// VAL: the attribute value tokenizer's two states over the name class
//   table (between tokens, in a token): 35 a token starts, 9 it goes on,
//   21 it ends at a blank or record character, 14 an invalid character.
//   parse_attr_value walks them itself (a value is not an entity).
//
// SD (parameters of the SGML declaration): 20 MDC ">", 21 LIT, 22 LITA,
//   23 a digit (a number starts), 24 a letter (a name starts), 25 an
//   invalid data character (class 1), 7 a character that cannot start a
//   parameter (P9), 19 end of input; comments "-- ... --" and separators
//   are passed over.
#include <cstring>
#include <iterator>
#include <vector>

#include "sgml/lex/chclass.h"
#include "sgml/lex/lex.h"
#include "sgml/parser_state.h"

namespace {

constexpr int ANY = -1;

struct Step {
  int8_t state;
  int8_t cls;
  uint8_t next;
  uint8_t action;
};

// --- class numbers of each table -------------------------------------------
namespace content {
enum : int8_t {
  DIGIT = 1, DOT, LETTER, SPACE, NONSGML, EE, EOB, RS, RE, TAB, ESC = 12, ERO, BS, HYPHEN,
  SLASH, NET, QUOT, SRSPACE, EXCL, RSQB, LSQB, QUES, NUM, GT, LT, SRCHAR
};
}
namespace litcon {
enum : int8_t {
  DIGIT = 1, DOT, LETTER, SPACE, NONSGML, EE, EOB, RS, RE, TAB, ESC = 12, ERO, BS, HYPHEN,
  SLASH, NET, EXCL, RSQB, LSQB, PERO, QUES, NUM, GT, LT
};
}
namespace group {
enum : int8_t {
  NMCHAR = 1, LETTER, RE, BLANK, NONSGML, EE, EOB, RS, AND, GRPC, GRPO, LIT, LITA, RSQB,
  LSQB, OPT, OR, PERO, PLUS, REP, RNI, SEQ, REFC
};
}
namespace literal {
enum : int8_t {
  DIGIT = 1, MINPUNCT, LETTER, SPACE, NONSGML, EE, EOB, RS, RE, TAB, ESC = 12, ERO, EXCL,
  RSQB, LSQB, PERO, NUM, GT, LT
};
}
namespace markup {
enum : int8_t {
  DOT = 1, DIGIT, LETTER, BLANK, NONSGML, EE, EOB, RS, HYPHEN, SLASH, GRPO, LIT, LITA, DSO,
  DSC, PERO, PLUS, REFC, RNI, GT, LT, VI
};
}
namespace sd {
enum : int8_t { DATA = 1, DIGIT, LETTER, SEP, NONSGML, EE, EOB, RS, HYPHEN, LIT, LITA, GT };
}

// --- CONM / CONE -------------------------------------------------------------
// States of the content blocks.
enum : int8_t {
  C_START, C_DATA, C_ESC, C_AFTER_RS, C_STAGO, C_ETAGO, C_MDO, C_ERO, C_CRO, C_HY, C_MSC1,
  C_MSC2, C_MSCF, C_BACK, C_DATAFORCE, C_STATES
};

// Start of content, and after an RS (where RE is "RS RE").
#define CONTENT_START(S, DATACODE, DATANEXT, ESCNEXT)                                    \
  {S, ANY, DATANEXT, DATACODE}, {S, content::SPACE, C_START, 36},                       \
      {S, content::TAB, C_START, 36}, {S, content::SRSPACE, C_START, 36},               \
      {S, content::NONSGML, C_START, 3}, {S, content::EE, C_START, 15},                 \
      {S, content::RS, C_AFTER_RS, 30}, {S, content::RE, C_START, 28},                  \
      {S, content::ESC, ESCNEXT, DATACODE}, {S, content::ERO, C_ERO, 9},                \
      {S, content::HYPHEN, C_HY, 9}, {S, content::NET, C_START, 41},                    \
      {S, content::QUOT, C_START, 50}, {S, content::LSQB, C_START, 50},                 \
      {S, content::NUM, C_START, 50}, {S, content::SRCHAR, C_START, 50},                \
      {S, content::RSQB, C_MSC1, 9}, {S, content::LT, C_STAGO, 9}

#define CONTENT_ROWS(DATACODE, DATANEXT, ESCNEXT)                                        \
  CONTENT_START(C_START, DATACODE, DATANEXT, ESCNEXT),                                   \
      CONTENT_START(C_AFTER_RS, DATACODE, DATANEXT, ESCNEXT),                            \
      {C_AFTER_RS, content::RE, C_START, 47},                                           \
      /* data: every character that may start a delimiter ends it */                    \
      {C_DATA, ANY, C_DATA, 9}, {C_DATA, content::ESC, C_ESC, 9},                       \
      {C_DATA, content::EOB, C_START, 74}, {C_DATA, content::SPACE, C_START, 21},       \
      {C_DATA, content::NONSGML, C_START, 21}, {C_DATA, content::EE, C_START, 21},      \
      {C_DATA, content::RS, C_START, 21}, {C_DATA, content::RE, C_START, 21},           \
      {C_DATA, content::TAB, C_START, 21}, {C_DATA, content::ERO, C_START, 21},         \
      {C_DATA, content::HYPHEN, C_START, 21}, {C_DATA, content::NET, C_START, 21},      \
      {C_DATA, content::QUOT, C_START, 21}, {C_DATA, content::SRSPACE, C_START, 21},    \
      {C_DATA, content::RSQB, C_START, 21}, {C_DATA, content::LSQB, C_START, 21},       \
      {C_DATA, content::NUM, C_START, 21}, {C_DATA, content::LT, C_START, 21},          \
      {C_DATA, content::SRCHAR, C_START, 21},                                           \
      /* the partner of an escape pair is data, whatever it is */                       \
      {C_ESC, ANY, C_DATA, 9}, {C_ESC, content::EOB, C_DATA, 9},                        \
      {C_STAGO, ANY, C_DATAFORCE, 12}, {C_STAGO, content::LETTER, C_START, 29},         \
      {C_STAGO, content::SLASH, C_ETAGO, 9}, {C_STAGO, content::NET, C_ETAGO, 9},       \
      {C_STAGO, content::EXCL, C_MDO, 9}, {C_STAGO, content::QUES, C_START, 27},        \
      {C_STAGO, content::GT, C_START, 43},                                              \
      {C_ETAGO, ANY, C_BACK, 12}, {C_ETAGO, content::LETTER, C_START, 22},              \
      {C_ETAGO, content::GT, C_START, 42},                                              \
      {C_MDO, ANY, C_BACK, 12}, {C_MDO, content::LETTER, C_START, 23},                  \
      {C_MDO, content::HYPHEN, C_START, 24}, {C_MDO, content::GT, C_START, 24},         \
      {C_MDO, content::LSQB, C_START, 25},                                              \
      {C_ERO, ANY, C_DATAFORCE, 12}, {C_ERO, content::LETTER, C_START, 5},              \
      {C_ERO, content::NUM, C_CRO, 9},                                                  \
      {C_CRO, ANY, C_BACK, 12}, {C_CRO, content::LETTER, C_START, 1},                   \
      {C_CRO, content::DIGIT, C_START, 2},                                              \
      {C_HY, ANY, C_START, 49}, {C_HY, content::HYPHEN, C_START, 48},                   \
      {C_MSC1, ANY, C_START, 49}, {C_MSC1, content::RSQB, C_MSC2, 9},                   \
      {C_MSC2, ANY, C_MSCF, 12}, {C_MSC2, content::GT, C_START, 26},                    \
      {C_MSCF, ANY, C_START, 49},                                                       \
      {C_BACK, ANY, C_DATAFORCE, 12},                                                   \
  {                                                                                     \
    C_DATAFORCE, ANY, DATANEXT, DATACODE                                                \
  }

const Step conm_steps[] = {CONTENT_ROWS(35, C_DATA, C_ESC)};
const Step cone_steps[] = {CONTENT_ROWS(37, C_START, C_START)};

// --- CONR / CONC ----------------------------------------------------------------
enum : int8_t {
  R_START, R_DATA, R_ESC, R_STAGO, R_ETAGO, R_ERO, R_CRO, R_BACK, R_DATAFORCE, R_STATES
};
#define LITCON_COMMON(ENDTAG)                                                            \
  {R_START, ANY, R_DATA, 35}, {R_START, litcon::NONSGML, R_START, 3},                   \
      {R_START, litcon::EE, R_START, 15}, {R_START, litcon::RS, R_START, 30},           \
      {R_START, litcon::RE, R_START, 28}, {R_START, litcon::ESC, R_ESC, 35},            \
      {R_START, litcon::NET, R_START, 41}, {R_START, litcon::LT, R_STAGO, 9},           \
      {R_DATA, ANY, R_DATA, 9}, {R_DATA, litcon::ESC, R_ESC, 9},                        \
      {R_DATA, litcon::EOB, R_START, 74}, {R_DATA, litcon::NONSGML, R_START, 21},       \
      {R_DATA, litcon::EE, R_START, 21}, {R_DATA, litcon::RS, R_START, 21},             \
      {R_DATA, litcon::RE, R_START, 21}, {R_DATA, litcon::NET, R_START, 21},            \
      {R_DATA, litcon::LT, R_START, 21},                                                \
      {R_ESC, ANY, R_DATA, 9}, {R_ESC, litcon::EOB, R_DATA, 9},                         \
      {R_STAGO, ANY, R_DATAFORCE, 12}, {R_STAGO, litcon::SLASH, R_ETAGO, 9},            \
      {R_STAGO, litcon::NET, R_ETAGO, 9},                                               \
      {R_ETAGO, ANY, R_BACK, 12}, {R_ETAGO, litcon::LETTER, R_START, ENDTAG},           \
      {R_ETAGO, litcon::GT, R_START, 42},                                               \
      {R_BACK, ANY, R_DATAFORCE, 12}, {R_DATAFORCE, ANY, R_DATA, 35}

const Step conr_steps[] = {
    LITCON_COMMON(45),
    {R_START, litcon::ERO, R_ERO, 9},
    {R_DATA, litcon::ERO, R_START, 21},
    {R_ERO, ANY, R_DATAFORCE, 12},
    {R_ERO, litcon::LETTER, R_START, 17},
    {R_ERO, litcon::NUM, R_CRO, 9},
    {R_CRO, ANY, R_BACK, 12},
    {R_CRO, litcon::LETTER, R_START, 1},
    {R_CRO, litcon::DIGIT, R_START, 2},
};
const Step conc_steps[] = {LITCON_COMMON(45)};

// --- PRO ------------------------------------------------------------------------
enum : int8_t { P_START, P_LT, P_MDO, P_ERO, P_DATA, P_BACK, P_DATAFORCE, P_STATES };
const Step pro_steps[] = {
    {P_START, ANY, P_DATA, 38},
    {P_START, litcon::SPACE, P_START, 9},
    {P_START, litcon::RE, P_START, 9},
    {P_START, litcon::TAB, P_START, 9},
    {P_START, litcon::RS, P_START, 16},
    {P_START, litcon::NONSGML, P_START, 18},
    {P_START, litcon::EE, P_START, 15},
    {P_START, litcon::LT, P_LT, 9},
    {P_START, litcon::ERO, P_ERO, 9},
    {P_LT, ANY, P_DATAFORCE, 12},
    {P_LT, litcon::EXCL, P_MDO, 9},
    {P_LT, litcon::QUES, P_START, 27},
    {P_LT, litcon::LETTER, P_START, 34},
    {P_LT, litcon::SLASH, P_START, 34},
    {P_LT, litcon::NET, P_START, 34},
    {P_LT, litcon::GT, P_START, 34},
    {P_MDO, ANY, P_BACK, 12},
    {P_MDO, litcon::LETTER, P_START, 32},
    {P_MDO, litcon::HYPHEN, P_START, 24},
    {P_MDO, litcon::GT, P_START, 24},
    {P_MDO, litcon::LSQB, P_START, 75},
    {P_ERO, ANY, P_DATAFORCE, 12},
    {P_ERO, litcon::LETTER, P_START, 77},
    {P_ERO, litcon::NUM, P_START, 77},
    {P_DATA, ANY, P_DATA, 39},
    {P_DATA, litcon::NONSGML, P_START, 40},
    {P_DATA, litcon::EE, P_START, 40},
    {P_DATA, litcon::RS, P_START, 40},
    {P_DATA, litcon::RE, P_START, 40},
    {P_DATA, litcon::ERO, P_START, 40},
    {P_DATA, litcon::LT, P_START, 40},
    {P_BACK, ANY, P_DATAFORCE, 12},
    {P_DATAFORCE, ANY, P_DATA, 38},
};

// --- MDS ------------------------------------------------------------------------
enum : int8_t {
  S_START, S_LT, S_MDO, S_PERO, S_DSC1, S_DSC2, S_DSCF, S_SKIP, S_STATES
};
const Step mds_steps[] = {
    {S_START, ANY, S_SKIP, 9},
    {S_START, litcon::SPACE, S_START, 9},
    {S_START, litcon::RE, S_START, 9},
    {S_START, litcon::TAB, S_START, 9},
    {S_START, litcon::RS, S_START, 16},
    {S_START, litcon::EE, S_START, 15},
    {S_START, litcon::NONSGML, S_START, 18},
    {S_START, litcon::LT, S_LT, 9},
    {S_START, litcon::PERO, S_PERO, 9},
    {S_START, litcon::RSQB, S_DSC1, 9},
    {S_LT, ANY, S_SKIP, 13},
    {S_LT, litcon::EXCL, S_MDO, 9},
    {S_LT, litcon::QUES, S_START, 27},
    {S_MDO, ANY, S_SKIP, 13},
    {S_MDO, litcon::LETTER, S_START, 23},
    {S_MDO, litcon::HYPHEN, S_START, 24},
    {S_MDO, litcon::GT, S_START, 24},
    {S_MDO, litcon::LSQB, S_START, 25},
    {S_PERO, ANY, S_SKIP, 13},
    {S_PERO, litcon::LETTER, S_START, 11},
    {S_DSC1, ANY, S_START, 33},
    {S_DSC1, litcon::RSQB, S_DSC2, 9},
    {S_DSC2, ANY, S_DSCF, 12},
    {S_DSC2, litcon::GT, S_START, 26},
    {S_DSCF, ANY, S_START, 33},
    {S_SKIP, ANY, S_SKIP, 9},
    {S_SKIP, litcon::LT, S_START, 31},
    {S_SKIP, litcon::PERO, S_START, 31},
    {S_SKIP, litcon::RSQB, S_START, 31},
    {S_SKIP, litcon::SPACE, S_START, 31},
    {S_SKIP, litcon::TAB, S_START, 31},
    {S_SKIP, litcon::RS, S_START, 31},
    {S_SKIP, litcon::RE, S_START, 31},
    {S_SKIP, litcon::NONSGML, S_START, 31},
    {S_SKIP, litcon::EE, S_START, 31},
};

// --- MD, MDC, MDI ---------------------------------------------------------------
enum : int8_t { D_START, D_HY, D_COM, D_COMHY, D_NMTKF, D_RNI, D_PERO, D_STATES };
const Step md_steps[] = {
    {D_START, ANY, D_START, 7},
    {D_START, markup::BLANK, D_START, 9},
    {D_START, markup::RS, D_START, 16},
    {D_START, markup::EE, D_START, 15},
    {D_START, markup::NONSGML, D_START, 18},
    {D_START, markup::GT, D_START, 20},
    {D_START, markup::DSO, D_START, 21},
    {D_START, markup::DSC, D_START, 22},
    {D_START, markup::LIT, D_START, 23},
    {D_START, markup::LITA, D_START, 24},
    {D_START, markup::LETTER, D_START, 26},
    {D_START, markup::DIGIT, D_START, 28},
    {D_START, markup::DOT, D_START, 27},
    {D_START, markup::HYPHEN, D_HY, 9},
    {D_START, markup::GRPO, D_START, 33},
    {D_START, markup::RNI, D_RNI, 9},
    {D_START, markup::PERO, D_PERO, 9},
    {D_START, markup::PLUS, D_START, 30},
    {D_HY, ANY, D_NMTKF, 12},
    {D_HY, markup::HYPHEN, D_COM, 9},
    {D_HY, markup::GRPO, D_START, 32},
    {D_NMTKF, ANY, D_START, 27},
    {D_COM, ANY, D_COM, 9},
    {D_COM, markup::HYPHEN, D_COMHY, 9},
    {D_COM, markup::RS, D_COM, 16},
    {D_COM, markup::NONSGML, D_COM, 18},
    {D_COM, markup::EE, D_START, 4},
    {D_COMHY, ANY, D_COM, 9},
    {D_COMHY, markup::HYPHEN, D_START, 9},
    {D_COMHY, markup::RS, D_COM, 16},
    {D_COMHY, markup::EE, D_START, 4},
    {D_RNI, ANY, D_START, 7},
    {D_RNI, markup::LETTER, D_START, 31},
    {D_PERO, ANY, D_START, 7},
    {D_PERO, markup::LETTER, D_START, 11},
    {D_PERO, markup::BLANK, D_START, 25},
    {D_PERO, markup::RS, D_START, 25},
};

// --- GRCM, GRNT, GRNM; GRCS; ENTREF; EAL --------------------------------------------
enum : int8_t { G_START, G_RNI, G_PERO, G_STATES };
const Step group_steps[] = {
    {G_START, ANY, G_START, 7},
    {G_START, group::BLANK, G_START, 9},
    {G_START, group::RE, G_START, 9},
    {G_START, group::RS, G_START, 16},
    {G_START, group::EE, G_START, 15},
    {G_START, group::NONSGML, G_START, 18},
    {G_START, group::GRPC, G_START, 20},
    {G_START, group::GRPO, G_START, 21},
    {G_START, group::LETTER, G_START, 22},
    {G_START, group::NMCHAR, G_START, 23},
    {G_START, group::AND, G_START, 25},
    {G_START, group::OR, G_START, 26},
    {G_START, group::SEQ, G_START, 27},
    {G_START, group::OPT, G_START, 28},
    {G_START, group::PLUS, G_START, 29},
    {G_START, group::REP, G_START, 30},
    {G_START, group::RNI, G_RNI, 9},
    {G_START, group::PERO, G_PERO, 9},
    {G_RNI, ANY, G_START, 7},
    {G_RNI, group::LETTER, G_START, 24},
    {G_PERO, ANY, G_START, 7},
    {G_PERO, group::LETTER, G_START, 11},
};
const Step grcs_steps[] = {
    {0, ANY, 0, 14},
    {0, group::OPT, 0, 28},
    {0, group::PLUS, 0, 29},
    {0, group::REP, 0, 30},
};
const Step entref_steps[] = {
    {0, ANY, 0, 14},
    {0, group::REFC, 0, 20},
    {0, group::RE, 0, 20},
};
const Step eal_steps[] = {
    {0, ANY, 0, 7},
    {0, 0, 0, 34},
    {0, group::BLANK, 0, 9},
    {0, group::RE, 0, 9},
    {0, group::RS, 0, 16},
    {0, group::EE, 0, 15},
    {0, group::NONSGML, 0, 18},
    {0, group::RSQB, 0, 20},
    {0, group::LETTER, 0, 22},
    {0, group::NMCHAR, 0, 23},
    {0, group::LIT, 0, 31},
    {0, group::LITA, 0, 32},
};

// --- Literals ---------------------------------------------------------------------
enum : int8_t { T_START, T_ESC, T_ERO, T_CRO, T_PERO, T_BACK, T_DATAFORCE, T_STATES };
#define LITERAL_COMMON                                                                   \
  {T_START, ANY, T_START, 21}, {T_START, literal::RS, T_START, 16},                     \
      {T_START, literal::NONSGML, T_START, 3}, {T_START, literal::EE, T_START, 15},     \
      {T_START, literal::ESC, T_ESC, 21}, {T_ESC, ANY, T_START, 21},                    \
      {T_ESC, literal::EOB, T_START, 21}, {T_START, literal::ERO, T_ERO, 9},            \
      {T_ERO, ANY, T_DATAFORCE, 12}, {T_ERO, literal::NUM, T_CRO, 9},                   \
      {T_CRO, ANY, T_BACK, 12}, {T_CRO, literal::LETTER, T_START, 1},                   \
      {T_CRO, literal::DIGIT, T_START, 2}, {T_BACK, ANY, T_DATAFORCE, 12},              \
      {T_DATAFORCE, ANY, T_START, 21}

const Step litp_steps[] = {
    LITERAL_COMMON,
    {T_START, literal::PERO, T_PERO, 9},
    {T_PERO, ANY, T_DATAFORCE, 12},
    {T_PERO, literal::LETTER, T_START, 11},
};
// LITT: the separators of a tokenized value stay as they are (the value
// tokenizer splits at them).
const Step litt_steps[] = {
    LITERAL_COMMON,
    {T_ERO, literal::LETTER, T_START, 17},
};
// LITR: a record end or separator character (also one given by "&#RE;" or
// "&#TAB;", which is read again as that character) stands for a space.
const Step litr_steps[] = {
    LITERAL_COMMON,
    {T_ERO, literal::LETTER, T_START, 17},
    {T_START, literal::RE, T_START, 22},
    {T_START, literal::TAB, T_START, 22},
};
const Step litv_steps[] = {
    {0, ANY, 0, 25},
    {0, literal::DIGIT, 0, 21},
    {0, literal::MINPUNCT, 0, 21},
    {0, literal::LETTER, 0, 21},
    {0, literal::SPACE, 0, 21},
    {0, literal::RE, 0, 21},
    {0, literal::RS, 0, 16},
    {0, literal::EE, 0, 15},
};
const Step litc_steps[] = {
    {0, ANY, 0, 21},
    {0, literal::RS, 0, 16},
    {0, literal::NONSGML, 0, 3},
    {0, literal::EE, 0, 15},
    {0, literal::ESC, 1, 21},
    {1, ANY, 0, 21},
    {1, literal::EOB, 0, 21},
};

// --- Marked sections --------------------------------------------------------------
enum : int8_t {
  M_START, M_DATA, M_ESC, M_ERO, M_CRO, M_MSC1, M_MSC2, M_BACK, M_DATAFORCE, M_STATES
};
#define MS_DATA_COMMON                                                                   \
  {M_START, ANY, M_DATA, 35}, {M_START, literal::NONSGML, M_START, 3},                  \
      {M_START, literal::EE, M_START, 15}, {M_START, literal::RS, M_START, 30},         \
      {M_START, literal::RE, M_START, 28}, {M_START, literal::ESC, M_ESC, 35},          \
      {M_START, literal::RSQB, M_MSC1, 9}, {M_DATA, ANY, M_DATA, 9},                    \
      {M_DATA, literal::ESC, M_ESC, 9}, {M_DATA, literal::EOB, M_START, 74},            \
      {M_DATA, literal::NONSGML, M_START, 21}, {M_DATA, literal::EE, M_START, 21},      \
      {M_DATA, literal::RS, M_START, 21}, {M_DATA, literal::RE, M_START, 21},           \
      {M_DATA, literal::RSQB, M_START, 21}, {M_ESC, ANY, M_DATA, 9},                    \
      {M_ESC, literal::EOB, M_DATA, 9}, {M_MSC1, ANY, M_DATAFORCE, 12},                 \
      {M_MSC1, literal::RSQB, M_MSC2, 9}, {M_MSC2, ANY, M_BACK, 12},                    \
      {M_MSC2, literal::GT, M_START, 26}, {M_BACK, ANY, M_DATAFORCE, 12},               \
      {M_DATAFORCE, ANY, M_DATA, 35}

const Step msrcdata_steps[] = {
    MS_DATA_COMMON,
    {M_START, literal::ERO, M_ERO, 9},
    {M_DATA, literal::ERO, M_START, 21},
    {M_ERO, ANY, M_DATAFORCE, 12},
    {M_ERO, literal::LETTER, M_START, 17},
    {M_ERO, literal::NUM, M_CRO, 9},
    {M_CRO, ANY, M_BACK, 12},
    {M_CRO, literal::LETTER, M_START, 1},
    {M_CRO, literal::DIGIT, M_START, 2},
};
const Step mscdata_steps[] = {MS_DATA_COMMON};

enum : int8_t { I_START, I_LT, I_MDO, I_MSC1, I_MSC2, I_STATES };
const Step msignore_steps[] = {
    {I_START, ANY, I_START, 9},
    {I_START, literal::RS, I_START, 16},
    {I_START, literal::EE, I_START, 15},
    {I_START, literal::LT, I_LT, 9},
    {I_START, literal::RSQB, I_MSC1, 9},
    {I_LT, ANY, I_START, 13},
    {I_LT, literal::EXCL, I_MDO, 9},
    {I_MDO, ANY, I_START, 13},
    {I_MDO, literal::LSQB, I_START, 25},
    {I_MSC1, ANY, I_START, 13},
    {I_MSC1, literal::RSQB, I_MSC2, 9},
    {I_MSC2, ANY, I_START, 13},
    {I_MSC2, literal::RSQB, I_MSC2, 9},
    {I_MSC2, literal::GT, I_START, 26},
};

// --- Tags ---------------------------------------------------------------------------
const Step stag_steps[] = {
    {0, ANY, 0, 29},
    {0, markup::BLANK, 0, 9},
    {0, markup::RS, 0, 16},
    {0, markup::EE, 0, 4},
    {0, markup::NONSGML, 0, 18},
    {0, markup::GT, 0, 20},
    {0, markup::SLASH, 0, 22},
    {0, markup::LETTER, 0, 23},
    {0, markup::DOT, 0, 25},
    {0, markup::DIGIT, 0, 25},
    {0, markup::HYPHEN, 0, 25},
    {0, markup::VI, 0, 24},
    {0, markup::LIT, 0, 26},
    {0, markup::LITA, 0, 28},
    {0, markup::LT, 0, 27},
};
const Step etag_steps[] = {
    {0, ANY, 0, 29},
    {0, markup::BLANK, 0, 9},
    {0, markup::RS, 0, 16},
    {0, markup::EE, 0, 4},
    {0, markup::NONSGML, 0, 18},
    {0, markup::GT, 0, 20},
    {0, markup::LT, 0, 27},
};

// --- VAL (name class table; walked by parse_attr_value) -----------------------------
const Step val_steps[] = {
    {0, ANY, 0, 14},
    {0, kNameRecord, 0, 9},
    {0, kNameSeparator, 0, 9},
    {0, kNameChar, 1, 35},
    {0, kNameStart, 1, 35},
    {0, kNameDigit, 1, 35},
    {1, ANY, 0, 14},
    {1, kNameRecord, 0, 21},
    {1, kNameSeparator, 0, 21},
    {1, kNameChar, 1, 9},
    {1, kNameStart, 1, 9},
    {1, kNameDigit, 1, 9},
};

// --- SD -----------------------------------------------------------------------------
enum : int8_t { SD_START, SD_HY, SD_COM, SD_COMHY, SD_STATES };
const Step sd_steps[] = {
    {SD_START, ANY, SD_START, 7},
    {SD_START, sd::SEP, SD_START, 9},
    {SD_START, sd::RS, SD_START, 16},
    {SD_START, sd::EE, SD_START, 15},
    {SD_START, sd::NONSGML, SD_START, 18},
    {SD_START, sd::GT, SD_START, 20},
    {SD_START, sd::LIT, SD_START, 21},
    {SD_START, sd::LITA, SD_START, 22},
    {SD_START, sd::DIGIT, SD_START, 23},
    {SD_START, sd::LETTER, SD_START, 24},
    {SD_START, sd::DATA, SD_START, 25},
    {SD_START, sd::HYPHEN, SD_HY, 9},
    {SD_HY, ANY, SD_START, 7},
    {SD_HY, sd::HYPHEN, SD_COM, 9},
    {SD_COM, ANY, SD_COM, 9},
    {SD_COM, sd::HYPHEN, SD_COMHY, 9},
    {SD_COM, sd::RS, SD_COM, 16},
    {SD_COM, sd::EE, SD_START, 4},
    {SD_COMHY, ANY, SD_COM, 9},
    {SD_COMHY, sd::HYPHEN, SD_START, 9},
    {SD_COMHY, sd::RS, SD_COM, 16},
    {SD_COMHY, sd::EE, SD_START, 4},
};

// --- Row storage and building -------------------------------------------------------
struct BlockRows {
  ParseControlBlock* pcb;
  const Step* steps;
  size_t count;
  int states;
  int eob_class;  // class of the end-of-buffer character, -1 none
};

LexRow conm_rows[2 * C_STATES], cone_rows[2 * C_STATES], conr_rows[2 * R_STATES],
    conc_rows[2 * R_STATES], pro_rows[2 * P_STATES], mds_rows[2 * S_STATES],
    md_rows[2 * D_STATES], group_rows[2 * G_STATES], grcs_rows[2], entref_rows[2],
    eal_rows[2], litp_rows[2 * T_STATES], litr_rows[2 * T_STATES], litt_rows[2 * T_STATES],
    litv_rows[2],
    litc_rows[4], msrcdata_rows[2 * M_STATES], mscdata_rows[2 * M_STATES],
    msignore_rows[2 * I_STATES], stag_rows[2], etag_rows[2], val_rows[4],
    sd_rows[2 * SD_STATES];

#define STEPS(a) a, sizeof(a) / sizeof(a[0])

void build(LexRow* rows, const Step* steps, size_t count, int states, int eob_class) {
  for (int s = 0; s < states; ++s) {
    for (size_t i = 0; i < count; ++i) {
      if (steps[i].state != s || steps[i].cls != ANY) continue;
      for (int c = 0; c < LEX_MAX_CLASSES; ++c) {
        rows[2 * s][c] = steps[i].next;
        rows[2 * s + 1][c] = steps[i].action;
      }
    }
    if (eob_class >= 0) {
      rows[2 * s][eob_class] = static_cast<uint8_t>(s);
      rows[2 * s + 1][eob_class] = 6;
    }
    for (size_t i = 0; i < count; ++i) {
      if (steps[i].state != s || steps[i].cls == ANY) continue;
      rows[2 * s][steps[i].cls] = steps[i].next;
      rows[2 * s + 1][steps[i].cls] = steps[i].action;
    }
  }
}

// The runs table of each block (in the order of LexBlocks).
std::vector<uint8_t> run_tables[std::size(LexBlocks) - 1];

void runs_make(ParseControlBlock* pcb, std::vector<uint8_t>* table) {
  table->assign(static_cast<size_t>(pcb->states) * LEX_MAX_CLASSES, 0);
  for (int s = 0; s < pcb->states; ++s)
    for (int k = 0; k < LEX_MAX_CLASSES; ++k)
      (*table)[static_cast<size_t>(s) * LEX_MAX_CLASSES + k] =
          pcb->rows[2 * s][k] == s && pcb->rows[2 * s + 1][k] == 9;
  pcb->runs = table->data();
}

void runs_make_all() {
  for (int i = 0; LexBlocks[i]; ++i) runs_make(LexBlocks[i], &run_tables[i]);
}

}  // namespace

bool lex_rows_built = false;

#define PCB(var, label, st, table, rows, code)                                          \
  ParseControlBlock var = {label, st, table, rows, 0, 0, 0, 0, 0, code, -1, nullptr}

PCB(pcb_conm, "CONM", kStateCONM, ContentClass, conm_rows, 21);
PCB(pcb_cone, "CONE", kStateCONE, ContentClass, cone_rows, 37);
PCB(pcb_conr, "CONR", kStateCONR, LitContentClass, conr_rows, 21);
PCB(pcb_conc, "CONC", kStateCONC, LitContentClass, conc_rows, 21);
PCB(pcb_pro, "PRO", kStatePRO, LitContentClass, pro_rows, 0);
PCB(pcb_mds, "MDS", kStateMDS, LitContentClass, mds_rows, 0);
PCB(pcb_grcm, "GRCM", kStateGRCM, GroupClass, group_rows, 0);
PCB(pcb_grcs, "GRCS", kStateGRCS, GroupClass, grcs_rows, 0);
PCB(pcb_grnt, "GRNT", kStateGRNT, GroupClass, group_rows, 0);
PCB(pcb_grnm, "GRNM", kStateGRNM, GroupClass, group_rows, 0);
PCB(pcb_entref, "ENTREF", kStateENTREF, GroupClass, entref_rows, 0);
PCB(pcb_litp, "LITP", kStateLITP, LiteralClass, litp_rows, 0);
PCB(pcb_litc, "LITC", kStateLITC, LiteralClass, litc_rows, 0);
PCB(pcb_litr, "LITR", kStateLITR, LiteralClass, litr_rows, 0);
PCB(pcb_litv, "LITV", kStateLITV, LiteralClass, litv_rows, 0);
PCB(pcb_litt, "LITT", kStateLITT, LiteralClass, litt_rows, 0);
PCB(pcb_md, "MD", kStateMD, MarkupClass, md_rows, 0);
PCB(pcb_mdc, "MDC", kStateMDC, MarkupClass, md_rows, 0);
PCB(pcb_mdi, "MDI", kStateMDI, MarkupClass, md_rows, 0);
PCB(pcb_msrcdata, "MSRCDATA", kStateMSRCDATA, LiteralClass, msrcdata_rows, 21);
PCB(pcb_mscdata, "MSCDATA", kStateMSCDATA, LiteralClass, mscdata_rows, 21);
PCB(pcb_msignore, "MSIGNORE", kStateMSIGNORE, LiteralClass, msignore_rows, 0);
PCB(pcb_stag, "STAG", kStateSTAG, MarkupClass, stag_rows, 0);
PCB(pcb_etag, "ETAG", kStateETAG, MarkupClass, etag_rows, 0);
PCB(pcb_val, "VAL", kStateVAL, NameClass, val_rows, 0);
PCB(pcb_eal, "EAL", kStateEAL, GroupClass, eal_rows, 0);
PCB(pcb_sd, "SD", kStateSD, SdClass, sd_rows, 0);

ParseControlBlock* const LexBlocks[28] = {
    &pcb_conm, &pcb_cone,  &pcb_conr,     &pcb_conc,    &pcb_pro,      &pcb_mds,
    &pcb_grcm, &pcb_grcs,  &pcb_grnt,     &pcb_grnm,    &pcb_entref,   &pcb_litp,
    &pcb_litc, &pcb_litr,  &pcb_litv,     &pcb_litt,    &pcb_md,       &pcb_mdc,
    &pcb_mdi,  &pcb_msrcdata, &pcb_mscdata, &pcb_msignore, &pcb_stag,  &pcb_etag,
    &pcb_val,  &pcb_eal,   &pcb_sd,       nullptr};

ParseControlBlock* lex_block_by_name(const char* name) {
  for (int i = 0; LexBlocks[i]; ++i)
    if (std::strcmp(LexBlocks[i]->name, name) == 0) return LexBlocks[i];
  return nullptr;
}

void lex_rows_reset() {
  const BlockRows all[] = {
      {&pcb_conm, STEPS(conm_steps), C_STATES, content::EOB},
      {&pcb_cone, STEPS(cone_steps), C_STATES, content::EOB},
      {&pcb_conr, STEPS(conr_steps), R_STATES, litcon::EOB},
      {&pcb_conc, STEPS(conc_steps), R_STATES, litcon::EOB},
      {&pcb_pro, STEPS(pro_steps), P_STATES, litcon::EOB},
      {&pcb_mds, STEPS(mds_steps), S_STATES, litcon::EOB},
      {&pcb_md, STEPS(md_steps), D_STATES, markup::EOB},
      {&pcb_grcm, STEPS(group_steps), G_STATES, group::EOB},
      {&pcb_grcs, STEPS(grcs_steps), 1, group::EOB},
      {&pcb_entref, STEPS(entref_steps), 1, group::EOB},
      {&pcb_eal, STEPS(eal_steps), 1, group::EOB},
      {&pcb_litp, STEPS(litp_steps), T_STATES, literal::EOB},
      {&pcb_litr, STEPS(litr_steps), T_STATES, literal::EOB},
      {&pcb_litt, STEPS(litt_steps), T_STATES, literal::EOB},
      {&pcb_litv, STEPS(litv_steps), 1, literal::EOB},
      {&pcb_litc, STEPS(litc_steps), 2, literal::EOB},
      {&pcb_msrcdata, STEPS(msrcdata_steps), M_STATES, literal::EOB},
      {&pcb_mscdata, STEPS(mscdata_steps), M_STATES, literal::EOB},
      {&pcb_msignore, STEPS(msignore_steps), I_STATES, literal::EOB},
      {&pcb_stag, STEPS(stag_steps), 1, markup::EOB},
      {&pcb_etag, STEPS(etag_steps), 1, markup::EOB},
      {&pcb_val, STEPS(val_steps), 2, -1},
      {&pcb_sd, STEPS(sd_steps), SD_STATES, sd::EOB},
  };
  for (const BlockRows& b : all) {
    build(b.pcb->rows, b.steps, b.count, b.states, b.eob_class);
    b.pcb->states = b.states;
  }
  // Blocks that share rows with another.
  pcb_grnt.states = pcb_grnm.states = G_STATES;
  pcb_mdc.states = pcb_mdi.states = D_STATES;
  runs_make_all();
  for (int i = 0; LexBlocks[i]; ++i) pcb_reset(LexBlocks[i]);
  lex_rows_built = true;
}

void lex_net_switch(bool enabled) {
  uint8_t cls = enabled ? content::NET : content::SLASH;
  static_assert(static_cast<int>(content::NET) == static_cast<int>(litcon::NET) &&
                static_cast<int>(content::SLASH) == static_cast<int>(litcon::SLASH));
  ContentClass['/'] = cls;
  LitContentClass['/'] = cls;
}

void lex_shorttag_off() {
  lex_rows_setup();
  ParseControlBlock* blocks[] = {&pcb_conm, &pcb_cone, &pcb_conr, &pcb_conc};
  for (ParseControlBlock* pcb : blocks) {
    int gt = pcb->classes['>'];
    int underscore = pcb->classes['_'];
    for (int s = 0; s < pcb->states; ++s) {
      uint8_t action = pcb->rows[2 * s + 1][gt];
      if (action != 42 && action != 43) continue;
      pcb->rows[2 * s][gt] = pcb->rows[2 * s][underscore];
      pcb->rows[2 * s + 1][gt] = pcb->rows[2 * s + 1][underscore];
    }
  }
  runs_make_all();
}
