// Names, raw reads and writes of the work files, the checks of numbers read
// back from them, and appending to the build log.
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "builder/phases_internal.h"
#include "msg/msg.h"

namespace phases {

std::string work_name(const std::string& base, const char* kind, int number) {
  return base + "." + kind + std::to_string(number);
}

void log_append(const char* format, ...) {
  build_state().steps_logged = true;
  const std::string& log = build_state().options->log_file;
  VqStream* s = vqio_fopen(log.c_str(), "a");
  if (s == nullptr) vq_report(16, GetMsgNumText(100001), log.c_str());
  va_list args;
  va_start(args, format);
  vqio_vfprintf(s, format, args);
  va_end(args);
  if (vqio_fclose(s) != 0) vq_report(16, GetMsgNumText(60013), log.c_str());
}

bool read_at(int fd, int64_t offset, void* buffer, size_t n) {
  if (vqio_lseek(fd, static_cast<off_t>(offset), SEEK_SET) < 0) return false;
  auto* out = static_cast<unsigned char*>(buffer);
  size_t got = 0;
  while (got < n) {
    const ssize_t r = vqio_read(fd, out + got, n - got);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    got += static_cast<size_t>(r);
  }
  return true;
}

bool write_all(int fd, const void* buffer, size_t n) {
  const auto* in = static_cast<const unsigned char*>(buffer);
  size_t done = 0;
  while (done < n) {
    const ssize_t w = vqio_write(fd, in + done, n - done);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    done += static_cast<size_t>(w);
  }
  return true;
}

void work_files_damaged() {
  vq_report(15, GetMsgNumText(100012), build_state().options->log_file.c_str());
  std::abort();  // the installed printer has ended the program
}

bool offset_in_pass(int32_t offset) {
  // A pass takes a point only below B - 1 - 1000.
  return offset >= 1 && offset < build_state().buffer_size - 1001;
}

void check_offset(int32_t offset) {
  if (!offset_in_pass(offset)) work_files_damaged();
}

int open_pass_file(int pass, PassHeader* h, long open_message) {
  const BuildState& st = build_state();
  const std::string name = work_name(st.options->int_name, "i", pass);
  const int fd = vqio_open(name.c_str(), O_RDONLY);
  if (fd < 0) vq_report(16, GetMsgNumText(open_message), name.c_str());
  int32_t w[5];
  struct stat sb{};
  if (!read_at(fd, 0, w, sizeof w) || vqio_fstat(fd, &sb) != 0) work_files_damaged();
  *h = PassHeader{w[0], w[1], w[2], w[3], w[4]};
  if (h->count < 0 || h->count > st.point_slots || h->first_char < 0 || h->first_char > 255 ||
      h->start < 1 || h->end < h->start || h->points_offset < 0 ||
      sb.st_size != PASS_HEADER_BYTES + 4 * static_cast<off_t>(h->count)) {
    work_files_damaged();
  }
  return fd;
}

}  // namespace phases

// One build per output base: the log is locked (a BSD lock on the file,
// which no other descriptor's close drops) from before any work file is
// made until the process ends. The log is cut only once the lock is held,
// so a second build never touches the first one's files.
bool lock_build_log() {
  BuildState& st = build_state();
  const BuildOptions* o = st.options;
  const char* log = o->log_file.c_str();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const int fd = vqio_open(log, o->restart ? O_RDWR : O_RDWR | O_CREAT, 0666);
    if (fd < 0) {
      vq_report(16, GetMsgNumText(o->restart ? 100002 : 100001), log);
      return false;
    }
    const int sys = vqio_system_fd(fd);
    if (sys < 0) {
      // A superfile member has no lock of its own.
      st.log_fd = fd;
      break;
    }
    if (flock(sys, LOCK_EX | LOCK_NB) != 0) {
      vqio_close(fd);
      vq_report(9, GetMsgNumText(100036), o->out_base.c_str(), log);
      return false;
    }
    struct stat held{}, now{};
    if (fstat(sys, &held) == 0 && vqio_stat(log, &now) == 0 && held.st_dev == now.st_dev &&
        held.st_ino == now.st_ino) {
      st.log_fd = fd;
      break;
    }
    vqio_close(fd);  // replaced meanwhile: lock the file now named
  }
  if (!o->restart && st.log_fd >= 0 && vqio_ftruncate(st.log_fd, 0) != 0) {
    vq_report(16, GetMsgNumText(100001), log);
    return false;
  }
  return true;
}

namespace {

void remove_early_files() {
  const BuildState& st = build_state();
  if (st.options == nullptr || st.steps_logged || !st.early_cleanup) return;
  const BuildOptions* o = st.options;
  // The layer may be stopped already: system calls. The first pass's text
  // may be kept before its pass file is written.
  for (const std::string& name :
       {phases::work_name(o->int_name, "i", 0), phases::work_name(o->int_name, "i", 1),
        phases::work_name(o->merge_name, "m", 1), phases::pass_texts_name(), o->log_file}) {
    ::unlink(name.c_str());
  }
}

}  // namespace

void arm_early_cleanup() {
  BuildState& st = build_state();
  static bool hooked = false;
  if (!hooked) {
    std::atexit(remove_early_files);
    hooked = true;
  }
  st.early_cleanup = true;
}
