#include "PinsTestKit.h"

#include <mutex>

namespace pinkit {

std::atomic<int> gLiveConverters{0};

std::string OpName(ILKNotifyOperation* AOperation) {
  if (AOperation->IsType<TIntValues>()) return "ints";
  if (AOperation->IsType<TRealValues>()) return "reals";
  std::string name = ClassNameOf(*AOperation->GetInstance());
  // "TLKStopOperation" -> "Stop"
  if (name.rfind("TLK", 0) == 0) name = name.substr(3);
  if (name.size() > 9 && name.compare(name.size() - 9, 9, "Operation") == 0) name.resize(name.size() - 9);
  return name;
}

void RegisterTestTypes() {
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

// ---------------------------------------------------------------------------------------------

TTestSourcePin::TTestSourcePin(TComponent* AOwner, TIntf<IBasicLock> ALock, int32_t AMaxConnections,
                               TLKNotificationHandler AOperationEvent, bool ALogging)
    : TLKDispatchSourcePin(AOwner, ALock, ALock, AMaxConnections, std::move(AOperationEvent)), FLogging(ALogging) {
  AddType(ITestUniversalStream::IID);
  PopulateTypes();
}

bool TTestSourcePin::IntConnect(TLKPin* AOther, bool ANotifyAfter, const TGUID& ADataType) {
  if (FLogging) Log().push_back(GetFullName() + " connect " + AOther->GetFullName() + " " + LKStreamName(ADataType));
  return TLKDispatchSourcePin::IntConnect(AOther, ANotifyAfter, ADataType);
}

bool TTestSourcePin::IntConnectAfter(TLKPin* AOther) {
  if (FLogging) Log().push_back(GetFullName() + " after " + AOther->GetFullName());
  return TLKDispatchSourcePin::IntConnectAfter(AOther);
}

void TTestSourcePin::IntDisconnect(TLKPin* AOther, bool ADesignFormClosing) {
  if (FLogging) Log().push_back(GetFullName() + " disconnect " + AOther->GetFullName());
  NotifyPin(AOther, LKMakeOperation<TLKStopOperation>());
  TLKDispatchSourcePin::IntDisconnect(AOther, ADesignFormClosing);
}

void TTestSourcePin::BeforeDisconnect(TLKPin* AOther) {
  if (FLogging) Log().push_back(GetFullName() + " before " + AOther->GetFullName());
}

TTestSinkPin::TTestSinkPin(TComponent* AOwner, TIntf<IBasicLock> ALock, TLKNotificationHandler AHandler, bool ALogging)
    : TLKDispatchSinkPin(AOwner, std::move(ALock), std::move(AHandler)), FLogging(ALogging) {
  PopulateTypes();
}

bool TTestSinkPin::IntConnect(TLKPin* AOther, bool ANotifyAfter, const TGUID& ADataType) {
  if (FLogging) Log().push_back(GetFullName() + " connect " + AOther->GetFullName() + " " + LKStreamName(ADataType));
  return TLKDispatchSinkPin::IntConnect(AOther, ANotifyAfter, ADataType);
}

bool TTestSinkPin::IntConnectAfter(TLKPin* AOther) {
  if (FLogging) Log().push_back(GetFullName() + " after " + AOther->GetFullName());
  bool result = TLKDispatchSinkPin::IntConnectAfter(AOther);
  if (OnConnect) OnConnect(AOther);
  return result;
}

void TTestSinkPin::BeforeDisconnect(TLKPin* AOther) {
  if (FLogging) Log().push_back(GetFullName() + " before " + AOther->GetFullName());
}

// ---------------------------------------------------------------------------------------------

TTestGenerator::TTestGenerator(TComponent* AOwner, TKind AKind, int32_t AMaxConnections, bool ALogging)
    : TLockComponent(AOwner), FKind(AKind), FLogging(ALogging) {
  auto event = [this](TLKPin*, ILKBasicStream*, const TGUID&, ILKNotifyOperation* AOperation, TLKDispatchState) {
    return Upstream(AOperation);
  };
  switch (AKind) {
    case TKind::Int:
      FOutput = new TTestIntSourcePin(this, Lock(), AMaxConnections, event, ALogging);
      break;
    case TKind::Real:
      FOutput = new TTestRealSourcePin(this, Lock(), AMaxConnections, event, ALogging);
      break;
    case TKind::Ranged:
      FOutput = new TTestRangedSourcePin(this, Lock(), AMaxConnections, event, ALogging);
      break;
  }
  FOutput->SetPinName("OutputPin");
}

TTestGenerator::~TTestGenerator() { TObject::Free(FOutput); }

bool TTestGenerator::SendInts(std::vector<int32_t> AValues) {
  auto samples = static_cast<uint32_t>(AValues.size());
  return FOutput->Notify(LKMakeOperation<TIntValues>(std::move(AValues), samples));
}

bool TTestGenerator::SendReals(std::vector<double> AValues) {
  auto samples = static_cast<uint32_t>(AValues.size());
  return FOutput->Notify(LKMakeOperation<TRealValues>(std::move(AValues), samples));
}

void TTestGenerator::Start(double ARate) {
  TIntf<ILKNotifyOperation> request(new TLKPumpRequestOperation(this, TLKPumpRequestOperation::SamplePumpType,
                                                                PumpPriority, ARate));
  FOutput->Notify(request);
  auto* r = request->As<TLKPumpRequestOperation>();
  FPumpOwner = r->PumpOwner();
  FPumpRate = r->GrantedRate();
  FFirstRequest = true;
  if (FPumpOwner != this) FOutput->Notify(LKMakeOperation<TLKStartPumpOperation>(FPumpOwner));
}

TLKHandledSet TTestGenerator::Upstream(ILKNotifyOperation* AOperation) {
  ++UpstreamCount;
  if (FLogging) Log().push_back(Name() + " got " + OpName(AOperation));
  if (AOperation->IsType<TLKQueryStreamOperation>()) {
    if (!Enabled) FOutput->Notify(LKMakeOperation<TLKIgnoreStreamOperation>());
    return hsHandled;
  }
  if (auto* pump = AOperation->As<TLKMasterPumpOperation>()) {
    if (pump->Sender() != FPumpOwner) return 0;
    if (!FFirstRequest && pump->OperationID() == FLastOperationID) return hsHandled;
    FFirstRequest = false;
    FLastOperationID = pump->OperationID();
    ++FProduced;
    if (FKind == TKind::Int)
      SendInts({FProduced});
    else
      SendReals({double(FProduced)});
    return hsHandled;
  }
  return 0;
}

// ---------------------------------------------------------------------------------------------

TTestSink::~TTestSink() { TObject::Free(FInput); }

TLKNotificationHandler TTestSink::Handler() {
  return [this](TLKPin* APin, ILKBasicStream*, const TGUID&, ILKNotifyOperation* AOperation,
                TLKDispatchState AState) -> TLKHandledSet {
    ++Count;
    if (FLogging) {
      Ops.push_back(OpName(AOperation));
      States.push_back(AState);
      ConnectedAtDelivery.push_back(APin->IsConnected());
      if (auto* reals = AOperation->As<TRealValues>())
        for (double v : reals->Value()) Values.push_back(v);
      if (auto* ints = AOperation->As<TIntValues>())
        for (int32_t v : ints->Value()) Values.push_back(v);
    }
    if (auto* request = AOperation->As<TLKPumpRequestOperation>(); request && TakesPump)
      request->TakeOver(this, PumpPriority, GrantedRate);
    if (OnOperation) OnOperation(this, AOperation);
    return Handles ? hsHandled : 0;
  };
}

TTestFilter::TTestFilter(TComponent* AOwner, bool ALogging) : TLockComponent(AOwner) {
  FOutput = new TTestSourcePin(
      this, Lock(), -1,
      [this](TLKPin*, ILKBasicStream*, const TGUID&, ILKNotifyOperation* AOperation, TLKDispatchState AState) {
        return FInput->NotifyWith(AOperation, AState) ? hsHandled : 0;
      },
      ALogging);
  FInput = new TTestUniversalSinkPin(
      this, Lock(),
      [this](TLKPin*, ILKBasicStream*, const TGUID&, ILKNotifyOperation* AOperation, TLKDispatchState AState) {
        return FOutput->NotifyWith(AOperation, AState) ? hsHandled : 0;
      },
      ALogging);
  FOutput->SetPinName("OutputPin");
  FInput->SetPinName("InputPin");
}

TTestFilter::~TTestFilter() {
  TObject::Free(FOutput);
  TObject::Free(FInput);
}

TTestIntToRealConverter::TTestIntToRealConverter() {
  ++gLiveConverters;
  auto* sink = new TLKDispatchSinkPin(this, Lock(),
                                      [this](TLKPin* APin, ILKBasicStream* AStream, const TGUID& ADataType,
                                             ILKNotifyOperation* AOperation, TLKDispatchState AState) {
                                        return SinkOperationEvent(APin, AStream, ADataType, AOperation, AState);
                                      });
  sink->AddType(ITestIntStream::IID);
  auto* source = new TLKDispatchSourcePin(this, Lock(), Lock(), -1, SourceOperationHandler());
  source->AddType(ITestRealStream::IID);
  SetPins(sink, source);
}

TTestIntToRealConverter::~TTestIntToRealConverter() { --gLiveConverters; }

TLKHandledSet TTestIntToRealConverter::SinkOperationEvent(TLKPin* APin, ILKBasicStream* AStream,
                                                          const TGUID& ADataType, ILKNotifyOperation* AOperation,
                                                          TLKDispatchState AState) {
  if (auto* ints = AOperation->As<TIntValues>(); ints && !(AState & dsCurrentState)) {
    std::vector<double> reals(ints->Value().begin(), ints->Value().end());
    auto samples = static_cast<uint32_t>(reals.size());
    return GetSourcePin()->Notify(LKMakeOperation<TRealValues>(std::move(reals), samples)) ? hsHandled : 0;
  }
  return DoDispatch(APin, AStream, ADataType, AOperation, AState);
}

}  // namespace pinkit
