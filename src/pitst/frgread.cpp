// Reads of fragmented texts by logical address, and physical positions
// turned into logical addresses through the physical fragment table.
#include <climits>
#include <vector>

#include "msg/msg.h"
#include "pitas/pitas.h"
#include "pitst/pitst.h"

namespace bldgi {

namespace {

// Table B paged block by block (remap mode 1) or held whole (mode 2).
struct PhysicalTable {
  FrgacText* t;
  std::vector<FrgacPair> block;
  int32_t block_number = -1;

  int32_t pairs() const { return t->header[FRG_PAIRS_B]; }
  int32_t per_block() const { return t->header[FRG_PAIRS_PER_BLOCK]; }

  // Pairs of block k loaded (mode 1); false after a report.
  bool load(int32_t k) {
    if (k == block_number) return true;
    const int64_t first = static_cast<int64_t>(k) * per_block();
    const int64_t n = std::min<int64_t>(per_block(), pairs() - first);
    std::vector<unsigned char> bytes(static_cast<size_t>(n) * 8);
    const long offset = static_cast<long>(t->header[FRG_OFFSET_B] + first * 8);
    if (frgacsr(t->fd, offset, static_cast<long>(bytes.size()), bytes.data()) !=
        static_cast<long>(bytes.size())) {
      vq_report(15, "frgacnf: read error.");
      return false;
    }
    block.resize(static_cast<size_t>(n));
    for (int64_t i = 0; i < n; ++i) {
      uint32_t position = load_word32(&bytes[static_cast<size_t>(i) * 8]);
      uint32_t delta = load_word32(&bytes[static_cast<size_t>(i) * 8 + 4]);
      if (t->swapped) position = swap_word32(position), delta = swap_word32(delta);
      block[static_cast<size_t>(i)] = {static_cast<int32_t>(position), static_cast<int32_t>(delta)};
    }
    block_number = k;
    return true;
  }

  // The pairs that may hold position p: the whole table, or p's block.
  const std::vector<FrgacPair>* pairs_for(int32_t p) {
    if (t->remap_mode == FRGAC_REMAP_WHOLE) return &t->table_b;
    const std::vector<int32_t>& index = t->block_index_b;
    int32_t lo = 0, hi = static_cast<int32_t>(index.size()) - 1, k = -1;
    while (lo <= hi) {
      const int32_t m = lo + (hi - lo) / 2;
      if (index[static_cast<size_t>(m)] <= p) k = m, lo = m + 1;
      else hi = m - 1;
    }
    if (k < 0 || !load(k)) return nullptr;
    return &block;
  }
};

}  // namespace

long frgac_get_logical_addresses(FrgacText* file, int32_t* positions, long count) {
  if ((file->header[FRG_FLAGS] & FRG_TABLE_B) == 0 || file->header[FRG_PAIRS_B] <= 0) {
    // Without a physical table no stored position can be converted.
    for (long i = 0; i < count; ++i) positions[i] = INT_MAX;
    return count;
  }
  PhysicalTable table{file, {}, -1};
  const int32_t physical_length = file->header[FRG_PHYSICAL_LENGTH];
  long failed = 0;
  for (long i = 0; i < count; ++i) {
    const int32_t p = positions[i];
    const std::vector<FrgacPair>* pairs = p <= physical_length ? table.pairs_for(p) : nullptr;
    const FrgacPair* found = nullptr;
    if (pairs != nullptr) {
      size_t lo = 0, hi = pairs->size();
      while (lo < hi) {
        const size_t m = lo + (hi - lo) / 2;
        if ((*pairs)[m].position <= p) lo = m + 1;
        else hi = m;
      }
      if (lo > 0) found = &(*pairs)[lo - 1];
    }
    if (found == nullptr || found->delta == INT_MAX) {
      positions[i] = INT_MAX;
      ++failed;
    } else {
      positions[i] = static_cast<int32_t>(static_cast<int64_t>(p) + found->delta);
    }
  }
  return failed;
}

long frgacrd(FrgacText* file, long address, long count, unsigned char* buffer) {
  if (address <= 0) {
    vq_report(15, "frgacrd: Logical address out of range %d.", static_cast<int>(address));
    return 0;
  }
  const long length = file->header[FRG_LOGICAL_LENGTH];
  if (address > length || count <= 0) return 0;
  if (count > length - address + 1) count = length - address + 1;
  frgacsk(file, address);
  for (long i = 0; i < count; ++i) {
    const int c = frgacgc(file);
    if (c < 0) return FRGAC_FAIL;
    buffer[i] = static_cast<unsigned char>(c);
  }
  return count;
}

}  // namespace bldgi
