#include "platform/riffFile.h"

#include <gtest/gtest.h>

#include "testFiles.h"
#include "waveFileFixture.h"

using namespace tulim;
using tulim::test::chunkBytes;
using tulim::test::le32;
using tulim::test::readFile;
using tulim::test::scratchDir;

namespace {

// RIFF WAVE { "odd " (3 bytes, padded), LIST INFO { "INAM" "ab" }, "fmt " (4 bytes) }, then a
// chunk after the RIFF that its size does not cover.
std::string nestedFile() {
  std::string list = chunkBytes("LIST", "INFO" + chunkBytes("INAM", "ab"));
  std::string body = "WAVE" + chunkBytes("odd ", "xyz") + list + chunkBytes("fmt ", "FMT!");
  return "RIFF" + le32(static_cast<uint32_t>(body.size())) + body + chunkBytes("data", "late");
}

}  // namespace

TEST(RiffFile, DescendsByIdSkippingChunksAndPadBytes) {
  scratchDir dir;
  riffFile file;
  ASSERT_TRUE(file.open(dir.write("a.wav", nestedFile()).c_str(), riffFile::READ));

  riffChunk riff;
  riff.fccType = riffFourCC("WAVE");
  ASSERT_EQ(file.descend(riff, nullptr, RIFF_FIND_RIFF), RIFF_OK);
  EXPECT_EQ(riff.dataOffset, 8);

  riffChunk fmt;
  fmt.ckid = riffFourCC("fmt ");
  ASSERT_EQ(file.descend(fmt, &riff, RIFF_FIND_CHUNK), RIFF_OK);
  // 12 + "odd " chunk 8 + 3 + pad 1 + LIST chunk 8 + 4 + 10, then its header of 8.
  EXPECT_EQ(fmt.dataOffset, 12 + 12 + 22 + 8);
  EXPECT_EQ(fmt.cksize, 4u);
  char bytes[4];
  ASSERT_EQ(file.read(bytes, 4), 4);
  EXPECT_EQ(std::string(bytes, 4), "FMT!");
  ASSERT_EQ(file.ascend(fmt), RIFF_OK);

  // "data" lies after the end of the RIFF chunk: not inside it.
  riffChunk data;
  data.ckid = riffFourCC("data");
  EXPECT_EQ(file.descend(data, &riff, RIFF_FIND_CHUNK), RIFF_CHUNK_NOT_FOUND);
}

TEST(RiffFile, DescendsIntoListAndAscendsPastItsPad) {
  scratchDir dir;
  riffFile file;
  ASSERT_TRUE(file.open(dir.write("a.wav", nestedFile()).c_str(), riffFile::READ));
  riffChunk riff;
  riff.fccType = riffFourCC("WAVE");
  ASSERT_EQ(file.descend(riff, nullptr, RIFF_FIND_RIFF), RIFF_OK);

  riffChunk list;
  list.fccType = riffFourCC("INFO");
  ASSERT_EQ(file.descend(list, &riff, RIFF_FIND_LIST), RIFF_OK);
  riffChunk name;
  ASSERT_EQ(file.descend(name, &list, 0), RIFF_OK);
  EXPECT_EQ(name.ckid, riffFourCC("INAM"));
  ASSERT_EQ(file.ascend(name), RIFF_OK);
  EXPECT_EQ(file.descend(name, &list, 0), RIFF_CHUNK_NOT_FOUND);
  ASSERT_EQ(file.ascend(list), RIFF_OK);

  riffChunk next;
  ASSERT_EQ(file.descend(next, &riff, 0), RIFF_OK);
  EXPECT_EQ(next.ckid, riffFourCC("fmt "));
}

TEST(RiffFile, MissesFormTypeAndTruncatedHeader) {
  scratchDir dir;
  riffFile file;
  ASSERT_TRUE(file.open(dir.write("a.wav", "RIFF" + le32(4) + "AVI " + "RIF").c_str(), riffFile::READ));
  riffChunk riff;
  riff.fccType = riffFourCC("WAVE");
  EXPECT_EQ(file.descend(riff, nullptr, RIFF_FIND_RIFF), RIFF_CHUNK_NOT_FOUND);
  EXPECT_FALSE(file.open(dir.path().c_str(), riffFile::READ));
  EXPECT_FALSE(file.open(dir.file("missing").c_str(), riffFile::READ));
}

TEST(RiffFile, AscentWritesPadByteAndTrueSizes) {
  scratchDir dir;
  std::string path = dir.file("out.riff");
  {
    riffFile file;
    ASSERT_TRUE(file.open(path.c_str(), riffFile::CREATE));
    riffChunk riff;
    riff.fccType = riffFourCC("WAVE");
    ASSERT_EQ(file.createChunk(riff, RIFF_CREATE_RIFF), RIFF_OK);
    riffChunk odd;
    odd.ckid = riffFourCC("odd ");
    ASSERT_EQ(file.createChunk(odd, 0), RIFF_OK);
    ASSERT_EQ(file.write("abc", 3), 3);
    ASSERT_EQ(file.ascend(odd), RIFF_OK);
    EXPECT_EQ(odd.cksize, 3u);
    riffChunk even;
    even.ckid = riffFourCC("even");
    even.cksize = 2;
    ASSERT_EQ(file.createChunk(even, 0), RIFF_OK);
    ASSERT_EQ(file.write("de", 2), 2);
    ASSERT_EQ(file.ascend(even), RIFF_OK);
    ASSERT_EQ(file.ascend(riff), RIFF_OK);
    ASSERT_EQ(file.close(), RIFF_OK);
  }
  std::string expected = "RIFF" + le32(4 + 12 + 10) + "WAVE" + "odd " + le32(3) + "abc" +
                         std::string(1, '\0') + "even" + le32(2) + "de";
  EXPECT_EQ(readFile(path), expected);
}
