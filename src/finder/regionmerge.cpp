// The merge path of region mode (-J): the run's new pairs are merged into
// the regions of "<base>0.rgn", and regions new to the file are added.
//
// Per region, old and new pairs are both taken from their ends: the new
// pairs as the records of all temporary files come, last first; the old
// ones from the region's block. A pending old pair equal to the new pair
// is dropped; else one that lies after the new pair is kept, one
// overlapping it (an old end equal to the new start included) is dropped,
// one before it waits for the next new pair; every new pair is written.
// Equality comes first: the pair (s, s - 1) of an empty attribute value
// lies after itself and would otherwise be kept beside its new copy,
// growing the region at every rerun of the same document. What is left of the old pairs when the
// new ones are used up is kept as it is (with the lone word of a block of
// an odd count).
//
// The merged file is written anew beside the old one, packed from 0: the
// old regions in their old offset order, then the regions new to the file
// in region-number order. To know each block's size before it is written,
// the merge runs twice: once counting, once writing each block from its end.
// The old pairs are read backwards and looked at in place: each region
// holds a small chunk of them; a run of kept pairs that goes on below its
// chunk is followed through one large buffer shared by all regions, and is
// counted, or written, in pieces as large. The old pairs below the last one
// looked at are only counted, then copied in one piece.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "finder/regions.h"
#include "msg/msg.h"
#include "region/region.h"

namespace {

// Words of a region's chunk of old pairs and of its buffer of merged ones,
// and of the buffer a long run of kept pairs is read through. Few pages:
// memory first touched costs more than the reads.
constexpr size_t kRegionWords = 1024;
constexpr size_t kRunWords = 64 << 10;

// One region's block of the old file read backwards: the words of the
// chunk below `at` are still to be taken; below the chunk lie the file's
// bytes [lower, next).
struct OldPairs {
  bool present = false;
  int64_t lower = 0;  // file offset of the block's first pair
  int64_t next = 0;   // file offset of the chunk's first byte
  std::vector<int32_t> chunk;
  size_t at = 0;      // words of the chunk not yet taken
  int64_t odd = 0;    // bytes of a lone word below the first pair (0 or 4)
};

// One region's merged block written backwards: the buffer's words from
// `at` on lie just below file offset `top`.
struct NewBlock {
  int64_t top = 0;
  std::vector<int32_t> buffer;
  size_t at = 0;
};

struct MergeRegion {
  int32_t old = -1;  // index in the file entry, -1 new
  OldPairs reader;
  NewBlock writer;
  int64_t words = 0;   // words written (or counted)
  int64_t offset = 0;  // the block's data offset in the new file
};

struct Merge {
  const RegionListFile* file;
  int old_fd;
  std::vector<MergeRegion> regions;  // by region number
  std::vector<uint32_t> old_offset;  // per region of the entry, as read
  std::vector<long> old_count;
  std::vector<int32_t> run;          // the shared buffer of long runs
  RegionOutput* out = nullptr;       // the writing run's new file, else null
  bool failed = false;               // after the report
};

// Writes the buffered words of the block.
void flush(Merge& m, NewBlock& w) {
  const size_t n = w.buffer.size() - w.at;
  if (n == 0 || m.failed) return;
  w.top -= static_cast<int64_t>(4 * n);
  if (region_output_write(m.out, w.top - REGION_HEADER_BYTES, w.buffer.data() + w.at, 4 * n) != 0)
    m.failed = true;
  w.at = w.buffer.size();
}

// Puts n words just below what the block holds; as many as the buffer
// holds or more go straight from where they lie.
void put(Merge& m, MergeRegion& g, const int32_t* words, size_t n) {
  g.words += static_cast<int64_t>(n);
  if (m.out == nullptr || m.failed || n == 0) return;
  NewBlock& w = g.writer;
  if (w.buffer.empty()) {
    w.buffer.resize(kRegionWords);
    w.at = w.buffer.size();
  }
  if (n > w.at) {
    flush(m, w);
    if (n >= w.buffer.size()) {
      w.top -= static_cast<int64_t>(4 * n);
      if (region_output_write(m.out, w.top - REGION_HEADER_BYTES, words, 4 * n) != 0)
        m.failed = true;
      return;
    }
  }
  w.at -= n;
  std::memcpy(w.buffer.data() + w.at, words, 4 * n);
}

// Reads the n bytes of the old file below `next` into the buffer: false
// after a reported read failure.
bool read_below(Merge& m, int64_t next, int32_t* buffer, int64_t n) {
  if (m.failed) return false;
  if (region_transfer(m.old_fd, static_cast<off_t>(next - n), reinterpret_cast<unsigned char*>(buffer),
                      static_cast<size_t>(n), false) != 0) {
    vq_report(16, GetMsgNumText(60028), m.file->name);
    m.failed = true;
    return false;
  }
  return true;
}

// Loads the region's chunk with the pairs below it: false at the block's
// start or after a reported read failure.
bool refill(Merge& m, OldPairs& r) {
  if (r.next <= r.lower) return false;
  if (r.chunk.empty()) r.chunk.resize(kRegionWords);
  const int64_t n = std::min<int64_t>(r.next - r.lower, static_cast<int64_t>(4 * kRegionWords));
  if (!read_below(m, r.next, r.chunk.data(), n)) return false;
  r.next -= n;
  r.at = static_cast<size_t>(n / 4);
  return true;
}

// The first kept pair of a run below the words [0, top) of the buffer
// (pairs whose start lies after the new pair's end): its word index. A
// pair equal to the new one is not kept, also when it is empty (an empty
// value's pair (s, s - 1) starts after its own end).
size_t kept_from(const int32_t* words, size_t top, int32_t start, int32_t end) {
  size_t low = top;
  while (low > 0 && end < words[low - 2] && (words[low - 2] != start || words[low - 1] != end))
    low -= 2;
  return low;
}

// A run of kept pairs that took the whole chunk goes on below it: followed
// through the shared buffer; the region's chunk is left empty, the file's
// bytes below the run to be read again.
void keep_run(Merge& m, MergeRegion& g, int32_t start, int32_t end) {
  OldPairs& r = g.reader;
  if (m.run.empty()) m.run.resize(kRunWords);
  while (r.next > r.lower) {
    const int64_t n = std::min<int64_t>(r.next - r.lower, static_cast<int64_t>(4 * kRunWords));
    if (!read_below(m, r.next, m.run.data(), n)) return;
    const size_t top = static_cast<size_t>(n / 4);
    const size_t low = kept_from(m.run.data(), top, start, end);
    put(m, g, m.run.data() + low, top - low);
    r.next -= n - static_cast<int64_t>(4 * low);
    if (low > 0) return;
  }
}

// One new pair of region g, the pairs after it already merged.
void merge_pair(Merge& m, MergeRegion& g, int32_t start, int32_t end) {
  OldPairs& r = g.reader;
  while (r.present && !m.failed) {
    if (r.at == 0 && !refill(m, r)) break;
    const int32_t* chunk = r.chunk.data();
    const size_t low = kept_from(chunk, r.at, start, end);
    if (low < r.at) {
      put(m, g, chunk + low, r.at - low);
      r.at = low;
      if (low == 0) keep_run(m, g, start, end);
      continue;
    }
    const bool equal = chunk[r.at - 2] == start && chunk[r.at - 1] == end;
    if (!equal && chunk[r.at - 1] < start) break;  // before the new pair: it waits
    r.at -= 2;                                      // equal or overlapping: dropped
  }
  const int32_t pair[2] = {start, end};
  put(m, g, pair, 2);
}

// Sets every region's reader to the end of its old block (and in the
// writing run its writer to the end of its new block).
void open_streams(Merge& m, const std::vector<RegionEntry>& entries) {
  for (size_t r = 0; r < m.regions.size(); ++r) {
    MergeRegion& g = m.regions[r];
    g.words = 0;
    g.reader.present = g.old >= 0;
    if (g.reader.present) {
      const int64_t lower = REGION_HEADER_BYTES + static_cast<int64_t>(m.old_offset[g.old]);
      const int64_t bytes = 4 * static_cast<int64_t>(m.old_count[g.old]);
      g.reader.odd = bytes % 8;
      g.reader.lower = lower + g.reader.odd;
      g.reader.next = lower + bytes;
      g.reader.at = 0;
    }
    g.writer.at = g.writer.buffer.size();
    g.writer.top = REGION_HEADER_BYTES + g.offset + 4 * entries[r].word_count;
  }
}

// Runs the merge over all records; in the writing run also copies the old
// pairs left and writes the blocks out. false after a reported failure.
bool run_merge(Merge& m, const RegionRun& run) {
  TempBackReader back;
  temp_back_open(&back, &run.temp);
  TempRecord rec;
  while (!m.failed && temp_back_prev(&back, &rec)) {
    if (rec.region < 0 || static_cast<size_t>(rec.region) >= m.regions.size()) {
      back.failed = true;
      vq_report(16, GetMsgNumText(60028), run.temp.names[back.file].c_str());
      break;
    }
    merge_pair(m, m.regions[static_cast<size_t>(rec.region)], rec.start, rec.end);
  }
  temp_back_close(&back);
  if (back.failed || m.failed) return false;
  for (MergeRegion& g : m.regions) {
    // The old pairs not taken: those of the chunk, then the bytes below it.
    OldPairs& r = g.reader;
    int64_t rest = 0;
    if (r.present) {
      put(m, g, r.chunk.data(), r.at);
      r.at = 0;
      rest = r.next - r.lower + r.odd;
      g.words += rest / 4;
    }
    if (m.out != nullptr) {
      flush(m, g.writer);
      if (m.failed) return false;
      const int64_t below = g.writer.top - rest;
      if (below != REGION_HEADER_BYTES + g.offset) {
        vq_report(16, GetMsgNumText(60027), m.out->target.c_str());
        return false;
      }
      if (rest > 0 && region_output_copy(m.out, m.old_fd, m.file->name, r.lower - r.odd,
                                         g.offset, rest) != 0)
        return false;
    }
  }
  return true;
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

  Merge m{&file, -1, std::vector<MergeRegion>(entries.size()), {}, {}, {}, nullptr, false};
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
  open_streams(m, entries);
  bool ok = run_merge(m, *run);

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
    m.out = &out;
    open_streams(m, entries);
    if (!run_merge(m, *run)) status = 1;
  }
  vqio_close(m.old_fd);
  if (status == 0) status = region_output_commit(&out);
  return status;
}
