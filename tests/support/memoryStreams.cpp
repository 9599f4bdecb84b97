#include "memoryStreams.h"

#include <algorithm>

namespace tulim {
namespace test {

int memoryInputStream::read() {
  if (m_at >= static_cast<int>(m_bytes.size())) return -1;
  return static_cast<unsigned char>(m_bytes[static_cast<size_t>(m_at++)]);
}

void memoryInputStream::reset() {
  ++resetCount;
  m_at = 0;
}

int memoryInputStream::skip(int n) {
  lastSkipAsked = n;
  if (n < 0) return 0;
  int skipped = std::min(n, available());
  m_at += skipped;
  return skipped;
}

}  // namespace test
}  // namespace tulim
