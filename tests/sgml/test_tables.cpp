// The declaration tables: hash buckets and chain order, IDs, keyword maps,
// the filter-mode plus-group list, the fatal end of a failed allocation, and
// the parser's reset freeing what was allocated.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sgml/messages/message.h"
#include "sgml/entities/tables.h"
#include "sgml/parser_state.h"
#include "counted_name.h"
#include "sgml_support.h"

namespace {

// The hash as the format states it, written independently: 64-bit
// arithmetic cut to 32 bits, the top nibble folded back in and cleared.
uint32_t reference_bucket(const std::string& name, uint32_t size) {
  std::vector<unsigned char> bytes = counted(name);
  uint64_t h = 0;
  for (size_t i = 0; i + 1 < bytes.size(); ++i) {
    h = ((h << 4) + bytes[i]) & 0xFFFFFFFFull;
    uint64_t top = h >> 28;
    if (top) h = (h ^ (top << 4)) & 0x0FFFFFFFull;
  }
  return static_cast<uint32_t>(h % size);
}

class Tables : public ::testing::Test {
 protected:
  void SetUp() override {
    parser_setup(SwitchRecord{});
  }
};

TEST_F(Tables, BucketsFollowTheHash) {
  // Worked by hand: "A" is the bytes 3, 65: 3 * 16 + 65 = 113.
  // "DOC": 5, 68, 79, 67 -> 39219, and 39219 mod 211 = 184.
  EXPECT_EQ(hash_name(counted("A").data(), 211), 113u);
  EXPECT_EQ(hash_name(counted("DOC").data(), 211), 184u);
  const char* names[] = {"DOC", "CHAPTER", "SECT1", "PARA", "A-VERY-LONG-ELEMENT-NAME.WITH.DOTS",
                         "X", "%PE", "\xE9l\xE8ve", "ZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZ"};
  for (const char* n : names) {
    for (uint32_t size : {211u, 503u, 101u})
      EXPECT_EQ(hash_name(counted(n).data(), size), reference_bucket(n, size)) << n;
  }
  // A name of 126 characters has the length byte 128 (above the signed range).
  std::string longname(126, 'Q');
  EXPECT_EQ(hash_name(counted(longname).data(), 211), reference_bucket(longname, 211));
  EXPECT_EQ(hash_name(reinterpret_cast<const unsigned char*>(""), 211), 0u);
}

TEST_F(Tables, ElementChainsPutTheNewestFirstAndKeepRemovedRecords) {
  // Find three names of one bucket.
  std::vector<std::string> same;
  uint32_t bucket = reference_bucket("E0", 211);
  for (int i = 1; same.size() < 2; ++i) {
    std::string n = "E" + std::to_string(i);
    if (reference_bucket(n, 211) == bucket) same.push_back(n);
  }
  ElementTypeDef* first = etd_define(counted("E0").data());
  ElementTypeDef* second = etd_define(counted(same[0]).data());
  ElementTypeDef* third = etd_define(counted(same[1]).data());
  EXPECT_EQ(reinterpret_cast<HashRecord*>(third), sgml_tables.elements[bucket]);
  EXPECT_EQ(third->next, second);
  EXPECT_EQ(second->next, first);
  EXPECT_EQ(etd_define(counted("E0").data()), first);  // found, not added
  EXPECT_EQ(etd_find(counted("e0").data()), nullptr);  // case matters
  etd_remove(counted(same[0]).data());
  EXPECT_EQ(etd_find(counted(same[0]).data()), nullptr);
  EXPECT_EQ(third->next, first);
  EXPECT_STREQ(reinterpret_cast<char*>(second->name + 1), same[0].c_str());  // still readable
}

// Lookups repeat the same few names; whatever etd_find remembers of them
// must tell apart names alike in length and in their first and last
// characters, and must forget removed and cleared records.
TEST_F(Tables, ElementLookupsFindTheRecordNowInTheTable) {
  ElementTypeDef* axb = etd_define(counted("AXB").data());
  ElementTypeDef* ayb = etd_define(counted("AYB").data());
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(etd_find(counted("AXB").data()), axb);
    EXPECT_EQ(etd_find(counted("AYB").data()), ayb);
    EXPECT_EQ(etd_find(counted("AZB").data()), nullptr);
  }
  // Found just before, then removed: no longer found; defined again: the
  // new record.
  ASSERT_EQ(etd_find(counted("AXB").data()), axb);
  etd_remove(counted("AXB").data());
  EXPECT_EQ(etd_find(counted("AXB").data()), nullptr);
  ElementTypeDef* again = etd_define(counted("AXB").data());
  EXPECT_NE(again, axb);
  EXPECT_EQ(etd_find(counted("AXB").data()), again);
  EXPECT_EQ(etd_find(counted("AYB").data()), ayb);
  // Cleared tables hold nothing, whatever was found before.
  ASSERT_EQ(etd_find(counted("AYB").data()), ayb);
  sgml_tables_clear();
  EXPECT_EQ(etd_find(counted("AXB").data()), nullptr);
  EXPECT_EQ(etd_find(counted("AYB").data()), nullptr);
}

TEST_F(Tables, IdsAreDefinedOnceAndManyStayFast) {
  EXPECT_EQ(iddef(counted("intro").data()), 0);
  EXPECT_EQ(iddef(counted("intro").data()), -1);
  EXPECT_EQ(iddef(counted("INTRO").data()), 0);
  for (int i = 0; i < 100000; ++i) iddef(counted("id" + std::to_string(i)).data());
  EXPECT_EQ(iddef(counted("id99999").data()), -1);
  EXPECT_NE(id_find(counted("id5").data()), nullptr);
  EXPECT_EQ(id_find(counted("id100000").data()), nullptr);
}

TEST_F(Tables, KeywordMaps) {
  EXPECT_EQ(keyword_lookup(kw_declared_content, "RCDATA"), 36);
  EXPECT_EQ(keyword_lookup(kw_declared_content, "EMPTY"), 48);
  EXPECT_EQ(keyword_lookup(kw_declared_content, "PCDATA"), 0);
  EXPECT_EQ(keyword_lookup(kw_declared_content, "empty"), 0);  // callers fold first
  EXPECT_EQ(keyword_lookup(kw_declared_value, "NUTOKENS"), 15);
  EXPECT_EQ(keyword_lookup(kw_entity_text, "STARTTAG"), 5);
  EXPECT_EQ(keyword_lookup(kw_marked_section, "TEMP"), 1);
  EXPECT_EQ(keyword_lookup(kw_public_class, "TEXT"), 13);
  EXPECT_EQ(keyword_lookup(kw_function_char, "SPACE"), 32);
  EXPECT_EQ(keyword_lookup(kw_data_kind, "SUBDOC"), 4);
}

TEST_F(Tables, FilterModeRecordsAtMost1024PlusGroups) {
  ElementTypeDef* e = etd_define(counted("P").data());
  ElementTypeDef* group[2] = {e, nullptr};
  etd_set(e, 0x80, nullptr, nullptr, group, nullptr);
  EXPECT_EQ(sgml_tables.plus_group_count, 0);  // documents not in sequence
  sgml_options().documents_in_sequence = true;
  for (int i = 0; i < 1025; ++i) etd_set(e, 0, nullptr, nullptr, i == 1024 ? nullptr : group, nullptr);
  EXPECT_EQ(sgml_tables.plus_group_count, 1024);
  EXPECT_EQ(sgml_tables.plus_groups[1023], group);
  EXPECT_EQ(e->flags, 0x80);
  EXPECT_EQ(e->plus, nullptr);  // the last call stored its own (null) group
}

TEST_F(Tables, NotationsAndMapsAreFoundByTheirExactName) {
  NotationRecord* n = notation_define(counted("gif").data());
  EXPECT_EQ(notation_define(counted("gif").data()), n);
  EXPECT_EQ(notation_find(counted("GIF").data()), nullptr);
  ShortRefMap* m = srmap_define(counted("m1").data(), 33);
  EXPECT_EQ(m->count, 33);
  EXPECT_EQ(srmap_find(counted("m1").data()), m);
  EXPECT_EQ(m->entities[32], nullptr);
}

void* failing_allocator(void* block, size_t size) {
  if (size == 0) {
    std::free(block);
    return nullptr;
  }
  return nullptr;
}

TEST_F(Tables, AnAllocationFailureEndsTheRunWithP33) {
  EXPECT_EXIT(
      {
        sgml_set_allocator(failing_allocator);
        etd_define(counted("X").data());
      },
      ::testing::ExitedWithCode(1), "Insufficient main memory; unable to continue parsing");
}

// Counts the blocks it holds; realloc's contract otherwise.
int live_blocks = 0;
void* counting_allocator(void* block, size_t size) {
  if (size == 0) {
    std::free(block);
    --live_blocks;
    return nullptr;
  }
  if (block == nullptr) ++live_blocks;
  return std::realloc(block, size);
}

TEST_F(Tables, AResetFreesEveryBlockThroughTheAllocatorThatGaveIt) {
  live_blocks = 0;
  sgml_set_allocator(counting_allocator);
  // Two element records, one string grown in place of its first block, one
  // string freed at once: three blocks held.
  etd_define(counted("A").data());
  etd_define(counted("B").data());
  auto* grown = static_cast<char*>(sgml_realloc(save_string("text"), 4000));
  EXPECT_STREQ(grown, "text");
  sgml_free(save_string("gone"));
  EXPECT_EQ(live_blocks, 3);
  sgml_parser_reset();
  EXPECT_EQ(live_blocks, 0);
  EXPECT_EQ(etd_find(counted("A").data()), nullptr);
  // The reset left the C library's allocator in place.
  save_string("after");
  EXPECT_EQ(live_blocks, 0);
}

}  // namespace
