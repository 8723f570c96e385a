// Filter-mode input: documents arrive one after the other on one input,
// each ended by a control byte. 2 announces the root element whose name
// follows (read with "%s\n": white space, the name, white space), 3 ends a
// record, 4 the input; each stops the current document's text.
#include <cctype>

#include "io/vqio.h"
#include "msg/msg.h"
#include "sgml/input/docin.h"
#include "sgml/options.h"

namespace {

bool is_space(int c) { return c >= 0 && std::isspace(static_cast<unsigned char>(c)); }

// The root element name: a run of non-white characters of any length,
// after and before white space.
std::string read_root_name(VqStream* s) {
  int c;
  do {
    c = vqio_getc(s);
  } while (is_space(c));
  std::string name;
  while (c >= 0 && !is_space(c)) {
    name.push_back(static_cast<char>(c));
    c = vqio_getc(s);
  }
  while (is_space(c)) c = vqio_getc(s);
  if (c >= 0) vqio_ungetc(c, s);
  return name;
}

}  // namespace

int filter_getc(VqStream* s) {
  int c = vqio_getc(s);
  if (c != 2 && c != 3 && c != 4) return c;
  ParserOptions& o = sgml_options();
  o.filter_stop = 1;
  o.filter_last_control = c;
  if (c == 2) {
    o.document_name = read_root_name(s);
    if (o.verbose) vq_report(1, GetMsgNumText(220009), "filter", o.document_name.c_str());
  } else if (o.verbose) {
    vq_report(1, GetMsgNumText(c == 3 ? 220008 : 220007), "filter");
  }
  return -1;
}
