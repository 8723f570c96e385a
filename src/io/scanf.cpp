// The scanf-like functions of the stream layer: each picks a stream and
// hands the format to the input engine.
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstring>

#include "io/vqio.h"

int vqio_vfscanf(VqStream* s, const char* format, va_list args) {
  return vqio_doscan(s, format, args);
}

int vqio_fscanf(VqStream* s, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = vqio_doscan(s, format, args);
  va_end(args);
  return n;
}

int vqio_vscanf(const char* format, va_list args) {
  return vqio_doscan(vqio_stdin, format, args);
}

int vqio_scanf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = vqio_doscan(vqio_stdin, format, args);
  va_end(args);
  return n;
}

int vqio_vsscanf(const char* str, const char* format, va_list args) {
  if (!str) {
    errno = EINVAL;
    return -1;
  }
  // A read-only string stream on the stack whose buffer is the string
  // itself: its end is the string's end, and nothing is ever stored into it
  // (the string may be a literal in read-only memory).
  size_t length = std::strlen(str);
  VqStream s{};
  s.flags = VQ_READ | VQ_STRING;
  s.fd = -1;
  s.base = s.current = reinterpret_cast<unsigned char*>(const_cast<char*>(str));
  s.size = s.count = length > INT32_MAX ? INT32_MAX : static_cast<int32_t>(length);
  return vqio_doscan(&s, format, args);
}

int vqio_sscanf(const char* str, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = vqio_vsscanf(str, format, args);
  va_end(args);
  return n;
}
