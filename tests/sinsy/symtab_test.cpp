// Symbol table: look-ups both ways, the hash and its probing, limits and
// duplicates.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "sinsy/sinsy.h"

namespace {

// The hash worked out independently: 64-bit products reduced mod 2^32.
int32_t expected_hash(const std::string& name) {
  uint64_t h = 0;
  for (unsigned char c : name) h = (h * 1664525ull + c) % 4294967296ull;
  h = (h * 1664525ull) % 4294967296ull;
  return static_cast<int32_t>(static_cast<uint32_t>(h));
}
int32_t home_slot(const std::string& name) { return std::abs(expected_hash(name) % 1031); }
int32_t step_of(const std::string& name) { return std::abs(expected_hash(name) % 101) + 1; }

struct Table {
  SinsySymtab* t = sinsycr();
  ~Table() { sinsyfr(t); }
  int add(std::vector<const char*> names, std::vector<int32_t> ids) {
    names.push_back(nullptr);
    return sinsyad(t, names.data(), ids.data());
  }
};

TEST(Symtab, LookupsByNameAndById) {
  Table tab;
  ASSERT_NE(tab.t, nullptr);
  EXPECT_EQ(tab.t->count, 0);
  EXPECT_EQ(tab.add({"five", "one", "three"}, {5, 1, 3}), SINSY_OK);
  EXPECT_STREQ(sinsynm(tab.t, 3), "three");
  EXPECT_EQ(sinsynm(tab.t, 2), nullptr);
  EXPECT_EQ(sinsynm(tab.t, 6), nullptr);
  EXPECT_EQ(sinsyid(tab.t, "five"), 5);
  EXPECT_EQ(sinsyid(tab.t, "fiv"), -1);
  // The id array is kept sorted.
  EXPECT_EQ(tab.t->by_id[0].id, 1);
  EXPECT_EQ(tab.t->by_id[1].id, 3);
  EXPECT_EQ(tab.t->by_id[2].id, 5);
  // Names compare by length: a NUL byte inside a looked-up name counts.
  EXPECT_EQ(sinsyidn(tab.t, "one\0x", 5), -1);
  EXPECT_EQ(sinsyidn(tab.t, "one\0x", 3), 1);
  size_t length = 0;
  EXPECT_STREQ(sinsynm(tab.t, 1, &length), "one");
  EXPECT_EQ(length, 3u);
}

TEST(Symtab, HashAndSlots) {
  const std::string names[] = {"", "a", "VQMessage", "xsl:template", std::string(300, 'z'),
                               "\xff\xfe"};
  for (const std::string& n : names)
    EXPECT_EQ(sinsy_hash(n.data(), n.size()), expected_hash(n)) << n;
  EXPECT_EQ(sinsy_hash("", 0), 0);
  EXPECT_EQ(sinsy_hash("a", 1), static_cast<int32_t>(97u * 1664525u));

  Table tab;
  EXPECT_EQ(tab.add({""}, {0}), SINSY_OK);
  EXPECT_NE(tab.t->hash[0].name, nullptr);  // the empty name sits in slot 0
  EXPECT_EQ(tab.t->hash[0].length, 0u);
  EXPECT_EQ(sinsyid(tab.t, ""), 0);

  // Two names with the same home slot: the second one is one step further.
  std::string first, second;
  for (int i = 0; second.empty(); ++i) {
    std::string n = "n" + std::to_string(i);
    if (home_slot(n) == 0) continue;  // taken by the empty name
    for (int j = 0; j < i; ++j) {
      std::string m = "n" + std::to_string(j);
      if (home_slot(m) == home_slot(n)) {
        first = m;
        second = n;
        break;
      }
    }
  }
  EXPECT_EQ(tab.add({first.c_str(), second.c_str()}, {1, 2}), SINSY_OK);
  int32_t home = home_slot(first);
  int32_t next = home + step_of(second);
  if (next > 1030) next -= 1031;
  EXPECT_STREQ(tab.t->hash[home].name, first.c_str());
  ASSERT_NE(tab.t->hash[next].name, nullptr);
  EXPECT_STREQ(tab.t->hash[next].name, second.c_str());
  EXPECT_EQ(sinsyid(tab.t, second.c_str()), 2);
  EXPECT_EQ(sinsy_probe(tab.t, second.data(), second.size()), next);
}

TEST(Symtab, DuplicatesStopTheListAndKeepWhatWasAdded) {
  Table tab;
  EXPECT_EQ(tab.add({"a", "b"}, {1, 2}), SINSY_OK);
  EXPECT_EQ(tab.add({"c", "d", "e"}, {3, 2, 5}), SINSY_DUPLICATE);  // id 2 held
  EXPECT_EQ(sinsyid(tab.t, "c"), 3);
  EXPECT_EQ(sinsyid(tab.t, "d"), -1);
  EXPECT_EQ(sinsyid(tab.t, "e"), -1);
  EXPECT_EQ(tab.add({"a"}, {9}), SINSY_DUPLICATE);  // name held under another id
  EXPECT_EQ(sinsynm(tab.t, 9), nullptr);
  EXPECT_EQ(tab.t->count, 3);
}

TEST(Symtab, FullAfter1030Names) {
  std::vector<std::string> names;
  for (int i = 0; i < 1031; ++i) names.push_back("name" + std::to_string(i));
  std::vector<const char*> ptrs;
  std::vector<int32_t> ids;
  for (int i = 0; i < 1031; ++i) {
    ptrs.push_back(names[i].c_str());
    ids.push_back((i * 7919) % 1031);  // a permutation of 0..1030
  }
  Table tab;
  EXPECT_EQ(tab.add(ptrs, ids), SINSY_FULL);
  EXPECT_EQ(tab.t->count, 1030);
  for (int i = 0; i < 1030; ++i) {
    ASSERT_EQ(sinsyid(tab.t, ptrs[i]), ids[i]) << ptrs[i];
    ASSERT_STREQ(sinsynm(tab.t, ids[i]), ptrs[i]);
  }
  EXPECT_EQ(sinsyid(tab.t, ptrs[1030]), -1);
  for (int i = 1; i < 1030; ++i) ASSERT_LT(tab.t->by_id[i - 1].id, tab.t->by_id[i].id);
  // Exactly one hash slot is left empty.
  int empty = 0;
  for (const SinsyEntry& e : tab.t->hash) empty += e.name == nullptr;
  EXPECT_EQ(empty, 1);
}

}  // namespace
