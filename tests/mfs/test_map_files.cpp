// The map files one by one: the file-map entry parser (fields read by their
// byte count, long values kept whole, every number checked), the compiled
// map (lookups, a byte-swapped file), the filter-list and user-data readers
// and the map-file module.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "set_support.h"
#include "support/recorded_reports.h"

namespace {

using MapFilesTest = settest::SetTest;

// Parses every entry of a file-map text.
std::vector<MfsMapEntry> ParseAll(const std::string& path) {
  std::vector<MfsMapEntry> out;
  VqStream* s = vqio_fopen(path.c_str(), "r");
  if (!s) return out;
  MfsMapEntry e;
  while (mfs_parse_map_file_entry(s, &e, nullptr) == 1) out.push_back(e);
  vqio_fclose(s);
  return out;
}

TEST_F(MapFilesTest, FileMapEntriesRoundTrip) {
  MfsMapEntry a;
  a.start = 0;
  a.end = 99;
  a.file = "/data/" + std::string(2000, 'p') + ".txt";  // longer than a tag-stream token
  a.date = 1234567890;
  a.search_view = 0, a.display_view = 1, a.raw_view = 2;
  a.display_fmt = std::string(5000, 'f');
  a.has_data_tag = true;
  a.default_data_tag = std::string(300, 't');
  a.has_fields = true;
  a.fields = "<VQMap></VQMap><VQSize>3</VQSize>\n  </VQMap>\nend";  // read by count
  MfsMapEntry b;
  b.start = 100;
  b.end = 99;  // empty member
  b.file = "b.txt";
  b.display_fmt = "";  // an empty element is an empty value
  const std::string path = dir_ + "/rt.fmp";
  VqStream* s = vqio_fopen(path.c_str(), "w");
  ASSERT_NE(nullptr, s);
  ASSERT_EQ(1, mfs_map_write_entry(s, 0, &a));
  ASSERT_EQ(1, mfs_map_write_entry(s, 1, &b));
  vqio_fclose(s);
  EXPECT_EQ(0u, mfstest::ReadFile(path).find(
                    "<VQMap><VQMapID>0</VQMapID><VQStart>0</VQStart><VQEnd>99</VQEnd>\n  <VQFile>/data/"));
  const std::vector<MfsMapEntry> got = ParseAll(path);
  ASSERT_EQ(2u, got.size());
  for (size_t i = 0; i < 2; ++i) {
    const MfsMapEntry& want = i == 0 ? a : b;
    SCOPED_TRACE(i);
    EXPECT_EQ(want.start, got[i].start);
    EXPECT_EQ(want.end, got[i].end);
    EXPECT_EQ(want.file, got[i].file);
    EXPECT_EQ(want.date, got[i].date);
    EXPECT_EQ(want.search_view, got[i].search_view);
    EXPECT_EQ(want.display_view, got[i].display_view);
    EXPECT_EQ(want.raw_view, got[i].raw_view);
    EXPECT_EQ(want.display_fmt, got[i].display_fmt);
    EXPECT_EQ(want.has_data_tag, got[i].has_data_tag);
    EXPECT_EQ(want.default_data_tag, got[i].default_data_tag);
    EXPECT_EQ(want.has_fields, got[i].has_fields);
    EXPECT_EQ(want.fields, got[i].fields);
  }
}

TEST_F(MapFilesTest, MalformedEntriesAreRefused) {
  const std::string good =
      "<VQMap><VQMapID>0</VQMapID><VQStart>0</VQStart><VQEnd>9</VQEnd>\n"
      "  <VQFile>a</VQFile><VQDate>5</VQDate>\n"
      "  <VQSearchView>0</VQSearchView><VQDisplayView>0</VQDisplayView>\n"
      "  <VQRawView>0</VQRawView><VQDisplayFmt>F</VQDisplayFmt>\n";
  struct Case {
    const char* what;
    std::string text;
    size_t entries;
  };
  const Case cases[] = {
      {"well formed", good + "  <VQFields><VQSize>2</VQSize>ab</VQFields>\n  </VQMap>\n", 1},
      {"size below 0", good + "  <VQFields><VQSize>-1</VQSize>ab</VQFields>\n  </VQMap>\n", 0},
      {"size beyond the file", good + "  <VQFields><VQSize>2000000000</VQSize>ab</VQFields>\n", 0},
      {"size not a number", good + "  <VQFields><VQSize>2x</VQSize>ab</VQFields>\n  </VQMap>\n", 0},
      {"no size", good + "  <VQFields>ab</VQFields>\n  </VQMap>\n", 0},
      {"start not a number",
       "<VQMap><VQStart>1O</VQStart><VQEnd>9</VQEnd><VQFile>a</VQFile></VQMap>\n", 0},
      {"end beyond 32 bits",
       "<VQMap><VQStart>0</VQStart><VQEnd>4294967296</VQEnd><VQFile>a</VQFile></VQMap>\n", 0},
      {"blanks around numbers",
       "<VQMap><VQStart> 0 </VQStart><VQEnd>\n9</VQEnd><VQFile>a</VQFile></VQMap>\n", 1},
      {"unknown tags passed over",
       "<VQMap><VQStart>0</VQStart><Other>x</Other><VQEnd>9</VQEnd></VQMap>\n", 1},
      {"malformed tag", "<VQMap><VQStart>0</VQStart><VQEnd 9</VQEnd></VQMap>\n", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = dir_ + "/bad.fmp";
    mfstest::WriteFile(path, c.text);
    EXPECT_EQ(c.entries, ParseAll(path).size());
  }
}

TEST_F(MapFilesTest, CompiledMapLookups) {
  // Members of lengths 3, 0 and 5.
  MfsXmapTable t;
  t.rows = {{0, 0}, {3, 100}, {3, 200}, {8, 300}};
  const struct {
    int32_t address, row;
  } cases[] = {{-1, -1}, {0, 0}, {2, 0}, {3, 2}, {7, 2}, {8, -1}, {1000, -1}};
  for (const auto& c : cases) EXPECT_EQ(c.row, mfs_xmap_lookup(&t, c.address)) << c.address;
  int32_t offset = 0, last = 0;
  ASSERT_EQ(1, mfs_xmap_span(&t, 4, &offset, &last));
  EXPECT_EQ(200, offset);
  EXPECT_EQ(7, last);
  EXPECT_EQ(0, mfs_xmap_span(&t, 8, &offset, &last));
  EXPECT_EQ(3, mfs_xmap_find(&t, 8));
  MfsXmapTable empty, sentinel_only;
  sentinel_only.rows = {{0, 0}};
  EXPECT_EQ(-1, mfs_xmap_lookup(&empty, 0));
  EXPECT_EQ(-1, mfs_xmap_lookup(&sentinel_only, 0));
}

TEST_F(MapFilesTest, SwappedCompiledMapIsReadSwapped) {
  // Header, block and pairs written with every word's bytes reversed.
  std::vector<uint32_t> words(256, 0);
  const uint32_t header[8] = {6, 0x01020304u, 1, 0, 0, 50300, 0, 0x0A0D0A00u};
  std::copy(header, header + 8, words.begin());
  words[128 + 2] = 77;
  words[128 + 4] = 3;
  for (uint32_t w : {0u, 0u, 10u, 40u, 25u, 77u}) words.push_back(w);
  std::string bytes(words.size() * 4, '\0');
  for (size_t i = 0; i < words.size(); ++i) {
    const uint32_t s = __builtin_bswap32(words[i]);
    std::memcpy(&bytes[4 * i], &s, 4);
  }
  const std::string path = dir_ + "/swapped.xmp";
  mfstest::WriteFile(path, bytes);
  VqStream* s = vqio_fopen(path.c_str(), "r");
  ASSERT_NE(nullptr, s);
  MfsXmapTable t;
  int32_t block[128] = {};
  ASSERT_EQ(1, mfs_xmap_read(&t, s, block, sizeof block, path.c_str()));
  vqio_fclose(s);
  EXPECT_EQ(77, block[2]);
  EXPECT_EQ(3, block[4]);
  ASSERT_EQ(3, t.count());
  EXPECT_EQ(10, t.rows[1].start);
  EXPECT_EQ(40, t.rows[1].offset);
  EXPECT_EQ(25, t.rows[2].start);
}

TEST_F(MapFilesTest, FilterListFile) {
  const std::string path = dir_ + "/lists.lmp";
  mfstest::WriteFile(path,
                     "<VQFilterList><VQListID>1</VQListID><VQList>sys(tr a-z A-Z)</VQList>"
                     "</VQFilterList>\n<VQFilterList><VQListID>0</VQListID><VQList>double|meta"
                     "</VQList></VQFilterList>\n<VQFilterList><VQListID>2</VQListID><VQList>"
                     "</VQList></VQFilterList>\n<VQFilterList><VQListID>x</VQListID>"
                     "<VQList>flat</VQList></VQFilterList>\n");
  VqStream* s = vqio_fopen(path.c_str(), "r");
  ASSERT_NE(nullptr, s);
  MfsFilterListTable* t = mfs_fl_new(10, 10);
  mfs_fl_load(t, s);
  vqio_fclose(s);
  // Kept in id order; the empty list is empty, not the one before; a bad id
  // ends the list.
  ASSERT_EQ(3, t->count());
  EXPECT_EQ("double|meta", t->rows[0].text);
  EXPECT_EQ("sys(tr a-z A-Z)", t->rows[1].text);
  EXPECT_EQ("", t->rows[2].text);
  EXPECT_EQ(2, mfs_fl_find_id(t, 2));
  mfs_fl_free(t);
}

TEST_F(MapFilesTest, UserDataIndexIsSortedAfterLoading) {
  const std::string path = dir_ + "/u.dat";
  mfstest::WriteFile(path,
                     "<VQUserData><VQFile>zeta</VQFile>\n  <VQFields>z <b>bold</b> <VQFile>x</VQFile>"
                     "</VQFields></VQUserData>\n"
                     "<VQUserData><VQFile>alpha</VQFile>\n  <VQFields>a</VQFields></VQUserData>\n"
                     "<VQUserData><VQFile>mid</VQFile>\n  <VQFields></VQFields></VQUserData>\n");
  MfsUserDataIndex* index = mfs_usrdata_new(10, 10);
  ASSERT_EQ(1, mfs_usrdata_load(index, "", path.c_str(), mfs_usrdata_read_record));
  ASSERT_EQ(4, index->count());  // three records and the sentinel
  VqStream* s = vqio_fopen(path.c_str(), "r");
  ASSERT_NE(nullptr, s);
  const struct {
    const char* name;
    const char* fields;
    // In the fields the start tags of the record are left out; every end tag
  // but those of VQFields and VQUserData is kept as it stands.
  } cases[] = {{"zeta", "z <b>bold</b> x</VQFile>"}, {"alpha", "a"}, {"mid", ""},
               {"zeta", "z <b>bold</b> x</VQFile>"}};
  for (const auto& c : cases) {
    const int32_t row = mfs_usrdata_find(index, c.name);
    ASSERT_GE(row, 0) << c.name;
    std::string fields = "left over";
    ASSERT_EQ(1, mfs_usrdata_fetch(s, index, row, &fields));
    EXPECT_EQ(c.fields, fields) << c.name;
  }
  EXPECT_EQ(-1, mfs_usrdata_find(index, "other"));
  vqio_fclose(s);
  mfs_usrdata_free(index);
  EXPECT_EQ(0, mfs_usrdata_load(index = mfs_usrdata_new(10, 10), "", (dir_ + "/no.dat").c_str(),
                                mfs_usrdata_read_record));
  mfs_usrdata_free(index);
}

void* ResolverWithoutStat(const char* name) {
  return std::strcmp(name, "vqio_stat") == 0 ? nullptr : mfs_resolve_name(name);
}

TEST_F(MapFilesTest, MapFileModule) {
  MfsMapFileModule* m = mfs_mapfile_module_new();
  const std::string base = dir_ + "/mod";
  EXPECT_EQ(nullptr, m->init(base.c_str(), ResolverWithoutStat, 1));
  // No file map yet: init with opening fails, without opening succeeds.
  EXPECT_EQ(nullptr, m->init(base.c_str(), mfs_resolve_name, 0));
  void* state = m->init(base.c_str(), mfs_resolve_name, 1);
  ASSERT_NE(nullptr, state);
  EXPECT_EQ(-1, m->size(state, base.c_str()));
  EXPECT_EQ(0, m->same_size(state, base.c_str(), -1));
  ASSERT_EQ(1, m->create(state, base.c_str()));
  EXPECT_EQ(0, m->size(state, base.c_str()));
  EXPECT_EQ(1, m->same_size(state, base.c_str(), 0));
  m->destroy(state);
  // Entries read at their offsets.
  MfsMapEntry e;
  e.file = "first";
  e.end = 4;
  VqStream* s = vqio_fopen((base + ".fmp").c_str(), "w");
  mfs_map_write_entry(s, 0, &e);
  const long second = vqio_ftell(s);
  e.file = "second";
  e.start = 5;
  e.end = 9;
  mfs_map_write_entry(s, 1, &e);
  vqio_fclose(s);
  state = m->init(base.c_str(), mfs_resolve_name, 0);
  ASSERT_NE(nullptr, state);
  for (int round = 0; round < 2; ++round) {
    for (const auto& [offset, name] : {std::pair{second, "second"}, {0L, "first"}}) {
      MfsMapEntry* got = m->read_entry(state, static_cast<int32_t>(offset));
      ASSERT_NE(nullptr, got);
      EXPECT_EQ(name, got->file);
      m->free_entry(state, got);
    }
  }
  EXPECT_EQ(nullptr, m->read_entry(state, 100000));  // beyond the file map
  m->destroy(state);
  delete m;
}

}  // namespace
