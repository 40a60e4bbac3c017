// Complex and polar primitives against std::complex and a direct DFT.
#include "tests/platform/ipp/ElementwiseTest.h"

using namespace ewtest;

TEST(ElementwiseComplex, SplitJoinMagnitudePower) {
  using Z = Ipp64fc;
  ForEachTarget([] {
    auto out = [](auto fn) { return [=](Z* x, Z*, double* d, int n) { return fn(x, d, n); }; };
    SweepMap<Z, Z, double>("Real", out(ippsReal_64fc), [](Z a, Z) { return a.re; }, kExact);
    SweepMap<Z, Z, double>("Imag", out(ippsImag_64fc), [](Z a, Z) { return a.im; }, kExact);
    SweepMap<Z, Z, double>("PowerSpectr", out(ippsPowerSpectr_64fc), [](Z a, Z) { return std::norm(Cx(a)); },
                           [](double g, double w) { return std::fabs(g - w) <= 1e-15 * w; });
    SweepMap<Z, Z, double>("Magnitude", out(ippsMagnitude_64fc), [](Z a, Z) { return std::abs(Cx(a)); },
                           [](double g, double w) { return std::fabs(g - w) <= 1e-15 * w; });
    // Either source of RealToCplx may be NULL: that part is zero.
    auto join = [](bool re, bool im) {
      return [=](double* x, double* y, Z* d, int n) { return ippsRealToCplx_64f(re ? x : nullptr, im ? y : nullptr, d, n); };
    };
    auto same = [](Z g, Z w) { return g.re == w.re && g.im == w.im; };
    SweepMap<double, double, Z>("RealToCplx", join(true, true), [](double a, double b) { return Z{a, b}; }, same);
    SweepMap<double, double, Z>("RealToCplx re", join(true, false), [](double a, double) { return Z{a, 0}; }, same);
    SweepMap<double, double, Z>("RealToCplx im", join(false, true), [](double, double b) { return Z{0, b}; }, same);
    SweepMap<float, float, Ipp32fc>("RealToCplx_32f", [](float* x, float* y, Ipp32fc* d, int n) { return ippsRealToCplx_32f(x, y, d, n); },
                                    [](float a, float b) { return std::complex<float>(a, b); },
                                    [](Ipp32fc g, std::complex<float> w) { return g.re == w.real() && g.im == w.imag(); });
  });
  Ipp64f x = 1;
  EXPECT_EQ(ippsRealToCplx_64f(&x, &x, nullptr, 1), ippStsNullPtrErr);
  EXPECT_EQ(ippsRealToCplx_32f(nullptr, nullptr, reinterpret_cast<Ipp32fc*>(&x), 1), ippStsNoErr);
  EXPECT_EQ(x, 0.0);
}

TEST(ElementwiseComplex, PolarConversionsAndPhase) {
  const int len = 257;
  const auto re = Rand<double>(len), im = Rand<double>(len);
  std::vector<double> mag(len), ph(len), re2(len), im2(len), ph2(len);
  std::vector<Ipp64fc> z(len);
  ASSERT_EQ(ippsCartToPolar_64f(re.data(), im.data(), mag.data(), ph.data(), len), ippStsNoErr);
  ASSERT_EQ(ippsPolarToCart_64f(mag.data(), ph.data(), re2.data(), im2.data(), len), ippStsNoErr);
  ippsRealToCplx_64f(re.data(), im.data(), z.data(), len);
  ASSERT_EQ(ippsPhase_64fc(z.data(), ph2.data(), len), ippStsNoErr);
  const auto rf = Rand<float>(len), imf = Rand<float>(len);
  std::vector<float> mf(len), pf(len), rf2(len), if2(len);
  ASSERT_EQ(ippsCartToPolar_32f(rf.data(), imf.data(), mf.data(), pf.data(), len), ippStsNoErr);
  ASSERT_EQ(ippsPolarToCart_32f(mf.data(), pf.data(), rf2.data(), if2.data(), len), ippStsNoErr);
  for (int i = 0; i < len; ++i) {
    const C c(re[i], im[i]);
    EXPECT_NEAR(mag[i], std::abs(c), 1e-13);
    EXPECT_NEAR(ph[i], std::arg(c), 1e-15);
    EXPECT_EQ(ph2[i], ph[i]);
    EXPECT_TRUE(std::fabs(re2[i] - re[i]) < 1e-12 && std::fabs(im2[i] - im[i]) < 1e-12) << i;
    EXPECT_NEAR(mf[i], std::hypot(rf[i], imf[i]), 1e-4);
    EXPECT_NEAR(pf[i], std::atan2(imf[i], rf[i]), 1e-6);
    EXPECT_TRUE(std::fabs(rf2[i] - rf[i]) < 1e-4 && std::fabs(if2[i] - imf[i]) < 1e-4) << i;
  }
  // Phase lies in (-pi, pi]: the negative real axis is +pi whatever the zero's sign.
  std::vector<Ipp64fc> axis = {{-1, 0}, {-1, -0.0}, {0, -1}};
  ippsPhase_64fc(axis.data(), ph.data(), 3);
  EXPECT_TRUE(ph[0] == IPP_PI && ph[1] == IPP_PI && ph[2] == -IPP_PI / 2);
}

TEST(ElementwiseComplex, ConjCcsCompletesTheSpectrumOfARealSignal) {
  for (int n : {1, 2, 3, 8, 9, 16, 31}) {
    const auto x = Rand<double>(n);
    std::vector<C> full(n);
    for (int k = 0; k < n; ++k)
      for (int t = 0; t < n; ++t) full[k] += x[t] * std::polar(1.0, -2 * IPP_PI * k * t / n);
    std::vector<Ipp64fc> buf(n, Ipp64fc{99, 99});
    for (int k = 0; k <= n / 2; ++k) buf[k] = {full[k].real(), full[k].imag()};
    ASSERT_EQ(ippsConjCcs_64fc_I(buf.data(), n), ippStsNoErr);
    for (int k = 0; k < n; ++k) EXPECT_LT(std::abs(Cx(buf[k]) - full[k]), 1e-9) << "n " << n << " k " << k;
  }
}

TEST(ElementwiseComplex, StandardStatuses) {
  EW_EXPECT_STATUSES_NULLABLE(ippsRealToCplx_32f, 0b011u);
  EW_EXPECT_STATUSES_NULLABLE(ippsRealToCplx_64f, 0b011u);
  EW_EXPECT_STATUSES(ippsReal_64fc, ippsImag_64fc, ippsMagnitude_64fc, ippsPhase_64fc, ippsPowerSpectr_64fc, ippsCartToPolar_32f,
                     ippsCartToPolar_64f, ippsPolarToCart_32f, ippsPolarToCart_64f, ippsConjCcs_64fc_I);
}
