#include "TCipherInputStream.h"

#include <gtest/gtest.h>

#include <string>

#include "memoryStreams.h"

using namespace tulim;
using namespace tulim::test;

TEST(TCipherInputStream, RepeatsTheKeyOverTheBytes) {
  memoryInputStream inner(std::string(4, '\0'));
  TCipherInputStream in(&inner);
  in.setKey("\x01\x80\xff");
  EXPECT_EQ(in.read(), 0x01);
  EXPECT_EQ(in.read(), 0x80);
  EXPECT_EQ(in.read(), 0xff);
  EXPECT_EQ(in.read(), 0x01);
  EXPECT_EQ(in.read(), -1);
}

TEST(TCipherInputStream, WithoutKeyPassesBytes) {
  for (const char* key : {static_cast<const char*>(nullptr), ""}) {
    memoryInputStream inner("\x90z");
    TCipherInputStream in(&inner);
    in.setKey("k");
    in.setKey(key);
    EXPECT_EQ(in.read(), 0x90);
    EXPECT_EQ(in.read(), 'z');
    EXPECT_EQ(in.read(), -1);
  }
}

TEST(TCipherInputStream, SkipAndResetMoveTheKey) {
  memoryInputStream inner(std::string(6, '\0'));
  TCipherInputStream in(&inner);
  in.setKey("abc");
  EXPECT_EQ(in.read(), 'a');
  EXPECT_EQ(in.skip(-2), 0);
  EXPECT_EQ(inner.lastSkipAsked, -1) << "a negative skip reached the inner stream";
  EXPECT_EQ(in.skip(3), 3);
  EXPECT_EQ(in.read(), 'b');
  EXPECT_EQ(in.skip(10), 1);  // cut at the end: the key moves by one only
  in.reset();
  EXPECT_EQ(inner.resetCount, 1);
  EXPECT_EQ(in.read(), 'a');
  EXPECT_EQ(in.skip(7), 5);
  in.reset();
  in.setKey("xy");
  EXPECT_EQ(in.read(), 'x');
  EXPECT_EQ(in.read(), 'y');
}
