// Replacing the region file so that it always agrees with the data
// dictionary.
//
// The new regions are written to a new file beside the region file and
// synced. The new file then takes the region file's name, while the old
// file stays reachable under a second name beside it until the data
// dictionary that describes the new regions is in place. Should the run
// end before that (a failed or refused rewrite of the data dictionary, any
// fatal report, an interrupting signal), the old file is put back, so the
// old data dictionary again describes the bytes of its region file. Renames
// within one directory are atomic.
//
// A region file that is a superfile member cannot be renamed, and one in a
// folder this run may not write cannot get a new file beside it: those are
// rewritten in place through the I/O layer.
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "tagregion/tagregion.h"

namespace {

struct Replacement {
  char fresh[4096] = {};   // the new file while it is written
  char backup[4096] = {};  // the old file's second name ("" when none)
  char target[4096] = {};  // the region file
  bool swapped = false;    // the new file stands under the region file's name
  bool existed = false;    // a region file stood there before
  bool hooked = false;
};

Replacement& replacement() {
  static Replacement r;
  return r;
}

bool copy_name(char* to, const std::string& from) {
  if (from.size() >= 4096) return false;
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

}  // namespace

bool region_file_in_place(const std::string& region_file) {
  return region_file.size() > 1 && region_file[0] == '@' &&
         region_file.find('@', 1) != std::string::npos;
}

VqStream* region_replace_begin(const std::string& region_file) {
  Replacement& r = replacement();
  if (!r.hooked) {
    std::atexit(undo_at_exit);
    r.hooked = true;
  }
  if (!copy_name(r.target, region_file)) msg_report(16, 80020, region_file.c_str());
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = beside(region_file, ".new", attempt);
    if (!copy_name(r.fresh, name)) break;
    const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS)) {
      r.fresh[0] = '\0';
      return nullptr;  // the folder may not be written: the caller writes in place
    }
    if (fd < 0) break;
    ::close(fd);
    struct stat old{};
    if (::stat(region_file.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
      if (::chown(name.c_str(), old.st_uid, old.st_gid) != 0) {
        // Only a privileged run may give a file away; it stays this run's.
      }
      ::chmod(name.c_str(), old.st_mode & 07777);
    }
    VqStream* s = vqio_fopen(name.c_str(), "r+");
    if (s == nullptr) break;
    return s;
  }
  const int error = errno;
  if (r.fresh[0] != '\0') ::unlink(r.fresh);
  r.fresh[0] = '\0';
  errno = error;
  msg_report(16, 80020, region_file.c_str());
  return nullptr;
}

void region_replace_swap(VqStream* fresh) {
  Replacement& r = replacement();
  const int fd = vqio_system_fd(vqio_fileno(fresh));
  if (vqio_fflush(fresh) != 0 || (fd >= 0 && fsync(fd) != 0) || vqio_fclose(fresh) != 0)
    msg_report(14, 80021);
  struct stat old{};
  r.existed = ::lstat(r.target, &old) == 0;
  if (r.existed) {
    for (int attempt = 0; attempt < 100 && r.backup[0] == '\0'; ++attempt) {
      const std::string name = beside(r.target, ".old", attempt);
      if (!copy_name(r.backup, name)) break;
      if (::link(r.target, r.backup) == 0) break;
      r.backup[0] = '\0';
      if (errno == EEXIST) continue;
      // No hard links here: the old file moves to the second name.
      if (::rename(r.target, name.c_str()) == 0) copy_name(r.backup, name);
      break;
    }
    if (r.backup[0] == '\0') msg_report(16, 80020, r.target);
  }
  if (::rename(r.fresh, r.target) != 0) msg_report(16, 80020, r.target);
  r.fresh[0] = '\0';
  r.swapped = true;
}

void region_replace_keep() {
  Replacement& r = replacement();
  r.swapped = false;
  if (r.backup[0] != '\0') ::unlink(r.backup);
  r.backup[0] = '\0';
}

void region_replace_undo() {
  // Only system calls on fixed buffers: this also runs in a signal handler.
  Replacement& r = replacement();
  if (r.fresh[0] != '\0') ::unlink(r.fresh);
  r.fresh[0] = '\0';
  if (!r.swapped) return;
  if (r.backup[0] != '\0') {
    ::rename(r.backup, r.target);
  } else if (!r.existed) {
    ::unlink(r.target);
  }
  r.backup[0] = '\0';
  r.swapped = false;
}
