// Compiled content models, name groups and the checks that read them: the
// ambiguity check run when a model has been compiled, and the context checks
// that follow the content of each open element token by token.
//
// A compiled model is an array of tokens. Token 0 is the header: its flags
// are the declared-content flags of the element type (CONTENT_ in
// entities/tables.h: 0x80 mixed, 0x40 element tokens, 0x20 keyword or leading
// #PCDATA, 0x10 EMPTY, 0x08 ANY, 0x04 RCDATA, 0x02 CDATA) and its count the
// number of tokens after it (0 for declared content). Token 1 is the
// outermost model group. Every group token is followed by its members in
// order, a member group by its own members before the next member of the
// enclosing group (depth first), so the extent of a group is found by
// walking its members (model_group_size).
//
// Occurrence bits of a token's flags: 0x80 the token may be absent ("?" or
// "*", every #PCDATA token, and a group that can match nothing: an OR group
// with an optional member, a group whose members are all optional); 0x40 the
// token may repeat ("+" or "*", every #PCDATA token); 0x20 and 0x10 record
// the indicator as declared ("?" 0x20, "+" 0x10, "*" both). The checks read
// only 0x80 and 0x40; the reports read only 0x20 and 0x10. The token record
// and its flag names are in sgml/dtd.h.
#pragma once

#include <cstdint>
#include <vector>

#include "sgml/entities/tables.h"


// ---------------------------------------------------------------------------
// Name groups: arrays of element type definitions (or notation records)
// ended by null.

// A copy of the first n entries of list (n counts the ending null when the
// copy is to keep it), in the parser's checked storage (sgml_free).
template <class T>
T** dup_word_array(T* const* list, int n) {
  T** copy = static_cast<T**>(sgml_calloc(sizeof(T*) * static_cast<size_t>(n > 0 ? n : 1)));
  for (int i = 0; i < n; ++i) copy[i] = list[i];
  return copy;
}
// 1 when the null-ended list holds item, else 0.
template <class T>
int group_contains(T* const* list, const T* item) {
  if (list == nullptr) return 0;
  for (; *list != nullptr; ++list)
    if (*list == item) return 1;
  return 0;
}

// Trace lines (switch g; the caller tests it): "MODEL" with the header and
// a line per token; "ETDGRP" and "DCNGRP" with a line per group member.
void trace_model(const ModelToken* model);
void trace_element_group(ElementTypeDef* const* group);
void trace_notation_group(NotationRecord* const* group);

// ---------------------------------------------------------------------------
// Ambiguity check

// Checks model, just compiled, for element tokens that can be matched in two
// ways: each element found twice in one first or follow list is reported
// through the error-handler hook (severity 2, message 220006 with its name),
// and an ambiguous model gets P137 through md_error. Returns 1 when the
// model is ambiguous, else 0.
int ambig_check(const ModelToken* model);
// Releases the tables of the ambiguity check (the next check makes them again).
void ambig_free();

// ---------------------------------------------------------------------------
// Context checks
//
// The context state of one open element (its model position record): level
// 0 holds the current token's position and the current depth; each level k
// from 1 to the depth holds the position of the group being walked, the
// 1-based number of its current member and the hit bits of its members (bit
// m - 1 for member m) in `words` 32-bit words. Level 0 treats the outermost
// group as the single member of an enclosing sequence, with its hit bit in
// bit 0 of level 0's words. A reset state stands before the outermost group.

struct ContextLevel {
  uint32_t token;   // level 0: current token position; level k: group position
  uint32_t member;  // level 0: current depth; level k: current member (1-based)
};

// The vectors hold levels 0 to the depth at least; entries past the depth
// are storage kept from deeper groups left before, reused (and cleared) when
// a group is entered again, so that entering and leaving groups does not
// resize them.
struct ContextState {
  int32_t words = 1;                 // hit words per level
  std::vector<ContextLevel> levels;  // 0..depth, and kept storage
  std::vector<uint32_t> hits;        // `words` per level, level by level
};

// Sets the number of hit words per level ((GRPCNT + 31) / 32, at least 1)
// and resets the state. It also makes the checks forget what they keep of
// the models checked before (context_forget_models): content set-up calls
// it for each document, after the document's models are made.
void context_state_init(ContextState* state, int words);
// The checks keep, by token address, which member of a group begins with an
// element and how many tokens a group takes. Models made or freed since the
// last call may take the storage of others: this is to be called (through
// context_state_init) after models are made and before they are checked.
void context_forget_models();
// Back to the start of the model: depth 0, current token 1, nothing hit.
// A state that has its storage (every one after its first use) takes two
// stores here, inline since each element pushed resets one; the first use
// makes the storage (context_state_start).
void context_state_start(ContextState* state);
inline void context_state_reset(ContextState* state) {
  // The storage of deeper levels is kept for the next groups entered.
  if (state->levels.empty() || state->hits.size() < static_cast<size_t>(state->words)) {
    context_state_start(state);
    return;
  }
  state->levels[0] = ContextLevel{1, 0};
  state->hits[0] = 0;  // level 0 has one member, the outermost group
}
void state_copy(ContextState* to, const ContextState* from);

// Results of context_check.
enum : int {
  CONTEXT_END = 1,       // complete (or may end) and the element does not fit
  CONTEXT_IMPLY = 2,     // a required token comes first: imply its start tag
  CONTEXT_REFUSED = 3,   // a required member is open and the element does not fit
  CONTEXT_OK = 4,        // matched the current token (consumed)
  CONTEXT_EXCLUDED = 5,  // mode > 0: end the elements down to the excluding level
  CONTEXT_REQUIRED = 6,  // mode > 0: matched a required token (consumed): allowed
  CONTEXT_INCLUDED = 7,  // mode -1: only through the inclusion; state unchanged
};
// Status byte values kept by the checks (0 when the element is pushed).
enum : uint8_t { CONTEXT_STATUS_COMPLETE = 1, CONTEXT_STATUS_ACTIVE = 4 };

// Whether element (the data pseudo type for data) may come next in model at
// state. mode: -1 a trial for an element that an inclusion admits, 0 a
// normal check, k > 0 the element is excluded by the open element at level
// k. status is the open element's status byte, updated. A result that
// consumes nothing (1, 3, 5 without a match, 7) leaves state and status as
// they were.
int context_check(ElementTypeDef* element, const ModelToken* model, ContextState* state,
                  uint8_t* status, int mode);
// 1 when the element may end at state, else 0. Sets the implied element to
// the element of the first required token still open, or null.
int end_context_check(const ModelToken* model, const ContextState* state, const uint8_t* status);
// The element whose start tag the last check would imply (result 2), or the
// required element that end_context_check found missing; null for none.
ElementTypeDef* context_implied_element();
void context_set_implied_element(ElementTypeDef* element);

// Supporting operations on hit bits (bit m - 1 for member m).
// Whether every member of group other than `except` (0 for none) is hit;
// unhit members that may be absent are passed over unless count_optional.
int group_all_hit(const ModelToken* group, const uint32_t* hits, int except, int count_optional);
// The next member above `after` whose bit is clear, 0 when none up to
// members. A word of bits at a time: the checks ask this of groups whose
// members are mostly hit.
inline int next_unhit(const uint32_t* hits, int after, int members) {
  for (int bit = after; bit < members;) {  // bit m - 1 for member m
    const int word = bit / 32;
    uint32_t clear = ~hits[word] & (~0u << (bit % 32));
    const int in_word = members - word * 32;  // members this word holds, if below 32
    if (in_word < 32) clear &= (1u << in_word) - 1;
    if (clear != 0) return word * 32 + __builtin_ctz(clear) + 1;
    bit = (word + 1) * 32;
  }
  return 0;
}
// Whether any bit of the words is set.
int any_hit(const uint32_t* hits, int words);
