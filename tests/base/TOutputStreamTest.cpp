#include "TOutputStream.h"

#include <gtest/gtest.h>

#include <string>

using namespace tulim;

namespace {

// Only the pure operations, so that the base close and flush are the ones called.
class countingOutputStream : public TOutputStream {
 public:
  using TOutputStream::write;
  int size() override { return static_cast<int>(bytes.size()); }
  void write(int byte) override { bytes += static_cast<char>(byte); }
  std::string bytes;
};

class flushCountingStream : public countingOutputStream {
 public:
  void flush() override { ++flushes; }
  int flushes = 0;
};

}  // namespace

TEST(TOutputStream, BlockWriteSendsEveryByte) {
  countingOutputStream out;
  out.write("a\0\xff", 3);
  out.write("zz", 0);
  out.write("zz", -1);
  out.write(nullptr, 4);
  EXPECT_EQ(out.bytes, std::string("a\0\xff", 3));
  EXPECT_EQ(out.size(), 3);
}

TEST(TOutputStream, BaseCloseFlushes) {
  flushCountingStream out;
  out.close();
  EXPECT_EQ(out.flushes, 1);
}
