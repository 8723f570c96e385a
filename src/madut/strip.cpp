// Strip of final white space, run after every read of a tagged text: the
// reader keeps the white space between tags as text nodes, and the writer
// regenerates all layout, so blank runs at the end of a parent's text go
// and the last text or comment of each run loses its final line end.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "madut/madut.h"
#include "msg/msg.h"

namespace {

bool only_white_space(const char* value) {
  if (!value) return true;
  for (const char* p = value; *p; ++p)
    if (!strchr(" \t\n\v\f\r", *p)) return false;
  return true;
}

// Trailing blanks and tabs with one newline before them, else one final
// newline.
void trim_end(char* value) {
  size_t n = strlen(value);
  if (n > 0 && (value[n - 1] == ' ' || value[n - 1] == '\t')) {
    while (n > 0 && (value[n - 1] == ' ' || value[n - 1] == '\t')) --n;
    if (n > 0 && value[n - 1] == '\n') --n;
  } else if (n > 0 && value[n - 1] == '\n') {
    --n;
  }
  value[n] = '\0';
}

// Processes parent's children from the last to the first, so that each
// node sees its next sibling as that sibling's processing left it. The
// children are listed in one shared vector (each level uses the part above
// the levels it is nested in), which avoids recursion over siblings.
void strip_children(MadNode* parent, std::vector<MadNode*>& list) {
  const size_t base = list.size();
  for (MadNode* c = parent->child; c; c = c->next) list.push_back(c);
  for (size_t i = list.size(); i > base; --i) {
    MadNode* node = list[i - 1];
    if (node->kind == MAD_TAG || node->kind == MAD_ROOT) {
      strip_children(node, list);
      continue;
    }
    if (node->child) {
      vq_report(15, "madutsf: Wait a minute... this text node has a child.");
      continue;
    }
    const MadNode* next = node->next;
    if (next && (next->kind == MAD_TEXT || next->kind == MAD_COMMENT)) continue;
    if (only_white_space(node->value)) {
      // Earlier siblings are unprocessed and still linked, so the one before
      // node is the list entry before it.
      MadNode* previous = i - 1 > base ? list[i - 2] : nullptr;
      if (previous)
        previous->next = node->next;
      else
        parent->child = node->next;
      node->next = nullptr;
      madmtfr(node);
    } else {
      trim_end(node->value);
    }
  }
  list.resize(base);
}

}  // namespace

void madutsf(MadNode* node) {
  if (!node) {
    vq_report(15, "madutsf: node is NULL.");
    return;
  }
  if (node->kind != MAD_TAG && node->kind != MAD_ROOT) {
    vq_report(15, "madutsf: node is not a tag or root node.");
    return;
  }
  std::vector<MadNode*> list;
  strip_children(node, list);
}
