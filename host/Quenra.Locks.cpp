#include "host/Quenra.Locks.h"

#include <algorithm>
#include <atomic>

#include "host/Quenra.SysUtils.h"

namespace fundrel {

namespace {
// Small dense thread numbers: cheaper to compare and store than std::thread::id.
uint32_t CurrentThreadNumber() {
  static std::atomic<uint32_t> next{1};
  thread_local uint32_t number = next.fetch_add(1, std::memory_order_relaxed);
  return number;
}
}  // namespace

TUnlockAllHolder::TUnlockAllHolder(IBasicLock* ALock) : FLock(ALock) {
  if (FLock) FLock->ReleaseAllOfThread(FSnapshot);
}

TUnlockAllHolder::~TUnlockAllHolder() {
  if (FLock) FLock->RestoreAllOfThread(FSnapshot);
}

TBasicLock::~TBasicLock() = default;

uint32_t TBasicLock::ReadCountOf(uint32_t AThread) const {
  for (const auto& r : FReaders)
    if (r.Thread == AThread) return r.Count;
  return 0;
}

bool TBasicLock::OtherReaders(uint32_t AThread) const {
  for (const auto& r : FReaders)
    if (r.Thread != AThread) return true;
  return false;
}

bool TBasicLock::HoldsAny(uint32_t AThread) const {
  return FWriter == AThread || FStopper == AThread || ReadCountOf(AThread) > 0;
}

void TBasicLock::AddRead(uint32_t AThread, uint32_t ACount) {
  for (auto& r : FReaders)
    if (r.Thread == AThread) {
      r.Count += ACount;
      return;
    }
  FReaders.push_back({AThread, ACount});
}

void TBasicLock::WakeWaiters() {
  if (FWaiters > 0) FCond.notify_all();
}

bool TBasicLock::Acquire(TLockSection ASection) {
  const uint32_t me = CurrentThreadNumber();
  std::unique_lock<std::mutex> guard(FMutex);
  const bool holder = HoldsAny(me);
  auto refused = [&] {
    return !holder && ((FDestroying && FDestroyer != me) || (FStopper != 0 && FStopper != me));
  };
  auto wait = [&](auto AReady) {
    ++FWaiters;
    while (!AReady()) FCond.wait(guard);
    --FWaiters;
  };

  switch (ASection) {
    case TLockSection::Read:
      // Anything the thread already holds keeps other writers out, so nesting is immediate.
      if (!holder) {
        if (refused()) return false;
        wait([&] { return refused() || (FWriter == 0 && FWaitingWriters == 0); });
        if (refused()) return false;
      }
      AddRead(me, 1);
      return true;

    case TLockSection::Write:
      if (FWriter == me) {
        ++FWriteDepth;
        return true;
      }
      if (refused()) return false;
      ++FWaitingWriters;
      wait([&] {
        return refused() || (FWriter == 0 && !OtherReaders(me) && (FStopper == 0 || FStopper == me));
      });
      --FWaitingWriters;
      if (refused()) {
        WakeWaiters();  // readers held back by this writer may go on
        return false;
      }
      FWriter = me;
      FWriteDepth = 1;
      return true;

    case TLockSection::Stop:
      if (FStopper == me) {
        ++FStopDepth;
        return true;
      }
      wait([&] { return FStopper == 0 && (FWriter == 0 || FWriter == me); });
      FStopper = me;
      FStopDepth = 1;
      // Threads holding nothing that wait for read or write are now refused.
      WakeWaiters();
      return true;
  }
  return false;
}

void TBasicLock::Release(TLockSection ASection) {
  const uint32_t me = CurrentThreadNumber();
  std::lock_guard<std::mutex> guard(FMutex);
  switch (ASection) {
    case TLockSection::Read: {
      auto it = std::find_if(FReaders.begin(), FReaders.end(), [me](const TReader& r) { return r.Thread == me; });
      Assert(it != FReaders.end(), "Read section released by a thread that does not hold it");
      if (--it->Count == 0) {
        *it = FReaders.back();
        FReaders.pop_back();
      }
      break;
    }
    case TLockSection::Write:
      Assert(FWriter == me && FWriteDepth > 0, "Write section released by a thread that does not hold it");
      if (--FWriteDepth == 0) FWriter = 0;
      break;
    case TLockSection::Stop:
      Assert(FStopper == me && FStopDepth > 0, "Stop section released by a thread that does not hold it");
      if (--FStopDepth == 0) FStopper = 0;
      break;
  }
  WakeWaiters();
}

void TBasicLock::ReleaseAllOfThread(TLockSnapshot& ASnapshot) {
  const uint32_t me = CurrentThreadNumber();
  std::lock_guard<std::mutex> guard(FMutex);
  TLockCounts& c = ASnapshot.Half[0];
  c = TLockCounts();
  if (FWriter == me) {
    c.Write = FWriteDepth;
    FWriter = 0;
    FWriteDepth = 0;
  }
  if (FStopper == me) {
    c.Stop = FStopDepth;
    FStopper = 0;
    FStopDepth = 0;
  }
  auto it = std::find_if(FReaders.begin(), FReaders.end(), [me](const TReader& r) { return r.Thread == me; });
  if (it != FReaders.end()) {
    c.Read = it->Count;
    *it = FReaders.back();
    FReaders.pop_back();
  }
  if (!c.Empty()) WakeWaiters();
}

void TBasicLock::RestoreAllOfThread(const TLockSnapshot& ASnapshot) {
  const TLockCounts& c = ASnapshot.Half[0];
  if (c.Empty()) return;
  const uint32_t me = CurrentThreadNumber();
  std::unique_lock<std::mutex> guard(FMutex);
  // Everything comes back in one step, so the thread never holds part of what it had.
  auto ready = [&] {
    if ((c.Write || c.Stop) && FWriter != 0 && FWriter != me) return false;
    if ((c.Write || c.Stop) && FStopper != 0 && FStopper != me) return false;
    if (c.Write && OtherReaders(me)) return false;
    if (c.Read && FWriter != 0 && FWriter != me) return false;
    return true;
  };
  ++FWaiters;
  while (!ready()) FCond.wait(guard);
  --FWaiters;
  if (c.Write) {
    FWriter = me;
    FWriteDepth += c.Write;
  }
  if (c.Stop) {
    FStopper = me;
    FStopDepth += c.Stop;
  }
  if (c.Read) AddRead(me, c.Read);
}

TLockCounts TBasicLock::HeldByCurrentThread() {
  const uint32_t me = CurrentThreadNumber();
  std::lock_guard<std::mutex> guard(FMutex);
  TLockCounts c;
  c.Read = ReadCountOf(me);
  if (FWriter == me) c.Write = FWriteDepth;
  if (FStopper == me) c.Stop = FStopDepth;
  return c;
}

bool TBasicLock::IsStopping() {
  std::lock_guard<std::mutex> guard(FMutex);
  return FStopper != 0;
}

void TBasicLock::BeginDestroy() {
  std::lock_guard<std::mutex> guard(FMutex);
  if (!FDestroying) FDestroyer = CurrentThreadNumber();
  FDestroying = true;
  WakeWaiters();
}

uint32_t TBasicLock::WaiterCount() {
  std::lock_guard<std::mutex> guard(FMutex);
  return FWaiters;
}

bool TBasicLock::IsDestroying() {
  std::lock_guard<std::mutex> guard(FMutex);
  return FDestroying;
}

TPairedLock::TPairedLock(TIntf<IChangeNotifyLock> AFirst, TIntf<IChangeNotifyLock> ASecond)
    : FHalf{std::move(AFirst), std::move(ASecond)} {
  Assert(FHalf[0] && FHalf[1] && FHalf[0] != FHalf[1], "A paired lock needs two distinct locks");
  for (int i = 0; i < 2; ++i) FForward[i] = FHalf[i]->OnChange().Add([this] { NotifyChange(); });
}

TPairedLock::~TPairedLock() {
  for (int i = 0; i < 2; ++i) FHalf[i]->OnChange().Remove(FForward[i]);
}

bool TPairedLock::Acquire(TLockSection ASection) {
  if (!FHalf[0]->Acquire(ASection)) return false;
  if (!FHalf[1]->Acquire(ASection)) {
    FHalf[0]->Release(ASection);
    return false;
  }
  return true;
}

void TPairedLock::Release(TLockSection ASection) {
  FHalf[1]->Release(ASection);
  FHalf[0]->Release(ASection);
}

void TPairedLock::ReleaseAllOfThread(TLockSnapshot& ASnapshot) {
  TLockSnapshot first, second;
  FHalf[1]->ReleaseAllOfThread(second);
  FHalf[0]->ReleaseAllOfThread(first);
  ASnapshot.Half[0] = first.Half[0];
  ASnapshot.Half[1] = second.Half[0];
}

void TPairedLock::RestoreAllOfThread(const TLockSnapshot& ASnapshot) {
  TLockSnapshot first, second;
  first.Half[0] = ASnapshot.Half[0];
  second.Half[0] = ASnapshot.Half[1];
  FHalf[0]->RestoreAllOfThread(first);
  FHalf[1]->RestoreAllOfThread(second);
}

TLockCounts TPairedLock::HeldByCurrentThread() {
  TLockCounts a = FHalf[0]->HeldByCurrentThread(), b = FHalf[1]->HeldByCurrentThread();
  return {a.Read + b.Read, a.Write + b.Write, a.Stop + b.Stop};
}

bool TPairedLock::IsStopping() { return FHalf[0]->IsStopping() || FHalf[1]->IsStopping(); }

void TPairedLock::BeginDestroy() {
  FHalf[0]->BeginDestroy();
  FHalf[1]->BeginDestroy();
}

bool TPairedLock::IsDestroying() { return FHalf[0]->IsDestroying() && FHalf[1]->IsDestroying(); }

}  // namespace fundrel
