// The data-file header: bytes written, round trip through the checker, and
// the checker's results for swapped, translated, mangled, unknown and old
// headers. Expected bytes are written out from the header layout by hand.
#include <gtest/gtest.h>

#include <bit>
#include <cstdlib>
#include <string>
#include <vector>

#include "pitas/pitas.h"
#include "support/recorded_reports.h"

namespace {

using Bytes = std::vector<unsigned char>;

// A header's 512 bytes from its words, little- or big-endian.
Bytes header_bytes(const std::vector<std::pair<int, uint32_t>>& words, bool big_endian) {
  Bytes b(512, 0);
  for (auto [i, v] : words)
    for (int k = 0; k < 4; ++k) b[4 * i + k] = (v >> (big_endian ? 24 - 8 * k : 8 * k)) & 0xFF;
  return b;
}

Bytes encoded(const PitasHeader* h) {
  Bytes b(512);
  pitas_encode(h, b.data());
  return b;
}

bool little_endian() { return std::endian::native == std::endian::little; }

TEST(PitasHeader, WrittenBytesAndRoundTrip) {
  if (!little_endian()) GTEST_SKIP() << "expected bytes are written for a little-endian machine";
  ReportRecorder recorder;
  PitasHeader* h = pitasch(1, 50300, 3, 2, 77);
  Bytes b = encoded(h);
  Bytes expected(512, 0);
  const unsigned char first[32] = {1, 0, 0, 0, 4, 3, 2, 1, 3, 0, 0, 0, 2, 0,    0,    0,
                                   77, 0, 0, 0, 0x7C, 0xC4, 0, 0, 0, 0, 0, 0, 0, 0x0A, 0x0D, 0x0A};
  std::copy(first, first + 32, expected.begin());
  EXPECT_EQ(b, expected);
  PitasHeader back;
  pitas_decode(b.data(), &back);
  int swapped = -1;
  EXPECT_EQ(pitasck(&back, &swapped, "a.rgn"), 1);
  EXPECT_EQ(swapped, 0);
  EXPECT_EQ(encoded(&back), b);
  EXPECT_TRUE(recorder.reports().empty());
  free(h);
}

TEST(PitasHeader, ByteSwappedHeaderIsAcceptedAndTurnedNative) {
  ReportRecorder recorder;
  // Written on a big-endian machine: every word in the other byte order.
  Bytes b = header_bytes({{0, 6}, {1, 0x01020304}, {2, 9}, {3, 4}, {4, 0xA0B0C0D}, {5, 50300},
                          {7, 0x0A0D0A00}, {100, 0x11223344}},
                         little_endian());
  PitasHeader h;
  pitas_decode(b.data(), &h);
  int swapped = -1;
  EXPECT_EQ(pitasck(&h, &swapped, "map.xmp"), 6);
  EXPECT_EQ(swapped, 1);
  EXPECT_EQ(h.word[1], 0x01020304u);
  EXPECT_EQ(h.word[2], 9u);
  EXPECT_EQ(h.word[3], 4u);
  EXPECT_EQ(h.word[4], 0xA0B0C0Du);
  EXPECT_EQ(h.word[5], 50300u);
  EXPECT_EQ(h.word[100], 0x11223344u);
  EXPECT_TRUE(recorder.reports().empty());
}

TEST(PitasHeader, CheckerResultsAndMessages) {
  if (!little_endian()) GTEST_SKIP() << "fixtures are written little-endian";
  const uint32_t mark = 0x01020304, sentinel = 0x0A0D0A00;
  struct {
    const char* name;
    uint32_t type, mark, version, sentinel;
    int result, swapped;
    std::vector<std::string> reports;  // severity 13 each
  } const cases[] = {
      {"native", 0, mark, 50300, sentinel, 0, 0, {}},
      {"sentinel zero accepted", 1, mark, 50300, 0, 1, 0, {}},
      {"region one below 40000", 1, mark, 39999, sentinel, 1, 0, {"Data file version too old: f"}},
      {"region at 40000", 1, mark, 40000, sentinel, 1, 0, {}},
      {"file map at 40000", 6, mark, 40000, sentinel, 6, 0, {}},
      {"type 7 needs 50000", 7, mark, 49999, sentinel, 7, 0, {"Data file version too old: f"}},
      {"type 7 at 50000", 7, mark, 50000, sentinel, 7, 0, {}},
      {"type 10 at 50000", 10, mark, 50000, sentinel, 10, 0, {}},
      {"index any version", 0, mark, 1, sentinel, 0, 0, {}},
      {"negative version", 2, mark, 0xFFFFFFFF, sentinel, 2, 0, {"Data file version too old: f"}},
      {"unknown type", 11, mark, 0, sentinel, 11, 0, {"Unknown data file type: f"}},
      {"negative type", 0xFFFFFFFE, mark, 50300, sentinel, -2, 0, {"Unknown data file type: f"}},
      {"translated", 1, mark, 50300, 0x0D0A0D00, 1, 0,
       {"File f appears to have undergone text translation."}},
      {"mangled", 1, 0x01020305, 50300, sentinel, 1, 0, {"File header seems mangled: f"}},
  };
  for (const auto& c : cases) {
    Bytes b = header_bytes({{0, c.type}, {1, c.mark}, {2, 1}, {5, c.version}, {7, c.sentinel}}, false);
    PitasHeader h;
    pitas_decode(b.data(), &h);
    ReportRecorder recorder;
    int swapped = -1;
    EXPECT_EQ(pitasck(&h, &swapped, "f"), c.result) << c.name;
    EXPECT_EQ(swapped, c.swapped) << c.name;
    ASSERT_EQ(recorder.reports().size(), c.reports.size()) << c.name;
    for (size_t i = 0; i < c.reports.size(); ++i) {
      EXPECT_EQ(recorder.reports()[i].severity, 13) << c.name;
      EXPECT_EQ(recorder.reports()[i].text, c.reports[i]) << c.name;
    }
    EXPECT_EQ(encoded(&h), b) << c.name << ": words are native and unchanged";
  }
}

// Each 0A byte turned into 0D 0A, as a text-mode transfer does: the
// sentinel bytes 00 0A 0D 0A become 00 0D 0A 0D.
TEST(PitasHeader, LineEndTranslationIsNoticed) {
  ReportRecorder recorder;
  PitasHeader* h = pitasch(0, 50300, 1, 0, 0);
  Bytes b = encoded(h), translated;
  for (unsigned char c : b) {
    if (c == 0x0A) translated.push_back(0x0D);
    translated.push_back(c);
  }
  translated.resize(512);
  if (little_endian()) {
    EXPECT_EQ(Bytes(translated.begin() + 28, translated.begin() + 32), (Bytes{0, 0x0D, 0x0A, 0x0D}));
  }
  PitasHeader back;
  pitas_decode(translated.data(), &back);
  int swapped;
  EXPECT_EQ(pitasck(&back, &swapped, "idx"), 0);
  ASSERT_EQ(recorder.reports().size(), 1u);
  EXPECT_EQ(recorder.reports()[0].severity, 13);
  EXPECT_EQ(recorder.reports()[0].text, "File idx appears to have undergone text translation.");
  free(h);
}

TEST(PitasHeader, MakerReportsBadArgumentsAndStillFillsTheRest) {
  struct {
    uint32_t type;
    int32_t major, minor;
    uint32_t word0, word2, word3;
    const char* report;
  } const cases[] = {
      {11, 1, 0, 0, 1, 0, "pitasch: type = 11."},
      {3, 0, 0, 3, 0, 0, "pitasch: Major = 0, Minor = 0."},
      {3, 4, -1, 3, 0, 0, "pitasch: Major = 4, Minor = -1."},
      {10, 1, 0, 10, 1, 0, nullptr},
  };
  for (const auto& c : cases) {
    ReportRecorder recorder;
    PitasHeader* h = pitasch(c.type, 50300, c.major, c.minor, 5);
    if (c.report) {
      ASSERT_EQ(recorder.reports().size(), 1u);
      EXPECT_EQ(recorder.reports()[0].severity, 5);
      EXPECT_EQ(recorder.reports()[0].text, c.report);
    } else {
      EXPECT_TRUE(recorder.reports().empty());
    }
    EXPECT_EQ(h->word[0], c.word0);
    EXPECT_EQ(h->word[2], c.word2);
    EXPECT_EQ(h->word[3], c.word3);
    EXPECT_EQ(h->word[1], 0x01020304u);
    EXPECT_EQ(h->word[4], 5u);
    EXPECT_EQ(h->word[5], 50300u);
    EXPECT_EQ(h->word[7], 0x0A0D0A00u);
    for (int i : {6, 8, 50, 127}) EXPECT_EQ(h->word[i], 0u);
    free(h);
  }
}

}  // namespace
