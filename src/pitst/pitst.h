// Region sets of the index builder: a data dictionary's region read as an
// abstract set of 4-byte elements behind a data-file header, the subsets
// that select ranges of it, positions of a fragmented text turned into
// logical addresses, the growable integer list the set is loaded into, and
// the bisection over such lists.
//
// Set file: a PitasHeader (pitas/pitas.h) whose type word says what the
// elements are, then the elements, 4 bytes each, from byte 512; element
// count = (file size - 512) / 4. A region of type "pairs" holds (start, end)
// pairs of 0-based text positions; its <Count> counts the 4-byte values.
//
//   header type   order   element kind
//   1             1       list of ranges
//   2             1       fragmented file
//   4             1       in-memory array
//   5             0       in-memory array
//   0, 3          2       in-memory array
//
// A set file whose header has a non-zero extra value holds its elements
// multiplied by a constant the file does not state; such sets are refused.
//
// Failures are reported through the error-handler hook; functions return
// null (or a negative count) after a report.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "builder/builder.h"
#include "frgac/frgac.h"

// ---------------------------------------------------------------------------
// Integer lists

// Word 0 of buffer is a -1 sentinel; the elements are words 1..length.
struct IntList {
  int32_t capacity;
  int32_t length;
  int32_t* buffer;
};

// The capacity after `capacity` in the table of odd sizes 5, 7, 9, 13, ...,
// 17490433 (each the sum of the two before the one before, plus one);
// beyond the table the capacity grows by 1048575.
int32_t intlist_next_capacity(int32_t capacity);
// Appends value (a null list is created with capacity 5 first); a full list
// grows to the next capacity. file and line name the caller in allocation
// reports (severity 14).
IntList* intlist_append(IntList* list, int32_t value, const char* file, int line);
// Grows the capacity to length + extra (a null list is created).
IntList* intlist_reserve(IntList* list, int32_t extra, const char* file, int line);
void intlist_free(IntList* list);

enum { BSEARCH_PAIRS = 8 };
// Bisection over indexes low..high: the largest index whose value is not
// above key (low - 1 when none). With BSEARCH_PAIRS the array holds (start,
// end) pairs from word 1 and index m stands for the start at word 2m - 1;
// otherwise for word m.
int32_t addbsearch(int32_t key, const int32_t* array, int32_t low, int32_t high, int flags);

// ---------------------------------------------------------------------------
// Subsets

enum : int32_t {
  SUBSET_ARRAY = 0,       // in-memory array
  SUBSET_RANGES = 1,      // ranges over another subset
  SUBSET_FRAGMENTED = 2,  // fragmented file
  SUBSET_STREAM = 3,      // plain stream
  SUBSET_UNBOUNDED = 4,
};

struct SubsetRange {
  int32_t start;
  int32_t length;
};

struct Subset {
  int32_t kind;
  int32_t order;
  int32_t* array = nullptr;            // kind 0 (not owned)
  std::vector<SubsetRange> ranges;     // kind 1
  Subset* base = nullptr;              // kind 1: the subset the ranges select (owned)
  FrgacText* fragmented = nullptr;     // kind 2 (owned, closed by pitstcl)
  VqStream* stream = nullptr;          // kind 3 (owned, closed by pitstcl)
  int32_t count = 0;                   // elements
  int32_t offset = 0;                  // byte offset of the first element
  int swap = 0;
  int scramble = 0;
};

// A new subset. source is the base Subset* (kind 1), the FrgacText* (kind
// 2) or the VqStream* (kind 3); the subset owns it. Checks (severity 5):
// order above 2, an offset with a kind other than 2 or 3, a negative size, a
// kind above 3. Null after a report.
Subset* pitstcr(int32_t kind, int32_t order, int32_t count, int32_t* array, void* source,
                int32_t offset, int swap, int scramble);
// Appends the range (start, length) to a kind-1 subset; 0, or 5 after a
// report.
int pitstas(Subset* subset, int32_t start, int32_t length);
// Reads count elements from element start into destination; the number
// read, or -1 after a report.
int32_t pitstgr(Subset* subset, int32_t start, int32_t count, int32_t* destination);
// Closes what the subset reads and frees it.
void pitstcl(Subset* subset);

// ---------------------------------------------------------------------------
// Abstract sets

enum : int32_t {
  SET_NONE = 0,
  SET_PLAIN = 1,       // positions as stored
  SET_PERSISTENT = 2,  // physical positions in a fragmented text
  SET_OPEN_FRAGMENTED = 2,  // pitasop: the set file is a fragmented text
  SET_OPEN_STREAM = 3,      // pitasop: the set file is a plain stream
};

struct AbstractSet {
  const FileInfo* file = nullptr;  // the base text (not owned)
  Subset* subset = nullptr;        // owned
  int32_t set_type = SET_NONE;
  int32_t file_type = 0;
  int32_t order = 0;
  int32_t version = 0;  // major << 16 | minor
  int32_t value = 0;    // caller value
};

// Opens the set file that file->handle holds open (a FrgacText for
// SET_OPEN_FRAGMENTED, a VqStream for SET_OPEN_STREAM): reads and checks
// the header and makes the file subset (its elements from byte 512). The
// subset takes over the handle. Null after a report.
AbstractSet* pitasop(AbstractSet* base, int32_t set_type, FileInfo* file, const char* name);
AbstractSet* pitascr(const FileInfo* file, Subset* subset, int32_t set_type);
// Turns stored values into text positions: -1 for SET_NONE, logical
// addresses less one for SET_PERSISTENT, unchanged for SET_PLAIN. 0, or 15
// after a report.
int pitas_make_working_vector(AbstractSet* set, int32_t* values, int32_t count);
// Frees the set and its subset.
void pitas_free(AbstractSet* set);

// ---------------------------------------------------------------------------
// Region sets

struct RegionSet {
  AbstractSet* set = nullptr;
  int32_t pairs = 0;
  int32_t count = 0;  // elements (4-byte values)
  FileInfo file{};    // the region file's record
  std::optional<std::string> desc;
  std::vector<bldgi::FastRegion> fast;  // read, not used further
};

// Opens the region named in the tree: 40017 (9) when there is none. Null
// after a report.
RegionSet* OpenDocs(MadNode* tree, const char* region_name, const BuildControl* control);
void region_set_close(RegionSet* region);
// Loads every element of the region as text positions (0-based as stored).
// "pairs": *count = number of pairs, *pairs = 1, 140000 (13) when the first
// start is negative or the last end beyond text_size. Otherwise text_size +
// 1 is appended, *count = elements, *pairs = 0. Null only after a report.
IntList* LoadDocs(MadNode* tree, const char* region_name, int32_t* count, int32_t* pairs,
                  const BuildControl* control, int64_t text_size);

// ---------------------------------------------------------------------------
// Reads of fragmented texts by logical address

namespace bldgi {

// Replaces each physical position by its logical address through the
// physical fragment table (table B); a position beyond the physical length,
// or in a fragment whose delta is INT_MAX, becomes INT_MAX and is counted.
// The count, or -1 after a report.
long frgac_get_logical_addresses(FrgacText* file, int32_t* positions, long count);
// Reads count bytes from logical address a: an address of 0 or less is
// reported (15); beyond the logical length nothing is read; the count is
// clipped at the logical end. The bytes read, or FRGAC_FAIL.
long frgacrd(FrgacText* file, long address, long count, unsigned char* buffer);

}  // namespace bldgi
