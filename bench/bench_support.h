// Helpers shared by the benchmarks that time a byte-by-byte read: the
// clock, the checksum loop both readers of one run go through, a timed read
// of a plain file through the stream layer, and a scratch directory.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "io/vqio.h"

namespace bench {

inline double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct Result {
  double seconds;
  uint64_t sum, count;
};

// The same byte loop for every reader: a running checksum and a count.
template <typename Next>
[[gnu::noinline]] Result scan(Next next, std::chrono::steady_clock::time_point start) {
  uint64_t sum = 0, count = 0;
  for (int c; (c = next()) != -1;) {
    sum = sum * 31 + static_cast<uint64_t>(c);
    ++count;
  }
  return {seconds_since(start), sum, count};
}

// Reads a plain file through the stream layer with the same loop.
inline Result read_plain(const std::string& path) {
  auto start = std::chrono::steady_clock::now();
  VqStream* s = vqio_fopen(path.c_str(), "r");
  if (!s) std::exit(2);
  Result r = scan([s] { return vqio_getc(s); }, start);
  vqio_fclose(s);
  r.seconds = seconds_since(start);
  return r;
}

// A new directory under TMPDIR (or /tmp) named after the benchmark; exits
// with status 2 when it cannot be made.
inline std::string scratch_dir(const char* name) {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + name + "_XXXXXX";
  if (!mkdtemp(pattern.data())) std::exit(2);
  return pattern;
}

}  // namespace bench
