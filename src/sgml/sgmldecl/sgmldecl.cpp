// The SGML declaration: its sections in order, the SHORTTAG NO change of
// the content tables, the buffers sized again and the closing delimiter.
#include <string>

#include "sgml/lex/lex.h"
#include "sgml/messages/message.h"
#include "sgml/entities/settings.h"
#include "sgml/sgmldecl/sgmldecl.h"
#include "sgml/sgmldecl/sgmldecl_internal.h"

namespace {

constexpr const char* kVersion = "ISO 8879:1986";

bool version() {
  if (sd_read(&pcb_litv).kind != kSdLiteral) {
    md_error(123, nullptr, nullptr);
    return false;
  }
  std::string text = sd_param.text;
  sd_repair_iso(&text);
  if (text != kVersion) md_error(168, text.c_str(), kVersion);
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
      md_error(175, decl_number_text(c), nullptr);
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
      md_error(123, nullptr, nullptr);
      return false;
    }
    std::string identifier = sd_param.text;
    sd_repair_iso(&identifier);
    const auto* limits =
        static_cast<const int32_t*>(public_table_lookup(PublicCapacitySets, identifier.c_str()));
    if (limits == nullptr)
      md_error(178, identifier.c_str(), nullptr);
    else
      for (int i = 0; i < kCapacityCount; ++i) s.capacities[i].limit = limits[i];
    sd_read(nullptr);
    return true;
  }
  if (sd_param.text != "SGMLREF") {
    md_error(186, sd_param.text.c_str(), nullptr);
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
    md_error(179, nullptr, nullptr);
    return false;
  }
  return true;
}

bool scope() {
  if (!sd_check("SCOPE")) return false;
  if (!sd_read_name()) return false;
  if (sd_param.text == "DOCUMENT") return true;
  if (sd_param.text == "INSTANCE") {
    md_error(183, nullptr, nullptr);
    return true;
  }
  md_error(166, sd_param.text.c_str(), nullptr);
  return false;
}

bool syntax_switches() {
  int pairs = 0;
  while (sd_read(nullptr).kind == kSdNumber) {
    if (sd_param.number > 255) md_error(181, nullptr, nullptr);
    int64_t second;
    if (!sd_read_number(&second)) return false;
    if (second > 255) md_error(181, nullptr, nullptr);
    ++pairs;
  }
  if (pairs == 0) {
    md_error(167, nullptr, nullptr);
    return false;
  }
  md_error(182, nullptr, nullptr);
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
    md_error(180, identifier.c_str(), nullptr);
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
    md_error(185, sd_param.text.c_str(), nullptr);
    return false;
  }
  *value = 1;
  if (f.form == 1) return true;
  if (!sd_read_number(value)) return false;
  if (*value == 0) md_error(184, f.name, nullptr);
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
      md_error(187, f.name, nullptr);
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
    md_error(118, sd_param.text.c_str(), "NONE");
    return false;
  }
  md_error(170, "NONE", nullptr);
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
    if (sd_input_ended()) sgml_fatal(161, kStateCurrent);
    return s.appinfo_literal ? 1 : 0;
  }
  if (sd_read(nullptr).kind != kSdMdc) md_error(126, nullptr, nullptr);
  return s.appinfo_literal ? 1 : 0;
}
