// The entity manager: the stack of open entities from which the lexical
// engine reads every character (the document entity at level 0, and above
// it every entity a reference opens), the entity table's definitions and
// references, the ENTLVL limit, refills of external entities and the end of
// each entity.
//
// Every open external entity reads into a buffer of its own, with room in
// front of it for the last characters of its previous buffer (so that the
// lexical engine may step back across a buffer end). Only one external
// file is open at a time: opening a nested external entity suspends the
// nearest external one below it (its file is closed and reopened later at
// the same place); its unread buffer stays as it was, so nothing is lost
// even for a source that cannot be repositioned, such as standard input.
// Internal entity text is read in place; a character reference met inside
// it never changes the stored text (the entry then reads a private copy).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sgml/input/docin.h"
#include "sgml/entities/tables.h"

struct DocHandle;
struct MessageEntityLevel;

// Entity types.
enum EntityType : unsigned char {
  ENT_PLACEHOLDER = 0,  // named by a short-reference map, not declared yet
  ENT_MD = 2,           // "<!" + literal + ">"
  ENT_MS = 3,           // "<![" + literal + "]]>"
  ENT_TEXT = 4,
  ENT_STARTTAG = 5,
  ENT_ENDTAG = 6,
  ENT_PI = 7,
  ENT_SDATA = 8,
  ENT_CDATA = 9,
  ENT_DATA = 10,        // external data entity
  ENT_GENERAL = 11,     // external general text entity, also "*SGMLDOC"
  ENT_PARAM = 12,       // external parameter entity
  ENT_DTD = 13,         // the external DTD subset "*DTDENT"
};

// Room kept in front of an external entity's buffer for the last
// characters of the previous buffer.
enum { ENTITY_BUFFER_PREFIX = 4 };

// An external data entity's record (DataEntity, what the text of an
// ENT_DATA entity record points to) is declared in sgml/dtd.h.

struct EntityEntry {
  EntityRecord* entity;
  const unsigned char* name;   // counted
  unsigned char type;
  const unsigned char* text;   // internal text, or the file list
  int32_t text_len;
  long line;                   // RS characters read (external entities)
  long column_base;            // + (ptr - start) = column in the record
  long consumed;               // characters consumed from the buffer when left
  long count;                  // characters consumed before the current buffer
  int saved_char;              // character at the position recorded for messages
  DocHandle* doc;              // open document of an external entity
  unsigned char* start;        // buffer start; null while suspended
  unsigned char* ptr;          // the character read last
  unsigned char* end;          // internal: one past the text (its NUL)
  unsigned char* buffer;       // external: prefix + read buffer (kept per level)
  size_t buffer_size;
  unsigned char* copy;         // internal: private copy of the text, or null
  int32_t buffer_offset;       // file offset of the buffer's first file character
  int32_t rs_given;            // the buffer began with an RS
  int32_t read_count;          // characters of the last read
  bool suspended;
  bool at_end;                 // the last read reached the end of the text
  bool keeps_offsets;          // the document entity: reading it moves the offset
};

struct EntityStack {
  std::vector<EntityEntry> entries;  // ENTLVL + 1
  int level = -1;
  EntityRecord* default_entity = nullptr;
  long total;                        // characters consumed in all
};
extern inline EntityStack& entity_stack;  // in sgml_parser (parser_state.h)
// The innermost open entity, or null (kept by push and pop).
extern inline EntityEntry*& entity_top;  // in sgml_parser (parser_state.h)

// The reference read last in the document entity: the offsets of its
// first character (the "&", or a short reference's first character) and of
// its last (the ";" or RE that ended it, else the last character of the
// name or delimiter). Markup read while an entity is open above the
// document entity is not in the document's bytes: it is given the offsets
// of this reference, the one that opened the outermost such entity.
struct ReferenceSpan {
  int32_t start = 0;
  int32_t end = 0;
};
extern inline ReferenceSpan& reference_span;  // in sgml_parser (parser_state.h)
// Notes the span of a reference of length characters of the document
// entity that ends at the read pointer (the reference was just read in
// the document entity); the current offset becomes its last character.
// Nothing when the innermost entity is not the document entity.
void reference_span_note(int32_t length);
// Whether an entity is open above the document entity.
inline bool entity_inside() { return entity_stack.level > 0; }
// Offset of markup that began back characters before the one read last:
// inside an entity, the start of the reference that opened it.
inline int32_t markup_start_offset(int back) {
  return entity_inside() ? reference_span.start : doc_offsets.current_char - back;
}

// Sizes the stack for the ENTLVL in effect (keeps open entries).
void entity_stack_size(int32_t entries);

EntityRecord* entdef(const unsigned char* name, int type, const unsigned char* text,
                     int32_t text_len);
EntityRecord* entfind(const unsigned char* name);
// What entopen did with an entity, and entity_reference with a reference.
enum EntityOpen : int {
  ENTITY_OPENED = 0,
  ENTITY_IGNORED = -1,     // no declaration (P35, P150), or the SUBDOC limit (P188)
  ENTITY_RECURSIVE = -2,   // referenced within its own text (P36)
  ENTITY_TOO_DEEP = -3,    // ENTLVL reached (P34)
  ENTITY_NO_FILE = -4,     // the file could not be opened (P32)
  ENTITY_DATA = -5,        // a data entity: its text is in lex_data
  ENTITY_PI = -6,          // a PI entity: its text is in lex_data
};
// The reference to the entity named name: what entopen did, or
// ENTITY_IGNORED when there is no such entity.
EntityOpen entity_reference(const unsigned char* name);
EntityOpen entopen(EntityRecord* entity);
// 0 reading goes on; -1 end of the input.
int entpop();
EntityRecord* default_entity(const unsigned char* name);
// Records the innermost entity's position for messages: the character
// read last and how far into the buffer it lies.
inline void entity_mark_position() {
  EntityEntry* e = entity_top;
  if (!e || !e->start) return;
  e->saved_char = *e->ptr;
  e->consumed = e->ptr - e->start;
}
int entity_refill(EntityEntry* e);
void entity_suspend(int level);
int entity_resume(EntityEntry* e);
void entity_file_close(EntityEntry* e);
// Opens the document entity "*SGMLDOC" on the NUL-separated file list;
// what entopen did (ENTITY_IGNORED when it cannot be defined).
int entity_open_document(const char* file_list);
// Pops every open entity, closing files (run end).
void entity_close_all();
// Set-up (from sgml_set_switches): the resizing of the stack when the
// quantities change.
void entity_manager_setup();
// The message layout's view of the open entities (sgml_set_switches
// installs them as message sources): the innermost entity's position
// recorded, and the open entities, outermost first.
void entity_message_position();
void entity_message_levels(std::vector<MessageEntityLevel>* out);
// A character reference is about to be written into the innermost entity:
// an internal entity's text is first copied so that the stored text stays
// as declared.
void entity_make_private(EntityEntry* e);

// Capacity counts of ENTCAP and ENTCHCAP are kept by the callers of entdef.
