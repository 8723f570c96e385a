// The region finder's options record: the mode and the names the modes
// use. The front end allocates one ModeOptions for the whole run and points
// mode_options at it before the parser is set up; the record is never freed
// before the process ends. What the parser itself reads (the start
// position, end limit, document name, entity echo, filter input) the front
// end hands to it in the parser's own record (sgml_options(),
// sgml/options.h).
#pragma once

#include <cstdint>
#include <string>

struct ModeOptions {
  int32_t mode = 0;   // 1 to 16 (finder.h)
  int32_t meta = 0;   // meta processing (-M or -G)
  std::string output_name;    // -o: names the region files
  std::string dd_name;        // -D
  std::string meta_file;      // -M
  std::string group;          // -G
};

// The run's record; null until the front end sets it.
extern ModeOptions* mode_options;
