#include "TCipherInputStream.h"

namespace tulim {

void TCipherInputStream::setKey(const char* key) {
  m_key = key ? key : "";
  m_keyLength = static_cast<int>(m_key.size());
  m_keyIndex = 0;
}

int TCipherInputStream::read() {
  int byte = TFilterInputStream::read();
  if (byte < 0 || m_keyLength == 0) return byte;
  int plain = (byte ^ static_cast<unsigned char>(m_key[m_keyIndex])) & 0xff;
  if (++m_keyIndex >= m_keyLength) m_keyIndex = 0;
  return plain;
}

void TCipherInputStream::reset() {
  TFilterInputStream::reset();
  m_keyIndex = 0;
}

int TCipherInputStream::skip(int n) {
  if (n < 0) return 0;
  int skipped = TFilterInputStream::skip(n);
  if (skipped > 0 && m_keyLength > 0) m_keyIndex = (m_keyIndex + skipped % m_keyLength) % m_keyLength;
  return skipped;
}

}  // namespace tulim
