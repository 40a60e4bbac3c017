// Components written inside a parent that does not own them, the way collection items are:
// owned by the root, listed by their parent, re-attached through the reader's parent.
#include <gtest/gtest.h>

#include <algorithm>

#include "host/Quenra.ComponentStreaming.h"

using namespace fundrel;

namespace parenttest {

class TListedItem;

class TListHolder : public TComponent {
 public:
  using TComponent::TComponent;
  TListHolder* GetList() { return this; }
  std::vector<TListedItem*> Items;
  void GetChildren(const TGetChildProc& AProc, TComponent* ARoot) override;
};
FUNDREL_PUBLISHED(TListHolder, TComponent) { P.Prop("List", &TListHolder::GetList); }

class TListedItem : public TComponent {
 public:
  using TComponent::TComponent;
  ~TListedItem() override { SetList(nullptr); }
  bool HasParent() const override { return FList != nullptr; }
  TComponent* GetParentComponent() const override { return FList; }
  void SetParentComponent(TComponent* AParent) override {
    FParentSeen = AParent;
    if (!IsLoading()) SetList(dynamic_cast<TListHolder*>(AParent));
  }
  void ReadState(TReader& AReader) override {
    TComponent::ReadState(AReader);
    // Items written without their list name join the first fitting list of the reader's parent.
    if (!FList && AReader.Parent() != this) SetList(dynamic_cast<TListHolder*>(AReader.Parent()));
  }
  void DefineProperties(TFiler& AFiler) override {
    TComponent::DefineProperties(AFiler);
    AFiler.DefineProperty(
        "_OwnerCollection",
        [this](TReader& R) {
          String name = R.ReadIdent();
          TComponent* parent = R.Parent();
          if (!parent || parent == this) return;
          const TPropInfo* p = ClassOf(*parent)->FindProperty(name);
          if (p && p->Kind == TTypeKind::tkClass) SetList(dynamic_cast<TListHolder*>(p->GetObject(*parent)));
        },
        [](TWriter& W) { W.WriteIdent("List"); }, FList != nullptr && WriteListName);
  }
  void SetList(TListHolder* AList) {
    if (FList) std::erase(FList->Items, this);
    FList = AList;
    if (FList) FList->Items.push_back(this);
  }
  TListHolder* List() const { return FList; }
  TComponent* ParentSeen() const { return FParentSeen; }
  bool WriteListName = true;

 private:
  TListHolder* FList = nullptr;
  TComponent* FParentSeen = nullptr;
};
FUNDREL_PUBLISHED(TListedItem, TComponent) {}

void TListHolder::GetChildren(const TGetChildProc& AProc, TComponent* ARoot) {
  TComponent::GetChildren(AProc, ARoot);
  for (TListedItem* item : Items)
    if (item->Owner() == ARoot) AProc(item);
}

}  // namespace parenttest

namespace {

using namespace parenttest;

TEST(ReaderParent, ItemsReturnToTheirParentThroughTheReader) {
  RegisterClasses<TComponent, TListHolder, TListedItem>();
  auto* root = TComponent::Create<TComponent>(nullptr);
  root->SetName("Form");
  auto* holder = TComponent::Create<TListHolder>(root);
  holder->SetName("Holder");
  auto* a = TComponent::Create<TListedItem>(root);
  a->SetName("A");
  a->SetList(holder);
  auto* b = TComponent::Create<TListedItem>(root);
  b->SetName("B");
  b->SetList(holder);
  b->WriteListName = false;  // re-attached by ReadState alone
  auto* loose = TComponent::Create<TListedItem>(root);
  loose->SetName("Loose");

  String text = ComponentToString(root);
  EXPECT_NE(text.find("  object Holder: TListHolder\n    object A: TListedItem\n      _OwnerCollection = List\n"),
            String::npos)
      << text;
  TComponent* copy = StringToComponent(text);
  auto* holder2 = dynamic_cast<TListHolder*>(copy->FindComponent("Holder"));
  ASSERT_NE(holder2, nullptr);
  auto* a2 = dynamic_cast<TListedItem*>(copy->FindComponent("A"));
  auto* b2 = dynamic_cast<TListedItem*>(copy->FindComponent("B"));
  auto* loose2 = dynamic_cast<TListedItem*>(copy->FindComponent("Loose"));
  ASSERT_TRUE(a2 && b2 && loose2) << "items are owned by the root, not by their parent";
  EXPECT_EQ(a2->ParentSeen(), holder2) << "the reader gives each child its parent before ReadState";
  EXPECT_EQ(a2->List(), holder2);
  EXPECT_EQ(b2->List(), holder2);
  EXPECT_EQ(holder2->Items, (std::vector<TListedItem*>{a2, b2}));
  EXPECT_EQ(loose2->List(), nullptr);
  EXPECT_EQ(loose2->ParentSeen(), copy) << "the root is the parent of its own children";
  EXPECT_EQ(ComponentToString(copy).find("_OwnerCollection"), text.find("_OwnerCollection"));
  TObject::Free(copy);
  TObject::Free(root);
}

}  // namespace
