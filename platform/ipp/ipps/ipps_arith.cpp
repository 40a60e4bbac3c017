// Vector-with-vector arithmetic: Add, Sub, Mul, Div in real, complex and scaled-integer forms.
// Two-source Sub/Div and the in-place forms take the *first* pointer as the subtrahend / divisor.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "platform/ipp/ipps/ipps_arith.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>

#include "platform/ipp/ipps/ew_cplx.h"
#include "platform/ipp/ipps/ew_loops-inl.h"

HWY_BEFORE_NAMESPACE();
namespace fundrel::ew::HWY_NAMESPACE {

void AddF64(const double* a, const double* b, double* out, size_t n) {
  Map2(a, b, out, n, [](auto, auto x, auto y) { return hn::Add(x, y); });
}
void SubF64(const double* a, const double* b, double* out, size_t n) {
  Map2(a, b, out, n, [](auto, auto x, auto y) { return hn::Sub(x, y); });
}
void SubF32(const float* a, const float* b, float* out, size_t n) {
  Map2(a, b, out, n, [](auto, auto x, auto y) { return hn::Sub(x, y); });
}
void MulF32(const float* a, const float* b, float* out, size_t n) {
  Map2(a, b, out, n, [](auto, auto x, auto y) { return hn::Mul(x, y); });
}
void MulF64(const double* a, const double* b, double* out, size_t n) {
  Map2(a, b, out, n, [](auto, auto x, auto y) { return hn::Mul(x, y); });
}
// n counts doubles (twice the complex length).
void MulC64(const double* a, const double* b, double* out, size_t n) {
#if EW_PAIRS
  Map2<2>(a, b, out, n, [](auto d, auto x, auto y) { return CMul(d, x, y); });
#else
  ScalarCMul(a, b, out, n);
#endif
}

// out = a / b; returns whether some b[i] is zero (the quotients are still written, IEEE style).
bool DivF64(const double* a, const double* b, double* out, size_t n) {
  bool zero = false;
  Map2(a, b, out, n, [&zero](auto d, auto x, auto y) {
    zero |= !hn::AllFalse(d, hn::Eq(y, hn::Zero(d)));
    return hn::Div(x, y);
  });
  return zero;
}
bool DivC64(const double* a, const double* b, double* out, size_t n) {
#if !EW_PAIRS
  return ScalarCDiv(a, b, out, n);
#endif
  bool zero = false;
  Map2<2>(a, b, out, n, [&zero](auto d, auto x, auto y) {
    auto z = hn::VecFromMask(d, hn::Eq(y, hn::Zero(d)));
    z = hn::And(z, hn::Reverse2(d, z));  // both parts zero
    zero |= !hn::AllFalse(d, hn::MaskFromVec(z));
#if EW_PAIRS
    return hn::Div(CMulConj(d, x, y), CNorm2Dup(d, y));
#else
    return x;
#endif
  });
  return zero;
}

void AddSat32(const int32_t* a, const int32_t* b, int32_t* out, size_t n) {
  Map2(a, b, out, n, [](auto d, auto x, auto y) { return AddSatI32(d, x, y); });
}
void SubSat32(const int32_t* a, const int32_t* b, int32_t* out, size_t n) {
  Map2(a, b, out, n, [](auto d, auto x, auto y) { return SubSatI32(d, x, y); });
}
void AddSat8u(const uint8_t* a, const uint8_t* b, uint8_t* out, size_t n) {
  Map2(a, b, out, n, [](auto, auto x, auto y) { return hn::SaturatedAdd(x, y); });
}
void SubSat8u(const uint8_t* a, const uint8_t* b, uint8_t* out, size_t n) {
  Map2(a, b, out, n, [](auto, auto x, auto y) { return hn::SaturatedSub(x, y); });
}
// Products of 8-bit values fit 16 bits; saturate after widening.
void MulSat8u(const uint8_t* a, const uint8_t* b, uint8_t* out, size_t n) {
  const hn::ScalableTag<uint16_t> d16;
  const hn::RebindToSigned<decltype(d16)> di16;
  const hn::Rebind<uint8_t, decltype(d16)> d8;  // same lane count, half width
  const size_t N = hn::Lanes(d16);
  size_t i = 0;
  for (; i + N <= n; i += N) {
    const auto p = hn::Mul(hn::PromoteTo(d16, hn::LoadU(d8, a + i)), hn::PromoteTo(d16, hn::LoadU(d8, b + i)));
    hn::StoreU(hn::DemoteTo(d8, hn::BitCast(di16, hn::Min(p, hn::Set(d16, 255)))), d8, out + i);
  }
  for (; i < n; ++i) {
    const unsigned p = unsigned(a[i]) * b[i];
    out[i] = static_cast<uint8_t>(p > 255 ? 255 : p);
  }
}

}  // namespace fundrel::ew::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include "platform/ipp/ipp_api.h"
#include "platform/ipp/ipps/ew_check.h"
#include "platform/ipp/ipps/ew_sfs.h"

namespace fundrel::ew {
HWY_EXPORT(AddF64);
HWY_EXPORT(SubF64);
HWY_EXPORT(SubF32);
HWY_EXPORT(MulF32);
HWY_EXPORT(MulF64);
HWY_EXPORT(MulC64);
HWY_EXPORT(DivF64);
HWY_EXPORT(DivC64);
HWY_EXPORT(AddSat32);
HWY_EXPORT(SubSat32);
HWY_EXPORT(AddSat8u);
HWY_EXPORT(SubSat8u);
HWY_EXPORT(MulSat8u);

namespace {
template <typename T, class Op>
void ScaledInPlace(const T* src, T* srcDst, int len, int sf, Op op) {
  for (int i = 0; i < len; ++i) srcDst[i] = op(srcDst[i], src[i], sf);
}
const double* D(const Ipp64fc* p) { return reinterpret_cast<const double*>(p); }
double* D(Ipp64fc* p) { return reinterpret_cast<double*>(p); }
size_t N2(int len) { return 2 * static_cast<size_t>(len); }
}  // namespace
}  // namespace fundrel::ew

using namespace fundrel::ew;

extern "C" {

IPPAPI_EXPORT IppStatus ippsAdd_64f(const Ipp64f* pSrc1, const Ipp64f* pSrc2, Ipp64f* pDst, int len) {
  EW_CHECK(len, pSrc1, pSrc2, pDst);
  EW_DISPATCH(AddF64)(pSrc1, pSrc2, pDst, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsAdd_64f_I(const Ipp64f* pSrc, Ipp64f* pSrcDst, int len) {
  EW_CHECK(len, pSrc, pSrcDst);
  EW_DISPATCH(AddF64)(pSrcDst, pSrc, pSrcDst, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsAdd_64fc(const Ipp64fc* pSrc1, const Ipp64fc* pSrc2, Ipp64fc* pDst, int len) {
  EW_CHECK(len, pSrc1, pSrc2, pDst);
  EW_DISPATCH(AddF64)(D(pSrc1), D(pSrc2), D(pDst), N2(len));
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsAdd_64fc_I(const Ipp64fc* pSrc, Ipp64fc* pSrcDst, int len) {
  EW_CHECK(len, pSrc, pSrcDst);
  EW_DISPATCH(AddF64)(D(pSrcDst), D(pSrc), D(pSrcDst), N2(len));
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsAdd_32s_ISfs(const Ipp32s* pSrc, Ipp32s* pSrcDst, int len, int scaleFactor) {
  EW_CHECK(len, pSrc, pSrcDst);
  if (scaleFactor == 0) {
    EW_DISPATCH(AddSat32)(pSrcDst, pSrc, pSrcDst, len);
  } else {
    ScaledInPlace(pSrc, pSrcDst, len, scaleFactor, [](Ipp32s x, Ipp32s y, int sf) { return Sat32(Wide(x) + y, sf); });
  }
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsAdd_8u_ISfs(const Ipp8u* pSrc, Ipp8u* pSrcDst, int len, int scaleFactor) {
  EW_CHECK(len, pSrc, pSrcDst);
  if (scaleFactor == 0) {
    EW_DISPATCH(AddSat8u)(pSrcDst, pSrc, pSrcDst, len);
  } else {
    ScaledInPlace(pSrc, pSrcDst, len, scaleFactor, [](Ipp8u x, Ipp8u y, int sf) { return Sat8u(Wide(x) + y, sf); });
  }
  return ippStsNoErr;
}

IPPAPI_EXPORT IppStatus ippsSub_32f_I(const Ipp32f* pSrc, Ipp32f* pSrcDst, int len) {
  EW_CHECK(len, pSrc, pSrcDst);
  EW_DISPATCH(SubF32)(pSrcDst, pSrc, pSrcDst, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsSub_64f_I(const Ipp64f* pSrc, Ipp64f* pSrcDst, int len) {
  EW_CHECK(len, pSrc, pSrcDst);
  EW_DISPATCH(SubF64)(pSrcDst, pSrc, pSrcDst, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsSub_64fc_I(const Ipp64fc* pSrc, Ipp64fc* pSrcDst, int len) {
  EW_CHECK(len, pSrc, pSrcDst);
  EW_DISPATCH(SubF64)(D(pSrcDst), D(pSrc), D(pSrcDst), N2(len));
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsSub_32s_ISfs(const Ipp32s* pSrc, Ipp32s* pSrcDst, int len, int scaleFactor) {
  EW_CHECK(len, pSrc, pSrcDst);
  if (scaleFactor == 0) {
    EW_DISPATCH(SubSat32)(pSrcDst, pSrc, pSrcDst, len);
  } else {
    ScaledInPlace(pSrc, pSrcDst, len, scaleFactor, [](Ipp32s x, Ipp32s y, int sf) { return Sat32(Wide(x) - y, sf); });
  }
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsSub_8u_ISfs(const Ipp8u* pSrc, Ipp8u* pSrcDst, int len, int scaleFactor) {
  EW_CHECK(len, pSrc, pSrcDst);
  if (scaleFactor == 0) {
    EW_DISPATCH(SubSat8u)(pSrcDst, pSrc, pSrcDst, len);
  } else {
    ScaledInPlace(pSrc, pSrcDst, len, scaleFactor, [](Ipp8u x, Ipp8u y, int sf) { return Sat8u(Wide(x) - y, sf); });
  }
  return ippStsNoErr;
}

IPPAPI_EXPORT IppStatus ippsMul_32f(const Ipp32f* pSrc1, const Ipp32f* pSrc2, Ipp32f* pDst, int len) {
  EW_CHECK(len, pSrc1, pSrc2, pDst);
  EW_DISPATCH(MulF32)(pSrc1, pSrc2, pDst, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsMul_32f_I(const Ipp32f* pSrc, Ipp32f* pSrcDst, int len) {
  EW_CHECK(len, pSrc, pSrcDst);
  EW_DISPATCH(MulF32)(pSrcDst, pSrc, pSrcDst, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsMul_64f(const Ipp64f* pSrc1, const Ipp64f* pSrc2, Ipp64f* pDst, int len) {
  EW_CHECK(len, pSrc1, pSrc2, pDst);
  EW_DISPATCH(MulF64)(pSrc1, pSrc2, pDst, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsMul_64f_I(const Ipp64f* pSrc, Ipp64f* pSrcDst, int len) {
  EW_CHECK(len, pSrc, pSrcDst);
  EW_DISPATCH(MulF64)(pSrcDst, pSrc, pSrcDst, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsMul_64fc_I(const Ipp64fc* pSrc, Ipp64fc* pSrcDst, int len) {
  EW_CHECK(len, pSrc, pSrcDst);
  EW_DISPATCH(MulC64)(D(pSrcDst), D(pSrc), D(pSrcDst), N2(len));
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsMul_32s_ISfs(const Ipp32s* pSrc, Ipp32s* pSrcDst, int len, int scaleFactor) {
  EW_CHECK(len, pSrc, pSrcDst);
  ScaledInPlace(pSrc, pSrcDst, len, scaleFactor, [](Ipp32s x, Ipp32s y, int sf) { return Sat32(Wide(int64_t(x) * y), sf); });
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsMul_8u_ISfs(const Ipp8u* pSrc, Ipp8u* pSrcDst, int len, int scaleFactor) {
  EW_CHECK(len, pSrc, pSrcDst);
  if (scaleFactor == 0) {
    EW_DISPATCH(MulSat8u)(pSrcDst, pSrc, pSrcDst, len);
  } else {
    ScaledInPlace(pSrc, pSrcDst, len, scaleFactor, [](Ipp8u x, Ipp8u y, int sf) { return Sat8u(Wide(x) * y, sf); });
  }
  return ippStsNoErr;
}

IPPAPI_EXPORT IppStatus ippsDiv_64f_I(const Ipp64f* pSrc, Ipp64f* pSrcDst, int len) {
  EW_CHECK(len, pSrc, pSrcDst);
  return EW_DISPATCH(DivF64)(pSrcDst, pSrc, pSrcDst, len) ? ippStsDivByZero : ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsDiv_64fc_I(const Ipp64fc* pSrc, Ipp64fc* pSrcDst, int len) {
  EW_CHECK(len, pSrc, pSrcDst);
  return EW_DISPATCH(DivC64)(D(pSrcDst), D(pSrc), D(pSrcDst), N2(len)) ? ippStsDivByZero : ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsDiv_32s_ISfs(const Ipp32s* pSrc, Ipp32s* pSrcDst, int len, int ScaleFactor) {
  EW_CHECK(len, pSrc, pSrcDst);
  bool zero = false;
  for (int i = 0; i < len; ++i) {
    const Ipp32s num = pSrcDst[i], den = pSrc[i];
    if (den == 0) {
      zero = true;
      pSrcDst[i] = num == 0 ? 0 : (num > 0 ? IPP_MAX_32S : IPP_MIN_32S);
    } else {
      pSrcDst[i] = DivRoundSat32(num, den, ScaleFactor);
    }
  }
  return zero ? ippStsDivByZero : ippStsNoErr;
}

}  // extern "C"
#endif  // HWY_ONCE
