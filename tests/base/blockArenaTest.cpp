#include "blockArena.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

using namespace tulim;

TEST(BlockArena, HandsOutAlignedPiecesUntilTheBlockIsFull) {
  blockArena arena(100);
  EXPECT_EQ(arena.take(0, 4), nullptr);
  char* a = static_cast<char*>(arena.take(10, 1));
  char* b = static_cast<char*>(arena.take(8, 8));
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(b) % 8, 0u);
  EXPECT_GE(b, a + 10) << "pieces do not overlap";
  EXPECT_TRUE(arena.holds(a));
  EXPECT_TRUE(arena.holds(b + 7));
  EXPECT_EQ(arena.take(100, 1), nullptr) << "more than is left";
  int onHeap = 0;
  EXPECT_FALSE(arena.holds(&onHeap));
}

TEST(BlockArena, ContainersOnAnArenaCopyToTheHeapAndGrowPastItsEnd) {
  using arenaVector = std::vector<int, arenaAllocator<int>>;
  auto arena = std::make_shared<blockArena>(8 * sizeof(int));
  arenaVector onArena{arenaAllocator<int>(arena)};
  onArena.resize(8);
  for (int k = 0; k < 8; k++) onArena[static_cast<size_t>(k)] = k;
  EXPECT_TRUE(arena->holds(onArena.data()));

  arenaVector copy = onArena;
  EXPECT_FALSE(arena->holds(copy.data())) << "a copy is on the heap";
  EXPECT_EQ(copy.get_allocator().arena(), nullptr);

  arenaVector moved = std::move(onArena);
  EXPECT_TRUE(arena->holds(moved.data())) << "a move keeps the arena";
  moved.push_back(8);  // the arena is full: the heap takes over, the values come along
  EXPECT_FALSE(arena->holds(moved.data()));
  arena.reset();  // the containers keep the arena while they need it
  for (int k = 0; k < 9; k++) EXPECT_EQ(moved[static_cast<size_t>(k)], k);
  EXPECT_EQ(copy, arenaVector(moved.begin(), moved.begin() + 8));
}
