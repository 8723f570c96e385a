// A read-only view of the declared DTD for the program around the parser:
// the records of the element types (their flags, content and attribute
// definition lists), content model tokens, notations and external data
// entities, and the look-ups that find them. The parser's own headers
// build on these records; the program reads them and changes nothing but
// a notation's output mark.
//
// Content models. A compiled model is an array of tokens. Token 0 is the
// header: its flags are the declared-content flags of the element type
// (CONTENT_ below) and its count the number of tokens after it (0 for
// declared content). Token 1 is the outermost model group; every group
// token is followed by its members in order, a member group by its own
// members before the next member of the enclosing group (depth first).
// Occurrence bits (instance/model.h says how the checks read them): 0x80
// the token may be absent, 0x40 it may repeat; 0x20 and 0x10 record the
// indicator as declared ("?" 0x20, "+" 0x10, "*" both).
//
// Attribute definition lists. Entry 0 is the header; entries 1 to n follow:
// an attribute, and after an attribute with a group (flag ATT_GROUP) its
// group tokens.
#pragma once

#include <cstdint>
#include <vector>

struct ContentModel;
struct AttributeList;
struct NotationRecord;
struct ShortRefMap;

// Element type definition flags (ElementTypeDef::flags).
constexpr unsigned char ETD_DECLARED = 0x80;    // declared by an ELEMENT declaration
constexpr unsigned char ETD_START_OMIT = 0x40;  // start tag omissible
constexpr unsigned char ETD_DOC_MADE = 0x20;    // document element made by the parser
constexpr unsigned char ETD_MADE = 0x10;        // made by the parser itself
constexpr unsigned char ETD_END_OMIT = 0x04;    // end tag omissible

// Declared-content flags: the flags of a model's header token (see
// instance/model.h). A content model sets MIXED or ELEMENTS (and KEYWORD for
// a leading #PCDATA); declared content sets KEYWORD and its own bit.
constexpr uint8_t CONTENT_MIXED = 0x80;     // mixed content (or ANY)
constexpr uint8_t CONTENT_ELEMENTS = 0x40;  // element tokens (or ANY)
constexpr uint8_t CONTENT_KEYWORD = 0x20;   // declared content keyword, or leading #PCDATA
constexpr uint8_t CONTENT_EMPTY = 0x10;
constexpr uint8_t CONTENT_ANY = 0x08;
constexpr uint8_t CONTENT_RCDATA = 0x04;
constexpr uint8_t CONTENT_CDATA = 0x02;
// Any declared content (EMPTY, ANY, RCDATA, CDATA) rather than a model.
constexpr uint8_t CONTENT_DECLARED = 0x1F;
// The header flags of each declared-content keyword (kw_declared_content).
constexpr uint8_t CONTENT_IS_RCDATA = CONTENT_KEYWORD | CONTENT_RCDATA;                  // 36
constexpr uint8_t CONTENT_IS_CDATA = CONTENT_KEYWORD | CONTENT_CDATA;                    // 34
constexpr uint8_t CONTENT_IS_ANY = CONTENT_MIXED | CONTENT_ELEMENTS | CONTENT_ANY;       // 200
constexpr uint8_t CONTENT_IS_EMPTY = CONTENT_KEYWORD | CONTENT_EMPTY;                    // 48
static_assert(CONTENT_IS_RCDATA == 36 && CONTENT_IS_CDATA == 34 && CONTENT_IS_ANY == 200 &&
              CONTENT_IS_EMPTY == 48);

// Element type definition; flags are the ETD_ flags above.
struct ElementTypeDef {
  ElementTypeDef* next;
  unsigned char* name;
  unsigned char flags;
  unsigned char mark;          // set and cleared by the exclusion checks
  unsigned char in_exceptions; // named in some type's exclusion or inclusion group
  ContentModel* model;         // null while only named
  ElementTypeDef** minus;      // null-ended exclusion group, or null
  ElementTypeDef** plus;       // null-ended inclusion group, or null
  AttributeList* attributes;
  ShortRefMap* map;
};

// Token types (low 4 bits of the flags).
enum : uint8_t {
  MODEL_PCDATA = 0,
  MODEL_OR = 1,   // "|"
  MODEL_SEQ = 2,  // ","
  MODEL_AND = 3,  // "&"
  MODEL_ELEMENT = 4,
};
constexpr uint8_t MODEL_TYPE_MASK = 0x0F;
constexpr uint8_t MODEL_OCCURRENCE_MASK = 0xF0;
// Occurrence bits (high 4 bits of the flags).
constexpr uint8_t MODEL_OPTIONAL = 0x80;
constexpr uint8_t MODEL_REPEAT = 0x40;
constexpr uint8_t MODEL_DECLARED_OPT = 0x20;
constexpr uint8_t MODEL_DECLARED_REP = 0x10;
// The flags each indicator sets, and those of every #PCDATA token.
constexpr uint8_t MODEL_IND_OPT = 0xA0;   // "?"
constexpr uint8_t MODEL_IND_PLUS = 0x50;  // "+"
constexpr uint8_t MODEL_IND_REP = 0xF0;   // "*"
constexpr uint8_t MODEL_PCDATA_FLAGS = 0xC0;

// One token; a model (the ContentModel* of an element type definition) is
// an array of them. A token keeps a count and an element definition's
// address in separate fields, since an address does not fit in a 32-bit
// word beside the flags.
struct ContentModel {
  uint8_t flags;        // header: content flags; else type and occurrence bits
  uint32_t count;       // header: tokens after it; group: number of members
  ElementTypeDef* etd;  // element: its definition; #PCDATA: the data pseudo type
};
using ModelToken = ContentModel;

inline int model_type(const ModelToken* t) { return t->flags & MODEL_TYPE_MASK; }
inline bool model_is_group(const ModelToken* t) {
  const int type = model_type(t);
  return type == MODEL_OR || type == MODEL_SEQ || type == MODEL_AND;
}

// The number of tokens the first `members` members of group take (0 for
// none); a whole group with its own token is model_group_size(g, g->count) + 1.
int model_group_size(const ModelToken* group, int members);
// The number of tokens token t takes with everything inside it.
inline int model_token_size(const ModelToken* t) {
  return model_is_group(t) ? 1 + model_group_size(t, static_cast<int>(t->count)) : 1;
}

// Declared values of attribute definitions (AttributeList::declared), in
// the order of the keyword map kw_declared_value.
enum DeclaredValue : uint8_t {
  DV_GROUP = 0,  // a name token group
  DV_NOTATION = 1,
  DV_CDATA = 2,
  DV_ENTITY = 3,
  DV_ID = 4,
  DV_IDREF = 5,
  DV_NAME = 6,
  DV_NMTOKEN = 7,
  DV_NUMBER = 8,
  DV_NUTOKEN = 9,  // the last value of a single token; those above are lists
  DV_ENTITIES = 10,
  DV_IDREFS = 11,
  DV_NAMES = 12,
  DV_NMTOKENS = 13,
  DV_NUMBERS = 14,
  DV_NUTOKENS = 15,
  DV_GROUP_TOKENS = 16,  // what the value tokenizer is given for a name token group
};
// Traces show the numbers.
static_assert(DV_NOTATION == 1 && DV_NUTOKEN == 9 && DV_NUTOKENS == 15 && DV_GROUP_TOKENS == 16);

// Attribute definition flags (AttributeList::flags of an attribute).
constexpr uint8_t ATT_REQUIRED = 0x80;
constexpr uint8_t ATT_CURRENT = 0x40;
constexpr uint8_t ATT_FIXED = 0x20;
constexpr uint8_t ATT_GROUP = 0x10;   // its group tokens follow it
constexpr uint8_t ATT_CONREF = 0x08;
// Marks of a start tag's working copy (cleared for each tag).
constexpr uint8_t ATT_DEFAULT_BAD = 0x04;  // no usable value: reported when defaulting
constexpr uint8_t ATT_GIVEN_BAD = 0x02;    // the value given was rejected
constexpr uint8_t ATT_GIVEN = 0x01;        // a value was given
constexpr uint8_t ATT_TAG_MARKS = ATT_DEFAULT_BAD | ATT_GIVEN_BAD | ATT_GIVEN;
// Flags of a list's header entry.
constexpr uint8_t ATTLIST_HAS_REQUIRED = 0x80;  // a REQUIRED attribute is defined
constexpr uint8_t ATTLIST_HAS_NOTATION = 0x40;  // a NOTATION attribute is defined
constexpr uint8_t ATTLIST_HAS_CONREF = 0x20;    // a CONREF attribute is defined

// One entry of a list. Entry 0 is the header; entries 1 to n follow: an
// attribute, and after an attribute with a group (flag ATT_GROUP) its group
// tokens (count entries, each holding a token as its name and the owner's
// declared value).
struct AttributeList {
  unsigned char* name;    // counted; header: null
  uint8_t flags;          // attribute: ATT_ flags; header: ATTLIST_ flags
  uint8_t declared;       // DeclaredValue
  int32_t count;          // group tokens that follow, or tokens of the value;
                          // header: entries used after it
  int32_t normalized;     // normalized length of the value; header: attributes
  int32_t value_length;   // characters of value (no length byte counted in)
  unsigned char* value;   // default value (tokens back to back, counted), or null
  void* record;           // ENTITY: entity record; NOTATION: notation record
  int32_t value_start;
  int32_t value_end;
};

struct NotationRecord {
  NotationRecord* next;
  unsigned char* name;
  unsigned char output_mark;
  unsigned char referenced;
  char* identifiers;        // NUL-separated list ended by an empty name
  AttributeList* attributes;
};

// External data entity record (the text of an ENT_DATA entity).
// The kind of an external data entity (DataEntity::kind).
enum DataKind : unsigned char {
  DATA_KIND_CDATA = 1,
  DATA_KIND_NDATA = 2,
  DATA_KIND_SDATA = 3,
  DATA_KIND_SUBDOC = 4,
};

struct DataEntity {
  char* files;                 // file list (NUL-terminated names, empty name last)
  NotationRecord* notation;    // null for SUBDOC
  AttributeList* attributes;   // data attributes given, or null
  unsigned char* name;         // counted entity name
  unsigned char kind;          // DataKind
};

// The element type of a counted name, or null (the name is taken as it is:
// no folding).
ElementTypeDef* etd_find(const unsigned char* name);
// The notation of a counted name, or null.
NotationRecord* notation_find(const unsigned char* name);

// An element type with the number of its bucket in the element table.
struct DtdElement {
  ElementTypeDef* type;
  int32_t bucket;
};
// Every element type in the table's own order: bucket by bucket (0 to 210),
// each chain from its head (the reports' output order depends on it).
std::vector<DtdElement> dtd_elements();
