#include "TCipherOutputStream.h"

namespace tulim {

void TCipherOutputStream::setKey(const char* key) {
  m_key = key ? key : "";
  m_keyLength = static_cast<int>(m_key.size());
  m_keyIndex = 0;
}

void TCipherOutputStream::write(int byte) {
  if (m_keyLength == 0) {
    TFilterOutputStream::write(byte);
    return;
  }
  TFilterOutputStream::write((byte ^ static_cast<unsigned char>(m_key[m_keyIndex])) & 0xff);
  if (++m_keyIndex >= m_keyLength) m_keyIndex = 0;
}

}  // namespace tulim
