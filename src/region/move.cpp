// Moving a byte range of an open region file to a lower or a higher place,
// safe for overlapping ranges: down copies front to back, up back to front.
//
// Each step seeks, reads and writes one chunk. Large chunks keep a move of
// a big region file close to the cost of copying it; the order of the
// chunks is what makes overlapping moves safe.
#include <algorithm>
#include <vector>

#include "msg/msg.h"
#include "region/region.h"

namespace {

constexpr off_t kChunk = 1 << 20;

// Reads exactly n bytes at position: 0, or 16 after reporting 60028.
int read_at(const char* name, int fd, off_t position, unsigned char* buf, size_t n) {
  if (vqio_lseek(fd, position, SEEK_SET) != position) {
    vq_report(16, GetMsgNumText(60028), name);
    return 16;
  }
  size_t done = 0;
  while (done < n) {
    const ssize_t got = vqio_read(fd, buf + done, n - done);
    if (got <= 0) {
      vq_report(16, GetMsgNumText(60028), name);
      return 16;
    }
    done += static_cast<size_t>(got);
  }
  return 0;
}

// Writes exactly n bytes at position: 0, or 16 after reporting 60027.
int write_at(const char* name, int fd, off_t position, const unsigned char* buf, size_t n) {
  if (vqio_lseek(fd, position, SEEK_SET) != position) {
    vq_report(16, GetMsgNumText(60027), name);
    return 16;
  }
  size_t done = 0;
  while (done < n) {
    const ssize_t put = vqio_write(fd, buf + done, n - done);
    if (put <= 0) {
      vq_report(16, GetMsgNumText(60027), name);
      return 16;
    }
    done += static_cast<size_t>(put);
  }
  return 0;
}

int copy_chunk(const char* name, int fd, std::vector<unsigned char>& buf, off_t from, off_t to,
               off_t n) {
  const size_t bytes = static_cast<size_t>(n);
  if (int status = read_at(name, fd, from, buf.data(), bytes)) return status;
  return write_at(name, fd, to, buf.data(), bytes);
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
