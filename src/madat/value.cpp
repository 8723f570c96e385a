// Kind, tag id and value of tagged-tree nodes, and the tag child look-ups.
#include <cstdlib>
#include <cstring>

#include "madat/madat.h"
#include "msg/msg.h"

namespace {

// The first tag node with the id from node on (node and its following
// siblings).
MadNode* first_tag_from(MadNode* node, int32_t tag_id) {
  for (; node; node = node->next)
    if (node->kind == MAD_TAG && node->tag_id == tag_id) return node;
  return nullptr;
}

}  // namespace

MadNode* madatgc(const MadNode* node, int32_t tag_id) {
  if (!node) return nullptr;
  return first_tag_from(node->child, tag_id);
}

MadNode* madatns(const MadNode* node, int32_t tag_id) {
  if (!node || node->kind != MAD_TAG) return nullptr;
  return first_tag_from(node->next, tag_id);
}

int madatgi(const MadNode* node, int32_t* tag_id) {
  if (!node || node->kind != MAD_TAG) return 15;
  if (tag_id) *tag_id = node->tag_id;
  return 0;
}

int madatgk(const MadNode* node, int32_t* kind) {
  if (!node) return 15;
  if (kind) *kind = node->kind;
  return 0;
}

const char* madatgv(const MadNode* node) {
  if (!node) return nullptr;
  if (node->child) {
    vq_report(0, "madatgv: Node is not a leaf");
    return nullptr;
  }
  return node->value;
}

int madatcv(MadNode* node, const char* value) {
  if (!node || node->child) {
    vq_report(0, "madatcv: Node is not a leaf node");
    return 11;
  }
  if (!value) return 11;
  const long n = static_cast<long>(strlen(value)) + 1;
  char* copy = static_cast<char*>(vq_malloc(n, 1, __LINE__, "madat/ChgValue.c"));
  memcpy(copy, value, static_cast<size_t>(n));
  free(node->value);
  node->value = copy;
  return 0;
}
