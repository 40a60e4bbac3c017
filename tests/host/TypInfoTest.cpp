#include <gtest/gtest.h>

#include "TestComponents.h"
#include "host/Quenra.TypInfo.h"

using namespace fundrel;
using namespace streamtest;

namespace streamtest {
// A template instance is declared in the namespace of one of its arguments.
using TWeightedItems = TTypedLockCollection<TWeightedItem>;
FUNDREL_PUBLISHED(TWeightedItems, TLockCollection) {}
}  // namespace streamtest

namespace othernames {
// Same unqualified name as streamtest::TSample, declared in another namespace.
class TSample : public fundrel::TComponent {
 public:
  using TComponent::TComponent;
};
FUNDREL_PUBLISHED(TSample, fundrel::TComponent) {}
}  // namespace othernames

namespace {

struct TFree {
  void operator()(TObject* o) const { TObject::Free(o); }
};

// Not declared: answers its nearest declared ancestor.
class TUndeclaredSample : public TSample {
 public:
  using TSample::TSample;
};

// Members made by the default initialisation, and a declared virtual constructor.
class TPinBase : public TComponent {
 public:
  TPinBase(TComponent* AOwner, int32_t ALockItem) : TComponent(AOwner), LockItem(ALockItem) {}
  int32_t LockItem;
};
FUNDREL_PUBLISHED(TPinBase, TComponent) {
  P.Constructor<TComponent*, int32_t>();
  P.Attribute("Stream", "{A1}");
  P.Attribute("Stream", "{A2}");
}

class TFastPin : public TPinBase {
 public:
  using TPinBase::TPinBase;
};
FUNDREL_PUBLISHED(TFastPin, TPinBase) {
  P.Constructor<TComponent*, int32_t>();
  P.Attribute("Stream", "{B}");
}

class TPinHolder : public TComponent {
 public:
  using TComponent::TComponent;
  TPinBase* Input() const { return FInput; }
  TFastPin* Output() const { return FOutput; }

 private:
  friend void FundrelPublish(TClassBuilder<TPinHolder>&);
  TPinBase* FInput = nullptr;
  TFastPin* FOutput = nullptr;
};
FUNDREL_PUBLISHED(TPinHolder, TComponent) {
  P.Member("InputPin", &TPinHolder::FInput, 1);
  P.Member("OutputPin", &TPinHolder::FOutput, 2);
  P.Attribute("Name", "Holder");
}

TEST(ClassRegistry, ClassReferencesAndVirtualConstruction) {
  RegisterTestClasses();
  TClass sample = ClassOf<TSample>();
  EXPECT_EQ(sample->Name(), "TSample");
  EXPECT_EQ(sample->Parent(), ClassOf<TLockComponent>());
  EXPECT_TRUE(sample->InheritsFrom(ClassOf<TComponent>()));
  EXPECT_TRUE(sample->InheritsFrom(sample));
  EXPECT_FALSE(sample->InheritsFrom(ClassOf<TLockPersistent>()));
  EXPECT_FALSE(ClassOf<TComponent>()->InheritsFrom(sample));
  EXPECT_EQ(ClassOf<TPointItems>()->Name(), "TPointItems");

  std::unique_ptr<TComponent, TFree> undeclared(TComponent::Create<TUndeclaredSample>(nullptr));
  EXPECT_EQ(ClassOf(*undeclared), sample);
  EXPECT_EQ(ClassOf<TUndeclaredSample>(), ClassOf<TLockComponent>()) << "compile-time fallback to the standard base";

  // Modules: test classes live in the executable, the bases in the library.
  EXPECT_EQ(sample->Module(), MainModule());
  EXPECT_EQ(RegisteringModule(sample), MainModule());
  EXPECT_EQ(ClassOf<TLockComponent>()->Module(), LibraryModule());
  EXPECT_NE(MainModule(), LibraryModule());

  // By name, without case; made through the class reference with AfterConstruction run.
  EXPECT_EQ(GetClass("tsample"), sample);
  std::unique_ptr<TComponent, TFree> owner(TComponent::Create<TChild>(nullptr));
  TComponent* made = FindClass("TSample")->CreateComponent(owner.get());
  ASSERT_NE(dynamic_cast<TSample*>(made), nullptr);
  EXPECT_EQ(made->Owner(), owner.get());
  EXPECT_EQ(dynamic_cast<TSample*>(made)->StartsFromCode, 1);
  TSample holder(nullptr);
  TLockCollectionItem* item = ClassOf<TWeightedItem>()->CreateItem(holder.GetItems());
  EXPECT_EQ(holder.GetItems()->Items(0), item);

  TObject* pin = ClassOf<TFastPin>()->Construct<TComponent*, int32_t>(owner.get(), 7);
  ASSERT_NE(dynamic_cast<TFastPin*>(pin), nullptr) << "the descendant's own constructor runs";
  EXPECT_EQ(dynamic_cast<TFastPin*>(pin)->LockItem, 7);

  try {
    FindClass("TNothing");
    ADD_FAILURE();
  } catch (const EClassNotFound& e) {
    EXPECT_STREQ(e.what(), "Class TNothing not found");
  }
  EXPECT_THROW(ClassOf<TComponent>()->Create(), EClassNotFound);
  EXPECT_THROW(ClassOf<TPinBase>()->CreateComponent(nullptr), EClassNotFound);
  EXPECT_THROW(ClassOf<TPinBase>()->Construct<TComponent*>(nullptr), EClassNotFound);
  try {
    RegisterClasses<othernames::TSample>();
    ADD_FAILURE();
  } catch (const EFilerError& e) {
    EXPECT_STREQ(e.what(), "A class named TSample already exists");
  }
  RegisterClasses<TSample>();  // the same class again is harmless
  UnRegisterClass(sample);
  EXPECT_EQ(GetClass("TSample"), nullptr);
  RegisterTestClasses();
  EXPECT_EQ(ClassOf<TPinHolder>()->Attribute("name"), "Holder");
  EXPECT_EQ(ClassOf<TPinHolder>()->Attribute("Missing"), "");
  EXPECT_EQ(ClassOf<TFastPin>()->AttributeValues("Stream"),
            (std::vector<String>{"{B}", "{A1}", "{A2}"})) << "own first, then inherited";
  EXPECT_EQ(ClassOf<TFastPin>()->AttributeValues("stream", false), (std::vector<String>{"{B}"}));
  EXPECT_EQ(ClassOf<TFastPin>()->Attribute("Stream"), "{B}");
}

// Redeclares an inherited property with another default.
class TDeepChild : public TChild {
 public:
  explicit TDeepChild(TComponent* AOwner) : TChild(AOwner) { SetLevel(5); }
};
FUNDREL_PUBLISHED(TDeepChild, TChild) { P.Prop("Level", &TChild::GetLevel, &TChild::SetLevel).Default(5); }

TEST(ClassRegistry, PropertyInformation) {
  std::vector<const TPropInfo*> deep = ClassOf<TDeepChild>()->Properties();
  ASSERT_EQ(deep.size(), 2u) << "Name, and Level once";
  EXPECT_EQ(deep[1]->OrdDefault, 5);
  TDeepChild d(nullptr);
  EXPECT_TRUE(deep[1]->IsDefaultValue(d));

  TClass sample = ClassOf<TSample>();
  std::vector<String> names;
  for (const TPropInfo* p : sample->Properties()) names.push_back(p->Name);
  EXPECT_EQ(names, (std::vector<String>{"Name", "Count", "Big", "Small", "Flag", "Mode", "Options", "Gain", "Ratio",
                                        "Caption", "Shape", "Items", "Partner", "OnStop"}));
  const TPropInfo* small = sample->FindProperty("SMALL");
  ASSERT_NE(small, nullptr);
  EXPECT_EQ(small->Kind, TTypeKind::tkInteger);
  EXPECT_EQ(small->TypeName, "UInt8");
  EXPECT_EQ(small->MaxValue, 255);
  EXPECT_EQ(sample->FindProperty("Flag")->Kind, TTypeKind::tkEnumeration);
  EXPECT_EQ(sample->FindProperty("Flag")->EnumType->Name, "Boolean");
  EXPECT_EQ(sample->FindProperty("Mode")->TypeName, "TMode");
  EXPECT_EQ(sample->FindProperty("Options")->Kind, TTypeKind::tkSet);
  EXPECT_EQ(sample->FindProperty("Ratio")->FloatType, TFloatType::ftSingle);
  EXPECT_EQ(sample->FindProperty("Shape")->ClassType(), ClassOf<TShape>());
  EXPECT_EQ(sample->FindProperty("OnStop")->Kind, TTypeKind::tkMethod);
  EXPECT_EQ(sample->FindProperty("Nope"), nullptr);

  TSample s(nullptr);
  const TPropInfo& count = GetPropInfo(s, "Count");
  EXPECT_TRUE(count.IsDefaultValue(s));
  count.SetOrd(s, 11);
  EXPECT_EQ(s.GetCount(), 11) << "set through the declared setter";
  EXPECT_FALSE(count.IsDefaultValue(s));
  EXPECT_THROW(small->SetOrd(s, 256), ERangeError);
  EXPECT_THROW(small->SetOrd(s, -1), ERangeError);
  EXPECT_THROW(GetPropInfo(s, "Options").SetOrd(s, 8), ERangeError) << "a set of three has no fourth element";
  EXPECT_THROW(GetPropInfo(s, "Items").SetObject(s, nullptr), EPropertyError) << "read-only";
  EXPECT_THROW(count.GetStr(s), EPropertyError);
  EXPECT_THROW(GetPropInfo(s, "Partner").SetObject(s, s.GetShape()), EInvalidCast);

  SetPropValueText(s, "mode", "MDEXACT");
  EXPECT_EQ(s.GetMode(), TMode::mdExact);
  SetPropValueText(s, "Options", "[opC, opA]");
  EXPECT_EQ(GetPropValueText(s, "Options"), "[opA, opC]");
  SetPropValueText(s, "Gain", "0.125");
  EXPECT_EQ(GetPropValueText(s, "Gain"), "0.125");
  EXPECT_THROW(SetPropValueText(s, "Count", "12x"), EConvertError);
  EXPECT_THROW(SetPropValueText(s, "Mode", "mdWarp"), EConvertError);
  try {
    GetPropInfo(s, "Colour");
    ADD_FAILURE();
  } catch (const EPropertyError& e) {
    EXPECT_STREQ(e.what(), "Property Colour does not exist in TSample");
  }

  int calls = 0;
  const TPropInfo& onStop = GetPropInfo(s, "OnStop");
  EXPECT_FALSE(onStop.MethodAssigned(s));
  onStop.SetMethod(s, std::function<void()>([&] { ++calls; }));
  ASSERT_TRUE(onStop.MethodAssigned(s));
  std::any_cast<std::function<void()>>(onStop.GetMethod(s))();
  EXPECT_EQ(calls, 1);

  // Class-typed properties with their values, sorted by name.
  s.SetPartner(&s);
  std::vector<TObjectProp> objects = GetObjectPropList(s);
  ASSERT_EQ(objects.size(), 3u);
  EXPECT_EQ(objects[0].Info->Name, "Items");
  EXPECT_EQ(objects[0].Value, s.GetItems());
  EXPECT_EQ(objects[1].Info->Name, "Partner");
  EXPECT_EQ(objects[1].Value, &s);
  EXPECT_EQ(objects[2].Info->Name, "Shape");
}

TEST(ClassRegistry, EnumerationsAndSets) {
  const TEnumTypeInfo& mode = *EnumInfo<TMode>();
  EXPECT_EQ(mode.Identifiers, (std::vector<String>{"mdSlow", "mdFast", "mdExact"}));
  EXPECT_EQ(GetEnumName(mode, 2), "mdExact");
  EXPECT_EQ(GetEnumName(mode, 3), "");
  EXPECT_EQ(GetEnumName(mode, -1), "");
  EXPECT_EQ(GetEnumValue(mode, "MDFAST"), 1);
  EXPECT_EQ(GetEnumValue(mode, "md"), -1);
  const TEnumTypeInfo& options = *EnumInfo<TOption>();
  EXPECT_EQ(SetToString(options, 0b101), "[opA, opC]");
  EXPECT_EQ(SetToString(options, 0, false), "");
  EXPECT_EQ(StringToSet(options, " opC , opB "), 0b110u);
  EXPECT_EQ(StringToSet(options, "[]"), 0u);
  try {
    StringToSet(options, "[opA, opQ]");
    ADD_FAILURE();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "Invalid property element: opQ");
  }
  EXPECT_THROW(StringToSet(options, "[opA"), EConvertError);
  EXPECT_EQ(EnumInfo<bool>()->Identifiers, (std::vector<String>{"False", "True"}));
}

TEST(ClassRegistry, CollectionCategoriesAndNestedComponents) {
  TClass items = ClassOf<TWeightedItems>();
  EXPECT_TRUE(GetCollectionItemCategories(ClassOf<TLockCollection>()).empty()) << "nothing registered for it";
  // Registration is idempotent, so the tree below is the same however often this runs.
  RegisterCollectionItemClasses(items, {ClassOf<TPointItem>(), ClassOf<TWeightedItem>()});
  RegisterCollectionItemClasses(items, {ClassOf<TWeightedItem>()}, "Special/Heavy");
  RegisterCollectionItemClasses(items, {ClassOf<TPointItem>()});  // already there
  TItemCategoryList tree = GetCollectionItemCategories(items);
  ASSERT_EQ(tree.size(), 2u);
  EXPECT_EQ(tree[0].Name, "");
  EXPECT_EQ(tree[0].Classes, (std::vector<TClass>{ClassOf<TPointItem>(), ClassOf<TWeightedItem>()}));
  EXPECT_EQ(tree[1].Name, "Special");
  EXPECT_TRUE(tree[1].Classes.empty());
  ASSERT_EQ(tree[1].SubCategories.size(), 1u);
  EXPECT_EQ(tree[1].SubCategories[0].Name, "Heavy");
  EXPECT_EQ(tree[1].SubCategories[0].Classes, (std::vector<TClass>{ClassOf<TWeightedItem>()}));

  RegisterNestedComponent(ClassOf<TPinHolder>());
  EXPECT_TRUE(IsNestedComponent(ClassOf<TPinHolder>()));
  EXPECT_FALSE(IsNestedComponent(ClassOf<TComponent>())) << "not inherited upwards";
}

TEST(ClassRegistry, InitClassDefaultsCreatesMembersByDeclaredType) {
  struct TCall {
    TClass Made;
    int32_t LockItem;
    TObject* Parent;
  };
  std::vector<TCall> calls;
  auto make = [&](TObject& AInstance, const TMemberInfo& AMember, TObject* AParent) -> TObject* {
    calls.push_back({AMember.DeclaredType(), AMember.LockItem, AParent});
    return AMember.DeclaredType()->Construct<TComponent*, int32_t>(dynamic_cast<TComponent*>(&AInstance),
                                                                    AMember.LockItem);
  };
  RegisterInitClassDefaults(ClassOf<TPinBase>(), make);
  std::unique_ptr<TComponent, TFree> holder(TComponent::Create<TPinHolder>(nullptr));
  auto* h = dynamic_cast<TPinHolder*>(holder.get());
  ASSERT_NE(h->Input(), nullptr);
  ASSERT_NE(h->Output(), nullptr) << "a member of a descendant type uses the ancestor's initializer";
  EXPECT_EQ(h->Input()->Owner(), h);
  EXPECT_EQ(h->Input()->LockItem, 1);
  EXPECT_EQ(h->Output()->LockItem, 2);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1].Made, ClassOf<TFastPin>());

  // Filled members are left alone; a nearer registration wins; the parent is passed on.
  InitClassDefaults(*h);
  EXPECT_EQ(calls.size(), 2u);
  int fastCalls = 0;
  RegisterInitClassDefaults(ClassOf<TFastPin>(), [&](TObject& I, const TMemberInfo& M, TObject* P) {
    ++fastCalls;
    return make(I, M, P);
  });
  std::unique_ptr<TComponent, TFree> second(TComponent::Create<TPinHolder>(nullptr));
  EXPECT_EQ(fastCalls, 1);
  TSample parent(nullptr);
  auto* bare = new TPinHolder(nullptr);
  InitClassDefaults(*bare, &parent);
  EXPECT_EQ(calls.back().Parent, &parent);
  TObject::Free(bare);
  UnRegisterInitClassDefaults(ClassOf<TFastPin>());
  UnRegisterInitClassDefaults(ClassOf<TPinBase>());
  std::unique_ptr<TComponent, TFree> third(TComponent::Create<TPinHolder>(nullptr));
  EXPECT_EQ(dynamic_cast<TPinHolder*>(third.get())->Input(), nullptr);
}

}  // namespace
