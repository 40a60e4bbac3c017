// Signal-processing primitives against their peers, each as BM_<Op>/<impl>/<size>:
//   fundrel  the exported primitive of libfundrel_ipps
//   fftw     FFTW 3 with FFTW_MEASURE plans, out of place, 64-byte aligned buffers
//   plain    a straightforward loop compiled with -O3 (FIR direct form, biquads sample by
//            sample, direct convolution, windows with one cosine per element; out of place)
// FFTs of orders 8 to 16; FIR with 64 taps and IIR with 4 biquad sections over blocks of
// 1024 and 16384 samples (the state carries over between iterations, as in a stream).
// items_per_second counts transformed points or filtered samples.
#include <benchmark/benchmark.h>
#include <fftw3.h>
#include <stdlib.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/ipp/ipp_api.h"

namespace {

double* AllocDoubles(std::size_t n) {
  return static_cast<double*>(aligned_alloc(64, (n * sizeof(double) + 63) / 64 * 64));
}

struct Doubles {
  explicit Doubles(std::size_t n) : p(AllocDoubles(n)) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> u(-1, 1);
    for (std::size_t i = 0; i < n; ++i) p[i] = u(rng);
  }
  ~Doubles() { free(p); }
  Doubles(const Doubles&) = delete;
  Doubles& operator=(const Doubles&) = delete;
  double* p;
};

std::string Name(const char* op, const char* impl, int n) {
  return std::string("BM_") + op + "/" + impl + "/" + std::to_string(n);
}

// ---- FFT -----------------------------------------------------------------------------------

void FftComplexFundrel(benchmark::State& st, int order) {
  const int n = 1 << order;
  Doubles src(2 * n), dst(2 * n);
  IppsFFTSpec_C_64fc* fftSpec = nullptr;
  ippsFFTInitAlloc_C_64fc(&fftSpec, order, IPP_FFT_NODIV_BY_ANY, ippAlgHintAccurate);
  for (auto _ : st) {
    ippsFFTFwd_CToC_64fc(reinterpret_cast<Ipp64fc*>(src.p), reinterpret_cast<Ipp64fc*>(dst.p), fftSpec, nullptr);
    benchmark::ClobberMemory();
  }
  ippsFFTFree_C_64fc(fftSpec);
  st.SetItemsProcessed(st.iterations() * n);
}

void FftComplexFftw(benchmark::State& st, int order) {
  const int n = 1 << order;
  auto* in = static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * n));
  auto* out = static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * n));
  fftw_plan plan = fftw_plan_dft_1d(n, in, out, FFTW_FORWARD, FFTW_MEASURE);
  Doubles src(2 * n);
  std::memcpy(in, src.p, sizeof(fftw_complex) * n);  // planning overwrote the input
  for (auto _ : st) {
    fftw_execute(plan);
    benchmark::ClobberMemory();
  }
  fftw_destroy_plan(plan);
  fftw_free(in);
  fftw_free(out);
  st.SetItemsProcessed(st.iterations() * n);
}

void FftRealFundrel(benchmark::State& st, int order) {
  const int n = 1 << order;
  Doubles src(n), dst(n + 2);
  IppsFFTSpec_R_64f* fftSpec = nullptr;
  ippsFFTInitAlloc_R_64f(&fftSpec, order, IPP_FFT_NODIV_BY_ANY, ippAlgHintAccurate);
  for (auto _ : st) {
    ippsFFTFwd_RToCCS_64f(src.p, dst.p, fftSpec, nullptr);
    benchmark::ClobberMemory();
  }
  ippsFFTFree_R_64f(fftSpec);
  st.SetItemsProcessed(st.iterations() * n);
}

void FftRealFftw(benchmark::State& st, int order) {
  const int n = 1 << order;
  auto* in = static_cast<double*>(fftw_malloc(sizeof(double) * n));
  auto* out = static_cast<fftw_complex*>(fftw_malloc(sizeof(fftw_complex) * (n / 2 + 1)));
  fftw_plan plan = fftw_plan_dft_r2c_1d(n, in, out, FFTW_MEASURE);
  Doubles src(n);
  std::memcpy(in, src.p, sizeof(double) * n);
  for (auto _ : st) {
    fftw_execute(plan);
    benchmark::ClobberMemory();
  }
  fftw_destroy_plan(plan);
  fftw_free(in);
  fftw_free(out);
  st.SetItemsProcessed(st.iterations() * n);
}

// ---- plain peers -----------------------------------------------------------------------------

#pragma GCC push_options
#pragma GCC optimize("O3")
namespace plain {

// Direct-form FIR over a block, history kept as taps - 1 past samples in front of the block.
struct Fir {
  std::vector<double> h, buf;
  explicit Fir(const std::vector<double>& taps, int block) : h(taps), buf(taps.size() - 1 + block, 0.0) {}
  void Run(const double* x, double* y, int n) {
    const int t = static_cast<int>(h.size());
    std::memcpy(buf.data() + t - 1, x, sizeof(double) * n);
    for (int i = 0; i < n; ++i) {
      double acc = 0;
      for (int k = 0; k < t; ++k) acc += h[k] * buf[i + t - 1 - k];
      y[i] = acc;
    }
    std::memmove(buf.data(), buf.data() + n, sizeof(double) * (t - 1));
  }
};

// Biquads in cascade, sample by sample, transposed direct form II.
struct Biquads {
  std::vector<double> c;  // b0 b1 b2 a1 a2 per section
  std::vector<double> s;
  explicit Biquads(const std::vector<double>& coef) : c(coef), s(2 * coef.size() / 5, 0.0) {}
  void Run(const double* x, double* y, int n) {
    const int sections = static_cast<int>(c.size() / 5);
    for (int i = 0; i < n; ++i) {
      double v = x[i];
      for (int k = 0; k < sections; ++k) {
        const double* q = &c[5 * k];
        const double out = q[0] * v + s[2 * k];
        s[2 * k] = q[1] * v - q[3] * out + s[2 * k + 1];
        s[2 * k + 1] = q[2] * v - q[4] * out;
        v = out;
      }
      y[i] = v;
    }
  }
};

void Conv(const double* a, int na, const double* b, int nb, double* y) {
  for (int n = 0; n < na + nb - 1; ++n) y[n] = 0;
  for (int i = 0; i < na; ++i)
    for (int j = 0; j < nb; ++j) y[i + j] += a[i] * b[j];
}

void Hann(const double* x, double* y, int n) {
  for (int i = 0; i < n; ++i) y[i] = x[i] * (0.5 - 0.5 * std::cos(2 * M_PI * i / (n - 1)));
}

}  // namespace plain
#pragma GCC pop_options

// ---- filters ------------------------------------------------------------------------------

std::vector<double> FirTaps() {
  std::vector<double> h(64);
  for (int k = 0; k < 64; ++k) h[k] = std::sin(0.1 * (k + 1)) / (k + 1);
  return h;
}

// Four stable sections (poles at radius 0.9), A0 = 1.
std::vector<double> BiquadTaps(bool withA0) {
  std::vector<double> t;
  for (int k = 0; k < 4; ++k) {
    const double th = 0.2 + 0.3 * k;
    const double b[] = {0.3, 0.2, 0.1}, a1 = -2 * 0.9 * std::cos(th), a2 = 0.81;
    t.insert(t.end(), b, b + 3);
    if (withA0) t.push_back(1.0);
    t.push_back(a1);
    t.push_back(a2);
  }
  return t;
}

void FirFundrel(benchmark::State& st, int n) {
  Doubles x(n), y(n);
  const auto h = FirTaps();
  IppsFIRState_64f* state = nullptr;
  ippsFIRInitAlloc_64f(&state, h.data(), 64, nullptr);
  for (auto _ : st) {
    ippsFIR_64f(x.p, y.p, n, state);
    benchmark::ClobberMemory();
  }
  ippsFIRFree_64f(state);
  st.SetItemsProcessed(st.iterations() * n);
}

void FirPlain(benchmark::State& st, int n) {
  Doubles x(n), y(n);
  plain::Fir fir(FirTaps(), n);
  for (auto _ : st) {
    fir.Run(x.p, y.p, n);
    benchmark::ClobberMemory();
  }
  st.SetItemsProcessed(st.iterations() * n);
}

void BiquadFundrel(benchmark::State& st, int n) {
  Doubles x(n), y(n);
  const auto taps = BiquadTaps(true);
  IppsIIRState_64f* state = nullptr;
  ippsIIRInitAlloc_BiQuad_64f(&state, taps.data(), 4, nullptr);
  for (auto _ : st) {
    ippsIIR_64f(x.p, y.p, n, state);
    benchmark::ClobberMemory();
  }
  ippsIIRFree_64f(state);
  st.SetItemsProcessed(st.iterations() * n);
}

void BiquadPlain(benchmark::State& st, int n) {
  Doubles x(n), y(n);
  plain::Biquads bq(BiquadTaps(false));
  for (auto _ : st) {
    bq.Run(x.p, y.p, n);
    benchmark::ClobberMemory();
  }
  st.SetItemsProcessed(st.iterations() * n);
}

// Convolution of two signals of n samples each.
void ConvFundrel(benchmark::State& st, int n) {
  Doubles a(n), b(n), y(2 * n);
  for (auto _ : st) {
    ippsConv_64f(a.p, n, b.p, n, y.p);
    benchmark::ClobberMemory();
  }
  st.SetItemsProcessed(st.iterations() * n);
}

void ConvPlain(benchmark::State& st, int n) {
  Doubles a(n), b(n), y(2 * n);
  for (auto _ : st) {
    plain::Conv(a.p, n, b.p, n, y.p);
    benchmark::ClobberMemory();
  }
  st.SetItemsProcessed(st.iterations() * n);
}

void HannFundrel(benchmark::State& st, int n) {
  Doubles x(n), y(n);
  for (auto _ : st) {
    ippsWinHann_64f(x.p, y.p, n);
    benchmark::ClobberMemory();
  }
  st.SetItemsProcessed(st.iterations() * n);
}

void HannPlain(benchmark::State& st, int n) {
  Doubles x(n), y(n);
  for (auto _ : st) {
    plain::Hann(x.p, y.p, n);
    benchmark::ClobberMemory();
  }
  st.SetItemsProcessed(st.iterations() * n);
}

const bool kRegistered = [] {
  for (int order = 8; order <= 16; ++order) {
    const int n = 1 << order;
    benchmark::RegisterBenchmark(Name("FFTFwd_CToC_64fc", "fundrel", n).c_str(), FftComplexFundrel, order);
    benchmark::RegisterBenchmark(Name("FFTFwd_CToC_64fc", "fftw", n).c_str(), FftComplexFftw, order);
    benchmark::RegisterBenchmark(Name("FFTFwd_RToCCS_64f", "fundrel", n).c_str(), FftRealFundrel, order);
    benchmark::RegisterBenchmark(Name("FFTFwd_RToCCS_64f", "fftw", n).c_str(), FftRealFftw, order);
  }
  for (int n : {1024, 16384}) {
    benchmark::RegisterBenchmark(Name("FIR64_64f", "fundrel", n).c_str(), FirFundrel, n);
    benchmark::RegisterBenchmark(Name("FIR64_64f", "plain", n).c_str(), FirPlain, n);
    benchmark::RegisterBenchmark(Name("IIRBiQuad4_64f", "fundrel", n).c_str(), BiquadFundrel, n);
    benchmark::RegisterBenchmark(Name("IIRBiQuad4_64f", "plain", n).c_str(), BiquadPlain, n);
  }
  for (int n : {64, 1024, 16384}) {
    benchmark::RegisterBenchmark(Name("Conv_64f", "fundrel", n).c_str(), ConvFundrel, n);
    benchmark::RegisterBenchmark(Name("Conv_64f", "plain", n).c_str(), ConvPlain, n);
  }
  for (int n : {64, 1024, 16384, 1048576}) {
    benchmark::RegisterBenchmark(Name("WinHann_64f", "fundrel", n).c_str(), HannFundrel, n);
    benchmark::RegisterBenchmark(Name("WinHann_64f", "plain", n).c_str(), HannPlain, n);
  }
  return true;
}();

}  // namespace
