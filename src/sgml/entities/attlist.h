// Attribute definition lists, as the ATTLIST declaration builds them and
// the start tags of the instance read them (the list record, its flags and
// the declared values are in sgml/dtd.h).
#pragma once

#include <cstddef>
#include <cstdint>

#include "sgml/dtd.h"

struct ElementTypeDef;


// Index of the attribute named name (counted) among entries 1 to used - 1
// (group token entries stepped over), 0 when none.
int attlist_find_name(const AttributeList* entries, size_t used, const unsigned char* name);
// Checks a list against the element's declaration (minimization,
// EMPTY).
void attlist_element_check(ElementTypeDef* etd);
// The normalized length of a value for ATTSPLEN.
int32_t att_normalized_length(int declared, int32_t tokens, int32_t length);
