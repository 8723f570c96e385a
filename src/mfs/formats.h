// Pieces shared by the stream formats of this module (not for other
// modules): stream allocation, the buffered read, getc, peek and status
// operations every format uses, position-record words, and the "mfsio"
// state and operations on which "double", "flat", "iflat" and "half" build.
#pragma once

#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "mfs/mfs.h"

// Private state of "mfsio" and of the formats built on it.
struct MfsioState {
  int fd = -1;  // the member file, -1 when closed
  int32_t opened = 0;
  int32_t record_size = 0;           // bytes of the saved position
  std::vector<unsigned char> saved;  // descriptor offset or the parent's
                                     // record at the start of the buffer
  int32_t pending = 0;               // file named but not yet opened
  std::string file;                  // stored in full
};

// Size of a record of the common layout: one word, then the saved position.
enum { MFS_WORD = 4 };

// 32-bit words of position records, in the machine's byte order.
void mfs_put_word(unsigned char* at, int32_t value);
int32_t mfs_get_word(const unsigned char* at);

// The operations in which the formats differ.
struct MfsFormatOps {
  int (*open)(MfsStream* s, const char* file);
  int (*close)(MfsStream* s);
  int (*fill)(MfsStream* s, int advance);
  off_t (*span)(MfsStream* s, off_t offset, off_t count, off_t total);
  int (*seek)(MfsStream* s, off_t offset);
  int (*setpos)(MfsStream* s, const unsigned char* record);
  int (*getpos)(MfsStream* s, unsigned char* record);
  int (*ctl)(MfsStream* s, int command, void* argument);
  int (*destroy)(MfsStream* s);
};

// A zeroed stream with its buffer, the format's operations, the common ones
// (read, getc, peek, setopt, get_status) and the given state; null (state
// not taken) when an allocation fails.
MfsStream* mfs_stream_alloc(const char* name, MfsStream* parent, int32_t buffer_size, void* state,
                            const MfsFormatOps& ops);

// The same with a fresh State; null when an allocation fails.
template <class State>
MfsStream* mfs_stream_new(const char* name, MfsStream* parent, int32_t buffer_size,
                          const MfsFormatOps& ops) {
  auto* state = new (std::nothrow) State;
  if (!state) return nullptr;
  MfsStream* s = mfs_stream_alloc(name, parent, buffer_size, state, ops);
  if (!s) delete state;
  return s;
}
// Frees the buffer, the argument and the stream (not the state).
void mfs_stream_free(MfsStream* s);

long mfs_stream_read(MfsStream* s, void* buffer, long n);
int mfs_stream_getc(MfsStream* s);
int mfs_stream_peek(MfsStream* s);
int mfs_stream_setopt(MfsStream* s, int option, void* value);
int mfs_stream_status(MfsStream* s);
// The first byte of a filled buffer (taken when advance is set), or -1 for
// an empty one; sets position.
int mfs_stream_first(MfsStream* s, int advance);
// Writes {position} then the saved bytes into record.
int mfs_write_record(MfsStream* s, const std::vector<unsigned char>& saved, unsigned char* record);
// The parent's answer to control 1, or fallback without a parent.
int32_t mfs_parent_record_size(MfsStream* s, int32_t fallback);
// Control commands as most formats answer them: 1 gives the parent's record
// size (fallback without a parent) + added; 3 asks the parent, or compares
// the file's modification time with *argument (0 when the stat fails, 1
// when they differ, else 0); other commands -1.
int mfs_stream_ctl(MfsStream* s, int command, void* argument, int32_t fallback, int32_t added,
                   const std::string& file);

// Size of the file open on fd; its offset is left where it was. -1 on error.
off_t mfs_descriptor_size(int fd);

// "mfsio" operations, shared by the formats built on it.
MfsioState* mfsio_state(MfsStream* s);
// Installs the "mfsio" operations and a fresh state; null when an
// allocation fails.
MfsStream* mfsio_family_new(const char* name, MfsStream* parent, int32_t buffer_size);
// Opens the member file when its open is pending: 0, or -1 with status 1.
int mfsio_lazy_open(MfsStream* s);
// Stores the parent's record, or the descriptor offset, in the saved
// position: 0, or -1 (status 2) when the offset does not fit 32 bits.
int mfsio_save_position(MfsStream* s);
// Reads up to n bytes from the parent (until n or its end) or from the
// file (one read, or until n or the end when whole is set). A failed read
// of the file sets status 2. The bytes read.
long mfsio_read_source(MfsStream* s, unsigned char* buffer, long n, bool whole);
// Seeks the parent, or the file, to offset: 0 or -1.
int mfsio_seek_source(MfsStream* s, off_t offset);
