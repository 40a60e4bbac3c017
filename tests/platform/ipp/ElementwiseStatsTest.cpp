// Statistics, norms and thresholds against naive loops (long double where the order of summation
// matters) on every SIMD target.
#include <cfloat>
#include <complex>

#include "tests/platform/ipp/ElementwiseTest.h"

using namespace ewtest;
using C = std::complex<double>;

namespace {
// Tolerance for a reordered sum of n terms of magnitude up to `scale`.
double SumTol(int n, double scale) { return 4 * n * DBL_EPSILON * scale; }
}  // namespace

TEST(ElementwiseStats, ReductionsMatchNaiveLoops) {
  ForEachTarget([] {
    for (int len : Lengths()) {
      for (int off : {0, 3}) {
        SCOPED_TRACE(testing::Message() << "len " << len << " off " << off);
        const auto a = RandF64(len), b = RandF64(len);
        Buf<double> x(len, off), y(len, (off + 1) % 4);
        x.Assign(a);
        y.Assign(b);
        long double sum = 0, dot = 0, l1 = 0, l2 = 0, sumsq = 0;
        double linf = 0;
        for (int i = 0; i < len; ++i) {
          sum += a[i];
          dot += (long double)a[i] * b[i];
          l1 += std::fabs(a[i] - b[i]);
          l2 += (long double)(a[i] - b[i]) * (a[i] - b[i]);
          linf = std::max(linf, std::fabs(a[i] - b[i]));
        }
        const long double mean = sum / len;
        for (int i = 0; i < len; ++i) sumsq += (a[i] - mean) * (a[i] - mean);
        double r = 0, r2 = 0;
        ASSERT_EQ(ippsSum_64f(x.data(), len, &r), ippStsNoErr);
        EXPECT_NEAR(r, (double)sum, SumTol(len, 100));
        ASSERT_EQ(ippsMean_64f(x.data(), len, &r), ippStsNoErr);
        EXPECT_NEAR(r, (double)mean, SumTol(len, 100) / len);
        if (len >= 2) {
          ASSERT_EQ(ippsStdDev_64f(x.data(), len, &r), ippStsNoErr);
          EXPECT_NEAR(r, std::sqrt((double)(sumsq / (len - 1))), 1e-12 * std::sqrt((double)(sumsq / (len - 1))));
        }
        ASSERT_EQ(ippsDotProd_64f(x.data(), y.data(), len, &r), ippStsNoErr);
        EXPECT_NEAR(r, (double)dot, SumTol(len, 1e4));
        ASSERT_EQ(ippsNormDiff_L1_64f(x.data(), y.data(), len, &r), ippStsNoErr);
        EXPECT_NEAR(r, (double)l1, SumTol(len, 200));
        ASSERT_EQ(ippsNormDiff_L2_64f(x.data(), y.data(), len, &r), ippStsNoErr);
        EXPECT_NEAR(r, std::sqrt((double)l2), 1e-13 * std::sqrt((double)l2));
        ASSERT_EQ(ippsNormDiff_Inf_64f(x.data(), y.data(), len, &r), ippStsNoErr);
        EXPECT_EQ(r, linf);

        const double mx = *std::max_element(a.begin(), a.end()), mn = *std::min_element(a.begin(), a.end());
        ASSERT_EQ(ippsMax_64f(x.data(), len, &r), ippStsNoErr);
        EXPECT_EQ(r, mx);
        ASSERT_EQ(ippsMin_64f(x.data(), len, &r), ippStsNoErr);
        EXPECT_EQ(r, mn);
        ASSERT_EQ(ippsMinMax_64f(x.data(), len, &r, &r2), ippStsNoErr);
        EXPECT_TRUE(r == mn && r2 == mx);

        const auto af = RandF32(len);
        long double sf = 0;
        for (float v : af) sf += v;
        float mf = 0;
        ASSERT_EQ(ippsMean_32f(af.data(), len, &mf, ippAlgHintAccurate), ippStsNoErr);
        EXPECT_NEAR(mf, (double)(sf / len), 1e-5);

        const auto ca = RandC64(len), cb = RandC64(len);
        C cdot = 0;
        long double cn = 0;
        for (int i = 0; i < len; ++i) {
          cdot += C(ca[i].re, ca[i].im) * C(cb[i].re, cb[i].im);
          cn += (long double)ca[i].re * ca[i].re + (long double)ca[i].im * ca[i].im;
        }
        Ipp64fc cr;
        ASSERT_EQ(ippsDotProd_64fc(ca.data(), cb.data(), len, &cr), ippStsNoErr);
        EXPECT_NEAR(cr.re, cdot.real(), SumTol(len, 4e4));
        EXPECT_NEAR(cr.im, cdot.imag(), SumTol(len, 4e4)) << "no conjugation";
        ASSERT_EQ(ippsNorm_L2_64fc64f(ca.data(), len, &r), ippStsNoErr);
        EXPECT_NEAR(r, std::sqrt((double)cn), 1e-13 * std::sqrt((double)cn));
      }
    }
  });
}

TEST(ElementwiseStats, ExtremaIndexIsTheFirstOccurrence) {
  ForEachTarget([] {
    for (int len : {1, 5, 16, 33, 200}) {
      for (int at : {0, len / 3, len - 1}) {
        std::vector<double> a = RandF64(len, -1, 1);
        a[at] = 5.0;
        a[len - 1] = 5.0;  // a later tie
        double v = 0;
        int idx = -1;
        ASSERT_EQ(ippsMaxIndx_64f(a.data(), len, &v, &idx), ippStsNoErr);
        EXPECT_TRUE(v == 5.0 && idx == at) << len << " " << at << " got " << idx;
        a[at] = -5.0;
        a[len - 1] = -5.0;
        ASSERT_EQ(ippsMinIndx_64f(a.data(), len, &v, &idx), ippStsNoErr);
        EXPECT_TRUE(v == -5.0 && idx == at) << len << " " << at << " got " << idx;
        ASSERT_EQ(ippsMinIndx_64f(a.data(), len, &v, nullptr), ippStsNoErr) << "index pointer is optional";
        ASSERT_EQ(ippsMaxIndx_64f(a.data(), len, &v, nullptr), ippStsNoErr);
      }
    }
  });
}

TEST(ElementwiseStats, IntegerDotProductIsExactThenScaled) {
  for (int sf : {0, 3, 20, -2}) {
    const int len = 77;
    const auto a = RandInt<Ipp32s>(len), b = RandInt<Ipp32s>(len);
    __int128 exact = 0;
    for (int i = 0; i < len; ++i) exact += (int64_t)a[i] * b[i];
    Ipp32s r = 0;
    ASSERT_EQ(ippsDotProd_32s_Sfs(a.data(), b.data(), len, &r, sf), ippStsNoErr);
    const long double scaled = std::nearbyintl(std::ldexp((long double)exact, -sf));
    EXPECT_EQ(r, scaled > IPP_MAX_32S ? IPP_MAX_32S : (scaled < IPP_MIN_32S ? IPP_MIN_32S : (Ipp32s)scaled)) << sf;
  }
  const Ipp32s a[] = {3, 1}, b[] = {1, 2};  // 5 / 2 = 2.5 -> 2 (ties to even)
  Ipp32s r = 0;
  ippsDotProd_32s_Sfs(a, b, 2, &r, 1);
  EXPECT_EQ(r, 2);
}

TEST(ElementwiseStats, NormalizeAndThresholds) {
  ForEachTarget([] {
    for (int len : Lengths()) {
      const auto a = RandF64(len);
      std::vector<double> out(len);
      ASSERT_EQ(ippsNormalize_64f(a.data(), out.data(), len, 1.5, -4.0), ippStsNoErr);
      for (int i = 0; i < len; ++i) ASSERT_EQ(out[i], (a[i] - 1.5) / -4.0);
      const auto af = RandF32(len);
      std::vector<float> outf(len);
      ASSERT_EQ(ippsNormalize_32f(af.data(), outf.data(), len, 1.5f, 3.0f), ippStsNoErr);
      for (int i = 0; i < len; ++i) ASSERT_EQ(outf[i], (af[i] - 1.5f) / 3.0f);
      const auto ca = RandC64(len);
      std::vector<Ipp64fc> cout(len);
      ASSERT_EQ(ippsNormalize_64fc(ca.data(), cout.data(), len, Ipp64fc{1, -1}, 2.0), ippStsNoErr);
      for (int i = 0; i < len; ++i) ASSERT_TRUE(cout[i].re == (ca[i].re - 1) / 2 && cout[i].im == (ca[i].im + 1) / 2);

      for (IppCmpOp op : {ippCmpLess, ippCmpGreater}) {
        auto model = [op](double x, double l) { return (op == ippCmpLess ? x < l : x > l) ? l : x; };
        ASSERT_EQ(ippsThreshold_64f(a.data(), out.data(), len, 10.0, op), ippStsNoErr);
        for (int i = 0; i < len; ++i) ASSERT_EQ(out[i], model(a[i], 10.0));
        out = a;
        ASSERT_EQ(ippsThreshold_64f_I(out.data(), len, -10.0, op), ippStsNoErr);
        for (int i = 0; i < len; ++i) ASSERT_EQ(out[i], model(a[i], -10.0));
        outf = af;
        ASSERT_EQ(ippsThreshold_32f_I(outf.data(), len, 5.0f, op), ippStsNoErr);
        for (int i = 0; i < len; ++i) ASSERT_EQ(outf[i], (float)model(af[i], 5.0f));

        ASSERT_EQ(ippsThreshold_64fc(ca.data(), cout.data(), len, 60.0, op), ippStsNoErr);
        std::vector<Ipp64fc> cio = ca;
        ASSERT_EQ(ippsThreshold_64fc_I(cio.data(), len, 60.0, op), ippStsNoErr);
        for (int i = 0; i < len; ++i) {
          const C z(ca[i].re, ca[i].im), got(cout[i].re, cout[i].im);
          const bool hit = op == ippCmpLess ? std::abs(z) < 60 : std::abs(z) > 60;
          const C want = hit ? std::polar(60.0, std::arg(z)) : z;
          ASSERT_LE(std::abs(got - want), 1e-12 * std::abs(want)) << i;
          ASSERT_TRUE(cio[i].re == cout[i].re && cio[i].im == cout[i].im);
        }
      }
      std::vector<double> withNan = a;
      withNan[len / 2] = NAN;
      for (IppCmpOp op : {ippCmpLess, ippCmpGreater}) {
        ASSERT_EQ(ippsThreshold_64f(withNan.data(), out.data(), len, 0.0, op), ippStsNoErr);
        ASSERT_TRUE(std::isnan(out[len / 2])) << "NaN is neither below nor above the level";
      }
      const auto n = RandInt<Ipp32s>(len);
      std::vector<Ipp32s> io = n;
      ASSERT_EQ(ippsThreshold_LT_32s_I(io.data(), len, -5), ippStsNoErr);
      for (int i = 0; i < len; ++i) ASSERT_EQ(io[i], std::max(n[i], -5));
      io = n;
      ASSERT_EQ(ippsThreshold_GT_32s_I(io.data(), len, 7), ippStsNoErr);
      for (int i = 0; i < len; ++i) ASSERT_EQ(io[i], std::min(n[i], 7));
    }
  });
}

TEST(ElementwiseStats, SpecificStatuses) {
  double x[4] = {1, 2, 3, 4}, r = 0;
  EXPECT_EQ(ippsStdDev_64f(x, 1, &r), ippStsSizeErr) << "sample deviation needs two values";
  ASSERT_EQ(ippsStdDev_64f(x, 4, &r), ippStsNoErr);
  EXPECT_NEAR(r, std::sqrt(5.0 / 3.0), 1e-15) << "divides by len - 1";
  double out[4] = {9, 9, 9, 9};
  EXPECT_EQ(ippsNormalize_64f(x, out, 4, 0, 0), ippStsDivByZeroErr);
  EXPECT_EQ(ippsNormalize_64f(x, out, 4, 0, 1e-310), ippStsDivByZeroErr);
  float xf[2] = {1, 2}, of[2] = {9, 9};
  EXPECT_EQ(ippsNormalize_32f(xf, of, 2, 0, 1e-39f), ippStsDivByZeroErr);
  EXPECT_EQ(ippsNormalize_64fc(reinterpret_cast<Ipp64fc*>(x), reinterpret_cast<Ipp64fc*>(out), 2, Ipp64fc{0, 0}, 0.0),
            ippStsDivByZeroErr);
  EXPECT_EQ(out[0], 9.0) << "nothing written";
  for (IppCmpOp bad : {ippCmpLessEq, ippCmpEq, ippCmpGreaterEq}) {
    EXPECT_EQ(ippsThreshold_64f(x, out, 4, 1, bad), ippStsBadArgErr);
    EXPECT_EQ(ippsThreshold_64f_I(x, 4, 1, bad), ippStsBadArgErr);
    EXPECT_EQ(ippsThreshold_32f_I(xf, 2, 1, bad), ippStsBadArgErr);
    EXPECT_EQ(ippsThreshold_64fc_I(reinterpret_cast<Ipp64fc*>(x), 2, 1, bad), ippStsBadArgErr);
  }
  EXPECT_EQ(ippsThreshold_64fc(reinterpret_cast<Ipp64fc*>(x), reinterpret_cast<Ipp64fc*>(out), 2, -1, ippCmpLess),
            ippStsThreshNegLevelErr);
  Ipp64fc zero[1] = {{0, 0}};
  ASSERT_EQ(ippsThreshold_64fc_I(zero, 1, 2.0, ippCmpLess), ippStsNoErr);
  EXPECT_TRUE(zero[0].re == 2.0 && zero[0].im == 0.0) << "a zero takes the level with phase 0";
}

TEST(ElementwiseStats, StandardStatuses) {
  EW_EXPECT_STATUSES(ippsSum_64f);
  EW_EXPECT_STATUSES(ippsMean_32f);
  EW_EXPECT_STATUSES(ippsMean_64f);
  EW_EXPECT_STATUSES(ippsStdDev_64f);
  EW_EXPECT_STATUSES(ippsMax_64f);
  EW_EXPECT_STATUSES(ippsMin_64f);
  EW_EXPECT_STATUSES(ippsMinMax_64f);
  EW_EXPECT_STATUSES(ippsMaxIndx_64f, 0b1000u);
  EW_EXPECT_STATUSES(ippsMinIndx_64f, 0b1000u);
  EW_EXPECT_STATUSES(ippsDotProd_32s_Sfs);
  EW_EXPECT_STATUSES(ippsDotProd_64f);
  EW_EXPECT_STATUSES(ippsDotProd_64fc);
  EW_EXPECT_STATUSES(ippsNormDiff_L1_64f);
  EW_EXPECT_STATUSES(ippsNormDiff_L2_64f);
  EW_EXPECT_STATUSES(ippsNormDiff_Inf_64f);
  EW_EXPECT_STATUSES(ippsNorm_L2_64fc64f);
  EW_EXPECT_STATUSES(ippsNormalize_32f);
  EW_EXPECT_STATUSES(ippsNormalize_64f);
  EW_EXPECT_STATUSES(ippsNormalize_64fc);
  EW_EXPECT_STATUSES(ippsThreshold_32f_I);
  EW_EXPECT_STATUSES(ippsThreshold_64f);
  EW_EXPECT_STATUSES(ippsThreshold_64f_I);
  EW_EXPECT_STATUSES(ippsThreshold_64fc);
  EW_EXPECT_STATUSES(ippsThreshold_64fc_I);
  EW_EXPECT_STATUSES(ippsThreshold_LT_32s_I);
  EW_EXPECT_STATUSES(ippsThreshold_GT_32s_I);
}
