// declare: sets the parser up, raises the limits (unless -Q) and writes the
// SGML declaration in effect on standard output.
//
//   sgml_driver [options] declare
#include "io/vqio.h"
#include "sgml/entities/settings.h"
#include "sgml/parser_state.h"
#include "tools/driver.h"

namespace {

int run_declare(int, char**) {
  driver_setup();
  sgmldecl_write(vqio_stdout);
  return 0;
}

}  // namespace

SGML_DRIVER_COMMAND("declare", run_declare, "declare");
