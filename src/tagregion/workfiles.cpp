// Work files of a run (the tag position file and the counts file). They are
// removed on every exit: the normal end removes them itself, the list of
// files removed at exit takes what a fatal report left behind, and a
// handler of the interrupting signals removes them (and undoes a commit in
// progress) before the signal ends the run.
#include <csignal>

#include "commit/commit.h"
#include "region/region.h"
#include "tagregion/tagregion.h"
#include "util/util.h"

void region_work_file_add(const std::string& path) { exit_files_add(path); }

void region_work_files_remove() { exit_files_remove(); }

void region_signals_install() { commit_signals({SIGINT, SIGTERM, SIGHUP}, nullptr); }
