// Growable tables of the multi-file modules.
#include "mfs/mfs.h"
#include "msg/msg.h"

void mfs_table_check_capacity(int32_t capacity, size_t row_size, int line, const char* source) {
  // A table made without room is an allocation report, as an allocation of
  // zero bytes would be (the report does not return).
  if (capacity <= 0) vq_malloc(capacity, static_cast<long>(row_size), line, source);
}
