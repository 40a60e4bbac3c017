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

TEST_F(BlockBufferTest, ArithmeticSaturatesAndDivisionByZeroRaises) {
  auto bytes = TGVBlockBuffer::CreateArray({200, 10, 20, 7});
  bytes->Add(TGVBlockBuffer::CreateArray({100, 20}));
  bytes->Subtract(TGVBlockBuffer::CreateArray({0, 50, 0}));
  bytes->Multiply(TGVBlockBuffer::CreateArray({1, 1, 20}));
  EXPECT_EQ(BytesOf(bytes), (Bytes{255, 0, 255, 7}));
  bytes->SetValue(8);
  EXPECT_THROW(bytes->Divide(TGVBlockBuffer::CreateArray({3, 0, 2})), EDivByZero);
  EXPECT_EQ(BytesOf(bytes), (Bytes{2, 8, 8, 8}));
}

TEST_F(BlockBufferTest, RemoveKeepsTheBytesAroundTheRange) {
  const std::pair<int32_t, int32_t> ranges[] = {{2, 3}, {0, 2}, {7, 3}, {0, 10}, {4, 0}};
  for (const auto& [index, length] : ranges) {
    Bytes expected = Iota(10);
    expected.erase(expected.begin() + index, expected.begin() + index + length);
    auto first = TGVBlockBuffer::CreateArray(Iota(10));
    auto second = TGVBlockBuffer::CreateUniversal(first);
    first->Remove(index, length);
    EXPECT_EQ(BytesOf(first), expected) << index << "+" << length;
    EXPECT_EQ(BytesOf(second), Iota(10));
    if (length == 0) {
      EXPECT_EQ(StorageOf(first), StorageOf(second)) << "removing nothing copies nothing";
    }
  }
  auto buffer = TGVBlockBuffer::CreateArray(Iota(10));
  const std::pair<int32_t, int32_t> outside[] = {{-1, 1}, {8, 3}, {11, 0}, {2, -1}, {1, INT32_MAX}};
  for (const auto& [index, length] : outside)
    EXPECT_THROW(buffer->Remove(index, length), EAssertionFailed) << index << "+" << length;
  EXPECT_EQ(BytesOf(buffer), Iota(10));
}

TEST_F(BlockBufferTest, AppendAddsTheSourceElementsAsBytesAtTheEnd) {
  auto block = TGVBlockBuffer::CreateArray({1, 2, 3, 4, 5, 6});
  auto keep = TGVBlockBuffer::CreateUniversal(block);
  block->Append(TGVBlockBuffer::CreateArray({7, 8, 9, 10}));
  EXPECT_EQ(BytesOf(block), (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  EXPECT_EQ(BytesOf(keep), (Bytes{1, 2, 3, 4, 5, 6}));

  // Itself, in place while the storage has room and moved beyond.
  auto twice = TGVBlockBuffer::CreateArray({1, 2, 3, 0, 0, 0});
  twice->Resize(3, true);
  twice->Append(twice);
  twice->Append(twice);
  EXPECT_EQ(BytesOf(twice), (Bytes{1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 2, 3}));

  // A wider source gives as many bytes as it has elements, from the start of its bytes.
  const int32_t ints[] = {0x04030201, 0x08070605};
  auto small = TGVBlockBuffer::CreateArray({9});
  small->Append(TGVIntegerBuffer::CreateData(ints, 2));
  EXPECT_EQ(BytesOf(small), (Bytes{9, 1, 2}));
}

TEST_F(BlockBufferTest, CreateUniversalCopiesOtherBuffersAsBytes) {
  const double values[] = {1.5, -2.25};
  auto real = TGVRealBuffer::CreateData(values, 2);
  auto bytes = TGVBlockBuffer::CreateUniversal(real);
  ASSERT_EQ(bytes->GetSize(), 16u);
  EXPECT_EQ(std::memcmp(bytes->Read(), values, 16), 0);
  bytes->SetItem(0, 0xFF);
  EXPECT_EQ(real->GetItem(0), 1.5);
  try {
    bytes->GetItem(16);
    ADD_FAILURE() << "no range error";
  } catch (const ERangeError& e) {
    EXPECT_EQ(e.Message(), "Index out of range = 16");
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
