// Character-set and string helpers, number formatting.
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "util/util.h"

namespace {

TEST(Strings, CharacterSetTests) {
  EXPECT_EQ(str_is_digits("0123"), 1);
  EXPECT_EQ(str_is_digits(""), 1);
  EXPECT_EQ(str_is_digits("12a"), 0);
  EXPECT_EQ(str_is_digits("\xb2"), 0);  // a high byte is no digit
  EXPECT_EQ(str_is_digits(nullptr), 0);

  EXPECT_EQ(char_in_str('b', "abc"), 1);
  EXPECT_EQ(char_in_str('z', "abc"), 0);
  EXPECT_EQ(char_in_str('\0', "abc"), 0);
  EXPECT_EQ(char_in_str('a', nullptr), 0);

  EXPECT_EQ(str_shares_char("hello", "xyzo"), 1);
  EXPECT_EQ(str_shares_char("hello", "xyz"), 0);
  EXPECT_EQ(str_shares_char("", "a"), 0);
  EXPECT_EQ(str_shares_char(nullptr, "a"), 0);
  EXPECT_EQ(str_shares_char("a", ""), 0);

  EXPECT_EQ(str_all_in_set("abba", "ab"), 1);
  EXPECT_EQ(str_all_in_set("abc", "ab"), 0);
  EXPECT_EQ(str_all_in_set("", "ab"), 1);
  EXPECT_EQ(str_all_in_set(nullptr, "ab"), 0);
}

TEST(Strings, CaseMappingAndComparison) {
  char s[] = "MiXed \xe9 1";
  EXPECT_EQ(str_upper(s), 1);
  EXPECT_STREQ(s, "MIXED \xe9 1");
  EXPECT_EQ(str_lower(s), 1);
  EXPECT_STREQ(s, "mixed \xe9 1");
  EXPECT_EQ(str_upper(nullptr), 0);
  EXPECT_EQ(str_lower(nullptr), 0);

  EXPECT_EQ(str_casecmp("Title", "tITLE"), 0);
  EXPECT_LT(str_casecmp("abc", "ABD"), 0);
  EXPECT_GT(str_casecmp("abc", "AB"), 0);
  // Lower-casing comes first: "_" (0x5F) sorts after "A" but before "a".
  EXPECT_LT(str_casecmp("_", "A"), 0);

  char r[] = "a/b/c";
  EXPECT_EQ(str_replace_char(r, '/', '\\'), 1);
  EXPECT_STREQ(r, "a\\b\\c");
}

TEST(Strings, CopiesIntoStrings) {
  std::string out;
  EXPECT_EQ(str_strip_set("a-b_c-", "-_", out), 1);
  EXPECT_EQ(out, "abc");
  EXPECT_EQ(str_strip_set(nullptr, "-", out), 0);
  EXPECT_EQ(out, "");

  str_copy_n("abcdef", 3, out);
  EXPECT_EQ(out, "abc");
  str_copy_n("ab", 3, out);
  EXPECT_EQ(out, "ab");
  str_copy_n("abc", 0, out);
  EXPECT_EQ(out, "");

  str_ltrim_set("  \txy  ", " \t", out);
  EXPECT_EQ(out, "xy  ");
  str_rtrim_set("  xy \t ", " \t", out);
  EXPECT_EQ(out, "  xy");
  str_rtrim_set("   ", " ", out);
  EXPECT_EQ(out, "");

  EXPECT_EQ(str_len0(nullptr), 0u);
  EXPECT_EQ(str_len0("abc"), 3u);
  EXPECT_EQ(str_dup0(nullptr), nullptr);

  char* a = str_dup0("abc");
  char* c = str_concat(a, "def");
  char* l = str_concat_list("x", "", "yz", a, static_cast<const char*>(nullptr));
  EXPECT_STREQ(c, "abcdef");
  EXPECT_STREQ(l, "xyzabc");
  char d[4] = "xyz";
  EXPECT_EQ(copy_n(d, "ab", 2), 1);
  EXPECT_STREQ(d, "abz");
  EXPECT_EQ(xfree(a), 1);
  free(c);
  free(l);
  void* x = xcalloc(3, 4);
  EXPECT_EQ(static_cast<int*>(x)[2], 0);
  free(x);
  free(xmalloc(1));
}

struct TrimCase {
  double x;
  int decimals;
  const char* want;
};

const TrimCase kTrim[] = {
    {2.5, 2, "2.5"},      {3, 3, "3.0"},        {3, 0, "3"},
    {10, 0, "10"},        {2.75, 0, "3"},       {0.3, 2, "0.3"},
    {-1.26, 1, "-1.3"},   {100, 2, "100.0"},    {0.001, 2, "0.0"},
    {1234.5678, 3, "1234.568"}, {1e21, 1, "1000000000000000000000.0"},
    {0.1, -3, "0"},       {-0.04, 1, "-0.0"},
};

TEST(FormatDoubleTrim, TableOfValues) {
  std::string out;
  for (const TrimCase& c : kTrim) {
    format_double_trim(c.x, c.decimals, out);
    EXPECT_EQ(out, c.want) << c.x << " with " << c.decimals;
  }
  format_double3(1, 2.5, 0.126, 2, out);
  EXPECT_EQ(out, "1.0 2.5 0.13");
}

}  // namespace
