// Subsets: an in-memory array, ranges over another subset, the elements of
// a fragmented file or of a plain stream; reading ranges of elements.
#include <algorithm>
#include <cstring>

#include "msg/msg.h"
#include "pitas/pitas.h"
#include "pitst/pitst.h"

Subset* pitstcr(int32_t kind, int32_t order, int32_t count, int32_t* array, void* source,
                int32_t offset, int swap, int scramble) {
  if (order > 2) {
    vq_report(5, "pitstcr: Order = %d invalid.", order);
    return nullptr;
  }
  if (offset != 0 && kind != SUBSET_FRAGMENTED && kind != SUBSET_STREAM) {
    vq_report(5, "pitstcr: Offset and type incompatible.");
    return nullptr;
  }
  if (count < 0) {
    vq_report(5, "pitstcr: Size = %d.", count);
    return nullptr;
  }
  if (kind < 0 || kind > SUBSET_STREAM) {
    vq_report(5, "pitstcr: type = %d invalid.", kind);
    return nullptr;
  }
  auto* s = new Subset;
  s->kind = kind;
  s->order = order;
  s->array = array;
  s->count = count;
  s->offset = offset;
  s->swap = swap;
  s->scramble = scramble;
  if (kind == SUBSET_RANGES) s->base = static_cast<Subset*>(source);
  if (kind == SUBSET_FRAGMENTED) s->fragmented = static_cast<FrgacText*>(source);
  if (kind == SUBSET_STREAM) s->stream = static_cast<VqStream*>(source);
  return s;
}

int pitstas(Subset* subset, int32_t start, int32_t length) {
  if (subset == nullptr || subset->kind != SUBSET_RANGES || length <= 0) {
    vq_report(5, "pitstas: type = %d  length = %d", subset != nullptr ? subset->kind : -1,
              length);
    return 5;
  }
  subset->ranges.push_back({start, length});
  subset->count += length;
  return 0;
}

namespace {

int32_t read_ranges(Subset* s, int32_t start, int32_t count, int32_t* destination) {
  int32_t done = 0;
  int32_t skip = start;  // elements of the subset before the wanted start
  for (const SubsetRange& r : s->ranges) {
    if (done == count) break;
    if (skip >= r.length) {
      skip -= r.length;
      continue;
    }
    const int32_t take = std::min(r.length - skip, count - done);
    const int32_t got = pitstgr(s->base, r.start + skip, take, destination + done);
    if (got != take) {
      vq_report(15, "pitstgr: botch1.");
      return -1;
    }
    done += got;
    skip = 0;
  }
  return done;
}

int32_t read_fragmented(Subset* s, int32_t start, int32_t count, int32_t* destination) {
  const long address = static_cast<long>(s->offset) + 4L * start + 1;
  long got = bldgi::frgacrd(s->fragmented, address, 4L * count,
                            reinterpret_cast<unsigned char*>(destination));
  if (got == FRGAC_FAIL || got < 0) return -1;
  return static_cast<int32_t>(got / 4);
}

int32_t read_stream(Subset* s, int32_t start, int32_t count, int32_t* destination) {
  if (vqio_fseek(s->stream, static_cast<long>(s->offset) + 4L * start, SEEK_SET) != 0) {
    vq_report(16, "pitstgr: vq_fseek error.  Start = %d.", start);
    return -1;
  }
  return static_cast<int32_t>(vqio_fread(destination, 4, static_cast<size_t>(count), s->stream));
}

}  // namespace

int32_t pitstgr(Subset* subset, int32_t start, int32_t count, int32_t* destination) {
  if (start < 0 || count < 0 ||
      (subset->kind != SUBSET_UNBOUNDED && static_cast<int64_t>(start) + count > subset->count)) {
    vq_report(15, "pitstgr: Start (%d) out of range (size = %d, length = %d).", start,
              subset->count, count);
    return -1;
  }
  if (subset->scramble) {
    // The writer's element multiplier is not recorded in the file.
    vq_report(15, "pitstgr: scrambled set elements cannot be decoded.");
    return -1;
  }
  int32_t got;
  switch (subset->kind) {
    case SUBSET_RANGES: got = read_ranges(subset, start, count, destination); break;
    case SUBSET_ARRAY:
      std::memcpy(destination, subset->array + start, sizeof(int32_t) * static_cast<size_t>(count));
      got = count;
      break;
    case SUBSET_FRAGMENTED: got = read_fragmented(subset, start, count, destination); break;
    case SUBSET_STREAM: got = read_stream(subset, start, count, destination); break;
    default:
      vq_report(15, "pitstgr: bad switch = %d.", subset->kind);
      return -1;
  }
  if (got <= 0) return got;
  // Ranges were swapped by the subset they read from.
  if (subset->swap && subset->kind != SUBSET_RANGES) {
    for (int32_t i = 0; i < got; ++i) {
      destination[i] = static_cast<int32_t>(swap_word32(static_cast<uint32_t>(destination[i])));
    }
  }
  return got;
}

void pitstcl(Subset* subset) {
  if (subset == nullptr) return;
  if (subset->kind == SUBSET_RANGES) pitstcl(subset->base);
  if (subset->fragmented != nullptr) {
    frgac_close(subset->fragmented);
    delete subset->fragmented;
  }
  if (subset->stream != nullptr) vqio_fclose(subset->stream);
  delete subset;
}
