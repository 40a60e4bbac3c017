// Conversions against the C++ casts and rounding functions on every SIMD target, including values
// beyond the destination range, ties, infinities and NaN.
#include <cfenv>
#include <cfloat>

#include "tests/platform/ipp/ElementwiseTest.h"

using namespace ewtest;

namespace {
// Doubles over many magnitudes with the interesting ones sprinkled in.
std::vector<double> Mixed(int len) {
  auto v = Rand<double>(len, -1, 1);
  const double specials[] = {0.5, 1.5, 2.5, -2.5, 3.5, -0.5, 2147483647.5, 2147483648.0, -2147483648.5, -2147483649.0, 3e9, -3e9,
                             1e300, -1e300, INFINITY, -INFINITY, NAN, 3.5e38, -3.5e38, 3.4028235e38, 1e-320, -0.0};
  for (int i = 0; i < len; ++i) v[i] = i % 3 ? std::ldexp(v[i], (i * 7) % 70 - 20) : specials[(i / 3) % std::size(specials)];
  return v;
}
Ipp32s Clamp32(double r) { return std::isnan(r) ? 0 : r >= 2147483647.0 ? IPP_MAX_32S : r <= -2147483648.0 ? IPP_MIN_32S : Ipp32s(r); }
}  // namespace

TEST(ElementwiseConvert, FloatToIntegerRoundsByModeAndSaturates) {
  ForEachTarget([] {
    for (int len : kLengths) {
      const auto x = Mixed(len);
      std::vector<float> xf(len);
      for (int i = 0; i < len; ++i) xf[i] = static_cast<float>(std::fmin(std::fmax(x[i], -1e38), 1e38));
      std::vector<Ipp32s> out(len), outf(len);
      for (int sf : {0, 2, -3}) {
        for (IppRoundMode mode : {ippRndZero, ippRndNear, ippRndFinancial}) {
          auto model = [&](double v) {
            const double s = std::ldexp(v, -sf);
            return Clamp32(mode == ippRndZero ? std::trunc(s) : mode == ippRndNear ? std::nearbyint(s) : std::round(s));
          };
          ASSERT_EQ(ippsConvert_64f32s_Sfs(x.data(), out.data(), len, mode, sf), ippStsNoErr);
          ASSERT_EQ(ippsConvert_32f32s_Sfs(xf.data(), outf.data(), len, mode, sf), ippStsNoErr);
          for (int i = 0; i < len; ++i) {
            ASSERT_EQ(out[i], model(x[i])) << x[i] << " mode " << mode << " sf " << sf;
            ASSERT_EQ(outf[i], model(xf[i])) << xf[i] << " mode " << mode << " sf " << sf;
          }
        }
      }
    }
  });
  Ipp32s untouched[2] = {9, 9};
  EXPECT_LT(ippsConvert_64f32s_Sfs(std::vector<double>{1, 2}.data(), untouched, 2, static_cast<IppRoundMode>(7), 0), 0);
  EXPECT_EQ(untouched[0], 9);
}

TEST(ElementwiseConvert, WideningIsExactAndNarrowingSaturatesFiniteValues) {
  auto same = [](auto g, auto w) { return Same(g, w); };
  auto cvt = [](auto fn) { return [=](auto* x, auto*, auto* d, int n) { return fn(x, d, n); }; };
  ForEachTarget([&] {
    for (int len : kLengths) {
      const auto x = Mixed(len);  // the bare conversion of long vectors is redone when some value overflows
      std::vector<float> f(len);
      ASSERT_EQ(ippsConvert_64f32f(x.data(), f.data(), len), ippStsNoErr);
      for (int i = 0; i < len; ++i) {
        const double c = std::isinf(x[i]) ? x[i] : std::fmax(-FLT_MAX, std::fmin(FLT_MAX, x[i]));
        ASSERT_TRUE(Same(f[i], std::isnan(x[i]) ? x[i] : static_cast<float>(c))) << x[i] << " gave " << f[i];
      }
    }
    SweepMap<double, double, float>("Convert_64f32f", cvt(ippsConvert_64f32f), [](double a, double) { return float(a); }, same, -1e30, 1e30);
    SweepMap<float, float, double>("Convert_32f64f", cvt(ippsConvert_32f64f), [](float a, float) { return double(a); }, same);
    SweepMap<Ipp32s, Ipp32s, float>("Convert_32s32f", cvt(ippsConvert_32s32f), [](Ipp32s a, Ipp32s) { return float(a); }, same);
    SweepMap<Ipp32s, Ipp32s, double>("Convert_32s64f", cvt(ippsConvert_32s64f), [](Ipp32s a, Ipp32s) { return double(a); }, same);
    for (int sf : {0, 3, -4}) {
      SweepMap<Ipp16s, Ipp16s, double>("Convert_16s64f", [sf](Ipp16s* x, Ipp16s*, double* d, int n) { return ippsConvert_16s64f_Sfs(x, d, n, sf); },
                                       [sf](Ipp16s a, Ipp16s) { return std::ldexp(double(a), -sf); }, same);
    }
  });
}

TEST(ElementwiseConvert, SaturationLeavesTheCallersFloatingPointFlagsAlone) {
  std::vector<double> big(1000, 1e300);
  std::vector<float> f(1000);
  std::feclearexcept(FE_ALL_EXCEPT);
  ASSERT_EQ(ippsConvert_64f32f(big.data(), f.data(), 1000), ippStsNoErr);
  EXPECT_EQ(f[999], FLT_MAX);
  EXPECT_FALSE(std::fetestexcept(FE_OVERFLOW));
  std::feraiseexcept(FE_OVERFLOW);
  ASSERT_EQ(ippsConvert_64f32f(big.data(), f.data(), 1000), ippStsNoErr);
  EXPECT_TRUE(std::fetestexcept(FE_OVERFLOW)) << "a flag raised before the call survives it";
  std::feclearexcept(FE_ALL_EXCEPT);
  feenableexcept(FE_OVERFLOW);  // a caller trapping on overflow gets no SIGFPE either
  const IppStatus trapped = ippsConvert_64f32f(big.data(), f.data(), 1000);
  fedisableexcept(FE_OVERFLOW);
  EXPECT_TRUE(trapped == ippStsNoErr && f[0] == FLT_MAX);
  std::feclearexcept(FE_ALL_EXCEPT);
}

TEST(ElementwiseConvert, StandardStatuses) {
  EW_EXPECT_STATUSES(ippsConvert_16s64f_Sfs, ippsConvert_32f32s_Sfs, ippsConvert_32f64f, ippsConvert_32s32f, ippsConvert_32s64f,
                     ippsConvert_64f32f, ippsConvert_64f32s_Sfs);
}
