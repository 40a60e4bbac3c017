// FIR and IIR filter states: ippsFIRInitAlloc_64f, ippsFIR_64f, ippsFIRFree_64f,
// ippsIIRInitAlloc_64f, ippsIIRInitAlloc_BiQuad_64f, ippsIIR_64f, ippsIIRFree_64f.
//
// Delay lines: the FIR one is read newest first (pDlyLine[k] is the input k + 1 samples before
// the first one filtered; tapsLen values, the last of which no output needs). The IIR ones hold
// the partial sums of the transposed direct form II: order values for the direct form, two per
// section for biquads, in section order.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/ipp/ipp_api.h"
#include "platform/ipp/ipps/dsp_filter.h"

namespace {

constexpr std::uint32_t kTagFir = 0x46495230u;  // "FIR0"
constexpr std::uint32_t kTagIir = 0x49495230u;  // "IIR0"

// Outputs computed per pass over the history buffer; the history is shifted once per pass.
constexpr int kFirBlock = 2048;

}  // namespace

struct IppsFIRState_64f {
  std::uint32_t tag;
  int tapsLen;
  double* reversed;  // taps, last first
  double* history;   // tapsLen - 1 past inputs (oldest first), then room for kFirBlock inputs
};

struct IppsIIRState_64f {
  std::uint32_t tag;
  bool biquad;
  int order;  // direct-form order, or number of sections
  double* taps;  // direct: b0..bN then a0..aN (a0 = 1); biquad: b0 b1 b2 a1 a2 per section
  double* delay;
};

namespace dsp = fundrel::ipp::dsp;

extern "C" {

IPPAPI_EXPORT IppStatus ippsFIRInitAlloc_64f(IppsFIRState_64f** pState, const Ipp64f* pTaps,
                                             int tapsLen, const Ipp64f* pDlyLine) {
  if (!pState || !pTaps) return ippStsNullPtrErr;
  if (tapsLen <= 0) return ippStsFIRLenErr;
  auto* st = new (std::nothrow) IppsFIRState_64f{kTagFir, tapsLen, nullptr, nullptr};
  if (!st) return ippStsMemAllocErr;
  const std::size_t t = static_cast<std::size_t>(tapsLen);
  st->reversed = static_cast<double*>(std::malloc(t * sizeof(double)));
  st->history = static_cast<double*>(std::malloc((t - 1 + kFirBlock) * sizeof(double)));
  if (!st->reversed || !st->history) {
    std::free(st->reversed);
    std::free(st->history);
    delete st;
    return ippStsMemAllocErr;
  }
  for (int j = 0; j < tapsLen; ++j) st->reversed[j] = pTaps[tapsLen - 1 - j];
  for (int j = 0; j < tapsLen - 1; ++j)
    st->history[j] = pDlyLine ? pDlyLine[tapsLen - 2 - j] : 0.0;
  *pState = st;
  return ippStsNoErr;
}

IPPAPI_EXPORT IppStatus ippsFIR_64f(const Ipp64f* pSrc, Ipp64f* pDst, int numIters,
                                    IppsFIRState_64f* pState) {
  if (!pSrc || !pDst || !pState) return ippStsNullPtrErr;
  if (numIters <= 0) return ippStsSizeErr;
  if (pState->tag != kTagFir) return ippStsContextMatchErr;
  const int keep = pState->tapsLen - 1;
  double* hist = pState->history;
  for (int done = 0; done < numIters;) {
    const int count = std::min(kFirBlock, numIters - done);
    // Copy before filtering: pDst may be pSrc.
    std::memcpy(hist + keep, pSrc + done, static_cast<std::size_t>(count) * sizeof(double));
    dsp::FirBlock(pState->reversed, pState->tapsLen, hist, pDst + done, count);
    std::memmove(hist, hist + count, static_cast<std::size_t>(keep) * sizeof(double));
    done += count;
  }
  return ippStsNoErr;
}

IPPAPI_EXPORT IppStatus ippsFIRFree_64f(IppsFIRState_64f* pState) {
  if (!pState) return ippStsNullPtrErr;
  if (pState->tag != kTagFir) return ippStsContextMatchErr;
  pState->tag = 0;
  std::free(pState->reversed);
  std::free(pState->history);
  delete pState;
  return ippStsNoErr;
}

namespace {

IppStatus NewIir(IppsIIRState_64f** ppState, bool biquad, int order, std::size_t taps,
                 std::size_t delays, const Ipp64f* pDlyLine) {
  auto* st = new (std::nothrow) IppsIIRState_64f{kTagIir, biquad, order, nullptr, nullptr};
  if (!st) return ippStsMemAllocErr;
  st->taps = static_cast<double*>(std::malloc(taps * sizeof(double)));
  st->delay = static_cast<double*>(std::calloc(delays ? delays : 1, sizeof(double)));
  if (!st->taps || !st->delay) {
    std::free(st->taps);
    std::free(st->delay);
    delete st;
    return ippStsMemAllocErr;
  }
  if (pDlyLine) std::memcpy(st->delay, pDlyLine, delays * sizeof(double));
  *ppState = st;
  return ippStsNoErr;
}

}  // namespace

IPPAPI_EXPORT IppStatus ippsIIRInitAlloc_64f(IppsIIRState_64f** ppState, const Ipp64f* pTaps,
                                             int order, const Ipp64f* pDlyLine) {
  if (!ppState || !pTaps) return ippStsNullPtrErr;
  if (order < 0) return ippStsIIROrderErr;
  const double a0 = pTaps[order + 1];
  if (a0 == 0.0) return ippStsDivByZeroErr;
  const std::size_t count = 2 * (static_cast<std::size_t>(order) + 1);
  const IppStatus st = NewIir(ppState, false, order, count, static_cast<std::size_t>(order), pDlyLine);
  if (st != ippStsNoErr) return st;
  for (std::size_t i = 0; i < count; ++i) (*ppState)->taps[i] = pTaps[i] / a0;
  return ippStsNoErr;
}

IPPAPI_EXPORT IppStatus ippsIIRInitAlloc_BiQuad_64f(IppsIIRState_64f** ppState, const Ipp64f* pTaps,
                                                    int numBq, const Ipp64f* pDlyLine) {
  if (!ppState || !pTaps) return ippStsNullPtrErr;
  if (numBq <= 0) return ippStsIIROrderErr;
  for (int k = 0; k < numBq; ++k)
    if (pTaps[6 * k] == 0.0 || pTaps[6 * k + 3] == 0.0) return ippStsDivByZeroErr;
  const std::size_t n = static_cast<std::size_t>(numBq);
  const IppStatus st = NewIir(ppState, true, numBq, 5 * n, 2 * n, pDlyLine);
  if (st != ippStsNoErr) return st;
  for (int k = 0; k < numBq; ++k) {
    const double* src = pTaps + 6 * k;
    double* dst = (*ppState)->taps + 5 * k;
    const double a0 = src[3];
    dst[0] = src[0] / a0;
    dst[1] = src[1] / a0;
    dst[2] = src[2] / a0;
    dst[3] = src[4] / a0;
    dst[4] = src[5] / a0;
  }
  return ippStsNoErr;
}

IPPAPI_EXPORT IppStatus ippsIIR_64f(const Ipp64f* pSrc, Ipp64f* pDst, int len, IppsIIRState_64f* pState) {
  if (!pSrc || !pDst || !pState) return ippStsNullPtrErr;
  if (len <= 0) return ippStsSizeErr;
  if (pState->tag != kTagIir) return ippStsContextMatchErr;
  if (pState->biquad) {
    dsp::IirBiquads(pState->taps, pState->order, pState->delay, pSrc, pDst, len);
  } else {
    const double* b = pState->taps;
    dsp::IirDirect(b, b + pState->order + 1, pState->order, pState->delay, pSrc, pDst, len);
  }
  return ippStsNoErr;
}

IPPAPI_EXPORT IppStatus ippsIIRFree_64f(IppsIIRState_64f* pState) {
  if (!pState) return ippStsNullPtrErr;
  if (pState->tag != kTagIir) return ippStsContextMatchErr;
  pState->tag = 0;
  std::free(pState->taps);
  std::free(pState->delay);
  delete pState;
  return ippStsNoErr;
}

}  // extern "C"
