#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "PinsTestKit.h"

using namespace fundrel;
using namespace pinkit;

namespace {

class PinsThreads : public ::testing::Test {
 protected:
  void SetUp() override { RegisterTestTypes(); }
  void TearDown() override { EXPECT_EQ(gLiveConverters.load(), 0); }
};

// Spins until ACondition holds or a generous time-out passes.
template <typename F>
bool Eventually(F ACondition) {
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!ACondition()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::yield();
  }
  return true;
}

TEST_F(PinsThreads, SinksComeAndGoWhileAnotherThreadSends) {
  auto* gen = TComponent::Create<TTestGenerator>(nullptr, TTestGenerator::TKind::Int, -1, false);
  std::atomic<bool> stop{false};
  std::atomic<long> sent{0};
  std::thread sender([&] {
    while (!stop.load()) {
      gen->SendInts({1});
      ++sent;
    }
  });

  for (int i = 0; i < 60; ++i) {
    // Direct links and links through a converter, alternately.
    TTestSink* sink = i % 2 ? TTestSink::Make<TTestIntSinkPin>(nullptr, "Direct", false)
                            : TTestSink::Make<TTestRealSinkPin>(nullptr, "Converted", false);
    TTestSink* bystander = TTestSink::Make<TTestIntSinkPin>(nullptr, "Bystander", false);
    gen->Output()->Connect(sink->Input());
    gen->Output()->Connect(bystander->Input());
    ASSERT_TRUE(Eventually([&] { return sink->Count.load() > 2; }));
    switch (i % 3) {
      case 0: {
        // Once Disconnect has returned nothing more arrives, the stop included.
        sink->Input()->Disconnect(gen->Output());
        int after = sink->Count.load();
        long mark = sent.load();
        ASSERT_TRUE(Eventually([&] { return sent.load() > mark + 3; }));
        EXPECT_EQ(sink->Count.load(), after);
        TObject::Free(sink);
        break;
      }
      case 1:
        TObject::Free(sink);  // destroyed while connected and receiving
        break;
      case 2:
        gen->Output()->DisconnectAll();
        TObject::Free(sink);
        break;
    }
    TObject::Free(bystander);
  }
  stop = true;
  sender.join();
  EXPECT_FALSE(gen->Output()->IsConnected());
  TObject::Free(gen);
}

TEST_F(PinsThreads, UpstreamAndDownstreamTrafficWhileTheFilterBetweenIsReplaced) {
  auto* gen = TComponent::Create<TTestGenerator>(nullptr, TTestGenerator::TKind::Int, -1, false);
  gen->Enabled = false;  // queries are answered downstream, re-entrantly
  TTestSink* sink = TTestSink::Make<TTestIntSinkPin>(nullptr, "Sink", false);
  std::atomic<bool> stop{false};
  std::thread down([&] {
    while (!stop.load()) gen->SendInts({1});
  });
  std::thread up([&] {
    while (!stop.load()) sink->Input()->Notify(LKMakeOperation<TLKQueryStreamOperation>());
  });

  for (int i = 0; i < 40; ++i) {
    auto* filter = TComponent::Create<TTestFilter>(nullptr);
    gen->Output()->Connect(filter->Input());
    filter->Output()->Connect(sink->Input());
    int seen = sink->Count.load();
    int asked = gen->UpstreamCount.load();
    ASSERT_TRUE(Eventually([&] { return sink->Count.load() > seen + 2 && gen->UpstreamCount.load() > asked + 2; }));
    if (i % 2) filter->Input()->DisconnectAll();
    TObject::Free(filter);
  }
  stop = true;
  down.join();
  up.join();
  EXPECT_FALSE(gen->Output()->IsConnected());
  EXPECT_FALSE(sink->Input()->IsConnected());
  TObject::Free(sink);
  TObject::Free(gen);
}

TEST_F(PinsThreads, ConcurrentSendersLoseNothing) {
  auto* gen = TComponent::Create<TTestGenerator>(nullptr, TTestGenerator::TKind::Int, -1, false);
  TTestSink* a = TTestSink::Make<TTestIntSinkPin>(nullptr, "A", false);
  TTestSink* b = TTestSink::Make<TTestRealSinkPin>(nullptr, "B", false);
  gen->Output()->Connect(a->Input());
  gen->Output()->Connect(b->Input());
  constexpr int perThread = 2000;
  std::atomic<int> handled{0};
  auto send = [&] {
    for (int i = 0; i < perThread; ++i) handled += gen->SendInts({i}) ? 1 : 0;
  };
  std::thread t1(send), t2(send);
  t1.join();
  t2.join();
  EXPECT_EQ(handled.load(), 2 * perThread);
  EXPECT_EQ(a->Count.load(), 2 * perThread);
  EXPECT_EQ(b->Count.load(), 2 * perThread);
  TObject::Free(gen);
  EXPECT_EQ(a->Count.load(), 2 * perThread + 1) << "one stop on the way out";
  TObject::Free(a);
  TObject::Free(b);
}

}  // namespace
