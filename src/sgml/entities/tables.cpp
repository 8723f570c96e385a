// The parser's declaration tables, checked allocation and keyword maps.
#include "sgml/entities/tables.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <string>
#include <unordered_map>

#include "io/vqio.h"
#include "sgml/entities/attlist.h"
#include "sgml/entities/entity.h"
#include "sgml/messages/message.h"
#include "sgml/options.h"
#include "sgml/messages/trace.h"
#include "sgml/parser_state.h"

namespace {

constexpr SgmlAllocator& allocator_in_use = sgml_parser.blocks.allocator;
constexpr SgmlBlock*& blocks_head = sgml_parser.blocks.head;

// IDs by name; the order is never shown, so a hash map keeps lookups fast
// however many IDs a document defines.
std::unordered_map<std::string, IdRecord*>& id_table() {
  static std::unordered_map<std::string, IdRecord*> table;
  return table;
}

std::string name_key(const unsigned char* name) {
  return std::string(reinterpret_cast<const char*>(name + 1), counted_length(name));
}

void* raw_realloc(void* block, size_t size) {
  if (allocator_in_use) return allocator_in_use(block, size);
  return std::realloc(block, size);
}

void raw_free(SgmlAllocator allocator, void* block) {
  if (allocator)
    allocator(block, 0);
  else
    std::free(block);
}

void block_link(SgmlBlock* b) {
  b->prev = nullptr;
  b->next = blocks_head;
  if (blocks_head) blocks_head->prev = b;
  blocks_head = b;
}

void block_unlink(SgmlBlock* b) {
  if (b->prev)
    b->prev->next = b->next;
  else
    blocks_head = b->next;
  if (b->next) b->next->prev = b->prev;
}

SgmlBlock* header_of(void* block) { return static_cast<SgmlBlock*>(block) - 1; }

// The size of a block with its header; a size the header cannot be added
// to is more memory than there is.
size_t with_header(size_t size) {
  if (size == 0) size = 1;
  if (size > SIZE_MAX - sizeof(SgmlBlock)) sgml_fatal(P33_INSUFFICIENT_MAIN_MEMORY, kStateCurrent);
  return sizeof(SgmlBlock) + size;
}

// A new record of record_size bytes with its name stored behind it.
HashRecord* record_new(const unsigned char* name, size_t record_size) {
  size_t name_size = name[0];
  auto* rec = static_cast<HashRecord*>(sgml_calloc(record_size + name_size));
  rec->name = reinterpret_cast<unsigned char*>(rec) + record_size;
  std::memcpy(rec->name, name, name_size);
  return rec;
}

// Names are short: compared in place rather than through a library call.
bool same_name(const unsigned char* a, const unsigned char* b) {
  if (a[0] != b[0]) return false;
  for (int i = 1; i < a[0] - 1; ++i)
    if (a[i] != b[i]) return false;
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// Checked allocation

void sgml_set_allocator(SgmlAllocator allocator) { allocator_in_use = allocator; }

void* sgml_calloc(size_t size) {
  const size_t total = with_header(size);
  auto* b = static_cast<SgmlBlock*>(raw_realloc(nullptr, total));
  if (!b) sgml_fatal(P33_INSUFFICIENT_MAIN_MEMORY, kStateCurrent);
  block_link(b);
  std::memset(b + 1, 0, total - sizeof(SgmlBlock));
  return b + 1;
}

void* sgml_realloc(void* block, size_t size) {
  const size_t total = with_header(size);
  SgmlBlock* old = block ? header_of(block) : nullptr;
  if (old) block_unlink(old);
  auto* b = static_cast<SgmlBlock*>(raw_realloc(old, total));
  if (!b) {
    if (old) block_link(old);
    sgml_fatal(P33_INSUFFICIENT_MAIN_MEMORY, kStateCurrent);
  }
  block_link(b);
  return b + 1;
}

void sgml_free(void* block) {
  if (!block) return;
  SgmlBlock* b = header_of(block);
  block_unlink(b);
  raw_free(allocator_in_use, b);
}

SgmlBlocks& SgmlBlocks::operator=(SgmlBlocks&& other) noexcept {
  if (this != &other) {
    release();
    head = other.head;
    allocator = other.allocator;
    other.head = nullptr;
  }
  return *this;
}

void SgmlBlocks::release() {
  while (head) {
    SgmlBlock* next = head->next;
    raw_free(allocator, head);
    head = next;
  }
}

char* save_string(const char* text) {
  size_t n = std::strlen(text) + 1;
  auto* p = static_cast<char*>(sgml_calloc(n));
  std::memcpy(p, text, n);
  return p;
}

unsigned char* save_name(const unsigned char* name) {
  auto* p = static_cast<unsigned char*>(sgml_calloc(name[0]));
  std::memcpy(p, name, name[0]);
  return p;
}

char* replace_string(char* old, const char* text) {
  if (old) sgml_free(old);
  return text ? save_string(text) : nullptr;
}

// ---------------------------------------------------------------------------
// Hashed chains

uint32_t hash_name(const unsigned char* name, uint32_t size) {
  uint32_t h = 0;
  if (name && name[0]) {
    for (const unsigned char* p = name; *p; ++p) {
      h = (h << 4) + *p;
      uint32_t top = h & 0xF0000000u;
      if (top) h = h ^ ((top >> 24) & 0xFFu) ^ top;
    }
  }
  return h % size;
}

HashRecord* hash_find(HashRecord** table, const unsigned char* name, uint32_t bucket) {
  for (HashRecord* r = table[bucket]; r; r = r->next)
    if (same_name(r->name, name)) return r;
  return nullptr;
}

HashRecord* hash_insert(HashRecord** table, const unsigned char* name, uint32_t bucket,
                        size_t record_size) {
  if (HashRecord* r = hash_find(table, name, bucket)) return r;
  HashRecord* r = record_new(name, record_size);
  r->next = table[bucket];
  table[bucket] = r;
  return r;
}

HashRecord* hash_remove(HashRecord** table, const unsigned char* name, uint32_t bucket) {
  for (HashRecord** link = &table[bucket]; *link; link = &(*link)->next) {
    if (same_name((*link)->name, name)) {
      HashRecord* r = *link;
      *link = r->next;
      r->next = nullptr;
      return r;
    }
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// Element type definitions

ElementTypeDef* etd_define(const unsigned char* name) {
  return reinterpret_cast<ElementTypeDef*>(hash_insert(
      sgml_tables.elements, name, hash_name(name, ETD_BUCKETS), sizeof(ElementTypeDef)));
}

namespace {

// Element types found lately, by a cheap key of the name: the tags of a
// document name few types, and each would otherwise be hashed in full
// and searched along its chain. A slot is only a guess, checked against
// the name; etd_remove and sgml_tables_clear empty them all.
constexpr auto& etd_recent = sgml_parser.etd_recent;

size_t etd_recent_key(const unsigned char* name) {
  const unsigned n = name[0];
  return (n * 31u + name[1] * 7u + name[n - 2]) % std::size(etd_recent);
}

void etd_recent_forget() {
  for (ElementTypeDef*& e : etd_recent) e = nullptr;
}

}  // namespace

ElementTypeDef* etd_find(const unsigned char* name) {
  if (name[0] < 2)
    return reinterpret_cast<ElementTypeDef*>(
        hash_find(sgml_tables.elements, name, hash_name(name, ETD_BUCKETS)));
  ElementTypeDef*& recent = etd_recent[etd_recent_key(name)];
  if (recent != nullptr && same_name(recent->name, name)) return recent;
  auto* found = reinterpret_cast<ElementTypeDef*>(
      hash_find(sgml_tables.elements, name, hash_name(name, ETD_BUCKETS)));
  if (found != nullptr) recent = found;
  return found;
}

std::vector<DtdElement> dtd_elements() {
  std::vector<DtdElement> all;
  for (int32_t bucket = 0; bucket < ETD_BUCKETS; ++bucket)
    for (HashRecord* r = sgml_tables.elements[bucket]; r != nullptr; r = r->next)
      all.push_back(DtdElement{reinterpret_cast<ElementTypeDef*>(r), bucket});
  return all;
}

// The record is unlinked but kept: content models, exception groups and
// the filter-mode plus-group list may still point at it.
void etd_remove(const unsigned char* name) {
  etd_recent_forget();
  hash_remove(sgml_tables.elements, name, hash_name(name, ETD_BUCKETS));
}

void etd_set(ElementTypeDef* etd, unsigned char flags, ContentModel* model,
             ElementTypeDef** minus, ElementTypeDef** plus, ShortRefMap* map) {
  etd->flags |= flags;
  etd->model = model;
  etd->minus = minus;
  etd->plus = plus;
  // Types named in no group are in no exception wherever they occur: the
  // content parser asks this before it looks at the open elements.
  for (ElementTypeDef** group : {minus, plus})
    for (ElementTypeDef** m = group; m != nullptr && *m != nullptr; ++m) (*m)->in_exceptions = 1;
  etd->map = map;
  SgmlTables& t = sgml_tables;
  if (sgml_options().documents_in_sequence && t.plus_group_count < PLUS_GROUP_MAX)
    t.plus_groups[t.plus_group_count++] = plus;
}

// ---------------------------------------------------------------------------
// IDs

int iddef(const unsigned char* name) {
  auto& table = id_table();
  std::string key = name_key(name);
  auto it = table.find(key);
  IdRecord* rec;
  if (it == table.end()) {
    rec = reinterpret_cast<IdRecord*>(record_new(name, sizeof(IdRecord)));
    table.emplace(std::move(key), rec);
    ++sgml_tables.id_count;
  } else {
    rec = it->second;
  }
  int result = rec->defined ? -1 : 0;
  rec->defined = 1;
  if (trace_on.id)
    vqio_fprintf(vqio_stderr, "%-8s %s at %p is %s; last ref=%p\n", "IDDEF",
                 reinterpret_cast<const char*>(name + 1), static_cast<void*>(rec), "defined",
                 static_cast<void*>(nullptr));
  return result;
}

IdRecord* id_find(const unsigned char* name) {
  auto& table = id_table();
  auto it = table.find(name_key(name));
  return it == table.end() ? nullptr : it->second;
}

// No operation of this parser keeps references against IDs not yet
// defined, so there is never anything to print here.
void idref_check() {}

// ---------------------------------------------------------------------------
// Notations and short-reference maps (plain chains, new records at the head)

NotationRecord* notation_find(const unsigned char* name) {
  for (NotationRecord* n = sgml_tables.notations; n; n = n->next)
    if (same_name(n->name, name)) return n;
  return nullptr;
}

NotationRecord* notation_define(const unsigned char* name) {
  if (NotationRecord* n = notation_find(name)) return n;
  auto* n = reinterpret_cast<NotationRecord*>(record_new(name, sizeof(NotationRecord)));
  n->next = sgml_tables.notations;
  sgml_tables.notations = n;
  return n;
}

ShortRefMap* srmap_find(const unsigned char* name) {
  for (ShortRefMap* m = sgml_tables.maps; m; m = m->next)
    if (same_name(m->name, name)) return m;
  return nullptr;
}

ShortRefMap* srmap_define(const unsigned char* name, int entries) {
  if (ShortRefMap* m = srmap_find(name)) return m;
  auto* m = reinterpret_cast<ShortRefMap*>(record_new(name, sizeof(ShortRefMap)));
  if (entries < 1) entries = 1;
  m->entities = static_cast<EntityRecord**>(sgml_calloc(sizeof(EntityRecord*) * entries));
  m->count = entries;
  m->next = sgml_tables.maps;
  sgml_tables.maps = m;
  return m;
}

void sgml_tables_clear() {
  etd_recent_forget();
  for (auto& head : sgml_tables.elements) head = nullptr;
  for (auto& head : sgml_tables.entities) head = nullptr;
  sgml_tables.notations = nullptr;
  sgml_tables.maps = nullptr;
  sgml_tables.id_count = 0;
  sgml_tables.plus_group_count = 0;
  id_table().clear();
}

// ---------------------------------------------------------------------------
// Keyword maps

int keyword_lookup(const KeywordMap* map, const char* text) {
  for (; map->text; ++map)
    if (std::strcmp(map->text, text) == 0) return map->value;
  return map->value;
}

const KeywordMap kw_declared_content[] = {
    {"RCDATA", CONTENT_IS_RCDATA}, {"CDATA", CONTENT_IS_CDATA}, {"ANY", CONTENT_IS_ANY},
    {"EMPTY", CONTENT_IS_EMPTY},   {nullptr, 0}};
const KeywordMap kw_default_value[] = {
    {"IMPLIED", DEFAULT_IMPLIED}, {"REQUIRED", DEFAULT_REQUIRED}, {"CURRENT", DEFAULT_CURRENT},
    {"CONREF", DEFAULT_CONREF},   {"FIXED", DEFAULT_FIXED},       {nullptr, 0}};
const KeywordMap kw_declared_value[] = {
    {"NOTATION", DV_NOTATION}, {"CDATA", DV_CDATA},       {"ENTITY", DV_ENTITY},
    {"ID", DV_ID},             {"IDREF", DV_IDREF},       {"NAME", DV_NAME},
    {"NMTOKEN", DV_NMTOKEN},   {"NUMBER", DV_NUMBER},     {"NUTOKEN", DV_NUTOKEN},
    {"ENTITIES", DV_ENTITIES}, {"IDREFS", DV_IDREFS},     {"NAMES", DV_NAMES},
    {"NMTOKENS", DV_NMTOKENS}, {"NUMBERS", DV_NUMBERS},   {"NUTOKENS", DV_NUTOKENS},
    {nullptr, 0}};  // 0: not a declared value keyword
const KeywordMap kw_entity_text[] = {
    {"CDATA", ENT_CDATA},       {"SDATA", ENT_SDATA},   {"MS", ENT_MS}, {"PI", ENT_PI},
    {"STARTTAG", ENT_STARTTAG}, {"ENDTAG", ENT_ENDTAG}, {"MD", ENT_MD}, {nullptr, 0}};
const KeywordMap kw_external_id[] = {{"SYSTEM", 1}, {"PUBLIC", 2}, {nullptr, 0}};
const KeywordMap kw_data_kind[] = {{"CDATA", DATA_KIND_CDATA},
                                   {"NDATA", DATA_KIND_NDATA},
                                   {"SDATA", DATA_KIND_SDATA},
                                   {"SUBDOC", DATA_KIND_SUBDOC},
                                   {nullptr, 0}};
const KeywordMap kw_function_char[] = {
    {"RE", 13}, {"RS", 10}, {"SPACE", 32}, {"TAB", 9}, {nullptr, 0}};
const KeywordMap kw_marked_section[] = {
    {"TEMP", MS_INCLUDE}, {"INCLUDE", MS_INCLUDE}, {"RCDATA", MS_RCDATA},
    {"CDATA", MS_CDATA},  {"IGNORE", MS_IGNORE},   {nullptr, 0}};
const KeywordMap kw_public_class[] = {
    {"CAPACITY", 1}, {"CHARSET", 2}, {"DOCUMENT", 5}, {"DTD", 6},       {"ELEMENTS", 7},
    {"ENTITIES", 8}, {"LPD", 9},     {"NONSGML", 10}, {"NOTATION", 3},  {"SHORTREF", 11},
    {"SUBDOC", 12},  {"SYNTAX", 4},  {"TEXT", 13},    {nullptr, 0}};

const char* number_text(long n) {
  static char buffer[24];
  std::snprintf(buffer, sizeof buffer, "%d", static_cast<int>(n));
  return buffer;
}
