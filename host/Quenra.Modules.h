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

namespace detail {
struct TUnitRegistrar {
  explicit TUnitRegistrar(const TUnitInfo& AUnit) { RegisterUnit(AUnit); }
};
}  // namespace detail

}  // namespace fundrel

// Priority 110 runs before every ordinary static initialiser; the runner is at 120.
#define FUNDREL_UNIT(Name, DependsOn, Startup, Shutdown)                                               \
  static ::fundrel::detail::TUnitRegistrar fundrelUnitRegistrar_##Name __attribute__((init_priority(110), used)){ \
      ::fundrel::TUnitInfo{#Name, DependsOn, Startup, Shutdown}}
