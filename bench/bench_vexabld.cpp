// Index builder throughput and peak memory, beside a full suffix array of
// the same text built by libdivsufsort.
//
//   bench_vexabld [prose-file [sgml-file]]
//
// Without files the texts are made from the machine: ~25 MB of English
// prose (the documentation under /usr/share/doc, /usr/share/common-licenses
// and /usr/share/perl, compressed files included, each paragraph once), and
// ~30 MB of highly repetitive SGML (the sections of an HTML DTD from
// /usr/share/sgml repeated in a pseudo-random order, so that most index
// points tie for all of their 400 characters). vexabld runs as a child
// process (the binary next to this one's folder, or $VEXABLD), once with a
// budget of one pass and, for the prose, once with a budget of about ten
// passes; libdivsufsort runs in a child process too, so that each peak
// resident size is its own. Each figure is the best of three runs.
#include <divsufsort.h>

#include <dirent.h>
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
#include <unordered_set>
#include <vector>

namespace {

std::string read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

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

void walk(const std::string& dir, std::vector<std::string>* files) {
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

bool prose_name(const std::string& p) {
  const std::string n = p.substr(p.rfind('/') + 1);
  const auto ends = [&n](const char* t) {
    const size_t k = std::strlen(t);
    return n.size() >= k && n.compare(n.size() - k, k, t) == 0;
  };
  return n == "copyright" || n.rfind("README", 0) == 0 || n.rfind("changelog", 0) == 0 ||
         n.rfind("NEWS", 0) == 0 || ends(".txt") || ends(".pod") || ends(".txt.gz");
}

std::string make_prose(size_t want) {
  std::vector<std::string> files;
  for (const char* root : {"/usr/share/common-licenses", "/usr/share/doc", "/usr/share/perl"}) walk(root, &files);
  std::sort(files.begin(), files.end());
  std::unordered_set<std::string> seen;
  std::string text;
  for (const std::string& f : files) {
    if (!prose_name(f)) continue;
    const bool gz = f.size() > 3 && f.compare(f.size() - 3, 3, ".gz") == 0;
    const std::string body = gz ? read_gzip(f) : read_all(f);
    size_t at = 0;
    while (at < body.size()) {
      size_t end = body.find("\n\n", at);
      if (end == std::string::npos) end = body.size();
      const std::string para = body.substr(at, end - at);
      at = end + 2;
      if (para.empty() || !seen.insert(para).second) continue;
      text += para;
      text += "\n\n";
      if (text.size() >= want) return text.substr(0, want);
    }
  }
  return text;
}

std::string make_sgml(size_t want) {
  std::string doc = read_all("/usr/share/sgml/html/dtd/4.01/loose.dtd");
  if (doc.empty()) doc = read_all("/usr/share/sgml/html/dtd/html-3.dtd");
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

struct Measure {
  double seconds = 0;
  long peak_kb = 0;
  int status = -1;
};

// Runs f in a child process: its wall time and peak resident size.
Measure in_child_once(const std::function<int()>& f) {
  Measure m;
  const auto t0 = std::chrono::steady_clock::now();
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

// The best of three runs (the machine may be busy with other work).
Measure in_child(const std::function<int()>& f) {
  Measure best = in_child_once(f);
  for (int i = 1; i < 3; ++i) {
    const Measure m = in_child_once(f);
    if (m.seconds < best.seconds) best = m;
  }
  return best;
}

Measure run_divsufsort(const std::string& path) {
  return in_child([&path] {
    const std::string t = read_all(path);
    std::vector<saidx_t> sa(t.size() + 1);
    return divsufsort(reinterpret_cast<const sauchar_t*>(t.data()), sa.data(),
                      static_cast<saidx_t>(t.size())) == 0 ? 0 : 1;
  });
}

Measure run_vexabld(const std::string& program, const std::string& dir, const std::string& text,
                    const char* map, long long memory) {
  const std::string m = std::to_string(memory / 1024) + "k";
  return in_child([&] {
    if (chdir(dir.c_str()) != 0) return 2;
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
  const std::string prose = dir + "/prose.txt", sgml = dir + "/sgml.txt";
  // The texts are made in a child process, so that this one stays small
  // for the children it measures.
  in_child_once([&] {
    std::ofstream(prose, std::ios::binary) << (argc > 1 ? read_all(argv[1]) : make_prose(25u << 20));
    std::ofstream(sgml, std::ios::binary) << (argc > 2 ? read_all(argv[2]) : make_sgml(30u << 20));
    return 0;
  });
  std::printf("vexabld: %s\n", program.c_str());
  struct Corpus {
    const char* name;
    std::string path;
    const char* map;
    double aim;  // times libdivsufsort's throughput
  };
  for (const Corpus& c : {Corpus{"English prose", prose, "basic", 1.5}, Corpus{"repetitive SGML", sgml, "sgml", 1.0}}) {
    struct stat sb{};
    stat(c.path.c_str(), &sb);
    const double mb = static_cast<double>(sb.st_size) / 1048576.0;
    std::printf("%s: %.1f MB\n", c.name, mb);
    const Measure ds = run_divsufsort(c.path);
    line("libdivsufsort (full suffix array)", mb, ds, "");
    // One pass: the buffer holds the text, the point array a point per
    // two characters.
    const long long one = 409600 + 4 * static_cast<long long>(sb.st_size) + (4 << 20);
    const Measure v1 = run_vexabld(program, dir, c.path, c.map, one);
    char budget[64];
    std::snprintf(budget, sizeof budget, "%.1f MB", one / 1048576.0);
    line("vexabld, one pass", mb, v1, budget);
    std::printf("  (%d pass)\n", passes_run(dir));
    if (v1.status != 0) std::printf("  (vexabld exit status %d)\n", v1.status);
    std::printf("  throughput %.2fx libdivsufsort (aim %.1fx); peak minus budget %+.1f MB\n",
                ds.seconds / v1.seconds, c.aim, (v1.peak_kb * 1024.0 - static_cast<double>(one)) / 1048576.0);
    if (c.aim > 1.0) {
      const long long ten = 409600 + 2 * static_cast<long long>(sb.st_size / 11);
      const Measure v10 = run_vexabld(program, dir, c.path, c.map, ten);
      std::snprintf(budget, sizeof budget, "%.1f MB", ten / 1048576.0);
      line("vexabld, about ten passes", mb, v10, budget);
      std::printf("  (%d passes)\n", passes_run(dir));
      std::printf("  ten passes take %.2fx the one-pass time (aim 2.5x); peak minus budget %+.1f MB\n",
                  v10.seconds / v1.seconds, (v10.peak_kb * 1024.0 - static_cast<double>(ten)) / 1048576.0);
    }
  }
  const std::string command = "rm -rf '" + dir + "'";
  return std::system(command.c_str()) == 0 ? 0 : 1;
}
