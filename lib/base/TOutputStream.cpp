#include "TOutputStream.h"

namespace tulim {

TOutputStream::~TOutputStream() = default;

void TOutputStream::close() { flush(); }

void TOutputStream::flush() {}

void TOutputStream::write(const void* buffer, int n) {
  if (!buffer) return;
  const unsigned char* bytes = static_cast<const unsigned char*>(buffer);
  for (int i = 0; i < n; ++i) write(bytes[i]);
}

}  // namespace tulim
