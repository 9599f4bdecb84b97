#include "workerPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

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

TEST(WorkerPool, SizeIsBoundedByTheCoresAndOneThreadRunsOnTheCaller) {
  const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
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
