// The replace path of region mode: the regions of the run replace those of
// the same names. Each region file touched keeps its other regions, packed
// from 0 in their old offset order, and gets the run's blocks after them in
// region-number order; past the size limit the layout moves on to the next
// region file of the base. The records are read once, as they were
// counted when written, and never sorted: a region's pairs keep their
// record order.
#include <algorithm>

#include "finder/regions.h"
#include "msg/msg.h"
#include "region/region.h"

namespace {

// Words gathered per region before one write: the budget shared among the
// regions of the run, each between the least and the most, and no more
// than the region holds.
constexpr size_t kBlockBudget = 1 << 19;
constexpr size_t kBlockLeast = 2048;
constexpr size_t kBlockMost = 16384;

struct Plan {
  int32_t list_index = -1;  // the file's entry in the region list, -1 none
  int64_t data_end = 0;     // end of the regions it keeps
  std::vector<uint32_t> old_offset;  // per region of the entry, before the plan
  int old_fd = -1;
  RegionOutput out;
};

// Plans region file n: its listed regions of names the run does not make
// keep their data, packed from 0 in offset order; the others get count -1
// so that their entries are left to the run. 0, or 1 after the report.
int plan_file(const RegionWriteOptions& options, const RegionRun& run, RegionListFile* files,
              int32_t file_count, int32_t n, Plan* plan) {
  const std::string name = rgn_file_name(options.base, n);
  plan->list_index = region_list_find(name.c_str(), file_count, files);
  if (plan->list_index < 0) return 0;
  RegionListFile& file = files[plan->list_index];
  if (region_file_check(&file) != 0) return 1;
  for (int32_t i = 0; i < file.count; ++i) plan->old_offset.push_back(file.regions[i].offset);
  std::vector<int32_t> order(static_cast<size_t>(file.count));
  for (int32_t i = 0; i < file.count; ++i) order[static_cast<size_t>(i)] = i;
  std::stable_sort(order.begin(), order.end(), [&](int32_t a, int32_t b) {
    return region_compare(&file.regions[a], &file.regions[b]) < 0;
  });
  for (int32_t i : order) {
    RegionListEntry& r = file.regions[i];
    if (r.name != nullptr && region_find(&run, r.name) >= 0) {
      r.count = -1;
      continue;
    }
    r.offset = static_cast<uint32_t>(plan->data_end);
    plan->data_end += 4 * static_cast<int64_t>(r.count);
  }
  return 0;
}

// Writes the header and the kept regions of the plan's new file.
int start_file(const RegionWriteOptions& options, const RegionListFile* kept, int32_t n,
               Plan* plan) {
  if (region_output_open(&plan->out, rgn_file_name(options.base, n), options.version) != 0)
    return 1;
  if (kept == nullptr) return 0;
  plan->old_fd = vqio_open(kept->name, O_RDONLY);
  if (plan->old_fd < 0) {
    vq_report(11, GetMsgNumText(60032), kept->name);
    return 1;
  }
  for (int32_t i = 0; i < kept->count; ++i) {
    const RegionListEntry& now = kept->regions[i];
    if (now.count <= 0) continue;
    const int64_t from = REGION_HEADER_BYTES + static_cast<int64_t>(plan->old_offset[i]);
    if (region_output_copy(&plan->out, plan->old_fd, kept->name, from, now.offset,
                           4 * static_cast<int64_t>(now.count)) != 0)
      return 1;
  }
  return 0;
}

// The records of the run distributed to the blocks of their regions. A
// record of no region of the run, or more or fewer records of a region
// than it counted, mean a damaged temporary file.
struct Distributor {
  // Per region number: its block buffer (made at its first record), the
  // words in it and its size (an even number of words), the data offset of
  // the next word, the offset after the block. One record per region, so
  // that a record touches one place.
  struct Block {
    std::vector<int32_t> words;
    size_t used = 0;
    size_t size = 0;
    int64_t at = 0;
    int64_t end = 0;
  };
  std::vector<Plan>* plans;
  const std::vector<RegionEntry>* entries;
  std::vector<Block> blocks;
  int status = 0;
  bool damaged = false;

  void flush(size_t r) {
    Block& b = blocks[r];
    if (b.used == 0 || status != 0) return;
    const int64_t bytes = static_cast<int64_t>(4 * b.used);
    if (b.at + bytes > b.end) {
      damaged = true;
      status = 1;
      return;
    }
    RegionOutput& out = (*plans)[static_cast<size_t>((*entries)[r].file_index)].out;
    status = region_output_write(&out, b.at, b.words.data(), 4 * b.used);
    b.at += bytes;
    b.used = 0;
  }
  void operator()(const TempRecord& record) {
    const size_t r = static_cast<size_t>(record.region);
    if (r >= blocks.size()) {
      damaged = true;
      status = 1;
      return;
    }
    Block& b = blocks[r];
    if (b.words.empty()) b.words.resize(b.size);
    b.words[b.used] = record.start;
    b.words[b.used + 1] = record.end;
    b.used += 2;
    if (b.used >= b.size) flush(r);
  }
};

}  // namespace

int region_layout_write(const RegionWriteOptions& options, RegionRun* run,
                        RegionListFile* files, int32_t file_count,
                        std::vector<int32_t>* touched) {
  std::vector<RegionEntry>& entries = run->entries;
  // The words per region as the records were counted when written; the
  // distribution checks them against the records.
  // Lay the blocks out, file after file.
  std::vector<Plan> plans(1);
  if (plan_file(options, *run, files, file_count, 0, &plans[0]) != 0) return 1;
  int64_t offset = plans[0].data_end;
  int64_t used = offset + REGION_HEADER_BYTES;
  for (RegionEntry& e : entries) {
    if (e.word_count == 0) continue;
    if (used > options.file_limit) {
      plans.emplace_back();
      if (plan_file(options, *run, files, file_count, static_cast<int32_t>(plans.size() - 1),
                    &plans.back()) != 0)
        return 1;
      offset = plans.back().data_end;
      used = offset + REGION_HEADER_BYTES;
    }
    e.file_index = static_cast<int32_t>(plans.size() - 1);
    e.offset = offset;
    offset += 4 * e.word_count;
    used += 4 * e.word_count;
    if (offset > REGION_MAX_DATA_END) {
      vq_report(15, GetMsgNumText(200067), rgn_file_name(options.base, e.file_index).c_str(),
                static_cast<long long>(offset));
      return 1;
    }
  }
  if (options.verbose) {
    const std::string last = rgn_file_name(options.base, static_cast<int32_t>(plans.size() - 1));
    for (const RegionEntry& e : entries)
      vq_report(1, GetMsgNumText(220014), last.c_str(), e.name.c_str(),
                static_cast<int>(e.word_count));
  }

  // Write every file: header, kept regions, then the run's blocks.
  int status = 0;
  for (size_t n = 0; n < plans.size() && status == 0; ++n) {
    Plan& p = plans[n];
    status = start_file(options, p.list_index >= 0 ? &files[p.list_index] : nullptr,
                        static_cast<int32_t>(n), &p);
  }
  if (status == 0) {
    Distributor d{&plans, &entries, {}};
    d.blocks.resize(entries.size());
    size_t holding = 0;
    for (const RegionEntry& e : entries) holding += e.word_count > 0 ? 1 : 0;
    const size_t block =
        std::clamp(kBlockBudget / std::max<size_t>(holding, 1), kBlockLeast, kBlockMost) & ~size_t{1};
    for (size_t r = 0; r < entries.size(); ++r) {
      Distributor::Block& b = d.blocks[r];
      b.at = entries[r].offset;
      b.end = entries[r].word_count > 0 ? entries[r].offset + 4 * entries[r].word_count : b.at;
      // A region of no words still takes one pair, which the flush then
      // finds is more than it counted.
      const size_t words = static_cast<size_t>(std::max<int64_t>(entries[r].word_count, 2));
      b.size = std::min(block, (words + 1) & ~size_t{1});
    }
    if (temp_set_each(run->temp, d) < 0) status = 1;
    for (size_t r = 0; r < entries.size() && status == 0 && d.status == 0; ++r) {
      d.flush(r);
      if (d.status == 0 && d.blocks[r].at != d.blocks[r].end) d.damaged = true;
    }
    if (d.damaged)
      vq_report(16, GetMsgNumText(60028), run->temp.names.empty() ? "" : run->temp.names[0].c_str());
    if (d.status != 0 || d.damaged) status = 1;
  }
  for (Plan& p : plans) {
    if (p.old_fd >= 0) vqio_close(p.old_fd);
    p.old_fd = -1;
  }
  for (size_t n = 0; n < plans.size() && status == 0; ++n) {
    status = region_output_commit(&plans[n].out);
    if (plans[n].list_index >= 0) touched->push_back(plans[n].list_index);
  }
  return status;
}
