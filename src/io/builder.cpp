// The "builder" I/O subsystem: accepts superfile member paths ("@superfile@
// member") but works on plain files, so that a program run under it reads
// and writes the member names as ordinary files. Every path drops its
// "@superfile@" prefix; descriptors are the system's own. No state.
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "io/vqio.h"

const char* builder_strip_path(const char* path) {
  if (!path || path[0] != '@') return path;
  const char* second = std::strchr(path + 1, '@');
  return second ? second + 1 : path + std::strlen(path);
}

namespace {

int builder_access(IoSubsystem*, const char* path, int mode) {
  return ::access(builder_strip_path(path), mode);
}
int builder_open(IoSubsystem*, const char* path, int flags, int mode) {
  if (!(flags & O_CREAT)) mode = 0666;
  return ::open(builder_strip_path(path), flags, static_cast<mode_t>(mode));
}
int builder_creat(IoSubsystem*, const char* path, int mode) {
  return ::creat(builder_strip_path(path), static_cast<mode_t>(mode));
}
int builder_stat(IoSubsystem*, const char* path, struct stat* st) {
  return ::stat(builder_strip_path(path), st);
}
int builder_link(IoSubsystem*, const char* oldpath, const char* newpath) {
  return ::link(builder_strip_path(oldpath), builder_strip_path(newpath));
}
int builder_unlink(IoSubsystem*, const char* path) { return ::unlink(builder_strip_path(path)); }

}  // namespace

// Descriptor calls, start, stop, control and perror are those of "native";
// only the calls that take a path strip it first.
int vqio_builder_init(IoSubsystem* rec) {
  vqio_native_init(rec);
  rec->access = builder_access;
  rec->open = builder_open;
  rec->creat = builder_creat;
  rec->stat = builder_stat;
  rec->link = builder_link;
  rec->unlink = builder_unlink;
  return 0;
}
