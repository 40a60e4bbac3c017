// Conversions between the numeric types: exact widenings, nearest narrowings (64f -> 32f
// saturating at the float range), and float -> 32s with a scale factor, a rounding mode and
// saturation.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "platform/ipp/ipps/ipps_convert.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <math.h>

#include <hwy/highway.h>

#include "platform/ipp/ipps/ew_loops-inl.h"

HWY_BEFORE_NAMESPACE();
namespace fundrel::ew::HWY_NAMESPACE {

// out[i] = f(dw, in[i]) where dw describes the widest lane type TW of the pair: both sides are
// loaded / stored with as many lanes as dw has, whatever their width.
template <typename TW, typename TIn, typename TOut, class F>
HWY_INLINE void MapCvt(const TIn* in, TOut* out, size_t n, const F& f) {
  const hn::ScalableTag<TW> dw;
  const hn::Rebind<TIn, decltype(dw)> din;
  const hn::Rebind<TOut, decltype(dw)> dout;
  const size_t N = hn::Lanes(dw);
  size_t i = 0;
  for (; i + 4 * N <= n; i += 4 * N) {
    const auto a0 = hn::LoadU(din, in + i);
    const auto a1 = hn::LoadU(din, in + i + N);
    const auto a2 = hn::LoadU(din, in + i + 2 * N);
    const auto a3 = hn::LoadU(din, in + i + 3 * N);
    hn::StoreU(f(dw, a0), dout, out + i);
    hn::StoreU(f(dw, a1), dout, out + i + N);
    hn::StoreU(f(dw, a2), dout, out + i + 2 * N);
    hn::StoreU(f(dw, a3), dout, out + i + 3 * N);
  }
  for (; i + N <= n; i += N) hn::StoreU(f(dw, hn::LoadU(din, in + i)), dout, out + i);
  const hn::CappedTag<TW, 1> dw1;
  const hn::Rebind<TIn, decltype(dw1)> din1;
  const hn::Rebind<TOut, decltype(dw1)> dout1;
  for (; i < n; ++i) hn::StoreU(f(dw1, hn::LoadU(din1, in + i)), dout1, out + i);
}

void F32ToF64(const float* in, double* out, size_t n) {
  MapCvt<double>(in, out, n, [](auto d, auto v) { return hn::PromoteTo(d, v); });
}
void I32ToF64(const int32_t* in, double* out, size_t n) {
  MapCvt<double>(in, out, n, [](auto d, auto v) { return hn::PromoteTo(d, v); });
}
void I32ToF32(const int32_t* in, float* out, size_t n) {
  MapCvt<float>(in, out, n, [](auto d, auto v) { return hn::ConvertTo(d, v); });
}
// Finite values beyond the float range saturate at +-FLT_MAX instead of becoming infinite;
// infinities and NaN keep their value.
void F64ToF32(const double* in, float* out, size_t n) {
#if HWY_TARGET == HWY_SCALAR
  // Highway's one-lane DemoteTo saturates infinities too; C++ converts them exactly.
  for (size_t i = 0; i < n; ++i) {
    const double v = in[i], lim = 3.40282346638528859812e+38;
    out[i] = static_cast<float>(isinf(v) ? v : (v > lim ? lim : (v < -lim ? -lim : v)));
  }
  return;
#endif
  MapCvt<double>(in, out, n, [](auto d, auto v) {
    const auto lim = hn::Set(d, 3.40282346638528859812e+38);
    const auto clamped = MaxOr2nd(hn::Neg(lim), MinOr2nd(lim, v));
    return hn::DemoteTo(hn::Rebind<float, decltype(d)>(), hn::IfThenElse(hn::IsInf(v), v, clamped));
  });
}
// The plain hardware conversion: an out-of-range value becomes infinite and raises the overflow
// flag, which the caller checks. The one-lane target converts in C++, where out-of-range is
// undefined, so it saturates right away (and never raises the flag).
void F64ToF32Raw(const double* in, float* out, size_t n) {
#if HWY_TARGET == HWY_SCALAR
  F64ToF32(in, out, n);
#else
  MapCvt<double>(in, out, n, [](auto d, auto v) { return hn::DemoteTo(hn::Rebind<float, decltype(d)>(), v); });
#endif
}
void I16ToF64(const int16_t* in, double* out, size_t n, double scale) {
  MapCvt<double>(in, out, n, [scale](auto d, auto v) {
    const auto i32 = hn::PromoteTo(hn::Rebind<int32_t, decltype(d)>(), v);
    return hn::Mul(hn::PromoteTo(d, i32), hn::Set(d, scale));
  });
}

// Rounding of a scaled double to Ipp32s: mode 0 toward zero, 1 to nearest even, 2 half away
// from zero. Clamped to the Ipp32s range; NaN gives 0.
template <class D, class V>
HWY_INLINE auto RoundToI32(D d, V x, int mode) {
  V r;
  if (mode == 0) {
    r = hn::Trunc(x);
  } else if (mode == 1) {
    r = hn::Round(x);
  } else {
    const V t = hn::Trunc(x);  // x - t is exact
    r = hn::IfThenElse(hn::Ge(hn::Abs(hn::Sub(x, t)), hn::Set(d, 0.5)), hn::Add(t, hn::CopySign(hn::Set(d, 1.0), x)), t);
  }
  r = hn::IfThenElse(hn::Gt(r, hn::Set(d, 2147483647.0)), hn::Set(d, 2147483647.0), r);
  r = hn::IfThenElse(hn::Lt(r, hn::Set(d, -2147483648.0)), hn::Set(d, -2147483648.0), r);
  r = hn::IfThenElseZero(hn::Not(hn::IsNaN(r)), r);
  return hn::DemoteTo(hn::Rebind<int32_t, D>(), r);
}
void F64ToI32(const double* in, int32_t* out, size_t n, double scale, int mode) {
  MapCvt<double>(in, out, n, [=](auto d, auto v) { return RoundToI32(d, hn::Mul(v, hn::Set(d, scale)), mode); });
}
void F32ToI32(const float* in, int32_t* out, size_t n, double scale, int mode) {
  MapCvt<double>(in, out, n, [=](auto d, auto v) { return RoundToI32(d, hn::Mul(hn::PromoteTo(d, v), hn::Set(d, scale)), mode); });
}

}  // namespace fundrel::ew::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include <math.h>
#if defined(__x86_64__)
#include <xmmintrin.h>
#endif

#include "platform/ipp/ipp_api.h"
#include "platform/ipp/ipps/ew_check.h"

namespace fundrel::ew {
HWY_EXPORT(F32ToF64);
HWY_EXPORT(I32ToF64);
HWY_EXPORT(I32ToF32);
HWY_EXPORT(F64ToF32);
HWY_EXPORT(F64ToF32Raw);
HWY_EXPORT(I16ToF64);
HWY_EXPORT(F64ToI32);
HWY_EXPORT(F32ToI32);

namespace {
// IPP's code for a rounding mode the function does not support.
constexpr IppStatus kRoundModeNotSupported = static_cast<IppStatus>(-213);

// 2^-sf. Scale factors beyond +-1000 are clamped: the results there are 0 or saturated either way.
double Pow2(int sf) { return ldexp(1.0, sf > 1000 ? -1000 : (sf < -1000 ? 1000 : -sf)); }

bool ModeOk(IppRoundMode m) { return m == ippRndZero || m == ippRndNear || m == ippRndFinancial; }
}  // namespace
}  // namespace fundrel::ew

using namespace fundrel::ew;

extern "C" {

IPPAPI_EXPORT IppStatus ippsConvert_16s64f_Sfs(const Ipp16s* pSrc, Ipp64f* pDst, int len, int scaleFactor) {
  EW_CHECK(len, pSrc, pDst);
  EW_DISPATCH(I16ToF64)(pSrc, pDst, len, Pow2(scaleFactor));
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsConvert_32f32s_Sfs(const Ipp32f* pSrc, Ipp32s* pDst, int len, IppRoundMode rndMode, int scaleFactor) {
  EW_CHECK(len, pSrc, pDst);
  if (!ModeOk(rndMode)) return kRoundModeNotSupported;
  EW_DISPATCH(F32ToI32)(pSrc, pDst, len, Pow2(scaleFactor), rndMode);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsConvert_64f32s_Sfs(const Ipp64f* pSrc, Ipp32s* pDst, int len, IppRoundMode rndMode, int scaleFactor) {
  EW_CHECK(len, pSrc, pDst);
  if (!ModeOk(rndMode)) return kRoundModeNotSupported;
  EW_DISPATCH(F64ToI32)(pSrc, pDst, len, Pow2(scaleFactor), rndMode);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsConvert_32f64f(const Ipp32f* pSrc, Ipp64f* pDst, int len) {
  EW_CHECK(len, pSrc, pDst);
  EW_DISPATCH(F32ToF64)(pSrc, pDst, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsConvert_32s32f(const Ipp32s* pSrc, Ipp32f* pDst, int len) {
  EW_CHECK(len, pSrc, pDst);
  EW_DISPATCH(I32ToF32)(pSrc, pDst, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsConvert_32s64f(const Ipp32s* pSrc, Ipp64f* pDst, int len) {
  EW_CHECK(len, pSrc, pDst);
  EW_DISPATCH(I32ToF64)(pSrc, pDst, len);
  return ippStsNoErr;
}
// Saturating costs two more operations per vector than the bare conversion, and values out of
// range are rare: long vectors are converted bare, and only when the SSE status register reports
// an overflow is the conversion redone with saturation. The caller's overflow flag is restored.
IPPAPI_EXPORT IppStatus ippsConvert_64f32f(const Ipp64f* pSrc, Ipp32f* pDst, int len) {
  EW_CHECK(len, pSrc, pDst);
#if defined(__x86_64__) && defined(__SSE__)
  constexpr unsigned kOverflow = 0x8, kOverflowMasked = 0x400;  // MXCSR.OE, MXCSR.OM
  // Reading the status register costs tens of cycles; a caller that traps on overflow must not
  // see the bare conversion's.
  const unsigned csr = len >= 256 ? _mm_getcsr() : 0;
  if (csr & kOverflowMasked) {
    if (csr & kOverflow) _mm_setcsr(csr & ~kOverflow);
    EW_DISPATCH(F64ToF32Raw)(pSrc, pDst, len);
    const bool overflow = (_mm_getcsr() & kOverflow) != 0;
    if (overflow || (csr & kOverflow)) _mm_setcsr(csr);
    if (!overflow) return ippStsNoErr;
  }
#endif
  EW_DISPATCH(F64ToF32)(pSrc, pDst, len);
  return ippStsNoErr;
}

}  // extern "C"
#endif  // HWY_ONCE
