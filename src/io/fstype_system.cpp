// The "system" file-system type of the mixed subsystem: plain files, the
// three standard descriptors and pipes, through the system calls.
//
// A handle names a file; its descriptor stays -1 until the per-file open.
// The names "vq_stdin", "vq_stdout" and "vq_stderr" stand for descriptors 0,
// 1 and 2, and "vq_pipe" for the pipe descriptor given as its mode: those
// handles hold their descriptor from the start and the per-file open keeps
// it. Path operations (stat, unlink, ...) act on the handle's name; stat of a
// handle that holds a descriptor asks the descriptor.
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "io/mixed_internal.h"

namespace {

FsVolume system_volume_record;

FsHandle* new_handle(const char* name, int mode, int32_t fd);

// ---------------------------------------------------------------------------
// Per file

int sys_open(MixedPrivate*, FsHandle* h, OpenFile* f) {
  if (h->data < 0) {
    int fd = ::open(h->name.c_str(), f->flags, static_cast<mode_t>(h->mode));
    if (fd < 0) return -1;
    h->data = fd;
    ::lseek(fd, 0, SEEK_SET);
  }
  f->position = 0;
  return h->data;
}

off_t sys_seek(MixedPrivate*, FsHandle* h, OpenFile* f, off_t offset, int whence) {
  off_t r = ::lseek(h->data, offset, whence);
  if (r >= 0) f->position = r;
  return r;
}

ssize_t sys_read(MixedPrivate*, FsHandle* h, OpenFile* f, void* buf, size_t n) {
  ssize_t r = ::read(h->data, buf, n);
  if (r > 0) f->position += r;
  return r;
}

ssize_t sys_write(MixedPrivate*, FsHandle* h, OpenFile* f, const void* buf, size_t n) {
  ssize_t r = ::write(h->data, buf, n);
  if (r > 0) {
    // An appending write lands at the end whatever the position was.
    off_t now = (f->flags & O_APPEND) ? ::lseek(h->data, 0, SEEK_CUR) : -1;
    f->position = now >= 0 ? now : f->position + r;
  }
  return r;
}

int sys_close(MixedPrivate* p, FsHandle* h, OpenFile* f) {
  int r = h->data >= 0 ? ::close(h->data) : 0;
  h->ops->free_handle(p, h);
  f->position = 0;
  return r;
}

int sys_flush(MixedPrivate*, FsHandle*) { return 0; }

// ---------------------------------------------------------------------------
// Per volume

int sys_create(MixedPrivate*, FsVolume*, const char* name, int mode, FsHandle** out) {
  int32_t fd = -1;
  if (std::strcmp(name, "vq_stdin") == 0) fd = 0;
  else if (std::strcmp(name, "vq_stdout") == 0) fd = 1;
  else if (std::strcmp(name, "vq_stderr") == 0) fd = 2;
  else if (std::strcmp(name, "vq_pipe") == 0) fd = mode;
  *out = new_handle(name, mode, fd);
  return 0;
}

int sys_lookup(MixedPrivate*, FsVolume*, const char* name, FsHandle** out) {
  *out = nullptr;
  if (::access(name, F_OK) != 0) return -1;
  *out = new_handle(name, 0666, -1);
  return 0;
}

int sys_link(MixedPrivate*, FsHandle* h, const char* new_name) {
  return ::link(h->name.c_str(), new_name);
}
int sys_unlink(MixedPrivate*, FsHandle* h) { return ::unlink(h->name.c_str()); }
int sys_rename(MixedPrivate*, FsHandle* h, const char* new_name) {
  return ::rename(h->name.c_str(), new_name);
}
int sys_stat(MixedPrivate*, FsHandle* h, struct stat* st) {
  return h->data >= 0 ? ::fstat(h->data, st) : ::stat(h->name.c_str(), st);
}
int sys_access(MixedPrivate*, FsHandle* h, int mode) { return ::access(h->name.c_str(), mode); }
int sys_truncate(MixedPrivate*, FsHandle* h, off_t length) {
  return h->data >= 0 ? ::ftruncate(h->data, length) : ::truncate(h->name.c_str(), length);
}
void sys_free(MixedPrivate*, FsHandle* h) { delete h; }

const FsVolumeOps system_volume_ops = {sys_create, sys_lookup, sys_link,     sys_unlink, sys_rename,
                                       sys_stat,   sys_access, sys_truncate, sys_free};

FsHandle* new_handle(const char* name, int mode, int32_t fd) {
  return new FsHandle{&system_volume_ops, name, mode, fd, nullptr};
}

// ---------------------------------------------------------------------------
// Type

int sys_attach(MixedPrivate* p, MixedState*) {
  system_volume_record.ops = &system_volume_ops;
  p->system_volume = &system_volume_record;
  return 0;
}
FsVolume* sys_get_volume(MixedPrivate* p, MixedState*) { return p->system_volume; }
int sys_detach(MixedPrivate* p) {
  p->system_volume = nullptr;
  return 0;
}

}  // namespace

FsType fstype_system_make() {
  FsType t{};
  t.name = "system";
  t.attach = sys_attach;
  t.get_volume = sys_get_volume;
  t.detach = sys_detach;
  t.file = {sys_open, sys_seek, sys_read, sys_write, sys_close, sys_flush};
  t.volume = system_volume_ops;
  return t;
}
