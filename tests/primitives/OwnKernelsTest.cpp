// The library's own kernels against independent models.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "primitives/GVBasicDispatcher.h"

namespace fundrel {
namespace {

constexpr int kLengths[] = {1, 2, 3, 7, 16, 33, 1000};

TEST(OwnKernels, IntegerDivisionTruncatesTowardZero) {
  std::vector<Ipp32s> v = {7, -7, 2};
  ippsDivC_32s_ISfs(3, v.data(), 3, 0);
  EXPECT_EQ(v, (std::vector<Ipp32s>{2, -2, 0}));

  std::mt19937 rng(5);
  std::uniform_int_distribution<Ipp32s> any(std::numeric_limits<Ipp32s>::min(), std::numeric_limits<Ipp32s>::max());
  for (int len : kLengths) {
    for (Ipp32s divisor : {1, -1, 2, -3, 10, 65536, -2147483647, std::numeric_limits<Ipp32s>::min()}) {
      std::vector<Ipp32s> src(len + 1);
      for (auto& x : src) x = any(rng);
      if (divisor == -1)
        for (auto& x : src) x = x == std::numeric_limits<Ipp32s>::min() ? 0 : x;
      // Model in 64 bits with the remainder made explicit: q * d + r == x, |r| < |d|, r has x's sign.
      std::vector<Ipp32s> expected(len);
      for (int i = 0; i < len; ++i) {
        const int64_t x = src[i + 1], d = divisor;
        int64_t q = (x < 0) == (d < 0) ? std::llabs(x) / std::llabs(d) : -(std::llabs(x) / std::llabs(d));
        expected[i] = static_cast<Ipp32s>(q);
      }
      // Unaligned source, separate destination; the source stays as it was; scaleFactor ignored.
      std::vector<Ipp32s> srcCopy = src, dst(len + 1, 12345);
      ippsDivC_32s_Sfs(src.data() + 1, divisor, dst.data(), len, 7);
      EXPECT_EQ(src, srcCopy);
      EXPECT_EQ(std::vector<Ipp32s>(dst.begin(), dst.begin() + len), expected) << "len " << len << " / " << divisor;
      EXPECT_EQ(dst[len], 12345) << "wrote past the end";
      std::vector<Ipp32s> inPlace(src.begin() + 1, src.end());
      ippsDivC_32s_ISfs(divisor, inPlace.data(), len, -3);
      EXPECT_EQ(inPlace, expected) << "in place, len " << len << " / " << divisor;
    }
  }
}

TEST(OwnKernels, IntegerDivisionFaultsAndEmptyLengths) {
  std::vector<Ipp32s> v = {5, 6};
  for (int len : {0, -4}) {
    EXPECT_EQ(ippsDivC_32s_ISfs(0, v.data(), len, 0), ippStsNoErr) << "nothing to do, no fault";
    EXPECT_EQ(ippsDivC_32s_Sfs(v.data(), 3, nullptr, len, 0), ippStsNoErr);
  }
  EXPECT_EQ(v, (std::vector<Ipp32s>{5, 6}));
  EXPECT_THROW(ippsDivC_32s_ISfs(0, v.data(), 2, 0), EDivByZero);
  EXPECT_EQ(v, (std::vector<Ipp32s>{5, 6}));

  std::vector<Ipp32s> w = {4, -9, std::numeric_limits<Ipp32s>::min(), 3};
  std::vector<Ipp32s> out(4, 0);
  EXPECT_THROW(ippsDivC_32s_Sfs(w.data(), -1, out.data(), 4, 0), EIntOverflow);
  EXPECT_EQ(out, (std::vector<Ipp32s>{-4, 9, 0, 0})) << "elements before the overflow are written";
}

// |a - b| in units of the spacing of doubles at b (the exact value, held in a long double).
long double UlpError(double AComputed, long double AExact) {
  const double ulp = std::nextafter(static_cast<double>(std::fabs(AExact)), INFINITY) -
                     static_cast<double>(std::fabs(AExact));
  return std::fabs(static_cast<long double>(AComputed) - AExact) / ulp;
}

TEST(OwnKernels, SixtyFourBitConversions) {
  static_assert(std::numeric_limits<long double>::digits >= 64, "the model needs exact 64-bit integers");
  std::mt19937_64 rng(11);
  std::vector<Ipp64s> s = {0, 1, -1, INT64_MAX, INT64_MIN, (1LL << 53) + 1, -(1LL << 53) - 3};
  std::vector<Ipp64u> u = {0, 1, UINT64_MAX, 1ULL << 63, (1ULL << 63) + 1025, (1ULL << 53) + 1};
  for (int i = 0; i < 2000; ++i) {
    const uint64_t r = rng();
    const int shift = static_cast<int>(rng() % 64);
    s.push_back(static_cast<Ipp64s>(r >> shift) * (r & 1 ? -1 : 1));
    u.push_back(r >> shift);
  }
  std::vector<Ipp64f> ds(s.size()), du(u.size());
  ippsConvert_64s64f(s.data(), ds.data(), static_cast<int>(s.size()));
  ippsConvert_64u64f(u.data(), du.data(), static_cast<int>(u.size()));
  for (size_t i = 0; i < s.size(); ++i)
    EXPECT_LE(UlpError(ds[i], static_cast<long double>(s[i])), 0.5L) << s[i];
  // The unsigned form rounds the signed reading and then adds 2^64, so it may be one rounding off.
  for (size_t i = 0; i < u.size(); ++i) {
    EXPECT_GE(du[i], 0.0) << u[i];
    EXPECT_LE(UlpError(du[i], static_cast<long double>(u[i])), 1.0L) << u[i];
  }
  EXPECT_EQ(du[2], 18446744073709551616.0);
  EXPECT_EQ(du[3], 9223372036854775808.0);
  EXPECT_EQ(ds[5], 9007199254740992.0) << "ties to even";

  std::vector<Ipp64f> untouched = {42.0};
  ippsConvert_64s64f(s.data(), untouched.data(), 0);
  ippsConvert_64u64f(u.data(), untouched.data(), -1);
  EXPECT_EQ(untouched[0], 42.0);
}

// I0 by the recurrence of its series terms, summed in long double, with as many terms as asked.
long double I0Series(long double x, int ATerms) {
  long double term = 1, sum = 1;
  for (int k = 1; k <= ATerms; ++k) {
    term *= (x / 2) * (x / 2) / (static_cast<long double>(k) * k);
    sum += term;
  }
  return sum;
}

std::vector<double> KaiserModel(int L, float alpha) {
  std::vector<double> w(L);
  const long double h = (L - 1) / 2.0L;
  for (int n = 0; n < L; ++n)
    w[n] = static_cast<double>(I0Series(alpha * std::sqrt(h * h - (n - h) * (n - h)), 9) / I0Series(alpha * h, 9));
  return w;
}

TEST(OwnKernels, KaiserWindowInAllThreeForms) {
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> dist(-2, 2);
  for (int L : {1, 2, 3, 8, 9, 64, 257}) {
    for (float alpha : {0.0f, 0.05f, 0.3f, 1.5f}) {
      std::vector<double> w = KaiserModel(L, alpha);
      std::vector<Ipp64f> src(L);
      std::vector<Ipp64fc> cplx(L);
      for (int i = 0; i < L; ++i) {
        src[i] = dist(rng);
        cplx[i] = {dist(rng), dist(rng)};
      }
      std::vector<Ipp64f> inPlace = src, out(L, 0);
      std::vector<Ipp64fc> cplxIn = cplx;
      EXPECT_EQ(ippsWinKaiser_64f_I(inPlace.data(), L, alpha), ippStsNoErr);
      EXPECT_EQ(ippsWinKaiser_64f(src.data(), out.data(), L, alpha), ippStsNoErr);
      EXPECT_EQ(ippsWinKaiser_64fc_I(cplxIn.data(), L, alpha), ippStsNoErr);
      for (int n = 0; n < L; ++n) {
        const double tol = 1e-13 * std::max(1.0, std::fabs(src[n] * w[n]));
        EXPECT_NEAR(inPlace[n], src[n] * w[n], tol) << "L " << L << " alpha " << alpha << " n " << n;
        EXPECT_EQ(out[n], inPlace[n]);
        EXPECT_NEAR(cplxIn[n].re, cplx[n].re * w[n], 1e-13 * std::max(1.0, std::fabs(cplx[n].re)));
        EXPECT_NEAR(cplxIn[n].im, cplx[n].im * w[n], 1e-13 * std::max(1.0, std::fabs(cplx[n].im)));
      }
      if (alpha == 0.0f) {
        EXPECT_EQ(inPlace, src) << "alpha 0 is the rectangular window";
      }
      // Symmetric about the centre, weight 1 there for odd lengths.
      std::vector<Ipp64f> ones(L, 1.0);
      ippsWinKaiser_64f_I(ones.data(), L, alpha);
      for (int n = 0; n < L / 2; ++n) EXPECT_NEAR(ones[n], ones[L - 1 - n], 1e-15);
      if (L % 2) {
        EXPECT_EQ(ones[L / 2], 1.0);
      }
    }
  }
  // Where nine terms suffice (small alpha h), the weights are the Kaiser window itself.
  std::vector<Ipp64f> ones(33, 1.0);
  ippsWinKaiser_64f_I(ones.data(), 33, 0.125f);
  for (int n = 0; n < 33; ++n) {
    const double h = 16, d = n - h;
    EXPECT_NEAR(ones[n], std::cyl_bessel_i(0.0, 0.125 * std::sqrt(h * h - d * d)) / std::cyl_bessel_i(0.0, 0.125 * h),
                1e-12);
  }
  std::vector<Ipp64f> keep = {3.0};
  ippsWinKaiser_64f_I(keep.data(), 0, 1.0f);
  ippsWinKaiser_64f(keep.data(), keep.data(), -2, 1.0f);
  EXPECT_EQ(keep[0], 3.0);
}

TEST(OwnKernels, MallocGivesZeroedAlignedBlocks) {
  EXPECT_EQ(_ippMalloc(0), nullptr);
  EXPECT_EQ(_ippMalloc(-8), nullptr);
  _ippFree(nullptr);
  for (int size : {1, 63, 64, 65, 4096, 1 << 20}) {
    // Dirty a block of the same size first, so that a reused block shows up unless zeroed.
    auto* dirty = static_cast<unsigned char*>(_ippMalloc(size));
    ASSERT_NE(dirty, nullptr);
    std::fill(dirty, dirty + size, 0xA5);
    _ippFree(dirty);
    auto* block = static_cast<unsigned char*>(_ippMalloc(size));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 64, 0u);
    EXPECT_TRUE(std::all_of(block, block + size, [](unsigned char c) { return c == 0; })) << size;
    _ippFree(block);
  }
}

}  // namespace
}  // namespace fundrel
