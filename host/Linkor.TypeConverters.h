// Format converters: small components the framework puts between a source and a sink that
// share no stream type.
//
// A converter owns an inner sink pin, facing the user's source, and an inner source pin, facing
// the user's sink; both use the converter's own lock, which nothing on either side ever takes,
// so a converter adds no lock order. The inner sink's handler converts what arrives and sends the
// result through the inner source; the inner source's operation event (SourceOperationEvent)
// passes what the user's sink sends upstream on unchanged. The framework makes one converter per
// connection when the pins are connected and frees it when they are disconnected; the user's two
// pins see one connection and run their hooks as for a direct one.
//
// Converter classes are registered at unit start-up with LKRegisterTypeConverters, in order of
// preference: the first whose inner sink connects directly to the source and whose inner source
// connects directly to the sink is taken. Converters do not chain.
#pragma once

#include <cstdint>
#include <vector>

#include "host/LKPins.h"
#include "host/Quenra.Types.h"

namespace fundrel {

class FUNDREL_API TLKFormatConverter : public TLockComponent {
 public:
  TLKFormatConverter();
  ~TLKFormatConverter() override;

  TLKPin* GetSinkPin() const { return FSinkPin; }
  TLKPin* GetSourcePin() const { return FSourcePin; }

 protected:
  // Takes ownership of both pins; called once from the constructor of the concrete converter,
  // which makes the pins with itself as owner and Lock() as lock.
  void SetPins(TLKPin* ASinkPin, TLKPin* ASourcePin);
  // The inner source's operation event: sends AOperation upstream through the inner sink pin,
  // state included.
  TLKHandledSet SourceOperationEvent(TLKPin* APin, ILKBasicStream* AStream, const TGUID& ADataType,
                                     ILKNotifyOperation* AOperation, TLKDispatchState AState);
  TLKNotificationHandler SourceOperationHandler();

 private:
  TLKPin* FSinkPin = nullptr;
  TLKPin* FSourcePin = nullptr;
};

// A converter with a default dispatch: operations it does not convert pass downstream
// unchanged, with their state.
class FUNDREL_API TLKBasicFormatConverter : public TLKFormatConverter {
 protected:
  virtual TLKHandledSet DoDispatch(TLKPin* APin, ILKBasicStream* AStream, const TGUID& ADataType,
                                   ILKNotifyOperation* AOperation, TLKDispatchState AState);
  // DoDispatch as a handler, for the inner sink pin.
  TLKNotificationHandler DispatchHandler();
};

// A converter class: its name and how to make one.
struct TLKFormatConverterClass {
  const char* Name;
  TLKFormatConverter* (*Create)();
};

// The class record of converter T (one per T, never freed).
template <typename T>
const TLKFormatConverterClass* LKConverterClass(const char* AName) {
  static const TLKFormatConverterClass cls{AName, []() -> TLKFormatConverter* { return TComponent::Create<T>(); }};
  return &cls;
}

// Registers converter classes in order; a class registered again keeps its first place. Each is
// made once here to read the types of its inner pins.
FUNDREL_API void LKRegisterTypeConverters(const TLKFormatConverterClass* const* AClasses, int32_t ACount);
// Withdraws a converter class (module unload); existing connections keep their converters.
FUNDREL_API void LKUnregisterTypeConverter(const TLKFormatConverterClass* AClass);

namespace detail {
struct TLKConverterCandidate {
  const TLKFormatConverterClass* Class;
  std::vector<TGUID> In;   // the inner sink's types
  std::vector<TGUID> Out;  // the inner source's types
};
// The registered converters, in order (a copy).
FUNDREL_API std::vector<TLKConverterCandidate> LKConverterCandidates();
}  // namespace detail

}  // namespace fundrel
