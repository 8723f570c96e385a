// Writing a data dictionary without ever losing the old one.
//
// The text goes to a new file in the same directory as the data dictionary
// (the target of a symbolic link, so the link stays a link), made with the
// old one's permissions. Only when the whole text was written, flushed,
// synced and closed without error does the commit (commit/commit.h) put it
// in place, together with the other new files of the run. On any failure
// the new file is removed and the old data dictionary stays as it was. A data dictionary
// this process may not write is refused, as an in-place write would be.
//
// A superfile member path ("@superfile@member") cannot be replaced by
// rename; it is written in place through the I/O layer.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "commit/commit.h"
#include "dd/dd.h"
#include "msg/msg.h"

namespace {

bool is_superfile_member(const char* path) {
  return path[0] == '@' && strchr(path + 1, '@') != nullptr;
}

// Writes the tree on an open output stream: 0, or the reported status.
int write_tree(VqStream* file, const MadNode* root) {
  MadStream* stream =
      madioss(nullptr, file, nullptr, nullptr, DdTagTable, &DdDelimiters, nullptr);
  if (!stream) {
    vq_report(15, GetMsgNumText(60009), "addwrdd");
    return 15;
  }
  int status = madiowr(stream, root);
  if (status != 0) {
    vq_report(status, GetMsgNumText(60011), "addutwrdd");
    madiocl(stream);
    return status;
  }
  if (madiocl(stream) != 0 || vqio_fflush(file) != 0 || vqio_ferror(file)) {
    vq_report(16, GetMsgNumText(60011), "addutwrdd");
    return 16;
  }
  return 0;
}

int append_byte(void* text, int byte) {
  static_cast<std::string*>(text)->push_back(static_cast<char>(byte));
  return byte;
}

// Superfile members cannot be replaced by a new file: they are rewritten in
// place. The whole text is made first and written in one call, then the
// member is cut to it, so that a member that cannot take the new text
// (the superfile ends the program at a write past the space of a member
// with a successor, before writing anything) keeps its old text.
int write_in_place(const char* path, const MadNode* root) {
  std::string text;
  MadStream* stream =
      madioss(nullptr, &text, nullptr, append_byte, DdTagTable, &DdDelimiters, nullptr);
  if (!stream) {
    vq_report(15, GetMsgNumText(60009), "addwrdd");
    return 15;
  }
  int status = madiowr(stream, root);
  if (madiocl(stream) != 0 && status == 0) status = 16;
  if (status != 0) {
    vq_report(status, GetMsgNumText(60011), "addutwrdd");
    return status;
  }
  const int fd = vqio_open(path, O_WRONLY | O_CREAT, 0666);
  if (fd < 0) {
    vq_report(16, GetMsgNumText(60002), "addutwr", path);
    return 16;
  }
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = vqio_write(fd, text.data() + done, text.size() - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  const bool ok = done == text.size() && vqio_ftruncate(fd, static_cast<off_t>(done)) == 0;
  if (vqio_close(fd) != 0 || !ok) {
    vq_report(16, GetMsgNumText(60011), "addutwrdd");
    return 16;
  }
  return 0;
}

// Makes the data written durable; a descriptor that cannot be synced (not
// a plain file of this system) is left to the close.
bool sync_file(VqStream* file) {
  // Under the mixed subsystem a layer descriptor is not a system one.
  const int fd = vqio_system_fd(vqio_fileno(file));
  if (fd < 0 || fsync(fd) == 0) return true;
  return errno == EINVAL || errno == EBADF || errno == EROFS;
}

}  // namespace

int addutwrdd(const char* path, const MadNode* root) {
  if (!root || !path) {
    // Writing nothing over a data dictionary would lose it.
    vq_report(15, GetMsgNumText(60011), "addutwrdd");
    return 15;
  }
  if (is_superfile_member(path)) {
    // The new files of the run go in place first; a member is not renamed.
    const int status = commit_run("", "addutwrdd");
    return status != 0 ? status : write_in_place(path, root);
  }

  const std::string target = commit_resolve_links(path);
  struct stat old;
  // A file that may not be written stays protected: the new file would
  // otherwise replace it through the directory.
  if (stat(target.c_str(), &old) == 0 && vqio_access(target.c_str(), W_OK) != 0) {
    vq_report(16, GetMsgNumText(60002), "addutwr", path);
    return 16;
  }
  std::string temporary;
  VqStream* file = commit_create(target, &temporary, nullptr) == 0
                       ? vqio_fopen(temporary.c_str(), "w")
                       : nullptr;
  if (!file) {
    const int saved = errno;
    if (!temporary.empty()) commit_discard(temporary);
    errno = saved;
    vq_report(16, GetMsgNumText(60002), "addutwr", path);
    return 16;
  }

  int status = write_tree(file, root);
  if (status == 0 && !sync_file(file)) {
    vq_report(16, GetMsgNumText(60011), "addutwrdd");
    status = 16;
  }
  if (vqio_fclose(file) != 0 && status == 0) {
    vq_report(16, GetMsgNumText(60011), "addutwrdd");
    status = 16;
  }
  if (status == 0 && commit_ready(temporary) != 0) {
    vq_report(16, GetMsgNumText(60011), "addutwrdd");
    status = 16;
  }
  int guard = -1;
  if (status == 0) {
    guard = dd_guard_begin(path, target);
    if (guard == -2) status = 15;
  }
  // The new data dictionary and every ready new file go in place together.
  if (status == 0) status = commit_run(temporary, "addutwrdd");
  if (status != 0) commit_discard(temporary);
  dd_guard_end(path, target, guard, status == 0);
  return status;
}
