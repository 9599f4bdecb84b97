#include "TFileOutputStream.h"

#include <climits>
#include <cstdio>

namespace tulim {

TFileOutputStream::TFileOutputStream() : TFileOutputStream(DEFAULT_BUFFER_SIZE) {}

TFileOutputStream::TFileOutputStream(int bufferSize)
    : m_bufferSize(bufferSize < 1 ? DEFAULT_BUFFER_SIZE : bufferSize) {
  m_buffer.reset(new unsigned char[m_bufferSize]);
}

TFileOutputStream::~TFileOutputStream() { close(); }

bool TFileOutputStream::open(const char* name) {
  close();
  if (!name) return false;
  m_file.reset(fopen(name, "wb"));
  // The stream buffers for itself: a full buffer reaches the file in one block, not through
  // a second buffer of the C library.
  if (m_file) setvbuf(m_file.get(), nullptr, _IONBF, 0);
  return m_file != nullptr;
}

void TFileOutputStream::writeBuffer() {
  if (m_bytesBuffered > 0) fwrite(m_buffer.get(), 1, static_cast<size_t>(m_bytesBuffered), m_file.get());
  m_bytesBuffered = 0;
}

void TFileOutputStream::close() {
  if (!m_file) return;
  writeBuffer();
  m_file.reset();
}

void TFileOutputStream::flush() {
  if (!m_file) return;
  writeBuffer();
  fflush(m_file.get());
}

int TFileOutputStream::size() {
  if (!m_file) return 0;
  long written = ftell(m_file.get());
  if (written < 0) written = 0;
  long total = written + m_bytesBuffered;
  return total > INT_MAX ? INT_MAX : static_cast<int>(total);
}

void TFileOutputStream::write(int byte) {
  if (!m_file) return;
  m_buffer[m_bytesBuffered++] = static_cast<unsigned char>(byte & 0xff);
  if (m_bytesBuffered >= m_bufferSize) writeBuffer();
}

}  // namespace tulim
