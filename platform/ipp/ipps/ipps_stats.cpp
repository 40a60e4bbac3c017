// Statistics, norms and thresholds: sums, means, standard deviation, extrema (with index), dot
// products, difference norms, the complex L2 norm, normalisation and thresholding.
// Floating reductions run several independent accumulators, so their rounding differs from a
// left-to-right loop by a few ulps of the largest partial sum.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "platform/ipp/ipps/ipps_stats.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>

#include "platform/ipp/ipps/ew_loops-inl.h"

HWY_BEFORE_NAMESPACE();
namespace fundrel::ew::HWY_NAMESPACE {

enum Combine { kSum, kMax, kMin };

template <int kComb, class D, class V>
HWY_INLINE V Join(D, V a, V b) {
  if constexpr (kComb == kSum) return hn::Add(a, b);
  else if constexpr (kComb == kMax) return hn::Max(a, b);
  else return hn::Min(a, b);
}
template <int kComb, class D, class V>
HWY_INLINE double JoinLanes(D d, V v) {
  if constexpr (kComb == kSum) return hn::GetLane(hn::SumOfLanes(d, v));
  else if constexpr (kComb == kMax) return hn::GetLane(hn::MaxOfLanes(d, v));
  else return hn::GetLane(hn::MinOfLanes(d, v));
}

// acc = step(d, acc, a[i], b[i]) over four accumulators starting at `init`, joined by kComb.
// Without b, step receives a[i] twice.
template <int kComb, class Step>
HWY_INLINE double Reduce(const double* a, const double* b, size_t n, double init, const Step& step) {
  const hn::ScalableTag<double> d;
  const size_t N = hn::Lanes(d);
  const double* bb = b ? b : a;
  auto acc0 = hn::Set(d, init), acc1 = acc0, acc2 = acc0, acc3 = acc0;
  size_t i = 0;
  for (; i + 4 * N <= n; i += 4 * N) {
    acc0 = step(d, acc0, hn::LoadU(d, a + i), hn::LoadU(d, bb + i));
    acc1 = step(d, acc1, hn::LoadU(d, a + i + N), hn::LoadU(d, bb + i + N));
    acc2 = step(d, acc2, hn::LoadU(d, a + i + 2 * N), hn::LoadU(d, bb + i + 2 * N));
    acc3 = step(d, acc3, hn::LoadU(d, a + i + 3 * N), hn::LoadU(d, bb + i + 3 * N));
  }
  for (; i + N <= n; i += N) acc0 = step(d, acc0, hn::LoadU(d, a + i), hn::LoadU(d, bb + i));
  acc0 = Join<kComb>(d, Join<kComb>(d, acc0, acc1), Join<kComb>(d, acc2, acc3));
  const hn::CappedTag<double, 1> d1;
  auto acc = hn::Set(d1, JoinLanes<kComb>(d, acc0));
  for (; i < n; ++i) acc = step(d1, acc, hn::LoadU(d1, a + i), hn::LoadU(d1, bb + i));
  return hn::GetLane(acc);
}

double SumF64(const double* a, size_t n) {
  return Reduce<kSum>(a, nullptr, n, 0.0, [](auto, auto acc, auto x, auto) { return hn::Add(acc, x); });
}
double SumSqDevF64(const double* a, size_t n, double mean) {
  return Reduce<kSum>(a, nullptr, n, 0.0, [mean](auto d, auto acc, auto x, auto) {
    const auto dev = hn::Sub(x, hn::Set(d, mean));
    return hn::MulAdd(dev, dev, acc);
  });
}
double SumSqF64(const double* a, size_t n) {
  return Reduce<kSum>(a, nullptr, n, 0.0, [](auto, auto acc, auto x, auto) { return hn::MulAdd(x, x, acc); });
}
double MaxF64(const double* a, size_t n) {
  return Reduce<kMax>(a, nullptr, n, a[0], [](auto, auto acc, auto x, auto) { return hn::Max(acc, x); });
}
double MinF64(const double* a, size_t n) {
  return Reduce<kMin>(a, nullptr, n, a[0], [](auto, auto acc, auto x, auto) { return hn::Min(acc, x); });
}
double DotF64(const double* a, const double* b, size_t n) {
  return Reduce<kSum>(a, b, n, 0.0, [](auto, auto acc, auto x, auto y) { return hn::MulAdd(x, y, acc); });
}
double NormDiffL1F64(const double* a, const double* b, size_t n) {
  return Reduce<kSum>(a, b, n, 0.0, [](auto, auto acc, auto x, auto y) { return hn::Add(acc, hn::Abs(hn::Sub(x, y))); });
}
double NormDiffL2SqF64(const double* a, const double* b, size_t n) {
  return Reduce<kSum>(a, b, n, 0.0, [](auto, auto acc, auto x, auto y) {
    const auto t = hn::Sub(x, y);
    return hn::MulAdd(t, t, acc);
  });
}
double NormDiffInfF64(const double* a, const double* b, size_t n) {
  return Reduce<kMax>(a, b, n, 0.0, [](auto, auto acc, auto x, auto y) { return hn::Max(acc, hn::Abs(hn::Sub(x, y))); });
}

// Sum of floats accumulated in double.
double SumF32(const float* a, size_t n) {
  const hn::ScalableTag<double> d;
  const hn::Rebind<float, decltype(d)> df;
  const size_t N = hn::Lanes(d);
  auto acc0 = hn::Zero(d), acc1 = acc0;
  size_t i = 0;
  for (; i + 2 * N <= n; i += 2 * N) {
    acc0 = hn::Add(acc0, hn::PromoteTo(d, hn::LoadU(df, a + i)));
    acc1 = hn::Add(acc1, hn::PromoteTo(d, hn::LoadU(df, a + i + N)));
  }
  double s = hn::GetLane(hn::SumOfLanes(d, hn::Add(acc0, acc1)));
  for (; i < n; ++i) s += a[i];
  return s;
}

// Complex dot product without conjugation over n complex values: accumulates ar*(br, bi) and
// ai*(bi, br), combined once at the end.
void DotC64(const double* a, const double* b, size_t n, double* re, double* im) {
  size_t i = 0;
  double sr = 0, si = 0;
#if EW_PAIRS
  const hn::ScalableTag<double> d;
  const size_t N = hn::Lanes(d);  // doubles per vector: N / 2 complex values
  auto p0 = hn::Zero(d), q0 = p0, p1 = p0, q1 = p0;
  for (; 2 * i + 2 * N <= 2 * n; i += N) {
    const auto a0 = hn::LoadU(d, a + 2 * i), b0 = hn::LoadU(d, b + 2 * i);
    const auto a1 = hn::LoadU(d, a + 2 * i + N), b1 = hn::LoadU(d, b + 2 * i + N);
    p0 = hn::MulAdd(hn::DupEven(a0), b0, p0);
    q0 = hn::MulAdd(hn::DupOdd(a0), hn::Reverse2(d, b0), q0);
    p1 = hn::MulAdd(hn::DupEven(a1), b1, p1);
    q1 = hn::MulAdd(hn::DupOdd(a1), hn::Reverse2(d, b1), q1);
  }
  double p[HWY_MAX_BYTES / sizeof(double)], q[HWY_MAX_BYTES / sizeof(double)];
  hn::StoreU(hn::Add(p0, p1), d, p);
  hn::StoreU(hn::Add(q0, q1), d, q);
  for (size_t k = 0; k < N; k += 2) {
    sr += p[k] - q[k];          // ar br - ai bi
    si += p[k + 1] + q[k + 1];  // ar bi + ai br
  }
#endif
  for (; i < n; ++i) {
    sr += a[2 * i] * b[2 * i] - a[2 * i + 1] * b[2 * i + 1];
    si += a[2 * i] * b[2 * i + 1] + a[2 * i + 1] * b[2 * i];
  }
  *re = sr;
  *im = si;
}

void NormalizeF64(const double* a, double* out, size_t n, double sub, double div) {
  Map1(a, out, n, [=](auto d, auto x) { return hn::Div(hn::Sub(x, hn::Set(d, sub)), hn::Set(d, div)); });
}
void NormalizeF32(const float* a, float* out, size_t n, float sub, float div) {
  Map1(a, out, n, [=](auto d, auto x) { return hn::Div(hn::Sub(x, hn::Set(d, sub)), hn::Set(d, div)); });
}

// Threshold: below (kLess) or above the level becomes the level; a NaN element is left alone.
template <bool kLess, typename T>
HWY_INLINE void Thresh(const T* a, T* out, size_t n, T level) {
  Map1(a, out, n, [level](auto d, auto x) {
    const auto l = hn::Set(d, level);
    return kLess ? MaxOr2nd(l, x) : MinOr2nd(l, x);
  });
}
void ThreshLtF64(const double* a, double* out, size_t n, double level) { Thresh<true>(a, out, n, level); }
void ThreshGtF64(const double* a, double* out, size_t n, double level) { Thresh<false>(a, out, n, level); }
void ThreshLtF32(const float* a, float* out, size_t n, float level) { Thresh<true>(a, out, n, level); }
void ThreshGtF32(const float* a, float* out, size_t n, float level) { Thresh<false>(a, out, n, level); }
void ThreshLtI32(const int32_t* a, int32_t* out, size_t n, int32_t level) { Thresh<true>(a, out, n, level); }
void ThreshGtI32(const int32_t* a, int32_t* out, size_t n, int32_t level) { Thresh<false>(a, out, n, level); }

}  // namespace fundrel::ew::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include <float.h>
#include <math.h>

#include "platform/ipp/ipp_api.h"
#include "platform/ipp/ipps/ew_check.h"
#include "platform/ipp/ipps/ew_sfs.h"

namespace fundrel::ew {
HWY_EXPORT(SumF64);
HWY_EXPORT(SumSqDevF64);
HWY_EXPORT(SumSqF64);
HWY_EXPORT(MaxF64);
HWY_EXPORT(MinF64);
HWY_EXPORT(DotF64);
HWY_EXPORT(NormDiffL1F64);
HWY_EXPORT(NormDiffL2SqF64);
HWY_EXPORT(NormDiffInfF64);
HWY_EXPORT(SumF32);
HWY_EXPORT(DotC64);
HWY_EXPORT(NormalizeF64);
HWY_EXPORT(NormalizeF32);
HWY_EXPORT(ThreshLtF64);
HWY_EXPORT(ThreshGtF64);
HWY_EXPORT(ThreshLtF32);
HWY_EXPORT(ThreshGtF32);
HWY_EXPORT(ThreshLtI32);
HWY_EXPORT(ThreshGtI32);

namespace {
// Index of the first element equal to the extreme found by the vector reduction; a NaN that the
// reduction let through makes no element equal, and a plain scan decides instead.
template <bool kMax>
int FirstIndexOf(const double* a, int len, double& value) {
  for (int i = 0; i < len; ++i)
    if (a[i] == value) return i;
  int best = 0;
  for (int i = 1; i < len; ++i)
    if (kMax ? a[i] > a[best] : a[i] < a[best]) best = i;
  value = a[best];
  return best;
}

// Complex threshold: an element whose magnitude passes the test is rescaled to magnitude
// `level`, keeping its phase; a zero element (no phase) becomes level + 0i.
void ThreshC64(const Ipp64fc* src, Ipp64fc* dst, int len, double level, bool less) {
  for (int i = 0; i < len; ++i) {
    const double re = src[i].re, im = src[i].im, m = sqrt(re * re + im * im);
    if (less ? m < level : m > level) {
      dst[i] = m == 0 ? Ipp64fc{level, 0.0} : Ipp64fc{re * (level / m), im * (level / m)};
    } else {
      dst[i] = src[i];
    }
  }
}
IppStatus CheckThresholdArgs(IppCmpOp relOp) {
  return relOp == ippCmpLess || relOp == ippCmpGreater ? ippStsNoErr : ippStsBadArgErr;
}
}  // namespace
}  // namespace fundrel::ew

using namespace fundrel::ew;

extern "C" {

IPPAPI_EXPORT IppStatus ippsSum_64f(const Ipp64f* pSrc, int len, Ipp64f* pSum) {
  EW_CHECK(len, pSrc, pSum);
  *pSum = EW_DISPATCH(SumF64)(pSrc, len);
  return ippStsNoErr;
}
// The hint may ask for speed or accuracy; the float sum is always accumulated in double.
IPPAPI_EXPORT IppStatus ippsMean_32f(const Ipp32f* pSrc, int len, Ipp32f* pMean, IppHintAlgorithm hint) {
  (void)hint;
  EW_CHECK(len, pSrc, pMean);
  *pMean = static_cast<Ipp32f>(EW_DISPATCH(SumF32)(pSrc, len) / len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsMean_64f(const Ipp64f* pSrc, int len, Ipp64f* pMean) {
  EW_CHECK(len, pSrc, pMean);
  *pMean = EW_DISPATCH(SumF64)(pSrc, len) / len;
  return ippStsNoErr;
}
// Sample deviation (divides by len - 1), so at least two elements are needed.
IPPAPI_EXPORT IppStatus ippsStdDev_64f(const Ipp64f* pSrc, int len, Ipp64f* pStdDev) {
  EW_CHECK(len, pSrc, pStdDev);
  if (len < 2) return ippStsSizeErr;
  const double mean = EW_DISPATCH(SumF64)(pSrc, len) / len;
  *pStdDev = sqrt(EW_DISPATCH(SumSqDevF64)(pSrc, len, mean) / (len - 1));
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsMax_64f(const Ipp64f* pSrc, int len, Ipp64f* pMax) {
  EW_CHECK(len, pSrc, pMax);
  *pMax = EW_DISPATCH(MaxF64)(pSrc, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsMin_64f(const Ipp64f* pSrc, int len, Ipp64f* pMin) {
  EW_CHECK(len, pSrc, pMin);
  *pMin = EW_DISPATCH(MinF64)(pSrc, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsMinMax_64f(const Ipp64f* pSrc, int len, Ipp64f* pMin, Ipp64f* pMax) {
  EW_CHECK(len, pSrc, pMin, pMax);
  *pMin = EW_DISPATCH(MinF64)(pSrc, len);
  *pMax = EW_DISPATCH(MaxF64)(pSrc, len);
  return ippStsNoErr;
}
// pIndx may be NULL; ties report the first occurrence.
IPPAPI_EXPORT IppStatus ippsMaxIndx_64f(const Ipp64f* pSrc, int len, Ipp64f* pMax, int* pIndx) {
  EW_CHECK(len, pSrc, pMax);
  double v = EW_DISPATCH(MaxF64)(pSrc, len);
  const int at = FirstIndexOf<true>(pSrc, len, v);
  *pMax = v;
  if (pIndx) *pIndx = at;
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsMinIndx_64f(const Ipp64f* pSrc, int len, Ipp64f* pMin, int* pIndx) {
  EW_CHECK(len, pSrc, pMin);
  double v = EW_DISPATCH(MinF64)(pSrc, len);
  const int at = FirstIndexOf<false>(pSrc, len, v);
  *pMin = v;
  if (pIndx) *pIndx = at;
  return ippStsNoErr;
}

// Products summed exactly (128-bit), then scaled, rounded and saturated once.
IPPAPI_EXPORT IppStatus ippsDotProd_32s_Sfs(const Ipp32s* pSrc1, const Ipp32s* pSrc2, int len, Ipp32s* pDp, int scaleFactor) {
  EW_CHECK(len, pSrc1, pSrc2, pDp);
  Wide sum = 0;
  for (int i = 0; i < len; ++i) sum += static_cast<int64_t>(pSrc1[i]) * pSrc2[i];
  *pDp = Sat32(sum, scaleFactor);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsDotProd_64f(const Ipp64f* pSrc1, const Ipp64f* pSrc2, int len, Ipp64f* pDp) {
  EW_CHECK(len, pSrc1, pSrc2, pDp);
  *pDp = EW_DISPATCH(DotF64)(pSrc1, pSrc2, len);
  return ippStsNoErr;
}
// No operand is conjugated.
IPPAPI_EXPORT IppStatus ippsDotProd_64fc(const Ipp64fc* pSrc1, const Ipp64fc* pSrc2, int len, Ipp64fc* pDp) {
  EW_CHECK(len, pSrc1, pSrc2, pDp);
  double re, im;
  EW_DISPATCH(DotC64)(reinterpret_cast<const double*>(pSrc1), reinterpret_cast<const double*>(pSrc2), len, &re, &im);
  *pDp = {re, im};
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsNormDiff_L1_64f(const Ipp64f* pSrc1, const Ipp64f* pSrc2, int len, Ipp64f* pNorm) {
  EW_CHECK(len, pSrc1, pSrc2, pNorm);
  *pNorm = EW_DISPATCH(NormDiffL1F64)(pSrc1, pSrc2, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsNormDiff_L2_64f(const Ipp64f* pSrc1, const Ipp64f* pSrc2, int len, Ipp64f* pNorm) {
  EW_CHECK(len, pSrc1, pSrc2, pNorm);
  *pNorm = sqrt(EW_DISPATCH(NormDiffL2SqF64)(pSrc1, pSrc2, len));
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsNormDiff_Inf_64f(const Ipp64f* pSrc1, const Ipp64f* pSrc2, int len, Ipp64f* pNorm) {
  EW_CHECK(len, pSrc1, pSrc2, pNorm);
  *pNorm = EW_DISPATCH(NormDiffInfF64)(pSrc1, pSrc2, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsNorm_L2_64fc64f(const Ipp64fc* pSrc, int len, Ipp64f* pNorm) {
  EW_CHECK(len, pSrc, pNorm);
  *pNorm = sqrt(EW_DISPATCH(SumSqF64)(reinterpret_cast<const double*>(pSrc), 2 * static_cast<size_t>(len)));
  return ippStsNoErr;
}

// A divisor of zero, or too small to divide by safely (below the smallest normal of the type),
// is refused.
IPPAPI_EXPORT IppStatus ippsNormalize_32f(const Ipp32f* pSrc, Ipp32f* pDst, int len, Ipp32f vsub, Ipp32f vdiv) {
  EW_CHECK(len, pSrc, pDst);
  if (!(fabsf(vdiv) >= FLT_MIN)) return ippStsDivByZeroErr;
  EW_DISPATCH(NormalizeF32)(pSrc, pDst, len, vsub, vdiv);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsNormalize_64f(const Ipp64f* pSrc, Ipp64f* pDst, int len, Ipp64f vsub, Ipp64f vdiv) {
  EW_CHECK(len, pSrc, pDst);
  if (!(fabs(vdiv) >= DBL_MIN)) return ippStsDivByZeroErr;
  EW_DISPATCH(NormalizeF64)(pSrc, pDst, len, vsub, vdiv);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsNormalize_64fc(const Ipp64fc* pSrc, Ipp64fc* pDst, int len, Ipp64fc vsub, Ipp64f vdiv) {
  EW_CHECK(len, pSrc, pDst);
  if (!(fabs(vdiv) >= DBL_MIN)) return ippStsDivByZeroErr;
  for (int i = 0; i < len; ++i) pDst[i] = {(pSrc[i].re - vsub.re) / vdiv, (pSrc[i].im - vsub.im) / vdiv};
  return ippStsNoErr;
}

IPPAPI_EXPORT IppStatus ippsThreshold_32f_I(Ipp32f* pSrcDst, int len, Ipp32f level, IppCmpOp relOp) {
  EW_CHECK(len, pSrcDst);
  if (const IppStatus s = CheckThresholdArgs(relOp)) return s;
  if (relOp == ippCmpLess) EW_DISPATCH(ThreshLtF32)(pSrcDst, pSrcDst, len, level);
  else EW_DISPATCH(ThreshGtF32)(pSrcDst, pSrcDst, len, level);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsThreshold_64f(const Ipp64f* pSrc, Ipp64f* pDst, int len, Ipp64f level, IppCmpOp relOp) {
  EW_CHECK(len, pSrc, pDst);
  if (const IppStatus s = CheckThresholdArgs(relOp)) return s;
  if (relOp == ippCmpLess) EW_DISPATCH(ThreshLtF64)(pSrc, pDst, len, level);
  else EW_DISPATCH(ThreshGtF64)(pSrc, pDst, len, level);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsThreshold_64f_I(Ipp64f* pSrcDst, int len, Ipp64f level, IppCmpOp relOp) {
  return ippsThreshold_64f(pSrcDst, pSrcDst, len, level, relOp);
}
IPPAPI_EXPORT IppStatus ippsThreshold_64fc(const Ipp64fc* pSrc, Ipp64fc* pDst, int len, Ipp64f level, IppCmpOp relOp) {
  EW_CHECK(len, pSrc, pDst);
  if (const IppStatus s = CheckThresholdArgs(relOp)) return s;
  if (level < 0) return ippStsThreshNegLevelErr;
  ThreshC64(pSrc, pDst, len, level, relOp == ippCmpLess);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsThreshold_64fc_I(Ipp64fc* pSrcDst, int len, Ipp64f level, IppCmpOp relOp) {
  return ippsThreshold_64fc(pSrcDst, pSrcDst, len, level, relOp);
}
IPPAPI_EXPORT IppStatus ippsThreshold_LT_32s_I(Ipp32s* pSrcDst, int len, Ipp32s level) {
  EW_CHECK(len, pSrcDst);
  EW_DISPATCH(ThreshLtI32)(pSrcDst, pSrcDst, len, level);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsThreshold_GT_32s_I(Ipp32s* pSrcDst, int len, Ipp32s level) {
  EW_CHECK(len, pSrcDst);
  EW_DISPATCH(ThreshGtI32)(pSrcDst, pSrcDst, len, level);
  return ippStsNoErr;
}

}  // extern "C"
#endif  // HWY_ONCE
