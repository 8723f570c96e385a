// Field splitting: the quoting, terminator and appending rules.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "util/util.h"

namespace {

using Fields = std::vector<std::string>;

struct SplitCase {
  const char* line;
  const char* separators;
  const char* quotes;
  const char* terminators;
  Fields plain;   // split_fields
  Fields quoted;  // split_fields_q
};

const SplitCase kCases[] = {
    // A quoted field holding a separator comes whole, with or without quotes.
    {"a \"b c\" d", " ", "\"", "", {"a", "b c", "d"}, {"a", "\"b c\"", "d"}},
    // The filter-list split at "|" keeps a quoted "|" inside its element.
    {"mfsio|double|\"a|b\"(x)|meta", "|", "\"", "",
     {"mfsio", "double", "a|b", "meta"},
     {"mfsio", "double", "\"a|b\"(x)", "meta"}},
    // Display formats: blanks and commas, double quotes.
    {"sgml, \"My Group\" root", " ,", "\"", "",
     {"sgml", "My Group", "root"},
     {"sgml", "\"My Group\"", "root"}},
    // A quote in mid-field; after the closing quote the blank is a separator,
    // so what follows starts the next field.
    {"ab\"cd\"ef gh", " ", "\"", "", {"abcd", "ef", "gh"}, {"ab\"cd\"ef", "gh"}},
    // ... and when the blank is no separator, it belongs to no field.
    {"ab\"cd\"ef,gh", ",", "\"", "", {"abcd", "gh"}, {"ab\"cd\"ef", "gh"}},
    // A terminator ends the line, also inside a quoted stretch.
    {"a b # c d", " ", "\"", "#", {"a", "b"}, {"a", "b"}},
    {"a \"b # c\" d", " ", "\"", "#", {"a", "b "}, {"a", "\"b "}},
    {"#abc", " ", "", "#", {}, {}},
    // An unterminated stretch runs to the end of the line.
    {"x \"y z", " ", "\"", "", {"x", "y z"}, {"x", "\"y z"}},
    // An empty quoted stretch is an empty field.
    {"\"\" x", " ", "\"", "", {"", "x"}, {"\"\"", "x"}},
    // Runs of separators make no empty fields.
    {",,a,,b,", ",", "", "", {"a", "b"}, {"a", "b"}},
    {"", " ", "\"", "", {}, {}},
    // Empty and null sets.
    {"abc def", "", nullptr, nullptr, {"abc def"}, {"abc def"}},
    {"double(2)", "()", "", "", {"double", "2"}, {"double", "2"}},
    // The closing quote is the one that opened the stretch.
    {"'a\"b' c", " ", "\"'", "", {"a\"b", "c"}, {"'a\"b'", "c"}},
};

Fields strings_of(const std::vector<char*>& fields, size_t from = 0) {
  Fields out;
  for (size_t i = from; i < fields.size(); ++i) out.emplace_back(fields[i]);
  return out;
}

TEST(SplitFields, TableOfLines) {
  for (const SplitCase& c : kCases) {
    SCOPED_TRACE(c.line);
    std::string a = c.line, b = c.line;
    std::vector<char*> fa, fb;
    EXPECT_EQ(split_fields(a.data(), c.separators, c.quotes, c.terminators, fa),
              static_cast<int>(c.plain.size()));
    EXPECT_EQ(strings_of(fa), c.plain);
    EXPECT_EQ(split_fields_q(b.data(), c.separators, c.quotes, c.terminators, fb),
              static_cast<int>(c.quoted.size()));
    EXPECT_EQ(strings_of(fb), c.quoted);
  }
}

TEST(SplitFields, SeparatorsBecomeNulsInPlaceAndCountAppends) {
  char line[] = "k1=v1;k2=v2";
  std::vector<char*> fields;
  fields.push_back(nullptr);  // a list that already holds one entry
  EXPECT_EQ(split_fields(line, ";", "", "", fields), 3);
  EXPECT_EQ(fields[1], line);
  EXPECT_EQ(fields[2], line + 6);
  EXPECT_EQ(line[5], '\0');
  std::vector<char*> parts;
  split_fields(fields[2], "=", "", "", parts);
  EXPECT_EQ(strings_of(parts), (Fields{"k2", "v2"}));
  EXPECT_EQ(split_fields(nullptr, ";", "", "", parts), 2);
}

TEST(NextToken, SkipsBlanksCommasSlashesAndEquals) {
  const char* s = "  ,name/value= x\ty\n";
  std::string tok;
  Fields got;
  for (s = next_token(s, tok); !tok.empty(); s = next_token(s, tok)) got.push_back(tok);
  EXPECT_EQ(got, (Fields{"name", "value", "x", "y"}));
  EXPECT_EQ(*s, '\0');
}

TEST(SplitAtChar, SkipsLeadingDelimitersAndSplitsAtRuns) {
  char a[] = " ,::a b::c:d::";
  std::vector<char*> f;
  EXPECT_EQ(split_at_char(a, ':', f), 3);
  EXPECT_EQ(strings_of(f), (Fields{"a b", "c", "d"}));
  char b[] = "=/x;y";
  f.clear();
  EXPECT_EQ(split_at_char(b, ';', f), 2);
  EXPECT_EQ(strings_of(f), (Fields{"x", "y"}));
  char c[] = "::";
  f.clear();
  EXPECT_EQ(split_at_char(c, ':', f), 0);
}

}  // namespace
