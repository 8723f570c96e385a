// Replacing a data dictionary together with the files it describes (region
// files, an index), so that a run that dies at any point never leaves the
// data dictionary describing bytes that are not there, and no run undoes
// another's.
//
// A writing run:
//   1. commit_lock on the data dictionary before it reads anything (a
//      second run stops at once), commit_signals, then commit_recover:
//      the journal and the work files of a run that no longer exists are
//      dealt with before this run reads anything.
//   2. Every new file is made beside its target with commit_create
//      (".<name>.<pid>-<n>.new"), written, synced and closed, then handed
//      over with commit_ready. Until the commit they are this run's work
//      files: removed at every exit and on the interrupting signals.
//   3. The data dictionary writer (addutwrdd) writes the new data
//      dictionary the same way and calls commit_run, which puts every ready
//      file and the data dictionary (last) in place.
//
// commit_run, for more than one file: each target that exists gets a
// second name (a hard link ".<name>.<pid>-<n>.old"); the journal
// ".<dd name>.journal" beside the data dictionary names every swap (target,
// new file and its size, second name) and is synced before the first
// rename; then each new file is renamed over its target, the data
// dictionary last; then the second names and the journal are removed. A
// failure or an interrupting signal on the way puts every old file back.
// The lock goes with the data dictionary: the new file is locked before it
// takes the name, so that no second run finds it unlocked.
//
// Journal (text, one line each, fields separated by tabs):
//   "velquin journal 1"
//   "pid <process id>"
//   "swap <size> <target> <new file> <second name or nothing>"  per file
//   "dd <size> <target> <new file> <second name or nothing>"    the last
//   "end"
// (names made absolute, so that a run started elsewhere finds them)
// A journal without its "end" line was never followed by a rename.
//
// commit_recover finds a journal: when every new file it names is in place
// or complete (of its size), the dead run's commit is finished (rolled
// forward); else its swaps are undone; either is said on standard error
// (60050, 60051). Then the work files of runs that no longer exist (their
// process id is in the name) are removed from the folders named, each said
// (60052).
#pragma once

#include <sys/types.h>

#include <initializer_list>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// The lock

// Takes an exclusive lock on the data dictionary for the rest of the run
// (a BSD lock on the file itself): 0 when held, or when the file cannot be
// locked (it does not open, or is a superfile member); 1 when another run
// holds it.
int commit_lock(const char* dd_path);
// Whether the lock this run holds is on that file.
bool commit_lock_holds(dev_t device, ino_t inode);

// ---------------------------------------------------------------------------
// Start-up

// Installs the handlers of the signals (those ignored stay ignored): the
// files removed at exit are removed (util/exitfiles), the commit in
// progress is undone and the new files not yet in place removed, then also
// runs (when given), and the signal ends the program.
void commit_signals(std::initializer_list<int> signals, void (*also)());

// Finishes or undoes the commit of a run that ended during it (the journal
// beside the data dictionary), then removes from each folder ("" the
// current one) the files whose names match one of the patterns with the
// id of a process that no longer exists. Patterns: "%p" the process id,
// "%n" a number, "*" any text, other characters themselves. 0, or 1 after
// reporting a journal that can be neither finished nor undone (60055, with
// nothing changed).
int commit_recover(const char* dd_path, const std::vector<std::string>& dirs,
                   std::initializer_list<const char*> patterns);
// The patterns of the new files and second names of commit_create and
// commit_run.
#define COMMIT_NEW_PATTERN ".*.%p-%n.new"
#define COMMIT_OLD_PATTERN ".*.%p-%n.old"
// The folder of a file name ("" for a bare name).
std::string commit_dir_of(const std::string& path);
// Follows symbolic links to the file they name (which may not exist yet).
std::string commit_resolve_links(const char* path);

// ---------------------------------------------------------------------------
// New files and the commit

// Makes a new empty file beside target with target's permissions (and,
// where allowed, owner): 0 with *fresh its name, or -1 with errno set and
// *denied nonzero when the folder may not be written.
int commit_create(const std::string& target, std::string* fresh, int* denied);
// The new file is complete, synced and closed: it replaces its target at
// the next commit_run. 0, or -1 when it is no file of commit_create.
int commit_ready(const std::string& fresh);
// Removes one new file not yet in place.
void commit_discard(const std::string& fresh);
// Removes every new file not yet in place (also at exit).
void commit_abort();
// The name under which target's new content can now be read: the ready new
// file of target, else target itself (a modification time taken from it
// stays the file's after the rename).
std::string commit_current_name(const std::string& target);

// Puts every ready file in place, then dd_fresh (a ready new file whose
// target is the data dictionary) over the data dictionary, as described
// above. An empty dd_fresh (a data dictionary rewritten in place, as a
// superfile member is) puts the ready files in place one after the other,
// without a journal. 0; or 16 after the report (60006 with the file that could not be
// put in place, 60011 with reporter for the data dictionary, 60056 for the
// journal), every old file back in place and the new files removed.
int commit_run(const std::string& dd_fresh, const char* reporter);

// ---------------------------------------------------------------------------
// Existence of another program's file

// 1 when the file exists, 0 when it does not (ENOENT), -1 with errno set
// when that cannot be told (any other failure).
int commit_file_exists(const char* path);

// ---------------------------------------------------------------------------
// Fault points of the test build (no-ops in the programs): a step of the
// commit, at which a test may end the process or make the step fail
// (true); and the name whose existence check fails with EIO.
bool commit_fault_step();
bool commit_fault_eio(const char* path);
