// Tag-stream throughput: tokenizes a generated tagged file of about 64 MB
// through a stream of the I/O layer and through a read callback, and
// prints megabytes per second.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "sinsi/sinsi.h"

namespace {

struct Memory {
  const std::string* data;
  size_t pos;
};
int read_memory(void* handle) {
  auto* m = static_cast<Memory*>(handle);
  return m->pos < m->data->size() ? static_cast<unsigned char>((*m->data)[m->pos++]) : -1;
}

const char* const kNames[] = {"rec", "name", "value", "note", nullptr};
const int32_t kIds[] = {1, 2, 3, 4};

size_t count_tokens(SinsiStream* s) {
  sinsidt(s, kNames, kIds, &SinsiAngleDelimiters);
  size_t tokens = 0;
  while (sinsint(s, nullptr, nullptr) != SINSI_EOF) ++tokens;
  return tokens;
}

void report(const char* what, size_t bytes, size_t tokens,
            std::chrono::steady_clock::time_point start) {
  double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%-10s %zu tokens, %.1f MB/s\n", what, tokens, bytes / seconds / 1e6);
}

}  // namespace

int main(int argc, char** argv) {
  vqio_start(argc, argv, nullptr);
  std::string text;
  for (int i = 0; text.size() < (64u << 20); ++i) {
    text += "<rec id=\"" + std::to_string(i) + "\"><name>item " + std::to_string(i) +
            "</name><value>" + std::string(static_cast<size_t>(i % 200), 'x') +
            "</value><other a=1,2 b=\"c d\">text</other></rec>\n";
  }
  char path[] = "/tmp/bench_sinsiXXXXXX";
  int fd = mkstemp(path);
  if (fd < 0 || write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    std::perror(path);
    return 1;
  }
  close(fd);

  auto start = std::chrono::steady_clock::now();
  VqStream* in = vqio_fopen(path, "r");
  SinsiStream* s = sinsios(in, nullptr, nullptr, nullptr);
  size_t tokens = count_tokens(s);
  sinsicl(s);
  vqio_fclose(in);
  report("stream", text.size(), tokens, start);

  start = std::chrono::steady_clock::now();
  Memory m = {&text, 0};
  s = sinsios(&m, nullptr, read_memory, nullptr);
  tokens = count_tokens(s);
  sinsicl(s);
  report("callback", text.size(), tokens, start);

  unlink(path);
  vqio_exit(0);
}
