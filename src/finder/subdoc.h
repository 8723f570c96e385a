// Child processes for SUBDOC entities. Normalize and line-format output
// parse a subdocument by starting a copy of the program itself with the
// forwarded options, a temporary file holding the SGML declaration in
// effect and the subdocument's files (read as one document entity); with
// -c the child also gets "-z" and a capacity exchange file, into which it
// writes its capacity counts at its end, and the parent keeps the largest
// figures of its children.
//
// The two temporary files (the declaration file and the capacity exchange
// file) are made on first use, created exclusively under names this
// program makes in the stream layer's temporary folder ($tmpdir, $TMPDIR,
// /usr/tmp/, /tmp/), reused by every later child, and on the front end's
// clean-up list: removed at every end of the process, and by the handlers
// of SIGINT, SIGTERM, SIGPIPE and SIGHUP, installed when the declaration
// file is made (before the first child starts; a signal that was ignored
// stays ignored). Those handlers also send SIGTERM to the child being
// waited for, so that no child outlives a parent ended by a signal (nor
// writes its capacity file after the parent removed it).
//
// A child learns its subdocument level from its parent through the
// environment variable TAVREL_SUBDOC_LEVEL (no command-line option); the
// parser refuses a SUBDOC reference with P188 at the SUBDOC limit of the
// declaration in effect, and in any case at 32 levels, so that a
// subdocument that refers to itself ends instead of forking without end.
//
// One child runs at a time; the parent blocks until it ends.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The environment variable that carries the subdocument level.
constexpr const char kSubdocLevelVariable[] = "TAVREL_SUBDOC_LEVEL";

// The level this process runs at: the variable's value (0 when it is not
// set or is no number; clamped to 0 .. 32).
int32_t subdoc_level_from_environment();

// The SGML-declaration temporary file: made on the first call (the
// signal handlers installed first, then the declaration in effect written
// into it); later calls give the same name. Front message 7 and status 1
// when it cannot be made or written.
const std::string& sgmldecl_temp_file();
// The capacity exchange file: made empty on the first call; later calls
// give the same name. Front message 7 and status 1 when it cannot be made.
const std::string& capacity_temp_file();
// Removes whichever of the two files exists and forgets its name.
void temp_files_remove();
// The handler of the four signals: removes the two files (names prepared
// beforehand; nothing but unlink), ends the running child (subdoc_stop_child),
// restores the default action and raises the signal again.
void signal_cleanup(int signal);
// Sends SIGTERM to the child that spawn_and_wait is waiting for, if any, so
// that a parent ended by a signal leaves no child running (a child blocked
// on a subdocument that never ends, for one). Only async-signal-safe calls.
void subdoc_stop_child();

// The child's argument vector: the forwarded arguments (the program path as
// started, then the forwarded options); "-z" and the capacity exchange
// file when the capacity-report flag is set; the declaration file; the
// names of file_list (NUL-separated, ended by an empty name); a null
// pointer. The pointers stay valid while file_list and the front state
// live (the two temporary names live until temp_files_remove).
std::vector<const char*> subdoc_make_argv(const char* file_list);

// Flushes standard error and standard output, starts argv[0] with the
// vector (PATH searched when it holds no '/'; descriptors 3 and up closed
// in the child) and waits for that child. The child's exit status (0 to
// 255), or -1 after front message 4 (fork failed), 5 (wait failed) or 6
// (the child was ended by a signal). A child that cannot execute writes
// front message 3 and ends with 127.
int spawn_and_wait(const char* const* argv);

// Reads the capacity exchange file back (nothing when none was made) and
// keeps, per capacity, the largest figure any child reported (the parser
// adds these at the end of the run). Front message 7 when it cannot be
// opened, 8 when it holds fewer than 16 numbers; both end with status 1.
void subdoc_read_capacity();

// Runs a SUBDOC entity through a child: flushes standard error, builds the
// vector from the entity's file list, runs it; a nonzero result adds one to
// the front end's child-failed count, a zero one reads the capacity
// figures back. Returns the child's result (0 success). The caller writes
// what its mode writes around the child (normalize: the pending line
// break; line-format output: the "{" and "}" lines) and flushes standard
// output first.
int subdoc_run(const char* entity_name, const char* file_list);
