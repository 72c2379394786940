#pragma once
// A small dense row-major matrix of floats with products and a Gauss-Jordan inversion.

#include "platform/support/Status.h"

class Matrix {
 public:
  enum RowOp { ScaleRow = 0, SwapRows = 1, AddScaledRow = 2 };

  // Starts as the identity pattern (1 where r == c), also for a non-square shape. Negative
  // sizes are taken as 0.
  Matrix(int rows, int cols);
  virtual ~Matrix();
  Matrix(const Matrix& other);
  Matrix& operator=(const Matrix&) = delete;

  // The element, or 0 outside the matrix.
  float GetAt(int r, int c) const;
  // Writes the element; a write outside the matrix is ignored.
  void SetAt(int r, int c, float value);
  int NumRows() const { return rows; }
  int NumCols() const { return cols; }

  // result = this * b, when all three have this matrix's shape; otherwise nothing.
  void TimesMatrix(Matrix* b, Matrix* result);
  // result (rows floats) = this * v (cols floats).
  void TimesVector(float* v, float* result);
  // One row operation on a row-major array whose rows are cols long: ScaleRow row1 *= factor;
  // SwapRows exchanges row1 and row2; AddScaledRow row2 += factor * row1. Rows outside the
  // matrix are ignored.
  void perform_ERO(RowOp op, float factor, int row1, int row2, float* target);
  // Gauss-Jordan elimination without row exchanges, applied alongside to result, which must
  // start as the identity of the same shape. No pivot search and no singularity report: a zero
  // pivot leaves result something other than the inverse. Does nothing for a non-square
  // matrix or a result of another shape.
  void Invert(Matrix* result);

  int32 rows;
  int32 cols;
  float* data;
};
