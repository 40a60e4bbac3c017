// Complex and polar primitives against std::complex and a direct DFT.
#include <complex>

#include "tests/platform/ipp/ElementwiseTest.h"

using namespace ewtest;
using C = std::complex<double>;

TEST(ElementwiseComplex, SplitAndJoinMatchNaiveLoops) {
  ForEachTarget([] {
    for (int len : Lengths()) {
      const auto re = RandF64(len), im = RandF64(len);
      Buf<Ipp64fc> z(len, 1);
      ASSERT_EQ(ippsRealToCplx_64f(re.data(), im.data(), z.data(), len), ippStsNoErr);
      for (int i = 0; i < len; ++i) ASSERT_TRUE(z[i].re == re[i] && z[i].im == im[i]) << i;
      std::vector<double> out(len), out2(len);
      ASSERT_EQ(ippsReal_64fc(z.data(), out.data(), len), ippStsNoErr);
      ASSERT_EQ(ippsImag_64fc(z.data(), out2.data(), len), ippStsNoErr);
      EXPECT_EQ(out, re);
      EXPECT_EQ(out2, im);
      ASSERT_EQ(ippsPowerSpectr_64fc(z.data(), out.data(), len), ippStsNoErr);
      ASSERT_EQ(ippsMagnitude_64fc(z.data(), out2.data(), len), ippStsNoErr);
      for (int i = 0; i < len; ++i) {
        ASSERT_TRUE(Near(out[i], re[i] * re[i] + im[i] * im[i], 1e-15)) << i;
        ASSERT_TRUE(Near(out2[i], std::hypot(re[i], im[i]), 1e-15)) << i;
      }
      // A missing part is zero.
      ASSERT_EQ(ippsRealToCplx_64f(nullptr, im.data(), z.data(), len), ippStsNoErr);
      for (int i = 0; i < len; ++i) ASSERT_TRUE(z[i].re == 0 && z[i].im == im[i]) << i;
      ASSERT_EQ(ippsRealToCplx_64f(re.data(), nullptr, z.data(), len), ippStsNoErr);
      for (int i = 0; i < len; ++i) ASSERT_TRUE(z[i].re == re[i] && z[i].im == 0) << i;
      const auto rf = RandF32(len), imf = RandF32(len);
      std::vector<Ipp32fc> zf(len);
      ASSERT_EQ(ippsRealToCplx_32f(rf.data(), imf.data(), zf.data(), len), ippStsNoErr);
      for (int i = 0; i < len; ++i) ASSERT_TRUE(zf[i].re == rf[i] && zf[i].im == imf[i]) << i;
      ASSERT_EQ(ippsRealToCplx_32f(nullptr, nullptr, zf.data(), len), ippStsNoErr);
      for (int i = 0; i < len; ++i) ASSERT_TRUE(zf[i].re == 0 && zf[i].im == 0) << i;
    }
  });
  Ipp64f x = 1;
  EXPECT_EQ(ippsRealToCplx_64f(&x, &x, nullptr, 1), ippStsNullPtrErr);
  EXPECT_EQ(ippsRealToCplx_64f(&x, &x, reinterpret_cast<Ipp64fc*>(&x), 0), ippStsSizeErr);
}

TEST(ElementwiseComplex, PolarConversionsAndPhase) {
  const int len = 257;
  const auto re = RandF64(len), im = RandF64(len);
  std::vector<double> mag(len), ph(len), re2(len), im2(len);
  ASSERT_EQ(ippsCartToPolar_64f(re.data(), im.data(), mag.data(), ph.data(), len), ippStsNoErr);
  ASSERT_EQ(ippsPolarToCart_64f(mag.data(), ph.data(), re2.data(), im2.data(), len), ippStsNoErr);
  std::vector<Ipp64fc> z(len);
  std::vector<double> ph2(len);
  ippsRealToCplx_64f(re.data(), im.data(), z.data(), len);
  ASSERT_EQ(ippsPhase_64fc(z.data(), ph2.data(), len), ippStsNoErr);
  for (int i = 0; i < len; ++i) {
    const C c(re[i], im[i]);
    EXPECT_NEAR(mag[i], std::abs(c), 1e-13);
    EXPECT_NEAR(ph[i], std::arg(c), 1e-15);
    EXPECT_EQ(ph2[i], ph[i]);
    EXPECT_NEAR(re2[i], re[i], 1e-12);
    EXPECT_NEAR(im2[i], im[i], 1e-12);
  }
  // Phase lies in (-pi, pi]: the negative real axis is +pi whatever the zero's sign.
  std::vector<Ipp64fc> axis = {{-1, 0}, {-1, -0.0}, {0, -1}, {1, 0}};
  std::vector<double> pa(4);
  ippsPhase_64fc(axis.data(), pa.data(), 4);
  EXPECT_EQ(pa[0], IPP_PI);
  EXPECT_EQ(pa[1], IPP_PI);
  EXPECT_EQ(pa[2], -IPP_PI / 2);
  EXPECT_EQ(pa[3], 0.0);

  const auto rf = RandF32(len), imf = RandF32(len);
  std::vector<float> mf(len), pf(len), rf2(len), if2(len);
  ASSERT_EQ(ippsCartToPolar_32f(rf.data(), imf.data(), mf.data(), pf.data(), len), ippStsNoErr);
  ASSERT_EQ(ippsPolarToCart_32f(mf.data(), pf.data(), rf2.data(), if2.data(), len), ippStsNoErr);
  for (int i = 0; i < len; ++i) {
    EXPECT_NEAR(mf[i], std::hypot(rf[i], imf[i]), 1e-4);
    EXPECT_NEAR(pf[i], std::atan2(imf[i], rf[i]), 1e-6);
    EXPECT_NEAR(rf2[i], rf[i], 1e-4);
    EXPECT_NEAR(if2[i], imf[i], 1e-4);
  }
}

TEST(ElementwiseComplex, ConjCcsCompletesTheSpectrumOfARealSignal) {
  for (int n : {1, 2, 3, 8, 9, 16, 31}) {
    const auto x = RandF64(n);
    std::vector<C> full(n);
    for (int k = 0; k < n; ++k)
      for (int t = 0; t < n; ++t) full[k] += x[t] * std::polar(1.0, -2 * IPP_PI * k * t / n);
    std::vector<Ipp64fc> buf(n, Ipp64fc{99, 99});
    for (int k = 0; k <= n / 2; ++k) buf[k] = {full[k].real(), full[k].imag()};
    ASSERT_EQ(ippsConjCcs_64fc_I(buf.data(), n), ippStsNoErr);
    for (int k = 0; k < n; ++k) {
      EXPECT_NEAR(buf[k].re, full[k].real(), 1e-9) << "n " << n << " k " << k;
      EXPECT_NEAR(buf[k].im, full[k].imag(), 1e-9) << "n " << n << " k " << k;
    }
  }
}

TEST(ElementwiseComplex, StandardStatuses) {
  EW_EXPECT_STATUSES(ippsRealToCplx_32f, 0b011u);
  EW_EXPECT_STATUSES(ippsRealToCplx_64f, 0b011u);
  EW_EXPECT_STATUSES(ippsReal_64fc);
  EW_EXPECT_STATUSES(ippsImag_64fc);
  EW_EXPECT_STATUSES(ippsMagnitude_64fc);
  EW_EXPECT_STATUSES(ippsPhase_64fc);
  EW_EXPECT_STATUSES(ippsPowerSpectr_64fc);
  EW_EXPECT_STATUSES(ippsCartToPolar_32f);
  EW_EXPECT_STATUSES(ippsCartToPolar_64f);
  EW_EXPECT_STATUSES(ippsPolarToCart_32f);
  EW_EXPECT_STATUSES(ippsPolarToCart_64f);
  EW_EXPECT_STATUSES(ippsConjCcs_64fc_I);
}
