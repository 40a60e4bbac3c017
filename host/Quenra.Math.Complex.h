// Complex numbers of two doubles, real part first.
//
// TComplex has the memory layout of double[2] and of std::complex<double>, so arrays of it can be
// handed to vector primitives that take interleaved complex doubles. Arithmetic follows IEEE
// double rules and never throws: dividing by zero yields infinities or NaNs.
#pragma once

#include <complex>
#include <cstddef>
#include <type_traits>

#include "host/Quenra.Config.h"

namespace fundrel {

struct TComplex {
  double re = 0.0;
  double im = 0.0;

  constexpr TComplex() = default;
  // A real number is the complex number with imaginary part 0, so the conversion is implicit.
  constexpr TComplex(double ARe, double AIm = 0.0) : re(ARe), im(AIm) {}
  constexpr explicit TComplex(const std::complex<double>& AValue) : re(AValue.real()), im(AValue.imag()) {}
  constexpr explicit operator std::complex<double>() const { return {re, im}; }

  constexpr TComplex operator-() const { return {-re, -im}; }
  constexpr TComplex operator+() const { return *this; }

  constexpr TComplex& operator+=(const TComplex& A) {
    re += A.re;
    im += A.im;
    return *this;
  }
  constexpr TComplex& operator-=(const TComplex& A) {
    re -= A.re;
    im -= A.im;
    return *this;
  }
  constexpr TComplex& operator*=(const TComplex& A) {
    double r = re * A.re - im * A.im;
    im = re * A.im + im * A.re;
    re = r;
    return *this;
  }
  TComplex& operator/=(const TComplex& A);

  constexpr TComplex& operator+=(double A) {
    re += A;
    return *this;
  }
  constexpr TComplex& operator-=(double A) {
    re -= A;
    return *this;
  }
  constexpr TComplex& operator*=(double A) {
    re *= A;
    im *= A;
    return *this;
  }
  constexpr TComplex& operator/=(double A) {
    re /= A;
    im /= A;
    return *this;
  }

  // Both parts compare with ==, so a NaN part makes the numbers unequal.
  constexpr bool operator==(const TComplex&) const = default;
};

static_assert(sizeof(TComplex) == 2 * sizeof(double));
static_assert(offsetof(TComplex, re) == 0 && offsetof(TComplex, im) == sizeof(double));
static_assert(std::is_standard_layout_v<TComplex> && std::is_trivially_copyable_v<TComplex>);
static_assert(sizeof(TComplex) == sizeof(std::complex<double>) && alignof(TComplex) == alignof(std::complex<double>));

constexpr TComplex operator+(TComplex A, const TComplex& B) { return A += B; }
constexpr TComplex operator-(TComplex A, const TComplex& B) { return A -= B; }
// The textbook product: finite operands give the exact formula's result, without the
// infinity recovery of C's Annex G (a hot path in filters and spectra).
constexpr TComplex operator*(TComplex A, const TComplex& B) { return A *= B; }
// Scaled to avoid overflow, with IEEE infinities for a zero divisor.
inline TComplex operator/(TComplex A, const TComplex& B) { return A /= B; }

constexpr TComplex operator+(TComplex A, double B) { return A += B; }
constexpr TComplex operator-(TComplex A, double B) { return A -= B; }
constexpr TComplex operator*(TComplex A, double B) { return A *= B; }
constexpr TComplex operator/(TComplex A, double B) { return A /= B; }

constexpr TComplex operator+(double A, const TComplex& B) { return {A + B.re, B.im}; }
constexpr TComplex operator-(double A, const TComplex& B) { return {A - B.re, -B.im}; }
constexpr TComplex operator*(double A, const TComplex& B) { return {A * B.re, A * B.im}; }
inline TComplex operator/(double A, const TComplex& B) { return TComplex(A) / B; }

constexpr TComplex Conjugate(const TComplex& A) { return {A.re, -A.im}; }
constexpr TComplex Square(const TComplex& A) { return {A.re * A.re - A.im * A.im, 2.0 * A.re * A.im}; }

// Magnitude, without overflow for large parts.
FUNDREL_API double Abs(const TComplex& A);
// Phase angle in radians, in [-pi, pi].
FUNDREL_API double Arg(const TComplex& A);
// Principal square root: real part >= 0, cut along the negative real axis.
FUNDREL_API TComplex SquareRoot(const TComplex& A);
FUNDREL_API TComplex Exp(const TComplex& A);
// Principal natural logarithm: imaginary part in [-pi, pi]; Ln(0) is (-inf, 0).
FUNDREL_API TComplex Ln(const TComplex& A);
// Principal value of A raised to B.
FUNDREL_API TComplex Power(const TComplex& A, const TComplex& B);
FUNDREL_API TComplex Power(const TComplex& A, double B);
// AMagnitude * e^(j*APhase); Expj(t) is the point at angle t on the unit circle.
FUNDREL_API TComplex Polar(double AMagnitude, double APhase);
FUNDREL_API TComplex Expj(double APhase);

}  // namespace fundrel
