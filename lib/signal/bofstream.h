// Binary output file stream with fixed-width little-endian writers: the feature files of
// CFeaBuf and CMel are written through it, field by field.
#pragma once

#include <cstdint>
#include <fstream>

namespace tulim {

class bofstream : public std::ofstream {
 public:
  // Opens file for output in binary mode (truncating it); is_open() tells whether it worked.
  explicit bofstream(const char* file);

  // Writes n raw bytes from src; nothing for a null src or n < 1.
  void writeBytes(const void* src, int n);
  // The low 2 bytes of value, little-endian.
  void write2(int value);
  // The 4 bytes of value, little-endian.
  void write4(int32_t value);
  void write4(float value);
};

}  // namespace tulim
