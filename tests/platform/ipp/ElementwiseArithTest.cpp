// Vector-with-vector arithmetic against naive loops, on every SIMD target, over many lengths and
// misalignments, in place and out of place.
#include <complex>
#include <functional>

#include "tests/platform/ipp/ElementwiseTest.h"

using namespace ewtest;

namespace {

using C = std::complex<double>;
C Cx(Ipp64fc z) { return {z.re, z.im}; }

// Runs `check(len, offsetA, offsetB)` for every length and a few misalignment pairs.
void Sweep(const std::function<void(int, int, int)>& check) {
  for (int len : Lengths())
    for (auto [oa, ob] : {std::pair{0, 0}, {1, 3}, {3, 1}, {5, 0}}) check(len, oa, ob);
}

// Exact model of the _Sfs rule, independent of the library's: long double holds every 64-bit
// sum and product exactly, scaling by a power of two is exact, nearbyintl rounds half to even.
template <typename T>
T SfsModel(long double exact, int sf) {
  const long double r = std::nearbyintl(std::ldexp(exact, -sf));
  const long double lo = std::numeric_limits<T>::min(), hi = std::numeric_limits<T>::max();
  return static_cast<T>(r < lo ? lo : (r > hi ? hi : r));
}

}  // namespace

TEST(ElementwiseArith, RealVectorOpsMatchNaiveLoops) {
  ForEachTarget([] {
    Sweep([](int len, int oa, int ob) {
      const auto a = RandF64(len), b = RandF64(len);
      Buf<double> x(len, oa), y(len, ob), out(len, (oa + ob) % 4);
      auto run2 = [&](const char* name, auto fn, auto model) {
        x.Assign(a);
        y.Assign(b);
        ASSERT_EQ(fn(x.data(), y.data(), out.data(), len), ippStsNoErr) << name;
        for (int i = 0; i < len; ++i) ASSERT_EQ(out[i], model(a[i], b[i])) << name << " len " << len << " i " << i;
      };
      auto runI = [&](const char* name, auto fn, auto model) {  // model(srcDst, src)
        x.Assign(a);
        y.Assign(b);
        ASSERT_EQ(fn(x.data(), y.data(), len), ippStsNoErr) << name;
        for (int i = 0; i < len; ++i) ASSERT_EQ(y[i], model(b[i], a[i])) << name << " len " << len << " i " << i;
        for (int i = 0; i < len; ++i) ASSERT_EQ(x[i], a[i]) << name << " source changed";
      };
      run2("Add_64f", ippsAdd_64f, [](double p, double q) { return p + q; });
      run2("Mul_64f", ippsMul_64f, [](double p, double q) { return p * q; });
      runI("Add_64f_I", ippsAdd_64f_I, [](double d, double s) { return d + s; });
      runI("Sub_64f_I", ippsSub_64f_I, [](double d, double s) { return d - s; });
      runI("Mul_64f_I", ippsMul_64f_I, [](double d, double s) { return d * s; });
      runI("Div_64f_I", ippsDiv_64f_I, [](double d, double s) { return d / s; });

      const auto af = RandF32(len), bf = RandF32(len);
      Buf<float> xf(len, oa), yf(len, ob), outf(len, ob);
      xf.Assign(af);
      yf.Assign(bf);
      ASSERT_EQ(ippsMul_32f(xf.data(), yf.data(), outf.data(), len), ippStsNoErr);
      for (int i = 0; i < len; ++i) ASSERT_EQ(outf[i], af[i] * bf[i]);
      ASSERT_EQ(ippsMul_32f_I(xf.data(), yf.data(), len), ippStsNoErr);
      for (int i = 0; i < len; ++i) ASSERT_EQ(yf[i], bf[i] * af[i]);
      yf.Assign(bf);
      ASSERT_EQ(ippsSub_32f_I(xf.data(), yf.data(), len), ippStsNoErr);
      for (int i = 0; i < len; ++i) ASSERT_EQ(yf[i], bf[i] - af[i]) << "Sub_32f_I is pSrcDst - pSrc";
    });
  });
}

TEST(ElementwiseArith, ComplexVectorOpsMatchStdComplex) {
  ForEachTarget([] {
    Sweep([](int len, int oa, int ob) {
      const auto a = RandC64(len), b = RandC64(len);
      Buf<Ipp64fc> x(len, oa), y(len, ob), out(len, 0);
      auto expectAll = [&](const char* name, Buf<Ipp64fc>& got, auto model) {
        for (int i = 0; i < len; ++i) {
          const C want = model(Cx(a[i]), Cx(b[i]));
          ASSERT_LE(std::abs(Cx(got[i]) - want), 1e-14 * std::abs(want))
              << name << " len " << len << " i " << i << ": " << got[i].re << "," << got[i].im << " want " << want;
        }
      };
      x.Assign(a);
      y.Assign(b);
      ASSERT_EQ(ippsAdd_64fc(x.data(), y.data(), out.data(), len), ippStsNoErr);
      expectAll("Add_64fc", out, [](C p, C q) { return p + q; });
      // In place: y (pSrcDst) holds b, x (pSrc) holds a.
      auto runI = [&](const char* name, auto fn, auto model) {
        y.Assign(b);
        ASSERT_EQ(fn(x.data(), y.data(), len), ippStsNoErr) << name;
        expectAll(name, y, model);
      };
      runI("Add_64fc_I", ippsAdd_64fc_I, [](C s, C d) { return d + s; });
      runI("Sub_64fc_I", ippsSub_64fc_I, [](C s, C d) { return d - s; });
      runI("Mul_64fc_I", ippsMul_64fc_I, [](C s, C d) { return d * s; });
      runI("Div_64fc_I", ippsDiv_64fc_I, [](C s, C d) { return d / s; });
    });
  });
}

TEST(ElementwiseArith, ZeroDivisorsWarnAndStillWriteEveryElement) {
  ForEachTarget([] {
    for (int len : {1, 5, 17, 64}) {
      for (int zeroAt : {0, len / 2, len - 1}) {
        std::vector<double> num = RandF64(len), den = RandF64(len, 1, 2);
        den[zeroAt] = (zeroAt % 2) ? -0.0 : 0.0;
        num[zeroAt] = zeroAt == 0 ? 0.0 : -3.0;  // 0/0 at the front, -3/0 elsewhere
        std::vector<double> out = num;
        ASSERT_EQ(ippsDiv_64f_I(den.data(), out.data(), len), ippStsDivByZero) << len << " " << zeroAt;
        for (int i = 0; i < len; ++i) ASSERT_TRUE(Same(out[i], num[i] / den[i])) << i;

        std::vector<Ipp64fc> cn = RandC64(len), cd = RandC64(len, 1, 2);
        cd[zeroAt] = {0.0, 0.0};
        std::vector<Ipp64fc> cout = cn;
        ASSERT_EQ(ippsDiv_64fc_I(cd.data(), cout.data(), len), ippStsDivByZero);
        for (int i = 0; i < len; ++i) {
          if (i == zeroAt) continue;
          const C want = Cx(cn[i]) / Cx(cd[i]);
          ASSERT_LE(std::abs(Cx(cout[i]) - want), 1e-14 * std::abs(want)) << i;
        }
      }
      std::vector<double> ok = RandF64(len, 1, 2), out = RandF64(len);
      EXPECT_EQ(ippsDiv_64f_I(ok.data(), out.data(), len), ippStsNoErr);
    }
  });
}

TEST(ElementwiseArith, ScaledIntegerOpsRoundHalfEvenAndSaturate) {
  ForEachTarget([] {
    for (int sf : {0, 1, 2, 7, 31, 40, -1, -3}) {
      for (int len : {1, 7, 33, 100}) {
        SCOPED_TRACE(testing::Message() << "sf " << sf << " len " << len);
        const auto a = RandInt<Ipp32s>(len), b = RandInt<Ipp32s>(len);
        auto run32 = [&](const char* name, auto fn, auto exact) {
          std::vector<Ipp32s> d = b;
          ASSERT_EQ(fn(a.data(), d.data(), len, sf), ippStsNoErr);
          for (int i = 0; i < len; ++i)
            ASSERT_EQ(d[i], SfsModel<Ipp32s>(exact((long double)b[i], (long double)a[i]), sf))
                << name << " " << b[i] << " op " << a[i];
        };
        run32("Add_32s", ippsAdd_32s_ISfs, [](long double d, long double s) { return d + s; });
        run32("Sub_32s", ippsSub_32s_ISfs, [](long double d, long double s) { return d - s; });
        run32("Mul_32s", ippsMul_32s_ISfs, [](long double d, long double s) { return d * s; });

        const auto a8 = RandInt<Ipp8u>(len), b8 = RandInt<Ipp8u>(len);
        auto run8 = [&](const char* name, auto fn, auto exact) {
          std::vector<Ipp8u> d = b8;
          ASSERT_EQ(fn(a8.data(), d.data(), len, sf), ippStsNoErr);
          for (int i = 0; i < len; ++i)
            ASSERT_EQ(d[i], SfsModel<Ipp8u>(exact((long double)b8[i], (long double)a8[i]), sf))
                << name << " " << int(b8[i]) << " op " << int(a8[i]);
        };
        run8("Add_8u", ippsAdd_8u_ISfs, [](long double d, long double s) { return d + s; });
        run8("Sub_8u", ippsSub_8u_ISfs, [](long double d, long double s) { return d - s; });
        run8("Mul_8u", ippsMul_8u_ISfs, [](long double d, long double s) { return d * s; });
      }
    }
  });
  // Hand-checked ties and limits.
  Ipp8u s8[] = {100, 3, 1}, d8[] = {200, 2, 2};
  ippsAdd_8u_ISfs(s8, d8, 3, 1);  // 300/2 = 150 -> 150; 5/2 = 2.5 -> 2; 3/2 = 1.5 -> 2
  EXPECT_EQ(d8[0], 150);
  EXPECT_EQ(d8[1], 2);
  EXPECT_EQ(d8[2], 2);
  Ipp32s s32[] = {1, -1}, d32[] = {IPP_MAX_32S, IPP_MIN_32S};
  ippsAdd_32s_ISfs(s32, d32, 2, 0);
  EXPECT_EQ(d32[0], IPP_MAX_32S);
  EXPECT_EQ(d32[1], IPP_MIN_32S);
}

TEST(ElementwiseArith, IntegerDivisionRoundsToNearestAndFlagsZero) {
  for (int sf : {0, 1, 3, -2}) {
    const int len = 300;
    auto num = RandInt<Ipp32s>(len), den = RandInt<Ipp32s>(len);
    for (int i = 0; i < len; ++i) {
      if (den[i] == 0) den[i] = 3;
      if (i % 7 == 0) den[i] = (i % 2) ? 2 : -4;  // frequent exact ties
    }
    std::vector<Ipp32s> out = num;
    ASSERT_EQ(ippsDiv_32s_ISfs(den.data(), out.data(), len, sf), ippStsNoErr);
    for (int i = 0; i < len; ++i)
      ASSERT_EQ(out[i], SfsModel<Ipp32s>((long double)num[i] / den[i], sf)) << num[i] << "/" << den[i] << " sf " << sf;
  }
  Ipp32s den[] = {2, 2, -2, 0, 0, 0}, num[] = {5, 7, 5, 0, 9, -9};
  EXPECT_EQ(ippsDiv_32s_ISfs(den, num, 6, 0), ippStsDivByZero);
  const Ipp32s want[] = {2, 4, -2, 0, IPP_MAX_32S, IPP_MIN_32S};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(num[i], want[i]) << i;
}

TEST(ElementwiseArith, StandardStatuses) {
  EW_EXPECT_STATUSES(ippsAdd_64f);
  EW_EXPECT_STATUSES(ippsAdd_64f_I);
  EW_EXPECT_STATUSES(ippsAdd_64fc);
  EW_EXPECT_STATUSES(ippsAdd_64fc_I);
  EW_EXPECT_STATUSES(ippsAdd_32s_ISfs);
  EW_EXPECT_STATUSES(ippsAdd_8u_ISfs);
  EW_EXPECT_STATUSES(ippsSub_32f_I);
  EW_EXPECT_STATUSES(ippsSub_64f_I);
  EW_EXPECT_STATUSES(ippsSub_64fc_I);
  EW_EXPECT_STATUSES(ippsSub_32s_ISfs);
  EW_EXPECT_STATUSES(ippsSub_8u_ISfs);
  EW_EXPECT_STATUSES(ippsMul_32f);
  EW_EXPECT_STATUSES(ippsMul_32f_I);
  EW_EXPECT_STATUSES(ippsMul_64f);
  EW_EXPECT_STATUSES(ippsMul_64f_I);
  EW_EXPECT_STATUSES(ippsMul_64fc_I);
  EW_EXPECT_STATUSES(ippsMul_32s_ISfs);
  EW_EXPECT_STATUSES(ippsMul_8u_ISfs);
  EW_EXPECT_STATUSES(ippsDiv_64f_I);
  EW_EXPECT_STATUSES(ippsDiv_64fc_I);
  EW_EXPECT_STATUSES(ippsDiv_32s_ISfs);
}
