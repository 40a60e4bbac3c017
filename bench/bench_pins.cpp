// The cost of one hop of an operation through a pin connection against a plain virtual call.
// /N is the number of hops: a source, N-1 pass-through filters, a sink. The operation is made
// once and sent again and again, so the figures are the dispatch alone; "hop" is the time per
// connection crossed.
#include <benchmark/benchmark.h>

#include <vector>

#include "host/LKPins.h"
#include "host/Quenra.Types.h"

using namespace fundrel;

namespace {

struct IBenchStream : ILKDataStream {
  using Parent = ILKDataStream;
  FUNDREL_IID("{0F1E2D3C-4B5A-4968-8776-655443322110}");
};

void RegisterBenchStream() {
  static bool done = [] {
    LKRegisterStream(LKStreamInfo<IBenchStream>("IBenchStream"));
    return true;
  }();
  (void)done;
}

// Forwards what its input receives through its output.
class TPassThrough : public TLockComponent {
 public:
  explicit TPassThrough(TComponent* AOwner) : TLockComponent(AOwner) {
    FOutput = new TLKDispatchSourcePin(this, Lock(), Lock(), -1, {});
    FOutput->AddType(IBenchStream::IID);
    FInput = new TLKDispatchSinkPin(
        this, Lock(), [this](TLKPin*, ILKBasicStream*, const TGUID&, ILKNotifyOperation* AOperation, TLKDispatchState AState) {
          return FOutput->NotifyWith(AOperation, AState) ? hsHandled : 0;
        });
    FInput->AddType(IBenchStream::IID);
  }
  ~TPassThrough() override {
    TObject::Free(FOutput);
    TObject::Free(FInput);
  }
  TLKPin* FInput;
  TLKPin* FOutput;
};

void BM_NotifyHop_fundrel(benchmark::State& AState) {
  RegisterBenchStream();
  const int hops = static_cast<int>(AState.range(0));
  TComponent* root = TComponent::Create<TComponent>(nullptr);
  auto* source = TComponent::Create<TPassThrough>(root);
  auto* sink = TComponent::Create<TLockComponent>(root);
  int64_t received = 0;
  auto* counter = new TLKDispatchSinkPin(sink, sink->Lock(),
                                         [&received](TLKPin*, ILKBasicStream*, const TGUID&, ILKNotifyOperation*,
                                                     TLKDispatchState) -> TLKHandledSet {
                                           ++received;
                                           return hsHandled;
                                         });
  counter->AddType(IBenchStream::IID);
  TLKPin* last = source->FOutput;
  for (int i = 1; i < hops; ++i) {
    auto* f = TComponent::Create<TPassThrough>(root);
    last->Connect(f->FInput);
    last = f->FOutput;
  }
  last->Connect(counter);
  TIntf<ILKNotifyOperation> op = LKMakeOperation<TLKTypedSuppliedOperation<double>>(1.0);
  for (auto _ : AState) benchmark::DoNotOptimize(source->FOutput->Notify(op.get()));
  if (received != static_cast<int64_t>(AState.iterations())) AState.SkipWithError("lost operations");
  AState.counters["hop"] = benchmark::Counter(hops, benchmark::Counter::kIsIterationInvariantRate |
                                                        benchmark::Counter::kInvert);
  TObject::Free(counter);
  TObject::Free(root);
}

// The peer: the same chain as plain virtual calls passing the same operation.
struct TNode {
  virtual ~TNode() = default;
  virtual bool Receive(ILKNotifyOperation* AOperation) { return Next->Receive(AOperation); }
  TNode* Next = nullptr;
};
struct TCountingNode : TNode {
  bool Receive(ILKNotifyOperation*) override {
    ++Received;
    return true;
  }
  int64_t Received = 0;
};

void BM_NotifyHop_virtualcall(benchmark::State& AState) {
  const int hops = static_cast<int>(AState.range(0));
  std::vector<TNode*> nodes;
  for (int i = 0; i < hops; ++i) nodes.push_back(new TNode);
  auto* end = new TCountingNode;
  for (int i = 0; i + 1 < hops; ++i) nodes[i]->Next = nodes[i + 1];
  nodes.back()->Next = end;
  TIntf<ILKNotifyOperation> op = LKMakeOperation<TLKTypedSuppliedOperation<double>>(1.0);
  TNode* first = nodes.front();
  for (auto _ : AState) {
    benchmark::DoNotOptimize(first);
    benchmark::DoNotOptimize(first->Receive(op.get()));
  }
  if (end->Received != static_cast<int64_t>(AState.iterations())) AState.SkipWithError("lost operations");
  AState.counters["hop"] = benchmark::Counter(hops, benchmark::Counter::kIsIterationInvariantRate |
                                                        benchmark::Counter::kInvert);
  for (TNode* n : nodes) delete n;
  delete end;
}

}  // namespace

BENCHMARK(BM_NotifyHop_fundrel)->Name("BM_NotifyHop/fundrel")->Arg(1)->Arg(4);
BENCHMARK(BM_NotifyHop_virtualcall)->Name("BM_NotifyHop/virtualcall")->Arg(1)->Arg(4);

BENCHMARK_MAIN();
