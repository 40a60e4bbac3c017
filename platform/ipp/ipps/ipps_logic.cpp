// Bitwise logic on 32-bit words and arithmetic shifts of 32-bit integers by a constant count.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "platform/ipp/ipps/ipps_logic.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>

#include "platform/ipp/ipps/ew_loops-inl.h"

HWY_BEFORE_NAMESPACE();
namespace fundrel::ew::HWY_NAMESPACE {

enum LogicOp { kAnd, kOr, kXor };

template <int kOp, class V>
HWY_INLINE V Logic(V x, V y) {
  if constexpr (kOp == kAnd) return hn::And(x, y);
  else if constexpr (kOp == kOr) return hn::Or(x, y);
  else return hn::Xor(x, y);
}

void AndU32(const uint32_t* a, const uint32_t* b, uint32_t* out, size_t n) {
  Map2(a, b, out, n, [](auto, auto x, auto y) { return Logic<kAnd>(x, y); });
}
void OrU32(const uint32_t* a, const uint32_t* b, uint32_t* out, size_t n) {
  Map2(a, b, out, n, [](auto, auto x, auto y) { return Logic<kOr>(x, y); });
}
void XorU32(const uint32_t* a, const uint32_t* b, uint32_t* out, size_t n) {
  Map2(a, b, out, n, [](auto, auto x, auto y) { return Logic<kXor>(x, y); });
}
void AndCU32(const uint32_t* a, uint32_t c, uint32_t* out, size_t n) {
  Map1(a, out, n, [c](auto d, auto x) { return Logic<kAnd>(x, hn::Set(d, c)); });
}
void OrCU32(const uint32_t* a, uint32_t c, uint32_t* out, size_t n) {
  Map1(a, out, n, [c](auto d, auto x) { return Logic<kOr>(x, hn::Set(d, c)); });
}
void XorCU32(const uint32_t* a, uint32_t c, uint32_t* out, size_t n) {
  Map1(a, out, n, [c](auto d, auto x) { return Logic<kXor>(x, hn::Set(d, c)); });
}
// Counts are 0..31 here; larger ones are settled before dispatch.
void ShlI32(const int32_t* a, int bits, int32_t* out, size_t n) {
  Map1(a, out, n, [bits](auto, auto x) { return hn::ShiftLeftSame(x, bits); });
}
void SarI32(const int32_t* a, int bits, int32_t* out, size_t n) {
  Map1(a, out, n, [bits](auto, auto x) { return hn::ShiftRightSame(x, bits); });
}

}  // namespace fundrel::ew::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include <string.h>

#include "platform/ipp/ipp_api.h"
#include "platform/ipp/ipps/ew_check.h"

namespace fundrel::ew {
HWY_EXPORT(AndU32);
HWY_EXPORT(OrU32);
HWY_EXPORT(XorU32);
HWY_EXPORT(AndCU32);
HWY_EXPORT(OrCU32);
HWY_EXPORT(XorCU32);
HWY_EXPORT(ShlI32);
HWY_EXPORT(SarI32);

namespace {
// Every bit shifted out: a left shift leaves 0, an arithmetic right shift leaves the sign.
IppStatus Shift(bool left, const Ipp32s* src, int val, Ipp32s* dst, int len) {
  if (val < 0) return ippStsShiftErr;
  if (left && val >= 32) {
    memset(dst, 0, sizeof(Ipp32s) * static_cast<size_t>(len));
  } else if (left) {
    EW_DISPATCH(ShlI32)(src, val, dst, len);
  } else {
    EW_DISPATCH(SarI32)(src, val > 31 ? 31 : val, dst, len);
  }
  return ippStsNoErr;
}
}  // namespace
}  // namespace fundrel::ew

using namespace fundrel::ew;

extern "C" {

IPPAPI_EXPORT IppStatus ippsAnd_32u_I(const Ipp32u* pSrc, Ipp32u* pSrcDst, int len) {
  EW_CHECK(len, pSrc, pSrcDst);
  EW_DISPATCH(AndU32)(pSrcDst, pSrc, pSrcDst, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsOr_32u_I(const Ipp32u* pSrc, Ipp32u* pSrcDst, int len) {
  EW_CHECK(len, pSrc, pSrcDst);
  EW_DISPATCH(OrU32)(pSrcDst, pSrc, pSrcDst, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsXor_32u_I(const Ipp32u* pSrc, Ipp32u* pSrcDst, int len) {
  EW_CHECK(len, pSrc, pSrcDst);
  EW_DISPATCH(XorU32)(pSrcDst, pSrc, pSrcDst, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsAndC_32u(const Ipp32u* pSrc, Ipp32u val, Ipp32u* pDst, int len) {
  EW_CHECK(len, pSrc, pDst);
  EW_DISPATCH(AndCU32)(pSrc, val, pDst, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsAndC_32u_I(Ipp32u val, Ipp32u* pSrcDst, int len) {
  EW_CHECK(len, pSrcDst);
  EW_DISPATCH(AndCU32)(pSrcDst, val, pSrcDst, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsOrC_32u(const Ipp32u* pSrc, Ipp32u val, Ipp32u* pDst, int len) {
  EW_CHECK(len, pSrc, pDst);
  EW_DISPATCH(OrCU32)(pSrc, val, pDst, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsOrC_32u_I(Ipp32u val, Ipp32u* pSrcDst, int len) {
  EW_CHECK(len, pSrcDst);
  EW_DISPATCH(OrCU32)(pSrcDst, val, pSrcDst, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsXorC_32u(const Ipp32u* pSrc, Ipp32u val, Ipp32u* pDst, int len) {
  EW_CHECK(len, pSrc, pDst);
  EW_DISPATCH(XorCU32)(pSrc, val, pDst, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsXorC_32u_I(Ipp32u val, Ipp32u* pSrcDst, int len) {
  EW_CHECK(len, pSrcDst);
  EW_DISPATCH(XorCU32)(pSrcDst, val, pSrcDst, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsLShiftC_32s(const Ipp32s* pSrc, int val, Ipp32s* pDst, int len) {
  EW_CHECK(len, pSrc, pDst);
  return Shift(true, pSrc, val, pDst, len);
}
IPPAPI_EXPORT IppStatus ippsLShiftC_32s_I(int val, Ipp32s* pSrcDst, int len) {
  EW_CHECK(len, pSrcDst);
  return Shift(true, pSrcDst, val, pSrcDst, len);
}
IPPAPI_EXPORT IppStatus ippsRShiftC_32s(const Ipp32s* pSrc, int val, Ipp32s* pDst, int len) {
  EW_CHECK(len, pSrc, pDst);
  return Shift(false, pSrc, val, pDst, len);
}
IPPAPI_EXPORT IppStatus ippsRShiftC_32s_I(int val, Ipp32s* pSrcDst, int len) {
  EW_CHECK(len, pSrcDst);
  return Shift(false, pSrcDst, val, pSrcDst, len);
}

}  // extern "C"
#endif  // HWY_ONCE
