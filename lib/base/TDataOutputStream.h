// TDataOutputStream: typed values (little-endian int32, float32, float64, bytes and strings)
// written to an inner stream, with no tags or length prefixes. Offered to users of the
// library; nothing in the engine uses it.
#pragma once

#include "TFilterOutputStream.h"

namespace tulim {

class TDataOutputStream : public TFilterOutputStream {
 public:
  explicit TDataOutputStream(TOutputStream* inner) : TFilterOutputStream(inner) {}

  // The low byte of value.
  void writeByte(int value);
  void writeInt(int value);
  void writeFloat(float value);
  void writeDouble(double value);
  // The bytes of text without its NUL (nothing for null).
  void writeString(const char* text);
};

}  // namespace tulim
