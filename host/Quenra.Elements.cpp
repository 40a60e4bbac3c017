#include "host/Quenra.Elements.h"

#include "host/detail/WeakControl.h"

namespace fundrel {

TWeakHolder::TWeakHolder(TObject* AObject) {
  if (!AObject) return;
  FControl = AObject->WeakControl();
  if (FControl) FControl->AddRef();
}

TWeakHolder::TWeakHolder(const TWeakHolder& AOther) noexcept : FControl(AOther.FControl) {
  if (FControl) FControl->AddRef();
}

TWeakHolder::~TWeakHolder() {
  if (FControl) FControl->Release();
}

bool TWeakHolder::IsAlive() const { return Get() != nullptr; }

TObject* TWeakHolder::Get() const {
  if (!FControl) return nullptr;
  std::lock_guard<std::mutex> guard(FControl->Mutex);
  return FControl->Target;
}

bool TWeakHolder::Holds(TObject* AObject) const { return AObject && Get() == AObject; }

TInterfacedObject* TWeakHolder::LockCounted() const {
  if (!FControl) return nullptr;
  std::lock_guard<std::mutex> guard(FControl->Mutex);
  // The target cannot be freed while we hold the mutex: its death clears Target under it first.
  auto* counted = dynamic_cast<TInterfacedObject*>(FControl->Target);
  return counted && counted->TryAddRef() ? counted : nullptr;
}

uint64_t TWeakHolder::Subscribe(std::function<void()> AOnDeath) const {
  return FControl ? FControl->Subscribe(std::move(AOnDeath)) : 0;
}

void TWeakHolder::Unsubscribe(uint64_t AId) const noexcept {
  if (FControl) FControl->Unsubscribe(AId);
}

}  // namespace fundrel
