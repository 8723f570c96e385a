// Stream records: the pool of standard streams, the chain of allocated
// streams, opening, closing and the state queries.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#include "io/stream_internal.h"

using namespace vqio_internal;

namespace {

int default_error_hook(const char*, int, VqStream*) { return 0; }

char stdin_name[] = "standard input";
char stdout_name[] = "standard output";
char stderr_name[] = "standard error";

void* default_allocate(size_t n) { return std::malloc(n); }
void default_release(void* p) { std::free(p); }
void* default_reallocate(void* p, size_t n) { return std::realloc(p, n); }

bool is_static_name(const char* name) {
  return name == stdin_name || name == stdout_name || name == stderr_name;
}

// A new record: everything zero, fd -1, the default error hook.
void reset_record(VqStream* s, VqStream* next) {
  std::memset(s, 0, sizeof *s);
  s->fd = -1;
  s->error_hook = default_error_hook;
  s->next = next;
}

bool is_pool_record(const VqStream* s) {
  return s >= vqio_std_pool && s < vqio_std_pool + 3;
}

// Parses an fopen mode: open flags and stream flags; false for a bad mode.
bool parse_mode(const char* mode, int* oflags, uint16_t* sflags) {
  if (!mode) return false;
  switch (mode[0]) {
    case 'r': *oflags = O_RDONLY; *sflags = VQ_READ; break;
    case 'w': *oflags = O_WRONLY | O_CREAT | O_TRUNC; *sflags = VQ_WRITE; break;
    case 'a': *oflags = O_WRONLY | O_CREAT | O_APPEND; *sflags = VQ_WRITE; break;
    default: return false;
  }
  for (const char* p = mode + 1; *p; ++p) {
    if (*p == 't' || *p == 'b') continue;
    if (*p != '+') return false;
    if (*sflags == VQ_UPDATE) break;  // a second '+' ends the scan
    *oflags = (*oflags & ~(O_RDONLY | O_WRONLY)) | O_RDWR;
    *sflags = VQ_UPDATE;
  }
  return true;
}

}  // namespace

StreamAllocHooks stream_alloc_hooks = {default_allocate, default_release, default_reallocate};

VqStream vqio_std_pool[3] = {
    {0, nullptr, nullptr, 0, VQ_READ, 0, 0, 0, stdin_name, nullptr, nullptr, default_error_hook,
     nullptr},
    {0, nullptr, nullptr, 0, VQ_WRITE, 1, 0, 0, stdout_name, nullptr, nullptr, default_error_hook,
     nullptr},
    {0, nullptr, nullptr, 0, VQ_WRITE | VQ_UNBUF, 2, 0, 0, stderr_name, nullptr, nullptr,
     default_error_hook, nullptr},
};

namespace vqio_internal {

VqStream* open_list = nullptr;

VqStream* take_record() {
  for (VqStream& slot : vqio_std_pool) {
    if (slot.flags == 0) {
      reset_record(&slot, nullptr);
      return &slot;
    }
  }
  void* p = stream_alloc_hooks.allocate(sizeof(VqStream));
  if (!p) return nullptr;
  VqStream* s = static_cast<VqStream*>(p);
  reset_record(s, open_list);
  open_list = s;
  return s;
}

void drop_record(VqStream* s) {
  if (is_pool_record(s)) {
    reset_record(s, nullptr);  // flags 0: the slot is free
    return;
  }
  for (VqStream** link = &open_list; *link; link = &(*link)->next) {
    if (*link == s) {
      *link = s->next;
      break;
    }
  }
  stream_alloc_hooks.release(s);
}

void release_storage(VqStream* s) {
  if ((s->flags & VQ_OWNBUF) && s->base) stream_alloc_hooks.release(s->base);
  if (s->name && !is_static_name(s->name)) stream_alloc_hooks.release(s->name);
  s->base = s->current = nullptr;
  s->count = 0;
  s->size = 0;
  s->name = nullptr;
  s->flags &= static_cast<uint16_t>(~VQ_OWNBUF);
}

VqStream* wrap_descriptor(int fd, uint16_t flags, const char* path) {
  char* name = nullptr;
  if (path && !(name = copy_name(path))) return nullptr;
  VqStream* s = take_record();
  if (!s) {
    stream_alloc_hooks.release(name);
    errno = ENOMEM;
    return nullptr;
  }
  s->fd = fd;
  s->flags = flags;
  s->name = name;
  return s;
}

char* copy_name(const char* str) {
  size_t n = std::strlen(str) + 1;
  char* p = static_cast<char*>(stream_alloc_hooks.allocate(n));
  if (p) std::memcpy(p, str, n);
  return p;
}

void give_buffer(VqStream* s) {
  s->count = 0;
  if (!(s->flags & VQ_UNBUF)) {
    void* p = stream_alloc_hooks.allocate(VQ_BUFSIZ);
    if (p) {
      std::memset(p, 0, VQ_BUFSIZ);
      s->base = s->current = static_cast<unsigned char*>(p);
      s->size = VQ_BUFSIZ;
      s->flags |= VQ_OWNBUF;
      if (s == vqio_stdout && ::isatty(s->fd)) s->flags |= VQ_LINEBUF;
      return;
    }
    s->flags |= VQ_UNBUF;
  }
  s->base = s->current = &s->onebyte;
  s->size = 1;
}

}  // namespace vqio_internal

// ---------------------------------------------------------------------------
// Opening and closing

VqStream* vqio_fopen(const char* path, const char* mode) {
  int oflags = 0;
  uint16_t sflags = 0;
  if (!path || !parse_mode(mode, &oflags, &sflags)) {
    errno = EINVAL;
    return nullptr;
  }
  int fd = vqio_open(path, oflags, 0666);
  if (fd < 0) return nullptr;
  VqStream* s = wrap_descriptor(fd, sflags, path);
  if (!s) {
    int saved = errno;
    vqio_close(fd);
    errno = saved;
  }
  return s;
}

VqStream* vqio_fdopen(int fd, const char* mode) {
  if (!mode) {
    errno = EINVAL;
    return nullptr;
  }
  if (fd < 0) {
    errno = EBADF;
    return nullptr;
  }
  if (mode[0] == 'a') vqio_lseek(fd, 0, SEEK_END);
  return wrap_descriptor(fd, mode[0] == 'r' ? VQ_READ : VQ_WRITE, nullptr);
}

VqStream* vqio_freopen(const char* path, const char* mode, VqStream* s) {
  int oflags = 0;
  uint16_t sflags = 0;
  if (!s || !path || !parse_mode(mode, &oflags, &sflags)) {
    errno = EINVAL;
    return nullptr;
  }
  VqStream* next = s->next;
  if (is_open(s)) {
    if (s->flags & (VQ_WRITE | VQ_UPDATE)) vqio_fflush(s);
    if (s->fd > 2) vqio_close(s->fd);
    release_storage(s);
  }
  int fd = vqio_open(path, oflags, 0666);
  char* name = fd >= 0 ? copy_name(path) : nullptr;
  if (fd < 0 || !name) {
    int saved = errno;
    if (fd >= 0) vqio_close(fd);
    drop_record(s);  // the record was released: it is closed now
    errno = saved;
    return nullptr;
  }
  reset_record(s, next);
  s->fd = fd;
  s->flags = sflags;
  s->name = name;
  return s;
}

int vqio_fclose(VqStream* s) {
  if (!s || !is_open(s)) {
    errno = EINVAL;
    return -1;
  }
  int result = 0;
  if ((s->flags & (VQ_WRITE | VQ_UPDATE)) && vqio_fflush(s) != 0) result = -1;
  if (s->fd > 2 && vqio_close(s->fd) != 0) {
    report_failure(s, 'c');
    result = -1;
  }
  release_storage(s);
  drop_record(s);
  return result;
}

int vqio_fdclose(VqStream* s) {
  if (!s || !is_open(s)) {
    errno = EINVAL;
    return -1;
  }
  int result = 0;
  if (s->flags & (VQ_WRITE | VQ_UPDATE)) result = vqio_fflush(s);
  release_storage(s);
  drop_record(s);
  return result;
}

int vqio_fabort(VqStream* s) {
  if (!s || !is_open(s)) {
    errno = EINVAL;
    return -1;
  }
  s->current = s->base;
  bool no_room = !s->base || (s->flags & (VQ_READ | VQ_UPDATE | VQ_UNBUF));
  s->count = no_room ? 0 : s->size;
  return 0;
}

void vqio_fwalk(int (*op)(VqStream* s)) {
  for (VqStream& slot : vqio_std_pool)
    if (is_open(&slot)) op(&slot);
  for (VqStream* s = open_list; s;) {
    VqStream* next = s->next;  // op may close and free s
    op(s);
    s = next;
  }
}

// ---------------------------------------------------------------------------
// State

int vqio_feof(VqStream* s) {
  if (!s) {
    errno = EINVAL;
    return -1;
  }
  return s->flags & VQ_EOF;
}

int vqio_ferror(VqStream* s) {
  if (!s) {
    errno = EINVAL;
    return -1;
  }
  return s->flags & VQ_ERR;
}

int vqio_clearerr(VqStream* s) {
  if (!s) {
    errno = EINVAL;
    return -1;
  }
  s->flags &= static_cast<uint16_t>(~(VQ_EOF | VQ_ERR));
  return 1;
}

int vqio_fileno(VqStream* s) {
  if (!s) {
    errno = EINVAL;
    return -1;
  }
  return (s->flags & VQ_STRING) ? -1 : s->fd;
}
