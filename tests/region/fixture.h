// Helpers of the region tests: a scratch directory per test (the shared
// helpers: start_io, read_file, write_file), region files
// built from the file layout (a 512-byte header of 32-bit words, then each
// region's values at 512 + offset), and data dictionaries in the writer's
// canonical layout built from a list of regions.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "io/vqio.h"
#include "support/scratch.h"

namespace region_test {

// Little-endian 32-bit word (the test machine's order, as the writer's).
inline std::string word(uint32_t w) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((w >> (8 * i)) & 0xff);
  return s;
}

// The header a region program writes: type 1, byte-order mark, major 1,
// minor 0, extra 0, version 50300, reserved 0, sentinel, zeros.
inline std::string region_header() {
  std::string h = word(1) + word(0x01020304) + word(1) + word(0) + word(0) + word(50300) +
                  word(0) + word(0x0A0D0A00);
  h.resize(512, '\0');
  return h;
}

// The values of a region: value k of region tag is tag * 1000 + k, so every
// word of a file says which region it belongs to and where in it.
inline std::string region_values(uint32_t tag, long count, long first = 0) {
  std::string s;
  for (long k = first; k < first + count; ++k) s += word(tag * 1000 + static_cast<uint32_t>(k));
  return s;
}

// One region of a fixture: its entry and the tag of its values.
struct Spec {
  std::string name;
  std::string desc;  // empty: no Desc
  std::string file;
  uint32_t offset;
  long count;
  std::string type = "pairs";
  std::string mod_date = "100";
};

// A data dictionary in the writer's layout with one text and the regions in
// the order given.
inline std::string dd_text(const std::vector<Spec>& regions) {
  std::string s =
      "<DB>\n\n <Text>\n  <Name>T</Name>\n  <Files>\n   <File>\n    <SysName>t.txt</SysName>\n"
      "    <ModDate>100</ModDate>\n    <Offset>0</Offset>\n   </File>\n  </Files>\n </Text>\n";
  if (!regions.empty()) {
    s += "\n <Regions>\n";
    for (const Spec& r : regions) {
      s += "\n  <Region>\n   <Name>" + r.name + "</Name>\n";
      if (!r.desc.empty()) s += "   <Desc>" + r.desc + "</Desc>\n";
      s += "   <File>\n    <SysName>" + r.file + "</SysName>\n    <ModDate>" + r.mod_date +
           "</ModDate>\n    <Offset>" + std::to_string(r.offset) + "</Offset>\n   </File>\n" +
           "   <Count>" + std::to_string(r.count) + "</Count>\n   <Type>" + r.type +
           "</Type>\n  </Region>\n";
    }
    s += " </Regions>\n";
  }
  return s + "</DB>\n";
}

// The modification time of a file as the data dictionary records it.
inline std::string mtime_text(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return "4294967295";
  return std::to_string(static_cast<uint32_t>(st.st_mtime));
}

// A scratch directory per test (with the I/O layer started).
using Scratch = ScratchDir;

}  // namespace region_test
