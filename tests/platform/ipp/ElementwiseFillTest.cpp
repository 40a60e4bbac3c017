// Fill, copy and generate: exact contents, overlap safety of Move, the chirp against a long
// double model, the random generator's range, spread and seed continuation, byte swaps.
#include <numeric>

#include "tests/platform/ipp/ElementwiseTest.h"

using namespace ewtest;

TEST(ElementwiseFill, ZeroSetCopyWriteExactlyTheRange) {
  ForEachTarget([] {
    for (int len : Lengths()) {
      // Guard elements on both sides must survive.
      std::vector<double> d(len + 2, 7.5);
      ASSERT_EQ(ippsSet_64f(-2.25, d.data() + 1, len), ippStsNoErr);
      for (int i = 1; i <= len; ++i) ASSERT_EQ(d[i], -2.25);
      EXPECT_TRUE(d[0] == 7.5 && d[len + 1] == 7.5);
      ASSERT_EQ(ippsZero_64f(d.data() + 1, len), ippStsNoErr);
      for (int i = 1; i <= len; ++i) ASSERT_TRUE(d[i] == 0 && !std::signbit(d[i]));
      EXPECT_TRUE(d[0] == 7.5 && d[len + 1] == 7.5);

      std::vector<Ipp64fc> c(len + 2, Ipp64fc{9, 9});
      ASSERT_EQ(ippsSet_64fc(Ipp64fc{1.5, -0.5}, c.data() + 1, len), ippStsNoErr);
      for (int i = 1; i <= len; ++i) ASSERT_TRUE(c[i].re == 1.5 && c[i].im == -0.5) << i;
      EXPECT_TRUE(c[0].re == 9 && c[len + 1].im == 9);
      ASSERT_EQ(ippsZero_64fc(c.data() + 1, len), ippStsNoErr);
      for (int i = 1; i <= len; ++i) ASSERT_TRUE(c[i].re == 0 && c[i].im == 0);

      std::vector<Ipp32s> s(len + 2, 3);
      ASSERT_EQ(ippsSet_32s(-77, s.data() + 1, len), ippStsNoErr);
      EXPECT_EQ(std::count(s.begin(), s.end(), -77), len);
      ASSERT_EQ(ippsZero_32s(s.data() + 1, len), ippStsNoErr);
      EXPECT_EQ(std::count(s.begin(), s.end(), 0), len);
      std::vector<float> f(len + 2, 3);
      ASSERT_EQ(ippsSet_32f(0.25f, f.data() + 1, len), ippStsNoErr);
      EXPECT_EQ(std::count(f.begin(), f.end(), 0.25f), len);
      ASSERT_EQ(ippsZero_32f(f.data() + 1, len), ippStsNoErr);
      EXPECT_EQ(std::count(f.begin(), f.end(), 0.0f), len);
      std::vector<Ipp8u> b(len + 2, 3);
      ASSERT_EQ(ippsSet_8u(200, b.data() + 1, len), ippStsNoErr);
      EXPECT_EQ(std::count(b.begin(), b.end(), 200), len);
      ASSERT_EQ(ippsZero_8u(b.data() + 1, len), ippStsNoErr);
      EXPECT_EQ(std::count(b.begin(), b.end(), 0), len);
      std::vector<Ipp16s> h(len + 2, 3);
      ASSERT_EQ(ippsZero_16s(h.data() + 1, len), ippStsNoErr);
      EXPECT_EQ(std::count(h.begin(), h.end(), 0), len);

      const auto a = RandF64(len);
      std::vector<double> out(len);
      ASSERT_EQ(ippsCopy_64f(a.data(), out.data(), len), ippStsNoErr);
      EXPECT_EQ(out, a);
      const auto af = RandF32(len);
      std::vector<float> outf(len);
      ASSERT_EQ(ippsCopy_32f(af.data(), outf.data(), len), ippStsNoErr);
      EXPECT_EQ(outf, af);
      const auto a8 = RandInt<Ipp8u>(len);
      std::vector<Ipp8u> out8(len);
      ASSERT_EQ(ippsCopy_8u(a8.data(), out8.data(), len), ippStsNoErr);
      EXPECT_EQ(out8, a8);
    }
  });
}

TEST(ElementwiseFill, MoveHandlesOverlapInBothDirections) {
  for (int len : {1, 7, 100}) {
    for (int shift : {-3, -1, 1, 3}) {
      std::vector<double> buf(len + 8);
      std::iota(buf.begin(), buf.end(), 0.0);
      const std::vector<double> orig = buf;
      ASSERT_EQ(ippsMove_64f(buf.data() + 4, buf.data() + 4 + shift, len), ippStsNoErr);
      for (int i = 0; i < len; ++i) ASSERT_EQ(buf[4 + shift + i], orig[4 + i]) << len << " " << shift;
      std::vector<Ipp8u> bytes(len + 8);
      std::iota(bytes.begin(), bytes.end(), Ipp8u{0});
      const std::vector<Ipp8u> ob = bytes;
      ASSERT_EQ(ippsMove_8u(bytes.data() + 4, bytes.data() + 4 + shift, len), ippStsNoErr);
      for (int i = 0; i < len; ++i) ASSERT_EQ(bytes[4 + shift + i], ob[4 + i]);
    }
  }
}

TEST(ElementwiseFill, JaehneChirpMatchesItsDefinition) {
  for (int len : {1, 2, 10, 1000, 100003}) {
    std::vector<double> d(len);
    ASSERT_EQ(ippsVectorJaehne_64f(d.data(), len, 2.5), ippStsNoErr);
    for (int n = 0; n < len; n += 1 + len / 500) {
      const long double angle = 0.5L * 3.141592653589793238462643383279503L * (long double)n * n / len;
      EXPECT_NEAR(d[n], 2.5 * (double)std::sin(angle), 1e-9) << len << " " << n;
    }
  }
  double x;
  EXPECT_EQ(ippsVectorJaehne_64f(&x, 1, -1.0), ippStsJaehneErr);
}

TEST(ElementwiseFill, RandUniformStaysInRangeSpreadsAndContinuesFromTheSeed) {
  const int len = 20000;
  unsigned seed = 17, seedCopy = 17;
  std::vector<double> a(len), b(len);
  ASSERT_EQ(ippsRandUniform_Direct_64f(a.data(), len, -2.0, 6.0, &seed), ippStsNoErr);
  EXPECT_NE(seed, 17u) << "the seed carries the state";
  const double mean = std::accumulate(a.begin(), a.end(), 0.0) / len;
  EXPECT_NEAR(mean, 2.0, 0.1);
  EXPECT_LT(*std::max_element(a.begin(), a.end()), 6.0);
  EXPECT_GE(*std::min_element(a.begin(), a.end()), -2.0);
  EXPECT_GT(*std::max_element(a.begin(), a.end()), 5.9);
  EXPECT_LT(*std::min_element(a.begin(), a.end()), -1.9);
  // Two calls of 300 continue exactly like one of 600.
  std::vector<double> one(600), two(600);
  unsigned s1 = 5, s2 = 5;
  ippsRandUniform_Direct_64f(one.data(), 600, 0, 1, &s1);
  ippsRandUniform_Direct_64f(two.data(), 300, 0, 1, &s2);
  ippsRandUniform_Direct_64f(two.data() + 300, 300, 0, 1, &s2);
  EXPECT_EQ(one, two);
  EXPECT_EQ(s1, s2);
  ippsRandUniform_Direct_64f(b.data(), len, -2.0, 6.0, &seedCopy);
  EXPECT_EQ(a, b) << "same seed, same sequence";

  std::vector<Ipp16s> h(len);
  unsigned hs = 99;
  ASSERT_EQ(ippsRandUniform_Direct_16s(h.data(), len, -3, 4, &hs), ippStsNoErr);
  std::vector<int> hist(8);
  for (Ipp16s v : h) {
    ASSERT_TRUE(v >= -3 && v <= 4) << v;
    ++hist[v + 3];
  }
  for (int c : hist) EXPECT_NEAR(c, len / 8, len / 40);
  EXPECT_EQ(ippsRandUniform_Direct_16s(h.data(), len, 4, -3, &hs), ippStsRangeErr);
  EXPECT_EQ(ippsRandUniform_Direct_64f(a.data(), len, 1.0, 0.0, &hs), ippStsRangeErr);
}

TEST(ElementwiseFill, SwapBytesReversesEachElement) {
  const Ipp16u s16[] = {0x1234, 0xABCD};
  Ipp16u d16[2];
  ASSERT_EQ(ippsSwapBytes_16u(s16, d16, 2), ippStsNoErr);
  EXPECT_TRUE(d16[0] == 0x3412 && d16[1] == 0xCDAB);
  Ipp32u s32[] = {0x11223344u, 0xA0B0C0D0u}, d32[2];
  ASSERT_EQ(ippsSwapBytes_32u(s32, d32, 2), ippStsNoErr);
  EXPECT_TRUE(d32[0] == 0x44332211u && d32[1] == 0xD0C0B0A0u);
  ASSERT_EQ(ippsSwapBytes_32u_I(s32, 2), ippStsNoErr);
  EXPECT_TRUE(s32[0] == d32[0] && s32[1] == d32[1]);
  const Ipp8u s24[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  Ipp8u d24[10] = {};
  d24[9] = 0xEE;
  ASSERT_EQ(ippsSwapBytes_24u(s24, d24, 3), ippStsNoErr);  // three 3-byte elements
  const Ipp8u w24[] = {3, 2, 1, 6, 5, 4, 9, 8, 7};
  EXPECT_EQ(0, std::memcmp(d24, w24, 9));
  EXPECT_EQ(d24[9], 0xEE);
}

TEST(ElementwiseFill, StandardStatuses) {
  EW_EXPECT_STATUSES(ippsZero_8u);
  EW_EXPECT_STATUSES(ippsZero_16s);
  EW_EXPECT_STATUSES(ippsZero_32s);
  EW_EXPECT_STATUSES(ippsZero_32f);
  EW_EXPECT_STATUSES(ippsZero_64f);
  EW_EXPECT_STATUSES(ippsZero_64fc);
  EW_EXPECT_STATUSES(ippsSet_8u);
  EW_EXPECT_STATUSES(ippsSet_32s);
  EW_EXPECT_STATUSES(ippsSet_32f);
  EW_EXPECT_STATUSES(ippsSet_64f);
  EW_EXPECT_STATUSES(ippsSet_64fc);
  EW_EXPECT_STATUSES(ippsCopy_8u);
  EW_EXPECT_STATUSES(ippsCopy_32f);
  EW_EXPECT_STATUSES(ippsCopy_64f);
  EW_EXPECT_STATUSES(ippsMove_64f);
  EW_EXPECT_STATUSES(ippsMove_8u);
  EW_EXPECT_STATUSES(ippsVectorJaehne_64f);
  EW_EXPECT_STATUSES(ippsRandUniform_Direct_16s);
  EW_EXPECT_STATUSES(ippsRandUniform_Direct_64f);
  EW_EXPECT_STATUSES(ippsSwapBytes_16u);
  EW_EXPECT_STATUSES(ippsSwapBytes_24u);
  EW_EXPECT_STATUSES(ippsSwapBytes_32u);
  EW_EXPECT_STATUSES(ippsSwapBytes_32u_I);
}
