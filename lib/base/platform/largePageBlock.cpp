#include "largePageBlock.h"

#include <sys/mman.h>

#include <cstdint>
#include <new>

namespace tulim {

namespace {

#if defined(__linux__) && defined(__x86_64__) && defined(MADV_HUGEPAGE)
#define TULIM_LARGE_PAGES 1
constexpr size_t LARGE_PAGE = size_t{2} << 20;
// Smaller blocks stay on the heap: a large page would hold mostly unused memory.
constexpr size_t LARGE_PAGE_MIN_BYTES = LARGE_PAGE / 2;
#endif

}  // namespace

largePageBlock::largePageBlock(size_t bytes) {
#ifdef TULIM_LARGE_PAGES
  if (bytes < LARGE_PAGE_MIN_BYTES) {
    m_data = ::operator new(bytes);
    return;
  }
  // Large pages must start on a large page boundary: map one more, keep an aligned run of
  // whole large pages and hand back the rest, which was never touched.
  const size_t length = (bytes + LARGE_PAGE - 1) / LARGE_PAGE * LARGE_PAGE;
  void* at = mmap(nullptr, length + LARGE_PAGE, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (at == MAP_FAILED) throw std::bad_alloc();
  const uintptr_t start = reinterpret_cast<uintptr_t>(at);
  const uintptr_t aligned = (start + LARGE_PAGE - 1) / LARGE_PAGE * LARGE_PAGE;
  if (aligned > start) munmap(at, aligned - start);
  if (start + LARGE_PAGE > aligned) munmap(reinterpret_cast<void*>(aligned + length), start + LARGE_PAGE - aligned);
  m_data = reinterpret_cast<void*>(aligned);
  m_mapped = length;
  // Only advice: where the system refuses it or has no large page free, small pages serve.
  madvise(m_data, m_mapped, MADV_HUGEPAGE);
#else
  m_data = ::operator new(bytes);
#endif
}

largePageBlock::~largePageBlock() {
  if (m_mapped)
    munmap(m_data, m_mapped);
  else
    ::operator delete(m_data);
}

}  // namespace tulim
