#include "threadCount.h"

#include <dirent.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "workerPool.h"

namespace tulim {
namespace test {

int threadCount() {
  int n = 0;
  if (DIR* dir = opendir("/proc/self/task")) {
    while (dirent* entry = readdir(dir))
      if (entry->d_name[0] != '.') ++n;
    closedir(dir);
  }
  return n;
}

int settledThreadCount(int expected) {
  int now = threadCount();
  for (int i = 0; i < 400 && now > expected; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    now = threadCount();
  }
  return now;
}

int poolThreadsPreparedBy(const std::function<void()>& f) {
  const pid_t child = fork();
  if (child == 0) {
    f();
    _exit(static_cast<int>(workerPool::shared().prepared()));
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace test
}  // namespace tulim
