// Filter mode: serves a co-process that sends documents on standard input,
// after one prolog, each document ended by a control byte (the document
// input's filter bytes): 2 announces the root element of the next document
// (its name line is read by the input), 3 ends a record and is echoed on
// standard output after the document's normalized text, 4 ends the mode.
// Each document is written through the normalize writer without added line
// breaks and ended by a newline.
#include "finder/finder.h"
#include "sgml/docin.h"
#include "sgml/sgml.h"

namespace {

// One document: its events up to the close of the outermost element and
// any end tags still to generate; then a newline.
void filter_document() {
  EventDataRecord data;
  EventTagRecord tag;
  int code;
  do {
    code = sgml_next_event_ext(&data, &tag);
    if (code == PARSE_END) break;
    normalize_event(code, tag, data);
  } while (open_element_level() != 0);
  while (code != PARSE_END && open_elements_to_close() >= 1) {
    code = sgml_next_event_ext(&data, &tag);
    if (code == PARSE_END) break;
    normalize_event(code, tag, data);
  }
  vqio_putc('\n', vqio_stdout);
  open_element_level_clear();
}

}  // namespace

void filter_mode() {
  ModeOptions& o = *mode_options;
  for (;;) {
    reset_doc_state();
    filter_document();
    if (o.filter_stop) {
      if (o.filter_last_control == 4) break;
      o.filter_stop = 0;
      if (o.filter_last_control != 2) {
        vqio_putc(o.filter_last_control, vqio_stdout);
        vqio_fflush(vqio_stdout);
      }
    }
    // Control bytes between documents; the end of the input ends the mode
    // as 4 does.
    int c;
    while ((c = filter_getc(vqio_stdin)) < 0) {
      if (!o.filter_stop) return;
      o.filter_stop = 0;
      if (o.filter_last_control == 4) return;
    }
    vqio_ungetc(c, vqio_stdin);
    if (document_buffer_refill() < 0) break;
  }
  vqio_fflush(vqio_stdout);
}
