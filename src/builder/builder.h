// vexabld, the index builder: options, the build control record, the pass
// bookkeeping shared by the phases, the driver, and the builder's own
// data-dictionary getters.
//
// One build per process: parse the command line (ReadArgsB), size the
// memory budget (Initialize), set up the control record, the text and the
// optional index-points file and region set (SetUp), find the index file
// name (IndexNameFromDD), create the work files, then Phase I (passes, each
// followed by its skip counting), Phase II (final pieces, the merged index
// file), the data-dictionary update, removal of the work files, clean-up.
//
// Text positions are 1-based and count raw bytes: position p is byte
// p - 1 - Offset of the file, Offset being the first text record's offset,
// so the first byte of the file is position Offset + 1 and the text size is
// the file size + Offset. Only the first text record is indexed.
//
// All state is process-wide and lives in one BuildState record
// (build_state()); single-threaded.
#pragma once

#include <array>
#include <initializer_list>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dd/dd.h"
#include "io/vqio.h"
#include "madmt/madmt.h"

struct MfsReader;
struct IntList;

// ---------------------------------------------------------------------------
// Options

enum : int {
  BASE_MAP_BASIC = 0,
  BASE_MAP_NONE = 1,
  BASE_MAP_ISOLATIN = 2,
  BASE_MAP_SGML = 3,
};

enum : int64_t {
  BUILD_DEFAULT_MEMORY = 512000,
  BUILD_RESERVED_MEMORY = 409600,  // kept out of the two halves
  BUILD_MIN_USABLE = 102400,       // usable memory must exceed 102399
  BUILD_PASSES_WARNED = 20,        // more passes than this are warned about
};

struct BuildOptions {
  int64_t memory = BUILD_DEFAULT_MEMORY;  // -m, bytes
  int verbose = 0;                        // -v
  int restart = 0;                        // -r
  int base_map = BASE_MAP_SGML;           // -c
  bool map_given = false;                 // -c with a value
  std::optional<std::string> out_name;    // -o
  std::string out_base;                   // -o, else derived
  std::string int_name;                   // -i: pass, counter and final-pass files
  std::string merge_name;                 // -s: skip files
  std::optional<std::string> region_name; // -d
  std::optional<std::string> dd_name;     // -D
  std::optional<std::string> text_name;   // -t
  std::optional<std::string> index_name;  // -I
  std::string dd_update;                  // data dictionary to update
  std::optional<std::string> index_file;  // unset with -D and no -o until read
  std::string log_file;
  std::optional<std::string> points_file;  // -p
};

// ---------------------------------------------------------------------------
// Build control

// One <Map> of a data dictionary's Mappings: from and to, each a single
// value or a range (first, last).
struct CharMapping {
  int32_t from_is_range;
  int32_t to_is_range;
  int32_t from_first;
  int32_t from_last;
  int32_t to_first;
  int32_t to_last;
};

// Owns its texts, records and lists: released by the destructor (addfrcntl
// deletes a record made by Initialize).
struct BuildControl {
  BuildControl() = default;
  BuildControl(const BuildControl&) = delete;
  BuildControl& operator=(const BuildControl&) = delete;
  ~BuildControl();

  int32_t alphabet_size = 256;
  int32_t longest_match = 0;  // <LongestMatch><Length>
  int32_t resolution = 0;     // <LongestMatch><Resolution>
  std::vector<unsigned char> pair_table;  // n x n, 1 where a point may start
  int32_t definition_count = 0;
  std::vector<std::string> word_starters;
  std::vector<std::string> stop_words;   // mapped form, at most 32
  std::array<unsigned char, 256> map{};  // map[b]: what byte b becomes, 0 dropped
  std::vector<CharMapping> mappings;     // as read from the data dictionary
  std::array<int32_t, 256> classes{};    // class of each character
  int32_t class_count = 0;               // n
  std::vector<std::array<uint32_t, 256>> stop_masks;  // rows 0..L
  int32_t integrity_check = 0;           // as read (0 when absent)
  FileInfo index_file{};                 // the index's record (filled by the update)
  FileInfo* texts = nullptr;             // text records (addgi_files_free)
  int32_t text_count = 0;
  std::optional<std::string> index_desc;
  std::optional<std::string> init_file;
  int32_t file_count = 0;                // <File> entries of the index read
  std::array<FileInfo*, 3> s_vector{};   // FastFind files; kept, not used
  std::optional<std::string> aux_path;   // kept, not used
  std::string index_name;                // <Name> of the <Index> read
};

// Built-in control: WordStarters, stop words (none) and the character map
// of a base map.
void SetDefCntl(BuildControl* control, int base_map);
// Control from a data dictionary's <Index> entry (the one named, else the
// first) and its text records; the tree read is kept in the build state for
// the update. 0 control read, 3 no <Index> entry (built-in control kept), 4
// no text information, 9 not a data dictionary.
int ReadDataDict(const char* dd_name, const char* index_name, BuildControl* control);
// Stop-word masks, then MakeIdxMap. 0 or the severity of a report.
int StopWord(BuildControl* control);
// Compiles the WordStarters into classes and the pair table: n, or -1
// after a report.
int32_t MakeIdxMap(BuildControl* control);
// The integrity hash of the map and stop words (no definitions).
int32_t pitclhash(const BuildControl* control);
// Frees the record and everything it owns.
void addfrcntl(BuildControl* control);

// The built-in WordStarters of a base map, and its character map.
std::vector<std::string> builtin_word_starters(int base_map);
void builtin_char_map(int base_map, unsigned char map[256]);
// Whether c is an index point after p (both mapped characters).
inline bool is_point_start(const BuildControl* control, unsigned char p, unsigned char c) {
  const int32_t n = control->class_count;
  return control->pair_table[static_cast<size_t>(control->classes[p]) * n +
                             static_cast<size_t>(control->classes[c])] != 0;
}

// ---------------------------------------------------------------------------
// The builder's data-dictionary getters. They take the tree root (and then
// descend DB > Indices > the first Index, or DB > Regions > the first
// Region) or the entry itself; a node that is not the expected tag reports
// 40000 with the getter's id (15). They live in their own namespace: the
// shared library has getters of the same family, and one of the same name
// (addgiri) with other arguments.

namespace bldgi {

struct FastRegion {
  std::string index_name;  // <IndexName>
  FileInfo file{};         // <File>
};

// The <Index> whose <Name> equals index_name (exact); absent: 40013 with
// the index name and dd_name (16), null.
MadNode* addgiin(MadNode* tree, const char* index_name, const char* dd_name);
// Name, Desc, InitFile (unset when absent), the number in IntegrityCheck (0
// when absent) and the FileInfo of <File> (zeroed when absent; *file_count
// 0 or 1). 0, or the severity of a report.
int addgiic(MadNode* index, std::optional<std::string>* name, std::optional<std::string>* desc,
            std::optional<std::string>* init_file, int32_t* integrity, FileInfo* file,
            int32_t* file_count);
// <LongestMatch><Length> and <Resolution>: the LongestMatch node, or null
// when there is none (outputs untouched).
MadNode* addgilr(MadNode* index, int32_t* length, int32_t* resolution);
// The <IndexPt> values; none: 40016 with "addgiip" (severity 0), empty.
std::vector<std::string> addgiip(MadNode* index, bool* found);
// The <Ignore> values under <Mappings><StopWords>.
std::vector<std::string> addgisw(MadNode* index);
// Fills control->map from <Mappings> (only when it has a <Map>) and
// control->mappings with the items in document order. 0, or the severity.
int addgicm(MadNode* index, BuildControl* control);
// The <File> records of <FastFind>'s FastFindIndex, FastFindWordList and
// FastFindCompression (null when absent; free with addgi_files_free(p, 1)).
// 1 when <FastFind> exists, else 0.
int addgisv(MadNode* index, std::array<FileInfo*, 3>* files);
// The index's <AuxPath> value, unset when absent.
std::optional<std::string> addgiau(MadNode* index);
// The Region whose <Name> equals region_name (null when none): Desc, Count,
// pairs flag (Type exactly "pairs"), its File records and its FastRegion
// entries. Outputs given as null are skipped.
MadNode* addgiri(MadNode* tree, const char* region_name, std::optional<std::string>* desc,
                 long* count, int32_t* pairs, FileInfo** files, int32_t* file_count,
                 std::vector<FastRegion>* fast);
// The FastRegion node and its FastRegion siblings. 0 or the severity.
int addgibv(const MadNode* first, std::vector<FastRegion>* list);
// Releases the records of a FastRegion list.
void fast_regions_free(std::vector<FastRegion>* list);

// One character specification of a mapping at *p (advanced past it):
// "&name." (amp, backspace, lt, gt, newline, return, tab), "U+" hex, a
// backslash and three octal digits, or one character. line and text are
// for messages. The value, or -1 after a report.
long mapping_character(const char** p, const char* text, int32_t line, int alphabet);

}  // namespace bldgi

// ---------------------------------------------------------------------------
// Process state

struct BuildState {
  BuildOptions* options = nullptr;
  BuildControl* control = nullptr;
  MadNode* dd_tree = nullptr;  // the data dictionary read (kept for the update)
  int lock = 0;                // lock descriptor, 0 none

  // Pass bookkeeping (Phase I and II).
  int32_t pass_start = 0;      // position of the pass's first character read
  int32_t pass_end = 0;        // position of the pass's last taken point;
                               // set-up leaves the first text record's
                               // Offset here (a plain file), so that pass 1
                               // starts at position Offset + 1
  unsigned char first_char = ' ';
  unsigned char last_char = ' ';
  int64_t text_size = 0;       // bytes of the text, Offset included
  int32_t point_count = 0;     // of the current pass
  int32_t max_point_count = 0;
  int64_t total_points = 0;

  // Memory: usable bytes, text buffer (usable/2) and point array (usable/8
  // entries); allocated once by Initialize.
  int64_t usable = 0;
  unsigned char* text_buffer = nullptr;
  int64_t buffer_size = 0;
  int32_t* points = nullptr;
  int64_t point_slots = 0;

  VqStream* points_stream = nullptr;  // -p
  bool points_exhausted = false;
  MfsReader* mfs = nullptr;           // the open multi-file set

  // Region build (-d): the pairs, made 1-based (start, end from word 1),
  // their number, and the current region of the pass.
  IntList* regions = nullptr;
  int32_t region_count = 0;
  int32_t region_index = 0;

  // A plain text file as set-up found it (size, modification time in
  // nanoseconds, inode), checked again before the index is written.
  bool text_stamped = false;
  int64_t text_file_bytes = 0;
  int64_t text_mtime_ns = 0;
  uint64_t text_inode = 0;

  // The build log held open and locked from set-up to the end (-1 none),
  // whether a step after the first log line was logged, and whether the
  // work files of a run that ends before that are removed at exit.
  int log_fd = -1;
  bool steps_logged = false;
  bool early_cleanup = false;
};

BuildState& build_state();

// ---------------------------------------------------------------------------
// Driver

// The command line; null after a report (the installed printer has then
// ended the program).
BuildOptions* ReadArgsB(int argc, char** argv);
// The control record and the memory budget. 0 or the severity.
int Initialize();
// Control, data dictionary, text records, text size, index-points file,
// multi-file set and region set. 1, or 0 after a report.
int SetUp();
// Index file name from the data dictionary (only with -D). 0 or severity.
int IndexNameFromDD(const char* dd_name, const char* index_name);
// Creates the counter file <int-name>.i0 and (without -r) the log empty.
// 0 or the severity.
int CreateWorkFiles();
// Locks the build log (100036 when another build of the same output base
// holds it; with -r a missing log is 100002) and, without -r, empties it.
// false after a report.
bool lock_build_log();
// Removes, at exit, the work files of a fresh build that ends before it
// logged its first step.
void arm_early_cleanup();
// The driver: 0, or 1 when the data-dictionary update failed.
int BuildIndex(int argc, char** argv);
// CPU seconds used so far.
double addcputime();
// Releases everything at the end of a build.
void CleanUp();

// The size of the first text record's text (Offset included), or -1 after
// a report. A plain file is stamped for CheckTextUnchanged.
int64_t text_record_size(const FileInfo* record);
// Ends the run when the plain text file is no longer the one set-up
// stamped (an index of it would name the wrong text): the work files are
// removed and nothing else is touched. Called before the index is written.
void CheckTextUnchanged();

// ---------------------------------------------------------------------------
// Phases (their own files; the driver calls them in this order)

// Phase I pass: the end-of-text flag; *point_count gets the points taken.
int BuildPass(int pass, int32_t* point_count);
int BuildRegionPass(int pass, int32_t* point_count);
// Rebuilds the text buffer of an earlier pass into target.
void RebuildPassBuffer(int32_t start, int32_t end, int first_char, unsigned char* target,
                       long points_offset);
// Skip counts of pass a against every earlier pass.
void CountSkips(int pass, int32_t point_count);

// Resume state of a restart (-r) read from the log.
struct RestartState {
  int phase = 0;        // 0 Phase I, 1 last pass written but not counted, 2 Phase I done
  int passes = 0;
  int finals_done = 0;  // final pieces already written
  int32_t last_point_count = 0;
  int last_pass = 0;    // the last pass reached the end of the text
};
void RestartFromLog(RestartState* state);
// Phase II: final pieces of passes done+1..n; the pass count.
int FinalPass(int passes, int finals_done);
void WriteIndex(int passes);
// Data-dictionary update: 1 written, 0 failed.
int WriteDD();
void RemoveTempFiles();
// The data-dictionary update's entries.
//
// The mappings of an <Index>: the character map, the stop words, and the
// <Map> items read from the data dictionary (none for a built-in map, whose
// differences from the default are written instead).
struct IndexMappings {
  const unsigned char* map;                     // 256 bytes
  const std::vector<std::string>* stop_words;   // may be null
  const CharMapping* items;                     // may be null
  int32_t item_count;
};

// One (tag id, value) of an <Index> entry: Name, Desc, InitFile (text),
// File (a FileInfo), IndexPoints (the definitions), Mappings, LongestMatch
// (length, resolution), IntegrityCheck (a number).
struct IndexEntryValue {
  int32_t tag_id;
  const char* text = nullptr;
  const FileInfo* file = nullptr;
  const std::vector<std::string>* list = nullptr;
  const IndexMappings* mappings = nullptr;
  long numbers[2] = {0, 0};

  IndexEntryValue(int32_t id, const char* t) : tag_id(id), text(t) {}
  IndexEntryValue(int32_t id, const FileInfo* f) : tag_id(id), file(f) {}
  IndexEntryValue(int32_t id, const std::vector<std::string>* l) : tag_id(id), list(l) {}
  IndexEntryValue(int32_t id, const IndexMappings* m) : tag_id(id), mappings(m) {}
  IndexEntryValue(int32_t id, long n) : tag_id(id), numbers{n, 0} {}
  IndexEntryValue(int32_t id, int n) : tag_id(id), numbers{n, 0} {}
  IndexEntryValue(int32_t id, long a, long b) : tag_id(id), numbers{a, b} {}
};

// Merges DB > Indices > Index (keyed by its Name = index_name) with the
// entries into the tree; a missing Indices goes after the last Text. 0, or
// 15 after 10002/10006 for a tag it does not handle (nothing merged).
int addmdmi(MadNode* tree, const char* index_name, std::initializer_list<IndexEntryValue> entries);
// Merges DB > Text with the text records, as <Files> (files_tag DD_Files,
// one <File> per record) or as the multi-file text of the first record
// (DD_MfsFiles), replacing the one that stands; then the pairs Name, Desc
// (text), DiffFinder (text) and AuditTrail (a SysName). 0, or 15 after
// 10002/10006 (nothing merged).
int addmdmt(MadNode* tree, int32_t files_tag, const FileInfo* records, int32_t count,
            std::initializer_list<DdEntryValue> pairs = {});
// A byte as a mapping writes it: "&amp." "&backspace." "&lt." "&gt."
// "&newline." "&return." "&tab." for the seven named characters, nothing
// for 0, a backslash and three octal digits for bytes above 127 and other
// non-printable bytes, else the character (the blank too: it reads back).
std::string mapping_text(int byte);
// Whether the index is written as a fragmented file: a data dictionary was
// read and its collection is exactly one text, and that one fragmented.
bool fragmented_index();
// At set-up, before anything is written: the fragment directory of a
// fragmented index ("<index file>.frg") must not exist yet (60012,
// severity 6). 0 or the severity.
int CheckFragmentDir();
// Ends the run (100034) when a file the build writes is a file it reads
// or another file it writes, and (100035) when a -t build would replace a
// data dictionary that holds more than such a build writes. Called after
// set-up, before any file is made or changed.
void CheckOutputsAreNotInputs();

// The data dictionary's lock: a descriptor, or 0 when it names none.
int addgetlock(const char* dd_name);
// <Locks>: its Semaphore, LockIndex, NextID and the <File><SysName> of the
// region named "Locks"; the Locks node, or null when there is none (40000
// with "addgilo" for a node that is not Locks).
MadNode* addgilo(MadNode* tree, std::optional<std::string>* semaphore,
                 std::optional<std::string>* lock_index, long* next_id,
                 std::optional<std::string>* lock_file);
// Opens the semaphore file read-write and takes a non-blocking lockf lock:
// the descriptor ("lokcfgl: open failed", "lokcfgl: lockf failed", 16).
int lokcfgl(const char* path);
// Closes the lock's descriptor ("lokcffl: close failed", 16).
void lokcffl(int fd);
