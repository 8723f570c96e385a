// The compiled map (".xmp"): where every member starts and where its entry
// lies in the file map.
//
// Layout, all 32-bit words in the writer's byte order:
//   bytes 0-511     data-file header, type 6, major 1, minor 0, extra 0
//   bytes 512-1023  block of 128 words:
//                     0 modification time of the ".fmp" when written (0: unknown)
//                     1 modification time of the ".lmp" (0: unknown)
//                     2 size of the ".fmp" (-1: unknown)
//                     3 size of the ".lmp" (-1: unknown)
//                     4 number of pairs that follow, sentinel included
//                     5-127 zero
//   then            {start, offset} pairs to the end of the file; the last
//                   one is the sentinel {length of the set, size of the ".fmp"}
// A file that is cut short, ends in half a pair, or whose starts or offsets
// go backwards is reported as a changed compiled map (75013).
#include <cstdlib>
#include <cstring>
#include <vector>

#include "mfs/setstate.h"
#include "msg/msg.h"
#include "pitas/pitas.h"

MfsXmapTable* mfs_xmap_new(int32_t capacity, int32_t step) {
  return mfs_table_new<MfsXmapRow>(capacity, step, __LINE__, "mfsxmap");
}

void mfs_xmap_free(MfsXmapTable* table) { delete table; }

namespace {

int damaged(const char* name) {
  vq_report(15, GetMsgNumText(75013), name);
  return 0;
}

// Reads n bytes: true when all of them came.
bool read_exact(VqStream* stream, unsigned char* bytes, size_t n) {
  return vqio_fread(bytes, 1, n, stream) == n;
}

}  // namespace

int mfs_xmap_read(MfsXmapTable* table, VqStream* stream, int32_t* block, size_t block_size,
                  const char* name) {
  unsigned char bytes[PITAS_HEADER_BYTES];
  if (!read_exact(stream, bytes, sizeof bytes)) return damaged(name);
  PitasHeader header;
  pitas_decode(bytes, &header);
  int swapped = 0;
  if (pitasck(&header, &swapped, name) != static_cast<int>(PITAS_TYPE_FILE_MAP)) {
    vq_report(13, GetMsgNumText(60048), name);
    return 0;
  }
  auto word = [swapped](const unsigned char* p) {
    const uint32_t w = load_word32(p);
    return static_cast<int32_t>(swapped ? swap_word32(w) : w);
  };
  unsigned char block_bytes[512];
  if (!read_exact(stream, block_bytes, sizeof block_bytes)) return damaged(name);
  const size_t words = block_size / 4 < 128 ? block_size / 4 : 128;
  for (size_t i = 0; i < words; ++i) block[i] = word(block_bytes + 4 * i);

  unsigned char pair[8];
  size_t got;
  while ((got = vqio_fread(pair, 1, sizeof pair, stream)) == sizeof pair) {
    const MfsXmapRow row{word(pair), word(pair + 4)};
    if (row.start < 0 || row.offset < 0) return damaged(name);
    if (table->count() > 0) {
      const MfsXmapRow& last = table->rows.back();
      if (row.start < last.start || row.offset <= last.offset) return damaged(name);
    }
    table->rows.push_back(row);
  }
  if (got != 0 || vqio_ferror(stream)) return damaged(name);
  return 1;
}

int mfs_xmap_write(const MfsXmapTable* table, VqStream* stream, const int32_t* block,
                   size_t block_size, int32_t version) {
  PitasHeader* header = pitasch(PITAS_TYPE_FILE_MAP, version, 1, 0, 0);
  unsigned char bytes[PITAS_HEADER_BYTES];
  pitas_encode(header, bytes);
  std::free(header);
  if (vqio_fwrite(bytes, 1, sizeof bytes, stream) != sizeof bytes) {
    vq_report(16, GetMsgNumText(90027), "compiled file map");
    return 0;
  }
  int bad = 0;
  for (size_t i = 0; i < 128; ++i)
    bad |= vqio_putw(i < block_size / 4 ? block[i] : 0, stream) == -1;
  for (const MfsXmapRow& row : table->rows) {
    bad |= vqio_putw(row.start, stream) == -1;
    bad |= vqio_putw(row.offset, stream) == -1;
  }
  return bad ? 0 : 1;
}

int32_t mfs_xmap_lookup(const MfsXmapTable* table, int32_t address) {
  const int32_t n = table->count() - 1;  // rows before the sentinel
  if (n < 1 || address < 0 || address >= table->rows[static_cast<size_t>(n)].start) return -1;
  // The last row i < n with start(i) <= address; then address < start(i + 1).
  int32_t lo = 0, hi = n - 1, found = -1;
  while (lo <= hi) {
    const int32_t mid = lo + (hi - lo) / 2;
    if (table->rows[static_cast<size_t>(mid)].start <= address) {
      found = mid;
      lo = mid + 1;
    } else {
      hi = mid - 1;
    }
  }
  return found;
}

int mfs_xmap_span(const MfsXmapTable* table, int32_t address, int32_t* offset, int32_t* last) {
  const int32_t i = mfs_xmap_lookup(table, address);
  if (i < 0) return 0;
  *offset = table->rows[static_cast<size_t>(i)].offset;
  *last = table->rows[static_cast<size_t>(i) + 1].start - 1;
  return 1;
}

int32_t mfs_xmap_find(const MfsXmapTable* table, int32_t start) {
  int32_t lo = 0, hi = table->count() - 1;
  while (lo <= hi) {
    const int32_t mid = lo + (hi - lo) / 2;
    const int32_t at = table->rows[static_cast<size_t>(mid)].start;
    if (at == start) return mid;
    if (at < start) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
    }
  }
  return -1;
}
