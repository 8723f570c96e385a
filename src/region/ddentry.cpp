// Region entries of the data dictionary: removing those of a region file,
// and merging one entry per region of a file entry (keeping each region's
// own type), then writing the dictionary.
#include <cstring>
#include <vector>

#include "addgi/addgi.h"
#include "commit/commit.h"
#include "dd/dd.h"
#include "madat/madat.h"
#include "msg/msg.h"
#include "region/region.h"
#include "util/util.h"

namespace {

bool names_region_of(const MadNode* region, const RegionListFile* file) {
  const char* name = madatgv(madatgc(region, DD_Name));
  return name && region_index(name, file) >= 0;
}

}  // namespace

void region_dd_remove(MadNode* tree, const RegionListFile* file) {
  MadNode* db = tree && file ? madatgc(tree, DD_DB) : nullptr;
  if (!db) return;
  for (MadNode* regions = madatgc(db, DD_Regions); regions;
       regions = madatns(regions, DD_Regions)) {
    MadNode* r = madatgc(regions, DD_Region);
    while (r) {
      MadNode* next = madatns(r, DD_Region);
      if (names_region_of(r, file)) madmtdc(regions, r);
      r = next;
    }
  }
}

int region_write_dd(MadNode* tree, const RegionListFile* file) {
  if (!tree || !file) return 11;
  const time_t mtime = file_mtime(commit_current_name(file->name).c_str());
  FileInfo info{};
  info.sys_name = file->name;
  info.major = -1;
  info.minor = -1;
  info.mod_date = mtime < 0 ? 0xFFFFFFFFu : static_cast<uint32_t>(mtime);
  int status = 0;
  for (int32_t i = 0; i < file->count; ++i) {
    const RegionListEntry& r = file->regions[i];
    if (r.count < 0) continue;
    info.offset = r.offset;
    // A "contig" region stays one; any other is written as "pairs".
    const char* type = r.type && strcmp(r.type, "contig") == 0 ? "contig" : "pairs";
    const int s =
        r.desc ? addmdmr(tree, r.name,
                         {{DD_Name, r.name}, {DD_File, &info}, {DD_Count, r.count},
                          {DD_Desc, r.desc}, {DD_Type, type}})
               : addmdmr(tree, r.name,
                         {{DD_Name, r.name}, {DD_File, &info}, {DD_Count, r.count},
                          {DD_Type, type}});
    if (s != 0) {
      vq_report(s, GetMsgNumText(40030), r.name);
      status = s;
    }
  }
  return status;
}

int region_write_dd_file(const char* dd_path, MadNode* tree, const RegionListFile* file) {
  if (int status = region_write_dd(tree, file)) return status;
  const int status = addutwrdd(dd_path, tree);
  if (status != 0) vq_report(status, GetMsgNumText(60011), "region_write_dd_file");
  return status;
}

void region_name_file_error(const char* name_file, const char* last_tag) {
  vq_report(9, GetMsgNumText(80002), name_file, last_tag);
}
