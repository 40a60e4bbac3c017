// Small components for the pin tests: a generator, a pass-through filter, a sink, a master that
// pumps through several inputs, and an integer-to-real format converter.
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

// The test's event log; only single-threaded tests write it.
inline std::vector<std::string>& Log() {
  static std::vector<std::string> log;
  return log;
}

// The short name of an operation's class, for logs.
std::string OpName(ILKNotifyOperation* AOperation);

// Registers the test streams and the converter once per process.
void RegisterTestTypes();
// Converters alive now.
extern std::atomic<int> gLiveConverters;

// A source pin shaped like the library's: hooks logged, one stop to a sink before it goes.
class TTestSourcePin : public TLKDispatchSourcePin {
 public:
  TTestSourcePin(TComponent* AOwner, TIntf<IBasicLock> ALock, int32_t AMaxConnections,
                 TLKNotificationHandler AOperationEvent, bool ALogging = true);

 protected:
  bool IntConnect(TLKPin* AOther, bool ANotifyAfter, const TGUID& ADataType) override;
  bool IntConnectAfter(TLKPin* AOther) override;
  void IntDisconnect(TLKPin* AOther, bool ADesignFormClosing) override;
  void BeforeDisconnect(TLKPin* AOther) override;

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
  TTestSinkPin(TComponent* AOwner, TIntf<IBasicLock> ALock, TLKNotificationHandler AHandler, bool ALogging = true);
  // The connect event, run from IntConnectAfter.
  std::function<void(TLKPin* ASource)> OnConnect;

 protected:
  bool IntConnect(TLKPin* AOther, bool ANotifyAfter, const TGUID& ADataType) override;
  bool IntConnectAfter(TLKPin* AOther) override;
  void BeforeDisconnect(TLKPin* AOther) override;

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
// pump and produces one buffer per master-pump request.
class TTestGenerator : public TLockComponent {
 public:
  enum class TKind { Int, Real, Ranged };
  TTestGenerator(TComponent* AOwner, TKind AKind = TKind::Int, int32_t AMaxConnections = -1, bool ALogging = true);
  ~TTestGenerator() override;

  TLKPin* Output() const { return FOutput; }
  bool SendInts(std::vector<int32_t> AValues);
  bool SendReals(std::vector<double> AValues);

  // Asks downstream for a pump; when somebody took over, tells it with a start-pump.
  void Start(double ARate);
  TObject* PumpOwner() const { return FPumpOwner; }
  double PumpRate() const { return FPumpRate; }
  int Produced() const { return FProduced; }

  bool Enabled = true;
  uint32_t PumpPriority = 0;
  std::atomic<int> UpstreamCount{0};

 private:
  TLKHandledSet Upstream(ILKNotifyOperation* AOperation);

  TLKPin* FOutput;
  TKind FKind;
  bool FLogging;
  TObject* FPumpOwner = nullptr;
  double FPumpRate = 0;
  bool FFirstRequest = true;
  uint32_t FLastOperationID = 0;
  int FProduced = 0;
};

// A sink recording what arrives. Pin class chosen by the caller.
class TTestSink : public TLockComponent {
 public:
  template <typename TPin>
  static TTestSink* Make(TComponent* AOwner, const char* AName, bool ALogging = true) {
    auto* sink = TComponent::Create<TTestSink>(AOwner, ALogging);
    sink->SetName(AName);
    sink->FInput = new TPin(sink, sink->Lock(), sink->Handler(), ALogging);
    sink->FInput->SetPinName("InputPin");
    return sink;
  }
  TTestSink(TComponent* AOwner, bool ALogging) : TLockComponent(AOwner), FLogging(ALogging) {}
  ~TTestSink() override;

  TLKPin* Input() const { return FInput; }
  TLKNotificationHandler Handler();

  bool Handles = true;            // answer handled
  bool TakesPump = false;         // take over pump requests
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
  bool FLogging;
  TLKPin* FInput = nullptr;
};

// A pass-through filter: downstream operations go out of its output, upstream ones out of its
// input.
class TTestFilter : public TLockComponent {
 public:
  TTestFilter(TComponent* AOwner, bool ALogging = false);
  ~TTestFilter() override;
  TLKPin* Input() const { return FInput; }
  TLKPin* Output() const { return FOutput; }

 private:
  TLKPin* FInput;
  TLKPin* FOutput;
};

// A converter from integer vectors to real vectors.
class TTestIntToRealConverter : public TLKBasicFormatConverter {
 public:
  TTestIntToRealConverter();
  ~TTestIntToRealConverter() override;

 private:
  TLKHandledSet SinkOperationEvent(TLKPin* APin, ILKBasicStream* AStream, const TGUID& ADataType,
                                   ILKNotifyOperation* AOperation, TLKDispatchState AState);
};

}  // namespace pinkit
