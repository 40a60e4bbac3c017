// ippiResizeCenter_*: the centre stays fixed, interior pixels match nearest-neighbour and
// bilinear models at the sample point (x - c) / f + c, constant images stay constant under every
// kernel, only the source ROI is read, destination pixels that map outside it keep their
// contents, channels are independent, and the status codes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "platform/ipp/ipp_api.h"

namespace {

const int kAllKernels[] = {IPPI_INTER_NN, IPPI_INTER_LINEAR, IPPI_INTER_CUBIC, IPPI_INTER_SUPER, IPPI_INTER_LANCZOS};

template <class T>
struct Plane {
  int w, h, ch, step;  // step in bytes
  std::vector<T> px;
  Plane(int width, int height, int channels, int padPixels)
      : w(width), h(height), ch(channels), step((width + padPixels) * channels * static_cast<int>(sizeof(T))),
        px(static_cast<size_t>(step / sizeof(T)) * height) {}
  T& at(int x, int y, int c = 0) { return px[static_cast<size_t>(y) * (step / sizeof(T)) + x * ch + c]; }
};

double SamplePoint(int x, double f, double c) { return (x - c) / f + c; }

// The sample point falls on one of len pixels starting at 0.
bool Covered(double s, int len) { return s >= -0.5 && s < len - 0.5; }

TEST(ImageResize, NearestAndLinearMatchModelsInside) {
  std::mt19937 rng(5);
  Plane<Ipp8u> src(40, 30, 1, 3);
  for (auto& v : src.px) v = static_cast<Ipp8u>(rng());
  const IppiRect roi{0, 0, 40, 30};
  // Factors and centres that avoid exact half-pixel sample points.
  struct Geo {
    double fx, fy, cx, cy;
  };
  for (const Geo g : {Geo{1.7, 1.3, 3.3, 7.1}, Geo{0.61, 0.77, 20.2, 14.9}, Geo{2.9, 2.2, 19.4, 12.6}}) {
    for (int kernel : {IPPI_INTER_NN, IPPI_INTER_LINEAR}) {
      SCOPED_TRACE(testing::Message() << "factor " << g.fx << " kernel " << kernel);
      Plane<Ipp8u> dst(45, 35, 1, 2);
      ASSERT_EQ(ippiResizeCenter_8u_C1R(src.px.data(), {40, 30}, src.step, roi, dst.px.data(), dst.step, {45, 35}, g.fx,
                                        g.fy, g.cx, g.cy, kernel),
                ippStsNoErr);
      int checked = 0;
      for (int y = 0; y < 35; ++y)
        for (int x = 0; x < 45; ++x) {
          const double sx = SamplePoint(x, g.fx, g.cx), sy = SamplePoint(y, g.fy, g.cy);
          if (sx < 1 || sy < 1 || sx > 38 || sy > 28) continue;  // interior only
          double expect;
          if (kernel == IPPI_INTER_NN) {
            expect = src.at(static_cast<int>(std::lround(sx)), static_cast<int>(std::lround(sy)));
          } else {
            const int ix = static_cast<int>(std::floor(sx)), iy = static_cast<int>(std::floor(sy));
            const double tx = sx - ix, ty = sy - iy;
            expect = (1 - ty) * ((1 - tx) * src.at(ix, iy) + tx * src.at(ix + 1, iy)) +
                     ty * ((1 - tx) * src.at(ix, iy + 1) + tx * src.at(ix + 1, iy + 1));
          }
          ASSERT_NEAR(dst.at(x, y), expect, 0.5 + 1e-9) << x << "," << y;
          ++checked;
        }
      EXPECT_GT(checked, 100);
    }
  }
}

TEST(ImageResize, CentreFixedConstantsKeptRoiRespected) {
  // Inside the ROI the values are 40..60; outside it (but inside the image) 255, which must never
  // leak into the result. The destination starts at 7 everywhere.
  Plane<Ipp8u> src(50, 40, 1, 0);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 50; ++x) src.at(x, y) = 255;
  const IppiRect roi{10, 5, 20, 25};
  std::mt19937 rng(11);
  for (int y = roi.y; y < roi.y + roi.height; ++y)
    for (int x = roi.x; x < roi.x + roi.width; ++x) src.at(x, y) = static_cast<Ipp8u>(40 + rng() % 21);
  for (int kernel : kAllKernels) {
    for (double f : {0.5, 1.0, 2.5}) {
      SCOPED_TRACE(testing::Message() << "kernel " << kernel << " factor " << f);
      Plane<Ipp8u> dst(60, 50, 1, 1);
      std::fill(dst.px.begin(), dst.px.end(), 7);
      const double cx = 17.0, cy = 12.0;  // a pixel centre: maps onto itself
      ASSERT_EQ(ippiResizeCenter_8u_C1R(src.px.data(), {50, 40}, src.step, roi, dst.px.data(), dst.step, {60, 50}, f, f,
                                        cx, cy, kernel),
                ippStsNoErr);
      if (kernel == IPPI_INTER_NN || kernel == IPPI_INTER_LINEAR) {
        EXPECT_EQ(dst.at(17, 12), src.at(17, 12));
      }
      for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 60; ++x) {
          const double sx = SamplePoint(x, f, cx), sy = SamplePoint(y, f, cy);
          const bool inside = sx >= roi.x - 0.5 && sx < roi.x + roi.width - 0.5 && sy >= roi.y - 0.5 &&
                              sy < roi.y + roi.height - 0.5;
          if (!inside) {
            ASSERT_EQ(dst.at(x, y), 7) << "written although it maps outside the ROI: " << x << "," << y;
          } else {
            // Ringing kernels may overshoot a little, never reach the 255 outside.
            ASSERT_GE(dst.at(x, y), 20) << x << "," << y;
            ASSERT_LE(dst.at(x, y), 80) << x << "," << y;
          }
        }
    }
  }
  // A constant image stays constant under every kernel and factor, 16-bit included.
  Plane<Ipp16u> flat(30, 20, 1, 2);
  std::fill(flat.px.begin(), flat.px.end(), Ipp16u{40000});
  for (int kernel : kAllKernels) {
    Plane<Ipp16u> out(25, 25, 1, 0);
    ASSERT_EQ(ippiResizeCenter_16u_C1R(flat.px.data(), {30, 20}, flat.step, {0, 0, 30, 20}, out.px.data(), out.step,
                                       {25, 25}, 0.83, 1.21, 4.0, 6.0, kernel),
              ippStsNoErr);
    for (int y = 0; y < 25; ++y)
      for (int x = 0; x < 25; ++x)
        if (Covered(SamplePoint(x, 0.83, 4.0), 30) && Covered(SamplePoint(y, 1.21, 6.0), 20)) {
          ASSERT_EQ(out.at(x, y), 40000) << kernel;
        }
  }
}

TEST(ImageResize, ChannelsAreIndependent) {
  std::mt19937 rng(3);
  Plane<Ipp8u> c3(23, 17, 3, 1), c4(23, 17, 4, 0);
  for (auto& v : c3.px) v = static_cast<Ipp8u>(rng());
  for (auto& v : c4.px) v = static_cast<Ipp8u>(rng());
  for (int kernel : kAllKernels) {
    Plane<Ipp8u> d3(31, 29, 3, 0), d4(31, 29, 4, 2);
    ASSERT_EQ(ippiResizeCenter_8u_C3R(c3.px.data(), {23, 17}, c3.step, {0, 0, 23, 17}, d3.px.data(), d3.step, {31, 29},
                                      1.4, 1.6, 2.2, 3.1, kernel),
              ippStsNoErr);
    ASSERT_EQ(ippiResizeCenter_8u_C4R(c4.px.data(), {23, 17}, c4.step, {0, 0, 23, 17}, d4.px.data(), d4.step, {31, 29},
                                      1.4, 1.6, 2.2, 3.1, kernel),
              ippStsNoErr);
    for (int ch : {3, 4}) {
      Plane<Ipp8u>& s = ch == 3 ? c3 : c4;
      Plane<Ipp8u>& d = ch == 3 ? d3 : d4;
      for (int c = 0; c < ch; ++c) {
        Plane<Ipp8u> one(23, 17, 1, 0), res(31, 29, 1, 0);
        for (int y = 0; y < 17; ++y)
          for (int x = 0; x < 23; ++x) one.at(x, y) = s.at(x, y, c);
        ASSERT_EQ(ippiResizeCenter_8u_C1R(one.px.data(), {23, 17}, one.step, {0, 0, 23, 17}, res.px.data(), res.step,
                                          {31, 29}, 1.4, 1.6, 2.2, 3.1, kernel),
                  ippStsNoErr);
        for (int y = 0; y < 29; ++y)
          for (int x = 0; x < 31; ++x)
            if (Covered(SamplePoint(x, 1.4, 2.2), 23) && Covered(SamplePoint(y, 1.6, 3.1), 17)) {
              ASSERT_EQ(d.at(x, y, c), res.at(x, y)) << "kernel " << kernel << " channels " << ch << " c " << c;
            }
      }
    }
  }
}

TEST(ImageResize, StatusCodes) {
  std::vector<Ipp8u> src(100, 1), dst(100, 0);
  const IppiSize s{10, 10};
  const IppiRect r{0, 0, 10, 10};
  EXPECT_EQ(ippiResizeCenter_8u_C1R(nullptr, s, 10, r, dst.data(), 10, s, 1, 1, 0, 0, IPPI_INTER_NN), ippStsNullPtrErr);
  EXPECT_EQ(ippiResizeCenter_8u_C1R(src.data(), s, 10, r, nullptr, 10, s, 1, 1, 0, 0, IPPI_INTER_NN), ippStsNullPtrErr);
  EXPECT_EQ(ippiResizeCenter_8u_C1R(src.data(), {0, 10}, 10, r, dst.data(), 10, s, 1, 1, 0, 0, IPPI_INTER_NN),
            ippStsSizeErr);
  EXPECT_EQ(ippiResizeCenter_8u_C1R(src.data(), s, 10, r, dst.data(), 10, {10, 0}, 1, 1, 0, 0, IPPI_INTER_NN),
            ippStsSizeErr);
  EXPECT_EQ(ippiResizeCenter_8u_C1R(src.data(), s, 10, {0, 0, 0, 5}, dst.data(), 10, s, 1, 1, 0, 0, IPPI_INTER_NN),
            ippStsSizeErr);
  EXPECT_EQ(ippiResizeCenter_8u_C1R(src.data(), s, 9, r, dst.data(), 10, s, 1, 1, 0, 0, IPPI_INTER_NN), ippStsStepErr);
  EXPECT_EQ(ippiResizeCenter_8u_C3R(src.data(), {3, 3}, 8, {0, 0, 3, 3}, dst.data(), 9, {3, 3}, 1, 1, 0, 0, IPPI_INTER_NN),
            ippStsStepErr);
  EXPECT_EQ(ippiResizeCenter_16u_C1R(reinterpret_cast<Ipp16u*>(src.data()), {5, 5}, 5, {0, 0, 5, 5},
                                     reinterpret_cast<Ipp16u*>(dst.data()), 10, {5, 5}, 1, 1, 0, 0, IPPI_INTER_NN),
            ippStsStepErr);
  EXPECT_EQ(ippiResizeCenter_8u_C1R(src.data(), s, 10, r, dst.data(), 10, s, 0, 1, 0, 0, IPPI_INTER_NN),
            ippStsResizeFactorErr);
  EXPECT_EQ(ippiResizeCenter_8u_C1R(src.data(), s, 10, r, dst.data(), 10, s, 1, -2, 0, 0, IPPI_INTER_NN),
            ippStsResizeFactorErr);
  for (int bad : {0, 3, 5, 32})
    EXPECT_EQ(ippiResizeCenter_8u_C1R(src.data(), s, 10, r, dst.data(), 10, s, 1, 1, 0, 0, bad), ippStsInterpolationErr);
  // A ROI that misses the image: a warning, nothing written.
  EXPECT_EQ(ippiResizeCenter_8u_C1R(src.data(), s, 10, {10, 0, 5, 5}, dst.data(), 10, s, 1, 1, 0, 0, IPPI_INTER_NN),
            ippStsWrongIntersectROI);
  EXPECT_EQ(ippiResizeCenter_8u_C1R(src.data(), s, 10, {-8, -8, 5, 5}, dst.data(), 10, s, 1, 1, 0, 0, IPPI_INTER_NN),
            ippStsWrongIntersectROI);
  for (Ipp8u v : dst) ASSERT_EQ(v, 0);
}

}  // namespace
