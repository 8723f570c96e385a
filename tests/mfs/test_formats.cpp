// The stream framework and the filtering formats one by one: spans, record
// sizes, the changed-file control, formats used without a parent, missing
// files, and long member names.
#include <sys/stat.h>

#include <string>
#include <vector>

#include "mfs_support.h"

namespace {

using mfstest::Chain;
using mfstest::MfsTest;

using FormatTest = MfsTest;

TEST_F(FormatTest, Spans) {
  const std::string f3 = Member("f3", "abc");
  const std::string f5 = Member("f5", "x0y0z");
  const std::string f100 = Member("f100", std::string(100, 'q'));
  struct Case {
    const char* list;
    const std::string* file;
    off_t offset, count, total;
    off_t want;
  };
  const Case cases[] = {
      {"", &f3, 0, 1024, 1024, 1024},  // the count, whatever the file's size
      {"", &f3, 0, -1, 3, 3},          // count -1: the file's size
      {"flat", &f3, 1, 2, 3, 2},
      {"double", &f3, 0, 3, 3, 6},
      {"half", &f5, 0, 5, 5, 2},
      {"double|half", &f3, 0, 3, 3, 3},
      {"iflat", &f100, 0, 100, 100, 100},
      {"iflat", &f100, 10, 5, 100, -1},  // a partial retrieval is refused
      {"iflat", &f100, 0, 99, 100, -1},
      {"double|iflat", &f100, 0, 100, 100, 200},
      {"sys(tr a-z A-Z)", &f3, 7, 1, 2, 3},  // the output's size, any arguments
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list);
    Chain chain(c.list);
    ASSERT_EQ(mfs_chain_open(chain.get(), c.file->c_str()), 0);
    EXPECT_EQ(chain->span(chain.get(), c.offset, c.count, c.total), c.want);
    EXPECT_EQ(chain->get_status(chain.get()), MFS_STATUS_OK);
    mfs_chain_close(chain.get());
  }
}

TEST_F(FormatTest, SpanOfTheWholeFileKeepsTheReadPosition) {
  const std::string source = mfstest::MemberBytes(9000);
  const std::string path = Member("m", source);
  Chain chain("");
  ASSERT_EQ(mfs_chain_open(chain.get(), path.c_str()), 0);
  const std::string head = mfstest::ReadSome(chain.get(), 5000);
  EXPECT_EQ(chain->span(chain.get(), 0, -1, 9000), 9000);
  EXPECT_EQ(head + mfstest::ReadAll(chain.get()), source);
  mfs_chain_close(chain.get());
}

TEST_F(FormatTest, RecordSizes) {
  struct Case {
    const char* list;
    int32_t want;
  };
  // Each layer adds its position word; "sys" answers its parent's size + 8.
  const Case cases[] = {
      {"", 8}, {"flat", 12}, {"double|half", 16}, {"sys", 16}, {"sys|flat", 20},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list);
    Chain chain(c.list);
    int32_t size = 0;
    EXPECT_EQ(chain->ctl(chain.get(), MFS_CTL_RECORD_SIZE, &size), 0);
    EXPECT_EQ(size, c.want);
    EXPECT_EQ(chain->ctl(chain.get(), 99, &size), -1);
  }
  MfsStream* inner = mfsio_new(nullptr);
  MfsStream* outer = mfsio_new(inner);
  int32_t size = 0;
  outer->ctl(outer, MFS_CTL_RECORD_SIZE, &size);
  EXPECT_EQ(size, 12);
  mfs_chain_destroy(outer);
}

TEST_F(FormatTest, ChangedFileControlComparesTheModificationTime) {
  const std::string path = Member("m", "abc");
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  const int32_t same = static_cast<int32_t>(st.st_mtime);
  const int32_t other = same - 100;
  for (const char* list : {"", "double|flat", "sys"}) {
    SCOPED_TRACE(list);
    Chain chain(list);
    ASSERT_EQ(mfs_chain_open(chain.get(), path.c_str()), 0);
    EXPECT_EQ(chain->ctl(chain.get(), MFS_CTL_CHANGED, const_cast<int32_t*>(&same)), 0);
    EXPECT_EQ(chain->ctl(chain.get(), MFS_CTL_CHANGED, const_cast<int32_t*>(&other)), 1);
    mfs_chain_close(chain.get());
    ASSERT_EQ(mfs_chain_open(chain.get(), (dir_ + "/missing").c_str()), 0);
    EXPECT_EQ(chain->ctl(chain.get(), MFS_CTL_CHANGED, const_cast<int32_t*>(&other)), 0);
    mfs_chain_close(chain.get());
  }
}

TEST_F(FormatTest, MissingMemberShowsAtTheFirstAccess) {
  const std::string missing = dir_ + "/missing";
  for (const char* list : {"", "flat", "iflat", "double", "half", "double|half"}) {
    SCOPED_TRACE(list);
    Chain chain(list);
    MfsStream* s = chain.get();
    ASSERT_EQ(mfs_chain_open(s, missing.c_str()), 0);  // opening succeeds
    EXPECT_EQ(s->seek(s, 0), -1);
    EXPECT_EQ(s->get_status(s), MFS_STATUS_NO_FILE);
    EXPECT_EQ(mfstest::ReadSome(s, 10), "");
    EXPECT_EQ(s->get_status(s), MFS_STATUS_NO_FILE);
    mfs_chain_close(s);
  }
}

TEST_F(FormatTest, ReadErrorIsAFailureNotTheEnd) {
  // A directory opens read-only but cannot be read.
  Chain chain("flat");
  ASSERT_EQ(mfs_chain_open(chain.get(), dir_.c_str()), 0);
  EXPECT_EQ(mfstest::ReadSome(chain.get(), 10), "");
  EXPECT_EQ(chain->get_status(chain.get()), MFS_STATUS_FAILED);
  mfs_chain_close(chain.get());
}

TEST_F(FormatTest, FormatsWithoutParentReadTheFile) {
  const std::string ab = Member("ab", "AB");
  const std::string x = Member("x", "x0y0z");
  const std::string big = Member("big", mfstest::MemberBytes(10000));
  struct Case {
    MfsStream* (*make)(MfsStream*);
    const std::string* file;
    std::string want;
  };
  const Case cases[] = {
      {mfsio_new, &big, mfstest::MemberBytes(10000)},
      {mfsio_flat_new, &big, mfstest::MemberBytes(10000)},
      {mfsio_double_new, &ab, "AABB"},
      {mfsio_half_new, &x, "xy"},  // an odd last byte is dropped
  };
  for (const Case& c : cases) {
    MfsStream* s = c.make(nullptr);
    SCOPED_TRACE(s->name);
    ASSERT_EQ(s->open(s, c.file->c_str()), 0);
    const std::string& want = c.want;
    EXPECT_EQ(mfstest::ReadAll(s, 3000), want);
    ASSERT_EQ(s->seek(s, 1), 0);
    EXPECT_EQ(mfstest::ReadAll(s), want.substr(1));
    s->close(s);
    s->destroy(s);
  }
  // Spans without a parent: "double" has none to double.
  MfsStream* d = mfsio_double_new(nullptr);
  EXPECT_EQ(d->span(d, 0, 3, 3), 0);
  d->destroy(d);
}

TEST_F(FormatTest, MfsioFillsOncePerRead) {
  const std::string path = Member("m", mfstest::MemberBytes(10000));
  MfsStream* s = mfsio_new(nullptr);
  ASSERT_EQ(s->open(s, path.c_str()), 0);
  std::vector<int32_t> fills;
  while (s->fill(s, 0) != -1) {
    fills.push_back(s->count);
    s->position = s->count;
  }
  EXPECT_EQ(fills, (std::vector<int32_t>{4096, 4096, 1808}));
  EXPECT_EQ(s->count, 0);
  s->close(s);
  s->destroy(s);
}

TEST_F(FormatTest, DoubleOddSeekGivesTheSecondCopyFirst) {
  const std::string path = Member("m", "ABCDEF");
  Chain chain("double");
  MfsStream* s = chain.get();
  ASSERT_EQ(mfs_chain_open(s, path.c_str()), 0);
  ASSERT_EQ(s->seek(s, 3), 0);  // source byte 1, second copy
  EXPECT_EQ(s->getc(s), 'B');
  EXPECT_EQ(s->getc(s), 'C');
  EXPECT_EQ(s->getc(s), 'C');
  ASSERT_EQ(s->seek(s, 11), 0);
  EXPECT_EQ(s->getc(s), 'F');
  EXPECT_EQ(s->getc(s), -1);
  ASSERT_EQ(s->seek(s, 13), 0);  // beyond the end
  EXPECT_EQ(s->getc(s), -1);
  EXPECT_EQ(s->peek(s), -1);
  mfs_chain_close(s);
}

TEST_F(FormatTest, LongMemberNamesAreKeptWhole) {
  std::string dir = dir_;
  for (int i = 0; i < 6; ++i) {
    dir += "/" + std::string(60, static_cast<char>('a' + i));
    std::filesystem::create_directory(dir);
  }
  const std::string path = dir + "/" + std::string(100, 'z');
  ASSERT_GT(path.size(), 400u);
  mfstest::WriteFile(path, "long name");
  for (const char* list : {"", "sys(tr a-z A-Z)"}) {
    Chain chain(list);
    ASSERT_EQ(mfs_chain_open(chain.get(), path.c_str()), 0);
    EXPECT_EQ(mfstest::ReadAll(chain.get()), std::string(list).empty() ? "long name" : "LONG NAME");
    mfs_chain_close(chain.get());
  }
}

}  // namespace
