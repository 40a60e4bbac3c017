// Argument validation shared by the element-wise primitives: pointers first, then the length,
// the order in which IPP reports them.
#ifndef FUNDREL_EW_CHECK_H
#define FUNDREL_EW_CHECK_H

#include "platform/ipp/ippdefs.h"

namespace fundrel::ew {

template <class... P>
inline IppStatus Check(int len, const P*... ptrs) {
  if (((ptrs == nullptr) || ...)) return ippStsNullPtrErr;
  return len <= 0 ? ippStsSizeErr : ippStsNoErr;
}

}  // namespace fundrel::ew

// Returns from the calling primitive unless the pointers are set and len is positive.
#define EW_CHECK(len, ...)                                             \
  do {                                                                 \
    const IppStatus ewSts_ = ::fundrel::ew::Check((len), __VA_ARGS__); \
    if (ewSts_ != ippStsNoErr) return ewSts_;                          \
  } while (0)

#endif
