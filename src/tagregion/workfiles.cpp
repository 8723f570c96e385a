// Work files of a run (the tag position file and the counts file). They are
// removed on every exit: the normal end removes them itself, the list of
// files removed at exit takes what a fatal report left behind, and a
// handler of the interrupting signals removes them (and undoes a region
// file replacement in progress) before the signal ends the run.
#include <csignal>

#include "region/region.h"
#include "tagregion/tagregion.h"
#include "util/util.h"

void region_work_file_add(const std::string& path) { exit_files_add(path); }

void region_work_files_remove() { exit_files_remove(); }

void region_signals_install() {
  exit_files_signals({SIGINT, SIGTERM, SIGHUP}, region_replace_undo);
}
