// Reading a fragmented text: the 512-byte logical buffer, seeking, physical
// reads across fragments, switching the open fragment file, and the
// low-level seek and read.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "frgac/frgac.h"
#include "frgac/internal.h"
#include "io/vqio.h"
#include "msg/msg.h"

namespace {

// Read-ahead over the open fragment: large reads serve many 512-byte
// refills, so a sequential scan costs one system call per window, not two
// per refill.
constexpr size_t kWindowBytes = 128 * 1024;

// Reads n bytes at offset of the open fragment, of which left bytes belong
// to the text; n bytes, or a smaller count after a report.
long read_fragment(FrgacText* t, int64_t offset, long n, long left, unsigned char* destination) {
  if (t->access_mode != FRGAC_READ)  // another writer may change an updated text
    return frgacsr(t->fragment_fd, static_cast<long>(offset), n, destination);
  if (t->window_fragment == t->fragment_index && offset >= t->window_offset &&
      offset + n <= t->window_offset + static_cast<int64_t>(t->window_count)) {
    std::memcpy(destination, t->window.data() + (offset - t->window_offset), n);
    return n;
  }
  long want = std::max<long>(n, std::min<long>(left, kWindowBytes));
  if (t->window.size() < static_cast<size_t>(want)) t->window.resize(want);
  t->window_fragment = -1;
  long got = frgacsr(t->fragment_fd, static_cast<long>(offset), -want, t->window.data());
  if (got < n) {
    if (got >= 0)
      vq_report(16, "frgacsr: Read failure in file %d at %d.  Wanted %d, got %d.",
                t->fragment_fd, static_cast<int>(offset), static_cast<int>(n),
                static_cast<int>(got));
    return got < 0 ? -1 : got;
  }
  t->window_fragment = t->fragment_index;
  t->window_offset = offset;
  t->window_count = got;
  std::memcpy(destination, t->window.data(), n);
  return n;
}

int open_fragment(FrgacText* t, int32_t index) {
  if (t->fragment_fd >= 0) vqio_close(t->fragment_fd);
  t->fragment_fd = -1;
  t->fragment_index = -1;
  t->window_fragment = -1;
  const char* path = t->names[index].c_str();
  int fd;
  if (t->access_mode == FRGAC_UPDATE) {
    fd = vqio_open(path, t->open_flags);
    if (fd < 0 && t->open_flags != O_RDONLY) {
      t->open_flags = O_RDONLY;  // from now on fragments open read-only
      fd = vqio_open(path, O_RDONLY);
    }
  } else {
    fd = vqio_open(path, O_RDONLY);
    frgacic();
  }
  if (fd < 0) return frgacfo(path);
  t->fragment_fd = fd;
  t->fragment_index = index;
  return 0;
}

}  // namespace

int frgacfo(const char* path) {
  vq_report(16, "Failed to open '%s'.", path);
  return FRGAC_FAIL;
}

long frgacsr(int fd, long offset, long count, unsigned char* destination) {
  if (vqio_lseek(fd, offset, SEEK_SET) != offset) {
    vq_report(16, "frgacsr: Seek failure at %d.  FD = %d.", static_cast<int>(offset), fd);
    return -1;
  }
  long want = std::labs(count), got = 0;
  while (got < want) {  // a read may return less than asked before the end
    ssize_t r = vqio_read(fd, destination + got, want - got);
    if (r < 0) {
      if (got == 0) got = -1;
      break;
    }
    if (r == 0) break;
    got += r;
  }
  if ((count > 0 && got < count) || got < 0)
    vq_report(16, "frgacsr: Read failure in file %d at %d.  Wanted %d, got %d.", fd,
              static_cast<int>(offset), static_cast<int>(count), static_cast<int>(got));
  return got;
}

long frgacrl(FrgacText* t, long p, long* left) {
  int64_t offset;
  int32_t fragment;
  if (t->records.size() >= 2) {
    auto it = std::upper_bound(t->records.begin(), t->records.end(), p,
                               [](long v, const FrgacRecord& r) { return v < r.start; });
    if (it == t->records.begin() || p >= int64_t{(it - 1)->start} + (it - 1)->length) {
      vq_report(15, "frgacrl: Attempt to read beyond end of source text.");
      return FRGAC_FAIL;
    }
    const FrgacRecord& r = *(it - 1);
    offset = int64_t{r.offset} + (p - r.start);
    *left = static_cast<long>(int64_t{r.start} + r.length - p);
    fragment = r.name_index;
  } else {
    offset = p;
    *left = t->header[FRG_PHYSICAL_LENGTH] - p;
    fragment = 0;
  }
  if (fragment != t->fragment_index && open_fragment(t, fragment) != 0) return FRGAC_FAIL;
  return static_cast<long>(offset);
}

long frgacrf(FrgacText* t, long p, long count, unsigned char* destination) {
  if (p < 0) {
    vq_report(15, GetMsgNumText(FRGAC_MSG_NEGATIVE), "frgacrf", p, t->file_name.c_str());
    return FRGAC_FAIL;
  }
  long done = 0;
  int64_t physical_length = t->header[FRG_PHYSICAL_LENGTH];
  while (done < count && p + done < physical_length) {
    long left;
    long offset = frgacrl(t, p + done, &left);
    if (offset == FRGAC_FAIL) return FRGAC_FAIL;
    long n = std::min(left, count - done);
    if (read_fragment(t, offset, n, left, destination + done) != n) return FRGAC_FAIL;
    done += n;
  }
  if (done < count) std::memset(destination + done, ' ', count - done);
  return done;
}

int frgacfl(FrgacText* t) {
  if (t->buffer_count > 0) t->position += t->buffer_index;
  t->buffer_index = 0;
  t->buffer_count = -1;
  int64_t length = t->header[FRG_LOGICAL_LENGTH];
  if (t->position < 1 || t->position > length || !(t->header[FRG_FLAGS] & FRG_TABLE_A))
    return -1;
  FrgacPair pair;
  int64_t end;
  if (!frgac_find_pair(t, t->position, &pair, &end)) return -1;
  // The bytes up to the end of the pair's range, within the text.
  int64_t n = std::min<int64_t>({FRGAC_BUFFER_BYTES, end - t->position, length + 1 - t->position});
  int64_t p = int64_t{t->position} + pair.delta;
  long got = 0;
  if (t->cache_flag) {
    long copied = 0;
    got = frgacrc(t, static_cast<long>(n), static_cast<long>(p), t->buffer, &copied, 0);
    if (got != FRGAC_FAIL && copied == 0) got = 0;
  }
  if (got == 0) got = frgacrf(t, static_cast<long>(p), static_cast<long>(n), t->buffer);
  if (got <= 0 || got == FRGAC_FAIL) return -1;
  t->buffer_count = static_cast<int32_t>(got);
  t->buffer_index = 1;
  return t->buffer[0];
}

long frgacsk(FrgacText* t, long address) {
  if (address >= 1 && address <= t->header[FRG_LOGICAL_LENGTH])
    t->position = static_cast<int32_t>(address);
  else
    vq_report(11, "frgacsk: Invalid logical address (%ld).", address);
  t->buffer_index = 0;
  t->buffer_count = -1;
  return t->position;
}
