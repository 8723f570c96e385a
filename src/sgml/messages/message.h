// Parser messages: the numbered reports P<n> (text of catalogue message
// 220120 + n), their layout on the standard-error stream, the error count,
// fatal ends and deferred messages.
//
// Parse states are named by index in the order below (the index is also the
// catalogue item of the state's name, less one). The lexical engine tells
// this module which state it runs with message_state_set(), so that a
// report given kStateCurrent names it. Declaration reports (md_error) name
// the declaration keyword (index kParseStateCount + keyword) and parameter
// count kept in md_context() by the declaration parsers.
//
// The layout reads the open entities and open elements through
// MessageSources, which the entity manager and the element stack install.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// enum ParserMessage: P<n>_WORDS = n, generated with the message table.
#include "parser_messages.h"

struct SwitchRecord;

// The 27 parse states, in the order of their state names.
enum ParseState : int {
  kStateCONC, kStateCONE, kStateCONM, kStateCONR, kStateETAG, kStateGRCM, kStateGRCS,
  kStateGRNM, kStateGRNT, kStateLITC, kStateLITP, kStateLITR, kStateLITT, kStateLITV,
  kStateMD, kStateMDC, kStateMDI, kStateMDS, kStateMSCDATA, kStateMSIGNORE, kStateMSRCDATA,
  kStatePRO, kStateENTREF, kStateSTAG, kStateVAL, kStateEAL, kStateSD,
  kParseStateCount
};
// Passed as a state: the state the lexical engine runs now.
constexpr int kStateCurrent = -1;

// Declaration keywords; their state-name index is kParseStateCount + keyword.
enum DeclKeyword : int {
  kKwATTLIST, kKwDOCTYPE, kKwELEMENT, kKwENTITY, kKwLINKTYPE, kKwLINK, kKwNOTATION,
  kKwSGML, kKwSHORTREF, kKwUSELINK, kKwUSEMAP,
  kDeclKeywordCount
};
constexpr int kStateNameCount = int{kParseStateCount} + int{kDeclKeywordCount};  // 38

// The short label of a parse state ("CONC" ... "SD"); null out of range.
const char* parse_state_label(int state);
// The state whose label is text, or -1.
int parse_state_by_label(std::string_view label);

// The lexical engine's current state (initially kStatePRO). A plain word:
// the engine sets it on every call.
extern inline int& message_current_state;  // in sgml_parser (parser_state.h)
inline void message_state_set(int state) { message_current_state = state; }
inline int message_state_current() { return message_current_state; }

// The declaration being parsed, for md_error and traces.
struct DeclarationContext {
  int keyword = kKwSGML;      // DeclKeyword
  bool has_subject = false;   // the declaration names something
  std::string subject;        // that name
  int32_t parameters = 0;     // parameters read so far
};
DeclarationContext& md_context();

// One open entity as the layout shows it (outermost first).
struct MessageEntityLevel {
  bool external = false;
  std::string name;       // entity name
  long line = 0;          // line number
  int character = 0;      // character at the entity's current position
  std::string file_name;  // doc_name() of an external entity
};
// How the layout finds the open entities and elements. Any member may be
// null (no entities, no elements, nothing to record).
struct MessageSources {
  // Records the innermost entity's current position before a report.
  void (*record_position)();
  // The open entities, outermost (level 0) first.
  void (*entities)(std::vector<MessageEntityLevel>* out);
  // Names of the open elements from level 1 upward.
  void (*elements)(std::vector<std::string>* out);
};
// Installs the sources (null: none). The record must outlive its use.
void message_sources_set(const MessageSources* sources);

// Message kinds.
enum MessageKind : int32_t {
  kMsgSystem = 0, kMsgError = 1, kMsgMdSubject = 2, kMsgMd = 3, kMsgFatal = 4
};

struct MessageRecord {
  int32_t kind = kMsgError;
  int32_t number = 0;       // n of P<n>
  int32_t state = 0;        // index into the state names
  int32_t system_error = 0; // kind 0: errno at the report
  int32_t parameter = 0;    // kinds 2 and 3: parameters read
  std::string subject;      // kind 2
  const char* p1 = nullptr; // texts for the first and second "%s"
  const char* p2 = nullptr;
};

// Number of parser messages (P0 to P228) and the class code of P<n>
// ("EC", "WM", ...; "" for P0).
constexpr int kMessageCount = 229;
static_assert(kMessageCount == kParserMessageCount, "the class table covers every message");
const char* message_class(int n);

// Reports. Each records the innermost entity's position, prints, counts
// the message unless its class is I, and flushes standard error.
void sgml_error(int n, int state, const char* p1, const char* p2);
void md_error(int n, const char* p1, const char* p2);
void syntax_error(int n, int state);
[[noreturn]] void sgml_fatal(int n, int state);
void system_error(int n, const char* p1);
// Prints a record as the reports do (used by them and by tests).
void message_print(const MessageRecord& record);
// Errors counted so far.
int32_t error_count();
// Sets the error count back (between test cases; the parser never does).
void error_count_reset();

// Takes the program name, -e, -g, the catalogue and the special
// characters from the switch record.
void message_setup(const SwitchRecord& switches);

// Deferred messages: formatted now into a temporary stream, printed later.
struct SavedMessage {
  long start = 0;
  long end = 0;
  bool counted = false;
  bool fatal = false;
};
// A kind-1 message saved for later. The temporary stream is made at the
// first save; when it cannot be made the run ends with fatal P160.
SavedMessage sgml_error_save(int n, int state, const char* p1, const char* p2);
// Prints a saved message; counts it when counted; ends the run when fatal.
void saved_message_print(const SavedMessage* saved);
