// Backward integer streams: 4-byte values of a file range [lower, upper]
// read or written from the range's end towards its start through a
// 1024-byte buffer, on a descriptor that the caller opened.
//
// The pointer is always buffer + count: the bytes below it are the ones
// still to read (reading) or the free room (writing), so the next byte is
// the one just below the pointer.
//
// Reading: a refill loads the block that ends at the position into the
// buffer's start and moves the position down to the block's first byte;
// values are taken from the block's end, so the stream's current offset is
// position + count. Writing: bytes are stored from the buffer's end
// downwards; the pending bytes (pointer to buffer end) belong just below
// the position, which becomes the lowest byte written when they are
// written out; the current offset is position - pending. An update stream
// may change direction: the current offset carries over.
//
// The records of open streams are kept on one chain; a closed record is
// unlinked and freed.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "msg/msg.h"
#include "pitas/pitas.h"
#include "region/internal.h"
#include "util/util.h"

namespace {

struct RevioState {
  RevioStream* chain = nullptr;
};

RevioState& state() {
  static RevioState s;
  return s;
}

bool on_chain(const RevioStream* s) {
  for (const RevioStream* r = state().chain; r; r = r->next)
    if (r == s) return true;
  return false;
}

void unlink_record(RevioStream* s) {
  for (RevioStream** p = &state().chain; *p; p = &(*p)->next)
    if (*p == s) {
      *p = s->next;
      return;
    }
}

// The one conversion between a value and its four file bytes.
int32_t decode_value(const unsigned char bytes[4], int swapped) {
  const uint32_t w = load_word32(bytes);
  return static_cast<int32_t>(swapped ? swap_word32(w) : w);
}
void encode_value(unsigned char bytes[4], int32_t value, int swapped) {
  const uint32_t w = static_cast<uint32_t>(value);
  store_word32(bytes, swapped ? swap_word32(w) : w);
}

// Parses a mode; 0 for an invalid one.
uint16_t mode_flags(const char* mode) {
  if (!mode) return 0;
  uint16_t flags;
  switch (mode[0]) {
    case 'r': flags = REVIO_READ; break;
    case 'a':
    case 'w': flags = REVIO_WRITE; break;
    default: return 0;
  }
  for (const char* m = mode + 1; *m; ++m) {
    if (*m == 't' || *m == 'b') continue;
    if (*m != '+' || (flags & REVIO_UPDATE)) return 0;
    flags |= REVIO_UPDATE;
  }
  return flags;
}

bool ensure_buffer(RevioStream* s) {
  if (!s->buffer) {
    s->buffer = static_cast<unsigned char*>(
        vq_malloc(s->buffer_size, 1, __LINE__, "region/revio.cpp"));
    s->buffer_end = s->buffer + s->buffer_size - 1;
  }
  return s->buffer != nullptr;
}

int32_t pending_bytes(const RevioStream* s) {
  return s->buffer ? s->buffer_size - s->count : 0;
}

// Sets the count and the pointer that goes with it.
void set_count(RevioStream* s, int32_t count) {
  s->count = count;
  s->pointer = s->buffer + count;
}

// The file offset just above the next value.
off_t current_offset(const RevioStream* s) {
  if (s->flags & REVIO_WRITE) return s->position - pending_bytes(s);
  if (s->flags & REVIO_READ) return s->position + s->count;
  return s->position;
}

// Writes the pending bytes below the position and starts the buffer again
// at its end: 0, or -1 with the error flag set.
int write_pending(RevioStream* s) {
  const int32_t n = pending_bytes(s);
  if (n <= 0) return 0;
  const off_t at = s->position - n;
  if (region_detail::transfer_at(s->fd, at, s->pointer, static_cast<size_t>(n), true) != 0) {
    s->flags |= REVIO_ERR;
    return -1;
  }
  s->position = at;
  set_count(s, s->buffer_size);
  return 0;
}

// Makes an update stream (or a stream of that direction) ready to read or
// write; false when the stream may not.
bool set_direction(RevioStream* s, uint16_t direction) {
  if (s->flags & direction) return true;
  if (!(s->flags & REVIO_UPDATE)) return false;
  const off_t at = current_offset(s);
  if ((s->flags & REVIO_WRITE) && write_pending(s) != 0) return false;
  s->flags = static_cast<uint16_t>((s->flags & ~(REVIO_READ | REVIO_WRITE | REVIO_EOF)) | direction);
  s->position = at;
  if (!ensure_buffer(s)) return false;
  set_count(s, direction == REVIO_WRITE ? s->buffer_size : 0);
  return true;
}

int next_byte(RevioStream* s) {
  if (s->count > 0) {
    set_count(s, s->count - 1);
    return *s->pointer;
  }
  return revio_fill(s);
}

}  // namespace

RevioStream* revio_open(const char* name, const char* mode, int fd, off_t lower, off_t upper) {
  const uint16_t flags = mode_flags(mode);
  if (!flags) return nullptr;
  auto* s = static_cast<RevioStream*>(vq_calloc(1, sizeof(RevioStream), __LINE__, "region/revio.cpp"));
  s->fd = fd;
  s->buffer_size = REVIO_BUFSIZ;
  s->flags = flags;
  s->name = StrDup(name);
  s->lower = lower;
  s->upper = upper;
  s->position = upper + 1;
  if (flags & REVIO_WRITE) {
    ensure_buffer(s);
    set_count(s, s->buffer_size);
  }
  s->next = state().chain;
  state().chain = s;
  return s;
}

int revio_close(RevioStream* s) {
  if (!s || !on_chain(s)) {
    errno = EINVAL;
    return -1;
  }
  int result = 0;
  if (s->flags & REVIO_WRITE) result = write_pending(s);
  unlink_record(s);
  free(s->buffer);
  free(s->name);
  free(s);
  return result;
}

int32_t revio_get_int(RevioStream* s) {
  if (!s || !s->flags) {
    errno = EINVAL;
    return -1;
  }
  // A whole value in the buffer: taken at once.
  if ((s->flags & REVIO_READ) && s->count >= 4) {
    set_count(s, s->count - 4);
    return decode_value(s->pointer, s->swapped);
  }
  if (!set_direction(s, REVIO_READ)) {
    s->flags |= REVIO_ERR;
    return -1;
  }
  // A value needs four bytes above the lower bound; a partial value at the
  // bottom of the range is not read.
  if (current_offset(s) - s->lower < 4) {
    if (s->buffer) set_count(s, 0);
    s->position = s->lower;
    s->flags |= REVIO_EOF;
    return -1;
  }
  unsigned char bytes[4];
  for (int i = 3; i >= 0; --i) {
    const int c = next_byte(s);
    if (c < 0) return -1;
    bytes[i] = static_cast<unsigned char>(c);
  }
  return decode_value(bytes, s->swapped);
}

int revio_put_int(int32_t value, RevioStream* s) {
  if (!s || !s->flags) {
    errno = EINVAL;
    return -1;
  }
  // Room for a whole value in the buffer: stored at once.
  if ((s->flags & REVIO_WRITE) && s->count >= 4 && current_offset(s) - 4 >= s->lower) {
    set_count(s, s->count - 4);
    encode_value(s->pointer, value, s->swapped);
    return 0;
  }
  if (!set_direction(s, REVIO_WRITE) || current_offset(s) - 4 < s->lower) {
    s->flags |= REVIO_ERR;
    return -1;
  }
  unsigned char bytes[4];
  encode_value(bytes, value, s->swapped);
  for (int i = 3; i >= 0; --i) {
    if (s->count == 0 && write_pending(s) != 0) return -1;
    set_count(s, s->count - 1);
    *s->pointer = bytes[i];
  }
  return 0;
}

int revio_flush(RevioStream* s) {
  if (!s || !(s->flags & REVIO_WRITE)) {
    errno = EINVAL;
    return -1;
  }
  const int result = write_pending(s);
  if (s->flags & REVIO_UPDATE) {
    // The next operation chooses the direction again, from the lowest byte
    // written.
    s->flags = static_cast<uint16_t>(s->flags & ~(REVIO_READ | REVIO_WRITE));
    set_count(s, 0);
  }
  return result;
}

int revio_fill(RevioStream* s) {
  if (!s || !s->flags) {
    errno = EINVAL;
    return -1;
  }
  s->flags = static_cast<uint16_t>(s->flags & ~REVIO_EOF);
  if (!ensure_buffer(s)) return -1;
  const off_t n = std::min<off_t>(s->buffer_size, s->position - s->lower);
  if (n <= 0) {
    s->flags |= REVIO_EOF;
    if (s->flags & REVIO_UPDATE)
      s->flags = static_cast<uint16_t>(s->flags & ~(REVIO_READ | REVIO_WRITE));
    set_count(s, 0);
    return -1;
  }
  const off_t at = s->position - n;
  if (region_detail::transfer_at(s->fd, at, s->buffer, static_cast<size_t>(n), false) != 0) {
    s->flags |= REVIO_ERR;
    return -1;
  }
  s->position = at;
  set_count(s, static_cast<int32_t>(n - 1));
  return *s->pointer;
}

int revio_set_buffer(RevioStream* s, int32_t size) {
  if (!s || !s->flags || size < 4 || size % 4 != 0) {
    errno = EINVAL;
    return -1;
  }
  // Only before the stream holds anything: nothing read, nothing pending.
  const bool idle = s->position == s->upper + 1 && (!s->buffer || (s->flags & REVIO_WRITE
                                                                     ? s->count == s->buffer_size
                                                                     : s->count == 0));
  if (!idle) {
    errno = EINVAL;
    return -1;
  }
  const bool writing = s->buffer != nullptr && (s->flags & REVIO_WRITE);
  free(s->buffer);
  s->buffer = nullptr;
  s->buffer_size = size;
  if (writing) {
    if (!ensure_buffer(s)) return -1;
    set_count(s, s->buffer_size);
  }
  return 0;
}
