#include <cfloat>
#include <cmath>
#include <algorithm>
#include <cstring>
#include <limits>

#include "buffers/GVSimpleDataBuffer.h"
#include "buffers/detail/BufferOps.h"
#include "primitives/GVBasicDispatcher.h"

namespace fundrel {

using detail::CommonLength;
using detail::CmpOf;
using detail::Len;

namespace {
constexpr double MaxReal = DBL_MAX;
constexpr double MinReal = -DBL_MAX;


// Element i = AData[i] / ADivider, or the exact value when ADivider is 1.0.
template <typename T>
TGVRealBufferRef FromValues(const T* AData, uint32_t ASize, double ADivider) {
  TGVRealBufferRef result = TGVRealBuffer::CreateSize(ASize);
  if (!AData) return result;
  double* out = result->Write();
  if (ADivider == 1.0) {
    for (uint32_t i = 0; i < ASize; ++i) out[i] = static_cast<double>(AData[i]);
  } else {
    for (uint32_t i = 0; i < ASize; ++i) out[i] = static_cast<double>(AData[i]) / ADivider;
  }
  return result;
}

// The integer a double rounds (to nearest, ties to even) or truncates to, wrapped into 64 bits
// the way the hardware conversion of the value's low bits would: callers keep only the low 16.
int64_t ToInteger(double AValue, bool ARound) {
  double v = ARound ? std::nearbyint(AValue) : std::trunc(AValue);
  if (!std::isfinite(v)) return 0;
  if (std::fabs(v) < 9.2e18) return static_cast<int64_t>(v);
  // Beyond 64 bits: the low bits of the exact integer (v is a multiple of 2^11 here).
  double low = std::fmod(v, 18446744073709551616.0);
  if (low < 0) low += 18446744073709551616.0;
  return static_cast<int64_t>(static_cast<uint64_t>(low));
}
}  // namespace

// --- constructors

TGVRealBufferRef TGVRealBuffer::CreateValue(double AValue, uint32_t ASize) {
  TGVRealBufferRef result = CreateSize(ASize);
  result->SetValue(AValue);
  return result;
}

TGVRealBufferRef TGVRealBuffer::CreateByteData(const uint8_t* AData, uint32_t ASize, double ADivider) {
  return FromValues(AData, ASize, ADivider);
}

TGVRealBufferRef TGVRealBuffer::CreateWordData(const uint16_t* AData, uint32_t ASize, double ADivider) {
  return FromValues(AData, ASize, ADivider);
}

TGVRealBufferRef TGVRealBuffer::CreateSmallIntData(const int16_t* AData, uint32_t ASize, double ADivider) {
  if (ADivider != 1.0 || !AData) return FromValues(AData, ASize, ADivider);
  TGVRealBufferRef result = CreateSize(ASize);
  if (ASize) FUNDREL_IPP(ippsConvert_16s64f_Sfs)(AData, result->Write(), Len(ASize), 0);
  return result;
}

TGVRealBufferRef TGVRealBuffer::CreateCardinalData(const uint32_t* AData, uint32_t ASize, double ADivider) {
  return FromValues(AData, ASize, ADivider);
}

TGVRealBufferRef TGVRealBuffer::CreateIntegerData(const int32_t* AData, uint32_t ASize, double ADivider) {
  if (ADivider != 1.0 || !AData) return FromValues(AData, ASize, ADivider);
  TGVRealBufferRef result = CreateSize(ASize);
  if (ASize) FUNDREL_IPP(ippsConvert_32s64f)(AData, result->Write(), Len(ASize));
  return result;
}

TGVRealBufferRef TGVRealBuffer::CreateInt64Data(const int64_t* AData, uint32_t ASize, double ADivider) {
  if (ADivider != 1.0 || !AData) return FromValues(AData, ASize, ADivider);
  TGVRealBufferRef result = CreateSize(ASize);
  ippsConvert_64s64f(AData, result->Write(), Len(ASize));
  return result;
}

TGVRealBufferRef TGVRealBuffer::CreateUInt64Data(const uint64_t* AData, uint32_t ASize, double ADivider) {
  if (ADivider != 1.0 || !AData) return FromValues(AData, ASize, ADivider);
  TGVRealBufferRef result = CreateSize(ASize);
  ippsConvert_64u64f(AData, result->Write(), Len(ASize));
  return result;
}

TGVRealBufferRef TGVRealBuffer::CreateSingleData(const float* AData, uint32_t ASize) {
  TGVRealBufferRef result = CreateSize(ASize);
  if (AData && ASize) FUNDREL_IPP(ippsConvert_32f64f)(AData, result->Write(), Len(ASize));
  return result;
}

// --- elements

double TGVRealBuffer::GetItem(uint32_t AIndex) {
  if (AIndex >= GetSize()) detail::RaiseIndexOutOfRange(AIndex);
  return Read()[AIndex];
}

void TGVRealBuffer::SetItem(uint32_t AIndex, double AValue) {
  if (AIndex >= GetSize()) detail::RaiseIndexOutOfRange(AIndex);
  Modify()[AIndex] = AValue;
}

void TGVRealBuffer::CopyToReal(uint32_t ASourceOffset, TGVRealBuffer* ATarget, uint32_t ATargetOffset,
                               uint32_t ASize) {
  if (ASize == 0) return;
  double* target = ATarget->Modify();
  FUNDREL_IPP(ippsCopy_64f)(Read() + ASourceOffset, target + ATargetOffset, Len(ASize));
}

bool TGVRealBuffer::IsEqualToValue(double AValue) {
  const double* data = Read();
  for (uint32_t i = 0, n = GetSize(); i < n; ++i)
    if (!(data[i] == AValue)) return false;
  return true;
}

// --- arithmetic

void TGVRealBuffer::Add(const TGVRealBufferRef& ARight) {
  InPlace(ARight, [](const double* right, double* self, uint32_t n) { FUNDREL_IPP(ippsAdd_64f_I)(right, self, Len(n)); });
}

void TGVRealBuffer::Subtract(const TGVRealBufferRef& ARight) {
  InPlace(ARight, [](const double* right, double* self, uint32_t n) { FUNDREL_IPP(ippsSub_64f_I)(right, self, Len(n)); });
}

void TGVRealBuffer::Multiply(const TGVRealBufferRef& ARight) {
  InPlace(ARight, [](const double* right, double* self, uint32_t n) { FUNDREL_IPP(ippsMul_64f_I)(right, self, Len(n)); });
}

void TGVRealBuffer::Divide(const TGVRealBufferRef& ARight) {
  InPlace(ARight, [](const double* right, double* self, uint32_t n) {
    if (FUNDREL_IPP(ippsDiv_64f_I)(right, self, Len(n)) != ippStsDivByZero) return;
    // Downstream code cannot take infinities: a zero divisor yields a large finite mark.
    for (uint32_t i = 0; i < n; ++i)
      if (right[i] == 0.0) self[i] = self[i] > 0 ? 1e15 : -1e14;
  });
}

void TGVRealBuffer::SetValue(double AValue) {
  if (GetSize()) FUNDREL_IPP(ippsSet_64f)(AValue, Write(), Len(GetSize()));
}

void TGVRealBuffer::AddValue(double AValue) {
  if (AValue != 0.0 && GetSize()) FUNDREL_IPP(ippsAddC_64f_I)(AValue, Modify(), Len(GetSize()));
}

void TGVRealBuffer::SubtractValue(double AValue) {
  if (AValue != 0.0 && GetSize()) FUNDREL_IPP(ippsSubC_64f_I)(AValue, Modify(), Len(GetSize()));
}

void TGVRealBuffer::MultiplyValue(double AValue) {
  if (AValue != 1.0 && GetSize()) FUNDREL_IPP(ippsMulC_64f_I)(AValue, Modify(), Len(GetSize()));
}

void TGVRealBuffer::DivideValue(double AValue) {
  if (AValue != 0.0 && AValue != 1.0 && GetSize()) FUNDREL_IPP(ippsDivC_64f_I)(AValue, Modify(), Len(GetSize()));
}

void TGVRealBuffer::Zero() {
  if (GetSize()) FUNDREL_IPP(ippsZero_64f)(Write(), Len(GetSize()));
}

void TGVRealBuffer::VectorJaehne(double AMagnitude) {
  if (GetSize()) FUNDREL_IPP(ippsVectorJaehne_64f)(Write(), Len(GetSize()), AMagnitude);
}

// --- conversions

void TGVRealBuffer::ToInt(int32_t* AOutBuffer, bool ARound) {
  if (GetSize())
    FUNDREL_IPP(ippsConvert_64f32s_Sfs)(Read(), AOutBuffer, Len(GetSize()), ARound ? ippRndNear : ippRndZero, 0);
}

void TGVRealBuffer::ToShort(int16_t* AOutBuffer, bool ARound) {
  const double* data = Read();
  for (uint32_t i = 0, n = GetSize(); i < n; ++i)
    AOutBuffer[i] = static_cast<int16_t>(static_cast<uint16_t>(ToInteger(data[i], ARound) & 0xFFFF));
}

void TGVRealBuffer::ToSingle(float* AOutBuffer) {
  if (GetSize()) FUNDREL_IPP(ippsConvert_64f32f)(Read(), AOutBuffer, Len(GetSize()));
}

void TGVRealBuffer::FromInt(const int32_t* AInBuffer) {
  if (GetSize()) FUNDREL_IPP(ippsConvert_32s64f)(AInBuffer, Write(), Len(GetSize()));
}

void TGVRealBuffer::FromShort(const int16_t* AInBuffer) {
  if (GetSize()) FUNDREL_IPP(ippsConvert_16s64f_Sfs)(AInBuffer, Write(), Len(GetSize()), 0);
}

void TGVRealBuffer::FromSingle(const float* AInBuffer) {
  if (GetSize()) FUNDREL_IPP(ippsConvert_32f64f)(AInBuffer, Write(), Len(GetSize()));
}

// --- element-wise functions

void TGVRealBuffer::NormalizeFrom(const TGVRealBufferRef& ASrc, double AOffset, double AFactor) {
  const uint32_t n = CommonLength(this, ASrc);
  if (!n) return;
  // The source address first: when the source is this buffer on a shared storage, Write moves
  // Self to new storage and the old one, kept by the other owner, still holds the values.
  const double* src = ASrc->Read();
  FUNDREL_IPP(ippsNormalize_64f)(src, Write(), Len(n), AOffset, AFactor);
}

void TGVRealBuffer::Normalize(double AOffset, double AFactor) {
  // The shared copy makes Write clone without copying: the division reads the old storage and
  // fills the new one in one pass.
  TGVRealBufferRef source = CreateEx(this);
  NormalizeFrom(source, AOffset, AFactor);
}

double TGVRealBuffer::Dot(const TGVRealBufferRef& ARight) {
  double result = 0.0;
  const uint32_t n = CommonLength(this, ARight);
  if (n) FUNDREL_IPP(ippsDotProd_64f)(Read(), ARight->Read(), Len(n), &result);
  return result;
}

void TGVRealBuffer::Threshold(double AThreshold, TGVThresholdType AType) {
  if (GetSize()) FUNDREL_IPP(ippsThreshold_64f_I)(Modify(), Len(GetSize()), AThreshold, CmpOf(AType));
}

void TGVRealBuffer::ThresholdFrom(const TGVRealBufferRef& ASrc, double AThreshold, TGVThresholdType AType) {
  if (!GetSize()) return;
  const double* src = ASrc->Read();  // before Write, as in NormalizeFrom
  FUNDREL_IPP(ippsThreshold_64f)(src, Write(), Len(GetSize()), AThreshold, CmpOf(AType));
}

void TGVRealBuffer::Sqr() {
  if (GetSize()) FUNDREL_IPP(ippsSqr_64f_I)(Modify(), Len(GetSize()));
}
void TGVRealBuffer::Sqrt() {
  if (GetSize()) FUNDREL_IPP(ippsSqrt_64f_I)(Modify(), Len(GetSize()));
}
void TGVRealBuffer::Abs() {
  if (GetSize()) FUNDREL_IPP(ippsAbs_64f_I)(Modify(), Len(GetSize()));
}
void TGVRealBuffer::Exp() {
  if (GetSize()) FUNDREL_IPP(ippsExp_64f_I)(Modify(), Len(GetSize()));
}
void TGVRealBuffer::Ln() {
  if (GetSize()) FUNDREL_IPP(ippsLn_64f_I)(Modify(), Len(GetSize()));
}

namespace {
template <typename TFn>
void UnaryFrom(TGVRealBuffer* ASelf, const TGVRealBufferRef& ASrc, TFn AFn) {
  const uint32_t n = CommonLength(ASelf, ASrc);
  if (!n) return;
  const double* src = ASrc->Read();  // before Write, as in NormalizeFrom
  AFn(src, ASelf->Write(), Len(n));
}
}  // namespace

void TGVRealBuffer::SqrFrom(const TGVRealBufferRef& ASrc) { UnaryFrom(this, ASrc, FUNDREL_IPP(ippsSqr_64f)); }
void TGVRealBuffer::SqrtFrom(const TGVRealBufferRef& ASrc) { UnaryFrom(this, ASrc, FUNDREL_IPP(ippsSqrt_64f)); }
void TGVRealBuffer::AbsFrom(const TGVRealBufferRef& ASrc) { UnaryFrom(this, ASrc, FUNDREL_IPP(ippsAbs_64f)); }
void TGVRealBuffer::ExpFrom(const TGVRealBufferRef& ASrc) { UnaryFrom(this, ASrc, FUNDREL_IPP(ippsExp_64f)); }
void TGVRealBuffer::LnFrom(const TGVRealBufferRef& ASrc) { UnaryFrom(this, ASrc, FUNDREL_IPP(ippsLn_64f)); }

// --- correlation and convolution

void TGVRealBuffer::AutoCorr(const TGVRealBufferRef& ASrc, TGVAutoCorrType AType) {
  const uint32_t n = CommonLength(this, ASrc);
  if (!n) return;
  // Every lag reads the whole source: a source that is this buffer gets a view of its own, so
  // that Write moves Self to new storage instead of overwriting what is still to be read.
  TGVRealBufferRef source = ASrc.get() == static_cast<IGVRealBuffer*>(this) ? CreateEx(this) : ASrc;
  const double* src = source->Read();
  double* self = Write();
  const int srcLen = Len(GetSize());
  switch (AType) {
    case TGVAutoCorrType::actNormal: FUNDREL_IPP(ippsAutoCorr_64f)(src, srcLen, self, Len(n)); break;
    case TGVAutoCorrType::actBiased: FUNDREL_IPP(ippsAutoCorr_NormA_64f)(src, srcLen, self, Len(n)); break;
    case TGVAutoCorrType::actUnbiased: FUNDREL_IPP(ippsAutoCorr_NormB_64f)(src, srcLen, self, Len(n)); break;
  }
}

void TGVRealBuffer::CrossCorr(const TGVRealBufferRef& ASrc1, const TGVRealBufferRef& ASrc2, int32_t ALoLag) {
  if (!GetSize()) return;
  // Hold the sources' current storage: Write may replace ours when a source is this buffer.
  TGVRealBufferRef src1 = ASrc1.get() == static_cast<IGVRealBuffer*>(this) ? CreateEx(this) : ASrc1;
  TGVRealBufferRef src2 = ASrc2.get() == static_cast<IGVRealBuffer*>(this) ? CreateEx(this) : ASrc2;
  double* self = Write();
  FUNDREL_IPP(ippsCrossCorr_64f)(src1->Read(), Len(src1->GetSize()), src2->Read(), Len(src2->GetSize()), self,
                                 Len(GetSize()), ALoLag);
}

void TGVRealBuffer::Convolve(const TGVRealBufferRef& ASrc, const TGVRealBufferRef& AH) {
  // Resize drops our storage: keep a source that is this very buffer on its own view.
  TGVRealBufferRef src = ASrc.get() == static_cast<IGVRealBuffer*>(this) ? CreateEx(this) : ASrc;
  TGVRealBufferRef h = AH.get() == static_cast<IGVRealBuffer*>(this) ? CreateEx(this) : AH;
  const uint32_t srcLen = src->GetSize(), hLen = h->GetSize();
  if (srcLen == 0 || hLen == 0) {
    Resize(0, false);
    return;
  }
  Resize(srcLen + hLen - 1, false);
  FUNDREL_IPP(ippsConv_64f)(src->Read(), Len(srcLen), h->Read(), Len(hLen), Write());
}

// --- statistics

double TGVRealBuffer::Mean() {
  double result = 0.0;
  if (GetSize()) FUNDREL_IPP(ippsMean_64f)(Read(), Len(GetSize()), &result);
  return result;
}

double TGVRealBuffer::StdDev() {
  double result = 0.0;
  if (GetSize()) FUNDREL_IPP(ippsStdDev_64f)(Read(), Len(GetSize()), &result);
  return result;
}

double TGVRealBuffer::Norm(const TGVRealBufferRef& ASrc, TGVNormType AType) {
  double result = 0.0;
  const int n = Len(GetSize());
  if (!n) return result;
  const double* src = ASrc->Read();
  switch (AType) {
    case TGVNormType::ntL1Norm: FUNDREL_IPP(ippsNormDiff_L1_64f)(src, Read(), n, &result); break;
    case TGVNormType::ntL2Norm: FUNDREL_IPP(ippsNormDiff_L2_64f)(src, Read(), n, &result); break;
    case TGVNormType::ntCNorm: FUNDREL_IPP(ippsNormDiff_Inf_64f)(src, Read(), n, &result); break;
  }
  return result;
}

double TGVRealBuffer::GetMinValue() {
  double result = 0.0;
  if (GetSize()) FUNDREL_IPP(ippsMin_64f)(Read(), Len(GetSize()), &result);
  return result;
}

double TGVRealBuffer::GetMaxValue() {
  double result = 0.0;
  if (GetSize()) FUNDREL_IPP(ippsMax_64f)(Read(), Len(GetSize()), &result);
  return result;
}

double TGVRealBuffer::GetMinIndex(int32_t& AIndex) {
  AIndex = 0;
  double result = 0.0;
  if (GetSize()) FUNDREL_IPP(ippsMinIndx_64f)(Read(), Len(GetSize()), &result, &AIndex);
  return result;
}

double TGVRealBuffer::GetMaxIndex(int32_t& AIndex) {
  AIndex = 0;
  double result = 0.0;
  if (GetSize()) FUNDREL_IPP(ippsMaxIndx_64f)(Read(), Len(GetSize()), &result, &AIndex);
  return result;
}

namespace {
// The half-open range of GetMin/GetMax after clamping; false when nothing is left.
bool ClampHalfOpen(int64_t ASize, int32_t& ABegin, int32_t& AEnd) {
  if (ABegin < 0) ABegin = 0;
  if (AEnd < 0) AEnd = 0;
  if (AEnd > ASize) AEnd = static_cast<int32_t>(ASize);
  if (ABegin >= ASize) ABegin = static_cast<int32_t>(ASize - 1);
  return ASize > 0 && AEnd > ABegin;
}

template <bool AMin>
double Restricted(const double* AData, int64_t ASize, int32_t ABegin, int32_t AEnd) {
  if (ASize == 0) return 0.0;
  if (ABegin < 0) ABegin = 0;
  if (AEnd < 0) AEnd = 0;
  if (AEnd >= ASize) AEnd = static_cast<int32_t>(ASize - 1);
  if (ABegin >= ASize) ABegin = static_cast<int32_t>(ASize - 1);
  if (ABegin > AEnd) return 0.0;
  double result = AData[ABegin];
  // The first value seeds the scan; a missing-data mark there seeds 0.0 instead.
  if (AMin ? (result <= MinReal || result == MaxReal) : (result == MinReal || result == MaxReal)) result = 0.0;
  for (int32_t i = ABegin + 1; i <= AEnd; ++i) {
    const double v = AData[i];
    if (v == MinReal || v == MaxReal) continue;
    if (AMin ? v < result : v > result) result = v;
  }
  return result;
}
}  // namespace

double TGVRealBuffer::GetMin(int32_t AIndexBegin, int32_t AIndexEnd) {
  double result = 0.0;
  if (ClampHalfOpen(GetSize(), AIndexBegin, AIndexEnd))
    FUNDREL_IPP(ippsMin_64f)(Read() + AIndexBegin, AIndexEnd - AIndexBegin, &result);
  return result;
}

double TGVRealBuffer::GetMax(int32_t AIndexBegin, int32_t AIndexEnd) {
  double result = 0.0;
  if (ClampHalfOpen(GetSize(), AIndexBegin, AIndexEnd))
    FUNDREL_IPP(ippsMax_64f)(Read() + AIndexBegin, AIndexEnd - AIndexBegin, &result);
  return result;
}

double TGVRealBuffer::GetMinRestricted(int32_t AIndexBegin, int32_t AIndexEnd) {
  return Restricted<true>(Read(), GetSize(), AIndexBegin, AIndexEnd);
}

double TGVRealBuffer::GetMaxRestricted(int32_t AIndexBegin, int32_t AIndexEnd) {
  return Restricted<false>(Read(), GetSize(), AIndexBegin, AIndexEnd);
}

}  // namespace fundrel
