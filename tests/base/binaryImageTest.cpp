#include "binaryImage.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>

#include "fatalCatch.h"
#include "testFiles.h"

using namespace tulim;
using testing::MatchesRegex;
using tulim::test::expectFatal;

namespace {

TEST(BinaryImage, WritesLittleEndianFieldsAndReadsThemBack) {
  test::envScope noLog("temp", nullptr);
  test::scratchDir dir;
  binaryImage out("out");
  out.putInt32(-2);
  out.putFloat(1.0f);
  out.putBytes("ab", 2);
  EXPECT_EQ(out.bytes(), std::string("\xfe\xff\xff\xff\x00\x00\x80\x3f" "ab", 10));
  const std::string path = dir.file("image.bin");
  out.save(path);

  binaryImage in = binaryImage::fromFile(path);
  EXPECT_EQ(in.getInt32(), -2);
  EXPECT_EQ(in.getFloat(), 1.0f);
  char two[2];
  in.getBytes(two, 2);
  EXPECT_EQ(std::string(two, 2), "ab");
  in.expectEnd();

  // Fields taken in one piece are the same bytes, and the reading goes on after them.
  binaryImage again = binaryImage::fromFile(path);
  const uint8_t* fields = again.take(2, 4, "fields");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(fields), 8), out.bytes().substr(0, 8));
  EXPECT_EQ(again.bytesLeft(), 2u);
  EXPECT_THAT(expectFatal([&] { again.take(1, 4, "fields"); }),
              MatchesRegex("Error: truncated image .*: 1 fields of 4 bytes at offset 8, 2 bytes left .*"));
}

TEST(BinaryImage, SavingToAFullDiskIsFatalNamingTheFile) {
  binaryImage out("out");
  out.putInt32(1);
  EXPECT_THAT(expectFatal([&] { out.save("/dev/full"); }),
              MatchesRegex("Cannot write file /dev/full: No space left on device \\(line [0-9]+ of utility\\)"));
}

TEST(BinaryImage, RejectsReadsPastTheEndAndLeftoverBytes) {
  test::envScope noLog("temp", nullptr);
  binaryImage in("short", "\x01\x02\x03", 3);
  EXPECT_THAT(expectFatal([&] { in.getInt32(); }),
              MatchesRegex("Error: truncated image \"short\": 1 int32 of 4 bytes at offset 0, 3 bytes left .*"));
  EXPECT_THAT(expectFatal([&] { in.need(INT64_MAX, 1 << 20, "records"); }),
              MatchesRegex("Error: truncated image .*records.*"))
      << "a huge count times a record size must not overflow";
  EXPECT_THAT(expectFatal([&] { in.need(-1, 4, "records"); }), MatchesRegex("Error: truncated image .*"));
  in.need(3, 1, "bytes");
  EXPECT_THAT(expectFatal([&] { in.expectEnd(); }),
              MatchesRegex("Error: image \"short\" has 3 bytes after its end at offset 0 .*"));
}

}  // namespace
