// Byte, line and block transfers of the streams: the refill and write-out
// slow paths behind the inline fast paths, and the direction changes of
// update streams.
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <unistd.h>

#include "io/stream_internal.h"

using namespace vqio_internal;

namespace vqio_internal {

ssize_t read_retry(int fd, void* buf, size_t count) {
  for (;;) {
    ssize_t n = vqio_read(fd, buf, count);
    if (n >= 0 || errno != EINTR) return n;
  }
}

ssize_t write_all(int fd, const void* buf, size_t count) {
  const unsigned char* p = static_cast<const unsigned char*>(buf);
  size_t done = 0;
  while (done < count) {
    ssize_t n = vqio_write(fd, p + done, count - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return -1;
    }
    done += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

int write_out(VqStream* s) {
  int rc = 0;
  if (s->base && s->current > s->base) {
    size_t n = static_cast<size_t>(s->current - s->base);
    if (write_all(s->fd, s->base, n) < 0) {
      s->flags |= VQ_ERR;
      report_failure(s, 'w');
      rc = -1;
    }
  }
  s->current = s->base;
  s->count = (!s->base || (s->flags & VQ_UNBUF)) ? 0 : s->size;
  return rc;
}

int begin_read(VqStream* s) {
  uint16_t f = s->flags;
  if (f & VQ_UPDATE) {
    if (f & VQ_READ) return 0;
    int rc = 0;
    if (f & VQ_WRITE) rc = write_out(s);  // written bytes go out before reading
    s->flags = static_cast<uint16_t>((s->flags & ~VQ_WRITE) | VQ_READ);
    s->current = s->base;
    s->count = 0;
    return rc;
  }
  if ((f & (VQ_READ | VQ_WRITE)) == VQ_READ) return 0;
  errno = EINVAL;
  return -1;
}

int begin_write(VqStream* s) {
  uint16_t f = s->flags;
  if (f & VQ_UPDATE) {
    if (f & VQ_WRITE) return 0;
    if ((f & VQ_READ) && s->count > 0) {
      // Bytes read ahead are dropped: the descriptor goes back to the
      // stream's position so that the write lands where the reader stood.
      if (vqio_lseek(s->fd, -static_cast<off_t>(s->count), SEEK_CUR) < 0) {
        s->flags |= VQ_ERR;
        return -1;
      }
    }
    s->flags = static_cast<uint16_t>((s->flags & ~VQ_READ) | VQ_WRITE);
    s->current = s->base;
    s->count = (!s->base || (s->flags & VQ_UNBUF)) ? 0 : s->size;
    return 0;
  }
  if ((f & (VQ_READ | VQ_WRITE)) == VQ_WRITE) return 0;
  errno = EINVAL;
  return -1;
}

}  // namespace vqio_internal

namespace {

// Standard output, when line buffered, goes out before standard input is read.
void before_read(VqStream* s) {
  if (s == vqio_stdin && (vqio_stdout->flags & VQ_LINEBUF) && (vqio_stdout->flags & VQ_WRITE))
    write_out(vqio_stdout);
}

// Size of a transfer of n items of size bytes; false on overflow.
bool transfer_size(size_t size, size_t n, size_t* total) {
  if (size != 0 && n > SIZE_MAX / size) {
    errno = EOVERFLOW;
    return false;
  }
  *total = size * n;
  return true;
}

// Reads up to count bytes straight into buf, looping over short reads;
// sets end of file or the error flag. Returns the bytes read.
size_t read_direct(VqStream* s, unsigned char* buf, size_t count) {
  size_t done = 0;
  while (done < count) {
    ssize_t n = read_retry(s->fd, buf + done, count - done);
    if (n == 0) {
      s->flags |= VQ_EOF;
      break;
    }
    if (n < 0) {
      s->flags |= VQ_ERR;
      report_failure(s, 'r');
      break;
    }
    done += static_cast<size_t>(n);
  }
  return done;
}

}  // namespace

// ---------------------------------------------------------------------------
// Slow paths

int vqio_filbuf(VqStream* s) {
  if (!s) {
    errno = EINVAL;
    return -1;
  }
  if (s->fill_hook) return s->fill_hook(s);
  if (s->flags & VQ_STRING) {
    // A string stream never refills: its end is the end of the string.
    if (!(s->flags & VQ_READ)) {
      errno = EINVAL;
      return -1;
    }
    if (s->count > 0) {
      --s->count;
      return *s->current++;
    }
    s->flags |= VQ_EOF;
    return -1;
  }
  if (begin_read(s) < 0) return -1;
  if (s->count > 0) {
    --s->count;
    return *s->current++;
  }
  before_read(s);
  if (!s->base) give_buffer(s);
  s->count = 0;
  s->current = s->base;
  s->flags &= static_cast<uint16_t>(~VQ_EOF);
  ssize_t n = read_retry(s->fd, s->base, static_cast<size_t>(s->size));
  if (n <= 0) {
    if (n == 0) {
      s->flags |= VQ_EOF;
      if (s->flags & VQ_UPDATE) s->flags &= static_cast<uint16_t>(~VQ_READ);
    } else {
      s->flags |= VQ_ERR;
      report_failure(s, 'r');
    }
    return -1;
  }
  s->count = static_cast<int32_t>(n - 1);
  return *s->current++;
}

int vqio_flsbuf(int c, VqStream* s) {
  if (!s) {
    errno = EINVAL;
    return -1;
  }
  if (s->flush_hook) return s->flush_hook(c, s);
  unsigned char byte = static_cast<unsigned char>(c);
  if (s->flags & VQ_STRING) {
    // Bytes beyond a string stream's capacity are dropped.
    if (!(s->flags & VQ_WRITE) || s->count <= 0) return -1;
    --s->count;
    return *s->current++ = byte;
  }
  if (begin_write(s) < 0) return -1;
  if (!s->base) {
    give_buffer(s);
    s->count = (s->flags & VQ_UNBUF) ? 0 : s->size;
  }
  if (s->flags & VQ_UNBUF) {
    int rc = write_out(s);
    if (write_all(s->fd, &byte, 1) < 0) {
      s->flags |= VQ_ERR;
      report_failure(s, 'w');
      return -1;
    }
    return rc < 0 ? -1 : byte;
  }
  int rc = 0;
  if (s->count <= 0) rc = write_out(s);
  *s->current++ = byte;
  --s->count;
  if ((s->flags & VQ_LINEBUF) && byte == '\n') rc |= write_out(s);
  return rc < 0 ? -1 : byte;
}

// ---------------------------------------------------------------------------
// Bytes and lines

int vqio_fgetc(VqStream* s) {
  if (!s) {
    errno = EINVAL;
    return -1;
  }
  return vqio_getc(s);
}

int vqio_fputc(int c, VqStream* s) {
  if (!s) {
    errno = EINVAL;
    return -1;
  }
  return vqio_putc(c, s);
}

int vqio_ungetc(int c, VqStream* s) {
  if (c == -1 || !s || !(s->flags & VQ_READ) || !s->base || s->count < 0 ||
      s->current <= s->base)
    return -1;
  --s->current;
  // A string stream is never written: the byte before current is the one
  // that was taken from it (the caller's string may be read-only).
  if (!(s->flags & VQ_STRING)) *s->current = static_cast<unsigned char>(c);
  ++s->count;
  s->flags &= static_cast<uint16_t>(~VQ_EOF);
  return static_cast<unsigned char>(c);
}

char* vqio_fgets(char* buf, int n, VqStream* s) {
  if (!buf || n <= 0 || !s) {
    errno = EINVAL;
    return nullptr;
  }
  if (s->flags & VQ_ERR) return nullptr;
  int i = 0;
  while (i < n - 1) {
    int c = vqio_getc(s);
    if (c == -1) break;
    buf[i++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  buf[i] = '\0';
  if ((s->flags & VQ_ERR) || (i == 0 && n > 1)) return nullptr;
  return buf;
}

char* vqio_gets(char* buf) {
  if (!buf) {
    errno = EINVAL;
    return nullptr;
  }
  size_t i = 0;
  int c;
  while ((c = vqio_getc(vqio_stdin)) != -1 && c != '\n') buf[i++] = static_cast<char>(c);
  buf[i] = '\0';
  if (vqio_stdin->flags & VQ_ERR) return nullptr;
  if (c == -1 && i == 0) return nullptr;
  return buf;
}

int vqio_fputs(const char* str, VqStream* s) {
  if (!str || !s) {
    errno = EINVAL;
    return -1;
  }
  if ((s->flags & VQ_UNBUF) && !(s->flags & VQ_STRING) && !s->flush_hook) {
    if (begin_write(s) < 0) return -1;
    if (write_out(s) < 0) return -1;
    size_t len = std::strlen(str);
    if (write_all(s->fd, str, len) < 0) {
      s->flags |= VQ_ERR;
      report_failure(s, 'w');
      return -1;
    }
    return static_cast<int>(len);
  }
  // The whole string fits in the buffer of a stream that is only being
  // written, without line buffering: one copy instead of a byte at a time.
  const size_t len = std::strlen(str);
  if (len > 0 && s->count > 0 && static_cast<size_t>(s->count) >= len &&
      (s->flags & (VQ_READ | VQ_WRITE | VQ_LINEBUF | VQ_STRING)) == VQ_WRITE && !s->flush_hook) {
    std::memcpy(s->current, str, len);
    s->current += len;
    s->count -= static_cast<int32_t>(len);
    return static_cast<unsigned char>(str[len - 1]);
  }
  int last = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(str); *p; ++p) {
    last = vqio_putc(*p, s);
    if (last == -1) return -1;
  }
  return last;
}

int vqio_puts(const char* str) {
  if (vqio_fputs(str, vqio_stdout) == -1) return -1;
  return vqio_putc('\n', vqio_stdout);
}

int vqio_getw(VqStream* s) {
  unsigned char bytes[4];
  for (unsigned char& b : bytes) {
    int c = vqio_fgetc(s);
    if (c == -1) return -1;
    b = static_cast<unsigned char>(c);
  }
  int32_t word;
  std::memcpy(&word, bytes, sizeof word);
  return word;
}

int vqio_putw(int word, VqStream* s) {
  int32_t w = word;
  unsigned char bytes[4];
  std::memcpy(bytes, &w, sizeof bytes);
  int result = 0;
  for (unsigned char b : bytes)
    if (vqio_fputc(b, s) == -1) result = -1;  // all four are attempted
  return result;
}

// ---------------------------------------------------------------------------
// Blocks

size_t vqio_fread(void* buf, size_t size, size_t n, VqStream* s) {
  if (!s || !(s->flags & (VQ_READ | VQ_UPDATE))) {
    errno = EINVAL;
    return 0;
  }
  size_t total;
  if (!transfer_size(size, n, &total)) return 0;
  if (!buf || total == 0 || (s->flags & (VQ_EOF | VQ_ERR))) return 0;
  unsigned char* out = static_cast<unsigned char*>(buf);
  size_t done = 0;

  if (s->flags & VQ_STRING) {
    size_t take = s->count > 0 ? static_cast<size_t>(s->count) : 0;
    if (take > total) take = total;
    std::memcpy(out, s->current, take);
    s->current += take;
    s->count -= static_cast<int32_t>(take);
    if (take < total) s->flags |= VQ_EOF;
    return take / size;
  }
  if (begin_read(s) < 0) return 0;
  before_read(s);
  if (!s->base) give_buffer(s);

  while (done < total) {
    if (s->count > 0) {
      size_t take = static_cast<size_t>(s->count);
      if (take > total - done) take = total - done;
      std::memcpy(out + done, s->current, take);
      s->current += take;
      s->count -= static_cast<int32_t>(take);
      done += take;
      continue;
    }
    size_t want = total - done;
    if ((s->flags & VQ_UNBUF) || want >= static_cast<size_t>(s->size)) {
      // Large requests (and every request of an unbuffered stream) go
      // straight into the caller's memory.
      done += read_direct(s, out + done, want);
      if ((s->flags & VQ_EOF) && (s->flags & VQ_UPDATE))
        s->flags &= static_cast<uint16_t>(~VQ_READ);
      break;
    }
    int c = vqio_filbuf(s);
    if (c == -1) break;
    out[done++] = static_cast<unsigned char>(c);
  }
  return done / size;
}

size_t vqio_fwrite(const void* buf, size_t size, size_t n, VqStream* s) {
  if (!s || !(s->flags & (VQ_WRITE | VQ_UPDATE))) {
    errno = EINVAL;
    return 0;
  }
  size_t total;
  if (!transfer_size(size, n, &total)) return 0;
  if (!buf || total == 0 || (s->flags & VQ_ERR)) return 0;
  const unsigned char* in = static_cast<const unsigned char*>(buf);

  if ((s->flags & VQ_STRING) || s->flush_hook) {
    size_t done = 0;
    while (done < total && vqio_flsbuf(in[done], s) != -1) ++done;
    return done / size;
  }
  if (begin_write(s) < 0) return 0;
  if (!s->base) {
    give_buffer(s);
    s->count = (s->flags & VQ_UNBUF) ? 0 : s->size;
  }

  if (s->flags & VQ_UNBUF) {
    if (write_out(s) < 0) return 0;
    if (write_all(s->fd, in, total) < 0) {
      s->flags |= VQ_ERR;
      report_failure(s, 'w');
      return 0;
    }
    return n;
  }

  size_t done = 0;
  size_t room = s->count > 0 ? static_cast<size_t>(s->count) : 0;
  if (total - done > room) {
    // Fill the buffer, send it out, then whole blocks go out directly.
    std::memcpy(s->current, in, room);
    s->current += room;
    s->count = 0;
    done = room;
    if (write_out(s) < 0) return done / size;
    size_t block = static_cast<size_t>(s->size);
    size_t direct = (total - done) / block * block;
    if (direct > 0) {
      if (write_all(s->fd, in + done, direct) < 0) {
        s->flags |= VQ_ERR;
        report_failure(s, 'w');
        return done / size;
      }
      done += direct;
    }
  }
  size_t rest = total - done;
  std::memcpy(s->current, in + done, rest);
  s->current += rest;
  s->count -= static_cast<int32_t>(rest);
  done = total;
  if ((s->flags & VQ_LINEBUF) && std::memchr(in, '\n', total) && write_out(s) < 0) return 0;
  return done / size;
}
