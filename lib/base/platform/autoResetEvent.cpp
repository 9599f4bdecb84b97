#include "autoResetEvent.h"

namespace tulim {

void autoResetEvent::set() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_signalled = true;
  }
  m_cond.notify_one();
}

void autoResetEvent::wait() {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_cond.wait(lock, [this] { return m_signalled; });
  m_signalled = false;
}

}  // namespace tulim
