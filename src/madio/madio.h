// Tagged-text reader and writer: tagged text to a tagged tree and back.
//
// A MadStream sits on a tag stream (sinsi) and adds a tag table with layout
// flags, an optional filter that decides whether a tag may stand where it
// stands (the data-dictionary grammar is one), raw sections kept as text,
// "#" comment lines and line numbers.
//
// Reading: tags of the table become tag nodes; the text between them
// becomes text nodes, or the value of a tag without child tags; a line
// whose first non-blank character is "#" becomes a comment node (through
// its newline). Unknown and malformed tags are text. The content of a raw
// section (a tag whose row has DD_FLAG_RAW) is kept as the tag's value
// exactly as it stood, comments and tags included; its own end tag ends
// it, except inside a comment.
//
// Writing regenerates the layout from the flags: an own-line tag starts on
// a new line indented by its depth (one blank per level), after a blank
// line when it also has DD_FLAG_BLANK_LINE; values and texts are written
// verbatim. A comment whose text lacks its line end gets one unless the
// next byte written is a newline anyway, so that no tag is ever written
// onto a comment line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "madmt/madmt.h"
#include "sinsi/sinsi.h"
#include "util/util.h"

// One row of a tag table: id (equal to the row index), name, flags. A table
// ends with a row whose id is negative.
struct DdTagInfo {
  int32_t id;
  const char* name;
  int32_t flags;
};

enum : int32_t {
  DD_FLAG_OWN_LINE = 1,    // newline and indentation before the tag
  DD_FLAG_RAW = 2,         // content read raw (set at run time)
  DD_FLAG_BLANK_LINE = 4,  // a blank line before it as well (with 1)
  DD_FLAG_SECTION = 8,     // a top-level data-dictionary section
};

// Decides whether a tag may open where it stands: nonzero when allowed.
// open_ids holds the ids of the open tags, innermost on top.
using MadFilter = int (*)(int32_t tag_id, const TedStack* open_ids);

struct MadStream {
  MadFilter filter;                   // null: every tag allowed
  SinsiStream* tags;                  // owned
  const SinsiDelimiters* delimiters;  // not owned
  const DdTagInfo* table;             // not owned; null for madiosu streams
  int32_t table_rows;                 // rows before the terminating row
};

// Opens a stream over the four tag-stream arguments (input, output, read
// and write callbacks) with a tag table: checks that each row's id is its
// index (reporting "madioss: Inconsistency in tag information at tag %d",
// severity 15, and going on) and defines the names. Null on failure.
MadStream* madioss(void* input, void* output, SinsiReadFn read, SinsiWriteFn write,
                   const DdTagInfo* table, const SinsiDelimiters* delimiters,
                   MadFilter filter);
// As madioss with a null-terminated name list and its ids instead of a
// table: for reading only; messages give ids as numbers.
MadStream* madiosu(void* input, void* output, SinsiReadFn read, SinsiWriteFn write,
                   const char* const* names, const int32_t* ids,
                   const SinsiDelimiters* delimiters, MadFilter filter);
// Closes the tag stream (flushing its output) and frees the record; the
// underlying file stays open. 0, or 16 when the flush failed.
int madiocl(MadStream* stream);

// Reads tagged text from the current position into a new tree (root of
// kind MAD_ROOT). With read_all 0 reading stops after the first complete
// top-level element. Null on failure (reported, severity 0 for mismatched
// and unclosed tags, 13 for a tag the filter refuses, 15 internal).
MadNode* madiopa(MadStream* stream, int read_all);
// Writes the tree (its root's children at depth 0), one final newline, and
// flushes. 0 or the failing tag-stream status.
int madiowr(MadStream* stream, const MadNode* root);
// Writes node, its subtree and its following siblings at depth, then
// flushes. 0 or the failing status.
int madiofw(MadStream* stream, const MadNode* node, int depth);
// Appends the current token's text (count bytes at most) to buffer.
int madioat(SinsiStream* tags, std::string& buffer, size_t count);
