#include <cmath>
#include <cstring>

#include "buffers/GVSimpleDataBuffer.h"
#include "buffers/detail/BufferOps.h"
#include "primitives/GVBasicDispatcher.h"

namespace fundrel {

using detail::CommonLength;
using detail::CmpOf;
using detail::Len;

namespace {
const Ipp64fc* Cplx(const TComplex* AData) { return reinterpret_cast<const Ipp64fc*>(AData); }
Ipp64fc* Cplx(TComplex* AData) { return reinterpret_cast<Ipp64fc*>(AData); }
Ipp64fc Cplx(double AReal, double AImag) { return Ipp64fc{AReal, AImag}; }

TGVRealBufferRef RealOf(const TGVRealBuffer* ABuffer) {
  return TGVRealBufferRef(static_cast<IGVRealBuffer*>(const_cast<TGVRealBuffer*>(ABuffer)));
}

// A source that stays readable while Self is written. The correlations read other elements
// than the one they write, so a source on Self's own storage gets an owning view of its own:
// Self's Write then moves to new storage instead of overwriting what is still to be read.
TGVComplexBufferRef Detached(TGVComplexBuffer* ASelf, const TGVComplexBufferRef& ASrc) {
  if (!ASrc) detail::RaiseNilOperand();
  auto* src = dynamic_cast<TGVComplexBuffer*>(ASrc->GetInstance());
  if (!src || src->GetDataContainer() != ASelf->GetDataContainer()) return ASrc;
  return TGVComplexBuffer::CreateEx(src);
}

// A new real buffer of ASize elements filled by AFn from ASource.
template <typename TFn>
TGVRealBufferRef ToReal(const TComplex* ASource, uint32_t ASize, TFn AFn) {
  TGVRealBufferRef result = TGVRealBuffer::CreateSize(ASize);
  if (ASize) AFn(Cplx(ASource), result->Write(), Len(ASize));
  return result;
}
}  // namespace

void GVComplexNormalizeFrom(const TComplex* pSrc, TComplex* pDst, int32_t len, TComplex vsub, double vdiv) {
  if (len <= 0) return;
  FUNDREL_IPP(ippsNormalize_64fc)(Cplx(pSrc), Cplx(pDst), len, Cplx(vsub.re, vsub.im), vdiv);
}

// --- constructors

TGVComplexBufferRef TGVComplexBuffer::CreateValue(const TComplex& AValue, uint32_t ASize) {
  TGVComplexBufferRef result = CreateSize(ASize);
  result->SetValue(AValue);
  return result;
}

TGVComplexBufferRef TGVComplexBuffer::CreateValue(double AReal, double AImag, uint32_t ASize) {
  TGVComplexBufferRef result = CreateSize(ASize);
  result->SetValue(AReal, AImag);
  return result;
}

TGVComplexBufferRef TGVComplexBuffer::CreateBuffers(const TGVRealBufferRef& AReal,
                                                    const TGVRealBufferRef& AImaginary) {
  if (!AReal || !AImaginary) detail::RaiseNilOperand();
  const uint32_t realSize = AReal->GetSize(), imagSize = AImaginary->GetSize();
  const uint32_t common = realSize < imagSize ? realSize : imagSize;
  const uint32_t size = realSize < imagSize ? imagSize : realSize;
  TGVComplexBufferRef result = CreateSize(size);
  if (!size) return result;
  Ipp64fc* out = Cplx(result->Write());
  const double* re = AReal->Read();
  const double* im = AImaginary->Read();
  if (common) FUNDREL_IPP(ippsRealToCplx_64f)(re, im, out, Len(common));
  // Beyond the shorter buffer the primitive takes a null part as 0.0.
  if (realSize > common) FUNDREL_IPP(ippsRealToCplx_64f)(re + common, nullptr, out + common, Len(realSize - common));
  if (imagSize > common) FUNDREL_IPP(ippsRealToCplx_64f)(nullptr, im + common, out + common, Len(imagSize - common));
  return result;
}

TGVComplexBufferRef TGVComplexBuffer::CreateBufferObjects(TGVRealBuffer* AReal, TGVRealBuffer* AImaginary) {
  if (!AReal || !AImaginary) detail::RaiseNilOperand();
  return CreateBuffers(RealOf(AReal), RealOf(AImaginary));
}

// --- elements and parts

void TGVComplexBuffer::SetItem(uint32_t AIndex, const TComplex& AValue) { Modify()[AIndex] = AValue; }

TGVRealBufferRef TGVComplexBuffer::GetReal() { return ToReal(Read(), GetSize(), FUNDREL_IPP(ippsReal_64fc)); }

TGVRealBufferRef TGVComplexBuffer::GetImaginary() { return ToReal(Read(), GetSize(), FUNDREL_IPP(ippsImag_64fc)); }

TGVRealBufferRef TGVComplexBuffer::Phase() { return ToReal(Read(), GetSize(), FUNDREL_IPP(ippsPhase_64fc)); }

TGVRealBufferRef TGVComplexBuffer::Magnitude() { return ToReal(Read(), GetSize(), FUNDREL_IPP(ippsMagnitude_64fc)); }

TGVRealBufferRef TGVComplexBuffer::PowerSpectrum() {
  return ToReal(Read(), GetSize(), FUNDREL_IPP(ippsPowerSpectr_64fc));
}

bool TGVComplexBuffer::IsEqualToValue(const TComplex& AValue) {
  const TComplex* data = Read();
  for (uint32_t i = 0, n = GetSize(); i < n; ++i)
    if (!(data[i] == AValue)) return false;
  return true;
}

// --- arithmetic

void TGVComplexBuffer::Add(const TGVComplexBufferRef& ARight) {
  InPlace(ARight, [](const TComplex* right, TComplex* self, uint32_t n) {
    FUNDREL_IPP(ippsAdd_64fc_I)(Cplx(right), Cplx(self), Len(n));
  });
}

void TGVComplexBuffer::Subtract(const TGVComplexBufferRef& ARight) {
  InPlace(ARight, [](const TComplex* right, TComplex* self, uint32_t n) {
    FUNDREL_IPP(ippsSub_64fc_I)(Cplx(right), Cplx(self), Len(n));
  });
}

void TGVComplexBuffer::Multiply(const TGVComplexBufferRef& ARight) {
  InPlace(ARight, [](const TComplex* right, TComplex* self, uint32_t n) {
    FUNDREL_IPP(ippsMul_64fc_I)(Cplx(right), Cplx(self), Len(n));
  });
}

void TGVComplexBuffer::Divide(const TGVComplexBufferRef& ARight) {
  InPlace(ARight, [](const TComplex* right, TComplex* self, uint32_t n) {
    FUNDREL_IPP(ippsDiv_64fc_I)(Cplx(right), Cplx(self), Len(n));
  });
}

void TGVComplexBuffer::AddValue(double AReal, double AImag) {
  if (GetSize()) FUNDREL_IPP(ippsAddC_64fc_I)(Cplx(AReal, AImag), Cplx(Modify()), Len(GetSize()));
}

void TGVComplexBuffer::SubtractValue(double AReal, double AImag) {
  if (GetSize()) FUNDREL_IPP(ippsSubC_64fc_I)(Cplx(AReal, AImag), Cplx(Modify()), Len(GetSize()));
}

void TGVComplexBuffer::MultiplyValue(double AReal, double AImag) {
  if (GetSize()) FUNDREL_IPP(ippsMulC_64fc_I)(Cplx(AReal, AImag), Cplx(Modify()), Len(GetSize()));
}

void TGVComplexBuffer::DivideValue(double AReal, double AImag) {
  if (GetSize()) FUNDREL_IPP(ippsDivC_64fc_I)(Cplx(AReal, AImag), Cplx(Modify()), Len(GetSize()));
}

void TGVComplexBuffer::SetBuffer(const TGVRealBufferRef& AReal, const TGVRealBufferRef& AImag) {
  if (!AReal || !AImag) detail::RaiseNilOperand();
  const uint32_t realSize = AReal->GetSize(), imagSize = AImag->GetSize();
  const uint32_t n = realSize < imagSize ? realSize : imagSize;
  Resize(n, false);
  if (n) FUNDREL_IPP(ippsRealToCplx_64f)(AReal->Read(), AImag->Read(), Cplx(Write()), Len(n));
}

void TGVComplexBuffer::SetValue(double AReal, double AImag) {
  if (GetSize()) FUNDREL_IPP(ippsSet_64fc)(Cplx(AReal, AImag), Cplx(Write()), Len(GetSize()));
}

void TGVComplexBuffer::SetValue(const TComplex& AValue) { SetValue(AValue.re, AValue.im); }

void TGVComplexBuffer::Zero() {
  if (GetSize()) FUNDREL_IPP(ippsZero_64fc)(Cplx(Write()), Len(GetSize()));
}

// --- element-wise functions
// The From forms take the source address before Write: when the source is this very buffer on
// a shared storage, Write moves Self to new storage and the old one, still held by the other
// owner, keeps the values to read.

void TGVComplexBuffer::NormalizeFrom(const TGVComplexBufferRef& ASrc, const TComplex& AOffset, double AFactor) {
  const uint32_t n = CommonLength(this, ASrc);
  if (!n) return;
  const TComplex* src = ASrc->Read();
  GVComplexNormalizeFrom(src, Write(), Len(n), AOffset, AFactor);
}

void TGVComplexBuffer::Normalize(const TComplex& AOffset, double AFactor) {
  // With a second owner Write clones without copying and the primitive fills the clone from
  // the old storage in one pass.
  TGVComplexBufferRef source = CreateEx(this);
  NormalizeFrom(source, AOffset, AFactor);
}

TComplex TGVComplexBuffer::Dot(const TGVComplexBufferRef& ASrc) {
  Ipp64fc result{0.0, 0.0};
  const uint32_t n = CommonLength(this, ASrc);
  if (n) FUNDREL_IPP(ippsDotProd_64fc)(Cplx(Read()), Cplx(ASrc->Read()), Len(n), &result);
  return TComplex(result.re, result.im);
}

void TGVComplexBuffer::Threshold(double AThreshold, TGVThresholdType AType) {
  if (GetSize()) FUNDREL_IPP(ippsThreshold_64fc_I)(Cplx(Modify()), Len(GetSize()), AThreshold, CmpOf(AType));
}

void TGVComplexBuffer::ThresholdFrom(const TGVComplexBufferRef& ASrc, double AThreshold, TGVThresholdType AType) {
  if (!ASrc) detail::RaiseNilOperand();
  if (!GetSize()) return;
  const TComplex* src = ASrc->Read();
  FUNDREL_IPP(ippsThreshold_64fc)(Cplx(src), Cplx(Write()), Len(GetSize()), AThreshold, CmpOf(AType));
}

void TGVComplexBuffer::Sqr() {
  if (GetSize()) FUNDREL_IPP(ippsSqr_64fc_I)(Cplx(Modify()), Len(GetSize()));
}

void TGVComplexBuffer::Sqrt() {
  if (GetSize()) FUNDREL_IPP(ippsSqrt_64fc_I)(Cplx(Modify()), Len(GetSize()));
}

void TGVComplexBuffer::SqrFrom(const TGVComplexBufferRef& ASrc) {
  const uint32_t n = CommonLength(this, ASrc);
  if (!n) return;
  const TComplex* src = ASrc->Read();
  FUNDREL_IPP(ippsSqr_64fc)(Cplx(src), Cplx(Write()), Len(n));
}

void TGVComplexBuffer::SqrtFrom(const TGVComplexBufferRef& ASrc) {
  const uint32_t n = CommonLength(this, ASrc);
  if (!n) return;
  const TComplex* src = ASrc->Read();
  FUNDREL_IPP(ippsSqrt_64fc)(Cplx(src), Cplx(Write()), Len(n));
}

TComplex TGVComplexBuffer::Mean() {
  const uint32_t n = GetSize();
  if (!n) return TComplex();
  // The mean of the magnitudes of each part, not the complex mean: a level measure that
  // opposite signs do not cancel.
  const TComplex* data = Read();
  double re = 0.0, im = 0.0;
  for (uint32_t i = 0; i < n; ++i) {
    re += std::fabs(data[i].re);
    im += std::fabs(data[i].im);
  }
  return TComplex(re / n, im / n);
}

// --- correlation

void TGVComplexBuffer::AutoCorr(const TGVComplexBufferRef& ASrc, TGVAutoCorrType AType) {
  const uint32_t n = CommonLength(this, ASrc);
  if (!n) return;
  TGVComplexBufferRef source = Detached(this, ASrc);
  const Ipp64fc* src = Cplx(source->Read());
  const int srcLen = Len(GetSize());
  Ipp64fc* self = Cplx(Write());
  switch (AType) {
    case TGVAutoCorrType::actNormal: FUNDREL_IPP(ippsAutoCorr_64fc)(src, srcLen, self, Len(n)); break;
    case TGVAutoCorrType::actBiased: FUNDREL_IPP(ippsAutoCorr_NormA_64fc)(src, srcLen, self, Len(n)); break;
    case TGVAutoCorrType::actUnbiased: FUNDREL_IPP(ippsAutoCorr_NormB_64fc)(src, srcLen, self, Len(n)); break;
  }
}

void TGVComplexBuffer::CrossCorr(const TGVComplexBufferRef& ASrc1, const TGVComplexBufferRef& ASrc2,
                                 int32_t ALoLag) {
  TGVComplexBufferRef src1 = Detached(this, ASrc1);
  TGVComplexBufferRef src2 = Detached(this, ASrc2);
  if (!GetSize()) return;
  const Ipp64fc* p1 = Cplx(src1->Read());
  const Ipp64fc* p2 = Cplx(src2->Read());
  FUNDREL_IPP(ippsCrossCorr_64fc)(p1, Len(src1->GetSize()), p2, Len(src2->GetSize()), Cplx(Write()),
                                  Len(GetSize()), ALoLag);
}

}  // namespace fundrel
