#include "host/Quenra.TypInfo.h"

#include <cxxabi.h>

#include <cctype>
#include <mutex>
#include <unordered_map>

namespace fundrel {

namespace {

bool SameText(const String& A, const String& B) {
  return A.size() == B.size() && std::equal(A.begin(), A.end(), B.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

String Trim(const String& AText) {
  size_t b = AText.find_first_not_of(" \t\r\n"), e = AText.find_last_not_of(" \t\r\n");
  return b == String::npos ? String() : AText.substr(b, e - b + 1);
}

struct TCategory {
  String Name;
  std::vector<std::pair<TClass, TModuleHandle>> Classes;
  std::vector<TCategory> SubCategories;
};

struct TCollectionEntry {
  TClass Collection;
  std::vector<TCategory> Categories;
};

struct TInitEntry {
  TClass MemberType;
  TInitClassDefaultsProc Proc;
  TModuleHandle By;
};

struct TRegistry {
  std::recursive_mutex Mutex;
  std::unordered_map<std::string, std::unique_ptr<TClassInfo>> Classes;
  std::unordered_map<std::string, std::unique_ptr<TEnumTypeInfo>> Enums;
  std::vector<std::pair<TClass, TModuleHandle>> Named;
  std::vector<std::pair<TClass, TModuleHandle>> Nested;
  std::vector<TCollectionEntry> Collections;
  std::vector<TInitEntry> Inits;

  TRegistry() {
    AddModuleUnloadProc([this](TModuleHandle AModule) { Forget(AModule); });
  }
  void Forget(TModuleHandle AModule);
};

// Never destroyed: classes are looked up while modules unload at process exit.
TRegistry& Registry() {
  static auto* registry = new TRegistry;
  return *registry;
}

void PruneCategories(std::vector<TCategory>& AList, const std::function<bool(TClass, TModuleHandle)>& AGone) {
  for (TCategory& c : AList) {
    std::erase_if(c.Classes, [&](const auto& e) { return AGone(e.first, e.second); });
    PruneCategories(c.SubCategories, AGone);
  }
  std::erase_if(AList, [](const TCategory& c) { return c.Classes.empty() && c.SubCategories.empty(); });
}

void TRegistry::Forget(TModuleHandle AModule) {
  std::lock_guard<std::recursive_mutex> guard(Mutex);
  std::vector<TClass> dying;
  for (const auto& [key, info] : Classes)
    if (info->Module() == AModule) dying.push_back(info.get());
  auto isDying = [&](TClass c) { return std::find(dying.begin(), dying.end(), c) != dying.end(); };
  auto gone = [&](TClass c, TModuleHandle by) { return by == AModule || isDying(c); };
  std::erase_if(Named, [&](const auto& e) { return gone(e.first, e.second); });
  std::erase_if(Nested, [&](const auto& e) { return gone(e.first, e.second); });
  std::erase_if(Collections, [&](const TCollectionEntry& e) { return isDying(e.Collection); });
  for (TCollectionEntry& e : Collections) PruneCategories(e.Categories, gone);
  std::erase_if(Inits, [&](const TInitEntry& e) { return gone(e.MemberType, e.By); });
  std::erase_if(Classes, [&](const auto& e) { return isDying(e.second.get()); });
}

TClass FindDeclared(const std::type_info* AType) {
  TRegistry& r = Registry();
  auto it = r.Classes.find(AType->name());
  if (it != r.Classes.end()) return it->second.get();
  // Undeclared: walk the C++ bases (Itanium ABI type information) to the nearest declared one.
  if (auto* si = dynamic_cast<const abi::__si_class_type_info*>(AType)) return FindDeclared(si->__base_type);
  if (auto* vmi = dynamic_cast<const abi::__vmi_class_type_info*>(AType)) {
    for (unsigned i = 0; i < vmi->__base_count; ++i)
      if (TClass c = FindDeclared(vmi->__base_info[i].__base_type)) return c;
  }
  return nullptr;
}

int Depth(TClass AClass) {
  int d = 0;
  for (TClass c = AClass; c; c = c->Parent()) ++d;
  return d;
}

std::vector<String> SplitIdentifiers(const char* AList) {
  std::vector<String> result;
  String current;
  for (const char* p = AList;; ++p) {
    if (*p == ',' || *p == '\0') {
      String id = Trim(current);
      if (!id.empty()) result.push_back(id);
      current.clear();
      if (*p == '\0') break;
    } else {
      current += *p;
    }
  }
  return result;
}

}  // namespace

String detail::StripNamespace(const char* AName) {
  String name(AName);
  size_t depth = 0, cut = 0;
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '<') ++depth;
    if (name[i] == '>') --depth;
    if (depth == 0 && name[i] == ':' && i + 1 < name.size() && name[i + 1] == ':') cut = i + 2;
  }
  return name.substr(cut);
}

TClass detail::FindOrDeclareClass(const char* ATypeKey, void (*ABuild)(TClassInfo&), const void* ASite) {
  const void* caller = __builtin_return_address(0);
  TRegistry& r = Registry();
  std::lock_guard<std::recursive_mutex> guard(r.Mutex);
  auto it = r.Classes.find(ATypeKey);
  if (it != r.Classes.end()) {
    if (ASite && TRegistryAccess::ModuleProvisional(*it->second))
      TRegistryAccess::SetModule(*it->second, FindModule(ASite), false);
    return it->second.get();
  }
  std::unique_ptr<TClassInfo> info(TRegistryAccess::New());
  ABuild(*info);
  TRegistryAccess::SetModule(*info, FindModule(ASite ? ASite : caller), !ASite);
  TClass result = info.get();
  r.Classes.emplace(ATypeKey, std::move(info));
  return result;
}

void detail::TRegistryAccess::Init(TClassInfo& AInfo, const char* AName, TClass AParent, const std::type_info& AType) {
  AInfo.FName = StripNamespace(AName);
  AInfo.FParent = AParent;
  AInfo.FTypeKey = AType.name();
}

void detail::TRegistryAccess::Finish(TClassInfo& AInfo) {
  if (AInfo.FParent) {
    AInfo.FAllProps = AInfo.FParent->FAllProps;
    AInfo.FAllMembers = AInfo.FParent->FAllMembers;
  }
  // A redeclared property replaces the inherited one (a new default or stored predicate).
  for (auto& p : AInfo.FOwnProps) {
    std::erase_if(AInfo.FAllProps, [&](const TPropInfo* q) { return SameText(q->Name, p->Name); });
    AInfo.FAllProps.push_back(p.get());
  }
  for (auto& m : AInfo.FOwnMembers) AInfo.FAllMembers.push_back(m.get());
}

const TEnumTypeInfo* detail::FindOrAddEnum(const char* ATypeKey, const char* AName, const char* AIdentifiers) {
  TRegistry& r = Registry();
  std::lock_guard<std::recursive_mutex> guard(r.Mutex);
  auto& slot = r.Enums[ATypeKey];
  if (!slot) {
    slot = std::make_unique<TEnumTypeInfo>();
    slot->Name = StripNamespace(AName);
    slot->Identifiers = SplitIdentifiers(AIdentifiers);
  }
  return slot.get();
}

const TEnumTypeInfo* detail::BooleanEnum() {
  static const TEnumTypeInfo info{"Boolean", {"False", "True"}};
  return &info;
}

String GetEnumName(const TEnumTypeInfo& AInfo, int64_t AValue) {
  if (AValue < 0 || AValue >= static_cast<int64_t>(AInfo.Identifiers.size())) return String();
  return AInfo.Identifiers[static_cast<size_t>(AValue)];
}

int64_t GetEnumValue(const TEnumTypeInfo& AInfo, const String& AIdent) {
  for (size_t i = 0; i < AInfo.Identifiers.size(); ++i)
    if (SameText(AInfo.Identifiers[i], AIdent)) return static_cast<int64_t>(i);
  return -1;
}

String SetToString(const TEnumTypeInfo& AInfo, uint64_t AMask, bool ABrackets) {
  String text;
  for (size_t i = 0; i < AInfo.Identifiers.size() && i < 64; ++i)
    if (AMask & (uint64_t(1) << i)) {
      if (!text.empty()) text += ", ";
      text += AInfo.Identifiers[i];
    }
  return ABrackets ? "[" + text + "]" : text;
}

uint64_t StringToSet(const TEnumTypeInfo& AInfo, const String& AText) {
  String body = Trim(AText);
  if (!body.empty() && body.front() == '[') {
    if (body.back() != ']') throw EConvertError("Invalid set text: " + AText);
    body = body.substr(1, body.size() - 2);
  }
  uint64_t mask = 0;
  for (const String& id : SplitIdentifiers(body.c_str())) {
    int64_t v = GetEnumValue(AInfo, id);
    if (v < 0 || v >= 64) throw EConvertError("Invalid property element: " + id);
    mask |= uint64_t(1) << v;
  }
  return mask;
}

// --- TPropInfo

namespace {
[[noreturn]] void RaiseAccess(const TPropInfo& AInfo, const char* AWhat) {
  throw EPropertyError("Property " + AInfo.Name + " " + AWhat);
}
}  // namespace

TClass TPropInfo::ClassType() const { return FClassType ? FClassType() : nullptr; }

int64_t TPropInfo::GetOrd(const TObject& AInstance) const {
  if (!FGetOrd) RaiseAccess(*this, "is not an ordinal property");
  return FGetOrd(const_cast<TObject&>(AInstance));
}

void TPropInfo::SetOrd(TObject& AInstance, int64_t AValue) const {
  if (!FSetOrd) RaiseAccess(*this, FGetOrd ? "is read-only" : "is not an ordinal property");
  bool inRange = Kind == TTypeKind::tkSet
                     ? EnumType->Identifiers.size() >= 64 || (uint64_t(AValue) >> EnumType->Identifiers.size()) == 0
                     : AValue >= MinValue && AValue <= MaxValue;
  if (!inRange) throw ERangeError(Format("Value %lld out of range for property %s", static_cast<long long>(AValue), Name.c_str()));
  FSetOrd(AInstance, AValue);
}

double TPropInfo::GetFloat(const TObject& AInstance) const {
  if (!FGetFloat) RaiseAccess(*this, "is not a float property");
  return FGetFloat(const_cast<TObject&>(AInstance));
}

void TPropInfo::SetFloat(TObject& AInstance, double AValue) const {
  if (!FSetFloat) RaiseAccess(*this, FGetFloat ? "is read-only" : "is not a float property");
  FSetFloat(AInstance, AValue);
}

String TPropInfo::GetStr(const TObject& AInstance) const {
  if (!FGetStr) RaiseAccess(*this, "is not a string property");
  return FGetStr(const_cast<TObject&>(AInstance));
}

void TPropInfo::SetStr(TObject& AInstance, const String& AValue) const {
  if (!FSetStr) RaiseAccess(*this, FGetStr ? "is read-only" : "is not a string property");
  FSetStr(AInstance, AValue);
}

TObject* TPropInfo::GetObject(const TObject& AInstance) const {
  if (!FGetObj) RaiseAccess(*this, "is not a class-typed property");
  return FGetObj(const_cast<TObject&>(AInstance));
}

void TPropInfo::SetObject(TObject& AInstance, TObject* AValue) const {
  if (!FSetObj) RaiseAccess(*this, FGetObj ? "is read-only" : "is not a class-typed property");
  FSetObj(AInstance, AValue);
}

bool TPropInfo::MethodAssigned(const TObject& AInstance) const {
  if (!FAssigned) RaiseAccess(*this, "is not an event");
  return FAssigned(const_cast<TObject&>(AInstance));
}

std::any TPropInfo::GetMethod(const TObject& AInstance) const {
  if (!FGetAny) RaiseAccess(*this, "is not an event");
  return FGetAny(const_cast<TObject&>(AInstance));
}

void TPropInfo::SetMethod(TObject& AInstance, const std::any& AValue) const {
  if (!FSetAny) RaiseAccess(*this, FGetAny ? "is read-only" : "is not an event");
  FSetAny(AInstance, AValue);
}

bool TPropInfo::IsStored(const TObject& AInstance) const {
  return !FStored || FStored(const_cast<TObject&>(AInstance));
}

bool TPropInfo::IsDefaultValue(const TObject& AInstance) const {
  switch (Kind) {
    case TTypeKind::tkInteger:
    case TTypeKind::tkEnumeration:
    case TTypeKind::tkSet:
      return OrdDefault && GetOrd(AInstance) == *OrdDefault;
    case TTypeKind::tkFloat:
      return FloatDefault && GetFloat(AInstance) == *FloatDefault;
    case TTypeKind::tkString:
      return StrDefault && GetStr(AInstance) == *StrDefault;
    default:
      return false;
  }
}

// --- TClassInfo

bool TClassInfo::InheritsFrom(TClass AClass) const {
  for (TClass c = this; c; c = c->FParent)
    if (c == AClass) return true;
  return false;
}

const TPropInfo* TClassInfo::FindProperty(const String& AName) const {
  // Last first, so that a descendant's redeclaration wins.
  for (auto it = FAllProps.rbegin(); it != FAllProps.rend(); ++it)
    if (SameText((*it)->Name, AName)) return *it;
  return nullptr;
}

String TClassInfo::Attribute(const String& AKey) const {
  for (TClass c = this; c; c = c->FParent)
    for (const auto& [key, value] : c->FAttributes)
      if (SameText(key, AKey)) return value;
  return String();
}

std::vector<String> TClassInfo::AttributeValues(const String& AKey, bool AInherited) const {
  std::vector<String> values;
  for (TClass c = this; c; c = AInherited ? c->FParent : nullptr)
    for (const auto& [key, value] : c->FAttributes)
      if (SameText(key, AKey)) values.push_back(value);
  return values;
}

TObject* TClassInfo::Create() const {
  if (!FCreate) throw EClassNotFound("Class " + FName + " cannot be created without arguments");
  return FCreate();
}

TComponent* TClassInfo::CreateComponent(TComponent* AOwner) const {
  if (!FCreateComponent) throw EClassNotFound("Class " + FName + " cannot be created as a component");
  return FCreateComponent(AOwner);
}

TLockCollectionItem* TClassInfo::CreateItem(TLockCollection* ACollection) const {
  if (!FCreateItem) throw EClassNotFound("Class " + FName + " cannot be created as a collection item");
  return FCreateItem(ACollection);
}

const std::any* TClassInfo::FindConstructor(const char* AKey) const {
  for (const auto& [key, f] : FConstructors)
    if (key == AKey) return &f;
  return nullptr;
}

void TClassInfo::RaiseNoConstructor() const {
  throw EClassNotFound("Class " + FName + " has no constructor with these arguments");
}

// --- registry

TClass ClassOf(const TObject& AObject) { return ClassOfType(typeid(AObject)); }

TClass ClassOfType(const std::type_info& AType) {
  TRegistry& r = Registry();
  std::lock_guard<std::recursive_mutex> guard(r.Mutex);
  return FindDeclared(&AType);
}

void detail::RegisterClassFrom(TClass AClass, const void* ACaller) {
  if (!AClass) return;
  TRegistry& r = Registry();
  std::lock_guard<std::recursive_mutex> guard(r.Mutex);
  for (const auto& [c, by] : r.Named) {
    if (c == AClass) return;
    if (SameText(c->Name(), AClass->Name())) throw EFilerError("A class named " + AClass->Name() + " already exists");
  }
  r.Named.emplace_back(AClass, FindModule(ACaller));
}

void RegisterClass(TClass AClass) { detail::RegisterClassFrom(AClass, __builtin_return_address(0)); }

void RegisterClasses(std::initializer_list<TClass> AClasses) {
  const void* caller = __builtin_return_address(0);
  for (TClass c : AClasses) detail::RegisterClassFrom(c, caller);
}

void UnRegisterClass(TClass AClass) {
  TRegistry& r = Registry();
  std::lock_guard<std::recursive_mutex> guard(r.Mutex);
  std::erase_if(r.Named, [AClass](const auto& e) { return e.first == AClass; });
}

TClass GetClass(const String& AName) {
  TRegistry& r = Registry();
  std::lock_guard<std::recursive_mutex> guard(r.Mutex);
  for (const auto& [c, by] : r.Named)
    if (SameText(c->Name(), AName)) return c;
  return nullptr;
}

TClass FindClass(const String& AName) {
  TClass c = GetClass(AName);
  if (!c) throw EClassNotFound("Class " + AName + " not found");
  return c;
}

TModuleHandle RegisteringModule(TClass AClass) {
  TRegistry& r = Registry();
  std::lock_guard<std::recursive_mutex> guard(r.Mutex);
  for (const auto& [c, by] : r.Named)
    if (c == AClass) return by;
  return nullptr;
}

void RegisterNestedComponent(TClass AClass) {
  TRegistry& r = Registry();
  std::lock_guard<std::recursive_mutex> guard(r.Mutex);
  if (!IsNestedComponent(AClass)) r.Nested.emplace_back(AClass, FindModule(__builtin_return_address(0)));
}

bool IsNestedComponent(TClass AClass) {
  TRegistry& r = Registry();
  std::lock_guard<std::recursive_mutex> guard(r.Mutex);
  return std::any_of(r.Nested.begin(), r.Nested.end(), [AClass](const auto& e) { return e.first == AClass; });
}

void RegisterCollectionItemClasses(TClass ACollectionClass, std::initializer_list<TClass> AItemClasses,
                                   const String& ACategory) {
  TModuleHandle by = FindModule(__builtin_return_address(0));
  TRegistry& r = Registry();
  std::lock_guard<std::recursive_mutex> guard(r.Mutex);
  auto entry = std::find_if(r.Collections.begin(), r.Collections.end(),
                            [&](const TCollectionEntry& e) { return e.Collection == ACollectionClass; });
  if (entry == r.Collections.end()) entry = r.Collections.insert(r.Collections.end(), {ACollectionClass, {}});
  std::vector<TCategory>* level = &entry->Categories;
  TCategory* category = nullptr;
  std::vector<String> path;
  for (size_t start = 0;;) {
    size_t slash = ACategory.find('/', start);
    path.push_back(Trim(ACategory.substr(start, slash == String::npos ? String::npos : slash - start)));
    if (slash == String::npos) break;
    start = slash + 1;
  }
  for (const String& name : path) {
    auto it = std::find_if(level->begin(), level->end(), [&](const TCategory& c) { return c.Name == name; });
    if (it == level->end()) it = level->insert(level->end(), TCategory{name, {}, {}});
    category = &*it;
    level = &category->SubCategories;
  }
  for (TClass c : AItemClasses)
    if (std::none_of(category->Classes.begin(), category->Classes.end(), [c](const auto& e) { return e.first == c; }))
      category->Classes.emplace_back(c, by);
}

namespace {
TItemCategoryList CopyCategories(const std::vector<TCategory>& AList) {
  TItemCategoryList result;
  for (const TCategory& c : AList) {
    TItemCategory copy{c.Name, {}, CopyCategories(c.SubCategories)};
    for (const auto& e : c.Classes) copy.Classes.push_back(e.first);
    result.push_back(std::move(copy));
  }
  return result;
}
}  // namespace

TItemCategoryList GetCollectionItemCategories(TClass ACollectionClass) {
  TRegistry& r = Registry();
  std::lock_guard<std::recursive_mutex> guard(r.Mutex);
  for (const TCollectionEntry& e : r.Collections)
    if (e.Collection == ACollectionClass) return CopyCategories(e.Categories);
  return {};
}

void RegisterInitClassDefaults(TClass AMemberType, TInitClassDefaultsProc AProc) {
  TModuleHandle by = FindModule(__builtin_return_address(0));
  TRegistry& r = Registry();
  std::lock_guard<std::recursive_mutex> guard(r.Mutex);
  std::erase_if(r.Inits, [AMemberType](const TInitEntry& e) { return e.MemberType == AMemberType; });
  r.Inits.push_back({AMemberType, std::move(AProc), by});
}

void UnRegisterInitClassDefaults(TClass AMemberType) {
  TRegistry& r = Registry();
  std::lock_guard<std::recursive_mutex> guard(r.Mutex);
  std::erase_if(r.Inits, [AMemberType](const TInitEntry& e) { return e.MemberType == AMemberType; });
}

void InitClassDefaults(TObject& AInstance, TObject* AParent) {
  TClass cls = ClassOf(AInstance);
  if (!cls || cls->Members().empty()) return;
  for (const TMemberInfo* m : cls->Members()) {
    if (m->Get(AInstance)) continue;
    TInitClassDefaultsProc proc;
    {
      TRegistry& r = Registry();
      std::lock_guard<std::recursive_mutex> guard(r.Mutex);
      TClass declared = m->DeclaredType();
      int best = -1;
      for (const TInitEntry& e : r.Inits)
        if (declared->InheritsFrom(e.MemberType) && Depth(e.MemberType) > best) {
          best = Depth(e.MemberType);
          proc = e.Proc;
        }
    }
    // Called without the registry lock: the initializer makes objects, which may declare classes.
    if (proc) m->Set(AInstance, proc(AInstance, *m, AParent));
  }
}

std::vector<TObjectProp> GetObjectPropList(const TObject& AInstance) {
  std::vector<TObjectProp> list;
  if (TClass cls = ClassOf(AInstance))
    for (const TPropInfo* p : cls->Properties())
      if (p->Kind == TTypeKind::tkClass && p->FGetObj) list.push_back({p, p->GetObject(AInstance)});
  std::stable_sort(list.begin(), list.end(),
                   [](const TObjectProp& A, const TObjectProp& B) { return A.Info->Name < B.Info->Name; });
  return list;
}

const TPropInfo& GetPropInfo(const TObject& AInstance, const String& AName) {
  TClass cls = ClassOf(AInstance);
  const TPropInfo* p = cls ? cls->FindProperty(AName) : nullptr;
  if (!p) throw EPropertyError("Property " + AName + " does not exist in " + (cls ? cls->Name() : ClassNameOf(AInstance)));
  return *p;
}

String GetPropValueText(const TObject& AInstance, const String& AName) {
  const TPropInfo& p = GetPropInfo(AInstance, AName);
  switch (p.Kind) {
    case TTypeKind::tkInteger:
      return std::to_string(p.GetOrd(AInstance));
    case TTypeKind::tkEnumeration:
      return GetEnumName(*p.EnumType, p.GetOrd(AInstance));
    case TTypeKind::tkSet:
      return SetToString(*p.EnumType, static_cast<uint64_t>(p.GetOrd(AInstance)));
    case TTypeKind::tkFloat:
      return Format("%.17g", p.GetFloat(AInstance));
    case TTypeKind::tkString:
      return p.GetStr(AInstance);
    default:
      throw EPropertyError("Property " + AName + " has no text form");
  }
}

void SetPropValueText(TObject& AInstance, const String& AName, const String& AValue) {
  const TPropInfo& p = GetPropInfo(AInstance, AName);
  switch (p.Kind) {
    case TTypeKind::tkInteger: {
      size_t used = 0;
      long long v = 0;
      try {
        v = std::stoll(AValue, &used, 0);
      } catch (const std::exception&) {
        used = 0;
      }
      if (used == 0 || used != AValue.size()) throw EConvertError("'" + AValue + "' is not a valid integer value");
      p.SetOrd(AInstance, v);
      return;
    }
    case TTypeKind::tkEnumeration: {
      int64_t v = GetEnumValue(*p.EnumType, Trim(AValue));
      if (v < 0) throw EConvertError("Invalid property value " + AValue + " for " + AName);
      p.SetOrd(AInstance, v);
      return;
    }
    case TTypeKind::tkSet:
      p.SetOrd(AInstance, static_cast<int64_t>(StringToSet(*p.EnumType, AValue)));
      return;
    case TTypeKind::tkFloat: {
      char* end = nullptr;
      double v = std::strtod(AValue.c_str(), &end);
      if (AValue.empty() || *end != '\0') throw EConvertError("'" + AValue + "' is not a valid floating point value");
      p.SetFloat(AInstance, v);
      return;
    }
    case TTypeKind::tkString:
      p.SetStr(AInstance, AValue);
      return;
    default:
      throw EPropertyError("Property " + AName + " has no text form");
  }
}

}  // namespace fundrel
