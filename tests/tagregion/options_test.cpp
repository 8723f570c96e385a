// Command line and region file names.
#include "support.h"

namespace {

struct Line {
  std::vector<std::string> args;
  int usage;
  std::string region;  // with cwd "/cwd"
};

TEST(Options, RegionFileNames) {
  const std::vector<Line> cases = {
      {{"db.dd", "tags.txt"}, 0, "db.rgn"},
      {{"-D", "db.dd", "-t", "tags.txt"}, 0, "db.rgn"},
      {{"-D", "data", "-t", "t"}, 0, "data.rgn"},
      {{"db.dd", "t", "-o", "out"}, 0, "out.rgn"},
      {{"db.dd", "t", "-o", "out.rgn"}, 0, "out.rgn"},
      {{"db.dd", "t", "-f", "-o", "sub/out"}, 0, "/cwd/sub/out.rgn"},
      {{"db.dd", "t", "-f", "-o", "/abs/out"}, 0, "/abs/out.rgn"},
      {{"-f", "/x/db.dd", "t"}, 0, "/x/db.rgn"},
      {{"-f", "db.dd", "t"}, 0, "/cwd/db.rgn"},
      {{"-d", "-v2", "db.dd", "t", "-displayfmt"}, 0, "db.rgn"},
      {{"db.dd", "t", "third"}, 1, ""},
      {{"db.dd"}, 1, ""},
      {{"-merge", "db.dd", "t"}, 1, ""},
      {{"-D", "db.dd", "-t"}, 1, ""},
  };
  for (const Line& c : cases) {
    std::vector<std::string> store = {"pellion"};
    store.insert(store.end(), c.args.begin(), c.args.end());
    std::vector<char*> argv;
    for (std::string& a : store) argv.push_back(a.data());
    RegionRunOptions o;
    int usage = region_options_parse(static_cast<int>(argv.size()), argv.data(), &o);
    EXPECT_EQ(usage, c.usage) << store[1];
    if (usage == 0) {
      EXPECT_EQ(region_file_name(o, "/cwd"), c.region) << store[1];
    }
  }
}

TEST(Options, Flags) {
  std::vector<std::string> store = {"pellion", "-v2", "-meta", "m.xml", "-displayfmt", "sgml",
                                    "-sw", "pos", "db.dd", "t"};
  std::vector<char*> argv;
  for (std::string& a : store) argv.push_back(a.data());
  RegionRunOptions o;
  ASSERT_EQ(region_options_parse(static_cast<int>(argv.size()), argv.data(), &o), 0);
  EXPECT_TRUE(o.verbose && o.trace && o.meta && o.display_fmt && o.has_tagpos);
  EXPECT_EQ(o.meta_file, "m.xml");
  EXPECT_EQ(o.display_name, "sgml");
  EXPECT_EQ(o.tagpos_file, "pos");

  std::vector<std::string> bare = {"pellion", "db.dd", "t", "-meta"};
  argv.clear();
  for (std::string& a : bare) argv.push_back(a.data());
  RegionRunOptions m;
  ASSERT_EQ(region_options_parse(static_cast<int>(argv.size()), argv.data(), &m), 0);
  EXPECT_TRUE(m.meta);
  EXPECT_FALSE(m.has_meta_file);
}

TEST(Options, RelativePaths) {
  EXPECT_EQ(path_is_relative("a/b"), 1);
  EXPECT_EQ(path_is_relative("/a"), 0);
  EXPECT_EQ(path_is_relative("\\a"), 0);
  EXPECT_EQ(path_is_relative("c:/a"), 0);
  EXPECT_EQ(path_is_relative("c:\\a"), 0);
  EXPECT_EQ(path_is_relative("c:a"), 1);
  EXPECT_EQ(path_is_relative("1:/a"), 1);
}

}  // namespace
