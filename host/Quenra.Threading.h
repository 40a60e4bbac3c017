// Threads and synchronisation objects: re-entrant critical sections, counting semaphores,
// manual- and auto-reset events, the looping thread base class and the main-thread queue.
//
// Time-outs are in milliseconds; INFINITE waits without limit. Every object here may be used
// from any thread unless a member says otherwise.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <type_traits>
#include <utility>

#include "host/Quenra.Interfaces.h"

namespace fundrel {

inline constexpr uint32_t INFINITE = 0xFFFFFFFFu;

// A closure without arguments, as posted to threads.
using TThreadProc = std::function<void()>;

// Blocks the calling thread for at least AMilliseconds.
FUNDREL_API void Sleep(uint32_t AMilliseconds);

// ---------------------------------------------------------------------------------------------
// Critical sections

// Anything with Enter and Leave: critical sections, and any other lock with the same shape.
template <typename L>
concept Enterable = requires(L& ALock) {
  ALock.Enter();
  ALock.Leave();
};

struct ICriticalSection : IInterface {
  using Parent = IInterface;
  FUNDREL_IID("{7A0602BE-7377-49D0-BA55-A70E25EA829C}");
  // Re-entrant: the owning thread may enter again and must leave once per enter.
  virtual void Enter() = 0;
  virtual void Leave() = 0;
  // Enters when that needs no waiting; true when entered.
  virtual bool TryEnter() = 0;
};

// A re-entrant critical section, held through ICriticalSection by the objects that share it.
class FUNDREL_API TCriticalSection : public TImplements<TInterfacedObject, ICriticalSection> {
 public:
  void Enter() override { FMutex.lock(); }
  void Leave() override { FMutex.unlock(); }
  bool TryEnter() override { return FMutex.try_lock(); }

 private:
  std::recursive_mutex FMutex;
};

// Holds a lock from construction to destruction.
template <Enterable L>
class TSectionGuard {
 public:
  explicit TSectionGuard(L& ALock) : FLock(ALock) { FLock.Enter(); }
  ~TSectionGuard() { FLock.Leave(); }
  TSectionGuard(const TSectionGuard&) = delete;
  TSectionGuard& operator=(const TSectionGuard&) = delete;

 private:
  L& FLock;
};

// Runs a closure inside a lock and leaves it on every path, exceptions included; returns what
// the closure returns. The lock is an Enterable object or a pointer to one (raw or TIntf).
// Keep the closure short: copy out what is needed and call out after Execute returns.
class TLockAccess {
 public:
  template <Enterable L, typename F>
  static decltype(auto) Execute(L& ALock, F&& AClosure) {
    TSectionGuard<L> guard(ALock);
    return std::forward<F>(AClosure)();
  }
  template <typename P, typename F>
    requires(!Enterable<P> && requires(const P& APtr) { *APtr; } &&
             Enterable<std::remove_reference_t<decltype(*std::declval<const P&>())>>)
  static decltype(auto) Execute(const P& ALock, F&& AClosure) {
    return Execute(*ALock, std::forward<F>(AClosure));
  }
};

// ---------------------------------------------------------------------------------------------
// Semaphores and events

struct ISemaphore : IInterface {
  using Parent = IInterface;
  FUNDREL_IID("{8C69E88D-062F-479F-9260-763A25735F25}");
  // Adds ACount, but never beyond the maximum: the excess is dropped without notice.
  virtual void Increment(uint32_t ACount = 1) = 0;
  // Waits until the count is positive and takes one; false when ATimeoutMs passed first.
  virtual bool Decrement(uint32_t ATimeoutMs = INFINITE) = 0;
  virtual uint32_t GetCount() = 0;
};

// A counting semaphore whose count stays within 0..maximum.
class FUNDREL_API TSemaphore : public TImplements<TInterfacedObject, ISemaphore> {
 public:
  // AInitial is clamped to AMaximum; AMaximum is at least 1.
  TSemaphore(uint32_t AInitial, uint32_t AMaximum);
  void Increment(uint32_t ACount = 1) override;
  bool Decrement(uint32_t ATimeoutMs = INFINITE) override;
  uint32_t GetCount() override;

 private:
  std::mutex FMutex;
  std::condition_variable FChanged;
  uint32_t FCount;
  const uint32_t FMaximum;
};

enum TWaitResult { wrSignaled, wrTimeout };

struct IEvent : IInterface {
  using Parent = IInterface;
  FUNDREL_IID("{E736A5F2-B9D5-4ADF-84B0-F7F80A66F89B}");
  virtual void Signal() = 0;
  virtual void Reset() = 0;
  // Signal when AState, Reset otherwise.
  virtual void SetState(bool AState) = 0;
  virtual TWaitResult WaitFor(uint32_t ATimeoutMs = INFINITE) = 0;
};

// A manual-reset event: once signalled it releases every waiter, present and future, until Reset.
class FUNDREL_API TEvent : public TImplements<TInterfacedObject, IEvent> {
 public:
  explicit TEvent(bool AInitialState = false) : FState(AInitialState) {}
  void Signal() override;
  void Reset() override;
  void SetState(bool AState) override;
  TWaitResult WaitFor(uint32_t ATimeoutMs = INFINITE) override;

 private:
  std::mutex FMutex;
  std::condition_variable FChanged;
  bool FState;
};

// An auto-reset event: each signal releases one waiting thread, and a successful WaitFor consumes
// the signal. A signal given while nobody waits is kept for the next WaitFor, so a wake-up sent
// between a check and the wait is never lost. Signals beyond the number of threads waiting do not
// add up (at least one is kept): two signals given to nobody release one later wait, not two, so
// a loop woken per push drains all pending work on each wake-up.
class FUNDREL_API TAutoResetEvent : public TImplements<TInterfacedObject, IEvent> {
 public:
  explicit TAutoResetEvent(bool AInitialState = false) : FPending(AInitialState ? 1 : 0) {}
  void Signal() override;
  void Reset() override;
  void SetState(bool AState) override;
  TWaitResult WaitFor(uint32_t ATimeoutMs = INFINITE) override;

 private:
  std::mutex FMutex;
  std::condition_variable FChanged;
  uint32_t FPending;       // signals not yet consumed
  uint32_t FWaiters = 0;   // threads inside WaitFor
};

// ---------------------------------------------------------------------------------------------
// Threads

enum TThreadPriority : uint8_t { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// The thread interface shared by the runtime's threads and their descendants' interfaces.
struct IBasicThread : IInterface {
  using Parent = IInterface;
  FUNDREL_IID("{4EB05ED7-7306-44EA-9548-5A41F4B3524E}");
  // Asks the loop to end after the current ExecuteLoop. Descendants add a wake-up.
  virtual void Terminate() = 0;
  // Waits until the loop has ended. See TBasicThread::WaitFor.
  virtual bool WaitFor(uint32_t ATimeoutMs = INFINITE) = 0;
  virtual bool Finished() = 0;
  virtual bool Terminated() = 0;
  virtual bool IsCurrentThread() = 0;
  // The kernel thread id; 0 until the thread runs.
  virtual int64_t ThreadId() = 0;
  virtual TThreadPriority GetPriority() = 0;
  virtual void SetPriority(TThreadPriority APriority) = 0;
  virtual String GetName() = 0;
};

// A thread that calls ExecuteLoop again and again until termination is requested.
//
// Starting: the thread starts only when Start is called, after the whole constructor chain has
// run, so the most-derived ExecuteLoop never sees a half-built object. MakeThread<T>(args...)
// constructs, takes the first reference and starts; use it. A thread terminated before its first
// loop never runs ExecuteLoop.
//
// Lifetime: the object is reference counted; never Free or delete it. While its loop runs the
// thread holds a reference to itself, so the object cannot die under its loop. Dropping the last
// outside reference:
//   - from another thread, with FreeOnTerminate false (the default): Terminate, then the releasing
//     thread joins the thread and the object dies there: releasing an owned thread stops it;
//   - from the thread itself (FreeOnTerminate false): Terminate without waiting; the object dies on
//     its own thread once the current ExecuteLoop has returned;
//   - with FreeOnTerminate true: nothing is requested and nothing waits; the thread runs until its
//     loop is terminated, and the object dies with whichever reference goes last.
// So exactly one destruction happens, whoever lets go last, and no thread ever waits for itself.
// A thread whose loop must be woken to see termination overrides Terminate to do so.
//
// An exception escaping ExecuteLoop ends the loop as a termination would; FatalException keeps it.
class FUNDREL_API TBasicThread : public TImplements<TInterfacedObject, IBasicThread> {
 public:
  // AName: shown to debuggers (the first 15 bytes). Owners name a thread after its class.
  explicit TBasicThread(String AName, TThreadPriority APriority = tpNormal);
  ~TBasicThread() override;

  // Starts the thread once; later calls do nothing. Call it only on an object already held by a
  // TIntf (MakeThread does both).
  void Start();

  void Terminate() override;
  // Returns true once the loop has ended (the OS thread may still be winding down; the last
  // release joins it), or at once when the thread was never started; false on time-out. Called on
  // the thread itself it returns false at once: a thread never waits for itself.
  bool WaitFor(uint32_t ATimeoutMs = INFINITE) override;
  bool Finished() override { return FFinished.load(std::memory_order_acquire); }
  bool Terminated() override { return FTerminated.load(std::memory_order_acquire); }
  bool IsCurrentThread() override;
  int64_t ThreadId() override { return FThreadId.load(std::memory_order_acquire); }
  // Takes effect at once on a running thread, else when it starts. Never fails: without the right
  // to raise priority the thread gets the closest level it may have, and GetPriority still
  // answers the level asked for.
  TThreadPriority GetPriority() override;
  void SetPriority(TThreadPriority APriority) override;
  String GetName() override { return FName; }

  bool GetFreeOnTerminate() const { return FFreeOnTerminate.load(std::memory_order_acquire); }
  void SetFreeOnTerminate(bool AValue) { FFreeOnTerminate.store(AValue, std::memory_order_release); }
  // What escaped ExecuteLoop, if anything; read it after the thread has finished.
  std::exception_ptr FatalException() const { return FFatal; }
  // Marks the thread terminated; by then its loop has ended (or never began).
  void BeforeDestruction() override;

  // Reference counting that also counts outside references (see Lifetime above). Descendants
  // built with TImplements<TBasicThread, ...> pick these up by name.
  int32_t AddRefImpl() noexcept;
  int32_t ReleaseImpl() noexcept;
  int32_t _AddRef() override { return AddRefImpl(); }
  int32_t _Release() override { return ReleaseImpl(); }

 protected:
  // One turn of the thread's work, on the thread. Called while Terminated is false.
  virtual void ExecuteLoop() = 0;

 private:
  void Run();
  void JoinThread();

  const String FName;
  std::atomic<int32_t> FOutsideRefs{0};
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FFinished{false};
  std::atomic<bool> FFreeOnTerminate{false};
  std::atomic<int64_t> FThreadId{0};
  std::exception_ptr FFatal;

  std::mutex FStateMutex;  // guards the fields below and the start/finish transitions
  std::condition_variable FFinishedChanged;
  bool FStarted = false;
  TThreadPriority FPriority;
  std::mutex FJoinMutex;  // guards FThread: one joiner at a time
  std::thread FThread;
};

// Constructs a T (a TBasicThread descendant) with AArgs, holds it and starts it.
template <typename T, typename... Args>
TIntf<T> MakeThread(Args&&... AArgs) {
  static_assert(std::is_base_of_v<TBasicThread, T>, "MakeThread makes TBasicThread descendants");
  TIntf<T> thread(new T(std::forward<Args>(AArgs)...));
  thread->Start();
  return thread;
}

// ---------------------------------------------------------------------------------------------
// The main thread
//
// The library has no event loop of its own. "The main thread" is one designated thread: the
// process's initial thread unless SetMainThread names another. Closures posted with
// MainThreadExecute run there, exactly once each and in posting order, when the application
// calls ProcessMainThreadQueue, typically from its event loop (WaitForMainThreadWork lets a
// loop sleep until something is posted). Closures still queued at process exit never run.

// Queues AProc for the main thread and returns at once; it never runs inside this call, even on
// the main thread. Any thread.
FUNDREL_API void MainThreadExecute(TThreadProc AProc);
// Same, but AProc runs only if AGuard is still alive when its turn comes (it is skipped silently
// otherwise; a null AGuard guards nothing). For objects destroyed on the main thread, such as
// components: the check and the call are not atomic against a destruction on another thread.
FUNDREL_API void MainThreadExecute(TObject* AGuard, TThreadProc AProc);

// Runs the closures queued when it is called, oldest first, and returns how many ran; closures
// posted meanwhile wait for the next call. When the queue is empty it first waits up to AMaxWaitMs
// for a post. A closure may call it again (the nested call continues with the next closure in
// order). A closure that throws is reported to the exception handler and the next one runs.
// Main thread only: elsewhere it raises EInvalidOperation.
FUNDREL_API int ProcessMainThreadQueue(uint32_t AMaxWaitMs = 0);
FUNDREL_API bool HasMainThreadWork();
// Waits until at least one closure is queued; false when ATimeoutMs passed first. Any thread.
FUNDREL_API bool WaitForMainThreadWork(uint32_t ATimeoutMs = INFINITE);

FUNDREL_API bool IsMainThread();
// Makes the calling thread the main thread. Set it before posting starts, or at least while
// the queue is empty and no other thread processes it.
FUNDREL_API void SetMainThread();

// Receives what escaped a main-thread closure, on the main thread. The default handler writes
// the exception's message to standard error. Setting an empty handler restores the default.
using TMainThreadExceptionHandler = std::function<void(std::exception_ptr)>;
FUNDREL_API void SetMainThreadExceptionHandler(TMainThreadExceptionHandler AHandler);

// The main-thread queue as an object, for holders that keep an interface to it.
struct IMainThreadExecute : IInterface {
  using Parent = IInterface;
  FUNDREL_IID("{490CA508-D697-4DFA-927D-478F37C41105}");
  // As MainThreadExecute.
  virtual void Execute(TThreadProc AProc) = 0;
};
FUNDREL_API TIntf<IMainThreadExecute> GetMainThreadExecute();

}  // namespace fundrel
