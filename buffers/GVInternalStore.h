// The storage behind every sample buffer: a smart buffer shared by any number of buffer views.
//
// A smart buffer counts two kinds of reference. Transports are all attached views; the storage
// dies when the last one detaches. Owners are the views that still claim the data; a view may
// write in place only while it is the single owner, otherwise it clones the storage first
// (copy-on-write). So a view handed on for transport without ownership never forces a copy on
// the view that still owns the data.
//
// The storage also carries the buffer's sequence number and its proxies: other representations
// of the same data (a copy on a compute device, say), made on demand and told when the last
// user has finished with them.
//
// Threads: the counts may be changed from any thread; they are atomic. The data block is not locked at all;
// views rely on copy-on-write. The sequence number and the proxy list may be used from any
// thread; a proxy's lock table belongs to one thread at a time.
#pragma once

#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <vector>

#include "host/Quenra.Containers.h"
#include "host/Quenra.Interfaces.h"
#include "host/Quenra.TypInfo.h"
#include "host/Quenra.Variants.h"

namespace fundrel {

// How a caller uses a buffer's bytes: [Read] only reads (shares the storage), [Write]
// overwrites everything without reading (a shared storage is replaced without copying),
// [Read, Write] reads and changes (a shared storage is copied first).
enum class TBufferAccessMode : uint8_t { Read, Write };

// A set of access modes in one byte: bit 0 Read, bit 1 Write.
class TBufferAccessModes {
 public:
  constexpr TBufferAccessModes() noexcept = default;
  constexpr TBufferAccessModes(std::initializer_list<TBufferAccessMode> AModes) noexcept {
    for (TBufferAccessMode m : AModes) FBits |= Bit(m);
  }
  static constexpr TBufferAccessModes FromBits(uint8_t ABits) noexcept {
    TBufferAccessModes r;
    r.FBits = ABits & 3;
    return r;
  }
  constexpr bool Contains(TBufferAccessMode AMode) const noexcept { return (FBits & Bit(AMode)) != 0; }
  constexpr bool Empty() const noexcept { return FBits == 0; }
  constexpr uint8_t Bits() const noexcept { return FBits; }
  constexpr TBufferAccessModes operator+(TBufferAccessModes AOther) const noexcept {
    return FromBits(FBits | AOther.FBits);
  }
  constexpr TBufferAccessModes& operator+=(TBufferAccessModes AOther) noexcept {
    FBits |= AOther.FBits;
    return *this;
  }
  friend constexpr bool operator==(TBufferAccessModes A, TBufferAccessModes B) noexcept { return A.FBits == B.FBits; }

 private:
  static constexpr uint8_t Bit(TBufferAccessMode AMode) noexcept { return uint8_t(1u << uint8_t(AMode)); }
  uint8_t FBits = 0;
};

// The sample-memory allocator: ASize zero-filled bytes aligned to 64 bytes (null for 0); raises
// EOutOfMemory when memory is exhausted. Byte sizes stay below 2^31.
FUNDREL_API void* GVBufferAllocate(uint32_t ASize);
// Releases a block of GVBufferAllocate; ASize is not used. Null is ignored.
FUNDREL_API void GVBufferDeallocate(void* AData, uint32_t ASize);
// Kept for callers that release cached memory at quiet moments; there is nothing to release.
FUNDREL_API void GVMemoryCleanUp();

// Live smart buffers in the process; 0 whenever no buffer exists (a leak detector for tests).
FUNDREL_API extern std::atomic<uint32_t> _GVCountStores;

class TGVSmartBuffer;
class TGVSmartBufferProxy;
// The class reference of TGVSmartBufferProxy and its descendants.
using TGVSmartBufferProxyClass = TClass;

struct IGVSmartBufferProxy : IInterface {
  using Parent = IInterface;
  FUNDREL_IID("{144E7F44-DE45-463D-A94F-73ACEB80BC6F}");
  // The implementing object.
  virtual TGVSmartBufferProxy* GetInstance() = 0;
  // The views' data changed: the proxy's representation is stale.
  virtual void Invalidate() = 0;
};

// Raw storage shared by buffer views; made with new, it destroys itself when its last transport
// detaches (RemoveReff), never by delete from outside.
class FUNDREL_API TGVSmartBuffer : public TObject {
 public:
  // Counts 0, no sequence number, no proxies.
  TGVSmartBuffer();
  // A new life for a copy of AOther: at this level nothing is taken from AOther.
  TGVSmartBuffer(const TGVSmartBuffer& AOther, bool APreserve);
  ~TGVSmartBuffer() override;

  // Attaches a view: adds a transport, and an owner when AOwnsData.
  virtual void AddReff(bool AOwnsData);
  // Detaches a view: drops an owner when AOwnsData (never below 0), then a transport; the last
  // transport destroys the storage (after the count lock has been left). With no transport
  // left nothing happens.
  virtual void RemoveReff(bool AOwnsData);
  // A view gives up ownership but stays attached; never below 0.
  virtual void RemoveOwnerShip();
  // True with 0 or 1 owner: exactly then may a view write the data in place. Not virtual: every
  // write through a buffer asks it, inline.
  bool SingleOwner() const noexcept { return GetCountOwners() < 2; }
  // The data's size in bytes and address.
  virtual uint32_t GetSize() = 0;
  virtual void* GetData() = 0;
  // A new storage of the same class with counts 0 and no sequence number, holding a copy of the
  // data when APreserve, zeros otherwise. The caller attaches to it. Classes that cannot be
  // cloned raise EAssertionFailed "Cloning is not implemented for <class>".
  virtual TGVSmartBuffer* Clone(bool APreserve);

  // A re-entrant lock for callers that need several steps on one storage to be atomic; the
  // read and write forms are the same lock. The counts themselves are atomic and need no lock.
  void EnterRead() { FCriticalSection.lock(); }
  void LeaveRead() { FCriticalSection.unlock(); }
  void EnterWrite() { FCriticalSection.lock(); }
  void LeaveWrite() { FCriticalSection.unlock(); }

  int32_t GetCountOwners() const noexcept {
    return static_cast<int32_t>(FCounts.load(std::memory_order_acquire) >> 32);
  }
  int32_t GetCountTransports() const noexcept;

  // The sequence number of the data and whether it is valid; shared by all views.
  bool GetBufferNumberAvailable() const noexcept { return FBufferNumberAvailable.load(std::memory_order_relaxed); }
  void SetBufferNumberAvailable(bool AValue) noexcept { FBufferNumberAvailable.store(AValue, std::memory_order_relaxed); }
  int64_t GetBufferNumber() const noexcept { return FBufferNumber.load(std::memory_order_relaxed); }
  void SetBufferNumber(int64_t AValue) noexcept { FBufferNumber.store(AValue, std::memory_order_relaxed); }

  // The proxy of exactly class AProxyClass (a TGVSmartBufferProxy descendant declared with
  // P.Constructor<TGVSmartBuffer*, std::vector<TVariant>>()) whose MatchesParameters accepts
  // AParameters, made when there is none. The returned reference keeps the proxy alive; the
  // storage itself holds it only weakly. Raises EClassNotFound for a class without that
  // constructor and EInvalidCast for one that is not a proxy class.
  TIntf<IGVSmartBufferProxy> GetProxy(TGVSmartBufferProxyClass AProxyClass, const std::vector<TVariant>& AParameters);
  // The number of live proxies.
  int GetProxyCount();

 private:
  TWeakHolderList<TGVSmartBufferProxy>& Proxies();

  // FCountOwners (high 32 bits) and FCountTransports (low 32 bits) in one word, changed
  // together by one atomic operation.
  std::atomic<uint64_t> FCounts{0};
  std::recursive_mutex FCriticalSection;
  std::atomic<bool> FBufferNumberAvailable{false};
  std::atomic<int64_t> FBufferNumber{0};
  // Made on first use: most storages never get a proxy.
  std::atomic<TWeakHolderList<TGVSmartBufferProxy>*> FProxies{nullptr};
};

// A smart buffer over one heap block from GVBufferAllocate, which belongs to it alone.
class FUNDREL_API TGVSmartMemoryBuffer : public TGVSmartBuffer {
 public:
  // ASize zero-filled bytes (a size of 0 gives a null block).
  explicit TGVSmartMemoryBuffer(uint32_t ASize);
  // ASize bytes copied from AData, or zeros when AData is null.
  TGVSmartMemoryBuffer(const void* AData, uint32_t ASize);
  // AOther's size; its bytes when APreserve, zeros otherwise.
  TGVSmartMemoryBuffer(const TGVSmartMemoryBuffer& AOther, bool APreserve);
  ~TGVSmartMemoryBuffer() override;

  uint32_t GetSize() override { return FSize; }
  void* GetData() override { return FDataPtr; }
  TGVSmartBuffer* Clone(bool APreserve) override;

  void* GetRawData() const noexcept { return FDataPtr; }
  uint32_t GetAllocatedSize() const noexcept { return FSize; }
  // Copies min(own size, AOther's size) bytes from AOther's block.
  void CopyFrom(const TGVSmartMemoryBuffer& AOther);

 private:
  void* FDataPtr = nullptr;
  uint32_t FSize = 0;
};

// Another representation of a storage's data, made by GetProxy. It refers to its storage
// without counting: whoever holds a proxy keeps that storage attached through a view.
//
// Users bracket their work on the representation with Lock(Self, Mode) and Unlock(Self); when
// the last lock goes, Syncronize receives the union of every mode ever locked (it is never
// reset, so once Write was locked every later synchronisation sees Write).
class FUNDREL_API TGVSmartBufferProxy : public TImplements<TInterfacedObject, IGVSmartBufferProxy> {
 public:
  // The virtual constructor: descendants declare it with
  // P.Constructor<TGVSmartBuffer*, std::vector<TVariant>>(). The base keeps no parameters.
  TGVSmartBufferProxy(TGVSmartBuffer* AOwner, std::vector<TVariant> AParameters);

  TGVSmartBufferProxy* GetInstance() override { return this; }
  void Invalidate() override {}

  // Whether this proxy serves a request with these parameters; true in the base class.
  virtual bool MatchesParameters(const std::vector<TVariant>& AParameters);
  // Brings the representations into agreement after use in AMode; nothing in the base class.
  virtual void Syncronize(TBufferAccessModes AMode);
  virtual void Lock(const void* AInstance, TBufferAccessModes AMode);
  virtual void Unlock(const void* AInstance);

  TGVSmartBuffer* GetOwner() const noexcept { return FOwner; }
  TBufferAccessModes GetModes() const noexcept { return FModes; }

 private:
  TGVSmartBuffer* FOwner;  // not counted
  TDictionary<uintptr_t, TBufferAccessModes> FLocks;
  TBufferAccessModes FModes;
};

FUNDREL_PUBLISHED(TGVSmartBufferProxy, TInterfacedObject) {
  P.Constructor<TGVSmartBuffer*, std::vector<TVariant>>();
}

}  // namespace fundrel
