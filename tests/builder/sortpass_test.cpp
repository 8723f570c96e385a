// The suffix sort of a pass against a plain sort by the rule: the first 400
// characters as unsigned bytes, then the offset. Buffers that make the
// sorter take each of its ways: few points, groups above its cache,
// repetitive text that ties for all 400 characters, and prefixes that part
// only near the 400th character.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "builder/phases_internal.h"

namespace {

struct Buffer {
  std::string bytes;  // byte 0 a blank, the text, at least 1001 more characters, NUL, room
  std::vector<int32_t> points;
};

// A buffer as a pass leaves it: points every `step` characters of `text`,
// then padding, then the NUL.
Buffer make(const std::string& text, int step) {
  Buffer b;
  b.bytes = " " + text;
  for (int i = 0; i < 1001; ++i) b.bytes += (i % 2 == 0) ? ' ' : 'z';
  b.bytes += '\0';
  b.bytes += std::string(16, '\xEE');  // readable, never compared
  for (int32_t o = 1; o <= static_cast<int32_t>(text.size()); o += step) b.points.push_back(o);
  return b;
}

std::vector<int32_t> by_rule(const Buffer& b) {
  std::vector<int32_t> p = b.points;
  const auto* s = reinterpret_cast<const unsigned char*>(b.bytes.data());
  std::sort(p.begin(), p.end(), [s](int32_t x, int32_t y) {
    const int c = std::memcmp(s + x, s + y, 400);
    return c != 0 ? c < 0 : x < y;
  });
  return p;
}

std::string pseudo_random(size_t n, int alphabet, uint32_t seed) {
  std::string t;
  for (size_t i = 0; i < n; ++i) {
    seed = seed * 1103515245u + 12345u;
    t += static_cast<char>('a' + (seed >> 16) % alphabet);
  }
  return t;
}

// Prose-like text: words of a small vocabulary in a pseudo-random order,
// so that many points share their first two characters (large groups),
// their next characters spread over many values, and runs of words repeat
// past the first eight characters.
std::string vocabulary_text(size_t n, uint32_t seed) {
  static const char* const words[] = {"the ", "of ", "and ", "a ", "to ", "in ", "is ",
                                      "that ", "for ", "it ", "as ", "with ", "be ", "on ",
                                      "not ", "this ", "by ", "are ", "or ", "from ", "at ",
                                      "which ", "then ", "there ", "these ", "those ", "through ",
                                      "\xE9t\xE9 ", "THE ", "Then. "};
  std::string t;
  while (t.size() < n) {
    seed = seed * 1103515245u + 12345u;
    t += words[(seed >> 16) % (sizeof words / sizeof words[0])];
  }
  return t;
}

TEST(SortPass, OrderOfTheFirst400CharactersThenTheOffset) {
  struct Case {
    const char* name;
    std::string text;
    int step;
  };
  std::string near_end;  // blocks that differ only at their 399th character
  for (int i = 0; i < 300; ++i) near_end += std::string(398, 'q') + static_cast<char>('a' + i % 3) + "\xF0";
  std::string periodic;
  for (int i = 0; i < 120000; ++i) periodic += "<p>abc</p>\n"[i % 11];
  const Case cases[] = {
      {"one point", "x", 1},
      {"few points", "the quick brown fox jumps over the lazy dog", 1},
      {"two letters, every position", pseudo_random(300000, 2, 7), 1},
      {"words", pseudo_random(400000, 27, 3), 3},
      {"high bytes", pseudo_random(100000, 200, 5), 2},
      {"prose, every position", vocabulary_text(400000, 9), 1},
      {"one character", std::string(150000, 'a'), 1},
      {"period 3", std::string(50000, 'x') + pseudo_random(3, 3, 1), 1},
      {"markup", periodic, 1},
      {"near the budget", near_end, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Buffer b = make(c.text, c.step);
    const std::vector<int32_t> want = by_rule(b);
    std::vector<int32_t> got = b.points;
    phases::SortPass(reinterpret_cast<const unsigned char*>(b.bytes.data()), got.data(), 0,
                     static_cast<int64_t>(got.size()) - 1);
    EXPECT_TRUE(got == want);
  }
}

// A text of one document repeated, with a line that differs per copy now
// and then: most windows repeat hundreds of times, some only a few times.
std::string repeated_document() {
  const std::string doc =
      "<div class=\"section\"><h2>Usage</h2>\n<p>The <code>index</code> of a "
      "collection is built once; <em>every</em> search reads it.</p>\n"
      "<ul><li>one</li><li>two</li></ul>\n</div>\n" + pseudo_random(700, 26, 11);
  std::string t;
  for (int i = 0; t.size() < 300000; ++i) {
    t += doc;
    if (i % 37 == 0) t += "<!-- copy " + std::to_string(i) + " -->\n";
  }
  return t;
}

// Sorts the buffer's points with room for grouping: the point array holds
// `capacity` times the points, and `scratch` bytes lie past the NUL.
std::vector<int32_t> sort_with_space(const Buffer& b, size_t capacity, size_t scratch) {
  std::vector<int32_t> got(b.points.size() * capacity);
  std::copy(b.points.begin(), b.points.end(), got.begin());
  std::string bytes = b.bytes + std::string(scratch, '\0');
  phases::SortSpace space;
  space.text_end = static_cast<int64_t>(b.bytes.size()) - 17;  // the NUL
  space.point_capacity = static_cast<int64_t>(got.size());
  space.scratch = reinterpret_cast<unsigned char*>(bytes.data()) + b.bytes.size();
  space.scratch_bytes = static_cast<int64_t>(scratch);
  phases::SortPass(reinterpret_cast<const unsigned char*>(bytes.data()), got.data(), 0,
                   static_cast<int64_t>(b.points.size()) - 1, &space);
  EXPECT_EQ(bytes.compare(0, b.bytes.size(), b.bytes), 0) << "the text is left as it was";
  got.resize(b.points.size());
  return got;
}

// Grouping identical windows first gives the same order, whether the room
// is in the point array, past the NUL, or missing (no grouping then).
TEST(SortPass, IdenticalWindowsGroupedFirstKeepTheOrder) {
  std::string periodic;
  for (int i = 0; i < 120000; ++i) periodic += "<p>abc</p>\n"[i % 11];
  struct Case {
    const char* name;
    std::string text;
    int step;
  };
  const Case cases[] = {
      {"repeated document", repeated_document(), 1},
      {"repeated document, every third character", repeated_document(), 3},
      {"markup", periodic, 1},
      {"one character", std::string(150000, 'a'), 1},
      {"words (few repeats)", pseudo_random(400000, 27, 3), 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Buffer b = make(c.text, c.step);
    const std::vector<int32_t> want = by_rule(b);
    EXPECT_TRUE(sort_with_space(b, 4, 0) == want) << "room in the point array";
    EXPECT_TRUE(sort_with_space(b, 2, 8 * b.points.size()) == want) << "room past the NUL";
    EXPECT_TRUE(sort_with_space(b, 2, 0) == want) << "no room";
  }
}

// The order is the same on one thread, two and all cores.
TEST(SortPass, SameOrderForAnyNumberOfThreads) {
  const Buffer words = make(pseudo_random(400000, 27, 3), 3);
  const Buffer prose = make(vocabulary_text(300000, 5), 1);
  const Buffer repeated = make(repeated_document(), 1);
  // Points whose first character no other point has, or one other: buckets
  // of one and two points beside large ones (points start at every third
  // character).
  std::string rare = pseudo_random(300000, 27, 7);
  rare[0] = 'A';
  rare[3000] = rare[3003] = 'B';
  rare[150000] = '\x01';
  rare[299997] = '\xFF';
  const Buffer rare_starts = make(rare, 3);
  for (const Buffer* b : {&words, &prose, &repeated, &rare_starts}) {
    const std::vector<int32_t> want = by_rule(*b);
    for (int threads : {1, 2, 0}) {
      SCOPED_TRACE(threads);
      phases::set_sort_threads(threads);
      std::vector<int32_t> got = b->points;
      phases::SortPass(reinterpret_cast<const unsigned char*>(b->bytes.data()), got.data(), 0,
                       static_cast<int64_t>(got.size()) - 1);
      EXPECT_TRUE(got == want);
      EXPECT_TRUE(sort_with_space(*b, 4, 0) == want);
    }
  }
  phases::set_sort_threads(0);
}

// Two different windows with one fingerprint, found by trying the windows
// of a pseudo-random text: the offsets of the first pair found.
std::pair<size_t, size_t> colliding_windows(const std::string& text) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  std::vector<std::pair<uint32_t, size_t>> seen;
  for (size_t o = 0; o + 400 <= text.size(); ++o) seen.emplace_back(phases::window_fingerprint(s + o), o);
  std::sort(seen.begin(), seen.end());
  for (size_t k = 1; k < seen.size(); ++k) {
    if (seen[k].first == seen[k - 1].first && text.compare(seen[k].second, 400, text, seen[k - 1].second, 400) != 0)
      return {seen[k - 1].second, seen[k].second};
  }
  return {0, 0};
}

// Windows that share a fingerprint without being identical are not one
// group: each is sorted as itself, and copies of each keep offset order.
TEST(SortPass, WindowsThatShareAFingerprintAreSortedApart) {
  // 2^32 fingerprints: some pair among 300000 windows shares one.
  const std::string random = pseudo_random(300000, 26, 17);
  const auto [x, y] = colliding_windows(random);
  ASSERT_NE(x, y) << "no two windows share a fingerprint";
  const std::string first = random.substr(x, 400), second = random.substr(y, 400);
  ASSERT_NE(first, second);
  const auto* f = reinterpret_cast<const unsigned char*>(first.data());
  const auto* g = reinterpret_cast<const unsigned char*>(second.data());
  ASSERT_EQ(phases::window_fingerprint(f), phases::window_fingerprint(g));
  // Each window three times, among copies of a document, with the two
  // interleaved so that offset order and window order disagree.
  std::string text = repeated_document();
  for (int copy = 0; copy < 3; ++copy) text += "|" + second + "|" + first + "\n" + repeated_document().substr(0, 5000);
  const Buffer b = make(text, 1);
  const std::vector<int32_t> want = by_rule(b);
  for (int threads : {1, 0}) {
    SCOPED_TRACE(threads);
    phases::set_sort_threads(threads);
    EXPECT_TRUE(sort_with_space(b, 4, 0) == want);
    EXPECT_TRUE(phases::last_grouping().grouped);
    EXPECT_GE(phases::last_grouping().collisions, 1);
  }
  phases::set_sort_threads(0);
}

TEST(SortPass, PrefixCompareAcrossBuffers) {
  // Equal prefixes count the first (older) suffix as the smaller.
  const std::string a = std::string(400, 'm') + "a", b = std::string(400, 'm') + "b";
  const auto* pa = reinterpret_cast<const unsigned char*>(a.c_str());
  const auto* pb = reinterpret_cast<const unsigned char*>(b.c_str());
  EXPECT_EQ(phases::SuffixCompareBounded(pa, pb), -1);
  EXPECT_EQ(phases::SuffixCompareBounded(pb, pa), -1);
  const std::string c = std::string(399, 'm') + "\x80", d = std::string(399, 'm') + "\x7F";
  const auto* pc = reinterpret_cast<const unsigned char*>(c.c_str());
  const auto* pd = reinterpret_cast<const unsigned char*>(d.c_str());
  EXPECT_EQ(phases::SuffixCompareBounded(pc, pd), 1);  // unsigned bytes
  EXPECT_EQ(phases::SuffixCompareBounded(pd, pc), -1);
}

}  // namespace
