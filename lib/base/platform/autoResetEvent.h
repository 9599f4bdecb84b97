// An auto-reset event: set() lets one wait() through and the event resets itself as that
// wait returns; a set() with nobody waiting is kept for the next wait. The recorder's caller
// waits on one until its recording thread has got both buffers back.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>

namespace tulim {

class autoResetEvent {
 public:
  explicit autoResetEvent(const std::string& name = std::string()) : m_name(name) {}
  autoResetEvent(const autoResetEvent&) = delete;
  autoResetEvent& operator=(const autoResetEvent&) = delete;

  const std::string& name() const { return m_name; }
  void set();
  // Blocks until the event is set, without time-out, and resets it.
  void wait();

 private:
  const std::string m_name;
  std::mutex m_mutex;
  std::condition_variable m_cond;
  bool m_signalled = false;
};

}  // namespace tulim
