// lookup: finds the files of an external identifier.
//
//   sgml_driver [options] lookup [-k kind] [-a name] [-P public] [-s system] [-t notation]
//
// kind is 1 to 6 (data entity, general entity, parameter entity, document
// type, link type, notation); a public identifier is split as a formal one
// (as the declarations do while FORMAL is on) and taken as informal when
// it is not. Prints the file list, one name a line, on standard output;
// status 1 and nothing printed when nothing is found.
#include <getopt.h>

#include <cstdlib>
#include <string>

#include "io/vqio.h"
#include "sgml/input/extid.h"
#include "sgml/entities/settings.h"
#include "sgml/parser_state.h"
#include "tools/driver.h"

namespace {

int run_lookup(int argc, char** argv) {
  driver_setup();
  ExternalId r;
  r.kind = kExtGeneral;
  optind = 0;  // start a fresh scan over the command's own arguments
  int c;
  while ((c = getopt(argc, argv, "+k:a:P:s:t:")) != -1) {
    switch (c) {
      case 'k': r.kind = static_cast<int32_t>(std::strtol(optarg, nullptr, 10)); break;
      case 'a': r.name = optarg; break;
      case 'P': r.public_id = optarg; break;
      case 's': r.system_id = optarg; break;
      case 't': r.notation = optarg; break;
      default: return 2;
    }
  }
  if (r.public_id && sgml_settings().formal) {
    ExternalId parsed = r;
    if (parse_fpi(&parsed) == FPI_OK) {
      r = parsed;
    } else {
      r.form = -1;
    }
  } else if (r.public_id) {
    r.form = -1;
  }
  auto files = entity_file_generate(r);
  if (!files) return 1;
  for (const char* p = files->c_str(); *p != '\0'; p += std::char_traits<char>::length(p) + 1) {
    vqio_printf("%s\n", p);
  }
  return 0;
}

}  // namespace

SGML_DRIVER_COMMAND("lookup", run_lookup, "lookup [-k kind] [-a name] [-P public] [-s system] [-t notation]");
