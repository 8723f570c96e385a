// The ini-file reader: values by section and key, section ends, listing a
// section's keys, the search along LD_LIBRARY_PATH, and the bounds of out.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "test_mixed_support.h"

namespace {

using iotest::TempDir;
using iotest::WriteFile;

class IniFile : private iotest::SaneTmpdir, public ::testing::Test {
 protected:
  void SetUp() override {
    const char* v = std::getenv("LD_LIBRARY_PATH");
    had_ = v != nullptr;
    if (v) saved_ = v;
    setenv("LD_LIBRARY_PATH", dir_.path().c_str(), 1);
  }
  void TearDown() override {
    if (had_)
      setenv("LD_LIBRARY_PATH", saved_.c_str(), 1);
    else
      unsetenv("LD_LIBRARY_PATH");
  }
  // The value of key as the reader gives it: "<result>:<out>".
  std::string Get(const char* section, const char* key, int size = 64,
                  const char* file = "test.ini") {
    std::string out(static_cast<size_t>(size > 0 ? size : 1), '#');
    int r = vq_profile_get_string(section, key, "dflt", out.data(), size, file);
    return std::to_string(r) + ":" + out.c_str();
  }
  TempDir dir_;
  std::string saved_;
  bool had_ = false;
};

TEST_F(IniFile, ValuesBySectionAndKey) {
  WriteFile(dir_.file("test.ini"),
            "[Other]\n"
            "lib=/wrong/path\n"
            "\n"
            "[SuperFiles]\n"
            "lib=/data/lib.sf\n"
            "library=/data/library.sf\n"
            "spaced = no\n"
            "crlf=/data/crlf.sf\r\n"
            "\n"
            "late=/after/the/blank\n"
            "[Next]\n"
            "next=/next\n"
            "[Last]\n"
            "tail=/no/newline");
  struct Case {
    const char* section;
    const char* key;
    const char* want;
  } cases[] = {
      {"SuperFiles", "lib", "12:/data/lib.sf"},
      {"SuperFiles", "library", "16:/data/library.sf"},
      {"Other", "lib", "11:/wrong/path"},
      {"SuperFiles", "spaced", "-1:dflt"},  // no blanks around "="
      {"SuperFiles", "crlf", "13:/data/crlf.sf"},
      {"SuperFiles", "late", "-1:dflt"},  // after the blank line ending the section
      {"SuperFiles", "next", "-1:dflt"},  // only in another section
      {"Other", "library", "-1:dflt"},
      {"Next", "next", "5:/next"},
      {"Next", "tail", "-1:dflt"},  // a header line ends the section too
      {"Last", "tail", "11:/no/newline"},  // last line without a newline keeps its end
      {"superfiles", "lib", "-1:dflt"},
      {"Missing", "lib", "-1:dflt"},
      {"SuperFiles", "li", "-1:dflt"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.section) + "/" + c.key);
    EXPECT_EQ(Get(c.section, c.key), c.want);
  }
  // A value must fit with its NUL; the default is cut to fit.
  EXPECT_EQ(Get("SuperFiles", "lib", 13), "12:/data/lib.sf");
  EXPECT_EQ(Get("SuperFiles", "lib", 12), "-1:dflt");
  EXPECT_EQ(Get("SuperFiles", "lib", 3), "-1:df");
  EXPECT_EQ(Get("SuperFiles", "lib", 64, "none.ini"), "-1:dflt");
}

TEST_F(IniFile, ListingASectionGivesItsKeyNames) {
  WriteFile(dir_.file("test.ini"), "[S]\nalpha=1\nlone line\nbeta=2=3\n\ngamma=4\n");
  char out[64];
  std::memset(out, '#', sizeof out);
  int r = vq_profile_get_string("S", nullptr, "", out, sizeof out, "test.ini");
  EXPECT_EQ(r, 21);
  EXPECT_EQ(std::string(out, 21), std::string("alpha\0lone line\0beta\0", 21));
  // Names that do not fit whole are left out.
  std::memset(out, '#', sizeof out);
  r = vq_profile_get_string("S", nullptr, "", out, 12, "test.ini");
  EXPECT_EQ(r, 6);
  EXPECT_EQ(std::string(out, 6), std::string("alpha\0", 6));
  EXPECT_EQ(vq_profile_get_string("T", nullptr, "d", out, 12, "test.ini"), -1);
}

TEST_F(IniFile, FilesAreFoundAlongTheLibraryPath) {
  iotest::SaneTmpdir sane;
  TempDir second;
  WriteFile(second.file("found.ini"), "[S]\nk=second\n");
  const std::string path = "::" + dir_.path() + "/none::" + second.path() + ":";
  setenv("LD_LIBRARY_PATH", path.c_str(), 1);
  EXPECT_EQ(Get("S", "k", 64, "found.ini"), "6:second");
  WriteFile(dir_.file("found.ini"), "[S]\nk=first\n");
  setenv("LD_LIBRARY_PATH", (dir_.path() + "::" + second.path()).c_str(), 1);
  EXPECT_EQ(Get("S", "k", 64, "found.ini"), "5:first");

  char name[64] = "found.ini";
  EXPECT_EQ(profile_find_file(name, sizeof name, "LD_LIBRARY_PATH"), 0);
  EXPECT_EQ(std::string(name), dir_.file("found.ini"));
  char small[8] = "f.ini";
  EXPECT_EQ(profile_find_file(small, sizeof small, "LD_LIBRARY_PATH"), -1);  // too long
  EXPECT_STREQ(small, "f.ini");
  unsetenv("VQ_NO_SUCH_VARIABLE");
  EXPECT_EQ(profile_find_file(name, sizeof name, "VQ_NO_SUCH_VARIABLE"), -1);
  setenv("LD_LIBRARY_PATH", "", 1);
  char again[64] = "found.ini";
  EXPECT_EQ(profile_find_file(again, sizeof again, "LD_LIBRARY_PATH"), -1);

  // Not found along the path: the plain name in the current directory.
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(second.path().c_str()), 0);
  EXPECT_EQ(Get("S", "k", 64, "found.ini"), "6:second");
  ASSERT_EQ(chdir(cwd), 0);
}

}  // namespace
