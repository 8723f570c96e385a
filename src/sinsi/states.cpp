// State tables of the tag stream: the character-class template, built once
// per process, and the per-delimiter-set tables copied from it.
#include <cstring>
#include <initializer_list>

#include "sinsi/sinsi.h"

namespace {

// Transition of a working state for a byte that is not a delimiter.
uint8_t class_transition(int state, int c) {
  bool blank = sinsi_is_blank(c);
  switch (state) {
    case SINSI_ST_OPEN:
      return SINSI_ST_START_NAME;
    case SINSI_ST_END_NAME:
      return SINSI_ST_END_NAME;
    case SINSI_ST_START_NAME:
      return blank ? SINSI_ST_BLANK : SINSI_ST_START_NAME;
    case SINSI_ST_BLANK:
      return blank ? SINSI_ST_BLANK : SINSI_ST_ATTR_NAME;
    case SINSI_ST_ATTR_NAME:
      return c == '=' ? SINSI_ST_AFTER_EQUALS : SINSI_ST_ATTR_NAME;
    case SINSI_ST_AFTER_EQUALS:
      return c == '"' ? SINSI_ST_QUOTED : SINSI_ST_VALUE;
    case SINSI_ST_VALUE:
      if (blank) return SINSI_ST_BLANK;
      return c == ',' ? SINSI_ST_AFTER_EQUALS : SINSI_ST_VALUE;
    case SINSI_ST_QUOTED:
      return c == '"' ? SINSI_ST_AFTER_QUOTE : SINSI_ST_QUOTED;
    case SINSI_ST_AFTER_QUOTE:
      if (blank) return SINSI_ST_BLANK;
      // Anything else after a closing quote scans on as after an opening
      // character.
      return c == ',' ? SINSI_ST_AFTER_EQUALS : SINSI_ST_OPEN;
  }
  return SINSI_ST_ERROR;
}

SinsiStateTable build_template() {
  SinsiStateTable t;
  for (int s = 0; s < SINSI_ROWS; ++s) {
    for (int c = 0; c < 256; ++c) t.next[s][c] = class_transition(s, c);
    t.next[s][SINSI_COLUMN_EOF] = SINSI_ST_ERROR;
  }
  return t;
}

}  // namespace

const SinsiStateTable* sinsi_template() {
  static const SinsiStateTable table = build_template();
  return &table;
}

void sinsi_build_states(const SinsiDelimiters* d, SinsiStateTable* t) {
  std::memcpy(t, sinsi_template(), sizeof *t);
  const int o = d->open, c = d->close;
  const int e = d->end != 0 ? d->end : -1;  // a set without an end marker
  auto set = [t](int state, int ch, uint8_t next) {
    if (ch >= 0) t->next[state][ch] = next;
  };
  // Within a row the transitions are applied last-listed first, so that the
  // first-listed one wins when two delimiter characters coincide.
  set(SINSI_ST_OPEN, c, SINSI_ST_ERROR);
  set(SINSI_ST_OPEN, o, SINSI_ST_ERROR);
  set(SINSI_ST_OPEN, e, SINSI_ST_END_NAME);

  set(SINSI_ST_END_NAME, e, SINSI_ST_ERROR);
  set(SINSI_ST_END_NAME, o, SINSI_ST_ERROR);
  set(SINSI_ST_END_NAME, c, SINSI_ST_DONE_END);

  for (int s : {SINSI_ST_START_NAME, SINSI_ST_BLANK, SINSI_ST_VALUE, SINSI_ST_AFTER_QUOTE}) {
    set(s, e, SINSI_ST_ERROR);
    set(s, o, SINSI_ST_ERROR);
    set(s, c, s == SINSI_ST_START_NAME ? SINSI_ST_DONE_START : SINSI_ST_DONE_START_ATTRS);
  }
  for (int s : {SINSI_ST_ATTR_NAME, SINSI_ST_AFTER_EQUALS}) {
    set(s, c, SINSI_ST_ERROR);
    set(s, e, SINSI_ST_ERROR);
    set(s, o, SINSI_ST_ERROR);
  }
  // State 7 (quoted value) takes every delimiter as value text.
}
