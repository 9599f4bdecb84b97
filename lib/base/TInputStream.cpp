#include "TInputStream.h"

namespace tulim {

TInputStream::~TInputStream() { TInputStream::close(); }

void TInputStream::close() {}

void TInputStream::reset() {}

int TInputStream::read(void* buffer, int n) {
  if (!buffer) return 0;
  unsigned char* bytes = static_cast<unsigned char*>(buffer);
  int stored = 0;
  while (stored < n) {
    int byte = read();
    if (byte < 0) break;
    bytes[stored++] = static_cast<unsigned char>(byte);
  }
  return stored;
}

}  // namespace tulim
