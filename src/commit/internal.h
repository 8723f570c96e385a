// State shared by the files of the commit module. Names live in fixed
// buffers so that the undo may run in a signal handler.
#pragma once

#include <csignal>
#include <cstdint>
#include <string>

namespace commit_internal {

constexpr size_t kName = 4096;
constexpr int kSlots = 64;

struct Swap {
  char target[kName];  // the file replaced ("" free slot)
  char fresh[kName];   // the new file
  char backup[kName];  // the old file's second name ("" none)
  int64_t size;        // of the ready new file
  bool ready;          // complete: takes part in the commit
  bool linked;         // backup is a second name of the old file
  bool moved;          // the old file was moved to backup (no hard links)
  bool swapped;        // the new file stands under the target's name
  bool is_dd;          // the data dictionary: renamed last, takes the lock
};

struct State {
  Swap swaps[kSlots];
  char journal[kName];  // the journal while it exists ("" none)
  bool hooked;          // the exit handler is registered
  int held_fd;          // the lock's descriptor, -1 none
  dev_t held_device;
  ino_t held_inode;
  void (*also)();  // the program's own action on a signal
};

State& state();

bool copy_name(char* to, const std::string& from);
// The journal of the data dictionary (its links followed).
std::string journal_name(const char* dd_path);
// Puts the data dictionary's new file in place with the lock carried over:
// the new file is locked before the rename, the old lock let go after it.
// 0, or -1 with errno set.
int rename_dd(const Swap& s);
// Puts the new files of the table not yet in place there (the data
// dictionary last), then removes the second names and the journal: 0, or
// -1 with errno set (nothing undone).
int finish(State& st);
// Puts every old file back and removes the new files and the journal
// (signal-safe).
void undo(State& st);
// Holds the interrupting signals off while a step and its record change
// together.
struct SignalsHeld {
  sigset_t saved;
  SignalsHeld();
  ~SignalsHeld();
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;
};

}  // namespace commit_internal
