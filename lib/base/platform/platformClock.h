// Local calendar time and a monotonic clock: the only place that knows how this
// operating system tells the time. Used by the error log's file name and by every
// "%4.3f sec: " progress line.
#pragma once

#include <functional>

namespace tulim {

struct localTime {
  int year;    // four digits
  int month;   // 1..12
  int day;     // 1..31
  int hour;    // 0..23
  int minute;
  int second;
};

// The machine's local time now (or what a test installed with setLocalTimeSource).
localTime localTimeNow();

// Replaces the source of localTimeNow; an empty function restores the real clock.
// Lets tests pin the error log's file name.
void setLocalTimeSource(std::function<localTime()> source);

// Seconds on a monotonic clock with an arbitrary origin; the difference of two readings
// is elapsed wall time (unlike clock(), which counts CPU time here).
double monotonicSeconds();

}  // namespace tulim
