// Matching, placement and the merge of merge trees into target trees.
#include <gtest/gtest.h>

#include "madat/madat.h"
#include "madmt/madmt.h"
#include "madut/madut.h"
#include "support/recorded_reports.h"
#include "support/tree_text.h"

namespace {

MadNode* tag(MadNode* parent, int32_t id, const char* value = nullptr) {
  return madmtac(parent, MAD_TAG, id, value);
}

// A merge-tree child with its merge data.
MadNode* mtag(MadNode* parent, int32_t id, const char* value, MrgDta* data) {
  MadNode* n = tag(parent, id, value);
  madmtsm(n, data);
  return n;
}

struct Trees {
  MadNode* target = madmtmr();
  MadNode* merge = madmtmr();
  ~Trees() {
    madmtfm(merge);
    madmtfr(merge);
    madmtfr(target);
  }
};

TEST(Match, KeysCandidatesAndMissingKeyChildren) {
  MadNode* p = madmtmr();
  MadNode* a = tag(p, 5);
  tag(a, 2, "a");
  MadNode* b = tag(p, 5);
  tag(b, 2, "b");
  tag(p, 5);  // no key child
  MadNode* c = tag(p, 5);
  tag(c, 2, "c");
  MadNode* e = tag(p, 5);
  tag(e, 2);  // key child without a value compares as ""
  struct Case {
    int32_t key_child;
    const char* key;
    MadNode* expected;
  } cases[] = {
      {-1, nullptr, a}, {2, "b", b}, {2, "a", a}, {2, "c", c}, {2, "zz", nullptr},
      {2, "", e},       {2, nullptr, e},
  };
  for (const Case& k : cases) {
    MrgDta* d = madutmd(MRG_MATCH, 5, k.key_child, k.key, nullptr, 1, {});
    EXPECT_EQ(madmtfk(p, d), k.expected) << (k.key ? k.key : "(null)");
    madutfd(d);
  }
  MrgDta* other = madutmd(MRG_MATCH, 6, -1, nullptr, nullptr, 1, {});
  EXPECT_EQ(madmtfk(p, other), nullptr);
  madutfd(other);
  madmtfr(p);

  // A first candidate without a key child is the match whatever the key.
  MadNode* q = madmtmr();
  MadNode* first = tag(q, 5);
  tag(tag(q, 5), 2, "x");
  MrgDta* d = madutmd(MRG_MATCH, 5, 2, "x", nullptr, 1, {});
  EXPECT_EQ(madmtfk(q, d), first);
  madutfd(d);
  madmtfr(q);
}

TEST(Placement, AnchorsAfterAndBefore) {
  MadNode* p = madmtmr();
  MadNode* one = tag(p, 1);
  MadNode* three = tag(p, 3);
  madmtac(p, MAD_COMMENT, -1, "# c");
  MadNode* last_one = tag(p, 1);
  tag(p, 4);
  struct Case {
    std::initializer_list<int32_t> anchors;
    int32_t after;
    MadNode* expected;
  } cases[] = {
      {{1}, 1, last_one},     // after the LAST child with the first anchor id
      {{9, 3, 1}, 1, three},  // the first anchor id present decides
      {{1}, 0, three},        // before: after the tag child preceding the anchor
      {{3}, 0, one},
      {{9}, 1, nullptr},      // no anchor present: front
      {{}, 1, nullptr},
  };
  for (const Case& k : cases) {
    MrgDta* d = madutmd(MRG_MATCH, 7, -1, nullptr, nullptr, k.after, k.anchors);
    EXPECT_EQ(madmtap(p, d), k.expected);
    madutfd(d);
  }
  MadNode* q = madmtmr();
  tag(q, 3);
  MrgDta* d = madutmd(MRG_MATCH, 7, -1, nullptr, nullptr, 0, {3});
  EXPECT_EQ(madmtap(q, d), nullptr);  // anchor is the first tag child: front
  madutfd(d);
  madmtfr(q);
  madmtfr(p);
}

TEST(Merge, UnmatchedKeyInsertsAfterLastAnchorOrAtFront) {
  Trees t;
  tag(tag(t.target, 43), 2, "a");
  tag(tag(t.target, 43), 2, "b");
  tag(t.target, 9);
  MadNode* r = mtag(t.merge, 43, nullptr, madutmd(MRG_MATCH, 43, 2, "c", nullptr, 1, {43}));
  mtag(r, 2, "c", madutmd(MRG_MATCH, 2, -1, nullptr, nullptr, 1, {}));
  EXPECT_EQ(madmtmt(t.target, t.merge), 0);
  EXPECT_EQ(tree_text(t.target), "43(2=a),43(2=b),43(2=c),9");
  EXPECT_EQ(tree_text(t.merge), "");  // the unmatched merge node is gone

  Trees u;
  tag(u.target, 9);
  MadNode* s = mtag(u.merge, 43, nullptr, madutmd(MRG_MATCH, 43, 2, "c", nullptr, 1, {43}));
  mtag(s, 2, "c", madutmd(MRG_MATCH, 2, -1, nullptr, nullptr, 1, {}));
  madmtmt(u.target, u.merge);
  EXPECT_EQ(tree_text(u.target), "43(2=c),9");
}

TEST(Merge, ReplaceInPlaceMovesPrecedingComments) {
  Trees t;
  tag(t.target, 1, "one");
  tag(t.target, 2, "old");
  tag(t.target, 3, "three");
  madmtac(t.merge, MAD_COMMENT, -1, "# moved");
  mtag(t.merge, 2, "new", madutmd(MRG_REPLACE, 2, -1, nullptr, nullptr, 1, {3}));
  madmtmt(t.target, t.merge);
  EXPECT_EQ(tree_text(t.target), "1=one,# moved,2=new,3=three");

  // Absent: placed by the anchors.
  Trees u;
  tag(u.target, 1, "one");
  tag(u.target, 3, "three");
  mtag(u.merge, 2, "new", madutmd(MRG_REPLACE, 2, -1, nullptr, nullptr, 1, {1}));
  madmtmt(u.target, u.merge);
  EXPECT_EQ(tree_text(u.target), "1=one,2=new,3=three");
}

TEST(Merge, AddDeleteAndTheKeptMarker) {
  Trees t;
  tag(t.target, 1, "x");
  tag(t.target, 4, "gone");
  tag(t.target, 5, "y");
  // Match 1 (kept), then a comment and an add: only the comment after the
  // kept node moves with the added node; then delete 4.
  mtag(t.merge, 1, nullptr, madutmd(MRG_MATCH, 1, -1, nullptr, nullptr, 1, {}));
  madmtac(t.merge, MAD_COMMENT, -1, "# added");
  MadNode* add = mtag(t.merge, 6, nullptr, madutmd(MRG_ADD, 6, -1, nullptr, nullptr, 1, {5}));
  tag(add, 7, "sub");
  mtag(t.merge, 4, nullptr, madutmd(MRG_DELETE, 4, -1, nullptr, nullptr, 1, {}));
  madmtmt(t.target, t.merge);
  EXPECT_EQ(tree_text(t.target), "1=x,5=y,# added,6(7=sub)");
  EXPECT_EQ(tree_text(t.merge), "1,4");
}

TEST(Merge, MatchCopiesLeafValuesOnly) {
  ReportRecorder rec;
  Trees t;
  tag(t.target, 1, "old");
  tag(tag(t.target, 2), 3, "kid");
  mtag(t.merge, 1, "new", madutmd(MRG_MATCH, 1, -1, nullptr, nullptr, 1, {}));
  mtag(t.merge, 2, "ignored", madutmd(MRG_MATCH, 2, -1, nullptr, nullptr, 1, {}));
  madmtmt(t.target, t.merge);
  EXPECT_EQ(tree_text(t.target), "1=new,2(3=kid)");
  ASSERT_EQ(rec.reports().size(), 1u);
  EXPECT_EQ(rec.reports()[0].severity, 0);
  EXPECT_EQ(rec.reports()[0].text, "madatcv: Node is not a leaf node");
}

TEST(Merge, UnknownOpIsAnInternalError) {
  ReportRecorder rec;
  Trees t;
  tag(t.target, 1, "x");
  mtag(t.merge, 1, nullptr, madutmd(7, 1, -1, nullptr, nullptr, 1, {}));
  madmtmt(t.target, t.merge);
  EXPECT_EQ(tree_text(t.target), "1=x");
  ASSERT_EQ(rec.reports().size(), 1u);
  EXPECT_EQ(rec.reports()[0].severity, 15);
  EXPECT_EQ(rec.reports()[0].text, "madmtmt: Internal Error, fell throught switch.\n");
}

// Merge data nested in a moved subtree is released with the move: the
// target tree never carries records from inside an added subtree.
TEST(Merge, MovedSubtreesCarryNoMergeData) {
  Trees t;
  MadNode* add = mtag(t.merge, 4, nullptr, madutmd(MRG_ADD, 4, -1, nullptr, nullptr, 1, {}));
  MadNode* inner = mtag(add, 5, "v", madutmd(MRG_REPLACE, 5, -1, nullptr, nullptr, 1, {}));
  madmtmt(t.target, t.merge);
  EXPECT_EQ(tree_text(t.target), "4(5=v)");
  EXPECT_EQ(inner->merge, nullptr);
}

TEST(Merge, NextRecordGoesToTheTargetNode) {
  Trees t;
  MadNode* existing = tag(t.target, 1);
  MrgDta* further = madutmd(MRG_DELETE, 8, -1, nullptr, nullptr, 1, {});
  mtag(t.merge, 1, nullptr, madutmd(MRG_MATCH, 1, -1, nullptr, further, 1, {}));
  madmtmt(t.target, t.merge);
  EXPECT_EQ(existing->merge, further);
  madmtfm(t.target);
  EXPECT_EQ(existing->merge, nullptr);
}

}  // namespace
