// The formatted output engine of the stream layer (vqio_doprnt).
//
// A conversion is "%", any mix of flags, width, precision and size in any
// order, then the conversion character. The engine follows the C library's
// printf for the numbers it prints, with the layer's own extras:
// - %b prints binary; "#" adds "0b", "0x", "0X" to a non-zero value of b, x,
//   X and "0" to every value of o; d, i, u and p take no prefix;
// - "+" and " " (the later one wins) also give unsigned conversions a sign;
// - an integer of value 0 prints "0" even with precision 0;
// - %p prints the pointer's 64 bits as %lx would, without prefix;
// - %F, %a and %A print as C does (they take a double like f);
// - %c ignores the width; %g and %G print their digits as they are (no
//   flags, no padding); %s of a null pointer prints "(null)";
// - a "." without digits or "*" leaves the precision unset; a negative "*"
//   width toggles left-justification;
// - an unknown conversion character (and "%") is written as itself, and a
//   "%" at the end of the format ends it.
// Zero padding goes between the sign and prefix and the digits; "-" cancels
// "0", and so does a precision on an integer conversion.
//
// The result counts every character produced (those a full string stream
// drops included), or is -1 when the stream's error flag is set at the end.
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "io/vqio.h"

namespace {

// Where the characters go, and how many were produced.
struct Sink {
  VqStream* s;
  size_t produced;
  bool direct;  // unbuffered descriptor stream: each piece goes out in one write
};

void put_bytes(Sink& k, const char* p, size_t n) {
  if (n == 0) return;
  k.produced += n;
  if (k.direct) {
    vqio_fwrite(p, 1, n, k.s);
    return;
  }
  for (size_t i = 0; i < n; ++i) vqio_putc(static_cast<unsigned char>(p[i]), k.s);
}

void put_repeated(Sink& k, char c, size_t n) {
  if (n == 0) return;
  char chunk[64];
  std::memset(chunk, c, sizeof chunk);
  while (n > 0) {
    size_t part = n < sizeof chunk ? n : sizeof chunk;
    put_bytes(k, chunk, part);
    n -= part;
  }
}

// Size modifiers as they matter here: for %n the width of the store, for
// the integer conversions int or 64-bit long, for floats long double.
enum Size { kDefault, kShort, kChar, kLong, kLongDouble };

struct Spec {
  bool left = false;
  bool zero = false;
  bool alt = false;
  char sign = 0;  // 0, '+' or ' '
  size_t width = 0;
  int precision = -1;  // -1: unset
  Size size = kDefault;
};

// Reads decimal digits, saturating well below INT_MAX.
int read_number(const char*& p) {
  int v = 0;
  while (*p >= '0' && *p <= '9') {
    if (v < INT_MAX / 10 - 10) v = v * 10 + (*p - '0');
    ++p;
  }
  return v;
}

// Prints an integer: sign, prefix, zeros up to the precision, digits, padded
// to the width.
void put_integer(Sink& k, const Spec& sp, char conv, uint64_t magnitude, bool negative) {
  unsigned base = 10;
  const char* digit_set = "0123456789abcdef";
  const char* prefix = "";
  switch (conv) {
    case 'o':
      base = 8;
      if (sp.alt) prefix = "0";
      break;
    case 'x':
    case 'p':
      base = 16;
      if (sp.alt && conv == 'x' && magnitude != 0) prefix = "0x";
      break;
    case 'X':
      base = 16;
      digit_set = "0123456789ABCDEF";
      if (sp.alt && magnitude != 0) prefix = "0X";
      break;
    case 'b':
      base = 2;
      if (sp.alt && magnitude != 0) prefix = "0b";
      break;
    default:
      break;
  }
  char digits[64];  // 64 binary digits at most
  size_t nd = 0;
  do {
    digits[sizeof digits - ++nd] = digit_set[magnitude % base];
    magnitude /= base;
  } while (magnitude != 0);

  char sign = negative ? '-' : sp.sign;
  size_t nprefix = std::strlen(prefix);
  size_t precision = sp.precision > 0 ? static_cast<size_t>(sp.precision) : 0;
  size_t nzeros = precision > nd ? precision - nd : 0;
  size_t length = (sign ? 1 : 0) + nprefix + nzeros + nd;
  size_t pad = sp.width > length ? sp.width - length : 0;
  bool zero_fill = sp.zero && !sp.left && sp.precision < 0;

  if (!sp.left && !zero_fill) put_repeated(k, ' ', pad);
  if (sign) put_bytes(k, &sign, 1);
  put_bytes(k, prefix, nprefix);
  if (zero_fill) put_repeated(k, '0', pad);
  put_repeated(k, '0', nzeros);
  put_bytes(k, digits + sizeof digits - nd, nd);
  if (sp.left) put_repeated(k, ' ', pad);
}

// Text formatted by the C library: in a stack buffer, or a string when longer.
struct Formatted {
  char small[128];
  std::string big;
  const char* text = small;
  size_t length = 0;
};

// The format is one the engine built from a fixed set of characters.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
template <typename T>
void format_value(Formatted& out, const char* fmt, int precision, T value) {
  int n = std::snprintf(out.small, sizeof out.small, fmt, precision, value);
  if (n < 0) n = 0;
  out.length = static_cast<size_t>(n);
  if (out.length >= sizeof out.small) {
    out.big.assign(out.length + 1, '\0');
    std::snprintf(out.big.data(), out.big.size(), fmt, precision, value);
    out.text = out.big.data();
  }
}
#pragma GCC diagnostic pop

// Prints f, F, e, E, a, A (sign, "#", zero padding as C does) or g, G (the
// digits alone, with the C library's sign). The digits come from the C library;
// the padding is done here so a large width needs no large buffer.
template <typename T>
void put_floating(Sink& k, const Spec& sp, char conv, T value) {
  bool g = conv == 'g' || conv == 'G';
  char fmt[16];
  size_t i = 0;
  fmt[i++] = '%';
  if (!g && sp.sign) fmt[i++] = sp.sign;
  if (!g && sp.alt) fmt[i++] = '#';
  fmt[i++] = '.';
  fmt[i++] = '*';
  if (sizeof(T) > sizeof(double)) fmt[i++] = 'L';
  fmt[i++] = conv;
  fmt[i] = '\0';

  Formatted f;
  // %a has no default precision (its digits are exact); the others take 6.
  bool hex = conv == 'a' || conv == 'A';
  format_value(f, fmt, sp.precision < 0 && !hex ? 6 : sp.precision, value);
  size_t pad = !g && sp.width > f.length ? sp.width - f.length : 0;
  if (sp.left || pad == 0) {
    put_bytes(k, f.text, f.length);
    put_repeated(k, ' ', pad);
  } else if (sp.zero && std::isfinite(value)) {
    // Zeros go after the sign and, for %a, after the "0x".
    size_t lead = (f.text[0] == '-' || f.text[0] == '+' || f.text[0] == ' ') ? 1 : 0;
    if (hex) lead += 2;
    put_bytes(k, f.text, lead);
    put_repeated(k, '0', pad);
    put_bytes(k, f.text + lead, f.length - lead);
  } else {
    put_repeated(k, ' ', pad);
    put_bytes(k, f.text, f.length);
  }
}

void put_string(Sink& k, const Spec& sp, const char* str) {
  if (!str) str = "(null)";
  size_t n = sp.precision >= 0 ? strnlen(str, static_cast<size_t>(sp.precision)) : std::strlen(str);
  size_t pad = sp.width > n ? sp.width - n : 0;
  if (!sp.left) put_repeated(k, ' ', pad);
  put_bytes(k, str, n);
  if (sp.left) put_repeated(k, ' ', pad);
}

void store_count(void* target, Size size, size_t produced) {
  if (!target) return;
  switch (size) {
    case kChar:
      *static_cast<signed char*>(target) = static_cast<signed char>(produced);
      break;
    case kShort:
      *static_cast<short*>(target) = static_cast<short>(produced);
      break;
    case kLong:
    case kLongDouble:
      *static_cast<long*>(target) = static_cast<long>(produced);
      break;
    default:
      *static_cast<int*>(target) = static_cast<int>(produced);
      break;
  }
}

}  // namespace

int vqio_doprnt(const char* format, va_list args, VqStream* s) {
  if (!s || !format || !(s->flags & (VQ_WRITE | VQ_UPDATE))) {
    errno = EINVAL;
    return -1;
  }
  va_list ap;
  va_copy(ap, args);
  Sink k{s, 0, (s->flags & VQ_UNBUF) && !(s->flags & VQ_STRING)};

  const char* p = format;
  while (*p) {
    const char* run = p;
    while (*p && *p != '%') ++p;
    put_bytes(k, run, static_cast<size_t>(p - run));
    if (!*p) break;
    ++p;  // the '%'

    Spec sp;
    bool done = false;
    char conv = 0;
    while (!done) {
      switch (*p) {
        case '\0':
          done = true;  // a "%" at the end ends the format
          break;
        case '-':
          sp.left = true;
          ++p;
          break;
        case '+':
        case ' ':
          sp.sign = *p++;
          break;
        case '0':
          sp.zero = true;
          ++p;
          break;
        case '#':
          sp.alt = true;
          ++p;
          break;
        case 'l':
        case 'z':
        case 'j':
        case 't':
          sp.size = kLong;
          ++p;
          break;
        case 'L':
          sp.size = kLongDouble;
          ++p;
          break;
        case 'h':
          sp.size = sp.size == kShort ? kChar : kShort;
          ++p;
          break;
        case '*': {
          int w = va_arg(ap, int);
          if (w < 0) {
            sp.left = !sp.left;
            sp.width = static_cast<size_t>(-static_cast<long>(w));
          } else {
            sp.width = static_cast<size_t>(w);
          }
          ++p;
          break;
        }
        case '.':
          ++p;
          if (*p >= '0' && *p <= '9') {
            sp.precision = read_number(p);
          } else if (*p == '*') {
            int pr = va_arg(ap, int);
            sp.precision = pr < 0 ? -1 : pr;
            ++p;
          } else {
            sp.precision = -1;
          }
          break;
        default:
          if (*p >= '1' && *p <= '9') {
            sp.width = static_cast<size_t>(read_number(p));
          } else {
            conv = *p++;
            done = true;
          }
          break;
      }
    }
    if (!conv) break;

    switch (conv) {
      case 'd':
      case 'i': {
        long v = sp.size == kLong ? va_arg(ap, long) : va_arg(ap, int);
        uint64_t mag = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
        put_integer(k, sp, conv, mag, v < 0);
        break;
      }
      case 'u':
      case 'o':
      case 'x':
      case 'X':
      case 'b': {
        uint64_t v = sp.size == kLong ? va_arg(ap, unsigned long) : va_arg(ap, unsigned);
        put_integer(k, sp, conv, v, false);
        break;
      }
      case 'p': {
        Spec plain = sp;
        plain.alt = false;
        put_integer(k, plain, 'p', reinterpret_cast<uintptr_t>(va_arg(ap, void*)), false);
        break;
      }
      case 'f':
      case 'F':
      case 'e':
      case 'E':
      case 'g':
      case 'G':
      case 'a':
      case 'A':
        if (sp.size == kLongDouble)
          put_floating(k, sp, conv, va_arg(ap, long double));
        else
          put_floating(k, sp, conv, va_arg(ap, double));
        break;
      case 'c': {
        char c = static_cast<char>(va_arg(ap, int));
        put_bytes(k, &c, 1);
        break;
      }
      case 's':
        put_string(k, sp, va_arg(ap, const char*));
        break;
      case 'n':
        store_count(va_arg(ap, void*), sp.size, k.produced);
        break;
      default:
        put_bytes(k, &conv, 1);
        break;
    }
  }
  va_end(ap);
  if (s->flags & VQ_ERR) return -1;
  return k.produced > INT_MAX ? INT_MAX : static_cast<int>(k.produced);
}
