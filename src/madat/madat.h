// Attributes of tagged-tree nodes: kind, tag id and value, and the tag
// child look-ups the data-dictionary getters walk with.
#pragma once

#include <cstdint>

#include "madmt/madmt.h"

// The first tag child with the id; null when none.
MadNode* madatgc(const MadNode* node, int32_t tag_id);
// The next tag sibling with the id; null when none or when node is no tag.
MadNode* madatns(const MadNode* node, int32_t tag_id);
// Tag id of a tag node: 0, or 15 when node is null or not a tag.
int madatgi(const MadNode* node, int32_t* tag_id);
// Kind of a node: 0, or 15 for null.
int madatgk(const MadNode* node, int32_t* kind);
// The value of a leaf (may be null). A node with children is reported
// ("madatgv: Node is not a leaf", severity 0) and gives null.
const char* madatgv(const MadNode* node);
// Replaces a leaf's value by a copy of value. 11 and a severity-0 report
// for a null node or a node with children.
int madatcv(MadNode* node, const char* value);
