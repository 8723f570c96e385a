// Descriptor calls outside the subsystem record: truncation and the system
// descriptor behind a layer descriptor. A subsystem with descriptors of its
// own answers them through named control commands ("vq_ftruncate",
// "vq_system_fd"); any other subsystem's descriptors are the system's.
#include <unistd.h>

#include "io/mixed_internal.h"
#include "io/vqio.h"

int vqio_ftruncate(int fd, off_t length) {
  MixedTruncate args{fd, length};
  if (const int* r = vqio_control("vq_ftruncate", &args)) return *r;
  return ::ftruncate(fd, length);
}

int vqio_system_fd(int fd) {
  if (const int* r = vqio_control("vq_system_fd", &fd)) return *r;
  return fd;
}
