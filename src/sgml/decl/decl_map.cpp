// The SHORTREF declaration: a short-reference map, pairs of a literal that
// names a short-reference delimiter and the entity it is mapped to.
#include <cstring>

#include "sgml/lex/chclass.h"
#include "sgml/entities/entity.h"
#include "sgml/messages/message.h"
#include "sgml/decl/prolog.h"
#include "sgml/entities/settings.h"
#include "sgml/messages/trace.h"
#include "sgml/parser_state.h"

// The short-reference delimiters of the reference concrete syntax, 1 to 32
// ("B" stands for a blank sequence), with the names messages show.
const char* const ShortRefDelims[33] = {
    nullptr, "\t", "\r", "\n", "\nB", "\n\r", "\nB\r", "B\r", " ", "BB", "\"", "#",
    "%",     "'",  "(",  ")",  "*",   "+",    ",",      "-",   "--", ":",  ";",  "=",
    "@",     "[",  "]",  "^",  "_",   "{",    "|",      "}",   "~"};
const char* const ShortRefNames[9] = {
    nullptr, "&#TAB;", "&#RE;", "&#RS;", "&#RS;B", "&#RS;&#RE;", "&#RS;B&#RE;", "B&#RE;",
    "&#SPACE;"};

namespace {

constexpr int kDelims = 32;

int delimiter_index(const unsigned char* text, int length) {
  for (int i = 1; i <= kDelims; ++i) {
    const char* d = ShortRefDelims[i];
    if (static_cast<int>(std::strlen(d)) == length && std::memcmp(d, text, length) == 0) return i;
  }
  return 0;
}

// The content class table learns the characters of newly mapped
// delimiters that are not recognised as they are.
void delimiter_class(int index) {
  if ((index >= 12 && index <= 18) || (index >= 21 && index <= 24) ||
      (index >= 27 && index <= 32)) {
    ContentClass[static_cast<unsigned char>(ShortRefDelims[index][0])] = lexclass::content::SRCHAR;
  } else if (index == SR_SPACE) {
    ContentClass[static_cast<unsigned char>(' ')] = lexclass::content::SRSPACE;
  }
}

// Takes a map that its declaration did not define out of the list again.
void map_remove(ShortRefMap* map) {
  for (ShortRefMap** p = &sgml_tables.maps; *p != nullptr; p = &(*p)->next)
    if (*p == map) {
      *p = map->next;
      return;
    }
}

}  // namespace

void decl_shortref() {
  md_begin(kKwSHORTREF);
  if (!sgml_settings().shortref_sgmlref)
    md_error(P198_CONCRETE_SYNTAX_DOES_NOT_HAVE_ANY, nullptr, nullptr);
  unsigned char* buffer = md_buffer();
  int code = md_param(buffer, 1);
  md_trace(code, "1: map nm");
  if (code != MD_NAME) {
    md_error(P120_PARAMETER_MUST_BE_NAME, nullptr, nullptr);
    md_skip(code);
    return;
  }
  md_subject(buffer);
  ShortRefMap* map = srmap_find(buffer);
  if (map != nullptr && map->entities[0] != nullptr) {
    md_error(P56_DUPLICATE_SPECIFICATION_OCCURRED_FOR_DUPLICATE_IGNORED, name_chars(buffer),
             nullptr);
    md_skip(code);
    return;
  }
  unsigned char map_name[512];
  std::memcpy(map_name, buffer, buffer[0]);
  const bool named_before = map != nullptr;
  if (map == nullptr) map = srmap_define(map_name, kDelims + 1);
  int pairs = 0;
  int newly[kDelims + 1] = {};
  for (;;) {
    code = md_param(buffer, 1);
    md_trace(code, "2: SR string");
    if (code != MD_LITERAL) break;
    int index = delimiter_index(buffer, md_state.length);
    if (index == 0) {
      std::string text(reinterpret_cast<const char*>(buffer), md_state.length);
      md_error(P124_NOT_VALID_SHORT_REFERENCE_DELIMITER, text.c_str(), nullptr);
      md_skip(code);
      if (!named_before) map_remove(map);
      return;
    }
    code = md_param(buffer, 2);
    md_trace(code, "3: entity");
    if (code != MD_NAME) {
      md_error(P120_PARAMETER_MUST_BE_NAME, nullptr, nullptr);
      md_skip(code);
      if (!named_before) map_remove(map);
      return;
    }
    EntityRecord* entity = entfind(buffer);
    if (entity == nullptr) entity = entdef(buffer, ENT_PLACEHOLDER, nullptr, 0);
    if (map->entities[index] != nullptr) {
      md_error(P56_DUPLICATE_SPECIFICATION_OCCURRED_FOR_DUPLICATE_IGNORED,
               index <= 8 ? ShortRefNames[index] : ShortRefDelims[index], nullptr);
      continue;
    }
    map->entities[index] = entity;
    newly[index] = 1;
    ++pairs;
  }
  if (pairs == 0) {
    md_error(code == MD_MDC ? P28_ONE_OR_MORE_PARAMETERS_MISSING : P123_PARAMETER_MUST_BE_LITERAL,
             nullptr, nullptr);
    md_skip(code);
    if (!named_before) map_remove(map);  // a map named by USEMAP stays named
    return;
  }
  md_end(code);
  map->entities[0] = reinterpret_cast<EntityRecord*>(map);
  for (int i = 1; i <= kDelims; ++i)
    if (newly[i]) delimiter_class(i);
  sgml_settings().capacities[kMAPCAP].count += 1;
  if (trace_on.ent) srmap_trace("SHORTREF", map, name_chars(map->name));
}

const char* map_trace_name(const ShortRefMap* map) {
  return map == nullptr || map->name == nullptr ? "#EMPTY" : name_chars(map->name);
}

void srmap_trace(const char* label, const ShortRefMap* map, const char* owner) {
  if (map == nullptr || map == empty_map() || map->entities == nullptr) {
    trace_srmap(label, nullptr, nullptr, owner);
    return;
  }
  trace_srmap(label, name_chars(map->name), map, owner);
  for (int i = 1; i < map->count && i <= kDelims; ++i) {
    const EntityRecord* e = map->entities[i];
    if (e != nullptr)
      trace_srmap_entry(i <= 8 ? ShortRefNames[i] : ShortRefDelims[i], static_cast<unsigned>(i), e,
                        name_chars(e->name));
  }
}
