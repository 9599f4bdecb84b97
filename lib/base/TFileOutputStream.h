// TFileOutputStream: a file written as a stream of bytes, gathered in a buffer of its own and
// written a whole buffer at a time. Offered to users of the library; the engine uses none.
#pragma once

#include <memory>

#include "TOutputStream.h"
#include "utility.h"

namespace tulim {

class TFileOutputStream : public TOutputStream {
 public:
  static constexpr int DEFAULT_BUFFER_SIZE = 1024;

  // Closed after construction; a buffer size below 1 means DEFAULT_BUFFER_SIZE.
  TFileOutputStream();
  explicit TFileOutputStream(int bufferSize);
  ~TFileOutputStream() override;

  // Closes, then creates or truncates name for binary writing; false when it cannot.
  bool open(const char* name);

  using TOutputStream::write;
  // Writes the buffered bytes and closes the file.
  void close() override;
  // Writes the buffered bytes and flushes the file.
  void flush() override;
  // 0 when closed; otherwise the bytes written to the file plus those buffered (at most
  // INT_MAX).
  int size() override;
  // Ignored when closed; a full buffer goes to the file in one block.
  void write(int byte) override;

 private:
  void writeBuffer();

  filePtr m_file;  // null when closed
  std::unique_ptr<unsigned char[]> m_buffer;
  int m_bufferSize = DEFAULT_BUFFER_SIZE;
  int m_bytesBuffered = 0;
};

}  // namespace tulim
