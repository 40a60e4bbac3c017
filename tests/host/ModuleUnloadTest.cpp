#include <gtest/gtest.h>

#include <algorithm>

#include "TestComponents.h"
#include "host/Quenra.ComponentStreaming.h"
#include "host/Quenra.Modules.h"
#include "platform/ModuleInfo.h"

using namespace fundrel;

namespace {

bool CategoryHolds(const TItemCategoryList& AList, const String& AName) {
  for (const TItemCategory& c : AList) {
    for (TClass k : c.Classes)
      if (k->Name() == AName) return true;
    if (CategoryHolds(c.SubCategories, AName)) return true;
  }
  return false;
}

TEST(ModuleUnload, PluginRegistrationsLiveAndDieWithThePlugin) {
  streamtest::RegisterTestClasses();
  const String path = FUNDREL_TEST_PLUGIN;
  TModuleHandle seen = nullptr;
  int unloads = 0;
  uint64_t hook = AddModuleUnloadProc([&](TModuleHandle AModule) {
    seen = AModule;
    ++unloads;
  });

  for (int round = 0; round < 2; ++round) {  // a second load registers afresh
    String error;
    void* library = platform::OpenLibrary(path, error);
    ASSERT_NE(library, nullptr) << error;
    TModuleHandle module = platform::ModuleOfLibrary(library);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(ModuleFileName(module), path);
    int shutdowns = 0;
    auto count = reinterpret_cast<void (*)(int*)>(platform::LibrarySymbol(library, "FundrelTestPluginCountShutdowns"));
    ASSERT_NE(count, nullptr);
    count(&shutdowns);

    TClass thing = GetClass("TPluginThing");
    ASSERT_NE(thing, nullptr) << "the plugin's unit registered its classes when it was opened";
    EXPECT_EQ(thing->Module(), module);
    EXPECT_EQ(RegisteringModule(thing), module);
    EXPECT_EQ(FindModule(reinterpret_cast<const void*>(count)), module);
    EXPECT_TRUE(CategoryHolds(GetCollectionItemCategories(ClassOf<streamtest::TPointItems>()), "TPluginItem"));
    EXPECT_TRUE(IsNestedComponent(ClassOf<streamtest::TChild>()));
    std::vector<String> units = StartedUnitOrder();
    EXPECT_NE(std::find(units.begin(), units.end(), "FundrelTestPlugin"), units.end());

    // The plugin's classes take part in streaming like any other.
    TComponent* made = StringToComponent("object P: TPluginThing\n  Size = 4\nend\n");
    EXPECT_EQ(GetPropValueText(*made, "Size"), "4");
    TObject::Free(made);

    ASSERT_TRUE(platform::CloseLibrary(library, error)) << error;
    EXPECT_FALSE(platform::LibraryIsLoaded(path)) << "the plugin stayed mapped";
    EXPECT_EQ(shutdowns, 1) << "the plugin's unit shut down when it was unloaded";
    EXPECT_EQ(seen, module);
    EXPECT_EQ(unloads, round + 1);
    EXPECT_EQ(GetClass("TPluginThing"), nullptr);
    EXPECT_EQ(GetClass("TPluginItem"), nullptr);
    EXPECT_FALSE(CategoryHolds(GetCollectionItemCategories(ClassOf<streamtest::TPointItems>()), "TPluginItem"));
    EXPECT_FALSE(IsNestedComponent(ClassOf<streamtest::TChild>())) << "a mark the plugin set on a class of ours";
    EXPECT_NE(GetClass("TChild"), nullptr) << "classes of other modules stay";
    units = StartedUnitOrder();
    EXPECT_EQ(std::find(units.begin(), units.end(), "FundrelTestPlugin"), units.end());
    try {
      StringToComponent("object P: TPluginThing\nend\n");
      ADD_FAILURE();
    } catch (const EClassNotFound& e) {
      EXPECT_STREQ(e.what(), "Class TPluginThing not found");
    }
  }
  RemoveModuleUnloadProc(hook);
}

}  // namespace
