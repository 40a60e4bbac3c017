// Pins: the connection points of components, their connections and the synchronous dispatch of
// operations through them.
//
// A source pin sends downstream to any number of sink pins (up to its maximum, -1 for no limit);
// a sink pin has one source (a multi sink pin several) and sends upstream. Notify runs on the
// calling thread: a source offers the operation to every connected sink, a sink to its
// source(s); the result says whether any receiver handled it.
//
// Types. A pin lists the stream types it offers (source) or accepts (sink), in order, with a
// handler each: AddType from constructors, PopulateTypes for the types its class declares with
// FUNDREL_LK_DATA_TYPES (a class without a declaration inherits its base's). The list is fixed
// once the pin is first connected or queried; adding types afterwards is a programming error.
//
// Connecting (either pin's Connect; negotiation rules in docs/ARCHITECTURE.md): the pins share
// a specific type, or a registered format converter is put between them, owned by the
// connection and freed when it goes, or one of them is universal; otherwise EGVException names
// both pins and their types. Hooks run on the user's two pins, with the link already usable:
// IntConnect (source, then sink), IntConnectAfter (source, then sink); on disconnect
// BeforeDisconnect (sink, then source), then the source's IntDisconnect, whose base step removes
// the link.
//
// Threads and lifetimes. Connections are published as immutable snapshots: Notify walks one
// without taking any lock, so handlers run with no framework lock held. Topology changes
// (connect, disconnect, destroy) are serialised by one process-wide re-entrant topology lock,
// held while the hooks run (and while the operations they send are handled); they wait until
// deliveries already under way on the affected pins have returned, so once Disconnect returns no
// operation reaches the old peer, and a destroyed pin is never called again. A pin disconnects
// itself when its owner component begins to die (before any destructor of the owner runs) and
// when it is destroyed. Neither may happen from a handler whose delivery may still reach the
// pin being destroyed (an assertion). A handler may disconnect: the delivery it runs in finishes
// on the old snapshot (so a direct peer disconnected by a sibling's handler may still get it),
// and what that snapshot refers to is freed when the thread's outermost delivery returns.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <vector>

#include "host/LKOperations.h"
#include "host/LKStdTypes.h"
#include "host/Quenra.Classes.h"
#include "host/Quenra.Containers.h"
#include "host/Quenra.Elements.h"
#include "host/Quenra.Locks.h"
#include "host/Quenra.Threading.h"

namespace fundrel {

class TLKFormatConverter;

// Declares, inside a pin class, the stream types the class accepts or offers; PopulateTypes
// adds them. Descendants inherit the declaration unless they make their own.
#define FUNDREL_LK_DATA_TYPES(...)                                         \
  std::span<const ::fundrel::TGUID> DeclaredDataTypes() const override {  \
    static constexpr ::fundrel::TGUID types[] = {__VA_ARGS__};            \
    return types;                                                          \
  }

enum class TLKPinKind : uint8_t { Source, Sink };

namespace detail {
struct TLKLink;
struct TLKLinkSet;
}  // namespace detail

// One connection as a pin sees it.
struct TLKConnectionInfo {
  TLKPin* Pin;         // the user's pin at the other end
  TLKPin* Peer;        // the pin linked directly (a converter's inner pin when there is one)
  TGUID DataType;      // negotiated type at this end
  TGUID FarDataType;   // negotiated type at the other user pin's end (differs behind a converter)
  TLKFormatConverter* Converter;  // null for a direct connection
};

class FUNDREL_API TLKPin : public TPersistent, public ILKBasicStream {
 public:
  // AOwner owns the pin (never null); ALock is the lock the pin shares (the owner's, or one the
  // owner gives). AMaxConnections: -1 for no limit; a sink pin with 1 replaces its connection
  // when connected again.
  TLKPin(TComponent* AOwner, TIntf<IBasicLock> ALock, TLKPinKind AKind, int32_t AMaxConnections);
  ~TLKPin() override;
  // Disconnects everything (hooks run, ADesignFormClosing true) while the whole pin exists.
  void BeforeDestruction() override;

  // Pins are owned, not counted: the count calls do nothing. QueryInterface answers
  // ILKBasicStream and every type the pin has, with its ancestors.
  HRESULT QueryInterface(const TGUID& AIID, void** AObj) override;
  int32_t _AddRef() override { return -1; }
  int32_t _Release() override { return -1; }
  // Receiving: a sink pin calls the handler of ADataType (its exact type, else an ancestor,
  // else the pin's own handler) with itself as pin; a source pin calls its operation event.
  TLKHandledSet DispatchData(TLKPin* ASender, const TGUID& ADataType, ILKNotifyOperation* AOperation,
                             TLKDispatchState AState) override;

  TComponent* GetOwnerComponent() const { return FOwner; }
  TPersistent* GetOwner() const override { return FOwner; }
  IBasicLock* GetLock() const { return FLock.get(); }
  TLKPinKind Kind() const { return FKind; }
  bool IsSource() const { return FKind == TLKPinKind::Source; }
  bool IsSink() const { return FKind == TLKPinKind::Sink; }
  int32_t GetMaxConnections() const { return FMaxConnections; }

  // The pin's property name ("OutputPin"); main thread. Defaults to the class name.
  const String& GetPinName() const { return FPinName; }
  void SetPinName(const String& AName) { FPinName = AName; }
  // "Owner.PinName" (the owner's name or class name), for messages.
  String GetFullName() const;
  // A short display name from a property name: "OutputPin" gives "Output".
  virtual String MakeShortName(const String& APropName) const;

  // Types. AConnectable false: the type is handled when dispatched to the pin but never
  // negotiated (a pin that understands a stream without offering it).
  void AddType(const TGUID& AType, TLKNotificationHandler AHandler = {}, bool AConnectable = true);
  // Adds the types the pin's class declares (FUNDREL_LK_DATA_TYPES), in their order, at this
  // position in the list, with AHandler. Called from constructors; the class's declaration is
  // read once the object is complete.
  void PopulateTypes(TLKNotificationHandler AHandler = {}, bool AConnectable = true);
  // The connectable types, in order.
  std::vector<TGUID> GetTypes() const;
  // True when the pin has AType or a descendant of it (what QueryInterface answers).
  bool HasType(const TGUID& AType) const;
  // Universal: every connectable type is a universal stream. Such a pin connects to anything;
  // descendants may widen this (a sink accepting all while it reconnects).
  virtual bool IsUniversal() const;

  // Connecting. AOther must be of the other kind. Returns false when a hook refused (the link
  // is then removed without disconnect hooks); raises EGVException when the pins cannot connect
  // or the source has its maximum of connections. ANotifyAfter defers IntConnectAfter to
  // ConnectAfter (connections restored from a stream, made once both ends exist).
  bool Connect(TLKPin* AOther, bool ANotifyAfter = false);
  bool ConnectAfter(TLKPin* AOther);
  // Changes the type of the direct connection with AOther to AType when the source offers it
  // (or a descendant) and the sink accepts it (or an ancestor), or either is universal; false
  // otherwise and for a connection through a converter. The handlers are picked again.
  virtual bool SetDataTypeFor(TLKPin* AOther, const TGUID& AType);
  // Negotiates every connection of the pin again and remakes, with disconnect and connect hooks,
  // those whose outcome changed (a pin whose accepted types or universality changed).
  virtual void ChainReconnect();
  void Disconnect(TLKPin* AOther, bool ADesignFormClosing = false);
  void DisconnectAll(bool ADesignFormClosing = false);

  bool IsConnected() const;
  bool IsConnectedTo(const TLKPin* AOther) const;
  int32_t ConnectionCount() const;
  // The user's pins at the other ends, in connection order.
  std::vector<TLKPin*> ConnectedPins() const;
  // Calls AProc for each connection on a stable snapshot, no lock held; AProc may send.
  void ForEachConnection(const std::function<void(const TLKConnectionInfo&)>& AProc) const;
  // The negotiated type at this pin's end of its first connection (null when unconnected).
  TGUID GetConnectedID() const;
  // The type the downstream end of the first connection takes: for a source the far sink's
  // type (behind a converter, the converted type), for a sink its own.
  TGUID GetDownStreamID() const;

  // Sending. Notify offers AOperation to every connection (downstream from a source, upstream
  // from a sink) and returns true when any receiver handled it; false when unconnected. With
  // exactly one connection the receiver may take the buffer over (dsTakeOver); a sender that
  // reads its buffer after sending passes its own state to NotifyWith instead. dsTakeOver is
  // cleared there too when the pin has several connections.
  virtual bool Notify(ILKNotifyOperation* AOperation);
  bool Notify(const TIntf<ILKNotifyOperation>& AOperation) { return Notify(AOperation.get()); }
  bool NotifyWith(ILKNotifyOperation* AOperation, TLKDispatchState AState);
  // Sends to one connected pin only (the user's pin or the pin linked directly); false when
  // APin is not connected. Usable from IntConnect and IntDisconnect.
  bool NotifyPin(TLKPin* APin, ILKNotifyOperation* AOperation, TLKDispatchState AState = 0);
  bool NotifyPin(TLKPin* APin, const TIntf<ILKNotifyOperation>& AOperation, TLKDispatchState AState = 0) {
    return NotifyPin(APin, AOperation.get(), AState);
  }
  // A sink asks its source(s) for their current state: each source's sending handler gets an
  // empty operation with dsCurrentState, as on connect.
  bool RequestState();
  // Whether the framework asks the source for its current state when this sink connects.
  // Set by sink classes at construction.
  void SetRequestsState(bool AValue) { FRequestsState = AValue; }
  bool RequestsState() const { return FRequestsState; }

  // The function-source list of an output pin: the input pins its data depends on. Entries go
  // when either pin is destroyed. Main thread.
  void AddFunctionSource(TLKPin* APin);
  void RemoveFunctionSource(TLKPin* APin);
  std::vector<TLKPin*> GetFunctionSources() const;

 protected:
  // Hooks (see the header comment for their order). ADataType: the type at this pin's end.
  // Returning false refuses the connection.
  virtual bool IntConnect(TLKPin* AOther, bool ANotifyAfter, const TGUID& ADataType);
  virtual bool IntConnectAfter(TLKPin* AOther);
  // Called on the source; the base step removes the link, so operations sent before calling
  // it (a stop) still arrive. ADesignFormClosing: the disconnect comes from a pin's (or its
  // owner's) destruction.
  virtual void IntDisconnect(TLKPin* AOther, bool ADesignFormClosing);
  virtual void BeforeDisconnect(TLKPin* AOther);
  // The sink's step of every connection, whichever pin Connect was called on: negotiation,
  // linking and hooks. A sink that accepts more while it connects overrides it around the base.
  virtual bool IntConnectSourcePin(TLKPin* ASource, bool ANotifyAfter);
  // The stream types declared on the class (FUNDREL_LK_DATA_TYPES); none here.
  virtual std::span<const TGUID> DeclaredDataTypes() const { return {}; }

  // The pin-level handler: a sink's handler for types without one of their own, a source's
  // operation event for what its sinks send upstream. Set by constructors only.
  void SetHandler(TLKNotificationHandler AHandler) { FHandler = std::move(AHandler); }
  const TLKNotificationHandler& GetHandler() const { return FHandler; }

 private:
  friend class TLKFormatConverter;
  friend struct TLKPinAccess;

  struct TTypeEntry {
    TGUID ID;
    TLKNotificationHandler Handler;
    bool Connectable;
    bool Populate;  // placeholder for the class's declared types
  };

  void EnsureTypes() const;
  const TTypeEntry* FindEntry(const TGUID& AType) const;
  bool DeliverOn(const detail::TLKLink& ALink, ILKNotifyOperation* AOperation, TLKDispatchState AState);

  TComponent* FOwner;
  TIntf<IBasicLock> FLock;
  const TLKPinKind FKind;
  const int32_t FMaxConnections;
  bool FRequestsState = false;
  bool FDisconnected = false;  // BeforeDestruction ran
  String FPinName;
  TLKNotificationHandler FHandler;

  mutable std::vector<TTypeEntry> FTypes;
  mutable std::atomic<bool> FTypesFixed{false};

  // The published connections; null when unconnected. Readers enter FReaders[epoch].
  std::atomic<detail::TLKLinkSet*> FLinks{nullptr};
  mutable std::atomic<uint32_t> FEpoch{0};
  mutable std::atomic<uint32_t> FReaders[2] = {0, 0};
  mutable std::mutex FWriteMutex;  // one writer of FLinks at a time; guards FRetired
  std::vector<detail::TLKLinkSet*> FRetired;  // old snapshots still read by this thread

  std::vector<TLKPin*> FFunctionSources;
  std::vector<TLKPin*> FDependents;  // output pins whose function-source list holds this pin

  TWeakHolder FOwnerWeak;
  uint64_t FOwnerDeathSubscription = 0;
};

// Connects a source and a sink given in either order; see TLKPin::Connect.
FUNDREL_API bool LKConnect(TLKPin* A, TLKPin* B);

// A source pin whose sinks can send operations back to it (its operation event).
class FUNDREL_API TLKBasicDispatchSourcePin : public TLKPin {
 public:
  // AInputLock: the lock of the owner's input side (the owner lock for components with one
  // lock); kept for descendants and owners, not taken by the framework.
  TLKBasicDispatchSourcePin(TComponent* AOwner, TIntf<IBasicLock> ALock, TIntf<IBasicLock> AInputLock,
                            int32_t AMaxConnections, TLKNotificationHandler AOperationEvent);
  IBasicLock* GetInputLock() const { return FInputLock.get(); }

 private:
  TIntf<IBasicLock> FInputLock;
};

// A dispatch source pin with a data lock for its own fields, entered through
// TLockAccess::Execute(DataLock(), ...); callbacks and sends happen after leaving it.
class FUNDREL_API TLKDispatchSourcePin : public TLKBasicDispatchSourcePin {
 public:
  using TLKBasicDispatchSourcePin::TLKBasicDispatchSourcePin;
  ICriticalSection& DataLock() const { return *FDataLock; }

 private:
  TIntf<ICriticalSection> FDataLock{new TCriticalSection};
};

// A source pin that can drive clock sinks: it offers ILKClockStream, on which every operation
// passes unchanged (supplied data is a TLKClockOperation carrying its sample count).
class FUNDREL_API TLKClockSourcePin : public TLKDispatchSourcePin {
 public:
  TLKClockSourcePin(TComponent* AOwner, TIntf<IBasicLock> ALock, TIntf<IBasicLock> AInputLock,
                    int32_t AMaxConnections, TLKNotificationHandler AOperationEvent);
  // Sends a clock tick of ASamples.
  bool SendClock(uint32_t ASamples);
};

// A sink pin with one source; AHandler receives every operation for types without a handler.
class FUNDREL_API TLKDispatchSinkPin : public TLKPin {
 public:
  TLKDispatchSinkPin(TComponent* AOwner, TIntf<IBasicLock> ALock, TLKNotificationHandler AHandler);

 protected:
  TLKDispatchSinkPin(TComponent* AOwner, TIntf<IBasicLock> ALock, int32_t AMaxConnections,
                     TLKNotificationHandler AHandler);
};

// A sink pin with any number of sources; its upstream Notify reaches all of them.
class FUNDREL_API TLKDispatchMultiSinkPin : public TLKDispatchSinkPin {
 public:
  TLKDispatchMultiSinkPin(TComponent* AOwner, TIntf<IBasicLock> ALock, TLKNotificationHandler AHandler);
};

// Called with the clock pin and the tick's sample count.
using TLKClockEvent = std::function<void(TLKPin* APin, uint32_t ASamples)>;

// A multi sink on ILKClockStream: clock operations (TLKClockOperation and descendants) go to
// the clock event and count as handled, every other operation to the handler.
class FUNDREL_API TLKClockMultiSinkPin : public TLKDispatchMultiSinkPin {
 public:
  TLKClockMultiSinkPin(TComponent* AOwner, TIntf<IBasicLock> ALock, TLKClockEvent AClockEvent,
                       TLKNotificationHandler AHandler);
  TLKHandledSet DispatchData(TLKPin* ASender, const TGUID& ADataType, ILKNotifyOperation* AOperation,
                             TLKDispatchState AState) override;

 private:
  TLKClockEvent FClockEvent;
};

// The scalar stream of a value type; specialise for further types.
template <typename T>
struct TLKScalarStream;
template <>
struct TLKScalarStream<double> {
  static constexpr TGUID IID = ILKRealStream::IID;
};
template <>
struct TLKScalarStream<float> {
  static constexpr TGUID IID = ILKFloatStream::IID;
};
template <>
struct TLKScalarStream<String> {
  static constexpr TGUID IID = ILKStringStream::IID;
};

// A sink of single values of T: each TLKTypedSuppliedOperation<T> is kept as the pin's value
// and passed to the data-change event (and counts as handled); other operations go to the
// optional handler.
template <typename T>
class TLKTypedSinkPin : public TLKDispatchSinkPin {
 public:
  using TDataChangeEvent = std::function<void(TLKTypedSinkPin* APin, const T& AValue)>;

  TLKTypedSinkPin(TComponent* AOwner, TIntf<IBasicLock> ALock, TDataChangeEvent AOnDataChange,
                  TLKNotificationHandler AHandler = {})
      : TLKDispatchSinkPin(AOwner, std::move(ALock), std::move(AHandler)), FOnDataChange(std::move(AOnDataChange)) {
    AddType(TLKScalarStream<T>::IID);
  }

  TLKHandledSet DispatchData(TLKPin* ASender, const TGUID& ADataType, ILKNotifyOperation* AOperation,
                             TLKDispatchState AState) override {
    if (!(AState & dsCurrentState)) {
      if (auto* supplied = AOperation->As<TLKTypedSuppliedOperation<T>>()) {
        {
          std::lock_guard<std::mutex> guard(FValueMutex);
          FValue = supplied->Value();
        }
        if (FOnDataChange) FOnDataChange(this, supplied->Value());
        return hsHandled;
      }
    }
    return TLKDispatchSinkPin::DispatchData(ASender, ADataType, AOperation, AState);
  }

  // The last value received (T() before the first).
  T GetValue() const {
    std::lock_guard<std::mutex> guard(FValueMutex);
    return FValue;
  }

 private:
  TDataChangeEvent FOnDataChange;
  mutable std::mutex FValueMutex;
  T FValue{};
};

// The list stream of an element type; specialise for further types.
template <typename T>
struct TLKListStream;
template <>
struct TLKListStream<double> {
  static constexpr TGUID IID = ILKRealListStream::IID;
};
template <>
struct TLKListStream<int32_t> {
  static constexpr TGUID IID = ILKIntegerListStream::IID;
};

// A sink of lists of T (TLKTypedSuppliedOperation<std::vector<T>>): each list goes to the
// data-change event with AFirst true for the first list after connecting or after a start or a
// stop (a receiver that needs a rate sends one then), and counts as handled; other operations go
// to the optional handler.
template <typename T>
class TLKTypedListSinkPin : public TLKDispatchSinkPin {
 public:
  using TDataChangeEvent = std::function<void(TLKTypedListSinkPin* APin, const std::vector<T>& AValues, bool AFirst)>;

  TLKTypedListSinkPin(TComponent* AOwner, TIntf<IBasicLock> ALock, TDataChangeEvent AOnDataChange,
                      TLKNotificationHandler AHandler = {})
      : TLKDispatchSinkPin(AOwner, std::move(ALock), std::move(AHandler)), FOnDataChange(std::move(AOnDataChange)) {
    AddType(TLKListStream<T>::IID);
  }

  TLKHandledSet DispatchData(TLKPin* ASender, const TGUID& ADataType, ILKNotifyOperation* AOperation,
                             TLKDispatchState AState) override {
    if (!(AState & dsCurrentState)) {
      if (auto* list = AOperation->As<TLKTypedSuppliedOperation<std::vector<T>>>()) {
        bool first = FFirst.exchange(false);
        if (FOnDataChange) FOnDataChange(this, list->Value(), first);
        return hsHandled;
      }
      if (AOperation->IsType<TLKStartOperation>() || AOperation->IsType<TLKStopOperation>()) FFirst = true;
    }
    return TLKDispatchSinkPin::DispatchData(ASender, ADataType, AOperation, AState);
  }

 protected:
  bool IntConnect(TLKPin* AOther, bool ANotifyAfter, const TGUID& ADataType) override {
    FFirst = true;
    return TLKDispatchSinkPin::IntConnect(AOther, ANotifyAfter, ADataType);
  }

 private:
  TDataChangeEvent FOnDataChange;
  std::atomic<bool> FFirst{true};
};

// A list of pins made and destroyed through its owner's functions (a component's growing list
// of inputs). Main thread.
class FUNDREL_API TLKPinList {
 public:
  using TCreateFunction = std::function<TLKPin*()>;
  using TDestroyFunction = std::function<void(TLKPin*)>;
  // ADestroy may be empty: the pins are then freed with TObject::Free.
  TLKPinList(TCreateFunction ACreate, TDestroyFunction ADestroy = {});
  ~TLKPinList();
  TLKPinList(const TLKPinList&) = delete;
  TLKPinList& operator=(const TLKPinList&) = delete;

  // Creates a pin and appends it.
  TLKPin* Add();
  // Destroys APin if the list holds it.
  void Remove(TLKPin* APin);
  // Destroys every pin, last first.
  void Clear();
  int32_t Count() const { return FPins.Count(); }
  // Raises ERangeError outside 0..Count-1.
  TLKPin* Items(int32_t AIndex) const { return FPins[AIndex]; }
  // An unconnected pin of the list, made when every pin is connected (a free input).
  TLKPin* FreePin();

 private:
  TCreateFunction FCreate;
  TDestroyFunction FDestroy;
  TArrayList<TLKPin*> FPins;
};

}  // namespace fundrel
