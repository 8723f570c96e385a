// Child processes for subdocuments, piece by piece: the two temporary files
// (where and how they are made, reused, removed, and removed by the
// interrupting signals), the child's argument vector and level, the start
// and wait of a child, and the capacity read-back.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "finder/finder.h"
#include "finder/subdoc.h"
#include "support/scratch.h"
#include "support/stderr_capture.h"

namespace {

using V = std::vector<std::string>;

// Names in the folder, sorted.
V folder_names(const std::string& dir) {
  V names;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// The temporary files go to $TMPDIR, the scratch folder here ($tmpdir
// would come first).
class SubdocFiles : public ScratchDir {
 protected:
  void SetUp() override {
    ScratchDir::SetUp();
    unsetenv("tmpdir");
    setenv("TMPDIR", dir_.c_str(), 1);
    front_state() = FrontState{};
    front_state().forwarded = {"/opt/bin/tavrel", "-s", "-m", "norm"};
  }
  void TearDown() override {
    temp_files_remove();
    unsetenv("TMPDIR");
    unsetenv("tmpdir");
    ScratchDir::TearDown();
  }
};

TEST_F(SubdocFiles, VectorHoldsForwardedOptionsDeclarationAndFiles) {
  const char list[] = "sub/a.sgm\0b.sgm\0";  // the second NUL ends the list
  std::vector<const char*> argv = subdoc_make_argv(list);
  ASSERT_FALSE(argv.empty());
  EXPECT_EQ(argv.back(), nullptr);
  V got;
  for (const char* a : argv)
    if (a != nullptr) got.push_back(a);
  const std::string decl = sgmldecl_temp_file();
  EXPECT_EQ(got, (V{"/opt/bin/tavrel", "-s", "-m", "norm", decl, "sub/a.sgm", "b.sgm"}));
  // One file made, in the temporary folder, private, holding the declaration.
  EXPECT_EQ(decl.rfind(dir_ + "/", 0), 0u) << decl;
  EXPECT_EQ(folder_names(dir_).size(), 1u);
  struct stat st{};
  ASSERT_EQ(stat(decl.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(read_file(decl).rfind("<!SGML", 0), 0u);
  // The child runs one level further down.
  ASSERT_NE(getenv(kSubdocLevelVariable), nullptr);
  EXPECT_STREQ(getenv(kSubdocLevelVariable), "1");
  unsetenv(kSubdocLevelVariable);

  // With -c the capacity file comes before the declaration; both are
  // reused by a second child.
  front_state().capacity_report = 1;
  argv = subdoc_make_argv("c.sgm\0");
  const std::string cap = capacity_temp_file();
  got.clear();
  for (const char* a : argv)
    if (a != nullptr) got.push_back(a);
  EXPECT_EQ(got, (V{"/opt/bin/tavrel", "-s", "-m", "norm", "-z", cap, decl, "c.sgm"}));
  EXPECT_NE(cap, decl);
  EXPECT_EQ(read_file(cap), "");
  subdoc_make_argv("d.sgm\0");
  EXPECT_EQ(sgmldecl_temp_file(), decl);
  EXPECT_EQ(capacity_temp_file(), cap);
  EXPECT_EQ(folder_names(dir_).size(), 2u);

  // Removal forgets the names: the next child makes new files.
  temp_files_remove();
  EXPECT_TRUE(folder_names(dir_).empty());
  subdoc_make_argv("e.sgm\0");
  EXPECT_EQ(folder_names(dir_).size(), 2u);
  unsetenv(kSubdocLevelVariable);
}

TEST_F(SubdocFiles, NamesInUseAreNeverTakenOver) {
  // Whatever name the program would try first already exists (a file, or
  // a link pointing elsewhere): both stay as they were.
  const std::string target = path("target");
  write_file(target, "keep");
  const std::string pid = std::to_string(static_cast<long>(getpid()));
  for (const char* kind : {"d", "c"}) {
    for (int n = 0; n < 3; ++n) {
      const std::string name = dir_ + "/tvr" + pid + kind + std::to_string(n);
      ASSERT_EQ(symlink(target.c_str(), name.c_str()), 0);
    }
  }
  const std::string decl = sgmldecl_temp_file();
  const std::string cap = capacity_temp_file();
  EXPECT_EQ(read_file(target), "keep");
  struct stat st{};
  ASSERT_EQ(lstat(decl.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  ASSERT_EQ(lstat(cap.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
}

TEST_F(SubdocFiles, AFolderThatCannotTakeFilesIsFrontMessage7) {
  // $tmpdir comes first; here it names a file, which holds no files.
  write_file(path("plain"), "");
  setenv("tmpdir", path("plain").c_str(), 1);
  EXPECT_EXIT(
      {
        set_error_handler(print_message);
        capacity_temp_file();
      },
      testing::ExitedWithCode(1), "tavrel: Cannot open `.*/plain/tvr[0-9]+c0': Not a directory");
  EXPECT_EXIT(
      {
        set_error_handler(print_message);
        sgmldecl_temp_file();
      },
      testing::ExitedWithCode(1), "tavrel: Cannot open `.*/plain/tvr[0-9]+d0': Not a directory");
}

TEST_F(SubdocFiles, SignalsRemoveBothFilesAndEndTheProcessAsTheSignalWould) {
  for (int sig : {SIGINT, SIGTERM, SIGPIPE, SIGHUP}) {
    EXPECT_EXIT(
        {
          sgmldecl_temp_file();
          capacity_temp_file();
          raise(sig);
          std::exit(0);
        },
        testing::KilledBySignal(sig), "")
        << sig;
    EXPECT_TRUE(folder_names(dir_).empty()) << sig;
  }
  // The handler's action called directly does the same.
  EXPECT_EXIT(
      {
        sgmldecl_temp_file();
        capacity_temp_file();
        signal_cleanup(SIGTERM);
        std::exit(0);
      },
      testing::KilledBySignal(SIGTERM), "");
  EXPECT_TRUE(folder_names(dir_).empty());
}

TEST_F(SubdocFiles, AnIgnoredSignalStaysIgnored) {
  EXPECT_EXIT(
      {
        signal(SIGHUP, SIG_IGN);
        sgmldecl_temp_file();
        raise(SIGHUP);  // nothing happens: the files stay
        if (folder_names(dir_).size() != 1) std::exit(3);
        raise(SIGTERM);
        std::exit(0);
      },
      testing::KilledBySignal(SIGTERM), "");
  EXPECT_TRUE(folder_names(dir_).empty());
}

TEST_F(SubdocFiles, CapacityFiguresAreReadBackOrTheRunEnds) {
  // No exchange file made: nothing is read.
  subdoc_read_capacity();
  // Fewer than 16 numbers, or something that is no number: message 8,
  // status 1, and the temporary files removed on the way out.
  const char* bad[] = {"1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n12\n13\n14\n15\n",
                       "1\n2\n3\n4\n5\n6\n7\nx\n9\n10\n11\n12\n13\n14\n15\n16\n", ""};
  for (const char* text : bad) {
    EXPECT_EXIT(
        {
          set_error_handler(print_message);
          write_file(capacity_temp_file(), text);
          sgmldecl_temp_file();
          subdoc_read_capacity();
          std::exit(0);
        },
        testing::ExitedWithCode(1), "Subdocument capacity botch")
        << text;
    EXPECT_TRUE(folder_names(dir_).empty());
  }
  // An exchange file that has gone: message 7.
  EXPECT_EXIT(
      {
        set_error_handler(print_message);
        unlink(capacity_temp_file().c_str());
        subdoc_read_capacity();
        std::exit(0);
      },
      testing::ExitedWithCode(1), "Cannot open `.*': No such file or directory");
  // Sixteen numbers are taken without a word.
  EXPECT_EXIT(
      {
        write_file(capacity_temp_file(), "1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n12\n13\n14\n15\n16\n");
        subdoc_read_capacity();
        std::exit(0);
      },
      testing::ExitedWithCode(0), "^$");
}

// Whether a process has ended (gone, or a zombie no one collects) within
// about ten seconds.
bool ends_within_10s(pid_t pid) {
  const std::string stat = "/proc/" + std::to_string(pid) + "/stat";
  for (int i = 0; i < 200; ++i) {
    std::ifstream in(stat);
    std::string line;
    if (!std::getline(in, line)) return true;
    const size_t close = line.rfind(')');
    if (close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'Z') return true;
    usleep(50000);
  }
  return false;
}

TEST_F(SubdocFiles, ASignalThatEndsTheParentEndsTheChildItWaitsFor) {
  // The child writes its id, sends SIGTERM to its parent and would then
  // sleep for a minute: the parent's handler removes the files and ends
  // the child before the parent itself ends by the signal.
  const std::string pid_file = dir_ + "/child.pid";
  const std::string script = "echo $$ >'" + pid_file + "'; kill -TERM $PPID; exec sleep 60";
  const char* argv[] = {"/bin/sh", "-c", script.c_str(), nullptr};
  EXPECT_EXIT(
      {
        sgmldecl_temp_file();
        capacity_temp_file();
        spawn_and_wait(argv);
        std::exit(0);
      },
      testing::KilledBySignal(SIGTERM), "");
  std::ifstream in(pid_file);
  long child = 0;
  ASSERT_TRUE(in >> child);
  const bool ended = ends_within_10s(static_cast<pid_t>(child));
  EXPECT_TRUE(ended);
  if (!ended) kill(static_cast<pid_t>(child), SIGKILL);
  std::remove(pid_file.c_str());
  EXPECT_TRUE(folder_names(dir_).empty());
}

TEST(SubdocLevel, TakenFromTheEnvironmentWithinZeroTo32) {
  struct Case {
    const char* value;
    int32_t want;
  } cases[] = {{nullptr, 0}, {"0", 0}, {"3", 3}, {"31", 31}, {"32", 32},
               {"99", 32},   {"-2", 0}, {"x", 0}, {"", 0}};
  for (const Case& c : cases) {
    if (c.value == nullptr) {
      unsetenv(kSubdocLevelVariable);
    } else {
      setenv(kSubdocLevelVariable, c.value, 1);
    }
    EXPECT_EQ(subdoc_level_from_environment(), c.want) << (c.value ? c.value : "(unset)");
  }
  unsetenv(kSubdocLevelVariable);
}

class SpawnAndWait : public ScratchDir {
 protected:
  void SetUp() override {
    ScratchDir::SetUp();
    front_state() = FrontState{};
    front_state().program_name = "tavrel";
  }
  int run(std::vector<const char*> argv, std::string* err) {
    argv.push_back(nullptr);
    int result = -2;
    *err = stderr_of(dir_, [&] { result = spawn_and_wait(argv.data()); });
    return result;
  }
};

TEST_F(SpawnAndWait, StatusesAndFailures) {
  struct Case {
    std::vector<const char*> argv;
    int want;
    const char* message;  // on standard error, "" for none
  } cases[] = {
      {{"/bin/sh", "-c", "exit 0"}, 0, ""},
      {{"/bin/sh", "-c", "exit 3"}, 3, ""},
      {{"/bin/sh", "-c", "exit 255"}, 255, ""},
      // Found on PATH when the name holds no "/".
      {{"sh", "-c", "exit 7"}, 7, ""},
      {{"/bin/sh", "-c", "kill -TERM $$"}, -1, "tavrel: Program /bin/sh got fatal signal 15\n"},
      {{"tvr-no-such-program", "x"},
       127,
       "tavrel: Cannot exec `tvr-no-such-program': No such file or directory\n"},
      {{"/nonexistent/prog"}, 127, "tavrel: Cannot exec `/nonexistent/prog': No such file or directory\n"},
  };
  for (const Case& c : cases) {
    std::string err;
    EXPECT_EQ(run(c.argv, &err), c.want) << c.argv[0] << " " << (c.argv.size() > 2 ? c.argv[2] : "");
    EXPECT_EQ(err, c.message) << c.argv[0];
  }
}

TEST_F(SpawnAndWait, ChildKeepsOnlyDescriptors0To2) {
  // A descriptor the parent holds without close-on-exec, far up and low.
  const int high = dup2(1, 200);
  ASSERT_EQ(high, 200);
  const int low = dup(1);
  ASSERT_GE(low, 3);
  const std::string script = "for f in 0 1 2; do [ -e /proc/$$/fd/$f ] || exit 1; done; "
                             "[ -e /proc/$$/fd/200 ] && exit 2; [ -e /proc/$$/fd/" +
                             std::to_string(low) + " ] && exit 3; exit 0";
  std::string err;
  EXPECT_EQ(run({"/bin/sh", "-c", script.c_str()}, &err), 0) << err;
  close(high);
  close(low);
}

TEST_F(SpawnAndWait, WaitsForItsOwnChildOnlyAndGoesOnAfterAnInterruption) {
  // Another child that ends first stays for its own parent to collect.
  const pid_t other = fork();
  ASSERT_GE(other, 0);
  if (other == 0) _exit(9);
  // An alarm whose handler returns interrupts the wait (no restart).
  struct sigaction action{}, old{};
  action.sa_handler = [](int) {};
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;
  sigaction(SIGALRM, &action, &old);
  struct itimerval timer{};
  timer.it_value.tv_usec = 200000;
  setitimer(ITIMER_REAL, &timer, nullptr);
  std::string err;
  EXPECT_EQ(run({"/bin/sh", "-c", "sleep 1; exit 4"}, &err), 4);
  EXPECT_EQ(err, "");
  sigaction(SIGALRM, &old, nullptr);
  int status = 0;
  ASSERT_EQ(waitpid(other, &status, 0), other);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 9);
}

TEST_F(SpawnAndWait, WhatTheParentWroteIsOutBeforeTheChildWrites) {
  // Both streams are flushed before the start, so the order holds.
  const std::string out = descriptor_output_of(1, dir_, "out.txt", [] {
    vqio_fputs("parent ", vqio_stdout);
    const char* argv[] = {"/bin/sh", "-c", "printf child", nullptr};
    spawn_and_wait(argv);
    vqio_fputs(" after", vqio_stdout);
  });
  EXPECT_EQ(out, "parent child after");
}

}  // namespace
