// Character sets of WordStarters definitions: the table of named sets, the
// set-text parser and the split of a definition into its two
// specifications.
#include <strings.h>

#include <cstring>

#include "msg/msg.h"
#include "pitcl/pitcl.h"

namespace {

struct NamedSet {
  const char* name;
  const char* text;
};

// The Latin-1 letters: À-Ï, Ñ-Ö, Ù-Ý (upper case) and à-ï, ñ-ö, ù-ý, ÿ
// (lower case). ASCII ranges come first in each text, so that no ASCII
// character follows a "U+" code (it would be read as one more digit).
#define VQ_ISO_UPPER "U+C0-U+CFU+D1-U+D6U+D9-U+DD"
#define VQ_ISO_LOWER "U+E0-U+EFU+F1-U+F6U+F9-U+FDU+FF-U+FF"
#define VQ_PUNCTUATION "!-/:-@[-`{-~"

const NamedSet kNamedSets[] = {
    {"printable", "Range:!-~"},
    {"ISO_printable", "Range:!-~U+A1-U+FF"},
    {"alphabetic", "Range:A-Za-z"},
    {"ISO_alphabetic", "Range:A-Za-z" VQ_ISO_UPPER VQ_ISO_LOWER},
    {"uppercase", "Range:A-Z"},
    {"ISO_uppercase", "Range:A-Z" VQ_ISO_UPPER},
    {"lowercase", "Range:a-z"},
    {"ISO_lowercase", "Range:a-z" VQ_ISO_LOWER},
    {"alphanumeric", "Range:0-9A-Za-z"},
    {"ISO_alphanumeric", "Range:0-9a-zA-Z" VQ_ISO_UPPER VQ_ISO_LOWER},
    {"special", "Range:" VQ_PUNCTUATION},
    {"ISO_special",
     "Range:" VQ_PUNCTUATION "U+A1-U+BFU+D0-U+D0U+D7-U+D8U+DE-U+DFU+F0-U+F0U+F7-U+F8U+FE-U+FE"},
    {"all", "Range:U+1-U+7F"},
    {"ISO_all", "Range:U+1-U+FF"},
    {"numeric", "Range:0-9"},
    {"amp", "&"},
    {"backspace", "U+8"},
    {"lt", "<"},
    {"gt", ">"},
    {"newline", "U+A"},
    {"return", "U+D"},
    {"tab", "U+9"},
};

#undef VQ_ISO_UPPER
#undef VQ_ISO_LOWER
#undef VQ_PUNCTUATION

bool is_hex_digit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

// One character of a set text at *p: "U+" with upper-case hexadecimal
// digits, else the byte itself. -1 at the end of the text.
long next_character(const char** p) {
  const char* s = *p;
  if (*s == '\0') return -1;
  if (s[0] == 'U' && s[1] == '+' && is_hex_digit(s[2])) {
    long value = 0;
    s += 2;
    // Saturate rather than overflow on an absurd run of digits.
    while (is_hex_digit(*s)) {
      int digit = *s <= '9' ? *s - '0' : *s - 'A' + 10;
      if (value < 0x1000000) value = value * 16 + digit;
      ++s;
    }
    *p = s;
    return value;
  }
  *p = s + 1;
  return static_cast<unsigned char>(s[0]);
}

bool in_alphabet(long value, int alphabet) {
  if (value < alphabet && value < PITCL_ALPHABET) return true;
  vq_report(9, GetMsgNumText(150003), static_cast<unsigned>(value), alphabet - 1);
  return false;
}

}  // namespace

int pitcl_parse_set(const char* text, int alphabet, const char* name, CharSet* out) {
  out->reset();
  if (strncasecmp(text, "Range:", 6) != 0) {
    const char* p = text;
    for (long c; (c = next_character(&p)) >= 0;) {
      if (!in_alphabet(c, alphabet)) return 9;
      out->set(static_cast<size_t>(c));
    }
    return 0;
  }
  const char* p = text + 6;
  while (*p != '\0') {
    long first = next_character(&p);
    if (*p != '-') {
      vq_report(15, GetMsgNumText(150004), name);
      return 15;
    }
    ++p;
    long last = next_character(&p);
    if (last < 0) {
      vq_report(15, GetMsgNumText(150004), name);
      return 15;
    }
    if (!in_alphabet(first, alphabet) || !in_alphabet(last, alphabet)) return 9;
    if (last < first) {
      vq_report(15, GetMsgNumText(150005), name);
      return 15;
    }
    for (long c = first; c <= last; ++c) out->set(static_cast<size_t>(c));
  }
  return 0;
}

int pitcl_named_set(const std::string& name, int alphabet, CharSet* out) {
  for (const NamedSet& set : kNamedSets) {
    if (name == set.name) return pitcl_parse_set(set.text, alphabet, set.name, out);
  }
  vq_report(9, GetMsgNumText(150000), name.c_str());
  return 9;
}

namespace {

// One specification at *p: a single character, or "&name." with a name of
// 1 to 62 characters. 0 with *p past it, or the severity of the report.
int parse_specification(const char** p, const char* definition, int alphabet, CharSet* out) {
  const char* s = *p;
  if (*s == '\0') {
    vq_report(9, GetMsgNumText(150000), definition);
    return 9;
  }
  if (*s != '&') {
    out->reset();
    unsigned char c = static_cast<unsigned char>(*s);
    if (!in_alphabet(c, alphabet)) return 9;
    out->set(c);
    *p = s + 1;
    return 0;
  }
  const char* dot = std::strchr(s + 1, '.');
  size_t length = dot != nullptr ? static_cast<size_t>(dot - (s + 1)) : 0;
  if (dot == nullptr || length == 0 || length > PITCL_MAX_NAME) {
    vq_report(9, GetMsgNumText(150000), definition);
    return 9;
  }
  int status = pitcl_named_set(std::string(s + 1, length), alphabet, out);
  if (status != 0) return status;
  *p = dot + 1;
  return 0;
}

}  // namespace

int pitcl_parse_definition(const char* definition, int alphabet, CharSet* preceding,
                           CharSet* starting) {
  const char* p = definition;
  int status = parse_specification(&p, definition, alphabet, preceding);
  if (status == 0) status = parse_specification(&p, definition, alphabet, starting);
  if (status == 0 && *p != '\0') {
    // Anything after the two specifications would be silently ignored.
    vq_report(9, GetMsgNumText(150000), definition);
    status = 9;
  }
  return status;
}
