// Data-file header: the 512-byte header at the start of every binary data
// file of the suite (index file, region file, compiled file map, set and
// subset files).
//
// On disk: 128 unsigned 32-bit words in the writer's byte order.
//
//   word  bytes    field                      value written
//   0     0-3      type                       0 to 10 (0 index file, 1 region
//                                             file, 6 compiled file map; the
//                                             others: set and subset files)
//   1     4-7      byte-order mark            0x01020304
//   2     8-11     major                      > 0
//   3     12-15    minor                      >= 0
//   4     16-19    extra value                chosen by the file's writer
//   5     20-23    version                    writer's format version (50300)
//   6     24-27    reserved                   0
//   7     28-31    text-translation sentinel  0x0A0D0A00 (bytes 00 0A 0D 0A
//                                             in a little-endian file)
//   8-127 32-511   reserved                   0
//
// A reader that finds the mark reversed swaps every word of the header, and
// every later 4-byte word of the file. The sentinel holds a CR and two LFs so
// that a text-mode line-end translation of the file is noticed.
//
// In memory the header is held as native words; pitas_encode/pitas_decode
// move it to and from its 512 file bytes one word at a time.
#pragma once

#include <cstddef>
#include <cstdint>

// Reads and writes one 32-bit word in the machine's byte order at p. The
// data files of the suite hold words in the writer's byte order, so this is
// the one conversion between file bytes and words; a reader that learned
// the file was written the other way round swaps the words afterwards.
inline uint32_t load_word32(const unsigned char* p) {
  uint32_t w;
  __builtin_memcpy(&w, p, 4);
  return w;
}
inline void store_word32(unsigned char* p, uint32_t w) { __builtin_memcpy(p, &w, 4); }
inline uint32_t swap_word32(uint32_t w) { return __builtin_bswap32(w); }

enum : size_t {
  PITAS_HEADER_BYTES = 512,
  PITAS_HEADER_WORDS = 128,
};

enum : int {
  PITAS_WORD_TYPE = 0,
  PITAS_WORD_MARK = 1,
  PITAS_WORD_MAJOR = 2,
  PITAS_WORD_MINOR = 3,
  PITAS_WORD_EXTRA = 4,
  PITAS_WORD_VERSION = 5,
  PITAS_WORD_SENTINEL = 7,
};

enum : uint32_t {
  PITAS_MARK = 0x01020304u,
  PITAS_SENTINEL = 0x0A0D0A00u,
  PITAS_MAX_TYPE = 10,
  PITAS_VERSION = 50300,  // the format version this suite writes
};

// File types the suite names.
enum : uint32_t {
  PITAS_TYPE_INDEX = 0,
  PITAS_TYPE_REGION = 1,
  PITAS_TYPE_FILE_MAP = 6,
};

struct PitasHeader {
  uint32_t word[PITAS_HEADER_WORDS];
};

// The oldest version pitasck accepts, per type 0 to 10.
extern const int32_t DataFileMinVersion[PITAS_MAX_TYPE + 1];

// A new zeroed header filled with type, mark, major, minor, extra value,
// version and sentinel; the caller frees it with free(). A type above 10
// reports "pitasch: type = %d." (severity 5) and leaves word 0 at 0; a major
// of 0 or less or a negative minor reports "pitasch: Major = %d, Minor = %d."
// (severity 5) and leaves both 0. Allocation failure reports severity 14
// citing "pitas/CreatHdr.c".
PitasHeader* pitasch(uint32_t type, int32_t version, int32_t major, int32_t minor,
                     uint32_t extra);

// Checks a header as read, in place: a reversed byte-order mark swaps all
// words and sets *swapped to 1 (else 0). Reports, severity 13 with the file
// name: "File header seems mangled: %s" (the words are then restored as read
// and *swapped is 0), "File %s appears to have undergone text translation.",
// "Unknown data file type: %s", "Data file version too old: %s". Returns
// word 0, the type.
int pitasck(PitasHeader* header, int* swapped, const char* file_name);

// The 512 file bytes of a header, and back (native word order: see above).
void pitas_encode(const PitasHeader* header, unsigned char bytes[PITAS_HEADER_BYTES]);
void pitas_decode(const unsigned char bytes[PITAS_HEADER_BYTES], PitasHeader* header);
