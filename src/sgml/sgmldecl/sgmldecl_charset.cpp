// Character set descriptions of the SGML declaration (the document
// character set and the syntax-reference character set) and the mapping
// of syntax-reference character numbers to system characters.
#include "sgml/input/extid.h"
#include "sgml/lex/lex.h"
#include "sgml/messages/message.h"
#include "sgml/entities/settings.h"
#include "sgml/parser_state.h"
#include "sgml/sgmldecl/sgmldecl_internal.h"

namespace {

// The base set named by a public identifier: its map, or null when the
// designating sequence is unknown (the characters are then described as
// kDescUnknownBase).
const int16_t* base_set_map(const std::string& identifier) {
  ExternalId record;
  record.public_id = identifier;
  if (parse_fpi(&record) != FPI_OK) {
    md_error(P189_INVALID_FORMAL_PUBLIC_IDENTIFIER, nullptr, nullptr);
    return nullptr;
  }
  if (record.text_class != kClassCHARSET) {
    md_error(P190_PUBLIC_TEXT_CLASS_SHOULD_HAVE_BEEN, "CHARSET", nullptr);
    return nullptr;
  }
  std::string sequence = identifier.substr(static_cast<size_t>(record.language.offset),
                                           static_cast<size_t>(record.language.length));
  const void* map = public_table_lookup(KnownBaseSets, sequence.c_str());
  if (map == nullptr)
    md_error(P227_UNRECOGNIZED_DESIGNATING_ESCAPE_SEQUENCE, sequence.c_str(), nullptr);
  return static_cast<const int16_t*>(map);
}

// One triple: first, count and the description that follows. Sums are
// taken in 64 bits so that no huge number reaches past the table.
bool describe_range(int32_t table[256], const int16_t* map, bool known) {
  int64_t first = sd_param.number;
  int64_t count;
  if (!sd_read_number(&count)) return false;
  const SdParam& d = sd_read(&pcb_litv);
  int32_t code;
  int64_t base = 0;
  if (d.kind == kSdNumber) {
    code = 0;
    base = d.number;
  } else if (d.kind == kSdLiteral) {
    code = kDescLiteral;
  } else if (d.kind == kSdName && d.text == "UNUSED") {
    code = kDescUnused;
  } else {
    md_error(P171_BAD_CHARACTER_DESCRIPTION_FOR_CHARACTER,
             decl_number_text(static_cast<long>(first)), nullptr);
    return false;
  }
  if (first + count > 256) {
    md_error(P173_CHARACTER_NUMBER_PLUS_NUMBER_OF_CHARACTERS, nullptr, nullptr);
    return true;
  }
  for (int64_t k = first; k < first + count; ++k) {
    if (table[k] != kDescNone) {
      md_error(P172_CHARACTER_NUMBER_IS_DESCRIBED_MORE_THAN, decl_number_text(static_cast<long>(k)),
               nullptr);
      continue;
    }
    if (code < 0) {
      table[k] = code;
    } else if (!known) {
      table[k] = kDescUnknownBase;
    } else {
      int64_t index = base + (k - first);
      if (index >= 256) {
        md_error(P173_CHARACTER_NUMBER_PLUS_NUMBER_OF_CHARACTERS, nullptr, nullptr);
      } else if (map[index] < 0) {
        md_error(P199_CHARACTER_NUMBER_DOES_NOT_EXIST_IN, decl_number_text(static_cast<long>(k)),
                 nullptr);
      } else {
        table[k] = map[index];
      }
    }
  }
  return true;
}

}  // namespace

bool sd_charset_description(int32_t table[256]) {
  for (int c = 0; c < 256; ++c) table[c] = kDescNone;
  int basesets = 0;
  while (sd_param.kind == kSdName) {
    if (sd_param.text != "BASESET") {
      if (basesets > 0) return true;
      md_error(P118_KEYWORD_INVALID_ONLY_PERMITTED, sd_param.text.c_str(), "BASESET");
      return false;
    }
    if (sd_read(&pcb_litv).kind != kSdLiteral) {
      md_error(P123_PARAMETER_MUST_BE_LITERAL, nullptr, nullptr);
      return false;
    }
    ++basesets;
    std::string identifier = sd_param.text;
    sd_repair_iso(&identifier);
    const int16_t* map = base_set_map(identifier);
    if (!sd_expect("DESCSET")) return false;
    if (sd_read(nullptr).kind != kSdNumber) {
      md_error(P167_PARAMETER_MUST_BE_NUMBER, nullptr, nullptr);
      return false;
    }
    while (sd_param.kind == kSdNumber) {
      if (!describe_range(table, map, map != nullptr)) return false;
      sd_read(nullptr);
    }
  }
  if (basesets > 0) return true;
  md_error(P120_PARAMETER_MUST_BE_NAME, nullptr, nullptr);
  return false;
}

int sd_map_syntax_char(int64_t n) {
  if (n >= 256) {
    md_error(P181_CHARACTER_NUMBER_EXCEEDS_255, nullptr, nullptr);
    return -1;
  }
  int32_t v = syntax_reference_set[n];
  if (v >= 0) return v;
  int message = v == kDescUnused    ? P200_CHARACTER_NUMBER_IS_UNUSED_IN_SYNTAX
                : v == kDescLiteral ? P202_CHARACTER_NUMBER_IN_SYNTAX_REFERENCE_CHARACTER
                : v == kDescNone    ? P201_CHARACTER_NUMBER_WAS_NOT_DESCRIBED_IN
                                    : P203_CHARACTER_NUMBER_WAS_DESCRIBED_USING_UNKNOWN;
  md_error(message, decl_number_text(static_cast<long>(n)), nullptr);
  return -1;
}
