#include "platformClock.h"

#include <pthread.h>

#include <chrono>
#include <ctime>
#include <mutex>

namespace tulim {

namespace {
std::mutex g_sourceMutex;
std::function<localTime()> g_source;

// A child forked while another thread reads the clock finds the lock free: the fork waits
// for that read to end.
void forkPrepare() { g_sourceMutex.lock(); }
void forkEnd() { g_sourceMutex.unlock(); }
const bool g_forkHandled = pthread_atfork(forkPrepare, forkEnd, forkEnd) == 0;
}  // namespace

localTime localTimeNow() {
  {
    std::lock_guard<std::mutex> lock(g_sourceMutex);
    if (g_source) return g_source();
  }
  std::time_t now = std::time(nullptr);
  std::tm parts{};
  localtime_r(&now, &parts);
  return localTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
                   parts.tm_hour,        parts.tm_min,     parts.tm_sec};
}

void setLocalTimeSource(std::function<localTime()> source) {
  std::lock_guard<std::mutex> lock(g_sourceMutex);
  g_source = std::move(source);
}

double monotonicSeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace tulim
