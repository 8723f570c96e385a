// Region lists: the Region entries of a data dictionary grouped by region
// file, each file's regions in offset order, and the queries on them.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "addgi/addgi.h"
#include "madat/madat.h"
#include "msg/msg.h"
#include "region/internal.h"

using namespace region_detail;

namespace {

// One Region entry as read, before grouping.
struct ReadRegion {
  char* name;
  char* desc;
  char* type;
  char* sys_name;
  uint32_t offset;
  long count;
};

// The Region children of every Regions section under the first DB.
std::vector<const MadNode*> region_nodes(const MadNode* tree) {
  std::vector<const MadNode*> nodes;
  const MadNode* db = tree ? madatgc(tree, DD_DB) : nullptr;
  if (!db) return nodes;
  for (const MadNode* regions = madatgc(db, DD_Regions); regions;
       regions = madatns(regions, DD_Regions))
    for (const MadNode* r = madatgc(regions, DD_Region); r; r = madatns(r, DD_Region))
      nodes.push_back(r);
  return nodes;
}

// Reads one Region; false (nothing kept) when the getter refuses it or it
// names other than one file.
bool read_region(const MadNode* node, ReadRegion* out) {
  char* name = nullptr;
  char* desc = nullptr;
  long count = 0;
  int32_t pairs = 0;
  FileInfo* files = nullptr;
  int32_t file_count = 0;
  if (!addgiri(const_cast<MadNode*>(node), &name, &desc, &count, &pairs, &files, &file_count))
    return false;
  if (file_count != 1 || !name) {
    if (file_count != 1) vq_report(16, GetMsgNumText(40028));
    free(name);
    free(desc);
    addgi_files_free(files, file_count);
    return false;
  }
  out->name = name;
  out->desc = desc;
  out->type = addgios(node, DD_Type);
  out->sys_name = copy_text(files[0].sys_name);
  out->offset = files[0].offset;
  out->count = count;
  addgi_files_free(files, file_count);
  return true;
}

// Two names of one existing file.
bool same_file(const char* a, const char* b) {
  struct stat sa, sb;
  if (vqio_stat(a, &sa) != 0 || vqio_stat(b, &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace

int32_t region_list_build(const MadNode* tree, int32_t* file_count, RegionListFile** files) {
  if (file_count) *file_count = 0;
  if (files) *files = nullptr;
  std::vector<ReadRegion> read;
  for (const MadNode* node : region_nodes(tree)) {
    ReadRegion r{};
    if (read_region(node, &r)) read.push_back(r);
  }
  if (read.empty()) return 0;

  // Group by file: the exact name first, then the same existing file.
  std::vector<const char*> names;
  std::vector<size_t> file_of(read.size());
  for (size_t i = 0; i < read.size(); ++i) {
    size_t f = 0;
    while (f < names.size() && strcmp(names[f], read[i].sys_name) != 0) ++f;
    if (f == names.size()) {
      f = 0;
      while (f < names.size() && !same_file(names[f], read[i].sys_name)) ++f;
    }
    if (f == names.size()) names.push_back(read[i].sys_name);
    file_of[i] = f;
  }

  auto* out = static_cast<RegionListFile*>(
      vq_calloc(static_cast<long>(names.size()), sizeof(RegionListFile), __LINE__, kSource));
  for (size_t f = 0; f < names.size(); ++f) {
    RegionListFile& file = out[f];
    file.name = copy_text(names[f]);
    for (size_t i = 0; i < read.size(); ++i) file.count += file_of[i] == f;
    file.regions = static_cast<RegionListEntry*>(
        vq_calloc(file.count, sizeof(RegionListEntry), __LINE__, kSource));
    int32_t k = 0;
    for (size_t i = 0; i < read.size(); ++i) {
      if (file_of[i] != f) continue;
      file.regions[k++] = {read[i].name, read[i].desc, read[i].offset, read[i].count,
                           read[i].type};
    }
    // Sorted by offset, then count; regions equal in both keep their order.
    const std::vector<int32_t> order = offset_order(&file);
    std::vector<RegionListEntry> sorted;
    for (int32_t i : order) sorted.push_back(file.regions[i]);
    std::copy(sorted.begin(), sorted.end(), file.regions);
  }
  for (ReadRegion& r : read) free(r.sys_name);
  if (file_count) *file_count = static_cast<int32_t>(names.size());
  if (files)
    *files = out;
  else
    region_list_free(static_cast<int32_t>(names.size()), out);
  return static_cast<int32_t>(names.size());
}

int region_list_free(int32_t file_count, RegionListFile* files) {
  if (!files) return 1;
  for (int32_t f = 0; f < file_count; ++f) {
    for (int32_t i = 0; i < files[f].count; ++i) {
      free(files[f].regions[i].name);
      free(files[f].regions[i].desc);
      free(files[f].regions[i].type);
    }
    free(files[f].regions);
    free(files[f].name);
  }
  free(files);
  return 1;
}

int region_list_check(int32_t file_count, const RegionListFile* files) {
  int result = 1;
  for (int32_t f = 0; f < file_count; ++f) {
    const RegionListFile& file = files[f];
    for (int32_t i = 1; i < file.count; ++i) {
      const RegionListEntry& before = file.regions[i - 1];
      const RegionListEntry& r = file.regions[i];
      const int64_t end = region_detail::region_end(before.offset, before.count);
      if (static_cast<int64_t>(r.offset) == end) continue;
      const long message = static_cast<int64_t>(r.offset) > end ? 200061 : 200062;
      vq_report(15, GetMsgNumText(message), file.name, r.name, before.name);
      result = 0;
    }
  }
  return result;
}

int region_compare(const void* a, const void* b) {
  const auto* x = static_cast<const RegionListEntry*>(a);
  const auto* y = static_cast<const RegionListEntry*>(b);
  if (x->offset != y->offset) return x->offset < y->offset ? -1 : 1;
  if (x->count != y->count) return x->count < y->count ? -1 : 1;
  return 0;
}

int region_list_dump(int32_t file_count, const RegionListFile* files) {
  for (int32_t f = 0; f < file_count; ++f) {
    vqio_printf("File: %s\n", files[f].name);
    for (int32_t i = 0; i < files[f].count; ++i) {
      const RegionListEntry& r = files[f].regions[i];
      vqio_printf("  Region: %s offset: %lu count: %ld\n", r.name,
                  static_cast<unsigned long>(r.offset), r.count);
    }
  }
  vqio_fflush(vqio_stdout);
  return 1;
}

int64_t region_list_end(const RegionListFile* file) {
  if (!file || file->count <= 0) return 0;
  // The last region's end in a contiguous entry. An empty region lying
  // inside another sorts last without reaching the data end, so the end is
  // the furthest any region reaches.
  int64_t end = 0;
  for (int32_t i = 0; i < file->count; ++i)
    end = std::max(end, region_detail::region_end(file->regions[i].offset, file->regions[i].count));
  return end;
}

int32_t region_index(const char* name, const RegionListFile* file) {
  if (!name || !file) return -1;
  for (int32_t i = 0; i < file->count; ++i)
    if (file->regions[i].name && strcmp(file->regions[i].name, name) == 0) return i;
  return -1;
}

int32_t region_list_find(const char* path, int32_t file_count, const RegionListFile* files) {
  if (!path) return -1;
  for (int32_t f = 0; f < file_count; ++f)
    if (strcmp(files[f].name, path) == 0 && vqio_access(path, F_OK) == 0) return f;
  for (int32_t f = 0; f < file_count; ++f)
    if (same_file(files[f].name, path)) return f;
  return -1;
}

int region_check_names(const MadNode* tree, const char* region_file) {
  std::vector<std::string> seen;
  for (const MadNode* node : region_nodes(tree)) {
    const MadNode* file = madatgc(node, DD_File);
    const char* sys_name = madatgv(madatgc(file, DD_SysName));
    const char* name = madatgv(madatgc(node, DD_Name));
    const bool unnamed = name == nullptr || *name == '\0';
    if (unnamed) {
      // A nameless entry would be taken for any name a merge looks for.
      vq_report(9, GetMsgNumText(200069), sys_name != nullptr ? sys_name : "");
      return 9;
    }
    if (sys_name == nullptr ||
        (strcmp(sys_name, region_file) != 0 && !same_file(sys_name, region_file)))
      continue;
    if (std::find(seen.begin(), seen.end(), name) != seen.end()) {
      vq_report(9, GetMsgNumText(200070), region_file, name);
      return 9;
    }
    seen.emplace_back(name);
  }
  return 0;
}
