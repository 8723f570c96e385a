// print_message: the number stripped, "[system text]" for severity 16, a
// newline, and the end of the program from severity 3 on.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "catalogue_fixture.h"
#include "support/stderr_capture.h"

namespace {

using PrintTest = CatalogueTest;

TEST_F(PrintTest, StripsTheLeadingNumberOnly) {
  struct Case {
    const char* format;
    const char* printed;
  };
  const Case cases[] = {
      {"40000: %s: Bad args.", "madiopa: Bad args.\n"},
      {"1234567890: %s", "madiopa\n"},           // ten digits: stripped
      {"12345678901: %s", "12345678901: madiopa\n"},  // eleven: kept
      {": %s", "madiopa\n"},                     // empty run
      {"12:%s", "12:madiopa\n"},
      {"12 : %s", "12 : madiopa\n"},
      {"x1: %s", "x1: madiopa\n"},
      {"%s", "madiopa\n"},
  };
  for (const Case& c : cases) {
    std::string out = stderr_of(dir_, [&] { EXPECT_EQ(print_message(2, c.format, "madiopa"), 0); });
    EXPECT_EQ(out, c.printed) << c.format;
  }
  std::string out = stderr_of(dir_, [] { print_message(1, GetMsgNumText(3)); });
  EXPECT_EQ(out, "Invalid value for Mode, (1,2,3).\n");
  out = stderr_of(dir_, [] { print_message(0, GetMsgNumText(60047), 512, "data.idx"); });
  EXPECT_EQ(out, "Can't seek to 512 in file data.idx.\n");
}

TEST_F(PrintTest, FatalSeveritiesEndWithStatusOne) {
  EXPECT_EXIT(print_message(3, GetMsgNumText(3)), ::testing::ExitedWithCode(1),
              "^Invalid value for Mode, \\(1,2,3\\)\\.\n$");
  EXPECT_EXIT(print_message(9, GetMsgNumText(40000), "addgifi"), ::testing::ExitedWithCode(1),
              "^addgifi: Bad args\\.\n$");
  // Taken unsigned: a negative severity is fatal too.
  EXPECT_EXIT(print_message(-1, "x"), ::testing::ExitedWithCode(1), "^x\n$");
}

TEST_F(PrintTest, SeveritySixteenShowsTheFailingCallsError) {
  // The message file lookups inside GetMsgNumText fail with ENOENT; the
  // report still shows the error the caller had.
  EXPECT_EXIT(
      {
        errno = EACCES;
        print_message(16, GetMsgNumText(60006), "locked.idx");
      },
      ::testing::ExitedWithCode(1), "^Unable to open file: locked\\.idx\\.\\[Permission denied\\]\n$");
  EXPECT_EXIT(
      {
        errno = ENOENT;
        print_message(16, GetMsgNumText(60006), "gone.idx");
      },
      ::testing::ExitedWithCode(1),
      "^Unable to open file: gone\\.idx\\.\\[No such file or directory\\]\n$");
  // Numbers from 126 on print no system text.
  EXPECT_EXIT(
      {
        errno = 130;
        print_message(16, "%s", "late");
      },
      ::testing::ExitedWithCode(1), "^late\n$");
}

TEST_F(PrintTest, DefaultHandlerKeepsTheNumber) {
  EXPECT_EXIT(default_error_handler(3, GetMsgNumText(3)), ::testing::ExitedWithCode(3),
              "^3: Invalid value for Mode, \\(1,2,3\\)\\.\n$");
}

TEST_F(PrintTest, AFileTextCannotMakeThePrinterReadMissingArguments) {
  // Message 60006 takes one string; a file text asking for more is refused
  // and the compiled-in text prints.
  write_file("velquin.msg", "<VQMessages><VQMessage><VQCode>60006</VQCode>"
                            "<VQText>%s %s %s %n</VQText></VQMessage></VQMessages>");
  std::string out = stderr_of(dir_, [] { print_message(2, GetMsgNumText(60006), "a.idx"); });
  EXPECT_EQ(out, "Unable to open file: a.idx.\n");
}

}  // namespace
