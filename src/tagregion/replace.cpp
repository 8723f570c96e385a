// Replacing pellion's region file through the region library's
// replacement (region/replace.cpp), with pellion's reports.
//
// A region file that is a superfile member cannot be renamed, and one in a
// folder this run may not write cannot get a new file beside it: those are
// rewritten in place through the I/O layer.
#include "region/region.h"
#include "tagregion/tagregion.h"

VqStream* region_replace_begin(const std::string& region_file) {
  int denied = 0;
  VqStream* fresh = region_replace_open(region_file.c_str(), &denied);
  if (fresh == nullptr && !denied) msg_report(16, 80020, region_file.c_str());
  return fresh;
}

void region_replace_swap(VqStream* fresh, const std::string& region_file) {
  const int status = region_replace_commit(fresh);
  if (status > 0) msg_report(14, 80021);
  if (status < 0) msg_report(16, 80020, region_file.c_str());
}
