// Windows against the textbook weights, out of place, in place and complex, on every SIMD
// target, with unaligned data and lengths around the vector widths.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "tests/platform/ipp/ElementwiseTest.h"

namespace {

using ewtest::Buf;
using ewtest::ForEachTarget;

struct WindowCase {
  std::string name;
  std::function<double(int n, int len)> weight;
  std::function<IppStatus(const double*, double*, int)> out;
  std::function<IppStatus(double*, int)> inPlace;
  std::function<IppStatus(Ipp64fc*, int)> complexInPlace;
};

double Cos2(int n, int len, int k) { return std::cos(2.0 * M_PI * k * n / (len - 1)); }

std::vector<WindowCase> Cases() {
  std::vector<WindowCase> cases;
  cases.push_back({"Bartlett",
                   [](int n, int len) { return 2.0 * n <= len - 1 ? 2.0 * n / (len - 1) : 2.0 - 2.0 * n / (len - 1); },
                   ippsWinBartlett_64f, ippsWinBartlett_64f_I, ippsWinBartlett_64fc_I});
  cases.push_back({"Hamming", [](int n, int len) { return 0.54 - 0.46 * Cos2(n, len, 1); }, ippsWinHamming_64f,
                   ippsWinHamming_64f_I, ippsWinHamming_64fc_I});
  cases.push_back({"Hann", [](int n, int len) { return 0.5 - 0.5 * Cos2(n, len, 1); }, ippsWinHann_64f,
                   ippsWinHann_64f_I, ippsWinHann_64fc_I});
  for (double alpha : {-0.16, 0.0, 0.3, -1.0}) {
    cases.push_back(
        {"Blackman " + std::to_string(alpha),
         [alpha](int n, int len) { return (alpha + 1) / 2 - 0.5 * Cos2(n, len, 1) - alpha / 2 * Cos2(n, len, 2); },
         [alpha](const double* s, double* d, int len) { return ippsWinBlackman_64f(s, d, len, alpha); },
         [alpha](double* d, int len) { return ippsWinBlackman_64f_I(d, len, alpha); },
         [alpha](Ipp64fc* d, int len) { return ippsWinBlackman_64fc_I(d, len, alpha); }});
  }
  return cases;
}

TEST(DspWindow, MatchesTextbookWeights) {
  const std::vector<int> lengths = {3, 4, 5, 7, 8, 9, 16, 17, 31, 33, 63, 64, 65, 1000, 1001};
  for (const WindowCase& wc : Cases()) {
    SCOPED_TRACE(wc.name);
    ForEachTarget([&] {
      for (int len : lengths) {
        const std::vector<double> x = ewtest::RandF64(len, -10, 10);
        const std::vector<double> c = ewtest::RandF64(2 * len, -10, 10);
        Buf<double> src(len, 1), dst(len + 1, 3), inPlace(len, 5), cplx(2 * len, 1);
        src.Assign(x);
        inPlace.Assign(x);
        cplx.Assign(c);
        dst[len] = 77.0;
        ASSERT_EQ(wc.out(src.data(), dst.data(), len), ippStsNoErr);
        ASSERT_EQ(wc.inPlace(inPlace.data(), len), ippStsNoErr);
        ASSERT_EQ(wc.complexInPlace(reinterpret_cast<Ipp64fc*>(cplx.data()), len), ippStsNoErr);
        EXPECT_EQ(dst[len], 77.0) << "wrote past the end, len " << len;
        double worst = 0;
        for (int n = 0; n < len; ++n) {
          const double w = wc.weight(n, len);
          worst = std::max({worst, std::fabs(dst[n] - w * x[n]), std::fabs(inPlace[n] - w * x[n]),
                            std::fabs(cplx[2 * n] - w * c[2 * n]), std::fabs(cplx[2 * n + 1] - w * c[2 * n + 1])});
        }
        EXPECT_LT(worst, 1e-13) << "len " << len;
      }
    });
  }
}

TEST(DspWindow, ShapeAndStatusCodes) {
  // Hann and Bartlett vanish at both ends and reach 1 in the middle of an odd length.
  std::vector<double> ones(9, 1.0), w = ones;
  ASSERT_EQ(ippsWinHann_64f_I(w.data(), 9), ippStsNoErr);
  EXPECT_NEAR(w[0], 0.0, 1e-15);
  EXPECT_NEAR(w[8], 0.0, 1e-15);
  EXPECT_NEAR(w[4], 1.0, 1e-15);
  w = ones;
  ASSERT_EQ(ippsWinBartlett_64f_I(w.data(), 9), ippStsNoErr);
  EXPECT_EQ(w[0], 0.0);
  EXPECT_EQ(w[8], 0.0);
  EXPECT_EQ(w[4], 1.0);
  EXPECT_EQ(w[2], 0.5);
  // The classic Blackman window is alpha = -0.16: 0.42 - 0.5 cos + 0.08 cos 2t.
  w = ones;
  ASSERT_EQ(ippsWinBlackman_64f_I(w.data(), 9, -0.16), ippStsNoErr);
  EXPECT_NEAR(w[2], 0.42 - 0.5 * std::cos(M_PI / 2) + 0.08 * std::cos(M_PI), 1e-15);

  double buf[4] = {1, 1, 1, 1};
  Ipp64fc cbuf[4] = {};
  for (int len : {2, 1, 0, -3}) {
    EXPECT_EQ(ippsWinBartlett_64f(buf, buf, len), ippStsSizeErr);
    EXPECT_EQ(ippsWinHamming_64f_I(buf, len), ippStsSizeErr);
    EXPECT_EQ(ippsWinHann_64fc_I(cbuf, len), ippStsSizeErr);
    EXPECT_EQ(ippsWinBlackman_64f(buf, buf, len, -0.16), ippStsSizeErr);
  }
  EXPECT_EQ(buf[0], 1.0) << "a refused call wrote";
  EXPECT_EQ(ippsWinBartlett_64f(nullptr, buf, 4), ippStsNullPtrErr);
  EXPECT_EQ(ippsWinHann_64f(buf, nullptr, 4), ippStsNullPtrErr);
  EXPECT_EQ(ippsWinHamming_64f_I(nullptr, 4), ippStsNullPtrErr);
  EXPECT_EQ(ippsWinBlackman_64fc_I(nullptr, 4, 0.1), ippStsNullPtrErr);
  EXPECT_EQ(ippsWinBartlett_64fc_I(nullptr, 4), ippStsNullPtrErr);
}

}  // namespace
