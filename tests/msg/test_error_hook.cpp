// The error-handler hook: default handler output and exit statuses,
// fatal_exit, assertion and allocation reports.
#include <cerrno>
#include <climits>
#include <string>

#include <gtest/gtest.h>

#include "msg/msg.h"
#include "support/recorded_reports.h"

namespace {

using ::testing::Eq;
using ::testing::ExitedWithCode;

void start_layer() {
  static char name[] = "test_msg";
  static char* argv[] = {name, nullptr};
  vqio_start(1, argv, nullptr);
}

class ErrorHook : public ::testing::Test {
 protected:
  void SetUp() override {
    start_layer();
    set_error_handler(nullptr);
  }
  void TearDown() override { set_error_handler(nullptr); }
};

TEST_F(ErrorHook, DefaultHandlerIsInstalledAndNullRestoresIt) {
  EXPECT_EQ(current_error_handler(), &default_error_handler);
  {
    ReportRecorder recorder;
    EXPECT_EQ(current_error_handler(), &record_report);
    vq_report(11, "%s: bad value %d", "addgiti", 7);
    ASSERT_EQ(recorder.reports().size(), 1u);
    EXPECT_EQ(recorder.reports()[0].severity, 11);
    EXPECT_EQ(recorder.reports()[0].text, "addgiti: bad value 7");
  }
  EXPECT_EQ(current_error_handler(), &default_error_handler);
}

TEST_F(ErrorHook, SeveritiesZeroToTwoReturnAfterPrintingTheLine) {
  for (int severity : {0, 1, 2}) {
    ::testing::internal::CaptureStderr();
    errno = ENOENT;
    const int r = default_error_handler(severity, "note %d of %s", severity, "x");
    const std::string out = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(r, 0);
    EXPECT_EQ(out, "note " + std::to_string(severity) + " of x\n");
  }
}

TEST_F(ErrorHook, FatalSeverityExitsWithTheSeverity) {
  EXPECT_EXIT(default_error_handler(3, "stop %s", "here"), ExitedWithCode(3), Eq("stop here\n"));
  EXPECT_EXIT(vq_report(13, "%s", "tree"), ExitedWithCode(13), Eq("tree\n"));
}

TEST_F(ErrorHook, Severity16AppendsTheSystemErrorText) {
  EXPECT_EXIT(
      {
        errno = 2;
        default_error_handler(16, "cannot open %s", "a.dd");
      },
      ExitedWithCode(16), Eq("cannot open a.dd[No such file or directory]\n"));
  // An errno the C library has no text for gives the plain newline.
  EXPECT_EXIT(
      {
        errno = 9999;
        default_error_handler(16, "x");
      },
      ExitedWithCode(16), Eq("x\n"));
  // Other severities never show the system text.
  EXPECT_EXIT(
      {
        errno = 2;
        default_error_handler(15, "y");
      },
      ExitedWithCode(15), Eq("y\n"));
}

TEST_F(ErrorHook, ErrorPrintfAddsNoNewline) {
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(error_printf("%s=%ld", "n", 123456789012L), 14);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "n=123456789012");
}

TEST_F(ErrorHook, FatalExitPrintsFatalAndEndsWith255) {
  EXPECT_EXIT(fatal_exit("Cannot find filter named '%s'\n", "zz"), ExitedWithCode(255),
              Eq("FATAL: Cannot find filter named 'zz'\n"));
  // A format far longer than any fixed buffer is printed whole.
  const std::string long_text(5000, 'x');
  EXPECT_EXIT(fatal_exit("%s|%s", long_text.c_str(), "end"), ExitedWithCode(255),
              Eq("FATAL: " + long_text + "|end"));
  const std::string long_format = long_text + "%d";
  EXPECT_EXIT(fatal_exit(long_format.c_str(), 42), ExitedWithCode(255),
              Eq("FATAL: " + long_text + "42"));
}

TEST_F(ErrorHook, AssertReportsFileAndLineThenSeverity15) {
  EXPECT_EXIT(vq_assert_failed("entmgr.c", 212), ExitedWithCode(15), Eq("entmgr.c(212): assert\n"));
  EXPECT_EXIT(VQ_ASSERT(1 + 1 == 3), ExitedWithCode(15), "\\): assert\n$");
  VQ_ASSERT(1 + 1 == 2);  // a true condition reports nothing
}

TEST_F(ErrorHook, AllocationReportsCarryRealSizes) {
  // The report text ends in a newline and the default handler adds one.
  EXPECT_EXIT(vq_alloc_failed(16388, 1, 16388, 39, "Init.c"), ExitedWithCode(14),
              Eq("Memory allocation failed attempting to allocate 16388 bytes (1 chunks of size "
                 "16388) at line 39 of file Init.c.\n\n"));
  EXPECT_EXIT(vq_realloc_failed(6000000000L, 3000000000L, 2, 7, "Parse.c"), ExitedWithCode(14),
              Eq("Memory reallocation failed trying to reallocate 6000000000 bytes (3000000000 "
                 "chunks of size 2) at line 7 of file Parse.c.\n\n"));
  EXPECT_EXIT(vq_malloc(0, 5, 10, "MakeNode.c"), ExitedWithCode(14),
              Eq("An attempt to allocate 0 bytes (0 chunks of size 5) (which is <= 0) was made at "
                 "line 10 of file MakeNode.c.\n\n"));
  EXPECT_EXIT(vq_calloc(-2, -3, 11, "MakeNode.c"), ExitedWithCode(14),
              Eq("An attempt to allocate 6 bytes (-2 chunks of size -3) (which is <= 0) was made at "
                 "line 11 of file MakeNode.c.\n\n"));
  EXPECT_EXIT(vq_realloc(nullptr, -1, 8, 3, "FileInfo.c"), ExitedWithCode(14),
              Eq("An attempt to reallocate -8 bytes (-1 chunks of size 8) (which is <= 0 bytes) was "
                 "made at line 3 of file FileInfo.c.\n\n"));
  // A product that does not fit in a long is refused, not wrapped.
  EXPECT_EXIT(vq_malloc(LONG_MAX / 2, 4, 12, "CreatHdr.c"), ExitedWithCode(14),
              "^Memory allocation failed attempting to allocate 9223372036854775807 bytes "
              "\\(4611686018427387903 chunks of size 4\\) at line 12 of file CreatHdr\\.c\\.\n");
}

TEST_F(ErrorHook, CheckedAllocationSucceeds) {
  char* p = static_cast<char*>(vq_malloc(4, 8, 1, "t.c"));
  p[31] = 1;
  int* z = static_cast<int*>(vq_calloc(5, sizeof(int), 2, "t.c"));
  EXPECT_EQ(z[4], 0);
  p = static_cast<char*>(vq_realloc(p, 10, 8, 3, "t.c"));
  EXPECT_EQ(p[31], 1);
  free(p);
  free(z);
}

}  // namespace
