#include "workerPool.h"

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <limits>
#include <system_error>

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

void workerPool::prepare() { start(); }

void workerPool::start() {
  if (m_threadNum < 2 || m_started.exchange(true)) return;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_starting = true;
  }
  // The first thread starts the others, so that the caller waits for one start only. A thread
  // the system refuses leaves the work to those that started (and to the caller).
  try {
    std::thread first([this] {
      std::vector<std::thread> others;
      try {
        while (static_cast<int>(others.size()) + 2 < m_threadNum) others.emplace_back([this] { threadMain(); });
      } catch (const std::system_error&) {
      }
      {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (std::thread& thread : others) m_threads.push_back(std::move(thread));
        m_starting = false;
      }
      m_startEnded.notify_all();
      threadMain();
    });
    std::lock_guard<std::mutex> lock(m_mutex);
    m_threads.push_back(std::move(first));
  } catch (const std::system_error&) {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_starting = false;
    }
    m_startEnded.notify_all();
  }
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
  if (n == 1 || m_threadNum == 1 || !pays(work)) {
    workerPool::work(*j);
    if (j->error) std::rethrow_exception(j->error);
    return;
  }
  publish(j);
  workerPool::work(*j);
  finish(*j);
}

void workerPool::publish(const std::shared_ptr<job>& j) {
  start();
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_job = j;
    ++m_generation;
  }
  m_wake.notify_all();
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
  publish(j);
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
