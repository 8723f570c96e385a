// Reads the logical text of a multi-file set of 10,000 members totalling
// 200 MB byte by byte through the set reader, and the same bytes from one
// plain file through the stream layer, in one run, and prints both times
// and their ratio. The members (sizes varying around 20 KB, a few empty),
// the set files and the plain file are made in a temporary directory
// (TMPDIR or /tmp) and removed at the end.
//   bench_mfsset [megabytes] [members]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "io/vqio.h"
#include "mfs/mfs.h"
#include "msg/msg.h"
#include "pitas/pitas.h"

#include "bench_support.h"

namespace {

using bench::Result;
using bench::scan;
using bench::seconds_since;
using bench::read_plain;

Result read_set(const std::string& base) {
  auto start = std::chrono::steady_clock::now();
  MfsReader* r = mfs_file_open("", base.c_str(), 0);
  if (!r || mfs_file_seek(r, 0) != 0) std::exit(2);
  Result result = scan([r] { return mfs_file_getc(r); }, start);
  mfs_file_close(r);
  result.seconds = seconds_since(start);
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  vqio_start(argc, argv, "VQ_IOMAP");
  set_error_handler(print_message);
  const size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 200;
  const size_t members = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 10000;
  const std::string dir = bench::scratch_dir("bench_mfsset");
  const std::string base = dir + "/set";

  {
    // Members in 100 directories; sizes vary around the mean; every 500th is empty.
    const size_t total = megabytes << 20, mean = total / members;
    FILE* plain = std::fopen((dir + "/plain.txt").c_str(), "wb");
    if (!plain) return 2;
    std::vector<char> bytes;
    uint32_t x = 7;
    size_t left = total;
    for (size_t i = 0; i < members; ++i) {
      size_t n = i + 1 == members ? left : (i % 500 == 0 ? 0 : mean / 2 + (i * 7919) % mean);
      if (n > left) n = left;
      left -= n;
      bytes.resize(n);
      for (char& c : bytes) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>('a' + (x >> 16) % 26);
      }
      char sub[32], name[32];
      std::snprintf(sub, sizeof sub, "/m/d%03zu", i % 100);
      std::snprintf(name, sizeof name, "/f%06zu.txt", i);
      std::filesystem::create_directories(dir + sub);
      FILE* f = std::fopen((dir + sub + name).c_str(), "wb");
      if (!f) return 2;
      std::fwrite(bytes.data(), 1, n, f);
      std::fclose(f);
    }
    // The plain file holds the members in the set's order (sorted by path).
    std::vector<std::string> paths;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir + "/m"))
      if (e.is_regular_file()) paths.push_back(e.path().string());
    std::sort(paths.begin(), paths.end());
    for (const std::string& p : paths) {
      FILE* f = std::fopen(p.c_str(), "rb");
      char buf[65536];
      size_t n;
      while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) std::fwrite(buf, 1, n, plain);
      std::fclose(f);
    }
    std::fclose(plain);

    auto start = std::chrono::steady_clock::now();
    if (!mfs_create_empty(PITAS_VERSION, "", base.c_str())) return 2;
    MfsReader* r = mfs_file_open("", base.c_str(), 0);
    const char* lists[3] = {"", "flat", ""};
    mfs_add_groups(r, (dir + "/m").c_str(), "*.txt", "text", nullptr, lists, 1, 1);
    if (!mfs_build_fast(r, nullptr, PITAS_VERSION)) return 2;
    mfs_file_close(r);
    std::printf("set: %zu members, %zu MB, built (fast) in %.2f s\n", members, megabytes,
                seconds_since(start));
  }

  const Result set = read_set(base);
  const Result plain = read_plain(dir + "/plain.txt");
  std::printf("set read:   %.3f s (%.1f MB/s)\n", set.seconds,
              static_cast<double>(set.count) / 1048576.0 / set.seconds);
  std::printf("plain read: %.3f s (%.1f MB/s)\n", plain.seconds,
              static_cast<double>(plain.count) / 1048576.0 / plain.seconds);
  std::printf("ratio set/plain: %.2f\n", set.seconds / plain.seconds);
  if (set.count != plain.count || set.sum != plain.sum) {
    std::printf("MISMATCH: the set and the plain file differ\n");
    std::filesystem::remove_all(dir);
    return 1;
  }
  std::filesystem::remove_all(dir);
  return 0;
}
