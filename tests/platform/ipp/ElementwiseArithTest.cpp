// Arithmetic, vector with vector and with a constant, against naive loops on every SIMD target:
// operand order of Sub/Div/SubCRev, in-place forms, complex values, scaled integers, and the
// zero-divisor statuses.
#include "tests/platform/ipp/ElementwiseTest.h"

using namespace ewtest;

namespace {
using D = double;
using Z = Ipp64fc;
// In-place adapters: d receives y, then op(x, d) with x as the other operand.
#define EW_INPLACE(fn) [](auto* x, auto* y, auto* d, int n) { std::copy(y, y + n, d); return fn(x, d, n); }
#define EW_INPLACE_C(fn, v) [](auto* x, auto*, auto* d, int n) { std::copy(x, x + n, d); return fn(v, d, n); }
#define EW_OUT(fn) [](auto* x, auto* y, auto* d, int n) { return fn(x, y, d, n); }
#define EW_OUT_C(fn, v) [](auto* x, auto*, auto* d, int n) { return fn(x, v, d, n); }
}  // namespace

TEST(ElementwiseArith, FloatingOpsMatchNaiveLoops) {
  const C cc(0.5, -2.25);  // the constant the complex adapters below spell out
  ForEachTarget([&] {
    SweepMap<D, D, D>("Add_64f", EW_OUT(ippsAdd_64f), [](D a, D b) { return a + b; }, kExact);
    SweepMap<D, D, D>("Mul_64f", EW_OUT(ippsMul_64f), [](D a, D b) { return a * b; }, kExact);
    SweepMap<D, D, D>("Add_64f_I", EW_INPLACE(ippsAdd_64f_I), [](D a, D b) { return b + a; }, kExact);
    SweepMap<D, D, D>("Sub_64f_I", EW_INPLACE(ippsSub_64f_I), [](D a, D b) { return b - a; }, kExact);
    SweepMap<D, D, D>("Mul_64f_I", EW_INPLACE(ippsMul_64f_I), [](D a, D b) { return b * a; }, kExact);
    SweepMap<D, D, D>("Div_64f_I", EW_INPLACE(ippsDiv_64f_I), [](D a, D b) { return b / a; }, kExact);
    SweepMap<float, float, float>("Mul_32f", EW_OUT(ippsMul_32f), [](float a, float b) { return a * b; }, kExact);
    SweepMap<float, float, float>("Mul_32f_I", EW_INPLACE(ippsMul_32f_I), [](float a, float b) { return b * a; }, kExact);
    SweepMap<float, float, float>("Sub_32f_I", EW_INPLACE(ippsSub_32f_I), [](float a, float b) { return b - a; }, kExact);
    SweepMap<Z, Z, Z>("Add_64fc", EW_OUT(ippsAdd_64fc), [](Z a, Z b) { return Cx(a) + Cx(b); }, kNearC);
    SweepMap<Z, Z, Z>("Add_64fc_I", EW_INPLACE(ippsAdd_64fc_I), [](Z a, Z b) { return Cx(b) + Cx(a); }, kNearC);
    SweepMap<Z, Z, Z>("Sub_64fc_I", EW_INPLACE(ippsSub_64fc_I), [](Z a, Z b) { return Cx(b) - Cx(a); }, kNearC);
    SweepMap<Z, Z, Z>("Mul_64fc_I", EW_INPLACE(ippsMul_64fc_I), [](Z a, Z b) { return Cx(b) * Cx(a); }, kNearC);
    SweepMap<Z, Z, Z>("Div_64fc_I", EW_INPLACE(ippsDiv_64fc_I), [](Z a, Z b) { return Cx(b) / Cx(a); }, kNearC);

    SweepMap<D, D, D>("AddC", EW_OUT_C(ippsAddC_64f, -1.75), [](D a, D) { return a + -1.75; }, kExact);
    SweepMap<D, D, D>("AddC_I", EW_INPLACE_C(ippsAddC_64f_I, -1.75), [](D a, D) { return a + -1.75; }, kExact);
    SweepMap<D, D, D>("SubC", EW_OUT_C(ippsSubC_64f, -1.75), [](D a, D) { return a - -1.75; }, kExact);
    SweepMap<D, D, D>("SubC_I", EW_INPLACE_C(ippsSubC_64f_I, -1.75), [](D a, D) { return a - -1.75; }, kExact);
    SweepMap<D, D, D>("SubCRev", EW_OUT_C(ippsSubCRev_64f, -1.75), [](D a, D) { return -1.75 - a; }, kExact);
    SweepMap<D, D, D>("SubCRev_I", EW_INPLACE_C(ippsSubCRev_64f_I, -1.75), [](D a, D) { return -1.75 - a; }, kExact);
    SweepMap<D, D, D>("MulC", EW_OUT_C(ippsMulC_64f, -1.75), [](D a, D) { return a * -1.75; }, kExact);
    SweepMap<D, D, D>("MulC_I", EW_INPLACE_C(ippsMulC_64f_I, -1.75), [](D a, D) { return a * -1.75; }, kExact);
    SweepMap<D, D, D>("DivC", EW_OUT_C(ippsDivC_64f, -1.75), [](D a, D) { return a / -1.75; }, kExact);
    SweepMap<D, D, D>("DivC_I", EW_INPLACE_C(ippsDivC_64f_I, -1.75), [](D a, D) { return a / -1.75; }, kExact);
    SweepMap<float, float, float>("MulC_32f_I", EW_INPLACE_C(ippsMulC_32f_I, 2.5f), [](float a, float) { return a * 2.5f; }, kExact);
    SweepMap<float, float, float>("SubCRev_32f_I", EW_INPLACE_C(ippsSubCRev_32f_I, 2.5f), [](float a, float) { return 2.5f - a; }, kExact);

    auto cAdd = [&](Z a, Z) { return Cx(a) + cc; };
    auto cSub = [&](Z a, Z) { return Cx(a) - cc; };
    auto cMul = [&](Z a, Z) { return Cx(a) * cc; };
    auto cDiv = [&](Z a, Z) { return Cx(a) / cc; };
    SweepMap<Z, Z, Z>("AddC_64fc", EW_OUT_C(ippsAddC_64fc, (Z{0.5, -2.25})), cAdd, kNearC);
    SweepMap<Z, Z, Z>("AddC_64fc_I", EW_INPLACE_C(ippsAddC_64fc_I, (Z{0.5, -2.25})), cAdd, kNearC);
    SweepMap<Z, Z, Z>("SubC_64fc", EW_OUT_C(ippsSubC_64fc, (Z{0.5, -2.25})), cSub, kNearC);
    SweepMap<Z, Z, Z>("SubC_64fc_I", EW_INPLACE_C(ippsSubC_64fc_I, (Z{0.5, -2.25})), cSub, kNearC);
    SweepMap<Z, Z, Z>("SubCRev_64fc", EW_OUT_C(ippsSubCRev_64fc, (Z{0.5, -2.25})), [&](Z a, Z) { return cc - Cx(a); }, kNearC);
    SweepMap<Z, Z, Z>("MulC_64fc", EW_OUT_C(ippsMulC_64fc, (Z{0.5, -2.25})), cMul, kNearC);
    SweepMap<Z, Z, Z>("MulC_64fc_I", EW_INPLACE_C(ippsMulC_64fc_I, (Z{0.5, -2.25})), cMul, kNearC);
    SweepMap<Z, Z, Z>("DivC_64fc", EW_OUT_C(ippsDivC_64fc, (Z{0.5, -2.25})), cDiv, kNearC);
    SweepMap<Z, Z, Z>("DivC_64fc_I", EW_INPLACE_C(ippsDivC_64fc_I, (Z{0.5, -2.25})), cDiv, kNearC);
  });
}

TEST(ElementwiseArith, ScaledIntegerOpsRoundHalfEvenAndSaturate) {
  using I = Ipp32s;
  using L = long double;
  ForEachTarget([] {
    for (int sf : {0, 1, 7, 40, -3}) {
      SCOPED_TRACE(testing::Message() << "sf " << sf);
      auto eq = [](auto got, auto want) { return got == want; };
      // Vector with vector, in place: the result is pSrcDst (b) op pSrc (a).
      auto inpl = [sf](auto fn) { return [=](auto* x, auto* y, auto* d, int n) { std::copy(y, y + n, d); return fn(x, d, n, sf); }; };
      SweepMap<I, I, I>("Add_32s", inpl(ippsAdd_32s_ISfs), [sf](I a, I b) { return SfsModel<I>(L(b) + a, sf); }, eq);
      SweepMap<I, I, I>("Sub_32s", inpl(ippsSub_32s_ISfs), [sf](I a, I b) { return SfsModel<I>(L(b) - a, sf); }, eq);
      SweepMap<I, I, I>("Mul_32s", inpl(ippsMul_32s_ISfs), [sf](I a, I b) { return SfsModel<I>(L(b) * a, sf); }, eq);
      SweepMap<Ipp8u, Ipp8u, Ipp8u>("Add_8u", inpl(ippsAdd_8u_ISfs), [sf](Ipp8u a, Ipp8u b) { return SfsModel<Ipp8u>(L(b) + a, sf); }, eq);
      SweepMap<Ipp8u, Ipp8u, Ipp8u>("Sub_8u", inpl(ippsSub_8u_ISfs), [sf](Ipp8u a, Ipp8u b) { return SfsModel<Ipp8u>(L(b) - a, sf); }, eq);
      SweepMap<Ipp8u, Ipp8u, Ipp8u>("Mul_8u", inpl(ippsMul_8u_ISfs), [sf](Ipp8u a, Ipp8u b) { return SfsModel<Ipp8u>(L(b) * a, sf); }, eq);
      // With a constant, out of place and in place.
      for (I v : {I{7}, I{-3}, I{IPP_MAX_32S}, I{IPP_MIN_32S}}) {
        auto out = [sf, v](auto fn) { return [=](I* x, I*, I* d, int n) { return fn(x, v, d, n, sf); }; };
        auto inC = [sf, v](auto fn) { return [=](I* x, I*, I* d, int n) { std::copy(x, x + n, d); return fn(v, d, n, sf); }; };
        auto add = [sf, v](I a, I) { return SfsModel<I>(L(a) + v, sf); };
        auto sub = [sf, v](I a, I) { return SfsModel<I>(L(a) - v, sf); };
        auto rev = [sf, v](I a, I) { return SfsModel<I>(L(v) - a, sf); };
        auto mul = [sf, v](I a, I) { return SfsModel<I>(L(a) * v, sf); };
        SweepMap<I, I, I>("AddC", out(ippsAddC_32s_Sfs), add, eq);
        SweepMap<I, I, I>("AddC_I", inC(ippsAddC_32s_ISfs), add, eq);
        SweepMap<I, I, I>("SubC", out(ippsSubC_32s_Sfs), sub, eq);
        SweepMap<I, I, I>("SubC_I", inC(ippsSubC_32s_ISfs), sub, eq);
        SweepMap<I, I, I>("SubCRev", out(ippsSubCRev_32s_Sfs), rev, eq);
        SweepMap<I, I, I>("SubCRev_I", inC(ippsSubCRev_32s_ISfs), rev, eq);
        SweepMap<I, I, I>("MulC", out(ippsMulC_32s_Sfs), mul, eq);
        SweepMap<I, I, I>("MulC_I", inC(ippsMulC_32s_ISfs), mul, eq);
      }
    }
  });
  Ipp8u s8[] = {100, 3, 1}, d8[] = {200, 2, 2};
  ippsAdd_8u_ISfs(s8, d8, 3, 1);  // 300/2 = 150, 5/2 = 2.5 -> 2, 3/2 = 1.5 -> 2
  EXPECT_TRUE(d8[0] == 150 && d8[1] == 2 && d8[2] == 2);
}

TEST(ElementwiseArith, DivisionByZero) {
  ForEachTarget([] {
    for (int len : {1, 5, 17, 64}) {
      for (int at : {0, len / 2, len - 1}) {
        // Vector Div warns with 6 and still writes IEEE results everywhere.
        std::vector<double> num = Rand<double>(len), den = Rand<double>(len, 1, 2);
        den[at] = at % 2 ? -0.0 : 0.0;
        num[at] = at == 0 ? 0.0 : -3.0;
        std::vector<double> out = num;
        ASSERT_EQ(ippsDiv_64f_I(den.data(), out.data(), len), ippStsDivByZero);
        for (int i = 0; i < len; ++i) ASSERT_TRUE(Same(out[i], num[i] / den[i])) << i;
        std::vector<Ipp64fc> cn = Rand<Ipp64fc>(len), cd = Rand<Ipp64fc>(len, 1, 2), co = cn;
        cd[at] = {0.0, 0.0};
        ASSERT_EQ(ippsDiv_64fc_I(cd.data(), co.data(), len), ippStsDivByZero);
        for (int i = 0; i < len; ++i) ASSERT_TRUE(i == at || Near(Cx(co[i]), Cx(cn[i]) / Cx(cd[i]))) << i;
        den[at] = 1.0;
        EXPECT_EQ(ippsDiv_64f_I(den.data(), out.data(), len), ippStsNoErr);
      }
    }
  });
  // Integer division rounds to nearest even; a zero divisor gives 0 or the saturated sign.
  for (int sf : {0, 1, 3, -2}) {
    auto num = Rand<Ipp32s>(300), den = Rand<Ipp32s>(300), out = num;
    for (int i = 0; i < 300; ++i) den[i] = i % 7 == 0 ? (i % 2 ? 2 : -4) : (den[i] == 0 ? 3 : den[i]);  // frequent ties
    ASSERT_EQ(ippsDiv_32s_ISfs(den.data(), out.data(), 300, sf), ippStsNoErr);
    for (int i = 0; i < 300; ++i) ASSERT_EQ(out[i], SfsModel<Ipp32s>((long double)num[i] / den[i], sf)) << num[i] << "/" << den[i];
  }
  Ipp32s den[] = {2, 2, -2, 0, 0, 0}, num[] = {5, 7, 5, 0, 9, -9};
  EXPECT_EQ(ippsDiv_32s_ISfs(den, num, 6, 0), ippStsDivByZero);
  const Ipp32s want[] = {2, 4, -2, 0, IPP_MAX_32S, IPP_MIN_32S};
  EXPECT_TRUE(std::equal(num, num + 6, want));
  // A zero constant is an error and nothing is written; only 0+0i is a zero complex constant.
  std::vector<double> src = {1, 2, 3}, dst = {7, 7, 7};
  EXPECT_EQ(ippsDivC_64f(src.data(), 0.0, dst.data(), 3), ippStsDivByZeroErr);
  EXPECT_EQ(ippsDivC_64f_I(-0.0, dst.data(), 3), ippStsDivByZeroErr);
  EXPECT_EQ(dst, std::vector<double>(3, 7.0));
  std::vector<Ipp64fc> c = {{1, 1}, {2, 2}}, cd = {{7, 7}, {7, 7}};
  EXPECT_EQ(ippsDivC_64fc(c.data(), Ipp64fc{0, 0}, cd.data(), 2), ippStsDivByZeroErr);
  EXPECT_EQ(ippsDivC_64fc_I(Ipp64fc{0, 0}, cd.data(), 2), ippStsDivByZeroErr);
  EXPECT_EQ(ippsDivC_64fc_I(Ipp64fc{0, 1}, cd.data(), 2), ippStsNoErr);
  EXPECT_TRUE(cd[0].re == 7.0 && cd[0].im == -7.0);
  EXPECT_EQ(ippsDivC_64f(nullptr, 0.0, dst.data(), 3), ippStsNullPtrErr) << "pointers are checked first";
}

TEST(ElementwiseArith, StandardStatuses) {
  EW_EXPECT_STATUSES(ippsAdd_64f, ippsAdd_64f_I, ippsAdd_64fc, ippsAdd_64fc_I, ippsAdd_32s_ISfs, ippsAdd_8u_ISfs, ippsSub_32f_I,
                     ippsSub_64f_I, ippsSub_64fc_I, ippsSub_32s_ISfs, ippsSub_8u_ISfs, ippsMul_32f, ippsMul_32f_I, ippsMul_64f,
                     ippsMul_64f_I, ippsMul_64fc_I, ippsMul_32s_ISfs, ippsMul_8u_ISfs, ippsDiv_64f_I, ippsDiv_64fc_I, ippsDiv_32s_ISfs);
  EW_EXPECT_STATUSES(ippsAddC_64f, ippsAddC_64f_I, ippsAddC_64fc, ippsAddC_64fc_I, ippsAddC_32s_ISfs, ippsAddC_32s_Sfs, ippsSubC_64f,
                     ippsSubC_64f_I, ippsSubC_64fc, ippsSubC_64fc_I, ippsSubC_32s_ISfs, ippsSubC_32s_Sfs, ippsSubCRev_64f,
                     ippsSubCRev_64fc, ippsSubCRev_32s_Sfs, ippsSubCRev_32s_ISfs, ippsSubCRev_64f_I, ippsSubCRev_32f_I, ippsMulC_32f_I,
                     ippsMulC_64f, ippsMulC_64f_I, ippsMulC_64fc, ippsMulC_64fc_I, ippsMulC_32s_ISfs, ippsMulC_32s_Sfs, ippsDivC_64f,
                     ippsDivC_64f_I, ippsDivC_64fc, ippsDivC_64fc_I);
}
