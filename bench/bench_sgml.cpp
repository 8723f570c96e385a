// The SGML parser on large documents: sgml_driver check (the whole parse,
// every event pulled, nothing printed) on documents of about 30 MB and
// 60 MB made from the LinuxDoc example document (its sections repeated
// inside the one article, label and ref ids made unique per copy), with
// the raising declaration in front, the DTD, an entity file for the ISO
// entity sets beside them; and "LC_ALL=C wc -w" on the 30 MB document in
// the same run. Prints the rate of each, the ratio, the peak memory of
// the parse for both sizes and the CPU model. Each command runs three
// times in a child process; the median time and the largest peak count.
//
//   bench_sgml [SGML_DRIVER]
//
// SGML_DRIVER defaults to ../sgml_driver next to this program's folder.
// The fixtures are looked for under BENCH_SGML_FIXTURES, else under
// tests/fixtures/sgml of the source tree three folders above this program.
// With BENCH_SGML_DIR set, the files are made and kept in that folder.
// Aims: at least 60 MB/s, at least 0.3 times wc's rate, the peak for 60 MB
// within 2 MB of the peak for 30 MB.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_support.h"

namespace {

using bench::Measure;

// Runs argv in folder dir with standard output and error sent to the
// files out and err (in dir).
Measure spawn(const std::string& dir, const std::vector<std::string>& argv, const char* out,
              const char* err, bool c_locale) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::fflush(stdout);
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(127);
    const int o = open(out, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int e = open(err, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (o < 0 || e < 0 || dup2(o, 1) < 0 || dup2(e, 2) < 0) _exit(127);
    if (c_locale) setenv("LC_ALL", "C", 1);
    execvp(args[0], args.data());
    _exit(127);
  }
  Measure m;
  int wstatus = 0;
  struct rusage usage {};
  if (pid > 0) wait4(pid, &wstatus, 0, &usage);
  m.seconds = bench::seconds_since(start);
  m.peak_kb = usage.ru_maxrss;
  m.status = pid > 0 && WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  return m;
}

bool save(const std::string& path, const std::string& text) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && ok;
}

// Parameter entities for the ISO entity sets that the DTD's "isoent" file
// names, from the installed sets.
std::string isoent() {
  static const char* const kSets[] = {"ISOdia", "ISOgrk3", "ISOlat1", "ISOlat2", "ISOnum", "ISOpub",
                                      "ISOtech", "ISOgrk1", "ISOamsa", "ISOamsb", "ISOamsc",
                                      "ISOamsn", "ISOamso", "ISOamsr", "ISObox", "ISOcyr1",
                                      "ISOcyr2", "ISOgrk2", "ISOgrk4"};
  const std::string dir = "/usr/share/sgml/entities/sgml-iso-entities-8879.1986/";
  std::string out;
  for (const char* s : kSets) {
    struct stat sb {};
    if (stat((dir + s + ".ent").c_str(), &sb) != 0) continue;
    out += std::string("<!ENTITY % ") + s + " SYSTEM \"" + dir + s + ".ent\">\n%" + s + ";\n";
  }
  return out;
}

std::string absolute(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  std::vector<char> cwd(PATH_MAX);
  return getcwd(cwd.data(), cwd.size()) != nullptr ? std::string(cwd.data()) + "/" + path : path;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string self = argv[0];
  const std::string folder = absolute(self.find('/') == std::string::npos ? "." : self.substr(0, self.rfind('/')));
  const std::string driver = absolute(argc > 1 ? argv[1] : folder + "/../sgml_driver");
  const char* fixtures_env = std::getenv("BENCH_SGML_FIXTURES");
  const std::string fixtures =
      fixtures_env != nullptr ? fixtures_env : folder + "/../../../tests/fixtures/sgml";
  const std::string example = bench::read_all(fixtures + "/linuxdoc/example.sgml");
  const std::string dtd = bench::read_all(fixtures + "/linuxdoc/linuxdoc96.dtd");
  const std::string declaration = bench::read_all(fixtures + "/raising.dcl");
  if (example.empty() || dtd.empty() || declaration.empty()) {
    std::fprintf(stderr, "bench_sgml: fixtures not found under %s\n", fixtures.c_str());
    return 2;
  }
  const char* keep = std::getenv("BENCH_SGML_DIR");
  const std::string d = keep != nullptr ? std::string(keep) : bench::scratch_dir("bench_sgml");
  if (!save(d + "/linuxdoc.dtd", dtd) || !save(d + "/isoent", isoent())) {
    std::perror(d.c_str());
    return 1;
  }
  std::printf("sgml_driver: %s\nCPU: %s\n", driver.c_str(), bench::cpu_model().c_str());
  int status = 0;
  long peaks[2] = {0, 0};
  double rate30 = 0;
  const size_t sizes[2] = {30, 60};
  for (int s = 0; s < 2; ++s) {
    const std::string name = "doc" + std::to_string(sizes[s]) + ".sgml";
    if (!bench::linuxdoc_document(d + "/" + name, sizes[s], declaration, example)) {
      std::perror(name.c_str());
      return 1;
    }
    struct stat st {};
    stat((d + "/" + name).c_str(), &st);
    const double megabytes = static_cast<double>(st.st_size) / 1e6;
    std::vector<Measure> runs;
    for (int round = 0; round < 3; ++round)
      runs.push_back(spawn(d, {driver, "check", name}, "check.out", "check.err", false));
    const Measure m = bench::median(runs);
    peaks[s] = m.peak_kb;
    struct stat est {};
    stat((d + "/check.err").c_str(), &est);
    std::printf("%6.1f MB document: check %.2f s, %.1f MB/s, peak memory %.1f MB%s%s\n", megabytes,
                m.seconds, megabytes / m.seconds, m.peak_kb / 1024.0,
                m.status == 0 ? "" : "  (status not 0)", est.st_size == 0 ? "" : "  (messages)");
    if (m.status != 0 || est.st_size != 0) status = 1;
    if (s == 0) {
      rate30 = megabytes / m.seconds;
      std::vector<Measure> wc;
      for (int round = 0; round < 3; ++round)
        wc.push_back(spawn(d, {"wc", "-w", name}, "wc.out", "wc.err", true));
      const Measure w = bench::median(wc);
      const double wc_rate = megabytes / w.seconds;
      std::printf("        wc -w %.2f s, %.1f MB/s; the parse runs at %.2f times wc's rate (aim 0.3)\n",
                  w.seconds, wc_rate, rate30 / wc_rate);
    }
  }
  std::printf("peak memory: 60 MB %.1f MB, 30 MB %.1f MB, difference %.1f MB (aim within 2 MB)\n",
              peaks[1] / 1024.0, peaks[0] / 1024.0, (peaks[1] - peaks[0]) / 1024.0);
  std::printf("rate %.1f MB/s (aim 60)\n", rate30);
  if (keep == nullptr) std::system(("rm -rf '" + d + "'").c_str());
  return status;
}
