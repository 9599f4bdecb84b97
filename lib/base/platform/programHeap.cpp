#include "programHeap.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace tulim {

void programHeapSet() {
#if defined(__GLIBC__)
  // A run touches a few MiB and is over in tens of milliseconds, so the default heap policy
  // costs more than it saves: blocks above 128 KiB get mappings of their own, whose pages fault
  // in one by one and whose unmapping (like trimming the heap top) interrupts every core that
  // runs one of the search's threads; each thread's first allocation makes a new heap. Large
  // blocks therefore come from the main heap, freed memory is kept (the peak stays under
  // 10 MiB), the heap grows in steps of a few MiB, and all threads share the main heap (small
  // blocks still come from each thread's own cache without a lock).
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
  mallopt(M_TOP_PAD, 4 << 20);
  mallopt(M_ARENA_MAX, 1);
#endif
}

}  // namespace tulim
