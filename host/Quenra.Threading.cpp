#include "host/Quenra.Threading.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>

#include "host/Quenra.Elements.h"
#include "host/Quenra.SysUtils.h"
#include "platform/PosixThread.h"

namespace fundrel {

namespace {

// Waits on ACondition until APredicate holds or ATimeoutMs passes; the predicate's final value.
template <typename Pred>
bool WaitUntil(std::condition_variable& ACondition, std::unique_lock<std::mutex>& ALock, uint32_t ATimeoutMs,
               Pred APredicate) {
  if (ATimeoutMs == INFINITE) {
    ACondition.wait(ALock, APredicate);
    return true;
  }
  return ACondition.wait_for(ALock, std::chrono::milliseconds(ATimeoutMs), APredicate);
}

}  // namespace

void Sleep(uint32_t AMilliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(AMilliseconds)); }

// ---------------------------------------------------------------------------------------------

TSemaphore::TSemaphore(uint32_t AInitial, uint32_t AMaximum)
    : FCount(std::min(AInitial, std::max(AMaximum, 1u))), FMaximum(std::max(AMaximum, 1u)) {}

// Notifying under the mutex lets a woken waiter destroy the object as soon as it returns.
void TSemaphore::Increment(uint32_t ACount) {
  std::lock_guard<std::mutex> guard(FMutex);
  uint32_t added = std::min(ACount, FMaximum - FCount);
  FCount += added;
  if (added == 1)
    FChanged.notify_one();
  else if (added > 1)
    FChanged.notify_all();
}

bool TSemaphore::Decrement(uint32_t ATimeoutMs) {
  std::unique_lock<std::mutex> lock(FMutex);
  if (!WaitUntil(FChanged, lock, ATimeoutMs, [this] { return FCount > 0; })) return false;
  --FCount;
  return true;
}

uint32_t TSemaphore::GetCount() {
  std::lock_guard<std::mutex> guard(FMutex);
  return FCount;
}

// ---------------------------------------------------------------------------------------------

void TEvent::Signal() {
  std::lock_guard<std::mutex> guard(FMutex);
  FState = true;
  FChanged.notify_all();
}

void TEvent::Reset() {
  std::lock_guard<std::mutex> guard(FMutex);
  FState = false;
}

void TEvent::SetState(bool AState) { AState ? Signal() : Reset(); }

TWaitResult TEvent::WaitFor(uint32_t ATimeoutMs) {
  std::unique_lock<std::mutex> lock(FMutex);
  return WaitUntil(FChanged, lock, ATimeoutMs, [this] { return FState; }) ? wrSignaled : wrTimeout;
}

// ---------------------------------------------------------------------------------------------

void TAutoResetEvent::Signal() {
  std::lock_guard<std::mutex> guard(FMutex);
  // One pending wake-up per waiting thread, and one kept for a thread that has yet to wait.
  if (FPending >= std::max(FWaiters, 1u)) return;
  ++FPending;
  FChanged.notify_one();
}

void TAutoResetEvent::Reset() {
  std::lock_guard<std::mutex> guard(FMutex);
  FPending = 0;
}

void TAutoResetEvent::SetState(bool AState) { AState ? Signal() : Reset(); }

TWaitResult TAutoResetEvent::WaitFor(uint32_t ATimeoutMs) {
  std::unique_lock<std::mutex> lock(FMutex);
  ++FWaiters;
  bool signaled = WaitUntil(FChanged, lock, ATimeoutMs, [this] { return FPending > 0; });
  --FWaiters;
  if (!signaled) return wrTimeout;
  --FPending;
  return wrSignaled;
}

// ---------------------------------------------------------------------------------------------

TBasicThread::TBasicThread(String AName, TThreadPriority APriority) : FName(std::move(AName)), FPriority(APriority) {}

TBasicThread::~TBasicThread() {
  if (!FThread.joinable()) return;
  // Dying on its own thread means the loop's own reference was the last: nothing may wait.
  if (FThread.get_id() == std::this_thread::get_id())
    FThread.detach();
  else
    FThread.join();
}

void TBasicThread::Start() {
  std::lock_guard<std::mutex> joinGuard(FJoinMutex);
  {
    std::lock_guard<std::mutex> guard(FStateMutex);
    if (FStarted) return;
    FStarted = true;
  }
  TInterfacedObject::AddRefImpl();  // the loop's own reference, not an outside one
  try {
    FThread = std::thread(&TBasicThread::Run, this);
  } catch (...) {
    {
      std::lock_guard<std::mutex> guard(FStateMutex);
      FStarted = false;
    }
    FFinishedChanged.notify_all();
    TInterfacedObject::ReleaseImpl();
    throw;
  }
}

void TBasicThread::Run() {
  platform::SetCurrentThreadName(FName);
  {
    std::lock_guard<std::mutex> guard(FStateMutex);
    FThreadId.store(platform::CurrentThreadId(), std::memory_order_release);
    platform::SetThreadPriority(platform::CurrentThreadId(), FPriority);
  }
  try {
    while (!Terminated()) ExecuteLoop();
  } catch (...) {
    FFatal = std::current_exception();
    FTerminated.store(true, std::memory_order_release);
  }
  {
    std::lock_guard<std::mutex> guard(FStateMutex);
    FFinished.store(true, std::memory_order_release);
  }
  // The loop's own reference still keeps the condition variable alive here.
  FFinishedChanged.notify_all();
  TInterfacedObject::ReleaseImpl();  // may destroy the object; touch nothing after it
}

void TBasicThread::Terminate() { FTerminated.store(true, std::memory_order_release); }

bool TBasicThread::WaitFor(uint32_t ATimeoutMs) {
  if (IsCurrentThread()) return false;
  std::unique_lock<std::mutex> lock(FStateMutex);
  return WaitUntil(FFinishedChanged, lock, ATimeoutMs, [this] { return !FStarted || Finished(); });
}

void TBasicThread::JoinThread() {
  std::lock_guard<std::mutex> guard(FJoinMutex);
  if (FThread.joinable()) FThread.join();
}

bool TBasicThread::IsCurrentThread() { return ThreadId() == platform::CurrentThreadId(); }

TThreadPriority TBasicThread::GetPriority() {
  std::lock_guard<std::mutex> guard(FStateMutex);
  return FPriority;
}

void TBasicThread::SetPriority(TThreadPriority APriority) {
  std::lock_guard<std::mutex> guard(FStateMutex);
  FPriority = APriority;
  // A finished thread's id may already belong to another thread.
  int64_t id = ThreadId();
  if (id != 0 && !Finished()) platform::SetThreadPriority(id, APriority);
}

void TBasicThread::BeforeDestruction() {
  FTerminated.store(true, std::memory_order_release);
  TImplements::BeforeDestruction();
}

int32_t TBasicThread::AddRefImpl() noexcept {
  FOutsideRefs.fetch_add(1, std::memory_order_relaxed);
  return TInterfacedObject::AddRefImpl();
}

int32_t TBasicThread::ReleaseImpl() noexcept {
  // The last outside reference stops the thread unless it owns itself. Joining (rather than
  // waiting for the loop's end) also waits out the loop's own reference, so the object then dies
  // here and not on the thread.
  if (FOutsideRefs.fetch_sub(1, std::memory_order_acq_rel) == 1 && !GetFreeOnTerminate()) {
    try {
      Terminate();
    } catch (...) {
      // A throwing wake-up must not take the process down from a release.
    }
    if (!IsCurrentThread()) JoinThread();
  }
  return TInterfacedObject::ReleaseImpl();
}

// ---------------------------------------------------------------------------------------------

namespace {

struct TMainQueue {
  std::mutex Mutex;
  std::condition_variable Posted;
  std::deque<std::pair<uint64_t, TThreadProc>> Procs;
  uint64_t NextSerial = 0;
  TMainThreadExceptionHandler Handler;
  std::atomic<platform::TOsThreadId> MainThread{platform::InitialThreadId()};
};

// Never destroyed: threads may still post while the process exits.
TMainQueue& MainQueue() {
  static TMainQueue* queue = new TMainQueue;
  return *queue;
}

void ReportMainThreadException(std::exception_ptr AError) {
  TMainThreadExceptionHandler handler;
  {
    std::lock_guard<std::mutex> guard(MainQueue().Mutex);
    handler = MainQueue().Handler;
  }
  try {
    if (handler) {
      handler(AError);
      return;
    }
    try {
      std::rethrow_exception(AError);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "fundrel: a main-thread closure raised: %s\n", e.what());
    } catch (...) {
      std::fprintf(stderr, "fundrel: a main-thread closure raised an unknown exception\n");
    }
  } catch (...) {
    // The handler itself failed; there is nobody left to tell.
  }
}

class TMainThreadExecute : public TImplements<TInterfacedObject, IMainThreadExecute> {
 public:
  void Execute(TThreadProc AProc) override { MainThreadExecute(std::move(AProc)); }
};

}  // namespace

void MainThreadExecute(TThreadProc AProc) {
  if (!AProc) return;
  TMainQueue& q = MainQueue();
  {
    std::lock_guard<std::mutex> guard(q.Mutex);
    q.Procs.emplace_back(q.NextSerial++, std::move(AProc));
  }
  q.Posted.notify_all();
}

void MainThreadExecute(TObject* AGuard, TThreadProc AProc) {
  if (!AGuard || !AProc) return MainThreadExecute(std::move(AProc));
  MainThreadExecute([guard = TWeakHolder(AGuard), proc = std::move(AProc)] {
    if (guard.IsAlive()) proc();
  });
}

int ProcessMainThreadQueue(uint32_t AMaxWaitMs) {
  if (!IsMainThread()) throw EInvalidOperation("ProcessMainThreadQueue called off the main thread");
  TMainQueue& q = MainQueue();
  uint64_t limit;
  {
    std::unique_lock<std::mutex> lock(q.Mutex);
    if (AMaxWaitMs > 0) WaitUntil(q.Posted, lock, AMaxWaitMs, [&q] { return !q.Procs.empty(); });
    limit = q.NextSerial;
  }
  int ran = 0;
  for (;;) {
    TThreadProc proc;
    {
      std::lock_guard<std::mutex> guard(q.Mutex);
      if (q.Procs.empty() || q.Procs.front().first >= limit) break;
      proc = std::move(q.Procs.front().second);
      q.Procs.pop_front();
    }
    ++ran;
    try {
      proc();
    } catch (...) {
      ReportMainThreadException(std::current_exception());
    }
  }
  return ran;
}

bool HasMainThreadWork() {
  std::lock_guard<std::mutex> guard(MainQueue().Mutex);
  return !MainQueue().Procs.empty();
}

bool WaitForMainThreadWork(uint32_t ATimeoutMs) {
  TMainQueue& q = MainQueue();
  std::unique_lock<std::mutex> lock(q.Mutex);
  return WaitUntil(q.Posted, lock, ATimeoutMs, [&q] { return !q.Procs.empty(); });
}

bool IsMainThread() { return MainQueue().MainThread.load(std::memory_order_acquire) == platform::CurrentThreadId(); }

void SetMainThread() { MainQueue().MainThread.store(platform::CurrentThreadId(), std::memory_order_release); }

void SetMainThreadExceptionHandler(TMainThreadExceptionHandler AHandler) {
  std::lock_guard<std::mutex> guard(MainQueue().Mutex);
  MainQueue().Handler = std::move(AHandler);
}

TIntf<IMainThreadExecute> GetMainThreadExecute() { return TIntf<IMainThreadExecute>(new TMainThreadExecute); }

}  // namespace fundrel
