#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "host/Quenra.Types.h"

using namespace fundrel;

namespace {

std::vector<std::string> gLog;

// A nested property object: its changes reach the holder through the holder's callback.
class TTestColor : public TLockPersistent {
 public:
  using TLockPersistent::TLockPersistent;
  uint32_t GetColor() const { return FColor; }
  void SetColor(uint32_t AValue) { Setter(FColor, AValue); }
  void Assign(const TPersistent& ASource) override {
    if (auto* s = dynamic_cast<const TTestColor*>(&ASource)) return SetColor(s->FColor);
    TLockPersistent::Assign(ASource);
  }

 private:
  uint32_t FColor = 0xFF000000;  // declared default
};

class TTestBrush : public TLockPersistent {
 public:
  TTestBrush(TPersistent* AOwner, TIntf<IChangeNotifyLock> ALock, TChangeCallback AOnChange)
      : TLockPersistent(AOwner, ALock, std::move(AOnChange)), FHatch(this, ALock, [this] {
          gLog.push_back("brush drops its cache");
          NotifyProp();
        }) {}
  TTestColor& Hatch() { return FHatch; }

 private:
  TTestColor FHatch;
};

class TTestComponent : public TLockComponent {
 public:
  explicit TTestComponent(TComponent* AOwner)
      : TLockComponent(AOwner), FBrush(this, Lock(), ChangeCallback()), FCountAtConstruction(FCount) {}
  ~TTestComponent() override { gLog.push_back("destroyed " + Name()); }
  void CreateStart(bool AFromConstructor) override {
    TLockComponent::CreateStart(AFromConstructor);
    gLog.push_back(std::string("start ") + (AFromConstructor ? "code" : "loaded") + " " + Name());
  }
  TTestBrush& Brush() { return FBrush; }
  uint32_t GetCount() const { return FCount; }
  void SetCount(uint32_t AValue) { SetterMin(FCount, AValue, 1u); }
  uint32_t CountAtConstruction() const { return FCountAtConstruction; }
  TComponent* Removed = nullptr;

 protected:
  void Notification(TComponent* AComponent, TOperation AOperation) override {
    TLockComponent::Notification(AComponent, AOperation);
    if (AOperation == TOperation::opRemove) Removed = AComponent;
  }

 private:
  uint32_t FCount = 10;
  TTestBrush FBrush;
  uint32_t FCountAtConstruction;
};

class TTestItem : public TLockCollectionItem {
 public:
  using TLockCollectionItem::TLockCollectionItem;
  int GetValue() const { return FValue; }
  void SetValue(int AValue) { Setter(FValue, AValue); }
  void Assign(const TPersistent& ASource) override {
    if (auto* s = dynamic_cast<const TTestItem*>(&ASource)) return SetValue(s->FValue);
    TLockCollectionItem::Assign(ASource);
  }

 private:
  int FValue = 0;
};

class TOtherItem : public TTestItem {
 public:
  using TTestItem::TTestItem;
  TLockCollectionItem* CreateLike(TLockCollection* ACollection) const override { return new TOtherItem(ACollection); }
};

}  // namespace

TEST(Components, OwnershipNamesAndRemovalNotices) {
  gLog.clear();
  auto* root = TComponent::Create<TTestComponent>(nullptr);
  auto* a = TComponent::Create<TTestComponent>(root);
  auto* b = TComponent::Create<TTestComponent>(root);
  a->SetName("First");
  EXPECT_THROW(b->SetName("first"), EComponentError);  // names compare without case
  EXPECT_THROW(b->SetName("2nd"), EComponentError);
  b->SetName("Second");
  EXPECT_EQ(root->ComponentCount(), 2);
  EXPECT_EQ(root->FindComponent("SECOND"), b);
  EXPECT_EQ(b->ComponentIndex(), 1);
  EXPECT_THROW(root->Components(2), ERangeError);

  // A component that is not owned learns of the other's death through a removal notice.
  auto* watcher = TComponent::Create<TTestComponent>(nullptr);
  watcher->FreeNotification(a);
  TObject::Free(a);
  EXPECT_EQ(watcher->Removed, a);
  EXPECT_EQ(root->Removed, a);
  EXPECT_EQ(b->Removed, a);  // siblings hear of it through their owner
  EXPECT_EQ(root->ComponentCount(), 1);

  gLog.clear();
  TObject::Free(root);
  EXPECT_EQ(gLog, (std::vector<std::string>{"destroyed Second", "destroyed "}));
  TObject::Free(watcher);
}

TEST(Components, CreateStartRunsOnceAfterConstructionOrAfterLoading) {
  gLog.clear();
  auto* made = TComponent::Create<TTestComponent>(nullptr);
  EXPECT_EQ(gLog, (std::vector<std::string>{"start code "}));
  EXPECT_TRUE(made->Started());
  EXPECT_EQ(made->CountAtConstruction(), 10u);  // defaults hold before the constructor body runs

  gLog.clear();
  TTestComponent* loaded;
  {
    TComponentLoadScope loading;
    loaded = TComponent::Create<TTestComponent>(made);
  }
  EXPECT_TRUE(loaded->IsLoading());
  EXPECT_TRUE(gLog.empty());
  loaded->SetName("Loaded1");
  loaded->Loaded();
  EXPECT_FALSE(loaded->IsLoading());
  EXPECT_EQ(gLog, (std::vector<std::string>{"start loaded Loaded1"}));

  made->SetDesigning(true);
  EXPECT_TRUE(loaded->IsDesigning());
  EXPECT_TRUE(TComponent::Create<TTestComponent>(made)->IsDesigning());  // inherited from the owner
  TObject::Free(made);
}

TEST(Components, ChangesTravelUpTheOwnerChainOnce) {
  auto* c = TComponent::Create<TTestComponent>(nullptr);
  int changes = 0;
  c->Lock()->OnChange().Add([&] { ++changes; });
  gLog.clear();
  c->Brush().Hatch().SetColor(0xFF00FF00);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(gLog, (std::vector<std::string>{"brush drops its cache"}));
  c->Brush().Hatch().SetColor(0xFF00FF00);  // same value: nobody hears
  EXPECT_EQ(changes, 1);
  c->SetCount(0);  // raised to the minimum 1
  EXPECT_EQ(c->GetCount(), 1u);
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(c->Brush().Hatch().GetOwnerComponent(), c);
  EXPECT_EQ(c->Brush().Hatch().GetLock(), c->GetLock());

  // Destruction refuses other threads' sections from its start.
  c->BeforeDestruction();
  bool granted = true;
  std::thread([&] { granted = bool(c->GetLock()->WriteLock()); }).join();
  EXPECT_FALSE(granted);
  EXPECT_TRUE(c->GetLock()->WriteLock());
  delete c;
}

TEST(Components, PairedLockReplacesTheComponentLockBeforeMembers) {
  struct TInOut : TLockComponent {
    TIntf<IChangeNotifyLock> Input, Output;
    explicit TInOut(TComponent* AOwner) : TLockComponent(AOwner) {
      Input = Lock();
      Output = TIntf<IChangeNotifyLock>(new TChangeNotifyLock);
      ReplaceLock(TIntf<IChangeNotifyLock>(new TPairedLock(Input, Output)));
    }
  };
  auto* c = TComponent::Create<TInOut>(nullptr);
  int changes = 0;
  c->Lock()->OnChange().Add([&] { ++changes; });
  TEnabledPersistent outSide(c, c->Output);  // a member on the output side, no callback
  outSide.SetEnabled(false);
  c->Input->NotifyChange();
  EXPECT_EQ(changes, 2);
  {
    TLockHolder w = c->Lock()->WriteLock();
    EXPECT_EQ(c->Output->HeldByCurrentThread().Write, 1u);
  }
  TObject::Free(c);
}

TEST(EnabledPersistent, DefaultsAssignAndEnableProtocol) {
  TIntf<IChangeNotifyLock> lock(new TChangeNotifyLock);
  int changes = 0;
  TEnabledPersistent a(nullptr, lock, [&] { ++changes; }), b(nullptr, lock, {}, false);
  EXPECT_TRUE(a.GetEnabled());
  EXPECT_FALSE(b.GetIsEnabled());
  a.Assign(b);
  EXPECT_FALSE(a.GetEnabled());
  EXPECT_EQ(changes, 1);
  a.Assign(b);  // equal state: nobody hears
  EXPECT_EQ(changes, 1);
  a.SetIsEnabled(true);
  EXPECT_TRUE(a.GetEnabled());
  TTestColor color(nullptr, lock);
  EXPECT_THROW(color.Assign(a), EConvertError);
}

TEST(Collections, ItemsShareTheLockAndNotifyTheOwner) {
  TIntf<IChangeNotifyLock> lock(new TChangeNotifyLock);
  int changes = 0;
  TTypedLockCollection<TTestItem> list(nullptr, lock, [&] { ++changes; });
  TTestItem* first = list.Add();
  TTestItem* second = list.Add();
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(first->GetLock(), lock.get());
  second->SetValue(5);
  EXPECT_EQ(changes, 3);
  second->SetIndex(-5);  // clamped to the first place
  EXPECT_EQ(list[0], second);
  EXPECT_EQ(changes, 4);
  list.Exchange(0, 1);
  EXPECT_EQ(list[0], first);
  EXPECT_THROW(list.Exchange(0, 2), ERangeError);
  EXPECT_EQ(list.FindItemID(second->GetID()), second);

  list.BeginUpdate();
  list.Add()->SetValue(1);
  list.Add()->SetValue(2);
  list.Delete(0);
  EXPECT_EQ(changes, 5);  // Exchange was the fifth
  list.EndUpdate();
  EXPECT_EQ(changes, 6);  // once for the whole update
  EXPECT_EQ(list.Count(), 3);

  TObject::Free(list[1]);  // an item destroyed directly leaves its list
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(changes, 7);
}

TEST(Collections, AssignRecreatesItemClassesAndIsSilentWhenEqual) {
  TIntf<IChangeNotifyLock> lock(new TChangeNotifyLock);
  int changes = 0;
  TTypedLockCollection<TTestItem> source(nullptr, lock), target(nullptr, lock, [&] { ++changes; });
  source.Add()->SetValue(1);
  new TOtherItem(&source);  // a descendant class joins the same list
  source.Items(1)->SetValue(2);
  target.Add()->SetValue(9);
  target.Add();
  target.Add();
  changes = 0;
  target.Assign(source);
  ASSERT_EQ(target.Count(), 2);
  EXPECT_EQ(target[0]->GetValue(), 1);
  EXPECT_NE(dynamic_cast<TOtherItem*>(target.Items(1)), nullptr);
  EXPECT_EQ(target[1]->GetValue(), 2);
  EXPECT_EQ(changes, 1);
  target.Assign(source);
  EXPECT_EQ(changes, 1);
  target.Clear();
  EXPECT_EQ(target.Count(), 0);
}
