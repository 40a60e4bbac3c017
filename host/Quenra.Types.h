// Lock-guarded bases: persistents and collections that share their owner's change-notify lock,
// and components that own one.
//
// Every persisted property of these objects is stored through Setter/SetterMin (see
// Quenra.Locks): under the lock's write section, only when the value differs, followed by the
// object's NotifyProp. Declared defaults are the fields' initial values (default member
// initialisers), so they hold before any constructor body runs; persisted sub-objects are made by
// their holder's constructor with the holder as owner and its lock.
#pragma once

#include <functional>
#include <memory>
#include <typeinfo>
#include <vector>

#include "host/Quenra.Classes.h"
#include "host/Quenra.Elements.h"
#include "host/Quenra.Locks.h"

namespace fundrel {

// The change callback an owner gives to the objects it holds; runs after each of their changes.
using TChangeCallback = std::function<void()>;

// Walks the owner chain of APersistent (itself included) to the first component, or null.
FUNDREL_API TComponent* FindOwnerComponent(const TPersistent* APersistent);

// A persistent that shares its owner's lock and reports changes to its owner's callback.
class FUNDREL_API TLockPersistent : public TPersistent, public TGuardedSetters<TLockPersistent> {
 public:
  // AOwner: the holding component or persistent (not owned by this object); ALock: the owner's
  // lock, never null; AOnChange: called after every change (may be empty).
  TLockPersistent(TPersistent* AOwner, TIntf<IChangeNotifyLock> ALock, TChangeCallback AOnChange = {});

  TPersistent* GetOwner() const override { return FOwner; }
  IChangeNotifyLock* GetLock() const { return FLock.get(); }
  // The component at the top of the owner chain (pins and executors made for this object
  // belong to it).
  TComponent* GetOwnerComponent() const { return FindOwnerComponent(this); }
  // The change notification: the owner's callback when one was given, else the lock's.
  virtual void NotifyProp();

 private:
  friend class TGuardedSetters<TLockPersistent>;
  TPersistent* FOwner;
  TIntf<IChangeNotifyLock> FLock;
  TChangeCallback FOnChange;
};

// A lock persistent with an Enabled flag (default true) and the enable protocol of editors.
class FUNDREL_API TEnabledPersistent : public TLockPersistent {
 public:
  TEnabledPersistent(TPersistent* AOwner, TIntf<IChangeNotifyLock> ALock, TChangeCallback AOnChange = {},
                     bool AEnabledDefault = true);

  bool GetEnabled() const { return FEnabled; }
  void SetEnabled(bool AValue) { Setter(FEnabled, AValue, [this] { EnabledChanged(); }); }
  bool GetEnabledDefault() const { return FEnabledDefault; }
  // Enabled is written to a stream only when it differs from this class's default.
  bool EnabledStored() const { return FEnabled != FEnabledDefault; }

  virtual bool GetHasEnable() const { return true; }
  virtual bool GetCanDisable() const { return true; }
  virtual bool GetIsEnabled() const { return FEnabled; }
  virtual void SetIsEnabled(bool AValue) { SetEnabled(AValue); }

  void Assign(const TPersistent& ASource) override;

 protected:
  // Runs inside the setter's write section after a real change.
  virtual void EnabledChanged() {}

 private:
  bool FEnabledDefault;
  bool FEnabled;
};

// A component with its own change-notify lock, shared by the objects it holds.
class FUNDREL_API TLockComponent : public TComponent, public TGuardedSetters<TLockComponent> {
 public:
  explicit TLockComponent(TComponent* AOwner);
  ~TLockComponent() override;

  IChangeNotifyLock* GetLock() const { return FLock.get(); }
  const TIntf<IChangeNotifyLock>& Lock() const { return FLock; }
  // The component's change notification: the lock's, which reaches every listener.
  virtual void NotifyProp();
  // A callback for held objects that forwards their changes to this component.
  TChangeCallback ChangeCallback() {
    return [this] { NotifyProp(); };
  }

  // Start-up step: with true once the constructor chain has finished (components made in code),
  // with false once loading has finished. Overrides call the inherited step.
  virtual void CreateStart(bool AFromConstructor);
  bool Started() const { return FStarted; }

  void AfterConstruction() override;
  void Loaded() override;
  // Marks the lock as being destroyed, so that other threads are refused from now on.
  void BeforeDestruction() override;

 protected:
  // Replaces the lock before any member that shares it is made (a component with separate input
  // and output locks puts a paired lock here).
  void ReplaceLock(TIntf<IChangeNotifyLock> ALock);

 private:
  friend class TGuardedSetters<TLockComponent>;
  TIntf<IChangeNotifyLock> FLock;
  bool FStarted = false;
};

// Listeners told when a component's owning list or its index in it changes (design tools).
// Called on the changing thread; harmless when nobody listens.
FUNDREL_API TMultiProc<TComponent*>& OnComponentOwnerChanged();
FUNDREL_API TMultiProc<TComponent*, int32_t>& OnComponentIndexChanged();
FUNDREL_API void ComponentOwnerChanged(TComponent* AComponent);
FUNDREL_API void ComponentIndexChanged(TComponent* AComponent, int32_t AIndex);

class TLockCollection;

// An item of a lock collection; shares the collection's lock.
class FUNDREL_API TLockCollectionItem : public TPersistent, public TGuardedSetters<TLockCollectionItem> {
 public:
  // Joins ACollection (when not null) at its end; the collection owns and destroys it.
  explicit TLockCollectionItem(TLockCollection* ACollection);
  // Leaves the collection.
  ~TLockCollectionItem() override;

  TLockCollection* GetCollection() const { return FCollection; }
  TPersistent* GetOwner() const override;
  IChangeNotifyLock* GetLock() const;
  int32_t GetIndex() const;
  // Moves the item to AIndex (clamped to the list), shifting the others.
  void SetIndex(int32_t AIndex);
  // Unique within the collection, never reused.
  int32_t GetID() const { return FID; }
  virtual String GetDisplayName() const { return ClassName(); }
  // Tells the collection (Update), which notifies its owner.
  virtual void NotifyProp();
  // Makes an empty item of the same class in ACollection; polymorphic collections rely on it
  // to copy items. The default uses the collection's item factory.
  virtual TLockCollectionItem* CreateLike(TLockCollection* ACollection) const;

 private:
  friend class TLockCollection;
  friend class TGuardedSetters<TLockCollectionItem>;
  TLockCollection* FCollection = nullptr;
  int32_t FID = -1;
};

// An ordered, owning list of items that share the owner's lock.
class FUNDREL_API TLockCollection : public TPersistent, public TGuardedSetters<TLockCollection> {
 public:
  using TItemFactory = std::function<TLockCollectionItem*(TLockCollection*)>;

  // AFactory makes the collection's default item class (Add).
  TLockCollection(TPersistent* AOwner, TIntf<IChangeNotifyLock> ALock, TChangeCallback AOnChange,
                  TItemFactory AFactory);
  ~TLockCollection() override;

  TPersistent* GetOwner() const override { return FOwner; }
  IChangeNotifyLock* GetLock() const { return FLock.get(); }
  TComponent* GetOwnerComponent() const { return FindOwnerComponent(this); }

  int32_t Count() const { return static_cast<int32_t>(FItems.size()); }
  // Raises ERangeError outside 0..Count-1.
  TLockCollectionItem* Items(int32_t AIndex) const;
  int32_t IndexOf(const TLockCollectionItem* AItem) const;
  TLockCollectionItem* FindItemID(int32_t AID) const;

  // Makes an item of the default class at the end; a descendant may refuse (null).
  virtual TLockCollectionItem* Add();
  TLockCollectionItem* Insert(int32_t AIndex);
  // Destroys the item at AIndex.
  void Delete(int32_t AIndex);
  void Clear();
  void Exchange(int32_t AIndex1, int32_t AIndex2);

  // Changes inside an update are notified once, at the outermost EndUpdate.
  void BeginUpdate() { ++FUpdateCount; }
  void EndUpdate();
  bool Updating() const { return FUpdateCount > 0; }

  // Copies the items of another collection: same classes, same persisted state.
  void Assign(const TPersistent& ASource) override;

  virtual void NotifyProp();
  // The C++ type of the items Add makes (the stream writes other items with their class name).
  virtual const std::type_info& ItemType() const { return typeid(TLockCollectionItem); }

 protected:
  // Hooks for descendants: a new item was made (before the change is notified), an item or the
  // list changed (AItem null for the whole list). The default Update sends NotifyProp.
  virtual void NewItemCreated(TLockCollectionItem* AItem) { (void)AItem; }
  virtual void Update(TLockCollectionItem* AItem);
  const TItemFactory& Factory() const { return FFactory; }
  // Adds an item made outside Add (by CreateLike or a class factory).
  void InsertItem(TLockCollectionItem* AItem);

 private:
  friend class TLockCollectionItem;
  friend class TGuardedSetters<TLockCollection>;
  void RemoveItem(TLockCollectionItem* AItem);
  void Changed(TLockCollectionItem* AItem);

  TPersistent* FOwner;
  TIntf<IChangeNotifyLock> FLock;
  TChangeCallback FOnChange;
  TItemFactory FFactory;
  std::vector<TLockCollectionItem*> FItems;
  int32_t FNextID = 0;
  int32_t FUpdateCount = 0;
  bool FChangedInUpdate = false;
};

// A lock collection of one item class (or its descendants): typed access, default factory.
template <typename TItem>
class TTypedLockCollection : public TLockCollection {
 public:
  TTypedLockCollection(TPersistent* AOwner, TIntf<IChangeNotifyLock> ALock, TChangeCallback AOnChange = {},
                       TItemFactory AFactory = {})
      : TLockCollection(AOwner, std::move(ALock), std::move(AOnChange),
                        AFactory ? std::move(AFactory) : TItemFactory([](TLockCollection* c) -> TLockCollectionItem* {
                          return new TItem(c);
                        })) {}
  TItem* Add() override { return static_cast<TItem*>(TLockCollection::Add()); }
  const std::type_info& ItemType() const override { return typeid(TItem); }
  TItem* Items(int32_t AIndex) const { return static_cast<TItem*>(TLockCollection::Items(AIndex)); }
  TItem* operator[](int32_t AIndex) const { return Items(AIndex); }
};

}  // namespace fundrel
