// Symbol table: tag names to integer ids and ids back to names.
//
// A fixed-size structure with no growth, in one allocation:
//   count                      number of names held
//   by_id[1031] {name, id}     the first count pairs sorted ascending by id
//   hash[1031]  {name, id}     open addressing; an empty slot has a null name
// A name is held once; both parts point at the same copy, owned by the table.
// At most 1030 names fit (probing needs one empty slot).
//
// Names are byte strings compared by length, so a looked-up name holding a
// NUL byte never matches a shorter defined name. Names added through
// sinsyad are C strings; sinsyidn looks up any byte run.
#pragma once

#include <cstddef>
#include <cstdint>

enum : int32_t {
  SINSY_SLOTS = 1031,      // hash slots and id pairs (a prime)
  SINSY_STEP_MOD = 101,    // probe step is |h rem 101| + 1
  SINSY_MAX_NAMES = 1030,  // one hash slot always stays empty
};

// Status codes of sinsyad (the tag stream's codes, see sinsi.h).
enum : int {
  SINSY_OK = 0,
  SINSY_DUPLICATE = 6,    // id or name already held
  SINSY_FULL = 14,        // the table holds SINSY_MAX_NAMES names
  SINSY_NO_MEMORY = 16,   // copying the names failed
};

struct SinsyEntry {
  const char* name;  // owned by the table; null marks an empty hash slot
  uint32_t length;   // bytes in name (the copy also ends in a NUL)
  int32_t id;
};

struct SinsySymtab {
  int32_t count;
  SinsyEntry by_id[SINSY_SLOTS];
  SinsyEntry hash[SINSY_SLOTS];
};

// Allocates an empty table; allocation failure is reported with severity 14.
SinsySymtab* sinsycr();
// Adds the null-terminated list of names with the ids of the parallel array.
// Per name in order: an id already held gives 6, a full table 14, a name
// already held 6; the function then stops, keeping the names added before.
// 0 when all were added, 16 when the names could not be copied.
int sinsyad(SinsySymtab* table, const char* const* names, const int32_t* ids);
// Id of a C-string name, or -1 when absent.
int32_t sinsyid(const SinsySymtab* table, const char* name);
// Id of the name held in length bytes at name (NUL bytes included), or -1.
int32_t sinsyidn(const SinsySymtab* table, const char* name, size_t length);
// Name of an id (NUL-terminated), or null when the id is absent; length
// receives its byte count when not null.
const char* sinsynm(const SinsySymtab* table, int32_t id, size_t* length = nullptr);
// Frees the names and the table; null is allowed.
void sinsyfr(SinsySymtab* table);

// The name hash (unsigned 32-bit arithmetic, taken as signed at the end):
// h = h * 1664525 + byte for each byte, then h = h * 1664525 once more.
int32_t sinsy_hash(const char* name, size_t length);
// Hash slot of a name: the slot holding it, or the first empty slot reached
// by probing from |h rem 1031| in steps of |h rem 101| + 1.
int32_t sinsy_probe(const SinsySymtab* table, const char* name, size_t length);
