// Internal interface of the build phases: the text reader, the scanner
// engine shared by the pass, the rebuild of an earlier pass and the Phase II
// conversion, the suffix order, the work-file names and the log lines.
//
// The scanner is the one place where the rules of a pass live (mapping,
// blank collapsing, padding, the index-point rule, stop-word rewinding, the
// room and end rules). A pass, the rebuild of its buffer and its
// conversion to text positions run the same engine from the same start, so
// they agree on every character and every point.
#pragma once

#include <bit>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "builder/builder.h"

struct FrgacText;

namespace phases {

// ---------------------------------------------------------------------------
// Scratch arrays kept for the run: an array of n elements (its contents
// left from its last use) and its return. Steps that run once per pass or
// per part take their large arrays here, so that their pages are not
// faulted in again each time.

std::vector<unsigned char> take_bytes(size_t n);
void give_bytes(std::vector<unsigned char>&& v);
std::vector<uint64_t> take_words(size_t n);
void give_words(std::vector<uint64_t>&& v);

// ---------------------------------------------------------------------------
// Text reader: the first text record, read in large blocks from a 1-based
// text position (plain file, fragmented text or multi-file set).

struct TextReader {
  const FileInfo* record = nullptr;
  int fd = -1;                  // plain file
  FrgacText* frg = nullptr;     // fragmented text
  int64_t next = 0;             // position of the next byte to read
  bool at_end = false;
  std::vector<unsigned char> block;
};

// Opens the text at position `start` (60006 when it does not open);
// block_size bytes are read at a time.
void text_open(TextReader* r, int64_t start, size_t block_size);
// Up to block.size() bytes into r->block: the count, 0 at the end.
size_t text_read(TextReader* r);
void text_close(TextReader* r);

// ---------------------------------------------------------------------------
// The points file (-p): 4-byte words, 0-based positions, ended by -1 or the
// end of the file.

struct PointsCursor {
  VqStream* stream = nullptr;
  bool exhausted = false;
  int64_t next = 0;        // the word read ahead, as a 1-based position
  int32_t no_room_reads = 0;
};

// Positions the stream at byte `offset` and reads the first word.
void points_start(PointsCursor* p, VqStream* stream, long offset);

// ---------------------------------------------------------------------------
// Scanner

enum class ScanMode {
  Pass,     // stores the characters and the points' buffer offsets
  Rebuild,  // stores the characters only
  Convert,  // keeps a sliding window and records the points' positions
};

// A place where the scan of a pass can be taken up again: the top of the
// engine's loop right after a blank was stored (no stop-word check under
// way), with what the pass had counted up to there. A pass records them
// (plain point rule only) so that its conversion can run in parts.
struct ScanCheckpoint {
  int64_t pos = 0;  // position of the last character read
  int64_t nf = 0;   // bytes stored
  int32_t count = 0;
  int32_t pass_end = 0;
  int64_t last_off = 0;
  int64_t fb_end = 0;
  unsigned char last_char = ' ';
  unsigned char fb_char = ' ';
};

struct ScanJob {
  // In.
  int64_t start = 1;                // position of the first byte read
  unsigned char first_char = ' ';   // buffer byte 0
  int64_t buffer_size = 0;          // B: the pass's buffer (also for Convert)
  int64_t point_slots = 0;          // the pass's point array size
  int32_t previous_end = 0;         // pass end before this pass
  unsigned char* buffer = nullptr;  // B bytes (Pass, Rebuild) or the window
  int64_t window_size = 0;          // Convert: bytes of the window
  int32_t* out = nullptr;           // Pass: offsets; Convert: positions (text order)
  bool use_points_file = false;     // -p: points from the cursor
  PointsCursor* points = nullptr;
  bool use_regions = false;         // -d
  std::vector<ScanCheckpoint>* checkpoints = nullptr;  // Pass: recorded here,
  int64_t checkpoint_every = 0;     // about every so many positions
  const ScanCheckpoint* resume = nullptr;  // Convert: starts from here
  int64_t stop_at = 0;              // Convert: stops at this checkpoint position
  // Out.
  int32_t count = 0;                // points taken
  int32_t pass_end = 0;
  unsigned char last_char = ' ';
  bool end_of_text = false;
  int64_t stored = 0;               // bytes stored before the NUL
  uint64_t offset_sum = 0;          // Convert: the sum and the hash sum of the
  uint64_t offset_mix = 0;          // offsets of the points taken
  bool stopped = false;             // stop_at: stopped at it, as recorded
};

// The list where the pass of this number records its checkpoints (the
// pass that starts at `start` with `first_char`; a new empty list).
std::vector<ScanCheckpoint>* record_checkpoints(int pass, int64_t start, unsigned char first_char);

// Replays the pass that started at `start` with `first_char` in parts, on
// the threads, from the checkpoints it recorded in this run: a Rebuild into
// `target`, or a Convert into `positions`. Each part must end at the next
// one's checkpoint as the pass did. False when there are no checkpoints,
// one thread, a text that is not one plain file, or a part that did not
// come out as recorded (the caller then replays the pass whole); else the
// job of the whole replay (the counts of its end, the sums of all parts).
bool replay_in_parts(ScanMode mode, int64_t start, unsigned char first_char, unsigned char* target,
                     int32_t* positions, ScanJob* whole);

// Scans a pass (a job of pass_job with its buffer, points and checkpoints)
// in parts on the threads where it can, with the result of scan_text on
// one thread: false when it cannot be split (one thread, -p, -d, a text
// that is not one plain file, too little text), with the job untouched.
bool scan_pass_in_parts(ScanJob* job);

// The mixing hash of an offset whose sum over a set of offsets, with their
// plain sum, tells the set (a replay against its pass file).
inline uint64_t offset_hash(int64_t offset) {
  uint64_t z = static_cast<uint64_t>(offset) + 0x9E3779B97F4A7C15ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// Runs one pass of the engine over the first text record.
void scan_text(ScanMode mode, ScanJob* job);

// The scan job of a pass with the build's memory and rules.
ScanJob pass_job(int64_t start, unsigned char first_char, int32_t previous_end);

// The stored text of the passes of this run, kept in the work file
// <int-name>.s0 so that skip counting reads an earlier pass's buffer back
// instead of scanning its text again. keep_pass_text appends a pass's
// buffer (a failure only leaves it out); read_pass_text fills target (room
// bytes) with the buffer of the pass that started at `start` with
// `first_char` and ended at `end`: false when it was not kept or does not
// read back. forget_pass_texts closes the file; remove_pass_texts also
// removes it (when Phase I ends, and with the other work files).
void keep_pass_text(int32_t start, int32_t end, int first_char, const unsigned char* buffer,
                    int64_t bytes);
bool read_pass_text(int32_t start, int32_t end, int first_char, unsigned char* target,
                    int64_t room);
void forget_pass_texts();
void remove_pass_texts();
// The common prefix of each point of a pass with the one before it in
// suffix order (0 for the first), as 16-bit words appended to the same
// file, for the merge walks with other passes: kept when the pass's
// suffixes share long prefixes. kept_prefixes tells where they lie: false
// when they were not kept, else the byte offset of the first in the file
// named by pass_texts_name().
void keep_pass_prefixes(int32_t start, int32_t end, int first_char, const unsigned char* text,
                        const int32_t* points, int32_t count);
bool kept_prefixes(int32_t start, int32_t end, int first_char, int32_t count, int64_t* at);
std::string pass_texts_name();

// ---------------------------------------------------------------------------
// Suffix order: the first 400 bytes as unsigned characters, then the buffer
// offset (text order).

enum : int { SUFFIX_BUDGET = 400 };

// Room a pass leaves for grouping identical windows before its sort.
struct SortSpace {
  int64_t text_end = 0;        // offset of the buffer's NUL
  int64_t point_capacity = 0;  // slots of the point array from points[0]
  unsigned char* scratch = nullptr;  // free bytes of the text buffer past the NUL
  int64_t scratch_bytes = 0;
};

// Sorts points[first..last] (offsets of suffixes of buffer). Every suffix
// must hold 400 stored characters or end in the NUL, with 8 readable bytes
// after its 400th. With space (and first 0), points in ascending order
// whose windows repeat are grouped first, in the room it describes.
void SortPass(const unsigned char* buffer, int32_t* points, int64_t first, int64_t last,
              const SortSpace* space = nullptr);
// The fingerprint by which the grouping finds identical windows: the
// polynomial hash of the 400 characters (multiplier WINDOW_ROLL, modulo
// 2^64, which a sweep can roll from one point to the next), mixed, top 32
// bits. Different windows may share one; the grouping verifies.
constexpr uint64_t WINDOW_ROLL = 0x100000001B3ull;
inline uint64_t window_mix(uint64_t z) {
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}
inline uint32_t window_fingerprint(const unsigned char* window) {
  uint64_t h = 0;
  for (int k = 0; k < SUFFIX_BUDGET; ++k) h = h * WINDOW_ROLL + window[k];
  return static_cast<uint32_t>(window_mix(h) >> 32);
}
// What the last SortPass did about grouping (for tests): whether it
// grouped, and how many runs of one fingerprint held different windows.
struct GroupingReport {
  bool grouped = false;
  int64_t groups = 0;
  int64_t collisions = 0;
};
GroupingReport last_grouping();
// Threads of the sort and of the other steps that split their work: all
// cores (at most 64), or the number set by a test (0 goes back to all
// cores). No result depends on it.
int sort_threads();
void set_sort_threads(int threads);
// Whether threads may open, read and write files of their own at once:
// through descriptors of the system's own ("native" or "builder"
// subsystem; the others keep state of their own).
bool files_on_threads();
// Splits [0, n) into contiguous parts of at least `least` items, at most
// one per thread: their number (1 for n below 2 * least).
int work_parts(int64_t n, int64_t least);
// Runs work(part, from, to) for the work_parts(n, least) parts of [0, n)
// and returns when all have ended. The parts are taken in turn by the
// calling thread and worker threads kept for the run (threads started for
// the call when those are busy); a part no thread takes is run by the
// calling thread. The work must not end the program (it records a
// failure for the caller to report).
void split_work(int64_t n, int64_t least, const std::function<void(int, int64_t, int64_t)>& work);
// As split_work, with up to per_thread parts for each thread, so that a
// thread whose parts end early (or a thread that gets no core for a while
// on a busy machine) leaves the rest to the others.
void split_work_finely(int64_t n, int64_t least, int per_thread,
                       const std::function<void(int, int64_t, int64_t)>& work);
// Eight characters at p as one big-endian word: words compare as the
// characters do.
inline uint64_t load_be64(const unsigned char* p) {
  uint64_t x;
  __builtin_memcpy(&x, p, 8);
  return __builtin_bswap64(x);
}

// The eight characters at depth d as one word; past the budget the bytes
// count as equal (zero).
inline uint64_t key_at(const unsigned char* s, int d) {
  uint64_t k = load_be64(s + d);
  if (d > SUFFIX_BUDGET - 8) k &= ~uint64_t{0} << (8 * (d + 8 - SUFFIX_BUDGET));
  return k;
}

// Compares characters d..399 of two suffixes: -1, 0 or 1.
inline int compare_from(const unsigned char* a, const unsigned char* b, int d) {
  for (; d < SUFFIX_BUDGET; d += 8) {
    const uint64_t x = key_at(a, d), y = key_at(b, d);
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

// The first of eight characters at a and b that differ (0 to 7), or 8.
inline int first_difference(const unsigned char* a, const unsigned char* b) {
  uint64_t x, y;
  __builtin_memcpy(&x, a, 8);
  __builtin_memcpy(&y, b, 8);
  if (x == y) return 8;
  if constexpr (std::endian::native == std::endian::little) return __builtin_ctzll(x ^ y) >> 3;
  else return __builtin_clzll(x ^ y) >> 3;
}

// How many characters from d on two suffixes share (the characters before
// d are equal), at most 400. The first 32 are compared eight at a time
// (most suffixes differ there), the rest at once (repeated text ties for
// all 400) and, when they differ, eight at a time again.
inline int common_from(const unsigned char* a, const unsigned char* b, int d) {
  const auto words = [a, b](int from, int to) {
    for (; from < to; from += 8) {
      const int k = first_difference(a + from, b + from);
      if (k < 8) return from + k < SUFFIX_BUDGET ? from + k : SUFFIX_BUDGET;
    }
    return -1;
  };
  const int near = d + 32 < SUFFIX_BUDGET ? d + 32 : SUFFIX_BUDGET;
  int at = words(d, near);
  if (at >= 0) return at;
  if (near >= SUFFIX_BUDGET ||
      __builtin_memcmp(a + near, b + near, static_cast<size_t>(SUFFIX_BUDGET - near)) == 0)
    return SUFFIX_BUDGET;
  at = words(near, SUFFIX_BUDGET);
  return at >= 0 ? at : SUFFIX_BUDGET;
}

// Suffixes of different buffers: 1 only when a is greater within the first
// 400 characters, else -1 (equal prefixes: a counts as the smaller). Both
// must hold 400 readable bytes (a point always has 1000 stored characters
// after it); memcmp compares unsigned bytes, many at a time, which counts
// where repetitive passes tie for all 400.
inline int SuffixCompareBounded(const unsigned char* a, const unsigned char* b) {
  if (a == b) return 0;
  return __builtin_memcmp(a, b, SUFFIX_BUDGET) > 0 ? 1 : -1;
}

// ---------------------------------------------------------------------------
// Work files and the log

std::string work_name(const std::string& base, const char* kind, int number);
// Appends one line to the log (100001 when it does not open).
void log_append(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A fingerprint of the rules that decide the points and the characters
// (character map, classes and pair table, stop words, points file and
// region set in use): the log's first line, so that a restart under other
// rules is refused instead of finishing an index the data dictionary would
// not describe.
uint32_t rules_fingerprint();

// Reads exactly n bytes at offset; false on a short read.
bool read_at(int fd, int64_t offset, void* buffer, size_t n);
// Writes n bytes; false on a short write.
bool write_all(int fd, const void* buffer, size_t n);

// Offsets read back from a pass file must lie where a pass of this budget
// can put a point; a damaged or foreign file is refused (100012).
bool offset_in_pass(int32_t offset);
void check_offset(int32_t offset);
// Refuses a damaged work file or log (100012 with the log name).
[[noreturn]] void work_files_damaged();

// The pass file header.
struct PassHeader {
  int32_t start, end, first_char, count, points_offset;
};
enum : int { PASS_HEADER_BYTES = 20, FINAL_HEADER_BYTES = 16 };

// Opens pass file <int-name>.i<pass> and reads its header: the descriptor.
// A file that does not open reports `open_message` (16); one whose size,
// count or first character cannot come from a pass of this budget is
// refused (100012).
int open_pass_file(int pass, PassHeader* header, long open_message);

}  // namespace phases
