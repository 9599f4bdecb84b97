#include "platform/autoResetEvent.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "watchdog.h"

using namespace tulim;
using tulim::test::watchdog;

TEST(AutoResetEvent, KeepsASetUntilOneWaitTakesIt) {
  watchdog guard("an event wait");
  autoResetEvent event("Notify Event");
  EXPECT_EQ(event.name(), "Notify Event");
  event.set();
  event.set();  // not counted: one wait takes both
  event.wait();

  std::atomic<int> passed{0};
  std::thread waiter([&] {
    event.wait();
    ++passed;
    event.wait();
    ++passed;
  });
  event.set();
  while (passed.load() == 0) std::this_thread::yield();
  EXPECT_EQ(passed.load(), 1) << "the event reset itself after the first wait";
  event.set();
  waiter.join();
  EXPECT_EQ(passed.load(), 2);
}
