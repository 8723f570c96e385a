// Process-wide state of the multi-file set modules (one set and one reader
// are in use at a time), kept in one record and reset by mfs_reset_state;
// and the tag-text reading helper shared by the file-map, filter-list and
// user-data readers. Private to the module.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "io/vqio.h"
#include "mfs/mfs.h"
#include "sinsi/sinsi.h"

// A tag stream over a stream of the I/O layer for one record of a map file.
// Each record reader opens its own and closes it when it returns: a record
// ends with an end tag, after which the tag stream holds no byte of the
// input, so the next record (after a seek or not) starts cleanly and no tag
// stream ever outlives the stream it reads.
struct MfsTagCloser {
  void operator()(SinsiStream* tags) const { sinsicl(tags); }
};
using MfsTags = std::unique_ptr<SinsiStream, MfsTagCloser>;
// A tag stream over stream with the given tag names (ids 0..n-1, a
// null-terminated list); null when it cannot be opened.
MfsTags mfs_tag_open(VqStream* stream, const char* const* names);

// Accumulates the text tokens of an element: tokens of at most 1024 bytes
// arrive one after the other for a longer text.
void mfs_tag_append_text(SinsiStream* tags, std::string* text);

// A number of a map file: optional white space, an optional sign, digits,
// optional white space; it must fit 32 bits. 1 when it is one.
int mfs_parse_int32(const std::string& text, int32_t* value);

struct MfsState {
  // Map-file module record (kept for the process) and its state.
  MfsMapFileModule* module = nullptr;
  void* module_state = nullptr;
  int32_t last_entry = -1;
  int32_t map_verbose = 0;
  int32_t progress = 0;  // building progress reports
  // Reader: the reader in use, the continued-read address, the open member.
  MfsReader* reader = nullptr;
  bool positioned = false;        // the reader's base + index is its address
  int32_t continue_address = -1;
  int32_t open_index = -1;
  int32_t open_view = -1;
  MfsStream* open_chain = nullptr;
  int32_t open_address = -1;      // address the open chain's next byte has
                                  // in the search view; -1 unknown
  int32_t view_start_armed = 0;
  int32_t check_changed = 0;
  int32_t fmp_last_end = -1;  // end of the entry the offset reader parsed last
  // The entry last handed to a "meta" stream (an owned copy).
  MfsMapEntry meta_entry;
  bool has_meta_entry = false;
};
MfsState& mfs_state();

// Path of a set file: "dir/base.ext", or "base.ext" without dir.
std::string mfs_set_file(const std::string& dir, const std::string& base, const char* ext);

// Closes the open member's chain and forgets it.
void mfs_close_open_member();

// Forgets the reader's positions: the continued-read address, the open
// member, the armed view start and whether the reader has been positioned.
void mfs_reset_positions();
