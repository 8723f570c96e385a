// The content parser: runs the content block of the current element and
// turns its codes into content tokens (data, tags, record ends, markup),
// applying the omitted-tag rules through the context checks, exceptions,
// empty and unclosed tags, null end tags and short references.
#include <cstring>
#include <initializer_list>
#include <vector>

#include "io/vqio.h"
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



constexpr auto& gi = sgml_parser.content.gi;
// Data being collected: from begin in the entity entry of entry.
using DataRun = ContentWords::DataRun;
constexpr auto& run = sgml_parser.content.run;

const char* etd_chars(const ElementTypeDef* e) {
  return e != nullptr && e->name != nullptr ? name_chars(e->name) : "";
}

ElementTypeDef* document_element() { return etd_find(prolog.doctype_name); }

// The map in force; null for none.
ShortRefMap* current_map() {
  ShortRefMap* map = inst.stack[inst.level].map;
  return map == empty_map() ? nullptr : map;
}

EntityRecord* mapped(int index) {
  ShortRefMap* map = current_map();
  if (map == nullptr || map->entities == nullptr || index < 1 || index >= map->count) return nullptr;
  return map->entities[index];
}

// Which delimiters the map in force maps, bit i for delimiter index i: the
// content parser asks at nearly every character it hands on as data, so
// the bits are worked out once per map rather than read from the map each
// time. Maps change only in declarations, before the instance;
// instance_begin and instance_reset forget the bits.
using MappedBits = ContentWords::MappedBits;
constexpr auto& last_bits = sgml_parser.content.last_bits;    // of the map last asked about
constexpr auto& known_bits = sgml_parser.content.known_bits;  // of every map asked about

void mapped_bits_forget() {
  last_bits = MappedBits{&content_no_map, 0};
  known_bits.clear();
}

[[gnu::noinline]] uint64_t mapped_bits_of(const ShortRefMap* map) {
  uint64_t bits = 0;
  bool known = false;
  for (const MappedBits& k : known_bits) {
    if (k.map == map) {
      bits = k.bits;
      known = true;
      break;
    }
  }
  if (!known) {
    for (int i = 1; i < 64; ++i)
      if (mapped(i) != nullptr) bits |= uint64_t{1} << i;
    known_bits.push_back(MappedBits{map, bits});
  }
  last_bits = MappedBits{map, bits};
  return bits;
}

inline uint64_t mapped_bits() {
  const ShortRefMap* map = inst.stack[inst.level].map;
  return last_bits.map == map ? last_bits.bits : mapped_bits_of(map);
}

// Whether the map in force maps the delimiter of index (0 none).
bool is_mapped(int index) {
  return index > 0 && index < 64 && ((mapped_bits() >> index) & 1) != 0;
}

// Bits of a list of delimiter indexes.
constexpr uint64_t delimiter_bits(std::initializer_list<int> indexes) {
  uint64_t bits = 0;
  for (int i : indexes) bits |= uint64_t{1} << i;
  return bits;
}

// Whether a short reference that begins with a blank, or that a run of
// blanks belongs to, is mapped: at the start of a line (after an RS) "RS B"
// and "RS B RE" as well as those that need no RS. When none is, a run of
// blanks is data without looking further (blank_run decides otherwise).
bool blanks_mapped(bool line_start = true) {
  constexpr uint64_t kAnywhere = delimiter_bits({SR_TAB, SR_B_RE, SR_SPACE, SR_BB});
  constexpr uint64_t kLineStart = kAnywhere | delimiter_bits({SR_RS_B, SR_RS_B_RE});
  return (mapped_bits() & (line_start ? kLineStart : kAnywhere)) != 0;
}

bool is_blank(unsigned char c) { return c == ' ' || c == '\t'; }

// The short-reference delimiter of one character c (10 to 32), or 0.
int single_delimiter(unsigned char c) {
  for (int i = 10; i <= 32; ++i) {
    const char* d = ShortRefDelims[i];
    if (d[0] == static_cast<char>(c) && d[1] == '\0') return i;
  }
  return 0;
}

// Whether a "<" followed by next can only be data: in mixed content when
// no tag, declaration or processing instruction can start with it, in
// CDATA and RCDATA content when it does not start an end tag.
bool lt_is_data(const ParseControlBlock* pcb, unsigned char next) {
  if (next == kBufferEndChar || next == kEntityEndChar || next == 0)
    return false;  // decided after a refill
  if (pcb != &pcb_conm) return next != '/';
  return NameClass[next] != kNameStart && next != '/' && next != '!' && next != '?' &&
         next != '>';
}

void data_begin_at(unsigned char* p) {
  if (run.open) return;
  run.open = true;
  run.entry = entity_top;
  run.begin = p;
}

// Data ends before end; sets the data words. Returns the data token.
int data_end_at(const unsigned char* end) {
  run.open = false;
  inst.data_text = run.begin;
  inst.data_length = static_cast<int32_t>(end - run.begin);
  inst.data_flags = 0;
  return TOK_DATA;
}

// Whether the data in hand is the document entity's own characters, not
// the text of an entity (data entity or entity opened above the document).
bool data_in_document() {
  return !entity_inside() && (inst.data_flags & (DATA_NO_RESCAN | DATA_SDATA | DATA_EXTERNAL)) == 0;
}

// Where an element that the data in hand implies starts: at its first
// character, or, for the text of an entity, at the reference's "&".
void mark_offsets_for_data() {
  if (data_in_document())
    inst.implied_start = doc_offsets.current_char - inst.data_length;
  else
    inst.implied_start = reference_span.start;
  if (inst.implied_start < 0) inst.implied_start = 0;
}

// Data has been found (the data words are set).
int data_found() {
  if (inst.block == &pcb_cone) {
    inst.block = &pcb_conm;
    pcb_reset(inst.block);
  }
  mark_offsets_for_data();
  if (inst.data_seen) return TOK_DATA;
  inst.start_kind = TAG_ORDINARY;
  inst.named = pseudo_data();
  return content_action(TOK_DATA);
}

// The instance began with what must stand inside the document element (a
// character reference, a reference to a PI entity): its start tag is
// implied as before data (P226 when it may not be omitted), starting at
// offset at; then token (TOK_PI) follows, or the content is read on
// (TOK_DATA).
int document_element_imply(int token, int32_t at) {
  inst.start_kind = TAG_ORDINARY;
  inst.named = pseudo_data();
  inst.implied_start = at < 0 ? 0 : at;
  const int t = content_action(TOK_DATA);
  inst.token_pending = t == TOK_START_TAG && token == TOK_PI;
  inst.pending_token = token;
  return t == TOK_START_TAG ? t : token == TOK_PI ? TOK_PI : TOK_IGNORED;
}

// Closes one of the levels that an end tag, a NET or the end of the input
// closes.
int close_one() {
  --inst.to_close;
  const bool last = inst.to_close == 0;
  inst.end_kind = last ? inst.close_last_kind : TAG_ENCLOSING;
  int32_t pending = -1;
  if (!last) pending = doc_offsets.end_tag_length;
  doc_offsets.pending_markup_length = pending;
  element_pop(pending);
  doc_offsets.pending_markup_length = -1;
  return TOK_END_TAG;
}

// Sets up the closing of the current level and `levels` - 1 levels above
// it... (levels counted from the current one down), the last with kind.
int close_levels(int levels, int last_kind, int32_t markup_length, ElementTypeDef* named) {
  inst.to_close = levels;
  inst.close_last_kind = last_kind;
  doc_offsets.end_tag_length = markup_length;
  inst.end_named = named;
  return close_one();
}

// The end of a tag: STAG or ETAG up to TAGC. Returns what ended it:
// IN_TAG_TAGC, IN_TAG_NET, IN_TAG_UNCLOSED, IN_TAG_INVALID (also for an
// invalid character the engine reported), or LEX_END_OF_INPUT.
int tag_parse(ParseControlBlock* block) {
  bool told = false;
  pcb_reset(block);
  for (;;) {
    int code = lex_engine(block);
    switch (code) {
      case IN_TAG_TAGC:
        return IN_TAG_TAGC;
      case IN_TAG_NET:  // NET-enabling start tag
        if (!sgml_settings().shorttag)
          sgml_error(P194_NET_ENABLING_START_TAG_REQUIRES_SHORTTAG, kStateCurrent, nullptr,
                     nullptr);
        inst.net_mark = true;
        return IN_TAG_NET;
      case IN_TAG_NAME:
      case IN_TAG_TOKEN:
      case IN_TAG_LIT:
      case IN_TAG_LITA:
        if (!told) {
          sgml_error(P22_POSSIBLE_ATTRIBUTES_TREATED_AS_DATA_BECAUSE, kStateCurrent, nullptr,
                     nullptr);
          told = true;
        }
        if (code == IN_TAG_NAME) {
          parse_name(gi, 0);
        } else if (code == IN_TAG_TOKEN) {
          unsigned char token[256];
          parse_token(token, kNameChar, quantity(kNAMELEN));
        } else {
          std::vector<char>& tb = token_buffer();
          parse_literal(reinterpret_cast<unsigned char*>(tb.data()), &pcb_litc,
                        static_cast<int>(tb.size()) - 2, code == IN_TAG_LIT ? '"' : '\'');
        }
        pcb_reset(block);
        continue;
      case IN_TAG_VI:
        continue;
      case IN_TAG_UNCLOSED:
        if (!sgml_settings().shorttag)
          sgml_error(P193_UNCLOSED_START_OR_END_TAG_REQUIRES, kStateCurrent, nullptr, nullptr);
        lex_step_back(1);
        return IN_TAG_UNCLOSED;
      case IN_TAG_INVALID:
        sgml_error(P9_INCORRECT_CHARACTER_IN_MARKUP, kStateCurrent, nullptr, nullptr);
        lex_step_back(1);
        return IN_TAG_INVALID;
      case LEX_INVALID:
      case LEX_INVALID_BACK:
        return IN_TAG_INVALID;
      case LEX_END_OF_INPUT:
        sgml_error(P9_INCORRECT_CHARACTER_IN_MARKUP, kStateCurrent, nullptr, nullptr);
        return LEX_END_OF_INPUT;
      default:
        continue;
    }
  }
}

// Offset where a tag read just now ended (its TAGC or NET; for an unclosed
// tag the character before the one that ended it).
int32_t tag_end_offset(int how) {
  if (entity_inside()) return reference_span.end;
  int32_t at = doc_offsets.current_char;
  if (how == IN_TAG_UNCLOSED || how == IN_TAG_INVALID) --at;
  return at;
}

// The element stack trace (g) of the content actions and tags: the end
// tags implied so far for the token in hand, and the exception level of
// the last start tag checked.
constexpr int& trace_implied_ends = sgml_parser.content.trace_implied_ends;
constexpr int& trace_exception_level = sgml_parser.content.trace_exception_level;

[[gnu::cold]] void content_trace(int token, const ElementTypeDef* type, int result, int exc,
                                 int status) {
  const bool conref = token == 0 && inst.start_kind == TAG_ORDINARY &&
                      type->attributes != nullptr && att_content_reference();
  trace_content(trace_implied_ends, token == 0, token, etd_chars(type), result, conref, status);
  if (token == 0) trace_exception_level = exc;
  if (result == CONTEXT_END || result == CONTEXT_EXCLUDED)
    ++trace_implied_ends;
  else if (result != CONTEXT_IMPLY)
    trace_implied_ends = 0;  // the token is taken
}

[[gnu::cold]] void start_tag_trace(const ElementTypeDef* etd, int code) {
  trace_start_tag(etd, inst.token_pending, code, inst.stack[inst.level].etd, trace_exception_level);
}

[[gnu::cold]] void end_tag_trace(int levels, const ElementTypeDef* etd) {
  const OpenElement& current = inst.stack[inst.level];
  trace_end_tag(levels, etd, current.etd, current.flags, levels < 0 ? 0 : levels + 1);
}

int start_tag_process(ElementTypeDef* etd) {
  if (etd->model == nullptr) {
    sgml_error(P43_UNDEFINED_START_TAG_GI_WAS_USED, kStateCurrent, etd_chars(etd), etd_chars(etd));
    etd_set(etd, ETD_START_OMIT | ETD_END_OMIT | ETD_MADE, any_model(), nullptr, nullptr, nullptr);
    sgml_settings().capacities[kELEMCAP].count += 1;
  }
  inst.start_kind = TAG_ORDINARY;
  inst.start_etd = etd;
  inst.named = etd;
  const int code = content_action(0);
  if (trace_on.grp) start_tag_trace(etd, code);
  return code;
}

int short_start_tag() {
  ElementTypeDef* etd = inst.level > 0 ? inst.stack[inst.level].etd : document_element();
  if (etd == nullptr) return TOK_IGNORED;
  inst.start_kind = TAG_EMPTY;
  inst.start_etd = etd;
  inst.named = pseudo_empty_start();
  inst.net_mark = false;
  inst.start_tag_length = 1;
  inst.tag_start = markup_start_offset(1);
  const int code = content_action(0);
  if (trace_on.grp) start_tag_trace(etd, code);
  return code;
}

int end_tag_process(ElementTypeDef* etd) {
  const int n = open_element_find(etd);
  if (trace_on.grp) end_tag_trace(n, etd);
  if (n < 0) {
    sgml_error(P5_END_TAG_IGNORED, kStateCurrent, etd_chars(etd),
               etd_chars(inst.stack[inst.level].etd));
    return TOK_IGNORED;
  }
  return close_levels(n + 1, TAG_ORDINARY, doc_offsets.end_tag_length, etd);
}

int short_end_tag() {
  if (trace_on.grp) end_tag_trace(inst.level > 0 ? 0 : -1, pseudo_empty_end());
  if (inst.level <= 0) {
    sgml_error(P51_SHORT_END_TAG_NO_GI_IGNORED, kStateCurrent, nullptr, nullptr);
    return TOK_IGNORED;
  }
  return close_levels(1, TAG_EMPTY, 0, pseudo_empty_end());
}

// A short reference found, its last character (of length in the file)
// read last: -1 its characters are data, 0 an entity was opened (reading
// goes on), LEX_DATA_ENTITY a data entity, TOK_PI a PI entity.
int short_ref_use(int index, int32_t length) {
  EntityRecord* rec = mapped(index);
  if (rec == nullptr) return -1;
  if (rec->type == ENT_PLACEHOLDER) {
    sgml_error(P93_SHORT_REF_IN_MAP_TO_UNDECLARED, kStateCurrent, name_chars(current_map()->name),
               name_chars(rec->name));
    return -1;
  }
  reference_span_note(length);
  const EntityOpen r = entopen(rec);
  if (r == ENTITY_DATA) return LEX_DATA_ENTITY;
  if (r == ENTITY_PI) {
    inst.pi_entity = true;
    return TOK_PI;
  }
  return 0;
}

// A data entity's text (lex_data) as the data words; false when the
// reference gives no event.
bool data_entity_found() {
  if (lex_data.flags & DATA_EXTERNAL) {
    const auto* de = reinterpret_cast<const DataEntity*>(lex_data.text);
    const int32_t levels = sgml_switches().subdoc_levels;
    if (de != nullptr && de->kind == DATA_KIND_SUBDOC &&
        (levels >= sgml_settings().subdoc || levels >= 32)) {
      sgml_error(P188_TOO_MANY_OPEN_SUBDOCUMENT_ENTITIES, kStateCurrent, nullptr, nullptr);
      return false;
    }
  }
  inst.data_text = lex_data.text;
  inst.data_length = lex_data.length;
  inst.data_flags = lex_data.flags;
  return true;
}

// A run of blanks at the current character while some blank short
// reference is mapped. The longest delimiter of the syntax that the run
// makes is found first (after an RS the RS belongs to it, an RE right
// after the run too) and then looked up in the map: "RS B RE", "RS B",
// "B RE", BB, and TAB or SPACE for a single blank. Mapped, its entity is
// used; unmapped (or mapped to an entity never declared), the blanks are
// data and an RS or RE in the delimiter stays a record start or end (the RS
// has been read already; the RE is read next, and a record end right after
// a blank is never the RE delimiter, see re_delimiter).
int blank_run(ParseControlBlock* pcb, bool* data) {
  *data = false;
  unsigned char* first = lex_current_ptr();
  EntityEntry* e = entity_top;
  const bool after_rs = pcb->prev_state == kContentAfterRsState;
  int n = 1;
  // Read the run (blanks of this buffer).
  while (is_blank(e->ptr[1])) {
    if (n >= quantity(kBSEQLEN)) break;
    ++e->ptr;
    ++n;
  }
  const bool re_follows = e->ptr[1] == 13;
  int index;
  if (after_rs)
    index = re_follows ? SR_RS_B_RE : SR_RS_B;
  else if (re_follows)
    index = SR_B_RE;
  else if (n >= 2)
    index = SR_BB;
  else
    index = *first == '\t' ? SR_TAB : SR_SPACE;
  const bool counted = e->keeps_offsets;
  if (is_mapped(index)) {
    if (re_follows) ++e->ptr;  // the RE belongs to it
    const int32_t taken = static_cast<int32_t>(e->ptr - first);
    if (counted) doc_offsets.current_char += taken;
    const int r = short_ref_use(index, taken + 1);
    if (r >= 0) return r;
    if (counted) doc_offsets.current_char -= taken;
    e->ptr = first + n - 1;
  }
  // Data.
  *data = true;
  inst.data_text = first;
  inst.data_length = static_cast<int32_t>(e->ptr - first + 1);
  inst.data_flags = 0;
  if (counted) doc_offsets.current_char += static_cast<int32_t>(e->ptr - first);
  return TOK_DATA;
}

// Whether the RS just read is the RS delimiter: not when a blank or an RE
// follows it, which makes it part of "RS B", "RS B RE" or "RS RE".
bool rs_delimiter() {
  const unsigned char next = lex_current_ptr()[1];
  return !is_blank(next) && next != 13;
}

// Whether the RE just read is the RE delimiter: not when a blank of its
// entity's text stands right before it, which makes it part of "B RE" or
// "RS B RE" (either of them mapped would have taken it with the blanks).
bool re_delimiter() {
  const unsigned char* p = lex_current_ptr();
  return p <= entity_top->start || !is_blank(p[-1]);
}

// What a short reference that was used gives: -1 nothing (reading goes
// on), else the token (data words set for data).
int short_ref_token(int r) {
  if (r == LEX_DATA_ENTITY) return data_entity_found() ? data_found() : -1;
  if (r == TOK_PI) return TOK_PI;
  return -1;
}

// RCDATA: an entity opened inside it reads "<", the NET character and "]"
// as data; back at the entity level where the RCDATA element or marked
// section began they are delimiters again.
void rcdata_entity_opened() {
  LitContentClass['<'] = LitContentClass[254];
  LitContentClass['/'] = LitContentClass[254];
  LiteralClass[']'] = LiteralClass[254];
}
void rcdata_entity_ended(const ParseControlBlock* pcb) {
  int& level = pcb == &pcb_msrcdata ? inst.ms_rcdata_level : inst.rcdata_level;
  if (entity_stack.level < level) {
    sgml_error(P37_ENTITY_NESTING_LEVEL_OUT_OF_SYNC, kStateCurrent, nullptr, nullptr);
    level = entity_stack.level;
  }
  if (entity_stack.level == level) {
    LitContentClass['<'] = lexclass::litcon::LT;
    LitContentClass['/'] = inst.net_count > 0 ? lexclass::litcon::NET : lexclass::litcon::SLASH;
    LiteralClass[']'] = lexclass::literal::RSQB;
  }
}

bool rcdata_block(const ParseControlBlock* pcb) { return pcb == &pcb_conr || pcb == &pcb_msrcdata; }

int start_tag_read() {
  const int32_t stago = markup_start_offset(1);
  parse_name(gi, 1);
  ElementTypeDef* etd = etd_find(gi);
  inst.net_mark = false;
  int how;
  if (etd != nullptr && etd->attributes != nullptr) {
    bool net = false;
    how = parse_attributes(etd, &net);
    inst.net_mark = net;
    if (!sgml_options().documents_in_sequence) att_defaults(etd);
  } else {
    how = tag_parse(&pcb_stag);
  }
  int32_t length = tag_end_offset(how) - stago;
  if (length < 0) length = 0;
  inst.start_tag_length = length;
  inst.tag_start = stago;
  if (length >= quantity(kTAGLEN))
    sgml_error(P66_START_TAG_LENGTH_EXCEEDS_TAGLEN_LIMIT, kStateCurrent, nullptr, nullptr);
  if (etd == nullptr) {
    sgml_error(P132_UNDEFINED_START_TAG_GI_IGNORED, kStateCurrent, name_chars(gi), nullptr);
    inst.net_mark = false;
    return TOK_IGNORED;
  }
  return start_tag_process(etd);
}

int end_tag_read(bool in_rcdata) {
  const int32_t etago = markup_start_offset(2);
  parse_name(gi, 1);
  ElementTypeDef* etd = etd_find(gi);
  const int how = tag_parse(&pcb_etag);
  int32_t length = tag_end_offset(how) - etago;
  if (length < 0) length = 0;
  doc_offsets.end_tag_length = length;
  doc_offsets.pending_markup_length = -1;
  // In CDATA and RCDATA content an end tag of an enclosing open element
  // ends the element as well (its end tag omitted); one that names no open
  // element is taken as an empty end tag.
  if (in_rcdata && (etd == nullptr || open_element_find(etd) < 0)) {
    sgml_error(P57_BAD_END_TAG_IN_R_CDATA, kStateCurrent, nullptr, nullptr);
    return short_end_tag();
  }
  if (etd == nullptr) {
    sgml_error(P11_NO_ELEMENT_DECLARATION_FOR_END_TAG, kStateCurrent, name_chars(gi), nullptr);
    return TOK_IGNORED;
  }
  return end_tag_process(etd);
}

}  // namespace

int content_action(int token) {
  ElementTypeDef* type = token == 0 ? inst.start_etd : pseudo_data();
  int exc = 0;
  if (token == 0) {
    exc = exception_level(type);
    inst.empty_mark = (element_content_flags(type) & CONTENT_EMPTY) != 0;
  }
  OpenElement& cur = inst.stack[inst.level];
  int result = 0;
  ElementTypeDef* imply = nullptr;
  if (sgml_options().documents_in_sequence) {
    if (inst.root_name[0] == 0 && !sgml_options().document_name.empty())
      make_counted_name(sgml_options().document_name.c_str(), inst.root_name, 1);
    // Counted names: equal counts first, so that a shorter name is never
    // read past its end.
    if (token == 0 && inst.root_name[0] >= 3 && type->name != nullptr &&
        type->name[0] == inst.root_name[0] &&
        std::memcmp(type->name, inst.root_name, inst.root_name[0]) == 0) {
      if (inst.level == 0) result = exc > 0 ? CONTEXT_EXCLUDED : CONTEXT_OK;
    } else if (inst.level == 0 && inst.root_name[0] >= 3) {
      imply = etd_find(inst.root_name);
      if (imply != nullptr) result = CONTEXT_IMPLY;
    }
  }
  if (result == 0) {
    const int flags = element_content_flags(cur.etd);
    const ContentModel* model = cur.etd != nullptr ? cur.etd->model : nullptr;
    if (model == nullptr || (flags & CONTENT_DECLARED) != 0) {
      result = exc > 0 ? CONTEXT_EXCLUDED : CONTEXT_OK;
    } else {
      result = context_check(type, model, &inst.positions[static_cast<size_t>(inst.level)],
                             &cur.status, exc);
      if (result == CONTEXT_IMPLY) imply = context_implied_element();
    }
  }
  if (result == CONTEXT_END && inst.level == 0) result = CONTEXT_REFUSED;
  if (result == CONTEXT_EXCLUDED && inst.level == 0) result = CONTEXT_OK;
  // With TAGLVL elements open no further start tag is implied (an element
  // that requires itself, both tags omissible, would be implied forever):
  // what needed it is not allowed there.
  if (result == CONTEXT_IMPLY && (imply == nullptr || inst.level >= quantity(kTAGLVL)))
    result = CONTEXT_REFUSED;
  if (trace_on.grp) content_trace(token, type, result, exc, cur.status);
  switch (result) {
    case CONTEXT_END:
    case CONTEXT_EXCLUDED: {
      if (inst.stack[inst.level].start_length == 0 && inst.just_implied)
        sgml_error(P7_START_TAG_OMITTED_FROM_WITH_EMPTY, kStateCurrent,
                   etd_chars(inst.stack[inst.level].etd), nullptr);
      inst.token_pending = true;
      inst.pending_token = token;
      inst.saved_empty = inst.empty_mark;
      inst.saved_net = inst.net_mark;
      inst.end_kind = TAG_IMPLIED;
      inst.end_named = token == 0 ? inst.named : pseudo_data();
      int32_t pending = -1;
      if (token == 0) pending = inst.start_kind == TAG_IMPLIED ? -1 : doc_offsets.current_char - inst.tag_start;
      else if (token == TOK_DATA && data_in_document()) pending = inst.data_length;
      doc_offsets.pending_markup_length = pending;
      element_pop(pending);
      doc_offsets.pending_markup_length = -1;
      return TOK_END_TAG;
    }
    case CONTEXT_IMPLY: {
      if (imply->model == nullptr) {
        sgml_error(P53_NO_DEFINITION_FOR_IMPLIED_START_TAG, kStateCurrent, etd_chars(imply),
                   etd_chars(imply));
        etd_set(imply, ETD_START_OMIT | ETD_END_OMIT | ETD_MADE, any_model(), nullptr, nullptr,
                nullptr);
        sgml_settings().capacities[kELEMCAP].count += 1;
      }
      if (!(imply->flags & ETD_START_OMIT)) {
        if (inst.level == 0)
          sgml_error(P226_START_TAG_OF_DOCUMENT_ELEMENT_OMITTED, kStateCurrent, nullptr, nullptr);
        else if (token != 0)
          sgml_error(P49_START_TAG_IMPLIED_BY_DATA, kStateCurrent, etd_chars(imply), nullptr);
        else if (inst.start_kind == TAG_EMPTY)
          sgml_error(P50_START_TAG_IMPLIED_BY_SHORT_START, kStateCurrent, etd_chars(imply),
                     nullptr);
        else
          sgml_error(P21_START_TAG_IMPLIED_BY_START_TAG, kStateCurrent, etd_chars(imply),
                     etd_chars(type));
      }
      inst.token_pending = true;
      inst.pending_token = token;
      inst.saved_empty = inst.empty_mark;
      inst.saved_net = inst.net_mark;
      inst.saved_kind = inst.start_kind;
      inst.saved_start_etd = inst.start_etd;
      // Where the implied element starts: at the tag that implied it, or
      // at the data.
      if (token == 0)
        inst.implied_start = inst.tag_start;
      else if (token == TOK_RE)
        inst.implied_start = entity_inside() ? reference_span.start : doc_offsets.current_char;
      if (inst.implied_start < 0) inst.implied_start = 0;
      inst.start_kind = TAG_IMPLIED;
      inst.net_mark = false;
      inst.empty_mark = (element_content_flags(imply) & CONTENT_EMPTY) != 0;
      inst.included_mark = false;
      inst.not_allowed_mark = false;
      inst.start_etd = imply;
      element_push(imply);
      inst.just_implied = true;
      if (inst.stack[inst.level].flags & OPEN_EMPTY) inst.empty_started = true;
      return TOK_START_TAG;
    }
    case CONTEXT_REFUSED:
      inst.not_allowed_mark = true;
      if (token == 0) {
        sgml_error(P1_ELEMENT_NOT_ALLOWED_AT_THIS_POINT, kStateCurrent, etd_chars(type),
                   etd_chars(cur.etd));
        break;
      }
      inst.not_allowed_mark = false;
      if (token == TOK_DATA) {
        sgml_error(P10_DATA_NOT_ALLOWED_AT_THIS_POINT, kStateCurrent, etd_chars(cur.etd), nullptr);
        inst.data_flags |= DATA_NOT_ALLOWED;
        return TOK_DATA;
      }
      inst.re_refused = true;
      return token;
    case CONTEXT_INCLUDED:
      inst.included_mark = true;
      break;
    default:
      break;
  }
  if (token != 0) return token;
  if (inst.start_kind == TAG_IMPLIED) inst.start_kind = TAG_ORDINARY;
  element_push(type);
  inst.included_mark = false;
  inst.just_implied = false;
  if (inst.stack[inst.level].flags & OPEN_EMPTY) inst.empty_started = true;
  return TOK_START_TAG;
}

int parse_content() {
  // Elements still to be closed by an end tag or the end of the input.
  if (inst.to_close > 0) return close_one();
  if (inst.parse_ended) return LEX_END_OF_INPUT;
  if (inst.empty_started) {
    inst.empty_started = false;
    inst.end_kind = TAG_IMPLIED;
    inst.end_named = inst.stack[inst.level].etd;
    doc_offsets.pending_markup_length = -1;
    element_pop(-1);
    return TOK_END_TAG;
  }
  if (inst.token_pending) {
    inst.token_pending = false;
    inst.empty_mark = inst.saved_empty;
    inst.net_mark = inst.saved_net;
    if (inst.pending_token == 0 && inst.start_kind == TAG_IMPLIED) {
      inst.start_kind = inst.saved_kind;
      inst.start_etd = inst.saved_start_etd;
    }
    if (inst.pending_token != 0 && inst.data_seen) return inst.pending_token;
    if (inst.pending_token == TOK_PI) return TOK_PI;
    if (inst.pending_token == TOK_DATA) inst.named = pseudo_data();
    return content_action(inst.pending_token);
  }
  if (inst.refill_pending) {
    inst.refill_pending = false;
    if (entpop() < 0) return LEX_END_OF_INPUT;
  }
  if (inst.start_pending != 0) {
    const int what = inst.start_pending;
    inst.start_pending = 0;
    if (what == TOK_MS_START) return TOK_MS_START;
    return document_element_imply(TOK_DATA, doc_offsets.current_char - 1);
  }
  ParseControlBlock* pcb = inst.block;
  for (;;) {
    // Blanks inside data are data while no blank short reference is
    // mapped (as CON_DATA_END decides below): the engine passes over them.
    pcb->blank_data_state =
        pcb == &pcb_conm && run.open && !blanks_mapped(false) ? kContentDataState : -1;
    const int code = lex_engine(pcb);
    pcb->blank_data_state = -1;
    switch (code) {
      case LEX_ESCAPE:
        inst.data_text = lex_escape_pair();
        inst.data_length = 2;
        inst.data_flags = 0;
        return data_found();
      case LEX_ENTITY_OPENED:
        if (rcdata_block(pcb)) rcdata_entity_opened();
        continue;
      case LEX_ENTITY_END:
        if (rcdata_block(pcb)) rcdata_entity_ended(pcb);
        continue;
      case LEX_END_OF_INPUT:
        if (inst.level > 0) {
          inst.input_ended = true;
          inst.parse_ended = true;
          ElementTypeDef* doc = etd_find(reinterpret_cast<const unsigned char*>("\006*DOC"));
          return close_levels(inst.level, TAG_ENCLOSING, -1, doc);
        }
        inst.parse_ended = true;
        return LEX_END_OF_INPUT;
      case CON_DATA_START:
        data_begin_at(lex_current_ptr());
        continue;
      case CON_DATA_END: {
        unsigned char* p = lex_current_ptr();
        if (pcb->last_action == ACT_CHAR_REF_NUMBER) {  // one character from a reference
          data_begin_at(p);
          pcb->state = kContentDataState;
          continue;
        }
        const unsigned char c = *p;
        if (c == '<' && run.open && (pcb == &pcb_conm || pcb == &pcb_conc || pcb == &pcb_conr) &&
            lt_is_data(pcb, p[1])) {
          pcb->state = kContentDataState;
          continue;
        }
        if (pcb == &pcb_conm && run.open) {
          // Characters that only matter as short references go on as
          // data while the map in force does not map them.
          bool data = false;
          if (c == ' ' || c == '\t')
            data = !blanks_mapped(false);
          else if (c == '-')
            data = !is_mapped(SR_HYPHEN) && !is_mapped(SR_HYPHENS);
          else if (c == ']')
            data = !is_mapped(SR_RSQB) && p[1] != ']';
          else if (c == '"' || c == '#' || c == '[' ||
                   pcb->last_class == lexclass::content::SRCHAR)
            data = !is_mapped(single_delimiter(c));
          if (data) {
            pcb->state = kContentDataState;
            continue;
          }
        }
        if (!run.open) data_begin_at(p);
        data_end_at(p);
        lex_step_back(1);
        if (inst.data_length == 0) continue;
        return data_found();
      }
      case CON_DATA_BUFFER_END: {
        unsigned char* p = lex_current_ptr();
        if (!run.open) data_begin_at(p);
        data_end_at(p);
        inst.refill_pending = true;
        if (inst.data_length == 0) {
          inst.refill_pending = false;
          if (entpop() < 0) return LEX_END_OF_INPUT;
          continue;
        }
        return data_found();
      }
      case CON_ELEMENT_DATA: {  // data in element content
        inst.block = &pcb_conm;
        pcb_reset(&pcb_conm);
        if (pcb->last_action == ACT_CHAR_REF_NUMBER) {
          pcb = inst.block;
          data_begin_at(lex_current_ptr());
          pcb->state = kContentDataState;
          continue;
        }
        pcb = inst.block;
        lex_step_back(1);
        continue;
      }
      case CON_END_TAG:
      case CON_RCDATA_END_TAG:
        return end_tag_read(code == CON_RCDATA_END_TAG);
      case CON_RE:
        if (pcb == &pcb_cone) continue;  // a separator in element content
        if (is_mapped(SR_RE) && re_delimiter()) {
          const int t = short_ref_token(short_ref_use(SR_RE, 1));
          if (t < 0) continue;
          return t;
        }
        if (inst.data_seen) return TOK_RE;
        return content_action(TOK_RE);
      case CON_START_TAG:
        return start_tag_read();
      case CON_RS:
        lex_count_record();
        if (is_mapped(SR_RS) && pcb != &pcb_cone && rs_delimiter()) {
          const int t = short_ref_token(short_ref_use(SR_RS, 0));
          if (t < 0) continue;
          return t;
        }
        // The record-end driver ignores every RS, only moving its state:
        // it is stepped here and reading goes on, rather than the token
        // going out to next_event and the parser being entered again.
        sgml_driver_rs();
        continue;
      case CON_BLANK: {
        // Blanks in element content are separators unless a short
        // reference maps them.
        if (!blanks_mapped(pcb->prev_state == kContentAfterRsState)) {
          if (pcb == &pcb_cone) continue;
          data_begin_at(lex_current_ptr());
          pcb->state = kContentDataState;
          continue;
        }
        bool data = false;
        const int r = blank_run(pcb, &data);
        if (data) {
          if (pcb == &pcb_cone) continue;
          return data_found();
        }
        const int t = short_ref_token(r);
        if (t < 0) continue;
        return t;
      }
      case CON_RS_RE:
        if (is_mapped(SR_RS_RE)) {
          const int t = short_ref_token(short_ref_use(SR_RS_RE, 1));
          if (t < 0) continue;
          return t;
        }
        if (pcb == &pcb_cone) continue;
        if (inst.data_seen) return TOK_RE;
        return content_action(TOK_RE);
      case CON_SR_HYPHENS:
      case CON_SR_BEFORE:
      case CON_SR_AT: {
        unsigned char* p = lex_current_ptr();
        unsigned char* delim = code == CON_SR_AT ? p : p - 1;
        const int index = code == CON_SR_HYPHENS ? SR_HYPHENS : single_delimiter(*delim);
        if (code == CON_SR_BEFORE) lex_step_back(1);
        const int r =
            is_mapped(index) ? short_ref_use(index, code == CON_SR_HYPHENS ? 2 : 1) : -1;
        if (r >= 0) {
          const int t = short_ref_token(r);
          if (t < 0) continue;
          return t;
        }
        // Unmapped: the characters are data.
        if (pcb == &pcb_cone) {
          inst.block = &pcb_conm;
          pcb_reset(&pcb_conm);
          pcb = inst.block;
        }
        data_begin_at(code == CON_SR_HYPHENS ? p - 1 : delim);
        pcb->state = kContentDataState;
        continue;  // after CON_SR_BEFORE the current character is read again as data
      }
      case CON_NET: {
        int l = inst.level;
        while (l >= 1 && !(inst.stack[l].flags & OPEN_NET)) --l;
        if (l < 1) {
          data_begin_at(lex_current_ptr());
          pcb->state = kContentDataState;
          continue;
        }
        inst.to_close = inst.level - l + 1;
        inst.close_last_kind = TAG_NET;
        doc_offsets.end_tag_length = 0;
        inst.end_named = pseudo_empty_end();
        return close_one();
      }
      case CON_EMPTY_END_TAG:
        doc_offsets.end_tag_length = 2;
        return short_end_tag();
      case CON_EMPTY_START_TAG:
        return short_start_tag();
      case LEX_DATA_ENTITY: {
        const int t = short_ref_token(LEX_DATA_ENTITY);
        if (t < 0) continue;
        return t;
      }
      case LEX_PI_ENTITY:
        inst.pi_entity = true;
        // A reference belongs to the instance: before the document element
        // began, its start tag is implied first.
        if (inst.level == 0 && inst.stack[0].status == 0 && !sgml_options().documents_in_sequence)
          return document_element_imply(TOK_PI, doc_offsets.current_char);
        return TOK_PI;
      case CON_PI:
        inst.pi_entity = false;
        return TOK_PI;
      default:  // markup the pull loop reads (CON_DECLARATION ... CON_MS_END: TOK_ codes)
        return code;
    }
  }
}

void instance_begin(int start_code) {
  trace_set();
  content_setup();
  ElementTypeDef* doc = etd_define(reinterpret_cast<const unsigned char*>("\006*DOC"));
  inst.start_etd = doc;
  inst.named = doc;
  inst.end_named = doc;
  inst.start_kind = TAG_ORDINARY;
  inst.start_tag_length = 0;
  inst.net_mark = inst.empty_mark = inst.included_mark = inst.not_allowed_mark = false;
  inst.level = 0;
  inst.stack[0] = OpenElement{};
  inst.stack[0].etd = doc;
  inst.stack[0].map = empty_map();
  context_state_reset(&inst.positions[0]);
  inst.special_block = false;
  inst.block = nullptr;
  content_block_current();
  inst.start_pending = start_code == PROLOG_MS_STARTS ? TOK_MS_START
                       : start_code == PROLOG_REFERENCE_STARTS && prolog.char_ref_start
                           ? TOK_DATA
                           : 0;
  run = DataRun{};
  mapped_bits_forget();
  trace_implied_ends = 0;
}

void instance_reset() {
  inst.parse_ended = false;
  inst.input_ended = false;
  inst.token_pending = false;
  inst.to_close = 0;
  inst.empty_started = false;
  inst.refill_pending = false;
  inst.root_name[0] = 0;
  run = DataRun{};
  mapped_bits_forget();
}

int32_t pi_read(const unsigned char** text) {
  std::vector<char>& tb = token_buffer();
  const int limit = quantity(kPILEN);
  int size = static_cast<int>(tb.size()) - 2;
  if (size > limit) size = limit;
  auto* buffer = reinterpret_cast<unsigned char*>(tb.data());
  parse_literal(buffer, &pcb_litc, size, '>');
  *text = buffer;
  return literal_length;
}
