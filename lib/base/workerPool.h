// A few threads that share out the parts of one job with the caller: the phone ranking's
// competing models, and the state scores the search will ask for next. The threads start on
// the first job that has parts for them and live as long as the pool; between jobs they sleep
// on a condition variable.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace tulim {

class workerPool {
 public:
  // At most threadNum threads in all, the caller included (at least 1, never more than the
  // process may keep busy: its CPU set, or a cgroup quota below it).
  explicit workerPool(int threadNum);
  ~workerPool();
  workerPool(const workerPool&) = delete;
  workerPool& operator=(const workerPool&) = delete;

  // Runs part(i) for every i in [0, n), each once, on the pool's threads and the caller's;
  // returns when all are done. Parts must not depend on the order they run in. What a part
  // throws is thrown again here once every part has ended (the first such, when several do).
  void run(size_t n, const std::function<void(size_t)>& part);
  // The same, on the caller alone when work (as pays counts it) is too little to share.
  void run(size_t n, const std::function<void(size_t)>& part, double work);

  // Runs lead() on the caller's thread while helper(i, leadDone) runs for every i in
  // [0, helpers) on the pool's threads; leadDone turns true once lead has returned, and the
  // helpers must then return soon. A helper no thread took runs on none. Returns when lead
  // and every helper that started have ended; what lead throws comes first, then what a
  // helper throws.
  void runBeside(size_t helpers, const std::function<void(size_t, const std::atomic<bool>&)>& helper,
                 const std::function<void()>& lead);

  // The process's own pool of MAX_SHARED_THREADS threads, made on first use. It is never
  // destroyed: its idle threads sleep until the process ends, which costs nothing, where
  // ending them costs each run a few milliseconds. A job whose threads are busy with another
  // caller's job is done by its caller alone. A child made by fork gets a pool of its own,
  // whose threads start on its first job: the parent's threads do not exist there.
  static workerPool& shared();
  static constexpr int MAX_SHARED_THREADS = 8;

  // Whether work of about `work` steps between two hand-overs to the threads gains from
  // sharing it out; a step is one term of a Gaussian, one feature value against one mixture.
  // Below it, waking the threads and handing the parts over costs more than they save: on an
  // 8-core machine searches of real English models at about 60000 steps a frame ran no faster
  // with helpers, the benchmark task's above it did.
  static bool pays(double work) { return work >= s_minSharedWork.load(std::memory_order_relaxed); }
  static constexpr double MIN_SHARED_WORK = 60000.0;
  // Tests share small jobs to see them shared.
  static void minSharedWorkSet(double work) { s_minSharedWork.store(work, std::memory_order_relaxed); }

  // Starts the threads, when not yet started, without waiting for them: a caller that will
  // need them soon saves their start-up. The first job starts them otherwise.
  void prepare();

  // Threads that take part in a job, the caller included; when the system refuses some, the
  // others and the caller do their share.
  int threadNum() const { return m_threadNum; }

 private:
  struct job;

  static std::atomic<double> s_minSharedWork;

  int m_threadNum;
  std::vector<std::thread> m_threads;
  std::mutex m_mutex;
  std::condition_variable m_wake;  // a new job, or the end
  std::condition_variable m_done;  // the last part of a job ended
  std::condition_variable m_startEnded;
  std::atomic<bool> m_started{false};
  bool m_starting = false;  // the first thread is starting the others
  std::shared_ptr<job> m_job;      // the newest job; the threads hold it while they work on it
  size_t m_generation = 0;
  bool m_stop = false;

  void start();
  // Hands j to the threads.
  void publish(const std::shared_ptr<job>& j);
  // Waits until every part of j that was taken has ended; throws what a part threw.
  void finish(job& j);
  void threadMain();
  // Takes parts of j until none is left.
  static void work(job& j);
};

// Tells the processor that the thread is waiting in a loop for another one.
inline void cpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#else
  std::this_thread::yield();
#endif
}

}  // namespace tulim
