// Heap settings for this project's command-line programs, which run for a fraction of a second
// each: they call programHeapSet first thing in main. The library itself never calls it, so a
// program that embeds the engine keeps its own heap settings.
#pragma once

namespace tulim {

// Large blocks from the heap instead of mappings of their own, freed memory kept for reuse,
// and the threads' allocations in the main heap; where the C library has no such settings,
// nothing changes.
void programHeapSet();

}  // namespace tulim
