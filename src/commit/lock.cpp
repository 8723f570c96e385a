// The whole-run lock on a data dictionary: an exclusive BSD lock (flock) on
// the file itself, taken before the run reads anything and held until the
// process ends. A rewrite replaces the file by rename; the new file is
// locked before it takes the name and the old one let go only after, so
// the file under the name is locked throughout and a second run that opens
// either stops at once.
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "commit/commit.h"
#include "commit/internal.h"

using namespace commit_internal;

namespace {

bool is_member_path(const char* path) {
  return path[0] == '@' && std::strchr(path + 1, '@') != nullptr;
}

}  // namespace

int commit_lock(const char* dd_path) {
  State& st = state();
  if (dd_path == nullptr || is_member_path(dd_path) || st.held_fd >= 0) return 0;
  const int caller_errno = errno;  // the caller's reports keep their errno
  for (int attempt = 0; attempt < 100; ++attempt) {
    const int fd = ::open(dd_path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      errno = caller_errno;
      return 0;  // the reader reports a file that does not open
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int error = errno;
      ::close(fd);
      return error == EWOULDBLOCK ? 1 : 0;
    }
    struct stat held{}, now{};
    if (fstat(fd, &held) == 0 && stat(dd_path, &now) == 0 && held.st_dev == now.st_dev &&
        held.st_ino == now.st_ino) {
      st.held_fd = fd;
      st.held_device = held.st_dev;
      st.held_inode = held.st_ino;
      errno = caller_errno;
      return 0;
    }
    // Replaced between the open and the lock: lock the file now named.
    ::close(fd);
  }
  errno = caller_errno;
  return 0;
}

bool commit_lock_holds(dev_t device, ino_t inode) {
  const State& st = state();
  return st.held_fd >= 0 && st.held_device == device && st.held_inode == inode;
}

namespace commit_internal {

int rename_dd(const Swap& s) {
  State& st = state();
  int next = -1;
  struct stat sb{};
  if (st.held_fd >= 0) {
    next = ::open(s.fresh, O_RDONLY | O_CLOEXEC);
    if (next >= 0 && (flock(next, LOCK_EX | LOCK_NB) != 0 || fstat(next, &sb) != 0)) {
      ::close(next);
      next = -1;
    }
  }
  if (::rename(s.fresh, s.target) != 0) {
    const int error = errno;
    if (next >= 0) ::close(next);
    errno = error;
    return -1;
  }
  if (next >= 0) {
    ::close(st.held_fd);
    st.held_fd = next;
    st.held_device = sb.st_dev;
    st.held_inode = sb.st_ino;
  }
  return 0;
}

}  // namespace commit_internal
