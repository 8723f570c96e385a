// Control, text records and region set read from a data dictionary, and the
// reports of the builder's getters.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <fstream>

#include "addgi/addgi.h"
#include "builder/builder.h"
#include "builder/fatal_reports.h"
#include "dd/scratch.h"
#include "madat/madat.h"
#include "pitst/pitst.h"

namespace {

// A region file: the data-file header (type 1, byte-order mark, major 1,
// minor 0, the given extra value, version 50300, the translation sentinel)
// and the values.
std::string region_file(const std::vector<int32_t>& values, uint32_t extra = 0) {
  uint32_t header[128] = {};
  header[0] = 1;
  header[1] = 0x01020304;
  header[2] = 1;
  header[4] = extra;
  header[5] = 50300;
  header[7] = 0x0A0D0A00;
  std::string bytes(reinterpret_cast<const char*>(header), sizeof header);
  bytes.append(reinterpret_cast<const char*>(values.data()), values.size() * 4);
  return bytes;
}

class ReadDD : public ScratchDir {
 protected:
  void TearDown() override {
    BuildState& st = build_state();
    madmtfr(st.dd_tree);
    st.dd_tree = nullptr;
    ScratchDir::TearDown();
  }

  // A data dictionary with the text records, the given <Index> bodies and
  // regions; %D stands for the scratch directory.
  std::string write_dd(const std::string& indices, const std::string& regions = "",
                       const char* name = "db.dd") {
    std::string text =
        "<DB>\n"
        " <Text>\n"
        "  <Files>\n"
        "   <File><SysName>%D/text.txt</SysName><Offset>3</Offset></File>\n"
        "   <File><SysName>%D/other.txt</SysName></File>\n"
        "  </Files>\n"
        " </Text>\n"
        " <Indices>\n" +
        indices + " </Indices>\n" + (regions.empty() ? "" : " <Regions>\n" + regions + " </Regions>\n") +
        "</DB>\n";
    for (size_t at; (at = text.find("%D")) != std::string::npos;) text.replace(at, 2, dir_);
    write_file(path(name), text);
    write_file(path("text.txt"), std::string(40, 'x'));
    write_file(path("other.txt"), "y");
    return path(name);
  }
};

const char kWords[] =
    "  <Index>\n"
    "   <Name>first</Name>\n"
    "   <File><SysName>first.idx</SysName></File>\n"
    "  </Index>\n"
    "  <Index>\n"
    "   <Name>words</Name>\n"
    "   <Desc>word index</Desc>\n"
    "   <InitFile>w.ini</InitFile>\n"
    "   <LongestMatch><Length>12</Length><Resolution>3</Resolution></LongestMatch>\n"
    "   <IndexPoints>\n"
    "    <IndexPt> &alphanumeric.</IndexPt>\n"
    "    <IndexPt>&lt.&alphabetic.</IndexPt>\n"
    "   </IndexPoints>\n"
    "   <Mappings>\n"
    "    <Map><From>A</From><To>a</To></Map>\n"
    "    <Map><From><CharRange><First>B</First><Last>D</Last></CharRange></From>"
    "<To><CharRange><First>b</First><Last>d</Last></CharRange></To></Map>\n"
    "    <Map><From><CharRange><First>\\300</First><Last>U+C5</Last></CharRange></From>"
    "<To>a</To></Map>\n"
    "    <Map><From>&tab.</From><To>U+20</To></Map>\n"
    "    <Map><From>U+7F</From><To>\\101</To></Map>\n"
    "    <Map><From>\\</From><To></To></Map>\n"
    "    <StopWords><Ignore>the</Ignore><Ignore>of</Ignore></StopWords>\n"
    "   </Mappings>\n"
    "   <IntegrityCheck>-12345</IntegrityCheck>\n"
    "   <File><SysName>w.idx</SysName><ModDate>9</ModDate></File>\n"
    "   <FastFind><FastFindWordList><File><SysName>ff.wl</SysName></File></FastFindWordList></FastFind>\n"
    "   <AuxPath>/aux</AuxPath>\n"
    "  </Index>\n";

TEST_F(ReadDD, IndexEntryIntoTheControlRecord) {
  FatalRecorder recorder;
  const std::string dd = write_dd(kWords);
  BuildControl c;
  SetDefCntl(&c, BASE_MAP_SGML);
  ASSERT_EQ(ReadDataDict(dd.c_str(), "words", &c), 0);
  EXPECT_EQ(c.index_name, "words");
  EXPECT_EQ(c.index_desc, std::optional<std::string>("word index"));
  EXPECT_EQ(c.init_file, std::optional<std::string>("w.ini"));
  EXPECT_EQ(c.longest_match, 12);
  EXPECT_EQ(c.resolution, 3);
  EXPECT_EQ(c.integrity_check, -12345);
  ASSERT_NE(c.index_file.sys_name, nullptr);
  EXPECT_STREQ(c.index_file.sys_name, "w.idx");
  EXPECT_EQ(c.index_file.mod_date, 9u);
  EXPECT_EQ(c.aux_path, std::optional<std::string>("/aux"));
  EXPECT_EQ(c.s_vector[0], nullptr);
  ASSERT_NE(c.s_vector[1], nullptr);
  EXPECT_STREQ(c.s_vector[1]->sys_name, "ff.wl");
  EXPECT_EQ(c.s_vector[2], nullptr);
  EXPECT_EQ(c.word_starters, (std::vector<std::string>{" &alphanumeric.", "&lt.&alphabetic."}));
  EXPECT_EQ(c.definition_count, 2);
  EXPECT_EQ(c.stop_words, (std::vector<std::string>{"the", "of"}));

  // The map: the data dictionary's default (printable ASCII and 160-255
  // kept, the rest dropped), then the six maps in order.
  for (int b = 0; b < 256; ++b) {
    int want = (b >= 32 && b <= 126) || b >= 160 ? b : 0;
    if (b == 'A') want = 'a';
    if (b >= 'B' && b <= 'D') want = b - 'B' + 'b';
    if (b >= 0xC0 && b <= 0xC5) want = 'a';
    if (b == '\t') want = ' ';
    if (b == 0x7F) want = 'A';
    if (b == '\\') want = 0;
    EXPECT_EQ(c.map[b], want) << "byte " << b;
  }
  ASSERT_EQ(c.mappings.size(), 6u);
  auto item = [](const CharMapping& m) {
    return std::vector<int32_t>{m.from_is_range, m.to_is_range, m.from_first,
                                m.from_last,     m.to_first,    m.to_last};
  };
  EXPECT_EQ(item(c.mappings[0]), (std::vector<int32_t>{0, 0, 'A', 'A', 'a', 'a'}));
  EXPECT_EQ(item(c.mappings[1]), (std::vector<int32_t>{1, 1, 'B', 'D', 'b', 'd'}));
  EXPECT_EQ(item(c.mappings[2]), (std::vector<int32_t>{1, 0, 0xC0, 0xC5, 'a', 'a'}));
  EXPECT_EQ(item(c.mappings[3]), (std::vector<int32_t>{0, 0, 9, 9, ' ', ' '}));
  EXPECT_EQ(item(c.mappings[4]), (std::vector<int32_t>{0, 0, 0x7F, 0x7F, 'A', 'A'}));
  EXPECT_EQ(item(c.mappings[5]), (std::vector<int32_t>{0, 0, '\\', '\\', 0, 0}));

  // Stop words compiled, and the classes of the two definitions.
  ASSERT_EQ(c.stop_masks.size(), 4u);
  EXPECT_EQ(c.stop_masks[0]['t'], 1u);
  EXPECT_EQ(c.stop_masks[0]['o'], 2u);
  EXPECT_TRUE(is_point_start(&c, ' ', '7'));
  EXPECT_TRUE(is_point_start(&c, '<', 'q'));
  EXPECT_FALSE(is_point_start(&c, '<', '7'));
  EXPECT_FALSE(is_point_start(&c, 'a', 'b'));

  // Both text records, the first with its offset.
  ASSERT_EQ(c.text_count, 2);
  EXPECT_EQ(std::string(c.texts[0].sys_name), path("text.txt"));
  EXPECT_EQ(c.texts[0].offset, 3u);
  EXPECT_EQ(std::string(c.texts[1].sys_name), path("other.txt"));
}

TEST_F(ReadDD, FirstIndexByDefaultAndBuiltInControlKept) {
  FatalRecorder recorder;
  const std::string dd = write_dd(kWords);
  BuildControl c;
  SetDefCntl(&c, BASE_MAP_SGML);
  ASSERT_EQ(ReadDataDict(dd.c_str(), nullptr, &c), 0);
  EXPECT_EQ(c.index_name, "first");
  EXPECT_EQ(c.integrity_check, 0);  // optional: absent gives 0
  EXPECT_EQ(c.longest_match, 0);
  // No <IndexPoints>: a warning, and the built-in WordStarters stay; no
  // <Map>: the built-in map stays.
  ASSERT_FALSE(recorder.reports().empty());
  EXPECT_EQ(recorder.reports().back().severity, 0);
  EXPECT_EQ(recorder.reports().back().text, "40016: addgiip: No index points set.");
  EXPECT_EQ(c.word_starters, builtin_word_starters(BASE_MAP_SGML));
  unsigned char sgml[256];
  builtin_char_map(BASE_MAP_SGML, sgml);
  EXPECT_EQ(std::memcmp(c.map.data(), sgml, 256), 0);
  EXPECT_TRUE(c.mappings.empty());
}

TEST_F(ReadDD, MappingsWithoutMapKeepTheBuiltInMap) {
  FatalRecorder recorder;
  const std::string dd = write_dd(
      "  <Index>\n   <Name>x</Name>\n   <Mappings><StopWords><Ignore>a</Ignore></StopWords>"
      "</Mappings>\n  </Index>\n");
  BuildControl c;
  SetDefCntl(&c, BASE_MAP_SGML);
  ASSERT_EQ(ReadDataDict(dd.c_str(), "x", &c), 0);
  unsigned char sgml[256];
  builtin_char_map(BASE_MAP_SGML, sgml);
  EXPECT_EQ(std::memcmp(c.map.data(), sgml, 256), 0);
  EXPECT_TRUE(c.mappings.empty());
  EXPECT_EQ(c.stop_words, std::vector<std::string>{"a"});
}

TEST_F(ReadDD, ResultsWithoutIndexOrText) {
  FatalRecorder recorder;
  BuildControl c;
  SetDefCntl(&c, BASE_MAP_SGML);
  const std::string dd = write_dd("");
  EXPECT_EQ(ReadDataDict(dd.c_str(), nullptr, &c), 3);
  EXPECT_EQ(c.text_count, 2);
  addgi_files_free(c.texts, c.text_count);  // read again below
  c.texts = nullptr;
  c.text_count = 0;
  write_file(path("notext.dd"), "<DB>\n <Indices>\n" + std::string(kWords) + " </Indices>\n</DB>\n");
  EXPECT_EQ(ReadDataDict(path("notext.dd").c_str(), "words", &c), 4);
}

TEST_F(ReadDD, NotADataDictionary) {
  FatalRecorder recorder;
  BuildControl c;
  for (const char* text : {"<Text>\n</Text>\n", "no tags at all\n", "<DBX>\n</DBX>\n",
                           "# <comment>\n<DB>\n</DB>\n"}) {
    write_file(path("bad.dd"), text);
    FatalReport r = fatal_of([&] { ReadDataDict(path("bad.dd").c_str(), nullptr, &c); });
    EXPECT_EQ(r.severity, 9) << text;
    EXPECT_EQ(r.text, "40008: '" + path("bad.dd") + "' is apparently not a valid data dictionary file.");
  }
  // Text before "<DB>" passes the look but not the reader.
  write_file(path("bad.dd"), "hello <DB>\n</DB>\n");
  FatalReport r = fatal_of([&] { ReadDataDict(path("bad.dd").c_str(), nullptr, &c); });
  EXPECT_EQ(r.text.substr(0, 6), "10004:");
  // The "<DB>" may follow white space and comment lines without "<".
  write_file(path("ok.dd"), "# built by hand\n\n  <DB>\n<Indices></Indices>\n</DB>\n");
  EXPECT_EQ(ReadDataDict(path("ok.dd").c_str(), nullptr, &c), 4);
}

// Each getter's report, with the data dictionary line it names.
TEST_F(ReadDD, GetterReports) {
  FatalRecorder recorder;
  struct Case {
    std::string index_body;  // inside <Index>, after <Name>x</Name>, on line 11
    int severity;
    std::string text;        // %F is the data dictionary's path
  };
  const Case cases[] = {
      {"<LongestMatch><Resolution>2</Resolution></LongestMatch>", 9,
       "40009: addgilr: Data dictionary tag '<Index><LongestMatch><Length>' is missing or empty."},
      {"<LongestMatch><Length>1</Length><Resolution>x</Resolution></LongestMatch>", 9,
       "40025: addgilr: Data dictionary tag '<Index><Resolution><Length>' contains 'x'; should be "
       "numeric."},
      {"<IntegrityCheck>yes</IntegrityCheck>", 9,
       "40025: addgiic: Data dictionary tag '<Index><IntegrityCheck>' contains 'yes'; should be "
       "numeric."},
      {"<Mappings><Map><From>&foo.</From><To>a</To></Map></Mappings>", 9,
       "10000: addgicm: bad &. code at line 11: &foo."},
      {"<Mappings><Map><From>&amp</From><To>a</To></Map></Mappings>", 9,
       "10000: addgicm: bad &. code at line 11: &amp"},
      {"<Mappings><Map><From>\\12</From><To>a</To></Map></Mappings>", 9,
       "10001: addgicm: bad escaped character at line 11: \\12"},
      {"<Mappings><Map><From>a</From><To>U+100</To></Map></Mappings>", 9,
       "10009: \naddgicm: Character value larger than alphabet at line 11. String: U+100. "
       "Alphabet size: 256."},
      {"<Mappings><Map><From><CharRange><First>A</First><Last>Z</Last></CharRange></From>"
       "<To><CharRange><First>a</First><Last>y</Last></CharRange></To></Map></Mappings>",
       9, "10010: \naddgicm: Character mapping \"from\" range size and \"to\" range size not equal "
          "at line $d."},
      {"<Mappings><Map><From>ab</From><To>a</To></Map></Mappings>", 9,
       "40003: addgicm: character mapping too long at line 11."},
      {"<Mappings><Map><From>\\x</From><To>a</To></Map></Mappings>", 9,
       "40003: addgicm: character mapping too long at line 11."},
      {"<IndexPoints><IndexPt>&lt</IndexPt></IndexPoints>", 9,
       "150000: Invalid meta-character in WordStarters definition '&lt'"},
      {"<Mappings><StopWords>"
       "<Ignore>a</Ignore><Ignore>b</Ignore><Ignore>c</Ignore><Ignore>d</Ignore><Ignore>e</Ignore>"
       "<Ignore>f</Ignore><Ignore>g</Ignore><Ignore>h</Ignore><Ignore>i</Ignore><Ignore>j</Ignore>"
       "<Ignore>k</Ignore><Ignore>l</Ignore><Ignore>m</Ignore><Ignore>n</Ignore><Ignore>o</Ignore>"
       "<Ignore>p</Ignore><Ignore>q</Ignore><Ignore>r</Ignore><Ignore>s</Ignore><Ignore>t</Ignore>"
       "<Ignore>u</Ignore><Ignore>v</Ignore><Ignore>w</Ignore><Ignore>x</Ignore><Ignore>y</Ignore>"
       "<Ignore>z</Ignore><Ignore>aa</Ignore><Ignore>bb</Ignore><Ignore>cc</Ignore>"
       "<Ignore>dd</Ignore><Ignore>ee</Ignore><Ignore>ff</Ignore><Ignore>gg</Ignore>"
       "</StopWords></Mappings>",
       9, "150001: Too many stop words for this implementation."},
  };
  for (const Case& k : cases) {
    const std::string dd = write_dd("  <Index>\n   <Name>x</Name>\n" + k.index_body + "\n  </Index>\n");
    BuildControl c;
    SetDefCntl(&c, BASE_MAP_SGML);
    FatalReport r = fatal_of([&] { ReadDataDict(dd.c_str(), "x", &c); });
    EXPECT_EQ(r.severity, k.severity) << k.index_body;
    EXPECT_EQ(r.text, k.text) << k.index_body;
  }
  // An index name that the data dictionary does not hold.
  const std::string dd = write_dd(kWords);
  BuildControl c;
  FatalReport r = fatal_of([&] { ReadDataDict(dd.c_str(), "nosuch", &c); });
  EXPECT_EQ(r.severity, 16);
  EXPECT_EQ(r.text, "40013: Index with name 'nosuch' is not present in data dictionary specified '" +
                        dd + "'.");
}

TEST_F(ReadDD, GettersRefuseAnotherEntry) {
  FatalRecorder recorder;
  const std::string dd = write_dd(kWords, "  <Region><Name>r</Name><Count>0</Count><Type>pairs</Type></Region>\n");
  BuildControl c;
  ASSERT_EQ(ReadDataDict(dd.c_str(), nullptr, &c), 0);
  MadNode* text = madatgc(madatgc(build_state().dd_tree, DD_DB), DD_Text);
  ASSERT_NE(text, nullptr);
  std::array<FileInfo*, 3> sv;
  std::vector<bldgi::FastRegion> fast;
  const std::vector<std::pair<std::string, std::function<void()>>> calls = {
      {"addgiic", [&] { bldgi::addgiic(text, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr); }},
      {"addgilr", [&] { bldgi::addgilr(text, nullptr, nullptr); }},
      {"addgiip", [&] { bldgi::addgiip(text, nullptr); }},
      {"addgisw", [&] { bldgi::addgisw(text); }},
      {"addgicm", [&] { bldgi::addgicm(text, &c); }},
      {"addgisv", [&] { bldgi::addgisv(text, &sv); }},
      {"addgiau", [&] { bldgi::addgiau(text); }},
      {"addgiin", [&] { bldgi::addgiin(text, "words", "db"); }},
      {"addgiri", [&] { bldgi::addgiri(text, "r", nullptr, nullptr, nullptr, nullptr, nullptr, &fast); }},
  };
  for (const auto& [id, call] : calls) {
    FatalReport r = fatal_of(call);
    EXPECT_EQ(r.severity, 15) << id;
    EXPECT_EQ(r.text, "40000: " + id + ": Bad args.");
  }
}

const char kRegions[] =
    "  <Region>\n"
    "   <Name>para</Name>\n"
    "   <Desc>paragraphs</Desc>\n"
    "   <File><SysName>%D/r.rgn</SysName><Offset>8</Offset></File>\n"
    "   <Count>6</Count>\n"
    "   <Type>pairs</Type>\n"
    "   <FastRegion><IndexName>words</IndexName><File><SysName>fr.rgn</SysName></File></FastRegion>\n"
    "   <FastRegion><IndexName>other</IndexName><File><SysName>fo.rgn</SysName></File></FastRegion>\n"
    "  </Region>\n"
    "  <Region>\n"
    "   <Name>list</Name>\n"
    "   <File><SysName>%D/r.rgn</SysName><Offset>32</Offset></File>\n"
    "   <Count>2</Count>\n"
    "   <Type>contig</Type>\n"
    "  </Region>\n"
    "  <Region>\n"
    "   <Name>none</Name>\n"
    "   <File><SysName>%D/r.rgn</SysName><Offset>40</Offset></File>\n"
    "   <Count>0</Count>\n"
    "   <Type>pairs</Type>\n"
    "  </Region>\n";

TEST_F(ReadDD, RegionEntryAndItsElements) {
  FatalRecorder recorder;
  const std::string dd = write_dd(kWords, kRegions);
  write_file(path("r.rgn"), region_file({99, 99, 0, 4, 10, 20, 30, 43, 7, 9}));
  BuildControl c;
  ASSERT_EQ(ReadDataDict(dd.c_str(), nullptr, &c), 0);
  MadNode* tree = build_state().dd_tree;

  std::optional<std::string> desc;
  long count = -1;
  int32_t pairs = -1, file_count = 0;
  FileInfo* files = nullptr;
  std::vector<bldgi::FastRegion> fast;
  ASSERT_NE(bldgi::addgiri(tree, "para", &desc, &count, &pairs, &files, &file_count, &fast), nullptr);
  EXPECT_EQ(desc, std::optional<std::string>("paragraphs"));
  EXPECT_EQ(count, 6);
  EXPECT_EQ(pairs, 1);
  ASSERT_EQ(file_count, 1);
  EXPECT_EQ(files[0].offset, 8u);
  ASSERT_EQ(fast.size(), 2u);
  EXPECT_EQ(fast[0].index_name, "words");
  EXPECT_STREQ(fast[1].file.sys_name, "fo.rgn");
  addgi_files_free(files, file_count);
  bldgi::fast_regions_free(&fast);
  EXPECT_EQ(bldgi::addgiri(tree, "nosuch", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
            nullptr);

  // The elements as stored: 0-based positions; text size 40 + offset 3.
  int32_t n = 0, is_pairs = 0;
  IntList* list = LoadDocs(tree, "para", &n, &is_pairs, &c, 43);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(n, 3);
  EXPECT_EQ(is_pairs, 1);
  EXPECT_EQ(std::vector<int32_t>(list->buffer, list->buffer + 1 + list->length),
            (std::vector<int32_t>{-1, 0, 4, 10, 20, 30, 43}));
  intlist_free(list);
  // A set that is not of pairs gets the text size + 1 as a closing element.
  list = LoadDocs(tree, "list", &n, &is_pairs, &c, 43);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(n, 2);
  EXPECT_EQ(is_pairs, 0);
  EXPECT_EQ(std::vector<int32_t>(list->buffer + 1, list->buffer + 1 + list->length),
            (std::vector<int32_t>{7, 9, 44}));
  intlist_free(list);
  // An empty region: a note, and an empty list.
  list = LoadDocs(tree, "none", &n, &is_pairs, &c, 43);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(list->length, 0);
  EXPECT_EQ(recorder.reports().back().severity, 1);
  EXPECT_EQ(recorder.reports().back().text, "90026: \t\tPlease note that region set none has no members.");
  intlist_free(list);

  // Endpoints: the last end may equal the text size, not exceed it.
  FatalReport r = fatal_of([&] { LoadDocs(tree, "para", &n, &is_pairs, &c, 42); });
  EXPECT_EQ(r.severity, 13);
  EXPECT_EQ(r.text, "140000: Pair regions 'para' have invalid endpoints.");
  r = fatal_of([&] { LoadDocs(tree, "nosuch", &n, &is_pairs, &c, 43); });
  EXPECT_EQ(r.severity, 9);
  EXPECT_EQ(r.text, "40017: No information for region nosuch in the data dictionary.");
}

TEST_F(ReadDD, RegionFilesThatCannotBeRead) {
  FatalRecorder recorder;
  const std::string dd = write_dd(kWords, kRegions);
  BuildControl c;
  ASSERT_EQ(ReadDataDict(dd.c_str(), nullptr, &c), 0);
  MadNode* tree = build_state().dd_tree;
  int32_t n = 0, pairs = 0;
  FatalReport r = fatal_of([&] { LoadDocs(tree, "para", &n, &pairs, &c, 43); });
  EXPECT_EQ(r.severity, 15);
  EXPECT_EQ(r.text, "60005: Unable to open file: " + path("r.rgn") + ".");
  // Scrambled elements: the multiplier is not known, so the set is refused.
  write_file(path("r.rgn"), region_file({99, 99, 0, 4, 10, 20, 30, 43}, 1));
  r = fatal_of([&] { LoadDocs(tree, "para", &n, &pairs, &c, 43); });
  EXPECT_EQ(r.severity, 13);
  EXPECT_NE(r.text.find("is scrambled"), std::string::npos) << r.text;
  // Fewer elements than the entry counts: refused when the set is opened.
  write_file(path("r.rgn"), region_file({99, 99, 0, 4}));
  r = fatal_of([&] { LoadDocs(tree, "para", &n, &pairs, &c, 43); });
  EXPECT_EQ(r.severity, 15);
  EXPECT_EQ(r.text, "pitstgr: botch1.");
  // A file written in the other byte order reads the same values.
  std::string swapped = region_file({99, 99, 0, 4, 10, 20, 30, 43});
  for (size_t i = 0; i + 4 <= swapped.size(); i += 4) std::swap(swapped[i], swapped[i + 3]), std::swap(swapped[i + 1], swapped[i + 2]);
  write_file(path("r.rgn"), swapped);
  IntList* list = LoadDocs(tree, "para", &n, &pairs, &c, 43);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(std::vector<int32_t>(list->buffer + 1, list->buffer + 7),
            (std::vector<int32_t>{0, 4, 10, 20, 30, 43}));
  intlist_free(list);
}

}  // namespace
