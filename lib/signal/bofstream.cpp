#include "bofstream.h"

#include <string>

#include "platform/byteOrder.h"

namespace tulim {

bofstream::bofstream(const char* file)
    : std::ofstream(file, std::ios::out | std::ios::binary | std::ios::trunc) {}

void bofstream::writeBytes(const void* src, int n) {
  if (!src || n < 1) return;
  write(static_cast<const char*>(src), n);
}

void bofstream::write2(int value) {
  std::string bytes;
  appendLittleEndian16(bytes, uint16_t(uint32_t(value) & 0xffff));
  writeBytes(bytes.data(), 2);
}

void bofstream::write4(int32_t value) {
  std::string bytes;
  appendLittleEndian32(bytes, uint32_t(value));
  writeBytes(bytes.data(), 4);
}

void bofstream::write4(float value) {
  std::string bytes;
  appendLittleEndianFloat(bytes, value);
  writeBytes(bytes.data(), 4);
}

}  // namespace tulim
