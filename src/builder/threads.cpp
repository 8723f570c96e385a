// How many threads the build's parallel steps use, and the split of a range
// of work into contiguous parts run on worker threads kept for the run.
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
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

namespace {

// The parts of one call of split_work, taken in turn by whichever thread
// is free: the calling thread and the kept workers.
struct Job {
  const std::function<void(int, int64_t, int64_t)>* work = nullptr;
  int64_t n = 0;
  int parts = 0;
  std::atomic<int> next{0};  // the next part not yet taken
  int unfinished = 0;        // parts not yet ended (under the pool's lock)
  int users = 0;             // workers that hold the job (under the lock)
};

// Worker threads kept for the whole run: a build splits work some hundred
// times, and starting threads for each split cost more than the work of
// the small ones. One call uses the pool at a time; a call made while it
// is busy (from a worker, or from a thread of its own beside a running
// split) starts threads of its own as before. The pool is never torn
// down: its workers wait until the process ends.
struct Pool {
  std::mutex lock;
  std::condition_variable wake, done;
  std::vector<std::thread> workers;
  Job* job = nullptr;
  uint64_t generation = 0;
  bool busy = false;
};

Pool& pool() {
  static Pool* kept = new Pool;
  return *kept;
}

thread_local bool on_worker = false;

// Runs the job's parts until none is left; true when this thread ended
// the last one.
void take_parts(Job& job) {
  int ended = 0;
  for (int part; (part = job.next.fetch_add(1)) < job.parts; ++ended) {
    const auto from = [&job](int k) { return job.n * k / job.parts; };
    (*job.work)(part, from(part), from(part + 1));
  }
  if (ended == 0) return;
  Pool& p = pool();
  const std::lock_guard<std::mutex> hold(p.lock);
  job.unfinished -= ended;
  if (job.unfinished == 0) p.done.notify_all();
}

void worker_loop() {
  on_worker = true;
  Pool& p = pool();
  uint64_t seen = 0;
  std::unique_lock<std::mutex> hold(p.lock);
  for (;;) {
    p.wake.wait(hold, [&] { return p.job != nullptr && p.generation != seen; });
    seen = p.generation;
    Job& job = *p.job;
    ++job.users;
    hold.unlock();
    take_parts(job);
    hold.lock();
    if (--job.users == 0) p.done.notify_all();
  }
}

// Starts pool workers up to `wanted` (false when none can be had).
bool grow_pool(Pool& p, size_t wanted) {
  while (p.workers.size() < wanted) {
    try {
      p.workers.emplace_back(worker_loop);
    } catch (const std::system_error&) {
      break;
    }
  }
  return !p.workers.empty();
}

// The former way: a thread of its own for each part but the first.
void split_on_new_threads(int64_t n, int parts,
                          const std::function<void(int, int64_t, int64_t)>& work) {
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

// Runs work(part, from, to) for the `parts` parts of [0, n) on the pool,
// or on threads of their own (at most one per thread, each taking a run
// of parts) when the pool is busy or has no workers.
void run_parts(int64_t n, int parts, const std::function<void(int, int64_t, int64_t)>& work) {
  const auto from = [n, parts](int part) { return n * part / parts; };
  if (parts < 2) {
    work(0, 0, n);
    return;
  }
  const int threads = std::min(parts, sort_threads());
  Pool& p = pool();
  {
    std::unique_lock<std::mutex> hold(p.lock);
    if (threads < 2 || on_worker || p.busy || !grow_pool(p, static_cast<size_t>(threads - 1))) {
      hold.unlock();
      split_on_new_threads(parts, threads, [&](int, int64_t first, int64_t end) {
        for (int64_t part = first; part < end; ++part)
          work(static_cast<int>(part), from(static_cast<int>(part)), from(static_cast<int>(part) + 1));
      });
      return;
    }
    p.busy = true;
  }
  Job job;
  job.work = &work;
  job.n = n;
  job.parts = parts;
  job.unfinished = parts;
  {
    const std::lock_guard<std::mutex> hold(p.lock);
    p.job = &job;
    ++p.generation;
  }
  p.wake.notify_all();
  take_parts(job);
  std::unique_lock<std::mutex> hold(p.lock);
  p.done.wait(hold, [&] { return job.unfinished == 0 && job.users == 0; });
  p.job = nullptr;
  p.busy = false;
}

}  // namespace

void split_work(int64_t n, int64_t least, const std::function<void(int, int64_t, int64_t)>& work) {
  run_parts(n, work_parts(n, least), work);
}

void split_work_finely(int64_t n, int64_t least, int per_thread,
                       const std::function<void(int, int64_t, int64_t)>& work) {
  const int64_t most = least > 0 ? n / least : n;
  run_parts(n, static_cast<int>(std::clamp<int64_t>(most, 1, int64_t{sort_threads()} * per_thread)), work);
}

}  // namespace phases
