// Inside the document input: its process-wide state.
#pragma once

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "sgml/options.h"

struct FrgacText;
struct MfsReader;
struct VqStream;

// Where a handle's bytes come from.
enum DocSource : int32_t {
  kSourceNone = 0,
  kSourceStream,      // a plain file, or standard input (the document entity)
  kSourceFragmented,  // a fragmented text named by a data dictionary
  kSourceMfs,         // a multi-file set named by a data dictionary
};

struct DocHandle {
  DocSource source = kSourceNone;
  VqStream* stream = nullptr;  // kSourceStream; null while suspended or closed
  bool is_stdin = false;       // standard input (only ever the document entity)
  bool document = false;       // the document entity
  int32_t fragmented = 0;
  FrgacText* fragment = nullptr;
  int32_t dd = 0;              // a data dictionary's text: the end limit applies
  int32_t multi_file = 0;
  MfsReader* mfs = nullptr;
  // File offset of the next byte the source gives (bytes taken so far, from
  // where reading started): the byte position without a system call, and
  // real positions for standard input.
  int64_t next_offset = 0;
  int32_t byte_position = 0;   // offset of the current buffer's first file character
  std::vector<std::string> names;  // the file list
  size_t current = 0;          // index of the current name
  std::string name;            // current file name (as messages show it)
  int32_t skip_count = 0;
  uint8_t record_start = 1;
  uint8_t end_of_buffer_pending = 1;
  uint8_t record_start_given = 0;
  bool empty = false;          // a multi-file set without bytes
};

// Opens the source of name into h (a data dictionary's text for the
// document entity, standard input for its "vq_stdin", else a plain file):
// true on success. A data dictionary is read only when dd_allowed; a
// fragmented text only when fragmented_allowed.
bool doc_source_open(DocHandle* h, const std::string& name, bool fragmented_allowed);
// The start position and end limit of the run's options.
inline int32_t doc_start_position() { return sgml_options().start_position; }
inline int32_t doc_end_limit() { return sgml_options().end_limit; }

struct DocInputState {
  bool input_map[256] = {};     // characters read as the non-SGML marker
  bool printable_flagged = false;  // some character from 32 to 126 is in the map
  int32_t buffer_size = 514;    // characters per buffer, the closing 28 included
  FrgacText* last_fragmented = nullptr;  // opened through a data dictionary
  MfsReader* last_mfs = nullptr;
  std::string last_closed_name;
  // Every fragmented text and multi-file reader opened: they stay open
  // after their entity is closed, until doc_input_release.
  std::vector<FrgacText*> fragmented_opened;
  std::vector<MfsReader*> mfs_opened;
};
extern inline DocInputState& doc_input_state_record;  // in sgml_parser (parser_state.h)
inline DocInputState& doc_input_state() { return doc_input_state_record; }

// Largest byte offset a document may have.
constexpr int64_t kDocMaxOffset = INT32_MAX;

// Plain files are read through a large buffer, also when a suspended
// entity is opened again: the document is one pass.
constexpr size_t kDocPlainBuffer = 1 << 16;
