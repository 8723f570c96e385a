// Sorting the points of a pass as suffixes of its buffer: ascending by the
// first 400 characters taken as unsigned bytes, equal prefixes in buffer
// order (earlier text first). The order is total, so the result does not
// depend on the method.
//
// Method: points whose 400-character windows are identical are grouped
// first, when the pass leaves room for it (repeated files and repeated
// markup make large groups): a rolling fingerprint of every window is taken
// in one sweep over the buffer (in stretches, on the threads), the points
// are sorted by (fingerprint, offset), and each run of equal fingerprints
// whose windows are verified identical (runs cut into parts, one per
// thread) becomes one group, in offset order. Only one representative of
// each group is sorted; the groups are then written out in the
// representatives' order.
//
// The sort itself: a radix step on the first two characters (over the
// points in text order, so its counting pass reads the buffer
// sequentially; split over the threads when there is room for a copy of
// the points), whose buckets are sorted independently on several threads,
// then a multikey quicksort that compares eight characters at a time as one
// big-endian word. Groups small enough have their words cached next to
// them, so that a partition touches no text; a cached group of some
// hundreds of points or more is split by byte steps on its words (counting
// and moving, no comparisons) until its parts are small. A group that a whole level
// left unsplit (repetitive text: markup, runs of one character) measures
// how far all its members agree with one of them in one sequential sweep
// and continues from there; a group that agrees for all 400 characters is
// ordered by offset. Each bucket's order depends on nothing but its points,
// so the result is the same for any number of threads. Extra memory is a
// fixed scratch per thread (about 1 MB) and, for the grouping and the copy
// of the radix step, room the pass leaves free in its own point array and
// text buffer.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <utility>
#include <vector>

#include "builder/phases_internal.h"

namespace phases {

namespace {

constexpr int kBudget = SUFFIX_BUDGET;
constexpr int64_t kCacheEntries = 64 * 1024;  // words cached per group
constexpr int64_t kSmallCache = 4096;         // the cache while groups are small
constexpr int64_t kSmall = 12;                // insertion sort below this
constexpr int64_t kByteStepLeast = 512;       // byte steps from this group size
constexpr int64_t kRadixLeast = 64 * 1024;    // points per thread of the radix step

// Radix step in place (American flag sort) into `buckets` buckets by
// key(element): start gets the buckets + 1 bounds.
template <class T, class Key>
void radix_step(T* w, int64_t n, Key key, int buckets, std::vector<uint32_t>& start) {
  start.assign(static_cast<size_t>(buckets) + 1, 0);
  for (int64_t i = 0; i < n; ++i) ++start[static_cast<size_t>(key(w[i])) + 1];
  for (int b = 0; b < buckets; ++b) start[b + 1] += start[b];
  std::vector<uint32_t> next(start.begin(), start.end() - 1);
  for (int b = 0; b < buckets; ++b) {
    while (next[b] < start[b + 1]) {
      T v = w[next[b]];
      for (;;) {
        const int vb = key(v);
        if (vb == b) break;
        std::swap(v, w[next[vb]++]);
      }
      w[next[b]++] = v;
    }
  }
}

// By a byte of each element: 256 buckets keep the writes within few cache
// lines.
template <class T, class Key>
void byte_step(T* w, int64_t n, Key key, std::vector<uint32_t>& start) {
  radix_step(w, n, key, 256, start);
}

struct Sorter {
  const unsigned char* text;
  // The words of a group: taken on the thread that first needs them, small
  // while the groups met are small (two sizes, so that the pool hands the
  // same arrays back), so that a thread that meets only small groups
  // touches little scratch.
  std::vector<uint64_t> keys{};

  static size_t room_for(int64_t n) {
    return static_cast<size_t>(n <= kSmallCache ? kSmallCache : kCacheEntries);
  }
  uint64_t* keys_for(int64_t n) {
    if (keys.size() < static_cast<size_t>(n)) {
      give_words(std::move(keys));
      keys = take_words(room_for(n));
    }
    return keys.data();
  }

  // The scratch array back to the pool.
  void release() { give_words(std::move(keys)); }

  // SuffixCompare from depth d on (the characters before are equal).
  bool less(int32_t a, int32_t b, int d) const {
    const int c = compare_from(text + a, text + b, d);
    return c < 0 || (c == 0 && a < b);
  }

  void insertion(int32_t* p, int64_t n, int d) const {
    for (int64_t i = 1; i < n; ++i) {
      const int32_t v = p[i];
      int64_t j = i;
      while (j > 0 && less(v, p[j - 1], d)) {
        p[j] = p[j - 1];
        --j;
      }
      p[j] = v;
    }
  }

  // Insertion sort of a small group whose words at depth d are cached in
  // k: the words decide most pairs without reading the text (prose differs
  // within a word or two), equal words compare the text from d + 8 on.
  void insertion_cached(int32_t* p, uint64_t* k, int64_t n, int d) const {
    for (int64_t i = 1; i < n; ++i) {
      const int32_t v = p[i];
      const uint64_t w = k[i];
      int64_t j = i;
      for (; j > 0; --j) {
        const uint64_t u = k[j - 1];
        if (w > u) break;
        if (w == u) {
          const int c = compare_from(text + v, text + p[j - 1], d + 8);
          if (c > 0 || (c == 0 && v > p[j - 1])) break;
        }
        p[j] = p[j - 1];
        k[j] = u;
      }
      p[j] = v;
      k[j] = w;
    }
  }

  void load_keys(const int32_t* p, uint64_t* k, int64_t n, int d) const {
    constexpr int64_t kAhead = 16;  // text loads in flight
    for (int64_t i = 0; i < n; ++i) {
      if (i + kAhead < n) __builtin_prefetch(text + p[i + kAhead] + d);
      k[i] = key_at(text + p[i], d);
    }
  }

  // All members agree with p[0] up to the returned depth (>= d).
  int agreed_depth(const int32_t* p, int64_t n, int d) const {
    int least = kBudget;
    const unsigned char* ref = text + p[0];
    for (int64_t i = 1; i < n && least > d; ++i) least = std::min(least, common_from(text + p[i], ref, d));
    return least;
  }

  static uint64_t median3(uint64_t a, uint64_t b, uint64_t c) {
    if (a > b) std::swap(a, b);
    if (b > c) std::swap(b, c);
    if (a > b) std::swap(a, b);
    return b;
  }

  // A group whose cached words are all equal, from depth d + 8 on: eight
  // characters deeper, or, when the level split nothing twice running,
  // from where its members stop agreeing.
  void deeper(int32_t* p, uint64_t* k, int64_t n, int d, bool unsplit, bool whole) {
    d += 8;
    if (n < 2) return;
    if (d < kBudget && unsplit && whole) d = agreed_depth(p, n, d);
    if (d >= kBudget) {
      std::sort(p, p + n);
      return;
    }
    load_keys(p, k, n, d);
    cached(p, k, n, d, unsplit);
  }

  // Byte steps on the cached words of a large group, from byte `byte` of
  // the words (0 the highest, the character at depth d) on: each step
  // counts the byte's values and moves words and points to their buckets,
  // which costs a sweep or two where a comparison partition would cost
  // many mispredicted branches (prose spreads over a few dozen values a
  // character). Buckets that grow small are sorted by the quicksort on
  // whole words; the points of one word continue deeper.
  void byte_steps(int32_t* p, uint64_t* k, int64_t n, int d, int byte, bool whole) {
    uint32_t count[257];
    for (;; ++byte) {
      const int shift = 56 - 8 * byte;
      std::fill_n(count, 257, 0u);
      for (int64_t i = 0; i < n; ++i) ++count[((k[i] >> shift) & 0xFF) + 1];
      if (count[((k[0] >> shift) & 0xFF) + 1] == static_cast<uint32_t>(n)) {
        // One value: the next byte, or, after the last, the next depth.
        if (byte == 7) {
          deeper(p, k, n, d, true, whole);
          return;
        }
        continue;
      }
      break;
    }
    const int shift = 56 - 8 * byte;
    for (int b = 0; b < 256; ++b) count[b + 1] += count[b];
    // In place (American flag sort): each word and its point go round the
    // cycle of places they displace.
    uint32_t next[256];
    std::copy_n(count, 256, next);
    for (int b = 0; b < 256; ++b) {
      while (next[b] < count[b + 1]) {
        uint64_t w = k[next[b]];
        int32_t v = p[next[b]];
        for (;;) {
          const int wb = static_cast<int>((w >> shift) & 0xFF);
          if (wb == b) break;
          const uint32_t at = next[wb]++;
          std::swap(w, k[at]);
          std::swap(v, p[at]);
        }
        k[next[b]] = w;
        p[next[b]] = v;
        ++next[b];
      }
    }
    for (int b = 0; b < 256; ++b) {
      const int64_t from = count[b], m = int64_t{count[b + 1]} - from;
      if (m < 2) continue;
      if (byte == 7) deeper(p + from, k + from, m, d, false, false);
      else if (m >= kByteStepLeast) byte_steps(p + from, k + from, m, d, byte + 1, false);
      else cached(p + from, k + from, m, d, false);
    }
  }

  // Multikey quicksort of a group whose words at depth d are cached in k.
  // `whole` tells that the group came unsplit from the level above.
  void cached(int32_t* p, uint64_t* k, int64_t n, int d, bool whole) {
    for (;;) {
      if (n < 2) return;
      if (d >= kBudget) {
        std::sort(p, p + n);
        return;
      }
      if (n >= kByteStepLeast) {
        byte_steps(p, k, n, d, 0, whole);
        return;
      }
      if (n < kSmall) {
        insertion_cached(p, k, n, d);
        return;
      }
      const uint64_t pivot = median3(k[0], k[n / 2], k[n - 1]);
      int64_t lt = 0, i = 0, gt = n;
      while (i < gt) {
        const uint64_t v = k[i];
        if (v < pivot) {
          std::swap(k[i], k[lt]);
          std::swap(p[i], p[lt]);
          ++lt;
          ++i;
        } else if (v > pivot) {
          --gt;
          std::swap(k[i], k[gt]);
          std::swap(p[i], p[gt]);
        } else {
          ++i;
        }
      }
      if (lt > 0) cached(p, k, lt, d, false);
      if (gt < n) cached(p + gt, k + gt, n - gt, d, false);
      // The equal part continues eight characters deeper, or, when the
      // level split nothing twice running, from where its members stop
      // agreeing.
      const bool unsplit = lt == 0 && gt == n;
      p += lt;
      k += lt;
      n = gt - lt;
      d += 8;
      if (d >= kBudget || n < 2) continue;
      if (unsplit && whole) {
        d = agreed_depth(p, n, d);
        if (d >= kBudget) continue;
      }
      whole = unsplit;
      load_keys(p, k, n, d);
    }
  }

  // A group too large for the cache: partitions with words read from the
  // text, until the parts fit.
  void large(int32_t* p, int64_t n, int d) {
    for (;;) {
      if (n <= kCacheEntries || d >= kBudget) {
        if (n < 2) return;
        if (d >= kBudget) {
          std::sort(p, p + n);
          return;
        }
        uint64_t* k = keys_for(n);
        load_keys(p, k, n, d);
        cached(p, k, n, d, false);
        return;
      }
      const uint64_t pivot = median3(key_at(text + p[0], d), key_at(text + p[n / 2], d),
                                     key_at(text + p[n - 1], d));
      int64_t lt = 0, i = 0, gt = n;
      while (i < gt) {
        if (i + 16 < gt) __builtin_prefetch(text + p[i + 16] + d);
        const uint64_t v = key_at(text + p[i], d);
        if (v < pivot) {
          std::swap(p[i], p[lt]);
          ++lt;
          ++i;
        } else if (v > pivot) {
          --gt;
          std::swap(p[i], p[gt]);
        } else {
          ++i;
        }
      }
      if (lt > 0) large(p, lt, d);
      if (gt < n) large(p + gt, n - gt, d);
      const bool unsplit = lt == 0 && gt == n;
      p += lt;
      n = gt - lt;
      d += 8;
      if (unsplit && d < kBudget && n > 1) d = agreed_depth(p, n, d);
    }
  }

  // Radix step on the first two characters, then each bucket from depth
  // 2. With room for a copy of the points (spare, n slots), the step is
  // split over the threads (one part on one thread): each counts the keys
  // of its part of the points, then moves them to their buckets' places in
  // the copy, which is copied back; the points are read in text order, so
  // the text is read sequentially. Without, it runs in place (American
  // flag sort).
  void top(int32_t* p, int64_t n, int32_t* spare = nullptr) {
    if (n <= kCacheEntries) {
      large(p, n, 0);
      return;
    }
    const unsigned char* t = text;
    const auto key = [t](int32_t v) { return t[v] << 8 | t[v + 1]; };
    std::vector<uint32_t> start(65537, 0);
    const int parts = spare != nullptr ? work_parts(n, kRadixLeast) : 1;
    if (spare != nullptr) {
      std::vector<std::vector<uint32_t>> at(static_cast<size_t>(parts));
      split_work(n, kRadixLeast, [&](int part, int64_t from, int64_t to) {
        std::vector<uint32_t>& count = at[static_cast<size_t>(part)];
        count.assign(65536, 0);
        for (int64_t i = from; i < to; ++i) {
          if (i + 16 < to) __builtin_prefetch(t + p[i + 16]);
          ++count[key(p[i])];
        }
      });
      uint32_t total = 0;
      for (int b = 0; b < 65536; ++b) {
        start[b] = total;
        for (std::vector<uint32_t>& count : at) {
          const uint32_t c = count[b];
          count[b] = total;
          total += c;
        }
      }
      start[65536] = total;
      split_work(n, kRadixLeast, [&](int part, int64_t from, int64_t to) {
        std::vector<uint32_t>& next = at[static_cast<size_t>(part)];
        for (int64_t i = from; i < to; ++i) {
          if (i + 16 < to) __builtin_prefetch(t + p[i + 16]);
          spare[next[key(p[i])]++] = p[i];
        }
      });
      split_work(n, kRadixLeast, [&](int, int64_t from, int64_t to) {
        std::memcpy(p + from, spare + from, static_cast<size_t>(to - from) * 4);
      });
    } else if (sort_threads() > 1) {
      // In place, by the first character on this thread (256 buckets keep
      // its moves within few cache lines), then each of those buckets by
      // the second on the threads: the same buckets as one step by both.
      std::vector<uint32_t> first;
      byte_step(p, n, [t](int32_t v) { return static_cast<int>(t[v]); }, first);
      for (size_t b = 0; b < 256; ++b) std::fill_n(start.begin() + static_cast<std::ptrdiff_t>(b * 256), 256, first[b]);
      start[65536] = static_cast<uint32_t>(n);
      for_each_bucket(first, [p, t, &first, &start](int64_t from, int64_t m, Sorter&) {
        const size_t b = static_cast<size_t>(
            std::upper_bound(first.begin(), first.end(), static_cast<uint32_t>(from)) - first.begin() - 1);
        std::vector<uint32_t> second;
        byte_step(p + from, m, [t](int32_t v) { return static_cast<int>(t[v + 1]); }, second);
        for (size_t c = 0; c < 256; ++c) start[b * 256 + c] = static_cast<uint32_t>(from) + second[c];
      });
    } else {
      radix_step(p, n, key, 65536, start);
    }
    for_each_bucket(start, [p](int64_t from, int64_t m, Sorter& self) { self.large(p + from, m, 2); });
  }

  // Runs work(from, size, sorter) for every bucket of two or more points,
  // on up to sort_threads() threads, each with a sorter of its own.
  template <class Work>
  void for_each_bucket(const std::vector<uint32_t>& start, Work work) {
    std::vector<int> order;
    const int buckets = static_cast<int>(start.size()) - 1;
    for (int b = 0; b < buckets; ++b)
      if (start[b + 1] - start[b] > 1) order.push_back(b);
    // Largest buckets first, so that the threads end together.
    std::stable_sort(order.begin(), order.end(), [&start](int x, int y) {
      return start[x + 1] - start[x] > start[y + 1] - start[y];
    });
    std::atomic<size_t> next{0};
    auto worker = [&](Sorter& self) {
      for (size_t i; (i = next.fetch_add(1)) < order.size();) {
        const int b = order[i];
        work(int64_t{start[b]}, int64_t{start[b + 1]} - start[b], self);
      }
    };
    run_threads(text, worker, *this);
  }
};

// Runs worker(sorter) as split_work's parts, one per thread: the first
// with `own`, each other with a sorter of its own (the worker takes work
// until none is left, so a part run after another finds what is left).
template <class Worker>
void run_threads(const unsigned char* text, Worker& worker, Sorter& own) {
  const int threads = sort_threads();
  std::vector<Sorter> sorters(static_cast<size_t>(threads - 1), Sorter{text});
  split_work(threads, 1, [&](int part, int64_t, int64_t) {
    worker(part == 0 ? own : sorters[static_cast<size_t>(part) - 1]);
  });
  for (Sorter& s : sorters) s.release();
}

// ---------------------------------------------------------------------------
// Grouping identical windows

constexpr int64_t kWindow = SUFFIX_BUDGET;
constexpr uint64_t kRoll = WINDOW_ROLL;   // odd multiplier of the rolling hash
constexpr size_t kSampleSlots = 1 << 16;  // fingerprints sampled before grouping
constexpr int64_t kLeast = 64 * 1024;     // points per thread at least

GroupingReport grouping_report;

// A group: its members are members[start, start + size), in offset order;
// the first is its representative.
struct Group {
  int32_t representative;
  uint32_t start, size;
};

// Sorts (fingerprint << 32 | offset) words: radix steps on the top two
// bytes, the second within each bucket of the first on the threads, then
// each smaller bucket on its own.
void sort_words(uint64_t* w, int64_t n, Sorter& sorter) {
  std::vector<uint32_t> start;
  byte_step(w, n, [](uint64_t v) { return static_cast<int>(v >> 56); }, start);
  sorter.for_each_bucket(start, [w](int64_t from, int64_t m, Sorter&) {
    std::vector<uint32_t> inner;
    byte_step(w + from, m, [](uint64_t v) { return static_cast<int>((v >> 48) & 0xFF); }, inner);
    for (int b = 0; b < 256; ++b)
      if (inner[b + 1] - inner[b] > 1) std::sort(w + from + inner[b], w + from + inner[b + 1]);
  });
}

// The fingerprints with their low 6 bits 0 sample about one group in 64,
// whole: their distinct share estimates the share of groups. Too few
// repeats for the grouping to pay when more than half of them are distinct
// (a small sample decides nothing).
struct RepeatSample {
  std::vector<uint32_t> seen = std::vector<uint32_t>(kSampleSlots, 0);
  int64_t sampled = 0, distinct = 0;

  bool full() const { return 2 * distinct >= static_cast<int64_t>(kSampleSlots); }
  void add(uint64_t f) {
    if ((f & 63) != 0) return;
    ++sampled;
    const uint32_t key = static_cast<uint32_t>(f) | 1u;  // never 0
    for (size_t slot = (f >> 6) % kSampleSlots;; slot = (slot + 1) % kSampleSlots) {
      if (seen[slot] == key) return;
      if (seen[slot] == 0) {
        seen[slot] = key;
        ++distinct;
        return;
      }
    }
  }
  bool too_few_repeats() const { return sampled >= 256 && 2 * distinct > sampled; }
};

// A first look at the windows of the first eighth of the points (in text
// order): when they repeat too little, the whole is not looked at, which
// would cost a sweep over all of the text and a copy of the points into
// fresh memory. Repeated files and markup repeat within any such stretch.
bool stretch_repeats(const unsigned char* text, const int32_t* points, int64_t whole) {
  const int64_t m = std::min(whole, std::max<int64_t>(64 * 1024, whole / 8));
  uint64_t top = 1;  // kRoll ^ (kWindow - 1)
  for (int64_t k = 1; k < kWindow; ++k) top *= kRoll;
  RepeatSample sample;
  int64_t at = points[0];
  uint64_t h = 0;
  for (int64_t k = 0; k < kWindow; ++k) h = h * kRoll + text[at + k];
  for (int64_t i = 0; i < m && !sample.full(); ++i) {
    for (const int64_t o = points[i]; at < o; ++at) h = (h - text[at] * top) * kRoll + text[at + kWindow];
    sample.add(window_mix(h) >> 32);
  }
  return !sample.too_few_repeats();
}

// Sorts the points of a pass by grouping identical windows first. False,
// with the points unchanged as a set, when the pass leaves too little room
// or the text repeats too little for it to pay.
bool sort_grouped(Sorter& sorter, int32_t* points, int64_t n, const SortSpace& space) {
  const unsigned char* text = sorter.text;
  if (n < 4096 || 2 * n > space.point_capacity ||
      reinterpret_cast<uintptr_t>(points) % alignof(uint64_t) != 0)
    return false;
  for (int64_t i = 1; i < n; ++i)
    if (points[i] <= points[i - 1]) return false;
  // Points whose window reaches the end of the text (the last few hundred)
  // stay alone; the others get fingerprints.
  int64_t whole = n;
  while (whole > 0 && points[whole - 1] + kWindow > space.text_end) --whole;
  if (whole < 2 || !stretch_repeats(text, points, whole)) return false;

  // The points move to the upper half; the words are written from the
  // bottom, each over points already read.
  int32_t* moved = points + n;
  std::memmove(moved, points, static_cast<size_t>(n) * 4);
  auto* words = reinterpret_cast<uint64_t*>(points);
  uint64_t top = 1;  // kRoll ^ (kWindow - 1)
  for (int64_t k = 1; k < kWindow; ++k) top *= kRoll;
  // Fingerprints of moved[from, to) into words[from, to), rolled from the
  // first window's.
  const auto sweep = [&](int64_t from, int64_t to) {
    int64_t at = moved[from];
    uint64_t h = 0;
    for (int64_t k = 0; k < kWindow; ++k) h = h * kRoll + text[at + k];
    for (int64_t i = from; i < to; ++i) {
      const int64_t o = moved[i];
      for (; at < o; ++at) h = (h - text[at] * top) * kRoll + text[at + kWindow];
      words[i] = (window_mix(h) >> 32) << 32 | static_cast<uint32_t>(o);
    }
  };
  // On the threads in waves: words[i] lies over moved[2i - n] and the next,
  // so a wave from a that ends by (n + a) / 2 writes over no point a wave
  // still reads. The last short stretch is one sweep.
  for (int64_t a = 0; a < whole;) {
    const int64_t b = (n - a) / 2 < kLeast ? whole : std::min(whole, (n + a) / 2);
    split_work(b - a, kLeast, [&](int, int64_t from, int64_t to) { sweep(a + from, a + to); });
    a = b;
  }
  RepeatSample sample;
  for (int64_t i = 0; i < whole && !sample.full(); ++i) sample.add(words[i] >> 32);
  // The points that stay alone are kept above the words.
  int32_t* alone = points + 2 * whole;
  std::memmove(alone, moved + whole, static_cast<size_t>(n - whole) * 4);

  // Back to offsets at the bottom: those of the words in their order, then
  // the points alone (each word is read before its slots are written).
  const auto compact = [&] {
    for (int64_t k = 0; k < whole; ++k) points[k] = static_cast<int32_t>(words[k] & 0xFFFFFFFFu);
    std::memmove(points + whole, alone, static_cast<size_t>(n - whole) * 4);
  };

  if (sample.too_few_repeats()) {
    // Too few repeats for the grouping to pay (a small sample decides
    // nothing: the exact count below does).
    compact();
    return false;
  }
  sort_words(words, whole, sorter);
  int64_t runs = 0;
  for (int64_t i = 0; i < whole; ++i)
    if (i == 0 || (words[i] >> 32) != (words[i - 1] >> 32)) ++runs;
  // Groups and representatives live above the points and the members.
  const int64_t groups_most = runs + (whole - runs) / 4 + (n - whole);
  const int64_t need = groups_most * static_cast<int64_t>(sizeof(Group) + 4) + 16;
  unsigned char* room = nullptr;
  if (need <= (space.point_capacity - 2 * n) * 4) room = reinterpret_cast<unsigned char*>(points + 2 * n);
  else if (need <= space.scratch_bytes) room = space.scratch;
  if (runs > whole / 2 || room == nullptr) {
    compact();
    return false;
  }
  room += (alignof(Group) - reinterpret_cast<uintptr_t>(room) % alignof(Group)) % alignof(Group);
  auto* groups = reinterpret_cast<Group*>(room);
  // Runs of one fingerprint: a group when every window is the first one's,
  // else (a collision) each member alone, as long as there is room. The
  // words are cut into parts at run starts, one per thread; each part
  // writes its groups into a share of the room as large as its runs and a
  // quarter of its other words, and the shares are then joined.
  const auto fingerprint = [words](int64_t i) { return words[i] >> 32; };
  const int parts = work_parts(whole, kLeast);
  std::vector<int64_t> cut(static_cast<size_t>(parts) + 1, whole);
  std::vector<int64_t> share(static_cast<size_t>(parts) + 1, 0), made(static_cast<size_t>(parts), 0);
  std::vector<int64_t> collided(static_cast<size_t>(parts), 0);
  for (int part = 0; part < parts; ++part) {
    int64_t c = std::max(whole * part / parts, part > 0 ? cut[static_cast<size_t>(part) - 1] : 0);
    while (c > 0 && c < whole && fingerprint(c) == fingerprint(c - 1)) ++c;
    cut[static_cast<size_t>(part)] = c;
  }
  split_work(parts, 1, [&](int, int64_t from, int64_t to) {
    for (int64_t part = from; part < to; ++part) {
      int64_t part_runs = 0;
      for (int64_t i = cut[static_cast<size_t>(part)]; i < cut[static_cast<size_t>(part) + 1]; ++i)
        if (i == 0 || fingerprint(i) != fingerprint(i - 1)) ++part_runs;
      const int64_t size = cut[static_cast<size_t>(part) + 1] - cut[static_cast<size_t>(part)];
      share[static_cast<size_t>(part) + 1] = part_runs + (size - part_runs) / 4;
    }
  });
  for (int part = 0; part < parts; ++part) share[static_cast<size_t>(part) + 1] += share[static_cast<size_t>(part)];
  std::atomic<bool> no_room{false};
  split_work(parts, 1, [&](int, int64_t from, int64_t to) {
    for (int64_t part = from; part < to; ++part) {
      Group* mine = groups + share[static_cast<size_t>(part)];
      const int64_t most = share[static_cast<size_t>(part) + 1] - share[static_cast<size_t>(part)];
      int64_t count = 0;
      for (int64_t a = cut[static_cast<size_t>(part)]; a < cut[static_cast<size_t>(part) + 1];) {
        int64_t b = a + 1;
        while (b < whole && fingerprint(b) == fingerprint(a)) ++b;
        const unsigned char* first = text + (words[a] & 0xFFFFFFFFu);
        bool same = true;
        for (int64_t i = a + 1; i < b && same; ++i)
          same = std::memcmp(first, text + (words[i] & 0xFFFFFFFFu), kWindow) == 0;
        if (same) {
          mine[count++] = Group{static_cast<int32_t>(words[a] & 0xFFFFFFFFu),
                                static_cast<uint32_t>(a), static_cast<uint32_t>(b - a)};
        } else if (count + (b - a) > most) {
          no_room = true;
          return;
        } else {
          ++collided[static_cast<size_t>(part)];
          for (int64_t i = a; i < b; ++i)
            mine[count++] = Group{static_cast<int32_t>(words[i] & 0xFFFFFFFFu),
                                  static_cast<uint32_t>(i), 1};
        }
        a = b;
      }
      made[static_cast<size_t>(part)] = count;
    }
  });
  if (no_room) {
    compact();
    return false;
  }
  int64_t group_count = 0;
  for (int part = 0; part < parts; ++part) {
    std::memmove(groups + group_count, groups + share[static_cast<size_t>(part)],
                 static_cast<size_t>(made[static_cast<size_t>(part)]) * sizeof(Group));
    group_count += made[static_cast<size_t>(part)];
    grouping_report.collisions += collided[static_cast<size_t>(part)];
  }
  compact();
  grouping_report.grouped = true;
  grouping_report.groups = group_count + (n - whole);
  for (int64_t i = whole; i < n; ++i)
    groups[group_count++] = Group{points[i], static_cast<uint32_t>(i), 1};
  int32_t* members = points + n;
  std::memmove(members, points, static_cast<size_t>(n) * 4);

  // The representatives in suffix order, then each group in its place.
  auto* reps = reinterpret_cast<int32_t*>(groups + group_count);
  for (int64_t g = 0; g < group_count; ++g) reps[g] = groups[g].representative;
  sorter.top(reps, group_count);
  std::sort(groups, groups + group_count,
            [](const Group& x, const Group& y) { return x.representative < y.representative; });
  int64_t out = 0;
  for (int64_t r = 0; r < group_count; ++r) {
    const Group* g = std::lower_bound(
        groups, groups + group_count, reps[r],
        [](const Group& x, int32_t o) { return x.representative < o; });
    std::memcpy(points + out, members + g->start, static_cast<size_t>(g->size) * 4);
    out += g->size;
  }
  return true;
}

}  // namespace

GroupingReport last_grouping() { return grouping_report; }

void SortPass(const unsigned char* buffer, int32_t* points, int64_t first, int64_t last,
              const SortSpace* space) {
  const int64_t n = last - first + 1;
  int32_t* offsets = points + first;
  grouping_report = GroupingReport{};
  if (n < 2) return;
  Sorter s{buffer};
  if (space != nullptr && first == 0 && sort_grouped(s, offsets, n, *space)) {
    s.release();
    return;
  }
  // Room for a copy of the points: the point array above them, or the
  // text buffer past the text.
  int32_t* spare = nullptr;
  if (space != nullptr && first == 0) {
    if (space->point_capacity >= 2 * n) {
      spare = offsets + n;
    } else if (space->scratch_bytes >= 4 * n + 4) {
      const auto at = reinterpret_cast<uintptr_t>(space->scratch);
      spare = reinterpret_cast<int32_t*>(space->scratch + (4 - at % 4) % 4);
    }
  }
  s.top(offsets, n, spare);
  s.release();
}

}  // namespace phases
