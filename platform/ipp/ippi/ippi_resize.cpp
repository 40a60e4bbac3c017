// ippiResizeCenter_8u_C1R, _8u_C3R, _8u_C4R, _16u_C1R: scaling about a fixed point.
//
// Geometry: pixel i of an axis has its sample at coordinate i (and covers i - 0.5 .. i + 0.5).
// Destination pixel x samples the source at s = (x - center) / factor + center, so the centre
// maps to itself. A destination pixel is written only when s falls on a pixel of the source
// ROI (clipped to the image); the others keep their contents. Interpolation reads only ROI
// pixels, repeating the edge pixel where a kernel reaches past the ROI.
//
// Kernels, applied separably: nearest neighbour; linear; cubic convolution (Catmull-Rom,
// a = -0.5); Lanczos with three lobes (six taps, weights normalised); supersampling, the
// area average of the source pixels under the destination pixel's footprint (meant for
// factors below 1). Results are rounded to nearest and saturated to the pixel type.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <vector>

#include "platform/ipp/ipp_api.h"

namespace {

struct Tap {
  int index;
  double weight;
};

// The taps of every destination coordinate along one axis; an empty list marks a destination
// pixel whose sample falls outside the ROI.
struct AxisTaps {
  std::vector<int> start;  // dst coordinate -> first entry in taps, size dst + 1
  std::vector<Tap> taps;
};

double Cubic(double d) {
  d = std::fabs(d);
  const double a = -0.5;
  if (d < 1) return ((a + 2) * d - (a + 3)) * d * d + 1;
  if (d < 2) return ((a * d - 5 * a) * d + 8 * a) * d - 4 * a;
  return 0;
}

double Sinc(double x) {
  if (x == 0) return 1;
  const double px = IPP_PI * x;
  return std::sin(px) / px;
}

double Lanczos3(double d) { return std::fabs(d) < 3 ? Sinc(d) * Sinc(d / 3) : 0.0; }

bool BuildAxis(int dstLen, double factor, double center, int roiLo, int roiLen, int interpolation,
               AxisTaps& out) {
  try {
    out.start.assign(static_cast<std::size_t>(dstLen) + 1, 0);
    out.taps.clear();
    const int roiHi = roiLo + roiLen - 1;
    auto clampIdx = [&](long i) { return static_cast<int>(std::clamp<long>(i, roiLo, roiHi)); };
    for (int x = 0; x < dstLen; ++x) {
      out.start[x] = static_cast<int>(out.taps.size());
      const double s = (x - center) / factor + center;
      if (!(s >= roiLo - 0.5 && s < roiHi + 0.5)) continue;
      const double fl = std::floor(s);
      const long i0 = static_cast<long>(fl);
      const double t = s - fl;
      const std::size_t first = out.taps.size();
      switch (interpolation) {
        case IPPI_INTER_NN: out.taps.push_back({clampIdx(static_cast<long>(std::floor(s + 0.5))), 1.0}); break;
        case IPPI_INTER_LINEAR:
          out.taps.push_back({clampIdx(i0), 1.0 - t});
          out.taps.push_back({clampIdx(i0 + 1), t});
          break;
        case IPPI_INTER_CUBIC:
          for (long k = -1; k <= 2; ++k) out.taps.push_back({clampIdx(i0 + k), Cubic(t - k)});
          break;
        case IPPI_INTER_LANCZOS:
          for (long k = -2; k <= 3; ++k) out.taps.push_back({clampIdx(i0 + k), Lanczos3(t - k)});
          break;
        default: {  // IPPI_INTER_SUPER: overlap of the footprint with each ROI pixel
          const double half = 0.5 / factor;
          const double lo = std::max(s - half, roiLo - 0.5), hi = std::min(s + half, roiHi + 0.5);
          for (long i = static_cast<long>(std::floor(lo + 0.5)); i <= static_cast<long>(std::ceil(hi - 0.5)); ++i) {
            const double w = std::min(hi, i + 0.5) - std::max(lo, i - 0.5);
            if (w > 0) out.taps.push_back({clampIdx(i), w});
          }
          break;
        }
      }
      double sum = 0;
      for (std::size_t k = first; k < out.taps.size(); ++k) sum += out.taps[k].weight;
      for (std::size_t k = first; k < out.taps.size(); ++k) out.taps[k].weight /= sum;
    }
    out.start[dstLen] = static_cast<int>(out.taps.size());
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

template <class T, int kChannels>
IppStatus ResizeCenter(const T* pSrc, IppiSize srcSize, int srcStep, IppiRect srcRoi, T* pDst, int dstStep,
                       IppiSize dstRoiSize, double xFactor, double yFactor, double xCenter, double yCenter,
                       int interpolation) {
  if (!pSrc || !pDst) return ippStsNullPtrErr;
  if (srcSize.width <= 0 || srcSize.height <= 0 || dstRoiSize.width <= 0 || dstRoiSize.height <= 0 ||
      srcRoi.width <= 0 || srcRoi.height <= 0)
    return ippStsSizeErr;
  const int pixelBytes = static_cast<int>(sizeof(T)) * kChannels;
  if (srcStep < srcSize.width * pixelBytes || dstStep < dstRoiSize.width * pixelBytes) return ippStsStepErr;
  if (!(xFactor > 0) || !(yFactor > 0)) return ippStsResizeFactorErr;
  if (interpolation != IPPI_INTER_NN && interpolation != IPPI_INTER_LINEAR && interpolation != IPPI_INTER_CUBIC &&
      interpolation != IPPI_INTER_SUPER && interpolation != IPPI_INTER_LANCZOS)
    return ippStsInterpolationErr;
  // The ROI clipped to the image.
  const long x0 = std::max<long>(srcRoi.x, 0), y0 = std::max<long>(srcRoi.y, 0);
  const long x1 = std::min<long>(static_cast<long>(srcRoi.x) + srcRoi.width, srcSize.width);
  const long y1 = std::min<long>(static_cast<long>(srcRoi.y) + srcRoi.height, srcSize.height);
  if (x0 >= x1 || y0 >= y1) return ippStsWrongIntersectROI;

  AxisTaps ax, ay;
  if (!BuildAxis(dstRoiSize.width, xFactor, xCenter, static_cast<int>(x0), static_cast<int>(x1 - x0), interpolation, ax) ||
      !BuildAxis(dstRoiSize.height, yFactor, yCenter, static_cast<int>(y0), static_cast<int>(y1 - y0), interpolation, ay))
    return ippStsMemAllocErr;

  constexpr double kMax = static_cast<double>(static_cast<T>(~T{0}));
  const auto* srcBytes = reinterpret_cast<const Ipp8u*>(pSrc);
  auto* dstBytes = reinterpret_cast<Ipp8u*>(pDst);
  std::vector<double> row;
  try {
    row.resize(static_cast<std::size_t>(srcSize.width) * kChannels);
  } catch (const std::bad_alloc&) {
    return ippStsMemAllocErr;
  }
  for (int y = 0; y < dstRoiSize.height; ++y) {
    const int yb = ay.start[y], ye = ay.start[y + 1];
    if (yb == ye) continue;
    // Vertical pass into one row of doubles over the ROI columns, then the horizontal pass.
    std::fill(row.begin() + x0 * kChannels, row.begin() + x1 * kChannels, 0.0);
    for (int k = yb; k < ye; ++k) {
      const T* s = reinterpret_cast<const T*>(srcBytes + static_cast<std::ptrdiff_t>(srcStep) * ay.taps[k].index);
      const double w = ay.taps[k].weight;
      for (long i = x0 * kChannels; i < x1 * kChannels; ++i) row[i] += w * s[i];
    }
    T* d = reinterpret_cast<T*>(dstBytes + static_cast<std::ptrdiff_t>(dstStep) * y);
    for (int x = 0; x < dstRoiSize.width; ++x) {
      const int xb = ax.start[x], xe = ax.start[x + 1];
      if (xb == xe) continue;
      for (int c = 0; c < kChannels; ++c) {
        double acc = 0;
        for (int k = xb; k < xe; ++k) acc += ax.taps[k].weight * row[ax.taps[k].index * kChannels + c];
        d[x * kChannels + c] = static_cast<T>(std::clamp(std::nearbyint(acc), 0.0, kMax));
      }
    }
  }
  return ippStsNoErr;
}

}  // namespace

extern "C" {

IPPAPI_EXPORT IppStatus ippiResizeCenter_8u_C1R(const Ipp8u* pSrc, IppiSize srcSize, int srcStep, IppiRect srcRoi,
                                                Ipp8u* pDst, int dstStep, IppiSize dstRoiSize, double xFactor,
                                                double yFactor, double xCenter, double yCenter, int interpolation) {
  return ResizeCenter<Ipp8u, 1>(pSrc, srcSize, srcStep, srcRoi, pDst, dstStep, dstRoiSize, xFactor, yFactor, xCenter,
                                yCenter, interpolation);
}

IPPAPI_EXPORT IppStatus ippiResizeCenter_8u_C3R(const Ipp8u* pSrc, IppiSize srcSize, int srcStep, IppiRect srcRoi,
                                                Ipp8u* pDst, int dstStep, IppiSize dstRoiSize, double xFactor,
                                                double yFactor, double xCenter, double yCenter, int interpolation) {
  return ResizeCenter<Ipp8u, 3>(pSrc, srcSize, srcStep, srcRoi, pDst, dstStep, dstRoiSize, xFactor, yFactor, xCenter,
                                yCenter, interpolation);
}

IPPAPI_EXPORT IppStatus ippiResizeCenter_8u_C4R(const Ipp8u* pSrc, IppiSize srcSize, int srcStep, IppiRect srcRoi,
                                                Ipp8u* pDst, int dstStep, IppiSize dstRoiSize, double xFactor,
                                                double yFactor, double xCenter, double yCenter, int interpolation) {
  return ResizeCenter<Ipp8u, 4>(pSrc, srcSize, srcStep, srcRoi, pDst, dstStep, dstRoiSize, xFactor, yFactor, xCenter,
                                yCenter, interpolation);
}

IPPAPI_EXPORT IppStatus ippiResizeCenter_16u_C1R(const Ipp16u* pSrc, IppiSize srcSize, int srcStep, IppiRect srcRoi,
                                                 Ipp16u* pDst, int dstStep, IppiSize dstRoiSize, double xFactor,
                                                 double yFactor, double xCenter, double yCenter, int interpolation) {
  return ResizeCenter<Ipp16u, 1>(pSrc, srcSize, srcStep, srcRoi, pDst, dstStep, dstRoiSize, xFactor, yFactor, xCenter,
                                 yCenter, interpolation);
}

}  // extern "C"
