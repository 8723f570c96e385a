// The filter-list file (".lmp"): one line per filter list,
//   <VQFilterList><VQListID>id</VQListID><VQList>text</VQList></VQFilterList>
// read back into the handle's filter-list table.
#include <algorithm>

#include "mfs/setstate.h"

namespace {

const char* const FilterListTagNames[] = {"VQFilterList", "VQListID", "VQList", nullptr};
enum : int32_t { TAG_FILTER_LIST = 0, TAG_LIST_ID = 1, TAG_LIST = 2 };

}  // namespace

int mfs_fl_read_entry(VqStream* stream, int32_t* id, std::string* text) {
  MfsTags owned = mfs_tag_open(stream, FilterListTagNames);
  SinsiStream* tags = owned.get();
  if (!tags) return 0;
  // Every entry starts empty: an empty VQList gives an empty list, never the
  // text of the entry before.
  text->clear();
  std::string id_text;
  bool have_id = false;
  int32_t field = -1;
  for (;;) {
    const int kind = sinsint(tags, nullptr, nullptr);
    const int32_t tag = sinsigt(tags, nullptr, nullptr);
    if (kind == SINSI_TEXT) {
      if (field == TAG_LIST) mfs_tag_append_text(tags, text);
      if (field == TAG_LIST_ID) mfs_tag_append_text(tags, &id_text);
      continue;
    }
    if (kind == SINSI_START_TAG) {
      field = tag;
      continue;
    }
    if (kind == SINSI_END_TAG) {
      if (tag == TAG_LIST_ID) {
        if (!mfs_parse_int32(id_text, id) || *id < 0) break;
        have_id = true;
      }
      if (tag == TAG_FILTER_LIST) {
        if (!have_id) break;
        return 1;
      }
      field = -1;
      continue;
    }
    if (kind == SINSI_END_TAG_UNKNOWN) continue;
    break;  // end of input, an unknown start tag or a malformed tag
  }
  return 0;
}

int mfs_fl_load(MfsFilterListTable* table, VqStream* stream) {
  int32_t id = 0;
  std::string text;
  while (mfs_fl_read_entry(stream, &id, &text) == 1) table->rows.push_back({id, text, nullptr});
  // Lists are found by id with a binary search: keep them in id order (as
  // written they already are).
  std::stable_sort(table->rows.begin(), table->rows.end(),
                   [](const MfsFilterList& a, const MfsFilterList& b) { return a.id < b.id; });
  return 1;
}
