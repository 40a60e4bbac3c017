// The primitives are re-entrant: several threads calling them at once on their own buffers get
// exactly the results of a single thread (the saturating conversion's use of the per-thread SSE
// status register included).
#include <thread>

#include "tests/platform/ipp/ElementwiseTest.h"

using namespace ewtest;

namespace {
struct Results {
  std::vector<double> exp, ln, div;
  std::vector<float> cvt;
  double sum = 0;
  IppStatus divSts = ippStsNoErr, lnSts = ippStsNoErr;
  bool operator==(const Results& o) const {
    auto same = [](const auto& a, const auto& b) {
      return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(a[0])) == 0;
    };
    return same(exp, o.exp) && same(ln, o.ln) && same(div, o.div) && same(cvt, o.cvt) && sum == o.sum && divSts == o.divSts &&
           lnSts == o.lnSts;
  }
};

Results RunAll(const std::vector<double>& x, const std::vector<double>& y) {
  const int n = static_cast<int>(x.size());
  Results r;
  r.exp.resize(n);
  r.ln.resize(n);
  r.cvt.resize(n);
  ippsExp_64f(x.data(), r.exp.data(), n);
  r.lnSts = ippsLn_64f(x.data(), r.ln.data(), n);
  ippsConvert_64f32f(y.data(), r.cvt.data(), n);
  r.div = x;
  r.divSts = ippsDiv_64f_I(y.data(), r.div.data(), n);
  ippsSum_64f(x.data(), n, &r.sum);
  return r;
}
}  // namespace

TEST(ElementwiseThreads, ConcurrentCallsGiveSingleThreadResults) {
  constexpr int kThreads = 4, kRounds = 200;
  std::vector<std::vector<double>> xs, ys;
  std::vector<Results> want;
  for (int t = 0; t < kThreads; ++t) {
    xs.push_back(RandF64(1000 + 37 * t, -700, 700));
    ys.push_back(RandF64(1000 + 37 * t, -1e39, 1e39));  // some beyond the float range
    ys.back()[t] = 0.0;                                  // a zero divisor
    if (t % 2) xs.back()[5] = -1.0;                      // a negative logarithm
    want.push_back(RunAll(xs[t], ys[t]));
  }
  std::vector<int> mismatches(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kRounds; ++i)
        if (!(RunAll(xs[t], ys[t]) == want[t])) ++mismatches[t];
    });
  }
  for (auto& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
  EXPECT_EQ(want[0].divSts, ippStsDivByZero);
  EXPECT_EQ(want[1].lnSts, ippStsLnNegArg);
}
