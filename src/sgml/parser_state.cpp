// The parser's one state record and its reset.
#include "sgml/parser_state.h"

#include "sgml/lex/chclass.h"
#include "sgml/messages/message.h"

// Made before main, then given the settings' initial values.
SgmlParserStorage sgml_parser_storage;
namespace {
const bool settings_initialised = (sgml_settings_reset(), true);
}  // namespace

void sgml_parser_reset() {
  entity_close_all();
  doc_input_release();
  sgml_tables_clear();
  sgml_parser = SgmlParser{};
  sgml_settings_reset();
  char_tables_reset();
  lex_rows_reset();
  error_count_reset();
}
