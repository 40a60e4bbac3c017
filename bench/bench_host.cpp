// Costs of the runtime contract's hot paths against the standard library's nearest peers:
// a component lock section against std::shared_mutex, an interface reference against
// std::shared_ptr, a guarded store against a plain store under std::mutex.
#include <benchmark/benchmark.h>

#include <memory>
#include <mutex>
#include <shared_mutex>
#include <thread>

#include "host/Quenra.Interfaces.h"
#include "host/Quenra.Locks.h"

using namespace fundrel;

namespace {

void BM_WriteSection_fundrel(benchmark::State& AState) {
  TIntf<TBasicLock> lock(new TChangeNotifyLock);
  for (auto _ : AState) {
    TLockHolder w = lock->WriteLock();
    benchmark::DoNotOptimize(w);
  }
}
void BM_WriteSection_shared_mutex(benchmark::State& AState) {
  std::shared_mutex m;
  for (auto _ : AState) {
    std::unique_lock<std::shared_mutex> w(m);
    benchmark::DoNotOptimize(w);
  }
}
void BM_ReadSection_fundrel(benchmark::State& AState) {
  TIntf<TBasicLock> lock(new TChangeNotifyLock);
  for (auto _ : AState) {
    TLockHolder r = lock->ReadLock();
    benchmark::DoNotOptimize(r);
  }
}
void BM_ReadSection_shared_mutex(benchmark::State& AState) {
  std::shared_mutex m;
  for (auto _ : AState) {
    std::shared_lock<std::shared_mutex> r(m);
    benchmark::DoNotOptimize(r);
  }
}

struct IThing : IInterface {
  using Parent = IInterface;
  FUNDREL_IID("{D5A3C2B1-0F9E-4D8C-B7A6-958473625140}");
  virtual int Value() = 0;
};
class TThing : public TImplements<TInterfacedObject, IThing> {
 public:
  int Value() override { return 1; }
};

void BM_RefCopy_fundrel(benchmark::State& AState) {
  TIntf<IThing> thing(new TThing);
  for (auto _ : AState) {
    TIntf<IThing> copy = thing;
    benchmark::DoNotOptimize(copy);
  }
}
void BM_RefCopy_shared_ptr(benchmark::State& AState) {
  auto thing = std::make_shared<int>(1);
  for (auto _ : AState) {
    std::shared_ptr<int> copy = thing;
    benchmark::DoNotOptimize(copy);
  }
}
void BM_QueryInterface_fundrel(benchmark::State& AState) {
  TIntf<IThing> thing(new TThing);
  for (auto _ : AState) benchmark::DoNotOptimize(Supports<IInterface>(thing));
}
void BM_QueryInterface_dynamic_cast(benchmark::State& AState) {
  TIntf<IThing> thing(new TThing);
  for (auto _ : AState) benchmark::DoNotOptimize(dynamic_cast<TInterfacedObject*>(thing.get()));
}

struct TSetterHost : TGuardedSetters<TSetterHost> {
  TIntf<IChangeNotifyLock> Lock{new TChangeNotifyLock};
  double Value = 0;
  IBasicLock* GetLock() { return Lock.get(); }
  void NotifyProp() { Lock->NotifyChange(); }
  using TGuardedSetters::Setter;
};
void BM_Setter_fundrel(benchmark::State& AState) {
  TSetterHost h;
  double v = 0;
  for (auto _ : AState) h.Setter(h.Value, v += 1.0);
}
void BM_Setter_mutex(benchmark::State& AState) {
  std::mutex m;
  double value = 0, v = 0;
  for (auto _ : AState) {
    std::lock_guard<std::mutex> g(m);
    if (value != (v += 1.0)) value = v;
    benchmark::DoNotOptimize(value);
  }
}

}  // namespace

BENCHMARK(BM_WriteSection_fundrel)->Name("BM_WriteSection/fundrel");
BENCHMARK(BM_WriteSection_shared_mutex)->Name("BM_WriteSection/shared_mutex");
BENCHMARK(BM_ReadSection_fundrel)->Name("BM_ReadSection/fundrel");
BENCHMARK(BM_ReadSection_shared_mutex)->Name("BM_ReadSection/shared_mutex");
BENCHMARK(BM_RefCopy_fundrel)->Name("BM_RefCopy/fundrel");
BENCHMARK(BM_RefCopy_shared_ptr)->Name("BM_RefCopy/shared_ptr");
BENCHMARK(BM_QueryInterface_fundrel)->Name("BM_QueryInterface/fundrel");
BENCHMARK(BM_QueryInterface_dynamic_cast)->Name("BM_QueryInterface/dynamic_cast");
BENCHMARK(BM_Setter_fundrel)->Name("BM_Setter/fundrel");
BENCHMARK(BM_Setter_mutex)->Name("BM_Setter/mutex");
int main(int argc, char** argv) {
  // The standard library skips atomic reference counts while a process has one thread; a second
  // thread makes the comparison with std::shared_ptr the one a real pipeline sees.
  std::thread([] {}).join();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
