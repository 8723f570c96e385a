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

namespace {

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct Result {
  double seconds;
  uint64_t sum, count;
};

// The same byte loop for both readers: a running checksum and a count.
template <typename Next>
[[gnu::noinline]] Result scan(Next next, std::chrono::steady_clock::time_point start) {
  uint64_t sum = 0, count = 0;
  for (int c; (c = next()) != -1;) {
    sum = sum * 31 + c;
    ++count;
  }
  return {seconds_since(start), sum, count};
}

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

Result read_plain(const std::string& path) {
  auto start = std::chrono::steady_clock::now();
  VqStream* s = vqio_fopen(path.c_str(), "r");
  if (!s) std::exit(2);
  Result r = scan([s] { return vqio_getc(s); }, start);
  vqio_fclose(s);
  r.seconds = seconds_since(start);
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  vqio_start(argc, argv, "VQ_IOMAP");
  size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 200;
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/bench_frgac_XXXXXX";
  if (!mkdtemp(pattern.data())) return 2;
  const std::string dir = pattern;

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
