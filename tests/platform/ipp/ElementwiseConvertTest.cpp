// Conversions against the C++ casts and rounding functions on every SIMD target, including values
// beyond the destination range, ties, infinities and NaN.
#include <cfenv>
#include <cfloat>

#include "tests/platform/ipp/ElementwiseTest.h"

using namespace ewtest;

namespace {
// Doubles over many magnitudes with the interesting ones sprinkled in.
std::vector<double> Mixed(int len) {
  auto v = RandF64(len, -1, 1);
  const double specials[] = {0.5, 1.5, 2.5, -2.5, 3.5, -0.5, 2147483647.5, 2147483648.0, -2147483648.5, -2147483649.0, 3e9, -3e9,
                             1e300, -1e300, INFINITY, -INFINITY, NAN, 3.5e38, -3.5e38, 3.4028235e38, 1e-320, -0.0};
  for (int i = 0; i < len; ++i) {
    if (i % 3 == 0) v[i] = specials[(i / 3) % (sizeof specials / sizeof specials[0])];
    else v[i] = std::ldexp(v[i], (i * 7) % 70 - 20);
  }
  return v;
}
Ipp32s Clamp32(double r) {
  if (std::isnan(r)) return 0;
  return r >= 2147483647.0 ? IPP_MAX_32S : (r <= -2147483648.0 ? IPP_MIN_32S : static_cast<Ipp32s>(r));
}
}  // namespace

TEST(ElementwiseConvert, FloatToIntegerRoundsByModeAndSaturates) {
  ForEachTarget([] {
    for (int len : Lengths()) {
      const auto x = Mixed(len);
      std::vector<float> xf(len);
      for (int i = 0; i < len; ++i) xf[i] = static_cast<float>(std::fmin(std::fmax(x[i], -1e38), 1e38));
      for (int sf : {0, 2, -3}) {
        for (IppRoundMode mode : {ippRndZero, ippRndNear, ippRndFinancial}) {
          auto model = [&](double v) {
            const double s = std::ldexp(v, -sf);
            return Clamp32(mode == ippRndZero ? std::trunc(s) : (mode == ippRndNear ? std::nearbyint(s) : std::round(s)));
          };
          std::vector<Ipp32s> out(len);
          ASSERT_EQ(ippsConvert_64f32s_Sfs(x.data(), out.data(), len, mode, sf), ippStsNoErr);
          for (int i = 0; i < len; ++i) ASSERT_EQ(out[i], model(x[i])) << x[i] << " mode " << mode << " sf " << sf;
          ASSERT_EQ(ippsConvert_32f32s_Sfs(xf.data(), out.data(), len, mode, sf), ippStsNoErr);
          for (int i = 0; i < len; ++i) ASSERT_EQ(out[i], model(xf[i])) << xf[i] << " mode " << mode << " sf " << sf;
        }
      }
    }
  });
  const double ties[] = {2.5, 3.5, -2.5, 0.5, 3e9};
  Ipp32s out[5] = {};
  ASSERT_EQ(ippsConvert_64f32s_Sfs(ties, out, 5, ippRndNear, 0), ippStsNoErr);
  EXPECT_TRUE(out[0] == 2 && out[1] == 4 && out[2] == -2 && out[3] == 0 && out[4] == IPP_MAX_32S);
  Ipp32s untouched[5] = {9, 9, 9, 9, 9};
  EXPECT_LT(ippsConvert_64f32s_Sfs(ties, untouched, 5, static_cast<IppRoundMode>(7), 0), 0);
  EXPECT_EQ(untouched[0], 9);
}

TEST(ElementwiseConvert, WideningIsExactAndNarrowingIsNearestWithinFloatRange) {
  ForEachTarget([] {
    for (int len : Lengths()) {
      const auto x = Mixed(len);
      std::vector<float> f(len);
      ASSERT_EQ(ippsConvert_64f32f(x.data(), f.data(), len), ippStsNoErr);
      for (int i = 0; i < len; ++i) {
        const double c = std::isinf(x[i]) ? x[i] : x[i] > FLT_MAX ? FLT_MAX : (x[i] < -FLT_MAX ? -FLT_MAX : x[i]);
        ASSERT_TRUE(Same(f[i], static_cast<float>(c))) << x[i] << " gave " << f[i];
        ASSERT_EQ(std::isinf(f[i]), std::isinf(x[i])) << "finite values saturate instead of overflowing: " << x[i];
      }
      // Without out-of-range values (the bare conversion stands), infinities included.
      std::vector<double> inRange = RandF64(len, -1e30, 1e30);
      inRange[len / 2] = -INFINITY;
      ASSERT_EQ(ippsConvert_64f32f(inRange.data(), f.data(), len), ippStsNoErr);
      for (int i = 0; i < len; ++i) ASSERT_EQ(f[i], static_cast<float>(inRange[i]));
      std::vector<double> back(len);
      ASSERT_EQ(ippsConvert_32f64f(f.data(), back.data(), len), ippStsNoErr);
      for (int i = 0; i < len; ++i) ASSERT_TRUE(Same(back[i], static_cast<double>(f[i])));

      const auto n32 = RandInt<Ipp32s>(len);
      std::vector<float> nf(len);
      ASSERT_EQ(ippsConvert_32s32f(n32.data(), nf.data(), len), ippStsNoErr);
      for (int i = 0; i < len; ++i) ASSERT_EQ(nf[i], static_cast<float>(n32[i])) << n32[i];
      ASSERT_EQ(ippsConvert_32s64f(n32.data(), back.data(), len), ippStsNoErr);
      for (int i = 0; i < len; ++i) ASSERT_EQ(back[i], static_cast<double>(n32[i]));

      const auto n16 = RandInt<Ipp16s>(len);
      for (int sf : {0, 3, -4}) {
        ASSERT_EQ(ippsConvert_16s64f_Sfs(n16.data(), back.data(), len, sf), ippStsNoErr);
        for (int i = 0; i < len; ++i) ASSERT_EQ(back[i], std::ldexp(static_cast<double>(n16[i]), -sf)) << sf;
      }
    }
  });
}

TEST(ElementwiseConvert, SaturatingConversionLeavesTheCallersFloatingPointFlagsAlone) {
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
}

TEST(ElementwiseConvert, StandardStatuses) {
  EW_EXPECT_STATUSES(ippsConvert_16s64f_Sfs);
  EW_EXPECT_STATUSES(ippsConvert_32f32s_Sfs);
  EW_EXPECT_STATUSES(ippsConvert_32f64f);
  EW_EXPECT_STATUSES(ippsConvert_32s32f);
  EW_EXPECT_STATUSES(ippsConvert_32s64f);
  EW_EXPECT_STATUSES(ippsConvert_64f32f);
  EW_EXPECT_STATUSES(ippsConvert_64f32s_Sfs);
}
