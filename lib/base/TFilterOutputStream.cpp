#include "TFilterOutputStream.h"

namespace tulim {

TFilterOutputStream::~TFilterOutputStream() { TFilterOutputStream::close(); }

void TFilterOutputStream::close() {
  if (m_inner) m_inner->close();
}

void TFilterOutputStream::flush() {
  if (m_inner) m_inner->flush();
}

int TFilterOutputStream::size() { return m_inner ? m_inner->size() : 0; }

void TFilterOutputStream::write(int byte) {
  if (m_inner) m_inner->write(byte);
}

}  // namespace tulim
