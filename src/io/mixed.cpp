// The "mixed" I/O subsystem: its own table of 256 descriptors over the
// file-system types "system" (plain files, standard descriptors, pipes) and
// "superfile" (members of superfiles, paths of the form "@superfile@member").
//
// Every call that names a path goes to the type the path names: a member
// path selects its superfile and uses "superfile", any other path "system".
// The control command "vq_fstype_set" overrides that choice for the plain
// paths of stat, access, link and unlink until the next open.
//
// Failures give -1 with errno: EBADF for a descriptor that is out of range
// (negative included) or not open, EMFILE when no slot or record is free,
// ENOENT for a path that is not there; system calls set their own.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <string>
#include <unistd.h>
#include <vector>

#include "io/mixed_internal.h"
#include "io/vqio.h"
#include "util/util.h"

const FsTypeEntry FsTypeTable[] = {
    {"system", fstype_system_make},
    {"superfile", fstype_superfile_make},
    {nullptr, nullptr},
};

namespace {

MixedPrivate* priv_of(IoSubsystem* rec) { return static_cast<MixedPrivate*>(rec->priv); }

FsType* find_type(MixedState* s, const char* name) {
  for (FsType& t : s->types)
    if (name && std::strcmp(t.name, name) == 0) return &t;
  return nullptr;
}

bool is_member_path(const char* path) { return wild_match("@*@*", path) == 1; }

// The type of a path; a member path selects its superfile first (null when
// that fails). Plain paths go to "system", or to the explicit type when
// use_explicit is set.
FsType* type_for_path(MixedPrivate* p, const char* path, bool use_explicit) {
  MixedState* s = p->state;
  if (!path) {
    errno = ENOENT;
    return nullptr;
  }
  if (!is_member_path(path)) {
    if (use_explicit && s->explicit_type) return s->explicit_type;
    return find_type(s, "system");
  }
  if (path[1] == '@') {  // no superfile name
    errno = ENOENT;
    return nullptr;
  }
  std::string copy = path;
  std::vector<char*> fields;
  split_fields(copy.data(), "@", nullptr, nullptr, fields);
  if (fields.empty() || sf_set_superfile(p, fields[0]) != 1) return nullptr;
  return find_type(s, "superfile");
}

// The record behind a descriptor; null with EBADF.
OpenFile* record_of(IoSubsystem* rec, int fd) {
  MixedPrivate* p = priv_of(rec);
  if (!p || fd < 0 || fd >= MIXED_SLOTS || !p->state->slots[fd]) {
    errno = EBADF;
    return nullptr;
  }
  return p->state->slots[fd];
}

int free_slot(MixedState* s, int from) {
  for (int i = from; i < MIXED_SLOTS; ++i)
    if (!s->slots[i]) return i;
  errno = EMFILE;
  return -1;
}

// A free record moved to the front, with count 1; null (EMFILE) when all
// 1024 are in use.
OpenFile* take_record(MixedState* s) {
  OpenFile* f = nullptr;
  for (size_t i = 0; i < s->records.size(); ++i) {
    if (s->records[i]->count == 0) {
      f = s->records[i];
      s->records.erase(s->records.begin() + static_cast<std::ptrdiff_t>(i));
      break;
    }
  }
  if (!f) {
    if (s->records.size() >= MIXED_RECORDS) {
      errno = EMFILE;
      return nullptr;
    }
    f = new OpenFile{};
  }
  *f = OpenFile{};
  f->count = 1;
  s->records.insert(s->records.begin(), f);
  return f;
}

// One slot fewer on the record; the last one closes the file. The close's
// result.
int release_record(MixedPrivate* p, OpenFile* f) {
  int r = 0;
  if (f->count == 1 && f->handle) {
    r = f->ops->close(p, f->handle, f);
    f->handle = nullptr;
  }
  --f->count;
  return r;
}

// A record on an already made handle (standard descriptors and pipes).
int open_on_handle(MixedPrivate* p, int slot, int access, int flags, FsHandle* h) {
  MixedState* s = p->state;
  OpenFile* f = take_record(s);
  if (!f) {
    h->ops->free_handle(p, h);
    return -1;
  }
  FsType* sys = find_type(s, "system");
  f->ops = &sys->file;
  f->access = access;
  f->flags = flags;
  f->handle = h;
  s->slots[slot] = f;
  return slot;
}

// ---------------------------------------------------------------------------
// Operations

int mixed_start(IoSubsystem* rec, int, char** argv) {
  auto* p = static_cast<MixedPrivate*>(std::calloc(1, sizeof(MixedPrivate)));
  if (!p) return -1;
  rec->priv = p;
  p->state = new MixedState{};
  MixedState* s = p->state;
  if (argv && argv[0]) s->argv0 = argv[0];
  s->types.reserve(10);
  for (const FsTypeEntry* e = FsTypeTable; e->name; ++e) s->types.push_back(e->make());
  for (FsType& t : s->types) t.attach(p, s);
  s->current = find_type(s, "system");

  const char* names[3] = {"vq_stdin", "vq_stdout", "vq_stderr"};
  for (int fd = 0; fd < 3; ++fd) {
    FsHandle* h = nullptr;
    FsVolume* v = s->current->get_volume(p, s);
    if (s->current->volume.create(p, v, names[fd], 0, &h) != 0) return -1;
    open_on_handle(p, fd, fd == 0 ? 1 : 2, fd == 0 ? O_RDONLY : O_WRONLY, h);
  }
  return 0;
}

void mixed_stop(IoSubsystem* rec, int status) {
  MixedPrivate* p = priv_of(rec);
  if (!p) return;
  MixedState* s = p->state;
  for (OpenFile* f : s->records) {
    if (f->handle) f->handle->ops->free_handle(p, f->handle);
    delete f;
  }
  s->records.clear();
  bool lost = false;
  for (FsType& t : s->types) lost = t.detach(p) != 0 || lost;
  delete s;
  std::free(p);
  rec->priv = nullptr;
  // A superfile whose directory could not be written back has lost what
  // the run wrote to it: the program must not end as a success.
  if (lost && status == 0) std::exit(1);
}

int* mixed_control(IoSubsystem* rec, const char* command, void* argument) {
  static int result;
  MixedPrivate* p = priv_of(rec);
  if (!p || !command) return nullptr;
  const char* name = static_cast<const char*>(argument);
  if (std::strcmp(command, "sf_set_superfile") == 0) {
    result = sf_set_superfile(p, name);
  } else if (std::strcmp(command, "vq_fstype_set") == 0) {
    FsType* t = find_type(p->state, name);
    if (t) {
      p->state->current = t;
      p->state->explicit_type = std::strcmp(t->name, "system") == 0 ? nullptr : t;
    }
    result = t ? 1 : 0;
  } else if (std::strcmp(command, "sf_list_superfile") == 0) {
    result = 0;
  } else if (std::strcmp(command, "vq_ftruncate") == 0) {
    // Truncation of an open file, which the subsystem record has no
    // operation for (see vqio_ftruncate).
    // As ftruncate: only a descriptor open for writing cuts its file.
    const auto* args = static_cast<const MixedTruncate*>(argument);
    OpenFile* f = args ? record_of(rec, args->fd) : nullptr;
    if (f && !f->handle) errno = EBADF;
    const bool writable = f && f->handle && (f->access & 2);
    if (f && f->handle && !writable) errno = EINVAL;
    result = writable ? f->handle->ops->truncate(p, f->handle, args->length) : -1;
  } else if (std::strcmp(command, "vq_system_fd") == 0) {
    // The system descriptor of a "system" file (see vqio_system_fd).
    OpenFile* f = argument ? record_of(rec, *static_cast<const int*>(argument)) : nullptr;
    const bool system = f && f->handle && f->ops == &find_type(p->state, "system")->file;
    if (f && !system) errno = EBADF;
    result = system ? f->handle->data : -1;
  } else {
    return nullptr;
  }
  return &result;
}

int mixed_open(IoSubsystem* rec, const char* path, int flags, int mode) {
  MixedPrivate* p = priv_of(rec);
  if (!p) {
    errno = EBADF;
    return -1;
  }
  MixedState* s = p->state;
  if (!(flags & O_CREAT)) mode = 0666;
  const int slot = free_slot(s, 0);
  if (slot < 0) return -1;
  FsType* type = type_for_path(p, path, false);
  if (!type) return -1;
  s->current = type;
  s->explicit_type = nullptr;

  OpenFile* f = take_record(s);
  if (!f) return -1;
  f->ops = &type->file;
  f->flags = flags;
  f->access = (flags & O_ACCMODE) + 1;
  s->slots[slot] = f;

  FsVolume* volume = type->get_volume(p, s);
  FsHandle* h = nullptr;
  bool ok;
  if (flags & O_CREAT) {
    if (type->volume.lookup(p, volume, path, &h) != 0) {
      if (h) type->volume.free_handle(p, h);
      h = nullptr;
      ok = type->volume.create && type->volume.create(p, volume, path, mode, &h) == 0;
    } else {
      ok = !(flags & O_EXCL);
      if (!ok) errno = EEXIST;
    }
  } else {
    ok = type->volume.lookup(p, volume, path, &h) == 0;
  }
  if (ok && (flags & O_TRUNC)) type->volume.truncate(p, h, 0);
  if (ok) {
    h->mode = mode;
    f->handle = h;
    ok = f->ops->open(p, h, f) >= 0;
    if (!ok) f->handle = nullptr;
  }
  if (!ok) {
    const int saved = errno;
    if (h) type->volume.free_handle(p, h);
    s->slots[slot] = nullptr;
    f->count = 0;
    errno = saved;
    return -1;
  }
  f->flags &= ~(O_CREAT | O_EXCL | O_NOCTTY | O_TRUNC);
  return slot;
}

int mixed_creat(IoSubsystem* rec, const char* path, int mode) {
  return mixed_open(rec, path, O_WRONLY | O_CREAT | O_TRUNC, mode);
}

ssize_t mixed_read(IoSubsystem* rec, int fd, void* buf, size_t n) {
  OpenFile* f = record_of(rec, fd);
  if (!f) return -1;
  if (!f->handle || !(f->access & 1) || !f->ops->read) {
    errno = EBADF;
    return -1;
  }
  if (n == 0) return 0;
  return f->ops->read(priv_of(rec), f->handle, f, buf, n);
}

ssize_t mixed_write(IoSubsystem* rec, int fd, const void* buf, size_t n) {
  OpenFile* f = record_of(rec, fd);
  if (!f) return -1;
  if (!f->handle || !(f->access & 2) || !f->ops->write) {
    errno = EBADF;
    return -1;
  }
  if (n == 0) return 0;
  return f->ops->write(priv_of(rec), f->handle, f, buf, n);
}

off_t mixed_lseek(IoSubsystem* rec, int fd, off_t offset, int whence) {
  OpenFile* f = record_of(rec, fd);
  if (!f) return -1;
  if (!f->handle) {
    errno = EBADF;
    return -1;
  }
  if (whence < 0 || whence > 2) {
    errno = EINVAL;
    return -1;
  }
  return f->ops->seek(priv_of(rec), f->handle, f, offset, whence);
}

int mixed_close(IoSubsystem* rec, int fd) {
  OpenFile* f = record_of(rec, fd);
  if (!f) return -1;
  priv_of(rec)->state->slots[fd] = nullptr;
  return release_record(priv_of(rec), f);
}

off_t mixed_tell(IoSubsystem* rec, int fd) {
  OpenFile* f = record_of(rec, fd);
  if (!f) return -1;
  if (!f->handle) {
    errno = EBADF;
    return -1;
  }
  return f->position;
}

// Another slot, the lowest free one from `from`, on the record of fd.
int share_record(IoSubsystem* rec, OpenFile* f, int from) {
  const int slot = free_slot(priv_of(rec)->state, from);
  if (slot < 0) return -1;
  priv_of(rec)->state->slots[slot] = f;
  ++f->count;
  return slot;
}

int mixed_dup(IoSubsystem* rec, int fd) {
  OpenFile* f = record_of(rec, fd);
  return f ? share_record(rec, f, 0) : -1;
}

int mixed_dup2(IoSubsystem* rec, int fd, int fd2) {
  OpenFile* f = record_of(rec, fd);
  if (!f) return -1;
  if (fd2 < 0 || fd2 >= MIXED_SLOTS) {
    errno = EBADF;
    return -1;
  }
  if (fd2 == fd) return fd;
  if (priv_of(rec)->state->slots[fd2]) mixed_close(rec, fd2);
  return share_record(rec, f, fd2);
}

int mixed_fstat(IoSubsystem* rec, int fd, struct stat* st) {
  OpenFile* f = record_of(rec, fd);
  if (!f) return -1;
  if (!f->handle) {
    errno = EBADF;
    return -1;
  }
  return f->handle->ops->stat(priv_of(rec), f->handle, st);
}

// Looks path up in the volume of its type and applies op to the handle.
template <typename Op>
int on_path(IoSubsystem* rec, const char* path, Op op) {
  MixedPrivate* p = priv_of(rec);
  if (!p) {
    errno = EBADF;
    return -1;
  }
  FsType* type = type_for_path(p, path, true);
  if (!type) return -1;
  FsHandle* h = nullptr;
  if (type->volume.lookup(p, type->get_volume(p, p->state), path, &h) != 0) {
    if (h) type->volume.free_handle(p, h);
    return -1;
  }
  const int r = op(p, h);
  const int saved = errno;
  type->volume.free_handle(p, h);
  errno = saved;
  return r;
}

int mixed_stat(IoSubsystem* rec, const char* path, struct stat* st) {
  return on_path(rec, path, [st](MixedPrivate* p, FsHandle* h) { return h->ops->stat(p, h, st); });
}

int mixed_access(IoSubsystem* rec, const char* path, int mode) {
  return on_path(rec, path,
                 [mode](MixedPrivate* p, FsHandle* h) { return h->ops->access(p, h, mode); });
}

int mixed_link(IoSubsystem* rec, const char* oldpath, const char* newpath) {
  return on_path(rec, oldpath,
                 [newpath](MixedPrivate* p, FsHandle* h) { return h->ops->link(p, h, newpath); });
}

int mixed_unlink(IoSubsystem* rec, const char* path) {
  return on_path(rec, path, [](MixedPrivate* p, FsHandle* h) { return h->ops->unlink(p, h); });
}

int mixed_pipe(IoSubsystem* rec, int fds[2]) {
  MixedPrivate* p = priv_of(rec);
  if (!p) {
    errno = EBADF;
    return -1;
  }
  MixedState* s = p->state;
  int sys[2];
  if (::pipe(sys) != 0) return -1;
  FsType* type = find_type(s, "system");
  FsVolume* v = type->get_volume(p, s);
  int got[2] = {-1, -1};
  for (int end = 0; end < 2; ++end) {
    FsHandle* h = nullptr;
    const int slot = free_slot(s, 0);
    if (slot >= 0 && type->volume.create(p, v, "vq_pipe", sys[end], &h) == 0)
      got[end] = open_on_handle(p, slot, end == 0 ? 1 : 2, end == 0 ? O_RDONLY : O_WRONLY, h);
    if (got[end] < 0) {
      const int saved = errno;
      if (end == 1) mixed_close(rec, got[0]);
      else ::close(sys[0]);
      ::close(sys[1]);
      errno = saved;
      return -1;
    }
  }
  fds[0] = got[0];
  fds[1] = got[1];
  return 0;
}

void mixed_perror(IoSubsystem*, const char* message) { std::perror(message); }

}  // namespace

int vqio_mixed_init(IoSubsystem* rec) {
  rec->start = mixed_start;
  rec->stop = mixed_stop;
  rec->control = mixed_control;
  rec->access = mixed_access;
  rec->open = mixed_open;
  rec->creat = mixed_creat;
  rec->read = mixed_read;
  rec->write = mixed_write;
  rec->lseek = mixed_lseek;
  rec->close = mixed_close;
  rec->fstat = mixed_fstat;
  rec->stat = mixed_stat;
  rec->dup = mixed_dup;
  rec->dup2 = mixed_dup2;
  rec->pipe = mixed_pipe;
  rec->link = mixed_link;
  rec->unlink = mixed_unlink;
  rec->tell = mixed_tell;
  rec->perror = mixed_perror;
  rec->priv = nullptr;
  return 0;
}
