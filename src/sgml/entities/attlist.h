// Attribute definition lists, as the ATTLIST declaration builds them and
// the start tags of the instance read them.
#pragma once

#include <cstddef>
#include <cstdint>

struct ElementTypeDef;

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

// Index of the attribute named name (counted) among entries 1 to used - 1
// (group token entries stepped over), 0 when none.
int attlist_find_name(const AttributeList* entries, size_t used, const unsigned char* name);
// Checks a list against the element's declaration (minimization,
// EMPTY).
void attlist_element_check(ElementTypeDef* etd);
// The normalized length of a value for ATTSPLEN.
int32_t att_normalized_length(int declared, int32_t tokens, int32_t length);
