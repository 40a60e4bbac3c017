#include "buffers/DVMalloc.h"

#include <cstdlib>

namespace fundrel {

void* _malloc(uint32_t ASize) { return std::malloc(ASize); }

void _free(void* P) { std::free(P); }

}  // namespace fundrel
