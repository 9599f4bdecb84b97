// What work begun ahead on another thread prints, held back while it runs, so that the caller
// prints it at the point where the same work done in line would have: standard output reads
// the same whichever thread did the work.
#pragma once

#include <string>

namespace tulim {

class outputDeferral {
 public:
  // From now until its end, what outPrintf prints on this thread goes to text() instead.
  outputDeferral();
  ~outputDeferral();
  outputDeferral(const outputDeferral&) = delete;
  outputDeferral& operator=(const outputDeferral&) = delete;

  const std::string& text() const { return m_text; }

 private:
  friend int outPrintf(const char* format, ...);
  std::string m_text;
  outputDeferral* m_outer;
};

// printf, or, while an outputDeferral lives on this thread, the same text added to it.
int outPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace tulim
