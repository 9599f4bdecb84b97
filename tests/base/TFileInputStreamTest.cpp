#include "TFileInputStream.h"

#include <gtest/gtest.h>

#include <string>

#include "testFiles.h"

using namespace tulim;
using namespace tulim::test;

namespace {

// Bytes 0, 1, 2, ... n - 1 (mod 256).
std::string countingBytes(int n) {
  std::string bytes;
  for (int i = 0; i < n; ++i) bytes += static_cast<char>(i & 0xff);
  return bytes;
}

}  // namespace

TEST(TFileInputStream, ReadsBytesAsUnsignedThenEnd) {
  scratchDir dir;
  TFileInputStream in;
  ASSERT_TRUE(in.open(dir.write("three", std::string("\x01\xff\x80", 3)).c_str()));
  EXPECT_EQ(in.available(), 3);
  EXPECT_EQ(in.read(), 1);
  EXPECT_EQ(in.read(), 255);
  EXPECT_EQ(in.read(), 128);
  EXPECT_EQ(in.read(), -1);
  EXPECT_EQ(in.read(), -1);
  EXPECT_EQ(in.position(), 3);
  EXPECT_EQ(in.available(), 0);
}

TEST(TFileInputStream, SkipIsCutToAvailable) {
  scratchDir dir;
  TFileInputStream in;
  ASSERT_TRUE(in.open(dir.write("three", "abc").c_str()));
  EXPECT_EQ(in.read(), 'a');
  EXPECT_EQ(in.skip(10), 2);
  EXPECT_EQ(in.available(), 0);
  EXPECT_EQ(in.position(), 3);
  EXPECT_EQ(in.read(), -1);
  EXPECT_EQ(in.skip(1), 0);
}

TEST(TFileInputStream, SkipsWithinAndBeyondTheBuffer) {
  scratchDir dir;
  std::string path = dir.write("forty", countingBytes(40));
  struct Case {
    int skip;
    int skipped;
    int next;  // byte read after the skip
  } cases[] = {
      {0, 0, 1}, {-4, 0, 1}, {2, 2, 3},    // within the 4-byte buffer filled by the first read
      {3, 3, 4}, {4, 4, 5},  {20, 20, 21}, // past it: the file moves on
      {38, 38, 39},
  };
  for (const Case& c : cases) {
    TFileInputStream in(4);
    ASSERT_TRUE(in.open(path.c_str()));
    ASSERT_EQ(in.read(), 0);
    EXPECT_EQ(in.skip(c.skip), c.skipped) << "skip " << c.skip;
    EXPECT_EQ(in.position(), 1 + c.skipped);
    EXPECT_EQ(in.available(), 39 - c.skipped);
    EXPECT_EQ(in.read(), c.next) << "skip " << c.skip;
    EXPECT_EQ(in.read(), c.next + 1 < 40 ? c.next + 1 : -1) << "skip " << c.skip;
  }
}

// The first read fills the buffer; bytes changed on disk afterwards show where it ends.
TEST(TFileInputStream, BufferSizeBelowOneMeansDefault) {
  struct Case {
    int size;
    int bufferBytes;
  } cases[] = {{0, 1024}, {-7, 1024}, {1, 1}, {10, 10}, {1024, 1024}};
  for (const Case& c : cases) {
    scratchDir dir;
    std::string path = dir.write("wave", std::string(2000, 'a'));
    TFileInputStream in(c.size);
    ASSERT_TRUE(in.open(path.c_str()));
    ASSERT_EQ(in.read(), 'a');
    dir.write("wave", std::string(2000, 'b'));
    for (int i = 1; i < c.bufferBytes; ++i) ASSERT_EQ(in.read(), 'a') << "size " << c.size << " byte " << i;
    EXPECT_EQ(in.read(), 'b') << "size " << c.size;
  }
  TFileInputStream byDefault;
  scratchDir dir;
  std::string path = dir.write("wave", std::string(2000, 'a'));
  ASSERT_TRUE(byDefault.open(path.c_str()));
  ASSERT_EQ(byDefault.read(), 'a');
  dir.write("wave", std::string(2000, 'b'));
  for (int i = 1; i < 1024; ++i) ASSERT_EQ(byDefault.read(), 'a');
  EXPECT_EQ(byDefault.read(), 'b');
}

TEST(TFileInputStream, FileThatShrankEndsTheStream) {
  scratchDir dir;
  std::string path = dir.write("shrinking", countingBytes(10));
  TFileInputStream in;
  ASSERT_TRUE(in.open(path.c_str()));
  ASSERT_EQ(in.available(), 10);
  dir.write("shrinking", countingBytes(4));
  for (int i = 0; i < 4; ++i) EXPECT_EQ(in.read(), i);
  EXPECT_EQ(in.read(), -1);
  EXPECT_EQ(in.available(), 0);
  EXPECT_EQ(in.position(), 4);
}

TEST(TFileInputStream, ResetRewindsAndCloseEmpties) {
  scratchDir dir;
  TFileInputStream in(2);
  ASSERT_TRUE(in.open(dir.write("abc", "abc").c_str()));
  in.read();
  in.read();
  in.read();
  in.reset();
  EXPECT_EQ(in.position(), 0);
  EXPECT_EQ(in.available(), 3);
  EXPECT_EQ(in.read(), 'a');

  in.close();
  EXPECT_EQ(in.position(), 0);
  EXPECT_EQ(in.available(), 0);
  EXPECT_EQ(in.read(), -1);
  EXPECT_EQ(in.skip(1), 0);
  in.reset();
  EXPECT_EQ(in.available(), 0);
  EXPECT_EQ(in.read(), -1);
}

TEST(TFileInputStream, OpenReplacesTheOpenFile) {
  scratchDir dir;
  TFileInputStream in;
  ASSERT_TRUE(in.open(dir.write("first", "xyz").c_str()));
  EXPECT_EQ(in.read(), 'x');
  ASSERT_TRUE(in.open(dir.write("second", "pq").c_str()));
  EXPECT_EQ(in.position(), 0);
  EXPECT_EQ(in.available(), 2);
  unsigned char bytes[4];
  EXPECT_EQ(in.read(bytes, 4), 2);
  EXPECT_EQ(bytes[0], 'p');
  EXPECT_EQ(bytes[1], 'q');
}

TEST(TFileInputStream, OpenFailsOnMissingFileAndDirectory) {
  scratchDir dir;
  TFileInputStream in;
  ASSERT_TRUE(in.open(dir.write("abc", "abc").c_str()));
  for (const std::string& name : {dir.file("missing"), dir.path()}) {
    EXPECT_FALSE(in.open(name.c_str())) << name;
    EXPECT_EQ(in.available(), 0);
    EXPECT_EQ(in.read(), -1);
  }
  EXPECT_FALSE(in.open(nullptr));
}

TEST(TFileInputStream, EmptyFileIsAtItsEnd) {
  scratchDir dir;
  TFileInputStream in;
  ASSERT_TRUE(in.open(dir.write("empty", "").c_str()));
  EXPECT_EQ(in.available(), 0);
  EXPECT_EQ(in.read(), -1);
  EXPECT_EQ(in.skip(5), 0);
}
