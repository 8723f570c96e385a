// Finding the entry a getter works on.
#include "addgi/internal.h"
#include "madat/madat.h"

namespace addgi_internal {

MadNode* entry_node(MadNode* node, std::initializer_list<int32_t> path, const char* id) {
  if (node && node->kind == MAD_ROOT) {
    for (int32_t tag : path) node = madatgc(node, tag);
    return node;
  }
  int32_t tag = -1;
  if (madatgi(node, &tag) != 0 || tag != *(path.end() - 1)) {
    report_bad_args(id);
    return nullptr;
  }
  return node;
}

}  // namespace addgi_internal
