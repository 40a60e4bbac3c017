// FIR and IIR kernels. The FIR is vectorised across outputs: each tap is broadcast once and
// multiplied into four vectors of consecutive outputs, so there is no horizontal sum and no
// dependency between outputs. IIR recursions cannot be vectorised across time, but a biquad
// cascade can be vectorised across sections: one lane per section, each step feeding every
// section's output into the next section's lane (a wavefront), so a sample passes L sections
// in one vector step and the recursion's latency is paid once per step instead of once per
// section. The direct form runs as a scalar loop.
#include <algorithm>
#include <cstdint>

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

// Up to Lanes (at most 4) sections in a wavefront over len samples; taps b0 b1 b2 a1 a2 per
// section, d their two partial sums (updated). Lane k works on sample t - k at step t; during
// the first and last Lanes - 1 steps the lanes outside the block keep their state. Returns
// false when the target has single-lane vectors (the caller then runs the scalar loop).
bool BiquadWave(const double* taps, int count, double* d, const double* src, double* dst, int len) {
  const hn::CappedTag<double, 4> dv;
  using V = hn::Vec<decltype(dv)>;
  const int lanes = static_cast<int>(hn::Lanes(dv));
  if (lanes < 2 || count > lanes) return false;
  // Missing lanes are identity sections (y = x, state 0).
  HWY_ALIGN double c[5][4] = {{1, 1, 1, 1}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}};
  HWY_ALIGN double st[2][4] = {{0, 0, 0, 0}, {0, 0, 0, 0}};
  for (int k = 0; k < count; ++k) {
    for (int j = 0; j < 5; ++j) c[j][k] = taps[5 * k + j];
    st[0][k] = d[2 * k];
    st[1][k] = d[2 * k + 1];
  }
  const V b0 = hn::Load(dv, c[0]), b1 = hn::Load(dv, c[1]), b2 = hn::Load(dv, c[2]);
  const V a1 = hn::Load(dv, c[3]), a2 = hn::Load(dv, c[4]);
  V s0 = hn::Load(dv, st[0]), s1 = hn::Load(dv, st[1]);
  HWY_ALIGN int64_t shiftIdx[4] = {0, 0, 1, 2};
  const auto shift = hn::SetTableIndices(dv, shiftIdx);
  const auto lane0 = hn::FirstN(dv, 1);
  HWY_ALIGN double out[4];
  V y = hn::Zero(dv);
  const int last = lanes - 1;
  auto step = [&](int t, bool ramp) {
    const double in = t < len ? src[t] : 0.0;
    const V x = hn::IfThenElse(lane0, hn::Set(dv, in), hn::TableLookupLanes(y, shift));
    const V yn = hn::MulAdd(b0, x, s0);
    const V s0n = hn::NegMulAdd(a1, yn, hn::MulAdd(b1, x, s1));
    const V s1n = hn::NegMulAdd(a2, yn, hn::Mul(b2, x));
    if (ramp) {
      const auto active = hn::AndNot(hn::FirstN(dv, static_cast<size_t>(std::max(0, t - len + 1))),
                                     hn::FirstN(dv, static_cast<size_t>(t + 1)));
      s0 = hn::IfThenElse(active, s0n, s0);
      s1 = hn::IfThenElse(active, s1n, s1);
    } else {
      s0 = s0n;
      s1 = s1n;
    }
    y = yn;
    if (t >= last) {
      hn::Store(y, dv, out);
      dst[t - last] = out[last];
    }
  };
  const int steps = len + last;
  int t = 0;
  for (; t < std::min(last, steps); ++t) step(t, true);
  for (; t < len; ++t) step(t, false);
  for (; t < steps; ++t) step(t, true);
  hn::Store(s0, dv, st[0]);
  hn::Store(s1, dv, st[1]);
  for (int k = 0; k < count; ++k) {
    d[2 * k] = st[0][k];
    d[2 * k + 1] = st[1][k];
  }
  return true;
}

}  // namespace HWY_NAMESPACE
}  // namespace fundrel::ipp::dsp
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace fundrel::ipp::dsp {

HWY_EXPORT(Fir);
HWY_EXPORT(BiquadWave);

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
  // Groups of four sections (the wavefront's width on 256-bit and wider vectors; 128-bit
  // targets fall back to the scalar loop for groups over two), each group over a chunk before
  // the next: the chunk stays in cache between groups.
  constexpr int kChunk = 1024;
  for (int start = 0; start < len; start += kChunk) {
    const int count = std::min(kChunk, len - start);
    const double* in = src + start;
    for (int k = 0; k < numBq; k += 4) {
      double* out = dst + start;
      const int group = std::min(4, numBq - k);
      if (HWY_DYNAMIC_DISPATCH(BiquadWave)(taps + 5 * k, group, d + 2 * k, in, out, count)) {
        in = out;
        continue;
      }
      switch (group) {
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
