// Byte streams over memory for the filter-stream tests: an input stream over a string and an
// output stream that collects what it is given, both counting the calls a filter forwards.
#pragma once

#include <string>

#include "TInputStream.h"
#include "TOutputStream.h"

namespace tulim {
namespace test {

class memoryInputStream : public TInputStream {
 public:
  explicit memoryInputStream(std::string bytes) : m_bytes(std::move(bytes)) {}

  using TInputStream::read;
  int available() override { return static_cast<int>(m_bytes.size()) - m_at; }
  void close() override { ++closeCount; }
  int position() override { return m_at; }
  int read() override;
  void reset() override;
  int skip(int n) override;

  int closeCount = 0;
  int resetCount = 0;
  int lastSkipAsked = -1;

 private:
  std::string m_bytes;
  int m_at = 0;
};

class memoryOutputStream : public TOutputStream {
 public:
  using TOutputStream::write;
  void close() override { ++closeCount; }
  void flush() override { ++flushCount; }
  int size() override { return static_cast<int>(bytes.size()); }
  void write(int byte) override { bytes += static_cast<char>(byte); }

  std::string bytes;
  int closeCount = 0;
  int flushCount = 0;
};

}  // namespace test
}  // namespace tulim
