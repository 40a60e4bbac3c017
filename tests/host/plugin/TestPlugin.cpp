// A plugin that the module tests open and close: it declares classes, registers them, an item
// class for a collection of the executable, a nested-component mark for a class of the
// executable and a member initializer, all from its unit's start-up.
#include "../TestComponents.h"
#include "host/Quenra.Modules.h"

namespace plugintest {

using namespace fundrel;

class TPluginThing : public TComponent {
 public:
  using TComponent::TComponent;
  int32_t GetSize() const { return FSize; }
  void SetSize(int32_t AValue) { FSize = AValue; }

 private:
  int32_t FSize = 0;
};
FUNDREL_PUBLISHED(TPluginThing, TComponent) { P.Prop("Size", &TPluginThing::GetSize, &TPluginThing::SetSize).Default(0); }

class TPluginItem : public streamtest::TPointItem {
 public:
  using TPointItem::TPointItem;
};
FUNDREL_PUBLISHED(TPluginItem, streamtest::TPointItem) {}

int* gShutdowns = nullptr;

void Startup() {
  RegisterClasses<TPluginThing, TPluginItem>();
  RegisterCollectionItemClasses(ClassOf<streamtest::TPointItems>(), {ClassOf<TPluginItem>()}, "Plugin");
  RegisterNestedComponent(ClassOf<streamtest::TChild>());
  RegisterInitClassDefaults(ClassOf<TPluginThing>(), [](TObject&, const TMemberInfo&, TObject*) -> TObject* {
    return nullptr;
  });
}

void Shutdown() {
  if (gShutdowns) ++*gShutdowns;
}

}  // namespace plugintest

FUNDREL_UNIT(FundrelTestPlugin, "", &plugintest::Startup, &plugintest::Shutdown);

extern "C" __attribute__((visibility("default"))) void FundrelTestPluginCountShutdowns(int* ACounter) {
  plugintest::gShutdowns = ACounter;
}
