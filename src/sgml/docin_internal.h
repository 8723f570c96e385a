// Inside the document input: its process-wide state.
#pragma once

#include <cstdint>
#include <string>

struct FrgacText;
struct MfsReader;

struct DocInputState {
  bool input_map[256] = {};     // characters read as the non-SGML marker
  int32_t buffer_size = 514;    // characters per buffer, the closing 28 included
  FrgacText* last_fragmented = nullptr;  // opened through a data dictionary
  MfsReader* last_mfs = nullptr;
  std::string last_closed_name;
};
DocInputState& doc_input_state();
