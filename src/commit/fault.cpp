// Fault points of the commit. The programs have none; the test build
// compiles this file with VQ_COMMIT_FAULTS, where
//   VQ_COMMIT_FAULT="N SIGNAL" raises the signal (a number) at the N-th
//                              step of the commit (from 1), or with 0
//                              fails that step (as with EIO), and
//   VQ_FAULT_EIO=NAME          fails the existence check of NAME with EIO.
#include "commit/commit.h"

#ifdef VQ_COMMIT_FAULTS
#include <csignal>
#include <cstdlib>
#include <cstring>

bool commit_fault_step() {
  static long step = 0;
  const char* spec = std::getenv("VQ_COMMIT_FAULT");
  if (spec == nullptr) return false;
  char* rest = nullptr;
  const long at = std::strtol(spec, &rest, 10);
  const int signal = static_cast<int>(std::strtol(rest, nullptr, 10));
  if (++step != at) return false;
  if (signal > 0) raise(signal);
  return signal == 0;
}

bool commit_fault_eio(const char* path) {
  const char* name = std::getenv("VQ_FAULT_EIO");
  return name != nullptr && path != nullptr && std::strcmp(name, path) == 0;
}
#else
bool commit_fault_step() { return false; }
bool commit_fault_eio(const char*) { return false; }
#endif
