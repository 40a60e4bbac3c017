// Internal allocation helpers of the buffer unit.
#pragma once

#include <cstdint>

namespace fundrel::detail {

// A block shaped like GVBufferAllocate's (64-byte aligned, whole lines, released by
// GVBufferDeallocate) but not cleared: for storage that is overwritten at once.
void* GVBufferAllocateUninitialized(uint32_t ASize);

}  // namespace fundrel::detail
