// Index builder wall time and peak memory, beside a full suffix array of
// the same text built by libdivsufsort, as a user runs the programs: each
// command in its own child process, whole process from start to exit.
//
//   bench_vexabld [docs-file [sgml-file [dtd-file]]]
//
// Without files the texts are made from the machine:
//   (a) ~25 MB of installed documentation as it stands (/usr/share/doc,
//       /usr/share/common-licenses and /usr/share/perl, compressed files
//       included, duplicates kept: licence texts and boilerplate repeat);
//   (b) ~30 MB of one real SGML document's body repeated verbatim (the
//       largest HTML file of 8 to 64 KB under /usr/share/doc, else the HTML
//       DTD), so that every point ties with hundreds of others for all of
//       its 400 characters;
//   (c) ~30 MB of the sections of an HTML DTD in a pseudo-random order.
// For each text, in five alternating rounds: libdivsufsort, vexabld with one
// pass on all cores, vexabld with one pass bound to one core, and vexabld
// with about ten passes. The medians and the largest peak resident size of
// each are printed with the ratios. vexabld is the binary next to this
// one's folder, or $VEXABLD.
#include <divsufsort.h>

#include <dirent.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "bench_support.h"

using bench::read_all;
using bench::real_document;
using bench::walk;
using bench::dtd_text;

namespace {

using bench::Measure;
using bench::median;

std::string read_gzip(const std::string& path) {
  const std::string command = "gzip -dc '" + path + "' 2>/dev/null";
  FILE* p = popen(command.c_str(), "r");
  if (p == nullptr) return "";
  std::string text;
  char chunk[65536];
  size_t n;
  while ((n = fread(chunk, 1, sizeof chunk, p)) > 0) text.append(chunk, n);
  pclose(p);
  return text;
}

bool prose_name(const std::string& p) {
  const std::string n = p.substr(p.rfind('/') + 1);
  const auto ends = [&n](const char* t) {
    const size_t k = std::strlen(t);
    return n.size() >= k && n.compare(n.size() - k, k, t) == 0;
  };
  return n == "copyright" || n.rfind("README", 0) == 0 || n.rfind("changelog", 0) == 0 ||
         n.rfind("NEWS", 0) == 0 || ends(".txt") || ends(".pod") || ends(".txt.gz");
}

std::string make_docs(size_t want) {
  std::vector<std::string> files;
  for (const char* root : {"/usr/share/common-licenses", "/usr/share/doc", "/usr/share/perl"}) walk(root, &files);
  std::sort(files.begin(), files.end());
  std::string text;
  for (const std::string& f : files) {
    if (!prose_name(f)) continue;
    const bool gz = f.size() > 3 && f.compare(f.size() - 3, 3, ".gz") == 0;
    text += gz ? read_gzip(f) : read_all(f);
    if (text.size() >= want) return text.substr(0, want);
  }
  return text;
}

std::string make_repeated(size_t want) {
  const std::string body = real_document();
  std::string text;
  while (!body.empty() && text.size() < want) text += body;
  return text.substr(0, want);
}

std::string make_sgml(size_t want) {
  const std::string doc = dtd_text();
  std::vector<std::string> sections;
  size_t at = 0;
  while (at < doc.size()) {
    size_t end = doc.find("\n\n", at);
    if (end == std::string::npos) end = doc.size();
    sections.push_back(doc.substr(at, end - at + 2));
    at = end + 2;
  }
  std::string text;
  uint64_t x = 88172645463325252ull;
  while (!sections.empty() && text.size() < want) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    text += sections[x % sections.size()];
  }
  return text.substr(0, want);
}

// Runs f in a child process: its wall time and peak resident size.
Measure in_child_once(const std::function<int()>& f) {
  Measure m;
  const auto t0 = std::chrono::steady_clock::now();
  std::fflush(stdout);  // else the child would write the buffered lines again
  const pid_t pid = fork();
  if (pid == 0) _exit(f());
  int status = 0;
  struct rusage ru{};
  wait4(pid, &status, 0, &ru);
  m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  m.peak_kb = ru.ru_maxrss;
  m.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return m;
}

Measure run_divsufsort(const std::string& path) {
  return in_child_once([&path] {
    const std::string t = read_all(path);
    std::vector<saidx_t> sa(t.size() + 1);
    return divsufsort(reinterpret_cast<const sauchar_t*>(t.data()), sa.data(),
                      static_cast<saidx_t>(t.size())) == 0 ? 0 : 1;
  });
}

// vexabld in a child process; with one_core the child is bound to the core
// it starts on, so that it sorts on one thread.
Measure run_vexabld(const std::string& program, const std::string& dir, const std::string& text,
                    const char* map, long long memory, bool one_core) {
  const std::string m = std::to_string(memory / 1024) + "k";
  return in_child_once([&] {
    if (chdir(dir.c_str()) != 0) return 2;
    if (one_core) {
      cpu_set_t cores;
      CPU_ZERO(&cores);
      const int cpu = sched_getcpu();
      CPU_SET(cpu < 0 ? 0 : cpu, &cores);
      if (sched_setaffinity(0, sizeof cores, &cores) != 0) return 2;
    }
    if (freopen("progress.txt", "w", stderr) == nullptr || freopen("/dev/null", "w", stdout) == nullptr)
      return 2;
    execl(program.c_str(), "vexabld", "-v", "-t", text.c_str(), "-c", map, "-m", m.c_str(),
          static_cast<char*>(nullptr));
    return 127;
  });
}

// The number of passes of the last vexabld run (its progress lines).
int passes_run(const std::string& dir) {
  const std::string progress = read_all(dir + "/progress.txt");
  int n = 0;
  for (size_t at = progress.find(" indexing from "); at != std::string::npos;
       at = progress.find(" indexing from ", at + 1)) {
    ++n;
  }
  return n;
}

void line(const char* what, double mb, const Measure& m, const char* budget) {
  std::printf("  %-34s %7.2f s %8.1f MB/s  peak %8.1f MB%s%s\n", what, m.seconds, mb / m.seconds,
              m.peak_kb / 1024.0, budget[0] ? "  budget " : "", budget);
}

}  // namespace

int main(int argc, char** argv) {
  std::string program;
  if (const char* env = std::getenv("VEXABLD")) program = env;
  else {
    std::string self = argv[0];
    const size_t slash = self.rfind('/');
    program = (slash == std::string::npos ? std::string(".") : self.substr(0, slash)) + "/../vexabld";
  }
  if (char* full = realpath(program.c_str(), nullptr)) {
    program = full;
    std::free(full);
  }
  char pattern[] = "/tmp/bench_vexabld_XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  const std::string dir = pattern;
  const std::string docs = dir + "/docs.txt", repeated = dir + "/repeated.sgm", dtd = dir + "/dtd.sgm";
  // The texts are made in a child process, so that this one stays small
  // for the children it measures.
  in_child_once([&] {
    std::ofstream(docs, std::ios::binary) << (argc > 1 ? read_all(argv[1]) : make_docs(25u << 20));
    std::ofstream(repeated, std::ios::binary) << (argc > 2 ? read_all(argv[2]) : make_repeated(30u << 20));
    std::ofstream(dtd, std::ios::binary) << (argc > 3 ? read_all(argv[3]) : make_sgml(30u << 20));
    return 0;
  });
  std::printf("vexabld: %s (%ld cores)\n", program.c_str(), sysconf(_SC_NPROCESSORS_ONLN));
  struct Corpus {
    const char* name;
    std::string path;
    const char* map;
  };
  constexpr int kRounds = 5;
  for (const Corpus& c : {Corpus{"(a) installed documentation", docs, "basic"},
                          Corpus{"(b) one SGML document repeated", repeated, "sgml"},
                          Corpus{"(c) shuffled DTD sections", dtd, "sgml"}}) {
    struct stat sb{};
    stat(c.path.c_str(), &sb);
    const double mb = static_cast<double>(sb.st_size) / 1048576.0;
    std::printf("%s: %.1f MB\n", c.name, mb);
    // One pass: the buffer holds the text, the point array a point per
    // two characters. Ten passes: a tenth of the text per pass.
    const long long one = 409600 + 4 * static_cast<long long>(sb.st_size) + (4 << 20);
    const long long ten = 409600 + 2 * static_cast<long long>(sb.st_size / 11);
    std::vector<Measure> ds, all, single, tenfold;
    int passes_one = 0, passes_ten = 0;
    for (int round = 0; round < kRounds; ++round) {
      ds.push_back(run_divsufsort(c.path));
      all.push_back(run_vexabld(program, dir, c.path, c.map, one, false));
      passes_one = passes_run(dir);
      single.push_back(run_vexabld(program, dir, c.path, c.map, one, true));
      tenfold.push_back(run_vexabld(program, dir, c.path, c.map, ten, false));
      passes_ten = passes_run(dir);
    }
    const Measure d = median(ds), a = median(all), s1 = median(single), t = median(tenfold);
    char budget[64];
    line("libdivsufsort (full suffix array)", mb, d, "");
    std::snprintf(budget, sizeof budget, "%.1f MB", one / 1048576.0);
    line("vexabld, one pass, all cores", mb, a, budget);
    line("vexabld, one pass, one core", mb, s1, budget);
    std::snprintf(budget, sizeof budget, "%.1f MB", ten / 1048576.0);
    line("vexabld, about ten passes", mb, t, budget);
    std::printf("  (%d pass, %d passes)\n", passes_one, passes_ten);
    for (const Measure* m : {&a, &s1, &t})
      if (m->status != 0) std::printf("  (vexabld exit status %d)\n", m->status);
    std::printf("  one core: %.2fx libdivsufsort (aim 2.0x); all cores: %.2fx (aim 4.0x on 8 cores)\n",
                d.seconds / s1.seconds, d.seconds / a.seconds);
    std::printf("  ten passes take %.2fx the one-pass time (aim 2.0x)\n", t.seconds / a.seconds);
    std::printf("  peak minus budget: one pass %+.1f MB, ten passes %+.1f MB\n",
                (a.peak_kb * 1024.0 - static_cast<double>(one)) / 1048576.0,
                (t.peak_kb * 1024.0 - static_cast<double>(ten)) / 1048576.0);
  }
  const std::string command = "rm -rf '" + dir + "'";
  return std::system(command.c_str()) == 0 ? 0 : 1;
}
