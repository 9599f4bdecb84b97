#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/largePageBlock.h"

using namespace tulim;

TEST(LargePageBlock, HandsOutWritableAlignedMemoryOfEverySize) {
  // Heap sizes, the smallest one on large pages, and one past a large page boundary.
  for (size_t bytes : {size_t{0}, size_t{1}, size_t{4096}, (size_t{1} << 20) - 4, size_t{1} << 20,
                       (size_t{5} << 20) + 12}) {
    largePageBlock block(bytes);
    ASSERT_NE(block.data(), nullptr) << bytes;
    EXPECT_EQ(reinterpret_cast<uintptr_t>(block.data()) % alignof(std::max_align_t), 0u) << bytes;
    if (bytes == 0) continue;
    unsigned char* data = static_cast<unsigned char*>(block.data());
    memset(data, 0x5a, bytes);
    EXPECT_EQ(data[0], 0x5a) << bytes;
    EXPECT_EQ(data[bytes - 1], 0x5a) << bytes;
  }
}
