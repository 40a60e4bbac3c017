#include "primitives/IPPPTypes.h"

#include <type_traits>

namespace fundrel {

// The pointer types must take exactly the IPP argument list; a slip in the name list would
// otherwise only show as a crash inside a primitive.
static_assert(std::is_same_v<TPtr_ippsAdd_64f, IppStatus (*)(const Ipp64f*, const Ipp64f*, Ipp64f*, int)>);
static_assert(std::is_same_v<TPtr_ippiSet_8u_C4R, IppStatus (*)(const Ipp8u*, Ipp8u*, int, IppiSize)>);
static_assert(std::is_same_v<TPtr_ippsWinBlackman_64f_I, IppStatus (*)(Ipp64f*, int, double)>);

}  // namespace fundrel
