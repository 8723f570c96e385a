// Starting a child copy of the program for a subdocument: its argument
// vector, the start and the wait, and the run of one SUBDOC entity.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "finder/finder.h"
#include "finder/subdoc.h"
#include "sgml/sgml.h"

namespace {

constexpr int32_t kMostLevels = 32;

// The child being waited for (0 when none): a signal handler reads it to end
// that child before the parent itself ends.
static_assert(sizeof(pid_t) <= sizeof(sig_atomic_t));
volatile sig_atomic_t running_child = 0;

sigset_t cleanup_signal_set() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : kFrontCleanupSignals) sigaddset(&set, signal);
  return set;
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

// The signals of kFrontCleanupSignals that this process handles (not those it
// ignores, which stay ignored in the child): a child takes their default
// action, as an exec would give it.
sigset_t handled_signal_set() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : kFrontCleanupSignals) {
    struct sigaction old{};
    if (sigaction(signal, nullptr, &old) == 0 && old.sa_handler != SIG_IGN) sigaddset(&set, signal);
  }
  return set;
}

// Failures of the start itself rather than of the program's execution: the
// process could not be made.
bool start_failure(int error) { return error == EAGAIN || error == ENOMEM; }

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
  // The child is started with posix_spawn: it shares the parent's memory
  // until its exec instead of copying the parent's page tables, which for
  // many small subdocuments cost as much as the children's own work.
  // Descriptors 3 and up are closed in the child (close_range, without a
  // loop to the open-file limit); the handled signals get their default
  // action there.
  // A set-up step that fails (no memory, say) is a failure to start the
  // child, as a failed fork was.
  posix_spawn_file_actions_t actions;
  int setup = posix_spawn_file_actions_init(&actions);
  if (setup != 0) {
    front_error(kFrontCannotFork, std::strerror(setup));
    return -1;
  }
  posix_spawnattr_t attributes;
  setup = posix_spawnattr_init(&attributes);
  if (setup != 0) {
    posix_spawn_file_actions_destroy(&actions);
    front_error(kFrontCannotFork, std::strerror(setup));
    return -1;
  }
  const sigset_t defaults = handled_signal_set();
  setup = posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  if (setup == 0) setup = posix_spawnattr_setsigdefault(&attributes, &defaults);
  // The interrupting signals wait until the child's id is recorded, so that
  // their handler always finds the child it must end; the child starts with
  // the signal mask of before.
  const sigset_t held = cleanup_signal_set();
  sigset_t saved;
  sigprocmask(SIG_BLOCK, &held, &saved);
  if (setup == 0) setup = posix_spawnattr_setsigmask(&attributes, &saved);
  if (setup == 0)
    setup = posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  pid_t pid = 0;
  const int error = setup != 0 ? setup
                               : posix_spawnp(&pid, argv[0], &actions, &attributes,
                                              const_cast<char* const*>(argv), environ);
  if (error == 0) running_child = pid;
  sigprocmask(SIG_SETMASK, &saved, nullptr);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0 && (setup != 0 || start_failure(error))) {
    front_error(kFrontCannotFork, std::strerror(error));
    return -1;
  }
  if (error != 0) {
    // The program could not be executed: what a child that failed its exec
    // reports, and its status.
    front_print(kFrontCannotExec, argv[0], std::strerror(error));
    vqio_fflush(vqio_stderr);
    return 127;
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
