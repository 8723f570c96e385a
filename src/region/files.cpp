// Region-file helpers of the module: opening, sizing and cutting a region
// file, the checks of a file entry against the file before anything moves,
// and the report of a file left partly moved.
#include <algorithm>
#include <fcntl.h>
#include <unistd.h>

#include "msg/msg.h"
#include "region/internal.h"
#include "util/util.h"

namespace region_detail {

int open_region_file(const char* name) {
  const int fd = vqio_open(name, O_RDWR);
  if (fd < 0) vq_report(11, GetMsgNumText(60032), name);
  return fd;
}

off_t region_file_size(const char* name, int fd) {
  struct stat st;
  if (vqio_fstat(fd, &st) != 0) {
    vq_report(16, GetMsgNumText(60028), name);
    return -1;
  }
  return st.st_size;
}

int truncate_region_file(const char* name, int fd, off_t length) {
  if (vqio_ftruncate(fd, length) != 0) {
    vq_report(16, GetMsgNumText(60027), name);
    return 16;
  }
  return 0;
}

std::vector<int32_t> offset_order(const RegionListFile* file) {
  std::vector<int32_t> order(static_cast<size_t>(std::max(file->count, 0)));
  for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int32_t>(i);
  std::stable_sort(order.begin(), order.end(), [file](int32_t a, int32_t b) {
    return region_compare(&file->regions[a], &file->regions[b]) < 0;
  });
  return order;
}

int check_regions_against_file(const RegionListFile* file, off_t size) {
  if (size < static_cast<off_t>(REGION_HEADER_BYTES)) {
    vq_report(15, GetMsgNumText(200065), file->name);
    return 15;
  }
  const int64_t data_bytes = static_cast<int64_t>(size) - REGION_HEADER_BYTES;
  int64_t covered_end = 0;         // highest end of the non-empty regions so far
  const char* covering = nullptr;  // the region that reaches it
  for (int32_t i : offset_order(file)) {
    const RegionListEntry& r = file->regions[i];
    if (r.count < 0) {
      vq_report(15, GetMsgNumText(200064), file->name, r.name, r.count);
      return 15;
    }
    const int64_t end = region_end(r.offset, r.count);
    if (end > data_bytes || (r.count == 0 && static_cast<int64_t>(r.offset) > data_bytes)) {
      vq_report(15, GetMsgNumText(200063), file->name, r.name,
                static_cast<unsigned long>(r.offset), r.count, static_cast<long long>(size));
      return 15;
    }
    if (r.count == 0) continue;
    if (covering && static_cast<int64_t>(r.offset) < covered_end) {
      vq_report(15, GetMsgNumText(200062), file->name, r.name, covering);
      return 15;
    }
    covered_end = end;
    covering = r.name;
  }
  return 0;
}

int64_t region_end(uint32_t offset, long count) {
  const int64_t start = static_cast<int64_t>(offset);
  if (count > (INT64_MAX - start) / 4) return INT64_MAX;
  if (count < (INT64_MIN + start) / 4) return INT64_MIN;
  return start + 4 * static_cast<int64_t>(count);
}

int report_partly_moved(const char* name) {
  vq_report(16, GetMsgNumText(200066), name);
  return 16;
}

int transfer_at(int fd, off_t position, unsigned char* buf, size_t n, bool write) {
  if (vqio_lseek(fd, position, SEEK_SET) != position) return -1;
  for (size_t done = 0; done < n;) {
    const ssize_t got = write ? vqio_write(fd, buf + done, n - done)
                              : vqio_read(fd, buf + done, n - done);
    if (got <= 0) return -1;
    done += static_cast<size_t>(got);
  }
  return 0;
}

char* copy_text(const char* text) { return StrDup(text); }

}  // namespace region_detail

int region_transfer(int fd, off_t position, unsigned char* buf, size_t n, bool write) {
  return region_detail::transfer_at(fd, position, buf, n, write);
}
