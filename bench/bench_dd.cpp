// Reads and writes a data dictionary of about 10 MB (one text file and some
// 40000 regions, with comments between them), then merges one region entry
// into it, and prints the times. The files are made in a temporary
// directory (TMPDIR or /tmp) and removed at the end.
//   bench_dd [megabytes]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "dd/dd.h"
#include "io/vqio.h"

namespace {

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A data dictionary in the writer's layout of at least bytes bytes.
std::string make_dictionary(size_t bytes) {
  std::string dd =
      "# benchmark data dictionary\n<DB>\n\n <Text>\n  <Name>bench</Name>\n  <Files>\n"
      "   <File>\n    <SysName>/data/bench.txt</SysName>\n    <ModDate>1700000000</ModDate>\n"
      "    <Offset>0</Offset>\n   </File>\n  </Files>\n </Text>\n\n <Regions>";
  for (long i = 0; dd.size() < bytes; ++i) {
    const std::string n = std::to_string(i);
    if (i % 100 == 0) dd += "\n# regions from " + n;
    dd += "\n\n  <Region>\n   <Name>region" + n + "</Name>\n   <Desc>region number " + n +
          "</Desc>\n   <File>\n    <SysName>/data/bench.rgn</SysName>\n"
          "    <ModDate>1700000000</ModDate>\n    <Offset>" + std::to_string(512 + 8 * i) +
          "</Offset>\n   </File>\n   <Count>" + std::to_string(i % 977) +
          "</Count>\n   <Type>pairs</Type>\n  </Region>";
  }
  dd += "\n </Regions>\n</DB>\n";
  return dd;
}

}  // namespace

int main(int argc, char** argv) {
  vqio_start(argc, argv, "VQ_IOMAP");
  const size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 10;
  const char* tmp = std::getenv("TMPDIR");
  const std::filesystem::path dir =
      std::filesystem::path(tmp && *tmp ? tmp : "/tmp") / ("bench_dd." + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string in = (dir / "bench.dd").string();
  const std::string out = (dir / "written.dd").string();
  const std::string text = make_dictionary(megabytes << 20);
  std::ofstream(in, std::ios::binary) << text;

  auto start = std::chrono::steady_clock::now();
  MadNode* root = addpadd(in.c_str());
  const double read_seconds = seconds_since(start);
  if (!root) return 1;

  start = std::chrono::steady_clock::now();
  const int status = addutwrdd(out.c_str(), root);
  const double write_seconds = seconds_since(start);

  start = std::chrono::steady_clock::now();
  addmdmr(root, "region-new", {{DD_Name, "region-new"}, {DD_Count, 1L}, {DD_Type, "pairs"}});
  const double merge_seconds = seconds_since(start);

  start = std::chrono::steady_clock::now();
  MadNode* regions_only = addpadd(in.c_str(), {DD_Regions});
  const double selective_seconds = seconds_since(start);

  std::ifstream written(out, std::ios::binary);
  const std::string back((std::istreambuf_iterator<char>(written)), std::istreambuf_iterator<char>());
  std::printf("data dictionary: %.1f MB\n", static_cast<double>(text.size()) / (1 << 20));
  std::printf("read (full):      %.3f s\n", read_seconds);
  std::printf("read (Regions):   %.3f s\n", selective_seconds);
  std::printf("write:            %.3f s (status %d, %s)\n", write_seconds, status,
              back == text ? "identical bytes" : "BYTES DIFFER");
  std::printf("one region merge: %.4f s\n", merge_seconds);
  madmtfr(root);
  madmtfr(regions_only);
  std::filesystem::remove_all(dir);
  return back == text ? 0 : 1;
}
