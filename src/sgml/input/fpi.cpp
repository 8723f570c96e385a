// Formal public identifiers: owner, public text class, availability,
// description, language or designating sequence, display version.
#include <cstring>

#include "sgml/input/extid.h"

const char* const PublicTextClassNames[14] = {
    "",         "CAPACITY", "CHARSET", "NOTATION", "SYNTAX",   "DOCUMENT", "DTD",
    "ELEMENTS", "ENTITIES", "LPD",     "NONSGML",  "SHORTREF", "SUBDOC",   "TEXT"};

const char* fpi_find_separator(const char* text, const char* end, char c, int32_t* length) {
  for (const char* p = text; p < end; ++p) {
    if (*p != c) continue;
    if (c == '/') {
      if (p + 1 >= end || p[1] != '/') continue;
      *length = static_cast<int32_t>(p - text);
      return p + 2;
    }
    *length = static_cast<int32_t>(p - text);
    return p + 1;
  }
  return nullptr;
}

FpiResult parse_fpi(ExternalId* r) {
  if (!r->public_id) return FPI_OWNER_TYPE;
  const char* const base = r->public_id->c_str();
  const char* const end = base + r->public_id->size();
  const char* p = base;
  auto span = [base](const char* start, int32_t length) {
    return TextSpan{length, static_cast<int32_t>(start - base)};
  };

  // Owner type.
  if (*p == '+' || *p == '-') {
    r->owner_type = *p;
    if (end - p < 3 || p[1] != '/' || p[2] != '/') return FPI_OWNER_TYPE;
    p += 3;
    if (p >= end) return FPI_OWNER_TYPE;
  } else {
    r->owner_type = '!';
  }
  // Owner identifier.
  int32_t length = 0;
  const char* next = fpi_find_separator(p, end, '/', &length);
  if (next == nullptr) return FPI_OWNER_END;
  r->owner = span(p, length);
  p = next;
  // Public text class.
  next = fpi_find_separator(p, end, ' ', &length);
  if (next == nullptr) return FPI_CLASS_END;
  r->text_class = 0;
  for (int32_t k = 1; k <= kClassTEXT; ++k) {
    const char* name = PublicTextClassNames[k];
    if (static_cast<size_t>(length) == std::strlen(name) && std::strncmp(p, name, length) == 0) {
      r->text_class = k;
    }
  }
  if (r->text_class == 0) return FPI_UNKNOWN_CLASS;
  p = next;
  // Availability.
  r->availability = '+';
  if (end - p >= 3 && p[0] == '-' && p[1] == '/' && p[2] == '/') {
    r->availability = '-';
    p += 3;
  }
  if (p >= end) return FPI_NO_DESCRIPTION;
  // Description.
  next = fpi_find_separator(p, end, '/', &length);
  if (next == nullptr) return FPI_DESCRIPTION_END;
  r->description = span(p, length);
  p = next;
  // Language, or the designating sequence of a character set.
  next = fpi_find_separator(p, end, '/', &length);
  if (next == nullptr) length = static_cast<int32_t>(end - p);
  r->language = span(p, length);
  if (r->text_class != kClassCHARSET) {
    for (int32_t i = 0; i < length; ++i) {
      if (p[i] < 'A' || p[i] > 'Z') return FPI_LANGUAGE;
    }
  }
  // Display version.
  r->version = TextSpan{};
  r->form = 0;
  if (next != nullptr) {
    if (r->text_class < kClassDOCUMENT) return FPI_EARLY_VERSION;
    p = next;
    int32_t rest = 0;
    if (fpi_find_separator(p, end, '/', &rest) != nullptr) return FPI_AFTER_VERSION;
    r->version = span(p, static_cast<int32_t>(end - p));
  } else if (r->text_class >= kClassDOCUMENT) {
    r->form = 1;
  }
  if (r->kind == kExtNotation && r->text_class != kClassNOTATION) return FPI_NOT_NOTATION;
  return FPI_OK;
}
