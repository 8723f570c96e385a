// The shell runner: one command line run by /bin/sh in a child process.
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "mfs/mfs.h"

int run_shell(const char* command, const char* output) {
  if (!command) return 1;
  std::string line = "(";
  line += command;
  line += ") > ";
  line += output ? output : "/dev/null";
  line += " 2>&1";

  const pid_t child = fork();
  if (child == -1) return -1;
  if (child == 0) {
    execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
    // _exit: the child must not flush the buffers it shares with its parent
    // or run the parent's exit handlers.
    _exit(127);
  }
  int status = 0;
  while (waitpid(child, &status, 0) == -1) {
    if (errno != EINTR) return -1;
  }
  return status;
}
