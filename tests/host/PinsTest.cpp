#include <gtest/gtest.h>

#include "PinsTestKit.h"

using namespace fundrel;
using namespace pinkit;

namespace {

class Pins : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterTestTypes();
    Log().clear();
  }
  void TearDown() override {
    TObject::Free(FRoot);
    EXPECT_EQ(gLiveConverters.load(), 0) << "a converter outlived its connection";
  }
  TTestGenerator* Gen(const char* AName, TTestGenerator::TKind AKind = TTestGenerator::TKind::Int,
                      int32_t AMax = -1) {
    auto* g = TComponent::Create<TTestGenerator>(FRoot, AKind, AMax);
    g->SetName(AName);
    return g;
  }
  TComponent* FRoot = TComponent::Create<TComponent>(nullptr);
};

TEST_F(Pins, ConnectRunsHooksInOrderAndDisconnectSendsOneStopBeforeTheLinkGoes) {
  TTestGenerator* gen = Gen("Gen");
  TTestSink* sink = TTestSink::Make<TTestIntSinkPin>(FRoot, "Sink");
  ASSERT_TRUE(gen->Output()->Connect(sink->Input()));
  EXPECT_EQ(Log(), (std::vector<std::string>{"Gen.OutputPin connect Sink.InputPin ITestIntStream",
                                             "Sink.InputPin connect Gen.OutputPin ITestIntStream",
                                             "Gen.OutputPin after Sink.InputPin", "Sink.InputPin after Gen.OutputPin"}));
  EXPECT_TRUE(sink->Input()->IsConnectedTo(gen->Output()));
  EXPECT_EQ(sink->Input()->GetConnectedID(), ITestIntStream::IID);
  // Connecting again changes nothing.
  Log().clear();
  EXPECT_TRUE(sink->Input()->Connect(gen->Output()));
  EXPECT_TRUE(Log().empty());
  EXPECT_EQ(gen->Output()->ConnectionCount(), 1);

  sink->Input()->Disconnect(gen->Output());
  EXPECT_EQ(Log(), (std::vector<std::string>{"Sink.InputPin before Gen.OutputPin", "Gen.OutputPin before Sink.InputPin",
                                             "Gen.OutputPin disconnect Sink.InputPin"}));
  ASSERT_EQ(sink->Ops, std::vector<std::string>{"Stop"});
  EXPECT_TRUE(sink->ConnectedAtDelivery[0]) << "the stop must arrive while the link exists";
  EXPECT_FALSE(sink->Input()->IsConnected());
  EXPECT_FALSE(gen->Output()->IsConnected());
  EXPECT_FALSE(gen->SendInts({1}));
  EXPECT_EQ(sink->Ops.size(), 1u);
}

TEST_F(Pins, ConnectionLimitsAndSingleSourceSinks) {
  TTestGenerator* one = Gen("One", TTestGenerator::TKind::Int, 1);
  TTestGenerator* other = Gen("Other");
  TTestSink* a = TTestSink::Make<TTestIntSinkPin>(FRoot, "A");
  TTestSink* b = TTestSink::Make<TTestIntSinkPin>(FRoot, "B");
  one->Output()->Connect(a->Input());
  try {
    one->Output()->Connect(b->Input());
    FAIL() << "a source with a limit of 1 took a second sink";
  } catch (const EGVException& e) {
    EXPECT_NE(std::string(e.what()).find("One.OutputPin takes at most 1"), std::string::npos) << e.what();
  }
  EXPECT_FALSE(b->Input()->IsConnected());

  // A sink with one source trades its old source for the new one, with a stop from the old.
  a->Ops.clear();
  other->Output()->Connect(a->Input());
  EXPECT_EQ(a->Input()->ConnectedPins(), std::vector<TLKPin*>{other->Output()});
  EXPECT_FALSE(one->Output()->IsConnected());
  EXPECT_EQ(a->Ops, std::vector<std::string>{"Stop"});

  // Two sources or two sinks never connect.
  EXPECT_THROW(one->Output()->Connect(other->Output()), EGVException);
  EXPECT_THROW(a->Input()->Connect(b->Input()), EGVException);

  // An unlimited source fans out; Notify reaches all in connection order.
  other->Output()->Connect(b->Input());
  EXPECT_EQ(other->Output()->ConnectedPins(), (std::vector<TLKPin*>{a->Input(), b->Input()}));
}

TEST_F(Pins, NegotiationPrefersTheSinksOrderAcceptsDescendantsAndNamesBothPinsWhenItFails) {
  TTestGenerator* ranged = Gen("Ranged", TTestGenerator::TKind::Ranged);  // offers ranged real, text
  TTestSink* textReal = TTestSink::Make<TTestTextRealSinkPin>(FRoot, "TextReal");
  ranged->Output()->Connect(textReal->Input());
  EXPECT_EQ(textReal->Input()->GetConnectedID(), ITestTextStream::IID) << "the sink's first exact match wins";

  // A real sink takes the ranged stream, which travels as the more specific type; a class
  // without its own declaration inherits its base's.
  TTestSink* real = TTestSink::Make<TTestRealSinkPin2>(FRoot, "Real");
  ranged->Output()->Connect(real->Input());
  EXPECT_EQ(real->Input()->GetConnectedID(), ITestRangedRealStream::IID);
  EXPECT_EQ(real->Input()->GetTypes(), std::vector<TGUID>{ITestRealStream::IID});
  ranged->SendReals({2.5});
  EXPECT_EQ(real->Values, std::vector<double>{2.5});

  // A pin answers queries for its types and their ancestors, not for unrelated streams.
  EXPECT_TRUE(Supports<ITestRealStream>(static_cast<ILKBasicStream*>(ranged->Output())));
  EXPECT_TRUE(Supports<ILKDataStream>(static_cast<ILKBasicStream*>(ranged->Output())));
  EXPECT_FALSE(Supports<ITestIntStream>(static_cast<ILKBasicStream*>(ranged->Output())));

  // A universal sink takes the source's first specific type, not the shared universal one.
  TTestSink* any = TTestSink::Make<TTestUniversalSinkPin>(FRoot, "Any");
  ranged->Output()->Connect(any->Input());
  EXPECT_EQ(any->Input()->GetConnectedID(), ITestRangedRealStream::IID);

  // Both offer the universal stream, but that alone never connects a real source to an
  // integer sink; with no converter that way the error names both pins and their types, and
  // the sink keeps its old connection.
  TTestGenerator* ints = Gen("Ints");
  TTestSink* intSink = TTestSink::Make<TTestIntSinkPin>(FRoot, "IntSink");
  ints->Output()->Connect(intSink->Input());
  try {
    ranged->Output()->Connect(intSink->Input());
    FAIL() << "connected without a common type";
  } catch (const EGVException& e) {
    EXPECT_STREQ(e.what(),
                 "Cannot connect Ranged.OutputPin [ITestUniversalStream, ITestRangedRealStream, ITestTextStream] to "
                 "IntSink.InputPin [ITestIntStream]: no common stream type and no format converter");
  }
  EXPECT_TRUE(intSink->Input()->IsConnectedTo(ints->Output()));
}

TEST_F(Pins, ConverterIsInsertedBetweenAnIntegerSourceAndARealSinkAndGoesWithTheConnection) {
  TTestGenerator* gen = Gen("Gen");
  TTestSink* sink = TTestSink::Make<TTestRealSinkPin>(FRoot, "Sink");
  ASSERT_TRUE(gen->Output()->Connect(sink->Input()));
  EXPECT_EQ(gLiveConverters.load(), 1);
  // The hooks ran on the user's pins, each with the type at its end.
  EXPECT_EQ(Log(), (std::vector<std::string>{"Gen.OutputPin connect Sink.InputPin ITestIntStream",
                                             "Sink.InputPin connect Gen.OutputPin ITestRealStream",
                                             "Gen.OutputPin after Sink.InputPin", "Sink.InputPin after Gen.OutputPin"}));
  EXPECT_EQ(gen->Output()->ConnectedPins(), std::vector<TLKPin*>{sink->Input()});
  EXPECT_EQ(sink->Input()->ConnectedPins(), std::vector<TLKPin*>{gen->Output()});
  EXPECT_EQ(gen->Output()->GetConnectedID(), ITestIntStream::IID);
  EXPECT_EQ(gen->Output()->GetDownStreamID(), ITestRealStream::IID);
  EXPECT_EQ(sink->Input()->GetConnectedID(), ITestRealStream::IID);
  EXPECT_EQ(sink->Input()->GetDownStreamID(), ITestRealStream::IID);

  EXPECT_TRUE(gen->Output()->Notify(LKMakeOperation<TLKStartRateOperation>(8000.0)));
  EXPECT_TRUE(gen->SendInts({1, -2, 3}));
  EXPECT_EQ(sink->Ops, (std::vector<std::string>{"StartRate", "reals"}));
  EXPECT_EQ(sink->Values, (std::vector<double>{1.0, -2.0, 3.0}));

  // Upstream through the converter unchanged; the disabled generator's answer comes back down.
  gen->Enabled = false;
  EXPECT_TRUE(sink->Input()->Notify(LKMakeOperation<TLKQueryStreamOperation>()));
  EXPECT_EQ(Log().back(), "Gen got QueryStream");
  EXPECT_EQ(sink->Ops.back(), "IgnoreStream");

  sink->Ops.clear();
  Log().clear();
  gen->Output()->Disconnect(sink->Input());
  EXPECT_EQ(sink->Ops, std::vector<std::string>{"Stop"});
  EXPECT_EQ(Log(), (std::vector<std::string>{"Sink.InputPin before Gen.OutputPin", "Gen.OutputPin before Sink.InputPin",
                                             "Gen.OutputPin disconnect Sink.InputPin"}));
  EXPECT_EQ(gLiveConverters.load(), 0);
  EXPECT_FALSE(sink->Input()->IsConnected());
}

TEST_F(Pins, NotifyReachesEverySinkAndReportsWhetherAnyHandledIt) {
  TTestGenerator* gen = Gen("Gen");
  EXPECT_FALSE(gen->SendInts({1})) << "unconnected";
  TTestSink* a = TTestSink::Make<TTestIntSinkPin>(FRoot, "A");
  TTestSink* b = TTestSink::Make<TTestIntSinkPin>(FRoot, "B");
  gen->Output()->Connect(a->Input());
  gen->Output()->Connect(b->Input());
  a->Handles = b->Handles = false;
  EXPECT_FALSE(gen->SendInts({1}));
  a->Handles = true;
  EXPECT_TRUE(gen->SendInts({2}));
  EXPECT_EQ(b->Values, (std::vector<double>{1, 2})) << "a handled operation still reaches later sinks";

  // NotifyPin sends to one pin only, and to a pin that is not connected not at all.
  TTestSink* stranger = TTestSink::Make<TTestIntSinkPin>(FRoot, "Stranger");
  EXPECT_TRUE(gen->Output()->NotifyPin(a->Input(), LKMakeOperation<TLKStartOperation>()));
  EXPECT_FALSE(gen->Output()->NotifyPin(stranger->Input(), LKMakeOperation<TLKStartOperation>()));
  EXPECT_EQ(a->Ops.back(), "Start");
  EXPECT_EQ(b->Ops.back(), "ints");

  // Upstream from a sink reaches the source's operation event; its result comes back.
  EXPECT_TRUE(a->Input()->Notify(LKMakeOperation<TLKQueryStreamOperation>()));
  EXPECT_FALSE(a->Input()->Notify(LKMakeOperation<TLKStopOperation>()));
  EXPECT_EQ(gen->UpstreamCount.load(), 2);
}

TEST_F(Pins, StateFlagsTakeOverOnlyOnASingleConnectionAndCurrentStateOnRequest) {
  TTestGenerator* gen = Gen("Gen");
  TTestSink* a = TTestSink::Make<TTestIntSinkPin>(FRoot, "A");
  gen->Output()->Connect(a->Input());
  gen->SendInts({1});
  gen->Output()->NotifyWith(LKMakeOperation<TLKStartOperation>().get(), 0);
  ASSERT_EQ(a->States.size(), 2u);
  EXPECT_EQ(a->States[0], dsTakeOver) << "the only receiver may work in place";
  EXPECT_EQ(a->States[1], 0) << "the sender kept the buffer";

  TTestSink* b = TTestSink::Make<TTestIntSinkPin>(FRoot, "B");
  b->Input()->SetRequestsState(true);
  gen->Output()->Connect(b->Input());
  // A sink that asks for the state gets an empty request with the first flag on connect.
  ASSERT_EQ(b->Ops, std::vector<std::string>{"Notify"});
  EXPECT_EQ(b->States.back(), dsCurrentState);
  EXPECT_EQ(a->Ops.size(), 2u) << "the state request goes to the new sink only";

  gen->Output()->NotifyWith(LKMakeOperation<TLKStartOperation>().get(), dsTakeOver);
  EXPECT_EQ(a->States.back(), 0) << "two receivers: nobody takes the buffer over";
  EXPECT_EQ(b->States.back(), 0);

  b->Input()->RequestState();
  EXPECT_EQ(b->States.back(), dsCurrentState);
  EXPECT_EQ(b->Ops.size(), 3u);
}

TEST_F(Pins, OperationsAreRecognisedByClassAndCopiesShareTheirID) {
  TIntf<ILKNotifyOperation> rate = LKMakeOperation<TLKStartRateOperation>(44100.0);
  EXPECT_TRUE(rate->IsType<TLKStartOperation>());
  EXPECT_FALSE(rate->IsType<TLKStopOperation>());
  EXPECT_FALSE(LKMakeOperation<TLKEndStopOperation>()->IsType<TLKStopOperation>());
  TIntf<ILKNotifyOperation> single = LKMakeOperation<TLKTypedSuppliedOperation<float>>(1.5f);
  EXPECT_TRUE(single->IsType<TLKClockOperation>());
  EXPECT_TRUE(single->IsType<TLKSuppliedOperation>());
  EXPECT_FALSE(single->IsType<TLKTypedSuppliedOperation<double>>());
  auto* supplied = single->As<TLKSuppliedOperation>();
  EXPECT_EQ(supplied->ValueAs<double>(), nullptr);
  ASSERT_NE(supplied->ValueAs<float>(), nullptr);
  EXPECT_EQ(*supplied->ValueAs<float>(), 1.5f);
  EXPECT_EQ(supplied->Samples(), TLKClockOperation::DefaultSamples);
  // An interface value is reachable untyped.
  TIntf<ILKNotifyOperation> inner = LKMakeOperation<TLKStopOperation>();
  TIntf<ILKNotifyOperation> wrapped = LKMakeOperation<TLKTypedSuppliedOperation<TIntf<ILKNotifyOperation>>>(inner, 7);
  auto* w = wrapped->As<TLKSuppliedOperation>();
  EXPECT_EQ(w->ValueInterface(), static_cast<IInterface*>(inner.get()));
  EXPECT_EQ(w->Samples(), 7u);
  EXPECT_EQ(single->As<TLKSuppliedOperation>()->ValueInterface(), nullptr);

  TLKMasterPumpOperation first(nullptr), second(nullptr);
  TLKMasterPumpOperation copy(first);
  EXPECT_NE(first.OperationID(), second.OperationID());
  EXPECT_EQ(copy.OperationID(), first.OperationID());
}

TEST_F(Pins, PumpRequestIsTakenOverByTheStrongestDownstreamComponent) {
  TTestGenerator* gen = Gen("Gen");
  gen->PumpPriority = 1;
  // Unanswered: the generator is its own pump at the rate it asked for.
  gen->Start(100.0);
  EXPECT_EQ(gen->PumpOwner(), gen);
  EXPECT_EQ(gen->PumpRate(), 100.0);

  auto* filter = TComponent::Create<TTestFilter>(FRoot);
  TTestSink* weak = TTestSink::Make<TTestIntSinkPin>(FRoot, "Weak");
  TTestSink* strong = TTestSink::Make<TTestIntSinkPin>(FRoot, "Strong");
  TTestSink* late = TTestSink::Make<TTestIntSinkPin>(FRoot, "Late");
  gen->Output()->Connect(filter->Input());
  filter->Output()->Connect(weak->Input());
  filter->Output()->Connect(strong->Input());
  filter->Output()->Connect(late->Input());
  weak->TakesPump = strong->TakesPump = late->TakesPump = true;
  weak->PumpPriority = 0;   // below the sender: never
  strong->PumpPriority = 5;
  strong->GrantedRate = 50.0;
  late->PumpPriority = 5;   // equal to the recorded taker: the first keeps it
  late->GrantedRate = 25.0;
  gen->Start(100.0);
  EXPECT_EQ(gen->PumpOwner(), strong);
  EXPECT_EQ(gen->PumpRate(), 50.0);
  EXPECT_EQ(strong->Ops, (std::vector<std::string>{"PumpRequest", "StartPump"}));

  TLKPumpRequestOperation request(gen, 2, 1, 10.0);
  EXPECT_FALSE(request.TakeOver(weak, 0, 1.0));
  EXPECT_TRUE(request.TakeOver(strong, 1, 5.0)) << "equal to the sender's priority is enough";
  EXPECT_TRUE(request.TakeOver(strong, 1, 6.0)) << "the owner may change the granted rate";
  EXPECT_FALSE(request.TakeOver(late, 1, 7.0));
  EXPECT_TRUE(request.TakeOver(late, 2, 8.0));
  EXPECT_EQ(request.PumpOwner(), late);
  EXPECT_EQ(request.GrantedRate(), 8.0);
}

// A master with two inputs that takes any pump request and pumps one request through both.
class TTestMaster : public TLockComponent {
 public:
  explicit TTestMaster(TComponent* AOwner) : TLockComponent(AOwner) {
    for (auto*& input : FInputs) {
      input = new TTestUniversalSinkPin(
          this, Lock(),
          [this](TLKPin*, ILKBasicStream*, const TGUID&, ILKNotifyOperation* AOperation, TLKDispatchState) {
            if (auto* r = AOperation->As<TLKPumpRequestOperation>()) r->TakeOver(this, 10, 1000.0);
            if (AOperation->IsType<TLKStartPumpOperation>()) ++StartPumps;
            if (auto* v = AOperation->As<TIntValues>()) Received.push_back(v->Value().front());
            return hsHandled;
          },
          false);
    }
  }
  ~TTestMaster() override {
    for (auto* input : FInputs) TObject::Free(input);
  }
  TLKPin* Input(int AIndex) const { return FInputs[AIndex]; }
  // One request, sent as two copies sharing its ID.
  void Pump() {
    auto* original = new TLKMasterPumpOperation(this);
    TIntf<ILKNotifyOperation> first(original), second(new TLKMasterPumpOperation(*original));
    FInputs[0]->Notify(first);
    FInputs[1]->Notify(second);
  }
  int StartPumps = 0;
  std::vector<int> Received;

 private:
  TLKPin* FInputs[2];
};

TEST_F(Pins, MasterPumpOverTwoPathsProducesOneBufferPerRequest) {
  TTestGenerator* gen = Gen("Gen");
  auto* f1 = TComponent::Create<TTestFilter>(FRoot);
  auto* f2 = TComponent::Create<TTestFilter>(FRoot);
  auto* master = TComponent::Create<TTestMaster>(FRoot);
  gen->Output()->Connect(f1->Input());
  gen->Output()->Connect(f2->Input());
  f1->Output()->Connect(master->Input(0));
  f2->Output()->Connect(master->Input(1));
  gen->Start(100.0);
  EXPECT_EQ(gen->PumpOwner(), master);
  EXPECT_EQ(master->StartPumps, 2) << "one start-pump along each path";

  master->Pump();
  EXPECT_EQ(gen->Produced(), 1);
  EXPECT_EQ(master->Received, (std::vector<int>{1, 1})) << "the one buffer reaches both inputs";
  master->Pump();
  EXPECT_EQ(gen->Produced(), 2);
  // A request from somebody who is not the pump owner produces nothing.
  f1->Input()->Notify(LKMakeOperation<TLKMasterPumpOperation>(gen));
  EXPECT_EQ(gen->Produced(), 2);
}

TEST_F(Pins, HandlersMaySendBothWaysAndDisconnectInsideADelivery) {
  TTestGenerator* gen = Gen("Gen");
  gen->Enabled = false;
  TTestSink* sink = TTestSink::Make<TTestRealSinkPin>(FRoot, "Sink");  // through the converter
  gen->Output()->Connect(sink->Input());
  int depth = 0;
  std::vector<std::string> seen;
  sink->OnOperation = [&](TTestSink* s, ILKNotifyOperation* op) {
    ++depth;
    seen.push_back(OpName(op) + "@" + std::to_string(depth));
    if (op->IsType<TRealValues>()) {
      // Ask upstream while the buffer is being delivered; the answer arrives inside this call.
      EXPECT_TRUE(s->Input()->Notify(LKMakeOperation<TLKQueryStreamOperation>()));
      // Then leave: the stop comes inside this call too; the converter goes after the delivery.
      s->Input()->DisconnectAll();
      EXPECT_EQ(gLiveConverters.load(), 1);
    }
    --depth;
  };
  EXPECT_TRUE(gen->SendInts({4}));
  EXPECT_EQ(seen, (std::vector<std::string>{"reals@1", "IgnoreStream@2", "Stop@2"}));
  EXPECT_EQ(gLiveConverters.load(), 0);
  EXPECT_FALSE(gen->Output()->IsConnected());
  EXPECT_FALSE(gen->SendInts({5}));
  sink->OnOperation = nullptr;
}

TEST_F(Pins, AHandlerMayDisconnectASiblingOfTheDeliveryItRunsIn) {
  TTestGenerator* gen = Gen("Gen");
  TTestSink* first = TTestSink::Make<TTestIntSinkPin>(FRoot, "First");
  TTestSink* second = TTestSink::Make<TTestRealSinkPin>(FRoot, "Second");  // through a converter
  gen->Output()->Connect(first->Input());
  gen->Output()->Connect(second->Input());
  first->OnOperation = [&](TTestSink*, ILKNotifyOperation* op) {
    if (op->IsType<TIntValues>()) second->Input()->DisconnectAll();
  };
  gen->SendInts({1});
  // The converter outlived the delivery that still walked past it, and passed nothing on.
  EXPECT_EQ(second->Ops, std::vector<std::string>{"Stop"});
  EXPECT_EQ(gLiveConverters.load(), 0);
  EXPECT_EQ(gen->Output()->ConnectedPins(), std::vector<TLKPin*>{first->Input()});
  first->OnOperation = nullptr;
}

TEST_F(Pins, DestroyingAComponentDisconnectsItsPinsWhileItIsWhole) {
  TTestGenerator* gen = Gen("Gen");
  TTestSink* sink = TTestSink::Make<TTestRealSinkPin>(FRoot, "Sink");
  gen->Output()->Connect(sink->Input());
  Log().clear();
  TObject::Free(gen);
  EXPECT_EQ(sink->Ops.back(), "Stop") << "the dying generator's pin still ran its own disconnect hook";
  EXPECT_EQ(Log().back(), "Gen.OutputPin disconnect Sink.InputPin");
  EXPECT_FALSE(sink->Input()->IsConnected());
  EXPECT_EQ(gLiveConverters.load(), 0);

  // The other way round: the sink goes, the generator sends to nobody.
  TTestGenerator* gen2 = Gen("Gen2");
  TTestSink* sink2 = TTestSink::Make<TTestIntSinkPin>(FRoot, "Sink2");
  gen2->Output()->Connect(sink2->Input());
  TObject::Free(sink2);
  EXPECT_FALSE(gen2->Output()->IsConnected());
  EXPECT_FALSE(gen2->SendInts({1}));
}

TEST_F(Pins, DefaultHandlersServeSendingPinsWithoutTheirOwn) {
  TTestGenerator* gen = Gen("Gen", TTestGenerator::TKind::Real);
  TTestSink* sink = TTestSink::Make<TTestRealSinkPin>(FRoot, "Sink");
  TLKPin* sender = nullptr;
  LKRegisterDefaultHandler(ITestRealStream::IID, [&](TLKPin* ASender, TLKPin*, ILKBasicStream* AStream,
                                                     const TGUID& AType, ILKNotifyOperation* AOperation,
                                                     TLKDispatchState AState) {
    sender = ASender;
    // Halve every rate on the way, as a channel source does for wider samples.
    if (auto* rate = AOperation->As<TLKStartRateOperation>()) {
      TIntf<ILKNotifyOperation> halved = LKMakeOperation<TLKStartRateOperation>(rate->Rate() / 2);
      return AStream->DispatchData(ASender, AType, halved.get(), AState);
    }
    return AStream->DispatchData(ASender, AType, AOperation, AState);
  });
  gen->Output()->Connect(sink->Input());
  LKRegisterDefaultHandler(ITestRealStream::IID, {});
  std::vector<double> rates;
  sink->OnOperation = [&](TTestSink*, ILKNotifyOperation* op) {
    if (auto* r = op->As<TLKStartRateOperation>()) rates.push_back(r->Rate());
  };
  gen->Output()->Notify(LKMakeOperation<TLKStartRateOperation>(8000.0));
  EXPECT_EQ(sender, gen->Output());
  EXPECT_EQ(rates, std::vector<double>{4000.0}) << "picked up at connect time";
  // The connection keeps the handler it picked up, which refers to this frame.
  gen->Output()->DisconnectAll();
  sink->OnOperation = nullptr;
}

TEST_F(Pins, ClockTypedAndListSinkPins) {
  auto* owner = TComponent::Create<TLockComponent>(FRoot);
  std::vector<uint32_t> ticks;
  std::vector<std::string> others;
  auto* clockIn = new TLKClockMultiSinkPin(
      owner, owner->Lock(), [&](TLKPin*, uint32_t ASamples) { ticks.push_back(ASamples); },
      [&](TLKPin*, ILKBasicStream*, const TGUID&, ILKNotifyOperation* AOperation, TLKDispatchState) {
        others.push_back(OpName(AOperation));
        return TLKHandledSet(0);
      });
  auto* clockOut = new TLKClockSourcePin(owner, owner->Lock(), nullptr, -1, {});
  clockOut->Connect(clockIn);
  EXPECT_EQ(clockIn->GetConnectedID(), ILKClockStream::IID);
  EXPECT_TRUE(clockOut->SendClock(64));
  // Supplied data is a tick of its sample count; anything else goes to the handler.
  EXPECT_TRUE(clockOut->Notify(LKMakeOperation<TRealValues>(std::vector<double>(3), 3)));
  EXPECT_FALSE(clockOut->Notify(LKMakeOperation<TLKStopOperation>()));
  EXPECT_EQ(ticks, (std::vector<uint32_t>{64, 3}));
  EXPECT_EQ(others, std::vector<std::string>{"Stop"});

  std::vector<double> values;
  auto* realIn = new TLKTypedSinkPin<double>(owner, owner->Lock(),
                                             [&](TLKTypedSinkPin<double>*, const double& v) { values.push_back(v); });
  auto* realOut = new TLKDispatchSourcePin(owner, owner->Lock(), nullptr, -1, {});
  realOut->AddType(ILKRealStream::IID);
  realOut->Connect(realIn);
  EXPECT_TRUE(realOut->Notify(LKMakeOperation<TLKTypedSuppliedOperation<double>>(0.25)));
  EXPECT_FALSE(realOut->Notify(LKMakeOperation<TLKTypedSuppliedOperation<float>>(0.5f))) << "a float is no double";
  EXPECT_EQ(values, std::vector<double>{0.25});
  EXPECT_EQ(realIn->GetValue(), 0.25);
  // Lists: the first after connecting and after a stop is marked.
  std::vector<std::string> lists;
  auto* listIn = new TLKTypedListSinkPin<double>(
      owner, owner->Lock(), [&](TLKTypedListSinkPin<double>*, const std::vector<double>& AValues, bool AFirst) {
        lists.push_back(std::to_string(AValues.size()) + (AFirst ? " first" : ""));
      });
  auto* listOut = new TLKDispatchSourcePin(owner, owner->Lock(), nullptr, -1, {});
  listOut->AddType(ILKRealListStream::IID);
  listOut->Connect(listIn);
  for (size_t n : {5, 2}) listOut->Notify(LKMakeOperation<TRealValues>(std::vector<double>(n)));
  listOut->Notify(LKMakeOperation<TLKStopOperation>());
  listOut->Notify(LKMakeOperation<TRealValues>(std::vector<double>(1)));
  EXPECT_EQ(lists, (std::vector<std::string>{"5 first", "2", "1 first"}));
  for (TLKPin* p : {static_cast<TLKPin*>(clockIn), static_cast<TLKPin*>(clockOut), static_cast<TLKPin*>(realIn),
                    static_cast<TLKPin*>(realOut), static_cast<TLKPin*>(listIn), static_cast<TLKPin*>(listOut)})
    TObject::Free(p);
}

TEST_F(Pins, PinListsAndFunctionSources) {
  auto* owner = TComponent::Create<TLockComponent>(FRoot);
  int destroyed = 0;
  auto* list = new TLKPinList([owner] { return new TTestIntSinkPin(owner, owner->Lock(), {}, false); },
                              [&destroyed](TLKPin* p) {
                                ++destroyed;
                                TObject::Free(p);
                              });
  auto* output = new TTestSourcePin(owner, owner->Lock(), -1, {}, false);
  TLKPin* first = list->FreePin();
  EXPECT_EQ(list->FreePin(), first) << "an unconnected pin is reused";
  TTestGenerator* gen = Gen("Gen");
  gen->Output()->Connect(first);
  TLKPin* second = list->FreePin();
  EXPECT_NE(second, first);
  EXPECT_EQ(list->Count(), 2);
  output->AddFunctionSource(first);
  output->AddFunctionSource(second);
  output->AddFunctionSource(second);
  EXPECT_EQ(output->GetFunctionSources(), (std::vector<TLKPin*>{first, second}));

  list->Remove(first);
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(output->GetFunctionSources(), std::vector<TLKPin*>{second}) << "a destroyed pin leaves the list";
  EXPECT_FALSE(gen->Output()->IsConnected());
  EXPECT_THROW(list->Items(1), ERangeError);
  list->Clear();
  EXPECT_EQ(destroyed, 2);
  EXPECT_TRUE(output->GetFunctionSources().empty());
  delete list;
  TObject::Free(output);
}

TEST_F(Pins, ShortNamesAndConnectAfter) {
  TTestGenerator* gen = Gen("Gen");
  EXPECT_EQ(gen->Output()->MakeShortName("RawOutputPin"), "RawOutput");
  EXPECT_EQ(gen->Output()->MakeShortName("Pin"), "Pin");

  // Restoring connections: every link first, the after-hooks once both ends exist.
  TTestSink* sink = TTestSink::Make<TTestIntSinkPin>(FRoot, "Sink");
  EXPECT_TRUE(sink->Input()->Connect(gen->Output(), true));
  EXPECT_EQ(Log().size(), 2u);
  EXPECT_TRUE(sink->Input()->ConnectAfter(gen->Output()));
  EXPECT_EQ(Log().back(), "Sink.InputPin after Gen.OutputPin");
}

// A source that remembers the last range it sent and gives it to sinks that connect later,
// until a stop.
class TRangedSourcePin : public TLKDispatchSourcePin {
 public:
  TRangedSourcePin(TComponent* AOwner, TIntf<IBasicLock> ALock)
      : TLKDispatchSourcePin(AOwner, ALock, ALock, -1, {}) {
    AddType(ITestRealStream::IID);
  }
  using TLKDispatchSourcePin::Notify;
  bool Notify(ILKNotifyOperation* AOperation) override {
    if (AOperation->IsType<TLKTypedSuppliedRangeOperation<double>>())
      TLockAccess::Execute(DataLock(), [&] { FRange = AOperation; });
    if (AOperation->IsType<TLKStopOperation>()) TLockAccess::Execute(DataLock(), [&] { FRange.reset(); });
    return TLKDispatchSourcePin::Notify(AOperation);
  }

 protected:
  bool IntConnect(TLKPin* AOther, bool ANotifyAfter, const TGUID& ADataType) override {
    bool result = TLKDispatchSourcePin::IntConnect(AOther, ANotifyAfter, ADataType);
    TIntf<ILKNotifyOperation> range = TLockAccess::Execute(DataLock(), [&] { return FRange; });
    if (range) NotifyPin(AOther, range);  // sent outside the data section
    return result;
  }

 private:
  TIntf<ILKNotifyOperation> FRange;
};

TEST_F(Pins, ALateSinkGetsTheRangeFromTheConnectHookAndItsConnectEventMayConnectAnother) {
  auto* owner = TComponent::Create<TLockComponent>(FRoot);
  auto* source = new TRangedSourcePin(owner, owner->Lock());
  source->Notify(LKMakeOperation<TLKTypedSuppliedRangeOperation<double>>(-1.0, 1.0));
  TTestSink* late = TTestSink::Make<TTestRealSinkPin>(FRoot, "Late");
  TTestSink* later = TTestSink::Make<TTestRealSinkPin>(FRoot, "Later");
  static_cast<TTestSinkPin*>(late->Input())->OnConnect = [&](TLKPin* ASource) { ASource->Connect(later->Input()); };
  source->Connect(late->Input());
  EXPECT_EQ(late->Ops, std::vector<std::string>{"TypedSuppliedRangeOperation<double>"});
  EXPECT_EQ(later->Ops, std::vector<std::string>{"TypedSuppliedRangeOperation<double>"});
  EXPECT_EQ(source->ConnectionCount(), 2);

  source->Notify(LKMakeOperation<TLKStopOperation>());
  TTestSink* afterStop = TTestSink::Make<TTestRealSinkPin>(FRoot, "AfterStop");
  source->Connect(afterStop->Input());
  EXPECT_TRUE(afterStop->Ops.empty());
  TObject::Free(source);
}

// A real sink that accepts any stream while it connects (a universal input that adopts what its
// source sends).
class TAcceptAllSinkPin : public TTestRealSinkPin {
 public:
  using TTestRealSinkPin::TTestRealSinkPin;
  bool IsUniversal() const override { return FAcceptAll > 0 || TTestRealSinkPin::IsUniversal(); }

 protected:
  bool IntConnectSourcePin(TLKPin* ASource, bool ANotifyAfter) override {
    ++FAcceptAll;
    try {
      bool result = TTestRealSinkPin::IntConnectSourcePin(ASource, ANotifyAfter);
      --FAcceptAll;
      return result;
    } catch (...) {
      --FAcceptAll;
      throw;
    }
  }

 private:
  int32_t FAcceptAll = 0;
};

TEST_F(Pins, RetypingAndReconnectingAConnection) {
  // Connected from the source's side, the sink's widening still applies: no converter.
  TTestGenerator* gen = Gen("Gen");
  TTestSink* adopt = TTestSink::Make<TAcceptAllSinkPin>(FRoot, "Adopt");
  gen->Output()->Connect(adopt->Input());
  EXPECT_EQ(gLiveConverters.load(), 0);
  EXPECT_EQ(adopt->Input()->GetConnectedID(), ITestIntStream::IID);
  gen->SendInts({7});
  EXPECT_EQ(adopt->Ops.back(), "ints");

  // Negotiated again without the widening, the connection is remade through a converter.
  adopt->Ops.clear();
  Log().clear();
  adopt->Input()->ChainReconnect();
  EXPECT_EQ(adopt->Ops, (std::vector<std::string>{"Stop"}));
  EXPECT_EQ(Log().at(2), "Gen.OutputPin disconnect Adopt.InputPin");
  EXPECT_EQ(gLiveConverters.load(), 1);
  EXPECT_EQ(adopt->Input()->GetConnectedID(), ITestRealStream::IID);
  Log().clear();
  adopt->Input()->ChainReconnect();
  EXPECT_TRUE(Log().empty()) << "an unchanged outcome leaves the connection alone";
  EXPECT_FALSE(adopt->Input()->SetDataTypeFor(gen->Output(), ITestIntStream::IID)) << "not through a converter";

  // Retyping a direct connection picks a type both sides take, descendants included.
  TTestGenerator* ranged = Gen("Ranged", TTestGenerator::TKind::Ranged);
  TTestSink* textReal = TTestSink::Make<TTestTextRealSinkPin>(FRoot, "TextReal");
  ranged->Output()->Connect(textReal->Input());
  EXPECT_EQ(textReal->Input()->GetConnectedID(), ITestTextStream::IID);
  EXPECT_FALSE(textReal->Input()->SetDataTypeFor(ranged->Output(), ITestIntStream::IID));
  EXPECT_TRUE(textReal->Input()->SetDataTypeFor(ranged->Output(), ITestRealStream::IID));
  EXPECT_EQ(textReal->Input()->GetConnectedID(), ITestRealStream::IID);
  EXPECT_EQ(ranged->Output()->GetDownStreamID(), ITestRealStream::IID);
  TGUID seen;
  textReal->OnOperation = [&](TTestSink*, ILKNotifyOperation*) { seen = textReal->Input()->GetConnectedID(); };
  ranged->SendReals({1.0});
  EXPECT_EQ(seen, ITestRealStream::IID);
  textReal->OnOperation = nullptr;
}

}  // namespace
