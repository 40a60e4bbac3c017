#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "host/Quenra.Locks.h"

using namespace fundrel;

namespace {

TIntf<TBasicLock> NewLock() { return TIntf<TBasicLock>(new TChangeNotifyLock); }

// Waits until ALock reports AWaiters blocked threads: proves a thread is blocked without sleeping.
void AwaitWaiters(TBasicLock& ALock, uint32_t AWaiters) {
  while (ALock.WaiterCount() < AWaiters) std::this_thread::yield();
}

// Runs AProc on another thread and returns what it produced.
template <typename F>
auto OnOtherThread(F AProc) {
  decltype(AProc()) result{};
  std::thread t([&] { result = AProc(); });
  t.join();
  return result;
}

}  // namespace

TEST(Locks, SectionsNestInAnyOrderOnOneThread) {
  auto lock = NewLock();
  {
    TLockHolder w = lock->WriteLock();
    TLockHolder s = lock->StopLock();
    TLockHolder r = lock->ReadLock();
    TLockHolder w2 = lock->WriteLock();
    ASSERT_TRUE(w && s && r && w2);
    TLockCounts c = lock->HeldByCurrentThread();
    EXPECT_EQ(c.Write, 2u);
    EXPECT_EQ(c.Stop, 1u);
    EXPECT_EQ(c.Read, 1u);
    EXPECT_TRUE(lock->IsStopping());
    // Another thread that holds nothing is refused while this one stops.
    EXPECT_FALSE(OnOtherThread([&] { return bool(lock->ReadLock()); }));
    EXPECT_FALSE(OnOtherThread([&] { return bool(lock->WriteLock()); }));
  }
  EXPECT_TRUE(lock->HeldByCurrentThread().Empty());
  EXPECT_FALSE(lock->IsStopping());
  {
    TLockHolder s = lock->StopLock();
    TLockHolder w = lock->WriteLock();  // stop then write: the stop holder's own step sets properties
    EXPECT_TRUE(w);
  }
  // A holder moved to a caller keeps the section until it is dropped there.
  TLockHolder moved;
  {
    TLockHolder inner = lock->WriteLock();
    moved = std::move(inner);
  }
  EXPECT_EQ(lock->HeldByCurrentThread().Write, 1u);
  moved.Release();
  EXPECT_TRUE(OnOtherThread([&] { return bool(lock->WriteLock()); }));
}

TEST(LockThreads, WriteExcludesReadersAndWritersStopExcludesWriters) {
  auto lock = NewLock();
  std::atomic<int> got{0};
  {
    TLockHolder w = lock->WriteLock();
    std::thread reader([&] {
      TLockHolder r = lock->ReadLock();
      EXPECT_TRUE(r);
      got.fetch_add(1);
    });
    std::thread writer([&] {
      TLockHolder w2 = lock->WriteLock();
      EXPECT_TRUE(w2);
      got.fetch_add(1);
    });
    AwaitWaiters(*lock, 2);
    EXPECT_EQ(got.load(), 0);
    w.Release();
    reader.join();
    writer.join();
  }
  EXPECT_EQ(got.load(), 2);

  // Stop waits for another thread's writer, but not for its readers.
  TLockHolder r = lock->ReadLock();
  TLockHolder w = lock->WriteLock();
  std::atomic<bool> stopped{false};
  std::thread stopper([&] {
    TLockHolder s = lock->StopLock();
    stopped = true;
  });
  AwaitWaiters(*lock, 1);
  EXPECT_FALSE(stopped.load());
  w.Release();
  stopper.join();
  EXPECT_TRUE(stopped.load());
  EXPECT_EQ(lock->HeldByCurrentThread().Read, 1u);
}

TEST(LockThreads, HoldersAreNeverRefusedWhileOthersAreDuringStop) {
  auto lock = NewLock();
  TLockHolder r = lock->ReadLock();  // taken before the stop
  std::atomic<bool> release{false}, stopping{false};
  std::thread stopper([&] {
    TLockHolder s = lock->StopLock();
    stopping = true;
    while (!release) std::this_thread::yield();
  });
  while (!stopping) std::this_thread::yield();
  // This thread already holds read: a further read is granted at once, a write waits for the stop.
  EXPECT_TRUE(lock->ReadLock());
  std::atomic<bool> wrote{false};
  EXPECT_FALSE(OnOtherThread([&] { return bool(lock->WriteLock()); }));
  std::thread releaser([&] {
    AwaitWaiters(*lock, 1);
    release = true;
  });
  {
    TLockHolder w = lock->WriteLock();
    EXPECT_TRUE(w);
    wrote = true;
  }
  releaser.join();
  stopper.join();
  EXPECT_TRUE(wrote.load());
}

TEST(LockThreads, BeginDestroyRefusesWaitersAndNewcomers) {
  auto lock = NewLock();
  TLockHolder w = lock->WriteLock();
  std::atomic<int> refused{0};
  std::vector<std::thread> waiters;
  waiters.emplace_back([&] { refused += !lock->ReadLock(); });
  waiters.emplace_back([&] { refused += !lock->WriteLock(); });
  AwaitWaiters(*lock, 2);
  lock->BeginDestroy();
  for (auto& t : waiters) t.join();
  EXPECT_EQ(refused.load(), 2);
  EXPECT_TRUE(lock->IsDestroying());
  EXPECT_TRUE(lock->ReadLock());  // the destroying thread itself goes on
  EXPECT_TRUE(lock->StopLock());
}

TEST(LockThreads, UnlockAllLetsOthersInAndTakesExactlyTheSameBack) {
  auto lock = NewLock();
  TLockHolder w1 = lock->WriteLock(), w2 = lock->WriteLock(), r = lock->ReadLock(), s = lock->StopLock();
  std::atomic<bool> otherWrote{false}, otherMayLeave{false};
  std::thread other, opener;
  {
    TUnlockAllHolder unlocked = lock->UnlockAll();
    EXPECT_EQ(unlocked.Snapshot().Half[0].Write, 2u);
    EXPECT_TRUE(lock->HeldByCurrentThread().Empty());
    other = std::thread([&] {
      TLockHolder w = lock->WriteLock();
      EXPECT_TRUE(w);
      otherWrote = true;
      while (!otherMayLeave) std::this_thread::yield();
    });
    while (!otherWrote) std::this_thread::yield();
    opener = std::thread([&] {
      AwaitWaiters(*lock, 1);  // the restore below is waiting for the other writer
      otherMayLeave = true;
    });
  }  // waits here until the other thread's write ends
  other.join();
  opener.join();
  TLockCounts c = lock->HeldByCurrentThread();
  EXPECT_EQ(c.Write, 2u);
  EXPECT_EQ(c.Read, 1u);
  EXPECT_EQ(c.Stop, 1u);
  // Nothing held: unlock-all does nothing.
  auto lock2 = NewLock();
  { TUnlockAllHolder u = lock2->UnlockAll(); EXPECT_TRUE(u.Snapshot().Half[0].Empty()); }
}

TEST(LockThreads, WritersKeepAnInvariantThatReadersObserve) {
  auto lock = NewLock();
  long a = 0, b = 0;
  std::atomic<bool> stop{false};
  std::atomic<long> refusedWrites{0}, reads{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 3000; ++i) {
        TLockHolder w = lock->WriteLock();
        if (!w) {
          ++refusedWrites;
          continue;
        }
        ++a;
        TLockHolder nested = lock->ReadLock();
        ++b;
      }
    });
  threads.emplace_back([&] {
    while (!stop) {
      if (TLockHolder r = lock->ReadLock()) {
        EXPECT_EQ(a, b);
        ++reads;
      }
    }
  });
  threads.emplace_back([&] {
    for (int i = 0; i < 200; ++i) {
      TLockHolder s = lock->StopLock();
      EXPECT_EQ(a, b);  // no write runs during a stop
    }
  });
  for (size_t i : {0, 1, 2, 4}) threads[i].join();
  stop = true;
  threads[3].join();
  EXPECT_EQ(a, b);
  EXPECT_EQ(a + refusedWrites.load(), 9000);
}

TEST(LockThreads, PairedLockTakesBothHalvesAndForwardsChanges) {
  TIntf<IChangeNotifyLock> in(new TChangeNotifyLock), out(new TChangeNotifyLock);
  TIntf<TPairedLock> pair(new TPairedLock(in, out));
  int changes = 0;
  pair->OnChange().Add([&] { ++changes; });
  in->NotifyChange();
  out->NotifyChange();
  pair->NotifyChange();
  EXPECT_EQ(changes, 3);
  {
    TLockHolder w = pair->WriteLock();
    EXPECT_EQ(in->HeldByCurrentThread().Write, 1u);
    EXPECT_EQ(out->HeldByCurrentThread().Write, 1u);
    TUnlockAllHolder u = pair->UnlockAll();
    EXPECT_TRUE(pair->HeldByCurrentThread().Empty());
  }
  EXPECT_TRUE(pair->HeldByCurrentThread().Empty());
  {
    // A section on one half leaves the other free for another thread.
    TLockHolder w = out->WriteLock();
    EXPECT_TRUE(OnOtherThread([&] { return bool(in->WriteLock()); }));
  }
  {
    // A stop on the pair refuses other threads' writes on either half.
    TLockHolder s = pair->StopLock();
    EXPECT_FALSE(OnOtherThread([&] { return bool(out->WriteLock()); }));
    EXPECT_TRUE(out->WriteLock());
  }
  // When the second half refuses, the pair gives the first back.
  TIntf<TBasicLock> a = NewLock(), b = NewLock();
  TIntf<TPairedLock> p2(new TPairedLock(TIntf<IChangeNotifyLock>(a.get()), TIntf<IChangeNotifyLock>(b.get())));
  b->BeginDestroy();
  EXPECT_FALSE(OnOtherThread([&] { return bool(p2->ReadLock()); }));
  EXPECT_TRUE(OnOtherThread([&] { return bool(a->WriteLock()); }));
}

namespace {
struct TSetterHost : TGuardedSetters<TSetterHost> {
  TIntf<TBasicLock> Lock = NewLock();
  std::vector<std::string> Log;
  int Value = 5;
  double Rate = 1.0;
  IBasicLock* GetLock() { return Lock.get(); }
  void NotifyProp() { Log.push_back("notify"); }
  using TGuardedSetters::Setter;
  using TGuardedSetters::SetterMin;
};
}  // namespace

TEST(GuardedSetters, StoreAndNotifyOnlyRealChangesInOrder) {
  TSetterHost h;
  h.Lock->OnBeforeChange().Add([&] { h.Log.push_back("before " + std::to_string(h.Value)); });
  h.Lock->OnAfterChange().Add([&] { h.Log.push_back("after " + std::to_string(h.Value)); });
  EXPECT_FALSE(h.Setter(h.Value, 5, [&] { h.Log.push_back("callback"); }));
  EXPECT_TRUE(h.Log.empty());
  EXPECT_TRUE(h.Setter(h.Value, 7, [&] {
    // The callback may take the same lock again, stop included.
    EXPECT_TRUE(h.Lock->StopLock());
    h.Log.push_back("callback");
  }));
  EXPECT_EQ(h.Log, (std::vector<std::string>{"before 5", "after 7", "callback", "notify"}));
  h.Log.clear();
  // Raised to the minimum first: 0 with minimum 1 on a field holding 1 is silent.
  h.Value = 1;
  EXPECT_FALSE(h.SetterMin(h.Value, 0, 1));
  EXPECT_TRUE(h.Log.empty());
  EXPECT_TRUE(h.SetterMin(h.Rate, 0.0, 1e-6));
  EXPECT_EQ(h.Rate, 1e-6);
  h.Log.clear();
  // A refused write stores nothing and notifies nobody.
  h.Lock->BeginDestroy();
  EXPECT_FALSE(OnOtherThread([&] { return h.Setter(h.Value, 9); }));
  EXPECT_EQ(h.Value, 1);
  EXPECT_TRUE(h.Log.empty());
}
