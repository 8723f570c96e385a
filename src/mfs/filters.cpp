// The filtering formats "double", "flat", "iflat" and "half". Each is an
// "mfsio" stream with its own fill, seek and span:
//   "double"  every byte of the parent twice (8-bit text to 16-bit units);
//   "half"    every second byte, from the first (16-bit units to 8-bit text);
//   "flat"    the parent's bytes unchanged, in whole-buffer fills;
//   "iflat"   as "flat", but only the whole member may be retrieved.
// A fill first saves the parent's position, so a position record returns to
// the same output byte.
#include <cstdint>

#include "mfs/formats.h"

namespace {

// Common start of a fill: lazy open and the saved position.
bool fill_prepare(MfsStream* s) {
  s->count = 0;
  s->position = 0;
  return mfsio_lazy_open(s) == 0 && mfsio_save_position(s) == 0;
}

// --- "double"

int double_fill(MfsStream* s, int advance) {
  if (!fill_prepare(s)) return -1;
  const long n = mfsio_read_source(s, s->buffer, s->buffer_size / 2, true);
  // Widen in place from the end, so no byte is overwritten before it is copied.
  for (long i = n - 1; i >= 0; --i) {
    s->buffer[2 * i + 1] = s->buffer[i];
    s->buffer[2 * i] = s->buffer[i];
  }
  s->count = static_cast<int32_t>(2 * n);
  return mfs_stream_first(s, advance);
}

int double_seek(MfsStream* s, off_t offset) {
  s->status = MFS_STATUS_OK;
  if (offset < 0 || mfsio_seek_source(s, offset / 2) == -1) return -1;
  s->fill(s, 0);
  if (offset % 2 == 1) s->position = 1;  // the second copy of that byte is next
  return 0;
}

off_t double_span(MfsStream* s, off_t offset, off_t count, off_t total) {
  s->status = MFS_STATUS_OK;
  if (!s->parent) return 0;
  const off_t r = s->parent->span(s->parent, offset, count, total);
  return r == -1 ? -1 : 2 * r;
}

// --- "half"

int half_fill(MfsStream* s, int advance) {
  if (!fill_prepare(s)) return -1;
  const long n = mfsio_read_source(s, s->buffer, s->buffer_size, true);
  for (long i = 0; i < n / 2; ++i) s->buffer[i] = s->buffer[2 * i];
  s->count = static_cast<int32_t>(n / 2);
  return mfs_stream_first(s, advance);
}

int half_seek(MfsStream* s, off_t offset) {
  s->status = MFS_STATUS_OK;
  if (offset < 0 || offset > (INT64_MAX / 2)) return -1;
  if (mfsio_seek_source(s, offset * 2) == -1) return -1;
  s->fill(s, 0);
  return 0;
}

off_t half_span(MfsStream* s, off_t offset, off_t count, off_t total) {
  s->status = MFS_STATUS_OK;
  if (!s->parent) return count;
  const off_t r = s->parent->span(s->parent, offset, count, total);
  return r == -1 ? -1 : r / 2;
}

// --- "flat" and "iflat"

int flat_fill(MfsStream* s, int advance) {
  if (!fill_prepare(s)) return -1;
  s->count = static_cast<int32_t>(mfsio_read_source(s, s->buffer, s->buffer_size, true));
  return mfs_stream_first(s, advance);
}

off_t flat_span(MfsStream* s, off_t offset, off_t count, off_t total) {
  s->status = MFS_STATUS_OK;
  if (!s->parent) return count;
  return s->parent->span(s->parent, offset, count, total);
}

// Only the whole member: a partial retrieval is refused with -1 and status 0.
off_t iflat_span(MfsStream* s, off_t offset, off_t count, off_t total) {
  s->status = MFS_STATUS_OK;
  if (offset != 0 || count != total) return -1;
  if (!s->parent) return count;
  return s->parent->span(s->parent, 0, -1, total);
}

MfsStream* filter_new(const char* name, MfsStream* parent, int32_t buffer_size,
                      int (*fill)(MfsStream*, int), int (*seek)(MfsStream*, off_t),
                      off_t (*span)(MfsStream*, off_t, off_t, off_t)) {
  MfsStream* s = mfsio_family_new(name, parent, buffer_size);
  if (!s) return nullptr;
  s->fill = fill;
  if (seek) s->seek = seek;  // else the "mfsio" seek
  s->span = span;
  return s;
}

}  // namespace

MfsStream* mfsio_double_new(MfsStream* parent) {
  return filter_new("double", parent, MFS_BUFFER_SIZE, double_fill, double_seek, double_span);
}

MfsStream* mfsio_half_new(MfsStream* parent) {
  return filter_new("half", parent, MFS_HALF_BUFFER_SIZE, half_fill, half_seek, half_span);
}

MfsStream* mfsio_flat_new(MfsStream* parent) {
  return filter_new("flat", parent, MFS_BUFFER_SIZE, flat_fill, nullptr, flat_span);
}

MfsStream* mfsio_iflat_new(MfsStream* parent) {
  return filter_new("iflat", parent, MFS_BUFFER_SIZE, flat_fill, nullptr, iflat_span);
}
