// doc_read: the byte pump of the parser. One call fills one buffer with at
// most one record: an RS where a record starts, the record's characters
// (flagged ones replaced by the non-SGML marker), an RE where the LF stood,
// and the closing end-of-buffer character 28; 26 alone ends the text.
//
// Bytes of a plain file or standard input are taken through the stream's
// inline buffered path, those of a fragmented text or multi-file set
// through their buffered readers; the byte position is a running count, so
// that a pipe gets the same offsets as the file.
#include <cerrno>
#include <cstring>

#include "frgac/frgac.h"
#include "io/vqio.h"
#include "mfs/mfs.h"
#include "sgml/docin.h"
#include "sgml/docin_internal.h"
#include "sgml/modeopts.h"

namespace {

constexpr unsigned char kRS = 10;
constexpr unsigned char kRE = 13;
constexpr unsigned char kMarker = 1;
constexpr unsigned char kEE = 26;
constexpr unsigned char kEOB = 28;

// The next byte of the source, or -1 at its end (or a filter control byte).
inline int next_byte(DocHandle* h, bool filter) {
  int c;
  switch (h->source) {
    case kSourceStream:
      if (h->stream == nullptr) return -1;  // standard input already ended
      c = filter ? filter_getc(h->stream) : vqio_getc(h->stream);
      break;
    case kSourceFragmented:
      c = frgacgc(h->fragment);
      break;
    case kSourceMfs:
      c = h->empty ? -1 : mfs_file_getc(h->mfs);
      break;
    default:
      return -1;
  }
  if (c >= 0) {
    ++h->next_offset;
    if (c == kRE && front_carriage_return) c = ' ';
  }
  return c;
}

// Whether the n bytes at p all lie from 32 to 126 (one pass with no early
// exit, which the compiler can do many bytes at a time).
bool all_printable(const unsigned char* p, int32_t n) {
  unsigned char outside = 0;
  for (int32_t i = 0; i < n; ++i) outside |= static_cast<unsigned char>(p[i] - 32) > 94;
  return outside == 0;
}

// How many of the n bytes at p come before the first filter control byte
// (2, 3 or 4): n when there is none.
int32_t before_control(const unsigned char* p, int32_t n) {
  for (int32_t i = 0; i < n; ++i)
    if (static_cast<unsigned char>(p[i] - 2) <= 2) return i;
  return n;
}

// The bytes a plain file's stream (or standard input) already holds in its
// buffer, taken in one run up to the next LF, and in filter mode up to the
// next control byte (left for filter_getc): stored as the byte loop of
// doc_read stores them, at most room of them (so that the buffer is not
// full after them) and at most ahead (the bytes before the end limit or
// past the largest offset are left to the byte loop). Returns how many
// were taken.
int32_t plain_run(DocHandle* h, unsigned char* out, int64_t room, int64_t ahead, bool filter) {
  VqStream* s = h->stream;
  if (s->count <= 0 || (s->flags & (VQ_READ | VQ_WRITE)) != VQ_READ) return 0;
  int64_t k = s->count;
  if (room < k) k = room;
  if (ahead < k) k = ahead;
  if (k <= 0) return 0;
  const DocInputState& st = doc_input_state();
  const bool* map = st.input_map;
  const unsigned char* in = s->current;
  const void* lf = std::memchr(in, '\n', static_cast<size_t>(k));
  int32_t j = lf != nullptr ? static_cast<int32_t>(static_cast<const unsigned char*>(lf) - in)
                            : static_cast<int32_t>(k);
  // Control bytes lie below 32: a printable run holds none.
  bool printable = all_printable(in, j);
  if (filter && !printable) {
    j = before_control(in, j);
    printable = all_printable(in, j);
  }
  if (!st.printable_flagged && printable) {
    std::memcpy(out, in, static_cast<size_t>(j));  // nothing to replace
  } else if (front_carriage_return != 0) {
    for (int32_t i = 0; i < j; ++i) {
      const unsigned char b = in[i] == kRE ? ' ' : in[i];
      out[i] = map[b] ? kMarker : b;
    }
  } else {
    for (int32_t i = 0; i < j; ++i) out[i] = map[in[i]] ? kMarker : in[i];
  }
  s->current += j;
  s->count -= j;
  h->next_offset += j;
  return j;
}

bool stream_failed(const DocHandle* h) {
  return h->source == kSourceStream && h->stream != nullptr && vqio_ferror(h->stream);
}

// Moves the handle to the next name of its list: false when it cannot be
// opened.
bool next_file(DocHandle* h) {
  ++h->current;
  return doc_source_open(h, h->names[h->current], false);
}

}  // namespace

int doc_read(DocHandle* h, unsigned char* buffer, int* new_file) {
  *new_file = 0;
  if (h->end_of_buffer_pending) {
    h->end_of_buffer_pending = 0;
    buffer[0] = kEOB;
    return 1;
  }
  const bool filter = doc_filter_mode();
  const int32_t limit = h->dd ? doc_end_limit() : 0;
  int n = 0;
  int c;
  for (;;) {
    if (h->next_offset > kDocMaxOffset) {
      errno = EOVERFLOW;
      return -1;
    }
    h->byte_position = static_cast<int32_t>(h->next_offset);
    if (limit > 0 && h->byte_position > limit) {
      buffer[0] = kEE;
      return 1;
    }
    c = next_byte(h, filter);
    if (c >= 0) break;
    bool more = h->current + 1 < h->names.size();
    if (h->is_stdin) {
      if (filter) {
        buffer[0] = kEE;  // the filter reads the next document from the same input
        return 1;
      }
      if (h->stream == nullptr) {
        buffer[0] = kEE;  // read again after its end: still the end
        return 1;
      }
      if (vqio_ferror(h->stream)) return -1;
      // As for a file, so that piped text gets the file's offsets.
      doc_offsets.buffer_file = doc_offsets.current_char - 1;
      if (!more) {
        h->stream = nullptr;  // dropped, never closed
        buffer[0] = kEE;
        return 1;
      }
      // Names after "-" are read as well; standard input stays open.
    } else {
      doc_offsets.buffer_file = doc_offsets.current_char - 1;
      if (h->source != kSourceStream) {
        buffer[0] = kEE;
        return 1;
      }
      if (h->stream == nullptr) return -1;
      if (vqio_ferror(h->stream)) return -1;
      int closed = vqio_fclose(h->stream);
      h->stream = nullptr;
      if (closed != 0) return -1;
      if (!more) {
        buffer[0] = kEE;
        return 1;
      }
    }
    *new_file = 1;
    h->record_start = 1;
    if (!next_file(h)) return -1;
  }

  doc_offsets.current_char = doc_offsets.buffer_file = h->byte_position;
  if (h->record_start) {
    h->record_start = 0;
    buffer[n++] = kRS;
    h->record_start_given = 1;
  } else {
    h->record_start_given = 0;
  }
  const bool* map = doc_input_state().input_map;
  const int last = doc_input_state().buffer_size - 1;
  for (int64_t offset = h->byte_position;; ++offset) {
    if (limit > 0 && offset >= limit) {
      buffer[n++] = kEE;
      buffer[n++] = kEOB;
      return n;
    }
    if (c == '\n') {
      h->record_start = 1;
      buffer[n++] = limit > 0 && offset + 1 >= limit ? kEE : kRE;
      buffer[n++] = kEOB;
      return n;
    }
    buffer[n++] = map[c] ? kMarker : static_cast<unsigned char>(c);
    if (n >= last) {
      buffer[n++] = kEOB;
      return n;
    }
    if (h->source == kSourceStream && h->stream != nullptr) {
      int64_t ahead = kDocMaxOffset - offset;
      if (limit > 0 && limit - 1 - offset < ahead) ahead = limit - 1 - offset;
      const int32_t k = plain_run(h, buffer + n, last - n - 1, ahead, filter);
      n += k;
      offset += k;
    }
    c = next_byte(h, filter);
    if (c < 0) {
      if (stream_failed(h)) return -1;
      break;
    }
    if (offset + 1 > kDocMaxOffset) {
      errno = EOVERFLOW;
      return -1;
    }
  }
  if (filter || doc_meta_processing()) buffer[n++] = kEE;
  buffer[n++] = kEOB;
  return n;
}
