// Power-of-two FFT: Stockham auto-sort radix-4 passes (one radix-2 pass at the end for odd
// orders) on split real/imaginary work arrays, so every butterfly works on whole SIMD vectors.
// The first pass reads the caller's interleaved data and the last one writes it back
// interleaved, scaled; the inverse is the forward transform with real and imaginary parts
// exchanged on the way in and out, which costs nothing.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "platform/ipp/ipps/dsp_fft.h"

#ifndef FUNDREL_IPPS_FFT_PLAN_TYPES
#define FUNDREL_IPPS_FFT_PLAN_TYPES
namespace fundrel::ipp::dsp {

// One pass: sub-transform size n, stride s (n * s == N). tw holds the twiddles of the pass as
// split arrays: radix 4: w1re, w1im, w2re, w2im, w3re, w3im (n/4 each); radix 2: wre, wim.
struct FftStage {
  int radix;
  int n;
  int s;
  const double* tw;
};

struct FftPlan {
  int order = 0;
  int n = 1;
  std::vector<FftStage> stages;
  double* twiddles = nullptr;
};

struct RealFftPlan {
  int order = 0;
  FftPlan* half = nullptr;
  // W_N^k = (wre[k], wim[k]) for k = 0..N/4.
  double* wre = nullptr;
  double* wim = nullptr;
};

// Below this size the passes are too short for vectors; a scalar path does them.
constexpr int kVectorMinOrder = 6;

}  // namespace fundrel::ipp::dsp
#endif

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "platform/ipp/ipps/ipps_fft_kernels.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace fundrel::ipp::dsp {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// ---- scalar passes (small sizes) -------------------------------------------------------

void ScalarPass(const FftStage& st, const double* HWY_RESTRICT xr, const double* HWY_RESTRICT xi,
                double* HWY_RESTRICT yr, double* HWY_RESTRICT yi) {
  const int s = st.s;
  if (st.radix == 2) {
    const int m = st.n / 2;
    for (int p = 0; p < m; ++p) {
      const double wr = st.tw[p], wi = st.tw[m + p];
      for (int q = 0; q < s; ++q) {
        const double ar = xr[q + s * p], ai = xi[q + s * p];
        const double br = xr[q + s * (p + m)], bi = xi[q + s * (p + m)];
        const double dr = ar - br, di = ai - bi;
        yr[q + s * 2 * p] = ar + br;
        yi[q + s * 2 * p] = ai + bi;
        yr[q + s * (2 * p + 1)] = wr * dr - wi * di;
        yi[q + s * (2 * p + 1)] = wr * di + wi * dr;
      }
    }
    return;
  }
  const int m = st.n / 4;
  const double* tw = st.tw;
  for (int p = 0; p < m; ++p) {
    const double w1r = tw[p], w1i = tw[m + p], w2r = tw[2 * m + p], w2i = tw[3 * m + p];
    const double w3r = tw[4 * m + p], w3i = tw[5 * m + p];
    for (int q = 0; q < s; ++q) {
      const double ar = xr[q + s * p], ai = xi[q + s * p];
      const double br = xr[q + s * (p + m)], bi = xi[q + s * (p + m)];
      const double cr = xr[q + s * (p + 2 * m)], ci = xi[q + s * (p + 2 * m)];
      const double dr = xr[q + s * (p + 3 * m)], di = xi[q + s * (p + 3 * m)];
      const double apcR = ar + cr, apcI = ai + ci, amcR = ar - cr, amcI = ai - ci;
      const double bpdR = br + dr, bpdI = bi + di, bmdR = br - dr, bmdI = bi - di;
      const double t1r = amcR + bmdI, t1i = amcI - bmdR;
      const double t2r = apcR - bpdR, t2i = apcI - bpdI;
      const double t3r = amcR - bmdI, t3i = amcI + bmdR;
      double* y = yr + q + s * 4 * p;
      double* z = yi + q + s * 4 * p;
      y[0] = apcR + bpdR;
      z[0] = apcI + bpdI;
      y[s] = w1r * t1r - w1i * t1i;
      z[s] = w1r * t1i + w1i * t1r;
      y[2 * s] = w2r * t2r - w2i * t2i;
      z[2 * s] = w2r * t2i + w2i * t2r;
      y[3 * s] = w3r * t3r - w3i * t3i;
      z[3 * s] = w3r * t3i + w3i * t3r;
    }
  }
}

void ScalarTransform(const FftPlan& plan, const double* src, double* dst, bool inverse,
                     double scale, double* scratch) {
  const int n = plan.n;
  double* ar = scratch;
  double* ai = scratch + n;
  double* br = scratch + 2 * n;
  double* bi = scratch + 3 * n;
  for (int k = 0; k < n; ++k) {
    ar[k] = src[2 * k + (inverse ? 1 : 0)];
    ai[k] = src[2 * k + (inverse ? 0 : 1)];
  }
  for (const FftStage& st : plan.stages) {
    ScalarPass(st, ar, ai, br, bi);
    std::swap(ar, br);
    std::swap(ai, bi);
  }
  for (int k = 0; k < n; ++k) {
    dst[2 * k + (inverse ? 1 : 0)] = ar[k] * scale;
    dst[2 * k + (inverse ? 0 : 1)] = ai[k] * scale;
  }
}

// ---- vector passes ------------------------------------------------------------------------

// Radix-4 butterfly on split vectors; outputs before twiddling for t1..t3.
template <class V>
HWY_INLINE void Butterfly4(V ar, V ai, V br, V bi, V cr, V ci, V dr, V di, V& y0r, V& y0i, V& t1r,
                           V& t1i, V& t2r, V& t2i, V& t3r, V& t3i) {
  const V apcR = hn::Add(ar, cr), apcI = hn::Add(ai, ci);
  const V amcR = hn::Sub(ar, cr), amcI = hn::Sub(ai, ci);
  const V bpdR = hn::Add(br, dr), bpdI = hn::Add(bi, di);
  const V bmdR = hn::Sub(br, dr), bmdI = hn::Sub(bi, di);
  y0r = hn::Add(apcR, bpdR);
  y0i = hn::Add(apcI, bpdI);
  t1r = hn::Add(amcR, bmdI);
  t1i = hn::Sub(amcI, bmdR);
  t2r = hn::Sub(apcR, bpdR);
  t2i = hn::Sub(apcI, bpdI);
  t3r = hn::Sub(amcR, bmdI);
  t3i = hn::Add(amcI, bmdR);
}

template <class V>
HWY_INLINE void CMul(V wr, V wi, V& r, V& i) {
  const V nr = hn::MulSub(wr, r, hn::Mul(wi, i));
  const V ni = hn::MulAdd(wr, i, hn::Mul(wi, r));
  r = nr;
  i = ni;
}

// First pass (stride 1), vectorised over p: reads the interleaved source, whose four quarter
// blocks are contiguous, and scatters the four results of each butterfly with interleaved
// stores into the split destination.
template <class D>
HWY_NOINLINE void FirstPass(D d, const FftStage& st, const double* HWY_RESTRICT src, bool swapReIm,
                            double* HWY_RESTRICT yr, double* HWY_RESTRICT yi) {
  using V = hn::Vec<D>;
  const int m = st.n / 4;
  const size_t lanes = hn::Lanes(d);
  const double* tw = st.tw;
  for (int p = 0; p < m; p += static_cast<int>(lanes)) {
    V ar, ai, br, bi, cr, ci, dr, di;
    hn::LoadInterleaved2(d, src + 2 * p, ar, ai);
    hn::LoadInterleaved2(d, src + 2 * (p + m), br, bi);
    hn::LoadInterleaved2(d, src + 2 * (p + 2 * m), cr, ci);
    hn::LoadInterleaved2(d, src + 2 * (p + 3 * m), dr, di);
    if (swapReIm) {
      std::swap(ar, ai);
      std::swap(br, bi);
      std::swap(cr, ci);
      std::swap(dr, di);
    }
    V y0r, y0i, t1r, t1i, t2r, t2i, t3r, t3i;
    Butterfly4(ar, ai, br, bi, cr, ci, dr, di, y0r, y0i, t1r, t1i, t2r, t2i, t3r, t3i);
    CMul(hn::LoadU(d, tw + p), hn::LoadU(d, tw + m + p), t1r, t1i);
    CMul(hn::LoadU(d, tw + 2 * m + p), hn::LoadU(d, tw + 3 * m + p), t2r, t2i);
    CMul(hn::LoadU(d, tw + 4 * m + p), hn::LoadU(d, tw + 5 * m + p), t3r, t3i);
    hn::StoreInterleaved4(y0r, t1r, t2r, t3r, d, yr + 4 * p);
    hn::StoreInterleaved4(y0i, t1i, t2i, t3i, d, yi + 4 * p);
  }
}

// Middle radix-4 pass, vectorised over q (stride s >= lanes).
template <class D>
HWY_NOINLINE void MiddlePass(D d, const FftStage& st, const double* HWY_RESTRICT xr,
                             const double* HWY_RESTRICT xi, double* HWY_RESTRICT yr,
                             double* HWY_RESTRICT yi) {
  using V = hn::Vec<D>;
  const size_t s = static_cast<size_t>(st.s);
  const size_t m = static_cast<size_t>(st.n / 4);
  const size_t lanes = hn::Lanes(d);
  const double* tw = st.tw;
  for (size_t p = 0; p < m; ++p) {
    const V w1r = hn::Set(d, tw[p]), w1i = hn::Set(d, tw[m + p]);
    const V w2r = hn::Set(d, tw[2 * m + p]), w2i = hn::Set(d, tw[3 * m + p]);
    const V w3r = hn::Set(d, tw[4 * m + p]), w3i = hn::Set(d, tw[5 * m + p]);
    const double* xa = xr + s * p;
    const double* xb = xi + s * p;
    double* ya = yr + s * 4 * p;
    double* yb = yi + s * 4 * p;
    for (size_t q = 0; q < s; q += lanes) {
      V y0r, y0i, t1r, t1i, t2r, t2i, t3r, t3i;
      Butterfly4(hn::LoadU(d, xa + q), hn::LoadU(d, xb + q), hn::LoadU(d, xa + q + s * m),
                 hn::LoadU(d, xb + q + s * m), hn::LoadU(d, xa + q + 2 * s * m),
                 hn::LoadU(d, xb + q + 2 * s * m), hn::LoadU(d, xa + q + 3 * s * m),
                 hn::LoadU(d, xb + q + 3 * s * m), y0r, y0i, t1r, t1i, t2r, t2i, t3r, t3i);
      CMul(w1r, w1i, t1r, t1i);
      CMul(w2r, w2i, t2r, t2i);
      CMul(w3r, w3i, t3r, t3i);
      hn::StoreU(y0r, d, ya + q);
      hn::StoreU(y0i, d, yb + q);
      hn::StoreU(t1r, d, ya + q + s);
      hn::StoreU(t1i, d, yb + q + s);
      hn::StoreU(t2r, d, ya + q + 2 * s);
      hn::StoreU(t2i, d, yb + q + 2 * s);
      hn::StoreU(t3r, d, ya + q + 3 * s);
      hn::StoreU(t3i, d, yb + q + 3 * s);
    }
  }
}

template <class D>
HWY_INLINE void StoreOut(D d, hn::Vec<D> re, hn::Vec<D> im, hn::Vec<D> scale, bool swapReIm,
                         double* HWY_RESTRICT dst) {
  re = hn::Mul(re, scale);
  im = hn::Mul(im, scale);
  if (swapReIm) {
    hn::StoreInterleaved2(im, re, d, dst);
  } else {
    hn::StoreInterleaved2(re, im, d, dst);
  }
}

// Last pass (sub-transform of 4 or 2 points, all twiddles 1): writes interleaved, scaled.
template <class D>
HWY_NOINLINE void LastPass(D d, const FftStage& st, const double* HWY_RESTRICT xr,
                           const double* HWY_RESTRICT xi, double* HWY_RESTRICT dst, double scale,
                           bool swapReIm) {
  using V = hn::Vec<D>;
  const size_t s = static_cast<size_t>(st.s);
  const size_t lanes = hn::Lanes(d);
  const V vs = hn::Set(d, scale);
  if (st.radix == 2) {
    for (size_t q = 0; q < s; q += lanes) {
      const V ar = hn::LoadU(d, xr + q), ai = hn::LoadU(d, xi + q);
      const V br = hn::LoadU(d, xr + q + s), bi = hn::LoadU(d, xi + q + s);
      StoreOut(d, hn::Add(ar, br), hn::Add(ai, bi), vs, swapReIm, dst + 2 * q);
      StoreOut(d, hn::Sub(ar, br), hn::Sub(ai, bi), vs, swapReIm, dst + 2 * (q + s));
    }
    return;
  }
  for (size_t q = 0; q < s; q += lanes) {
    V y0r, y0i, t1r, t1i, t2r, t2i, t3r, t3i;
    Butterfly4(hn::LoadU(d, xr + q), hn::LoadU(d, xi + q), hn::LoadU(d, xr + q + s),
               hn::LoadU(d, xi + q + s), hn::LoadU(d, xr + q + 2 * s), hn::LoadU(d, xi + q + 2 * s),
               hn::LoadU(d, xr + q + 3 * s), hn::LoadU(d, xi + q + 3 * s), y0r, y0i, t1r, t1i,
               t2r, t2i, t3r, t3i);
    StoreOut(d, y0r, y0i, vs, swapReIm, dst + 2 * q);
    StoreOut(d, t1r, t1i, vs, swapReIm, dst + 2 * (q + s));
    StoreOut(d, t2r, t2i, vs, swapReIm, dst + 2 * (q + 2 * s));
    StoreOut(d, t3r, t3i, vs, swapReIm, dst + 2 * (q + 3 * s));
  }
}

void Transform(const FftPlan& plan, const double* src, double* dst, bool inverse, double scale,
               double* scratch) {
  const int n = plan.n;
  if (n == 1) {
    dst[0] = src[0] * scale;
    dst[1] = src[1] * scale;
    return;
  }
  if (plan.order < kVectorMinOrder) {
    ScalarTransform(plan, src, dst, inverse, scale, scratch);
    return;
  }
  const hn::ScalableTag<double> d;
  // The smallest passes of a 512-bit target are narrower than its vectors.
  const hn::CappedTag<double, 4> d4;
  const int lanes = static_cast<int>(hn::Lanes(d));
  double* ar = scratch;
  double* ai = scratch + n;
  double* br = scratch + 2 * n;
  double* bi = scratch + 3 * n;
  const size_t last = plan.stages.size() - 1;
  if (plan.stages[0].n / 4 >= lanes) {
    FirstPass(d, plan.stages[0], src, inverse, ar, ai);
  } else {
    FirstPass(d4, plan.stages[0], src, inverse, ar, ai);
  }
  for (size_t k = 1; k < last; ++k) {
    const FftStage& st = plan.stages[k];
    if (st.s >= lanes) {
      MiddlePass(d, st, ar, ai, br, bi);
    } else {
      MiddlePass(d4, st, ar, ai, br, bi);
    }
    std::swap(ar, br);
    std::swap(ai, bi);
  }
  LastPass(d, plan.stages[last], ar, ai, dst, scale, inverse);
}

// CCS post-processing of the half-size transform Z of the packed reals (x0 + i x1, ...):
// X[k] = Fe + W^k Fo with Fe = (Z[k] + conj Z[h-k]) / 2, Fo = (Z[k] - conj Z[h-k]) / 2i,
// and X[h-k] = conj(Fe - W^k Fo). Done in place, pairwise.
void RealPost(const RealFftPlan& plan, double* x, double scale) {
  const int h = 1 << (plan.order - 1);
  const double z0r = x[0], z0i = x[1];
  x[0] = (z0r + z0i) * scale;
  x[1] = 0.0;
  x[2 * h] = (z0r - z0i) * scale;
  x[2 * h + 1] = 0.0;
  const double half = 0.5 * scale;
  const double* wre = plan.wre;
  const double* wim = plan.wim;
  int k = 1;
  // Vectors of L consecutive k against the mirrored block of h - k, read reversed; blocks
  // stop before the two ranges meet, so every pair is read before either half is written.
  const hn::ScalableTag<double> d;
  using V = hn::Vec<decltype(d)>;
  const int lanes = static_cast<int>(hn::Lanes(d));
  const V vh = hn::Set(d, half);
  for (; 2 * k + 2 * lanes - 2 < h; k += lanes) {
    const int jlo = h - k - lanes + 1;
    V zr, zi, cr, ci;
    hn::LoadInterleaved2(d, x + 2 * k, zr, zi);
    hn::LoadInterleaved2(d, x + 2 * jlo, cr, ci);
    cr = hn::Reverse(d, cr);
    ci = hn::Neg(hn::Reverse(d, ci));
    const V fer = hn::Add(zr, cr), fei = hn::Add(zi, ci);
    const V foR = hn::Sub(zi, ci), foI = hn::Sub(cr, zr);
    const V wr = hn::LoadU(d, wre + k), wi = hn::LoadU(d, wim + k);
    const V tr = hn::MulSub(wr, foR, hn::Mul(wi, foI));
    const V ti = hn::MulAdd(wr, foI, hn::Mul(wi, foR));
    hn::StoreInterleaved2(hn::Mul(hn::Add(fer, tr), vh), hn::Mul(hn::Add(fei, ti), vh), d, x + 2 * k);
    const V xr = hn::Reverse(d, hn::Mul(hn::Sub(fer, tr), vh));
    const V xi = hn::Reverse(d, hn::Mul(hn::Sub(ti, fei), vh));
    hn::StoreInterleaved2(xr, xi, d, x + 2 * jlo);
  }
  for (; k <= h / 2; ++k) {
    const int j = h - k;
    const double zr = x[2 * k], zi = x[2 * k + 1];
    const double cr = x[2 * j], ci = -x[2 * j + 1];  // conj Z[h-k]
    const double fer = zr + cr, fei = zi + ci;
    // (Z - conj) / i = (im, -re) of the difference
    const double foR = zi - ci, foI = cr - zr;
    const double tr = wre[k] * foR - wim[k] * foI;
    const double ti = wre[k] * foI + wim[k] * foR;
    x[2 * k] = (fer + tr) * half;
    x[2 * k + 1] = (fei + ti) * half;
    x[2 * j] = (fer - tr) * half;
    x[2 * j + 1] = (ti - fei) * half;
  }
}

// Inverse of RealPost without the halving (the inverse transform is unnormalised):
// Fe = X[k] + conj X[h-k], Fo = (X[k] - conj X[h-k]) conj(W^k), Z[k] = Fe + i Fo,
// Z[h-k] = conj(Fe) + i conj(Fo).
void RealPre(const RealFftPlan& plan, const double* x, double* z) {
  const int h = 1 << (plan.order - 1);
  const double x0 = x[0], xh = x[2 * h];
  z[0] = x0 + xh;
  z[1] = x0 - xh;
  const double* wre = plan.wre;
  const double* wim = plan.wim;
  int k = 1;
  const hn::ScalableTag<double> d;
  using V = hn::Vec<decltype(d)>;
  const int lanes = static_cast<int>(hn::Lanes(d));
  for (; 2 * k + 2 * lanes - 2 < h; k += lanes) {
    const int jlo = h - k - lanes + 1;
    V xr, xi, cr, ci;
    hn::LoadInterleaved2(d, x + 2 * k, xr, xi);
    hn::LoadInterleaved2(d, x + 2 * jlo, cr, ci);
    cr = hn::Reverse(d, cr);
    ci = hn::Neg(hn::Reverse(d, ci));
    const V fer = hn::Add(xr, cr), fei = hn::Add(xi, ci);
    const V dr = hn::Sub(xr, cr), di = hn::Sub(xi, ci);
    const V wr = hn::LoadU(d, wre + k), wi = hn::LoadU(d, wim + k);
    const V fr = hn::MulAdd(dr, wr, hn::Mul(di, wi));
    const V fi = hn::MulSub(di, wr, hn::Mul(dr, wi));
    hn::StoreInterleaved2(hn::Sub(fer, fi), hn::Add(fei, fr), d, z + 2 * k);
    hn::StoreInterleaved2(hn::Reverse(d, hn::Add(fer, fi)), hn::Reverse(d, hn::Sub(fr, fei)), d, z + 2 * jlo);
  }
  for (; k <= h / 2; ++k) {
    const int j = h - k;
    const double xr = x[2 * k], xi = x[2 * k + 1];
    const double cr = x[2 * j], ci = -x[2 * j + 1];
    const double fer = xr + cr, fei = xi + ci;
    const double dr = xr - cr, di = xi - ci;
    const double fr = dr * wre[k] + di * wim[k];
    const double fi = di * wre[k] - dr * wim[k];
    z[2 * k] = fer - fi;
    z[2 * k + 1] = fei + fr;
    z[2 * j] = fer + fi;
    z[2 * j + 1] = fr - fei;
  }
}

void RealForward(const RealFftPlan& plan, const double* src, double* dst, double scale,
                 double* scratch) {
  if (plan.order == 0) {
    dst[0] = src[0] * scale;
    dst[1] = 0.0;
    return;
  }
  if (plan.order == 1) {
    const double a = src[0], b = src[1];
    dst[0] = (a + b) * scale;
    dst[1] = 0.0;
    dst[2] = (a - b) * scale;
    dst[3] = 0.0;
    return;
  }
  Transform(*plan.half, src, dst, false, 1.0, scratch);
  RealPost(plan, dst, scale);
}

void RealInverse(const RealFftPlan& plan, const double* src, double* dst, double scale,
                 double* scratch) {
  if (plan.order == 0) {
    dst[0] = src[0] * scale;
    return;
  }
  if (plan.order == 1) {
    const double a = src[0], b = src[2];
    dst[0] = (a + b) * scale;
    dst[1] = (a - b) * scale;
    return;
  }
  RealPre(plan, src, dst);
  Transform(*plan.half, dst, dst, true, scale, scratch);
}

}  // namespace HWY_NAMESPACE
}  // namespace fundrel::ipp::dsp
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace fundrel::ipp::dsp {

HWY_EXPORT(Transform);
HWY_EXPORT(RealForward);
HWY_EXPORT(RealInverse);

namespace {

double* AllocDoubles(std::size_t count) {
  void* p = nullptr;
  if (posix_memalign(&p, 64, (count ? count : 1) * sizeof(double)) != 0) return nullptr;
  return static_cast<double*>(p);
}

void FillStage(FftStage& st, double* tw) {
  st.tw = tw;
  const int m = st.n / st.radix;
  for (int p = 0; p < m; ++p) {
    for (int j = 1; j < st.radix; ++j) {
      // Direct cos/sin per entry: no error accumulates along the table.
      const double angle = -2.0 * M_PI * static_cast<double>(j * static_cast<long long>(p) % st.n) /
                           static_cast<double>(st.n);
      tw[(2 * (j - 1)) * m + p] = std::cos(angle);
      tw[(2 * (j - 1) + 1) * m + p] = std::sin(angle);
    }
  }
}

}  // namespace

FftPlan* CreateFftPlan(int order) {
  if (order < 0 || order > kMaxFftOrder) return nullptr;
  FftPlan* plan = new (std::nothrow) FftPlan;
  if (!plan) return nullptr;
  plan->order = order;
  plan->n = 1 << order;
  std::size_t twCount = 0;
  try {
    for (int n = plan->n, s = 1; n > 1;) {
      const int radix = n >= 4 ? 4 : 2;
      plan->stages.push_back(FftStage{radix, n, s, nullptr});
      twCount += static_cast<std::size_t>(2 * (radix - 1) * (n / radix));
      n /= radix;
      s *= radix;
    }
  } catch (const std::bad_alloc&) {
    delete plan;
    return nullptr;
  }
  plan->twiddles = AllocDoubles(twCount);
  if (!plan->twiddles) {
    delete plan;
    return nullptr;
  }
  double* tw = plan->twiddles;
  for (FftStage& st : plan->stages) {
    FillStage(st, tw);
    tw += 2 * (st.radix - 1) * (st.n / st.radix);
  }
  return plan;
}

void DestroyFftPlan(FftPlan* plan) {
  if (!plan) return;
  std::free(plan->twiddles);
  delete plan;
}

int FftPlanOrder(const FftPlan& plan) { return plan.order; }

std::size_t FftScratchDoubles(const FftPlan& plan) {
  return plan.n == 1 ? 1 : 4 * static_cast<std::size_t>(plan.n);
}

void FftComplex(const FftPlan& plan, const double* src, double* dst, bool inverse, double scale,
                double* scratch) {
  HWY_DYNAMIC_DISPATCH(Transform)(plan, src, dst, inverse, scale, scratch);
}

RealFftPlan* CreateRealFftPlan(int order) {
  if (order < 0 || order > kMaxFftOrder) return nullptr;
  RealFftPlan* plan = new (std::nothrow) RealFftPlan;
  if (!plan) return nullptr;
  plan->order = order;
  if (order < 2) return plan;
  plan->half = CreateFftPlan(order - 1);
  const int n = 1 << order;
  const int count = n / 4 + 1;
  plan->wre = AllocDoubles(2 * static_cast<std::size_t>(count));
  if (!plan->half || !plan->wre) {
    DestroyRealFftPlan(plan);
    return nullptr;
  }
  plan->wim = plan->wre + count;
  for (int k = 0; k < count; ++k) {
    const double angle = -2.0 * M_PI * k / n;
    plan->wre[k] = std::cos(angle);
    plan->wim[k] = std::sin(angle);
  }
  return plan;
}

void DestroyRealFftPlan(RealFftPlan* plan) {
  if (!plan) return;
  DestroyFftPlan(plan->half);
  std::free(plan->wre);
  delete plan;
}

int RealFftPlanOrder(const RealFftPlan& plan) { return plan.order; }

std::size_t RealFftScratchDoubles(const RealFftPlan& plan) {
  return plan.half ? FftScratchDoubles(*plan.half) : 1;
}

void FftRealForward(const RealFftPlan& plan, const double* src, double* dst, double scale,
                    double* scratch) {
  HWY_DYNAMIC_DISPATCH(RealForward)(plan, src, dst, scale, scratch);
}

void FftRealInverse(const RealFftPlan& plan, const double* src, double* dst, double scale,
                    double* scratch) {
  HWY_DYNAMIC_DISPATCH(RealInverse)(plan, src, dst, scale, scratch);
}

}  // namespace fundrel::ipp::dsp
#endif
