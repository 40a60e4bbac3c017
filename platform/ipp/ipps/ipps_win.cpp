// Windows: Bartlett, Blackman, Hamming and Hann, out of place, in place and complex in place.
// Weights are computed in vectors alongside the multiply (a vector cosine), so no table is
// kept and calls are re-entrant. The cosine windows are all c0 + c1 cos(t) + c2 cos(2t) with
// t = 2 pi n / (N - 1).
#include "platform/ipp/ipp_api.h"

#ifndef FUNDREL_IPPS_WIN_TYPES
#define FUNDREL_IPPS_WIN_TYPES
namespace fundrel::ipp::dsp {
struct WinShape {
  bool bartlett;
  double c0, c1, c2;
};
}  // namespace fundrel::ipp::dsp
#endif

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "platform/ipp/ipps/ipps_win.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>
#include <hwy/contrib/math/math-inl.h>

HWY_BEFORE_NAMESPACE();
namespace fundrel::ipp::dsp {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

template <class D>
HWY_INLINE hn::Vec<D> Weights(D d, const WinShape& w, hn::Vec<D> n, double step) {
  if (w.bartlett) {
    // 1 - |2n/(N-1) - 1|: rises to 1 at the middle, 0 at both ends.
    const auto r = hn::Mul(n, hn::Set(d, step));
    return hn::Sub(hn::Set(d, 1.0), hn::Abs(hn::Sub(r, hn::Set(d, 1.0))));
  }
  const auto t = hn::Mul(n, hn::Set(d, step));
  auto v = hn::MulAdd(hn::Set(d, w.c1), hn::Cos(d, t), hn::Set(d, w.c0));
  if (w.c2 != 0.0) v = hn::MulAdd(hn::Set(d, w.c2), hn::Cos(d, hn::Add(t, t)), v);
  return v;
}

// Bartlett's step is 2/(N-1); the cosine windows' is 2 pi/(N-1).
void Window(const WinShape& w, const double* src, double* dst, int len, bool complex) {
  const hn::ScalableTag<double> d;
  const int lanes = static_cast<int>(hn::Lanes(d));
  const double step = (w.bartlett ? 2.0 : 2.0 * IPP_PI) / (len - 1);
  auto n = hn::Iota(d, 0.0);
  const auto inc = hn::Set(d, static_cast<double>(lanes));
  int i = 0;
  for (; i + lanes <= len; i += lanes, n = hn::Add(n, inc)) {
    const auto wv = Weights(d, w, n, step);
    if (complex) {
      hn::Vec<decltype(d)> re, im;
      hn::LoadInterleaved2(d, src + 2 * i, re, im);
      hn::StoreInterleaved2(hn::Mul(re, wv), hn::Mul(im, wv), d, dst + 2 * i);
    } else {
      hn::StoreU(hn::Mul(hn::LoadU(d, src + i), wv), d, dst + i);
    }
  }
  if (i < len) {
    // Tail: weights of a full vector, applied to the remaining elements one by one.
    HWY_ALIGN double wt[HWY_MAX_BYTES / sizeof(double)];
    hn::Store(Weights(d, w, n, step), d, wt);
    for (int k = 0; i + k < len; ++k) {
      if (complex) {
        dst[2 * (i + k)] = src[2 * (i + k)] * wt[k];
        dst[2 * (i + k) + 1] = src[2 * (i + k) + 1] * wt[k];
      } else {
        dst[i + k] = src[i + k] * wt[k];
      }
    }
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace fundrel::ipp::dsp
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace fundrel::ipp::dsp {
HWY_EXPORT(Window);

namespace {

constexpr WinShape kBartlett{true, 0, 0, 0};
constexpr WinShape kHamming{false, 0.54, -0.46, 0.0};
constexpr WinShape kHann{false, 0.5, -0.5, 0.0};
WinShape Blackman(double alpha) { return WinShape{false, (alpha + 1.0) / 2.0, -0.5, -alpha / 2.0}; }

IppStatus Apply(const WinShape& w, const double* src, double* dst, int len, bool complex) {
  if (!src || !dst) return ippStsNullPtrErr;
  if (len < 3) return ippStsSizeErr;
  HWY_DYNAMIC_DISPATCH(Window)(w, src, dst, len, complex);
  return ippStsNoErr;
}

}  // namespace
}  // namespace fundrel::ipp::dsp

using fundrel::ipp::dsp::Apply;
using fundrel::ipp::dsp::Blackman;
using fundrel::ipp::dsp::kBartlett;
using fundrel::ipp::dsp::kHamming;
using fundrel::ipp::dsp::kHann;

extern "C" {

IPPAPI_EXPORT IppStatus ippsWinBartlett_64f(const Ipp64f* pSrc, Ipp64f* pDst, int len) {
  return Apply(kBartlett, pSrc, pDst, len, false);
}
IPPAPI_EXPORT IppStatus ippsWinBartlett_64f_I(Ipp64f* pSrcDst, int len) {
  return Apply(kBartlett, pSrcDst, pSrcDst, len, false);
}
IPPAPI_EXPORT IppStatus ippsWinBartlett_64fc_I(Ipp64fc* pSrcDst, int len) {
  return Apply(kBartlett, reinterpret_cast<double*>(pSrcDst), reinterpret_cast<double*>(pSrcDst), len, true);
}

IPPAPI_EXPORT IppStatus ippsWinBlackman_64f(const Ipp64f* pSrc, Ipp64f* pDst, int len, double alpha) {
  return Apply(Blackman(alpha), pSrc, pDst, len, false);
}
IPPAPI_EXPORT IppStatus ippsWinBlackman_64f_I(Ipp64f* pSrcDst, int len, double alpha) {
  return Apply(Blackman(alpha), pSrcDst, pSrcDst, len, false);
}
IPPAPI_EXPORT IppStatus ippsWinBlackman_64fc_I(Ipp64fc* pSrcDst, int len, double alpha) {
  return Apply(Blackman(alpha), reinterpret_cast<double*>(pSrcDst), reinterpret_cast<double*>(pSrcDst), len, true);
}

IPPAPI_EXPORT IppStatus ippsWinHamming_64f(const Ipp64f* pSrc, Ipp64f* pDst, int len) {
  return Apply(kHamming, pSrc, pDst, len, false);
}
IPPAPI_EXPORT IppStatus ippsWinHamming_64f_I(Ipp64f* pSrcDst, int len) {
  return Apply(kHamming, pSrcDst, pSrcDst, len, false);
}
IPPAPI_EXPORT IppStatus ippsWinHamming_64fc_I(Ipp64fc* pSrcDst, int len) {
  return Apply(kHamming, reinterpret_cast<double*>(pSrcDst), reinterpret_cast<double*>(pSrcDst), len, true);
}

IPPAPI_EXPORT IppStatus ippsWinHann_64f(const Ipp64f* pSrc, Ipp64f* pDst, int len) {
  return Apply(kHann, pSrc, pDst, len, false);
}
IPPAPI_EXPORT IppStatus ippsWinHann_64f_I(Ipp64f* pSrcDst, int len) {
  return Apply(kHann, pSrcDst, pSrcDst, len, false);
}
IPPAPI_EXPORT IppStatus ippsWinHann_64fc_I(Ipp64fc* pSrcDst, int len) {
  return Apply(kHann, reinterpret_cast<double*>(pSrcDst), reinterpret_cast<double*>(pSrcDst), len, true);
}

}  // extern "C"
#endif
