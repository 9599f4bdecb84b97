#include "platform/threadElsewhere.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>

#include <vector>

namespace tulim {
namespace {

// Every CPU of the caller's set, in order.
std::vector<int> allowedCpus() {
  cpu_set_t set;
  CPU_ZERO(&set);
  std::vector<int> cpus;
  if (sched_getaffinity(0, sizeof set, &set) != 0) return cpus;
  for (int c = 0; c < CPU_SETSIZE; c++)
    if (CPU_ISSET(c, &set)) cpus.push_back(c);
  return cpus;
}

// The thread runs its function with the caller's whole set of CPUs again, never narrowed for
// good: with the process's set, and with a set of one CPU, where nothing is narrowed. Many
// threads in a row, since the creator may be moved between its reading of its CPU and the
// thread's start.
TEST(ThreadElsewhere, RunsWithTheCallersWholeCpuSet) {
  const std::vector<int> process = allowedCpus();
  ASSERT_FALSE(process.empty());
  for (int round = 0; round < 50; round++) {
    std::vector<int> seen;
    bool ran = false;
    std::thread thread = threadElsewhere([&] {
      seen = allowedCpus();
      ran = true;
    });
    thread.join();
    ASSERT_TRUE(ran);
    ASSERT_EQ(seen, process) << "round " << round;
  }
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(process[0], &one);
  cpu_set_t before;
  ASSERT_EQ(sched_getaffinity(0, sizeof before, &before), 0);
  ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
  std::vector<int> seen;
  threadElsewhere([&] { seen = allowedCpus(); }).join();
  sched_setaffinity(0, sizeof before, &before);
  EXPECT_EQ(seen, std::vector<int>{process[0]});
}

}  // namespace
}  // namespace tulim
