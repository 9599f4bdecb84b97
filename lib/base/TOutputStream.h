// TOutputStream: the abstract byte sink of the library's stream classes (file, filter, data
// and cipher variants). Offered to users of the library; the engine writes its files directly.
// No operation raises: writing to a closed stream is ignored.
#pragma once

namespace tulim {

class TOutputStream {
 public:
  TOutputStream() = default;
  virtual ~TOutputStream();
  TOutputStream(const TOutputStream&) = delete;
  TOutputStream& operator=(const TOutputStream&) = delete;

  // The base close flushes.
  virtual void close();
  // The base flush does nothing.
  virtual void flush();
  // Bytes written so far.
  virtual int size() = 0;
  // The low byte of byte.
  virtual void write(int byte) = 0;

  // The n bytes of buffer through the one-byte write (none for n <= 0 or a null buffer).
  void write(const void* buffer, int n);
};

}  // namespace tulim
