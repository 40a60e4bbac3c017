#include "host/LKPins.h"

#include <algorithm>
#include <thread>

#include "host/Linkor.TypeConverters.h"

namespace fundrel {

namespace detail {
struct TLKLink {
  TLKPin* Peer;
  TLKPin* UserPeer;
  TGUID DataType;
  TGUID FarDataType;
  // How this end sends on the link: the pin's own handler for the type, else the type's default
  // handler, else DispatchData on the peer. Both point into storage fixed for the pin's life.
  const TLKNotificationHandler* SendHandler;
  const TLKDefaultHandler* Default;
  TLKFormatConverter* Converter;  // owned by the connection, set on the user's two pins
};
struct TLKLinkSet {
  std::vector<TLKLink> Links;
};
}  // namespace detail

using detail::TLKLink;
using detail::TLKLinkSet;

namespace {

// Serialises topology changes; re-entrant because hooks connect and disconnect further pins.
std::recursive_mutex& TopologyMutex() {
  static auto* mutex = new std::recursive_mutex;
  return *mutex;
}
using TTopologyGuard = std::lock_guard<std::recursive_mutex>;

// The snapshots this thread is reading, innermost first: lets a topology change made by a
// handler see that it runs inside a delivery. Nodes live on the readers' stacks.
struct TReadNode {
  const TLKPin* Pin;
  uint32_t Epoch;
  const TLKLinkSet* Set;
  TReadNode* Prev;
};
thread_local TReadNode* tReading __attribute__((tls_model("initial-exec"))) = nullptr;

// What a topology change made inside a delivery could not free yet: freed when the thread's
// outermost delivery returns (other threads have finished with it by then).
struct TDeferred {
  std::vector<TLKLinkSet*> Sets;
  std::vector<TLKFormatConverter*> Converters;
};
thread_local TDeferred* tDeferred __attribute__((tls_model("initial-exec"))) = nullptr;

TDeferred& Deferred() {
  if (!tDeferred) tDeferred = new TDeferred;
  return *tDeferred;
}

void FlushDeferred() {
  while (tDeferred) {
    TDeferred* d = tDeferred;
    tDeferred = nullptr;
    for (TLKLinkSet* s : d->Sets) delete s;
    for (TLKFormatConverter* c : d->Converters) TObject::Free(c);
    delete d;
  }
}

uint32_t OwnReads(const TLKPin* APin, uint32_t AEpoch) {
  uint32_t n = 0;
  for (TReadNode* node = tReading; node; node = node->Prev)
    if (node->Pin == APin && node->Epoch == AEpoch) ++n;
  return n;
}

bool ReadByThisThread(const TLKPin* APin) {
  for (TReadNode* node = tReading; node; node = node->Prev)
    if (node->Pin == APin) return true;
  return false;
}

// True when this thread reads APin or walks a snapshot that may still deliver to it.
bool ReachedByThisThread(const TLKPin* APin) {
  for (TReadNode* node = tReading; node; node = node->Prev) {
    if (node->Pin == APin) return true;
    if (node->Set)
      for (const TLKLink& l : node->Set->Links)
        if (l.Peer == APin) return true;
  }
  return false;
}

void WaitUntil(const std::atomic<uint32_t>& ACounter, uint32_t AValue) {
  for (int spins = 0; ACounter.load(std::memory_order_acquire) != AValue; ++spins) {
    if (spins < 64)
      std::this_thread::yield();
    else
      std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
}

String TypeList(const std::vector<TGUID>& ATypes) {
  String text;
  for (const TGUID& t : ATypes) text += (text.empty() ? "" : ", ") + LKStreamName(t);
  return "[" + text + "]";
}

std::vector<TGUID> Specific(const std::vector<TGUID>& ATypes) {
  std::vector<TGUID> result;
  for (const TGUID& t : ATypes)
    if (!LKStreamIsUniversal(t)) result.push_back(t);
  return result;
}

// The first type the accepting side lists that the offering side has exactly; else the first
// offered type deriving from an accepted one (the more specific type is what travels).
// Universal streams never count. Null when nothing matches.
TGUID MatchDirect(const std::vector<TGUID>& AOffered, const std::vector<TGUID>& AAccepted) {
  std::vector<TGUID> offered = Specific(AOffered), accepted = Specific(AAccepted);
  for (const TGUID& a : accepted)
    if (std::find(offered.begin(), offered.end(), a) != offered.end()) return a;
  for (const TGUID& a : accepted)
    for (const TGUID& o : offered)
      if (LKStreamInheritsFrom(o, a)) return o;
  return TGUID();
}

struct TNegotiation {
  TGUID SourceType, SinkType;
  const TLKFormatConverterClass* Converter = nullptr;
};

}  // namespace

// Privileged helpers of the framework: the reader protocol, publishing, linking.
struct TLKPinAccess {
  // Entering: announce the reader in the current epoch's counter, then read the snapshot. A
  // writer that swaps the snapshot and then drains both counters knows every reader of the old
  // snapshot has left (all accesses are sequentially consistent).
  class TReadScope {
   public:
    explicit TReadScope(const TLKPin& APin) : FPin(APin) {
      FNode.Pin = &APin;
      FNode.Epoch = APin.FEpoch.load(std::memory_order_seq_cst) & 1;
      APin.FReaders[FNode.Epoch].fetch_add(1, std::memory_order_seq_cst);
      FNode.Set = APin.FLinks.load(std::memory_order_seq_cst);
      FNode.Prev = tReading;
      tReading = &FNode;
    }
    ~TReadScope() {
      tReading = FNode.Prev;
      FPin.FReaders[FNode.Epoch].fetch_sub(1, std::memory_order_release);
      if (FUNDREL_UNLIKELY(tDeferred != nullptr) && !tReading) FlushDeferred();
    }
    TReadScope(const TReadScope&) = delete;
    TReadScope& operator=(const TReadScope&) = delete;
    const TLKLinkSet* Set() const { return FNode.Set; }

   private:
    const TLKPin& FPin;
    TReadNode FNode;
  };

  // Waits until no other thread reads a snapshot of APin published before the call. Returns
  // false when this thread itself still reads one (a change made from a handler).
  static bool Synchronize(const TLKPin& APin) {
    for (int round = 0; round < 2; ++round) {
      uint32_t old = APin.FEpoch.fetch_add(1, std::memory_order_seq_cst) & 1;
      WaitUntil(APin.FReaders[old], OwnReads(&APin, old));
    }
    return !ReadByThisThread(&APin);
  }

  // Publishes a changed copy of APin's links and frees the old snapshot once nobody reads it.
  template <typename F>
  static void Update(TLKPin& APin, F&& AChange) {
    TLKLinkSet* old;
    {
      std::lock_guard<std::mutex> guard(APin.FWriteMutex);
      old = APin.FLinks.load(std::memory_order_relaxed);
      std::vector<TLKLink> links = old ? old->Links : std::vector<TLKLink>();
      AChange(links);
      APin.FLinks.store(links.empty() ? nullptr : new TLKLinkSet{std::move(links)}, std::memory_order_seq_cst);
    }
    if (!old) return;
    if (Synchronize(APin))
      delete old;
    else
      Deferred().Sets.push_back(old);
  }

  static const TLKNotificationHandler* SendHandlerFor(const TLKPin& APin, const TGUID& AType) {
    if (APin.IsSink()) return nullptr;
    const TLKPin::TTypeEntry* e = APin.FindEntry(AType);
    return e && e->Handler ? &e->Handler : nullptr;
  }

  static TLKLink MakeLink(const TLKPin& AFrom, TLKPin* APeer, TLKPin* AUserPeer, const TGUID& AType,
                          const TGUID& AFarType, TLKFormatConverter* AConverter) {
    TLKLink link{APeer, AUserPeer, AType, AFarType, SendHandlerFor(AFrom, AType), nullptr, AConverter};
    if (AFrom.IsSource() && !link.SendHandler) link.Default = LKFindDefaultHandler(AType);
    return link;
  }

  static void Add(TLKPin& APin, const TLKLink& ALink) {
    Update(APin, [&](std::vector<TLKLink>& links) { links.push_back(ALink); });
  }
  template <typename P>
  static void RemoveIf(TLKPin& APin, P&& APred) {
    if (!APin.FLinks.load(std::memory_order_acquire)) return;
    Update(APin, [&](std::vector<TLKLink>& links) { std::erase_if(links, APred); });
  }

  static TNegotiation Negotiate(const TLKPin& ASource, const TLKPin& ASink) {
    std::vector<TGUID> offered = ASource.GetTypes(), accepted = ASink.GetTypes();
    TNegotiation n;
    TGUID direct = MatchDirect(offered, accepted);
    if (!direct.IsNull()) {
      n.SourceType = n.SinkType = direct;
      return n;
    }
    // A universal pin takes the other side's first specific type (its own first type when the
    // other side is universal too).
    auto firstOf = [](const std::vector<TGUID>& AList) {
      std::vector<TGUID> s = Specific(AList);
      return !s.empty() ? s.front() : !AList.empty() ? AList.front() : TGUID();
    };
    if (ASink.IsUniversal() && !offered.empty()) {
      n.SourceType = n.SinkType = firstOf(offered);
      return n;
    }
    if (ASource.IsUniversal() && !accepted.empty()) {
      n.SourceType = n.SinkType = firstOf(accepted);
      return n;
    }
    for (const auto& c : detail::LKConverterCandidates()) {
      TGUID in = MatchDirect(offered, c.In), out = MatchDirect(c.Out, accepted);
      if (!in.IsNull() && !out.IsNull()) {
        n.SourceType = in;
        n.SinkType = out;
        n.Converter = c.Class;
        return n;
      }
    }
    throw EGVException(Format("Cannot connect %s %s to %s %s: no common stream type and no format converter",
                              ASource.GetFullName().c_str(), TypeList(offered).c_str(),
                              ASink.GetFullName().c_str(), TypeList(accepted).c_str()));
  }

  // Links sink-side first, so that a sink already knows its source when the first delivery
  // reaches it.
  static void Link(TLKPin* ASource, TLKPin* ASink, const TNegotiation& AN) {
    if (!AN.Converter) {
      Add(*ASink, MakeLink(*ASink, ASource, ASource, AN.SinkType, AN.SourceType, nullptr));
      Add(*ASource, MakeLink(*ASource, ASink, ASink, AN.SourceType, AN.SinkType, nullptr));
      return;
    }
    TLKFormatConverter* c = AN.Converter->Create();
    TLKPin* in = c->GetSinkPin();
    TLKPin* out = c->GetSourcePin();
    in->EnsureTypes();
    out->EnsureTypes();
    Add(*ASink, MakeLink(*ASink, out, ASource, AN.SinkType, AN.SourceType, c));
    Add(*out, MakeLink(*out, ASink, ASink, AN.SinkType, AN.SinkType, nullptr));
    Add(*in, MakeLink(*in, ASource, ASource, AN.SourceType, AN.SourceType, nullptr));
    Add(*ASource, MakeLink(*ASource, in, ASink, AN.SourceType, AN.SinkType, c));
  }

  // Removes the connection of the user's pins ASource and ASink, source side first, so that
  // nothing new enters it while the rest goes; frees its converter.
  static void Unlink(TLKPin* ASource, TLKPin* ASink) {
    TLKFormatConverter* converter = nullptr;
    if (const TLKLinkSet* set = ASource->FLinks.load(std::memory_order_acquire))
      for (const TLKLink& l : set->Links)
        if (l.UserPeer == ASink) converter = l.Converter;
    RemoveIf(*ASource, [ASink](const TLKLink& l) { return l.UserPeer == ASink; });
    if (converter) {
      RemoveIf(*converter->GetSinkPin(), [](const TLKLink&) { return true; });
      RemoveIf(*converter->GetSourcePin(), [](const TLKLink&) { return true; });
    }
    RemoveIf(*ASink, [ASource](const TLKLink& l) { return l.UserPeer == ASource; });
    if (!converter) return;
    if (ReachedByThisThread(converter->GetSinkPin()) || ReachedByThisThread(converter->GetSourcePin()))
      Deferred().Converters.push_back(converter);
    else
      TObject::Free(converter);
  }

  static bool SendState(TLKPin* ASource, TLKPin* ASink) {
    TIntf<ILKNotifyOperation> request = LKMakeOperation<TLKNotifyOperation>();
    return ASource->NotifyPin(ASink, request.get(), dsCurrentState);
  }

  static bool ConnectPair(TLKPin* ASource, TLKPin* ASink, bool ANotifyAfter) {
    TTopologyGuard guard(TopologyMutex());
    if (ASource->IsConnectedTo(ASink)) return true;
    if (ASource->FMaxConnections >= 0 && ASource->ConnectionCount() >= ASource->FMaxConnections)
      throw EGVException(Format("Cannot connect %s to %s: %s takes at most %d connection(s)",
                                ASource->GetFullName().c_str(), ASink->GetFullName().c_str(),
                                ASource->GetFullName().c_str(), ASource->FMaxConnections));
    // Negotiated before the sink's old connection goes, so a refused connection changes nothing.
    TNegotiation n = Negotiate(*ASource, *ASink);
    if (ASink->FMaxConnections >= 0)
      for (TLKPin* old : ASink->ConnectedPins()) {
        if (ASink->ConnectionCount() < ASink->FMaxConnections) break;
        ASink->Disconnect(old);
      }
    Link(ASource, ASink, n);
    bool accepted;
    try {
      accepted = ASource->IntConnect(ASink, ANotifyAfter, n.SourceType) &&
                 ASink->IntConnect(ASource, ANotifyAfter, n.SinkType);
    } catch (...) {
      Unlink(ASource, ASink);
      throw;
    }
    if (!accepted) {
      Unlink(ASource, ASink);
      return false;
    }
    bool ok = true;
    if (!ANotifyAfter) ok = ConnectAfterPair(ASource, ASink);
    if (ASink->RequestsState()) SendState(ASource, ASink);
    return ok;
  }

  static bool ConnectAfterPair(TLKPin* ASource, TLKPin* ASink) {
    TTopologyGuard guard(TopologyMutex());
    if (!ASource->IsConnectedTo(ASink)) return false;
    bool ok = ASource->IntConnectAfter(ASink);
    return ASink->IntConnectAfter(ASource) && ok;
  }

  static void DisconnectPair(TLKPin* ASource, TLKPin* ASink, bool ADesignFormClosing) {
    TTopologyGuard guard(TopologyMutex());
    if (!ASource->IsConnectedTo(ASink)) return;
    ASink->BeforeDisconnect(ASource);
    ASource->BeforeDisconnect(ASink);
    ASource->IntDisconnect(ASink, ADesignFormClosing);
    // An override that did not call the base step still loses the link.
    if (ASource->IsConnectedTo(ASink)) Unlink(ASource, ASink);
  }

  // A type the sink takes: the type itself or one of its ancestors.
  static bool Accepts(const TLKPin& ASink, const TGUID& AType) {
    for (const TGUID& t : ASink.GetTypes())
      if (LKStreamInheritsFrom(AType, t)) return true;
    return false;
  }

  static bool Retype(TLKPin* ASource, TLKPin* ASink, const TGUID& AType) {
    bool direct = false;
    ASource->ForEachConnection([&](const TLKConnectionInfo& c) {
      if (c.Pin == ASink) direct = c.Converter == nullptr;
    });
    if (!direct) return false;
    if (!(ASource->HasType(AType) || ASource->IsUniversal()) || !(Accepts(*ASink, AType) || ASink->IsUniversal()))
      return false;
    // Sink side first, as when linking: the sink is never told of a type its source does not
    // send yet.
    const TLKLink sinkSide = MakeLink(*ASink, ASource, ASource, AType, AType, nullptr);
    const TLKLink sourceSide = MakeLink(*ASource, ASink, ASink, AType, AType, nullptr);
    Update(*ASink, [&](std::vector<TLKLink>& links) {
      for (TLKLink& l : links)
        if (l.UserPeer == ASource) l = sinkSide;
    });
    Update(*ASource, [&](std::vector<TLKLink>& links) {
      for (TLKLink& l : links)
        if (l.UserPeer == ASink) l = sourceSide;
    });
    return true;
  }

  static void ReleaseFunctionSources(TLKPin* APin) {
    for (TLKPin* d : APin->FDependents) std::erase(d->FFunctionSources, APin);
    for (TLKPin* s : APin->FFunctionSources) std::erase(s->FDependents, APin);
    APin->FDependents.clear();
    APin->FFunctionSources.clear();
  }
};

using TReadScope = TLKPinAccess::TReadScope;

// ---------------------------------------------------------------------------------------------

TLKPin::TLKPin(TComponent* AOwner, TIntf<IBasicLock> ALock, TLKPinKind AKind, int32_t AMaxConnections)
    : FOwner(AOwner), FLock(std::move(ALock)), FKind(AKind), FMaxConnections(AMaxConnections < 0 ? -1 : AMaxConnections) {
  Assert(FOwner != nullptr, "A pin needs an owner component");
  Assert(bool(FLock), "A pin needs its owner's lock");
  FOwnerWeak = TWeakHolder(FOwner);
  // Disconnect while the whole owner still exists, before any of its destructors runs.
  FOwnerDeathSubscription = FOwnerWeak.Subscribe([this] { DisconnectAll(true); });
}

TLKPin::~TLKPin() {
  FOwnerWeak.Unsubscribe(FOwnerDeathSubscription);
  {
    TTopologyGuard guard(TopologyMutex());
    // Reached without BeforeDestruction (a member pin): no hooks can run any more.
    for (int guardCount = 0; FLinks.load(std::memory_order_acquire) && guardCount < 1000; ++guardCount) {
      TLKConnectionInfo first{};
      ForEachConnection([&](const TLKConnectionInfo& c) {
        if (!first.Pin) first = c;
      });
      if (!first.Pin) break;
      if (IsSource())
        TLKPinAccess::Unlink(this, first.Pin);
      else
        TLKPinAccess::Unlink(first.Pin, this);
    }
    TLKPinAccess::ReleaseFunctionSources(this);
  }
  TLKPinAccess::Synchronize(*this);
  std::lock_guard<std::mutex> guard(FWriteMutex);
  delete FLinks.load(std::memory_order_relaxed);
}

void TLKPin::BeforeDestruction() {
  Assert(!ReachedByThisThread(this), "A pin cannot be destroyed by a delivery that may still reach it");
  if (!FDisconnected) {
    FDisconnected = true;
    DisconnectAll(true);
    TTopologyGuard guard(TopologyMutex());
    TLKPinAccess::ReleaseFunctionSources(this);
  }
  TPersistent::BeforeDestruction();
}

HRESULT TLKPin::QueryInterface(const TGUID& AIID, void** AObj) {
  if (!AObj) return E_NOINTERFACE;
  if (AIID == IInterface::IID || AIID == ILKBasicStream::IID || HasType(AIID)) {
    *AObj = static_cast<ILKBasicStream*>(this);
    return S_OK;
  }
  *AObj = nullptr;
  return E_NOINTERFACE;
}

void TLKPin::EnsureTypes() const {
  if (FTypesFixed.load(std::memory_order_acquire)) return;
  std::lock_guard<std::mutex> guard(FWriteMutex);
  if (FTypesFixed.load(std::memory_order_relaxed)) return;
  std::vector<TTypeEntry> fixed;
  for (const TTypeEntry& e : FTypes) {
    if (!e.Populate) {
      fixed.push_back(e);
      continue;
    }
    for (const TGUID& t : DeclaredDataTypes()) fixed.push_back({t, e.Handler, e.Connectable, false});
  }
  FTypes = std::move(fixed);
  FTypesFixed.store(true, std::memory_order_release);
}

void TLKPin::AddType(const TGUID& AType, TLKNotificationHandler AHandler, bool AConnectable) {
  Assert(!FTypesFixed.load(std::memory_order_acquire), "Pin types are added before the pin is used");
  FTypes.push_back({AType, std::move(AHandler), AConnectable, false});
}

void TLKPin::PopulateTypes(TLKNotificationHandler AHandler, bool AConnectable) {
  Assert(!FTypesFixed.load(std::memory_order_acquire), "Pin types are added before the pin is used");
  FTypes.push_back({TGUID(), std::move(AHandler), AConnectable, true});
}

std::vector<TGUID> TLKPin::GetTypes() const {
  EnsureTypes();
  std::vector<TGUID> result;
  for (const TTypeEntry& e : FTypes)
    if (e.Connectable && std::find(result.begin(), result.end(), e.ID) == result.end()) result.push_back(e.ID);
  return result;
}

bool TLKPin::HasType(const TGUID& AType) const {
  EnsureTypes();
  for (const TTypeEntry& e : FTypes)
    if (LKStreamInheritsFrom(e.ID, AType)) return true;
  return false;
}

bool TLKPin::IsUniversal() const {
  std::vector<TGUID> types = GetTypes();
  return !types.empty() && std::all_of(types.begin(), types.end(), LKStreamIsUniversal);
}

const TLKPin::TTypeEntry* TLKPin::FindEntry(const TGUID& AType) const {
  EnsureTypes();
  for (const TTypeEntry& e : FTypes)
    if (e.ID == AType) return &e;
  for (const TTypeEntry& e : FTypes)
    if (LKStreamInheritsFrom(AType, e.ID)) return &e;
  return nullptr;
}

String TLKPin::GetFullName() const {
  String owner = FOwner->Name().empty() ? FOwner->ClassName() : FOwner->Name();
  return owner + "." + (FPinName.empty() ? ClassName() : FPinName);
}

String TLKPin::MakeShortName(const String& APropName) const {
  static const String suffix = "Pin";
  if (APropName.size() > suffix.size() && APropName.compare(APropName.size() - suffix.size(), suffix.size(), suffix) == 0)
    return APropName.substr(0, APropName.size() - suffix.size());
  return APropName;
}

TLKHandledSet TLKPin::DispatchData(TLKPin* ASender, const TGUID& ADataType, ILKNotifyOperation* AOperation,
                                   TLKDispatchState AState) {
  if (IsSource()) return FHandler ? FHandler(this, ASender, ADataType, AOperation, AState) : 0;
  const TTypeEntry* e = FindEntry(ADataType);
  const TLKNotificationHandler& handler = e && e->Handler ? e->Handler : FHandler;
  return handler ? handler(this, ASender, ADataType, AOperation, AState) : 0;
}

bool TLKPin::DeliverOn(const TLKLink& ALink, ILKNotifyOperation* AOperation, TLKDispatchState AState) {
  TLKHandledSet handled;
  if (ALink.SendHandler)
    handled = (*ALink.SendHandler)(ALink.Peer, ALink.Peer, ALink.DataType, AOperation, AState);
  else if (ALink.Default)
    handled = (*ALink.Default)(this, ALink.Peer, ALink.Peer, ALink.DataType, AOperation, AState);
  else
    handled = ALink.Peer->DispatchData(this, ALink.DataType, AOperation, AState);
  return (handled & hsHandled) != 0;
}

bool TLKPin::Notify(ILKNotifyOperation* AOperation) { return NotifyWith(AOperation, dsTakeOver); }

bool TLKPin::NotifyWith(ILKNotifyOperation* AOperation, TLKDispatchState AState) {
  if (!FLinks.load(std::memory_order_acquire)) return false;
  TReadScope scope(*this);
  const TLKLinkSet* set = scope.Set();
  if (!set) return false;
  if (set->Links.size() != 1) AState &= static_cast<TLKDispatchState>(~dsTakeOver);
  bool handled = false;
  for (const TLKLink& l : set->Links) handled |= DeliverOn(l, AOperation, AState);
  return handled;
}

bool TLKPin::NotifyPin(TLKPin* APin, ILKNotifyOperation* AOperation, TLKDispatchState AState) {
  TReadScope scope(*this);
  const TLKLinkSet* set = scope.Set();
  if (!set || !APin) return false;
  for (const TLKLink& l : set->Links)
    if (l.UserPeer == APin || l.Peer == APin) return DeliverOn(l, AOperation, AState);
  return false;
}

bool TLKPin::RequestState() {
  bool handled = false;
  for (TLKPin* source : ConnectedPins()) handled |= TLKPinAccess::SendState(source, this);
  return handled;
}

bool TLKPin::Connect(TLKPin* AOther, bool ANotifyAfter) {
  Assert(AOther != nullptr && AOther != this, "A pin connects to another pin");
  if (AOther->Kind() == Kind())
    throw EGVException(Format("Cannot connect %s to %s: both are %s pins", GetFullName().c_str(),
                              AOther->GetFullName().c_str(), IsSource() ? "source" : "sink"));
  return IsSink() ? IntConnectSourcePin(AOther, ANotifyAfter) : AOther->IntConnectSourcePin(this, ANotifyAfter);
}

bool TLKPin::IntConnectSourcePin(TLKPin* ASource, bool ANotifyAfter) {
  Assert(IsSink() && ASource && ASource->IsSource(), "A sink connects to a source");
  return TLKPinAccess::ConnectPair(ASource, this, ANotifyAfter);
}

bool TLKPin::SetDataTypeFor(TLKPin* AOther, const TGUID& AType) {
  if (!AOther || AOther->Kind() == Kind()) return false;
  TTopologyGuard guard(TopologyMutex());
  return IsSource() ? TLKPinAccess::Retype(this, AOther, AType) : TLKPinAccess::Retype(AOther, this, AType);
}

void TLKPin::ChainReconnect() {
  TTopologyGuard guard(TopologyMutex());
  std::vector<TLKConnectionInfo> connections;
  ForEachConnection([&](const TLKConnectionInfo& c) { connections.push_back(c); });
  for (const TLKConnectionInfo& c : connections) {
    TLKPin* source = IsSource() ? this : c.Pin;
    TLKPin* sink = IsSource() ? c.Pin : this;
    TNegotiation n;
    try {
      n = TLKPinAccess::Negotiate(*source, *sink);
    } catch (const EGVException&) {
      continue;  // keeps what it has rather than losing the connection
    }
    const TGUID& sourceType = IsSource() ? c.DataType : c.FarDataType;
    const TGUID& sinkType = IsSource() ? c.FarDataType : c.DataType;
    if (n.SourceType == sourceType && n.SinkType == sinkType && (n.Converter != nullptr) == (c.Converter != nullptr))
      continue;
    // Straight to the framework's step: a sink that widens what it accepts wraps this call too.
    Disconnect(c.Pin);
    TLKPinAccess::ConnectPair(source, sink, false);
  }
}

bool TLKPin::ConnectAfter(TLKPin* AOther) {
  if (!AOther || AOther->Kind() == Kind()) return false;
  return IsSource() ? TLKPinAccess::ConnectAfterPair(this, AOther) : TLKPinAccess::ConnectAfterPair(AOther, this);
}

void TLKPin::Disconnect(TLKPin* AOther, bool ADesignFormClosing) {
  if (!AOther || AOther->Kind() == Kind()) return;
  if (IsSource())
    TLKPinAccess::DisconnectPair(this, AOther, ADesignFormClosing);
  else
    TLKPinAccess::DisconnectPair(AOther, this, ADesignFormClosing);
}

void TLKPin::DisconnectAll(bool ADesignFormClosing) {
  TTopologyGuard guard(TopologyMutex());
  // Hooks may connect further pins; a bounded number of rounds keeps a misbehaving hook finite.
  for (int round = 0; round < 16; ++round) {
    std::vector<TLKPin*> pins = ConnectedPins();
    if (pins.empty()) return;
    for (TLKPin* p : pins) Disconnect(p, ADesignFormClosing);
  }
}

bool TLKPin::IsConnected() const { return FLinks.load(std::memory_order_acquire) != nullptr; }

bool TLKPin::IsConnectedTo(const TLKPin* AOther) const {
  TReadScope scope(*this);
  if (const TLKLinkSet* set = scope.Set())
    for (const TLKLink& l : set->Links)
      if (l.UserPeer == AOther) return true;
  return false;
}

int32_t TLKPin::ConnectionCount() const {
  TReadScope scope(*this);
  const TLKLinkSet* set = scope.Set();
  return set ? static_cast<int32_t>(set->Links.size()) : 0;
}

std::vector<TLKPin*> TLKPin::ConnectedPins() const {
  std::vector<TLKPin*> pins;
  TReadScope scope(*this);
  if (const TLKLinkSet* set = scope.Set())
    for (const TLKLink& l : set->Links) pins.push_back(l.UserPeer);
  return pins;
}

void TLKPin::ForEachConnection(const std::function<void(const TLKConnectionInfo&)>& AProc) const {
  TReadScope scope(*this);
  if (const TLKLinkSet* set = scope.Set())
    for (const TLKLink& l : set->Links) AProc({l.UserPeer, l.Peer, l.DataType, l.FarDataType, l.Converter});
}

TGUID TLKPin::GetConnectedID() const {
  TReadScope scope(*this);
  const TLKLinkSet* set = scope.Set();
  return set ? set->Links.front().DataType : TGUID();
}

TGUID TLKPin::GetDownStreamID() const {
  TReadScope scope(*this);
  const TLKLinkSet* set = scope.Set();
  if (!set) return TGUID();
  return IsSource() ? set->Links.front().FarDataType : set->Links.front().DataType;
}

bool TLKPin::IntConnect(TLKPin*, bool, const TGUID&) { return true; }
bool TLKPin::IntConnectAfter(TLKPin*) { return true; }
void TLKPin::BeforeDisconnect(TLKPin*) {}

void TLKPin::IntDisconnect(TLKPin* AOther, bool) {
  TTopologyGuard guard(TopologyMutex());
  if (IsSource())
    TLKPinAccess::Unlink(this, AOther);
  else
    TLKPinAccess::Unlink(AOther, this);
}

void TLKPin::AddFunctionSource(TLKPin* APin) {
  if (!APin || APin == this) return;
  TTopologyGuard guard(TopologyMutex());
  if (std::find(FFunctionSources.begin(), FFunctionSources.end(), APin) != FFunctionSources.end()) return;
  FFunctionSources.push_back(APin);
  APin->FDependents.push_back(this);
}

void TLKPin::RemoveFunctionSource(TLKPin* APin) {
  TTopologyGuard guard(TopologyMutex());
  if (std::erase(FFunctionSources, APin) > 0) std::erase(APin->FDependents, this);
}

std::vector<TLKPin*> TLKPin::GetFunctionSources() const {
  TTopologyGuard guard(TopologyMutex());
  return FFunctionSources;
}

bool LKConnect(TLKPin* A, TLKPin* B) {
  Assert(A != nullptr, "A pin connects to another pin");
  return A->Connect(B);
}

// ---------------------------------------------------------------------------------------------

TLKBasicDispatchSourcePin::TLKBasicDispatchSourcePin(TComponent* AOwner, TIntf<IBasicLock> ALock,
                                                     TIntf<IBasicLock> AInputLock, int32_t AMaxConnections,
                                                     TLKNotificationHandler AOperationEvent)
    : TLKPin(AOwner, std::move(ALock), TLKPinKind::Source, AMaxConnections), FInputLock(std::move(AInputLock)) {
  if (!FInputLock) FInputLock = TIntf<IBasicLock>(GetLock());
  SetHandler(std::move(AOperationEvent));
}

TLKClockSourcePin::TLKClockSourcePin(TComponent* AOwner, TIntf<IBasicLock> ALock, TIntf<IBasicLock> AInputLock,
                                     int32_t AMaxConnections, TLKNotificationHandler AOperationEvent)
    : TLKDispatchSourcePin(AOwner, std::move(ALock), std::move(AInputLock), AMaxConnections,
                           std::move(AOperationEvent)) {
  AddType(ILKClockStream::IID);
}

bool TLKClockSourcePin::SendClock(uint32_t ASamples) {
  return Notify(LKMakeOperation<TLKClockOperation>(ASamples));
}

TLKDispatchSinkPin::TLKDispatchSinkPin(TComponent* AOwner, TIntf<IBasicLock> ALock, TLKNotificationHandler AHandler)
    : TLKDispatchSinkPin(AOwner, std::move(ALock), 1, std::move(AHandler)) {}

TLKDispatchSinkPin::TLKDispatchSinkPin(TComponent* AOwner, TIntf<IBasicLock> ALock, int32_t AMaxConnections,
                                       TLKNotificationHandler AHandler)
    : TLKPin(AOwner, std::move(ALock), TLKPinKind::Sink, AMaxConnections) {
  SetHandler(std::move(AHandler));
}

TLKDispatchMultiSinkPin::TLKDispatchMultiSinkPin(TComponent* AOwner, TIntf<IBasicLock> ALock,
                                                 TLKNotificationHandler AHandler)
    : TLKDispatchSinkPin(AOwner, std::move(ALock), -1, std::move(AHandler)) {}

TLKClockMultiSinkPin::TLKClockMultiSinkPin(TComponent* AOwner, TIntf<IBasicLock> ALock, TLKClockEvent AClockEvent,
                                           TLKNotificationHandler AHandler)
    : TLKDispatchMultiSinkPin(AOwner, std::move(ALock), std::move(AHandler)), FClockEvent(std::move(AClockEvent)) {
  AddType(ILKClockStream::IID);
}

TLKHandledSet TLKClockMultiSinkPin::DispatchData(TLKPin* ASender, const TGUID& ADataType,
                                                 ILKNotifyOperation* AOperation, TLKDispatchState AState) {
  if (!(AState & dsCurrentState) && FClockEvent)
    if (auto* clock = AOperation->As<TLKClockOperation>()) {
      FClockEvent(this, clock->Samples());
      return hsHandled;
    }
  return TLKDispatchMultiSinkPin::DispatchData(ASender, ADataType, AOperation, AState);
}

// ---------------------------------------------------------------------------------------------

TLKPinList::TLKPinList(TCreateFunction ACreate, TDestroyFunction ADestroy)
    : FCreate(std::move(ACreate)), FDestroy(std::move(ADestroy)) {
  Assert(bool(FCreate), "A pin list needs a create function");
}

TLKPinList::~TLKPinList() { Clear(); }

TLKPin* TLKPinList::Add() {
  TLKPin* pin = FCreate();
  Assert(pin != nullptr, "A pin list's create function made no pin");
  FPins.Add(pin);
  return pin;
}

void TLKPinList::Remove(TLKPin* APin) {
  if (FPins.Remove(APin) < 0) return;
  if (FDestroy)
    FDestroy(APin);
  else
    TObject::Free(APin);
}

void TLKPinList::Clear() {
  while (!FPins.IsEmpty()) Remove(FPins.Last());
}

TLKPin* TLKPinList::FreePin() {
  for (TLKPin* p : FPins)
    if (!p->IsConnected()) return p;
  return Add();
}

}  // namespace fundrel
