// The readers that run after the lexical engine has recognised the start
// of a name, token, blank run, declaration parameter or literal.
#include <cstring>

#include "sgml/lex/chclass.h"
#include "sgml/input/docin.h"
#include "sgml/entities/entity.h"
#include "sgml/lex/lex.h"
#include "sgml/messages/message.h"
#include "sgml/entities/settings.h"
#include "sgml/sgml.h"
#include "sgml/parser_state.h"
#include "sgml/switches.h"
#include "sgml/messages/trace.h"

namespace {

// The literal read last (for literal_normalize).
constexpr const unsigned char*& last_literal = sgml_parser.last_literal;
constexpr int& last_literal_length = sgml_parser.last_literal_length;

const uint8_t* fold_map(const SgmlSettings& s, int fold) {
  if (fold == 1 && s.namecase_general) return NameCase;
  if (fold == 2 && s.namecase_entity) return NameCase;
  return nullptr;
}

void finish_offset(const EntityEntry* e) {
  if (e->keeps_offsets && e->line > 0 && e->start)
    doc_offsets.current_char =
        e->buffer_offset + static_cast<int32_t>(e->ptr - e->start) - e->rs_given;
}

// Reads characters of name class min_class or above after the current
// one, storing at most max_length in all (the first is stored already,
// n == 1). The rest of an over-long run is passed over with one P3. The
// read pointer ends on the last character taken.
int read_run(unsigned char* out, int n, int min_class, int max_length, const uint8_t* map) {
  bool over = false;
  for (;;) {
    EntityEntry* e = entity_top;
    // The characters of the run that fit are taken in a local loop; the
    // one that stops it is read again below.
    unsigned char* p = e->ptr;
    while (n < max_length) {
      const unsigned char d = p[1];
      if (d == kBufferEndChar || NameClass[d] < min_class) break;
      ++p;
      out[n++] = map ? map[d] : d;
    }
    e->ptr = p;
    unsigned char c = *++e->ptr;
    if (c == kBufferEndChar) {  // refill and go on with the same name
      if (entpop() < 0 || entity_top != e) return n;
      continue;
    }
    if (NameClass[c] < min_class) {
      --e->ptr;
      finish_offset(e);
      if (trace_on.state)
        trace_token(NameClass[c], n, c, reinterpret_cast<const char*>(e->name + 1),
                    static_cast<int>(e->line),
                    static_cast<int>(e->column_base + (e->ptr - e->start)));
      return n;
    }
    if (n >= max_length) {
      if (!over) syntax_error(P3_LENGTH_OF_NAME_NUMBER_OR_TOKEN, kStateCurrent);
      over = true;
      continue;
    }
    out[n++] = map ? map[c] : c;
  }
}

// Whether the external data entity just referenced (lex_data) holds
// character data (CDATA or SDATA) rather than NDATA or a subdocument.
bool external_data_kind_is_text() {
  const auto* de = reinterpret_cast<const DataEntity*>(lex_data.text);
  return de != nullptr && (de->kind == DATA_KIND_CDATA || de->kind == DATA_KIND_SDATA);
}

void store(unsigned char* buffer, int max_length, int* n, bool* over, const unsigned char* text,
           int length) {
  if (*over) return;  // past the limit nothing more is kept
  if (*n + length > max_length) {
    if (!*over)
      sgml_error(P134_NORMALIZED_LENGTH_OF_LITERAL_EXCEEDED, kStateCurrent,
                 decl_number_text(max_length), nullptr);
    *over = true;
    return;
  }
  std::memcpy(buffer + *n, text, length);
  *n += length;
}

}  // namespace

void parse_name(unsigned char* buffer, int fold) {
  const SgmlSettings& s = sgml_settings();
  const uint8_t* map = fold_map(s, fold);
  unsigned char c = lex_current_char();
  buffer[1] = map ? map[c] : c;
  int n = read_run(buffer + 1, 1, kNameChar, s.quantities[kNAMELEN].value, map);
  buffer[0] = static_cast<unsigned char>(n + 2);
  buffer[n + 1] = 0;
}

int parse_token(unsigned char* buffer, int min_class, int max_length) {
  buffer[0] = lex_current_char();
  int n = read_run(buffer, 1, min_class, max_length, nullptr);
  buffer[n] = 0;
  return n;
}

int read_blank_run(unsigned char* buffer, int max_length) {
  buffer[0] = lex_current_char();
  int n = 1;
  for (;;) {
    EntityEntry* e = entity_top;
    unsigned char c = *++e->ptr;
    if (c == kBufferEndChar) {
      if (entpop() < 0 || entity_top != e) break;
      continue;
    }
    if (NameClass[c] != kNameSeparator || n >= max_length) {
      --e->ptr;
      finish_offset(e);
      break;
    }
    buffer[n++] = c;
  }
  buffer[n] = 0;
  return n;
}

void copy_name_token(unsigned char* dst, const unsigned char* src, int min_class, int fold) {
  const uint8_t* map = fold ? fold_map(sgml_settings(), 1) : nullptr;
  int limit = quantity(kNAMELEN);
  int n = 0;
  while (src[n] && NameClass[src[n]] >= min_class && n < limit) {
    dst[n + 1] = map ? map[src[n]] : src[n];
    ++n;
  }
  dst[0] = static_cast<unsigned char>(n + 2);
  dst[n + 1] = 0;
}

int parse_md_param(unsigned char* buffer, int fold, ParseControlBlock* literal_block,
                   int max_length) {
  ParseControlBlock* pcb = literal_block ? &pcb_md : &pcb_mdc;
  int code;
  for (;;) {
    code = lex_engine(pcb);
    if (code == LEX_ENTITY_END) {
      if (entity_stack.level < md_state.level)
        syntax_error(P37_ENTITY_NESTING_LEVEL_OUT_OF_SYNC, kStateCurrent);
      continue;
    }
    if (code == LEX_PI_ENTITY) {
      syntax_error(P59_REFERENCE_TO_PI_ENTITY_NOT_PERMITTED, kStateCurrent);
      continue;
    }
    break;
  }
  ++md_context().parameters;
  switch (code) {
    case LEX_END_OF_INPUT:
      sgml_fatal(P133_DOCUMENT_ENDED_INVALIDLY_WITHIN_MARKUP_DECLARATION, kStateCurrent);
    case MD_MDC:
      lex_step_back(1);
      break;
    case MD_LITERAL:
    case MD_LITA:
      md_state.length = parse_literal(buffer, literal_block ? literal_block : &pcb_litc,
                                      max_length, code == MD_LITERAL ? '"' : '\'');
      code = MD_LITERAL;
      break;
    case MD_NAME:
    case MD_RNI_NAME:
      parse_name(buffer, fold);
      md_state.length = buffer[0] - 2;
      break;
    case MD_NAME_TOKEN:
    case MD_NUMBER:
      md_state.length = parse_token(buffer, kNameChar, quantity(kNAMELEN));
      break;
    case MD_MINUS:
      lex_step_back(1);
      break;
    case MD_GRPO:
      lex_step_back(1);
      code = MD_GROUP;
      break;
    default:
      break;
  }
  return code;
}

int parse_literal(unsigned char* buffer, ParseControlBlock* literal_block, int max_length,
                  int delimiter) {
  int level = entity_stack.level;
  int n = 0;
  bool over = false;
  pcb_reset(literal_block);
  for (;;) {
    int code = lex_engine(literal_block);
    unsigned char c = lex_current_char();
    switch (code) {
      case LIT_DATA:
        if (c == delimiter && entity_stack.level == level) goto done;
        store(buffer, max_length, &n, &over, &c, 1);
        // The data characters after it, up to the next delimiter character,
        // are taken at once while they fit.
        if (!over)
          n += lex_take_run(literal_block, LIT_DATA, delimiter, buffer + n, max_length - n);
        break;
      case LIT_NOT_MINIMUM:
        if (c == delimiter && entity_stack.level == level) goto done;
        syntax_error(P63_INVALID_CHARACTER_IN_MINIMUM_LITERAL, kStateCurrent);
        break;
      case LIT_CHAR_REF:  // always data
        store(buffer, max_length, &n, &over, &c, 1);
        break;
      case LIT_SPACE: {
        const unsigned char space = ' ';
        store(buffer, max_length, &n, &over, &space, 1);
        break;
      }
      case LEX_ESCAPE:  // the pair is kept whole or not at all
        store(buffer, max_length, &n, &over, lex_escape_pair(), 2);
        break;
      case LEX_DATA_ENTITY:
        if (lex_data.flags & DATA_EXTERNAL)
          syntax_error(external_data_kind_is_text() ? P145_INVALID_REFERENCE_TO_EXTERNAL_CDATA_OR
                                                    : P141_INVALID_NDATA_OR_SUBDOC_ENTITY_REFERENCE,
                       kStateCurrent);
        else
          store(buffer, max_length, &n, &over, lex_data.text, lex_data.length);
        break;
      case LEX_PI_ENTITY:
        syntax_error(P59_REFERENCE_TO_PI_ENTITY_NOT_PERMITTED, kStateCurrent);
        break;
      case LEX_ENTITY_END:
        if (entity_stack.level < level)
          syntax_error(P37_ENTITY_NESTING_LEVEL_OUT_OF_SYNC, kStateCurrent);
        break;
      case LEX_END_OF_INPUT:
        sgml_fatal(literal_end_message, kStateCurrent);
      default:  // an entity opened inside the literal, or nothing to keep
        break;
    }
  }
done:
  buffer[n] = 0;
  literal_length = n;
  last_literal = buffer;
  last_literal_length = n;
  return n;
}

int literal_normalize(unsigned char* out, int space) {
  const unsigned char escape = sgml_switches().escape;
  bool in_separators = !literal_keep_leading;  // leading separators dropped
  for (int i = 0; i < last_literal_length; ++i) {
    unsigned char c = last_literal[i];
    if (c == 10) continue;
    if (c == escape) {
      if (i + 1 >= last_literal_length) break;  // a dangling escape is dropped
      if (space < 2) break;
      *out++ = c;
      *out++ = last_literal[++i];
      space -= 2;
      in_separators = false;
      continue;
    }
    bool separator = c == 13 || c == 32 || c == 9;
    if (separator && in_separators) continue;
    if (space < 1) break;
    *out++ = c;
    --space;
    in_separators = separator;
  }
  if (space > 0) *out = 0;
  return space;
}
