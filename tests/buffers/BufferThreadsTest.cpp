#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "BufferTesting.h"

namespace fundrel::testing {
namespace {

using BufferThreads = BufferTest;

constexpr uint32_t Size = 256;
constexpr int Rounds = 2000;

// Every element of ABuffer holds AValue.
bool Uniform(const TGVRealBufferRef& ABuffer, double AValue) {
  const double* d = ABuffer->Read();
  for (uint32_t i = 0; i < ABuffer->GetSize(); ++i)
    if (d[i] != AValue) return false;
  return true;
}

// A handoff queue between the two threads.
class TChannel {
 public:
  void Put(TGVRealBufferRef ABuffer) {
    {
      std::lock_guard<std::mutex> guard(FMutex);
      FItems.push_back(std::move(ABuffer));
    }
    FReady.notify_one();
  }
  TGVRealBufferRef Take() {
    std::unique_lock<std::mutex> lock(FMutex);
    FReady.wait(lock, [this] { return !FItems.empty(); });
    TGVRealBufferRef b = std::move(FItems.front());
    FItems.pop_front();
    return b;
  }

 private:
  std::mutex FMutex;
  std::condition_variable FReady;
  std::deque<TGVRealBufferRef> FItems;
};

// The producer keeps writing its own view while the consumer writes the copies it was handed:
// every write to a storage that another thread still owns must copy first, so neither thread
// ever sees the other's values or a half-written buffer.
TEST_F(BufferThreads, WritersOnTwoViewsOfOneStorageNeverSeeEachOther) {
  TChannel channel;
  int producerErrors = 0, consumerErrors = 0;
  std::thread producer([&] {
    TGVRealBufferRef own = TGVRealBuffer::CreateSize(Size);
    for (int r = 0; r < Rounds; ++r) {
      own->SetValue(r);
      channel.Put(TGVRealBuffer::CreateCopy(own));  // shared from here on
      // Writes while the consumer may be writing its copy of the same storage.
      double* d = own->Modify();
      for (uint32_t i = 0; i < Size; ++i) d[i] = -r;
      if (!Uniform(own, -r)) ++producerErrors;
    }
    channel.Put(TGVRealBufferRef());
  });
  std::thread consumer([&] {
    int expected = 0;
    for (TGVRealBufferRef b = channel.Take(); b; b = channel.Take(), ++expected) {
      if (!Uniform(b, expected)) ++consumerErrors;  // the value as handed over, never -r
      b->AddValue(0.5);
      if (!Uniform(b, expected + 0.5)) ++consumerErrors;
    }
  });
  producer.join();
  consumer.join();
  EXPECT_EQ(producerErrors, 0);
  EXPECT_EQ(consumerErrors, 0);
}

// Views made and dropped on two threads at once over one storage keep the counts exact.
TEST_F(BufferThreads, AttachingAndDetachingFromTwoThreadsKeepsTheCounts) {
  TGVRealBufferRef root = TGVRealBuffer::CreateValue(1.0, 64);
  TGVRealBufferRef views[2] = {TGVRealBuffer::CreateCopy(root), TGVRealBuffer::CreateCopy(root)};
  auto churn = [](TGVRealBufferRef AView) {
    for (int r = 0; r < Rounds; ++r) {
      TIntf<IGVData> copy = AView->MakeCopy();
      TGVRealBufferRef transport = Supports<IGVRealBuffer>(copy);
      dynamic_cast<TGVGenericBuffer*>(transport->GetInstance())->RemoveOwnerShip();
    }
  };
  std::thread a(churn, views[0]), b(churn, views[1]);
  a.join();
  b.join();
  EXPECT_EQ(StorageOf(root)->GetCountOwners(), 3);
  EXPECT_EQ(StorageOf(root)->GetCountTransports(), 3);
  EXPECT_TRUE(Uniform(root, 1.0));
}

}  // namespace
}  // namespace fundrel::testing
