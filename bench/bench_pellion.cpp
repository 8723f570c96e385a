// pellion end to end: generates an SGML text (HTML-like documents with
// nested lists and divisions and attributes quoted and not, with a "<"
// every 26 bytes or so: the density of the HTML, SGML and XML files that
// Debian installs under /usr/share/doc, sgml and xml), runs the real program on it and prints the throughput and the
// child's peak memory, for 50 MB and for 200 MB, so that the two peaks can
// be compared: memory must not grow with the text.
//
//   bench_pellion [PELLION] [MB...]
//
// With BENCH_PELLION_DIR set, the files are made and kept in that folder.
// PELLION defaults to ../pellion next to this program's folder.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

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

// Writes about mb megabytes of documents to path, in pieces.
bool generate(const std::string& path, size_t mb) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  Random r;
  std::string piece;
  size_t written = 0;
  for (int n = 0; written < mb << 20; ++n) {
    piece.clear();
    for (int k = 0; k < 50; ++k) document(piece, r, n * 50 + k);
    if (std::fwrite(piece.data(), 1, piece.size(), f) != piece.size()) break;
    written += piece.size();
  }
  return std::fclose(f) == 0 && written >= mb << 20;
}

const char* kTags =
    "<region><element>html</element><element>head</element><element>title</element>"
    "<element>body</element><element>div</element><element>h2</element><element>p</element>"
    "<element>em</element><element>b</element><element>a</element><element>ul</element>"
    "<element>li</element></region>\n"
    "<region><att>href</att><att>class</att><att>id</att><att>lang</att></region>\n"
    "<region><tag>img</tag><tag>br</tag><tag>a</tag></region>\n";

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
  if (sizes.empty()) sizes = {50, 200};

  // BENCH_PELLION_DIR keeps the files in that folder (for profiling).
  const char* keep = std::getenv("BENCH_PELLION_DIR");
  char pattern[] = "/tmp/bench_pellionXXXXXX";
  const char* dir = keep != nullptr ? keep : mkdtemp(pattern);
  if (dir == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  std::string d = dir;
  int status = 0;
  for (size_t mb : sizes) {
    if (!generate(d + "/text.sgm", mb) || !write_file(d + "/tags.txt", kTags) ||
        !write_file(d + "/db.dd",
                    "<DB>\n <Text>\n  <Files>\n   <File>\n    <SysName>text.sgm</SysName>\n"
                    "   </File>\n  </Files>\n </Text>\n</DB>\n")) {
      std::perror(d.c_str());
      status = 1;
      break;
    }
    std::remove((d + "/db.rgn").c_str());
    struct stat st;
    stat((d + "/text.sgm").c_str(), &st);
    auto start = std::chrono::steady_clock::now();
    pid_t child = fork();
    if (child == 0) {
      if (chdir(d.c_str()) != 0) _exit(127);
      execl(pellion.c_str(), pellion.c_str(), "db.dd", "tags.txt", static_cast<char*>(nullptr));
      _exit(127);
    }
    int wstatus = 0;
    struct rusage usage {};
    wait4(child, &wstatus, 0, &usage);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    struct stat rst {};
    stat((d + "/db.rgn").c_str(), &rst);
    double megabytes = static_cast<double>(st.st_size) / 1e6;
    std::printf("%6.1f MB text: %.2f s, %.1f MB/s, peak memory %.1f MB, %lld region pairs%s\n",
                megabytes, seconds, megabytes / seconds, usage.ru_maxrss / 1024.0,
                static_cast<long long>((rst.st_size - 512) / 8),
                WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 0 ? "" : "  (pellion failed)");
    if (!WIFEXITED(wstatus) || WEXITSTATUS(wstatus) != 0) status = 1;
  }
  if (keep == nullptr) std::system(("rm -rf '" + d + "'").c_str());
  return status;
}
