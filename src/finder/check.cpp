// Check mode: the document parsed to its end for the parser's messages;
// with -v the size read and the time taken.
#include <ctime>

#include "finder/finder.h"
#include "sgml/input/docin.h"
#include "sgml/parser_state.h"
#include "sgml/sgml.h"

void check_mode() {
  time_t start = time(nullptr);
  EventDataRecord data;
  EventTagRecord tag;
  while (sgml_next_event(&data, &tag) != PARSE_END) {
  }
  if (front_verbose) {
    vq_report(1, GetMsgNumText(220002), static_cast<double>(doc_offsets.buffer_file) / 1024.0,
              static_cast<int>(time(nullptr) - start));
  }
}
