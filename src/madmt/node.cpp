// Making, linking, finding and freeing tagged-tree nodes.
#include <cstdlib>
#include <cstring>

#include "madmt/madmt.h"
#include "msg/msg.h"

namespace {

const char* const kMakeNode = "madmt/MakeNode.c";

char* copy_value(const char* value) {
  if (!value) return nullptr;
  const long n = static_cast<long>(strlen(value)) + 1;
  char* copy = static_cast<char*>(vq_malloc(n, 1, __LINE__, kMakeNode));
  memcpy(copy, value, static_cast<size_t>(n));
  return copy;
}

bool in_mask(const MadNode* node, int32_t mask) {
  return node->kind >= 0 && node->kind < 31 && (mask & (1 << node->kind)) != 0;
}

// Frees one node with its subtree; its siblings are left alone.
void free_subtree(MadNode* node) {
  madmtfr(node->child);
  free(node->value);
  free(node);
}

bool is_child(const MadNode* parent, const MadNode* node) {
  for (const MadNode* c = parent->child; c; c = c->next)
    if (c == node) return true;
  return false;
}

}  // namespace

MadNode* madmtmn(int32_t kind, int32_t tag_id, const char* value) {
  MadNode* node = static_cast<MadNode*>(vq_malloc(1, sizeof(MadNode), __LINE__, kMakeNode));
  node->kind = kind;
  node->tag_id = tag_id;
  node->value = copy_value(value);
  node->merge = nullptr;
  node->line = 0;
  node->next = nullptr;
  node->child = nullptr;
  return node;
}

MadNode* madmtmr() { return madmtmn(MAD_ROOT, 0, nullptr); }

MadNode* madmtac(MadNode* parent, int32_t kind, int32_t tag_id, const char* value) {
  if (!parent) return nullptr;
  MadNode* node = madmtmn(kind, tag_id, value);
  MadNode** link = &parent->child;
  while (*link) link = &(*link)->next;
  *link = node;
  return node;
}

MadNode* madmtcn(MadNode* parent, MadNode** cursor, int32_t kind, int32_t tag_id,
                 const char* value) {
  if (!parent || !cursor) return nullptr;
  if (parent->child) {
    // The cursor is the parent's last child; checking its link keeps this
    // constant-time for a parent with many children.
    if (!*cursor || (*cursor)->next) return nullptr;
  } else if (*cursor) {
    return nullptr;
  }
  MadNode* node = madmtmn(kind, tag_id, value);
  if (parent->child)
    (*cursor)->next = node;
  else
    parent->child = node;
  *cursor = node;
  return node;
}

MadNode* madmtic(MadNode* parent, MadNode* previous, int32_t kind, int32_t tag_id,
                 const char* value) {
  if (!parent) return nullptr;
  if (previous) {
    if (!parent->child) return nullptr;
    if (!is_child(parent, previous)) {
      vq_report(0, "madmtic: previous_sibling wasn't one of parent's children");
      return nullptr;
    }
  }
  MadNode* node = madmtmn(kind, tag_id, value);
  MadNode** link = previous ? &previous->next : &parent->child;
  node->next = *link;
  *link = node;
  return node;
}

int madmtdc(MadNode* parent, MadNode* child) {
  if (!parent || !child || !parent->child) return 11;
  MadNode** link = &parent->child;
  while (*link && *link != child) link = &(*link)->next;
  if (!*link) {
    vq_report(0, "madmtdc: Child not in parent's list");
    return 11;
  }
  *link = child->next;
  free_subtree(child);
  return 0;
}

void madmtfr(MadNode* node) {
  while (node) {
    MadNode* next = node->next;
    free_subtree(node);
    node = next;
  }
}

MadNode* madmtfc(const MadNode* node, int32_t mask) {
  if (!node || !mask) return nullptr;
  for (MadNode* c = node->child; c; c = c->next)
    if (in_mask(c, mask)) return c;
  return nullptr;
}

MadNode* madmtns(const MadNode* node, int32_t mask) {
  if (!node || !mask) return nullptr;
  for (MadNode* c = node->next; c; c = c->next)
    if (in_mask(c, mask)) return c;
  return nullptr;
}

MadNode* madmtpv(const MadNode* parent, const MadNode* child, int32_t mask) {
  if (!parent) return nullptr;
  MadNode* found = nullptr;
  for (MadNode* c = parent->child; c && c != child; c = c->next)
    if (in_mask(c, mask)) found = c;
  return found;
}

MadNode* madmtlc(const MadNode* parent, int32_t tag_id) {
  if (!parent) return nullptr;
  MadNode* found = nullptr;
  for (MadNode* c = parent->child; c; c = c->next)
    if (c->kind == MAD_TAG && c->tag_id == tag_id) found = c;
  return found;
}

int madmtsm(MadNode* node, MrgDta* merge) {
  if (!node) return 11;
  node->merge = merge;
  return 0;
}
