// Loop skeletons of the element-wise kernels, compiled once per Highway target (include it after
// foreach_target.h, like any -inl header). Every loop accepts any alignment, any length and an
// output that is one of its inputs (the in-place forms); the lambdas receive the descriptor so
// that the same body serves the full vectors and the narrow tail.
#if defined(FUNDREL_EW_LOOPS_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef FUNDREL_EW_LOOPS_INL_H_
#undef FUNDREL_EW_LOOPS_INL_H_
#else
#define FUNDREL_EW_LOOPS_INL_H_
#endif

#include <stddef.h>
#include <stdint.h>

#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace fundrel::ew::HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// Lanes of the tail tag: 1 for plain elements, 2 for interleaved complex values (which must stay
// paired inside a vector).
template <typename T, size_t kTail>
using TailTag = hn::CappedTag<T, kTail>;

// out[i] = f(d, a[i]).
template <size_t kTail = 1, typename T, typename TO, class F>
HWY_INLINE void Map1(const T* a, TO* out, size_t n, const F& f) {
  const hn::ScalableTag<T> d;
  const size_t N = hn::Lanes(d);
  size_t i = 0;
  for (; i + 4 * N <= n; i += 4 * N) {
    const auto a0 = hn::LoadU(d, a + i);
    const auto a1 = hn::LoadU(d, a + i + N);
    const auto a2 = hn::LoadU(d, a + i + 2 * N);
    const auto a3 = hn::LoadU(d, a + i + 3 * N);
    hn::StoreU(f(d, a0), d, out + i);
    hn::StoreU(f(d, a1), d, out + i + N);
    hn::StoreU(f(d, a2), d, out + i + 2 * N);
    hn::StoreU(f(d, a3), d, out + i + 3 * N);
  }
  for (; i + N <= n; i += N) hn::StoreU(f(d, hn::LoadU(d, a + i)), d, out + i);
  const TailTag<T, kTail> dt;
  for (; i < n; i += kTail) hn::StoreU(f(dt, hn::LoadU(dt, a + i)), dt, out + i);
}

// out[i] = f(d, a[i], b[i]).
template <size_t kTail = 1, typename T, class F>
HWY_INLINE void Map2(const T* a, const T* b, T* out, size_t n, const F& f) {
  const hn::ScalableTag<T> d;
  const size_t N = hn::Lanes(d);
  size_t i = 0;
  for (; i + 4 * N <= n; i += 4 * N) {
    const auto a0 = hn::LoadU(d, a + i);
    const auto a1 = hn::LoadU(d, a + i + N);
    const auto a2 = hn::LoadU(d, a + i + 2 * N);
    const auto a3 = hn::LoadU(d, a + i + 3 * N);
    const auto b0 = hn::LoadU(d, b + i);
    const auto b1 = hn::LoadU(d, b + i + N);
    const auto b2 = hn::LoadU(d, b + i + 2 * N);
    const auto b3 = hn::LoadU(d, b + i + 3 * N);
    hn::StoreU(f(d, a0, b0), d, out + i);
    hn::StoreU(f(d, a1, b1), d, out + i + N);
    hn::StoreU(f(d, a2, b2), d, out + i + 2 * N);
    hn::StoreU(f(d, a3, b3), d, out + i + 3 * N);
  }
  for (; i + N <= n; i += N) hn::StoreU(f(d, hn::LoadU(d, a + i), hn::LoadU(d, b + i)), d, out + i);
  const TailTag<T, kTail> dt;
  for (; i < n; i += kTail) hn::StoreU(f(dt, hn::LoadU(dt, a + i), hn::LoadU(dt, b + i)), dt, out + i);
}

// min / max that return b when either operand is NaN (the x86 MINPD/MAXPD rule, one instruction
// there; other targets spell it out).
template <class V>
HWY_INLINE V MinOr2nd(V a, V b) {
#if HWY_ARCH_X86 && HWY_TARGET != HWY_SCALAR
  return hn::Min(a, b);
#else
  return hn::IfThenElse(hn::Lt(a, b), a, b);
#endif
}
template <class V>
HWY_INLINE V MaxOr2nd(V a, V b) {
#if HWY_ARCH_X86 && HWY_TARGET != HWY_SCALAR
  return hn::Max(a, b);
#else
  return hn::IfThenElse(hn::Gt(a, b), a, b);
#endif
}

// Saturating 32-bit add/sub: wrap, then replace lanes whose sign went wrong by the limit on the
// side of x's sign (overflow is only possible where that sign decides the direction).
template <class D, class V>
HWY_INLINE V AddSatI32(D d, V x, V y) {
  const V s = hn::Add(x, y);
  const V ovf = hn::AndNot(hn::Xor(x, y), hn::Xor(x, s));  // same signs in, other sign out
  const V lim = hn::Xor(hn::BroadcastSignBit(x), hn::Set(d, INT32_MAX));
  return hn::IfThenElse(hn::MaskFromVec(hn::BroadcastSignBit(ovf)), lim, s);
}
template <class D, class V>
HWY_INLINE V SubSatI32(D d, V x, V y) {
  const V s = hn::Sub(x, y);
  const V ovf = hn::And(hn::Xor(x, y), hn::Xor(x, s));  // different signs in, sign of x lost
  const V lim = hn::Xor(hn::BroadcastSignBit(x), hn::Set(d, INT32_MAX));
  return hn::IfThenElse(hn::MaskFromVec(hn::BroadcastSignBit(ovf)), lim, s);
}

// Interleaved complex values need two lanes; the one-lane scalar target uses plain loops instead.
#undef EW_PAIRS
#if HWY_TARGET != HWY_SCALAR
#define EW_PAIRS 1

// Interleaved complex product (re, im pairs in adjacent lanes).
template <class D, class V>
HWY_INLINE V CMul(D d, V a, V b) {
  const V t = hn::Mul(hn::DupOdd(a), hn::Reverse2(d, b));  // (ai*bi, ai*br)
  return hn::MulAdd(hn::DupEven(a), b, hn::OddEven(t, hn::Neg(t)));
}

// a * conj(b).
template <class D, class V>
HWY_INLINE V CMulConj(D d, V a, V b) {
  const V t = hn::Mul(hn::DupOdd(a), hn::Reverse2(d, b));  // (ai*bi, ai*br)
  const V u = hn::Mul(hn::DupEven(a), b);                  // (ar*br, ar*bi)
  // re = ar br + ai bi, im = ai br - ar bi
  return hn::Add(hn::OddEven(hn::Neg(u), u), t);
}

// |b|^2 in both lanes of each pair.
template <class D, class V>
HWY_INLINE V CNorm2Dup(D d, V b) {
  const V sq = hn::Mul(b, b);
  return hn::Add(sq, hn::Reverse2(d, sq));
}

#else
#define EW_PAIRS 0
#endif  // HWY_TARGET != HWY_SCALAR

}  // namespace fundrel::ew::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#endif  // FUNDREL_EW_LOOPS_INL_H_
