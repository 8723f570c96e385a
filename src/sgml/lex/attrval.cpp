// The attribute value tokenizer: splits a value into counted tokens by its
// declared value, walking the VAL rows over the name class table.
#include <cstring>

#include "sgml/entities/attlist.h"
#include "sgml/lex/chclass.h"
#include "sgml/lex/lex.h"
#include "sgml/entities/settings.h"
#include "sgml/messages/message.h"
#include "sgml/parser_state.h"

namespace {

// Declared values that take a single token.
bool single_token(int declared) { return declared >= DV_NOTATION && declared <= DV_NUTOKEN; }

// Whether a token fits the declared value: names must start with a name
// start character, numbers are all digits, number tokens start with one.
bool token_kind_ok(int declared, const unsigned char* t, int n) {
  switch (declared) {
    case DV_NOTATION: case DV_ENTITY: case DV_ID: case DV_IDREF: case DV_NAME:
    case DV_ENTITIES: case DV_IDREFS: case DV_NAMES:
      return NameClass[t[0]] == kNameStart;
    case DV_NUMBER: case DV_NUMBERS:
      for (int i = 0; i < n; ++i)
        if (NameClass[t[i]] != kNameDigit) return false;
      return true;
    case DV_NUTOKEN: case DV_NUTOKENS:
      return NameClass[t[0]] == kNameDigit;
    default:
      return true;
  }
}

}  // namespace

AttrValueTokens parse_attr_value(const unsigned char* value, int length, int declared_value,
                                 unsigned char* out, int out_size) {
  lex_rows_setup();
  const LexRow* rows = pcb_val.rows;
  const int namelen = quantity(kNAMELEN);
  // Entity names (ENTITY, ENTITIES) follow the entity name case, every
  // other token the general name case.
  const SgmlSettings& settings = sgml_settings();
  const bool entity_names = declared_value == DV_ENTITY || declared_value == DV_ENTITIES;
  const uint8_t* map =
      (entity_names ? settings.namecase_entity : settings.namecase_general) ? NameCase : nullptr;
  AttrValueTokens result;
  int count = 0, used = 0;
  int state = 0, start = 0;
  for (int i = 0; i <= length; ++i) {
    // The end of the value acts as a blank that ends the last token.
    int cls = i < length ? static_cast<int>(NameClass[value[i]]) : static_cast<int>(kNameSeparator);
    int action = rows[2 * state + 1][cls];
    state = rows[2 * state][cls];
    if (action == VAL_TOKEN_START) {
      start = i;
    } else if (action == VAL_INVALID) {
      result.problem = P14_ATTRIBUTE_VALUE_DEFAULTED_INVALID_CHARACTER;
      return result;
    } else if (action == VAL_TOKEN_END) {
      int n = i - start;
      if (n > namelen) {
        result.problem = P15_ATTRIBUTE_VALUE_DEFAULTED_TOKEN_TOO_LONG;
        return result;
      }
      if (++count > 1 && single_token(declared_value))
        result.problem = P16_ATTRIBUTE_VALUE_DEFAULTED_TOO_MANY_TOKENS;
      if (!token_kind_ok(declared_value, value + start, n) && !result.problem)
        result.problem = P17_ATTRIBUTE_VALUE_DEFAULTED_WRONG_TOKEN_TYPE;
      if (used + n + 2 <= out_size) {
        out[used] = static_cast<unsigned char>(n + 2);
        for (int k = 0; k < n; ++k) out[used + 1 + k] = map ? map[value[start + k]] : value[start + k];
        out[used + 1 + n] = 0;
        used += n + 2;
      }
    }
  }
  result.tokens = count;
  if (count == 0) result.problem = P25_ATTRIBUTE_DEFAULTED_EMPTY_STRING_NOT_ALLOWED_FOR_TOKEN;
  return result;
}
