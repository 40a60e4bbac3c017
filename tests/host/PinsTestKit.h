// Small components for the pin tests: a generator, a pass-through filter, a sink and an
// integer-to-real format converter, with the test streams they use.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "host/LKPins.h"
#include "host/Linkor.TypeConverters.h"
#include "host/Quenra.Types.h"

namespace pinkit {

using namespace fundrel;

struct ITestIntStream : ILKDataStream {
  using Parent = ILKDataStream;
  FUNDREL_IID("{6A1C2E3F-4B5D-4E6F-8091-A2B3C4D5E6F7}");
};
struct ITestRealStream : ILKDataStream {
  using Parent = ILKDataStream;
  FUNDREL_IID("{7B2D3F40-5C6E-4F70-91A2-B3C4D5E6F708}");
};
// A child of the real stream: a source offering it satisfies a real sink.
struct ITestRangedRealStream : ITestRealStream {
  using Parent = ITestRealStream;
  FUNDREL_IID("{8C3E4051-6D7F-4081-A2B3-C4D5E6F70819}");
};
struct ITestUniversalStream : ILKDataStream {
  using Parent = ILKDataStream;
  FUNDREL_IID("{9D4F5162-7E80-4192-B3C4-D5E6F708192A}");
};
struct ITestTextStream : ILKDataStream {
  using Parent = ILKDataStream;
  FUNDREL_IID("{AE506273-8F91-42A3-84D5-E6F708192A3B}");
};

using TIntValues = TLKTypedSuppliedOperation<std::vector<int32_t>>;
using TRealValues = TLKTypedSuppliedOperation<std::vector<double>>;
using TEvent = std::function<TLKHandledSet(ILKNotifyOperation*, TLKDispatchState)>;

// Adapts a short event to the framework's handler signature.
inline TLKNotificationHandler Handler(TEvent AEvent) {
  return [AEvent](TLKPin*, ILKBasicStream*, const TGUID&, ILKNotifyOperation* AOperation, TLKDispatchState AState) {
    return AEvent(AOperation, AState);
  };
}

// The event log of single-threaded tests.
inline std::vector<std::string>& Log() {
  static std::vector<std::string> log;
  return log;
}

// "TLKStopOperation" gives "Stop"; value operations "ints" and "reals".
inline std::string OpName(ILKNotifyOperation* AOperation) {
  if (AOperation->IsType<TIntValues>()) return "ints";
  if (AOperation->IsType<TRealValues>()) return "reals";
  std::string name = ClassNameOf(*AOperation->GetInstance());
  if (name.rfind("TLK", 0) == 0) name = name.substr(3);
  if (name.size() > 9 && name.compare(name.size() - 9, 9, "Operation") == 0) name.resize(name.size() - 9);
  return name;
}

inline std::atomic<int> gLiveConverters{0};

// A source pin shaped like the library's: hooks logged, one stop to a sink before it goes.
class TTestSourcePin : public TLKDispatchSourcePin {
 public:
  TTestSourcePin(TComponent* AOwner, TIntf<IBasicLock> ALock, int32_t AMaxConnections,
                 TLKNotificationHandler AOperationEvent, bool ALogging = true)
      : TLKDispatchSourcePin(AOwner, ALock, ALock, AMaxConnections, std::move(AOperationEvent)), FLogging(ALogging) {
    AddType(ITestUniversalStream::IID);
    PopulateTypes();
  }

 protected:
  void Note(const std::string& AWhat, TLKPin* AOther) {
    if (FLogging) Log().push_back(GetFullName() + " " + AWhat + " " + AOther->GetFullName());
  }
  bool IntConnect(TLKPin* AOther, bool ANotifyAfter, const TGUID& ADataType) override {
    Note("connect", AOther);
    if (FLogging) Log().back() += " " + LKStreamName(ADataType);
    return TLKDispatchSourcePin::IntConnect(AOther, ANotifyAfter, ADataType);
  }
  bool IntConnectAfter(TLKPin* AOther) override {
    Note("after", AOther);
    return TLKDispatchSourcePin::IntConnectAfter(AOther);
  }
  void IntDisconnect(TLKPin* AOther, bool ADesignFormClosing) override {
    Note("disconnect", AOther);
    NotifyPin(AOther, LKMakeOperation<TLKStopOperation>());
    TLKDispatchSourcePin::IntDisconnect(AOther, ADesignFormClosing);
  }
  void BeforeDisconnect(TLKPin* AOther) override { Note("before", AOther); }

 private:
  bool FLogging;
};
class TTestIntSourcePin : public TTestSourcePin {
 public:
  using TTestSourcePin::TTestSourcePin;
  FUNDREL_LK_DATA_TYPES(ITestIntStream::IID)
};
class TTestRealSourcePin : public TTestSourcePin {
 public:
  using TTestSourcePin::TTestSourcePin;
  FUNDREL_LK_DATA_TYPES(ITestRealStream::IID)
};
class TTestRangedSourcePin : public TTestSourcePin {
 public:
  using TTestSourcePin::TTestSourcePin;
  FUNDREL_LK_DATA_TYPES(ITestRangedRealStream::IID, ITestTextStream::IID)
};

class TTestSinkPin : public TLKDispatchSinkPin {
 public:
  TTestSinkPin(TComponent* AOwner, TIntf<IBasicLock> ALock, TLKNotificationHandler AHandler, bool ALogging = true)
      : TLKDispatchSinkPin(AOwner, std::move(ALock), std::move(AHandler)), FLogging(ALogging) {
    PopulateTypes();
  }
  // The connect event, run from IntConnectAfter.
  std::function<void(TLKPin* ASource)> OnConnect;

 protected:
  void Note(const std::string& AWhat, TLKPin* AOther) {
    if (FLogging) Log().push_back(GetFullName() + " " + AWhat + " " + AOther->GetFullName());
  }
  bool IntConnect(TLKPin* AOther, bool ANotifyAfter, const TGUID& ADataType) override {
    Note("connect", AOther);
    if (FLogging) Log().back() += " " + LKStreamName(ADataType);
    return TLKDispatchSinkPin::IntConnect(AOther, ANotifyAfter, ADataType);
  }
  bool IntConnectAfter(TLKPin* AOther) override {
    Note("after", AOther);
    bool result = TLKDispatchSinkPin::IntConnectAfter(AOther);
    if (OnConnect) OnConnect(AOther);
    return result;
  }
  void BeforeDisconnect(TLKPin* AOther) override { Note("before", AOther); }

 private:
  bool FLogging;
};
class TTestIntSinkPin : public TTestSinkPin {
 public:
  using TTestSinkPin::TTestSinkPin;
  FUNDREL_LK_DATA_TYPES(ITestIntStream::IID)
};
class TTestRealSinkPin : public TTestSinkPin {
 public:
  using TTestSinkPin::TTestSinkPin;
  FUNDREL_LK_DATA_TYPES(ITestRealStream::IID)
};
// Inherits the real declaration.
class TTestRealSinkPin2 : public TTestRealSinkPin {
 public:
  using TTestRealSinkPin::TTestRealSinkPin;
};
// Prefers text over real.
class TTestTextRealSinkPin : public TTestSinkPin {
 public:
  using TTestSinkPin::TTestSinkPin;
  FUNDREL_LK_DATA_TYPES(ITestTextStream::IID, ITestRealStream::IID)
};
class TTestUniversalSinkPin : public TTestSinkPin {
 public:
  using TTestSinkPin::TTestSinkPin;
  FUNDREL_LK_DATA_TYPES(ITestUniversalStream::IID)
};

// A generator: sends values, answers queries while disabled with ignore-stream, negotiates its
// pump and produces one buffer per master-pump request of its pump owner.
class TTestGenerator : public TLockComponent {
 public:
  enum class TKind { Int, Real, Ranged };
  TTestGenerator(TComponent* AOwner, TKind AKind = TKind::Int, int32_t AMaxConnections = -1, bool ALogging = true)
      : TLockComponent(AOwner), FKind(AKind), FLogging(ALogging) {
    auto event = Handler([this](ILKNotifyOperation* AOperation, TLKDispatchState) { return Upstream(AOperation); });
    if (AKind == TKind::Int) FOutput = new TTestIntSourcePin(this, Lock(), AMaxConnections, event, ALogging);
    if (AKind == TKind::Real) FOutput = new TTestRealSourcePin(this, Lock(), AMaxConnections, event, ALogging);
    if (AKind == TKind::Ranged) FOutput = new TTestRangedSourcePin(this, Lock(), AMaxConnections, event, ALogging);
    FOutput->SetPinName("OutputPin");
  }
  ~TTestGenerator() override { TObject::Free(FOutput); }

  TLKPin* Output() const { return FOutput; }
  bool SendInts(std::vector<int32_t> AValues) {
    auto n = static_cast<uint32_t>(AValues.size());
    return FOutput->Notify(LKMakeOperation<TIntValues>(std::move(AValues), n));
  }
  bool SendReals(std::vector<double> AValues) {
    auto n = static_cast<uint32_t>(AValues.size());
    return FOutput->Notify(LKMakeOperation<TRealValues>(std::move(AValues), n));
  }

  // Asks downstream for a pump; when somebody took over, tells it with a start-pump.
  void Start(double ARate) {
    auto* request = new TLKPumpRequestOperation(this, TLKPumpRequestOperation::SamplePumpType, PumpPriority, ARate);
    TIntf<ILKNotifyOperation> hold(request);
    FOutput->Notify(hold);
    FPumpOwner = request->PumpOwner();
    FPumpRate = request->GrantedRate();
    FFirstRequest = true;
    if (FPumpOwner != this) FOutput->Notify(LKMakeOperation<TLKStartPumpOperation>(FPumpOwner));
  }
  TObject* PumpOwner() const { return FPumpOwner; }
  double PumpRate() const { return FPumpRate; }
  int Produced() const { return FProduced; }

  bool Enabled = true;
  uint32_t PumpPriority = 0;
  std::atomic<int> UpstreamCount{0};

 private:
  TLKHandledSet Upstream(ILKNotifyOperation* AOperation) {
    ++UpstreamCount;
    if (FLogging) Log().push_back(Name() + " got " + OpName(AOperation));
    if (AOperation->IsType<TLKQueryStreamOperation>()) {
      if (!Enabled) FOutput->Notify(LKMakeOperation<TLKIgnoreStreamOperation>());
      return hsHandled;
    }
    auto* pump = AOperation->As<TLKMasterPumpOperation>();
    if (!pump || pump->Sender() != FPumpOwner) return 0;
    if (FFirstRequest || pump->OperationID() != FLastOperationID) {
      FFirstRequest = false;
      FLastOperationID = pump->OperationID();
      ++FProduced;
      FKind == TKind::Int ? SendInts({FProduced}) : SendReals({double(FProduced)});
    }
    return hsHandled;
  }

  TLKPin* FOutput = nullptr;
  TKind FKind;
  bool FLogging;
  TObject* FPumpOwner = nullptr;
  double FPumpRate = 0;
  bool FFirstRequest = true;
  uint32_t FLastOperationID = 0;
  int FProduced = 0;
};

// A sink recording what arrives, on an input pin of the caller's class.
class TTestSink : public TLockComponent {
 public:
  template <typename TPin>
  static TTestSink* Make(TComponent* AOwner, const char* AName, bool ALogging = true) {
    auto* sink = TComponent::Create<TTestSink>(AOwner, ALogging);
    sink->SetName(AName);
    sink->FInput = new TPin(sink, sink->Lock(), sink->MakeHandler(), ALogging);
    sink->FInput->SetPinName("InputPin");
    return sink;
  }
  TTestSink(TComponent* AOwner, bool ALogging) : TLockComponent(AOwner), FLogging(ALogging) {}
  ~TTestSink() override { TObject::Free(FInput); }
  TLKPin* Input() const { return FInput; }

  bool Handles = true;     // answer handled
  bool TakesPump = false;  // take over pump requests
  uint32_t PumpPriority = 0;
  double GrantedRate = 0;
  std::function<void(TTestSink*, ILKNotifyOperation*)> OnOperation;  // runs inside the handler

  // Single-threaded records.
  std::vector<std::string> Ops;
  std::vector<double> Values;
  std::vector<TLKDispatchState> States;
  std::vector<bool> ConnectedAtDelivery;
  // Any thread.
  std::atomic<int> Count{0};

 private:
  TLKNotificationHandler MakeHandler() {
    return [this](TLKPin* APin, ILKBasicStream*, const TGUID&, ILKNotifyOperation* AOperation,
                  TLKDispatchState AState) -> TLKHandledSet {
      ++Count;
      if (FLogging) {
        Ops.push_back(OpName(AOperation));
        States.push_back(AState);
        ConnectedAtDelivery.push_back(APin->IsConnected());
        if (auto* reals = AOperation->As<TRealValues>()) Values.insert(Values.end(), reals->Value().begin(), reals->Value().end());
        if (auto* ints = AOperation->As<TIntValues>()) Values.insert(Values.end(), ints->Value().begin(), ints->Value().end());
      }
      if (auto* request = AOperation->As<TLKPumpRequestOperation>(); request && TakesPump)
        request->TakeOver(this, PumpPriority, GrantedRate);
      if (OnOperation) OnOperation(this, AOperation);
      return Handles ? hsHandled : 0;
    };
  }

  bool FLogging;
  TLKPin* FInput = nullptr;
};

// A pass-through filter: downstream operations leave through its output, upstream ones through
// its input, each with the state it came with.
class TTestFilter : public TLockComponent {
 public:
  explicit TTestFilter(TComponent* AOwner) : TLockComponent(AOwner) {
    FOutput = new TTestSourcePin(
        this, Lock(), -1, Handler([this](auto* op, auto state) { return FInput->NotifyWith(op, state) ? hsHandled : 0; }),
        false);
    FInput = new TTestUniversalSinkPin(
        this, Lock(), Handler([this](auto* op, auto state) { return FOutput->NotifyWith(op, state) ? hsHandled : 0; }),
        false);
  }
  ~TTestFilter() override {
    TObject::Free(FOutput);
    TObject::Free(FInput);
  }
  TLKPin* Input() const { return FInput; }
  TLKPin* Output() const { return FOutput; }

 private:
  TLKPin* FInput = nullptr;
  TLKPin* FOutput = nullptr;
};

// Integer vectors in, real vectors out; everything else passes unchanged.
class TTestIntToRealConverter : public TLKBasicFormatConverter {
 public:
  TTestIntToRealConverter() {
    ++gLiveConverters;
    auto* sink = new TLKDispatchSinkPin(this, Lock(), Handler([this](ILKNotifyOperation* op, TLKDispatchState state) {
                                          return SinkOperationEvent(op, state);
                                        }));
    sink->AddType(ITestIntStream::IID);
    auto* source = new TLKDispatchSourcePin(this, Lock(), Lock(), -1, SourceOperationHandler());
    source->AddType(ITestRealStream::IID);
    SetPins(sink, source);
  }
  ~TTestIntToRealConverter() override { --gLiveConverters; }

 private:
  TLKHandledSet SinkOperationEvent(ILKNotifyOperation* AOperation, TLKDispatchState AState) {
    if (auto* ints = AOperation->As<TIntValues>(); ints && !(AState & dsCurrentState)) {
      std::vector<double> reals(ints->Value().begin(), ints->Value().end());
      auto n = static_cast<uint32_t>(reals.size());
      return GetSourcePin()->Notify(LKMakeOperation<TRealValues>(std::move(reals), n)) ? hsHandled : 0;
    }
    return DoDispatch(GetSinkPin(), nullptr, ITestIntStream::IID, AOperation, AState);
  }
};

// Registers the test streams and the converter once per process.
inline void RegisterTestTypes() {
  static std::once_flag once;
  std::call_once(once, [] {
    static const TLKStreamTypeInfo infos[] = {
        LKStreamInfo<ITestIntStream>("ITestIntStream"),
        LKStreamInfo<ITestRealStream>("ITestRealStream"),
        LKStreamInfo<ITestRangedRealStream>("ITestRangedRealStream"),
        LKStreamInfo<ITestUniversalStream>("ITestUniversalStream", true),
        LKStreamInfo<ITestTextStream>("ITestTextStream"),
    };
    LKRegisterStreams(infos, static_cast<int32_t>(std::size(infos)));
    const TLKFormatConverterClass* classes[] = {LKConverterClass<TTestIntToRealConverter>("TTestIntToRealConverter")};
    LKRegisterTypeConverters(classes, 1);
  });
}

}  // namespace pinkit
