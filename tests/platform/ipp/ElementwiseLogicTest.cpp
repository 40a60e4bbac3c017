// Bitwise logic and shifts against naive loops on every SIMD target.
#include "tests/platform/ipp/ElementwiseTest.h"

using namespace ewtest;

TEST(ElementwiseLogic, BitwiseOpsMatchNaiveLoops) {
  ForEachTarget([] {
    for (int len : Lengths()) {
      const auto a = RandInt<Ipp32u>(len), b = RandInt<Ipp32u>(len);
      const Ipp32u c = 0xF0F00FF1u;
      Buf<Ipp32u> src(len, 1), io(len, 2), dst(len, 3);
      src.Assign(a);
      auto vec = [&](const char* name, auto fn, auto model) {
        io.Assign(b);
        ASSERT_EQ(fn(src.data(), io.data(), len), ippStsNoErr);
        for (int i = 0; i < len; ++i) ASSERT_EQ(io[i], model(b[i], a[i])) << name << " " << i;
      };
      auto con = [&](const char* name, auto fn, auto fnI, auto model) {
        ASSERT_EQ(fn(src.data(), c, dst.data(), len), ippStsNoErr);
        io.Assign(a);
        ASSERT_EQ(fnI(c, io.data(), len), ippStsNoErr);
        for (int i = 0; i < len; ++i) ASSERT_TRUE(dst[i] == model(a[i], c) && io[i] == dst[i]) << name << " " << i;
      };
      vec("And", ippsAnd_32u_I, [](Ipp32u x, Ipp32u y) { return x & y; });
      vec("Or", ippsOr_32u_I, [](Ipp32u x, Ipp32u y) { return x | y; });
      vec("Xor", ippsXor_32u_I, [](Ipp32u x, Ipp32u y) { return x ^ y; });
      con("AndC", ippsAndC_32u, ippsAndC_32u_I, [](Ipp32u x, Ipp32u y) { return x & y; });
      con("OrC", ippsOrC_32u, ippsOrC_32u_I, [](Ipp32u x, Ipp32u y) { return x | y; });
      con("XorC", ippsXorC_32u, ippsXorC_32u_I, [](Ipp32u x, Ipp32u y) { return x ^ y; });
    }
  });
}

TEST(ElementwiseLogic, ShiftsAreLogicalLeftAndArithmeticRight) {
  ForEachTarget([] {
    for (int len : {1, 5, 16, 33, 100}) {
      const auto a = RandInt<Ipp32s>(len);
      std::vector<Ipp32s> out(len), io;
      for (int s : {0, 1, 5, 31, 32, 40}) {
        ASSERT_EQ(ippsLShiftC_32s(a.data(), s, out.data(), len), ippStsNoErr);
        io = a;
        ASSERT_EQ(ippsLShiftC_32s_I(s, io.data(), len), ippStsNoErr);
        for (int i = 0; i < len; ++i) {
          const Ipp32s want = s >= 32 ? 0 : static_cast<Ipp32s>(static_cast<uint32_t>(a[i]) << s);
          ASSERT_TRUE(out[i] == want && io[i] == want) << "<< " << s << " of " << a[i];
        }
        ASSERT_EQ(ippsRShiftC_32s(a.data(), s, out.data(), len), ippStsNoErr);
        io = a;
        ASSERT_EQ(ippsRShiftC_32s_I(s, io.data(), len), ippStsNoErr);
        for (int i = 0; i < len; ++i) {
          const Ipp32s want = s >= 32 ? (a[i] < 0 ? -1 : 0) : static_cast<Ipp32s>(static_cast<int64_t>(a[i]) >> s);
          ASSERT_TRUE(out[i] == want && io[i] == want) << ">> " << s << " of " << a[i];
        }
      }
    }
  });
  Ipp32s x[2] = {5, 6};
  EXPECT_EQ(ippsLShiftC_32s_I(-1, x, 2), ippStsShiftErr);
  EXPECT_EQ(ippsRShiftC_32s(x, -3, x, 2), ippStsShiftErr);
  EXPECT_EQ(x[0], 5);
}

TEST(ElementwiseLogic, StandardStatuses) {
  EW_EXPECT_STATUSES(ippsAnd_32u_I);
  EW_EXPECT_STATUSES(ippsAndC_32u);
  EW_EXPECT_STATUSES(ippsAndC_32u_I);
  EW_EXPECT_STATUSES(ippsOr_32u_I);
  EW_EXPECT_STATUSES(ippsOrC_32u);
  EW_EXPECT_STATUSES(ippsOrC_32u_I);
  EW_EXPECT_STATUSES(ippsXor_32u_I);
  EW_EXPECT_STATUSES(ippsXorC_32u);
  EW_EXPECT_STATUSES(ippsXorC_32u_I);
  EW_EXPECT_STATUSES(ippsLShiftC_32s);
  EW_EXPECT_STATUSES(ippsLShiftC_32s_I);
  EW_EXPECT_STATUSES(ippsRShiftC_32s);
  EW_EXPECT_STATUSES(ippsRShiftC_32s_I);
}
