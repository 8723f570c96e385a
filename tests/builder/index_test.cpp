// The index file of whole builds (the real program), against the
// independent computation of index_reference.h, at three memory budgets:
// the bytes must not depend on the number of passes.
#include "builder/build_runner.h"
#include "builder/index_reference.h"
#include "frgac/frgac.h"
#include "support/scratch.h"

#include <sched.h>

#include <regex>

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

// A prefix that runs a command on the first `count` cores this process may
// use (the build then works on that many threads), "" when there are
// fewer.
std::string on_cores(int count) {
  cpu_set_t allowed;
  if (sched_getaffinity(0, sizeof allowed, &allowed) != 0) return "";
  std::string list;
  for (int cpu = 0, taken = 0; cpu < CPU_SETSIZE && taken < count; ++cpu) {
    if (!CPU_ISSET(cpu, &allowed)) continue;
    list += (taken++ > 0 ? "," : "") + std::to_string(cpu);
  }
  return "taskset -c " + list + " ";
}

// Texts large enough for the scan, the sort, the grouping of repeated
// windows, the conversion, the rebuilds and the merge walk to split their
// work: the same index on one core, two and all, in one pass and in
// several.
TEST_F(Build, SameIndexOnOneTwoAndAllCores) {
  std::string document = gather("/usr/share/sgml/html/dtd/4.01", ".dtd", 40 * 1024);
  std::string repeated;
  for (int copy = 0; repeated.size() < 1500 * 1024; ++copy)
    repeated += document + (copy % 5 == 0 ? "<!-- " + std::to_string(copy) + " -->\n" : "");
  // Licence texts with numbered lines: passes of over 100000 points each.
  const std::string licences = gather("/usr/share/common-licenses", "", 300 * 1024);
  std::string numbered;
  for (int copy = 0; numbered.size() < 2400 * 1024; ++copy) {
    std::istringstream lines(licences);
    int n = 0;
    for (std::string l; std::getline(lines, l);) numbered += std::to_string(copy * 3 + n++ % 7) + " " + l + "\n";
  }
  // Prose, then a stretch of one-letter words (a point per two
  // characters: at 2m a pass's point array fills before its buffer, so the
  // rest of such a pass is scanned on one thread from the part where it
  // fills), then prose again.
  std::string letters = licences.substr(0, 200 * 1024);
  for (int i = 0; i < 150000; ++i) letters += static_cast<char>('a' + i % 26) + std::string(" ");
  letters += licences.substr(0, 300 * 1024);
  struct Case {
    const char* name;
    const std::string& text;
    int map;
    const char* memory;
  };
  const Case cases[] = {
      {"repeated document, one pass", repeated, ref::SGML, "64m"},
      {"repeated document, passes", repeated, ref::SGML, "2m"},
      {"numbered licences, one pass", numbered, ref::BASIC, "64m"},
      {"numbered licences, passes", numbered, ref::BASIC, "2m"},
      {"prose and letters, one pass", letters, ref::BASIC, "64m"},
      {"prose and letters, passes", letters, ref::BASIC, "2m"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    spill(path("text"), c.text);
    const std::string want = ref::index_file(c.text, c.map);
    for (int cores : {1, 2, 0}) {
      SCOPED_TRACE(cores);
      const std::string prefix = cores > 0 ? on_cores(cores) : "";
      ASSERT_EQ(vexabld(std::string("-v -t text -c ") + map_name(c.map) + " -m " + c.memory, prefix), 0)
          << slurp(path("run.err"));
      EXPECT_TRUE(slurp(path("out.idx")) == want);
      if (std::string(c.memory) == "2m") {
        EXPECT_NE(slurp(path("run.err")).find("Merging with"), std::string::npos) << "several passes";
      }
    }
  }
}

// Later passes read an earlier pass's text back from the work file of
// kept pass texts; where that file cannot be made (a directory holds its
// name) the passes are scanned again, with the same index.
TEST_F(Build, PassesScannedAgainWhenTheirTextIsNotKept) {
  const std::string text = gather("/usr/share/common-licenses", "", 400 * 1024);
  spill(path("text"), text);
  const std::string want = ref::index_file(text, ref::BASIC);
  for (const bool blocked : {false, true}) {
    SCOPED_TRACE(blocked ? "not kept" : "kept");
    if (blocked) {
      ASSERT_EQ(mkdir(path("out.s0").c_str(), 0777), 0);
    }
    ASSERT_EQ(vexabld("-v -t text -c basic -m 500k"), 0) << slurp(path("run.err"));
    EXPECT_NE(slurp(path("run.err")).find("Pass 4 indexing from"), std::string::npos);
    EXPECT_TRUE(slurp(path("out.idx")) == want);
    if (blocked) {
      EXPECT_EQ(leftovers({"text", "out.idx", "out.dd", "out.s0"}), std::vector<std::string>{});
      ASSERT_EQ(rmdir(path("out.s0").c_str()), 0);
    } else {
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

TEST_F(Build, ManyPassesShareTheMergeBuffers) {
  // About 60 passes at the smallest budget: the merge's stream buffers
  // would get less than 1 KB each from the budget, so they get 1 KB beside
  // it (an escape byte and its word always fit, and the merge ends).
  const std::string base = gather("/usr/share/common-licenses", "", 300 * 1024);
  std::string text;
  for (int copy = 0; text.size() < 3800 * 1024; ++copy) {
    std::istringstream lines(base);
    int n = 0;
    for (std::string l; std::getline(lines, l);) text += l + " " + std::to_string(copy * 7 + n++ % 5) + "\n";
  }
  spill(path("text"), text);
  ASSERT_EQ(vexabld("-v -t text -c basic -m 500k"), 0) << slurp(path("run.err"));
  std::smatch m;
  const std::string err = slurp(path("run.err"));
  ASSERT_TRUE(std::regex_search(err, m, std::regex("Merging ([0-9]+) final index files")));
  EXPECT_GT(std::stoi(m[1]), 50);
  EXPECT_TRUE(slurp(path("out.idx")) == ref::index_file(text, ref::BASIC));
}

TEST_F(Build, FragmentedTextOverManyPasses) {
  // The same text as a fragmented text of one fragment (logical address a
  // is byte a - 1): every pass reads it from its own logical address.
  start_io();
  const std::string text = gather("/usr/share/common-licenses", "", 260 * 1024);
  spill(path("phys"), text);
  ASSERT_EQ(mkdir(path("frg").c_str(), 0777), 0);
  FrgacText t;
  ASSERT_EQ(frgaccr(path("phys").c_str(), path("frg").c_str(), &t, 3), 0);
  ASSERT_EQ(frgaccl(&t, 1), 0);
  spill(path("frg.dd"),
        "<DB>\n <Text><Files><File><SysName>phys</SysName><FrgDir>frg</FrgDir><Major>1</Major>"
        "<Minor>0</Minor></File></Files></Text>\n"
        " <Indices><Index><Name>a</Name><File><SysName>frg.idx</SysName></File></Index></Indices>\n</DB>\n");
  ASSERT_EQ(vexabld("-v -D frg.dd -m 500k"), 0) << slurp(path("run.err"));
  EXPECT_NE(slurp(path("run.err")).find("Pass 4 indexing from"), std::string::npos);
  EXPECT_TRUE(slurp(path("frg.idx")) == ref::index_file(text, ref::SGML));
}

TEST_F(Build, PointsFileOutOfOrderIsReportedOnce) {
  spill(path("text"), "one two three four five six seven eight nine ten eleven twelve\n");
  const int32_t words[] = {0, 6, 3, 20, 2, 30, 30, -1};
  spill(path("points"), std::string(reinterpret_cast<const char*>(words), sizeof words));
  ASSERT_EQ(vexabld("-t text -p points -c basic"), 0);
  const std::string err = slurp(path("run.err"));
  const std::string warning =
      "Index-points file points: the word 3 at byte 8 is below the word before it; words out of "
      "order may not become index points.\n";
  EXPECT_EQ(err, warning);
}

TEST_F(Build, ProgressLines) {
  const std::string text = gather("/usr/share/common-licenses", "", 200 * 1024);
  spill(path("text"), text);
  ASSERT_EQ(vexabld("-v -t text -c basic -m 500k"), 0);
  std::vector<std::string> lines;
  std::istringstream err(slurp(path("run.err")));
  for (std::string l; std::getline(err, l);) lines.push_back(l);
  size_t at = 0;
  const auto next = [&]() -> std::string { return at < lines.size() ? lines[at++] : std::string("<end>"); };
  EXPECT_EQ(next(), "vexabld release 5.3");
  EXPECT_EQ(next(), "Using default Data Dictionary information.");
  EXPECT_EQ(next(), "Phase I - initial index building and merge calculation.");
  std::vector<std::pair<long, long>> ranges;
  const std::regex pass_line("Pass ([0-9]+) indexing from ([0-9]+) to ([0-9]+)");
  const std::regex after_line("After pass ([0-9]+) [0-9]+\\.[0-9][0-9] seconds used\\.");
  for (;;) {
    const std::string l = next();
    std::smatch m;
    if (!std::regex_match(l, m, pass_line)) {
      EXPECT_EQ(l, "Phase II - final index building and merging");
      break;
    }
    const long k = std::stol(m[1]), start = std::stol(m[2]), end = std::stol(m[3]);
    EXPECT_EQ(k, static_cast<long>(ranges.size()) + 1);
    EXPECT_EQ(start, ranges.empty() ? 1 : ranges.back().second + 1);
    EXPECT_GE(end, start);
    for (const auto& r : ranges) {
      EXPECT_EQ(next(), "  Merging with " + std::to_string(r.first) + " to " + std::to_string(r.second));
    }
    ranges.push_back({start, end});
    const std::string a = next();
    EXPECT_TRUE(std::regex_match(a, m, after_line) && std::stol(m[1]) == k) << a;
  }
  ASSERT_GE(ranges.size(), 3u);
  EXPECT_LE(ranges.back().second, static_cast<long>(text.size()));
  for (size_t k = 0; k < ranges.size(); ++k) {
    EXPECT_EQ(next(), "Pass " + std::to_string(k + 1) + " indexing " + std::to_string(ranges[k].first) +
                          " to " + std::to_string(ranges[k].second));
  }
  EXPECT_EQ(next(), "Merging " + std::to_string(ranges.size()) + " final index files");
}

}  // namespace
