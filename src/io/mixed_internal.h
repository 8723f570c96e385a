// Internals of the "mixed" I/O subsystem, its file-system types ("system"
// and "superfile") and the ini-file lookups they use (not for other modules).
//
// The mixed subsystem keeps its own table of 256 descriptor slots. A slot
// points to an open-file record; several slots share one record after dup.
// Each record holds a handle of the file-system type that opened it and that
// type's per-file operations. Types also offer per-volume operations that
// work on a handle found by name (look up, create, stat, unlink, ...).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <vector>

struct MixedState;
struct MixedPrivate;
struct OpenFile;
struct FsHandle;
struct FsVolume;
struct SuperfileState;

// Per-volume operations: 0 (or a handle) on success, -1 with errno on
// failure. A handle made by create or lookup is released with free_handle.
struct FsVolumeOps {
  int (*create)(MixedPrivate* p, FsVolume* volume, const char* name, int mode, FsHandle** handle);
  int (*lookup)(MixedPrivate* p, FsVolume* volume, const char* name, FsHandle** handle);
  int (*link)(MixedPrivate* p, FsHandle* handle, const char* new_name);
  int (*unlink)(MixedPrivate* p, FsHandle* handle);
  int (*rename)(MixedPrivate* p, FsHandle* handle, const char* new_name);
  int (*stat)(MixedPrivate* p, FsHandle* handle, struct stat* st);
  int (*access)(MixedPrivate* p, FsHandle* handle, int mode);
  int (*truncate)(MixedPrivate* p, FsHandle* handle, off_t length);
  void (*free_handle)(MixedPrivate* p, FsHandle* handle);
};

struct FsVolume {
  const FsVolumeOps* ops;
};

// A file of a type, found or made by name.
struct FsHandle {
  const FsVolumeOps* ops;
  std::string name;  // the name it was made for
  int mode;          // creation mode asked for (0666 when not creating)
  int32_t data;      // "system": the descriptor (-1 before the open); "superfile": the member index
  void* owner;       // "superfile": the superfile the member belongs to
};

// Per-file operations on the handle of an open-file record. Transfers move
// the record's position by what they moved, and only on success. close
// releases the handle.
struct FsFileOps {
  int (*open)(MixedPrivate* p, FsHandle* handle, OpenFile* file);
  off_t (*seek)(MixedPrivate* p, FsHandle* handle, OpenFile* file, off_t offset, int whence);
  ssize_t (*read)(MixedPrivate* p, FsHandle* handle, OpenFile* file, void* buf, size_t n);
  ssize_t (*write)(MixedPrivate* p, FsHandle* handle, OpenFile* file, const void* buf, size_t n);
  int (*close)(MixedPrivate* p, FsHandle* handle, OpenFile* file);
  int (*flush)(MixedPrivate* p, FsHandle* handle);
};

struct FsType {
  const char* name;
  int (*attach)(MixedPrivate* p, MixedState* state);
  FsVolume* (*get_volume)(MixedPrivate* p, MixedState* state);
  int (*detach)(MixedPrivate* p);  // 0, or -1 when data could not be written back
  FsFileOps file;
  FsVolumeOps volume;
};

struct FsTypeEntry {
  const char* name;
  FsType (*make)();
};
// "system", "superfile", then a null terminator.
extern const FsTypeEntry FsTypeTable[];

FsType fstype_system_make();
FsType fstype_superfile_make();

// An open file of the mixed subsystem.
struct OpenFile {
  int access;         // 1 read, 2 write, 3 both
  int flags;          // open flags; O_CREAT, O_EXCL, O_NOCTTY, O_TRUNC cleared after the open
  off_t position;     // position in the file
  int count;          // descriptor slots using the record; 0: free
  FsHandle* handle;   // null when none
  const FsFileOps* ops;
};

enum { MIXED_SLOTS = 256, MIXED_RECORDS = 1024 };

struct MixedState {
  std::string argv0;
  std::vector<FsType> types;
  FsType* current;        // type of the last open or of "vq_fstype_set"
  FsType* explicit_type;  // set by "vq_fstype_set" until the next open; null: none
  std::vector<OpenFile*> records;  // most recently taken first; never freed while running
  OpenFile* slots[MIXED_SLOTS];
};

// The subsystem record's private block: four pointers.
struct MixedPrivate {
  MixedState* state;
  FsVolume* system_volume;
  FsVolume* superfile_volume;
  SuperfileState* superfiles;
};

// Argument of the control command "vq_ftruncate".
struct MixedTruncate {
  int fd;
  off_t length;
};

// Makes the superfile called name current (opening it and reading its
// directory when it is not open yet): 1, or -1 on failure.
int sf_set_superfile(MixedPrivate* p, const char* name);

// The value of key in section of the ini file found along LD_LIBRARY_PATH,
// whatever its length: 0, or -1 when the file, section or key is missing.
int profile_get_value(const char* section, const char* key, const char* file, std::string& value);
