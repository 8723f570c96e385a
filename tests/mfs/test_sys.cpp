// The "sys" format and the shell runner: commands and their arguments,
// failures of the command, of the input and of the temporary files, and
// that no temporary file outlives the stream or the process.
#include <sys/wait.h>

#include <cstring>
#include <string>
#include <vector>

#include "mfs_support.h"
#include "msg/msg.h"

namespace {

using mfstest::Chain;
using mfstest::MfsTest;

using SysTest = MfsTest;

TEST(SysSplit, SplitsAtCommasAndKeepsQuotedCommas) {
  struct Case {
    const char* text;
    std::vector<std::string> fields;
  };
  const Case cases[] = {
      {"tr a-z A-Z", {"tr a-z A-Z"}},
      {"a,b", {"a", "b"}},
      {",,a,,b,", {"a", "b"}},
      {"\"tr a,b x,y\",z", {"tr a,b x,y", "z"}},
      {"\"\",x", {"", "x"}},
      {"\"open ended, still one", {"open ended, still one"}},
      {"ab\"c,d\"ef,g", {"abc,d", "g"}},
      {"", {}},
      {",", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::vector<char> text(c.text, c.text + std::strlen(c.text) + 1);
    std::vector<char*> fields;
    EXPECT_EQ(sys_split(text.data(), ",", "\"", "", fields), static_cast<int>(c.fields.size()));
    std::vector<std::string> got(fields.begin(), fields.end());
    EXPECT_EQ(got, c.fields);
  }
}

TEST_F(SysTest, ShellRunnerGivesTheWaitStatusAndSendsBothOutputsToTheFile) {
  EXPECT_EQ(run_shell(nullptr, "/dev/null"), 1);
  int status = run_shell("exit 3", "/dev/null");
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 3);
  const std::string out = dir_ + "/out";
  EXPECT_EQ(run_shell("echo one; echo two >&2", out.c_str()), 0);
  EXPECT_EQ(mfstest::ReadFile(out), "one\ntwo\n");
  status = run_shell("no-such-command-here", "/dev/null");
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 127);
}

TEST_F(SysTest, ArgumentFieldsQuotesAndPipes) {
  const std::string path = Member("m", "abc, xyz\n");
  struct Case {
    const char* list;
    const char* want;
  };
  const Case cases[] = {
      {"sys(tr a-z A-Z)", "ABC, XYZ\n"},
      {"sys(tr a-z A-Z,echo not run)", "ABC, XYZ\n"},  // only the first field
      {"sys(\"tr , :\",ignored)", "abc: xyz\n"},       // quoted comma
      {"sys(\"tr a b|tr b c\")", "ccc, xyz\n"},        // quoted '|' in the list
      {"sys(sed 's/ xyz/ X Y Z/')", "abc, X Y Z\n"},   // quotes of the shell
      {"sys(cat; echo end)", "abc, xyz\nend\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list);
    Chain chain(c.list);
    ASSERT_EQ(mfs_chain_open(chain.get(), path.c_str()), 0);
    EXPECT_EQ(mfstest::ReadAll(chain.get()), c.want);
    EXPECT_EQ(chain->get_status(chain.get()), MFS_STATUS_OK);
    // Any span is the size of the output.
    EXPECT_EQ(chain->span(chain.get(), 3, 1, 9), static_cast<off_t>(std::strlen(c.want)));
    mfs_chain_close(chain.get());
  }
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(SysTest, OutputFileLivesWhileTheMemberIsOpen) {
  const std::string path = Member("m", mfstest::MemberBytes(5000));
  Chain chain("sys");
  ASSERT_EQ(mfs_chain_open(chain.get(), path.c_str()), 0);
  EXPECT_TRUE(TempFiles().empty());  // nothing runs before the first read
  ASSERT_NE(chain->getc(chain.get()), -1);
  const std::vector<std::string> during = TempFiles();
  ASSERT_EQ(during.size(), 1u);  // the output; the input file is gone
  EXPECT_EQ(during[0].rfind("tmp", 0), 0u);
  EXPECT_EQ(during[0].size(), 9u);
  // Opening the stream again starts afresh and leaves no old output behind.
  ASSERT_EQ(mfs_chain_open(chain.get(), path.c_str()), 0);
  EXPECT_EQ(mfstest::ReadAll(chain.get()), mfstest::MemberBytes(5000));
  EXPECT_EQ(TempFiles().size(), 1u);
  mfs_chain_close(chain.get());
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(SysTest, FailuresOfTheMemberAreReportedByStatusNeverAsAnEmptyMember) {
  const std::string path = Member("m", mfstest::MemberBytes(10000));
  const std::string missing = dir_ + "/missing";
  struct Case {
    const char* list;
    const std::string* file;
    const char* tmpdir;  // null: the fixture's
    int32_t status;
  };
  const std::string nowhere = dir_ + "/no/such/dir";
  const Case cases[] = {
      {"sys(exit 3)", &path, nullptr, MFS_STATUS_FAILED},
      {"sys(false)", &path, nullptr, MFS_STATUS_FAILED},
      {"sys(cat; exit 1)", &path, nullptr, MFS_STATUS_FAILED},
      {"sys(no-such-command-here)", &path, nullptr, MFS_STATUS_FAILED},
      {"sys(,)", &path, nullptr, MFS_STATUS_FAILED},  // no command at all
      {"sys", &path, nowhere.c_str(), MFS_STATUS_FAILED},
      {"sys", &missing, nullptr, MFS_STATUS_NO_FILE},
      {"double|sys(cat)", &missing, nullptr, MFS_STATUS_NO_FILE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.list) + " over " + *c.file);
    if (c.tmpdir) setenv("TMPDIR", c.tmpdir, 1);
    Chain chain(c.list);
    MfsStream* s = chain.get();
    ASSERT_EQ(mfs_chain_open(s, c.file->c_str()), 0);
    EXPECT_EQ(s->seek(s, 0), -1);
    EXPECT_EQ(s->get_status(s), c.status);
    // A later read fails the same way; the input is not taken as empty.
    EXPECT_EQ(mfstest::ReadSome(s, 100), "");
    EXPECT_EQ(s->get_status(s), c.status);
    EXPECT_EQ(s->span(s, 0, 10, 10), -1);
    EXPECT_EQ(s->get_status(s), c.status);
    mfs_chain_close(s);
    setenv("TMPDIR", tmp_.c_str(), 1);
    EXPECT_TRUE(TempFiles().empty());
  }
}

TEST_F(SysTest, TemporaryDirectoryDefaultsToTmp) {
  const std::string path = Member("m", "hello\n");
  for (bool empty : {false, true}) {
    if (empty) {
      setenv("TMPDIR", "", 1);
    } else {
      unsetenv("TMPDIR");
    }
    Chain chain("sys(tr a-z A-Z)");
    ASSERT_EQ(mfs_chain_open(chain.get(), path.c_str()), 0);
    EXPECT_EQ(mfstest::ReadAll(chain.get()), "HELLO\n");
    mfs_chain_close(chain.get());
  }
}

TEST_F(SysTest, WithoutParentReadsTheMemberFile) {
  const std::string path = Member("m", "abc");
  MfsStream* s = mfsio_sys_new(nullptr);
  mfs_stream_set_argument(s, "tr a-z A-Z");
  ASSERT_EQ(s->open(s, path.c_str()), 0);
  EXPECT_EQ(mfstest::ReadAll(s), "ABC");
  int32_t size = 0;
  EXPECT_EQ(s->ctl(s, MFS_CTL_RECORD_SIZE, &size), 0);
  EXPECT_EQ(size, 8);
  EXPECT_EQ(s->ctl(s, MFS_CTL_RESERVED, nullptr), -1);
  s->close(s);
  ASSERT_EQ(s->open(s, (dir_ + "/missing").c_str()), 0);
  EXPECT_EQ(s->seek(s, 0), -1);
  EXPECT_EQ(s->get_status(s), MFS_STATUS_NO_FILE);
  s->close(s);
  s->destroy(s);
  EXPECT_TRUE(TempFiles().empty());
}

// The process ends while a member is open through "sys": its output file
// is removed at exit all the same.
TEST_F(SysTest, NoTemporaryFileOutlivesTheProcess) {
  const std::string path = Member("m", mfstest::MemberBytes(100));
  EXPECT_EXIT(
      {
        Chain chain("sys");
        mfs_chain_open(chain.get(), path.c_str());
        chain->getc(chain.get());
        if (mfstest::ListDir(tmp_).size() != 1) vqio_exit(9);
        vqio_exit(3);
      },
      ::testing::ExitedWithCode(3), "");
  EXPECT_TRUE(TempFiles().empty());
  EXPECT_EXIT(
      {
        Chain chain("sys");
        mfs_chain_open(chain.get(), path.c_str());
        chain->getc(chain.get());
        Chain bad("sys|gzip");
      },
      ::testing::ExitedWithCode(255), "FATAL: Cannot find filter named 'gzip'");
  EXPECT_TRUE(TempFiles().empty());
}

}  // namespace
