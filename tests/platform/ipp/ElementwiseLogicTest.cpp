// Bitwise logic and shifts against naive loops on every SIMD target.
#include "tests/platform/ipp/ElementwiseTest.h"

using namespace ewtest;

TEST(ElementwiseLogic, BitwiseOpsAndShifts) {
  using U = Ipp32u;
  using I = Ipp32s;
  const U c = 0xF0F00FF1u;
  auto eq = [](auto g, auto w) { return g == w; };
  ForEachTarget([&] {
    auto vec = [](auto fn) { return [=](U* x, U* y, U* d, int n) { std::copy(y, y + n, d); return fn(x, d, n); }; };
    auto out = [c](auto fn) { return [=](U* x, U*, U* d, int n) { return fn(x, c, d, n); }; };
    auto inC = [c](auto fn) { return [=](U* x, U*, U* d, int n) { std::copy(x, x + n, d); return fn(c, d, n); }; };
    SweepMap<U, U, U>("And", vec(ippsAnd_32u_I), [](U a, U b) { return a & b; }, eq);
    SweepMap<U, U, U>("Or", vec(ippsOr_32u_I), [](U a, U b) { return a | b; }, eq);
    SweepMap<U, U, U>("Xor", vec(ippsXor_32u_I), [](U a, U b) { return a ^ b; }, eq);
    SweepMap<U, U, U>("AndC", out(ippsAndC_32u), [c](U a, U) { return a & c; }, eq);
    SweepMap<U, U, U>("AndC_I", inC(ippsAndC_32u_I), [c](U a, U) { return a & c; }, eq);
    SweepMap<U, U, U>("OrC", out(ippsOrC_32u), [c](U a, U) { return a | c; }, eq);
    SweepMap<U, U, U>("OrC_I", inC(ippsOrC_32u_I), [c](U a, U) { return a | c; }, eq);
    SweepMap<U, U, U>("XorC", out(ippsXorC_32u), [c](U a, U) { return a ^ c; }, eq);
    SweepMap<U, U, U>("XorC_I", inC(ippsXorC_32u_I), [c](U a, U) { return a ^ c; }, eq);
    // Zeros enter from the right, the sign from the left; every bit shifted out leaves 0 / the sign.
    for (int s : {0, 1, 5, 31, 32, 40}) {
      auto shl = [s](I a, I) { return s >= 32 ? 0 : static_cast<I>(static_cast<U>(a) << s); };
      auto sar = [s](I a, I) { return s >= 32 ? (a < 0 ? -1 : 0) : static_cast<I>(static_cast<int64_t>(a) >> s); };
      SweepMap<I, I, I>("LShiftC", [s](I* x, I*, I* d, int n) { return ippsLShiftC_32s(x, s, d, n); }, shl, eq);
      SweepMap<I, I, I>("LShiftC_I", [s](I* x, I*, I* d, int n) { std::copy(x, x + n, d); return ippsLShiftC_32s_I(s, d, n); }, shl, eq);
      SweepMap<I, I, I>("RShiftC", [s](I* x, I*, I* d, int n) { return ippsRShiftC_32s(x, s, d, n); }, sar, eq);
      SweepMap<I, I, I>("RShiftC_I", [s](I* x, I*, I* d, int n) { std::copy(x, x + n, d); return ippsRShiftC_32s_I(s, d, n); }, sar, eq);
    }
  });
  Ipp32s x[2] = {5, 6};
  EXPECT_EQ(ippsLShiftC_32s_I(-1, x, 2), ippStsShiftErr);
  EXPECT_EQ(ippsRShiftC_32s(x, -3, x, 2), ippStsShiftErr);
  EXPECT_EQ(x[0], 5);
}

TEST(ElementwiseLogic, StandardStatuses) {
  EW_EXPECT_STATUSES(ippsAnd_32u_I, ippsAndC_32u, ippsAndC_32u_I, ippsOr_32u_I, ippsOrC_32u, ippsOrC_32u_I, ippsXor_32u_I,
                     ippsXorC_32u, ippsXorC_32u_I, ippsLShiftC_32s, ippsLShiftC_32s_I, ippsRShiftC_32s, ippsRShiftC_32s_I);
}
