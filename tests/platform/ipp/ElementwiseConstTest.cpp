// Arithmetic with a constant against naive loops on every SIMD target: the constant's position,
// SubCRev's reversed operands, complex constants, scaled integers, and DivC's zero-constant error.
#include <complex>

#include "tests/platform/ipp/ElementwiseTest.h"

using namespace ewtest;

namespace {
using C = std::complex<double>;
C Cx(Ipp64fc z) { return {z.re, z.im}; }

template <typename T>
T SfsModel(long double exact, int sf) {
  const long double r = std::nearbyintl(std::ldexp(exact, -sf));
  const long double lo = std::numeric_limits<T>::min(), hi = std::numeric_limits<T>::max();
  return static_cast<T>(r < lo ? lo : (r > hi ? hi : r));
}
}  // namespace

TEST(ElementwiseConst, RealConstantOpsMatchNaiveLoops) {
  ForEachTarget([] {
    for (int len : Lengths()) {
      for (int off : {0, 1, 3}) {
        const auto a = RandF64(len);
        const double v = -1.75;
        Buf<double> src(len, off), dst(len, (off + 1) % 4);
        src.Assign(a);
        auto check = [&](const char* name, IppStatus sts, Buf<double>& got, auto model) {
          ASSERT_EQ(sts, ippStsNoErr) << name;
          for (int i = 0; i < len; ++i) ASSERT_EQ(got[i], model(a[i])) << name << " len " << len << " i " << i;
          src.Assign(a);
        };
        check("AddC", ippsAddC_64f(src.data(), v, dst.data(), len), dst, [&](double x) { return x + v; });
        check("AddC_I", ippsAddC_64f_I(v, src.data(), len), src, [&](double x) { return x + v; });
        check("SubC", ippsSubC_64f(src.data(), v, dst.data(), len), dst, [&](double x) { return x - v; });
        check("SubC_I", ippsSubC_64f_I(v, src.data(), len), src, [&](double x) { return x - v; });
        check("SubCRev", ippsSubCRev_64f(src.data(), v, dst.data(), len), dst, [&](double x) { return v - x; });
        check("SubCRev_I", ippsSubCRev_64f_I(v, src.data(), len), src, [&](double x) { return v - x; });
        check("MulC", ippsMulC_64f(src.data(), v, dst.data(), len), dst, [&](double x) { return x * v; });
        check("MulC_I", ippsMulC_64f_I(v, src.data(), len), src, [&](double x) { return x * v; });
        check("DivC", ippsDivC_64f(src.data(), v, dst.data(), len), dst, [&](double x) { return x / v; });
        check("DivC_I", ippsDivC_64f_I(v, src.data(), len), src, [&](double x) { return x / v; });

        const auto af = RandF32(len);
        std::vector<float> f = af;
        ASSERT_EQ(ippsMulC_32f_I(2.5f, f.data(), len), ippStsNoErr);
        for (int i = 0; i < len; ++i) ASSERT_EQ(f[i], af[i] * 2.5f);
        f = af;
        ASSERT_EQ(ippsSubCRev_32f_I(2.5f, f.data(), len), ippStsNoErr);
        for (int i = 0; i < len; ++i) ASSERT_EQ(f[i], 2.5f - af[i]);
      }
    }
  });
}

TEST(ElementwiseConst, ComplexConstantOpsMatchStdComplex) {
  ForEachTarget([] {
    for (int len : Lengths()) {
      const auto a = RandC64(len);
      const Ipp64fc v{0.5, -2.25};
      const C cv = Cx(v);
      Buf<Ipp64fc> src(len, 1), dst(len, 0);
      auto check = [&](const char* name, auto call, auto model, bool inPlace) {
        src.Assign(a);
        ASSERT_EQ(call(), ippStsNoErr) << name;
        Buf<Ipp64fc>& got = inPlace ? src : dst;
        for (int i = 0; i < len; ++i) {
          const C want = model(Cx(a[i]));
          ASSERT_LE(std::abs(Cx(got[i]) - want), 1e-14 * std::abs(want)) << name << " len " << len << " i " << i;
        }
      };
      check("AddC", [&] { return ippsAddC_64fc(src.data(), v, dst.data(), len); }, [&](C x) { return x + cv; }, false);
      check("AddC_I", [&] { return ippsAddC_64fc_I(v, src.data(), len); }, [&](C x) { return x + cv; }, true);
      check("SubC", [&] { return ippsSubC_64fc(src.data(), v, dst.data(), len); }, [&](C x) { return x - cv; }, false);
      check("SubC_I", [&] { return ippsSubC_64fc_I(v, src.data(), len); }, [&](C x) { return x - cv; }, true);
      check("SubCRev", [&] { return ippsSubCRev_64fc(src.data(), v, dst.data(), len); }, [&](C x) { return cv - x; }, false);
      check("MulC", [&] { return ippsMulC_64fc(src.data(), v, dst.data(), len); }, [&](C x) { return x * cv; }, false);
      check("MulC_I", [&] { return ippsMulC_64fc_I(v, src.data(), len); }, [&](C x) { return x * cv; }, true);
      check("DivC", [&] { return ippsDivC_64fc(src.data(), v, dst.data(), len); }, [&](C x) { return x / cv; }, false);
      check("DivC_I", [&] { return ippsDivC_64fc_I(v, src.data(), len); }, [&](C x) { return x / cv; }, true);
    }
  });
}

TEST(ElementwiseConst, ScaledIntegerConstantsRoundAndSaturate) {
  ForEachTarget([] {
    for (int sf : {0, 1, 4, 33, -2}) {
      for (int len : {1, 9, 64, 101}) {
        const auto a = RandInt<Ipp32s>(len);
        for (Ipp32s v : {Ipp32s{7}, Ipp32s{-3}, IPP_MAX_32S, IPP_MIN_32S}) {
          SCOPED_TRACE(testing::Message() << "sf " << sf << " len " << len << " val " << v);
          std::vector<Ipp32s> out(len), io;
          auto expect = [&](const char* name, const std::vector<Ipp32s>& got, auto exact) {
            for (int i = 0; i < len; ++i)
              ASSERT_EQ(got[i], SfsModel<Ipp32s>(exact((long double)a[i]), sf)) << name << " x " << a[i];
          };
          const long double lv = v;
          ASSERT_EQ(ippsAddC_32s_Sfs(a.data(), v, out.data(), len, sf), ippStsNoErr);
          expect("AddC", out, [&](long double x) { return x + lv; });
          io = a;
          ASSERT_EQ(ippsAddC_32s_ISfs(v, io.data(), len, sf), ippStsNoErr);
          expect("AddC_I", io, [&](long double x) { return x + lv; });
          ASSERT_EQ(ippsSubC_32s_Sfs(a.data(), v, out.data(), len, sf), ippStsNoErr);
          expect("SubC", out, [&](long double x) { return x - lv; });
          io = a;
          ASSERT_EQ(ippsSubC_32s_ISfs(v, io.data(), len, sf), ippStsNoErr);
          expect("SubC_I", io, [&](long double x) { return x - lv; });
          ASSERT_EQ(ippsSubCRev_32s_Sfs(a.data(), v, out.data(), len, sf), ippStsNoErr);
          expect("SubCRev", out, [&](long double x) { return lv - x; });
          io = a;
          ASSERT_EQ(ippsSubCRev_32s_ISfs(v, io.data(), len, sf), ippStsNoErr);
          expect("SubCRev_I", io, [&](long double x) { return lv - x; });
          ASSERT_EQ(ippsMulC_32s_Sfs(a.data(), v, out.data(), len, sf), ippStsNoErr);
          expect("MulC", out, [&](long double x) { return x * lv; });
          io = a;
          ASSERT_EQ(ippsMulC_32s_ISfs(v, io.data(), len, sf), ippStsNoErr);
          expect("MulC_I", io, [&](long double x) { return x * lv; });
        }
      }
    }
  });
}

TEST(ElementwiseConst, DivisionByAZeroConstantFailsAndWritesNothing) {
  std::vector<double> src = {1, 2, 3}, dst = {7, 7, 7};
  EXPECT_EQ(ippsDivC_64f(src.data(), 0.0, dst.data(), 3), ippStsDivByZeroErr);
  EXPECT_EQ(ippsDivC_64f_I(-0.0, dst.data(), 3), ippStsDivByZeroErr);
  EXPECT_EQ(dst, std::vector<double>(3, 7.0));
  std::vector<Ipp64fc> c = {{1, 1}, {2, 2}}, cd = {{7, 7}, {7, 7}};
  EXPECT_EQ(ippsDivC_64fc(c.data(), Ipp64fc{0, 0}, cd.data(), 2), ippStsDivByZeroErr);
  EXPECT_EQ(ippsDivC_64fc_I(Ipp64fc{0, 0}, cd.data(), 2), ippStsDivByZeroErr);
  EXPECT_EQ(cd[1].re, 7.0);
  EXPECT_EQ(ippsDivC_64fc_I(Ipp64fc{0, 1}, cd.data(), 2), ippStsNoErr);  // only 0+0i is zero
  EXPECT_EQ(cd[0].re, 7.0);
  EXPECT_EQ(cd[0].im, -7.0);
  // Null pointers are reported before the zero constant.
  EXPECT_EQ(ippsDivC_64f(nullptr, 0.0, dst.data(), 3), ippStsNullPtrErr);
}

TEST(ElementwiseConst, StandardStatuses) {
  EW_EXPECT_STATUSES(ippsAddC_64f);
  EW_EXPECT_STATUSES(ippsAddC_64f_I);
  EW_EXPECT_STATUSES(ippsAddC_64fc);
  EW_EXPECT_STATUSES(ippsAddC_64fc_I);
  EW_EXPECT_STATUSES(ippsAddC_32s_ISfs);
  EW_EXPECT_STATUSES(ippsAddC_32s_Sfs);
  EW_EXPECT_STATUSES(ippsSubC_64f);
  EW_EXPECT_STATUSES(ippsSubC_64f_I);
  EW_EXPECT_STATUSES(ippsSubC_64fc);
  EW_EXPECT_STATUSES(ippsSubC_64fc_I);
  EW_EXPECT_STATUSES(ippsSubC_32s_ISfs);
  EW_EXPECT_STATUSES(ippsSubC_32s_Sfs);
  EW_EXPECT_STATUSES(ippsSubCRev_64f);
  EW_EXPECT_STATUSES(ippsSubCRev_64fc);
  EW_EXPECT_STATUSES(ippsSubCRev_32s_Sfs);
  EW_EXPECT_STATUSES(ippsSubCRev_32s_ISfs);
  EW_EXPECT_STATUSES(ippsSubCRev_64f_I);
  EW_EXPECT_STATUSES(ippsSubCRev_32f_I);
  EW_EXPECT_STATUSES(ippsMulC_32f_I);
  EW_EXPECT_STATUSES(ippsMulC_64f);
  EW_EXPECT_STATUSES(ippsMulC_64f_I);
  EW_EXPECT_STATUSES(ippsMulC_64fc);
  EW_EXPECT_STATUSES(ippsMulC_64fc_I);
  EW_EXPECT_STATUSES(ippsMulC_32s_ISfs);
  EW_EXPECT_STATUSES(ippsMulC_32s_Sfs);
  EW_EXPECT_STATUSES(ippsDivC_64f);
  EW_EXPECT_STATUSES(ippsDivC_64f_I);
  EW_EXPECT_STATUSES(ippsDivC_64fc);
  EW_EXPECT_STATUSES(ippsDivC_64fc_I);
}
