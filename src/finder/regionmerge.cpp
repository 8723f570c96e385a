// The merge path of region mode (-J): the run's new pairs are merged into
// the regions of "<base>0.rgn", and regions new to the file are added.
//
// Per region, old and new pairs are both taken from their ends: the new
// pairs as the records of all temporary files come, last first; the old
// ones from the region's block. A pending old pair that lies after the new
// pair is kept, one equal to it or overlapping it (an old end equal to the
// new start included) is dropped, one before it waits for the next new
// pair; every new pair is written. What is left of the old pairs when the
// new ones are used up is kept as it is.
//
// The merged file is written anew beside the old one, packed from 0: the
// old regions in their old offset order, then the regions new to the file
// in region-number order. To know each block's size before it is written,
// the merge runs twice: once counting, once writing each block from its end
// through a backward stream. The old pairs below the last one looked at
// are only counted, then copied in one piece.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "finder/regions.h"
#include "msg/msg.h"
#include "region/region.h"

namespace {

struct MergeRegion {
  int32_t old = -1;               // index in the file entry, -1 new
  RevioStream* reader = nullptr;  // old pairs, backwards
  RevioStream* writer = nullptr;  // the new block, backwards
  bool pending = false;
  int32_t old_start = 0;
  int32_t old_end = 0;
  int64_t words = 0;              // words written (or counted)
  int64_t offset = 0;             // the block's data offset in the new file
};

struct Merge {
  const RegionListFile* file;
  int old_fd;
  std::vector<MergeRegion> regions;  // by region number
  std::vector<uint32_t> old_offset;  // per region of the entry, as read
  std::vector<long> old_count;
  bool writing = false;
  bool failed = false;
};

void put(Merge& m, MergeRegion& g, int32_t value) {
  ++g.words;
  if (m.writing && revio_put_int(value, g.writer) != 0) m.failed = true;
}

void read_old(MergeRegion& g) {
  g.pending = false;
  if (g.reader == nullptr) return;
  const int32_t end = revio_get_int(g.reader);
  if (g.reader->flags & (REVIO_EOF | REVIO_ERR)) return;
  const int32_t start = revio_get_int(g.reader);
  if (g.reader->flags & (REVIO_EOF | REVIO_ERR)) return;
  g.old_start = start;
  g.old_end = end;
  g.pending = true;
}

// One new pair of region g, the pairs after it already merged.
void merge_pair(Merge& m, MergeRegion& g, int32_t start, int32_t end) {
  if (g.reader != nullptr && !(g.reader->flags & (REVIO_EOF | REVIO_ERR))) {
    if (!g.pending) read_old(g);
    while (g.pending) {
      if (end < g.old_start) {
        put(m, g, g.old_end);
        put(m, g, g.old_start);
      } else if (g.old_end < start) {
        break;
      }
      // else: equal or overlapping: dropped
      read_old(g);
    }
  }
  put(m, g, end);
  put(m, g, start);
}

// Bytes of old pairs below the reader's current place.
int64_t unread_bytes(const RevioStream* reader) {
  if (reader->flags & (REVIO_EOF | REVIO_ERR)) return 0;
  return static_cast<int64_t>(reader->position + reader->count - reader->lower);
}

// Buffers of the backward streams: large, within a budget for all of them.
constexpr int64_t kStreamBudget = 32 << 20;
constexpr int32_t kStreamMax = 256 << 10;
constexpr int32_t kStreamMin = 1024;

// Opens the old-pair readers (and in the writing run the block writers).
void open_streams(Merge& m, const std::vector<RegionEntry>& entries, const std::string& target,
                  int out_fd) {
  const int64_t streams = 2 * std::max<int64_t>(1, static_cast<int64_t>(m.regions.size()));
  const int32_t size = static_cast<int32_t>(
      std::clamp<int64_t>(kStreamBudget / streams, kStreamMin, kStreamMax) & ~int64_t{3});
  for (size_t r = 0; r < m.regions.size(); ++r) {
    MergeRegion& g = m.regions[r];
    g.pending = false;
    g.words = 0;
    if (g.old >= 0) {
      const off_t lower = REGION_HEADER_BYTES + static_cast<off_t>(m.old_offset[g.old]);
      g.reader =
          revio_open(m.file->name, "r", m.old_fd, lower, lower + 4 * m.old_count[g.old] - 1);
      revio_set_buffer(g.reader, size);
    }
    if (m.writing) {
      const off_t lower = REGION_HEADER_BYTES + static_cast<off_t>(g.offset);
      // The block's size is what the counting run found.
      g.writer = revio_open(target.c_str(), "w", out_fd, lower,
                            lower + 4 * entries[r].word_count - 1);
      revio_set_buffer(g.writer, size);
    }
  }
}

// Runs the merge over all records; in the writing run also copies the old
// pairs left and closes the writers. false after a reported failure.
bool run_merge(Merge& m, const RegionRun& run, RegionOutput* out) {
  TempBackReader back;
  temp_back_open(&back, &run.temp);
  TempRecord rec;
  while (temp_back_prev(&back, &rec)) {
    if (rec.region < 0 || static_cast<size_t>(rec.region) >= m.regions.size()) {
      back.failed = true;
      vq_report(16, GetMsgNumText(60028), run.temp.names[back.file].c_str());
      break;
    }
    merge_pair(m, m.regions[static_cast<size_t>(rec.region)], rec.start, rec.end);
  }
  temp_back_close(&back);
  bool ok = !back.failed && !m.failed;
  for (MergeRegion& g : m.regions) {
    if (g.pending) {
      put(m, g, g.old_end);
      put(m, g, g.old_start);
      g.pending = false;
    }
    const int64_t rest = g.reader ? unread_bytes(g.reader) : 0;
    if (g.reader != nullptr && (g.reader->flags & REVIO_ERR)) ok = false;
    g.words += rest / 4;
    if (m.writing && ok) {
      // The rest goes just below what the writer has written.
      if (revio_flush(g.writer) != 0) {
        ok = false;
      } else {
        const int64_t below = static_cast<int64_t>(g.writer->position) - rest;
        if (below != REGION_HEADER_BYTES + g.offset) {
          ok = false;
        } else if (rest > 0 &&
                   region_output_copy(out, m.old_fd, m.file->name, g.reader->lower,
                                      below - REGION_HEADER_BYTES, rest) != 0) {
          return false;
        }
      }
    }
    if (g.reader) revio_close(g.reader);
    g.reader = nullptr;
    if (g.writer && revio_close(g.writer) != 0) ok = false;
    g.writer = nullptr;
  }
  if (!ok) vq_report(16, GetMsgNumText(m.writing ? 60027 : 60028),
                     m.writing ? out->target.c_str() : m.file->name);
  return ok;
}

// Whether the name is "<base><n>.rgn" with n 1 or more.
bool later_file_of_base(const std::string& name, const std::string& base) {
  if (name.size() <= base.size() + 4 || name.compare(0, base.size(), base) != 0 ||
      name.compare(name.size() - 4, 4, ".rgn") != 0)
    return false;
  const std::string n = name.substr(base.size(), name.size() - base.size() - 4);
  if (n.empty() || n == "0" || n[0] == '0') return false;
  return std::all_of(n.begin(), n.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

}  // namespace

int region_merge_write(const RegionWriteOptions& options, RegionRun* run,
                       RegionListFile* files, int32_t file_count, int32_t current) {
  RegionListFile& file = files[current];
  const std::string target = rgn_file_name(options.base, 0);
  std::vector<RegionEntry>& entries = run->entries;

  // A region that lies in a later region file of the base cannot be merged
  // into file 0 without losing its old pairs.
  for (int32_t i = 0; i < file_count; ++i) {
    if (i == current || files[i].name == nullptr ||
        !later_file_of_base(files[i].name, options.base) || vqio_access(files[i].name, F_OK) != 0)
      continue;
    for (const RegionEntry& e : entries)
      if (region_index(e.name.c_str(), &files[i]) >= 0) {
        vq_report(15, GetMsgNumText(220018), e.name.c_str(), files[i].name, target.c_str());
        return 1;
      }
  }
  if (region_file_check(&file) != 0) return 1;

  Merge m{&file, -1, std::vector<MergeRegion>(entries.size()), {}, {}, false, false};
  for (int32_t i = 0; i < file.count; ++i) {
    m.old_offset.push_back(file.regions[i].offset);
    m.old_count.push_back(file.regions[i].count);
  }
  for (size_t r = 0; r < entries.size(); ++r)
    m.regions[r].old = region_index(entries[r].name.c_str(), &file);
  m.old_fd = vqio_open(file.name, O_RDONLY);
  if (m.old_fd < 0) {
    vq_report(11, GetMsgNumText(60032), file.name);
    return 1;
  }

  // Counting run: the size of every merged block.
  open_streams(m, entries, target, -1);
  bool ok = run_merge(m, *run, nullptr);

  // Layout: the old regions in offset order, then the new ones.
  int status = ok ? 0 : 1;
  std::vector<int32_t> run_of(static_cast<size_t>(file.count), -1);
  for (size_t r = 0; r < entries.size(); ++r)
    if (m.regions[r].old >= 0) run_of[static_cast<size_t>(m.regions[r].old)] = static_cast<int32_t>(r);
  std::vector<int32_t> order(static_cast<size_t>(file.count));
  for (int32_t i = 0; i < file.count; ++i) order[static_cast<size_t>(i)] = i;
  std::stable_sort(order.begin(), order.end(), [&](int32_t a, int32_t b) {
    return region_compare(&file.regions[a], &file.regions[b]) < 0;
  });
  int64_t end = 0;
  for (int32_t i : order) {
    RegionListEntry& o = file.regions[i];
    const int32_t r = run_of[static_cast<size_t>(i)];
    if (r >= 0) {
      MergeRegion& g = m.regions[static_cast<size_t>(r)];
      g.offset = end;
      entries[static_cast<size_t>(r)].word_count = g.words;
    }
    o.offset = static_cast<uint32_t>(end);
    if (r >= 0) o.count = static_cast<long>(m.regions[static_cast<size_t>(r)].words);
    end += 4 * static_cast<int64_t>(o.count);
  }
  for (size_t r = 0; r < entries.size(); ++r) {
    MergeRegion& g = m.regions[r];
    entries[r].file_index = 0;
    if (g.old < 0) {
      g.offset = end;
      entries[r].word_count = g.words;
      end += 4 * g.words;
    }
    entries[r].offset = g.offset;
  }
  if (status == 0 && end > REGION_MAX_DATA_END) {
    vq_report(15, GetMsgNumText(200067), target.c_str(), static_cast<long long>(end));
    status = 1;
  }

  // Writing run into the new file.
  RegionOutput out;
  if (status == 0) status = region_output_open(&out, target, options.version);
  for (size_t k = 0; k < order.size() && status == 0; ++k) {
    const int32_t i = order[k];
    if (run_of[static_cast<size_t>(i)] >= 0 || file.regions[i].count <= 0) continue;
    status = region_output_copy(&out, m.old_fd, file.name,
                                REGION_HEADER_BYTES + static_cast<int64_t>(m.old_offset[i]),
                                file.regions[i].offset, 4 * static_cast<int64_t>(file.regions[i].count));
  }
  if (status == 0) {
    m.writing = true;
    open_streams(m, entries, target, out.fd);
    if (!run_merge(m, *run, &out)) status = 1;
  }
  vqio_close(m.old_fd);
  if (status == 0) status = region_output_commit(&out);
  return status;
}
