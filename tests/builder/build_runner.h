// Runs the real vexabld in a scratch directory: the fixture of the tests
// of whole builds, and the file helpers they share.
#pragma once

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>


inline std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void spill(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

// Real text of the machine: every regular file of a directory, in name
// order, up to `limit` bytes.
inline std::string gather(const std::string& dir, const std::string& suffix, size_t limit) {
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
  // Runs vexabld in the scratch directory (behind `prefix`, a command that
  // runs it): its exit status.
  int vexabld(const std::string& args, const std::string& prefix = "") const {
    const std::string command = "cd '" + dir_ + "' && " + prefix + "'" + VQ_BIN_DIR +
                                "/vexabld' " + args + " >run.out 2>run.err";
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
