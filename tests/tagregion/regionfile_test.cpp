// Laying tag position records out in the region file and the counts file,
// and the data-dictionary entries made from the counts.
#include <cstring>

#include "addgi/addgi.h"
#include "madat/madat.h"
#include "util/util.h"
#include "support.h"

namespace {

std::string words(const std::vector<uint32_t>& v) {
  std::string out(v.size() * 4, '\0');
  std::memcpy(out.data(), v.data(), out.size());
  return out;
}

std::string record(int slot, uint32_t position) {
  std::string r(1, static_cast<char>(slot));
  r.append(reinterpret_cast<const char*>(&position), 4);
  return r;
}

// The 512-byte header the region programs write, from its field list.
std::string region_header() {
  std::vector<uint32_t> w(128, 0);
  w[0] = 1;            // type: region file
  w[1] = 0x01020304;   // byte-order mark
  w[2] = 1;            // major
  w[3] = 0;            // minor
  w[4] = 0;            // extra value
  w[5] = 50300;        // version
  w[7] = 0x0A0D0A00;   // sentinel
  return words(w);
}

TEST(RegionFile, DamagedReadyFilesAreRefusedWithTheirFirstFault) {
  pt::Scratch s;
  const std::string pairs = record(0, 3) + record(0, 9) + record(2, 0) + record(2, 99);
  struct Case {
    std::string bytes;
    int32_t slots;
    bool default_data;
    int64_t text_size;
    std::string first;  // "" when the file is sound
  };
  const std::string name = s.path("sw");
  const Case cases[] = {
      {pairs, 3, false, 100, ""},
      {pairs, 3, false, -1, ""},
      {pairs + record(254, 1) + record(254, 2), 3, true, 100, ""},
      {"", 3, false, 100, ""},
      {pairs + "\x01\x02", 3, false, 100,
       "80007: Tag position file '" + name + "' ends in 2 bytes that are no whole record; nothing was changed."},
      {pairs, 2, false, 100,
       "80034: Tag position file '" + name + "' holds slot 2, but the tag names give slots 0 to 1; nothing was changed."},
      {pairs + record(254, 1) + record(254, 2), 3, false, 100,
       "80034: Tag position file '" + name + "' holds slot 254, but the tag names give slots 0 to 2; nothing was changed."},
      {pairs + record(1, 5), 3, false, 100,
       "80008: Tag position file '" + name + "' holds an odd number of positions for slot 1; nothing was changed."},
      {pairs, 3, false, 99,
       "80035: Tag position file '" + name + "' holds position 99, beyond the text 'text' of 99 bytes; nothing was changed."},
  };
  for (const Case& c : cases) {
    s.write("sw", c.bytes);
    ReportRecorder r;
    region_check_tagpos(name, c.slots, c.default_data, c.text_size, "text");
    if (c.first.empty()) {
      EXPECT_TRUE(r.reports().empty()) << c.bytes.size();
    } else {
      ASSERT_FALSE(r.reports().empty()) << c.first;
      EXPECT_EQ(r.reports()[0].severity, 9);
      EXPECT_EQ(r.reports()[0].text, c.first);
    }
  }
}

TEST(RegionFile, SlotsLaidOutInRecordOrderAcrossManyBufferFills) {
  pt::Scratch s;
  // 40000 records alternating between slots 3 and 1, and one for slot 200;
  // a short tail that is no whole record is not read.
  std::string tagpos;
  std::vector<uint32_t> slot1, slot3;
  for (uint32_t i = 0; i < 40000; ++i) {
    int slot = i % 2 ? 1 : 3;
    tagpos += record(slot, i * 7);
    (slot == 1 ? slot1 : slot3).push_back(i * 7);
  }
  tagpos += record(200, 99);
  tagpos += "\x05\x01";
  s.write("tagint", tagpos);
  std::string rgn = s.write("out.rgn", std::string(3000, 'z'));  // an older, longer file

  VqStream* in = vqio_fopen(s.path("tagint").c_str(), "r");
  VqStream* out = vqio_fopen(rgn.c_str(), "r+");
  ReportRecorder r;
  ASSERT_EQ(region_sort_pointers(s.path("counts").c_str(), in, out, 0, 50300, rgn.c_str()), 0);
  vqio_fclose(in);
  vqio_fclose(out);
  // A damaged ready file is refused before this (region_check_tagpos); the
  // layout itself takes whole records and reports nothing.
  EXPECT_TRUE(r.reports().empty());

  std::vector<uint32_t> data = slot1;
  data.insert(data.end(), slot3.begin(), slot3.end());
  data.push_back(99);
  EXPECT_EQ(pt::read_file(rgn), region_header() + words(data));

  // Offsets: slots 0 and 1 at 0, slots 2 and 3 after slot 1's 20000
  // positions, slots 4..200 after slot 3's, the rest after slot 200's one.
  std::vector<uint32_t> counts(512, 0);
  for (int slot = 0; slot < 256; ++slot) {
    uint32_t offset = 0;
    if (slot > 1) offset += 80000;
    if (slot > 3) offset += 80000;
    if (slot > 200) offset += 4;
    counts[slot] = offset;
  }
  counts[256 + 1] = 20000;
  counts[256 + 3] = 20000;
  counts[256 + 200] = 1;
  EXPECT_EQ(pt::read_file(s.path("counts")), words(counts));
}

TEST(RegionFile, EntriesFromTheCounts) {
  pt::Scratch s;
  TagNameLists lists =
      pt::lists_from(s, "<region><element>a</element><element>b</element></region>"
                        "<region><att>id</att></region><region><tag>a</tag></region>");
  // Slots a 0, b 1, A-id 2, a-T 3: counts 0, 4, 2, 0.
  std::vector<uint32_t> counts(512, 0);
  counts[2] = 16;
  counts[3] = 24;
  for (int slot = 4; slot < 256; ++slot) counts[slot] = 24;
  counts[256 + 1] = 4;
  counts[256 + 2] = 2;
  s.write("counts", words(counts));
  std::string dd = s.write("db.dd", "<DB><Text><Files><File><SysName>t</SysName></File></Files></Text></DB>\n");
  std::string rgn = s.write("db.rgn", region_header());
  MadNode* tree = addpadd(dd.c_str());
  ASSERT_NE(tree, nullptr);
  ASSERT_EQ(region_update_dd(tree, &lists, rgn.c_str(), s.path("counts").c_str(), 1), 0);

  struct Want {
    const char* name;
    const char* desc;
    long count;
    uint32_t offset;
  };
  const std::vector<Want> want = {
      {"a", "Element delimited by 'a'.", 0, 0},  // offset equal to the next slot's
      {"b", "Element delimited by 'b'.", 4, 0},
      {"A-id", "Attribute defined by 'A-id'.", 2, 16},
      {"a-T", "Tag delimited by 'a-T'.", 0, 24},
      {"VQDefaultData", "Default Data Regions", 0, 24},
  };
  size_t i = 0;
  for (MadNode* r = addgiri(tree, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr); r;
       r = madatns(r, DD_Region), ++i) {
    char *name = nullptr, *desc = nullptr;
    long count = -1;
    int32_t pairs = 0, files = 0;
    FileInfo* file = nullptr;
    ASSERT_NE(addgiri(r, &name, &desc, &count, &pairs, &file, &files), nullptr);
    ASSERT_LT(i, want.size());
    EXPECT_STREQ(name, want[i].name);
    EXPECT_STREQ(desc, want[i].desc);
    EXPECT_EQ(count, want[i].count) << name;
    EXPECT_EQ(pairs, 1);
    ASSERT_EQ(files, 1);
    EXPECT_STREQ(file[0].sys_name, rgn.c_str());
    EXPECT_EQ(file[0].offset, want[i].offset) << name;
    EXPECT_EQ(file[0].mod_date, static_cast<uint32_t>(file_mtime(rgn.c_str())));
    std::free(name);
    std::free(desc);
    addgi_files_free(file, files);
  }
  EXPECT_EQ(i, want.size());
  madmtfr(tree);
}

}  // namespace
