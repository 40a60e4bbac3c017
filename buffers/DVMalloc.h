// Two entry points on the process heap, for code of the family that allocates outside the
// sample-buffer allocator.
#pragma once

#include <cstdint>

#include "host/Quenra.Config.h"

namespace fundrel {

// A block of ASize bytes from the process heap, not cleared; null when the heap is exhausted.
// Release it with _free.
FUNDREL_API void* _malloc(uint32_t ASize);
// Releases a block from _malloc; null is ignored.
FUNDREL_API void _free(void* P);

}  // namespace fundrel
