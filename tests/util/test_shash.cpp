// The string hash table: probing rule, refusals, and a table sized for 2047
// names that finds every one again.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "util/util.h"

namespace {

TEST(Shash, ProbeSlotsFollowBasePlusSquares) {
  // "abc": 97 + 98 + 99 = 294; 294 mod 7 = 0.
  const int32_t want_abc[] = {0, 1, 4, 2, 2, 4, 1};
  for (int32_t i = 0; i < 7; ++i) EXPECT_EQ(shash_slot("abc", i, 7), want_abc[i]) << i;
  // Bytes above 127 count as negative: -1 + -2 = -3, which is 4 mod 7.
  EXPECT_EQ(shash_slot("\xff\xfe", 0, 7), 4);
  EXPECT_EQ(shash_slot("\xff\xfe", 1, 7), 5);
  // All digits: the decimal value. 1000 mod 7 = 6.
  EXPECT_EQ(shash_slot("1000", 0, 7), 6);
  EXPECT_EQ(shash_slot("1000", 3, 7), (6 + 9) % 7);
  // A value beyond the largest long saturates to it, 2^63 - 1, which is
  // 7 mod 11; the sum with i*i must not overflow either.
  EXPECT_EQ(shash_slot("99999999999999999999999999", 0, 11), 7);
  EXPECT_EQ(shash_slot("99999999999999999999999999", 46340, 2147483647),
            static_cast<int32_t>((9223372036854775807ULL % 2147483647ULL +
                                  46340ULL * 46340ULL % 2147483647ULL) %
                                 2147483647ULL));
  EXPECT_EQ(shash_slot("", 2, 5), 4);
}

TEST(Shash, FullTableAndPresentKeyAreRefused) {
  ShashTable* t = shash_create(2);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(shash_insert(t, "a", "1"), 1);  // 97 mod 2 = slot 1
  EXPECT_EQ(shash_insert(t, "b", "2"), 1);  // 98 mod 2 = slot 0
  EXPECT_EQ(t->collisions, 0);
  EXPECT_EQ(shash_insert(t, "c", "3"), 0);  // both probes find taken slots
  EXPECT_EQ(t->collisions, 2);
  EXPECT_EQ(shash_insert(t, "a", "9"), 0);  // present: stops at once
  EXPECT_EQ(t->collisions, 2);
  EXPECT_STREQ(shash_lookup(t, "a"), "1");
  EXPECT_STREQ(shash_lookup(t, "b"), "2");
  EXPECT_EQ(shash_lookup(t, "c"), nullptr);
  shash_free(t);
}

TEST(Shash, InsertRefStoresTheCallersPointers) {
  ShashTable* t = shash_create(7);
  char* key = strdup("title");
  char* value = strdup("12");
  EXPECT_EQ(shash_insert_ref(t, key, value), 1);
  EXPECT_EQ(shash_lookup(t, "title"), value);
  EXPECT_EQ(shash_lookup(t, "titl"), nullptr);
  shash_free(t);  // frees key and value
  shash_free(nullptr);
}

TEST(Shash, SizeForKeysIsAPrimeOfAtLeastTwiceTheKeys) {
  EXPECT_EQ(shash_size_for(2047), 4099);
  EXPECT_EQ(shash_size_for(1), 3);
  EXPECT_EQ(shash_size_for(0), 3);
  EXPECT_EQ(shash_size_for(10), 23);
  EXPECT_EQ(shash_size_for(628), 1259);
}

// Names of the kind the region finder stores: element and attribute names,
// numbered and qualified variants; many share a byte sum.
std::vector<std::string> realistic_names(size_t n) {
  static const char* const words[] = {
      "title", "para", "sec", "chapter", "list", "item", "note", "fig", "table", "row",
      "entry", "head", "body", "front", "back", "abstract", "author", "date", "ref", "xref",
      "emph", "quote", "code", "term", "def", "index", "appendix", "glossary", "toc", "caption"};
  std::vector<std::string> names;
  std::set<std::string> seen;
  const size_t nw = sizeof words / sizeof words[0];
  for (size_t k = 0; names.size() < n; ++k) {
    const std::string a = words[k % nw];
    const std::string b = words[(k / nw) % nw];
    std::string name;
    switch ((k / (nw * nw)) % 4) {
      case 0: name = a + "." + b; break;
      case 1: name = b + "@" + a; break;
      case 2: name = a + std::to_string(k % 97); break;
      default: name = "R" + std::to_string(k); break;
    }
    if (seen.insert(name).second) names.push_back(name);
  }
  return names;
}

TEST(Shash, TableSizedForTheLimitFindsEvery2047Names) {
  const std::vector<std::string> names = realistic_names(2047);
  ShashTable* t = shash_create(shash_size_for(2047));
  ASSERT_EQ(t->size, 4099);
  for (size_t i = 0; i < names.size(); ++i) {
    ASSERT_EQ(shash_insert(t, names[i].c_str(), std::to_string(i).c_str()), 1) << names[i];
  }
  EXPECT_GT(t->collisions, 0);  // the names do collide
  for (size_t i = 0; i < names.size(); ++i) {
    const char* v = shash_lookup(t, names[i].c_str());
    ASSERT_NE(v, nullptr) << names[i];
    EXPECT_EQ(std::string(v), std::to_string(i));
  }
  EXPECT_EQ(shash_lookup(t, "not.there"), nullptr);
  shash_free(t);
}

}  // namespace
