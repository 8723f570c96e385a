// Moving a byte range of an open region file to a lower or a higher place,
// safe for overlapping ranges: down copies front to back, up back to front.
//
// Each step seeks, reads and writes one chunk. Large chunks keep a move of
// a big region file close to the cost of copying it; the order of the
// chunks is what makes overlapping moves safe.
#include <algorithm>
#include <vector>

#include "msg/msg.h"
#include "region/internal.h"

namespace {

constexpr off_t kChunk = 1 << 20;

int copy_chunk(const char* name, int fd, std::vector<unsigned char>& buf, off_t from, off_t to,
               off_t n) {
  const size_t bytes = static_cast<size_t>(n);
  if (region_detail::transfer_at(fd, from, buf.data(), bytes, false) != 0) {
    vq_report(16, GetMsgNumText(60028), name);
    return 16;
  }
  if (region_detail::transfer_at(fd, to, buf.data(), bytes, true) != 0) {
    vq_report(16, GetMsgNumText(60027), name);
    return 16;
  }
  return 0;
}

}  // namespace

int region_move_down(const char* file_name, int fd, off_t destination, off_t start, off_t end) {
  if (end <= start || destination == start) return 0;
  // A higher destination must be copied back to front.
  if (destination > start)
    return region_move_up(file_name, fd, destination + (end - start), start, end);
  std::vector<unsigned char> buf(static_cast<size_t>(std::min(kChunk, end - start)));
  for (off_t at = start; at < end; at += kChunk) {
    const off_t n = std::min(kChunk, end - at);
    if (int status = copy_chunk(file_name, fd, buf, at, destination + (at - start), n))
      return status;
  }
  return 0;
}

int region_move_up(const char* file_name, int fd, off_t destination_end, off_t start, off_t end) {
  if (end <= start || destination_end == end) return 0;
  // A lower destination must be copied front to back.
  if (destination_end < end)
    return region_move_down(file_name, fd, destination_end - (end - start), start, end);
  std::vector<unsigned char> buf(static_cast<size_t>(std::min(kChunk, end - start)));
  for (off_t top = end; top > start; top -= kChunk) {
    const off_t n = std::min(kChunk, top - start);
    if (int status = copy_chunk(file_name, fd, buf, top - n, destination_end - (end - top) - n, n))
      return status;
  }
  return 0;
}
