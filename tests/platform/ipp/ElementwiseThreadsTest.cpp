// The primitives are re-entrant: threads calling them at once on their own buffers get exactly the
// results of a single thread (the saturating conversion's per-thread status register included).
#include <thread>

#include "tests/platform/ipp/ElementwiseTest.h"

using namespace ewtest;

TEST(ElementwiseThreads, ConcurrentCallsGiveSingleThreadResults) {
  // One run: Exp, Ln, the saturating conversion (some values beyond float), Div with a zero divisor.
  auto run = [](const std::vector<double>& x, const std::vector<double>& y) {
    const int n = static_cast<int>(x.size());
    std::vector<double> r(3 * n + 2);
    std::vector<float> f(n);
    r[3 * n] = ippsLn_64f(x.data(), r.data(), n);
    ippsExp_64f(x.data(), r.data() + n, n);
    std::copy(x.begin(), x.end(), r.begin() + 2 * n);
    r[3 * n + 1] = ippsDiv_64f_I(y.data(), r.data() + 2 * n, n);
    ippsConvert_64f32f(y.data(), f.data(), n);
    r.insert(r.end(), f.begin(), f.end());
    return r;
  };
  constexpr int kThreads = 4;
  std::vector<std::vector<double>> xs, ys, want;
  for (int t = 0; t < kThreads; ++t) {
    xs.push_back(Rand<double>(1000 + 37 * t, -700, 700));
    ys.push_back(Rand<double>(1000 + 37 * t, -1e39, 1e39));
    ys.back()[t] = 0.0;
    want.push_back(run(xs[t], ys[t]));
  }
  std::vector<int> mismatches(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) mismatches[t] += std::memcmp(run(xs[t], ys[t]).data(), want[t].data(), want[t].size() * 8) != 0;
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(mismatches, std::vector<int>(kThreads, 0));
  EXPECT_EQ(want[0][3 * 1000 + 1], ippStsDivByZero);
}
