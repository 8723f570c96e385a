// The "native" I/O subsystem: each operation is the POSIX call of the same
// name. It keeps no state and its start and stop do nothing.
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "io/vqio.h"

namespace {

int native_start(IoSubsystem*, int, char**) { return 0; }
void native_stop(IoSubsystem*, int) {}
int* native_control(IoSubsystem*, const char*, void*) { return nullptr; }
int native_access(IoSubsystem*, const char* path, int mode) { return ::access(path, mode); }

int native_open(IoSubsystem*, const char* path, int flags, int mode) {
  if (flags & O_CREAT) return ::open(path, flags, static_cast<mode_t>(mode));
  return ::open(path, flags);
}

int native_creat(IoSubsystem*, const char* path, int mode) {
  return ::creat(path, static_cast<mode_t>(mode));
}
ssize_t native_read(IoSubsystem*, int fd, void* buf, size_t count) {
  return ::read(fd, buf, count);
}
ssize_t native_write(IoSubsystem*, int fd, const void* buf, size_t count) {
  return ::write(fd, buf, count);
}
off_t native_lseek(IoSubsystem*, int fd, off_t offset, int whence) {
  return ::lseek(fd, offset, whence);
}
int native_close(IoSubsystem*, int fd) { return ::close(fd); }
int native_fstat(IoSubsystem*, int fd, struct stat* st) { return ::fstat(fd, st); }
int native_stat(IoSubsystem*, const char* path, struct stat* st) { return ::stat(path, st); }
int native_dup(IoSubsystem*, int fd) { return ::dup(fd); }
int native_dup2(IoSubsystem*, int fd, int fd2) { return ::dup2(fd, fd2); }
int native_pipe(IoSubsystem*, int fds[2]) { return ::pipe(fds); }
int native_link(IoSubsystem*, const char* oldpath, const char* newpath) {
  return ::link(oldpath, newpath);
}
int native_unlink(IoSubsystem*, const char* path) { return ::unlink(path); }
off_t native_tell(IoSubsystem*, int fd) { return ::lseek(fd, 0, SEEK_CUR); }
void native_perror(IoSubsystem*, const char* message) { std::perror(message); }

}  // namespace

int vqio_native_init(IoSubsystem* rec) {
  rec->start = native_start;
  rec->stop = native_stop;
  rec->control = native_control;
  rec->access = native_access;
  rec->open = native_open;
  rec->creat = native_creat;
  rec->read = native_read;
  rec->write = native_write;
  rec->lseek = native_lseek;
  rec->close = native_close;
  rec->fstat = native_fstat;
  rec->stat = native_stat;
  rec->dup = native_dup;
  rec->dup2 = native_dup2;
  rec->pipe = native_pipe;
  rec->link = native_link;
  rec->unlink = native_unlink;
  rec->tell = native_tell;
  rec->perror = native_perror;
  rec->priv = nullptr;
  return 0;
}
