#include "workAhead.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "hostLocale.h"

namespace tulim {
namespace {

// What the work throws comes out of wait, once, on the caller's thread; the work ran on
// another.
TEST(WorkAhead, WaitGivesWhatTheWorkThrewOnce) {
  const std::thread::id caller = std::this_thread::get_id();
  std::thread::id ranOn;
  static char message[] = "the work failed";
  workAhead work([&] {
    ranOn = std::this_thread::get_id();
    throw message;
  });
  try {
    work.wait();
    ADD_FAILURE() << "nothing thrown";
  } catch (char* m) {
    EXPECT_STREQ(m, "the work failed");
  }
  EXPECT_NE(ranOn, caller);
  work.wait();
}

// A caller that never waits still finds the work done once the object has ended.
TEST(WorkAhead, EndingWaitsForTheWork) {
  std::atomic<bool> done{false};
  {
    workAhead work([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      done = true;
    });
  }
  EXPECT_TRUE(done);
}

// The work prints numbers in the C locale whatever locale a host set for the process.
TEST(WorkAhead, TheWorkRunsInTheCLocale) {
  const test::hostCommaLocale host;
  if (host.name().empty()) GTEST_SKIP() << "no locale with a decimal comma on this machine";
  std::string printed;
  workAhead work([&] {
    char text[16];
    snprintf(text, sizeof text, "%.1f", 1.5);
    printed = text;
  });
  work.wait();
  EXPECT_EQ(printed, "1.5") << "under " << host.name();
}

}  // namespace
}  // namespace tulim
