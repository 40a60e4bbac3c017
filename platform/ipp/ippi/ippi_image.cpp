// Image primitives of the image group: copy, set, mirror, alpha composition, piecewise-linear
// LUT and norms of differences. Pointers address the first ROI pixel and steps are in bytes;
// rows are processed one at a time, each with a contiguous inner loop the compiler vectorises.
//
// Every function rejects a step smaller than the bytes of one ROI row (so also zero and
// negative steps) with ippStsStepErr, after the pointer and size checks.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "platform/ipp/ipp_api.h"

namespace {

template <class T>
T* Row(T* base, int step, int y) {
  using Byte = std::conditional_t<std::is_const_v<T>, const Ipp8u, Ipp8u>;
  return reinterpret_cast<T*>(reinterpret_cast<Byte*>(base) + static_cast<std::ptrdiff_t>(step) * y);
}

IppStatus CheckRoi(IppiSize roi) {
  return roi.width <= 0 || roi.height <= 0 ? ippStsSizeErr : ippStsNoErr;
}

bool StepOk(int step, IppiSize roi, int pixelBytes) {
  return step >= roi.width * pixelBytes;
}

IppStatus CopyRows(const void* pSrc, int srcStep, void* pDst, int dstStep, IppiSize roi, int pixelBytes) {
  if (!pSrc || !pDst) return ippStsNullPtrErr;
  if (CheckRoi(roi)) return ippStsSizeErr;
  if (!StepOk(srcStep, roi, pixelBytes) || !StepOk(dstStep, roi, pixelBytes)) return ippStsStepErr;
  const std::size_t bytes = static_cast<std::size_t>(roi.width) * pixelBytes;
  for (int y = 0; y < roi.height; ++y)
    std::memcpy(Row(static_cast<Ipp8u*>(pDst), dstStep, y), Row(static_cast<const Ipp8u*>(pSrc), srcStep, y), bytes);
  return ippStsNoErr;
}

// Mirror of whole pixels of kChannels bytes. In place (src == dst with equal steps) is handled
// by swapping pairs: rows for the horizontal axis, pixels within a row for the vertical one.
template <int kChannels>
IppStatus Mirror(const Ipp8u* pSrc, int srcStep, Ipp8u* pDst, int dstStep, IppiSize roi, IppiAxis flip) {
  if (!pSrc || !pDst) return ippStsNullPtrErr;
  if (CheckRoi(roi)) return ippStsSizeErr;
  if (!StepOk(srcStep, roi, kChannels) || !StepOk(dstStep, roi, kChannels)) return ippStsStepErr;
  if (flip != ippAxsHorizontal && flip != ippAxsVertical && flip != ippAxsBoth) return ippStsMirrorFlipErr;
  const bool flipRows = flip != ippAxsVertical;
  const bool flipCols = flip != ippAxsHorizontal;
  const int w = roi.width, h = roi.height;
  const std::size_t rowBytes = static_cast<std::size_t>(w) * kChannels;
  auto reverseInto = [&](const Ipp8u* s, Ipp8u* d) {
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < kChannels; ++c) d[(w - 1 - x) * kChannels + c] = s[x * kChannels + c];
  };
  if (pSrc == pDst) {
    Ipp8u tmp[kChannels];
    auto reverseInPlace = [&](Ipp8u* r) {
      for (int x = 0; x < w / 2; ++x) {
        Ipp8u* a = r + x * kChannels;
        Ipp8u* b = r + (w - 1 - x) * kChannels;
        std::memcpy(tmp, a, kChannels);
        std::memcpy(a, b, kChannels);
        std::memcpy(b, tmp, kChannels);
      }
    };
    if (!flipRows) {
      for (int y = 0; y < h; ++y) reverseInPlace(Row(pDst, dstStep, y));
      return ippStsNoErr;
    }
    for (int y = 0; y < h / 2; ++y) {
      Ipp8u* a = Row(pDst, dstStep, y);
      Ipp8u* b = Row(pDst, dstStep, h - 1 - y);
      for (std::size_t i = 0; i < rowBytes; ++i) std::swap(a[i], b[i]);
      if (flipCols) {
        reverseInPlace(a);
        reverseInPlace(b);
      }
    }
    if ((h & 1) && flipCols) reverseInPlace(Row(pDst, dstStep, h / 2));
    return ippStsNoErr;
  }
  for (int y = 0; y < h; ++y) {
    const Ipp8u* s = Row(pSrc, srcStep, flipRows ? h - 1 - y : y);
    Ipp8u* d = Row(pDst, dstStep, y);
    if (flipCols) {
      reverseInto(s, d);
    } else {
      std::memcpy(d, s, rowBytes);
    }
  }
  return ippStsNoErr;
}

// Rounded quotient of a non-negative numerator, saturated to 8 bits.
inline Ipp8u DivRound(std::uint32_t num, std::uint32_t den) {
  return static_cast<Ipp8u>(std::min<std::uint32_t>(255, (num + den / 2) / den));
}

enum class NormKind { L1, L2, Inf };

IppStatus NormDiff(const Ipp8u* pSrc1, int src1Step, const Ipp8u* pSrc2, int src2Step, IppiSize roi,
                   Ipp64f* pValue, NormKind kind) {
  if (!pSrc1 || !pSrc2 || !pValue) return ippStsNullPtrErr;
  if (CheckRoi(roi)) return ippStsSizeErr;
  if (!StepOk(src1Step, roi, 1) || !StepOk(src2Step, roi, 1)) return ippStsStepErr;
  // Integer sums are exact: even 2^31 pixels of difference 255, squared, fit in 64 bits.
  std::uint64_t sum = 0;
  int worst = 0;
  for (int y = 0; y < roi.height; ++y) {
    const Ipp8u* a = Row(pSrc1, src1Step, y);
    const Ipp8u* b = Row(pSrc2, src2Step, y);
    for (int x = 0; x < roi.width; ++x) {
      const int d = std::abs(static_cast<int>(a[x]) - static_cast<int>(b[x]));
      sum += static_cast<std::uint64_t>(kind == NormKind::L2 ? d * d : d);
      worst = std::max(worst, d);
    }
  }
  switch (kind) {
    case NormKind::L1: *pValue = static_cast<double>(sum); break;
    case NormKind::L2: *pValue = std::sqrt(static_cast<double>(sum)); break;
    case NormKind::Inf: *pValue = worst; break;
  }
  return ippStsNoErr;
}

}  // namespace

extern "C" {

IPPAPI_EXPORT IppStatus ippiCopy_8u_C4R(const Ipp8u* pSrc, int srcStep, Ipp8u* pDst, int dstStep, IppiSize roiSize) {
  return CopyRows(pSrc, srcStep, pDst, dstStep, roiSize, 4);
}

IPPAPI_EXPORT IppStatus ippiCopy_32s_C1R(const Ipp32s* pSrc, int srcStep, Ipp32s* pDst, int dstStep, IppiSize roiSize) {
  return CopyRows(pSrc, srcStep, pDst, dstStep, roiSize, 4);
}

IPPAPI_EXPORT IppStatus ippiSet_8u_C4R(const Ipp8u value[4], Ipp8u* pDst, int dstStep, IppiSize roiSize) {
  if (!value || !pDst) return ippStsNullPtrErr;
  if (CheckRoi(roiSize)) return ippStsSizeErr;
  if (!StepOk(dstStep, roiSize, 4)) return ippStsStepErr;
  std::uint32_t pixel;
  std::memcpy(&pixel, value, 4);
  for (int y = 0; y < roiSize.height; ++y) {
    Ipp8u* d = Row(pDst, dstStep, y);
    for (int x = 0; x < roiSize.width; ++x) std::memcpy(d + 4 * x, &pixel, 4);
  }
  return ippStsNoErr;
}

IPPAPI_EXPORT IppStatus ippiMirror_8u_C3R(const Ipp8u* pSrc, int srcStep, Ipp8u* pDst, int dstStep, IppiSize roiSize,
                                          IppiAxis flip) {
  return Mirror<3>(pSrc, srcStep, pDst, dstStep, roiSize, flip);
}

IPPAPI_EXPORT IppStatus ippiMirror_8u_C3IR(Ipp8u* pSrcDst, int srcDstStep, IppiSize roiSize, IppiAxis flip) {
  return Mirror<3>(pSrcDst, srcDstStep, pSrcDst, srcDstStep, roiSize, flip);
}

IPPAPI_EXPORT IppStatus ippiMirror_8u_C4R(const Ipp8u* pSrc, int srcStep, Ipp8u* pDst, int dstStep, IppiSize roiSize,
                                          IppiAxis flip) {
  return Mirror<4>(pSrc, srcStep, pDst, dstStep, roiSize, flip);
}

// Porter-Duff with A = pSrc1, B = pSrc2 and alphas a, b (255 = opaque). Every operator is
// A fA + B fB with factors X (of A) and Y (of B): OVER 1, 1-a; IN b, 0; OUT 1-b, 0; ATOP b, 1-a;
// XOR 1-b, 1-a; PLUS 1, 1. Straight colours are weighted by their own alpha first
// (c = a A X + b B Y), premultiplied ones are not (c = A X + B Y); the result alpha is
// a X + b Y in both cases and is written to the destination's fourth channel. Each result is
// rounded once from the exact value and saturated at 255.
IPPAPI_EXPORT IppStatus ippiAlphaComp_8u_AC4R(const Ipp8u* pSrc1, int src1Step, const Ipp8u* pSrc2, int src2Step,
                                              Ipp8u* pDst, int dstStep, IppiSize roiSize, IppiAlphaType alphaType) {
  if (!pSrc1 || !pSrc2 || !pDst) return ippStsNullPtrErr;
  if (CheckRoi(roiSize)) return ippStsSizeErr;
  if (!StepOk(src1Step, roiSize, 4) || !StepOk(src2Step, roiSize, 4) || !StepOk(dstStep, roiSize, 4))
    return ippStsStepErr;
  if (static_cast<int>(alphaType) < ippAlphaOver || static_cast<int>(alphaType) > ippAlphaPlusPremul)
    return ippStsAlphaTypeErr;
  const bool premul = alphaType >= ippAlphaOverPremul;
  const int op = premul ? alphaType - ippAlphaOverPremul : alphaType;
  for (int y = 0; y < roiSize.height; ++y) {
    const Ipp8u* s1 = Row(pSrc1, src1Step, y);
    const Ipp8u* s2 = Row(pSrc2, src2Step, y);
    Ipp8u* d = Row(pDst, dstStep, y);
    for (int x = 0; x < roiSize.width; ++x) {
      const std::uint32_t a = s1[4 * x + 3], b = s2[4 * x + 3];
      std::uint32_t fx = 255, fy = 0;
      switch (op) {
        case ippAlphaOver: fx = 255; fy = 255 - a; break;
        case ippAlphaIn: fx = b; fy = 0; break;
        case ippAlphaOut: fx = 255 - b; fy = 0; break;
        case ippAlphaATop: fx = b; fy = 255 - a; break;
        case ippAlphaXor: fx = 255 - b; fy = 255 - a; break;
        default: fx = 255; fy = 255; break;  // PLUS
      }
      for (int c = 0; c < 3; ++c) {
        const std::uint32_t ca = s1[4 * x + c], cb = s2[4 * x + c];
        d[4 * x + c] = premul ? DivRound(ca * fx + cb * fy, 255) : DivRound(a * ca * fx + b * cb * fy, 255 * 255);
      }
      d[4 * x + 3] = DivRound(a * fx + b * fy, 255);
    }
  }
  return ippStsNoErr;
}

// Each channel's pixels between two consecutive levels are interpolated linearly between the
// corresponding values (rounded to nearest, saturated to 0..255); pixels below the first level
// or at or above the last are copied unchanged. A 256-entry table per channel is built first.
IPPAPI_EXPORT IppStatus ippiLUT_Linear_8u_C4R(const Ipp8u* pSrc, int srcStep, Ipp8u* pDst, int dstStep, IppiSize roiSize,
                                              const Ipp32s* pValues[4], const Ipp32s* pLevels[4], int nLevels[4]) {
  if (!pSrc || !pDst || !pValues || !pLevels || !nLevels) return ippStsNullPtrErr;
  for (int c = 0; c < 4; ++c)
    if (!pValues[c] || !pLevels[c]) return ippStsNullPtrErr;
  if (CheckRoi(roiSize)) return ippStsSizeErr;
  if (!StepOk(srcStep, roiSize, 4) || !StepOk(dstStep, roiSize, 4)) return ippStsStepErr;
  for (int c = 0; c < 4; ++c)
    if (nLevels[c] < 2) return ippStsLUTNofLevelsErr;
  Ipp8u table[4][256];
  for (int c = 0; c < 4; ++c) {
    const Ipp32s* lv = pLevels[c];
    const Ipp32s* va = pValues[c];
    int k = 0;
    for (int v = 0; v < 256; ++v) {
      table[c][v] = static_cast<Ipp8u>(v);
      while (k + 1 < nLevels[c] && lv[k + 1] <= v) ++k;
      if (k + 1 >= nLevels[c] || v < lv[k] || lv[k + 1] <= lv[k]) continue;
      const double t = static_cast<double>(v - lv[k]) / static_cast<double>(lv[k + 1] - lv[k]);
      const double out = std::nearbyint(va[k] + t * static_cast<double>(va[k + 1] - va[k]));
      table[c][v] = static_cast<Ipp8u>(std::clamp(out, 0.0, 255.0));
    }
  }
  for (int y = 0; y < roiSize.height; ++y) {
    const Ipp8u* s = Row(pSrc, srcStep, y);
    Ipp8u* d = Row(pDst, dstStep, y);
    for (int x = 0; x < roiSize.width; ++x)
      for (int c = 0; c < 4; ++c) d[4 * x + c] = table[c][s[4 * x + c]];
  }
  return ippStsNoErr;
}

IPPAPI_EXPORT IppStatus ippiNormDiff_L1_8u_C1R(const Ipp8u* pSrc1, int src1Step, const Ipp8u* pSrc2, int src2Step,
                                               IppiSize roiSize, Ipp64f* pValue) {
  return NormDiff(pSrc1, src1Step, pSrc2, src2Step, roiSize, pValue, NormKind::L1);
}

IPPAPI_EXPORT IppStatus ippiNormDiff_L2_8u_C1R(const Ipp8u* pSrc1, int src1Step, const Ipp8u* pSrc2, int src2Step,
                                               IppiSize roiSize, Ipp64f* pValue) {
  return NormDiff(pSrc1, src1Step, pSrc2, src2Step, roiSize, pValue, NormKind::L2);
}

IPPAPI_EXPORT IppStatus ippiNormDiff_Inf_8u_C1R(const Ipp8u* pSrc1, int src1Step, const Ipp8u* pSrc2, int src2Step,
                                                IppiSize roiSize, Ipp64f* pValue) {
  return NormDiff(pSrc1, src1Step, pSrc2, src2Step, roiSize, pValue, NormKind::Inf);
}

}  // extern "C"
