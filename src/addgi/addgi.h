// Data-dictionary getters: the entries of a data-dictionary tree (see
// dd/dd.h) read into plain records for the programs.
//
//   addgiti  the text files of the collection (Text): a FileInfo list read
//            from Files, or one MfsInfo read from MfsFiles
//   addgifi  File entries as FileInfo records
//   addgimf  a MfsFiles entry as one MfsInfo
//   addgiri  a Region entry: name, description, count, type, files
//   addgirs, addgirl, addgiru   required child values: text, long, unsigned long
//   addgios, addgioi, addgiou   optional child values: text, int, unsigned long
//
// A child is the first tag child with the tag id; its value is the leaf
// value (madatgv). A value is empty when it is null or "". The id and path
// arguments name the caller and the tag in messages, e.g. "addgifi" and
// "<File><SysName>".
//
// Numbers: a numeric value is optional white space, digits (a "+" or "-"
// first for the signed getters; the unsigned ones take digits only), then
// optional white space. Anything else, and a number outside the range of
// the place it is stored in (int, long, unsigned long; 32 bits for Major,
// Minor, Offset and ModDate of a FileInfo), is reported as 40025 "%s: Data
// dictionary tag '%s' contains '%s'; should be numeric." with the id, the
// path and the value as it stands. A required value that is missing or
// empty is reported as 40009 "%s: Data dictionary tag '%s' is missing or
// empty.". Both have severity 9.
//
// Errors go to the error-handler hook (severity 9 for bad entries, 15 for
// bad arguments: 40000 "%s: Bad args."). Under the programs' printers they
// end the program. When the handler returns, a getter goes on reading and
// reporting what else is wrong, and then:
// - a value getter gives null or 0;
// - addgifi and addgimf return the first nonzero severity and leave the
//   records as far as they could be read (null in a missing text field);
// - addgiti and addgiri return null, with every output null or 0 and
//   nothing left allocated, so that no caller ever uses a half-read entry.
// A handler may also throw: nothing is left allocated then either.
//
// Ownership: every text and record returned is allocated with the C
// library's allocator and belongs to the caller. Release text with free()
// and FileInfo lists with addgi_files_free (one record embedded elsewhere
// with addgi_file_clear).
#pragma once

#include <cstdint>

#include "dd/dd.h"
#include "madmt/madmt.h"

// FileInfo (one per text file; defined with the data-dictionary file because
// the File merge entries are built from it) holds, as read:
//   fragmented   1 when FrgDir, Major and Minor are all given, else 0
//   sys_name     SysName
//   frg_dir      FrgDir, null when absent or empty
//   major/minor  Major/Minor, -1 when absent or empty
//   offset       Offset, 0 when absent or empty
//   mod_date     ModDate, 0 when absent or empty
//   handle       null (a program may keep the record's open text here; it
//                is not released by addgi_file_clear)
//   multi_file, file_map, chain_count, chains: 0 and null
//
// A multi-file set comes back as one MfsInfo: a FileInfo with multi_file 1,
// file_map and sys_name each a copy of the FileMap path, the filter chains
// filled, and every other field 0 (major and minor too). A program tells a
// set by multi_file and opens it by file_map, passed as the base name with
// an empty directory to mfs_file_open.
using MfsInfo = FileInfo;

// The text files of the collection. node is the tree root (the first Text
// under the first DB is taken; none gives null without a report) or a Text
// node. Name and Desc get copies of the first Name and Desc values (null
// when absent or empty). The files come from Files (addgifi) or, without
// Files, from MfsFiles (addgimf, count 1). Reports: 40000 with "addgiti"
// (15) for a node that is no Text tag; 40022 (9) for neither Files nor
// MfsFiles; 40005 (9) for both, after which Files is read as usual; 40009
// with "addgiti" and "<Files><File>" (9) for a Files entry without any File,
// since a collection without a text cannot be read; and the reports of the
// File or MfsFiles entries. Result: the Text node, or null (outputs null/0)
// when there is none or after any report but 40005.
MadNode* addgiti(MadNode* node, char** name, char** desc, FileInfo** list, int32_t* count);

// File entries: every File child of a Files node in order, or a given File
// node and the File siblings that follow it. *count (when given) gets the
// number of records and *list (when given) the records, null for none; the
// entries are read and checked even when list is null. Each record: SysName
// required ("<File><SysName>"); FrgDir copied when not empty; Major, Minor
// (int, -1 when absent or empty), Offset and ModDate (unsigned 32 bits, 0
// when absent or empty); the fragment rule: FrgDir with Major and Minor both
// at 0 or above is a fragmented text, and FrgDir without both, or Major or
// Minor at 0 or above without FrgDir, reports 40011 with "addgiti" and the
// SysName (9). Result 0, 15 after 40000 ("addgifi": a node that is neither
// Files nor File, or neither output given; nothing is read), or 9 after a
// report on an entry (the records are still returned).
int addgifi(const MadNode* node, FileInfo** list, int32_t* count);

// A MfsFiles entry as one MfsInfo in *list; *count (when given) = 1.
// FileMap required ("FileMap"); at least one FilterChain ("FilterChain"),
// each with SearchView ("<FilterChain><SearchView>"), DisplayView, RawView,
// DisplayFmt required, DefaultDataTag optional, and at least one FileGroup
// ("FileGroup"), each with MfsDir ("<FileGroup><MfsDir>"), MfsFile and
// MfsExpand required; all reported with "addgimf". Result 0, 15 after 40000
// ("addgimf": no MfsFiles node or no list output; nothing is read), or 9
// after a report on the entry (the record is still returned, with null in
// the missing fields).
int addgimf(const MadNode* node, FileInfo** list, int32_t* count);

// A Region entry. node is the root (the first Region under the first
// Regions under the first DB; none gives null without a report) or a Region
// node (else 40000 with "addgiri", 15). Name and Desc: copies (null when
// absent or empty); Count: addgirl ("<Region><Count>"); pairs: 1 when Type
// (required, "<Region><Type>") is exactly "pairs", else 0. When list or
// file_count is given, the Region's first File child and the File siblings
// after it are read (addgifi; a Region without File reports 40000 with
// "addgifi"). Result: the Region node, or null (outputs null/0) when there
// is none or after any report.
MadNode* addgiri(MadNode* node, char** name, char** desc, long* count, int32_t* pairs,
                 FileInfo** list, int32_t* file_count);

// Required values: 40009 when missing or empty, 40025 when not numeric;
// then null or 0.
char* addgirs(const MadNode* node, int32_t tag_id, const char* id, const char* path);
long addgirl(const MadNode* node, int32_t tag_id, const char* id, const char* path);
unsigned long addgiru(const MadNode* node, int32_t tag_id, const char* id, const char* path);

// Optional values: null or 0 when missing or empty, without a report; a
// value that is not numeric reports 40025 and gives 0.
char* addgios(const MadNode* node, int32_t tag_id);
int addgioi(const MadNode* node, int32_t tag_id, const char* id, const char* path);
unsigned long addgiou(const MadNode* node, int32_t tag_id, const char* id, const char* path);

// Releases what a record owns (texts, filter chains and their file groups)
// and zeroes every field but handle, which belongs to the program that set
// it.
void addgi_file_clear(FileInfo* info);
// Clears count records and frees the list; null is allowed.
void addgi_files_free(FileInfo* list, int32_t count);
