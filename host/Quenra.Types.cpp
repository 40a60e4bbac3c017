#include "host/Quenra.Types.h"

#include <algorithm>

namespace fundrel {

TComponent* FindOwnerComponent(const TPersistent* APersistent) {
  for (const TPersistent* p = APersistent; p; p = p->GetOwner())
    if (auto* c = dynamic_cast<const TComponent*>(p)) return const_cast<TComponent*>(c);
  return nullptr;
}

TLockPersistent::TLockPersistent(TPersistent* AOwner, TIntf<IChangeNotifyLock> ALock, TChangeCallback AOnChange)
    : FOwner(AOwner), FLock(std::move(ALock)), FOnChange(std::move(AOnChange)) {
  Assert(bool(FLock), "A lock persistent needs its owner's lock");
}

void TLockPersistent::NotifyProp() {
  if (FOnChange)
    FOnChange();
  else
    FLock->NotifyChange();
}

TEnabledPersistent::TEnabledPersistent(TPersistent* AOwner, TIntf<IChangeNotifyLock> ALock,
                                       TChangeCallback AOnChange, bool AEnabledDefault)
    : TLockPersistent(AOwner, std::move(ALock), std::move(AOnChange)),
      FEnabledDefault(AEnabledDefault),
      FEnabled(AEnabledDefault) {}

void TEnabledPersistent::Assign(const TPersistent& ASource) {
  if (auto* source = dynamic_cast<const TEnabledPersistent*>(&ASource)) {
    SetEnabled(source->GetEnabled());
    return;
  }
  TLockPersistent::Assign(ASource);
}

TLockComponent::TLockComponent(TComponent* AOwner)
    : TComponent(AOwner), FLock(new TChangeNotifyLock) {}

TLockComponent::~TLockComponent() = default;

void TLockComponent::NotifyProp() { FLock->NotifyChange(); }

void TLockComponent::CreateStart(bool AFromConstructor) {
  (void)AFromConstructor;
  FStarted = true;
}

void TLockComponent::AfterConstruction() {
  TComponent::AfterConstruction();
  // Components made by the stream reader start when loading ends, not now.
  if (!IsLoading()) CreateStart(true);
}

void TLockComponent::Loaded() {
  TComponent::Loaded();
  CreateStart(false);
}

void TLockComponent::BeforeDestruction() {
  TComponent::BeforeDestruction();
  FLock->BeginDestroy();
}

void TLockComponent::ReplaceLock(TIntf<IChangeNotifyLock> ALock) {
  Assert(bool(ALock), "A lock component needs a lock");
  FLock = std::move(ALock);
}

TMultiProc<TComponent*>& OnComponentOwnerChanged() {
  static TMultiProc<TComponent*> listeners;
  return listeners;
}

TMultiProc<TComponent*, int32_t>& OnComponentIndexChanged() {
  static TMultiProc<TComponent*, int32_t> listeners;
  return listeners;
}

void ComponentOwnerChanged(TComponent* AComponent) { OnComponentOwnerChanged().Notify(AComponent); }

void ComponentIndexChanged(TComponent* AComponent, int32_t AIndex) {
  OnComponentIndexChanged().Notify(AComponent, AIndex);
}

TLockCollectionItem::TLockCollectionItem(TLockCollection* ACollection) {
  if (ACollection) ACollection->InsertItem(this);
}

TLockCollectionItem::~TLockCollectionItem() {
  if (FCollection) FCollection->RemoveItem(this);
}

TPersistent* TLockCollectionItem::GetOwner() const { return FCollection; }

IChangeNotifyLock* TLockCollectionItem::GetLock() const {
  Assert(FCollection != nullptr, "A collection item outside a collection has no lock");
  return FCollection->GetLock();
}

int32_t TLockCollectionItem::GetIndex() const { return FCollection ? FCollection->IndexOf(this) : -1; }

void TLockCollectionItem::SetIndex(int32_t AIndex) {
  if (!FCollection) return;
  auto& items = FCollection->FItems;
  int32_t current = GetIndex();
  int32_t target = std::clamp(AIndex, 0, FCollection->Count() - 1);
  if (current == target) return;
  items.erase(items.begin() + current);
  items.insert(items.begin() + target, this);
  FCollection->Changed(nullptr);
}

void TLockCollectionItem::NotifyProp() {
  if (FCollection) FCollection->Changed(this);
}

TLockCollectionItem* TLockCollectionItem::CreateLike(TLockCollection* ACollection) const {
  return ACollection->Factory()(ACollection);
}

TLockCollection::TLockCollection(TPersistent* AOwner, TIntf<IChangeNotifyLock> ALock, TChangeCallback AOnChange,
                                 TItemFactory AFactory)
    : FOwner(AOwner), FLock(std::move(ALock)), FOnChange(std::move(AOnChange)), FFactory(std::move(AFactory)) {
  Assert(bool(FLock), "A lock collection needs its owner's lock");
  Assert(bool(FFactory), "A lock collection needs an item factory");
}

TLockCollection::~TLockCollection() {
  // No notifications while the owner is going away.
  FUpdateCount = 1;
  while (!FItems.empty()) TObject::Free(FItems.back());
}

TLockCollectionItem* TLockCollection::Items(int32_t AIndex) const {
  if (AIndex < 0 || AIndex >= Count()) throw ERangeError(Format("List index out of bounds (%d)", AIndex));
  return FItems[static_cast<size_t>(AIndex)];
}

int32_t TLockCollection::IndexOf(const TLockCollectionItem* AItem) const {
  auto it = std::find(FItems.begin(), FItems.end(), AItem);
  return it == FItems.end() ? -1 : static_cast<int32_t>(it - FItems.begin());
}

TLockCollectionItem* TLockCollection::FindItemID(int32_t AID) const {
  for (auto* item : FItems)
    if (item->FID == AID) return item;
  return nullptr;
}

TLockCollectionItem* TLockCollection::Add() {
  BeginUpdate();
  TLockCollectionItem* item = nullptr;
  try {
    item = FFactory(this);
    if (item && item->FCollection != this) InsertItem(item);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
  return item;
}

TLockCollectionItem* TLockCollection::Insert(int32_t AIndex) {
  TLockCollectionItem* item = Add();
  if (item) item->SetIndex(AIndex);
  return item;
}

void TLockCollection::InsertItem(TLockCollectionItem* AItem) {
  if (AItem->FCollection) AItem->FCollection->RemoveItem(AItem);
  FItems.push_back(AItem);
  AItem->FCollection = this;
  AItem->FID = FNextID++;
  NewItemCreated(AItem);
  Changed(nullptr);
}

void TLockCollection::RemoveItem(TLockCollectionItem* AItem) {
  auto it = std::find(FItems.begin(), FItems.end(), AItem);
  if (it == FItems.end()) return;
  FItems.erase(it);
  AItem->FCollection = nullptr;
  Changed(nullptr);
}

void TLockCollection::Delete(int32_t AIndex) { TObject::Free(Items(AIndex)); }

void TLockCollection::Clear() {
  if (FItems.empty()) return;
  BeginUpdate();
  while (!FItems.empty()) TObject::Free(FItems.back());
  EndUpdate();
}

void TLockCollection::Exchange(int32_t AIndex1, int32_t AIndex2) {
  Items(AIndex1);
  Items(AIndex2);
  if (AIndex1 == AIndex2) return;
  std::swap(FItems[static_cast<size_t>(AIndex1)], FItems[static_cast<size_t>(AIndex2)]);
  Changed(nullptr);
}

void TLockCollection::EndUpdate() {
  if (FUpdateCount == 0) return;
  if (--FUpdateCount == 0 && FChangedInUpdate) {
    FChangedInUpdate = false;
    Update(nullptr);
  }
}

void TLockCollection::Changed(TLockCollectionItem* AItem) {
  if (FUpdateCount > 0) {
    FChangedInUpdate = true;
    return;
  }
  Update(AItem);
}

void TLockCollection::Update(TLockCollectionItem* AItem) {
  (void)AItem;
  NotifyProp();
}

void TLockCollection::NotifyProp() {
  if (FOnChange)
    FOnChange();
  else
    FLock->NotifyChange();
}

void TLockCollection::Assign(const TPersistent& ASource) {
  auto* source = dynamic_cast<const TLockCollection*>(&ASource);
  if (!source) {
    TPersistent::Assign(ASource);
    return;
  }
  if (source == this) return;
  BeginUpdate();
  try {
    // Keep items whose class already matches at the same position, so that assigning an equal
    // state changes nothing.
    int32_t n = source->Count();
    while (Count() > n) TObject::Free(FItems.back());
    for (int32_t i = 0; i < n; ++i) {
      TLockCollectionItem* from = source->FItems[static_cast<size_t>(i)];
      const TLockCollectionItem* current = i < Count() ? FItems[static_cast<size_t>(i)] : nullptr;
      if (current && typeid(*current) != typeid(*from)) {
        while (Count() > i) TObject::Free(FItems.back());
      }
      if (i >= Count()) {
        TLockCollectionItem* made = from->CreateLike(this);
        if (made->FCollection != this) InsertItem(made);
        FChangedInUpdate = true;
      }
      FItems[static_cast<size_t>(i)]->Assign(*from);
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

}  // namespace fundrel
