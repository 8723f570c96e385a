// Integer lists, the bisection, subsets, and region sets stored in or
// pointing into fragmented texts.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <sys/stat.h>

#include "addgi/addgi.h"
#include "builder/fatal_reports.h"
#include "dd/scratch.h"
#include "pitst/pitst.h"

namespace {

// ---------------------------------------------------------------------------
// Integer lists

TEST(IntList, CapacitiesFollowTheTable) {
  // The table as written, then the fixed step beyond its last entry.
  const int32_t table[] = {5, 7, 9, 13, 17, 23, 31, 41, 55, 73, 97, 129, 171, 227,
                           301, 399, 529, 701, 929, 1231};
  int32_t c = 0;
  for (int32_t want : table) {
    c = intlist_next_capacity(c);
    EXPECT_EQ(c, want);
  }
  while (c < 17490433) {
    int32_t next = intlist_next_capacity(c);
    EXPECT_GT(next, c);
    EXPECT_EQ(next % 2, 1);
    c = next;
  }
  EXPECT_EQ(c, 17490433);  // the table's last entry is reached exactly
  EXPECT_EQ(intlist_next_capacity(c), 17490433 + 1048575);
  EXPECT_EQ(intlist_next_capacity(17490433 + 1048575), 17490433 + 2 * 1048575);
}

TEST(IntList, AppendGrowsAndKeepsTheSentinel) {
  IntList* list = nullptr;
  std::vector<int32_t> capacities;
  for (int32_t i = 0; i < 100; ++i) {
    list = intlist_append(list, i * 3, __FILE__, __LINE__);
    if (capacities.empty() || capacities.back() != list->capacity) capacities.push_back(list->capacity);
  }
  EXPECT_EQ(capacities, (std::vector<int32_t>{5, 7, 9, 13, 17, 23, 31, 41, 55, 73, 97, 129}));
  EXPECT_EQ(list->length, 100);
  EXPECT_EQ(list->buffer[0], -1);
  for (int32_t i = 0; i < 100; ++i) ASSERT_EQ(list->buffer[i + 1], i * 3);
  list = intlist_reserve(list, 1000, __FILE__, __LINE__);
  EXPECT_EQ(list->capacity, 1100);
  EXPECT_EQ(list->buffer[100], 99 * 3);
  intlist_free(list);
  list = intlist_reserve(nullptr, 10, __FILE__, __LINE__);
  EXPECT_EQ(list->capacity, 10);
  EXPECT_EQ(list->length, 0);
  intlist_free(list);
}

TEST(Bsearch, LargestIndexNotAboveTheKey) {
  const int32_t values[] = {-1, 10, 20, 20, 30};  // word 0 is the sentinel
  struct Case {
    int32_t key, want;
  };
  for (Case c : {Case{5, 0}, Case{10, 1}, Case{15, 1}, Case{20, 3}, Case{29, 3}, Case{30, 4},
                 Case{99, 4}}) {
    EXPECT_EQ(addbsearch(c.key, values, 1, 4, 0), c.want) << c.key;
  }
  // Pairs from word 1: the starts are words 1, 3, 5.
  const int32_t pairs[] = {-1, 1, 5, 11, 21, 31, 41};
  for (Case c : {Case{0, 0}, Case{1, 1}, Case{10, 1}, Case{11, 2}, Case{25, 2}, Case{31, 3},
                 Case{100, 3}}) {
    EXPECT_EQ(addbsearch(c.key, pairs, 1, 3, BSEARCH_PAIRS), c.want) << c.key;
  }
  EXPECT_EQ(addbsearch(7, pairs, 1, 0, BSEARCH_PAIRS), 0);  // empty range
}

// ---------------------------------------------------------------------------
// Subsets

TEST(Subsets, RangesOverAnArray) {
  FatalRecorder recorder;
  int32_t data[10];
  for (int i = 0; i < 10; ++i) data[i] = 100 + i;
  Subset* array = pitstcr(SUBSET_ARRAY, 0, 10, data, nullptr, 0, 0, 0);
  Subset* ranges = pitstcr(SUBSET_RANGES, 0, 0, nullptr, array, 0, 0, 0);
  ASSERT_EQ(pitstas(ranges, 2, 3), 0);
  ASSERT_EQ(pitstas(ranges, 7, 2), 0);
  EXPECT_EQ(ranges->count, 5);
  int32_t out[5] = {};
  ASSERT_EQ(pitstgr(ranges, 0, 5, out), 5);
  EXPECT_EQ(std::vector<int32_t>(out, out + 5), (std::vector<int32_t>{102, 103, 104, 107, 108}));
  ASSERT_EQ(pitstgr(ranges, 2, 2, out), 2);
  EXPECT_EQ(std::vector<int32_t>(out, out + 2), (std::vector<int32_t>{104, 107}));
  FatalReport r = fatal_of([&] { pitstgr(ranges, 4, 2, out); });
  EXPECT_EQ(r.text, "pitstgr: Start (4) out of range (size = 5, length = 2).");
  r = fatal_of([&] { pitstgr(ranges, -1, 1, out); });
  EXPECT_EQ(r.severity, 15);
  pitstcl(ranges);  // closes the array subset too
}

TEST(Subsets, CreationChecks) {
  FatalRecorder recorder;
  struct Case {
    int32_t kind, order, count, offset;
    const char* text;
  };
  const Case cases[] = {
      {0, 3, 0, 0, "pitstcr: Order = 3 invalid."},
      {1, 0, 0, 512, "pitstcr: Offset and type incompatible."},
      {0, 0, -1, 0, "pitstcr: Size = -1."},
      {5, 0, 0, 0, "pitstcr: type = 5 invalid."},
  };
  for (const Case& c : cases) {
    FatalReport r = fatal_of([&] { pitstcr(c.kind, c.order, c.count, nullptr, nullptr, c.offset, 0, 0); });
    EXPECT_EQ(r.severity, 5);
    EXPECT_EQ(r.text, c.text);
  }
  Subset* array = pitstcr(SUBSET_ARRAY, 0, 0, nullptr, nullptr, 0, 0, 0);
  FatalReport r = fatal_of([&] { pitstas(array, 0, 1); });
  EXPECT_EQ(r.text, "pitstas: type = 0  length = 1");
  Subset* ranges = pitstcr(SUBSET_RANGES, 0, 0, nullptr, array, 0, 0, 0);
  r = fatal_of([&] { pitstas(ranges, 0, 0); });
  EXPECT_EQ(r.text, "pitstas: type = 1  length = 0");
  pitstcl(ranges);
}

// ---------------------------------------------------------------------------
// Fragmented texts

// A directory file describing a text of one fragment file whose logical
// order differs from its physical one: the fragment holds "HELLOWORLD",
// the logical text is "WORLDHELLO" (logical 1-5 are physical 5-9, logical
// 6-10 physical 0-4). Table A maps logical to physical, table B physical
// to logical; both written as the format gives them.
void write_fragmented(const std::string& dir, const std::string& fragment,
                      const std::vector<std::pair<int32_t, int32_t>>& table_a,
                      const std::vector<std::pair<int32_t, int32_t>>& table_b, int32_t length) {
  const std::string names = fragment + '\0';
  int32_t h[19] = {};
  h[0] = 3;
  h[1] = 1;
  h[2] = 0;
  h[3] = static_cast<int32_t>(table_a.size());
  h[4] = static_cast<int32_t>(table_b.size());
  h[5] = length;
  h[6] = length;
  h[7] = 1;
  h[8] = 1;
  h[9] = 1024;
  h[10] = 76;
  h[11] = h[10] + 8 * h[3];
  h[12] = h[11] + 8 * h[4];
  h[13] = h[12] + 4;
  h[14] = 1;
  h[15] = h[13] + 4;
  h[16] = 1;
  h[17] = 0;
  h[18] = static_cast<int32_t>(names.size());
  std::string bytes(reinterpret_cast<const char*>(h), sizeof h);
  auto word = [&](int32_t w) { bytes.append(reinterpret_cast<const char*>(&w), 4); };
  for (auto [p, d] : table_a) word(p), word(d);
  for (auto [p, d] : table_b) word(p), word(d);
  word(table_a.front().first);
  word(table_b.front().first);
  bytes += names;
  mkdir(dir.c_str(), 0777);
  write_file(dir + "/frg.1.0", bytes);
}

class Fragmented : public ScratchDir {
 protected:
  void make_text() {
    write_file(path("hw.txt"), "HELLOWORLD");
    write_fragmented(path("frg"), path("hw.txt"), {{1, 4}, {6, -6}, {11, -1}},
                     {{0, 6}, {5, -4}, {10, 1}}, 10);
  }
};

TEST_F(Fragmented, ReadsByLogicalAddress) {
  FatalRecorder recorder;
  make_text();
  FrgacText t;
  ASSERT_EQ(frgac_open(path("hw.txt").c_str(), path("frg").c_str(), 1, 0, 0, FRGAC_READ, &t, 1), 0);
  unsigned char buffer[32] = {};
  EXPECT_EQ(bldgi::frgacrd(&t, 1, 10, buffer), 10);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 10), "WORLDHELLO");
  EXPECT_EQ(bldgi::frgacrd(&t, 4, 100, buffer), 7);  // clipped at the logical end
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 7), "LDHELLO");
  EXPECT_EQ(bldgi::frgacrd(&t, 11, 5, buffer), 0);
  FatalReport r = fatal_of([&] { bldgi::frgacrd(&t, 0, 5, buffer); });
  EXPECT_EQ(r.severity, 15);
  EXPECT_EQ(r.text, "frgacrd: Logical address out of range 0.");
  frgac_close(&t);
}

TEST_F(Fragmented, PhysicalPositionsBecomeLogicalAddresses) {
  FatalRecorder recorder;
  make_text();
  FrgacText t;
  ASSERT_EQ(frgac_open(path("hw.txt").c_str(), path("frg").c_str(), 1, 0, 0, FRGAC_READ, &t, 1), 0);
  int32_t positions[] = {0, 4, 5, 9, 10, 11, -1};
  EXPECT_EQ(bldgi::frgac_get_logical_addresses(&t, positions, 7), 2);
  EXPECT_EQ(std::vector<int32_t>(positions, positions + 7),
            (std::vector<int32_t>{6, 10, 1, 5, 11, INT_MAX, INT_MAX}));
  frgac_close(&t);
}

// A region set of pairs whose values are physical positions of that
// fragmented text: loaded as logical addresses less one.
TEST_F(Fragmented, PersistentRegionOverAFragmentedText) {
  FatalRecorder recorder;
  make_text();
  uint32_t header[128] = {1, 0x01020304, 1, 0, 0, 50300, 0, 0x0A0D0A00};
  std::string region(reinterpret_cast<const char*>(header), sizeof header);
  const int32_t values[] = {5, 9, 0, 4};  // "WORLD" and "HELLO" where they are stored
  region.append(reinterpret_cast<const char*>(values), sizeof values);
  write_file(path("r.rgn"), region);
  // The region file itself as a fragmented file, logical = physical + 1.
  const int32_t size = static_cast<int32_t>(region.size());
  write_fragmented(path("rfrg"), path("r.rgn"), {{1, -1}, {size + 1, -1}}, {{0, 1}, {size, 1}}, size);
  write_file(path("db.dd"),
             "<DB>\n<Text><Files><File><SysName>" + path("hw.txt") + "</SysName><FrgDir>" +
                 path("frg") + "</FrgDir><Major>1</Major><Minor>0</Minor></File></Files></Text>\n"
                 "<Regions>\n"
                 "<Region><Name>plain</Name><File><SysName>" + path("r.rgn") +
                 "</SysName><Offset>0</Offset></File><Count>4</Count><Type>pairs</Type></Region>\n"
                 "<Region><Name>stored</Name><File><SysName>" + path("r.rgn") + "</SysName><FrgDir>" +
                 path("rfrg") + "</FrgDir><Major>1</Major><Minor>0</Minor><Offset>8</Offset></File>"
                 "<Count>2</Count><Type>pairs</Type></Region>\n"
                 "</Regions>\n</DB>\n");
  BuildControl c;
  SetDefCntl(&c, BASE_MAP_BASIC);
  ASSERT_EQ(ReadDataDict(path("db.dd").c_str(), nullptr, &c), 3);
  ASSERT_EQ(c.texts[0].fragmented, 1);
  MadNode* tree = build_state().dd_tree;
  int32_t n = 0, pairs = 0;
  IntList* list = LoadDocs(tree, "plain", &n, &pairs, &c, 10);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(n, 2);
  EXPECT_EQ(std::vector<int32_t>(list->buffer + 1, list->buffer + 5), (std::vector<int32_t>{0, 4, 5, 9}));
  intlist_free(list);
  // The same file read through its fragment directory, from its third value.
  list = LoadDocs(tree, "stored", &n, &pairs, &c, 10);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(n, 1);
  EXPECT_EQ(std::vector<int32_t>(list->buffer + 1, list->buffer + 3), (std::vector<int32_t>{5, 9}));
  intlist_free(list);
  madmtfr(build_state().dd_tree);
  build_state().dd_tree = nullptr;
}

TEST(WorkingVector, SetTypes) {
  FatalRecorder recorder;
  int32_t values[3] = {1, 2, 3};
  AbstractSet none;
  none.set_type = SET_NONE;
  ASSERT_EQ(pitas_make_working_vector(&none, values, 3), 0);
  EXPECT_EQ(std::vector<int32_t>(values, values + 3), (std::vector<int32_t>{-1, -1, -1}));
  AbstractSet plain;
  plain.set_type = SET_PLAIN;
  values[0] = 7;
  ASSERT_EQ(pitas_make_working_vector(&plain, values, 1), 0);
  EXPECT_EQ(values[0], 7);
  FileInfo text{};
  AbstractSet persistent;
  persistent.set_type = SET_PERSISTENT;
  persistent.file = &text;
  FatalReport r = fatal_of([&] { pitas_make_working_vector(&persistent, values, 1); });
  EXPECT_EQ(r.text, "pitaswv: persistent pointers MUST be to fragmented files");
  r = fatal_of([&] { pitas_make_working_vector(nullptr, values, 1); });
  EXPECT_EQ(r.text, "pitaswv: abstract is NULL.");
}

}  // namespace
