#include "primitives/GVBasicDispatcher.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "host/Quenra.Modules.h"
#include "primitives/detail/IPPBinding.h"

namespace fundrel {
inline namespace GVBasicDispatcher {

#define FUNDREL_SELECT_basic(x) x
#define FUNDREL_SELECT_scope(x)
#define FUNDREL_SELECT_resize(x)
#define FUNDREL_SELECT_norm(x)

#define IPP_FN(table, lib, name, params, args) FUNDREL_SELECT_##table(FUNDREL_DEFINE_ENTRY(name))
#include "platform/ipp/ippnames.def"

void BindBasicPrimitives() {
  setenv("KMP_AFFINITY", "disabled", 1);
#define IPP_FN(table, lib, name, params, args) FUNDREL_SELECT_##table(FUNDREL_BIND_ENTRY(lib, name))
#include "platform/ipp/ippnames.def"
}

std::vector<TPrimitiveInfo> BasicPrimitives() {
  return {
#define IPP_FN(table, lib, name, params, args) FUNDREL_SELECT_##table(FUNDREL_LIST_ENTRY(table, name))
#include "platform/ipp/ippnames.def"
  };
}

// ---- Own kernels ----

namespace {

void DivideTruncating(const Ipp32s* ASrc, Ipp32s AVal, Ipp32s* ADst, int ALen) {
  if (AVal == 0) RaiseDivByZero();
  if (AVal == -1) {
    // The one quotient that does not fit; everything before it is written, as a plain loop would.
    for (int i = 0; i < ALen; ++i) {
      if (ASrc[i] == std::numeric_limits<Ipp32s>::min()) RaiseIntOverflow();
      ADst[i] = -ASrc[i];
    }
    return;
  }
  for (int i = 0; i < ALen; ++i) ADst[i] = ASrc[i] / AVal;
}

// I0 by its power series cut after nine terms, each term ((x/2)^k / k!)^2 with k! as a 32-bit
// integer: the Kaiser weights of the library are defined by exactly this truncation.
double Bessel(double x) {
  double sum = 1.0;
  int32_t factorial = 1;
  for (int k = 1; k <= 9; ++k) {
    factorial *= k;
    sum += std::pow(std::pow(x / 2.0, k) / factorial, 2.0);
  }
  return sum;
}

// Calls AApply(n, w(n)) for every element of a length-ALen Kaiser window.
template <class F>
void ForKaiserWeights(int ALen, float AAlpha, F AApply) {
  if (ALen <= 0) return;
  const double alpha = AAlpha;
  const double h = (ALen - 1) / 2.0;
  const double denom = Bessel(alpha * h);
  for (int n = 0; n < ALen; ++n) {
    const double d = n - h;
    AApply(n, Bessel(alpha * std::sqrt(h * h - d * d)) / denom);
  }
}

}  // namespace

IppStatus ippsDivC_32s_ISfs(Ipp32s val, Ipp32s* pSrcDst, int len, int /*scaleFactor*/) {
  if (len > 0) DivideTruncating(pSrcDst, val, pSrcDst, len);
  return ippStsNoErr;
}

IppStatus ippsDivC_32s_Sfs(const Ipp32s* pSrc, Ipp32s val, Ipp32s* pDst, int len, int /*scaleFactor*/) {
  if (len > 0) DivideTruncating(pSrc, val, pDst, len);
  return ippStsNoErr;
}

IppStatus ippsConvert_64s64f(const Ipp64s* pSrc, Ipp64f* pDst, int len) {
  for (int i = 0; i < len; ++i) pDst[i] = static_cast<double>(pSrc[i]);
  return ippStsNoErr;
}

IppStatus ippsConvert_64u64f(const Ipp64u* pSrc, Ipp64f* pDst, int len) {
  for (int i = 0; i < len; ++i) {
    const auto asSigned = static_cast<int64_t>(pSrc[i]);
    double value = static_cast<double>(asSigned);
    if (asSigned < 0) value += 18446744073709551616.0;
    pDst[i] = value;
  }
  return ippStsNoErr;
}

IppStatus ippsWinKaiser_64f_I(Ipp64f* pSrcDst, int len, float alpha) {
  ForKaiserWeights(len, alpha, [&](int n, double w) { pSrcDst[n] *= w; });
  return ippStsNoErr;
}

IppStatus ippsWinKaiser_64f(const Ipp64f* pSrc, Ipp64f* pDst, int len, float alpha) {
  ForKaiserWeights(len, alpha, [&](int n, double w) { pDst[n] = pSrc[n] * w; });
  return ippStsNoErr;
}

IppStatus ippsWinKaiser_64fc_I(Ipp64fc* pSrcDst, int len, float alpha) {
  ForKaiserWeights(len, alpha, [&](int n, double w) {
    pSrcDst[n].re *= w;
    pSrcDst[n].im *= w;
  });
  return ippStsNoErr;
}

void* _ippMalloc(int size) {
  if (size <= 0) return nullptr;
  // Whole cache lines, so that the SIMD kernels start every sample buffer aligned.
  const size_t bytes = (static_cast<size_t>(size) + 63) & ~size_t{63};
  void* block = std::aligned_alloc(64, bytes);
  if (!block) RaiseOutOfMemory();
  std::memset(block, 0, bytes);
  return block;
}

void _ippFree(void* ptr) { std::free(ptr); }

}  // namespace GVBasicDispatcher

FUNDREL_UNIT(GVBasicDispatcher, "DVIPPSLoader,DVIPPILoader", &BindBasicPrimitives, nullptr);

}  // namespace fundrel
