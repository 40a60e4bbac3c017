// Unit start-up and shut-down, run once per process in dependency order.
//
// A unit that must act when the library loads (load a library, bind pointers, register classes
// or stream types) declares itself once, in its source file:
//
//   FUNDREL_UNIT(GVBasicDispatcher, "DVIPPSLoader,DVIPPILoader", &BindAll, nullptr);
//
// Declarations only record the unit (they run before any ordinary static initialiser). When the
// library has finished loading, StartupUnits() runs every start-up action so that each unit
// starts after the units it names, ties broken by name, so the order never depends on link or
// static-initialisation order. At unload ShutdownUnits() runs the shut-down actions in exactly the
// reverse order. Both are counted: nested Startup/Shutdown pairs act only on the outermost call.
//
// Unit state touched by these actions must be constant-initialised or created on first use and
// never destroyed (a leaked singleton), because ordinary static objects may not exist yet at
// start-up and may be gone already at shut-down.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/Quenra.Config.h"

namespace fundrel {

using TUnitProc = void (*)();

struct TUnitInfo {
  const char* Name;
  const char* DependsOn;  // comma-separated unit names, may be empty
  TUnitProc Startup;      // may be null
  TUnitProc Shutdown;     // may be null
};

// Records a unit; called by FUNDREL_UNIT. Before start-up it only records (a duplicate name or
// an unknown or cyclic dependency is reported by StartupUnits). After start-up (a unit of an
// executable or plugin loaded later) it runs the unit's start-up at once; its dependencies must
// have started, else EAssertionFailed.
FUNDREL_API void RegisterUnit(const TUnitInfo& AUnit);

// Runs the start-up actions (once, however often called; counted). Raises EAssertionFailed naming
// the unit for an unknown dependency, a cycle or a duplicate name; an action's own exception
// propagates after the units started so far have been shut down again.
FUNDREL_API void StartupUnits();
FUNDREL_API void ShutdownUnits();
FUNDREL_API bool UnitsStarted();
// The unit names in the order their start-up actions ran (empty before start-up).
FUNDREL_API std::vector<std::string> StartedUnitOrder();

// Computes the start-up order of AUnits: dependencies first, ties by name. Exposed for tests.
FUNDREL_API std::vector<std::string> UnitStartupOrder(const std::vector<TUnitInfo>& AUnits);

// Modules: the executable and every loaded shared object, identified by their base address.
// Registries record the module of what they hold (the code that registered an entry, the class
// or function it names) and forget those entries when the module is unloaded.
using TModuleHandle = void*;

// The module that contains AAddress (code or static data); null for heap or stack addresses.
FUNDREL_API TModuleHandle FindModule(const void* AAddress);
FUNDREL_API String ModuleFileName(TModuleHandle AModule);
FUNDREL_API TModuleHandle MainModule();
// The module of this library.
FUNDREL_API TModuleHandle LibraryModule();

// Called with the module that is being unloaded, on the unloading thread, while its code and
// data are still mapped. Returns an id for RemoveModuleUnloadProc.
using TModuleUnloadProc = std::function<void(TModuleHandle)>;
FUNDREL_API uint64_t AddModuleUnloadProc(TModuleUnloadProc AProc);
FUNDREL_API void RemoveModuleUnloadProc(uint64_t AId);
// Announces that AModule goes away: shuts down the units it declared (last started first) and
// forgets them, then calls every unload procedure. A module that declares a unit announces
// itself when it is unloaded; a module without units calls this before it is closed.
FUNDREL_API void NotifyModuleUnload(TModuleHandle AModule);

namespace detail {
// Announces the unload of the module that holds ARegistrar, unless that is the executable or
// this library (whose units end with ShutdownUnits).
FUNDREL_API void UnitModuleUnloading(const void* ARegistrar) noexcept;

struct TUnitRegistrar {
  explicit TUnitRegistrar(const TUnitInfo& AUnit) { RegisterUnit(AUnit); }
  // Runs when the module that declares the unit is unloaded (its static objects die then).
  ~TUnitRegistrar() { UnitModuleUnloading(this); }
  TUnitRegistrar(const TUnitRegistrar&) = delete;
  TUnitRegistrar& operator=(const TUnitRegistrar&) = delete;
};
}  // namespace detail

}  // namespace fundrel

// Priority 110 runs before every ordinary static initialiser; the runner is at 120.
#define FUNDREL_UNIT(Name, DependsOn, Startup, Shutdown)                                               \
  static ::fundrel::detail::TUnitRegistrar fundrelUnitRegistrar_##Name __attribute__((init_priority(110), used)){ \
      ::fundrel::TUnitInfo{#Name, DependsOn, Startup, Shutdown}}
