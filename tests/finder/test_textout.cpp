// The text forms of the line-format output and of normalize: every byte
// class of the data escapes (the marker bytes 29, 30 and 31 that only the
// parser's own texts carry included), the name escapes, and the normalize
// text writer. Expected texts are worked out from the escape rules.
#include <gtest/gtest.h>

#include <string>

#include "finder/finder.h"

namespace {

struct Case {
  const char* label;
  std::string in;
  bool sdata;
  const char* want;
};

std::string data_form(const std::string& in, bool sdata) {
  std::string out;
  lineout_escape_data(out, reinterpret_cast<const unsigned char*>(in.data()), in.size(), sdata);
  return out;
}

TEST(LineoutEscapes, Data) {
  using namespace std::string_literals;
  const Case cases[] = {
      {"plain", "abc", false, "abc"},
      {"record end inside data", "a\rb", false, "a\\nb"},
      {"line feed dropped", "a\nb", false, "ab"},
      {"backslash doubled", "a\\b", false, "a\\\\b"},
      {"tab in octal", "a\tb", false, "a\\011b"},
      {"byte 233 in octal", "a\xE9", false, "a\\351"},
      {"byte 127 in octal", "\x7F", false, "\\177"},
      {"blank and tilde printable", " ~", false, " ~"},
      {"30 outside SDATA", "a\x1E" "b", false, "a\\|b"},
      {"29 dropped", "a\x1D" "b", false, "ab"},
      {"31 M is a record end", "a\x1FMb", false, "a\\nb"},
      {"31 64 is byte 0", "a\x1F@b", false, "a\\000b"},
      {"31 J is a line feed, dropped", "a\x1FJb", false, "ab"},
      {"31 and a backslash plus 64", "\x1F\x9C", false, "\\\\"},
      {"31 wraps below 64", "\x1F\x01", false, "\\301"},
      {"31 last ends the text", "ab\x1F", false, "ab"},
      {"NUL in the middle", "a\0b"s, false, "a\\000b"},
      {"SDATA bracketed", "[trade]", true, "\\|[trade]\\|"},
      {"empty SDATA", "", true, "\\|\\|"},
      {"30 dropped inside SDATA", "x\x1Ey", true, "\\|xy\\|"},
      {"SDATA escapes its bytes", "a\rb\\", true, "\\|a\\nb\\\\\\|"},
  };
  for (const Case& c : cases) EXPECT_EQ(data_form(c.in, c.sdata), c.want) << c.label;
}

TEST(LineoutEscapes, AppendsToWhatIsThere) {
  std::string out = "-";
  lineout_escape_data(out, reinterpret_cast<const unsigned char*>("x"), 1, false);
  lineout_escape_name(out, "y z");
  EXPECT_EQ(out, "-xy\\sz");
}

TEST(LineoutEscapes, Names) {
  const struct {
    const char* in;
    const char* want;
  } cases[] = {
      {"plain.sgm", "plain.sgm"},
      {"my part.txt", "my\\spart.txt"},
      {"a\nb", "a\\nb"},
      {"a\\b", "a\\\\b"},
      {"a\rb", "a\\015b"},
      {"\t\xE9", "\\011\\351"},
      {"", ""},
  };
  for (const auto& c : cases) {
    std::string out;
    lineout_escape_name(out, c.in);
    EXPECT_EQ(out, c.want) << c.in;
  }
}

TEST(NormalizeText, Bytes) {
  using namespace std::string_literals;
  const struct {
    const char* label;
    std::string in;
    std::string want;
  } cases[] = {
      {"plain", "a<b&c", "a<b&c"},
      {"record end is a newline", "a\rb", "a\nb"},
      {"line feed dropped", "a\nb", "ab"},
      {"backslash stays one", "a\\b", "a\\b"},
      {"other bytes unchanged", "\t\xE9\x1D\x1E\x7F", "\t\xE9\x1D\x1E\x7F"},
      {"31 M is a newline", "a\x1FMb", "a\nb"},
      {"31 64 is byte 0", "a\x1F@b", "a\0b"s},
      {"31 last ends the text", "ab\x1F", "ab"},
      {"NUL kept", "a\0b"s, "a\0b"s},
  };
  for (const auto& c : cases) {
    std::string out;
    normalize_text(out, reinterpret_cast<const unsigned char*>(c.in.data()), c.in.size());
    EXPECT_EQ(out, c.want) << c.label;
  }
}

// Texts that must read back as the same data or value: the delimiters and
// escaped characters written as character references.
TEST(NormalizeText, References) {
  using namespace std::string_literals;
  const struct {
    const char* label;
    NormalizeText how;
    std::string before;  // already in out
    std::string in;
    std::string want;    // appended
  } cases[] = {
      {"content: < and &", kTextContent, "", "a<b&c", "a&#60;b&#38;c"},
      {"content: ]]> closes no marked section", kTextContent, "", "x]]>y", "x]]&#62;y"},
      {"content: ]] before in out", kTextContent, "]]", ">", "&#62;"},
      {"content: one ] is no MSC", kTextContent, "", "]>", "]>"},
      {"content: > alone", kTextContent, "", "a>b", "a>b"},
      {"content: NUL of a reference", kTextContent, "", "a\x1F@b", "a&#0;b"},
      {"content: escaped 127", kTextContent, "", "\x1F\xBF", "&#127;"},
      {"content: escaped tab and blank stay", kTextContent, "", "\x1FI\x1F`", "\t "},
      {"content: escaped record end", kTextContent, "", "\x1FM", "\n"},
      {"content: quote stays", kTextContent, "", "\"", "\""},
      {"value: quote and &", kTextValue, "", "a\"b&c<d", "a&#34;b&#38;c<d"},
      {"value: escaped tab", kTextValue, "", "a\x1FIb", "a&#9;b"},
      {"value: escaped record end", kTextValue, "", "\x1FM", "&#13;"},
      {"as is: nothing referenced", kTextAsIs, "", "<&\"]]>\x1F@", "<&\"]]>\0"s},
  };
  for (const auto& c : cases) {
    std::string out = c.before;
    normalize_text(out, reinterpret_cast<const unsigned char*>(c.in.data()), c.in.size(), c.how);
    EXPECT_EQ(out.substr(c.before.size()), c.want) << c.label;
  }
}

}  // namespace
