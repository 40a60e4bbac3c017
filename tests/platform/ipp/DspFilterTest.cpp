// FIR and IIR states against naive direct-form-I models; every stream is cut into blocks in
// several ways and the output must not depend on the split.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "tests/platform/ipp/ElementwiseTest.h"

namespace {

using ewtest::ForEachTarget;

std::vector<double> NaiveFir(const std::vector<double>& h, const std::vector<double>& x,
                             const std::vector<double>& past = {}) {
  // past[k] is x[-1-k].
  std::vector<double> y(x.size());
  for (size_t n = 0; n < x.size(); ++n) {
    double acc = 0;
    for (size_t k = 0; k < h.size(); ++k) {
      const long i = static_cast<long>(n) - static_cast<long>(k);
      const double v = i >= 0 ? x[i] : (static_cast<size_t>(-i - 1) < past.size() ? past[-i - 1] : 0.0);
      acc += h[k] * v;
    }
    y[n] = acc;
  }
  return y;
}

// A0 y[n] = sum B_k x[n-k] - sum_{k>=1} A_k y[n-k].
std::vector<double> NaiveIir(const std::vector<double>& b, const std::vector<double>& a, const std::vector<double>& x) {
  std::vector<double> y(x.size());
  for (size_t n = 0; n < x.size(); ++n) {
    long double acc = 0;
    for (size_t k = 0; k < b.size() && k <= n; ++k) acc += b[k] * x[n - k];
    for (size_t k = 1; k < a.size() && k <= n; ++k) acc -= a[k] * y[n - k];
    y[n] = static_cast<double>(acc / a[0]);
  }
  return y;
}

// Runs process(src, dst, len) over x in blocks: the fixed split, or pseudo-random sizes when 0.
std::vector<double> RunInChunks(const std::function<void(const double*, double*, int)>& process,
                                const std::vector<double>& x, int split, bool inPlace) {
  std::vector<double> y(x.size());
  if (inPlace) y = x;
  std::mt19937 rng(split);
  for (size_t pos = 0; pos < x.size();) {
    int len = split ? split : 1 + static_cast<int>(rng() % 300);
    len = std::min<int>(len, static_cast<int>(x.size() - pos));
    process(inPlace ? y.data() + pos : x.data() + pos, y.data() + pos, len);
    pos += len;
  }
  return y;
}

double MaxRelDiff(const std::vector<double>& a, const std::vector<double>& b) {
  double worst = 0, scale = 1e-300;
  for (size_t i = 0; i < a.size(); ++i) {
    worst = std::max(worst, std::fabs(a[i] - b[i]));
    scale = std::max(scale, std::fabs(b[i]));
  }
  return worst / scale;
}

const int kSplits[] = {1, 7, 64, 1000, 2049, 3000, 0};

TEST(DspFilter, FirMatchesNaiveForAnySplit) {
  const std::vector<double> x = ewtest::RandF64(3000, -1, 1);
  for (int taps : {1, 2, 3, 7, 64, 65, 300}) {
    const std::vector<double> h = ewtest::RandF64(taps, -1, 1);
    const std::vector<double> expect = NaiveFir(h, x);
    ForEachTarget([&] {
      for (int split : kSplits) {
        for (bool inPlace : {false, true}) {
          IppsFIRState_64f* st = nullptr;
          ASSERT_EQ(ippsFIRInitAlloc_64f(&st, h.data(), taps, nullptr), ippStsNoErr);
          const auto y = RunInChunks(
              [&](const double* s, double* d, int n) { ASSERT_EQ(ippsFIR_64f(s, d, n, st), ippStsNoErr); }, x,
              split, inPlace);
          EXPECT_LT(MaxRelDiff(y, expect), 1e-13) << "taps " << taps << " split " << split << " in place " << inPlace;
          ippsFIRFree_64f(st);
        }
      }
    });
  }
}

TEST(DspFilter, FirInitialDelayLineIsNewestFirst) {
  for (int taps : {1, 4, 33}) {
    const std::vector<double> h = ewtest::RandF64(taps, -1, 1);
    const std::vector<double> past = ewtest::RandF64(taps, -1, 1);
    const std::vector<double> x = ewtest::RandF64(100, -1, 1);
    IppsFIRState_64f* st = nullptr;
    ASSERT_EQ(ippsFIRInitAlloc_64f(&st, h.data(), taps, past.data()), ippStsNoErr);
    std::vector<double> y(x.size());
    ASSERT_EQ(ippsFIR_64f(x.data(), y.data(), 100, st), ippStsNoErr);
    EXPECT_LT(MaxRelDiff(y, NaiveFir(h, x, past)), 1e-13) << taps;
    ippsFIRFree_64f(st);
  }
}

// Real poles inside the unit circle keep a random filter stable; A0 is made negative and not 1
// so the normalisation (sign included) is exercised.
std::vector<double> StableDenominator(int order, double a0) {
  std::vector<double> a = {1.0};
  const std::vector<double> poles = ewtest::RandF64(order, -0.9, 0.9);
  for (double p : poles) {
    std::vector<double> next(a.size() + 1, 0.0);
    for (size_t i = 0; i < a.size(); ++i) {
      next[i] += a[i];
      next[i + 1] -= p * a[i];
    }
    a = next;
  }
  for (double& v : a) v *= a0;
  return a;
}

TEST(DspFilter, IirDirectFormMatchesNaiveForAnySplit) {
  const std::vector<double> x = ewtest::RandF64(3000, -1, 1);
  for (int order : {0, 1, 2, 5, 8}) {
    const std::vector<double> b = ewtest::RandF64(order + 1, -1, 1);
    const std::vector<double> a = StableDenominator(order, -2.5);
    std::vector<double> taps = b;
    taps.insert(taps.end(), a.begin(), a.end());
    const std::vector<double> expect = NaiveIir(b, a, x);
    for (int split : kSplits) {
      for (bool inPlace : {false, true}) {
        IppsIIRState_64f* st = nullptr;
        ASSERT_EQ(ippsIIRInitAlloc_64f(&st, taps.data(), order, nullptr), ippStsNoErr);
        const auto y = RunInChunks(
            [&](const double* s, double* d, int n) { ASSERT_EQ(ippsIIR_64f(s, d, n, st), ippStsNoErr); }, x, split,
            inPlace);
        EXPECT_LT(MaxRelDiff(y, expect), 1e-11) << "order " << order << " split " << split;
        ippsIIRFree_64f(st);
      }
    }
  }
}

TEST(DspFilter, BiquadCascadeMatchesNaiveForAnySplit) {
  const std::vector<double> x = ewtest::RandF64(3000, -1, 1);
  for (int numBq : {1, 2, 3, 4, 5, 9}) {
    std::vector<double> taps;
    std::vector<std::vector<double>> bs, as;
    for (int k = 0; k < numBq; ++k) {
      const double a0 = k % 2 ? 1.0 : -0.75;
      std::vector<double> b = ewtest::RandF64(3, -1, 1);
      std::vector<double> a = StableDenominator(2, a0);
      taps.insert(taps.end(), b.begin(), b.end());
      taps.insert(taps.end(), a.begin(), a.end());
      bs.push_back(b);
      as.push_back(a);
    }
    std::vector<double> expect = x;
    for (int k = 0; k < numBq; ++k) expect = NaiveIir(bs[k], as[k], expect);
    // The cascade is vectorised across sections, differently per vector width.
    ForEachTarget([&] {
      for (int split : kSplits) {
        for (bool inPlace : {false, true}) {
          IppsIIRState_64f* st = nullptr;
          ASSERT_EQ(ippsIIRInitAlloc_BiQuad_64f(&st, taps.data(), numBq, nullptr), ippStsNoErr);
          const auto y = RunInChunks(
              [&](const double* s, double* d, int n) { ASSERT_EQ(ippsIIR_64f(s, d, n, st), ippStsNoErr); }, x, split,
              inPlace);
          EXPECT_LT(MaxRelDiff(y, expect), 1e-11) << "sections " << numBq << " split " << split;
          ippsIIRFree_64f(st);
        }
      }
    });
  }
}

// An initial delay line holds transposed-direct-form partial sums: with zero input the output
// starts with the first sum and then follows the recursion.
TEST(DspFilter, IirInitialDelayLine) {
  const std::vector<double> zeros(4, 0.0);
  std::vector<double> y(4);
  {
    const double taps[] = {0.3, 0.1, 2.0, -1.0};  // b0 b1 a0 a1: a1/a0 = -0.5
    const double dly[] = {0.8};
    IppsIIRState_64f* st = nullptr;
    ASSERT_EQ(ippsIIRInitAlloc_64f(&st, taps, 1, dly), ippStsNoErr);
    ASSERT_EQ(ippsIIR_64f(zeros.data(), y.data(), 4, st), ippStsNoErr);
    for (int n = 0; n < 4; ++n) EXPECT_DOUBLE_EQ(y[n], 0.8 * std::pow(0.5, n)) << n;
    ippsIIRFree_64f(st);
  }
  {
    const double taps[] = {1.0, 0.5, 0.25, 1.0, -0.5, 0.2};
    const double dly[] = {0.7, -0.3};
    IppsIIRState_64f* st = nullptr;
    ASSERT_EQ(ippsIIRInitAlloc_BiQuad_64f(&st, taps, 1, dly), ippStsNoErr);
    ASSERT_EQ(ippsIIR_64f(zeros.data(), y.data(), 2, st), ippStsNoErr);
    EXPECT_DOUBLE_EQ(y[0], 0.7);
    EXPECT_DOUBLE_EQ(y[1], -0.3 + 0.5 * 0.7);
    ippsIIRFree_64f(st);
  }
}

TEST(DspFilter, StatusCodes) {
  const double h[] = {1, 2, 3};
  double buf[4] = {};
  IppsFIRState_64f* fir = nullptr;
  IppsIIRState_64f* iir = nullptr;
  EXPECT_EQ(ippsFIRInitAlloc_64f(nullptr, h, 3, nullptr), ippStsNullPtrErr);
  EXPECT_EQ(ippsFIRInitAlloc_64f(&fir, nullptr, 3, nullptr), ippStsNullPtrErr);
  EXPECT_EQ(ippsFIRInitAlloc_64f(&fir, h, 0, nullptr), ippStsFIRLenErr);
  EXPECT_EQ(ippsFIRInitAlloc_64f(&fir, h, -2, nullptr), ippStsFIRLenErr);
  ASSERT_EQ(ippsFIRInitAlloc_64f(&fir, h, 3, nullptr), ippStsNoErr);
  EXPECT_EQ(ippsFIR_64f(buf, buf, 0, fir), ippStsSizeErr);
  EXPECT_EQ(ippsFIR_64f(nullptr, buf, 4, fir), ippStsNullPtrErr);
  EXPECT_EQ(ippsFIR_64f(buf, nullptr, 4, fir), ippStsNullPtrErr);
  EXPECT_EQ(ippsFIR_64f(buf, buf, 4, nullptr), ippStsNullPtrErr);

  const double direct[] = {1, 0.5, 2, 0.1};  // order 1
  const double zeroA0[] = {1, 0.5, 0, 0.1};
  EXPECT_EQ(ippsIIRInitAlloc_64f(nullptr, direct, 1, nullptr), ippStsNullPtrErr);
  EXPECT_EQ(ippsIIRInitAlloc_64f(&iir, nullptr, 1, nullptr), ippStsNullPtrErr);
  EXPECT_EQ(ippsIIRInitAlloc_64f(&iir, direct, -1, nullptr), ippStsIIROrderErr);
  EXPECT_EQ(ippsIIRInitAlloc_64f(&iir, zeroA0, 1, nullptr), ippStsDivByZeroErr);
  const double bq[] = {1, 0.2, 0.1, 1, 0.3, 0.1, 1, 0.2, 0.1, 1, 0.3, 0.1};
  const double bqZeroB0[] = {1, 0.2, 0.1, 1, 0.3, 0.1, 0, 0.2, 0.1, 1, 0.3, 0.1};
  const double bqZeroA0[] = {1, 0.2, 0.1, 1, 0.3, 0.1, 1, 0.2, 0.1, 0, 0.3, 0.1};
  EXPECT_EQ(ippsIIRInitAlloc_BiQuad_64f(&iir, bq, 0, nullptr), ippStsIIROrderErr);
  EXPECT_EQ(ippsIIRInitAlloc_BiQuad_64f(&iir, bqZeroB0, 2, nullptr), ippStsDivByZeroErr);
  EXPECT_EQ(ippsIIRInitAlloc_BiQuad_64f(&iir, bqZeroA0, 2, nullptr), ippStsDivByZeroErr);
  EXPECT_EQ(ippsIIRInitAlloc_BiQuad_64f(nullptr, bq, 2, nullptr), ippStsNullPtrErr);
  ASSERT_EQ(ippsIIRInitAlloc_BiQuad_64f(&iir, bq, 2, nullptr), ippStsNoErr);
  EXPECT_EQ(ippsIIR_64f(buf, buf, 0, iir), ippStsSizeErr);
  EXPECT_EQ(ippsIIR_64f(nullptr, buf, 4, iir), ippStsNullPtrErr);

  // A state of the other kind is refused by the filters and by Free.
  EXPECT_EQ(ippsFIR_64f(buf, buf, 4, reinterpret_cast<IppsFIRState_64f*>(iir)), ippStsContextMatchErr);
  EXPECT_EQ(ippsIIR_64f(buf, buf, 4, reinterpret_cast<IppsIIRState_64f*>(fir)), ippStsContextMatchErr);
  EXPECT_EQ(ippsFIRFree_64f(reinterpret_cast<IppsFIRState_64f*>(iir)), ippStsContextMatchErr);
  EXPECT_EQ(ippsIIRFree_64f(reinterpret_cast<IppsIIRState_64f*>(fir)), ippStsContextMatchErr);
  EXPECT_EQ(ippsFIRFree_64f(nullptr), ippStsNullPtrErr);
  EXPECT_EQ(ippsIIRFree_64f(nullptr), ippStsNullPtrErr);
  EXPECT_EQ(ippsFIRFree_64f(fir), ippStsNoErr);
  EXPECT_EQ(ippsIIRFree_64f(iir), ippStsNoErr);
}

}  // namespace
