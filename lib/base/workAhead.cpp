#include "workAhead.h"

#include <system_error>
#include <utility>

#include "platform/cLocaleScope.h"
#include "platform/threadElsewhere.h"

namespace tulim {

workAhead::workAhead(const std::function<void()>& work) {
  try {
    m_thread = threadElsewhere([this, work] { run(work); });
  } catch (const std::system_error&) {
    run(work);
  }
}

void workAhead::run(const std::function<void()>& work) {
  std::exception_ptr error;
  try {
    // In the C locale, as on the library's entry points: a new thread has the process's.
    const cLocaleScope cLocale;
    work();
  } catch (...) {
    error = std::current_exception();
  }
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_error = error;
    m_done = true;
  }
  // Outside the lock, so that the waiter wakes to a free mutex; the object lives on until the
  // thread is joined.
  m_ended.notify_all();
}

void workAhead::wait() {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_ended.wait(lock, [this] { return m_done; });
  if (m_error) std::rethrow_exception(std::exchange(m_error, nullptr));
}

workAhead::~workAhead() {
  if (m_thread.joinable()) m_thread.join();
}

}  // namespace tulim
