// Backward integer streams: values written from a range's end towards its
// start and read back the same way, buffer boundaries, the lower bound,
// modes, update streams and closed streams.
#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include "region/fixture.h"
#include "region/region.h"

using namespace region_test;

namespace {

class Revio : public Scratch {
 protected:
  int open_file(const std::string& bytes) {
    write_file(path("f"), bytes);
    fd_ = vqio_open(path("f").c_str(), O_RDWR);
    EXPECT_GE(fd_, 0);
    return fd_;
  }
  void TearDown() override {
    if (fd_ >= 0) vqio_close(fd_);
    Scratch::TearDown();
  }
  std::string contents() { return read_file(path("f")); }
  int fd_ = -1;
};

TEST_F(Revio, WritesEndAtTheUpperBoundAndReadBackInWritingOrder) {
  const int fd = open_file("");
  RevioStream* w = revio_open("f", "w", fd, 0, 11);
  ASSERT_NE(w, nullptr);
  for (int32_t v : {1, 2, 3}) EXPECT_EQ(revio_put_int(v, w), 0);
  EXPECT_EQ(revio_flush(w), 0);
  EXPECT_EQ(w->position, 0);
  EXPECT_EQ(revio_close(w), 0);
  EXPECT_EQ(contents(), word(3) + word(2) + word(1));

  RevioStream* r = revio_open("f", "r", fd, 0, 11);
  for (int32_t v : {1, 2, 3}) {
    EXPECT_EQ(revio_get_int(r), v);
    EXPECT_FALSE(r->flags & REVIO_EOF) << v;  // not set by the lowest value
  }
  EXPECT_EQ(revio_get_int(r), -1);
  EXPECT_TRUE(r->flags & REVIO_EOF);
  EXPECT_EQ(revio_close(r), 0);
}

TEST_F(Revio, ManyBuffersInsideALargerFile) {
  const std::string outside(100, '\x5A');
  const int fd = open_file(outside + std::string(2800, '\0') + outside);
  const int n = 700;  // 2800 bytes: two full buffers and part of a third
  RevioStream* w = revio_open("f", "wb", fd, 100, 100 + 4 * n - 1);
  for (int32_t v = 0; v < n; ++v) ASSERT_EQ(revio_put_int(v, w), 0);
  EXPECT_EQ(revio_close(w), 0);
  std::string expected = outside;
  for (int32_t v = n - 1; v >= 0; --v) expected += word(static_cast<uint32_t>(v));
  EXPECT_EQ(contents(), expected + outside);

  RevioStream* r = revio_open("f", "r", fd, 100, 100 + 4 * n - 1);
  for (int32_t v = 0; v < n; ++v) ASSERT_EQ(revio_get_int(r), v);
  EXPECT_EQ(revio_get_int(r), -1);
  EXPECT_TRUE(r->flags & REVIO_EOF);
  revio_close(r);
}

TEST_F(Revio, WritesStopAtTheLowerBound) {
  const int fd = open_file(std::string(24, '\xAB'));
  // Room for three values in [8, 19]; the region below and above stays.
  RevioStream* w = revio_open("f", "w", fd, 8, 19);
  for (int32_t v : {1, 2, 3}) EXPECT_EQ(revio_put_int(v, w), 0);
  EXPECT_EQ(revio_put_int(4, w), -1);
  EXPECT_TRUE(w->flags & REVIO_ERR);
  EXPECT_EQ(revio_put_int(5, w), -1);
  EXPECT_EQ(revio_close(w), 0);
  EXPECT_EQ(contents(), std::string(8, '\xAB') + word(3) + word(2) + word(1) + std::string(4, '\xAB'));
}

TEST_F(Revio, AStoredMinusOneIsNotTheEnd) {
  const int fd = open_file(word(7) + word(0xFFFFFFFFu));
  RevioStream* r = revio_open("f", "r", fd, 0, 7);
  EXPECT_EQ(revio_get_int(r), -1);
  EXPECT_FALSE(r->flags & (REVIO_EOF | REVIO_ERR));
  EXPECT_EQ(revio_get_int(r), 7);
  EXPECT_EQ(revio_get_int(r), -1);
  EXPECT_TRUE(r->flags & REVIO_EOF);
  revio_close(r);
}

TEST_F(Revio, APartialValueAtTheBottomIsNotRead) {
  const int fd = open_file("\x01\x02" + word(9));
  RevioStream* r = revio_open("f", "r", fd, 0, 5);
  EXPECT_EQ(revio_get_int(r), 9);
  EXPECT_EQ(revio_get_int(r), -1);
  EXPECT_TRUE(r->flags & REVIO_EOF);
  revio_close(r);
}

TEST_F(Revio, SwappedValuesAreStoredInTheOtherOrder) {
  const int fd = open_file(std::string(4, '\0'));
  RevioStream* w = revio_open("f", "w", fd, 0, 3);
  w->swapped = 1;
  revio_put_int(0x01020304, w);
  revio_close(w);
  EXPECT_EQ(contents(), std::string("\x01\x02\x03\x04", 4));
  RevioStream* r = revio_open("f", "r", fd, 0, 3);
  r->swapped = 1;
  EXPECT_EQ(revio_get_int(r), 0x01020304);
  revio_close(r);
}

TEST_F(Revio, AnUpdateStreamCarriesItsPlaceAcrossDirections) {
  const int fd = open_file(word(10) + word(20) + word(30) + word(40));
  RevioStream* s = revio_open("f", "r+b", fd, 0, 15);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(revio_get_int(s), 40);
  EXPECT_EQ(revio_put_int(99, s), 0);  // over the 30
  EXPECT_EQ(revio_flush(s), 0);
  EXPECT_EQ(revio_get_int(s), 20);
  EXPECT_EQ(revio_get_int(s), 10);
  EXPECT_EQ(revio_get_int(s), -1);
  EXPECT_TRUE(s->flags & REVIO_EOF);
  EXPECT_EQ(revio_close(s), 0);
  EXPECT_EQ(contents(), word(10) + word(20) + word(99) + word(40));
}

TEST_F(Revio, ModesAndClosedStreams) {
  const int fd = open_file("");
  struct Case {
    const char* mode;
    uint16_t flags;  // 0: invalid
  } cases[] = {
      {"r", REVIO_READ},     {"w", REVIO_WRITE}, {"a", REVIO_WRITE},
      {"rb", REVIO_READ},    {"wt", REVIO_WRITE}, {"r+b", REVIO_READ | REVIO_UPDATE},
      {"rtb+", REVIO_READ | REVIO_UPDATE}, {"a+", REVIO_WRITE | REVIO_UPDATE},
      {"rw", 0}, {"r++", 0}, {"", 0}, {"+r", 0}, {"x", 0}, {"r+x", 0}, {"R", 0},
  };
  for (const Case& k : cases) {
    RevioStream* s = revio_open("f", k.mode, fd, 0, 7);
    if (k.flags == 0) {
      EXPECT_EQ(s, nullptr) << k.mode;
      continue;
    }
    ASSERT_NE(s, nullptr) << k.mode;
    EXPECT_EQ(s->flags, k.flags) << k.mode;
    EXPECT_EQ(s->position, 8) << k.mode;
    EXPECT_EQ(revio_close(s), 0) << k.mode;
  }
  RevioStream* r = revio_open("f", "r", fd, 0, 7);
  errno = 0;
  EXPECT_EQ(revio_flush(r), -1);  // not a writer
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(revio_close(r), 0);
  errno = 0;
  EXPECT_EQ(revio_close(r), -1);  // no longer open
  EXPECT_EQ(errno, EINVAL);
}

}  // namespace
