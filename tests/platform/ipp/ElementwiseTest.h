// Support of the element-wise primitive suites: running a check once per SIMD target the CPU
// supports, the lengths and misalignments every kernel is tried with, and random data.
//
// Targets: the primitive library dispatches through Highway's chosen target, which lives in the
// shared libhwy; hwy::SetSupportedTargetsForTest limits the supported set to one target, so the
// next call through HWY_DYNAMIC_DISPATCH resolves to that target's kernel.
#ifndef FUNDREL_TESTS_ELEMENTWISE_TEST_H
#define FUNDREL_TESTS_ELEMENTWISE_TEST_H

#include <gtest/gtest.h>
#include <hwy/highway.h>
#include <hwy/targets.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <type_traits>
#include <utility>
#include <algorithm>
#include <limits>
#include <vector>

#include "platform/ipp/ipp_api.h"

namespace ewtest {

template <class F>
void ForEachTarget(const F& f) {
  int count = 0;
  for (int64_t bits = hwy::SupportedTargets() & HWY_TARGETS; bits != 0; bits &= bits - 1) {
    const int64_t target = bits & -bits;
    hwy::SetSupportedTargetsForTest(target);
    SCOPED_TRACE(hwy::TargetName(target));
    f();
    ++count;
  }
  hwy::SetSupportedTargetsForTest(0);
  EXPECT_GE(count, 1);
}

// Lengths around every vector width and unrolled block, plus long ones.
inline const std::vector<int>& Lengths() {
  static const std::vector<int> lens = {1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 31, 32, 33, 63, 64, 65, 100, 127, 257, 1000};
  return lens;
}

// A buffer whose data start `offset` elements past a 64-byte boundary.
template <typename T>
class Buf {
 public:
  Buf(size_t n, size_t offset) : store_((n + offset) * sizeof(T) + 128), n_(n) {
    auto base = reinterpret_cast<uintptr_t>(store_.data());
    base = (base + 63) & ~uintptr_t(63);
    p_ = reinterpret_cast<T*>(base) + offset;
  }
  T* data() { return p_; }
  T& operator[](size_t i) { return p_[i]; }
  size_t size() const { return n_; }
  void Assign(const std::vector<T>& v) { std::memcpy(static_cast<void*>(p_), v.data(), v.size() * sizeof(T)); }
  std::vector<T> Vec() const { return std::vector<T>(p_, p_ + n_); }

 private:
  std::vector<unsigned char> store_;
  size_t n_;
  T* p_;
};

inline std::mt19937_64& Rng() {
  static std::mt19937_64 rng(12345);
  return rng;
}

inline std::vector<double> RandF64(size_t n, double lo = -100, double hi = 100) {
  std::uniform_real_distribution<double> u(lo, hi);
  std::vector<double> v(n);
  for (auto& x : v) x = u(Rng());
  return v;
}
inline std::vector<float> RandF32(size_t n, float lo = -100, float hi = 100) {
  std::uniform_real_distribution<float> u(lo, hi);
  std::vector<float> v(n);
  for (auto& x : v) x = u(Rng());
  return v;
}
inline std::vector<Ipp64fc> RandC64(size_t n, double lo = -100, double hi = 100) {
  std::vector<double> r = RandF64(2 * n, lo, hi);
  std::vector<Ipp64fc> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = {r[2 * i], r[2 * i + 1]};
  return v;
}
// Integers mixing the full range, small values and the extremes, so saturation is exercised.
template <typename T>
std::vector<T> RandInt(size_t n) {
  std::vector<T> v(n);
  std::uniform_int_distribution<int64_t> full(std::numeric_limits<T>::min(), std::numeric_limits<T>::max());
  std::uniform_int_distribution<int> pick(0, 9), small(-20, 20);
  for (auto& x : v) {
    const int k = pick(Rng());
    if (k == 0) x = std::numeric_limits<T>::max();
    else if (k == 1) x = std::numeric_limits<T>::min();
    else if (k < 5) x = static_cast<T>(std::is_signed_v<T> ? small(Rng()) : small(Rng()) + 20);
    else x = static_cast<T>(full(Rng()));
  }
  return v;
}

// Relative closeness for results of several roundings (complex products, quotients).
inline bool Near(double a, double b, double rel = 1e-13) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  if (std::isinf(a) || std::isinf(b)) return a == b;
  return std::fabs(a - b) <= rel * std::max({std::fabs(a), std::fabs(b), 1e-300});
}

// Exact-equality for floating results that must be bit-identical to one IEEE operation
// (NaNs compare equal to NaNs).
inline bool Same(double a, double b) { return (std::isnan(a) && std::isnan(b)) || a == b; }


// The standard statuses of a primitive, found from its prototype alone: every pointer parameter
// (except those in `nullable`, a bit per parameter index) is set to NULL in turn and must give -8;
// the length (the first int after a pointer) set to 0 and -1 must give -6; a valid call of 16
// elements must not fail. Scalars are passed as 1 (a complex one as 1+1i).
namespace detail {
template <typename T>
T One() {
  if constexpr (std::is_same_v<T, Ipp64fc>) return Ipp64fc{1.0, 1.0};
  else if constexpr (std::is_same_v<T, Ipp32fc>) return Ipp32fc{1.0f, 1.0f};
  else if constexpr (std::is_enum_v<T>) return static_cast<T>(0);
  else return static_cast<T>(1);
}
// The length is the first int after the second pointer ((pSrc, val, pDst, len) has an int
// constant before it), else the first int after the first pointer.
template <class... P>
constexpr int LenIndex() {
  constexpr bool isPtr[] = {std::is_pointer_v<P>...};
  constexpr bool isInt[] = {std::is_same_v<P, int>...};
  for (int wantPtrs : {2, 1}) {
    int ptrs = 0;
    for (size_t i = 0; i < sizeof...(P); ++i) {
      if (isPtr[i]) ++ptrs;
      else if (isInt[i] && ptrs >= wantPtrs) return static_cast<int>(i);
    }
  }
  return -1;
}
struct Scratch {
  alignas(64) unsigned char bytes[16][1024];
  Scratch() { std::memset(bytes, 0x3f, sizeof bytes); }
};
template <class P>
P Arg(size_t j, int nullAt, int lenAt, int len, Scratch& s) {
  if constexpr (std::is_pointer_v<P>) {
    return static_cast<int>(j) == nullAt ? nullptr : reinterpret_cast<P>(s.bytes[j]);
  } else {
    if constexpr (std::is_same_v<P, int>) {
      if (static_cast<int>(j) == lenAt) return len;
    }
    return One<P>();
  }
}
template <class R, class... P, size_t... J>
R Call(R (*fn)(P...), int nullAt, int lenAt, int len, std::index_sequence<J...>) {
  Scratch s;
  return fn(Arg<P>(J, nullAt, lenAt, len, s)...);
}
}  // namespace detail

template <class R, class... P>
void ExpectStandardStatuses(const char* name, R (*fn)(P...), unsigned nullable = 0) {
  SCOPED_TRACE(name);
  constexpr int lenAt = detail::LenIndex<P...>();
  static_assert(lenAt >= 0, "no length parameter");
  constexpr bool isPtr[] = {std::is_pointer_v<P>...};
  const auto seq = std::index_sequence_for<P...>();
  for (int j = 0; j < static_cast<int>(sizeof...(P)); ++j) {
    if (isPtr[j] && !(nullable & (1u << j))) {
      EXPECT_EQ(detail::Call(fn, j, lenAt, 16, seq), ippStsNullPtrErr) << "null argument " << j;
    }
  }
  EXPECT_EQ(detail::Call(fn, -1, lenAt, 0, seq), ippStsSizeErr);
  EXPECT_EQ(detail::Call(fn, -1, lenAt, -1, seq), ippStsSizeErr);
  EXPECT_GE(detail::Call(fn, -1, lenAt, 16, seq), ippStsNoErr);
}
#define EW_EXPECT_STATUSES(fn, ...) ::ewtest::ExpectStandardStatuses(#fn, &fn, ##__VA_ARGS__)

}  // namespace ewtest

#endif
