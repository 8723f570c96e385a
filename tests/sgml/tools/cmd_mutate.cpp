// mutate, cuts: bad input for the whole parse. Each copy of a document is
// parsed to its end (the events pulled, nothing printed) in a child process
// of its own, with a time limit, four children at a time; a child that
// does not end normally with status 0 or 1 is reported.
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
#include "sgml/messages/message.h"
#include "sgml/parser_state.h"
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

// Copies are parsed by up to kChildren children at a time, each in a file
// of its own slot.
constexpr int kChildren = 4;

struct Child {
  pid_t pid = 0;
  std::string label;  // what a failure report names
  std::string text;   // the copy, kept when it fails (mutate only)
};

struct Pool {
  Child slots[kChildren];
  int runs = 0;
  int failed = 0;
  bool keep = false;  // failing copies are written to failed.N.sgml

  // The file a copy for this slot is written to.
  static std::string path(int slot) { return "copy." + std::to_string(slot) + ".sgml"; }

  // A free slot, after waiting for a child when all are busy.
  int free_slot() {
    for (int i = 0; i < kChildren; ++i)
      if (slots[i].pid == 0) return i;
    reap_one();
    return free_slot();
  }

  // Waits for any child and reports it unless it ended with status 0 or 1.
  void reap_one() {
    int status = 0;
    pid_t pid;
    while ((pid = wait(&status)) < 0) {
    }
    for (Child& c : slots) {
      if (c.pid != pid) continue;
      c.pid = 0;
      if (WIFEXITED(status) && WEXITSTATUS(status) <= 1) return;
      ++failed;
      const std::string why = WIFSIGNALED(status) ? "signal " + std::to_string(WTERMSIG(status))
                                                  : "status " + std::to_string(WEXITSTATUS(status));
      std::string kept;
      if (keep) {
        kept = "failed." + std::to_string(failed) + ".sgml";
        write_file(kept, c.text);
        kept = " (kept as " + kept + ")";
      }
      vqio_fprintf(vqio_stdout, "FAILED %s: %s%s\n", c.label.c_str(), why.c_str(), kept.c_str());
      return;
    }
  }

  // Parses text in a child: the events pulled, nothing printed, with a
  // time limit. false when the copy could not be written or no child
  // started.
  bool run(const std::string& text, const std::string& label) {
    const int slot = free_slot();
    const std::string file = path(slot);
    if (!write_file(file, text)) return false;
    vqio_fflush(vqio_stdout);
    vqio_fflush(vqio_stderr);
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
      alarm(20);
      std::string list = file;
      list += '\0';
      list += '\0';
      const int status = pull_document(list, false);
      vqio_fflush(vqio_stdout);
      vqio_fflush(vqio_stderr);
      _exit(status != 0 || error_count() > 0 ? 1 : 0);
    }
    ++runs;
    slots[slot].pid = pid;
    slots[slot].label = label;
    if (keep) slots[slot].text = text;
    return true;
  }

  int finish() {
    while (busy()) reap_one();
    vqio_fprintf(vqio_stdout, "%d runs, %d failed\n", runs, failed);
    return failed > 0 ? 1 : 0;
  }

  bool busy() const {
    for (const Child& c : slots)
      if (c.pid != 0) return true;
    return false;
  }
};

int run_mutate(int argc, char** argv) {
  if (argc < 4) {
    vqio_fprintf(vqio_stderr, "Usage: sgml_driver mutate N SEED FILE...\n");
    return 2;
  }
  const int n = std::atoi(argv[1]);
  Random r(static_cast<uint64_t>(std::strtoull(argv[2], nullptr, 10)));
  std::vector<std::string> texts;
  for (int i = 3; i < argc; ++i) texts.push_back(read_file(argv[i]));
  Pool pool;
  pool.keep = true;
  for (int k = 0; k < n; ++k) {
    const size_t which = static_cast<size_t>(k) % texts.size();
    std::string copy = texts[which];
    mutate(&copy, r);
    if (!pool.run(copy, "copy " + std::to_string(k) + " of " + argv[3 + which])) return 2;
  }
  return pool.finish();
}

int run_cuts(int argc, char** argv) {
  if (argc < 3) {
    vqio_fprintf(vqio_stderr, "Usage: sgml_driver cuts STEP FILE...\n");
    return 2;
  }
  const size_t step = static_cast<size_t>(std::atoi(argv[1]));
  if (step == 0) return 2;
  Pool pool;
  for (int i = 2; i < argc; ++i) {
    const std::string text = read_file(argv[i]);
    for (size_t at = 0; at < text.size(); at += step) {
      if (!pool.run(text.substr(0, at), std::string(argv[i]) + " cut at " + std::to_string(at)))
        return 2;
    }
  }
  return pool.finish();
}

}  // namespace

SGML_DRIVER_COMMAND("mutate", run_mutate, "mutate N SEED FILE...");
SGML_DRIVER_COMMAND("cuts", run_cuts, "cuts STEP FILE...");
