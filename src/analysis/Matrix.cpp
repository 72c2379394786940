#include "analysis/Matrix.h"

#include <algorithm>
#include <utility>

Matrix::Matrix(int rows_, int cols_)
    : rows(rows_ < 0 ? 0 : rows_), cols(cols_ < 0 ? 0 : cols_), data(nullptr) {
  data = new float[static_cast<size_t>(rows) * static_cast<size_t>(cols)]();
  for (int i = 0; i < std::min(rows, cols); i++) data[i * cols + i] = 1.0f;
}

Matrix::Matrix(const Matrix& other) : rows(other.rows), cols(other.cols), data(nullptr) {
  size_t count = static_cast<size_t>(rows) * static_cast<size_t>(cols);
  data = new float[count];
  std::copy(other.data, other.data + count, data);
}

Matrix::~Matrix() { delete[] data; }

float Matrix::GetAt(int r, int c) const {
  if (r < 0 || c < 0 || r >= rows || c >= cols) return 0.0f;
  return data[r * cols + c];
}

void Matrix::SetAt(int r, int c, float value) {
  if (r < 0 || c < 0 || r >= rows || c >= cols) return;
  data[r * cols + c] = value;
}

void Matrix::TimesMatrix(Matrix* b, Matrix* result) {
  if (b->rows != rows || result->rows != rows || b->cols != cols || result->cols != cols) return;
  for (int i = 0; i < rows; i++) {
    for (int j = 0; j < cols; j++) {
      float sum = 0.0f;
      for (int k = 0; k < cols; k++) sum += GetAt(i, k) * b->GetAt(k, j);
      result->data[i * cols + j] = sum;
    }
  }
}

void Matrix::TimesVector(float* v, float* result) {
  for (int i = 0; i < rows; i++) {
    result[i] = 0.0f;
    for (int j = 0; j < cols; j++) result[i] += data[i * cols + j] * v[j];
  }
}

void Matrix::perform_ERO(RowOp op, float factor, int row1, int row2, float* target) {
  auto valid = [this](int r) { return r >= 0 && r < rows; };
  switch (op) {
    case ScaleRow:
      if (!valid(row1)) return;
      for (int c = 0; c < cols; c++) target[row1 * cols + c] *= factor;
      break;
    case SwapRows:
      if (!valid(row1) || !valid(row2)) return;
      for (int c = 0; c < cols; c++) std::swap(target[row1 * cols + c], target[row2 * cols + c]);
      break;
    case AddScaledRow:
      if (!valid(row1) || !valid(row2)) return;
      for (int c = 0; c < cols; c++) target[row2 * cols + c] += factor * target[row1 * cols + c];
      break;
  }
}

void Matrix::Invert(Matrix* result) {
  if (rows != cols) return;
  // The row operations write result's rows with this matrix's stride.
  if (result->rows != rows || result->cols != cols) return;
  Matrix work(*this);

  for (int i = 0; i < rows; i++) {
    float p = work.data[i * cols + i];
    if (p != 0.0f && p != 1.0f) {
      float f = 1.0f / p;
      perform_ERO(ScaleRow, f, i, i, work.data);
      perform_ERO(ScaleRow, f, i, i, result->data);
    }
    for (int r = i + 1; r < cols; r++) {
      float g = -work.data[r * cols + i];
      if (g != 0.0f) {
        perform_ERO(AddScaledRow, g, i, r, work.data);
        perform_ERO(AddScaledRow, g, i, r, result->data);
      }
    }
  }

  for (int i = rows - 1; i >= 0; i--) {
    for (int r = i - 1; r >= 0; r--) {
      float g = -work.data[r * cols + i];
      perform_ERO(AddScaledRow, g, i, r, work.data);
      perform_ERO(AddScaledRow, g, i, r, result->data);
    }
  }
}
