// A few threads that share out the parts of one job with the caller: the phone ranking's
// competing models, and the state scores the search will ask for next. The threads start when
// a job first needs them, no more than it needs, and live as long as the pool; between jobs
// they sleep on a condition variable.
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
  // The same, on the caller alone when work (as pays counts it) is too little to share, and
  // else with as many threads as helpersFor(work) gives.
  void run(size_t n, const std::function<void(size_t)>& part, double work);

  // Runs lead() on the caller's thread while helper(i, leadDone) runs for every i in
  // [0, helpers) on the pool's threads; leadDone turns true once lead has returned, and the
  // helpers must then return soon. It starts no thread: the threads there are take the
  // helpers (prepare, called before or while lead runs, starts more), and a helper no thread
  // took runs on none. Returns when lead and every helper that started have ended; what lead
  // throws comes first, then what a helper throws.
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

  // The threads besides the caller that work of about `work` steps in all keeps busy enough:
  // each of them and the caller get HELPER_WORK steps or more. A thread's start cost about a
  // millisecond of CPU on the shared 8-core virtual machine, and a process may make one call
  // only: a thread must take some milliseconds of work to be worth its start. With the phone
  // ranking of real English models, 20 to 25 million steps, one helper instead of four (at 5e6
  // steps a thread) took a tenth less CPU for a whole run at 4% more wall time; the benchmark
  // task's recognitions, 50 to 80 million steps, kept three to five helpers and lost 3% of their
  // wall time.
  static size_t helpersFor(double work);
  static constexpr double HELPER_WORK = 1.5e7;

  // Starts threads, when fewer are started, until helpers of them (at most threadNum() - 1)
  // are there for the jobs, without waiting for them: a caller that will need them soon saves
  // their start-up.
  void prepare(size_t helpers);
  // The threads started, or being started, for the jobs (besides the callers').
  size_t prepared();

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
  size_t m_target = 0;      // threads the pool is to have
  size_t m_spawned = 0;     // threads made or being made
  bool m_starting = false;  // a thread is starting the others
  std::shared_ptr<job> m_job;      // the newest job; the threads hold it while they work on it
  size_t m_generation = 0;
  bool m_stop = false;

  // Makes threads until there are m_target, on the thread that calls it.
  void startOthers();
  // Hands j to the threads, and wakes as many of the asleep ones as may find a part of it.
  void publish(const std::shared_ptr<job>& j, size_t wanted);
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
