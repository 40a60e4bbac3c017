// Complex and polar: assembling and splitting interleaved complex vectors, magnitude, power,
// phase, Cartesian/polar conversion and the completion of a CCS half spectrum.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "platform/ipp/ipps/ipps_complex.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>

#include "platform/ipp/ipps/ew_loops-inl.h"

HWY_BEFORE_NAMESPACE();
namespace fundrel::ew::HWY_NAMESPACE {

// Runs f(d, re, im) over the n complex values of `z`, whole vectors then one at a time.
template <typename T, class F>
HWY_INLINE void ForPairs(const T* z, size_t n, const F& f) {
  const hn::ScalableTag<T> d;
  const size_t N = hn::Lanes(d);
  size_t i = 0;
  for (; i + N <= n; i += N) {
    hn::Vec<decltype(d)> re, im;
    hn::LoadInterleaved2(d, z + 2 * i, re, im);
    f(d, i, re, im);
  }
  const hn::CappedTag<T, 1> d1;
  for (; i < n; ++i) f(d1, i, hn::LoadU(d1, z + 2 * i), hn::LoadU(d1, z + 2 * i + 1));
}

// A NULL part is taken as zeros.
template <typename T>
HWY_INLINE void RealToCplx(const T* re, const T* im, T* out, size_t n) {
  const hn::ScalableTag<T> d;
  const size_t N = hn::Lanes(d);
  size_t i = 0;
  for (; i + N <= n; i += N) {
    const auto r = re ? hn::LoadU(d, re + i) : hn::Zero(d);
    const auto m = im ? hn::LoadU(d, im + i) : hn::Zero(d);
    hn::StoreInterleaved2(r, m, d, out + 2 * i);
  }
  for (; i < n; ++i) {
    out[2 * i] = re ? re[i] : T(0);
    out[2 * i + 1] = im ? im[i] : T(0);
  }
}
void RealToCplxF32(const float* re, const float* im, float* out, size_t n) { RealToCplx(re, im, out, n); }
void RealToCplxF64(const double* re, const double* im, double* out, size_t n) { RealToCplx(re, im, out, n); }

void RealPartC64(const double* z, double* out, size_t n) {
  ForPairs(z, n, [out](auto d, size_t i, auto re, auto) { hn::StoreU(re, d, out + i); });
}
void ImagPartC64(const double* z, double* out, size_t n) {
  ForPairs(z, n, [out](auto d, size_t i, auto, auto im) { hn::StoreU(im, d, out + i); });
}
void PowerC64(const double* z, double* out, size_t n) {
  ForPairs(z, n, [out](auto d, size_t i, auto re, auto im) { hn::StoreU(hn::MulAdd(re, re, hn::Mul(im, im)), d, out + i); });
}
void MagnitudeC64(const double* z, double* out, size_t n) {
  ForPairs(z, n, [out](auto d, size_t i, auto re, auto im) {
    hn::StoreU(hn::Sqrt(hn::MulAdd(re, re, hn::Mul(im, im))), d, out + i);
  });
}

}  // namespace fundrel::ew::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include <math.h>

#include "platform/ipp/ipp_api.h"
#include "platform/ipp/ipps/ew_check.h"

namespace fundrel::ew {
HWY_EXPORT(RealToCplxF32);
HWY_EXPORT(RealToCplxF64);
HWY_EXPORT(RealPartC64);
HWY_EXPORT(ImagPartC64);
HWY_EXPORT(PowerC64);
HWY_EXPORT(MagnitudeC64);

namespace {
const double* D(const Ipp64fc* p) { return reinterpret_cast<const double*>(p); }

// atan2 in (-pi, pi]: the lower edge of the branch cut (-x, -0) is reported as +pi.
double Phase(double im, double re) {
  const double p = atan2(im, re);
  return p == -IPP_PI ? IPP_PI : p;
}

template <typename T>
void CartToPolar(const T* re, const T* im, T* magn, T* phase, int len) {
  for (int i = 0; i < len; ++i) {
    const double x = re[i], y = im[i];
    magn[i] = static_cast<T>(sqrt(x * x + y * y));
    phase[i] = static_cast<T>(Phase(y, x));
  }
}
template <typename T>
void PolarToCart(const T* magn, const T* phase, T* re, T* im, int len) {
  for (int i = 0; i < len; ++i) {
    const double m = magn[i], p = phase[i];
    re[i] = static_cast<T>(m * cos(p));
    im[i] = static_cast<T>(m * sin(p));
  }
}
}  // namespace
}  // namespace fundrel::ew

using namespace fundrel::ew;

extern "C" {

// Either source may be NULL; its part of the result is then zero.
IPPAPI_EXPORT IppStatus ippsRealToCplx_32f(const Ipp32f* pSrcRe, const Ipp32f* pSrcIm, Ipp32fc* pDst, int len) {
  EW_CHECK(len, pDst);
  EW_DISPATCH(RealToCplxF32)(pSrcRe, pSrcIm, reinterpret_cast<float*>(pDst), len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsRealToCplx_64f(const Ipp64f* pSrcRe, const Ipp64f* pSrcIm, Ipp64fc* pDst, int len) {
  EW_CHECK(len, pDst);
  EW_DISPATCH(RealToCplxF64)(pSrcRe, pSrcIm, reinterpret_cast<double*>(pDst), len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsReal_64fc(const Ipp64fc* pSrc, Ipp64f* pDstRe, int len) {
  EW_CHECK(len, pSrc, pDstRe);
  EW_DISPATCH(RealPartC64)(D(pSrc), pDstRe, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsImag_64fc(const Ipp64fc* pSrc, Ipp64f* pDstIm, int len) {
  EW_CHECK(len, pSrc, pDstIm);
  EW_DISPATCH(ImagPartC64)(D(pSrc), pDstIm, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsMagnitude_64fc(const Ipp64fc* pSrc, Ipp64f* pDst, int len) {
  EW_CHECK(len, pSrc, pDst);
  EW_DISPATCH(MagnitudeC64)(D(pSrc), pDst, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsPowerSpectr_64fc(const Ipp64fc* pSrc, Ipp64f* pDst, int len) {
  EW_CHECK(len, pSrc, pDst);
  EW_DISPATCH(PowerC64)(D(pSrc), pDst, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsPhase_64fc(const Ipp64fc* pSrc, Ipp64f* pDst, int len) {
  EW_CHECK(len, pSrc, pDst);
  for (int i = 0; i < len; ++i) pDst[i] = Phase(pSrc[i].im, pSrc[i].re);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsCartToPolar_32f(const Ipp32f* pSrcRe, const Ipp32f* pSrcIm, Ipp32f* pDstMagn, Ipp32f* pDstPhase,
                                            int len) {
  EW_CHECK(len, pSrcRe, pSrcIm, pDstMagn, pDstPhase);
  CartToPolar(pSrcRe, pSrcIm, pDstMagn, pDstPhase, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsCartToPolar_64f(const Ipp64f* pSrcRe, const Ipp64f* pSrcIm, Ipp64f* pDstMagn, Ipp64f* pDstPhase,
                                            int len) {
  EW_CHECK(len, pSrcRe, pSrcIm, pDstMagn, pDstPhase);
  CartToPolar(pSrcRe, pSrcIm, pDstMagn, pDstPhase, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsPolarToCart_32f(const Ipp32f* pSrcMagn, const Ipp32f* pSrcPhase, Ipp32f* pDstRe, Ipp32f* pDstIm,
                                            int len) {
  EW_CHECK(len, pSrcMagn, pSrcPhase, pDstRe, pDstIm);
  PolarToCart(pSrcMagn, pSrcPhase, pDstRe, pDstIm, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsPolarToCart_64f(const Ipp64f* pSrcMagn, const Ipp64f* pSrcPhase, Ipp64f* pDstRe, Ipp64f* pDstIm,
                                            int len) {
  EW_CHECK(len, pSrcMagn, pSrcPhase, pDstRe, pDstIm);
  PolarToCart(pSrcMagn, pSrcPhase, pDstRe, pDstIm, len);
  return ippStsNoErr;
}

// The first lenDst/2 + 1 values are the half spectrum; the rest are their mirrored conjugates.
IPPAPI_EXPORT IppStatus ippsConjCcs_64fc_I(Ipp64fc* pSrcDst, int lenDst) {
  EW_CHECK(lenDst, pSrcDst);
  for (int k = lenDst / 2 + 1; k < lenDst; ++k) pSrcDst[k] = {pSrcDst[lenDst - k].re, -pSrcDst[lenDst - k].im};
  return ippStsNoErr;
}

}  // extern "C"
#endif  // HWY_ONCE
