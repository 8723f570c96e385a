// The data dictionary's lock: the file named by <Locks><Semaphore>, held
// with a non-blocking lockf lock from set-up until the data dictionary has
// been rewritten, so that two builders of one data dictionary exclude each
// other. The semaphore must be a file of its own: a POSIX lock is dropped
// when any descriptor of its file is closed.
#include <unistd.h>

#include <cstdlib>

#include "addgi/addgi.h"
#include "builder/builder.h"
#include "madat/madat.h"
#include "msg/msg.h"

MadNode* addgilo(MadNode* tree, std::optional<std::string>* semaphore, std::optional<std::string>* lock_index,
                 long* next_id, std::optional<std::string>* lock_file) {
  MadNode* locks = tree;
  if (locks != nullptr && locks->kind == MAD_ROOT) locks = madatgc(madatgc(tree, DD_DB), DD_Locks);
  if (locks == nullptr) return nullptr;
  if (locks->kind != MAD_TAG || locks->tag_id != DD_Locks) {
    vq_report(15, GetMsgNumText(40000), "addgilo");
    return nullptr;
  }
  auto text = [](const MadNode* node) -> std::optional<std::string> {
    const char* v = madatgv(node);
    if (v == nullptr || *v == '\0') return std::nullopt;
    return std::string(v);
  };
  if (semaphore != nullptr) *semaphore = text(madatgc(locks, DD_Semaphore));
  if (lock_index != nullptr) *lock_index = text(madatgc(locks, DD_LockIndex));
  if (next_id != nullptr) *next_id = addgioi(locks, DD_NextID, "addgilo", "<Locks><NextID>");
  if (lock_file != nullptr) {
    *lock_file = std::nullopt;
    const MadNode* db = madatgc(tree != nullptr && tree->kind == MAD_ROOT ? tree : nullptr, DD_DB);
    for (const MadNode* s = madatgc(db, DD_Regions); s != nullptr; s = madatns(s, DD_Regions)) {
      for (const MadNode* r = madatgc(s, DD_Region); r != nullptr; r = madatns(r, DD_Region)) {
        if (text(madatgc(r, DD_Name)) == std::optional<std::string>("Locks")) {
          *lock_file = text(madatgc(madatgc(r, DD_File), DD_SysName));
        }
      }
    }
  }
  return locks;
}

int lokcfgl(const char* path) {
  int fd = vqio_open(path, O_RDWR);
  if (fd < 0) {
    vq_report(16, "lokcfgl: open failed");
    return -1;
  }
  // The lock is taken on the system's descriptor: under the mixed subsystem
  // a layer descriptor is a slot of its own table (a superfile member has no
  // system descriptor of its own and cannot be locked).
  if (lockf(vqio_system_fd(fd), F_TLOCK, 0) != 0) {
    vq_report(16, "lokcfgl: lockf failed");
    vqio_close(fd);
    return -1;
  }
  return fd;
}

void lokcffl(int fd) {
  if (vqio_close(fd) != 0) vq_report(16, "lokcffl: close failed");
}

int addgetlock(const char* dd_name) {
  MadNode* tree = addpadd(dd_name, {DD_Locks});
  if (tree == nullptr) return 0;
  std::optional<std::string> semaphore;
  addgilo(tree, &semaphore, nullptr, nullptr, nullptr);
  madmtfr(tree);
  if (!semaphore) return 0;
  int fd = lokcfgl(semaphore->c_str());
  return fd > 0 ? fd : 0;
}
