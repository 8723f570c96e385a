// Writing tags by id and verbatim text, reading it back, raw reads past
// the tokenizer, and the failures of writing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "harness.h"

namespace {

struct StringOutput {
  std::string data;
  size_t fail_after = SIZE_MAX;  // bytes accepted before writes fail
};
int write_string(void* handle, int byte) {
  auto* out = static_cast<StringOutput*>(handle);
  if (out->data.size() >= out->fail_after) return -1;
  out->data += static_cast<char>(byte);
  return byte;
}

const char* const kNames[] = {"doc", "item", "note", nullptr};
const int32_t kIds[] = {1, 2, 3};

// Writes a small document: tags by id, text with "<" and ">" unescaped.
void write_document(SinsiStream* s) {
  ASSERT_EQ(sinsipt(s, 1, 0, '<'), SINSI_OK);
  ASSERT_EQ(sinsipt(s, 2, 0, '<'), SINSI_OK);
  ASSERT_EQ(sinsipx(s, "a < b", 5), SINSI_OK);
  ASSERT_EQ(sinsipt(s, 2, 1, '<'), SINSI_OK);
  ASSERT_EQ(sinsipt(s, 3, 0, '<'), SINSI_OK);
  ASSERT_EQ(sinsipx(s, "x>y\n", 4), SINSI_OK);
  ASSERT_EQ(sinsipt(s, 3, 1, '<'), SINSI_OK);
  ASSERT_EQ(sinsipt(s, 1, 1, '<'), SINSI_OK);
}

const char kWritten[] = "<doc><item>a < b</item><note>x>y\n</note></doc>";

TEST(Writer, RoundTripThroughCallbackAndFile) {
  harness::start_io();
  StringOutput out;
  SinsiStream* w = sinsios(nullptr, &out, nullptr, write_string);
  ASSERT_EQ(sinsidt(w, kNames, kIds, &SinsiAngleDelimiters), SINSI_OK);
  write_document(w);
  EXPECT_EQ(sinsifs(w), SINSI_NO_IO);  // nothing to flush through a callback
  EXPECT_EQ(sinsicl(w), SINSI_OK);
  EXPECT_EQ(out.data, kWritten);

  char path[] = "/tmp/sinsi_writerXXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  VqStream* f = vqio_fopen(path, "w");
  ASSERT_NE(f, nullptr);
  w = sinsios(nullptr, f, nullptr, nullptr);
  ASSERT_EQ(sinsidt(w, kNames, kIds, &SinsiAngleDelimiters), SINSI_OK);
  write_document(w);
  EXPECT_EQ(sinsicl(w), SINSI_OK);  // flushes, leaves the stream open
  EXPECT_EQ(vqio_fputc('!', f), '!');
  EXPECT_EQ(vqio_fclose(f), 0);
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  EXPECT_EQ(ss.str(), std::string(kWritten) + "!");

  // Read back: the "<" of "a < b" is a malformed tag ("< b" followed by
  // "<"), the text after "x" keeps its ">".
  VqStream* r = vqio_fopen(path, "r");
  ASSERT_NE(r, nullptr);
  SinsiStream* s = sinsios(r, nullptr, nullptr, nullptr);
  ASSERT_EQ(sinsidt(s, kNames, kIds, &SinsiAngleDelimiters), SINSI_OK);
  const std::vector<ref::Token> want = {
      {2, "<doc>", 1}, {2, "<item>", 2},  {4, "a ", -1},       {5, "< b", -1},
      {0, "</item>", 2}, {2, "<note>", 3}, {4, "x>y\n", -1}, {0, "</note>", 3},
      {0, "</doc>", 1},  {4, "!", -1},     {6, "", -1}};
  EXPECT_TRUE(harness::same_tokens(harness::run(s), want));
  sinsicl(s);
  vqio_fclose(r);
  std::remove(path);
}

TEST(Writer, Failures) {
  harness::start_io();
  StringOutput out;
  SinsiStream* w = sinsios(nullptr, &out, nullptr, write_string);
  ASSERT_EQ(sinsidt(w, kNames, kIds, &SinsiAngleDelimiters), SINSI_OK);
  const char* const amp[] = {"amp", nullptr};
  const int32_t amp_id[] = {7};
  const SinsiDelimiters no_end = {'&', 0, ';'};
  ASSERT_EQ(sinsidt(w, amp, amp_id, &no_end), SINSI_OK);

  EXPECT_EQ(sinsipt(w, 9, 0, '<'), SINSI_UNKNOWN_ID);
  EXPECT_EQ(sinsipt(w, 7, 0, '<'), SINSI_UNKNOWN_ID);  // id of another set
  EXPECT_EQ(sinsipt(w, 1, 0, '['), SINSI_BAD);
  EXPECT_EQ(sinsipt(w, 1, 0, 300), SINSI_BAD);
  EXPECT_EQ(sinsipt(w, 7, 1, '&'), SINSI_OK);  // no end marker to write
  EXPECT_EQ(out.data, "&amp;");

  out.fail_after = out.data.size() + 2;
  EXPECT_EQ(sinsipt(w, 2, 1, '<'), SINSI_FAILED);
  EXPECT_EQ(sinsipx(w, "abc", 3), SINSI_FAILED);
  EXPECT_EQ(out.data, "&amp;</");
  sinsicl(w);

  // A stream that only reads has no output.
  harness::StringInput in{"x"};
  SinsiStream* r = sinsios(&in, nullptr, harness::read_string, nullptr);
  ASSERT_EQ(sinsidt(r, kNames, kIds, &SinsiAngleDelimiters), SINSI_OK);
  EXPECT_EQ(sinsipt(r, 1, 0, '<'), SINSI_NO_IO);
  EXPECT_EQ(sinsipx(r, "x", 1), SINSI_NO_IO);
  EXPECT_EQ(sinsifs(r), SINSI_NO_IO);
  sinsicl(r);

  // A full device: the flush fails, and so does the close's flush.
  VqStream* full = vqio_fopen("/dev/full", "w");
  ASSERT_NE(full, nullptr);
  w = sinsios(nullptr, full, nullptr, nullptr);
  ASSERT_EQ(sinsipx(w, "data", 4), SINSI_OK);  // still buffered
  EXPECT_EQ(sinsifs(w), SINSI_FAILED);
  ASSERT_EQ(sinsipx(w, "more", 4), SINSI_OK);
  EXPECT_EQ(sinsicl(w), SINSI_FAILED);
  vqio_fclose(full);  // its own flush fails as well
}

TEST(RawRead, TakesBytesVerbatimAndTokenizingGoesOn) {
  // A start tag, then 9 bytes taken raw (delimiters included), then tokens.
  harness::StringInput in{"<doc><a></>xyz<item>tail"};
  SinsiStream* s = sinsios(&in, nullptr, harness::read_string, nullptr);
  ASSERT_EQ(sinsidt(s, kNames, kIds, &SinsiAngleDelimiters), SINSI_OK);
  ASSERT_EQ(sinsint(s, nullptr, nullptr), SINSI_START_TAG);
  char buf[32];
  size_t size = 9;
  EXPECT_EQ(sinsirx(s, buf, &size), SINSI_OK);
  EXPECT_EQ(size, 9u);
  EXPECT_STREQ(buf, "<a></>xyz");
  int status = -1;
  EXPECT_EQ(sinsigt(s, nullptr, &status), -1);  // the current token is cleared
  EXPECT_EQ(s->length, 0u);
  EXPECT_EQ(sinsint(s, nullptr, nullptr), SINSI_START_TAG);
  EXPECT_EQ(sinsint(s, nullptr, nullptr), SINSI_TEXT);
  EXPECT_TRUE(s->at_end);
  size = 5;
  EXPECT_EQ(sinsirx(s, buf, &size), SINSI_END);
  EXPECT_EQ(size, 0u);
  sinsicl(s);

  // The pushed-back opening character comes first; fewer bytes at the end.
  harness::StringInput in2{"ab<cd"};
  s = sinsios(&in2, nullptr, harness::read_string, nullptr);
  ASSERT_EQ(sinsidt(s, kNames, kIds, &SinsiAngleDelimiters), SINSI_OK);
  ASSERT_EQ(sinsint(s, nullptr, nullptr), SINSI_TEXT);
  size = 10;
  EXPECT_EQ(sinsirx(s, buf, &size), SINSI_OK);
  EXPECT_EQ(size, 3u);
  EXPECT_STREQ(buf, "<cd");
  EXPECT_TRUE(s->at_end);
  EXPECT_EQ(sinsint(s, nullptr, nullptr), SINSI_EOF);
  sinsicl(s);
}

TEST(TokenText, CopyIsBoundedAndTerminated) {
  harness::StringInput in{"<doc k=\"v\">"};
  SinsiStream* s = sinsios(&in, nullptr, harness::read_string, nullptr);
  ASSERT_EQ(sinsidt(s, kNames, kIds, &SinsiAngleDelimiters), SINSI_OK);
  size_t length = 0;
  ASSERT_EQ(sinsint(s, &length, nullptr), SINSI_START_TAG);
  EXPECT_EQ(length, 11u);
  char buf[8];
  std::memset(buf, '#', sizeof buf);
  size_t size = 4;
  EXPECT_EQ(sinsigx(s, buf, &size), SINSI_OK);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(std::string(buf, 6), std::string("<doc\0#", 6));
  sinsicl(s);
}

}  // namespace
