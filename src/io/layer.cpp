// The I/O layer's start-up, exit, subsystem selection and forwarding of the
// low-level calls to the current subsystem.
//
// Every registry entry with an init function is set up once at start-up into
// a list of records held by value; one of them is current and is the only
// one started. The state is plain data (no destructors run at exit).
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <vector>

#include "io/vqio.h"

IoSubsystemEntry IoSubsystemRegistry[] = {
    {"native", vqio_native_init},
    {"builder", vqio_builder_init},
    {"mixed", vqio_mixed_init},
    {nullptr, nullptr},
};

namespace {

struct LayerState {
  bool started;
  IoSubsystem* list;  // started-up subsystem records
  size_t used;
  size_t capacity;
  IoSubsystem* current;
};

LayerState layer;

// Appends a copy of rec to the list; false when memory runs out.
bool append_record(const IoSubsystem& rec) {
  if (layer.used == layer.capacity) {
    size_t grown = layer.capacity == 0 ? 4 : layer.capacity + 2;
    void* p = std::realloc(layer.list, grown * sizeof(IoSubsystem));
    if (!p) return false;
    layer.list = static_cast<IoSubsystem*>(p);
    std::memset(layer.list + layer.capacity, 0, (grown - layer.capacity) * sizeof(IoSubsystem));
    layer.capacity = grown;
  }
  layer.list[layer.used++] = rec;
  return true;
}

IoSubsystem* find_record(const char* name) {
  for (size_t i = 0; i < layer.used; ++i)
    if (std::strcmp(layer.list[i].name, name) == 0) return &layer.list[i];
  return nullptr;
}

void release_list() {
  for (size_t i = 0; i < layer.used; ++i) {
    std::free(layer.list[i].name);
    std::free(layer.list[i].priv);
  }
  std::free(layer.list);
  layer.list = nullptr;
  layer.used = layer.capacity = 0;
  layer.current = nullptr;
}

// The current subsystem for a low-level call; null (errno EBADF) before
// start-up, where there is none to forward to.
IoSubsystem* target() {
  if (!layer.current) errno = EBADF;
  return layer.current;
}

}  // namespace

void vqio_start(int argc, char** argv, const char* variable_name) {
  if (layer.started) return;
  layer.started = true;

  // A failing init leaves its subsystem out (its init is cleared); it is
  // reported once "native" is current, which the report's own write needs.
  std::vector<const char*> failed;
  for (IoSubsystemEntry* entry = IoSubsystemRegistry; entry->name; ++entry) {
    if (!entry->init) continue;  // not built: left out silently
    IoSubsystem rec;
    std::memset(&rec, 0, sizeof rec);
    rec.name = strdup(entry->name);
    if (rec.name && entry->init(&rec) == 0 && append_record(rec)) continue;
    std::free(rec.name);
    std::free(rec.priv);
    entry->init = nullptr;
    failed.push_back(entry->name);
  }

  layer.current = find_record("native");

  for (const char* name : failed) {
    vqio_fputs("I/O SubSystem ", vqio_stderr);
    vqio_fputs(name, vqio_stderr);
    vqio_fputs(" failed to start.", vqio_stderr);
  }

  if (variable_name) {
    const char* wanted = std::getenv(variable_name);
    if (wanted) vqio_select(wanted);  // an unknown name keeps the current one
  }

  if (layer.current && layer.current->start) layer.current->start(layer.current, argc, argv);
}

namespace {

bool output_lost_at_exit = false;

// Closes a stream at the exit, noting output that never reached its file:
// a write-out that fails here, or an earlier failed write of a stream still
// open. Standard error is left out: its failures cannot be told anyway.
int close_at_exit(VqStream* s) {
  if ((s->flags & VQ_WRITE) && !(s->flags & VQ_STRING) && s != vqio_stderr &&
      (vqio_fflush(s) != 0 || vqio_ferror(s)))
    output_lost_at_exit = true;
  return vqio_fclose(s);
}

}  // namespace

void vqio_exit(int status) {
  vqio_fwalk(close_at_exit);
  // Lost output must not end the program as a success.
  if (status == 0 && output_lost_at_exit) status = 1;
  if (layer.current && layer.current->stop) layer.current->stop(layer.current, status);
  release_list();
  std::exit(status);
}

int vqio_select(const char* name) {
  IoSubsystem* rec = name ? find_record(name) : nullptr;
  if (!rec) return -1;
  layer.current = rec;
  return 1;
}

IoSubsystem* vqio_current() { return layer.current; }

int* vqio_control(const char* command, void* argument) {
  IoSubsystem* t = target();
  if (!t || !t->control) return nullptr;
  return t->control(t, command, argument);
}

// ---------------------------------------------------------------------------
// Forwarding: each call goes unchanged to the current subsystem.

int vqio_access(const char* path, int mode) {
  IoSubsystem* t = target();
  return t ? t->access(t, path, mode) : -1;
}

int vqio_open(const char* path, int flags, ...) {
  int mode = 0;
  if (flags & O_CREAT) {
    va_list args;
    va_start(args, flags);
    mode = va_arg(args, int);
    va_end(args);
  }
  IoSubsystem* t = target();
  return t ? t->open(t, path, flags, mode) : -1;
}

int vqio_creat(const char* path, int mode) {
  IoSubsystem* t = target();
  return t ? t->creat(t, path, mode) : -1;
}

ssize_t vqio_read(int fd, void* buf, size_t count) {
  IoSubsystem* t = target();
  return t ? t->read(t, fd, buf, count) : -1;
}

ssize_t vqio_write(int fd, const void* buf, size_t count) {
  IoSubsystem* t = target();
  return t ? t->write(t, fd, buf, count) : -1;
}

off_t vqio_lseek(int fd, off_t offset, int whence) {
  IoSubsystem* t = target();
  return t ? t->lseek(t, fd, offset, whence) : -1;
}

int vqio_close(int fd) {
  if (fd < 0) return -1;
  IoSubsystem* t = target();
  return t ? t->close(t, fd) : -1;
}

int vqio_fstat(int fd, struct stat* st) {
  IoSubsystem* t = target();
  return t ? t->fstat(t, fd, st) : -1;
}

int vqio_stat(const char* path, struct stat* st) {
  IoSubsystem* t = target();
  return t ? t->stat(t, path, st) : -1;
}

int vqio_dup(int fd) {
  IoSubsystem* t = target();
  return t ? t->dup(t, fd) : -1;
}

int vqio_dup2(int fd, int fd2) {
  IoSubsystem* t = target();
  return t ? t->dup2(t, fd, fd2) : -1;
}

int vqio_pipe(int fds[2]) {
  IoSubsystem* t = target();
  return t ? t->pipe(t, fds) : -1;
}

int vqio_link(const char* oldpath, const char* newpath) {
  IoSubsystem* t = target();
  return t ? t->link(t, oldpath, newpath) : -1;
}

int vqio_unlink(const char* path) {
  IoSubsystem* t = target();
  return t ? t->unlink(t, path) : -1;
}

off_t vqio_tell(int fd) {
  IoSubsystem* t = target();
  return t ? t->tell(t, fd) : -1;
}

void vqio_perror(const char* message) {
  IoSubsystem* t = target();
  if (t && t->perror)
    t->perror(t, message);
  else
    std::perror(message);
}
