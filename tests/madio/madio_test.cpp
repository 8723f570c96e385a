// Reading tagged text into trees and writing trees back, over in-memory
// text through the tag stream's callbacks.
#include <gtest/gtest.h>

#include <string>

#include "madio/madio.h"
#include "madut/madut.h"
#include "support/recorded_reports.h"
#include "support/tree_text.h"

namespace {

// Tags: a (own line), b (own line, blank line before), c (inline), r (raw).
DdTagInfo kTable[] = {
    {0, "a", 1}, {1, "b", 5}, {2, "c", 0}, {3, "r", 1 | DD_FLAG_RAW}, {-1, nullptr, 0},
};
const char* const kNames[] = {"a", "b", "c", "r", nullptr};

struct Input {
  std::string text;
  size_t pos = 0;
};

int read_byte(void* handle) {
  Input* in = static_cast<Input*>(handle);
  return in->pos < in->text.size() ? static_cast<unsigned char>(in->text[in->pos++]) : -1;
}

int write_byte(void* handle, int byte) {
  static_cast<std::string*>(handle)->push_back(static_cast<char>(byte));
  return byte;
}

MadNode* parse(const std::string& text, MadFilter filter = nullptr, int read_all = 1) {
  Input in{text};
  MadStream* s = madioss(&in, nullptr, read_byte, nullptr, kTable, &SinsiAngleDelimiters, filter);
  MadNode* root = madiopa(s, read_all);
  madiocl(s);
  return root;
}

std::string write(const MadNode* root) {
  std::string out;
  MadStream* s = madioss(nullptr, &out, nullptr, write_byte, kTable, &SinsiAngleDelimiters,
                         nullptr);
  EXPECT_EQ(madiowr(s, root), 0);
  madiocl(s);
  return out;
}

std::string text_of(const std::string& input) {
  MadNode* root = parse(input);
  std::string t = tree_text(root, kNames);
  madmtfr(root);
  return t;
}

TEST(Read, ValuesTextsAndComments) {
  struct Case {
    const char* input;
    const char* tree;
  } cases[] = {
      {"<a><b>foo</b><c></c></a>", "a(b=foo,c)"},
      {"<a> <b>x</b>\n</a>", "a(' ',b=x,'\n')"},
      // A line of blanks and "#" is a comment; a letter before "#", or a
      // tag before it on the line, makes it text.
      {"<a>\n  # note\nx # no\n<c>#no</c></a>", "a('\n  ',# note\n,'x # no\n',c=#no)"},
      {"# head\n<a></a>\n# tail", "# head\n,a,'\n',# tail"},
      // Unknown tags are text, and so are malformed ones (kept, not dropped).
      {"<a><zz>t</zz> <b x></a>", "a=<zz>t</zz> <b x>"},
      // A malformed tag at the end of a comment line still ends the comment.
      {"<a>\n# c <b\n<c>v</c></a>", "a('\n',# c <b\n,c=v)"},
      // Inside a comment every tag is comment text.
      {"<a>\n# <b>x</b>\n</a>", "a('\n',# <b>x</b>\n)"},
  };
  for (const Case& k : cases) EXPECT_EQ(text_of(k.input), k.tree) << k.input;
}

TEST(Read, RawSectionsKeepTheirExactContent) {
  const char* content = "\n<a>x</a> # t\n  # <r>x</r> </r> in a comment\n<zz><b x>\n ";
  const std::string input = std::string("<a><r>") + content + "</r></a>";
  MadNode* root = parse(input);
  ASSERT_NE(root, nullptr);
  MadNode* r = root->child->child;
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->child, nullptr);
  EXPECT_EQ(std::string(r->value), content);
  madmtfr(root);

  // A tag with the raw section's own id is parsed as a tag; its end tag
  // ends the raw section.
  EXPECT_EQ(text_of("<a><r>x<c>v</c><r>y</r>z<c>w</c></r></a>"), "a(r('x<c>v</c>',r=y,'z',c=w))");
}

TEST(Read, LineNumbersAndStructuralErrors) {
  ReportRecorder rec;
  struct Case {
    const char* input;
    int severity;
    const char* text;
  } cases[] = {
      {"<a>\n<b>x</c>\n</a>", 0, "madiopa: Line 2, End tag (c) does not match start tag (b)"},
      {"<a></a>\n\n</b>", 0, "madiopa: Line 3, End tag (b) does not match unknown start tag"},
      {"<a>\n# </a>\n<b>\n", 0, "madiopa: Line 3, File ended before closing tag (b)"},
      // Line ends inside tags count, in known and in unknown tags.
      {"<a x=\n1>\n</b>", 0, "madiopa: Line 3, End tag (b) does not match start tag (a)"},
      {"<a><zz\nq=1>\n</b>", 0, "madiopa: Line 3, End tag (b) does not match start tag (a)"},
  };
  for (const Case& k : cases) {
    recorded_reports().clear();
    EXPECT_EQ(parse(k.input), nullptr) << k.input;
    ASSERT_FALSE(rec.reports().empty()) << k.input;
    EXPECT_EQ(rec.reports()[0].severity, k.severity);
    EXPECT_EQ(rec.reports()[0].text, k.text);
  }
  // Unclosed tags are reported innermost first, each with its own line.
  recorded_reports().clear();
  EXPECT_EQ(parse("<a>\n\n<b>\n<c>"), nullptr);
  ASSERT_EQ(rec.reports().size(), 3u);
  EXPECT_EQ(rec.reports()[0].text, "madiopa: Line 4, File ended before closing tag (c)");
  EXPECT_EQ(rec.reports()[1].text, "madiopa: Line 3, File ended before closing tag (b)");
  EXPECT_EQ(rec.reports()[2].text, "madiopa: Line 1, File ended before closing tag (a)");
}

TEST(Read, NulBytesAreRefusedRatherThanCut) {
  // A tree holds C strings: a value, text or raw section with a NUL byte
  // would be cut there and lose the rest of its bytes when written back.
  ReportRecorder rec;
  const std::string inputs[] = {
      std::string("<a><r>\n# x\0y\n<a>kept</a>\n</r></a>", 33),  // raw section
      std::string("<a>\n<c>v\0w</c></a>", 18),                      // leaf value
      std::string("<a>\n# c\0\n<c>v</c></a>", 21),                  // comment
  };
  for (const std::string& in : inputs) {
    recorded_reports().clear();
    EXPECT_EQ(parse(in), nullptr);
    ASSERT_EQ(rec.reports().size(), 1u);
    EXPECT_EQ(rec.reports()[0].severity, 0);
    EXPECT_EQ(rec.reports()[0].text, "madiopa: Line 2, NUL byte in the text");
  }
}

int refuse_c(int32_t id, const TedStack*) { return id != 2; }

TEST(Read, FilterRefusalAndNumericNames) {
  ReportRecorder rec;
  EXPECT_EQ(parse("<a>\n\n<c></c></a>", refuse_c), nullptr);
  ASSERT_EQ(rec.reports().size(), 1u);
  EXPECT_EQ(rec.reports()[0].severity, 13);
  EXPECT_EQ(rec.reports()[0].text, "madiopa: Line 3, tag id c is invalid here");

  // Without a table ids stand for names.
  recorded_reports().clear();
  const char* names[] = {"p", "q", nullptr};
  const int32_t ids[] = {7, 9};
  Input in{"<p><q></p>"};
  MadStream* s = madiosu(&in, nullptr, read_byte, nullptr, names, ids, &SinsiAngleDelimiters,
                         nullptr);
  EXPECT_EQ(madiopa(s, 1), nullptr);
  madiocl(s);
  ASSERT_EQ(rec.reports().size(), 1u);
  EXPECT_EQ(rec.reports()[0].text, "madiopa: Line 1, End tag (7) does not match start tag (9)");
}

TEST(Read, NestingLimitIsReported) {
  ReportRecorder rec;
  std::string deep;
  for (int i = 0; i < 4097; ++i) deep += "<a>";
  EXPECT_EQ(parse(deep), nullptr);
  ASSERT_EQ(rec.reports().size(), 1u);
  EXPECT_EQ(rec.reports()[0].severity, 15);
  EXPECT_EQ(rec.reports()[0].text, "tedstps: Stacksize exceeded");
}

TEST(Read, ReadAllZeroStopsAfterTheFirstElement) {
  Input in{"<a>1</a><a>2</a>"};
  MadStream* s = madioss(&in, nullptr, read_byte, nullptr, kTable, &SinsiAngleDelimiters,
                         nullptr);
  MadNode* first = madiopa(s, 0);
  MadNode* second = madiopa(s, 0);
  EXPECT_EQ(tree_text(first, kNames), "a=1");
  EXPECT_EQ(tree_text(second, kNames), "a=2");
  madmtfr(first);
  madmtfr(second);
  madiocl(s);
}

TEST(Write, LayoutFromFlags) {
  MadNode* root = parse("<a><b>x</b><c><c>y</c></c><b><a>z</a></b></a>");
  // a at depth 0 (own line), b with a blank line before at depth 1, c inline.
  EXPECT_EQ(write(root), "\n<a>\n\n <b>x</b><c><c>y</c></c>\n\n <b>\n  <a>z</a>\n </b>\n</a>\n");
  madmtfr(root);
}

TEST(Write, CommentsNeverSwallowTheNextTag) {
  // After the strip, comments before an inline tag, before an end tag
  // without a line break, and before an inline first tag lack their line
  // end; the writer gives it back.
  MadNode* root = parse("# head\n<c>\n# x\n<c>v</c>\n# last\n</c>\n");
  madutsf(root);
  const std::string out = write(root);
  EXPECT_EQ(out, "# head\n<c>\n# x\n<c>v</c>\n# last\n</c>\n");
  MadNode* again = parse(out);
  madutsf(again);
  EXPECT_EQ(tree_text(again, kNames), tree_text(root, kNames));
  madmtfr(again);
  madmtfr(root);
}

TEST(Write, DeepNestingIndentsBeyondFiftyThree) {
  std::string in, expected;
  for (int i = 0; i < 60; ++i) in += "<a>";
  in += "v";
  for (int i = 0; i < 60; ++i) in += "</a>";
  for (int i = 0; i < 60; ++i) expected += "\n" + std::string(i, ' ') + "<a>";
  expected += "v</a>";
  for (int i = 58; i >= 0; --i) expected += "\n" + std::string(i, ' ') + "</a>";
  expected += "\n";
  MadNode* root = parse(in);
  EXPECT_EQ(write(root), expected);
  madmtfr(root);
}

TEST(Write, BadArguments) {
  ReportRecorder rec;
  EXPECT_EQ(madiowr(nullptr, nullptr), 15);
  EXPECT_EQ(madiofw(nullptr, nullptr, 0), 15);
  ASSERT_EQ(rec.reports().size(), 2u);
  EXPECT_EQ(rec.reports()[0].text, "madiofw: Bad arguments.");
  EXPECT_EQ(rec.reports()[0].severity, 15);
}

TEST(Setup, InconsistentTableIsReported) {
  ReportRecorder rec;
  DdTagInfo bad[] = {{0, "a", 1}, {5, "b", 1}, {-1, nullptr, 0}};
  Input in{""};
  MadStream* s = madioss(&in, nullptr, read_byte, nullptr, bad, &SinsiAngleDelimiters, nullptr);
  ASSERT_NE(s, nullptr);
  madiocl(s);
  ASSERT_EQ(rec.reports().size(), 1u);
  EXPECT_EQ(rec.reports()[0].text, "madioss: Inconsistency in tag information at tag 1");
  EXPECT_EQ(rec.reports()[0].severity, 15);
}

}  // namespace
