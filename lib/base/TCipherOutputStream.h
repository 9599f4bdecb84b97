// TCipherOutputStream: bytes combined by exclusive or with a repeating key before they go to
// an inner stream; TCipherInputStream with the same key reads them back. Offered to users of
// the library; nothing in the engine uses it.
#pragma once

#include <string>

#include "TFilterOutputStream.h"

namespace tulim {

class TCipherOutputStream : public TFilterOutputStream {
 public:
  // Without a key: bytes pass unchanged.
  explicit TCipherOutputStream(TOutputStream* inner) : TFilterOutputStream(inner) {}

  // A copy of key (its bytes up to the NUL), used from its first byte; null or an empty
  // key means no key.
  void setKey(const char* key);

  using TFilterOutputStream::write;
  // The low byte of byte XOR the next key byte.
  void write(int byte) override;

 private:
  int m_keyIndex = 0;
  int m_keyLength = 0;
  std::string m_key;  // empty: no key
};

}  // namespace tulim
