// Growable integer lists and the bisection over them.
#include <cstdlib>

#include "msg/msg.h"
#include "pitst/pitst.h"

namespace {

constexpr int32_t kFirstCapacity = 5;
constexpr int32_t kLastTableCapacity = 17490433;
constexpr int32_t kGrowthBeyondTable = 1048575;

// Allocates or reallocates a buffer of capacity + 1 words (the sentinel).
int32_t* resize_buffer(int32_t* buffer, int64_t capacity, const char* file, int line) {
  const int64_t bytes = (capacity + 1) * static_cast<int64_t>(sizeof(int32_t));
  if (bytes < 1 || bytes > INT32_MAX) {
    vq_report(14,
              buffer == nullptr
                  ? "An attempt to allocate less than 1 byte was made at line %d of file %s.\n"
                  : "An attempt was made to reallocate less than 1 byte at line %d of file %s.\n",
              line, file);
    return nullptr;
  }
  void* p = std::realloc(buffer, static_cast<size_t>(bytes));
  if (p == nullptr) {
    vq_report(14,
              buffer == nullptr ? "Memory allocation failed at line %d of file %s.\n"
                                : "Memory reallocation failed at line %d of file %s.\n",
              line, file);
    return nullptr;
  }
  return static_cast<int32_t*>(p);
}

IntList* make_list(int32_t capacity, const char* file, int line) {
  auto* list = static_cast<IntList*>(std::calloc(1, sizeof(IntList)));
  if (list == nullptr) {
    vq_report(14, "Memory allocation failed at line %d of file %s.\n", line, file);
    return nullptr;
  }
  list->buffer = resize_buffer(nullptr, capacity, file, line);
  if (list->buffer == nullptr) {
    std::free(list);
    return nullptr;
  }
  list->capacity = capacity;
  list->buffer[0] = -1;
  return list;
}

bool grow_to(IntList* list, int64_t capacity, const char* file, int line) {
  int32_t* buffer = resize_buffer(list->buffer, capacity, file, line);
  if (buffer == nullptr) return false;
  list->buffer = buffer;
  list->capacity = static_cast<int32_t>(capacity);
  return true;
}

}  // namespace

int32_t intlist_next_capacity(int32_t capacity) {
  if (capacity >= kLastTableCapacity) return capacity + kGrowthBeyondTable;
  // 5, 7, 9, then each entry is the one two back plus the one three back
  // plus one (13 = 7 + 5 + 1).
  int32_t three_back = 5, two_back = 7, last = 9;
  if (capacity < three_back) return three_back;
  if (capacity < two_back) return two_back;
  if (capacity < last) return last;
  for (;;) {
    const int32_t next = two_back + three_back + 1;
    if (capacity < next) return next;
    three_back = two_back;
    two_back = last;
    last = next;
  }
}

IntList* intlist_append(IntList* list, int32_t value, const char* file, int line) {
  if (list == nullptr) {
    list = make_list(kFirstCapacity, file, line);
    if (list == nullptr) return nullptr;
  }
  if (list->length >= list->capacity &&
      !grow_to(list, intlist_next_capacity(list->capacity), file, line)) {
    return list;
  }
  list->buffer[++list->length] = value;
  return list;
}

IntList* intlist_reserve(IntList* list, int32_t extra, const char* file, int line) {
  if (list == nullptr) return make_list(extra > 0 ? extra : kFirstCapacity, file, line);
  const int64_t wanted = static_cast<int64_t>(list->length) + extra;
  if (wanted > list->capacity) grow_to(list, wanted, file, line);
  return list;
}

void intlist_free(IntList* list) {
  if (list == nullptr) return;
  std::free(list->buffer);
  std::free(list);
}

int32_t addbsearch(int32_t key, const int32_t* array, int32_t low, int32_t high, int flags) {
  auto value = [&](int32_t m) { return (flags & BSEARCH_PAIRS) ? array[2 * m - 1] : array[m]; };
  // Invariant: every index below lo has a value not above key, every index
  // above hi one above it.
  int32_t lo = low, hi = high;
  while (lo <= hi) {
    const int32_t m = lo + (hi - lo) / 2;
    if (value(m) <= key) lo = m + 1;
    else hi = m - 1;
  }
  return lo - 1;
}
