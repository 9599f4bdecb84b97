// Memory handed out in pieces from one block and given back all at once, for the many small
// arrays of a model set read in one go (its mixtures): one allocation instead of thousands,
// side by side in memory, on large pages where the block is large (platform/largePageBlock.h).
// arenaAllocator lets a standard container take its memory from an arena.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

namespace tulim {

class largePageBlock;

class blockArena {
 public:
  // A block of that many bytes, not yet touched.
  explicit blockArena(size_t bytes);
  ~blockArena();
  blockArena(const blockArena&) = delete;
  blockArena& operator=(const blockArena&) = delete;

  // bytes (more than 0) at the given alignment (a power of two), not initialised; nullptr
  // when the block has no room left for them.
  void* take(size_t bytes, size_t alignment);
  // Whether p was handed out by this arena.
  bool holds(const void* p) const;

 private:
  std::unique_ptr<largePageBlock> m_block;
  char* m_begin = nullptr;
  char* m_next = nullptr;
  char* m_end = nullptr;
};

// A standard allocator that takes memory from its arena while the arena has room, else from
// the heap; memory of the arena is given back with the arena, when the last container using
// it is gone. Without an arena it is the plain heap. A container copied from one on an arena
// is on the heap: only the reader that built the arena puts containers on it. An element made
// without a value is left uninitialised, so a reader that writes every field touches its
// memory once, not twice.
template <class T>
class arenaAllocator {
 public:
  using value_type = T;
  using propagate_on_container_move_assignment = std::true_type;
  using propagate_on_container_swap = std::true_type;
  using is_always_equal = std::false_type;

  arenaAllocator() = default;
  explicit arenaAllocator(std::shared_ptr<blockArena> arena) : m_arena(std::move(arena)) {}
  template <class U>
  arenaAllocator(const arenaAllocator<U>& other) noexcept : m_arena(other.arena()) {}

  T* allocate(size_t n) {
    if (m_arena && n <= static_cast<size_t>(-1) / sizeof(T))
      if (void* p = m_arena->take(n * sizeof(T), alignof(T))) return static_cast<T*>(p);
    return std::allocator<T>().allocate(n);
  }
  void deallocate(T* p, size_t n) noexcept {
    if (m_arena && m_arena->holds(p)) return;
    std::allocator<T>().deallocate(p, n);
  }
  arenaAllocator select_on_container_copy_construction() const { return arenaAllocator(); }

  template <class U>
  void construct(U* p) noexcept(std::is_nothrow_default_constructible<U>::value) {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }

  const std::shared_ptr<blockArena>& arena() const { return m_arena; }

 private:
  std::shared_ptr<blockArena> m_arena;
};

template <class T, class U>
bool operator==(const arenaAllocator<T>& a, const arenaAllocator<U>& b) {
  return a.arena() == b.arena();
}
template <class T, class U>
bool operator!=(const arenaAllocator<T>& a, const arenaAllocator<U>& b) {
  return !(a == b);
}

}  // namespace tulim
