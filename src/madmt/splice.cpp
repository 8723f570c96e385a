// Cutting runs of children out of a parent and inserting them elsewhere:
// the moves a merge makes when it adds or replaces a subtree.
#include <cstdlib>

#include "madmt/madmt.h"
#include "msg/msg.h"

namespace {

// The link that points at node within parent's children, or null.
MadNode** link_to(MadNode* parent, const MadNode* node) {
  for (MadNode** link = &parent->child; *link; link = &(*link)->next)
    if (*link == node) return link;
  return nullptr;
}

}  // namespace

MadNode* madmtis(MadNode* parent, MadNode* previous, MadNode* root) {
  if (!parent || !root || root->kind != MAD_ROOT || !root->child) return nullptr;
  MadNode** link = &parent->child;
  if (previous) {
    if (!link_to(parent, previous)) {
      vq_report(0, "madmtis: previous_sibling wasn't one of parent's children");
      return nullptr;
    }
    link = &previous->next;
  }
  MadNode* first = root->child;
  MadNode* last = first;
  while (last->next) last = last->next;
  last->next = *link;
  *link = first;
  root->child = nullptr;
  madmtfr(root);
  return first;
}

MadNode* madmtst(MadNode* parent, MadNode* previous, MadNode* last) {
  if (!parent || !last) return nullptr;
  MadNode** last_link = link_to(parent, last);
  if (!last_link) {
    vq_report(0, "madmtst: last child is not a child of parent");
    return nullptr;
  }
  MadNode** from = &parent->child;
  if (previous) {
    if (!link_to(parent, previous)) {
      vq_report(0, "madmtst: previous_child not a child of parent");
      return nullptr;
    }
    from = &previous->next;
  }
  // last must be reached walking forward from the start of the run.
  bool follows = false;
  for (MadNode* c = *from; c; c = c->next)
    if (c == last) {
      follows = true;
      break;
    }
  if (!follows) {
    vq_report(0, "madmtst: last child does not follow previos_child");
    return nullptr;
  }
  MadNode* root = madmtmr();
  root->child = *from;
  *from = last->next;
  last->next = nullptr;
  return root;
}
