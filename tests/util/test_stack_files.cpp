// TedStack limits, StrDup, file size and time, byte-order reversal.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <utime.h>

#include <gtest/gtest.h>

#include "msg/msg.h"
#include "support/recorded_reports.h"
#include "util/util.h"

namespace {

class Recorded : public ::testing::Test {
 protected:
  void SetUp() override {
    static char name[] = "test_util";
    static char* argv[] = {name, nullptr};
    vqio_start(1, argv, nullptr);
  }
  ReportRecorder recorder;
  const std::vector<RecordedReport>& reports = recorder.reports();
};

TEST_F(Recorded, StackPushPopTopInOrder) {
  TedStack* s = tedstcr();
  EXPECT_EQ(s->count, 0);
  EXPECT_EQ(tedsttp(s), -1);
  tedstps(s, 5);
  tedstps(s, -7);
  EXPECT_EQ(tedsttp(s), -7);
  EXPECT_EQ(tedstpo(s), -7);
  EXPECT_EQ(tedstpo(s), 5);
  EXPECT_EQ(tedsttp(s), -1);
  EXPECT_TRUE(reports.empty());
  tedstfr(s);
}

TEST_F(Recorded, FullStackRefusesThePushAndEmptyStackThePop) {
  TedStack* s = tedstcr();
  for (int i = 0; i < 4096; ++i) tedstps(s, i);
  EXPECT_TRUE(reports.empty());
  tedstps(s, 99999);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].severity, 15);
  EXPECT_EQ(reports[0].text, "tedstps: Stacksize exceeded");
  EXPECT_EQ(s->count, 4096);
  EXPECT_EQ(tedsttp(s), 4095);

  s->count = 0;
  EXPECT_EQ(tedstpo(s), -1);
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[1].severity, 15);
  EXPECT_EQ(reports[1].text, "tedstpo:  Someone's trying to pop an empty stack");
  EXPECT_EQ(s->count, 0);
  tedstfr(s);
}

TEST(StackDefaultHandler, OverflowEndsTheProgramWithSeverity15) {
  static char name[] = "test_util";
  static char* argv[] = {name, nullptr};
  vqio_start(1, argv, nullptr);
  set_error_handler(nullptr);
  TedStack* s = tedstcr();
  for (int i = 0; i < 4096; ++i) tedstps(s, i);
  EXPECT_EXIT(tedstps(s, 1), ::testing::ExitedWithCode(15),
              ::testing::Eq("tedstps: Stacksize exceeded\n"));
  tedstfr(s);
}

TEST_F(Recorded, StrDupCopiesAndNullGivesNull) {
  EXPECT_EQ(StrDup(nullptr), nullptr);
  const char* src = "region name";
  char* copy = StrDup(src);
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, src);
  EXPECT_STREQ(copy, src);
  free_if(copy);
  free_if(nullptr);
  EXPECT_TRUE(reports.empty());
}

TEST_F(Recorded, FileSizeAndTimeComeFromStat) {
  char path[] = "/tmp/vq_util_fileXXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "0123456789", 10), 10);
  close(fd);
  struct utimbuf times = {1000000000, 1234567890};
  ASSERT_EQ(utime(path, &times), 0);
  EXPECT_EQ(file_size(path), 10);
  EXPECT_EQ(file_mtime(path), 1234567890);
  unlink(path);
  EXPECT_EQ(file_size(path), -1);
  EXPECT_EQ(file_mtime(path), -1);
}

TEST(SwapWords, ReversesEachWordInPlaceAtAnyAlignment) {
  unsigned char buf[10] = {0xEE, 1, 2, 3, 4, 5, 6, 7, 8, 0xEE};
  swap_words(buf + 1, 2);
  const unsigned char want[10] = {0xEE, 4, 3, 2, 1, 8, 7, 6, 5, 0xEE};
  EXPECT_EQ(memcmp(buf, want, sizeof buf), 0);
  swap_words(buf + 1, 0);
  EXPECT_EQ(memcmp(buf, want, sizeof buf), 0);
  uint32_t w = 0x11223344u;
  swap_words(&w, 1);
  EXPECT_EQ(w, 0x44332211u);
}

}  // namespace
