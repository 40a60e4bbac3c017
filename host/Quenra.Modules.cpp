#include "host/Quenra.Modules.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <set>

#include "host/Quenra.Elements.h"
#include "host/Quenra.SysUtils.h"
#include "platform/ModuleInfo.h"

namespace fundrel {

namespace {

struct TUnitTable {
  std::recursive_mutex Mutex;
  std::vector<TUnitInfo> Units;
  std::vector<TUnitInfo> Started;  // in start-up order
  int StartCount = 0;
};

// Created on first use and never destroyed: shut-down runs after ordinary statics are gone.
TUnitTable& Table() {
  static TUnitTable* table = new TUnitTable;
  return *table;
}

std::vector<std::string> SplitNames(const char* AList) {
  std::vector<std::string> names;
  std::string current;
  for (const char* p = AList ? AList : ""; ; ++p) {
    if (*p == ',' || *p == '\0') {
      size_t b = current.find_first_not_of(" \t"), e = current.find_last_not_of(" \t");
      if (b != std::string::npos) names.push_back(current.substr(b, e - b + 1));
      current.clear();
      if (*p == '\0') break;
    } else {
      current += *p;
    }
  }
  return names;
}

}  // namespace

void RegisterUnit(const TUnitInfo& AUnit) {
  TUnitTable& t = Table();
  std::lock_guard<std::recursive_mutex> guard(t.Mutex);
  if (t.StartCount == 0) {
    t.Units.push_back(AUnit);
    return;
  }
  // A unit of a module loaded after start-up (an executable or plugin): it starts at once, after
  // the units it names, which must have started already.
  for (const std::string& d : SplitNames(AUnit.DependsOn))
    if (std::none_of(t.Started.begin(), t.Started.end(), [&](const TUnitInfo& u) { return d == u.Name; }))
      throw EAssertionFailed(std::string("Unit ") + AUnit.Name + " depends on unknown unit " + d);
  t.Units.push_back(AUnit);
  if (AUnit.Startup) AUnit.Startup();
  t.Started.push_back(AUnit);
}

std::vector<std::string> UnitStartupOrder(const std::vector<TUnitInfo>& AUnits) {
  std::map<std::string, std::vector<std::string>> deps;
  for (const TUnitInfo& u : AUnits) {
    if (deps.count(u.Name)) throw EAssertionFailed(std::string("Unit registered twice: ") + u.Name);
    deps[u.Name] = SplitNames(u.DependsOn);
  }
  for (const auto& [name, list] : deps)
    for (const std::string& d : list)
      if (!deps.count(d)) throw EAssertionFailed("Unit " + name + " depends on unknown unit " + d);

  // Kahn's algorithm over a name-ordered ready set: deterministic whatever the registration order.
  std::map<std::string, int> pending;
  std::map<std::string, std::vector<std::string>> dependents;
  for (const auto& [name, list] : deps) {
    pending[name] = static_cast<int>(list.size());
    for (const std::string& d : list) dependents[d].push_back(name);
  }
  std::set<std::string> ready;
  for (const auto& [name, n] : pending)
    if (n == 0) ready.insert(name);
  std::vector<std::string> order;
  while (!ready.empty()) {
    std::string next = *ready.begin();
    ready.erase(ready.begin());
    order.push_back(next);
    for (const std::string& d : dependents[next])
      if (--pending[d] == 0) ready.insert(d);
  }
  if (order.size() != deps.size()) {
    for (const auto& [name, n] : pending)
      if (n > 0) throw EAssertionFailed("Unit " + name + " is part of a dependency cycle");
  }
  return order;
}

void StartupUnits() {
  TUnitTable& t = Table();
  std::lock_guard<std::recursive_mutex> guard(t.Mutex);
  if (t.StartCount++ > 0) return;
  try {
    std::vector<std::string> order = UnitStartupOrder(t.Units);
    for (const std::string& name : order) {
      auto it = std::find_if(t.Units.begin(), t.Units.end(), [&](const TUnitInfo& u) { return name == u.Name; });
      if (it->Startup) it->Startup();
      t.Started.push_back(*it);
    }
  } catch (...) {
    t.StartCount = 1;
    ShutdownUnits();
    throw;
  }
}

void ShutdownUnits() {
  TUnitTable& t = Table();
  std::lock_guard<std::recursive_mutex> guard(t.Mutex);
  if (t.StartCount == 0 || --t.StartCount > 0) return;
  while (!t.Started.empty()) {
    TUnitInfo u = t.Started.back();
    t.Started.pop_back();
    if (u.Shutdown) u.Shutdown();
  }
}

bool UnitsStarted() {
  TUnitTable& t = Table();
  std::lock_guard<std::recursive_mutex> guard(t.Mutex);
  return t.StartCount > 0;
}

std::vector<std::string> StartedUnitOrder() {
  TUnitTable& t = Table();
  std::lock_guard<std::recursive_mutex> guard(t.Mutex);
  std::vector<std::string> names;
  for (const TUnitInfo& u : t.Started) names.push_back(u.Name);
  return names;
}

TModuleHandle FindModule(const void* AAddress) { return platform::ModuleOfAddress(AAddress); }
String ModuleFileName(TModuleHandle AModule) { return platform::ModuleFileName(AModule); }
TModuleHandle MainModule() { return platform::MainModule(); }
TModuleHandle LibraryModule() { return platform::ModuleOfAddress(reinterpret_cast<const void*>(&LibraryModule)); }

namespace {
// Leaked for the same reason as the unit table: unloads are announced during process exit too.
TMultiProc<TModuleHandle>& UnloadProcs() {
  static auto* procs = new TMultiProc<TModuleHandle>;
  return *procs;
}

bool InModule(const void* AAddress, TModuleHandle AModule) {
  return AAddress && platform::ModuleOfAddress(AAddress) == AModule;
}
}  // namespace

uint64_t AddModuleUnloadProc(TModuleUnloadProc AProc) { return UnloadProcs().Add(std::move(AProc)); }
void RemoveModuleUnloadProc(uint64_t AId) { UnloadProcs().Remove(AId); }

void NotifyModuleUnload(TModuleHandle AModule) {
  if (!AModule) return;
  std::vector<TUnitInfo> leaving;
  {
    TUnitTable& t = Table();
    std::lock_guard<std::recursive_mutex> guard(t.Mutex);
    auto belongs = [AModule](const TUnitInfo& u) {
      return InModule(u.Name, AModule) || InModule(reinterpret_cast<const void*>(u.Startup), AModule) ||
             InModule(reinterpret_cast<const void*>(u.Shutdown), AModule);
    };
    for (auto it = t.Started.rbegin(); it != t.Started.rend(); ++it)
      if (belongs(*it)) leaving.push_back(*it);
    std::erase_if(t.Started, belongs);
    std::erase_if(t.Units, belongs);
  }
  for (const TUnitInfo& u : leaving)
    if (u.Shutdown) u.Shutdown();
  UnloadProcs().Notify(AModule);
}

void detail::UnitModuleUnloading(const void* ARegistrar) noexcept {
  TModuleHandle module = FindModule(ARegistrar);
  if (!module || module == MainModule() || module == LibraryModule()) return;
  try {
    NotifyModuleUnload(module);
  } catch (const std::exception& e) {
    // Called from the loader while it unmaps the module: nobody can catch it there.
    std::fprintf(stderr, "fundrel: unloading module %s failed: %s\n", ModuleFileName(module).c_str(), e.what());
  }
}

namespace {
// The library's own load and unload: after the unit declarations (110), before ordinary statics.
__attribute__((constructor(120))) void LibraryLoaded() {
  try {
    StartupUnits();
  } catch (const std::exception& e) {
    // A broken unit table is a build error; there is no caller to report it to.
    std::fprintf(stderr, "fundrel: start-up failed: %s\n", e.what());
    std::abort();
  }
}
__attribute__((destructor(120))) void LibraryUnloading() { ShutdownUnits(); }
}  // namespace

}  // namespace fundrel
