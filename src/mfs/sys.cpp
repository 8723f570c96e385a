// The "sys" stream format: a member's data passed through a shell command.
//
// The first time data, a size or a position is needed, the whole input (the
// parent stream, or the member file) is copied to a temporary file, the
// command runs with that file as standard input and a second temporary file
// as standard output, and the stream then reads the output file. The command
// is the first comma-separated field of the argument ("cat" without one);
// '"' quotes a field that holds commas.
//
// Temporary files are "tmpXXXXXX" in TMPDIR, else /tmp, made with mkostemp
// (mode 0600, no race on the name). The input file is removed once the
// command has run; the output file when the stream is closed, and at the
// latest when the process exits. A temporary file that cannot be made or
// written, an output that cannot be reopened, a failing input read or a
// command that does not exit with 0 fail the member with status 2; a parent
// that fails passes its own status up. Positions are offsets in the output
// file.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "io/vqio.h"
#include "mfs/formats.h"

int sys_split(char* text, const char* separators, const char* quotes, const char* terminators,
              std::vector<char*>& fields) {
  auto in = [](const char* set, char c) { return set && c && std::strchr(set, c) != nullptr; };
  auto ends = [&](char c) { return c == '\0' || in(terminators, c); };
  char* p = text;
  while (in(separators, *p) && !ends(*p)) ++p;
  while (!ends(*p)) {
    fields.push_back(p);
    while (!ends(*p) && !in(separators, *p)) {
      if (!in(quotes, *p)) {
        ++p;
        continue;
      }
      // Move the quoted run one place left over its opening quote; the
      // field's text ends where the run ends.
      char* q = p;
      while (!ends(q[1]) && !in(quotes, q[1])) {
        q[0] = q[1];
        ++q;
      }
      const char stop = q[1];
      q[0] = '\0';
      if (ends(stop)) {
        p = q + 1;
        break;
      }
      q[1] = ' ';  // the closing quote; what follows is no longer field text
      p = q + 1;
    }
    while (in(separators, *p) && !ends(*p)) *p++ = '\0';
  }
  if (*p) *p = '\0';  // a terminator ends the text
  return static_cast<int>(fields.size());
}

namespace {

// --- Temporary files of this process that are still on disk. They are
// removed at exit as well, so a run that ends while a member is being read
// leaves none behind. Each name carries the process that made it: a forked
// child must not remove its parent's files.

struct TempFile {
  std::string name;
  pid_t owner;
};

std::vector<TempFile>& temp_files() {
  static auto* files = new std::vector<TempFile>;  // outlives static destructors
  return *files;
}

void remove_temp_files_at_exit() {
  const pid_t self = getpid();
  for (const TempFile& t : temp_files()) {
    if (t.owner == self) ::unlink(t.name.c_str());
  }
  temp_files().clear();
}

void note_temp_file(const std::string& name) {
  static bool hooked = false;
  if (!hooked) {
    hooked = true;
    std::atexit(remove_temp_files_at_exit);
  }
  temp_files().push_back({name, getpid()});
}

void remove_temp_file(std::string& name) {
  if (name.empty()) return;
  ::unlink(name.c_str());
  auto& files = temp_files();
  files.erase(
      std::remove_if(files.begin(), files.end(), [&](const TempFile& t) { return t.name == name; }),
      files.end());
  name.clear();
}

// A new temporary file: its descriptor (close-on-exec) and name, or -1.
int make_temp_file(std::string& name) {
  const char* dir = std::getenv("TMPDIR");
  std::string path = dir && *dir ? dir : "/tmp";
  path += "/tmpXXXXXX";
  std::vector<char> buffer(path.begin(), path.end());
  buffer.push_back('\0');
  const int fd = mkostemp(buffer.data(), O_CLOEXEC);
  if (fd == -1) return -1;
  name = buffer.data();
  note_temp_file(name);
  return fd;
}

bool write_all(int fd, const unsigned char* data, long n) {
  while (n > 0) {
    const ssize_t k = ::write(fd, data, static_cast<size_t>(n));
    if (k < 0 && errno == EINTR) continue;
    if (k <= 0) return false;
    data += k;
    n -= k;
  }
  return true;
}

// A file name as one word of a shell command line.
std::string shell_word(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  out += "'";
  return out;
}

// --- The format

enum { kPiece = 4096 };

struct SysState {
  int in_fd = -1;        // the member file, when there is no parent
  int out_fd = -1;       // the command's output, -1 until it has run
  std::string out_name;  // the output file while it exists
  int32_t record_size = 0;
  std::vector<unsigned char> saved;  // first word: output offset of the buffer
  int32_t pending = 0;
  std::string file;
  // A failed run is not repeated until the stream is opened again (its
  // input has been consumed): 2 gives status 2 again, -1 leaves the
  // parent's status to tell.
  int32_t failed = 0;
};

SysState* sys_state(MfsStream* s) { return static_cast<SysState*>(s->state); }

int run_failed(MfsStream* s, std::string& input, std::string& output) {
  remove_temp_file(input);
  remove_temp_file(output);
  s->status = MFS_STATUS_FAILED;
  sys_state(s)->failed = MFS_STATUS_FAILED;
  return -1;
}

// Copies the whole input to fd: 1, 0 on a read or write failure, -1 when
// the parent failed.
int copy_input(MfsStream* s, int fd) {
  SysState* st = sys_state(s);
  std::vector<unsigned char> piece(kPiece);
  for (;;) {
    long r;
    if (s->parent) {
      r = s->parent->read(s->parent, piece.data(), kPiece);
    } else {
      ssize_t k;
      do {
        k = vqio_read(st->in_fd, piece.data(), kPiece);
      } while (k < 0 && errno == EINTR);
      if (k < 0) return 0;
      r = static_cast<long>(k);
    }
    if (r < 1) break;
    if (!write_all(fd, piece.data(), r)) return 0;
  }
  if (s->parent && s->parent->get_status(s->parent) > 0) return -1;
  return 1;
}

// Runs the command when it has not run yet: 0, or -1.
int sys_run(MfsStream* s) {
  SysState* st = sys_state(s);
  if (st->out_fd >= 0) return 0;
  if (st->failed) {
    if (st->failed > 0) s->status = st->failed;
    return -1;
  }
  if (!s->parent && st->pending) {
    st->in_fd = vqio_open(st->file.c_str(), O_RDONLY);
    if (st->in_fd == -1) {
      s->status = MFS_STATUS_NO_FILE;
      return -1;
    }
    st->pending = 0;
  }
  if (!s->argument) mfs_stream_set_argument(s, "cat");
  std::vector<char> text(s->argument, s->argument + std::strlen(s->argument) + 1);
  std::vector<char*> fields;
  sys_split(text.data(), ",", "\"", "", fields);

  std::string input, output;
  const int in = make_temp_file(input);
  if (in == -1) return run_failed(s, input, output);
  const int copied = copy_input(s, in);
  if (::close(in) != 0 || copied == 0) return run_failed(s, input, output);
  if (copied == -1) {
    remove_temp_file(input);
    st->failed = -1;
    return -1;
  }
  const int out = make_temp_file(output);
  if (out == -1 || ::close(out) != 0) return run_failed(s, input, output);

  int result = 1;  // no command at all fails like a command that fails
  if (!fields.empty()) {
    std::string line = "(";
    line += fields[0];
    line += ") < " + shell_word(input) + " > " + shell_word(output);
    result = run_shell(line.c_str(), "/dev/null");
  }
  if (result != 0) return run_failed(s, input, output);
  remove_temp_file(input);
  st->out_fd = vqio_open(output.c_str(), O_RDONLY);
  if (st->out_fd == -1) return run_failed(s, input, output);
  st->out_name = output;
  return 0;
}

// Closes the descriptors and removes the output file: 0, or -1 when a
// close failed.
int sys_release(MfsStream* s) {
  SysState* st = sys_state(s);
  int result = 0;
  if (st->in_fd >= 0 && vqio_close(st->in_fd) == -1) result = -1;
  st->in_fd = -1;
  if (st->out_fd >= 0 && vqio_close(st->out_fd) == -1) result = -1;
  st->out_fd = -1;
  remove_temp_file(st->out_name);
  return result;
}

int sys_open(MfsStream* s, const char* file) {
  SysState* st = sys_state(s);
  s->status = MFS_STATUS_OK;
  sys_release(s);
  s->count = 0;
  s->position = 0;
  st->failed = 0;
  st->pending = 0;
  st->file.clear();
  st->record_size = mfs_parent_record_size(s, MFS_WORD);
  st->saved.assign(static_cast<size_t>(std::max<int32_t>(st->record_size, MFS_WORD)), 0);
  if (s->parent) {
    s->parent->getpos(s->parent, st->saved.data());
  } else {
    st->pending = 1;
    st->file = file ? file : "";
  }
  return 0;
}

int sys_close(MfsStream* s) {
  SysState* st = sys_state(s);
  s->status = MFS_STATUS_OK;
  const int result = sys_release(s);
  s->position = 0;
  s->count = 0;
  st->record_size = 0;
  st->saved.clear();
  st->pending = 0;
  st->failed = 0;
  return result;
}

int sys_fill(MfsStream* s, int advance) {
  SysState* st = sys_state(s);
  s->count = 0;
  s->position = 0;
  if (sys_run(s) == -1) return -1;
  const off_t here = vqio_lseek(st->out_fd, 0, SEEK_CUR);
  if (here > INT32_MAX) {
    s->status = MFS_STATUS_FAILED;
    return -1;
  }
  if (st->saved.size() < MFS_WORD) st->saved.resize(MFS_WORD);
  mfs_put_word(st->saved.data(), static_cast<int32_t>(here));
  ssize_t k;
  do {
    k = vqio_read(st->out_fd, s->buffer, static_cast<size_t>(s->buffer_size));
  } while (k < 0 && errno == EINTR);
  if (k < 0) {
    s->status = MFS_STATUS_FAILED;
    k = 0;
  }
  s->count = static_cast<int32_t>(k);
  return mfs_stream_first(s, advance);
}

off_t sys_span(MfsStream* s, off_t, off_t, off_t) {
  s->status = MFS_STATUS_OK;
  if (sys_run(s) == -1) return -1;
  return mfs_descriptor_size(sys_state(s)->out_fd);
}

int sys_seek(MfsStream* s, off_t offset) {
  s->status = MFS_STATUS_OK;
  if (offset < 0 || sys_run(s) == -1) return -1;
  if (vqio_lseek(sys_state(s)->out_fd, offset, SEEK_SET) == -1) return -1;
  s->fill(s, 0);
  s->position = 0;
  return 0;
}

int sys_setpos(MfsStream* s, const unsigned char* record) {
  s->status = MFS_STATUS_OK;
  if (sys_run(s) == -1) return -1;
  const off_t offset = mfs_get_word(record + MFS_WORD);
  if (vqio_lseek(sys_state(s)->out_fd, offset, SEEK_SET) == -1) return -1;
  if (s->fill(s, 0) == -1) return -1;
  s->position = mfs_get_word(record);
  return s->position > s->count ? -1 : 0;
}

int sys_getpos(MfsStream* s, unsigned char* record) {
  s->status = MFS_STATUS_OK;
  return mfs_write_record(s, sys_state(s)->saved, record);
}

// The parent's size (0 without one) and two words: over a parent this is
// one word more than the record holds, which is harmless.
int sys_ctl(MfsStream* s, int command, void* argument) {
  return mfs_stream_ctl(s, command, argument, 0, 2 * MFS_WORD, sys_state(s)->file);
}

int sys_destroy(MfsStream* s) {
  s->status = MFS_STATUS_OK;
  sys_release(s);
  delete sys_state(s);
  mfs_stream_free(s);
  return 0;
}

}  // namespace

MfsStream* mfsio_sys_new(MfsStream* parent) {
  static const MfsFormatOps ops = {sys_open,   sys_close,  sys_fill, sys_span,   sys_seek,
                                   sys_setpos, sys_getpos, sys_ctl,  sys_destroy};
  return mfs_stream_new<SysState>("sys", parent, MFS_BUFFER_SIZE, ops);
}
