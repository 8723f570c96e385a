// New files beside their targets, the commit that puts them in place with
// the data dictionary, and its undo (see commit.h).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "commit/commit.h"
#include "commit/internal.h"
#include "msg/msg.h"
#include "util/util.h"

using namespace commit_internal;

namespace commit_internal {

State& state() {
  static State st = [] {
    State s{};
    s.held_fd = -1;
    return s;
  }();
  return st;
}

bool copy_name(char* to, const std::string& from) {
  if (from.size() >= kName) {
    errno = ENAMETOOLONG;
    return false;
  }
  std::memcpy(to, from.c_str(), from.size() + 1);
  return true;
}

SignalsHeld::SignalsHeld() {
  sigset_t all;
  sigfillset(&all);
  sigprocmask(SIG_BLOCK, &all, &saved);
}

SignalsHeld::~SignalsHeld() { sigprocmask(SIG_SETMASK, &saved, nullptr); }

}  // namespace commit_internal

namespace {

void abort_at_exit() { commit_abort(); }

std::string beside(const std::string& target, const char* kind, int attempt) {
  const std::string dir = commit_dir_of(target);
  const std::string base = target.substr(dir.size());
  return dir + "." + base + "." + std::to_string(static_cast<long>(::getpid())) + "-" +
         std::to_string(attempt) + kind;
}

Swap* slot_of(const std::string& fresh) {
  for (Swap& s : state().swaps)
    if (s.target[0] != '\0' && !s.swapped && fresh == s.fresh) return &s;
  return nullptr;
}

void clear(Swap& s) {
  s.target[0] = s.fresh[0] = s.backup[0] = '\0';
  s.ready = s.linked = s.moved = s.swapped = s.is_dd = false;
  s.size = 0;
}

void sync_dir(const char* file) {
  const std::string dir = commit_dir_of(file);
  const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  if (fsync(fd) != 0) {
    // A folder that cannot be synced (some file systems) is left to the system.
  }
  ::close(fd);
}

bool exists(const char* path) {
  struct stat sb{};
  return ::lstat(path, &sb) == 0;
}

// A name the journal can give to a run started in another folder.
std::string absolute(const char* name, const std::string& cwd) {
  if (name[0] == '\0' || name[0] == '/') return name;
  return cwd + "/" + name;
}

// Writes the journal of the ready swaps, the data dictionary's last, and
// syncs it and its folder.
bool write_journal(State& st, const std::string& name) {
  char here[kName];
  if (::getcwd(here, sizeof here) == nullptr) return false;
  const std::string cwd = here;
  std::string text = "velquin journal 1\npid " + std::to_string(static_cast<long>(::getpid())) + "\n";
  for (int pass = 0; pass < 2; ++pass)
    for (const Swap& s : st.swaps) {
      if (s.target[0] == '\0' || !s.ready || s.is_dd != (pass == 1)) continue;
      for (const char* field : {s.target, s.fresh, s.backup})
        if (std::strpbrk(field, "\t\n") != nullptr) return false;
      text += std::string(s.is_dd ? "dd" : "swap") + "\t" +
              std::to_string(static_cast<long long>(s.size)) + "\t" + absolute(s.target, cwd) +
              "\t" + absolute(s.fresh, cwd) + "\t" + absolute(s.backup, cwd) + "\n";
    }
  text += "end\n";
  if (!copy_name(st.journal, name)) return false;
  const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    st.journal[0] = '\0';
    return false;
  }
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  const bool ok = done == text.size() && fsync(fd) == 0;
  if (::close(fd) != 0 || !ok) return false;
  sync_dir(name.c_str());
  return true;
}

// Gives the existing target a second name: a hard link, or where the file
// system has none, the old file moved there. A folder is refused.
bool second_name(Swap& s) {
  struct stat sb{};
  if (::lstat(s.target, &sb) != 0) return errno == ENOENT;
  if (S_ISDIR(sb.st_mode)) {
    errno = EISDIR;
    return false;
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    if (!copy_name(s.backup, beside(s.target, ".old", attempt))) return false;
    if (!exists(s.backup)) return true;
  }
  s.backup[0] = '\0';
  errno = EEXIST;
  return false;
}

bool make_second_name(Swap& s) {
  if (s.backup[0] == '\0') return true;
  const SignalsHeld held;
  if (::link(s.target, s.backup) == 0) {
    s.linked = true;
    return true;
  }
  if (errno != EPERM && errno != EXDEV && errno != ENOTSUP && errno != EMLINK && errno != ENOSYS)
    return false;
  if (::rename(s.target, s.backup) != 0) return false;
  s.moved = true;
  return true;
}

bool put_in_place(Swap& s) {
  const SignalsHeld held;
  const int r = s.is_dd ? rename_dd(s) : ::rename(s.fresh, s.target);
  if (r == 0) s.swapped = true;
  return r == 0;
}

// A step of the commit that the test build may end or fail (errno EIO).
bool fault() {
  if (!commit_fault_step()) return false;
  errno = EIO;
  return true;
}

int failed(State& st, long message, const char* name) {
  const int error = errno;
  const std::string named = name;  // a target's name goes with the undo
  undo(st);
  errno = error;
  vq_report(16, GetMsgNumText(message), named.c_str());
  return 16;
}

}  // namespace

namespace commit_internal {

int finish(State& st) {
  for (int pass = 0; pass < 2; ++pass)
    for (Swap& s : st.swaps)
      if (s.target[0] != '\0' && s.ready && !s.swapped && s.is_dd == (pass == 1) &&
          !put_in_place(s))
        return -1;
  for (Swap& s : st.swaps)
    if (s.target[0] != '\0' && s.swapped) sync_dir(s.target);
  for (Swap& s : st.swaps) {
    if (s.target[0] == '\0' || !s.swapped) continue;
    const SignalsHeld held;
    if (s.backup[0] != '\0') ::unlink(s.backup);
    clear(s);
  }
  commit_fault_step();  // ending here leaves only the journal; a failure is not asked for
  if (st.journal[0] != '\0') {
    const SignalsHeld held;
    ::unlink(st.journal);
    sync_dir(st.journal);
    st.journal[0] = '\0';
  }
  return 0;
}

void undo(State& st) {
  // Only system calls on fixed buffers: this also runs in a signal handler.
  for (int i = kSlots - 1; i >= 0; --i) {
    Swap& s = st.swaps[i];
    if (s.target[0] == '\0') continue;
    if (s.swapped) {
      if (s.linked || s.moved)
        ::rename(s.backup, s.target);
      else if (s.backup[0] == '\0')
        ::unlink(s.target);
    } else {
      if (s.moved)
        ::rename(s.backup, s.target);
      else if (s.linked)
        ::unlink(s.backup);
      ::unlink(s.fresh);
    }
    clear(s);
  }
  if (st.journal[0] != '\0') ::unlink(st.journal);
  st.journal[0] = '\0';
}

}  // namespace commit_internal

int commit_create(const std::string& target, std::string* fresh, int* denied) {
  State& st = state();
  if (denied != nullptr) *denied = 0;
  if (!st.hooked) {
    std::atexit(abort_at_exit);
    st.hooked = true;
  }
  Swap* s = nullptr;
  for (Swap& free : st.swaps)
    if (free.target[0] == '\0') {
      s = &free;
      break;
    }
  if (s == nullptr) {
    errno = EMFILE;
    return -1;
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = beside(target, ".new", attempt);
    if (name.size() >= kName || target.size() >= kName) {
      errno = ENAMETOOLONG;
      return -1;
    }
    int fd;
    {
      const SignalsHeld held;
      fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd >= 0) {
        copy_name(s->fresh, name);
        copy_name(s->target, target);
      }
    }
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) {
      if (denied != nullptr) *denied = errno == EACCES || errno == EPERM || errno == EROFS;
      return -1;
    }
    struct stat old{};
    if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
      if (fchown(fd, old.st_uid, old.st_gid) != 0) {
        // Only a privileged run may give a file away; it stays this run's.
      }
      fchmod(fd, old.st_mode & 07777);
    }
    ::close(fd);
    *fresh = name;
    return 0;
  }
  errno = EEXIST;
  return -1;
}

int commit_ready(const std::string& fresh) {
  Swap* s = slot_of(fresh);
  struct stat sb{};
  if (s == nullptr || ::stat(s->fresh, &sb) != 0) {
    errno = EINVAL;
    return -1;
  }
  s->size = static_cast<int64_t>(sb.st_size);
  s->ready = true;
  return 0;
}

void commit_discard(const std::string& fresh) {
  Swap* s = slot_of(fresh);
  if (s == nullptr) return;
  const SignalsHeld held;
  ::unlink(s->fresh);
  clear(*s);
}

void commit_abort() { undo(state()); }

std::string commit_current_name(const std::string& target) {
  const std::string resolved = commit_resolve_links(target.c_str());
  for (const Swap& s : state().swaps)
    if (s.target[0] != '\0' && s.ready && !s.swapped && (target == s.target || resolved == s.target))
      return s.fresh;
  return target;
}

int commit_run(const std::string& dd_fresh, const char* reporter) {
  State& st = state();
  Swap* dd = dd_fresh.empty() ? nullptr : slot_of(dd_fresh);
  if (!dd_fresh.empty() && (dd == nullptr || !dd->ready)) {
    errno = EINVAL;
    return failed(st, 60011, reporter);
  }
  if (dd != nullptr) dd->is_dd = true;
  int count = 0;
  for (const Swap& s : st.swaps) count += s.target[0] != '\0' && s.ready ? 1 : 0;
  if (fault()) return failed(st, 60011, reporter);
  if (count > 1) {
    for (Swap& s : st.swaps)
      if (s.target[0] != '\0' && s.ready && !second_name(s))
        return failed(st, s.is_dd ? 60011 : 60006, s.is_dd ? reporter : s.target);
    if (dd != nullptr) {
      const std::string journal = journal_name(dd->target);
      if (!write_journal(st, journal)) return failed(st, 60056, journal.c_str());
      if (fault()) return failed(st, 60011, reporter);
    }
    for (int pass = 0; pass < 2; ++pass)
      for (Swap& s : st.swaps) {
        if (s.target[0] == '\0' || !s.ready || s.is_dd != (pass == 1)) continue;
        // A file that cannot be put in place is named; the data dictionary
        // is the reporter's.
        const long message = s.is_dd ? 60011 : 60006;
        const char* name = s.is_dd ? reporter : s.target;
        if (!make_second_name(s) || fault()) return failed(st, message, name);
        if (!put_in_place(s) || fault()) return failed(st, message, name);
      }
  }
  if (finish(st) != 0) return failed(st, 60011, reporter);
  return 0;
}
