#include "host/Quenra.Containers.h"

namespace fundrel {
namespace detail {

void RaiseListIndexError(int AIndex, int ACount) {
  throw ERangeError(Format("List index out of bounds (%d); count is %d", AIndex, ACount));
}

void RaiseCapacityError(int ACapacity, int ACount) {
  throw ERangeError(Format("List capacity %d is below the count %d", ACapacity, ACount));
}

void RaiseListEmpty() { throw EListError("List is empty"); }

void RaiseDuplicateKey(const String& AKeyText) {
  throw EListError(AKeyText.empty() ? String("Duplicate key in dictionary")
                                    : "Duplicate key " + AKeyText + " in dictionary");
}

void RaiseKeyNotFound(const String& AKeyText) {
  throw EListError(AKeyText.empty() ? String("Key not found in dictionary")
                                    : "Key " + AKeyText + " not found in dictionary");
}

// Lock order: FMutex is never held while calling anything that takes an object's weak control
// mutex, runs user code or releases a counted reference (a last release runs death callbacks,
// which take FMutex). Under FMutex only pointers are compared and counts touched.
//
// An entry is Subscribed once its death callback is registered. From then on, while FMutex is
// held and the entry is present, its object's memory is valid: the object is freed only after
// its death callbacks have run, and ours needs FMutex to drop the entry. That is what makes
// TryAddRef and RefCount on listed objects safe here without the control mutex.
struct TWeakListCore::TEntry {
  uint64_t Id = 0;
  TWeakHolder Holder;
  TObject* Object = nullptr;
  TInterfacedObject* Counted = nullptr;
  uint64_t Subscription = 0;
  bool Subscribed = false;

  // A counted object whose count reached 0 is already being destroyed.
  bool Live() const { return Subscribed && (!Counted || Counted->RefCount() > 0); }
};

TWeakListCore::TWeakListCore() = default;
TWeakListCore::~TWeakListCore() = default;

TWeakListCore::TEntryPtr TWeakListCore::TakeLocked(uint64_t AId) {
  auto it = std::find_if(FEntries.begin(), FEntries.end(), [AId](const TEntryPtr& e) { return e->Id == AId; });
  if (it == FEntries.end()) return nullptr;
  TEntryPtr taken = std::move(*it);
  FEntries.erase(it);
  return taken;
}

bool TWeakListCore::Add(TObject* AObject, TInterfacedObject* ACounted) {
  TWeakHolder holder(AObject);
  if (!holder.IsAlive()) return false;
  auto entry = std::make_unique<TEntry>();
  entry->Holder = holder;
  entry->Object = AObject;
  entry->Counted = ACounted;
  uint64_t id;
  {
    std::lock_guard<std::mutex> guard(FMutex);
    // Holders compare control blocks, which our holders keep from being reused, so a new
    // object at a dead one's address is never taken for it.
    for (const TEntryPtr& e : FEntries)
      if (e->Holder.SameAs(holder)) return false;
    id = entry->Id = ++FLastId;
    FEntries.push_back(std::move(entry));
  }

  // The entry is listed before the callback exists, so a death right after subscribing finds it.
  uint64_t subscription;
  try {
    subscription = holder.Subscribe([self = weak_from_this(), id] {
      if (auto core = self.lock()) core->Died(id);
    });
  } catch (...) {
    TEntryPtr dropped;
    std::lock_guard<std::mutex> guard(FMutex);
    dropped = TakeLocked(id);
    throw;
  }

  TEntryPtr dropped;
  bool added = false;
  bool orphaned = false;
  {
    std::lock_guard<std::mutex> guard(FMutex);
    auto it = std::find_if(FEntries.begin(), FEntries.end(), [id](const TEntryPtr& e) { return e->Id == id; });
    if (it == FEntries.end()) {
      orphaned = true;  // cleared, or dropped by its callback, meanwhile
    } else if (subscription == 0) {
      dropped = TakeLocked(id);  // died before it could be subscribed
    } else {
      (*it)->Subscription = subscription;
      (*it)->Subscribed = true;
      added = true;
    }
  }
  if (orphaned) holder.Unsubscribe(subscription);
  if (added) OnChange.Notify(TWeakListChange::Added);
  return added;
}

void TWeakListCore::Died(uint64_t AId) {
  TEntryPtr dropped;
  {
    std::lock_guard<std::mutex> guard(FMutex);
    dropped = TakeLocked(AId);
  }
  // An entry still being added was never reported, so its end is not either.
  if (dropped && dropped->Subscribed) OnChange.Notify(TWeakListChange::Died);
}

bool TWeakListCore::Remove(const TObject* AObject) {
  TEntryPtr taken;
  {
    std::lock_guard<std::mutex> guard(FMutex);
    // Only subscribed entries: their objects cannot have been freed, so equal addresses mean
    // the same object.
    auto it = std::find_if(FEntries.begin(), FEntries.end(),
                           [AObject](const TEntryPtr& e) { return e->Subscribed && e->Object == AObject; });
    if (it != FEntries.end()) {
      taken = std::move(*it);
      FEntries.erase(it);
    }
  }
  if (!taken) return false;
  taken->Holder.Unsubscribe(taken->Subscription);
  OnChange.Notify(TWeakListChange::Removed);
  return true;
}

bool TWeakListCore::Contains(const TObject* AObject) const {
  std::lock_guard<std::mutex> guard(FMutex);
  return std::any_of(FEntries.begin(), FEntries.end(),
                     [AObject](const TEntryPtr& e) { return e->Object == AObject && e->Live(); });
}

void TWeakListCore::Clear() {
  std::vector<TEntryPtr> taken;
  {
    std::lock_guard<std::mutex> guard(FMutex);
    taken.swap(FEntries);
  }
  int removed = 0;
  for (const TEntryPtr& e : taken) {
    if (!e->Subscribed) continue;  // its Add unsubscribes on finding it gone
    e->Holder.Unsubscribe(e->Subscription);
    ++removed;
  }
  taken.clear();
  for (int i = 0; i < removed; ++i) OnChange.Notify(TWeakListChange::Removed);
}

int TWeakListCore::Count() const {
  std::lock_guard<std::mutex> guard(FMutex);
  return static_cast<int>(std::count_if(FEntries.begin(), FEntries.end(), [](const TEntryPtr& e) { return e->Live(); }));
}

std::vector<TObject*> TWeakListCore::Objects() const {
  std::vector<TObject*> result;
  std::lock_guard<std::mutex> guard(FMutex);
  result.reserve(FEntries.size());
  for (const TEntryPtr& e : FEntries)
    if (e->Live()) result.push_back(e->Object);
  return result;
}

std::vector<TCountedRef> TWeakListCore::LockAll() const {
  std::vector<TCountedRef> result;
  std::lock_guard<std::mutex> guard(FMutex);
  result.reserve(FEntries.size());
  for (const TEntryPtr& e : FEntries)
    if (e->Subscribed && e->Counted && e->Counted->TryAddRef()) result.emplace_back(e->Counted);
  return result;
}

TCountedRef TWeakListCore::FindOrAdd(const std::function<bool(TObject*)>& AMatch,
                                     const std::function<TCountedRef()>& ACreate) {
  std::lock_guard<std::recursive_mutex> serial(FFindOrAddMutex);
  // The references keep every candidate alive while AMatch looks at it; those not chosen are
  // released on return, outside FMutex.
  std::vector<TCountedRef> live = LockAll();
  for (TCountedRef& ref : live)
    if (AMatch(ref.get())) return std::move(ref);
  TCountedRef made = ACreate();
  if (made) Add(made.get(), made.get());
  return made;
}

}  // namespace detail
}  // namespace fundrel
