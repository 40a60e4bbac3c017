#include "platform/LargeBlocks.h"

#include <sys/mman.h>

#include <cstdint>

namespace fundrel::platform {

void* AllocateLargeBlock() {
  // Map one block more than needed and cut it down to an aligned block: huge pages are only used
  // for aligned ranges.
  const size_t span = 2 * LargeBlockSize;
  void* m = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (m == MAP_FAILED) return nullptr;
  const auto base = reinterpret_cast<uintptr_t>(m);
  const uintptr_t aligned = (base + LargeBlockSize - 1) & ~(uintptr_t(LargeBlockSize) - 1);
  if (aligned > base) munmap(m, aligned - base);
  const uintptr_t end = aligned + LargeBlockSize;
  if (base + span > end) munmap(reinterpret_cast<void*>(end), base + span - end);
  void* block = reinterpret_cast<void*>(aligned);
#if defined(MADV_HUGEPAGE)
  madvise(block, LargeBlockSize, MADV_HUGEPAGE);  // a hint: without huge pages the block still works
#endif
  return block;
}

void FreeLargeBlock(void* ABlock) {
  if (ABlock) munmap(ABlock, LargeBlockSize);
}

void ParkLargeBlock(void* ABlock) {
#if defined(MADV_FREE)
  if (ABlock) madvise(ABlock, LargeBlockSize, MADV_FREE);
#else
  (void)ABlock;
#endif
}

}  // namespace fundrel::platform
