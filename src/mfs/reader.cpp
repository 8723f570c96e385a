// The logical-text reader: a multi-file set read as one byte sequence
// through a 1024-byte buffer, refilled from the member chains.
//
// The reader's address is always base + index. A seek that fails leaves the
// reader as it was, and the next refill continues at base + fill; a
// positioned read (mfs_file_read_at) leaves the reader after the bytes it
// read. Positions are forgotten when a reader is opened or closed, so a new
// reader never takes an old one's position for its own.
#include <cstring>
#include <new>

#include "mfs/setstate.h"
#include "msg/msg.h"

void mfs_reset_positions() {
  MfsState& st = mfs_state();
  mfs_close_open_member();
  st.continue_address = -1;
  st.view_start_armed = 0;
  st.positioned = false;
}

int32_t mfs_current_address() {
  const MfsState& st = mfs_state();
  if (!st.reader || !st.positioned) return -1;
  return st.reader->base + st.reader->index;
}

MfsReader* mfs_file_open(const char* dir, const char* base, int) {
  MfsState& st = mfs_state();
  mfs_reset_positions();
  auto* reader = new (std::nothrow) MfsReader;
  if (!reader) {
    vq_alloc_failed(static_cast<long>(sizeof(MfsReader)), 1, static_cast<long>(sizeof(MfsReader)),
                    __LINE__, "mfsfile");
  }
  reader->handle = mfs_open(dir, base);
  if (!reader->handle) {
    delete reader;
    return nullptr;
  }
  reader->base = reader->index = reader->fill = 0;
  mfs_register_formats(reader->handle);
  st.reader = reader;
  return reader;
}

int mfs_file_close(MfsReader* reader) {
  if (!reader) return 1;
  MfsState& st = mfs_state();
  mfs_reset_positions();
  mfs_close(reader->handle);
  if (st.reader == reader) st.reader = nullptr;
  delete reader;
  return 1;
}

int32_t mfs_file_seek(MfsReader* reader, int32_t address) {
  MfsState& st = mfs_state();
  st.reader = reader;
  if (st.positioned && address == reader->base + reader->index) return 0;
  MfsHandle* h = reader->handle;
  unsigned char piece[MFS_READER_BUFFER];
  const long n = h->view == MFS_VIEW_SEARCH ? mfs_read_span(h, address, piece, sizeof piece)
                                            : mfs_read_entry_part(h, address, piece, sizeof piece);
  if (n < 1) {
    // The reader stays where it was: its next refill starts at base + fill.
    if (st.positioned && h->view == MFS_VIEW_SEARCH)
      st.continue_address = reader->base + reader->fill;
    return -1;
  }
  std::memcpy(reader->buffer, piece, static_cast<size_t>(n));
  reader->base = address;
  reader->index = 0;
  reader->fill = static_cast<int32_t>(n);
  st.positioned = true;
  return address;
}

int mfs_file_refill(MfsReader* reader, int advance) {
  if (reader->index < reader->fill)
    return advance ? reader->buffer[reader->index++] : reader->buffer[reader->index];
  MfsHandle* h = reader->handle;
  const long n = h->view == MFS_VIEW_SEARCH
                     ? mfs_read_continue(h, reader->buffer, MFS_READER_BUFFER)
                     : mfs_read_view_continue(h, reader->buffer, MFS_READER_BUFFER);
  if (n < 1) return -1;
  reader->base += reader->fill;
  reader->index = 0;
  reader->fill = static_cast<int32_t>(n);
  return advance ? reader->buffer[reader->index++] : reader->buffer[reader->index];
}

int mfs_file_peek(MfsReader* reader) { return mfs_file_refill(reader, 0); }

long mfs_file_read(MfsReader* reader, void* buffer, long n) {
  auto* out = static_cast<unsigned char*>(buffer);
  long done = 0;
  while (done < n) {
    if (reader->index >= reader->fill && mfs_file_refill(reader, 0) == -1) break;
    long take = reader->fill - reader->index;
    if (take > n - done) take = n - done;
    std::memcpy(out + done, reader->buffer + reader->index, static_cast<size_t>(take));
    reader->index += static_cast<int32_t>(take);
    done += take;
  }
  return done;
}

long mfs_file_read_at(MfsReader* reader, int32_t address, void* buffer, long n) {
  MfsState& st = mfs_state();
  st.reader = reader;
  MfsHandle* h = reader->handle;
  auto* out = static_cast<unsigned char*>(buffer);
  long got = mfs_read_span(h, address, out, n);
  if (got < 1) return -1;
  while (got < n) {
    const long more = mfs_read_continue(h, out + got, n - got);
    if (more < 1) break;
    got += more;
  }
  // The reader stands after the bytes read, where the next refill goes on.
  reader->base = address + static_cast<int32_t>(got);
  reader->index = reader->fill = 0;
  st.positioned = true;
  return got;
}

int32_t mfs_file_tell(const MfsReader* reader) { return reader->base + reader->index; }

int32_t mfs_file_length(MfsReader* reader) {
  // The sentinel of the compiled map: the end + 1 of the last member (every
  // entry loaded is checked against it).
  const MfsXmapTable* xmap = reader->handle->xmap;
  return xmap->count() < 2 ? 0 : xmap->rows.back().start;
}

int32_t mfs_file_span_size(MfsReader* reader, int32_t address, int32_t n) {
  return mfs_span_size(reader->handle, address, n);
}

int mfs_file_set_view(MfsReader* reader, int view) {
  if (!reader) return 0;
  // The buffer holds bytes of the old view: the next seek reads afresh,
  // even to the address the reader stands at.
  if (view != reader->handle->view) mfs_state().positioned = false;
  mfs_set_view(reader->handle, view);
  return 1;
}

int mfs_file_set_prefix(MfsReader* reader, const char* text) {
  mfs_set_prefix(reader->handle, text);
  return 1;
}

const char* mfs_file_member_name(MfsReader* reader) {
  MfsHandle* h = reader->handle;
  const int32_t i = mfs_xmap_lookup(h->xmap, reader->base + reader->index);
  if (i < 0) return nullptr;
  const MfsMapEntry* e = mfs_get_entry(h, i);
  return e ? e->file.c_str() : nullptr;
}
