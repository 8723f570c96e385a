// Splitting lines into fields in place: split_fields (quoted stretches lose
// their quotes), split_fields_q (quoted stretches are kept whole),
// split_at_char, and the copying tokenizer next_token.
#include <cstring>

#include "util/util.h"

namespace {

// True when c is a character of set (NUL never is; a null set is empty).
bool in_set(const char* set, char c) { return c != '\0' && set && strchr(set, c) != nullptr; }

// Characters that next_token and split_at_char skip before a token.
const char kTokenDelimiters[] = " \t\n,/=";

// Where a field ended.
enum FieldEnd { kNextField, kLineEnd };

// Shifts the quoted stretch opened at *quote left by one over the opening
// quote. Closed: the field ends after the quoted text, the closing quote
// becomes a blank, and *p moves to where scanning for the next field resumes
// (the blank when it is a separator, else the next separator). Not closed:
// the field runs to the end or terminator, which ends the line.
FieldEnd shift_quoted_stretch(char*& p, const char* separators, const char* terminators) {
  const char quote = *p;
  char* dst = p;
  char* src = p + 1;
  while (*src && *src != quote && !in_set(terminators, *src)) *dst++ = *src++;
  *dst = '\0';
  if (*src != quote) {
    *src = '\0';
    return kLineEnd;
  }
  *src = ' ';
  p = src;
  if (!in_set(separators, ' ')) {
    ++p;
    while (*p && !in_set(separators, *p) && !in_set(terminators, *p)) ++p;
  }
  return kNextField;
}

// Scans one field starting at p (a non-separator, non-terminator); leaves p
// where the next field may start.
FieldEnd scan_field(char*& p, const char* separators, const char* quotes,
                    const char* terminators, bool keep_quotes) {
  for (;;) {
    const char c = *p;
    if (c == '\0') return kLineEnd;
    if (in_set(terminators, c)) {
      *p = '\0';
      return kLineEnd;
    }
    if (in_set(separators, c)) {
      *p++ = '\0';
      return kNextField;
    }
    if (in_set(quotes, c)) {
      if (!keep_quotes) return shift_quoted_stretch(p, separators, terminators);
      // Pass over the stretch whole; the field goes on after it.
      ++p;
      while (*p && *p != c && !in_set(terminators, *p)) ++p;
      if (*p == c) ++p;
      continue;
    }
    ++p;
  }
}

int split_line(char* line, const char* separators, const char* quotes, const char* terminators,
               std::vector<char*>& fields, bool keep_quotes) {
  if (!line) return static_cast<int>(fields.size());
  char* p = line;
  bool after_field = false;
  for (;;) {
    while (in_set(separators, *p)) {
      if (after_field) *p = '\0';
      ++p;
    }
    if (*p == '\0') break;
    if (in_set(terminators, *p)) {
      *p = '\0';
      break;
    }
    fields.push_back(p);
    after_field = true;
    if (scan_field(p, separators, quotes, terminators, keep_quotes) == kLineEnd) break;
  }
  return static_cast<int>(fields.size());
}

}  // namespace

int split_fields(char* line, const char* separators, const char* quotes,
                 const char* terminators, std::vector<char*>& fields) {
  return split_line(line, separators, quotes, terminators, fields, false);
}

int split_fields_q(char* line, const char* separators, const char* quotes,
                   const char* terminators, std::vector<char*>& fields) {
  return split_line(line, separators, quotes, terminators, fields, true);
}

const char* next_token(const char* s, std::string& out) {
  out.clear();
  if (!s) return s;
  while (in_set(kTokenDelimiters, *s)) ++s;
  const char* start = s;
  while (*s && !in_set(kTokenDelimiters, *s)) ++s;
  out.assign(start, static_cast<size_t>(s - start));
  return s;
}

int split_at_char(char* s, char c, std::vector<char*>& fields) {
  if (!s) return static_cast<int>(fields.size());
  while (in_set(kTokenDelimiters, *s) || (c != '\0' && *s == c)) ++s;
  while (*s) {
    fields.push_back(s);
    while (*s && *s != c) ++s;
    while (c != '\0' && *s == c) *s++ = '\0';
  }
  return static_cast<int>(fields.size());
}
