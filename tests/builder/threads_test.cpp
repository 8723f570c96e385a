// The split of work over threads: every part runs once with its own
// bounds, whoever runs it; splits made inside a part, and beside a split
// running on another thread, also run every part.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <tuple>
#include <vector>

#include "builder/phases_internal.h"

namespace {

using Part = std::tuple<int, int64_t, int64_t>;  // part, from, to

// The parts a split ran, in part order (each recorded once per run).
struct Record {
  std::mutex lock;
  std::vector<Part> parts;
  void add(int part, int64_t from, int64_t to) {
    const std::lock_guard<std::mutex> hold(lock);
    parts.emplace_back(part, from, to);
  }
  std::vector<Part> sorted() {
    std::sort(parts.begin(), parts.end());
    return parts;
  }
};

struct Case {
  int threads;
  int64_t n, least;
  int per_thread;  // 0: split_work
  std::vector<Part> want;
};

TEST(SplitWork, EveryPartRunsOnceWithItsBounds) {
  const std::vector<Case> cases = {
      // Fewer items than two parts' least: one part, on the caller.
      {4, 15, 10, 0, {{0, 0, 15}}},
      // n / least = 3 parts, at most 4 threads: n * part / 3.
      {4, 1000, 300, 0, {{0, 0, 333}, {1, 333, 666}, {2, 666, 1000}}},
      // 100 / 10 = 10 parts, cut to one per thread.
      {2, 100, 10, 0, {{0, 0, 50}, {1, 50, 100}}},
      // Finely: up to 3 parts per thread, 2 threads, 6 parts of 100.
      {2, 100, 10, 3, {{0, 0, 16}, {1, 16, 33}, {2, 33, 50}, {3, 50, 66}, {4, 66, 83}, {5, 83, 100}}},
      // Finely, cut by least: 100 / 40 = 2 parts.
      {4, 100, 40, 4, {{0, 0, 50}, {1, 50, 100}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "threads " << c.threads << " n " << c.n << " per " << c.per_thread);
    phases::set_sort_threads(c.threads);
    for (int round = 0; round < 3; ++round) {  // the kept workers serve later splits too
      Record r;
      const auto work = [&](int part, int64_t from, int64_t to) { r.add(part, from, to); };
      if (c.per_thread == 0) phases::split_work(c.n, c.least, work);
      else phases::split_work_finely(c.n, c.least, c.per_thread, work);
      EXPECT_EQ(r.sorted(), c.want);
    }
  }
  phases::set_sort_threads(0);
}

// A split inside a part, and splits on two threads at once, each run all
// their parts before they return.
TEST(SplitWork, NestedAndSideBySideSplitsEnd) {
  phases::set_sort_threads(4);
  std::atomic<int64_t> inner_items{0};
  Record outer;
  phases::split_work(4, 1, [&](int part, int64_t from, int64_t to) {
    outer.add(part, from, to);
    phases::split_work(1000, 100, [&](int, int64_t f, int64_t t) { inner_items += t - f; });
  });
  EXPECT_EQ(outer.sorted(), (std::vector<Part>{{0, 0, 1}, {1, 1, 2}, {2, 2, 3}, {3, 3, 4}}));
  EXPECT_EQ(inner_items.load(), 4 * 1000);

  std::atomic<int64_t> items[2] = {0, 0};
  const auto many_splits = [&](int side) {
    for (int round = 0; round < 200; ++round)
      phases::split_work(100, 10, [&](int, int64_t f, int64_t t) { items[side] += t - f; });
  };
  std::thread other(many_splits, 1);
  many_splits(0);
  other.join();
  EXPECT_EQ(items[0].load(), 200 * 100);
  EXPECT_EQ(items[1].load(), 200 * 100);
  phases::set_sort_threads(0);
}

}  // namespace
