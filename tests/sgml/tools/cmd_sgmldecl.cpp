// sgmldecl: sets the parser up, opens the document entity, raises the
// limits (unless -Q), parses the SGML declaration when the document begins
// with "<!SGML", and writes the declaration in effect on standard output;
// after it a line "#" and the APPINFO text when APPINFO was a literal.
//
//   sgml_driver [options] sgmldecl FILE...
#include "io/vqio.h"
#include "sgml/lex/lex.h"
#include "sgml/entities/settings.h"
#include "sgml/parser_state.h"
#include "sgml/sgmldecl/sgmldecl.h"
#include "sgml/switches.h"
#include "tools/driver.h"
#include "tools/entity_options.h"

namespace {

// True when the first markup of the document is "<!" and the name SGML.
bool declaration_follows() {
  if (lex_engine(&pcb_pro) != PRO_DECLARATION) return false;
  unsigned char name[256];
  parse_name(name, 1);
  return name[0] == 6 && std::string(reinterpret_cast<const char*>(name + 1)) == "SGML";
}

int run_sgmldecl(int argc, char** argv) {
  DriverOptions& o = driver_options();
  sgml_set_switches(&o.switches);
  if (!driver_open_document(argc - 1, argv + 1)) return 1;
  if (!o.keep_quantities) sgml_raise_limits();
  int appinfo = declaration_follows() ? sgml_declaration() : 0;
  sgmldecl_write(vqio_stdout);
  if (appinfo) vqio_printf("#%s\n", token_buffer().data());
  return 0;
}

}  // namespace

SGML_DRIVER_COMMAND("sgmldecl", run_sgmldecl, "sgmldecl FILE...");
