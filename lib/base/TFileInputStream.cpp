#include "TFileInputStream.h"

#include <sys/stat.h>

#include <climits>
#include <cstdio>

namespace tulim {

TFileInputStream::TFileInputStream() : TFileInputStream(DEFAULT_BUFFER_SIZE) {}

TFileInputStream::TFileInputStream(int bufferSize)
    : m_bufferSize(bufferSize < 1 ? DEFAULT_BUFFER_SIZE : bufferSize) {
  m_buffer.reset(new unsigned char[m_bufferSize]);
  reset();
}

TFileInputStream::~TFileInputStream() { close(); }

bool TFileInputStream::open(const char* name) {
  close();
  if (!name) return false;
  filePtr file(fopen(name, "rb"));
  // fopen succeeds on a directory here, where the stream would then read nothing sensible.
  struct stat info;
  if (file && fstat(fileno(file.get()), &info) == 0 && S_ISDIR(info.st_mode)) file.reset();
  // The stream buffers for itself: its blocks go to the file as they are, not through a
  // second buffer of the C library.
  if (file) setvbuf(file.get(), nullptr, _IONBF, 0);
  m_file = std::move(file);
  reset();
  return m_file != nullptr;
}

void TFileInputStream::close() {
  m_file.reset();
  m_position = 0;
  m_available = 0;
}

void TFileInputStream::reset() {
  m_available = 0;
  if (m_file) {
    FILE* fp = m_file.get();
    if (fseek(fp, 0, SEEK_END) == 0) {
      long size = ftell(fp);
      if (size > 0) m_available = size > INT_MAX ? INT_MAX : static_cast<int>(size);
    }
    fseek(fp, 0, SEEK_SET);
  }
  m_position = 0;
  m_bufferReadIndex = 0;
  m_bufferFill = 0;
}

int TFileInputStream::read() {
  if (m_available <= 0 || !m_file) return -1;
  if (m_bufferReadIndex >= m_bufferFill) {
    size_t got = fread(m_buffer.get(), 1, static_cast<size_t>(m_bufferSize), m_file.get());
    m_bufferFill = static_cast<int>(got);
    m_bufferReadIndex = 0;
    if (m_bufferFill == 0) {
      m_available = 0;
      return -1;
    }
  }
  ++m_position;
  --m_available;
  return m_buffer[m_bufferReadIndex++];
}

int TFileInputStream::skip(int n) {
  if (!m_file || n < 0) return 0;
  if (n > m_available) n = m_available;
  int unread = m_bufferFill - m_bufferReadIndex;
  if (n > unread) {
    fseek(m_file.get(), static_cast<long>(n - unread), SEEK_CUR);
    m_bufferFill = 0;
    m_bufferReadIndex = 0;
  } else {
    m_bufferReadIndex += n;
  }
  m_position += n;
  m_available -= n;
  return n;
}

}  // namespace tulim
