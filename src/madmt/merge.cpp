// Applying a merge tree to a target tree.
//
// Each tag child of a merge node carries merge data saying which target
// child it stands for (tag id, optionally a key child's value), what to do
// with it (match and descend, add, replace, delete) and where a new node
// goes (after or before the last child of the first anchor id present).
#include <cstring>

#include "madat/madat.h"
#include "madmt/madmt.h"
#include "madut/madut.h"
#include "msg/msg.h"

namespace {

// The value of a key child; null, or the value of a node that has children
// (which has none), compares as the empty text.
const char* key_text(const MadNode* key_child) {
  return key_child->value ? key_child->value : "";
}

}  // namespace

MadNode* madmtfk(const MadNode* target, const MrgDta* merge) {
  if (!target || !merge) return nullptr;
  MadNode* candidate = madatgc(target, merge->tag_id);
  if (merge->key_child_id < 0 || !candidate) return candidate;
  const char* key = merge->key ? merge->key : "";
  for (bool first = true; candidate; candidate = madatns(candidate, merge->tag_id), first = false) {
    const MadNode* key_child = madatgc(candidate, merge->key_child_id);
    if (!key_child) {
      // The first candidate without a key child is taken as the match; a
      // later one has nothing to compare and does not match.
      if (first) return candidate;
      continue;
    }
    if (strcmp(key_text(key_child), key) == 0) return candidate;
  }
  return nullptr;
}

MadNode* madmtap(const MadNode* target, const MrgDta* merge) {
  if (!target || !merge || !merge->anchors) return nullptr;
  for (const int32_t* id = merge->anchors; *id != 0; ++id) {
    MadNode* anchor = madmtlc(target, *id);
    if (!anchor) continue;
    if (merge->after) return anchor;
    return madmtpv(target, anchor, MAD_MASK_TAG);
  }
  return nullptr;
}

int madmtmt(MadNode* target, MadNode* merge_node) {
  if (!target || !merge_node) return 0;
  MadNode* kept = nullptr;  // last child that stays in the merge tree
  MadNode* next_child = nullptr;
  for (MadNode* child = madmtfc(merge_node, MAD_MASK_TAG); child; child = next_child) {
    next_child = madmtns(child, MAD_MASK_TAG);
    MrgDta* data = child->merge;
    if (!data) {
      // A tag child without merge data in a match node: nothing says what
      // it stands for, so it stays where it is.
      vq_report(15, "madmtmt: Internal Error, fell throught switch.\n");
      kept = child;
      continue;
    }
    child->merge = data->next;
    switch (data->op) {
      case MRG_MATCH: {
        MadNode* match = madmtfk(target, data);
        if (match) {
          if (data->next) {
            match->merge = data->next;
            child->merge = nullptr;
          }
          if (child->value) madatcv(match, child->value);
          madmtmt(match, child);
          kept = child;
        } else {
          MadNode* made = madmtic(target, madmtap(target, data), child->kind, child->tag_id,
                                  child->value);
          if (made) {
            made->merge = child->merge;
            child->merge = nullptr;
            madmtmt(made, child);
          }
          madmtdc(merge_node, child);
        }
        break;
      }
      case MRG_ADD: {
        // The subtree moves whole; merge data inside it (say a File entry
        // built for a Files node) has no further use.
        madmtfm(child->child);
        MadNode* run = madmtst(merge_node, kept, child);
        if (run) madmtis(target, madmtap(target, data), run);
        break;
      }
      case MRG_REPLACE: {
        madmtfm(child->child);
        MadNode* match = madmtfk(target, data);
        MadNode* run = madmtst(merge_node, kept, child);
        if (!run) break;
        if (match) {
          madmtis(target, match, run);
          madmtdc(target, match);
        } else {
          madmtis(target, madmtap(target, data), run);
        }
        break;
      }
      case MRG_DELETE: {
        MadNode* match = madmtfk(target, data);
        kept = child;
        if (match) madmtdc(target, match);
        break;
      }
      default:
        vq_report(15, "madmtmt: Internal Error, fell throught switch.\n");
        kept = child;
        break;
    }
    madutfd(data);
  }
  return 0;
}

void madmtfm(MadNode* node) {
  for (; node; node = node->next) {
    for (MrgDta* data = node->merge; data;) {
      MrgDta* next = data->next;
      madutfd(data);
      data = next;
    }
    node->merge = nullptr;
    madmtfm(node->child);
  }
}
