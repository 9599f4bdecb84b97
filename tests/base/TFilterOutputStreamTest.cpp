#include "TFilterOutputStream.h"

#include <gtest/gtest.h>

#include "memoryStreams.h"

using namespace tulim;
using namespace tulim::test;

TEST(TFilterOutputStream, ForwardsEveryOperation) {
  memoryOutputStream inner;
  {
    TFilterOutputStream filter(&inner);
    filter.write('a');
    filter.write("bc", 2);
    EXPECT_EQ(filter.size(), 3);
    filter.flush();
    EXPECT_EQ(inner.flushCount, 1);
    filter.close();
    EXPECT_EQ(inner.closeCount, 1);
  }
  EXPECT_EQ(inner.closeCount, 2);
  EXPECT_EQ(inner.bytes, "abc");
}

TEST(TFilterOutputStream, NullInnerIgnoresWrites) {
  TFilterOutputStream filter(nullptr);
  filter.write('a');
  filter.flush();
  filter.close();
  EXPECT_EQ(filter.size(), 0);
}
