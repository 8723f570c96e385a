// Compacts a 500 MB region file in place and copies the same file once in
// the same run, and prints both times and their ratio. The file holds a
// small first region and four large ones; emptying the first moves all the
// rest down, so the compaction reads and writes the whole file once, as a
// copy does. Files are made in a temporary directory (TMPDIR or /tmp) and
// removed at the end.
//   bench_region [megabytes]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "dd/dd.h"
#include "io/vqio.h"
#include "msg/msg.h"
#include "region/region.h"

namespace {

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void write_all(int fd, const void* data, size_t n) {
  if (vqio_write(fd, data, n) != static_cast<ssize_t>(n)) {
    std::perror("write");
    std::exit(2);
  }
}

// The region file: a 512-byte header, a 4 KB first region, then four
// regions that share the rest. Returns the dictionary text.
std::string make_region_file(const std::string& path, long megabytes) {
  const long first = 1024;  // values
  const long big = (megabytes * 1048576L / 4 - first) / 4;
  const int fd = vqio_open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) std::exit(2);
  std::vector<uint32_t> header(128, 0);
  header[0] = 1;
  header[1] = 0x01020304;
  header[2] = 1;
  header[5] = 50300;
  header[7] = 0x0A0D0A00;
  write_all(fd, header.data(), 512);
  std::vector<uint32_t> chunk(262144);
  long written = 0;
  const long total = first + 4 * big;
  while (written < total) {
    const long n = std::min<long>(static_cast<long>(chunk.size()), total - written);
    for (long i = 0; i < n; ++i) chunk[i] = static_cast<uint32_t>(written + i);
    write_all(fd, chunk.data(), static_cast<size_t>(n) * 4);
    written += n;
  }
  vqio_close(fd);

  std::string dd = "<DB>\n\n <Regions>\n";
  auto region = [&](const std::string& name, long offset, long count) {
    dd += "\n  <Region>\n   <Name>" + name + "</Name>\n   <File>\n    <SysName>" + path +
          "</SysName>\n    <ModDate>0</ModDate>\n    <Offset>" + std::to_string(offset) +
          "</Offset>\n   </File>\n   <Count>" + std::to_string(count) +
          "</Count>\n   <Type>pairs</Type>\n  </Region>\n";
  };
  region("first", 0, first);
  for (int i = 0; i < 4; ++i) region("big" + std::to_string(i), 4 * (first + i * big), big);
  return dd + " </Regions>\n</DB>\n";
}

double copy_file(const std::string& from, const std::string& to) {
  const auto start = std::chrono::steady_clock::now();
  const int in = vqio_open(from.c_str(), O_RDONLY);
  const int out = vqio_open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (in < 0 || out < 0) std::exit(2);
  std::vector<char> buf(1 << 20);
  for (ssize_t n; (n = vqio_read(in, buf.data(), buf.size())) > 0;)
    write_all(out, buf.data(), static_cast<size_t>(n));
  vqio_close(in);
  vqio_close(out);
  return seconds_since(start);
}

double compact(const std::string& dd_path, const std::string& region_path) {
  MadNode* tree = addpadd(dd_path.c_str());
  if (!tree) std::exit(2);
  int32_t count = 0;
  RegionListFile* files = nullptr;
  region_list_build(tree, &count, &files);
  const int32_t f = region_list_find(region_path.c_str(), count, files);
  if (f < 0) std::exit(2);
  const char* names[] = {"first"};
  const auto start = std::chrono::steady_clock::now();
  if (region_file_compact(&files[f], 1, names) != 0) std::exit(2);
  if (region_write_dd_file(dd_path.c_str(), tree, &files[f]) != 0) std::exit(2);
  const double seconds = seconds_since(start);
  region_list_free(count, files);
  madmtfr(tree);
  return seconds;
}

// The first big region now starts right after the header, and the file
// ends where the last one ends.
bool compacted_as_expected(const std::string& path, long megabytes) {
  const long first = 1024;
  const long total = first + 4 * ((megabytes * 1048576L / 4 - first) / 4);
  const int fd = vqio_open(path.c_str(), O_RDONLY);
  uint32_t w[2] = {0, 0};
  const bool ok = vqio_lseek(fd, 512, SEEK_SET) == 512 && vqio_read(fd, &w[0], 4) == 4 &&
                  vqio_lseek(fd, -4, SEEK_END) == 512 + 4 * (total - first) - 4 &&
                  vqio_read(fd, &w[1], 4) == 4;
  vqio_close(fd);
  return ok && w[0] == static_cast<uint32_t>(first) && w[1] == static_cast<uint32_t>(total - 1);
}

}  // namespace

int main(int argc, char** argv) {
  vqio_start(argc, argv, "VQ_IOMAP");
  set_error_handler(print_message);
  const long megabytes = argc > 1 ? std::atol(argv[1]) : 500;
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/bench_region_XXXXXX";
  if (!mkdtemp(pattern.data())) return 2;
  const std::string dir = pattern;
  const std::string rgn = dir + "/big.rgn", copy = dir + "/copy.rgn", dd = dir + "/bench.dd";

  const std::string text = make_region_file(rgn, megabytes);
  FILE* f = std::fopen(dd.c_str(), "w");
  std::fputs(text.c_str(), f);
  std::fclose(f);

  // Both timings start with the made file written back to disk.
  sync();
  const double copy_seconds = copy_file(rgn, copy);
  std::filesystem::remove(copy);
  sync();
  const double compact_seconds = compact(dd, rgn);
  if (!compacted_as_expected(rgn, megabytes)) {
    std::fprintf(stderr, "bench_region: the compacted file is not as expected\n");
    return 2;
  }
  std::printf("region file: %ld MB\n", megabytes);
  std::printf("copy once:   %.3f s\n", copy_seconds);
  std::printf("compaction:  %.3f s\n", compact_seconds);
  std::printf("ratio:       %.2f (compaction / copy; must stay within 2)\n",
              compact_seconds / copy_seconds);
  std::filesystem::remove_all(dir);
  vqio_exit(compact_seconds <= 2 * copy_seconds ? 0 : 1);
}
