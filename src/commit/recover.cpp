// Start-up under the lock: the commit of a run that ended during it is
// finished or undone, then the work files of runs that no longer exist are
// removed (see commit.h).
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "commit/commit.h"
#include "commit/internal.h"
#include "msg/msg.h"

using namespace commit_internal;

namespace {

bool read_file(const std::string& name, std::string* text) {
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char buffer[4096];
  ssize_t n;
  while ((n = ::read(fd, buffer, sizeof buffer)) > 0) text->append(buffer, static_cast<size_t>(n));
  ::close(fd);
  return true;
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t from = 0;
  for (size_t at; (at = text.find(separator, from)) != std::string::npos; from = at + 1)
    parts.push_back(text.substr(from, at - from));
  parts.push_back(text.substr(from));
  return parts;
}

bool same_file(const char* a, const char* b) {
  struct stat sa{}, sb{};
  return ::lstat(a, &sa) == 0 && ::lstat(b, &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

// Reads the journal into the table, each swap's state taken from the disk.
// false for a journal cut short (no rename followed it); *pid its run.
bool load_journal(const std::string& text, long* pid) {
  State& st = state();
  bool complete = false;
  int n = 0;
  for (const std::string& line : split(text, '\n')) {
    if (line == "end") complete = true;
    if (line.compare(0, 4, "pid ") == 0) *pid = std::strtol(line.c_str() + 4, nullptr, 10);
    const std::vector<std::string> f = split(line, '\t');
    if (f.size() != 5 || (f[0] != "swap" && f[0] != "dd") || n == kSlots) continue;
    Swap& s = st.swaps[n++];
    if (!copy_name(s.target, f[2]) || !copy_name(s.fresh, f[3]) || !copy_name(s.backup, f[4])) {
      s.target[0] = '\0';
      continue;
    }
    s.size = std::strtoll(f[1].c_str(), nullptr, 10);
    s.ready = true;
    s.is_dd = f[0] == "dd";
    struct stat fresh{}, target{}, backup{};
    const bool has_fresh = ::lstat(s.fresh, &fresh) == 0;
    const bool has_target = ::lstat(s.target, &target) == 0;
    const bool has_backup = s.backup[0] != '\0' && ::lstat(s.backup, &backup) == 0;
    s.swapped = !has_fresh && has_target && !(has_backup && same_file(s.target, s.backup));
    s.linked = has_backup && has_target;
    s.moved = has_backup && !has_target;
  }
  if (!complete)
    for (Swap& s : st.swaps) s.swapped = s.linked = s.moved = false;  // nothing was renamed
  return complete;
}

void clear_table() {
  for (Swap& s : state().swaps) {
    s.target[0] = s.fresh[0] = s.backup[0] = '\0';
    s.ready = s.linked = s.moved = s.swapped = s.is_dd = false;
  }
}

// Finishes or undoes the journal's commit: 0, or 1 after 60055.
int recover_journal(const char* dd_path, const std::string& journal) {
  State& st = state();
  std::string text;
  if (!read_file(journal, &text)) return 0;
  long pid = 0;
  const bool complete = load_journal(text, &pid);
  bool forward = complete;
  const char* missing = nullptr;
  for (const Swap& s : st.swaps) {
    if (s.target[0] == '\0') continue;
    struct stat sb{};
    if (!s.swapped && (::lstat(s.fresh, &sb) != 0 || sb.st_size != s.size)) forward = false;
    if (s.swapped && s.backup[0] != '\0' && !s.linked && !s.moved) missing = s.backup;
  }
  if (!forward && missing != nullptr) {
    const std::string name = missing;
    clear_table();
    vq_report(9, GetMsgNumText(60055), journal.c_str(), name.c_str());
    return 1;
  }
  copy_name(st.journal, journal);
  if (forward && finish(st) == 0) {
    vq_report(1, GetMsgNumText(60050), pid, dd_path);
    return 0;
  }
  undo(st);
  vq_report(1, GetMsgNumText(60051), pid, dd_path);
  return 0;
}

// Whether name matches the pattern; *pid the number at "%p".
bool matches(const char* p, const char* s, long* pid) {
  for (; *p != '\0'; ++p, ++s) {
    if (*p == '*') {
      for (const char* rest = s;; ++rest) {
        if (matches(p + 1, rest, pid)) return true;
        if (*rest == '\0') return false;
      }
    }
    if (*p == '%' && (p[1] == 'p' || p[1] == 'n')) {
      if (!std::isdigit(static_cast<unsigned char>(*s))) return false;
      const char* end = s;
      while (std::isdigit(static_cast<unsigned char>(*end))) ++end;
      // Every split of the digits could be tried; a run of digits is one number here.
      if (p[1] == 'p') *pid = std::strtol(s, nullptr, 10);
      s = end - 1;
      ++p;
      continue;
    }
    if (*p != *s) return false;
  }
  return *s == '\0';
}

bool ended(long pid) {
  if (pid <= 0) return false;
  if (pid == static_cast<long>(::getpid())) return true;  // before this run made anything
  return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

void sweep(const std::string& dir, std::initializer_list<const char*> patterns) {
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (d == nullptr) return;
  std::vector<std::pair<std::string, long>> dead;
  while (const dirent* e = ::readdir(d)) {
    for (const char* p : patterns) {
      long pid = 0;
      if (matches(p, e->d_name, &pid) && ended(pid)) {
        dead.emplace_back(e->d_name, pid);
        break;
      }
    }
  }
  ::closedir(d);
  std::sort(dead.begin(), dead.end());
  for (const auto& [name, pid] : dead) {
    std::string path = dir;
    if (!path.empty() && path.back() != '/') path += '/';
    path += name;
    if (::unlink(path.c_str()) == 0) vq_report(1, GetMsgNumText(60052), path.c_str(), pid);
  }
}

}  // namespace

int commit_recover(const char* dd_path, const std::vector<std::string>& dirs,
                   std::initializer_list<const char*> patterns) {
  const int caller_errno = errno;  // the caller's reports keep their errno
  if (recover_journal(dd_path, journal_name(dd_path)) != 0) return 1;
  std::vector<std::string> seen;
  for (const std::string& dir : dirs) {
    // "a/" and "a" are one folder ("/" stays itself).
    const size_t keep = dir.size() > 1 && dir.back() == '/' ? dir.size() - 1 : dir.size();
    const std::string d(dir, 0, keep);
    if (std::find(seen.begin(), seen.end(), d) != seen.end()) continue;
    seen.push_back(d);
    sweep(d, patterns);
  }
  errno = caller_errno;
  return 0;
}
