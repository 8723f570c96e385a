// Superfiles under the mixed subsystem: the bytes the layer writes (header,
// member data, directory blocks) checked by an independent reader, files of
// an independent writer read back, growth and capacity, damaged directories,
// several superfiles at once, and members removed while open.
#include <fcntl.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "test_mixed_support.h"

namespace {

using iotest::MakeSuperfile;
using iotest::ReadAll;
using iotest::ReadFile;
using iotest::ReadSuperfile;
using iotest::SfImage;
using iotest::SfMember;
using iotest::WriteAll;

class Superfile : public iotest::MixedTest {
 protected:
  int Create(const std::string& path) { return vqio_open(path.c_str(), O_RDWR | O_CREAT, 0666); }
  int Open(const std::string& path, int flags = O_RDWR) { return vqio_open(path.c_str(), flags); }
  std::string Content(const std::string& path) {
    int fd = Open(path, O_RDONLY);
    if (fd < 0) return "<open failed>";
    std::string s = ReadAll(fd);
    vqio_close(fd);
    return s;
  }
};

TEST_F(Superfile, NewMemberLayoutAsWrittenAtTheEnd) {
  MapSuperfiles({"lib"});
  const uint32_t before = static_cast<uint32_t>(std::time(nullptr));
  int fd = Create("@lib@a");
  ASSERT_EQ(fd, 3);
  ASSERT_TRUE(WriteAll(fd, "0123456789"));
  EXPECT_EQ(vqio_close(fd), 0);
  Stop();  // the directory is written back when the subsystem stops
  const uint32_t after = static_cast<uint32_t>(std::time(nullptr));

  std::string b = ReadFile(SfPath("lib"));
  ASSERT_EQ(b.size(), 2048u + 1088u);
  SfImage img = ReadSuperfile(b);
  ASSERT_TRUE(img.ok);
  EXPECT_EQ(img.magic, 1234567);
  EXPECT_EQ(img.dir_offset, 2048);
  EXPECT_EQ(img.count, 1);
  EXPECT_EQ(img.end_of_data, 2048);
  EXPECT_EQ(b.substr(16, 1008), std::string(1008, '\0'));
  EXPECT_EQ(b.substr(1024, 10), "0123456789");
  ASSERT_EQ(img.blocks.size(), 1u);
  EXPECT_EQ(img.blocks[0].next, 0);
  EXPECT_EQ(img.blocks[0].used, 1);
  ASSERT_EQ(img.members.size(), 1u);
  const SfMember& m = img.members[0];
  EXPECT_EQ(m.name, "@lib@a");
  EXPECT_EQ(m.offset, 0);
  EXPECT_EQ(m.size, 10);
  EXPECT_EQ(m.capacity, 1024);
  EXPECT_GE(m.mtime, before);
  EXPECT_LE(m.mtime, after);
  EXPECT_EQ(m.atime, m.mtime);
  EXPECT_EQ(m.ctime, m.mtime);

  Start();  // and it reads back
  EXPECT_EQ(Content("@lib@a"), "0123456789");
  struct stat st;
  ASSERT_EQ(vqio_stat("@lib@a", &st), 0);
  EXPECT_EQ(st.st_size, 10);
  EXPECT_EQ(static_cast<uint32_t>(st.st_mtime), m.mtime);
}

TEST_F(Superfile, OnlyTheLastMemberGrowsAndTwelveMembersTakeTwoBlocks) {
  MapSuperfiles({"lib"});
  std::vector<std::string> names;
  for (int i = 0; i < 12; ++i) {
    names.push_back("@lib@m" + std::to_string(i));
    int fd = Create(names.back());
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(WriteAll(fd, std::string(static_cast<size_t>(i + 1), static_cast<char>('a' + i))));
    vqio_close(fd);
  }
  // The last member takes 3000 bytes: its capacity becomes 3072.
  int fd = Open(names[11], O_WRONLY | O_APPEND);
  ASSERT_TRUE(WriteAll(fd, std::string(3000 - 12, 'L')));
  vqio_close(fd);
  Stop();

  std::string b = ReadFile(SfPath("lib"));
  SfImage img = ReadSuperfile(b);
  ASSERT_TRUE(img.ok);
  // Eleven members of 1024 bytes, then 3072 for the last.
  const int32_t eod = 1024 + 11 * 1024 + 3072;
  EXPECT_EQ(img.end_of_data, eod);
  EXPECT_EQ(img.dir_offset, eod);
  EXPECT_EQ(img.count, 12);
  ASSERT_EQ(img.blocks.size(), 2u);
  EXPECT_EQ(img.blocks[0].at, eod);
  EXPECT_EQ(img.blocks[0].next, eod + 1088);
  EXPECT_EQ(img.blocks[0].used, 10);
  EXPECT_EQ(img.blocks[1].next, 0);
  EXPECT_EQ(img.blocks[1].used, 2);
  EXPECT_EQ(b.size(), static_cast<size_t>(eod + 2 * 1088));
  ASSERT_EQ(img.members.size(), 12u);
  for (int i = 0; i < 12; ++i) {
    const SfMember& m = img.members[static_cast<size_t>(i)];
    EXPECT_EQ(m.name, names[static_cast<size_t>(i)]);
    EXPECT_EQ(m.offset, 1024 * i);
    EXPECT_EQ(m.capacity, i == 11 ? 3072 : 1024);
    if (i < 11) {
      EXPECT_EQ(m.data, std::string(static_cast<size_t>(i + 1), static_cast<char>('a' + i)));
    }
  }
  EXPECT_EQ(img.members[11].size, 3000);
  EXPECT_EQ(img.members[11].data, std::string(12, 'l') + std::string(2988, 'L'));
}

TEST_F(Superfile, ReadsTheFilesOfAnIndependentWriter) {
  MapSuperfiles({"ext"});
  // Members out of order, with gaps and spare capacity, a directory of
  // partly used blocks (3 + 3 + 1 entries).
  std::vector<SfMember> ms;
  for (int i = 0; i < 7; ++i) {
    SfMember m;
    m.name = "@ext@doc" + std::to_string(i);
    m.offset = (6 - i) * 3072;
    m.capacity = 2048 + i;
    m.data = std::string(static_cast<size_t>(100 * i + 5), static_cast<char>('A' + i));
    m.atime = 1000 + i;
    m.mtime = 2000 + i;
    m.ctime = 3000 + i;
    ms.push_back(m);
  }
  iotest::WriteFile(SfPath("ext"), MakeSuperfile(ms, 1024 + 7 * 3072, 3));

  for (int i = 6; i >= 0; --i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(Content(ms[static_cast<size_t>(i)].name), ms[static_cast<size_t>(i)].data);
    struct stat st;
    ASSERT_EQ(vqio_stat(ms[static_cast<size_t>(i)].name.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 100 * i + 5);
    EXPECT_EQ(st.st_atime, 1000 + i);
    EXPECT_EQ(st.st_mtime, 2000 + i);
    EXPECT_EQ(st.st_ctime, 3000 + i);
  }
  // Reads stop at the member's end; positions past it read nothing.
  int fd = Open("@ext@doc3", O_RDONLY);
  char buf[1000];
  ASSERT_EQ(vqio_lseek(fd, 300, SEEK_SET), 300);
  EXPECT_EQ(vqio_read(fd, buf, sizeof buf), 5);  // 305 bytes: the rest only
  EXPECT_EQ(vqio_read(fd, buf, sizeof buf), 0);
  EXPECT_EQ(vqio_lseek(fd, 5000, SEEK_SET), 5000);
  EXPECT_EQ(vqio_read(fd, buf, sizeof buf), 0);
  EXPECT_EQ(vqio_lseek(fd, -10, SEEK_END), 295);
  EXPECT_EQ(vqio_read(fd, buf, sizeof buf), 10);
  EXPECT_EQ(std::string(buf, 10), std::string(10, 'D'));
  // A seek before the member's start is refused and keeps the position.
  errno = 0;
  EXPECT_EQ(vqio_lseek(fd, -1000, SEEK_CUR), -1);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(vqio_tell(fd), 305);
  vqio_close(fd);
  EXPECT_EQ(Open("@ext@nosuch"), -1);
  EXPECT_EQ(errno, ENOENT);
}

TEST_F(Superfile, UpdatesInPlaceKeepTheOtherMembers) {
  MapSuperfiles({"lib"});
  for (const char* n : {"@lib@a", "@lib@b", "@lib@c"}) {
    int fd = Create(n);
    ASSERT_TRUE(WriteAll(fd, std::string("data of ") + n));
    vqio_close(fd);
  }
  int fd = Open("@lib@b", O_WRONLY | O_TRUNC);
  ASSERT_TRUE(WriteAll(fd, "new b"));
  vqio_close(fd);
  fd = Open("@lib@a", O_WRONLY | O_APPEND);
  ASSERT_TRUE(WriteAll(fd, "+"));
  vqio_close(fd);
  EXPECT_EQ(vqio_unlink("@lib@c"), 0);
  EXPECT_EQ(Open("@lib@c"), -1);
  Stop();
  Start();
  EXPECT_EQ(Content("@lib@a"), "data of @lib@a+");
  EXPECT_EQ(Content("@lib@b"), "new b");
  EXPECT_EQ(Open("@lib@c"), -1);
  SfImage img = ReadSuperfile(ReadFile(SfPath("lib")));
  ASSERT_TRUE(img.ok);
  ASSERT_EQ(img.members.size(), 3u);  // the removed member keeps its slot, empty
  EXPECT_EQ(img.members[2].name, "");
  EXPECT_EQ(img.members[2].capacity, 0);
}

// A write beyond the capacity of a member with a successor ends the process
// with status 1, after the directory has been written back: the member made
// earlier by another writer and the members made in this run all survive.
TEST_F(Superfile, CapacityOverrunEndsWithStatusOneAndLosesNothing) {
  MapSuperfiles({"lib"});
  SfMember old;
  old.name = "@lib@old";
  old.capacity = 1024;
  old.data = "stored before";
  iotest::WriteFile(SfPath("lib"), MakeSuperfile({old}, 2048));
  const std::string path = SfPath("lib");
  EXPECT_EXIT(
      {
        int a = Create("@lib@new");  // its data goes where the old directory was
        WriteAll(a, std::string(1500, 'n'));
        int b = Create("@lib@next");
        WriteAll(b, "after");
        int o = Open("@lib@old", O_WRONLY | O_APPEND);
        WriteAll(o, std::string(1100, 'x'));
        std::_Exit(7);  // not reached
      },
      ::testing::ExitedWithCode(1),
      "fatal error: writing beyond the limit of file '@lib@old' size 1024!");

  SfImage img = ReadSuperfile(ReadFile(path));
  ASSERT_TRUE(img.ok);
  EXPECT_EQ(img.count, 3);
  ASSERT_EQ(img.members.size(), 3u);
  EXPECT_EQ(img.members[0].data, "stored before");
  EXPECT_EQ(img.members[1].data, std::string(1500, 'n'));
  EXPECT_EQ(img.members[1].capacity, 2048);  // grew while it was the last
  EXPECT_EQ(img.members[2].data, "after");
  EXPECT_EQ(Content("@lib@old"), "stored before");
  EXPECT_EQ(Content("@lib@next"), "after");
}

// Each damaged directory gives its text on stderr, the open fails and the
// file is left as it was.
TEST_F(Superfile, DamagedDirectoriesAreReportedAndLeftAlone) {
  MapSuperfiles({"bad"});
  SfMember a, b;
  a.name = "@bad@a";
  a.capacity = 1024;
  a.data = "aaa";
  b.name = "@bad@b";
  b.offset = 1024;
  b.capacity = 1024;
  b.data = "bbb";
  const std::string good = MakeSuperfile({a, b}, 3072);
  const size_t dir = 3072, e0 = dir + 8, e1 = dir + 8 + 108;
  struct Case {
    const char* what;
    size_t at;
    int32_t value;
    const char* text;
  } cases[] = {
      {"bad magic", 0, 7654321, "bad magic number"},
      {"count larger than the entries", 8, 3, "directory problem"},
      {"count smaller than the entries", 8, 1, "directory problem"},
      {"used over ten", dir + 4, 11, "directory problem"},
      {"negative used", dir + 4, -1, "directory problem"},
      {"next block points to itself", dir, 3072, "directory problem"},
      {"next block past the file", dir, 9000, "directory problem"},
      {"next block inside member data", dir, 1024, "directory problem"},
      {"data beyond the end of data", e1 + 84, 1500, "directory problem"},
      {"size over capacity", e0 + 88, 1025, "directory problem"},
      {"negative offset", e0 + 84, -1024, "directory problem"},
      {"directory offset not the end of data", 4, 2048, "directory problem"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string damaged = good;
    iotest::PutLe32(damaged, c.at, c.value);
    iotest::WriteFile(SfPath("bad"), damaged);
    ::testing::internal::CaptureStderr();
    errno = 0;
    EXPECT_EQ(Open("@bad@a", O_RDONLY), -1);
    EXPECT_EQ(errno, EIO);
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, std::string("fatal error: ") + c.text + (c.at == 0 ? " for" : " in") +
                       " super file '" + SfPath("bad") + "'\n");
    Stop();
    Start();
    EXPECT_EQ(ReadFile(SfPath("bad")), damaged);
  }
  // A name that fills its 80 bytes without a NUL.
  std::string damaged = good;
  damaged.replace(e0, 80, std::string(80, 'n'));
  iotest::WriteFile(SfPath("bad"), damaged);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(Open("@bad@b", O_RDONLY), -1);
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("directory problem"), std::string::npos);
  // The undamaged file reads.
  iotest::WriteFile(SfPath("bad"), good);
  EXPECT_EQ(Content("@bad@b"), "bbb");
}

TEST_F(Superfile, SwitchingSuperfilesNeverRedirectsAnOpenMember) {
  MapSuperfiles({"one", "two"});
  int a = Create("@one@m");
  ASSERT_TRUE(WriteAll(a, "AAAA"));
  int b = Create("@two@m");  // selects "two" while a member of "one" is open
  ASSERT_TRUE(WriteAll(b, "BBBB"));
  ASSERT_TRUE(WriteAll(a, "aa"));
  int a2 = Create("@one@n");  // back to "one", still open: taken up as it is
  ASSERT_TRUE(WriteAll(a2, "nn"));
  ASSERT_EQ(vqio_lseek(a, 0, SEEK_SET), 0);
  EXPECT_EQ(ReadAll(a), "AAAAaa");
  for (int fd : {a, b, a2}) EXPECT_EQ(vqio_close(fd), 0);
  Stop();
  Start();
  EXPECT_EQ(Content("@one@m"), "AAAAaa");
  EXPECT_EQ(Content("@one@n"), "nn");
  EXPECT_EQ(Content("@two@m"), "BBBB");
  EXPECT_EQ(ReadSuperfile(ReadFile(SfPath("one"))).count, 2);
  EXPECT_EQ(ReadSuperfile(ReadFile(SfPath("two"))).count, 1);
}

// Two superfile names (or spellings of its path) that lead to one file
// share one directory: members made through either never take the same
// space, and both survive the write-back.
TEST_F(Superfile, TwoNamesOfOneFileShareOneDirectory) {
  WriteIni("[SuperFiles]\none=" + SfPath("one") + "\nalias=" + dir_.path() + "/./one.sf\n");
  int a = Create("@one@m");
  ASSERT_TRUE(WriteAll(a, "AAAA"));
  int b = Create("@alias@n");  // "one" still has an open member
  ASSERT_TRUE(WriteAll(b, "BBBB"));
  for (int fd : {a, b}) EXPECT_EQ(vqio_close(fd), 0);
  Stop();
  SfImage img = ReadSuperfile(ReadFile(SfPath("one")));
  ASSERT_TRUE(img.ok);
  ASSERT_EQ(img.members.size(), 2u);
  EXPECT_EQ(img.members[0].name, "@one@m");
  EXPECT_EQ(img.members[0].data, "AAAA");
  EXPECT_EQ(img.members[1].name, "@alias@n");
  EXPECT_EQ(img.members[1].data, "BBBB");
  EXPECT_EQ(img.members[1].offset, 1024);
  Start();
}

TEST_F(Superfile, AMemberRemovedWhileOpenKeepsItsOwnSpace) {
  MapSuperfiles({"lib"});
  int first = Create("@lib@first");
  ASSERT_TRUE(WriteAll(first, "FIRST"));
  vqio_close(first);
  int gone = Create("@lib@gone");
  int keep = Create("@lib@keep");
  ASSERT_TRUE(WriteAll(keep, "KEEP"));
  EXPECT_EQ(vqio_unlink("@lib@gone"), 0);
  struct stat st;
  EXPECT_EQ(vqio_stat("@lib@gone", &st), -1);
  ASSERT_TRUE(WriteAll(gone, "zzz"));  // still its own space, not the first member's
  EXPECT_EQ(vqio_close(gone), 0);
  vqio_close(keep);
  Stop();
  Start();
  EXPECT_EQ(Content("@lib@first"), "FIRST");
  EXPECT_EQ(Content("@lib@keep"), "KEEP");
}

// The last member, removed while it is open, still grows as the last one
// (a file removed while open can still be written), and the directory
// written back holds the other members.
TEST_F(Superfile, TheLastMemberRemovedWhileOpenStillGrows) {
  MapSuperfiles({"lib"});
  EXPECT_EXIT(
      {
        int keep = Create("@lib@keep");
        WriteAll(keep, "KEEP");
        vqio_close(keep);
        int tmp = Create("@lib@tmp");
        vqio_unlink("@lib@tmp");
        const bool wrote = WriteAll(tmp, std::string(3000, 't'));
        const bool read_back =
            vqio_lseek(tmp, 0, SEEK_SET) == 0 && ReadAll(tmp) == std::string(3000, 't');
        vqio_close(tmp);
        Stop();
        std::_Exit(wrote && read_back ? 0 : 2);
      },
      ::testing::ExitedWithCode(0), "");
  SfImage img = ReadSuperfile(ReadFile(SfPath("lib")));
  ASSERT_TRUE(img.ok);
  ASSERT_EQ(img.members.size(), 2u);
  EXPECT_EQ(img.members[0].data, "KEEP");
  EXPECT_EQ(img.members[1].name, "");
  EXPECT_EQ(img.members[1].capacity, 0);
}

// A member removed while open and never closed (a program that ends with
// the descriptor open: the subsystem frees its records without closing
// them) is written back as a deleted member: an empty name and zero
// numbers, in every directory written, the one written when another
// superfile is selected included. The bytes of the directory block are
// worked out here from the format; the time stamps of the kept member are
// taken from the file.
TEST_F(Superfile, AMemberRemovedWhileOpenIsWrittenBackWithZeroNumbers) {
  MapSuperfiles({"lib", "other"});
  int keep = Create("@lib@keep");
  ASSERT_TRUE(WriteAll(keep, "KEEP"));
  vqio_close(keep);
  int log = Create("@lib@log");  // at 2048, capacity 1024
  ASSERT_TRUE(WriteAll(log, std::string(77, 'l')));
  ASSERT_EQ(vqio_unlink("@lib@log"), 0);
  ASSERT_TRUE(WriteAll(log, "more"));  // still writable
  // The header, then the one directory block at the end of data (3072):
  // the kept member's entry, the removed member's entry all zero bytes, and
  // eight unused slots.
  auto check = [](const std::string& b) {
    const size_t eod = 3072;
    ASSERT_EQ(b.size(), eod + 1088);
    std::string header(16, '\0');
    iotest::PutLe32(header, 0, 1234567);
    iotest::PutLe32(header, 4, eod);
    iotest::PutLe32(header, 8, 2);
    iotest::PutLe32(header, 12, eod);
    EXPECT_EQ(b.substr(0, 16), header);
    std::string kept(8 + 108, '\0');
    iotest::PutLe32(kept, 0, 0);  // the last block
    iotest::PutLe32(kept, 4, 2);  // entries used
    kept.replace(8, 9, "@lib@keep");
    iotest::PutLe32(kept, 8 + 84, 0);     // data offset
    iotest::PutLe32(kept, 8 + 88, 4);     // size
    iotest::PutLe32(kept, 8 + 92, 1024);  // capacity
    kept.replace(8 + 96, 12, b.substr(eod + 8 + 96, 12));
    EXPECT_EQ(b.substr(eod, 8 + 108), kept);
    EXPECT_NE(iotest::Le32(b, eod + 8 + 96), 0);  // a stamp was set
    EXPECT_EQ(b.substr(eod + 8 + 108, 108), std::string(108, '\0')) << "the removed member";
    EXPECT_EQ(b.substr(eod + 8 + 2 * 108), std::string(8 * 108, '\0'));
    EXPECT_EQ(b.substr(2048, 81), std::string(77, 'l') + "more");  // its data stays in place
  };
  // Selecting another superfile writes this one back while the member is
  // still open.
  int other = Create("@other@x");
  vqio_close(other);
  check(ReadFile(SfPath("lib")));
  Stop();  // the record still open is freed, not closed
  check(ReadFile(SfPath("lib")));
  Start();
  EXPECT_EQ(Content("@lib@keep"), "KEEP");
  EXPECT_EQ(Open("@lib@log", O_RDONLY), -1);
}

// A directory that cannot be written back is lost output: the program does
// not end as a success, at its exit or at the close that wrote it back.
TEST_F(Superfile, AFailedWriteBackIsNoSuccess) {
  MapSuperfiles({"lib", "lib2", "lib3", "other"});
  // The directory goes at the end of data (2048), past what the file may
  // hold; member data and header stay below.
  auto limit_file_size = [](rlim_t bytes = 1100) {
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim = {bytes, bytes};
    setrlimit(RLIMIT_FSIZE, &lim);
  };
  EXPECT_EXIT(
      {
        int a = Create("@lib@a");
        WriteAll(a, "0123456789");
        limit_file_size();
        vqio_exit(0);
      },
      ::testing::ExitedWithCode(1), "can not write directory");
  EXPECT_EXIT(
      {
        int a = Create("@lib2@b");
        WriteAll(a, "0123456789");
        int o = Create("@other@c");  // "lib2" stays open through a's handle
        vqio_close(o);
        limit_file_size();
        std::_Exit(vqio_close(a) == -1 ? 3 : 4);  // the last handle writes "lib2" back
      },
      ::testing::ExitedWithCode(3), "can not write directory");
  EXPECT_EXIT(
      {
        int a = Create("@lib3@d");
        WriteAll(a, std::string(3000, 'd'));  // its directory goes at 4096
        Create("@other@e");  // "lib3" is no longer current; a stays open
        limit_file_size(3200);  // room for the directory of "other" at 2048
        vqio_exit(0);
      },
      ::testing::ExitedWithCode(1), "can not write directory");
}

// Every offset of the file is a signed 32-bit word: a write whose end of
// data, rounded up, with the directory after it, would pass 2^31 - 1 is
// refused (EFBIG) and the superfile stays readable. Made sparse: a member
// near the 2 GiB mark, the last one, with its directory block after it.
TEST_F(Superfile, EndOfDataStaysASigned32BitWord) {
  MapSuperfiles({"big"});
  const int32_t eod = 2147482624;  // 2^31 - 1024
  SfMember m;
  m.name = "@big@m";
  m.offset = eod - 2048;
  m.capacity = 1024;
  std::string image = MakeSuperfile({}, 1024);
  std::string block(1088, '\0');
  iotest::PutLe32(block, 4, 1);
  block.replace(8, m.name.size(), m.name);
  iotest::PutLe32(block, 8 + 84, m.offset);
  iotest::PutLe32(block, 8 + 92, m.capacity);
  iotest::PutLe32(image, 4, eod);
  iotest::PutLe32(image, 8, 1);
  iotest::PutLe32(image, 12, eod);
  {
    const int fd = ::open(SfPath("big").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0666);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, image.data(), 16, 0), 16);
    ASSERT_EQ(::pwrite(fd, block.data(), block.size(), eod), 1088);
    ::close(fd);
  }
  int fd = Open("@big@m");
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(WriteAll(fd, std::string(1000, 'a')));  // within its capacity
  errno = 0;
  EXPECT_EQ(vqio_write(fd, std::string(124, 'b').data(), 124), -1);  // would move the end past 2^31
  EXPECT_EQ(errno, EFBIG);
  EXPECT_EQ(vqio_close(fd), 0);
  Stop();
  Start();
  EXPECT_EQ(Content("@big@m"), std::string(1000, 'a'));
  ::unlink(SfPath("big").c_str());
}

TEST_F(Superfile, NamesAndSelection) {
  WriteIni("[SuperFiles]\nlib=" + SfPath("mapped") + "\n");
  int fd = Create("@lib@x");
  ASSERT_GE(fd, 0);
  vqio_close(fd);
  // A name not in the ini file is the superfile's own path.
  const std::string plain = dir_.file("plain");
  fd = Create("@" + plain + "@y");
  ASSERT_GE(fd, 0);
  vqio_close(fd);
  // Member names of 80 characters or more are refused.
  std::string long_name = "@lib@" + std::string(75, 'n');
  EXPECT_EQ(Create(long_name), -1);
  EXPECT_GE(fd = Create(long_name.substr(0, 79)), 0);
  vqio_close(fd);
  EXPECT_EQ(*vqio_control("sf_set_superfile", const_cast<char*>("lib")), 1);
  Stop();
  EXPECT_EQ(ReadSuperfile(ReadFile(SfPath("mapped"))).count, 2);
  EXPECT_EQ(ReadSuperfile(ReadFile(plain)).count, 1);

  // Without an ini file a superfile name is its own path, and what is stored
  // there reads back.
  std::remove(dir_.file("velquin.ini").c_str());
  Start();
  fd = Open("@" + plain + "@y", O_RDONLY);
  EXPECT_GE(fd, 0);
  vqio_close(fd);
  EXPECT_EQ(Open("@" + dir_.file("absent") + "@y", O_RDONLY), -1);
}

}  // namespace

namespace {

// The same stream operations on a plain file and on a member give the same
// results and the same bytes.
std::string StreamScript(const std::string& path) {
  std::string log;
  VqStream* s = vqio_fopen(path.c_str(), "w+");
  if (!s) return "no stream";
  for (int i = 0; i < 300; ++i) vqio_fprintf(s, "line %d of the member\n", i);
  log += std::to_string(vqio_ftell(s)) + " ";
  vqio_rewind(s);
  char buf[64];
  log += vqio_fgets(buf, sizeof buf, s) ? buf : "null";
  log += std::to_string(vqio_fseek(s, 5000, SEEK_SET)) + " ";
  log += std::to_string(vqio_fgetc(s)) + " ";
  vqio_fseek(s, 0, SEEK_END);
  vqio_putw(0x01020304, s);
  vqio_fseek(s, -4, SEEK_END);
  log += std::to_string(vqio_getw(s)) + " ";
  log += std::to_string(vqio_fgetc(s)) + " " + std::to_string(vqio_feof(s)) + " ";
  log += std::to_string(vqio_fclose(s)) + " ";
  s = vqio_fopen(path.c_str(), "a");
  vqio_fputs("appended\n", s);
  log += std::to_string(vqio_fclose(s)) + " ";
  s = vqio_fopen(path.c_str(), "r");
  std::string all;
  int c;
  while ((c = vqio_fgetc(s)) != -1) all.push_back(static_cast<char>(c));
  vqio_fclose(s);
  return log + "|" + all;
}

TEST_F(Superfile, StreamsOverAMemberBehaveAsOverAPlainFile) {
  MapSuperfiles({"lib"});
  std::string plain = StreamScript(dir_.file("plain"));
  std::string member = StreamScript("@lib@m");
  EXPECT_EQ(member, plain);
  EXPECT_GT(plain.size(), 6000u);
}

}  // namespace

namespace {

// Callers that compare files by device and inode (a region file must not be
// an input of the same run) see each member as a file of its own.
TEST_F(Superfile, EachMemberHasAnIdentityOfItsOwn) {
  MapSuperfiles({"one", "two"});
  for (const char* n : {"@one@a", "@one@b", "@two@a"}) {
    int fd = Create(n);
    ASSERT_GE(fd, 0);
    vqio_close(fd);
  }
  struct stat a, b, a2, other, again;
  ASSERT_EQ(vqio_stat("@one@a", &a), 0);
  ASSERT_EQ(vqio_stat("@one@b", &b), 0);
  ASSERT_EQ(vqio_stat("@two@a", &other), 0);
  ASSERT_EQ(vqio_stat("@one@a", &again), 0);
  int fd = Open("@one@a", O_RDONLY);
  ASSERT_EQ(vqio_fstat(fd, &a2), 0);
  vqio_close(fd);
  auto same = [](const struct stat& x, const struct stat& y) {
    return x.st_dev == y.st_dev && x.st_ino == y.st_ino;
  };
  EXPECT_FALSE(same(a, b));
  EXPECT_FALSE(same(a, other));
  EXPECT_TRUE(same(a, again));
  EXPECT_TRUE(same(a, a2));
  EXPECT_TRUE(S_ISREG(a.st_mode));
  struct stat real;
  ASSERT_EQ(::stat(SfPath("one").c_str(), &real), 0);
  EXPECT_FALSE(same(a, real));  // nor the superfile itself
}

}  // namespace
