// The context checks: whether an element (or data, through the data pseudo
// element type) may come next in the content of an open element, and
// whether that element may end, following the content model rules of
// ISO 8879 for OR, SEQ and AND groups.
//
// A check walks from the current token of the state: a token that can begin
// with the element is matched (a group is entered, a level pushed); a token
// that is hit or may be absent is passed; in a SEQ group a required token
// that is not hit stops the walk, and when it begins with one element that
// element is contextually required: its start tag is implied (result 2). In
// an OR group the walk leaves as soon as a member has been hit; in an AND
// group it tries every other unhit member once, round from the current one,
// and leaves only when every required member is hit. A token that may
// repeat stays current after a match; a finished group that may repeat is
// entered again when the element begins it.
//
// A check that consumes nothing (the element ends the content, is refused,
// excluded without a match, or admitted only by an inclusion) leaves the
// state and the status byte as they were: an element refused here is not
// allowed to disturb where the content stands for the elements after it.
// So the walk keeps where it stands (depth, member and token of the deepest
// level) in its own record and writes it to the state only when the check
// consumes the element; until it enters a group it changes nothing else
// (members are passed and groups left without touching their hit bits),
// and a walk that enters a group beginning with the element always ends in
// a match.
#include <cstdint>
#include <cstring>

#include "io/vqio.h"
#include "msg/msg.h"
#include "sgml/instance/model.h"
#include "sgml/messages/trace.h"
#include "sgml/parser_state.h"

namespace {

constexpr auto& checks = sgml_parser.context;

// What the checks keep of the models by token address (which member begins
// a group with an element, the extent of a group) is of one generation:
// entries of an earlier one are not used (see context_forget_models).
constexpr uint32_t& kept_generation = sgml_parser.context.kept_generation;

// The number of tokens group token t takes, kept by its address: the
// checks pass the same groups over and over.
using SizeEntry = ContextWords::SizeEntry;
constexpr size_t kSizeEntries = ContextWords::kSizeEntries;
constexpr auto& sizes = sgml_parser.context.sizes;

int token_size(const ModelToken* t) {
  if (!model_is_group(t)) return 1;
  SizeEntry& e = sizes[(reinterpret_cast<uintptr_t>(t) / sizeof(ModelToken)) % kSizeEntries];
  if (e.group == t && e.generation == kept_generation) return e.size;
  const int n = model_token_size(t);
  e = SizeEntry{t, kept_generation, n};
  return n;
}

// How a walk ended.
enum WalkEnd { WALK_MATCH, WALK_REQUIRED, WALK_END, WALK_OPEN };

struct Walk {
  const ModelToken* model;
  ContextState* st;
  int start;  // current token when the check began (for the trace)
  // WALK_MATCH: the level and member matched; WALK_REQUIRED: the token.
  int level;
  int member;
  int token;
  // Where the walk stands: the depth, the current member of the deepest
  // level and the current token. The state holds them as they were until
  // walk_commit; levels above the deepest are read from the state.
  int at_depth;
  int at_member;
  int at_token;
  // The deepest level's group: its type and number of members (a sequence
  // of one at level 0) and its hit words in the state.
  int at_type;
  int at_count;
  uint32_t* at_hits;
};

int depth(const ContextState* st) { return static_cast<int>(st->levels[0].member); }

// Sets the walk's record of its deepest level, at_depth, from the state.
void walk_level_load(Walk* w) {
  const int k = w->at_depth;
  if (k == 0) {
    w->at_type = MODEL_SEQ;
    w->at_count = 1;
  } else {
    const ModelToken* g = &w->model[w->st->levels[static_cast<size_t>(k)].token];
    w->at_type = model_type(g);
    w->at_count = static_cast<int>(g->count);
  }
  w->at_hits = &w->st->hits[static_cast<size_t>(k * w->st->words)];
}

// A walk standing where the state stands.
Walk walk_of(const ModelToken* model, ContextState* st) {
  const int d = depth(st);
  const int m = d == 0 ? 1 : static_cast<int>(st->levels[static_cast<size_t>(d)].member);
  const int t = static_cast<int>(st->levels[0].token);
  Walk w{model, st, t, 0, 0, 0, d, m, t, 0, 0, nullptr};
  walk_level_load(&w);
  return w;
}
// Writes where the walk stands to the state.
void walk_commit(const Walk& w) {
  w.st->levels[0] = ContextLevel{static_cast<uint32_t>(w.at_token), static_cast<uint32_t>(w.at_depth)};
  if (w.at_depth > 0) w.st->levels[static_cast<size_t>(w.at_depth)].member = static_cast<uint32_t>(w.at_member);
}
int depth(const Walk& w) { return w.at_depth; }

// Level 0 walks a sequence of one member, the outermost group.
int level_type(const Walk& w, int k) {
  return k == 0 ? MODEL_SEQ : model_type(&w.model[w.st->levels[k].token]);
}
int level_count(const Walk& w, int k) {
  return k == 0 ? 1 : static_cast<int>(w.model[w.st->levels[k].token].count);
}
int level_member(const Walk& w, int k) {
  return k == 0 ? 1 : k == w.at_depth ? w.at_member : static_cast<int>(w.st->levels[k].member);
}
int member_token(const Walk& w, int k, int m) {
  if (k == 0) return 1;
  int p = static_cast<int>(w.st->levels[k].token) + 1;
  for (int c = 1; c < m; ++c) p += token_size(&w.model[p]);
  return p;
}
uint32_t* level_hits(ContextState* st, int k) { return &st->hits[static_cast<size_t>(k * st->words)]; }
bool is_hit(const Walk& w, int k, int m) {
  const uint32_t* h = level_hits(w.st, k);
  return (h[(m - 1) / 32] >> ((m - 1) % 32)) & 1u;
}
void set_hit(const Walk& w, int k, int m) { level_hits(w.st, k)[(m - 1) / 32] |= 1u << ((m - 1) % 32); }
// Level 0 keeps the position of the current token: the current member of
// the deepest level (a group entered is the current member of the level
// above it, so leaving it makes the group's position current again).
int current_token(const Walk& w) { return w.at_token; }
// The position of the current member of level k: the current token at the
// deepest level, else the group entered at the level below.
int current_member_token(const Walk& w, int k) {
  if (k == 0) return 1;
  return k == depth(w) ? current_token(w) : static_cast<int>(w.st->levels[static_cast<size_t>(k + 1)].token);
}
// Member m of the deepest level, at position pos, becomes current.
void set_member_at(Walk* w, int m, int pos) {
  w->at_member = m;
  w->at_token = pos;
}
void set_member(Walk* w, int k, int m) { set_member_at(w, m, member_token(*w, k, m)); }
// The member after the current one m of the deepest level (in a SEQ group).
void set_next_member(Walk* w, int m) {
  const int pos = current_token(*w);
  set_member_at(w, m + 1, pos + token_size(&w->model[pos]));
}

const char* etd_text(const ElementTypeDef* e) {
  return e == nullptr || e->name == nullptr ? "" : reinterpret_cast<const char*>(e->name) + 1;
}

// ---------------------------------------------------------------------------
// Trace (switch c)

void trace_head(const char* label, const Walk& w, const uint8_t* status) {
  const ContextState* st = w.st;
  const int d = depth(w);
  vqio_fprintf(vqio_stderr, "%-10s %d:", label, d);
  for (int k = 1; k <= d; ++k) {
    vqio_fprintf(vqio_stderr, " %d-%d", static_cast<int>(st->levels[k].token), level_member(w, k));
    const uint32_t* h = &st->hits[static_cast<size_t>(k * st->words)];
    for (int i = 0; i < st->words; ++i)
      vqio_fprintf(vqio_stderr, ":%0*lx", 8, static_cast<unsigned long>(h[i]));
  }
  const int g = d == 0 ? 0 : static_cast<int>(st->levels[d].token);
  const int gflags = d == 0 ? static_cast<int>(MODEL_SEQ) : w.model[g].flags;
  vqio_fprintf(vqio_stderr, " (%u) gocc=%02x gtype=%02x gnum=%d",
               static_cast<unsigned>(current_token(w)), gflags & MODEL_OCCURRENCE_MASK,
               gflags & MODEL_TYPE_MASK, level_count(w, d));
  vqio_fprintf(vqio_stderr, " status=%d Tstart=%d\n", status != nullptr ? *status : 0, w.start);
}

void trace_current_token(const Walk& w, const ElementTypeDef* element) {
  const ModelToken* t = &w.model[current_token(w)];
  const char* what = model_type(t) == MODEL_PCDATA ? "#PCDATA"
                     : model_is_group(t)            ? "#GROUP"
                                                    : etd_text(t->etd);
  vqio_fprintf(vqio_stderr, "=>%-8s tocc=%02x ttype=%02x thetd=%p (%s)", etd_text(element),
               t->flags & MODEL_OCCURRENCE_MASK, t->flags & MODEL_TYPE_MASK,
               static_cast<void*>(t->etd), what);
}

void trace_step(const char* label, const Walk& w, const uint8_t* status, const ElementTypeDef* element) {
  if (!trace_on.con) return;
  trace_head(label, w, status);
  trace_current_token(w, element);
  vqio_fprintf(vqio_stderr, "\n");
}

void trace_end_step(const char* label, const Walk& w, const uint8_t* status, int rc, int offbit,
                    int allhit) {
  if (!trace_on.con) return;
  trace_head(label, w, status);
  trace_current_token(w, nullptr);
  vqio_fprintf(vqio_stderr, " rc=%d offbitT=%d allhit=%d\n", rc, offbit, allhit);
}

// ---------------------------------------------------------------------------
// The walk

// Whether group pos, not yet begun, can begin with element. With size
// non-null the group is walked to its end when it does not, and size set to
// the number of tokens it takes (a member group is passed by the walk that
// tested it, not by a second one); with size null a SEQ group is left at
// its first required member. Members that are single tokens (elements,
// #PCDATA) are compared here, without a call.
bool group_begins_with(const ModelToken* model, int pos, const ElementTypeDef* element, int* size) {
  const ModelToken* t = &model[pos];
  const bool seq = model_type(t) == MODEL_SEQ;
  bool open = true;  // a member can still begin the group
  int p = pos + 1;
  for (uint32_t m = 0; m < t->count; ++m) {
    const ModelToken* u = &model[p];
    int n = 1;
    if (!model_is_group(u)) {
      if (open && u->etd == element) return true;
    } else if (open) {
      if (group_begins_with(model, p, element, &n)) return true;
    } else {
      n = token_size(u);
    }
    if (seq && !(u->flags & MODEL_OPTIONAL)) {
      if (size == nullptr) return false;
      open = false;
    }
    p += n;
  }
  if (size != nullptr) *size = p - pos;
  return false;
}

// Whether token pos, not yet begun, can begin with element.
bool begins_with(const ModelToken* model, int pos, const ElementTypeDef* element) {
  const ModelToken* t = &model[pos];
  if (!model_is_group(t)) return t->etd == element;
  return group_begins_with(model, pos, element, nullptr);
}

// The first member of OR or AND group pos that can begin with element:
// its number (0 for none) and position.
int member_beginning(const ModelToken* model, int pos, const ElementTypeDef* element, int* at) {
  const ModelToken* g = &model[pos];
  int p = pos + 1;
  for (int c = 1; c <= static_cast<int>(g->count); ++c) {
    const ModelToken* u = &model[p];
    int n = 1;
    if (!model_is_group(u) ? u->etd == element : group_begins_with(model, p, element, &n)) {
      *at = p;
      return c;
    }
    p += n;
  }
  return 0;
}

// The element a required token begins with, when it is contextually
// required: the token itself, or the first required member of a SEQ group
// (members that may be absent before it are passed). An OR or AND group
// lets more than one element begin it: none.
ElementTypeDef* required_element(const ModelToken* model, int pos) {
  const ModelToken* t = &model[pos];
  if (model_type(t) == MODEL_ELEMENT) return t->etd;
  if (model_type(t) != MODEL_SEQ) return nullptr;
  int p = pos + 1;
  for (uint32_t m = 0; m < t->count; ++m) {
    if (!(model[p].flags & MODEL_OPTIONAL)) return required_element(model, p);
    p += token_size(&model[p]);
  }
  return nullptr;
}

// Clears n hit words. The usual counts (up to 8 words, GRPCNT 256) are
// cleared by stores of a size known here rather than by a call.
template <int N>
void clear_fixed(uint32_t* hits) {
  std::memset(hits, 0, sizeof(uint32_t) * N);
}
void clear_words(uint32_t* hits, int n) {
  switch (n) {
    case 1: clear_fixed<1>(hits); break;
    case 2: clear_fixed<2>(hits); break;
    case 3: clear_fixed<3>(hits); break;
    case 4: clear_fixed<4>(hits); break;
    case 5: clear_fixed<5>(hits); break;
    case 6: clear_fixed<6>(hits); break;
    case 7: clear_fixed<7>(hits); break;
    case 8: clear_fixed<8>(hits); break;
    default: std::memset(hits, 0, sizeof(uint32_t) * static_cast<size_t>(n)); break;
  }
}

// Pushes a level for group pos, member m of level k, which begins with
// element: a SEQ group at its first member, an OR or AND group straight at
// member first (position first_pos), the member that begins with it. The
// walk then ends in a match: the state is changed from here on.
void enter_group(Walk* w, int k, int m, int pos, int first, int first_pos) {
  ContextState* st = w->st;
  const ModelToken* g = &w->model[pos];
  VQ_ASSERT(static_cast<int>(g->count) <= st->words * 32);
  set_hit(*w, k, m);
  if (k > 0) st->levels[static_cast<size_t>(k)].member = static_cast<uint32_t>(m);
  const size_t levels = static_cast<size_t>(k + 2);
  if (st->levels.size() < levels) st->levels.resize(levels);
  if (st->hits.size() < levels * static_cast<size_t>(st->words))
    st->hits.resize(levels * static_cast<size_t>(st->words));
  clear_words(level_hits(st, k + 1), st->words);
  if (model_type(g) == MODEL_SEQ) {
    first = 1;
    first_pos = pos + 1;
  }
  st->levels[static_cast<size_t>(k + 1)] = ContextLevel{static_cast<uint32_t>(pos), 0};
  w->at_depth = k + 1;
  walk_level_load(w);
  set_member_at(w, first, first_pos);
}

// Leaves the deepest level k: the group is the current token again.
void pop_level(Walk* w, int k) {
  const ContextState* st = w->st;
  w->at_token = static_cast<int>(st->levels[static_cast<size_t>(k)].token);
  w->at_depth = k - 1;
  w->at_member = k - 1 == 0 ? 1 : static_cast<int>(st->levels[static_cast<size_t>(k - 1)].member);
  walk_level_load(w);
}

// Whether token pos begins with element; for an OR or AND group also the
// member that does (number and position), found at once.
struct Beginning {
  int begins;
  int first;      // 0 for a SEQ group
  int first_pos;
};
void group_beginning(const ModelToken* model, int pos, const ElementTypeDef* element, Beginning* b) {
  b->first = 0;
  b->first_pos = 0;
  if (model_type(&model[pos]) == MODEL_SEQ)
    b->begins = group_begins_with(model, pos, element, nullptr);
  else
    b->begins = (b->first = member_beginning(model, pos, element, &b->first_pos)) != 0;
}

// What group_beginning found for a group token and an element, kept for the
// next test of the same pair: the checks test the same few elements against
// the same groups over and over, and a large group is otherwise looked
// through member by member each time. An entry holds the token's address;
// entries of an earlier generation are not used (see context_forget_models).
using BeginningEntry = ContextWords::BeginningEntry;
constexpr size_t kBeginningEntries = ContextWords::kBeginningEntries;
constexpr auto& beginnings = sgml_parser.context.beginnings;

// group_beginning for group token pos, through the entries.
void beginning_of(const ModelToken* model, int pos, const ElementTypeDef* element, Beginning* b) {
  const ModelToken* t = &model[pos];
  const uintptr_t key = (reinterpret_cast<uintptr_t>(t) / sizeof(ModelToken)) * 0x9E3779B1u ^
                        (reinterpret_cast<uintptr_t>(element) >> 4);
  BeginningEntry& e = beginnings[(key ^ (key >> 10)) % kBeginningEntries];
  if (e.group == t && e.element == element && e.generation == kept_generation) {
    b->begins = e.begins;
    b->first = e.first;
    b->first_pos = pos + e.offset;
    return;
  }
  group_beginning(model, pos, element, b);
  const int offset = b->first != 0 ? b->first_pos - pos : 0;
  if (b->first > UINT8_MAX || offset > UINT8_MAX) return;  // not kept: does not fit
  e = BeginningEntry{t, element, kept_generation, static_cast<uint8_t>(b->begins),
                     static_cast<uint8_t>(b->first), static_cast<uint8_t>(offset)};
}

WalkEnd walk(Walk* w, const ElementTypeDef* element, const uint8_t* status) {
  // Whether the current token begins with the element, when found already:
  // a group that may repeat is tested as it is left, and is current just
  // after.
  Beginning known{false, 0, 0};
  bool is_known = false;
  for (;;) {
    const int k = w->at_depth;
    const int m = w->at_member;
    const int count = w->at_count;
    const int pos = w->at_token;
    const ModelToken* t = &w->model[pos];
    const unsigned bit = static_cast<unsigned>(m - 1);
    const bool hit = (w->at_hits[bit / 32] >> (bit % 32)) & 1u;
    if (!hit || (t->flags & MODEL_REPEAT)) {
      if (!model_is_group(t)) {
        if (t->etd == element) {
          w->level = k;
          w->member = m;
          w->token = pos;
          return WALK_MATCH;
        }
      } else {
        Beginning b;
        if (is_known)
          b = known;
        else
          beginning_of(w->model, pos, element, &b);
        is_known = false;
        if (b.begins) {
          enter_group(w, k, m, pos, b.first, b.first_pos);
          trace_step(hit ? "RETEST" : "OPENGRP", *w, status, element);
          // An OR or AND group is entered at the member that begins with
          // the element: when that is an element token, it is the match.
          if (b.first != 0 && !model_is_group(&w->model[b.first_pos])) {
            w->level = k + 1;
            w->member = b.first;
            w->token = b.first_pos;
            return WALK_MATCH;
          }
          continue;
        }
      }
    }
    const int type = w->at_type;
    if (type == MODEL_SEQ) {
      if (!hit && !(t->flags & MODEL_OPTIONAL)) {
        w->token = pos;
        trace_step("TOKENREQ", *w, status, element);
        return WALK_REQUIRED;
      }
      if (m < count) {
        set_next_member(w, m);
        trace_step("NEWTOKEN", *w, status, element);
        continue;
      }
    } else if (type == MODEL_AND) {
      bool moved = false;
      for (int i = 1; i < count && !moved; ++i) {
        const int c = (m - 1 + i) % count + 1;
        if (!is_hit(*w, k, c) && begins_with(w->model, member_token(*w, k, c), element)) {
          set_member(w, k, c);
          moved = true;
        }
      }
      if (moved) {
        trace_step("NEWTOKEN", *w, status, element);
        continue;
      }
      if (!group_all_hit(&w->model[w->st->levels[k].token], level_hits(w->st, k), 0, 0))
        return WALK_OPEN;
    }
    // The group is finished for this element: leave it.
    if (k == 0) {
      trace_step("TRACEEND", *w, status, element);
      return WALK_END;
    }
    const int group = static_cast<int>(w->st->levels[static_cast<size_t>(k)].token);
    if (w->model[group].flags & MODEL_REPEAT) {
      beginning_of(w->model, group, element, &known);
      is_known = true;
    }
    pop_level(w, k);
    trace_step("ENDFOUND", *w, status, element);
  }
}

// After a match of member m at level k: a token that may repeat stays
// current; otherwise move to the next member, leaving finished groups.
// Returns the new status byte.
uint8_t advance(Walk* w, int k, int m) {
  set_hit(*w, k, m);
  if (w->model[current_token(*w)].flags & MODEL_REPEAT) return CONTEXT_STATUS_ACTIVE;
  for (;;) {
    const int type = level_type(*w, k);
    const int count = level_count(*w, k);
    m = level_member(*w, k);
    if (type == MODEL_SEQ && m < count) {
      set_next_member(w, m);
      return CONTEXT_STATUS_ACTIVE;
    }
    if (type == MODEL_AND) {
      const uint32_t* h = level_hits(w->st, k);
      int c = next_unhit(h, m, count);
      if (c == 0) c = next_unhit(h, 0, m);
      if (c != 0) {
        set_member(w, k, c);
        return CONTEXT_STATUS_ACTIVE;
      }
    }
    if (k == 0) return CONTEXT_STATUS_COMPLETE;
    pop_level(w, k);
    --k;
    if (w->model[current_token(*w)].flags & MODEL_REPEAT)
      return CONTEXT_STATUS_ACTIVE;
  }
}

void ensure_started(ContextState* st) {
  if (st->words < 1) st->words = 1;
  if (st->levels.empty()) context_state_reset(st);
}

}  // namespace

void context_forget_models() {
  if (++kept_generation == 0) {  // wrapped: entries of any age would match
    for (BeginningEntry& e : beginnings) e = BeginningEntry{};
    for (SizeEntry& e : sizes) e = SizeEntry{};
    kept_generation = 1;
  }
}

ElementTypeDef* context_implied_element() { return checks.implied; }
void context_set_implied_element(ElementTypeDef* element) { checks.implied = element; }

int context_check(ElementTypeDef* element, const ModelToken* model, ContextState* state,
                  uint8_t* status, int mode) {
  checks.implied = nullptr;
  if (model[0].count == 0)  // declared content: no token to match
    return mode < 0 ? CONTEXT_INCLUDED : mode > 0 ? CONTEXT_EXCLUDED : CONTEXT_END;
  ensure_started(state);
  Walk w = walk_of(model, state);
  trace_step("CONTEXT", w, status, element);
  int result;
  if (*status == CONTEXT_STATUS_COMPLETE) {
    result = mode < 0 ? CONTEXT_INCLUDED : mode > 0 ? CONTEXT_EXCLUDED : CONTEXT_END;
    trace_step("STATUS", w, status, element);
    return result;
  }
  WalkEnd end = walk(&w, element, status);
  ElementTypeDef* required = nullptr;
  if (end == WALK_REQUIRED) {
    required = required_element(model, w.token);
    if (required == nullptr) end = WALK_OPEN;
  }
  if (end == WALK_MATCH) {
    const ModelToken* t = &model[w.token];
    if (mode > 0) {
      result = level_type(w, w.level) == MODEL_OR || (t->flags & MODEL_OPTIONAL) ? CONTEXT_EXCLUDED
                                                                                 : CONTEXT_REQUIRED;
    } else {
      result = CONTEXT_OK;
    }
    *status = advance(&w, w.level, w.member);
    walk_commit(w);
  } else if (end == WALK_REQUIRED && mode >= 0) {
    // The required element's start tag is implied: it takes its token now.
    checks.implied = required;
    const WalkEnd again = walk(&w, required, status);
    VQ_ASSERT(again == WALK_MATCH);
    *status = advance(&w, w.level, w.member);
    walk_commit(w);
    result = CONTEXT_IMPLY;
  } else {
    w = walk_of(model, state);  // the state is as it was
    if (mode < 0)
      result = CONTEXT_INCLUDED;
    else if (mode > 0)
      result = CONTEXT_EXCLUDED;
    else
      result = end == WALK_END ? CONTEXT_END : CONTEXT_REFUSED;
  }
  trace_step("STATUS", w, status, element);
  return result;
}

int end_context_check(const ModelToken* model, const ContextState* state, const uint8_t* status) {
  checks.implied = nullptr;
  if (model[0].count == 0 || state->levels.empty()) return 1;
  // The walk only reads the state; Walk holds it writable for the helpers.
  Walk w = walk_of(model, const_cast<ContextState*>(state));
  trace_end_step("ECONT", w, status, 0, 0, 0);
  if (status != nullptr && *status == CONTEXT_STATUS_COMPLETE) {
    trace_end_step("ECONTEND", w, status, 1, 0, 1);
    return 1;
  }
  for (int k = depth(w); k >= 0; --k) {
    const int type = level_type(w, k);
    const int count = level_count(w, k);
    const int m = level_member(w, k);
    // A SEQ group may end when its members from the current one on are hit
    // or may be absent; an AND group when all its required members are hit;
    // an OR group was entered through a member, which is hit.
    int missing = 0;
    int missing_pos = 0;
    if (type == MODEL_SEQ || type == MODEL_AND) {
      // Only the members not hit are looked at, each position found from
      // the one before it: a SEQ group from its current member (the current
      // token, or the group entered at the level below), an AND group from
      // its first.
      const uint32_t* hits = level_hits(w.st, k);
      int at = type == MODEL_SEQ ? m : 1;
      int c = next_unhit(hits, at - 1, count);
      if (c != 0) {
        int pos = type == MODEL_SEQ ? current_member_token(w, k) : member_token(w, k, 1);
        for (; c != 0; c = next_unhit(hits, c, count)) {
          for (; at < c; ++at) pos += token_size(&model[pos]);
          if (!(model[pos].flags & MODEL_OPTIONAL)) {
            missing = c;
            missing_pos = pos;
            break;
          }
        }
      }
    }
    // Whether every member is hit: shown by the trace only.
    const int allhit = !trace_on.con ? 0
                       : k == 0      ? is_hit(w, 0, 1)
                                     : group_all_hit(&model[state->levels[k].token], level_hits(w.st, k), 0, 1);
    if (missing != 0) {
      checks.implied = required_element(model, missing_pos);
      trace_end_step("ECONTEND", w, status, 0, missing, allhit);
      return 0;
    }
    trace_end_step(k > 0 ? "ECONTNEW" : "TOKENOPT", w, status, 1, m, allhit);
  }
  trace_end_step("ECONTEND", w, status, 1, 0, 1);
  return 1;
}
