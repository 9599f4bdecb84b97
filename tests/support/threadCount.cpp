#include "threadCount.h"

#include <dirent.h>

#include <chrono>
#include <thread>

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

}  // namespace test
}  // namespace tulim
