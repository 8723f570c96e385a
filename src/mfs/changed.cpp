// Members changed since the set was built, looked for before a run reads
// the set: a member whose file's modification time differs from the date
// of its map entry, or whose size differs from its entry's length where
// the search view reads the file as it stands (an empty filter list or
// plain "mfsio"), no longer holds the text the addresses of the map
// describe. Regions and index points made from it would be shifted
// against the text.
#include <string>

#include "mfs/setstate.h"
#include "msg/msg.h"

namespace {

// Whether the filter list reads the member file unchanged.
bool plain_list(const MfsHandle* h, int32_t id) {
  const int32_t row = mfs_fl_find_id(h->filter_lists, id);
  if (row < 0) return false;
  const std::string& text = h->filter_lists->rows[static_cast<size_t>(row)].text;
  return text.empty() || text == "mfsio";
}

}  // namespace

int mfs_check_members(MfsReader* reader) {
  if (reader == nullptr) return 0;
  MfsHandle* h = reader->handle;
  const int32_t members = mfs_member_count(h);
  for (int32_t i = 0; i < members; ++i) {
    const MfsMapEntry* e = mfs_get_entry(h, i);
    if (e == nullptr) continue;
    struct stat sb{};
    // A member that is gone is reported when it is read (75036, 75047).
    bool changed = false;
    if (vqio_stat(e->file.c_str(), &sb) == 0) {
      changed = static_cast<int32_t>(sb.st_mtime) != e->date ||
                (plain_list(h, e->search_view) &&
                 static_cast<int64_t>(sb.st_size) != int64_t{e->end} - e->start + 1);
    }
    if (changed) {
      const std::string name = e->file;
      mfs_release_entry(h);
      vq_report(15, GetMsgNumText(75026), name.c_str());
      return 15;
    }
    mfs_release_entry(h);
  }
  return 0;
}
