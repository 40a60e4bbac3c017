// Plain loops over interleaved complex doubles (re, im pairs; n counts doubles), used where a
// Highway target has a single lane and cannot keep a pair together.
#ifndef FUNDREL_EW_CPLX_H
#define FUNDREL_EW_CPLX_H

#include <stddef.h>

namespace fundrel::ew {

inline void ScalarCMul(const double* a, const double* b, double* out, size_t n) {
  for (size_t i = 0; i < n; i += 2) {
    const double ar = a[i], ai = a[i + 1], br = b[i], bi = b[i + 1];
    out[i] = ar * br - ai * bi;
    out[i + 1] = ar * bi + ai * br;
  }
}

// a / b as a * conj(b) / |b|^2; returns whether some b was 0 + 0i.
inline bool ScalarCDiv(const double* a, const double* b, double* out, size_t n) {
  bool zero = false;
  for (size_t i = 0; i < n; i += 2) {
    const double ar = a[i], ai = a[i + 1], br = b[i], bi = b[i + 1];
    const double m = br * br + bi * bi;
    zero |= br == 0 && bi == 0;
    out[i] = (ar * br + ai * bi) / m;
    out[i + 1] = (ai * br - ar * bi) / m;
  }
  return zero;
}

}  // namespace fundrel::ew

#endif
