// What every markup declaration reader shares: the prolog's parameter
// buffers, the reserved names in effect, the start and end of a
// declaration and the passing over of a declaration ended by an error.
#include <cctype>
#include <cstring>
#include <vector>

#include "sgml/lex/chclass.h"
#include "sgml/entities/entity.h"
#include "sgml/messages/message.h"
#include "sgml/decl/prolog.h"
#include "sgml/entities/settings.h"
#include "sgml/messages/trace.h"
#include "sgml/parser_state.h"

namespace {

std::vector<unsigned char>& buffer_one() {
  static std::vector<unsigned char> b;
  return b;
}
std::vector<unsigned char>& buffer_two() {
  static std::vector<unsigned char> b;
  return b;
}

// Room for a literal of LITLEN characters whose escape pairs count two,
// and for a name of NAMELEN characters.
size_t wanted_size() {
  size_t lit = static_cast<size_t>(quantity(kLITLEN)) * 2 + 4;
  size_t name = static_cast<size_t>(quantity(kNAMELEN)) + 4;
  return lit > name ? lit : name;
}

unsigned char* sized(std::vector<unsigned char>& b) {
  if (b.size() < wanted_size()) b.assign(wanted_size(), 0);
  return b.data();
}

}  // namespace

unsigned char* md_buffer() { return sized(buffer_one()); }
unsigned char* md_buffer2() { return sized(buffer_two()); }
int md_buffer_size() { return static_cast<int>(wanted_size()) - 2; }

const char* reserved_reference(const unsigned char* counted) {
  const auto& names = sgml_settings().reserved_names;
  const char* text = name_chars(counted);
  for (size_t i = 0; i < names.size() && i < kReservedNameCount; ++i) {
    const std::string& n = names[i];
    if (n.size() != std::strlen(text)) continue;
    bool same = true;
    for (size_t k = 0; k < n.size() && same; ++k)
      same = std::toupper(static_cast<unsigned char>(n[k])) ==
             std::toupper(static_cast<unsigned char>(text[k]));
    if (same) return ReservedNames[i];
  }
  return nullptr;
}

bool keyword_is(const unsigned char* counted, const char* reference) {
  const char* r = reserved_reference(counted);
  return r != nullptr && std::strcmp(r, reference) == 0;
}

void md_begin(int keyword) {
  DeclarationContext& c = md_context();
  c.keyword = keyword;
  c.has_subject = false;
  c.subject.clear();
  c.parameters = 0;
  md_group_stopped = false;
  md_state.level = entity_stack.level;
}

void md_subject(const unsigned char* counted) {
  DeclarationContext& c = md_context();
  c.has_subject = true;
  c.subject = name_chars(counted);
}

int md_param(unsigned char* buffer, int fold) {
  return parse_md_param(buffer, fold, &pcb_litp, md_buffer_size());
}

void md_trace(int code, const char* step) {
  if (!trace_on.dcl) return;
  static const char* const kKeywords[] = {"ATTLIST", "DOCTYPE",  "ELEMENT", "ENTITY",
                                          "LINKTYPE", "LINK",    "NOTATION", "SGML",
                                          "SHORTREF", "USELINK", "USEMAP"};
  const DeclarationContext& d = md_context();
  const char* keyword = d.keyword >= 0 && d.keyword < kDeclKeywordCount ? kKeywords[d.keyword] : "";
  trace_md_param(keyword, d.has_subject ? d.subject.c_str() : nullptr, d.parameters,
                 static_cast<unsigned>(code), step);
}

void md_end(int code) {
  if (code == MD_MDC)
    lex_engine(&pcb_mdc);  // takes the ">"
  else
    md_error(P126_MDC_DELIMITER_EXPECTED, nullptr, nullptr);
  if (entity_stack.level != md_state.level)
    md_error(P37_ENTITY_NESTING_LEVEL_OUT_OF_SYNC, nullptr, nullptr);
}

void md_skip(int code) {
  unsigned char* buffer = md_buffer2();
  for (;;) {
    switch (code) {
      case MD_MDC:
        lex_engine(&pcb_mdc);
        return;
      case MD_INVALID:
        return;
      case MD_GROUP:
        if (!md_skip_group()) return;
        break;
      default:
        break;
    }
    code = parse_md_param(buffer, 0, &pcb_litp, md_buffer_size());
  }
}

void make_counted_name(const char* src, unsigned char* dst, int fold) {
  const auto* s = reinterpret_cast<const unsigned char*>(src);
  const int limit = quantity(kNAMELEN);
  const bool folding = fold && sgml_settings().namecase_general;
  int n = 0;
  // The first character is always taken, the rest while they are name
  // characters; a character that folds to no name class is dropped.
  for (int i = 0; s[i] != 0 && n < limit; ++i) {
    if (i > 0 && NameClass[s[i]] < kNameChar) break;
    unsigned char c = folding ? NameCase[s[i]] : s[i];
    if (folding && NameClass[c] == 0) continue;
    dst[1 + n++] = c;
  }
  dst[0] = static_cast<unsigned char>(n + 2);
  dst[1 + n] = 0;
}
