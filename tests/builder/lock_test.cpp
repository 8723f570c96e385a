// The data dictionary's lock: <Locks><Semaphore> held with a lockf lock.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include "builder/builder.h"
#include "builder/fatal_reports.h"
#include "dd/scratch.h"

namespace {

class Lock : public ScratchDir {};

// Whether another process can take the lock on path: 0 it can, 1 it gets
// "lokcfgl: lockf failed", 2 something else.
int other_process_locks(const std::string& path) {
  pid_t child = fork();
  if (child == 0) {
    set_error_handler(record_report);
    recorded_reports().clear();
    int fd = lokcfgl(path.c_str());
    int code = 2;
    if (fd > 0) code = 0;
    else if (!recorded_reports().empty() && recorded_reports().back().text == "lokcfgl: lockf failed")
      code = 1;
    _exit(code);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 2;
}

TEST_F(Lock, SemaphoreHeldUntilReleased) {
  FatalRecorder recorder;
  const std::string sem = path("db.sem");
  write_file(sem, "");
  write_file(path("db.dd"), "<DB>\n <Locks>\n  <Semaphore>" + sem +
                                "</Semaphore>\n  <NextID>4</NextID>\n </Locks>\n</DB>\n");
  int fd = addgetlock(path("db.dd").c_str());
  ASSERT_GT(fd, 0);
  EXPECT_EQ(other_process_locks(sem), 1);
  lokcffl(fd);
  EXPECT_EQ(other_process_locks(sem), 0);
}

TEST_F(Lock, NoSemaphoreNoLock) {
  FatalRecorder recorder;
  write_file(path("db.dd"), "<DB>\n <Text><Files><File><SysName>t</SysName></File></Files></Text>\n</DB>\n");
  EXPECT_EQ(addgetlock(path("db.dd").c_str()), 0);
  write_file(path("db.dd"), "<DB>\n <Locks><NextID>1</NextID></Locks>\n</DB>\n");
  EXPECT_EQ(addgetlock(path("db.dd").c_str()), 0);
}

TEST_F(Lock, MissingSemaphoreFile) {
  FatalRecorder recorder;
  write_file(path("db.dd"), "<DB>\n <Locks><Semaphore>" + path("none.sem") + "</Semaphore></Locks>\n</DB>\n");
  FatalReport r = fatal_of([&] { addgetlock(path("db.dd").c_str()); });
  EXPECT_EQ(r.severity, 16);
  EXPECT_EQ(r.text, "lokcfgl: open failed");
}

TEST_F(Lock, LocksEntryValues) {
  FatalRecorder recorder;
  write_file(path("db.dd"),
             "<DB>\n <Locks><Semaphore>s</Semaphore><LockIndex>li</LockIndex><NextID>7</NextID></Locks>\n"
             " <Regions><Region><Name>Locks</Name><File><SysName>locks.rgn</SysName></File>"
             "<Count>0</Count><Type>pairs</Type></Region></Regions>\n</DB>\n");
  MadNode* tree = addpadd(path("db.dd").c_str());
  ASSERT_NE(tree, nullptr);
  std::optional<std::string> semaphore, index, file;
  long next = 0;
  MadNode* locks = addgilo(tree, &semaphore, &index, &next, &file);
  ASSERT_NE(locks, nullptr);
  EXPECT_EQ(semaphore.value_or(""), "s");
  EXPECT_EQ(index.value_or(""), "li");
  EXPECT_EQ(next, 7);
  EXPECT_EQ(file.value_or(""), "locks.rgn");
  FatalReport r = fatal_of([&] { addgilo(locks->child, nullptr, nullptr, nullptr, nullptr); });
  EXPECT_EQ(r.text, "40000: addgilo: Bad args.");
  madmtfr(tree);
}

}  // namespace
