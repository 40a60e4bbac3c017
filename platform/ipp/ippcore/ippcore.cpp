// libfundrel_ippcore: the core library the signal loader opens beside ipps. No primitive of the
// bound set lives here; it answers which SIMD target the primitive libraries dispatch to.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "platform/ipp/ippcore/ippcore.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace fundrel_ippcore {
namespace HWY_NAMESPACE {
const char* TargetName() { return hwy::TargetName(HWY_TARGET); }
}  // namespace HWY_NAMESPACE
}  // namespace fundrel_ippcore
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include "platform/ipp/ipp_api.h"

namespace fundrel_ippcore {
HWY_EXPORT(TargetName);
}  // namespace fundrel_ippcore

// Asked through the same dispatch the kernels use, so the answer is the target they run on.
extern "C" IPPAPI_EXPORT const char* fundrel_ippcore_target_name(void) {
  return HWY_DYNAMIC_DISPATCH(fundrel_ippcore::TargetName)();
}
#endif
