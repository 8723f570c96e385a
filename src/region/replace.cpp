// Replacing region files so that they always agree with the data
// dictionary.
//
// The new content of a region file is written to a new file beside it and
// synced. The new file then takes the region file's name, while the old
// file stays reachable under a second name beside it until the data
// dictionary that describes the new regions is in place. Should the run end
// before that (a failed or refused rewrite of the data dictionary, any fatal
// report, an interrupting signal), the old files are put back, so the old
// data dictionary again describes the bytes of its region files. Renames
// within one directory are atomic. Several region files of one run are
// replaced together: all are kept, or all are put back.
//
// The names live in fixed buffers so that the undo may run in a signal
// handler.
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "region/region.h"

namespace {

constexpr size_t kName = 4096;
constexpr int kSlots = 32;

struct Replacement {
  char fresh[kName];   // the new file while it is written ("" none)
  char backup[kName];  // the old file's second name ("" none)
  char target[kName];  // the region file
  bool swapped;        // the new file stands under the region file's name
  bool existed;        // a region file stood there before
  VqStream* stream;    // the new file's stream until it is swapped in
};

struct Replacements {
  Replacement slot[kSlots];
  bool hooked;
};

Replacements& replacements() {
  static Replacements r{};
  return r;
}

bool copy_name(char* to, const std::string& from) {
  if (from.size() >= kName) {
    errno = ENAMETOOLONG;
    return false;
  }
  std::memcpy(to, from.c_str(), from.size() + 1);
  return true;
}

std::string beside(const std::string& target, const char* kind, int attempt) {
  const size_t slash = target.rfind('/');
  const std::string dir = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  return dir + "." + base + "." + std::to_string(static_cast<long>(::getpid())) + "-" +
         std::to_string(attempt) + kind;
}

void undo_at_exit() { region_replace_undo(); }

void undo_slot(Replacement& r) {
  if (r.fresh[0] != '\0') ::unlink(r.fresh);
  r.fresh[0] = '\0';
  if (r.swapped) {
    if (r.backup[0] != '\0')
      ::rename(r.backup, r.target);
    else if (!r.existed)
      ::unlink(r.target);
  }
  r.backup[0] = '\0';
  r.target[0] = '\0';
  r.swapped = false;
  r.stream = nullptr;
}

}  // namespace

bool region_file_in_place(const char* region_file) {
  return region_file != nullptr && region_file[0] == '@' && region_file[1] != '\0' &&
         std::strchr(region_file + 1, '@') != nullptr;
}

VqStream* region_replace_open(const char* region_file, int* denied) {
  Replacements& all = replacements();
  if (denied) *denied = 0;
  if (!all.hooked) {
    std::atexit(undo_at_exit);
    all.hooked = true;
  }
  Replacement* r = nullptr;
  for (Replacement& s : all.slot)
    if (s.target[0] == '\0') {
      r = &s;
      break;
    }
  if (r == nullptr) {
    errno = EMFILE;
    return nullptr;
  }
  if (!copy_name(r->target, region_file)) return nullptr;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = beside(region_file, ".new", attempt);
    if (!copy_name(r->fresh, name)) break;
    const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) {
      if (denied) *denied = errno == EACCES || errno == EPERM || errno == EROFS;
      break;
    }
    ::close(fd);
    struct stat old{};
    if (::stat(region_file, &old) == 0 && S_ISREG(old.st_mode)) {
      if (::chown(name.c_str(), old.st_uid, old.st_gid) != 0) {
        // Only a privileged run may give a file away; it stays this run's.
      }
      ::chmod(name.c_str(), old.st_mode & 07777);
    }
    r->stream = vqio_fopen(name.c_str(), "r+");
    if (r->stream == nullptr) break;
    return r->stream;
  }
  const int error = errno;
  if (r->fresh[0] != '\0') ::unlink(r->fresh);
  r->fresh[0] = '\0';
  r->target[0] = '\0';
  errno = error;
  return nullptr;
}

int region_replace_commit(VqStream* fresh) {
  Replacement* r = nullptr;
  for (Replacement& s : replacements().slot)
    if (s.stream == fresh && fresh != nullptr && s.target[0] != '\0') r = &s;
  if (r == nullptr) {
    errno = EINVAL;
    return -1;
  }
  r->stream = nullptr;
  const int fd = vqio_system_fd(vqio_fileno(fresh));
  const bool synced = vqio_fflush(fresh) == 0 && (fd < 0 || fsync(fd) == 0);
  if (vqio_fclose(fresh) != 0 || !synced) return 1;
  struct stat old{};
  r->existed = ::lstat(r->target, &old) == 0;
  if (r->existed) {
    for (int attempt = 0; attempt < 100 && r->backup[0] == '\0'; ++attempt) {
      const std::string name = beside(r->target, ".old", attempt);
      if (!copy_name(r->backup, name)) break;
      if (::link(r->target, r->backup) == 0) break;
      r->backup[0] = '\0';
      if (errno == EEXIST) continue;
      // No hard links here: the old file moves to the second name.
      if (::rename(r->target, name.c_str()) == 0) copy_name(r->backup, name);
      break;
    }
    if (r->backup[0] == '\0') return -1;
  }
  if (::rename(r->fresh, r->target) != 0) return -1;
  r->fresh[0] = '\0';
  r->swapped = true;
  return 0;
}

void region_replace_keep() {
  for (Replacement& r : replacements().slot) {
    if (!r.swapped) continue;
    if (r.backup[0] != '\0') ::unlink(r.backup);
    r.backup[0] = '\0';
    r.target[0] = '\0';
    r.swapped = false;
  }
}

void region_replace_undo() {
  // Only system calls on fixed buffers: this also runs in a signal handler.
  for (Replacement& r : replacements().slot) undo_slot(r);
}
