// Stream types: the interface identities pins connect by, their registry with the parent chain,
// the dispatch-state and handled sets, handler signatures and the default handlers.
//
// A stream interface has no methods of its own (ILKBasicStream, the root, has DispatchData): its
// GUID is the data-type tag two pins agree on when they connect and that handlers test. The
// registry records each stream's parent, which forms the compatibility chain: a pin that offers
// a stream also satisfies a pin that asks for one of its ancestors.
//
// Registration happens at unit start-up (LKRegisterStreams, LKRegisterDefaultHandler) and may
// happen later from any thread; lookups are safe from any thread. Entries live until the process
// ends; withdrawing the entries of an unloaded module belongs to the class registry's module
// hooks.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

#include "host/Quenra.Interfaces.h"

namespace fundrel {

class TLKPin;
struct ILKNotifyOperation;

// The dispatch state: a set of two flags that reaches the sending handler and the receiver.
using TLKDispatchState = uint8_t;
// A request for the current state, not stream data: sent by the framework to a sink when it
// connects (if the sink asks for it, TLKPin::SetRequestsState) and when a sink calls
// RequestState. Sample handlers ignore it and answer not handled; pins that hold a state (an
// image pin) answer with an operation carrying it.
inline constexpr TLKDispatchState dsCurrentState = 1u << 0;
// The receiver may take over the supplied buffer and work on it in place: nobody else receives
// this delivery. The framework keeps it only on a send to exactly one connection (Notify).
inline constexpr TLKDispatchState dsTakeOver = 1u << 1;

// The handled set: empty means not handled.
using TLKHandledSet = uint8_t;
inline constexpr TLKHandledSet hsHandled = 1u << 0;

// Every stream interface derives from ILKBasicStream, which delivers an operation to the pin
// behind it.
struct ILKBasicStream : IInterface {
  using Parent = IInterface;
  FUNDREL_IID("{CFDF94D7-5134-49D9-AC65-902BBC1CD140}");
  // Delivers AOperation, sent by ASender on a connection of type ADataType, to this pin's
  // handler. Runs on the caller's thread.
  virtual TLKHandledSet DispatchData(TLKPin* ASender, const TGUID& ADataType, ILKNotifyOperation* AOperation,
                                     TLKDispatchState AState) = 0;
};

// The root of data streams.
struct ILKDataStream : ILKBasicStream {
  using Parent = ILKBasicStream;
  FUNDREL_IID("{8E2C6F0B-3A5D-4C71-9B8E-1D4F6A2C9E37}");
};
// Clock ticks (TLKClockOperation and everything that derives from it).
struct ILKClockStream : ILKBasicStream {
  using Parent = ILKBasicStream;
  FUNDREL_IID("{48CDAF9F-00C7-4B45-999D-4EE25353A952}");
};
// One double per operation.
struct ILKRealStream : ILKDataStream {
  using Parent = ILKDataStream;
  FUNDREL_IID("{208F9564-3C20-4C97-BB77-2FC5AE6E4194}");
};
// One single-precision value per operation.
struct ILKFloatStream : ILKDataStream {
  using Parent = ILKDataStream;
  FUNDREL_IID("{67F6997B-7EB4-4E2F-8320-4A512B5F2BC7}");
};
// One string per operation.
struct ILKStringStream : ILKDataStream {
  using Parent = ILKDataStream;
  FUNDREL_IID("{25C048B4-89D4-4277-AA98-A835EB29F5C1}");
};

// A list of doubles per operation (std::vector<double>).
struct ILKRealListStream : ILKDataStream {
  using Parent = ILKDataStream;
  FUNDREL_IID("{3D9A7C21-58E4-4B6F-A1C3-7E2B9F4D6A85}");
};
// A list of signed 32-bit integers per operation (std::vector<int32_t>).
struct ILKIntegerListStream : ILKDataStream {
  using Parent = ILKDataStream;
  FUNDREL_IID("{4EAB8D32-69F5-4C70-B2D4-8F3CA05E7B96}");
};

// A handler: for a sending pin, how to deliver on a connection (APin and AStream are the
// receiving pin and its stream; the plain way is AStream->DispatchData(sender, ...)); for a
// receiving pin, what to do with an arriving operation (APin is the receiving pin itself, so a
// component with several inputs tells them apart, AStream the stream of the pin that
// delivered). ADataType is the connection's negotiated type.
using TLKNotificationHandler = std::function<TLKHandledSet(TLKPin* APin, ILKBasicStream* AStream,
                                                           const TGUID& ADataType, ILKNotifyOperation* AOperation,
                                                           TLKDispatchState AState)>;
// A default handler for a stream type, used by sending pins that gave no handler of their own
// for it; it also gets the sending pin.
using TLKDefaultHandler =
    std::function<TLKHandledSet(TLKPin* ASender, TLKPin* APin, ILKBasicStream* AStream, const TGUID& ADataType,
                                ILKNotifyOperation* AOperation, TLKDispatchState AState)>;

// What the registry knows of a stream type.
struct TLKStreamTypeInfo {
  TGUID ID;
  TGUID Parent;      // null for a root
  const char* Name;  // interface name, for messages; static text
  // A universal stream accepts any other stream: it never counts as a shared specific type, and a
  // pin whose every type is universal connects to anything (see TLKPin).
  bool Universal = false;
};

// The info of stream interface I (its IID, its parent's IID and the given name).
template <typename I>
constexpr TLKStreamTypeInfo LKStreamInfo(const char* AName, bool AUniversal = false) {
  if constexpr (std::is_same_v<typename I::Parent, IInterface>) {
    return {I::IID, TGUID(), AName, AUniversal};
  } else {
    return {I::IID, I::Parent::IID, AName, AUniversal};
  }
}

// Registers stream types; registering a known ID again replaces its parent and flags.
FUNDREL_API void LKRegisterStreams(const TLKStreamTypeInfo* AInfos, int32_t ACount);
FUNDREL_API void LKRegisterStream(const TLKStreamTypeInfo& AInfo);
// True when AType is AAncestor or one of its registered descendants.
FUNDREL_API bool LKStreamInheritsFrom(const TGUID& AType, const TGUID& AAncestor);
FUNDREL_API bool LKStreamIsUniversal(const TGUID& AType);
// The registered name, else the GUID's text.
FUNDREL_API String LKStreamName(const TGUID& AType);

// Registers the default handler of a stream type (replacing an earlier one); an empty handler
// removes it. Pins pick it up when they connect.
FUNDREL_API void LKRegisterDefaultHandler(const TGUID& AType, TLKDefaultHandler AHandler);
// The default handler for AType or its nearest registered ancestor; null when none. The pointer
// stays valid until the process ends (a replaced handler is kept, not freed).
FUNDREL_API const TLKDefaultHandler* LKFindDefaultHandler(const TGUID& AType);

}  // namespace fundrel
