// How far one thread has got, for threads that work ahead of it and wait when they have
// caught up: a waiter spins a few microseconds at most, then sleeps in the kernel until the
// value changes or the signal is closed, so a waiting thread costs no CPU.
#pragma once

#include <atomic>
#include <cstdint>

namespace tulim {

class progressSignal {
 public:
  progressSignal() = default;
  progressSignal(const progressSignal&) = delete;
  progressSignal& operator=(const progressSignal&) = delete;

  // Starts again at value, open.
  void reset(int32_t value);
  // The new value (never CLOSED); wakes every waiter, or with wake false none: a waiter that
  // is asleep then sleeps on until a later post wakes it, and one that is not sees the value.
  void post(int32_t value, bool wake = true);
  // No more values: every wait returns false from now on.
  void close();
  // Closes the signal when it goes out of scope, however the scope is left.
  struct closeAtExit {
    progressSignal& signal;
    ~closeAtExit() { signal.close(); }
  };

  // The value now, or CLOSED.
  int32_t value() const { return m_value.load(std::memory_order_acquire); }
  // Waits until the value is other than seen; false once the signal is closed.
  bool waitPast(int32_t seen);

  static constexpr int32_t CLOSED = INT32_MIN;

 private:
  std::atomic<int32_t> m_value{0};
  std::atomic<int32_t> m_sleepers{0};
};

}  // namespace tulim
