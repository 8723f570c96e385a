// Interrupted builds resumed with -r: a directory put where a work file
// (or the index) will go stops the build at that step; once it is gone the
// restart must give the index of an uninterrupted build and leave no work
// file. Damaged logs and work files are refused.
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <regex>
#include <set>

#include "builder/build_runner.h"
#include "builder/index_reference.h"

namespace {

class Restart : public Build {
 protected:
  void clear(const std::vector<std::string>& keep) {
    for (const std::string& n : leftovers(keep)) {
      const std::string command = "rm -rf '" + path(n) + "'";
      ASSERT_EQ(system(command.c_str()), 0);
    }
  }
  // The number of passes of a build, from its -v lines.
  int passes(const std::string& args) {
    clear({"text", "points"});
    EXPECT_EQ(vexabld(args + " -v"), 0);
    const std::string err = slurp(path("run.err"));
    int n = 0;
    const std::regex line("Pass ([0-9]+) indexing from");
    for (auto it = std::sregex_iterator(err.begin(), err.end(), line); it != std::sregex_iterator(); ++it)
      n = std::max(n, std::stoi((*it)[1]));
    return n;
  }
  // Stops a build at `blocker`, then resumes it; the resumed index.
  std::string interrupted(const std::string& args, const std::string& blocker) {
    clear({"text", "points"});
    EXPECT_EQ(mkdir(path(blocker).c_str(), 0777), 0);
    EXPECT_EQ(vexabld(args), 1) << blocker;
    EXPECT_EQ(rmdir(path(blocker).c_str()), 0);
    EXPECT_EQ(vexabld(args + " -r"), 0) << blocker << ": " << slurp(path("run.err"));
    EXPECT_EQ(leftovers({"text", "points", "out.idx", "out.dd"}), std::vector<std::string>{})
        << blocker;
    return slurp(path("out.idx"));
  }
  // Stops a build at `blocker` and leaves its work files.
  void stop_at(const std::string& args, const std::string& blocker) {
    clear({"text", "points"});
    ASSERT_EQ(mkdir(path(blocker).c_str(), 0777), 0);
    ASSERT_EQ(vexabld(args), 1);
    ASSERT_EQ(rmdir(path(blocker).c_str()), 0);
  }
};

const char kArgs[] = "-t text -c basic -m 500k";

TEST_F(Restart, EveryPhaseResumesToTheSameIndex) {
  const std::string text = gather("/usr/share/common-licenses", "", 260 * 1024);
  spill(path("text"), text);
  const std::string want = ref::index_file(text, ref::BASIC);
  const int n = passes(kArgs);
  ASSERT_GE(n, 4);
  const std::string last = std::to_string(n);
  // Phase I before a pass (0), before its skips (1), before the skips of the
  // last pass (1, then Phase II), Phase II before a final piece and before
  // the index (2).
  // Stopped before its first pass was logged, a build leaves no work file:
  // there is nothing to resume.
  clear({"text", "points"});
  ASSERT_EQ(mkdir(path("out.i1").c_str(), 0777), 0);
  EXPECT_EQ(vexabld(kArgs), 1);
  ASSERT_EQ(rmdir(path("out.i1").c_str()), 0);
  EXPECT_EQ(leftovers({"text", "points"}), std::vector<std::string>{});
  for (const std::string& blocker : std::vector<std::string>{"out.i3", "out.m3", "out.m" + last, "out.t1", "out.t3",
                                    "out.idx"}) {
    EXPECT_TRUE(interrupted(kArgs, blocker) == want) << blocker;
  }
}

TEST_F(Restart, PointsFileResumesWithoutLosingPoints) {
  // Word starts, plus words that never become points: blanks, bytes
  // dropped by the map, a repeated word, positions beyond the text.
  std::string text;
  for (int i = 0; i < 30000; ++i) text += (i % 9 == 0 ? "Alpha, \x01 " : "beta  gamma ") + std::to_string(i % 13) + "\n";
  spill(path("text"), text);
  std::vector<int32_t> words;
  std::set<int64_t> chosen;
  for (int32_t w = 0; w < static_cast<int32_t>(text.size()) + 50; ++w) {
    if (w % 3 == 0 || (w < static_cast<int32_t>(text.size()) && text[w] == '\x01')) {
      words.push_back(w);
      if (w % 7 == 0) words.push_back(w);  // repeated
      chosen.insert(w + 1);
    }
  }
  words.push_back(-1);
  spill(path("points"), std::string(reinterpret_cast<const char*>(words.data()), words.size() * 4));
  const std::string want = ref::index_file(text, ref::BASIC, {}, {&chosen});
  const std::string args = std::string(kArgs) + " -p points";
  const int n = passes(args);
  ASSERT_GE(n, 4);
  EXPECT_TRUE(slurp(path("out.idx")) == want);
  for (const std::string& blocker : std::vector<std::string>{"out.i3", "out.m3", "out.m" + std::to_string(n), "out.t2"}) {
    EXPECT_TRUE(interrupted(args, blocker) == want) << blocker;
  }
}

TEST_F(Restart, RegionBuildOfATextWithAnOffset) {
  // Points only inside the regions; the text's first byte is position 101.
  const std::string text = gather("/usr/share/common-licenses", "", 260 * 1024);
  spill(path("text"), text);
  std::vector<int32_t> values;
  std::vector<std::pair<int64_t, int64_t>> regions;
  for (int64_t start = 100 + 37; start + 900 < static_cast<int64_t>(text.size()) + 100; start += 1500 + start % 7 * 13) {
    const int64_t end = start + 300 + start % 5 * 100;
    values.push_back(static_cast<int32_t>(start));
    values.push_back(static_cast<int32_t>(end));
    regions.push_back({start + 1, end + 1});
  }
  uint32_t header[128] = {1, 0x01020304, 1, 0, 0, 50300, 0, 0x0A0D0A00};
  std::string file(reinterpret_cast<const char*>(header), sizeof header);
  file.append(reinterpret_cast<const char*>(values.data()), values.size() * 4);
  spill(path("r.rgn"), file);
  const std::string dd =
      "<DB>\n <Text><Files><File><SysName>text</SysName><Offset>100</Offset></File></Files></Text>\n"
      " <Indices><Index><Name>a</Name><File><SysName>out.idx</SysName></File></Index></Indices>\n"
      " <Regions><Region><Name>para</Name><File><SysName>r.rgn</SysName></File><Count>" +
      std::to_string(values.size()) + "</Count><Type>pairs</Type></Region></Regions>\n</DB>\n";
  spill(path("db.dd"), dd);
  ref::Limits limits;
  limits.regions = &regions;
  limits.offset = 100;
  const std::string want = ref::index_file(text, ref::SGML, {}, limits);  // -D: the sgml map
  const std::string args = "-D db.dd -d para -m 500k";
  ASSERT_EQ(vexabld(args), 0) << slurp(path("run.err"));
  EXPECT_TRUE(slurp(path("out.idx")) == want);
  // Interrupted before the skips of pass 3, and resumed.
  spill(path("db.dd"), dd);
  ASSERT_EQ(mkdir(path("db.m3").c_str(), 0777), 0);
  ASSERT_EQ(vexabld(args), 1);
  ASSERT_EQ(rmdir(path("db.m3").c_str()), 0);
  ASSERT_EQ(vexabld(args + " -r"), 0) << slurp(path("run.err"));
  EXPECT_TRUE(slurp(path("out.idx")) == want);
  EXPECT_FALSE(std::ifstream(path("db.log")).good());
  EXPECT_FALSE(std::ifstream(path("db.i0")).good());
  // With a points file as well: its positions, inside the regions. Its
  // words are text positions less one, the offset included.
  std::vector<int32_t> words;
  std::set<int64_t> chosen;
  for (int32_t w = 100; w < static_cast<int32_t>(text.size()) + 100; w += 4) {
    words.push_back(w);
    chosen.insert(w + 1);
  }
  spill(path("points"), std::string(reinterpret_cast<const char*>(words.data()), words.size() * 4));
  limits.chosen = &chosen;
  spill(path("db.dd"), dd);
  ASSERT_EQ(vexabld(args + " -p points"), 0) << slurp(path("run.err"));
  EXPECT_TRUE(slurp(path("out.idx")) == ref::index_file(text, ref::SGML, {}, limits));
}

TEST_F(Restart, SkipFilesCountTheEarlierPointsBetween) {
  // Words of the first passes sort before most of the last pass's, so its
  // first skip counts need the escape byte.
  std::string text;
  for (int i = 0; text.size() < 150 * 1024; ++i) text += std::string(1, 'a' + i % 12) + "w" + std::to_string(i * 37 % 1000) + " ";
  for (int i = 0; text.size() < 220 * 1024; ++i) text += std::string(1, i % 5 == 0 ? 'b' : 'n' + i % 12) + "x" + std::to_string(i % 777) + " ";
  spill(path("text"), text);
  stop_at(kArgs, "out.t1");  // Phase I complete: every skip file written
  // Pass ranges from the log.
  std::vector<std::pair<int64_t, int64_t>> ranges;
  const std::string log = slurp(path("out.log"));
  const std::regex line("(Initial|Last) ([0-9]+) from ([0-9]+)\\('.'\\) to ([0-9]+)");
  for (auto it = std::sregex_iterator(log.begin(), log.end(), line); it != std::sregex_iterator(); ++it)
    ranges.push_back({std::stoll((*it)[3]), std::stoll((*it)[4])});
  ASSERT_GE(ranges.size(), 3u);
  // The global order of the reference, each point marked with its pass.
  ref::Scan sc = ref::scan(text, ref::BASIC, {});
  const std::string& b = sc.buffer;
  std::sort(sc.points.begin(), sc.points.end(), [&b](const auto& x, const auto& y) {
    const int c = b.compare(x.first, 400, b, y.first, 400);
    return c != 0 ? c < 0 : x.first < y.first;
  });
  const auto pass_of = [&](int64_t pos) {
    for (size_t k = 0; k < ranges.size(); ++k) {
      if (pos >= ranges[k].first && pos <= ranges[k].second) return static_cast<int>(k) + 1;
    }
    return 0;
  };
  bool escaped = false;
  for (int n = 1; n <= static_cast<int>(ranges.size()); ++n) {
    std::string want;
    uint32_t between = 0;
    for (const auto& p : sc.points) {
      const int k = pass_of(p.second);
      ASSERT_NE(k, 0);
      if (k < n) ++between;
      if (k != n) continue;
      if (between <= 253) {
        want += static_cast<char>(between);
      } else {
        want += static_cast<char>(254);
        want.append(reinterpret_cast<const char*>(&between), 4);
        escaped = true;
      }
      between = 0;
    }
    EXPECT_TRUE(slurp(path("out.m" + std::to_string(n))) == want) << n;
  }
  EXPECT_TRUE(escaped);
}

TEST_F(Restart, MergeFollowsTheSkipCounts) {
  // Work files of a finished Phase I and final pieces, laid out here: 50
  // passes, so that each merge stream gets 1024 bytes of the smallest
  // budget. Pass 1 has 400 points, passes 2 to 49 one each, pass 50 1024,
  // the last with the skip count 300, whose escape byte is the 1024th byte
  // of its skip file (the last byte of the stream's first buffer).
  spill(path("text"), std::string(100000, 'x'));
  std::string log;
  std::vector<std::vector<int32_t>> positions(51);
  int32_t start = 1;
  for (int k = 1; k <= 50; ++k) {
    const int32_t count = k == 1 ? 400 : k == 50 ? 1024 : 1;
    const int32_t end = start + 1999;
    for (int32_t i = 0; i < count; ++i) positions[k].push_back(start + i);
    std::string skips(static_cast<size_t>(count), '\0');
    if (k == 50) {
      const int32_t big = 300;
      skips.resize(1023);
      skips += '\xFE';
      skips.append(reinterpret_cast<const char*>(&big), 4);
    }
    spill(path("out.m" + std::to_string(k)), skips);
    const int32_t header[4] = {start, end, 'x', count};
    std::string piece(reinterpret_cast<const char*>(header), sizeof header);
    piece.append(reinterpret_cast<const char*>(positions[k].data()), positions[k].size() * 4);
    spill(path("out.t" + std::to_string(k)), piece);
    log += (k == 50 ? "Last " : "Initial ") + std::to_string(k) + " from " + std::to_string(start) +
           "('x') to " + std::to_string(end) + "('x') " + std::to_string(count) + " nodes\n";
    log += "Merge " + std::to_string(k) + "\n";
    start = end + 1;
  }
  for (int k = 1; k <= 50; ++k) log += "Final " + std::to_string(k) + "\n";
  spill(path("out.log"), log);
  ASSERT_EQ(vexabld(std::string(kArgs) + " -r"), 0) << slurp(path("run.err"));
  // The highest pass whose count has run out goes next.
  std::vector<int32_t> order(positions[50].begin(), positions[50].begin() + 1023);
  for (int k = 49; k >= 2; --k) order.push_back(positions[k][0]);
  order.insert(order.end(), positions[1].begin(), positions[1].begin() + 252);
  order.push_back(positions[50][1023]);
  order.insert(order.end(), positions[1].begin() + 252, positions[1].end());
  std::string want(512, '\0');
  const uint32_t header[8] = {0, 0x01020304u, 1, 0, 1, 50300, 0, 0x0A0D0A00u};
  std::memcpy(want.data(), header, sizeof header);
  for (int32_t p : order) {
    const uint32_t w = static_cast<uint32_t>(p - 1) * 583201977u;
    want.append(reinterpret_cast<const char*>(&w), 4);
  }
  EXPECT_TRUE(slurp(path("out.idx")) == want);
  EXPECT_EQ(leftovers({"text", "out.idx", "out.dd"}), std::vector<std::string>{});
}

TEST_F(Restart, DamagedLogOrWorkFilesAreRefused) {
  spill(path("text"), gather("/usr/share/common-licenses", "", 260 * 1024));
  const std::string balance = "Log file out.log does not balance with existing files";
  struct Case {
    const char* what;
    std::string blocker;
    std::string damage;  // shell commands run on the stopped build
    std::string args;
    std::string message;
  };
  const Case cases[] = {
      {"no log", "out.i3", "rm out.log", kArgs, "can't open logfile 'out.log' for restart"},
      {"pass file cut", "out.m3", "truncate -s 100 out.i2", kArgs, balance},
      {"pass file gone", "out.i4", "rm out.i1", kArgs, balance},
      {"skip file cut", "out.i4", "truncate -s 10 out.m2", kArgs, balance},
      {"final piece header", "out.t3", "printf '\\002\\000\\000\\000' | dd of=out.t1 conv=notrunc 2>/dev/null",
       kArgs, balance},
      {"offset out of the buffer", "out.i4",
       "printf '\\377\\377\\377\\000' | dd of=out.i2 bs=1 seek=40 conv=notrunc 2>/dev/null", kArgs,
       balance},
      {"log numbers", "out.i4", "sed -i 's/^Initial 2 from/Initial -2 from/' out.log", kArgs, balance},
      {"log count", "out.i4", "sed -i '0,/ nodes/s/ [0-9]* nodes/ 99999999 nodes/' out.log", kArgs,
       balance},
      {"pass 500", "out.i4", "echo 'Merge 500' >> out.log", kArgs, "at most 499 passes"},
      {"text changed", "out.m3", "sed -i '1s/^/Three more words /' text", kArgs, balance},
      {"smaller budget", "out.i2", "", "-t text -c basic -m 600k", balance},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    stop_at(c.args, c.blocker);
    if (!c.damage.empty()) {
      const std::string command = "cd '" + dir_ + "' && " + c.damage;
      ASSERT_EQ(system(command.c_str()), 0);
    }
    // "smaller budget": the work files of a 600k build do not fit 500k.
    EXPECT_EQ(vexabld(std::string(kArgs) + " -r"), 1);
    EXPECT_NE(slurp(path("run.err")).find(c.message), std::string::npos) << slurp(path("run.err"));
    EXPECT_FALSE(std::ifstream(path("out.idx")).good());
  }
}

// A build that fails while it merges, or cannot put the new index in its
// place, leaves the old index as it was and no new file beside it.
TEST_F(Restart, FailedMergeKeepsTheOldIndex) {
  spill(path("text"), gather("/usr/share/common-licenses", "", 260 * 1024));
  clear({"text"});
  ASSERT_EQ(vexabld(kArgs), 0);
  const std::string old = slurp(path("out.idx"));
  ASSERT_GT(old.size(), 512u);

  // Stopped before the second final piece; the first one then names
  // position 0, which the merge refuses.
  ASSERT_EQ(mkdir(path("out.t2").c_str(), 0777), 0);
  ASSERT_EQ(vexabld(kArgs), 1);
  ASSERT_EQ(rmdir(path("out.t2").c_str()), 0);
  std::string piece = slurp(path("out.t1"));
  ASSERT_GT(piece.size(), 16u + 4 * 10);
  std::memset(&piece[16 + 4 * 9], 0, 4);
  spill(path("out.t1"), piece);
  EXPECT_EQ(vexabld(std::string(kArgs) + " -r"), 1);
  EXPECT_NE(slurp(path("run.err")).find("does not balance"), std::string::npos);
  const std::string now = slurp(path("out.idx"));
  EXPECT_TRUE(now == old) << "the index now has " << now.size() << " bytes, before " << old.size();
  for (const std::string& n : leftovers({}))
    EXPECT_EQ(n.find(".new"), std::string::npos) << n;

  // The index name taken by a directory: the new index cannot replace it.
  clear({"text"});
  ASSERT_EQ(mkdir(path("out.idx").c_str(), 0777), 0);
  EXPECT_EQ(vexabld(kArgs), 1);
  EXPECT_NE(slurp(path("run.err")).find("Unable to open file: out.idx."), std::string::npos)
      << slurp(path("run.err"));
  for (const std::string& n : leftovers({}))
    EXPECT_EQ(n.find(".new"), std::string::npos) << n;
}

// A fresh build made over the work files of an abandoned one removes them
// all, also the pass files numbered above its own passes.
TEST_F(Restart, FreshBuildRemovesAnAbandonedBuildsWorkFiles) {
  spill(path("text"), gather("/usr/share/common-licenses", "", 260 * 1024));
  stop_at(kArgs, "out.i4");
  ASSERT_EQ(access(path("out.i3").c_str(), F_OK), 0);
  EXPECT_EQ(vexabld("-t text -c basic -m 64m"), 0) << slurp(path("run.err"));
  EXPECT_EQ(leftovers({"text", "out.idx", "out.dd"}), std::vector<std::string>{});
}

// A restart under other rules than the interrupted build's is refused,
// also when only the merge is left (nothing is replayed then): the index
// of the old rules would be recorded with the new ones.
TEST_F(Restart, OtherRulesAreRefused) {
  spill(path("text"), gather("/usr/share/common-licenses", "", 260 * 1024));
  const char* other[] = {"-t text -c none -m 500k", "-t text -c basic -m 500k -p points"};
  spill(path("points"), std::string(4, '\0') + std::string("\x05\0\0\0\x09\0\0\0", 8));
  for (const char* args : other) {
    SCOPED_TRACE(args);
    for (const char* blocker : {"out.idx", "out.m3"}) {
      stop_at(kArgs, blocker);
      EXPECT_EQ(vexabld(std::string(args) + " -r"), 1);
      EXPECT_NE(slurp(path("run.err")).find("other index rules"), std::string::npos)
          << slurp(path("run.err"));
      EXPECT_FALSE(std::ifstream(path("out.idx")).good());
      EXPECT_FALSE(std::ifstream(path("out.dd")).good());
    }
  }
}

// An index file that may be written in a directory that may not (no new
// file can be made beside it) is still written, in place. Needs root to
// run the build as another user.
TEST_F(Restart, IndexInADirectoryThatMayNotBeWritten) {
  if (geteuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0) {
    GTEST_SKIP() << "needs root and setpriv";
  }
  ASSERT_EQ(chmod(dir_.c_str(), 0777), 0);
  spill(path("text"), "some words of a text\n");
  spill(path("db.dd"),
        "<DB><Text><Files><File><SysName>text</SysName></File></Files></Text><Indices><Index>"
        "<Name>w</Name><File><SysName>ro/out.idx</SysName></File><IndexPoints>"
        "<IndexPt> &ISO_printable.</IndexPt></IndexPoints></Index></Indices></DB>\n");
  ASSERT_EQ(mkdir(path("ro").c_str(), 0755), 0);
  spill(path("ro/out.idx"), "old");
  for (const char* name : {"text", "db.dd", "ro/out.idx"}) {
    ASSERT_EQ(chmod(path(name).c_str(), 0666), 0);
  }
  EXPECT_EQ(vexabld("-D db.dd", "setpriv --reuid=65534 --regid=65534 --clear-groups "), 0)
      << slurp(path("run.err"));
  EXPECT_EQ(slurp(path("ro/out.idx")).size(), 512u + 4 * 5);
}

}  // namespace
