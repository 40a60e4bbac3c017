// FFT primitives against a direct DFT in long double: every order up to 12 exactly, larger
// orders by sampled bins and round trips; flags, CCS layout, in place, unaligned, caller work
// buffers, status codes; and one descriptor shared by several threads.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <thread>
#include <vector>

#include "tests/platform/ipp/ElementwiseTest.h"

// Exported beside the IPP names so callers can size the optional work buffer.
extern "C" IppStatus ippsFFTGetBufSize_C_64fc(const IppsFFTSpec_C_64fc* pFFTSpec, int* pSize);

namespace {

using ewtest::Buf;
using ewtest::ForEachTarget;
using cld = std::complex<long double>;

// Direct DFT bins of x (sign -1 forward, +1 inverse) in long double, angles reduced exactly.
std::vector<cld> Dft(const std::vector<cld>& x, const std::vector<size_t>& bins, int sign) {
  const size_t n = x.size();
  std::vector<cld> root(n);
  for (size_t j = 0; j < n; ++j) {
    const long double a = sign * 2.0L * M_PIl * static_cast<long double>(j) / n;
    root[j] = cld(std::cos(a), std::sin(a));
  }
  std::vector<cld> out;
  for (size_t k : bins) {
    cld acc = 0;
    for (size_t j = 0; j < n; ++j) acc += x[j] * root[(j * k) % n];
    out.push_back(acc);
  }
  return out;
}

// Every bin for small orders, a sample (ends, middle, random) above.
std::vector<size_t> BinsToCheck(int order, size_t limit) {
  const size_t n = size_t{1} << order;
  std::vector<size_t> bins;
  if (order <= 10) {
    for (size_t k = 0; k < limit; ++k) bins.push_back(k);
    return bins;
  }
  std::mt19937 rng(order);
  bins = {0, 1, limit / 2, limit - 1};
  for (int i = 0; i < 12; ++i) bins.push_back(rng() % limit);
  (void)n;
  return bins;
}

double Scale(int flag, int order, bool fwd) {
  const double n = std::ldexp(1.0, order);
  if (flag == IPP_FFT_DIV_BY_SQRTN) return 1.0 / std::sqrt(n);
  if (flag == IPP_FFT_DIV_FWD_BY_N) return fwd ? 1.0 / n : 1.0;
  if (flag == IPP_FFT_DIV_INV_BY_N) return fwd ? 1.0 : 1.0 / n;
  return 1.0;
}

// Rounding error of a transform grows like log N times the output magnitude (sqrt N here).
double Tol(int order) { return 2e-15 * (order + 1) * std::sqrt(std::ldexp(1.0, order)) * 4; }

const int kFlags[] = {IPP_FFT_NODIV_BY_ANY, IPP_FFT_DIV_FWD_BY_N, IPP_FFT_DIV_INV_BY_N, IPP_FFT_DIV_BY_SQRTN};

TEST(DspFft, ComplexMatchesDirectDft) {
  for (int order = 0; order <= 16; ++order) {
    const size_t n = size_t{1} << order;
    const int flag = kFlags[order % 4];
    const std::vector<double> data = ewtest::RandF64(2 * n, -1, 1);
    std::vector<cld> x(n);
    for (size_t i = 0; i < n; ++i) x[i] = cld(data[2 * i], data[2 * i + 1]);
    const std::vector<size_t> bins = BinsToCheck(order, n);
    const std::vector<cld> fwd = Dft(x, bins, -1), inv = Dft(x, bins, +1);
    ForEachTarget([&] {
      IppsFFTSpec_C_64fc* fftSpec = nullptr;
      ASSERT_EQ(ippsFFTInitAlloc_C_64fc(&fftSpec, order, flag, ippAlgHintAccurate), ippStsNoErr);
      // Unaligned source and destination (8 bytes past a 64-byte boundary).
      Buf<double> src(2 * n, 1), dst(2 * n, 1);
      src.Assign(data);
      auto* s = reinterpret_cast<Ipp64fc*>(src.data());
      auto* d = reinterpret_cast<Ipp64fc*>(dst.data());
      for (int dir = 0; dir < 2; ++dir) {
        const double scale = Scale(flag, order, dir == 0);
        ASSERT_EQ(dir == 0 ? ippsFFTFwd_CToC_64fc(s, d, fftSpec, nullptr) : ippsFFTInv_CToC_64fc(s, d, fftSpec, nullptr),
                  ippStsNoErr);
        double worst = 0;
        for (size_t b = 0; b < bins.size(); ++b) {
          const cld ref = (dir == 0 ? fwd[b] : inv[b]) * static_cast<long double>(scale);
          worst = std::max(worst, static_cast<double>(std::abs(cld(d[bins[b]].re, d[bins[b]].im) - ref)));
        }
        EXPECT_LT(worst, Tol(order) * std::max(scale * std::sqrt(n), 1.0)) << "order " << order << " dir " << dir;
      }
      EXPECT_EQ(std::vector<double>(src.data(), src.data() + 2 * n), data) << "source modified";
      EXPECT_EQ(ippsFFTFree_C_64fc(fftSpec), ippStsNoErr);
    });
  }
}

TEST(DspFft, ComplexInPlaceBufferAndRoundTrip) {
  ForEachTarget([] {
    for (int order : {0, 1, 2, 3, 5, 6, 7, 10, 13, 18}) {
      const size_t n = size_t{1} << order;
      for (int flag : kFlags) {
        if (order == 18 && flag != IPP_FFT_NODIV_BY_ANY) continue;  // keep the suite fast
        IppsFFTSpec_C_64fc* fftSpec = nullptr;
        ASSERT_EQ(ippsFFTInitAlloc_C_64fc(&fftSpec, order, flag, ippAlgHintNone), ippStsNoErr);
        const std::vector<Ipp64fc> x = ewtest::RandC64(n, -1, 1);
        std::vector<Ipp64fc> outOfPlace(n), inPlace = x;
        ASSERT_EQ(ippsFFTFwd_CToC_64fc(x.data(), outOfPlace.data(), fftSpec, nullptr), ippStsNoErr);
        // A caller work buffer at an odd address gives the very same result.
        int bytes = 0;
        ASSERT_EQ(ippsFFTGetBufSize_C_64fc(fftSpec, &bytes), ippStsNoErr);
        std::vector<Ipp8u> work(static_cast<size_t>(bytes) + 1);
        ASSERT_EQ(ippsFFTFwd_CToC_64fc(inPlace.data(), inPlace.data(), fftSpec, work.data() + 1), ippStsNoErr);
        for (size_t k = 0; k < n; ++k) {
          ASSERT_EQ(inPlace[k].re, outOfPlace[k].re) << k;
          ASSERT_EQ(inPlace[k].im, outOfPlace[k].im) << k;
        }
        ASSERT_EQ(ippsFFTInv_CToC_64fc(inPlace.data(), inPlace.data(), fftSpec, nullptr), ippStsNoErr);
        const double gain = Scale(flag, order, true) * Scale(flag, order, false) * static_cast<double>(n);
        double worst = 0;
        for (size_t k = 0; k < n; ++k)
          worst = std::max({worst, std::fabs(inPlace[k].re - gain * x[k].re), std::fabs(inPlace[k].im - gain * x[k].im)});
        EXPECT_LT(worst, 1e-14 * (order + 1) * gain) << "order " << order << " flag " << flag;
        ippsFFTFree_C_64fc(fftSpec);
      }
    }
  });
}

// Real forward against the complex DFT of the same data; CCS layout with zero imaginary parts
// at bins 0 and N/2; inverse against the direct inverse of the full symmetric spectrum.
TEST(DspFft, RealCcsMatchesDirectDft) {
  for (int order = 0; order <= 14; ++order) {
    const size_t n = size_t{1} << order;
    const int flag = kFlags[(order + 1) % 4];
    const std::vector<double> data = ewtest::RandF64(n, -1, 1);
    std::vector<cld> x(data.begin(), data.end());
    const std::vector<size_t> bins = BinsToCheck(order, n / 2 + 1);
    const std::vector<cld> fwd = Dft(x, bins, -1);
    // A random CCS spectrum whose imaginary parts at 0 and N/2 must be ignored by the inverse.
    const std::vector<double> ccsIn = ewtest::RandF64(n + 2, -1, 1);
    std::vector<cld> sym(n);
    for (size_t k = 0; k <= n / 2; ++k) sym[k] = cld(ccsIn[2 * k], k == 0 || k == n / 2 ? 0 : ccsIn[2 * k + 1]);
    for (size_t k = n / 2 + 1; k < n; ++k) sym[k] = std::conj(sym[n - k]);
    const std::vector<size_t> samples = BinsToCheck(order, n);
    const std::vector<cld> inv = Dft(sym, samples, +1);
    ForEachTarget([&] {
      IppsFFTSpec_R_64f* fftSpec = nullptr;
      ASSERT_EQ(ippsFFTInitAlloc_R_64f(&fftSpec, order, flag, ippAlgHintFast), ippStsNoErr);
      Buf<double> src(n, 3), ccs(n + 3, 1);
      src.Assign(data);
      ccs[n + 2] = 12345.0;  // guard just past the N + 2 doubles
      ASSERT_EQ(ippsFFTFwd_RToCCS_64f(src.data(), ccs.data(), fftSpec, nullptr), ippStsNoErr);
      EXPECT_EQ(ccs[n + 2], 12345.0) << "wrote past N + 2";
      EXPECT_EQ(ccs[1], 0.0);
      EXPECT_EQ(ccs[n + 1], 0.0);
      const double fs = Scale(flag, order, true);
      double worst = 0;
      for (size_t b = 0; b < bins.size(); ++b) {
        const cld ref = fwd[b] * static_cast<long double>(fs);
        worst = std::max(worst, static_cast<double>(std::abs(cld(ccs[2 * bins[b]], ccs[2 * bins[b] + 1]) - ref)));
      }
      EXPECT_LT(worst, Tol(order) * std::max(fs * std::sqrt(n), 1.0)) << "order " << order;

      Buf<double> out(n, 1);
      ASSERT_EQ(ippsFFTInv_CCSToR_64f(ccsIn.data(), out.data(), fftSpec, nullptr), ippStsNoErr);
      const double is = Scale(flag, order, false);
      worst = 0;
      for (size_t b = 0; b < samples.size(); ++b)
        worst = std::max(worst, std::fabs(out[samples[b]] - static_cast<double>(inv[b].real()) * is));
      EXPECT_LT(worst, Tol(order) * std::max(is * std::sqrt(n), 1.0)) << "inverse order " << order;
      ippsFFTFree_R_64f(fftSpec);
    });
  }
}

TEST(DspFft, RealInPlaceRoundTripLargeOrders) {
  ForEachTarget([] {
    for (int order : {2, 6, 9, 13, 17}) {
      const size_t n = size_t{1} << order;
      IppsFFTSpec_R_64f* fftSpec = nullptr;
      ASSERT_EQ(ippsFFTInitAlloc_R_64f(&fftSpec, order, IPP_FFT_NODIV_BY_ANY, ippAlgHintAccurate), ippStsNoErr);
      const std::vector<double> x = ewtest::RandF64(n, -1, 1);
      std::vector<double> buf(n + 2);
      std::copy(x.begin(), x.end(), buf.begin());
      std::vector<double> ref(n + 2);
      ASSERT_EQ(ippsFFTFwd_RToCCS_64f(x.data(), ref.data(), fftSpec, nullptr), ippStsNoErr);
      ASSERT_EQ(ippsFFTFwd_RToCCS_64f(buf.data(), buf.data(), fftSpec, nullptr), ippStsNoErr);
      EXPECT_EQ(buf, ref) << "in place differs, order " << order;
      // Parseval on the half spectrum: sum x^2 = (|X0|^2 + |XN/2|^2 + 2 sum |Xk|^2) / N.
      double e1 = 0, e2 = 0;
      for (double v : x) e1 += v * v;
      for (size_t k = 0; k <= n / 2; ++k) {
        const double p = buf[2 * k] * buf[2 * k] + buf[2 * k + 1] * buf[2 * k + 1];
        e2 += (k == 0 || k == n / 2) ? p : 2 * p;
      }
      EXPECT_NEAR(e2 / static_cast<double>(n), e1, 1e-10 * e1);
      // Flag 8 scales neither way: the round trip multiplies by N.
      ASSERT_EQ(ippsFFTInv_CCSToR_64f(buf.data(), buf.data(), fftSpec, nullptr), ippStsNoErr);
      double worst = 0;
      for (size_t i = 0; i < n; ++i) worst = std::max(worst, std::fabs(buf[i] / static_cast<double>(n) - x[i]));
      EXPECT_LT(worst, 1e-14 * (order + 1)) << "order " << order;
      ippsFFTFree_R_64f(fftSpec);
    }
  });
}

TEST(DspFft, StatusCodes) {
  IppsFFTSpec_C_64fc* c = nullptr;
  IppsFFTSpec_R_64f* r = nullptr;
  EXPECT_EQ(ippsFFTInitAlloc_C_64fc(nullptr, 4, IPP_FFT_NODIV_BY_ANY, ippAlgHintNone), ippStsNullPtrErr);
  EXPECT_EQ(ippsFFTInitAlloc_R_64f(nullptr, 4, IPP_FFT_NODIV_BY_ANY, ippAlgHintNone), ippStsNullPtrErr);
  EXPECT_EQ(ippsFFTInitAlloc_C_64fc(&c, -1, IPP_FFT_NODIV_BY_ANY, ippAlgHintNone), ippStsFftOrderErr);
  EXPECT_EQ(ippsFFTInitAlloc_R_64f(&r, 31, IPP_FFT_NODIV_BY_ANY, ippAlgHintNone), ippStsFftOrderErr);
  for (int badFlag : {0, 3, 5, 16, -1}) {
    EXPECT_EQ(ippsFFTInitAlloc_C_64fc(&c, 4, badFlag, ippAlgHintNone), ippStsFftFlagErr) << badFlag;
    EXPECT_EQ(ippsFFTInitAlloc_R_64f(&r, 4, badFlag, ippAlgHintNone), ippStsFftFlagErr) << badFlag;
  }
  EXPECT_EQ(c, nullptr);
  EXPECT_EQ(r, nullptr);
  ASSERT_EQ(ippsFFTInitAlloc_C_64fc(&c, 4, IPP_FFT_NODIV_BY_ANY, ippAlgHintNone), ippStsNoErr);
  ASSERT_EQ(ippsFFTInitAlloc_R_64f(&r, 4, IPP_FFT_NODIV_BY_ANY, ippAlgHintNone), ippStsNoErr);
  std::vector<Ipp64fc> buf(16);
  std::vector<double> rb(18);
  EXPECT_EQ(ippsFFTFwd_CToC_64fc(nullptr, buf.data(), c, nullptr), ippStsNullPtrErr);
  EXPECT_EQ(ippsFFTFwd_CToC_64fc(buf.data(), nullptr, c, nullptr), ippStsNullPtrErr);
  EXPECT_EQ(ippsFFTInv_CToC_64fc(buf.data(), buf.data(), nullptr, nullptr), ippStsNullPtrErr);
  EXPECT_EQ(ippsFFTFwd_RToCCS_64f(rb.data(), nullptr, r, nullptr), ippStsNullPtrErr);
  EXPECT_EQ(ippsFFTInv_CCSToR_64f(nullptr, rb.data(), r, nullptr), ippStsNullPtrErr);
  // A descriptor of the other kind is refused, by the transforms and by Free.
  const auto* wrongC = reinterpret_cast<const IppsFFTSpec_C_64fc*>(r);
  const auto* wrongR = reinterpret_cast<const IppsFFTSpec_R_64f*>(c);
  EXPECT_EQ(ippsFFTFwd_CToC_64fc(buf.data(), buf.data(), wrongC, nullptr), ippStsContextMatchErr);
  EXPECT_EQ(ippsFFTInv_CToC_64fc(buf.data(), buf.data(), wrongC, nullptr), ippStsContextMatchErr);
  EXPECT_EQ(ippsFFTFwd_RToCCS_64f(rb.data(), rb.data(), wrongR, nullptr), ippStsContextMatchErr);
  EXPECT_EQ(ippsFFTInv_CCSToR_64f(rb.data(), rb.data(), wrongR, nullptr), ippStsContextMatchErr);
  EXPECT_EQ(ippsFFTFree_C_64fc(const_cast<IppsFFTSpec_C_64fc*>(wrongC)), ippStsContextMatchErr);
  EXPECT_EQ(ippsFFTFree_R_64f(const_cast<IppsFFTSpec_R_64f*>(wrongR)), ippStsContextMatchErr);
  EXPECT_EQ(ippsFFTFree_C_64fc(nullptr), ippStsNullPtrErr);
  EXPECT_EQ(ippsFFTFree_R_64f(nullptr), ippStsNullPtrErr);
  EXPECT_EQ(ippsFFTFree_C_64fc(c), ippStsNoErr);
  EXPECT_EQ(ippsFFTFree_R_64f(r), ippStsNoErr);
}

// One descriptor, four threads transforming different data at once: each must get exactly
// what a lone call gives (the descriptor is read-only, scratch is per call).
TEST(DspFftThreads, SharedDescriptor) {
  const int order = 12;
  const size_t n = size_t{1} << order;
  IppsFFTSpec_C_64fc* fftSpec = nullptr;
  ASSERT_EQ(ippsFFTInitAlloc_C_64fc(&fftSpec, order, IPP_FFT_NODIV_BY_ANY, ippAlgHintNone), ippStsNoErr);
  std::vector<std::vector<Ipp64fc>> in, expect, got;
  for (int t = 0; t < 4; ++t) {
    in.push_back(ewtest::RandC64(n, -1, 1));
    expect.emplace_back(n);
    got.emplace_back(n);
    ippsFFTFwd_CToC_64fc(in[t].data(), expect[t].data(), fftSpec, nullptr);
  }
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int rep = 0; rep < 50; ++rep) ippsFFTFwd_CToC_64fc(in[t].data(), got[t].data(), fftSpec, nullptr);
    });
  for (auto& th : threads) th.join();
  for (int t = 0; t < 4; ++t)
    for (size_t k = 0; k < n; ++k) {
      ASSERT_EQ(got[t][k].re, expect[t][k].re);
      ASSERT_EQ(got[t][k].im, expect[t][k].im);
    }
  ippsFFTFree_C_64fc(fftSpec);
}

}  // namespace
