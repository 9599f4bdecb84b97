// Memory for a large array that is built once and then read often (the scoring layout of a
// model set): placed on the system's large pages where it may be, so that filling it costs
// one page fault per large page instead of one per small page.
#pragma once

#include <cstddef>

namespace tulim {

class largePageBlock {
 public:
  // bytes of writable memory, suitably aligned for any scalar; not initialised. std::bad_alloc
  // when the system has no memory for it.
  explicit largePageBlock(size_t bytes);
  ~largePageBlock();
  largePageBlock(const largePageBlock&) = delete;
  largePageBlock& operator=(const largePageBlock&) = delete;

  void* data() const { return m_data; }

 private:
  void* m_data = nullptr;
  size_t m_mapped = 0;  // bytes mapped for it, 0 for memory from the heap
};

}  // namespace tulim
