#include "host/Quenra.Classes.h"

#include <cxxabi.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <memory>
#include <typeinfo>

namespace fundrel {

namespace {
thread_local int gLoadScopes = 0;

bool SameText(const String& A, const String& B) {
  return A.size() == B.size() && std::equal(A.begin(), A.end(), B.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

bool IsValidIdent(const String& AName) {
  if (AName.empty()) return false;
  auto first = static_cast<unsigned char>(AName[0]);
  if (!(std::isalpha(first) || first == '_')) return false;
  return std::all_of(AName.begin() + 1, AName.end(), [](char c) {
    auto u = static_cast<unsigned char>(c);
    return std::isalnum(u) || u == '_';
  });
}
}  // namespace

String ClassNameOf(const TObject& AObject) {
  const char* mangled = typeid(AObject).name();
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> demangled(abi::__cxa_demangle(mangled, nullptr, nullptr, &status),
                                                    std::free);
  String name = status == 0 && demangled ? String(demangled.get()) : String(mangled);
  // Drop namespaces but keep template arguments whole.
  size_t cut = 0, depth = 0;
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '<') ++depth;
    if (name[i] == '>') --depth;
    if (depth == 0 && name[i] == ':' && i + 1 < name.size() && name[i + 1] == ':') cut = i + 2;
  }
  return name.substr(cut);
}

void TPersistent::Assign(const TPersistent& ASource) { ASource.AssignTo(*this); }

void TPersistent::AssignTo(TPersistent& ADest) const {
  throw EConvertError("Cannot assign a " + ClassName() + " to a " + ADest.ClassName());
}

TComponentLoadScope::TComponentLoadScope() { ++gLoadScopes; }
TComponentLoadScope::~TComponentLoadScope() { --gLoadScopes; }
bool TComponentLoadScope::Active() { return gLoadScopes > 0; }

TComponent::TComponent(TComponent* AOwner) {
  if (TComponentLoadScope::Active()) FState |= csLoading | csReading;
  if (AOwner) {
    if (AOwner->IsDesigning()) FState |= csDesigning;
    AOwner->InsertComponent(this);
  }
}

TComponent::~TComponent() {
  // Free did this already while the whole object existed; a plain delete does it here.
  ReleaseLinks();
  if (FOwner) FOwner->RemoveComponent(this);
}

void TComponent::BeforeDestruction() {
  ReleaseLinks();
  TPersistent::BeforeDestruction();
}

void TComponent::ReleaseLinks() {
  Destroying();
  // Removal notices first, while both sides are whole; then the owned components go, before
  // any destructor of this one has run.
  while (!FFreeNotifies.empty()) {
    TComponent* other = FFreeNotifies.back();
    FFreeNotifies.pop_back();
    std::erase(other->FFreeNotifies, this);
    other->Notification(this, TOperation::opRemove);
  }
  DestroyComponents();
}

void TComponent::Destroying() {
  if (IsDestroying()) return;
  FState |= csDestroying;
  for (TComponent* c : FComponents) c->Destroying();
}

TComponent* TComponent::Components(int32_t AIndex) const {
  if (AIndex < 0 || AIndex >= ComponentCount()) throw ERangeError(Format("List index out of bounds (%d)", AIndex));
  return FComponents[static_cast<size_t>(AIndex)];
}

int32_t TComponent::ComponentIndex() const {
  if (!FOwner) return -1;
  auto& list = FOwner->FComponents;
  auto it = std::find(list.begin(), list.end(), this);
  return it == list.end() ? -1 : static_cast<int32_t>(it - list.begin());
}

TComponent* TComponent::FindComponent(const String& AName) const {
  if (AName.empty()) return nullptr;
  for (TComponent* c : FComponents)
    if (SameText(c->FName, AName)) return c;
  return nullptr;
}

void TComponent::ValidateName(const String& AName) const {
  if (!AName.empty() && !IsValidIdent(AName))
    throw EComponentError("'" + AName + "' is not a valid component name");
  if (FOwner && !AName.empty()) {
    TComponent* other = FOwner->FindComponent(AName);
    if (other && other != this) throw EComponentError("A component named " + AName + " already exists");
  }
}

void TComponent::SetName(const String& AName) {
  if (AName == FName) return;
  ValidateName(AName);
  FName = AName;
}

void TComponent::InsertComponent(TComponent* AComponent) {
  if (!AComponent || AComponent->FOwner == this) return;
  if (!AComponent->FName.empty() && FindComponent(AComponent->FName))
    throw EComponentError("A component named " + AComponent->FName + " already exists");
  if (AComponent->FOwner) AComponent->FOwner->RemoveComponent(AComponent);
  Insert(AComponent);
  Notification(AComponent, TOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
  if (!AComponent || AComponent->FOwner != this) return;
  Notification(AComponent, TOperation::opRemove);
  Remove(AComponent);
}

void TComponent::Insert(TComponent* AComponent) {
  FComponents.push_back(AComponent);
  AComponent->FOwner = this;
}

void TComponent::Remove(TComponent* AComponent) {
  std::erase(FComponents, AComponent);
  AComponent->FOwner = nullptr;
}

void TComponent::DestroyComponents() {
  while (!FComponents.empty()) {
    TComponent* c = FComponents.back();
    Remove(c);
    TObject::Free(c);
  }
}

void TComponent::SetDesigning(bool AValue, bool AIncludeOwned) {
  SetStateFlag(csDesigning, AValue);
  if (AIncludeOwned)
    for (TComponent* c : FComponents) c->SetDesigning(AValue, true);
}

void TComponent::FreeNotification(TComponent* AComponent) {
  if (!AComponent || AComponent == this) return;
  if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), AComponent) == FFreeNotifies.end())
    FFreeNotifies.push_back(AComponent);
  if (std::find(AComponent->FFreeNotifies.begin(), AComponent->FFreeNotifies.end(), this) ==
      AComponent->FFreeNotifies.end())
    AComponent->FFreeNotifies.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
  if (!AComponent) return;
  std::erase(FFreeNotifies, AComponent);
  std::erase(AComponent->FFreeNotifies, this);
}

void TComponent::Notification(TComponent* AComponent, TOperation AOperation) {
  if (AOperation == TOperation::opRemove && AComponent) RemoveFreeNotification(AComponent);
  // A copy: a handler may destroy or remove owned components.
  std::vector<TComponent*> owned = FComponents;
  for (TComponent* c : owned)
    if (c != AComponent) c->Notification(AComponent, AOperation);
}

void TComponent::GetChildren(const TGetChildProc& AProc, TComponent* ARoot) {
  if (ARoot != this) return;
  for (TComponent* c : FComponents)
    if (!c->HasParent()) AProc(c);
}

void TComponent::Loaded() { FState &= ~(csLoading | csReading); }

}  // namespace fundrel
