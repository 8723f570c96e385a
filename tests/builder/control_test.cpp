// Build control: the built-in maps and WordStarters, the class-pair decision
// for every (previous, current) pair, the stop-word masks and the integrity
// hash, each against values worked out from the written rules.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>

#include "builder/builder.h"
#include "builder/fatal_reports.h"
#include "pitcl/pitcl.h"

namespace {

bool iso_printable(int c) { return (c >= 33 && c <= 126) || (c >= 161 && c <= 255); }

// The base maps described in words: letters lower-cased, digits and the
// blank kept, every other printable ASCII character and CR, LF, tab and
// backspace made blanks, everything else dropped; isolatin folds the
// accented Latin-1 letters; sgml keeps "<" and "/"; none keeps every byte.
unsigned char expected_map(int kind, int b) {
  if (kind == BASE_MAP_NONE) return static_cast<unsigned char>(b);
  if (kind == BASE_MAP_SGML && (b == '<' || b == '/')) return static_cast<unsigned char>(b);
  if (b < 128 && std::isupper(b)) return static_cast<unsigned char>(std::tolower(b));
  if (b < 128 && (std::islower(b) || std::isdigit(b) || b == ' ')) return static_cast<unsigned char>(b);
  if (b < 128 && (std::ispunct(b) || b == '\r' || b == '\n' || b == '\t' || b == '\b')) return ' ';
  if (kind == BASE_MAP_ISOLATIN) {
    // Latin-1 rows: C0-C5, E0-E5 a; C7, E7 c; C8-CB, E8-EB e; CC-CF, EC-EF
    // i; D1, F1 n; D2-D6, D8, F2-F6, F8 o; D9-DC, F9-FC u; DD, FD, FF y; DF s.
    int low = b >= 0xE0 ? b - 0x20 : b;  // the upper-case row of a letter
    if (b == 0xFF) return 'y';
    if (b == 0xDF) return 's';
    if (b >= 0xC0 && b != 0xD7 && b != 0xF7 && b != 0xDE && b != 0xFE && b != 0xD0 &&
        b != 0xF0 && b != 0xC6 && b != 0xE6) {
      if (low <= 0xC5) return 'a';
      if (low == 0xC7) return 'c';
      if (low <= 0xCB) return 'e';
      if (low <= 0xCF) return 'i';
      if (low == 0xD1) return 'n';
      if (low <= 0xD6 || low == 0xD8) return 'o';
      if (low <= 0xDC) return 'u';
      if (low == 0xDD) return 'y';
    }
  }
  return 0;
}

BuildControl* built_in(int kind) {
  auto* c = new BuildControl;
  SetDefCntl(c, kind);
  EXPECT_EQ(StopWord(c), 0);
  return c;
}

const int kKinds[] = {BASE_MAP_BASIC, BASE_MAP_NONE, BASE_MAP_ISOLATIN, BASE_MAP_SGML};

TEST(BaseMaps, EveryByteOfEveryMap) {
  FatalRecorder recorder;
  for (int kind : kKinds) {
    BuildControl* c = built_in(kind);
    for (int b = 0; b < 256; ++b) {
      EXPECT_EQ(c->map[b], expected_map(kind, b)) << "map " << kind << " byte " << b;
    }
    EXPECT_TRUE(c->stop_words.empty());
    addfrcntl(c);
  }
}

TEST(BaseMaps, WordStartersOfEachMap) {
  using V = std::vector<std::string>;
  EXPECT_EQ(builtin_word_starters(BASE_MAP_BASIC), V{" &ISO_printable."});
  EXPECT_EQ(builtin_word_starters(BASE_MAP_ISOLATIN), V{" &ISO_printable."});
  EXPECT_EQ(builtin_word_starters(BASE_MAP_NONE),
            (V{" &ISO_printable.", "&newline.&ISO_printable."}));
  EXPECT_EQ(builtin_word_starters(BASE_MAP_SGML),
            (V{" &ISO_printable.", "&gt.&ISO_printable.", "&ISO_printable.&lt."}));
}

// The decision for every (previous, current) byte pair under each map's
// rules, evaluated directly from the definitions.
TEST(PairTable, EveryPairOfEveryBuiltInRule) {
  FatalRecorder recorder;
  const int classes[] = {3, 4, 3, 5};  // blank, newline/gt/lt and printable sides
  for (int kind : kKinds) {
    BuildControl* c = built_in(kind);
    EXPECT_EQ(c->class_count, classes[kind]) << kind;
    EXPECT_EQ(c->pair_table.size(), static_cast<size_t>(c->class_count * c->class_count));
    for (int p = 0; p < 256; ++p) {
      for (int x = 0; x < 256; ++x) {
        bool want = p == ' ' && iso_printable(x);
        if (kind == BASE_MAP_NONE) want = want || (p == '\n' && iso_printable(x));
        if (kind == BASE_MAP_SGML) {
          want = want || (p == '>' && iso_printable(x)) || (iso_printable(p) && x == '<');
        }
        ASSERT_EQ(is_point_start(c, static_cast<unsigned char>(p), static_cast<unsigned char>(x)),
                  want)
            << "map " << kind << " after " << p << " at " << x;
      }
    }
    EXPECT_EQ(c->classes[0], 0);  // no side: class 0, which never matches
    addfrcntl(c);
  }
}

// Custom definitions: the compiled classes and pair table agree with the
// definitions read directly, pair by pair.
TEST(PairTable, CustomDefinitionsAgreeWithDirectEvaluation) {
  FatalRecorder recorder;
  const std::vector<std::vector<std::string>> rules = {
      {"&alphabetic.&numeric.", "&numeric.&alphabetic."},
      {"&lowercase.&uppercase.", "&uppercase.&lowercase.", " &alphanumeric."},
      {"&tab.&ISO_special.", "&ISO_special.&tab.", "&ISO_all.&amp."},
      {"&return.&newline.", "&newline.&ISO_printable.", "&ISO_printable.&return."},
      {"ab", "ba", "aa", "&all.&all."},
  };
  for (const auto& defs : rules) {
    BuildControl c;
    SetDefCntl(&c, BASE_MAP_NONE);
    c.word_starters = defs;
    ASSERT_GE(MakeIdxMap(&c), 1);
    std::vector<std::pair<CharSet, CharSet>> sets;
    for (const std::string& d : defs) {
      CharSet a, b;
      ASSERT_EQ(pitcl_parse_definition(d.c_str(), 256, &a, &b), 0);
      sets.emplace_back(a, b);
    }
    for (int p = 0; p < 256; ++p) {
      for (int x = 0; x < 256; ++x) {
        bool want = false;
        for (const auto& [a, b] : sets) want = want || (a[p] && b[x]);
        ASSERT_EQ(is_point_start(&c, static_cast<unsigned char>(p), static_cast<unsigned char>(x)),
                  want)
            << defs[0] << " after " << p << " at " << x;
      }
    }
    // Classes: characters with equal side lists share one, and every class
    // is used by some character.
    std::vector<bool> used(static_cast<size_t>(c.class_count), false);
    for (int ch = 0; ch < 256; ++ch) used[static_cast<size_t>(c.classes[ch])] = true;
    for (int k = 1; k < c.class_count; ++k) EXPECT_TRUE(used[static_cast<size_t>(k)]) << k;
  }
}

TEST(PairTable, EqualSidesShareOneClass) {
  FatalRecorder recorder;
  BuildControl c;
  SetDefCntl(&c, BASE_MAP_NONE);
  // Both definitions give "a" and "b" the same sides.
  c.word_starters = {"&lowercase.&uppercase.", "&lowercase.&numeric."};
  ASSERT_EQ(MakeIdxMap(&c), 4);  // none, lowercase, uppercase, numeric
  EXPECT_EQ(c.classes['a'], c.classes['z']);
  EXPECT_NE(c.classes['a'], c.classes['A']);
  EXPECT_EQ(c.classes['!'], 0);
}

TEST(PairTable, BadDefinitionEndsTheBuild) {
  FatalRecorder recorder;
  BuildControl c;
  SetDefCntl(&c, BASE_MAP_SGML);
  c.word_starters = {"&ISO_printabel.&lt."};
  FatalReport r = fatal_of([&] { MakeIdxMap(&c); });
  EXPECT_EQ(r.text, "150000: Invalid meta-character in WordStarters definition 'ISO_printabel'");
}

TEST(StopWords, MasksFromTheControlRecord) {
  FatalRecorder recorder;
  BuildControl c;
  SetDefCntl(&c, BASE_MAP_BASIC);
  c.stop_words = {"and", "an"};
  ASSERT_EQ(StopWord(&c), 0);
  ASSERT_EQ(c.stop_masks.size(), 4u);
  EXPECT_EQ(c.stop_masks[0]['a'], 3u);
  EXPECT_EQ(c.stop_masks[1]['n'], 3u);
  EXPECT_EQ(c.stop_masks[2]['d'], 1u);
  EXPECT_EQ(c.stop_masks[2][' '], 2u);
  EXPECT_EQ(c.stop_masks[3][' '], 1u);
  EXPECT_EQ(c.stop_masks[0][' '], 0xFFFFFFFFu);
  EXPECT_EQ(c.class_count, 3);  // StopWord compiles the classes as well
  c.stop_words.assign(33, "x");
  FatalReport r = fatal_of([&] { StopWord(&c); });
  EXPECT_EQ(r.text, "150001: Too many stop words for this implementation.");
}

// Integrity hashes worked out independently (a script following the
// written rules: the map bytes as signed 8-bit values, an all-zero 65536
// pair table, the mask rows with row 0's blank all ones).
TEST(IntegrityHash, BuiltInMapsWithAndWithoutStopWords) {
  FatalRecorder recorder;
  struct Case {
    int kind;
    int32_t none, three;
  };
  const Case cases[] = {
      {BASE_MAP_BASIC, 645951286, 1375355510},
      {BASE_MAP_NONE, 861167908, 1590572132},
      {BASE_MAP_ISOLATIN, -1323257258, -593853034},
      {BASE_MAP_SGML, 372223000, 1101627224},
  };
  for (const Case& k : cases) {
    BuildControl* c = built_in(k.kind);
    EXPECT_EQ(pitclhash(c), k.none) << k.kind;
    c->stop_words = {"the", "a", "of"};
    ASSERT_EQ(StopWord(c), 0);
    EXPECT_EQ(pitclhash(c), k.three) << k.kind;
    addfrcntl(c);
  }
}

}  // namespace
