// Wildcard matching: whole-string patterns with "?", "*", character sets and
// "\" escapes; case-insensitive matching over lists; and the prefix-and-run
// match used to strip a known suffix from a name.
//
// Every pattern element other than "*" matches exactly one character, so the
// match keeps only the last "*" to fall back to: letting that "*" take one
// more character is the only retry that can succeed. This gives the same
// result as trying "*" at every length, in time proportional to
// pattern length x text length.
#include <cctype>
#include <cstring>

#include "util/util.h"

namespace {

// Reads one member character of a set at p: "\-" stands for "-".
unsigned char set_char(const char*& p) {
  if (p[0] == '\\' && p[1] == '-') {
    p += 2;
    return '-';
  }
  return static_cast<unsigned char>(*p++);
}

// p is just after "[". Sets *end after the closing "]" and returns whether c
// is in the set; a set without its "]" matches nothing.
bool set_matches(const char* p, unsigned char c, const char** end) {
  bool found = false;
  while (*p && *p != ']') {
    const unsigned char lo = set_char(p);
    unsigned char hi = lo;
    if (p[0] == '-' && p[1] != ']' && p[1] != '\0') {
      ++p;
      hi = set_char(p);
    }
    if (lo <= c && c <= hi) found = true;
  }
  if (*p != ']') {
    *end = p;
    return false;
  }
  *end = p + 1;
  return found;
}

// Whether the pattern element at p (not "*") matches the text character c
// (not NUL); *next is the following element.
bool element_matches(const char* p, char c, const char** next) {
  const unsigned char uc = static_cast<unsigned char>(c);
  switch (*p) {
    case '?':
      *next = p + 1;
      return true;
    case '[':
      return set_matches(p + 1, uc, next);
    case '\\':
      if (p[1] != '\0') {
        *next = p + 2;
        return p[1] == c;
      }
      *next = p + 1;
      return c == '\\';
    default:
      *next = p + 1;
      return *p == c;
  }
}

std::string upper_copy(const char* s) {
  std::string u = s ? s : "";
  for (char& c : u) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return u;
}

}  // namespace

int wild_match(const char* pattern, const char* text) {
  if (!pattern || !text) return 0;
  const char* p = pattern;
  const char* t = text;
  const char* star_p = nullptr;  // pattern after the last "*" seen
  const char* star_t = nullptr;  // text where that "*" run ends now
  for (;;) {
    if (*p == '*') {
      while (*p == '*') ++p;
      star_p = p;
      star_t = t;
      continue;
    }
    const char* next;
    if (*t == '\0') return *p == '\0';
    if (*p != '\0' && element_matches(p, *t, &next)) {
      p = next;
      ++t;
      continue;
    }
    if (!star_p) return 0;
    p = star_p;
    t = ++star_t;
  }
}

int wild_match_list_ci(const char* pattern, int n, const char* const* strings, int* index) {
  const std::string up = upper_copy(pattern);
  for (int i = 0; i < n; ++i) {
    if (wild_match(up.c_str(), upper_copy(strings[i]).c_str())) {
      if (index) *index = i;
      return 1;
    }
  }
  return 0;
}

int wild_match_list_all_ci(const char* pattern, int n, const char* const* strings, int max,
                           int* count, int* indexes) {
  const std::string up = upper_copy(pattern);
  int found = 0;
  for (int i = 0; i < n && found < max; ++i)
    if (wild_match(up.c_str(), upper_copy(strings[i]).c_str())) indexes[found++] = i;
  if (count) *count = found;
  return found > 0;
}

int wild_match_prefix(const char* pattern, const char* text, std::string& out) {
  out.clear();
  if (!pattern || !text) return 0;
  const char* star = strchr(pattern, '*');
  if (!star) return 0;
  const size_t k = static_cast<size_t>(star - pattern);
  if (strncmp(pattern, text, k) != 0) return 0;
  const char* run = text + k;
  const char* suffix = star + 1;
  const size_t run_max = strlen(run);
  // The shortest run of one character or more after which the rest of the
  // text is a prefix of the suffix; the whole rest of the text always is.
  for (size_t len = 1; len <= run_max; ++len) {
    const char* rest = run + len;
    const size_t rest_len = run_max - len;
    if (rest_len <= strlen(suffix) && strncmp(rest, suffix, rest_len) == 0) {
      out.assign(run, len);
      return 1;
    }
  }
  // No run at all (nothing after the prefix): out stays empty.
  return 1;
}
