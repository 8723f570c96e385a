// Input engine: a generated table of inputs x formats compared with the C
// library's sscanf (result, every stored byte, the position through %n),
// the rows where the layer deliberately differs worked out by hand, a file
// scan whose numbers straddle the stream's buffer refill compared with the
// C library's fscanf, and the store widths of 64-bit conversions.
#include <cfloat>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "io_support.h"

// The tables hand runtime formats to both libraries on purpose.
#pragma GCC diagnostic ignored "-Wformat-nonliteral"

namespace {

// Every conversion of a scan gets a 64-byte slot filled with a pattern, so a
// store that is too wide or too narrow shows.
constexpr unsigned char kPattern = 0xa5;
constexpr int kSlots = 5;

struct Slots {
  unsigned char bytes[kSlots][64];
  Slots() { std::memset(bytes, kPattern, sizeof bytes); }
};

int ScanLayer(const char* input, const char* format, Slots& s) {
  return vqio_sscanf(input, format, s.bytes[0], s.bytes[1], s.bytes[2], s.bytes[3], s.bytes[4]);
}
int ScanC(const char* input, const char* format, Slots& s) {
  return std::sscanf(input, format, s.bytes[0], s.bytes[1], s.bytes[2], s.bytes[3], s.bytes[4]);
}

bool Untouched(const unsigned char* p, size_t from, size_t to) {
  for (size_t i = from; i < to; ++i)
    if (p[i] != kPattern) return false;
  return true;
}

// Renders the result and the slots as "result | v0 | v1 ...", reading each
// slot as the type its conversion stores; "-" is an untouched slot.
std::string Render(int result, const char* format, const Slots& s) {
  std::string out = std::to_string(result);
  int slot = 0;
  for (const char* p = format; *p && slot < kSlots; ++p) {
    if (*p != '%') continue;
    ++p;
    if (*p == '%') continue;
    bool suppress = *p == '*';
    if (suppress) ++p;
    int width = 0;
    while (*p >= '0' && *p <= '9') width = width * 10 + (*p++ - '0');
    std::string size;
    while (std::strchr("hlL", *p)) size += *p++;
    char conv = *p;
    if (conv == '[') {
      p += p[1] == '^' ? 2 : 1;
      while (*p != ']') ++p;
    }
    if (suppress || conv == '%') continue;
    const unsigned char* b = s.bytes[slot++];
    out += " | ";
    if (Untouched(b, 0, 64)) {
      out += "-";
      continue;
    }
    char text[128];
    size_t used;
    if (std::strchr("dinuoxXp", conv)) {
      used = size == "hh" ? 1 : size == "h" ? 2 : size.empty() && conv != 'p' ? 4 : 8;
      long long v = 0;
      std::memcpy(&v, b, used);
      if (used < 8) v = static_cast<long long>(static_cast<unsigned long long>(v) << (64 - 8 * used)) >> (64 - 8 * used);
      std::snprintf(text, sizeof text, std::strchr("din", conv) ? "%lld" : "%llu", v);
      if (!std::strchr("din", conv) && used < 8)
        std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(v) & ((1ull << (8 * used)) - 1));
    } else if (std::strchr("eEfgG", conv)) {
      if (size.empty()) {
        float f;
        std::memcpy(&f, b, sizeof f);
        std::snprintf(text, sizeof text, "%.9g", f);
        used = sizeof f;
      } else {
        double d;
        std::memcpy(&d, b, sizeof d);
        std::snprintf(text, sizeof text, "%.17g", d);
        used = sizeof d;
      }
    } else if (conv == 'c') {
      used = 0;
      while (used < 64 && b[used] != kPattern) ++used;
      std::snprintf(text, sizeof text, "'%.*s'", static_cast<int>(used), reinterpret_cast<const char*>(b));
    } else {  // s and [
      used = strnlen(reinterpret_cast<const char*>(b), 64) + 1;
      std::snprintf(text, sizeof text, "\"%s\"", reinterpret_cast<const char*>(b));
    }
    out += text;
    if (!Untouched(b, used, 64)) out += " (overrun)";
  }
  return out;
}

// The layer's deliberate differences from the C library in the generated
// table, each with the rendering the layer's rules give; empty when the row
// must agree with the C library.
std::string ListedDifference(const std::string& input, const std::string& conv) {
  char c = conv.back();
  // u, o, x, X and p take no sign: a matching failure.
  if (std::strchr("uoxXp", c) && (input[0] == '-' || input[0] == '+')) return "0 | - | -";
  // No hexadecimal floating point: "0x1f" reads as 0, followed by "x1f".
  if (std::strchr("efgEG", c) && (input == "0x1f" || input == "0X1F" || input == "0xg")) return "1 | 0 | 1";
  // "%%" skips no white space.
  if (conv == "%%" && input == "   ") return "0 | -";
  // Integers wrap to the stored width where the C library clamps: the low
  // 64 bits of 18446744073709551615 are all ones; read as hexadecimal its
  // last 8 digits are 0x09551615 and its last 16 0x6744073709551615.
  if (input == "18446744073709551615") {
    if (conv == "%ld" || conv == "%li") return "1 | -1 | 20";
    if (conv == "%x") return "1 | 156571157 | 20";
    if (conv == "%lX" || conv == "%p") return "1 | 7441080417284068885 | 20";
  }
  return "";
}

// ---------------------------------------------------------------------------
// The generated table: one conversion, then %n, over every input.

TEST(Doscan, AgreesWithTheCLibraryOnAGeneratedTable) {
  const char* inputs[] = {"42",      "-7",        "+5",         "  13 rest", "0x1f",  "0X1F",   "0",
                          "077",     "0xg",       "0z",         "ff",        "abc",   "",       "   ",
                          "12345",   "1.5e3",     "-.5",        "3.",        "1e",    "1e+",    "100ergs",
                          "2e-3x",   ".",         "-",          "4294967297", "-2147483648",
                          "4294967295", "18446744073709551615", "hello world", "a,b", "\t\n 8", "%x",
                          "0.1 0.2", "x5",       "300",        "-129",      "1e999", "1e-999", "0.1"};
  const char* conversions[] = {"%d",    "%ld",   "%hd", "%hhd", "%lu",  "%x",  "%lX", "%o",  "%i",  "%li",
                               "%f",    "%lf",   "%e",  "%lg",  "%s",   "%3s", "%c",  "%3c", "%[abc]",
                               "%[^,]", "%3d",   "%2x", "%*d",  "%1i",  "%4lf", "%%", "x%d", " %d", "%hhu",
                               "%p"};
  size_t rows = 0, listed = 0, failures = 0;
  for (const char* conv : conversions)
    for (const char* input : inputs) {
      std::string format = std::string(conv) + "%n";
      Slots ours, theirs;
      std::string got = Render(ScanLayer(input, format.c_str(), ours), format.c_str(), ours);
      std::string want = ListedDifference(input, conv);
      if (want.empty())
        want = Render(ScanC(input, format.c_str(), theirs), format.c_str(), theirs);
      else
        ++listed;
      ++rows;
      if (got != want && ++failures <= 20)
        ADD_FAILURE() << "input \"" << input << "\" format \"" << format << "\": got " << got << ", want " << want;
    }
  EXPECT_EQ(failures, 0u) << "of " << rows << " rows";
  EXPECT_GT(listed, 20u);
}

// ---------------------------------------------------------------------------
// Rows worked out by hand: several conversions, the end of the input, and
// the layer's own rules.

struct HandRow {
  const char* input;
  const char* format;
  const char* expected;  // rendering: result | slots in order
};

TEST(Doscan, FollowsTheLayersOwnRules) {
  const HandRow rows[] = {
      {"5 6", "%d %d%n", "2 | 5 | 6 | 3"},
      // a conversion or a literal meeting the end of the input gives -1, even
      // after an assignment (the C library gives 1)
      {"5", "%d %d%n", "-1 | 5 | - | -"},
      {"5 ", "%d%d%n", "-1 | 5 | - | -"},
      {"5", "%d,%s%n", "-1 | 5 | - | -"},
      {"", "%d%n", "-1 | - | -"},
      {"  ", "%s%n", "-1 | - | -"},
      // ... but white space matches the end of the input
      {"5", "%ld\n%n", "1 | 5 | 1"},
      {"  ", " %n", "0 | 2"},
      {"", "%n", "0 | 0"},
      // once the input ended inside a string conversion the scan ends with
      // the count
      {"abc", "%s %d%n", "1 | \"abc\" | - | -"},
      {"abc", "%s%n", "1 | \"abc\" | 3"},
      {"ab", "%3c%n", "1 | 'ab' | 2"},
      {"x", "%d%n", "0 | - | -"},
      {" -7", "%ld%n", "1 | -7 | 3"},
      {"12345", "%3d%d%n", "2 | 123 | 45 | 5"},
      {"abcdef", "%3s%s%n", "2 | \"abc\" | \"def\" | 6"},
      {"1 2", "%*d %d%n", "1 | 2 | 3"},
      {"%5", "%%%d%n", "1 | 5 | 2"},
      {" %", "%%%n", "0 | -"},
      {"%7", "%3%%d%n", "1 | 7 | 2"},
      {"5", "%0d%n", "1 | 0 | 0"},
      // sets: no ranges, and "]" first ends an empty set
      {"a-c", "%[a-c]%n", "1 | \"a-c\" | 3"},
      {"]x", "%[]x]%n", "0 | - | -"},
      {"abc,d", "%[^,],%s%n", "2 | \"abc\" | \"d\" | 5"},
      {"xyz", "%[abc]%d%n", "0 | - | - | -"},
      // a float without a digit is a matching failure
      {"-x", "%f%n", "0 | - | -"},
      {".e5", "%lf%n", "0 | - | -"},
      {"0x10 -0x10 010", "%i %i %i%n", "3 | 16 | -16 | 8 | 14"},
      {"ff FF 0x", "%x %X %x%n", "3 | 255 | 255 | 0 | 8"},
      {"0z", "%x%c%n", "2 | 0 | 'z' | 2"},
  };
  for (const HandRow& r : rows) {
    Slots s;
    EXPECT_EQ(Render(ScanLayer(r.input, r.format, s), r.format, s), r.expected)
        << "input \"" << r.input << "\" format \"" << r.format << "\"";
  }
}

TEST(Doscan, LongConversionsStoreEightBytes) {
  // A 4-byte store shows with -7 over zero bytes and 7 over 0xff bytes.
  struct Case {
    const char* input;
    const char* format;
    unsigned char fill;
    long expected;
  };
  const Case cases[] = {
      {"-7", "%ld", 0x00, -7}, {"-7", "%ld", 0xff, -7}, {"7", "%ld", 0xff, 7},
      {"7", "%ld", 0x00, 7},   {"7", "%lu", 0xff, 7},   {"18446744073709551615", "%lu", 0x00, -1},
  };
  for (const Case& c : cases) {
    long v;
    std::memset(&v, c.fill, sizeof v);
    EXPECT_EQ(vqio_sscanf(c.input, c.format, &v), 1);
    EXPECT_EQ(v, c.expected) << c.input << " " << c.format << " over 0x" << std::hex << int(c.fill);
  }
  int i = -1;
  short h = -1;
  EXPECT_EQ(vqio_sscanf("70000 70000", "%d %hd", &i, &h), 2);
  EXPECT_EQ(i, 70000);
  EXPECT_EQ(h, static_cast<short>(70000 - 65536));
}

TEST(Doscan, StringWidthBoundsTheStore) {
  char word[4];
  char guard[4] = {'g', 'g', 'g', 'g'};
  char rest[16];
  EXPECT_EQ(vqio_sscanf("abcdefg", "%3s%15s", word, rest), 2);
  EXPECT_STREQ(word, "abc");
  EXPECT_STREQ(rest, "defg");
  EXPECT_EQ(vqio_sscanf("xxxxxxxx", "%3[x]", word), 1);
  EXPECT_STREQ(word, "xxx");
  EXPECT_EQ(std::string(guard, 4), "gggg");
}

TEST(Doscan, ScanningAStringLiteralDoesNotWriteIntoIt) {
  // The literals live in read-only memory: a push-back that stored into the
  // string would crash here.
  int a = 0, b = 0;
  char c = 0;
  EXPECT_EQ(vqio_sscanf("12 34x", "%d %d%c", &a, &b, &c), 3);
  EXPECT_EQ(a, 12);
  EXPECT_EQ(b, 34);
  EXPECT_EQ(c, 'x');
  unsigned x = 0;
  EXPECT_EQ(vqio_sscanf("0z", "%x", &x), 1);
  EXPECT_EQ(x, 0u);
  char word[16];
  EXPECT_EQ(vqio_sscanf("word, next", "%[^,]", word), 1);
  EXPECT_STREQ(word, "word");
}

// ---------------------------------------------------------------------------
// File streams: numbers straddling the 1024-byte refill, against fscanf.

TEST(DoscanFile, NumbersStraddlingTheBufferRefillAgreeWithTheCLibrary) {
  iotest::EnsureStarted();
  iotest::TempDir dir;
  const char* line = "0x1f 0777 -123456789 3.25e-2 abc 0z 12 1234567890123\n";
  const char* format = "%i %i %ld %lf %s %x%c %d %ld";
  size_t line_length = std::strlen(line);
  for (size_t shift = 0; shift < line_length + 2; ++shift) {
    // Lines start at every offset relative to the buffer boundaries.
    std::string text(shift, ' ');
    while (text.size() < 3000) text += line;
    std::string path = dir.file("n" + std::to_string(shift));
    iotest::WriteFile(path, text);
    VqStream* v = vqio_fopen(path.c_str(), "r");
    FILE* c = std::fopen(path.c_str(), "r");
    ASSERT_NE(v, nullptr);
    ASSERT_NE(c, nullptr);
    for (int call = 0; call < 100; ++call) {
      Slots ours, theirs;
      int rv = vqio_fscanf(v, format, ours.bytes[0], ours.bytes[1], ours.bytes[2], ours.bytes[3], ours.bytes[4],
                           ours.bytes[4] + 32, ours.bytes[4] + 40, ours.bytes[4] + 48, ours.bytes[4] + 56);
      int rc = std::fscanf(c, format, theirs.bytes[0], theirs.bytes[1], theirs.bytes[2], theirs.bytes[3],
                           theirs.bytes[4], theirs.bytes[4] + 32, theirs.bytes[4] + 40, theirs.bytes[4] + 48,
                           theirs.bytes[4] + 56);
      ASSERT_EQ(rv, rc) << "shift " << shift << " call " << call;
      ASSERT_EQ(std::memcmp(ours.bytes, theirs.bytes, sizeof ours.bytes), 0) << "shift " << shift << " call " << call;
      ASSERT_EQ(vqio_ftell(v), std::ftell(c)) << "shift " << shift << " call " << call;
      if (rc < 0) break;
    }
    vqio_fclose(v);
    std::fclose(c);
  }
}

}  // namespace
