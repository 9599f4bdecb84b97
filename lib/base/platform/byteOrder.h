// Fixed byte-order reading and writing of integers and floats, in place of ntohl and of
// the machine-order dumps the binary formats were: every file of this system is read the
// same on every machine.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace tulim {

inline uint32_t readBigEndian32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
inline uint32_t readBigEndian24(const uint8_t* p) {
  return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | uint32_t(p[2]);
}
inline uint16_t readLittleEndian16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t readLittleEndian32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline float readLittleEndianFloat(const uint8_t* p) {
  uint32_t bits = readLittleEndian32(p);
  float value;
  memcpy(&value, &bits, sizeof value);
  return value;
}

inline void writeLittleEndian16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v & 0xff);
  p[1] = uint8_t(v >> 8);
}
inline void writeLittleEndian32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t((v >> (8 * i)) & 0xff);
}

inline void appendLittleEndian16(std::string& out, uint16_t v) {
  out += char(v & 0xff);
  out += char(v >> 8);
}
inline void appendLittleEndian32(std::string& out, uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) out += char((v >> shift) & 0xff);
}
inline void appendLittleEndianFloat(std::string& out, float value) {
  uint32_t bits;
  memcpy(&bits, &value, sizeof bits);
  appendLittleEndian32(out, bits);
}

}  // namespace tulim
