// The printf-like functions of the stream layer: each picks a stream and
// hands the format to the output engine.
#include <cerrno>
#include <cstdarg>

#include "io/vqio.h"

namespace {

// A string stream stores at most this many characters; more are dropped
// (and still counted), and the NUL always follows the stored text.
constexpr int32_t kStringCapacity = 32766;

}  // namespace

int vqio_vfprintf(VqStream* s, const char* format, va_list args) {
  return vqio_doprnt(format, args, s);
}

int vqio_fprintf(VqStream* s, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = vqio_doprnt(format, args, s);
  va_end(args);
  return n;
}

int vqio_vprintf(const char* format, va_list args) {
  return vqio_doprnt(format, args, vqio_stdout);
}

int vqio_printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = vqio_doprnt(format, args, vqio_stdout);
  va_end(args);
  return n;
}

int vqio_vsprintf(char* buf, const char* format, va_list args) {
  if (!buf) {
    errno = EINVAL;
    return -1;
  }
  // A write-only string stream on the stack over the caller's buffer: no
  // descriptor, no error hook, no allocation.
  VqStream s{};
  s.flags = VQ_WRITE | VQ_STRING;
  s.fd = -1;
  s.base = s.current = reinterpret_cast<unsigned char*>(buf);
  s.size = s.count = kStringCapacity;
  int n = vqio_doprnt(format, args, &s);
  *s.current = '\0';
  return n;
}

int vqio_sprintf(char* buf, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = vqio_vsprintf(buf, format, args);
  va_end(args);
  return n;
}
