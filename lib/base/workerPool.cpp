#include "workerPool.h"

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <limits>
#include <system_error>

#include "platform/cLocaleScope.h"
#include "platform/threadElsewhere.h"
#include "usableCpus.h"

namespace tulim {

namespace {

// The shared pool, and the lock that makes it once. Across a fork the lock is held, so that
// the child finds it free and the pointer whole.
std::mutex g_sharedMutex;
workerPool* g_shared = nullptr;
// The pools a child found at its fork: their threads stayed in the parent, so they are never
// used again, but they stay reachable.
std::vector<workerPool*>* g_forkedAway = nullptr;

void forkPrepare() { g_sharedMutex.lock(); }
void forkParent() { g_sharedMutex.unlock(); }
void forkChild() {
  if (g_shared) {
    if (!g_forkedAway) g_forkedAway = new std::vector<workerPool*>;
    g_forkedAway->push_back(g_shared);
    g_shared = nullptr;
  }
  g_sharedMutex.unlock();
}

}  // namespace

std::atomic<double> workerPool::s_minSharedWork{workerPool::MIN_SHARED_WORK};

struct workerPool::job {
  const std::function<void(size_t)>* part = nullptr;
  size_t n = 0;
  std::atomic<size_t> next{0};
  std::atomic<size_t> ended{0};
  std::atomic<bool> leadDone{false};
  std::mutex errorMutex;
  std::exception_ptr error;
  workerPool* pool = nullptr;
};

workerPool::workerPool(int threadNum) { m_threadNum = std::max(1, std::min(threadNum, usableCpuCount())); }

workerPool& workerPool::shared() {
  std::lock_guard<std::mutex> lock(g_sharedMutex);
  if (!g_shared) {
    static bool forkHandled = false;
    if (!forkHandled) forkHandled = pthread_atfork(forkPrepare, forkParent, forkChild) == 0;
    g_shared = new workerPool(MAX_SHARED_THREADS);
  }
  return *g_shared;
}

workerPool::~workerPool() {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_stop = true;
  m_startEnded.wait(lock, [&] { return !m_starting; });
  lock.unlock();
  m_wake.notify_all();
  for (std::thread& thread : m_threads) thread.join();
}

size_t workerPool::helpersFor(double work) {
  if (!pays(work)) return 0;
  const double threads = std::ceil(work / HELPER_WORK);
  return threads > MAX_SHARED_THREADS ? MAX_SHARED_THREADS - 1 : std::max<size_t>(1, static_cast<size_t>(threads) - 1);
}

void workerPool::prepare(size_t helpers) {
  helpers = std::min(helpers, static_cast<size_t>(m_threadNum - 1));
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_stop || helpers <= m_target) return;
    m_target = helpers;
    // A thread that is starting others starts these too.
    if (m_starting) return;
    m_starting = true;
    ++m_spawned;
  }
  // That thread starts the others, so that the caller waits for one start only. A thread the
  // system refuses leaves the work to those that started (and to the caller).
  try {
    std::thread first = threadElsewhere([this] {
      startOthers();
      threadMain();
    });
    std::lock_guard<std::mutex> lock(m_mutex);
    m_threads.push_back(std::move(first));
  } catch (const std::system_error&) {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_target = --m_spawned;
      m_starting = false;
    }
    m_startEnded.notify_all();
  }
}

size_t workerPool::prepared() {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_target;
}

void workerPool::startOthers() {
  std::unique_lock<std::mutex> lock(m_mutex);
  while (!m_stop && m_spawned < m_target) {
    ++m_spawned;
    lock.unlock();
    try {
      std::thread other = threadElsewhere([this] { threadMain(); });
      lock.lock();
      m_threads.push_back(std::move(other));
    } catch (const std::system_error&) {
      lock.lock();
      m_target = --m_spawned;
    }
  }
  m_starting = false;
  lock.unlock();
  m_startEnded.notify_all();
}

void workerPool::work(job& j) {
  for (size_t i = j.next++; i < j.n; i = j.next++) {
    try {
      (*j.part)(i);
    } catch (...) {
      std::lock_guard<std::mutex> lock(j.errorMutex);
      if (!j.error) j.error = std::current_exception();
    }
    if (++j.ended == j.n) {
      // Under the lock, so that the caller cannot miss the news between its test and its wait.
      std::lock_guard<std::mutex> lock(j.pool->m_mutex);
      j.pool->m_done.notify_all();
    }
  }
}

void workerPool::threadMain() {
  // A host's locale is the process's and reaches every thread it did not set one for: the
  // parts read and print numbers in the C locale, as the library's entry points do.
  const cLocaleScope cLocale;
  size_t seen = 0;
  for (;;) {
    std::shared_ptr<job> j;
    {
      std::unique_lock<std::mutex> lock(m_mutex);
      m_wake.wait(lock, [&] { return m_stop || m_generation != seen; });
      if (m_stop) return;
      seen = m_generation;
      j = m_job;
    }
    // A thread that wakes after the job has ended finds no part left and touches nothing else.
    work(*j);
  }
}

void workerPool::run(size_t n, const std::function<void(size_t)>& part) {
  run(n, part, std::numeric_limits<double>::infinity());
}

void workerPool::run(size_t n, const std::function<void(size_t)>& part, double work) {
  if (n == 0) return;
  auto j = std::make_shared<job>();
  j->part = &part;
  j->n = n;
  j->pool = this;
  const size_t helpers = std::min({n - 1, static_cast<size_t>(m_threadNum - 1), helpersFor(work)});
  if (helpers == 0) {
    workerPool::work(*j);
    if (j->error) std::rethrow_exception(j->error);
    return;
  }
  prepare(helpers);
  publish(j, helpers);
  workerPool::work(*j);
  finish(*j);
}

void workerPool::publish(const std::shared_ptr<job>& j, size_t wanted) {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_job = j;
    ++m_generation;
  }
  // Each wake-up costs the woken thread, and the system, tens of microseconds, and a job
  // wants so many threads only. One that is not asleep yet sees the new generation before it
  // waits, and takes part when a part is left.
  if (wanted >= static_cast<size_t>(m_threadNum - 1)) {
    m_wake.notify_all();
  } else {
    for (size_t k = 0; k < wanted; k++) m_wake.notify_one();
  }
}

void workerPool::finish(job& j) {
  {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_done.wait(lock, [&] { return j.ended == j.n; });
  }
  if (j.error) std::rethrow_exception(j.error);
}

void workerPool::runBeside(size_t helpers, const std::function<void(size_t, const std::atomic<bool>&)>& helper,
                           const std::function<void()>& lead) {
  if (helpers == 0 || m_threadNum == 1) {
    lead();
    return;
  }
  auto j = std::make_shared<job>();
  const std::function<void(size_t)> part = [&](size_t i) {
    if (!j->leadDone) helper(i, j->leadDone);
  };
  j->part = &part;
  j->n = helpers;
  j->pool = this;
  publish(j, helpers);
  std::exception_ptr leadError;
  try {
    lead();
  } catch (...) {
    leadError = std::current_exception();
  }
  j->leadDone = true;
  // The parts no thread took end at once here.
  work(*j);
  try {
    finish(*j);
  } catch (...) {
    if (!leadError) throw;
  }
  if (leadError) std::rethrow_exception(leadError);
}

}  // namespace tulim
