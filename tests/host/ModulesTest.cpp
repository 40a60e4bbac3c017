#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "host/Quenra.Modules.h"
#include "host/Quenra.SysUtils.h"

using namespace fundrel;

namespace {
int gLateStarts = 0;
void LateStart() { ++gLateStarts; }
}  // namespace

// Registered by the test executable, which loads after the library has started.
FUNDREL_UNIT(TestLateUnit, "", &LateStart, nullptr);

TEST(Units, OrderFollowsDependenciesThenNames) {
  std::vector<TUnitInfo> units = {
      {"GVBasicDispatcher", "DVIPPSLoader, DVIPPILoader", nullptr, nullptr},
      {"GVNormDispatcher", "DVIPPSLoader", nullptr, nullptr},
      {"DVIPPILoader", "", nullptr, nullptr},
      {"DVIPPSLoader", "", nullptr, nullptr},
      {"GVResizeDispatcher", "DVIPPILoader", nullptr, nullptr},
  };
  const std::vector<std::string> expected = {"DVIPPILoader", "DVIPPSLoader", "GVBasicDispatcher",
                                             "GVNormDispatcher", "GVResizeDispatcher"};
  EXPECT_EQ(UnitStartupOrder(units), expected);
  std::reverse(units.begin(), units.end());
  EXPECT_EQ(UnitStartupOrder(units), expected);  // registration order does not matter

  auto failure = [](const std::vector<TUnitInfo>& AUnits) {
    try {
      UnitStartupOrder(AUnits);
    } catch (const EAssertionFailed& e) {
      return std::string(e.what());
    }
    return std::string();
  };
  EXPECT_EQ(failure({{"A", "B", nullptr, nullptr}, {"B", "A", nullptr, nullptr}}), "Unit A is part of a dependency cycle");
  EXPECT_EQ(failure({{"A", "Missing", nullptr, nullptr}}), "Unit A depends on unknown unit Missing");
  EXPECT_EQ(failure({{"A", "", nullptr, nullptr}, {"A", "", nullptr, nullptr}}), "Unit registered twice: A");
}

TEST(Units, LibraryStartedAndLateUnitsStartAtOnce) {
  EXPECT_TRUE(UnitsStarted());
  EXPECT_EQ(gLateStarts, 1);
  std::vector<std::string> started = StartedUnitOrder();
  EXPECT_NE(std::find(started.begin(), started.end(), "TestLateUnit"), started.end());
  // Nested start-up and shut-down act only on the outermost pair.
  StartupUnits();
  ShutdownUnits();
  EXPECT_TRUE(UnitsStarted());
  EXPECT_EQ(gLateStarts, 1);
  EXPECT_THROW(RegisterUnit({"TestBadLate", "NoSuchUnit", nullptr, nullptr}), EAssertionFailed);
}
