#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "TestComponents.h"
#include "host/Quenra.ComponentStreaming.h"

using namespace fundrel;
using namespace streamtest;

namespace threadtest {
class TTransient : public TComponent {
 public:
  using TComponent::TComponent;
};
FUNDREL_PUBLISHED(TTransient, TComponent) {}
}  // namespace threadtest

namespace {

// Separate component trees may be streamed on separate threads while the registry changes: the
// load state is per thread and the registry is locked.
TEST(StreamingThreads, IndependentTreesStreamWhileTheRegistryChanges) {
  RegisterTestClasses();
  std::atomic<bool> stop{false};
  std::atomic<int> failures{0};
  std::vector<std::thread> workers;
  for (int t = 0; t < 3; ++t)
    workers.emplace_back([&, t] {
      for (int i = 0; i < 150; ++i) {
        auto* s = TComponent::Create<TSample>(nullptr);
        s->SetCount(t * 1000 + i);
        s->GetItems()->Add()->SetValue(i);
        String text = ComponentToString(s);
        TComponent* copy = StringToComponent(text);
        auto* c = dynamic_cast<TSample*>(copy);
        if (!c || c->GetCount() != t * 1000 + i || c->StartsFromLoading != 1 || c->IsLoading() ||
            ComponentToString(copy) != text)
          ++failures;
        TObject::Free(copy);
        TObject::Free(s);
      }
    });
  std::thread registrar([&] {
    while (!stop) {
      RegisterClasses<threadtest::TTransient>();
      if (!GetClass("TTransient")) ++failures;
      UnRegisterClass(ClassOf<threadtest::TTransient>());
    }
  });
  for (auto& w : workers) w.join();
  stop = true;
  registrar.join();
  EXPECT_EQ(failures.load(), 0);
}

}  // namespace
