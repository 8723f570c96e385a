// Filter types: the stream formats a set's filter lists may name.
#include <cstring>

#include "io/vqio.h"
#include "mfs/mfs.h"

MfsFilterTypeTable* mfs_ft_new(int32_t capacity, int32_t step) {
  return mfs_table_new<MfsFormat>(capacity, step, __LINE__, "mfsfiltype");
}

void mfs_ft_free(MfsFilterTypeTable* table) { delete table; }

void mfs_ft_insert(MfsFilterTypeTable* table, const MfsFormat& row, int32_t position) {
  mfs_table_insert(table, row, position);
}

void mfs_ft_delete(MfsFilterTypeTable* table, int32_t position) {
  mfs_table_delete(table, position);
}

int mfs_ft_add_all(MfsFilterTypeTable* table, const MfsFormat* rows) {
  for (; rows && rows->name; ++rows) table->rows.push_back(*rows);
  return 1;
}

int32_t mfs_ft_index(const MfsFilterTypeTable* table, const char* name) {
  if (!name) return -1;
  for (size_t i = 0; i < table->rows.size(); ++i) {
    if (std::strcmp(table->rows[i].name, name) == 0) return static_cast<int32_t>(i);
  }
  return -1;
}

const MfsFormat* mfs_filtype_find(const MfsFilterTypeTable* table, const char* name) {
  const int32_t i = mfs_ft_index(table, name);
  return i < 0 ? nullptr : &table->rows[static_cast<size_t>(i)];
}

void mfs_ft_dump(const MfsFilterTypeTable* table, VqStream* stream) {
  for (const MfsFormat& row : table->rows) {
    vqio_fprintf(stream, "<FilterType> %-25s %p </FilterType>\n", row.name,
                 reinterpret_cast<void*>(row.constructor));
  }
}
