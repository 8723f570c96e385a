// The version banner that all three programs print for "-v" and "-ver".
#include <cstring>

#include "msg/msg.h"

namespace {
constexpr int kMajor = 5, kMinor = 3, kPatch = 0, kIncrement = 10286;
}

int vq_version_banner(int argc, char** argv, const char* banner_name) {
  bool banner = false, end = false, verbose = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-v") == 0) {
      banner = verbose = true;
    } else if (std::strcmp(argv[i], "-ver") == 0) {
      banner = end = true;
    }
  }
  if (banner) {
    vqio_printf("%s version %d.%d.%d (Incr: %04d)\n", banner_name, kMajor, kMinor, kPatch,
                kIncrement);
  }
  if (end) vqio_exit(0);
  return verbose ? 1 : 0;
}
