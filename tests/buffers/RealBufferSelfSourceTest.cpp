// The real buffer's From operations with the buffer itself as the source.
#include <cmath>
#include <vector>

#include "buffers/BufferTesting.h"

namespace fundrel::testing {
namespace {

using Model = std::vector<double>;

class RealBufferSelfSourceTest : public BufferTest {};

// Each operation reads the old values, whether it writes in place or has to move a shared
// buffer to new storage first; the other view keeps them.
TEST_F(RealBufferSelfSourceTest, FromOperationsReadTheOldValues) {
  const Model values = {4.0, -9.0, 16.0, 0.25};
  struct Case {
    const char* Name;
    void (*Op)(const TGVRealBufferRef&);
    double (*Fn)(const Model&, size_t);
  };
  const Case cases[] = {
      {"SqrFrom", [](const TGVRealBufferRef& b) { b->SqrFrom(b); }, [](const Model& v, size_t i) { return v[i] * v[i]; }},
      {"AbsFrom", [](const TGVRealBufferRef& b) { b->AbsFrom(b); }, [](const Model& v, size_t i) { return std::fabs(v[i]); }},
      {"NormalizeFrom", [](const TGVRealBufferRef& b) { b->NormalizeFrom(b, 1.0, 0.5); },
       [](const Model& v, size_t i) { return (v[i] - 1.0) / 0.5; }},
      {"ThresholdFrom", [](const TGVRealBufferRef& b) { b->ThresholdFrom(b, 1.0, TGVThresholdType::ttLessThan); },
       [](const Model& v, size_t i) { return v[i] < 1.0 ? 1.0 : v[i]; }},
      {"AutoCorr", [](const TGVRealBufferRef& b) { b->AutoCorr(b, TGVAutoCorrType::actNormal); },
       [](const Model& v, size_t lag) {
         double sum = 0.0;
         for (size_t i = 0; i + lag < v.size(); ++i) sum += v[i] * v[i + lag];
         return sum;
       }},
  };
  for (const auto& c : cases) {
    auto solo = TGVRealBuffer::CreateData(values.data(), 4);
    c.Op(solo);
    auto shared = TGVRealBuffer::CreateData(values.data(), 4);
    auto other = TGVRealBuffer::CreateCopy(shared);
    c.Op(shared);
    for (uint32_t i = 0; i < 4; ++i) {
      EXPECT_EQ(solo->GetItem(i), c.Fn(values, i)) << c.Name << " private, element " << i;
      EXPECT_EQ(shared->GetItem(i), c.Fn(values, i)) << c.Name << " shared, element " << i;
      EXPECT_EQ(other->GetItem(i), values[i]) << c.Name << " other view, element " << i;
    }
  }
}

}  // namespace
}  // namespace fundrel::testing
