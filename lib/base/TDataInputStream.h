// TDataInputStream: typed values (little-endian int32, float32, float64, bytes and text lines)
// read from an inner stream. Offered to users of the library; nothing in the engine uses it.
#pragma once

#include "TFilterInputStream.h"

namespace tulim {

class TDataInputStream : public TFilterInputStream {
 public:
  explicit TDataInputStream(TInputStream* inner) : TFilterInputStream(inner) {}

  // 0..255, or -1 at the end.
  int readByte();
  // A value cut short by the end of the stream reads as 0; its bytes are consumed.
  int readInt();
  float readFloat();
  double readDouble();
  // Reads bytes up to and including LF (not stored), the end, or max bytes in all, whichever
  // comes first; CR bytes are dropped. The stored bytes are followed by a NUL, so buffer
  // holds max + 1 bytes. The number of bytes stored (0 for max < 1 or a null buffer).
  int readLine(char* buffer, int max);
};

}  // namespace tulim
