#include <climits>
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

TEST_F(IntegerBufferTest, ArithmeticSaturatesOverTheCommonLength) {
  auto sum = BufferOf({INT32_MAX, INT32_MIN, 5, 7});
  sum->Add(BufferOf({1, -1, -10}));
  EXPECT_EQ(ModelOf(sum), (Model{INT32_MAX, INT32_MIN, -5, 7}));
  auto product = BufferOf({65536, -65536});
  product->Multiply(BufferOf({65536, 65536, 3}));
  EXPECT_EQ(ModelOf(product), (Model{INT32_MAX, INT32_MIN}));
  product->SubtractValue(-1);
  EXPECT_EQ(ModelOf(product), (Model{INT32_MAX, INT32_MIN + 1}));
  // Buffer division: Self by the operand, to nearest, saturating on a zero divisor.
  auto quotient = BufferOf({9, -7, 5, -5, 0, 8});
  quotient->Divide(BufferOf({4, 4, 0, 0, 0}));
  EXPECT_EQ(ModelOf(quotient), (Model{2, -2, INT32_MAX, INT32_MIN, 0, 8}));
  quotient->Zero();  // all elements, not half of them
  EXPECT_TRUE(quotient->IsEqualToValue(0));
}

TEST_F(IntegerBufferTest, BufferShiftIsLogicalValueShiftArithmetic) {
  auto logical = BufferOf({-8, -8, 1});
  logical->RShift(BufferOf({1, 33, 0}));  // counts wrap at 32
  EXPECT_EQ(ModelOf(logical), (Model{2147483644, 2147483644, 1}));
  auto arithmetic = BufferOf({-8, 8});
  arithmetic->RShiftValue(1);
  EXPECT_EQ(ModelOf(arithmetic), (Model{-4, 4}));
}

TEST_F(IntegerBufferTest, NeutralValuesNeitherChangeNorCopyASharedBuffer) {
  const Model a = {3, -1, INT32_MIN, 0};
  auto first = BufferOf(a);
  auto second = TGVIntegerBuffer::CreateUniversal(first->MakeCopy());
  first->AndValue(-1);
  first->OrValue(0);
  first->XorValue(0);
  first->AddValue(0);
  first->MultiplyValue(1);
  first->DivideValue(0);
  first->DivideValue(1);
  first->LShiftValue(0);
  first->RShiftValue(0);
  EXPECT_EQ(StorageOf(first), StorageOf(second));
  EXPECT_EQ(ModelOf(first), a);
}

TEST_F(IntegerBufferTest, DivideValueTruncatesInPlaceOrIntoACopy) {
  const Model a = {7, -7, INT32_MAX, INT32_MIN, 2}, expected = {2, -2, INT32_MAX / 3, INT32_MIN / 3, 0};
  auto solo = BufferOf(a);
  TGVSmartBuffer* storage = StorageOf(solo);
  solo->DivideValue(3);
  EXPECT_EQ(StorageOf(solo), storage);
  EXPECT_EQ(ModelOf(solo), expected);

  auto first = BufferOf(a);
  auto second = TGVIntegerBuffer::CreateUniversal(first->MakeCopy());
  first->DivideValue(3);
  EXPECT_EQ(ModelOf(first), expected);
  EXPECT_EQ(ModelOf(second), a);
}

TEST_F(IntegerBufferTest, RemaindersRaiseAtTheFirstBadDivisor) {
  auto mod = BufferOf({-7, 7, 9, 10});
  EXPECT_THROW(mod->ModBuffer(BufferOf({3, -3, 0, 3})), EDivByZero);
  EXPECT_EQ(ModelOf(mod), (Model{-1, 1, 9, 10}));  // the dividend's sign; done up to the zero
  EXPECT_THROW(mod->ModValue(0), EDivByZero);
  auto overflow = BufferOf({5, INT32_MIN, 6});
  auto other = TGVIntegerBuffer::CreateUniversal(overflow->MakeCopy());
  EXPECT_THROW(overflow->ModValue(-1), EIntOverflow);
  EXPECT_EQ(ModelOf(overflow), (Model{0, INT32_MIN, 6}));
  EXPECT_EQ(ModelOf(other), (Model{5, INT32_MIN, 6}));
}

}  // namespace
}  // namespace fundrel::testing
