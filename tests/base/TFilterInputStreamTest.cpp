#include "TFilterInputStream.h"

#include <gtest/gtest.h>

#include "memoryStreams.h"

using namespace tulim;
using namespace tulim::test;

TEST(TFilterInputStream, ForwardsEveryOperation) {
  memoryInputStream inner("abcdef");
  {
    TFilterInputStream filter(&inner);
    EXPECT_EQ(filter.available(), 6);
    EXPECT_EQ(filter.read(), 'a');
    EXPECT_EQ(filter.skip(2), 2);
    EXPECT_EQ(inner.lastSkipAsked, 2);
    EXPECT_EQ(filter.position(), 3);
    char rest[4];
    EXPECT_EQ(filter.read(rest, 4), 3);
    EXPECT_EQ(std::string(rest, 3), "def");
    filter.reset();
    EXPECT_EQ(inner.resetCount, 1);
    EXPECT_EQ(filter.read(), 'a');
    filter.close();
    EXPECT_EQ(inner.closeCount, 1);
  }
  // The destructor closes the inner stream and leaves it to its owner.
  EXPECT_EQ(inner.closeCount, 2);
  EXPECT_EQ(inner.read(), 'b');
}

TEST(TFilterInputStream, NullInnerReadsAsEmpty) {
  TFilterInputStream filter(nullptr);
  EXPECT_EQ(filter.available(), 0);
  EXPECT_EQ(filter.position(), 0);
  EXPECT_EQ(filter.read(), -1);
  EXPECT_EQ(filter.skip(3), 0);
  filter.reset();
  filter.close();
}
