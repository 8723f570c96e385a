// A temporary directory removed with its files at the end of a test, and
// the one-time start of the I/O layer that the reader's calls go through.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include "io/vqio.h"

struct TempDir {
  std::string path;
  TempDir() {
    char pattern[] = "/tmp/frgac_test_XXXXXX";
    path = mkdtemp(pattern);
  }
  ~TempDir() { std::filesystem::remove_all(path); }
};

inline void start_io() {
  static bool started = false;
  if (!started) {
    char prog[] = "test_frgac";
    char* argv[] = {prog, nullptr};
    vqio_start(1, argv, nullptr);
    started = true;
  }
}
