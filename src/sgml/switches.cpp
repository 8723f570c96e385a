// Parser set-up from the switch record, and the options record shared with
// the region finder.
#include "sgml/parser_state.h"
#include "sgml/switches.h"

#include "sgml/lex/chclass.h"
#include "sgml/input/docin.h"
#include "sgml/entities/entity.h"
#include "sgml/messages/message.h"
#include "sgml/modeopts.h"
#include "sgml/entities/settings.h"
#include "sgml/messages/trace.h"

ModeOptions* mode_options = nullptr;
int32_t front_verbose = 0;
int32_t front_carriage_return = 0;

namespace {

struct SetUp {
  SwitchRecord switches;
  std::vector<unsigned char> entity_buffer;
  std::vector<unsigned char> filter_buffer;
};
SetUp& setup() {
  static SetUp* s = new SetUp;
  return *s;
}

}  // namespace

const SwitchRecord& sgml_switches() { return setup().switches; }
void sgml_prolog_only_set(int32_t value) { setup().switches.prolog_only = value; }
std::vector<unsigned char>& sgml_entity_buffer() { return setup().entity_buffer; }

const DelimiterTable* sgml_set_switches(const SwitchRecord* switches) {
  SetUp& s = setup();
  s.switches = *switches;
  size_t size = static_cast<size_t>(s.switches.buffer_size > 0 ? s.switches.buffer_size : 0) + 3;
  s.entity_buffer.assign(size, 0);
  s.filter_buffer.assign(size, 0);
  if (mode_options != nullptr) mode_options->filter_line_buffer = s.filter_buffer.data();
  for (uint8_t* table : {ContentClass, LitContentClass, LiteralClass}) {
    table[s.switches.escape] = kEscapeClass;
  }
  trace_pro();
  message_setup(s.switches);
  doc_input_setup(s.switches);
  entity_manager_setup();
  char_class_setup();
  return sgml_delimiter_table();
}
