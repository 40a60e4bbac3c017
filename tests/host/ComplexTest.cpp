#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <limits>
#include <ostream>
#include <vector>

#include "host/Quenra.Math.Complex.h"

namespace fundrel {
void PrintTo(const TComplex& A, std::ostream* AOut) { *AOut << "(" << A.re << ", " << A.im << ")"; }
}  // namespace fundrel

using namespace fundrel;

namespace {

using StdC = std::complex<double>;

// Agreement to a few ulps of the larger operand scale, the accuracy of one rounded operation.
void ExpectNear(const TComplex& AActual, StdC AExpected, double AScale, const char* AWhat) {
  double tol = 4 * std::numeric_limits<double>::epsilon() * AScale;
  EXPECT_NEAR(AActual.re, AExpected.real(), tol) << AWhat;
  EXPECT_NEAR(AActual.im, AExpected.imag(), tol) << AWhat;
}

std::vector<TComplex> Samples() {
  return {{1, 2}, {-3.5, 0.25}, {0, -1}, {1e-3, 7e2}, {-2, -2}, {123.456, -0.001}, {0.5, 0}};
}

}  // namespace

TEST(Complex, LayoutMatchesDoublePairs) {
  constexpr TComplex z(1.5, -2.0);
  static_assert(z.re == 1.5 && z.im == -2.0);
  static_assert(Square(TComplex(1, 2)) == TComplex(-3, 4));
  static_assert(TComplex(1, 2) * TComplex(3, 4) == TComplex(-5, 10));
  static_assert(2.0 - TComplex(1, 1) == TComplex(1, -1));

  TComplex values[3] = {{1, 2}, {3, 4}, {5, 6}};
  double flat[6];
  std::memcpy(flat, values, sizeof values);
  EXPECT_EQ(std::vector<double>(flat, flat + 6), (std::vector<double>{1, 2, 3, 4, 5, 6}));

  // What an interleaved primitive writes through a double pointer reads back as complex values.
  const double written[4] = {7, 8, 9, 10};
  TComplex back[2];
  std::memcpy(back, written, sizeof written);
  EXPECT_EQ(back[0], TComplex(7, 8));
  EXPECT_EQ(back[1], TComplex(9, 10));

  StdC s = static_cast<StdC>(TComplex(3, -4));
  EXPECT_EQ(s, StdC(3, -4));
  EXPECT_EQ(TComplex(StdC(-1, 0.5)), TComplex(-1, 0.5));
}

TEST(Complex, ArithmeticAgreesWithStdComplex) {
  for (TComplex a : Samples()) {
    for (TComplex b : Samples()) {
      StdC sa = static_cast<StdC>(a), sb = static_cast<StdC>(b);
      double scale = std::max(std::abs(sa), 1.0) * std::max(std::abs(sb), 1.0);
      ExpectNear(a + b, sa + sb, scale, "+");
      ExpectNear(a - b, sa - sb, scale, "-");
      ExpectNear(a * b, sa * sb, scale, "*");
      ExpectNear(a / b, sa / sb, std::abs(sa / sb) + 1.0, "/");
      TComplex c = a;
      c *= b;
      c /= b;
      ExpectNear(c, sa, scale, "*= then /=");
      c += b;
      c -= a;
      ExpectNear(c, sb, scale, "+= then -=");
    }
    StdC sa = static_cast<StdC>(a);
    for (double d : {2.0, -0.5, 1e-3}) {
      ExpectNear(a + d, sa + d, std::abs(sa) + 1, "z + d");
      ExpectNear(d + a, d + sa, std::abs(sa) + 1, "d + z");
      ExpectNear(a - d, sa - d, std::abs(sa) + 1, "z - d");
      ExpectNear(d - a, d - sa, std::abs(sa) + 1, "d - z");
      ExpectNear(a * d, sa * d, std::abs(sa) + 1, "z * d");
      ExpectNear(d * a, d * sa, std::abs(sa) + 1, "d * z");
      ExpectNear(a / d, sa / d, std::abs(sa / d) + 1, "z / d");
      ExpectNear(d / a, d / sa, std::abs(d / sa) + 1, "d / z");
    }
    EXPECT_EQ(-a, TComplex(-a.re, -a.im));
    EXPECT_EQ(Conjugate(a), TComplex(a.re, -a.im));
    ExpectNear(Square(a), sa * sa, std::norm(sa) + 1, "Square");
  }
}

TEST(Complex, FunctionsAreThePrincipalValues) {
  for (TComplex a : Samples()) {
    StdC sa = static_cast<StdC>(a);
    EXPECT_DOUBLE_EQ(Abs(a), std::abs(sa));
    EXPECT_DOUBLE_EQ(Arg(a), std::arg(sa));
    TComplex root = SquareRoot(a);
    EXPECT_GE(root.re, 0.0);
    ExpectNear(Square(root), sa, std::abs(sa) * 4, "SquareRoot squared");
    ExpectNear(Exp(a), std::exp(sa), std::abs(std::exp(sa)) * 4, "Exp");
    ExpectNear(Ln(a), std::log(sa), std::abs(std::log(sa)) * 4 + 1, "Ln");
    ExpectNear(Exp(Ln(a)), sa, std::abs(sa) * 8, "Exp(Ln)");
    ExpectNear(Power(a, 2.0), sa * sa, std::norm(sa) * 8 + 1, "Power real");
    ExpectNear(Power(a, TComplex(0.5, 0)), std::sqrt(sa), std::abs(sa) * 8 + 1, "Power complex");
  }
  // The cut along the negative real axis: the sign of a zero imaginary part picks the side.
  EXPECT_EQ(SquareRoot(TComplex(-4, 0.0)), TComplex(0, 2));
  EXPECT_EQ(SquareRoot(TComplex(-4, -0.0)), TComplex(0, -2));
  EXPECT_DOUBLE_EQ(Arg(TComplex(-1, 0.0)), M_PI);
  EXPECT_DOUBLE_EQ(Arg(TComplex(-1, -0.0)), -M_PI);
  // Magnitudes beyond the square root of the largest double do not overflow.
  EXPECT_DOUBLE_EQ(Abs(TComplex(3e300, 4e300)), 5e300);
  ExpectNear(Expj(M_PI / 2), StdC(0, 1), 1, "Expj");
  ExpectNear(Polar(2, M_PI), StdC(-2, 0), 2, "Polar");
  ExpectNear(Polar(-2, 0), StdC(-2, 0), 2, "Polar negative magnitude");
}

TEST(Complex, DivisionByZeroGivesIeeeValues) {
  TComplex byComplexZero = TComplex(1, 0) / TComplex(0, 0);
  EXPECT_TRUE(std::isinf(byComplexZero.re));
  TComplex zeroByZero = TComplex(0, 0) / TComplex(0, 0);
  EXPECT_TRUE(std::isnan(zeroByZero.re) && std::isnan(zeroByZero.im));
  TComplex byRealZero = TComplex(1, -1) / 0.0;
  EXPECT_EQ(byRealZero.re, std::numeric_limits<double>::infinity());
  EXPECT_EQ(byRealZero.im, -std::numeric_limits<double>::infinity());
  TComplex nan(std::nan(""), 0);
  EXPECT_FALSE(nan == nan);
  EXPECT_TRUE(nan != nan);
  // Huge operands divide without overflowing an intermediate.
  ExpectNear(TComplex(1e300, 1e300) / TComplex(1e300, 1e300), StdC(1, 0), 1, "huge / huge");
}
