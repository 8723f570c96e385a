// The temporary region record files of a run: made exclusively under a
// name holding the process id, written through one buffer, read back in
// large chunks forwards (layout) or backwards (merge), removed at the end.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "finder/regions.h"
#include "msg/msg.h"

namespace {

constexpr size_t kBufferRecords = 4096;
constexpr size_t kChunkRecords = 4096;
constexpr size_t kRecord = REGION_TEMP_RECORD_BYTES;

std::string temp_name(const TempRecordSet& set, size_t n, int attempt) {
  std::string name = set.dir;
  if (!name.empty()) name.push_back('/');
  name.append("TAG").append(std::to_string(n)).push_back('.');
  name.append(std::to_string(static_cast<long>(getpid())));
  if (attempt > 0) name.append("-").append(std::to_string(attempt));
  name.append(".TMP");
  return name;
}

// Makes the next file of the set: 0, or -1 with the failure noted.
int make_next(TempRecordSet* set) {
  const size_t n = set->names.size();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = temp_name(*set, n, attempt);
    const int fd = vqio_open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
      set->fd = fd;
      set->bytes = 0;
      set->names.push_back(name);
      if (set->on_create) set->on_create(name);
      return 0;
    }
    if (errno == EEXIST) continue;
    set->failed_name = name;
    set->failed_errno = errno;
    return -1;
  }
  set->failed_name = temp_name(*set, n, 0);
  set->failed_errno = EEXIST;
  return -1;
}

int write_buffer(TempRecordSet* set) {
  const unsigned char* p = set->buffer.data();
  size_t left = set->buffered;
  while (left > 0) {
    const ssize_t put = vqio_write(set->fd, p, left);
    if (put <= 0) {
      vq_report(16, GetMsgNumText(60027), set->names.back().c_str());
      return -3;
    }
    p += put;
    left -= static_cast<size_t>(put);
  }
  set->buffered = 0;
  return 0;
}

int close_current(TempRecordSet* set) {
  if (set->fd < 0) return 0;
  int status = write_buffer(set);
  if (vqio_close(set->fd) != 0 && status == 0) {
    vq_report(16, GetMsgNumText(60027), set->names.back().c_str());
    status = -3;
  }
  set->fd = -1;
  return status;
}

}  // namespace

int temp_set_open(TempRecordSet* set) {
  const char* dir = std::getenv("TAVREL_TMPDIR");
  set->dir = dir ? dir : "";
  set->names.clear();
  set->records = 0;
  set->buffered = 0;
  set->buffer.resize(kBufferRecords * kRecord);
  return make_next(set);
}

int temp_set_put_next(TempRecordSet* set, int32_t region, int32_t start, int32_t end) {
  if (set->bytes > set->file_limit) {
    if (int status = close_current(set)) return status;
    if (static_cast<int32_t>(set->names.size()) >= set->max_files) return -2;
    if (make_next(set) != 0) return -1;
  }
  if (set->buffer.empty()) set->buffer.resize(kBufferRecords * kRecord);
  const int32_t words[3] = {region, start, end};
  std::memcpy(set->buffer.data() + set->buffered, words, kRecord);
  set->buffered += kRecord;
  if (set->buffered >= set->buffer.size())
    if (int status = write_buffer(set)) return status;
  set->bytes += static_cast<int64_t>(kRecord);
  ++set->records;
  return 0;
}

int temp_set_close(TempRecordSet* set) { return close_current(set); }

void temp_set_remove(TempRecordSet* set) {
  if (set->fd >= 0) ::close(vqio_system_fd(set->fd));
  set->fd = -1;
  for (const std::string& name : set->names) ::unlink(name.c_str());
  set->names.clear();
}

int64_t temp_set_read(const TempRecordSet& set, TempChunkFn each_chunk, void* context) {
  std::vector<unsigned char> chunk(kChunkRecords * kRecord);
  int64_t total = 0;
  for (const std::string& name : set.names) {
    const int fd = vqio_open(name.c_str(), O_RDONLY);
    if (fd < 0) {
      vqio_perror(name.c_str());
      return -1;
    }
    size_t held = 0;  // bytes of a record split by the previous read
    for (;;) {
      const ssize_t got = vqio_read(fd, chunk.data() + held, chunk.size() - held);
      if (got < 0) {
        vqio_perror(name.c_str());
        vqio_close(fd);
        return -1;
      }
      if (got == 0) break;
      const size_t have = held + static_cast<size_t>(got);
      const size_t whole = have - have % kRecord;
      each_chunk(context, chunk.data(), whole);
      total += static_cast<int64_t>(whole / kRecord);
      held = have - whole;
      std::memmove(chunk.data(), chunk.data() + whole, held);
    }
    vqio_close(fd);
  }
  return total;
}

void temp_back_open(TempBackReader* reader, const TempRecordSet* set) {
  reader->set = set;
  reader->file = static_cast<int>(set->names.size());
  reader->fd = -1;
  reader->left = 0;
  reader->failed = false;
  reader->chunk.resize(kChunkRecords * kRecord);
}

bool temp_back_prev(TempBackReader* reader, TempRecord* record) {
  while (reader->left < kRecord) {
    if (reader->fd >= 0 && reader->position > 0) {
      // Whole records only: the file's size is a multiple of 12, and every
      // chunk ends on a record boundary.
      const off_t n = std::min<off_t>(reader->position, static_cast<off_t>(reader->chunk.size()));
      reader->position -= n;
      if (vqio_lseek(reader->fd, reader->position, SEEK_SET) != reader->position) {
        reader->failed = true;
      } else {
        size_t done = 0;
        while (done < static_cast<size_t>(n)) {
          const ssize_t got = vqio_read(reader->fd, reader->chunk.data() + done, n - done);
          if (got <= 0) {
            reader->failed = true;
            break;
          }
          done += static_cast<size_t>(got);
        }
      }
      if (reader->failed) {
        vqio_perror(reader->set->names[reader->file].c_str());
        return false;
      }
      reader->left = static_cast<size_t>(n);
      continue;
    }
    if (reader->fd >= 0) vqio_close(reader->fd);
    reader->fd = -1;
    if (reader->file <= 0) return false;
    --reader->file;
    const std::string& name = reader->set->names[reader->file];
    reader->fd = vqio_open(name.c_str(), O_RDONLY);
    struct stat st{};
    if (reader->fd < 0 || vqio_fstat(reader->fd, &st) != 0) {
      vqio_perror(name.c_str());
      reader->failed = true;
      return false;
    }
    reader->position = st.st_size - st.st_size % static_cast<off_t>(kRecord);
    reader->left = 0;
  }
  reader->left -= kRecord;
  *record = temp_record_decode(reader->chunk.data() + reader->left);
  return true;
}

void temp_back_close(TempBackReader* reader) {
  if (reader->fd >= 0) vqio_close(reader->fd);
  reader->fd = -1;
}
