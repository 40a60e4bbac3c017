// Weak holders and multicast procedures.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "host/Quenra.Interfaces.h"

namespace fundrel {

// A weak reference to any TObject: it does not keep the object alive and sees its death.
// For reference-counted objects Lock<I>() yields a counted reference while the object lives, safe
// from any thread. For owned objects Get() yields the raw pointer while the object lives; using it
// is safe only on a thread that the owner's destruction cannot race with.
class FUNDREL_API TWeakHolder {
 public:
  TWeakHolder() noexcept = default;
  explicit TWeakHolder(TObject* AObject);
  TWeakHolder(const TWeakHolder& AOther) noexcept;
  TWeakHolder(TWeakHolder&& AOther) noexcept : FControl(std::exchange(AOther.FControl, nullptr)) {}
  TWeakHolder& operator=(TWeakHolder AOther) noexcept {
    std::swap(FControl, AOther.FControl);
    return *this;
  }
  ~TWeakHolder();

  bool IsAlive() const;
  TObject* Get() const;
  // A counted reference to interface I of the object, or null when it is dead (or lacks I).
  template <typename I>
  TIntf<I> Lock() const {
    TIntf<I> result;
    TInterfacedObject* target = LockCounted();
    if (target) {
      // TryAddRef gave us one reference; trade it for the interface's own.
      void* obj = nullptr;
      if (target->ObjQueryInterface(I::IID, &obj) == S_OK) result = TIntf<I>::Adopt(static_cast<I*>(obj));
      target->ReleaseImpl();
    }
    return result;
  }
  // True when both hold the same object (or both hold nothing).
  bool SameAs(const TWeakHolder& AOther) const noexcept { return FControl == AOther.FControl; }
  bool Holds(TObject* AObject) const;

  // Runs AOnDeath once on the thread that destroys the object; returns a subscription id
  // (0 when the object is already dead). The callback must not block.
  uint64_t Subscribe(std::function<void()> AOnDeath) const;
  void Unsubscribe(uint64_t AId) const noexcept;

 private:
  TInterfacedObject* LockCounted() const;
  detail::TWeakControl* FControl = nullptr;
};

// A list of procedures called together. Add returns a handle for Remove; Notify calls every
// procedure in the order added, on the calling thread, without holding any lock while calling,
// so procedures may add or remove others (changes take effect with the next Notify).
template <typename... Args>
class TMultiProc {
 public:
  using TProc = std::function<void(Args...)>;
  using THandle = uint64_t;

  THandle Add(TProc AProc) {
    std::lock_guard<std::mutex> guard(FMutex);
    auto next = FProcs ? std::make_shared<TList>(*FProcs) : std::make_shared<TList>();
    THandle h = ++FLastHandle;
    next->emplace_back(h, std::move(AProc));
    FProcs = std::move(next);
    FCount.store(FProcs->size(), std::memory_order_release);
    return h;
  }
  bool Remove(THandle AHandle) {
    std::lock_guard<std::mutex> guard(FMutex);
    if (!FProcs) return false;
    auto next = std::make_shared<TList>(*FProcs);
    if (std::erase_if(*next, [AHandle](const auto& p) { return p.first == AHandle; }) == 0) return false;
    FProcs = next->empty() ? nullptr : std::move(next);
    FCount.store(FProcs ? FProcs->size() : 0, std::memory_order_release);
    return true;
  }
  void Clear() {
    std::lock_guard<std::mutex> guard(FMutex);
    FProcs.reset();
    FCount.store(0, std::memory_order_release);
  }
  size_t Count() const { return FCount.load(std::memory_order_acquire); }
  bool Empty() const { return Count() == 0; }

  // Calls every procedure with the given arguments; allocates nothing, and costs one atomic
  // load when nobody listens. A procedure added while Notify runs is called from the next one.
  template <typename... CallArgs>
  void Notify(CallArgs&&... AArgs) const {
    if (FCount.load(std::memory_order_acquire) == 0) return;
    std::shared_ptr<const TList> snapshot;
    {
      std::lock_guard<std::mutex> guard(FMutex);
      snapshot = FProcs;
    }
    if (!snapshot) return;
    for (const auto& p : *snapshot) p.second(AArgs...);
  }

 private:
  using TList = std::vector<std::pair<THandle, TProc>>;
  mutable std::mutex FMutex;
  THandle FLastHandle = 0;
  std::atomic<size_t> FCount{0};
  // Replaced, never changed in place, so Notify can call a snapshot without the mutex.
  std::shared_ptr<const TList> FProcs;
};

}  // namespace fundrel
