// A tour of what Fundrel offers today: a component with a persisted property object sharing its
// lock, guarded setters and change notification, a worker thread producing under the component's
// write section and handing results to the main thread, variants and complex numbers, and sample
// buffers that share their storage until one of them is written.
#include <cstdio>

#include "buffers/GVSimpleDataBuffer.h"
#include "host/Quenra.Math.Complex.h"
#include "host/Quenra.Threading.h"
#include "host/Quenra.Types.h"
#include "host/Quenra.Variants.h"

using namespace fundrel;

namespace {

// A property object: its changes reach the owning component through the owner's callback.
class TGain : public TLockPersistent {
 public:
  using TLockPersistent::TLockPersistent;
  double GetValue() const { return FValue; }
  void SetValue(double AValue) { SetterMin(FValue, AValue, 0.0); }

 private:
  double FValue = 1.0;  // declared default
};

class TDemoGenerator : public TLockComponent {
 public:
  explicit TDemoGenerator(TComponent* AOwner) : TLockComponent(AOwner), FGain(this, Lock(), ChangeCallback()) {}
  TGain& Gain() { return FGain; }
  // One block of work under the write section; refused while the component stops.
  bool Produce(int ABlock, double& AResult) {
    TLockHolder write = GetLock()->WriteLock();
    if (!write) return false;
    AResult = ABlock * FGain.GetValue();
    return true;
  }

 private:
  TGain FGain;
};

class TWorker : public TBasicThread {
 public:
  TWorker(TDemoGenerator* AGenerator, TIntf<TSemaphore> ADone)
      : TBasicThread("TWorker"), FGenerator(AGenerator), FDone(std::move(ADone)) {}

 protected:
  void ExecuteLoop() override {
    double result = 0;
    if (FGenerator->Produce(FBlock, result)) {
      int block = FBlock;
      MainThreadExecute([block, result] { std::printf("  block %d -> %.1f (on the main thread)\n", block, result); });
    }
    if (++FBlock == 4) {
      FDone->Increment(1);
      Terminate();
    }
  }

 private:
  TDemoGenerator* FGenerator;
  TIntf<TSemaphore> FDone;
  int FBlock = 0;
};

}  // namespace

int main() {
  std::printf("Fundrel demo\n\n1. A component, its property object and change notification\n");
  auto* generator = TComponent::Create<TDemoGenerator>(nullptr);
  generator->SetName("Generator1");
  generator->Lock()->OnChange().Add([generator] {
    std::printf("  %s changed: gain is now %.2f\n", generator->Name().c_str(), generator->Gain().GetValue());
  });
  generator->Gain().SetValue(2.5);
  generator->Gain().SetValue(2.5);  // equal value: nobody is told
  generator->Gain().SetValue(-1);   // raised to the minimum 0
  generator->Gain().SetValue(1.5);

  std::printf("\n2. A worker thread producing under the component's write section\n");
  TIntf<TSemaphore> done(new TSemaphore(0, 1));
  TIntf<TWorker> worker = MakeThread<TWorker>(generator, done);
  done->Decrement(INFINITE);
  worker->WaitFor();
  int ran = ProcessMainThreadQueue();
  std::printf("  main thread ran %d posted closures\n", ran);
  worker.reset();
  TObject::Free(generator);

  std::printf("\n3. Variants and complex numbers\n");
  TVariant text(String("42"));
  std::printf("  \"42\" as integer + 1 = %d\n", text.AsInteger() + 1);
  std::printf("  2.5 as text = %s\n", TVariant(2.5).AsString().c_str());
  try {
    TVariant(String("forty-two")).AsInteger();
  } catch (const EConvertError& e) {
    std::printf("  bad text: %s\n", e.what());
  }
  TComplex z(3, 4);
  TComplex r = SquareRoot(z);
  std::printf("  |3+4i| = %.1f, sqrt(3+4i) = %.1f%+.1fi, conj * z = %.1f\n", Abs(z), r.re, r.im,
              (Conjugate(z) * z).re);

  std::printf("\n4. Sample buffers: shared storage, copy on write\n");
  TGVRealBufferRef ramp = TGVRealBuffer::CreateSize(8);
  double* samples = ramp->Write();
  for (int i = 0; i < 8; ++i) samples[i] = i;
  TGVRealBufferRef sent = TGVRealBuffer::CreateCopy(ramp);  // what a source pin hands downstream
  std::printf("  copy shares the samples: %s\n", sent->Read() == ramp->Read() ? "yes" : "no");
  sent->MultiplyValue(0.5);  // the receiver writes: it gets its own copy first
  std::printf("  after the receiver scaled its copy: original[7] = %.1f, copy[7] = %.1f\n", ramp->GetItem(7),
              sent->GetItem(7));
  std::printf("  mean %.2f, max %.1f, dot with itself %.1f\n", ramp->Mean(), ramp->GetMaxValue(), ramp->Dot(ramp));
  std::printf("  live storages %u, live buffers %u\n", _GVCountStores.load(), _GVCountPasBuffers.load());
  return 0;
}
