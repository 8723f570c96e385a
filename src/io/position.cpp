// Flushing and positioning of streams.
#include <cerrno>
#include <unistd.h>

#include "io/stream_internal.h"

using namespace vqio_internal;

namespace {

// The stream's read-ahead goes back to the descriptor: its position becomes
// the stream's. -1 (error flag set) when the descriptor cannot seek.
int give_back_read_ahead(VqStream* s) {
  if (s->count > 0 && vqio_lseek(s->fd, -static_cast<off_t>(s->count), SEEK_CUR) < 0) {
    s->flags |= VQ_ERR;
    return -1;
  }
  s->current = s->base;
  s->count = 0;
  return 0;
}

}  // namespace

int vqio_fflush(VqStream* s) {
  if (!s || !(s->flags & (VQ_WRITE | VQ_UPDATE))) {
    errno = EINVAL;
    return -1;
  }
  if (s->flags & VQ_STRING) return 0;
  int rc = 0;
  if (s->flags & VQ_WRITE)
    rc = write_out(s);
  else if (s->flags & VQ_READ)  // an update stream that is reading
    rc = give_back_read_ahead(s);
  if (s->flags & VQ_UPDATE) {
    s->flags &= static_cast<uint16_t>(~(VQ_READ | VQ_WRITE));
    s->current = s->base;
    s->count = 0;
  }
  return rc;
}

int vqio_fseek(VqStream* s, long offset, int whence) {
  if (!s || !is_open(s) || whence < 0 || whence > 2 || (whence == SEEK_SET && offset < 0)) {
    errno = EINVAL;
    return -1;
  }
  s->flags &= static_cast<uint16_t>(~VQ_EOF);
  off_t target = offset;
  if (s->flags & VQ_WRITE) {
    if (write_out(s) < 0) return -1;
  } else if ((s->flags & VQ_READ) && whence == SEEK_CUR && s->base) {
    target -= s->count;  // the descriptor is ahead by the unread bytes
  }
  if (s->flags & VQ_UPDATE) s->flags &= static_cast<uint16_t>(~(VQ_READ | VQ_WRITE));
  off_t pos = vqio_lseek(s->fd, target, whence);
  s->current = s->base;
  bool writing = (s->flags & VQ_WRITE) && s->base && !(s->flags & VQ_UNBUF);
  s->count = writing ? s->size : 0;
  if (pos < 0) {
    s->flags |= VQ_ERR;
    return -1;
  }
  return 0;
}

long vqio_ftell(VqStream* s) {
  if (!s || !is_open(s)) {
    errno = EINVAL;
    return -1;
  }
  off_t pos = vqio_lseek(s->fd, 0, SEEK_CUR);
  if (pos < 0) return -1;
  if (s->base) {
    if (s->flags & VQ_READ)
      pos -= s->count;
    else if (s->flags & VQ_WRITE)
      pos += s->current - s->base;
  }
  return static_cast<long>(pos);
}

void vqio_rewind(VqStream* s) {
  if (!s) return;
  vqio_clearerr(s);
  vqio_fseek(s, 0, SEEK_SET);
  vqio_clearerr(s);
}

int vqio_fgetpos(VqStream* s, vqio_fpos_t* pos) {
  if (!pos) {
    errno = EINVAL;
    return -1;
  }
  long p = vqio_ftell(s);
  if (p < 0) return -1;
  *pos = p;
  return 0;
}

int vqio_fsetpos(VqStream* s, const vqio_fpos_t* pos) {
  if (!pos) {
    errno = EINVAL;
    return -1;
  }
  return vqio_fseek(s, *pos, SEEK_SET);
}
