// The open-element stack: content set-up, pushing and popping elements with
// their offsets, the exception searches over the open elements, the
// exclusion check of a new element's model, and the choice of content
// block by declared content.
#include <cstring>
#include <vector>

#include "sgml/lex/chclass.h"
#include "sgml/input/docin.h"
#include "sgml/entities/entity.h"
#include "sgml/instance/instance.h"
#include "sgml/messages/message.h"
#include "sgml/options.h"
#include "sgml/decl/prolog.h"
#include "sgml/entities/settings.h"
#include "sgml/parser_state.h"
#include "sgml/switches.h"
#include "sgml/messages/trace.h"

namespace {

ElementTypeDef* pseudo(const char* counted) {
  auto* e = static_cast<ElementTypeDef*>(sgml_calloc(sizeof(ElementTypeDef)));
  e->name = save_name(reinterpret_cast<const unsigned char*>(counted));
  e->flags = ETD_MADE;
  return e;
}

const char* etd_chars(const ElementTypeDef* e) {
  return e != nullptr && e->name != nullptr ? name_chars(e->name) : "";
}

// Levels from `level` up leave the exception lists.
void list_drop_from(std::vector<int>& list, int level) {
  while (!list.empty() && list.back() >= level) list.pop_back();
}
void levels_drop_from(int level) {
  list_drop_from(inst.exception_levels, level);
  list_drop_from(inst.exclusion_levels, level);
}

// The element stack trace (g) and the map trace (e) of an element begun.
[[gnu::cold]] void push_trace(const OpenElement& e) {
  if (trace_on.grp)
    trace_stack(etd_chars(e.etd), inst.level, e.flags, inst.net_count, map_trace_name(e.map));
  if (trace_on.ent) srmap_trace("STACK", e.map, etd_chars(e.etd));
}

// The element stack trace of an element ended: the level below resumes.
[[gnu::cold]] void pop_trace(const OpenElement& ended) {
  const OpenElement& now = inst.stack[inst.level];
  trace_destack(etd_chars(ended.etd), ended.flags, etd_chars(now.etd), inst.level, now.flags,
                inst.net_count, map_trace_name(now.map));
}

}  // namespace

void message_open_elements(std::vector<std::string>* out) {
  if (!inst.set_up) return;
  for (int l = 1; l <= inst.level; ++l) out->emplace_back(etd_chars(inst.stack[l].etd));
}


ElementTypeDef* pseudo_data_make() {
  if (pseudo_data_record == nullptr) pseudo_data_record = pseudo("\011#PCDATA");
  return pseudo_data_record;
}
ElementTypeDef* pseudo_empty_start() {
  static ElementTypeDef* e = pseudo("\004<>");
  return e;
}
ElementTypeDef* pseudo_empty_end() {
  static ElementTypeDef* e = pseudo("\005</>");
  return e;
}

void content_setup() {
  const int taglvl = quantity(kTAGLVL);
  const size_t entries = static_cast<size_t>(taglvl) + 1;
  int words = (quantity(kGRPCNT) + 31) / 32;
  if (words < 1) words = 1;
  inst.stack.assign(entries, OpenElement{});
  inst.positions.resize(entries + 1);
  for (ContextState& s : inst.positions) context_state_init(&s, words);
  inst.driver.assign(entries + 1, InstanceState::DriverLevel{0});
  inst.driver_level = 0;
  inst.exception_levels.clear();
  inst.exclusion_levels.clear();
  inst.level = 0;
  inst.net_count = 0;
  inst.to_close = 0;
  inst.set_up = true;
  lex_net_switch(false);
  ambig_free();
  if (!prolog.doctype) include_names_define();
}

ParseControlBlock* content_pcb_select(int flags) {
  ParseControlBlock* pcb;
  if (flags & CONTENT_CDATA) {
    pcb = &pcb_conc;
    inst.data_seen = true;
  } else if (flags & CONTENT_RCDATA) {
    pcb = &pcb_conr;
    inst.rcdata_level = entity_stack.level;
    inst.data_seen = true;
  } else {
    pcb = element_content_block(flags);
  }
  return pcb;
}

void element_push(ElementTypeDef* type) {
  const int taglvl = quantity(kTAGLVL);
  if (inst.level >= taglvl) {
    sgml_error(P6_START_TAG_EXCEEDS_OPEN_ELEMENT_LIMIT, kStateCurrent, etd_chars(type),
               etd_chars(type));
  } else {
    ++inst.level;
  }
  OpenElement& e = inst.stack[inst.level];
  const OpenElement& below = inst.stack[inst.level > 0 ? inst.level - 1 : 0];
  uint8_t flags = 0;
  if (inst.included_mark) flags |= OPEN_INCLUDED;
  if (inst.net_mark) flags |= OPEN_NET;
  if (inst.not_allowed_mark) flags |= OPEN_NOT_ALLOWED;
  if (element_content_flags(type) & CONTENT_EMPTY) flags |= OPEN_EMPTY;
  inst.not_allowed_mark = false;
  e.status = 0;
  e.flags = flags;
  e.etd = type;
  // The levels this push replaces leave the exception lists; the new level
  // joins them when its type has exceptions.
  levels_drop_from(inst.level);
  if (type->minus != nullptr || type->plus != nullptr) inst.exception_levels.push_back(inst.level);
  if (type->minus != nullptr) inst.exclusion_levels.push_back(inst.level);
  if (inst.net_mark && ++inst.net_count == 1) lex_net_switch(true);
  ShortRefMap* map = type->map;
  if (map != nullptr && map->entities != nullptr && map->entities[0] == nullptr) {
    sgml_error(P159_SHORT_REFERENCE_MAP_FOR_ELEMENT_NOT, kStateCurrent, etd_chars(type), nullptr);
    type->map = nullptr;
    map = nullptr;
  }
  if (map == nullptr) map = inst.level > 0 && below.map != nullptr ? below.map : empty_map();
  e.map = map;
  // Offsets: an implied start tag has length 0.
  if (inst.start_kind == TAG_IMPLIED) {
    e.start = inst.implied_start < 0 ? 0 : inst.implied_start;
    e.start_length = 0;
  } else {
    int32_t len = inst.start_tag_length < 0 ? 0 : inst.start_tag_length;
    e.start = inst.tag_start;
    if (e.start < 0) e.start = 0;
    e.start_length = len;
  }
  e.end = e.start;
  context_state_reset(&inst.positions[static_cast<size_t>(inst.level)]);
  if (trace_on.grp || trace_on.ent) push_trace(e);
  if (!inst.exclusion_levels.empty()) exclusion_check();
}

void element_pop(int32_t pending) {
  if (inst.level <= 0) return;
  OpenElement& e = inst.stack[inst.level];
  e.end = doc_offsets.current_char - pending - 1;
  // An element begun inside the entity open now (at its reference) takes
  // in the whole reference, whatever markup of the entity ends it.
  if (entity_inside() && e.start >= reference_span.start && e.end < reference_span.end)
    e.end = reference_span.end;
  if (e.end < e.start) e.end = e.start;
  const ContentModel* model = e.etd->model;
  if (model != nullptr && (model[0].flags & CONTENT_DECLARED) == 0 && !(e.flags & OPEN_EMPTY) &&
      !end_context_check(model, &inst.positions[static_cast<size_t>(inst.level)], &e.status)) {
    ElementTypeDef* missing = context_implied_element();
    const ElementTypeDef* by = inst.end_named;
    const bool real = by != nullptr && by != pseudo_data() && by != pseudo_empty_start() &&
                      by != pseudo_empty_end();
    if (real && missing != nullptr)
      sgml_error(P30_ELEMENT_ENDED_PREMATURELY_REQUIRED_OMITTED, kStateCurrent, etd_chars(e.etd),
                 etd_chars(missing));
    else
      sgml_error(P54_ELEMENT_ENDED_PREMATURELY_REQUIRED_SUBELEMENT_OMITTED, kStateCurrent,
                 etd_chars(e.etd), nullptr);
  }
  const bool was_document = inst.level == 1;
  --inst.level;
  levels_drop_from(inst.level + 1);
  if ((e.flags & OPEN_NET) && inst.net_count > 0 && --inst.net_count == 0) lex_net_switch(false);
  if (trace_on.grp) pop_trace(e);
  if (sgml_options().documents_in_sequence) return;
  const bool end_omissible = (e.etd->flags & ETD_END_OMIT) != 0;
  const ElementTypeDef* by = inst.end_named;
  const char* name = etd_chars(e.etd);
  if (inst.end_kind == TAG_ENCLOSING) {
    if (!end_omissible) {
      if (by == nullptr || by == pseudo_empty_end() || by == pseudo_data())
        sgml_error(P46_END_TAG_IMPLIED_BY_NET_DELIMITER, kStateCurrent, name, nullptr);
      else
        sgml_error(P20_END_TAG_IMPLIED_BY_END_TAG, kStateCurrent, name, etd_chars(by));
    }
  } else if (inst.end_kind == TAG_IMPLIED && !(e.flags & OPEN_EMPTY) &&
             (!end_omissible || was_document)) {
    if (by == pseudo_data())
      sgml_error(
          was_document ? P95_OUT_OF_CONTEXT_DATA_ENDED_DOCUMENT : P47_END_TAG_IMPLIED_BY_DATA,
          kStateCurrent, name, nullptr);
    else if (by == pseudo_empty_start())
      sgml_error(
          was_document ? P96_SHORT_START_TAG_NO_GI_ENDED : P48_END_TAG_IMPLIED_BY_SHORT_START,
          kStateCurrent, name, nullptr);
    else if (was_document)
      sgml_error(P89_OUT_OF_CONTEXT_START_TAG_ENDED, kStateCurrent, etd_chars(by), name);
    else
      sgml_error(P39_END_TAG_IMPLIED_BY_START_TAG, kStateCurrent, name, etd_chars(by));
    if (was_document) inst.parse_ended = true;
  }
}

int exception_level(ElementTypeDef* type) {
  // A type named in no group is in no exception (nor in any plus group
  // recorded when documents come in sequence).
  if (!type->in_exceptions) return 0;
  if (sgml_options().documents_in_sequence) {
    for (int i = 0; i < sgml_tables.plus_group_count; ++i) {
      if (group_contains(sgml_tables.plus_groups[i], type)) return -1;
    }
    return 0;
  }
  // Only the open levels whose types have exceptions are looked at.
  bool included = false;
  const std::vector<int>& exceptions = inst.exception_levels;
  for (size_t i = exceptions.size(); i-- > 0;) {
    const int l = exceptions[i];
    if (l > inst.level || l < 1) continue;  // closed since it was listed
    const ElementTypeDef* e = inst.stack[l].etd;
    if (group_contains(e->minus, type)) return l;
    if (!included && group_contains(e->plus, type)) included = true;
  }
  return included ? -1 : 0;
}

int open_element_find(ElementTypeDef* type) {
  for (int l = inst.level; l >= 1; --l)
    if (inst.stack[l].etd == type) return inst.level - l;
  return -1;
}

namespace {

// What a token of the model still stands for once the exclusions are
// applied: nothing (an excluded element, or a group none of whose members
// remain), something that may be absent, or something required.
enum class Left { kNothing, kOptional, kRequired };

// Walks the token at pos and everything inside it; returns the number of
// tokens it takes and sets *left. A token may be absent when it is optional
// itself, stands in an OR group, or lies in a group that may be absent
// (absent: the caller's word for the last two): an exclusion may take away
// only what the model does not require, so only an excluded element that
// may not be absent is refused (P217), and only a group that may not be
// absent is refused when the exclusions change its required status (P216).
int exclusion_walk(const ContentModel* model, int pos, bool absent, Left* left,
                   const ElementTypeDef* current) {
  const ContentModel* t = &model[pos];
  const bool optional = (t->flags & MODEL_OPTIONAL) != 0;
  absent = absent || optional;
  if (!model_is_group(t)) {
    const bool excluded = model_type(t) == MODEL_ELEMENT && t->etd != nullptr && t->etd->mark;
    if (excluded && !absent)
      sgml_error(P217_EXCLUSION_CANNOT_APPLY_TO_TOKEN_IN, kStateSTAG, etd_chars(t->etd),
                 etd_chars(current));
    *left = excluded ? Left::kNothing : optional ? Left::kOptional : Left::kRequired;
    return 1;
  }
  const bool is_or = model_type(t) == MODEL_OR;
  int p = pos + 1;
  int remain_required = 0, remain_optional = 0;
  for (uint32_t m = 0; m < t->count; ++m) {
    Left member = Left::kNothing;
    p += exclusion_walk(model, p, absent || is_or, &member, current);
    if (member == Left::kRequired)
      ++remain_required;
    else if (member == Left::kOptional)
      ++remain_optional;
  }
  const bool changed = is_or ? remain_optional > 0 || remain_required == 0 : remain_required == 0;
  if (changed && !absent)
    sgml_error(P216_EXCLUSIONS_ATTEMPT_TO_CHANGE_REQUIRED_STATUS, kStateSTAG, etd_chars(current),
               nullptr);
  if (remain_required == 0 && remain_optional == 0)
    *left = Left::kNothing;
  else
    *left = optional || changed ? Left::kOptional : Left::kRequired;
  return p - pos;
}

}  // namespace

void exclusion_check() {
  // No exclusion in effect (nearly always): nothing to check.
  if (inst.exclusion_levels.empty()) return;
  const ElementTypeDef* current = inst.stack[inst.level].etd;
  const ContentModel* model = current->model;
  if (model == nullptr || (model[0].flags & CONTENT_DECLARED) != 0 || model[0].count == 0) return;
  // The exclusions in effect: those of the open levels whose types have
  // exclusions.
  const std::vector<int>& exclusions = inst.exclusion_levels;
  auto mark_all = [&](unsigned char mark) {
    bool any = false;
    for (size_t i = exclusions.size(); i-- > 0;) {
      const int l = exclusions[i];
      if (l > inst.level || l < 1) continue;  // closed since it was listed
      ElementTypeDef** minus = inst.stack[l].etd->minus;
      if (minus == nullptr) continue;
      for (ElementTypeDef** m = minus; *m != nullptr; ++m) {
        (*m)->mark = mark;
        any = true;
      }
    }
    return any;
  };
  if (!mark_all(1)) return;
  Left left = Left::kNothing;
  exclusion_walk(model, 1, false, &left, current);
  mark_all(0);
}
