// Trace output: nine switches chosen by letters, the summary lines, and one
// printing function per traced event. Lines go to the standard-error
// stream; callers test the switch before calling a printer.
#pragma once

#include <cstdint>

struct TraceSwitches {
  int32_t state = 0;  // t: lexical states and tokens
  int32_t att = 0;    // a: attributes
  int32_t con = 0;    // c: content-model checking
  int32_t dcl = 0;    // d: declarations
  int32_t ent = 0;    // e: entities
  int32_t grp = 0;    // g: element stack, content and model groups
  int32_t id = 0;     // i: IDs
  int32_t ms = 0;     // m: marked sections
  int32_t dcn = 0;    // n: data content notations
};
extern inline TraceSwitches& trace_on;  // in sgml_parser (parser_state.h)

// Each switch is 1 when its letter occurs in letters (all 0 for null).
void trace_switches(const char* letters);
// From the prolog letters (-y); prints TRACEPRO when t, a, d, e, g, m or n
// is on.
void trace_pro();
// From the instance letters (-x); prints TRACESET when any switch is on.
void trace_set();
// c itself when 32 to 126, else "\ooo"; one static buffer.
const char* trace_char(int c);

// Lexical step: label is the parse state's label ("CONM").
// state is the state the step started in, next the state it goes to.
void trace_lex_step(const char* label, unsigned state, unsigned cls, unsigned action,
                    unsigned next, int c, const char* entity, int line, int column, int offset);
// Token scan of the name, number and token readers.
void trace_token(int cls, int action, int c, const char* entity, int line, int column);
// Main-driver step.
void trace_driver_step(int step, int a, int b, int c, int d, int conactsw, int conact);
// Markup declaration parameter (subject null: "[NONE]").
void trace_md_param(const char* keyword, const char* subject, int token, unsigned type,
                    const char* text);
// External identifier of an entity or notation: its name, data kind
// ("NDATA", "SDATA", "CDATA", else "[UNDEFINED]") and system identifier.
void trace_esn(const char* name, const char* type, const char* system_id);
// Data content notation: its record, attribute list, name and what it
// stands for (its first identifier; null: "[UNDEFINED]").
void trace_dcn(const void* notation, const void* attributes, const char* name,
               const char* identifier);
// Attribute definition list: its record, the entries after the header
// and the attributes among them.
void trace_adlist(const void* list, int members, int attributes);
// One entry of such a list: an attribute (member false; value_text, its
// default as "CURRENT", "NULL", "REQUIRED" or "[value]", follows on a line
// of its own) or a token of its group (member true, value_text unused):
// the entry, its name, declared value, flags, count, normalized length,
// value and the entity or notation record.
void trace_adlist_entry(bool member, const void* entry, const char* name, unsigned declared,
                        unsigned flags, int count, int normalized, const void* value,
                        const void* record, const char* value_text);
// Element type definition: the record, its name, minimization flags,
// model and its first byte, exception groups, attribute list and map name.
void trace_etd(const void* etd, const char* name, unsigned flags, const void* model,
               unsigned content, const void* minus, const void* plus, const void* attributes,
               const char* map);
// Element stack: an element begun (its name, the depth it is at, its flags
// byte, the open elements whose start tags enabled NET, the name of the
// map in force) and an element ended (its name and flags byte; the element
// resumed, the depth now, its flags byte, the NET count, its map).
void trace_stack(const char* name, int depth, unsigned flags, int net_count, const char* map);
void trace_destack(const char* name, unsigned ended_flags, const char* resumed, int depth,
                   unsigned flags, int net_count, const char* map);
// Content action: the end tags implied so far for the token in hand,
// whether it is a start tag, the token (0 a start tag, 21 data, 28 a record
// end), the element type in hand ("#PCDATA" for data), the result of the
// context check, whether the start tag gave a content reference, and the
// status byte of the current element after the check.
void trace_content(int implied_ends, int start_tag, int token, const char* name, int result,
                   int content_reference, int status);
// Start tag: its element type, whether the tag waits to be taken again
// (an end or start tag was implied first), the code returned, the
// element type now current and the tag's exception level.
void trace_start_tag(const void* etd, int pending, int code, const void* current,
                     int exception_level);
// End tag: the levels between the current element and the one the tag
// ends (-1 none), the element type named, the current element type and
// its flags byte, and the levels the tag closes.
void trace_end_tag(int levels, const void* etd, const void* current, unsigned flags, int closes);
// Short-reference map: label, the map's name (null for the empty map), its
// record and what it is for (an element type or the map itself); then one
// line per mapped delimiter: its display name, number, entity record and
// entity name.
void trace_srmap(const char* label, const char* map, const void* record, const char* owner);
void trace_srmap_entry(const char* delimiter, unsigned index, const void* entity,
                       const char* name);
// Marked section: kind is the letter after "MS", began is nonzero for
// "began" (else "resumed").
void trace_marked_section(int kind, int status, int began, int level, int msp);
