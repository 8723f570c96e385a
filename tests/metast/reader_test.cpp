// Reading meta-structure files: records, carried-over fields, numbers,
// field limits, skipped and malformed tags, and switching files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "io/vqio.h"
#include "metast/metast.h"
#include "support/scratch.h"

namespace {

// A meta-structure file holding text, opened as a stream of the layer.
struct MetaFile {
  std::string path;
  VqStream* stream = nullptr;
  explicit MetaFile(const std::string& text) {
    start_io();
    char pattern[] = "/tmp/metast_test_XXXXXX";
    int fd = mkstemp(pattern);
    path = pattern;
    if (write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) path.clear();
    close(fd);
    stream = vqio_fopen(path.c_str(), "r");
  }
  ~MetaFile() {
    if (stream) vqio_fclose(stream);
    unlink(path.c_str());
  }
};

MetaStructRecord blank_record() {
  MetaStructRecord r;
  std::memset(&r, 0, sizeof r);
  std::strcpy(r.display_fmt, "preset");
  r.start = r.data_pos = r.trail_pos = r.end = -9;
  return r;
}

class MetaReader : public ::testing::Test {
 protected:
  void SetUp() override { filemap_read_reset(); }
  void TearDown() override { filemap_read_reset(); }
};

TEST_F(MetaReader, TwoRecordsThenEndWithCarriedOverFields) {
  MetaFile f(
      "<FileMap>books.fmp</FileMap>\n"
      "<VQMetaStruct>\n"
      "  <VQFile>/data/a.sgm</VQFile>\n"
      "  <VQDefaultDataTag>TEXT</VQDefaultDataTag>\n"
      "  <VQDisplayFmt>html</VQDisplayFmt>\n"
      "  <VQStart>1</VQStart> <VQDataPos>40</VQDataPos>\n"
      "  <VQTrailPos>900</VQTrailPos><VQEnd>1000</VQEnd>\n"
      "</VQMetaStruct>\n"
      "<VQMetaStruct>\n"
      "  <VQFile>/data/b.sgm</VQFile>\n"
      "  <VQStart> 1001</VQStart><VQDataPos>x12</VQDataPos><VQEnd>2500</VQEnd>\n"
      "</VQMetaStruct>\n");
  ASSERT_NE(f.stream, nullptr);
  MetaStructRecord r = blank_record();
  ASSERT_EQ(filemap_read_record(f.stream, &r), 1);  // the FileMap end tag
  EXPECT_STREQ(r.file_map, "books.fmp");
  EXPECT_STREQ(r.file, "");
  ASSERT_EQ(filemap_read_record(f.stream, &r), 1);
  EXPECT_STREQ(r.file_map, "books.fmp");
  EXPECT_STREQ(r.file, "/data/a.sgm");
  EXPECT_STREQ(r.default_data_tag, "TEXT");
  EXPECT_STREQ(r.display_fmt, "html");
  EXPECT_EQ(r.start, 1);
  EXPECT_EQ(r.data_pos, 40);
  EXPECT_EQ(r.trail_pos, 900);
  EXPECT_EQ(r.end, 1000);
  ASSERT_EQ(filemap_read_record(f.stream, &r), 1);
  EXPECT_STREQ(r.file, "/data/b.sgm");
  EXPECT_STREQ(r.display_fmt, "html");       // not given: kept
  EXPECT_STREQ(r.default_data_tag, "TEXT");  // not given: kept
  EXPECT_EQ(r.start, 1001);
  EXPECT_EQ(r.data_pos, 40);  // not a number: unchanged
  EXPECT_EQ(r.trail_pos, 900);
  EXPECT_EQ(r.end, 2500);
  EXPECT_EQ(filemap_read_record(f.stream, &r), 0);
  EXPECT_EQ(filemap_read_record(f.stream, &r), 0);
}

TEST_F(MetaReader, LongValuesAreCutToTheirFields) {
  std::string tag(300, 'T'), file(3000, 'f');
  file[0] = 'A';
  MetaFile f("<VQMetaStruct><VQDefaultDataTag>" + tag + "</VQDefaultDataTag><VQFile>" + file +
             "</VQFile><FileMap>" + std::string(256, 'm') + "</FileMap>");
  MetaStructRecord r = blank_record();
  ASSERT_EQ(filemap_read_record(f.stream, &r), 1);  // ended by </FileMap>
  EXPECT_EQ(std::string(r.default_data_tag), tag.substr(0, 255));
  // 3000 bytes come as three text tokens: the field keeps the value's start.
  EXPECT_EQ(std::string(r.file), file.substr(0, 1023));
  EXPECT_EQ(std::string(r.file_map), std::string(255, 'm'));
}

TEST_F(MetaReader, UnknownTagsSkippedMalformedTagEnds) {
  MetaFile f(
      "<VQMetaStruct><Other>zzz</Other><VQFile>x.sgm</VQFile><VQEnd>5</VQEnd></VQMetaStruct>"
      "<VQMetaStruct><VQFile>y<a b></VQFile></VQMetaStruct>");
  MetaStructRecord r = blank_record();
  ASSERT_EQ(filemap_read_record(f.stream, &r), 1);
  EXPECT_STREQ(r.file, "x.sgm");
  EXPECT_EQ(r.end, 5);
  EXPECT_EQ(filemap_read_record(f.stream, &r), 0);  // "<a b>" is malformed
  EXPECT_STREQ(r.file, "y");
}

TEST_F(MetaReader, AnotherStreamStartsThatFileAfresh) {
  MetaFile a("<VQMetaStruct><VQFile>a1</VQFile></VQMetaStruct>"
             "<VQMetaStruct><VQFile>a2</VQFile></VQMetaStruct>");
  MetaFile b("<VQMetaStruct><VQFile>b1</VQFile></VQMetaStruct>");
  MetaStructRecord r = blank_record();
  ASSERT_EQ(filemap_read_record(a.stream, &r), 1);
  EXPECT_STREQ(r.file, "a1");
  ASSERT_EQ(filemap_read_record(b.stream, &r), 1);  // a left before its end
  EXPECT_STREQ(r.file, "b1");
  EXPECT_EQ(filemap_read_record(b.stream, &r), 0);
  MetaFile empty("");
  EXPECT_EQ(filemap_read_record(empty.stream, &r), 0);
}

}  // namespace
