// Inside the message module: the default state names and layout words.
#pragma once

#include "sgml/messages/message.h"

// The 38 state names (parse states, then declaration keywords); catalogue
// set 3, item index + 1, may replace them.
extern const char* const StateNames[kStateNameCount];

// Layout words; catalogue set 2, item index + 1, may replace them.
enum PartText : int {
  kPartIncluded, kPartSgmlError, kPartUnsupported, kPartError, kPartWarning, kPartFileLine,
  kPartEntityLine, kPartMdSubject, kPartMd, kPartState, kPartEndOfFile, kPartRecordStart,
  kPartRecordEnd, kPartChar, kPartCharCode, kPartAccessing, kPartElements,
  kPartCount
};
extern const char* const PartTexts[kPartCount];

struct VqStream;

// The text of a layout word: the catalogue's when it reads no argument the
// layout does not pass, else the default. An index above 16 is an internal
// error.
const char* part_text(int index);
// The name of a state or keyword (index below 38; else an internal error).
const char* state_name(int index);
// The text of P<n>: the catalogue message 220120 + n when its conversions
// are at most two "%s" (and "%%"), else the compiled-in text.
const char* p_text(int n);
// The catalogue that part_text and state_name read ((nl_catd)-1: none).
void message_catalogue_set(void* catalogue);

// Writes the whole message for record on stream (no counting).
void message_format(const MessageRecord& record, VqStream* stream);
// Whether a message of class code cls counts as an error.
bool message_counts(const char* cls);
// The internal-error report of this module: "sgmlmsg(line): ", then the
// error-handler hook with severity 15.
[[noreturn]] void message_internal_error(int line);
// Adds one to the error count.
void error_count_add();
