// Support of the element-wise primitive suites: a check run once per SIMD target the CPU supports,
// random data, naive models, and the standard statuses of a primitive derived from its prototype.
//
// Targets: the primitive library dispatches through Highway's chosen target, which lives in the
// shared libhwy; hwy::SetSupportedTargetsForTest limits the supported set to one target, so the
// next call into the library resolves to that target's kernel.
#ifndef FUNDREL_TESTS_ELEMENTWISE_TEST_H
#define FUNDREL_TESTS_ELEMENTWISE_TEST_H

#include <gtest/gtest.h>
#include <hwy/highway.h>
#include <hwy/targets.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/ipp/ipp_api.h"

inline std::ostream& operator<<(std::ostream& os, const Ipp64fc& z) { return os << '(' << z.re << ',' << z.im << ')'; }
inline std::ostream& operator<<(std::ostream& os, const Ipp32fc& z) { return os << '(' << z.re << ',' << z.im << ')'; }

namespace ewtest {

using C = std::complex<double>;
inline C Cx(Ipp64fc z) { return {z.re, z.im}; }

template <class F>
void ForEachTarget(const F& f) {
  for (int64_t bits = hwy::SupportedTargets() & HWY_TARGETS; bits != 0; bits &= bits - 1) {
    hwy::SetSupportedTargetsForTest(bits & -bits);
    SCOPED_TRACE(hwy::TargetName(bits & -bits));
    f();
  }
  hwy::SetSupportedTargetsForTest(0);
}

// Lengths around every vector width and unrolled block; the offset (elements past a 64-byte
// boundary) misaligns the buffers differently for every length.
inline const std::vector<int> kLengths = {1, 2, 3, 5, 7, 8, 9, 15, 16, 17, 31, 33, 63, 64, 65, 127, 257, 1000};
template <typename T>
T* Misaligned(std::vector<T>& store, size_t n, int offset) {
  store.assign(n + offset + 64 / sizeof(T) + 1, T{});
  auto base = (reinterpret_cast<uintptr_t>(store.data()) + 63) & ~uintptr_t(63);
  return reinterpret_cast<T*>(base) + offset;
}

inline std::mt19937_64& Rng() {
  static std::mt19937_64 rng(12345);
  return rng;
}
template <typename T>
std::vector<T> Rand(size_t n, double lo = -100, double hi = 100) {
  std::vector<T> v(n);
  if constexpr (std::is_floating_point_v<T>) {
    std::uniform_real_distribution<double> u(lo, hi);
    for (auto& x : v) x = static_cast<T>(u(Rng()));
  } else if constexpr (std::is_same_v<T, Ipp64fc>) {
    std::uniform_real_distribution<double> u(lo, hi);
    for (auto& x : v) x = {u(Rng()), u(Rng())};
  } else {  // integers: full range, small values and both extremes, so saturation is exercised
    std::uniform_int_distribution<int64_t> full(std::numeric_limits<T>::min(), std::numeric_limits<T>::max());
    std::uniform_int_distribution<int> pick(0, 9), small(0, 40);
    for (auto& x : v) {
      const int k = pick(Rng());
      x = k == 0 ? std::numeric_limits<T>::max() : k == 1 ? std::numeric_limits<T>::min()
          : k < 5 ? static_cast<T>(small(Rng()) - (std::is_signed_v<T> ? 20 : 0)) : static_cast<T>(full(Rng()));
    }
  }
  return v;
}

inline std::vector<double> RandF64(size_t n, double lo = -100, double hi = 100) { return Rand<double>(n, lo, hi); }
inline std::vector<float> RandF32(size_t n, double lo = -100, double hi = 100) { return Rand<float>(n, lo, hi); }
inline std::vector<Ipp64fc> RandC64(size_t n, double lo = -100, double hi = 100) { return Rand<Ipp64fc>(n, lo, hi); }

// A buffer of n elements starting `offset` elements past a 64-byte boundary.
template <typename T>
class Buf {
 public:
  Buf(size_t n, int offset) : n_(n), p_(Misaligned(store_, n, offset)) {}
  T* data() { return p_; }
  T& operator[](size_t i) { return p_[i]; }
  size_t size() const { return n_; }
  void Assign(const std::vector<T>& v) { std::copy(v.begin(), v.end(), p_); }
  std::vector<T> Vec() const { return std::vector<T>(p_, p_ + n_); }

 private:
  std::vector<T> store_;
  size_t n_;
  T* p_;
};

// Equal, NaN matching NaN.
inline bool Same(double a, double b) { return (std::isnan(a) && std::isnan(b)) || a == b; }
inline bool Near(C got, C want, double rel = 1e-14) { return std::abs(got - want) <= rel * std::abs(want); }

// The _Sfs rule, independent of the library's integer code: long double holds every 64-bit sum and
// product exactly, scaling by 2^-sf is exact, nearbyintl rounds half to even; then clamp.
template <typename T>
T SfsModel(long double exact, int sf) {
  const long double r = std::nearbyintl(std::ldexp(exact, -sf));
  const long double lo = std::numeric_limits<T>::min(), hi = std::numeric_limits<T>::max();
  return static_cast<T>(r < lo ? lo : (r > hi ? hi : r));
}

// Runs call(x, y, d, len) for every length on misaligned copies x, y of random vectors a, b (in
// [lo, hi]) and requires same(d[i], model(a[i], b[i])) for every element. Forms with one source
// ignore y; in-place forms copy y into d and work on d.
template <typename TA, typename TB, typename TD, class Call, class Model, class Cmp>
void SweepMap(const char* name, Call call, Model model, Cmp same, double lo = -100, double hi = 100) {
  for (int len : kLengths) {
    const auto a = Rand<TA>(len, lo, hi);
    const auto b = Rand<TB>(len, lo, hi);
    std::vector<TA> sa;
    std::vector<TB> sb;
    std::vector<TD> sd;
    TA* x = Misaligned(sa, len, len % 4);
    TB* y = Misaligned(sb, len, (len + 1) % 3);
    TD* d = Misaligned(sd, len, (len + 2) % 5);
    std::copy(a.begin(), a.end(), x);
    std::copy(b.begin(), b.end(), y);
    ASSERT_GE(call(x, y, d, len), ippStsNoErr) << name << " len " << len;
    for (int i = 0; i < len; ++i) {
      const auto want = model(a[i], b[i]);
      ASSERT_TRUE(same(d[i], want)) << name << " len " << len << " i " << i << ": got " << d[i] << " want " << want;
    }
    ASSERT_TRUE(std::equal(a.begin(), a.end(), x, [](TA p, TA q) { return !std::memcmp(&p, &q, sizeof p); })) << name << " changed its source";
  }
}
inline auto kExact = [](double got, double want) { return Same(got, want); };
inline auto kNearC = [](Ipp64fc got, C want) { return Near(Cx(got), want); };

namespace detail {
// The length is the first int after the second pointer ((pSrc, val, pDst, len) has an int constant
// before it), else the first int after the first pointer.
template <class... P>
constexpr int LenIndex() {
  constexpr bool isPtr[] = {std::is_pointer_v<P>...}, isInt[] = {std::is_same_v<P, int>...};
  for (int wantPtrs : {2, 1}) {
    int ptrs = 0;
    for (size_t i = 0; i < sizeof...(P); ++i) {
      if (isPtr[i]) ++ptrs;
      else if (isInt[i] && ptrs >= wantPtrs) return static_cast<int>(i);
    }
  }
  return -1;
}
// Scalars are 1 (1+1i, enum 0); pointers point at distinct scratch blocks.
template <class P>
P Arg(int j, int nullAt, int lenAt, int len, unsigned char (*scratch)[1024]) {
  if constexpr (std::is_pointer_v<P>) return j == nullAt ? nullptr : reinterpret_cast<P>(scratch[j]);
  else if constexpr (std::is_same_v<P, Ipp64fc>) return Ipp64fc{1.0, 1.0};
  else if constexpr (std::is_enum_v<P>) return static_cast<P>(0);
  else if constexpr (std::is_same_v<P, int>) return j == lenAt ? len : 1;
  else return static_cast<P>(1);
}
template <class... P, size_t... J>
IppStatus Call(IppStatus (*fn)(P...), int nullAt, int len, std::index_sequence<J...>) {
  alignas(64) static unsigned char scratch[8][1024];
  std::memset(scratch, 0x3f, sizeof scratch);
  return fn(Arg<P>(static_cast<int>(J), nullAt, LenIndex<P...>(), len, scratch)...);
}
// Every pointer (except the `nullable` bit positions) set to NULL in turn gives -8; a length of 0
// or -1 gives -6; a valid call of 16 elements does not fail.
template <class... P>
void Standard(const std::string& name, IppStatus (*fn)(P...), unsigned nullable) {
  static_assert(LenIndex<P...>() >= 0, "no length parameter");
  constexpr bool isPtr[] = {std::is_pointer_v<P>...};
  const auto seq = std::index_sequence_for<P...>();
  for (int j = 0; j < static_cast<int>(sizeof...(P)); ++j) {
    if (isPtr[j] && !(nullable >> j & 1)) {
      EXPECT_EQ(Call(fn, j, 16, seq), ippStsNullPtrErr) << name << " NULL argument " << j;
    }
  }
  EXPECT_EQ(Call(fn, -1, 0, seq), ippStsSizeErr) << name;
  EXPECT_EQ(Call(fn, -1, -1, seq), ippStsSizeErr) << name;
  EXPECT_GE(Call(fn, -1, 16, seq), ippStsNoErr) << name;
}
template <class... F>
void AllStandard(const char* names, F... fns) {
  std::istringstream in(names);
  std::string name;
  (((std::getline(in >> std::ws, name, ',')), Standard(name, fns, 0)), ...);
}
}  // namespace detail

#define EW_EXPECT_STATUSES(...) ::ewtest::detail::AllStandard(#__VA_ARGS__, __VA_ARGS__)
#define EW_EXPECT_STATUSES_NULLABLE(fn, nullable) ::ewtest::detail::Standard(#fn, fn, nullable)

}  // namespace ewtest

#endif
