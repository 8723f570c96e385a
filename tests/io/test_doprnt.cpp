// Output engine: a generated table of flags x widths x precisions x
// conversions x values compared with the C library's snprintf, the rows
// where the layer deliberately prints otherwise worked out by hand, and the
// engine's behaviour on real streams (string capacity, unbuffered writes,
// error result, %n).
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <variant>
#include <vector>

#include "io_support.h"

// The tables hand runtime formats to both libraries on purpose.
#pragma GCC diagnostic ignored "-Wformat-nonliteral"

namespace {

using Value = std::variant<int, long, unsigned, unsigned long, double, const char*, void*>;

// Calls vqio_sprintf or snprintf with a runtime format, up to two "*"
// arguments, then the value.
std::string Print(bool layer, const std::string& fmt, const std::vector<int>& stars, const Value& v,
                  int* result) {
  static char buf[8192];
  std::memset(buf, 0x7e, sizeof buf);
  const char* f = fmt.c_str();
  *result = std::visit(
      [&](auto x) {
        auto call = [&](auto... a) {
          return layer ? vqio_sprintf(buf, f, a...) : std::snprintf(buf, sizeof buf, f, a...);
        };
        switch (stars.size()) {
          case 0:
            return call(x);
          case 1:
            return call(stars[0], x);
          default:
            return call(stars[0], stars[1], x);
        }
      },
      v);
  return buf;
}

// ---------------------------------------------------------------------------
// The generated table.

struct Conv {
  const char* conv;  // with its size letter
  std::vector<Value> values;
};

const double kInf = HUGE_VAL;

std::vector<Conv> Conversions() {
  std::vector<Value> ints = {0, 1, -1, 7, -42, 123456, INT_MAX, INT_MIN};
  std::vector<Value> longs = {0L, -7L, LONG_MAX, LONG_MIN, 1L << 40};
  std::vector<Value> uints = {0u, 1u, 8u, 255u, 0xdeadbeefu, UINT_MAX};
  std::vector<Value> ulongs = {0ul, 1ul, ULONG_MAX, 1ul << 40};
  std::vector<Value> doubles = {0.0,     -0.0,       0.05,  1e-7, 0.5,   1.5,  2.5,  -3.14159,
                                12345.678, 1e300, 123456789.0, kInf, -kInf, std::nan(""), 0.3, 9.9999999};
  std::vector<Value> strings = {"", "ab", "hello, world"};
  std::vector<Value> chars = {'A', 'z'};
  std::vector<Value> pointers = {static_cast<void*>(nullptr), reinterpret_cast<void*>(0x1234),
                                 reinterpret_cast<void*>(0x7fffdeadbeefUL)};
  return {{"d", ints},     {"i", ints},      {"ld", longs},     {"u", uints},  {"x", uints},
          {"X", uints},    {"o", uints},     {"b", uints},      {"lu", ulongs}, {"lx", ulongs},
          {"lo", ulongs},  {"lb", ulongs},   {"f", doubles},    {"e", doubles}, {"E", doubles},
          {"g", doubles},  {"G", doubles},   {"F", doubles},    {"a", doubles}, {"A", doubles},   {"s", strings},    {"c", chars},  {"p", pointers}};
}

struct Row {
  std::string flags, width, precision, conv;
  std::vector<int> stars;
  Value value;
  std::string Format() const { return "%" + flags + width + precision + conv; }
};

bool Has(const std::string& s, char c) { return s.find(c) != std::string::npos; }

std::string Without(std::string s, const char* drop) {
  std::string out;
  for (char c : s)
    if (!std::strchr(drop, c)) out += c;
  return out;
}

// Combinations whose meaning C leaves undefined, and the layer's deliberate
// differences that need a row of their own (signs on unsigned conversions,
// "#" on octal), are not generated; the hand-written table has them.
bool Generated(const std::string& flags, const std::string& precision, char conv) {
  bool sign = Has(flags, '+') || Has(flags, ' ');
  bool unsigned_conv = std::strchr("uxXobp", conv) != nullptr;
  if (Has(flags, '#') && std::strchr("diuscpo", conv)) return false;
  if (Has(flags, '0') && std::strchr("sc", conv)) return false;
  if (sign && (unsigned_conv || conv == 's' || conv == 'c')) return false;
  if (!precision.empty() && conv == 'c') return false;
  return true;
}

bool IsZeroInteger(const Value& v) {
  return std::visit(
      [](auto x) {
        if constexpr (std::is_integral_v<decltype(x)>) return x == 0;
        return false;
      },
      v);
}

// The C call that prints what the layer's rules give for a generated row.
// Each rule is a deliberate difference from C:
//  - %p prints the pointer as %lx does (no "0x", no "(nil)");
//  - an integer 0 with precision 0 prints "0", as with precision 1;
//  - %c ignores the width;
//  - %g and %G print the digits alone (no flags, no width).
Row CEquivalent(Row r, const char** rule) {
  *rule = nullptr;
  char conv = r.conv.back();
  if (conv == 'p') {
    r.conv = "lx";
    r.value = static_cast<unsigned long>(reinterpret_cast<uintptr_t>(std::get<void*>(r.value)));
    *rule = "pointer as lx";
    conv = 'x';
  }
  if (std::strchr("diuxXob", conv) && r.precision == ".0" && IsZeroInteger(r.value)) {
    r.precision = ".1";
    *rule = "zero with precision 0";
  }
  if (conv == 'c' && !r.width.empty()) {
    if (r.width == "*") r.stars.erase(r.stars.begin());
    r.width.clear();
    r.flags = Without(r.flags, "-");
    *rule = "c ignores width";
  }
  if ((conv == 'g' || conv == 'G') && (!r.width.empty() || r.flags.find_first_of("-+ 0#") != std::string::npos)) {
    if (r.width == "*") r.stars.erase(r.stars.begin());
    r.width.clear();
    r.flags.clear();
    *rule = "g digits alone";
  }
  return r;
}

TEST(Doprnt, AgreesWithTheCLibraryOnAGeneratedTable) {
  const std::vector<std::string> flag_sets = {"",   "-",  "+",  " ",  "0",  "#",  "-0",
                                              "+0", " 0", "#0", "-#", "+-", "0- "};
  const std::vector<std::string> widths = {"", "1", "8", "*"};
  const std::vector<std::string> precisions = {"", ".0", ".1", ".5", ".12", ".*"};
  size_t rows = 0, differences = 0, failures = 0;
  for (const Conv& c : Conversions()) {
    char conv = c.conv[std::strlen(c.conv) - 1];
    for (const std::string& flags : flag_sets)
      for (const std::string& width : widths)
        for (const std::string& precision : precisions) {
          if (!Generated(flags, precision, conv)) continue;
          for (const Value& v : c.values) {
            Row r{flags, width, precision, c.conv, {}, v};
            if (width == "*") r.stars.push_back(12);
            if (precision == ".*") r.stars.push_back(3);
            const char* rule;
            Row want = CEquivalent(r, &rule);
            int got_n, want_n;
            std::string got = Print(true, r.Format(), r.stars, r.value, &got_n);
            std::string expected = Print(false, want.Format(), want.stars, want.value, &want_n);
            ++rows;
            int c_n;
            if (rule && got != Print(false, r.Format(), r.stars, r.value, &c_n)) ++differences;
            if (got != expected || got_n != want_n || got_n != static_cast<int>(got.size())) {
              if (++failures <= 20)
                ADD_FAILURE() << "format \"" << r.Format() << "\" (rule: " << (rule ? rule : "none")
                              << "): got \"" << got << "\" (" << got_n << "), want \"" << expected
                              << "\" (" << want_n << ")";
            }
          }
        }
  }
  EXPECT_EQ(failures, 0u) << "of " << rows << " rows";
  EXPECT_GT(rows, 10000u);
  EXPECT_GT(differences, 100u);  // the deliberate differences were exercised
}

// ---------------------------------------------------------------------------
// Rows worked out by hand: the layer's own rules, most of them unlike C.

struct HandRow {
  const char* format;
  std::vector<int> stars;
  Value value;
  const char* expected;
};

TEST(Doprnt, FollowsTheLayersOwnRules) {
  const HandRow rows[] = {
      // strings and characters
      {"%5s", {}, "ab", "   ab"},
      {"%-5s", {}, "cd", "cd   "},
      {"%s", {}, static_cast<const char*>(nullptr), "(null)"},
      {"%.3s", {}, static_cast<const char*>(nullptr), "(nu"},
      {"%8s|", {}, static_cast<const char*>(nullptr), "  (null)|"},
      {"%5.1s", {}, "xyz", "    x"},
      {"%5c|", {}, 'a', "a|"},
      {"%-5c|", {}, 'a', "a|"},
      {"%c", {}, 0x141, "A"},
      // prefixes, binary, signs on unsigned conversions (the later flag wins)
      {"%#x", {}, 255u, "0xff"},
      {"%#X", {}, 255u, "0XFF"},
      {"%#o", {}, 8u, "010"},
      {"%#o", {}, 0u, "00"},
      {"%#.3o", {}, 8u, "0010"},
      {"%#5o", {}, 0u, "   00"},
      {"%#06o", {}, 8u, "000010"},
      {"%b", {}, 5u, "101"},
      {"%#b", {}, 5u, "0b101"},
      {"%#b", {}, 0u, "0"},
      {"%+u", {}, 3u, "+3"},
      {"%+6u", {}, 3u, "    +3"},
      {"% u", {}, 0u, " 0"},
      {"%+x", {}, 255u, "+ff"},
      {"%+06x", {}, 255u, "+000ff"},
      {"%-+6b", {}, 5u, "+101  "},
      {"%+#x", {}, 255u, "+0xff"},
      {"% o", {}, 8u, " 10"},
      {"%+p", {}, reinterpret_cast<void*>(0x10), "+10"},
      {"%+ d", {}, 5, " 5"},
      {"% +d", {}, 5, "+5"},
      // precision and zero values
      {"%.3d", {}, 7, "007"},
      {"%.0d", {}, 0, "0"},
      {"%5.0u", {}, 0u, "    0"},
      {"%.0x|", {}, 0u, "0|"},
      {"%.d", {}, 7, "7"},
      {"%.f", {}, 1.5, "1.500000"},
      {"%.s", {}, "abc", "abc"},
      {"%.*d", {-1}, 7, "7"},
      // zero padding after the sign and prefix; "-" and a precision cancel it
      {"%05d", {}, -5, "-0005"},
      {"%-05d|", {}, 5, "5    |"},
      {"%#08x", {}, 255u, "0x0000ff"},
      {"%08.3d", {}, -5, "    -005"},
      {"%+07.2f", {}, 3.14159, "+003.14"},
      {"%08.2f", {}, -kInf, "    -inf"},
      // a negative "*" width toggles left-justification
      {"%*d|", {-6}, 42, "42    |"},
      {"%-*d|", {-6}, 42, "    42|"},
      // floating point: C's digits and form, %g without flags and padding
      {"%e", {}, 12345.678, "1.234568e+04"},
      {"%.0e", {}, 5.0, "5e+00"},
      {"%#.0e", {}, 5.0, "5.e+00"},
      {"%.2f", {}, 0.3, "0.30"},
      {"%.2f", {}, 0.05, "0.05"},
      {"%f", {}, 1e-7, "0.000000"},
      {"%.0f", {}, 2.5, "2"},
      {"%#.0f", {}, 3.0, "3."},
      {"%+g|", {}, 1.5, "1.5|"},
      {"%10g|", {}, 2.5, "2.5|"},
      {"%#g", {}, 1.0, "1"},
      {"%-8.3g|", {}, 3.14159, "3.14|"},
      {"%G", {}, 1e-10, "1E-10"},
      {"%G", {}, kInf, "INF"},
      {"%f", {}, std::nan(""), "nan"},
      // 64-bit integers and pointers
      {"%ld", {}, LONG_MIN, "-9223372036854775808"},
      {"%lu", {}, ULONG_MAX, "18446744073709551615"},
      {"%lx", {}, 0x123456789aul, "123456789a"},
      {"%0*lx", {12}, 0xabcdeful, "000000abcdef"},
      {"%lb", {}, 1ul << 40, "10000000000000000000000000000000000000000"},
      {"%p", {}, static_cast<void*>(nullptr), "0"},
      {"%p", {}, reinterpret_cast<void*>(0x1234), "1234"},
      {"%#p", {}, reinterpret_cast<void*>(0xabc), "abc"},
      {"%p", {}, reinterpret_cast<void*>(0xdeadbeef12345678UL), "deadbeef12345678"},
      {"%zu", {}, 5ul, "5"},
      {"%lld", {}, -3L, "-3"},
      {"%hd", {}, 70000, "70000"},
      // unknown conversions, "%%", and a "%" ending the format
      {"%q", {}, 0, "q"},
      {"%-08q|", {}, 0, "q|"},
      {"%%", {}, 0, "%"},
      {"%5%|", {}, 0, "%|"},
      {"abc%", {}, 0, "abc"},
      {"x%-5", {}, 0, "x"},
      {"%", {}, 0, ""},
      {"", {}, 0, ""},
  };
  for (const HandRow& r : rows) {
    int n;
    std::string got = Print(true, r.format, r.stars, r.value, &n);
    EXPECT_EQ(got, r.expected) << "format \"" << r.format << "\"";
    EXPECT_EQ(n, static_cast<int>(std::strlen(r.expected))) << "format \"" << r.format << "\"";
  }
}

// ---------------------------------------------------------------------------
// Streams

TEST(Doprnt, StringStreamStoresAtMost32766CharactersButCountsAll) {
  std::vector<char> buf(40000, '#');
  EXPECT_EQ(vqio_sprintf(buf.data(), "%s%39990d", "abc", 7), 39993);
  EXPECT_EQ(std::strlen(buf.data()), 32766u);
  EXPECT_EQ(std::string(buf.data(), 5), "abc  ");
  EXPECT_EQ(buf[32767], '#');  // nothing after the NUL

  // Exactly at the capacity nothing is lost.
  EXPECT_EQ(vqio_sprintf(buf.data(), "%32766d", 9), 32766);
  EXPECT_EQ(buf[32765], '9');
  EXPECT_EQ(buf[32766], '\0');
}

TEST(Doprnt, CountStoresHonourTheirSize) {
  int n = -1;
  char buf[64];
  EXPECT_EQ(vqio_sprintf(buf, "ab%ncd%s", &n, "xyz"), 7);
  EXPECT_EQ(n, 2);

  // %hn stores two bytes, %ln eight; the neighbours stay untouched.
  unsigned char shorts[8];
  std::memset(shorts, 0xff, sizeof shorts);
  vqio_sprintf(buf, "%5d%hn", 1, reinterpret_cast<short*>(shorts + 2));
  const unsigned char want_short[8] = {0xff, 0xff, 5, 0, 0xff, 0xff, 0xff, 0xff};
  EXPECT_EQ(std::memcmp(shorts, want_short, 8), 0);
  long l = -1;
  vqio_sprintf(buf, "%3s%ln", "", &l);
  EXPECT_EQ(l, 3);
}

class DoprntStream : public ::testing::Test {
 protected:
  void SetUp() override { iotest::EnsureStarted(); }
  iotest::TempDir dir_;
};

TEST_F(DoprntStream, UnbufferedStreamWritesEachPieceAtOnce) {
  std::string path = dir_.file("out");
  VqStream* s = vqio_fopen(path.c_str(), "w");
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(vqio_setvbuf(s, nullptr, VQ_IONBF, 0), 0);
  size_t writes;
  {
    iotest::ScopedIoFaults log;
    EXPECT_EQ(vqio_fprintf(s, "name: %-6s|%05d|%x\n", "ab", -3, 255u), 22);
    writes = iotest::ScopedIoFaults::log().writes.size();
  }
  EXPECT_EQ(vqio_fclose(s), 0);
  EXPECT_EQ(iotest::ReadFile(path), "name: ab    |-0003|ff\n");
  // Plain text runs, the string and each number go out as whole pieces.
  EXPECT_LE(writes, 12u);
}

TEST_F(DoprntStream, BufferedStreamAndStandardOutputWrapper) {
  std::string path = dir_.file("out");
  VqStream* s = vqio_fopen(path.c_str(), "w");
  ASSERT_NE(s, nullptr);
  std::string expected;
  for (int i = 0; i < 300; ++i) {
    EXPECT_EQ(vqio_fprintf(s, "%4d:%s\n", i, "line"), 10);
    char line[16];
    std::snprintf(line, sizeof line, "%4d:%s\n", i, "line");
    expected += line;
  }
  EXPECT_EQ(vqio_fclose(s), 0);
  EXPECT_EQ(iotest::ReadFile(path), expected);
}

TEST_F(DoprntStream, ResultIsMinusOneWhenTheStreamFails) {
  VqStream* s = vqio_fopen("/dev/full", "w");
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(vqio_setvbuf(s, nullptr, VQ_IONBF, 0), 0);
  EXPECT_EQ(vqio_fprintf(s, "%d", 5), -1);
  vqio_fclose(s);

  // A stream opened for reading takes no output.
  std::string path = dir_.file("in");
  iotest::WriteFile(path, "x");
  VqStream* r = vqio_fopen(path.c_str(), "r");
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(vqio_fprintf(r, "%d", 5), -1);
  vqio_fclose(r);
}

}  // namespace
