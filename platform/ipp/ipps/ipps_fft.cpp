// FFT descriptors and transforms: ippsFFTInitAlloc_*, ippsFFTFree_*, ippsFFTFwd_*, ippsFFTInv_*,
// plus the matching ippsFFTGetBufSize_* so a caller can size the optional work buffer.
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "platform/ipp/ipp_api.h"
#include "platform/ipp/ipps/dsp_fft.h"

using fundrel::ipp::dsp::FftPlan;
using fundrel::ipp::dsp::RealFftPlan;
using fundrel::ipp::dsp::WorkArea;

namespace {

// Distinct tags at the head of each descriptor, so a descriptor of the wrong kind (or one
// already freed) is refused with ippStsContextMatchErr instead of being misread.
constexpr std::uint32_t kTagFftC = 0x46465443u;  // "FFTC"
constexpr std::uint32_t kTagFftR = 0x46465452u;  // "FFTR"

struct Scales {
  double fwd;
  double inv;
};

bool ScalesFor(int flag, int order, Scales& out) {
  const double n = std::ldexp(1.0, order);
  switch (flag) {
    case IPP_FFT_DIV_FWD_BY_N: out = {1.0 / n, 1.0}; return true;
    case IPP_FFT_DIV_INV_BY_N: out = {1.0, 1.0 / n}; return true;
    case IPP_FFT_DIV_BY_SQRTN: out = {1.0 / std::sqrt(n), 1.0 / std::sqrt(n)}; return true;
    case IPP_FFT_NODIV_BY_ANY: out = {1.0, 1.0}; return true;
    default: return false;
  }
}

// Thread-local scratch up to this many doubles; larger areas are allocated per call so that
// a one-off huge transform does not pin its memory to the thread.
constexpr std::size_t kCachedScratchDoubles = std::size_t{1} << 18;

struct ThreadScratch {
  void* block = nullptr;
  std::size_t doubles = 0;
  ~ThreadScratch() { std::free(block); }
};
thread_local ThreadScratch tlsScratch;

double* AlignUp(void* p) {
  const auto v = reinterpret_cast<std::uintptr_t>(p);
  return reinterpret_cast<double*>((v + 63) & ~std::uintptr_t{63});
}

}  // namespace

namespace fundrel::ipp::dsp {

WorkArea::WorkArea(std::size_t doubles, void* callerBuffer) {
  if (callerBuffer) {
    FData = AlignUp(callerBuffer);
    return;
  }
  if (doubles <= kCachedScratchDoubles) {
    if (tlsScratch.doubles < doubles) {
      // Grow in powers of two so a thread settles after a few calls.
      std::size_t size = 4096;
      while (size < doubles) size *= 2;
      void* p = nullptr;
      if (posix_memalign(&p, 64, size * sizeof(double)) != 0) return;
      std::free(tlsScratch.block);
      tlsScratch.block = p;
      tlsScratch.doubles = size;
    }
    FData = static_cast<double*>(tlsScratch.block);
    return;
  }
  if (posix_memalign(&FOwned, 64, doubles * sizeof(double)) != 0) {
    FOwned = nullptr;
    return;
  }
  FData = static_cast<double*>(FOwned);
}

WorkArea::~WorkArea() { std::free(FOwned); }

namespace {

struct PlanCache {
  std::atomic<FftPlan*> complex[kMaxFftOrder + 1] = {};
  std::atomic<RealFftPlan*> real[kMaxFftOrder + 1] = {};
  ~PlanCache() {
    for (auto& p : complex) DestroyFftPlan(p.load());
    for (auto& p : real) DestroyRealFftPlan(p.load());
  }
};
PlanCache gPlans;

// Lock-free publication: two threads may both build a plan; the loser frees its copy.
template <class Plan, class Create, class Destroy>
const Plan* Shared(std::atomic<Plan*>& slot, Create create, Destroy destroy, int order) {
  Plan* current = slot.load(std::memory_order_acquire);
  if (current) return current;
  Plan* fresh = create(order);
  if (!fresh) return nullptr;
  if (slot.compare_exchange_strong(current, fresh, std::memory_order_acq_rel)) return fresh;
  destroy(fresh);
  return current;
}

}  // namespace

const FftPlan* SharedFftPlan(int order) {
  if (order < 0 || order > kMaxFftOrder) return nullptr;
  return Shared(gPlans.complex[order], CreateFftPlan, DestroyFftPlan, order);
}

const RealFftPlan* SharedRealFftPlan(int order) {
  if (order < 0 || order > kMaxFftOrder) return nullptr;
  return Shared(gPlans.real[order], CreateRealFftPlan, DestroyRealFftPlan, order);
}

}  // namespace fundrel::ipp::dsp

struct IppsFFTSpec_C_64fc {
  std::uint32_t tag;
  int flag;
  IppHintAlgorithm hint;
  Scales scale;
  FftPlan* plan;
};

struct IppsFFTSpec_R_64f {
  std::uint32_t tag;
  int flag;
  IppHintAlgorithm hint;
  Scales scale;
  RealFftPlan* plan;
};

namespace dsp = fundrel::ipp::dsp;

extern "C" {

IPPAPI_EXPORT IppStatus ippsFFTInitAlloc_C_64fc(IppsFFTSpec_C_64fc** ppFFTSpec, int order, int flag,
                                                IppHintAlgorithm hint) {
  if (!ppFFTSpec) return ippStsNullPtrErr;
  if (order < 0 || order > dsp::kMaxFftOrder) return ippStsFftOrderErr;
  Scales scale;
  if (!ScalesFor(flag, order, scale)) return ippStsFftFlagErr;
  auto* desc = new (std::nothrow) IppsFFTSpec_C_64fc{kTagFftC, flag, hint, scale, nullptr};
  if (!desc) return ippStsMemAllocErr;
  desc->plan = dsp::CreateFftPlan(order);
  if (!desc->plan) {
    delete desc;
    return ippStsMemAllocErr;
  }
  *ppFFTSpec = desc;
  return ippStsNoErr;
}

IPPAPI_EXPORT IppStatus ippsFFTInitAlloc_R_64f(IppsFFTSpec_R_64f** ppFFTSpec, int order, int flag,
                                               IppHintAlgorithm hint) {
  if (!ppFFTSpec) return ippStsNullPtrErr;
  if (order < 0 || order > dsp::kMaxFftOrder) return ippStsFftOrderErr;
  Scales scale;
  if (!ScalesFor(flag, order, scale)) return ippStsFftFlagErr;
  auto* desc = new (std::nothrow) IppsFFTSpec_R_64f{kTagFftR, flag, hint, scale, nullptr};
  if (!desc) return ippStsMemAllocErr;
  desc->plan = dsp::CreateRealFftPlan(order);
  if (!desc->plan) {
    delete desc;
    return ippStsMemAllocErr;
  }
  *ppFFTSpec = desc;
  return ippStsNoErr;
}

IPPAPI_EXPORT IppStatus ippsFFTFree_C_64fc(IppsFFTSpec_C_64fc* pFFTSpec) {
  if (!pFFTSpec) return ippStsNullPtrErr;
  if (pFFTSpec->tag != kTagFftC) return ippStsContextMatchErr;
  pFFTSpec->tag = 0;
  dsp::DestroyFftPlan(pFFTSpec->plan);
  delete pFFTSpec;
  return ippStsNoErr;
}

IPPAPI_EXPORT IppStatus ippsFFTFree_R_64f(IppsFFTSpec_R_64f* pFFTSpec) {
  if (!pFFTSpec) return ippStsNullPtrErr;
  if (pFFTSpec->tag != kTagFftR) return ippStsContextMatchErr;
  pFFTSpec->tag = 0;
  dsp::DestroyRealFftPlan(pFFTSpec->plan);
  delete pFFTSpec;
  return ippStsNoErr;
}

IPPAPI_EXPORT IppStatus ippsFFTGetBufSize_C_64fc(const IppsFFTSpec_C_64fc* pFFTSpec, int* pSize) {
  if (!pFFTSpec || !pSize) return ippStsNullPtrErr;
  if (pFFTSpec->tag != kTagFftC) return ippStsContextMatchErr;
  *pSize = dsp::WorkBytes(dsp::FftScratchDoubles(*pFFTSpec->plan));
  return ippStsNoErr;
}

IPPAPI_EXPORT IppStatus ippsFFTGetBufSize_R_64f(const IppsFFTSpec_R_64f* pFFTSpec, int* pSize) {
  if (!pFFTSpec || !pSize) return ippStsNullPtrErr;
  if (pFFTSpec->tag != kTagFftR) return ippStsContextMatchErr;
  *pSize = dsp::WorkBytes(dsp::RealFftScratchDoubles(*pFFTSpec->plan));
  return ippStsNoErr;
}

IPPAPI_EXPORT IppStatus ippsFFTFwd_CToC_64fc(const Ipp64fc* pSrc, Ipp64fc* pDst,
                                             const IppsFFTSpec_C_64fc* pFFTSpec, Ipp8u* pBuffer) {
  if (!pSrc || !pDst || !pFFTSpec) return ippStsNullPtrErr;
  if (pFFTSpec->tag != kTagFftC) return ippStsContextMatchErr;
  WorkArea work(dsp::FftScratchDoubles(*pFFTSpec->plan), pBuffer);
  if (!work.Get()) return ippStsMemAllocErr;
  dsp::FftComplex(*pFFTSpec->plan, &pSrc->re, &pDst->re, false, pFFTSpec->scale.fwd, work.Get());
  return ippStsNoErr;
}

IPPAPI_EXPORT IppStatus ippsFFTInv_CToC_64fc(const Ipp64fc* pSrc, Ipp64fc* pDst,
                                             const IppsFFTSpec_C_64fc* pFFTSpec, Ipp8u* pBuffer) {
  if (!pSrc || !pDst || !pFFTSpec) return ippStsNullPtrErr;
  if (pFFTSpec->tag != kTagFftC) return ippStsContextMatchErr;
  WorkArea work(dsp::FftScratchDoubles(*pFFTSpec->plan), pBuffer);
  if (!work.Get()) return ippStsMemAllocErr;
  dsp::FftComplex(*pFFTSpec->plan, &pSrc->re, &pDst->re, true, pFFTSpec->scale.inv, work.Get());
  return ippStsNoErr;
}

IPPAPI_EXPORT IppStatus ippsFFTFwd_RToCCS_64f(const Ipp64f* pSrc, Ipp64f* pDst,
                                              const IppsFFTSpec_R_64f* pFFTSpec, Ipp8u* pBuffer) {
  if (!pSrc || !pDst || !pFFTSpec) return ippStsNullPtrErr;
  if (pFFTSpec->tag != kTagFftR) return ippStsContextMatchErr;
  WorkArea work(dsp::RealFftScratchDoubles(*pFFTSpec->plan), pBuffer);
  if (!work.Get()) return ippStsMemAllocErr;
  dsp::FftRealForward(*pFFTSpec->plan, pSrc, pDst, pFFTSpec->scale.fwd, work.Get());
  return ippStsNoErr;
}

IPPAPI_EXPORT IppStatus ippsFFTInv_CCSToR_64f(const Ipp64f* pSrc, Ipp64f* pDst,
                                              const IppsFFTSpec_R_64f* pFFTSpec, Ipp8u* pBuffer) {
  if (!pSrc || !pDst || !pFFTSpec) return ippStsNullPtrErr;
  if (pFFTSpec->tag != kTagFftR) return ippStsContextMatchErr;
  WorkArea work(dsp::RealFftScratchDoubles(*pFFTSpec->plan), pBuffer);
  if (!work.Get()) return ippStsMemAllocErr;
  dsp::FftRealInverse(*pFFTSpec->plan, pSrc, pDst, pFFTSpec->scale.inv, work.Get());
  return ippStsNoErr;
}

}  // extern "C"
