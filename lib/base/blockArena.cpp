#include "blockArena.h"

#include <cstdint>

#include "platform/largePageBlock.h"

namespace tulim {

blockArena::blockArena(size_t bytes) : m_block(std::make_unique<largePageBlock>(bytes)) {
  m_begin = static_cast<char*>(m_block->data());
  m_next = m_begin;
  m_end = m_begin + bytes;
}

blockArena::~blockArena() = default;

void* blockArena::take(size_t bytes, size_t alignment) {
  if (bytes == 0) return nullptr;
  const uintptr_t at = (reinterpret_cast<uintptr_t>(m_next) + alignment - 1) & ~(uintptr_t{alignment} - 1);
  const uintptr_t end = reinterpret_cast<uintptr_t>(m_end);
  if (at > end || bytes > end - at) return nullptr;
  m_next = reinterpret_cast<char*>(at + bytes);
  return reinterpret_cast<void*>(at);
}

bool blockArena::holds(const void* p) const {
  const uintptr_t at = reinterpret_cast<uintptr_t>(p);
  return at >= reinterpret_cast<uintptr_t>(m_begin) && at < reinterpret_cast<uintptr_t>(m_end);
}

}  // namespace tulim
