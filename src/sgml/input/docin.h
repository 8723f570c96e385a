// Document input: opens the text behind an external entity (standard
// input, a plain file, a list of files, or the text of a data dictionary:
// plain, fragmented or multi-file) and hands it to the entity manager one
// buffer at a time, at most one record per buffer, with the parser's
// record and buffer characters in place; keeps the byte offsets that
// region spans are made from.
//
// Characters put in a buffer: 10 RS, 13 RE, 1 non-SGML marker, 26 end of
// the entity's text, 28 end of buffer (every buffer ends with 28).
#pragma once

#include <cstdint>

#include "sgml/sgml.h"

// The characters that end a buffer: the end of the entity's text, and the
// end of what one read put in the buffer (the reader refills and goes on).
constexpr unsigned char kEntityEndChar = 26;
constexpr unsigned char kBufferEndChar = 28;

struct FrgacText;
struct MfsReader;
struct SwitchRecord;
struct VqStream;

// One open external entity (owned by the entity-stack block holding it).
struct DocHandle;

// Opens the first name of a NUL-separated list ended by an empty name.
// Stores the handle through out in either case (one with no open source on
// failure; null when the name is absent or empty). 1, or -1 on failure.
// For the document entity only (document true) "vq_stdin" names standard
// input and a name matching "*.dd" a data dictionary whose first text is
// read (a bad data dictionary is fatal: 40006 or 40018, severity 9); -S
// applies to its plain or multi-file text, -E to all three kinds. A
// negative start position, or one the source cannot seek to, fails.
int doc_open(const char* names, DocHandle** out, bool document = false);
// Fills buffer with the next characters (at most the buffer size of
// doc_input_setup, the closing 28 included) and returns how many, or -1 on
// an input error; *new_file is 1 when this call went on to the next file
// of the list.
int doc_read(DocHandle* handle, unsigned char* buffer, int* new_file);
// Suspends the entity: consumed characters of the current buffer were used;
// a plain file is closed until doc_resume.
void doc_suspend(DocHandle* handle, int32_t consumed);
// Reopens and repositions a suspended entity: 0, or -1.
int doc_resume(DocHandle* handle);
// Closes and frees the handle (null is allowed). Its name becomes the last
// closed name.
void doc_close(DocHandle* handle);

// Fills the input map (0, 1, 8, 13, 26, 28 and the escape character become
// the non-SGML marker) and takes the buffer size.
void doc_input_setup(const SwitchRecord& switches);
// Characters per buffer, the closing 28 included.
int32_t doc_buffer_size();

// The four byte-offset words.
struct DocOffsets {
  int32_t pending_markup_length = -1;  // kept by the content parser
  int32_t end_tag_length = -1;         // kept by the content parser
  int32_t current_char = -1;           // document offset of the character read last
  int32_t buffer_file = -1;            // file offset of the buffer's first file character
};
extern inline DocOffsets& doc_offsets;  // in sgml_parser (parser_state.h)
// All four to -1.
void offsets_reset();
// Closes and frees the fragmented texts and multi-file readers that stay
// open after their entities (a reset of the parser calls it).
void doc_input_release();
