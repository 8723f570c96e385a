// The data-dictionary update of a build: the written form of map bytes, the
// Mappings of the built-in maps, the Index and Text entries merged into new
// and existing data dictionaries, the whole update (plain and fragmented
// index, records that keep their fragment fields, a failed write), and the
// lock.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "addgi/addgi.h"
#include "builder/builder.h"
#include "builder/fatal_reports.h"
#include "dd/scratch.h"
#include "madat/madat.h"

namespace {

// The lines of text between the first line holding open and the next line
// holding close (both included).
std::string section(const std::string& text, const std::string& open, const std::string& close) {
  const size_t a = text.rfind('\n', text.find(open));
  const size_t b = text.find('\n', text.find(close, text.find(open)));
  return text.substr(a + 1, b - a);
}

// Every "<Map>...</Map>" line of a written file, without indentation.
std::vector<std::string> map_lines(const std::string& text) {
  std::vector<std::string> out;
  std::regex line("<Map>.*</Map>");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), line); it != std::sregex_iterator();
       ++it) {
    out.push_back(it->str());
  }
  return out;
}

TEST(MappingText, EveryKindOfByte) {
  struct Case {
    int byte;
    const char* text;
  } const cases[] = {
      {'&', "&amp."},     {8, "&backspace."}, {'<', "&lt."},    {'>', "&gt."},
      {'\n', "&newline."}, {'\r', "&return."}, {'\t', "&tab."},  {0, ""},
      {0xE9, "\\351"},    {0xFF, "\\377"},    {0x80, "\\200"},  {127, "\\177"},
      {1, "\\001"},       {27, "\\033"},      {' ', " "},   {'a', "a"},
      {'Z', "Z"},         {'~', "~"},         {'\\', "\\"},     {'/', "/"},
  };
  for (const Case& c : cases) EXPECT_EQ(mapping_text(c.byte), c.text) << "byte " << c.byte;
}

class Update : public ScratchDir {
 protected:
  void SetUp() override {
    ScratchDir::SetUp();
    cwd_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
  }
  void TearDown() override {
    BuildState& st = build_state();
    if (st.lock > 0) lokcffl(st.lock);
    madmtfr(st.dd_tree);
    delete st.options;
    if (st.control != nullptr) addfrcntl(st.control);
    st = BuildState{};
    std::filesystem::current_path(cwd_);
    ScratchDir::TearDown();
  }

  // A build state as set-up leaves it: a -t build of text.txt with the
  // base map, or a -D build of the data dictionary.
  void text_build(int base_map) {
    BuildState& st = build_state();
    st.options = new BuildOptions;
    st.options->text_name = "text.txt";
    st.options->out_base = "out";
    st.options->index_file = "out.idx";
    st.options->dd_update = "out.dd";
    st.control = new BuildControl;
    SetDefCntl(st.control, base_map);
    ASSERT_EQ(StopWord(st.control), 0);
    st.control->texts = static_cast<FileInfo*>(calloc(1, sizeof(FileInfo)));
    st.control->texts[0].sys_name = strdup("text.txt");
    st.control->texts[0].major = st.control->texts[0].minor = -1;
    st.control->text_count = 1;
    st.control->index_name = "out";
  }
  void dd_build(const char* dd, const char* index_file) {
    BuildState& st = build_state();
    st.options = new BuildOptions;
    st.options->dd_name = dd;
    st.options->dd_update = dd;
    st.options->index_file = index_file;
    st.control = new BuildControl;
    SetDefCntl(st.control, BASE_MAP_SGML);
    const int r = ReadDataDict(dd, nullptr, st.control);
    ASSERT_EQ(r, 0);
  }

  std::filesystem::path cwd_;
};

// The Mappings written for each built-in map: one <Map> per byte whose map
// value differs from the written default, worked out here from the rules
// (a byte is listed when it maps to something other than itself or 0, when
// it is not printable ASCII and is kept as itself, and when it is printable
// ASCII and dropped), in byte order; then the empty <StopWords>.
TEST_F(Update, MappingsOfTheBuiltInMaps) {
  FatalRecorder recorder;
  for (int kind : {BASE_MAP_BASIC, BASE_MAP_NONE, BASE_MAP_ISOLATIN, BASE_MAP_SGML}) {
    SCOPED_TRACE(kind);
    unsigned char map[256];
    builtin_char_map(kind, map);
    std::vector<std::string> want;
    for (int b = 0; b < 256; ++b) {
      const bool printable = b >= 32 && b <= 126;
      const int to = map[b];
      if ((to != b && to != 0) || (!printable && to == b) || (printable && to == 0)) {
        want.push_back("<Map><From>" + mapping_text(b) + "</From><To>" + mapping_text(to) +
                       "</To></Map>");
      }
    }
    MadNode* tree = madmtmr();
    madmtac(tree, MAD_TAG, DD_DB, nullptr);
    const IndexMappings m{map, nullptr, nullptr, 0};
    ASSERT_EQ(addmdmi(tree, "x", {{DD_Name, "x"}, {DD_Mappings, &m}}), 0);
    ASSERT_EQ(addutwrdd("m.dd", tree), 0);
    madmtfr(tree);
    const std::string text = read_file("m.dd");
    EXPECT_EQ(map_lines(text), want);
    EXPECT_NE(text.find("</Map>\n    <StopWords></StopWords>\n   </Mappings>"), std::string::npos)
        << text;
  }
}

// Lines written by hand for bytes the rules single out.
TEST_F(Update, MappingsLinesWorkedOutByHand) {
  FatalRecorder recorder;
  auto lines_of = [&](int kind) {
    unsigned char map[256];
    builtin_char_map(kind, map);
    MadNode* tree = madmtmr();
    madmtac(tree, MAD_TAG, DD_DB, nullptr);
    const IndexMappings m{map, nullptr, nullptr, 0};
    EXPECT_EQ(addmdmi(tree, "x", {{DD_Mappings, &m}}), 0);
    EXPECT_EQ(addutwrdd("m.dd", tree), 0);
    madmtfr(tree);
    return map_lines(read_file("m.dd"));
  };
  auto has = [](const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  };
  // "none" keeps every byte: bytes 0-31 and 127-255 are listed as kept,
  // byte 0 with both sides empty; 0xE9 as a backslash and 351.
  const std::vector<std::string> none = lines_of(BASE_MAP_NONE);
  ASSERT_EQ(none.size(), 32u + 129u);
  EXPECT_EQ(none.front(), "<Map><From></From><To></To></Map>");
  EXPECT_TRUE(has(none, "<Map><From>\\351</From><To>\\351</To></Map>"));
  EXPECT_TRUE(has(none, "<Map><From>&tab.</From><To>&tab.</To></Map>"));
  EXPECT_FALSE(has(none, "<Map><From>a</From><To>a</To></Map>"));
  // "basic" folds capitals and turns punctuation and controls into blanks.
  const std::vector<std::string> basic = lines_of(BASE_MAP_BASIC);
  EXPECT_TRUE(has(basic, "<Map><From>A</From><To>a</To></Map>"));
  EXPECT_TRUE(has(basic, "<Map><From>&tab.</From><To> </To></Map>"));
  EXPECT_TRUE(has(basic, "<Map><From>&lt.</From><To> </To></Map>"));
  EXPECT_TRUE(has(basic, "<Map><From>&amp.</From><To> </To></Map>"));
  EXPECT_FALSE(has(basic, "<Map><From>\\351</From><To>\\351</To></Map>"));
  // "sgml" keeps "<" and "/"; "isolatin" folds 0xE9 to "e".
  const std::vector<std::string> sgml = lines_of(BASE_MAP_SGML);
  EXPECT_FALSE(has(sgml, "<Map><From>&lt.</From><To> </To></Map>"));
  EXPECT_TRUE(has(sgml, "<Map><From>&gt.</From><To> </To></Map>"));
  EXPECT_TRUE(has(lines_of(BASE_MAP_ISOLATIN), "<Map><From>\\351</From><To>e</To></Map>"));
}

// What is written reads back: the <Map> items of a written built-in map,
// read by the builder's getter, are the bytes listed with their values
// (blanks and byte 0 included), and the stop words come back in order.
TEST_F(Update, WrittenMappingsReadBack) {
  FatalRecorder recorder;
  for (int kind : {BASE_MAP_BASIC, BASE_MAP_NONE}) {
    unsigned char map[256];
    builtin_char_map(kind, map);
    const std::vector<std::string> stop = {"the", "of a"};
    MadNode* tree = madmtmr();
    madmtac(tree, MAD_TAG, DD_DB, nullptr);
    const IndexMappings m{map, &stop, nullptr, 0};
    ASSERT_EQ(addmdmi(tree, "x", {{DD_Name, "x"}, {DD_Mappings, &m}}), 0);
    ASSERT_EQ(addutwrdd("m.dd", tree), 0);
    madmtfr(tree);
    MadNode* back = addpadd("m.dd");
    ASSERT_NE(back, nullptr);
    BuildControl c;
    ASSERT_EQ(bldgi::addgicm(back, &c), 0);
    const std::vector<std::string> lines = map_lines(read_file("m.dd"));
    ASSERT_EQ(c.mappings.size(), lines.size());
    for (const CharMapping& item : c.mappings) {
      EXPECT_EQ(item.from_is_range, 0);
      EXPECT_EQ(item.to_first, map[item.from_first]) << "byte " << item.from_first;
    }
    EXPECT_EQ(bldgi::addgisw(madatgc(madatgc(madatgc(back, DD_DB), DD_Indices), DD_Index)), stop);
    madmtfr(back);
  }
}

// Items read from a data dictionary are written back as items: ranges as
// <CharRange>, single values as the value.
TEST_F(Update, MappingItemsAreWrittenAsRead) {
  FatalRecorder recorder;
  const CharMapping items[] = {{0, 0, 'A', 'A', 'a', 'a'},
                               {1, 1, 'B', 'D', 'b', 'd'},
                               {1, 0, 0xC0, 0xC5, 'a', 'a'},
                               {0, 0, '\\', '\\', 0, 0}};
  unsigned char map[256] = {};
  MadNode* tree = madmtmr();
  madmtac(tree, MAD_TAG, DD_DB, nullptr);
  const IndexMappings m{map, nullptr, items, 4};
  ASSERT_EQ(addmdmi(tree, "x", {{DD_Mappings, &m}}), 0);
  ASSERT_EQ(addutwrdd("m.dd", tree), 0);
  madmtfr(tree);
  EXPECT_EQ(map_lines(read_file("m.dd")),
            (std::vector<std::string>{
                "<Map><From>A</From><To>a</To></Map>",
                "<Map><From><CharRange><First>B</First><Last>D</Last></CharRange></From>"
                "<To><CharRange><First>b</First><Last>d</Last></CharRange></To></Map>",
                "<Map><From><CharRange><First>\\300</First><Last>\\305</Last></CharRange></From>"
                "<To>a</To></Map>",
                "<Map><From>\\</From><To></To></Map>"}));
}

// Merged into the canonical data dictionary, an Index and a Text entry
// change only those entries: every other line stays byte for byte.
TEST_F(Update, MergedEntriesLeaveOtherSectionsAsTheyWere) {
  FatalRecorder recorder;
  const std::string original = read_file(fixture("canonical.dd"));
  MadNode* tree = addpadd(fixture("canonical.dd").c_str());
  ASSERT_NE(tree, nullptr);
  FileInfo file{};
  file.sys_name = const_cast<char*>("new.idx");
  file.mod_date = 77;
  const std::vector<std::string> points = {"&alphabetic."};
  unsigned char map[256];
  builtin_char_map(BASE_MAP_SGML, map);
  const IndexMappings m{map, nullptr, nullptr, 0};
  ASSERT_EQ(addmdmi(tree, "words",
                    {{DD_Name, "words"},
                     {DD_File, &file},
                     {DD_IndexPoints, &points},
                     {DD_Mappings, &m},
                     {DD_LongestMatch, 0L, 0L},
                     {DD_IntegrityCheck, -5L}}),
            0);
  FileInfo texts[1] = {};
  texts[0].sys_name = const_cast<char*>("/data/a.txt");
  texts[0].mod_date = 1;
  ASSERT_EQ(addmdmt(tree, DD_Files, texts, 1), 0);
  ASSERT_EQ(addutwrdd("out.dd", tree), 0);
  madmtfr(tree);
  const std::string written = read_file("out.dd");

  // Outside Text and Indices, nothing moved.
  auto without = [](std::string text) {
    for (const char* tag : {"Text", "Indices"}) {
      const std::string open = std::string(" <") + tag + ">\n";
      const std::string close = std::string(" </") + tag + ">\n";
      const size_t a = text.find(open), b = text.find(close);
      text.erase(a, b + close.size() - a);
    }
    return text;
  };
  EXPECT_EQ(without(written), without(original));

  // The Index keeps Desc, InitFile, FastFind and AuxPath and gets the new
  // values in place of the old ones.
  EXPECT_EQ(section(written, "<Index>", "</Index>"),
            "  <Index>\n"
            "   <Name>words</Name>\n"
            "   <Desc>word index</Desc>\n"
            "   <InitFile>words.ini</InitFile>\n"
            "   <LongestMatch>\n"
            "    <Length>0</Length>\n"
            "    <Resolution>0</Resolution>\n"
            "   </LongestMatch>\n"
            "   <IndexPoints>\n"
            "    <IndexPt>&alphabetic.</IndexPt>\n"
            "   </IndexPoints>\n"
            "   <Mappings>\n" +
                section(written, "<Map>", "</Mappings>").substr(0) +
                "   <IntegrityCheck>-5</IntegrityCheck>\n"
                "   <File>\n"
                "    <SysName>new.idx</SysName>\n"
                "    <ModDate>77</ModDate>\n"
                "    <Offset>0</Offset>\n"
                "   </File>\n"
                "   <FastFind>\n" +
                section(written, "<FastFindIndex>", "</FastFind>") +
                "   <AuxPath>/aux</AuxPath>\n"
                "  </Index>\n");
  // The Text's Files is replaced whole; MfsFiles and the rest stay.
  EXPECT_NE(written.find("  <Files>\n   <File>\n    <SysName>/data/a.txt</SysName>\n"
                         "    <ModDate>1</ModDate>\n    <Offset>0</Offset>\n   </File>\n"
                         "  </Files>\n  <MfsFiles>\n"),
            std::string::npos);
  EXPECT_EQ(section(written, "<MfsFiles>", "</Text>"), section(original, "<MfsFiles>", "</Text>"));
}

// A new Index goes after the last Index; a new Indices after Text.
TEST_F(Update, NewEntriesArePlacedAfterTheirSiblings) {
  FatalRecorder recorder;
  write_file("a.dd",
             "<DB>\n\n <Text>\n  <Name>t</Name>\n </Text>\n\n <Regions>\n </Regions>\n</DB>\n");
  MadNode* tree = addpadd("a.dd");
  ASSERT_NE(tree, nullptr);
  ASSERT_EQ(addmdmi(tree, "one", {{DD_Name, "one"}, {DD_IntegrityCheck, 1L}}), 0);
  ASSERT_EQ(addmdmi(tree, "two", {{DD_Name, "two"}, {DD_IntegrityCheck, 2L}}), 0);
  ASSERT_EQ(addutwrdd("a.dd", tree), 0);
  madmtfr(tree);
  EXPECT_EQ(read_file("a.dd"),
            "<DB>\n\n <Text>\n  <Name>t</Name>\n </Text>\n\n <Indices>\n\n  <Index>\n"
            "   <Name>one</Name>\n   <IntegrityCheck>1</IntegrityCheck>\n  </Index>\n\n"
            "  <Index>\n   <Name>two</Name>\n   <IntegrityCheck>2</IntegrityCheck>\n"
            "  </Index>\n </Indices>\n\n <Regions>\n </Regions>\n</DB>\n");
}

TEST_F(Update, EntriesRefuseTagsTheyDoNotHandle) {
  FatalRecorder recorder;
  MadNode* tree = madmtmr();
  madmtac(tree, MAD_TAG, DD_DB, nullptr);
  EXPECT_EQ(fatal_of([&] { addmdmi(tree, "x", {{DD_Grammar, "g"}}); }).text,
            "10002: addmdmi:  Can't handle Grammar tags.");
  EXPECT_EQ(fatal_of([&] { addmdmi(tree, "x", {{47, "g"}}); }).text,
            "10006: addmdmi:  Invalid tag value 47.");
  EXPECT_EQ(fatal_of([&] { addmdmt(tree, DD_Files, nullptr, 0, {{DD_Count, 1L}}); }).text,
            "10002: addmdmt:  Can't handle Count tags.");
  EXPECT_EQ(fatal_of([&] { addmdmt(tree, 50, nullptr, 0); }).text,
            "10006: addmdmt:  Invalid tag value 50.");
  EXPECT_EQ(tree->child->child, nullptr);  // nothing merged
  madmtfr(tree);
}

// A multi-file set's record is written as its MfsFiles entry; AuditTrail
// goes after NumberChars, Files, Desc or Name, whichever stands last.
TEST_F(Update, MultiFileText) {
  FatalRecorder recorder;
  FileGroupInfo group{const_cast<char*>("/d"), const_cast<char*>("part"),
                      const_cast<char*>("*.sgm")};
  FilterChainInfo chain{const_cast<char*>("s"), const_cast<char*>("d"), const_cast<char*>("r"),
                        const_cast<char*>("f"), nullptr, 1, &group};
  FileInfo set{};
  set.multi_file = 1;
  set.sys_name = set.file_map = const_cast<char*>("/d/set");
  set.chain_count = 1;
  set.chains = &chain;
  MadNode* tree = madmtmr();
  madmtac(tree, MAD_TAG, DD_DB, nullptr);
  ASSERT_EQ(addmdmt(tree, DD_MfsFiles, &set, 1, {{DD_Name, "n"}, {DD_AuditTrail, "a.log"}}), 0);
  ASSERT_EQ(addutwrdd("s.dd", tree), 0);
  madmtfr(tree);
  EXPECT_EQ(read_file("s.dd"),
            "<DB>\n\n <Text>\n  <Name>n</Name>\n  <AuditTrail>\n   <SysName>a.log</SysName>\n"
            "  </AuditTrail>\n  <MfsFiles>\n   <FileMap>/d/set</FileMap>\n"
            "   <FilterChain>\n    <SearchView>s</SearchView>\n    <DisplayView>d</DisplayView>\n"
            "    <RawView>r</RawView>\n    <DisplayFmt>f</DisplayFmt>\n    <FileGroup>\n"
            "     <MfsDir>/d</MfsDir>\n     <MfsFile>part</MfsFile>\n"
            "     <MfsExpand>*.sgm</MfsExpand>\n    </FileGroup>\n   </FilterChain>\n"
            "  </MfsFiles>\n </Text>\n</DB>\n");
}

// A -t build writes a new data dictionary holding the text and the index:
// the text's date, the index file's, the built-in WordStarters, no
// longest match and the integrity hash of the map.
TEST_F(Update, TextBuildWritesANewDataDictionary) {
  FatalRecorder recorder;
  write_file("text.txt", "some text\n");
  write_file("out.idx", "index bytes");
  struct stat t{}, i{};
  ASSERT_EQ(stat("text.txt", &t), 0);
  ASSERT_EQ(stat("out.idx", &i), 0);
  text_build(BASE_MAP_BASIC);
  ASSERT_EQ(WriteDD(), 1);
  const std::string written = read_file("out.dd");
  const std::string head =
      "<DB>\n\n <Text>\n  <Files>\n   <File>\n    <SysName>text.txt</SysName>\n"
      "    <ModDate>" + std::to_string(t.st_mtime) + "</ModDate>\n    <Offset>0</Offset>\n"
      "   </File>\n  </Files>\n </Text>\n\n <Indices>\n\n  <Index>\n   <Name>out</Name>\n"
      "   <File>\n    <SysName>out.idx</SysName>\n    <ModDate>" + std::to_string(i.st_mtime) +
      "</ModDate>\n    <Offset>0</Offset>\n   </File>\n   <IndexPoints>\n"
      "    <IndexPt> &ISO_printable.</IndexPt>\n   </IndexPoints>\n   <Mappings>\n";
  EXPECT_EQ(written.substr(0, head.size()), head);
  const std::string tail =
      "    <StopWords></StopWords>\n   </Mappings>\n   <LongestMatch>\n    <Length>0</Length>\n"
      "    <Resolution>0</Resolution>\n   </LongestMatch>\n"
      "   <IntegrityCheck>645951286</IntegrityCheck>\n  </Index>\n </Indices>\n</DB>\n";
  ASSERT_GE(written.size(), tail.size());
  EXPECT_EQ(written.substr(written.size() - tail.size()), tail);
  // Read back, the entry names the index file and its definitions.
  MadNode* back = addpadd("out.dd");
  ASSERT_NE(back, nullptr);
  FileInfo* files = nullptr;
  int32_t count = 0;
  ASSERT_NE(addgiti(back, nullptr, nullptr, &files, &count), nullptr);
  EXPECT_EQ(count, 1);
  addgi_files_free(files, count);
  madmtfr(back);
}

// -D: every text record keeps its own fragment fields (two texts, one of
// them fragmented: the index stays plain), Name and Desc of the Text stay,
// and the data dictionary's other sections are unchanged.
TEST_F(Update, RecordsKeepTheirFragmentFields) {
  FatalRecorder recorder;
  write_file("a.txt", "aaa");
  const std::string original =
      "# collection\n<DB>\n\n <Text>\n  <Name>two</Name>\n  <Files>\n   <File>\n"
      "    <SysName>a.txt</SysName>\n    <ModDate>1</ModDate>\n    <Offset>0</Offset>\n"
      "   </File>\n   <File>\n    <SysName>b</SysName>\n    <FrgDir>bfrg</FrgDir>\n"
      "    <Major>1</Major>\n    <Minor>2</Minor>\n    <ModDate>12</ModDate>\n"
      "    <Offset>0</Offset>\n   </File>\n  </Files>\n </Text>\n\n <Grammar>\n# kept\n"
      "  free <text>\n </Grammar>\n\n <Indices>\n\n  <Index>\n   <Name>w</Name>\n"
      "   <File>\n    <SysName>w.idx</SysName>\n   </File>\n  </Index>\n </Indices>\n</DB>\n";
  write_file("db.dd", original);
  write_file("w.idx", "index");
  dd_build("db.dd", "w.idx");
  ASSERT_EQ(WriteDD(), 1);
  const std::string written = read_file("db.dd");
  struct stat a{};
  ASSERT_EQ(stat("a.txt", &a), 0);
  EXPECT_EQ(section(written, "<Text>", "</Text>"),
            " <Text>\n  <Name>two</Name>\n  <Files>\n   <File>\n    <SysName>a.txt</SysName>\n"
            "    <ModDate>" + std::to_string(a.st_mtime) + "</ModDate>\n    <Offset>0</Offset>\n"
            "   </File>\n   <File>\n    <SysName>b</SysName>\n    <FrgDir>bfrg</FrgDir>\n"
            "    <Major>1</Major>\n    <Minor>2</Minor>\n    <ModDate>12</ModDate>\n"
            "    <Offset>0</Offset>\n   </File>\n  </Files>\n </Text>\n");
  EXPECT_EQ(written.substr(0, written.find(" <Text>")), "# collection\n<DB>\n\n");
  EXPECT_EQ(section(written, "<Grammar>", "</Grammar>"), " <Grammar>\n# kept\n  free <text>\n </Grammar>\n");
  EXPECT_NE(written.find("    <SysName>w.idx</SysName>\n    <ModDate>"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists("w.idx.frg"));
}

// One fragmented text: the index is described as a fragmented file of one
// fragment in <index>.frg, whose directory file frg.1.0 names the index
// file; a second update into the existing directory is refused, and so is
// a build whose directory exists at set-up.
TEST_F(Update, FragmentedCollectionGetsAFragmentedIndex) {
  FatalRecorder recorder;
  write_file("db.dd",
             "<DB>\n <Text>\n  <Files>\n   <File>\n    <SysName>c</SysName>\n"
             "    <FrgDir>frg</FrgDir>\n    <Major>1</Major>\n    <Minor>0</Minor>\n"
             "   </File>\n  </Files>\n </Text>\n <Indices>\n  <Index>\n   <Name>w</Name>\n"
             "   <File>\n    <SysName>w.idx</SysName>\n   </File>\n  </Index>\n </Indices>\n"
             "</DB>\n");
  write_file("w.idx", std::string(600, 'i'));
  dd_build("db.dd", "w.idx");
  ASSERT_TRUE(fragmented_index());
  ASSERT_EQ(CheckFragmentDir(), 0);
  ASSERT_EQ(WriteDD(), 1);
  const std::string written = read_file("db.dd");
  EXPECT_NE(written.find("   <File>\n    <SysName>w.idx</SysName>\n    <FrgDir>w.idx.frg</FrgDir>\n"
                         "    <Major>1</Major>\n    <Minor>0</Minor>\n    <ModDate>"),
            std::string::npos)
      << written;
  // The text record keeps its own fields too.
  EXPECT_NE(written.find("<SysName>c</SysName>\n    <FrgDir>frg</FrgDir>\n"), std::string::npos);

  const std::string bytes = read_file("w.idx.frg/frg.1.0");
  ASSERT_EQ(bytes.size(), 96u + 6u);
  auto word = [&](size_t i) {
    uint32_t v = 0;
    for (int k = 0; k < 4; ++k) v |= uint32_t{static_cast<unsigned char>(bytes[4 * i + k])} << 8 * k;
    return static_cast<int32_t>(v);
  };
  const int32_t want[] = {1, 1, 0, 2, 0, 600, 600, 1, 0, 1024, 76, 92, 92, 96, 1, 96, 1, 0, 6,
                          1, -1, 601, -1, 1};
  for (size_t i = 0; i < std::size(want); ++i) EXPECT_EQ(word(i), want[i]) << "word " << i;
  EXPECT_EQ(bytes.substr(96), std::string("w.idx", 6));

  EXPECT_EQ(fatal_of([] { CheckFragmentDir(); }).text,
            "60012: Directory 'w.idx.frg' already exists.");
  EXPECT_EQ(fatal_of([] { WriteDD(); }).text, "60012: Directory 'w.idx.frg' already exists.");
  EXPECT_EQ(read_file("db.dd"), written);
}

// The fragment directory is made by mkdir(2): a name with shell syntax is
// just a name.
TEST_F(Update, FragmentDirectoryNameIsNotRunThroughAShell) {
  FatalRecorder recorder;
  write_file("db.dd",
             "<DB>\n <Text>\n  <Files>\n   <File>\n    <SysName>c</SysName>\n"
             "    <FrgDir>frg</FrgDir>\n    <Major>1</Major>\n    <Minor>0</Minor>\n"
             "   </File>\n  </Files>\n </Text>\n <Indices>\n  <Index>\n   <Name>w</Name>\n"
             "   <File>\n    <SysName>x;touch pwned;.idx</SysName>\n   </File>\n  </Index>\n"
             " </Indices>\n</DB>\n");
  write_file("x;touch pwned;.idx", "idx");
  dd_build("db.dd", "x;touch pwned;.idx");
  ASSERT_EQ(WriteDD(), 1);
  EXPECT_TRUE(std::filesystem::is_directory("x;touch pwned;.idx.frg"));
  EXPECT_TRUE(std::filesystem::exists("x;touch pwned;.idx.frg/frg.1.0"));
  EXPECT_FALSE(std::filesystem::exists("pwned"));
}

// A fragment directory that cannot be made ends the update with 60003
// before the data dictionary is written.
TEST_F(Update, FragmentDirectoryThatCannotBeMade) {
  FatalRecorder recorder;
  const std::string dd =
      "<DB>\n <Text>\n  <Files>\n   <File>\n    <SysName>c</SysName>\n"
      "    <FrgDir>frg</FrgDir>\n    <Major>1</Major>\n    <Minor>0</Minor>\n"
      "   </File>\n  </Files>\n </Text>\n <Indices>\n  <Index>\n   <Name>w</Name>\n"
      "   <File>\n    <SysName>nodir/w.idx</SysName>\n   </File>\n  </Index>\n </Indices>\n"
      "</DB>\n";
  write_file("db.dd", dd);
  dd_build("db.dd", "nodir/w.idx");
  EXPECT_EQ(fatal_of([] { WriteDD(); }).text, "60003: Couldn't create directory 'nodir/w.idx.frg'.");
  EXPECT_EQ(read_file("db.dd"), dd);
}

// A data dictionary that cannot be written: the update fails (the driver
// then reports 60010 and ends with status 1), the old file stays.
TEST_F(Update, FailedWriteLeavesTheOldDataDictionary) {
  FatalRecorder recorder;
  write_file("text.txt", "t");
  write_file("out.idx", "i");
  text_build(BASE_MAP_SGML);
  build_state().options->dd_update = "missing-dir/out.dd";
  const FatalReport r = fatal_of([] { EXPECT_EQ(WriteDD(), 0); });
  if (r.severity >= 0) {
    EXPECT_NE(r.text.find("missing-dir/out.dd"), std::string::npos);
  }
  EXPECT_FALSE(std::filesystem::exists("missing-dir"));
}

// The update releases the lock taken at set-up, once the data dictionary
// has been rewritten: until then another process is refused.
TEST_F(Update, UpdateReleasesTheLock) {
  FatalRecorder recorder;
  write_file("sem", "");
  write_file("db.dd",
             "<DB>\n <Text>\n  <Files>\n   <File>\n    <SysName>text.txt</SysName>\n   </File>\n"
             "  </Files>\n </Text>\n <Locks>\n  <Semaphore>sem</Semaphore>\n </Locks>\n"
             " <Indices>\n  <Index>\n   <Name>w</Name>\n   <File>\n    <SysName>w.idx</SysName>\n"
             "   </File>\n  </Index>\n </Indices>\n</DB>\n");
  write_file("text.txt", "t");
  write_file("w.idx", "i");
  const int fd = addgetlock("db.dd");
  ASSERT_GT(fd, 0);
  // 7: another process gets "lokcfgl: lockf failed"; 0: it gets the lock.
  auto other_process = [] {
    const pid_t pid = fork();
    if (pid == 0) {
      const FatalReport r = fatal_of([] { addgetlock("db.dd"); });
      _exit(r.severity == 16 && r.text == "lokcfgl: lockf failed" ? 7 : r.severity < 0 ? 0 : 9);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  EXPECT_EQ(other_process(), 7);
  dd_build("db.dd", "w.idx");
  build_state().lock = fd;
  EXPECT_EQ(other_process(), 7);  // reading the data dictionary keeps it
  ASSERT_EQ(WriteDD(), 1);
  EXPECT_EQ(build_state().lock, 0);
  EXPECT_EQ(other_process(), 0);
}

}  // namespace
