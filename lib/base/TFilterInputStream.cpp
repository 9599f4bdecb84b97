#include "TFilterInputStream.h"

namespace tulim {

TFilterInputStream::~TFilterInputStream() { TFilterInputStream::close(); }

int TFilterInputStream::available() { return m_inner ? m_inner->available() : 0; }

void TFilterInputStream::close() {
  if (m_inner) m_inner->close();
}

int TFilterInputStream::position() { return m_inner ? m_inner->position() : 0; }

int TFilterInputStream::read() { return m_inner ? m_inner->read() : -1; }

void TFilterInputStream::reset() {
  if (m_inner) m_inner->reset();
}

int TFilterInputStream::skip(int n) { return m_inner ? m_inner->skip(n) : 0; }

}  // namespace tulim
