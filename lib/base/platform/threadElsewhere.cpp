#include "threadElsewhere.h"

#include <pthread.h>
#include <sched.h>

#include <memory>
#include <mutex>
#include <utility>

namespace tulim {

std::thread threadElsewhere(std::function<void()> fn) {
#if defined(__linux__)
  cpu_set_t all;
  CPU_ZERO(&all);
  const int here = sched_getcpu();
  if (here < 0 || sched_getaffinity(0, sizeof all, &all) != 0 || CPU_COUNT(&all) < 2 || !CPU_ISSET(here, &all))
    return std::thread(std::move(fn));
  // The new thread takes the whole set back only once its creator has narrowed it: held
  // until then.
  auto narrowed = std::make_shared<std::mutex>();
  std::unique_lock<std::mutex> hold(*narrowed);
  std::thread thread([fn = std::move(fn), narrowed, all] {
    { const std::lock_guard<std::mutex> wait(*narrowed); }
    sched_setaffinity(0, sizeof all, &all);
    fn();
  });
  cpu_set_t others = all;
  CPU_CLR(here, &others);
  pthread_setaffinity_np(thread.native_handle(), sizeof others, &others);
  hold.unlock();
  return thread;
#else
  return std::thread(std::move(fn));
#endif
}

}  // namespace tulim
