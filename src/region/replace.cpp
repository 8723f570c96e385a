// Replacing region files through the commit (commit/commit.h): the new
// content of a region file goes to a new file beside it, which is synced
// and handed to the commit; the data dictionary writer then puts it in
// place together with the data dictionary that describes it.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "commit/commit.h"
#include "region/region.h"

namespace {

// The new files open for writing, by their streams.
std::vector<std::pair<VqStream*, std::string>>& open_files() {
  static std::vector<std::pair<VqStream*, std::string>> files;
  return files;
}

}  // namespace

bool region_file_in_place(const char* region_file) {
  return region_file != nullptr && region_file[0] == '@' && region_file[1] != '\0' &&
         std::strchr(region_file + 1, '@') != nullptr;
}

VqStream* region_replace_open(const char* region_file, int* denied) {
  std::string fresh;
  if (commit_create(region_file, &fresh, denied) != 0) return nullptr;
  VqStream* stream = vqio_fopen(fresh.c_str(), "r+");
  if (stream == nullptr) {
    const int error = errno;
    commit_discard(fresh);
    errno = error;
    return nullptr;
  }
  open_files().emplace_back(stream, fresh);
  return stream;
}

int region_replace_commit(VqStream* fresh) {
  auto& files = open_files();
  auto found = files.begin();
  while (found != files.end() && found->first != fresh) ++found;
  if (fresh == nullptr || found == files.end()) {
    errno = EINVAL;
    return -1;
  }
  const std::string name = found->second;
  files.erase(found);
  const int fd = vqio_system_fd(vqio_fileno(fresh));
  const bool synced = vqio_fflush(fresh) == 0 && (fd < 0 || fsync(fd) == 0);
  if (vqio_fclose(fresh) != 0 || !synced) return 1;
  return commit_ready(name) == 0 ? 0 : -1;
}
