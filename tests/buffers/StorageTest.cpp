#include <cstring>

#include "BufferTesting.h"
#include "buffers/DVMalloc.h"
#include "buffers/GVInternalStore.h"

namespace fundrel::testing {
namespace {

// Counts its synchronisations; matches requests whose first parameter equals its own.
class TRecordingProxy : public TGVSmartBufferProxy {
 public:
  TRecordingProxy(TGVSmartBuffer* AOwner, std::vector<TVariant> AParameters)
      : TGVSmartBufferProxy(AOwner, AParameters), FKey(AParameters.empty() ? TVariant() : AParameters[0]) {}
  bool MatchesParameters(const std::vector<TVariant>& AParameters) override {
    return !AParameters.empty() && AParameters[0] == FKey;
  }
  void Syncronize(TBufferAccessModes AMode) override { Syncs.push_back(AMode); }
  std::vector<TBufferAccessModes> Syncs;

 private:
  TVariant FKey;
};
class TOtherProxy : public TRecordingProxy {
 public:
  using TRecordingProxy::TRecordingProxy;
};
FUNDREL_PUBLISHED(TRecordingProxy, TGVSmartBufferProxy) { P.Constructor<TGVSmartBuffer*, std::vector<TVariant>>(); }
FUNDREL_PUBLISHED(TOtherProxy, TRecordingProxy) { P.Constructor<TGVSmartBuffer*, std::vector<TVariant>>(); }

// A storage class that does not know how to clone itself.
class TFixedStore : public TGVSmartBuffer {
 public:
  uint32_t GetSize() override { return 0; }
  void* GetData() override { return nullptr; }
};

using StorageTest = BufferTest;

TEST_F(StorageTest, OwnersAndTransportsDecideSharingAndLifetime) {
  auto* store = new TGVSmartMemoryBuffer(16);
  EXPECT_EQ(_GVCountStores.load(), 1u);
  store->AddReff(true);
  for (int i = 0; i < 3; ++i) store->AddReff(false);
  EXPECT_TRUE(store->SingleOwner()) << "one owner and three transports";
  store->AddReff(true);
  EXPECT_FALSE(store->SingleOwner());
  store->RemoveOwnerShip();
  EXPECT_TRUE(store->SingleOwner());
  EXPECT_EQ(store->GetCountOwners(), 1);
  EXPECT_EQ(store->GetCountTransports(), 5);
  store->RemoveOwnerShip();
  store->RemoveOwnerShip();  // never below zero
  EXPECT_EQ(store->GetCountOwners(), 0);
  for (int i = 0; i < 4; ++i) store->RemoveReff(true);
  EXPECT_EQ(store->GetCountOwners(), 0);
  EXPECT_EQ(_GVCountStores.load(), 1u) << "one transport left";
  store->RemoveReff(true);  // owner count 0, last transport: destroys
  EXPECT_EQ(_GVCountStores.load(), 0u);
}

TEST_F(StorageTest, MemoryBlocksAreZeroFilledCopiedAndCloned) {
  auto* a = new TGVSmartMemoryBuffer(8);
  auto* b = new TGVSmartMemoryBuffer(16);
  a->AddReff(true);
  b->AddReff(true);
  EXPECT_EQ(0, reinterpret_cast<uintptr_t>(a->GetRawData()) % 64);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(static_cast<uint8_t*>(b->GetRawData())[i], 0);
  std::memset(a->GetRawData(), 0xAA, 8);
  std::memset(b->GetRawData(), 0x55, 16);
  b->CopyFrom(*a);  // 8 bytes into the larger block
  EXPECT_EQ(static_cast<uint8_t*>(b->GetRawData())[7], 0xAA);
  EXPECT_EQ(static_cast<uint8_t*>(b->GetRawData())[8], 0x55);
  std::memset(b->GetRawData(), 0x11, 16);
  a->CopyFrom(*b);  // 8 bytes into the smaller block
  EXPECT_EQ(static_cast<uint8_t*>(a->GetRawData())[7], 0x11);

  b->SetBufferNumber(42);
  b->SetBufferNumberAvailable(true);
  TGVSmartBuffer* kept = b->Clone(true);
  TGVSmartBuffer* zeroed = b->Clone(false);
  kept->AddReff(true);
  zeroed->AddReff(true);
  EXPECT_EQ(kept->GetCountOwners(), 1) << "a clone starts its own life";
  EXPECT_FALSE(kept->GetBufferNumberAvailable());
  EXPECT_EQ(kept->GetSize(), 16u);
  EXPECT_EQ(std::memcmp(kept->GetData(), b->GetData(), 16), 0);
  EXPECT_EQ(zeroed->GetSize(), 16u);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(static_cast<uint8_t*>(zeroed->GetData())[i], 0);

  auto* copied = new TGVSmartMemoryBuffer(b->GetRawData(), 16);
  auto* empty = new TGVSmartMemoryBuffer(nullptr, 4);
  copied->AddReff(true);
  empty->AddReff(true);
  EXPECT_EQ(std::memcmp(copied->GetRawData(), b->GetRawData(), 16), 0);
  EXPECT_EQ(*static_cast<uint32_t*>(empty->GetRawData()), 0u);
  for (TGVSmartBuffer* s : {static_cast<TGVSmartBuffer*>(a), static_cast<TGVSmartBuffer*>(b), kept, zeroed,
                            static_cast<TGVSmartBuffer*>(copied), static_cast<TGVSmartBuffer*>(empty)})
    s->RemoveReff(true);
}

TEST_F(StorageTest, CloningAStorageWithoutCloneIsAnAssertion) {
  auto* store = new TFixedStore();
  store->AddReff(true);
  try {
    store->Clone(true);
    ADD_FAILURE() << "no exception";
  } catch (const EAssertionFailed& e) {
    EXPECT_STREQ(e.what(), "Cloning is not implemented for TFixedStore");
  }
  store->RemoveReff(true);
}

TEST_F(StorageTest, ProxiesAreFoundByExactClassAndParametersAndLiveWhileReferenced) {
  auto* store = new TGVSmartMemoryBuffer(8);
  store->AddReff(true);
  {
    TIntf<IGVSmartBufferProxy> p1 = store->GetProxy(ClassOf<TRecordingProxy>(), {TVariant(1)});
    TIntf<IGVSmartBufferProxy> p2 = store->GetProxy(ClassOf<TRecordingProxy>(), {TVariant(1)});
    TIntf<IGVSmartBufferProxy> p3 = store->GetProxy(ClassOf<TRecordingProxy>(), {TVariant(2)});
    TIntf<IGVSmartBufferProxy> p4 = store->GetProxy(ClassOf<TOtherProxy>(), {TVariant(1)});
    EXPECT_EQ(p1, p2);
    EXPECT_NE(p1, p3) << "parameters differ";
    EXPECT_NE(p1, p4) << "a descendant class is another proxy";
    EXPECT_EQ(p4->GetInstance()->GetOwner(), store);
    EXPECT_EQ(store->GetProxyCount(), 3);
  }
  EXPECT_EQ(store->GetProxyCount(), 0) << "the storage holds proxies weakly";
  TIntf<IGVSmartBufferProxy> fresh = store->GetProxy(ClassOf<TRecordingProxy>(), {TVariant(1)});
  EXPECT_EQ(store->GetProxyCount(), 1);
  EXPECT_THROW(store->GetProxy(ClassOf<TGVData>(), {}), EInvalidCast);
  fresh.reset();
  store->RemoveReff(true);
}

TEST_F(StorageTest, LastUnlockSynchronisesWithEveryModeEverLocked) {
  auto* store = new TGVSmartMemoryBuffer(8);
  store->AddReff(true);
  TIntf<IGVSmartBufferProxy> intf = store->GetProxy(ClassOf<TRecordingProxy>(), {TVariant(7)});
  auto* proxy = static_cast<TRecordingProxy*>(intf->GetInstance());
  int reader = 0, writer = 0;
  for (bool readerFirst : {true, false}) {
    proxy->Syncs.clear();
    proxy->Lock(&reader, {TBufferAccessMode::Read});
    proxy->Lock(&writer, {TBufferAccessMode::Write});
    proxy->Unlock(readerFirst ? &reader : &writer);
    EXPECT_TRUE(proxy->Syncs.empty()) << "still locked";
    proxy->Unlock(readerFirst ? &writer : &reader);
    ASSERT_EQ(proxy->Syncs.size(), 1u);
    EXPECT_EQ(proxy->Syncs[0], (TBufferAccessModes{TBufferAccessMode::Read, TBufferAccessMode::Write}));
  }
  // The union is never reset: a later read-only use still reports Write.
  proxy->Lock(&reader, {TBufferAccessMode::Read});
  proxy->Unlock(&reader);
  EXPECT_TRUE(proxy->Syncs.back().Contains(TBufferAccessMode::Write));
  intf.reset();
  store->RemoveReff(true);
}

TEST_F(StorageTest, ViewsOnOneStorageShareItsProxiesAndAPrivateCopyHasNone) {
  TGVRealBufferRef a = TGVRealBuffer::CreateSize(4);
  TGVRealBufferRef b = TGVRealBuffer::CreateCopy(a);
  TIntf<IGVSmartBufferProxy> pa = a->GetProxy(ClassOf<TRecordingProxy>(), {TVariant(3)});
  EXPECT_EQ(b->GetProxy(ClassOf<TRecordingProxy>(), {TVariant(3)}), pa);
  b->Modify();
  EXPECT_EQ(StorageOf(b)->GetProxyCount(), 0);
  EXPECT_NE(b->GetProxy(ClassOf<TRecordingProxy>(), {TVariant(3)}), pa);
  EXPECT_EQ(pa->GetInstance()->GetOwner(), StorageOf(a));
}

TEST_F(StorageTest, HeapEntryPoints) {
  void* p = _malloc(100);
  ASSERT_NE(p, nullptr);
  std::memset(p, 1, 100);
  _free(p);
  _free(nullptr);
  void* block = GVBufferAllocate(24);
  EXPECT_EQ(static_cast<uint8_t*>(block)[23], 0);
  GVBufferDeallocate(block, 24);
  GVMemoryCleanUp();
}

}  // namespace
}  // namespace fundrel::testing
