// Helpers shared by the getter files of this module; not for other modules.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "addgi/addgi.h"

namespace addgi_internal {

// Source names that allocation-failure reports cite.
inline constexpr const char* kFileInfoSource = "addgi/FileInfo.c";
inline constexpr const char* kMfsInfoSource = "addgi/MfsInfo.c";

// The leaf value of the first tag child with the id; null when there is no
// such child or it has no value.
const char* child_value(const MadNode* node, int32_t tag_id);
inline bool is_empty(const char* value) { return !value || !*value; }

// An allocated copy of a non-empty text; null for null or "".
char* copy_text(const char* text, const char* source);
// count zeroed records (count > 0).
FileInfo* alloc_records(int32_t count, const char* source);

// Reports; each returns the severity it reported with.
int report_bad_args(const char* id);                      // 40000, 15
int report_missing(const char* id, const char* path);     // 40009, 9

// The entry a getter works on: a root is replaced by the node reached by
// taking the first tag child of each id of path in turn (null, without a
// report, when there is none); any other node must be a tag with the last
// id of path, else 40000 is reported with id and the result is null.
MadNode* entry_node(MadNode* node, std::initializer_list<int32_t> path, const char* id);

// Keeps the first nonzero status of a getter that goes on after reports.
inline void keep_first(int* status, int s) {
  if (*status == 0) *status = s;
}

// A required text child: a copy, or null after 40009 (kept in *status).
char* required_text(const MadNode* node, int32_t tag_id, const char* id, const char* path,
                    int* status, const char* source = kFileInfoSource);

// Number conversions of a whole value (see addgi.h): true when the text is
// one number within [lo, hi] (signed) or [0, hi] (unsigned).
bool parse_signed(const char* text, long lo, long hi, long* out);
bool parse_unsigned(const char* text, unsigned long hi, unsigned long* out);

// A numeric child: 0 with *out set; -1 when the child is missing or empty
// (no report, *out untouched); 9 after 40025 (*out untouched).
int read_signed(const MadNode* node, int32_t tag_id, const char* id, const char* path, long lo,
                long hi, long* out);
int read_unsigned(const MadNode* node, int32_t tag_id, const char* id, const char* path,
                  unsigned long hi, unsigned long* out);
// The same for a required child: 0 with *out set, else 9 after 40009 or
// 40025 (*out untouched).
int required_signed(const MadNode* node, int32_t tag_id, const char* id, const char* path,
                    long lo, long hi, long* out);
int required_unsigned(const MadNode* node, int32_t tag_id, const char* id, const char* path,
                      unsigned long hi, unsigned long* out);

// Holds a record list while it is being filled, so that an early return or
// a report handler that throws leaves nothing allocated.
struct RecordList {
  FileInfo* list = nullptr;
  int32_t count = 0;

  RecordList() = default;
  RecordList(const RecordList&) = delete;
  RecordList& operator=(const RecordList&) = delete;
  ~RecordList() { addgi_files_free(list, count); }
  // Hands the records to the caller's outputs (either may be null; what is
  // not taken is freed).
  void hand_over(FileInfo** out_list, int32_t* out_count);
};

// Frees an allocated text when it goes out of scope unless released.
struct OwnedText {
  char* text = nullptr;

  OwnedText() = default;
  explicit OwnedText(char* t) : text(t) {}
  OwnedText(const OwnedText&) = delete;
  OwnedText& operator=(const OwnedText&) = delete;
  ~OwnedText();
  // Stores the text in *out when out is given (else frees it).
  void hand_over(char** out);
};

}  // namespace addgi_internal
