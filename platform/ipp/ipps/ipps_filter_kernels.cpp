// FIR and IIR kernels. The FIR is vectorised across outputs: each tap is broadcast once and
// multiplied into four vectors of consecutive outputs, so there is no horizontal sum and no
// dependency between outputs. IIR recursions cannot be vectorised across time; the biquad
// cascade keeps up to four sections' state in registers and runs sample by sample, letting the
// sections overlap in the pipeline.
#include <algorithm>

#include "platform/ipp/ipps/dsp_filter.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "platform/ipp/ipps/ipps_filter_kernels.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace fundrel::ipp::dsp {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

void Fir(const double* HWY_RESTRICT h, int tapsLen, const double* HWY_RESTRICT x,
         double* HWY_RESTRICT y, int count) {
  const hn::ScalableTag<double> d;
  using V = hn::Vec<decltype(d)>;
  const int lanes = static_cast<int>(hn::Lanes(d));
  int n = 0;
  for (; n + 4 * lanes <= count; n += 4 * lanes) {
    V a0 = hn::Zero(d), a1 = hn::Zero(d), a2 = hn::Zero(d), a3 = hn::Zero(d);
    const double* p = x + n;
    for (int j = 0; j < tapsLen; ++j) {
      const V t = hn::Set(d, h[j]);
      a0 = hn::MulAdd(t, hn::LoadU(d, p + j), a0);
      a1 = hn::MulAdd(t, hn::LoadU(d, p + j + lanes), a1);
      a2 = hn::MulAdd(t, hn::LoadU(d, p + j + 2 * lanes), a2);
      a3 = hn::MulAdd(t, hn::LoadU(d, p + j + 3 * lanes), a3);
    }
    hn::StoreU(a0, d, y + n);
    hn::StoreU(a1, d, y + n + lanes);
    hn::StoreU(a2, d, y + n + 2 * lanes);
    hn::StoreU(a3, d, y + n + 3 * lanes);
  }
  for (; n + lanes <= count; n += lanes) {
    V a0 = hn::Zero(d);
    for (int j = 0; j < tapsLen; ++j) a0 = hn::MulAdd(hn::Set(d, h[j]), hn::LoadU(d, x + n + j), a0);
    hn::StoreU(a0, d, y + n);
  }
  for (; n < count; ++n) {
    double acc = 0.0;
    for (int j = 0; j < tapsLen; ++j) acc += h[j] * x[n + j];
    y[n] = acc;
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace fundrel::ipp::dsp
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace fundrel::ipp::dsp {

HWY_EXPORT(Fir);

void FirBlock(const double* reversedTaps, int tapsLen, const double* x, double* y, int count) {
  HWY_DYNAMIC_DISPATCH(Fir)(reversedTaps, tapsLen, x, y, count);
}

void IirDirect(const double* b, const double* a, int order, double* d, const double* src,
               double* dst, int len) {
  const double b0 = b[0];
  for (int n = 0; n < len; ++n) {
    const double x = src[n];
    const double y = b0 * x + (order > 0 ? d[0] : 0.0);
    for (int i = 0; i + 1 < order; ++i) d[i] = b[i + 1] * x - a[i + 1] * y + d[i + 1];
    if (order > 0) d[order - 1] = b[order] * x - a[order] * y;
    dst[n] = y;
  }
}

namespace {

// kCount sections (1..4) sample by sample, state in locals.
template <int kCount>
void BiquadGroup(const double* taps, double* d, const double* src, double* dst, int len) {
  double b0[4], b1[4], b2[4], a1[4], a2[4], s0[4], s1[4];
  for (int k = 0; k < kCount; ++k) {
    b0[k] = taps[5 * k];
    b1[k] = taps[5 * k + 1];
    b2[k] = taps[5 * k + 2];
    a1[k] = taps[5 * k + 3];
    a2[k] = taps[5 * k + 4];
    s0[k] = d[2 * k];
    s1[k] = d[2 * k + 1];
  }
  for (int n = 0; n < len; ++n) {
    double x = src[n];
    for (int k = 0; k < kCount; ++k) {
      const double y = b0[k] * x + s0[k];
      s0[k] = b1[k] * x - a1[k] * y + s1[k];
      s1[k] = b2[k] * x - a2[k] * y;
      x = y;
    }
    dst[n] = x;
  }
  for (int k = 0; k < kCount; ++k) {
    d[2 * k] = s0[k];
    d[2 * k + 1] = s1[k];
  }
}

}  // namespace

void IirBiquads(const double* taps, int numBq, double* d, const double* src, double* dst,
                int len) {
  // Groups of four sections, each group over a chunk before the next: the chunk stays in
  // cache between groups.
  constexpr int kChunk = 1024;
  for (int start = 0; start < len; start += kChunk) {
    const int count = std::min(kChunk, len - start);
    const double* in = src + start;
    for (int k = 0; k < numBq; k += 4) {
      double* out = dst + start;
      switch (std::min(4, numBq - k)) {
        case 1: BiquadGroup<1>(taps + 5 * k, d + 2 * k, in, out, count); break;
        case 2: BiquadGroup<2>(taps + 5 * k, d + 2 * k, in, out, count); break;
        case 3: BiquadGroup<3>(taps + 5 * k, d + 2 * k, in, out, count); break;
        default: BiquadGroup<4>(taps + 5 * k, d + 2 * k, in, out, count); break;
      }
      in = out;
    }
  }
}

}  // namespace fundrel::ipp::dsp
#endif
