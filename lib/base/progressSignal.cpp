#include "progressSignal.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <climits>

#include "workerPool.h"

namespace tulim {

namespace {

// Long enough to catch a value that is about to come, short against a sleep and its wake-up.
constexpr auto SPIN_LIMIT = std::chrono::microseconds(3);

static_assert(sizeof(std::atomic<int32_t>) == sizeof(int32_t), "the futex word is the atomic itself");

void futexWait(std::atomic<int32_t>& word, int32_t expected) {
  syscall(SYS_futex, reinterpret_cast<int32_t*>(&word), FUTEX_WAIT_PRIVATE, expected, nullptr, nullptr, 0);
}

void futexWakeAll(std::atomic<int32_t>& word) {
  syscall(SYS_futex, reinterpret_cast<int32_t*>(&word), FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
}

}  // namespace

void progressSignal::reset(int32_t value) { m_value.store(value, std::memory_order_release); }

void progressSignal::post(int32_t value, bool wake) {
  m_value.store(value, std::memory_order_seq_cst);
  if (!wake) return;
  // A sleeper counts itself before it looks at the value, so one that missed this store is
  // counted here.
  if (m_sleepers.load(std::memory_order_seq_cst) > 0) futexWakeAll(m_value);
}

void progressSignal::close() { post(CLOSED); }

bool progressSignal::waitPast(int32_t seen) {
  int32_t now = m_value.load(std::memory_order_acquire);
  if (now == CLOSED) return false;
  if (now == seen) {
    const auto until = std::chrono::steady_clock::now() + SPIN_LIMIT;
    for (int i = 1; now == seen; i++) {
      cpuRelax();
      now = m_value.load(std::memory_order_acquire);
      if (i % 16 == 0 && std::chrono::steady_clock::now() >= until) break;
    }
  }
  while (now == seen) {
    m_sleepers.fetch_add(1, std::memory_order_seq_cst);
    // The kernel sleeps only while the word still holds seen, so a post between the load and
    // the sleep is not lost.
    if (m_value.load(std::memory_order_seq_cst) == seen) futexWait(m_value, seen);
    m_sleepers.fetch_sub(1, std::memory_order_seq_cst);
    now = m_value.load(std::memory_order_acquire);
  }
  return now != CLOSED;
}

}  // namespace tulim
