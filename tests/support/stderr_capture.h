// Captures what a piece of code writes on standard error (descriptor 2,
// the layer's standard-error stream flushed around it) or on standard
// output (descriptor 1 and the layer's standard-output stream).
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "io/vqio.h"
#include "support/scratch.h"

// Runs f with descriptor fd (1 or 2) sent to dir/<file>; returns what was
// written there.
template <typename F>
std::string descriptor_output_of(int fd, const std::string& dir, const char* file, F f) {
  VqStream* stream = fd == 1 ? vqio_stdout : vqio_stderr;
  std::string path = dir + "/" + file;
  vqio_fflush(stream);
  int saved = dup(fd);
  int out = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  dup2(out, fd);
  close(out);
  f();
  vqio_fflush(stream);
  dup2(saved, fd);
  close(saved);
  return read_file(path);
}

// Runs f with descriptor 2 sent to dir/stderr.txt; returns what was written.
template <typename F>
std::string stderr_of(const std::string& dir, F f) {
  return descriptor_output_of(2, dir, "stderr.txt", f);
}

// The same in a temporary directory of its own.
template <typename F>
std::string stderr_of(F f) {
  TempDir dir;
  return stderr_of(dir.path, f);
}

// Runs f with descriptor 1 sent to dir/stdout.txt; returns what was written.
template <typename F>
std::string stdout_of(const std::string& dir, F f) {
  return descriptor_output_of(1, dir, "stdout.txt", f);
}
