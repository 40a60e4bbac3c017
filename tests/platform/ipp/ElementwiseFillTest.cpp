// Fill, copy and generate: exact contents within guard elements, overlap safety of Move, the chirp
// against a long double model, the random generator's range, spread and seed continuation, swaps.
#include <numeric>

#include "tests/platform/ipp/ElementwiseTest.h"

using namespace ewtest;

namespace {
// Fills elements 1..len of a buffer of len + 2 guards with `fill`, then checks every element.
template <typename T, class Fill, class Same>
void ExpectFilled(const char* name, int len, T guard, T value, Fill fill, Same same) {
  std::vector<T> v(len + 2, guard);
  ASSERT_EQ(fill(v.data() + 1, len), ippStsNoErr) << name;
  for (int i = 0; i < len + 2; ++i) ASSERT_TRUE(same(v[i], i == 0 || i == len + 1 ? guard : value)) << name << " len " << len << " i " << i;
}
}  // namespace

TEST(ElementwiseFill, ZeroSetCopyWriteExactlyTheRange) {
  auto eq = [](auto a, auto b) { return !std::memcmp(&a, &b, sizeof a); };  // bitwise: +0, not -0
  ForEachTarget([&] {
    for (int len : kLengths) {
      ExpectFilled<double>("Set_64f", len, 7.5, -2.25, [](double* p, int n) { return ippsSet_64f(-2.25, p, n); }, eq);
      ExpectFilled<double>("Zero_64f", len, -0.0, 0.0, ippsZero_64f, eq);
      ExpectFilled<Ipp64fc>("Set_64fc", len, {9, 9}, {1.5, -0.5}, [](Ipp64fc* p, int n) { return ippsSet_64fc({1.5, -0.5}, p, n); }, eq);
      ExpectFilled<Ipp64fc>("Zero_64fc", len, {9, 9}, {0, 0}, ippsZero_64fc, eq);
      ExpectFilled<Ipp32s>("Set_32s", len, 3, -77, [](Ipp32s* p, int n) { return ippsSet_32s(-77, p, n); }, eq);
      ExpectFilled<Ipp32s>("Zero_32s", len, 3, 0, ippsZero_32s, eq);
      ExpectFilled<float>("Set_32f", len, 3, 0.25f, [](float* p, int n) { return ippsSet_32f(0.25f, p, n); }, eq);
      ExpectFilled<float>("Zero_32f", len, 3, 0, ippsZero_32f, eq);
      ExpectFilled<Ipp8u>("Set_8u", len, 3, 200, [](Ipp8u* p, int n) { return ippsSet_8u(200, p, n); }, eq);
      ExpectFilled<Ipp8u>("Zero_8u", len, 3, 0, ippsZero_8u, eq);
      ExpectFilled<Ipp16s>("Zero_16s", len, 3, 0, ippsZero_16s, eq);
    }
    auto copy = [](auto fn) { return [=](auto* x, auto*, auto* d, int n) { return fn(x, d, n); }; };
    SweepMap<double, double, double>("Copy_64f", copy(ippsCopy_64f), [](double a, double) { return a; }, eq);
    SweepMap<float, float, float>("Copy_32f", copy(ippsCopy_32f), [](float a, float) { return a; }, eq);
    SweepMap<Ipp8u, Ipp8u, Ipp8u>("Copy_8u", copy(ippsCopy_8u), [](Ipp8u a, Ipp8u) { return a; }, eq);
  });
}

TEST(ElementwiseFill, MoveHandlesOverlapInBothDirections) {
  for (int len : {1, 7, 100}) {
    for (int shift : {-3, -1, 1, 3}) {
      std::vector<double> buf(len + 8);
      std::vector<Ipp8u> bytes(len + 8);
      std::iota(buf.begin(), buf.end(), 0.0);
      std::iota(bytes.begin(), bytes.end(), Ipp8u{0});
      ASSERT_EQ(ippsMove_64f(buf.data() + 4, buf.data() + 4 + shift, len), ippStsNoErr);
      ASSERT_EQ(ippsMove_8u(bytes.data() + 4, bytes.data() + 4 + shift, len), ippStsNoErr);
      for (int i = 0; i < len; ++i) ASSERT_TRUE(buf[4 + shift + i] == 4 + i && bytes[4 + shift + i] == 4 + i) << len << " " << shift;
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
  unsigned seed = 17, same = 17;
  std::vector<double> a(len), b(len);
  ASSERT_EQ(ippsRandUniform_Direct_64f(a.data(), len, -2.0, 6.0, &seed), ippStsNoErr);
  EXPECT_NE(seed, 17u) << "the seed carries the state";
  EXPECT_NEAR(std::accumulate(a.begin(), a.end(), 0.0) / len, 2.0, 0.1);
  const auto [lo, hi] = std::minmax_element(a.begin(), a.end());
  EXPECT_TRUE(*lo >= -2.0 && *lo < -1.9 && *hi < 6.0 && *hi > 5.9) << *lo << " " << *hi;
  ippsRandUniform_Direct_64f(b.data(), len, -2.0, 6.0, &same);
  EXPECT_EQ(a, b) << "same seed, same sequence";
  // Two calls of 300 continue exactly like one of 600.
  std::vector<double> one(600), two(600);
  unsigned s1 = 5, s2 = 5;
  ippsRandUniform_Direct_64f(one.data(), 600, 0, 1, &s1);
  ippsRandUniform_Direct_64f(two.data(), 300, 0, 1, &s2);
  ippsRandUniform_Direct_64f(two.data() + 300, 300, 0, 1, &s2);
  EXPECT_TRUE(one == two && s1 == s2);

  std::vector<Ipp16s> h(len);
  ASSERT_EQ(ippsRandUniform_Direct_16s(h.data(), len, -3, 4, &seed), ippStsNoErr);
  std::vector<int> hist(8);
  for (Ipp16s v : h) {
    ASSERT_TRUE(v >= -3 && v <= 4) << v;
    ++hist[v + 3];
  }
  for (int c : hist) EXPECT_NEAR(c, len / 8, len / 40) << "both ends occur, evenly";
  EXPECT_EQ(ippsRandUniform_Direct_16s(h.data(), len, 4, -3, &seed), ippStsRangeErr);
  EXPECT_EQ(ippsRandUniform_Direct_64f(a.data(), len, 1.0, 0.0, &seed), ippStsRangeErr);
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
  const Ipp8u s24[] = {1, 2, 3, 4, 5, 6, 7, 8, 9}, w24[] = {3, 2, 1, 6, 5, 4, 9, 8, 7, 0xEE};
  Ipp8u d24[10] = {};
  d24[9] = 0xEE;
  ASSERT_EQ(ippsSwapBytes_24u(s24, d24, 3), ippStsNoErr);  // len counts 3-byte elements
  EXPECT_EQ(0, std::memcmp(d24, w24, 10));
}

TEST(ElementwiseFill, StandardStatuses) {
  EW_EXPECT_STATUSES(ippsZero_8u, ippsZero_16s, ippsZero_32s, ippsZero_32f, ippsZero_64f, ippsZero_64fc, ippsSet_8u, ippsSet_32s,
                     ippsSet_32f, ippsSet_64f, ippsSet_64fc, ippsCopy_8u, ippsCopy_32f, ippsCopy_64f, ippsMove_64f, ippsMove_8u,
                     ippsVectorJaehne_64f, ippsRandUniform_Direct_16s, ippsRandUniform_Direct_64f, ippsSwapBytes_16u,
                     ippsSwapBytes_24u, ippsSwapBytes_32u, ippsSwapBytes_32u_I);
}
