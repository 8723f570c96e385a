// The stored text of the passes, kept in a work file so that skip counting
// reads an earlier pass's buffer back instead of scanning its text again
// (with k passes the scan would run k(k-1)/2 times over the earlier
// buffers; a read from the file is a copy).
//
// <int-name>.s0 holds the buffers of the passes made in this run, one after
// the other, each with its NUL. Which pass lies where is known only to this
// run: a restarted build scans the passes made before it. A write or read
// that fails only means the pass is scanned again, as without the file.
#include <vector>

#include "builder/phases_internal.h"

namespace phases {

namespace {

struct KeptPass {
  int32_t start, end;
  int first_char;
  int64_t at, bytes;
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

std::string file_name() { return work_name(build_state().options->int_name, "s", 0); }

}  // namespace

void keep_pass_text(int32_t start, int32_t end, int first_char, const unsigned char* buffer,
                    int64_t bytes) {
  PassTexts& k = kept();
  if (k.failed || bytes <= 0) return;
  if (k.fd < 0) {
    k.fd = vqio_open(file_name().c_str(), O_RDWR | O_CREAT | O_TRUNC, 0666);
    if (k.fd < 0) {
      k.failed = true;
      return;
    }
  }
  if (vqio_lseek(k.fd, static_cast<off_t>(k.size), SEEK_SET) < 0 ||
      !write_all(k.fd, buffer, static_cast<size_t>(bytes))) {
    // (Disk full, say: the passes kept so far stay usable.)
    k.failed = true;
    return;
  }
  k.passes.push_back(KeptPass{start, end, first_char, k.size, bytes});
  k.size += bytes;
}

bool read_pass_text(int32_t start, int32_t end, int first_char, unsigned char* target,
                    int64_t room) {
  const PassTexts& k = kept();
  for (const KeptPass& p : k.passes) {
    if (p.start != start || p.end != end || p.first_char != first_char) continue;
    return p.bytes <= room && read_at(k.fd, p.at, target, static_cast<size_t>(p.bytes));
  }
  return false;
}

void forget_pass_texts() {
  PassTexts& k = kept();
  if (k.fd >= 0) vqio_close(k.fd);
  k = PassTexts{};
}

}  // namespace phases
