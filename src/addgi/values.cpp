// Single values of child tags: the required and optional getters, the
// number conversions they share, and the reports they make.
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "addgi/addgi.h"
#include "addgi/internal.h"
#include "madat/madat.h"
#include "msg/msg.h"

namespace addgi_internal {

namespace {

// White space as the C library's isspace in the "C" locale, which the
// layer's formatted input skips before a number.
bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

const char* skip_space(const char* p) {
  while (is_space(*p)) ++p;
  return p;
}

// Digits from p up to the first non-digit, accumulated without wrapping:
// false when there is none or the value exceeds limit.
bool scan_digits(const char*& p, unsigned long limit, unsigned long* value) {
  if (*p < '0' || *p > '9') return false;
  unsigned long v = 0;
  bool fits = true;
  for (; *p >= '0' && *p <= '9'; ++p) {
    const unsigned long d = static_cast<unsigned long>(*p - '0');
    if (d > limit || v > (limit - d) / 10) fits = false;
    else v = v * 10 + d;
  }
  *value = v;
  return fits;
}

int report_not_numeric(const char* id, const char* path, const char* value) {
  vq_report(9, GetMsgNumText(40025), id, path, value);
  return 9;
}

}  // namespace

const char* child_value(const MadNode* node, int32_t tag_id) {
  return madatgv(madatgc(node, tag_id));
}

char* copy_text(const char* text, const char* source) {
  if (is_empty(text)) return nullptr;
  const size_t n = strlen(text) + 1;
  char* copy = static_cast<char*>(vq_malloc(static_cast<long>(n), 1, __LINE__, source));
  memcpy(copy, text, n);
  return copy;
}

int report_bad_args(const char* id) {
  vq_report(15, GetMsgNumText(40000), id);
  return 15;
}

int report_missing(const char* id, const char* path) {
  vq_report(9, GetMsgNumText(40009), id, path);
  return 9;
}

char* required_text(const MadNode* node, int32_t tag_id, const char* id, const char* path,
                    int* status, const char* source) {
  const char* value = child_value(node, tag_id);
  if (is_empty(value)) {
    keep_first(status, report_missing(id, path));
    return nullptr;
  }
  return copy_text(value, source);
}

bool parse_signed(const char* text, long lo, long hi, long* out) {
  const char* p = skip_space(text);
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  if (negative ? lo >= 0 : hi < 0) return false;
  // The magnitude of a negative number may reach |LONG_MIN|.
  const unsigned long limit =
      negative ? 0UL - static_cast<unsigned long>(lo) : static_cast<unsigned long>(hi);
  unsigned long magnitude = 0;
  if (!scan_digits(p, limit, &magnitude)) return false;
  if (*skip_space(p) != '\0') return false;
  const long value = negative ? static_cast<long>(0UL - magnitude) : static_cast<long>(magnitude);
  if (value < lo || value > hi) return false;
  *out = value;
  return true;
}

bool parse_unsigned(const char* text, unsigned long hi, unsigned long* out) {
  const char* p = skip_space(text);
  unsigned long value = 0;
  if (!scan_digits(p, hi, &value)) return false;
  if (*skip_space(p) != '\0') return false;
  *out = value;
  return true;
}

int read_signed(const MadNode* node, int32_t tag_id, const char* id, const char* path, long lo,
                long hi, long* out) {
  const char* value = child_value(node, tag_id);
  if (is_empty(value)) return -1;
  if (!parse_signed(value, lo, hi, out)) return report_not_numeric(id, path, value);
  return 0;
}

int read_unsigned(const MadNode* node, int32_t tag_id, const char* id, const char* path,
                  unsigned long hi, unsigned long* out) {
  const char* value = child_value(node, tag_id);
  if (is_empty(value)) return -1;
  if (!parse_unsigned(value, hi, out)) return report_not_numeric(id, path, value);
  return 0;
}

int required_signed(const MadNode* node, int32_t tag_id, const char* id, const char* path,
                    long lo, long hi, long* out) {
  const int status = read_signed(node, tag_id, id, path, lo, hi, out);
  return status < 0 ? report_missing(id, path) : status;
}

int required_unsigned(const MadNode* node, int32_t tag_id, const char* id, const char* path,
                      unsigned long hi, unsigned long* out) {
  const int status = read_unsigned(node, tag_id, id, path, hi, out);
  return status < 0 ? report_missing(id, path) : status;
}

OwnedText::~OwnedText() { free(text); }

void OwnedText::hand_over(char** out) {
  if (out) {
    *out = text;
    text = nullptr;
  }
}

}  // namespace addgi_internal

using namespace addgi_internal;

char* addgirs(const MadNode* node, int32_t tag_id, const char* id, const char* path) {
  int status = 0;
  return required_text(node, tag_id, id, path, &status);
}

long addgirl(const MadNode* node, int32_t tag_id, const char* id, const char* path) {
  long value = 0;
  return required_signed(node, tag_id, id, path, LONG_MIN, LONG_MAX, &value) == 0 ? value : 0;
}

unsigned long addgiru(const MadNode* node, int32_t tag_id, const char* id, const char* path) {
  unsigned long value = 0;
  return required_unsigned(node, tag_id, id, path, ULONG_MAX, &value) == 0 ? value : 0;
}

char* addgios(const MadNode* node, int32_t tag_id) {
  return copy_text(child_value(node, tag_id), kFileInfoSource);
}

int addgioi(const MadNode* node, int32_t tag_id, const char* id, const char* path) {
  long value = 0;
  return read_signed(node, tag_id, id, path, INT_MIN, INT_MAX, &value) == 0
             ? static_cast<int>(value)
             : 0;
}

unsigned long addgiou(const MadNode* node, int32_t tag_id, const char* id, const char* path) {
  unsigned long value = 0;
  return read_unsigned(node, tag_id, id, path, ULONG_MAX, &value) == 0 ? value : 0;
}
