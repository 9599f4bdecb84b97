// TCipherInputStream: bytes of an inner stream combined by exclusive or with a repeating key,
// the reverse of TCipherOutputStream. Offered to users of the library; the engine uses none.
#pragma once

#include <string>

#include "TFilterInputStream.h"

namespace tulim {

class TCipherInputStream : public TFilterInputStream {
 public:
  // Without a key: bytes pass unchanged.
  explicit TCipherInputStream(TInputStream* inner) : TFilterInputStream(inner) {}

  // A copy of key (its bytes up to the NUL), used from its first byte; null or an empty
  // key means no key.
  void setKey(const char* key);

  using TFilterInputStream::read;
  // The inner byte XOR the next key byte (0..255); the end (-1) does not use up a key byte.
  int read() override;
  // Inner reset, then the key starts again from its first byte.
  void reset() override;
  // The key advances by the bytes the inner stream actually skipped.
  int skip(int n) override;

 private:
  int m_keyIndex = 0;
  int m_keyLength = 0;
  std::string m_key;  // empty: no key
};

}  // namespace tulim
