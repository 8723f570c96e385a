// Helpers shared by the benchmarks: the clock, the checksum loop both
// readers of one run go through, a timed read of a plain file through the
// stream layer, a scratch directory, and texts taken from the machine.
#pragma once

#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "io/vqio.h"

namespace bench {

inline double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct Result {
  double seconds;
  uint64_t sum, count;
};

// The same byte loop for every reader: a running checksum and a count.
template <typename Next>
[[gnu::noinline]] Result scan(Next next, std::chrono::steady_clock::time_point start) {
  uint64_t sum = 0, count = 0;
  for (int c; (c = next()) != -1;) {
    sum = sum * 31 + static_cast<uint64_t>(c);
    ++count;
  }
  return {seconds_since(start), sum, count};
}

// Reads a plain file through the stream layer with the same loop.
inline Result read_plain(const std::string& path) {
  auto start = std::chrono::steady_clock::now();
  VqStream* s = vqio_fopen(path.c_str(), "r");
  if (!s) std::exit(2);
  Result r = scan([s] { return vqio_getc(s); }, start);
  vqio_fclose(s);
  r.seconds = seconds_since(start);
  return r;
}

// A new directory under TMPDIR (or /tmp) named after the benchmark; exits
// with status 2 when it cannot be made.
inline std::string scratch_dir(const char* name) {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + name + "_XXXXXX";
  if (!mkdtemp(pattern.data())) std::exit(2);
  return pattern;
}


inline std::string read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void walk(const std::string& dir, std::vector<std::string>* files) {
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return;
  while (dirent* e = readdir(d)) {
    const std::string n = e->d_name;
    if (n == "." || n == "..") continue;
    const std::string p = dir + "/" + n;
    struct stat sb{};
    if (lstat(p.c_str(), &sb) != 0) continue;
    if (S_ISDIR(sb.st_mode)) walk(p, files);
    else if (S_ISREG(sb.st_mode)) files->push_back(p);
  }
  closedir(d);
}

inline std::string dtd_text() {
  std::string doc = read_all("/usr/share/sgml/html/dtd/4.01/loose.dtd");
  if (doc.empty()) doc = read_all("/usr/share/sgml/html/dtd/html-3.dtd");
  return doc;
}

// The body of the largest HTML file of 8 to 64 KB under /usr/share/doc
// (the first by name among equals), else the HTML DTD.
inline std::string real_document() {
  std::vector<std::string> files;
  walk("/usr/share/doc", &files);
  std::sort(files.begin(), files.end());
  std::string best;
  off_t best_size = 0;
  for (const std::string& f : files) {
    if (f.size() < 5 || f.compare(f.size() - 5, 5, ".html") != 0) continue;
    struct stat sb{};
    if (stat(f.c_str(), &sb) != 0 || sb.st_size < 8192 || sb.st_size > 65536) continue;
    if (sb.st_size > best_size) {
      best = f;
      best_size = sb.st_size;
    }
  }
  std::string doc = best.empty() ? dtd_text() : read_all(best);
  size_t from = doc.find("<body");
  if (from == std::string::npos) from = doc.find("<BODY");
  size_t to = doc.rfind("</body>");
  if (to == std::string::npos) to = doc.rfind("</BODY>");
  if (from != std::string::npos && to != std::string::npos && to > from) doc = doc.substr(from, to + 7 - from);
  return doc;
}

// One run of a program in a child process: wall time, processor time (user
// and system), peak resident size and exit status (-1 when it did not exit
// normally).
struct Measure {
  double seconds = 0;
  double cpu_seconds = 0;
  long peak_kb = 0;
  int status = -1;
};

// The median time of the runs, with the largest peak and the worst status.
inline Measure median(std::vector<Measure> runs) {
  std::sort(runs.begin(), runs.end(), [](const Measure& x, const Measure& y) { return x.seconds < y.seconds; });
  Measure m = runs[runs.size() / 2];
  for (const Measure& r : runs) {
    m.peak_kb = std::max(m.peak_kb, r.peak_kb);
    if (r.status != 0) m.status = r.status;
  }
  return m;
}

// Runs argv in dir in a child process (its output to out, its messages to
// the file messages): wall time, peak.
inline Measure run(const std::string& dir, const std::vector<std::string>& argv, const char* out,
                   const char* messages) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  Measure m;
  std::fflush(stdout);  // else the child would write the buffered lines again
  auto start = std::chrono::steady_clock::now();
  pid_t child = fork();
  if (child == 0) {
    if (chdir(dir.c_str()) != 0 || std::freopen(out, "w", stdout) == nullptr ||
        std::freopen(messages, "w", stderr) == nullptr)
      _exit(127);
    execvp(args[0], args.data());
    _exit(127);
  }
  int wstatus = 0;
  struct rusage usage {};
  wait4(child, &wstatus, 0, &usage);
  m.seconds = seconds_since(start);
  m.cpu_seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                  static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  m.peak_kb = usage.ru_maxrss;
  m.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  return m;
}


// LinuxDoc documents of a given size for the parser's benchmarks, and the
// machine's CPU model for their reports.

// Every "id=" value of the text gets the suffix "-k" (labels and refs).
inline std::string unique_ids(const std::string& text, int k) {
  std::string out;
  out.reserve(text.size() + 64);
  size_t from = 0;
  for (size_t at = text.find("id=\"", from); at != std::string::npos; at = text.find("id=\"", from)) {
    const size_t close = text.find('"', at + 4);
    if (close == std::string::npos) break;
    out.append(text, from, close - from);
    out.push_back('-');
    out.append(std::to_string(k));
    from = close;
  }
  out.append(text, from, std::string::npos);
  return out;
}

// The raising declaration, the example's head, its sections repeated until
// about mb megabytes, and the end of the article.
inline bool linuxdoc_document(const std::string& path, size_t mb, const std::string& declaration,
                              const std::string& example) {
  const size_t first = example.find("<sect>");
  const size_t end = example.rfind("</article>");
  if (first == std::string::npos || end == std::string::npos || end < first) return false;
  const std::string head = example.substr(0, first);
  const std::string sections = example.substr(first, end - first);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  size_t written = 0;
  bool ok = std::fwrite(declaration.data(), 1, declaration.size(), f) == declaration.size() &&
            std::fwrite(head.data(), 1, head.size(), f) == head.size();
  for (int k = 0; ok && written < (mb << 20); ++k) {
    const std::string copy = unique_ids(sections, k);
    ok = std::fwrite(copy.data(), 1, copy.size(), f) == copy.size();
    written += copy.size();
  }
  const std::string tail = example.substr(end);
  ok = ok && std::fwrite(tail.data(), 1, tail.size(), f) == tail.size();
  return std::fclose(f) == 0 && ok;
}

// The model name of the first CPU in /proc/cpuinfo.
inline std::string cpu_model() {
  const std::string info = bench::read_all("/proc/cpuinfo");
  const size_t at = info.find("model name");
  if (at == std::string::npos) return "unknown";
  const size_t colon = info.find(':', at);
  const size_t eol = info.find('\n', at);
  return colon == std::string::npos ? "unknown" : info.substr(colon + 2, eol - colon - 2);
}

}  // namespace bench
