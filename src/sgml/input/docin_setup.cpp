// Process-wide state of the document input that set-up fills: the input
// map, the buffer size, and the byte-offset words.
#include "sgml/input/docin.h"
#include "sgml/input/docin_internal.h"
#include "sgml/parser_state.h"
#include "sgml/switches.h"

void offsets_reset() { doc_offsets = DocOffsets{}; }
int32_t doc_buffer_file_offset() { return doc_offsets.buffer_file; }

void doc_input_setup(const SwitchRecord& switches) {
  DocInputState& s = doc_input_state();
  for (bool& flag : s.input_map) flag = false;
  for (int c : {0, 1, 8, 13, 26, 28, int{switches.escape}}) s.input_map[c] = true;
  s.printable_flagged = false;
  for (int c = 32; c < 127; ++c) s.printable_flagged = s.printable_flagged || s.input_map[c];
  s.buffer_size = switches.buffer_size;
}

int32_t doc_buffer_size() { return doc_input_state().buffer_size; }
