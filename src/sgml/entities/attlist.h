// Attribute definition lists, as the ATTLIST declaration builds them and
// the start tags of the instance read them.
#pragma once

#include <cstddef>
#include <cstdint>

struct ElementTypeDef;

// One entry of a list. Entry 0 is the header; entries 1 to n follow: an
// attribute, and after an attribute with a group (flag 0x10) its group
// tokens (count entries, each holding a token as its name and the owner's
// declared value).
struct AttributeList {
  unsigned char* name;    // counted; header: null
  uint8_t flags;          // attribute: 0x80 REQUIRED, 0x40 CURRENT, 0x20 FIXED,
                          // 0x10 group follows, 0x08 CONREF, 0x01/0x02/0x04 start-tag
                          // marks; header: 0x80 a REQUIRED, 0x40 a NOTATION,
                          // 0x20 a CONREF attribute is defined
  uint8_t declared;       // 0 name token group, 1 NOTATION ... 15 NUTOKENS
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
