// Node operations, structural errors and the final-white-space strip.
#include <gtest/gtest.h>

#include <string>

#include "madat/madat.h"
#include "madmt/madmt.h"
#include "madut/madut.h"
#include "support/recorded_reports.h"
#include "support/tree_text.h"

namespace {

MadNode* tag(MadNode* parent, int32_t id, const char* value = nullptr) {
  return madmtac(parent, MAD_TAG, id, value);
}

TEST(Nodes, BuildersAndSearches) {
  MadNode* root = madmtmr();
  EXPECT_EQ(root->kind, MAD_ROOT);
  EXPECT_EQ(root->tag_id, 0);
  MadNode* cursor = nullptr;
  MadNode* a = madmtcn(root, &cursor, MAD_TAG, 1, "a");
  madmtcn(root, &cursor, MAD_TEXT, -1, " ");
  MadNode* b = madmtcn(root, &cursor, MAD_TAG, 2, nullptr);
  EXPECT_EQ(cursor, b);
  MadNode* stale = a;
  EXPECT_EQ(madmtcn(root, &stale, MAD_TAG, 3, nullptr), nullptr);  // not the last child
  MadNode* none = nullptr;
  EXPECT_EQ(madmtcn(b, &stale, MAD_TAG, 3, nullptr), nullptr);  // childless parent, cursor set
  EXPECT_NE(madmtcn(b, &none, MAD_TAG, 3, "c"), nullptr);
  madmtic(root, nullptr, MAD_COMMENT, -1, "# first");
  madmtic(root, a, MAD_TAG, 1, "a2");
  EXPECT_EQ(tree_text(root), "# first,1=a,1=a2,' ',2(3=c)");

  EXPECT_EQ(madmtfc(root, MAD_MASK_TAG), a);
  EXPECT_EQ(madmtfc(root, 0), nullptr);
  EXPECT_EQ(madmtns(a, MAD_MASK_TEXT)->value, std::string(" "));
  EXPECT_EQ(madmtlc(root, 1)->value, std::string("a2"));
  EXPECT_EQ(madmtpv(root, b, MAD_MASK_TAG)->value, std::string("a2"));
  EXPECT_EQ(madmtpv(root, root->child, MAD_MASK_ANY), nullptr);
  EXPECT_EQ(madatgc(root, 1), a);
  EXPECT_EQ(madatns(a, 1)->value, std::string("a2"));
  EXPECT_EQ(madatns(root->child, 1), nullptr);  // a comment is no tag
  int32_t id = -5, kind = -5;
  EXPECT_EQ(madatgi(b, &id), 0);
  EXPECT_EQ(id, 2);
  EXPECT_EQ(madatgi(root->child, &id), 15);
  EXPECT_EQ(madatgk(root->child, &kind), 0);
  EXPECT_EQ(kind, MAD_COMMENT);
  EXPECT_EQ(madatgk(nullptr, &kind), 15);
  EXPECT_EQ(madmtac(nullptr, MAD_TAG, 1, nullptr), nullptr);
  madmtfr(root);
}

TEST(Nodes, StructuralErrorsReportAndFail) {
  ReportRecorder rec;
  MadNode* p = madmtmr();
  MadNode* a = tag(p, 1, "a");
  MadNode* b = tag(p, 2, "b");
  MadNode* c = tag(p, 3);
  tag(c, 4, "d");
  MadNode* other = madmtmr();
  MadNode* stranger = tag(other, 9);

  EXPECT_EQ(madmtic(p, stranger, MAD_TAG, 5, nullptr), nullptr);
  EXPECT_EQ(madmtst(p, nullptr, stranger), nullptr);
  EXPECT_EQ(madmtst(p, stranger, b), nullptr);
  EXPECT_EQ(madmtst(p, b, a), nullptr);
  MadNode* root = madmtmr();
  tag(root, 7);
  EXPECT_EQ(madmtis(p, stranger, root), nullptr);
  EXPECT_EQ(madmtdc(p, stranger), 11);
  EXPECT_EQ(madmtdc(p, nullptr), 11);
  EXPECT_EQ(madatgv(c), nullptr);
  EXPECT_EQ(madatcv(c, "x"), 11);
  EXPECT_EQ(madatcv(nullptr, "x"), 11);
  const char* expected[] = {
      "madmtic: previous_sibling wasn't one of parent's children",
      "madmtst: last child is not a child of parent",
      "madmtst: previous_child not a child of parent",
      "madmtst: last child does not follow previos_child",
      "madmtis: previous_sibling wasn't one of parent's children",
      "madmtdc: Child not in parent's list",
      "madatgv: Node is not a leaf",
      "madatcv: Node is not a leaf node",
      "madatcv: Node is not a leaf node",
  };
  ASSERT_EQ(rec.reports().size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_EQ(rec.reports()[i].severity, 0);
    EXPECT_EQ(rec.reports()[i].text, expected[i]);
  }
  EXPECT_EQ(tree_text(p), "1=a,2=b,3(4=d)");

  // The working paths: cut b..c out, put them back at the front.
  MadNode* run = madmtst(p, a, c);
  ASSERT_NE(run, nullptr);
  EXPECT_EQ(tree_text(p), "1=a");
  EXPECT_EQ(madmtis(p, nullptr, run), b);
  EXPECT_EQ(tree_text(p), "2=b,3(4=d),1=a");
  EXPECT_EQ(madmtis(p, b, root)->tag_id, 7);
  EXPECT_EQ(tree_text(p), "2=b,7,3(4=d),1=a");
  EXPECT_EQ(madmtdc(p, c), 0);
  EXPECT_EQ(madatcv(a, "changed"), 0);
  EXPECT_EQ(tree_text(p), "2=b,7,1=changed");
  madmtfr(other);
  madmtfr(p);
}

TEST(Strip, LastOfEachRunIsTrimmed) {
  struct Case {
    const char* value;
    const char* expected;  // null: the node is deleted
  } cases[] = {
      {"foo\n", "foo"},     {"foo \n", "foo "},  {"foo \t", "foo"}, {"foo\n  ", "foo"},
      {"foo\n\n", "foo\n"}, {"foo", "foo"},      {" \n\t\r", nullptr}, {"", nullptr},
      {"a \n\t ", "a "},
  };
  for (const Case& k : cases) {
    MadNode* root = madmtmr();
    MadNode* t = tag(root, 1);
    madmtac(t, MAD_TEXT, 1, k.value);
    madutsf(root);
    if (k.expected) {
      ASSERT_NE(t->child, nullptr) << k.value;
      EXPECT_EQ(std::string(t->child->value), k.expected);
    } else {
      EXPECT_EQ(t->child, nullptr) << k.value;
    }
    madmtfr(root);
  }
}

TEST(Strip, RunsTagsAndLeafValues) {
  MadNode* root = madmtmr();
  madmtac(root, MAD_COMMENT, -1, "# head\n");
  madmtac(root, MAD_COMMENT, -1, "# two\n");
  MadNode* db = tag(root, 0);
  madmtac(root, MAD_TEXT, -1, "\n");  // blank after the last element
  madmtac(db, MAD_TEXT, 0, "\n ");
  tag(db, 2, "leaf \n");  // leaf values are never touched
  madmtac(db, MAD_TEXT, 0, "x\n");
  madmtac(db, MAD_COMMENT, 0, "# c\n");
  madmtac(db, MAD_TEXT, 0, "\n  ");
  madmtac(db, MAD_TEXT, 0, " ");
  tag(db, 3);
  madmtac(db, MAD_TEXT, 0, "\n");
  madutsf(root);
  EXPECT_EQ(tree_text(root), "# head\n,# two,0(2=leaf \n,'x\n',# c,3)");
  madmtfr(root);
}

TEST(Strip, ReportsBadEntryNodes) {
  ReportRecorder rec;
  madutsf(nullptr);
  MadNode* text = madmtmn(MAD_TEXT, 1, "x");
  madutsf(text);
  MadNode* root = madmtmr();
  MadNode* odd = madmtac(root, MAD_TEXT, -1, "t");
  madmtac(odd, MAD_TEXT, -1, "child");
  madutsf(root);
  ASSERT_EQ(rec.reports().size(), 3u);
  EXPECT_EQ(rec.reports()[0].text, "madutsf: node is NULL.");
  EXPECT_EQ(rec.reports()[1].text, "madutsf: node is not a tag or root node.");
  EXPECT_EQ(rec.reports()[2].text, "madutsf: Wait a minute... this text node has a child.");
  for (const RecordedReport& r : rec.reports()) EXPECT_EQ(r.severity, 15);
  madmtfr(text);
  madmtfr(root);
}

// Many siblings must not cost stack depth (strip, free, merge walk them).
TEST(Nodes, WideSiblingListsAreWalkedWithoutRecursion) {
  MadNode* root = madmtmr();
  MadNode* cursor = nullptr;
  for (int i = 0; i < 300000; ++i) {
    madmtcn(root, &cursor, MAD_TAG, 1, nullptr);
    madmtcn(root, &cursor, MAD_TEXT, -1, "\n ");
  }
  madutsf(root);
  size_t n = 0;
  for (MadNode* c = root->child; c; c = c->next) ++n;
  EXPECT_EQ(n, 300000u);  // every blank text ends its run and goes
  madmtfm(root);
  madmtfr(root);
}

}  // namespace
