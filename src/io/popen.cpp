// Streams on a shell command's input or output, and the table of children
// they run in.
#include <cerrno>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

#include "io/vqio.h"

namespace {

enum ChildState { kFree = 0, kRunning = 1, kEnded = 2 };

struct Child {
  VqStream* stream;
  int fd;  // the parent's end of the pipe
  pid_t pid;
  int state;
  int status;
};

// Grown one entry at a time; plain data so nothing runs at exit.
struct ChildTable {
  Child* entries;
  size_t used;
};

ChildTable children;

Child* free_entry() {
  for (size_t i = 0; i < children.used; ++i)
    if (children.entries[i].state == kFree) return &children.entries[i];
  void* p = std::realloc(children.entries, (children.used + 1) * sizeof(Child));
  if (!p) return nullptr;
  children.entries = static_cast<Child*>(p);
  Child* c = &children.entries[children.used++];
  *c = Child{nullptr, -1, 0, kFree, 0};
  return c;
}

// In the child: its end of the pipe becomes descriptor target, the pipes of
// the other running children are closed, and the shell runs the command.
// The command knows only the system's descriptors: under a subsystem with
// a descriptor table of its own (mixed) the pipe's end is put at target by
// its system descriptor.
[[noreturn]] void run_child(int mine, int other, int target, const char* command) {
  const int system_mine = vqio_system_fd(mine);
  vqio_close(other);
  if (system_mine >= 0) {
    if (system_mine != target) {
      ::dup2(system_mine, target);
      ::close(system_mine);
    }
  } else if (mine != target) {
    vqio_dup2(mine, target);
    vqio_close(mine);
  }
  for (size_t i = 0; i < children.used; ++i)
    if (children.entries[i].state == kRunning) vqio_close(children.entries[i].fd);
  execl("/bin/sh", "sh", "-c", command, static_cast<char*>(nullptr));
  vqio_perror("/bin/sh");
  // _exit, not vqio_exit: the child's copies of the parent's buffered
  // streams must not be written out a second time.
  _exit(1);
}

}  // namespace

VqStream* vqio_popen(const char* command, const char* mode) {
  if (!command || !mode || (mode[0] != 'r' && mode[0] != 'w')) {
    errno = EINVAL;
    return nullptr;
  }
  bool reading = mode[0] == 'r';
  Child* entry = free_entry();
  if (!entry) {
    errno = ENOMEM;
    return nullptr;
  }
  int fds[2];
  if (vqio_pipe(fds) != 0) return nullptr;
  int parent_end = reading ? fds[0] : fds[1];
  int child_end = reading ? fds[1] : fds[0];
  pid_t pid = fork();
  if (pid < 0) {
    int saved = errno;
    vqio_close(fds[0]);
    vqio_close(fds[1]);
    errno = saved;
    return nullptr;
  }
  if (pid == 0) run_child(child_end, parent_end, reading ? 1 : 0, command);
  vqio_close(child_end);
  VqStream* s = vqio_fdopen(parent_end, reading ? "r" : "w");
  if (!s) {
    int saved = errno;
    vqio_close(parent_end);
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    errno = saved;
    return nullptr;
  }
  *entry = Child{s, parent_end, pid, kRunning, 0};
  return s;
}

int vqio_pclose(VqStream* s) {
  Child* entry = nullptr;
  for (size_t i = 0; s && i < children.used; ++i)
    if (children.entries[i].state != kFree && children.entries[i].stream == s)
      entry = &children.entries[i];
  vqio_fclose(s);
  if (!entry) return -1;
  if (entry->state == kRunning) {
    // Wait for this child only: other children of the process belong to
    // other code, whose statuses must not be taken from it.
    int status = 0;
    pid_t r;
    while ((r = waitpid(entry->pid, &status, 0)) < 0 && errno == EINTR) {
    }
    entry->status = r < 0 ? -1 : status;
    entry->state = kEnded;
  }
  int status = entry->status;
  *entry = Child{nullptr, -1, 0, kFree, 0};
  return status;
}
