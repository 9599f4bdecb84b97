#include "TDataInputStream.h"

#include <gtest/gtest.h>

#include <string>

#include "memoryStreams.h"

using namespace tulim;
using namespace tulim::test;

TEST(TDataInputStream, ReadsLittleEndianValues) {
  std::string bytes = std::string("\xfe\xff\xff\xff", 4)      // int -2
                      + std::string("\x00\x00\xc0\x3f", 4)    // float 1.5
                      + std::string("\x00\x00\x00\x00\x00\x00\xd0\xbf", 8)  // double -0.25
                      + std::string("\x78\x56\x34\x12", 4)    // int 0x12345678
                      + "\xff";
  memoryInputStream inner(bytes);
  TDataInputStream in(&inner);
  EXPECT_EQ(in.readInt(), -2);
  EXPECT_EQ(in.readFloat(), 1.5f);
  EXPECT_EQ(in.readDouble(), -0.25);
  EXPECT_EQ(in.readInt(), 0x12345678);
  EXPECT_EQ(in.readByte(), 255);
  EXPECT_EQ(in.readByte(), -1);
}

TEST(TDataInputStream, ValueCutShortByTheEndReadsAsZero) {
  memoryInputStream forInt("\x01\x02\x03");
  TDataInputStream intIn(&forInt);
  EXPECT_EQ(intIn.readInt(), 0);
  EXPECT_EQ(intIn.readByte(), -1);

  memoryInputStream forFloat("\x00\x00\xc0");
  TDataInputStream floatIn(&forFloat);
  EXPECT_EQ(floatIn.readFloat(), 0.0f);

  memoryInputStream forDouble(std::string("\x00\x00\x00\x00\x00\x00\xd0", 7));
  TDataInputStream doubleIn(&forDouble);
  EXPECT_EQ(doubleIn.readDouble(), 0.0);
  EXPECT_EQ(forDouble.position(), 7);
}

TEST(TDataInputStream, ReadsLinesDroppingCrAndLf) {
  struct Case {
    std::string bytes;
    int max;
    std::vector<std::string> lines;  // successive calls, the last one at the end
  } cases[] = {
      {"a\r\nb", 10, {"a", "b", ""}},
      {"abcdef\n", 3, {"abc", "def", "", ""}},     // max bytes in all, then the LF alone
      {"\r\r\n\n", 10, {"", "", ""}},
      {"ab\r\ncd", 3, {"ab", "", "cd"}},           // a, b, CR: max reached before the LF
      {"\xa4\x40\n", 5, {"\xa4\x40", ""}},
      {"abc", 0, {"", ""}},                        // nothing read
  };
  for (const Case& c : cases) {
    memoryInputStream inner(c.bytes);
    TDataInputStream in(&inner);
    for (const std::string& line : c.lines) {
      char buffer[16];
      memset(buffer, 'x', sizeof buffer);
      int stored = in.readLine(buffer, c.max);
      EXPECT_EQ(std::string(buffer), line) << "in " << c.bytes;
      EXPECT_EQ(stored, static_cast<int>(line.size()));
    }
  }
  memoryInputStream inner("ab");
  TDataInputStream in(&inner);
  EXPECT_EQ(in.readLine(nullptr, 4), 0);
  EXPECT_EQ(inner.position(), 0);
}
