// The lexical engine loop and the actions it handles itself.
#include <cstring>

#include "io/vqio.h"
#include "sgml/lex/chclass.h"
#include "sgml/input/docin.h"
#include "sgml/entities/entity.h"
#include "sgml/lex/lex.h"
#include "sgml/messages/message.h"
#include "sgml/options.h"
#include "sgml/entities/settings.h"
#include "sgml/sgml.h"
#include "sgml/parser_state.h"
#include "sgml/switches.h"
#include "sgml/messages/trace.h"

namespace {

constexpr auto& escape_pair = sgml_parser.escape_pair;
// "&name;" of an echoed reference met in a literal (NAMELEN is at most 239).
constexpr auto& echo_text = sgml_parser.echo_text;

// The engine has just read through the entity's pointer: its buffer start
// is set (every open entity has one). Only the document entity's
// characters move the offset.
void update_offset(const EntityEntry* e) {
  if (e->keeps_offsets && e->line > 0)
    doc_offsets.current_char =
        e->buffer_offset + static_cast<int32_t>(e->ptr - e->start) - e->rs_given;
}

bool echo_references() { return sgml_options().echo_references; }

// Reads the end of a reference (";" or RE is consumed, anything else is
// read again by what follows).
void reference_end() {
  pcb_reset(&pcb_entref);
  lex_engine(&pcb_entref);
}

// The character a reference stands for replaces the reference's last
// character, where the read pointer is.
void write_back(EntityEntry* e, unsigned char c) {
  entity_make_private(e);
  *e->ptr = c;
}

long reference_number(const unsigned char* digits) {
  long v = 0;
  for (const unsigned char* p = digits; *p; ++p) {
    v = v * 10 + (*p - '0');
    if (v > 255) return 256;  // saturates: every larger value is refused alike
  }
  return v;
}

// "&" and a name: the entity is referenced when echoing is on (or always,
// for ACT_BACK_TEXT_REF); returns the code to hand out.
int entity_ref_in_text(int action) {
  unsigned char name[256];
  parse_name(name, 2);
  reference_end();
  if (echo_references() || action != ACT_TEXT_REF) {
    const EntityOpen r = entity_reference(name);
    if (r == ENTITY_DATA) return LEX_DATA_ENTITY;
    if (r == ENTITY_PI) return LEX_PI_ENTITY;
    return r == ENTITY_OPENED ? LEX_ENTITY_OPENED : LEX_ENTITY_END;
  }
  size_t n = name[0] - 2;
  echo_text[0] = '&';
  std::memcpy(echo_text + 1, name + 1, n);
  echo_text[n + 1] = ';';
  lex_data.text = echo_text;
  lex_data.length = static_cast<int32_t>(n + 2);
  lex_data.flags = DATA_NO_RESCAN;
  return LEX_DATA_ENTITY;
}

}  // namespace

unsigned char escape_char(int c) {
  return static_cast<unsigned char>((sgml_switches().escape_offset + c) & 0xFF);
}

const unsigned char* lex_escape_pair() { return escape_pair; }

int char_ref_function(const unsigned char* name) {
  int c = keyword_lookup(kw_function_char, reinterpret_cast<const char*>(name + 1));
  return c ? c : -1;
}

namespace {

// After a character that left the block in state s with nothing to do:
// the characters after it that do the same (plain data, the text of a
// comment, ...) are passed over in one loop, as the step loop would pass
// them one by one (the step after the run sets the block's words and the
// offset).
void pass_over_run(const ParseControlBlock* pcb, EntityEntry* e, int s) {
  const uint8_t* classes = pcb->classes;
  const uint8_t* stays = pcb->runs + s * LEX_MAX_CLASSES;
  const bool blanks = pcb->blank_data_state == s;
  unsigned char* p = e->ptr;
  for (;;) {
    const unsigned char d = p[1];
    if (stays[classes[d]] || (blanks && (d == ' ' || d == '\t')))
      ++p;
    else
      break;
  }
  e->ptr = p;
}

}  // namespace

int lex_take_run(ParseControlBlock* pcb, int code, int stop, unsigned char* out, int room) {
  EntityEntry* e = entity_top;
  if (!e || trace_on.state) return 0;
  const int s = pcb->state;
  const uint8_t* classes = pcb->classes;
  const uint8_t* next = pcb->rows[2 * s];
  const uint8_t* act = pcb->rows[2 * s + 1];
  unsigned char* p = e->ptr;
  int cls = 0;
  int n = 0;
  while (n < room) {
    const unsigned char d = p[1];
    const int k = classes[d];
    if (d == stop || next[k] != s || act[k] != code) break;
    out[n++] = d;
    ++p;
    cls = k;
  }
  if (n > 0) {
    e->ptr = p;
    pcb->prev_state = s;
    pcb->last_class = cls;
    pcb->last_action = code;
    update_offset(e);
  }
  return n;
}

int lex_engine(ParseControlBlock* pcb) {
  lex_rows_setup();
  message_state_set(pcb->state_index);
  for (;;) {
    EntityEntry* e = entity_top;
    if (!e) return LEX_END_OF_INPUT;
    unsigned char c = *++e->ptr;
    int cls = pcb->classes[c];
    int s = pcb->state;
    pcb->prev_state = s;
    pcb->state = pcb->rows[2 * s][cls];
    int action = pcb->rows[2 * s + 1][cls];
    pcb->last_class = cls;
    pcb->last_action = action;
    if (trace_on.state) {
      update_offset(e);
      trace_lex_step(pcb->name, s, cls, action, pcb->state, c,
                     reinterpret_cast<const char*>(e->name + 1), static_cast<int>(e->line),
                     static_cast<int>(e->column_base + (e->ptr - e->start)),
                     doc_offsets.current_char);
    } else if (action == ACT_IGNORE) {
      // Nothing to do: the offset is set by the next step, in the same
      // entity (a run in the same state is passed over first).
      if (pcb->state == s) pass_over_run(pcb, e, s);
      continue;
    } else {
      update_offset(e);
    }
    if (action > kLastEngineAction) return action;
    switch (action) {
      case ACT_CHAR_REF_NAME: {  // "&#" and a function name
        unsigned char name[256];
        parse_name(name, 1);
        reference_end();
        int fc = char_ref_function(name);
        if (fc < 0) {
          syntax_error(P62_INVALID_ALPHABETIC_CHARACTER_REFERENCE_IGNORED, pcb->state_index);
          break;
        }
        e = entity_top;
        write_back(e, static_cast<unsigned char>(fc));
        // In a parameter literal "&#RS;" is a character of the text (a
        // SHORTREF literal names "&#RS;B" this way), not a record start
        // to drop.
        if (fc == 10 && pcb == &pcb_litp) return LEX_REREAD;
        if (fc == 10) --e->line;
        entity_step_back(e, 1);
        break;
      }
      case ACT_CHAR_REF_NUMBER: {  // "&#" and digits
        unsigned char digits[256];
        parse_token(digits, kNameDigit, quantity(kNAMELEN));
        reference_end();
        long v = reference_number(digits);
        if (v > 255) {
          syntax_error(P61_NUMERIC_CHARACTER_REFERENCE_EXCEEDS_255, pcb->state_index);
          break;
        }
        e = entity_top;
        if (v >= 33 && v <= 254 && v != 127) {
          write_back(e, static_cast<unsigned char>(v));
          return pcb->data_code ? pcb->data_code : LEX_REREAD;
        }
        escape_pair[0] = sgml_switches().escape;
        escape_pair[1] = escape_char(static_cast<int>(v));
        return LEX_ESCAPE;
      }
      case ACT_NONSGML:  // non-SGML character
        if (c == 1) {
          syntax_error(P152_CONFUSING_NON_SGML_CHARACTER_FOUND, pcb->state_index);
          break;
        }
        syntax_error(P60_NON_SGML_CHARACTER_FOUND, pcb->state_index);
        escape_pair[0] = sgml_switches().escape;
        escape_pair[1] = escape_char(c);
        return LEX_ESCAPE;
      case ACT_EE_IN_MARKUP:  // entity end inside markup
        syntax_error(P8_ILLEGAL_ENTITY_END_IN_MARKUP_OR, pcb->state_index);
        [[fallthrough]];
      case ACT_ENTITY_END:
        if (e->type <= ENT_CDATA && e->ptr < e->end) break;  // a stray NUL in text
        if (entpop() < 0) return LEX_END_OF_INPUT;
        return LEX_ENTITY_END;
      case ACT_ENTITY_REF: {  // "&" and a name in content
        unsigned char name[256];
        parse_name(name, 2);
        reference_end();
        if (echo_references()) {
          const EntityOpen r = entity_reference(name);
          if (r == ENTITY_DATA) return LEX_DATA_ENTITY;
          if (r == ENTITY_PI) return LEX_PI_ENTITY;
        } else {
          vqio_printf("&%s;", reinterpret_cast<const char*>(name + 1));
          vqio_fflush(vqio_stdout);
        }
        break;
      }
      case ACT_REFILL:
        if (entpop() < 0) return LEX_END_OF_INPUT;
        break;
      case ACT_INVALID:
        syntax_error(P9_INCORRECT_CHARACTER_IN_MARKUP, pcb->state_index);
        entity_step_back(e, 1);
        return LEX_INVALID;
      case ACT_LENGTH_ERROR:
        syntax_error(P3_LENGTH_OF_NAME_NUMBER_OR_TOKEN, pcb->state_index);
        break;
      case ACT_IGNORE:
        break;
      case ACT_BACK_INVALID:
        entity_step_back(e, 1);
        syntax_error(P9_INCORRECT_CHARACTER_IN_MARKUP, pcb->state_index);
        entity_step_back(e, 1);
        return LEX_INVALID_BACK;
      case ACT_PARAM_REF: {  // "%" and a name
        unsigned char name[256];
        entity_step_back(e, 1);
        parse_name(name, 2);
        reference_end();
        if (entity_reference(name) == ENTITY_PI) return LEX_PI_ENTITY;
        break;
      }
      case ACT_BACK_TWO:
        entity_step_back(e, 2);
        break;
      case ACT_BACK_ONE:
        entity_step_back(e, 1);
        break;
      case ACT_BACK_RETURN:
        entity_step_back(e, 1);
        return LEX_STEPPED_BACK;
      case ACT_RS:
        lex_count_record();
        break;
      case ACT_BACK_TEXT_REF:
        entity_step_back(e, 1);
        [[fallthrough]];
      case ACT_TEXT_REF: {
        int code = entity_ref_in_text(action);
        return code;
      }
      case ACT_NONSGML_IN_MARKUP:
        syntax_error(P4_NON_SGML_CHARACTER_OCCURRED_IN_MARKUP, pcb->state_index);
        break;
      case ACT_BACK_LENGTH_ERROR:
        entity_step_back(e, 1);
        syntax_error(P3_LENGTH_OF_NAME_NUMBER_OR_TOKEN, pcb->state_index);
        break;
      default:
        return action;
    }
  }
}
