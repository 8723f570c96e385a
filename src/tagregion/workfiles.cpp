// Work files of a run (the tag position file and the counts file). They are
// removed on every exit: the normal end removes them itself, a handler
// registered with atexit removes what a fatal report left behind (the
// printer ends the run through vqio_exit, which closes every stream and
// then calls exit), and a handler of the interrupting signals removes them
// before the signal ends the run.
#include <csignal>
#include <cstdlib>
#include <unistd.h>

#include "region/region.h"
#include "tagregion/tagregion.h"

namespace {

struct WorkFiles {
  std::vector<std::string> paths;
  bool hooked = false;
};

WorkFiles& work_files() {
  static WorkFiles* files = new WorkFiles;  // lives until the atexit handler ran
  return *files;
}

void remove_at_exit() { region_work_files_remove(); }

void on_signal(int signal) {
  // Only unlink and rename: safe in a signal handler.
  for (const std::string& p : work_files().paths) ::unlink(p.c_str());
  region_replace_undo();
  struct sigaction action{};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
  raise(signal);
}

}  // namespace

void region_work_file_add(const std::string& path) {
  WorkFiles& w = work_files();
  if (!w.hooked) {
    std::atexit(remove_at_exit);
    w.hooked = true;
  }
  w.paths.push_back(path);
}

void region_work_files_remove() {
  WorkFiles& w = work_files();
  // The layer may already be stopped here: remove with the system call.
  for (const std::string& p : w.paths) ::unlink(p.c_str());
  w.paths.clear();
}

void region_signals_install() {
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction old{};
    if (sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    struct sigaction action{};
    action.sa_handler = on_signal;
    sigfillset(&action.sa_mask);  // one handler at a time
    sigaction(signal, &action, nullptr);
  }
}
