// mutate, cuts: bad input for the whole parse. Each copy of a document is
// parsed to its end (the events pulled, nothing printed) in a child process
// of its own, with a time limit; a child that does not end normally with
// status 0 or 1 is reported.
//
//   sgml_driver [options] mutate N SEED FILE...
//       N mutated copies, the files in turn: each copy has one to three
//       changes (a byte replaced, a markup run from "<" to ">" doubled or
//       dropped), drawn from SEED.
//   sgml_driver [options] cuts STEP FILE...
//       every file cut after 0, STEP, 2 STEP ... bytes.
//
// Prints one line per failing copy ("FAILED ...") and a summary line
// "N runs, F failed". Exit status 1 when a copy failed.
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "io/vqio.h"
#include "sgml/message.h"
#include "tools/driver.h"
#include "tools/pull_run.h"

namespace {

struct Random {
  uint64_t x;
  explicit Random(uint64_t seed) : x(seed * 2654435761u + 88172645463325252ull) {}
  uint32_t next(uint32_t n) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    return n == 0 ? 0 : static_cast<uint32_t>(x % n);
  }
};

std::string read_file(const char* path) {
  std::string out;
  FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return out;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  std::fclose(f);
  return out;
}

bool write_file(const std::string& path, const std::string& text) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && ok;
}

void mutate(std::string* text, Random& r) {
  static const char kBytes[] = "<>/&;#[]!-\"'= \n\tx%?";
  const int changes = 1 + static_cast<int>(r.next(3));
  for (int c = 0; c < changes && !text->empty(); ++c) {
    const size_t at = r.next(static_cast<uint32_t>(text->size()));
    switch (r.next(3)) {
      case 0:
        (*text)[at] = r.next(4) == 0 ? static_cast<char>(r.next(256))
                                     : kBytes[r.next(sizeof kBytes - 1)];
        break;
      default: {
        const size_t lt = text->find('<', at);
        if (lt == std::string::npos) break;
        const size_t gt = text->find('>', lt);
        if (gt == std::string::npos) break;
        const std::string run = text->substr(lt, gt - lt + 1);
        if (r.next(2) == 0)
          text->insert(gt + 1, run);
        else
          text->erase(lt, gt - lt + 1);
        break;
      }
    }
  }
}

// Parses path in a child; true when it ended with status 0 or 1.
bool parse_in_child(const std::string& path, std::string* why) {
  vqio_fflush(vqio_stdout);
  vqio_fflush(vqio_stderr);
  const pid_t pid = fork();
  if (pid < 0) {
    *why = "fork failed";
    return false;
  }
  if (pid == 0) {
    alarm(20);
    std::string list = path;
    list += '\0';
    list += '\0';
    const int status = pull_document(list, false);
    vqio_fflush(vqio_stdout);
    vqio_fflush(vqio_stderr);
    _exit(status != 0 || error_count() > 0 ? 1 : 0);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) <= 1) return true;
  *why = WIFSIGNALED(status) ? "signal " + std::to_string(WTERMSIG(status))
                             : "status " + std::to_string(WEXITSTATUS(status));
  return false;
}

int report(int runs, int failed) {
  vqio_fprintf(vqio_stdout, "%d runs, %d failed\n", runs, failed);
  return failed > 0 ? 1 : 0;
}

int run_mutate(int argc, char** argv) {
  if (argc < 4) {
    vqio_fprintf(vqio_stderr, "Usage: sgml_driver mutate N SEED FILE...\n");
    return 2;
  }
  const int n = std::atoi(argv[1]);
  Random r(static_cast<uint64_t>(std::strtoull(argv[2], nullptr, 10)));
  std::vector<std::string> texts;
  for (int i = 3; i < argc; ++i) texts.push_back(read_file(argv[i]));
  int failed = 0;
  for (int k = 0; k < n; ++k) {
    std::string copy = texts[static_cast<size_t>(k) % texts.size()];
    mutate(&copy, r);
    const std::string path = "mutant." + std::to_string(k % texts.size()) + ".sgml";
    if (!write_file(path, copy)) return 2;
    std::string why;
    if (!parse_in_child(path, &why)) {
      ++failed;
      const std::string keep = "failed." + std::to_string(k) + ".sgml";
      write_file(keep, copy);
      vqio_fprintf(vqio_stdout, "FAILED copy %d of %s: %s (kept as %s)\n", k,
                   argv[3 + k % static_cast<int>(texts.size())], why.c_str(), keep.c_str());
    }
  }
  return report(n, failed);
}

int run_cuts(int argc, char** argv) {
  if (argc < 3) {
    vqio_fprintf(vqio_stderr, "Usage: sgml_driver cuts STEP FILE...\n");
    return 2;
  }
  const size_t step = static_cast<size_t>(std::atoi(argv[1]));
  if (step == 0) return 2;
  int runs = 0, failed = 0;
  for (int i = 2; i < argc; ++i) {
    const std::string text = read_file(argv[i]);
    for (size_t at = 0; at < text.size(); at += step) {
      if (!write_file("cut.sgml", text.substr(0, at))) return 2;
      std::string why;
      ++runs;
      if (!parse_in_child("cut.sgml", &why)) {
        ++failed;
        vqio_fprintf(vqio_stdout, "FAILED %s cut at %zu: %s\n", argv[i], at, why.c_str());
      }
    }
  }
  return report(runs, failed);
}

}  // namespace

SGML_DRIVER_COMMAND("mutate", run_mutate, "mutate N SEED FILE...");
SGML_DRIVER_COMMAND("cuts", run_cuts, "cuts STEP FILE...");
