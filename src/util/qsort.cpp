// Three in-place quicksorts over an inclusive range. They share one
// partition scheme whose pivot is whatever record stands at position lo at
// each step (after the first swap that is the record moved there), which
// fixes the order of equal keys. The second half is sorted by looping instead
// of recursing, which bounds the recursion depth on sorted input without
// changing any step.
#include <cstring>
#include <utility>

#include "util/util.h"

namespace {

template <typename Record, typename Less>
void quicksort(Record* a, int lo, int hi, Less less) {
  while (lo < hi) {
    int i = lo;
    int j = hi;
    for (;;) {
      while (less(a[i], a[lo]) && i < hi) ++i;
      while (less(a[lo], a[j]) && j > lo) --j;
      if (i > j) break;
      std::swap(a[i], a[j]);
      ++i;
      --j;
      if (i > j) break;
    }
    if (lo < j) quicksort(a, lo, j, less);
    lo = i;
  }
}

}  // namespace

void qsort_by_string(SortStrPair* pairs, int lo, int hi) {
  quicksort(pairs, lo, hi,
            [](const SortStrPair& x, const SortStrPair& y) { return strcmp(x.string, y.string) < 0; });
}

void qsort_by_int(SortIntPair* pairs, int lo, int hi) {
  quicksort(pairs, lo, hi, [](const SortIntPair& x, const SortIntPair& y) { return x.key < y.key; });
}

void qsort_by_double(SortDoubleRec* records, int lo, int hi) {
  quicksort(records, lo, hi,
            [](const SortDoubleRec& x, const SortDoubleRec& y) { return x.key < y.key; });
}
