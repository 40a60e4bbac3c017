#include <cstring>
#include <numeric>
#include <vector>

#include "buffers/BufferTesting.h"
#include "host/Quenra.SysUtils.h"
#include "host/Quenra.TypInfo.h"

namespace fundrel::testing {
namespace {

using Bytes = std::vector<uint8_t>;

class BlockBufferTest : public BufferTest {};

Bytes BytesOf(const TGVBlockBufferRef& ABuffer) { return Bytes(ABuffer->Read(), ABuffer->Read() + ABuffer->GetSize()); }

Bytes Iota(size_t ASize) {
  Bytes result(ASize);
  std::iota(result.begin(), result.end(), uint8_t{0});
  return result;
}

TEST_F(BlockBufferTest, ArithmeticSaturatesOverTheCommonLength) {
  auto sum = TGVBlockBuffer::CreateArray({200, 10, 7});
  sum->Add(TGVBlockBuffer::CreateArray({100, 20}));
  EXPECT_EQ(BytesOf(sum), (Bytes{255, 30, 7}));

  auto difference = TGVBlockBuffer::CreateArray({10, 50});
  difference->Subtract(TGVBlockBuffer::CreateArray({20, 5, 99}));
  EXPECT_EQ(BytesOf(difference), (Bytes{0, 45}));

  auto product = TGVBlockBuffer::CreateArray({20, 3, 1});
  product->Multiply(TGVBlockBuffer::CreateArray({20, 4}));
  EXPECT_EQ(BytesOf(product), (Bytes{255, 12, 1}));

  auto quotient = TGVBlockBuffer::CreateArray({255, 7, 9, 6});
  quotient->Divide(TGVBlockBuffer::CreateArray({2, 7, 10}));
  EXPECT_EQ(BytesOf(quotient), (Bytes{127, 1, 0, 6}));

  // The first zero divisor raises; the elements before it are already divided.
  auto partial = TGVBlockBuffer::CreateArray({8, 8, 8});
  EXPECT_THROW(partial->Divide(TGVBlockBuffer::CreateArray({2, 0, 2})), EDivByZero);
  EXPECT_EQ(BytesOf(partial), (Bytes{4, 8, 8}));
}

TEST_F(BlockBufferTest, RemoveKeepsTheBytesAroundTheRange) {
  struct Case {
    int32_t Index, Length;
    Bytes Expected;
  };
  const Case cases[] = {
      {2, 3, {0, 1, 5, 6, 7, 8, 9}},
      {0, 2, {2, 3, 4, 5, 6, 7, 8, 9}},
      {7, 3, {0, 1, 2, 3, 4, 5, 6}},
      {0, 10, {}},
      {4, 0, Iota(10)},
  };
  for (const auto& c : cases) {
    auto solo = TGVBlockBuffer::CreateArray(Iota(10));
    solo->Remove(c.Index, c.Length);
    EXPECT_EQ(BytesOf(solo), c.Expected) << c.Index << "+" << c.Length;

    // On a shared storage the other view keeps all ten bytes.
    auto first = TGVBlockBuffer::CreateArray(Iota(10));
    auto second = TGVBlockBuffer::CreateUniversal(first);
    first->Remove(c.Index, c.Length);
    EXPECT_EQ(BytesOf(first), c.Expected);
    EXPECT_EQ(BytesOf(second), Iota(10));
    if (c.Length == 0) EXPECT_EQ(StorageOf(first), StorageOf(second)) << "removing nothing copies nothing";
  }

  auto buffer = TGVBlockBuffer::CreateArray(Iota(10));
  EXPECT_THROW(buffer->Remove(-1, 1), EAssertionFailed);
  EXPECT_THROW(buffer->Remove(8, 3), EAssertionFailed);
  EXPECT_THROW(buffer->Remove(11, 0), EAssertionFailed);
  EXPECT_THROW(buffer->Remove(2, -1), EAssertionFailed);
  EXPECT_THROW(buffer->Remove(1, INT32_MAX), EAssertionFailed);
  EXPECT_EQ(BytesOf(buffer), Iota(10));
}

TEST_F(BlockBufferTest, AppendAddsTheSourceElementsAsBytesAtTheEnd) {
  auto block = TGVBlockBuffer::CreateArray({1, 2, 3, 4, 5, 6});
  auto keep = TGVBlockBuffer::CreateUniversal(block);
  block->Append(TGVBlockBuffer::CreateArray({7, 8, 9, 10}));
  EXPECT_EQ(BytesOf(block), (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  EXPECT_EQ(BytesOf(keep), (Bytes{1, 2, 3, 4, 5, 6}));

  // Appending itself, growing in place while the storage has room and moving beyond.
  auto twice = TGVBlockBuffer::CreateArray({1, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  twice->Resize(3, true);
  TGVSmartBuffer* storage = StorageOf(twice);
  twice->Append(twice);
  EXPECT_EQ(StorageOf(twice), storage);
  EXPECT_EQ(BytesOf(twice), (Bytes{1, 2, 3, 1, 2, 3}));
  twice->Append(twice);
  twice->Append(twice);
  Bytes expected;
  for (int i = 0; i < 8; ++i) expected.insert(expected.end(), {1, 2, 3});
  EXPECT_EQ(BytesOf(twice), expected);

  // A wider source gives as many bytes as it has elements, from the start of its bytes.
  const int32_t ints[] = {0x04030201, 0x08070605};
  auto small = TGVBlockBuffer::CreateArray({9});
  small->Append(TGVIntegerBuffer::CreateData(ints, 2));
  EXPECT_EQ(BytesOf(small), (Bytes{9, 1, 2}));

  small->Append(TGVBlockBuffer::Create());
  EXPECT_EQ(small->GetSize(), 3u);
}

TEST_F(BlockBufferTest, CreateUniversalSharesBlocksAndCopiesOtherBuffersAsBytes) {
  const double values[] = {1.5, -2.25};
  auto real = TGVRealBuffer::CreateData(values, 2);
  auto bytes = TGVBlockBuffer::CreateUniversal(real);
  ASSERT_EQ(bytes->GetSize(), 16u);
  EXPECT_EQ(std::memcmp(bytes->Read(), values, 16), 0);
  EXPECT_NE(StorageOf(bytes), StorageOf(real));
  bytes->SetItem(0, 0xFF);
  EXPECT_EQ(real->GetItem(0), 1.5);

  auto shared = TGVBlockBuffer::CreateUniversal(bytes);
  EXPECT_EQ(StorageOf(shared), StorageOf(bytes));
  EXPECT_THROW(TGVBlockBuffer::CreateUniversal(nullptr), EInvalidCast);

  auto filled = TGVBlockBuffer::CreateValue(4, 0xAB);
  EXPECT_TRUE(filled->IsEqualToValue(0xAB));
  filled->SetItem(3, 0);
  EXPECT_FALSE(filled->IsEqualToValue(0xAB));
  EXPECT_TRUE(TGVBlockBuffer::Create()->IsEqualToValue(1));
}

TEST_F(BlockBufferTest, ElementAccessIsChecked) {
  auto buffer = TGVBlockBuffer::CreateArray(Iota(10));
  EXPECT_EQ(buffer->GetItem(9), 9);
  for (auto access : {+[](IGVBlockBuffer* b) { b->GetItem(10); }, +[](IGVBlockBuffer* b) { b->SetItem(10, 1); }}) {
    try {
      access(buffer.get());
      ADD_FAILURE() << "no range error";
    } catch (const ERangeError& e) {
      EXPECT_EQ(e.Message(), "Index out of range = 10");
    }
  }
}

TEST_F(BlockBufferTest, TypedBufferClassesAreCreatableByName) {
  const std::pair<const char*, uint32_t> classes[] = {
      {"TGVBlockBuffer", 1}, {"TGVRealBuffer", 8}, {"TGVComplexBuffer", 16}, {"TGVIntegerBuffer", 4}};
  for (const auto& [name, itemSize] : classes) {
    TClass cls = GetClass(name);
    ASSERT_NE(cls, nullptr) << name;
    auto buffer = GVCreateBuffer(cls, 3);
    EXPECT_EQ(buffer->GetSize(), 3u) << name;
    EXPECT_EQ(buffer->GetByteSize(), 3 * itemSize) << name;
  }
}

}  // namespace
}  // namespace fundrel::testing
