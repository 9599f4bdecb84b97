// TFilterInputStream: an input stream that forwards every operation to an inner stream; the
// base of the data and cipher streams. Offered to users of the library; the engine uses none.
#pragma once

#include "TInputStream.h"

namespace tulim {

class TFilterInputStream : public TInputStream {
 public:
  // inner is not owned and must outlive the filter; a null inner reads as an empty stream.
  explicit TFilterInputStream(TInputStream* inner) : m_inner(inner) {}
  // Closes the inner stream (it does not delete it).
  ~TFilterInputStream() override;

  using TInputStream::read;
  int available() override;
  void close() override;
  int position() override;
  int read() override;
  void reset() override;
  int skip(int n) override;

 protected:
  TInputStream* m_inner;
};

}  // namespace tulim
