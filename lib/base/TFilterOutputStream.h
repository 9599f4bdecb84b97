// TFilterOutputStream: an output stream that forwards every operation to an inner stream;
// the base of the data and cipher streams. Offered to users of the library; the engine uses none.
#pragma once

#include "TOutputStream.h"

namespace tulim {

class TFilterOutputStream : public TOutputStream {
 public:
  // inner is not owned and must outlive the filter; with a null inner writes are ignored.
  explicit TFilterOutputStream(TOutputStream* inner) : m_inner(inner) {}
  // Closes the inner stream (it does not delete it).
  ~TFilterOutputStream() override;

  using TOutputStream::write;
  void close() override;
  void flush() override;
  int size() override;
  void write(int byte) override;

 protected:
  TOutputStream* m_inner;
};

}  // namespace tulim
