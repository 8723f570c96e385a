// The parser's declaration tables: element type definitions, entities, IDs,
// notations and short-reference maps, all keyed by counted names (a length
// byte that counts itself, the characters and the NUL; then the characters
// and the NUL). Also the checked allocation of the parser (running out of
// memory ends the run with P33), the keyword maps and small name helpers.
//
// Every chained record begins with the two words of `HashRecord` (next in
// its chain, its own copy of the name); the name is stored directly behind
// the record in the same allocation. The element table keeps the fixed hash
// and head insertion because the DTD reports walk it bucket by bucket; the
// ID table is a hash map (its order is never shown) so that very many IDs
// stay fast. Records live for the whole process. The records the program
// reads (element types, notations) are defined in sgml/dtd.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sgml/dtd.h"

struct ContentModel;     // content model tokens (declared content flags first)
struct AttributeList;    // attribute definition list
struct DataEntity;       // external data entity record
struct ShortRefMap;
struct ExternalId;

struct HashRecord {
  HashRecord* next;
  unsigned char* name;
};


// Entity record (types: see entity.h). text is the internal text (text_len
// characters; escape pairs may hold a 0 partner, so the length, not a NUL,
// ends it), the file list of an external text entity, or the DataEntity of
// an external data entity.
struct EntityRecord {
  EntityRecord* next;
  unsigned char* name;
  unsigned char type;
  unsigned char defaulted;
  unsigned char written;
  unsigned char* text;
  int32_t text_len;
  const ExternalId* extid;  // an external default entity's identifier (looked
                            // up again for each name), else null
};

struct IdRecord {
  IdRecord* next;
  unsigned char* name;
  int32_t defined;
};


struct ShortRefMap {
  ShortRefMap* next;
  unsigned char* name;
  EntityRecord** entities;  // [0] the map itself once declared, [1..n]
  int32_t count;            // entries in entities
};

enum { ETD_BUCKETS = 211, ENTITY_BUCKETS = 503, ID_BUCKETS = 101, PLUS_GROUP_MAX = 1024 };

// The process-wide tables.
struct SgmlTables {
  HashRecord* elements[ETD_BUCKETS];
  HashRecord* entities[ENTITY_BUCKETS];
  NotationRecord* notations;
  ShortRefMap* maps;
  long id_count;
  // When documents come in sequence: the inclusion groups etd_set stored,
  // in order (null ones included); at most PLUS_GROUP_MAX, further ones are
  // not recorded.
  int32_t plus_group_count;
  ElementTypeDef** plus_groups[PLUS_GROUP_MAX];
};
extern inline SgmlTables& sgml_tables;  // in sgml_parser (parser_state.h)

// ---------------------------------------------------------------------------
// Checked allocation: a failure ends the run with P33. Storage is zeroed.

void* sgml_calloc(size_t size);
void* sgml_realloc(void* block, size_t size);
void sgml_free(void* block);
// Test hook: the allocator used by sgml_calloc/sgml_realloc (null restores
// the C library's). It has realloc's contract.
using SgmlAllocator = void* (*)(void* block, size_t size);
void sgml_set_allocator(SgmlAllocator allocator);

// The blocks the parser holds: each block from sgml_calloc / sgml_realloc
// has a header in front of it that links it into this list, so that a
// reset of the parser and the parser's end free them all at once (records
// point at each other in every direction; none is freed one by one). The
// header keeps the C library's alignment.
struct SgmlBlock {
  SgmlBlock* prev;
  SgmlBlock* next;
};
static_assert(sizeof(SgmlBlock) % alignof(std::max_align_t) == 0);
struct SgmlBlocks {
  SgmlBlock* head = nullptr;
  SgmlAllocator allocator = nullptr;  // null: the C library's
  SgmlBlocks() = default;
  SgmlBlocks(const SgmlBlocks&) = delete;
  // Frees its own blocks and takes the other's.
  SgmlBlocks& operator=(SgmlBlocks&& other) noexcept;
  ~SgmlBlocks() { release(); }
  void release();  // frees every block
};

char* save_string(const char* text);
unsigned char* save_name(const unsigned char* name);
char* replace_string(char* old, const char* text);

// ---------------------------------------------------------------------------
// Hashed chains

uint32_t hash_name(const unsigned char* name, uint32_t size);
HashRecord* hash_find(HashRecord** table, const unsigned char* name, uint32_t bucket);
HashRecord* hash_insert(HashRecord** table, const unsigned char* name, uint32_t bucket,
                        size_t record_size);
HashRecord* hash_remove(HashRecord** table, const unsigned char* name, uint32_t bucket);

ElementTypeDef* etd_define(const unsigned char* name);
void etd_remove(const unsigned char* name);
void etd_set(ElementTypeDef* etd, unsigned char flags, ContentModel* model,
             ElementTypeDef** minus, ElementTypeDef** plus, ShortRefMap* map);

int iddef(const unsigned char* name);
IdRecord* id_find(const unsigned char* name);
void idref_check();

NotationRecord* notation_define(const unsigned char* name);
// entries: number of short-reference delimiters + 1.
ShortRefMap* srmap_define(const unsigned char* name, int entries);
ShortRefMap* srmap_find(const unsigned char* name);

// Removes every record (tests only; the parser never empties its tables).
void sgml_tables_clear();

// ---------------------------------------------------------------------------
// Keyword maps: {text, value} pairs ended by {nullptr, not-found value}.

struct KeywordMap {
  const char* text;
  int value;
};
int keyword_lookup(const KeywordMap* map, const char* text);

// The default value keywords (kw_default_value).
enum DefaultKeyword : int {
  DEFAULT_IMPLIED = 1,
  DEFAULT_REQUIRED = 2,
  DEFAULT_CURRENT = 3,
  DEFAULT_CONREF = 4,
  DEFAULT_FIXED = 5,
};
// The status keywords of a marked section (kw_marked_section), in the
// order of precedence: the highest of those given applies.
enum MarkedSectionStatus : int {
  MS_INCLUDE = 1,  // also TEMP
  MS_RCDATA = 2,
  MS_CDATA = 3,
  MS_IGNORE = 4,
};

extern const KeywordMap kw_declared_content[];
extern const KeywordMap kw_default_value[];
extern const KeywordMap kw_declared_value[];
extern const KeywordMap kw_entity_text[];
extern const KeywordMap kw_external_id[];
extern const KeywordMap kw_data_kind[];
extern const KeywordMap kw_function_char[];
extern const KeywordMap kw_marked_section[];
extern const KeywordMap kw_public_class[];

// n formatted with "%d" in a static buffer (overwritten by the next call).
const char* number_text(long n);

// Length of a counted name's characters (length byte - 2).
inline int counted_length(const unsigned char* name) { return name[0] - 2; }
