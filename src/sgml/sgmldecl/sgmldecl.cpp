// The SGML declaration: its sections in order, the SHORTTAG NO change of
// the content tables, the buffers sized again and the closing delimiter.
#include <string>

#include "sgml/lex/lex.h"
#include "sgml/messages/message.h"
#include "sgml/entities/settings.h"
#include "sgml/parser_state.h"
#include "sgml/sgmldecl/sgmldecl.h"
#include "sgml/sgmldecl/sgmldecl_internal.h"

namespace {

constexpr const char* kVersion = "ISO 8879:1986";

bool version() {
  if (sd_read(&pcb_litv).kind != kSdLiteral) {
    md_error(P123_PARAMETER_MUST_BE_LITERAL, nullptr, nullptr);
    return false;
  }
  std::string text = sd_param.text;
  sd_repair_iso(&text);
  if (text != kVersion) md_error(P168_SHOULD_HAVE_BEEN, text.c_str(), kVersion);
  return true;
}

bool charset() {
  if (!sd_expect("CHARSET")) return false;
  sd_read(nullptr);
  int32_t table[256];
  if (!sd_charset_description(table)) return false;
  bool upper = false;
  for (int c = 128; c < 256; ++c) upper = upper || table[c] != kDescNone;
  if (!upper)
    for (int c = 128; c < 256; ++c) table[c] = kDescUnused;
  SgmlSettings& s = sgml_settings();
  for (int c = 0; c < 256; ++c) {
    if (table[c] == kDescNone) {
      md_error(P175_CHARACTER_NUMBER_WAS_NOT_DESCRIBED, decl_number_text(c), nullptr);
      s.char_flags[c] |= kCharNonSgml;
    } else if (table[c] == kDescUnused) {
      s.char_flags[c] |= kCharNonSgml;
    }
  }
  s.charset_declared = true;
  return true;
}

bool capacity() {
  if (!sd_check("CAPACITY")) return false;
  if (!sd_read_name()) return false;
  SgmlSettings& s = sgml_settings();
  if (sd_param.text == "PUBLIC") {
    if (sd_read(&pcb_litv).kind != kSdLiteral) {
      md_error(P123_PARAMETER_MUST_BE_LITERAL, nullptr, nullptr);
      return false;
    }
    std::string identifier = sd_param.text;
    sd_repair_iso(&identifier);
    const auto* limits =
        static_cast<const int32_t*>(public_table_lookup(PublicCapacitySets, identifier.c_str()));
    if (limits == nullptr)
      md_error(P178_UNKNOWN_CAPACITY_SET, identifier.c_str(), nullptr);
    else
      for (int i = 0; i < kCapacityCount; ++i) s.capacities[i].limit = limits[i];
    sd_read(nullptr);
    return true;
  }
  if (sd_param.text != "SGMLREF") {
    md_error(P186_INVALID_MUST_BE_PUBLIC_OR_SGMLREF, sd_param.text.c_str(), nullptr);
    return false;
  }
  for (CapacityEntry& c : s.capacities) c.limit = kCapacityReference;
  int pairs = 0;
  for (sd_read(nullptr); sd_param.kind == kSdName; ++pairs) {
    int i = 0;
    while (i < kCapacityCount && sd_param.text != CapacityNames[i]) ++i;
    if (i == kCapacityCount) break;
    int64_t limit;
    if (!sd_read_number(&limit)) return false;
    s.capacities[i].limit = static_cast<int32_t>(limit);
    sd_read(nullptr);
  }
  if (pairs == 0) {
    md_error(P179_NO_CAPACITIES_SPECIFIED, nullptr, nullptr);
    return false;
  }
  return true;
}

bool scope() {
  if (!sd_check("SCOPE")) return false;
  if (!sd_read_name()) return false;
  if (sd_param.text == "DOCUMENT") return true;
  if (sd_param.text == "INSTANCE") {
    md_error(P183_INSTANCE_SCOPE_NOT_SUPPORTED, nullptr, nullptr);
    return true;
  }
  md_error(P166_INVALID_CONCRETE_SYNTAX_SCOPE, sd_param.text.c_str(), nullptr);
  return false;
}

bool syntax_switches() {
  int pairs = 0;
  while (sd_read(nullptr).kind == kSdNumber) {
    if (sd_param.number > 255) md_error(P181_CHARACTER_NUMBER_EXCEEDS_255, nullptr, nullptr);
    int64_t second;
    if (!sd_read_number(&second)) return false;
    if (second > 255) md_error(P181_CHARACTER_NUMBER_EXCEEDS_255, nullptr, nullptr);
    ++pairs;
  }
  if (pairs == 0) {
    md_error(P167_PARAMETER_MUST_BE_NUMBER, nullptr, nullptr);
    return false;
  }
  md_error(P182_CONCRETE_SYNTAX_SWITCHES_NOT_SUPPORTED, nullptr, nullptr);
  return true;
}

bool syntax() {
  if (!sd_expect("SYNTAX")) return false;
  if (!sd_read_name()) return false;
  if (sd_param.text != "PUBLIC") return sd_explicit_syntax();
  if (sd_read(&pcb_litv).kind != kSdLiteral) return false;
  std::string identifier = sd_param.text;
  sd_repair_iso(&identifier);
  SgmlSettings& s = sgml_settings();
  if (identifier == "ISO 8879:1986//SYNTAX Core//EN")
    s.shortref_sgmlref = 0;
  else if (identifier == "ISO 8879:1986//SYNTAX Reference//EN")
    s.shortref_sgmlref = 1;
  else
    md_error(P180_UNKNOWN_CONCRETE_SYNTAX, identifier.c_str(), nullptr);
  sd_read(nullptr);
  if (!sd_is_name("SWITCHES")) return true;
  return syntax_switches();
}

// FEATURES keywords: 0 no value, 1 YES or NO, 2 NO or YES and a number.
struct Feature {
  const char* name;
  int form;
};
constexpr Feature kFeatures[13] = {
    {"MINIMIZE", 0}, {"DATATAG", 1},  {"OMITTAG", 1},  {"RANK", 1},   {"SHORTTAG", 1},
    {"LINK", 0},     {"SIMPLE", 2},   {"IMPLICIT", 1}, {"EXPLICIT", 2}, {"OTHER", 0},
    {"CONCUR", 2},   {"SUBDOC", 2},   {"FORMAL", 1}};

bool feature_value(const Feature& f, int64_t* value) {
  if (!sd_read_name()) return false;
  if (sd_param.text == "NO") {
    *value = 0;
    return true;
  }
  if (sd_param.text != "YES") {
    md_error(P185_INVALID_MUST_BE_YES_OR_NO, sd_param.text.c_str(), nullptr);
    return false;
  }
  *value = 1;
  if (f.form == 1) return true;
  if (!sd_read_number(value)) return false;
  if (*value == 0) md_error(P184_VALUE_OF_FEATURE_MUST_BE_ONE, f.name, nullptr);
  return true;
}

bool features() {
  if (!sd_check("FEATURES")) return false;
  SgmlSettings& s = sgml_settings();
  for (const Feature& f : kFeatures) {
    if (!sd_expect(f.name)) return false;
    if (f.form == 0) continue;
    int64_t value;
    if (!feature_value(f, &value)) return false;
    std::string name = f.name;
    if (name == "OMITTAG")
      s.omittag = static_cast<uint8_t>(value);
    else if (name == "SHORTTAG")
      s.shorttag = static_cast<uint8_t>(value);
    else if (name == "FORMAL")
      s.formal = static_cast<uint8_t>(value);
    else if (name == "SUBDOC")
      s.subdoc = static_cast<int32_t>(value);
    else if (value > 0)
      md_error(P187_FEATURE_IS_NOT_SUPPORTED, f.name, nullptr);
  }
  if (!s.shorttag) lex_shorttag_off();
  return true;
}

bool appinfo() {
  if (!sd_expect("APPINFO")) return false;
  SgmlSettings& s = sgml_settings();
  sd_read(&pcb_litv);
  if (sd_param.kind == kSdLiteral) {
    s.appinfo_literal = true;
    return true;
  }
  if (sd_param.kind == kSdName) {
    if (sd_param.text == "NONE") return true;
    md_error(P118_KEYWORD_INVALID_ONLY_PERMITTED, sd_param.text.c_str(), "NONE");
    return false;
  }
  md_error(P170_PARAMETER_MUST_BE_LITERAL_OR, "NONE", nullptr);
  return false;
}

}  // namespace

int sgml_declaration() {
  DeclarationContext& d = md_context();
  d.keyword = kKwSGML;
  d.has_subject = false;
  d.subject.clear();
  d.parameters = 0;
  SgmlSettings& s = sgml_settings();
  s.appinfo_literal = false;
  naming_copies.built = false;
  bool ok = version() && charset() && capacity() && scope() && syntax() && features() &&
            appinfo();
  if (ok) sd_apply_characters();
  parser_buffers_size();
  if (!ok) {
    if (sd_input_ended())
      sgml_fatal(P161_DOCUMENT_ENDED_INVALIDLY_WITHIN_SGML_DECLARATION, kStateCurrent);
    return s.appinfo_literal ? 1 : 0;
  }
  if (sd_read(nullptr).kind != kSdMdc) md_error(P126_MDC_DELIMITER_EXPECTED, nullptr, nullptr);
  return s.appinfo_literal ? 1 : 0;
}
