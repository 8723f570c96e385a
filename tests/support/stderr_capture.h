// Captures what a piece of code writes on standard error (descriptor 2,
// the layer's standard-error stream flushed around it).
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "io/vqio.h"
#include "support/scratch.h"

// Runs f with descriptor 2 sent to dir/stderr.txt; returns what was written.
template <typename F>
std::string stderr_of(const std::string& dir, F f) {
  std::string path = dir + "/stderr.txt";
  vqio_fflush(vqio_stderr);
  int saved = dup(2);
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  dup2(fd, 2);
  close(fd);
  f();
  vqio_fflush(vqio_stderr);
  dup2(saved, 2);
  close(saved);
  return read_file(path);
}

// The same in a temporary directory of its own.
template <typename F>
std::string stderr_of(F f) {
  TempDir dir;
  return stderr_of(dir.path, f);
}
