// The parser's settings that an SGML declaration can change: quantities,
// capacities, document character set flags, concrete syntax and features,
// reserved names; the buffers sized from the quantities; and the
// operations on them that need no parsing: character set-up, raising the
// limits before a run, and writing the declaration in effect.
//
// All of it is process-wide, one document at a time (sgml_settings()).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "sgml/sgml.h"

struct VqStream;

// Quantities, in table order.
enum Quantity : int {
  kATTCNT, kATTSPLEN, kBSEQLEN, kDTAGLEN, kDTEMPLEN, kENTLVL, kGRPCNT, kGRPGTCNT,
  kGRPLVL, kLITLEN, kNAMELEN, kNORMSEP, kPILEN, kTAGLEN, kTAGLVL,
  kQuantityCount
};
struct QuantityEntry {
  const char* name;
  int32_t value;    // in effect
  int32_t largest;  // largest value a QUANTITY section may give
};

// Capacities, in table order (the order of the counters and reports).
enum Capacity : int {
  kTOTALCAP, kENTCAP, kENTCHCAP, kELEMCAP, kGRPCAP, kEXGRPCAP, kEXNMCAP, kATTCAP,
  kATTCHCAP, kAVGRPCAP, kNOTCAP, kNOTCHCAP, kIDCAP, kIDREFCAP, kMAPCAP, kLKSETCAP,
  kLKNMCAP,
  kCapacityCount
};
struct CapacityEntry {
  const char* name;
  uint8_t weight;  // 1: a point per unit; 2: NAMELEN points per object
  int32_t limit;
  int32_t count;   // kept by the tables and the entity manager
};
extern const char* const CapacityNames[kCapacityCount];
constexpr int32_t kCapacityReference = 35000;
constexpr int32_t kCapacityRaised = 2000000;

// Character flags.
enum : uint8_t {
  kCharNonSgml = 1,
  kCharSignificant = 2,  // has a markup role in some lexical table
  kCharSpecial = 4,      // used internally by the parser
  kCharShunned = 8,
};

constexpr int kReservedNameCount = 56;

struct SgmlSettings {
  QuantityEntry quantities[kQuantityCount];
  // One flag per quantity: set (written by sgmldecl_write). Empty until the
  // first flag is set.
  std::vector<uint8_t> quantity_set;
  CapacityEntry capacities[kCapacityCount];
  uint8_t char_flags[256];
  // Features and syntax.
  uint8_t formal = 1;
  uint8_t omittag = 1;
  uint8_t shorttag = 1;
  uint8_t shortref_sgmlref = 1;  // 1: the 32 reference short references; 0: none
  uint8_t namecase_general = 1;
  uint8_t namecase_entity = 0;
  int32_t subdoc = 99999999;     // largest open subdocuments; 0: SUBDOC NO
  bool charset_declared = false;
  bool appinfo_literal = false;
  bool writer_done = false;      // the writer's once-only step has run
  // Reserved names in effect, in the reference order (ANY ... USEMAP), and
  // after a NAMES section the reference name of every replaced entry (empty
  // until the first replacement; "" for an entry not replaced).
  std::vector<std::string> reserved_names;
  std::vector<std::string> replaced_names;
};

// The settings' storage: filled with the initial values while the program
// starts, and never destroyed (code run at exit may still read it). Read
// it through sgml_settings().
union SgmlSettingsStorage {
  SgmlSettings settings;
  constexpr SgmlSettingsStorage() : settings{} {}
  SgmlSettingsStorage(const SgmlSettingsStorage&) = delete;
  // Takes the other's settings (a reset of the parser's record).
  SgmlSettingsStorage& operator=(SgmlSettingsStorage&& other) {
    settings = std::move(other.settings);
    return *this;
  }
  ~SgmlSettingsStorage() {}
};
extern inline SgmlSettingsStorage& sgml_settings_storage;  // in sgml_parser (parser_state.h)

// The settings (initial values from program start).
inline SgmlSettings& sgml_settings() { return sgml_settings_storage.settings; }
// Back to the initial values, buffers released (for tests).
void sgml_settings_reset();

// The 56 reference reserved names in order.
extern const char* const ReservedNames[kReservedNameCount];

inline int32_t quantity(Quantity q) { return sgml_settings().quantities[q].value; }

// {key, value} tables ended by an entry with a null key.
struct PublicEntry {
  const char* key;
  const void* value;
};
// Public capacity sets: value is const int32_t[kCapacityCount].
extern const PublicEntry PublicCapacitySets[];
// Known base character sets by designating sequence: value is
// const int16_t[256], the system character of each number (-1 none).
extern const PublicEntry KnownBaseSets[];
// The value of the first entry whose key equals key exactly, or null.
const void* public_table_lookup(const PublicEntry* table, const char* key);

// "%ld" of n in one static buffer, overwritten by the next call.
const char* decl_number_text(long n);

// Buffers sized from the quantities. Resizing keeps their contents.
// Token buffer: max(LITLEN + ATTSPLEN, PILEN, BSEQLEN) + 1 bytes.
std::vector<char>& token_buffer();
// Name buffer: NAMELEN + 2 bytes.
std::vector<char>& name_buffer();
// The entity stack belongs to the entity manager, which installs how to
// resize it (to ENTLVL + 1 entries, keeping the open entries). Until one is
// installed only the size is recorded.
using EntityStackResizer = void (*)(int32_t entries);
void entity_stack_resizer_set(EntityStackResizer resizer);
// Entries of the entity stack after the last sizing (0 before).
int32_t entity_stack_entries();
// Sizes all three buffers for the quantities in effect.
void parser_buffers_size();

// Character flags: special (0, 1, 8, 26, 28 and the switch record's three
// special characters), significant, shunned; then the buffers.
void char_class_setup();
