// The region finder's options record, shared with the parser, and the
// front end's process-wide flags that the document input reads.
//
// The front end allocates one ModeOptions for the whole run and points
// mode_options at it before the parser is set up; the record is never freed
// before the process ends. The parser reads mode, meta, document_name,
// start_position, end_limit and entity_echo; it writes the filter fields
// and appends plus groups.
#pragma once

#include <array>
#include <cstdint>
#include <string>

enum : int32_t { kModeFilter = 8 };
enum { kPlusGroupMax = 1024 };

struct ModeOptions {
  int32_t mode = 0;   // 1 to 16; 8 is filter mode
  int32_t meta = 0;   // meta processing (-M or -G)
  std::string output_name;    // -o: names the region files
  std::string document_name;  // document element name; filter root name
  std::string dd_name;        // -D
  std::string meta_file;      // -M
  std::string group;          // -G
  int32_t start_position = 0;  // -S: byte offset where reading starts
  int32_t end_limit = 0;       // -E: offset past which the text ends
  int32_t filter_stop = 0;             // set when a filter control byte arrives
  int32_t filter_last_control = ' ';   // the control byte that stopped the input
  unsigned char* filter_line_buffer = nullptr;  // saved read buffer (filter mode)
  int32_t entity_echo = 1;  // -R: not 1 echoes entity references in content
  int32_t plus_group_count = 0;
  // Plus-exception groups appended in filter and meta processing (the
  // element tables' group records; null ones included). At most
  // kPlusGroupMax; further ones are not recorded.
  std::array<const void*, kPlusGroupMax> plus_groups{};
};

// The run's record; null until the front end sets it.
extern ModeOptions* mode_options;

// Front-end flags read by the document input.
extern int32_t front_verbose;          // -v
extern int32_t front_carriage_return;  // -K: a carriage return reads as a blank
