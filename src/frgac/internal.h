// Shared between the files of the fragmented-text reader; not for other
// modules (their interface is frgac.h).
#pragma once

#include <cstdint>

#include "frgac/frgac.h"

// Numbered reports of a directory file that fails its checks (severity 15).
enum : long {
  FRGAC_MSG_SHORT_HEADER = 50001,  // (id, path)
  FRGAC_MSG_BAD_WORD = 50002,      // (id, path, field, value)
  FRGAC_MSG_OUTSIDE = 50003,       // (id, path, part, offset, bytes, file size)
  FRGAC_MSG_BLOCKS = 50004,        // (id, path, table, entries, pairs, per block, needed)
  FRGAC_MSG_ORDER = 50005,         // (id, path, table, pair)
  FRGAC_MSG_FIRST_PAIR = 50006,    // (id, path, position)
  FRGAC_MSG_LAST_PAIR = 50007,     // (id, path, position, logical length)
  FRGAC_MSG_FEW_NAMES = 50008,     // (id, path, count)
  FRGAC_MSG_NAME_INDEX = 50009,    // (id, path, record, index, names)
  FRGAC_MSG_TILING = 50010,        // (id, path, record, start, length, physical length)
  FRGAC_MSG_BLOCK_START = 50011,   // (id, path, block, position, index entry)
  FRGAC_MSG_NEGATIVE = 50012,      // (id, physical address, name)
  FRGAC_MSG_NO_SIZE = 50013,       // (id, path), severity 16
};

// Reads count words at a byte offset of the directory file into out, in
// native order; false after a report.
bool frgac_read_words(FrgacText* t, int64_t offset, size_t count, int32_t* out);
// The directory file's path, for messages.
std::string frgac_directory_path(const FrgacText* t);
// The pair of table A that covers logical address a (1 <= a <= L + 1) and
// the position where its range ends (the next pair's, or the next block's
// first, or INT64_MAX after the last pair); false after a report.
bool frgac_find_pair(FrgacText* t, int64_t a, FrgacPair* pair, int64_t* end);
// Block-cache ownership: a fresh id per open, and dropping an id's records.
uint64_t frgac_new_owner();
void frgac_cache_forget(uint64_t owner);
