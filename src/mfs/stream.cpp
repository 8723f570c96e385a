// The operations every stream format shares: allocation, the buffered
// read, getc and peek over the format's fill, the status of a chain, and
// opening, closing and destroying whole chains.
#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "io/vqio.h"
#include "mfs/formats.h"
#include "util/util.h"

void mfs_put_word(unsigned char* at, int32_t value) { std::memcpy(at, &value, MFS_WORD); }

int32_t mfs_get_word(const unsigned char* at) {
  int32_t value;
  std::memcpy(&value, at, MFS_WORD);
  return value;
}

MfsStream* mfs_stream_alloc(const char* name, MfsStream* parent, int32_t buffer_size, void* state,
                            const MfsFormatOps& ops) {
  auto* s = new (std::nothrow) MfsStream{};
  if (!s) return nullptr;
  s->buffer = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(buffer_size)));
  if (!s->buffer) {
    delete s;
    return nullptr;
  }
  s->name = name;
  s->parent = parent;
  s->state = state;
  s->buffer_size = buffer_size;
  s->open = ops.open;
  s->close = ops.close;
  s->fill = ops.fill;
  s->span = ops.span;
  s->seek = ops.seek;
  s->setpos = ops.setpos;
  s->getpos = ops.getpos;
  s->ctl = ops.ctl;
  s->destroy = ops.destroy;
  s->read = mfs_stream_read;
  s->getc = mfs_stream_getc;
  s->peek = mfs_stream_peek;
  s->setopt = mfs_stream_setopt;
  s->get_status = mfs_stream_status;
  return s;
}

void mfs_stream_free(MfsStream* s) {
  std::free(s->buffer);
  std::free(s->argument);
  delete s;
}

void mfs_stream_set_argument(MfsStream* s, const char* text) {
  std::free(s->argument);
  s->argument = text ? StrDup(text) : nullptr;
}

long mfs_stream_read(MfsStream* s, void* buffer, long n) {
  s->status = MFS_STATUS_OK;
  if (n <= 0) return 0;
  auto* out = static_cast<unsigned char*>(buffer);
  long copied = 0;
  while (copied < n) {
    if (s->position >= s->count && s->fill(s, 0) == -1) break;
    long take = s->count - s->position;
    if (take > n - copied) take = n - copied;
    std::memcpy(out + copied, s->buffer + s->position, static_cast<size_t>(take));
    s->position += static_cast<int32_t>(take);
    copied += take;
  }
  return copied;
}

int mfs_stream_getc(MfsStream* s) {
  // position may lie beyond count (an odd "double" seek past the end).
  if (s->position >= 0 && s->position < s->count) return s->buffer[s->position++];
  return s->fill(s, 1);
}

int mfs_stream_peek(MfsStream* s) {
  if (s->position >= 0 && s->position < s->count) return s->buffer[s->position];
  return s->fill(s, 0);
}

int mfs_stream_setopt(MfsStream* s, int, void*) {
  s->status = MFS_STATUS_OK;
  return 0;
}

int mfs_stream_status(MfsStream* s) {
  if (s->parent) {
    int below = s->parent->get_status(s->parent);
    if (below > 0) s->status = below;
  }
  return s->status;
}

int mfs_stream_first(MfsStream* s, int advance) {
  s->position = 0;
  if (s->count <= 0) {
    s->count = 0;
    return -1;
  }
  if (advance) s->position = 1;
  return s->buffer[0];
}

int mfs_write_record(MfsStream* s, const std::vector<unsigned char>& saved, unsigned char* record) {
  mfs_put_word(record, s->position);
  if (!saved.empty()) std::memcpy(record + MFS_WORD, saved.data(), saved.size());
  return 0;
}

int32_t mfs_parent_record_size(MfsStream* s, int32_t fallback) {
  if (!s->parent) return fallback;
  int32_t size = 0;
  if (s->parent->ctl(s->parent, MFS_CTL_RECORD_SIZE, &size) == -1 || size < 0) return fallback;
  return size;
}

int mfs_stream_ctl(MfsStream* s, int command, void* argument, int32_t fallback, int32_t added,
                   const std::string& file) {
  s->status = MFS_STATUS_OK;
  switch (command) {
    case MFS_CTL_RECORD_SIZE:
      *static_cast<int32_t*>(argument) = mfs_parent_record_size(s, fallback) + added;
      return 0;
    case MFS_CTL_CHANGED: {
      if (s->parent) return s->parent->ctl(s->parent, command, argument);
      struct stat st;
      if (!argument || vqio_stat(file.c_str(), &st) != 0) return 0;
      // Dates are stored as 32-bit seconds; compare them as they were stored.
      const int32_t now = static_cast<int32_t>(st.st_mtime);
      return now != *static_cast<const int32_t*>(argument) ? 1 : 0;
    }
    default:
      return -1;
  }
}

off_t mfs_descriptor_size(int fd) {
  const off_t here = vqio_lseek(fd, 0, SEEK_CUR);
  if (here < 0) return -1;
  const off_t end = vqio_lseek(fd, 0, SEEK_END);
  if (vqio_lseek(fd, here, SEEK_SET) < 0) return -1;
  return end;
}

// ---------------------------------------------------------------------------
// Chains

int mfs_chain_open(MfsStream* outer, const char* file) {
  if (!outer) return -1;
  std::vector<MfsStream*> chain;
  for (MfsStream* s = outer; s; s = s->parent) chain.push_back(s);
  int result = 0;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    result = (*it)->open(*it, file);
    if (result == -1) return -1;
  }
  return result;
}

int mfs_chain_close(MfsStream* outer) {
  int result = 0;
  for (MfsStream* s = outer; s; s = s->parent) {
    if (s->close(s) == -1) result = -1;
  }
  return result;
}

void mfs_chain_setopt(MfsStream* outer, int option, void* value) {
  for (MfsStream* s = outer; s; s = s->parent) s->setopt(s, option, value);
}

void mfs_chain_destroy(MfsStream* outer) {
  while (outer) {
    MfsStream* parent = outer->parent;  // taken before the stream is gone
    outer->destroy(outer);
    outer = parent;
  }
}
