// The entity manager: definitions, references, the entity stack, refills
// and entity ends.
#include "sgml/entities/entity.h"

#include <cstring>
#include <string>

#include "io/vqio.h"
#include "sgml/input/docin.h"
#include "sgml/input/extid.h"
#include "sgml/lex/lex.h"
#include "sgml/messages/message.h"
#include "sgml/options.h"
#include "sgml/entities/settings.h"
#include "sgml/sgml.h"
#include "sgml/parser_state.h"
#include "sgml/switches.h"
#include "sgml/messages/trace.h"

namespace {

void refresh_top() {
  entity_top = entity_stack.level >= 0 ? &entity_stack.entries[entity_stack.level] : nullptr;
}

bool is_external(const EntityEntry* e) { return e->type > ENT_CDATA; }

// "%-8s (es=%d) type %c%c entity %s at %p containing " and the text.
void trace_entity(const char* label, const EntityRecord* rec) {
  static const char kTypeLetter1[] = " TMMMSEIXCNFPDLK";
  static const char kTypeLetter2[] = "  DS            ";
  int t = rec->type < 16 ? rec->type : 0;
  vqio_fprintf(vqio_stderr, "%-8s (es=%d) type %c%c entity %s at %p containing ", label,
               entity_stack.level, kTypeLetter1[t], kTypeLetter2[t],
               reinterpret_cast<const char*>(rec->name + 1), static_cast<const void*>(rec));
  if (!rec->text)
    vqio_fputs("[NOTHING]", vqio_stderr);
  else if (rec->type >= ENT_DATA || rec->type == ENT_PLACEHOLDER)
    vqio_fputs(reinterpret_cast<const char*>(rec->text), vqio_stderr);
  else if (rec->text_len == 0)
    vqio_fputs("[EMPTY]", vqio_stderr);
  else
    vqio_fwrite(rec->text, 1, rec->text_len, vqio_stderr);
  vqio_fputs("\n", vqio_stderr);
}

void ensure_stack() {
  size_t want = static_cast<size_t>(quantity(kENTLVL)) + 1;
  if (entity_stack.entries.size() < want) entity_stack_size(static_cast<int32_t>(want));
}

// The last characters before the end-of-buffer character move in front of
// the buffer, so that the engine may step back across the refill.
void keep_prefix(EntityEntry* e) {
  unsigned char* from = e->ptr - ENTITY_BUFFER_PREFIX;
  if (from < e->buffer) from = e->buffer;
  size_t n = e->ptr - from;
  if (n == ENTITY_BUFFER_PREFIX) {
    // The usual case, as one word (loaded whole before it is stored: the
    // two ranges may overlap after a short buffer).
    uint32_t w;
    static_assert(sizeof w == ENTITY_BUFFER_PREFIX);
    std::memcpy(&w, from, sizeof w);
    std::memcpy(e->start - n, &w, sizeof w);
  } else {
    std::memmove(e->start - n, from, n);
  }
}

// Characters of the current buffer that stand for characters of the file
// (an RS put first does not; doc_suspend takes it off itself).
int32_t buffer_characters(const EntityEntry* e) {
  int32_t n = e->read_count - 1;  // the closing 28
  if (n > 0 && e->start[n - 1] == kEntityEndChar) --n;
  return n < 0 ? 0 : n;
}

void free_private(EntityEntry* e) {
  if (e->copy) {
    sgml_free(e->copy);
    e->copy = nullptr;
  }
}

void restore_offsets(const EntityEntry* e) {
  if (is_external(e)) doc_offsets.buffer_file = e->buffer_offset;
}

// One level down after the innermost entity ended; resumes a suspended
// external entity. 0 when reading goes on, -1 at the end of the input.
int end_of_entity() {
  for (;;) {
    EntityEntry* e = entity_top;
    if (trace_on.ent && e->entity) trace_entity("ENTPOP", e->entity);
    free_private(e);
    if (is_external(e) && e->doc) entity_file_close(e);
    --entity_stack.level;
    refresh_top();
    if (!entity_top) return -1;
    e = entity_top;
    if (!e->suspended) {
      restore_offsets(e);
      return 0;
    }
    if (entity_resume(e) == 0) return 0;
    system_error(P94_COULD_NOT_REOPEN_FILE_TO_CONTINUE, reinterpret_cast<const char*>(e->name + 1));
    if (entity_stack.level == 0 && sgml_options().documents_in_sequence) return -1;
  }
}

}  // namespace

void entity_stack_size(int32_t entries) {
  if (entries < 1) entries = 1;
  if (static_cast<size_t>(entries) < entity_stack.entries.size() &&
      entity_stack.level >= entries)
    return;  // never drop open entities
  entity_stack.entries.resize(static_cast<size_t>(entries));
  refresh_top();
}

void entity_manager_setup() { entity_stack_resizer_set(entity_stack_size); }

void entity_message_position() { entity_mark_position(); }

void entity_message_levels(std::vector<MessageEntityLevel>* out) {
  for (int l = 0; l <= entity_stack.level; ++l) {
    const EntityEntry& e = entity_stack.entries[l];
    MessageEntityLevel m;
    m.external = is_external(&e);
    m.name = reinterpret_cast<const char*>(e.name + 1);
    m.line = e.line;
    m.character = e.saved_char;
    if (m.external) m.file_name = doc_name(e.doc);
    out->push_back(m);
  }
}

EntityRecord* entdef(const unsigned char* name, int type, const unsigned char* text,
                     int32_t text_len) {
  auto* rec = reinterpret_cast<EntityRecord*>(hash_insert(
      sgml_tables.entities, name, hash_name(name, ENTITY_BUCKETS), sizeof(EntityRecord)));
  rec->type = static_cast<unsigned char>(type);
  if (type >= ENT_MD && type <= ENT_CDATA) {
    // Internal text: one byte in front (the read pointer starts before the
    // text) and a NUL behind. A dangling escape at its end is dropped.
    const unsigned char escape = sgml_switches().escape;
    int32_t n = 0;
    for (int32_t i = 0; i < text_len; ++i) {
      if (text[i] == escape) {
        if (i + 1 >= text_len) break;
        n = ++i + 1;
      } else {
        n = i + 1;
      }
    }
    auto* p = static_cast<unsigned char*>(sgml_calloc(static_cast<size_t>(n) + 2));
    if (n > 0) std::memcpy(p + 1, text, static_cast<size_t>(n));
    rec->text = p + 1;
    rec->text_len = n;
  } else {
    rec->text = const_cast<unsigned char*>(text);
    rec->text_len = 0;
  }
  if (trace_on.ent) trace_entity("ENTDEF", rec);
  return rec;
}

EntityRecord* entfind(const unsigned char* name) {
  auto* rec = reinterpret_cast<EntityRecord*>(
      hash_find(sgml_tables.entities, name, hash_name(name, ENTITY_BUCKETS)));
  if (trace_on.ent && rec) trace_entity("ENTFIND", rec);
  return rec;
}

EntityRecord* default_entity(const unsigned char* name) {
  EntityRecord* def = entity_stack.default_entity;
  if (!def) return nullptr;
  unsigned char* text = def->text;
  if (def->type > ENT_CDATA) {
    // An external default is looked up again for each name.
    if (!def->extid) return nullptr;
    ExternalId id = *def->extid;
    id.name.assign(reinterpret_cast<const char*>(name + 1), name[0] - 2);
    std::optional<FileList> files = entity_file_generate(id);
    if (!files) return nullptr;
    text = static_cast<unsigned char*>(sgml_calloc(files->size() + 1));
    std::memcpy(text, files->data(), files->size());
    if (def->type == ENT_DATA) {
      // The default's data record (notation, data attributes, kind) with
      // the file list found for this name and this name.
      auto* data = static_cast<DataEntity*>(sgml_calloc(sizeof(DataEntity)));
      *data = *reinterpret_cast<const DataEntity*>(def->text);
      data->files = reinterpret_cast<char*>(text);
      data->name = save_name(name);
      text = reinterpret_cast<unsigned char*>(data);
    }
  }
  if (sgml_switches().default_entity_warnings)
    sgml_error(P45_NO_DECLARATION_FOR_ENTITY_DEFAULT_DEFINITION_USED, kStateCurrent,
               reinterpret_cast<const char*>(name + 1), nullptr);
  sgml_settings().capacities[kENTCAP].count++;
  auto* rec = reinterpret_cast<EntityRecord*>(hash_insert(
      sgml_tables.entities, name, hash_name(name, ENTITY_BUCKETS), sizeof(EntityRecord)));
  rec->type = def->type;
  rec->text = text;
  rec->text_len = def->type > ENT_CDATA ? 0 : def->text_len;
  rec->defaulted = 1;
  if (trace_on.ent) trace_entity("ENTDEF", rec);
  return rec;
}

void reference_span_note(int32_t length) {
  const EntityEntry* e = entity_top;
  if (entity_stack.level != 0 || e == nullptr || !e->keeps_offsets || e->start == nullptr) return;
  int32_t end = e->buffer_offset + static_cast<int32_t>(e->ptr - e->start) - e->rs_given;
  if (end < 0) end = 0;
  int32_t start = end - (length > 0 ? length : 1) + 1;
  if (start < 0) start = 0;
  reference_span = ReferenceSpan{start, end};
  doc_offsets.current_char = end;
}

EntityOpen entity_reference(const unsigned char* name) {
  if (entity_stack.level == 0) {
    // "&" (a parameter entity's name holds its "%"), the name, and the
    // ";" or RE that ended it when one did.
    const unsigned char last = entity_top != nullptr ? *entity_top->ptr : 0;
    int32_t length = name[0] - 2 + (name[1] == '%' ? 0 : 1);
    if (last == ';' || last == 13) ++length;
    reference_span_note(length);
  }
  EntityRecord* rec = entfind(name);
  if (!rec || rec->type == ENT_PLACEHOLDER) {
    const char* text = reinterpret_cast<const char*>(name + 1);
    if (name[1] != '%' && entity_stack.default_entity) {
      rec = default_entity(name);
      if (rec) return entopen(rec);
      sgml_error(P150_COULD_NOT_FIND_ENTITY_USING_DEFAULT, kStateCurrent, text, nullptr);
      return ENTITY_IGNORED;
    }
    sgml_error(P35_NO_DECLARATION_FOR_ENTITY_REFERENCE_IGNORED, kStateCurrent, text, nullptr);
    return ENTITY_IGNORED;
  }
  return entopen(rec);
}

EntityOpen entopen(EntityRecord* rec) {
  ensure_stack();
  const char* name = reinterpret_cast<const char*>(rec->name + 1);
  int32_t entlvl = quantity(kENTLVL);
  if (entity_stack.level >= entlvl) {
    std::string limit = decl_number_text(entlvl);
    sgml_error(P34_ENTITY_REFERENCE_IGNORED, kStateCurrent, name, limit.c_str());
    return ENTITY_TOO_DEEP;
  }
  switch (rec->type) {
    case ENT_SDATA:
    case ENT_CDATA:
      lex_data.text = rec->text;
      lex_data.length = rec->text_len;
      lex_data.flags = rec->type == ENT_SDATA ? DATA_SDATA : DATA_NO_RESCAN;
      return ENTITY_DATA;
    case ENT_PI:
      lex_data.text = rec->text;
      lex_data.length = rec->text_len;
      lex_data.flags = DATA_SDATA;
      return ENTITY_PI;
    case ENT_DATA: {
      const auto* data = reinterpret_cast<const DataEntity*>(rec->text);
      if (data->kind == DATA_KIND_SUBDOC) {
        // A subdocument would be parsed one level deeper: at the SUBDOC
        // limit the reference is dropped.
        if (sgml_switches().subdoc_levels >= sgml_settings().subdoc) {
          sgml_error(P188_TOO_MANY_OPEN_SUBDOCUMENT_ENTITIES, kStateCurrent, nullptr, nullptr);
          return ENTITY_IGNORED;
        }
      } else if (data->notation && data->notation->identifiers == nullptr) {
        sgml_error(P78_ENTITY_HAS_UNDEFINED_NOTATION, kStateCurrent, name,
                   reinterpret_cast<const char*>(data->notation->name + 1));
      }
      lex_data.text = rec->text;
      lex_data.length = 0;
      lex_data.flags = DATA_EXTERNAL;
      return ENTITY_DATA;
    }
    default:
      break;
  }
  for (int l = 1; l <= entity_stack.level; ++l) {
    if (entity_stack.entries[l].entity == rec) {
      sgml_error(P36_ENTITY_REFERENCE_OCCURRED_WITHIN_OWN_TEXT, kStateCurrent, name, nullptr);
      return ENTITY_RECURSIVE;
    }
  }
  if (entity_top && (is_external(entity_top) || sgml_switches().entity_chain))
    entity_mark_position();

  ++entity_stack.level;
  refresh_top();
  EntityEntry* e = entity_top;
  unsigned char* buffer = e->buffer;  // the level keeps its read buffer
  size_t buffer_size = e->buffer_size;
  free_private(e);
  *e = EntityEntry{};
  e->buffer = buffer;
  e->buffer_size = buffer_size;
  e->entity = rec;
  e->name = rec->name;
  e->type = rec->type;
  e->text = rec->text;
  e->text_len = rec->text_len;
  if (trace_on.ent) trace_entity("ENTOPEN", rec);

  if (rec->type > ENT_CDATA) {
    size_t want = ENTITY_BUFFER_PREFIX + static_cast<size_t>(doc_buffer_size()) + 3;
    if (e->buffer_size < want) {
      sgml_free(e->buffer);
      e->buffer = static_cast<unsigned char*>(sgml_calloc(want));
      e->buffer_size = want;
    }
    e->start = e->buffer + ENTITY_BUFFER_PREFIX;
    *e->start = kBufferEndChar;  // nothing read yet: the first read refills
    // Offsets count the characters of the document entity alone.
    e->keeps_offsets = entity_stack.level == 0;
    e->ptr = e->start - 1;
    DocHandle* handle = nullptr;
    // Only the document entity (level 0) may name standard input or a
    // data dictionary.
    if (doc_open(reinterpret_cast<const char*>(rec->text), &handle, entity_stack.level == 0) < 0) {
      e->doc = handle;  // the message names the file it could not open
      system_error(P32_COULD_NOT_OPEN_FILE_FOR_ENTITY, name);
      doc_close(handle);
      e->doc = nullptr;
      e->entity = nullptr;
      --entity_stack.level;
      refresh_top();
      return ENTITY_NO_FILE;
    }
    e->doc = handle;
    entity_suspend(entity_stack.level);
    return ENTITY_OPENED;
  }
  e->start = const_cast<unsigned char*>(rec->text);
  e->end = e->start + rec->text_len;
  e->ptr = e->start - 1;
  return ENTITY_OPENED;
}

int entity_refill(EntityEntry* e) {
  int new_file = 0;
  int n = doc_read(e->doc, e->start, &new_file);
  e->read_count = n;
  e->ptr = e->start - 1;
  if (n < 0) return -1;
  e->at_end = n > 0 && e->start[n - 1] == kEntityEndChar;
  if (new_file) e->line = 0;
  e->rs_given = n > 0 && e->start[0] == 10;
  e->buffer_offset = doc_offsets.buffer_file;
  return n;
}

int entpop() {
  EntityEntry* e = entity_top;
  if (!e) return -1;
  long used = e->ptr - e->start;
  if (used > 0) {
    e->count += used;
    entity_stack.total += used;
  }
  unsigned char c = *e->ptr;
  if (is_external(e)) {
    if (c == 28) {
      keep_prefix(e);
      long column = e->column_base + (e->ptr - e->start);
      // Past the end of the text nothing more is read from the source.
      int n = e->doc && !e->at_end ? entity_refill(e) : -1;
      e->column_base = column;
      if (n > 0) return 0;
      system_error(P31_ENTITY_TERMINATED, reinterpret_cast<const char*>(e->name + 1));
    } else if (c != 26) {
      return 0;
    }
    // The end of an external entity.
    if (entity_stack.level == 0) {
      if (!sgml_options().documents_in_sequence) entity_file_close(e);
      e->ptr = e->start - 1;
      *e->start = 26;
      return -1;
    }
    return end_of_entity();
  }
  if (c != 0 || e->ptr < e->end) return 0;
  return end_of_entity();
}

void entity_suspend(int level) {
  for (int l = level - 1; l >= 0; --l) {
    EntityEntry* e = &entity_stack.entries[l];
    if (!is_external(e)) continue;
    if (e->suspended || !e->doc) return;
    e->consumed = e->ptr - e->start;
    e->suspended = true;
    // The buffer stays: the file resumes after everything it holds.
    doc_suspend(e->doc, buffer_characters(e));
    return;
  }
}

int entity_resume(EntityEntry* e) {
  if (!e->doc || doc_resume(e->doc) < 0) return -1;
  e->suspended = false;
  restore_offsets(e);
  return 0;
}

void entity_file_close(EntityEntry* e) {
  if (e->doc) {
    doc_close(e->doc);
    e->doc = nullptr;
  }
}

void entity_make_private(EntityEntry* e) {
  if (is_external(e) || e->copy) return;
  size_t n = static_cast<size_t>(e->end - e->start);
  auto* copy = static_cast<unsigned char*>(sgml_calloc(n + 2));
  std::memcpy(copy + 1, e->start, n);
  long at = e->ptr - e->start;
  e->copy = copy;
  e->start = copy + 1;
  e->end = e->start + n;
  e->ptr = e->start + at;
}

int entity_open_document(const char* file_list) {
  static const unsigned char kName[] = "\012*SGMLDOC";
  size_t n = 0;
  while (file_list[n]) n += std::strlen(file_list + n) + 1;
  auto* list = static_cast<unsigned char*>(sgml_calloc(n + 2));
  std::memcpy(list, file_list, n);
  EntityRecord* rec = entdef(kName, ENT_GENERAL, list, 0);
  if (!rec) return ENTITY_IGNORED;
  return entopen(rec);
}

void entity_close_all() {
  while (entity_stack.level >= 0) {
    EntityEntry* e = entity_top;
    free_private(e);
    entity_file_close(e);
    --entity_stack.level;
    refresh_top();
  }
}
