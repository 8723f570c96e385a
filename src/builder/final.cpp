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

  // Offsets to ranks in text order.
  const int64_t words = st.buffer_size / 64 + 1;
  auto* bits = reinterpret_cast<uint64_t*>(st.text_buffer);
  auto* before = reinterpret_cast<uint32_t*>(bits + words);
  std::fill(bits, bits + words, 0);
  uint64_t sum = 0, mix = 0;
  for (int64_t k = 0; k < c; ++k) {
    const int32_t o = slots[k];
    check_offset(o);
    const uint64_t bit = uint64_t{1} << (o & 63);
    if (bits[o >> 6] & bit) work_files_damaged();
    bits[o >> 6] |= bit;
    sum += static_cast<uint64_t>(o);
    mix += offset_hash(o);
  }
  uint32_t running = 0;
  for (int64_t w = 0; w < words; ++w) {
    before[w] = running;
    running += static_cast<uint32_t>(__builtin_popcountll(bits[w]));
  }
  for (int64_t k = 0; k < c; ++k) {
    const int32_t o = slots[k];
    const uint64_t below = bits[o >> 6] & ((uint64_t{1} << (o & 63)) - 1);
    slots[k] = static_cast<int32_t>(before[o >> 6] + static_cast<uint32_t>(__builtin_popcountll(below)));
  }

  auto* positions = reinterpret_cast<int32_t*>(st.text_buffer);
  const ScanJob job = ConvertP(h, positions);
  if (job.count != c || job.offset_sum != sum || job.offset_mix != mix || job.pass_end != h.end) {
    work_files_damaged();
  }
  for (int64_t k = 0; k < c; ++k) slots[k] = positions[slots[k]];

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
