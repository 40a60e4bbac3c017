#include <climits>
#include <cstdint>
#include <random>
#include <vector>

#include "buffers/BufferTesting.h"
#include "host/Quenra.SysUtils.h"

namespace fundrel::testing {
namespace {

using Model = std::vector<int32_t>;

class IntegerBufferTest : public BufferTest {};

TGVIntegerBufferRef BufferOf(const Model& AModel) {
  return TGVIntegerBuffer::CreateData(AModel.data(), static_cast<uint32_t>(AModel.size()));
}

Model ModelOf(const TGVIntegerBufferRef& ABuffer) { return Model(ABuffer->Read(), ABuffer->Read() + ABuffer->GetSize()); }

int32_t Saturate(int64_t AValue) {
  return static_cast<int32_t>(AValue < INT32_MIN ? INT32_MIN : AValue > INT32_MAX ? INT32_MAX : AValue);
}

// Values around the saturation limits and small ones with both signs.
Model Mixed(size_t ASize, unsigned ASeed) {
  std::mt19937 gen(ASeed);
  const int32_t edges[] = {INT32_MAX, INT32_MIN, INT32_MAX - 1, INT32_MIN + 1, 0, 1, -1, 46341, -46341};
  std::uniform_int_distribution<int32_t> small(-1000, 1000), pick(0, 8);
  Model result(ASize);
  for (size_t i = 0; i < ASize; ++i) result[i] = i % 2 ? edges[pick(gen)] : small(gen);
  return result;
}

TEST_F(IntegerBufferTest, ArithmeticSaturatesOverTheCommonLength) {
  const Model a = Mixed(40, 1), b = Mixed(25, 2);
  using Op = void (IGVIntegerBuffer::*)(const TGVIntegerBufferRef&);
  const std::pair<Op, int64_t (*)(int64_t, int64_t)> ops[] = {
      {&IGVIntegerBuffer::Add, [](int64_t x, int64_t y) { return x + y; }},
      {&IGVIntegerBuffer::Subtract, [](int64_t x, int64_t y) { return x - y; }},
      {&IGVIntegerBuffer::Multiply, [](int64_t x, int64_t y) { return x * y; }},
  };
  for (const auto& [op, fn] : ops) {
    Model expected = a;
    for (size_t i = 0; i < b.size(); ++i) expected[i] = Saturate(fn(a[i], b[i]));
    auto self = BufferOf(a);
    ((*self).*op)(BufferOf(b));
    EXPECT_EQ(ModelOf(self), expected);
  }

  auto values = BufferOf({INT32_MAX - 1, INT32_MIN + 1, 5});
  values->AddValue(10);
  EXPECT_EQ(ModelOf(values), (Model{INT32_MAX, INT32_MIN + 11, 15}));
  values->SubtractValue(20);
  EXPECT_EQ(ModelOf(values), (Model{INT32_MAX - 20, INT32_MIN, -5}));
  values->MultiplyValue(-3);
  EXPECT_EQ(ModelOf(values), (Model{INT32_MIN, INT32_MAX, 15}));
}

TEST_F(IntegerBufferTest, BitOperationsAndShifts) {
  const Model a = Mixed(12, 3), b = Mixed(9, 4);
  auto model = [&](auto AFn) {
    Model expected = a;
    for (size_t i = 0; i < b.size(); ++i) expected[i] = static_cast<int32_t>(AFn(uint32_t(a[i]), uint32_t(b[i])));
    return expected;
  };
  auto run = [&](void (IGVIntegerBuffer::*AOp)(const TGVIntegerBufferRef&)) {
    auto self = BufferOf(a);
    ((*self).*AOp)(BufferOf(b));
    return ModelOf(self);
  };
  EXPECT_EQ(run(&IGVIntegerBuffer::AndBuffer), model([](uint32_t x, uint32_t y) { return x & y; }));
  EXPECT_EQ(run(&IGVIntegerBuffer::OrBuffer), model([](uint32_t x, uint32_t y) { return x | y; }));
  EXPECT_EQ(run(&IGVIntegerBuffer::XorBuffer), model([](uint32_t x, uint32_t y) { return x ^ y; }));
  EXPECT_EQ(run(&IGVIntegerBuffer::LShift), model([](uint32_t x, uint32_t y) { return x << (y & 31); }));
  EXPECT_EQ(run(&IGVIntegerBuffer::RShift), model([](uint32_t x, uint32_t y) { return x >> (y & 31); }));

  // The buffer shift is logical, the value shift arithmetic; shift counts wrap at 32.
  auto logical = BufferOf({-8, -8, 1});
  logical->RShift(BufferOf({1, 33, 0}));
  EXPECT_EQ(ModelOf(logical), (Model{2147483644, 2147483644, 1}));
  auto arithmetic = BufferOf({-8, 8});
  arithmetic->RShiftValue(1);
  EXPECT_EQ(ModelOf(arithmetic), (Model{-4, 4}));
  arithmetic->LShiftValue(3);
  EXPECT_EQ(ModelOf(arithmetic), (Model{-32, 32}));
  arithmetic->XorValue(-1);
  EXPECT_EQ(ModelOf(arithmetic), (Model{31, -33}));
  arithmetic->AndValue(0xF);
  arithmetic->OrValue(0x100);
  EXPECT_EQ(ModelOf(arithmetic), (Model{0x10F, 0x10F}));
}

TEST_F(IntegerBufferTest, NeutralValuesNeitherChangeNorCopyASharedBuffer) {
  const Model a = Mixed(16, 5);
  auto first = BufferOf(a);
  auto second = TGVIntegerBuffer::CreateUniversal(first->MakeCopy());
  TGVSmartBuffer* storage = StorageOf(first);
  ASSERT_EQ(StorageOf(second), storage);
  first->AndValue(-1);
  first->OrValue(0);
  first->XorValue(0);
  first->AddValue(0);
  first->MultiplyValue(1);
  first->DivideValue(0);
  first->DivideValue(1);
  first->LShiftValue(0);
  first->RShiftValue(0);
  EXPECT_EQ(StorageOf(first), storage);
  EXPECT_EQ(StorageOf(second), storage);
  EXPECT_EQ(ModelOf(first), a);
}

TEST_F(IntegerBufferTest, DivideValueTruncatesInPlaceOrIntoACopy) {
  const Model a = {7, -7, 6, -6, INT32_MAX, INT32_MIN, 0, 2};
  Model expected;
  for (int32_t v : a) expected.push_back(v / 3);

  // Single owner: the storage is kept.
  auto solo = BufferOf(a);
  TGVSmartBuffer* storage = StorageOf(solo);
  solo->DivideValue(3);
  EXPECT_EQ(StorageOf(solo), storage);
  EXPECT_EQ(ModelOf(solo), expected);

  // Shared: the writer moves to new storage holding the quotients, the other view keeps a.
  auto first = BufferOf(a);
  auto second = TGVIntegerBuffer::CreateUniversal(first->MakeCopy());
  first->DivideValue(3);
  EXPECT_NE(StorageOf(first), StorageOf(second));
  EXPECT_EQ(ModelOf(first), expected);
  EXPECT_EQ(ModelOf(second), a);

  // A non-owning transport view does not make the owner copy.
  auto owner = BufferOf(a);
  auto transport = TGVIntegerBuffer::CreateUniversal(owner->MakeCopy());
  dynamic_cast<TGVGenericBuffer*>(transport->GetInstance())->RemoveOwnerShip();
  owner->DivideValue(-3);
  EXPECT_EQ(StorageOf(owner), StorageOf(transport));
  EXPECT_EQ(owner->GetItem(0), -2);

  // Buffer division divides Self by the operand, rounds to nearest and saturates on a zero
  // divisor.
  auto divided = BufferOf({9, -7, 5, -5, 0, 8});
  divided->Divide(BufferOf({4, 4, 0, 0, 0}));
  EXPECT_EQ(ModelOf(divided), (Model{2, -2, INT32_MAX, INT32_MIN, 0, 8}));
}

TEST_F(IntegerBufferTest, RemaindersTakeTheDividendsSignAndRaiseAtTheFirstBadDivisor) {
  auto mod = BufferOf({-7, 7, 9, 10});
  EXPECT_THROW(mod->ModBuffer(BufferOf({3, -3, 0, 3})), EDivByZero);
  EXPECT_EQ(ModelOf(mod), (Model{-1, 1, 9, 10}));
  EXPECT_THROW(BufferOf({INT32_MIN})->ModBuffer(BufferOf({-1})), EIntOverflow);

  auto value = BufferOf({-7, 7, INT32_MIN});
  value->ModValue(4);
  EXPECT_EQ(ModelOf(value), (Model{-3, 3, 0}));
  EXPECT_THROW(value->ModValue(0), EDivByZero);

  // A shared buffer copies before the failing pass, so the other view never sees it.
  auto overflow = BufferOf({5, INT32_MIN, 6});
  auto other = TGVIntegerBuffer::CreateUniversal(overflow->MakeCopy());
  EXPECT_THROW(overflow->ModValue(-1), EIntOverflow);
  EXPECT_EQ(ModelOf(overflow), (Model{0, INT32_MIN, 6}));
  EXPECT_EQ(ModelOf(other), (Model{5, INT32_MIN, 6}));
}

TEST_F(IntegerBufferTest, ZeroClearsEveryElementAndStatisticsScanThemAll) {
  auto buffer = BufferOf(Mixed(7, 6));
  buffer->Zero();
  EXPECT_TRUE(buffer->IsEqualToValue(0));
  buffer->SetValue(-3);
  EXPECT_EQ(ModelOf(buffer), Model(7, -3));

  const Model a = {4, -9, 12, 0, 12, -9};
  EXPECT_EQ(BufferOf(a)->GetMinValue(), -9);
  EXPECT_EQ(BufferOf(a)->GetMaxValue(), 12);
  EXPECT_EQ(BufferOf({-5})->GetMaxValue(), -5);
  EXPECT_EQ(TGVIntegerBuffer::Create()->GetMinValue(), 0);
  EXPECT_TRUE(TGVIntegerBuffer::Create()->IsEqualToValue(42));
  EXPECT_EQ(BufferOf(a)->Dot(BufferOf({1, 2, 3})), 4 - 18 + 36);
  EXPECT_EQ(BufferOf({INT32_MAX, INT32_MAX})->Dot(BufferOf({1, 1})), INT32_MAX);
}

TEST_F(IntegerBufferTest, CopyToCountsElementsForIntegerTargetsAndBytesOtherwise) {
  auto source = BufferOf({1, 2, 3, 4, 5});
  auto target = TGVIntegerBuffer::CreateSize(6);
  source->CopyTo(1, target, 2, 3);
  EXPECT_EQ(ModelOf(target), (Model{0, 0, 2, 3, 4, 0}));

  auto bytes = TGVBlockBuffer::CreateSize(6);
  source->CopyTo(4, bytes, 1, 2);
  EXPECT_EQ(std::vector<uint8_t>(bytes->Read(), bytes->Read() + 6), (std::vector<uint8_t>{0, 2, 0, 0, 0, 0}));
}

}  // namespace
}  // namespace fundrel::testing
