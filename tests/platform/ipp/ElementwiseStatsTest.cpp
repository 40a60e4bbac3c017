// Statistics, norms and thresholds against naive loops (long double where the order of summation
// matters) on every SIMD target.
#include <cfloat>

#include "tests/platform/ipp/ElementwiseTest.h"

using namespace ewtest;

TEST(ElementwiseStats, ReductionsMatchNaiveLoops) {
  ForEachTarget([] {
    for (int len : kLengths) {
      SCOPED_TRACE(testing::Message() << "len " << len);
      std::vector<double> sa, sb;
      double* a = Misaligned(sa, len, len % 4);
      double* b = Misaligned(sb, len, len % 3);
      const auto ra = Rand<double>(len), rb = Rand<double>(len);
      std::copy(ra.begin(), ra.end(), a);
      std::copy(rb.begin(), rb.end(), b);
      long double sum = 0, dot = 0, l1 = 0, l2 = 0, dev = 0, sumf = 0, norm = 0;
      double linf = 0;
      C cdot = 0;
      const auto fa = Rand<float>(len);
      const auto za = Rand<Ipp64fc>(len), zb = Rand<Ipp64fc>(len);
      for (int i = 0; i < len; ++i) {
        sum += a[i], dot += (long double)a[i] * b[i], l1 += std::fabs(a[i] - b[i]), sumf += fa[i];
        l2 += (long double)(a[i] - b[i]) * (a[i] - b[i]), linf = std::max(linf, std::fabs(a[i] - b[i]));
        cdot += Cx(za[i]) * Cx(zb[i]), norm += std::norm(Cx(za[i]));
      }
      for (int i = 0; i < len; ++i) dev += (a[i] - sum / len) * (a[i] - sum / len);
      const double tol = 4 * len * DBL_EPSILON;  // a reordered sum of len terms, relative to the largest term
      double r = 0, r2 = 0;
      float rf = 0;
      Ipp64fc rz;
      ASSERT_EQ(ippsSum_64f(a, len, &r), ippStsNoErr);
      EXPECT_NEAR(r, (double)sum, tol * 100);
      ASSERT_EQ(ippsMean_64f(a, len, &r), ippStsNoErr);
      EXPECT_NEAR(r, (double)(sum / len), tol * 100 / len);
      ASSERT_EQ(ippsMean_32f(fa.data(), len, &rf, ippAlgHintFast), ippStsNoErr);
      EXPECT_NEAR(rf, (double)(sumf / len), 1e-5);
      if (len > 1) {
        ASSERT_EQ(ippsStdDev_64f(a, len, &r), ippStsNoErr);
        EXPECT_NEAR(r, std::sqrt((double)(dev / (len - 1))), 1e-12 * r);
      }
      ASSERT_EQ(ippsDotProd_64f(a, b, len, &r), ippStsNoErr);
      EXPECT_NEAR(r, (double)dot, tol * 1e4);
      ASSERT_EQ(ippsDotProd_64fc(za.data(), zb.data(), len, &rz), ippStsNoErr);
      EXPECT_LT(std::abs(Cx(rz) - cdot), tol * 4e4) << "no operand is conjugated";
      ASSERT_EQ(ippsNorm_L2_64fc64f(za.data(), len, &r), ippStsNoErr);
      EXPECT_NEAR(r, std::sqrt((double)norm), 1e-13 * r);
      ASSERT_EQ(ippsNormDiff_L1_64f(a, b, len, &r), ippStsNoErr);
      EXPECT_NEAR(r, (double)l1, tol * 200);
      ASSERT_EQ(ippsNormDiff_L2_64f(a, b, len, &r), ippStsNoErr);
      EXPECT_NEAR(r, std::sqrt((double)l2), 1e-13 * r);
      ASSERT_EQ(ippsNormDiff_Inf_64f(a, b, len, &r), ippStsNoErr);
      EXPECT_EQ(r, linf);
      const double mx = *std::max_element(a, a + len), mn = *std::min_element(a, a + len);
      ASSERT_EQ(ippsMax_64f(a, len, &r), ippStsNoErr);
      EXPECT_EQ(r, mx);
      ASSERT_EQ(ippsMin_64f(a, len, &r), ippStsNoErr);
      EXPECT_EQ(r, mn);
      ASSERT_EQ(ippsMinMax_64f(a, len, &r, &r2), ippStsNoErr);
      EXPECT_TRUE(r == mn && r2 == mx);
      // Extremum indices report the first of several equal extremes; the index pointer is optional.
      for (int at : {0, len / 3}) {
        int idx = -1;
        std::vector<double> t(a, a + len);
        t[at] = t[len - 1] = 500;
        ASSERT_EQ(ippsMaxIndx_64f(t.data(), len, &r, &idx), ippStsNoErr);
        EXPECT_TRUE(r == 500 && idx == at) << idx;
        t[at] = t[len - 1] = -500;
        ASSERT_EQ(ippsMinIndx_64f(t.data(), len, &r, &idx), ippStsNoErr);
        EXPECT_TRUE(r == -500 && idx == at) << idx;
        ASSERT_EQ(ippsMinIndx_64f(t.data(), len, &r, nullptr), ippStsNoErr);
      }
    }
  });
  // Integer dot products are exact before the one scaling.
  for (int sf : {0, 3, 20, -2}) {
    const auto a = Rand<Ipp32s>(77), b = Rand<Ipp32s>(77);
    __int128 exact = 0;
    for (int i = 0; i < 77; ++i) exact += (int64_t)a[i] * b[i];
    Ipp32s r = 0;
    ASSERT_EQ(ippsDotProd_32s_Sfs(a.data(), b.data(), 77, &r, sf), ippStsNoErr);
    EXPECT_EQ(r, SfsModel<Ipp32s>((long double)exact, sf)) << sf;
  }
}

TEST(ElementwiseStats, NormalizeAndThresholds) {
  using D = double;
  using Z = Ipp64fc;
  auto eq = [](auto g, auto w) { return Same(g, w); };
  ForEachTarget([&] {
    SweepMap<D, D, D>("Normalize_64f", [](D* x, D*, D* d, int n) { return ippsNormalize_64f(x, d, n, 1.5, -4.0); },
                      [](D a, D) { return (a - 1.5) / -4.0; }, eq);
    SweepMap<float, float, float>("Normalize_32f", [](float* x, float*, float* d, int n) { return ippsNormalize_32f(x, d, n, 1.5f, 3.0f); },
                                  [](float a, float) { return (a - 1.5f) / 3.0f; }, eq);
    SweepMap<Z, Z, Z>("Normalize_64fc", [](Z* x, Z*, Z* d, int n) { return ippsNormalize_64fc(x, d, n, {1, -1}, 2.0); },
                      [](Z a, Z) { return (Cx(a) - C(1, -1)) / 2.0; }, kNearC);
    for (IppCmpOp op : {ippCmpLess, ippCmpGreater}) {
      const bool less = op == ippCmpLess;
      auto clip = [less](auto x, auto l) { return (less ? x < l : x > l) ? l : x; };
      SweepMap<D, D, D>("Threshold_64f", [op](D* x, D*, D* d, int n) { return ippsThreshold_64f(x, d, n, 10.0, op); },
                        [&](D a, D) { return clip(a, 10.0); }, eq);
      SweepMap<D, D, D>("Threshold_64f_I", [op](D* x, D*, D* d, int n) { std::copy(x, x + n, d); return ippsThreshold_64f_I(d, n, -10.0, op); },
                        [&](D a, D) { return clip(a, -10.0); }, eq);
      SweepMap<float, float, float>("Threshold_32f_I",
                                    [op](float* x, float*, float* d, int n) { std::copy(x, x + n, d); return ippsThreshold_32f_I(d, n, 5.0f, op); },
                                    [&](float a, float) { return clip(a, 5.0f); }, eq);
      // Complex: the magnitude is compared, the phase kept.
      auto cclip = [less](Z a, Z) { const C z = Cx(a); return (less ? std::abs(z) < 60 : std::abs(z) > 60) ? std::polar(60.0, std::arg(z)) : z; };
      SweepMap<Z, Z, Z>("Threshold_64fc", [op](Z* x, Z*, Z* d, int n) { return ippsThreshold_64fc(x, d, n, 60.0, op); }, cclip, kNearC);
      SweepMap<Z, Z, Z>("Threshold_64fc_I", [op](Z* x, Z*, Z* d, int n) { std::copy(x, x + n, d); return ippsThreshold_64fc_I(d, n, 60.0, op); },
                        cclip, kNearC);
      std::vector<D> withNan = {1, NAN, -1}, out(3);
      ASSERT_EQ(ippsThreshold_64f(withNan.data(), out.data(), 3, 0.0, op), ippStsNoErr);
      EXPECT_TRUE(std::isnan(out[1])) << "NaN is neither below nor above the level";
    }
    using I = Ipp32s;
    SweepMap<I, I, I>("Threshold_LT_32s_I", [](I* x, I*, I* d, int n) { std::copy(x, x + n, d); return ippsThreshold_LT_32s_I(d, n, -5); },
                      [](I a, I) { return std::max(a, -5); }, eq);
    SweepMap<I, I, I>("Threshold_GT_32s_I", [](I* x, I*, I* d, int n) { std::copy(x, x + n, d); return ippsThreshold_GT_32s_I(d, n, 7); },
                      [](I a, I) { return std::min(a, 7); }, eq);
  });
}

TEST(ElementwiseStats, SpecificStatuses) {
  double x[4] = {1, 2, 3, 4}, r = 0, out[4] = {9, 9, 9, 9};
  float xf[2] = {1, 2}, of[2];
  auto* z = reinterpret_cast<Ipp64fc*>(x);
  EXPECT_EQ(ippsStdDev_64f(x, 1, &r), ippStsSizeErr) << "sample deviation needs two values";
  ASSERT_EQ(ippsStdDev_64f(x, 4, &r), ippStsNoErr);
  EXPECT_NEAR(r, std::sqrt(5.0 / 3.0), 1e-15) << "divides by len - 1";
  EXPECT_EQ(ippsNormalize_64f(x, out, 4, 0, 0), ippStsDivByZeroErr);
  EXPECT_EQ(ippsNormalize_64f(x, out, 4, 0, 1e-310), ippStsDivByZeroErr);
  EXPECT_EQ(ippsNormalize_32f(xf, of, 2, 0, 1e-39f), ippStsDivByZeroErr);
  EXPECT_EQ(ippsNormalize_64fc(z, reinterpret_cast<Ipp64fc*>(out), 2, {0, 0}, 0.0), ippStsDivByZeroErr);
  EXPECT_EQ(out[0], 9.0) << "nothing written";
  for (IppCmpOp bad : {ippCmpLessEq, ippCmpEq, ippCmpGreaterEq}) {
    EXPECT_EQ(ippsThreshold_64f(x, out, 4, 1, bad), ippStsBadArgErr);
    EXPECT_EQ(ippsThreshold_32f_I(xf, 2, 1, bad), ippStsBadArgErr);
    EXPECT_EQ(ippsThreshold_64fc_I(z, 2, 1, bad), ippStsBadArgErr);
  }
  EXPECT_EQ(ippsThreshold_64fc(z, reinterpret_cast<Ipp64fc*>(out), 2, -1, ippCmpLess), ippStsThreshNegLevelErr);
  Ipp64fc zero[1] = {{0, 0}};
  ASSERT_EQ(ippsThreshold_64fc_I(zero, 1, 2.0, ippCmpLess), ippStsNoErr);
  EXPECT_TRUE(zero[0].re == 2.0 && zero[0].im == 0.0) << "a zero takes the level with phase 0";
}

TEST(ElementwiseStats, StandardStatuses) {
  EW_EXPECT_STATUSES(ippsSum_64f, ippsMean_32f, ippsMean_64f, ippsStdDev_64f, ippsMax_64f, ippsMin_64f, ippsMinMax_64f, ippsDotProd_32s_Sfs,
                     ippsDotProd_64f, ippsDotProd_64fc, ippsNormDiff_L1_64f, ippsNormDiff_L2_64f, ippsNormDiff_Inf_64f,
                     ippsNorm_L2_64fc64f, ippsNormalize_32f, ippsNormalize_64f, ippsNormalize_64fc, ippsThreshold_32f_I,
                     ippsThreshold_64f, ippsThreshold_64f_I, ippsThreshold_64fc, ippsThreshold_64fc_I, ippsThreshold_LT_32s_I,
                     ippsThreshold_GT_32s_I);
  EW_EXPECT_STATUSES_NULLABLE(ippsMaxIndx_64f, 0b1000u);
  EW_EXPECT_STATUSES_NULLABLE(ippsMinIndx_64f, 0b1000u);
}
