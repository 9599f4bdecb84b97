// Binary input file stream with fixed-width little-endian readers, and byteReverse for
// files of the other byte order: CFeaBuf reads feature files through them.
#pragma once

#include <cstdint>
#include <fstream>

namespace tulim {

// Reverses the order of n bytes in place (a big-endian value read as little-endian, or
// the reverse).
void byteReverse(void* bytes, int n);

class bifstream : public std::ifstream {
 public:
  // Opens file for input in binary mode; is_open() tells whether it worked.
  explicit bifstream(const char* file);

  // Reads n raw bytes into dst; nothing for a null dst or n < 1. False when fewer than n
  // bytes were left.
  bool readBytes(void* dst, int n);
  // 2 or 4 bytes taken as a little-endian value; false (field unchanged) at a short read.
  bool read2(int16_t& field);
  bool read4(int32_t& field);
  bool read4(float& field);
};

}  // namespace tulim
