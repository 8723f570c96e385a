// The record-end driver: decides, level by level of element nesting, which
// record ends of the content are data (reported) and which are ignored: the
// first one after a start tag, those that no data or proper subelement
// follows in their element, and those of records that hold only markup
// declarations, processing instructions or marked section boundaries. An
// element accepted only through an inclusion is no proper subelement: it
// gets a level of its own and leaves the level it came at as a processing
// instruction would.
#include <iterator>

#include "sgml/instance/instance.h"
#include "sgml/messages/trace.h"
#include "sgml/parser_state.h"

namespace {

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

int sgml_driver_included_start(int column) {
  if (inst.driver_level + 1 < static_cast<int>(inst.driver.size())) {
    ++inst.driver_level;
    inst.driver[static_cast<size_t>(inst.driver_level)].state = 0;
  }
  if (trace_on.state)
    trace_driver_step(inst.driver_level, 0, column, 0, TOK_START_TAG, 0, TOK_START_TAG);
  return TOK_START_TAG;
}

void sgml_driver_after(int token, int before, int column, int stepped, int action) {
  if (token == TOK_END_TAG && inst.driver_level > 0 &&
      static_cast<size_t>(inst.level + 1) < inst.stack.size() &&
      (inst.stack[inst.level + 1].flags & OPEN_INCLUDED)) {
    --inst.driver_level;
    int& outer = inst.driver[static_cast<size_t>(inst.driver_level)].state;
    outer = after_inclusion(outer);
  }
  if (trace_on.state)
    trace_driver_step(inst.driver_level, before, column, stepped, action, 0, token);
}

void sgml_driver_rs() {
  if (inst.driver.empty()) return;
  constexpr int kRsColumn = 9;
  int& state = inst.driver[static_cast<size_t>(inst.driver_level)].state;
  const int before = state;
  state = driver_tables::kNext[before / 2][kRsColumn];
  if (trace_on.state)
    trace_driver_step(inst.driver_level, before, kRsColumn, state, TOK_IGNORED, 0, TOK_RS);
}
