#include <cstring>

#include "buffers/GVSimpleDataBuffer.h"
#include "buffers/detail/BufferOps.h"
#include "primitives/GVBasicDispatcher.h"

namespace fundrel {

using detail::CommonLength;
using detail::Len;

namespace {
TGVBlockBufferRef RefOf(TGVBlockBuffer* ABuffer) { return TGVBlockBufferRef(static_cast<IGVBlockBuffer*>(ABuffer)); }
}  // namespace

// --- constructors

TGVBlockBufferRef TGVBlockBuffer::CreateValue(uint32_t ASize, uint8_t AValue) {
  TGVBlockBufferRef result = CreateSize(ASize);
  result->SetValue(AValue);
  return result;
}

TGVBlockBufferRef TGVBlockBuffer::CreateArray(const std::vector<uint8_t>& ABytes) {
  return CreateData(ABytes.data(), static_cast<uint32_t>(ABytes.size()));
}

TGVBlockBufferRef TGVBlockBuffer::CreateUniversal(const TIntf<IGVData>& AOther) {
  TGVData* instance = AOther ? AOther->GetInstance() : nullptr;
  if (auto* block = dynamic_cast<TGVBlockBuffer*>(instance)) return CreateEx(block);
  // Any other data buffer is seen as its bytes, copied into storage of the block's own.
  auto* other = dynamic_cast<TGVGenericBuffer*>(instance);
  if (!other) RaiseInvalidCast();
  const uint32_t size = other->GetByteSize();
  auto* made = new TGVBlockBuffer(size);
  TGVBlockBufferRef result = RefOf(made);
  made->AssignData(AOther.get());
  if (size) FUNDREL_IPP(ippsCopy_8u)(other->ByteRead(), made->Write(), Len(size));
  return result;
}

// --- elements

uint8_t TGVBlockBuffer::GetItem(uint32_t AIndex) {
  if (AIndex >= GetSize()) detail::RaiseIndexOutOfRange(AIndex);
  return Read()[AIndex];
}

void TGVBlockBuffer::SetItem(uint32_t AIndex, uint8_t AValue) {
  uint8_t* data = Modify();
  if (AIndex >= GetSize()) detail::RaiseIndexOutOfRange(AIndex);
  data[AIndex] = AValue;
}

bool TGVBlockBuffer::IsEqualToValue(uint8_t AValue) {
  const uint8_t* data = Read();
  for (uint32_t i = 0, n = GetSize(); i < n; ++i)
    if (data[i] != AValue) return false;
  return true;
}

// --- arithmetic

void TGVBlockBuffer::Add(const TGVBlockBufferRef& ARight) {
  InPlace(ARight, [](const uint8_t* right, uint8_t* self, uint32_t n) {
    FUNDREL_IPP(ippsAdd_8u_ISfs)(right, self, Len(n), 0);
  });
}

void TGVBlockBuffer::Subtract(const TGVBlockBufferRef& ARight) {
  InPlace(ARight, [](const uint8_t* right, uint8_t* self, uint32_t n) {
    FUNDREL_IPP(ippsSub_8u_ISfs)(right, self, Len(n), 0);
  });
}

void TGVBlockBuffer::Multiply(const TGVBlockBufferRef& ARight) {
  InPlace(ARight, [](const uint8_t* right, uint8_t* self, uint32_t n) {
    FUNDREL_IPP(ippsMul_8u_ISfs)(right, self, Len(n), 0);
  });
}

void TGVBlockBuffer::Divide(const TGVBlockBufferRef& ARight) {
  InPlace(ARight, [](const uint8_t* right, uint8_t* self, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) {
      if (right[i] == 0) RaiseDivByZero();
      self[i] = static_cast<uint8_t>(self[i] / right[i]);
    }
  });
}

void TGVBlockBuffer::SetValue(uint8_t AValue) {
  if (GetSize()) FUNDREL_IPP(ippsSet_8u)(AValue, Write(), Len(GetSize()));
}

void TGVBlockBuffer::Zero() {
  if (GetSize()) FUNDREL_IPP(ippsZero_8u)(Write(), Len(GetSize()));
}

// --- size changes

void TGVBlockBuffer::Append(const TIntf<IGVDataBuffer>& AValue) {
  if (!AValue) detail::RaiseNilOperand();
  // Counted in the source's elements: a wider source contributes only its first bytes.
  const uint32_t added = AValue->GetSize();
  if (!added) return;
  const uint32_t oldSize = GetSize();
  // Growing either stays in place for a single owner or moves to new storage holding the old
  // bytes, so Write copies nothing, and a source that is this buffer still reads its bytes.
  Resize(oldSize + added, true);
  uint8_t* target = Write() + oldSize;
  FUNDREL_IPP(ippsCopy_8u)(AValue->ByteRead(), target, Len(added));
}

void TGVBlockBuffer::Remove(int32_t AIndex, int32_t ALength) {
  const uint32_t size = GetSize();
  Assert(AIndex >= 0 && ALength >= 0 && int64_t{AIndex} + ALength <= int64_t{size},
         "Block range to remove lies outside the buffer");
  if (ALength == 0) return;
  const uint32_t index = static_cast<uint32_t>(AIndex), length = static_cast<uint32_t>(ALength);
  const uint32_t tail = size - index - length;
  // The shared view keeps the old bytes readable while Resize gives Self new storage.
  TGVBlockBufferRef source = CreateEx(this);
  Resize(size - length, false);
  if (size == length) return;
  uint8_t* target = Write();
  const uint8_t* from = source->Read();
  if (index) FUNDREL_IPP(ippsCopy_8u)(from, target, Len(index));
  if (tail) FUNDREL_IPP(ippsCopy_8u)(from + index + length, target + index, Len(tail));
}

}  // namespace fundrel
