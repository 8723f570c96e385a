// Filter lists: the table of a set's lists and the compiler that turns a
// list text into a chain of streams.
//
// A list names formats separated by '|', innermost first, each optionally
// with an argument in parentheses: "double|half", "sys(tr a-z A-Z)". A '|'
// inside a '"'-quoted run does not split, so a shell command may hold one.
// "mfsio" is always put first, so the empty list reads the member unchanged.
#include <cstring>
#include <string>
#include <vector>

#include "io/vqio.h"
#include "mfs/mfs.h"
#include "msg/msg.h"
#include "util/util.h"

MfsFilterListTable* mfs_fl_new(int32_t capacity, int32_t step) {
  return mfs_table_new<MfsFilterList>(capacity, step, __LINE__, "mfsfillist");
}

void mfs_fl_free(MfsFilterListTable* table) {
  if (!table) return;
  for (MfsFilterList& row : table->rows) {
    mfs_chain_destroy(row.chain);
    row.chain = nullptr;
  }
  delete table;
}

void mfs_fl_insert(MfsFilterListTable* table, const MfsFilterList& row, int32_t position) {
  mfs_table_insert(table, row, position);
}

void mfs_fl_delete(MfsFilterListTable* table, int32_t position) {
  mfs_table_delete(table, position);
}

void mfs_fl_add_all(MfsFilterListTable* table, const MfsFilterList* rows) {
  for (; rows && rows->id >= 0; ++rows) table->rows.push_back(*rows);
}

MfsFilterList* mfs_fl_find(MfsFilterListTable* table, const char* text) {
  const int32_t i = mfs_fl_index(table, text);
  return i < 0 ? nullptr : &table->rows[static_cast<size_t>(i)];
}

int32_t mfs_fl_index(const MfsFilterListTable* table, const char* text) {
  if (!text) return -1;
  for (size_t i = 0; i < table->rows.size(); ++i) {
    if (table->rows[i].text == text) return static_cast<int32_t>(i);
  }
  return -1;
}

int32_t mfs_fl_find_id(const MfsFilterListTable* table, int32_t id) {
  int32_t lo = 0, hi = table->count() - 1;
  while (lo <= hi) {
    const int32_t mid = lo + (hi - lo) / 2;
    const int32_t at = table->rows[static_cast<size_t>(mid)].id;
    if (at == id) return mid;
    if (at < id) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
    }
  }
  return -1;
}

int mfs_fl_write(const MfsFilterListTable* table, VqStream* stream) {
  for (const MfsFilterList& row : table->rows) {
    // A tag opener in a list would not read back: the list, and every
    // member that uses it, would be lost when the set is opened.
    if (row.text.find('<') != std::string::npos) return 0;
    if (vqio_fprintf(stream,
                     "<VQFilterList><VQListID>%ld</VQListID><VQList>%s</VQList></VQFilterList>\n",
                     static_cast<long>(row.id), row.text.c_str()) < 0)
      return 0;
  }
  return 1;
}

int mfs_fl_compile_all(MfsFilterListTable* table, const MfsFilterTypeTable* types) {
  // A list compiled before keeps its chain: compiling again would replace a
  // chain that may be in use.
  for (MfsFilterList& row : table->rows) {
    if (!row.chain) mfs_compile_filter_list(&row, types);
  }
  return 1;
}

int mfs_register_format_tables(MfsFilterListTable* lists, MfsFilterTypeTable* types) {
  if (mfs_ft_index(types, "mfsio") < 0) mfs_ft_add_all(types, mfs_builtin_formats());
  return mfs_fl_compile_all(lists, types);
}

int mfs_compile_filter_list(MfsFilterList* row, const MfsFilterTypeTable* types) {
  const std::string list = "mfsio|" + row->text;
  std::vector<char> text(list.begin(), list.end());
  text.push_back('\0');
  std::vector<char*> elements;
  split_fields_q(text.data(), "|", "\"", "", elements);
  if (elements.empty()) fatal_exit("No filter information present for filterlist\n");

  MfsStream* chain = nullptr;
  for (char* element : elements) {
    std::vector<char*> parts;
    split_fields(element, "()", "", "", parts);
    const char* name = parts.empty() ? "" : parts[0];
    const MfsFormat* format = mfs_filtype_find(types, name);
    if (!format || !format->constructor) fatal_exit("Cannot find filter named '%s'\n", name);
    MfsStream* s = format->constructor(chain);
    if (!s) {
      mfs_chain_destroy(chain);
      vq_alloc_failed(static_cast<long>(sizeof(MfsStream)), 1, static_cast<long>(sizeof(MfsStream)),
                      __LINE__, "mfsfillist");
    }
    mfs_stream_set_argument(s, parts.size() >= 2 ? parts[1] : nullptr);
    chain = s;
  }
  mfs_chain_destroy(row->chain);
  row->chain = chain;
  return 1;
}
