// Component locks: read, write and stop sections handed out as holders, refusal while a lock
// stops or its owner is destroyed, the unlock-all section, change notification, the paired
// lock, and the guarded setters built on them.
//
// Rules (every lock, every thread):
// - Each section is re-entrant for the thread that holds it, in any nesting order with the
//   others; a thread that already holds any section of a lock is never refused and never waits
//   for itself.
// - Read sections are shared. A write section excludes other threads' readers and writers.
//   A stop section excludes other threads' writers and stoppers, but not their readers.
// - A thread holding nothing on the lock is refused read and write (an empty holder, never an
//   exception) while another thread holds stop or after another thread called BeginDestroy;
//   otherwise it waits.
//   Stop is never refused: it waits until no other thread writes or stops.
// - New readers wait while a writer waits, so a reading loop cannot starve the writer.
// - The unlock-all section releases every section the calling thread holds on the lock and, when
//   dropped, takes exactly those back, waiting as long as needed; it is never refused.
// - Locks taken across objects are taken in owner-before-member order; a paired lock always takes
//   its first half before its second.
#pragma once

#include <concepts>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <type_traits>
#include <utility>
#include <vector>

#include "host/Quenra.Elements.h"
#include "host/Quenra.Interfaces.h"

namespace fundrel {

enum class TLockSection : uint8_t { Read, Write, Stop };

// What one thread holds on one lock.
struct TLockCounts {
  uint32_t Read = 0, Write = 0, Stop = 0;
  bool Empty() const { return Read == 0 && Write == 0 && Stop == 0; }
};
// What unlock-all took from the calling thread: one entry per half (a plain lock uses Half[0]).
struct TLockSnapshot {
  TLockCounts Half[2];
};

struct IBasicLock;

// Keeps one section of a lock for as long as it lives; empty when the section was refused.
// Move-only; may be returned to a caller. Must be dropped on the thread that acquired it.
class FUNDREL_API TLockHolder {
 public:
  TLockHolder() noexcept = default;
  // Adopts a section the caller has just acquired on ALock.
  TLockHolder(IBasicLock* ALock, TLockSection ASection) noexcept;
  TLockHolder(TLockHolder&& AOther) noexcept;
  TLockHolder& operator=(TLockHolder&& AOther) noexcept;
  ~TLockHolder();

  explicit operator bool() const noexcept { return bool(FLock); }
  bool Granted() const noexcept { return bool(FLock); }
  TLockSection Section() const noexcept { return FSection; }
  void Release() noexcept;

 private:
  TIntf<IBasicLock> FLock;
  TLockSection FSection = TLockSection::Read;
};

// Releases the calling thread's sections on a lock for its lifetime; see the rules above.
class FUNDREL_API TUnlockAllHolder {
 public:
  TUnlockAllHolder() noexcept = default;
  explicit TUnlockAllHolder(IBasicLock* ALock);
  TUnlockAllHolder(TUnlockAllHolder&& AOther) noexcept;
  TUnlockAllHolder& operator=(TUnlockAllHolder&&) = delete;
  ~TUnlockAllHolder();
  // What was released (empty counts when the thread held nothing).
  const TLockSnapshot& Snapshot() const noexcept { return FSnapshot; }

 private:
  TIntf<IBasicLock> FLock;
  TLockSnapshot FSnapshot;
};

// The lock every component and the objects sharing it use.
struct IBasicLock : IInterface {
  using Parent = IInterface;
  FUNDREL_IID("{3C0B7E52-9A3F-4D1C-8E61-5B2F0A9D7C14}");

  // Takes the section for the calling thread; false when refused. Pair with Release.
  virtual bool Acquire(TLockSection ASection) = 0;
  virtual void Release(TLockSection ASection) = 0;
  // Unlock-all primitives; TUnlockAllHolder is the way to use them.
  virtual void ReleaseAllOfThread(TLockSnapshot& ASnapshot) = 0;
  virtual void RestoreAllOfThread(const TLockSnapshot& ASnapshot) = 0;
  // What the calling thread holds (for a pair: the sum over both halves).
  virtual TLockCounts HeldByCurrentThread() = 0;
  // True while some thread holds the stop section.
  virtual bool IsStopping() = 0;
  // From now on threads that hold nothing are refused read and write, except the calling
  // (destroying) thread itself; waiting ones wake refused.
  virtual void BeginDestroy() = 0;
  virtual bool IsDestroying() = 0;
  // Change notification and the listeners told before and after a guarded store.
  virtual void NotifyChange() = 0;
  virtual void NotifyBeforeChange() = 0;
  virtual void NotifyAfterChange() = 0;

  TLockHolder ReadLock() { return Take(TLockSection::Read); }
  TLockHolder WriteLock() { return Take(TLockSection::Write); }
  TLockHolder StopLock() { return Take(TLockSection::Stop); }
  TUnlockAllHolder UnlockAll() { return TUnlockAllHolder(this); }

 private:
  TLockHolder Take(TLockSection ASection) {
    return Acquire(ASection) ? TLockHolder(this, ASection) : TLockHolder();
  }
};

inline TLockHolder::TLockHolder(IBasicLock* ALock, TLockSection ASection) noexcept
    : FLock(ALock), FSection(ASection) {}
inline TLockHolder::TLockHolder(TLockHolder&& AOther) noexcept
    : FLock(std::move(AOther.FLock)), FSection(AOther.FSection) {}
inline TLockHolder& TLockHolder::operator=(TLockHolder&& AOther) noexcept {
  if (this != &AOther) {
    Release();
    FLock = std::move(AOther.FLock);
    FSection = AOther.FSection;
  }
  return *this;
}
inline TLockHolder::~TLockHolder() { Release(); }
inline TUnlockAllHolder::TUnlockAllHolder(TUnlockAllHolder&& AOther) noexcept
    : FLock(std::move(AOther.FLock)), FSnapshot(AOther.FSnapshot) {}
inline void TLockHolder::Release() noexcept {
  if (FLock) {
    FLock->Release(FSection);
    FLock.reset();
  }
}

// A lock whose change notification reaches its listeners.
struct IChangeNotifyLock : IBasicLock {
  using Parent = IBasicLock;
  FUNDREL_IID("{8F4D2A61-0C7B-4E39-B5A2-6D1E3F9C0B87}");
  // Listeners run on the notifying thread, outside the lock's internal mutex.
  virtual TMultiProc<>& OnChange() = 0;
  virtual TMultiProc<>& OnBeforeChange() = 0;
  virtual TMultiProc<>& OnAfterChange() = 0;
};

// The listeners every lock keeps; NotifyChange and its kin call them.
class FUNDREL_API TNotifyingLock : public TImplements<TInterfacedObject, IChangeNotifyLock> {
 public:
  void NotifyChange() override { FOnChange.Notify(); }
  void NotifyBeforeChange() override { FOnBeforeChange.Notify(); }
  void NotifyAfterChange() override { FOnAfterChange.Notify(); }
  TMultiProc<>& OnChange() override { return FOnChange; }
  TMultiProc<>& OnBeforeChange() override { return FOnBeforeChange; }
  TMultiProc<>& OnAfterChange() override { return FOnAfterChange; }

 private:
  TMultiProc<> FOnChange, FOnBeforeChange, FOnAfterChange;
};

// The reader/writer/stop lock with per-thread re-entrancy and change notification: the lock of
// every component. Uncontended sections cost one uncontended mutex round trip each way.
class FUNDREL_API TBasicLock : public TNotifyingLock {
 public:
  TBasicLock() = default;
  ~TBasicLock() override;

  bool Acquire(TLockSection ASection) override;
  void Release(TLockSection ASection) override;
  void ReleaseAllOfThread(TLockSnapshot& ASnapshot) override;
  void RestoreAllOfThread(const TLockSnapshot& ASnapshot) override;
  TLockCounts HeldByCurrentThread() override;
  bool IsStopping() override;
  void BeginDestroy() override;
  bool IsDestroying() override;

  // Threads currently blocked in this lock; for tests and diagnostics.
  uint32_t WaiterCount();

 private:
  struct TReader {
    uint32_t Thread;
    uint32_t Count;
  };
  uint32_t ReadCountOf(uint32_t AThread) const;
  bool OtherReaders(uint32_t AThread) const;
  bool HoldsAny(uint32_t AThread) const;
  void AddRead(uint32_t AThread, uint32_t ACount);
  void WakeWaiters();

  std::mutex FMutex;
  std::condition_variable FCond;
  uint32_t FWriter = 0, FWriteDepth = 0;
  uint32_t FStopper = 0, FStopDepth = 0;
  uint32_t FWaitingWriters = 0, FWaiters = 0;
  bool FDestroying = false;
  uint32_t FDestroyer = 0;  // the destroying thread goes on taking sections
  std::vector<TReader> FReaders;
};

// The name components and property objects use for their lock.
using TChangeNotifyLock = TBasicLock;

// Two locks acting as one: a section on the pair takes the first half then the second; a section
// on one half leaves the other free. Changes notified on either half reach the pair's listeners.
// The halves must be plain locks, not pairs.
class FUNDREL_API TPairedLock : public TNotifyingLock {
 public:
  TPairedLock(TIntf<IChangeNotifyLock> AFirst, TIntf<IChangeNotifyLock> ASecond);
  ~TPairedLock() override;

  bool Acquire(TLockSection ASection) override;
  void Release(TLockSection ASection) override;
  void ReleaseAllOfThread(TLockSnapshot& ASnapshot) override;
  void RestoreAllOfThread(const TLockSnapshot& ASnapshot) override;
  TLockCounts HeldByCurrentThread() override;
  bool IsStopping() override;
  void BeginDestroy() override;
  bool IsDestroying() override;

  const TIntf<IChangeNotifyLock>& First() const { return FHalf[0]; }
  const TIntf<IChangeNotifyLock>& Second() const { return FHalf[1]; }

 private:
  TIntf<IChangeNotifyLock> FHalf[2];
  TMultiProc<>::THandle FForward[2] = {0, 0};
};

// Runs AProc inside the given section; returns false (without running it) when refused.
template <typename F>
bool ExecuteLocked(IBasicLock& ALock, TLockSection ASection, F&& AProc) {
  if (!ALock.Acquire(ASection)) return false;
  TLockHolder holder(&ALock, ASection);
  std::forward<F>(AProc)();
  return true;
}

namespace detail {
template <typename T, typename V>
bool DiffersFrom(const T& AField, const V& AValue) {
  if constexpr (std::equality_comparable_with<const T&, const V&>) {
    return !(AField == AValue);
  } else {
    return true;  // callbacks and other incomparable values always count as a change
  }
}
}  // namespace detail

// The guarded store behind every persisted property: under the write section, and only when
// the value differs, tell the before-listeners, store, tell the after-listeners and run the
// callback; then, with the section released, send the change notification through ANotify.
// Returns true when the value changed; a refused write stores nothing and notifies nobody.
template <typename T, typename V, typename FCallback, typename FNotify>
bool GuardedSet(IBasicLock& ALock, T& AField, V&& AValue, FCallback&& ACallback, FNotify&& ANotify) {
  {
    if (!ALock.Acquire(TLockSection::Write)) return false;
    TLockHolder holder(&ALock, TLockSection::Write);
    if (!detail::DiffersFrom(AField, AValue)) return false;
    ALock.NotifyBeforeChange();
    AField = std::forward<V>(AValue);
    ALock.NotifyAfterChange();
    if constexpr (!std::is_same_v<std::decay_t<FCallback>, std::nullptr_t>) {
      if constexpr (std::is_constructible_v<bool, const std::decay_t<FCallback>&>) {
        if (ACallback) ACallback();
      } else {
        ACallback();
      }
    }
  }
  ANotify();
  return true;
}

// The guarded setters as members of the objects that share a lock. Derived must offer
// GetLock() (an IBasicLock*, never null) and NotifyProp().
template <typename Derived>
class TGuardedSetters {
 protected:
  template <typename T, typename V, typename FCallback = std::nullptr_t>
  bool Setter(T& AField, V&& AValue, FCallback&& ACallback = nullptr) {
    auto* self = static_cast<Derived*>(this);
    return GuardedSet(*self->GetLock(), AField, std::forward<V>(AValue), std::forward<FCallback>(ACallback),
                      [self] { self->NotifyProp(); });
  }
  // Raises AValue to AMinimum first, then stores as Setter.
  template <typename T, typename V, typename FCallback = std::nullptr_t>
  bool SetterMin(T& AField, V AValue, const T& AMinimum, FCallback&& ACallback = nullptr) {
    T value = static_cast<T>(AValue);
    if (value < AMinimum) value = AMinimum;
    return Setter(AField, std::move(value), std::forward<FCallback>(ACallback));
  }
};

}  // namespace fundrel
