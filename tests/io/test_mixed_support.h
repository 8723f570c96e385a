// Shared helpers of the mixed-subsystem and superfile tests: a fixture that
// makes "mixed" current and starts it in this process (stopping it, which
// writes superfile directories back, and going back to "native" after each
// test), an ini file along LD_LIBRARY_PATH, and a reader and a writer of the
// superfile format written from its description, independent of the layer.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <string>
#include <vector>

#include "io_support.h"

namespace iotest {

// Drops a TMPDIR that names no directory (a test elsewhere in this program
// may leave one behind), so that TempDir finds the system's temporary
// directory. Used as the first base of a fixture, it runs before TempDir
// members are made.
struct SaneTmpdir {
  SaneTmpdir() {
    const char* t = std::getenv("TMPDIR");
    if (t && ::access(t, W_OK | X_OK) != 0) unsetenv("TMPDIR");
  }
};

class MixedTest : private SaneTmpdir, public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureStarted();
    saved_path_ = std::getenv("LD_LIBRARY_PATH") ? std::getenv("LD_LIBRARY_PATH") : "";
    had_path_ = std::getenv("LD_LIBRARY_PATH") != nullptr;
    ASSERT_EQ(vqio_select("mixed"), 1);
    Start();
  }
  void TearDown() override {
    Stop();
    vqio_select("native");
    if (had_path_)
      setenv("LD_LIBRARY_PATH", saved_path_.c_str(), 1);
    else
      unsetenv("LD_LIBRARY_PATH");
  }
  void Start() {
    static char prog[] = "test_io";
    static char* argv[] = {prog, nullptr};
    rec_ = vqio_current();
    ASSERT_EQ(rec_->start(rec_, 1, argv), 0);
    started_ = true;
  }
  // Stops the subsystem as vqio_exit does (superfile directories are
  // written back); Start makes a fresh one.
  void Stop() {
    if (started_) rec_->stop(rec_, 0);
    started_ = false;
  }
  // velquin.ini in the test's directory, which becomes LD_LIBRARY_PATH.
  void WriteIni(const std::string& text) {
    WriteFile(dir_.file("velquin.ini"), text);
    setenv("LD_LIBRARY_PATH", dir_.path().c_str(), 1);
  }
  // An ini file mapping each superfile name to dir/name.sf.
  void MapSuperfiles(const std::vector<std::string>& names) {
    std::string ini = "[SuperFiles]\n";
    for (const std::string& n : names) ini += n + "=" + SfPath(n) + "\n";
    WriteIni(ini);
  }
  std::string SfPath(const std::string& name) const { return dir_.file(name + ".sf"); }

  TempDir dir_;
  IoSubsystem* rec_ = nullptr;
  bool started_ = false;
  std::string saved_path_;
  bool had_path_ = false;
};

// ---------------------------------------------------------------------------
// The superfile format, read and written independently of the layer.

inline int32_t Le32(const std::string& b, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b.at(at + i));
  return static_cast<int32_t>(v);
}
inline void PutLe32(std::string& b, size_t at, int32_t v) {
  uint32_t u = static_cast<uint32_t>(v);
  for (int i = 0; i < 4; ++i) b.at(at + i) = static_cast<char>((u >> (8 * i)) & 0xff);
}

struct SfMember {
  std::string name;
  int32_t offset = 0, size = 0, capacity = 0;
  uint32_t atime = 0, mtime = 0, ctime = 0;
  std::string data;  // size bytes at 1024 + offset
};

struct SfBlock {
  int32_t at, next, used;
};

struct SfImage {
  int32_t magic = 0, dir_offset = 0, count = 0, end_of_data = 0;
  std::vector<SfBlock> blocks;
  std::vector<SfMember> members;
  bool ok = false;  // the header and every block could be read
};

// Reads the header, follows the directory blocks and takes each member's
// data. Unused entry slots must be all zero bytes.
inline SfImage ReadSuperfile(const std::string& b) {
  SfImage img;
  if (b.size() < 16) return img;
  img.magic = Le32(b, 0);
  img.dir_offset = Le32(b, 4);
  img.count = Le32(b, 8);
  img.end_of_data = Le32(b, 12);
  int32_t at = img.dir_offset;
  for (int guard = 0; at != 0 && guard < 1000; ++guard) {
    if (static_cast<size_t>(at) + 1088 > b.size()) return img;
    SfBlock blk{at, Le32(b, at), Le32(b, at + 4)};
    if (blk.used < 0 || blk.used > 10) return img;
    img.blocks.push_back(blk);
    for (int i = 0; i < 10; ++i) {
      size_t e = static_cast<size_t>(at) + 8 + 108 * i;
      if (i >= blk.used) {
        if (b.substr(e, 108) != std::string(108, '\0')) return img;
        continue;
      }
      SfMember m;
      m.name = std::string(b.c_str() + e);
      if (Le32(b, e + 80) != 0) return img;
      m.offset = Le32(b, e + 84);
      m.size = Le32(b, e + 88);
      m.capacity = Le32(b, e + 92);
      m.atime = static_cast<uint32_t>(Le32(b, e + 96));
      m.mtime = static_cast<uint32_t>(Le32(b, e + 100));
      m.ctime = static_cast<uint32_t>(Le32(b, e + 104));
      size_t d = 1024 + static_cast<size_t>(m.offset);
      if (d + m.size > b.size()) return img;
      m.data = b.substr(d, static_cast<size_t>(m.size));
      img.members.push_back(m);
    }
    at = blk.next;
  }
  img.ok = true;
  return img;
}

// Builds a superfile: each member at its own offset and capacity (data
// padded with '.'), the directory in blocks of `per_block` entries after
// end_of_data, time stamps as given.
inline std::string MakeSuperfile(const std::vector<SfMember>& members, int32_t end_of_data,
                                 int per_block = 10) {
  std::string b(static_cast<size_t>(end_of_data), '\0');
  PutLe32(b, 0, 1234567);
  PutLe32(b, 4, end_of_data);
  PutLe32(b, 8, static_cast<int32_t>(members.size()));
  PutLe32(b, 12, end_of_data);
  for (const SfMember& m : members) {
    std::string space(static_cast<size_t>(m.capacity), '.');
    space.replace(0, m.data.size(), m.data);
    b.replace(1024 + static_cast<size_t>(m.offset), space.size(), space);
  }
  size_t n = members.size();
  for (size_t first = 0; first < n; first += static_cast<size_t>(per_block)) {
    size_t used = std::min(n - first, static_cast<size_t>(per_block));
    size_t at = b.size();
    b.append(1088, '\0');
    PutLe32(b, at, first + used < n ? static_cast<int32_t>(at + 1088) : 0);
    PutLe32(b, at + 4, static_cast<int32_t>(used));
    for (size_t i = 0; i < used; ++i) {
      const SfMember& m = members[first + i];
      size_t e = at + 8 + 108 * i;
      b.replace(e, m.name.size(), m.name);
      PutLe32(b, e + 84, m.offset);
      PutLe32(b, e + 88, static_cast<int32_t>(m.data.size()));
      PutLe32(b, e + 92, m.capacity);
      PutLe32(b, e + 96, static_cast<int32_t>(m.atime));
      PutLe32(b, e + 100, static_cast<int32_t>(m.mtime));
      PutLe32(b, e + 104, static_cast<int32_t>(m.ctime));
    }
  }
  return b;
}

// Whole-content helpers through the layer's low-level calls.
inline bool WriteAll(int fd, const std::string& s) {
  return vqio_write(fd, s.data(), s.size()) == static_cast<ssize_t>(s.size());
}
inline std::string ReadAll(int fd) {
  std::string out;
  char buf[700];
  ssize_t r;
  while ((r = vqio_read(fd, buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(r));
  return out;
}

}  // namespace iotest
