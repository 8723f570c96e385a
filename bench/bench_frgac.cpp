// Reads a 200 MB text twice in one run, byte by byte: as a fragmented text
// through the fragmented-text reader (8 fragment files, a paged table of
// about 50000 pairs) and as a plain file through the stream layer, and
// prints both times and their ratio. Files are made in a temporary
// directory (TMPDIR or /tmp) and removed at the end.
//   bench_frgac [megabytes]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "../tests/frgac/frg_fixture.h"
#include "frgac/frgac.h"
#include "io/vqio.h"

#include "bench_support.h"

namespace {

using bench::Result;
using bench::scan;
using bench::seconds_since;
using bench::read_plain;

Result read_fragmented(const std::string& dir, long estimate) {
  auto start = std::chrono::steady_clock::now();
  auto t = std::make_unique<FrgacText>();  // callers keep it in their own records
  if (frgac_open("bench", dir.c_str(), 1, 0, estimate, 1, t.get(), 0) != 0) std::exit(2);
  FrgacText* text = t.get();
  Result r = scan([text] { return frgacgc(text); }, start);
  frgac_close(text);
  r.seconds = seconds_since(start);
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  vqio_start(argc, argv, "VQ_IOMAP");
  size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 200;
  const std::string dir = bench::scratch_dir("bench_frgac");

  {
    // Pieces of up to 8 KB: about 50000 pairs, paged in blocks of 1024.
    frgfix::Text text = frgfix::make_text(megabytes << 20, 8192, 42, false);
    frgfix::Directory d;
    d.a = text.a;
    d.logical_length = static_cast<int32_t>(text.logical.size());
    frgfix::lay_fragments(text.physical, 8, dir, 7, &d);
    frgfix::write_file(dir + "/frg.1.0", frgfix::build_directory(d));
    frgfix::write_file(dir + "/plain.txt", text.logical);
    std::printf("text: %zu MB logical, %zu pairs, 8 fragments\n", megabytes, text.a.size());
  }

  Result best_frg{1e9, 0, 0}, best_plain{1e9, 0, 0};
  for (int round = 0; round < 3; ++round) {
    Result p = read_plain(dir + "/plain.txt");
    Result f = read_fragmented(dir, 65535);
    if (p.seconds < best_plain.seconds) best_plain = p;
    if (f.seconds < best_frg.seconds) best_frg = f;
  }
  Result whole = read_fragmented(dir, 1L << 30);
  std::filesystem::remove_all(dir);

  bool same = best_frg.sum == best_plain.sum && best_frg.count == best_plain.count &&
              whole.sum == best_plain.sum;
  std::printf("plain stream:           %.3f s (%llu bytes)\n", best_plain.seconds,
              static_cast<unsigned long long>(best_plain.count));
  std::printf("fragmented, paged:      %.3f s\n", best_frg.seconds);
  std::printf("fragmented, whole:      %.3f s\n", whole.seconds);
  double ratio = best_frg.seconds / best_plain.seconds;
  std::printf("ratio fragmented/plain: %.2f (limit 2.00: %s)\n", ratio, ratio <= 2.0 ? "within" : "OVER");
  std::printf("same bytes: %s\n", same ? "yes" : "NO");
  vqio_exit(same ? 0 : 1);
}
