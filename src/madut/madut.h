// Tree utilities: merge data for merge trees, and the strip of final white
// space that follows every read of a tagged text.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "madmt/madmt.h"

// Merge operations.
enum : int32_t {
  MRG_MATCH = 0,    // match the target child and descend
  MRG_ADD = 1,      // move the subtree into the target
  MRG_REPLACE = 2,  // put the subtree where the matched child stood
  MRG_DELETE = 3,   // delete the matched child
};

// Merge data of one merge-tree node.
struct MrgDta {
  int32_t op;            // MRG_MATCH ... MRG_DELETE
  MrgDta* next;          // further record for the same node, handed on to
                         // the matched or new target node; null as built
  int32_t tag_id;        // id of the candidate target children
  int32_t key_child_id;  // tag id of the child holding the key; -1 none
  const char* key;       // not copied: the caller keeps it alive until the
                         // merge; null compares as ""
  int32_t after;         // 1 insert after the anchor, 0 before it
  int32_t* anchors;      // owned, tag ids tried in order, ended by 0
};

// New merge data with the fields in this order. The anchor ids are copied
// up to the first 0 (tag id 0 is the root tag, never an anchor), and the
// copy is ended by 0. Allocation failures report "madut/MakeMrgDta.c".
MrgDta* madutmd(int32_t op, int32_t tag_id, int32_t key_child_id, const char* key,
                MrgDta* next, int32_t after, std::initializer_list<int32_t> anchors);
// Releases one record with its anchor array (not its next link).
void madutfd(MrgDta* merge);

// Strips final white space below a tag or root node: of each run of
// adjacent text and comment nodes only the last is trimmed (a final
// newline, or trailing blanks and tabs with one newline before them), and
// blank ones at a run's end are deleted.
void madutsf(MadNode* node);
