// Meta processing: the document entity moves on to the next document of
// its multi-file text. The reader is positioned at the document's first
// byte and the entity's buffer dropped and refilled from there as a new
// record, so that the document's offsets are those of the set.
#include "mfs/mfs.h"
#include "sgml/input/docin.h"
#include "sgml/input/docin_internal.h"
#include "sgml/entities/entity.h"
#include "sgml/parser_state.h"
#include "sgml/sgml.h"

namespace {

// Positions a multi-file text at position: false when the handle reads
// none or the position lies outside the set.
bool doc_seek(DocHandle* h, int32_t position) {
  if (h == nullptr || h->source != kSourceMfs || position < 0) return false;
  if (mfs_file_seek(h->mfs, position) < 0) return false;
  h->empty = false;
  h->next_offset = position;
  h->record_start = 1;
  h->end_of_buffer_pending = 0;
  return true;
}

}  // namespace

int document_seek(int32_t position) {
  if (entity_stack.level != 0 || entity_top == nullptr) return -1;
  EntityEntry* e = entity_top;
  if (!doc_seek(e->doc, position)) return -1;
  // The buffer counts as used up: the entity manager refills it.
  if (document_buffer_refill() != 0) return -1;
  // A new record, its columns counted from the new buffer.
  e->line += 1;
  e->column_base = 0;
  return 0;
}
