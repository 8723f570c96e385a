// Attribute scanning over the current start tag.
//
// The scan replays the token's bytes through the state table of the tag's
// delimiter set. Between calls only the offset is kept: a call resumes in the
// state after a closing quote, which for every byte that can follow a value
// (quoted or not) gives the transition the tokenizer took there.
#include <cstring>

#include "sinsi/sinsi.h"

namespace {

// 1 when c is a character of any delimiter set defined on the stream.
bool is_delimiter(const SinsiStream* s, unsigned char c) {
  for (int o = 0; o < 256; ++o) {
    const SinsiDelimiters* d = s->set_delimiters[o];
    if (d != nullptr && (c == d->open || c == d->close || (d->end != 0 && c == d->end)))
      return true;
  }
  return false;
}

bool good_attribute_name(const SinsiStream* s, const char* name) {
  size_t n = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; ++p, ++n) {
    if (n >= SINSI_MAX_NAME || *p == 255 || is_delimiter(s, *p)) return false;
  }
  return n > 0;
}

bool ends_scan(int state) { return state >= SINSI_ST_DONE_START; }

}  // namespace

int sinsida(SinsiStream* s, const char* const* names, const int32_t* ids) {
  if (s == nullptr || names == nullptr || ids == nullptr) return SINSI_BAD;
  for (size_t i = 0; names[i] != nullptr; ++i)
    if (!good_attribute_name(s, names[i]) || ids[i] == -1) return SINSI_BAD;
  if (s->attribute_names == nullptr) {
    s->attribute_names = sinsycr();
    if (s->attribute_names == nullptr) return SINSI_FAILED;
  }
  return sinsyad(s->attribute_names, names, ids);
}

void sinsirs(SinsiStream* s) {
  if (s != nullptr) s->attribute_offset = 0;
}

int32_t sinsina(SinsiStream* s, char* value, size_t* length, int* quoted) {
  if (length != nullptr) *length = 0;
  if (quoted != nullptr) *quoted = 0;
  if (value != nullptr) value[0] = '\0';
  if (s == nullptr || s->attribute_names == nullptr || s->states == nullptr) return -1;
  const SinsiStateTable* t = s->states;
  const unsigned char* b = s->buffer;
  const size_t n = s->length;
  size_t i = s->attribute_offset;
  int state = SINSI_ST_AFTER_QUOTE;
  if (i == 0) {
    i = 1;
    state = SINSI_ST_OPEN;
  }
  while (i < n) {
    // Run to the first byte of the next attribute name.
    int next = t->next[state][b[i]];
    if (next != SINSI_ST_ATTR_NAME || state == SINSI_ST_ATTR_NAME) {
      state = next;
      ++i;
      if (ends_scan(state)) break;
      continue;
    }
    size_t name_start = i++;
    while (i < n && (next = t->next[SINSI_ST_ATTR_NAME][b[i]]) == SINSI_ST_ATTR_NAME) ++i;
    size_t name_length = i - name_start;
    if (i >= n || next != SINSI_ST_AFTER_EQUALS) break;  // no "=": malformed
    ++i;
    int32_t id = -1;
    if (name_length <= SINSI_MAX_NAME)
      id = sinsyidn(s->attribute_names, reinterpret_cast<const char*>(b + name_start),
                    name_length);
    if (i >= n) break;
    // The value: quoted, or up to the byte that leaves the value state.
    next = t->next[SINSI_ST_AFTER_EQUALS][b[i]];
    size_t value_start, value_end;
    int is_quoted = 0;
    if (next == SINSI_ST_QUOTED) {
      is_quoted = 1;
      value_start = ++i;
      while (i < n && t->next[SINSI_ST_QUOTED][b[i]] == SINSI_ST_QUOTED) ++i;
      value_end = i;
      if (i < n) ++i;  // the closing quote
      state = SINSI_ST_AFTER_QUOTE;
    } else if (next == SINSI_ST_VALUE) {
      // The first byte entered the value from the state after "=", even a
      // blank or a comma, which would end it further on.
      value_start = i++;
      while (i < n && t->next[SINSI_ST_VALUE][b[i]] == SINSI_ST_VALUE) ++i;
      value_end = i;
      state = SINSI_ST_VALUE;
    } else {
      break;
    }
    if (id == -1) continue;
    size_t v = value_end - value_start;
    if (value != nullptr) {
      std::memcpy(value, b + value_start, v);
      value[v] = '\0';
    }
    if (length != nullptr) *length = v;
    if (quoted != nullptr) *quoted = is_quoted;
    s->attribute_offset = i;
    return id;
  }
  s->attribute_offset = n;
  return -1;
}
