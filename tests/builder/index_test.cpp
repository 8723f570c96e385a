// The index file of whole builds (the real program), against the
// independent computation of index_reference.h, at three memory budgets:
// the bytes must not depend on the number of passes.
#include "builder/build_runner.h"
#include "builder/index_reference.h"

namespace {

struct TextCase {
  const char* name;
  std::string text;
  int map;
};

std::vector<TextCase> text_cases() {
  std::vector<TextCase> cases;
  const std::string english = gather("/usr/share/common-licenses", "", 1200 * 1024);
  std::string crlf;
  for (char c : english.substr(0, 300 * 1024)) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  const std::string sgml = gather("/usr/share/sgml/html/dtd/4.01", ".dtd", 400 * 1024) +
                           gather("/usr/share/sgml/html/dtd", ".dtd", 400 * 1024);
  std::string blanks;
  for (int i = 0; i < 3000; ++i) blanks += "word" + std::to_string(i % 97) + std::string(i % 7 == 0 ? 900 : 1 + i % 13, ' ');
  std::string repeated;
  for (int i = 0; i < 100000; ++i) repeated += "again ";
  std::string binary;
  for (unsigned i = 0; i < 200000; ++i) binary += static_cast<char>((i * 2654435761u) >> 23);
  cases.push_back({"english", english, ref::BASIC});
  cases.push_back({"english-isolatin", english.substr(0, 200 * 1024) + "\xC0t\xE9 na\xEFve \xDF", ref::ISOLATIN});
  cases.push_back({"crlf", crlf, ref::SGML});
  cases.push_back({"sgml", sgml, ref::SGML});
  cases.push_back({"empty", "", ref::SGML});
  cases.push_back({"one-byte", "x", ref::SGML});
  cases.push_back({"one-blank", " ", ref::BASIC});
  cases.push_back({"binary-none", binary, ref::NONE});
  cases.push_back({"blank-runs", blanks, ref::BASIC});
  cases.push_back({"one-word", repeated, ref::SGML});
  cases.push_back({"one-character", std::string(300 * 1024, 'a'), ref::SGML});
  cases.push_back({"markup-run", std::string(200 * 1024, '<'), ref::SGML});
  return cases;
}

const char* map_name(int map) {
  static const char* names[] = {"basic", "none", "isolatin", "sgml"};
  return names[map];
}

TEST_F(Build, IndexEqualsTheRulesAtEveryBudget) {
  for (const TextCase& c : text_cases()) {
    SCOPED_TRACE(c.name);
    spill(path("text"), c.text);
    const std::string want = ref::index_file(c.text, c.map);
    for (const char* memory : {"500k", "2m", "64m"}) {
      SCOPED_TRACE(memory);
      ASSERT_EQ(vexabld(std::string("-t text -c ") + map_name(c.map) + " -m " + memory), 0)
          << slurp(path("run.err"));
      const std::string got = slurp(path("out.idx"));
      ASSERT_EQ(got.size(), want.size());
      EXPECT_TRUE(got == want);
      // Only the text, the index and the data dictionary stay.
      EXPECT_EQ(leftovers({"text", "out.idx", "out.dd"}), std::vector<std::string>{});
    }
  }
}

TEST_F(Build, StopWordsFromTheDataDictionary) {
  // Stop words remove their points and their characters; "a" also at the
  // very end of the text, where it is followed by the padding's blank.
  std::string text;
  for (int i = 0; i < 20000; ++i) {
    text += (i % 3 == 0 ? "the " : i % 5 == 0 ? "of  the<b>" : "theory ");
    text += "word" + std::to_string(i % 31) + (i % 11 == 0 ? " a " : " ");
  }
  text += " a";
  spill(path("text"), text);
  spill(path("db.dd"),
        "<DB>\n <Text><Name>t</Name><Files><File><SysName>text</SysName></File></Files></Text>\n"
        " <Indices>\n  <Index>\n   <Name>words</Name>\n"
        "   <Mappings><StopWords><Ignore>the</Ignore><Ignore>of</Ignore><Ignore>a</Ignore>"
        "</StopWords></Mappings>\n"
        "   <File><SysName>words.idx</SysName></File>\n  </Index>\n </Indices>\n</DB>\n");
  const std::string want = ref::index_file(text, ref::SGML, {"the", "of", "a"});
  for (const char* memory : {"500k", "2m", "64m"}) {
    SCOPED_TRACE(memory);
    ASSERT_EQ(vexabld(std::string("-D db.dd -m ") + memory), 0) << slurp(path("run.err"));
    EXPECT_TRUE(slurp(path("words.idx")) == want);
  }
}

}  // namespace
