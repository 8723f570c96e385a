// User data (".dat"): one tagged record per member holding free fields text
// that the user fills in, and the index of the records by member name.
//
// A record as written:
//   <VQUserData><VQFile>path</VQFile>
//     <VQFields></VQFields></VQUserData>
// Everything between the VQFields tags is the member's fields text: text,
// tags that are not VQUserData, VQFile or VQFields, and end tags other than
// those of VQFields and VQUserData, verbatim. The index is sorted by name
// after loading, so a file edited out of order is still searched correctly.
#include <algorithm>
#include <cstring>

#include "mfs/setstate.h"
#include "msg/msg.h"

namespace {

const char* const UserDataTagNames[] = {"VQUserData", "VQFile", "VQFields", nullptr};
enum : int32_t { TAG_USER_DATA = 0, TAG_FILE = 1, TAG_FIELDS = 2 };

}  // namespace

int mfs_usrdata_write(const MfsMapTable* map, VqStream* stream) {
  int ok = 1;
  for (const MfsMapEntry& e : map->rows) {
    if (vqio_fprintf(stream, "<VQUserData><VQFile>%s</VQFile>\n", e.file.c_str()) < 0) ok = 0;
    if (vqio_fputs("  <VQFields></VQFields></VQUserData>\n", stream) < 0) ok = 0;
  }
  return ok;
}

int mfs_usrdata_parse(VqStream* stream, std::string* name, std::string* fields) {
  MfsTags owned = mfs_tag_open(stream, UserDataTagNames);
  SinsiStream* tags = owned.get();
  if (!tags) return 0;
  bool in_file = false, in_fields = false;
  if (name) name->clear();
  for (;;) {
    const int kind = sinsint(tags, nullptr, nullptr);
    const int32_t id = sinsigt(tags, nullptr, nullptr);
    if (kind == SINSI_EOF) return 0;
    const bool known = kind == SINSI_START_TAG || kind == SINSI_END_TAG;
    if (kind == SINSI_END_TAG && id == TAG_USER_DATA) return 1;
    if (kind == SINSI_START_TAG && id == TAG_FIELDS) {
      in_fields = true;
    } else if (kind == SINSI_END_TAG && id == TAG_FIELDS) {
      in_fields = false;
    } else if (in_fields) {
      // Known start tags (VQUserData, VQFile) are left out of the fields;
      // every other token, a VQFile end tag included, is kept as it stands.
      if (!(known && kind == SINSI_START_TAG) && fields) mfs_tag_append_text(tags, fields);
    } else if (kind == SINSI_START_TAG && id == TAG_FILE) {
      in_file = true;
    } else if (kind == SINSI_END_TAG && id == TAG_FILE) {
      in_file = false;
    } else if (in_file && kind == SINSI_TEXT && name) {
      mfs_tag_append_text(tags, name);
    }
  }
}

int mfs_usrdata_read_record(VqStream* stream, std::string* name, int32_t* offset) {
  const long here = vqio_ftell(stream);
  *offset = here < 0 || here > INT32_MAX ? -1 : static_cast<int32_t>(here);
  std::string fields;
  if (mfs_usrdata_parse(stream, name, &fields) != 1) {
    if (name) name->clear();
    return 0;
  }
  return 1;
}

MfsUserDataIndex* mfs_usrdata_new(int32_t capacity, int32_t step) {
  return mfs_table_new<MfsUserDataRow>(capacity, step, __LINE__, "mfsxnmap");
}

void mfs_usrdata_free(MfsUserDataIndex* index) { delete index; }

int mfs_usrdata_load(MfsUserDataIndex* index, const char* dir, const char* name,
                     MfsUserDataReader reader) {
  const std::string path = (dir && *dir) ? std::string(dir) + "/" + name : std::string(name);
  VqStream* stream = vqio_fopen(path.c_str(), "r");
  if (!stream) return 0;
  std::string member;
  int32_t offset = 0;
  bool any = false;
  while (reader(stream, &member, &offset) == 1) {
    index->rows.push_back({member, offset});
    any = true;
  }
  const long end = vqio_ftell(stream);
  vqio_fclose(stream);
  // Sorted so the binary search finds every record; records of one name
  // keep their file order, so the first one is found as before.
  std::stable_sort(index->rows.begin(), index->rows.end(),
                   [](const MfsUserDataRow& a, const MfsUserDataRow& b) {
                     return std::strcmp(a.name.c_str(), b.name.c_str()) < 0;
                   });
  if (any) index->rows.push_back({"", end > INT32_MAX ? -1 : static_cast<int32_t>(end)});
  return 1;
}

int32_t mfs_usrdata_find(const MfsUserDataIndex* index, const char* name) {
  int32_t lo = 0, hi = index->count() - 2;  // the rows before the sentinel
  int32_t found = -1;
  while (lo <= hi) {
    const int32_t mid = lo + (hi - lo) / 2;
    const int c = std::strcmp(index->rows[static_cast<size_t>(mid)].name.c_str(), name);
    if (c == 0) found = mid;
    if (c >= 0) {
      hi = mid - 1;
    } else {
      lo = mid + 1;
    }
  }
  return found;
}

int mfs_usrdata_fetch(VqStream* stream, const MfsUserDataIndex* index, int32_t row,
                      std::string* fields) {
  fields->clear();
  if (row < 0 || row >= index->count() - 1) return 0;
  const int32_t offset = index->rows[static_cast<size_t>(row)].offset;
  if (offset < 0 || vqio_fseek(stream, offset, SEEK_SET) != 0) return 0;
  return mfs_usrdata_parse(stream, nullptr, fields);
}

int mfs_write_user_data(MfsHandle* handle, const char* name) {
  const std::string path = mfs_set_file(handle->dir, name, ".dat");
  VqStream* stream = vqio_fopen(path.c_str(), "w");
  if (!stream) {
    vq_report(16, GetMsgNumText(75034), path.c_str());
    return 0;
  }
  int ok = mfs_usrdata_write(handle->map, stream);
  if (vqio_fclose(stream) != 0) ok = 0;
  if (!ok) {
    vq_report(16, GetMsgNumText(75034), path.c_str());
    return 0;
  }
  return 1;
}
