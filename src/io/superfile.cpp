// Superfiles: many member files in one ordinary file, and the "superfile"
// file-system type of the mixed subsystem.
//
// File format (32-bit integers in the host's byte order):
//   0     magic 1234567
//   4     offset of the first directory block (always equal to end of data)
//   8     number of members
//   12    end of data: where member data ends
//   16    1008 unused bytes
//   1024  member data: a member at 1024 + its data offset, in its capacity
//   end of data: directory blocks of 1088 bytes, back to back
// Directory block: next block's offset (0 for the last), entries used (at
// most 10), 10 entries of 108 bytes: name (80 bytes, NUL-terminated; the
// member path as it was opened), reserved, data offset (from byte 1024),
// size, capacity, and three uint32 time stamps (access, modification,
// change: all set when the member is created). A deleted member keeps its
// slot with an empty name and all numbers zero. A file shorter than 16
// bytes is an empty superfile.
//
// Members are written in place; only the member whose space ends at the end
// of data can grow. A write past the capacity of any other member ends the
// process with status 1 after the directory of every open superfile has
// been written back (the refused write has written nothing, so the
// directories in memory match the files).
//
// Several superfiles can be open at once: the current one (where new member
// paths are looked up) and any earlier one that still has member handles.
// Each handle points to its own superfile, so switching never redirects an
// open member; a superfile is written back and closed when it is neither
// current nor used by a handle.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "io/mixed_internal.h"

namespace {

constexpr int32_t kMagic = 1234567;
constexpr off_t kDataStart = 1024;
constexpr size_t kHeaderSize = 16;
constexpr size_t kEntrySize = 108;
constexpr size_t kNameSize = 80;
constexpr int kEntriesPerBlock = 10;
constexpr size_t kBlockSize = 8 + kEntriesPerBlock * kEntrySize;  // 1088

struct SfEntry {
  std::string name;  // empty for a deleted member
  int32_t reserved;
  int32_t offset;    // data offset from byte 1024
  int32_t size;
  int32_t capacity;
  uint32_t stamps[3];
  int opens;           // open-file records on the member (not stored)
  bool zero_on_close;  // unlinked while open: numbers cleared at the last close
};

struct Superfile {
  std::string path;  // resolved path of the file
  std::string name;  // name as given
  int fd;
  int64_t end_of_data;
  std::vector<SfEntry> dir;
  int handles;  // member handles pointing here
  ino_t inode;  // of the superfile itself: part of its members' identities
  dev_t device;
};

}  // namespace

struct SuperfileState {
  Superfile* current;
  std::vector<Superfile*> open;  // every open superfile, the current one included
  bool lost;  // a directory could not be written back (told at the detach)
};

namespace {

FsVolume superfile_volume_record;

int32_t get32(const unsigned char* p) {
  int32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
void put32(unsigned char* p, int32_t v) { std::memcpy(p, &v, 4); }

bool read_at(int fd, void* buf, size_t n, off_t at, size_t* got) {
  size_t done = 0;
  while (done < n) {
    ssize_t r = ::pread(fd, static_cast<char*>(buf) + done, n - done, at + static_cast<off_t>(done));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    done += static_cast<size_t>(r);
  }
  *got = done;
  return done == n;
}

// Writes all n bytes at `at`; the number written.
size_t write_at(int fd, const void* buf, size_t n, off_t at) {
  size_t done = 0;
  while (done < n) {
    ssize_t r =
        ::pwrite(fd, static_cast<const char*>(buf) + done, n - done, at + static_cast<off_t>(done));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    done += static_cast<size_t>(r);
  }
  return done;
}

void fatal_text(const char* format, const std::string& path) {
  std::fprintf(stderr, format, path.c_str());
}

// ---------------------------------------------------------------------------
// Directory

// Decodes one entry; false when its name has no NUL or its numbers do not
// describe space inside the member data.
bool decode_entry(const unsigned char* e, int64_t end_of_data, SfEntry& out) {
  const void* nul = std::memchr(e, '\0', kNameSize);
  if (!nul) return false;
  out.name.assign(reinterpret_cast<const char*>(e));
  out.reserved = get32(e + 80);
  out.offset = get32(e + 84);
  out.size = get32(e + 88);
  out.capacity = get32(e + 92);
  for (int i = 0; i < 3; ++i) {
    uint32_t s;
    std::memcpy(&s, e + 96 + 4 * i, 4);
    out.stamps[i] = s;
  }
  out.opens = 0;
  out.zero_on_close = false;
  if (out.offset < 0 || out.size < 0 || out.capacity < out.size) return false;
  return kDataStart + int64_t{out.offset} + out.capacity <= end_of_data;
}

// A deleted member is written as an empty name and zero numbers whenever
// the directory goes out, even while it is still open and its numbers in
// memory still place its data: the process may end before its last close
// (at an exit, the open records are freed without one).
void encode_entry(const SfEntry& in, unsigned char* e) {
  std::memset(e, 0, kEntrySize);
  if (in.name.empty()) return;
  std::memcpy(e, in.name.data(), std::min(in.name.size(), kNameSize - 1));
  put32(e + 80, in.reserved);
  put32(e + 84, in.offset);
  put32(e + 88, in.size);
  put32(e + 92, in.capacity);
  for (int i = 0; i < 3; ++i) std::memcpy(e + 96 + 4 * i, &in.stamps[i], 4);
}

// Opens the superfile (created when missing) and reads its directory: 1, or
// -1 after a "fatal error" text when the file cannot be opened or its header
// or directory is damaged (the descriptor is closed again).
int sf_read_directory(Superfile* sf) {
  sf->fd = ::open(sf->path.c_str(), O_RDWR | O_CREAT, 0666);
  if (sf->fd < 0) return -1;
  sf->end_of_data = kDataStart;
  sf->dir.clear();
  struct stat st;
  const bool have_stat = ::fstat(sf->fd, &st) == 0;
  if (have_stat) {
    sf->inode = st.st_ino;
    sf->device = st.st_dev;
  }

  unsigned char header[kHeaderSize];
  size_t got = 0;
  if (!read_at(sf->fd, header, kHeaderSize, 0, &got)) return 1;  // shorter than a header: empty
  if (get32(header) != kMagic) {
    fatal_text("fatal error: bad magic number for super file '%s'\n", sf->path);
  } else if (have_stat) {
    const int64_t dir_offset = get32(header + 4);
    const int64_t count = get32(header + 8);
    const int64_t end_of_data = get32(header + 12);
    const int64_t file_size = st.st_size;
    bool ok = count >= 0 && end_of_data >= kDataStart && dir_offset == end_of_data &&
              (count == 0 || end_of_data + static_cast<int64_t>(kBlockSize) <= file_size);
    // Every block lies inside the file, so the number of blocks read is
    // bounded by the file's size even if next offsets form a cycle.
    int64_t block = dir_offset;
    int64_t blocks_left = file_size / static_cast<int64_t>(kBlockSize) + 1;
    std::vector<unsigned char> buf(kBlockSize);
    while (ok && count > 0 && block != 0 && blocks_left-- > 0) {
      if (!read_at(sf->fd, buf.data(), kBlockSize, block, &got)) break;
      const int32_t next = get32(buf.data());
      const int32_t used = get32(buf.data() + 4);
      if (used < 0 || used > kEntriesPerBlock) ok = false;
      for (int i = 0; ok && i < used; ++i) {
        SfEntry e;
        ok = decode_entry(buf.data() + 8 + i * kEntrySize, end_of_data, e);
        if (ok) sf->dir.push_back(std::move(e));
      }
      if (static_cast<int64_t>(sf->dir.size()) > count) ok = false;
      if (next != 0 && (next < end_of_data || next + static_cast<int64_t>(kBlockSize) > file_size))
        ok = false;
      block = next;
    }
    if (ok && static_cast<int64_t>(sf->dir.size()) == count) {
      sf->end_of_data = end_of_data;
      return 1;
    }
    fatal_text("fatal error: directory problem in super file '%s'\n", sf->path);
  }
  sf->dir.clear();
  ::close(sf->fd);
  sf->fd = -1;
  errno = EIO;  // a damaged superfile
  return -1;
}

// Writes the header and the directory blocks: 1, or -1 after a "fatal
// error" text when a write falls short.
int sf_write_directory(Superfile* sf) {
  unsigned char header[kHeaderSize];
  const int32_t end = static_cast<int32_t>(sf->end_of_data);
  put32(header, kMagic);
  put32(header + 4, end);
  put32(header + 8, static_cast<int32_t>(sf->dir.size()));
  put32(header + 12, end);
  if (write_at(sf->fd, header, kHeaderSize, 0) != kHeaderSize) {
    fatal_text("fatal error: can not write to super file '%s'\n", sf->path);
    return -1;
  }
  std::vector<unsigned char> block(kBlockSize);
  off_t at = static_cast<off_t>(sf->end_of_data);
  for (size_t first = 0; first < sf->dir.size(); first += kEntriesPerBlock) {
    const size_t used = std::min(sf->dir.size() - first, size_t{kEntriesPerBlock});
    const bool last = first + used == sf->dir.size();
    std::fill(block.begin(), block.end(), 0);
    put32(block.data(), last ? 0 : static_cast<int32_t>(at + static_cast<off_t>(kBlockSize)));
    put32(block.data() + 4, static_cast<int32_t>(used));
    for (size_t i = 0; i < used; ++i) encode_entry(sf->dir[first + i], block.data() + 8 + i * kEntrySize);
    if (write_at(sf->fd, block.data(), kBlockSize, at) != kBlockSize) {
      fatal_text("fatal error: can not write directory to super file '%s'\n", sf->path);
      return -1;
    }
    ::fsync(sf->fd);
    at += static_cast<off_t>(kBlockSize);
  }
  return 1;
}

// Writes the directory back and closes the file; the record is freed.
// False (errno set) when the directory could not be written or the file
// not closed: the superfile's changes are lost.
bool release_superfile(SuperfileState* s, Superfile* sf) {
  bool ok = true;
  if (sf->fd >= 0) {
    errno = 0;
    ok = sf_write_directory(sf) == 1;
    int error = errno;
    if (::close(sf->fd) != 0 && ok) {
      ok = false;
      error = errno;
    }
    errno = ok ? errno : (error != 0 ? error : EIO);
  }
  s->open.erase(std::remove(s->open.begin(), s->open.end(), sf), s->open.end());
  if (s->current == sf) s->current = nullptr;
  delete sf;
  if (!ok) s->lost = true;
  return ok;
}

// Writes back every open superfile's directory (before the process ends at
// a capacity overrun).
void write_back_all(SuperfileState* s) {
  for (Superfile* sf : s->open)
    if (sf->fd >= 0) sf_write_directory(sf);
}

Superfile* owner_of(FsHandle* h) { return static_cast<Superfile*>(h->owner); }
SfEntry& entry_of(FsHandle* h) { return owner_of(h)->dir[static_cast<size_t>(h->data)]; }

// Whether the member's space ends at the end of data, so it may grow. A
// member removed while open keeps its numbers until its last close, and
// with them its place (a cleared entry has no space at all).
bool is_last(const Superfile* sf, const SfEntry& e) {
  return (!e.name.empty() || e.capacity > 0) &&
         kDataStart + int64_t{e.offset} + e.capacity == sf->end_of_data;
}

void clear_numbers(SfEntry& e) {
  e.reserved = e.offset = e.size = e.capacity = 0;
  e.stamps[0] = e.stamps[1] = e.stamps[2] = 0;
}

FsHandle* new_member_handle(Superfile* sf, const char* name, int mode, size_t index);

// The end of data once member data reaches the absolute offset `absolute`.
int64_t end_after(const Superfile* sf, int64_t absolute) {
  return absolute > sf->end_of_data ? absolute / 1024 * 1024 + 1024 : sf->end_of_data;
}

// Whether a superfile whose data ends at end_of_data, with `entries`
// directory entries after it, keeps every offset it stores (end of data,
// the start of each directory block) within a signed 32-bit word.
bool fits_in_32(int64_t end_of_data, size_t entries) {
  const int64_t blocks = static_cast<int64_t>((entries + kEntriesPerBlock - 1) / kEntriesPerBlock);
  const int64_t last_block = end_of_data + (blocks > 0 ? blocks - 1 : 0) * int64_t{kBlockSize};
  return last_block <= INT32_MAX;
}

// Data now reaches member position end: the end of data, the size and the
// capacity grow to take it in.
void note_end(Superfile* sf, SfEntry& e, int64_t end) {
  sf->end_of_data = end_after(sf, kDataStart + int64_t{e.offset} + end);
  if (end > e.size) e.size = static_cast<int32_t>(end);
  if (e.size > e.capacity) e.capacity = e.size / 1024 * 1024 + 1024;
}

// Writes zeros from the member's size up to position end; false on failure.
bool zero_fill(Superfile* sf, const SfEntry& e, int64_t end) {
  std::vector<char> zeros(static_cast<size_t>(end - e.size), 0);
  errno = 0;
  if (write_at(sf->fd, zeros.data(), zeros.size(), kDataStart + e.offset + e.size) == zeros.size())
    return true;
  if (errno == 0) errno = EIO;
  return false;
}

// ---------------------------------------------------------------------------
// Per file

int sf_open(MixedPrivate*, FsHandle* h, OpenFile* f) {
  ++entry_of(h).opens;
  f->position = 0;
  return h->data;
}

off_t sf_seek(MixedPrivate*, FsHandle* h, OpenFile* f, off_t offset, int whence) {
  const SfEntry& e = entry_of(h);
  int64_t base;
  switch (whence) {
    case SEEK_SET: base = 0; break;
    case SEEK_CUR: base = f->position; break;
    case SEEK_END: base = e.size; break;
    default: errno = EINVAL; return -1;
  }
  const int64_t p = base + offset;
  if (p < 0) {
    errno = EINVAL;
    return -1;
  }
  if (kDataStart + int64_t{e.offset} + p > INT32_MAX) {
    errno = EOVERFLOW;
    return -1;
  }
  f->position = static_cast<off_t>(p);
  return f->position;
}

ssize_t sf_read(MixedPrivate*, FsHandle* h, OpenFile* f, void* buf, size_t n) {
  const Superfile* sf = owner_of(h);
  const SfEntry& e = entry_of(h);
  if (f->position >= e.size) return 0;
  const size_t want = std::min(n, static_cast<size_t>(e.size - f->position));
  ssize_t r;
  do {
    r = ::pread(sf->fd, buf, want, kDataStart + e.offset + f->position);
  } while (r < 0 && errno == EINTR);
  if (r > 0) f->position += r;
  return r;
}

ssize_t sf_write(MixedPrivate* p, FsHandle* h, OpenFile* f, const void* buf, size_t n) {
  Superfile* sf = owner_of(h);
  SfEntry& e = entry_of(h);
  const int64_t start = (f->flags & O_APPEND) ? e.size : f->position;
  const int64_t new_end = start + static_cast<int64_t>(n);
  if (new_end > e.capacity && !is_last(sf, e)) {
    write_back_all(p->superfiles);
    std::fprintf(stderr, "fatal error: writing beyond the limit of file '%s' size %d!\n",
                 e.name.c_str(), e.capacity);
    std::exit(1);
  }
  if (!fits_in_32(end_after(sf, kDataStart + int64_t{e.offset} + new_end), sf->dir.size())) {
    errno = EFBIG;
    return -1;
  }
  // The gap between the old end and the write reads as zeros, as in a file.
  if (start > e.size && !zero_fill(sf, e, start)) return -1;
  ssize_t r;
  do {
    r = ::pwrite(sf->fd, buf, n, kDataStart + e.offset + start);
  } while (r < 0 && errno == EINTR);
  if (r <= 0) return r;
  f->position = static_cast<off_t>(start + r);
  note_end(sf, e, f->position);
  return r;
}

bool drop_handle(MixedPrivate* p, FsHandle* h);

// The last handle on a superfile that is no longer current writes it back:
// when that fails the close fails.
int sf_close(MixedPrivate* p, FsHandle* h, OpenFile* f) {
  SfEntry& e = entry_of(h);
  if (--e.opens == 0 && e.zero_on_close) {
    clear_numbers(e);
    e.zero_on_close = false;
  }
  f->position = 0;
  return drop_handle(p, h) ? 0 : -1;
}

int sf_flush(MixedPrivate*, FsHandle* h) { return sf_write_directory(owner_of(h)) == 1 ? 0 : -1; }

// ---------------------------------------------------------------------------
// Per volume (on the current superfile)

int sf_create(MixedPrivate* p, FsVolume*, const char* name, int mode, FsHandle** out) {
  *out = nullptr;
  Superfile* sf = p->superfiles->current;
  if (!sf) {
    errno = ENOENT;
    return -1;
  }
  if (std::strlen(name) >= kNameSize) {
    errno = ENAMETOOLONG;
    return -1;
  }
  if (!fits_in_32(sf->end_of_data + 1024, sf->dir.size() + 1)) {
    errno = EFBIG;
    return -1;
  }
  SfEntry e{};
  e.name = name;
  e.offset = static_cast<int32_t>(sf->end_of_data - kDataStart);
  e.capacity = 1024;
  const uint32_t now = static_cast<uint32_t>(std::time(nullptr));
  e.stamps[0] = e.stamps[1] = e.stamps[2] = now;
  sf->dir.push_back(std::move(e));
  sf->end_of_data += 1024;
  *out = new_member_handle(sf, name, mode, sf->dir.size() - 1);
  return 0;
}

int sf_lookup(MixedPrivate* p, FsVolume*, const char* name, FsHandle** out) {
  *out = nullptr;
  Superfile* sf = p->superfiles->current;
  if (sf && *name) {
    for (size_t i = 0; i < sf->dir.size(); ++i) {
      if (sf->dir[i].name == name) {
        *out = new_member_handle(sf, name, 0666, i);
        return 0;
      }
    }
  }
  errno = ENOENT;
  return -1;
}

// A member cannot have a second name: refused rather than reported done.
int sf_link(MixedPrivate*, FsHandle*, const char*) {
  errno = ENOTSUP;
  return -1;
}

// The name goes at once; the space stays in place. The numbers of a member
// that is still open are kept in memory until its last record closes, so
// its handle never points at another member's data meanwhile (the
// directory written meanwhile shows them zero already).
int sf_unlink(MixedPrivate*, FsHandle* h) {
  SfEntry& e = entry_of(h);
  e.name.clear();
  if (e.opens > 0)
    e.zero_on_close = true;
  else
    clear_numbers(e);
  return 0;
}

int sf_rename(MixedPrivate*, FsHandle*, const char*) {
  errno = ENOTSUP;
  return -1;
}

// Besides the size and the time stamps, each member gets an identity of its
// own (device 0, which no mounted file system has, and an inode number made
// from the superfile's and the member's index), so that callers that compare
// files by device and inode never take two members for one file.
int sf_stat(MixedPrivate*, FsHandle* h, struct stat* st) {
  const SfEntry& e = entry_of(h);
  std::memset(st, 0, sizeof *st);
  st->st_dev = 0;
  st->st_ino = (owner_of(h)->inode << 24) + static_cast<ino_t>(h->data) + 1;
  st->st_mode = S_IFREG | 0666;
  st->st_nlink = 1;
  st->st_size = e.size;
  st->st_atime = e.stamps[0];
  st->st_mtime = e.stamps[1];
  st->st_ctime = e.stamps[2];
  return 0;
}

int sf_access(MixedPrivate*, FsHandle*, int) { return 0; }

// Cuts the member to length, or extends it with zeros as a write would
// (within its capacity unless it is the last member; the capacity stays).
int sf_truncate(MixedPrivate*, FsHandle* h, off_t length) {
  Superfile* sf = owner_of(h);
  SfEntry& e = entry_of(h);
  if (length < 0) {
    errno = EINVAL;
    return -1;
  }
  if (length <= e.size) {
    e.size = static_cast<int32_t>(length);
    return 0;
  }
  if ((length > e.capacity && !is_last(sf, e)) ||
      !fits_in_32(end_after(sf, kDataStart + int64_t{e.offset} + length), sf->dir.size())) {
    errno = EFBIG;
    return -1;
  }
  if (!zero_fill(sf, e, length)) return -1;
  note_end(sf, e, length);
  return 0;
}

// Frees the handle; the superfile goes with its last handle unless it is
// current. False when its write-back failed.
bool drop_handle(MixedPrivate* p, FsHandle* h) {
  Superfile* sf = owner_of(h);
  delete h;
  if (--sf->handles == 0 && sf != p->superfiles->current)
    return release_superfile(p->superfiles, sf);
  return true;
}

void sf_free(MixedPrivate* p, FsHandle* h) { drop_handle(p, h); }

const FsVolumeOps superfile_volume_ops = {sf_create, sf_lookup, sf_link,     sf_unlink, sf_rename,
                                          sf_stat,   sf_access, sf_truncate, sf_free};

FsHandle* new_member_handle(Superfile* sf, const char* name, int mode, size_t index) {
  ++sf->handles;
  return new FsHandle{&superfile_volume_ops, name, mode, static_cast<int32_t>(index), sf};
}

// ---------------------------------------------------------------------------
// Type

int sf_attach(MixedPrivate* p, MixedState*) {
  superfile_volume_record.ops = &superfile_volume_ops;
  p->superfile_volume = &superfile_volume_record;
  p->superfiles = new SuperfileState{nullptr, {}, false};
  return 0;
}

FsVolume* sf_get_volume(MixedPrivate* p, MixedState*) { return p->superfile_volume; }

int sf_detach(MixedPrivate* p) {
  SuperfileState* s = p->superfiles;
  if (!s) return 0;
  while (!s->open.empty()) release_superfile(s, s->open.back());
  const bool lost = s->lost;
  delete s;
  p->superfiles = nullptr;
  p->superfile_volume = nullptr;
  return lost ? -1 : 0;
}

}  // namespace

int sf_set_superfile(MixedPrivate* p, const char* name) {
  SuperfileState* s = p ? p->superfiles : nullptr;
  if (!s || !name || !*name) {
    errno = ENOENT;
    return -1;
  }
  if (s->current && s->current->name == name) return 1;

  if (Superfile* old = s->current) {
    s->current = nullptr;
    if (old->handles == 0)
      release_superfile(s, old);
    else
      sf_write_directory(old);
  }

  std::string path;
  if (profile_get_value("SuperFiles", name, "velquin.ini", path) != 0) path = name;

  // A superfile still open through member handles is taken up again as it
  // is, never read a second time, whatever name or spelling of its path
  // leads to it: a second record of one file would hand out the same space
  // twice and write back a directory that lacks the other's members.
  struct stat st;
  const bool have_stat = ::stat(path.c_str(), &st) == 0;
  for (Superfile* sf : s->open) {
    if (sf->name == name || sf->path == path ||
        (have_stat && sf->fd >= 0 && sf->device == st.st_dev && sf->inode == st.st_ino)) {
      s->current = sf;
      return 1;
    }
  }
  Superfile* sf = new Superfile{path, name, -1, kDataStart, {}, 0, 0, 0};
  if (sf_read_directory(sf) != 1) {
    delete sf;
    return -1;
  }
  s->open.push_back(sf);
  s->current = sf;
  return 1;
}

FsType fstype_superfile_make() {
  FsType t{};
  t.name = "superfile";
  t.attach = sf_attach;
  t.get_volume = sf_get_volume;
  t.detach = sf_detach;
  t.file = {sf_open, sf_seek, sf_read, sf_write, sf_close, sf_flush};
  t.volume = superfile_volume_ops;
  return t;
}
