// Making and releasing merge data.
#include <cstdlib>

#include "madut/madut.h"
#include "msg/msg.h"

MrgDta* madutmd(int32_t op, int32_t tag_id, int32_t key_child_id, const char* key,
                MrgDta* next, int32_t after, std::initializer_list<int32_t> anchors) {
  const char* const where = "madut/MakeMrgDta.c";
  MrgDta* data = static_cast<MrgDta*>(vq_malloc(1, sizeof(MrgDta), __LINE__, where));
  data->op = op;
  data->next = next;
  data->tag_id = tag_id;
  data->key_child_id = key_child_id;
  data->key = key;
  data->after = after;
  long count = 0;
  for (int32_t id : anchors) {
    if (id == 0) break;
    ++count;
  }
  data->anchors = static_cast<int32_t*>(vq_malloc(count + 1, sizeof(int32_t), __LINE__, where));
  long i = 0;
  for (int32_t id : anchors) {
    if (i == count) break;
    data->anchors[i++] = id;
  }
  data->anchors[count] = 0;
  return data;
}

void madutfd(MrgDta* merge) {
  if (!merge) return;
  free(merge->anchors);
  free(merge);
}
