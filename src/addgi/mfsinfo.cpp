// A multi-file set's entry (MfsFiles) as one MfsInfo record (addgimf).
#include <cstdint>

#include "addgi/addgi.h"
#include "addgi/internal.h"
#include "madat/madat.h"
#include "msg/msg.h"

using namespace addgi_internal;

namespace {

constexpr const char* kId = "addgimf";

// Number of tag children of parent with the id.
int32_t count_children(const MadNode* parent, int32_t tag_id) {
  int32_t n = 0;
  for (const MadNode* c = madatgc(parent, tag_id); c; c = madatns(c, tag_id)) ++n;
  return n;
}

template <class T>
T* alloc_zeroed(int32_t count) {
  return static_cast<T*>(vq_calloc(count, sizeof(T), __LINE__, kMfsInfoSource));
}

// A required text of a multi-file entry; null after 40009.
char* required(const MadNode* node, int32_t tag_id, const char* path, int* status) {
  return required_text(node, tag_id, kId, path, status, kMfsInfoSource);
}

void read_group(const MadNode* node, FileGroupInfo* group, int* status) {
  group->mfs_dir = required(node, DD_MfsDir, "<FileGroup><MfsDir>", status);
  group->mfs_file = required(node, DD_MfsFile, "MfsFile", status);
  group->mfs_expand = required(node, DD_MfsExpand, "MfsExpand", status);
}

void read_chain(const MadNode* node, FilterChainInfo* chain, int* status) {
  chain->search_view = required(node, DD_SearchView, "<FilterChain><SearchView>", status);
  chain->display_view = required(node, DD_DisplayView, "DisplayView", status);
  chain->raw_view = required(node, DD_RawView, "RawView", status);
  chain->display_fmt = required(node, DD_DisplayFmt, "DisplayFmt", status);
  chain->default_data_tag = copy_text(child_value(node, DD_DefaultDataTag), kMfsInfoSource);

  const int32_t n = count_children(node, DD_FileGroup);
  if (n == 0) {
    keep_first(status, report_missing(kId, "FileGroup"));
    return;
  }
  // The count is set with the allocation so that the record can always be
  // released, even while it is being filled.
  chain->groups = alloc_zeroed<FileGroupInfo>(n);
  chain->group_count = n;
  FileGroupInfo* group = chain->groups;
  for (const MadNode* g = madatgc(node, DD_FileGroup); g; g = madatns(g, DD_FileGroup))
    read_group(g, group++, status);
}

}  // namespace

int addgimf(const MadNode* node, FileInfo** list, int32_t* count) {
  int32_t id = -1;
  if (madatgi(node, &id) != 0 || id != DD_MfsFiles || !list) return report_bad_args(kId);

  RecordList record;
  record.list = alloc_records(1, kMfsInfoSource);
  record.count = 1;
  MfsInfo* info = record.list;
  info->multi_file = 1;

  int status = 0;
  info->file_map = required(node, DD_FileMap, "FileMap", &status);
  info->sys_name = copy_text(info->file_map, kMfsInfoSource);

  const int32_t n = count_children(node, DD_FilterChain);
  if (n == 0) {
    keep_first(&status, report_missing(kId, "FilterChain"));
  } else {
    info->chains = alloc_zeroed<FilterChainInfo>(n);
    info->chain_count = n;
    FilterChainInfo* chain = info->chains;
    for (const MadNode* c = madatgc(node, DD_FilterChain); c; c = madatns(c, DD_FilterChain))
      read_chain(c, chain++, &status);
  }
  record.hand_over(list, count);
  return status;
}
