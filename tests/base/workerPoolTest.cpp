#include "workerPool.h"

#include <sched.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <limits>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "hostLocale.h"
#include "platform/cLocaleScope.h"
#include "progressSignal.h"
#include "usableCpus.h"

using namespace tulim;

namespace {

// Counts how often each part ran, and on which threads.
struct partLog {
  explicit partLog(size_t n) : runs(n) {}
  std::vector<std::atomic<int>> runs;
  std::mutex mutex;
  std::set<std::thread::id> threads;
  void ran(size_t i) {
    runs[i]++;
    std::lock_guard<std::mutex> lock(mutex);
    threads.insert(std::this_thread::get_id());
  }
};

}  // namespace

TEST(WorkerPool, RunsEveryPartOnceForAnyCountAndPoolSize) {
  for (int threads : {1, 2, 8})
    for (size_t n : {size_t{0}, size_t{1}, size_t{2}, size_t{7}, size_t{1000}}) {
      workerPool pool(threads);
      // Several jobs in a row on the same threads.
      for (int job = 0; job < 3; job++) {
        partLog log(n);
        pool.run(n, [&](size_t i) { log.ran(i); });
        for (size_t i = 0; i < n; i++) ASSERT_EQ(log.runs[i], 1) << threads << " " << n << " " << i;
      }
    }
}

TEST(WorkerPool, SizeIsBoundedByTheUsableCpusAndOneThreadRunsOnTheCaller) {
  const int cores = usableCpuCount();
  EXPECT_GE(cores, 1);
  EXPECT_LE(cores, static_cast<int>(std::max(1u, std::thread::hardware_concurrency())));
  EXPECT_EQ(workerPool(0).threadNum(), 1);
  EXPECT_EQ(workerPool(1000).threadNum(), cores);
  EXPECT_EQ(&workerPool::shared(), &workerPool::shared());
  EXPECT_EQ(workerPool::shared().threadNum(), std::min(cores, workerPool::MAX_SHARED_THREADS));

  workerPool single(1);
  partLog log(50);
  single.run(50, [&](size_t i) { log.ran(i); });
  EXPECT_EQ(log.threads, std::set<std::thread::id>{std::this_thread::get_id()});
}

TEST(WorkerPool, WhatAPartThrowsComesBackAfterEveryPartEnded) {
  static char message[] = "the fourth piece failed";
  for (int threads : {1, 4}) {
    workerPool pool(threads);
    partLog log(40);
    try {
      pool.run(40, [&](size_t i) {
        log.ran(i);
        if (i == 3) throw message;
      });
      FAIL() << "nothing was thrown";
    } catch (char* thrown) {
      EXPECT_STREQ(thrown, "the fourth piece failed");
    }
    for (size_t i = 0; i < 40; i++) EXPECT_EQ(log.runs[i], 1) << threads << " " << i;
    // The pool is still usable.
    partLog again(10);
    pool.run(10, [&](size_t i) { again.ran(i); });
    for (size_t i = 0; i < 10; i++) EXPECT_EQ(again.runs[i], 1);
  }
}

TEST(WorkerPool, HelpersRunBesideTheLeadAndStopWhenItEnds) {
  const bool parallel = std::thread::hardware_concurrency() > 1;
  workerPool pool(3);
  EXPECT_EQ(pool.prepared(), 0u);
  pool.prepare(2);
  pool.prepare(1);  // never fewer than asked for before
  EXPECT_EQ(pool.prepared(), std::min<size_t>(2, static_cast<size_t>(pool.threadNum() - 1)));
  std::atomic<int> started{0}, ended{0};
  std::atomic<bool> sawDone{false};
  std::thread::id leadThread;
  pool.runBeside(
      2,
      [&](size_t, const std::atomic<bool>& leadDone) {
        started++;
        while (!leadDone) cpuRelax();
        sawDone = true;
        ended++;
      },
      [&] {
        leadThread = std::this_thread::get_id();
        // Give the helpers time to start; the lead does not depend on them.
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(parallel ? 200 : 0);
        while (std::chrono::steady_clock::now() < until && started < 2) std::this_thread::yield();
      });
  EXPECT_EQ(leadThread, std::this_thread::get_id());
  EXPECT_EQ(started, ended);  // every helper that started has ended before runBeside returned
  EXPECT_EQ(sawDone, started > 0);
}

TEST(WorkerPool, HelpersThatNoThreadTookNeverRun) {
  // One caller and no other thread: the lead runs alone, and no helper runs after it.
  workerPool single(1);
  std::atomic<int> helped{0};
  bool led = false;
  single.runBeside(
      5, [&](size_t, const std::atomic<bool>&) { helped++; }, [&] { led = true; });
  EXPECT_TRUE(led);
  EXPECT_EQ(helped, 0);

  // Six helpers that run until the lead ends, on one thread besides the caller: the one it
  // took, at most; the others are not started once the lead has ended, neither there nor on
  // the caller.
  workerPool two(2);
  two.prepare(1);
  std::atomic<int> started{0};
  two.runBeside(
      6,
      [&](size_t, const std::atomic<bool>& leadDone) {
        started++;
        while (!leadDone) cpuRelax();
      },
      [&] { std::this_thread::sleep_for(std::chrono::milliseconds(20)); });
  EXPECT_LE(started, 1);
}

TEST(WorkerPool, TheLeadsErrorComesFirstAndTheHelpersStillStop) {
  static char leadMessage[] = "lead failed";
  static char helperMessage[] = "helper failed";
  for (bool helperThrows : {false, true}) {
    workerPool pool(4);
    pool.prepare(3);
    std::atomic<int> running{0};
    try {
      pool.runBeside(
          3,
          [&](size_t, const std::atomic<bool>& leadDone) {
            running++;
            while (!leadDone) cpuRelax();
            running--;
            if (helperThrows) throw helperMessage;
          },
          [&] { throw leadMessage; });
      FAIL() << "nothing was thrown";
    } catch (char* thrown) {
      EXPECT_STREQ(thrown, "lead failed");
    }
    EXPECT_EQ(running, 0);
  }

  // A helper's error alone comes back too.
  workerPool pool(2);
  pool.prepare(1);
  if (pool.threadNum() > 1) {
    std::atomic<bool> helperRan{false};
    try {
      pool.runBeside(
          1,
          [&](size_t, const std::atomic<bool>&) {
            helperRan = true;
            throw helperMessage;
          },
          [&] {
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (!helperRan && std::chrono::steady_clock::now() < until) std::this_thread::yield();
          });
      EXPECT_FALSE(helperRan) << "the helper's error was lost";
    } catch (char* thrown) {
      EXPECT_STREQ(thrown, "helper failed");
    }
  }
}

TEST(WorkerPool, APoolMadeInAOneCpuSetRunsOnTheCallerAlone) {
  cpu_set_t before;
  ASSERT_EQ(sched_getaffinity(0, sizeof before, &before), 0);
  int first = 0;
  while (!CPU_ISSET(first, &before)) first++;
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(first, &one);
  ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
  const int usable = usableCpuCount();
  workerPool pool(8);
  ASSERT_EQ(sched_setaffinity(0, sizeof before, &before), 0);
  EXPECT_EQ(usable, 1);
  EXPECT_EQ(pool.threadNum(), 1);
  partLog log(20);
  pool.run(20, [&](size_t i) { log.ran(i); });
  EXPECT_EQ(log.threads, std::set<std::thread::id>{std::this_thread::get_id()});
}

TEST(WorkerPool, CgroupQuotasGiveWholeCpusRoundedUp) {
  struct quotaCase {
    const char* cpuMax;
    int cpus;
  };
  const quotaCase cases[] = {
      {"max 100000", 0},   {"200000 100000", 2}, {"150000 100000", 2}, {"50000 100000", 1},
      {"100000 100000", 1}, {"", 0},             {"max", 0},           {"-1 100000", 0},
      {"0 100000", 0},      {"300000 0", 0},     {"x y", 0},           {"100000 100000 7", 0},
  };
  for (const quotaCase& c : cases) EXPECT_EQ(cpuMaxQuotaCpus(c.cpuMax), c.cpus) << '"' << c.cpuMax << '"';
  EXPECT_EQ(cfsQuotaCpus(-1, 100000), 0);
  EXPECT_EQ(cfsQuotaCpus(400000, 100000), 4);
  EXPECT_EQ(cfsQuotaCpus(400001, 100000), 5);
}

TEST(WorkerPool, SmallWorkRunsOnTheCallerAlone) {
  workerPool pool(4);
  partLog small(200);
  pool.run(200, [&](size_t i) { small.ran(i); }, workerPool::MIN_SHARED_WORK / 2);
  EXPECT_EQ(small.threads, std::set<std::thread::id>{std::this_thread::get_id()});
  for (size_t i = 0; i < 200; i++) EXPECT_EQ(small.runs[i], 1);
  EXPECT_FALSE(workerPool::pays(workerPool::MIN_SHARED_WORK / 2));
  EXPECT_TRUE(workerPool::pays(workerPool::MIN_SHARED_WORK));

  // Large work is shared; every part still runs once.
  partLog large(200);
  pool.run(200, [&](size_t i) { large.ran(i); }, workerPool::MIN_SHARED_WORK * 10);
  for (size_t i = 0; i < 200; i++) EXPECT_EQ(large.runs[i], 1);

  static char message[] = "small part failed";
  try {
    pool.run(5, [&](size_t i) { if (i == 2) throw message; }, 1.0);
    FAIL() << "nothing was thrown";
  } catch (char* thrown) {
    EXPECT_STREQ(thrown, "small part failed");
  }
}

TEST(WorkerPool, AJobStartsTheThreadsItsWorkKeepsBusyAndNoMore) {
  struct helpersCase {
    double work;
    size_t helpers;
  };
  const double H = workerPool::HELPER_WORK;
  const helpersCase cases[] = {
      {workerPool::MIN_SHARED_WORK / 2, 0}, {workerPool::MIN_SHARED_WORK, 1}, {H, 1}, {H * 1.5, 1}, {H * 2.5, 2},
      {H * 7, 6}, {H * 8, 7}, {H * 100, 7}, {std::numeric_limits<double>::infinity(), 7},
  };
  for (const helpersCase& c : cases) EXPECT_EQ(workerPool::helpersFor(c.work), c.helpers) << c.work;

  // runBeside starts none: with no thread there, the lead runs alone.
  workerPool pool(8);
  std::atomic<int> helped{0};
  pool.runBeside(
      3, [&](size_t, const std::atomic<bool>&) { helped++; },
      [&] { std::this_thread::sleep_for(std::chrono::milliseconds(20)); });
  EXPECT_EQ(helped, 0);
  // A job of work for the caller and two threads takes three threads at most, whatever its
  // parts, and every part runs once.
  if (pool.threadNum() >= 4) {
    partLog log(400);
    pool.run(400, [&](size_t i) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
      log.ran(i);
    }, H * 2.5);
    for (size_t i = 0; i < 400; i++) ASSERT_EQ(log.runs[i], 1);
    EXPECT_LE(log.threads.size(), 3u);
    EXPECT_GE(log.threads.size(), 2u);
  }
}

// A host's locale is the whole process's: the parts still print numbers in the C locale, on
// the pool's threads as on the caller's, where an entry point set it.
TEST(WorkerPool, PartsRunInTheCLocaleUnderAHostLocale) {
  const test::hostCommaLocale host;
  if (host.name().empty()) GTEST_SKIP() << "no locale with a decimal comma on this machine";
  const cLocaleScope entryPoint;
  workerPool pool(4);
  std::mutex lock;
  std::set<std::thread::id> threads;
  std::vector<std::string> printed;
  pool.run(8, [&](size_t) {
    char text[16];
    snprintf(text, sizeof text, "%.1f", 1.5);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    const std::lock_guard<std::mutex> guard(lock);
    printed.push_back(text);
    threads.insert(std::this_thread::get_id());
  });
  ASSERT_EQ(printed.size(), 8u);
  for (const std::string& text : printed) EXPECT_EQ(text, "1.5") << "under " << host.name();
  if (pool.threadNum() > 1) {
    EXPECT_GE(threads.size(), 2u);
  }
}

TEST(WorkerPool, SeveralCallersShareOnePool) {
  workerPool pool(4);
  constexpr int CALLERS = 6;
  std::vector<std::thread> callers;
  std::atomic<int> wrong{0};
  for (int c = 0; c < CALLERS; c++)
    callers.emplace_back([&, c] {
      for (int job = 0; job < 50; job++) {
        const size_t n = static_cast<size_t>(1 + (c * 7 + job) % 40);
        std::vector<int> out(n, 0);
        if (job % 2 == 0) {
          pool.run(n, [&](size_t i) { out[i] += static_cast<int>(i) + c; });
        } else {
          std::atomic<int> helped{0};
          pool.runBeside(
              2, [&](size_t, const std::atomic<bool>& leadDone) {
                while (!leadDone) cpuRelax();
                helped++;
              },
              [&] {
                for (size_t i = 0; i < n; i++) out[i] = static_cast<int>(i) + c;
              });
          if (helped > 2) wrong++;
        }
        for (size_t i = 0; i < n; i++)
          if (out[i] != static_cast<int>(i) + c) wrong++;
      }
    });
  for (std::thread& t : callers) t.join();
  EXPECT_EQ(wrong, 0);
}

TEST(ProgressSignal, WaitersSleepUntilTheValueMovesAndLeaveWhenItCloses) {
  progressSignal signal;
  signal.reset(0);
  EXPECT_TRUE(signal.waitPast(5));  // the value is already past 5
  std::atomic<int> seenLast{-1};
  std::atomic<bool> closedSeen{false};
  std::vector<std::thread> waiters;
  for (int w = 0; w < 3; w++)
    waiters.emplace_back([&] {
      int seen = 0;
      while (signal.waitPast(seen)) {
        seen = signal.value();
        if (seen != progressSignal::CLOSED) seenLast = seen;
      }
      closedSeen = true;
    });
  for (int v = 1; v <= 200; v++) {
    signal.post(v);
    if (v % 50 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  signal.close();
  for (std::thread& t : waiters) t.join();
  EXPECT_TRUE(closedSeen);
  EXPECT_LE(seenLast, 200);
  EXPECT_FALSE(signal.waitPast(3));
  EXPECT_EQ(signal.value(), progressSignal::CLOSED);
}

TEST(ProgressSignal, ASleepingWaiterCostsNoCpu) {
  progressSignal signal;
  signal.reset(7);
  clockid_t waiterClock;
  std::atomic<bool> haveClock{false};
  std::thread waiter([&] {
    pthread_getcpuclockid(pthread_self(), &waiterClock);
    haveClock = true;
    signal.waitPast(7);
  });
  while (!haveClock) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  timespec start{};
  clock_gettime(waiterClock, &start);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  timespec end{};
  clock_gettime(waiterClock, &end);
  signal.post(8);
  waiter.join();
  const double used = (end.tv_sec - start.tv_sec) + (end.tv_nsec - start.tv_nsec) * 1e-9;
  EXPECT_LT(used, 0.01) << "the waiter used " << used << " s of CPU in 0.2 s";
}

TEST(ProgressSignal, ClosingAtTheEndOfAScopeWakesTheWaitersEvenOnAThrow) {
  progressSignal signal;
  signal.reset(0);
  std::thread waiter([&] {
    int seen = 0;
    while (signal.waitPast(seen)) seen = signal.value();
  });
  try {
    const progressSignal::closeAtExit closer{signal};
    signal.post(1);
    throw 3;
  } catch (int) {
  }
  waiter.join();
  EXPECT_EQ(signal.value(), progressSignal::CLOSED);
}
