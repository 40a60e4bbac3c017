// Class references, the class registry and the type information of persisted ("published")
// properties.
//
// A class gets a class reference by one declaration next to it, at namespace scope in the
// class's own namespace (for a template instance: the namespace of the template or of one of
// its arguments, where argument-dependent lookup finds it), listing its persisted properties in
// order, one line each:
//
//   FUNDREL_PUBLISHED(TDVGPHatch, TLockPersistent) {
//     P.Prop("ForegroundColor", &TDVGPHatch::GetForegroundColor, &TDVGPHatch::SetForegroundColor).Default(0xFFFFFFFF);
//     P.Prop("Style", &TDVGPHatch::GetStyle, &TDVGPHatch::SetStyle).Default(THatchStyle::hsHorizontal);
//   }
//
// Property kinds follow from the getter's value type: integers (ordinal), enumerations declared
// with FUNDREL_ENUM_NAMES and bool (enumeration), float and double (float), String (string),
// pointers to TObject descendants (class-typed), std::function (event); sets are declared with
// P.SetProp<TElement>(...) over an integer mask whose bit i is element i.
//
// A property is written to a stream when its stored predicate holds (none means stored) and
// it differs from its declared default (none means always written).
//
// Declared classes get their reference when the module holding the declaration is loaded (or
// at their first ClassOf, whichever comes first).
// Registration (RegisterClasses) makes a class findable by name. Every registry here forgets
// what a module registered, and the classes a module declared, when that module is unloaded.
// The registries may be used from any thread; registration normally runs at unit start-up.
#pragma once

#include <algorithm>
#include <any>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <type_traits>
#include <typeinfo>
#include <vector>

#include "host/Quenra.Classes.h"
#include "host/Quenra.Modules.h"
#include "host/Quenra.Types.h"

namespace fundrel {

class TClassInfo;
template <typename T>
class TClassBuilder;
namespace detail {
template <typename T>
void BuildClass(TClassInfo& AInfo);
struct TRegistryAccess;
}  // namespace detail
// A class reference: identity of a declared class, never null for a declared class.
using TClass = const TClassInfo*;

// Errors of the class registry and of component streaming.
class FUNDREL_API EFilerError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};
// An unknown class name, or a class that cannot be made the way asked.
class FUNDREL_API EClassNotFound : public EFilerError {
 public:
  using EFilerError::EFilerError;
};

enum class TTypeKind : uint8_t { tkInteger, tkEnumeration, tkSet, tkFloat, tkString, tkClass, tkMethod };
enum class TFloatType : uint8_t { ftSingle, ftDouble };

// Identifiers of an enumeration by value: value i is Identifiers[i]. Enumerations are contiguous
// from 0. Infos live as long as the process.
struct TEnumTypeInfo {
  String Name;
  std::vector<String> Identifiers;
};

// The identifier of AValue, empty when out of range.
FUNDREL_API String GetEnumName(const TEnumTypeInfo& AInfo, int64_t AValue);
// The value of AIdent (compared without case), -1 when unknown.
FUNDREL_API int64_t GetEnumValue(const TEnumTypeInfo& AInfo, const String& AIdent);
// "[a, b]" with the elements of AMask in value order; AMask bit i is element i.
FUNDREL_API String SetToString(const TEnumTypeInfo& AInfo, uint64_t AMask, bool ABrackets = true);
// The inverse of SetToString, brackets optional; an unknown element raises EConvertError naming it.
FUNDREL_API uint64_t StringToSet(const TEnumTypeInfo& AInfo, const String& AText);

// One persisted property of a class. Accessors take an instance of the declaring class or of a
// descendant; they run the declared getter and setter (so setters notify as usual).
struct FUNDREL_API TPropInfo {
  String Name;
  TTypeKind Kind = TTypeKind::tkInteger;
  String TypeName;                          // "Int32", "Double", "String", the enumeration's name...
  const TEnumTypeInfo* EnumType = nullptr;  // enumeration (bool included), or the element of a set
  TFloatType FloatType = TFloatType::ftDouble;
  int64_t MinValue = 0, MaxValue = 0;  // integers: the range of the declared type
  std::optional<int64_t> OrdDefault;   // integer, enumeration, set
  std::optional<double> FloatDefault;
  std::optional<String> StrDefault;

  TClass ClassType() const;  // tkClass: the declared class
  bool IsReadable() const { return bool(FGetOrd || FGetFloat || FGetStr || FGetObj || FGetAny); }
  bool IsWritable() const { return bool(FSetOrd || FSetFloat || FSetStr || FSetObj || FSetAny); }
  bool HasDefault() const { return OrdDefault || FloatDefault || StrDefault; }

  // Integers, enumerations (bool: 0, 1) and sets (the mask). SetOrd raises ERangeError outside
  // the declared range and EPropertyError on a read-only property.
  int64_t GetOrd(const TObject& AInstance) const;
  void SetOrd(TObject& AInstance, int64_t AValue) const;
  double GetFloat(const TObject& AInstance) const;
  void SetFloat(TObject& AInstance, double AValue) const;
  String GetStr(const TObject& AInstance) const;
  void SetStr(TObject& AInstance, const String& AValue) const;
  // The current object (may be null). SetObject raises EInvalidCast for an object of another class.
  TObject* GetObject(const TObject& AInstance) const;
  void SetObject(TObject& AInstance, TObject* AValue) const;
  // Events: whether a handler is set, and the handler as its declared std::function type.
  bool MethodAssigned(const TObject& AInstance) const;
  std::any GetMethod(const TObject& AInstance) const;
  void SetMethod(TObject& AInstance, const std::any& AValue) const;

  // The stored predicate (true when none was declared).
  bool IsStored(const TObject& AInstance) const;
  // Whether the current value equals the declared default (false without a default).
  bool IsDefaultValue(const TObject& AInstance) const;

  // Filled by the declarations (TClassBuilder).
  TClass (*FClassType)() = nullptr;
  std::function<int64_t(TObject&)> FGetOrd;
  std::function<void(TObject&, int64_t)> FSetOrd;
  std::function<double(TObject&)> FGetFloat;
  std::function<void(TObject&, double)> FSetFloat;
  std::function<String(TObject&)> FGetStr;
  std::function<void(TObject&, const String&)> FSetStr;
  std::function<TObject*(TObject&)> FGetObj;
  std::function<void(TObject&, TObject*)> FSetObj;
  std::function<std::any(TObject&)> FGetAny;
  std::function<void(TObject&, const std::any&)> FSetAny;
  std::function<bool(TObject&)> FAssigned;
  std::function<bool(TObject&)> FStored;
};

// A property that cannot be read or written as asked.
class FUNDREL_API EPropertyError : public Exception {
 public:
  using Exception::Exception;
};

// A class-typed member that the default initialisation creates (InitClassDefaults): a pointer
// field of a declared class. LockItem tells the initializer which of the holder's locks the new
// object shares; its values belong to whoever registers the initializer.
struct FUNDREL_API TMemberInfo {
  String Name;
  int32_t LockItem = 0;
  TClass DeclaredType() const { return FClassType(); }
  TObject* Get(const TObject& AInstance) const { return FGet(const_cast<TObject&>(AInstance)); }
  void Set(TObject& AInstance, TObject* AValue) const { FSet(AInstance, AValue); }

  TClass (*FClassType)() = nullptr;
  std::function<TObject*(TObject&)> FGet;
  std::function<void(TObject&, TObject*)> FSet;
};

// A class reference: name, parent, the module that holds the class, its persisted properties
// and members, attributes, and its virtual constructors.
class FUNDREL_API TClassInfo {
 public:
  TClassInfo(const TClassInfo&) = delete;
  TClassInfo& operator=(const TClassInfo&) = delete;

  const String& Name() const { return FName; }
  TClass Parent() const { return FParent; }
  // True for this class and its descendants.
  bool InheritsFrom(TClass AClass) const;
  // The module whose code declares the class (the first module whose declaration ran).
  TModuleHandle Module() const { return FModule; }
  // The C++ type, as typeid(T).name().
  const std::string& TypeKey() const { return FTypeKey; }

  // Declared properties, parents' first, each in declaration order.
  const std::vector<const TPropInfo*>& Properties() const { return FAllProps; }
  // By name, compared without case; null when the class and its parents have none.
  const TPropInfo* FindProperty(const String& AName) const;
  const std::vector<const TMemberInfo*>& Members() const { return FAllMembers; }
  // Class attributes, keys compared without case: the first value (own class first, then the
  // parents'), "" when absent; or every value of the key, own first (AInherited: parents' too).
  String Attribute(const String& AKey) const;
  std::vector<String> AttributeValues(const String& AKey, bool AInherited = true) const;

  // Virtual constructors. Each raises EClassNotFound when the class cannot be made that way
  // (abstract, or no such constructor). Create makes a default-constructed object (a counted
  // object starts at count 0); CreateComponent runs TComponent::Create<T>(AOwner);
  // CreateItem makes a collection item inside ACollection.
  bool CanCreate() const { return bool(FCreate); }
  TObject* Create() const;
  bool IsComponent() const { return bool(FCreateComponent) || FIsComponent; }
  TComponent* CreateComponent(TComponent* AOwner) const;
  TLockCollectionItem* CreateItem(TLockCollection* ACollection) const;
  // A constructor declared with P.Constructor<A...>(), called with exactly these argument types.
  template <typename... A>
  TObject* Construct(A... AArgs) const {
    auto* f = FindConstructor(typeid(std::function<TObject*(A...)>).name());
    if (!f) RaiseNoConstructor();
    return std::any_cast<const std::function<TObject*(A...)>&>(*f)(std::move(AArgs)...);
  }

 private:
  template <typename T>
  friend class TClassBuilder;
  template <typename T>
  friend void detail::BuildClass(TClassInfo& AInfo);
  friend struct detail::TRegistryAccess;
  TClassInfo() = default;
  const std::any* FindConstructor(const char* AKey) const;
  [[noreturn]] void RaiseNoConstructor() const;

  String FName;
  TClass FParent = nullptr;
  TModuleHandle FModule = nullptr;
  std::string FTypeKey;
  bool FIsComponent = false;
  bool FProvisionalModule = false;
  std::vector<std::unique_ptr<TPropInfo>> FOwnProps;
  std::vector<const TPropInfo*> FAllProps;
  std::vector<std::unique_ptr<TMemberInfo>> FOwnMembers;
  std::vector<const TMemberInfo*> FAllMembers;
  std::vector<std::pair<String, String>> FAttributes;
  std::function<TObject*()> FCreate;
  std::function<TComponent*(TComponent*)> FCreateComponent;
  std::function<TLockCollectionItem*(TLockCollection*)> FCreateItem;
  std::vector<std::pair<std::string, std::any>> FConstructors;
};

// The class of a live object: its most-derived declared class (an undeclared class answers its
// nearest declared ancestor).
FUNDREL_API TClass ClassOf(const TObject& AObject);
// The same for a C++ type; null when neither it nor an ancestor is declared.
FUNDREL_API TClass ClassOfType(const std::type_info& AType);

// Registration by name. Registering a class again is harmless; a different class under a name
// already taken raises EFilerError "A class named <name> already exists".
FUNDREL_API void RegisterClass(TClass AClass);
FUNDREL_API void RegisterClasses(std::initializer_list<TClass> AClasses);
template <typename... T>
void RegisterClasses();
FUNDREL_API void UnRegisterClass(TClass AClass);
// Null when no class of that name (compared without case) is registered.
FUNDREL_API TClass GetClass(const String& AName);
// Raises EClassNotFound "Class <name> not found".
FUNDREL_API TClass FindClass(const String& AName);
// The module whose code registered AClass (null when not registered).
FUNDREL_API TModuleHandle RegisteringModule(TClass AClass);

// Nested components (collection items and the like): written inside their parent.
FUNDREL_API void RegisterNestedComponent(TClass AClass);
FUNDREL_API bool IsNestedComponent(TClass AClass);

// Item classes a persistent collection class may hold, grouped in categories for design tools.
// ACategory is a path of category names separated by '/' ("" puts the classes at top level
// under an unnamed category). Classes keep registration order; registering one again in the
// same category changes nothing.
struct TItemCategory {
  String Name;
  std::vector<TClass> Classes;
  std::vector<TItemCategory> SubCategories;
};
using TItemCategoryList = std::vector<TItemCategory>;
FUNDREL_API void RegisterCollectionItemClasses(TClass ACollectionClass, std::initializer_list<TClass> AItemClasses,
                                               const String& ACategory = String());
// The category tree registered for exactly ACollectionClass (empty when none); a copy.
FUNDREL_API TItemCategoryList GetCollectionItemCategories(TClass ACollectionClass);

// Default initialisation of class-typed members. AProc makes the object for a member whose
// declared type is AMemberType or a descendant (the registration for the nearest ancestor wins);
// it receives the holding instance, the member and the optional parent object, and returns
// the new object (owned as the initializer arranges, typically by the holding component).
using TInitClassDefaultsProc = std::function<TObject*(TObject& AInstance, const TMemberInfo& AMember, TObject* AParent)>;
FUNDREL_API void RegisterInitClassDefaults(TClass AMemberType, TInitClassDefaultsProc AProc);
FUNDREL_API void UnRegisterInitClassDefaults(TClass AMemberType);
// (Declared in Quenra.Classes.) Fills every null member of AInstance's class for which an
// initializer is registered; components made by TComponent::Create get this before
// AfterConstruction.

// An instance's class-typed properties with their current values, sorted by name (byte order).
struct TObjectProp {
  const TPropInfo* Info;
  TObject* Value;
};
FUNDREL_API std::vector<TObjectProp> GetObjectPropList(const TObject& AInstance);

// Property access by name; EPropertyError "Property <name> does not exist in <class>" when the
// instance's class has no such property. Enumerations and sets go through their identifiers.
FUNDREL_API const TPropInfo& GetPropInfo(const TObject& AInstance, const String& AName);
FUNDREL_API String GetPropValueText(const TObject& AInstance, const String& AName);
FUNDREL_API void SetPropValueText(TObject& AInstance, const String& AName, const String& AValue);

namespace detail {
template <typename T>
struct TTypeTag {};
template <typename T>
struct TParentTag {
  using Type = T;
};
struct TEnumNames {
  const char* Name;
  const char* Identifiers;  // comma-separated
};

template <typename T>
concept Declared = requires(TClassBuilder<T>& b) { FundrelPublish(b); };
template <typename E>
concept EnumDeclared = requires { FundrelEnumNames(TTypeTag<E>{}); };

// ASite is an address inside the module whose code declares the class (the declaration's own
// static variable, which the loader never moves between modules); null for a class first met
// through ClassOf, which is attributed to the calling code until its declaration runs.
FUNDREL_API TClass FindOrDeclareClass(const char* ATypeKey, void (*ABuild)(TClassInfo&), const void* ASite);
FUNDREL_API const TEnumTypeInfo* FindOrAddEnum(const char* ATypeKey, const char* AName, const char* AIdentifiers);
FUNDREL_API const TEnumTypeInfo* BooleanEnum();
struct FUNDREL_API TRegistryAccess {
  static TClassInfo* New() { return new TClassInfo; }
  static void SetModule(TClassInfo& AInfo, TModuleHandle AModule, bool AProvisional) {
    AInfo.FModule = AModule;
    AInfo.FProvisionalModule = AProvisional;
  }
  static bool ModuleProvisional(const TClassInfo& AInfo) { return AInfo.FProvisionalModule; }
  static void Init(TClassInfo& AInfo, const char* AName, TClass AParent, const std::type_info& AType);
  static void Finish(TClassInfo& AInfo);
};
FUNDREL_API void RegisterClassFrom(TClass AClass, const void* ACaller);
FUNDREL_API String StripNamespace(const char* AName);

template <typename T>
struct IsStdFunction : std::false_type {};
template <typename R, typename... A>
struct IsStdFunction<std::function<R(A...)>> : std::true_type {};

}  // namespace detail

template <typename E>
const TEnumTypeInfo* EnumInfo() {
  if constexpr (std::is_same_v<E, bool>) {
    return detail::BooleanEnum();
  } else {
    static_assert(detail::EnumDeclared<E>, "declare the enumeration's identifiers with FUNDREL_ENUM_NAMES");
    detail::TEnumNames names = FundrelEnumNames(detail::TTypeTag<E>{});
    return detail::FindOrAddEnum(typeid(E).name(), names.Name, names.Identifiers);
  }
}

// The class reference of T; an undeclared T answers its nearest standard ancestor's.
template <typename T>
TClass ClassOf() {
  if constexpr (detail::Declared<T>)
    return detail::FindOrDeclareClass(typeid(T).name(), &detail::BuildClass<T>, nullptr);
  else if constexpr (std::is_base_of_v<TLockCollectionItem, T>)
    return ClassOf<TLockCollectionItem>();
  else if constexpr (std::is_base_of_v<TLockCollection, T>)
    return ClassOf<TLockCollection>();
  else if constexpr (std::is_base_of_v<TLockComponent, T>)
    return ClassOf<TLockComponent>();
  else if constexpr (std::is_base_of_v<TComponent, T>)
    return ClassOf<TComponent>();
  else if constexpr (std::is_base_of_v<TEnabledPersistent, T>)
    return ClassOf<TEnabledPersistent>();
  else if constexpr (std::is_base_of_v<TLockPersistent, T>)
    return ClassOf<TLockPersistent>();
  else if constexpr (std::is_base_of_v<TPersistent, T>)
    return ClassOf<TPersistent>();
  else if constexpr (std::is_base_of_v<TInterfacedObject, T>)
    return ClassOf<TInterfacedObject>();
  else
    return ClassOf<TObject>();
}

template <typename... T>
[[gnu::noinline]] void RegisterClasses() {
  (detail::RegisterClassFrom(ClassOf<T>(), __builtin_return_address(0)), ...);
}

// A property under declaration: adds its default and stored predicate.
template <typename T>
class TPropDecl {
 public:
  explicit TPropDecl(TPropInfo& AInfo) : FInfo(AInfo) {}
  template <typename V>
  TPropDecl& Default(V AValue) {
    if constexpr (std::is_convertible_v<V, String> && !std::is_arithmetic_v<V>) {
      FInfo.StrDefault = String(AValue);
    } else if constexpr (std::is_enum_v<V>) {
      FInfo.OrdDefault = static_cast<int64_t>(AValue);
    } else if (FInfo.Kind == TTypeKind::tkFloat) {
      FInfo.FloatDefault = static_cast<double>(AValue);
    } else {
      FInfo.OrdDefault = static_cast<int64_t>(AValue);
    }
    return *this;
  }
  // A member function answering whether the property is written, or a constant.
  TPropDecl& Stored(bool (T::*APredicate)() const) {
    FInfo.FStored = [APredicate](TObject& o) { return (static_cast<T&>(o).*APredicate)(); };
    return *this;
  }
  TPropDecl& Stored(bool AValue) {
    FInfo.FStored = [AValue](TObject&) { return AValue; };
    return *this;
  }

 private:
  TPropInfo& FInfo;
};

// What a FUNDREL_PUBLISHED body receives as P.
template <typename T>
class TClassBuilder {
 public:
  explicit TClassBuilder(TClassInfo& AInfo) : FInfo(AInfo) {}

  // A property read by AGetter (a const or non-const member function, or a field) and written by
  // ASetter (a member function taking the value, or a field; nullptr for read-only).
  template <typename G, typename S = std::nullptr_t>
  TPropDecl<T> Prop(const char* AName, G AGetter, S ASetter = nullptr) {
    using V = std::remove_cvref_t<decltype(Get(AGetter, std::declval<T&>()))>;
    TPropInfo& info = NewProp(AName);
    if constexpr (detail::IsStdFunction<V>::value) {
      info.Kind = TTypeKind::tkMethod;
      info.TypeName = "Event";
      info.FAssigned = [AGetter](TObject& o) { return static_cast<bool>(Get(AGetter, static_cast<T&>(o))); };
      info.FGetAny = [AGetter](TObject& o) { return std::any(Get(AGetter, static_cast<T&>(o))); };
      if constexpr (!std::is_null_pointer_v<S>)
        info.FSetAny = [ASetter](TObject& o, const std::any& v) {
          Set(ASetter, static_cast<T&>(o), v.has_value() ? std::any_cast<V>(v) : V());
        };
    } else if constexpr (std::is_pointer_v<V>) {
      using U = std::remove_cv_t<std::remove_pointer_t<V>>;
      static_assert(std::is_base_of_v<TObject, U>, "class-typed properties hold TObject descendants");
      info.Kind = TTypeKind::tkClass;
      info.FClassType = &ClassOf<U>;
      info.FGetObj = [AGetter](TObject& o) -> TObject* {
        return const_cast<U*>(Get(AGetter, static_cast<T&>(o)));
      };
      if constexpr (!std::is_null_pointer_v<S>)
        info.FSetObj = [ASetter](TObject& o, TObject* v) {
          U* typed = v ? dynamic_cast<U*>(v) : nullptr;
          if (v && !typed) RaiseInvalidCast();
          if constexpr (std::is_invocable_v<S, T&, U*>) {
            Set(ASetter, static_cast<T&>(o), typed);
          } else {
            if (!typed) throw EPropertyError("Cannot assign nil to a property that copies its value");
            Set(ASetter, static_cast<T&>(o), *typed);
          }
        };
    } else if constexpr (std::is_same_v<V, String>) {
      info.Kind = TTypeKind::tkString;
      info.TypeName = "String";
      info.FGetStr = [AGetter](TObject& o) { return String(Get(AGetter, static_cast<T&>(o))); };
      if constexpr (!std::is_null_pointer_v<S>)
        info.FSetStr = [ASetter](TObject& o, const String& v) { Set(ASetter, static_cast<T&>(o), v); };
    } else if constexpr (std::is_floating_point_v<V>) {
      info.Kind = TTypeKind::tkFloat;
      info.FloatType = std::is_same_v<V, float> ? TFloatType::ftSingle : TFloatType::ftDouble;
      info.TypeName = std::is_same_v<V, float> ? "Single" : "Double";
      info.FGetFloat = [AGetter](TObject& o) { return static_cast<double>(Get(AGetter, static_cast<T&>(o))); };
      if constexpr (!std::is_null_pointer_v<S>)
        info.FSetFloat = [ASetter](TObject& o, double v) { Set(ASetter, static_cast<T&>(o), static_cast<V>(v)); };
    } else if constexpr (std::is_enum_v<V> || std::is_same_v<V, bool>) {
      info.Kind = TTypeKind::tkEnumeration;
      info.EnumType = EnumInfo<V>();
      info.TypeName = info.EnumType->Name;
      info.MinValue = 0;
      info.MaxValue = static_cast<int64_t>(info.EnumType->Identifiers.size()) - 1;
      OrdAccess<V>(info, AGetter, ASetter);
    } else {
      static_assert(std::is_integral_v<V>, "unsupported property type");
      info.Kind = TTypeKind::tkInteger;
      info.TypeName = (std::is_signed_v<V> ? "Int" : "UInt") + std::to_string(sizeof(V) * 8);
      info.MinValue = static_cast<int64_t>(std::numeric_limits<V>::min());
      info.MaxValue = sizeof(V) == 8 && !std::is_signed_v<V> ? std::numeric_limits<int64_t>::max()
                                                             : static_cast<int64_t>(std::numeric_limits<V>::max());
      OrdAccess<V>(info, AGetter, ASetter);
    }
    return TPropDecl<T>(info);
  }

  // A set of enumeration E held as an integer mask (bit i = element i).
  template <typename E, typename G, typename S = std::nullptr_t>
  TPropDecl<T> SetProp(const char* AName, G AGetter, S ASetter = nullptr) {
    using V = std::remove_cvref_t<decltype(Get(AGetter, std::declval<T&>()))>;
    static_assert(std::is_integral_v<V>, "a set is held as an integer mask");
    TPropInfo& info = NewProp(AName);
    info.Kind = TTypeKind::tkSet;
    info.EnumType = EnumInfo<E>();
    info.TypeName = "set of " + info.EnumType->Name;
    info.MinValue = 0;
    info.MaxValue = std::numeric_limits<int64_t>::max();
    OrdAccess<V>(info, AGetter, ASetter);
    return TPropDecl<T>(info);
  }

  // A class-typed pointer field that InitClassDefaults fills (see RegisterInitClassDefaults).
  template <typename U>
  void Member(const char* AName, U* T::*AField, int32_t ALockItem = 0) {
    static_assert(std::is_base_of_v<TObject, U>, "members hold TObject descendants");
    auto m = std::make_unique<TMemberInfo>();
    m->Name = AName;
    m->LockItem = ALockItem;
    m->FClassType = &ClassOf<U>;
    m->FGet = [AField](TObject& o) -> TObject* { return static_cast<T&>(o).*AField; };
    m->FSet = [AField](TObject& o, TObject* v) {
      U* typed = v ? dynamic_cast<U*>(v) : nullptr;
      if (v && !typed) RaiseInvalidCast();
      static_cast<T&>(o).*AField = typed;
    };
    FInfo.FOwnMembers.push_back(std::move(m));
  }

  // A class attribute; a key may be given several times (the stream types of a pin class).
  void Attribute(const String& AKey, const String& AValue) { FInfo.FAttributes.emplace_back(AKey, AValue); }

  // A virtual constructor with these argument types, for TClassInfo::Construct.
  template <typename... A>
  void Constructor() {
    static_assert(std::is_constructible_v<T, A...>, "T has no such constructor");
    FInfo.FConstructors.emplace_back(typeid(std::function<TObject*(A...)>).name(),
                                     std::function<TObject*(A...)>([](A... AArgs) -> TObject* {
                                       if constexpr (std::is_base_of_v<TComponent, T>)
                                         return TComponent::Create<T>(std::move(AArgs)...);
                                       else
                                         return new T(std::move(AArgs)...);
                                     }));
  }

 private:
  template <typename G>
  static decltype(auto) Get(G AGetter, T& AObject) {
    if constexpr (std::is_member_function_pointer_v<G>)
      return (AObject.*AGetter)();
    else
      return (AObject.*AGetter);
  }
  template <typename S, typename V>
  static void Set(S ASetter, T& AObject, V&& AValue) {
    if constexpr (std::is_member_function_pointer_v<S>)
      (AObject.*ASetter)(std::forward<V>(AValue));
    else
      AObject.*ASetter = std::forward<V>(AValue);
  }
  template <typename V, typename G, typename S>
  static void OrdAccess(TPropInfo& AInfo, G AGetter, S ASetter) {
    AInfo.FGetOrd = [AGetter](TObject& o) { return static_cast<int64_t>(Get(AGetter, static_cast<T&>(o))); };
    if constexpr (!std::is_null_pointer_v<S>)
      AInfo.FSetOrd = [ASetter](TObject& o, int64_t v) {
        if constexpr (std::is_same_v<V, bool>)
          Set(ASetter, static_cast<T&>(o), v != 0);
        else
          Set(ASetter, static_cast<T&>(o), static_cast<V>(v));
      };
  }
  TPropInfo& NewProp(const char* AName) {
    FInfo.FOwnProps.push_back(std::make_unique<TPropInfo>());
    FInfo.FOwnProps.back()->Name = AName;
    return *FInfo.FOwnProps.back();
  }

  TClassInfo& FInfo;
};

namespace detail {
template <typename T>
void BuildClass(TClassInfo& AInfo) {
  using TParent = typename decltype(FundrelParentOf(TTypeTag<T>{}))::Type;
  TClass parent = nullptr;
  if constexpr (!std::is_void_v<TParent>) {
    static_assert(std::is_base_of_v<TParent, T>, "the declared parent must be a base class");
    parent = ClassOf<TParent>();
  }
  TRegistryAccess::Init(AInfo, FundrelClassName(TTypeTag<T>{}), parent, typeid(T));
  TClassBuilder<T> builder(AInfo);
  FundrelPublish(builder);
  if constexpr (!std::is_abstract_v<T>) {
    if constexpr (std::is_base_of_v<TComponent, T> && std::is_constructible_v<T, TComponent*>)
      AInfo.FCreateComponent = [](TComponent* AOwner) -> TComponent* { return TComponent::Create<T>(AOwner); };
    if constexpr (std::is_base_of_v<TLockCollectionItem, T> && std::is_constructible_v<T, TLockCollection*>)
      AInfo.FCreateItem = [](TLockCollection* ACollection) -> TLockCollectionItem* { return new T(ACollection); };
    if constexpr (std::is_default_constructible_v<T> && !std::is_base_of_v<TComponent, T>)
      AInfo.FCreate = []() -> TObject* { return new T(); };
  }
  AInfo.FIsComponent = std::is_base_of_v<TComponent, T>;
  TRegistryAccess::Finish(AInfo);
}

template <typename T>
TClass DeclareClassAt(const void* ASite) {
  return FindOrDeclareClass(typeid(T).name(), &BuildClass<T>, ASite);
}
}  // namespace detail

}  // namespace fundrel

// Declares T's class reference with parent TParent (void for a root) and opens the body that
// lists its properties through `P`. Place it in T's namespace, after T's definition.
#define FUNDREL_PUBLISHED(T, TParent)                                                                         \
  [[maybe_unused]] inline ::fundrel::detail::TParentTag<TParent> FundrelParentOf(::fundrel::detail::TTypeTag<T>) { \
    return {};                                                                                                \
  }                                                                                                           \
  [[maybe_unused]] inline const char* FundrelClassName(::fundrel::detail::TTypeTag<T>) { return #T; }         \
  inline void FundrelPublish(::fundrel::TClassBuilder<T>& P);                                                 \
  FUNDREL_DECLARE_SITE(T, FUNDREL_CONCAT(fundrelClass_, __COUNTER__))                                          \
  inline void FundrelPublish([[maybe_unused]] ::fundrel::TClassBuilder<T>& P)

// Declares the identifiers of enumeration E (values 0, 1, ... in this order).
#define FUNDREL_ENUM_NAMES(E, ...)                                                              \
  [[maybe_unused]] inline ::fundrel::detail::TEnumNames FundrelEnumNames(::fundrel::detail::TTypeTag<E>) { \
    return {#E, #__VA_ARGS__};                                                                  \
  }

#define FUNDREL_DECLARE_SITE(T, V) \
  [[maybe_unused]] static const ::fundrel::TClass V = ::fundrel::detail::DeclareClassAt<T>(&V);
#define FUNDREL_CONCAT_(a, b) a##b
#define FUNDREL_CONCAT(a, b) FUNDREL_CONCAT_(a, b)

namespace fundrel {
FUNDREL_PUBLISHED(TObject, void) {}
FUNDREL_PUBLISHED(TInterfacedObject, TObject) {}
FUNDREL_PUBLISHED(TPersistent, TObject) {}
FUNDREL_PUBLISHED(TComponent, TPersistent) {
  // The name is written in the object's header line, not as a property.
  P.Prop("Name", &TComponent::Name, &TComponent::SetName).Stored(false);
}
FUNDREL_PUBLISHED(TLockComponent, TComponent) {}
FUNDREL_PUBLISHED(TLockPersistent, TPersistent) {}
FUNDREL_PUBLISHED(TEnabledPersistent, TLockPersistent) {
  P.Prop("Enabled", &TEnabledPersistent::GetEnabled, &TEnabledPersistent::SetEnabled)
      .Stored(&TEnabledPersistent::EnabledStored);
}
FUNDREL_PUBLISHED(TLockCollection, TPersistent) {}
FUNDREL_PUBLISHED(TLockCollectionItem, TPersistent) {}
}  // namespace fundrel
