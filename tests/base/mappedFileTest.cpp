#include "platform/mappedFile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fatalCatch.h"
#include "testFiles.h"

using namespace tulim;
using namespace tulim::test;

TEST(MappedFile, HoldsTheBytesOfTheFileAndNothingForAnEmptyOne) {
  scratchDir dir;
  const std::string bytes("ab\0\xff" "cd", 6);
  const mappedFile file(dir.write("six.bin", bytes));
  ASSERT_EQ(file.size(), 6u);
  EXPECT_EQ(std::string(file.data(), file.size()), bytes);

  const mappedFile empty(dir.write("empty.bin", ""));
  EXPECT_EQ(empty.size(), 0u);
  EXPECT_EQ(empty.data(), nullptr);
}

TEST(MappedFile, AMissingFileOrAFolderIsFatal) {
  scratchDir dir;
  for (const std::string& path : {dir.file("none.bin"), dir.path()})
    EXPECT_THAT(expectFatal([&] { mappedFile file(path); }), ::testing::StartsWith("Cannot open file " + path));
}

TEST(MappedFile, ReleasedBytesStayReadable) {
  scratchDir dir;
  std::string bytes;
  for (int i = 0; i < 3 * 4096 + 100; i++) bytes += static_cast<char>('a' + i % 26);
  const mappedFile file(dir.write("pages.bin", bytes));
  for (size_t offset : {size_t{10}, size_t{4096}, size_t{2 * 4096 + 7}, bytes.size(), bytes.size() + 5}) {
    file.release(offset);
    EXPECT_EQ(std::string(file.data(), file.size()), bytes) << offset;
  }
}
