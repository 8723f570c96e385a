// The explicit concrete syntax of the SGML declaration: shunned
// characters, syntax-reference character set, function characters,
// naming rules, delimiters, reserved names and quantities.
#include <cctype>
#include <cstring>
#include <vector>

#include "sgml/lex/chclass.h"
#include "sgml/lex/lex.h"
#include "sgml/messages/message.h"
#include "sgml/entities/settings.h"
#include "sgml/parser_state.h"
#include "sgml/sgmldecl/sgmldecl_internal.h"
#include "sgml/switches.h"

namespace {

bool shunchar() {
  SgmlSettings& s = sgml_settings();
  for (uint8_t& f : s.char_flags) f &= static_cast<uint8_t>(~kCharShunned);
  if (!sd_check("SHUNCHAR")) return false;
  sd_read(nullptr);
  if (sd_is_name("NONE")) {
    sd_read(nullptr);
    return true;
  }
  if (sd_is_name("CONTROLS")) {
    for (int c = 0; c < 256; ++c)
      if (std::iscntrl(c)) s.char_flags[c] |= kCharShunned;
    sd_read(nullptr);
    if (sd_param.kind != kSdNumber) return true;
  }
  if (sd_param.kind != kSdNumber) {
    md_error(P167_PARAMETER_MUST_BE_NUMBER, nullptr, nullptr);
    return false;
  }
  while (sd_param.kind == kSdNumber) {
    if (sd_param.number > 255)
      md_error(P181_CHARACTER_NUMBER_EXCEEDS_255, nullptr, nullptr);
    else
      s.char_flags[sd_param.number] |= kCharShunned;
    sd_read(nullptr);
  }
  return true;
}

// A function character's number, mapped; -1 when it does not map.
bool function_char(int* mapped) {
  int64_t n;
  if (!sd_read_number(&n)) return false;
  *mapped = sd_map_syntax_char(n);
  return true;
}

bool function() {
  if (!sd_check("FUNCTION")) return false;
  bool unsupported = false;
  const struct {
    const char* name;
    int value;
  } fixed[] = {{"RE", 13}, {"RS", 10}, {"SPACE", 32}};
  for (const auto& f : fixed) {
    int mapped;
    if (!sd_expect(f.name) || !function_char(&mapped)) return false;
    if (mapped != f.value) unsupported = true;
  }
  int tabs = 0;
  for (;;) {
    if (!sd_read_name()) return false;
    std::string name = sd_param.text;
    if (name == "RE" || name == "RS" || name == "SPACE")
      md_error(P205_ADDED_FUNCTION_CHARACTER_CANNOT_BE, name.c_str(), nullptr);
    sd_read(nullptr);  // the class name
    if (name == "NAMING" && sd_is_name("LCNMSTRT")) break;
    int mapped;
    if (!function_char(&mapped)) return false;
    if (name == "TAB" && tabs > 0) {
      md_error(P204_DUPLICATION_SPECIFICATION_FOR_ADDED_FUNTION, name.c_str(), nullptr);
    } else if (name == "TAB" && mapped == 9) {
      ++tabs;
    } else {
      unsupported = true;
    }
  }
  if (tabs == 0) unsupported = true;
  if (unsupported)
    md_error(P206_ONLY_REFERENCE_CONCRETE_SYNTAX_FUNCTION_CHARACTERS, nullptr, nullptr);
  return true;
}

// A NAMING literal as system characters; false (after the messages) when
// one of its characters cannot be an added name character.
bool naming_literal(std::vector<int>* out) {
  if (sd_read(&pcb_litp).kind != kSdLiteral) {
    md_error(P123_PARAMETER_MUST_BE_LITERAL, nullptr, nullptr);
    return false;
  }
  const SwitchRecord& sw = sgml_switches();
  const SgmlSettings& s = sgml_settings();
  const std::string text = sd_param.text;
  bool good = true;
  for (size_t i = 0; i < text.size(); ++i) {
    int c = static_cast<unsigned char>(text[i]);
    // An escape pair stands for the character it escapes.
    if (c == sw.escape && i + 1 < text.size())
      c = (static_cast<unsigned char>(text[++i]) - sw.escape_offset) & 0xFF;
    int m = sd_map_syntax_char(c);
    if (m < 0) {
      good = false;
      continue;
    }
    if ((s.char_flags[m] & (kCharSignificant | kCharSpecial)) && m != '.' && m != '-') {
      uint8_t cls = NameClass[m];
      bool name_class = cls == kNameChar || cls == kNameStart || cls == kNameDigit;
      md_error(name_class ? P222_CHARACTER_NUMBER_CANNOT_BE_ADDITIONAL_NAME
                          : P169_CHARACTER_NUMBER_IS_NOT_SUPPORTED_AS,
               decl_number_text(m), nullptr);
      good = false;
      continue;
    }
    out->push_back(m);
  }
  return good;
}

bool yes_no(const char* keyword, uint8_t* value) {
  if (!sd_expect(keyword)) return false;
  if (!sd_read_name()) return false;
  if (sd_param.text != "YES" && sd_param.text != "NO") {
    md_error(P185_INVALID_MUST_BE_YES_OR_NO, sd_param.text.c_str(), nullptr);
    return false;
  }
  *value = sd_param.text == "YES";
  return true;
}

bool naming() {
  static const char* const kKeywords[4] = {"LCNMSTRT", "UCNMSTRT", "LCNMCHAR", "UCNMCHAR"};
  std::vector<int> chars[4];
  bool good = true;
  naming_copies.built = false;
  for (int k = 0; k < 4; ++k) {
    if (!(k == 0 ? sd_check(kKeywords[k]) : sd_expect(kKeywords[k]))) return false;
    bool literal_good = naming_literal(&chars[k]);
    if (sd_param.kind != kSdLiteral) return false;
    good = good && literal_good;
  }
  if (good && chars[1].size() != chars[0].size()) {
    md_error(P219_UCNMSTRT_MUST_HAVE_SAME_NUMBER_OF, nullptr, nullptr);
    good = false;
  }
  if (good && chars[3].size() != chars[2].size()) {
    md_error(P220_UCNMCHAR_MUST_HAVE_SAME_NUMBER_OF, nullptr, nullptr);
    good = false;
  }
  if (good) {
    NamingCopies& n = naming_copies;
    std::memcpy(n.classes, NameClass, sizeof n.classes);
    std::memcpy(n.namecase, NameCase, sizeof n.namecase);
    n.classes['-'] = n.classes['.'] = kNameOther;
    for (size_t i = 0; i < chars[0].size(); ++i) {
      int lc = chars[0][i], uc = chars[1][i];
      n.classes[lc] = n.classes[uc] = kNameStart;
      n.namecase[lc] = static_cast<uint8_t>(uc);
    }
    for (size_t i = 0; i < chars[2].size(); ++i) {
      int lc = chars[2][i], uc = chars[3][i];
      if (n.classes[lc] == kNameStart || n.classes[uc] == kNameStart) {
        md_error(P221_CHARACTER_NUMBER_ASSIGNED_TO_BOTH_LCNMSTRT, decl_number_text(lc), nullptr);
        good = false;
        continue;
      }
      n.classes[lc] = n.classes[uc] = kNameChar;
      n.namecase[lc] = static_cast<uint8_t>(uc);
    }
    if (n.classes['-'] != kNameChar) {
      md_error(P223_IT_IS_UNSUPPORTED_FOR_NOT_TO, nullptr, nullptr);
      good = false;
    }
    n.built = good;
  }
  if (!sd_expect("NAMECASE")) return false;
  SgmlSettings& s = sgml_settings();
  return yes_no("GENERAL", &s.namecase_general) && yes_no("ENTITY", &s.namecase_entity);
}

bool delim() {
  if (!sd_expect("DELIM") || !sd_expect("GENERAL") || !sd_expect("SGMLREF")) return false;
  sd_read(nullptr);
  for (;;) {
    if (!sd_need_name()) return false;
    if (sd_param.text == "SHORTREF") break;
    if (sd_read(&pcb_litp).kind != kSdLiteral) {
      md_error(P123_PARAMETER_MUST_BE_LITERAL, nullptr, nullptr);
      return false;
    }
    md_error(P207_ONLY_REFERENCE_CONCRETE_SYNTAX_GENERAL_DELIMITERS, nullptr, nullptr);
    sd_read(nullptr);
  }
  if (!sd_read_name()) return false;
  if (sd_param.text == "SGMLREF" || sd_param.text == "NONE") {
    sgml_settings().shortref_sgmlref = sd_param.text == "SGMLREF";
  } else {
    md_error(P118_KEYWORD_INVALID_ONLY_PERMITTED, sd_param.text.c_str(), "SGMLREF");
    return false;
  }
  while (sd_read(&pcb_litp).kind == kSdLiteral)
    md_error(P208_ONLY_REFERENCE_CONCRETE_SYNTAX_SHORT_REFERENCE, nullptr, nullptr);
  return true;
}

int reference_name_index(const std::string& name) {
  for (int i = 0; i < kReservedNameCount; ++i)
    if (name == ReservedNames[i]) return i;
  return -1;
}

bool names() {
  if (!sd_check("NAMES") || !sd_expect("SGMLREF")) return false;
  std::vector<std::string> given(kReservedNameCount);
  sd_read(nullptr);
  for (;;) {
    if (!sd_need_name()) return false;
    if (sd_param.text == "QUANTITY") break;
    int index = reference_name_index(sd_param.text);
    if (index < 0) md_error(P209_UNRECOGNIZED_KEYWORD, sd_param.text.c_str(), nullptr);
    if (!sd_read_name()) return false;
    const std::string& replacement = sd_param.text;
    bool duplicate = false;
    for (const std::string& g : given) duplicate = duplicate || g == replacement;
    if (reference_name_index(replacement) >= 0)
      md_error(P212_REPLACEMENT_RESERVED_NAME_CANNOT_BE_REFERENCE, replacement.c_str(), nullptr);
    else if (duplicate)
      md_error(P213_DUPLICATE_REPLACEMENT_RESERVED_NAME, replacement.c_str(), nullptr);
    else if (index >= 0)
      given[index] = replacement;
    sd_read(nullptr);
  }
  SgmlSettings& s = sgml_settings();
  for (int i = 0; i < kReservedNameCount; ++i) {
    if (given[i].empty()) continue;
    if (s.replaced_names.empty()) s.replaced_names.assign(kReservedNameCount, std::string());
    s.replaced_names[i] = ReservedNames[i];
    s.reserved_names[i] = given[i];
  }
  return true;
}

bool quantity_section() {
  if (!sd_check("QUANTITY") || !sd_expect("SGMLREF")) return false;
  SgmlSettings& s = sgml_settings();
  int32_t given[kQuantityCount] = {};
  sd_read(nullptr);
  for (;;) {
    if (!sd_need_name()) return false;
    if (sd_param.text == "FEATURES") break;
    int q = 0;
    while (q < kQuantityCount && sd_param.text != s.quantities[q].name) ++q;
    if (q == kQuantityCount) {
      md_error(P210_UNRECOGNIZED_QUANTITY_NAME, sd_param.text.c_str(), nullptr);
      return false;
    }
    int64_t v;
    if (!sd_read_number(&v)) return false;
    const QuantityEntry& e = s.quantities[q];
    if (v == e.value) {
      // The value in effect is taken as it is, even above the largest a
      // declaration may give (the raised DTAGLEN and DTEMPLEN), so that a
      // written declaration reads back without messages.
      given[q] = e.value;
    } else if (v < e.value) {
      md_error(P214_QUANTITY_MUST_NOT_BE_LESS_THAN, e.name, decl_number_text(e.value));
    } else if (v > e.largest) {
      md_error(P215_ONLY_VALUES_UP_TO_ARE_SUPPORTED, decl_number_text(e.largest), e.name);
      given[q] = e.largest;
    } else {
      given[q] = static_cast<int32_t>(v);
    }
    sd_read(nullptr);
  }
  for (int q = 0; q < kQuantityCount; ++q) {
    if (given[q] <= 0) continue;
    s.quantities[q].value = given[q];
    if (s.quantity_set.empty()) s.quantity_set.assign(kQuantityCount, 0);
    s.quantity_set[q] = 1;
  }
  return true;
}

}  // namespace

bool sd_explicit_syntax() {
  return shunchar() && sd_charset_description(syntax_reference_set) && function() && naming() &&
         delim() && names() && quantity_section();
}
