// Shared fixture of the buffer suites: every test must leave no storage and no buffer alive.
#pragma once

#include <gtest/gtest.h>

#include "buffers/GVSimpleDataBuffer.h"

namespace fundrel::testing {

class BufferTest : public ::testing::Test {
 protected:
  void TearDown() override {
    EXPECT_EQ(_GVCountStores.load(), 0u) << "a smart buffer leaked";
    EXPECT_EQ(_GVCountPasBuffers.load(), 0u) << "a buffer view leaked";
  }
};

// The storage behind a buffer interface.
template <typename I>
TGVSmartBuffer* StorageOf(const TIntf<I>& ABuffer) {
  return dynamic_cast<TGVGenericBuffer*>(ABuffer->GetInstance())->GetDataContainer();
}

}  // namespace fundrel::testing
