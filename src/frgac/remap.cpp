// Remapping logical addresses to physical ones through table A: whole in
// memory (remap mode 2) or paged block by block through its block index
// (remap mode 1).
#include <algorithm>
#include <climits>

#include "frgac/frgac.h"
#include "frgac/internal.h"
#include "msg/msg.h"

namespace {

// Index of the last element whose value is at most a; -1 when none.
template <typename T, typename Key>
long last_at_most(const T* items, size_t count, int64_t a, Key key) {
  size_t lo = 0, hi = count;  // first element above a, searched in [lo, hi)
  while (lo < hi) {
    size_t mid = lo + (hi - lo) / 2;
    if (key(items[mid]) <= a)
      lo = mid + 1;
    else
      hi = mid;
  }
  return static_cast<long>(lo) - 1;
}

int32_t pair_position(const FrgacPair& p) { return p.position; }
int32_t same(const int32_t& v) { return v; }

// Loads block b of table A into t->table_a. Every block holds the pairs per
// block except the last, which holds what is left of word 3 (the closing
// pair included, so nothing past the table is read). The block must start
// where its index entry says and be sorted.
bool load_block_a(FrgacText* t, int32_t b) {
  const int32_t* h = t->header;
  int64_t per_block = h[FRG_PAIRS_PER_BLOCK];
  int64_t first = b * per_block;
  int64_t count = std::min<int64_t>(per_block, h[FRG_PAIRS_A] - first);
  t->current_block_a = -1;
  std::vector<int32_t> words(2 * count);
  if (!frgac_read_words(t, h[FRG_OFFSET_A] + 8 * first, words.size(), words.data())) return false;
  t->table_a.resize(count);
  for (int64_t i = 0; i < count; ++i) t->table_a[i] = {words[2 * i], words[2 * i + 1]};
  std::string path = frgac_directory_path(t);
  if (t->table_a[0].position != t->block_index_a[b]) {
    vq_report(15, GetMsgNumText(FRGAC_MSG_BLOCK_START), "frgacma", path.c_str(),
              static_cast<long>(b), static_cast<long>(t->table_a[0].position),
              static_cast<long>(t->block_index_a[b]));
    return false;
  }
  for (int64_t i = 1; i < count; ++i) {
    if (t->table_a[i].position < t->table_a[i - 1].position) {
      vq_report(15, GetMsgNumText(FRGAC_MSG_ORDER), "frgacma", path.c_str(), "A",
                static_cast<long>(first + i));
      return false;
    }
  }
  t->current_block_a = b;
  return true;
}

}  // namespace

bool frgac_find_pair(FrgacText* t, int64_t a, FrgacPair* pair, int64_t* end) {
  if (t->remap_mode == FRGAC_REMAP_WHOLE) {
    long i = last_at_most(t->table_a.data(), t->table_a.size(), a, pair_position);
    if (i < 0) return false;  // not reached: the open checked the first pair
    *pair = t->table_a[i];
    *end = static_cast<size_t>(i) + 1 < t->table_a.size() ? t->table_a[i + 1].position
                                                            : INT64_MAX;
    return true;
  }
  long b = last_at_most(t->block_index_a.data(), t->block_index_a.size(), a, same);
  if (b < 0) return false;
  if (b != t->current_block_a && !load_block_a(t, static_cast<int32_t>(b))) return false;
  long i = last_at_most(t->table_a.data(), t->table_a.size(), a, pair_position);
  if (i < 0) return false;
  *pair = t->table_a[i];
  if (static_cast<size_t>(i) + 1 < t->table_a.size())
    *end = t->table_a[i + 1].position;
  else if (static_cast<size_t>(b) + 1 < t->block_index_a.size())
    *end = t->block_index_a[b + 1];
  else
    *end = INT64_MAX;
  return true;
}

long frgacma(FrgacText* t, int32_t* addresses, long count) {
  long unmapped = 0;
  bool have_table = t->header[FRG_FLAGS] & FRG_TABLE_A;
  int64_t limit = int64_t{t->header[FRG_LOGICAL_LENGTH]} + 1;
  for (long k = 0; k < count; ++k) {
    int64_t a = addresses[k];
    FrgacPair pair;
    int64_t end;
    // The range is tested before any search: an address outside 1 to L + 1
    // has no pair.
    if (have_table && a >= 1 && a <= limit && frgac_find_pair(t, a, &pair, &end)) {
      int64_t p = a + pair.delta;
      if (p >= 0 && p < FRGAC_UNMAPPED) {
        addresses[k] = static_cast<int32_t>(p);
        continue;
      }
    }
    addresses[k] = FRGAC_UNMAPPED;
    ++unmapped;
  }
  return unmapped;
}
