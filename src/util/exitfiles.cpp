// The list of files removed at exit and on the interrupting signals.
#include <csignal>
#include <cstdlib>
#include <unistd.h>

#include <algorithm>

#include "util/util.h"

namespace {

struct ExitFiles {
  std::vector<std::string> paths;
  bool hooked = false;
  void (*also)() = nullptr;  // the program's own signal-time action
};

ExitFiles& exit_files() {
  static ExitFiles* files = new ExitFiles;  // lives until the atexit handler ran
  return *files;
}

void remove_at_exit() { exit_files_remove(); }

// Holds every signal off while the list changes, so that a handler never
// walks a list that is being reallocated.
struct SignalsHeld {
  sigset_t saved;
  SignalsHeld() {
    sigset_t all;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, &saved);
  }
  ~SignalsHeld() { sigprocmask(SIG_SETMASK, &saved, nullptr); }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;
};

}  // namespace

void exit_files_on_signal(int signal) {
  // Only unlink, the program's action and re-raise: safe in a handler.
  ExitFiles& files = exit_files();
  for (const std::string& p : files.paths) ::unlink(p.c_str());
  if (files.also != nullptr) files.also();
  struct sigaction action{};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
  raise(signal);
}

void exit_files_add(const std::string& path) {
  ExitFiles& files = exit_files();
  if (!files.hooked) {
    std::atexit(remove_at_exit);
    files.hooked = true;
  }
  SignalsHeld held;
  files.paths.push_back(path);
}

void exit_files_drop(const std::string& path) {
  std::vector<std::string>& paths = exit_files().paths;
  SignalsHeld held;
  auto found = std::find(paths.begin(), paths.end(), path);
  if (found != paths.end()) paths.erase(found);
}

void exit_files_remove() {
  ExitFiles& files = exit_files();
  SignalsHeld held;
  // The I/O layer may already be stopped here: the system call removes.
  for (const std::string& p : files.paths) ::unlink(p.c_str());
  files.paths.clear();
}

void exit_files_signals(std::initializer_list<int> signals, void (*also)()) {
  exit_files().also = also;
  for (int signal : signals) {
    struct sigaction old{};
    if (sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    struct sigaction action{};
    action.sa_handler = exit_files_on_signal;
    sigfillset(&action.sa_mask);  // one handler at a time
    sigaction(signal, &action, nullptr);
  }
}
