#include "host/Quenra.Math.Complex.h"

#include <cmath>

namespace fundrel {

namespace {
std::complex<double> Std(const TComplex& A) { return static_cast<std::complex<double>>(A); }
}  // namespace

// The library's complex division scales the operands and recovers infinities the way C's
// Annex G prescribes, which a hand-written formula would have to repeat.
TComplex& TComplex::operator/=(const TComplex& A) { return *this = TComplex(Std(*this) / Std(A)); }

double Abs(const TComplex& A) { return std::hypot(A.re, A.im); }
double Arg(const TComplex& A) { return std::atan2(A.im, A.re); }
TComplex SquareRoot(const TComplex& A) { return TComplex(std::sqrt(Std(A))); }
TComplex Exp(const TComplex& A) { return TComplex(std::exp(Std(A))); }
TComplex Ln(const TComplex& A) { return TComplex(std::log(Std(A))); }
TComplex Power(const TComplex& A, const TComplex& B) { return TComplex(std::pow(Std(A), Std(B))); }
TComplex Power(const TComplex& A, double B) { return TComplex(std::pow(Std(A), B)); }
TComplex Polar(double AMagnitude, double APhase) {
  return {AMagnitude * std::cos(APhase), AMagnitude * std::sin(APhase)};
}
TComplex Expj(double APhase) { return {std::cos(APhase), std::sin(APhase)}; }

}  // namespace fundrel
