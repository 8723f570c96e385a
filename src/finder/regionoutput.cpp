// Writing one region file anew beside the old one: its header, blocks at
// given data offsets, copies of kept regions from the old file, and the
// commit that puts it under the region file's name.
#include <fcntl.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "finder/regions.h"
#include "msg/msg.h"
#include "pitas/pitas.h"
#include "region/region.h"

namespace {

constexpr int64_t kCopyStep = 256 << 10;
// Bytes written after which the disk write of what the file holds so far
// is started, so that the fsync of the commit waits only for the last
// part rather than for the whole file.
constexpr int64_t kWriteBackStep = 1 << 20;

int transfer(int fd, int64_t position, unsigned char* p, size_t n, bool write) {
  return region_transfer(fd, static_cast<off_t>(position), p, n, write);
}

}  // namespace

int region_output_open(RegionOutput* out, const std::string& target, int32_t version) {
  out->target = target;
  if (region_file_in_place(target.c_str())) {
    // A superfile member cannot be replaced by a file beside it.
    vq_report(16, GetMsgNumText(60027), target.c_str());
    return 1;
  }
  int denied = 0;
  out->fresh = region_replace_open(target.c_str(), &denied);
  if (out->fresh == nullptr) {
    vqio_perror(target.c_str());
    return 1;
  }
  out->fd = vqio_fileno(out->fresh);
  PitasHeader* header =
      pitasch(REGION_FILE_TYPE, version, REGION_FILE_MAJOR, REGION_FILE_MINOR, 0);
  unsigned char bytes[PITAS_HEADER_BYTES];
  pitas_encode(header, bytes);
  std::free(header);
  if (transfer(out->fd, 0, bytes, sizeof bytes, true) != 0) {
    vq_report(16, GetMsgNumText(90027), target.c_str());
    return 1;
  }
  return 0;
}

int region_output_write(RegionOutput* out, int64_t offset, const void* bytes, size_t n) {
  if (transfer(out->fd, REGION_HEADER_BYTES + offset,
               static_cast<unsigned char*>(const_cast<void*>(bytes)), n, true) != 0) {
    vq_report(16, GetMsgNumText(60027), out->target.c_str());
    return 1;
  }
  out->unflushed += static_cast<int64_t>(n);
  if (out->unflushed >= kWriteBackStep) {
    out->unflushed = 0;
#ifdef SYNC_FILE_RANGE_WRITE
    // Only starts the write; a failure here is seen by the commit's fsync.
    sync_file_range(vqio_system_fd(out->fd), 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
  }
  return 0;
}

int region_output_copy(RegionOutput* out, int old_fd, const char* old_name, int64_t from,
                       int64_t offset, int64_t n) {
  std::vector<unsigned char>& buf = out->copy_buffer;
  if (n > 0 && buf.size() < static_cast<size_t>(std::min(kCopyStep, n)))
    buf.resize(static_cast<size_t>(std::min(kCopyStep, n)));
  for (int64_t done = 0; done < n;) {
    const size_t step = static_cast<size_t>(std::min(kCopyStep, n - done));
    if (transfer(old_fd, from + done, buf.data(), step, false) != 0) {
      vq_report(16, GetMsgNumText(60028), old_name);
      return 1;
    }
    if (region_output_write(out, offset + done, buf.data(), step) != 0) return 1;
    done += static_cast<int64_t>(step);
  }
  return 0;
}

int region_output_commit(RegionOutput* out) {
  VqStream* fresh = out->fresh;
  out->fresh = nullptr;
  out->fd = -1;
  if (fresh == nullptr || region_replace_commit(fresh) != 0) {
    vq_report(16, GetMsgNumText(60027), out->target.c_str());
    return 1;
  }
  return 0;
}
