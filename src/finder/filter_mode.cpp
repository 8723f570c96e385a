// Filter mode: serves a co-process that sends documents on standard input,
// after one prolog, each document ended by a control byte (the document
// input's filter bytes): 2 announces the root element of the next document
// (its name line is read by the input), 3 ends a record and is echoed on
// standard output after the document's normalized text, 4 ends the mode.
// Each document is written through the normalize writer without added line
// breaks and ended by a newline.
#include "finder/finder.h"
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

// The control byte that ends a document: 4 ends the mode (true), 3 is
// echoed, 2 is not.
bool document_ended(int control) {
  if (control == 4) return true;
  if (control != 2) {
    vqio_putc(control, vqio_stdout);
    vqio_fflush(vqio_stdout);
  }
  return false;
}

}  // namespace

void filter_mode() {
  writing_output_buffer();
  ParserOptions& o = sgml_options();
  for (;;) {
    reset_doc_state();
    filter_document();
    // A document whose text ended with a line end was closed before its
    // control byte was read: the first control byte read next ends it.
    bool ended = o.filter_stop != 0;
    if (ended) {
      o.filter_stop = 0;
      if (document_ended(o.filter_last_control)) break;
    }
    // Further control bytes between documents are not echoed; 4 ends the
    // mode, and so does the end of the input.
    int c;
    while ((c = filter_getc(vqio_stdin)) < 0) {
      if (!o.filter_stop) return;
      o.filter_stop = 0;
      if (!ended) {
        ended = true;
        if (document_ended(o.filter_last_control)) return;
      } else if (o.filter_last_control == 4) {
        return;
      }
    }
    vqio_ungetc(c, vqio_stdin);
    if (document_buffer_refill() < 0) break;
  }
  vqio_fflush(vqio_stdout);
}
