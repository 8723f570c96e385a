// Parser set-up from the switch record, and the run's options record.
#include "sgml/parser_state.h"
#include "sgml/switches.h"

#include "sgml/lex/chclass.h"
#include "sgml/input/docin.h"
#include "sgml/entities/entity.h"
#include "sgml/instance/instance.h"
#include "sgml/messages/message.h"
#include "sgml/options.h"
#include "sgml/entities/settings.h"
#include "sgml/messages/trace.h"

ParserOptions sgml_options_record;

namespace {

// What messages show of the open entities and elements.
const MessageSources parser_message_sources = {entity_message_position, entity_message_levels,
                                               message_open_elements};

struct SetUp {
  SwitchRecord switches;
  std::vector<unsigned char> entity_buffer;
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
  for (uint8_t* table : {ContentClass, LitContentClass, LiteralClass}) {
    table[s.switches.escape] = kEscapeClass;
  }
  trace_pro();
  message_setup(s.switches);
  doc_input_setup(s.switches);
  message_sources_set(&parser_message_sources);
  entity_manager_setup();
  char_class_setup();
  return sgml_delimiter_table();
}
