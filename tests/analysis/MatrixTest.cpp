#include <gtest/gtest.h>

#include <vector>

#include "analysis/Matrix.h"

namespace {

Matrix Of(int rows, int cols, const std::vector<float>& values) {
  Matrix m(rows, cols);
  for (int r = 0; r < rows; r++)
    for (int c = 0; c < cols; c++) m.SetAt(r, c, values[r * cols + c]);
  return m;
}

void ExpectMatrix(const Matrix& m, const std::vector<float>& values, float tol = 1e-6f) {
  for (int r = 0; r < m.NumRows(); r++)
    for (int c = 0; c < m.NumCols(); c++)
      EXPECT_NEAR(m.GetAt(r, c), values[r * m.NumCols() + c], tol) << "(" << r << ", " << c << ")";
}

TEST(MatrixAccess, StartsAsIdentityPatternAndIgnoresOutOfRange) {
  Matrix m(2, 3);
  ExpectMatrix(m, {1, 0, 0, 0, 1, 0});
  EXPECT_EQ(m.GetAt(2, 0), 0.0f);
  EXPECT_EQ(m.GetAt(0, 3), 0.0f);
  EXPECT_EQ(m.GetAt(-1, 0), 0.0f);
  m.SetAt(0, 3, 5.0f);
  m.SetAt(2, 0, 5.0f);
  ExpectMatrix(m, {1, 0, 0, 0, 1, 0});
  EXPECT_EQ(m.NumRows(), 2);
  EXPECT_EQ(m.NumCols(), 3);
}

TEST(MatrixProducts, MatrixAndVector) {
  Matrix a = Of(2, 2, {1, 2, 3, 4});
  Matrix b = Of(2, 2, {5, 6, 7, 8});
  Matrix r(2, 2);
  a.TimesMatrix(&b, &r);
  ExpectMatrix(r, {19, 22, 43, 50});

  Matrix wide(2, 3);
  Matrix untouched = Of(2, 2, {9, 9, 9, 9});
  a.TimesMatrix(&wide, &untouched);
  ExpectMatrix(untouched, {9, 9, 9, 9});

  Matrix m = Of(2, 3, {1, 2, 3, 4, 5, 6});
  float v[3] = {1, 0, -1};
  float out[2] = {99, 99};
  m.TimesVector(v, out);
  EXPECT_FLOAT_EQ(out[0], -2.0f);
  EXPECT_FLOAT_EQ(out[1], -2.0f);
}

TEST(MatrixRowOps, ScaleSwapAddAndUnknown) {
  Matrix m(2, 2);
  float t[4] = {1, 2, 3, 4};
  m.perform_ERO(Matrix::ScaleRow, 2.0f, 1, 0, t);
  EXPECT_EQ(std::vector<float>(t, t + 4), (std::vector<float>{1, 2, 6, 8}));
  m.perform_ERO(Matrix::SwapRows, 0.0f, 0, 1, t);
  EXPECT_EQ(std::vector<float>(t, t + 4), (std::vector<float>{6, 8, 1, 2}));
  m.perform_ERO(Matrix::AddScaledRow, -1.0f, 1, 0, t);
  EXPECT_EQ(std::vector<float>(t, t + 4), (std::vector<float>{5, 6, 1, 2}));
  m.perform_ERO(static_cast<Matrix::RowOp>(7), 3.0f, 0, 1, t);
  EXPECT_EQ(std::vector<float>(t, t + 4), (std::vector<float>{5, 6, 1, 2}));
}

TEST(MatrixInvert, RegularMatrices) {
  Matrix d = Of(2, 2, {2, 0, 0, 4});
  Matrix di(2, 2);
  d.Invert(&di);
  ExpectMatrix(di, {0.5f, 0, 0, 0.25f});
  ExpectMatrix(d, {2, 0, 0, 4});  // the source is not changed

  Matrix a = Of(2, 2, {1, 2, 3, 4});
  Matrix ai(2, 2);
  a.Invert(&ai);
  ExpectMatrix(ai, {-2, 1, 1.5f, -0.5f}, 1e-5f);

  Matrix k = Of(3, 3, {1, 0.5f, 0.25f, 0.5f, 1, 0.5f, 0.25f, 0.5f, 1});
  Matrix ki(3, 3);
  k.Invert(&ki);
  Matrix product(3, 3);
  k.TimesMatrix(&ki, &product);
  ExpectMatrix(product, {1, 0, 0, 0, 1, 0, 0, 0, 1}, 1e-5f);
}

TEST(MatrixInvert, ZeroPivotIsNeitherExchangedNorReported) {
  Matrix m = Of(2, 2, {0, 1, 1, 0});
  Matrix r(2, 2);
  m.Invert(&r);
  ExpectMatrix(r, {0, 1, 1, -1});
}

TEST(MatrixInvert, ShapeMismatchesDoNothing) {
  Matrix wide = Of(2, 3, {1, 2, 3, 4, 5, 6});
  Matrix r(2, 3);
  wide.Invert(&r);
  ExpectMatrix(r, {1, 0, 0, 0, 1, 0});

  Matrix empty(0, 0);
  Matrix er(0, 0);
  empty.Invert(&er);
  EXPECT_EQ(er.NumRows(), 0);

  // A result too small to hold the inverse is left alone instead of overrun.
  Matrix square = Of(3, 3, {2, 0, 0, 0, 2, 0, 0, 0, 2});
  Matrix small(2, 2);
  square.Invert(&small);
  ExpectMatrix(small, {1, 0, 0, 1});
}

}  // namespace
