// The mixed subsystem's descriptor table: slots, shared records, limits,
// refused descriptors, pipes, path calls routed by the path, and the stream
// layer over it (and over every other subsystem) in child runs.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "test_mixed_support.h"

namespace {

using iotest::ReadAll;
using iotest::ReadFile;
using iotest::WriteAll;
using iotest::WriteFile;

// A child started with VQIO_TEST_IOMAP set starts the layer before any test
// runs, under the subsystem named by VQ_IOMAP, so that the other tests of
// this program (which only start the layer when it is not started yet) run
// on that subsystem.
const int iomap_hook = [] {
  if (std::getenv("VQIO_TEST_IOMAP")) vqio_start(0, nullptr, "VQ_IOMAP");
  return 0;
}();

class Mixed : public iotest::MixedTest {};

TEST_F(Mixed, StartTakesTheStandardDescriptorsAndDupSharesOneRecord) {
  WriteFile(dir_.file("f"), "abcdef");
  int fd = vqio_open(dir_.file("f").c_str(), O_RDONLY);
  EXPECT_EQ(fd, 3);
  char buf[4];
  ASSERT_EQ(vqio_read(fd, buf, 2), 2);
  int d = vqio_dup(fd);
  EXPECT_EQ(d, 4);
  EXPECT_EQ(vqio_tell(d), 2);
  ASSERT_EQ(vqio_read(d, buf, 2), 2);
  EXPECT_EQ(std::string(buf, 2), "cd");
  EXPECT_EQ(vqio_tell(fd), 4);
  EXPECT_EQ(vqio_close(fd), 0);
  ASSERT_EQ(vqio_read(d, buf, 2), 2);  // the other descriptor still reads
  EXPECT_EQ(std::string(buf, 2), "ef");
  EXPECT_EQ(vqio_close(d), 0);
  EXPECT_EQ(vqio_close(d), -1);
  EXPECT_EQ(errno, EBADF);

  fd = vqio_open(dir_.file("f").c_str(), O_RDONLY);
  EXPECT_EQ(fd, 3);  // the lowest free slot again
  EXPECT_EQ(vqio_dup2(fd, 10), 10);
  EXPECT_EQ(vqio_dup2(fd, fd), fd);
  EXPECT_EQ(vqio_lseek(10, 3, SEEK_SET), 3);
  EXPECT_EQ(vqio_tell(fd), 3);
  vqio_close(10);
  vqio_close(fd);
}

TEST_F(Mixed, SlotsRunOutAtTwoHundredFiftySix) {
  std::vector<int> fds;
  int fd;
  while ((fd = vqio_open("/dev/null", O_RDONLY)) >= 0 && fds.size() < 300) fds.push_back(fd);
  EXPECT_EQ(fd, -1);
  EXPECT_EQ(errno, EMFILE);
  EXPECT_EQ(fds.size(), 253u);  // 3 to 255
  EXPECT_EQ(fds.back(), 255);
  EXPECT_EQ(vqio_dup(3), -1);
  for (int f : fds) vqio_close(f);
  EXPECT_EQ(vqio_open("/dev/null", O_RDONLY), 3);
  vqio_close(3);
}

TEST_F(Mixed, BadDescriptorsAreRefusedWithEbadf) {
  int fd = vqio_open("/dev/null", O_WRONLY);
  ASSERT_EQ(fd, 3);
  char c = 0;
  struct stat st;
  for (int bad : {-1, -300, 256, 1000, 7}) {
    SCOPED_TRACE(bad);
    errno = 0;
    EXPECT_EQ(vqio_read(bad, &c, 1), -1);
    EXPECT_EQ(errno, EBADF);
    errno = 0;
    EXPECT_EQ(vqio_write(bad, &c, 1), -1);
    EXPECT_EQ(errno, EBADF);
    EXPECT_EQ(vqio_lseek(bad, 0, SEEK_SET), -1);
    EXPECT_EQ(vqio_tell(bad), -1);
    EXPECT_EQ(vqio_fstat(bad, &st), -1);
    EXPECT_EQ(vqio_dup(bad), -1);
    EXPECT_EQ(vqio_dup2(bad, 9), -1);
    EXPECT_EQ(rec_->close(rec_, bad), -1);
    EXPECT_EQ(errno, EBADF);
  }
  EXPECT_EQ(vqio_dup2(fd, -1), -1);
  EXPECT_EQ(vqio_dup2(fd, 256), -1);
  // A descriptor opened for writing does not read, nor one for reading write.
  errno = 0;
  EXPECT_EQ(vqio_read(fd, &c, 1), -1);
  EXPECT_EQ(errno, EBADF);
  EXPECT_EQ(vqio_lseek(fd, 0, 3), -1);
  EXPECT_EQ(errno, EINVAL);
  vqio_close(fd);
}

TEST_F(Mixed, AFailedTransferDoesNotMoveThePosition) {
  // Reading a directory fails in the system call.
  int fd = vqio_open(dir_.path().c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  char buf[8];
  EXPECT_EQ(vqio_read(fd, buf, sizeof buf), -1);
  EXPECT_EQ(vqio_tell(fd), 0);
  vqio_close(fd);
}

TEST_F(Mixed, PipeEndsAreDescriptorsOfTheTable) {
  int fds[2] = {-1, -1};
  ASSERT_EQ(vqio_pipe(fds), 0);
  EXPECT_EQ(fds[0], 3);
  EXPECT_EQ(fds[1], 4);
  ASSERT_TRUE(WriteAll(fds[1], "hello"));
  EXPECT_EQ(vqio_close(fds[1]), 0);
  EXPECT_EQ(ReadAll(fds[0]), "hello");
  EXPECT_EQ(vqio_close(fds[0]), 0);
  char c;
  EXPECT_EQ(vqio_read(fds[0], &c, 1), -1);
}

// The command of a pipe stream reads and writes the system's descriptors 0
// and 1: the pipe's ends must be there, not only in the table's slots.
TEST_F(Mixed, PipeStreamsReachTheCommand) {
  // The superfile keeps a system descriptor without a slot, so that slot
  // numbers and system descriptors differ.
  MapSuperfiles({"lib"});
  int member = vqio_open("@lib@m", O_RDWR | O_CREAT, 0666);
  ASSERT_GE(member, 0);
  vqio_close(member);
  VqStream* in = vqio_popen("printf 'hi\\n'", "r");
  ASSERT_NE(in, nullptr);
  char line[16] = "";
  EXPECT_NE(vqio_fgets(line, sizeof line, in), nullptr);
  EXPECT_STREQ(line, "hi\n");
  EXPECT_EQ(vqio_pclose(in), 0);
  const std::string out = dir_.file("out");
  VqStream* to = vqio_popen(("cat > '" + out + "'").c_str(), "w");
  ASSERT_NE(to, nullptr);
  vqio_fputs("to the command\n", to);
  EXPECT_EQ(vqio_pclose(to), 0);
  EXPECT_EQ(ReadFile(out), "to the command\n");
}

TEST_F(Mixed, OpenCreatesExclusivelyAndTruncates) {
  std::string f = dir_.file("new");
  int fd = vqio_open(f.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(WriteAll(fd, "12345"));
  vqio_close(fd);
  struct stat st;
  ASSERT_EQ(::stat(f.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);  // the caller's mode is used
  EXPECT_EQ(vqio_open(f.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600), -1);
  EXPECT_EQ(errno, EEXIST);
  fd = vqio_creat(f.c_str(), 0666);
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(WriteAll(fd, "ab"));
  vqio_close(fd);
  EXPECT_EQ(ReadFile(f), "ab");
  EXPECT_EQ(vqio_open(dir_.file("none").c_str(), O_RDONLY), -1);
  EXPECT_EQ(errno, ENOENT);
}

// stat, access, link and unlink go to the type that the path names, whatever
// was opened last.
TEST_F(Mixed, PathCallsGoToTheTypeThePathNames) {
  MapSuperfiles({"lib"});
  std::string plain = dir_.file("plain");
  WriteFile(plain, "12345");
  int fd = vqio_open("@lib@m", O_RDWR | O_CREAT, 0666);
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(WriteAll(fd, "123"));
  struct stat st;
  ASSERT_EQ(vqio_stat(plain.c_str(), &st), 0);  // after a member open
  EXPECT_EQ(st.st_size, 5);
  EXPECT_EQ(vqio_access(plain.c_str(), R_OK), 0);
  ASSERT_EQ(vqio_fstat(fd, &st), 0);
  EXPECT_EQ(st.st_size, 3);
  vqio_close(fd);

  fd = vqio_open(plain.c_str(), O_RDONLY);  // after a plain open
  ASSERT_EQ(vqio_stat("@lib@m", &st), 0);
  EXPECT_EQ(st.st_size, 3);
  EXPECT_EQ(vqio_access("@lib@m", F_OK), 0);
  EXPECT_EQ(vqio_access("@lib@none", F_OK), -1);
  EXPECT_EQ(errno, ENOENT);
  ASSERT_EQ(vqio_fstat(fd, &st), 0);
  EXPECT_EQ(st.st_size, 5);
  vqio_close(fd);

  std::string other = dir_.file("other");
  EXPECT_EQ(vqio_link(plain.c_str(), other.c_str()), 0);
  EXPECT_EQ(vqio_unlink(plain.c_str()), 0);
  EXPECT_EQ(ReadFile(other), "12345");
  EXPECT_EQ(vqio_stat(plain.c_str(), &st), -1);
  EXPECT_EQ(errno, ENOENT);

  // "vq_fstype_set" sends plain paths of the path calls to the named type
  // until the next open.
  EXPECT_EQ(*vqio_control("vq_fstype_set", const_cast<char*>("nosuch")), 0);
  EXPECT_EQ(*vqio_control("vq_fstype_set", const_cast<char*>("superfile")), 1);
  EXPECT_EQ(vqio_stat(other.c_str(), &st), -1);
  EXPECT_EQ(vqio_stat("@lib@m", &st), 0);
  EXPECT_EQ(*vqio_control("sf_list_superfile", nullptr), 0);
  EXPECT_EQ(vqio_control("unknown", nullptr), nullptr);
  fd = vqio_open(other.c_str(), O_RDONLY);
  vqio_close(fd);
  EXPECT_EQ(vqio_stat(other.c_str(), &st), 0);
}

// ---------------------------------------------------------------------------
// The stream tests of this program, run again in a child started under each
// subsystem. Model sequences are cut to 150 seeds.

int RunUnder(const char* subsystem, const char* filter) {
  pid_t pid = fork();
  if (pid == 0) {
    setenv("VQ_IOMAP", subsystem, 1);
    setenv("VQIO_TEST_IOMAP", "1", 1);
    setenv("VQIO_MODEL_SEEDS", "1:150", 1);
    int null = open(std::getenv("VQIO_CHILD_OUT") ? std::getenv("VQIO_CHILD_OUT") : "/dev/null", O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(null, 1);
    std::string f = std::string("--gtest_filter=") + filter;
    execl("/proc/self/exe", "test_io", f.c_str(), static_cast<char*>(nullptr));
    _exit(96);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Subsystems, StreamBehaviourHoldsUnderEachSubsystem) {
  const std::string all = "Streams.*:StreamModel.*:DoprntStream.*:DoscanFile.*:TempNames.*";
  // Left out under "mixed": tests that hand a stream's descriptor to system
  // calls (fcntl, lseek, fstat) or a system descriptor to vqio_fdopen, and
  // command streams, whose children need system descriptors.
  const std::string system_fds =
      "-Streams.ModeStringsChooseOpenAndStreamFlags"
      ":Streams.FlushOfAReadingUpdateStreamGivesBackItsReadAhead"
      ":Streams.FdcloseKeepsTheDescriptorAndFabortDropsPendingBytes"
      ":Streams.CommandStreams*:TempNames.TmpfileIsPrivateExclusiveAndNeverFollowsAPlantedLink";
  EXPECT_EQ(RunUnder("native", all.c_str()), 0);
  EXPECT_EQ(RunUnder("builder", all.c_str()), 0);
  EXPECT_EQ(RunUnder("mixed", (all + system_fds).c_str()), 0);
}

}  // namespace

namespace {

// Truncation and the system descriptor behind a layer descriptor, which the
// subsystem record has no operation for.
TEST_F(Mixed, TruncationAndSystemDescriptorsGoThroughTheTable) {
  MapSuperfiles({"lib"});
  // A plain file whose slot differs from its system descriptor: the
  // superfile's own descriptor takes a system number without a slot.
  int member = vqio_open("@lib@first", O_RDWR | O_CREAT, 0666);
  ASSERT_TRUE(WriteAll(member, "member data"));
  vqio_close(member);  // the superfile stays open
  const std::string f = dir_.file("plain");
  int fd = vqio_open(f.c_str(), O_RDWR | O_CREAT, 0666);
  member = vqio_open("@lib@first", O_RDWR);
  ASSERT_TRUE(WriteAll(fd, "0123456789"));
  const int sys = vqio_system_fd(fd);
  ASSERT_GE(sys, 0);
  EXPECT_NE(sys, fd);
  struct stat a, b;
  ASSERT_EQ(::fstat(sys, &a), 0);
  ASSERT_EQ(::stat(f.c_str(), &b), 0);
  EXPECT_EQ(a.st_ino, b.st_ino);
  EXPECT_EQ(vqio_system_fd(1), 1);
  errno = 0;
  EXPECT_EQ(vqio_system_fd(member), -1);
  EXPECT_EQ(errno, EBADF);
  EXPECT_EQ(vqio_system_fd(200), -1);

  EXPECT_EQ(vqio_ftruncate(fd, 4), 0);
  EXPECT_EQ(ReadFile(f), "0123");
  vqio_close(fd);

  // A member is cut, or extended with zeros.
  EXPECT_EQ(vqio_ftruncate(member, 6), 0);
  ASSERT_EQ(vqio_lseek(member, 0, SEEK_SET), 0);
  EXPECT_EQ(ReadAll(member), "member");
  EXPECT_EQ(vqio_ftruncate(member, 9), 0);
  ASSERT_EQ(vqio_lseek(member, 0, SEEK_SET), 0);
  EXPECT_EQ(ReadAll(member), std::string("member\0\0\0", 9));
  int next = vqio_open("@lib@next", O_RDWR | O_CREAT, 0666);
  ASSERT_TRUE(WriteAll(next, "next"));
  // Not the last member any more: it cannot grow past its capacity.
  EXPECT_EQ(vqio_ftruncate(member, 1025), -1);
  EXPECT_EQ(errno, EFBIG);
  EXPECT_EQ(vqio_ftruncate(member, 1024), 0);
  EXPECT_EQ(vqio_ftruncate(next, 5000), 0);  // the last one can
  struct stat st;
  ASSERT_EQ(vqio_fstat(next, &st), 0);
  EXPECT_EQ(st.st_size, 5000);
  EXPECT_EQ(vqio_ftruncate(next, -1), -1);
  EXPECT_EQ(errno, EINVAL);
  vqio_close(member);
  vqio_close(next);
  Stop();
  Start();
  int again = vqio_open("@lib@next", O_RDONLY);
  // A descriptor open for reading only cuts nothing, member or plain file.
  errno = 0;
  EXPECT_EQ(vqio_ftruncate(again, 0), -1);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(ReadAll(again), "next" + std::string(4996, '\0'));
  vqio_close(again);
  int plain = vqio_open(f.c_str(), O_RDONLY);
  EXPECT_EQ(vqio_ftruncate(plain, 0), -1);
  vqio_close(plain);
  EXPECT_EQ(ReadFile(f), "0123");
}

TEST(NativeDescriptors, AreTheSystemsOwn) {
  iotest::EnsureStarted();
  iotest::SaneTmpdir sane;
  iotest::TempDir dir;
  int fd = vqio_open(dir.file("f").c_str(), O_RDWR | O_CREAT, 0666);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(vqio_system_fd(fd), fd);
  EXPECT_EQ(vqio_write(fd, "abcdef", 6), 6);
  EXPECT_EQ(vqio_ftruncate(fd, 2), 0);
  EXPECT_EQ(ReadFile(dir.file("f")), "ab");
  vqio_close(fd);
}

}  // namespace
