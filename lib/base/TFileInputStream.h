// TFileInputStream: a file read as a stream of bytes through a buffer of its own, with
// position, available and skip. Offered to users of the library; nothing in the engine uses it.
#pragma once

#include <memory>

#include "TInputStream.h"
#include "utility.h"

namespace tulim {

class TFileInputStream : public TInputStream {
 public:
  static constexpr int DEFAULT_BUFFER_SIZE = 1024;

  // Closed after construction; a buffer size below 1 means DEFAULT_BUFFER_SIZE.
  TFileInputStream();
  explicit TFileInputStream(int bufferSize);
  ~TFileInputStream() override;

  // Closes, opens name for binary reading and resets; false when it cannot be opened (or
  // names a directory).
  bool open(const char* name);

  using TInputStream::read;
  int available() override { return m_available; }
  void close() override;
  int position() override { return m_position; }
  // -1 at the end; also when the file turns out shorter than it was at reset, after which
  // available is 0.
  int read() override;
  // Available becomes the file's size, counted from its start; a file larger than the
  // stream's int range reads as its first INT_MAX bytes, and one whose size cannot be taken
  // (a pipe) as empty.
  void reset() override;
  // Skips min(n, available) bytes; 0 when closed or n < 0.
  int skip(int n) override;

 private:
  filePtr m_file;  // null when closed
  std::unique_ptr<unsigned char[]> m_buffer;
  int m_position = 0;   // bytes consumed
  int m_available = 0;  // bytes left
  int m_bufferSize = DEFAULT_BUFFER_SIZE;
  int m_bufferReadIndex = 0;
  int m_bufferFill = 0;
};

}  // namespace tulim
