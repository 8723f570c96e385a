// The phases of a build that are not written yet: each reports an internal
// error, so that a build never claims a result it did not make. Each
// function moves to its own file when its phase is written.
#include "builder/builder.h"
#include "msg/msg.h"

namespace {

void not_built(const char* what) { vq_report(15, "vexabld: %s: not built yet", what); }

}  // namespace

int BuildPass(int, int32_t* point_count) {
  *point_count = 0;
  not_built("BuildPass");
  return 1;
}

int BuildRegionPass(int, int32_t* point_count) {
  *point_count = 0;
  not_built("BuildRegionPass");
  return 1;
}

void RebuildPassBuffer(int32_t, int32_t, int, unsigned char*, long) {
  not_built("RebuildPassBuffer");
}

void CountSkips(int, int32_t) { not_built("CountSkips"); }

void RestartFromLog(RestartState*) { not_built("RestartFromLog"); }

int FinalPass(int passes, int) {
  not_built("FinalPass");
  return passes;
}

void WriteIndex(int) { not_built("WriteIndex"); }

void RemoveTempFiles() { not_built("RemoveTempFiles"); }
