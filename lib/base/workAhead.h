// A piece of work begun on a thread of its own for a caller that goes on meanwhile and later
// waits for the work's end, taking what it threw; the thread is joined when this ends, so that a
// caller that fails before it waits leaves nothing running. The work runs in the C locale.
#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace tulim {

class workAhead {
 public:
  // Runs work on a new thread, or here when the system gives none.
  explicit workAhead(const std::function<void()>& work);
  // Returns once work has returned; throws what it threw, once.
  void wait();
  // Waits for the thread, throwing nothing.
  ~workAhead();
  workAhead(const workAhead&) = delete;
  workAhead& operator=(const workAhead&) = delete;

 private:
  void run(const std::function<void()>& work);

  std::mutex m_mutex;
  std::condition_variable m_ended;
  bool m_done = false;
  std::exception_ptr m_error;
  std::thread m_thread;
};

}  // namespace tulim
