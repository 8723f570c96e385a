// The parser's state in one record: every record and word that a parse
// changes, from the input offsets to the pull interface, lives in
// sgml_parser, one object for the process. sgml_parser_reset makes it as
// at program start (what was allocated for it freed), and so do tests and
// the region finder between runs.
//
// The stages keep their old names for their parts: each name below is a
// reference into sgml_parser, declared where its type is (the stage's own
// header: `extern inline InstanceState& inst;`) and bound here. A bound
// reference folds to the object's address, so code reads the state as it
// would read a plain global. A file that uses one of the names includes
// this header (the compiler says so when one is missing).
//
// Still outside the record: the lexical rows and character-class tables
// (lex/lexrows.cpp, lex/chclass.cpp; rewritten at run time and rebuilt by
// sgml_parser_reset), the switch record and options (switches.cpp), and
// the buffers sized from the quantities (settings.cpp), which are made once
// and kept.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "sgml/decl/prolog.h"
#include "sgml/entities/attlist.h"
#include "sgml/entities/entity.h"
#include "sgml/entities/settings.h"
#include "sgml/entities/tables.h"
#include "sgml/input/docin.h"
#include "sgml/input/docin_internal.h"
#include "sgml/instance/instance.h"
#include "sgml/instance/model.h"
#include "sgml/lex/lex.h"
#include "sgml/messages/message.h"
#include "sgml/messages/trace.h"
#include "sgml/sgml.h"
#include "sgml/sgmldecl/sgmldecl_internal.h"

struct VqStream;

// A record that is never the map in force: the content parser's last_bits
// holds it while no map has been asked about.
inline const ShortRefMap content_no_map{};

// Words of the content parser (instance/content.cpp).
struct ContentWords {
  unsigned char gi[256] = {};  // the name read after STAGO / ETAGO
  // Data being collected: from begin in the entity entry of entry.
  struct DataRun {
    bool open = false;
    EntityEntry* entry = nullptr;
    unsigned char* begin = nullptr;
  } run;
  // Which delimiters a short-reference map maps, bit i for delimiter index
  // i, of the map last asked about and of every map asked about.
  struct MappedBits {
    const ShortRefMap* map = nullptr;
    uint64_t bits = 0;
  };
  MappedBits last_bits{&content_no_map, 0};
  std::vector<MappedBits> known_bits;
  // The element stack trace: end tags implied so far for the token in
  // hand, and the exception level of the last start tag checked.
  int trace_implied_ends = 0;
  int trace_exception_level = 0;
};

// What the context checks keep of the models by token address
// (instance/context.cpp): the size of a group and where it begins with an
// element, each of one generation.
struct ContextWords {
  ElementTypeDef* implied = nullptr;  // the element type a check implied
  uint32_t kept_generation = 1;
  struct SizeEntry {
    const ModelToken* group;
    uint32_t generation;
    int size;
  };
  static constexpr size_t kSizeEntries = 256;
  SizeEntry sizes[kSizeEntries] = {};
  // A model has at most 256 tokens (GRPGTCNT is at most 253), so the member
  // and the offset fit a byte; one that did not would not be kept.
  struct BeginningEntry {
    const ModelToken* group;
    const ElementTypeDef* element;
    uint32_t generation;
    uint8_t begins;
    uint8_t first;
    uint8_t offset;  // the first member's position less the group's
  };
  static constexpr size_t kBeginningEntries = 512;
  BeginningEntry beginnings[kBeginningEntries] = {};
};

// The ambiguity check's tables (instance/ambig.cpp).
struct AmbigTables {
  using PosList = std::vector<uint8_t>;  // ascending, no repeats
  std::vector<PosList> follow;           // rows 1 to rows - 1 (row 0 unused)
  PosList work;                          // a list being checked for repeats
  bool made = false;
};

// The attribute list of the start tag in hand (instance/starttag_attr.cpp).
struct WorkingList {
  std::vector<AttributeList> entries;  // the list of the tag in hand
  std::vector<unsigned char> values;   // the values given, one after the other
  size_t used = 0;                     // characters of values used
  int32_t normalized = 0;              // normalized length of the specifications
  bool over = false;                   // P75 given: the rest is not read
};

// The capacity figures of the run (capacity.cpp).
struct CapacityFigures {
  int32_t child[kCapacityCount] = {};
  int32_t counts[kCapacityCount] = {};
  int32_t limits[kCapacityCount] = {};
  uint8_t weights[kCapacityCount] = {};
};

struct SgmlParser {
  // What the parser allocated (freed by a reset, first, before the records
  // that point into it are emptied).
  SgmlBlocks blocks;
  // Input: offsets of the document entity, the open document's reader.
  DocOffsets offsets;
  DocInputState input;
  // Entities and tables.
  EntityStack entities;
  EntityEntry* entity_top = nullptr;
  ReferenceSpan reference_span;
  std::vector<MessageEntityLevel> message_levels;
  SgmlTables tables;
  ElementTypeDef* etd_recent[64] = {};   // element types found lately (tables.cpp)
  SgmlSettingsStorage settings;
  // The lexical engine and the readers on it.
  LexData lex;
  MdState md;
  int literal_length = 0;
  int literal_end_message = P92_DOCUMENT_ENDED_INVALIDLY_WITHIN_LITERAL;
  int literal_keep_leading = 0;
  const unsigned char* last_literal = nullptr;  // the literal read last
  int last_literal_length = 0;
  unsigned char escape_pair[2] = {};
  unsigned char echo_text[256] = {};  // "&name;" of an echoed reference
  // The SGML declaration.
  SdParam sd_param;
  int32_t syntax_reference_set[256] = {};
  NamingCopies naming_copies;
  // Markup declarations.
  PrologState prolog;
  bool md_group_stopped = false;
  ShortRefMap* empty_map_record = nullptr;
  // The instance.
  InstanceState inst;
  ElementTypeDef* pseudo_data_record = nullptr;
  // The identifiers of external default entities (an entity record points
  // at its own).
  std::vector<std::unique_ptr<ExternalId>> default_entity_ids;
  ContentWords content;
  ContextWords context;
  AmbigTables ambig;
  WorkingList work;
  // Messages and trace.
  int message_current_state = kStatePRO;
  VqStream* saved_stream = nullptr;
  TraceSwitches trace_on;
  // The run's capacity figures and the pull interface.
  CapacityFigures figures;
  PullState pull;
};

// The record's storage: made before main and never destroyed, as code run
// at exit may still read the parser (a message, the capacity report), and
// the files it holds are closed by the I/O layer's own exit. What it holds
// at exit stays reachable from here; a reset frees it.
union SgmlParserStorage {
  SgmlParser parser;
  SgmlParserStorage() : parser() {}
  ~SgmlParserStorage() {}
};
extern SgmlParserStorage sgml_parser_storage;
inline SgmlParser& sgml_parser = sgml_parser_storage.parser;

// The stages' names for their parts.
inline DocOffsets& doc_offsets = sgml_parser.offsets;
inline DocInputState& doc_input_state_record = sgml_parser.input;
inline EntityStack& entity_stack = sgml_parser.entities;
inline EntityEntry*& entity_top = sgml_parser.entity_top;
inline ReferenceSpan& reference_span = sgml_parser.reference_span;
inline SgmlTables& sgml_tables = sgml_parser.tables;
inline SgmlSettingsStorage& sgml_settings_storage = sgml_parser.settings;
inline LexData& lex_data = sgml_parser.lex;
inline MdState& md_state = sgml_parser.md;
inline int& literal_length = sgml_parser.literal_length;
inline int& literal_end_message = sgml_parser.literal_end_message;
inline int& literal_keep_leading = sgml_parser.literal_keep_leading;
inline SdParam& sd_param = sgml_parser.sd_param;
inline int32_t (&syntax_reference_set)[256] = sgml_parser.syntax_reference_set;
inline NamingCopies& naming_copies = sgml_parser.naming_copies;
inline PrologState& prolog = sgml_parser.prolog;
inline bool& md_group_stopped = sgml_parser.md_group_stopped;
inline ShortRefMap*& empty_map_record = sgml_parser.empty_map_record;
inline InstanceState& inst = sgml_parser.inst;
inline ElementTypeDef*& pseudo_data_record = sgml_parser.pseudo_data_record;
inline int& message_current_state = sgml_parser.message_current_state;
inline TraceSwitches& trace_on = sgml_parser.trace_on;

// sgml_parser_reset (sgml.h) makes every record above as at program start
// and frees what was allocated for it; the settings, character classes and
// lexical rows are as built again and no error is counted.
