// The "builder" subsystem: member paths name plain files.
#include <fcntl.h>

#include <string>

#include "test_mixed_support.h"

namespace {

TEST(BuilderPaths, StripEverythingUpToTheSecondAt) {
  struct Case {
    const char* path;
    const char* want;
  } cases[] = {
      {"plain/name", "plain/name"}, {"a@b@c", "a@b@c"},       {"@lib@name", "name"},
      {"@lib@dir/x.dd", "dir/x.dd"}, {"@@name", "name"},      {"@lib@a@b", "a@b"},
      {"@", ""},                     {"@lib", ""},            {"", ""},
  };
  for (const Case& c : cases) EXPECT_STREQ(builder_strip_path(c.path), c.want) << c.path;
}

TEST(BuilderSubsystem, WorksOnTheMemberNamesAsPlainFiles) {
  iotest::EnsureStarted();
  iotest::SaneTmpdir sane;
  iotest::TempDir dir;
  ASSERT_EQ(vqio_select("builder"), 1);
  const std::string member = "@lib@" + dir.file("m");
  int fd = vqio_open(member.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(vqio_write(fd, "abc", 3), 3);
  EXPECT_EQ(vqio_tell(fd), 3);
  EXPECT_EQ(vqio_close(fd), 0);
  EXPECT_EQ(iotest::ReadFile(dir.file("m")), "abc");
  struct stat st;
  ASSERT_EQ(vqio_stat(member.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 3);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(vqio_access(member.c_str(), R_OK), 0);
  const std::string other = "@x@" + dir.file("n");
  EXPECT_EQ(vqio_link(member.c_str(), other.c_str()), 0);
  EXPECT_EQ(vqio_unlink(member.c_str()), 0);
  EXPECT_EQ(iotest::ReadFile(dir.file("n")), "abc");
  fd = vqio_creat(("@y@" + dir.file("c")).c_str(), 0644);
  ASSERT_GE(fd, 0);
  vqio_close(fd);
  EXPECT_EQ(vqio_access(dir.file("c").c_str(), F_OK), 0);
  EXPECT_EQ(vqio_open("@lib", O_RDONLY), -1);  // the empty path
  EXPECT_EQ(errno, ENOENT);
  vqio_select("native");
}

}  // namespace
