// Argument validation shared by the element-wise primitives: pointers first, then the length,
// the order in which IPP reports them.
#ifndef FUNDREL_EW_CHECK_H
#define FUNDREL_EW_CHECK_H

#include <hwy/highway.h>
#include <hwy/targets.h>

#include "platform/ipp/ippdefs.h"

namespace fundrel::ew {

// Highway's chosen-target record lives in libhwy at a fixed address: it is looked up once here
// instead of through libhwy's exported accessor on every call, and its mask is still read on
// every call, so a change of target at run time (the tests run every target) takes effect.
inline hwy::ChosenTarget& Chosen() {
  static hwy::ChosenTarget& chosen = hwy::GetChosenTarget();
  return chosen;
}

template <class... P>
inline IppStatus Check(int len, const P*... ptrs) {
  if ((... || !ptrs)) return ippStsNullPtrErr;
  return len <= 0 ? ippStsSizeErr : ippStsNoErr;
}

}  // namespace fundrel::ew

// The per-target kernel of FUNC for the chosen target (HWY_DYNAMIC_DISPATCH, minus a call).
#define EW_DISPATCH(FUNC) (*(HWY_DISPATCH_TABLE(FUNC)[::fundrel::ew::Chosen().GetIndex()]))

// Returns from the calling primitive unless the pointers are set and len is positive.
#define EW_CHECK(len, ...)                                             \
  do {                                                                 \
    const IppStatus ewSts_ = ::fundrel::ew::Check((len), __VA_ARGS__); \
    if (ewSts_ != ippStsNoErr) return ewSts_;                          \
  } while (0)

#endif
