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
// table) keeps the state and takes ACT_REFILL (refill and go on), so that a
// delimiter may run across two buffers.
//
// An action is either an engine action (lex.h LexAction, ACT_: references,
// entity ends, buffer ends, step-backs, errors), which lex_engine handles
// itself, or a token code that it returns to the caller. Each family of
// blocks has its own codes (lex.h: CON_, PRO_, MD_, G_ and EAL_, LIT_,
// IN_TAG_, VAL_, SDC_), so the same number means different things in
// different blocks; every block may also return the engine's own LEX_
// codes (an escape pair, an entity end or opening, the end of the input).
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
//   CON_DATA_START data starts at the current character (the block is
//      then in DATA);
//   CON_DATA_END the data ends before the current character; the caller
//      steps back one (the character is read again in state 0). When the
//      block's last action is ACT_CHAR_REF_NUMBER, it means instead: the
//      current character is one data character given by a numeric
//      character reference (it is data, never a delimiter, and is not read
//      again);
//   CON_DATA_BUFFER_END end of buffer inside data: the data ends before the
//      current character (the end-of-buffer character); the caller refills
//      the entity (entpop) and goes on in state 0;
//   CON_ELEMENT_DATA (CONE) a data character in element content (the
//      current character): the caller switches to CONM and steps back one;
//      after ACT_CHAR_REF_NUMBER it is one data character from a character
//      reference.
//   LEX_ESCAPE a non-SGML character or a character reference below 33: the
//      escape pair of lex_escape_pair() is two characters of data.
//   Markup and references (the current character is the one named):
//   CON_END_TAG ETAGO and a name start: the first character of the GI
//      (parse_name, then ETAG); CON_RCDATA_END_TAG the same in CONR and
//      CONC, where the caller checks that the GI names an open element (P57
//      otherwise);
//   CON_DECLARATION MDO and a name start: the first character of the name
//      (parse_name);
//   CON_COMMENT MDO followed by "-" or by MDC: the current character is
//      that "-" or ">"; for "-" the caller steps back one and reads the
//      comment declaration with parse_md_param; ">" is the empty
//      declaration;
//   CON_MS_START MDO DSO "<![": the current character is the "[" (marked
//      section start; the caller reads the status keywords with
//      parse_md_param);
//   CON_MS_END MSC MDC "]]>" (marked section end), current character ">";
//   CON_PI PIO "<?": current character "?" (the caller reads the PI text
//      with parse_literal over LITC up to PIC ">");
//   CON_RE; CON_RS (the caller counts the line);
//   CON_START_TAG STAGO and a name start: the first character of the GI;
//   CON_NET (only while the NET character has its NET class 17);
//   CON_EMPTY_END_TAG "</>" and CON_EMPTY_START_TAG "<>" (current
//      character ">"); SHORTTAG NO turns them into data (lex_shorttag_off);
//   LEX_DATA_ENTITY a data entity was referenced (lex_data holds its
//      text), LEX_PI_ENTITY a PI entity (text in lex_data),
//      LEX_ENTITY_OPENED an entity was opened in RCDATA content or an
//      RCDATA marked section, LEX_ENTITY_END an entity ended (already
//      popped), LEX_END_OF_INPUT.
//   Short references (CONM and CONE only; the caller looks in the map of
//   the open element and treats an unmapped one as data, or as a record
//   end for delimiters 1 to 5):
//   CON_BLANK a blank (space, tab, or the space once SPACE is mapped)
//      where data would start: the caller reads the run with
//      read_blank_run; a run followed by RE is "B RE" (7), after an RS
//      "RS B" (4) or with the RE "RS B RE" (6); a run of two or more is BB
//      (9); a lone tab TAB (1), a lone space SPACE (8). Data runs end
//      before every blank, so every blank sequence is seen;
//   CON_RS_RE RE right after RS: "RS RE" (5); the RS came as CON_RS before
//      it;
//   CON_SR_HYPHENS "--" (20), current character the second "-";
//   CON_SR_BEFORE a one-character delimiter ("-" or "]") is the character
//      before the current one; the caller looks it up and steps back one;
//   CON_SR_AT a one-character delimiter at the current character (double
//      quote, "#", "[", and every character a map gave class 27).
//
// PROLOG BLOCKS: PRO (outside declarations), MDS (declaration subset).
//   Separators (space, tab, RE) are passed over, RS counted.
//   LEX_ENTITY_END, LEX_END_OF_INPUT, PRO_PI "<?" (current "?"),
//   PRO_COMMENT "<!" and "-" or ">" as in content (comment declaration),
//   PRO_DECLARATION (PRO) "<!" and a name start: the first character of
//      the name;
//   PRO_SUBSET_DECLARATION (MDS) the same in the subset;
//   PRO_MS_START (MDS) "<![": marked section start (current "[");
//   PRO_MS_END (MDS) "]]>": marked section end;
//   PRO_DSC (MDS) DSC: the "]" is the character before the current one;
//      the caller steps back one (and one more to have the DSC read again);
//   PRO_INVALID_RUN (MDS) a run of characters that cannot appear in the
//      subset has ended before the current character: P44, the caller
//      steps back one;
//   PRO_TAG_STARTS (PRO) "<" and a name start, "/", NET or ">": the
//      instance starts with a tag; the caller steps back two (the prolog
//      returns PROLOG_MARKUP_STARTS);
//   PRO_REFERENCE_STARTS (PRO) "&" and a name start or "#": the instance
//      starts with a reference; the caller steps back two;
//   PRO_MS_STARTS (PRO) "<![": the instance starts with a marked section;
//   PRO_DATA_STARTS (PRO) a data character starts the instance (the
//      current character); PRO_DATA another data character (blanks
//      included); PRO_DATA_END the data has ended before the current
//      character (the caller steps back one).
//   Parameter entity references "%name;" in MDS are opened by the engine.
//
// DECLARATION PARAMETERS: MD, MDC, MDI (one set of rows; three blocks so
// that each keeps its own state and message name). parse_md_param hands
// on their codes (lex.h MdCode), turning the two row-only ones into its
// own:
//   MD_MDC ">"; MD_DSO "["; MD_DSC "]"; MD_LITERAL LIT and MD_LITA LITA
//   (the literal is read by parse_literal with the caller's literal block,
//   LITC when none; both come back as MD_LITERAL); MD_PERO PERO followed by
//   a blank or RS (ENTITY %); MD_NAME a name start (the first character;
//   parse_name); MD_NAME_TOKEN a name token that starts with "." or "-"
//   (parse_token); MD_NUMBER a digit: a number token (parse_token);
//   MD_PLUS "+"; MD_RNI_NAME RNI and a name start (the first character of
//   the name); MD_MINUS "-" followed by "(" (current "(", the caller steps
//   back one); MD_GRPO GRPO "(" (the caller steps back one and returns
//   MD_GROUP, group open); ACT_INVALID a character that cannot start a
//   parameter (P9, stepped back, LEX_INVALID: the declaration ends and the
//   character is read again by the enclosing block). Comments "-- ... --"
//   between parameters are separators, as are blanks and RE; RS is
//   counted. "%name;" opens the parameter entity; LEX_ENTITY_END an entity
//   ended; LEX_END_OF_INPUT (fatal P133 in parse_md_param).
//
// GROUPS: GRCM (content model), GRNT (name tokens), GRNM (names): one set
// of rows.
//   G_GRPC ")"; G_GRPO "("; G_NAME a letter: a name (first character);
//   G_NAME_TOKEN a digit, "-" or ".": a name token; G_RNI_NAME RNI and a
//   letter ("#PCDATA": first character of the name); G_AND "&"; G_OR "|";
//   G_SEQ ","; G_OPT "?"; G_PLUS "+"; G_REP "*"; ACT_INVALID another
//   character (P9, stepped back: G_INVALID); blanks, RE passed over;
//   "%name;" opened; LEX_ENTITY_END; LEX_END_OF_INPUT.
//   GRCS (occurrence indicator after a model group): G_OPT "?", G_PLUS
//   "+", G_REP "*"; ACT_BACK_RETURN anything else (stepped back, G_NONE: no
//   indicator).
//   ENTREF (reference end): ";" or RE consumed (G_REFC); any other
//   character is stepped back (ACT_BACK_RETURN) and belongs to what
//   follows.
//   EAL (data attribute list of an ENTITY declaration, after its "["):
//   EAL_DSC "]"; EAL_NAME a name start; EAL_NAME_TOKEN a name token;
//   EAL_LIT LIT; EAL_LITA LITA; EAL_VI a character of class 0 (the caller
//   checks it is VI "="); ACT_INVALID other.
//
// LITERALS: LITP (parameter literal), LITR and LITT (attribute value
// literals), LITV (minimum literal), LITC (system data: processing
// instructions, system identifiers). parse_literal acts on:
//   LIT_DATA a data character (the current character; it closes the
//      literal when it equals the opening delimiter and lies in the
//      literal's own entity); LIT_CHAR_REF a character given by a character
//      reference (always data, F12); LEX_ESCAPE an escape pair
//      (lex_escape_pair); LIT_NOT_MINIMUM (LITV) a character that is not
//      minimum data: it closes the literal when it is the delimiter, else
//      P63 and it is dropped; LEX_ENTITY_OPENED an entity was opened (LITR,
//      LITT: "&name;"), LEX_DATA_ENTITY a data entity or an echoed
//      reference (lex_data), LEX_PI_ENTITY a PI entity (P59);
//      LEX_ENTITY_END; LEX_END_OF_INPUT (fatal P92); LIT_SPACE (LITR only)
//      a record end or separator character: a space.
//   RS is dropped (counted); "&#" references are resolved in LITP, LITR,
//   LITT; "%name;" is opened in LITP; "&name;" stays text in LITP.
//
// MARKED SECTIONS: MSRCDATA and MSCDATA follow the content data protocol
// (CON_DATA_START, CON_DATA_END, CON_DATA_BUFFER_END, LEX_ESCAPE, CON_RE,
// CON_RS) with CON_MS_END for "]]>" and, in MSRCDATA, the entity codes
// for entity references and character references as in CONR. MSIGNORE
// passes over everything and returns only CON_MS_START ("<![": a nested
// section), CON_MS_END ("]]>"), LEX_ENTITY_END and LEX_END_OF_INPUT.
//
// TAGS: STAG (after the GI of a start tag): IN_TAG_TAGC ">"; IN_TAG_NET
//   "/"; IN_TAG_NAME a name start (attribute name, or a value given
//   without its name: parse_name); IN_TAG_VI "="; IN_TAG_TOKEN a digit,
//   "." or "-" (an unquoted value: parse_token); IN_TAG_LIT LIT;
//   IN_TAG_LITA LITA; IN_TAG_UNCLOSED "<": an unclosed tag (the caller
//   steps back one so that the "<" is read again); IN_TAG_INVALID a
//   character that cannot appear in a tag (current character): the caller
//   reports P9 and ends the tag, stepping back one. Blanks, RE passed over;
//   an entity end is P8 (ACT_EE_IN_MARKUP) and LEX_ENTITY_END. ETAG (after
//   the GI of an end tag): IN_TAG_TAGC, IN_TAG_UNCLOSED, IN_TAG_INVALID as
//   in STAG.
//
// VAL: the attribute value tokenizer's two states over the name class
//   table (between tokens, in a token): VAL_TOKEN_START a token starts,
//   ACT_IGNORE it goes on, VAL_TOKEN_END it ends at a blank or record
//   character, VAL_INVALID an invalid character. parse_attr_value walks
//   them itself (a value is not an entity).
//
// SD (parameters of the SGML declaration): SDC_MDC ">", SDC_LIT LIT,
//   SDC_LITA LITA, SDC_NUMBER a digit (a number starts), SDC_NAME a letter
//   (a name starts), SDC_BAD_DATA an invalid data character (class 1),
//   ACT_INVALID a character that cannot start a parameter (P9),
//   LEX_END_OF_INPUT; comments "-- ... --" and separators are passed over.
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

// The class names of each table (chclass.h).
using namespace lexclass;

// --- CONM / CONE -------------------------------------------------------------
// States of the content blocks.
enum : int8_t {
  C_START, C_DATA, C_ESC, C_AFTER_RS, C_STAGO, C_ETAGO, C_MDO, C_ERO, C_CRO, C_HY, C_MSC1,
  C_MSC2, C_MSCF, C_BACK, C_DATAFORCE, C_STATES
};

// Start of content, and after an RS (where RE is "RS RE").
#define CONTENT_START(S, DATACODE, DATANEXT, ESCNEXT)                                             \
  {S, ANY, DATANEXT, DATACODE},                                                                   \
  {S, content::SPACE, C_START, CON_BLANK},                                                        \
  {S, content::TAB, C_START, CON_BLANK},                                                          \
  {S, content::SRSPACE, C_START, CON_BLANK},                                                      \
  {S, content::NONSGML, C_START, ACT_NONSGML},                                                    \
  {S, content::EE, C_START, ACT_ENTITY_END},                                                      \
  {S, content::RS, C_AFTER_RS, CON_RS},                                                           \
  {S, content::RE, C_START, CON_RE},                                                              \
  {S, content::ESC, ESCNEXT, DATACODE},                                                           \
  {S, content::ERO, C_ERO, ACT_IGNORE},                                                           \
  {S, content::HYPHEN, C_HY, ACT_IGNORE},                                                         \
  {S, content::NET, C_START, CON_NET},                                                            \
  {S, content::QUOT, C_START, CON_SR_AT},                                                         \
  {S, content::LSQB, C_START, CON_SR_AT},                                                         \
  {S, content::NUM, C_START, CON_SR_AT},                                                          \
  {S, content::SRCHAR, C_START, CON_SR_AT},                                                       \
  {S, content::RSQB, C_MSC1, ACT_IGNORE},                                                         \
  {S, content::LT, C_STAGO, ACT_IGNORE}

#define CONTENT_ROWS(DATACODE, DATANEXT, ESCNEXT)                                                 \
  CONTENT_START(C_START, DATACODE, DATANEXT, ESCNEXT),                                            \
  CONTENT_START(C_AFTER_RS, DATACODE, DATANEXT, ESCNEXT),                                         \
  {C_AFTER_RS, content::RE, C_START, CON_RS_RE},                                                  \
  /* data: every character that may start a delimiter ends it */                                  \
  {C_DATA, ANY, C_DATA, ACT_IGNORE},                                                              \
  {C_DATA, content::ESC, C_ESC, ACT_IGNORE},                                                      \
  {C_DATA, content::EOB, C_START, CON_DATA_BUFFER_END},                                           \
  {C_DATA, content::SPACE, C_START, CON_DATA_END},                                                \
  {C_DATA, content::NONSGML, C_START, CON_DATA_END},                                              \
  {C_DATA, content::EE, C_START, CON_DATA_END},                                                   \
  {C_DATA, content::RS, C_START, CON_DATA_END},                                                   \
  {C_DATA, content::RE, C_START, CON_DATA_END},                                                   \
  {C_DATA, content::TAB, C_START, CON_DATA_END},                                                  \
  {C_DATA, content::ERO, C_START, CON_DATA_END},                                                  \
  {C_DATA, content::HYPHEN, C_START, CON_DATA_END},                                               \
  {C_DATA, content::NET, C_START, CON_DATA_END},                                                  \
  {C_DATA, content::QUOT, C_START, CON_DATA_END},                                                 \
  {C_DATA, content::SRSPACE, C_START, CON_DATA_END},                                              \
  {C_DATA, content::RSQB, C_START, CON_DATA_END},                                                 \
  {C_DATA, content::LSQB, C_START, CON_DATA_END},                                                 \
  {C_DATA, content::NUM, C_START, CON_DATA_END},                                                  \
  {C_DATA, content::LT, C_START, CON_DATA_END},                                                   \
  {C_DATA, content::SRCHAR, C_START, CON_DATA_END},                                               \
  /* the partner of an escape pair is data, whatever it is */                                     \
  {C_ESC, ANY, C_DATA, ACT_IGNORE},                                                               \
  {C_ESC, content::EOB, C_DATA, ACT_IGNORE},                                                      \
  {C_STAGO, ANY, C_DATAFORCE, ACT_BACK_TWO},                                                      \
  {C_STAGO, content::LETTER, C_START, CON_START_TAG},                                             \
  {C_STAGO, content::SLASH, C_ETAGO, ACT_IGNORE},                                                 \
  {C_STAGO, content::NET, C_ETAGO, ACT_IGNORE},                                                   \
  {C_STAGO, content::EXCL, C_MDO, ACT_IGNORE},                                                    \
  {C_STAGO, content::QUES, C_START, CON_PI},                                                      \
  {C_STAGO, content::GT, C_START, CON_EMPTY_START_TAG},                                           \
  {C_ETAGO, ANY, C_BACK, ACT_BACK_TWO},                                                           \
  {C_ETAGO, content::LETTER, C_START, CON_END_TAG},                                               \
  {C_ETAGO, content::GT, C_START, CON_EMPTY_END_TAG},                                             \
  {C_MDO, ANY, C_BACK, ACT_BACK_TWO},                                                             \
  {C_MDO, content::LETTER, C_START, CON_DECLARATION},                                             \
  {C_MDO, content::HYPHEN, C_START, CON_COMMENT},                                                 \
  {C_MDO, content::GT, C_START, CON_COMMENT},                                                     \
  {C_MDO, content::LSQB, C_START, CON_MS_START},                                                  \
  {C_ERO, ANY, C_DATAFORCE, ACT_BACK_TWO},                                                        \
  {C_ERO, content::LETTER, C_START, ACT_ENTITY_REF},                                              \
  {C_ERO, content::NUM, C_CRO, ACT_IGNORE},                                                       \
  {C_CRO, ANY, C_BACK, ACT_BACK_TWO},                                                             \
  {C_CRO, content::LETTER, C_START, ACT_CHAR_REF_NAME},                                           \
  {C_CRO, content::DIGIT, C_START, ACT_CHAR_REF_NUMBER},                                          \
  {C_HY, ANY, C_START, CON_SR_BEFORE},                                                            \
  {C_HY, content::HYPHEN, C_START, CON_SR_HYPHENS},                                               \
  {C_MSC1, ANY, C_START, CON_SR_BEFORE},                                                          \
  {C_MSC1, content::RSQB, C_MSC2, ACT_IGNORE},                                                    \
  {C_MSC2, ANY, C_MSCF, ACT_BACK_TWO},                                                            \
  {C_MSC2, content::GT, C_START, CON_MS_END},                                                     \
  {C_MSCF, ANY, C_START, CON_SR_BEFORE},                                                          \
  {C_BACK, ANY, C_DATAFORCE, ACT_BACK_TWO},                                                       \
  {C_DATAFORCE, ANY, DATANEXT, DATACODE}

const Step conm_steps[] = {CONTENT_ROWS(CON_DATA_START, C_DATA, C_ESC)};
static_assert(C_DATA == kContentDataState && C_AFTER_RS == kContentAfterRsState);
const Step cone_steps[] = {CONTENT_ROWS(CON_ELEMENT_DATA, C_START, C_START)};

// --- CONR / CONC ----------------------------------------------------------------
enum : int8_t {
  R_START, R_DATA, R_ESC, R_STAGO, R_ETAGO, R_ERO, R_CRO, R_BACK, R_DATAFORCE, R_STATES
};
static_assert(R_DATA == kContentDataState);
#define LITCON_COMMON(ENDTAG)                                                                     \
  {R_START, ANY, R_DATA, CON_DATA_START},                                                         \
  {R_START, litcon::NONSGML, R_START, ACT_NONSGML},                                               \
  {R_START, litcon::EE, R_START, ACT_ENTITY_END},                                                 \
  {R_START, litcon::RS, R_START, CON_RS},                                                         \
  {R_START, litcon::RE, R_START, CON_RE},                                                         \
  {R_START, litcon::ESC, R_ESC, CON_DATA_START},                                                  \
  {R_START, litcon::NET, R_START, CON_NET},                                                       \
  {R_START, litcon::LT, R_STAGO, ACT_IGNORE},                                                     \
  {R_DATA, ANY, R_DATA, ACT_IGNORE},                                                              \
  {R_DATA, litcon::ESC, R_ESC, ACT_IGNORE},                                                       \
  {R_DATA, litcon::EOB, R_START, CON_DATA_BUFFER_END},                                            \
  {R_DATA, litcon::NONSGML, R_START, CON_DATA_END},                                               \
  {R_DATA, litcon::EE, R_START, CON_DATA_END},                                                    \
  {R_DATA, litcon::RS, R_START, CON_DATA_END},                                                    \
  {R_DATA, litcon::RE, R_START, CON_DATA_END},                                                    \
  {R_DATA, litcon::NET, R_START, CON_DATA_END},                                                   \
  {R_DATA, litcon::LT, R_START, CON_DATA_END},                                                    \
  {R_ESC, ANY, R_DATA, ACT_IGNORE},                                                               \
  {R_ESC, litcon::EOB, R_DATA, ACT_IGNORE},                                                       \
  {R_STAGO, ANY, R_DATAFORCE, ACT_BACK_TWO},                                                      \
  {R_STAGO, litcon::SLASH, R_ETAGO, ACT_IGNORE},                                                  \
  {R_STAGO, litcon::NET, R_ETAGO, ACT_IGNORE},                                                    \
  {R_ETAGO, ANY, R_BACK, ACT_BACK_TWO},                                                           \
  {R_ETAGO, litcon::LETTER, R_START, ENDTAG},                                                     \
  {R_ETAGO, litcon::GT, R_START, CON_EMPTY_END_TAG},                                              \
  {R_BACK, ANY, R_DATAFORCE, ACT_BACK_TWO},                                                       \
  {R_DATAFORCE, ANY, R_DATA, CON_DATA_START}

const Step conr_steps[] = {
    LITCON_COMMON(CON_RCDATA_END_TAG),
    {R_START, litcon::ERO, R_ERO, ACT_IGNORE},
    {R_DATA, litcon::ERO, R_START, CON_DATA_END},
    {R_ERO, ANY, R_DATAFORCE, ACT_BACK_TWO},
    {R_ERO, litcon::LETTER, R_START, ACT_TEXT_REF},
    {R_ERO, litcon::NUM, R_CRO, ACT_IGNORE},
    {R_CRO, ANY, R_BACK, ACT_BACK_TWO},
    {R_CRO, litcon::LETTER, R_START, ACT_CHAR_REF_NAME},
    {R_CRO, litcon::DIGIT, R_START, ACT_CHAR_REF_NUMBER},
};
const Step conc_steps[] = {LITCON_COMMON(CON_RCDATA_END_TAG)};

// --- PRO ------------------------------------------------------------------------
enum : int8_t { P_START, P_LT, P_MDO, P_ERO, P_DATA, P_BACK, P_DATAFORCE, P_STATES };
const Step pro_steps[] = {
    {P_START, ANY, P_DATA, PRO_DATA_STARTS},
    {P_START, litcon::SPACE, P_START, ACT_IGNORE},
    {P_START, litcon::RE, P_START, ACT_IGNORE},
    {P_START, litcon::TAB, P_START, ACT_IGNORE},
    {P_START, litcon::RS, P_START, ACT_RS},
    {P_START, litcon::NONSGML, P_START, ACT_NONSGML_IN_MARKUP},
    {P_START, litcon::EE, P_START, ACT_ENTITY_END},
    {P_START, litcon::LT, P_LT, ACT_IGNORE},
    {P_START, litcon::ERO, P_ERO, ACT_IGNORE},
    {P_LT, ANY, P_DATAFORCE, ACT_BACK_TWO},
    {P_LT, litcon::EXCL, P_MDO, ACT_IGNORE},
    {P_LT, litcon::QUES, P_START, PRO_PI},
    {P_LT, litcon::LETTER, P_START, PRO_TAG_STARTS},
    {P_LT, litcon::SLASH, P_START, PRO_TAG_STARTS},
    {P_LT, litcon::NET, P_START, PRO_TAG_STARTS},
    {P_LT, litcon::GT, P_START, PRO_TAG_STARTS},
    {P_MDO, ANY, P_BACK, ACT_BACK_TWO},
    {P_MDO, litcon::LETTER, P_START, PRO_DECLARATION},
    {P_MDO, litcon::HYPHEN, P_START, PRO_COMMENT},
    {P_MDO, litcon::GT, P_START, PRO_COMMENT},
    {P_MDO, litcon::LSQB, P_START, PRO_MS_STARTS},
    {P_ERO, ANY, P_DATAFORCE, ACT_BACK_TWO},
    {P_ERO, litcon::LETTER, P_START, PRO_REFERENCE_STARTS},
    {P_ERO, litcon::NUM, P_START, PRO_REFERENCE_STARTS},
    {P_DATA, ANY, P_DATA, PRO_DATA},
    {P_DATA, litcon::NONSGML, P_START, PRO_DATA_END},
    {P_DATA, litcon::EE, P_START, PRO_DATA_END},
    {P_DATA, litcon::RS, P_START, PRO_DATA_END},
    {P_DATA, litcon::RE, P_START, PRO_DATA_END},
    {P_DATA, litcon::ERO, P_START, PRO_DATA_END},
    {P_DATA, litcon::LT, P_START, PRO_DATA_END},
    {P_BACK, ANY, P_DATAFORCE, ACT_BACK_TWO},
    {P_DATAFORCE, ANY, P_DATA, PRO_DATA_STARTS},
};

// --- MDS ------------------------------------------------------------------------
enum : int8_t {
  S_START, S_LT, S_MDO, S_PERO, S_DSC1, S_DSC2, S_DSCF, S_SKIP, S_STATES
};
const Step mds_steps[] = {
    {S_START, ANY, S_SKIP, ACT_IGNORE},
    {S_START, litcon::SPACE, S_START, ACT_IGNORE},
    {S_START, litcon::RE, S_START, ACT_IGNORE},
    {S_START, litcon::TAB, S_START, ACT_IGNORE},
    {S_START, litcon::RS, S_START, ACT_RS},
    {S_START, litcon::EE, S_START, ACT_ENTITY_END},
    {S_START, litcon::NONSGML, S_START, ACT_NONSGML_IN_MARKUP},
    {S_START, litcon::LT, S_LT, ACT_IGNORE},
    {S_START, litcon::PERO, S_PERO, ACT_IGNORE},
    {S_START, litcon::RSQB, S_DSC1, ACT_IGNORE},
    {S_LT, ANY, S_SKIP, ACT_BACK_ONE},
    {S_LT, litcon::EXCL, S_MDO, ACT_IGNORE},
    {S_LT, litcon::QUES, S_START, PRO_PI},
    {S_MDO, ANY, S_SKIP, ACT_BACK_ONE},
    {S_MDO, litcon::LETTER, S_START, PRO_SUBSET_DECLARATION},
    {S_MDO, litcon::HYPHEN, S_START, PRO_COMMENT},
    {S_MDO, litcon::GT, S_START, PRO_COMMENT},
    {S_MDO, litcon::LSQB, S_START, PRO_MS_START},
    {S_PERO, ANY, S_SKIP, ACT_BACK_ONE},
    {S_PERO, litcon::LETTER, S_START, ACT_PARAM_REF},
    {S_DSC1, ANY, S_START, PRO_DSC},
    {S_DSC1, litcon::RSQB, S_DSC2, ACT_IGNORE},
    {S_DSC2, ANY, S_DSCF, ACT_BACK_TWO},
    {S_DSC2, litcon::GT, S_START, PRO_MS_END},
    {S_DSCF, ANY, S_START, PRO_DSC},
    {S_SKIP, ANY, S_SKIP, ACT_IGNORE},
    {S_SKIP, litcon::LT, S_START, PRO_INVALID_RUN},
    {S_SKIP, litcon::PERO, S_START, PRO_INVALID_RUN},
    {S_SKIP, litcon::RSQB, S_START, PRO_INVALID_RUN},
    {S_SKIP, litcon::SPACE, S_START, PRO_INVALID_RUN},
    {S_SKIP, litcon::TAB, S_START, PRO_INVALID_RUN},
    {S_SKIP, litcon::RS, S_START, PRO_INVALID_RUN},
    {S_SKIP, litcon::RE, S_START, PRO_INVALID_RUN},
    {S_SKIP, litcon::NONSGML, S_START, PRO_INVALID_RUN},
    {S_SKIP, litcon::EE, S_START, PRO_INVALID_RUN},
};

// --- MD, MDC, MDI ---------------------------------------------------------------
enum : int8_t { D_START, D_HY, D_COM, D_COMHY, D_NMTKF, D_RNI, D_PERO, D_STATES };
const Step md_steps[] = {
    {D_START, ANY, D_START, ACT_INVALID},
    {D_START, markup::BLANK, D_START, ACT_IGNORE},
    {D_START, markup::RS, D_START, ACT_RS},
    {D_START, markup::EE, D_START, ACT_ENTITY_END},
    {D_START, markup::NONSGML, D_START, ACT_NONSGML_IN_MARKUP},
    {D_START, markup::GT, D_START, MD_MDC},
    {D_START, markup::DSO, D_START, MD_DSO},
    {D_START, markup::DSC, D_START, MD_DSC},
    {D_START, markup::LIT, D_START, MD_LITERAL},
    {D_START, markup::LITA, D_START, MD_LITA},
    {D_START, markup::LETTER, D_START, MD_NAME},
    {D_START, markup::DIGIT, D_START, MD_NUMBER},
    {D_START, markup::DOT, D_START, MD_NAME_TOKEN},
    {D_START, markup::HYPHEN, D_HY, ACT_IGNORE},
    {D_START, markup::GRPO, D_START, MD_GRPO},
    {D_START, markup::RNI, D_RNI, ACT_IGNORE},
    {D_START, markup::PERO, D_PERO, ACT_IGNORE},
    {D_START, markup::PLUS, D_START, MD_PLUS},
    {D_HY, ANY, D_NMTKF, ACT_BACK_TWO},
    {D_HY, markup::HYPHEN, D_COM, ACT_IGNORE},
    {D_HY, markup::GRPO, D_START, MD_MINUS},
    {D_NMTKF, ANY, D_START, MD_NAME_TOKEN},
    {D_COM, ANY, D_COM, ACT_IGNORE},
    {D_COM, markup::HYPHEN, D_COMHY, ACT_IGNORE},
    {D_COM, markup::RS, D_COM, ACT_RS},
    {D_COM, markup::NONSGML, D_COM, ACT_NONSGML_IN_MARKUP},
    {D_COM, markup::EE, D_START, ACT_EE_IN_MARKUP},
    {D_COMHY, ANY, D_COM, ACT_IGNORE},
    {D_COMHY, markup::HYPHEN, D_START, ACT_IGNORE},
    {D_COMHY, markup::RS, D_COM, ACT_RS},
    {D_COMHY, markup::EE, D_START, ACT_EE_IN_MARKUP},
    {D_RNI, ANY, D_START, ACT_INVALID},
    {D_RNI, markup::LETTER, D_START, MD_RNI_NAME},
    {D_PERO, ANY, D_START, ACT_INVALID},
    {D_PERO, markup::LETTER, D_START, ACT_PARAM_REF},
    {D_PERO, markup::BLANK, D_START, MD_PERO},
    {D_PERO, markup::RS, D_START, MD_PERO},
};

// --- GRCM, GRNT, GRNM; GRCS; ENTREF; EAL --------------------------------------------
enum : int8_t { G_START, G_RNI, G_PERO, G_STATES };
const Step group_steps[] = {
    {G_START, ANY, G_START, ACT_INVALID},
    {G_START, group::BLANK, G_START, ACT_IGNORE},
    {G_START, group::RE, G_START, ACT_IGNORE},
    {G_START, group::RS, G_START, ACT_RS},
    {G_START, group::EE, G_START, ACT_ENTITY_END},
    {G_START, group::NONSGML, G_START, ACT_NONSGML_IN_MARKUP},
    {G_START, group::GRPC, G_START, G_GRPC},
    {G_START, group::GRPO, G_START, G_GRPO},
    {G_START, group::LETTER, G_START, G_NAME},
    {G_START, group::NMCHAR, G_START, G_NAME_TOKEN},
    {G_START, group::AND, G_START, G_AND},
    {G_START, group::OR, G_START, G_OR},
    {G_START, group::SEQ, G_START, G_SEQ},
    {G_START, group::OPT, G_START, G_OPT},
    {G_START, group::PLUS, G_START, G_PLUS},
    {G_START, group::REP, G_START, G_REP},
    {G_START, group::RNI, G_RNI, ACT_IGNORE},
    {G_START, group::PERO, G_PERO, ACT_IGNORE},
    {G_RNI, ANY, G_START, ACT_INVALID},
    {G_RNI, group::LETTER, G_START, G_RNI_NAME},
    {G_PERO, ANY, G_START, ACT_INVALID},
    {G_PERO, group::LETTER, G_START, ACT_PARAM_REF},
};
const Step grcs_steps[] = {
    {0, ANY, 0, ACT_BACK_RETURN},
    {0, group::OPT, 0, G_OPT},
    {0, group::PLUS, 0, G_PLUS},
    {0, group::REP, 0, G_REP},
};
const Step entref_steps[] = {
    {0, ANY, 0, ACT_BACK_RETURN},
    {0, group::REFC, 0, G_REFC},
    {0, group::RE, 0, G_REFC},
};
const Step eal_steps[] = {
    {0, ANY, 0, ACT_INVALID},
    {0, 0, 0, EAL_VI},
    {0, group::BLANK, 0, ACT_IGNORE},
    {0, group::RE, 0, ACT_IGNORE},
    {0, group::RS, 0, ACT_RS},
    {0, group::EE, 0, ACT_ENTITY_END},
    {0, group::NONSGML, 0, ACT_NONSGML_IN_MARKUP},
    {0, group::RSQB, 0, EAL_DSC},
    {0, group::LETTER, 0, EAL_NAME},
    {0, group::NMCHAR, 0, EAL_NAME_TOKEN},
    {0, group::LIT, 0, EAL_LIT},
    {0, group::LITA, 0, EAL_LITA},
};

// --- Literals ---------------------------------------------------------------------
enum : int8_t { T_START, T_ESC, T_ERO, T_CRO, T_PERO, T_BACK, T_DATAFORCE, T_STATES };
#define LITERAL_COMMON                                                                            \
  {T_START, ANY, T_START, LIT_DATA},                                                              \
  {T_START, literal::RS, T_START, ACT_RS},                                                        \
  {T_START, literal::NONSGML, T_START, ACT_NONSGML},                                              \
  {T_START, literal::EE, T_START, ACT_ENTITY_END},                                                \
  {T_START, literal::ESC, T_ESC, LIT_DATA},                                                       \
  {T_ESC, ANY, T_START, LIT_DATA},                                                                \
  {T_ESC, literal::EOB, T_START, LIT_DATA},                                                       \
  {T_START, literal::ERO, T_ERO, ACT_IGNORE},                                                     \
  {T_ERO, ANY, T_DATAFORCE, ACT_BACK_TWO},                                                        \
  {T_ERO, literal::NUM, T_CRO, ACT_IGNORE},                                                       \
  {T_CRO, ANY, T_BACK, ACT_BACK_TWO},                                                             \
  {T_CRO, literal::LETTER, T_START, ACT_CHAR_REF_NAME},                                           \
  {T_CRO, literal::DIGIT, T_START, ACT_CHAR_REF_NUMBER},                                          \
  {T_BACK, ANY, T_DATAFORCE, ACT_BACK_TWO},                                                       \
  {T_DATAFORCE, ANY, T_START, LIT_DATA}

const Step litp_steps[] = {
    LITERAL_COMMON,
    {T_START, literal::PERO, T_PERO, ACT_IGNORE},
    {T_PERO, ANY, T_DATAFORCE, ACT_BACK_TWO},
    {T_PERO, literal::LETTER, T_START, ACT_PARAM_REF},
};
// LITT: the separators of a tokenized value stay as they are (the value
// tokenizer splits at them).
const Step litt_steps[] = {
    LITERAL_COMMON,
    {T_ERO, literal::LETTER, T_START, ACT_TEXT_REF},
};
// LITR: a record end or separator character (also one given by "&#RE;" or
// "&#TAB;", which is read again as that character) stands for a space.
const Step litr_steps[] = {
    LITERAL_COMMON,
    {T_ERO, literal::LETTER, T_START, ACT_TEXT_REF},
    {T_START, literal::RE, T_START, LIT_SPACE},
    {T_START, literal::TAB, T_START, LIT_SPACE},
};
const Step litv_steps[] = {
    {0, ANY, 0, LIT_NOT_MINIMUM},
    {0, literal::DIGIT, 0, LIT_DATA},
    {0, literal::MINPUNCT, 0, LIT_DATA},
    {0, literal::LETTER, 0, LIT_DATA},
    {0, literal::SPACE, 0, LIT_DATA},
    {0, literal::RE, 0, LIT_DATA},
    {0, literal::RS, 0, ACT_RS},
    {0, literal::EE, 0, ACT_ENTITY_END},
};
const Step litc_steps[] = {
    {0, ANY, 0, LIT_DATA},
    {0, literal::RS, 0, ACT_RS},
    {0, literal::NONSGML, 0, ACT_NONSGML},
    {0, literal::EE, 0, ACT_ENTITY_END},
    {0, literal::ESC, 1, LIT_DATA},
    {1, ANY, 0, LIT_DATA},
    {1, literal::EOB, 0, LIT_DATA},
};

// --- Marked sections --------------------------------------------------------------
enum : int8_t {
  M_START, M_DATA, M_ESC, M_ERO, M_CRO, M_MSC1, M_MSC2, M_BACK, M_DATAFORCE, M_STATES
};
static_assert(M_DATA == kContentDataState);
#define MS_DATA_COMMON                                                                            \
  {M_START, ANY, M_DATA, CON_DATA_START},                                                         \
  {M_START, literal::NONSGML, M_START, ACT_NONSGML},                                              \
  {M_START, literal::EE, M_START, ACT_ENTITY_END},                                                \
  {M_START, literal::RS, M_START, CON_RS},                                                        \
  {M_START, literal::RE, M_START, CON_RE},                                                        \
  {M_START, literal::ESC, M_ESC, CON_DATA_START},                                                 \
  {M_START, literal::RSQB, M_MSC1, ACT_IGNORE},                                                   \
  {M_DATA, ANY, M_DATA, ACT_IGNORE},                                                              \
  {M_DATA, literal::ESC, M_ESC, ACT_IGNORE},                                                      \
  {M_DATA, literal::EOB, M_START, CON_DATA_BUFFER_END},                                           \
  {M_DATA, literal::NONSGML, M_START, CON_DATA_END},                                              \
  {M_DATA, literal::EE, M_START, CON_DATA_END},                                                   \
  {M_DATA, literal::RS, M_START, CON_DATA_END},                                                   \
  {M_DATA, literal::RE, M_START, CON_DATA_END},                                                   \
  {M_DATA, literal::RSQB, M_START, CON_DATA_END},                                                 \
  {M_ESC, ANY, M_DATA, ACT_IGNORE},                                                               \
  {M_ESC, literal::EOB, M_DATA, ACT_IGNORE},                                                      \
  {M_MSC1, ANY, M_DATAFORCE, ACT_BACK_TWO},                                                       \
  {M_MSC1, literal::RSQB, M_MSC2, ACT_IGNORE},                                                    \
  {M_MSC2, ANY, M_BACK, ACT_BACK_TWO},                                                            \
  {M_MSC2, literal::GT, M_START, CON_MS_END},                                                     \
  {M_BACK, ANY, M_DATAFORCE, ACT_BACK_TWO},                                                       \
  {M_DATAFORCE, ANY, M_DATA, CON_DATA_START}

const Step msrcdata_steps[] = {
    MS_DATA_COMMON,
    {M_START, literal::ERO, M_ERO, ACT_IGNORE},
    {M_DATA, literal::ERO, M_START, CON_DATA_END},
    {M_ERO, ANY, M_DATAFORCE, ACT_BACK_TWO},
    {M_ERO, literal::LETTER, M_START, ACT_TEXT_REF},
    {M_ERO, literal::NUM, M_CRO, ACT_IGNORE},
    {M_CRO, ANY, M_BACK, ACT_BACK_TWO},
    {M_CRO, literal::LETTER, M_START, ACT_CHAR_REF_NAME},
    {M_CRO, literal::DIGIT, M_START, ACT_CHAR_REF_NUMBER},
};
const Step mscdata_steps[] = {MS_DATA_COMMON};

enum : int8_t { I_START, I_LT, I_MDO, I_MSC1, I_MSC2, I_STATES };
const Step msignore_steps[] = {
    {I_START, ANY, I_START, ACT_IGNORE},
    {I_START, literal::RS, I_START, ACT_RS},
    {I_START, literal::EE, I_START, ACT_ENTITY_END},
    {I_START, literal::LT, I_LT, ACT_IGNORE},
    {I_START, literal::RSQB, I_MSC1, ACT_IGNORE},
    {I_LT, ANY, I_START, ACT_BACK_ONE},
    {I_LT, literal::EXCL, I_MDO, ACT_IGNORE},
    {I_MDO, ANY, I_START, ACT_BACK_ONE},
    {I_MDO, literal::LSQB, I_START, CON_MS_START},
    {I_MSC1, ANY, I_START, ACT_BACK_ONE},
    {I_MSC1, literal::RSQB, I_MSC2, ACT_IGNORE},
    {I_MSC2, ANY, I_START, ACT_BACK_ONE},
    {I_MSC2, literal::RSQB, I_MSC2, ACT_IGNORE},
    {I_MSC2, literal::GT, I_START, CON_MS_END},
};

// --- Tags ---------------------------------------------------------------------------
const Step stag_steps[] = {
    {0, ANY, 0, IN_TAG_INVALID},
    {0, markup::BLANK, 0, ACT_IGNORE},
    {0, markup::RS, 0, ACT_RS},
    {0, markup::EE, 0, ACT_EE_IN_MARKUP},
    {0, markup::NONSGML, 0, ACT_NONSGML_IN_MARKUP},
    {0, markup::GT, 0, IN_TAG_TAGC},
    {0, markup::SLASH, 0, IN_TAG_NET},
    {0, markup::LETTER, 0, IN_TAG_NAME},
    {0, markup::DOT, 0, IN_TAG_TOKEN},
    {0, markup::DIGIT, 0, IN_TAG_TOKEN},
    {0, markup::HYPHEN, 0, IN_TAG_TOKEN},
    {0, markup::VI, 0, IN_TAG_VI},
    {0, markup::LIT, 0, IN_TAG_LIT},
    {0, markup::LITA, 0, IN_TAG_LITA},
    {0, markup::LT, 0, IN_TAG_UNCLOSED},
};
const Step etag_steps[] = {
    {0, ANY, 0, IN_TAG_INVALID},
    {0, markup::BLANK, 0, ACT_IGNORE},
    {0, markup::RS, 0, ACT_RS},
    {0, markup::EE, 0, ACT_EE_IN_MARKUP},
    {0, markup::NONSGML, 0, ACT_NONSGML_IN_MARKUP},
    {0, markup::GT, 0, IN_TAG_TAGC},
    {0, markup::LT, 0, IN_TAG_UNCLOSED},
};

// --- VAL (name class table; walked by parse_attr_value) -----------------------------
const Step val_steps[] = {
    {0, ANY, 0, VAL_INVALID},
    {0, kNameRecord, 0, ACT_IGNORE},
    {0, kNameSeparator, 0, ACT_IGNORE},
    {0, kNameChar, 1, VAL_TOKEN_START},
    {0, kNameStart, 1, VAL_TOKEN_START},
    {0, kNameDigit, 1, VAL_TOKEN_START},
    {1, ANY, 0, VAL_INVALID},
    {1, kNameRecord, 0, VAL_TOKEN_END},
    {1, kNameSeparator, 0, VAL_TOKEN_END},
    {1, kNameChar, 1, ACT_IGNORE},
    {1, kNameStart, 1, ACT_IGNORE},
    {1, kNameDigit, 1, ACT_IGNORE},
};

// --- SD -----------------------------------------------------------------------------
enum : int8_t { SD_START, SD_HY, SD_COM, SD_COMHY, SD_STATES };
const Step sd_steps[] = {
    {SD_START, ANY, SD_START, ACT_INVALID},
    {SD_START, sd::SEP, SD_START, ACT_IGNORE},
    {SD_START, sd::RS, SD_START, ACT_RS},
    {SD_START, sd::EE, SD_START, ACT_ENTITY_END},
    {SD_START, sd::NONSGML, SD_START, ACT_NONSGML_IN_MARKUP},
    {SD_START, sd::GT, SD_START, SDC_MDC},
    {SD_START, sd::LIT, SD_START, SDC_LIT},
    {SD_START, sd::LITA, SD_START, SDC_LITA},
    {SD_START, sd::DIGIT, SD_START, SDC_NUMBER},
    {SD_START, sd::LETTER, SD_START, SDC_NAME},
    {SD_START, sd::DATA, SD_START, SDC_BAD_DATA},
    {SD_START, sd::HYPHEN, SD_HY, ACT_IGNORE},
    {SD_HY, ANY, SD_START, ACT_INVALID},
    {SD_HY, sd::HYPHEN, SD_COM, ACT_IGNORE},
    {SD_COM, ANY, SD_COM, ACT_IGNORE},
    {SD_COM, sd::HYPHEN, SD_COMHY, ACT_IGNORE},
    {SD_COM, sd::RS, SD_COM, ACT_RS},
    {SD_COM, sd::EE, SD_START, ACT_EE_IN_MARKUP},
    {SD_COMHY, ANY, SD_COM, ACT_IGNORE},
    {SD_COMHY, sd::HYPHEN, SD_START, ACT_IGNORE},
    {SD_COMHY, sd::RS, SD_COM, ACT_RS},
    {SD_COMHY, sd::EE, SD_START, ACT_EE_IN_MARKUP},
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
      rows[2 * s + 1][eob_class] = ACT_REFILL;
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
          pcb->rows[2 * s][k] == s && pcb->rows[2 * s + 1][k] == ACT_IGNORE;
  pcb->runs = table->data();
}

void runs_make_all() {
  for (int i = 0; LexBlocks[i]; ++i) runs_make(LexBlocks[i], &run_tables[i]);
}

}  // namespace

bool lex_rows_built = false;

#define PCB(var, label, st, table, rows, code)                                          \
  ParseControlBlock var = {label, st, table, rows, 0, 0, 0, 0, 0, code, -1, nullptr}

PCB(pcb_conm, "CONM", kStateCONM, ContentClass, conm_rows, CON_DATA_END);
PCB(pcb_cone, "CONE", kStateCONE, ContentClass, cone_rows, CON_ELEMENT_DATA);
PCB(pcb_conr, "CONR", kStateCONR, LitContentClass, conr_rows, CON_DATA_END);
PCB(pcb_conc, "CONC", kStateCONC, LitContentClass, conc_rows, CON_DATA_END);
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
PCB(pcb_msrcdata, "MSRCDATA", kStateMSRCDATA, LiteralClass, msrcdata_rows, CON_DATA_END);
PCB(pcb_mscdata, "MSCDATA", kStateMSCDATA, LiteralClass, mscdata_rows, CON_DATA_END);
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
      if (action != CON_EMPTY_END_TAG && action != CON_EMPTY_START_TAG) continue;
      pcb->rows[2 * s][gt] = pcb->rows[2 * s][underscore];
      pcb->rows[2 * s + 1][gt] = pcb->rows[2 * s + 1][underscore];
    }
  }
  runs_make_all();
}
