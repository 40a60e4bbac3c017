// Fill, copy and generate: Zero, Set, Copy, Move, the Jaehne chirp, uniform random numbers and
// byte swaps.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "platform/ipp/ipps/ipps_fill.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep

#include <hwy/highway.h>

#include "platform/ipp/ipps/ew_loops-inl.h"

HWY_BEFORE_NAMESPACE();
namespace fundrel::ew::HWY_NAMESPACE {

// Fills n lanes of T with the pattern (c0, c1, c0, c1, ...); c0 == c1 for a plain Set.
template <typename T>
HWY_INLINE void Fill(T* out, T c0, T c1, size_t n) {
  const hn::ScalableTag<T> d;
  const size_t N = hn::Lanes(d);
  size_t i = 0;
#if EW_PAIRS
  const auto v = hn::OddEven(hn::Set(d, c1), hn::Set(d, c0));
  for (; i + 4 * N <= n; i += 4 * N) {
    hn::StoreU(v, d, out + i);
    hn::StoreU(v, d, out + i + N);
    hn::StoreU(v, d, out + i + 2 * N);
    hn::StoreU(v, d, out + i + 3 * N);
  }
  for (; i + N <= n; i += N) hn::StoreU(v, d, out + i);
#else
  (void)N;
#endif
  for (; i < n; ++i) out[i] = (i & 1) ? c1 : c0;
}
void FillU32(uint32_t* out, uint32_t c, size_t n) { Fill(out, c, c, n); }
void FillU64(uint64_t* out, uint64_t c0, uint64_t c1, size_t n) { Fill(out, c0, c1, n); }

}  // namespace fundrel::ew::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include <math.h>
#include <string.h>

#include "platform/ipp/ipp_api.h"
#include "platform/ipp/ipps/ew_check.h"

namespace fundrel::ew {
HWY_EXPORT(FillU32);
HWY_EXPORT(FillU64);

namespace {
template <typename T>
size_t Bytes(int len) {
  return sizeof(T) * static_cast<size_t>(len);
}
template <typename T>
uint64_t Bits64(T v) {
  uint64_t b = 0;
  memcpy(&b, &v, sizeof v);
  return b;
}
template <typename T>
uint32_t Bits32(T v) {
  uint32_t b = 0;
  memcpy(&b, &v, sizeof v);
  return b;
}

// The generator of RandUniform_Direct: a 32-bit linear congruential step on *pSeed (so the
// caller's seed variable carries the sequence from call to call), two steps per double.
uint32_t NextRand(uint32_t& s) {
  s = s * 69069u + 1u;
  return s;
}
double NextUnit(uint32_t& s) {  // [0, 1) with 53 random bits
  const uint64_t hi = NextRand(s) >> 5, lo = NextRand(s) >> 6;
  return static_cast<double>((hi << 26) | lo) * (1.0 / 9007199254740992.0);
}
}  // namespace
}  // namespace fundrel::ew

using namespace fundrel::ew;

extern "C" {

IPPAPI_EXPORT IppStatus ippsZero_8u(Ipp8u* pDst, int len) {
  EW_CHECK(len, pDst);
  memset(pDst, 0, Bytes<Ipp8u>(len));
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsZero_16s(Ipp16s* pDst, int len) {
  EW_CHECK(len, pDst);
  memset(pDst, 0, Bytes<Ipp16s>(len));
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsZero_32s(Ipp32s* pDst, int len) {
  EW_CHECK(len, pDst);
  memset(pDst, 0, Bytes<Ipp32s>(len));
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsZero_32f(Ipp32f* pDst, int len) {
  EW_CHECK(len, pDst);
  memset(pDst, 0, Bytes<Ipp32f>(len));
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsZero_64f(Ipp64f* pDst, int len) {
  EW_CHECK(len, pDst);
  memset(pDst, 0, Bytes<Ipp64f>(len));
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsZero_64fc(Ipp64fc* pDst, int len) {
  EW_CHECK(len, pDst);
  memset(static_cast<void*>(pDst), 0, Bytes<Ipp64fc>(len));
  return ippStsNoErr;
}

IPPAPI_EXPORT IppStatus ippsSet_8u(Ipp8u val, Ipp8u* pDst, int len) {
  EW_CHECK(len, pDst);
  memset(pDst, val, Bytes<Ipp8u>(len));
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsSet_32s(Ipp32s val, Ipp32s* pDst, int len) {
  EW_CHECK(len, pDst);
  EW_DISPATCH(FillU32)(reinterpret_cast<uint32_t*>(pDst), Bits32(val), len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsSet_32f(Ipp32f val, Ipp32f* pDst, int len) {
  EW_CHECK(len, pDst);
  EW_DISPATCH(FillU32)(reinterpret_cast<uint32_t*>(pDst), Bits32(val), len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsSet_64f(Ipp64f val, Ipp64f* pDst, int len) {
  EW_CHECK(len, pDst);
  EW_DISPATCH(FillU64)(reinterpret_cast<uint64_t*>(pDst), Bits64(val), Bits64(val), len);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsSet_64fc(Ipp64fc val, Ipp64fc* pDst, int len) {
  EW_CHECK(len, pDst);
  EW_DISPATCH(FillU64)(reinterpret_cast<uint64_t*>(pDst), Bits64(val.re), Bits64(val.im), 2 * size_t(len));
  return ippStsNoErr;
}

IPPAPI_EXPORT IppStatus ippsCopy_8u(const Ipp8u* pSrc, Ipp8u* pDst, int len) {
  EW_CHECK(len, pSrc, pDst);
  memcpy(pDst, pSrc, Bytes<Ipp8u>(len));
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsCopy_32f(const Ipp32f* pSrc, Ipp32f* pDst, int len) {
  EW_CHECK(len, pSrc, pDst);
  memcpy(pDst, pSrc, Bytes<Ipp32f>(len));
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsCopy_64f(const Ipp64f* pSrc, Ipp64f* pDst, int len) {
  EW_CHECK(len, pSrc, pDst);
  memcpy(pDst, pSrc, Bytes<Ipp64f>(len));
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsMove_64f(const Ipp64f* pSrc, Ipp64f* pDst, int len) {
  EW_CHECK(len, pSrc, pDst);
  memmove(pDst, pSrc, Bytes<Ipp64f>(len));
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsMove_8u(const Ipp8u* pSrc, Ipp8u* pDst, int len) {
  EW_CHECK(len, pSrc, pDst);
  memmove(pDst, pSrc, Bytes<Ipp8u>(len));
  return ippStsNoErr;
}

// magn * sin(pi/2 * n^2 / len). The sine repeats when n^2 grows by 4 len, so n^2 is reduced
// modulo 4 len in integers first: the angle stays below 2 pi and exact for any length.
IPPAPI_EXPORT IppStatus ippsVectorJaehne_64f(Ipp64f* pDst, int len, Ipp64f magn) {
  EW_CHECK(len, pDst);
  if (magn < 0) return ippStsJaehneErr;
  const uint64_t period = 4 * static_cast<uint64_t>(len);
  const double scale = 0.5 * IPP_PI / len;
  for (int n = 0; n < len; ++n) {
    const uint64_t sq = (static_cast<uint64_t>(n) * static_cast<uint64_t>(n)) % period;
    pDst[n] = magn * sin(scale * static_cast<double>(sq));
  }
  return ippStsNoErr;
}

// Integers uniform over [low, high] (both ends can occur).
IPPAPI_EXPORT IppStatus ippsRandUniform_Direct_16s(Ipp16s* pDst, int len, Ipp16s low, Ipp16s high, unsigned int* pSeed) {
  EW_CHECK(len, pDst, pSeed);
  if (low > high) return ippStsRangeErr;
  uint32_t s = *pSeed;
  const uint64_t span = static_cast<uint64_t>(high - low) + 1;
  for (int i = 0; i < len; ++i) pDst[i] = static_cast<Ipp16s>(low + static_cast<int>((NextRand(s) * span) >> 32));
  *pSeed = s;
  return ippStsNoErr;
}
// Doubles uniform over [low, high).
IPPAPI_EXPORT IppStatus ippsRandUniform_Direct_64f(Ipp64f* pDst, int len, Ipp64f low, Ipp64f high, unsigned int* pSeed) {
  EW_CHECK(len, pDst, pSeed);
  if (low > high) return ippStsRangeErr;
  uint32_t s = *pSeed;
  for (int i = 0; i < len; ++i) pDst[i] = low + (high - low) * NextUnit(s);
  *pSeed = s;
  return ippStsNoErr;
}

IPPAPI_EXPORT IppStatus ippsSwapBytes_16u(const Ipp16u* pSrc, Ipp16u* pDst, int len) {
  EW_CHECK(len, pSrc, pDst);
  for (int i = 0; i < len; ++i) pDst[i] = __builtin_bswap16(pSrc[i]);
  return ippStsNoErr;
}
// len counts 3-byte elements.
IPPAPI_EXPORT IppStatus ippsSwapBytes_24u(const Ipp8u* pSrc, Ipp8u* pDst, int len) {
  EW_CHECK(len, pSrc, pDst);
  for (size_t i = 0; i < 3 * static_cast<size_t>(len); i += 3) {
    const Ipp8u b0 = pSrc[i], b1 = pSrc[i + 1], b2 = pSrc[i + 2];
    pDst[i] = b2;
    pDst[i + 1] = b1;
    pDst[i + 2] = b0;
  }
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsSwapBytes_32u(const Ipp32u* pSrc, Ipp32u* pDst, int len) {
  EW_CHECK(len, pSrc, pDst);
  for (int i = 0; i < len; ++i) pDst[i] = __builtin_bswap32(pSrc[i]);
  return ippStsNoErr;
}
IPPAPI_EXPORT IppStatus ippsSwapBytes_32u_I(Ipp32u* pSrcDst, int len) {
  EW_CHECK(len, pSrcDst);
  for (int i = 0; i < len; ++i) pSrcDst[i] = __builtin_bswap32(pSrcDst[i]);
  return ippStsNoErr;
}

}  // extern "C"
#endif  // HWY_ONCE
