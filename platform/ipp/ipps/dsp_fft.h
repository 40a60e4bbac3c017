// Power-of-two FFT engine shared by the FFT primitives and the FFT-based correlation and
// convolution. Internal to libfundrel_ipps (hidden symbols).
//
// A plan holds only read-only tables, so one plan may be used by several threads at once as
// long as each call gets its own scratch area.
#ifndef FUNDREL_IPP_IPPS_DSP_FFT_H
#define FUNDREL_IPP_IPPS_DSP_FFT_H

#include <cstddef>

namespace fundrel::ipp::dsp {

// Largest order the primitives accept (N = 2^24 points; the work area of a complex transform
// of that size, 512 MiB, still has a byte count that fits an int).
constexpr int kMaxFftOrder = 24;

struct FftPlan;

// Complex plan for N = 2^order points, 0 <= order <= kMaxFftOrder; nullptr when memory runs
// out. Released with DestroyFftPlan.
FftPlan* CreateFftPlan(int order);
void DestroyFftPlan(FftPlan* plan);
int FftPlanOrder(const FftPlan& plan);

// Doubles of scratch a complex transform of this plan needs (64-byte aligned or not: any).
std::size_t FftScratchDoubles(const FftPlan& plan);

// Unnormalised DFT of N interleaved complex values (re, im, re, im ...), every output
// multiplied by scale. Forward uses e^(-2 pi i k n / N), inverse e^(+2 pi i k n / N).
// src may equal dst; neither may overlap scratch.
void FftComplex(const FftPlan& plan, const double* src, double* dst, bool inverse, double scale,
                double* scratch);

// Real transforms of N = 2^order reals, built on a complex plan of N/2 points.
struct RealFftPlan;

RealFftPlan* CreateRealFftPlan(int order);
void DestroyRealFftPlan(RealFftPlan* plan);
int RealFftPlanOrder(const RealFftPlan& plan);
std::size_t RealFftScratchDoubles(const RealFftPlan& plan);

// N reals to N + 2 doubles in CCS order (bins 0..N/2 as re, im pairs), times scale.
// src may equal dst (dst must then hold N + 2 doubles).
void FftRealForward(const RealFftPlan& plan, const double* src, double* dst, double scale,
                    double* scratch);
// N + 2 CCS doubles to N reals: unnormalised inverse (a forward-inverse round trip gives N x),
// times scale. The imaginary parts of bins 0 and N/2 are ignored. src may equal dst.
void FftRealInverse(const RealFftPlan& plan, const double* src, double* dst, double scale,
                    double* scratch);

// Process-wide plans for the FFT-based correlations, created on first use and kept until the
// library unloads; nullptr when memory runs out. Safe to call from any thread.
const FftPlan* SharedFftPlan(int order);
const RealFftPlan* SharedRealFftPlan(int order);

// Work memory of one call, 64-byte aligned: the caller's buffer when one is given (it must hold
// doubles * 8 + 64 bytes), otherwise a per-thread cache for small areas or a fresh block that
// is released with the WorkArea. Get() is nullptr when memory ran out.
class WorkArea {
 public:
  WorkArea(std::size_t doubles, void* callerBuffer);
  ~WorkArea();
  WorkArea(const WorkArea&) = delete;
  WorkArea& operator=(const WorkArea&) = delete;
  double* Get() const { return FData; }

 private:
  double* FData = nullptr;
  void* FOwned = nullptr;
};

// Bytes a caller-supplied work buffer needs for doubles of scratch (alignment slack included).
inline int WorkBytes(std::size_t doubles) { return static_cast<int>(doubles * 8 + 64); }

}  // namespace fundrel::ipp::dsp

#endif
