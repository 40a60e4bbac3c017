// Shared fixture of the buffer suites: every test must leave no storage and no buffer alive.
#pragma once

#include <gtest/gtest.h>

#include "buffers/GVSimpleDataBuffer.h"

namespace fundrel::testing {

class BufferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FStores = _GVCountStores.load();
    FBuffers = _GVCountPasBuffers.load();
  }
  void TearDown() override {
    EXPECT_EQ(_GVCountStores.load(), FStores) << "a smart buffer leaked";
    EXPECT_EQ(_GVCountPasBuffers.load(), FBuffers) << "a buffer view leaked";
  }

 private:
  uint32_t FStores = 0;
  uint32_t FBuffers = 0;
};

// The storage behind a buffer interface.
template <typename I>
TGVSmartBuffer* StorageOf(const TIntf<I>& ABuffer) {
  return dynamic_cast<TGVGenericBuffer*>(ABuffer->GetInstance())->GetDataContainer();
}

}  // namespace fundrel::testing
