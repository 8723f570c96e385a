// The two temporary files of child processes (the SGML declaration in
// effect and the capacity exchange file): created exclusively under names
// made here, in the stream layer's temporary folder, kept on the front
// end's clean-up list, removed at the end or on the interrupting signals;
// and the read-back of the capacity figures a child left in the exchange
// file.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "finder/finder.h"
#include "finder/subdoc.h"
#include "sgml/entities/settings.h"
#include "sgml/parser_state.h"
#include "sgml/sgml.h"
#include "util/util.h"

namespace {

struct TempFiles {
  std::string declaration;  // empty until made
  std::string capacity;
};

TempFiles& temp_files() {
  static TempFiles* files = new TempFiles;  // read by the clean-up at exit
  return *files;
}

// Creates a new file exclusively (mode 0600) in the temporary folder, its
// name beginning with the program's stem and the kind: the open
// descriptor, the name in *name. Front message 7 and status 1 on failure.
int create_exclusive(const char* kind, std::string* name) {
  const std::string prefix = "tvr" + std::to_string(static_cast<long>(getpid())) + kind;
  for (int attempt = 0; attempt < 100; ++attempt) {
    char* candidate = vqio_tempnam(nullptr, prefix.c_str());
    if (candidate == nullptr) break;
    *name = candidate;
    std::free(candidate);
    const int fd = vqio_open(name->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
      front_cleanup_add(*name);
      return fd;
    }
    if (errno != EEXIST) break;
  }
  const int saved = errno;
  if (name->empty()) *name = prefix;
  front_fatal(kFrontCannotOpenFile, name->c_str(), std::strerror(saved));
}

}  // namespace

const std::string& sgmldecl_temp_file() {
  TempFiles& t = temp_files();
  if (!t.declaration.empty()) return t.declaration;
  // The handlers first: from here on an interrupting signal removes the
  // files (a signal that is ignored stays ignored).
  front_cleanup_signals();
  std::string name;
  const int fd = create_exclusive("d", &name);
  VqStream* out = vqio_fdopen(fd, "w");
  if (out == nullptr) {
    const int saved = errno;
    vqio_close(fd);
    front_fatal(kFrontCannotOpenFile, name.c_str(), std::strerror(saved));
  }
  t.declaration = name;
  sgmldecl_write(out);
  if (vqio_ferror(out) || vqio_fclose(out) != 0) {
    const int saved = errno != 0 ? errno : EIO;
    front_fatal(kFrontCannotOpenFile, name.c_str(), std::strerror(saved));
  }
  return t.declaration;
}

const std::string& capacity_temp_file() {
  TempFiles& t = temp_files();
  if (!t.capacity.empty()) return t.capacity;
  std::string name;
  const int fd = create_exclusive("c", &name);
  vqio_close(fd);
  t.capacity = name;
  return t.capacity;
}

void temp_files_remove() {
  TempFiles& t = temp_files();
  for (std::string* name : {&t.declaration, &t.capacity}) {
    if (name->empty()) continue;
    ::unlink(name->c_str());
    front_cleanup_drop(*name);
    name->clear();
  }
}

void signal_cleanup(int signal) { exit_files_on_signal(signal); }

void subdoc_read_capacity() {
  const std::string& name = temp_files().capacity;
  if (name.empty()) return;
  VqStream* in = vqio_fopen(name.c_str(), "r");
  if (in == nullptr) front_fatal(kFrontCannotOpenFile, name.c_str(), std::strerror(errno));
  // Place 0 (the total) is the parent's own to compute.
  int32_t values[CAPACITY_ENTRIES] = {};
  for (int i = 1; i < CAPACITY_ENTRIES; ++i) {
    long value = 0;
    if (vqio_fscanf(in, "%ld", &value) != 1) {
      vqio_fclose(in);
      front_fatal(kFrontCapacityBotch);
    }
    values[i] = value > INT32_MAX ? INT32_MAX : value < INT32_MIN ? INT32_MIN : static_cast<int32_t>(value);
  }
  vqio_fclose(in);
  capacity_max_merge(values);
}
