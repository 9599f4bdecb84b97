#include "waveMessageQueue.h"

namespace tulim {

void waveMessageQueue::post(const waveMessage& message) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_quit) return;
    m_messages.push_back(message);
  }
  m_ready.notify_one();
}

bool waveMessageQueue::get(waveMessage& message) {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_ready.wait(lock, [this] { return !m_messages.empty() || m_quit; });
  if (m_messages.empty()) return false;
  message = m_messages.front();
  m_messages.pop_front();
  return true;
}

void waveMessageQueue::quit() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_quit = true;
  }
  m_ready.notify_all();
}

}  // namespace tulim
