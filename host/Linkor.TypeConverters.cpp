#include "host/Linkor.TypeConverters.h"

#include <algorithm>
#include <mutex>

namespace fundrel {

namespace {
struct TConverterRegistry {
  std::mutex Mutex;
  std::vector<detail::TLKConverterCandidate> Items;
};
TConverterRegistry& Converters() {
  static TConverterRegistry* registry = new TConverterRegistry;
  return *registry;
}
}  // namespace

TLKFormatConverter::TLKFormatConverter() : TLockComponent(nullptr) {}

TLKFormatConverter::~TLKFormatConverter() {
  TObject::Free(FSourcePin);
  TObject::Free(FSinkPin);
}

void TLKFormatConverter::SetPins(TLKPin* ASinkPin, TLKPin* ASourcePin) {
  Assert(ASinkPin && ASourcePin && ASinkPin->IsSink() && ASourcePin->IsSource(),
         "A format converter needs an inner sink pin and an inner source pin");
  Assert(!FSinkPin && !FSourcePin, "A format converter's pins are set once");
  FSinkPin = ASinkPin;
  FSourcePin = ASourcePin;
}

TLKHandledSet TLKFormatConverter::SourceOperationEvent(TLKPin*, ILKBasicStream*, const TGUID&,
                                                       ILKNotifyOperation* AOperation, TLKDispatchState AState) {
  return FSinkPin->NotifyWith(AOperation, AState) ? hsHandled : 0;
}

TLKNotificationHandler TLKFormatConverter::SourceOperationHandler() {
  return [this](TLKPin* APin, ILKBasicStream* AStream, const TGUID& ADataType, ILKNotifyOperation* AOperation,
                TLKDispatchState AState) { return SourceOperationEvent(APin, AStream, ADataType, AOperation, AState); };
}

TLKHandledSet TLKBasicFormatConverter::DoDispatch(TLKPin*, ILKBasicStream*, const TGUID&,
                                                  ILKNotifyOperation* AOperation, TLKDispatchState AState) {
  return GetSourcePin()->NotifyWith(AOperation, AState) ? hsHandled : 0;
}

TLKNotificationHandler TLKBasicFormatConverter::DispatchHandler() {
  return [this](TLKPin* APin, ILKBasicStream* AStream, const TGUID& ADataType, ILKNotifyOperation* AOperation,
                TLKDispatchState AState) { return DoDispatch(APin, AStream, ADataType, AOperation, AState); };
}

void LKRegisterTypeConverters(const TLKFormatConverterClass* const* AClasses, int32_t ACount) {
  for (int32_t i = 0; i < ACount; ++i) {
    const TLKFormatConverterClass* cls = AClasses[i];
    Assert(cls && cls->Create, "A converter class needs a create function");
    // Made outside the registry's mutex: a converter's constructor may touch other registries.
    TLKFormatConverter* prototype = cls->Create();
    Assert(prototype->GetSinkPin() && prototype->GetSourcePin(), "A format converter must set its pins");
    detail::TLKConverterCandidate entry{cls, prototype->GetSinkPin()->GetTypes(), prototype->GetSourcePin()->GetTypes()};
    TObject::Free(prototype);
    auto& r = Converters();
    std::lock_guard<std::mutex> guard(r.Mutex);
    bool known = std::any_of(r.Items.begin(), r.Items.end(), [cls](const auto& c) { return c.Class == cls; });
    if (!known) r.Items.push_back(std::move(entry));
  }
}

void LKUnregisterTypeConverter(const TLKFormatConverterClass* AClass) {
  auto& r = Converters();
  std::lock_guard<std::mutex> guard(r.Mutex);
  std::erase_if(r.Items, [AClass](const auto& c) { return c.Class == AClass; });
}

namespace detail {
std::vector<TLKConverterCandidate> LKConverterCandidates() {
  auto& r = Converters();
  std::lock_guard<std::mutex> guard(r.Mutex);
  return r.Items;
}
}  // namespace detail

}  // namespace fundrel
