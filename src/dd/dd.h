// The data dictionary: the one tagged file all three programs read and
// rewrite. It describes a text collection: its text files (Text), indices
// (Indices), regions (Regions), locks (Locks) and free sections (Grammar,
// Display, Thesaurus), under the root tag DB.
//
// File format: text; tags "<Name>" and "</Name>" from DdTagTable, a tag's
// content either a value or child tags. Before "<DB>" only white space and
// "#" comment lines may stand (at most 500 lines); later, a line whose first
// non-blank character is "#" is a comment. Comments are kept in the tree
// and written back. The writer's layout (own lines, indentation by depth,
// blank lines before sections and regions) is the canonical form, and a
// file in that form reads and writes back byte for byte.
//
// Sections can be read selectively: the others are kept as raw text and
// written back exactly as they were read.
//
// Process-wide state: the raw flags in DdTagTable (as the last addpadd left
// them) and the grammar's current section (reset at the start of each
// parse).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "madio/madio.h"
#include "madmt/madmt.h"
#include "util/util.h"

// Tag ids: the row indices of DdTagTable.
enum DdTagId : int32_t {
  DD_DB = 0, DD_Text, DD_Name, DD_Desc, DD_Files, DD_File, DD_SysName, DD_ModDate,
  DD_Offset, DD_FrgDir, DD_Major, DD_Minor, DD_MfsFiles, DD_FileMap, DD_FilterChain,
  DD_SearchView, DD_DisplayView, DD_RawView, DD_DisplayFmt, DD_DefaultDataTag,
  DD_FileGroup, DD_MfsDir, DD_MfsFile, DD_MfsExpand, DD_NumberChars, DD_Index,
  DD_InitFile, DD_NumberIndexPts, DD_LongestMatch, DD_Length, DD_Resolution,
  DD_IndexPoints, DD_IndexPt, DD_Mappings, DD_Map, DD_From, DD_To, DD_CharRange,
  DD_First, DD_Last, DD_StopWords, DD_Ignore, DD_IntegrityCheck, DD_Region, DD_Count,
  DD_Type, DD_Grammar, DD_Display, DD_Locks, DD_Regions, DD_Semaphore, DD_LockIndex,
  DD_NextID, DD_Lock, DD_ID, DD_User, DD_Date, DD_RegionName, DD_Comment, DD_UserFile,
  DD_Indices, DD_DiffFinder, DD_AuditTrail, DD_UpdateCmd, DD_Thesaurus, DD_FastFind,
  DD_FastFindIndex, DD_FastFindWordList, DD_FastFindCompression, DD_AuxPath,
  DD_IndexName, DD_FastRegion,
  DD_TAG_COUNT  // 72
};

// The 72 rows and a terminating row with id -1. DD_FLAG_RAW is set and
// cleared by addpadd.
extern DdTagInfo DdTagTable[DD_TAG_COUNT + 1];
// "<", "/", ">".
extern const SinsiDelimiters DdDelimiters;

// ---------------------------------------------------------------------------
// Records of the text files a data dictionary names. The getters fill them;
// addmdfi writes one as a File entry.

struct FileGroupInfo {
  char* mfs_dir;
  char* mfs_file;
  char* mfs_expand;
};

struct FilterChainInfo {
  char* search_view;
  char* display_view;
  char* raw_view;
  char* display_fmt;
  char* default_data_tag;  // or null
  int32_t group_count;
  FileGroupInfo* groups;
};

struct FileInfo {
  int32_t fragmented;  // 1 when FrgDir, Major and Minor are all given
  char* sys_name;      // SysName (of a multi-file set: its FileMap path)
  char* frg_dir;       // FrgDir or null
  int32_t major;       // -1 when absent
  int32_t minor;       // -1 when absent
  uint32_t offset;     // Offset, 0 when absent
  uint32_t mod_date;   // ModDate, 0 when absent
  void* handle;        // a program's open text for this record; null as read
  int32_t multi_file;  // 1 for the record of a multi-file set
  char* file_map;      // FileMap of a multi-file set, else null
  int32_t chain_count;
  FilterChainInfo* chains;
};

// ---------------------------------------------------------------------------
// Reading and writing

// Reads the data dictionary at path into a tree (root with a DB child).
// With section ids (tags with DD_FLAG_SECTION; a 0 ends the list) only
// those sections are parsed and the others are kept as raw text. Null on
// failure; every failure is reported (catalogue messages 10003-10008,
// 40024, 60009, and the reader's own).
MadNode* addpadd(const char* path, std::initializer_list<int32_t> sections = {});

// Writes the tree to path without ever losing the old file: the text goes
// to a new file in the same directory, which replaces the old one (of a
// symbolic link: the link's target) only after the whole text was written,
// flushed, synced and closed, with the old file's permissions. The new
// file is put in place by commit_run (commit/commit.h), together with every
// new file of the run made ready for it (region files, an index). On
// failure the old files stay and the new data dictionary is removed (the
// other new files are the caller's: commit_abort). 0, or the failing
// status (16 open, write or replace, 15 set-up, else the writer's status),
// reported.
int addutwrdd(const char* path, const MadNode* root);

// Internal to the reader and writer: the file read is stamped (device,
// inode, size, modification time) by the path as given; a rewrite checks,
// under the lock, that the file is still the one stamped. dd_guard_begin
// gives the descriptor of the lock to pass to dd_guard_end (-1 none), or -2
// after reporting 60014 (severity 2: another run changed the file; the
// rewrite then fails with status 15 and the caller reports that).
void dd_stamp_read(const char* path, VqStream* file);
int dd_guard_begin(const char* path, const std::string& target);
void dd_guard_end(const char* path, const std::string& target, int fd, bool written);

// The grammar, the reader's filter: nonzero when the tag may open with the
// open tags given (innermost on top). A section tag becomes the current
// section when it is met, and the current section's rules decide for every
// other tag.
int addpagc(int32_t tag_id, const TedStack* open_ids);
// Starts a parse with no current section.
void addpagc_reset();

// ---------------------------------------------------------------------------
// Merge entries

// One (tag id, value) pair of a region entry. The value kinds by tag:
// Name, Desc, Type: text; Count: number; File: a FileInfo; FastRegion: an
// index name and a FileInfo.
struct DdEntryValue {
  int32_t tag_id;
  const char* text = nullptr;
  long number = 0;
  const FileInfo* file = nullptr;

  DdEntryValue(int32_t id, const char* t) : tag_id(id), text(t) {}
  DdEntryValue(int32_t id, long n) : tag_id(id), number(n) {}
  DdEntryValue(int32_t id, int n) : tag_id(id), number(n) {}
  DdEntryValue(int32_t id, const FileInfo* f) : tag_id(id), file(f) {}
  DdEntryValue(int32_t id, const char* index_name, const FileInfo* f)
      : tag_id(id), text(index_name), file(f) {}
};

// Merges one region entry into the tree: the Region whose Name is
// region_name is made or updated (under Regions, which is made after the
// last Indices, else the last Text, else first under DB). 0, or 15 for a
// tag it does not handle (10002, 10006; nothing is merged then).
int addmdmr(MadNode* root, const char* region_name, std::initializer_list<DdEntryValue> pairs);
// Adds a File merge subtree (replace, placed after Desc, else Name) for the
// record under the merge node; the new File node.
MadNode* addmdfi(MadNode* parent, const FileInfo* info);
// Adds a FastRegion merge subtree keyed by its IndexName under a Region
// merge node; the new FastRegion node.
MadNode* addmdfr(MadNode* region, const char* index_name, const FileInfo* info);
