// Correlations and convolution against direct sums in long double. Sizes are chosen so that
// both the direct kernel and the FFT path are taken; the FFT path must agree with the direct
// sums to within a few ulps of the operands' norms.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

#include "tests/platform/ipp/ElementwiseTest.h"

namespace {

using ewtest::ForEachTarget;
using cd = std::complex<long double>;

double Norm2(const std::vector<double>& v) {
  double s = 0;
  for (double x : v) s += x * x;
  return std::sqrt(s);
}

// FFT error bound: a few ulps times log2 of the transform size times the norms' product.
double Tol(size_t na, size_t nb, double norms) {
  return 8e-16 * std::log2(static_cast<double>(na + nb) + 2.0) * norms + 1e-300;
}

// c[n] = sum_i conj(a[i]) b[i + lowLag + n] (conj only matters for complex).
template <class T>
std::vector<cd> NaiveCorr(const std::vector<T>& a, const std::vector<T>& b, long lowLag, int dstLen) {
  std::vector<cd> out(dstLen);
  for (int n = 0; n < dstLen; ++n) {
    cd acc = 0;
    for (long i = 0; i < static_cast<long>(a.size()); ++i) {
      const long j = i + lowLag + n;
      if (j >= 0 && j < static_cast<long>(b.size())) acc += std::conj(cd(a[i])) * cd(b[j]);
    }
    out[n] = acc;
  }
  return out;
}

std::vector<std::complex<double>> RandCplx(size_t n) {
  const std::vector<double> r = ewtest::RandF64(2 * n, -1, 1);
  std::vector<std::complex<double>> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = {r[2 * i], r[2 * i + 1]};
  return v;
}

double Norm2(const std::vector<std::complex<double>>& v) {
  double s = 0;
  for (auto x : v) s += std::norm(x);
  return std::sqrt(s);
}

const Ipp64fc* AsIpp(const std::vector<std::complex<double>>& v) { return reinterpret_cast<const Ipp64fc*>(v.data()); }

TEST(DspConv, ConvMatchesDirectSum) {
  // Pairs chosen to hit the direct kernel (short or thin) and the FFT path (both long).
  const std::pair<int, int> sizes[] = {{1, 1}, {1, 5}, {5, 1}, {3, 7}, {64, 64}, {8, 5000}, {100, 1000}, {500, 3000}, {2000, 2000}, {3001, 700}};
  for (auto [na, nb] : sizes) {
    const std::vector<double> a = ewtest::RandF64(na, -1, 1), b = ewtest::RandF64(nb, -1, 1);
    std::vector<double> rev(a.rbegin(), a.rend());
    const std::vector<cd> expect = NaiveCorr(rev, b, -(na - 1), na + nb - 1);
    const double tol = Tol(na, nb, Norm2(a) * Norm2(b));
    ForEachTarget([&] {
      std::vector<double> out(na + nb, 999.0);
      ASSERT_EQ(ippsConv_64f(a.data(), na, b.data(), nb, out.data()), ippStsNoErr);
      double worst = 0;
      for (int n = 0; n < na + nb - 1; ++n) worst = std::max(worst, std::fabs(out[n] - static_cast<double>(expect[n].real())));
      EXPECT_LT(worst, tol) << na << " x " << nb;
      EXPECT_EQ(out[na + nb - 1], 999.0) << "wrote more than len1 + len2 - 1";
      // The operands may be swapped.
      std::vector<double> swapped(na + nb - 1);
      ASSERT_EQ(ippsConv_64f(b.data(), nb, a.data(), na, swapped.data()), ippStsNoErr);
      for (int n = 0; n < na + nb - 1; ++n) ASSERT_NEAR(swapped[n], out[n], 2 * tol);
    });
  }
}

TEST(DspConv, CrossCorrRealAndComplexOverLagWindows) {
  struct Case {
    int n1, n2, lowLag, dstLen;
  };
  const Case cases[] = {
      {5, 9, -4, 13},        // full correlation
      {5, 9, 0, 3},          // lag 0 onwards
      {5, 9, -20, 8},        // entirely before any overlap: zeros
      {5, 9, 30, 4},         // entirely after: zeros
      {7, 3, -10, 30},       // window wider than the overlap on both sides
      {1, 1, 0, 1},
      {40, 1200, -39, 1239},  // long, direct
      {1500, 2500, -1499, 3999},  // long, FFT
      {2000, 1800, -100, 300},    // a narrow window of a long pair
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.n1 << " " << c.n2 << " lowLag " << c.lowLag << " dstLen " << c.dstLen);
    const std::vector<double> a = ewtest::RandF64(c.n1, -1, 1), b = ewtest::RandF64(c.n2, -1, 1);
    const std::vector<cd> expect = NaiveCorr(a, b, c.lowLag, c.dstLen);
    const auto ac = RandCplx(c.n1), bc = RandCplx(c.n2);
    const std::vector<cd> expectC = NaiveCorr(ac, bc, c.lowLag, c.dstLen);
    const double tol = Tol(c.n1, c.n2, Norm2(a) * Norm2(b));
    const double tolC = 2 * Tol(c.n1, c.n2, Norm2(ac) * Norm2(bc));
    ForEachTarget([&] {
      std::vector<double> out(c.dstLen, 999.0);
      ASSERT_EQ(ippsCrossCorr_64f(a.data(), c.n1, b.data(), c.n2, out.data(), c.dstLen, c.lowLag), ippStsNoErr);
      double worst = 0;
      for (int n = 0; n < c.dstLen; ++n) worst = std::max(worst, std::fabs(out[n] - static_cast<double>(expect[n].real())));
      EXPECT_LT(worst, tol);
      std::vector<Ipp64fc> outC(c.dstLen, Ipp64fc{999.0, 999.0});
      ASSERT_EQ(ippsCrossCorr_64fc(AsIpp(ac), c.n1, AsIpp(bc), c.n2, outC.data(), c.dstLen, c.lowLag), ippStsNoErr);
      worst = 0;
      for (int n = 0; n < c.dstLen; ++n)
        worst = std::max(worst, static_cast<double>(std::abs(cd(outC[n].re, outC[n].im) - expectC[n])));
      EXPECT_LT(worst, tolC);
    });
  }
}

TEST(DspConv, AutoCorrNormsAndZeroFill) {
  for (auto [srcLen, dstLen] : {std::pair{1, 1}, {10, 4}, {10, 10}, {10, 15}, {300, 64}, {3000, 3000}, {4000, 200}}) {
    SCOPED_TRACE(testing::Message() << "srcLen " << srcLen << " dstLen " << dstLen);
    const std::vector<double> x = ewtest::RandF64(srcLen, -1, 1);
    const auto xc = RandCplx(srcLen);
    const std::vector<cd> r = NaiveCorr(x, x, 0, dstLen), rc = NaiveCorr(xc, xc, 0, dstLen);
    const double tol = Tol(srcLen, srcLen, Norm2(x) * Norm2(x));
    const double tolC = 2 * Tol(srcLen, srcLen, Norm2(xc) * Norm2(xc));
    ForEachTarget([&] {
      std::vector<double> plain(dstLen), a(dstLen), b(dstLen);
      std::vector<Ipp64fc> plainC(dstLen), aC(dstLen), bC(dstLen);
      ASSERT_EQ(ippsAutoCorr_64f(x.data(), srcLen, plain.data(), dstLen), ippStsNoErr);
      ASSERT_EQ(ippsAutoCorr_NormA_64f(x.data(), srcLen, a.data(), dstLen), ippStsNoErr);
      ASSERT_EQ(ippsAutoCorr_NormB_64f(x.data(), srcLen, b.data(), dstLen), ippStsNoErr);
      ASSERT_EQ(ippsAutoCorr_64fc(AsIpp(xc), srcLen, plainC.data(), dstLen), ippStsNoErr);
      ASSERT_EQ(ippsAutoCorr_NormA_64fc(AsIpp(xc), srcLen, aC.data(), dstLen), ippStsNoErr);
      ASSERT_EQ(ippsAutoCorr_NormB_64fc(AsIpp(xc), srcLen, bC.data(), dstLen), ippStsNoErr);
      for (int n = 0; n < dstLen; ++n) {
        const double biased = srcLen, unbiased = n < srcLen ? srcLen - n : 1;
        const double e = static_cast<double>(r[n].real());
        ASSERT_NEAR(plain[n], e, tol) << n;
        ASSERT_NEAR(a[n], e / biased, tol / biased) << n;
        ASSERT_NEAR(b[n], e / unbiased, tol / unbiased) << n;
        const std::complex<double> ec(static_cast<double>(rc[n].real()), static_cast<double>(rc[n].imag()));
        ASSERT_LT(std::abs(std::complex<double>(plainC[n].re, plainC[n].im) - ec), tolC) << n;
        ASSERT_LT(std::abs(std::complex<double>(aC[n].re, aC[n].im) - ec / biased), tolC / biased) << n;
        ASSERT_LT(std::abs(std::complex<double>(bC[n].re, bC[n].im) - ec / unbiased), tolC / unbiased) << n;
        if (n >= srcLen) {
          ASSERT_EQ(plain[n], 0.0) << "lags beyond the source are zero";
          ASSERT_EQ(b[n], 0.0);
          ASSERT_EQ(bC[n].re, 0.0);
        }
      }
      // Lag 0 of the complex autocorrelation is the energy: real, non-negative.
      EXPECT_NEAR(plainC[0].im, 0.0, tolC);
    });
  }
}

TEST(DspConv, StatusCodes) {
  double x[4] = {1, 2, 3, 4}, y[8] = {};
  Ipp64fc xc[4] = {}, yc[8] = {};
  EXPECT_EQ(ippsAutoCorr_64f(nullptr, 4, y, 4), ippStsNullPtrErr);
  EXPECT_EQ(ippsAutoCorr_NormA_64f(x, 4, nullptr, 4), ippStsNullPtrErr);
  EXPECT_EQ(ippsAutoCorr_NormB_64fc(nullptr, 4, yc, 4), ippStsNullPtrErr);
  EXPECT_EQ(ippsAutoCorr_64f(x, 0, y, 4), ippStsSizeErr);
  EXPECT_EQ(ippsAutoCorr_NormB_64f(x, 4, y, 0), ippStsSizeErr);
  EXPECT_EQ(ippsAutoCorr_64fc(xc, -1, yc, 4), ippStsSizeErr);
  EXPECT_EQ(ippsAutoCorr_NormA_64fc(xc, 4, yc, -1), ippStsSizeErr);
  EXPECT_EQ(ippsCrossCorr_64f(nullptr, 4, x, 4, y, 7, -3), ippStsNullPtrErr);
  EXPECT_EQ(ippsCrossCorr_64f(x, 4, nullptr, 4, y, 7, -3), ippStsNullPtrErr);
  EXPECT_EQ(ippsCrossCorr_64fc(xc, 4, xc, 4, nullptr, 7, -3), ippStsNullPtrErr);
  EXPECT_EQ(ippsCrossCorr_64f(x, 0, x, 4, y, 7, -3), ippStsSizeErr);
  EXPECT_EQ(ippsCrossCorr_64f(x, 4, x, 0, y, 7, -3), ippStsSizeErr);
  EXPECT_EQ(ippsCrossCorr_64fc(xc, 4, xc, 4, yc, 0, -3), ippStsSizeErr);
  EXPECT_EQ(ippsConv_64f(nullptr, 4, x, 4, y), ippStsNullPtrErr);
  EXPECT_EQ(ippsConv_64f(x, 4, x, 4, nullptr), ippStsNullPtrErr);
  EXPECT_EQ(ippsConv_64f(x, 0, x, 4, y), ippStsSizeErr);
  EXPECT_EQ(ippsConv_64f(x, 4, x, -4, y), ippStsSizeErr);
  for (double v : y) EXPECT_EQ(v, 0.0) << "a refused call wrote";
}

}  // namespace
