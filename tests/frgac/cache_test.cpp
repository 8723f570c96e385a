// The process-wide block cache: ownership by the open text, the count at the
// physical end, least-recently-used replacement in a 10-way set, and reads
// through the cache.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frg_fixture.h"
#include "frgac/frgac.h"
#include "temp_dir.h"

namespace {

// A one-file text of the given bytes with the builder's table (logical a is
// physical a - 1).
void write_plain(const TempDir& dir, const std::string& body) {
  frgfix::Directory d;
  d.a = {{1, -1}, {static_cast<int32_t>(body.size() + 1), -1}};
  d.logical_length = static_cast<int32_t>(body.size());
  frgfix::lay_fragments(body, 0, dir.path, 1, &d);
  frgfix::write_file(dir.path + "/frg.1.0", frgfix::build_directory(d));
}

std::string bytes_of(const unsigned char* p, long n) { return std::string(p, p + n); }

class FrgacCache : public ::testing::Test {
 protected:
  void SetUp() override {
    start_io();
    frgac_cache_release();  // every test starts from an empty cache
  }
  void TearDown() override { frgac_cache_release(); }
};

TEST_F(FrgacCache, TwoTextsAtTheSameAddressesKeepTheirOwnBlocks) {
  TempDir da, db;
  std::mt19937 rng(3);
  std::string a = frgfix::random_bytes(1000, rng), b = frgfix::random_bytes(1000, rng);
  write_plain(da, a);
  write_plain(db, b);
  FrgacText ta, tb;
  ASSERT_EQ(frgac_open("a", da.path.c_str(), 1, 0, 0, 1, &ta, 1), 0);
  ASSERT_EQ(frgac_open("b", db.path.c_str(), 1, 0, 0, 1, &tb, 1), 0);
  unsigned char buffer[256];
  long copied = -1;
  EXPECT_EQ(frgacrc(&ta, 100, 300, buffer, &copied, 1), 100);
  EXPECT_EQ(bytes_of(buffer, 100), a.substr(300, 100));
  EXPECT_EQ(frgacrc(&tb, 100, 300, buffer, &copied, 0), 0);  // a's block is not b's
  EXPECT_EQ(copied, 0);
  EXPECT_EQ(frgacrc(&tb, 100, 300, buffer, &copied, 1), 100);
  EXPECT_EQ(bytes_of(buffer, 100), b.substr(300, 100));
  EXPECT_EQ(frgacrc(&ta, 50, 260, buffer, &copied, 0), 50);  // both now hit
  EXPECT_EQ(bytes_of(buffer, 50), a.substr(260, 50));
  EXPECT_EQ(frgacrc(&tb, 50, 260, buffer, &copied, 0), 50);
  EXPECT_EQ(bytes_of(buffer, 50), b.substr(260, 50));
  // Through the reader: with the cache flag, hits serve b's own bytes.
  ASSERT_EQ(frgacsk(&tb, 257), 257);
  std::string got;
  for (int k = 0; k < 300; ++k) got += static_cast<char>(frgacgc(&tb));
  EXPECT_EQ(got, b.substr(256, 300));
  frgac_close(&ta);
  frgac_close(&tb);
}

TEST_F(FrgacCache, AReusedControlBlockNeverSeesTheOldTextsBlocks) {
  TempDir da, db;
  std::mt19937 rng(4);
  std::string a = frgfix::random_bytes(2000, rng), b = frgfix::random_bytes(2000, rng);
  write_plain(da, a);
  write_plain(db, b);
  FrgacText t;
  ASSERT_EQ(frgac_open("a", da.path.c_str(), 1, 0, 0, 1, &t, 1), 0);
  unsigned char buffer[256];
  long copied;
  for (long p = 0; p < 2000; p += 256) ASSERT_GT(frgacrc(&t, 256, p, buffer, &copied, 1), 0);
  // The same control block, at the same address, now holds b.
  ASSERT_EQ(frgac_open("b", db.path.c_str(), 1, 0, 0, 1, &t, 1), 0);
  EXPECT_EQ(frgacrc(&t, 10, 0, buffer, &copied, 0), 0);
  std::string got;
  for (int ch; (ch = frgacgc(&t)) != -1;) got += static_cast<char>(ch);
  EXPECT_TRUE(got == b);
  frgac_close(&t);
}

TEST_F(FrgacCache, BlockAtThePhysicalEndCountsTextOnly) {
  TempDir dir;
  std::mt19937 rng(5);
  std::string body = frgfix::random_bytes(300, rng);  // block 256 holds 44 bytes of text
  write_plain(dir, body);
  FrgacText t;
  ASSERT_EQ(frgac_open("t", dir.path.c_str(), 1, 0, 0, 1, &t, 0), 0);
  unsigned char buffer[256];
  long copied;
  struct {
    long p, count;
    int load;
    long expected;
  } const cases[] = {
      {290, 100, 1, 10},  // miss and load: 10 bytes of text, not 44
      {290, 100, 0, 10},  // hit: clipped at the physical end too
      {256, 100, 0, 44},
      {280, 5, 0, 5},
      {299, 10, 0, 1},
      {300, 10, 0, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(frgacrc(&t, c.count, c.p, buffer, &copied, c.load), c.expected) << c.p;
    EXPECT_EQ(copied, c.expected);
    EXPECT_EQ(bytes_of(buffer, c.expected), body.substr(c.p, c.expected));
  }
  frgac_close(&t);
}

TEST_F(FrgacCache, LeastRecentlyUsedOfTheSetIsReplaced) {
  // 1000 records, sets of 10 starting at (p / 256) mod 991: blocks 5 + 991k
  // all fall into the set of records 5 to 14.
  const long sets = 1000 - 9;
  TempDir dir;
  std::mt19937 rng(6);
  std::string body = frgfix::random_bytes(static_cast<size_t>((5 + 11 * sets) * 256 + 256), rng);
  write_plain(dir, body);
  FrgacText t;
  ASSERT_EQ(frgac_open("t", dir.path.c_str(), 1, 0, 0, 1, &t, 0), 0);
  auto block = [&](int k) { return (5 + k * sets) * 256; };
  unsigned char buffer[256];
  long copied;
  for (int k = 0; k < 10; ++k) ASSERT_EQ(frgacrc(&t, 256, block(k), buffer, &copied, 1), 256);
  for (int k = 0; k < 10; ++k) EXPECT_EQ(frgacrc(&t, 1, block(k), buffer, &copied, 0), 1) << k;
  // Now block 0 was used last but nine; touching it makes block 1 the oldest.
  EXPECT_EQ(frgacrc(&t, 1, block(0), buffer, &copied, 0), 1);
  EXPECT_EQ(frgacrc(&t, 256, block(10), buffer, &copied, 1), 256);
  EXPECT_EQ(bytes_of(buffer, 256), body.substr(block(10), 256));
  EXPECT_EQ(frgacrc(&t, 1, block(1), buffer, &copied, 0), 0);
  for (int k : {0, 2, 3, 9, 10}) EXPECT_EQ(frgacrc(&t, 1, block(k), buffer, &copied, 0), 1) << k;
  frgac_close(&t);
}

TEST_F(FrgacCache, WithoutTheCacheLoadReadsDirectlyAndLookupGivesNothing) {
  TempDir dir;
  std::string body(1000, 'q');
  write_plain(dir, body);
  FrgacText t;
  ASSERT_EQ(frgac_open("t", dir.path.c_str(), 1, 0, 0, FRGAC_UPDATE, &t, 1), 0);  // no cache built
  EXPECT_EQ(t.cache_flag, 0);
  unsigned char buffer[600];
  long copied;
  EXPECT_EQ(frgacrc(&t, 600, 10, buffer, &copied, 0), 0);
  EXPECT_EQ(frgacrc(&t, 600, 10, buffer, &copied, 1), 600);
  EXPECT_EQ(bytes_of(buffer, 600), body.substr(10, 600));
  frgac_close(&t);
}

// Reading a text of several fragments with the cache flag: blocks loaded
// before (hits) and the rest read directly (misses) give the same text.
TEST_F(FrgacCache, ReaderThroughThePartlyFilledCache) {
  TempDir dir;
  frgfix::Text text = frgfix::make_text(20000, 50, 8);
  frgfix::Directory d;
  d.a = text.a;
  d.logical_length = 20000;
  d.per_block = 32;
  frgfix::lay_fragments(text.physical, 5, dir.path, 9, &d);
  frgfix::write_file(dir.path + "/frg.1.0", frgfix::build_directory(d));
  FrgacText t;
  ASSERT_EQ(frgac_open("t", dir.path.c_str(), 1, 0, 0, 1, &t, 1), 0);
  unsigned char buffer[256];
  long copied;
  for (long p = 0; p < static_cast<long>(text.physical.size()); p += 3 * 256)
    ASSERT_GT(frgacrc(&t, 256, p, buffer, &copied, 1), 0);
  std::string got;
  for (int ch; (ch = frgacgc(&t)) != -1;) got += static_cast<char>(ch);
  EXPECT_TRUE(got == text.logical);
  frgac_close(&t);
}

}  // namespace
