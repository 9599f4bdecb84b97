#include "TDataInputStream.h"

#include <cstdint>
#include <cstring>

#include "platform/byteOrder.h"

namespace tulim {

int TDataInputStream::readByte() { return read(); }

int TDataInputStream::readInt() {
  uint8_t bytes[4];
  if (read(bytes, 4) != 4) return 0;
  return static_cast<int32_t>(readLittleEndian32(bytes));
}

float TDataInputStream::readFloat() {
  uint8_t bytes[4];
  if (read(bytes, 4) != 4) return 0.0f;
  return readLittleEndianFloat(bytes);
}

double TDataInputStream::readDouble() {
  uint8_t bytes[8];
  if (read(bytes, 8) != 8) return 0.0;
  uint64_t bits = uint64_t(readLittleEndian32(bytes)) | (uint64_t(readLittleEndian32(bytes + 4)) << 32);
  double value;
  memcpy(&value, &bits, sizeof value);
  return value;
}

int TDataInputStream::readLine(char* buffer, int max) {
  if (!buffer) return 0;
  int stored = 0;
  for (int consumed = 0; consumed < max; ++consumed) {
    int byte = read();
    if (byte < 0 || byte == '\n') break;
    if (byte != '\r') buffer[stored++] = static_cast<char>(byte);
  }
  buffer[stored] = '\0';
  return stored;
}

}  // namespace tulim
