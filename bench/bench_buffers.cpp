// Sample buffers against the raw operations they wrap: the cost of the view, copy-on-write and
// sharing on top of the primitive or memcpy doing the work.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "buffers/GVSimpleDataBuffer.h"
#include "primitives/GVBasicDispatcher.h"

namespace fundrel {
namespace {

TGVRealBufferRef Ramp(uint32_t ASize, double AStep) {
  TGVRealBufferRef b = TGVRealBuffer::CreateSize(ASize);
  double* d = b->Write();
  for (uint32_t i = 0; i < ASize; ++i) d[i] = AStep * i;
  return b;
}

void RealAddFundrel(benchmark::State& AState, uint32_t ASize) {
  TGVRealBufferRef a = Ramp(ASize, 1.0), b = Ramp(ASize, 1e-9);
  for (auto _ : AState) {
    a->Add(b);
    benchmark::ClobberMemory();
  }
  AState.SetItemsProcessed(int64_t(AState.iterations()) * ASize);
}

void RealAddRaw(benchmark::State& AState, uint32_t ASize) {
  TGVRealBufferRef a = Ramp(ASize, 1.0), b = Ramp(ASize, 1e-9);
  double* dst = a->Modify();
  const double* src = b->Read();
  for (auto _ : AState) {
    ippsAdd_64f_I(src, dst, static_cast<int>(ASize));
    benchmark::ClobberMemory();
  }
  AState.SetItemsProcessed(int64_t(AState.iterations()) * ASize);
}

void MakeCopyFundrel(benchmark::State& AState, uint32_t ASize) {
  TGVRealBufferRef a = Ramp(ASize, 1.0);
  for (auto _ : AState) {
    TIntf<IGVData> copy = a->MakeCopy();
    benchmark::DoNotOptimize(copy.get());
  }
}

// A new shared view written through Modify: one clone with its bytes, then the view goes.
void WriteSharedFundrel(benchmark::State& AState, uint32_t ASize) {
  TGVRealBufferRef a = Ramp(ASize, 1.0);
  for (auto _ : AState) {
    TGVRealBufferRef copy = TGVRealBuffer::CreateCopy(a);
    benchmark::DoNotOptimize(copy->Modify());
  }
  AState.SetBytesProcessed(int64_t(AState.iterations()) * ASize * sizeof(double));
}

void WriteSharedMemcpy(benchmark::State& AState, uint32_t ASize) {
  std::vector<double> src(ASize, 1.0), dst(ASize);
  for (auto _ : AState) {
    std::memcpy(dst.data(), src.data(), ASize * sizeof(double));
    benchmark::ClobberMemory();
  }
  AState.SetBytesProcessed(int64_t(AState.iterations()) * ASize * sizeof(double));
}

void Register() {
  using TFn = void (*)(benchmark::State&, uint32_t);
  auto add = [](const char* AOp, const char* AImpl, TFn AFn, uint32_t ASize) {
    std::string name = std::string("BM_") + AOp + "/" + AImpl + "/" + std::to_string(ASize);
    benchmark::RegisterBenchmark(name.c_str(), [AFn, ASize](benchmark::State& s) { AFn(s, ASize); });
  };
  for (uint32_t n : {64u, 1024u, 65536u}) {
    add("RealAdd", "fundrel", &RealAddFundrel, n);
    add("RealAdd", "raw", &RealAddRaw, n);
  }
  for (uint32_t n : {64u, 1048576u}) add("MakeCopy", "fundrel", &MakeCopyFundrel, n);
  add("WriteShared", "fundrel", &WriteSharedFundrel, 65536);
  add("WriteShared", "memcpy", &WriteSharedMemcpy, 65536);
}

}  // namespace
}  // namespace fundrel

int main(int argc, char** argv) {
  fundrel::Register();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
