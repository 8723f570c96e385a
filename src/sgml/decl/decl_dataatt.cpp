// The data attribute specification list of an ENTITY declaration, between
// "[" and "]" after the notation name: each value is checked against the
// notation's attribute definitions as a start tag's values are against the
// element's, and the entity keeps a copy of the notation's list holding the
// values given.
#include <cstring>
#include <string>
#include <vector>

#include "sgml/entities/attlist.h"
#include "sgml/lex/chclass.h"
#include "sgml/entities/entity.h"
#include "sgml/messages/message.h"
#include "sgml/decl/prolog.h"
#include "sgml/entities/settings.h"
#include "sgml/parser_state.h"

namespace {

// The list being filled: a copy of the notation's definitions (entry 0 the
// header), and the normalized length of the values given so far.
struct DataList {
  std::vector<AttributeList> entries;
  int32_t spec_length = 0;
  bool over = false;  // ATTSPLEN passed: the values after it are dropped
};

// Index of the attribute whose group holds token, 0 when none.
int find_by_token(const DataList& l, const unsigned char* token) {
  for (size_t i = 1; i < l.entries.size(); ++i) {
    const AttributeList& a = l.entries[i];
    if (!(a.flags & ATT_GROUP)) continue;
    for (int k = 1; k <= a.count; ++k)
      if (std::strcmp(name_chars(l.entries[i + k].name), name_chars(token)) == 0)
        return static_cast<int>(i);
    i += static_cast<size_t>(a.count);
  }
  return 0;
}

// Whether the attribute at index at has token (counted) in its group.
bool in_group(const DataList& l, size_t at, const unsigned char* token) {
  for (int k = 1; k <= l.entries[at].count; ++k)
    if (std::strcmp(name_chars(l.entries[at + k].name), name_chars(token)) == 0) return true;
  return false;
}

// The value (text, length characters) given for the attribute at index at.
void take_value(DataList* l, size_t at, const unsigned char* text, int32_t length, bool quoted) {
  AttributeList& a = l->entries[at];
  const std::string name = name_chars(a.name);
  const std::string shown(reinterpret_cast<const char*>(text), static_cast<size_t>(length));
  if (!quoted && !sgml_settings().shorttag)
    md_error(P196_UNDELIMITED_ATTRIBUTE_VALUE_REQUIRES_SHORTTAG_YES, nullptr, nullptr);
  if (a.flags & ATT_GIVEN) {
    md_error(P73_ATTRIBUTE_IGNORED_PREVIOUSLY_SPECIFIED_IN_SAME_LIST, name.c_str(), shown.c_str());
    return;
  }
  a.flags |= ATT_GIVEN;
  std::vector<unsigned char> value;
  int32_t tokens = 0;
  if (a.declared == DV_CDATA) {
    value.assign(text, text + length);
  } else {
    std::vector<unsigned char> out(static_cast<size_t>(length) * 2 + 8);
    const AttrValueTokens found =
        parse_attr_value(text, length, a.declared == DV_GROUP ? int{DV_GROUP_TOKENS} : a.declared,
                         out.data(), static_cast<int>(out.size()));
    const int count = found.tokens;
    // The tokenizer's message is the one to give.
    if (found.problem) {
      md_error(*found.problem, name.c_str(), shown.c_str());
      a.flags |= ATT_GIVEN_BAD;
      return;
    }
    size_t used = 0;
    for (int k = 0; k < count; ++k) {
      const unsigned char* tok = out.data() + used;
      if ((a.flags & ATT_GROUP) && !in_group(*l, at, tok)) {
        md_error(P18_ATTRIBUTE_VALUE_DEFAULTED_TOKEN_NOT_IN_GROUP, name.c_str(), shown.c_str());
        a.flags |= ATT_GIVEN_BAD;
        return;
      }
      used += tok[0];
    }
    value.assign(out.begin(), out.begin() + static_cast<ptrdiff_t>(used));
    tokens = count;
  }
  const int32_t length_in = static_cast<int32_t>(value.size());
  if ((a.flags & ATT_FIXED) && a.value != nullptr &&
      (a.value_length != length_in || std::memcmp(a.value, value.data(), value.size()) != 0)) {
    md_error(P67_ATTRIBUTE_DEFAULTED_FIXED_ATTRIBUTE_MUST_EQUAL_DEFAULT, name.c_str(), nullptr);
    a.flags |= ATT_GIVEN_BAD;
    return;
  }
  const int32_t normalized = att_normalized_length(a.declared, tokens, length_in);
  if (normalized > quantity(kLITLEN)) {
    md_error(P224_NORMALIZED_LENGTH_OF_VALUE_OF_ATTRIBUTE, name.c_str(), nullptr);
    a.flags |= ATT_GIVEN_BAD;
    return;
  }
  l->spec_length += normalized;
  if (l->spec_length > quantity(kATTSPLEN)) {
    md_error(P75_NORMALIZED_ATTRIBUTE_SPECIFICATION_LENGTH_OVER_ATTSPLEN, nullptr, nullptr);
    l->over = true;
    a.flags |= ATT_GIVEN_BAD;
    return;
  }
  a.value = static_cast<unsigned char*>(sgml_calloc(value.size() + 1));
  std::memcpy(a.value, value.data(), value.size());
  a.value_length = length_in;
  a.normalized = normalized;
  if (!(a.flags & ATT_GROUP)) a.count = tokens;
}

// A value given without its name (a name token of some attribute's group).
void take_token_alone(DataList* l, const unsigned char* raw, int32_t length) {
  if (!sgml_settings().shorttag)
    md_error(P195_ATTRIBUTE_NAME_OMISSION_REQUIRES_SHORTTAG_YES, nullptr, nullptr);
  unsigned char token[512];
  copy_name_token(token, raw, kNameChar, 1);
  int at = find_by_token(*l, token);
  if (at == 0) {
    md_error(P74_NAME_TOKEN_IGNORED, reinterpret_cast<const char*>(raw), nullptr);
    return;
  }
  take_value(l, static_cast<size_t>(at), raw, length, false);
}

// After the "]": required attributes not given, and the defaulted ones
// when markup minimization is off altogether.
void check_defaults(DataList* l) {
  const bool minimizing = sgml_settings().omittag || sgml_settings().shorttag;
  for (size_t i = 1; i < l->entries.size(); ++i) {
    AttributeList& a = l->entries[i];
    const bool given = (a.flags & (ATT_GIVEN | ATT_GIVEN_BAD)) == ATT_GIVEN;
    if (!given && (a.flags & (ATT_REQUIRED | ATT_CURRENT)) && a.value == nullptr) {
      md_error(P19_REQUIRED_ATTRIBUTE_WAS_NOT_SPECIFIED, name_chars(a.name), nullptr);
      a.flags |= ATT_DEFAULT_BAD;
    } else if (!given && !minimizing) {
      md_error(P197_ATTRIBUTE_SPECIFICATION_OMITTED_FOR, name_chars(a.name), nullptr);
    }
    if (a.flags & ATT_GROUP) i += static_cast<size_t>(a.count);
  }
}

}  // namespace

bool data_attributes_read(NotationRecord* notation, AttributeList** out) {
  *out = nullptr;
  unsigned char* buffer = md_buffer2();
  const int litlen = quantity(kLITLEN);
  const bool defined = notation->attributes != nullptr;
  DataList l;
  if (defined) {
    const AttributeList* def = notation->attributes;
    l.entries.assign(def, def + def[0].count + 1);
  }
  // A name read and not yet known to be an attribute name (it is one when
  // VI follows) or a value standing alone.
  std::string pending;
  // After "name =": the name, and the index of its attribute (0 unknown).
  bool want_value = false;
  std::string value_name;
  int value_for = 0;
  int items = 0;
  bool told = false;  // P22 given
  auto settle_pending = [&] {
    if (pending.empty()) return;
    if (defined)
      take_token_alone(&l, reinterpret_cast<const unsigned char*>(pending.c_str()),
                       static_cast<int32_t>(pending.size()));
    pending.clear();
  };
  // The value of "name =" (text, length characters).
  auto value_read = [&](const unsigned char* text, int32_t length, bool quoted) {
    want_value = false;
    if (!defined || l.over) return;
    if (value_for == 0) {
      const std::string shown(reinterpret_cast<const char*>(text), static_cast<size_t>(length));
      md_error(P13_ATTRIBUTE_IGNORED_NOT_DEFINED_FOR_THIS_ELEMENT, value_name.c_str(),
               shown.c_str());
      return;
    }
    take_value(&l, static_cast<size_t>(value_for), text, length, quoted);
  };
  pcb_reset(&pcb_eal);
  for (;;) {
    int code = lex_engine(&pcb_eal);
    switch (code) {
      case LEX_END_OF_INPUT:
        sgml_fatal(P133_DOCUMENT_ENDED_INVALIDLY_WITHIN_MARKUP_DECLARATION, kStateCurrent);
      case LEX_ENTITY_END:
        continue;
      case EAL_DSC:
        if (want_value) syntax_error(P9_INCORRECT_CHARACTER_IN_MARKUP, kStateEAL);
        settle_pending();
        if (items == 0)
          md_error(P91_ATTRIBUTE_SPECIFICATION_LIST_IN_PROLOG_CANNOT, nullptr, nullptr);
        break;
      case EAL_NAME:
      case EAL_NAME_TOKEN: {
        int n = parse_token(buffer, kNameChar, quantity(kNAMELEN));
        if (want_value) {
          value_read(buffer, n, false);
        } else {
          settle_pending();
          pending.assign(reinterpret_cast<const char*>(buffer), static_cast<size_t>(n));
          ++items;
        }
        break;
      }
      case EAL_LIT:
      case EAL_LITA: {
        const bool cdata = !want_value || value_for == 0 ||
                           l.entries[static_cast<size_t>(value_for)].declared == DV_CDATA;
        int n = parse_literal(buffer, cdata ? &pcb_litr : &pcb_litt, litlen,
                              code == EAL_LIT ? '"' : '\'');
        if (want_value) {
          value_read(buffer, n, true);
        } else {
          // A literal needs its attribute's name.
          settle_pending();
          ++items;
          if (defined)
            md_error(P74_NAME_TOKEN_IGNORED, reinterpret_cast<const char*>(buffer), nullptr);
        }
        break;
      }
      case EAL_VI:  // the only delimiter allowed here
        if (lex_current_char() != '=' || pending.empty() || want_value) {
          syntax_error(P9_INCORRECT_CHARACTER_IN_MARKUP, kStateEAL);
          lex_step_back(1);
          return false;
        } else {
          unsigned char name[512];
          copy_name_token(name, reinterpret_cast<const unsigned char*>(pending.c_str()),
                          kNameChar, 1);
          pending.clear();
          want_value = true;
          value_name = name_chars(name);
          value_for = defined ? attlist_find_name(l.entries.data(), l.entries.size(), name) : 0;
        }
        continue;
      default:
        return false;
    }
    if (code == EAL_DSC) break;
    if (!defined && items > 0 && !told) {
      md_error(P22_POSSIBLE_ATTRIBUTES_TREATED_AS_DATA_BECAUSE, nullptr, nullptr);
      told = true;
    }
  }
  if (!defined || items == 0) return true;
  check_defaults(&l);
  auto* list = static_cast<AttributeList*>(sgml_calloc(sizeof(AttributeList) * l.entries.size()));
  std::memcpy(static_cast<void*>(list), l.entries.data(), sizeof(AttributeList) * l.entries.size());
  *out = list;
  return true;
}
