// Phase II, first step: each pass file (buffer offsets in suffix order)
// becomes a final piece (text positions in suffix order).
//
// FinalPassFile <int-name>.t<n>, 4-byte words in host byte order:
//   0 pass start   1 pass end   2 first character   3 point count c
//   4.. the c 1-based text positions of the points, in suffix order
// Its size is 16 + 4c bytes.
//
// The offsets are sorted ascending (text order) with their suffix-order
// slots carried along; the pass is then replayed by the scanner, which
// meets the points in text order and replaces each offset by its position
// (checking that it finds a point at every offset the pass recorded, also
// with -p, where the points file may hold words that never became points);
// finally the positions go back to suffix order by following the cycles of
// the permutation.
#include <algorithm>
#include <utility>
#include <vector>

#include "builder/phases_internal.h"
#include "msg/msg.h"

using namespace phases;

namespace {

// Sorts keys[0..n) ascending, moving perm along (in-place radix sort on
// 8-bit digits from `shift` down, insertion sort for small ranges).
void sort_keys(int32_t* keys, int32_t* perm, int64_t n, int shift) {
  if (n <= 32) {
    for (int64_t i = 1; i < n; ++i) {
      const int32_t k = keys[i], p = perm[i];
      int64_t j = i;
      for (; j > 0 && keys[j - 1] > k; --j) {
        keys[j] = keys[j - 1];
        perm[j] = perm[j - 1];
      }
      keys[j] = k;
      perm[j] = p;
    }
    return;
  }
  const auto digit = [shift](int32_t k) { return (static_cast<uint32_t>(k) >> shift) & 255u; };
  int64_t start[257] = {}, next[256];
  for (int64_t i = 0; i < n; ++i) ++start[digit(keys[i]) + 1];
  for (int b = 0; b < 256; ++b) start[b + 1] += start[b];
  for (int b = 0; b < 256; ++b) next[b] = start[b];
  for (unsigned b = 0; b < 256; ++b) {
    while (next[b] < start[b + 1]) {
      int32_t k = keys[next[b]], p = perm[next[b]];
      for (unsigned d = digit(k); d != b; d = digit(k)) {
        std::swap(k, keys[next[d]]);
        std::swap(p, perm[next[d]]);
        ++next[d];
      }
      keys[next[b]] = k;
      perm[next[b]] = p;
      ++next[b];
    }
  }
  if (shift == 0) return;
  for (int b = 0; b < 256; ++b) {
    const int64_t m = start[b + 1] - start[b];
    if (m > 1) sort_keys(keys + start[b], perm + start[b], m, shift - 8);
  }
}

int32_t final_piece(int pass) {
  BuildState& st = build_state();
  PassHeader h;
  const int fd = open_pass_file(pass, &h, 60013);
  if (st.options->verbose) {
    vq_report(1, "%s %d %s %d to %d", GetMsgText(100020), pass, GetMsgText(100010), h.start, h.end);
  }
  const int64_t c = h.count;
  int32_t* keys = st.points;
  auto* perm = reinterpret_cast<int32_t*>(st.text_buffer);
  if (!read_at(fd, PASS_HEADER_BYTES, keys, static_cast<size_t>(c) * 4)) work_files_damaged();
  vqio_close(fd);
  for (int64_t k = 0; k < c; ++k) {
    check_offset(keys[k]);
    perm[k] = static_cast<int32_t>(k);
  }
  sort_keys(keys, perm, c, 24);
  for (int64_t k = 1; k < c; ++k) {
    if (keys[k] == keys[k - 1]) work_files_damaged();
  }

  // Replay the pass through a small window, turning offsets into positions.
  int64_t rows = static_cast<int64_t>(st.control->stop_masks.size());
  std::vector<unsigned char> window(static_cast<size_t>(std::max<int64_t>(64 * 1024, 2 * (rows + 2) + 16)));
  ScanJob job = pass_job(h.start, static_cast<unsigned char>(h.first_char), h.start - 1);
  job.buffer = window.data();
  job.window_size = static_cast<int64_t>(window.size());
  job.out = keys;
  PointsCursor cursor;
  long saved = 0;
  if (job.use_points_file) {
    saved = vqio_ftell(st.points_stream);
    points_start(&cursor, st.points_stream, h.points_offset);
    job.points = &cursor;
  }
  scan_text(ScanMode::Convert, &job);
  if (job.use_points_file) vqio_fseek(st.points_stream, saved, SEEK_SET);
  if (job.mismatch || job.count != c || job.pass_end != h.end) work_files_damaged();

  // Positions back into suffix order: sorted slot k belongs to slot perm[k].
  int32_t* pos = keys;
  for (int64_t k = 0; k < c; ++k) {
    while (perm[k] != k) {
      const int32_t t = perm[k];
      std::swap(pos[k], pos[t]);
      std::swap(perm[k], perm[t]);
    }
  }

  const std::string name = work_name(st.options->int_name, "t", pass);
  const int out = vqio_open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (out < 0) vq_report(16, GetMsgNumText(60008), name.c_str());
  const int32_t header[4] = {h.start, h.end, h.first_char, h.count};
  if (!write_all(out, header, sizeof header) || !write_all(out, pos, static_cast<size_t>(c) * 4)) {
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
