// Helpers shared by the stream files of the I/O layer (not for other modules).
//
// Invariants of a stream record:
// - count is the number of unread bytes while the stream reads and the free
//   space while it writes; 0 whenever the next transfer must take the slow
//   path (no buffer yet, unbuffered, update stream without direction).
// - An update stream carries VQ_READ or VQ_WRITE beside VQ_UPDATE only while
//   it has a direction; a plain stream keeps the bit it was opened with.
// - While reading, the descriptor's position is ahead of the stream's by
//   count; while writing, behind it by current - base.
#pragma once

#include "io/vqio.h"

namespace vqio_internal {

// Head of the chain of allocated (non-pool) streams.
extern VqStream* open_list;

// A free record (a free pool slot first, else a new chained one); null when
// memory runs out.
VqStream* take_record();
// Returns a record to the pool or unchains and frees it.
void drop_record(VqStream* s);
// Frees the stream's owned buffer and owned name (not the record).
void release_storage(VqStream* s);
// Wraps an open descriptor in a free record with the given flags and a copy
// of path as its name (none when null); null (descriptor left open) when
// memory runs out.
VqStream* wrap_descriptor(int fd, uint16_t flags, const char* path);
// A copy of str obtained through the allocation hooks.
char* copy_name(const char* str);

// Gives the stream its first buffer (1024 bytes, owned, zeroed; the one-byte
// buffer when unbuffered or out of memory). Leaves count 0.
void give_buffer(VqStream* s);
// Writes out current - base bytes; current := base, count := free space.
// -1 (error flag set, error hook 'w' called) when the write fails or is short.
int write_out(VqStream* s);
// Makes s ready for reading / writing, switching an update stream's direction
// without losing bytes; -1 when it cannot (errno EINVAL for the wrong
// direction).
int begin_read(VqStream* s);
int begin_write(VqStream* s);

// read/write with EINTR retried; write_all loops until everything is written
// (0 or -1 from the descriptor is a failure: -1).
ssize_t read_retry(int fd, void* buf, size_t count);
ssize_t write_all(int fd, const void* buf, size_t count);

// True for a stream in use.
inline bool is_open(const VqStream* s) {
  return (s->flags & (VQ_READ | VQ_WRITE | VQ_UPDATE)) != 0;
}

// Calls the stream's error hook for a failed operation.
inline void report_failure(VqStream* s, int operation) {
  if (s->error_hook) s->error_hook(s->name, operation, s);
}

}  // namespace vqio_internal
