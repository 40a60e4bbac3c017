// Element-wise primitives against their peers, each as BM_<Op>/<impl>/<size>:
//   fundrel  the exported primitive of libfundrel_ipps
//   plain    a straightforward loop compiled with -O3 (for the build's baseline ISA)
//   eigen    Eigen 3.4 array expressions over mapped buffers
//   volk     VOLK's dispatched kernel, where VOLK has the operation
//   glibc    a loop over the C library's exp / log
// plus BM_StreamTriad/memory/1048576 and BM_StreamCopy/memory/1048576, the machine's memory
// bandwidth in the same run. bytes_per_second counts every byte read and written once.
#include <benchmark/benchmark.h>
#include <math.h>
#include <stdlib.h>

#include <Eigen/Core>
#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <string>

#include "platform/ipp/ipp_api.h"

#if FUNDREL_BENCH_HAVE_VOLK
#include <volk/volk.h>
#endif

namespace {

constexpr int kSizes[] = {64, 1024, 16384, 1048576};

// Buffers of one benchmark case: 64-byte aligned, filled once outside the timed loop.
class Data {
 public:
  explicit Data(int n) : n_(n) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(0.5, 2.0), near1(0.999, 1.001), e(-5, 5);
    for (auto* p : {&a, &b, &c}) *p = Alloc<double>(2 * n);  // room for n complex values
    fa = Alloc<float>(n);
    fb = Alloc<float>(n);
    ia = Alloc<Ipp32s>(n);
    for (int i = 0; i < 2 * n; ++i) {
      a[i] = u(rng);
      b[i] = near1(rng);  // divisors near 1 keep in-place quotients from drifting
      c[i] = e(rng);
    }
    for (int i = 0; i < n; ++i) {
      fa[i] = static_cast<float>(u(rng));
      fb[i] = static_cast<float>(near1(rng));
      ia[i] = static_cast<Ipp32s>(rng());
    }
  }
  ~Data() {
    for (void* p : {(void*)a, (void*)b, (void*)c, (void*)fa, (void*)fb, (void*)ia}) free(p);
  }
  Data(const Data&) = delete;
  Data& operator=(const Data&) = delete;

  double *a, *b, *c;
  float *fa, *fb;
  Ipp32s* ia;

 private:
  template <typename T>
  static T* Alloc(int n) {
    return static_cast<T*>(aligned_alloc(64, (sizeof(T) * n + 63) / 64 * 64));
  }
  int n_;
};

using Kernel = std::function<void(Data&, int)>;

void Register(const std::string& op, const std::string& impl, int bytesPerElement, Kernel k, bool onlyStreamSize = false) {
  for (int n : kSizes) {
    if (onlyStreamSize && n != 1048576) continue;
    benchmark::RegisterBenchmark(("BM_" + op + "/" + impl + "/" + std::to_string(n)).c_str(),
                                 [=](benchmark::State& st) {
                                   Data d(n);
                                   for (auto _ : st) {
                                     k(d, n);
                                     benchmark::ClobberMemory();
                                   }
                                   st.SetBytesProcessed(int64_t(st.iterations()) * n * bytesPerElement);
                                   st.SetItemsProcessed(int64_t(st.iterations()) * n);
                                 });
  }
}

using VecMap = Eigen::Map<Eigen::ArrayXd>;
using FVecMap = Eigen::Map<Eigen::ArrayXf>;

}  // namespace

// The plain peers: what a careful user writes without intrinsics, vectorised by the compiler.
#pragma GCC push_options
#pragma GCC optimize("O3")
namespace plain {
void Add(const double* a, const double* b, double* o, int n) {
  for (int i = 0; i < n; ++i) o[i] = a[i] + b[i];
}
void SubI(const double* s, double* io, int n) {
  for (int i = 0; i < n; ++i) io[i] -= s[i];
}
void Mul(const double* a, const double* b, double* o, int n) {
  for (int i = 0; i < n; ++i) o[i] = a[i] * b[i];
}
void MulF(const float* a, const float* b, float* o, int n) {
  for (int i = 0; i < n; ++i) o[i] = a[i] * b[i];
}
void DivI(const double* s, double* io, int n) {
  for (int i = 0; i < n; ++i) io[i] /= s[i];
}
void AddC(const double* a, double v, double* o, int n) {
  for (int i = 0; i < n; ++i) o[i] = a[i] + v;
}
void MulC(const double* a, double v, double* o, int n) {
  for (int i = 0; i < n; ++i) o[i] = a[i] * v;
}
void Abs(const double* a, double* o, int n) {
  for (int i = 0; i < n; ++i) o[i] = fabs(a[i]);
}
void Sqr(const double* a, double* o, int n) {
  for (int i = 0; i < n; ++i) o[i] = a[i] * a[i];
}
void Sqrt(const double* a, double* o, int n) {
  for (int i = 0; i < n; ++i) o[i] = __builtin_sqrt(a[i]);
}
void Copy(const double* a, double* o, int n) {
  for (int i = 0; i < n; ++i) o[i] = a[i];
}
void Set(double v, double* o, int n) {
  for (int i = 0; i < n; ++i) o[i] = v;
}
double Sum(const double* a, int n) {
  double s = 0;
  for (int i = 0; i < n; ++i) s += a[i];
  return s;
}
double Dot(const double* a, const double* b, int n) {
  double s = 0;
  for (int i = 0; i < n; ++i) s += a[i] * b[i];
  return s;
}
double Max(const double* a, int n) {
  double m = a[0];
  for (int i = 1; i < n; ++i) m = a[i] > m ? a[i] : m;
  return m;
}
void Threshold(const double* a, double* o, int n, double level) {
  for (int i = 0; i < n; ++i) o[i] = a[i] < level ? level : a[i];
}
void Cvt64f32f(const double* a, float* o, int n) {
  for (int i = 0; i < n; ++i) o[i] = static_cast<float>(a[i]);
}
void Cvt32s64f(const Ipp32s* a, double* o, int n) {
  for (int i = 0; i < n; ++i) o[i] = a[i];
}
void Triad(double* a, const double* b, const double* c, double s, int n) {
  for (int i = 0; i < n; ++i) a[i] = b[i] + s * c[i];
}
}  // namespace plain
#pragma GCC pop_options

namespace {
void ExpLoop(const double* a, double* o, int n) {
  for (int i = 0; i < n; ++i) o[i] = exp(a[i]);
}
void LogLoop(const double* a, double* o, int n) {
  for (int i = 0; i < n; ++i) o[i] = log(a[i]);
}

const bool registered = [] {
  // Memory bandwidth references (STREAM's copy and triad kernels).
  Register("StreamCopy", "memory", 16, [](Data& d, int n) { plain::Copy(d.a, d.c, n); }, true);
  Register("StreamTriad", "memory", 24, [](Data& d, int n) { plain::Triad(d.c, d.a, d.b, 3.0, n); }, true);

  Register("Add_64f", "fundrel", 24, [](Data& d, int n) { ippsAdd_64f(d.a, d.b, d.c, n); });
  Register("Add_64f", "plain", 24, [](Data& d, int n) { plain::Add(d.a, d.b, d.c, n); });
  Register("Add_64f", "eigen", 24, [](Data& d, int n) { VecMap(d.c, n) = VecMap(d.a, n) + VecMap(d.b, n); });
  Register("Sub_64f_I", "fundrel", 24, [](Data& d, int n) { ippsSub_64f_I(d.b, d.c, n); });
  Register("Sub_64f_I", "plain", 24, [](Data& d, int n) { plain::SubI(d.b, d.c, n); });
  Register("Sub_64f_I", "eigen", 24, [](Data& d, int n) { VecMap(d.c, n) -= VecMap(d.b, n); });
  Register("Mul_64f", "fundrel", 24, [](Data& d, int n) { ippsMul_64f(d.a, d.b, d.c, n); });
  Register("Mul_64f", "plain", 24, [](Data& d, int n) { plain::Mul(d.a, d.b, d.c, n); });
  Register("Mul_64f", "eigen", 24, [](Data& d, int n) { VecMap(d.c, n) = VecMap(d.a, n) * VecMap(d.b, n); });
  Register("Mul_32f", "fundrel", 12, [](Data& d, int n) { ippsMul_32f(d.fa, d.fb, reinterpret_cast<float*>(d.c), n); });
  Register("Mul_32f", "plain", 12, [](Data& d, int n) { plain::MulF(d.fa, d.fb, reinterpret_cast<float*>(d.c), n); });
  Register("Mul_32f", "eigen", 12,
           [](Data& d, int n) { FVecMap(reinterpret_cast<float*>(d.c), n) = FVecMap(d.fa, n) * FVecMap(d.fb, n); });
  Register("Div_64f_I", "fundrel", 24, [](Data& d, int n) { ippsDiv_64f_I(d.b, d.a, n); });
  Register("Div_64f_I", "plain", 24, [](Data& d, int n) { plain::DivI(d.b, d.a, n); });
  Register("Div_64f_I", "eigen", 24, [](Data& d, int n) { VecMap(d.a, n) /= VecMap(d.b, n); });
  Register("AddC_64f", "fundrel", 16, [](Data& d, int n) { ippsAddC_64f(d.a, 1.5, d.c, n); });
  Register("AddC_64f", "plain", 16, [](Data& d, int n) { plain::AddC(d.a, 1.5, d.c, n); });
  Register("AddC_64f", "eigen", 16, [](Data& d, int n) { VecMap(d.c, n) = VecMap(d.a, n) + 1.5; });
  Register("MulC_64f", "fundrel", 16, [](Data& d, int n) { ippsMulC_64f(d.a, 1.5, d.c, n); });
  Register("MulC_64f", "plain", 16, [](Data& d, int n) { plain::MulC(d.a, 1.5, d.c, n); });
  Register("MulC_64f", "eigen", 16, [](Data& d, int n) { VecMap(d.c, n) = VecMap(d.a, n) * 1.5; });
  Register("Abs_64f", "fundrel", 16, [](Data& d, int n) { ippsAbs_64f(d.c, d.b + n, n); });
  Register("Abs_64f", "plain", 16, [](Data& d, int n) { plain::Abs(d.c, d.b + n, n); });
  Register("Abs_64f", "eigen", 16, [](Data& d, int n) { VecMap(d.b + n, n) = VecMap(d.c, n).abs(); });
  Register("Sqr_64f", "fundrel", 16, [](Data& d, int n) { ippsSqr_64f(d.a, d.c, n); });
  Register("Sqr_64f", "plain", 16, [](Data& d, int n) { plain::Sqr(d.a, d.c, n); });
  Register("Sqr_64f", "eigen", 16, [](Data& d, int n) { VecMap(d.c, n) = VecMap(d.a, n).square(); });
  Register("Sqrt_64f", "fundrel", 16, [](Data& d, int n) { ippsSqrt_64f(d.a, d.c, n); });
  Register("Sqrt_64f", "plain", 16, [](Data& d, int n) { plain::Sqrt(d.a, d.c, n); });
  Register("Sqrt_64f", "eigen", 16, [](Data& d, int n) { VecMap(d.c, n) = VecMap(d.a, n).sqrt(); });
  Register("Copy_64f", "fundrel", 16, [](Data& d, int n) { ippsCopy_64f(d.a, d.c, n); });
  Register("Copy_64f", "plain", 16, [](Data& d, int n) { plain::Copy(d.a, d.c, n); });
  Register("Copy_64f", "eigen", 16, [](Data& d, int n) { VecMap(d.c, n) = VecMap(d.a, n); });
  Register("Set_64f", "fundrel", 8, [](Data& d, int n) { ippsSet_64f(2.5, d.c, n); });
  Register("Set_64f", "plain", 8, [](Data& d, int n) { plain::Set(2.5, d.c, n); });
  Register("Set_64f", "eigen", 8, [](Data& d, int n) { VecMap(d.c, n).setConstant(2.5); });
  Register("Zero_64f", "fundrel", 8, [](Data& d, int n) { ippsZero_64f(d.c, n); });
  Register("Zero_64f", "plain", 8, [](Data& d, int n) { plain::Set(0.0, d.c, n); });
  Register("Zero_64f", "eigen", 8, [](Data& d, int n) { VecMap(d.c, n).setZero(); });
  Register("Sum_64f", "fundrel", 8, [](Data& d, int n) {
    double s;
    ippsSum_64f(d.a, n, &s);
    benchmark::DoNotOptimize(s);
  });
  Register("Sum_64f", "plain", 8, [](Data& d, int n) { benchmark::DoNotOptimize(plain::Sum(d.a, n)); });
  Register("Sum_64f", "eigen", 8, [](Data& d, int n) { benchmark::DoNotOptimize(VecMap(d.a, n).sum()); });
  Register("DotProd_64f", "fundrel", 16, [](Data& d, int n) {
    double s;
    ippsDotProd_64f(d.a, d.b, n, &s);
    benchmark::DoNotOptimize(s);
  });
  Register("DotProd_64f", "plain", 16, [](Data& d, int n) { benchmark::DoNotOptimize(plain::Dot(d.a, d.b, n)); });
  Register("DotProd_64f", "eigen", 16,
           [](Data& d, int n) { benchmark::DoNotOptimize(VecMap(d.a, n).matrix().dot(VecMap(d.b, n).matrix())); });
  Register("Max_64f", "fundrel", 8, [](Data& d, int n) {
    double s;
    ippsMax_64f(d.a, n, &s);
    benchmark::DoNotOptimize(s);
  });
  Register("Max_64f", "plain", 8, [](Data& d, int n) { benchmark::DoNotOptimize(plain::Max(d.a, n)); });
  Register("Max_64f", "eigen", 8, [](Data& d, int n) { benchmark::DoNotOptimize(VecMap(d.a, n).maxCoeff()); });
  Register("Threshold_64f", "fundrel", 16, [](Data& d, int n) { ippsThreshold_64f(d.a, d.c, n, 1.0, ippCmpLess); });
  Register("Threshold_64f", "plain", 16, [](Data& d, int n) { plain::Threshold(d.a, d.c, n, 1.0); });
  Register("Threshold_64f", "eigen", 16, [](Data& d, int n) { VecMap(d.c, n) = VecMap(d.a, n).max(1.0); });
  Register("Convert_64f32f", "fundrel", 12, [](Data& d, int n) { ippsConvert_64f32f(d.a, d.fa, n); });
  Register("Convert_64f32f", "plain", 12, [](Data& d, int n) { plain::Cvt64f32f(d.a, d.fa, n); });
  Register("Convert_64f32f", "eigen", 12, [](Data& d, int n) { FVecMap(d.fa, n) = VecMap(d.a, n).cast<float>(); });
  Register("Convert_32s64f", "fundrel", 12, [](Data& d, int n) { ippsConvert_32s64f(d.ia, d.c, n); });
  Register("Convert_32s64f", "plain", 12, [](Data& d, int n) { plain::Cvt32s64f(d.ia, d.c, n); });
  Register("Convert_32s64f", "eigen", 12,
           [](Data& d, int n) { VecMap(d.c, n) = Eigen::Map<Eigen::ArrayXi>(d.ia, n).cast<double>(); });
  Register("Exp_64f", "fundrel", 16, [](Data& d, int n) { ippsExp_64f(d.c, d.b + n, n); });
  Register("Exp_64f", "glibc", 16, [](Data& d, int n) { ExpLoop(d.c, d.b + n, n); });
  Register("Exp_64f", "eigen", 16, [](Data& d, int n) { VecMap(d.b + n, n) = VecMap(d.c, n).exp(); });
  Register("Ln_64f", "fundrel", 16, [](Data& d, int n) { ippsLn_64f(d.a, d.c, n); });
  Register("Ln_64f", "glibc", 16, [](Data& d, int n) { LogLoop(d.a, d.c, n); });
  Register("Ln_64f", "eigen", 16, [](Data& d, int n) { VecMap(d.c, n) = VecMap(d.a, n).log(); });
#if FUNDREL_BENCH_HAVE_VOLK
  Register("Add_64f", "volk", 24, [](Data& d, int n) { volk_64f_x2_add_64f(d.c, d.a, d.b, n); });
  Register("Mul_64f", "volk", 24, [](Data& d, int n) { volk_64f_x2_multiply_64f(d.c, d.a, d.b, n); });
  Register("Mul_32f", "volk", 12, [](Data& d, int n) { volk_32f_x2_multiply_32f(reinterpret_cast<float*>(d.c), d.fa, d.fb, n); });
  Register("Convert_64f32f", "volk", 12, [](Data& d, int n) { volk_64f_convert_32f(d.fa, d.a, n); });
#endif
  return true;
}();

}  // namespace
