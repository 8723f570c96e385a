// Multi-file sets: many member files read as one logical text.
//
// Each member is read through a chain of stackable streams (MfsStream). The
// innermost stream of every chain is "mfsio", which reads the member file;
// every further stream reads the stream below it (its parent) and transforms
// the data. A chain is described by a filter list, a text such as
// "double|half" or "sys(tr a-z A-Z)", compiled once per list and shared by
// every member that uses it.
//
// Formats: "mfsio" (buffered reading), "double" (every byte twice), "flat"
// (whole-buffer fills), "iflat" (flat; only the whole member may be
// retrieved), "half" (every second byte), "meta" (a tagged envelope around
// the member) and "sys" (a shell command over temporary files).
//
// Position records: a stream's record is one 32-bit word, its position in
// its buffer, followed by the saved position underneath it (the parent's
// record, or the 32-bit file offset at the start of the buffer). Control
// command 1 tells a record's size; records are plain byte arrays.
//
// Offsets within a member are off_t here; logical addresses of a set are
// 32-bit and the set code checks that they fit.
//
// Single-threaded. The stream state is per stream; the chain of a member is
// opened innermost first and closed outermost first (mfs_chain_open /
// mfs_chain_close), and its status is asked of the outermost stream's status
// operation, which passes a parent's failure up.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "io/vqio.h"

// ---------------------------------------------------------------------------
// Stackable streams

// Status values of a stream.
enum : int32_t {
  MFS_STATUS_OK = 0,
  MFS_STATUS_NO_FILE = 1,  // the member file could not be opened
  MFS_STATUS_FAILED = 2,   // the chain failed (a shell command, a temporary
                           // file, a read or write error)
};

// Control commands.
enum {
  MFS_CTL_RECORD_SIZE = 1,  // argument int32_t*: receives the record size
  MFS_CTL_RESERVED = 2,     // asked by no caller; -1
  MFS_CTL_CHANGED = 3,      // argument const int32_t*: the date recorded at
                            // build time; 1 when the file's time differs
};

// Set-option 1 hands the member's map entry to the stream ("meta" keeps it).
enum { MFS_OPT_ENTRY = 1 };

enum { MFS_BUFFER_SIZE = 4096, MFS_HALF_BUFFER_SIZE = 8192 };

struct MfsStream {
  const char* name;   // the format's name
  MfsStream* parent;  // null when the stream reads the member file itself
  char* argument;     // owned (malloc), or null: the text in parentheses
  void* state;        // the format's private record, owned
  int32_t status;     // MFS_STATUS_*; most operations clear it first

  // Start reading a member (the file is opened when first needed): 0 or -1.
  int (*open)(MfsStream* s, const char* file);
  // Stop reading it.
  int (*close)(MfsStream* s);
  // Copies up to n bytes of the stream's output; the count (0 at the end).
  long (*read)(MfsStream* s, void* buffer, long n);
  // Next byte (0-255), or -1; peek does not advance.
  int (*getc)(MfsStream* s);
  int (*peek)(MfsStream* s);
  // Refills the buffer: its first byte (taken when advance is set), or -1.
  int (*fill)(MfsStream* s, int advance);
  // Size that a retrieval of count bytes at offset of a member of total
  // bytes yields; -1 when it cannot be retrieved.
  off_t (*span)(MfsStream* s, off_t offset, off_t count, off_t total);
  // Positions at an offset of this stream's output: 0 or -1.
  int (*seek)(MfsStream* s, off_t offset);
  // Returns to / stores a position record (the size control 1 tells).
  int (*setpos)(MfsStream* s, const unsigned char* record);
  int (*getpos)(MfsStream* s, unsigned char* record);
  int (*ctl)(MfsStream* s, int command, void* argument);
  int (*setopt)(MfsStream* s, int option, void* value);
  // Frees the stream, its state, buffer and argument (not its parent).
  int (*destroy)(MfsStream* s);
  // Status of the chain down to this stream: a parent's failure is copied
  // into this stream's status.
  int (*get_status)(MfsStream* s);

  unsigned char* buffer;  // owned (malloc)
  int32_t buffer_size;    // 4096; "half" 8192; "meta" may enlarge it
  int32_t count;          // bytes in the buffer
  int32_t position;       // next byte in the buffer
};

// A stream format: its name and its constructor. A constructor gives null,
// without a message, when it cannot allocate.
using MfsConstructor = MfsStream* (*)(MfsStream* parent);
struct MfsFormat {
  const char* name;
  MfsConstructor constructor;
};

// The built-in formats in this order: "meta", "mfsio", "flat", "iflat",
// "half", "double", "sys", then a row with a null name.
const MfsFormat* mfs_builtin_formats();

MfsStream* mfsio_new(MfsStream* parent);
MfsStream* mfsio_double_new(MfsStream* parent);
MfsStream* mfsio_flat_new(MfsStream* parent);
MfsStream* mfsio_iflat_new(MfsStream* parent);
MfsStream* mfsio_half_new(MfsStream* parent);
MfsStream* mfsio_meta_new(MfsStream* parent);
MfsStream* mfsio_sys_new(MfsStream* parent);

// Replaces the stream's argument by a copy of text (null: none).
void mfs_stream_set_argument(MfsStream* s, const char* text);

// Chains, given by their outermost stream.
// Opens every stream of the chain with the file name, innermost first; the
// first -1 ends the opening with -1. Otherwise the outermost stream's result.
int mfs_chain_open(MfsStream* outer, const char* file);
// Closes every stream, outermost first; -1 when any close failed, else 0.
int mfs_chain_close(MfsStream* outer);
// Destroys every stream, outermost first (arguments included).
void mfs_chain_destroy(MfsStream* outer);
// Sets an option on every stream of the chain, so a format below the
// outermost one ("meta" under "double") gets it too.
void mfs_chain_setopt(MfsStream* outer, int option, void* value);

// ---------------------------------------------------------------------------
// Shell runner and the splitter of "sys" arguments

// Runs "(command) > output 2>&1" with /bin/sh -c in a child process and
// waits for it: the wait status (0 when the command exited with 0), 1 for a
// null command, -1 when the child could not be made or waited for. A child
// whose shell cannot be started ends with status 127.
int run_shell(const char* command, const char* output);

// Splits text in place at separators; a quote character opens a run in which
// separators do not split; the quotes are removed (the closing one becomes a
// blank and ends the field's text). Scanning stops at a terminator or NUL.
// Appends the field pointers to fields; returns their number.
int sys_split(char* text, const char* separators, const char* quotes, const char* terminators,
              std::vector<char*>& fields);

// ---------------------------------------------------------------------------
// Growable tables of the multi-file modules: rows in a vector; the step of
// growth and the initial capacity are kept as given. Insertion at a position
// shifts the later rows up (a position beyond the count, or negative,
// appends); deletion at a position shifts them down (outside 0..count-1:
// nothing), and does not free the removed row's owned data.

template <class Row>
struct MfsTable {
  std::vector<Row> rows;
  int32_t step = 0;
  int32_t count() const { return static_cast<int32_t>(rows.size()); }
};

template <class Row>
void mfs_table_insert(MfsTable<Row>* table, const Row& row, int32_t position) {
  if (position < 0 || position >= table->count()) {
    table->rows.push_back(row);
  } else {
    table->rows.insert(table->rows.begin() + position, row);
  }
}

template <class Row>
void mfs_table_delete(MfsTable<Row>* table, int32_t position) {
  if (position < 0 || position >= table->count()) return;
  table->rows.erase(table->rows.begin() + position);
}

// A new table whose rows are reserved for capacity; a capacity of 0 or less
// is an allocation report of severity 14 naming source and line (it does not
// return).
void mfs_table_check_capacity(int32_t capacity, size_t row_size, int line, const char* source);
template <class Row>
MfsTable<Row>* mfs_table_new(int32_t capacity, int32_t step, int line, const char* source) {
  mfs_table_check_capacity(capacity, sizeof(Row), line, source);
  auto* table = new MfsTable<Row>;
  table->rows.reserve(static_cast<size_t>(capacity));
  table->step = step;
  return table;
}

// ---------------------------------------------------------------------------
// Filter lists and filter types

struct MfsFilterList {
  int32_t id;
  std::string text;  // the list, such as "double|half"
  MfsStream* chain;  // outermost stream of the compiled chain, or null
};
using MfsFilterListTable = MfsTable<MfsFilterList>;
using MfsFilterTypeTable = MfsTable<MfsFormat>;

// Filter-list table. Freeing a row destroys its chain.
MfsFilterListTable* mfs_fl_new(int32_t capacity, int32_t step);
void mfs_fl_free(MfsFilterListTable* table);
void mfs_fl_insert(MfsFilterListTable* table, const MfsFilterList& row, int32_t position);
void mfs_fl_delete(MfsFilterListTable* table, int32_t position);
// Appends the rows of an array ended by a row whose id is negative.
void mfs_fl_add_all(MfsFilterListTable* table, const MfsFilterList* rows);
// The row whose text equals text, or null; its position, or -1.
MfsFilterList* mfs_fl_find(MfsFilterListTable* table, const char* text);
int32_t mfs_fl_index(const MfsFilterListTable* table, const char* text);
// Position of the row with that id (binary search on ascending ids), or -1.
int32_t mfs_fl_find_id(const MfsFilterListTable* table, int32_t id);
// Writes one filter-list line per row, in table order: 1, or 0 when a write
// failed or a list holds a '<' (it could not be read back).
int mfs_fl_write(const MfsFilterListTable* table, VqStream* stream);
// Compiles every row that has no chain yet, in order; 1.
int mfs_fl_compile_all(MfsFilterListTable* table, const MfsFilterTypeTable* types);
// Compiles the row's list into a chain with "mfsio" innermost (an old chain
// is destroyed first; the empty list gives "mfsio" alone); 1. An unknown or
// empty format name ends the program through fatal_exit ("FATAL: ...",
// status 255); a constructor that cannot allocate is a severity-14 report.
int mfs_compile_filter_list(MfsFilterList* row, const MfsFilterTypeTable* types);
// The work of registering a set's formats: appends the built-in formats to
// types unless they are there already, then compiles the lists that have no
// chain yet. Safe to call again (nothing is appended or recompiled); 1.
int mfs_register_format_tables(MfsFilterListTable* lists, MfsFilterTypeTable* types);

// Filter-type table.
MfsFilterTypeTable* mfs_ft_new(int32_t capacity, int32_t step);
void mfs_ft_free(MfsFilterTypeTable* table);
void mfs_ft_insert(MfsFilterTypeTable* table, const MfsFormat& row, int32_t position);
void mfs_ft_delete(MfsFilterTypeTable* table, int32_t position);
// Appends the rows of a format table up to its row with a null name; 1.
int mfs_ft_add_all(MfsFilterTypeTable* table, const MfsFormat* rows);
// The row named name, or null; its position, or -1.
const MfsFormat* mfs_filtype_find(const MfsFilterTypeTable* table, const char* name);
int32_t mfs_ft_index(const MfsFilterTypeTable* table, const char* name);
// One line "<FilterType> %-25s %p </FilterType>\n" per row.
void mfs_ft_dump(const MfsFilterTypeTable* table, VqStream* stream);

// ---------------------------------------------------------------------------
// Multi-file sets: map entries, the set handle, its files and tables
//
// A set is stored as files sharing a base path: the file map BASE.fmp
// (tagged text, one entry per member), the compiled map BASE.xmp (data-file
// header of type 6, a 512-byte block, then {start, offset} word pairs), the
// filter lists BASE.lmp (tagged text) and, optionally, user data BASE.dat
// (tagged text). Entries are not kept in memory when reading: the handle
// keeps the compiled map and loads one entry at a time from the file map.
//
// One set and one reader are in use at a time: the process-wide state of
// these modules lives in one record (see mfs_reset_state).

// Views of a member: which of its three filter lists is read.
enum { MFS_VIEW_SEARCH = 0, MFS_VIEW_DISPLAY = 1, MFS_VIEW_RAW = 2 };

// One member. An entry owns its texts. A member of length 0 has
// end == start - 1. A cleared entry has start, end and date 0, an empty
// file name, no fields and the three view ids -1.
struct MfsMapEntry {
  int32_t start = 0;   // first logical address
  int32_t end = 0;     // last logical address (inclusive)
  std::string file;    // path of the member file
  int32_t date = 0;    // modification time when the set was built
  int32_t search_view = -1;   // filter-list ids of the three views
  int32_t display_view = -1;
  int32_t raw_view = -1;
  std::string display_fmt;
  bool has_data_tag = false;  // default data tag given
  std::string default_data_tag;
  bool has_fields = false;    // user fields given
  std::string fields;
};
// The filter-list id of the entry for a view (-1 for an unknown view).
int32_t mfs_entry_view_id(const MfsMapEntry* entry, int view);

// Compiled map rows: the logical start of a member and the byte offset of
// its entry in the file map. The last row is a sentinel {length of the set,
// size of the file map}.
struct MfsXmapRow {
  int32_t start;
  int32_t offset;
};
using MfsXmapTable = MfsTable<MfsXmapRow>;
using MfsMapTable = MfsTable<MfsMapEntry>;

// User-data index: member file name and the offset of its record in the
// ".dat", sorted by name after loading; a sentinel row {"", end} follows
// when any record was read.
struct MfsUserDataRow {
  std::string name;
  int32_t offset;
};
using MfsUserDataIndex = MfsTable<MfsUserDataRow>;

struct MfsMapFileModule;

// An open set.
struct MfsHandle {
  std::string dir;      // directory of the set files; empty for none
  std::string base;     // base path of the set files
  std::string prefix;   // put before member names when building; empty: none
  int32_t view = MFS_VIEW_SEARCH;
  void* module_state = nullptr;  // state of the map-file module
  int32_t keep_entry = 0;        // when set, loaded entries are not freed
  MfsMapEntry* current_entry = nullptr;  // the entry loaded last
  bool current_owned = false;    // current_entry came from the module (not a
                                 // map-table row) and is freed on release
  MfsXmapTable* xmap = nullptr;
  MfsMapTable* map = nullptr;    // whole entries, used while building
  MfsFilterListTable* filter_lists = nullptr;
  MfsFilterTypeTable* filter_types = nullptr;
};

// Opening, closing, creating and removing a set. Failures to open, create,
// write or remove a set file are reported at severity 16; a compiled map or
// file map that does not agree with the others at severity 15 (75013,
// 75019, 75021); a compiled map of another type at 13. Under the suite's
// printers every one of them ends the program; under a handler that
// returns, the call gives null or 0.
MfsHandle* mfs_open(const char* dir, const char* base);
void mfs_close(MfsHandle* handle);
int mfs_create(const char* dir, const char* base, int ignored, int32_t version);
int mfs_destroy(const char* dir, const char* base);
// Writes the file map, the filter lists and the compiled map: 1, or 0 after
// a reported failure.
int mfs_write(MfsHandle* handle, int32_t version);
int mfs_write_compiled_map(MfsHandle* handle, int32_t version);
// Appends the built-in formats to the handle's filter types (once) and
// compiles every filter list that has no chain yet; 1.
int mfs_register_formats(MfsHandle* handle);

// Loads entry i from the file map and makes it the current entry (the
// previous one is released first); the entry is handed to the outermost
// stream of the view's chain (set-option 1). Null when i is outside the
// set or the entry is malformed or disagrees with the compiled map (75019,
// severity 15).
MfsMapEntry* mfs_get_entry(MfsHandle* handle, int32_t i);
void mfs_release_entry(MfsHandle* handle);
void mfs_set_current_entry(MfsHandle* handle, MfsMapEntry* entry);
MfsMapEntry* mfs_get_current_entry(MfsHandle* handle);
void mfs_set_view(MfsHandle* handle, int view);
void mfs_set_prefix(MfsHandle* handle, const char* text);
void mfs_set_verbose(int flag);
void mfs_set_check_changed(int flag);
// Number of members (compiled-map rows less the sentinel; 0 when empty).
int32_t mfs_member_count(const MfsHandle* handle);
// "ID START END FILENAME SV DV RV FMT" table of every member.
void mfs_dump_map(MfsHandle* handle, VqStream* stream);

// Compiled map.
MfsXmapTable* mfs_xmap_new(int32_t capacity, int32_t step);
void mfs_xmap_free(MfsXmapTable* table);
// Reads a ".xmp" into table and its block (block_size bytes, at most 512):
// 1, or 0 after a reported failure (wrong type 60048; short or inconsistent
// file 75013). Swapped files are read with their words swapped.
int mfs_xmap_read(MfsXmapTable* table, VqStream* stream, int32_t* block, size_t block_size,
                  const char* name);
int mfs_xmap_write(const MfsXmapTable* table, VqStream* stream, const int32_t* block,
                   size_t block_size, int32_t version);
// Row i with start(i) <= address < start(i + 1), or -1.
int32_t mfs_xmap_lookup(const MfsXmapTable* table, int32_t address);
// 1 with the entry offset and last address of the member holding address.
int mfs_xmap_span(const MfsXmapTable* table, int32_t address, int32_t* offset, int32_t* last);
// A row whose start equals start, or -1.
int32_t mfs_xmap_find(const MfsXmapTable* table, int32_t start);

// File map. Tag ids 0 to 12 of MapEntryTagNames.
extern const char* const MapEntryTagNames[];
// Writes entry i: 1, or 0 when a write failed.
int mfs_map_write_entry(VqStream* stream, int32_t i, const MfsMapEntry* entry);
// Parses one entry from the stream: 1, or 0 at the end of the input or for
// a malformed entry (a bad number, a VQSize that is negative or reaches
// beyond the file, a malformed tag). The file name also goes to name when
// given. Bound by name ("mfs_parse_map_file_entry") by the map-file module.
int mfs_parse_map_file_entry(VqStream* stream, MfsMapEntry* entry, std::string* name);
MfsMapTable* mfs_map_new(int32_t capacity, int32_t step);
void mfs_map_free(MfsMapTable* table);
int mfs_map_load(MfsMapTable* map, VqStream* stream);
// Writes the map table as a file map, with the user fields of base.dat.
int mfs_map_write(MfsMapTable* map, const char* base, VqStream* stream);
// Reads a file map through callback, appending {start, offset} per entry
// and the sentinel: 1, or 0 when the file does not open.
using MfsMapReadCallback = int (*)(VqStream* stream, int32_t* start, int32_t* offset);
int mfs_map_read(MfsXmapTable* table, const char* dir, const char* name,
                 MfsMapReadCallback callback);
int mfs_fmp_entry_offset(VqStream* stream, int32_t* start, int32_t* offset);
int mfs_map_locate(const MfsMapTable* map, int32_t address, const char** file,
                   int32_t* offset);
MfsMapEntry* mfs_map_find_name(MfsMapTable* map, const char* name);
int32_t mfs_map_index_name(const MfsMapTable* map, const char* name);
int32_t mfs_map_bsearch_name(const MfsMapTable* map, const char* name);

// Filter-list file.
int mfs_fl_read_entry(VqStream* stream, int32_t* id, std::string* text);
int mfs_fl_load(MfsFilterListTable* table, VqStream* stream);

// User data.
int mfs_usrdata_write(const MfsMapTable* map, VqStream* stream);
// Reads one record: its member name and, appended to fields, the text
// between its VQFields tags. 1, or 0 at the end.
int mfs_usrdata_parse(VqStream* stream, std::string* name, std::string* fields);
using MfsUserDataReader = int (*)(VqStream* stream, std::string* name, int32_t* offset);
int mfs_usrdata_read_record(VqStream* stream, std::string* name, int32_t* offset);
MfsUserDataIndex* mfs_usrdata_new(int32_t capacity, int32_t step);
void mfs_usrdata_free(MfsUserDataIndex* index);
int mfs_usrdata_load(MfsUserDataIndex* index, const char* dir, const char* name,
                     MfsUserDataReader reader);
int32_t mfs_usrdata_find(const MfsUserDataIndex* index, const char* name);
// Replaces fields by the fields of the row's record; 1, or 0.
int mfs_usrdata_fetch(VqStream* stream, const MfsUserDataIndex* index, int32_t row,
                      std::string* fields);
int mfs_write_user_data(MfsHandle* handle, const char* name);

// ---------------------------------------------------------------------------
// Map-file module: how the handle reads the file map. Its stream calls and
// the entry parser are bound by name (vqio_lookup_name).

using MfsNameResolver = void* (*)(const char* name);

struct MfsMapFileModule {
  void* (*alloc)(size_t n);
  void (*free)(void* p);
  void* (*init)(const char* base, MfsNameResolver resolver, int no_open);
  int (*create)(void* state, const char* base);
  MfsMapEntry* (*read_entry)(void* state, int32_t offset);
  void (*free_entry)(void* state, MfsMapEntry* entry);
  int (*check)(void* state, MfsMapEntry* entry);
  void (*destroy)(void* state);
  int (*same_size)(void* state, const char* base, int32_t size);
  int32_t (*size)(void* state, const char* base);
};
MfsMapFileModule* mfs_mapfile_module_new();
void* mfs_resolve_name(const char* name);
// 1 when the state was initialised with its file map open.
int mfs_mapfile_has_map(const void* state);

// ---------------------------------------------------------------------------
// The logical-text reader
//
// A set read as one byte sequence through a 1024-byte buffer. The reader
// finds the member that holds an address, opens it through the chain of the
// handle's view and refills from it, moving on to the next member at its
// end. In the search view the logical text is the members' filtered texts
// back to back, member i at [start, end] of its entry.

enum { MFS_READER_BUFFER = 1024 };

struct MfsReader {
  MfsHandle* handle;  // owned
  int32_t base;       // logical address of buffer[0]
  int32_t index;      // next byte in the buffer
  int32_t fill;       // bytes in the buffer
  unsigned char buffer[MFS_READER_BUFFER];
};

// Opens the set (dir empty: base is the data dictionary's FileMap path) and
// compiles its chains; null after a reported failure. Opening and closing
// forget every position, so a new reader never takes an old one's.
MfsReader* mfs_file_open(const char* dir, const char* base, int ignored);
int mfs_file_close(MfsReader* reader);
// Positions the reader: the address, or 0 when the reader already stands
// there, or -1 (outside the set, or a reported failure), after which the
// reader is as it was.
int32_t mfs_file_seek(MfsReader* reader, int32_t address);
// Next byte (0-255), or -1 at the end of the set or after a reported
// failure; the byte is taken when advance is set.
int mfs_file_refill(MfsReader* reader, int advance);
inline int mfs_file_getc(MfsReader* reader) {
  if (reader->index < reader->fill) return reader->buffer[reader->index++];
  return mfs_file_refill(reader, 1);
}
int mfs_file_peek(MfsReader* reader);
// Up to n bytes from where the reader stands.
long mfs_file_read(MfsReader* reader, void* buffer, long n);
// Up to n bytes from address: their number, or -1 when none could be read.
// The reader then stands after them.
long mfs_file_read_at(MfsReader* reader, int32_t address, void* buffer, long n);
// The address of the next byte (base + index).
int32_t mfs_file_tell(const MfsReader* reader);
// The length of the logical text (0 for a set without bytes).
int32_t mfs_file_length(MfsReader* reader);
// The bytes a retrieval of n bytes at address yields through the view's
// chains; -1 (reported: 90107 when a chain allows only whole members).
// The reader's position is kept.
int32_t mfs_file_span_size(MfsReader* reader, int32_t address, int32_t n);
// Chooses the view (0 search, 1 display, 2 raw); a display or raw view
// allows one positioned read (seek) per choice. 0 for a null reader.
int mfs_file_set_view(MfsReader* reader, int view);
int mfs_file_set_prefix(MfsReader* reader, const char* text);
// The file of the member that holds the reader's address (valid until the
// next entry is loaded), or null.
const char* mfs_file_member_name(MfsReader* reader);

// Logical address of the next byte of the reader in use (-1 when none, or
// before its first seek).
int32_t mfs_current_address();

// Member level: member i, or the member that holds an address, read through
// the chain of the handle's view. A member that cannot be opened is 75036,
// a chain that fails 75047 (severity 13 when reading).
// 1 when member i is open in the view already (and force is 0), 0 when it
// was opened, -1 (reported) when it could not be.
int mfs_open_member(MfsHandle* handle, int32_t i, int force);
long mfs_read_span(MfsHandle* handle, int32_t address, void* buffer, long n);
long mfs_read_continue(MfsHandle* handle, void* buffer, long n);
long mfs_read_entry_part(MfsHandle* handle, int32_t address, void* buffer, long n);
long mfs_read_view_continue(MfsHandle* handle, void* buffer, long n);
int32_t mfs_span_size(MfsHandle* handle, int32_t address, int32_t n);
// Bytes the view's chain yields for the whole member holding address.
int32_t mfs_member_length(MfsHandle* handle, int32_t address);

// Ends the run (75026, severity 15) at the first member whose file's
// modification time differs from its map entry's date, or, when its search
// view reads the file unchanged, whose size differs from its entry's
// length. 0 when every member is as the set was built.
int mfs_check_members(MfsReader* reader);

// Resets the process-wide state of the set modules to its start values; the
// map-file module record stays. For use when no set is open (tests).
void mfs_reset_state();

// ---------------------------------------------------------------------------
// Building a set

int mfs_create_empty(int32_t version, const char* dir, const char* base);
// view_lists: the search, display and raw filter-list texts. Gives 1 when
// the group found a member.
int mfs_add_groups(MfsReader* reader, const char* dir, const char* pattern,
                   const char* display_fmt, const char* default_data_tag,
                   const char* const view_lists[3], int sort, int recursive);
int mfs_add_group(MfsHandle* handle, const char* dir, const char* pattern,
                  const char* display_fmt, const char* default_data_tag,
                  const char* const view_lists[3], int sort, int recursive);
int mfs_build_full(MfsReader* reader, VqStream* out, int32_t version);
int mfs_build_fast(MfsReader* reader, VqStream* out, int32_t version);
int mfs_build_user_data(MfsReader* reader, const char* name);
int mfs_compute_addresses(MfsHandle* handle, VqStream* out, int fast);
int mfs_size_directory(const char* dir, const char* pattern, const char* display_fmt,
                       const char* default_data_tag, int recursive, const char* prefix,
                       long* size);
int mfs_expand_directory(MfsMapTable* map, const char* dir, const char* pattern,
                         const char* display_fmt, const char* default_data_tag,
                         const int32_t view_ids[3], int sort, int recursive,
                         const char* prefix);
