// The "meta" stream format: a member's data in a tagged envelope that
// carries its metadata from the file map.
//
//   <VQDoc><VQMeta><VQFile>path</VQFile><VQDate>YYYYMMDD</VQDate>
//   <VQTime>HH:MM:SS</VQTime><VQDisplayFmt>fmt</VQDisplayFmt>
//   <VQFieldsSize>n</VQFieldsSize><VQFields>fields</VQFields></VQMeta><VQData>
//   ...the data of the parent (or of the member file)...
//   </VQData></VQDoc>\n
// (all of the header on one line; the date and time are the member file's
// modification time as a local time).
//
// The stream is read in phases: 0 header, 1 rewind the parent, 2 data,
// 3 trailer, 4 finished. Its position record is {position in the buffer,
// offset within the phase of the buffer's first byte, phase of the buffer}
// followed by the parent's record.
//
// The map entry handed over with set-option 1 is copied; each open takes the
// copy given last, so the header always describes the member this stream
// was opened for, even when other entries are loaded while it is read.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <vector>

#include "io/vqio.h"
#include "mfs/formats.h"
#include "mfs/setstate.h"

namespace {

constexpr char kTrailer[] = "</VQData></VQDoc>\n";
constexpr int32_t kTrailerLength = sizeof kTrailer - 1;  // 18
enum { PHASE_HEADER = 0, PHASE_REWIND = 1, PHASE_DATA = 2, PHASE_TRAILER = 3, PHASE_DONE = 4 };
enum { META_WORDS = 3 };

// The "mfsio" state (descriptor, lazy open, saved parent record, file name)
// and the phases. The stream's state pointer is the "mfsio" part, so the
// "mfsio" helpers for opening, seeking and reading the source apply.
struct MetaState : MfsioState {
  int32_t buffer_offset = 0;   // offset within its phase of buffer[0]
  int32_t buffer_phase = 0;    // phase of buffer[0]
  int32_t phase_offset = 0;    // bytes of the current phase produced so far
  int32_t phase = PHASE_HEADER;
  MfsMapEntry entry;           // the member this stream is open for
  std::string header;
  off_t data_length = -1;      // bytes of the data phase, -1 until known
};

MetaState* state(MfsStream* s) { return static_cast<MetaState*>(mfsio_state(s)); }

std::string build_header(const MfsMapEntry& e) {
  const time_t when = static_cast<time_t>(e.date);
  struct tm local;
  char date[100] = "", clock[100] = "";
  if (localtime_r(&when, &local)) {
    std::strftime(date, sizeof date, "%Y%m%d", &local);
    std::strftime(clock, sizeof clock, "%H:%M:%S", &local);
  }
  std::string h = "<VQDoc><VQMeta><VQFile>" + e.file + "</VQFile><VQDate>" + date +
                  "</VQDate><VQTime>" + clock + "</VQTime><VQDisplayFmt>" + e.display_fmt +
                  "</VQDisplayFmt>";
  if (!e.has_fields) {
    h += "<VQFieldsSize>0</VQFieldsSize><VQFields></VQFields>";
  } else {
    h += "<VQFieldsSize>" + std::to_string(e.fields.size()) + "</VQFieldsSize><VQFields>" +
         e.fields + "</VQFields>";
  }
  h += "</VQMeta><VQData>";
  return h;
}

// Copies text into the buffer, enlarging it when the text does not fit.
bool put_in_buffer(MfsStream* s, const std::string& text) {
  if (text.size() > static_cast<size_t>(s->buffer_size)) {
    const size_t size = text.size() + 100;
    if (size > INT32_MAX) return false;
    auto* bigger = static_cast<unsigned char*>(std::realloc(s->buffer, size));
    if (!bigger) return false;
    s->buffer = bigger;
    s->buffer_size = static_cast<int32_t>(size);
  }
  std::memcpy(s->buffer, text.data(), text.size());
  s->count = static_cast<int32_t>(text.size());
  return true;
}

// Reads data into the buffer: from the parent until the buffer is full or
// it ends, or one read of the file; the buffer's start is saved first.
long read_data(MfsStream* s) {
  MetaState* st = state(s);
  if (mfsio_lazy_open(s) == -1 || mfsio_save_position(s) == -1) return 0;
  if (!s->parent) st->phase_offset = mfs_get_word(st->saved.data());
  return mfsio_read_source(s, s->buffer, s->buffer_size, s->parent != nullptr);
}

int meta_fill(MfsStream* s, int advance) {
  MetaState* st = state(s);
  s->count = 0;
  s->position = 0;
  while (s->count == 0) {
    st->buffer_offset = st->phase_offset;
    st->buffer_phase = st->phase;
    if (st->phase == PHASE_HEADER) {
      if (!put_in_buffer(s, st->header)) {
        s->status = MFS_STATUS_FAILED;
        return -1;
      }
      st->phase = PHASE_REWIND;
      st->phase_offset = 0;
      break;
    } else if (st->phase == PHASE_REWIND) {
      if (mfsio_lazy_open(s) == -1 || mfsio_seek_source(s, 0) == -1) return -1;
      st->phase = PHASE_DATA;
      st->phase_offset = 0;
    } else if (st->phase == PHASE_DATA) {
      const long n = read_data(s);
      if (s->status != MFS_STATUS_OK) return -1;
      s->count = static_cast<int32_t>(n);
      if (n < s->buffer_size) st->phase = PHASE_TRAILER;
      if (!s->parent) st->buffer_offset = st->phase_offset;
      if (n == 0) st->phase_offset = 0;
    } else if (st->phase == PHASE_TRAILER) {
      std::memcpy(s->buffer, kTrailer, kTrailerLength);
      s->count = kTrailerLength;
      st->phase = PHASE_DONE;
      st->phase_offset = 0;
    } else {
      st->phase_offset = 0;
      break;
    }
  }
  if (s->count == 0) return -1;
  st->phase_offset += s->count;
  return mfs_stream_first(s, advance);
}

long meta_read(MfsStream* s, void* buffer, long n) {
  s->status = MFS_STATUS_OK;
  if (n <= 0) return 0;
  if (s->position >= s->count && s->fill(s, 0) == -1) return 0;
  if (state(s)->phase != PHASE_REWIND) return mfs_stream_read(s, buffer, n);
  // The buffer holds (the rest of) the header: it is delivered by a read of
  // its own.
  const long take = std::min<long>(n, s->count - s->position);
  std::memcpy(buffer, s->buffer + s->position, static_cast<size_t>(take));
  s->position += static_cast<int32_t>(take);
  return take;
}

// True when the parent (or the file) has a byte at offset.
bool source_has_byte(MfsStream* s, off_t offset) {
  unsigned char c;
  return mfsio_seek_source(s, offset) == 0 && mfsio_read_source(s, &c, 1, true) == 1;
}

// The number of bytes of the data phase, or -1 when the source fails. The
// entry's length gives it when meta's output is the member's logical text;
// when it is not ("meta" under "double", or in a view whose chain differs
// from the search view's), the source disagrees and its bytes are counted
// (once per open: only a seek into the trailer asks).
off_t data_length(MfsStream* s) {
  MetaState* st = state(s);
  if (st->data_length >= 0) return st->data_length;
  const off_t guess = static_cast<off_t>(st->entry.end) - st->entry.start + 1 -
                      static_cast<off_t>(st->header.size()) - kTrailerLength;
  off_t n = guess;
  if (guess < 0 || (guess > 0 && !source_has_byte(s, guess - 1)) || source_has_byte(s, guess)) {
    if (mfsio_seek_source(s, 0) == -1) return -1;
    std::vector<unsigned char> piece(MFS_BUFFER_SIZE);
    n = 0;
    long k;
    while ((k = mfsio_read_source(s, piece.data(), MFS_BUFFER_SIZE, true)) > 0) n += k;
  }
  if (s->get_status(s) != MFS_STATUS_OK) return -1;
  st->data_length = n;
  return n;
}

int meta_seek(MfsStream* s, off_t offset) {
  MetaState* st = state(s);
  s->status = MFS_STATUS_OK;
  if (offset < 0) return -1;
  const off_t h = static_cast<off_t>(st->header.size());
  if (offset < h) {
    st->phase = PHASE_HEADER;
    st->phase_offset = 0;
    if (s->fill(s, 0) == -1) return -1;
    s->position = static_cast<int32_t>(offset);
    return 0;
  }
  // The data first: when the source has a byte there, the offset is in the
  // data, whatever length the entry gives.
  const off_t d = offset - h;
  st->phase = PHASE_DATA;
  st->phase_offset = static_cast<int32_t>(d);
  if (mfsio_seek_source(s, d) == -1) return -1;
  if (s->fill(s, 0) != -1 && st->buffer_phase == PHASE_DATA) return 0;
  if (s->get_status(s) != MFS_STATUS_OK) return -1;
  // Beyond the data: a place in the trailer.
  const off_t data = data_length(s);
  if (data < 0) return -1;
  st->phase = PHASE_TRAILER;
  st->phase_offset = 0;
  if (s->fill(s, 0) == -1) return -1;
  s->position = static_cast<int32_t>(d - data);
  return 0;
}

off_t meta_span(MfsStream* s, off_t offset, off_t count, off_t total) {
  MetaState* st = state(s);
  s->status = MFS_STATUS_OK;
  const off_t h = static_cast<off_t>(st->header.size());
  const off_t t = kTrailerLength;
  off_t r = 0;
  const off_t e = offset + count;
  if (offset < h) r = e >= h ? h - offset : count;
  if (e > total - t) r += e - (total - t);
  if (e >= h) {
    if (s->parent) {
      const off_t p = s->parent->span(s->parent, offset > h ? offset - h : 0, count - r,
                                      total - h - t);
      if (p == -1) return -1;
      r += p;
    } else {
      if (mfsio_lazy_open(s) == -1) return -1;
      if (e >= total - t) {
        const off_t size = mfs_descriptor_size(st->fd);
        if (size < 0) return -1;
        r += size;
      } else {
        r = count;
      }
    }
  }
  return r;
}

int meta_getpos(MfsStream* s, unsigned char* record) {
  MetaState* st = state(s);
  s->status = MFS_STATUS_OK;
  mfs_put_word(record, s->position);
  mfs_put_word(record + 4, st->buffer_offset);
  mfs_put_word(record + 8, st->buffer_phase);
  // Without a parent the record is the three words: the phase offset is the
  // file offset.
  if (s->parent && !st->saved.empty())
    std::memcpy(record + 12, st->saved.data(), st->saved.size());
  return 0;
}

int meta_setpos(MfsStream* s, const unsigned char* record) {
  MetaState* st = state(s);
  s->status = MFS_STATUS_OK;
  st->phase_offset = mfs_get_word(record + 4);
  st->phase = mfs_get_word(record + 8);
  if (st->phase == PHASE_REWIND || st->phase == PHASE_DATA) {
    if (s->parent) {
      if (s->parent->setpos(s->parent, record + 12) == -1) return -1;
    } else if (mfsio_seek_source(s, st->phase_offset) == -1) {
      return -1;
    }
  }
  s->fill(s, 0);
  s->position = mfs_get_word(record);
  return 0;
}

int meta_ctl(MfsStream* s, int command, void* argument) {
  return mfs_stream_ctl(s, command, argument, 0, 4 * META_WORDS, state(s)->file);
}

int meta_setopt(MfsStream* s, int option, void* value) {
  s->status = MFS_STATUS_OK;
  if (option == MFS_OPT_ENTRY) {
    MfsState& g = mfs_state();
    g.has_meta_entry = value != nullptr;
    g.meta_entry = value ? *static_cast<const MfsMapEntry*>(value) : MfsMapEntry{};
  }
  return 1;
}

int meta_open(MfsStream* s, const char* file) {
  MetaState* st = state(s);
  s->status = MFS_STATUS_OK;
  if (!s->parent && st->fd >= 0) vqio_close(st->fd);
  st->fd = -1;
  st->buffer_offset = st->buffer_phase = st->phase_offset = 0;
  st->phase = PHASE_HEADER;
  st->opened = st->pending = 0;
  st->file.clear();
  s->count = s->position = 0;
  const MfsState& g = mfs_state();
  st->entry = g.has_meta_entry ? g.meta_entry : MfsMapEntry{};
  st->header = build_header(st->entry);
  st->data_length = -1;
  st->record_size = mfs_parent_record_size(s, 0);
  st->saved.assign(static_cast<size_t>(st->record_size), 0);
  if (s->parent) {
    if (st->record_size > 0) s->parent->getpos(s->parent, st->saved.data());
    st->opened = 1;
  } else {
    st->file = file ? file : "";
    st->pending = 1;
  }
  return 0;
}

int meta_close(MfsStream* s) {
  MetaState* st = state(s);
  s->status = MFS_STATUS_OK;
  st->pending = 0;
  st->saved.clear();
  s->count = s->position = 0;
  if (s->parent) return 1;
  int result = 0;
  if (st->fd >= 0 && vqio_close(st->fd) == -1) result = -1;
  st->fd = -1;
  return result;
}

int meta_destroy(MfsStream* s) {
  s->status = MFS_STATUS_OK;
  MetaState* st = state(s);
  if (st && !s->parent && st->fd >= 0) vqio_close(st->fd);
  delete st;
  mfs_stream_free(s);
  return 1;
}

}  // namespace

MfsStream* mfsio_meta_new(MfsStream* parent) {
  static const MfsFormatOps ops = {meta_open, meta_close,  meta_fill,   meta_span,   meta_seek,
                                   meta_setpos, meta_getpos, meta_ctl, meta_destroy};
  auto* st = new (std::nothrow) MetaState;
  if (!st) return nullptr;
  MfsStream* s = mfs_stream_alloc("meta", parent, MFS_BUFFER_SIZE, static_cast<MfsioState*>(st), ops);
  if (!s) {
    delete st;
    return nullptr;
  }
  s->read = meta_read;
  s->setopt = meta_setopt;
  return s;
}
