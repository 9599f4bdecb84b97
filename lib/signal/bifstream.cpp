#include "bifstream.h"

#include <algorithm>

#include "platform/byteOrder.h"

namespace tulim {

void byteReverse(void* bytes, int n) {
  if (!bytes || n < 2) return;
  unsigned char* p = static_cast<unsigned char*>(bytes);
  std::reverse(p, p + n);
}

bifstream::bifstream(const char* file) : std::ifstream(file, std::ios::in | std::ios::binary) {}

bool bifstream::readBytes(void* dst, int n) {
  if (!dst || n < 1) return true;
  read(static_cast<char*>(dst), n);
  return gcount() == n;
}

bool bifstream::read2(int16_t& field) {
  uint8_t bytes[2];
  if (!readBytes(bytes, 2)) return false;
  field = int16_t(readLittleEndian16(bytes));
  return true;
}

bool bifstream::read4(int32_t& field) {
  uint8_t bytes[4];
  if (!readBytes(bytes, 4)) return false;
  field = int32_t(readLittleEndian32(bytes));
  return true;
}

bool bifstream::read4(float& field) {
  uint8_t bytes[4];
  if (!readBytes(bytes, 4)) return false;
  field = readLittleEndianFloat(bytes);
  return true;
}

}  // namespace tulim
