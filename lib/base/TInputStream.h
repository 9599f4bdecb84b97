// TInputStream: the abstract byte source of the library's stream classes (file, filter, data
// and cipher variants). Offered to users of the library; the engine reads its files directly.
// No operation raises: a closed or exhausted stream reads as -1 (or 0 bytes).
#pragma once

namespace tulim {

class TInputStream {
 public:
  TInputStream() = default;
  // Calls the base close, which does nothing: a derived stream closes itself.
  virtual ~TInputStream();
  TInputStream(const TInputStream&) = delete;
  TInputStream& operator=(const TInputStream&) = delete;

  // Bytes left to read.
  virtual int available() = 0;
  virtual void close();
  // Bytes consumed so far.
  virtual int position() = 0;
  // The next byte as 0..255, or -1 at the end.
  virtual int read() = 0;
  virtual void reset();
  // Bytes actually skipped.
  virtual int skip(int n) = 0;

  // Up to n bytes into buffer through the one-byte read, stopping early at the end; the
  // number of bytes stored (0 for n <= 0 or a null buffer).
  int read(void* buffer, int n);
};

}  // namespace tulim
