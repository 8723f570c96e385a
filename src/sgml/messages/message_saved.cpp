// Deferred messages: a message formatted now into one temporary stream and
// copied to the standard-error stream later, exactly as it would have been
// printed at once.
#include <cstdio>

#include "io/vqio.h"
#include "sgml/messages/message_tables.h"
#include "sgml/parser_state.h"

namespace {

constexpr VqStream*& saved_stream = sgml_parser.saved_stream;

}  // namespace

SavedMessage sgml_error_save(int n, int state, const char* p1, const char* p2) {
  if (saved_stream == nullptr) {
    saved_stream = vqio_tmpfile();
    if (saved_stream == nullptr) sgml_fatal(P160_CANNOT_CREATE_TEMPORARY_FILE, kStateCurrent);
  }
  MessageRecord record;
  record.kind = kMsgError;
  record.number = n;
  record.state = state == kStateCurrent ? message_state_current() : state;
  record.p1 = p1;
  record.p2 = p2;
  SavedMessage saved;
  // A print may have left the position anywhere: add at the end.
  vqio_fseek(saved_stream, 0, SEEK_END);
  saved.start = vqio_ftell(saved_stream);
  message_format(record, saved_stream);
  vqio_fflush(saved_stream);
  saved.end = vqio_ftell(saved_stream);
  saved.counted = message_counts(message_class(n));
  return saved;
}

void saved_message_print(const SavedMessage* saved) {
  if (saved == nullptr || saved_stream == nullptr) message_internal_error(__LINE__);
  vqio_fseek(saved_stream, saved->start, SEEK_SET);
  for (long i = saved->start; i < saved->end; ++i) {
    int c = vqio_getc(saved_stream);
    if (c == EOF) break;
    vqio_putc(c, vqio_stderr);
  }
  if (saved->counted) error_count_add();
  vqio_fflush(vqio_stderr);
  if (saved->fatal) vqio_exit(1);
}
