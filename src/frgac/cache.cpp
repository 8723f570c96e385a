// The process-wide block cache of fragmented texts: 256-byte blocks of
// physical text, 10-way set associative, least recently used replacement.
// A record belongs to one open text by the id that open received, so blocks
// of a closed text, or of another text at the same address, never hit.
#include <algorithm>
#include <climits>
#include <cstring>

#include "frgac/frgac.h"
#include "frgac/internal.h"

namespace {

constexpr int64_t kEmptyStamp = INT64_MAX;  // an empty record is replaced first

struct CacheRecord {
  int64_t block = -1;  // physical address of the block, -1 empty
  int64_t stamp = kEmptyStamp;
  uint64_t owner = 0;
  unsigned char data[FRGAC_CACHE_BLOCK];
};

// All process-wide state of the module.
struct BlockCache {
  std::vector<CacheRecord> records;  // empty until frgacic
  int64_t counter = 0x7fffffff;      // decreases at every use
  uint64_t next_owner = 1;
};

BlockCache cache;

void empty_record(CacheRecord& r) {
  r.block = -1;
  r.stamp = kEmptyStamp;
  r.owner = 0;
}

}  // namespace

void frgacic() {
  if (!cache.records.empty()) return;
  size_t n = (FRGAC_CACHE_BYTES + FRGAC_CACHE_BLOCK / 2) / FRGAC_CACHE_BLOCK;
  cache.records.resize(n);
  cache.counter = 0x7fffffff;
}

void frgac_cache_release() {
  cache.records.clear();
  cache.records.shrink_to_fit();
}

uint64_t frgac_new_owner() { return cache.next_owner++; }

void frgac_cache_forget(uint64_t owner) {
  for (CacheRecord& r : cache.records)
    if (r.owner == owner) empty_record(r);
}

long frgacrc(FrgacText* t, long count, long p, unsigned char* destination, long* copied,
             int load) {
  *copied = 0;
  if (cache.records.empty() || p < 0) {
    if (!load) return 0;
    long got = frgacrf(t, p, count, destination);
    if (got == FRGAC_FAIL) return FRGAC_FAIL;
    return *copied = got;
  }
  int64_t block = p - p % FRGAC_CACHE_BLOCK;
  int64_t into = p - block;
  size_t sets = cache.records.size() - (FRGAC_CACHE_WAYS - 1);
  size_t s = static_cast<size_t>(p / FRGAC_CACHE_BLOCK) % sets;
  long available = static_cast<long>(std::min<int64_t>(FRGAC_CACHE_BLOCK - into, count));
  if (available < 0) available = 0;
  CacheRecord* victim = &cache.records[s];
  for (size_t i = s; i < s + FRGAC_CACHE_WAYS; ++i) {
    CacheRecord& r = cache.records[i];
    if (r.block == block && r.owner == t->owner) {
      // A block read at the physical end holds blank padding: copy text only.
      long n = static_cast<long>(std::clamp<int64_t>(
          std::min<int64_t>(available, t->header[FRG_PHYSICAL_LENGTH] - p), 0, available));
      r.stamp = cache.counter--;
      std::memcpy(destination, r.data + into, n);
      return *copied = n;
    }
    if (r.stamp > victim->stamp) victim = &r;
  }
  if (!load) return 0;
  long got = frgacrf(t, static_cast<long>(block), FRGAC_CACHE_BLOCK, victim->data);
  if (got == FRGAC_FAIL) {
    empty_record(*victim);
    return FRGAC_FAIL;
  }
  // got counts bytes from the block's start; only those from p on are text.
  long n = static_cast<long>(std::clamp<int64_t>(got - into, 0, available));
  std::memcpy(destination, victim->data + into, n);
  victim->block = block;
  victim->stamp = cache.counter--;
  victim->owner = t->owner;
  return *copied = n;
}
