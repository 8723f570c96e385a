// Compaction and packing of a region file in place: the regions kept are
// moved down in offset order so that they lie back to back from offset 0,
// the emptied ones get count 0, and the file is cut after the last one.
//
// Nothing is moved before every region of the entry was checked against
// the file. The entry's offsets and counts change only when every move,
// the cut and the close succeeded; after a failure part way the caller
// gets 16 and must leave the data dictionary as it is.
#include <algorithm>
#include <cstring>
#include <unistd.h>
#include <vector>

#include "dd/dd.h"
#include "msg/msg.h"
#include "region/internal.h"

using namespace region_detail;

namespace {

bool is_named(const char* name, int32_t n, const char* const* names) {
  if (n < 0) return true;
  for (int32_t i = 0; i < n; ++i)
    if (names[i] && name && strcmp(names[i], name) == 0) return true;
  return false;
}

// Moves the kept regions of the open file down to a running end from 0;
// the regions to empty (n = -1: all; n = 0: none) get the running end and
// count 0. See the file comment for the statuses.
int close_up(RegionListFile* file, int fd, int32_t n, const char* const* names) {
  const off_t size = region_file_size(file->name, fd);
  if (size < 0) return 16;
  if (int status = check_regions_against_file(file, size)) return status;

  const std::vector<int32_t> order = offset_order(file);
  std::vector<uint32_t> offsets(order.size());
  std::vector<long> counts(order.size());
  int64_t end = 0;
  for (int32_t i : order) {
    const RegionListEntry& r = file->regions[i];
    offsets[i] = static_cast<uint32_t>(end);
    counts[i] = is_named(r.name, n, names) ? 0 : r.count;
    if (counts[i] == 0) continue;
    const off_t from = REGION_HEADER_BYTES + static_cast<off_t>(r.offset);
    if (region_move_down(file->name, fd, REGION_HEADER_BYTES + end, from, from + 4 * r.count))
      return report_partly_moved(file->name);
    end += 4 * static_cast<int64_t>(r.count);
  }
  if (truncate_region_file(file->name, fd, REGION_HEADER_BYTES + end))
    return report_partly_moved(file->name);

  for (size_t i = 0; i < offsets.size(); ++i) {
    file->regions[i].offset = offsets[i];
    file->regions[i].count = counts[i];
  }
  // Keep the entry in offset order for the next caller.
  std::vector<RegionListEntry> sorted;
  for (int32_t i : offset_order(file)) sorted.push_back(file->regions[i]);
  std::copy(sorted.begin(), sorted.end(), file->regions);
  return 0;
}

// Opens the file, closes it up and closes it again.
int close_up_file(RegionListFile* file, int32_t n, const char* const* names) {
  if (!file || !file->name) {
    vq_report(11, GetMsgNumText(40000), "region_file_compact");
    return 11;
  }
  const int fd = open_region_file(file->name);
  if (fd < 0) return 11;
  const int status = close_up(file, fd, n, names);
  if (vqio_close(fd) != 0 && status == 0) {
    vq_report(16, GetMsgNumText(60027), file->name);
    return report_partly_moved(file->name);
  }
  return status;
}

// Packs the listed file of that name and updates its entries in the tree,
// then writes the dictionary when dd_path is given. No such file: 0.
int pack_in_tree(MadNode* tree, const char* region_file, const char* dd_path) {
  int32_t file_count = 0;
  RegionListFile* files = nullptr;
  region_list_build(tree, &file_count, &files);
  const int32_t f = region_list_find(region_file, file_count, files);
  int status = 0;
  if (f >= 0) {
    status = close_up_file(&files[f], 0, nullptr);
    if (status == 0)
      status = dd_path ? region_write_dd_file(dd_path, tree, &files[f])
                       : region_write_dd(tree, &files[f]);
  }
  region_list_free(file_count, files);
  return status;
}

}  // namespace

int region_file_compact(RegionListFile* file, int32_t n, const char* const* names) {
  if (n > 0 && !names) {
    vq_report(11, GetMsgNumText(40000), "region_file_compact");
    return 11;
  }
  return close_up_file(file, n, names);
}

int region_file_check(const RegionListFile* file) {
  if (!file || !file->name) {
    vq_report(11, GetMsgNumText(40000), "region_file_check");
    return 11;
  }
  const int fd = vqio_open(file->name, O_RDONLY);
  if (fd < 0) {
    vq_report(11, GetMsgNumText(60032), file->name);
    return 11;
  }
  const off_t size = region_file_size(file->name, fd);
  const int status = size < 0 ? 16 : check_regions_against_file(file, size);
  vqio_close(fd);
  return status;
}

int region_file_pack(const char* dd_path, const char* region_file) {
  MadNode* tree = dd_path ? addpadd(dd_path) : nullptr;
  if (!tree) return 11;  // the reader has reported why
  const int status = pack_in_tree(tree, region_file, dd_path);
  madmtfr(tree);
  return status;
}

int region_file_pack_tree(MadNode* tree, const char* region_file) {
  if (!tree) return 11;
  return pack_in_tree(tree, region_file, nullptr);
}
