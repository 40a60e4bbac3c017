#include <climits>
#include <cstring>

#include "buffers/GVSimpleDataBuffer.h"
#include "buffers/detail/BufferOps.h"
#include "primitives/GVBasicDispatcher.h"

namespace fundrel {

using detail::CommonLength;
using detail::Len;

namespace {
// The logical primitives work on the bit pattern.
const Ipp32u* Bits(const int32_t* AData) { return reinterpret_cast<const Ipp32u*>(AData); }
Ipp32u* Bits(int32_t* AData) { return reinterpret_cast<Ipp32u*>(AData); }

// Remainder with the sign of the dividend, raising where the hardware division would trap.
int32_t Remainder(int32_t ADividend, int32_t ADivisor) {
  if (ADivisor == 0) RaiseDivByZero();
  if (ADivisor == -1) {
    if (ADividend == INT32_MIN) RaiseIntOverflow();
    return 0;
  }
  return ADividend % ADivisor;
}
}  // namespace

// --- constructors

TGVIntegerBufferRef TGVIntegerBuffer::CreateValue(int32_t AValue, uint32_t ASize) {
  TGVIntegerBufferRef result = CreateSize(ASize);
  result->SetValue(AValue);
  return result;
}

// --- elements

void TGVIntegerBuffer::SetItem(uint32_t AIndex, int32_t AValue) { Modify()[AIndex] = AValue; }

void TGVIntegerBuffer::CopyToInteger(uint32_t ASourceOffset, TGVIntegerBuffer* ATarget, uint32_t ATargetOffset,
                                     uint32_t ASize) {
  if (ASize == 0) return;
  const uint8_t* source = reinterpret_cast<const uint8_t*>(Read() + ASourceOffset);
  uint8_t* target = reinterpret_cast<uint8_t*>(ATarget->Modify() + ATargetOffset);
  FUNDREL_IPP(ippsCopy_8u)(source, target, Len(ASize * ElementSize));
}

bool TGVIntegerBuffer::IsEqualToValue(int32_t AValue) {
  const int32_t* data = Read();
  for (uint32_t i = 0, n = GetSize(); i < n; ++i)
    if (data[i] != AValue) return false;
  return true;
}

int32_t TGVIntegerBuffer::GetMinValue() {
  const uint32_t n = GetSize();
  if (!n) return 0;
  const int32_t* data = Read();
  int32_t result = data[0];
  for (uint32_t i = 1; i < n; ++i)
    if (data[i] < result) result = data[i];
  return result;
}

int32_t TGVIntegerBuffer::GetMaxValue() {
  const uint32_t n = GetSize();
  if (!n) return 0;
  const int32_t* data = Read();
  int32_t result = data[0];
  for (uint32_t i = 1; i < n; ++i)
    if (data[i] > result) result = data[i];
  return result;
}

int32_t TGVIntegerBuffer::Dot(const TGVIntegerBufferRef& ARight) {
  int32_t result = 0;
  const uint32_t n = CommonLength(this, ARight);
  if (n) FUNDREL_IPP(ippsDotProd_32s_Sfs)(Read(), ARight->Read(), Len(n), &result, 0);
  return result;
}

// --- buffer operands

void TGVIntegerBuffer::Add(const TGVIntegerBufferRef& ARight) {
  InPlace(ARight, [](const int32_t* right, int32_t* self, uint32_t n) {
    FUNDREL_IPP(ippsAdd_32s_ISfs)(right, self, Len(n), 0);
  });
}

void TGVIntegerBuffer::Subtract(const TGVIntegerBufferRef& ARight) {
  InPlace(ARight, [](const int32_t* right, int32_t* self, uint32_t n) {
    FUNDREL_IPP(ippsSub_32s_ISfs)(right, self, Len(n), 0);
  });
}

void TGVIntegerBuffer::Multiply(const TGVIntegerBufferRef& ARight) {
  InPlace(ARight, [](const int32_t* right, int32_t* self, uint32_t n) {
    FUNDREL_IPP(ippsMul_32s_ISfs)(right, self, Len(n), 0);
  });
}

void TGVIntegerBuffer::Divide(const TGVIntegerBufferRef& ARight) {
  InPlace(ARight, [](const int32_t* right, int32_t* self, uint32_t n) {
    FUNDREL_IPP(ippsDiv_32s_ISfs)(right, self, Len(n), 0);
  });
}

void TGVIntegerBuffer::ModBuffer(const TGVIntegerBufferRef& ARight) {
  InPlace(ARight, [](const int32_t* right, int32_t* self, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) self[i] = Remainder(self[i], right[i]);
  });
}

void TGVIntegerBuffer::AndBuffer(const TGVIntegerBufferRef& ARight) {
  InPlace(ARight, [](const int32_t* right, int32_t* self, uint32_t n) {
    FUNDREL_IPP(ippsAnd_32u_I)(Bits(right), Bits(self), Len(n));
  });
}

void TGVIntegerBuffer::OrBuffer(const TGVIntegerBufferRef& ARight) {
  InPlace(ARight, [](const int32_t* right, int32_t* self, uint32_t n) {
    FUNDREL_IPP(ippsOr_32u_I)(Bits(right), Bits(self), Len(n));
  });
}

void TGVIntegerBuffer::XorBuffer(const TGVIntegerBufferRef& ARight) {
  InPlace(ARight, [](const int32_t* right, int32_t* self, uint32_t n) {
    FUNDREL_IPP(ippsXor_32u_I)(Bits(right), Bits(self), Len(n));
  });
}

// No primitive shifts by a per-element amount.
void TGVIntegerBuffer::LShift(const TGVIntegerBufferRef& ARight) {
  InPlace(ARight, [](const int32_t* right, int32_t* data, uint32_t n) {
    Ipp32u* self = Bits(data);
    for (uint32_t i = 0; i < n; ++i) self[i] <<= (right[i] & 31);
  });
}

void TGVIntegerBuffer::RShift(const TGVIntegerBufferRef& ARight) {
  InPlace(ARight, [](const int32_t* right, int32_t* data, uint32_t n) {
    Ipp32u* self = Bits(data);
    for (uint32_t i = 0; i < n; ++i) self[i] >>= (right[i] & 31);
  });
}

// --- value operands
// The neutral values return before Modify, so a shared storage is not copied for nothing.

void TGVIntegerBuffer::SetValue(int32_t AValue) {
  if (GetSize()) FUNDREL_IPP(ippsSet_32s)(AValue, Write(), Len(GetSize()));
}

void TGVIntegerBuffer::Zero() {
  if (GetSize()) FUNDREL_IPP(ippsZero_16s)(reinterpret_cast<Ipp16s*>(Write()), Len(2 * GetSize()));
}

void TGVIntegerBuffer::AddValue(int32_t AValue) {
  if (AValue != 0 && GetSize()) FUNDREL_IPP(ippsAddC_32s_ISfs)(AValue, Modify(), Len(GetSize()), 0);
}

void TGVIntegerBuffer::SubtractValue(int32_t AValue) {
  if (GetSize()) FUNDREL_IPP(ippsSubC_32s_ISfs)(AValue, Modify(), Len(GetSize()), 0);
}

void TGVIntegerBuffer::MultiplyValue(int32_t AValue) {
  if (AValue != 1 && GetSize()) FUNDREL_IPP(ippsMulC_32s_ISfs)(AValue, Modify(), Len(GetSize()), 0);
}

void TGVIntegerBuffer::DivideValue(int32_t AValue) {
  // A zero divisor is ignored, as the real buffer ignores it.
  const uint32_t n = GetSize();
  if (AValue == 0 || AValue == 1 || !n) return;
  if (GetDataContainer()->SingleOwner()) {
    // Nobody else sees the storage: divide where it lies.
    ippsDivC_32s_ISfs(AValue, const_cast<int32_t*>(Read()), Len(n), 0);
    return;
  }
  // A shared view keeps the old storage as the source, so Write clones without copying and the
  // division fills the clone in the same pass.
  TGVIntegerBufferRef source = CreateEx(this);
  ippsDivC_32s_Sfs(source->Read(), AValue, Write(), Len(n), 0);
}

void TGVIntegerBuffer::ModValue(int32_t AValue) {
  const uint32_t n = GetSize();
  if (!n) return;
  if (AValue == 0) RaiseDivByZero();
  int32_t* self = Modify();
  for (uint32_t i = 0; i < n; ++i) self[i] = Remainder(self[i], AValue);
}

void TGVIntegerBuffer::AndValue(int32_t AValue) {
  if (AValue != -1 && GetSize()) FUNDREL_IPP(ippsAndC_32u_I)(static_cast<Ipp32u>(AValue), Bits(Modify()), Len(GetSize()));
}

void TGVIntegerBuffer::OrValue(int32_t AValue) {
  if (AValue != 0 && GetSize()) FUNDREL_IPP(ippsOrC_32u_I)(static_cast<Ipp32u>(AValue), Bits(Modify()), Len(GetSize()));
}

void TGVIntegerBuffer::XorValue(int32_t AValue) {
  if (AValue != 0 && GetSize()) FUNDREL_IPP(ippsXorC_32u_I)(static_cast<Ipp32u>(AValue), Bits(Modify()), Len(GetSize()));
}

void TGVIntegerBuffer::LShiftValue(int32_t AValue) {
  if (AValue != 0 && GetSize()) FUNDREL_IPP(ippsLShiftC_32s_I)(AValue, Modify(), Len(GetSize()));
}

void TGVIntegerBuffer::RShiftValue(int32_t AValue) {
  if (AValue != 0 && GetSize()) FUNDREL_IPP(ippsRShiftC_32s_I)(AValue, Modify(), Len(GetSize()));
}

}  // namespace fundrel
