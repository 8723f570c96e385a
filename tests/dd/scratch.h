// Helpers of the data-dictionary tests: the I/O layer started once, a
// scratch directory per test, whole-file reads and writes.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "io/vqio.h"

inline void start_io() {
  static char name[] = "test_dd";
  static char* argv[] = {name, nullptr};
  vqio_start(1, argv, "VQ_IOMAP");
}

inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void write_file(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

inline std::string fixture(const char* name) {
  return std::string(VQ_FIXTURES) + "/dd/" + name;
}

// A fresh directory under the temporary directory, removed afterwards.
class ScratchDir : public ::testing::Test {
 protected:
  void SetUp() override {
    start_io();
    char pattern[] = "/tmp/dd_test_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    const std::string command = "chmod -R u+w '" + dir_ + "' && rm -rf '" + dir_ + "'";
    EXPECT_EQ(system(command.c_str()), 0);
  }
  std::string path(const char* name) const { return dir_ + "/" + name; }
  std::string dir_;
};
