// The clean-up list of tavrel: its temporary files (the SGML-declaration and
// capacity files of child processes, the temporary region records) go on
// the list of files removed at exit, which every way out runs: the normal
// end, front_fatal and a fatal message (both end through vqio_exit), and
// the interrupting signals once front_cleanup_signals has installed their
// handlers.
#include <csignal>

#include "commit/commit.h"
#include "finder/finder.h"
#include "finder/subdoc.h"
#include "util/util.h"

void front_cleanup_add(const std::string& path) { exit_files_add(path); }

void front_cleanup_drop(const std::string& path) { exit_files_drop(path); }

void front_cleanup_run() { exit_files_remove(); }

// A parent ended by one of the signals ends its running child as well.
// A commit in progress is undone first (commit/commit.h).
void front_cleanup_signals() { commit_signals(kFrontCleanupSignals, subdoc_stop_child); }
