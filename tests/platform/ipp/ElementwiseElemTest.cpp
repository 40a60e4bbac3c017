// Elementary functions: Abs/Sqr/Sqrt against naive loops, Exp and Ln within one ulp of the C
// library over the whole double range and its special values, and the warning statuses.
#include <cfloat>

#include "tests/platform/ipp/ElementwiseTest.h"

using namespace ewtest;

namespace {
// Distance in units in the last place; NaN matches NaN, -0 and +0 are adjacent.
int64_t UlpDistance(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) return (std::isnan(a) && std::isnan(b)) ? 0 : INT64_MAX;
  auto ordered = [](double x) {
    int64_t i;
    std::memcpy(&i, &x, 8);
    return i < 0 ? INT64_MIN - i : i;
  };
  return std::abs(ordered(a) - ordered(b));
}
void ExpectWithinOneUlp(const char* name, const std::vector<double>& x, const std::vector<double>& got, double (*ref)(double)) {
  for (size_t i = 0; i < x.size(); ++i) ASSERT_LE(UlpDistance(got[i], ref(x[i])), 1) << name << "(" << x[i] << ") = " << got[i];
}
}  // namespace

TEST(ElementwiseElem, ExpAndLnWithinOneUlpOfTheCLibrary) {
  // Exp over its whole range, dense around 0; Ln over random bit patterns of positive doubles
  // (every binade, subnormals included) and values near 1; both with the special values.
  std::uniform_real_distribution<double> wide(-746, 710), narrow(-1, 1);
  std::uniform_int_distribution<uint64_t> bits(1, 0x7FEFFFFFFFFFFFFFull);
  std::vector<double> ex, lx;
  for (int i = 0; i < 60000; ++i) {
    ex.push_back(i % 2 ? wide(Rng()) : 2 * narrow(Rng()));
    uint64_t b = bits(Rng());
    double v;
    std::memcpy(&v, &b, 8);
    lx.push_back(i % 3 ? v : 1.0 + narrow(Rng()) * std::pow(10.0, -(i % 16)));
  }
  for (double s : std::initializer_list<double>{0.0, -0.0, 1.0, -1.0, INFINITY, -INFINITY, NAN, DBL_MAX, -DBL_MAX, DBL_MIN, 4.9e-324, 709.7827128933840, 709.79,
                   -708.4, -745.13, -745.2, 708.0, -708.0, 1e-300}) {
    ex.push_back(s);
    lx.push_back(s);
  }
  const int n = static_cast<int>(ex.size());
  ForEachTarget([&] {
    std::vector<double> got(n);
    ASSERT_EQ(ippsExp_64f(ex.data(), got.data(), n), ippStsNoErr);
    ExpectWithinOneUlp("Exp", ex, got, std::exp);
    // The specials hold a zero before the first negative: the zero's warning is reported.
    ASSERT_EQ(ippsLn_64f(lx.data(), got.data(), n), ippStsLnZeroArg);
    ExpectWithinOneUlp("Ln", lx, got, std::log);
    got = ex;
    ASSERT_EQ(ippsExp_64f_I(got.data(), n), ippStsNoErr);
    ExpectWithinOneUlp("Exp_I", ex, got, std::exp);
    got = lx;
    ASSERT_EQ(ippsLn_64f_I(got.data(), 60000), ippStsNoErr);
    got.resize(60000);
    ExpectWithinOneUlp("Ln_I", std::vector<double>(lx.begin(), lx.begin() + 60000), got, std::log);
  });
}

TEST(ElementwiseElem, DomainWarnings) {
  ForEachTarget([] {
    for (int len : {1, 3, 9, 40}) {
      for (int at : {0, len - 1}) {
        std::vector<double> x = Rand<double>(len, 0.5, 3), y(len);
        EXPECT_EQ(ippsLn_64f(x.data(), y.data(), len), ippStsNoErr);
        x[at] = -0.0;
        EXPECT_EQ(ippsSqrt_64f(x.data(), y.data(), len), ippStsNoErr) << "sqrt(-0) is fine";
        EXPECT_EQ(ippsLn_64f(x.data(), y.data(), len), ippStsLnZeroArg);
        EXPECT_EQ(y[at], -INFINITY);
        x[at] = -2.0;
        EXPECT_EQ(ippsLn_64f(x.data(), y.data(), len), ippStsLnNegArg);
        EXPECT_TRUE(std::isnan(y[at]));
        EXPECT_EQ(ippsSqrt_64f_I(x.data(), len), ippStsSqrtNegArg);
        EXPECT_TRUE(std::isnan(x[at]));
        EXPECT_EQ(ippsLn_64f(x.data(), y.data(), len), ippStsNoErr) << "NaN is not negative";
      }
    }
  });
}

TEST(ElementwiseElem, AbsSqrSqrtMatchNaiveLoops) {
  using D = double;
  using Z = Ipp64fc;
  // Bit-exact, signed zeros included.
  auto exact = [](D g, D w) { return Same(g, w) && (std::isnan(w) || std::signbit(g) == std::signbit(w)); };
  auto out = [](auto fn) { return [=](auto* x, auto*, auto* d, int n) { return fn(x, d, n); }; };
  auto inp = [](auto fn) { return [=](auto* x, auto*, auto* d, int n) { std::copy(x, x + n, d); return fn(d, n); }; };
  ForEachTarget([&] {
    SweepMap<D, D, D>("Abs", out(ippsAbs_64f), [](D a, D) { return std::fabs(a); }, exact);
    SweepMap<D, D, D>("Abs_I", inp(ippsAbs_64f_I), [](D a, D) { return std::fabs(a); }, exact);
    SweepMap<D, D, D>("Sqr", out(ippsSqr_64f), [](D a, D) { return a * a; }, exact);
    SweepMap<D, D, D>("Sqr_I", inp(ippsSqr_64f_I), [](D a, D) { return a * a; }, exact);
    SweepMap<D, D, D>("Sqrt", out(ippsSqrt_64f), [](D a, D) { return std::sqrt(a); }, exact);
    SweepMap<D, D, D>("Sqrt_I", inp(ippsSqrt_64f_I), [](D a, D) { return std::sqrt(a); }, exact);
    SweepMap<Z, Z, Z>("Sqr_64fc", out(ippsSqr_64fc), [](Z a, Z) { return Cx(a) * Cx(a); }, kNearC);
    SweepMap<Z, Z, Z>("Sqr_64fc_I", inp(ippsSqr_64fc_I), [](Z a, Z) { return Cx(a) * Cx(a); }, kNearC);
    SweepMap<Z, Z, Z>("Sqrt_64fc", out(ippsSqrt_64fc), [](Z a, Z) { return std::sqrt(Cx(a)); }, kNearC);
    SweepMap<Z, Z, Z>("Sqrt_64fc_I", inp(ippsSqrt_64fc_I), [](Z a, Z) { return std::sqrt(Cx(a)); }, kNearC);
  });
  // Principal roots on the axes, the negative real axis taking the sign of the zero imaginary part.
  std::vector<Ipp64fc> z = {{-4, 0}, {-4, -0.0}, {0, 2}, {3, 4}, {-3, -4}}, r(5);
  const Ipp64fc want[] = {{0, 2}, {0, -2}, {1, 1}, {2, 1}, {1, -2}};
  ASSERT_EQ(ippsSqrt_64fc(z.data(), r.data(), 5), ippStsNoErr);
  for (int i = 0; i < 5; ++i) EXPECT_LT(std::abs(Cx(r[i]) - Cx(want[i])), 1e-15) << i;
}

TEST(ElementwiseElem, StandardStatuses) {
  EW_EXPECT_STATUSES(ippsAbs_64f, ippsAbs_64f_I, ippsSqr_64f, ippsSqr_64f_I, ippsSqr_64fc, ippsSqr_64fc_I, ippsSqrt_64f, ippsSqrt_64f_I,
                     ippsSqrt_64fc, ippsSqrt_64fc_I, ippsExp_64f, ippsExp_64f_I, ippsLn_64f, ippsLn_64f_I);
}
