// Renaming a file over another through an intermediate name, so that the
// old target stays reachable until the new file stands in its place.
//
// The steps use hard links. On a file system without them (link refused
// with EPERM, EOPNOTSUPP or ENOSYS) the rename is done by rename(2), which
// replaces the target atomically. When a step fails after the old target
// was moved aside, it is put back, so a failed rename never loses the
// target.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "frgac/frgac.h"
#include "io/vqio.h"
#include "msg/msg.h"

namespace {

bool exists(const std::string& path) { return vqio_access(path.c_str(), F_OK) == 0; }

bool no_hard_links(int error) {
  return error == EPERM || error == EOPNOTSUPP || error == ENOSYS;
}

// "<directory of from>tmp.<pid>.<n>" for the first n whose name is free.
std::string intermediate_name(const std::string& from) {
  const size_t slash = from.rfind('/');
  const std::string dir = slash == std::string::npos ? "" : from.substr(0, slash + 1);
  const std::string stem = dir + "tmp." + std::to_string(static_cast<long>(getpid())) + ".";
  for (long n = 0;; ++n) {
    std::string name = stem + std::to_string(n);
    if (!exists(name)) return name;
  }
}

int failed(const std::string& from, const std::string& to, const std::string& middle, int error) {
  vq_report(2, "Rename from '%s' to '%s' using intermediate file '%s' failed. [%s]", from.c_str(),
            to.c_str(), middle.c_str(), std::strerror(error));
  return 16;
}

}  // namespace

int frgacrn(const char* from_name, const char* to_name) {
  const std::string from = from_name != nullptr ? from_name : "";
  const std::string to = to_name != nullptr ? to_name : "";
  const std::string middle = intermediate_name(from);
  if (!exists(from)) {
    vq_report(3, "Rename '%s' to '%s but '%s' does not exist.", from.c_str(), to.c_str(),
              from.c_str());
    return 16;
  }
  const bool target_present = exists(to);
  if (target_present && vqio_access(to.c_str(), W_OK) != 0) {
    vq_report(11, "Rename '%s' to '%s' but no permission to delete '%s'.", from.c_str(),
              to.c_str(), to.c_str());
    return 16;
  }
  if (target_present) {
    if (vqio_link(to.c_str(), middle.c_str()) != 0) {
      const int error = errno;
      if (no_hard_links(error)) {
        if (std::rename(from.c_str(), to.c_str()) == 0) return 0;
        return failed(from, to, middle, errno);
      }
      return failed(from, to, middle, error);
    }
    if (vqio_unlink(to.c_str()) != 0) {
      const int error = errno;
      vqio_unlink(middle.c_str());
      return failed(from, to, middle, error);
    }
  }
  if (vqio_link(from.c_str(), to.c_str()) != 0) {
    const int error = errno;
    if (target_present) vqio_link(middle.c_str(), to.c_str()), vqio_unlink(middle.c_str());
    if (!target_present && no_hard_links(error)) {
      if (std::rename(from.c_str(), to.c_str()) == 0) return 0;
      return failed(from, to, middle, errno);
    }
    return failed(from, to, middle, error);
  }
  if (vqio_unlink(from.c_str()) != 0) {
    const int error = errno;
    if (target_present) vqio_unlink(middle.c_str());
    return failed(from, to, middle, error);
  }
  if (target_present && vqio_unlink(middle.c_str()) != 0) {
    return failed(from, to, middle, errno);
  }
  return 0;
}
