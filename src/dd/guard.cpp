// Guarding a data dictionary against two runs that rewrite it at once.
//
// Every read records the file's identity as the reader opened it (device,
// inode, size, modification time). A rewrite first checks, under an
// exclusive lock on the file, that the file on disk is still the one read:
// when another run replaced or changed it meanwhile, this run's tree lacks
// the other's update, and writing it would lose that update. The lock is a
// BSD lock (flock) on the data dictionary itself, which the rename of a
// rewrite leaves to the old file: whoever then waits for it sees another
// file under the name. A writing run holds that lock from start to end
// (commit_lock), so that a second run stops at once.
//
// Superfile members ("@superfile@member") are neither stamped nor locked.
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <string>

#include "commit/commit.h"
#include "dd/dd.h"
#include "msg/msg.h"

namespace {

struct Stamp {
  dev_t device;
  ino_t inode;
  off_t size;
  int64_t mtime_ns;
};

struct GuardState {
  std::map<std::string, Stamp> stamps;  // by stamp_key of the path
};

GuardState& guard_state() {
  static GuardState state;
  return state;
}

bool is_member_path(const char* path) {
  return path[0] == '@' && std::strchr(path + 1, '@') != nullptr;
}

// A relative path names another file once the working directory changes:
// stamps are kept under the path made absolute when it is stamped or
// checked, so that a file of one directory is never checked against the
// stamp of another's.
std::string stamp_key(const char* path) {
  if (path[0] == '/') return path;
  char cwd[4096];
  if (getcwd(cwd, sizeof cwd) == nullptr) return path;
  return std::string(cwd) + "/" + path;
}

Stamp stamp_of(const struct stat& sb) {
  return {sb.st_dev, sb.st_ino, sb.st_size,
          static_cast<int64_t>(sb.st_mtim.tv_sec) * 1000000000 + sb.st_mtim.tv_nsec};
}

bool same_stamp(const Stamp& a, const Stamp& b) {
  return a.device == b.device && a.inode == b.inode && a.size == b.size &&
         a.mtime_ns == b.mtime_ns;
}

}  // namespace

void dd_stamp_read(const char* path, VqStream* file) {
  if (path == nullptr || is_member_path(path)) return;
  struct stat sb{};
  const int fd = vqio_system_fd(vqio_fileno(file));
  if (fd < 0 || fstat(fd, &sb) != 0) return;
  guard_state().stamps[stamp_key(path)] = stamp_of(sb);
}

int dd_guard_begin(const char* path, const std::string& target) {
  GuardState& g = guard_state();
  if (is_member_path(path)) return -1;
  const auto stamp = g.stamps.find(stamp_key(path));
  int fd = -1;
  struct stat now{};
  if (stat(target.c_str(), &now) == 0 && !commit_lock_holds(now.st_dev, now.st_ino)) {
    fd = ::open(target.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
      while (flock(fd, LOCK_EX) != 0 && errno == EINTR) {
      }
    }
  }
  if (stamp != g.stamps.end()) {
    struct stat sb{};
    const bool present = stat(target.c_str(), &sb) == 0;
    if (!present || !same_stamp(stamp_of(sb), stamp->second)) {
      if (fd >= 0) ::close(fd);
      vq_report(2, GetMsgNumText(60014), path);
      return -2;
    }
  }
  return fd;
}

void dd_guard_end(const char* path, const std::string& target, int fd, bool written) {
  GuardState& g = guard_state();
  if (written && !is_member_path(path)) {
    struct stat sb{};
    if (stat(target.c_str(), &sb) == 0) g.stamps[stamp_key(path)] = stamp_of(sb);
  }
  if (fd >= 0) ::close(fd);
}
