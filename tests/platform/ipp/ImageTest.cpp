// Image group against per-pixel models: ROIs inside larger padded images (steps in bytes,
// odd widths, pixels outside the ROI must stay untouched), every mirror axis in and out of
// place, every alpha-composition type, the piecewise-linear LUT and the norms of differences.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "platform/ipp/ipp_api.h"

namespace {

std::mt19937& Rng() {
  static std::mt19937 rng(777);
  return rng;
}

// An 8-bit image of `channels` per pixel with `pad` spare bytes per row, filled at random.
struct Image {
  int w, h, channels, step;
  std::vector<Ipp8u> data;
  Image(int width, int height, int ch, int pad) : w(width), h(height), channels(ch), step(width * ch + pad) {
    data.resize(static_cast<size_t>(step) * h + 1);
    for (auto& v : data) v = static_cast<Ipp8u>(Rng()());
  }
  Ipp8u* px(int x, int y) { return data.data() + static_cast<size_t>(y) * step + x * channels; }
  const Ipp8u* px(int x, int y) const { return data.data() + static_cast<size_t>(y) * step + x * channels; }
};

// True when every byte outside the w x h ROI equals the reference copy.
bool OutsideUntouched(const Image& img, const std::vector<Ipp8u>& before) {
  for (size_t i = 0; i < img.data.size(); ++i) {
    const long row = static_cast<long>(i) / img.step, col = static_cast<long>(i) % img.step;
    const bool inside = row < img.h && col < img.w * img.channels;
    if (!inside && img.data[i] != before[i]) return false;
  }
  return true;
}

const IppiSize kSizes[] = {{1, 1}, {1, 5}, {7, 1}, {3, 4}, {17, 9}, {64, 3}, {33, 33}};

TEST(Image, CopyAndSet) {
  for (IppiSize roi : kSizes) {
    Image src(roi.width, roi.height, 4, 5), dst(roi.width, roi.height, 4, 11);
    const auto before = dst.data;
    ASSERT_EQ(ippiCopy_8u_C4R(src.px(0, 0), src.step, dst.px(0, 0), dst.step, roi), ippStsNoErr);
    for (int y = 0; y < roi.height; ++y)
      for (int x = 0; x < roi.width * 4; ++x) ASSERT_EQ(dst.px(0, y)[x], src.px(0, y)[x]);
    EXPECT_TRUE(OutsideUntouched(dst, before));

    // 32-bit single channel: steps are still bytes.
    Image s32(roi.width, roi.height, 4, 8), d32(roi.width, roi.height, 4, 12);
    const auto before32 = d32.data;
    ASSERT_EQ(ippiCopy_32s_C1R(reinterpret_cast<const Ipp32s*>(s32.px(0, 0)), s32.step,
                               reinterpret_cast<Ipp32s*>(d32.px(0, 0)), d32.step, roi),
              ippStsNoErr);
    for (int y = 0; y < roi.height; ++y)
      for (int x = 0; x < roi.width * 4; ++x) ASSERT_EQ(d32.px(0, y)[x], s32.px(0, y)[x]);
    EXPECT_TRUE(OutsideUntouched(d32, before32));

    const Ipp8u value[4] = {1, 2, 250, 255};
    Image set(roi.width, roi.height, 4, 3);
    const auto beforeSet = set.data;
    ASSERT_EQ(ippiSet_8u_C4R(value, set.px(0, 0), set.step, roi), ippStsNoErr);
    for (int y = 0; y < roi.height; ++y)
      for (int x = 0; x < roi.width; ++x)
        for (int c = 0; c < 4; ++c) ASSERT_EQ(set.px(x, y)[c], value[c]);
    EXPECT_TRUE(OutsideUntouched(set, beforeSet));
  }
  Ipp8u buf[64] = {};
  const Ipp8u value[4] = {};
  EXPECT_EQ(ippiCopy_8u_C4R(nullptr, 16, buf, 16, {4, 1}), ippStsNullPtrErr);
  EXPECT_EQ(ippiCopy_8u_C4R(buf, 16, buf + 32, 16, {0, 1}), ippStsSizeErr);
  EXPECT_EQ(ippiCopy_8u_C4R(buf, 16, buf + 32, 16, {4, -1}), ippStsSizeErr);
  EXPECT_EQ(ippiCopy_8u_C4R(buf, 15, buf + 32, 16, {4, 2}), ippStsStepErr);
  EXPECT_EQ(ippiCopy_32s_C1R(reinterpret_cast<Ipp32s*>(buf), 0, reinterpret_cast<Ipp32s*>(buf + 32), 16, {4, 1}),
            ippStsStepErr);
  EXPECT_EQ(ippiSet_8u_C4R(nullptr, buf, 16, {4, 1}), ippStsNullPtrErr);
  EXPECT_EQ(ippiSet_8u_C4R(value, buf, -16, {4, 1}), ippStsStepErr);
}

TEST(Image, MirrorEveryAxisInAndOutOfPlace) {
  for (IppiSize roi : kSizes) {
    for (IppiAxis axis : {ippAxsHorizontal, ippAxsVertical, ippAxsBoth}) {
      SCOPED_TRACE(testing::Message() << roi.width << "x" << roi.height << " axis " << axis);
      // Horizontal axis: upside down; vertical axis: left-right.
      auto source = [&](int x, int y) {
        const int sx = axis == ippAxsHorizontal ? x : roi.width - 1 - x;
        const int sy = axis == ippAxsVertical ? y : roi.height - 1 - y;
        return std::pair{sx, sy};
      };
      for (int ch : {3, 4}) {
        Image src(roi.width, roi.height, ch, 7), dst(roi.width, roi.height, ch, 2);
        const auto before = dst.data;
        const IppStatus st = ch == 3 ? ippiMirror_8u_C3R(src.px(0, 0), src.step, dst.px(0, 0), dst.step, roi, axis)
                                     : ippiMirror_8u_C4R(src.px(0, 0), src.step, dst.px(0, 0), dst.step, roi, axis);
        ASSERT_EQ(st, ippStsNoErr);
        for (int y = 0; y < roi.height; ++y)
          for (int x = 0; x < roi.width; ++x) {
            const auto [sx, sy] = source(x, y);
            for (int c = 0; c < ch; ++c) ASSERT_EQ(dst.px(x, y)[c], src.px(sx, sy)[c]) << x << "," << y;
          }
        EXPECT_TRUE(OutsideUntouched(dst, before));
      }
      Image img(roi.width, roi.height, 3, 4);
      const Image orig = img;
      ASSERT_EQ(ippiMirror_8u_C3IR(img.px(0, 0), img.step, roi, axis), ippStsNoErr);
      for (int y = 0; y < roi.height; ++y)
        for (int x = 0; x < roi.width; ++x) {
          const auto [sx, sy] = source(x, y);
          for (int c = 0; c < 3; ++c) ASSERT_EQ(img.px(x, y)[c], orig.px(sx, sy)[c]) << x << "," << y;
        }
      EXPECT_TRUE(OutsideUntouched(img, orig.data));
    }
  }
  Ipp8u buf[64] = {};
  EXPECT_EQ(ippiMirror_8u_C3R(buf, 12, buf + 32, 12, {4, 2}, static_cast<IppiAxis>(3)), ippStsMirrorFlipErr);
  EXPECT_EQ(ippiMirror_8u_C3IR(buf, 12, {4, 2}, static_cast<IppiAxis>(-1)), ippStsMirrorFlipErr);
  EXPECT_EQ(ippiMirror_8u_C4R(buf, 16, nullptr, 16, {4, 2}, ippAxsBoth), ippStsNullPtrErr);
  EXPECT_EQ(ippiMirror_8u_C4R(buf, 16, buf + 32, 16, {4, 0}, ippAxsBoth), ippStsSizeErr);
  EXPECT_EQ(ippiMirror_8u_C3IR(buf, 11, {4, 2}, ippAxsBoth), ippStsStepErr);
}

// Porter-Duff in normalised floats: the factors of A and B per operator, and whether the
// colours are already multiplied by their alpha.
TEST(Image, AlphaCompositionAllTypes) {
  const IppiSize roi{37, 5};
  Image a(roi.width, roi.height, 4, 4), b(roi.width, roi.height, 4, 0);
  // Force the extreme alphas into a few pixels.
  for (int x = 0; x < 4; ++x) {
    a.px(x, 0)[3] = x & 1 ? 255 : 0;
    b.px(x, 0)[3] = x & 2 ? 255 : 0;
  }
  for (int type = ippAlphaOver; type <= ippAlphaPlusPremul; ++type) {
    SCOPED_TRACE(type);
    Image d(roi.width, roi.height, 4, 8);
    const auto before = d.data;
    ASSERT_EQ(ippiAlphaComp_8u_AC4R(a.px(0, 0), a.step, b.px(0, 0), b.step, d.px(0, 0), d.step, roi,
                                    static_cast<IppiAlphaType>(type)),
              ippStsNoErr);
    const bool premul = type >= ippAlphaOverPremul;
    const int op = type % 6;
    for (int y = 0; y < roi.height; ++y)
      for (int x = 0; x < roi.width; ++x) {
        const double aa = a.px(x, y)[3] / 255.0, ab = b.px(x, y)[3] / 255.0;
        const double fa[] = {1, ab, 1 - ab, ab, 1 - ab, 1};
        const double fb[] = {1 - aa, 0, 0, 1 - aa, 1 - aa, 1};
        for (int c = 0; c < 4; ++c) {
          double expect;
          if (c == 3) {
            expect = 255.0 * (aa * fa[op] + ab * fb[op]);
          } else {
            const double ca = a.px(x, y)[c], cb = b.px(x, y)[c];
            expect = premul ? ca * fa[op] + cb * fb[op] : aa * ca * fa[op] + ab * cb * fb[op];
          }
          ASSERT_NEAR(d.px(x, y)[c], std::min(255.0, expect), 0.5 + 1e-9) << x << "," << y << " channel " << c;
        }
      }
    EXPECT_TRUE(OutsideUntouched(d, before));
  }
  // Opaque A over anything is A; transparent A over B is B weighted by its own alpha.
  Image opaque(3, 1, 4, 0), under(3, 1, 4, 0), out(3, 1, 4, 0);
  for (int x = 0; x < 3; ++x) {
    opaque.px(x, 0)[3] = 255;
    under.px(x, 0)[3] = 255;
  }
  ASSERT_EQ(ippiAlphaComp_8u_AC4R(opaque.px(0, 0), 12, under.px(0, 0), 12, out.px(0, 0), 12, {3, 1}, ippAlphaOver),
            ippStsNoErr);
  EXPECT_EQ(std::vector<Ipp8u>(out.data.begin(), out.data.begin() + 12),
            std::vector<Ipp8u>(opaque.data.begin(), opaque.data.begin() + 12));
  Ipp8u buf[64] = {};
  EXPECT_EQ(ippiAlphaComp_8u_AC4R(buf, 16, buf, 16, buf, 16, {4, 1}, static_cast<IppiAlphaType>(12)),
            ippStsAlphaTypeErr);
  EXPECT_EQ(ippiAlphaComp_8u_AC4R(buf, 16, nullptr, 16, buf, 16, {4, 1}, ippAlphaOver), ippStsNullPtrErr);
  EXPECT_EQ(ippiAlphaComp_8u_AC4R(buf, 16, buf, 16, buf, 16, {0, 1}, ippAlphaOver), ippStsSizeErr);
  EXPECT_EQ(ippiAlphaComp_8u_AC4R(buf, 16, buf, 8, buf, 16, {4, 2}, ippAlphaOver), ippStsStepErr);
}

TEST(Image, LutLinearInterpolatesBetweenLevels) {
  // Channel 0 inverts 0..255 (levels end at 256 to cover 255); channel 1 maps only 50..150;
  // channel 2 is a three-segment curve; channel 3 a steep ramp that saturates.
  const Ipp32s lv0[] = {0, 256}, va0[] = {255, -1};
  const Ipp32s lv1[] = {50, 150}, va1[] = {0, 200};
  const Ipp32s lv2[] = {0, 100, 200, 256}, va2[] = {10, 20, 220, 255};
  const Ipp32s lv3[] = {0, 64}, va3[] = {0, 1000};
  const Ipp32s* levels[4] = {lv0, lv1, lv2, lv3};
  const Ipp32s* values[4] = {va0, va1, va2, va3};
  int counts[4] = {2, 2, 4, 2};
  const IppiSize roi{64, 4};  // 256 pixels: every byte value occurs in every channel
  Image src(roi.width, roi.height, 4, 6), dst(roi.width, roi.height, 4, 2);
  for (int i = 0; i < 256; ++i)
    for (int c = 0; c < 4; ++c) src.px(i % 64, i / 64)[c] = static_cast<Ipp8u>((i * (2 * c + 1)) & 255);
  ASSERT_EQ(ippiLUT_Linear_8u_C4R(src.px(0, 0), src.step, dst.px(0, 0), dst.step, roi, values, levels, counts),
            ippStsNoErr);
  for (int i = 0; i < 256; ++i)
    for (int c = 0; c < 4; ++c) {
      const int v = src.px(i % 64, i / 64)[c];
      double expect = v;
      for (int k = 0; k + 1 < counts[c]; ++k)
        if (levels[c][k] <= v && v < levels[c][k + 1])
          expect = values[c][k] + double(v - levels[c][k]) * (values[c][k + 1] - values[c][k]) /
                                      (levels[c][k + 1] - levels[c][k]);
      expect = std::clamp(expect, 0.0, 255.0);
      ASSERT_NEAR(dst.px(i % 64, i / 64)[c], expect, 0.5 + 1e-9) << "value " << v << " channel " << c;
    }
  // Outside channel 1's levels pixels pass through unchanged.
  src.px(0, 0)[1] = 10;
  src.px(1, 0)[1] = 200;
  ASSERT_EQ(ippiLUT_Linear_8u_C4R(src.px(0, 0), src.step, dst.px(0, 0), dst.step, roi, values, levels, counts),
            ippStsNoErr);
  EXPECT_EQ(dst.px(0, 0)[1], 10);
  EXPECT_EQ(dst.px(1, 0)[1], 200);
  int tooFew[4] = {2, 1, 4, 2};
  EXPECT_EQ(ippiLUT_Linear_8u_C4R(src.px(0, 0), src.step, dst.px(0, 0), dst.step, roi, values, levels, tooFew),
            ippStsLUTNofLevelsErr);
  const Ipp32s* missing[4] = {lv0, nullptr, lv2, lv3};
  EXPECT_EQ(ippiLUT_Linear_8u_C4R(src.px(0, 0), src.step, dst.px(0, 0), dst.step, roi, values, missing, counts),
            ippStsNullPtrErr);
}

TEST(Image, NormDiffMatchesNaive) {
  for (IppiSize roi : kSizes) {
    Image a(roi.width, roi.height, 1, 3), b(roi.width, roi.height, 1, 9);
    double l1 = 0, l2 = 0, inf = 0;
    for (int y = 0; y < roi.height; ++y)
      for (int x = 0; x < roi.width; ++x) {
        const double d = std::fabs(double(a.px(x, y)[0]) - b.px(x, y)[0]);
        l1 += d;
        l2 += d * d;
        inf = std::max(inf, d);
      }
    double v1 = -1, v2 = -1, vi = -1;
    ASSERT_EQ(ippiNormDiff_L1_8u_C1R(a.px(0, 0), a.step, b.px(0, 0), b.step, roi, &v1), ippStsNoErr);
    ASSERT_EQ(ippiNormDiff_L2_8u_C1R(a.px(0, 0), a.step, b.px(0, 0), b.step, roi, &v2), ippStsNoErr);
    ASSERT_EQ(ippiNormDiff_Inf_8u_C1R(a.px(0, 0), a.step, b.px(0, 0), b.step, roi, &vi), ippStsNoErr);
    EXPECT_EQ(v1, l1);
    EXPECT_DOUBLE_EQ(v2, std::sqrt(l2));
    EXPECT_EQ(vi, inf);
  }
  Ipp8u buf[16] = {};
  double v = 0;
  EXPECT_EQ(ippiNormDiff_L1_8u_C1R(buf, 4, buf, 4, {4, 2}, nullptr), ippStsNullPtrErr);
  EXPECT_EQ(ippiNormDiff_L2_8u_C1R(buf, 4, buf, 4, {-1, 2}, &v), ippStsSizeErr);
  EXPECT_EQ(ippiNormDiff_Inf_8u_C1R(buf, 3, buf, 4, {4, 2}, &v), ippStsStepErr);
}

}  // namespace
