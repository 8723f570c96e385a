// Suspending an external entity while a nested one is read, and resuming it
// at the same character: a plain file is closed in between and reopened,
// repositioned at the start of the buffer and read on past the characters
// already consumed.
#include "frgac/frgac.h"
#include "io/vqio.h"
#include "mfs/mfs.h"
#include "sgml/input/docin.h"
#include "sgml/input/docin_internal.h"
#include "sgml/parser_state.h"

void doc_suspend(DocHandle* h, int32_t consumed) {
  if (h->is_stdin) return;
  h->record_start = 0;
  // An RS put first in the buffer is no character of the file.
  if (h->record_start_given) {
    if (consumed > 0) {
      --consumed;
    } else {
      h->record_start = 1;  // the RS is given anew
    }
  }
  h->skip_count = consumed;
  if (h->source == kSourceStream && h->stream != nullptr) {
    vqio_fclose(h->stream);
    h->stream = nullptr;
  }
}

int doc_resume(DocHandle* h) {
  if (h->is_stdin) return 0;
  switch (h->source) {
    case kSourceStream:
      h->stream = vqio_fopen(h->name.c_str(), "r");
      if (h->stream == nullptr) return -1;
      vqio_setvbuf(h->stream, nullptr, VQ_IOFBF, kDocPlainBuffer);
      if (vqio_fseek(h->stream, h->byte_position, SEEK_SET) != 0) return -1;
      break;
    case kSourceFragmented: {
      long address = frgacsk(h->fragment, static_cast<long>(h->byte_position) + 1);
      h->byte_position = static_cast<int32_t>(address - 1);
      break;
    }
    case kSourceMfs:
      if (!h->empty && mfs_file_seek(h->mfs, h->byte_position) < 0) return -1;
      break;
    default:
      return -1;
  }
  h->next_offset = h->byte_position;
  doc_offsets.buffer_file = h->byte_position;
  // Drop the consumed characters; a dropped LF leaves the next one at the
  // start of a record.
  int c = -1;
  for (int32_t i = 0; i < h->skip_count; ++i) {
    switch (h->source) {
      case kSourceStream: c = vqio_getc(h->stream); break;
      case kSourceFragmented: c = frgacgc(h->fragment); break;
      default: c = h->empty ? -1 : mfs_file_getc(h->mfs); break;
    }
    if (c < 0) break;
    ++h->next_offset;
  }
  if (h->skip_count > 0 && c == '\n') h->record_start = 1;
  if (h->source == kSourceStream && vqio_ferror(h->stream)) return -1;
  return 0;
}
