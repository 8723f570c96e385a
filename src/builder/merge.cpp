// Phase II, second step: the final pieces merged into the index file by the
// skip counts alone.
//
// IndexFile: a 512-byte data-file header (type 0, version 50300, major 1,
// minor 0, extra value 1), then one 4-byte word per point in ascending
// suffix order over the whole text, host byte order: the position scrambled
// as ((position - 1) x 583201977) mod 2^32.
//
// Merge rule: counter[q] is the number of points of passes below q still to
// be written before q's next point. The highest pass whose counter is 0
// goes next; writing one of its points lowers every higher pass's counter
// by one. The counters live in a segment tree over the passes (range
// decrement, rightmost zero), so each point costs O(log passes).
//
// The index is written to a new file beside the old one, which replaces
// it only once it is complete, together with the data dictionary that
// describes it (commit/commit.h): a build that fails part way (a damaged
// work file, a full disk, a data dictionary that cannot be written) leaves
// the old index as it was. The new file is removed when the run ends
// before that. A member of a
// superfile ("@file@member") cannot be renamed, and no new file can be
// made in a directory that may not be written: those are written in place.
//
// Streams read the skip files (<merge-name>.m<n> from byte 0) and the final
// pieces (<int-name>.t<n> from byte 16) through buffers that share the
// memory budget; each buffer holds at least 1024 bytes, so an escape byte
// and its word always fit (with very many passes the buffers are allocated
// beside the budget).
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "builder/phases_internal.h"
#include "commit/commit.h"
#include "msg/msg.h"
#include "pitas/pitas.h"

using namespace phases;

namespace {

constexpr uint32_t kScramble = 583201977u;
constexpr int64_t kMinStreamBytes = 1024;
constexpr int kKeepOpen = 128;  // passes up to which the files stay open

struct MergeStream {
  std::string name;
  int fd = -1;
  bool keep_open = false;
  unsigned char* buffer = nullptr;
  int64_t size = 0;    // buffer capacity
  int64_t valid = 0;   // bytes now in the buffer
  int64_t at = 0;      // read position
  int64_t file_offset = 0;
  bool end = false;
};

void RefillStream(MergeStream* s) {
  int fd = s->fd;
  if (fd < 0) {
    fd = vqio_open(s->name.c_str(), O_RDONLY);
    if (fd < 0) vq_report(16, GetMsgNumText(60006), s->name.c_str());
    if (s->keep_open) s->fd = fd;
  }
  int64_t got = 0;
  if (vqio_lseek(fd, static_cast<off_t>(s->file_offset), SEEK_SET) >= 0) {
    while (got < s->size) {
      const ssize_t n = vqio_read(fd, s->buffer + got, static_cast<size_t>(s->size - got));
      if (n <= 0) break;
      got += n;
    }
  }
  s->valid = got;
  s->end = got < s->size;
  s->file_offset += got;
  s->at = 0;
  if (!s->keep_open) vqio_close(fd);
}

int64_t NextSkipCount(MergeStream* s) {
  if (s->at >= s->valid) {
    if (s->end) return INT_MAX;
    RefillStream(s);
    if (s->valid == 0) {
      if (s->end) return INT_MAX;
      vq_report(15, GetMsgNumText(100025));
    }
  }
  const unsigned char b = s->buffer[s->at];
  if (b < 254) {
    ++s->at;
    return b;
  }
  if (s->valid - s->at - 1 < 4) {
    if (s->end) vq_report(15, GetMsgNumText(100027), static_cast<int>(s->valid - s->at - 1));
    // Read the escape and its word whole.
    s->file_offset -= s->valid - s->at;
    RefillStream(s);
    if (s->valid < 5) {
      if (s->end) vq_report(15, GetMsgNumText(100027), static_cast<int>(s->valid > 0 ? s->valid - 1 : 0));
      vq_report(15, GetMsgNumText(100025));
    }
  }
  int32_t w;
  std::memcpy(&w, s->buffer + s->at + 1, 4);
  s->at += 5;
  if (w < 0) work_files_damaged();
  return w;
}

int32_t NextPosition(MergeStream* s) {
  if (s->valid - s->at < 4) {
    if (s->end) return 0;
    RefillStream(s);
    if (s->valid < 4) {
      if (s->end) return 0;
      vq_report(15, GetMsgNumText(100025));
    }
  }
  int32_t w;
  std::memcpy(&w, s->buffer + s->at, 4);
  s->at += 4;
  return w;
}

// Counters of passes 1..n (leaf q - 1) with a range decrement and a search
// for the rightmost zero. Up to kFlat passes a plain array is faster.
constexpr int kFlat = 32;

struct CounterTree {
  int64_t leaves = 1;
  std::vector<int64_t> low, add;
  std::vector<int64_t> flat;  // the counters themselves, for few passes

  explicit CounterTree(int n) {
    if (n <= kFlat) {
      flat.assign(static_cast<size_t>(n), INT64_MAX / 2);
      return;
    }
    while (leaves < n) leaves *= 2;
    low.assign(static_cast<size_t>(2 * leaves), INT64_MAX / 2);
    add.assign(static_cast<size_t>(2 * leaves), 0);
  }
  void push(size_t v) {
    if (add[v] != 0) {
      for (size_t c : {2 * v, 2 * v + 1}) {
        low[c] += add[v];
        add[c] += add[v];
      }
      add[v] = 0;
    }
  }
  void set(int64_t i, int64_t value, size_t v = 1, int64_t lo = 0, int64_t hi = -1) {
    if (!flat.empty()) {
      flat[static_cast<size_t>(i)] = value;
      return;
    }
    if (hi < 0) hi = leaves - 1;
    if (lo == hi) {
      low[v] = value;
      return;
    }
    push(v);
    const int64_t mid = (lo + hi) / 2;
    if (i <= mid) set(i, value, 2 * v, lo, mid);
    else set(i, value, 2 * v + 1, mid + 1, hi);
    low[v] = std::min(low[2 * v], low[2 * v + 1]);
  }
  void decrement(int64_t from, int64_t to, size_t v = 1, int64_t lo = 0, int64_t hi = -1) {
    if (!flat.empty()) {
      for (int64_t i = from; i <= to; ++i) --flat[static_cast<size_t>(i)];
      return;
    }
    if (hi < 0) hi = leaves - 1;
    if (to < lo || hi < from || from > to) return;
    if (from <= lo && hi <= to) {
      --low[v];
      --add[v];
      return;
    }
    push(v);
    const int64_t mid = (lo + hi) / 2;
    decrement(from, to, 2 * v, lo, mid);
    decrement(from, to, 2 * v + 1, mid + 1, hi);
    low[v] = std::min(low[2 * v], low[2 * v + 1]);
  }
  // The rightmost leaf holding 0, or -1.
  int64_t rightmost_zero() {
    if (!flat.empty()) {
      for (int64_t i = static_cast<int64_t>(flat.size()) - 1; i >= 0; --i) {
        if (flat[static_cast<size_t>(i)] == 0) return i;
      }
      return -1;
    }
    if (low[1] != 0) return -1;
    size_t v = 1;
    while (v < static_cast<size_t>(leaves)) {
      push(v);
      v = low[2 * v + 1] == 0 ? 2 * v + 1 : 2 * v;
    }
    return static_cast<int64_t>(v) - leaves;
  }
};

// The pass whose point goes next: the highest one whose counter is 0.
int PickMergePass(CounterTree* tree) {
  const int64_t leaf = tree->rightmost_zero();
  if (leaf < 0) vq_report(15, GetMsgNumText(100025));
  return static_cast<int>(leaf) + 1;
}

// Creates the new index file next to `target`: its descriptor with its
// name in *fresh, or -1 when the directory may not be written (the index
// is then written in place, as it may be when only the file itself is
// writable); any other failure is reported under the index file's name and
// ends the run. The new file goes in place with the data dictionary
// (commit/commit.h), and is removed should the run end before.
int create_new_index(const std::string& target, const std::string& index, std::string* fresh) {
  int denied = 0;
  if (commit_create(target, fresh, &denied) != 0) {
    if (denied) return -1;
    vq_report(16, GetMsgNumText(60006), index.c_str());
  }
  const int fd = vqio_open(fresh->c_str(), O_WRONLY | O_TRUNC);
  if (fd < 0) vq_report(16, GetMsgNumText(60006), index.c_str());
  return fd;
}

}  // namespace

void WriteIndex(int passes) {
  BuildState& st = build_state();
  const BuildOptions* o = st.options;
  CheckTextUnchanged();
  if (o->verbose) vq_report(1, GetMsgNumText(100015), passes);
  const int n = std::max(passes, 0);

  // Stream buffers: the text half for the skip streams, the point half for
  // the final pieces.
  int64_t s = n > 0 ? st.usable / (2 * int64_t{n}) : 0;
  s = s >= 1024 ? s / 1024 * 1024 : s / 4 * 4;
  std::vector<unsigned char> beside;
  unsigned char* skip_area = st.text_buffer;
  auto* final_area = reinterpret_cast<unsigned char*>(st.points);
  if (s < kMinStreamBytes) {
    s = kMinStreamBytes;
    beside.resize(static_cast<size_t>(2 * s * n));
    skip_area = beside.data();
    final_area = beside.data() + s * n;
  }
  std::vector<MergeStream> skip(static_cast<size_t>(n) + 1), piece(static_cast<size_t>(n) + 1);
  CounterTree tree(std::max(n, 1));
  for (int i = 1; i <= n; ++i) {
    MergeStream& k = skip[static_cast<size_t>(i)];
    k.name = work_name(o->merge_name, "m", i);
    k.buffer = skip_area + s * (i - 1);
    MergeStream& f = piece[static_cast<size_t>(i)];
    f.name = work_name(o->int_name, "t", i);
    f.buffer = final_area + s * (i - 1);
    f.file_offset = FINAL_HEADER_BYTES;
    for (MergeStream* m : {&k, &f}) {
      m->size = s;
      m->keep_open = n <= kKeepOpen;
      RefillStream(m);
    }
    tree.set(i - 1, NextSkipCount(&k));
  }

  const std::string& index = *o->index_file;
  bool in_place =
      index.size() > 1 && index[0] == '@' && index.find('@', 1) != std::string::npos;
  const std::string target = in_place ? index : commit_resolve_links(index.c_str());
  std::string fresh;
  int fd = in_place ? -1 : create_new_index(target, index, &fresh);
  if (fd < 0) {
    in_place = true;
    fd = vqio_open(index.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  }
  if (fd < 0) vq_report(16, GetMsgNumText(60006), index.c_str());
  PitasHeader* header = pitasch(PITAS_TYPE_INDEX, PITAS_VERSION, 1, 0, 1);
  unsigned char bytes[PITAS_HEADER_BYTES];
  pitas_encode(header, bytes);
  std::free(header);
  if (!write_all(fd, bytes, sizeof bytes)) vq_report(16, GetMsgNumText(90027), index.c_str());

  std::vector<uint32_t> out;
  out.reserve(16384);
  const auto flush = [&] {
    if (!write_all(fd, out.data(), out.size() * 4)) {
      vq_report(16, GetMsgNumText(100042), index.c_str(), "write");
    }
    out.clear();
  };
  for (int64_t written = 0; written < st.total_points; ++written) {
    const int p = PickMergePass(&tree);
    const int64_t leaf = p - 1;
    const int32_t position = NextPosition(&piece[static_cast<size_t>(p)]);
    if (position < 1 || position > st.text_size) work_files_damaged();
    out.push_back((static_cast<uint32_t>(position) - 1u) * kScramble);
    if (out.size() == 16384) flush();
    if (p < n) tree.decrement(p, n - 1);
    tree.set(leaf, NextSkipCount(&skip[static_cast<size_t>(p)]));
  }
  flush();
  const int system_fd = vqio_system_fd(fd);
  if (system_fd >= 0 && fsync(system_fd) != 0 && errno != EINVAL && errno != EROFS) {
    vq_report(16, GetMsgNumText(100042), index.c_str(), "write");
  }
  if (vqio_close(fd) != 0) vq_report(16, GetMsgNumText(60000), index.c_str());
  if (!in_place && commit_ready(fresh) != 0) vq_report(16, GetMsgNumText(60006), index.c_str());
  for (int i = 1; i <= n; ++i) {
    for (MergeStream* m : {&skip[static_cast<size_t>(i)], &piece[static_cast<size_t>(i)]}) {
      if (m->fd >= 0) vqio_close(m->fd);
    }
  }
}
