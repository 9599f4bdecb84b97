#include "TFileOutputStream.h"

#include <gtest/gtest.h>

#include <string>

#include "testFiles.h"

using namespace tulim;
using namespace tulim::test;

namespace {

std::string countingBytes(int n) {
  std::string bytes;
  for (int i = 0; i < n; ++i) bytes += static_cast<char>((i * 7) & 0xff);
  return bytes;
}

}  // namespace

TEST(TFileOutputStream, WritesEveryByteBySizeAndClose) {
  struct Case {
    int bufferSize;
    int bytes;
  } cases[] = {{0, 2000}, {-1, 1024}, {1, 5}, {7, 50}, {1024, 1023}, {1024, 0}};
  for (const Case& c : cases) {
    scratchDir dir;
    std::string path = dir.file("out");
    std::string bytes = countingBytes(c.bytes);
    TFileOutputStream out(c.bufferSize);
    ASSERT_TRUE(out.open(path.c_str()));
    for (int i = 0; i < c.bytes; ++i) {
      out.write(static_cast<unsigned char>(bytes[static_cast<size_t>(i)]));
      ASSERT_EQ(out.size(), i + 1) << "buffer " << c.bufferSize;
    }
    out.close();
    EXPECT_EQ(out.size(), 0);
    EXPECT_EQ(readFile(path), bytes) << "buffer " << c.bufferSize;
  }
}

TEST(TFileOutputStream, FullBufferReachesTheFileInOneBlock) {
  struct Case {
    int bufferSize;
    int blockBytes;
  } cases[] = {{0, 1024}, {-3, 1024}, {7, 7}};
  for (const Case& c : cases) {
    scratchDir dir;
    std::string path = dir.file("out");
    TFileOutputStream out(c.bufferSize);
    ASSERT_TRUE(out.open(path.c_str()));
    for (int i = 1; i < c.blockBytes; ++i) out.write('a');
    EXPECT_EQ(readFile(path).size(), 0u) << "buffer " << c.bufferSize;
    out.write('a');
    EXPECT_EQ(readFile(path).size(), static_cast<size_t>(c.blockBytes)) << "buffer " << c.bufferSize;
    for (int i = 0; i < c.blockBytes - 1; ++i) out.write('b');
    EXPECT_EQ(readFile(path).size(), static_cast<size_t>(c.blockBytes));
    out.close();
    EXPECT_EQ(readFile(path), std::string(c.blockBytes, 'a') + std::string(c.blockBytes - 1, 'b'));
  }
}

TEST(TFileOutputStream, TwoThousandBytesGoAsOneBlockAndTheRestAtClose) {
  scratchDir dir;
  std::string path = dir.file("out");
  TFileOutputStream out;
  ASSERT_TRUE(out.open(path.c_str()));
  std::string bytes = countingBytes(2000);
  out.write(bytes.data(), 1023);
  EXPECT_EQ(readFile(path).size(), 0u);
  out.write(bytes.data() + 1023, 977);
  EXPECT_EQ(readFile(path), bytes.substr(0, 1024));
  EXPECT_EQ(out.size(), 2000);
  out.close();
  EXPECT_EQ(readFile(path), bytes);
}

TEST(TFileOutputStream, FlushWritesTheBuffer) {
  scratchDir dir;
  std::string path = dir.file("out");
  TFileOutputStream out;
  ASSERT_TRUE(out.open(path.c_str()));
  out.write("hello", 5);
  EXPECT_EQ(readFile(path), "");
  out.flush();
  EXPECT_EQ(readFile(path), "hello");
}

TEST(TFileOutputStream, ClosedStreamIgnoresWrites) {
  scratchDir dir;
  TFileOutputStream out;
  out.write('x');
  out.flush();
  out.close();
  EXPECT_EQ(out.size(), 0);
  std::string path = dir.file("out");
  ASSERT_TRUE(out.open(path.c_str()));
  out.write('y');
  out.close();
  out.write('z');
  EXPECT_EQ(readFile(path), "y");
}

TEST(TFileOutputStream, OpenTruncatesAndClosesTheFormerFile) {
  scratchDir dir;
  std::string first = dir.write("first", "old contents");
  std::string second = dir.file("second");
  TFileOutputStream out;
  ASSERT_TRUE(out.open(first.c_str()));
  out.write("new", 3);
  ASSERT_TRUE(out.open(second.c_str()));
  EXPECT_EQ(readFile(first), "new");
  out.write('2');
  EXPECT_FALSE(out.open(dir.file("no/such/dir").c_str()));
  EXPECT_EQ(readFile(second), "2");
  EXPECT_FALSE(out.open(dir.path().c_str()));
  EXPECT_FALSE(out.open(nullptr));
  EXPECT_EQ(out.size(), 0);
}

TEST(TFileOutputStream, DestructorWritesTheBuffer) {
  scratchDir dir;
  std::string path = dir.file("out");
  {
    TFileOutputStream out;
    ASSERT_TRUE(out.open(path.c_str()));
    out.write("kept", 4);
  }
  EXPECT_EQ(readFile(path), "kept");
}
