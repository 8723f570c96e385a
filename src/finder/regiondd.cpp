// After the region pass: the data dictionary read (its Regions section
// only; the other sections are written back as they were), the entries of
// region files that no longer exist dropped, the region files written by
// the replace or the merge path, and every region of the run entered as a
// Region of type "pairs" in the order of the DTD's element levels. The
// new region files are complete beside the old ones before the data
// dictionary is written; its writer puts them in place together with it
// (commit/commit.h), and should anything fail they are removed.
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "commit/commit.h"
#include "dd/dd.h"
#include "finder/finder.h"
#include "finder/regions.h"
#include "msg/msg.h"
#include "region/region.h"
#include "util/util.h"

namespace {

MadNode* read_regions(const std::string& dd_file) {
  MadNode* tree = addpadd(dd_file.c_str(), {DD_Regions});
  if (tree == nullptr) vq_report(9, GetMsgNumText(40032), dd_file.c_str());
  return tree;
}

// Enters the run's regions in the tree, sorted by the level of the element
// of the same name (9999 for the others) with the quicksort whose order of
// equal keys the entries have always had.
int register_regions(const RegionWriteOptions& options, const RegionRun& run, MadNode* tree) {
  std::unordered_map<std::string, int32_t> level;
  for (const auto& [name, depth] : options.levels) level.emplace(name, depth);
  const int n = static_cast<int>(run.entries.size());
  std::vector<SortIntPair> order(static_cast<size_t>(n));
  for (int r = 0; r < n; ++r) {
    const auto it = level.find(run.entries[static_cast<size_t>(r)].name);
    order[static_cast<size_t>(r)] = {r, it == level.end() ? REGION_NO_LEVEL : it->second};
  }
  if (n > 1) qsort_by_int(order.data(), 0, n - 1);
  int status = 0;
  // The modification time of each region file, looked up once on its new
  // file (complete, and put in place with the data dictionary).
  std::vector<std::pair<bool, time_t>> mtimes;
  for (const SortIntPair& p : order) {
    const RegionEntry& e = run.entries[static_cast<size_t>(p.first)];
    const std::string file = rgn_file_name(options.base, e.file_index);
    if (options.verbose)
      vq_report(1, GetMsgNumText(220014), file.c_str(), e.name.c_str(),
                static_cast<int>(e.word_count));
    const size_t k = static_cast<size_t>(e.file_index);
    if (mtimes.size() <= k) mtimes.resize(k + 1, {false, 0});
    if (!mtimes[k].first) mtimes[k] = {true, file_mtime(commit_current_name(file).c_str())};
    const time_t mtime = mtimes[k].second;
    FileInfo info{};
    info.sys_name = const_cast<char*>(file.c_str());
    info.major = -1;
    info.minor = -1;
    info.offset = static_cast<uint32_t>(e.offset);
    info.mod_date = mtime < 0 ? 0xFFFFFFFFu : static_cast<uint32_t>(mtime);
    const int s = addmdmr(tree, e.name.c_str(),
                          {{DD_Name, e.name.c_str()}, {DD_Desc, e.name.c_str()},
                           {DD_File, &info}, {DD_Count, static_cast<long>(e.word_count)},
                           {DD_Type, "pairs"}});
    if (s != 0) {
      vq_report(s, GetMsgNumText(40030), e.name.c_str());
      status = s;
    }
  }
  return status;
}

}  // namespace

std::string rgn_file_name(const std::string& base, int32_t n) {
  return base + std::to_string(n) + ".rgn";
}

void region_run_begin(const std::string& dd_file, const std::string& base) {
  front_cleanup_signals();
  if (commit_lock(dd_file.c_str()) != 0) vq_report(9, GetMsgNumText(80032), dd_file.c_str());
  const char* temp_dir = std::getenv("TAVREL_TMPDIR");
  if (commit_recover(dd_file.c_str(),
                     {commit_dir_of(commit_resolve_links(dd_file.c_str())), commit_dir_of(base),
                      temp_dir != nullptr ? temp_dir : ""},
                     {COMMIT_NEW_PATTERN, COMMIT_OLD_PATTERN, "TAG%n.%p.TMP", "TAG%n.%p-%n.TMP"}) != 0)
    vqio_exit(1);
}

int region_dd_check(const std::string& dd_file) {
  MadNode* tree = read_regions(dd_file);
  if (tree == nullptr) return 1;
  madmtfr(tree);
  return 0;
}

int region_write_files(const RegionWriteOptions& options, RegionRun* run) {
  MadNode* tree = read_regions(options.dd_file);
  if (tree == nullptr) return 1;
  const std::string first = rgn_file_name(options.base, 0);
  int status = region_check_names(tree, first.c_str()) != 0 ? 1 : 0;

  int32_t file_count = 0;
  RegionListFile* files = nullptr;
  if (status == 0) region_list_build(tree, &file_count, &files);
  // Only a file that is not there loses its entries: a file whose
  // existence cannot be told stops the run before anything changes.
  for (int32_t i = 0; i < file_count && status == 0; ++i) {
    if (files[i].name == nullptr) continue;
    const int exists = commit_file_exists(files[i].name);
    if (exists == 0) region_dd_remove(tree, &files[i]);
    if (exists < 0) {
      vq_report(16, GetMsgNumText(60053), files[i].name);
      status = 1;
    }
  }

  if (status == 0 && options.verbose) vq_report(1, GetMsgNumText(220012));
  const int32_t current = region_list_find(first.c_str(), file_count, files);
  // Without an existing region file to merge into, the regions are written
  // as without -J.
  const bool merge = status == 0 && options.merge && current >= 0;
  std::vector<int32_t> touched;
  if (merge && run->entries.empty()) {
    // Nothing to merge: nothing changes.
    region_list_free(file_count, files);
    madmtfr(tree);
    return 0;
  }
  if (merge) {
    if (options.verbose) vq_report(1, GetMsgNumText(220023), first.c_str());
    status = region_merge_write(options, run, files, file_count, current);
    touched.push_back(current);
  } else if (status == 0) {
    status = region_layout_write(options, run, files, file_count, &touched);
  }

  if (status == 0 && options.verbose) vq_report(1, GetMsgNumText(220013));
  // The entries of the regions the files keep, with their new offsets, then
  // the run's regions.
  for (int32_t f : touched)
    if (status == 0 && region_write_dd(tree, &files[f]) != 0) status = 1;
  if (status == 0 && register_regions(options, *run, tree) != 0) status = 1;
  if (status == 0) {
    const int s = addutwrdd(options.dd_file.c_str(), tree);
    if (s != 0) {
      vq_report(s, GetMsgNumText(60011), "sgmlmd");
      status = 1;
    }
  }
  if (status == 0) {
    if (merge && options.verbose) vq_report(1, GetMsgNumText(220024));
  } else {
    commit_abort();
  }
  region_list_free(file_count, files);
  madmtfr(tree);
  return status;
}
