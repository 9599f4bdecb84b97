#include "TDataOutputStream.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <string>

#include "TDataInputStream.h"
#include "TFileInputStream.h"
#include "TFileOutputStream.h"
#include "memoryStreams.h"
#include "testFiles.h"

using namespace tulim;
using namespace tulim::test;

TEST(TDataOutputStream, WritesLittleEndianValuesWithoutTags) {
  memoryOutputStream inner;
  TDataOutputStream out(&inner);
  out.writeByte(0x1234);
  out.writeInt(-2);
  out.writeFloat(1.5f);
  out.writeDouble(-0.25);
  out.writeString("ab\xa4\x40");
  out.writeString("");
  out.writeString(nullptr);
  EXPECT_EQ(inner.bytes, std::string("\x34"
                                     "\xfe\xff\xff\xff"
                                     "\x00\x00\xc0\x3f"
                                     "\x00\x00\x00\x00\x00\x00\xd0\xbf"
                                     "ab\xa4\x40",
                                     21));
  EXPECT_EQ(out.size(), 21);
}

TEST(TDataOutputStream, ValuesReadBackThroughAFile) {
  scratchDir dir;
  std::string path = dir.file("values");
  {
    TFileOutputStream file(3);
    ASSERT_TRUE(file.open(path.c_str()));
    TDataOutputStream out(&file);
    out.writeInt(INT_MIN);
    out.writeInt(INT_MAX);
    out.writeFloat(-FLT_MAX);
    out.writeDouble(DBL_MIN);
    out.writeString("line one\r\nline two\n");
  }
  TFileInputStream file(5);
  ASSERT_TRUE(file.open(path.c_str()));
  TDataInputStream in(&file);
  EXPECT_EQ(in.readInt(), INT_MIN);
  EXPECT_EQ(in.readInt(), INT_MAX);
  EXPECT_EQ(in.readFloat(), -FLT_MAX);
  EXPECT_EQ(in.readDouble(), DBL_MIN);
  char line[32];
  EXPECT_EQ(in.readLine(line, 31), 8);
  EXPECT_STREQ(line, "line one");
  EXPECT_EQ(in.readLine(line, 31), 8);
  EXPECT_STREQ(line, "line two");
  EXPECT_EQ(in.available(), 0);
}
