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
// failed.
int mfs_fl_write(const MfsFilterListTable* table, VqStream* stream);
// Compiles every row that has no chain yet, in order; 1.
int mfs_fl_compile_all(MfsFilterListTable* table, const MfsFilterTypeTable* types);
// Compiles the row's list into a chain with "mfsio" innermost (an old chain
// is destroyed first); 1. An unknown format name or an empty list ends the
// program through fatal_exit ("FATAL: ...", status 255).
int mfs_compile_filter_list(MfsFilterList* row, const MfsFilterTypeTable* types);

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
