// Correlation and convolution: ippsAutoCorr*, ippsCrossCorr_64f/_64fc, ippsConv_64f.
//
// Everything reduces to one sum, c[k] = sum over i of conj(a[i]) * b[i + k] for a range of lags
// k (samples outside the inputs are 0): convolution is that sum with a reversed, the
// autocorrelation has a = b. It is computed directly with the vectorised FIR kernel when the
// work is small, and through zero-padded FFTs (conj(A) B, one inverse) when that is cheaper.
// Complex data conjugate the first operand: conj(pSrc1[i]) * pSrc2[i + k].
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/ipp/ipp_api.h"
#include "platform/ipp/ipps/dsp_fft.h"
#include "platform/ipp/ipps/dsp_filter.h"

namespace {

namespace dsp = fundrel::ipp::dsp;

int CeilLog2(long long v) {
  int k = 0;
  while ((1LL << k) < v) ++k;
  return k;
}

// Direct work (multiply-adds) against an FFT of 2^order points. Measured on this code: the
// direct kernel costs about 0.05 ns per multiply-add while its taps and window stay in the
// first-level cache (up to a few hundred taps) and about four times that beyond; the FFT path
// about 0.35 ns per point and stage (three transforms and the product).
bool FftIsCheaper(double directMacs, int order, int taps) {
  if (order > dsp::kMaxFftOrder) return false;
  const double ratio = taps <= 256 ? 7.0 : 2.0;
  return directMacs > ratio * std::ldexp(1.0, order) * order;
}

// Clips the requested lags [lo, lo + len) to those that can be non-zero, [-(na-1), nb-1].
struct LagRange {
  long long lo, hi;  // inclusive; empty when lo > hi
};

LagRange ValidLags(long long lo, long long len, long long na, long long nb) {
  return {std::max(lo, -(na - 1)), std::min(lo + len - 1, nb - 1)};
}

// c[k] for k in [lo, hi] into out[0 ..]: out[n] = sum_j a[j] * b[lo + n + j].
IppStatus RealCorrDirect(const double* a, int na, const double* b, int nb, long long lo, long long hi,
                         double* out) {
  const long long count = hi - lo + 1;
  dsp::WorkArea work(static_cast<std::size_t>(count + na - 1), nullptr);
  double* x = work.Get();
  if (!x) return ippStsMemAllocErr;
  for (long long m = 0; m < count + na - 1; ++m) {
    const long long i = lo + m;
    x[m] = (i >= 0 && i < nb) ? b[i] : 0.0;
  }
  dsp::FirBlock(a, na, x, out, static_cast<int>(count));
  return ippStsNoErr;
}

IppStatus RealCorrFft(const double* a, int na, const double* b, int nb, long long lo, long long hi,
                      double* out, int order) {
  const dsp::RealFftPlan* plan = dsp::SharedRealFftPlan(order);
  if (!plan) return ippStsMemAllocErr;
  const std::size_t m = std::size_t{1} << order;
  const std::size_t scratch = dsp::RealFftScratchDoubles(*plan);
  dsp::WorkArea work(2 * (m + 2) + scratch, nullptr);
  if (!work.Get()) return ippStsMemAllocErr;
  double* fa = work.Get();
  double* fb = fa + m + 2;
  double* tmp = fb + m + 2;
  std::memcpy(fa, a, static_cast<std::size_t>(na) * sizeof(double));
  std::fill(fa + na, fa + m, 0.0);
  dsp::FftRealForward(*plan, fa, fa, 1.0, tmp);
  const bool same = a == b && na == nb;
  if (!same) {
    std::memcpy(fb, b, static_cast<std::size_t>(nb) * sizeof(double));
    std::fill(fb + nb, fb + m, 0.0);
    dsp::FftRealForward(*plan, fb, fb, 1.0, tmp);
  }
  const double* sb = same ? fa : fb;
  for (std::size_t k = 0; k <= m / 2; ++k) {
    const double ar = fa[2 * k], ai = fa[2 * k + 1], br = sb[2 * k], bi = sb[2 * k + 1];
    fb[2 * k] = ar * br + ai * bi;
    fb[2 * k + 1] = ar * bi - ai * br;
  }
  dsp::FftRealInverse(*plan, fb, fb, 1.0 / static_cast<double>(m), tmp);
  for (long long k = lo; k <= hi; ++k) out[k - lo] = fb[static_cast<std::size_t>(k) & (m - 1)];
  return ippStsNoErr;
}

// out[n] for the requested lags [lowLag, lowLag + dstLen): zeros where no samples overlap.
IppStatus RealCorr(const double* a, int na, const double* b, int nb, int lowLag, int dstLen, double* out) {
  const LagRange r = ValidLags(lowLag, dstLen, na, nb);
  if (r.lo > r.hi) {
    std::fill(out, out + dstLen, 0.0);
    return ippStsNoErr;
  }
  std::fill(out, out + (r.lo - lowLag), 0.0);
  std::fill(out + (r.hi - lowLag + 1), out + dstLen, 0.0);
  double* o = out + (r.lo - lowLag);
  const int order = CeilLog2(static_cast<long long>(na) + nb - 1);
  const double macs = static_cast<double>(na) * static_cast<double>(r.hi - r.lo + 1);
  if (FftIsCheaper(macs, order, na)) return RealCorrFft(a, na, b, nb, r.lo, r.hi, o, order);
  return RealCorrDirect(a, na, b, nb, r.lo, r.hi, o);
}

IppStatus ComplexCorrDirect(const Ipp64fc* a, int na, const Ipp64fc* b, int nb, long long lo, long long hi,
                            Ipp64fc* out) {
  const long long count = hi - lo + 1;
  const long long span = count + na - 1;
  dsp::WorkArea work(static_cast<std::size_t>(2 * na + 2 * span + 2 * count), nullptr);
  if (!work.Get()) return ippStsMemAllocErr;
  double* ar = work.Get();
  double* ai = ar + na;
  double* xr = ai + na;
  double* xi = xr + span;
  double* t1 = xi + span;
  double* t2 = t1 + count;
  for (int j = 0; j < na; ++j) {
    ar[j] = a[j].re;
    ai[j] = a[j].im;
  }
  for (long long m = 0; m < span; ++m) {
    const long long i = lo + m;
    const bool in = i >= 0 && i < nb;
    xr[m] = in ? b[i].re : 0.0;
    xi[m] = in ? b[i].im : 0.0;
  }
  const int n = static_cast<int>(count);
  // conj(a) b = (ar br + ai bi) + i (ar bi - ai br)
  dsp::FirBlock(ar, na, xr, t1, n);
  dsp::FirBlock(ai, na, xi, t2, n);
  for (int k = 0; k < n; ++k) out[k].re = t1[k] + t2[k];
  dsp::FirBlock(ar, na, xi, t1, n);
  dsp::FirBlock(ai, na, xr, t2, n);
  for (int k = 0; k < n; ++k) out[k].im = t1[k] - t2[k];
  return ippStsNoErr;
}

IppStatus ComplexCorrFft(const Ipp64fc* a, int na, const Ipp64fc* b, int nb, long long lo, long long hi,
                         Ipp64fc* out, int order) {
  const dsp::FftPlan* plan = dsp::SharedFftPlan(order);
  if (!plan) return ippStsMemAllocErr;
  const std::size_t m = std::size_t{1} << order;
  const std::size_t scratch = dsp::FftScratchDoubles(*plan);
  dsp::WorkArea work(4 * m + scratch, nullptr);
  if (!work.Get()) return ippStsMemAllocErr;
  double* fa = work.Get();
  double* fb = fa + 2 * m;
  double* tmp = fb + 2 * m;
  std::memcpy(fa, a, static_cast<std::size_t>(na) * sizeof(Ipp64fc));
  std::fill(fa + 2 * na, fa + 2 * m, 0.0);
  dsp::FftComplex(*plan, fa, fa, false, 1.0, tmp);
  const bool same = a == b && na == nb;
  if (!same) {
    std::memcpy(fb, b, static_cast<std::size_t>(nb) * sizeof(Ipp64fc));
    std::fill(fb + 2 * nb, fb + 2 * m, 0.0);
    dsp::FftComplex(*plan, fb, fb, false, 1.0, tmp);
  }
  const double* sb = same ? fa : fb;
  for (std::size_t k = 0; k < m; ++k) {
    const double ar = fa[2 * k], ai = fa[2 * k + 1], br = sb[2 * k], bi = sb[2 * k + 1];
    fb[2 * k] = ar * br + ai * bi;
    fb[2 * k + 1] = ar * bi - ai * br;
  }
  dsp::FftComplex(*plan, fb, fb, true, 1.0 / static_cast<double>(m), tmp);
  for (long long k = lo; k <= hi; ++k) {
    const std::size_t idx = static_cast<std::size_t>(k) & (m - 1);
    out[k - lo] = Ipp64fc{fb[2 * idx], fb[2 * idx + 1]};
  }
  return ippStsNoErr;
}

IppStatus ComplexCorr(const Ipp64fc* a, int na, const Ipp64fc* b, int nb, int lowLag, int dstLen, Ipp64fc* out) {
  const LagRange r = ValidLags(lowLag, dstLen, na, nb);
  const Ipp64fc zero{0.0, 0.0};
  if (r.lo > r.hi) {
    std::fill(out, out + dstLen, zero);
    return ippStsNoErr;
  }
  std::fill(out, out + (r.lo - lowLag), zero);
  std::fill(out + (r.hi - lowLag + 1), out + dstLen, zero);
  Ipp64fc* o = out + (r.lo - lowLag);
  const int order = CeilLog2(static_cast<long long>(na) + nb - 1);
  // A complex multiply-add is four real ones; a complex FFT of M points costs about two real
  // transforms of 2M.
  const double macs = 4.0 * static_cast<double>(na) * static_cast<double>(r.hi - r.lo + 1);
  if (FftIsCheaper(macs, order + 1, na)) return ComplexCorrFft(a, na, b, nb, r.lo, r.hi, o, order);
  return ComplexCorrDirect(a, na, b, nb, r.lo, r.hi, o);
}

enum class Norm { None, Biased, Unbiased };

IppStatus AutoReal(const Ipp64f* pSrc, int srcLen, Ipp64f* pDst, int dstLen, Norm norm) {
  if (!pSrc || !pDst) return ippStsNullPtrErr;
  if (srcLen <= 0 || dstLen <= 0) return ippStsSizeErr;
  const IppStatus st = RealCorr(pSrc, srcLen, pSrc, srcLen, 0, dstLen, pDst);
  if (st != ippStsNoErr) return st;
  const int valid = std::min(srcLen, dstLen);
  if (norm == Norm::Biased)
    for (int n = 0; n < valid; ++n) pDst[n] /= srcLen;
  if (norm == Norm::Unbiased)
    for (int n = 0; n < valid; ++n) pDst[n] /= (srcLen - n);
  return ippStsNoErr;
}

IppStatus AutoComplex(const Ipp64fc* pSrc, int srcLen, Ipp64fc* pDst, int dstLen, Norm norm) {
  if (!pSrc || !pDst) return ippStsNullPtrErr;
  if (srcLen <= 0 || dstLen <= 0) return ippStsSizeErr;
  const IppStatus st = ComplexCorr(pSrc, srcLen, pSrc, srcLen, 0, dstLen, pDst);
  if (st != ippStsNoErr) return st;
  const int valid = std::min(srcLen, dstLen);
  for (int n = 0; n < valid && norm != Norm::None; ++n) {
    const double div = norm == Norm::Biased ? srcLen : srcLen - n;
    pDst[n].re /= div;
    pDst[n].im /= div;
  }
  return ippStsNoErr;
}

}  // namespace

extern "C" {

IPPAPI_EXPORT IppStatus ippsAutoCorr_64f(const Ipp64f* pSrc, int srcLen, Ipp64f* pDst, int dstLen) {
  return AutoReal(pSrc, srcLen, pDst, dstLen, Norm::None);
}
IPPAPI_EXPORT IppStatus ippsAutoCorr_NormA_64f(const Ipp64f* pSrc, int srcLen, Ipp64f* pDst, int dstLen) {
  return AutoReal(pSrc, srcLen, pDst, dstLen, Norm::Biased);
}
IPPAPI_EXPORT IppStatus ippsAutoCorr_NormB_64f(const Ipp64f* pSrc, int srcLen, Ipp64f* pDst, int dstLen) {
  return AutoReal(pSrc, srcLen, pDst, dstLen, Norm::Unbiased);
}
IPPAPI_EXPORT IppStatus ippsAutoCorr_64fc(const Ipp64fc* pSrc, int srcLen, Ipp64fc* pDst, int dstLen) {
  return AutoComplex(pSrc, srcLen, pDst, dstLen, Norm::None);
}
IPPAPI_EXPORT IppStatus ippsAutoCorr_NormA_64fc(const Ipp64fc* pSrc, int srcLen, Ipp64fc* pDst, int dstLen) {
  return AutoComplex(pSrc, srcLen, pDst, dstLen, Norm::Biased);
}
IPPAPI_EXPORT IppStatus ippsAutoCorr_NormB_64fc(const Ipp64fc* pSrc, int srcLen, Ipp64fc* pDst, int dstLen) {
  return AutoComplex(pSrc, srcLen, pDst, dstLen, Norm::Unbiased);
}

IPPAPI_EXPORT IppStatus ippsCrossCorr_64f(const Ipp64f* pSrc1, int src1Len, const Ipp64f* pSrc2, int src2Len,
                                          Ipp64f* pDst, int dstLen, int lowLag) {
  if (!pSrc1 || !pSrc2 || !pDst) return ippStsNullPtrErr;
  if (src1Len <= 0 || src2Len <= 0 || dstLen <= 0) return ippStsSizeErr;
  return RealCorr(pSrc1, src1Len, pSrc2, src2Len, lowLag, dstLen, pDst);
}

IPPAPI_EXPORT IppStatus ippsCrossCorr_64fc(const Ipp64fc* pSrc1, int src1Len, const Ipp64fc* pSrc2, int src2Len,
                                           Ipp64fc* pDst, int dstLen, int lowLag) {
  if (!pSrc1 || !pSrc2 || !pDst) return ippStsNullPtrErr;
  if (src1Len <= 0 || src2Len <= 0 || dstLen <= 0) return ippStsSizeErr;
  return ComplexCorr(pSrc1, src1Len, pSrc2, src2Len, lowLag, dstLen, pDst);
}

IPPAPI_EXPORT IppStatus ippsConv_64f(const Ipp64f* pSrc1, int lenSrc1, const Ipp64f* pSrc2, int lenSrc2, Ipp64f* pDst) {
  if (!pSrc1 || !pSrc2 || !pDst) return ippStsNullPtrErr;
  if (lenSrc1 <= 0 || lenSrc2 <= 0) return ippStsSizeErr;
  // conv(a, b)[n] = corr(reversed a, b) at lag n - (len a - 1); the shorter operand is reversed
  // (the direct kernel's taps).
  const Ipp64f* a = pSrc1;
  const Ipp64f* b = pSrc2;
  int na = lenSrc1, nb = lenSrc2;
  if (na > nb) {
    std::swap(a, b);
    std::swap(na, nb);
  }
  std::vector<double> reversed;
  try {
    reversed.assign(std::reverse_iterator<const double*>(a + na), std::reverse_iterator<const double*>(a));
  } catch (const std::bad_alloc&) {
    return ippStsMemAllocErr;
  }
  return RealCorr(reversed.data(), na, b, nb, -(na - 1), na + nb - 1, pDst);
}

}  // extern "C"
