// Shared helpers of the I/O layer tests: start-up, temporary directories,
// whole-file reads and writes, and a scoped fault-injecting wrapper around
// the current subsystem's operations.
#pragma once

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "io/vqio.h"

namespace iotest {

inline void EnsureStarted() { vqio_start(0, nullptr, nullptr); }

// A fresh directory under the system's temporary directory, removed with
// everything in it at the end of the scope.
class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vqio-test-XXXXXX").string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) std::abort();
    path_ = buf.data();
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Replaces some operations of the current subsystem for the length of a
// scope: every write and read is logged, writes and reads can be cut short
// and interrupted (EINTR) to prove the stream layer retries.
struct IoLog {
  std::vector<std::pair<int, size_t>> writes;  // (fd, bytes asked)
  int reads = 0;
  int closes = 0;
  int last_open_mode = -1;
  size_t write_limit = 0;  // cut every write to this many bytes (0: none)
  size_t read_limit = 0;
  bool interrupt = false;  // every other call fails with EINTR first
  int calls = 0;
};

class ScopedIoFaults {
 public:
  ScopedIoFaults() : rec_(vqio_current()), saved_(*rec_) {
    log() = IoLog();
    saved_ptr() = &saved_;
    rec_->write = &Write;
    rec_->read = &Read;
    rec_->close = &Close;
    rec_->open = &Open;
  }
  ~ScopedIoFaults() { *rec_ = saved_; }
  ScopedIoFaults(const ScopedIoFaults&) = delete;
  ScopedIoFaults& operator=(const ScopedIoFaults&) = delete;

  static IoLog& log() {
    static IoLog l;
    return l;
  }

 private:
  static IoSubsystem& original() { return *saved_ptr(); }
  static IoSubsystem*& saved_ptr() {
    static IoSubsystem* p = nullptr;
    return p;
  }
  static bool Interrupt() {
    IoLog& l = log();
    if (l.interrupt && (l.calls++ % 2 == 0)) {
      errno = EINTR;
      return true;
    }
    return false;
  }
  static ssize_t Write(IoSubsystem* rec, int fd, const void* buf, size_t n) {
    log().writes.emplace_back(fd, n);
    if (Interrupt()) return -1;
    if (log().write_limit && n > log().write_limit) n = log().write_limit;
    return original().write(rec, fd, buf, n);
  }
  static ssize_t Read(IoSubsystem* rec, int fd, void* buf, size_t n) {
    ++log().reads;
    if (Interrupt()) return -1;
    if (log().read_limit && n > log().read_limit) n = log().read_limit;
    return original().read(rec, fd, buf, n);
  }
  static int Close(IoSubsystem* rec, int fd) {
    ++log().closes;
    return original().close(rec, fd);
  }
  static int Open(IoSubsystem* rec, const char* path, int flags, int mode) {
    log().last_open_mode = mode;
    return original().open(rec, path, flags, mode);
  }

  IoSubsystem* rec_;
  IoSubsystem saved_;  // the wrappers forward to these operations
};

}  // namespace iotest
