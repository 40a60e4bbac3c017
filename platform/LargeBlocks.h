// Large blocks of memory straight from the system, for allocators that carve many small objects
// out of them: the one place that maps pages.
//
// Where the system offers transparent huge pages on request, the blocks ask for them, so that
// filling a fresh block costs one page fault per LargeBlockSize bytes instead of one per 4 KB.
// Nothing here throws; every function may be called from any thread.
#pragma once

#include <cstddef>

namespace fundrel::platform {

// The size and alignment of every block.
constexpr size_t LargeBlockSize = size_t(2) << 20;

// A fresh, zeroed block of LargeBlockSize bytes aligned to LargeBlockSize; null when the system
// has no memory left.
void* AllocateLargeBlock();
// Gives a block from AllocateLargeBlock back to the system; null is ignored.
void FreeLargeBlock(void* ABlock);
// Tells the system that the contents of a block kept for later use no longer matter: under memory
// pressure it may take the pages back (they then read as zeros and fault in again when written);
// otherwise they stay, and are written again without a page fault. The block stays valid.
void ParkLargeBlock(void* ABlock);

}  // namespace fundrel::platform
