// Fragmented texts: one logical text stored as pieces in fragment files and
// described by a directory file. Readers see one 1-based logical address
// space; logical addresses differ from physical ones by deltas kept in a
// position/delta table, so a text can change without moving the addresses
// that indexes and region files hold.
//
// Directory file "<FrgDir>/frg.<major>.<minor>": 4-byte words in the
// writer's byte order (detected on open by a vote, see frgac_open).
//
//   Header, 19 words (76 bytes):
//   word  bytes   field
//   0     0-3     flags: bit 0 table A present, bit 1 table B present
//   1     4-7     major
//   2     8-11    minor
//   3     12-15   pairs of table A (the closing pair included)
//   4     16-19   pairs of table B
//   5     20-23   physical length: bytes of text in the fragments, from 0
//   6     24-27   logical length L: logical addresses run from 1 to L
//   7     28-31   entries of block index A
//   8     32-35   entries of block index B
//   9     36-39   pairs per block
//   10    40-43   byte offset of table A
//   11    44-47   byte offset of table B
//   12    48-51   byte offset of block index A
//   13    52-55   byte offset of block index B
//   14    56-59   number of fragment names
//   15    60-63   byte offset of the names text
//   16    64-67   number of fragment records
//   17    68-71   byte offset of the fragment records
//   18    72-75   length of the names text in bytes
//
//   Table A, 8 bytes a pair: {logical position, delta}, sorted by position.
//     Logical address a is physical a + delta of the last pair whose position
//     is at most a; the next pair's position ends the range, and the table
//     ends with a pair beyond the last logical address. Table B has the same
//     shape; it is loaded but not consulted here.
//   Block index A (B), 4 bytes an entry: the position of the first pair of
//     each block of word-9 pairs.
//   Names text: the fragment paths, each ended by a NUL, word 18 bytes.
//   Fragment records, only when there are 2 or more, 16 bytes each:
//     {physical start, length, byte offset in the fragment file, name index},
//     sorted by start and tiling [0, physical length). With fewer than 2
//     records the text is the first named file at offset = physical address.
//
// Every word read from a directory file is checked before use (counts,
// offsets against the file size, table order, name indexes); a file that
// fails is refused at open with a numbered report (severity 15).
//
// The block cache is process-wide: 1000 records of 256 bytes, 10-way set
// associative, least recently used replacement. Records belong to the open
// text that loaded them through an id unique to that open, so a reused
// control block never sees the blocks of the text it held before.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum : int32_t {
  FRGAC_FAIL = 0x7ffffffe,      // result of a failed open or read
  FRGAC_UNMAPPED = 0x7fffffff,  // a logical address that does not map
};

enum : int {
  FRGAC_HEADER_WORDS = 19,
  FRGAC_HEADER_BYTES = 76,
  FRGAC_BUFFER_BYTES = 512,
  FRGAC_CACHE_BLOCK = 256,
  FRGAC_CACHE_WAYS = 10,
  FRGAC_CACHE_BYTES = 256000,
};

// Word numbers of the directory-file header.
enum : int {
  FRG_FLAGS = 0,
  FRG_MAJOR = 1,
  FRG_MINOR = 2,
  FRG_PAIRS_A = 3,
  FRG_PAIRS_B = 4,
  FRG_PHYSICAL_LENGTH = 5,
  FRG_LOGICAL_LENGTH = 6,
  FRG_BLOCKS_A = 7,
  FRG_BLOCKS_B = 8,
  FRG_PAIRS_PER_BLOCK = 9,
  FRG_OFFSET_A = 10,
  FRG_OFFSET_B = 11,
  FRG_OFFSET_INDEX_A = 12,
  FRG_OFFSET_INDEX_B = 13,
  FRG_NAME_COUNT = 14,
  FRG_OFFSET_NAMES = 15,
  FRG_RECORD_COUNT = 16,
  FRG_OFFSET_RECORDS = 17,
  FRG_NAMES_LENGTH = 18,
};

enum : int32_t {
  FRG_TABLE_A = 1,  // flag bits of word 0
  FRG_TABLE_B = 2,
};

enum : int {
  FRGAC_REMAP_BLOCKS = 1,  // block index in memory, table paged block by block
  FRGAC_REMAP_WHOLE = 2,   // tables kept whole
  FRGAC_READ = 1,          // access modes
  FRGAC_UPDATE = 2,
};

struct FrgacPair {
  int32_t position;
  int32_t delta;
};

struct FrgacRecord {
  int32_t start;       // physical start
  int32_t length;
  int32_t offset;      // byte offset in the fragment file
  int32_t name_index;  // index into the fragment names
};

// The control block of an open fragmented text, provided by the caller.
// Read-ahead over the open fragment file lives in `window`: the reader's
// 512-byte refills are served from it instead of one system call each.
struct FrgacText {
  int32_t header[FRGAC_HEADER_WORDS] = {};  // native order after the vote
  int fd = -1;                              // directory file
  int remap_mode = 0;
  int access_mode = 0;
  int cache_flag = 0;
  int open_flags = 0;                  // for fragment files
  std::vector<FrgacPair> table_a;      // whole (mode 2) or the current block (mode 1)
  std::vector<FrgacPair> table_b;
  std::vector<int32_t> block_index_a;
  std::vector<int32_t> block_index_b;
  int32_t current_block_a = -1;
  int32_t current_block_b = -1;
  std::vector<std::string> names;
  std::vector<FrgacRecord> records;
  int fragment_fd = -1;
  int32_t fragment_index = -1;
  std::string file_name;  // SysName, for messages
  std::string directory;  // FrgDir
  int32_t position = 1;   // logical address of buffer[0]
  unsigned char buffer[FRGAC_BUFFER_BYTES] = {};
  int32_t buffer_index = 0;
  int32_t buffer_count = -1;  // -1: empty
  int swapped = 0;
  uint64_t owner = 0;  // id of this open in the block cache, never reused
  // Read-ahead over the open fragment (read access only).
  std::vector<unsigned char> window;
  int64_t window_offset = 0;  // file offset of window[0]
  size_t window_count = 0;
  int32_t window_fragment = -1;
};

// Opens a fragmented text into t: the directory file "<frg_dir>/frg.M.m"
// of major M and minor m. A major or minor other than 0, 0 must match the
// file's (minor -1 matches any). size_estimate decides the remap mode: the
// tables are kept whole when their pairs number less than size_estimate / 8.
// access 1 reads (and builds the block cache), 2 updates (cache flag then 0).
// 0, or FRGAC_FAIL after a report.
int frgac_open(const char* sys_name, const char* frg_dir, int major, int minor,
               unsigned long size_estimate, int access, FrgacText* t, int cache_flag);
// Reads the names text and the fragment records; 0 or FRGAC_FAIL.
int frgac_read_file_fragments(FrgacText* t);
// Closes the directory and fragment files, frees the tables and drops the
// text's blocks from the block cache. The block can be opened again.
void frgac_close(FrgacText* t);

// Refills the buffer at the current position: the first byte, or -1.
int frgacfl(FrgacText* t);
// The next byte (0-255) at the current position, -1 at the end.
inline int frgacgc(FrgacText* t) {
  int32_t i = t->buffer_index;
  if (__builtin_expect(i < t->buffer_count, 1)) {
    t->buffer_index = i + 1;
    return t->buffer[i];
  }
  return frgacfl(t);
}
// Sets the position to a logical address (1 to L) and empties the buffer;
// another address reports "frgacsk: Invalid logical address (%ld)."
// (severity 11). The position after the call.
long frgacsk(FrgacText* t, long address);
// Maps logical addresses to physical ones in place; an address outside 1 to
// L + 1 becomes FRGAC_UNMAPPED. The number of those.
long frgacma(FrgacText* t, int32_t* addresses, long count);

// Copies up to count bytes at physical address p through the block cache
// (never beyond p's 256-byte block); on a miss the block is loaded when
// load is set, else nothing is copied. Sets *copied and returns it, or
// FRGAC_FAIL after a failed read.
long frgacrc(FrgacText* t, long count, long p, unsigned char* destination, long* copied,
             int load);
// Reads count bytes at physical address p across fragments; past the
// physical length the destination is filled with blanks, not counted. The
// bytes read from fragment files, or FRGAC_FAIL.
long frgacrf(FrgacText* t, long p, long count, unsigned char* destination);
// The file offset of physical address p in its fragment, making that
// fragment the open one; *left gets the bytes of the fragment from p on.
// FRGAC_FAIL after a report.
long frgacrl(FrgacText* t, long p, long* left);
// Seeks fd to offset and reads |count| bytes; a short read of a positive
// count is reported. The byte count read, -1 on failure.
long frgacsr(int fd, long offset, long count, unsigned char* destination);
// Reports "Failed to open '%s'." (severity 16); FRGAC_FAIL.
int frgacfo(const char* path);
// Builds the process-wide block cache once.
void frgacic();
// Frees the block cache (it is built again by the next frgacic).
void frgac_cache_release();

// ---------------------------------------------------------------------------
// Writing (write.cpp, rename.cpp)

// Describes the plain file plain_name as a fragmented text of one fragment
// in the directory frg_dir: major 1, minor -1 (frgaccl makes it 0), the
// file as the one fragment name and record, 1024 pairs a block. flags: 1
// table A {1, -1}, {size + 1, -1} (logical address a is physical a - 1),
// 2 table B {0, 1}, {size, 1}; the logical and the physical length are the
// file's size. 0, or FRGAC_FAIL after "frgaccr: Failed to obtain file size
// of %s." (16).
int frgaccr(const char* plain_name, const char* frg_dir, FrgacText* t, int flags);
// With update: the minor number is incremented and the directory file
// "<directory>/frg.<major>.<minor>" is created (mode 0666) and written:
// header, table A at byte 76, table B, block index A, block index B, the
// names text, and the fragment records when there are 2 or more (words
// swapped when t->swapped is set). With or without update the record's
// names, tables and block indexes are freed and its descriptors closed.
// 0, or FRGAC_FAIL (a failed write names its part on the standard error).
int frgaccl(FrgacText* t, int update);
// Renames from over to through the intermediate name "<dir of from>tmp.
// <pid>.<n>": 0, or 16 after a report (a missing source, severity 3; no
// write permission on the target, 11; a failed step, 2, with the old
// target put back).
int frgacrn(const char* from, const char* to);
