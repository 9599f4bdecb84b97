#include "CFeaBuf.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

#include "testFiles.h"
#include "waveFileFixture.h"

using namespace tulim;
using tulim::test::readFile;
using tulim::test::scratchDir;
using tulim::test::le16;
using tulim::test::le32;

namespace {

// The buffer of the 36-byte example: 2 frames of 3 values, period 100000, kind 838.
CFeaBuf twoByThree() {
  CFeaBuf buf;
  buf.resize(2, 3);
  const float values[6] = {1.0f, -2.5f, 0.125f, 3e-7f, 1e6f, -0.0f};
  for (int i = 0; i < 6; ++i) buf.row(i / 3)[i % 3] = values[i];
  buf.sampPeriod = 100000;
  buf.sampSize = 12;
  buf.parmKind = 838;
  return buf;
}

std::string leFloat(float f) {
  uint32_t bits;
  memcpy(&bits, &f, 4);
  return le32(bits);
}
// Every 4- and 2-byte field of a feature file reversed: the big-endian copy.
std::string reversedFields(const std::string& file) {
  std::string out = file;
  auto flip = [&](size_t at, size_t n) { std::reverse(out.begin() + at, out.begin() + at + n); };
  flip(0, 4);
  flip(4, 4);
  flip(8, 2);
  flip(10, 2);
  for (size_t at = 12; at + 4 <= out.size(); at += 4) flip(at, 4);
  return out;
}

void expectSameBuffer(const CFeaBuf& got, const CFeaBuf& want) {
  ASSERT_EQ(got.rowCount(), want.rowCount());
  ASSERT_EQ(got.colCount(), want.colCount());
  EXPECT_EQ(got.nSamples, want.nSamples);
  EXPECT_EQ(got.sampPeriod, want.sampPeriod);
  EXPECT_EQ(got.sampSize, want.sampSize);
  EXPECT_EQ(got.parmKind, want.parmKind);
  for (int t = 0; t < want.rowCount(); ++t)
    for (int j = 0; j < want.colCount(); ++j) {
      uint32_t a, b;
      memcpy(&a, &got.row(t)[j], 4);
      memcpy(&b, &want.row(t)[j], 4);
      EXPECT_EQ(a, b) << "row " << t << " column " << j;
    }
}

}  // namespace

TEST(CFeaBufWrite, WritesTheThirtySixByteLittleEndianFile) {
  scratchDir dir;
  CFeaBuf buf = twoByThree();
  EXPECT_TRUE(buf.write2bin(dir.file("f.bin").c_str()));
  std::string expected = le32(2) + le32(100000) + le16(12) + le16(838);
  for (float v : {1.0f, -2.5f, 0.125f, 3e-7f, 1e6f, -0.0f}) expected += leFloat(v);
  EXPECT_EQ(readFile(dir.file("f.bin")), expected);
  EXPECT_EQ(expected.size(), 36u);
}

TEST(CFeaBufRead, ReadsBothByteOrdersBack) {
  scratchDir dir;
  CFeaBuf original = twoByThree();
  original.write2bin(dir.file("le.bin").c_str());
  dir.write("be.bin", reversedFields(readFile(dir.file("le.bin"))));

  CFeaBuf native;
  ASSERT_TRUE(native.read(dir.file("le.bin").c_str(), true));
  expectSameBuffer(native, original);

  CFeaBuf swapped;
  ASSERT_TRUE(swapped.read(dir.file("be.bin").c_str(), false));
  expectSameBuffer(swapped, original);
}

TEST(CFeaBufRead, IgnoresAChecksumAfterTheFrames) {
  scratchDir dir;
  CFeaBuf original = twoByThree();
  original.write2bin(dir.file("f.bin").c_str());
  dir.write("crc.bin", readFile(dir.file("f.bin")) + "\x12\x34");
  CFeaBuf back;
  ASSERT_TRUE(back.read(dir.file("crc.bin").c_str(), true));
  expectSameBuffer(back, original);
}

TEST(CFeaBufRead, ReturnsFalseAndKeepsTheBufferOnBadFiles) {
  const std::string good = le32(2) + le32(100000) + le16(12) + le16(838) + std::string(24, '\0');
  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"empty", ""},
      {"header cut", good.substr(0, 11)},
      {"last frame cut", good.substr(0, 35)},
      {"more frames than bytes", le32(3) + good.substr(4)},
      {"negative frame count", le32(uint32_t(-1)) + good.substr(4)},
      {"frame size not a multiple of 4", good.substr(0, 8) + le16(10) + good.substr(10)},
      {"frame size zero", good.substr(0, 8) + le16(0) + good.substr(10)},
      {"frame size negative", good.substr(0, 8) + le16(uint16_t(-12)) + good.substr(10)},
      {"huge frame count", le32(0x7fffffff) + good.substr(4)},
  };
  scratchDir dir;
  for (const Case& c : cases) {
    std::string path = dir.write("bad.bin", c.bytes);
    CFeaBuf buf = twoByThree();
    EXPECT_FALSE(buf.read(path.c_str(), true)) << c.what;
    expectSameBuffer(buf, twoByThree());
  }
  CFeaBuf buf;
  EXPECT_FALSE(buf.read(dir.file("missing.bin").c_str(), true));
  EXPECT_FALSE(buf.read(dir.path().c_str(), true));
  EXPECT_FALSE(buf.read(nullptr, true));
}

TEST(CFeaBufRead, AcceptsAFileOfNoFrames) {
  scratchDir dir;
  std::string path = dir.write("empty.bin", le32(0) + le32(100000) + le16(12) + le16(838));
  CFeaBuf buf;
  ASSERT_TRUE(buf.read(path.c_str(), true));
  EXPECT_EQ(buf.rowCount(), 0);
  EXPECT_EQ(buf.colCount(), 3);
}

TEST(CFeaBufWrite, RefusesHeadersThatDisagreeWithTheRows) {
  struct Case {
    const char* what;
    void (*spoil)(CFeaBuf&);
    std::string message;
  } cases[] = {
      {"no frames", [](CFeaBuf& b) { b.nSamples = 0; }, "Write frame number error! "},
      {"frame count not the rows", [](CFeaBuf& b) { b.nSamples = 3; }, "Write frame number error! "},
      {"period", [](CFeaBuf& b) { b.sampPeriod = 0; }, "Write frame period error! "},
      {"frame size", [](CFeaBuf& b) { b.sampSize = 0; }, "Write bytes_per_frame error! "},
      {"frame size not the columns", [](CFeaBuf& b) { b.sampSize = 16; }, "Write bytes_per_frame error! "},
  };
  scratchDir dir;
  for (const Case& c : cases) {
    CFeaBuf buf = twoByThree();
    c.spoil(buf);
    const std::string path = dir.file(std::string(c.what) + ".bin");
    try {
      buf.write2bin(path.c_str());
      ADD_FAILURE() << c.what << ": nothing thrown";
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(std::string(e.what()), "[ERRMSG] CFeaBuf::write2bin => " + c.message) << c.what;
    }
    EXPECT_EQ(readFile(path), "") << c.what;
  }
}

TEST(CFeaBufWrite, RefusesAFileItCannotMake) {
  scratchDir dir;
  CFeaBuf buf = twoByThree();
  try {
    buf.write2bin(dir.file("no/such/dir/f.bin").c_str());
    ADD_FAILURE() << "nothing thrown";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "[ERRMSG] CFeaBuf::write2bin => Can't write to file ");
  }
}

// A full disk opens fine and fails at the writes: the file is not there, so no true.
TEST(CFeaBufWrite, ReportsAFileThatCouldNotBeFilled) {
  CFeaBuf buf = twoByThree();
  try {
    buf.write2bin("/dev/full");
    ADD_FAILURE() << "nothing thrown";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "[ERRMSG] CFeaBuf::write2bin => Can't write to file ");
  }
}

TEST(CFeaBufResize, ReplacesRowsWithZeroedOnesAndSetsTheCounts) {
  CFeaBuf buf = twoByThree();
  buf.resize(4, 5);
  EXPECT_EQ(buf.rowCount(), 4);
  EXPECT_EQ(buf.colCount(), 5);
  EXPECT_EQ(buf.nSamples, 4);
  EXPECT_EQ(buf.row(3) - buf.row(0), 15) << "rows lie back to back";
  for (int t = 0; t < 4; ++t)
    for (int j = 0; j < 5; ++j) EXPECT_EQ(buf.row(t)[j], 0.0f);
  try {
    buf.resize(-1, 3);
    ADD_FAILURE() << "nothing thrown";
  } catch (char* msg) {
    EXPECT_THAT(std::string(msg), testing::MatchesRegex(".*\\(line [0-9]+ of CFeaBuf\\)"));
  }
}
