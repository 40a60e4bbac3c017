// Persistent objects and components: ownership, names, states, removal notices and the parent
// hierarchy that streaming and design tools walk.
//
// Components are main-thread objects: building, naming, owning and destroying them happens on
// one thread at a time. What other threads touch goes through the component's lock
// (TLockComponent in Quenra.Types).
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "host/Quenra.Interfaces.h"
#include "host/Quenra.SysUtils.h"

namespace fundrel {

class FUNDREL_API EComponentError : public Exception {
 public:
  using Exception::Exception;
};

// The unqualified C++ class name of an object ("TGVRealBuffer").
FUNDREL_API String ClassNameOf(const TObject& AObject);

class TFiler;
class TReader;

// Creates the null class-typed members of AInstance for which an initializer is registered
// (RegisterInitClassDefaults in Quenra.TypInfo). AParent, when given, is the object the
// instance is made for. TComponent::Create calls it before AfterConstruction.
FUNDREL_API void InitClassDefaults(TObject& AInstance, TObject* AParent = nullptr);

// An object with persisted state that can be copied from another of its kind.
class FUNDREL_API TPersistent : public TObject {
 public:
  // Copies ASource's persisted state into this object. The default lets ASource try
  // AssignTo, which raises EConvertError "Cannot assign a <source> to a <target>".
  virtual void Assign(const TPersistent& ASource);
  // The object this one belongs to (an owner component, a collection, a holding persistent).
  virtual TPersistent* GetOwner() const { return nullptr; }
  String ClassName() const { return ClassNameOf(*this); }

  // Adds the defined properties: values that persisted properties cannot express, each with a
  // reader, a writer and a has-data test (TFiler in Quenra.ComponentStreaming). Overrides call
  // the inherited step.
  virtual void DefineProperties(TFiler& AFiler) { (void)AFiler; }

 protected:
  virtual void AssignTo(TPersistent& ADest) const;
};

enum class TOperation : uint8_t { opInsert, opRemove };

// Component states; several may be present at once.
enum TComponentStateFlag : uint32_t {
  csLoading = 1u << 0,     // being read from a stream: properties arrive, nothing starts
  csReading = 1u << 1,     // the reader is setting its properties right now
  csWriting = 1u << 2,     // being written to a stream
  csDestroying = 1u << 3,  // destruction has begun
  csDesigning = 1u << 4,   // lives in a design tool
  csUpdating = 1u << 5,
};
using TComponentState = uint32_t;

class TComponent;
// Called with each child a component writes to a stream.
using TGetChildProc = std::function<void(TComponent*)>;

class FUNDREL_API TComponent : public TPersistent {
 public:
  // The owner (may be null) takes the new component into its owned list and destroys it with
  // itself. Components are made through Create<T>(), which runs AfterConstruction once the
  // whole constructor chain has finished, and destroyed through TObject::Free, which sends the
  // removal notices and destroys the owned components before any destructor runs.
  explicit TComponent(TComponent* AOwner);
  ~TComponent() override;

  template <typename T, typename... A>
  static T* Create(A&&... AArgs) {
    T* component = new T(std::forward<A>(AArgs)...);
    try {
      InitClassDefaults(*component);
      component->AfterConstruction();
    } catch (...) {
      TObject::Free(component);
      throw;
    }
    return component;
  }

  TComponent* GetOwner() const override { return FOwner; }
  TComponent* Owner() const { return FOwner; }
  int32_t ComponentCount() const { return static_cast<int32_t>(FComponents.size()); }
  // Raises ERangeError for an index outside 0..ComponentCount-1.
  TComponent* Components(int32_t AIndex) const;
  // Position in the owner's list, -1 without owner.
  int32_t ComponentIndex() const;
  TComponent* FindComponent(const String& AName) const;
  void InsertComponent(TComponent* AComponent);
  void RemoveComponent(TComponent* AComponent);
  // Destroys every owned component, last first.
  void DestroyComponents();

  const String& Name() const { return FName; }
  // A valid identifier (or empty), unique among the owner's components, compared without case;
  // otherwise EComponentError.
  virtual void SetName(const String& AName);

  TComponentState ComponentState() const { return FState; }
  bool IsLoading() const { return FState & csLoading; }
  bool IsDesigning() const { return FState & csDesigning; }
  bool IsDestroying() const { return FState & csDestroying; }
  bool IsWriting() const { return FState & csWriting; }
  // Design mode spreads to owned components.
  void SetDesigning(bool AValue, bool AIncludeOwned = true);
  void SetWriting(bool AValue) { SetStateFlag(csWriting, AValue); }
  void SetLoading(bool AValue) { SetStateFlag(csLoading, AValue); }

  // Removal notices: AComponent will be told (Notification with opRemove) when this one is
  // destroyed, and the other way round. Owned components are told by their owner anyway.
  void FreeNotification(TComponent* AComponent);
  void RemoveFreeNotification(TComponent* AComponent);

  // Parent hierarchy for streaming and design tools.
  virtual bool HasParent() const { return false; }
  virtual TComponent* GetParentComponent() const { return nullptr; }
  virtual void SetParentComponent(TComponent* AParent) { (void)AParent; }
  // The children the stream writes inside this component. The default: when this component is
  // the root being written, its owned components that have no parent (those with a parent are
  // written by it).
  virtual void GetChildren(const TGetChildProc& AProc, TComponent* ARoot);
  // Owner of the children read inside this component (null: the root being read), and the
  // reader's parent while they are read.
  virtual TComponent* GetChildOwner() { return nullptr; }
  virtual TComponent* GetChildParent() { return this; }
  // Reads this component's properties and children from AReader (defined in
  // Quenra.ComponentStreaming). Overrides call the inherited step, then may look at the
  // reader's current parent.
  virtual void ReadState(TReader& AReader);
  virtual void SetChildOrder(TComponent* AChild, int32_t AOrder) {
    (void)AChild;
    (void)AOrder;
  }

  // Runs once the constructor chain has finished (Create) and after loading (Loaded).
  virtual void AfterConstruction() {}
  // Ends the loading state; overrides call the inherited step.
  virtual void Loaded();
  void BeforeDestruction() override;

 protected:
  // Another component is inserted or removed; the default forwards to the owned components.
  virtual void Notification(TComponent* AComponent, TOperation AOperation);
  void SetStateFlag(TComponentStateFlag AFlag, bool AValue) { FState = AValue ? FState | AFlag : FState & ~AFlag; }

 private:
  void Destroying();
  void ReleaseLinks();
  void Insert(TComponent* AComponent);
  void Remove(TComponent* AComponent);
  void ValidateName(const String& AName) const;

  TComponent* FOwner = nullptr;
  String FName;
  TComponentState FState = 0;
  std::vector<TComponent*> FComponents;
  std::vector<TComponent*> FFreeNotifies;
};

// While alive on a thread, components constructed on that thread begin in the loading state
// (the stream reader's way of making components: nothing starts before loading has ended).
class FUNDREL_API TComponentLoadScope {
 public:
  TComponentLoadScope();
  ~TComponentLoadScope();
  TComponentLoadScope(const TComponentLoadScope&) = delete;
  TComponentLoadScope& operator=(const TComponentLoadScope&) = delete;
  static bool Active();
};

}  // namespace fundrel
