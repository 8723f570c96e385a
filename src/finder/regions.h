// Region mode of tavrel: the region pass turns the parser's events into
// temporary region records, which are then laid out in region files and
// registered in the data dictionary, or merged (-J) into the existing
// region file.
//
// Spans: start and end of a record are 0-based and both inclusive, the
// offsets of the first and of the last byte of the span in the document's
// text (for a fragmented text the stored position that the fragment
// mapping gives). A start-tag region runs from the tag's "<" to its ">", an
// element region from its start tag's "<" to the ">" of its end tag, an
// attribute region over the value's characters (inside the quotes). pellion
// writes the same pairs for the same bytes.
//
// Region names: an element's start tags form "NAME-T", its elements "NAME"
// (an element nested in elements of its own name "NAME1", "NAME2", ... by
// depth), attribute values "A-NAME". The names are those the parser gives
// (upper case unless -C).
//
// Temporary record file "TAG<n>.<pid>.TMP" (n 0 to 9), made exclusively in
// $TAVREL_TMPDIR or the current folder; 12-byte records of three 32-bit
// words in the host's byte order:
//
//   bytes  content
//   0-3    region number (index of the region table, 0 to 2046)
//   4-7    start offset
//   8-11   end offset
//
// A file takes records until it holds more than 0x3fffffff bytes; then the
// next one is made. A tenth file is refused (220004 with the record count).
//
// Region file "<base><n>.rgn": the RegionFile layout of region/region.h (a
// PitasHeader of type 1, major 1, minor 0, extra 0, version 50300, then at
// 512 + offset each region's (start, end) pairs in record order). The
// regions of a run are laid out in region-number order after the regions
// the file keeps; before each block, when the bytes used pass 0x3fffffff,
// the layout moves on to the next region file. A block is never split.
//
// Every region file is written anew beside the old one; the complete new
// files are put in place together with the data dictionary that describes
// them (commit/commit.h). After any failure, and after a run that died, the
// data dictionary and the region files agree.
#pragma once

#include <cstdint>
#include <cstring>
#include <ctime>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "frgac/frgac.h"
#include "io/vqio.h"

enum : int32_t {
  REGION_TABLE_SIZE = 2048,
  REGION_NAMES_MAX = 2047,
  REGION_TEMP_FILES = 10,
  REGION_TEMP_RECORD_BYTES = 12,
  REGION_RUN_VERSION = 50300,
  REGION_NO_LEVEL = 9999,  // level of a region no element names
};

// Bytes after which the next temporary file, or the next region file, is
// begun.
constexpr int64_t REGION_TEMP_FILE_LIMIT = 0x3fffffff;
constexpr int64_t REGION_FILE_LIMIT = 0x3fffffff;
// A fragmented-text position that the fragment tables cannot map.
constexpr int32_t REGION_UNMAPPED = 0x7fffffff;

// One region of the run (its index is the region number).
struct RegionEntry {
  std::string name;
  int32_t file_index = 0;  // n of the region file "<base><n>.rgn"
  int64_t offset = 0;      // of its data after the region file's header
  int64_t word_count = 0;  // 4-byte words: 2 per record
  int32_t depth = 0;       // nesting counter ("-T" entries only)
};

// The temporary record files of a run.
struct TempRecordSet {
  std::string dir;                 // folder of the files ("" current)
  std::vector<std::string> names;  // the files made, in index order
  int fd = -1;                     // the current file, open for writing
  int64_t bytes = 0;               // bytes written to the current file
  int64_t records = 0;             // records written in all
  int64_t file_limit = REGION_TEMP_FILE_LIMIT;
  int32_t max_files = REGION_TEMP_FILES;
  std::vector<unsigned char> buffer;  // records not yet written: the
  size_t buffered = 0;                // first `buffered` bytes
  std::string failed_name;            // the file that could not be made
  int failed_errno = 0;
  // Told the name of every file made (the run's clean-up list).
  void (*on_create)(const std::string& name) = nullptr;
};

// Makes file 0 in $TAVREL_TMPDIR or the current folder: 0, or -1 with
// failed_name and failed_errno set.
int temp_set_open(TempRecordSet* set);
// Appends one record (temp_set_put_next: the case that writes the buffer
// or moves on), moving on to the next file first when the current
// one holds more than file_limit bytes: 0; -1 when the next file cannot be
// made (failed_name, failed_errno); -2 when it would be file max_files; -3
// on a write failure (reported 60027).
int temp_set_put_next(TempRecordSet* set, int32_t region, int32_t start, int32_t end);
inline int temp_set_put(TempRecordSet* set, int32_t region, int32_t start, int32_t end) {
  // The common case in place: the current file takes more and the buffer
  // has room for the record without filling up.
  if (set->bytes <= set->file_limit &&
      set->buffered + REGION_TEMP_RECORD_BYTES < set->buffer.size()) {
    // Word by word: a copy of the three words gathered on the stack first
    // would read back two fresh 4-byte stores as one 8-byte load.
    unsigned char* at = set->buffer.data() + set->buffered;
    std::memcpy(at, &region, 4);
    std::memcpy(at + 4, &start, 4);
    std::memcpy(at + 8, &end, 4);
    set->buffered += REGION_TEMP_RECORD_BYTES;
    set->bytes += REGION_TEMP_RECORD_BYTES;
    ++set->records;
    return 0;
  }
  return temp_set_put_next(set, region, start, end);
}
// Writes what is buffered and closes the current file: 0, or -3 after
// reporting a write failure.
int temp_set_close(TempRecordSet* set);
// Removes the files made (with the system call; also safe after the I/O
// layer stopped) and forgets them.
void temp_set_remove(TempRecordSet* set);

// Reads the records of all files, first file first, in chunks: each(region,
// start, end) per record. The number of records, or -1 after reporting a
// file that cannot be read (the I/O layer's error report).
struct TempRecord {
  int32_t region;
  int32_t start;
  int32_t end;
};
// The chunks of whole records as read: each_chunk(context, bytes, n) with
// n a multiple of REGION_TEMP_RECORD_BYTES.
using TempChunkFn = void (*)(void* context, const unsigned char* bytes, size_t n);
// The record stored at p (REGION_TEMP_RECORD_BYTES bytes).
inline TempRecord temp_record_decode(const unsigned char* p) {
  TempRecord r;
  std::memcpy(&r.region, p, 4);
  std::memcpy(&r.start, p + 4, 4);
  std::memcpy(&r.end, p + 8, 4);
  return r;
}
int64_t temp_set_read(const TempRecordSet& set, TempChunkFn each_chunk, void* context);
template <class Each>
int64_t temp_set_each(const TempRecordSet& set, Each& each) {
  return temp_set_read(
      set,
      [](void* c, const unsigned char* bytes, size_t n) {
        Each& e = *static_cast<Each*>(c);
        for (size_t i = 0; i < n; i += REGION_TEMP_RECORD_BYTES) e(temp_record_decode(bytes + i));
      },
      &each);
}

// Reads the records of all files backwards, last record of the last file
// first.
struct TempBackReader {
  const TempRecordSet* set = nullptr;
  int file = -1;       // index of the file being read
  int fd = -1;
  off_t position = 0;  // file offset of the chunk's first byte
  std::vector<unsigned char> chunk;
  size_t left = 0;  // bytes of the chunk not yet taken (from its start)
  bool failed = false;
};
void temp_back_open(TempBackReader* reader, const TempRecordSet* set);
// The previous record: true, or false at the start (failed set after a
// reported read failure).
bool temp_back_prev(TempBackReader* reader, TempRecord* record);
void temp_back_close(TempBackReader* reader);

// ---------------------------------------------------------------------------
// The region table and the records of one run

// The region numbers found for one name the parser gives: its start tags'
// "NAME-T", its elements' "NAME", "NAME1", ... by depth, its attribute
// values' "A-NAME" (-1 not yet found).
struct RegionNameSlot {
  std::string name;  // the name's characters, checked on every use
  int32_t tag = -1;
  int32_t attribute = -1;
  std::vector<int32_t> element;
};

struct RegionRun {
  TempRecordSet temp;
  std::vector<RegionEntry> entries;                   // by region number
  std::unordered_map<std::string, int32_t> index;     // name -> number
  // Region numbers by the address of the name the parser gives (stable for
  // a declared name), so that a record needs no name built and looked up.
  std::unordered_map<const char*, RegionNameSlot> slots;
  // The slots last used, by a hash of the address (null: none).
  struct SlotCache {
    const char* address = nullptr;
    RegionNameSlot* slot = nullptr;
  };
  SlotCache recent[256];
  // Set while the pass pulls one document's events, during which the
  // parser keeps the names it gives in place: an address found among the
  // slots last used (all forgotten when this is set) is then taken
  // without its characters being compared again.
  bool names_in_place = false;
  FrgacText* fragmented = nullptr;  // positions mapped through its tables
  bool verbose = false;
  time_t start_time = 0;
  double (*size_kb)() = nullptr;  // the parse's size for progress lines
  std::string name_buffer;
};

// Kinds of region_record_write.
enum : int { REGION_START_TAG = 1, REGION_ELEMENT = 2, REGION_ATTRIBUTE = 3 };

// Names the region (with the numbered nesting for elements) and writes one
// record. 0; -1 when a temporary file cannot be made (the caller reports
// it); -2 after 220004 (the 2048th name, or a tenth temporary file); -3
// after a reported write failure.
int region_record_write(RegionRun* run, int kind, const char* name, int64_t start,
                        int64_t end);
// The number of the region of that name, -1 when there is none.
int32_t region_find(const RegionRun* run, const std::string& name);
// Sets names_in_place (see RegionRun); setting it forgets the slots last
// used, so that each address is checked once more at its first record.
void region_names_in_place(RegionRun* run, bool in_place);

// ---------------------------------------------------------------------------
// The pass

// The whole of region mode after its set-up: the temporary files made (the
// clean-up list told of each), the document parsed (start_document, then
// its events, or the documents of a meta-structure file), every start tag,
// element and attribute value recorded, then region_write_files with the
// DTD's element levels. A temporary file that cannot be made ends the run
// with front message 7 and status 1. 0, or 1 after a reported failure of
// region_write_files (the data dictionary and region files as they were).
int region_pass(const std::string& dd_file, const std::string& base, int32_t version);

// The meta-document branch of the pass: when the document is read through a
// multi-file set and a meta-structure file is named, prepares each document
// the file selects as the per-document runner does and calls each_document
// (which pulls its events to the end), then returns 1; returns 0 when there
// are no meta documents and the pass reads the document as it is.
int region_meta_documents(void (*each_document)());

// ---------------------------------------------------------------------------
// Region files and data-dictionary entries

struct RegionWriteOptions {
  std::string dd_file;  // the data dictionary (with ".dd")
  std::string base;     // region files "<base><n>.rgn"
  int32_t version = REGION_RUN_VERSION;
  bool verbose = false;
  bool merge = false;  // -J
  int64_t file_limit = REGION_FILE_LIMIT;
  // The DTD's element names with their levels, in the order element_levels
  // gives them.
  std::vector<std::pair<std::string, int32_t>> levels;
};

// The start of a region run, before the data dictionary is read: the
// interrupting signals handled, the data dictionary locked for the run
// (another run holding it: 80032, status 1), and the commit or the work
// files of a run that has ended finished or undone and removed
// (commit_recover: the data dictionary's folder, the region files' folder
// and the temporary records' folder).
void region_run_begin(const std::string& dd_file, const std::string& base);
// Reads the data dictionary (its Regions section) as a check before the
// pass: 0, or 1 after 40032.
int region_dd_check(const std::string& dd_file);
// The region file name "<base><n>.rgn".
std::string rgn_file_name(const std::string& base, int32_t n);
// Lays the run's records out in region files (or merges them into
// "<base>0.rgn" with merge) and registers the regions in the data
// dictionary in element-level order. The temporary files must be closed.
// 0, or 1 after a reported failure, with the data dictionary and the
// region files as they were.
int region_write_files(const RegionWriteOptions& options, RegionRun* run);

// ---------------------------------------------------------------------------
// Pieces of region_write_files, shared by its layout and merge paths.

struct RegionListFile;
struct MadNode;

// A region file being written anew beside the old one.
struct RegionOutput {
  std::string target;         // the region file's name
  VqStream* fresh = nullptr;  // the new file
  int fd = -1;                // its descriptor
  std::vector<unsigned char> copy_buffer;  // of region_output_copy, kept
  int64_t unflushed = 0;  // bytes written since write-back was last started
};
// Makes the new file and writes its header: 0, or 1 after the report
// (the I/O layer's error report with the name, or 90027).
int region_output_open(RegionOutput* out, const std::string& target, int32_t version);
// Writes bytes at data offset `offset` (after the header): 0, or 1 after
// 60027.
int region_output_write(RegionOutput* out, int64_t offset, const void* bytes, size_t n);
// Copies n bytes of the open old region file from file offset `from` to
// data offset `offset` of the new one in large steps: 0, or 1 after 60028
// or 60027.
int region_output_copy(RegionOutput* out, int old_fd, const char* old_name, int64_t from,
                       int64_t offset, int64_t n);
// Syncs and closes the new file and hands it to the commit, which puts it
// in place with the data dictionary:
// 0, or 1 after 60027.
int region_output_commit(RegionOutput* out);

// The replace path: lays the run's regions out after the regions that the
// region files keep (those of other names, packed from 0 in offset order),
// moving on to the next region file past the limit, and writes and commits
// every region file it touches. The file entries of the touched files get
// their new offsets (regions of the run's names count -1: not rewritten).
// 0, or 1 after the report.
int region_layout_write(const RegionWriteOptions& options, RegionRun* run,
                        RegionListFile* files, int32_t file_count,
                        std::vector<int32_t>* touched);
// The merge path (-J): merges the run's pairs into "<base>0.rgn", listed as
// files[current], writing the merged file packed anew and committing it.
// The file entry gets the new offsets and counts; the run's entries their
// offsets and counts. 0, or 1 after the report.
int region_merge_write(const RegionWriteOptions& options, RegionRun* run,
                       RegionListFile* files, int32_t file_count, int32_t current);
