// Byte-by-byte copy of a large generated file through the layer's streams
// and through the C library's stdio, in one run; prints times and the ratio
// layer / stdio. Usage: bench_streams [megabytes, default 200] [rounds, 3].
//
// Variants: the layer's inline vqio_getc/vqio_putc, its function forms
// vqio_fgetc/vqio_fputc, and the same two with larger buffers set by
// vqio_setvbuf (to see whether the 1024-byte default costs anything);
// stdio's getc/putc (the locking forms, as a program calls them by default)
// and getc_unlocked/putc_unlocked (no locking, the fairer comparison for a
// single-threaded layer). Each variant's best of the rounds is reported.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <unistd.h>

#include "io/vqio.h"

namespace {

double Seconds(const std::function<void()>& f) {
  auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void Generate(const std::string& path, size_t bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  std::string block(1 << 16, '\0');
  uint32_t x = 12345;
  for (char& c : block) {
    x = x * 1103515245u + 12345u;
    c = static_cast<char>(x % 7 == 0 ? '\n' : 'a' + (x >> 16) % 26);
  }
  for (size_t done = 0; done < bytes; done += block.size())
    std::fwrite(block.data(), 1, std::min(block.size(), bytes - done), f);
  std::fclose(f);
}

bool SameFiles(const std::string& a, const std::string& b) {
  FILE* fa = std::fopen(a.c_str(), "rb");
  FILE* fb = std::fopen(b.c_str(), "rb");
  std::string ba(1 << 16, '\0'), bb(1 << 16, '\0');
  bool same = fa && fb;
  while (same) {
    size_t na = std::fread(ba.data(), 1, ba.size(), fa);
    size_t nb = std::fread(bb.data(), 1, bb.size(), fb);
    same = na == nb && std::memcmp(ba.data(), bb.data(), na) == 0;
    if (na == 0) break;
  }
  if (fa) std::fclose(fa);
  if (fb) std::fclose(fb);
  return same;
}

enum Kind { kLayerInline, kLayerCall, kStdio, kStdioUnlocked };

struct Variant {
  const char* label;
  Kind kind;
  size_t buffer;  // 0: the default buffer
  double best = 1e30;
};

void Copy(const Variant& v, const std::string& in, const std::string& out) {
  if (v.kind == kStdio || v.kind == kStdioUnlocked) {
    FILE* r = std::fopen(in.c_str(), "rb");
    FILE* w = std::fopen(out.c_str(), "wb");
    int c;
    if (v.kind == kStdio) {
      while ((c = getc(r)) != EOF) putc(c, w);
    } else {
      while ((c = getc_unlocked(r)) != EOF) putc_unlocked(c, w);
    }
    std::fclose(r);
    std::fclose(w);
    return;
  }
  VqStream* r = vqio_fopen(in.c_str(), "r");
  VqStream* w = vqio_fopen(out.c_str(), "w");
  if (!r || !w) std::abort();
  if (v.buffer) {
    vqio_setvbuf(r, nullptr, VQ_IOFBF, v.buffer);
    vqio_setvbuf(w, nullptr, VQ_IOFBF, v.buffer);
  }
  int c;
  if (v.kind == kLayerInline) {
    while ((c = vqio_getc(r)) != -1) vqio_putc(c, w);
  } else {
    while ((c = vqio_fgetc(r)) != -1) vqio_fputc(c, w);
  }
  vqio_fclose(r);
  if (vqio_fclose(w) != 0) std::abort();
}

}  // namespace

int main(int argc, char** argv) {
  vqio_start(argc, argv, "VQ_IOMAP");
  size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 200;
  int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  const char* tmp = std::getenv("TMPDIR");
  std::string dir = std::string(tmp && *tmp ? tmp : "/tmp") + "/bench_streams-XXXXXX";
  if (!mkdtemp(dir.data())) std::abort();
  std::string in = dir + "/in", out = dir + "/out";
  Generate(in, megabytes << 20);

  Variant variants[] = {
      {"layer vqio_getc/vqio_putc (1024)", kLayerInline, 0},
      {"layer vqio_fgetc/vqio_fputc (1024)", kLayerCall, 0},
      {"layer vqio_getc/vqio_putc (4096)", kLayerInline, 4096},
      {"layer vqio_getc/vqio_putc (65536)", kLayerInline, 65536},
      {"stdio getc/putc", kStdio, 0},
      {"stdio getc_unlocked/putc_unlocked", kStdioUnlocked, 0},
  };
  bool ok = true;
  for (int round = 0; round < rounds; ++round) {
    for (Variant& v : variants) {
      double t = Seconds([&] { Copy(v, in, out); });
      if (t < v.best) v.best = t;
      if (round == 0) ok = ok && SameFiles(in, out);
      unlink(out.c_str());
    }
  }
  unlink(in.c_str());
  rmdir(dir.c_str());

  vqio_printf("byte-by-byte copy of %zu MB, best of %d rounds%s\n", megabytes, rounds,
              ok ? "" : "  (COPY MISMATCH)");
  double stdio = variants[4].best, unlocked = variants[5].best;
  for (const Variant& v : variants)
    vqio_printf("  %-38s %7.3f s  %8.1f MB/s  x%.2f of stdio  x%.2f of unlocked\n", v.label,
                v.best, static_cast<double>(megabytes) / v.best, v.best / stdio, v.best / unlocked);
  double ratio = variants[0].best / stdio;
  vqio_printf("layer / stdio (getc/putc) = %.2f: %s the 1.5 limit\n", ratio,
              ratio <= 1.5 ? "within" : "OVER");
  vqio_exit(ok && ratio <= 1.5 ? 0 : 1);
}
