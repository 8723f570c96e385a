// The pull interface: the document-opening call, the two next-event calls
// that run the prolog and then the content parser and the record-end
// driver, the region finder's start of a document and per-document reset,
// and the queries made between events.
#include <cctype>
#include <cstring>

#include "sgml/input/docin.h"
#include "sgml/entities/entity.h"
#include "sgml/instance/instance.h"
#include "sgml/messages/message.h"
#include "sgml/options.h"
#include "sgml/decl/prolog.h"
#include "sgml/entities/settings.h"
#include "sgml/parser_state.h"
#include "sgml/sgml.h"
#include "sgml/switches.h"

namespace {
// A part of the parser's record rather than a function's static: next_event
// reads it per event and need not check that it was made.
constexpr PullState& pull_state_record = sgml_parser.pull;
}  // namespace

PullState& pull_state() { return pull_state_record; }

namespace {

const unsigned char* map_name(const ShortRefMap* map) {
  return map == nullptr || map == empty_map() ? nullptr : map->name;
}

const unsigned char* etd_name(const ElementTypeDef* e) { return e != nullptr ? e->name : nullptr; }

void fill_start(EventTagRecord* tag) {
  const OpenElement& e = inst.stack[inst.level];
  tag->flags = e.flags;
  tag->kind = inst.start_kind;
  tag->name = etd_name(e.etd);
  const AttributeList* list = e.etd != nullptr ? e.etd->attributes : nullptr;
  if (list != nullptr && tag->kind == TAG_ORDINARY) list = att_working_list();
  tag->attributes = list;
  tag->current = nullptr;
  tag->named = inst.named;
  tag->net_count = inst.net_count;
  tag->map_name = map_name(e.map);
}

void fill_end(EventTagRecord* tag) {
  const OpenElement& closed = inst.stack[static_cast<size_t>(inst.level + 1)];
  const OpenElement& now = inst.stack[inst.level];
  tag->flags = closed.flags;
  tag->kind = inst.end_kind;
  tag->name = etd_name(closed.etd);
  tag->attributes = nullptr;
  tag->current = etd_name(now.etd);
  tag->named = inst.end_named;
  tag->net_count = inst.net_count;
  tag->map_name = map_name(now.map);
}

// "<!" and a name in content: USEMAP, or a declaration not allowed here.
void usemap_in_content() {
  md_begin(kKwUSEMAP);
  unsigned char* buffer = md_buffer();
  int code = md_param(buffer, 1);
  ShortRefMap* map = nullptr;
  if (code == MD_RNI_NAME && keyword_is(buffer, "EMPTY")) {
    map = empty_map();
  } else if (code == MD_NAME) {
    map = srmap_find(buffer);
    // A map only named by USEMAP in the DTD was never declared either.
    if (map == nullptr || map->entities == nullptr || map->entities[0] == nullptr) {
      md_error(P125_MAP_DOES_NOT_EXIST, nullptr, nullptr);
      map = nullptr;
    }
  } else {
    md_error(P120_PARAMETER_MUST_BE_NAME, nullptr, nullptr);
    md_skip(code);
    return;
  }
  code = md_param(buffer, 1);
  if (code == MD_NAME || code == MD_GROUP) {
    // An element type or a group of them: the declaration is passed over
    // to its MDC and changes no map.
    md_error(P142_ASSOCIATED_ELEMENT_TYPE_NOT_ALLOWED_IN, nullptr, nullptr);
    md_skip(code);
    return;
  }
  md_end(code);
  if (map == nullptr) return;
  OpenElement& current = inst.stack[inst.level];
  current.map = map;
  if (trace_on.ent)
    srmap_trace("USEMAP", map, current.etd != nullptr ? name_chars(current.etd->name) : "");
}

void declaration_in_content() {
  unsigned char* name = md_buffer();
  parse_name(name, 0);
  if (keyword_is(name, "USEMAP")) {
    usemap_in_content();
    return;
  }
  sgml_error(P2_MARKUP_DECLARATION_NOT_PERMITTED_HERE, kStateCurrent, name_chars(name), nullptr);
  md_begin(kKwSGML);
  md_skip(parse_md_param(md_buffer2(), 0, &pcb_litp, md_buffer_size()));
}

int finish(int code) {
  entity_mark_position();
  if (code == PARSE_END) pull_state().finished = 1;
  return code;
}

int next_event(EventDataRecord* data, EventTagRecord* tag, bool extended) {
  PullState& ps = pull_state_record;
  if (ps.finished) return PARSE_END;
  for (;;) {
    // The prolog.
    while (ps.in_prolog && !ps.pending) {
      const int code = parse_prolog();
      if (code == PROLOG_END || code == PROLOG_PI || code == PROLOG_APPINFO) {
        ps.pending = 1;
        ps.pending_code = code;
        inst.pi_entity = false;
        break;
      }
      ps.in_prolog = 0;
      instance_begin(code);
      if (extended && sgml_options().documents_in_sequence) return finish(PARSE_PI);
    }
    int code;
    int token = 0;
    if (ps.pending) {
      code = ps.pending_code;
      ps.pending = 0;
    } else {
      token = parse_content();
      code = sgml_driver_step(token);
      if (token == TOK_RE && code == TOK_IGNORED) inst.re_refused = false;
    }
    switch (code) {
      case LEX_END_OF_INPUT:
        if (prolog.ms_open > 0)
          sgml_error(P139_DOCUMENT_ENDED_INVALIDLY_WITHIN_MARKED_SECTION, kStateCurrent, nullptr,
                     nullptr);
        idref_check();
        return finish(PARSE_END);
      case TOK_REREAD:
        ps.pending = 1;
        ps.pending_code = token;
        [[fallthrough]];
      case TOK_RE:
        if (inst.re_refused) {
          inst.re_refused = false;
          sgml_error(P10_DATA_NOT_ALLOWED_AT_THIS_POINT, kStateCurrent,
                     name_chars(inst.stack[inst.level].etd->name), nullptr);
          continue;
        }
        inst.data_seen = true;
        if (ps.tags_only) {
          entity_mark_position();
          continue;
        }
        data->flags = 0;
        return finish(PARSE_RECORD_END);
      case TOK_DATA:
        inst.data_seen = true;
        inst.just_implied = false;
        if (ps.tags_only) {
          inst.data_flags = 0;
          entity_mark_position();
          continue;
        }
        data->flags = inst.data_flags;
        data->length = inst.data_length;
        data->text = inst.data_text;
        inst.data_flags = 0;
        return finish(PARSE_DATA);
      case TOK_END_TAG:
        inst.data_seen = false;
        content_block_current();
        fill_end(tag);
        return finish(PARSE_END_TAG);
      case TOK_MD:
        declaration_in_content();
        continue;
      case TOK_COMMENT:
        comment_declaration();
        continue;
      case TOK_MS_START: {
        ParseControlBlock* next = marked_section_start(inst.block);
        if (next == &pcb_msrcdata) inst.ms_rcdata_level = entity_stack.level;
        if (next != inst.block) {
          inst.block = next;
          inst.special_block = true;
        }
        continue;
      }
      case TOK_MS_END: {
        const int ignored_ended = marked_section_end();
        if (inst.special_block &&
            (ignored_ended || inst.block == &pcb_mscdata || inst.block == &pcb_msrcdata)) {
          inst.special_block = false;
          content_block_current();
        }
        continue;
      }
      case TOK_PI:
        if (inst.pi_entity) {
          data->text = lex_data.text;
          data->length = lex_data.length;
          data->flags = DATA_SDATA;
        } else {
          data->length = pi_read(&data->text);
          data->flags = 0;
        }
        inst.pi_entity = false;
        return finish(PARSE_PI);
      case TOK_START_TAG:
        inst.data_seen = false;
        content_block_current();
        fill_start(tag);
        return finish(PARSE_START_TAG);
      case PROLOG_APPINFO: {
        const char* text = token_buffer().data();
        data->flags = 0;
        data->length = static_cast<int32_t>(std::strlen(text));
        data->text = reinterpret_cast<const unsigned char*>(text);
        return finish(PARSE_APPINFO);
      }
      default:
        continue;
    }
  }
}

}  // namespace

int sgml_open_document(const char* file_list) {
  pull_state() = PullState{};
  return entity_open_document(file_list);
}

int sgml_next_event(EventDataRecord* data, EventTagRecord* tag) { return next_event(data, tag, false); }

int sgml_next_event_ext(EventDataRecord* data, EventTagRecord* tag) {
  return next_event(data, tag, true);
}

void sgml_events_tags_only(bool tags_only) { pull_state_record.tags_only = tags_only ? 1 : 0; }

void start_document() {
  PullState& ps = pull_state();
  ps.in_prolog = 1;
  ps.pending = 0;
  ps.finished = 0;
  sgml_prolog_only_set(1);
  EventDataRecord data;
  EventTagRecord tag;
  // The prolog is pulled to its end: a processing instruction or APPINFO
  // in it must not cut it short.
  while (sgml_next_event_ext(&data, &tag) != PARSE_END) {
  }
  ps.in_prolog = 0;
  ps.pending = 0;
  ps.finished = 0;
  if (!prolog.ended) doc_element_setup();
  instance_begin(prolog.start_code);
}

void reset_doc_state() {
  instance_reset();
  pull_state().finished = 0;
  // Each document starts anew in "*DOC": its document element is accepted
  // again (filter input without a root name, meta documents).
  if (inst.set_up && !inst.positions.empty() && !inst.stack.empty()) {
    context_state_reset(&inst.positions[0]);
    inst.stack[0].status = 0;
  }
  if (entity_top != nullptr) {
    entity_top->line = 0;
    entity_top->column_base = 0;
    entity_top->consumed = 0;
  }
  if (inst.block != nullptr) pcb_reset(inst.block);
}

int document_buffer_refill() {
  // Only the document entity is open between documents.
  EntityEntry* e = entity_top;
  if (entity_stack.level != 0 || e == nullptr || e->doc == nullptr || e->start == nullptr) return -1;
  // The buffer ends where the lexer stands; the source is read on even
  // after the end of the last document's text.
  e->ptr = e->start;
  *e->start = kBufferEndChar;
  e->at_end = false;
  return entpop();
}

void open_element_level_clear() { inst.level = 0; }

int open_element_level() { return inst.level; }

const OpenElement* open_element_at(int level) {
  if (level < 0 || static_cast<size_t>(level) >= inst.stack.size()) return nullptr;
  return &inst.stack[static_cast<size_t>(level)];
}

int open_elements_to_close() { return inst.to_close; }

EntityInfo sgml_entity_info(const unsigned char* name) {
  EntityInfo info;
  const EntityRecord* rec = entfind(name);
  if (rec == nullptr || rec->type == ENT_PLACEHOLDER) return info;
  switch (rec->type) {
    case ENT_DATA:
      info.kind = EntityKind::ExternalData;
      info.data = reinterpret_cast<const DataEntity*>(rec->text);
      break;
    case ENT_SDATA:
    case ENT_CDATA:
      info.kind = rec->type == ENT_SDATA ? EntityKind::InternalSdata : EntityKind::InternalCdata;
      info.text = rec->text;
      info.text_length = rec->text_len;
      break;
    default:
      info.kind = EntityKind::Other;
      break;
  }
  return info;
}

int sgml_entity_mark(const unsigned char* name) {
  EntityRecord* rec = entfind(name);
  if (rec == nullptr || rec->type == ENT_PLACEHOLDER) return -1;
  const int previous = rec->written;
  rec->written = 1;
  return previous;
}

int32_t sgml_error_count() { return error_count(); }

const char* open_element_name(int level) {
  if (level < 0 || level > inst.level || !inst.set_up) return nullptr;
  const ElementTypeDef* e = inst.stack[static_cast<size_t>(level)].etd;
  return e != nullptr ? name_chars(e->name) : nullptr;
}

int in_prolog() { return pull_state().in_prolog; }

int entity_location(int level, EntityLocation* out) {
  if (level < 0 || level > entity_stack.level) return 0;
  if (out != nullptr) {
    const EntityEntry& e = entity_stack.entries[static_cast<size_t>(level)];
    out->external = e.type > ENT_CDATA;
    out->line = e.line;
    out->column = e.column_base + (e.start != nullptr && e.ptr != nullptr ? e.ptr - e.start : 0);
    out->saved_char = e.saved_char;
    out->name = e.name != nullptr ? reinterpret_cast<const char*>(e.name + 1) : "";
    out->doc = e.doc;
  }
  return 1;
}

int current_file_location(long* out_line, const char** out_name) {
  for (int l = entity_stack.level; l >= 0; --l) {
    const EntityEntry& e = entity_stack.entries[static_cast<size_t>(l)];
    if (e.type <= ENT_CDATA) continue;
    if (out_line != nullptr) *out_line = e.line;
    if (out_name != nullptr) *out_name = doc_name(e.doc);
    return 1;
  }
  return 0;
}

int name_equal_nocase(const char* a, const char* b) {
  char x[512], y[512];
  size_t i = 0;
  for (; a[i] != '\0' && i < sizeof x - 1; ++i) x[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(a[i])));
  x[i] = '\0';
  for (i = 0; b[i] != '\0' && i < sizeof y - 1; ++i) y[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(b[i])));
  y[i] = '\0';
  return std::strcmp(x, y) == 0 ? 1 : 0;
}
