// Skip counting: for every point of the newest pass, how many points of the
// earlier passes sort after its predecessor and not after it. Phase II
// merges the passes by these counts without comparing text again.
//
// CounterFile <int-name>.i0: one 4-byte counter per point of the newest
// pass, in its suffix order, processed in blocks of 8192 counters.
// SkipFile <merge-name>.m<n>: one entry per point of pass n in suffix
// order; a count of 0 to 253 is one byte, a larger one the byte 254 and the
// count as a 4-byte word.
//
// An earlier pass's buffer is read back from the passes' stored text kept
// in this run, or else rebuilt by running the scanner again from its start
// with its first character, which gives the buffer the pass had, byte for
// byte (in parts on the threads when the pass recorded checkpoints in this
// run). With enough points the merge walk
// is cut into parts too: where a part of the earlier pass's points starts
// in the newest pass is found by a binary search, so each part walks on its
// own and adds its counts into the counter file.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

#include "builder/phases_internal.h"
#include "msg/msg.h"

using namespace phases;

namespace {

constexpr int64_t kBlock = 8192;  // counters or offsets per block

// Offsets of a pass file, read forward block by block.
struct OffsetReader {
  int fd = -1;
  int32_t count = 0;
  int32_t index = 0;  // of the next offset
  int64_t block_first = 0;
  int64_t block_fill = 0;
  std::vector<int32_t> block = std::vector<int32_t>(kBlock);

  // Starts loading the text of the suffix `ahead` places on, when it is in
  // the block (the walk's compares then find it in the cache).
  void prefetch(const unsigned char* text, int ahead) const {
    const int64_t k = index + ahead - block_first;
    if (k < block_fill) __builtin_prefetch(text + block[static_cast<size_t>(k)]);
  }

  // The next offset. A reader with `damaged` (one on a thread) notes a
  // short read or an offset out of range there and goes on with offset 1;
  // else it is reported.
  int32_t next() {
    if (index >= block_first + block_fill) {
      block_first = index;
      block_fill = std::min<int64_t>(kBlock, count - index);
      if (!read_at(fd, PASS_HEADER_BYTES + 4 * block_first, block.data(),
                   static_cast<size_t>(block_fill) * 4)) {
        if (damaged == nullptr) work_files_damaged();
        *damaged = true;
        std::fill(block.begin(), block.end(), 1);
      }
    }
    int32_t o = block[static_cast<size_t>(index - block_first)];
    if (damaged == nullptr) {
      check_offset(o);
    } else if (!offset_in_pass(o)) {
      *damaged = true;
      o = 1;
    }
    ++index;
    return o;
  }

  // Goes to the offset at `at` (the next one read).
  void seek(int64_t at) {
    index = static_cast<int32_t>(at);
    block_first = at;
    block_fill = 0;
  }

  std::atomic<bool>* damaged = nullptr;
};

// The merge walk on the threads: the old points are cut into parts, each
// part's first new point is found by a binary search, and each part walks
// on its own with readers of its own, adding its counts into the counter
// file block by block under a lock (parts that meet share a block). False
// when the walk is better done whole (few points, one thread, descriptors
// that are not the system's own).
bool walk_in_parts(int old_pass, int32_t old_count, int new_pass, int32_t count, int cfd,
                   const unsigned char* old, const unsigned char* now, bool first_walk) {
  constexpr int64_t kLeast = 64 * 1024;
  const int parts = work_parts(old_count, kLeast);
  const IoSubsystem* io = vqio_current();
  if (parts < 2 || count < 1 || io == nullptr || io->name == nullptr ||
      (std::strcmp(io->name, "native") != 0 && std::strcmp(io->name, "builder") != 0))
    return false;
  const BuildState& st = build_state();
  const std::string counter_name = st.options->int_name + ".i0";
  const std::string old_name = work_name(st.options->int_name, "i", old_pass);
  const std::string new_name = work_name(st.options->int_name, "i", new_pass);
  if (first_walk) {
    // The counters start at zero.
    const std::vector<int32_t> zeros(kBlock, 0);
    for (int64_t first = 0; first < count; first += kBlock) {
      const int64_t fill = std::min<int64_t>(kBlock, count - first);
      if (!(vqio_lseek(cfd, 4 * first, SEEK_SET) >= 0 &&
            write_all(cfd, zeros.data(), static_cast<size_t>(fill) * 4))) {
        vq_report(16, GetMsgNumText(60013), counter_name.c_str());
      }
    }
  }
  // Where each part starts: its first old point and the first new point
  // that point does not sort after.
  std::vector<int64_t> k_from(static_cast<size_t>(parts) + 1), j_from(static_cast<size_t>(parts) + 1);
  {
    const int ofd = vqio_open(old_name.c_str(), O_RDONLY), nfd = vqio_open(new_name.c_str(), O_RDONLY);
    if (ofd < 0 || nfd < 0) work_files_damaged();
    const auto offset_at = [](int fd, int64_t k) {
      int32_t o = 0;
      if (!read_at(fd, PASS_HEADER_BYTES + 4 * k, &o, 4)) work_files_damaged();
      check_offset(o);
      return o;
    };
    for (int part = 0; part <= parts; ++part) {
      const int64_t k = int64_t{old_count} * part / parts;
      k_from[static_cast<size_t>(part)] = k;
      if (part == 0 || part == parts) {
        j_from[static_cast<size_t>(part)] = 0;
        continue;
      }
      const unsigned char* old_suffix = old + offset_at(ofd, k);
      int64_t lo = 0, hi = count;
      while (lo < hi) {
        const int64_t mid = lo + (hi - lo) / 2;
        if (SuffixCompareBounded(old_suffix, now + offset_at(nfd, mid)) < 1) hi = mid;
        else lo = mid + 1;
      }
      j_from[static_cast<size_t>(part)] = lo;
    }
    vqio_close(ofd);
    vqio_close(nfd);
  }
  std::mutex counter_lock;
  std::atomic<bool> damaged{false}, write_failed{false};
  split_work(parts, 1, [&](int, int64_t part_from, int64_t part_to) {
    std::vector<int32_t> add(kBlock), held(kBlock);
    for (int64_t part = part_from; part < part_to; ++part) {
      OffsetReader before, fresh;
      before.fd = vqio_open(old_name.c_str(), O_RDONLY);
      fresh.fd = vqio_open(new_name.c_str(), O_RDONLY);
      before.damaged = fresh.damaged = &damaged;
      before.count = old_count;
      fresh.count = count;
      int64_t block_first = -1;
      const auto flush = [&] {
        if (block_first < 0) return;
        const int64_t fill = std::min<int64_t>(kBlock, count - block_first);
        const std::lock_guard<std::mutex> hold(counter_lock);
        if (!read_at(cfd, 4 * block_first, held.data(), static_cast<size_t>(fill) * 4)) {
          damaged = true;
          return;
        }
        for (int64_t c = 0; c < fill; ++c) held[static_cast<size_t>(c)] += add[static_cast<size_t>(c)];
        if (!(vqio_lseek(cfd, 4 * block_first, SEEK_SET) >= 0 &&
              write_all(cfd, held.data(), static_cast<size_t>(fill) * 4)))
          write_failed = true;
      };
      if (before.fd >= 0 && fresh.fd >= 0) {
        int64_t j = j_from[static_cast<size_t>(part)];
        before.seek(k_from[static_cast<size_t>(part)]);
        fresh.seek(j);
        const unsigned char* new_suffix = j < count ? now + fresh.next() : nullptr;
        for (int64_t k = k_from[static_cast<size_t>(part)]; k < k_from[static_cast<size_t>(part) + 1] && j < count; ++k) {
          before.prefetch(old, 8);
          const unsigned char* old_suffix = old + before.next();
          for (;;) {
            if (SuffixCompareBounded(old_suffix, new_suffix) < 1) {
              if (block_first < 0 || j < block_first || j >= block_first + kBlock) {
                flush();
                block_first = j / kBlock * kBlock;
                std::fill(add.begin(), add.end(), 0);
              }
              ++add[static_cast<size_t>(j - block_first)];
              break;
            }
            if (++j >= count) break;
            fresh.prefetch(now, 8);
            new_suffix = now + fresh.next();
          }
        }
        flush();
      } else {
        damaged = true;
      }
      if (before.fd >= 0) vqio_close(before.fd);
      if (fresh.fd >= 0) vqio_close(fresh.fd);
    }
  });
  if (write_failed) vq_report(16, GetMsgNumText(60013), counter_name.c_str());
  if (damaged) work_files_damaged();
  return true;
}

void WriteSkips(int fd, int32_t count, int pass) {
  const BuildState& st = build_state();
  const std::string name = work_name(st.options->merge_name, "m", pass);
  const int out = vqio_open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (out < 0) vq_report(16, GetMsgNumText(100003), name.c_str());
  std::vector<unsigned char> bytes;
  bytes.reserve(64 * 1024 + 8);
  std::vector<int32_t> counters(4096);  // 16 KB blocks
  const auto flush = [&] {
    if (!write_all(out, bytes.data(), bytes.size())) vq_report(16, GetMsgNumText(60013), name.c_str());
    bytes.clear();
  };
  for (int64_t done = 0; done < count;) {
    const int64_t n = std::min<int64_t>(static_cast<int64_t>(counters.size()), count - done);
    if (pass == 1) {
      std::fill(counters.begin(), counters.begin() + n, 0);
    } else if (!read_at(fd, 4 * done, counters.data(), static_cast<size_t>(n) * 4)) {
      work_files_damaged();
    }
    for (int64_t k = 0; k < n; ++k) {
      const int32_t v = counters[static_cast<size_t>(k)];
      if (v >= 0 && v <= 253) {
        bytes.push_back(static_cast<unsigned char>(v));
      } else {
        bytes.push_back(254);
        const auto* w = reinterpret_cast<const unsigned char*>(&v);
        bytes.insert(bytes.end(), w, w + 4);
      }
      if (bytes.size() >= 64 * 1024) flush();
    }
    done += n;
  }
  flush();
  if (vqio_close(out) != 0) vq_report(16, GetMsgNumText(60013), name.c_str());
  log_append("%s %d\n", GetMsgText(100014), pass);
}

}  // namespace

void RebuildPassBuffer(int32_t start, int32_t end, int first_char, unsigned char* target,
                       long points_offset) {
  BuildState& st = build_state();
  if (read_pass_text(start, end, first_char, target, st.buffer_size)) return;
  ScanJob job;
  if (replay_in_parts(ScanMode::Rebuild, start, static_cast<unsigned char>(first_char), target, nullptr,
                      &job)) {
    if (job.pass_end != end) work_files_damaged();
    return;
  }
  job = pass_job(start, static_cast<unsigned char>(first_char), start - 1);
  job.buffer = target;
  PointsCursor cursor;
  long saved = 0;
  if (job.use_points_file) {
    saved = vqio_ftell(st.points_stream);
    points_start(&cursor, st.points_stream, points_offset);
    job.points = &cursor;
  }
  scan_text(ScanMode::Rebuild, &job);
  if (job.use_points_file) vqio_fseek(st.points_stream, saved, SEEK_SET);
  // The replay ends where the pass ended, unless the text or the work
  // files changed since.
  if (job.pass_end != end) work_files_damaged();
}

void CountSkips(int pass, int32_t count) {
  BuildState& st = build_state();
  const std::string counter_name = st.options->int_name + ".i0";
  if (pass == 1) {
    WriteSkips(-1, count, pass);
    return;
  }
  PassHeader nh;
  OffsetReader fresh;
  fresh.fd = open_pass_file(pass, &nh, 60006);
  if (nh.count != count) work_files_damaged();
  fresh.count = count;
  const int cfd = vqio_open(counter_name.c_str(), O_RDWR);
  if (cfd < 0) vq_report(16, GetMsgNumText(60006), counter_name.c_str());

  const unsigned char* now = st.text_buffer;
  auto* old = reinterpret_cast<unsigned char*>(st.points);
  std::vector<int32_t> counters(kBlock);
  for (int i = 1; i < pass; ++i) {
    PassHeader oh;
    OffsetReader before;
    before.fd = open_pass_file(i, &oh, 60006);
    before.count = oh.count;
    if (st.options->verbose) vq_report(1, GetMsgNumText(100016), oh.start, oh.end);
    RebuildPassBuffer(oh.start, oh.end, oh.first_char, old, oh.points_offset);

    if (walk_in_parts(i, oh.count, pass, count, cfd, old, now, i == 1)) {
      vqio_close(before.fd);
      continue;
    }
    fresh.index = 0;
    fresh.block_fill = 0;
    fresh.block_first = 0;
    int64_t block_first = -1, block_fill = 0;
    const auto save_block = [&] {
      if (block_fill > 0 && !(vqio_lseek(cfd, 4 * block_first, SEEK_SET) >= 0 &&
                              write_all(cfd, counters.data(), static_cast<size_t>(block_fill) * 4))) {
        vq_report(16, GetMsgNumText(60013), counter_name.c_str());
      }
    };
    const auto load_block = [&](int64_t first) {
      save_block();
      block_first = first;
      block_fill = std::min<int64_t>(kBlock, count - first);
      if (i == 1) std::fill(counters.begin(), counters.end(), 0);
      else if (!read_at(cfd, 4 * first, counters.data(), static_cast<size_t>(block_fill) * 4))
        work_files_damaged();
    };

    // Merge walk: each old point is counted at the first new point that it
    // does not sort after (equal prefixes: the older point is smaller).
    int64_t j = 0;
    if (count > 0) load_block(0);
    const unsigned char* new_suffix = count > 0 ? now + fresh.next() : nullptr;
    for (int32_t k = 0; k < oh.count && j < count; ++k) {
      before.prefetch(old, 8);
      const unsigned char* old_suffix = old + before.next();
      for (;;) {
        if (SuffixCompareBounded(old_suffix, new_suffix) < 1) {
          ++counters[static_cast<size_t>(j - block_first)];
          break;
        }
        if (++j >= count) break;
        if (j >= block_first + block_fill) load_block(j);
        fresh.prefetch(now, 8);
        new_suffix = now + fresh.next();
      }
    }
    if (i == 1) {
      // Counters the walk did not come to are zero.
      for (int64_t first = block_first + kBlock; first < count; first += kBlock) load_block(first);
    }
    save_block();
    vqio_close(before.fd);
  }
  vqio_close(fresh.fd);
  WriteSkips(cfd, count, pass);
  vqio_close(cfd);
}
