// The ATTLIST declaration: attribute definitions (name, declared value with
// its name or name token group, default) for element types or, after
// "#NOTATION", for notations.
#include <cstring>
#include <string>
#include <vector>

#include "sgml/entities/attlist.h"
#include "sgml/lex/chclass.h"
#include "sgml/messages/message.h"
#include "sgml/instance/model.h"
#include "sgml/decl/prolog.h"
#include "sgml/entities/settings.h"
#include "sgml/messages/trace.h"
#include "sgml/parser_state.h"

namespace {

struct Builder {
  std::vector<AttributeList> entries;  // entry 0 the header
  int limit = 0;                       // ATTCNT
  bool notation_list = false;
  bool has_notation = false;
  bool has_id = false;
  int attributes = 0;
  int group_tokens = 0;
};

std::string attr_name(const AttributeList& a) { return name_chars(a.name); }

// Whether a group token of the list already holds token.
bool token_in_list(const Builder& b, const unsigned char* token) {
  for (size_t i = 1; i < b.entries.size(); ++i) {
    const AttributeList& a = b.entries[i];
    if (!(a.flags & ATT_GROUP)) continue;
    for (int k = 1; k <= a.count; ++k)
      if (std::strcmp(name_chars(b.entries[i + k].name), name_chars(token)) == 0) return true;
    i += static_cast<size_t>(a.count);
  }
  return false;
}

// Reads the group of the attribute at b.entries[owner] (its "(" stepped
// back): names (NOTATION) or name tokens. -1 when the limit was reached
// (message given), else the tokens read.
int attdef_group(Builder* b, size_t owner, bool names) {
  ParseControlBlock* block = names ? &pcb_grnm : &pcb_grnt;
  pcb_reset(block);
  unsigned char token[512];
  int read = 0;
  int number = 0;
  for (;;) {
    int code = lex_engine(block);
    if (code == LEX_END_OF_INPUT)
      sgml_fatal(P133_DOCUMENT_ENDED_INVALIDLY_WITHIN_MARKUP_DECLARATION, kStateCurrent);
    if (code == LEX_ENTITY_END) continue;
    if (code == LEX_PI_ENTITY) {
      sgml_error(P59_REFERENCE_TO_PI_ENTITY_NOT_PERMITTED, kStateCurrent, nullptr, nullptr);
      continue;
    }
    if (code == G_GRPO) continue;
    if (code == G_GRPC) return read;
    if (code == LEX_INVALID) md_group_stopped = true;  // P9 given
    if (code == G_NAME || code == G_NAME_TOKEN) {
      ++number;
      if (code == G_NAME) {
        parse_name(token, 1);
      } else {
        unsigned char raw[512];
        int n = parse_token(raw, kNameChar, quantity(kNAMELEN));
        raw[n] = 0;
        copy_name_token(token, raw, kNameChar, 1);
      }
      if (token_in_list(*b, token) || [&] {
            for (int k = 1; k <= read; ++k)
              if (std::strcmp(name_chars(b->entries[owner + k].name), name_chars(token)) == 0)
                return true;
            return false;
          }()) {
        md_error(P98_GROUP_TOKEN, number_text(number), name_chars(token));
        continue;
      }
      if (static_cast<int>(b->entries.size()) > b->limit) {
        md_error(P105_DEFINITION_IGNORED_NUMBER_OF_NAMES_OR_NAME_TOKENS,
                 attr_name(b->entries[owner]).c_str(), nullptr);
        md_skip_group();
        return -1;
      }
      AttributeList t{};
      t.name = save_name(token);
      t.declared = b->entries[owner].declared;
      b->entries.push_back(t);
      ++read;
      continue;
    }
    if (code >= G_AND && code <= G_REP) continue;  // connectors, occurrence indicators
    return -1;                               // P9 given
  }
}

// The default of the attribute at b->entries[at]: code is the parameter
// read after the declared value. Returns the code after the default, or
// -1 when the definition was dropped with a message.
int attdef_default(Builder* b, size_t at, unsigned char* buffer) {
  AttributeList& a = b->entries[at];
  const std::string name = attr_name(a);
  const int litlen = quantity(kLITLEN);
  const bool tokenized = a.declared != DV_CDATA;
  // The default is read as written: a CDATA value keeps its case, quoted
  // or not; the tokens of any other value are folded by the tokenizer, as
  // in a start tag.
  int code = parse_md_param(buffer, 0, tokenized ? &pcb_litt : &pcb_litr, md_buffer_size());
  md_trace(code, "4: default");
  if (code == MD_RNI_NAME) {
    if (sgml_settings().namecase_general)
      for (int i = 1; i < buffer[0] - 1; ++i) buffer[i] = NameCase[buffer[i]];
    const char* reference = reserved_reference(buffer);
    int value = reference ? keyword_lookup(kw_default_value, reference) : 0;
    switch (value) {
      case DEFAULT_IMPLIED:
        break;
      case DEFAULT_REQUIRED:
        a.flags |= ATT_REQUIRED;
        b->entries[0].flags |= ATTLIST_HAS_REQUIRED;
        break;
      case DEFAULT_CURRENT:
        if (b->notation_list) {
          md_error(P157_CURRENT_CANNOT_BE_SPECIFIED_FOR_DATA, nullptr, nullptr);
        } else if (a.declared == DV_ID) {
          md_error(P80_CURRENT_DEFAULT_VALUE_TREATED_AS_IMPLIED, name.c_str(), nullptr);
        } else {
          a.flags |= ATT_CURRENT;
        }
        break;
      case DEFAULT_CONREF:
        if (b->notation_list) {
          md_error(P158_CONREF_CANNOT_BE_SPECIFIED_FOR_DATA, nullptr, nullptr);
        } else if (a.declared == DV_ID) {
          md_error(P107_CONREF_DEFAULT_VALUE_TREATED_AS_IMPLIED, name.c_str(), nullptr);
        } else {
          a.flags |= ATT_CONREF;
          b->entries[0].flags |= ATTLIST_HAS_CONREF;
        }
        break;
      case DEFAULT_FIXED:
        a.flags |= ATT_FIXED;
        code = parse_md_param(buffer, 0, tokenized ? &pcb_litt : &pcb_litr, md_buffer_size());
        md_trace(code, "5: fixed val");
        if (code != MD_LITERAL && code != MD_NAME && code != MD_NAME_TOKEN && code != MD_NUMBER) {
          md_error(P110_DEFINITION_IGNORED_INVALID_DEFAULT_VALUE_SPECIFIED, name.c_str(), nullptr);
          return -1;
        }
        goto value;
      default:
        md_error(P108_DEFINITION_IGNORED_IS_NOT_VALID_DEFAULT_VALUE_KEYWORD, name.c_str(),
                 name_chars(buffer));
        return -1;
    }
    return parse_md_param(buffer, 1, &pcb_litp, md_buffer_size());
  }
  if (code == MD_MDC) {
    md_error(P109_DEFINITION_IGNORED_NO_DEFAULT_VALUE_SPECIFIED, name.c_str(), nullptr);
    return -1;
  }
  if (code != MD_LITERAL && code != MD_NAME && code != MD_NAME_TOKEN && code != MD_NUMBER) {
    md_error(P110_DEFINITION_IGNORED_INVALID_DEFAULT_VALUE_SPECIFIED, name.c_str(), nullptr);
    return -1;
  }
value : {
  // The default value: its text, whole.
  const unsigned char* text = code == MD_NAME ? buffer + 1 : buffer;
  int32_t length = md_state.length;
  if (a.declared == DV_ID) {
    md_error(P81_ID_ATTRIBUTE_CANNOT_HAVE_DEFAULT_VALUE, name.c_str(), nullptr);
    return parse_md_param(buffer, 1, &pcb_litp, md_buffer_size());
  }
  if (!tokenized) {
    a.value = static_cast<unsigned char*>(sgml_calloc(static_cast<size_t>(length) + 1));
    std::memcpy(a.value, text, static_cast<size_t>(length));
    a.value_length = length;
    a.count = 0;
  } else {
    std::vector<unsigned char> out(static_cast<size_t>(length) * 2 + 8);
    const AttrValueTokens found =
        parse_attr_value(text, length, a.declared == DV_GROUP ? int{DV_GROUP_TOKENS} : a.declared,
                         out.data(), static_cast<int>(out.size()));
    const int tokens = found.tokens;
    if (found.problem == P25_ATTRIBUTE_DEFAULTED_EMPTY_STRING_NOT_ALLOWED_FOR_TOKEN) {
      md_error(P82_ATTRIBUTE_MUST_BE_TOKEN_NOT_EMPTY, name.c_str(), nullptr);
      return parse_md_param(buffer, 1, &pcb_litp, md_buffer_size());
    }
    int32_t used = 0;
    for (int k = 0; k < tokens; ++k) used += out[static_cast<size_t>(used)];
    if (a.flags & ATT_GROUP) {
      // Every token of a grouped value must be in the group.
      int32_t p = 0;
      for (int k = 0; k < tokens; ++k) {
        const unsigned char* tok = out.data() + p;
        bool found = false;
        for (int g = 1; g <= a.count && !found; ++g)
          found = std::strcmp(name_chars(b->entries[at + g].name), name_chars(tok)) == 0;
        if (!found) {
          md_error(P79_DEFAULT_ATTRIBUTE_VALUE_NOT_IN_GROUP, name.c_str(), name_chars(tok));
          return parse_md_param(buffer, 1, &pcb_litp, md_buffer_size());
        }
        p += tok[0];
      }
    } else {
      a.count = tokens;
    }
    a.value = static_cast<unsigned char*>(sgml_calloc(static_cast<size_t>(used) + 1));
    std::memcpy(a.value, out.data(), static_cast<size_t>(used));
    a.value_length = used;
    length = used;
  }
  int tokens = (a.flags & ATT_GROUP) ? 1 : a.count;
  a.normalized = att_normalized_length(a.declared, tokens, a.value_length);
  if (a.normalized > litlen) {
    md_error(P224_NORMALIZED_LENGTH_OF_VALUE_OF_ATTRIBUTE, name.c_str(), nullptr);
    sgml_free(a.value);
    a.value = nullptr;
    a.value_length = 0;
  } else {
    sgml_settings().capacities[kATTCHCAP].count += a.value_length;
  }
  return parse_md_param(buffer, 1, &pcb_litp, md_buffer_size());
}
}

// The attribute definition list trace: the header line, then each
// attribute with its default and each token of its group.
void adlist_trace(const AttributeList* list) {
  trace_adlist(list, list[0].count, list[0].normalized);
  for (int32_t i = 1; i <= list[0].count; ++i) {
    const AttributeList& a = list[i];
    std::string text;
    if (a.flags & ATT_CURRENT) {
      text = "CURRENT";
    } else if (a.flags & ATT_REQUIRED) {
      text = "REQUIRED";
    } else if (a.value == nullptr) {
      text = "NULL";
    } else if (a.declared == DV_CDATA) {
      text = "[";
      text.append(reinterpret_cast<const char*>(a.value), static_cast<size_t>(a.value_length));
      text += ']';
    } else {
      text = "[";
      for (int32_t p = 0; p < a.value_length && a.value[p] >= 2; p += a.value[p]) {
        if (p > 0) text += ' ';
        text += name_chars(a.value + p);
      }
      text += "]";
    }
    trace_adlist_entry(false, &a, name_chars(a.name), a.declared, a.flags, a.count, a.normalized,
                       a.value, a.record, text.c_str());
    if (!(a.flags & ATT_GROUP)) continue;
    for (int32_t g = 1; g <= a.count; ++g) {
      const AttributeList& t = list[i + g];
      trace_adlist_entry(true, &t, name_chars(t.name), t.declared, t.flags, t.count, t.normalized,
                         t.value, t.record, nullptr);
    }
    i += a.count;
  }
}

// One attribute definition; its name is in buffer. Returns the code of the
// parameter after it, or -1 when the declaration ended.
int attdef_read(Builder* b, unsigned char* buffer) {
  const size_t at = b->entries.size();
  if (static_cast<int>(at) > b->limit) {
    md_error(P111_MORE_THAN_ATTCNT_ATTRIBUTE_NAMES_AND, nullptr, nullptr);
    return -1;
  }
  AttributeList a{};
  a.name = save_name(buffer);
  const std::string name = name_chars(buffer);
  bool redefined = attlist_find_name(b->entries.data(), b->entries.size(), buffer) != 0;
  b->entries.push_back(a);

  int code = md_param(buffer, 1);
  md_trace(code, "3: dcl value");
  int declared = DV_GROUP;
  if (code == MD_NAME) {
    const char* reference = reserved_reference(buffer);
    declared = reference ? keyword_lookup(kw_declared_value, reference) : 0;
    if (declared == 0) {
      md_error(P100_DEFINITION_IGNORED_IS_NOT_VALID_DECLARED_VALUE_KEYWORD, name.c_str(),
               name_chars(buffer));
      return -1;
    }
    b->entries[at].declared = static_cast<uint8_t>(declared);
    if (declared == DV_NOTATION) {
      code = md_param(buffer, 1);
      md_trace(code, "3: nt group");
      if (code != MD_GROUP) {
        md_error(P106_DEFINITION_IGNORED_NAME_GROUP_OMITTED_FOR_NOTATION_ATTRIBUTE, name.c_str(),
                 nullptr);
        return -1;
      }
    }
  } else if (code != MD_GROUP) {
    md_error(code == MD_MDC ? P103_DEFINITION_IGNORED_NO_DECLARED_VALUE_SPECIFIED
                            : P104_DEFINITION_IGNORED_INVALID_DECLARED_VALUE_SPECIFIED,
             name.c_str(), nullptr);
    return -1;
  }
  if (code == MD_GROUP) {
    b->entries[at].flags |= ATT_GROUP;
    int n = attdef_group(b, at, declared == DV_NOTATION);
    if (n < 0) return -1;
    if (n == 0) {
      md_error(P103_DEFINITION_IGNORED_NO_DECLARED_VALUE_SPECIFIED, name.c_str(), nullptr);
      return -1;
    }
    b->entries[at].count = n;
    b->group_tokens += n;
  }

  bool drop = redefined;
  if (b->notation_list) {
    switch (declared) {
      case DV_NOTATION:
        md_error(P156_DECLARED_VALUE_OF_DATA_ATTRIBUTE_CANNOT, nullptr, nullptr);
        drop = true;
        break;
      case DV_ID:
        md_error(P144_DECLARED_VALUE_OF_DATA_ATTRIBUTE_CANNOT, nullptr, nullptr);
        drop = true;
        break;
      case DV_ENTITY:
      case DV_ENTITIES:
        md_error(P154_DECLARED_VALUE_OF_DATA_ATTRIBUTE_CANNOT, nullptr, nullptr);
        drop = true;
        break;
      case DV_IDREF:
      case DV_IDREFS:
        md_error(P155_DECLARED_VALUE_OF_DATA_ATTRIBUTE_CANNOT, nullptr, nullptr);
        drop = true;
        break;
      default: break;
    }
  } else if (declared == DV_NOTATION && b->has_notation) {
    md_error(P101_DEFINITION_IGNORED_NOTATION_ATTRIBUTE_ALREADY_DEFINED, name.c_str(), nullptr);
    drop = true;
  } else if (declared == DV_ID && b->has_id) {
    md_error(P102_DEFINITION_IGNORED_ID_ATTRIBUTE_ALREADY_DEFINED, name.c_str(), nullptr);
    drop = true;
  }
  if (redefined) md_error(P99_ATTEMPT_TO_REDEFINE_ATTRIBUTE_IGNORED, name.c_str(), nullptr);

  code = attdef_default(b, at, buffer);
  if (code >= 0) md_trace(code, "2: att name");
  if (drop || code < 0) {
    b->entries.resize(at);  // the definition is ignored
    return code;
  }
  if (declared == DV_NOTATION) {
    b->has_notation = true;
    b->entries[0].flags |= ATTLIST_HAS_NOTATION;
  }
  if (declared == DV_ID) b->has_id = true;
  ++b->attributes;
  return code;
}

}  // namespace

int32_t att_normalized_length(int declared, int32_t tokens, int32_t length) {
  const int32_t normsep = quantity(kNORMSEP);
  if (declared == DV_CDATA) return normsep + length;
  if (declared > DV_NUTOKEN) return normsep + (normsep - 1) * tokens + length;
  return normsep + length;
}

int attlist_find_name(const AttributeList* entries, size_t used, const unsigned char* name) {
  for (size_t i = 1; i < used; ++i) {
    const AttributeList& a = entries[i];
    if (std::strcmp(name_chars(a.name), name_chars(name)) == 0) return static_cast<int>(i);
    if (a.flags & ATT_GROUP) i += static_cast<size_t>(a.count);
  }
  return 0;
}

void attlist_element_check(ElementTypeDef* etd) {
  const AttributeList* list = etd->attributes;
  if (list == nullptr || etd->model == nullptr) return;
  const bool empty = etd->model->count == 0 && etd->model->flags == CONTENT_IS_EMPTY;
  if ((etd->flags & ETD_START_OMIT) && (list[0].flags & ATTLIST_HAS_REQUIRED)) {
    md_error(P40_START_TAG_MINIMIZATION_IGNORED, nullptr, nullptr);
    etd->flags &= static_cast<unsigned char>(~ETD_START_OMIT);
  }
  if (empty && (list[0].flags & ATTLIST_HAS_NOTATION))
    md_error(P83_NOTATION_ATTRIBUTE_IGNORED_FOR_EMPTY_ELEMENT, nullptr, nullptr);
  if (empty && (list[0].flags & ATTLIST_HAS_CONREF))
    md_error(P85_CONREF_DEFAULT_VALUE_TREATED_AS_IMPLIED, nullptr, nullptr);
  if (sgml_settings().omittag && (list[0].flags & ATTLIST_HAS_CONREF) &&
      !(etd->flags & ETD_END_OMIT))
    md_error(P153_END_TAG_MINIMIZATION_SHOULD_BE_O, nullptr, nullptr);
}

void md_attlist() {
  md_begin(kKwATTLIST);
  unsigned char* buffer = md_buffer();
  std::vector<ElementTypeDef*> types;
  std::vector<NotationRecord*> notations;
  Builder b;
  b.limit = quantity(kATTCNT);
  b.entries.push_back(AttributeList{});

  int code = md_param(buffer, 1);
  md_trace(code, "1: elem nm");
  if (code == MD_RNI_NAME) {
    if (!keyword_is(buffer, "NOTATION")) {
      md_error(P118_KEYWORD_INVALID_ONLY_PERMITTED, name_chars(buffer), "NOTATION");
      md_skip(code);
      return;
    }
    b.notation_list = true;
    code = md_param(buffer, 1);
    md_trace(code, "1: notat nm");
    if (!md_notations(code, buffer, &notations, true)) return;
  } else if (!md_element_types(code, buffer, &types, true)) {
    return;
  }

  code = md_param(buffer, 1);
  md_trace(code, "2: att name");
  if (code != MD_NAME) {
    md_error(P120_PARAMETER_MUST_BE_NAME, nullptr, nullptr);
    md_skip(code);
    return;
  }
  while (code == MD_NAME) {
    code = attdef_read(&b, buffer);
    if (code < 0) {
      md_skip_after_group(buffer);
      return;
    }
  }
  md_end(code);

  b.entries[0].count = static_cast<int32_t>(b.entries.size()) - 1;
  b.entries[0].normalized = b.attributes;
  auto& caps = sgml_settings().capacities;
  caps[kATTCAP].count += b.attributes;
  caps[kAVGRPCAP].count += b.group_tokens;
  auto* list = static_cast<AttributeList*>(sgml_calloc(sizeof(AttributeList) * b.entries.size()));
  std::memcpy(static_cast<void*>(list), b.entries.data(), sizeof(AttributeList) * b.entries.size());
  if (trace_on.att) adlist_trace(list);

  for (ElementTypeDef* etd : types) {
    if (etd->attributes != nullptr) {
      md_error(P112_ATTEMPTED_REDEFINITION_OF_ATTRIBUTE_DEFINITION_LIST, nullptr, nullptr);
      continue;
    }
    etd->attributes = list;
    if (etd->model != nullptr) attlist_element_check(etd);
  }
  for (NotationRecord* n : notations) {
    if (n->attributes != nullptr) {
      md_error(P112_ATTEMPTED_REDEFINITION_OF_ATTRIBUTE_DEFINITION_LIST, nullptr, nullptr);
      continue;
    }
    n->attributes = list;
  }
}
