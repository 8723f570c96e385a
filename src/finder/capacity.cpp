// The parser's capacity figures at the end of a run: the -c report on a
// stream, and the -z file through which a child process hands its counts
// to its parent.
#include <cerrno>
#include <cstring>

#include "finder/finder.h"

void capacity_report(VqStream* stream, const CapacityReport& report) {
  for (int i = 0; i < CAPACITY_ENTRIES; ++i) {
    if (report.counts[i] == 0) continue;
    long points = static_cast<long>(report.weights[i]) * report.counts[i];
    vqio_fprintf(stream, "%8s %5ld/%ld\n", report.names[i], points,
                 static_cast<long>(report.limits[i]));
  }
}

void capacity_write(const std::string& file, const CapacityReport& report) {
  VqStream* out = vqio_fopen(file.c_str(), "w");
  if (out == nullptr) front_fatal(kFrontCannotOpenFile, file.c_str(), std::strerror(errno));
  // Capacity 0 is the total, which the parent computes itself.
  for (int i = 1; i < CAPACITY_ENTRIES; ++i) {
    vqio_fprintf(out, "%ld\n", static_cast<long>(report.counts[i]));
  }
  if (vqio_fclose(out) != 0) front_fatal(kFrontCannotOpenFile, file.c_str(), std::strerror(errno));
}
