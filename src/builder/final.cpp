// Phase II, first step: each pass file (buffer offsets in suffix order)
// becomes a final piece (text positions in suffix order).
//
// FinalPassFile <int-name>.t<n>, 4-byte words in host byte order:
//   0 pass start   1 pass end   2 first character   3 point count c
//   4.. the c 1-based text positions of the points, in suffix order
// Its size is 16 + 4c bytes.
//
// The offsets are marked in a bitmap of the pass's buffer (with a running
// count per 64 bits), which turns each offset into its rank in text order
// in place. The pass is then replayed by the scanner, which meets the
// points in text order and records their positions; the replay must take
// exactly the pass file's offsets (count, sum and hash sum agree), also
// with -p, where the points file may hold words that never became points.
// Each rank is finally replaced by its position. Memory: the bitmap, the
// counts and then the positions in the text half, the offsets in the point
// half.
#include <algorithm>
#include <atomic>
#include <bit>
#include <utility>
#include <vector>

#include "builder/phases_internal.h"
#include "msg/msg.h"

using namespace phases;

namespace {

// Replays a pass through a small window (holding at least the longest stop
// word) and records the positions of its points in text order. The region
// rule (-d) and the points file (-p, from the pass's offset) come with the
// scanner's job, so this is also the region and points-file conversion.
ScanJob ConvertP(const PassHeader& h, int32_t* positions) {
  BuildState& st = build_state();
  const int64_t rows = static_cast<int64_t>(st.control->stop_masks.size());
  std::vector<unsigned char> window(
      static_cast<size_t>(std::max<int64_t>(64 * 1024, 2 * (rows + 2) + 16)));
  ScanJob job = pass_job(h.start, static_cast<unsigned char>(h.first_char), h.start - 1);
  job.buffer = window.data();
  job.window_size = static_cast<int64_t>(window.size());
  job.out = positions;
  PointsCursor cursor;
  long saved = 0;
  if (job.use_points_file) {
    saved = vqio_ftell(st.points_stream);
    points_start(&cursor, st.points_stream, h.points_offset);
    job.points = &cursor;
  }
  scan_text(ScanMode::Convert, &job);
  if (job.use_points_file) vqio_fseek(st.points_stream, saved, SEEK_SET);
  return job;
}

// Offsets to ranks in text order: the bitmap of the pass's offsets with a
// running count per 64 bits. Counts of bits use the processor's
// instruction where it has one.
struct Ranks {
  uint64_t* bits;
  uint32_t* before;  // set bits in the words before each word
  int64_t words;
};

inline void count_before(const Ranks& r) {
  uint32_t running = 0;
  for (int64_t w = 0; w < r.words; ++w) {
    r.before[w] = running;
    running += static_cast<uint32_t>(std::popcount(r.bits[w]));
  }
}

inline void offsets_to_ranks(const Ranks& r, int32_t* slots, int64_t from, int64_t to) {
  for (int64_t k = from; k < to; ++k) {
    const int32_t o = slots[k];
    const uint64_t below = r.bits[o >> 6] & ((uint64_t{1} << (o & 63)) - 1);
    slots[k] = static_cast<int32_t>(r.before[o >> 6] + static_cast<uint32_t>(std::popcount(below)));
  }
}

#if defined(__x86_64__) || defined(__i386__)
[[gnu::target("popcnt")]] void count_before_hw(const Ranks& r) { count_before(r); }
[[gnu::target("popcnt")]] void offsets_to_ranks_hw(const Ranks& r, int32_t* slots, int64_t from, int64_t to) {
  offsets_to_ranks(r, slots, from, to);
}
bool has_popcount() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("popcnt");
}
#else
void count_before_hw(const Ranks& r) { count_before(r); }
void offsets_to_ranks_hw(const Ranks& r, int32_t* slots, int64_t from, int64_t to) {
  offsets_to_ranks(r, slots, from, to);
}
bool has_popcount() { return false; }
#endif

constexpr int64_t kLeast = 64 * 1024;  // points per thread at least

int32_t final_piece(int pass) {
  BuildState& st = build_state();
  PassHeader h;
  const int fd = open_pass_file(pass, &h, 60013);
  if (st.options->verbose) {
    vq_report(1, "%s %d %s %d to %d", GetMsgText(100020), pass, GetMsgText(100010), h.start, h.end);
  }
  const int64_t c = h.count;
  int32_t* slots = st.points;
  if (!read_at(fd, PASS_HEADER_BYTES, slots, static_cast<size_t>(c) * 4)) work_files_damaged();
  vqio_close(fd);

  // Offsets to ranks in text order. The threads mark disjoint parts of the
  // offsets; a damaged file (an offset out of range or twice) is reported
  // once they have ended.
  // The bitmap covers the offsets the pass holds, not the whole buffer:
  // the memory touched grows with the pass, not with the budget.
  const int parts = work_parts(c, kLeast);
  std::vector<int32_t> highest(static_cast<size_t>(parts), 0);
  std::atomic<bool> damaged{false};
  split_work(c, kLeast, [&](int part, int64_t from, int64_t to) {
    int32_t most = 0;
    for (int64_t k = from; k < to; ++k) {
      const int32_t o = slots[k];
      if (!offset_in_pass(o)) {
        damaged = true;
        break;
      }
      most = std::max(most, o);
    }
    highest[static_cast<size_t>(part)] = most;
  });
  if (damaged) work_files_damaged();
  Ranks r;
  r.words = *std::max_element(highest.begin(), highest.end()) / 64 + 1;
  r.bits = reinterpret_cast<uint64_t*>(st.text_buffer);
  r.before = reinterpret_cast<uint32_t*>(r.bits + r.words);
  std::fill(r.bits, r.bits + r.words, 0);
  std::vector<uint64_t> sums(static_cast<size_t>(parts)), mixes(static_cast<size_t>(parts));
  split_work(c, kLeast, [&](int part, int64_t from, int64_t to) {
    uint64_t sum = 0, mix = 0;
    bool bad = false;
    for (int64_t k = from; k < to; ++k) {
      const int32_t o = slots[k];
      const uint64_t bit = uint64_t{1} << (o & 63);
      if (std::atomic_ref<uint64_t>(r.bits[o >> 6]).fetch_or(bit, std::memory_order_relaxed) & bit) {
        bad = true;
        break;
      }
      sum += static_cast<uint64_t>(o);
      mix += offset_hash(o);
    }
    if (bad) damaged = true;
    sums[static_cast<size_t>(part)] = sum;
    mixes[static_cast<size_t>(part)] = mix;
  });
  if (damaged) work_files_damaged();
  uint64_t sum = 0, mix = 0;
  for (int part = 0; part < parts; ++part) {
    sum += sums[static_cast<size_t>(part)];
    mix += mixes[static_cast<size_t>(part)];
  }
  static const bool hardware_popcount = has_popcount();
  if (hardware_popcount) count_before_hw(r);
  else count_before(r);
  split_work(c, kLeast, [&](int, int64_t from, int64_t to) {
    if (hardware_popcount) offsets_to_ranks_hw(r, slots, from, to);
    else offsets_to_ranks(r, slots, from, to);
  });

  auto* positions = reinterpret_cast<int32_t*>(st.text_buffer);
  ScanJob job;
  if (!replay_in_parts(ScanMode::Convert, h.start, static_cast<unsigned char>(h.first_char), nullptr,
                       positions, &job))
    job = ConvertP(h, positions);
  if (job.count != c || job.offset_sum != sum || job.offset_mix != mix || job.pass_end != h.end) {
    work_files_damaged();
  }
  split_work(c, kLeast, [&](int, int64_t from, int64_t to) {
    for (int64_t k = from; k < to; ++k) slots[k] = positions[slots[k]];
  });

  const std::string name = work_name(st.options->int_name, "t", pass);
  const int out = vqio_open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (out < 0) vq_report(16, GetMsgNumText(60008), name.c_str());
  const int32_t header[4] = {h.start, h.end, h.first_char, h.count};
  if (!write_all(out, header, sizeof header) || !write_all(out, slots, static_cast<size_t>(c) * 4)) {
    vq_report(16, GetMsgNumText(60013), name.c_str());
  }
  if (vqio_close(out) != 0) vq_report(16, GetMsgNumText(60013), name.c_str());
  log_append("%s %d\n", GetMsgText(100009), pass);
  vqio_unlink(work_name(st.options->int_name, "i", pass).c_str());
  return h.count;
}

}  // namespace

int FinalPass(int passes, int finals_done) {
  BuildState& st = build_state();
  if (finals_done == 0) st.total_points = 0;
  for (int i = finals_done + 1; i <= passes; ++i) {
    const int32_t count = final_piece(i);
    if (finals_done == 0) st.total_points += count;
  }
  return passes;
}
