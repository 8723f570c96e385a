// Buffer control of streams: setbuf, setvbuf, setbuffer, setlinebuf.
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <unistd.h>

#include "io/stream_internal.h"

using namespace vqio_internal;

namespace {

// Lets go of the present buffer without losing bytes: pending output is
// written, read-ahead handed back to the descriptor; an owned buffer is
// freed. The record is left without a buffer.
void detach_buffer(VqStream* s) {
  if (s->base) {
    if (s->flags & VQ_WRITE)
      write_out(s);
    else if ((s->flags & VQ_READ) && s->count > 0)
      vqio_lseek(s->fd, -static_cast<off_t>(s->count), SEEK_CUR);
  }
  if ((s->flags & VQ_OWNBUF) && s->base) stream_alloc_hooks.release(s->base);
  s->base = s->current = nullptr;
  s->count = 0;
  s->flags &= static_cast<uint16_t>(~(VQ_OWNBUF | VQ_UNBUF));
}

// Free space of a freshly installed buffer: room only for a stream that is
// writing and buffered; 0 sends the next transfer through the slow path.
int32_t fresh_count(const VqStream* s) {
  if (!(s->flags & VQ_WRITE) || (s->flags & VQ_UNBUF)) return 0;
  return s->size;
}

void use_onebyte(VqStream* s) {
  s->flags |= VQ_UNBUF;
  s->base = s->current = &s->onebyte;
  s->size = 1;
  s->count = 0;
}

}  // namespace

void vqio_setbuf(VqStream* s, char* buf) {
  if (!s) {
    errno = EINVAL;
    return;
  }
  detach_buffer(s);
  if (!buf) {
    use_onebyte(s);
    return;
  }
  s->base = s->current = reinterpret_cast<unsigned char*>(buf);
  s->size = VQ_BUFSIZ;
  s->count = fresh_count(s);
}

int vqio_setvbuf(VqStream* s, char* buf, int mode, size_t size) {
  if (!s || (mode != VQ_IOFBF && mode != VQ_IONBF && mode != VQ_IOLBF) ||
      (mode == VQ_IOFBF && size == 0) || size > INT32_MAX) {
    errno = EINVAL;
    return -1;
  }
  if (s->base && (s->flags & (VQ_WRITE | VQ_UPDATE))) vqio_fflush(s);
  size_t want = size ? size : static_cast<size_t>(VQ_BUFSIZ);
  unsigned char* fresh = nullptr;
  if (mode != VQ_IONBF && !buf) {
    fresh = static_cast<unsigned char*>(stream_alloc_hooks.allocate(want));
    if (!fresh) {
      report_failure(s, 'm');
      return -1;
    }
  }
  detach_buffer(s);
  s->flags &= static_cast<uint16_t>(~VQ_LINEBUF);
  if (mode == VQ_IONBF) {
    use_onebyte(s);
    return 0;
  }
  if (mode == VQ_IOLBF) s->flags |= VQ_LINEBUF;
  if (fresh) {
    std::memset(fresh, 0, want);
    s->flags |= VQ_OWNBUF;
    s->base = fresh;
  } else {
    s->base = reinterpret_cast<unsigned char*>(buf);
  }
  s->current = s->base;
  s->size = static_cast<int32_t>(want);
  s->count = fresh_count(s);
  return 0;
}

void vqio_setbuffer(VqStream* s, char* buf, size_t size) {
  if (buf)
    vqio_setvbuf(s, buf, VQ_IOFBF, size);
  else
    vqio_setvbuf(s, nullptr, size > 0 ? VQ_IOFBF : VQ_IONBF, size);
}

void vqio_setlinebuf(VqStream* s) {
  if (!s) {
    errno = EINVAL;
    return;
  }
  if (!s->base) {
    vqio_setvbuf(s, nullptr, VQ_IOLBF, VQ_BUFSIZ);
    return;
  }
  if (!(s->flags & VQ_UNBUF)) s->flags |= VQ_LINEBUF;
}
