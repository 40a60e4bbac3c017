// Elementary functions: Abs/Sqr/Sqrt against naive loops, Exp and Ln within one ulp of the C
// library over the whole double range and its special values, and the warning statuses.
#include <cfloat>
#include <complex>

#include "tests/platform/ipp/ElementwiseTest.h"

using namespace ewtest;

namespace {

// Distance in units in the last place between two doubles of the same sign class; NaN matches NaN.
int64_t UlpDistance(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return (std::isnan(a) && std::isnan(b)) ? 0 : INT64_MAX;
  auto ordered = [](double x) {
    int64_t i;
    std::memcpy(&i, &x, 8);
    return i < 0 ? INT64_MIN - i : i;  // monotone over the doubles, -0 and +0 adjacent
  };
  const int64_t ia = ordered(a), ib = ordered(b);
  return ia > ib ? ia - ib : ib - ia;
}

std::vector<double> Specials() {
  return {0.0, -0.0, 1.0, -1.0, INFINITY, -INFINITY, NAN, DBL_MAX, -DBL_MAX, DBL_MIN, -DBL_MIN, 4.9e-324, -4.9e-324,
          709.78, 709.7827128933840, 709.79, -708.4, -708.5, -745.13, -745.2, 708.0, -708.0, 1e-300, 2.0, 0.5};
}

void ExpectWithinOneUlp(const char* name, const std::vector<double>& x, const std::vector<double>& got,
                        double (*ref)(double)) {
  int64_t worst = 0;
  size_t at = 0;
  for (size_t i = 0; i < x.size(); ++i) {
    const int64_t d = UlpDistance(got[i], ref(x[i]));
    if (d > worst) worst = d, at = i;
  }
  EXPECT_LE(worst, 1) << name << " at x = " << x[at] << ": got " << got[at] << " want " << ref(x[at]);
}

}  // namespace

TEST(ElementwiseElem, ExpAndLnWithinOneUlpOfTheCLibrary) {
  // Exp over its whole range plus dense around 0; Ln over random bit patterns of positive doubles
  // (every binade, subnormals included), values near 1 and the special values.
  std::uniform_real_distribution<double> wide(-746, 710), narrow(-2, 2);
  std::uniform_int_distribution<uint64_t> bitsDist(1, 0x7FEFFFFFFFFFFFFFull);
  std::vector<double> ex, lx;
  for (int i = 0; i < 60000; ++i) ex.push_back(i % 2 ? wide(Rng()) : narrow(Rng()));
  for (int i = 0; i < 60000; ++i) {
    uint64_t b = bitsDist(Rng());
    double v;
    std::memcpy(&v, &b, 8);
    lx.push_back(i % 3 ? v : 1.0 + narrow(Rng()) * std::pow(10.0, -(i % 15) - 1));
  }
  for (double s : Specials()) ex.push_back(s), lx.push_back(s);
  ForEachTarget([&] {
    std::vector<double> got(ex.size());
    ASSERT_EQ(ippsExp_64f(ex.data(), got.data(), static_cast<int>(ex.size())), ippStsNoErr);
    ExpectWithinOneUlp("Exp", ex, got, [](double v) { return std::exp(v); });
    got = ex;
    ASSERT_EQ(ippsExp_64f_I(got.data() + 1, static_cast<int>(ex.size()) - 1), ippStsNoErr);
    got.erase(got.begin());
    ExpectWithinOneUlp("Exp_I", std::vector<double>(ex.begin() + 1, ex.end()), got, [](double v) { return std::exp(v); });

    got.assign(lx.size(), 0);
    // The specials hold a zero before the first negative: the zero's warning is reported.
    ASSERT_EQ(ippsLn_64f(lx.data(), got.data(), static_cast<int>(lx.size())), ippStsLnZeroArg);
    ExpectWithinOneUlp("Ln", lx, got, [](double v) { return std::log(v); });
    got = lx;
    ASSERT_EQ(ippsLn_64f_I(got.data(), 60000), ippStsNoErr);
    got.resize(60000);
    ExpectWithinOneUlp("Ln_I", std::vector<double>(lx.begin(), lx.begin() + 60000), got, [](double v) { return std::log(v); });
  });
}

TEST(ElementwiseElem, LnAndSqrtReportDomainWarnings) {
  ForEachTarget([] {
    for (int len : {1, 3, 9, 40}) {
      for (int at : {0, len - 1}) {
        std::vector<double> x = RandF64(len, 0.5, 3), y(len);
        EXPECT_EQ(ippsLn_64f(x.data(), y.data(), len), ippStsNoErr);
        EXPECT_EQ(ippsSqrt_64f(x.data(), y.data(), len), ippStsNoErr);
        x[at] = 0.0;
        EXPECT_EQ(ippsLn_64f(x.data(), y.data(), len), ippStsLnZeroArg);
        EXPECT_EQ(y[at], -INFINITY);
        EXPECT_EQ(ippsSqrt_64f(x.data(), y.data(), len), ippStsNoErr) << "sqrt(0) is fine";
        x[at] = -0.0;
        EXPECT_EQ(ippsSqrt_64f(x.data(), y.data(), len), ippStsNoErr) << "sqrt(-0) is fine";
        x[at] = -2.0;
        EXPECT_EQ(ippsLn_64f(x.data(), y.data(), len), ippStsLnNegArg);
        EXPECT_TRUE(std::isnan(y[at]));
        EXPECT_EQ(ippsSqrt_64f_I(x.data(), len), ippStsSqrtNegArg);
        EXPECT_TRUE(std::isnan(x[at]));
        x[at] = NAN;
        EXPECT_EQ(ippsLn_64f(x.data(), y.data(), len), ippStsNoErr) << "NaN is not negative";
      }
    }
  });
}

TEST(ElementwiseElem, AbsSqrSqrtMatchNaiveLoops) {
  ForEachTarget([] {
    for (int len : Lengths()) {
      auto a = RandF64(len);
      a[0] = -0.0;
      Buf<double> src(len, 1), dst(len, 2);
      auto check = [&](const char* name, IppStatus sts, Buf<double>& got, auto model) {
        ASSERT_GE(sts, ippStsNoErr) << name;
        for (int i = 0; i < len; ++i) {
          const double want = model(a[i]);
          ASSERT_TRUE(Same(got[i], want) && std::signbit(got[i]) == std::signbit(want)) << name << " i " << i;
        }
        src.Assign(a);
      };
      src.Assign(a);
      check("Abs", ippsAbs_64f(src.data(), dst.data(), len), dst, [](double x) { return std::fabs(x); });
      check("Abs_I", ippsAbs_64f_I(src.data(), len), src, [](double x) { return std::fabs(x); });
      check("Sqr", ippsSqr_64f(src.data(), dst.data(), len), dst, [](double x) { return x * x; });
      check("Sqr_I", ippsSqr_64f_I(src.data(), len), src, [](double x) { return x * x; });
      check("Sqrt", ippsSqrt_64f(src.data(), dst.data(), len), dst, [](double x) { return std::sqrt(x); });
      check("Sqrt_I", ippsSqrt_64f_I(src.data(), len), src, [](double x) { return std::sqrt(x); });

      using C = std::complex<double>;
      const auto z = RandC64(len);
      std::vector<Ipp64fc> out(len), io = z;
      ASSERT_EQ(ippsSqr_64fc(z.data(), out.data(), len), ippStsNoErr);
      ASSERT_EQ(ippsSqr_64fc_I(io.data(), len), ippStsNoErr);
      for (int i = 0; i < len; ++i) {
        const C want = C(z[i].re, z[i].im) * C(z[i].re, z[i].im);
        ASSERT_LE(std::abs(C(out[i].re, out[i].im) - want), 1e-14 * std::abs(want)) << "Sqr_64fc is z*z, not |z|^2";
        ASSERT_LE(std::abs(C(io[i].re, io[i].im) - want), 1e-14 * std::abs(want));
      }
    }
  });
  // Principal complex roots, including the negative real axis and the signed zeros.
  std::vector<Ipp64fc> z = {{4, 0}, {-4, 0}, {-4, -0.0}, {0, 2}, {0, -2}, {3, 4}, {-3, -4}, {0, 0}}, r(z.size());
  const Ipp64fc want[] = {{2, 0}, {0, 2}, {0, -2}, {1, 1}, {1, -1}, {2, 1}, {1, -2}, {0, 0}};
  ASSERT_EQ(ippsSqrt_64fc(z.data(), r.data(), static_cast<int>(z.size())), ippStsNoErr);
  for (size_t i = 0; i < z.size(); ++i) {
    EXPECT_NEAR(r[i].re, want[i].re, 1e-15) << i;
    EXPECT_NEAR(r[i].im, want[i].im, 1e-15) << i;
    EXPECT_GE(r[i].re, 0.0);
  }
  ASSERT_EQ(ippsSqrt_64fc_I(z.data(), static_cast<int>(z.size())), ippStsNoErr);
  EXPECT_NEAR(z[5].re, 2.0, 1e-15);
}

TEST(ElementwiseElem, StandardStatuses) {
  EW_EXPECT_STATUSES(ippsAbs_64f);
  EW_EXPECT_STATUSES(ippsAbs_64f_I);
  EW_EXPECT_STATUSES(ippsSqr_64f);
  EW_EXPECT_STATUSES(ippsSqr_64f_I);
  EW_EXPECT_STATUSES(ippsSqr_64fc);
  EW_EXPECT_STATUSES(ippsSqr_64fc_I);
  EW_EXPECT_STATUSES(ippsSqrt_64f);
  EW_EXPECT_STATUSES(ippsSqrt_64f_I);
  EW_EXPECT_STATUSES(ippsSqrt_64fc);
  EW_EXPECT_STATUSES(ippsSqrt_64fc_I);
  EW_EXPECT_STATUSES(ippsExp_64f);
  EW_EXPECT_STATUSES(ippsExp_64f_I);
  EW_EXPECT_STATUSES(ippsLn_64f);
  EW_EXPECT_STATUSES(ippsLn_64f_I);
}
