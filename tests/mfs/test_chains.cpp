// Chains of stream formats over members of sizes around the buffer sizes:
// a whole read, a read by getc, and a seek to every position followed by a
// read give exactly the bytes each format defines. The expected bytes come
// from plain transformations written here.
#include <cctype>
#include <string>
#include <vector>

#include "mfs_support.h"

namespace {

using mfstest::Chain;
using mfstest::MfsTest;

std::string same(const std::string& s) { return s; }

std::string doubled(const std::string& s) {
  std::string out;
  for (char c : s) {
    out += c;
    out += c;
  }
  return out;
}

std::string halved(const std::string& s) {
  std::string out;
  for (size_t i = 0; i + 1 < s.size(); i += 2) out += s[i];
  return out;
}

std::string upper_ascii(const std::string& s) {
  std::string out = s;
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

struct ChainCase {
  const char* list;
  std::string (*expect)(const std::string&);
};

const ChainCase kChains[] = {
    {"", same},
    {"flat", same},
    {"iflat", same},
    {"double", doubled},
    {"half", halved},
    {"double|half", same},
    {"sys", same},
    {"sys(cat)", same},
    {"sys(tr a-z A-Z)", upper_ascii},
    {"flat|double|flat", doubled},
    {"half|sys(cat)|double", [](const std::string& s) { return doubled(halved(s)); }},
};

const size_t kSizes[] = {0, 1, 4095, 4096, 4097, 10000};

class ChainTest : public MfsTest, public ::testing::WithParamInterface<ChainCase> {};

TEST_P(ChainTest, WholeReadGetcAndEverySeekGiveTheDefinedBytes) {
  const ChainCase& c = GetParam();
  Chain chain(c.list);
  MfsStream* s = chain.get();
  ASSERT_NE(s, nullptr);
  for (size_t size : kSizes) {
    SCOPED_TRACE("member of " + std::to_string(size) + " bytes");
    const std::string source = mfstest::MemberBytes(size);
    const std::string want = c.expect(source);
    const std::string path = Member("m" + std::to_string(size), source);

    ASSERT_EQ(mfs_chain_open(s, path.c_str()), 0);
    EXPECT_EQ(mfstest::ReadAll(s), want);
    EXPECT_EQ(s->get_status(s), MFS_STATUS_OK);
    mfs_chain_close(s);

    ASSERT_EQ(mfs_chain_open(s, path.c_str()), 0);
    std::string by_byte;
    for (int b; (b = s->getc(s)) != -1;) by_byte += static_cast<char>(b);
    EXPECT_EQ(by_byte, want);

    // A window longer than the largest buffer crosses at least one refill.
    const long window = 8200;
    const size_t len = want.size();
    for (size_t k = 0; k <= len + 1; ++k) {
      ASSERT_EQ(s->seek(s, static_cast<off_t>(k)), 0) << "k=" << k;
      const std::string expected = k < len ? want.substr(k, window) : std::string();
      const std::string got = mfstest::ReadSome(s, window);
      if (got != expected) {
        ADD_FAILURE() << "seek to " << k << " of " << len;
        break;
      }
    }
    // The whole tail from a few positions, and peek then getc after a seek.
    for (size_t k : {size_t{1}, len / 2, len > 0 ? len - 1 : 0}) {
      if (k > len) continue;
      ASSERT_EQ(s->seek(s, static_cast<off_t>(k)), 0);
      if (k < len) {
        EXPECT_EQ(s->peek(s), static_cast<unsigned char>(want[k]));
        EXPECT_EQ(s->getc(s), static_cast<unsigned char>(want[k]));
        EXPECT_EQ(mfstest::ReadAll(s, 777), want.substr(k + 1));
      } else {
        EXPECT_EQ(s->getc(s), -1);
      }
    }
    EXPECT_EQ(s->seek(s, -1), -1);
    mfs_chain_close(s);
  }
  EXPECT_TRUE(TempFiles().empty());
}

TEST_P(ChainTest, PositionRecordReturnsToTheSameByte) {
  const ChainCase& c = GetParam();
  Chain chain(c.list);
  MfsStream* s = chain.get();
  const std::string source = mfstest::MemberBytes(10000);
  const std::string want = c.expect(source);
  const std::string path = Member("m", source);
  ASSERT_EQ(mfs_chain_open(s, path.c_str()), 0);

  int32_t size = 0;
  ASSERT_EQ(s->ctl(s, MFS_CTL_RECORD_SIZE, &size), 0);
  ASSERT_GT(size, 0);
  size_t at = 0;
  // Records inside the output; "sys" refuses a record at its very end.
  for (long step : {1L, 4095L, 2L, 4097L, 1000L}) {
    at += static_cast<size_t>(mfstest::ReadSome(s, step).size());
    std::vector<unsigned char> record(static_cast<size_t>(size));
    ASSERT_EQ(s->getpos(s, record.data()), 0);
    const std::string next = mfstest::ReadSome(s, 3000);
    EXPECT_EQ(next, want.substr(std::min(at, want.size()), 3000)) << "at " << at;
    mfstest::ReadSome(s, 1234);  // move on, then come back
    ASSERT_EQ(s->setpos(s, record.data()), 0) << "at " << at;
    EXPECT_EQ(mfstest::ReadSome(s, 3000), next) << "at " << at;
    ASSERT_EQ(s->setpos(s, record.data()), 0);
  }
  mfs_chain_close(s);
  EXPECT_TRUE(TempFiles().empty());
}

INSTANTIATE_TEST_SUITE_P(Formats, ChainTest, ::testing::ValuesIn(kChains),
                         [](const ::testing::TestParamInfo<ChainCase>& info) {
                           std::string name;
                           for (const char* p = info.param.list; *p; ++p)
                             name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                           return "n" + std::to_string(info.index) + "_" + name;
                         });

}  // namespace
