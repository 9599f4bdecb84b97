#include "watchdog.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace tulim {
namespace test {

watchdog::watchdog(const std::string& what, double seconds) {
  m_thread = std::thread([this, what, seconds] {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_done.wait_for(lock, std::chrono::duration<double>(seconds), [this] { return m_finished; })) {
      fprintf(stderr, "watchdog: %s still running after %g s\n", what.c_str(), seconds);
      fflush(stderr);
      std::_Exit(3);
    }
  });
}

watchdog::~watchdog() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_finished = true;
  }
  m_done.notify_all();
  m_thread.join();
}

}  // namespace test
}  // namespace tulim
