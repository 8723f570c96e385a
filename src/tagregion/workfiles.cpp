// Work files of a run (the tag position file and the counts file). They are
// removed on every exit: the normal end removes them itself, and a handler
// registered with atexit removes what a fatal report left behind (the
// printer ends the run through vqio_exit, which closes every stream and
// then calls exit).
#include <cstdlib>
#include <unistd.h>

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
