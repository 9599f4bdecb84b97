#include "TDataOutputStream.h"

#include <cstdint>
#include <cstring>

#include "platform/byteOrder.h"

namespace tulim {

void TDataOutputStream::writeByte(int value) {
  uint8_t byte = static_cast<uint8_t>(value & 0xff);
  write(&byte, 1);
}

void TDataOutputStream::writeInt(int value) {
  uint8_t bytes[4];
  writeLittleEndian32(bytes, static_cast<uint32_t>(value));
  write(bytes, 4);
}

void TDataOutputStream::writeFloat(float value) {
  uint32_t bits;
  memcpy(&bits, &value, sizeof bits);
  uint8_t bytes[4];
  writeLittleEndian32(bytes, bits);
  write(bytes, 4);
}

void TDataOutputStream::writeDouble(double value) {
  uint64_t bits;
  memcpy(&bits, &value, sizeof bits);
  uint8_t bytes[8];
  writeLittleEndian32(bytes, static_cast<uint32_t>(bits & 0xffffffffu));
  writeLittleEndian32(bytes + 4, static_cast<uint32_t>(bits >> 32));
  write(bytes, 8);
}

void TDataOutputStream::writeString(const char* text) {
  if (text) write(text, static_cast<int>(strlen(text)));
}

}  // namespace tulim
