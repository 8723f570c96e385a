// The "mfsio" stream format: buffered reading of a member file, the base of
// every chain. Without a parent it reads the file (opened on first need, so
// a missing file shows at the first fill, seek, span or setpos); over a
// parent it reads the parent until its buffer is full.
//
// Its position record is {position in the buffer} followed by the saved
// position: the 32-bit file offset, or the parent's record, at the start of
// the buffer.
#include <fcntl.h>

#include <cerrno>
#include <climits>

#include "io/vqio.h"
#include "mfs/formats.h"

MfsioState* mfsio_state(MfsStream* s) { return static_cast<MfsioState*>(s->state); }

int mfsio_lazy_open(MfsStream* s) {
  MfsioState* st = mfsio_state(s);
  if (s->parent) return 0;
  if (st->pending) {
    st->fd = vqio_open(st->file.c_str(), O_RDONLY);
    if (st->fd == -1) {
      s->status = MFS_STATUS_NO_FILE;
      st->opened = 0;
      return -1;
    }
    st->pending = 0;
    st->opened = 1;
  }
  return st->fd >= 0 ? 0 : -1;
}

int mfsio_save_position(MfsStream* s) {
  MfsioState* st = mfsio_state(s);
  if (s->parent) {
    if (st->saved.size() < static_cast<size_t>(st->record_size)) st->saved.resize(st->record_size);
    return s->parent->getpos(s->parent, st->saved.data());
  }
  if (st->saved.size() < MFS_WORD) st->saved.resize(MFS_WORD);
  const off_t here = vqio_lseek(st->fd, 0, SEEK_CUR);
  if (here > INT32_MAX) {
    // Offsets of a set are 32-bit: a member cannot be read beyond them.
    s->status = MFS_STATUS_FAILED;
    return -1;
  }
  mfs_put_word(st->saved.data(), static_cast<int32_t>(here));
  return 0;
}

long mfsio_read_source(MfsStream* s, unsigned char* buffer, long n, bool whole) {
  MfsioState* st = mfsio_state(s);
  long got = 0;
  while (got < n) {
    long r;
    if (s->parent) {
      r = s->parent->read(s->parent, buffer + got, n - got);
    } else {
      ssize_t k;
      do {
        k = vqio_read(st->fd, buffer + got, static_cast<size_t>(n - got));
      } while (k < 0 && errno == EINTR);
      if (k < 0) {
        // A read error is a failure of the member, not its end.
        s->status = MFS_STATUS_FAILED;
        break;
      }
      r = static_cast<long>(k);
    }
    if (r <= 0) break;
    got += r;
    if (!s->parent && !whole) break;
  }
  return got;
}

int mfsio_seek_source(MfsStream* s, off_t offset) {
  if (offset < 0) return -1;
  if (s->parent) return s->parent->seek(s->parent, offset);
  if (mfsio_lazy_open(s) == -1) return -1;
  return vqio_lseek(mfsio_state(s)->fd, offset, SEEK_SET) == -1 ? -1 : 0;
}

namespace {

// Closes the member file, if this stream opened one.
int release_file(MfsStream* s) {
  MfsioState* st = mfsio_state(s);
  int result = 0;
  if (!s->parent && st->fd >= 0 && vqio_close(st->fd) == -1) result = -1;
  st->fd = -1;
  st->opened = 0;
  st->pending = 0;
  return result;
}

int mfsio_open(MfsStream* s, const char* file) {
  MfsioState* st = mfsio_state(s);
  s->status = MFS_STATUS_OK;
  release_file(s);  // a stream opened again without a close keeps no descriptor
  s->count = 0;
  s->position = 0;
  st->record_size = mfs_parent_record_size(s, MFS_WORD);
  st->saved.assign(static_cast<size_t>(st->record_size), 0);
  st->file.clear();
  if (s->parent) {
    s->parent->getpos(s->parent, st->saved.data());
    st->opened = 1;
  } else {
    st->file = file ? file : "";
    st->pending = 1;
  }
  return 0;
}

int mfsio_close(MfsStream* s) {
  MfsioState* st = mfsio_state(s);
  s->status = MFS_STATUS_OK;
  st->saved.clear();
  s->count = 0;
  s->position = 0;
  if (s->parent) {
    st->pending = 0;
    return 1;
  }
  return release_file(s);
}

int mfsio_fill(MfsStream* s, int advance) {
  s->count = 0;
  s->position = 0;
  if (mfsio_lazy_open(s) == -1 || mfsio_save_position(s) == -1) return -1;
  // Over a file one read per fill; over a parent until the buffer is full.
  s->count = static_cast<int32_t>(mfsio_read_source(s, s->buffer, s->buffer_size, false));
  return mfs_stream_first(s, advance);
}

off_t mfsio_span(MfsStream* s, off_t offset, off_t count, off_t total) {
  s->status = MFS_STATUS_OK;
  if (s->parent) return s->parent->span(s->parent, offset, count, total);
  if (mfsio_lazy_open(s) == -1) return -1;
  if (count == -1) return mfs_descriptor_size(mfsio_state(s)->fd);
  return count;
}

int mfsio_seek(MfsStream* s, off_t offset) {
  s->status = MFS_STATUS_OK;
  if (mfsio_seek_source(s, offset) == -1) return -1;
  s->fill(s, 0);
  return 0;
}

int mfsio_getpos(MfsStream* s, unsigned char* record) {
  s->status = MFS_STATUS_OK;
  return mfs_write_record(s, mfsio_state(s)->saved, record);
}

int mfsio_setpos(MfsStream* s, const unsigned char* record) {
  s->status = MFS_STATUS_OK;
  if (s->parent) {
    if (s->parent->setpos(s->parent, record + MFS_WORD) == -1) return -1;
  } else {
    if (mfsio_lazy_open(s) == -1) return -1;
    const off_t offset = mfs_get_word(record + MFS_WORD);
    if (vqio_lseek(mfsio_state(s)->fd, offset, SEEK_SET) == -1) return -1;
  }
  s->fill(s, 0);
  s->position = mfs_get_word(record);
  return 0;
}

int mfsio_ctl(MfsStream* s, int command, void* argument) {
  return mfs_stream_ctl(s, command, argument, MFS_WORD, MFS_WORD, mfsio_state(s)->file);
}

int mfsio_destroy(MfsStream* s) {
  s->status = MFS_STATUS_OK;
  release_file(s);
  delete mfsio_state(s);
  mfs_stream_free(s);
  return 1;
}

}  // namespace

MfsStream* mfsio_family_new(const char* name, MfsStream* parent, int32_t buffer_size) {
  static const MfsFormatOps ops = {mfsio_open,   mfsio_close,  mfsio_fill, mfsio_span,   mfsio_seek,
                                   mfsio_setpos, mfsio_getpos, mfsio_ctl,  mfsio_destroy};
  return mfs_stream_new<MfsioState>(name, parent, buffer_size, ops);
}

MfsStream* mfsio_new(MfsStream* parent) {
  return mfsio_family_new("mfsio", parent, MFS_BUFFER_SIZE);
}
