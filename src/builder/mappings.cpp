// The character map of an <Index> entry's <Mappings>: each <Map> has a
// <From> and a <To>, each one character specification or a <CharRange>
// with <First> and <Last>. A single to-value takes every from-character;
// two ranges map one to one and must have the same length.
#include <cstring>

#include "builder/builder.h"
#include "madat/madat.h"
#include "msg/msg.h"

namespace bldgi {

namespace {

constexpr size_t kMaxEntityName = 31;

struct NamedCharacter {
  const char* name;
  int value;
};
constexpr NamedCharacter kNamedCharacters[] = {
    {"amp", '&'}, {"backspace", 8}, {"lt", '<'}, {"gt", '>'},
    {"newline", 10}, {"return", 13}, {"tab", 9},
};

bool is_octal(char c) { return c >= '0' && c <= '7'; }
bool is_hex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

// "&name.": the character, or 32 after 10000.
long entity(const char** p, const char* text, int32_t line) {
  const char* name = *p + 1;
  const char* dot = std::strchr(name, '.');
  if (dot != nullptr) {
    const size_t length = static_cast<size_t>(dot - name);
    *p = dot + 1;
    if (length <= kMaxEntityName) {
      for (const NamedCharacter& c : kNamedCharacters) {
        if (std::strlen(c.name) == length && std::strncmp(name, c.name, length) == 0) {
          return c.value;
        }
      }
    }
  } else {
    *p = name + std::strlen(name);
  }
  vq_report(9, GetMsgNumText(10000), "addgicm", line, text);
  return ' ';
}

}  // namespace

long mapping_character(const char** p, const char* text, int32_t line, int alphabet) {
  const char* s = *p;
  long value;
  if (s[0] == '&') {
    value = entity(p, text, line);
  } else if (s[0] == 'U' && s[1] == '+' && is_hex(s[2])) {
    value = 0;
    for (s += 2; is_hex(*s); ++s) {
      if (value < 0x1000000) value = value * 16 + (*s <= '9' ? *s - '0' : *s - 'A' + 10);
    }
    *p = s;
  } else if (s[0] == '\\' && is_octal(s[1])) {
    if (!is_octal(s[2]) || !is_octal(s[3])) {
      vq_report(9, GetMsgNumText(10001), "addgicm", line, text);
      return -1;
    }
    value = (s[1] - '0') * 64 + (s[2] - '0') * 8 + (s[3] - '0');
    *p = s + 4;
  } else {
    value = static_cast<unsigned char>(s[0]);
    *p = s + 1;
  }
  if (value >= alphabet) {
    vq_report(9, GetMsgNumText(10009), "addgicm", line, text, alphabet);
    return -1;
  }
  return value;
}

namespace {

// One side of a <Map>: a single value (an empty value is byte 0) or a
// range. false after a report.
bool read_side(const MadNode* side, int alphabet, int32_t* is_range, int32_t* first,
               int32_t* last) {
  const int32_t line = side != nullptr ? side->line : 0;
  const MadNode* range = madatgc(side, DD_CharRange);
  const MadNode* ends[2] = {side, side};
  *is_range = range != nullptr ? 1 : 0;
  if (range != nullptr) ends[0] = madatgc(range, DD_First), ends[1] = madatgc(range, DD_Last);
  int32_t values[2];
  for (int i = 0; i < 2; ++i) {
    const char* text = madatgv(ends[i]);
    if (text == nullptr) text = "";
    const char* p = text;
    long value = 0;
    if (*p != '\0') value = mapping_character(&p, text, line, alphabet);
    if (value < 0) return false;
    if (*p != '\0') {
      vq_report(9, GetMsgNumText(40003), "addgicm", line);
      return false;
    }
    values[i] = static_cast<int32_t>(value);
  }
  *first = values[0];
  *last = values[1];
  return true;
}

}  // namespace

int addgicm(MadNode* index, BuildControl* control) {
  control->mappings.clear();
  if (index != nullptr && index->kind == MAD_ROOT) {
    index = madatgc(madatgc(madatgc(index, DD_DB), DD_Indices), DD_Index);
  }
  if (index == nullptr || index->kind != MAD_TAG || index->tag_id != DD_Index) {
    vq_report(15, GetMsgNumText(40000), "addgicm");
    return 15;
  }
  const MadNode* mappings = madatgc(index, DD_Mappings);
  const MadNode* first = madatgc(mappings, DD_Map);
  if (first == nullptr) return 0;
  // The data dictionary's default: printable ASCII and Latin-1 160-255
  // kept, everything else dropped.
  for (int b = 0; b < 256; ++b) {
    control->map[b] = static_cast<unsigned char>((b >= 32 && b < 127) || b >= 160 ? b : 0);
  }
  const int alphabet = control->alphabet_size;
  for (const MadNode* m = first; m != nullptr; m = madatns(m, DD_Map)) {
    CharMapping item{};
    if (!read_side(madatgc(m, DD_From), alphabet, &item.from_is_range, &item.from_first,
                   &item.from_last) ||
        !read_side(madatgc(m, DD_To), alphabet, &item.to_is_range, &item.to_first,
                   &item.to_last)) {
      return 9;
    }
    const int32_t from_length = item.from_last - item.from_first + 1;
    const int32_t to_length = item.to_last - item.to_first + 1;
    if (item.to_is_range && from_length != to_length) {
      vq_report(9, GetMsgNumText(10010), "addgicm", m->line);
      return 9;
    }
    for (int32_t k = 0; k < from_length; ++k) {
      const int32_t to = item.to_is_range ? item.to_first + k : item.to_first;
      control->map[item.from_first + k] = static_cast<unsigned char>(to);
    }
    control->mappings.push_back(item);
  }
  return 0;
}

}  // namespace bldgi
