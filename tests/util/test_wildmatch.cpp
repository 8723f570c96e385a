// Wildcard matching, the case-insensitive list matches and the prefix match.
#include <string>

#include <gtest/gtest.h>

#include "util/util.h"

namespace {

struct MatchCase {
  const char* pattern;
  const char* text;
  int want;
};

const MatchCase kMatch[] = {
    {"*", "", 1},          {"?", "", 0},           {"", "", 1},
    {"", "a", 0},          {"a*", "a", 1},         {"a*b", "aXXb", 1},
    {"a*b", "aXXbc", 0},   {"*.dd", "x.dd", 1},    {"*.dd", "x.d", 0},
    {"?.c", "a.c", 1},     {"?.c", "ab.c", 0},     {"**", "abc", 1},
    {"*a*b*c", "xaybzc", 1}, {"*a*b*c", "xaybz", 0}, {"a?c*", "abcdef", 1},
    {"*x", "xxxxx", 1},    {"*[0-9]", "abc7", 1},  {"*[0-9]", "abc", 0},
    // Sets and ranges; no negation.
    {"[abc]", "c", 1},     {"[abc]", "d", 0},      {"[a-c]x", "bx", 1},
    {"[a-c]x", "dx", 0},   {"[a-z]", "m", 1},      {"[!a]", "!", 1},
    {"[!a]", "b", 0},      {"[a-cx-z]", "y", 1},   {"[a-cx-z]", "w", 0},
    // "\-" inside a set is a plain "-", so this set is {a, -, z}.
    {"[a\\-z]", "-", 1},   {"[a\\-z]", "m", 0},    {"[a\\-z]", "z", 1},
    // A "-" first or last in a set stands for itself.
    {"[-a]", "-", 1},      {"[a-]", "-", 1},       {"[a-]", "b", 0},
    // "[]" is an empty set; a "[" without "]" matches nothing.
    {"[]", "a", 0},        {"[ab", "a", 0},        {"*[ab", "xa", 0},
    // "\" takes the next pattern character as it is.
    {"\\*", "*", 1},       {"\\*", "a", 0},        {"\\?", "?", 1},
    {"\\[a]", "[a]", 1},   {"a\\", "a\\", 1},      {"a\\\\", "a\\", 1},
    // Set members compare as unsigned bytes.
    {"[\x80-\xff]", "\xe9", 1}, {"[a-z]", "\xe9", 0},
    // Many stars over a long text that does not match.
    {"*a*a*a*a*a*a*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", 0},
};

TEST(WildMatch, TableOfPatterns) {
  for (const MatchCase& c : kMatch) {
    EXPECT_EQ(wild_match(c.pattern, c.text), c.want) << c.pattern << " / " << c.text;
  }
}

TEST(WildMatch, ListMatchesIgnoreCase) {
  const char* names[] = {"a.txt", "Main.dd", "x.Dd", "readme"};
  int index = -1;
  EXPECT_EQ(wild_match_list_ci("*.DD", 4, names, &index), 1);
  EXPECT_EQ(index, 1);
  EXPECT_EQ(wild_match_list_ci("[q-z]*", 4, names, &index), 1);  // the range is upper-cased too
  EXPECT_EQ(index, 2);
  EXPECT_EQ(wild_match_list_ci("*.rgn", 4, names, &index), 0);

  int found[4] = {-1, -1, -1, -1};
  int count = -1;
  EXPECT_EQ(wild_match_list_all_ci("*.dd", 4, names, 4, &count, found), 1);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(found[0], 1);
  EXPECT_EQ(found[1], 2);
  EXPECT_EQ(wild_match_list_all_ci("*", 4, names, 3, &count, found), 1);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(found[2], 2);
  EXPECT_EQ(wild_match_list_all_ci("none", 4, names, 3, &count, found), 0);
  EXPECT_EQ(count, 0);
}

struct PrefixCase {
  const char* pattern;
  const char* text;
  int want;
  const char* out;
};

const PrefixCase kPrefix[] = {
    {"*.dd", "name.dd", 1, "name"},
    {"*.dd", "name", 1, "name"},      // no suffix: the whole name
    {"*.dd", "x.d", 1, "x"},          // ends inside the suffix: loses ".d"
    {"*.dd", "x.", 1, "x"},
    {"*.dd", "a.ddd", 1, "a.ddd"},
    {"*.dd", ".dd", 1, ".dd"},        // the run takes one character or more
    {"*.dd", "x.dd.dd", 1, "x.dd"},
    {"*.dd", "", 1, ""},
    {"*.rgn", "out.rgn", 1, "out"},
    {"pre*.dd", "pre.x.dd", 1, ".x"},
    {"pre*.dd", "abc", 0, ""},
    {"pre*.dd", "pr", 0, ""},
    {"name.dd", "name.dd", 0, ""},    // no "*"
};

TEST(WildMatchPrefix, TableOfNames) {
  for (const PrefixCase& c : kPrefix) {
    std::string out = "junk";
    EXPECT_EQ(wild_match_prefix(c.pattern, c.text, out), c.want) << c.pattern << " / " << c.text;
    EXPECT_EQ(out, c.out) << c.pattern << " / " << c.text;
  }
}

}  // namespace
