// Tagged tree: the in-memory form of every tagged text of the suite (the
// data dictionary above all).
//
// A tree is a root node (kind MAD_ROOT) whose children are tags, texts and
// comments. A parent owns its children and a node owns its value. Merge
// trees are ordinary trees whose tag nodes carry merge data (MrgDta, see
// madut/madut.h); madmtmt applies such a tree to a target tree.
//
// Results are a node (null on failure) or a status: 0 success, 11 bad
// argument or not found, 15 internal error, 16 failure of a nested release.
// Structural misuse is reported through the error-handler hook with
// severity 0; allocation failures with severity 14 ("madmt/MakeNode.c").
//
// Nothing here recurses over siblings, only over depth, so a parent with
// any number of children is safe.
#pragma once

#include <cstdint>

struct MrgDta;

// Node kinds.
enum : int32_t {
  MAD_ROOT = -1,
  MAD_COMMENT = 0,
  MAD_TAG = 1,
  MAD_TEXT = 2,
};

// Kind masks (1 << kind) for the sibling and child searches.
enum : int32_t {
  MAD_MASK_COMMENT = 1,
  MAD_MASK_TAG = 2,
  MAD_MASK_TEXT = 4,
  MAD_MASK_ANY = 7,
};

struct MadNode {
  int32_t kind;    // MAD_ROOT, MAD_COMMENT, MAD_TAG or MAD_TEXT
  int32_t tag_id;  // tag: its id; text and comment: the enclosing tag's id
                   // (-1 at top level); root: 0
  char* value;     // owned, NUL-terminated, or null; comments keep their "#"
  MrgDta* merge;   // merge trees only; not released with the node
  int32_t line;    // input line where the reader began the node, else 0
  MadNode* next;   // next sibling
  MadNode* child;  // first child
};

// Making nodes. The value is copied (null stays null).
MadNode* madmtmn(int32_t kind, int32_t tag_id, const char* value);
MadNode* madmtmr();
// Appends a new node as the parent's last child; null parent gives null.
MadNode* madmtac(MadNode* parent, int32_t kind, int32_t tag_id, const char* value);
// The reader's builder: links a new node after *cursor, which must be the
// parent's last child, or makes it the first child when the parent has none
// and *cursor is null; the new node becomes *cursor.
MadNode* madmtcn(MadNode* parent, MadNode** cursor, int32_t kind, int32_t tag_id,
                 const char* value);
// Inserts a new node after previous (a child of parent), or at the front
// when previous is null.
MadNode* madmtic(MadNode* parent, MadNode* previous, int32_t kind, int32_t tag_id,
                 const char* value);

// Moving runs of children. madmtis moves every child of root (a MAD_ROOT
// node with at least one child) after previous, or to the front, frees the
// root and returns the first moved node. madmtst cuts the children after
// previous (from the first when null) through last out of parent into a new
// root.
MadNode* madmtis(MadNode* parent, MadNode* previous, MadNode* root);
MadNode* madmtst(MadNode* parent, MadNode* previous, MadNode* last);

// Deleting. madmtdc deletes one child with its subtree; madmtfr frees a
// node, its subtree and all its following siblings (a whole tree from its
// root). Merge data is not released by either.
int madmtdc(MadNode* parent, MadNode* child);
void madmtfr(MadNode* node);

// Searching. Kind masks select kinds by bit.
MadNode* madmtfc(const MadNode* node, int32_t mask);
MadNode* madmtns(const MadNode* node, int32_t mask);
// The last sibling before child (scanning from parent's first child) whose
// kind is in the mask; null when none precedes it.
MadNode* madmtpv(const MadNode* parent, const MadNode* child, int32_t mask);
// The LAST tag child with the id.
MadNode* madmtlc(const MadNode* parent, int32_t tag_id);

// Merging (see madut/madut.h for MrgDta).
int madmtsm(MadNode* node, MrgDta* merge);
// Merges the children of the merge node into the target's children,
// releasing each merge record once applied. Result 0.
int madmtmt(MadNode* target, MadNode* merge_node);
// The target child that the merge data matches, or null.
MadNode* madmtfk(const MadNode* target, const MrgDta* merge);
// The child after which a new node goes, or null for the front.
MadNode* madmtap(const MadNode* target, const MrgDta* merge);
// Releases and clears the merge data of the node, its following siblings
// and their subtrees.
void madmtfm(MadNode* node);
