// The record-end driver: decides, level by level of element nesting, which
// record ends of the content are data (reported) and which are ignored: the
// first one after a start tag, the last one before an end tag, and those
// that only markup declarations, processing instructions or marked section
// boundaries stand between. An element accepted only through an inclusion
// gets a level of its own.
#include <iterator>

#include "sgml/instance.h"
#include "sgml/trace.h"

namespace {

// Token columns, by token - TOK_END: data, end tag, markup declaration,
// comment declaration, marked section start, marked section end,
// processing instruction, record end, start tag, RS, end of input; -1 for
// tokens the driver passes through.
constexpr int8_t kColumn[] = {
    10,  // TOK_END
    -1,  // TOK_REREAD
    0,   // TOK_DATA
    1,   // TOK_END_TAG
    2,   // TOK_MD
    3,   // TOK_COMMENT
    4,   // TOK_MS_START
    5,   // TOK_MS_END
    6,   // TOK_PI
    7,   // TOK_RE
    8,   // TOK_START_TAG
    9,   // TOK_RS
};
static_assert(TOK_RS - TOK_END + 1 == std::size(kColumn));

// Next state by state (0, 2, 4, 6, 8 as rows 0 to 4) and column.
const int kNext[5][11] = {
    {4, 4, 0, 0, 0, 0, 0, 2, 0, 2, 0},
    {4, 4, 0, 0, 0, 0, 0, 6, 0, 2, 0},
    {4, 4, 4, 4, 4, 4, 4, 6, 0, 2, 0},
    {4, 4, 8, 8, 8, 8, 8, 6, 0, 6, 0},
    {4, 4, 8, 8, 8, 8, 8, 2, 0, 6, 0},
};

// The state of a level after an included element in it ended: as after a
// processing instruction.
int after_inclusion(int state) {
  if (state == 0 || state == 2) return 0;
  if (state == 4) return 4;
  return 8;
}

}  // namespace

void driver_reset() {
  inst.driver_level = 0;
  if (!inst.driver.empty()) inst.driver[0].state = 0;
}

int sgml_driver_step(int token) {
  // One table look-up decides whether the driver takes the token at all.
  const auto index = static_cast<unsigned>(token - TOK_END);
  if (index >= std::size(kColumn)) return token;
  const int column = kColumn[index];
  if (column < 0 || inst.driver.empty()) return token;
  int& state = inst.driver[static_cast<size_t>(inst.driver_level)].state;
  const int before = state;
  int action = token;
  if (before <= 4) {
    if (token == TOK_RE || token == TOK_RS) action = TOK_IGNORED;
  } else if (token == TOK_DATA || token == TOK_START_TAG) {
    action = TOK_REREAD;
  } else if (token == TOK_RS) {
    action = TOK_IGNORED;
  }
  state = kNext[before / 2][column];
  if (token == TOK_START_TAG && inst.level > 0 && (inst.stack[inst.level].flags & OPEN_INCLUDED) &&
      inst.driver_level + 1 < static_cast<int>(inst.driver.size())) {
    ++inst.driver_level;
    inst.driver[static_cast<size_t>(inst.driver_level)].state = 0;
  } else if (token == TOK_END_TAG && inst.driver_level > 0 &&
             static_cast<size_t>(inst.level + 1) < inst.stack.size() &&
             (inst.stack[inst.level + 1].flags & OPEN_INCLUDED)) {
    --inst.driver_level;
    int& outer = inst.driver[static_cast<size_t>(inst.driver_level)].state;
    outer = after_inclusion(outer);
  }
  if (trace_on.grp) trace_driver_step(inst.driver_level, before, column, state, action, 0, token);
  return action;
}

void sgml_driver_rs() {
  if (inst.driver.empty()) return;
  constexpr int kRsColumn = 9;
  int& state = inst.driver[static_cast<size_t>(inst.driver_level)].state;
  const int before = state;
  state = kNext[before / 2][kRsColumn];
  if (trace_on.grp)
    trace_driver_step(inst.driver_level, before, kRsColumn, state, TOK_IGNORED, 0, TOK_RS);
}
