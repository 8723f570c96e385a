// tavrel's region finder around the SGML parser: the front end (command
// line, switch record, process-wide flags, front-end messages, the exit
// clean-up list, the capacity report), the options record and the mode
// dispatcher, the per-document runner, and the modes.
//
// One run: the banner on request; the options read into the parser's
// SwitchRecord and the front state; ModeOptions and the parser's options
// built from them; the parser set up; the document entity opened from the
// file operands (or the -D name); the selected mode run by sgmlvq; the
// parser's capacity figures printed (-c) or written (-z); the temporary
// files removed; the exit status 1 when a child failed or the parser
// counted errors, else 0.
//
// Modes plug into the dispatch table of dispatch.cpp: one entry per mode,
// with its -m name, its value, how it starts (directly, after the prolog, or
// once per document) and its function.
//
// Single-threaded; all state is process-wide.
#pragma once

#include <nl_types.h>

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "finder/modeopts.h"
#include "io/vqio.h"
#include "msg/msg.h"
#include "sgml/sgml.h"

struct AttributeList;
struct DataEntity;
struct NotationRecord;

enum : int32_t {
  TAVREL_VERSION = 50300,  // handed to the region pass (region-file headers)
  PRINT_WIDTH = 40,        // excerpt width of print mode
};

// Mode values (ModeOptions::mode).
enum : int32_t {
  kModeVesk = 1,
  kModeCheck = 2,
  kModePrint = 4,
  kModeRegion = 5,
  kModeDeclare = 6,
  kModeNormalize = 7,
  kModeFilter = 8,
  kModeDtd = 9,
  kModeTest = 10,
  kModeGentest = 11,
  kModeElist = 12,
  kModeSpec = 13,
  kModeRoot = 14,
  kModeQuery = 15,
  kModeLevel = 16,
};

// ---------------------------------------------------------------------------
// Process-wide state of the front end (one record, set at start-up, read by
// the modes).

struct FrontState {
  std::string program_name = "tavrel";  // base name of argv[0]
  nl_catd catalogue = reinterpret_cast<nl_catd>(-1);  // catopen("tavrl", 0)
  int32_t version = TAVREL_VERSION;  // sgml_main's version, for region files
  int32_t verbose = 0;         // -v
  int32_t carriage_return = 0; // -K: a carriage return reads as a blank
  int32_t merge = 0;           // -J: merge new regions into the region file
  int32_t suppress = 0;        // -s, -p: normalize and line-format write nothing
  int32_t prolog_only = 0;     // -p: the per-document modes stop after the prolog
  int32_t line_numbers = 0;    // -l: line-format output writes line lines
  int32_t capacity_report = 0; // -c: print the capacity report at the end
  std::string capacity_file;   // -z: where the capacity counts are written
  bool has_capacity_file = false;
  int32_t child_failed = 0;    // a child process failed: exit status 1
  // Argument vector prefix for child processes: argv[0] as started, then
  // the forwarded options (child_forward_options).
  std::vector<std::string> forwarded;
  // Storage behind the switch record's -i list (null-terminated).
  std::vector<const char*> include_list;
};
FrontState& front_state();

// The front end proper: reads the command line, runs the mode and ends the
// process; never returns.
[[noreturn]] void sgml_main(int argc, char** argv, int32_t version);

// The defaults of the switch record.
void switch_record_init(SwitchRecord* record);
// Reads the options into the record and the front state. Returns the index
// of the first file operand in argv after the options were moved in front
// of them (argc when none), or -1 for an unknown option or a missing
// value. Options after file operands count; "--" ends the options.
int front_options_read(int argc, char** argv, SwitchRecord* record);
// The document entity's file list: the operands, "-" as "vq_stdin", each
// ended by a NUL and the list by one more NUL; with no operand the -D name
// alone.
std::string doc_list_build(const SwitchRecord& record, int count, char* const* names);
// Appends the forwarded options to front_state().forwarded.
void child_forward_options(const SwitchRecord& record);

// Usage text on standard error; ends the process with status 1.
[[noreturn]] void usage();

// ---------------------------------------------------------------------------
// Front-end messages 1 to 8: from the catalogue (set 4) when it has a text
// with the same conversions, else the compiled-in default.

enum FrontMessage : int {
  kFrontNoMemory = 1,         // "Out of memory"
  kFrontCannotOpenDoc = 2,    // "Cannot open SGML document entity"
  kFrontCannotExec = 3,       // "Cannot exec `%s': %s"
  kFrontCannotFork = 4,       // "Cannot fork: %s"
  kFrontWaitFailed = 5,       // "Error waiting for process: %s"
  kFrontFatalSignal = 6,      // "Program %s got fatal signal %d"
  kFrontCannotOpenFile = 7,   // "Cannot open `%s': %s"
  kFrontCapacityBotch = 8,    // "Subdocument capacity botch"
};
// The text of front message n (null outside 1 to 8).
const char* front_message_text(int n);
// "<program>: ", message n with the arguments, newline, on standard error,
// flushed.
void front_print(int n, ...);
void front_error(int n, ...);
[[noreturn]] void front_fatal(int n, ...);
// Allocation that ends the run with front message 1 on failure
// (front_realloc of null allocates afresh).
void* front_alloc(size_t size);
void* front_realloc(void* pointer, size_t size);

// ---------------------------------------------------------------------------
// The clean-up list: files that every way out of the process removes (the
// normal end, front_fatal, a fatal message that ends through vqio_exit, and
// the interrupting signals once front_cleanup_signals() installed their
// handlers). Names are kept as given.

void front_cleanup_add(const std::string& path);
// Takes a name off the list (the caller removed or kept the file itself).
void front_cleanup_drop(const std::string& path);
// Removes every listed file now and empties the list.
void front_cleanup_run();
// Handlers of SIGINT, SIGTERM, SIGPIPE and SIGHUP (an ignored signal stays
// ignored) that remove the listed files, send SIGTERM to a running SUBDOC
// child and then end as the signal would.
void front_cleanup_signals();
// Those four signals.
inline constexpr std::initializer_list<int> kFrontCleanupSignals = {SIGINT, SIGTERM, SIGPIPE,
                                                                    SIGHUP};

// ---------------------------------------------------------------------------
// Options record and mode dispatch

// How a mode starts.
enum ModeStart : int {
  kStartDirect = 0,       // the function alone
  kStartAfterProlog = 1,  // start_document, then the function
  kStartPerDocument = 2,  // run_per_document(function)
};
struct ModeEntry {
  const char* name;  // -m selects it by its first two characters
  int32_t value;     // ModeOptions::mode
  ModeStart start;
  void (*run)();
};
// The modes in the order -m texts are matched against them.
extern const ModeEntry ModeTable[];
extern const int ModeTableCount;

// The mode entry an -m text selects (null: region). Only the first two
// characters count; a one-character text selects nothing.
const ModeEntry* mode_select(const char* text);
// The name of a mode value ("region" for 5 and anything unknown).
const char* mode_name(int32_t value);

// Allocates and fills the run's ModeOptions from the switch record and
// points mode_options at it; fills the parser's options (sgml_options())
// from the record and the front state.
void build_options(const SwitchRecord& record);
// Runs the selected mode.
void sgmlvq(const SwitchRecord& record, int32_t version);

// Region mode set-up: the data-dictionary file (the -D name and ".dd") and
// the region-file base name (-o less ".rgn", else the -D name).
std::string region_dd_file(const ModeOptions& options);
std::string region_base_name(const ModeOptions& options);

// ---------------------------------------------------------------------------
// Per-document runner

// start_document and reset_doc_state are the parser's (sgml/sgml.h).
// start_document, then f once (or once per meta document); with -p the
// parse ends after the prolog and f is not called. Returns 1.
int run_per_document(void (*f)());

// ---------------------------------------------------------------------------
// Modes of this part

void check_mode();
void print_mode();
void declare_mode();

// The pieces of print mode. print_event writes the line of a start tag
// (after its attributes) or an end tag, indented one blank per open element
// beyond the first; print_attributes one line per attribute that has no
// refused value; print_excerpt "-->[", the bytes from start to end (the
// first and last width / 2 around "...." when the span is width bytes or
// longer, "NIL" when end is before start), "]" -- nothing at all when the
// document entity's position cannot be told.
void print_event(VqStream* out, int width, int event, const EventTagRecord& tag,
                 const EventDataRecord& data);
void print_attributes(VqStream* out, int width, const std::string& indent,
                      const AttributeList* list);
void print_excerpt(VqStream* out, int width, long start, long end);

// The writing modes' events. event_write passes an event to the mode's
// writer unless the parser refused it (data where none is allowed, tags of
// elements not allowed where they started) or -s suppresses the output;
// a reference to a subdocument entity goes to its writer even under -s.
// A record end is written as data of the one RE character (13).
struct EventWriter {
  void (*data)(const unsigned char* text, size_t length, bool sdata);
  void (*external)(const DataEntity& entity);   // external data entity in content
  void (*subdocument)(const DataEntity& entity);  // null: nothing is done
  void (*start_tag)(const EventTagRecord& tag);
  void (*end_tag)(const EventTagRecord& tag);
  void (*instruction)(const EventDataRecord& data);
  void (*appinfo)(const EventDataRecord& data);  // null: nothing is written
};
void event_write(const EventWriter& writer, int code, const EventTagRecord& tag,
                 const EventDataRecord& data);
// Standard output of the writing modes: a buffer of 64 KB instead of the
// stream layer's 1 KB, so that large outputs take few write calls; a
// terminal keeps its line buffering. Done once per run.
void writing_output_buffer();
// The text writers' fast path: appends to out the bytes of text from index
// i on that the table marks plain (256 entries), up to the first byte that
// is not; the index of that byte (length at the end).
size_t append_plain_run(std::string& out, const unsigned char* text, size_t i, size_t length,
                        const bool* plain);
// The notation record of a NOTATION attribute's value: the entry's record,
// else (the declared list of an implied start tag, whose default names
// the notation but holds no record) the notation its counted value names;
// null when neither.
NotationRecord* attribute_notation(const AttributeList& attribute);

// Line-format output (vesk): the document's events as lines on standard
// output, from the start of the document to its end.
void lineout_run();
// The escapes of its lines, appended to out. Data (data, SDATA between
// "\|", record ends, instructions, CDATA values, entity texts): byte 31
// takes the next byte less 64 as the character, 30 stands for "\|" (and
// is dropped inside SDATA), 29 is dropped, a record end is "\n", a line
// feed is dropped, a backslash doubled, bytes outside 32 to 126 in octal.
// Names (file names, identifiers): a blank is "\s", a line feed "\n", a
// backslash doubled, bytes outside 32 to 126 in octal.
void lineout_escape_data(std::string& out, const unsigned char* text, size_t length, bool sdata);
void lineout_escape_name(std::string& out, const char* name);

// Normalize mode: the instance written back as normalized SGML, then one
// newline. normalize_event writes one event; the filter mode shares it.
void normalize_mode();
void normalize_event(int code, const EventTagRecord& tag, const EventDataRecord& data);
// Its text writer, appended to out: byte 31 takes the next byte less 64 as
// the character, a record end becomes a newline, a line feed is dropped,
// every other byte stays as it is, except that
// - data of content that allows character references (kTextContent)
//   writes "<", "&", the ">" that follows "]]" in out, and a character of
//   byte 31 other than a tab, blank, record end or line feed as "&#N;";
// - a double-quoted value (kTextValue) writes "\"", "&" and every
//   character of byte 31 as "&#N;";
// - data of the open element (kTextData) is written as kTextContent
//   unless the element's declared content is CDATA, then as is.
enum NormalizeText : uint8_t { kTextAsIs, kTextContent, kTextValue, kTextData };
void normalize_text(std::string& out, const unsigned char* text, size_t length,
                    NormalizeText how = kTextAsIs);

// Filter mode: the documents that follow the prolog on standard input,
// each normalized on standard output, until control byte 4 or the end.
void filter_mode();

// ---------------------------------------------------------------------------
// Capacity report

// One "%8s %5ld/%ld\n" line per capacity whose count is not 0: the name,
// weight x count and the limit.
void capacity_report(VqStream* stream, const CapacityReport& report);
// The counts of capacities 1 to 16 one per line to the file; front message
// 7 when it cannot be opened.
void capacity_write(const std::string& file, const CapacityReport& report);
