// File entries as FileInfo records (addgifi), and releasing records.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "addgi/addgi.h"
#include "addgi/internal.h"
#include "madat/madat.h"
#include "msg/msg.h"

namespace addgi_internal {

FileInfo* alloc_records(int32_t count, const char* source) {
  return static_cast<FileInfo*>(vq_calloc(count, sizeof(FileInfo), __LINE__, source));
}

void RecordList::hand_over(FileInfo** out_list, int32_t* out_count) {
  if (out_count) *out_count = count;
  if (out_list) {
    *out_list = list;
    list = nullptr;
    count = 0;
  }
}

}  // namespace addgi_internal

using namespace addgi_internal;

namespace {

constexpr const char* kId = "addgifi";

// Reads one File entry into a zeroed record; 0, or the severity of the
// first report.
int read_file(const MadNode* file, FileInfo* info) {
  int status = 0;
  info->major = -1;
  info->minor = -1;
  info->sys_name = required_text(file, DD_SysName, kId, "<File><SysName>", &status);
  info->frg_dir = addgios(file, DD_FrgDir);

  // Each number is stored only when it was read; a failed one leaves the
  // record's default.
  long major = -1, minor = -1;
  unsigned long offset = 0, mod_date = 0;
  const int s[] = {
      read_signed(file, DD_Major, kId, "<File><Major>", INT32_MIN, INT32_MAX, &major),
      read_signed(file, DD_Minor, kId, "<File><Minor>", INT32_MIN, INT32_MAX, &minor),
      read_unsigned(file, DD_Offset, kId, "<File><Offset>", UINT32_MAX, &offset),
      read_unsigned(file, DD_ModDate, kId, "<File><ModDate>", UINT32_MAX, &mod_date),
  };
  for (int r : s)
    if (r > 0) keep_first(&status, r);
  info->major = static_cast<int32_t>(major);
  info->minor = static_cast<int32_t>(minor);
  info->offset = static_cast<uint32_t>(offset);
  info->mod_date = static_cast<uint32_t>(mod_date);
  if (status) return status;  // the fragment rule would only repeat the error

  // All three of FrgDir, Major and Minor, or none of them.
  const bool numbered = info->major >= 0 && info->minor >= 0;
  if (info->frg_dir && numbered) {
    info->fragmented = 1;
  } else if (info->frg_dir || info->major >= 0 || info->minor >= 0) {
    vq_report(9, GetMsgNumText(40011), "addgiti", info->sys_name);
    status = 9;
  }
  return status;
}

}  // namespace

int addgifi(const MadNode* node, FileInfo** list, int32_t* count) {
  int32_t id = -1;
  if (madatgi(node, &id) != 0 || (id != DD_Files && id != DD_File) || (!list && !count))
    return report_bad_args(kId);

  const MadNode* first = id == DD_Files ? madatgc(node, DD_File) : node;
  RecordList records;
  for (const MadNode* f = first; f; f = madatns(f, DD_File)) ++records.count;
  if (records.count > 0) records.list = alloc_records(records.count, kFileInfoSource);

  int status = 0;
  FileInfo* info = records.list;
  for (const MadNode* f = first; f; f = madatns(f, DD_File), ++info)
    keep_first(&status, read_file(f, info));
  records.hand_over(list, count);
  return status;
}

void addgi_file_clear(FileInfo* info) {
  if (!info) return;
  free(info->sys_name);
  free(info->frg_dir);
  free(info->file_map);
  for (int32_t c = 0; c < info->chain_count && info->chains; ++c) {
    FilterChainInfo& chain = info->chains[c];
    free(chain.search_view);
    free(chain.display_view);
    free(chain.raw_view);
    free(chain.display_fmt);
    free(chain.default_data_tag);
    for (int32_t g = 0; g < chain.group_count && chain.groups; ++g) {
      free(chain.groups[g].mfs_dir);
      free(chain.groups[g].mfs_file);
      free(chain.groups[g].mfs_expand);
    }
    free(chain.groups);
  }
  free(info->chains);
  void* handle = info->handle;
  memset(info, 0, sizeof *info);
  info->handle = handle;
}

void addgi_files_free(FileInfo* list, int32_t count) {
  if (!list) return;
  for (int32_t i = 0; i < count; ++i) addgi_file_clear(&list[i]);
  free(list);
}
