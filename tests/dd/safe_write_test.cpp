// Rewriting a data dictionary never loses it: failures part way (full
// disk, no new file possible, replace refused) leave the old file as it was
// and no new file behind; a good write keeps the file's permissions, and a
// symbolic link stays a link.
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <string>

#include "dd/dd.h"
#include "dd/scratch.h"
#include "msg/msg.h"
#include "support/recorded_reports.h"

namespace {

class SafeWrite : public ScratchDir {
 protected:
  void SetUp() override {
    ScratchDir::SetUp();
    original_ = read_file(fixture("canonical.dd"));
    write_file(path("in.dd"), original_);
    tree_ = addpadd(path("in.dd").c_str());
    ASSERT_NE(tree_, nullptr);
    // Changed, so that a replaced file would show.
    ASSERT_EQ(addmdmr(tree_, "added", {{DD_Name, "added"}}), 0);
  }
  void TearDown() override {
    madmtfr(tree_);
    ScratchDir::TearDown();
  }
  std::set<std::string> entries() const {
    std::set<std::string> names;
    DIR* d = opendir(dir_.c_str());
    while (dirent* e = readdir(d))
      if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.insert(e->d_name);
    closedir(d);
    return names;
  }
  std::string original_;
  MadNode* tree_ = nullptr;
};

// Runs f with the file-size limit set to bytes (writes past it fail with
// EFBIG, as on a full disk).
template <typename F>
void with_file_size_limit(rlim_t bytes, F f) {
  struct rlimit old;
  getrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = bytes;
  setrlimit(RLIMIT_FSIZE, &small);
  f();
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, SIG_DFL);
}

TEST_F(SafeWrite, FullDiskLeavesTheOldFile) {
  ReportRecorder rec;
  int status = 0;
  with_file_size_limit(1000, [&] { status = addutwrdd(path("in.dd").c_str(), tree_); });
  EXPECT_EQ(status, 16);
  EXPECT_EQ(read_file(path("in.dd")), original_);
  EXPECT_EQ(entries(), std::set<std::string>{"in.dd"});
  ASSERT_FALSE(rec.reports().empty());
  EXPECT_EQ(rec.reports().back().severity, 16);
  EXPECT_EQ(rec.reports().back().text, "60011: addutwrdd: Error writing data dictionary.");
}

TEST_F(SafeWrite, NoNewFileLeavesTheOldFile) {
  ReportRecorder rec;
  // Every descriptor below the limit taken: the new file cannot be opened.
  const int lowest_free = dup(0);
  close(lowest_free);
  struct rlimit old;
  getrlimit(RLIMIT_NOFILE, &old);
  struct rlimit none = old;
  none.rlim_cur = static_cast<rlim_t>(lowest_free);
  setrlimit(RLIMIT_NOFILE, &none);
  const int status = addutwrdd(path("in.dd").c_str(), tree_);
  setrlimit(RLIMIT_NOFILE, &old);
  EXPECT_EQ(status, 16);
  EXPECT_EQ(read_file(path("in.dd")), original_);
  EXPECT_EQ(entries(), std::set<std::string>{"in.dd"});
  ASSERT_EQ(rec.reports().size(), 1u);
  EXPECT_EQ(rec.reports()[0].severity, 16);
  EXPECT_EQ(rec.reports()[0].text,
            "60002: addutwr: Unable to open new data dictionary file '" + path("in.dd") + "'.");
}

TEST_F(SafeWrite, ReadOnlyDirectoryLeavesTheOldFile) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  ReportRecorder rec;
  chmod(dir_.c_str(), 0555);
  EXPECT_EQ(addutwrdd(path("in.dd").c_str(), tree_), 16);
  chmod(dir_.c_str(), 0755);
  EXPECT_EQ(read_file(path("in.dd")), original_);
  EXPECT_EQ(entries(), std::set<std::string>{"in.dd"});
}

TEST_F(SafeWrite, ReadOnlyFileStaysProtected) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  ReportRecorder rec;
  chmod(path("in.dd").c_str(), 0444);
  EXPECT_EQ(addutwrdd(path("in.dd").c_str(), tree_), 16);
  EXPECT_EQ(read_file(path("in.dd")), original_);
  EXPECT_EQ(entries(), std::set<std::string>{"in.dd"});
}

TEST_F(SafeWrite, RefusedReplaceRemovesTheNewFile) {
  ReportRecorder rec;
  mkdir(path("sub").c_str(), 0755);
  write_file(path("sub/keep"), "x");
  EXPECT_EQ(addutwrdd(path("sub").c_str(), tree_), 16);  // a directory cannot be replaced
  EXPECT_EQ(entries(), (std::set<std::string>{"in.dd", "sub"}));
  EXPECT_EQ(read_file(path("sub/keep")), "x");
}

// A data dictionary named by a relative path is told apart from one of the
// same name in another working directory: the stamp a write leaves in one
// directory does not refuse the write in the other, and still refuses a
// rewrite in its own directory once the file there has changed.
TEST_F(SafeWrite, ARelativeNameIsStampedInItsOwnDirectory) {
  ReportRecorder rec;
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(mkdir(path("one").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(path("two").c_str(), 0755), 0);
  ASSERT_EQ(chdir(path("one").c_str()), 0);
  const int first = addutwrdd("same.dd", tree_);
  write_file(path("one/same.dd"), "changed by another run\n");
  ASSERT_EQ(chdir(path("two").c_str()), 0);
  const int second = addutwrdd("same.dd", tree_);
  ASSERT_EQ(chdir(path("one").c_str()), 0);
  const int third = addutwrdd("same.dd", tree_);
  ASSERT_EQ(chdir(cwd), 0);
  EXPECT_EQ(first, 0);
  EXPECT_EQ(second, 0);
  EXPECT_NE(read_file(path("two/same.dd")).find("<Name>added</Name>"), std::string::npos);
  EXPECT_EQ(third, 15);
  EXPECT_EQ(read_file(path("one/same.dd")), "changed by another run\n");
}

TEST_F(SafeWrite, NoTreeWritesNothing) {
  ReportRecorder rec;
  EXPECT_EQ(addutwrdd(path("in.dd").c_str(), nullptr), 15);
  EXPECT_EQ(read_file(path("in.dd")), original_);
}

TEST_F(SafeWrite, PermissionsAndLinksStay) {
  chmod(path("in.dd").c_str(), 0640);
  ASSERT_EQ(symlink("in.dd", path("link.dd").c_str()), 0);
  ASSERT_EQ(addutwrdd(path("link.dd").c_str(), tree_), 0);
  struct stat st;
  ASSERT_EQ(lstat(path("link.dd").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(stat(path("in.dd").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  const std::string now = read_file(path("in.dd"));
  EXPECT_NE(now, original_);
  EXPECT_NE(now.find("<Name>added</Name>"), std::string::npos);
  EXPECT_EQ(entries(), (std::set<std::string>{"in.dd", "link.dd"}));
}

// Under the programs' printer the first failure report ends the program;
// the new file goes with it and the old file stays.
TEST_F(SafeWrite, FatalReportPartWayLeavesNoNewFile) {
  const std::string in = path("in.dd");
  EXPECT_EXIT(
      {
        set_error_handler(print_message);
        with_file_size_limit(1000, [&] { addutwrdd(in.c_str(), tree_); });
      },
      ::testing::ExitedWithCode(1), "");
  EXPECT_EQ(read_file(in), original_);
  EXPECT_EQ(entries(), std::set<std::string>{"in.dd"});
}

// A data dictionary kept as a superfile member (mixed subsystem) is
// rewritten in place. When the new text does not fit in the member's space
// (a member with a successor cannot grow), the write ends the program
// before any byte of the member has changed.
TEST_F(SafeWrite, AMemberThatCannotTakeTheNewTextStaysAsItWas) {
  write_file(path("velquin.ini"), "[SuperFiles]\nlib=" + path("lib.sf") + "\n");
  const char* library_path = std::getenv("LD_LIBRARY_PATH");
  const std::string saved_path = library_path ? library_path : "";
  setenv("LD_LIBRARY_PATH", dir_.c_str(), 1);
  static char name[] = "vq_test";
  static char* argv[] = {name, nullptr};
  auto start_mixed = [] {
    IoSubsystem* rec = vqio_current();
    if (vqio_select("mixed") != 1) return rec;
    vqio_current()->start(vqio_current(), 1, argv);
    return rec;
  };
  auto stop_mixed = [](IoSubsystem* before) {
    vqio_current()->stop(vqio_current(), 0);
    vqio_select(before->name);
  };
  auto member = [](const char* member_path, const std::string& text) {
    const int fd = vqio_open(member_path, O_RDWR | O_CREAT, 0666);
    const bool ok = fd >= 0 && vqio_write(fd, text.data(), text.size()) ==
                                   static_cast<ssize_t>(text.size());
    return vqio_close(fd) == 0 && ok;
  };
  // The new text is well over the member's 4096 bytes.
  for (int i = 0; i < 60; ++i) {
    const std::string n = "region entry with a long name " + std::to_string(i);
    ASSERT_EQ(addmdmr(tree_, n.c_str(), {{DD_Name, n.c_str()}}), 0);
  }
  EXPECT_EXIT(
      {
        start_mixed();
        // The dictionary's member takes 4096 bytes, and another follows it.
        if (!member("@lib@db.dd", original_) || !member("@lib@next", "N")) std::_Exit(3);
        set_error_handler(print_message);
        addutwrdd("@lib@db.dd", tree_);
        vqio_exit(0);
      },
      ::testing::ExitedWithCode(1), "writing beyond the limit of file '@lib@db.dd' size 4096");
  IoSubsystem* before = start_mixed();
  const int fd = vqio_open("@lib@db.dd", O_RDONLY);
  std::string now(8192, '\0');
  const ssize_t got = fd >= 0 ? vqio_read(fd, now.data(), now.size()) : -1;
  now.resize(got > 0 ? static_cast<size_t>(got) : 0);
  vqio_close(fd);
  stop_mixed(before);
  if (library_path)
    setenv("LD_LIBRARY_PATH", saved_path.c_str(), 1);
  else
    unsetenv("LD_LIBRARY_PATH");
  EXPECT_EQ(now, original_);
}

}  // namespace
