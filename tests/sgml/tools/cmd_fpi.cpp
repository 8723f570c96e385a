// fpi: splits public identifiers as formal public identifiers.
//
//   sgml_driver [options] fpi [-n] ID...
//
// -n takes the identifiers as those of a notation. One line per
// identifier, on standard output:
//   RESULT owner=TYPE:TEXT class=N avail=C desc=TEXT lang=TEXT version=TEXT form=N
// with the result of parse_fpi and the fields as far as they were filled
// (TYPE and C are "0" while unset).
#include <string>

#include "io/vqio.h"
#include "sgml/input/extid.h"
#include "tools/driver.h"

namespace {

std::string part(const ExternalId& r, TextSpan s) { return r.public_id->substr(s.offset, s.length); }

int run_fpi(int argc, char** argv) {
  int first = 1;
  bool notation = argc > 1 && std::string(argv[1]) == "-n";
  if (notation) ++first;
  for (int i = first; i < argc; ++i) {
    ExternalId r;
    r.kind = notation ? kExtNotation : kExtGeneral;
    r.public_id = argv[i];
    int result = parse_fpi(&r);
    vqio_printf("%d owner=%c:%s class=%d avail=%c desc=%s lang=%s version=%s form=%d\n", result,
                r.owner_type != 0 ? r.owner_type : '0', part(r, r.owner).c_str(), r.text_class,
                r.availability != 0 ? r.availability : '0', part(r, r.description).c_str(),
                part(r, r.language).c_str(), part(r, r.version).c_str(), r.form);
  }
  return 0;
}

}  // namespace

SGML_DRIVER_COMMAND("fpi", run_fpi, "fpi [-n] ID...");
