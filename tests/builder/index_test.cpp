// The index file of whole builds (the real program), against the
// independent computation of index_reference.h, at three memory budgets:
// the bytes must not depend on the number of passes.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "builder/index_reference.h"

namespace {

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void spill(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

// Real text of the machine: every regular file of a directory, in name
// order, up to `limit` bytes.
std::string gather(const std::string& dir, const std::string& suffix, size_t limit) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      const std::string n = e->d_name;
      if (n.size() >= suffix.size() && n.compare(n.size() - suffix.size(), suffix.size(), suffix) == 0)
        names.push_back(n);
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  std::string text;
  for (const std::string& n : names) {
    struct stat sb{};
    const std::string p = dir + "/" + n;
    if (stat(p.c_str(), &sb) != 0 || !S_ISREG(sb.st_mode)) continue;
    text += slurp(p);
    if (text.size() >= limit) break;
  }
  return text.substr(0, std::min(limit, text.size()));
}

class Build : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vexabld_index_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    const std::string command = "rm -rf '" + dir_ + "'";
    EXPECT_EQ(system(command.c_str()), 0);
  }
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  // Runs vexabld in the scratch directory: its exit status.
  int vexabld(const std::string& args) const {
    const std::string command = "cd '" + dir_ + "' && '" + VQ_BIN_DIR + "/vexabld' " + args +
                                " >run.out 2>run.err";
    const int rc = system(command.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  }
  // Names left in the scratch directory other than the ones given.
  std::vector<std::string> leftovers(const std::vector<std::string>& keep) const {
    std::vector<std::string> names;
    DIR* d = opendir(dir_.c_str());
    while (dirent* e = readdir(d)) {
      const std::string n = e->d_name;
      if (n == "." || n == ".." || n == "run.out" || n == "run.err") continue;
      if (std::find(keep.begin(), keep.end(), n) == keep.end()) names.push_back(n);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string dir_;
};

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
