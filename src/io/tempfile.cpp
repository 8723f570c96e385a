// Temporary file names and anonymous temporary streams.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include "io/stream_internal.h"

using namespace vqio_internal;

namespace {

// The directory of temporary files: the first that exists of $tmpdir,
// $TMPDIR, the caller's directory, "/usr/tmp/", "/tmp/" (Debian has no
// /usr/tmp), and else ".".
std::string temp_directory(const char* directory) {
  const char* candidates[] = {std::getenv("tmpdir"), std::getenv("TMPDIR"), directory,
                              "/usr/tmp/", "/tmp/"};
  for (const char* c : candidates)
    if (c && *c && vqio_access(c, 0) == 0) return c;
  return ".";
}

// The directory and the name stem: the directory, a "/" unless it ends in
// one, and the prefix.
std::string temp_stem(const char* directory, const char* prefix) {
  std::string stem = temp_directory(directory);
  if (stem.back() != '/') stem += '/';
  if (prefix) stem += prefix;
  return stem;
}

const long kMaxCounter = 1000000000L;

}  // namespace

char* vqio_tempnam(const char* directory, const char* prefix) {
  std::string stem = temp_stem(directory, prefix);
  for (long counter = 0; counter < kMaxCounter; ++counter) {
    std::string name = stem + std::to_string(counter);
    // A name whose test is refused (EACCES) is passed over like one that exists.
    if (vqio_access(name.c_str(), 0) == 0 || errno == EACCES) continue;
    char* result = static_cast<char*>(std::malloc(name.size() + 1));
    if (!result) {
      errno = ENOMEM;
      return nullptr;
    }
    std::memcpy(result, name.c_str(), name.size() + 1);
    return result;
  }
  errno = EEXIST;
  return nullptr;
}

VqStream* vqio_tmpfile() {
  // Each candidate is created exclusively and private (O_EXCL, 0600), so a
  // name that another process takes between test and open, or a planted
  // link, is never opened: the next candidate is tried instead.
  std::string stem = temp_stem(nullptr, nullptr);
  for (long counter = 0; counter < kMaxCounter; ++counter) {
    std::string name = stem + std::to_string(counter);
    int fd = vqio_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    if (fd < 0) {
      if (errno == EEXIST || errno == EACCES) continue;
      return nullptr;
    }
    VqStream* s = wrap_descriptor(fd, VQ_UPDATE, name.c_str());
    int saved = errno;
    vqio_unlink(name.c_str());
    if (!s) vqio_close(fd);
    errno = saved;
    return s;
  }
  errno = EEXIST;
  return nullptr;
}
