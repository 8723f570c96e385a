// The SGML declaration's settings with their initial values, the public
// capacity sets and base character sets, and the buffers sized from the
// quantities.
#include "sgml/entities/settings.h"
#include "sgml/parser_state.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "io/vqio.h"

const char* const CapacityNames[kCapacityCount] = {
    "TOTALCAP", "ENTCAP", "ENTCHCAP", "ELEMCAP", "GRPCAP",   "EXGRPCAP", "EXNMCAP", "ATTCAP",
    "ATTCHCAP", "AVGRPCAP", "NOTCAP", "NOTCHCAP", "IDCAP", "IDREFCAP", "MAPCAP",  "LKSETCAP",
    "LKNMCAP"};

const char* const ReservedNames[kReservedNameCount] = {
    "ANY",      "ATTLIST",  "CDATA",   "CONREF",  "CURRENT",  "DEFAULT", "DOCTYPE",  "DTD",
    "ELEMENT",  "EMPTY",    "ENDTAG",  "ENTITIES", "ENTITY",  "FIXED",   "ID",       "IDLINK",
    "IDREF",    "IDREFS",   "IGNORE",  "IMPLIED", "INCLUDE",  "INITIAL", "LINK",     "LINKTYPE",
    "MD",       "MS",       "NAME",    "NAMES",   "NDATA",    "NMTOKEN", "NMTOKENS", "NONSGML",
    "NOTATION", "NUMBER",   "NUMBERS", "NUTOKEN", "NUTOKENS", "O",       "PCDATA",   "PI",
    "PUBLIC",   "RCDATA",   "RE",      "REQUIRED", "RESTORE", "RS",      "SDATA",    "SHORTREF",
    "SIMPLE",   "SPACE",    "STARTTAG", "SUBDOC", "SYSTEM",   "TEMP",    "USELINK",  "USEMAP"};

namespace {

const QuantityEntry kInitialQuantities[kQuantityCount] = {
    {"ATTCNT", 40, 2045},   {"ATTSPLEN", 960, 30000}, {"BSEQLEN", 960, 30000},
    {"DTAGLEN", 16, 16},    {"DTEMPLEN", 16, 16},     {"ENTLVL", 16, 1364},
    {"GRPCNT", 32, 253},    {"GRPGTCNT", 96, 253},    {"GRPLVL", 16, 253},
    {"LITLEN", 240, 30000}, {"NAMELEN", 80, 239},     {"NORMSEP", 2, 2},
    {"PILEN", 240, 30000},  {"TAGLEN", 960, 30000},   {"TAGLVL", 24, 2339}};

const uint8_t kWeights[kCapacityCount] = {1, 2, 1, 2, 2, 2, 2, 2, 1, 2, 2, 1, 2, 2, 2, 2, 2};

const int32_t kReferenceCapacities[kCapacityCount] = {
    35000, 35000, 35000, 35000, 35000, 35000, 35000, 35000, 35000,
    35000, 35000, 35000, 35000, 35000, 35000, 35000, 35000};

struct BaseMaps {
  int16_t seven_bit[256];  // 0..127 to themselves, the rest none
  int16_t eight_bit[256];  // all to themselves
  BaseMaps() {
    for (int c = 0; c < 256; ++c) {
      seven_bit[c] = static_cast<int16_t>(c < 128 ? c : -1);
      eight_bit[c] = static_cast<int16_t>(c);
    }
  }
};
const BaseMaps base_maps;

struct ParserBuffers {
  std::vector<char> token;
  std::vector<char> name;
  int32_t entity_stack_entries = 0;
  EntityStackResizer resizer = nullptr;
};
ParserBuffers& buffers() {
  static ParserBuffers* b = new ParserBuffers;
  return *b;
}

void settings_init(SgmlSettings* s) {
  std::copy(std::begin(kInitialQuantities), std::end(kInitialQuantities), s->quantities);
  s->quantity_set.clear();
  for (int i = 0; i < kCapacityCount; ++i) {
    s->capacities[i] = CapacityEntry{CapacityNames[i], kWeights[i], kCapacityReference, 0};
  }
  std::memset(s->char_flags, 0, sizeof s->char_flags);
  s->formal = 1;
  s->omittag = 1;
  s->shorttag = 1;
  s->shortref_sgmlref = 1;
  s->namecase_general = 1;
  s->namecase_entity = 0;
  s->subdoc = 99999999;
  s->charset_declared = false;
  s->appinfo_literal = false;
  s->writer_done = false;
  s->reserved_names.assign(std::begin(ReservedNames), std::end(ReservedNames));
  s->replaced_names.clear();
}

}  // namespace

const PublicEntry PublicCapacitySets[] = {
    {"ISO 8879:1986//CAPACITY Reference//EN", kReferenceCapacities},
    {nullptr, nullptr}};

const PublicEntry KnownBaseSets[] = {
    {"ESC 2/5 4/0", base_maps.seven_bit},
    {"ESC 2/8 4/2", base_maps.seven_bit},
    {"ESC 2/13 4/1", base_maps.eight_bit},
    {nullptr, nullptr}};

void sgml_settings_reset() {
  settings_init(&sgml_settings());
  ParserBuffers& b = buffers();
  b.token.clear();
  b.name.clear();
  b.entity_stack_entries = 0;
}

void sgml_namecase_general_set(bool fold) { sgml_settings().namecase_general = fold ? 1 : 0; }

const void* public_table_lookup(const PublicEntry* table, const char* key) {
  for (const PublicEntry* e = table; e->key != nullptr; ++e) {
    if (std::strcmp(e->key, key) == 0) return e->value;
  }
  return nullptr;
}

const char* decl_number_text(long n) {
  static char text[24];
  vqio_sprintf(text, "%ld", n);
  return text;
}

std::vector<char>& token_buffer() { return buffers().token; }
std::vector<char>& name_buffer() { return buffers().name; }
void entity_stack_resizer_set(EntityStackResizer resizer) { buffers().resizer = resizer; }
int32_t entity_stack_entries() { return buffers().entity_stack_entries; }

void parser_buffers_size() {
  ParserBuffers& b = buffers();
  int32_t entries = quantity(kENTLVL) + 1;
  if (b.resizer != nullptr) b.resizer(entries);
  b.entity_stack_entries = entries;
  // std::vector::resize keeps what the buffers hold (the open document's
  // entry, an APPINFO text waiting in the token buffer).
  size_t token = static_cast<size_t>(std::max({quantity(kLITLEN) + quantity(kATTSPLEN),
                                               quantity(kPILEN), quantity(kBSEQLEN)})) + 1;
  b.token.resize(token);
  b.name.resize(static_cast<size_t>(quantity(kNAMELEN)) + 2);
}
