// Helpers shared by the test programs of the storage modules: the I/O layer
// started once, whole-file reads and writes, a temporary directory removed
// with its files, and a test fixture with a scratch directory per test.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "io/vqio.h"

// Starts the I/O layer (the subsystem named by VQ_IOMAP, native when unset)
// the first time; the layer ignores later starts as well.
inline void start_io() {
  static bool started = false;
  static char name[] = "vq_test";
  static char* argv[] = {name, nullptr};
  if (!started) vqio_start(1, argv, "VQ_IOMAP");
  started = true;
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

// A fresh directory under /tmp, removed with everything in it at the end of
// the scope.
struct TempDir {
  std::string path;
  TempDir() {
    char pattern[] = "/tmp/vq_test_XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    path = pattern;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
};

// A fresh directory per test (with the I/O layer started), removed
// afterwards even where a test took its write permission away.
class ScratchDir : public ::testing::Test {
 protected:
  void SetUp() override {
    start_io();
    char pattern[] = "/tmp/vq_scratch_XXXXXX";
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
