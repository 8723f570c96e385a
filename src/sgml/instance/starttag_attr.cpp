// The attribute specification list of a start tag: the element type's list
// copied into the working list, each specification read with its value's
// offsets (a name, VI and a quoted or unquoted value; or a value alone,
// whose attribute is the one whose group holds it), the values tokenized
// and checked against their declared values, and, after the tag, the
// checks of required, NOTATION, ENTITY and ID values.
#include <cstring>
#include <string>
#include <vector>

#include "sgml/entities/attlist.h"
#include "sgml/lex/chclass.h"
#include "sgml/input/docin.h"
#include "sgml/entities/entity.h"
#include "sgml/instance/instance.h"
#include "sgml/lex/lex.h"
#include "sgml/messages/message.h"
#include "sgml/decl/prolog.h"
#include "sgml/entities/settings.h"
#include "sgml/parser_state.h"

namespace {

constexpr WorkingList& work = sgml_parser.work;

const char* att_chars(const AttributeList& a) { return a.name != nullptr ? name_chars(a.name) : ""; }

// Declared value for the tokenizer: a name token group is read as NMTOKEN
// tokens of a group (above 15).
int tokenizer_kind(const AttributeList& a) {
  return a.declared == DV_GROUP ? int{DV_GROUP_TOKENS} : a.declared;
}

// The value text for messages.
std::string value_text(const unsigned char* v, int32_t n) {
  return std::string(reinterpret_cast<const char*>(v), static_cast<size_t>(n));
}

// Stores n characters in the value buffer; null past ATTSPLEN (P75).
unsigned char* value_store(const unsigned char* text, int32_t n) {
  if (work.over) return nullptr;
  if (work.used + static_cast<size_t>(n) + 1 > work.values.size()) {
    sgml_error(P75_NORMALIZED_ATTRIBUTE_SPECIFICATION_LENGTH_OVER_ATTSPLEN, kStateSTAG, nullptr,
               nullptr);
    work.over = true;
    return nullptr;
  }
  unsigned char* at = work.values.data() + work.used;
  std::memcpy(at, text, static_cast<size_t>(n));
  at[n] = 0;
  work.used += static_cast<size_t>(n) + 1;
  return at;
}

// Whether the counted token is one of the group entries that follow entry i.
bool token_in_entry_group(int i, const unsigned char* token) {
  const AttributeList& a = work.entries[static_cast<size_t>(i)];
  for (int g = 1; g <= a.count; ++g)
    if (std::strcmp(name_chars(work.entries[static_cast<size_t>(i + g)].name), name_chars(token)) == 0)
      return true;
  return false;
}

// Sets attribute i to the value given (raw characters), checking it by its
// declared value. start and end are the value's offsets.
void value_given(int i, const unsigned char* raw, int32_t length, int32_t start, int32_t end) {
  AttributeList& a = work.entries[static_cast<size_t>(i)];
  const std::string shown = value_text(raw, length);
  if (a.flags & ATT_GIVEN) {
    sgml_error(P73_ATTRIBUTE_IGNORED_PREVIOUSLY_SPECIFIED_IN_SAME_LIST, kStateSTAG, att_chars(a),
               shown.c_str());
    return;
  }
  a.flags |= ATT_GIVEN;
  a.value_start = start;
  a.value_end = end;
  unsigned char tokens_out[4096];
  std::vector<unsigned char> big;
  unsigned char* out = tokens_out;
  int out_size = static_cast<int>(sizeof tokens_out);
  if (length * 2 + 8 > out_size) {
    big.resize(static_cast<size_t>(length) * 2 + 8);
    out = big.data();
    out_size = static_cast<int>(big.size());
  }
  const unsigned char* value = raw;
  int32_t value_length = length;
  int tokens = 0;
  if (a.declared != DV_CDATA) {
    const AttrValueTokens found = parse_attr_value(raw, length, tokenizer_kind(a), out, out_size);
    tokens = found.tokens;
    if (found.problem) {
      sgml_error(*found.problem, kStateSTAG, att_chars(a), shown.c_str());
      a.flags |= ATT_GIVEN_BAD;
      return;
    }
    int32_t used = 0;
    for (int k = 0; k < tokens; ++k) used += out[used];
    if (a.flags & ATT_GROUP) {
      int32_t p = 0;
      for (int k = 0; k < tokens; ++k) {
        if (!token_in_entry_group(i, out + p)) {
          sgml_error(P18_ATTRIBUTE_VALUE_DEFAULTED_TOKEN_NOT_IN_GROUP, kStateSTAG, att_chars(a),
                     shown.c_str());
          a.flags |= ATT_GIVEN_BAD;
          return;
        }
        p += out[p];
      }
    }
    value = out;
    value_length = used;
  }
  if ((a.flags & ATT_FIXED) &&
      (a.value == nullptr || a.value_length != value_length ||
       std::memcmp(a.value, value, static_cast<size_t>(value_length)) != 0)) {
    sgml_error(P67_ATTRIBUTE_DEFAULTED_FIXED_ATTRIBUTE_MUST_EQUAL_DEFAULT, kStateSTAG, att_chars(a),
               nullptr);
    a.flags |= ATT_GIVEN_BAD;
    return;
  }
  const int32_t normalized =
      att_normalized_length(a.declared, (a.flags & ATT_GROUP) ? 1 : tokens, value_length);
  if (normalized > quantity(kLITLEN)) {
    sgml_error(P224_NORMALIZED_LENGTH_OF_VALUE_OF_ATTRIBUTE, kStateSTAG, att_chars(a), nullptr);
    a.flags |= ATT_GIVEN_BAD;
    return;
  }
  work.normalized += normalized;
  if (work.normalized > quantity(kATTSPLEN) && !work.over) {
    sgml_error(P75_NORMALIZED_ATTRIBUTE_SPECIFICATION_LENGTH_OVER_ATTSPLEN, kStateSTAG, nullptr,
               nullptr);
    work.over = true;
  }
  unsigned char* stored = value_store(value, value_length);
  if (stored == nullptr) {
    a.flags |= ATT_GIVEN_BAD;
    return;
  }
  a.value = stored;
  a.value_length = value_length;
  a.normalized = normalized;
  if (!(a.flags & ATT_GROUP)) a.count = a.declared == DV_CDATA ? 0 : tokens;
  a.record = nullptr;
}

// #CURRENT: the value given becomes the definition's value for the next
// start tag that omits it.
void current_pass_back(AttributeList* definitions) {
  const int32_t n = definitions[0].count;
  for (int32_t i = 1; i <= n; ++i) {
    AttributeList& d = definitions[i];
    const AttributeList& w = work.entries[static_cast<size_t>(i)];
    if ((d.flags & ATT_CURRENT) && (w.flags & ATT_GIVEN) && !(w.flags & ATT_GIVEN_BAD) &&
        w.value != nullptr) {
      const int32_t grow = w.value_length - d.value_length;
      auto* copy = static_cast<unsigned char*>(sgml_calloc(static_cast<size_t>(w.value_length) + 1));
      std::memcpy(copy, w.value, static_cast<size_t>(w.value_length));
      d.value = copy;
      d.value_length = w.value_length;
      if (!(d.flags & ATT_GROUP)) d.count = w.count;
      if (grow > 0) sgml_settings().capacities[kATTCHCAP].count += grow;
    }
    if (d.flags & ATT_GROUP) i += d.count;
  }
}

// A value read by its reader: raw text in buffer (length), offsets.
struct Value {
  const unsigned char* text;
  int32_t length;
  int32_t start;
  int32_t end;
};

// Reads the value after VI: a literal or an unquoted token. false when
// the next code is not a value (it is kept in *held).
bool value_read(unsigned char* buffer, int limit, const AttributeList* a, Value* v, int* held) {
  for (;;) {
    const int code = lex_engine(&pcb_stag);
    if (code == LEX_ENTITY_END) continue;
    if (code == IN_TAG_LIT || code == IN_TAG_LITA) {
      const int32_t quote = doc_offsets.current_char;
      const bool cdata = a == nullptr || a->declared == DV_CDATA;
      parse_literal(buffer, cdata ? &pcb_litr : &pcb_litt, limit,
                    code == IN_TAG_LIT ? '"' : '\'');
      v->text = buffer;
      v->length = literal_length;
      v->start = quote + 1;
      v->end = doc_offsets.current_char - 1;
      return true;
    }
    if (code == IN_TAG_NAME || code == IN_TAG_TOKEN) {
      if (!sgml_settings().shorttag)
        sgml_error(P196_UNDELIMITED_ATTRIBUTE_VALUE_REQUIRES_SHORTTAG_YES, kStateSTAG, nullptr,
                   nullptr);
      v->start = doc_offsets.current_char;
      v->length = parse_token(buffer, kNameChar, quantity(kNAMELEN));
      v->text = buffer;
      v->end = doc_offsets.current_char;
      return true;
    }
    *held = code;
    return false;
  }
}

}  // namespace

int att_find_name(int count, const unsigned char* name) {
  for (int i = 1; i <= count; ++i) {
    const AttributeList& a = work.entries[static_cast<size_t>(i)];
    if (std::strcmp(att_chars(a), name_chars(name)) == 0) return i;
    if (a.flags & ATT_GROUP) i += a.count;
  }
  return 0;
}

int att_find_token(int count, const unsigned char* token) {
  for (int i = 1; i <= count; ++i) {
    const AttributeList& a = work.entries[static_cast<size_t>(i)];
    if ((a.flags & ATT_GROUP) && token_in_entry_group(i, token)) return i;
    if (a.flags & ATT_GROUP) i += a.count;
  }
  return 0;
}

bool att_content_reference() {
  const int32_t n = work.entries.empty() ? 0 : work.entries[0].count;
  for (int32_t i = 1; i <= n; ++i) {
    const AttributeList& a = work.entries[static_cast<size_t>(i)];
    if ((a.flags & ATT_CONREF) && (a.flags & ATT_GIVEN) && !(a.flags & ATT_GIVEN_BAD)) return true;
    if (a.flags & ATT_GROUP) i += a.count;
  }
  return false;
}

const AttributeList* att_working_list() {
  return work.entries.empty() ? nullptr : work.entries.data();
}

int parse_attributes(ElementTypeDef* etd, bool* net) {
  const AttributeList* list = etd->attributes;
  const int32_t n = list[0].count;
  work.entries.assign(list, list + n + 1);
  for (int32_t i = 1; i <= n; ++i) {
    work.entries[static_cast<size_t>(i)].flags &= static_cast<uint8_t>(~ATT_TAG_MARKS);
    work.entries[static_cast<size_t>(i)].value_start = -1;
    work.entries[static_cast<size_t>(i)].value_end = -1;
  }
  const size_t room = static_cast<size_t>(quantity(kATTSPLEN)) + static_cast<size_t>(quantity(kLITLEN)) + 2;
  if (work.values.size() < room) work.values.assign(room, 0);
  work.used = 0;
  work.normalized = 0;
  work.over = false;
  unsigned char* buffer = md_buffer2();
  const int limit = quantity(kLITLEN);
  unsigned char name[256];
  int held = 0;
  bool told_literal = false;
  *net = false;
  pcb_reset(&pcb_stag);
  int code;
  for (;;) {
    if (held != 0) {
      code = held;
      held = 0;
    } else {
      code = lex_engine(&pcb_stag);
    }
    if (code == LEX_ENTITY_END || code == IN_TAG_VI) continue;
    if (code == IN_TAG_TAGC) break;
    if (code == IN_TAG_NET) {
      if (!sgml_settings().shorttag)
        sgml_error(P194_NET_ENABLING_START_TAG_REQUIRES_SHORTTAG, kStateCurrent, nullptr, nullptr);
      *net = true;
      break;
    }
    if (code == IN_TAG_UNCLOSED) {
      if (!sgml_settings().shorttag)
        sgml_error(P193_UNCLOSED_START_OR_END_TAG_REQUIRES, kStateCurrent, nullptr, nullptr);
      lex_step_back(1);
      break;
    }
    if (code == IN_TAG_INVALID) {
      sgml_error(P9_INCORRECT_CHARACTER_IN_MARKUP, kStateCurrent, nullptr, nullptr);
      lex_step_back(1);
      break;
    }
    if (code == LEX_END_OF_INPUT) {
      sgml_error(P9_INCORRECT_CHARACTER_IN_MARKUP, kStateCurrent, nullptr, nullptr);
      break;
    }
    if (code != IN_TAG_NAME && code != IN_TAG_TOKEN && code != IN_TAG_LIT &&
        code != IN_TAG_LITA) {
      if (code == LEX_INVALID || code == LEX_INVALID_BACK) break;
      continue;
    }
    Value v{};
    if (code == IN_TAG_NAME) {
      const int32_t start = doc_offsets.current_char;
      parse_name(name, 1);
      const int32_t end = doc_offsets.current_char;
      // A name followed by VI names the attribute; otherwise it is a value.
      int next = lex_engine(&pcb_stag);
      while (next == LEX_ENTITY_END) next = lex_engine(&pcb_stag);
      if (next == IN_TAG_VI) {
        const int i = att_find_name(n, name);
        const AttributeList* a = i > 0 ? &work.entries[static_cast<size_t>(i)] : nullptr;
        if (!value_read(buffer, limit, a, &v, &held)) {
          sgml_error(P9_INCORRECT_CHARACTER_IN_MARKUP, kStateSTAG, nullptr, nullptr);
          continue;
        }
        if (i == 0) {
          sgml_error(P13_ATTRIBUTE_IGNORED_NOT_DEFINED_FOR_THIS_ELEMENT, kStateSTAG,
                     name_chars(name), value_text(v.text, v.length).c_str());
          continue;
        }
        if (!work.over) value_given(i, v.text, v.length, v.start, v.end);
        continue;
      }
      held = next;
      v = Value{name + 1, static_cast<int32_t>(name[0] - 2), start, end};
    } else if (code == IN_TAG_TOKEN) {
      v.start = doc_offsets.current_char;
      v.length = parse_token(buffer, kNameChar, quantity(kNAMELEN));
      v.text = buffer;
      v.end = doc_offsets.current_char;
    } else {
      const int32_t quote = doc_offsets.current_char;
      parse_literal(buffer, &pcb_litt, limit, code == IN_TAG_LIT ? '"' : '\'');
      v.text = buffer;
      v.length = literal_length;
      v.start = quote + 1;
      v.end = doc_offsets.current_char - 1;
      if (!told_literal) sgml_error(P9_INCORRECT_CHARACTER_IN_MARKUP, kStateSTAG, nullptr, nullptr);
      told_literal = true;
      continue;
    }
    // A value without its name: the attribute whose group holds it.
    if (!sgml_settings().shorttag)
      sgml_error(P195_ATTRIBUTE_NAME_OMISSION_REQUIRES_SHORTTAG_YES, kStateSTAG, nullptr, nullptr);
    unsigned char token[256];
    copy_name_token(token, reinterpret_cast<const unsigned char*>(value_text(v.text, v.length).c_str()),
                    kNameChar, 1);
    const int i = att_find_token(n, token);
    if (i == 0) {
      sgml_error(P74_NAME_TOKEN_IGNORED, kStateSTAG, value_text(v.text, v.length).c_str(), nullptr);
      continue;
    }
    if (!work.over) value_given(i, token + 1, token[0] - 2, v.start, v.end);
  }
  // Attributes not given: the offset of the character that ended the list.
  // A tag read from an entity is not in the document's bytes: every value
  // gets the offsets of the reference that opened the entity.
  int32_t at = doc_offsets.current_char;
  if (code == IN_TAG_UNCLOSED || code == IN_TAG_INVALID) --at;
  const bool inside = entity_inside();
  for (int32_t i = 1; i <= n; ++i) {
    AttributeList& a = work.entries[static_cast<size_t>(i)];
    if (inside) {
      a.value_start = reference_span.start;
      a.value_end = reference_span.end;
    } else if (a.value_start < 1 || a.value_end < 1) {
      a.value_start = a.value_end = at;
    }
    if (a.flags & ATT_GROUP) i += a.count;
  }
  current_pass_back(etd->attributes);
  return code;
}

void att_defaults(ElementTypeDef* etd) {
  const int32_t n = work.entries.empty() ? 0 : work.entries[0].count;
  const bool minimization = sgml_settings().omittag || sgml_settings().shorttag;
  const bool empty = (element_content_flags(etd) & CONTENT_EMPTY) != 0;
  for (int32_t i = 1; i <= n; ++i) {
    AttributeList& a = work.entries[static_cast<size_t>(i)];
    const int32_t skip = (a.flags & ATT_GROUP) ? a.count : 0;
    const bool given = (a.flags & ATT_GIVEN) && !(a.flags & ATT_GIVEN_BAD);
    if (a.value == nullptr) {
      if (a.flags & (ATT_REQUIRED | ATT_CURRENT)) {
        sgml_error(P19_REQUIRED_ATTRIBUTE_WAS_NOT_SPECIFIED, kStateSTAG, att_chars(a), nullptr);
        a.flags |= ATT_DEFAULT_BAD;
      }
      i += skip;
      continue;
    }
    if (!given && !minimization)
      sgml_error(P197_ATTRIBUTE_SPECIFICATION_OMITTED_FOR, kStateSTAG, att_chars(a), nullptr);
    if (a.declared != DV_CDATA &&
        (a.value_length < 2 || a.value[0] < 2 || a.value[0] > a.value_length)) {
      i += skip;  // no token to check
      continue;
    }
    // A tokenized value shows its first token (counted); an empty one nothing.
    const std::string shown =
        a.declared == DV_CDATA ? value_text(a.value, a.value_length)
        : a.value_length >= 2 && a.value[0] >= 2 && a.value[0] <= a.value_length
            ? value_text(a.value + 1, a.value[0] - 2)
            : std::string();
    if (a.declared == DV_NOTATION) {
      // A content reference leaves the element no content, so no data
      // content notation either.
      if (empty || att_content_reference()) {
        sgml_error(empty ? P76_NOTATION_IGNORED_ELEMENT_CONTENT_IS_EMPTY
                         : P84_NOTATION_IGNORED_CONTENT_REFERENCE_SPECIFIED,
                   kStateSTAG, att_chars(a), shown.c_str());
        a.flags |= ATT_DEFAULT_BAD;
      } else {
        NotationRecord* nr = notation_find(a.value);
        if (nr == nullptr || nr->identifiers == nullptr) {
          sgml_error(P77_NOTATION_UNDEFINED, kStateSTAG, att_chars(a), shown.c_str());
          a.flags |= ATT_DEFAULT_BAD;
        }
        a.record = nr;
      }
    } else if (a.declared == DV_ENTITY || a.declared == DV_ENTITIES) {
      if (a.declared == DV_ENTITIES && a.count > quantity(kGRPCNT)) {
        sgml_error(P136_ENTITIES_ATTRIBUTE_IGNORED, kStateSTAG, att_chars(a), shown.c_str());
        a.flags |= ATT_DEFAULT_BAD;
      } else {
        for (int32_t p = 0, k = 0; p < a.value_length && k < a.count; ++k) {
          const unsigned char* token = a.value + p;
          p += token[0];
          EntityRecord* rec = entfind(token);
          if (rec == nullptr || rec->type == ENT_PLACEHOLDER) {
            if (entity_stack.default_entity != nullptr) {
              rec = default_entity(token);
              if (rec == nullptr) {
                sgml_error(P151_COULD_NOT_FIND_ENTITY_IN_ATTRIBUTE, kStateSTAG, name_chars(token),
                           att_chars(a));
                a.flags |= ATT_DEFAULT_BAD;
                continue;
              }
            } else {
              sgml_error(P72_ENTITY_ATTRIBUTE_NOT_GENERAL_ENTITY, kStateSTAG, att_chars(a),
                         name_chars(token));
              a.flags |= ATT_DEFAULT_BAD;
              continue;
            }
          }
          if (rec->type == ENT_DATA) {
            const auto* de = reinterpret_cast<const DataEntity*>(rec->text);
            if (de != nullptr && de->kind != DATA_KIND_SUBDOC && de->notation != nullptr &&
                de->notation->identifiers == nullptr) {
              sgml_error(P78_ENTITY_HAS_UNDEFINED_NOTATION, kStateSTAG, name_chars(token),
                         name_chars(de->notation->name));
              a.flags |= ATT_DEFAULT_BAD;
            }
          } else if (rec->type != ENT_SDATA && rec->type != ENT_CDATA) {
            sgml_error(P86_ENTITY_NOT_DATA_ENTITY, kStateSTAG, att_chars(a), name_chars(token));
            a.flags |= ATT_DEFAULT_BAD;
          }
          if (k == 0) a.record = rec;
        }
      }
    } else if (a.declared == DV_ID && given) {
      if (iddef(a.value) != 0) {
        sgml_error(P71_ID_ATTRIBUTE_IGNORED, kStateSTAG, att_chars(a), shown.c_str());
        a.flags |= ATT_DEFAULT_BAD;
      }
    }
    i += skip;
  }
}
