// Sorting the points of a pass as suffixes of its buffer: ascending by the
// first 400 characters taken as unsigned bytes, equal prefixes in buffer
// order (earlier text first). The order is total, so the result does not
// depend on the method.
//
// Method: a radix step on the first two characters (over the points in
// text order, so its counting pass reads the buffer sequentially), then a
// multikey quicksort that compares eight characters at a time as one
// big-endian word. Groups small enough have their words cached next to
// them, so that a partition touches no text. A group that a whole level
// left unsplit (repetitive text: markup, runs of one character) measures
// how far all its members agree with one of them in one sequential sweep
// and continues from there; a group that agrees for all 400 characters is
// ordered by offset. Extra memory is a fixed scratch (about 1 MB),
// whatever the size of the pass.
#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "builder/phases_internal.h"

namespace phases {

namespace {

constexpr int kBudget = SUFFIX_BUDGET;
constexpr int64_t kCacheEntries = 64 * 1024;  // words cached per group
constexpr int64_t kSmall = 12;                // insertion sort below this

// How many characters from d on two suffixes share (at most up to 400).
inline int common_from(const unsigned char* a, const unsigned char* b, int d) {
  for (; d < kBudget; d += 8) {
    const uint64_t x = key_at(a, d), y = key_at(b, d);
    if (x != y) return std::min(kBudget, d + (__builtin_clzll(x ^ y) >> 3));
  }
  return kBudget;
}

struct Sorter {
  const unsigned char* text;
  std::vector<uint64_t> keys;

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

  // Multikey quicksort of a group whose words at depth d are cached in k.
  // `whole` tells that the group came unsplit from the level above.
  void cached(int32_t* p, uint64_t* k, int64_t n, int d, bool whole) {
    for (;;) {
      if (n < 2) return;
      if (d >= kBudget) {
        std::sort(p, p + n);
        return;
      }
      if (n < kSmall) {
        insertion(p, n, d);
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
        load_keys(p, keys.data(), n, d);
        cached(p, keys.data(), n, d, false);
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

  // Radix step on the first two characters (American flag sort), then
  // each bucket from depth 2.
  void top(int32_t* p, int64_t n) {
    if (n <= kCacheEntries) {
      large(p, n, 0);
      return;
    }
    std::vector<uint32_t> start(65537, 0), next(65536);
    for (int64_t i = 0; i < n; ++i) ++start[(text[p[i]] << 8 | text[p[i] + 1]) + 1];
    for (int b = 0; b < 65536; ++b) start[b + 1] += start[b];
    for (int b = 0; b < 65536; ++b) next[b] = start[b];
    for (int b = 0; b < 65536; ++b) {
      while (next[b] < start[b + 1]) {
        int32_t v = p[next[b]];
        for (;;) {
          const int vb = text[v] << 8 | text[v + 1];
          if (vb == b) break;
          std::swap(v, p[next[vb]++]);
        }
        p[next[b]++] = v;
      }
    }
    for (int b = 0; b < 65536; ++b) {
      const int64_t m = int64_t{start[b + 1]} - start[b];
      if (m > 1) large(p + start[b], m, 2);
    }
  }
};

}  // namespace

void SortPass(const unsigned char* buffer, int32_t* points, int64_t first, int64_t last) {
  const int64_t n = last - first + 1;
  int32_t* offsets = points + first;
  if (n < 2) return;
  Sorter s{buffer, std::vector<uint64_t>(static_cast<size_t>(std::min(n, kCacheEntries)))};
  s.top(offsets, n);
}

}  // namespace phases
