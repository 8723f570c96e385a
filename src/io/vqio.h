// The I/O layer: every file and console call of the suite goes through here.
//
// Low-level calls (vqio_open, vqio_read, ...) are forwarded to the current I/O
// subsystem, a record of operations chosen by name at start-up ("native",
// "builder", "mixed"). Buffered streams in the manner of stdio sit on top of
// them, with the layer's own formatted output and input engines. A program
// starts the layer with vqio_start and ends through vqio_exit, which closes
// every stream and stops the current subsystem.
//
// Offsets at this interface are off_t; the stored formats of the suite are
// 32-bit, and code that stores an offset checks it fits (see the owning
// module). Single-threaded: all state is process-global.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <fcntl.h>  // O_* flags of vqio_open
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>  // SEEK_* of vqio_lseek and vqio_fseek

#define VQ_PRINTF(f, a) __attribute__((format(printf, f, a)))
#define VQ_SCANF(f, a) __attribute__((format(scanf, f, a)))

// ---------------------------------------------------------------------------
// I/O subsystems

struct IoSubsystem {
  char* name;  // owned copy of the registry name
  int (*start)(IoSubsystem* rec, int argc, char** argv);
  void (*stop)(IoSubsystem* rec, int status);
  int* (*control)(IoSubsystem* rec, const char* command, void* argument);
  int (*access)(IoSubsystem* rec, const char* path, int mode);
  int (*open)(IoSubsystem* rec, const char* path, int flags, int mode);
  int (*creat)(IoSubsystem* rec, const char* path, int mode);
  ssize_t (*read)(IoSubsystem* rec, int fd, void* buf, size_t count);
  ssize_t (*write)(IoSubsystem* rec, int fd, const void* buf, size_t count);
  off_t (*lseek)(IoSubsystem* rec, int fd, off_t offset, int whence);
  int (*close)(IoSubsystem* rec, int fd);
  int (*fstat)(IoSubsystem* rec, int fd, struct stat* st);
  int (*stat)(IoSubsystem* rec, const char* path, struct stat* st);
  int (*dup)(IoSubsystem* rec, int fd);
  int (*dup2)(IoSubsystem* rec, int fd, int fd2);
  int (*pipe)(IoSubsystem* rec, int fds[2]);
  int (*link)(IoSubsystem* rec, const char* oldpath, const char* newpath);
  int (*unlink)(IoSubsystem* rec, const char* path);
  off_t (*tell)(IoSubsystem* rec, int fd);
  void (*perror)(IoSubsystem* rec, const char* message);
  void* priv;  // subsystem state (malloc'd), freed with free() with the record
};

// Fills the operations of a zeroed record whose name is set; 0 on success.
using IoSubsystemInit = int (*)(IoSubsystem* rec);

struct IoSubsystemEntry {
  const char* name;
  IoSubsystemInit init;
};

// The built-in subsystems in registry order: "native", "builder", "mixed".
// Entries whose subsystem is not built yet have a null init and are skipped
// silently at start-up.
extern IoSubsystemEntry IoSubsystemRegistry[];

// Init function of the "native" subsystem (plain system calls).
int vqio_native_init(IoSubsystem* rec);

// Init function of the "builder" subsystem: "native" on plain files, with
// every path stripped by builder_strip_path.
int vqio_builder_init(IoSubsystem* rec);
// A path that begins with "@" loses everything up to and including its
// second "@" ("@lib@dir/name" gives "dir/name"; no second "@" gives the
// empty string); any other path is returned as it stands.
const char* builder_strip_path(const char* path);

// Init function of the "mixed" subsystem: its own descriptor table over
// plain files and superfile members ("@superfile@member", where the
// superfile's path is the value of its name in section [SuperFiles] of
// velquin.ini found along LD_LIBRARY_PATH, else the name itself). Named
// commands of vqio_control under "mixed", each answering through a pointer
// to an int:
//   "sf_set_superfile" (argument: the name)  select a superfile: 1 or -1
//   "vq_fstype_set" (argument: "system" or "superfile")  plain paths of
//       stat, access, link and unlink go to that type until the next open:
//       1, or 0 for an unknown type
//   "sf_list_superfile"  nothing: 0
//   "vq_ftruncate", "vq_system_fd"  the work of vqio_ftruncate and
//       vqio_system_fd below (call those)
// Other commands give null.
int vqio_mixed_init(IoSubsystem* rec);

// Descriptor calls the subsystem record has no operation for. Under
// "native" and "builder" a layer descriptor is the system's own; under
// "mixed" it is a slot of that subsystem's table, which system calls must
// never be given.
// Cuts or extends the open file to length (zeros fill an extension; a
// superfile member grows only within its capacity, or when it is the last
// member): 0, or -1 with errno.
int vqio_ftruncate(int fd, off_t length);
// The system descriptor behind fd, for system calls the layer does not
// offer (lockf, fsync): fd itself outside "mixed"; under "mixed" the
// descriptor of a plain file, pipe or standard stream, or -1 with EBADF for
// a superfile member (it has none of its own) or a descriptor not open.
int vqio_system_fd(int fd);

// ---------------------------------------------------------------------------
// Ini-file reader (C library file calls, not the layer's)

// With a key: the length of the value of key in section of the ini file
// (looked up along LD_LIBRARY_PATH, else in the current directory), the value
// in out; -1 with default_value in out (cut to size - 1 characters) when the
// file, section or key is missing or the value does not fit in size bytes.
// Without a key (null): the section's key names, each followed by a NUL,
// back to back in out as far as they fit whole; the number of bytes stored.
int vq_profile_get_string(const char* section, const char* key, const char* default_value,
                          char* out, int size, const char* file);
// Replaces name by the first existing "directory/name" along the
// colon-separated directories of the variable (empty components skipped):
// 0, or -1 with name unchanged when the variable is unset or empty, none
// exists, or a candidate would not fit in size bytes (the search stops).
int profile_find_file(char* name, int size, const char* variable);

void vqio_start(int argc, char** argv, const char* variable_name);
[[noreturn]] void vqio_exit(int status);
int* vqio_control(const char* command, void* argument);
// Makes the named started subsystem current: 1, or -1 when there is none.
int vqio_select(const char* name);
// The current subsystem (null before vqio_start).
IoSubsystem* vqio_current();

int vqio_access(const char* path, int mode);
int vqio_open(const char* path, int flags, ...);
int vqio_creat(const char* path, int mode);
ssize_t vqio_read(int fd, void* buf, size_t count);
ssize_t vqio_write(int fd, const void* buf, size_t count);
off_t vqio_lseek(int fd, off_t offset, int whence);
int vqio_close(int fd);
int vqio_fstat(int fd, struct stat* st);
int vqio_stat(const char* path, struct stat* st);
int vqio_dup(int fd);
int vqio_dup2(int fd, int fd2);
int vqio_pipe(int fds[2]);
int vqio_link(const char* oldpath, const char* newpath);
int vqio_unlink(const char* path);
off_t vqio_tell(int fd);
void vqio_perror(const char* message);

// Binding of the layer's functions by name (the map-file module looks its
// I/O calls up here). The map-file entry parser belongs to the multi-file
// module, which registers it with vqio_register_name before the first
// lookup; an unknown name binds nothing (null).
struct VqioNameEntry {
  const char* name;
  void* function;
};
extern const VqioNameEntry VqioNameTable[];
// The function bound to name: a registered one first, then the table's;
// null for an unknown name.
void* vqio_lookup_name(const char* name);
// Binds name to function (replacing an earlier registration). The name is
// not copied: pass a string that lives as long as the process.
void vqio_register_name(const char* name, void* function);

// ---------------------------------------------------------------------------
// Streams

enum : uint16_t {
  VQ_READ = 0x1,
  VQ_WRITE = 0x2,
  VQ_UNBUF = 0x4,
  VQ_OWNBUF = 0x8,
  VQ_EOF = 0x10,
  VQ_ERR = 0x20,
  VQ_STRING = 0x40,
  VQ_LINEBUF = 0x80,
  VQ_UPDATE = 0x100,
};

enum { VQ_BUFSIZ = 1024 };

struct VqStream {
  int32_t count;           // unread bytes when reading, free space when writing
  unsigned char* current;  // next byte to read or write
  unsigned char* base;     // start of the buffer (null until the first transfer)
  int32_t size;            // buffer size
  uint16_t flags;
  int fd;  // -1 for a string stream
  int spare;
  unsigned char onebyte;  // buffer of an unbuffered stream
  char* name;             // owned when fd > 2
  int (*fill_hook)(VqStream* s);
  int (*flush_hook)(int c, VqStream* s);
  int (*error_hook)(const char* name, int operation, VqStream* s);
  VqStream* next;
};

// The three standard streams live in a static pool of three records.
extern VqStream vqio_std_pool[3];
#define vqio_stdin (&vqio_std_pool[0])
#define vqio_stdout (&vqio_std_pool[1])
#define vqio_stderr (&vqio_std_pool[2])

// Replaceable allocation used for stream records and buffers.
struct StreamAllocHooks {
  void* (*allocate)(size_t n);
  void (*release)(void* p);
  void* (*reallocate)(void* p, size_t n);
};
extern StreamAllocHooks stream_alloc_hooks;

// Slow paths of the byte fast paths below: refill and write-out.
int vqio_filbuf(VqStream* s);
int vqio_flsbuf(int c, VqStream* s);

// Byte fast paths: one buffered byte with one direction check; everything
// else (refill, write-out, direction change, line buffering) goes to the
// slow path.
inline int vqio_getc(VqStream* s) {
  if (s->count > 0 && (s->flags & (VQ_READ | VQ_WRITE)) == VQ_READ) {
    --s->count;
    return *s->current++;
  }
  return vqio_filbuf(s);
}
inline int vqio_putc(int c, VqStream* s) {
  if (s->count > 0 && (s->flags & (VQ_READ | VQ_WRITE | VQ_LINEBUF)) == VQ_WRITE) {
    --s->count;
    return *s->current++ = static_cast<unsigned char>(c);
  }
  return vqio_flsbuf(c, s);
}

// Failures are never reported as success: vqio_fflush and vqio_fclose give
// -1 (error flag set) when a write-out fails or is short, vqio_fseek gives -1
// on any failed seek; fread/fwrite refuse a size * n that overflows (0,
// EOVERFLOW). Short and interrupted transfers are completed. An
// update stream may change direction without a flush or seek in between:
// written bytes go out before reading, read-ahead is given back before
// writing. Low-level calls before vqio_start fail with errno EBADF.
VqStream* vqio_fopen(const char* path, const char* mode);
VqStream* vqio_fdopen(int fd, const char* mode);
VqStream* vqio_freopen(const char* path, const char* mode, VqStream* s);
int vqio_fclose(VqStream* s);
int vqio_fdclose(VqStream* s);
int vqio_fabort(VqStream* s);

int vqio_fgetc(VqStream* s);
// Steps back over the last byte taken from the present buffer; a string
// stream is never written (the byte there stays, so scanning a literal is
// safe).
int vqio_ungetc(int c, VqStream* s);
char* vqio_fgets(char* buf, int n, VqStream* s);
char* vqio_gets(char* buf);
int vqio_fputc(int c, VqStream* s);
int vqio_fputs(const char* str, VqStream* s);
int vqio_puts(const char* str);
size_t vqio_fread(void* buf, size_t size, size_t n, VqStream* s);
size_t vqio_fwrite(const void* buf, size_t size, size_t n, VqStream* s);
int vqio_getw(VqStream* s);
int vqio_putw(int word, VqStream* s);

int vqio_feof(VqStream* s);
int vqio_ferror(VqStream* s);
int vqio_clearerr(VqStream* s);
int vqio_fileno(VqStream* s);
int vqio_fflush(VqStream* s);

int vqio_fseek(VqStream* s, long offset, int whence);
long vqio_ftell(VqStream* s);
void vqio_rewind(VqStream* s);
using vqio_fpos_t = long;
int vqio_fgetpos(VqStream* s, vqio_fpos_t* pos);
int vqio_fsetpos(VqStream* s, const vqio_fpos_t* pos);

void vqio_setbuf(VqStream* s, char* buf);
int vqio_setvbuf(VqStream* s, char* buf, int mode, size_t size);
void vqio_setbuffer(VqStream* s, char* buf, size_t size);
void vqio_setlinebuf(VqStream* s);
enum { VQ_IOFBF = 0, VQ_IONBF = 4, VQ_IOLBF = 0x80 };

VqStream* vqio_popen(const char* command, const char* mode);
int vqio_pclose(VqStream* s);
// An update stream on a file created exclusively (mode 0600) and removed at once.
VqStream* vqio_tmpfile();
// A free name (malloc'd, freed by the caller) in the first existing of
// $tmpdir, $TMPDIR, directory, /usr/tmp/, /tmp/, ".".
char* vqio_tempnam(const char* directory, const char* prefix);

// Applies op to every stream in use: the pool first, then the list.
void vqio_fwalk(int (*op)(VqStream* s));

// ---------------------------------------------------------------------------
// Formatted output and input (the layer's own engines)

int vqio_doprnt(const char* format, va_list args, VqStream* s);
int vqio_doscan(VqStream* s, const char* format, va_list args);

int vqio_fprintf(VqStream* s, const char* format, ...) VQ_PRINTF(2, 3);
int vqio_vfprintf(VqStream* s, const char* format, va_list args) VQ_PRINTF(2, 0);
int vqio_printf(const char* format, ...) VQ_PRINTF(1, 2);
int vqio_vprintf(const char* format, va_list args) VQ_PRINTF(1, 0);
int vqio_sprintf(char* buf, const char* format, ...) VQ_PRINTF(2, 3);
int vqio_vsprintf(char* buf, const char* format, va_list args) VQ_PRINTF(2, 0);

int vqio_fscanf(VqStream* s, const char* format, ...) VQ_SCANF(2, 3);
int vqio_vfscanf(VqStream* s, const char* format, va_list args) VQ_SCANF(2, 0);
int vqio_scanf(const char* format, ...) VQ_SCANF(1, 2);
int vqio_vscanf(const char* format, va_list args) VQ_SCANF(1, 0);
int vqio_sscanf(const char* str, const char* format, ...) VQ_SCANF(2, 3);
int vqio_vsscanf(const char* str, const char* format, va_list args) VQ_SCANF(2, 0);
