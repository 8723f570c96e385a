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
#include <array>
#include <atomic>
#include <mutex>
#include <vector>

#include "builder/phases_internal.h"
#include "msg/msg.h"

using namespace phases;

namespace {

constexpr int64_t kBlock = 8192;  // counters or offsets per block

// Words of a work file read forward block by block: the offsets of a pass
// file, the prefixes a pass kept. A reader with `damaged` (one on a
// thread) notes a short read or a word out of its range there and goes on
// with `fill` in its place; else it is reported. Each block is checked as
// it is read.
template <class T>
struct WordReader {
  int fd = -1;
  int64_t at = 0;  // byte offset of the first word in the file
  int32_t count = 0;
  int64_t index = 0;  // of the next word
  int64_t block_first = 0;
  int64_t block_fill = 0;
  T lowest = 0, highest = 0, fill = 0;
  std::vector<T> block = std::vector<T>(kBlock);
  std::atomic<bool>* damaged = nullptr;

  T next() {
    if (index >= block_first + block_fill) load();
    return block[static_cast<size_t>(index++ - block_first)];
  }

  void load() {
    block_first = index;
    block_fill = std::min<int64_t>(kBlock, count - index);
    bool bad = block_fill <= 0 || !read_at(fd, at + int64_t{sizeof(T)} * block_first, block.data(),
                                           static_cast<size_t>(block_fill) * sizeof(T));
    if (bad) {
      block_fill = std::max<int64_t>(block_fill, 1);
      std::fill(block.begin(), block.end(), fill);
    }
    for (int64_t i = 0; i < block_fill; ++i) {
      T& w = block[static_cast<size_t>(i)];
      if (w < lowest || w > highest) {
        bad = true;
        w = fill;
      }
    }
    if (bad) {
      if (damaged == nullptr) work_files_damaged();
      *damaged = true;
    }
  }

  // Goes to the word at i (the next one read).
  void seek(int64_t i) {
    index = i;
    block_first = i;
    block_fill = 0;
  }

  // The word at i, read alone (a binary search's probe).
  T probe(int64_t i) {
    const int32_t whole = count;
    count = static_cast<int32_t>(i + 1);
    seek(i);
    const T w = next();
    count = whole;
    seek(i + 1);
    return w;
  }
};

// Offsets of a pass file: a pass takes points only below B - 1 - 1000.
struct OffsetReader : WordReader<int32_t> {
  OffsetReader() {
    at = PASS_HEADER_BYTES;
    lowest = fill = 1;
    highest = static_cast<int32_t>(build_state().buffer_size - 1002);
  }

  // Starts loading the text of the suffix `ahead` places on, when it is in
  // the block (the walk's compares then find it in the cache).
  void prefetch(const unsigned char* text, int ahead) const {
    const int64_t k = index + ahead - block_first;
    if (k < block_fill) __builtin_prefetch(text + block[static_cast<size_t>(k)]);
  }
};

// The common prefixes a pass kept (16-bit words, one per point in its
// suffix order: the characters the point shares with the one before it),
// through a descriptor of its own.
struct PrefixReader : WordReader<uint16_t> {
  PrefixReader() { highest = SUFFIX_BUDGET; }
};

// The prefixes of both passes of a walk, when both kept theirs.
struct Prefixes {
  PrefixReader old, fresh;
  bool on = false;

  Prefixes(const PassHeader& oh, const PassHeader& nh, std::atomic<bool>* damaged) {
    if (!kept_prefixes(oh.start, oh.end, oh.first_char, oh.count, &old.at) ||
        !kept_prefixes(nh.start, nh.end, nh.first_char, nh.count, &fresh.at))
      return;
    old.fd = vqio_open(pass_texts_name().c_str(), O_RDONLY);
    fresh.fd = vqio_open(pass_texts_name().c_str(), O_RDONLY);
    old.count = oh.count;
    fresh.count = nh.count;
    old.damaged = fresh.damaged = damaged;
    on = old.fd >= 0 && fresh.fd >= 0;
  }
  ~Prefixes() {
    if (old.fd >= 0) vqio_close(old.fd);
    if (fresh.fd >= 0) vqio_close(fresh.fd);
  }
  Prefixes(const Prefixes&) = delete;
  Prefixes& operator=(const Prefixes&) = delete;
};

// Merge walk of the old points [k, k_to), from new point j on: each old
// point is counted (count_at) at the first new point that it does not
// sort after (equal prefixes: the older point is smaller).
//
// With the prefixes of both passes most steps need no text: the walk
// knows l, the characters the current old and new suffix share. When the
// old suffix moves on to one sharing m characters with it: m > l keeps it
// below the new one (still l shared), m < l puts it above (m shared), and
// only m == l compares, from l on. Likewise when the new suffix moves on
// past an old one it was below: m > l keeps it below, m < l puts it above.
template <bool kPrefixes, class Count>
void walk(OffsetReader& before, OffsetReader& fresh, Prefixes& pre, const unsigned char* old,
          const unsigned char* now, int64_t k, int64_t k_to, int64_t j, int32_t count,
          Count& count_at) {
  before.seek(k);
  fresh.seek(j);
  if constexpr (kPrefixes) {
    pre.old.seek(k);
    pre.fresh.seek(j + 1);
  }
  const unsigned char* new_suffix = now + fresh.next();
  int l = -1;  // not known yet
  for (; k < k_to; ++k) {
    before.prefetch(old, 8);
    const unsigned char* old_suffix = old + before.next();
    // -1: the old suffix does not sort after the new one; 1: it does; 0:
    // compare.
    int order = 0;
    if constexpr (kPrefixes) {
      const int m = pre.old.next();
      if (l >= 0 && m > l) {
        order = -1;
      } else if (l >= 0 && m < l) {
        order = 1;
        l = m;
      }
    }
    for (;;) {
      if (order == 0) {
        if constexpr (kPrefixes) {
          l = common_from(old_suffix, new_suffix, l < 0 ? 0 : l);
          order = l >= SUFFIX_BUDGET || old_suffix[l] < new_suffix[l] ? -1 : 1;
        } else {
          order = SuffixCompareBounded(old_suffix, new_suffix) < 1 ? -1 : 1;
        }
      }
      if (order < 0) {
        count_at(j);
        break;
      }
      if (++j >= count) return;
      fresh.prefetch(now, 8);
      new_suffix = now + fresh.next();
      order = 0;
      if constexpr (kPrefixes) {
        const int m = pre.fresh.next();
        if (m > l) {
          order = 1;
        } else if (m < l) {
          order = -1;
          l = m;
        }
      }
    }
  }
}

template <class Count>
void merge_walk(OffsetReader& before, OffsetReader& fresh, Prefixes& pre, const unsigned char* old,
                const unsigned char* now, int64_t k, int64_t k_to, int64_t j, int32_t count,
                Count count_at) {
  if (j >= count || k >= k_to) return;
  if (pre.on) walk<true>(before, fresh, pre, old, now, k, k_to, j, count, count_at);
  else walk<false>(before, fresh, pre, old, now, k, k_to, j, count, count_at);
}

// The merge walk on the threads: the old points are cut into parts, each
// part's first new point is found by a binary search, and each part walks
// on its own with readers of its own, adding its counts into the counter
// file block by block under a lock (parts that meet share a block). False
// when the walk is better done whole (few points, one thread, descriptors
// that are not the system's own).
bool walk_in_parts(int old_pass, const PassHeader& oh, int new_pass, const PassHeader& nh,
                   const unsigned char* old, const unsigned char* now, bool first_walk) {
  const int32_t old_count = oh.count, count = nh.count;
  constexpr int64_t kLeast = 64 * 1024;
  const int parts = work_parts(old_count, kLeast);
  if (parts < 2 || count < 1 || !files_on_threads())
    return false;
  const BuildState& st = build_state();
  const std::string counter_name = st.options->int_name + ".i0";
  const std::string old_name = work_name(st.options->int_name, "i", old_pass);
  const std::string new_name = work_name(st.options->int_name, "i", new_pass);
  std::atomic<bool> damaged{false}, write_failed{false};
  if (first_walk) {
    // The counters start at zero: written in parts on the threads, each
    // part through a descriptor of its own.
    split_work((count + kBlock - 1) / kBlock, 8, [&](int, int64_t block_from, int64_t block_to) {
      const std::vector<int32_t> zeros(kBlock, 0);
      const int counters = vqio_open(counter_name.c_str(), O_RDWR);
      if (counters < 0) {
        write_failed = true;
        return;
      }
      for (int64_t first = block_from * kBlock; first < std::min<int64_t>(count, block_to * kBlock);
           first += kBlock) {
        const int64_t fill = std::min<int64_t>(kBlock, count - first);
        if (!(vqio_lseek(counters, 4 * first, SEEK_SET) >= 0 &&
              write_all(counters, zeros.data(), static_cast<size_t>(fill) * 4)))
          write_failed = true;
      }
      vqio_close(counters);
    });
    if (write_failed) vq_report(16, GetMsgNumText(60013), counter_name.c_str());
  }
  // Each part starts at its first old point and at the first new point
  // that point does not sort after (a binary search, on the part's
  // thread). Parts add their counts into the counter file through
  // descriptors of their own; a block two parts meet in is added to under
  // its lock.
  std::array<std::mutex, 64> block_locks;
  // Several parts per thread: the parts' walks differ in length (the new
  // points between their first and last old points), and a thread that
  // ends early takes another.
  split_work_finely(old_count, kLeast, 4, [&](int, int64_t k_from, int64_t k_to) {
    std::vector<int32_t> add(kBlock), held(kBlock);
    {
      OffsetReader before, fresh;
      before.fd = vqio_open(old_name.c_str(), O_RDONLY);
      fresh.fd = vqio_open(new_name.c_str(), O_RDONLY);
      const int counters = vqio_open(counter_name.c_str(), O_RDWR);
      before.damaged = fresh.damaged = &damaged;
      before.count = old_count;
      fresh.count = count;
      int64_t block_first = -1;
      const auto flush = [&] {
        if (block_first < 0) return;
        const int64_t fill = std::min<int64_t>(kBlock, count - block_first);
        const std::lock_guard<std::mutex> hold(
            block_locks[static_cast<size_t>(block_first / kBlock) % block_locks.size()]);
        if (!read_at(counters, 4 * block_first, held.data(), static_cast<size_t>(fill) * 4)) {
          damaged = true;
          return;
        }
        for (int64_t c = 0; c < fill; ++c) held[static_cast<size_t>(c)] += add[static_cast<size_t>(c)];
        if (!(vqio_lseek(counters, 4 * block_first, SEEK_SET) >= 0 &&
              write_all(counters, held.data(), static_cast<size_t>(fill) * 4)))
          write_failed = true;
      };
      if (before.fd >= 0 && fresh.fd >= 0 && counters >= 0) {
        int64_t j = 0;
        if (k_from > 0) {
          const unsigned char* old_suffix = old + before.probe(k_from);
          int64_t lo = 0, hi = count;
          while (lo < hi) {
            const int64_t mid = lo + (hi - lo) / 2;
            if (SuffixCompareBounded(old_suffix, now + fresh.probe(mid)) < 1) hi = mid;
            else lo = mid + 1;
          }
          j = lo;
        }
        Prefixes pre(oh, nh, &damaged);
        merge_walk(before, fresh, pre, old, now, k_from, k_to, j, count, [&](int64_t at) {
          if (block_first < 0 || at < block_first || at >= block_first + kBlock) {
            flush();
            block_first = at / kBlock * kBlock;
            std::fill(add.begin(), add.end(), 0);
          }
          ++add[static_cast<size_t>(at - block_first)];
        });
        flush();
      } else {
        damaged = true;
      }
      if (before.fd >= 0) vqio_close(before.fd);
      if (fresh.fd >= 0) vqio_close(fresh.fd);
      if (counters >= 0) vqio_close(counters);
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

    if (walk_in_parts(i, oh, pass, nh, old, now, i == 1)) {
      vqio_close(before.fd);
      continue;
    }
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

    // The counter blocks are taken in turn, none left out (the first walk
    // writes each one's zeros).
    if (count > 0) load_block(0);
    Prefixes pre(oh, nh, nullptr);
    merge_walk(before, fresh, pre, old, now, 0, oh.count, 0, count, [&](int64_t j) {
      while (j >= block_first + block_fill) load_block(block_first + kBlock);
      ++counters[static_cast<size_t>(j - block_first)];
    });
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
