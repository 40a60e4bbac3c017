// Shared main of every test binary. After each test the main-thread queue must be empty: a test
// that posts work also runs it, so nothing leaks from one test into the next.
#include <gtest/gtest.h>

#include "host/Quenra.Threading.h"

namespace {
class TMainQueueCheck : public ::testing::EmptyTestEventListener {
  void OnTestEnd(const ::testing::TestInfo& AInfo) override {
    if (fundrel::HasMainThreadWork()) {
      ADD_FAILURE() << AInfo.test_suite_name() << "." << AInfo.name() << " left work on the main-thread queue";
      while (fundrel::ProcessMainThreadQueue() > 0) {
      }
    }
  }
};
}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::UnitTest::GetInstance()->listeners().Append(new TMainQueueCheck);
  return RUN_ALL_TESTS();
}
