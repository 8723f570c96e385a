// Tag stream: the tokenizer and writer under every tagged text of the suite
// (data dictionary, message file, file maps, meta-structure files, tag name
// files).
//
// Input is split into text runs and tags of fewer than 1024 bytes. A tag
// starts with the opening character of a defined delimiter set (opening
// character, end-tag marker, closing character; the suite uses "<", "/",
// ">") and is scanned by that set's state table, one table look-up per byte.
// Tag names are looked up in the set's symbol table. The writer puts tags by
// id and text verbatim. Input and output are streams of the I/O layer or
// caller-supplied byte callbacks. Nesting is the caller's business.
//
// The state tables are plain data (SinsiStateTable) reachable through the
// stream, so that other scanners (the attribute scan of the multi-file
// region builder) walk a tag's text with exactly the same transitions.
#pragma once

#include <cstddef>
#include <cstdint>

#include "io/vqio.h"
#include "sinsy/sinsy.h"

// ---------------------------------------------------------------------------
// Status codes, shared by every tagged-text reader and writer of the suite.

enum : int {
  SINSI_OK = 0,
  SINSI_UNKNOWN_ID = 3,   // writer: the id has no name
  SINSI_CONFLICT = 6,     // set redefined with other characters; duplicate name or id
  SINSI_BAD = 9,          // bad name, undefined delimiter set, malformed tag
  SINSI_NO_IO = 11,       // no input (or no output) on this stream
  SINSI_FULL = 14,        // symbol table full
  SINSI_END = 15,         // end of input
  SINSI_FAILED = 16,      // write failure or allocation failure
};

// Token kinds returned by sinsint.
enum : int {
  SINSI_END_TAG = 0,          // end tag with a known name
  SINSI_END_TAG_UNKNOWN = 1,  // end tag with an unknown name
  SINSI_START_TAG = 2,        // start tag with a known name
  SINSI_START_TAG_UNKNOWN = 3,
  SINSI_TEXT = 4,
  SINSI_MALFORMED = 5,        // status 9; reading can go on
  SINSI_EOF = 6,
};

enum : size_t {
  SINSI_BUFSIZE = 1024,   // token buffer; a tag must stay below this size
  SINSI_MAX_NAME = 256,   // longest tag name sinsidt accepts
};

// Delimiter record: three bytes. An end marker of 0 means the set has none.
struct SinsiDelimiters {
  unsigned char open;
  unsigned char end;
  unsigned char close;
};

// The suite's delimiters "<", "/", ">".
inline constexpr SinsiDelimiters SinsiAngleDelimiters = {'<', '/', '>'};

// ---------------------------------------------------------------------------
// State machine of a delimiter set (o opening, e end marker, c closing
// character, b white space as isspace in the "C" locale):
//
//   state                 transitions
//   0 after o             e -> 1; o, c -> 15; else -> 2
//   1 end-tag name        c -> 13; o, e -> 15; else -> 1
//   2 start-tag name      b -> 3; c -> 11; o, e -> 15; else -> 2
//   3 blank               b -> 3; c -> 12; o, e -> 15; else -> 4
//   4 attribute name      "=" -> 5; o, e, c -> 15; else -> 4
//   5 after "="           '"' -> 7; o, e, c -> 15; else -> 6
//   6 unquoted value      b -> 3; "," -> 5; c -> 12; o, e -> 15; else -> 6
//   7 quoted value        '"' -> 8; else -> 7 (delimiters included)
//   8 after closing quote b -> 3; "," -> 5; c -> 12; o, e -> 15; else -> 0
//
// 11, 12 and 13 are done states, 15 is the error state; end of input leads
// to 15 from every state. Delimiter transitions override the character
// classes (a blank that is also a delimiter counts as the delimiter).

enum : uint8_t {
  SINSI_ST_OPEN = 0,
  SINSI_ST_END_NAME = 1,
  SINSI_ST_START_NAME = 2,
  SINSI_ST_BLANK = 3,
  SINSI_ST_ATTR_NAME = 4,
  SINSI_ST_AFTER_EQUALS = 5,
  SINSI_ST_VALUE = 6,
  SINSI_ST_QUOTED = 7,
  SINSI_ST_AFTER_QUOTE = 8,
  SINSI_ST_DONE_START = 11,        // start tag without attributes
  SINSI_ST_DONE_START_ATTRS = 12,  // start tag with attributes
  SINSI_ST_DONE_END = 13,          // end tag
  SINSI_ST_ERROR = 15,
};

enum : int {
  SINSI_ROWS = 9,          // working states 0 to 8
  SINSI_COLUMNS = 257,     // one per byte value, then end of input
  SINSI_COLUMN_EOF = 256,
};

struct SinsiStateTable {
  uint8_t next[SINSI_ROWS][SINSI_COLUMNS];
};

// White space as isspace in the "C" locale (fixed, whatever the locale).
inline bool sinsi_is_blank(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Next state from a working state for a byte (0-255) or SINSI_COLUMN_EOF.
inline int sinsi_step(const SinsiStateTable* table, int state, int column) {
  return table->next[state][column];
}
inline bool sinsi_state_done(int state) {
  return state == SINSI_ST_DONE_START || state == SINSI_ST_DONE_START_ATTRS ||
         state == SINSI_ST_DONE_END;
}

// The character-class template every set's table is copied from (white
// space, "=", '"', ",", end of input; no delimiters). Built once per process.
const SinsiStateTable* sinsi_template();
// Fills table with the template plus the delimiter transitions of a set.
void sinsi_build_states(const SinsiDelimiters* delimiters, SinsiStateTable* table);

// ---------------------------------------------------------------------------
// The stream

using SinsiReadFn = int (*)(void* handle);             // a byte, or -1 at end
using SinsiWriteFn = int (*)(void* handle, int byte);  // -1 on failure
// Block input: points *block at the next bytes of input and gives their
// count, 0 at the end (and on every call after it). The bytes stay valid
// until the next call.
using SinsiBlockFn = size_t (*)(void* handle, const unsigned char** block);

struct SinsiStream {
  void* input;           // VqStream*, or the read callback's handle
  void* output;          // VqStream*, or the write callback's handle
  SinsiReadFn read;      // used instead of the input stream when set
  SinsiWriteFn write;    // used instead of the output stream when set
  int32_t at_end;        // end of input seen (set at once without input)
  int32_t id;            // tag id of the current token, -1 when none
  const SinsiDelimiters* delimiters;  // of the current token, null for text
  size_t text_position;  // 0 after every token
  size_t spare;
  size_t length;         // bytes of the current token
  unsigned char buffer[SINSI_BUFSIZE];
  int pushed_back;       // byte, or -1 when none
  const SinsiStateTable* states;       // table of the current tag
  // Per opening character; null where no delimiter set starts.
  SinsiStateTable* set_states[256];
  SinsiDelimiters* set_delimiters[256];
  SinsySymtab* set_names[256];
  // Attribute scanning of the multi-file region builder: names to look for
  // (null as opened; freed by sinsicl) and the scan offset in the current
  // start tag.
  SinsySymtab* attribute_names;
  size_t attribute_offset;
  // Block input (sinsiob): the block being read and the next byte in it.
  SinsiBlockFn fill;
  const unsigned char* block;
  size_t block_at, block_have;
  int32_t only_open;       // opening character when exactly one set is defined, else -1
  int32_t text_not_kept;   // the current token is a text run read by sinsins
};

// Given a null stream, the reading and writing operations return 11
// (sinsint: kind 6 with status 11) and sinsidt returns 9.

// Opens a stream; null when all four arguments are null. Allocation failure
// is reported with severity 14.
SinsiStream* sinsios(void* input, void* output, SinsiReadFn read, SinsiWriteFn write);
// Opens a stream that reads its input in blocks from fill (no output);
// null when fill is null. Reading such a stream costs no call per byte.
SinsiStream* sinsiob(void* handle, SinsiBlockFn fill);
// Flushes the output (as sinsifs) and frees the stream with its tables. The
// input and output themselves are not closed. Returns 16 when the flush
// failed, else 0. Null is allowed.
int sinsicl(SinsiStream* stream);
// Defines a null-terminated list of names with their ids for a delimiter
// set. 9 for a name over 256 bytes or holding a delimiter or byte 255, or an
// id of -1 (nothing changes); 6 when the opening character already has a set
// with another end marker or closing character; else sinsyad's result.
int sinsidt(SinsiStream* stream, const char* const* names, const int32_t* ids,
            const SinsiDelimiters* delimiters);
// Reads the next token: its kind; length and status receive the token's
// length and 0, or 9 for a malformed tag, or at the end 15 (11 without
// input). Either pointer may be null.
int sinsint(SinsiStream* stream, size_t* length, int* status);
// Reads the next token as sinsint does, except that a text run is counted,
// not kept: it runs to the next opening character or the end of input,
// however long (a reader that only needs positions gets one token per run),
// and sinsigx gives none of its bytes. Tags are read and kept as by sinsint.
int sinsins(SinsiStream* stream, size_t* length, int* status);
// Tag id of the current token (-1 for text or an unknown name); delimiters
// (may be null) receives the current token's delimiter record. status: 11
// without input, 15 when the id is -1 at end of input, else 0.
int32_t sinsigt(SinsiStream* stream, const SinsiDelimiters** delimiters, int* status);
// Copies at most *size bytes of the current token into buffer (which holds
// *size + 1: a NUL is added) and sets *size to the count. 15 when nothing
// was copied at end of input, 11 without input, else 0.
int sinsigx(SinsiStream* stream, char* buffer, size_t* size);
// Reads *size raw bytes past the tokenizer (the pushed-back byte first),
// clearing the current token; fewer only at the end of input, which sets the
// end flag. Sets *size to the count and adds a NUL (buffer holds *size + 1).
// 15 when nothing was read because the input had ended, 11 without input.
int sinsirx(SinsiStream* stream, char* buffer, size_t* size);
// Writes a tag by id: opening character, the end marker when end_tag is set
// (and the set has one), the name, the closing character. 11 without
// output, 9 when the opening character has no set, 3 when the id has no
// name, 16 when a write fails.
int sinsipt(SinsiStream* stream, int32_t id, int end_tag, int open);
// Writes n bytes verbatim. 16 on failure, 11 without output.
int sinsipx(SinsiStream* stream, const char* text, size_t n);
// Flushes the output stream: 11 when the stream writes through a callback
// or has no output stream, 16 when the flush fails, else 0.
int sinsifs(SinsiStream* stream);

// ---------------------------------------------------------------------------
// Attribute scanning (the multi-file region builder): the attributes of the
// current start tag are walked with the state table the tag was scanned with,
// so that names and values split exactly where the tokenizer split them.

// Defines the attribute names to look for, with their ids (null-terminated
// list). 9 for a name that is empty, longer than 256 bytes, or holds byte
// 255 or a character of a defined delimiter set, or for an id of -1 (nothing
// changes then); 16 when the table cannot be made; otherwise the result of
// adding the names (6 for a duplicate name or id).
int sinsida(SinsiStream* stream, const char* const* names, const int32_t* ids);
// Starts the attribute scan of the current token afresh (offset 1, the byte
// after the opening character).
void sinsirs(SinsiStream* stream);
// The id of the next attribute of the current start tag whose name was
// defined by sinsida, or -1 when the tag has no further one (at once for a
// stream without attribute names). Its value is copied to value, which holds
// SINSI_BUFSIZE + 1 bytes, and ended by a NUL; length (when given) gets the
// value's byte count and quoted (when given) 1 for a value in double quotes.
// attribute_offset is left just past the value: past the closing quote of a
// quoted value, on the byte after an unquoted one. Names of more than 256
// bytes match nothing; attributes with unknown names are skipped with their
// values; of a value list "a=x,y" only the first value is returned.
int32_t sinsina(SinsiStream* stream, char* value, size_t* length = nullptr,
                int* quoted = nullptr);
