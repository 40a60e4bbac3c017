#include <complex>
#include <vector>

#include "buffers/BufferTesting.h"

namespace fundrel::testing {
namespace {

using Model = std::vector<std::complex<double>>;

class ComplexBufferTest : public BufferTest {};

TGVComplexBufferRef BufferOf(const Model& AModel) {
  return TGVComplexBuffer::CreateData(reinterpret_cast<const TComplex*>(AModel.data()), uint32_t(AModel.size()));
}

double MaxDiff(const TGVComplexBufferRef& ABuffer, const Model& AModel) {
  EXPECT_EQ(ABuffer->GetSize(), AModel.size());
  double diff = 0.0;
  for (uint32_t i = 0; i < ABuffer->GetSize() && i < AModel.size(); ++i)
    diff = std::max(diff, std::abs(std::complex<double>(ABuffer->GetItem(i)) - AModel[i]));
  return diff;
}

TEST_F(ComplexBufferTest, PartsOfDifferentSizes) {
  const double three[] = {1, 2, 3}, five[] = {10, 20, 30, 40, 50};
  auto re = TGVRealBuffer::CreateData(three, 3), im = TGVRealBuffer::CreateData(five, 5);
  // The constructor takes the longer size and pads the missing part with 0.0.
  EXPECT_EQ(MaxDiff(TGVComplexBuffer::CreateBuffers(re, im), {{1, 10}, {2, 20}, {3, 30}, {0, 40}, {0, 50}}), 0.0);
  EXPECT_EQ(MaxDiff(TGVComplexBuffer::CreateBuffers(im, re), {{10, 1}, {20, 2}, {30, 3}, {40, 0}, {50, 0}}), 0.0);
  // SetBuffer keeps the common length only.
  auto target = TGVComplexBuffer::CreateValue(7.0, 7.0, 8);
  target->SetBuffer(re, im);
  EXPECT_EQ(MaxDiff(target, {{1, 10}, {2, 20}, {3, 30}}), 0.0);
}

TEST_F(ComplexBufferTest, MeanAveragesTheMagnitudeOfEachPart) {
  EXPECT_EQ(BufferOf({{1, -2}, {-3, 4}})->Mean(), TComplex(2, 3));
}

TEST_F(ComplexBufferTest, BinaryOperationsFollowTheModelOverTheCommonLength) {
  const Model a = {{1, 2}, {-3, 0.5}, {0.25, -4}, {2, 2}, {5, -1}}, b = {{0.5, -1}, {2, 3}, {-1, -0.5}};
  using Op = void (IGVComplexBuffer::*)(const TGVComplexBufferRef&);
  using Fn = std::complex<double> (*)(std::complex<double>, std::complex<double>);
  const std::pair<Op, Fn> ops[] = {{&IGVComplexBuffer::Add, [](auto x, auto y) { return x + y; }},
                                   {&IGVComplexBuffer::Subtract, [](auto x, auto y) { return x - y; }},
                                   {&IGVComplexBuffer::Multiply, [](auto x, auto y) { return x * y; }},
                                   {&IGVComplexBuffer::Divide, [](auto x, auto y) { return x / y; }}};
  for (const auto& [op, fn] : ops) {
    Model longer = a, shorter = b;  // Self longer: its tail stays; Self shorter: nothing is added
    for (size_t i = 0; i < b.size(); ++i) longer[i] = fn(a[i], b[i]), shorter[i] = fn(b[i], a[i]);
    auto self = BufferOf(a);
    ((*self).*op)(BufferOf(b));
    EXPECT_LT(MaxDiff(self, longer), 1e-14);
    self = BufferOf(b);
    ((*self).*op)(BufferOf(a));
    EXPECT_LT(MaxDiff(self, shorter), 1e-14);
  }
}

TEST_F(ComplexBufferTest, WritesToASharedBufferLeaveTheOtherViewAlone) {
  const Model a = {{1, 2}, {-3, 0.5}, {0.25, -4}};
  auto first = BufferOf(a);
  auto second = TGVComplexBuffer::CreateUniversal(first->MakeCopy());
  first->SetItem(1, TComplex(9, 9));
  EXPECT_EQ(MaxDiff(first, {a[0], {9, 9}, a[2]}), 0.0);
  EXPECT_EQ(MaxDiff(second, a), 0.0);

  // Sources that are the written buffer itself are read before the write moves it; third,
  // still on the old storage, shows the old values survive.
  Model squares = a, normalized = a;
  for (auto& z : squares) z *= z;
  for (auto& z : normalized) z = (z - std::complex<double>(1, 1)) / 2.0;
  auto third = TGVComplexBuffer::CreateUniversal(second->MakeCopy());
  second->SqrFrom(second);
  EXPECT_LT(MaxDiff(second, squares), 1e-14);
  third->Normalize(TComplex(1, 1), 2.0);
  EXPECT_LT(MaxDiff(third, normalized), 1e-14);
}

}  // namespace
}  // namespace fundrel::testing
