#include "buffers/GVInternalStore.h"

#include <cstdlib>
#include <cstring>

#include "buffers/detail/BufferMemory.h"
#include "host/Quenra.Classes.h"
#include "host/Quenra.SysUtils.h"
#include "primitives/GVBasicDispatcher.h"

namespace fundrel {

std::atomic<uint32_t> _GVCountStores{0};

void* GVBufferAllocate(uint32_t ASize) { return _ippMalloc(static_cast<int>(ASize)); }

void GVBufferDeallocate(void* AData, uint32_t) { _ippFree(AData); }

void GVMemoryCleanUp() {}

void* detail::GVBufferAllocateUninitialized(uint32_t ASize) {
  if (ASize == 0) return nullptr;
  // Same block shape as _ippMalloc (whole 64-byte lines), so _ippFree releases both.
  const size_t bytes = (static_cast<size_t>(ASize) + 63) & ~size_t{63};
  void* block = std::aligned_alloc(64, bytes);
  if (!block) RaiseOutOfMemory();
  return block;
}

// --- TGVSmartBuffer

TGVSmartBuffer::TGVSmartBuffer() { _GVCountStores.fetch_add(1, std::memory_order_relaxed); }

TGVSmartBuffer::TGVSmartBuffer(const TGVSmartBuffer&, bool) : TGVSmartBuffer() {}

TGVSmartBuffer::~TGVSmartBuffer() {
  delete FProxies.load(std::memory_order_acquire);
  _GVCountStores.fetch_sub(1, std::memory_order_relaxed);
}

// Both counts live in one atomic word (owners in the high half, transports in the low half), so
// attaching and detaching, the per-copy cost of every buffer, are one atomic operation each and
// take no lock. Attaching needs no ordering (the attaching thread orders its own later use).
// Detaching releases: a departing view's reads of the data happen before another view, seeing
// itself the single owner through SingleOwner's acquire load, writes in place; the detach that
// takes the last transport also acquires, so every view's use happens before the destruction.
namespace {
constexpr uint64_t OneOwner = uint64_t{1} << 32;
constexpr uint64_t OneTransport = 1;
int32_t OwnersOf(uint64_t ACounts) { return static_cast<int32_t>(ACounts >> 32); }
int32_t TransportsOf(uint64_t ACounts) { return static_cast<int32_t>(ACounts & 0xFFFFFFFFu); }
}  // namespace

void TGVSmartBuffer::AddReff(bool AOwnsData) {
  FCounts.fetch_add(AOwnsData ? OneOwner + OneTransport : OneTransport, std::memory_order_relaxed);
}

void TGVSmartBuffer::RemoveReff(bool AOwnsData) {
  uint64_t counts = FCounts.load(std::memory_order_relaxed);
  uint64_t next;
  do {
    next = counts;
    if (AOwnsData && OwnersOf(counts) > 0) next -= OneOwner;
    if (TransportsOf(counts) > 0) next -= OneTransport;
  } while (!FCounts.compare_exchange_weak(counts, next, std::memory_order_acq_rel, std::memory_order_relaxed));
  if (TransportsOf(counts) == 1) TObject::Free(this);
}

void TGVSmartBuffer::RemoveOwnerShip() {
  uint64_t counts = FCounts.load(std::memory_order_relaxed);
  while (OwnersOf(counts) > 0 &&
         !FCounts.compare_exchange_weak(counts, counts - OneOwner, std::memory_order_release,
                                        std::memory_order_relaxed)) {
  }
}

int32_t TGVSmartBuffer::GetCountTransports() const noexcept {
  return TransportsOf(FCounts.load(std::memory_order_acquire));
}

TGVSmartBuffer* TGVSmartBuffer::Clone(bool) {
  throw EAssertionFailed("Cloning is not implemented for " + ClassNameOf(*this));
}

TWeakHolderList<TGVSmartBufferProxy>& TGVSmartBuffer::Proxies() {
  TWeakHolderList<TGVSmartBufferProxy>* list = FProxies.load(std::memory_order_acquire);
  if (list) return *list;
  std::lock_guard<std::recursive_mutex> guard(FCriticalSection);
  list = FProxies.load(std::memory_order_relaxed);
  if (!list) {
    list = new TWeakHolderList<TGVSmartBufferProxy>();
    FProxies.store(list, std::memory_order_release);
  }
  return *list;
}

TIntf<IGVSmartBufferProxy> TGVSmartBuffer::GetProxy(TGVSmartBufferProxyClass AProxyClass,
                                                    const std::vector<TVariant>& AParameters) {
  if (!AProxyClass || !AProxyClass->InheritsFrom(ClassOf<TGVSmartBufferProxy>())) RaiseInvalidCast();
  TIntf<TGVSmartBufferProxy> proxy = Proxies().FindOrAdd(
      [&](const TGVSmartBufferProxy& AProxy) {
        // Exactly this class: a descendant may keep its representation differently.
        return ClassOf(AProxy) == AProxyClass && const_cast<TGVSmartBufferProxy&>(AProxy).MatchesParameters(AParameters);
      },
      [&]() -> TGVSmartBufferProxy* {
        TObject* made = AProxyClass->Construct<TGVSmartBuffer*, std::vector<TVariant>>(this, AParameters);
        return static_cast<TGVSmartBufferProxy*>(made);
      });
  return TIntf<IGVSmartBufferProxy>(proxy.get());
}

int TGVSmartBuffer::GetProxyCount() {
  TWeakHolderList<TGVSmartBufferProxy>* list = FProxies.load(std::memory_order_acquire);
  return list ? list->Count() : 0;
}

// --- TGVSmartMemoryBuffer

TGVSmartMemoryBuffer::TGVSmartMemoryBuffer(uint32_t ASize) : FDataPtr(GVBufferAllocate(ASize)), FSize(ASize) {}

TGVSmartMemoryBuffer::TGVSmartMemoryBuffer(const void* AData, uint32_t ASize) : TGVSmartMemoryBuffer(ASize) {
  if (AData && ASize) std::memcpy(FDataPtr, AData, ASize);
}

TGVSmartMemoryBuffer::TGVSmartMemoryBuffer(const TGVSmartMemoryBuffer& AOther, bool APreserve)
    : TGVSmartBuffer(AOther, APreserve), FSize(AOther.FSize) {
  // Every byte is overwritten when preserving, so clearing the block first would be a wasted
  // pass over memory on the copy-on-write path.
  if (APreserve) {
    FDataPtr = detail::GVBufferAllocateUninitialized(FSize);
    if (FSize) std::memcpy(FDataPtr, AOther.FDataPtr, FSize);
  } else {
    FDataPtr = GVBufferAllocate(FSize);
  }
}

TGVSmartMemoryBuffer::~TGVSmartMemoryBuffer() {
  if (FDataPtr) GVBufferDeallocate(FDataPtr, FSize);
  FDataPtr = nullptr;
}

TGVSmartBuffer* TGVSmartMemoryBuffer::Clone(bool APreserve) { return new TGVSmartMemoryBuffer(*this, APreserve); }

void TGVSmartMemoryBuffer::CopyFrom(const TGVSmartMemoryBuffer& AOther) {
  uint32_t n = FSize < AOther.FSize ? FSize : AOther.FSize;
  if (n) std::memmove(FDataPtr, AOther.FDataPtr, n);
}

// --- TGVSmartBufferProxy

TGVSmartBufferProxy::TGVSmartBufferProxy(TGVSmartBuffer* AOwner, std::vector<TVariant>) : FOwner(AOwner) {}

bool TGVSmartBufferProxy::MatchesParameters(const std::vector<TVariant>&) { return true; }

void TGVSmartBufferProxy::Syncronize(TBufferAccessModes) {}

void TGVSmartBufferProxy::Lock(const void* AInstance, TBufferAccessModes AMode) {
  FLocks.AddOrSetValue(reinterpret_cast<uintptr_t>(AInstance), AMode);
  FModes += AMode;
}

void TGVSmartBufferProxy::Unlock(const void* AInstance) {
  FLocks.Remove(reinterpret_cast<uintptr_t>(AInstance));
  if (FLocks.Count() == 0) Syncronize(FModes);
}

}  // namespace fundrel
