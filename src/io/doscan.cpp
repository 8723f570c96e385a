// The formatted input engine of the stream layer (vqio_doscan).
//
// Per element of the format:
// - white space skips any white space of the input, and matches the end of
//   the input too;
// - another character, or "%%", must match the next input character (no
//   white space is skipped before "%%");
// - a conversion is "%", any mix of "*", a width and a size, then the
//   conversion character; all but "[", "c", "%" and "n" skip the input's
//   leading white space first.
// The result is the number of values assigned. It is -1 when a conversion
// or a literal meets the end of the input, even after assignments ("%d %d"
// over "5" gives -1), except once the input ended inside a string
// conversion (s, c, [): from then on the scan just ends with the count.
//
// Conversions: d (optional sign), u and o (digits only), x and X (an
// optional "0x", hexadecimal digits), i (optional sign, then the base by
// prefix: "0x" hexadecimal, "0" octal, else decimal), p (as x into a
// pointer). Integers accumulate
// unsigned and are stored wrapped to the target's width: 1 byte with "hh", 2
// with "h", 8 with "l" (and "ll", "j", "z", "t", "L"), else 4; a width
// of 0 assigns 0. e, E, f, F, g, G, a, A read an optional sign, digits, an optional
// fraction and an optional exponent; without a digit they fail; the value is
// stored as a float, as a double with "l", as a long double with "L", not at
// all with "h". s, c and [ honour their width; [ takes the characters up to
// the next "]" as its set ("^" first negates it, "]" first ends an empty
// set, "-" is an ordinary character). n stores the number of characters
// taken so far. Other conversion characters are skipped.
//
// Look-ahead never needs more than the one character the engine holds; it
// is pushed back into the stream once, when the scan ends.
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <string>

#include "io/vqio.h"

namespace {

constexpr int kNone = -2;    // no character held
constexpr int kNoRoom = -3;  // the conversion's width is used up

// The input with one held character of look-ahead.
struct Input {
  VqStream* s;
  size_t consumed = 0;  // characters taken so far
  int held = kNone;     // a character (or -1, end of input) given back

  int get() {
    int c;
    if (held != kNone) {
      c = held;
      held = kNone;
    } else {
      c = vqio_getc(s);
    }
    if (c >= 0) ++consumed;
    return c;
  }
  void give_back(int c) {
    if (c == kNoRoom) return;
    held = c;
    if (c >= 0) --consumed;
  }
  // Returns the held character to the stream when the scan ends; it was the
  // last one read, so the stream still has it in its buffer.
  void finish() {
    if (held >= 0) vqio_ungetc(held, s);
  }
};

// The characters of one conversion, limited by its width.
struct Field {
  Input& in;
  long room;
  int take() {
    if (room <= 0) return kNoRoom;
    --room;
    return in.get();
  }
  void give_back(int c) {
    if (c == kNoRoom) return;
    in.give_back(c);
    ++room;
  }
};

bool is_space(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_digit(int c) { return c >= '0' && c <= '9'; }

// Skips white space; returns the next character (held, not taken).
int skip_space(Input& in) {
  int c = in.get();
  while (is_space(c)) c = in.get();
  in.give_back(c);
  return c;
}

// The next character, held, not taken.
int peek(Input& in) {
  int c = in.get();
  in.give_back(c);
  return c;
}

// Takes the next character if it is ch; otherwise leaves it (or the end of
// the input, -1) held and returns false.
bool match_char(Input& in, int ch) {
  int c = in.get();
  if (c == ch) return true;
  in.give_back(c);
  return false;
}

enum Size { kDefault, kChar, kShort, kLong, kLongDouble };

int digit_value(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

void store_integer(void* target, Size size, uint64_t v) {
  switch (size) {
    case kChar: {
      uint8_t b = static_cast<uint8_t>(v);
      std::memcpy(target, &b, sizeof b);
      break;
    }
    case kShort: {
      uint16_t h = static_cast<uint16_t>(v);
      std::memcpy(target, &h, sizeof h);
      break;
    }
    case kLong:
    case kLongDouble:
      std::memcpy(target, &v, sizeof v);
      break;
    default: {
      uint32_t w = static_cast<uint32_t>(v);
      std::memcpy(target, &w, sizeof w);
      break;
    }
  }
}

// Reads an integer of the given conversion; false when no digit came.
bool scan_integer(Field& f, char conv, uint64_t* out) {
  int c = f.take();
  bool negative = false;
  if ((conv == 'd' || conv == 'i') && (c == '-' || c == '+')) {
    negative = c == '-';
    c = f.take();
  }
  unsigned base = conv == 'o' ? 8 : (conv == 'x' || conv == 'X') ? 16 : 10;
  bool any = false;
  if ((conv == 'x' || conv == 'X' || conv == 'i') && c == '0') {
    // The "0" is a digit in every base; an "x" after it selects hexadecimal.
    any = true;
    c = f.take();
    if (c == 'x' || c == 'X') {
      base = 16;
      c = f.take();
    } else if (conv == 'i') {
      base = 8;
    }
  }
  uint64_t v = 0;
  for (unsigned d; c >= 0 && (d = static_cast<unsigned>(digit_value(c))) < base; c = f.take()) {
    v = v * base + d;
    any = true;
  }
  f.give_back(c);
  *out = negative ? 0 - v : v;
  return any;
}

// Reads the text of a floating-point number; false when no digit came.
bool scan_float_text(Field& f, std::string& text) {
  int c = f.take();
  bool any = false;
  if (c == '-' || c == '+') {
    text += static_cast<char>(c);
    c = f.take();
  }
  for (; is_digit(c); c = f.take(), any = true) text += static_cast<char>(c);
  if (c == '.') {
    text += '.';
    c = f.take();
    for (; is_digit(c); c = f.take(), any = true) text += static_cast<char>(c);
  }
  if (any && (c == 'e' || c == 'E')) {
    // The exponent's characters are taken even when no digit follows; the
    // value is then that of the digits before them.
    size_t mark = text.size();
    text += 'e';
    c = f.take();
    if (c == '-' || c == '+') {
      text += static_cast<char>(c);
      c = f.take();
    }
    bool exp_digits = false;
    for (; is_digit(c); c = f.take(), exp_digits = true) text += static_cast<char>(c);
    if (!exp_digits) text.resize(mark);
  }
  f.give_back(c);
  return any;
}

locale_t c_locale() {
  static locale_t loc = newlocale(LC_ALL_MASK, "C", nullptr);
  return loc;
}

void store_float(void* target, Size size, const std::string& text) {
  locale_t loc = c_locale();
  switch (size) {
    case kShort:
    case kChar:
      break;  // "h" stores nothing
    case kLong: {
      double d = loc ? strtod_l(text.c_str(), nullptr, loc) : std::strtod(text.c_str(), nullptr);
      std::memcpy(target, &d, sizeof d);
      break;
    }
    case kLongDouble: {
      long double d = loc ? strtold_l(text.c_str(), nullptr, loc) : std::strtold(text.c_str(), nullptr);
      std::memcpy(target, &d, sizeof d);
      break;
    }
    default: {
      float d = loc ? strtof_l(text.c_str(), nullptr, loc) : std::strtof(text.c_str(), nullptr);
      std::memcpy(target, &d, sizeof d);
      break;
    }
  }
}

// The set of a "[" conversion: parses the format up to the closing "]" and
// returns the position after it (null when the format ends first).
const char* parse_set(const char* p, bool member[256]) {
  bool negate = false;
  if (*p == '^') {
    negate = true;
    ++p;
  }
  std::memset(member, 0, 256 * sizeof(bool));
  while (*p && *p != ']') member[static_cast<unsigned char>(*p++)] = true;
  if (!*p) return nullptr;
  if (negate)
    for (int i = 0; i < 256; ++i) member[i] = !member[i];
  return p + 1;
}

// What a string conversion (s, c, [) ended with.
enum class StringEnd { kMatched, kNothing, kInputEnded };

// Takes characters while accept(c) holds and the width lasts; stores them
// (with a NUL when terminate) unless target is null.
template <typename Accept>
StringEnd scan_chars(Field& f, char* target, bool terminate, Accept accept) {
  size_t n = 0;
  int c = f.take();
  while (c >= 0 && accept(c)) {
    if (target) target[n] = static_cast<char>(c);
    ++n;
    c = f.take();
  }
  f.give_back(c);
  if (n > 0 && target && terminate) target[n] = '\0';
  if (n == 0) return c == -1 ? StringEnd::kInputEnded : StringEnd::kNothing;
  return c == -1 ? StringEnd::kInputEnded : StringEnd::kMatched;
}

}  // namespace

int vqio_doscan(VqStream* s, const char* format, va_list args) {
  if (!s || !format) {
    errno = EINVAL;
    return -1;
  }
  va_list ap;
  va_copy(ap, args);
  Input in{s};
  int assigned = 0;
  bool ended_inside = false;  // the input ended inside a string conversion
  int result = -2;            // set when the scan stops early

  // The result when a conversion or a literal meets the end of the input.
  auto at_end = [&]() { return ended_inside ? assigned : -1; };

  const char* p = format;
  while (*p && result == -2) {
    unsigned char fc = static_cast<unsigned char>(*p);
    if (is_space(fc)) {
      while (is_space(static_cast<unsigned char>(*p))) ++p;
      skip_space(in);
      continue;
    }
    if (fc != '%') {
      ++p;
      if (!match_char(in, fc)) result = in.held == -1 ? at_end() : assigned;
      continue;
    }

    ++p;  // the '%'
    bool suppress = false;
    long width = -1;
    Size size = kDefault;
    for (;; ++p) {
      if (*p == '*') {
        suppress = true;
      } else if (is_digit(*p)) {
        width = 0;
        for (; is_digit(*p); ++p)
          if (width < INT_MAX) width = width * 10 + (*p - '0');
        --p;
      } else if (*p == 'h') {
        size = size == kShort ? kChar : kShort;
      } else if (*p == 'l' || *p == 'j' || *p == 'z' || *p == 't') {
        size = kLong;
      } else if (*p == 'L') {
        size = kLongDouble;
      } else {
        break;
      }
    }
    char conv = *p;
    if (!conv) break;
    ++p;

    switch (conv) {
      case 'n':
        if (!suppress) store_integer(va_arg(ap, void*), size, in.consumed);
        break;

      case 'd':
      case 'i':
      case 'u':
      case 'o':
      case 'x':
      case 'X':
      case 'p': {
        if (skip_space(in) < 0) {
          result = at_end();
          break;
        }
        uint64_t v = 0;
        Field f{in, width < 0 ? LONG_MAX : width};
        if (conv == 'p') size = kLong;  // a pointer: 64 bits read as x
        if (width != 0 && !scan_integer(f, conv == 'p' ? 'x' : conv, &v)) {
          result = assigned;
          break;
        }
        if (!suppress) {
          store_integer(va_arg(ap, void*), size, v);
          ++assigned;
        }
        break;
      }

      case 'e':
      case 'E':
      case 'f':
      case 'g':
      case 'G':
      case 'F':
      case 'a':
      case 'A': {
        if (skip_space(in) < 0) {
          result = at_end();
          break;
        }
        std::string text;
        Field f{in, width <= 0 ? LONG_MAX : width};
        if (!scan_float_text(f, text)) {
          result = assigned;
          break;
        }
        if (!suppress) {
          store_float(va_arg(ap, void*), size, text);
          ++assigned;
        }
        break;
      }

      case 's':
      case 'c':
      case '[': {
        bool member[256];
        if (conv == '[') {
          p = parse_set(p, member);
          if (!p) {
            result = assigned;  // the set has no closing "]"
            break;
          }
        }
        if ((conv == 's' ? skip_space(in) : peek(in)) < 0) {
          result = at_end();
          break;
        }
        char* target = suppress ? nullptr : va_arg(ap, char*);
        long room = width <= 0 ? (conv == 'c' ? 1 : LONG_MAX) : width;
        Field f{in, room};
        StringEnd end;
        if (conv == 's')
          end = scan_chars(f, target, true, [](int c) { return !is_space(c); });
        else if (conv == 'c')
          end = scan_chars(f, target, false, [](int) { return true; });
        else
          end = scan_chars(f, target, true, [&](int c) { return member[c]; });
        if (end == StringEnd::kNothing) {
          result = assigned;
          break;
        }
        if (target) ++assigned;
        if (end == StringEnd::kInputEnded) ended_inside = true;
        break;
      }

      case '%':
        if (!match_char(in, '%')) result = in.held == -1 ? at_end() : assigned;
        break;

      default:
        break;  // unknown conversions are skipped without reading
    }
  }
  in.finish();
  va_end(ap);
  return result == -2 ? assigned : result;
}
