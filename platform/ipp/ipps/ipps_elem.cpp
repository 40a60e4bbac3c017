// Elementary functions: Abs, Sqr, Sqrt, Exp, Ln (real and complex forms).
// Exp and Ln stay within one ulp of the C library's results: lanes the polynomial does not cover
// (overflow, subnormal results, zeros, negatives, infinities, NaN) are sent to the C library.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "platform/ipp/ipps/ipps_elem.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <math.h>

#include <hwy/contrib/math/math-inl.h>
#include <hwy/highway.h>

#include "platform/ipp/ipps/ew_cplx.h"
#include "platform/ipp/ipps/ew_loops-inl.h"

HWY_BEFORE_NAMESPACE();
namespace fundrel::ew::HWY_NAMESPACE {

void AbsF64(const double* a, double* out, size_t n) {
  Map1(a, out, n, [](auto, auto x) { return hn::Abs(x); });
}
void SqrF64(const double* a, double* out, size_t n) {
  Map1(a, out, n, [](auto, auto x) { return hn::Mul(x, x); });
}
void SqrC64(const double* a, double* out, size_t n) {
#if EW_PAIRS
  Map1<2>(a, out, n, [](auto d, auto x) { return CMul(d, x, x); });
#else
  for (size_t i = 0; i < n; i += 2) ScalarCMul(a + i, a + i, out + i, 2);
#endif
}
// Returns whether some input was negative (its root is NaN).
bool SqrtF64(const double* a, double* out, size_t n) {
  bool neg = false;
  Map1(a, out, n, [&neg](auto d, auto x) {
    neg |= !hn::AllFalse(d, hn::Lt(x, hn::Zero(d)));
    return hn::Sqrt(x);
  });
  return neg;
}

// Lanes outside the polynomial's domain go through `scalar` one by one, in order.
template <class D, class V, class F>
HWY_INLINE V PatchLanes(D d, V x, V y, decltype(hn::Eq(x, x)) ok, const F& scalar) {
  if (HWY_LIKELY(hn::AllTrue(d, ok))) return y;
  double xs[HWY_MAX_BYTES / sizeof(double)], ys[HWY_MAX_BYTES / sizeof(double)];
  hn::StoreU(x, d, xs);
  hn::StoreU(y, d, ys);
  for (size_t i = 0; i < hn::Lanes(d); ++i) ys[i] = scalar(xs[i]);
  return hn::LoadU(d, ys);
}

void ExpF64(const double* a, double* out, size_t n) {
  Map1(a, out, n, [](auto d, auto x) {
    // Beyond +-708 the result overflows or turns subnormal; NaN fails the test too.
    const auto ok = hn::Le(hn::Abs(x), hn::Set(d, 708.0));
    return PatchLanes(d, x, hn::Exp(d, x), ok, [](double v) { return exp(v); });
  });
}

// ln x for positive normal finite x: x = 2^k m with m in [sqrt(1/2), sqrt(2)), f = m - 1,
// s = f / (2 + f), ln(1 + f) = 2 atanh(s) from a minimax series in s^2, k ln2 in two parts.
template <class D, class V>
HWY_INLINE V LnNormal(D d, V x) {
  const hn::RebindToUnsigned<D> du;
  const auto bits = hn::BitCast(du, x);
  V m = hn::BitCast(d, hn::Or(hn::And(bits, hn::Set(du, 0x000FFFFFFFFFFFFFull)), hn::Set(du, 0x3FF0000000000000ull)));
  // Biased exponent as a double without an integer conversion: OR it into the mantissa of 2^52.
  V k = hn::Sub(hn::BitCast(d, hn::Or(hn::ShiftRight<52>(bits), hn::Set(du, 0x4330000000000000ull))),
                hn::Set(d, 4503599627370496.0 + 1023.0));
  const auto big = hn::Gt(m, hn::Set(d, 1.4142135623730950488));
  m = hn::IfThenElse(big, hn::Mul(m, hn::Set(d, 0.5)), m);
  k = hn::Add(k, hn::IfThenElseZero(big, hn::Set(d, 1.0)));
  const V f = hn::Sub(m, hn::Set(d, 1.0));
  const V s = hn::Div(f, hn::Add(hn::Set(d, 2.0), f));
  const V z = hn::Mul(s, s);
  const V w = hn::Mul(z, z);
  const V t1 = hn::Mul(w, hn::MulAdd(w, hn::MulAdd(w, hn::Set(d, 1.531383769920937332e-01), hn::Set(d, 2.222219843214978396e-01)),
                                     hn::Set(d, 3.999999999940941908e-01)));
  const V t2 = hn::Mul(
      z, hn::MulAdd(w, hn::MulAdd(w, hn::MulAdd(w, hn::Set(d, 1.479819860511658591e-01), hn::Set(d, 1.818357216161805012e-01)),
                                  hn::Set(d, 2.857142874366239149e-01)),
                    hn::Set(d, 6.666666666666735130e-01)));
  const V hfsq = hn::Mul(hn::Set(d, 0.5), hn::Mul(f, f));
  const V inner = hn::MulAdd(s, hn::Add(hfsq, hn::Add(t2, t1)), hn::Mul(k, hn::Set(d, 1.90821492927058770002e-10)));
  return hn::MulSub(k, hn::Set(d, 6.93147180369123816490e-01), hn::Sub(hn::Sub(hfsq, inner), f));
}

// Returns 0, or the warning of the first zero (7) or negative (8) input.
int LnF64(const double* a, double* out, size_t n) {
  int warn = 0;
  Map1(a, out, n, [&warn](auto d, auto x) {
    const auto ok = hn::And(hn::Ge(x, hn::Set(d, 2.2250738585072014e-308)), hn::Le(x, hn::Set(d, 1.7976931348623157e308)));
    return PatchLanes(d, x, LnNormal(d, x), ok, [&warn](double v) {
      if (warn == 0 && v <= 0) warn = v == 0 ? 7 : 8;
      return log(v);
    });
  });
  return warn;
}

}  // namespace fundrel::ew::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include <complex>

#include "platform/ipp/ipp_api.h"
#include "platform/ipp/ipps/ew_check.h"

namespace fundrel::ew {
HWY_EXPORT(AbsF64);
HWY_EXPORT(SqrF64);
HWY_EXPORT(SqrC64);
HWY_EXPORT(SqrtF64);
HWY_EXPORT(ExpF64);
HWY_EXPORT(LnF64);

namespace {
const double* D(const Ipp64fc* p) { return reinterpret_cast<const double*>(p); }
double* D(Ipp64fc* p) { return reinterpret_cast<double*>(p); }
size_t N2(int len) { return 2 * static_cast<size_t>(len); }

// Principal root (non-negative real part); the C library's csqrt handles the signed zeros,
// infinities and the scaling that a plain formula would get wrong.
void SqrtC64(const Ipp64fc* src, Ipp64fc* dst, int len) {
  for (int i = 0; i < len; ++i) {
    const std::complex<double> r = std::sqrt(std::complex<double>(src[i].re, src[i].im));
    dst[i] = {r.real(), r.imag()};
  }
}
}  // namespace
}  // namespace fundrel::ew

using namespace fundrel::ew;

extern "C" {

IPPAPI_EXPORT IppStatus ippsAbs_64f(const Ipp64f* pSrc, Ipp64f* pDst, int len) {
  EW_CHECK(len, pSrc, pDst);
  EW_DISPATCH(AbsF64)(pSrc, pDst, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsAbs_64f_I(Ipp64f* pSrcDst, int len) {
  EW_CHECK(len, pSrcDst);
  EW_DISPATCH(AbsF64)(pSrcDst, pSrcDst, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsSqr_64f(const Ipp64f* pSrc, Ipp64f* pDst, int len) {
  EW_CHECK(len, pSrc, pDst);
  EW_DISPATCH(SqrF64)(pSrc, pDst, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsSqr_64f_I(Ipp64f* pSrcDst, int len) {
  EW_CHECK(len, pSrcDst);
  EW_DISPATCH(SqrF64)(pSrcDst, pSrcDst, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsSqr_64fc(const Ipp64fc* pSrc, Ipp64fc* pDst, int len) {
  EW_CHECK(len, pSrc, pDst);
  EW_DISPATCH(SqrC64)(D(pSrc), D(pDst), N2(len));
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsSqr_64fc_I(Ipp64fc* pSrcDst, int len) {
  EW_CHECK(len, pSrcDst);
  EW_DISPATCH(SqrC64)(D(pSrcDst), D(pSrcDst), N2(len));
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsSqrt_64f(const Ipp64f* pSrc, Ipp64f* pDst, int len) {
  EW_CHECK(len, pSrc, pDst);
  return EW_DISPATCH(SqrtF64)(pSrc, pDst, len) ? ippStsSqrtNegArg : ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsSqrt_64f_I(Ipp64f* pSrcDst, int len) {
  EW_CHECK(len, pSrcDst);
  return EW_DISPATCH(SqrtF64)(pSrcDst, pSrcDst, len) ? ippStsSqrtNegArg : ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsSqrt_64fc(const Ipp64fc* pSrc, Ipp64fc* pDst, int len) {
  EW_CHECK(len, pSrc, pDst);
  SqrtC64(pSrc, pDst, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsSqrt_64fc_I(Ipp64fc* pSrcDst, int len) {
  EW_CHECK(len, pSrcDst);
  SqrtC64(pSrcDst, pSrcDst, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsExp_64f(const Ipp64f* pSrc, Ipp64f* pDst, int len) {
  EW_CHECK(len, pSrc, pDst);
  EW_DISPATCH(ExpF64)(pSrc, pDst, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsExp_64f_I(Ipp64f* pSrcDst, int len) {
  EW_CHECK(len, pSrcDst);
  EW_DISPATCH(ExpF64)(pSrcDst, pSrcDst, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsLn_64f(const Ipp64f* pSrc, Ipp64f* pDst, int len) {
  EW_CHECK(len, pSrc, pDst);
  return static_cast<IppStatus>(EW_DISPATCH(LnF64)(pSrc, pDst, len));
}
IPPAPI_EXPORT IppStatus ippsLn_64f_I(Ipp64f* pSrcDst, int len) {
  EW_CHECK(len, pSrcDst);
  return static_cast<IppStatus>(EW_DISPATCH(LnF64)(pSrcDst, pSrcDst, len));
}

}  // extern "C"
#endif  // HWY_ONCE
