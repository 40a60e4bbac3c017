// ippsSVD_64f_D2L: reconstruction A = U diag(W) V^T and orthonormality of U and V on random,
// tall, square and rank-deficient matrices given as row pointers; non-convergence and status.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "platform/ipp/ipp_api.h"

namespace {

struct Matrix {
  int rows, cols;
  std::vector<double> data;
  std::vector<double*> ptrs;
  Matrix(int r, int c) : rows(r), cols(c), data(static_cast<size_t>(r) * c), ptrs(r) {
    for (int i = 0; i < r; ++i) ptrs[i] = data.data() + static_cast<size_t>(i) * c;
  }
  double& at(int i, int j) { return ptrs[i][j]; }
};

Matrix Random(int r, int c, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-1, 1);
  Matrix m(r, c);
  for (double& v : m.data) v = u(rng);
  return m;
}

void ExpectValidSvd(Matrix a, int nIter) {
  const int h = a.rows, w = a.cols;
  Matrix u(h, w), v(w, w);
  std::vector<double> s(w, -1);
  std::vector<const double*> src(a.ptrs.begin(), a.ptrs.end());
  ASSERT_EQ(ippsSVD_64f_D2L(src.data(), u.ptrs.data(), h, s.data(), v.ptrs.data(), w, nIter), ippStsNoErr);
  double scale = 0;
  for (double x : s) {
    EXPECT_GE(x, 0.0);
    scale = std::max(scale, x);
  }
  const double tol = 1e-13 * std::max(1.0, scale) * std::sqrt(double(h));
  for (int i = 0; i < h; ++i)
    for (int j = 0; j < w; ++j) {
      double acc = 0;
      for (int k = 0; k < w; ++k) acc += u.at(i, k) * s[k] * v.at(j, k);
      ASSERT_NEAR(acc, a.at(i, j), tol) << i << "," << j;
    }
  // V is orthogonal; U's columns of non-zero singular values are orthonormal.
  for (int p = 0; p < w; ++p)
    for (int q = 0; q < w; ++q) {
      double vv = 0, uu = 0;
      for (int k = 0; k < w; ++k) vv += v.at(k, p) * v.at(k, q);
      for (int k = 0; k < h; ++k) uu += u.at(k, p) * u.at(k, q);
      ASSERT_NEAR(vv, p == q ? 1.0 : 0.0, 1e-13);
      if (s[p] > 1e-12 * scale && s[q] > 1e-12 * scale) {
        ASSERT_NEAR(uu, p == q ? 1.0 : 0.0, 1e-12);
      }
    }
}

TEST(DspSvd, ReconstructsAndIsOrthonormal) {
  ExpectValidSvd(Random(1, 1, 1), 30);
  ExpectValidSvd(Random(3, 2, 2), 30);
  ExpectValidSvd(Random(5, 5, 3), 30);
  ExpectValidSvd(Random(10, 4, 4), 30);
  ExpectValidSvd(Random(40, 40, 5), 50);
  ExpectValidSvd(Random(120, 30, 6), 50);
  // Rank deficient: a repeated column and a zero column.
  Matrix m = Random(8, 5, 7);
  for (int i = 0; i < 8; ++i) {
    m.at(i, 3) = m.at(i, 1);
    m.at(i, 4) = 0.0;
  }
  ExpectValidSvd(m, 30);
}

TEST(DspSvd, SingularValuesOfKnownMatrix) {
  // Rows of an orthogonal matrix scaled by 3 and 0.5: singular values {3, 0.5} in some order.
  Matrix a(3, 2);
  const double c = std::cos(0.3), s = std::sin(0.3);
  a.at(0, 0) = 3 * c;
  a.at(0, 1) = 0.5 * -s;
  a.at(1, 0) = 3 * s;
  a.at(1, 1) = 0.5 * c;
  Matrix u(3, 2), v(2, 2);
  double w[2];
  std::vector<const double*> src(a.ptrs.begin(), a.ptrs.end());
  ASSERT_EQ(ippsSVD_64f_D2L(src.data(), u.ptrs.data(), 3, w, v.ptrs.data(), 2, 20), ippStsNoErr);
  EXPECT_NEAR(std::max(w[0], w[1]), 3.0, 1e-14);
  EXPECT_NEAR(std::min(w[0], w[1]), 0.5, 1e-14);
}

TEST(DspSvd, NonConvergenceAndStatusCodes) {
  Matrix a = Random(30, 30, 9), u(30, 30), v(30, 30);
  std::vector<double> w(30);
  std::vector<const double*> src(a.ptrs.begin(), a.ptrs.end());
  EXPECT_EQ(ippsSVD_64f_D2L(src.data(), u.ptrs.data(), 30, w.data(), v.ptrs.data(), 30, 1), ippStsSVDCnvgErr);
  EXPECT_EQ(ippsSVD_64f_D2L(nullptr, u.ptrs.data(), 30, w.data(), v.ptrs.data(), 30, 10), ippStsNullPtrErr);
  EXPECT_EQ(ippsSVD_64f_D2L(src.data(), u.ptrs.data(), 30, nullptr, v.ptrs.data(), 30, 10), ippStsNullPtrErr);
  EXPECT_EQ(ippsSVD_64f_D2L(src.data(), u.ptrs.data(), 30, w.data(), nullptr, 30, 10), ippStsNullPtrErr);
  EXPECT_EQ(ippsSVD_64f_D2L(src.data(), u.ptrs.data(), 0, w.data(), v.ptrs.data(), 30, 10), ippStsSizeErr);
  EXPECT_EQ(ippsSVD_64f_D2L(src.data(), u.ptrs.data(), 30, w.data(), v.ptrs.data(), 0, 10), ippStsSizeErr);
  EXPECT_EQ(ippsSVD_64f_D2L(src.data(), u.ptrs.data(), 30, w.data(), v.ptrs.data(), 30, 0), ippStsSizeErr);
  EXPECT_EQ(ippsSVD_64f_D2L(src.data(), u.ptrs.data(), 20, w.data(), v.ptrs.data(), 30, 10), ippStsSizeErr)
      << "wider than tall";
}

}  // namespace
