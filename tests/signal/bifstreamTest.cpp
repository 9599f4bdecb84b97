#include "bifstream.h"

#include <gtest/gtest.h>

#include "bofstream.h"
#include "testFiles.h"

using namespace tulim;
using tulim::test::readFile;
using tulim::test::scratchDir;

TEST(ByteReverse, ReversesInPlace) {
  unsigned char bytes[5] = {1, 2, 3, 4, 5};
  byteReverse(bytes, 4);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), 5), std::string("\x04\x03\x02\x01\x05"));
  byteReverse(bytes, 1);
  byteReverse(nullptr, 4);
  EXPECT_EQ(bytes[0], 4);
}

TEST(ByteStreams, WriteLittleEndianFieldsAndReadThemBack) {
  scratchDir dir;
  const std::string path = dir.file("s.bin");
  {
    bofstream out(path.c_str());
    ASSERT_TRUE(out.is_open());
    out.write2(0x12345678);  // the low 2 bytes only
    out.write4(int32_t(-2));
    out.write4(1.0f);
    out.writeBytes(nullptr, 4);
    out.writeBytes("x", 0);
  }
  EXPECT_EQ(readFile(path), std::string("\x78\x56\xfe\xff\xff\xff\x00\x00\x80\x3f", 10));

  bifstream in(path.c_str());
  int16_t a = 0;
  int32_t b = 0;
  float c = 0;
  EXPECT_TRUE(in.read2(a));
  EXPECT_TRUE(in.read4(b));
  EXPECT_TRUE(in.read4(c));
  EXPECT_EQ(a, 0x5678);
  EXPECT_EQ(b, -2);
  EXPECT_EQ(c, 1.0f);
  int32_t untouched = 7;
  EXPECT_FALSE(in.read4(untouched));
  EXPECT_EQ(untouched, 7);
}

TEST(ByteStreams, ShortReadLeavesTheFieldAlone) {
  scratchDir dir;
  bifstream in(dir.write("three.bin", "abc").c_str());
  int32_t field = 42;
  EXPECT_FALSE(in.read4(field));
  EXPECT_EQ(field, 42);
}
