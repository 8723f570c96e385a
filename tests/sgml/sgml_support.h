// Helpers of the parser's unit tests: the I/O layer started, the standard
// error stream captured, and the parser set up from a switch record.
#pragma once

#include <string>

#include "io/vqio.h"
#include "sgml/lex/chclass.h"
#include "sgml/entities/entity.h"
#include "sgml/messages/message.h"
#include "sgml/options.h"
#include "sgml/entities/settings.h"
#include "sgml/parser_state.h"
#include "sgml/switches.h"
#include "support/scratch.h"
#include "support/stderr_capture.h"

// Sets the parser up with sw (and a fresh options record) as the front end
// does, on a parser as at program start.
inline void parser_setup(const SwitchRecord& sw) {
  start_io();
  sgml_options() = ParserOptions{};
  sgml_parser_reset();
  sgml_set_switches(&sw);
}

// The parser set up as at program start with messages that name no
// program.
inline void parser_setup_bare() {
  SwitchRecord sw;
  sw.program_name = nullptr;
  parser_setup(sw);
}

// Undoes what a test left behind: the parser as at program start, what it
// allocated freed.
inline void parser_teardown() { sgml_parser_reset(); }
