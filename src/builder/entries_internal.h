// Shared by the builder's data-dictionary entry writers (the Index and the
// Text entry): merge-tree nodes and the refusal of a tag they do not
// handle. Not for other modules.
#pragma once

#include <initializer_list>

#include "dd/dd.h"
#include "madut/madut.h"
#include "msg/msg.h"

namespace bldentry {

// A new tag child of a merge node, carrying the merge data.
inline MadNode* merge_child(MadNode* parent, int32_t tag_id, const char* value, MrgDta* data) {
  MadNode* node = madmtac(parent, MAD_TAG, tag_id, value);
  madmtsm(node, data);
  return node;
}

// A child that replaces the one of its tag, or goes after the last of the
// anchors that stands.
inline MadNode* replacing(MadNode* parent, int32_t tag_id, const char* value,
                          std::initializer_list<int32_t> anchors) {
  return merge_child(parent, tag_id, value,
                     madutmd(MRG_REPLACE, tag_id, -1, nullptr, nullptr, 1, anchors));
}

// Releases a merge tree with its merge data.
inline void release(MadNode* merge) {
  madmtfm(merge);
  madmtfr(merge);
}

// A tag the writer id does not handle: 10002 with the tag's name below
// Display, else 10006 with the value (severity 15); the merge tree is
// released and nothing is merged. 15.
inline int refuse(const char* id, int32_t tag_id, MadNode* merge) {
  release(merge);  // first: the report may not return
  if (tag_id > 0 && tag_id < DD_Display) {
    vq_report(15, GetMsgNumText(10002), id, DdTagTable[tag_id].name);
  } else {
    vq_report(15, GetMsgNumText(10006), id, tag_id);
  }
  return 15;
}

// Merges the tree and releases it; a failed merge reports 40002 with the
// writer's id and what it updates. 0 or the merge's status.
inline int merge_into(MadNode* tree, MadNode* merge, const char* id, const char* what) {
  const int status = madmtmt(tree, merge);
  release(merge);
  if (status != 0) vq_report(15, GetMsgNumText(40002), id, what);
  return status;
}

}  // namespace bldentry
