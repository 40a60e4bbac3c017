// Helpers shared by the typed buffers' operations.
#pragma once

#include <cstdint>

#include "buffers/GVSimpleDataBuffer.h"
#include "host/Quenra.SysUtils.h"
#include "primitives/IPPPTypes.h"

namespace fundrel::detail {

// Primitive lengths are signed 32-bit; byte sizes stay below 2^31, so element counts fit.
inline int Len(uint32_t ACount) { return static_cast<int>(ACount); }

[[noreturn]] void RaiseIndexOutOfRange(uint32_t AIndex);

// The primitives' comparison for a threshold type.
inline IppCmpOp CmpOf(TGVThresholdType AType) {
  return AType == TGVThresholdType::ttGreaterThan ? ippCmpGreater : ippCmpLess;
}

// The common length of a binary element-wise operation.
template <typename TSelf, typename I>
uint32_t CommonLength(TSelf* ASelf, const TIntf<I>& AOther) {
  if (!AOther) RaiseNilOperand();
  const uint32_t a = ASelf->GetSize(), b = AOther->GetSize();
  return a < b ? a : b;
}

}  // namespace fundrel::detail
