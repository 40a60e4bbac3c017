// Arithmetic with a constant: AddC, SubC, SubCRev (val - x), MulC, DivC in real, complex and
// scaled-integer forms. In-place forms take the constant first, out-of-place forms second.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "platform/ipp/ipps/ipps_const.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>

#include "platform/ipp/ipps/ew_cplx.h"
#include "platform/ipp/ipps/ew_loops-inl.h"

HWY_BEFORE_NAMESPACE();
namespace fundrel::ew::HWY_NAMESPACE {

// The real kernels take the constant as an (even-lane, odd-lane) pair: (v, v) for a real vector,
// (re, im) for interleaved complex values, so one kernel serves both.
template <class F>
HWY_INLINE void MapPairC(const double* a, double c0, double c1, double* out, size_t n, const F& f) {
#if EW_PAIRS
  Map1<2>(a, out, n, [&](auto d, auto x) { return f(d, x, hn::OddEven(hn::Set(d, c1), hn::Set(d, c0))); });
#else
  const hn::ScalableTag<double> d;
  for (size_t i = 0; i < n; ++i) hn::StoreU(f(d, hn::LoadU(d, a + i), hn::Set(d, (i & 1) ? c1 : c0)), d, out + i);
#endif
}

void AddCF64(const double* a, double c0, double c1, double* out, size_t n) {
  MapPairC(a, c0, c1, out, n, [](auto, auto x, auto c) { return hn::Add(x, c); });
}
void SubCF64(const double* a, double c0, double c1, double* out, size_t n) {
  MapPairC(a, c0, c1, out, n, [](auto, auto x, auto c) { return hn::Sub(x, c); });
}
void SubCRevF64(const double* a, double c0, double c1, double* out, size_t n) {
  MapPairC(a, c0, c1, out, n, [](auto, auto x, auto c) { return hn::Sub(c, x); });
}
void MulCF64(const double* a, double c, double* out, size_t n) {
  Map1(a, out, n, [c](auto d, auto x) { return hn::Mul(x, hn::Set(d, c)); });
}
void DivCF64(const double* a, double c, double* out, size_t n) {
  Map1(a, out, n, [c](auto d, auto x) { return hn::Div(x, hn::Set(d, c)); });
}
void MulCF32(const float* a, float c, float* out, size_t n) {
  Map1(a, out, n, [c](auto d, auto x) { return hn::Mul(x, hn::Set(d, c)); });
}
void SubCRevF32(const float* a, float c, float* out, size_t n) {
  Map1(a, out, n, [c](auto d, auto x) { return hn::Sub(hn::Set(d, c), x); });
}

// Complex constant; n counts doubles.
void MulCC64(const double* a, double re, double im, double* out, size_t n) {
#if EW_PAIRS
  Map1<2>(a, out, n, [=](auto d, auto x) { return CMul(d, x, hn::OddEven(hn::Set(d, im), hn::Set(d, re))); });
#else
  const double c[2] = {re, im};
  for (size_t i = 0; i < n; i += 2) ScalarCMul(a + i, c, out + i, 2);
#endif
}
void DivCC64(const double* a, double re, double im, double* out, size_t n) {
#if EW_PAIRS
  const double m = re * re + im * im;
  Map1<2>(a, out, n, [=](auto d, auto x) {
    return hn::Div(CMulConj(d, x, hn::OddEven(hn::Set(d, im), hn::Set(d, re))), hn::Set(d, m));
  });
#else
  const double c[2] = {re, im};
  for (size_t i = 0; i < n; i += 2) ScalarCDiv(a + i, c, out + i, 2);
#endif
}

void AddCSat32(const int32_t* a, int32_t c, int32_t* out, size_t n) {
  Map1(a, out, n, [c](auto d, auto x) { return AddSatI32(d, x, hn::Set(d, c)); });
}
void SubCSat32(const int32_t* a, int32_t c, int32_t* out, size_t n) {
  Map1(a, out, n, [c](auto d, auto x) { return SubSatI32(d, x, hn::Set(d, c)); });
}
void SubCRevSat32(const int32_t* a, int32_t c, int32_t* out, size_t n) {
  Map1(a, out, n, [c](auto d, auto x) { return SubSatI32(d, hn::Set(d, c), x); });
}

}  // namespace fundrel::ew::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include "platform/ipp/ipp_api.h"
#include "platform/ipp/ipps/ew_check.h"
#include "platform/ipp/ipps/ew_sfs.h"

namespace fundrel::ew {
HWY_EXPORT(AddCF64);
HWY_EXPORT(SubCF64);
HWY_EXPORT(SubCRevF64);
HWY_EXPORT(MulCF64);
HWY_EXPORT(DivCF64);
HWY_EXPORT(MulCF32);
HWY_EXPORT(SubCRevF32);
HWY_EXPORT(MulCC64);
HWY_EXPORT(DivCC64);
HWY_EXPORT(AddCSat32);
HWY_EXPORT(SubCSat32);
HWY_EXPORT(SubCRevSat32);

namespace {
const double* D(const Ipp64fc* p) { return reinterpret_cast<const double*>(p); }
double* D(Ipp64fc* p) { return reinterpret_cast<double*>(p); }
size_t N2(int len) { return 2 * static_cast<size_t>(len); }

enum class IntOp { Add, Sub, SubRev, Mul };

// Scaled 32-bit constant arithmetic: the saturating kernels when nothing is scaled, the exact
// general rule otherwise (and for every product).
void IntC(IntOp op, const Ipp32s* src, Ipp32s val, Ipp32s* dst, int len, int sf) {
  const size_t n = static_cast<size_t>(len);
  if (sf == 0 && op != IntOp::Mul) {
    if (op == IntOp::Add) EW_DISPATCH(AddCSat32)(src, val, dst, n);
    if (op == IntOp::Sub) EW_DISPATCH(SubCSat32)(src, val, dst, n);
    if (op == IntOp::SubRev) EW_DISPATCH(SubCRevSat32)(src, val, dst, n);
    return;
  }
  for (size_t i = 0; i < n; ++i) {
    const Wide x = src[i];
    switch (op) {
      case IntOp::Add: dst[i] = Sat32(x + val, sf); break;
      case IntOp::Sub: dst[i] = Sat32(x - val, sf); break;
      case IntOp::SubRev: dst[i] = Sat32(Wide(val) - x, sf); break;
      case IntOp::Mul: dst[i] = Sat32(x * val, sf); break;
    }
  }
}
}  // namespace
}  // namespace fundrel::ew

using namespace fundrel::ew;

extern "C" {

IPPAPI_EXPORT IppStatus ippsAddC_64f(const Ipp64f* pSrc, Ipp64f val, Ipp64f* pDst, int len) {
  EW_CHECK(len, pSrc, pDst);
  EW_DISPATCH(AddCF64)(pSrc, val, val, pDst, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsAddC_64f_I(Ipp64f val, Ipp64f* pSrcDst, int len) {
  EW_CHECK(len, pSrcDst);
  EW_DISPATCH(AddCF64)(pSrcDst, val, val, pSrcDst, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsAddC_64fc(const Ipp64fc* pSrc, Ipp64fc val, Ipp64fc* pDst, int len) {
  EW_CHECK(len, pSrc, pDst);
  EW_DISPATCH(AddCF64)(D(pSrc), val.re, val.im, D(pDst), N2(len));
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsAddC_64fc_I(Ipp64fc val, Ipp64fc* pSrcDst, int len) {
  EW_CHECK(len, pSrcDst);
  EW_DISPATCH(AddCF64)(D(pSrcDst), val.re, val.im, D(pSrcDst), N2(len));
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsAddC_32s_ISfs(Ipp32s val, Ipp32s* pSrcDst, int len, int scaleFactor) {
  EW_CHECK(len, pSrcDst);
  IntC(IntOp::Add, pSrcDst, val, pSrcDst, len, scaleFactor);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsAddC_32s_Sfs(const Ipp32s* pSrc, Ipp32s val, Ipp32s* pDst, int len, int scaleFactor) {
  EW_CHECK(len, pSrc, pDst);
  IntC(IntOp::Add, pSrc, val, pDst, len, scaleFactor);
  return ippStsNoErr;
}

IPPAPI_EXPORT IppStatus ippsSubC_64f(const Ipp64f* pSrc, Ipp64f val, Ipp64f* pDst, int len) {
  EW_CHECK(len, pSrc, pDst);
  EW_DISPATCH(SubCF64)(pSrc, val, val, pDst, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsSubC_64f_I(Ipp64f val, Ipp64f* pSrcDst, int len) {
  EW_CHECK(len, pSrcDst);
  EW_DISPATCH(SubCF64)(pSrcDst, val, val, pSrcDst, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsSubC_64fc(const Ipp64fc* pSrc, Ipp64fc val, Ipp64fc* pDst, int len) {
  EW_CHECK(len, pSrc, pDst);
  EW_DISPATCH(SubCF64)(D(pSrc), val.re, val.im, D(pDst), N2(len));
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsSubC_64fc_I(Ipp64fc val, Ipp64fc* pSrcDst, int len) {
  EW_CHECK(len, pSrcDst);
  EW_DISPATCH(SubCF64)(D(pSrcDst), val.re, val.im, D(pSrcDst), N2(len));
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsSubC_32s_ISfs(Ipp32s val, Ipp32s* pSrcDst, int len, int scaleFactor) {
  EW_CHECK(len, pSrcDst);
  IntC(IntOp::Sub, pSrcDst, val, pSrcDst, len, scaleFactor);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsSubC_32s_Sfs(const Ipp32s* pSrc, Ipp32s val, Ipp32s* pDst, int len, int scaleFactor) {
  EW_CHECK(len, pSrc, pDst);
  IntC(IntOp::Sub, pSrc, val, pDst, len, scaleFactor);
  return ippStsNoErr;
}

IPPAPI_EXPORT IppStatus ippsSubCRev_64f(const Ipp64f* pSrc, Ipp64f val, Ipp64f* pDst, int len) {
  EW_CHECK(len, pSrc, pDst);
  EW_DISPATCH(SubCRevF64)(pSrc, val, val, pDst, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsSubCRev_64f_I(Ipp64f val, Ipp64f* pSrcDst, int len) {
  EW_CHECK(len, pSrcDst);
  EW_DISPATCH(SubCRevF64)(pSrcDst, val, val, pSrcDst, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsSubCRev_32f_I(Ipp32f val, Ipp32f* pSrcDst, int len) {
  EW_CHECK(len, pSrcDst);
  EW_DISPATCH(SubCRevF32)(pSrcDst, val, pSrcDst, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsSubCRev_64fc(const Ipp64fc* pSrc, Ipp64fc val, Ipp64fc* pDst, int len) {
  EW_CHECK(len, pSrc, pDst);
  EW_DISPATCH(SubCRevF64)(D(pSrc), val.re, val.im, D(pDst), N2(len));
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsSubCRev_32s_Sfs(const Ipp32s* pSrc, Ipp32s val, Ipp32s* pDst, int len, int scaleFactor) {
  EW_CHECK(len, pSrc, pDst);
  IntC(IntOp::SubRev, pSrc, val, pDst, len, scaleFactor);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsSubCRev_32s_ISfs(Ipp32s val, Ipp32s* pSrcDst, int len, int scaleFactor) {
  EW_CHECK(len, pSrcDst);
  IntC(IntOp::SubRev, pSrcDst, val, pSrcDst, len, scaleFactor);
  return ippStsNoErr;
}

IPPAPI_EXPORT IppStatus ippsMulC_32f_I(Ipp32f val, Ipp32f* pSrcDst, int len) {
  EW_CHECK(len, pSrcDst);
  EW_DISPATCH(MulCF32)(pSrcDst, val, pSrcDst, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsMulC_64f(const Ipp64f* pSrc, Ipp64f val, Ipp64f* pDst, int len) {
  EW_CHECK(len, pSrc, pDst);
  EW_DISPATCH(MulCF64)(pSrc, val, pDst, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsMulC_64f_I(Ipp64f val, Ipp64f* pSrcDst, int len) {
  EW_CHECK(len, pSrcDst);
  EW_DISPATCH(MulCF64)(pSrcDst, val, pSrcDst, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsMulC_64fc(const Ipp64fc* pSrc, Ipp64fc val, Ipp64fc* pDst, int len) {
  EW_CHECK(len, pSrc, pDst);
  EW_DISPATCH(MulCC64)(D(pSrc), val.re, val.im, D(pDst), N2(len));
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsMulC_64fc_I(Ipp64fc val, Ipp64fc* pSrcDst, int len) {
  EW_CHECK(len, pSrcDst);
  EW_DISPATCH(MulCC64)(D(pSrcDst), val.re, val.im, D(pSrcDst), N2(len));
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsMulC_32s_ISfs(Ipp32s val, Ipp32s* pSrcDst, int len, int scaleFactor) {
  EW_CHECK(len, pSrcDst);
  IntC(IntOp::Mul, pSrcDst, val, pSrcDst, len, scaleFactor);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsMulC_32s_Sfs(const Ipp32s* pSrc, Ipp32s val, Ipp32s* pDst, int len, int scaleFactor) {
  EW_CHECK(len, pSrc, pDst);
  IntC(IntOp::Mul, pSrc, val, pDst, len, scaleFactor);
  return ippStsNoErr;
}

// A zero constant is an error here (unlike the vector Div, which warns and carries on).
IPPAPI_EXPORT IppStatus ippsDivC_64f(const Ipp64f* pSrc, Ipp64f val, Ipp64f* pDst, int len) {
  EW_CHECK(len, pSrc, pDst);
  if (val == 0) return ippStsDivByZeroErr;
  EW_DISPATCH(DivCF64)(pSrc, val, pDst, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsDivC_64f_I(Ipp64f val, Ipp64f* pSrcDst, int len) {
  EW_CHECK(len, pSrcDst);
  if (val == 0) return ippStsDivByZeroErr;
  EW_DISPATCH(DivCF64)(pSrcDst, val, pSrcDst, len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsDivC_64fc(const Ipp64fc* pSrc, Ipp64fc val, Ipp64fc* pDst, int len) {
  EW_CHECK(len, pSrc, pDst);
  if (val.re == 0 && val.im == 0) return ippStsDivByZeroErr;
  EW_DISPATCH(DivCC64)(D(pSrc), val.re, val.im, D(pDst), N2(len));
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsDivC_64fc_I(Ipp64fc val, Ipp64fc* pSrcDst, int len) {
  EW_CHECK(len, pSrcDst);
  if (val.re == 0 && val.im == 0) return ippStsDivByZeroErr;
  EW_DISPATCH(DivCC64)(D(pSrcDst), val.re, val.im, D(pSrcDst), N2(len));
  return ippStsNoErr;
}

}  // extern "C"
#endif  // HWY_ONCE
