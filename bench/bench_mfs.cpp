// Reads one 100 MB member through the chain of the empty filter list (mfsio
// alone) and through "flat", in the reader's 1024-byte pieces, and prints
// the rate of each. Usage: bench_mfs [megabytes]
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "io/vqio.h"
#include "mfs/mfs.h"

namespace {

double read_member(MfsStream* chain, const char* path, long piece, long long* total) {
  std::vector<char> buffer(static_cast<size_t>(piece));
  const auto start = std::chrono::steady_clock::now();
  mfs_chain_open(chain, path);
  *total = 0;
  for (long n; (n = chain->read(chain, buffer.data(), piece)) > 0;) *total += n;
  mfs_chain_close(chain);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  vqio_start(argc, argv, "VQ_IOMAP");
  const long megabytes = argc > 1 ? std::atol(argv[1]) : 100;
  const long long size = static_cast<long long>(megabytes) * 1024 * 1024;

  const char* dir = std::getenv("TMPDIR");
  std::string path = std::string(dir && *dir ? dir : "/tmp") + "/bench_mfs_XXXXXX";
  std::vector<char> name(path.begin(), path.end());
  name.push_back('\0');
  const int fd = mkstemp(name.data());
  if (fd == -1) {
    std::perror("bench_mfs: temporary member");
    return 1;
  }
  std::vector<char> block(1 << 20);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>('a' + i % 26);
  for (long long written = 0; written < size; written += static_cast<long long>(block.size())) {
    if (write(fd, block.data(), block.size()) != static_cast<ssize_t>(block.size())) {
      std::perror("bench_mfs: writing the member");
      unlink(name.data());
      return 1;
    }
  }
  close(fd);

  MfsFilterTypeTable* types = mfs_ft_new(10, 10);
  mfs_ft_add_all(types, mfs_builtin_formats());
  int status = 0;
  for (const char* list : {"", "flat"}) {
    MfsFilterList row{0, list, nullptr};
    mfs_compile_filter_list(&row, types);
    long long total = 0;
    read_member(row.chain, name.data(), 1024, &total);  // warm the page cache
    const double seconds = read_member(row.chain, name.data(), 1024, &total);
    if (total != size) status = 1;
    std::printf("filter list \"%s\": %lld bytes in %.3f s, %.1f MB/s\n", list, total, seconds,
                static_cast<double>(total) / (1024.0 * 1024.0) / seconds);
    mfs_chain_destroy(row.chain);
  }
  mfs_ft_free(types);
  unlink(name.data());
  return status;
}
