// How many threads the build's parallel steps use, and the split of a range
// of work into contiguous parts, one per thread.
#include <sched.h>

#include <algorithm>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

#include "builder/phases_internal.h"

namespace phases {

namespace {
int sort_thread_setting = 0;  // 0: all cores
}  // namespace

void set_sort_threads(int threads) { sort_thread_setting = threads; }

int sort_threads() {
  if (sort_thread_setting > 0) return sort_thread_setting;
  // The cores this process may run on (a process bound to fewer cores
  // sorts on fewer threads).
  cpu_set_t cores;
  int n = sched_getaffinity(0, sizeof cores, &cores) == 0 ? CPU_COUNT(&cores) : 0;
  if (n < 1) n = static_cast<int>(std::thread::hardware_concurrency());
  return std::clamp(n, 1, 64);
}

int work_parts(int64_t n, int64_t least) {
  const int64_t most = least > 0 ? n / least : n;
  return static_cast<int>(std::clamp<int64_t>(most, 1, sort_threads()));
}

bool files_on_threads() {
  const IoSubsystem* io = vqio_current();
  return io != nullptr && io->name != nullptr &&
         (std::strcmp(io->name, "native") == 0 || std::strcmp(io->name, "builder") == 0);
}

void split_work(int64_t n, int64_t least, const std::function<void(int, int64_t, int64_t)>& work) {
  const int parts = work_parts(n, least);
  const auto from = [n, parts](int part) { return n * part / parts; };
  std::vector<std::thread> threads;
  int started = 1;
  for (; started < parts; ++started) {
    try {
      threads.emplace_back(work, started, from(started), from(started + 1));
    } catch (const std::system_error&) {
      break;
    }
  }
  work(0, 0, from(1));
  for (int part = started; part < parts; ++part) work(part, from(part), from(part + 1));
  for (std::thread& t : threads) t.join();
}

}  // namespace phases
