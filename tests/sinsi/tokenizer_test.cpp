// Token kinds, lengths and ids of the tag stream on hand-worked inputs,
// buffer limits, and defining delimiter sets and names.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness.h"

namespace {

using harness::run_string;
using harness::same_tokens;
using ref::Token;

const std::vector<ref::DelimiterSet> kSets = {harness::angle_set({{"a", 1}, {"b", 2}, {"doc", 7}})};

Token eof() { return {6, "", -1}; }

struct Case {
  const char* what;
  std::string input;
  std::vector<Token> want;
};

// Expected tokens worked out by hand from the state table.
const std::vector<Case> kCases = {
    {"text, known start tag, text", "hello<a>world", {{4, "hello", -1}, {2, "<a>", 1}, {4, "world", -1}, eof()}},
    {"known and unknown end tags", "</a></zz>", {{0, "</a>", 1}, {1, "</zz>", -1}, eof()}},
    {"unknown start tag", "<zz>", {{3, "<zz>", -1}, eof()}},
    {"two comma values and a quoted value with a blank",
     "<doc k=v1,v2 q=\"x y\">", {{2, "<doc k=v1,v2 q=\"x y\">", 7}, eof()}},
    {"quoted value holding the delimiters", "<b v=\"</>\">t", {{2, "<b v=\"</>\">", 2}, {4, "t", -1}, eof()}},
    {"empty quoted value", "<a v=\"\">", {{2, "<a v=\"\">", 1}, eof()}},
    {"tab ends the name", "<a\tb=1>", {{2, "<a\tb=1>", 1}, eof()}},
    {"attribute without value", "<a k>", {{5, "<a k>", -1}, eof()}},
    {"attribute with empty unquoted value", "<a k=>", {{5, "<a k=>", -1}, eof()}},
    {"opening character in a name is pushed back", "<ab<b>", {{5, "<ab", -1}, {2, "<b>", 2}, eof()}},
    {"opening character in an attribute value", "<a k=x<b>", {{5, "<a k=x", -1}, {2, "<b>", 2}, eof()}},
    {"end marker in a start-tag name", "<a/b>", {{5, "<a/", -1}, {4, "b>", -1}, eof()}},
    {"empty tag", "<>x", {{5, "<>", -1}, {4, "x", -1}, eof()}},
    {"empty end tag", "</>", {{1, "</>", -1}, eof()}},
    {"blank inside an end tag stays in the name", "</a >", {{1, "</a >", -1}, eof()}},
    {"blank after the opening character: empty name", "< a x=1>", {{3, "< a x=1>", -1}, eof()}},
    {"blank after the opening character, no attribute", "< a>", {{3, "< a>", -1}, eof()}},
    {"closing quote then a name byte scans on as after the opening character",
     "<a v=\"x\"yz>", {{3, "<a v=\"x\"yz>", -1}, eof()}},
    {"closing quote then a closing character after the restart",
     "<a v=\"x\"y>", {{5, "<a v=\"x\"y>", -1}, eof()}},
    {"closing quote then comma starts another value", "<a v=\"x\",\"y\">", {{2, "<a v=\"x\",\"y\">", 1}, eof()}},
    {"end of input inside a tag", "x<a", {{4, "x", -1}, {5, "<a", -1}, eof()}},
    {"lone opening character at the end", "<", {{5, "<", -1}, eof()}},
    {"end of input inside a quoted value after an opening character",
     "<a v=\"<", {{5, "<a v=\"", -1}, {5, "<", -1}, eof()}},
    {"name with a NUL byte is not the shorter name", std::string("<a\0>", 4),
     {{3, std::string("<a\0>", 4), -1}, eof()}},
    {"NUL and 255 bytes are text", std::string("\0\xff<a>", 5),
     {{4, std::string("\0\xff", 2), -1}, {2, "<a>", 1}, eof()}},
    {"empty input", "", {eof()}},
};

TEST(Tokenizer, HandWorkedCases) {
  for (const Case& c : kCases) {
    EXPECT_TRUE(same_tokens(run_string(c.input, kSets), c.want)) << c.what;
    // The reference agrees with the hand-worked expectation too.
    EXPECT_TRUE(same_tokens(ref::tokenize(c.input, kSets), c.want)) << "reference: " << c.what;
  }
}

TEST(Tokenizer, EndOfInputIsFinal) {
  harness::StringInput in{"ab<"};
  SinsiStream* s = sinsios(&in, nullptr, harness::read_string, nullptr);
  ASSERT_EQ(harness::define_set(s, kSets[0]), SINSI_OK);
  size_t length = 0;
  int status = -1;
  EXPECT_EQ(sinsint(s, &length, &status), SINSI_TEXT);
  EXPECT_EQ(sinsint(s, &length, &status), SINSI_MALFORMED);
  EXPECT_EQ(status, SINSI_BAD);
  // End of input inside the tag did not end the stream: the next call reads
  // again, sees the end, and from then on the input is not read any more.
  EXPECT_EQ(in.reads_at_end, 1);
  EXPECT_EQ(sinsint(s, &length, &status), SINSI_EOF);
  EXPECT_EQ(status, SINSI_END);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(in.reads_at_end, 2);
  EXPECT_EQ(sinsint(s, &length, &status), SINSI_EOF);
  EXPECT_EQ(in.reads_at_end, 2);
  int gt = -1;
  EXPECT_EQ(sinsigt(s, nullptr, &gt), -1);
  EXPECT_EQ(gt, SINSI_END);
  char buf[8];
  size_t size = 7;
  EXPECT_EQ(sinsigx(s, buf, &size), SINSI_END);
  EXPECT_EQ(size, 0u);
  sinsicl(s);
}

std::vector<size_t> lengths(const std::vector<Token>& tokens) {
  std::vector<size_t> out;
  for (const Token& t : tokens) out.push_back(t.kind == 6 ? 0 : t.text.size());
  return out;
}
std::vector<int> kinds(const std::vector<Token>& tokens) {
  std::vector<int> out;
  for (const Token& t : tokens) out.push_back(t.kind);
  return out;
}

// A start tag <a k="..."> of exactly n bytes; the value is filled with fill.
std::string tag_of(size_t n, char fill = 'v') {
  std::string head = "<a k=\"", tail = "\">";
  return head + std::string(n - head.size() - tail.size(), fill) + tail;
}

TEST(Tokenizer, BufferLimits) {
  // Text longer than the buffer comes in chunks of 1024.
  auto t = run_string(std::string(3000, 'x'), kSets);
  EXPECT_EQ(lengths(t), (std::vector<size_t>{1024, 1024, 952, 0}));
  EXPECT_EQ(kinds(t), (std::vector<int>{4, 4, 4, 6}));

  t = run_string(std::string(1024, 'x') + "<a>", kSets);
  EXPECT_EQ(lengths(t), (std::vector<size_t>{1024, 3, 0}));

  // A tag of 1023 bytes is a tag; one of 1024 bytes is malformed.
  t = run_string(tag_of(1023) + "z", kSets);
  EXPECT_EQ(kinds(t), (std::vector<int>{2, 4, 6}));
  EXPECT_EQ(lengths(t), (std::vector<size_t>{1023, 1, 0}));
  EXPECT_EQ(t[0].id, 1);

  t = run_string(tag_of(1024) + "z", kSets);
  EXPECT_EQ(kinds(t), (std::vector<int>{5, 4, 6}));
  EXPECT_EQ(lengths(t), (std::vector<size_t>{1024, 1, 0}));

  // One byte more: the first 1024 bytes are malformed, the ">" is text.
  t = run_string(tag_of(1025), kSets);
  EXPECT_EQ(kinds(t), (std::vector<int>{5, 4, 6}));
  EXPECT_EQ(lengths(t), (std::vector<size_t>{1024, 1, 0}));
  EXPECT_EQ(t[1].text, ">");

  // A value full of ">" and "<" inside quotes does not end the tag.
  t = run_string(tag_of(1023, '>'), kSets);
  EXPECT_EQ(kinds(t), (std::vector<int>{2, 6}));
  t = run_string(tag_of(600, '<') + tag_of(700, '>'), kSets);
  EXPECT_EQ(kinds(t), (std::vector<int>{2, 2, 6}));
  EXPECT_EQ(lengths(t), (std::vector<size_t>{600, 700, 0}));

  // An opening character as the 1024th byte is pushed back and starts the
  // next tag.
  std::string open_at_limit = "<a k=\"" + std::string(1017, 'v') + "<a>";
  ASSERT_EQ(open_at_limit.find('<', 1), 1023u);
  t = run_string(open_at_limit, kSets);
  EXPECT_EQ(kinds(t), (std::vector<int>{5, 2, 6}));
  EXPECT_EQ(lengths(t), (std::vector<size_t>{1023, 3, 0}));

  // End tags: 1023 bytes are a tag, 1024 are not.
  t = run_string("</" + std::string(1020, 'n') + ">", kSets);
  EXPECT_EQ(kinds(t), (std::vector<int>{1, 6}));
  t = run_string("</" + std::string(1021, 'n') + ">", kSets);
  EXPECT_EQ(kinds(t), (std::vector<int>{5, 6}));
}

TEST(Tokenizer, StreamWithoutInput) {
  harness::start_io();
  VqStream* out = vqio_fopen("/dev/null", "w");
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(sinsios(nullptr, nullptr, nullptr, nullptr), nullptr);
  int null_status = -1;
  EXPECT_EQ(sinsint(nullptr, nullptr, &null_status), SINSI_EOF);
  EXPECT_EQ(null_status, SINSI_NO_IO);
  EXPECT_EQ(sinsipx(nullptr, "x", 1), SINSI_NO_IO);
  SinsiStream* s = sinsios(nullptr, out, nullptr, nullptr);
  ASSERT_NE(s, nullptr);
  size_t length = 7;
  int status = -1;
  EXPECT_EQ(sinsint(s, &length, &status), SINSI_EOF);
  EXPECT_EQ(status, SINSI_NO_IO);
  EXPECT_EQ(length, 0u);
  int gt = -1;
  EXPECT_EQ(sinsigt(s, nullptr, &gt), -1);
  EXPECT_EQ(gt, SINSI_NO_IO);
  char buf[8];
  size_t size = 4;
  EXPECT_EQ(sinsigx(s, buf, &size), SINSI_NO_IO);
  size = 4;
  EXPECT_EQ(sinsirx(s, buf, &size), SINSI_NO_IO);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(sinsicl(s), SINSI_OK);
  vqio_fclose(out);
}

// ---------------------------------------------------------------------------
// Defining sets and names

struct Defined {
  harness::StringInput in;
  SinsiStream* s;
  explicit Defined(std::string input) : in{std::move(input)} {
    s = sinsios(&in, nullptr, harness::read_string, nullptr);
  }
  ~Defined() { sinsicl(s); }
  int define(std::vector<const char*> names, std::vector<int32_t> ids,
             SinsiDelimiters d = SinsiAngleDelimiters) {
    names.push_back(nullptr);
    return sinsidt(s, names.data(), ids.data(), &d);
  }
  std::vector<Token> tokens() { return harness::run(s); }
};

TEST(Definitions, DuplicatesAndConflictingSets) {
  Defined d("<a></b><c>");
  EXPECT_EQ(d.define({"a", "b"}, {1, 2}), SINSI_OK);
  EXPECT_EQ(d.define({"a", "b"}, {1, 2}), SINSI_CONFLICT);        // same names again
  EXPECT_EQ(d.define({"c"}, {2}), SINSI_CONFLICT);                // id already held
  EXPECT_EQ(d.define({"c", "a"}, {3, 4}), SINSI_CONFLICT);        // "c" kept, "a" held
  EXPECT_EQ(d.define({"x"}, {9}, {'<', '!', '>'}), SINSI_CONFLICT);  // other end marker
  EXPECT_EQ(d.define({"x"}, {9}, {'<', '/', ']'}), SINSI_CONFLICT);  // other closing char
  EXPECT_TRUE(same_tokens(d.tokens(), {{2, "<a>", 1}, {0, "</b>", 2}, {2, "<c>", 3}, eof()}));
}

TEST(Definitions, BadNamesChangeNothing) {
  const std::string longest(256, 'n'), too_long(257, 'n');
  struct Bad {
    const char* name;
    int32_t id;
  };
  const Bad bad[] = {{"x<y", 5}, {"x>", 5}, {"/x", 5}, {"x\xff", 5}, {too_long.c_str(), 5}, {"ok", -1}};
  Defined d("<good></good><" + longest + ">");
  for (const Bad& b : bad) EXPECT_EQ(d.define({"good", b.name}, {1, b.id}), SINSI_BAD) << b.name;
  // Nothing was defined, not even the set: "<" is text.
  EXPECT_EQ(d.s->set_states['<'], nullptr);
  EXPECT_EQ(d.define({"good", longest.c_str()}, {1, 2}), SINSI_OK);
  // A delimiter of another set is an ordinary name byte here.
  EXPECT_EQ(d.define({"[x]"}, {3}), SINSI_OK);
  EXPECT_EQ(d.define({"x"}, {4}, {'[', 0, ']'}), SINSI_OK);
  auto t = d.tokens();
  ASSERT_EQ(t.size(), 4u);
  EXPECT_EQ(t[0].id, 1);
  EXPECT_EQ(t[1].kind, 0);
  EXPECT_EQ(t[2].id, 2);
}

TEST(Definitions, FullTable) {
  std::vector<std::string> names;
  for (int i = 0; i < 1031; ++i) names.push_back("n" + std::to_string(i));
  std::vector<const char*> ptrs;
  std::vector<int32_t> ids;
  for (int i = 0; i < 1031; ++i) {
    ptrs.push_back(names[i].c_str());
    ids.push_back(3 * i - 1500);  // negative and positive ids, never -1
  }
  Defined d("<n0><n1029></n1030>");
  EXPECT_EQ(d.define(ptrs, ids), SINSI_FULL);
  EXPECT_EQ(d.s->set_names['<']->count, 1030);
  EXPECT_TRUE(same_tokens(d.tokens(),
                          {{2, "<n0>", -1500}, {2, "<n1029>", 1587}, {1, "</n1030>", -1}, eof()}));
}

TEST(Definitions, TwoSetsOneWithoutEndMarker) {
  const std::vector<ref::DelimiterSet> sets = {harness::angle_set({{"p", 1}}),
                                               {'&', 0, ';', {{"amp", 10}, {"lt", 11}}}};
  const std::string input = "<p>a &amp; b &lt;</p>&x;&/;";
  const std::vector<Token> want = {
      {2, "<p>", 1},   {4, "a ", -1},  {2, "&amp;", 10}, {4, " b ", -1}, {2, "&lt;", 11},
      {0, "</p>", 1},  {3, "&x;", -1}, {3, "&/;", -1},   eof()};
  EXPECT_TRUE(same_tokens(run_string(input, sets), want));
  EXPECT_TRUE(same_tokens(ref::tokenize(input, sets), want));

  // The current token's delimiter record is that of its set.
  harness::StringInput in{"&amp;x&lt;"};
  SinsiStream* s = sinsios(&in, nullptr, harness::read_string, nullptr);
  for (const auto& set : sets) harness::define_set(s, set);
  sinsint(s, nullptr, nullptr);
  const SinsiDelimiters* d = nullptr;
  int status = -1;
  EXPECT_EQ(sinsigt(s, &d, &status), 10);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->open, '&');
  EXPECT_EQ(d->end, 0);
  EXPECT_EQ(status, SINSI_OK);
  sinsint(s, nullptr, nullptr);
  EXPECT_EQ(sinsigt(s, &d, &status), -1);
  EXPECT_EQ(d, nullptr);  // text has no delimiter record
  EXPECT_EQ(status, SINSI_OK);
  sinsicl(s);
}

}  // namespace
