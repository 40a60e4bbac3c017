#include "host/Quenra.Interfaces.h"

#include <cstdio>

#include "host/Quenra.SysUtils.h"
#include "host/detail/WeakControl.h"

namespace fundrel {

bool TGUID::TryParse(const char* AText, TGUID& AResult) {
  if (!AText) return false;
  try {
    AResult = Parse(AText);
    return true;
  } catch (const char*) {
    return false;
  }
}

String TGUID::ToString() const {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", D1, D2, D3, D4[0],
                D4[1], D4[2], D4[3], D4[4], D4[5], D4[6], D4[7]);
  return text;
}

namespace {
// Marks an object whose weak link is already cut, distinct from "never made".
detail::TWeakControl* DeadControl() {
  static detail::TWeakControl marker;
  return &marker;
}
}  // namespace

namespace detail {
void RaiseIntfCast() { throw EInvalidCast("Interface not supported"); }

void TWeakControl::Detach() noexcept {
  std::vector<std::pair<uint64_t, std::function<void()>>> listeners;
  {
    std::lock_guard<std::mutex> guard(Mutex);
    Target = nullptr;
    listeners.swap(Listeners);
  }
  for (auto& l : listeners) l.second();
  Release();
}

uint64_t TWeakControl::Subscribe(std::function<void()> AOnDeath) {
  std::lock_guard<std::mutex> guard(Mutex);
  if (!Target) return 0;  // already dead: nobody will call
  uint64_t id = NextListenerId++;
  Listeners.emplace_back(id, std::move(AOnDeath));
  return id;
}

void TWeakControl::Unsubscribe(uint64_t AId) noexcept {
  if (AId == 0) return;
  std::lock_guard<std::mutex> guard(Mutex);
  std::erase_if(Listeners, [AId](const auto& l) { return l.first == AId; });
}
}  // namespace detail

TObject::~TObject() { DetachWeak(); }

void TObject::BeforeDestruction() { DetachWeak(); }

void TObject::Free(TObject* AObject) {
  if (!AObject) return;
  AObject->DetachWeak();
  AObject->BeforeDestruction();
  delete AObject;
}

detail::TWeakControl* TObject::WeakControl() {
  detail::TWeakControl* c = FWeak.load(std::memory_order_acquire);
  if (c == DeadControl()) return nullptr;
  if (c) return c;
  auto* fresh = new detail::TWeakControl;
  fresh->Target = this;
  if (FWeak.compare_exchange_strong(c, fresh, std::memory_order_acq_rel)) {
    WeakControlMade();
    return fresh;
  }
  fresh->Target = nullptr;
  fresh->Release();
  return c == DeadControl() ? nullptr : c;
}

void TObject::DetachWeak() noexcept {
  // Once dead the slot never changes again, so the repeated calls of one destruction are plain loads.
  detail::TWeakControl* c = FWeak.load(std::memory_order_acquire);
  if (c == DeadControl()) return;
  if (!c) {
    // Most objects never had a weak holder. Making one needs a live reference (or, for an owned
    // object, its owner's thread), and the last one is going on this thread, so nobody can be
    // installing a control now: a plain store marks the death without a locked instruction.
    FWeak.store(DeadControl(), std::memory_order_release);
    return;
  }
  c = FWeak.exchange(DeadControl(), std::memory_order_acq_rel);
  if (c && c != DeadControl()) c->Detach();
}

bool TInterfacedObject::TryAddRef() noexcept {
  int32_t n = FRefCount.load(std::memory_order_relaxed);
  while (n > 0) {
    if (FRefCount.compare_exchange_weak(n, n + 1, std::memory_order_relaxed)) return true;
  }
  return false;
}

void TInterfacedObject::DestroyCounted() noexcept {
  DetachWeak();
  BeforeDestruction();
  delete this;
}

}  // namespace fundrel
