// Reports on the document type definition, written after the prolog has
// been parsed (`start_document`): the element list, the element levels, the
// root element, the DTD written back, the region query lines and a style
// specification. They read the parser's element table and write plain text
// on the standard output stream; nothing is kept between calls.
//
// The element list and the element levels are also services: the region
// mode orders its data-dictionary entries by element level, and the meta
// documents ask whether an element is declared.
//
// Names handed out point into the parser's element table (the characters of
// its counted names) and stay valid as long as the table does. The order of
// equal names and equal depths is part of the output: the table is walked
// bucket by bucket (0 to 210), each chain from its head, and sorted with the
// utilities' quicksorts, whose pivot rule fixes that order.
//
// Problems are reported through the error-handler hook with severity 2:
// 220015 when the table holds more elements than the caller's capacity
// (the lists then come back empty), 220016 for an element that is named but
// not declared (its report is skipped). Neither changes the exit status.
#pragma once

#include <cstdint>

#include "util/util.h"

// The capacity every caller passes: a DTD of more elements ("*DOC" counted)
// gets empty lists.
enum { kDtdElementLimit = 2048 };

// Every element name with the number of its hash bucket, sorted by name
// (byte order): pairs[i].word is the bucket, pairs[i].string the name.
// *count is the number of pairs, 0 when the table holds more than capacity
// elements (220015 with capacity).
void list_element_pairs(int capacity, int* count, SortStrPair* pairs);

// Every element name with its depth below "*DOC" (which has depth 0; the
// document element 1), sorted by depth; elements that "*DOC" does not reach
// have depth -1 and come first. The depth is that of the first path a
// depth-first walk finds (through model tokens in order, then inclusions,
// then exclusions), not the shortest. names[i] and depths[i] for i below
// *count; *count is 0 when the table holds more than capacity elements
// (220015 with capacity).
void element_levels(int capacity, int* count, const char** names, int32_t* depths);

// The index of the first of the count names equal to name, -1 when there is
// none.
int find_name_index(const char* name, int count, const char* const* names);

// 1 when name (folded as the parser folds element names) is a declared
// element type, else 0.
int element_exists(const char* name);

// The reports. Element names given by the caller are folded as the parser
// folds element names.
void level_mode();                   // "%-20s level %2d" per element, by depth
void elist_mode();                   // one name a line, by name
void root_mode();                    // "{DefaultRegion NAME}" with the document element
void spec_mode();                    // fonts, the standard and the tag-view specification
void dtd_mode_all();                 // ELEMENT and ATTLIST of every element, by name
void dtd_mode(const char* name);     // the same for one element
void query_mode_all();               // region query lines of every element, by name
void query_mode(const char* name);   // the same for one element

// The dtd and query modes as the dispatcher runs them: the one-element
// form when the options record names a document element, else the report
// of every element.
void dtd_mode_run();
void query_mode_run();
