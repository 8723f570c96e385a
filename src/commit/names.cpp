// Names beside a file, the journal's name, existence checks and the
// signal handlers of a writing run.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "commit/commit.h"
#include "commit/internal.h"
#include "io/vqio.h"
#include "util/util.h"

using namespace commit_internal;

std::string commit_dir_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string commit_resolve_links(const char* path) {
  std::string current = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
    std::string link(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
    const ssize_t n = readlink(current.c_str(), link.data(), link.size());
    if (n <= 0 || static_cast<size_t>(n) >= link.size()) break;
    link.resize(static_cast<size_t>(n));
    current = link[0] == '/' ? link : commit_dir_of(current) + link;
  }
  return current;
}

namespace commit_internal {

std::string journal_name(const char* dd_path) {
  const std::string target = commit_resolve_links(dd_path);
  const std::string dir = commit_dir_of(target);
  return dir + "." + target.substr(dir.size()) + ".journal";
}

}  // namespace commit_internal

int commit_file_exists(const char* path) {
  if (commit_fault_eio(path)) {
    errno = EIO;
    return -1;
  }
  if (vqio_access(path, F_OK) == 0) return 1;
  return errno == ENOENT ? 0 : -1;
}

namespace {

void on_signal() {
  undo(state());
  if (state().also != nullptr) state().also();
}

}  // namespace

void commit_signals(std::initializer_list<int> signals, void (*also)()) {
  state().also = also;
  exit_files_signals(signals, on_signal);
}
