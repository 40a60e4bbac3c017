// ippsSVD_64f_D2L: singular value decomposition by one-sided Jacobi rotations. Columns of a
// working copy of A are rotated in pairs until all are mutually orthogonal; their norms are
// then the singular values, the normalised columns U, and the accumulated rotations V, so that
// A = U diag(W) V^T. Accurate to working precision even for tiny singular values; the values
// come out in no particular order.
//
// Served by the computer-vision library, where the image loader finds it.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <new>
#include <vector>

#include "platform/ipp/ipp_api.h"

namespace {

}  // namespace

extern "C" {

// mSrcA: height row pointers of width values; mDstU likewise; pDstW: width values; mDstV: width
// row pointers of width values. height >= width >= 1; nIter bounds the number of sweeps over
// all column pairs.
IPPAPI_EXPORT IppStatus ippsSVD_64f_D2L(const Ipp64f** mSrcA, Ipp64f** mDstU, int height, Ipp64f* pDstW,
                                        Ipp64f** mDstV, int width, int nIter) {
  if (!mSrcA || !mDstU || !pDstW || !mDstV) return ippStsNullPtrErr;
  if (height <= 0 || width <= 0 || nIter <= 0 || width > height) return ippStsSizeErr;
  for (int i = 0; i < height; ++i)
    if (!mSrcA[i] || !mDstU[i]) return ippStsNullPtrErr;
  for (int i = 0; i < width; ++i)
    if (!mDstV[i]) return ippStsNullPtrErr;
  const std::size_t h = static_cast<std::size_t>(height), w = static_cast<std::size_t>(width);
  // Column-major copies so that the rotations run over contiguous memory.
  std::vector<double> u, v;
  try {
    u.resize(h * w);
    v.assign(w * w, 0.0);
  } catch (const std::bad_alloc&) {
    return ippStsMemAllocErr;
  }
  for (std::size_t i = 0; i < h; ++i)
    for (std::size_t j = 0; j < w; ++j) u[j * h + i] = mSrcA[i][j];
  for (std::size_t j = 0; j < w; ++j) v[j * w + j] = 1.0;

  // Columns count as orthogonal once |p.q| <= tol |p| |q|: the rounding error of a dot product
  // of h terms, so that a converged pair is not rotated again by noise.
  const double tol = std::max(1.0, static_cast<double>(h)) * DBL_EPSILON;
  bool converged = false;
  for (int sweep = 0; sweep < nIter && !converged; ++sweep) {
    converged = true;
    for (std::size_t p = 0; p + 1 < w; ++p) {
      for (std::size_t q = p + 1; q < w; ++q) {
        double* up = &u[p * h];
        double* uq = &u[q * h];
        double alpha = 0, beta = 0, gamma = 0;
        for (std::size_t i = 0; i < h; ++i) {
          alpha += up[i] * up[i];
          beta += uq[i] * uq[i];
          gamma += up[i] * uq[i];
        }
        if (gamma == 0.0 || std::fabs(gamma) <= tol * std::sqrt(alpha * beta)) continue;
        converged = false;
        // Rotation that zeroes the off-diagonal of the 2x2 Gram matrix, the smaller angle.
        const double zeta = (beta - alpha) / (2.0 * gamma);
        const double t = std::copysign(1.0, zeta) / (std::fabs(zeta) + std::sqrt(1.0 + zeta * zeta));
        const double c = 1.0 / std::sqrt(1.0 + t * t), s = c * t;
        for (std::size_t i = 0; i < h; ++i) {
          const double a = up[i], b = uq[i];
          up[i] = c * a - s * b;
          uq[i] = s * a + c * b;
        }
        double* vp = &v[p * w];
        double* vq = &v[q * w];
        for (std::size_t i = 0; i < w; ++i) {
          const double a = vp[i], b = vq[i];
          vp[i] = c * a - s * b;
          vq[i] = s * a + c * b;
        }
      }
    }
  }
  if (!converged) return ippStsSVDCnvgErr;

  for (std::size_t j = 0; j < w; ++j) {
    const double* col = &u[j * h];
    double norm = 0;
    for (std::size_t i = 0; i < h; ++i) norm += col[i] * col[i];
    norm = std::sqrt(norm);
    pDstW[j] = norm;
    // A zero singular value leaves a zero column of U.
    const double inv = norm > 0 ? 1.0 / norm : 0.0;
    for (std::size_t i = 0; i < h; ++i) mDstU[i][j] = col[i] * inv;
    for (std::size_t i = 0; i < w; ++i) mDstV[i][j] = v[j * w + i];
  }
  return ippStsNoErr;
}

}  // extern "C"
