// Scale-factor arithmetic of the integer (_Sfs) primitives: an exact intermediate value times
// 2^-scaleFactor, rounded to nearest with ties to even, saturated to the destination range.
// Plain C++ shared by the kernels' general paths; no state.
#ifndef FUNDREL_EW_SFS_H
#define FUNDREL_EW_SFS_H

#include <stdint.h>

namespace fundrel::ew {

using Wide = __int128;

// v * 2^-sf rounded half to even and clamped to [lo, hi]. |v| must stay below 2^100, which covers
// every sum, product and dot product of 32-bit operands.
inline int64_t ScaleRoundSat(Wide v, int sf, int64_t lo, int64_t hi) {
  if (sf > 0) {
    if (sf > 110) return 0;  // |v| * 2^-sf < 1/2 for every admissible v
    Wide q = v >> sf;        // floor
    const Wide r = v - q * (static_cast<Wide>(1) << sf);
    const Wide half = static_cast<Wide>(1) << (sf - 1);
    if (r > half || (r == half && (q & 1) != 0)) ++q;
    v = q;
  } else if (sf < 0) {
    if (v == 0) return 0;
    const Wide limit = static_cast<Wide>(1) << 64;
    if (sf < -63 || v >= limit || v <= -limit) return v > 0 ? hi : lo;
    v *= static_cast<Wide>(1) << -sf;
  }
  return v < lo ? lo : (v > hi ? hi : static_cast<int64_t>(v));
}

inline int32_t Sat32(Wide v, int sf) { return static_cast<int32_t>(ScaleRoundSat(v, sf, INT32_MIN, INT32_MAX)); }
inline uint8_t Sat8u(Wide v, int sf) { return static_cast<uint8_t>(ScaleRoundSat(v, sf, 0, 255)); }

// Quotient num / (den * 2^sf) rounded half to even and clamped to Ipp32s; den != 0.
inline int32_t DivRoundSat32(int32_t num, int32_t den, int sf) {
  Wide n = num, d = den;
  if (sf > 0) {
    if (sf > 62) return 0;  // |num| < 2^31 <= |d| * 2^62 / 2: the quotient rounds to 0
    d *= static_cast<Wide>(1) << sf;
  } else if (sf < 0) {
    if (num == 0) return 0;
    if (sf < -62) return (num > 0) == (den > 0) ? INT32_MAX : INT32_MIN;
    n *= static_cast<Wide>(1) << -sf;
  }
  Wide q = n / d;  // truncated
  const Wide r = n - q * d;
  const Wide r2 = 2 * (r < 0 ? -r : r), ad = d < 0 ? -d : d;
  if (r2 > ad || (r2 == ad && (q & 1) != 0)) q += ((n < 0) == (d < 0)) ? 1 : -1;
  return static_cast<int32_t>(q < INT32_MIN ? INT32_MIN : (q > INT32_MAX ? INT32_MAX : q));
}

}  // namespace fundrel::ew

#endif
