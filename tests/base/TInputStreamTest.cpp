#include "TInputStream.h"

#include <gtest/gtest.h>

#include <string>

#include "memoryStreams.h"

using namespace tulim;
using namespace tulim::test;

TEST(TInputStream, BlockReadStopsAtTheEnd) {
  struct Case {
    int n;
    int stored;
  } cases[] = {{0, 0}, {-3, 0}, {2, 2}, {4, 4}, {9, 4}};
  for (const Case& c : cases) {
    memoryInputStream in(std::string("\x00\xff\x80\x01", 4));
    unsigned char buffer[10] = {0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55};
    EXPECT_EQ(in.read(buffer, c.n), c.stored) << "n=" << c.n;
    const unsigned char expected[4] = {0x00, 0xff, 0x80, 0x01};
    for (int i = 0; i < c.stored; ++i) EXPECT_EQ(buffer[i], expected[i]);
    EXPECT_EQ(buffer[c.stored], 0x55) << "a byte past the stored ones was written";
  }
}

TEST(TInputStream, BlockReadIntoNullBufferReadsNothing) {
  memoryInputStream in("abc");
  EXPECT_EQ(in.read(nullptr, 3), 0);
  EXPECT_EQ(in.position(), 0);
}
