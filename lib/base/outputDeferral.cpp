#include "outputDeferral.h"

#include <cstdarg>
#include <cstdio>

#include "utility.h"

namespace tulim {

namespace {
thread_local outputDeferral* t_deferral = nullptr;
}  // namespace

outputDeferral::outputDeferral() : m_outer(t_deferral) { t_deferral = this; }

outputDeferral::~outputDeferral() { t_deferral = m_outer; }

int outPrintf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int written;
  if (t_deferral) {
    const std::string text = strFormatV(format, args);
    t_deferral->m_text += text;
    written = static_cast<int>(text.size());
  } else {
    written = vprintf(format, args);
  }
  va_end(args);
  return written;
}

}  // namespace tulim
