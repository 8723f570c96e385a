// Starting a child copy of the program for a subdocument: its argument
// vector, the start and the wait, and the run of one SUBDOC entity.
#include <dirent.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "finder/finder.h"
#include "finder/subdoc.h"
#include "sgml/switches.h"

namespace {

constexpr int32_t kMostLevels = 32;

// The signals whose handlers remove the temporary files.
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGPIPE, SIGHUP};

// The child being waited for (0 when none): a signal handler reads it to end
// that child before the parent itself ends.
static_assert(sizeof(pid_t) <= sizeof(sig_atomic_t));
volatile sig_atomic_t running_child = 0;

sigset_t cleanup_signal_set() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : kCleanupSignals) sigaddset(&set, signal);
  return set;
}

// In the child before its exec: the parent's handlers (which would remove
// the parent's files) give way to the default action, as the exec would do;
// an ignored signal stays ignored.
void child_default_handlers() {
  for (int signal : kCleanupSignals) {
    struct sigaction old{};
    if (sigaction(signal, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) continue;
    struct sigaction action{};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
  }
}

// Waits until the child has ended, leaving it unreaped (its process id
// cannot be given to another process meanwhile), then forgets it as the
// running child and reaps it. A signal that interrupts a wait is no
// failure. False, with errno, when a wait fails.
bool wait_for_child(pid_t pid, int* status) {
  siginfo_t info{};
  while (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) < 0) {
    if (errno != EINTR) {
      running_child = 0;
      return false;
    }
  }
  running_child = 0;
  while (waitpid(pid, status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

// In the child: closes every descriptor from 3 up, without a loop to the
// open-file limit (which may be a million in a container).
void close_from_3() {
  if (close_range(3, ~0U, 0) == 0) return;
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) return;
  const int own = dirfd(dir);
  while (struct dirent* entry = readdir(dir)) {
    char* end = nullptr;
    const long fd = std::strtol(entry->d_name, &end, 10);
    if (end == entry->d_name || *end != '\0') continue;  // "." and ".."
    if (fd >= 3 && fd != own) close(static_cast<int>(fd));
  }
  closedir(dir);
}

}  // namespace

int32_t subdoc_level_from_environment() {
  const char* text = std::getenv(kSubdocLevelVariable);
  if (text == nullptr) return 0;
  const long level = std::strtol(text, nullptr, 10);
  if (level < 0) return 0;
  return level > kMostLevels ? kMostLevels : static_cast<int32_t>(level);
}

std::vector<const char*> subdoc_make_argv(const char* file_list) {
  const FrontState& f = front_state();
  std::vector<const char*> argv;
  for (const std::string& a : f.forwarded) argv.push_back(a.c_str());
  if (f.capacity_report) {
    argv.push_back("-z");
    argv.push_back(capacity_temp_file().c_str());
  }
  argv.push_back(sgmldecl_temp_file().c_str());
  for (const char* name = file_list; name != nullptr && *name != '\0';
       name += std::strlen(name) + 1) {
    argv.push_back(name);
  }
  argv.push_back(nullptr);
  // The child runs one subdocument level further down.
  const std::string level = std::to_string(sgml_switches().subdoc_levels + 1);
  setenv(kSubdocLevelVariable, level.c_str(), 1);
  return argv;
}

void subdoc_stop_child() {
  const pid_t pid = running_child;
  if (pid > 0) kill(pid, SIGTERM);
}

int spawn_and_wait(const char* const* argv) {
  vqio_fflush(vqio_stderr);
  vqio_fflush(vqio_stdout);
  // The interrupting signals wait until the child's id is recorded, so that
  // their handler always finds the child it must end.
  const sigset_t held = cleanup_signal_set();
  sigset_t saved;
  sigprocmask(SIG_BLOCK, &held, &saved);
  const pid_t pid = fork();
  if (pid == 0) {
    child_default_handlers();
    sigprocmask(SIG_SETMASK, &saved, nullptr);
    close_from_3();
    execvp(argv[0], const_cast<char* const*>(argv));
    front_print(kFrontCannotExec, argv[0], std::strerror(errno));
    vqio_fflush(vqio_stderr);
    _exit(127);
  }
  const int fork_error = errno;
  if (pid > 0) running_child = pid;
  sigprocmask(SIG_SETMASK, &saved, nullptr);
  if (pid < 0) {
    front_error(kFrontCannotFork, std::strerror(fork_error));
    return -1;
  }
  int status = 0;
  // This child only.
  if (!wait_for_child(pid, &status)) {
    front_error(kFrontWaitFailed, std::strerror(errno));
    return -1;
  }
  if (WIFSIGNALED(status)) {
    front_error(kFrontFatalSignal, argv[0], WTERMSIG(status));
    return -1;
  }
  return WEXITSTATUS(status);
}

int subdoc_run(const char* /*entity_name*/, const char* file_list) {
  vqio_fflush(vqio_stderr);
  std::vector<const char*> argv = subdoc_make_argv(file_list);
  const int result = spawn_and_wait(argv.data());
  if (result != 0) {
    ++front_state().child_failed;
    return result;
  }
  subdoc_read_capacity();
  return 0;
}
