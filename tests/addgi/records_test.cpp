// The records the getters make from well-formed entries: plain and
// fragmented files, a multi-file set, regions; the node and output forms;
// and entries written by the region-entry merge read back unchanged.
#include "addgi/getter_support.h"

namespace {

// The three files of collection.dd, worked out from the fixture.
const Plain kCollection[] = {
    {0, "/data/plain.txt", nullptr, -1, -1, 512, 4294967295u},
    {0, "bare.txt", nullptr, -1, -1, 0, 0},
    {1, "big", "big.frg", 0, 3, 0, 1700000000u},
};

TEST(TextFiles, RootGivesTheFirstTextWithItsFilesInOrder) {
  Tree tree = load_fixture("collection.dd");
  ReportRecorder rec;
  Outputs out;
  MadNode* text = out.text(tree.get());
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text, madatgc(madatgc(tree.get(), DD_DB), DD_Text));
  EXPECT_STREQ(out.name, "Sample collection");
  EXPECT_STREQ(out.desc, "Three texts");
  ASSERT_EQ(out.count, 3);
  for (int i = 0; i < 3; ++i) expect_plain(out.list[i], kCollection[i], "file " + std::to_string(i));
  EXPECT_TRUE(rec.reports().empty());
}

TEST(TextFiles, OutputsGivenAsNullAreSkipped) {
  Tree tree = load_fixture("collection.dd");
  ReportRecorder rec;
  int32_t count = -1;
  EXPECT_NE(addgiti(tree.get(), nullptr, nullptr, nullptr, &count), nullptr);
  EXPECT_EQ(count, 3);
  char* name = nullptr;
  EXPECT_NE(addgiti(tree.get(), &name, nullptr, nullptr, nullptr), nullptr);
  EXPECT_STREQ(name, "Sample collection");
  free(name);
  EXPECT_TRUE(rec.reports().empty());
}

TEST(TextFiles, FileNodeGivesItAndTheFileSiblingsAfterIt) {
  Tree tree = load_fixture("collection.dd");
  ReportRecorder rec;
  MadNode* files = madatgc(madatgc(madatgc(tree.get(), DD_DB), DD_Text), DD_Files);
  MadNode* second = madatns(madatgc(files, DD_File), DD_File);

  FileInfo* list = nullptr;
  int32_t count = 0;
  EXPECT_EQ(addgifi(second, &list, &count), 0);
  ASSERT_EQ(count, 2);
  expect_plain(list[0], kCollection[1], "second");
  expect_plain(list[1], kCollection[2], "third");
  addgi_files_free(list, count);

  // The count alone, and the last File alone.
  count = 0;
  EXPECT_EQ(addgifi(files, nullptr, &count), 0);
  EXPECT_EQ(count, 3);
  list = nullptr;
  EXPECT_EQ(addgifi(madatns(second, DD_File), &list, nullptr), 0);
  ASSERT_NE(list, nullptr);
  expect_plain(list[0], kCollection[2], "last alone");
  addgi_files_free(list, 1);
  EXPECT_TRUE(rec.reports().empty());
}

TEST(TextFiles, MultiFileSetIsOneRecordNamingItsFileMap) {
  Tree tree = load_fixture("mfs.dd");
  ReportRecorder rec;
  Outputs out;
  ASSERT_NE(out.text(tree.get()), nullptr);
  EXPECT_STREQ(out.name, "News");
  EXPECT_EQ(out.desc, nullptr);
  ASSERT_EQ(out.count, 1);
  const MfsInfo& set = out.list[0];
  EXPECT_EQ(set.multi_file, 1);
  EXPECT_EQ(set.fragmented, 0);
  EXPECT_STREQ(set.file_map, "/sets/news");
  EXPECT_STREQ(set.sys_name, "/sets/news");
  EXPECT_NE(set.file_map, set.sys_name);  // two owned copies
  EXPECT_EQ(set.frg_dir, nullptr);
  EXPECT_EQ(set.major, 0);
  EXPECT_EQ(set.minor, 0);
  EXPECT_EQ(set.offset, 0u);
  EXPECT_EQ(set.mod_date, 0u);
  EXPECT_EQ(set.handle, nullptr);

  struct Group {
    const char *dir, *file, *expand;
  };
  struct Chain {
    const char *search, *display, *raw, *fmt, *data_tag;
    std::vector<Group> groups;
  } want[] = {
      {"flat", "double", "mfsio", "sgml", "TEXT", {{"/sets/a", "*.sgm", "1"}, {"/sets/b", "*.txt", "0"}}},
      {"iflat", "half", "mfsio", "text", nullptr, {{"/sets/c", "c.dat", "0"}}},
  };
  ASSERT_EQ(set.chain_count, 2);
  for (int c = 0; c < 2; ++c) {
    SCOPED_TRACE("chain " + std::to_string(c));
    const FilterChainInfo& got = set.chains[c];
    EXPECT_STREQ(got.search_view, want[c].search);
    EXPECT_STREQ(got.display_view, want[c].display);
    EXPECT_STREQ(got.raw_view, want[c].raw);
    EXPECT_STREQ(got.display_fmt, want[c].fmt);
    expect_text_or_null(got.default_data_tag, want[c].data_tag);
    ASSERT_EQ(got.group_count, static_cast<int32_t>(want[c].groups.size()));
    for (size_t g = 0; g < want[c].groups.size(); ++g) {
      EXPECT_STREQ(got.groups[g].mfs_dir, want[c].groups[g].dir);
      EXPECT_STREQ(got.groups[g].mfs_file, want[c].groups[g].file);
      EXPECT_STREQ(got.groups[g].mfs_expand, want[c].groups[g].expand);
    }
  }
  EXPECT_TRUE(rec.reports().empty());
}

TEST(Regions, EntriesGiveNameCountTypeAndFiles) {
  Tree tree = load_fixture("collection.dd");
  ReportRecorder rec;
  struct Case {
    const char* name;
    const char* desc;
    long count;
    int32_t pairs;
    std::vector<Plain> files;
  } cases[] = {
      {"para", "Paragraphs", 10, 1, {{0, "sample.rgn", nullptr, -1, -1, 0, 1700000123u}}},
      {"line", nullptr, -3, 0, {{0, "sample.rgn", nullptr, -1, -1, 40, 0}}},
      {"split",
       "Held in two files",
       4,
       1,
       {{0, "a.rgn", nullptr, -1, -1, 0, 0}, {0, "b.rgn", nullptr, -1, -1, 8, 0}}},
  };
  // The root gives the first Region; each Region is then read by itself.
  Outputs first;
  EXPECT_EQ(first.region(tree.get()), entry_named(tree.get(), DD_Region, "para"));
  EXPECT_STREQ(first.name, "para");
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    Outputs out;
    MadNode* region = entry_named(tree.get(), DD_Region, k.name);
    ASSERT_EQ(out.region(region), region);
    EXPECT_STREQ(out.name, k.name);
    expect_text_or_null(out.desc, k.desc);
    EXPECT_EQ(out.region_count, k.count);
    EXPECT_EQ(out.pairs, k.pairs);
    ASSERT_EQ(out.count, static_cast<int32_t>(k.files.size()));
    for (size_t i = 0; i < k.files.size(); ++i) expect_plain(out.list[i], k.files[i], "file");
  }
  EXPECT_TRUE(rec.reports().empty());
}

TEST(Regions, RootWithoutRegionsOrTextGivesNullWithoutReport) {
  Tree mfs = load_fixture("mfs.dd");
  Tree empty(madmtmr());
  madmtac(empty.get(), MAD_TAG, DD_DB, nullptr);
  ReportRecorder rec;
  Outputs a, b;
  EXPECT_EQ(a.region(mfs.get()), nullptr);
  EXPECT_EQ(b.text(empty.get()), nullptr);
  EXPECT_EQ(b.count, 0);
  EXPECT_EQ(b.list, nullptr);
  EXPECT_TRUE(rec.reports().empty());
}

// What the region programs write (the region-entry merge of the data
// dictionary, with its "%lu" and "%d" texts) reads back field for field,
// the largest 32-bit date included.
TEST(Regions, MergedEntriesReadBack) {
  Tree tree = load_fixture("mfs.dd");
  ReportRecorder rec;
  char plain_name[] = "whole.rgn";
  char frg_name[] = "frag.rgn";
  char frg_dir[] = "frag.frg";
  FileInfo plain{};
  plain.sys_name = plain_name;
  plain.major = -1;
  plain.minor = -1;
  plain.offset = 4000000000u;
  plain.mod_date = 4294967295u;
  FileInfo frag{};
  frag.fragmented = 1;
  frag.sys_name = frg_name;
  frag.frg_dir = frg_dir;
  frag.major = 2;
  frag.minor = 0;
  frag.offset = 12;
  frag.mod_date = 77;
  ASSERT_EQ(addmdmr(tree.get(), "r1",
                    {{DD_Name, "r1"}, {DD_Desc, "one"}, {DD_File, &plain}, {DD_Count, 6L},
                     {DD_Type, "contig"}}),
            0);
  ASSERT_EQ(addmdmr(tree.get(), "r2", {{DD_Name, "r2"}, {DD_File, &frag}, {DD_Count, 2L},
                                       {DD_Type, "pairs"}}),
            0);

  Outputs r1, r2;
  ASSERT_NE(r1.region(tree.get()), nullptr);
  EXPECT_STREQ(r1.name, "r1");
  EXPECT_STREQ(r1.desc, "one");
  EXPECT_EQ(r1.region_count, 6);
  EXPECT_EQ(r1.pairs, 0);
  ASSERT_EQ(r1.count, 1);
  expect_plain(r1.list[0], {0, "whole.rgn", nullptr, -1, -1, 4000000000u, 4294967295u}, "r1");

  ASSERT_NE(r2.region(entry_named(tree.get(), DD_Region, "r2")), nullptr);
  EXPECT_EQ(r2.pairs, 1);
  ASSERT_EQ(r2.count, 1);
  expect_plain(r2.list[0], {1, "frag.rgn", "frag.frg", 2, 0, 12, 77}, "r2");
  EXPECT_TRUE(rec.reports().empty());
}

TEST(Records, ClearKeepsTheProgramsHandleAndFreeTakesNull) {
  Tree tree = load_fixture("mfs.dd");
  FileInfo* list = nullptr;
  int32_t count = 0;
  ASSERT_NE(addgiti(tree.get(), nullptr, nullptr, &list, &count), nullptr);
  int program_text = 0;
  list[0].handle = &program_text;
  addgi_file_clear(&list[0]);
  EXPECT_EQ(list[0].handle, &program_text);
  EXPECT_EQ(list[0].sys_name, nullptr);
  EXPECT_EQ(list[0].chains, nullptr);
  EXPECT_EQ(list[0].chain_count, 0);
  EXPECT_EQ(list[0].multi_file, 0);
  addgi_files_free(list, count);
  addgi_files_free(nullptr, 3);
  addgi_file_clear(nullptr);
}

}  // namespace
