#include <gtest/gtest.h>

#include <linux/capability.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "host/Quenra.SysUtils.h"
#include "host/Quenra.Threading.h"

using namespace fundrel;

namespace {

// Long enough never to expire on a healthy run; reaching it means a lost wake-up.
constexpr uint32_t KWait = 10000;

// Owned by the test so that it outlives the thread it watches.
struct TRecord {
  std::atomic<int> Loops{0};
  std::atomic<int> Destructions{0};
  std::atomic<bool> DestroyedOnOwnThread{false};
  std::atomic<bool> LoopSawOwnThread{false};
  TIntf<IEvent> Looped = new TAutoResetEvent;
  TIntf<IEvent> Destroyed = new TEvent;
};

// Signals each turn, then waits for Go; its Terminate releases Go so the loop can see the request.
class TProbeThread : public TBasicThread {
 public:
  using THook = std::function<void(TProbeThread&)>;
  TProbeThread(TRecord& ARecord, THook AOnLoop = nullptr, String AName = "Probe", TThreadPriority APriority = tpNormal)
      : TBasicThread(std::move(AName), APriority), FRecord(ARecord), FOnLoop(std::move(AOnLoop)) {}
  ~TProbeThread() override {
    FRecord.DestroyedOnOwnThread = IsCurrentThread();
    ++FRecord.Destructions;
    FRecord.Destroyed->Signal();
  }
  void Terminate() override {
    TBasicThread::Terminate();
    Go->Increment();
  }
  TIntf<ISemaphore> Go = new TSemaphore(0, 1000);

 protected:
  void ExecuteLoop() override {
    ++FRecord.Loops;
    FRecord.LoopSawOwnThread = IsCurrentThread();
    FRecord.Looped->Signal();
    if (FOnLoop) FOnLoop(*this);
    Go->Decrement();
  }
  TRecord& FRecord;

 private:
  THook FOnLoop;
};

std::string KernelThreadName(int64_t ATid) {
  std::ifstream comm("/proc/self/task/" + std::to_string(ATid) + "/comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

// Drops CAP_SYS_NICE from the calling thread only (capabilities are per thread on Linux); threads
// it creates inherit the loss. False when the thread never had it.
bool DropNiceCapability() {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[2]{};
  if (syscall(SYS_capget, &header, data) != 0) return false;
  const uint32_t bit = 1u << (CAP_SYS_NICE % 32);
  auto& word = data[CAP_SYS_NICE / 32];
  if (!(word.effective & bit)) return false;
  word.effective &= ~bit;
  word.permitted &= ~bit;
  return syscall(SYS_capset, &header, data) == 0;
}

// Runs AWork(index) on ACount threads at once and waits for all of them.
void RunThreads(int ACount, const std::function<void(int)>& AWork) {
  std::vector<std::thread> threads;
  for (int i = 0; i < ACount; ++i) threads.emplace_back(AWork, i);
  for (auto& t : threads) t.join();
}

}  // namespace

TEST(CriticalSectionThreads, ReentrantExclusiveAndLeftOnEveryPath) {
  TIntf<ICriticalSection> cs = new TCriticalSection;
  auto othersGetIn = [&cs] {
    bool got = false;
    std::thread([&] { (got = cs->TryEnter()) ? cs->Leave() : void(); }).join();
    return got;
  };
  cs->Enter();
  EXPECT_TRUE(cs->TryEnter()) << "the owner enters again without waiting";
  cs->Leave();
  EXPECT_FALSE(othersGetIn());
  cs->Leave();
  EXPECT_TRUE(othersGetIn());

  EXPECT_EQ(TLockAccess::Execute(cs, [] { return 42; }), 42);
  EXPECT_THROW(TLockAccess::Execute(cs, [] { throw ERangeError("Index out of range = 3"); }), ERangeError);
  EXPECT_TRUE(othersGetIn()) << "left although the closure threw";
  long counter = 0;
  RunThreads(4, [&](int) {
    for (int i = 0; i < 5000; ++i) TLockAccess::Execute(cs, [&counter] { ++counter; });
  });
  EXPECT_EQ(counter, 20000);

  // Any lock with Enter and Leave, by reference or through a pointer.
  struct TCountingLock {
    int Depth = 0, Entries = 0;
    void Enter() { ++Depth, ++Entries; }
    void Leave() { --Depth; }
  } lock;
  EXPECT_EQ(TLockAccess::Execute(lock, [&lock] { return lock.Depth; }), 1);
  EXPECT_THROW(TLockAccess::Execute(&lock, [] { throw 7; }), int);
  EXPECT_EQ(lock.Entries, 2);
  EXPECT_EQ(lock.Depth, 0);
}

TEST(SemaphoreThreads, CountStaysWithinMaximumAndWakesWaiters) {
  TIntf<ISemaphore> s = new TSemaphore(0, 3);
  s->Increment(5);
  EXPECT_EQ(s->GetCount(), 3u);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(s->Decrement(0));
  EXPECT_FALSE(s->Decrement(0));
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(s->Decrement(30));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
  EXPECT_EQ(TIntf<ISemaphore>(new TSemaphore(10, 4))->GetCount(), 4u);

  // Increments wake as many sleepers as they add.
  TIntf<ISemaphore> many = new TSemaphore(0, 10000);
  std::atomic<int> passed{0};
  start = std::chrono::steady_clock::now();
  RunThreads(4, [&](int AIndex) {
    if (AIndex == 0) many->Increment(3), many->Increment(1);
    if (AIndex > 0 && many->Decrement(KWait)) ++passed;
  });
  EXPECT_EQ(passed, 3);
  EXPECT_EQ(many->GetCount(), 1u);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << "a waiter was not woken";
}

TEST(EventThreads, ManualEventReleasesEveryWaiterUntilReset) {
  TIntf<IEvent> e = new TEvent;
  EXPECT_EQ(e->WaitFor(0), wrTimeout);
  std::atomic<int> released{0};
  RunThreads(4, [&](int AIndex) {
    if (AIndex == 0) e->Signal();
    if (e->WaitFor(KWait) == wrSignaled) ++released;
  });
  EXPECT_EQ(released, 4);
  EXPECT_EQ(e->WaitFor(0), wrSignaled) << "stays signalled";
  e->SetState(false);
  EXPECT_EQ(e->WaitFor(0), wrTimeout);
  EXPECT_EQ(TIntf<IEvent>(new TEvent(true))->WaitFor(0), wrSignaled);
}

TEST(AutoResetEventThreads, KeepsOneSignalAndLosesNoWakeUp) {
  TIntf<IEvent> e = new TAutoResetEvent;
  e->Signal();
  e->Signal();
  EXPECT_EQ(e->WaitFor(0), wrSignaled);
  EXPECT_EQ(e->WaitFor(0), wrTimeout) << "signals given to nobody do not add up";
  e->Signal();
  e->Reset();
  EXPECT_EQ(e->WaitFor(0), wrTimeout);

  // Many rounds of producers signalling once per push: a consumer draining per wake-up must see
  // every item; a lost wake-up leaves it waiting with items queued.
  std::mutex queueMutex;
  int queued = 0, consumed = 0;
  constexpr int KProducers = 3, KPushes = 2000;
  RunThreads(KProducers + 1, [&](int AIndex) {
    for (int i = 0; AIndex > 0 && i < KPushes; ++i) {
      {
        std::lock_guard<std::mutex> guard(queueMutex);
        ++queued;
      }
      e->Signal();
    }
    while (AIndex == 0 && consumed < KProducers * KPushes && e->WaitFor(KWait) == wrSignaled) {
      std::lock_guard<std::mutex> guard(queueMutex);
      consumed += std::exchange(queued, 0);
    }
  });
  EXPECT_EQ(consumed, KProducers * KPushes);
}

TEST(BasicThreadThreads, LoopsUntilTerminatedOnANamedThread) {
  TRecord rec;
  auto thread = MakeThread<TProbeThread>(rec, nullptr, "ÄÖÜäöüßÄÖÜ");
  for (int turn = 1; turn <= 5; ++turn) {
    ASSERT_EQ(rec.Looped->WaitFor(KWait), wrSignaled);
    EXPECT_EQ(rec.Loops, turn);
    if (turn < 5) thread->Go->Increment();
  }
  EXPECT_TRUE(rec.LoopSawOwnThread);
  EXPECT_FALSE(thread->IsCurrentThread());
  EXPECT_FALSE(thread->WaitFor(0));
  // 15 bytes would split the eighth character; the name stops before it.
  EXPECT_EQ(KernelThreadName(thread->ThreadId()), "ÄÖÜäöüß");

  thread->Terminate();
  EXPECT_TRUE(thread->WaitFor(KWait));
  EXPECT_TRUE(thread->Finished());
  EXPECT_EQ(rec.Loops, 5);
  EXPECT_EQ(rec.Destructions, 0);
  thread.reset();
  EXPECT_EQ(rec.Destructions, 1);
}

namespace {
// The loop it inherits must never run: by the time the thread starts, this class's loop is in place.
class TLateLoopThread : public TProbeThread {
 public:
  explicit TLateLoopThread(TRecord& ARecord) : TProbeThread(ARecord) {
    // Give a thread started too early the chance to run the inherited loop.
    FEarly = FRecord.Looped->WaitFor(30) == wrSignaled;
    FBuilt = true;
  }
  bool FEarly = false;
  std::atomic<bool> FBuilt{false}, FLoopSawBuilt{false};

 protected:
  void ExecuteLoop() override {
    FLoopSawBuilt = FBuilt.load();
    Terminate();
  }
};
}  // namespace

TEST(BasicThreadThreads, StartsOnlyAfterConstructionAndNeverAfterEarlyTerminate) {
  TRecord rec;
  auto late = MakeThread<TLateLoopThread>(rec);
  EXPECT_TRUE(late->WaitFor(KWait));
  EXPECT_FALSE(late->FEarly);
  EXPECT_TRUE(late->FLoopSawBuilt);
  EXPECT_EQ(rec.Loops, 0);

  TRecord early;
  TIntf<TProbeThread> thread(new TProbeThread(early));
  EXPECT_TRUE(thread->WaitFor(0)) << "a thread never started has nothing to wait for";
  thread->Terminate();
  thread->Start();
  EXPECT_TRUE(thread->WaitFor(KWait));
  EXPECT_EQ(early.Loops, 0);

  TRecord failing;
  auto thrower = MakeThread<TProbeThread>(failing, [](TProbeThread&) { throw std::runtime_error("loop failed"); });
  EXPECT_TRUE(thrower->WaitFor(KWait));
  EXPECT_THROW(std::rethrow_exception(thrower->FatalException()), std::runtime_error);
  EXPECT_EQ(failing.Loops, 1);
}

TEST(BasicThreadThreads, EveryWayOfEndingDestroysExactlyOnce) {
  {  // Released by its owner while running: stopped and destroyed on the owner's thread.
    TRecord rec;
    auto thread = MakeThread<TProbeThread>(rec);
    ASSERT_EQ(rec.Looped->WaitFor(KWait), wrSignaled);
    thread.reset();
    EXPECT_EQ(rec.Destructions, 1);
    EXPECT_FALSE(rec.DestroyedOnOwnThread);
  }
  {  // Terminated from its own thread, free-on-terminate; the owner lets go afterwards.
    TRecord rec;
    auto thread = MakeThread<TProbeThread>(rec, [](TProbeThread& self) {
      self.SetFreeOnTerminate(true);
      self.Terminate();
    });
    EXPECT_TRUE(thread->WaitFor(KWait));
    EXPECT_EQ(rec.Destructions, 0) << "the owner still holds it";
    thread.reset();
    // The loop's own reference may still be on its way out: either thread may destroy it.
    ASSERT_EQ(rec.Destroyed->WaitFor(KWait), wrSignaled);
    EXPECT_EQ(rec.Destructions, 1);
  }
  // Free-on-terminate with the owner letting go first, and the last reference dropped inside the
  // loop itself: nothing may wait, and the object dies on its own thread after the loop.
  for (bool dropInLoop : {false, true}) {
    TRecord rec;
    TIntf<ISemaphore> gate = new TSemaphore(0, 1);
    TIntf<TProbeThread> slot = MakeThread<TProbeThread>(rec, [&](TProbeThread& self) {
      gate->Decrement();
      dropInLoop ? slot.reset() : self.Terminate();
    });
    ASSERT_EQ(rec.Looped->WaitFor(KWait), wrSignaled);
    if (!dropInLoop) {
      slot->SetFreeOnTerminate(true);
      slot.reset();
      EXPECT_EQ(rec.Destructions, 0);
    }
    gate->Increment();
    ASSERT_EQ(rec.Destroyed->WaitFor(KWait), wrSignaled);
    EXPECT_EQ(rec.Destructions, 1);
    EXPECT_TRUE(rec.DestroyedOnOwnThread);
    EXPECT_EQ(rec.Loops, 1);
  }
}

TEST(PriorityThreads, EveryLevelIsAcceptedWithoutPrivileges) {
  std::thread([] {
    const bool dropped = DropNiceCapability() || geteuid() != 0;
    rlimit niceLimit{};
    getrlimit(RLIMIT_NICE, &niceLimit);
    const bool strict = dropped && niceLimit.rlim_cur == 0;  // may only lower priority
    TRecord rec;
    auto thread = MakeThread<TProbeThread>(rec, nullptr, "prio", tpLower);
    ASSERT_EQ(rec.Looped->WaitFor(KWait), wrSignaled);
    const auto tid = static_cast<pid_t>(thread->ThreadId());
    auto policy = [tid] { return sched_getscheduler(tid) & ~SCHED_RESET_ON_FORK; };
    auto nice = [tid] { return getpriority(PRIO_PROCESS, static_cast<id_t>(tid)); };
    EXPECT_EQ(nice(), 5);

    thread->SetPriority(tpHighest);
    EXPECT_EQ(thread->GetPriority(), tpHighest);
    EXPECT_LE(nice(), 5);
    if (strict) {
      EXPECT_EQ(nice(), 5) << "a refused raise leaves the level as it was";
    }
    thread->SetPriority(tpTimeCritical);
    EXPECT_EQ(thread->GetPriority(), tpTimeCritical);
    thread->SetPriority(tpLowest);
    EXPECT_EQ(nice(), 10);
    EXPECT_EQ(policy(), SCHED_OTHER);
    thread->SetPriority(tpIdle);
    EXPECT_EQ(policy(), SCHED_IDLE);
    thread->SetPriority(tpNormal);
    EXPECT_EQ(thread->GetPriority(), tpNormal);
    if (strict) {
      EXPECT_EQ(policy(), SCHED_IDLE) << "leaving the idle class is refused: it stays idle";
    }

    thread->Terminate();
    EXPECT_TRUE(thread->WaitFor(KWait));
    thread->SetPriority(tpHigher);  // after the end: remembered, applied to nothing
    EXPECT_EQ(thread->GetPriority(), tpHigher);
  }).join();
}

// ---------------------------------------------------------------------------------------------

TEST(MainThread, PostsRunLaterInOrderExactlyOnce) {
  ASSERT_TRUE(IsMainThread());
  std::vector<int> seen;
  for (int i = 0; i < 5; ++i) MainThreadExecute([&seen, i] { seen.push_back(i); });
  EXPECT_TRUE(seen.empty()) << "never run inside the call, even on the main thread";
  EXPECT_TRUE(HasMainThreadWork());
  GetMainThreadExecute()->Execute([&seen] { MainThreadExecute([&seen] { seen.push_back(100); }); });
  EXPECT_EQ(ProcessMainThreadQueue(), 6);
  EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 3, 4})) << "a closure posted while running waits for the next call";
  EXPECT_EQ(ProcessMainThreadQueue(), 1);
  EXPECT_EQ(seen.back(), 100);
  EXPECT_FALSE(WaitForMainThreadWork(0));

  // Guarded posts are skipped once their object is gone; a throwing closure is reported and the
  // next one still runs.
  auto* kept = new TObject;
  auto* dropped = new TObject;
  std::vector<std::string> ran;
  SetMainThreadExceptionHandler([&ran](std::exception_ptr AError) {
    try {
      std::rethrow_exception(AError);
    } catch (const std::exception& e) {
      ran.push_back(std::string("error: ") + e.what());
    }
  });
  MainThreadExecute(dropped, [&ran] { ran.push_back("dropped"); });
  MainThreadExecute([] { throw EConvertError("'x' is not a valid floating point value"); });
  MainThreadExecute(kept, [&ran] { ran.push_back("kept"); });
  TObject::Free(dropped);
  EXPECT_EQ(ProcessMainThreadQueue(), 3);
  SetMainThreadExceptionHandler(nullptr);
  EXPECT_EQ(ran, (std::vector<std::string>{"error: 'x' is not a valid floating point value", "kept"}));
  TObject::Free(kept);
}

TEST(MainThreadThreads, PostsFromManyThreadsRunOnTheMainThreadInOrder) {
  constexpr int KProducers = 4, KPosts = 500;
  std::vector<std::vector<int>> seen(KProducers);
  std::atomic<int> offMain{0};
  std::vector<std::thread> producers;
  for (int p = 0; p < KProducers; ++p)
    producers.emplace_back([&, p] {
      for (int i = 0; i < KPosts; ++i)
        MainThreadExecute([&, p, i] {
          if (!IsMainThread()) ++offMain;
          seen[p].push_back(i);
        });
    });
  int ran = 0;
  for (int n = 1; n > 0 && ran < KProducers * KPosts; ran += n) n = ProcessMainThreadQueue(KWait);
  for (auto& t : producers) t.join();
  EXPECT_EQ(ran, KProducers * KPosts);
  EXPECT_EQ(offMain, 0);
  for (auto& s : seen) {
    ASSERT_EQ(s.size(), size_t(KPosts));
    for (int i = 0; i < KPosts; ++i) EXPECT_EQ(s[i], i);
  }

  std::thread poster([] { MainThreadExecute([] {}); });
  EXPECT_TRUE(WaitForMainThreadWork(KWait));
  poster.join();
  EXPECT_EQ(ProcessMainThreadQueue(), 1);

  // Another thread can be designated; the queue then refuses to run anywhere else.
  bool otherWasMain = false;
  int otherRan = -1;
  std::thread([&] {
    EXPECT_THROW(ProcessMainThreadQueue(), EInvalidOperation);
    SetMainThread();
    otherWasMain = IsMainThread();
    MainThreadExecute([] {});
    otherRan = ProcessMainThreadQueue();
  }).join();
  EXPECT_FALSE(IsMainThread());
  EXPECT_THROW(ProcessMainThreadQueue(), EInvalidOperation);
  SetMainThread();
  EXPECT_TRUE(IsMainThread());
  EXPECT_TRUE(otherWasMain);
  EXPECT_EQ(otherRan, 1);
}
