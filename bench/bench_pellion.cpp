// pellion end to end, beside a region-query tool (sgrep) counting the same
// element regions of the same text, as a user runs them: each command in
// its own child process, whole process from start to exit, five alternating
// rounds, the median time and the largest peak resident size of each, and
// the ratio. The text is one real document's body repeated verbatim (the
// largest HTML file of 8 to 64 KB under /usr/share/doc; without one,
// generated HTML-like documents), for the 20 element names most frequent in
// it; it is measured at 30 MB and at 100 MB, so that the two peaks of
// pellion can be compared: memory must not grow with the text.
//
//   bench_pellion [PELLION] [MB...]
//
// With BENCH_PELLION_DIR set, the files are made and kept in that folder.
// PELLION defaults to ../pellion next to this program's folder; sgrep is
// looked for on the PATH (without it only pellion is measured).
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cctype>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "bench_support.h"

namespace {

using bench::Measure;
using bench::median;
using bench::run;

struct Random {
  uint64_t x = 88172645463325252ull;
  uint32_t next(uint32_t n) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    return static_cast<uint32_t>(x % n);
  }
};

const char* const kWords[] = {"region", "text",  "scan",  "offset", "the",   "of",
                              "and",    "tag",   "value", "index",  "file",  "a",
                              "report", "north", "south", "quarter", "level", "data"};

void words(std::string& out, Random& r, int n) {
  for (int i = 0; i < n; ++i) {
    out += kWords[r.next(sizeof kWords / sizeof kWords[0])];
    out += ' ';
  }
}

void paragraph(std::string& out, Random& r, int id) {
  out += r.next(3) == 0 ? "<p class=\"lead\" id=p" + std::to_string(id) + ">" : "<p>";
  int runs = 2 + static_cast<int>(r.next(4));
  for (int k = 0; k < runs; ++k) {
    words(out, r, 5 + static_cast<int>(r.next(7)));
    switch (r.next(6)) {
      case 0: out += "<em>"; words(out, r, 2); out += "</em> "; break;
      case 1: out += "<a href=\"doc" + std::to_string(r.next(1000)) + ".html\">"; words(out, r, 2);
              out += "</a> "; break;
      case 2: out += "<img src=pic.png alt=\"x\"> "; break;
      case 3: out += "<b>"; words(out, r, 1); out += "</b> "; break;
      case 4: out += "<br>\n"; break;
      default: break;
    }
  }
  out += "</p>\n";
}

void list(std::string& out, Random& r, int depth) {
  out += "<ul>\n";
  int items = 2 + static_cast<int>(r.next(4));
  for (int i = 0; i < items; ++i) {
    out += "<li>";
    words(out, r, 6 + static_cast<int>(r.next(6)));
    if (depth < 3 && r.next(4) == 0) list(out, r, depth + 1);
    out += "</li>\n";
  }
  out += "</ul>\n";
}

void document(std::string& out, Random& r, int n) {
  out += "<html lang=en><head><title>Document " + std::to_string(n) +
         "</title></head>\n<body>\n<div class=\"main\">\n";
  int parts = 3 + static_cast<int>(r.next(5));
  for (int i = 0; i < parts; ++i) {
    out += "<div class=section id=\"s" + std::to_string(i) + "\"><h2>";
    words(out, r, 3);
    out += "</h2>\n";
    for (int k = 0; k < 3; ++k) paragraph(out, r, n * 100 + i * 10 + k);
    if (r.next(2) == 0) list(out, r, 0);
    out += "</div>\n";
  }
  out += "</div>\n</body></html>\n";
}

bool write_file(const std::string& path, const std::string& text) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && ok;
}

// Writes about mb megabytes to path: the body repeated, or generated
// documents when body is empty.
bool generate(const std::string& path, size_t mb, const std::string& body) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  Random r;
  std::string piece;
  size_t written = 0;
  for (int n = 0; written < mb << 20; ++n) {
    piece.clear();
    if (!body.empty()) {
      piece = body;
    } else {
      for (int k = 0; k < 50; ++k) document(piece, r, n * 50 + k);
    }
    if (std::fwrite(piece.data(), 1, piece.size(), f) != piece.size()) break;
    written += piece.size();
  }
  return std::fclose(f) == 0 && written >= mb << 20;
}

// The 20 element names most frequent in text (start tags of letters and
// digits), most frequent first.
std::vector<std::string> frequent_names(const std::string& text) {
  std::map<std::string, size_t> count;
  for (size_t at = text.find('<'); at != std::string::npos; at = text.find('<', at + 1)) {
    size_t end = at + 1;
    while (end < text.size() && std::isalnum(static_cast<unsigned char>(text[end]))) ++end;
    if (end > at + 1) ++count[text.substr(at + 1, end - at - 1)];
  }
  std::vector<std::pair<size_t, std::string>> order;
  for (const auto& [name, n] : count) order.push_back({n, name});
  std::sort(order.begin(), order.end(), [](const auto& x, const auto& y) {
    return x.first != y.first ? x.first > y.first : x.second < y.second;
  });
  std::vector<std::string> names;
  for (size_t i = 0; i < order.size() && names.size() < 20; ++i) names.push_back(order[i].second);
  return names;
}

}  // namespace

int main(int argc, char** argv) {
  std::string self = argv[0];
  std::string folder = self.find('/') == std::string::npos ? "." : self.substr(0, self.rfind('/'));
  std::string pellion = argc > 1 ? argv[1] : folder + "/../pellion";
  if (pellion[0] != '/') {
    std::vector<char> cwd(4096);
    if (getcwd(cwd.data(), cwd.size()) != nullptr) pellion = std::string(cwd.data()) + "/" + pellion;
  }
  std::vector<size_t> sizes;
  for (int i = 2; i < argc; ++i) sizes.push_back(std::strtoul(argv[i], nullptr, 10));
  if (sizes.empty()) sizes = {30, 100};

  // BENCH_PELLION_DIR keeps the files in that folder (for profiling).
  const char* keep = std::getenv("BENCH_PELLION_DIR");
  const std::string d = keep != nullptr ? std::string(keep) : bench::scratch_dir("bench_pellion");
  std::string body = bench::real_document();
  if (body.size() < 8192) body.clear();
  std::string sample = body;
  if (sample.empty()) {
    Random r;
    for (int k = 0; k < 50; ++k) document(sample, r, k);
  }
  const std::vector<std::string> names = frequent_names(sample);
  std::string tags, expression;
  for (const std::string& n : names) {
    tags += n + "\n";
    expression += std::string(expression.empty() ? "" : " or ") + "(\"<" + n + "\" .. \"</" + n + ">\")";
  }
  const bool have_sgrep = std::system("command -v sgrep >/dev/null 2>&1") == 0;
  const std::string dd =
      "<DB>\n <Text>\n  <Files>\n   <File>\n    <SysName>text.sgm</SysName>\n"
      "   </File>\n  </Files>\n </Text>\n</DB>\n";
  std::printf("pellion: %s\ntext: %s, %zu element names\n", pellion.c_str(),
              body.empty() ? "generated documents" : "one real document's body repeated", names.size());
  int status = 0;
  for (size_t mb : sizes) {
    if (!generate(d + "/text.sgm", mb, body) || !write_file(d + "/tags.txt", tags) ||
        !write_file(d + "/query.sgrep", expression)) {
      std::perror(d.c_str());
      status = 1;
      break;
    }
    struct stat st;
    stat((d + "/text.sgm").c_str(), &st);
    std::vector<Measure> ours, theirs;
    for (int round = 0; round < 5; ++round) {
      std::remove((d + "/db.rgn").c_str());
      if (!write_file(d + "/db.dd", dd)) status = 1;
      ours.push_back(run(d, {pellion, "db.dd", "tags.txt"}, "/dev/null", "pellion.err"));
      if (have_sgrep)
        theirs.push_back(
            run(d, {"sgrep", "-c", "-f", "query.sgrep", "text.sgm"}, "sgrep.out", "sgrep.err"));
    }
    const Measure p = median(ours);
    struct stat rst {};
    stat((d + "/db.rgn").c_str(), &rst);
    const double megabytes = static_cast<double>(st.st_size) / 1e6;
    std::printf("%6.1f MB text:\n  pellion %.2f s, %.1f MB/s, peak memory %.1f MB, %lld region pairs%s\n",
                megabytes, p.seconds, megabytes / p.seconds, p.peak_kb / 1024.0,
                static_cast<long long>((rst.st_size - 512) / 8), p.status == 0 ? "" : "  (pellion failed)");
    if (p.status != 0) status = 1;
    if (have_sgrep) {
      const Measure g = median(theirs);
      std::string count = bench::read_all(d + "/sgrep.out");
      while (!count.empty() && count.back() == '\n') count.pop_back();
      std::printf("  sgrep   %.2f s, %.1f MB/s, peak memory %.1f MB, %s regions%s\n", g.seconds,
                  megabytes / g.seconds, g.peak_kb / 1024.0, count.c_str(),
                  g.status == 0 ? "" : "  (sgrep failed)");
      std::printf("  pellion is %.2fx as fast as sgrep (aim 2.0x)\n", g.seconds / p.seconds);
    }
  }
  if (keep == nullptr) std::system(("rm -rf '" + d + "'").c_str());
  return status;
}
