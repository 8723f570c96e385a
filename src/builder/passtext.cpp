// The stored text of the passes, kept in a work file so that skip counting
// reads an earlier pass's buffer back instead of scanning its text again
// (with k passes the scan would run k(k-1)/2 times over the earlier
// buffers; a read from the file is a copy); and the common prefix of each
// point with the one before it in its pass's order, from which a merge
// walk knows most of its comparisons without reading text.
//
// <int-name>.s0 holds, one after the other, the buffers of the passes made
// in this run, each with its NUL, and their prefix words. Where each lies
// is known only to this run: a restarted build scans the passes made
// before it and compares their suffixes whole. A write or read that fails
// only means the pass is scanned again or compared whole, as without the
// file. The file is written only while the disk keeps room for the work
// files of the rest of Phase I beside it, and is removed when Phase I
// ends, before Phase II writes its pieces and the index.
#include <sys/statvfs.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "builder/phases_internal.h"

namespace phases {

namespace {

struct KeptPass {
  int32_t start, end;
  int first_char;
  int64_t text_at = -1, text_bytes = 0;
  int64_t prefix_at = -1;
  int32_t prefix_count = 0;
};

struct PassTexts {
  int fd = -1;
  bool failed = false;
  int64_t size = 0;
  std::vector<KeptPass> passes;
};

PassTexts& kept() {
  static PassTexts texts;
  return texts;
}

KeptPass* find(int32_t start, int32_t end, int first_char) {
  for (KeptPass& p : kept().passes)
    if (p.start == start && p.end == end && p.first_char == first_char) return &p;
  return nullptr;
}

// The file open for appending `bytes` at its end: false after a failure,
// or when the disk would keep less free than the passes still to come may
// write (their pass and skip files, about 5 bytes per point, fewer points
// than characters) and a margin.
bool ready(int64_t bytes) {
  PassTexts& k = kept();
  if (k.failed) return false;
  if (k.fd < 0) {
    k.fd = vqio_open(pass_texts_name().c_str(), O_RDWR | O_CREAT | O_TRUNC, 0666);
    if (k.fd < 0) k.failed = true;
  }
  struct statvfs disk{};
  const int sys = k.fd >= 0 ? vqio_system_fd(k.fd) : -1;
  if (sys < 0 || fstatvfs(sys, &disk) != 0) return false;
  const int64_t free = static_cast<int64_t>(disk.f_bavail) * static_cast<int64_t>(disk.f_frsize);
  const int64_t reserve = 5 * build_state().text_size + (int64_t{64} << 20);
  return !k.failed && free - bytes >= reserve;
}

KeptPass& entry(int32_t start, int32_t end, int first_char) {
  if (KeptPass* p = find(start, end, first_char)) return *p;
  kept().passes.push_back(KeptPass{start, end, first_char});
  return kept().passes.back();
}

}  // namespace

std::string pass_texts_name() { return work_name(build_state().options->int_name, "s", 0); }

void keep_pass_text(int32_t start, int32_t end, int first_char, const unsigned char* buffer,
                    int64_t bytes) {
  PassTexts& k = kept();
  if (bytes <= 0 || !ready(bytes)) return;
  if (vqio_lseek(k.fd, static_cast<off_t>(k.size), SEEK_SET) < 0 ||
      !write_all(k.fd, buffer, static_cast<size_t>(bytes))) {
    // (Disk full, say: what was kept so far stays usable.)
    k.failed = true;
    return;
  }
  KeptPass& p = entry(start, end, first_char);
  p.text_at = k.size;
  p.text_bytes = bytes;
  k.size += bytes;
}

bool read_pass_text(int32_t start, int32_t end, int first_char, unsigned char* target,
                    int64_t room) {
  const KeptPass* p = find(start, end, first_char);
  if (p == nullptr || p->text_at < 0 || p->text_bytes > room) return false;
  // In parts on the threads, each through a descriptor of its own (the
  // copy from the system's cache is most of the cost).
  constexpr int64_t kLeast = 512 * 1024;
  const std::string name = pass_texts_name();
  std::atomic<bool> failed{false};
  if (!files_on_threads()) return read_at(kept().fd, p->text_at, target, static_cast<size_t>(p->text_bytes));
  split_work(p->text_bytes, kLeast, [&](int part, int64_t from, int64_t to) {
    const int fd = part == 0 ? kept().fd : vqio_open(name.c_str(), O_RDONLY);
    if (fd < 0 || !read_at(fd, p->text_at + from, target + from, static_cast<size_t>(to - from)))
      failed = true;
    if (part > 0 && fd >= 0) vqio_close(fd);
  });
  return !failed;
}

void keep_pass_prefixes(int32_t start, int32_t end, int first_char, const unsigned char* text,
                        const int32_t* points, int32_t count) {
  PassTexts& k = kept();
  if (count <= 0) return;
  // Reading the prefixes costs a walk about what comparing short ones
  // does, and saves the comparisons of long ones (repeated text, where
  // most suffixes tie for all 400 characters): they are kept only where a
  // sample of neighbours shares long prefixes.
  constexpr int64_t kSamples = 4096;
  constexpr int kLong = 128;
  const int64_t step = std::max<int64_t>(1, count / kSamples);
  int64_t sampled = 0, shared = 0;
  for (int64_t i = step; i < count; i += step, ++sampled)
    shared += common_from(text + points[i - 1], text + points[i], 0);
  if (sampled == 0 || shared < kLong * sampled || !ready(2 * int64_t{count})) return;
  // In blocks on the threads, each written at its place under a lock.
  constexpr int64_t kBlock = 32 * 1024;
  const int64_t at = k.size;
  const int64_t blocks = (count + kBlock - 1) / kBlock;
  std::atomic<int64_t> next{0};
  std::atomic<bool> failed{false};
  std::mutex file;
  split_work(std::min<int64_t>(blocks, sort_threads()), 1, [&](int, int64_t, int64_t) {
    std::vector<uint16_t> words(kBlock);
    for (int64_t b; (b = next.fetch_add(1)) < blocks && !failed;) {
      const int64_t from = b * kBlock, to = std::min<int64_t>(count, from + kBlock);
      for (int64_t i = from; i < to; ++i) {
        if (i + 8 < to) __builtin_prefetch(text + points[i + 8]);
        words[static_cast<size_t>(i - from)] =
            i == 0 ? 0 : static_cast<uint16_t>(common_from(text + points[i - 1], text + points[i], 0));
      }
      const std::lock_guard<std::mutex> hold(file);
      if (vqio_lseek(k.fd, static_cast<off_t>(at + 2 * from), SEEK_SET) < 0 ||
          !write_all(k.fd, words.data(), static_cast<size_t>(to - from) * 2))
        failed = true;
    }
  });
  if (failed) {
    k.failed = true;
    return;
  }
  KeptPass& p = entry(start, end, first_char);
  p.prefix_at = at;
  p.prefix_count = count;
  k.size += 2 * int64_t{count};
}

bool kept_prefixes(int32_t start, int32_t end, int first_char, int32_t count, int64_t* at) {
  const KeptPass* p = find(start, end, first_char);
  if (p == nullptr || p->prefix_at < 0 || p->prefix_count != count) return false;
  *at = p->prefix_at;
  return true;
}

void forget_pass_texts() {
  PassTexts& k = kept();
  if (k.fd >= 0) vqio_close(k.fd);
  k = PassTexts{};
}

void remove_pass_texts() {
  forget_pass_texts();
  vqio_unlink(pass_texts_name().c_str());
}

}  // namespace phases
