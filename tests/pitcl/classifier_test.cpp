// The named character sets, set texts and definitions of WordStarters, the
// stop-word mask rows and the classifier hash.
#include <gtest/gtest.h>

#include <functional>

#include "builder/fatal_reports.h"
#include "pitcl/pitcl.h"

namespace {

using Member = std::function<bool(int)>;

bool between(int c, int lo, int hi) { return c >= lo && c <= hi; }
bool latin_upper(int c) { return between(c, 0xC0, 0xCF) || between(c, 0xD1, 0xD6) || between(c, 0xD9, 0xDD); }
bool latin_lower(int c) {
  return between(c, 0xE0, 0xEF) || between(c, 0xF1, 0xF6) || between(c, 0xF9, 0xFD) || c == 0xFF;
}
bool ascii_punct(int c) { return between(c, 33, 126) && !std::isalnum(c); }

// The sets as the table describes them, written as membership tests.
const std::vector<std::pair<std::string, Member>>& expected_sets() {
  static const std::vector<std::pair<std::string, Member>> sets = {
      {"printable", [](int c) { return between(c, 33, 126); }},
      {"ISO_printable", [](int c) { return between(c, 33, 126) || between(c, 161, 255); }},
      {"alphabetic", [](int c) { return std::isalpha(c) && c < 128; }},
      {"ISO_alphabetic",
       [](int c) { return (c < 128 && std::isalpha(c)) || latin_upper(c) || latin_lower(c); }},
      {"uppercase", [](int c) { return between(c, 'A', 'Z'); }},
      {"ISO_uppercase", [](int c) { return between(c, 'A', 'Z') || latin_upper(c); }},
      {"lowercase", [](int c) { return between(c, 'a', 'z'); }},
      {"ISO_lowercase", [](int c) { return between(c, 'a', 'z') || latin_lower(c); }},
      {"alphanumeric", [](int c) { return c < 128 && std::isalnum(c); }},
      {"ISO_alphanumeric",
       [](int c) { return (c < 128 && std::isalnum(c)) || latin_upper(c) || latin_lower(c); }},
      {"special", [](int c) { return c < 128 && ascii_punct(c); }},
      {"ISO_special",
       [](int c) {
         return (c < 128 && ascii_punct(c)) || between(c, 161, 191) || c == 0xD0 || c == 0xD7 ||
                c == 0xD8 || c == 0xDE || c == 0xDF || c == 0xF0 || c == 0xF7 || c == 0xF8 ||
                c == 0xFE;
       }},
      {"all", [](int c) { return between(c, 1, 127); }},
      {"ISO_all", [](int c) { return between(c, 1, 255); }},
      {"numeric", [](int c) { return between(c, '0', '9'); }},
      {"amp", [](int c) { return c == '&'; }},
      {"backspace", [](int c) { return c == 8; }},
      {"lt", [](int c) { return c == '<'; }},
      {"gt", [](int c) { return c == '>'; }},
      {"newline", [](int c) { return c == 10; }},
      {"return", [](int c) { return c == 13; }},
      {"tab", [](int c) { return c == 9; }},
  };
  return sets;
}

TEST(NamedSets, EveryNameHoldsExactlyItsCharacters) {
  FatalRecorder recorder;
  for (const auto& [name, member] : expected_sets()) {
    CharSet set;
    ASSERT_EQ(pitcl_named_set(name, 256, &set), 0) << name;
    for (int c = 0; c < 256; ++c) EXPECT_EQ(set[c], member(c)) << name << " byte " << c;
  }
  // Sizes the table states in words.
  CharSet set;
  pitcl_named_set("printable", 256, &set);
  EXPECT_EQ(set.count(), 94u);
  pitcl_named_set("special", 256, &set);
  EXPECT_EQ(set.count(), 32u);
}

TEST(NamedSets, NamesMatchExactly) {
  FatalRecorder recorder;
  CharSet set;
  for (const char* name : {"Printable", "printable ", "ISO-printable", ""}) {
    FatalReport r = fatal_of([&] { pitcl_named_set(name, 256, &set); });
    EXPECT_EQ(r.severity, 9) << name;
    EXPECT_EQ(r.text, std::string("150000: Invalid meta-character in WordStarters definition '") +
                          name + "'");
  }
}

TEST(SetTexts, ListsRangesAndCodes) {
  FatalRecorder recorder;
  struct Case {
    const char* text;
    std::vector<int> members;
  };
  const Case cases[] = {
      {"abc", {'a', 'b', 'c'}},
      {"U+41U+7E", {'A', '~'}},
      {"range:a-cx-x", {'a', 'b', 'c', 'x'}},
      {"RANGE:0-1U+FE-U+FF", {'0', '1', 0xFE, 0xFF}},
      {"U+", {'U', '+'}},  // no digit: the two characters themselves
      {"Range:", {}},
  };
  for (const Case& c : cases) {
    CharSet set;
    ASSERT_EQ(pitcl_parse_set(c.text, 256, "t", &set), 0) << c.text;
    CharSet want;
    for (int m : c.members) want.set(static_cast<size_t>(m));
    EXPECT_EQ(set, want) << c.text;
  }
}

TEST(SetTexts, BadRangesAndValuesAreReported) {
  FatalRecorder recorder;
  CharSet set;
  struct Case {
    const char* text;
    int severity;
    std::string message;
  };
  const Case cases[] = {
      {"Range:A", 15, "150004: Bad range in metacharacter 'nm'"},
      {"Range:A-", 15, "150004: Bad range in metacharacter 'nm'"},
      {"Range:AB-C", 15, "150004: Bad range in metacharacter 'nm'"},
      {"Range:Z-A", 15, "150005: "},
      {"U+100", 9,
       "150003: Character value (100) in metacharacter exceeds largest value (255) in character "
       "set encoding."},
      {"Range:a-U+1FF", 9,
       "150003: Character value (1FF) in metacharacter exceeds largest value (255) in character "
       "set encoding."},
  };
  for (const Case& c : cases) {
    FatalReport r = fatal_of([&] { pitcl_parse_set(c.text, 256, "nm", &set); });
    EXPECT_EQ(r.severity, c.severity) << c.text;
    EXPECT_EQ(r.text.substr(0, c.message.size()), c.message) << c.text;
  }
  // An alphabet smaller than 256 bounds the values as well.
  FatalReport r = fatal_of([&] { pitcl_parse_set("U+80", 128, "nm", &set); });
  EXPECT_EQ(r.text, "150003: Character value (80) in metacharacter exceeds largest value (127) "
                    "in character set encoding.");
}

TEST(Definitions, TwoSpecificationsBackToBack) {
  FatalRecorder recorder;
  CharSet before, start;
  ASSERT_EQ(pitcl_parse_definition(" &ISO_printable.", 256, &before, &start), 0);
  EXPECT_EQ(before.count(), 1u);
  EXPECT_TRUE(before[' ']);
  EXPECT_EQ(start.count(), 94u + 95u);
  ASSERT_EQ(pitcl_parse_definition("&gt.&lt.", 256, &before, &start), 0);
  EXPECT_TRUE(before['>'] && before.count() == 1 && start['<'] && start.count() == 1);
  ASSERT_EQ(pitcl_parse_definition("ab", 256, &before, &start), 0);
  EXPECT_TRUE(before['a'] && start['b']);
  ASSERT_EQ(pitcl_parse_definition("..", 256, &before, &start), 0);
  EXPECT_TRUE(before['.'] && start['.']);
}

TEST(Definitions, MalformedOnesNameTheDefinition) {
  FatalRecorder recorder;
  CharSet before, start;
  const std::string long_name = "&" + std::string(63, 'a') + ".x";
  for (std::string d : {std::string(""), std::string("a"), std::string("abc"),
                        std::string("&lt"), std::string("&.a"), std::string("&lt.&gt.x"),
                        long_name}) {
    FatalReport r = fatal_of([&] { pitcl_parse_definition(d.c_str(), 256, &before, &start); });
    EXPECT_EQ(r.severity, 9) << d;
    EXPECT_EQ(r.text, "150000: Invalid meta-character in WordStarters definition '" + d + "'");
  }
  FatalReport r = fatal_of([&] { pitcl_parse_definition("&nosuch.a", 256, &before, &start); });
  EXPECT_EQ(r.text, "150000: Invalid meta-character in WordStarters definition 'nosuch'");
}

TEST(StopMasks, RowsFollowTheWords) {
  FatalRecorder recorder;
  std::vector<MaskRow> rows;
  ASSERT_EQ(pitcl_stop_masks({"of", "the", "a"}, &rows), 0);
  ASSERT_EQ(rows.size(), 4u);  // rows 0..3 for the longest word "the"
  // Count every set bit: each word sets one bit per character and one for
  // its closing blank; row 0's blank is all ones.
  EXPECT_EQ(rows[0]['o'], 1u);
  EXPECT_EQ(rows[0]['t'], 2u);
  EXPECT_EQ(rows[0]['a'], 4u);
  EXPECT_EQ(rows[0][' '], 0xFFFFFFFFu);
  EXPECT_EQ(rows[1]['f'], 1u);
  EXPECT_EQ(rows[1]['h'], 2u);
  EXPECT_EQ(rows[1][' '], 4u);
  EXPECT_EQ(rows[2][' '], 1u);
  EXPECT_EQ(rows[2]['e'], 2u);
  EXPECT_EQ(rows[3][' '], 2u);
  int bits = 0;
  for (size_t r = 0; r < rows.size(); ++r) {
    for (int c = 0; c < 256; ++c) {
      if (r == 0 && c == ' ') continue;
      bits += __builtin_popcount(rows[r][c]);
    }
  }
  EXPECT_EQ(bits, (2 + 1) + (3 + 1) + (1 + 1));
}

TEST(StopMasks, LatinBytesIndexUnsignedAndNoWordsGiveOneRow) {
  FatalRecorder recorder;
  std::vector<MaskRow> rows;
  ASSERT_EQ(pitcl_stop_masks({"\xE9t\xE9"}, &rows), 0);
  EXPECT_EQ(rows[0][0xE9], 1u);
  EXPECT_EQ(rows[2][0xE9], 1u);
  ASSERT_EQ(pitcl_stop_masks({}, &rows), 0);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][' '], 0xFFFFFFFFu);
}

TEST(StopMasks, ThirtyTwoWordsAreTheLimit) {
  FatalRecorder recorder;
  std::vector<std::string> words;
  for (int i = 0; i < 32; ++i) words.push_back("w" + std::to_string(i));
  std::vector<MaskRow> rows;
  ASSERT_EQ(pitcl_stop_masks(words, &rows), 0);
  EXPECT_EQ(rows[1]['0'] & 0x80000000u, 0u);
  EXPECT_EQ(rows[0]['w'], 0xFFFFFFFFu);
  words.push_back("w32");
  FatalReport r = fatal_of([&] { pitcl_stop_masks(words, &rows); });
  EXPECT_EQ(r.severity, 9);
  EXPECT_EQ(r.text, "150001: Too many stop words for this implementation.");
}

// The hash computed from its definition over explicit arrays.
int32_t reference_hash(const unsigned char map[256], const std::vector<unsigned char>& pairs,
                       const std::vector<MaskRow>& rows) {
  int64_t a = 0, b = 0, c = 0;
  const int64_t m = int64_t{1} << 32;
  for (int i = 0; i < 256; ++i) a = (a * 3277 + static_cast<int8_t>(map[i]) + m) % m;
  for (unsigned char t : pairs) b = (b * 3277 + static_cast<int8_t>(t) + m) % m;
  for (const MaskRow& r : rows) {
    for (uint32_t v : r) c = (c * 3277 + v) % m;
  }
  return static_cast<int32_t>(static_cast<uint32_t>((b * 5941 + a * 8390 + c * 9516) % m));
}

TEST(Classifier, HashOfMapPairsAndMasks) {
  FatalRecorder recorder;
  unsigned char map[256];
  for (int i = 0; i < 256; ++i) map[i] = static_cast<unsigned char>(255 - i);
  std::vector<std::string> words = {"x", "yz"};
  Classifier* plain = pitclbc(map, words, nullptr);
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(plain->pairs.size(), 65536u);
  EXPECT_EQ(std::count(plain->pairs.begin(), plain->pairs.end(), 1), 0);
  std::vector<MaskRow> rows;
  pitcl_stop_masks(words, &rows);
  EXPECT_EQ(pitclhs(plain), reference_hash(map, plain->pairs, rows));
  pitclfr(plain);

  // With definitions the pair table marks (preceding, starting) pairs.
  std::vector<std::string> defs = {"&gt.&lowercase.", "a&numeric."};
  Classifier* rich = pitclbc(map, words, &defs);
  ASSERT_NE(rich, nullptr);
  EXPECT_EQ(std::count(rich->pairs.begin(), rich->pairs.end(), 1), 26 + 10);
  EXPECT_EQ(rich->pairs['>' * 256 + 'q'], 1);
  EXPECT_EQ(rich->pairs['a' * 256 + '7'], 1);
  EXPECT_EQ(rich->pairs['q' * 256 + '>'], 0);
  EXPECT_EQ(pitclhs(rich), reference_hash(map, rich->pairs, rows));
  pitclfr(rich);
}

}  // namespace
