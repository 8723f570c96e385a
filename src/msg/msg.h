// Reporting: the process-wide error-handler hook, the checked-allocation
// reports, and the numbered message catalogue with its printer.
//
// Library code never prints errors itself. It calls the installed handler
// with a severity, a format and its arguments:
//     vq_report(11, GetMsgNumText(40021), "addgiti");
// Severities 0 (warning), 1 (information) and 2 (non-fatal error) return to
// the caller; 3 and above never return (the handler ends the program).
#pragma once

#include <cstddef>
#include <cstdint>

#include "io/vqio.h"

// ---------------------------------------------------------------------------
// Error-handler hook

using ErrorHandler = int (*)(int severity, const char* format, ...);

// Installs handler; null installs default_error_handler again.
void set_error_handler(ErrorHandler handler);
// The installed handler (default_error_handler until a main installs one).
ErrorHandler current_error_handler();
#define vq_report(...) (current_error_handler()(__VA_ARGS__))

// Prints the text on the layer's standard error ("[%s]" with the system error
// text for severity 16), then exits with the severity as status for any
// severity other than 0, 1 and 2.
int default_error_handler(int severity, const char* format, ...);
// Prints the text on the layer's standard error and flushes it.
int error_printf(const char* format, ...) VQ_PRINTF(1, 2);
// "FATAL: " and the text on standard error, then vqio_exit(-1) (status 255).
[[noreturn]] void fatal_exit(const char* format, ...) VQ_PRINTF(1, 2);

// Checked allocation: each allocation site reports its own source file
// short name and line (severity 14; the report does not return).
[[noreturn]] void vq_alloc_failed(long bytes, long chunks, long chunk_size, int line,
                                  const char* file);
[[noreturn]] void vq_realloc_failed(long bytes, long chunks, long chunk_size, int line,
                                    const char* file);
// malloc/calloc/realloc that report through the hook on failure or on a
// requested size of zero or less.
void* vq_malloc(long chunks, long chunk_size, int line, const char* file);
void* vq_calloc(long chunks, long chunk_size, int line, const char* file);
void* vq_realloc(void* p, long chunks, long chunk_size, int line, const char* file);
// Assertion report: "%s(%d): " on standard error, then severity 15 "assert".
[[noreturn]] void vq_assert_failed(const char* file, int line);
#define VQ_ASSERT(cond) ((cond) ? (void)0 : vq_assert_failed(__FILE__, __LINE__))

// ---------------------------------------------------------------------------
// Message catalogue

// The bare text of message n (never begins with its number). -1 releases
// the catalogue and returns null. A message-file text is used only where
// its conversions match the compiled-in text's (for a number without a
// compiled-in text, only when it holds no conversion). Every text returned
// stays valid until GetMsgText(-1), so several can be used together. errno
// is left as the caller had it.
const char* GetMsgText(long n);
// "%ld: %s" with n and the bare text; valid until GetMsgText(-1). (-1 is
// looked up like any number here: it releases nothing.)
const char* GetMsgNumText(long n);
// Whether text may be used as a format in place of reference: the same
// conversions in the same order, and none that stores through an argument
// (%n). For texts of other catalogues (catgets) with compiled-in defaults.
bool msg_text_usable(const char* text, const char* reference);
// The printer the mains install: strips the leading number, prints on the
// layer's standard error, "[%s]" for severity 16, newline; severity >= 3
// ends the program with status 1.
int print_message(int severity, const char* format, ...);

struct MsgEntry {
  unsigned int number;
  const char* text;
};
// The compiled-in table, sorted by number, and its length.
extern const MsgEntry MsgTable[];
extern const size_t MsgTableCount;

// ---------------------------------------------------------------------------
// Message-file index (used by the catalogue; declared here for its tests)
//
// The message file is tagged text (delimiters "<", "/", ">"):
//   <VQMessages><VQMessage><VQLevel>..</VQLevel><VQCode>3</VQCode>
//   <VQText>any text, markup included</VQText><VQArg>..</VQArg></VQMessage>
//   ...</VQMessages>
// Indexing records, per message, its number and the character offset of the
// first character of its text; a lookup reads the text from there up to the
// first "</VQText>".

struct MsgIndexEntry {
  uint32_t number;
  long offset;       // file index: offset of the text in the message file
  const char* text;  // table index: the compiled-in text
};

struct MsgIndex {
  int32_t capacity;
  int32_t count;
  int32_t entry_size;  // sizeof(MsgIndexEntry)
  MsgIndexEntry* entries;
};

// Parser callback of msgidx_load: operation 1 yields the next {number,
// offset} and returns 1, or returns 0 at the end; operation 0 closes it.
using MsgParseFn = int (*)(int operation, VqStream* stream, uint32_t* number, long* offset);

// A new index holding a copy of count entries (entries may be null when
// count is 0), with room for at least capacity. Allocation failure is
// reported with severity 14.
MsgIndex* msgidx_create(int32_t capacity, int32_t count, int32_t entry_size,
                        const MsgIndexEntry* entries);
void msgidx_free(MsgIndex* index);
// Appends every entry that parse yields from stream (capacity 20 at the
// first entry, doubled when full), then closes the parser. Returns the
// number of entries appended.
int32_t msgidx_load(VqStream* stream, MsgIndex* index, MsgParseFn parse);
// Sorts by number, keeping entries of equal numbers in their order.
void msgidx_sort(MsgIndex* index);
// The first entry with number n in a sorted index, or null.
const MsgIndexEntry* msgidx_find(const MsgIndex* index, long n);
// The message-file parser (a MsgParseFn). The offsets it yields count from
// the stream's position at its first call.
int msgfile_next_entry(int operation, VqStream* stream, uint32_t* number, long* offset);

// ---------------------------------------------------------------------------
// Start-up of the programs

// Scans argv[1..] for "-v" and "-ver": either prints the banner
// "<name> version 5.3.0 (Incr: 10286)" on standard output; "-ver" then ends
// the program with status 0. Returns 1 when "-v" was seen, else 0.
int vq_version_banner(int argc, char** argv, const char* banner_name);
