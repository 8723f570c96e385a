// pellion, the multi-file region builder: finds the regions of a text
// collection by scanning its text for the tag names of a tag name file,
// without an SGML parse, writes them to a region file and enters each one
// in the data dictionary.
//
// One run: command line and file names; the data dictionary read whole and
// its first text record taken; the tag name file read into three name
// lists; one scan of the text (plain, fragmented or multi-file) writing a
// tag position record for the start and the end of every region; the old
// regions of the same region file emptied, the records counted per slot and
// laid out in the region file; each region entered in the data dictionary
// as type "pairs"; the data dictionary written; the work files removed.
//
// Files (host byte order throughout):
//
//   TagPosRecord, tag position file "tagint.<pid>" (or the -sw file), 5
//   bytes, no padding:
//     byte 0     slot 0-255
//     bytes 1-4  position, 32-bit: the 0-based byte offset of the text
//                (plain file, multi-file set), or for a fragmented text the
//                stored position the fragment mapping gives for the 1-based
//                logical position
//   Records come in pairs per region: start, then end, both inclusive.
//
//   TagCountsFile "tagcounts.<pid>", 2048 bytes: 256 int32 offsets (bytes
//   after the region file's 512-byte header), then 256 int32 counts (4-byte
//   positions per slot, two per region).
//
//   Region file: a PitasHeader (type 1, version 50300, major 1, minor 0,
//   extra 0), then from byte 512 + offset[s] the positions of slot s, slot
//   after slot; offset[0] = the base offset, offset[s+1] = offset[s] + 4 x
//   count[s]. Within a slot the positions keep the order of the tag
//   position file. The file is cut to the end of the last slot's data.
//
// Slots: elements 0..E-1 in file order, attributes E..E+A-1, tag-list
// names E+A..E+A+T-1; slot 254 is the default-data region of the meta modes.
// The three lists together hold at most 254 names, so no slot reaches 254.
//
// The program is single-threaded; its state lives in process-wide records
// (the run in the driver, the stacks and the record writer in stacks.cpp,
// the work-file list in workfiles.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dd/dd.h"
#include "frgac/frgac.h"
#include "io/vqio.h"
#include "madmt/madmt.h"
#include "metast/metast.h"
#include "mfs/mfs.h"
#include "msg/msg.h"
#include "sinsi/sinsi.h"

enum : int32_t {
  TAG_LIST_MAX = 254,           // names per list, and in all
  TAG_READ_LIMIT = 255,         // limit argument of region_read_tagnames
  TAG_DEFAULT_DATA_SLOT = 254,  // "VQDefaultData" of the meta modes
  TAG_SLOTS = 256,
  TAGPOS_RECORD_BYTES = 5,
  TAG_COUNTS_BYTES = 2048,
  PELLION_VERSION = 50300,
  TAG_NAME_LINE_MAX = 1024,     // longest line of an untagged name file
};

// Largest position a tag position record holds: 0x7FFFFFFF is the
// "unmappable" marker of the fragment mapping.
constexpr int64_t TAGPOS_MAX_POSITION = 0x7FFFFFFE;

// Reports a numbered message through the installed handler, which under
// pellion's printer ends the run for severities of 3 and above.
#define msg_report(severity, number, ...) \
  vq_report((severity), GetMsgNumText(number) __VA_OPT__(, ) __VA_ARGS__)
ErrorHandler msg_get_callback();

// ---------------------------------------------------------------------------
// Command line

struct RegionRunOptions {
  bool verbose = false;       // -v, -v1, -v2
  bool trace = false;         // -v2
  bool prefix_cwd = false;    // -f
  bool has_output = false;    // -o
  std::string output_name;
  bool has_tagpos = false;    // -sw: ready tag position file, kept
  std::string tagpos_file;
  bool has_dd = false;        // -D or first positional
  std::string dd_name;
  bool has_tagnames = false;  // -t or second positional
  std::string tagname_file;
  bool meta = false;          // -meta (set even without a value)
  bool has_meta_file = false;
  std::string meta_file;
  bool display_fmt = false;   // -displayfmt (used only with -meta)
  bool has_display_name = false;
  std::string display_name;
};

// Second pass over the command line (argv[0] is the program): 0, or 1 when
// the arguments call for the usage text (a third positional argument, no
// data dictionary or no tag name file).
int region_options_parse(int argc, char** argv, RegionRunOptions* options);
// The region file name: with -f the current directory cwd and "/" first;
// the -o name (".rgn" added unless it ends so), else the data-dictionary
// name with a final ".dd" replaced by ".rgn" (or ".rgn" added); a relative
// name is appended, an absolute one replaces what stands.
std::string region_file_name(const RegionRunOptions& options, const std::string& cwd);
// 1 unless the path begins with "/" or "\\" or a drive prefix (a letter,
// ":", then "/" or "\\").
int path_is_relative(const char* path);
// Reports 80011 with the program name (severity 9) and ends with status 1.
[[noreturn]] void region_usage(const char* program);

// The whole run after vqio_start and the banner; returns only the exit
// status of a run that ends normally.
int pellion_run(int argc, char** argv);

// ---------------------------------------------------------------------------
// Work files: removed on every exit, fatal reports included. A -sw file is
// never registered.

void region_work_file_add(const std::string& path);
// Removes the registered files (those still there) and forgets them.
void region_work_files_remove();
// SIGINT, SIGTERM and SIGHUP remove the work files, undo a commit in
// progress and remove the new files, then end the run as the signal would
// (a signal the run was started ignoring stays ignored).
void region_signals_install();

// ---------------------------------------------------------------------------
// Replacing the region file (replace.cpp)

// A new, empty file beside the region file (region_replace_open); null
// when the folder may not be written (the region file is then written in
// place); other failures report 80020.
VqStream* region_replace_begin(const std::string& region_file);
// Hands the complete new file to the commit, which puts it in place with
// the data dictionary (region/region.h). A failure to write it out reports
// 80021, any other 80020.
void region_replace_swap(VqStream* fresh, const std::string& region_file);

// A ready tag position file (-sw) checked whole before anything changes:
// a partial record (80007), a slot at or beyond slot_count other than the
// default-data slot when default_data (80034), an odd number of positions
// of a slot (80008), a position at or beyond text_size when that is not
// negative (80035) end the run.
void region_check_tagpos(const std::string& path, int32_t slot_count, bool default_data,
                         int64_t text_size, const char* text_name);

// ---------------------------------------------------------------------------
// Tag name file

struct TagNameList {
  std::vector<std::string> names;
  std::vector<int32_t> slots;
  // elements: name length + 1; tag list: the slot of the element of the
  // same name, or -1; attributes: unused (0)
  std::vector<int32_t> third;
  // Names of the list proper; the element list may hold more rows (the
  // tag-list names without an element, which the scanner also looks for).
  int32_t count = 0;
};

struct TagNameLists {
  TagNameList elements;
  TagNameList attributes;
  TagNameList tags;
};

// Reads the tag name file (tagged or one name a line) from stream into the
// three lists and assigns the slots. 1 when read, 0 when the tagged parse
// failed (the caller reports it). A list reaching limit - 1 names warns once
// per run (80031) and takes no more; an entry that is not a region, or a
// region without tag, element or att, reports 80002 (severity 9).
int region_read_tagnames(const char* file_name, VqStream* stream, int32_t limit,
                         TagNameList* elements, TagNameList* attributes, TagNameList* tags);
// Warns once per run that a list holds limit - 1 names (80031).
void region_warn_limit(int32_t limit);
// Opens and reads the tag name file and checks the lists: a file that does
// not open prints the system error and returns 1; a failed parse (80002),
// more than 254 names in all (80003), a name listed twice in one list
// (80028) and a name the tag stream cannot look for (over 256 bytes, or
// holding "<", "/", ">" or byte 255: 80000 with status 9) end the run. 0
// when read.
int region_load_tagnames(const char* file_name, TagNameLists* lists);

// ---------------------------------------------------------------------------
// Tag scanning

// The text of the first text record, read block by block.
struct TagText {
  int kind = 0;  // 0 none, 1 plain, 2 fragmented, 3 multi-file set
  VqStream* plain = nullptr;
  FrgacText* fragmented = nullptr;
  MfsReader* set = nullptr;
  bool empty = false;  // a set without members
  std::vector<unsigned char> block;  // plain text: the block read last
};
// Opens the record's text: 0, or 1 after printing the system error for its
// name.
int tag_text_open(const FileInfo* info, TagText* text);
void tag_text_close(TagText* text);
// Block callback of the scanner over any kind: the next bytes of the text
// (their count, 0 at the end).
size_t tag_text_block(void* text, const unsigned char** block);

// A scanner over a text: the tag stream with the names defined, and the
// 1-based position of the next token.
struct TagScan {
  SinsiStream* stream = nullptr;
  int64_t position = 1;
  int trace = 0;
  std::vector<char> value;  // SINSI_BUFSIZE + 1 bytes for attribute values
  // Name length per slot of the names defined (0 for others): a start tag
  // of exactly "<" name ">" has no attributes to scan.
  std::vector<size_t> name_length;
};
// Opens the tag stream over the text and defines the element names (and
// tag-only names) and the attribute names. A definition failure reports
// 80028 (status 6, naming the tag name file) or 80000, with the status as
// severity, and gives 1; else 0.
int tag_scan_open(TagScan* scan, TagText* text, const TagNameLists* lists,
                  const char* tagname_file);
// The same over any input: a stream of the I/O layer (read null) or the
// handle of a read callback.
int tag_scan_open_input(TagScan* scan, void* input, SinsiReadFn read, const TagNameLists* lists,
                        const char* tagname_file);
void tag_scan_close(TagScan* scan);
// Reads one token and records its events: the token kind (SINSI_EOF at the
// end). The position advances by the token's length.
int tag_scan_next(TagScan* scan);

// The finding phase over the first text record: writes the tag position
// records to out. 0, or 1 when the text could not be opened or the names
// not defined. No record at all reports 40018 with the data-dictionary name.
int md_find(const char* tagname_file, const TagNameLists* lists, const FileInfo* files,
            int32_t file_count, const char* dd_name, int trace, VqStream* out);
// The meta modes: the text must be a multi-file set (else 75028) and the
// meta-structure file must describe it (else 80023); a damaged file or one
// whose documents do not lie in order within the text ends the run (80027,
// 80029, 80030) before anything changes. Otherwise as md_find.
//
// Positions of a meta-structure record are 0-based addresses of the set:
// the document is [VQStart, VQEnd] (VQEnd inclusive, as the file map's
// member ends), its head [VQStart, VQDataPos - 1], its data part
// [VQDataPos, VQTrailPos - 1] and its trailer [VQTrailPos, VQEnd]. The
// text is read in parts bounded by these addresses, so no token runs from
// one part into the next.
//
// md_find_meta scans everything outside the data parts with all names; a
// data part whose default data tag is "VQData" becomes one pair of slot 254
// (none when it is empty) and is not scanned; any other data part is scanned for its default data
// tag alone (its start and end tags become pairs of slot 254); a record
// without a default data tag skips its data part.
int md_find_meta(const char* tagname_file, const TagNameLists* lists, const char* meta_file,
                 const FileInfo* files, int32_t file_count, const char* dd_name, int trace,
                 VqStream* out);
int md_find_displayfmt(const char* tagname_file, const TagNameLists* lists,
                       const char* meta_file, const char* format, const FileInfo* files,
                       int32_t file_count, const char* dd_name, int trace, VqStream* out);
// md_find_displayfmt scans with all names only the data parts of the
// documents whose VQDisplayFmt is format; when there is none, 80026 is
// reported (severity 1) and nothing is recorded.

// Reading the meta-structure file (trace: 80024 for every record given).
// The first record must name the set: 1 when its FileMap is set_name or
// names the same set files.
int meta_check_filemap(VqStream* meta, const char* set_name);
// The next record, cleared first: 1, or 0 at the end.
int meta_next_record(VqStream* meta, MetaStructRecord* record, int trace);
// The next record whose VQDisplayFmt is format: 1, or 0 at the end.
int meta_next_record_with_format(VqStream* meta, const char* format, MetaStructRecord* record,
                                 int trace);

// Per-slot stacks of open instances and the record writer. tag_stacks_reset
// empties the stacks and sets where records go: out, with positions mapped
// through the fragmented text when it is given; slot names come from lists.
void tag_stacks_reset(const TagNameLists* lists, VqStream* out, FrgacText* fragmented);
// A start (end_tag 0) or end tag of slot s from b to c (1-based).
void tag_event(int32_t s, int64_t b, int64_t c, int end_tag);
void tag_push(int32_t s, int64_t b);
void tag_pop(int32_t s, int64_t b, int64_t c);
// One record: the slot byte and the position p - 1 (mapped for a
// fragmented text). A position beyond 32 bits reports 80005 and a failed
// write 80021; both end the run.
void tagpos_write(int32_t s, int64_t p);
// At the end of a scan: writes the closed instances still held (those
// inside an instance whose end tag never came), drops the open ones, and
// flushes the records to the stream.
void tag_stacks_finish();

// ---------------------------------------------------------------------------
// Region file and data-dictionary entries

// Empties, in the tree, the regions that the data dictionary records for
// this region file (recognised by name or by device and inode), and drops
// the entries of region files that no longer exist. The file itself is
// not touched: every run writes its regions anew from offset 0. *base gets
// where new data starts (0). 0.
int region_base_offset(MadNode* tree, const char* region_file, int64_t* base);
// Lays the tag position records out in the region file (header first) and
// writes the counts file; the region file is cut to its new length. 0.
int region_sort_pointers(const char* counts_file, VqStream* tagpos, VqStream* region,
                         int64_t base, int32_t version, const char* region_file);
// Enters one Region per name (elements, "A-" attributes, "-T" tag-list
// names, and "VQDefaultData" with default_data) with the count and offset
// of its slot. 0, or 1 when the counts file cannot be read or there is no
// tree.
int region_update_dd(MadNode* tree, const TagNameLists* lists, const char* region_file,
                     const char* counts_file, int default_data);
// Merges one Region entry (type "pairs") into the tree.
void region_add_dd_entry(MadNode* tree, const char* name, const char* description,
                         long count, uint32_t offset, const char* region_file);
