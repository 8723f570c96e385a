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
#include "sgml/switches.h"
#include "sgml/lex/lex.h"
#include "sgml/entities/tables.h"
#include "support/scratch.h"
#include "support/stderr_capture.h"

// Sets the parser up with sw (and a fresh options record) as the front end
// does, on initial settings.
inline void parser_setup(const SwitchRecord& sw) {
  start_io();
  sgml_options() = ParserOptions{};
  sgml_settings_reset();
  sgml_set_switches(&sw);
}

// The parser set up on initial settings with messages that name no
// program, its tables empty and its lexical rows as built.
inline void parser_setup_bare() {
  SwitchRecord sw;
  sw.program_name = nullptr;
  parser_setup(sw);
  sgml_tables_clear();
  lex_rows_reset();
}

// The classes, lexical rows and tables as built, and no errors counted:
// what a test that reads declarations starts from.
inline void parser_tables_reset() {
  char_tables_reset();
  lex_rows_reset();
  sgml_tables_clear();
  error_count_reset();
}

// Undoes what a test left behind: entities closed, classes, lexical rows
// and settings as built.
inline void parser_teardown() {
  entity_close_all();
  char_tables_reset();
  lex_rows_reset();
  sgml_settings_reset();
}
