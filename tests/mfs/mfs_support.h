// Shared helpers of the multi-file stream tests: a fixture with a member
// directory and a private temporary directory (TMPDIR), chains compiled from
// filter-list texts, and whole-stream reads.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "io/vqio.h"
#include "mfs/mfs.h"

namespace mfstest {

inline void EnsureStarted() {
  static char name[] = "test_mfs";
  static char* argv[] = {name, nullptr};
  vqio_start(1, argv, nullptr);
}

inline std::string MakeTempDir(const char* stem) {
  std::string pattern = (std::filesystem::temp_directory_path() / stem).string() + "-XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  if (!mkdtemp(buf.data())) std::abort();
  return buf.data();
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Member contents: every byte value occurs, in an order without short
// periods (so a byte read from the wrong offset shows).
inline std::string MemberBytes(size_t n) {
  std::string s(n, '\0');
  uint32_t x = 12345;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    s[i] = static_cast<char>((x >> 16) & 0xff);
  }
  return s;
}

// Names of the files in a directory.
inline std::vector<std::string> ListDir(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    names.push_back(e.path().filename().string());
  return names;
}

// A chain compiled from a filter-list text with the built-in formats.
class Chain {
 public:
  explicit Chain(const std::string& list) {
    types_ = mfs_ft_new(10, 10);
    mfs_ft_add_all(types_, mfs_builtin_formats());
    row_.id = 0;
    row_.text = list;
    row_.chain = nullptr;
    mfs_compile_filter_list(&row_, types_);
  }
  ~Chain() {
    mfs_chain_destroy(row_.chain);
    mfs_ft_free(types_);
  }
  Chain(const Chain&) = delete;
  Chain& operator=(const Chain&) = delete;
  MfsStream* get() const { return row_.chain; }
  MfsStream* operator->() const { return row_.chain; }

 private:
  MfsFilterTypeTable* types_;
  MfsFilterList row_;
};

// Everything the stream yields from where it stands, read in pieces.
inline std::string ReadAll(MfsStream* s, long piece = 1024) {
  std::string out;
  std::vector<char> buf(static_cast<size_t>(piece));
  for (;;) {
    const long n = s->read(s, buf.data(), piece);
    if (n <= 0) break;
    out.append(buf.data(), static_cast<size_t>(n));
  }
  return out;
}

// Up to n bytes from where the stream stands.
inline std::string ReadSome(MfsStream* s, long n) {
  std::string out(static_cast<size_t>(n), '\0');
  const long got = s->read(s, out.data(), n);
  out.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return out;
}

// The fixture: members live in dir_, sys temporary files in tmp_ (TMPDIR).
class MfsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureStarted();
    dir_ = MakeTempDir("mfs-members");
    tmp_ = MakeTempDir("mfs-tmp");
    const char* old = std::getenv("TMPDIR");
    had_tmpdir_ = old != nullptr;
    if (old) old_tmpdir_ = old;
    setenv("TMPDIR", tmp_.c_str(), 1);
  }
  void TearDown() override {
    if (had_tmpdir_) {
      setenv("TMPDIR", old_tmpdir_.c_str(), 1);
    } else {
      unsetenv("TMPDIR");
    }
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
    std::filesystem::remove_all(tmp_, ec);
  }
  std::string Member(const std::string& name, const std::string& bytes) {
    const std::string path = dir_ + "/" + name;
    WriteFile(path, bytes);
    return path;
  }
  std::vector<std::string> TempFiles() const { return ListDir(tmp_); }

  std::string dir_, tmp_;
  bool had_tmpdir_ = false;
  std::string old_tmpdir_;
};

}  // namespace mfstest
