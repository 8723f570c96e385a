// Writing a data dictionary without ever losing the old one.
//
// The text goes to a new file in the same directory as the data dictionary
// (the target of a symbolic link, so the link stays a link). Only when the
// whole text was written, flushed, synced and closed without error does
// the new file take the old one's permissions and replace it by rename,
// which is atomic within a directory. On any failure the new file is
// removed and the old data dictionary stays as it was. A data dictionary
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

#include "dd/dd.h"
#include "msg/msg.h"

namespace {

bool is_superfile_member(const char* path) {
  return path[0] == '@' && strchr(path + 1, '@') != nullptr;
}

std::string directory_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Follows symbolic links to the file they name (which may not exist yet).
std::string resolve_links(const char* path) {
  std::string current = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
    std::string link(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
    const ssize_t n = readlink(current.c_str(), link.data(), link.size());
    if (n <= 0 || static_cast<size_t>(n) >= link.size()) break;
    link.resize(static_cast<size_t>(n));
    if (link[0] == '/')
      current = link;
    else
      current = directory_of(current) + "/" + link;
  }
  return current;
}

// The new file being written, removed at exit should a fatal report end
// the program part way (reports of severity 3 and above do not return).
struct PendingFile {
  std::string name;
  bool cleanup_registered = false;
};
PendingFile pending;

void remove_pending_file() {
  if (!pending.name.empty()) unlink(pending.name.c_str());
}

void set_pending(const std::string& name) {
  if (!pending.cleanup_registered) {
    atexit(remove_pending_file);
    pending.cleanup_registered = true;
  }
  pending.name = name;
}

// Creates a new file next to target, named after it; its descriptor, or -1.
int create_temporary(const std::string& target, std::string* name) {
  const std::string dir = directory_of(target);
  const size_t slash = target.rfind('/');
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  for (int attempt = 0; attempt < 100; ++attempt) {
    *name = dir + "/." + base + "." + std::to_string(getpid()) + "-" + std::to_string(attempt) +
            ".new";
    const int fd = vqio_open(name->c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (fd >= 0) set_pending(*name);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
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
  if (is_superfile_member(path)) return write_in_place(path, root);

  const std::string target = resolve_links(path);
  struct stat old;
  const bool existed = stat(target.c_str(), &old) == 0;
  // A file that may not be written stays protected: the new file would
  // otherwise replace it through the directory.
  if (existed && vqio_access(target.c_str(), W_OK) != 0) {
    vq_report(16, GetMsgNumText(60002), "addutwr", path);
    return 16;
  }
  std::string temporary;
  const int fd = create_temporary(target, &temporary);
  VqStream* file = fd >= 0 ? vqio_fdopen(fd, "w") : nullptr;
  if (!file) {
    const int saved = errno;
    if (fd >= 0) {
      vqio_close(fd);
      vqio_unlink(temporary.c_str());
      pending.name.clear();
    }
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
  int guard = -1;
  if (status == 0) {
    guard = dd_guard_begin(path, target);
    if (guard == -2) status = 15;
  }
  if (status == 0) {
    if (existed) {
      // Keep the old file's permissions and, where allowed, its owner.
      if (chown(temporary.c_str(), old.st_uid, old.st_gid) != 0) {
        // Only a privileged process may give a file away; the new file then
        // keeps this process's owner.
      }
      chmod(temporary.c_str(), old.st_mode & 07777);
    }
    if (rename(temporary.c_str(), target.c_str()) != 0) {
      vq_report(16, GetMsgNumText(60011), "addutwrdd");
      status = 16;
    }
  }
  if (status != 0) {
    const int saved = errno;
    vqio_unlink(temporary.c_str());
    errno = saved;
  }
  dd_guard_end(path, target, guard, status == 0);
  pending.name.clear();
  return status;
}
