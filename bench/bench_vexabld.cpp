// Index builder wall time and peak memory, beside a full suffix array of
// the same text built by libdivsufsort, as a user runs the programs: each
// command in its own child process, whole process from start to exit.
//
//   bench_vexabld [docs-file [sgml-file [dtd-file [plain-file]]]]
//
// Without files the texts are made from the machine:
//   (a) ~25 MB of installed documentation as it stands (/usr/share/doc,
//       /usr/share/common-licenses and /usr/share/perl, compressed files
//       included, duplicates kept: licence texts and boilerplate repeat);
//   (b) ~30 MB of one real SGML document's body repeated verbatim (the
//       largest HTML file of 8 to 64 KB under /usr/share/doc, else the HTML
//       DTD), so that every point ties with hundreds of others for all of
//       its 400 characters;
//   (c) ~30 MB of the sections of an HTML DTD in a pseudo-random order;
//   (d) ~26 MB of the plain-text files under /usr/share/common-licenses and
//       /usr/share/doc as they lie (no compressed files, no markup, nothing
//       with a NUL byte or mostly unprintable), in the order of their names.
// Every vexabld runs as `vexabld -t TEXT -o out -m M`, once without -c (the
// default map) and once with the corpus's own -c. For each text and each
// of the two, in five alternating rounds: libdivsufsort, vexabld with one
// pass (-m 1024m, as a user gives it) on all cores, the same bound to one
// core, and vexabld with about ten passes. The medians are printed with the
// ratios, the largest peak resident size of the one-pass runs per text
// byte, and whether each aim is met. Untimed runs with -v count the passes,
// and a one-pass run at a budget just large enough shows whether the
// memory touched follows the text or the budget. vexabld is the binary next
// to this one's folder, or $VEXABLD; BENCH_ROUNDS changes the number of
// rounds.
#include <divsufsort.h>

#include <dirent.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
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

// A plain-text file: no NUL byte and at least 95% of its bytes printable,
// tabs, line ends or above 127; compressed files and markup are left out.
bool plain_text_file(const std::string& path, std::string* text) {
  std::string n = path.substr(path.rfind('/') + 1);
  std::transform(n.begin(), n.end(), n.begin(), [](unsigned char c) { return std::tolower(c); });
  const auto ends = [&n](const char* t) {
    const size_t k = std::strlen(t);
    return n.size() >= k && n.compare(n.size() - k, k, t) == 0;
  };
  for (const char* skip : {".gz", ".bz2", ".xz", ".zst", ".z", ".zip", ".html", ".htm", ".xhtml",
                           ".xml", ".svg", ".css", ".js", ".json"}) {
    if (ends(skip)) return false;
  }
  *text = read_all(path);
  if (text->empty() || text->find('\0') != std::string::npos) return false;
  size_t plain = 0;
  for (const unsigned char c : *text) plain += c >= 32 || c == '\t' || c == '\n' || c == '\r';
  return plain * 100 >= text->size() * 95;
}

std::string make_plain(size_t want) {
  std::vector<std::string> files;
  for (const char* root : {"/usr/share/common-licenses", "/usr/share/doc"}) {
    std::vector<std::string> under;
    walk(root, &under);
    std::sort(under.begin(), under.end());
    files.insert(files.end(), under.begin(), under.end());
  }
  std::string text, one;
  for (const std::string& f : files) {
    if (!plain_text_file(f, &one)) continue;
    text += one;
    if (text.size() >= want) return text.substr(0, want);
  }
  return text;
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

// vexabld in a child process as a user runs it (-t TEXT -o out -m M, and
// -c map when map is given; -v with `verbose`, for the pass count); with
// one_core the child is bound to the core it starts on, so that it works
// on one thread.
Measure run_vexabld(const std::string& program, const std::string& dir, const std::string& text,
                    const char* map, long long memory, bool one_core, bool verbose = false) {
  const std::string m = std::to_string((memory + 1023) / 1024) + "k";
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
    std::vector<const char*> args{"vexabld"};
    if (verbose) args.push_back("-v");
    for (const char* a : {"-t", text.c_str(), "-o", "out", "-m", m.c_str()}) args.push_back(a);
    if (map != nullptr) {
      args.push_back("-c");
      args.push_back(map);
    }
    args.push_back(nullptr);
    execv(program.c_str(), const_cast<char* const*>(args.data()));
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

const char* verdict(bool met) { return met ? "ok" : "below aim"; }

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
  const std::string docs = dir + "/docs.txt", repeated = dir + "/repeated.sgm", dtd = dir + "/dtd.sgm",
                    plain = dir + "/plain.txt";
  // The texts are made in a child process, so that this one stays small
  // for the children it measures.
  in_child_once([&] {
    std::ofstream(docs, std::ios::binary) << (argc > 1 ? read_all(argv[1]) : make_docs(25u << 20));
    std::ofstream(repeated, std::ios::binary) << (argc > 2 ? read_all(argv[2]) : make_repeated(30u << 20));
    std::ofstream(dtd, std::ios::binary) << (argc > 3 ? read_all(argv[3]) : make_sgml(30u << 20));
    std::ofstream(plain, std::ios::binary) << (argc > 4 ? read_all(argv[4]) : make_plain(26u << 20));
    return 0;
  });
  int rounds = 5;
  if (const char* env = std::getenv("BENCH_ROUNDS")) rounds = std::max(1, std::atoi(env));
  std::printf("vexabld: %s\ncpu: %s (%ld cores online)\n", program.c_str(), bench::cpu_model().c_str(),
              sysconf(_SC_NPROCESSORS_ONLN));
  std::printf("aims: one core >= 2.0x libdivsufsort, all cores >= 4.0x, ten passes <= 1.5x one pass,\n"
              "      peak of a one-pass build <= 3 bytes per text byte, the same at any -m\n");
  struct Corpus {
    const char* name;
    std::string path;
    const char* map;  // the corpus's own -c
  };
  constexpr long long kUserBudget = 1024ll << 20;  // -m 1024m
  int below = 0;
  for (const Corpus& c : {Corpus{"(a) installed documentation", docs, "basic"},
                          Corpus{"(b) one SGML document repeated", repeated, "none"},
                          Corpus{"(c) shuffled DTD sections", dtd, "none"},
                          Corpus{"(d) plain-text files", plain, "basic"}}) {
    struct stat sb{};
    stat(c.path.c_str(), &sb);
    const double mb = static_cast<double>(sb.st_size) / 1048576.0;
    std::printf("%s: %.1f MB\n", c.name, mb);
    // Ten passes: a tenth of the text per pass. Tight: just room for the
    // text and a point per two characters in one pass.
    const long long ten = 409600 + 2 * static_cast<long long>(sb.st_size / 11);
    const long long tight = 409600 + 4 * static_cast<long long>(sb.st_size) + (1 << 20);
    std::vector<Measure> ds;
    struct Runs {
      const char* map;
      std::vector<Measure> all, single, tenfold;
    };
    Runs runs[2] = {{nullptr, {}, {}, {}}, {c.map, {}, {}, {}}};
    for (int round = 0; round < rounds; ++round) {
      ds.push_back(run_divsufsort(c.path));
      for (Runs& r : runs) {
        r.all.push_back(run_vexabld(program, dir, c.path, r.map, kUserBudget, false));
        r.single.push_back(run_vexabld(program, dir, c.path, r.map, kUserBudget, true));
        r.tenfold.push_back(run_vexabld(program, dir, c.path, r.map, ten, false));
      }
    }
    const Measure d = median(ds);
    line("libdivsufsort (full suffix array)", mb, d, "");
    for (Runs& r : runs) {
      run_vexabld(program, dir, c.path, r.map, kUserBudget, false, true);
      const int passes_one = passes_run(dir);
      run_vexabld(program, dir, c.path, r.map, ten, false, true);
      const int passes_ten = passes_run(dir);
      const Measure snug = run_vexabld(program, dir, c.path, r.map, tight, false);
      const Measure a = median(r.all), s1 = median(r.single), t = median(r.tenfold);
      const std::string with = r.map != nullptr ? std::string("-c ") + r.map : "no -c";
      std::printf(" %s:\n", with.c_str());
      char budget[64];
      std::snprintf(budget, sizeof budget, "-m 1024m, %d pass%s", passes_one, passes_one == 1 ? "" : "es");
      line("vexabld, one pass, all cores", mb, a, budget);
      line("vexabld, one pass, one core", mb, s1, budget);
      std::snprintf(budget, sizeof budget, "%.1f MB, %d passes", ten / 1048576.0, passes_ten);
      line("vexabld, about ten passes", mb, t, budget);
      for (const Measure* m : {&a, &s1, &t, &snug})
        if (m->status != 0) std::printf("  (vexabld exit status %d)\n", m->status);
      const double one_core = d.seconds / s1.seconds, all_cores = d.seconds / a.seconds;
      const double tenth = t.seconds / a.seconds;
      const double text_bytes = std::max(1.0, static_cast<double>(sb.st_size));
      const double per_byte = static_cast<double>(std::max(a.peak_kb, s1.peak_kb)) * 1024.0 / text_bytes;
      const double snug_per_byte = static_cast<double>(snug.peak_kb) * 1024.0 / text_bytes;
      const bool met[4] = {one_core >= 2.0, all_cores >= 4.0, tenth <= 1.5, per_byte <= 3.0};
      std::printf("  %-9s one core %.2fx libdivsufsort: %s\n", with.c_str(), one_core, verdict(met[0]));
      std::printf("  %-9s all cores %.2fx libdivsufsort: %s\n", with.c_str(), all_cores, verdict(met[1]));
      std::printf("  %-9s ten passes / one pass %.2f: %s\n", with.c_str(), tenth, verdict(met[2]));
      std::printf("  %-9s peak %.2f bytes per text byte at -m 1024m, %.2f at -m %.0fm: %s\n", with.c_str(),
                  per_byte, snug_per_byte, tight / 1048576.0, verdict(met[3]));
      for (bool m : met) below += m ? 0 : 1;
      below += a.status != 0 || s1.status != 0 || t.status != 0 || snug.status != 0;
    }
  }
  std::printf("%s\n", below == 0 ? "all aims met" : (std::to_string(below) + " figures below aim").c_str());
  const std::string command = "rm -rf '" + dir + "'";
  return std::system(command.c_str()) == 0 ? 0 : 1;
}
