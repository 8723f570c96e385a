// The layer's start-up, subsystem choice, forwarding and exit, and the name
// table. Behaviour that ends the process or must start from a fresh layer
// runs in a child copy of this test program (see RunScenario).
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "io_support.h"

namespace {

using iotest::ScopedIoFaults;
using iotest::TempDir;

// ---------------------------------------------------------------------------
// Child scenarios: chosen by VQIO_SCENARIO before main runs, so the layer is
// untouched by any test. Findings go to the C library's stderr.

// Logs the layer's writes on descriptor 1 (wrapping the current subsystem).
std::vector<size_t>& stdout_writes() {
  static std::vector<size_t> w;
  return w;
}
IoSubsystem saved_ops;
ssize_t logging_write(IoSubsystem* rec, int fd, const void* buf, size_t n) {
  if (fd == 1) stdout_writes().push_back(n);
  return saved_ops.write(rec, fd, buf, n);
}

[[noreturn]] void scenario_iomap() {
  vqio_start(0, nullptr, "VQ_IOMAP");
  vqio_fputs(vqio_current()->name, vqio_stdout);
  vqio_exit(0);
}

[[noreturn]] void scenario_exit_flushes() {
  vqio_start(0, nullptr, "VQ_IOMAP");
  vqio_fputs("buffered", vqio_stdout);
  for (const char* name : {"VQIO_FILE", "VQIO_FILE2"}) {
    VqStream* s = vqio_fopen(std::getenv(name), "w");
    vqio_fputs(name, s);  // left open: the exit closes it
  }
  vqio_exit(3);
}

// Output that cannot be written out at the exit: standard output on a full
// device, or a file stream left open on one.
[[noreturn]] void scenario_exit_full() {
  const bool on_stdout = std::strcmp(std::getenv("VQIO_TARGET"), "stdout") == 0;
  if (on_stdout) {
    int full = open("/dev/full", O_WRONLY);
    if (full < 0 || dup2(full, 1) < 0) std::exit(99);
  }
  vqio_start(0, nullptr, "VQ_IOMAP");
  VqStream* s = on_stdout ? vqio_stdout : vqio_fopen("/dev/full", "w");
  if (!s) std::exit(99);
  vqio_fputs("lost", s);  // buffered: written out only by the exit
  vqio_exit(std::atoi(std::getenv("VQIO_STATUS")));
}

[[noreturn]] void scenario_before_start() {
  char byte;
  errno = 0;
  ssize_t r = vqio_read(0, &byte, 1);
  int read_errno = errno;
  errno = 0;
  int o = vqio_open("/dev/null", O_RDONLY);
  int open_errno = errno;
  std::fprintf(stderr, "%zd %d %d %d %d", r, read_errno == EBADF, o, open_errno == EBADF,
               vqio_current() == nullptr);
  std::exit(0);
}

[[noreturn]] void scenario_close_stdout() {
  vqio_start(0, nullptr, "VQ_IOMAP");
  vqio_fputs("first ", vqio_stdout);
  int closed = vqio_fclose(vqio_stdout);
  bool fd1_open = fcntl(1, F_GETFD) != -1;
  VqStream* s = vqio_fopen(std::getenv("VQIO_FILE"), "w");
  bool reused = s == vqio_stdout;
  vqio_fputs("in file", s);
  int file_closed = vqio_fclose(s);
  const char tail[] = "second";
  ssize_t w = write(1, tail, sizeof tail - 1);
  std::fprintf(stderr, "%d %d %d %d %d", closed, fd1_open, reused, file_closed, w == 6);
  vqio_exit(0);
}

[[noreturn]] void scenario_terminal_stdout() {
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) std::exit(99);
  int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
  if (slave < 0 || dup2(slave, 1) < 0) std::exit(99);
  vqio_start(0, nullptr, "VQ_IOMAP");
  saved_ops = *vqio_current();
  vqio_current()->write = logging_write;
  vqio_fputs("ab\ncd", vqio_stdout);
  std::string seen;
  for (size_t n : stdout_writes()) seen += std::to_string(n) + ",";
  vqio_fflush(vqio_stdout);
  for (size_t n : stdout_writes()) seen += std::to_string(n) + ";";
  std::fprintf(stderr, "%s %d", seen.c_str(), (vqio_stdout->flags & VQ_LINEBUF) != 0);
  std::exit(0);
}

// A subsystem whose init fails: it is left out and reported.
int failing_init(IoSubsystem*) { return 1; }

[[noreturn]] void scenario_failing_init() {
  IoSubsystemRegistry[2].init = failing_init;
  vqio_start(0, nullptr, "VQ_IOMAP");
  std::fprintf(stdout, "%s %d %d", vqio_current()->name, IoSubsystemRegistry[2].init == nullptr,
               vqio_select("mixed"));
  std::fflush(stdout);
  vqio_exit(0);
}

// A stand-in subsystem under a registry name: the native operations with a
// start that counts its calls and checks its arguments.
int start_calls = 0;
int counting_start(IoSubsystem*, int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "arg") == 0) ++start_calls;
  return 0;
}
int counting_init(IoSubsystem* rec) {
  vqio_native_init(rec);
  rec->start = counting_start;
  return 0;
}

[[noreturn]] void scenario_selected_start() {
  IoSubsystemRegistry[1].init = counting_init;
  char prog[] = "prog", arg[] = "arg";
  char* argv[] = {prog, arg, nullptr};
  vqio_start(2, argv, "VQ_IOMAP");
  vqio_start(2, argv, "VQ_IOMAP");  // ignored
  std::fprintf(stdout, "%s %d", vqio_current()->name, start_calls);
  std::fflush(stdout);
  vqio_exit(0);
}

int run_scenario_if_asked() {
  const char* name = std::getenv("VQIO_SCENARIO");
  if (!name) return 0;
  std::string n = name;
  if (n == "iomap") scenario_iomap();
  if (n == "exit3") scenario_exit_flushes();
  if (n == "exit_full") scenario_exit_full();
  if (n == "before_start") scenario_before_start();
  if (n == "close_stdout") scenario_close_stdout();
  if (n == "terminal_stdout") scenario_terminal_stdout();
  if (n == "failing_init") scenario_failing_init();
  if (n == "selected_start") scenario_selected_start();
  std::exit(98);
}

const int scenario_hook = run_scenario_if_asked();

struct Outcome {
  int status = -1;
  std::string out, err;
};

// Runs this program again as scenario `name` with the environment changes
// given (a null value unsets the variable); stdout and stderr go to files.
Outcome RunScenario(const char* name, std::vector<std::pair<const char*, const char*>> env = {}) {
  TempDir dir;
  std::string out = dir.file("out"), err = dir.file("err");
  pid_t pid = fork();
  if (pid == 0) {
    setenv("VQIO_SCENARIO", name, 1);
    for (auto& [k, v] : env) v ? setenv(k, v, 1) : unsetenv(k);
    int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (o < 0 || e < 0 || dup2(o, 1) < 0 || dup2(e, 2) < 0) _exit(97);
    execl("/proc/self/exe", "test_io", static_cast<char*>(nullptr));
    _exit(96);
  }
  Outcome r;
  int status = 0;
  waitpid(pid, &status, 0);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = iotest::ReadFile(out);
  r.err = iotest::ReadFile(err);
  return r;
}

// ---------------------------------------------------------------------------

TEST(LayerStart, UnsetEmptyOrUnknownSubsystemNameSelectsNativeSilently) {
  const char* values[] = {nullptr, "", "native", "nosuch", "NATIVE"};
  for (const char* v : values) {
    SCOPED_TRACE(v ? v : "(unset)");
    Outcome r = RunScenario("iomap", {{"VQ_IOMAP", v}});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "native");
    EXPECT_EQ(r.err, "");
  }
}

TEST(LayerStart, AFailingSubsystemIsLeftOutAndReported) {
  Outcome r = RunScenario("failing_init", {{"VQ_IOMAP", "mixed"}});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "native 1 -1");
  EXPECT_EQ(r.err, "I/O SubSystem mixed failed to start.");
}

TEST(LayerStart, OnlyTheSelectedSubsystemStartsAndOnlyOnce) {
  Outcome r = RunScenario("selected_start", {{"VQ_IOMAP", "builder"}});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "builder 1");
  EXPECT_EQ(r.err, "");
  r = RunScenario("selected_start", {{"VQ_IOMAP", nullptr}});
  EXPECT_EQ(r.out, "native 0");  // the other subsystem is set up but not started
}

TEST(LayerExit, WritesOutEveryStreamAndExitsWithTheStatus) {
  TempDir dir;
  std::string f1 = dir.file("f1"), f2 = dir.file("f2");
  Outcome r = RunScenario("exit3", {{"VQIO_FILE", f1.c_str()}, {"VQIO_FILE2", f2.c_str()}});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.out, "buffered");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(iotest::ReadFile(f1), "VQIO_FILE");
  EXPECT_EQ(iotest::ReadFile(f2), "VQIO_FILE2");
}

TEST(LayerExit, OutputLostAtTheExitIsNotReportedAsSuccess) {
  for (const char* target : {"stdout", "file"}) {
    SCOPED_TRACE(target);
    Outcome r = RunScenario("exit_full", {{"VQIO_TARGET", target}, {"VQIO_STATUS", "0"}});
    EXPECT_EQ(r.status, 1);
    // A failure status of the program's own stays.
    r = RunScenario("exit_full", {{"VQIO_TARGET", target}, {"VQIO_STATUS", "3"}});
    EXPECT_EQ(r.status, 3);
  }
}

TEST(LayerStart, LowLevelCallsBeforeStartFailWithEbadf) {
  Outcome r = RunScenario("before_start");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "-1 1 -1 1 1");
}

TEST(StandardStreams, ClosingStdoutKeepsDescriptorOneAndFreesItsSlot) {
  TempDir dir;
  std::string file = dir.file("f");
  Outcome r = RunScenario("close_stdout", {{"VQIO_FILE", file.c_str()}});
  EXPECT_EQ(r.status, 0);
  // closed 0, fd 1 still open, the slot reused, the file stream closed 0.
  EXPECT_EQ(r.err, "0 1 1 0 1");
  EXPECT_EQ(r.out, "first second");
  EXPECT_EQ(iotest::ReadFile(file), "in file");
}

TEST(StandardStreams, StdoutOnATerminalIsFlushedAtEachNewline) {
  Outcome r = RunScenario("terminal_stdout");
  ASSERT_NE(r.status, 99) << "no pseudo-terminal available";
  EXPECT_EQ(r.status, 0);
  // "ab\n" goes out at the newline, "cd" only at the flush.
  EXPECT_EQ(r.err, "3,3;2; 1");
}

TEST(LayerForwarding, CloseOfANegativeDescriptorCallsNothing) {
  iotest::EnsureStarted();
  ScopedIoFaults faults;
  EXPECT_EQ(vqio_close(-1), -1);
  EXPECT_EQ(ScopedIoFaults::log().closes, 0);
}

TEST(LayerForwarding, OpenPassesTheModeOnlyWithCreate) {
  iotest::EnsureStarted();
  TempDir dir;
  std::string path = dir.file("f");
  ScopedIoFaults faults;
  int fd = vqio_open(path.c_str(), O_WRONLY | O_CREAT, 0640);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(ScopedIoFaults::log().last_open_mode, 0640);
  vqio_close(fd);
  fd = vqio_open(path.c_str(), O_RDONLY, 0777);  // no O_CREAT: the mode is not read
  ASSERT_GE(fd, 0);
  EXPECT_EQ(ScopedIoFaults::log().last_open_mode, 0);
  vqio_close(fd);
}

TEST(LayerSelection, UnknownNameKeepsTheCurrentSubsystem) {
  iotest::EnsureStarted();
  IoSubsystem* before = vqio_current();
  EXPECT_EQ(vqio_select("nosuch"), -1);
  EXPECT_EQ(vqio_current(), before);
  EXPECT_EQ(vqio_select("native"), 1);
  EXPECT_STREQ(vqio_current()->name, "native");
  EXPECT_EQ(vqio_control("anything", nullptr), nullptr);
}

TEST(LayerRegistry, ListsTheSubsystemsInOrder) {
  const char* names[] = {"native", "builder", "mixed"};
  for (int i = 0; i < 3; ++i) EXPECT_STREQ(IoSubsystemRegistry[i].name, names[i]);
  EXPECT_EQ(IoSubsystemRegistry[3].name, nullptr);
}

TEST(NameTable, BindsEachLayerFunctionByItsExactName) {
  size_t n = 0;
  while (VqioNameTable[n].name) ++n;
  EXPECT_EQ(n, 60u);
  EXPECT_STREQ(VqioNameTable[0].name, "mfs_parse_map_file_entry");
  for (size_t i = 1; i < n; ++i) {
    EXPECT_NE(VqioNameTable[i].function, nullptr) << VqioNameTable[i].name;
    EXPECT_EQ(std::strncmp(VqioNameTable[i].name, "vqio_", 5), 0) << VqioNameTable[i].name;
  }
  EXPECT_EQ(vqio_lookup_name("vqio_fopen"), reinterpret_cast<void*>(&vqio_fopen));
  EXPECT_EQ(vqio_lookup_name("vqio_sprintf"), reinterpret_cast<void*>(&vqio_sprintf));
  EXPECT_EQ(vqio_lookup_name("vqio_unlink"), reinterpret_cast<void*>(&vqio_unlink));
  EXPECT_EQ(vqio_lookup_name("vqio_fopen "), nullptr);
  EXPECT_EQ(vqio_lookup_name("VQIO_FOPEN"), nullptr);
  EXPECT_EQ(vqio_lookup_name("vqio_tell"), nullptr);  // not in the table
}

int fake_parser() { return 42; }

TEST(NameTable, TheMapFileEntryParserIsBoundOnceRegistered) {
  void* fn = reinterpret_cast<void*>(&fake_parser);
  vqio_register_name("mfs_parse_map_file_entry", fn);
  EXPECT_EQ(vqio_lookup_name("mfs_parse_map_file_entry"), fn);
}

}  // namespace
