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
#include "sgml/input/docin.h"
#include "sgml/input/docin_internal.h"
#include "sgml/options.h"
#include "sgml/parser_state.h"

namespace {

constexpr unsigned char kRS = 10;
constexpr unsigned char kRE = 13;
constexpr unsigned char kMarker = 1;

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
    if (c == kRE && sgml_options().carriage_return_blank) c = ' ';
  }
  return c;
}

// Marks the high bit of each byte of w outside 32..126 (a byte below 32
// or above 126): the lowest marked byte is exact, marks above it may be
// false (borrows and carries go upward only).
inline uint64_t outside_printable(uint64_t w) {
  constexpr uint64_t kOnes = 0x0101010101010101ULL;
  constexpr uint64_t kHigh = 0x8080808080808080ULL;
  return (((w - 32 * kOnes) & ~w) | (w + kOnes) | w) & kHigh;
}

// Copies the bytes at in to out up to the first one outside 32..126, at
// most k of them, eight at a time where k allows (out takes whole words:
// up to seven bytes past the returned count may be written, never past k).
// Returns how many were copied.
int32_t copy_printable(const unsigned char* in, unsigned char* out, int32_t k) {
  int32_t i = 0;
  for (; i + 8 <= k; i += 8) {
    uint64_t w;
    std::memcpy(&w, in + i, 8);
    std::memcpy(out + i, &w, 8);
    const uint64_t m = outside_printable(w);
    if (m != 0) return i + (__builtin_ctzll(m) >> 3);
  }
  for (; i < k; ++i) {
    const unsigned char b = in[i];
    if (static_cast<unsigned char>(b - 32) > 94) return i;
    out[i] = b;
  }
  return k;
}

// The bytes a plain file's stream (or standard input) already holds in its
// buffer, taken in one run up to the next LF, and in filter mode up to the
// next control byte (left for filter_getc): stored as the byte loop of
// doc_read stores them, at most room of them (so that the buffer is not
// full after them) and at most ahead (the bytes before the end limit or
// past the largest offset are left to the byte loop). Returns how many
// were taken.
int32_t plain_run(DocHandle* h, const DocInputState& st, unsigned char* out, int64_t room,
                  int64_t ahead, bool filter) {
  VqStream* s = h->stream;
  if (s->count <= 0 || (s->flags & (VQ_READ | VQ_WRITE)) != VQ_READ) return 0;
  int64_t limit = s->count;
  if (room < limit) limit = room;
  if (ahead < limit) limit = ahead;
  if (limit <= 0) return 0;
  const int32_t k = static_cast<int32_t>(limit);
  const bool* map = st.input_map;
  const unsigned char* in = s->current;
  int32_t j = 0;
  for (;;) {
    // Printable bytes are stored as they are, unless some of them are read
    // as the marker; each other byte is looked at on its own.
    if (!st.printable_flagged) j += copy_printable(in + j, out + j, k - j);
    if (j >= k) break;
    unsigned char b = in[j];
    if (b == '\n' || (filter && static_cast<unsigned char>(b - 2) <= 2)) break;
    if (b == kRE && sgml_options().carriage_return_blank) b = ' ';
    out[j++] = map[b] ? kMarker : b;
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
    buffer[0] = kBufferEndChar;
    return 1;
  }
  const bool filter = sgml_options().filter_input;
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
      buffer[0] = kEntityEndChar;
      return 1;
    }
    c = next_byte(h, filter);
    if (c >= 0) break;
    bool more = h->current + 1 < h->names.size();
    if (h->is_stdin) {
      if (filter) {
        buffer[0] = kEntityEndChar;  // the filter reads the next document from the same input
        return 1;
      }
      if (h->stream == nullptr) {
        buffer[0] = kEntityEndChar;  // read again after its end: still the end
        return 1;
      }
      if (vqio_ferror(h->stream)) return -1;
      // As for a file, so that piped text gets the file's offsets.
      doc_offsets.buffer_file = doc_offsets.current_char - 1;
      if (!more) {
        h->stream = nullptr;  // dropped, never closed
        buffer[0] = kEntityEndChar;
        return 1;
      }
      // Names after "-" are read as well; standard input stays open.
    } else {
      doc_offsets.buffer_file = doc_offsets.current_char - 1;
      if (h->source != kSourceStream) {
        buffer[0] = kEntityEndChar;
        return 1;
      }
      if (h->stream == nullptr) return -1;
      if (vqio_ferror(h->stream)) return -1;
      int closed = vqio_fclose(h->stream);
      h->stream = nullptr;
      if (closed != 0) return -1;
      if (!more) {
        buffer[0] = kEntityEndChar;
        return 1;
      }
    }
    *new_file = 1;
    h->record_start = 1;
    if (!next_file(h)) return -1;
  }

  // Only the document entity's characters move the current offset.
  if (h->document) doc_offsets.current_char = h->byte_position;
  doc_offsets.buffer_file = h->byte_position;
  if (h->record_start) {
    h->record_start = 0;
    buffer[n++] = kRS;
    h->record_start_given = 1;
  } else {
    h->record_start_given = 0;
  }
  const DocInputState& st = doc_input_state();
  const bool* map = st.input_map;
  const int last = st.buffer_size - 1;
  for (int64_t offset = h->byte_position;; ++offset) {
    if (limit > 0 && offset >= limit) {
      buffer[n++] = kEntityEndChar;
      buffer[n++] = kBufferEndChar;
      return n;
    }
    if (c == '\n') {
      h->record_start = 1;
      buffer[n++] = limit > 0 && offset + 1 >= limit ? kEntityEndChar : kRE;
      buffer[n++] = kBufferEndChar;
      return n;
    }
    buffer[n++] = map[c] ? kMarker : static_cast<unsigned char>(c);
    if (n >= last) {
      buffer[n++] = kBufferEndChar;
      return n;
    }
    if (h->source == kSourceStream && h->stream != nullptr) {
      int64_t ahead = kDocMaxOffset - offset;
      if (limit > 0 && limit - 1 - offset < ahead) ahead = limit - 1 - offset;
      const int32_t k = plain_run(h, st, buffer + n, last - n - 1, ahead, filter);
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
  if (sgml_options().documents_in_sequence) buffer[n++] = kEntityEndChar;
  buffer[n++] = kBufferEndChar;
  return n;
}
