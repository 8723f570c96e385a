// Region tables and region files, and the backward integer streams that
// fill region blocks from their end.
//
// A region is a named set of text spans stored as 4-byte values in a region
// file and described by a Region entry of the data dictionary.
//
// RegionFile, the file layout (4-byte words in the writer's byte order):
//
//   bytes            content
//   0-511            PitasHeader (pitas/pitas.h) of type 1; the region
//                    programs write major 1, minor 0, extra value 0 and
//                    version 50300
//   512 + offset(r)  region r: count(r) 4-byte values; a "pairs" region
//                    holds (start, end) pairs, so its count is even
//
// Sorted by offset the regions lie back to back: offset(i) = offset(i-1) +
// 4 x count(i-1). A file's data end is its last region's offset + 4 x its
// count. Offsets are stored as unsigned 32-bit numbers, so a data end must
// fit 32 bits.
//
// DdRegion, the Region entry of the data dictionary, children in this order:
// Name, Desc, File (SysName = the region file's path, ModDate = its
// modification time or 4294967295, Offset = the region's offset), Count
// (number of 4-byte values), Type ("pairs" or "contig").
//
// Statuses and reports follow the shared library's rule: a status doubles
// as the severity of its report: 11 (bad argument, cannot open), 15
// (inconsistent entries or file), 16 (failed system call). Every offset and
// count of a region file's entries is checked against the file before any
// byte of it is moved, so an inconsistent or truncated file is refused
// unchanged. A move that fails part way (a read or write error) leaves the
// file partly moved: it is reported (60027/60028, then 200066 naming the
// file) and the operation returns 16 without touching the in-memory
// entries, and the callers do not rewrite the data dictionary, which so
// never points at moved data. Under the programs' printers the first of
// these reports already ends the run.
//
// All file access goes through the I/O layer (io/vqio.h); truncation uses
// ftruncate on the layer's descriptor, which the layer does not offer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <sys/types.h>

#include "io/vqio.h"
#include "madmt/madmt.h"

enum : uint32_t {
  REGION_HEADER_BYTES = 512,
  REGION_FILE_TYPE = 1,
  REGION_FILE_VERSION = 50300,
  REGION_FILE_MAJOR = 1,
  REGION_FILE_MINOR = 0,
};

// Largest data end (offset + 4 x count) a region file may have: offsets
// are stored in 32 bits.
constexpr int64_t REGION_MAX_DATA_END = 0xFFFFFFFFLL;

// ---------------------------------------------------------------------------
// Region lists: a data dictionary's regions grouped by region file

struct RegionListEntry {
  char* name;       // copy of Name
  char* desc;       // copy of Desc, null when absent or empty
  uint32_t offset;  // File Offset: bytes after the 512-byte header
  long count;       // Count: number of 4-byte values; < 0: not written back
  char* type;       // copy of Type ("pairs", "contig"), kept when rewritten
};

struct RegionListFile {
  char* name;  // the region file's SysName as first met
  int32_t count;
  RegionListEntry* regions;  // sorted by offset, then count
};

// Groups the Region entries of the tree (the Region children of DB's
// Regions sections) by region file: entries naming the same SysName, or
// another name of the same existing file, go to one file entry. Each file's
// regions are sorted by offset, then count (equal ones keep their order).
// A Region with other than one File reports 40028 (16); one the getter
// refuses is reported by it; either is left out. Result: the number of
// files, with *files the array (null for none).
int32_t region_list_build(const MadNode* tree, int32_t* file_count, RegionListFile** files);
// Frees the names, descriptions, types and arrays; 1.
int region_list_free(int32_t file_count, RegionListFile* files);
// 1 when every file's regions lie back to back; else 0 after reporting each
// hole (200061) and each overlap (200062), severity 15.
int region_list_check(int32_t file_count, const RegionListFile* files);
// qsort comparison of two RegionListEntry: by offset, then by count.
int region_compare(const void* a, const void* b);
// Prints "File: %s\n" per file and "  Region: %s offset: %d count: %d\n"
// per region on the layer's standard output and flushes it; 1.
int region_list_dump(int32_t file_count, const RegionListFile* files);
// The file's data end: the furthest offset + 4 x count of its regions,
// which in a contiguous entry is the last region's (0: none).
int64_t region_list_end(const RegionListFile* file);
// Index of the region of that name in the file entry, -1 when absent.
int32_t region_index(const char* name, const RegionListFile* file);
// Index of the file entry for the region file path: the entry of exactly
// that name, else the one naming the same existing file; it must exist.
// -1 when none.
int32_t region_list_find(const char* path, int32_t file_count, const RegionListFile* files);

// Refuses, before anything moves, the entries that a rewrite of the region
// file could not keep apart: a Region without a name (200069; in any
// region file, since a merge would take it for any name) and two Regions of
// one name in this region file (200070). 0, or 9 after the report.
int region_check_names(const MadNode* tree, const char* region_file);

// ---------------------------------------------------------------------------
// Region files

// Empties the regions named (n = -1: all) and closes up the others in
// offset order from offset 0: an emptied region gets the running end as
// offset and count 0. The file is cut to 512 + the new data end. The
// entry's offsets and counts are set only on success; the caller then
// writes them to the data dictionary. 0, 11 (60032: cannot open), 15
// (inconsistent, nothing changed) or 16 (failed part way).
int region_file_compact(RegionListFile* file, int32_t n, const char* const* names);
// Reads (write false) or writes exactly n bytes at the file position of an
// open descriptor through the I/O layer: 0, or -1 when the seek or a
// transfer fails or a read meets the end of the file. Nothing is reported.
int region_transfer(int fd, off_t position, unsigned char* buf, size_t n, bool write);
// Checks the file entry against its file, as every operation here does
// before it moves a byte: the file holds its header, no count is negative,
// every region lies inside the file and no two overlap. 0; 11 (60032: the
// file does not open), 15 (200062-200065) or 16 (60028) after the report.
int region_file_check(const RegionListFile* file);
// Packs the regions of the named region file from offset 0 in offset order
// (none emptied), cuts the file and rewrites the entries. region_file_pack
// reads the whole data dictionary and writes it; region_file_pack_tree
// works on a tree already read and only updates it. No existing listed
// file of that name: nothing happens, 0. Else the status as above, or the
// writer's.
int region_file_pack(const char* dd_path, const char* region_file);
int region_file_pack_tree(MadNode* tree, const char* region_file);

// Copies bytes [start, end) of the open region file to the lower
// destination, front to back; region_move_up copies them so that they end
// at the higher destination end, back to front. Overlapping ranges are
// safe. 0, or 16 after 60028 (short read) or 60027 (short write).
int region_move_down(const char* file_name, int fd, off_t destination, off_t start, off_t end);
int region_move_up(const char* file_name, int fd, off_t destination_end, off_t start, off_t end);

// ---------------------------------------------------------------------------
// Data-dictionary Region entries

// Deletes from the tree every Region whose Name is one of the entry's.
void region_dd_remove(MadNode* tree, const RegionListFile* file);
// Merges one Region entry per region with count >= 0: Name, Desc (when
// present), File {SysName = the file entry's name, ModDate = the file's
// modification time or 4294967295, Offset}, Count, Type (the region's own,
// "pairs" when it has none). A failed merge reports 40030 with its status
// as severity and the loop goes on; the last nonzero status, else 0.
int region_write_dd(MadNode* tree, const RegionListFile* file);
// region_write_dd, then writes the dictionary to dd_path (addutwrdd;
// failure reports 60011 with "region_write_dd_file"). When an entry could
// not be merged the dictionary is not written. The status.
int region_write_dd_file(const char* dd_path, MadNode* tree, const RegionListFile* file);

// Reports 80002 "Error in name file '%s'.  Last tag processed correctly:
// '%s'" with severity 9 (the tag name file reader's report).
void region_name_file_error(const char* name_file, const char* last_tag);

// ---------------------------------------------------------------------------
// Backward integer streams: 4-byte values of a file range read or written
// from its end towards its start through a 1024-byte buffer, on a
// descriptor the caller opened. Values are in the machine's byte order, or
// the other one when swapped is set (a file whose header says so).

enum : uint16_t {
  REVIO_READ = 0x1,
  REVIO_WRITE = 0x2,
  REVIO_EOF = 0x10,
  REVIO_ERR = 0x20,
  REVIO_UPDATE = 0x100,
};

enum { REVIO_BUFSIZ = 1024 };

struct RevioStream {
  int32_t count;           // bytes before the pointer: readable (reading),
                           // free (writing)
  unsigned char* pointer;  // buffer + count: the next byte is the one just
                           // below it; moves towards the buffer start
  unsigned char* buffer;   // REVIO_BUFSIZ bytes, allocated at first use
  unsigned char* buffer_end;  // the buffer's last byte
  int32_t buffer_size;
  uint16_t flags;  // REVIO_*; 0 = free record
  int fd;          // the caller's descriptor
  char* name;      // copy of the file name
  off_t position;  // reading: file offset of the buffer's first byte;
                   // writing: lowest byte written; starts at upper + 1
  off_t lower;     // lowest file offset the stream may touch
  off_t upper;     // last file offset of the range
  int swapped;     // 1: values are stored in the other byte order
  RevioStream* next;
};

// A new stream over [lower, upper] of the descriptor, or null for an
// invalid mode: "r" (read), "a" or "w" (write), then any of "t" and "b"
// and at most one "+" (update).
RevioStream* revio_open(const char* name, const char* mode, int fd, off_t lower, off_t upper);
// Flushes a writer and releases the stream: 0; -1 when the flush failed,
// or with errno EINVAL for a stream that is not open.
int revio_close(RevioStream* s);
// The value stored just below the current position, which moves before
// it; -1 at the lower bound (end-of-file flag set) or on error (error flag).
int32_t revio_get_int(RevioStream* s);
// Stores the value so that it ends at the current position, which moves
// before it: 0. A value that would reach below the lower bound is not
// stored: the error flag is set and the result is -1.
int revio_put_int(int32_t value, RevioStream* s);
// Writes the pending bytes: 0; -1 on a write error, or with errno EINVAL
// when the stream does not write.
int revio_flush(RevioStream* s);
// Loads the block below the buffer and takes its last byte; -1 at the
// lower bound or on a read error.
int revio_fill(RevioStream* s);
// Gives a stream that has not been used yet a buffer of size bytes (a
// multiple of 4) in place of the 1024-byte one, for fewer, larger reads
// and writes: 0, or -1 with errno EINVAL for a stream already used.
int revio_set_buffer(RevioStream* s, int32_t size);

// ---------------------------------------------------------------------------
// Expansion: making room in an existing region file for new values per
// tag, to be written by the caller through backward streams.

// One record per tag (the region finder's MergeRegion has this shape).
struct RegionExpandRecord {
  char* name;                 // copy of the tag's (region's) name
  char* second_name;          // null here; the region finder's copy
  RegionListEntry* region;    // the region in the file entry; null: new
  uint32_t new_offset;        // start of the region's block
  long new_count;             // old count + new values
  int64_t write_position;     // existing region: new offset; new: -1
  RevioStream* reader;        // opened by the caller
  RevioStream* writer;        // opened by the caller
};

// The expansion list (the region finder's MergeState has this shape).
struct RegionExpansion {
  MadNode* tree;              // the caller's data dictionary
  int32_t current_file;       // index of the region file's entry, -1 none
  int32_t file_count;
  RegionListFile* files;
  int32_t tag_count;
  RegionExpandRecord* tags;   // tag_count + 1 records
};

// Makes room for the new values of each tag (counted from the tag-record
// stream, see tag_count) in the region file open as region_stream: each
// existing region's block grows by 4 x its new values, its old values first
// and the room at the block's end; regions of the file that no tag names
// keep their size; tags without a region get blocks after that, one after
// another. The existing regions' entries are rewritten in the tree; the
// caller writes the values and the new regions' entries. tag_names[t] is
// the region name of tag number t (tags from 256 on get no values, and
// records whose tag number names no tag get no room: a caller writing the
// values skips them); two tags of one name are refused. The moves bypass
// region_stream's buffer, which is flushed first. Result 0; -1 when the data dictionary lists
// no existing region file of that name; else a status as for compaction
// (checks before anything moves, 16 after a failure part way).
int region_expand(RegionExpansion* list, VqStream* tag_records, VqStream* region_stream,
                  MadNode* tree, const char* region_file, const char* const* tag_names,
                  int32_t tag_name_count);
// Frees both names and closes the open streams of each record, frees the
// records and sets the number of tags to 0; the tree and the file list
// stay with the caller.
void region_expand_free(RegionExpansion* list);

// Counts the 5-byte tag records {1-byte tag number, 4-byte value} of the
// stream from its start per tag number below n (counts[0..n-1], zeroed
// first); the number of records is the stream's file size / 5. Result: the
// number of records, or -1 when the stream cannot be read (reported 60028).
long tag_count(VqStream* records, int32_t n, long* counts);

// ---------------------------------------------------------------------------
// Replacing region files (replace.cpp): the new content goes to a new file
// beside the region file (commit_create), which is handed to the commit
// when complete; the data dictionary writer puts it in place together with
// the data dictionary that describes it (commit/commit.h). commit_abort
// removes what was not put in place.

// Whether the region file is a superfile member ("@superfile@member"),
// which cannot be renamed and so is rewritten in place.
bool region_file_in_place(const char* region_file);
// A new, empty file beside the region file (with its mode), open for
// reading and writing; null with errno set when it cannot be made, and
// *denied nonzero when the folder may not be written.
VqStream* region_replace_open(const char* region_file, int* denied);
// Syncs and closes the new file and hands it to the commit. 0; 1 when the
// new file could not be written out (flush, sync, close); -1 when it is no
// file of region_replace_open. errno is set.
int region_replace_commit(VqStream* fresh);
