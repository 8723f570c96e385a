// Reading the parameters of the SGML declaration through the SD block, and
// the keyword tests of its sections.
#include <cstring>
#include <vector>

#include "sgml/lex/chclass.h"
#include "sgml/entities/entity.h"
#include "sgml/lex/lex.h"
#include "sgml/messages/message.h"
#include "sgml/entities/settings.h"
#include "sgml/parser_state.h"
#include "sgml/sgmldecl/sgmldecl_internal.h"

namespace {

// A literal of the declaration holds at most this many characters.
constexpr int kSdLiteralMax = 240;

int64_t saturated_number(const std::string& digits) {
  int64_t v = 0;
  for (char c : digits) {
    v = v * 10 + (c - '0');
    if (v > INT32_MAX) return INT32_MAX;
  }
  return v;
}

}  // namespace

const SdParam& sd_read(ParseControlBlock* literal_block) {
  SdParam& p = sd_param;
  int code;
  for (;;) {
    code = lex_engine(&pcb_sd);
    if (code == SDC_BAD_DATA) {
      md_error(P164_NON_MARKUP_NON_MINIMUM_DATA_CHARACTER, nullptr, nullptr);
      continue;
    }
    if (code == LEX_ENTITY_END) continue;
    break;
  }
  ++md_context().parameters;
  p.text.clear();
  p.number = 0;
  switch (code) {
    case LEX_END_OF_INPUT:
      sgml_fatal(P161_DOCUMENT_ENDED_INVALIDLY_WITHIN_SGML_DECLARATION, kStateCurrent);
    case SDC_MDC:
      p.kind = kSdMdc;
      break;
    case SDC_LIT:
    case SDC_LITA: {
      if (literal_block == nullptr) {
        md_error(P165_PARAMETER_CANNOT_BE_LITERAL, nullptr, nullptr);
        lex_step_back(1);
        p.kind = kSdInvalid;
        break;
      }
      std::vector<char>& buffer = token_buffer();
      if (buffer.size() < kSdLiteralMax + 1) buffer.resize(kSdLiteralMax + 1);
      literal_end_message = P161_DOCUMENT_ENDED_INVALIDLY_WITHIN_SGML_DECLARATION;
      int n = parse_literal(reinterpret_cast<unsigned char*>(buffer.data()), literal_block,
                            kSdLiteralMax, code == SDC_LIT ? '"' : '\'');
      literal_end_message = P92_DOCUMENT_ENDED_INVALIDLY_WITHIN_LITERAL;
      p.kind = kSdLiteral;
      if (literal_block == &pcb_litv) {
        // A minimum literal: record starts dropped, every run of
        // separators one space, none at either end.
        std::vector<unsigned char> normal(static_cast<size_t>(n) + 1);
        literal_keep_leading = 0;
        literal_normalize(normal.data(), n + 1);
        n = static_cast<int>(std::strlen(reinterpret_cast<const char*>(normal.data())));
        while (n > 0 && (normal[n - 1] == ' ' || normal[n - 1] == '\r' || normal[n - 1] == '\t'))
          --n;
        for (int i = 0; i < n; ++i)
          buffer[i] = static_cast<char>(normal[i] == '\r' || normal[i] == '\t' ? ' ' : normal[i]);
        buffer[n] = '\0';
      }
      p.text.assign(buffer.data(), static_cast<size_t>(n));
      break;
    }
    case SDC_NUMBER: {
      std::vector<unsigned char> digits(static_cast<size_t>(quantity(kNAMELEN)) + 2);
      int n = parse_token(digits.data(), kNameDigit, quantity(kNAMELEN));
      p.kind = kSdNumber;
      p.text.assign(reinterpret_cast<const char*>(digits.data()), static_cast<size_t>(n));
      p.number = saturated_number(p.text);
      break;
    }
    case SDC_NAME: {
      std::vector<unsigned char> name(static_cast<size_t>(quantity(kNAMELEN)) + 3);
      parse_name(name.data(), 0);
      p.kind = kSdName;
      for (int i = 1; i < name[0] - 1; ++i) p.text.push_back(static_cast<char>(NameCase[name[i]]));
      break;
    }
    default:
      p.kind = kSdInvalid;
      break;
  }
  return p;
}

bool sd_is_name(const char* name) { return sd_param.kind == kSdName && sd_param.text == name; }

bool sd_need_name() {
  if (sd_param.kind == kSdName) return true;
  md_error(P120_PARAMETER_MUST_BE_NAME, nullptr, nullptr);
  return false;
}

bool sd_read_name() {
  sd_read(nullptr);
  return sd_need_name();
}

bool sd_check(const char* keyword) {
  if (!sd_need_name()) return false;
  if (sd_param.text != keyword) {
    md_error(P118_KEYWORD_INVALID_ONLY_PERMITTED, sd_param.text.c_str(), keyword);
    return false;
  }
  return true;
}

bool sd_expect(const char* keyword) {
  sd_read(nullptr);
  return sd_check(keyword);
}

bool sd_read_number(int64_t* value) {
  if (sd_read(nullptr).kind != kSdNumber) {
    md_error(P167_PARAMETER_MUST_BE_NUMBER, nullptr, nullptr);
    return false;
  }
  *value = sd_param.number;
  return true;
}

void sd_repair_iso(std::string* text) {
  if (text->compare(0, 13, "ISO 8879-1986") == 0) {
    md_error(P163_AMENDMENT_1_REQUIRES_ISO_8879, nullptr, nullptr);
    (*text)[8] = ':';
  }
}

bool sd_input_ended() {
  const EntityEntry* e = entity_top;
  if (e == nullptr) return true;
  if (entity_stack.level != 0) return false;
  // The document entity ends with the entity-end character after its
  // text; separators before it are passed over.
  const unsigned char* p = e->ptr + 1;
  while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') ++p;
  return *p == kEntityEndChar;
}
