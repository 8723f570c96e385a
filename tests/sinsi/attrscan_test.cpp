// Attribute scanning of the current start tag: names and values split as
// the tokenizer split the tag, scan offsets, skipped names and refusals.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness.h"
#include "sinsi/sinsi.h"

namespace {

struct Found {
  int32_t id;
  std::string value;
  size_t offset;
  int quoted;
  bool operator==(const Found&) const = default;
};

// Reads the first token of text with the names t (1) and u (2) and the
// attribute names, then every attribute sinsina finds.
std::vector<Found> scan(const std::string& text, std::vector<const char*> names = {"id", "n"}) {
  harness::StringInput in{text};
  SinsiStream* s = sinsios(&in, nullptr, harness::read_string, nullptr);
  const char* tags[] = {"t", "u", nullptr};
  const int32_t tag_ids[] = {1, 2};
  EXPECT_EQ(sinsidt(s, tags, tag_ids, &SinsiAngleDelimiters), 0);
  std::vector<int32_t> ids;
  for (size_t i = 0; i < names.size(); ++i) ids.push_back(static_cast<int32_t>(10 + i));
  names.push_back(nullptr);
  ids.push_back(-1);
  EXPECT_EQ(sinsida(s, names.data(), ids.data()), 0);
  sinsint(s, nullptr, nullptr);
  sinsirs(s);
  std::vector<Found> out;
  std::vector<char> value(SINSI_BUFSIZE + 1);
  size_t length = 0;
  int quoted = 0;
  int32_t id;
  while ((id = sinsina(s, value.data(), &length, &quoted)) != -1)
    out.push_back({id, std::string(value.data(), length), s->attribute_offset, quoted});
  EXPECT_EQ(sinsina(s, value.data(), &length, &quoted), -1);  // stays at the end
  sinsicl(s);
  return out;
}

TEST(AttrScan, ValuesAndOffsets) {
  // 0         1         2         3
  // 0123456789012345678901234567890123
  // <t id="a b" x=1 n=v2,v3 id="">
  EXPECT_EQ(scan("<t id=\"a b\" x=1 n=v2,v3 id=\"\">"),
            (std::vector<Found>{{10, "a b", 11, 1}, {11, "v2", 20, 0}, {10, "", 29, 1}}));
  // Quoted values keep delimiters; unknown names with quoted values are
  // skipped whole.
  EXPECT_EQ(scan("<u other=\"id=x\" id=\"<>/\">"),
            (std::vector<Found>{{10, "<>/", 24, 1}}));
  // Tags without attributes, end tags, unknown tags and text give nothing.
  EXPECT_TRUE(scan("<t>").empty());
  EXPECT_TRUE(scan("</t>").empty());
  EXPECT_TRUE(scan("text id=x").empty());
  EXPECT_EQ(scan("<zz id=x>"), (std::vector<Found>{{10, "x", 8, 0}}));
  // A name is matched whole, never by prefix.
  EXPECT_TRUE(scan("<t idx=1 i=2>").empty());
}

// The byte after "=" always starts the value, even one that would end a
// value further on (a blank, a comma): the tokenizer took it into the
// value, so the value runs from there, a quote after a blank included.
TEST(AttrScan, TheFirstByteAfterTheEqualsSignIsPartOfTheValue) {
  // 0         1
  // 0123456789012
  // <t id= "ab">
  EXPECT_EQ(scan("<t id= \"ab\">"), (std::vector<Found>{{10, " \"ab\"", 11, 0}}));
  // <t id=,x n=1>
  EXPECT_EQ(scan("<t id=,x n=1>"), (std::vector<Found>{{10, ",x", 8, 0}, {11, "1", 12, 0}}));
}

TEST(AttrScan, LongNamesMatchNothingAndValuesAreWhole) {
  std::string long_name(300, 'q');
  EXPECT_TRUE(scan("<t " + long_name + "=1>").empty());
  std::string big(1000, 'v');
  std::vector<Found> got = scan("<t id=\"" + big + "\">");
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].value, big);
}

TEST(AttrScan, Definitions) {
  harness::StringInput in{"<t a=1>"};
  SinsiStream* s = sinsios(&in, nullptr, harness::read_string, nullptr);
  const char* tags[] = {"t", nullptr};
  const int32_t tag_ids[] = {1};
  ASSERT_EQ(sinsidt(s, tags, tag_ids, &SinsiAngleDelimiters), 0);
  std::string too_long(257, 'a');
  struct Bad {
    std::vector<const char*> names;
    std::vector<int32_t> ids;
    int status;
  };
  const std::vector<Bad> cases = {
      {{too_long.c_str(), nullptr}, {1, -1}, SINSI_BAD},
      {{"a", nullptr}, {-1, -1}, SINSI_BAD},
      {{"a<b", nullptr}, {1, -1}, SINSI_BAD},
      {{"a/", nullptr}, {1, -1}, SINSI_BAD},
      {{"", nullptr}, {1, -1}, SINSI_BAD},
      {{"a", "b", nullptr}, {1, 2, -1}, SINSI_OK},
      {{"a", nullptr}, {3, -1}, SINSI_CONFLICT},
  };
  for (const Bad& c : cases) EXPECT_EQ(sinsida(s, c.names.data(), c.ids.data()), c.status);
  // Without attribute names sinsina gives -1 at once.
  SinsiStream* bare = sinsios(&in, nullptr, harness::read_string, nullptr);
  sinsidt(bare, tags, tag_ids, &SinsiAngleDelimiters);
  sinsint(bare, nullptr, nullptr);
  char value[SINSI_BUFSIZE + 1];
  EXPECT_EQ(sinsina(bare, value, nullptr, nullptr), -1);
  sinsicl(bare);
  sinsicl(s);
}

}  // namespace
