// String and character-set helpers and the unchecked allocators. Every ctype
// call takes the byte as unsigned char.
#include <cctype>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "util/util.h"

namespace {

bool in_set(const char* set, char c) { return c != '\0' && set && strchr(set, c) != nullptr; }

unsigned char lower_byte(char c) {
  return static_cast<unsigned char>(tolower(static_cast<unsigned char>(c)));
}

}  // namespace

void* xmalloc(size_t n) {
  void* p = malloc(n);
  if (!p) abort();
  return p;
}

void* xcalloc(size_t n, size_t size) {
  void* p = calloc(n, size);
  if (!p) abort();
  return p;
}

int xfree(void* p) {
  free(p);
  return 1;
}

int str_replace_char(char* s, char from, char to) {
  if (!s) return 0;
  for (; *s; ++s)
    if (*s == from) *s = to;
  return 1;
}

int copy_n(void* dst, const void* src, size_t n) {
  if (n) memmove(dst, src, n);
  return 1;
}

int str_is_digits(const char* s) {
  if (!s) return 0;
  for (; *s; ++s)
    if (!isdigit(static_cast<unsigned char>(*s))) return 0;
  return 1;
}

int str_upper(char* s) {
  if (!s) return 0;
  for (; *s; ++s) *s = static_cast<char>(toupper(static_cast<unsigned char>(*s)));
  return 1;
}

int str_lower(char* s) {
  if (!s) return 0;
  for (; *s; ++s) *s = static_cast<char>(tolower(static_cast<unsigned char>(*s)));
  return 1;
}

int str_casecmp(const char* a, const char* b) {
  for (;; ++a, ++b) {
    const unsigned char x = lower_byte(*a);
    const unsigned char y = lower_byte(*b);
    if (x != y || x == 0) return x - y;
  }
}

int char_in_str(int c, const char* s) {
  return s && c != '\0' && strchr(s, static_cast<char>(c)) != nullptr;
}

int str_shares_char(const char* s, const char* set) {
  if (!s || !set) return 0;
  for (; *s; ++s)
    if (in_set(set, *s)) return 1;
  return 0;
}

int str_all_in_set(const char* s, const char* set) {
  if (!s) return 0;
  for (; *s; ++s)
    if (!in_set(set, *s)) return 0;
  return 1;
}

int str_strip_set(const char* s, const char* set, std::string& out) {
  out.clear();
  if (!s) return 0;
  for (; *s; ++s)
    if (!in_set(set, *s)) out += *s;
  return 1;
}

int str_copy_n(const char* s, size_t n, std::string& out) {
  out.clear();
  if (!s) return 0;
  out.assign(s, strnlen(s, n));
  return 1;
}

int str_ltrim_set(const char* s, const char* set, std::string& out) {
  out.clear();
  if (!s) return 0;
  while (in_set(set, *s)) ++s;
  out = s;
  return 1;
}

int str_rtrim_set(const char* s, const char* set, std::string& out) {
  out.clear();
  if (!s) return 0;
  size_t n = strlen(s);
  while (n > 0 && in_set(set, s[n - 1])) --n;
  out.assign(s, n);
  return 1;
}

size_t str_len0(const char* s) { return s ? strlen(s) : 0; }

char* str_dup0(const char* s) { return s ? strdup(s) : nullptr; }

char* str_concat(const char* a, const char* b) {
  return str_concat_list(a ? a : "", b ? b : "", static_cast<const char*>(nullptr));
}

char* str_concat_list(const char* s, ...) {
  size_t total = 0;
  va_list args;
  va_start(args, s);
  for (const char* p = s; p; p = va_arg(args, const char*)) total += strlen(p);
  va_end(args);
  char* result = static_cast<char*>(malloc(total + 1));
  if (!result) return nullptr;
  char* end = result;
  va_start(args, s);
  for (const char* p = s; p; p = va_arg(args, const char*)) {
    const size_t n = strlen(p);
    memcpy(end, p, n);
    end += n;
  }
  va_end(args);
  *end = '\0';
  return result;
}
