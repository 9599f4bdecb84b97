// A watchdog for tests that run threads: if the object is still alive after its time, the
// test program prints what hung and ends with a failure instead of blocking the run.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace tulim {
namespace test {

class watchdog {
 public:
  watchdog(const std::string& what, double seconds = 20);
  ~watchdog();
  watchdog(const watchdog&) = delete;
  watchdog& operator=(const watchdog&) = delete;

 private:
  std::mutex m_mutex;
  std::condition_variable m_done;
  bool m_finished = false;
  std::thread m_thread;
};

}  // namespace test
}  // namespace tulim
