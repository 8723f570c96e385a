// Helpers of the pellion tests: the I/O layer, a scratch folder, files
// from strings, tag name lists from a name file text, and the tag position
// records of a scan read back.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/recorded_reports.h"
#include "tagregion/tagregion.h"

namespace pt {

inline void start_io() {
  static bool started = false;
  static char name[] = "test_tagregion";
  static char* argv[] = {name, nullptr};
  if (!started) vqio_start(1, argv, "VQ_IOMAP");
  started = true;
}

// A fresh folder under TMPDIR, removed with its files.
struct Scratch {
  std::string dir;
  Scratch() {
    start_io();
    std::string pattern = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") +
                          "/pellion_test.XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    dir = mkdtemp(buf.data());
  }
  ~Scratch() { std::system(("rm -rf '" + dir + "'").c_str()); }
  std::string path(const std::string& name) const { return dir + "/" + name; }
  std::string write(const std::string& name, const std::string& text) const {
    std::ofstream(path(name), std::ios::binary) << text;
    return path(name);
  }
};

inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Reads a name file text into lists (must parse).
inline TagNameLists lists_from(const Scratch& s, const std::string& text) {
  TagNameLists lists;
  std::string path = s.write("names.txt", text);
  VqStream* in = vqio_fopen(path.c_str(), "r");
  EXPECT_NE(in, nullptr);
  EXPECT_EQ(region_read_tagnames(path.c_str(), in, TAG_READ_LIMIT, &lists.elements,
                                 &lists.attributes, &lists.tags),
            1);
  vqio_fclose(in);
  return lists;
}

// A small deterministic generator for the random texts.
struct Random {
  uint32_t x;
  uint32_t next(uint32_t n) {
    x = x * 1103515245u + 12345u;
    return (x >> 8) % n;
  }
  char pick(const char* set) { return set[next(static_cast<uint32_t>(std::strlen(set)))]; }
};

using Record = std::pair<int, uint32_t>;  // slot, position

inline std::vector<Record> decode_records(const std::string& bytes) {
  std::vector<Record> out;
  for (size_t i = 0; i + 5 <= bytes.size(); i += 5) {
    uint32_t p = 0;
    for (int k = 0; k < 4; ++k)
      p |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1 + k])) << (8 * k);
    out.push_back({static_cast<unsigned char>(bytes[i]), p});
  }
  return out;
}

// Scans a plain text for the names and returns the records written.
inline std::vector<Record> scan_plain(const Scratch& s, const std::string& text,
                                      const TagNameLists& lists, int trace = 0) {
  std::string text_path = s.write("text.sgm", text);
  std::string out_path = s.path("tagint");
  VqStream* out = vqio_fopen(out_path.c_str(), "w");
  FileInfo info{};
  info.sys_name = const_cast<char*>(text_path.c_str());
  info.major = info.minor = -1;
  EXPECT_EQ(md_find("names.txt", &lists, &info, 1, "db.dd", trace, out), 0);
  vqio_fclose(out);
  return decode_records(read_file(out_path));
}

// Pairs of one slot, in record order.
inline std::vector<std::pair<uint32_t, uint32_t>> pairs_of(const std::vector<Record>& records,
                                                           int slot) {
  std::vector<uint32_t> values;
  for (const Record& r : records)
    if (r.first == slot) values.push_back(r.second);
  std::vector<std::pair<uint32_t, uint32_t>> out;
  for (size_t i = 0; i + 1 < values.size(); i += 2) out.push_back({values[i], values[i + 1]});
  return out;
}

}  // namespace pt
