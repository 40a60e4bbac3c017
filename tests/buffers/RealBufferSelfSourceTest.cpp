// The real buffer's From operations with the buffer itself as the source.
#include <cmath>
#include <vector>

#include "buffers/BufferTesting.h"

namespace fundrel::testing {
namespace {

class RealBufferSelfSourceTest : public BufferTest {};

// The old values are read whether the write happens in place or has to move a shared buffer to
// new storage first; the other view keeps them.
TEST_F(RealBufferSelfSourceTest, FromOperationsReadTheOldValues) {
  const double v[] = {4.0, -9.0, 16.0, 0.25};
  using Op = void (*)(const TGVRealBufferRef&);
  const std::pair<Op, std::vector<double>> cases[] = {
      {[](const TGVRealBufferRef& b) { b->SqrFrom(b); }, {16.0, 81.0, 256.0, 0.0625}},
      {[](const TGVRealBufferRef& b) { b->NormalizeFrom(b, 1.0, 0.5); }, {6.0, -20.0, 30.0, -1.5}},
      {[](const TGVRealBufferRef& b) { b->ThresholdFrom(b, 1.0, TGVThresholdType::ttLessThan); }, {4.0, 1.0, 16.0, 1.0}},
      {[](const TGVRealBufferRef& b) { b->AutoCorr(b, TGVAutoCorrType::actNormal); },
       {16.0 + 81.0 + 256.0 + 0.0625, -36.0 - 144.0 + 4.0, 64.0 - 2.25, 1.0}},
  };
  for (const auto& [op, expected] : cases) {
    auto solo = TGVRealBuffer::CreateData(v, 4);
    auto shared = TGVRealBuffer::CreateData(v, 4);
    auto other = TGVRealBuffer::CreateCopy(shared);
    op(solo);
    op(shared);
    for (uint32_t i = 0; i < 4; ++i) {
      EXPECT_EQ(solo->GetItem(i), expected[i]) << "private, element " << i;
      EXPECT_EQ(shared->GetItem(i), expected[i]) << "shared, element " << i;
      EXPECT_EQ(other->GetItem(i), v[i]);
    }
  }
}

}  // namespace
}  // namespace fundrel::testing
